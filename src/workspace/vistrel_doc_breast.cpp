// The document's breast outline and mask (SGT files, segmentation, the
// commands built on them) and the morphology operators.
#include <filesystem>
#include <utility>

#include "core/messages.h"
#include "core/text.h"
#include "workspace/breast_segment_model.h"
#include "workspace/file_filters.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

const char* const kAlreadyExists = " already exists.\nDo you want to replace it?";

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// True when every point lies on a width x height image.
bool OnImage(const CBreastSgt& outline, int32_t width, int32_t height) {
    for (const CPoint& p : outline.Points())
        if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height) return false;
    return true;
}

}  // namespace

std::string CVistrelDoc::SgtPathOf(const std::string& path) {
    return ReplaceExtension(path, kSgtExtension);
}

bool CVistrelDoc::ReadSgt(bool interactive) {
    if (!image.IsValid()) return false;
    std::string file;
    if (interactive) {
        IWorkspaceUi* ui = app_.Ui();
        if (!ui) return false;
        // A cancelled dialog keeps the outline the document has.
        if (!ui->PickOpenFile(SgtPathOf(pathName), ParseFilterList(kSgtOpenFilters), file) ||
            file.empty())
            return false;
    } else {
        file = SgtPathOf(pathName);
        if (!IsRegularFile(file)) return false;
    }

    CBreastSgt outline;
    std::string reason;
    const bool read = ReadSgtFile(file, outline, reason);
    // Files hold the coordinates of the unmirrored image.
    if (read && autoFlipped) outline.MirrorHorizontal(image.width);
    const bool fits = read && OnImage(outline, image.width, image.height);
    if (!fits) {
        // A file that was chosen but gives no usable outline leaves none, so
        // outline and mask never disagree.
        DropBreastSegment();
        if (interactive) {
            if (!read)
                messages().show("The breast outline could not be read from " + file + ": " +
                                reason + ".");
            else
                messages().show("The breast outline in " + file +
                                " has points outside the image (" + std::to_string(image.width) +
                                " x " + std::to_string(image.height) + "); it was not read.");
        }
        return false;
    }
    breastSegment = std::move(outline);
    return true;
}

bool CVistrelDoc::WriteSgt(const std::string& path, bool interactive, const CBreastSgt* which) {
    const CBreastSgt& outline = which ? *which : breastSegment;
    if (outline.IsEmpty() || !image.IsValid()) return false;
    std::string target = path;
    if (interactive) {
        IWorkspaceUi* ui = app_.Ui();
        if (!ui) return false;
        std::string chosen;
        int filterIndex = 0;
        if (!ui->PickSaveFile(path.empty() ? SgtPathOf(pathName) : path,
                              ParseFilterList(kSgtSaveFilters), chosen, filterIndex) ||
            chosen.empty())
            return false;
        const std::string ext = ToLower(ExtensionOf(chosen));
        target = ext == "sgt" || ext == "txt" ? chosen : chosen + "." + kSgtExtension;
        if (IsRegularFile(target) && messages().ask(target + kAlreadyExists, {"Yes", "No"}) != 0)
            return false;
    }
    if (target.empty()) return false;
    CBreastSgt written = outline;
    if (autoFlipped) written.MirrorHorizontal(image.width);
    // The file writer tells the user why a write failed.
    return WriteSgtFile(target, written, image.width, image.height);
}

bool CVistrelDoc::BuildBreastMask() {
    if (!image.IsValid() || breastSegment.IsEmpty()) {
        DropBreastSegment();
        return false;
    }
    CMImageBase mask = MakeBreastMask(breastSegment, image.width, image.height);
    if (!mask.IsValid()) {
        DropBreastSegment();
        return false;
    }
    breastMask = std::move(mask);
    image.InvalidateHistogram();
    image.GetHistogramUnderMask(breastMask);
    return true;
}

void CVistrelDoc::DropBreastSegment() {
    breastSegment.Clear();
    breastMask.Free();
    image.InvalidateHistogram();
}

void CVistrelDoc::BreastMaskChanged() {
    UpdateAllViews(kUpdateAnnotations);
    emit app_.Notifier().breastMaskChanged(this);
}

bool CVistrelDoc::OnOpenSgt() {
    if (!image.IsValid()) return false;
    const bool hadOutline = HasBreastSegment();
    const bool read = ReadSgt(true) && BuildBreastMask();
    if (read || hadOutline != HasBreastSegment()) BreastMaskChanged();
    return read;
}

bool CVistrelDoc::OnSaveSgt() {
    return WriteSgt({}, true);
}

bool CVistrelDoc::OnSegmentBreast() {
    IWorkspaceUi* ui = app_.Ui();
    if (!image.IsValid() || !ui) return false;
    CBreastSegmentModel model;
    if (!ui->AskBreastSegment(model)) return false;
    return SegmentBreastWith(model.Params());
}

