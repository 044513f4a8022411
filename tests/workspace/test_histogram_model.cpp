#include "workspace/histogram_model.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/image.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {
namespace {

// A histogram over [0, bins) holding the given counts.
CHistogram Counts(int32_t bins, const std::map<int32_t, int32_t>& counts) {
    CHistogram h;
    h.Allocate(bins);
    h.firstValue = 0;
    h.lastValue = bins - 1;
    for (const auto& [value, count] : counts) h.SetCount(value, count);
    h.ComputeCountExtremes();
    return h;
}

TEST(HistogramModel, FiguresOfASymmetricHistogram) {
    CHistogramModel model;
    // Two pixels at 1, two at 3: mean 2, variance 1, no skew, excess kurtosis -2.
    model.SetHistogram(Counts(8, {{1, 2}, {3, 2}}));
    EXPECT_EQ(model.PixelsText(), "4");
    EXPECT_EQ(model.MeanText(), "2.000");
    EXPECT_EQ(model.StdDevText(), "1.000");
    EXPECT_EQ(model.VarianceText(), "1.000");
    EXPECT_EQ(model.SkewnessText(), "0.000");
    EXPECT_EQ(model.KurtosisText(), "-2.000");
    EXPECT_EQ(model.MedianText(), "1");
    EXPECT_EQ(model.Lowest(), 1);
    EXPECT_EQ(model.Highest(), 3);
}

TEST(HistogramModel, EmptyOrNoDocumentShowsZeros) {
    CHistogramModel model;
    model.SetHistogram(Counts(8, {{2, 5}}));
    model.SetControlWidth(100);
    model.BeginSelection(3);
    model.Load(nullptr);
    EXPECT_TRUE(model.IsEmpty());
    for (const std::string& text : {model.PixelsText(), model.MedianText(), model.LevelText()})
        EXPECT_EQ(text, "0");
    for (const std::string& text : {model.MeanText(), model.StdDevText(), model.VarianceText(),
                                    model.SkewnessText(), model.KurtosisText()})
        EXPECT_EQ(text, "0.000");
    EXPECT_TRUE(model.Bins().empty());
    EXPECT_FALSE(model.HasSelection());
    EXPECT_EQ(model.BinAtColumn(0), -1);
    EXPECT_EQ(model.BarHeight(0, 50), 0);
}

TEST(HistogramModel, FollowsTheDocumentImage) {
    CVistrelApp app;
    CVistrelDoc doc(app, 1);
    doc.image.Create(3, 2, 8, 1);
    doc.image.SetPixel(0, 0, 200);
    CHistogramModel model;
    model.Load(&doc);
    EXPECT_EQ(model.PixelsText(), "6");
    EXPECT_EQ(model.Lowest(), 0);
    EXPECT_EQ(model.Highest(), 200);
}

TEST(HistogramModel, NarrowRangesDrawOneBinPerLevel) {
    CHistogramModel model;
    model.SetHistogram(Counts(256, {{10, 3}, {11, 0}, {12, 7}, {13, 1}}));
    model.SetControlWidth(104);  // 100 drawn columns, 25 per level
    EXPECT_FALSE(model.IsResampled());
    EXPECT_EQ(model.Columns(), 100);
    EXPECT_EQ(model.Bins(), (std::vector<int32_t>{3, 0, 7, 1}));
    struct Case {
        int column, bin;
        int32_t level;
    };
    for (const Case& c : {Case{0, 0, 10}, Case{24, 0, 10}, Case{25, 1, 11}, Case{99, 3, 13}}) {
        EXPECT_EQ(model.BinAtColumn(c.column), c.bin) << c.column;
        EXPECT_EQ(model.LevelAtColumn(c.column), c.level) << c.column;
    }
    EXPECT_EQ(model.BinAtColumn(100), -1);
    EXPECT_EQ(model.BinAtColumn(-1), -1);
    EXPECT_EQ(model.LevelAtColumn(500), 13);  // dragging past the edge stays on the last level
    EXPECT_EQ(model.BinFirstColumn(2), 50);
    EXPECT_EQ(model.BinEndColumn(2), 75);
}

TEST(HistogramModel, WideRangesAverageTheLevelsOfEachColumn) {
    // Levels 100 .. 1099 (1000 levels) on 400 columns: column = (v - 100) * 400 / 1000,
    // so column 0 holds levels 100..102 and column 1 levels 103..104.
    std::map<int32_t, int32_t> counts = {{100, 10}, {101, 11}, {102, 0}, {103, 4}, {104, 5}};
    counts[1099] = 9;
    CHistogramModel model;
    model.SetHistogram(Counts(4096, counts));
    model.SetControlWidth(404);
    ASSERT_TRUE(model.IsResampled());
    ASSERT_EQ(model.Bins().size(), 400u);
    EXPECT_EQ(model.Bins()[0], 7);    // 21 / 3
    EXPECT_EQ(model.Bins()[1], 5);    // 4.5 rounds up
    EXPECT_EQ(model.Bins()[399], 5);  // levels 1098 (0) and 1099 (9): 4.5 rounds up
    EXPECT_EQ(model.BinLowLevel(0), 100);
    EXPECT_EQ(model.BinHighLevel(0), 102);
    EXPECT_EQ(model.BinLowLevel(1), 103);
    EXPECT_EQ(model.BinHighLevel(1), 104);
    // The columns partition the occupied range without gaps or overlaps.
    int32_t next = model.Lowest();
    for (int c = 0; c < 400; ++c) {
        ASSERT_EQ(model.BinLowLevel(c), next) << c;
        ASSERT_GE(model.BinHighLevel(c), model.BinLowLevel(c)) << c;
        next = model.BinHighLevel(c) + 1;
        ASSERT_EQ(model.BinAtColumn(c), c);
    }
    EXPECT_EQ(next, model.Highest() + 1);
}

TEST(HistogramModel, SixteenBitImageDrawsOneColumnPerPixelColumn) {
    CMImage image(64, 64, 16);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) image.SetPixel(x, y, (x * 64 + y) * 15);
    CHistogramModel model;
    model.SetHistogram(image.GetHistogram());
    for (int width : {204, 331, 604}) {
        model.SetControlWidth(width);
        EXPECT_TRUE(model.IsResampled()) << width;
        EXPECT_EQ(static_cast<int>(model.Bins().size()), width - 4) << width;
    }
}

