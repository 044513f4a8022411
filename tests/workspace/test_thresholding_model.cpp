#include "workspace/thresholding_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "workspace/vistrel_app.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

// 20 x 16, 8-bit, background 10: a peaked blob (220 in the middle of 200s)
// around (5, 5), a lone 150 at (15, 3), a flat 2 x 2 blob of 120 at (12, 10).
CMImage Field() {
    CMImage image(20, 16, 8);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 20; ++x) image.SetPixel(x, y, 10);
    for (int32_t y = 4; y <= 6; ++y)
        for (int32_t x = 4; x <= 6; ++x) image.SetPixel(x, y, 200);
    image.SetPixel(5, 5, 220);
    image.SetPixel(15, 3, 150);
    for (int32_t y = 10; y <= 11; ++y)
        for (int32_t x = 12; x <= 13; ++x) image.SetPixel(x, y, 120);
    image.InvalidateHistogram();
    return image;
}

std::vector<CPoint> Points(const CSpotList& spots) {
    std::vector<CPoint> out;
    for (int32_t i = 0; i < spots.Count(); ++i) out.push_back(spots[i].Point());
    return out;
}

class ThresholdingModelTest : public ::testing::Test {
  protected:
    void SetUp() override { source = Add(Field(), "/d/field.pgm"); }
    CVistrelDoc* Add(CMImage image, const std::string& path) {
        std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
        doc->image = std::move(image);
        doc->pathName = path;
        doc->resolution = 254.0f;  // 100 pixels per centimetre
        CVistrelDoc* added = app.AddDocument(std::move(doc));
        app.SetActiveDocument(added);
        return added;
    }
    // The slider position of a threshold (the slider is inverted).
    static int PositionFor(const CThresholdingModel& m, double threshold) {
        return int(m.SliderMin() + m.SliderMax() - threshold);
    }

    testing::CRecordingSink sink;
    CScopedMessageSink guard{&sink};
    testing::CFakeUi ui;
    CVistrelApp app{&ui};
    CVistrelDoc* source = nullptr;
};

TEST_F(ThresholdingModelTest, ImageModeRangeAndInitialThreshold) {
    CThresholdingModel m(app);
    ASSERT_EQ(m.Source(), source);
    EXPECT_FALSE(m.LocalMaxima());
    EXPECT_EQ(m.SliderMin(), 10);
    EXPECT_EQ(m.SliderMax(), 221);
    EXPECT_EQ(m.RangeMinText(), "10");
    EXPECT_EQ(m.RangeMaxText(), "220");
    // The histogram's split lies between the background and the objects.
    EXPECT_GT(m.Threshold(), 10.0);
    EXPECT_LE(m.Threshold(), 120.0);
    EXPECT_EQ(m.SliderPosition(), PositionFor(m, m.Threshold()));
    // Nothing is shown before the user moves the slider.
    EXPECT_EQ(app.Documents().size(), 1u);
}

TEST_F(ThresholdingModelTest, SliderIsInvertedClampedAndShowsThePictureInPlace) {
    CThresholdingModel m(app);
    m.MoveSlider(m.SliderMax());
    EXPECT_EQ(m.Threshold(), m.SliderMin());
    m.MoveSlider(m.SliderMin() - 40);  // clamped to the top: the largest threshold
    EXPECT_EQ(m.Threshold(), m.SliderMax());
    EXPECT_EQ(m.SliderPosition(), m.SliderMin());

    ASSERT_EQ(app.Documents().size(), 2u);
    CVistrelDoc* picture = m.Result();
    ASSERT_EQ(picture, app.Documents().back().get());
    ASSERT_EQ(picture->image.depth, 1);

    // 150: the blob passes, the lone 150 is dropped, the 120s are below.
    m.MoveSlider(PositionFor(m, 150));
    EXPECT_EQ(m.Threshold(), 150.0);
    EXPECT_EQ(m.ThresholdText(), "150.0");
    EXPECT_EQ(app.Documents().size(), 2u);  // updated in place
    EXPECT_EQ(m.Result(), picture);
    EXPECT_EQ(picture->image.GetPixel(5, 5), 1);
    EXPECT_EQ(picture->image.GetPixel(4, 6), 1);
    EXPECT_EQ(picture->image.GetPixel(15, 3), 0);
    EXPECT_EQ(picture->image.GetPixel(12, 10), 0);
    m.SetSinglePixels(true);
    m.MoveSlider(PositionFor(m, 150));
    EXPECT_EQ(picture->image.GetPixel(15, 3), 1);

    // Over the original: kept pixels at 255, the rest as in the source.
    m.SetOnImage(true);
    m.MoveSlider(PositionFor(m, 120));
    ASSERT_EQ(picture->image.depth, 8);
    EXPECT_EQ(picture->image.GetPixel(12, 10), 255);
    EXPECT_EQ(picture->image.GetPixel(0, 0), 10);
    EXPECT_EQ(picture->windowLow, source->windowLow);
    EXPECT_EQ(picture->windowHigh, source->windowHigh);
    // The source itself is never touched.
    EXPECT_EQ(source->image.GetPixel(12, 10), 120);
}