bool CVistrelDoc::SegmentBreastWith(CSegmentParams params, int stage) {
    if (!image.IsValid()) return false;
    // Shows a run's log and opens its intermediate images, in list order.
    const auto report = [this, &params](std::string& log,
                                        std::vector<std::unique_ptr<CMImage>>& images) {
        if (!params.log) return;
        if (!log.empty()) messages().show(log);
        for (auto& step : images)
            if (step && step->IsValid()) OpenImageInNewWindow(std::move(step));
    };
    {
        CWaitCursor wait(app_.Ui());
        if (HasBreastSegment()) DropBreastSegment();
        const int32_t startX = image.width / 2;
        double low = params.low, high = params.high;
        std::string log;
        CBreastSgt contour;
        auto images =
            SegmentBreast(image, contour, params.view, params.projection, params.automatic != 0,
                          low, high, startX, stage, params.log != 0, log);
        report(log, images);
        breastSegment = std::move(contour);
        if (BuildBreastMask() && params.cone) {
            // The cone pass starts from the thresholds the first pass left.
            std::string coneLog;
            auto coneImages = SegmentBreast(image, secondSegment, params.view, params.projection,
                                            params.automatic != 0, low, high, startX, kStageCone,
                                            params.log != 0, coneLog);
            report(coneLog, coneImages);
            // The pass empties the image's histogram; it must stay the breast's.
            image.InvalidateHistogram();
            image.GetHistogramUnderMask(breastMask);
        }
    }
    BreastMaskChanged();
    return HasBreastSegment();
}

CVistrelDoc* CVistrelDoc::OnSetZeroOutsideBreast() {
    if (!image.IsValid() || !HasBreastSegment()) return nullptr;
    auto zeroed = std::make_unique<CMImage>(image);
    if (!zeroed->IsValid()) return nullptr;
    FillContour(*zeroed, breastSegment, true, 0, false, 0);
    zeroed->InvalidateHistogram();
    return OpenImageInNewWindow(std::move(zeroed));
}

bool CVistrelDoc::OnEnableBreastSegment() {
    if (!image.IsValid()) return false;
    if (HasBreastSegment()) {
        // The outline may be the result of a long session: offer to keep it.
        WriteSgt({}, true);
        DropBreastSegment();
        image.GetHistogram();
        BreastMaskChanged();
        return true;
    }
    if (!ReadSgt(true)) return OnSegmentBreast();
    BuildBreastMask();
    BreastMaskChanged();
    return HasBreastSegment();
}

namespace {

// outline moved by (-dx, -dy); empty when nothing of it is left on a
// width x height image.
CBreastSgt MovedInto(const CBreastSgt& outline, int32_t dx, int32_t dy, int32_t width,
                     int32_t height) {
    CBreastSgt moved = outline;
    moved.Translate(dx, dy);
    const CRect bounds = moved.Bounds();
    if (bounds.IsEmpty() || bounds.right <= 0 || bounds.bottom <= 0 || bounds.left >= width ||
        bounds.top >= height)
        moved.Clear();
    return moved;
}

}  // namespace

void CVistrelDoc::CopyBreastSegmentTo(CVistrelDoc& doc, const CRect& cut) const {
    const int32_t width = doc.image.width, height = doc.image.height;
    if (cut.IsEmpty()) {
        // A result of another size (a reduced copy, say) has no place for them.
        if (width != image.width || height != image.height) return;
        doc.breastSegment = breastSegment;
        doc.secondSegment = secondSegment;
        doc.breastMask = breastMask;
    } else {
        if (width != cut.Width() || height != cut.Height()) return;
        doc.breastSegment = MovedInto(breastSegment, cut.left, cut.top, width, height);
        doc.secondSegment = MovedInto(secondSegment, cut.left, cut.top, width, height);
        if (breastMask.IsValid() && !doc.breastSegment.IsEmpty()) {
            doc.breastMask = breastMask;
            if (doc.breastMask.Crop(cut) != 0) doc.breastMask.Free();
        }
        if (!doc.breastMask.IsValid()) doc.breastSegment.Clear();
    }
    if (doc.breastMask.IsValid()) {
        doc.image.InvalidateHistogram();
        doc.image.GetHistogramUnderMask(doc.breastMask);
    }
}

void CVistrelDoc::CropBreastSegment(const CRect& cut) {
    secondSegment = MovedInto(secondSegment, cut.left, cut.top, cut.Width(), cut.Height());
    if (!HasBreastSegment()) return;
    breastSegment = MovedInto(breastSegment, cut.left, cut.top, cut.Width(), cut.Height());
    if (breastSegment.IsEmpty() || !breastMask.IsValid() || breastMask.Crop(cut) != 0) {
        DropBreastSegment();
        return;
    }
    image.InvalidateHistogram();
    image.GetHistogramUnderMask(breastMask);
}

void CVistrelDoc::KeepBreastHistogram() {
    if (!breastMask.IsValid() || !image.IsValid()) return;
    image.InvalidateHistogram();
    image.GetHistogramUnderMask(breastMask);
}

COutline CVistrelDoc::BreastOutline() const {
    COutline outline;
    outline.reserve(breastSegment.Points().size());
    for (const CPoint& p : breastSegment.Points())
        outline.push_back({static_cast<double>(p.x), static_cast<double>(p.y)});
    return outline;
}

CVistrelDoc* CVistrelDoc::OnMorphOperator(EMorphOperator op) {
    if (!image.IsValid() || !app_.morphElement.HasCells()) return nullptr;
    std::unique_ptr<CMImage> result;
    {
        CWaitCursor wait(app_.Ui());
        result = ApplyMorphOperator(op, image, app_.morphElement, app_.morphIterations);
    }
    if (!result || !result->IsValid()) return nullptr;
    return OpenImageInNewWindow(std::move(result));
}

}  // namespace vistrel
