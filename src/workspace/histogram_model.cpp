#include "workspace/histogram_model.h"

#include <algorithm>
#include <cstdio>

#include "core/text.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

std::string FormatInt(int64_t value) {
    return std::to_string(value);
}

// ceil(a / b) for a >= 0, b > 0.
int64_t CeilDiv(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

}  // namespace

void CHistogramModel::Load(CVistrelDoc* doc) {
    if (!doc || !doc->image.IsValid()) {
        SetHistogram(CHistogram{});
        return;
    }
    // While the document has a breast mask its histogram is the breast's.
    SetHistogram(doc->breastMask.IsValid() ? doc->image.GetHistogramUnderMask(doc->breastMask)
                                           : doc->image.GetHistogram());
}

void CHistogramModel::SetHistogram(const CHistogram& histogram) {
    histogram_ = histogram;
    total_ = 0;
    mean_ = stdDev_ = variance_ = skewness_ = kurtosis_ = 0;
    median_ = lowest_ = highest_ = 0;
    hasHover_ = false;
    hasSelection_ = false;
    if (!histogram_.IsEmpty()) {
        histogram_.ComputeStatistics();
        if (histogram_.statsValid) {
            total_ = histogram_.total;
            mean_ = histogram_.mean;
            stdDev_ = histogram_.stdDev;
            variance_ = histogram_.variance;
            skewness_ = histogram_.skewness;
            kurtosis_ = histogram_.kurtosis;
            median_ = histogram_.median;
            lowest_ = histogram_.minValue;
            highest_ = histogram_.maxValue;
        }
    }
    Rebuild();
}

void CHistogramModel::SetControlWidth(int width) {
    controlWidth_ = width;
    Rebuild();
}

int32_t CHistogramModel::CountOf(int32_t level) const {
    const int32_t count = histogram_.GetCount(histogram_.IndexOf(level));
    return count < 0 ? 0 : count;
}

void CHistogramModel::Rebuild() {
    columns_ = std::max(controlWidth_ - kFrameColumns, 0);
    bins_.clear();
    resampled_ = false;
    maxInner_ = 0;
    if (IsEmpty()) return;
    const int64_t range = int64_t{highest_} - lowest_ + 1;
    // A range narrower than the drawing keeps one bin per level even above 256
    // levels: resampling it would leave empty columns between the bars.
    resampled_ = range > kMaxDirectLevels && columns_ > 0 && range > columns_;
    if (resampled_) {
        std::vector<int64_t> sums(static_cast<std::size_t>(columns_), 0);
        std::vector<int64_t> levels(static_cast<std::size_t>(columns_), 0);
        for (int64_t v = 0; v < range; ++v) {
            const auto column = static_cast<std::size_t>(v * columns_ / range);
            sums[column] += CountOf(static_cast<int32_t>(lowest_ + v));
            ++levels[column];
        }
        bins_.resize(static_cast<std::size_t>(columns_));
        for (std::size_t c = 0; c < bins_.size(); ++c)
            bins_[c] =
                levels[c] ? static_cast<int32_t>(double(sums[c]) / double(levels[c]) + 0.5) : 0;
    } else {
        bins_.resize(static_cast<std::size_t>(range));
        for (int64_t v = 0; v < range; ++v)
            bins_[static_cast<std::size_t>(v)] = CountOf(static_cast<int32_t>(lowest_ + v));
    }
    // The first and last bins are usually the background and the saturated
    // pixels; scaling to them would flatten everything else.
    for (std::size_t b = 1; b + 1 < bins_.size(); ++b) maxInner_ = std::max(maxInner_, bins_[b]);
    if (maxInner_ <= 0)
        for (int32_t count : bins_) maxInner_ = std::max(maxInner_, count);
}

int CHistogramModel::BarHeight(int bin, int height) const {
    if (bin < 0 || bin >= static_cast<int>(bins_.size()) || maxInner_ <= 0 || height <= 0) return 0;
    const double scaled = double(bins_[static_cast<std::size_t>(bin)]) * height / maxInner_;
    return static_cast<int>(std::min<double>(scaled + 0.5, height));
}

int CHistogramModel::BinAtColumn(int column) const {
    const int64_t n = static_cast<int64_t>(bins_.size());
    if (n == 0 || columns_ <= 0 || column < 0 || column >= columns_) return -1;
    // The last bin whose first column is not right of `column`.
    const int64_t bin = ((int64_t{column} + 1) * n - 1) / columns_;
    return static_cast<int>(std::min(bin, n - 1));
}