TEST_F(ThresholdingModelTest, TypedThresholdIsTakenOnEnterOnce) {
    CThresholdingModel m(app);
    m.TypeThreshold(7.5);
    EXPECT_EQ(m.Threshold(), 7.5);
    EXPECT_EQ(m.ThresholdText(), " 7.5");
    EXPECT_EQ(m.SliderPosition(), m.SliderMax());  // the slider shows it clamped
    EXPECT_EQ(app.Documents().size(), 1u);         // not before Enter
    EXPECT_TRUE(m.SubmitThreshold());
    ASSERT_EQ(app.Documents().size(), 2u);
    EXPECT_FALSE(m.SubmitThreshold());  // once per edit
    // Below every value: everything passes.
    EXPECT_EQ(m.Result()->image.GetPixel(0, 0), 1);
    // A typed value above the range is kept as typed, not clamped.
    m.TypeThreshold(500);
    EXPECT_TRUE(m.SubmitThreshold());
    EXPECT_EQ(m.Threshold(), 500.0);
    EXPECT_EQ(m.Result()->image.GetPixel(5, 5), 0);
    // Not a number: nothing taken, nothing pending.
    m.TypeThreshold(std::nan(""));
    EXPECT_EQ(m.Threshold(), 500.0);
    EXPECT_FALSE(m.SubmitThreshold());
}

TEST_F(ThresholdingModelTest, ResultsOffShowsNothingAndPageSizes) {
    CThresholdingModel m(app);
    m.SetShowResults(false);
    m.MoveSlider(PositionFor(m, 150));
    EXPECT_EQ(m.Threshold(), 150.0);
    EXPECT_EQ(app.Documents().size(), 1u);
    EXPECT_EQ(m.Result(), nullptr);
    EXPECT_EQ(m.PageSize(), 10);
    m.SetGreaterPage(true);
    EXPECT_EQ(m.PageSize(), 100);
}

TEST_F(ThresholdingModelTest, LocalMaximaModeAndSwitchingBack) {
    CThresholdingModel m(app);
    m.SetSizeInCm(false);
    m.SetSize(3);
    m.SetLocalMaxima(true);
    EXPECT_EQ(m.SizePixels(), 3);
    // The flat 2 x 2 blob and the 200 plateau around the peak are no maxima.
    EXPECT_EQ(Points(m.Maxima()), (std::vector<CPoint>{{15, 3}, {5, 5}}));
    EXPECT_EQ(m.SliderMin(), 150);
    EXPECT_EQ(m.SliderMax(), 221);
    EXPECT_EQ(m.RangeMaxText(), "220");
    // Three quarters up the range: the strongest maximum only.
    EXPECT_DOUBLE_EQ(m.Threshold(), 150 + 0.75 * 70);
    EXPECT_EQ(Points(m.MaximaAtThreshold()), (std::vector<CPoint>{{5, 5}}));
    m.MoveSlider(m.SliderMax());
    EXPECT_EQ(Points(m.MaximaAtThreshold()), (std::vector<CPoint>{{15, 3}, {5, 5}}));
    // The picture marks the maxima at and above the threshold, nothing else.
    CVistrelDoc* picture = m.Result();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image.depth, 1);
    EXPECT_EQ(picture->image.GetPixel(15, 3), 1);
    EXPECT_EQ(picture->image.GetPixel(5, 5), 1);
    EXPECT_EQ(picture->image.GetPixel(12, 10), 0);
    m.MoveSlider(PositionFor(m, 200));
    EXPECT_EQ(picture->image.GetPixel(15, 3), 0);

    // Centimetres at 100 pixels per cm: 0.2 cm is a square of 21, in which
    // the lone 150 sees the peak.
    m.SetSizeInCm(true);
    m.SetSize(0.2);
    EXPECT_EQ(m.SizePixels(), 20);
    EXPECT_EQ(Points(m.Maxima()), (std::vector<CPoint>{{5, 5}}));
    m.SetSize(0.01);  // 1 pixel, raised to 3
    EXPECT_EQ(m.SizePixels(), 3);

    m.SetLocalMaxima(false);
    EXPECT_EQ(m.Maxima().Count(), 0);
    EXPECT_EQ(m.SliderMin(), 10);
    EXPECT_EQ(m.SliderMax(), 221);
    EXPECT_FALSE(m.OnSetSeeds());  // seeds only from maxima
}

