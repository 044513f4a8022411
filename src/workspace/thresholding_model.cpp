#include "workspace/thresholding_model.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/display.h"
#include "core/text.h"
#include "detection/grow_from_seeds.h"
#include "detection/spot_file.h"
#include "detection/thresholding.h"
#include "regions/extract_regions.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

CThresholdingModel::CThresholdingModel(CVistrelApp& app) : CToolWindowModel(app) {
    Recompute();
}

void CThresholdingModel::SetLocalMaxima(bool on) {
    if (on == localMaxima_) return;
    localMaxima_ = on;
    Recompute();
    if (Result()) ShowPicture();
}

void CThresholdingModel::SetSize(double size) {
    if (size == size_) return;
    size_ = size;
    if (!localMaxima_) return;
    Recompute();
    if (Result()) ShowPicture();
}

void CThresholdingModel::SetSizeInCm(bool cm) {
    if (cm == sizeInCm_) return;
    sizeInCm_ = cm;
    if (!localMaxima_) return;
    Recompute();
    if (Result()) ShowPicture();
}

int32_t CThresholdingModel::SizePixels() const {
    const double resolution = Source() ? double(Source()->resolution) : 0.0;
    return GrowWindowPixels(size_, sizeInCm_, resolution);
}

void CThresholdingModel::MoveSlider(int position) {
    threshold_ = slider_.ThresholdAt(position);
    typedPending_ = false;
    ShowPicture();
}

void CThresholdingModel::TypeThreshold(double value) {
    if (!std::isfinite(value)) return;  // no threshold, and no slider position, to show
    threshold_ = value;
    typedPending_ = true;
}

bool CThresholdingModel::SubmitThreshold() {
    if (!typedPending_) return false;
    typedPending_ = false;
    ShowPicture();
    return true;
}

std::string CThresholdingModel::ThresholdText() const {
    return Format("%4.1f", threshold_);
}
std::string CThresholdingModel::RangeMinText() const {
    return Format("%.0f", rangeMin_);
}
std::string CThresholdingModel::RangeMaxText() const {
    return Format("%.0f", rangeMax_);
}

bool CThresholdingModel::OnSetSourceDocument() {
    return BindActiveDocument();  // Recompute follows through OnSourceChanged
}

void CThresholdingModel::OnSourceChanged() {
    Recompute();
}

void CThresholdingModel::Recompute() {
    maxima_.ClearAll();
    typedPending_ = false;
    rangeMin_ = rangeMax_ = 0;
    if (!HasSourceImage()) {
        slider_ = CInvertedSlider();
        return;
    }
    CVistrelDoc& source = *Source();
    if (localMaxima_) {
        {
            const CWaitCursor wait(App().Ui());
            maxima_ = LocalMaximaSpots(source.image, SizePixels(), source.BreastMaskOrNull());
        }
        if (maxima_.Count() > 0) maxima_.Range(-1, rangeMin_, rangeMax_);
        slider_.SetRange(rangeMin_, rangeMax_);
        // As the spot detector starts: three quarters up, so that the
        // strongest maxima are marked first.
        threshold_ = slider_.Clamp(rangeMin_ + 0.75 * (rangeMax_ - rangeMin_));
        return;
    }
    int32_t lo = 0, hi = 0;
    source.image.GetValueRange(lo, hi);
    rangeMin_ = lo;
    rangeMax_ = hi;
    slider_.SetRange(rangeMin_, rangeMax_);
    // The isodata split of the document's histogram, started from its mean.
    CHistogram& histogram = source.image.GetHistogram();
    int32_t hlo = 0, hhi = 0;
    double start = rangeMin_;
    if (!histogram.IsEmpty() && histogram.GetRange(hlo, hhi) > 0) {
        int32_t t = static_cast<int32_t>(histogram.GetMean());
        histogram.IterativeThreshold(t, hlo, hhi);
        start = t;
    }
    threshold_ = slider_.Clamp(start);
}

CSpotList CThresholdingModel::MaximaAtThreshold() const {
    CSpotList out;
    out.CopyAtLeast(maxima_, threshold_, -1);
    return out;
}

std::unique_ptr<CMImage> CThresholdingModel::Picture() const {
    if (!HasSourceImage()) return nullptr;
    const CMImage& image = Source()->image;
    if (!localMaxima_) return ThresholdImage(image, threshold_, singlePixels_, onImage_);
    const CSpotList none;
    const CClusters noClusters;
    return ShowSpots(image, MaximaAtThreshold(), none, noClusters, onImage_, ESpotShow::kSpots,
                     ESpotMark::kCrosses, true);
}

void CThresholdingModel::ShowPicture() {
    if (!showResults_) return;
    CVistrelDoc* source = Source();
    if (!source) return;
    std::unique_ptr<CMImage> picture;
    {
        const CWaitCursor wait(App().Ui());
        picture = Picture();
    }
    if (!picture) return;
    // Whether the picture holds the source's values decides its windowing.
    const bool onImage = picture->depth != 1;
    ShowKeptPicture(std::move(picture), onImage);
}

bool CThresholdingModel::OnSegment() {
    CVistrelDoc* source = Source();
    if (!HasSourceImage()) return false;
    if (localMaxima_) {
        if (!OnSetSeeds()) return false;
        if (IWorkspaceUi* ui = App().Ui()) ui->OpenSegmentFromSeeds(*source, true);
        return true;
    }
    std::unique_ptr<CRegions> extracted;
    {
        const CWaitCursor wait(App().Ui());
        auto binary = ThresholdImage(source->image, threshold_, singlePixels_, false);
        if (!binary) return false;
        extracted = ExtractRegions(*binary, 1, App().connectivity);
    }
    if (!extracted) return false;
    source->ReplaceRegions(std::move(*extracted));
    return true;
}

bool CThresholdingModel::OnSetSeeds() {
    if (!Source() || !localMaxima_) return false;
    Source()->SetSeeds(MaximaAtThreshold());
    return true;
}

}  // namespace vistrel
