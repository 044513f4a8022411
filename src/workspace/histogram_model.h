#pragma once
// Model of the "Histogram" window and its drawing: the figures of the
// histogram, the bins drawn one per level or (for wide ranges) one per pixel
// column, bar heights scaled to the inner bins, the level under the mouse and
// the range of levels selected by dragging. The widgets only bind.

#include <cstdint>
#include <string>
#include <vector>

#include "core/histogram.h"

namespace vistrel {

class CVistrelDoc;

class CHistogramModel {
  public:
    // Columns of the drawing frame that are not drawn into (its border).
    static constexpr int kFrameColumns = 4;
    // Ranges wider than this are resampled to one bin per column.
    static constexpr int kMaxDirectLevels = 256;

    // The document's histogram (built if needed); no document empties the model.
    void Load(CVistrelDoc* doc);
    // A histogram held by the model (a copy); an empty one empties the model.
    void SetHistogram(const CHistogram& histogram);
    // Width of the drawing control in pixels; the bins are re-derived.
    void SetControlWidth(int width);

    bool IsEmpty() const { return total_ <= 0; }

    // Figures: "Pixels:", "Mean:", "Std Dev:", "Median:", "Variance:",
    // "Skewness:", "Kurtosis:" (real values as "%.3f"); all 0 when empty.
    std::string PixelsText() const;
    std::string MeanText() const;
    std::string StdDevText() const;
    std::string MedianText() const;
    std::string VarianceText() const;
    std::string SkewnessText() const;
    std::string KurtosisText() const;

    // The occupied levels [Lowest, Highest] and the drawn bins.
    int32_t Lowest() const { return lowest_; }
    int32_t Highest() const { return highest_; }
    int Columns() const { return columns_; }
    bool IsResampled() const { return resampled_; }
    // Count of each drawn bin (resampled: the rounded mean count of the levels
    // that fall into the column).
    const std::vector<int32_t>& Bins() const { return bins_; }
    // Height in pixels of a bin's bar in a drawing `height` pixels tall: the
    // largest inner bin (all but the first and the last) fills the height,
    // taller bars are cut at the top.
    int BarHeight(int bin, int height) const;
    // The drawn bin under a column of the drawing; -1 outside the bins.
    int BinAtColumn(int column) const;
    // The first and one-past-last columns of a bin's bar.
    int BinFirstColumn(int bin) const;
    int BinEndColumn(int bin) const;
    // The lowest and highest level a bin stands for.
    int32_t BinLowLevel(int bin) const;
    int32_t BinHighLevel(int bin) const;
    // The level under a column (clamped into the occupied range); Lowest when empty.
    int32_t LevelAtColumn(int column) const;

    // The level under the mouse: "Level:", "Count:" and "Percentile:" texts.
    void HoverColumn(int column);
    std::string LevelText() const;
    std::string CountText() const;
    std::string PercentileText() const;

    // Dragging across the drawing selects the levels between the two columns.
    void BeginSelection(int column);
    void ExtendSelection(int column);
    void ClearSelection();
    bool HasSelection() const { return hasSelection_; }
    int32_t SelectionLow() const { return selectionLow_; }
    int32_t SelectionHigh() const { return selectionHigh_; }
    // True when any level of the bin lies in the selection (drawn black on white).
    bool IsBinSelected(int bin) const;
    // "%d .. %d", the count of pixels and their mean ("%.3f"); empty strings without a selection.
    std::string SelectionRangeText() const;
    std::string SelectionCountText() const;
    std::string SelectionMeanText() const;

  private:
    void Rebuild();
    int32_t CountOf(int32_t level) const;

    // Its range queries compute statistics lazily.
    mutable CHistogram histogram_;
    int32_t total_ = 0;
    double mean_ = 0, stdDev_ = 0, variance_ = 0, skewness_ = 0, kurtosis_ = 0;
    int32_t median_ = 0;
    int32_t lowest_ = 0;
    int32_t highest_ = 0;
    int controlWidth_ = 0;
    int columns_ = 0;
    bool resampled_ = false;
    std::vector<int32_t> bins_;
    int32_t maxInner_ = 0;
    int32_t hoverLevel_ = 0;
    bool hasHover_ = false;
    bool hasSelection_ = false;
    int anchorBin_ = 0;
    int32_t selectionLow_ = 0;
    int32_t selectionHigh_ = 0;
};

}  // namespace vistrel
