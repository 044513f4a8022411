#include "workspace/scale_space_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "detection/spot_detector.h"

namespace vistrel {

namespace {

int Clamp(int v, CScaleSpaceModel::CRange r) {
    return std::clamp(v, r.min, r.max);
}

std::string Format(const char* format, auto... args) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

}  // namespace

void CScaleSpaceModel::SetMinScale(int v) {
    minScale_ = Clamp(v, kScaleRange);
}
void CScaleSpaceModel::SetMaxScale(int v) {
    maxScale_ = Clamp(v, kScaleRange);
}
void CScaleSpaceModel::SetIncrement(int v) {
    increment_ = Clamp(v, kIncrementRange);
}
void CScaleSpaceModel::SetLocalMaxSide(int v) {
    localMaxSide_ = Clamp(v, kLocalMaxRange);
}
void CScaleSpaceModel::SetSearchSide(int v) {
    searchSide_ = Clamp(v, kSearchRange);
}

void CScaleSpaceModel::Clear() {
    spots_.ClearAll();
    distinct_.clear();
    distinctKnown_ = false;
    selected_.ClearAll();
    inClusters_.ClearAll();
    log_.clear();
    rangeMin_ = rangeMax_ = 0;
    sliderMin_ = sliderMax_ = 0;
    typedPending_ = false;
}

bool CScaleSpaceModel::Detect(const CMImage& image, const CMImageBase* mask) {
    Clear();
    auto found = CandidateListSSS(image, minScale_, maxScale_, increment_, localMaxSide_,
                                  searchSide_, mask, log_);
    if (!found) return false;
    spots_ = std::move(*found);
    PrepareSlider();
    // A threshold that no spot reaches (or that every spot passes) would make
    // the first picture useless: it starts where a change of "res type" does.
    if (HasSpots() && !(threshold_ >= rangeMin_ && threshold_ <= rangeMax_))
        threshold_ = std::clamp(rangeMin_ + 0.75 * (rangeMax_ - rangeMin_), double(sliderMin_),
                                double(sliderMax_));
    Select(false);
    return HasSpots();
}

bool CScaleSpaceModel::LoadFromFile(const std::string& path, int32_t width, int32_t height) {
    Clear();
    CSpotFileParams params;
    if (ParseSpotFileName(path, params)) {
        SetMinScale(params.minScale);
        SetIncrement(params.increment);
        SetMaxScale(params.maxScale);
        SetLocalMaxSide(params.localMaxSide);
        SetSearchSide(params.searchSide);
    }
    if (LoadSpots(path, spots_, {0, 0}, width, height) <= 0) return false;
    threshold_ = kDefaultThreshold;
    PrepareSlider();
    Select(false);
    return true;
}

std::string CScaleSpaceModel::SaveToFile(const std::string& documentPath) const {
    if (!HasSpots()) return {};
    const std::string name =
        SpotFileName(documentPath, {minScale_, increment_, maxScale_, localMaxSide_, searchSide_});
    return SaveSpots(name, spots_, {0, 0}) > 0 ? name : std::string();
}

void CScaleSpaceModel::PrepareSlider() {
    spots_.Range(resType_, rangeMin_, rangeMax_);
    if (!HasSpots()) rangeMin_ = rangeMax_ = 0;
    sliderMin_ = static_cast<int>(std::floor(rangeMin_));
    sliderMax_ = static_cast<int>(std::floor(rangeMax_)) + 1;
}

int CScaleSpaceModel::SliderPosition() const {
    const int position = static_cast<int>(std::lround(sliderMin_ + sliderMax_ - threshold_));
    return std::clamp(position, sliderMin_, sliderMax_);
}

void CScaleSpaceModel::MoveSlider(int position) {
    position = std::clamp(position, sliderMin_, sliderMax_);
    threshold_ = std::clamp(double(sliderMin_ + sliderMax_ - position), double(sliderMin_),
                            double(sliderMax_));
    Select(false);
}

void CScaleSpaceModel::SetResType(int k) {
    resType_ = Clamp(k, kResTypeRange);
    PrepareSlider();
    threshold_ = std::clamp(rangeMin_ + 0.75 * (rangeMax_ - rangeMin_), double(sliderMin_),
                            double(sliderMax_));
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
    // The spots change only by a detection or a load, both after Clear: which of them are the
    // first of equal ones is found once, not at every slider move.
    if (!distinctKnown_) {
        distinct_ = FirstOfEqualSpots(spots_);
        distinctKnown_ = true;
    }
    selected_.AssignSelection(spots_, SelectSpotIndices(spots_, distinct_, automatic,
                                                        automatic ? autoFactor_ : threshold_,
                                                        resType_, keepMinScale_ ? -1 : minScale_));
}

std::unique_ptr<CMImage> CScaleSpaceModel::Picture(const CMImage& image) const {
    const CClusters none;
    return ShowSpots(image, selected_, inClusters_, none, onImage_, what_, shape_, true);
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
    for (int h = minScale_; h <= maxScale_; ++h) {
        std::vector<double> v;
        for (int32_t i = 0; i < selected_.Count(); ++i) {
            const CPointResponse& s = selected_[i];
            if ((s.values.empty() ? 0.0 : s.values[0]) == h) v.push_back(SpotValue(s, resType_));
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