int CHistogramModel::BinFirstColumn(int bin) const {
    if (bins_.empty()) return 0;
    return static_cast<int>(int64_t{bin} * columns_ / static_cast<int64_t>(bins_.size()));
}

int CHistogramModel::BinEndColumn(int bin) const {
    return BinFirstColumn(bin + 1);
}

int32_t CHistogramModel::BinLowLevel(int bin) const {
    if (!resampled_) return lowest_ + bin;
    const int64_t range = int64_t{highest_} - lowest_ + 1;
    return static_cast<int32_t>(lowest_ + CeilDiv(int64_t{bin} * range, columns_));
}

int32_t CHistogramModel::BinHighLevel(int bin) const {
    if (!resampled_) return lowest_ + bin;
    return BinLowLevel(bin + 1) - 1;
}

int32_t CHistogramModel::LevelAtColumn(int column) const {
    if (bins_.empty() || columns_ <= 0) return lowest_;
    return BinLowLevel(BinAtColumn(std::clamp(column, 0, columns_ - 1)));
}

void CHistogramModel::HoverColumn(int column) {
    hasHover_ = !bins_.empty() && columns_ > 0;
    hoverLevel_ = LevelAtColumn(column);
}

std::string CHistogramModel::LevelText() const {
    return FormatInt(hasHover_ ? hoverLevel_ : 0);
}

std::string CHistogramModel::CountText() const {
    return FormatInt(hasHover_ ? CountOf(hoverLevel_) : 0);
}

std::string CHistogramModel::PercentileText() const {
    if (!hasHover_) return Format("%.3f", 0.0);
    return Format("%.3f", histogram_.PercentBelow(hoverLevel_));
}

void CHistogramModel::BeginSelection(int column) {
    hasSelection_ = !bins_.empty() && columns_ > 0;
    if (!hasSelection_) return;
    anchorBin_ = BinAtColumn(std::clamp(column, 0, columns_ - 1));
    selectionLow_ = BinLowLevel(anchorBin_);
    selectionHigh_ = BinHighLevel(anchorBin_);
}

void CHistogramModel::ExtendSelection(int column) {
    if (!hasSelection_ || bins_.empty() || columns_ <= 0) return;
    const int bin = BinAtColumn(std::clamp(column, 0, columns_ - 1));
    // Whole bins on both ends, whichever way the mouse moved.
    selectionLow_ = BinLowLevel(std::min(anchorBin_, bin));
    selectionHigh_ = BinHighLevel(std::max(anchorBin_, bin));
}

void CHistogramModel::ClearSelection() {
    hasSelection_ = false;
}

bool CHistogramModel::IsBinSelected(int bin) const {
    return hasSelection_ && BinLowLevel(bin) <= selectionHigh_ &&
           BinHighLevel(bin) >= selectionLow_;
}

std::string CHistogramModel::SelectionRangeText() const {
    if (!hasSelection_) return {};
    return FormatInt(selectionLow_) + " .. " + FormatInt(selectionHigh_);
}

std::string CHistogramModel::SelectionCountText() const {
    if (!hasSelection_) return {};
    const int32_t count = histogram_.CountInRange(selectionLow_, selectionHigh_);
    return FormatInt(std::max(count, 0));
}

std::string CHistogramModel::SelectionMeanText() const {
    if (!hasSelection_) return {};
    // MeanInRange covers a .. b-1; the selection includes its high end.
    return Format("%.3f", histogram_.MeanInRange(selectionLow_, selectionHigh_ + 1));
}

std::string CHistogramModel::PixelsText() const {
    return FormatInt(total_);
}
std::string CHistogramModel::MeanText() const {
    return Format("%.3f", mean_);
}
std::string CHistogramModel::StdDevText() const {
    return Format("%.3f", stdDev_);
}
std::string CHistogramModel::MedianText() const {
    return FormatInt(median_);
}
std::string CHistogramModel::VarianceText() const {
    return Format("%.3f", variance_);
}
std::string CHistogramModel::SkewnessText() const {
    return Format("%.3f", skewness_);
}
std::string CHistogramModel::KurtosisText() const {
    return Format("%.3f", kurtosis_);
}

}  // namespace vistrel
