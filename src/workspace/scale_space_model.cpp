#include "workspace/scale_space_model.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>
#include <vector>

#include "core/text.h"
#include "detection/spot_detector.h"
#include "workspace/file_filters.h"
#include "workspace/seeds_handover.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

CScaleSpaceModel::CScaleSpaceModel(CVistrelApp& app) : CToolWindowModel(app) {
    connect(&app.Notifier(), &CNotifier::clusterParamsChanged, this, &CScaleSpaceModel::Reselect);
}

void CScaleSpaceModel::SetMinScale(int v) {
    params_.minScale = CSpotParams::kScaleRange.Clamp(v);
}
void CScaleSpaceModel::SetMaxScale(int v) {
    params_.maxScale = CSpotParams::kScaleRange.Clamp(v);
}
void CScaleSpaceModel::SetIncrement(int v) {
    params_.increment = CSpotParams::kIncrementRange.Clamp(v);
}
void CScaleSpaceModel::SetLocalMaxSide(int v) {
    params_.localMaxSide = CSpotParams::kLocalMaxRange.Clamp(v);
}
void CScaleSpaceModel::SetSearchSide(int v) {
    params_.searchSide = CSpotParams::kSearchRange.Clamp(v);
}

void CScaleSpaceModel::OnSourceChanged() {
    Clear();
}

// ---------------------------------------------------------------- the source document

bool CScaleSpaceModel::OnSpots() {
    if (!HasSourceImage()) return false;
    bool found = false;
    {
        const CWaitCursor wait(App().Ui());
        CProgressScope progress(App().Ui(), "Multiscale spot detector");
        // Inside the breast mask when the document has one, read as the search starts.
        found = Detect(Source()->image, Source()->BreastMaskOrNull(), progress.Fn());
        if (progress.Cancelled()) return false;
    }
    if (!log_.empty()) messages().show(log_);
    ShowPicture();
    return found;
}

bool CScaleSpaceModel::OnSpotsFromFile() {
    if (!HasSourceImage()) return false;
    std::string path = SpotFileName(Source()->pathName, params_);
    if (!std::filesystem::exists(path)) {
        IWorkspaceUi* ui = App().Ui();
        std::string chosen;
        if (!ui || !ui->PickOpenFile(path, ParseFilterList(kSpotFileFilters), chosen)) return false;
        path = chosen;
    }
    bool loaded = false;
    {
        const CWaitCursor wait(App().Ui());
        loaded = LoadFromFile(path, Source()->image.width, Source()->image.height);
    }
    ShowPicture();
    return loaded;
}

std::string CScaleSpaceModel::OnSaveSpots() const {
    return Source() ? SaveToFile(Source()->pathName) : std::string();
}

bool CScaleSpaceModel::SetSeeds() {
    return HandSeedsTo(Source(), selected_);
}

bool CScaleSpaceModel::OnSegment() {
    return SegmentFromSpots(App(), Source(), selected_);
}

void CScaleSpaceModel::ShowPicture() {
    CVistrelDoc* source = Source();
    if (!source || !HasSpots()) return;
    std::unique_ptr<CMImage> picture;
    {
        const CWaitCursor wait(App().Ui());
        picture = Picture(source->image);
    }
    ShowKeptPicture(std::move(picture), OnImage());
}

CFrocRequest CScaleSpaceModel::FrocRequest() const {
    CFrocRequest request;
    request.detector = params_;
    request.k = resType_;
    request.excludedScale = keepMinScale_ ? -1 : params_.minScale;
    if (Source() && HasSpots()) {
        request.knownDocuments.push_back(Source());
        request.knownSpots.push_back(&spots_);
    }
    request.skip = PictureDocument();
    return request;
}