TEST_F(ThresholdingModelTest, MaximaStayInsideTheBreastMask) {
    source->breastMask.Create(20, 16, 1, 1);
    source->breastMask.SetPixel(15, 3, 1);
    CThresholdingModel m(app);
    m.SetSizeInCm(false);
    m.SetSize(3);
    m.SetLocalMaxima(true);
    EXPECT_EQ(Points(m.Maxima()), (std::vector<CPoint>{{15, 3}}));
}

TEST_F(ThresholdingModelTest, SegmentInImageModeReplacesTheRegions) {
    app.showRegions = false;
    source->regions.Add(CRegion({{0, 0}, {3, 0}, {3, 3}, {0, 3}}, CRegion::PointsMode::Polygon));
    CThresholdingModel m(app);
    m.SetShowResults(false);
    m.MoveSlider(PositionFor(m, 120));
    ASSERT_TRUE(m.OnSegment());
    // The peaked blob and the 2 x 2 blob; the lone 150 gives no outline.
    ASSERT_EQ(source->regions.Count(), 2);
    EXPECT_TRUE(source->regions.At(0)->Contains(5, 5));
    EXPECT_TRUE(source->regions.At(1)->Contains(12, 10));
    EXPECT_FALSE(source->regions.At(0)->Contains(1, 1));
    EXPECT_TRUE(app.showRegions);
    EXPECT_TRUE(ui.segmentToolOpened.empty());
    EXPECT_EQ(source->spots.Count(), 0);
}

TEST_F(ThresholdingModelTest, SetSeedsAndSegmentInLocalMaximaMode) {
    CThresholdingModel m(app);
    m.SetShowResults(false);
    m.SetSizeInCm(false);
    m.SetSize(3);
    m.SetLocalMaxima(true);
    m.MoveSlider(PositionFor(m, 200));
    ASSERT_TRUE(m.OnSetSeeds());
    EXPECT_EQ(Points(source->spots), (std::vector<CPoint>{{5, 5}}));
    EXPECT_EQ(source->spots[0].response, 220.0);
    EXPECT_TRUE(ui.segmentToolOpened.empty());

    m.MoveSlider(m.SliderMax());
    ASSERT_TRUE(m.OnSegment());
    EXPECT_EQ(Points(source->spots), (std::vector<CPoint>{{15, 3}, {5, 5}}));
    ASSERT_EQ(ui.segmentToolOpened.size(), 1u);
    EXPECT_EQ(ui.segmentToolOpened[0].first, source);
    EXPECT_TRUE(ui.segmentToolOpened[0].second);  // "Segment from current seeds"
    EXPECT_EQ(source->regions.Count(), 0);
}

TEST_F(ThresholdingModelTest, NewSourceRecomputesAndAClosedOneUnbinds) {
    CThresholdingModel m(app);
    m.MoveSlider(m.SliderMax());
    CMImage dim(8, 8, 8);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x) dim.SetPixel(x, y, 30 + x);
    dim.InvalidateHistogram();
    CVistrelDoc* other = Add(std::move(dim), "/d/dim.pgm");
    ASSERT_TRUE(m.OnSetSourceDocument());
    EXPECT_EQ(m.Source(), other);
    EXPECT_EQ(m.SliderMin(), 30);
    EXPECT_EQ(m.SliderMax(), 38);
    EXPECT_GE(m.Threshold(), 30.0);
    EXPECT_LE(m.Threshold(), 37.0);
    // The kept picture is never taken as the source.
    app.SetActiveDocument(m.Result());
    EXPECT_FALSE(m.OnSetSourceDocument());
    EXPECT_EQ(m.Source(), other);

    app.CloseDocument(other);
    EXPECT_EQ(m.Source(), nullptr);
    EXPECT_EQ(m.Picture(), nullptr);
    EXPECT_FALSE(m.OnSegment());
    const std::size_t count = app.Documents().size();
    m.MoveSlider(3);  // nothing to show, nothing breaks
    EXPECT_EQ(app.Documents().size(), count);
}

}  // namespace
}  // namespace vistrel