TEST(HistogramModel, BarsScaleToTheLargestInnerBin) {
    CHistogramModel model;
    model.SetHistogram(Counts(256, {{0, 1000}, {1, 10}, {2, 20}, {3, 5000}}));
    model.SetControlWidth(44);
    EXPECT_EQ(model.BarHeight(2, 100), 100);
    EXPECT_EQ(model.BarHeight(1, 100), 50);
    // Outer bins taller than the scale are cut at the top.
    EXPECT_EQ(model.BarHeight(0, 100), 100);
    EXPECT_EQ(model.BarHeight(3, 100), 100);

    // Without inner counts the largest bin sets the scale.
    model.SetHistogram(Counts(256, {{0, 40}, {3, 10}}));
    EXPECT_EQ(model.BarHeight(0, 80), 80);
    EXPECT_EQ(model.BarHeight(3, 80), 20);
    EXPECT_EQ(model.BarHeight(1, 80), 0);
}

TEST(HistogramModel, HoverShowsLevelCountAndPercentile) {
    CHistogramModel model;
    model.SetHistogram(Counts(256, {{10, 1}, {11, 3}, {12, 4}}));
    model.SetControlWidth(34);  // 30 columns, 10 per level
    model.HoverColumn(15);
    EXPECT_EQ(model.LevelText(), "11");
    EXPECT_EQ(model.CountText(), "3");
    EXPECT_EQ(model.PercentileText(), "50.000");  // 4 of 8 pixels at or below 11
}

TEST(HistogramModel, DraggingSelectsWholeBinsEitherWay) {
    // Levels 20..29 with count (level - 19): 10 levels on 100 columns.
    std::map<int32_t, int32_t> counts;
    for (int32_t v = 20; v < 30; ++v) counts[v] = v - 19;
    CHistogramModel model;
    model.SetHistogram(Counts(256, counts));
    model.SetControlWidth(104);
    EXPECT_EQ(model.SelectionRangeText(), "");

    model.BeginSelection(75);   // level 27
    model.ExtendSelection(22);  // level 22, dragged leftwards
    ASSERT_TRUE(model.HasSelection());
    EXPECT_EQ(model.SelectionLow(), 22);
    EXPECT_EQ(model.SelectionHigh(), 27);
    EXPECT_EQ(model.SelectionRangeText(), "22 .. 27");
    // Counts 3 + 4 + ... + 8 = 33; mean (22*3 + 23*4 + ... + 27*8) / 33.
    EXPECT_EQ(model.SelectionCountText(), "33");
    double sum = 0;
    for (int32_t v = 22; v <= 27; ++v) sum += double(v) * (v - 19);
    char mean[32];
    std::snprintf(mean, sizeof mean, "%.3f", sum / 33);
    EXPECT_EQ(model.SelectionMeanText(), mean);
    EXPECT_FALSE(model.IsBinSelected(1));
    EXPECT_TRUE(model.IsBinSelected(2));
    EXPECT_TRUE(model.IsBinSelected(7));
    EXPECT_FALSE(model.IsBinSelected(8));

    model.ExtendSelection(99);  // past the anchor to the right
    EXPECT_EQ(model.SelectionRangeText(), "27 .. 29");
    model.ClearSelection();
    EXPECT_FALSE(model.IsBinSelected(7));
}

TEST(HistogramModel, SelectionOnResampledColumnsCoversTheirLevels) {
    std::map<int32_t, int32_t> counts = {{0, 1}, {999, 1}};
    CHistogramModel model;
    model.SetHistogram(Counts(1024, counts));
    model.SetControlWidth(104);  // 1000 levels on 100 columns
    model.BeginSelection(0);
    model.ExtendSelection(1);
    EXPECT_EQ(model.SelectionRangeText(), "0 .. 19");
    EXPECT_EQ(model.SelectionCountText(), "1");
}

// While the document has a breast mask the window shows the breast's
// histogram, even when the cached one was emptied in between.
TEST(HistogramModel, FollowsTheBreastMask) {
    CVistrelApp app;
    CVistrelDoc doc(app, 1);
    doc.image.Create(10, 10, 8, 1);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) doc.image.SetPixel(x, y, x < 5 ? 50 : 250);
    doc.breastSegment = CBreastSgt({{0, 0}, {4, 0}, {4, 9}, {0, 9}, {0, 0}});
    ASSERT_TRUE(doc.BuildBreastMask());
    doc.image.InvalidateHistogram();
    CHistogramModel model;
    model.Load(&doc);
    EXPECT_EQ(model.Highest(), 50) << "the bright half lies outside the breast";
    EXPECT_NE(model.PixelsText(), "100");
    doc.DropBreastSegment();
    model.Load(&doc);
    EXPECT_EQ(model.PixelsText(), "100");
    EXPECT_EQ(model.Highest(), 250);
}

}  // namespace
}  // namespace vistrel