bool CScaleSpaceModel::OnFroc(CFrocModel& froc) {
    EFrocOutcome outcome;
    {
        const CWaitCursor wait(App().Ui());
        CProgressScope progress(App().Ui(), "FROC");
        outcome = froc.Compute(App(), FrocRequest(), progress.Fn());
    }
    if (outcome == EFrocOutcome::kNoTruth) messages().show(kFrocNoTruthMessage);
    if (outcome == EFrocOutcome::kNoSpots) messages().show(kFrocNoSpotsMessage);
    return outcome == EFrocOutcome::kDone;
}

// ---------------------------------------------------------------- images

void CScaleSpaceModel::Clear() {
    spots_.ClearAll();
    distinct_.clear();
    distinctKnown_ = false;
    selected_.ClearAll();
    inClusters_.ClearAll();
    // The source's clusters are the document's: a detection or load replaces them.
    ownClusters_.RemoveAll();
    evaluation_.clear();
    width_ = height_ = 0;
    lastAutomatic_ = false;
    log_.clear();
    rangeMin_ = rangeMax_ = 0;
    slider_ = CInvertedSlider();
    typedPending_ = false;
}

bool CScaleSpaceModel::Detect(const CMImage& image, const CMImageBase* mask,
                              const ProgressFn& progress) {
    std::string log;
    auto found =
        CandidateListSSS(image, params_.minScale, params_.maxScale, params_.increment,
                         params_.localMaxSide, params_.searchSide, mask, log, {}, progress);
    // A Cancel pressed after the detector's last report still counts: the
    // results of before stay.
    if (progress && !progress(1.0)) return false;
    Clear();
    log_ = std::move(log);
    if (!found) return false;
    spots_ = std::move(*found);
    width_ = image.width;
    height_ = image.height;
    PrepareSlider();
    // A threshold that no spot reaches (or that every spot passes) would make
    // the first picture useless: it starts where a change of "res type" does.
    if (HasSpots() && !(threshold_ >= rangeMin_ && threshold_ <= rangeMax_))
        threshold_ = slider_.Clamp(rangeMin_ + 0.75 * (rangeMax_ - rangeMin_));
    Select(false);
    return HasSpots();
}

bool CScaleSpaceModel::LoadFromFile(const std::string& path, int32_t width, int32_t height) {
    Clear();
    CSpotParams params;
    if (ParseSpotFileName(path, params)) SetParams(params);
    if (LoadSpots(path, spots_, {0, 0}, width, height) <= 0) return false;
    width_ = width;
    height_ = height;
    threshold_ = kDefaultThreshold;
    PrepareSlider();
    Select(false);
    return true;
}

std::string CScaleSpaceModel::SaveToFile(const std::string& documentPath) const {
    if (!HasSpots()) return {};
    const std::string name = SpotFileName(documentPath, params_);
    return SaveSpots(name, spots_, {0, 0}) > 0 ? name : std::string();
}

void CScaleSpaceModel::PrepareSlider() {
    spots_.Range(resType_, rangeMin_, rangeMax_);
    if (!HasSpots()) rangeMin_ = rangeMax_ = 0;
    slider_.SetRange(rangeMin_, rangeMax_);
}

void CScaleSpaceModel::MoveSlider(int position) {
    threshold_ = slider_.ThresholdAt(position);
    Select(false);
}

void CScaleSpaceModel::SetResType(int k) {
    resType_ = kResTypeRange.Clamp(k);
    PrepareSlider();
    threshold_ = slider_.Clamp(rangeMin_ + 0.75 * (rangeMax_ - rangeMin_));
    Select(false);
}

void CScaleSpaceModel::TypeThreshold(double value) {
    threshold_ = value;
    typedPending_ = true;
}

bool CScaleSpaceModel::SubmitThreshold() {
    if (!typedPending_) return false;
    typedPending_ = false;
    Select(false);
    return true;
}

void CScaleSpaceModel::SetKeepMinScale(bool keep) {
    keepMinScale_ = keep;
    Select(false);
}

void CScaleSpaceModel::SelectAutomatic() {
    Select(true);
}

