#include "workspace/mc_cluster_detection_model.h"

#include <utility>

#include "core/text.h"
#include "detection/clustering.h"
#include "detection/spot_detector.h"
#include "workspace/notifier.h"
#include "workspace/seeds_handover.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

CSpotParams CMcClusterDetectionModel::SeedParams() {
    CSpotParams p;
    p.minScale = 5;
    p.increment = 1;
    p.maxScale = 9;
    p.localMaxSide = 3;
    p.searchSide = 3;
    return p;
}

CMcClusterDetectionModel::CMcClusterDetectionModel(CVistrelApp& app) : CToolWindowModel(app) {
    connect(&app.Notifier(), &CNotifier::clusterParamsChanged, this, [this] { Evaluate(); });
}

void CMcClusterDetectionModel::OnSourceChanged() {
    Clear();
}

// ---------------------------------------------------------------- the source document

bool CMcClusterDetectionModel::OnGetSeeds() {
    if (!HasSourceImage()) return false;
    const CWaitCursor wait(App().Ui());
    CProgressScope progress(App().Ui(), "Microcalcification Clusters Detection");
    const bool found = Detect(Source()->image, Source()->BreastMaskOrNull(), progress.Fn());
    return found && !progress.Cancelled();
}

bool CMcClusterDetectionModel::SetSeeds() {
    return HandSeedsTo(Source(), selected_);
}

bool CMcClusterDetectionModel::OnSegment() {
    return SegmentFromSpots(App(), Source(), selected_);
}

void CMcClusterDetectionModel::ShowPicture() {
    CVistrelDoc* source = Source();
    if (!showResults_ || !source || !HasSpots()) return;
    std::unique_ptr<CMImage> picture;
    {
        const CWaitCursor wait(App().Ui());
        picture = Picture(source->image);
    }
    ShowKeptPicture(std::move(picture), onImage_);
}

// ---------------------------------------------------------------- images

bool CMcClusterDetectionModel::Detect(const CMImage& image, const CMImageBase* mask,
                                      const ProgressFn& progress) {
    const CSpotParams p = SeedParams();
    std::string log;
    auto found = CandidateListSSS(image, p.minScale, p.maxScale, p.increment, p.localMaxSide,
                                  p.searchSide, mask, log, {}, progress);
    // A Cancel pressed after the detector's last report still counts.
    if (progress && !progress(1.0)) return false;
    const double threshold = threshold_;
    Clear();
    threshold_ = threshold;
    detected_ = true;
    if (found) spots_ = std::move(*found);
    distinct_ = FirstOfEqualSpots(spots_);
    // The slider spans the responses; the threshold stays where the user had
    // it, so that a second run with the same threshold can be compared.
    spots_.Range(-1, rangeMin_, rangeMax_);
    if (!HasSpots()) rangeMin_ = rangeMax_ = 0;
    slider_.SetRange(rangeMin_, rangeMax_);
    Evaluate();
    return HasSpots();
}

void CMcClusterDetectionModel::Clear() {
    spots_.ClearAll();
    selected_.ClearAll();
    inClusters_.ClearAll();
    distinct_.clear();
    rangeMin_ = rangeMax_ = 0;
    slider_ = CInvertedSlider();
    line_.clear();
    detected_ = false;
}

void CMcClusterDetectionModel::MoveSlider(int position) {
    threshold_ = slider_.ThresholdAt(position);
    Evaluate();
}

void CMcClusterDetectionModel::SetShowResults(bool on) {
    showResults_ = on;
    ShowPicture();
}

void CMcClusterDetectionModel::SetOnImage(bool on) {
    onImage_ = on;
    ShowPicture();
}

void CMcClusterDetectionModel::Evaluate() {
    CVistrelDoc* source = Source();
    // Before the first "Get Seeds" the source's clusters (made by other
    // commands) are not this window's to replace.
    if (!source || !detected_) return;
    const CMImage& image = source->image;
    // Response (value index -1), the manual threshold, no scale left out.
    constexpr int kResponse = -1;
    constexpr int kNoExcludedScale = -1;
    selected_.AssignSelection(spots_, SelectSpotIndices(spots_, distinct_, false, threshold_,
                                                        kResponse, kNoExcludedScale));
    const CClusterPixelParams pixels = InPixels(App().clusterParams, source->resolution);
    SpotClusters(image.width, image.height, source->clusters, inClusters_, spots_, distinct_, false,
                 threshold_, kResponse, kNoExcludedScale, pixels);
    line_ = EvaluateSpotClusters(source->subtlety, source->rosRegions, source->clusters,
                                 pixels.diameterPx, !HasSpots());
    ShowPicture();
    emit evaluated();
}

std::string CMcClusterDetectionModel::ReportText() const {
    return line_.empty() ? std::string() : std::string(kSpotClusterHeader) + line_;
}

std::unique_ptr<CMImage> CMcClusterDetectionModel::Picture(const CMImage& image) const {
    const CClusters none;
    return ShowSpots(image, selected_, inClusters_, none, onImage_, ESpotShow::kSpots,
                     ESpotMark::kCircles, true);
}

std::string CMcClusterDetectionModel::ThresholdText() const {
    return Format("%4.1f", threshold_);
}
std::string CMcClusterDetectionModel::RangeMinText() const {
    return Format("%.0f", rangeMin_);
}
std::string CMcClusterDetectionModel::RangeMaxText() const {
    return Format("%.0f", rangeMax_);
}

}  // namespace vistrel
