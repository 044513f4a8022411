#include "workspace/segment_from_seeds_model.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>

#include "core/messages.h"
#include "core/text.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

// The whole text as a finite number (blanks around it allowed).
bool ParseNumber(const std::string& text, double& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(v)) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return false;
    value = v;
    return true;
}

}  // namespace

CSegmentFromSeedsModel::CSegmentFromSeedsModel(CVistrelApp& app, bool currentSeeds)
    : CToolWindowModel(app), currentSeeds_(currentSeeds) {}

std::string CSegmentFromSeedsModel::Title() const {
    return currentSeeds_ ? kSegmentFromCurrentSeedsTitle : kSegmentFromSeedsTitle;
}

bool CSegmentFromSeedsModel::ControlsEnabled() const {
    return Source() && Source()->HasSeeds();
}

void CSegmentFromSeedsModel::SetDirections(int d) {
    for (int allowed : kGrowDirections)
        if (d == allowed) directions_ = d;
}

int32_t CSegmentFromSeedsModel::WindowPixels() const {
    const double resolution = Source() ? double(Source()->resolution) : 0.0;
    return GrowWindowPixels(window_, windowInCm_, resolution);
}

CGrowParams CSegmentFromSeedsModel::Params() const {
    CGrowParams p;
    p.algorithm = algorithm_;
    p.k = k_;
    p.windowPx = WindowPixels();
    p.directions = directions_;
    p.input = input_;
    p.join = join_;
    return p;
}

bool CSegmentFromSeedsModel::OnSetSeeds() {
    CVistrelDoc* source = Source();
    IWorkspaceUi* ui = App().Ui();
    if (!HasSourceImage() || !ui) return false;
    std::string text = Format("%.1f", kSeedsDefaultThreshold);
    if (!ui->AskText(kSeedsThresholdTitle, kSeedsThresholdTitle, kSeedsThresholdLabel, text))
        return false;
    double threshold = 0;
    if (!ParseNumber(text, threshold)) {
        messages().show(
            Format("The threshold for seeds must be a number; \"%s\" is not.", text.c_str()));
        return false;
    }
    CProgressScope progress(ui, kSeedsThresholdTitle);
    return source->PrepareSeeds(threshold, progress.Fn()) && !progress.Cancelled();
}

bool CSegmentFromSeedsModel::OnSegment() {
    CVistrelDoc* source = Source();
    if (!HasSourceImage() || !source->HasSeeds()) return false;
    report_ = {};
    std::unique_ptr<CMImage> responses;
    {
        CProgressScope progress(App().Ui(), Title());
        responses = source->SegmentFromSeeds(Params(), &report_, progress.Fn());
        if (progress.Cancelled()) return false;
    }
    if (responses && input_ == EGrowInput::LoGInScales)
        OpenResult(std::move(responses), " LoG responses");
    return true;
}

}  // namespace vistrel