void CScaleSpaceModel::Select(bool automatic) {
    lastAutomatic_ = automatic;
    // The spots change only by a detection or a load, both after Clear: which of them are the
    // first of equal ones is found once, not at every slider move.
    if (!distinctKnown_) {
        distinct_ = FirstOfEqualSpots(spots_);
        distinctKnown_ = true;
    }
    const double threshold = automatic ? autoFactor_ : threshold_;
    const int excluded = keepMinScale_ ? -1 : params_.minScale;
    selected_.AssignSelection(
        spots_, SelectSpotIndices(spots_, distinct_, automatic, threshold, resType_, excluded));

    const CVistrelDoc* source = Source();
    const CClusterPixelParams pixels =
        InPixels(App().clusterParams, source ? source->resolution : kDefaultResolution);
    CClusters& clusters = ClusterList();
    // A clustering that could not run leaves no clusters; its spots are then in none either.
    if (!SpotClusters(width_, height_, clusters, inClusters_, spots_, distinct_, automatic,
                      threshold, resType_, excluded, pixels))
        inClusters_.ClearAll();
    static const CRegions kNoTruth;
    evaluation_ = EvaluateSpotClusters(source ? source->subtlety : 0,
                                       source ? source->rosRegions : kNoTruth, clusters,
                                       pixels.diameterPx, !HasSpots());
}

void CScaleSpaceModel::Reselect() {
    if (!HasSpots()) return;
    Select(lastAutomatic_);
    ShowPicture();
    emit reselected();
}

CClusters& CScaleSpaceModel::ClusterList() {
    return Source() ? Source()->clusters : ownClusters_;
}

const CClusters& CScaleSpaceModel::Clusters() const {
    return Source() ? Source()->clusters : ownClusters_;
}

std::string CScaleSpaceModel::ClusterInfo() const {
    return evaluation_.empty() ? std::string() : kSpotClusterHeader + evaluation_;
}

std::unique_ptr<CMImage> CScaleSpaceModel::Picture(const CMImage& image) const {
    return ShowSpots(image, selected_, inClusters_, Clusters(), onImage_, what_, shape_, true);
}

std::string CScaleSpaceModel::RangeMinText() const {
    return Format("%.0f", rangeMin_);
}
std::string CScaleSpaceModel::RangeMaxText() const {
    return Format("%.0f", rangeMax_);
}
std::string CScaleSpaceModel::ThresholdText() const {
    return Format("%4.1f", threshold_);
}

std::string CScaleSpaceModel::SpotInfo() const {
    std::string text;
    std::vector<double> all;
    for (int h = params_.minScale; h <= params_.maxScale; ++h) {
        std::vector<double> v;
        for (int32_t i = 0; i < selected_.Count(); ++i) {
            const CPointResponse& s = selected_[i];
            if ((s.values.empty() ? 0.0 : s.values[kSpotScale]) == h)
                v.push_back(SpotValue(s, resType_));
        }
        all.insert(all.end(), v.begin(), v.end());
        if (v.empty()) {
            text += Format("h=%d, num=%d\n", h, 0);
            continue;
        }
        double sum = 0, lo = v[0], hi = v[0];
        for (double x : v) {
            sum += x;
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
        const double mean = sum / double(v.size());
        double ss = 0;
        for (double x : v) ss += (x - mean) * (x - mean);
        const double sd = v.size() > 1 ? std::sqrt(ss / double(v.size() - 1)) : 0.0;
        text += Format("h=%d, num=%d, min=%.1f, max=%.1f, mean=%.1f, stdDev=%.1f\n", h,
                       int(v.size()), lo, hi, mean, sd);
    }
    double sum = 0;
    for (double x : all) sum += x;
    const double mean = all.empty() ? 0.0 : sum / double(all.size());
    double ss = 0;
    for (double x : all) ss += (x - mean) * (x - mean);
    const double sd = all.size() > 1 ? std::sqrt(ss / double(all.size() - 1)) : 0.0;
    text += Format("numAll=%d, meanAll=%.1f, stdDevAll=%.1f\n", int(all.size()), mean, sd);
    return text;
}

}  // namespace vistrel
