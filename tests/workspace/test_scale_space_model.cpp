#include "workspace/scale_space_model.h"

#include "detection/spot_detector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

namespace vistrel {
namespace {

// Noisy 12-bit background with bright specks of several sizes.
CMImage SpeckImage() {
    CMImage image;
    image.Create(120, 100, 12, 1);
    std::mt19937 rng(3);
    const struct {
        int x, y;
        double r;
    } specks[] = {{25, 25, 1.2}, {70, 30, 2.2}, {40, 70, 3.0}, {95, 75, 1.6}};
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 120; ++x) {
            double v = 1200 + int(rng() % 40);
            for (const auto& s : specks)
                v += 500 / (1 + std::exp((std::hypot(x - s.x, y - s.y) - s.r) * 2.5));
            image.SetPixel(x, y, int(v));
        }
    return image;
}

CPointResponse Spot(int x, double response, double scale) {
    CPointResponse s({x, 0}, response, scale);
    for (double v : {response, response * response, 10.0, 5.0, 12.0, 6.0}) s.Append(v);
    return s;
}

TEST(ScaleSpaceModel, DefaultsAndRanges) {
    CScaleSpaceModel m;
    EXPECT_EQ(m.MinScale(), 3);
    EXPECT_EQ(m.MaxScale(), 10);
    EXPECT_EQ(m.Increment(), 2);
    EXPECT_EQ(m.LocalMaxSide(), 3);
    EXPECT_EQ(m.SearchSide(), 3);
    EXPECT_EQ(m.ResType(), -1);
    EXPECT_EQ(m.Threshold(), 120.0);
    EXPECT_EQ(m.AutoFactor(), 5.0);
    EXPECT_TRUE(m.KeepMinScale());
    EXPECT_FALSE(m.OnImage());
    EXPECT_EQ(m.Shape(), ESpotMark::kCircles);
    EXPECT_EQ(m.What(), ESpotShow::kSpots);
    m.SetMinScale(1);
    m.SetMaxScale(99);
    m.SetIncrement(0);
    m.SetLocalMaxSide(2);
    m.SetSearchSide(-4);
    EXPECT_EQ(m.MinScale(), 2);
    EXPECT_EQ(m.MaxScale(), 20);
    EXPECT_EQ(m.Increment(), 1);
    EXPECT_EQ(m.LocalMaxSide(), 3);
    EXPECT_EQ(m.SearchSide(), 0);
}

TEST(ScaleSpaceModel, DetectSliderAndSelection) {
    CScaleSpaceModel m;
    const CMImage image = SpeckImage();
    ASSERT_TRUE(m.Detect(image, nullptr));
    EXPECT_NE(m.Log().find("CandidateListSSS-Create seeds"), std::string::npos);
    double lo, hi;
    m.Spots().Range(-1, lo, hi);
    EXPECT_EQ(m.SliderMin(), int(std::floor(lo)));
    EXPECT_EQ(m.SliderMax(), int(std::floor(hi)) + 1);
    EXPECT_EQ(m.RangeMinText(), std::to_string(int(std::lround(lo))));

    // The slider is inverted: its maximum position is the lowest threshold.
    m.MoveSlider(m.SliderMax());
    EXPECT_EQ(m.Threshold(), m.SliderMin());
    EXPECT_EQ(m.Selected().Count(), m.Spots().Count());
    m.MoveSlider(m.SliderMin());
    EXPECT_EQ(m.Threshold(), m.SliderMax());
    EXPECT_EQ(m.Selected().Count(), 0);  // above every response
    m.MoveSlider(m.SliderMax() + 50);    // clamped
    EXPECT_EQ(m.Threshold(), m.SliderMin());
    EXPECT_EQ(m.SliderPosition(), m.SliderMax());

    // A typed threshold takes effect on Enter, once per edit.
    const int before = m.Selected().Count();
    m.TypeThreshold(hi + 1000);
    EXPECT_EQ(m.Selected().Count(), before);
    char typed[64];
    std::snprintf(typed, sizeof typed, "%4.1f", hi + 1000);
    EXPECT_EQ(m.ThresholdText(), typed);
    EXPECT_TRUE(m.SubmitThreshold());
    EXPECT_EQ(m.Selected().Count(), 0);
    EXPECT_FALSE(m.SubmitThreshold());
    EXPECT_EQ(m.Threshold(), hi + 1000);  // typed values are not clamped

    // res type 0 (the scale): range of scales, threshold at three quarters.
    m.SetResType(0);
    m.Spots().Range(0, lo, hi);
    EXPECT_DOUBLE_EQ(m.Threshold(), lo + 0.75 * (hi - lo));
    for (int i = 0; i < m.Selected().Count(); ++i)
        EXPECT_GE(m.Selected()[i].values[0], m.Threshold());

    // Clearing the "min scale" box removes the spots found at the minimum scale.
    m.SetResType(-1);
    m.MoveSlider(m.SliderMax());
    m.SetKeepMinScale(false);
    for (int i = 0; i < m.Selected().Count(); ++i) EXPECT_NE(m.Selected()[i].values[0], 3);
    m.Clear();
    EXPECT_FALSE(m.HasSpots());
    EXPECT_EQ(m.Selected().Count(), 0);
}

// After a detection the threshold lies within the spots' range, so that the
// first picture shows spots; one already inside is left alone.
TEST(ScaleSpaceModel, DetectionBringsTheThresholdIntoTheRange) {
    const CMImage image = SpeckImage();
    double lo = 0, hi = 0;
    {
        CScaleSpaceModel probe;
        ASSERT_TRUE(probe.Detect(image, nullptr));
        probe.Spots().Range(-1, lo, hi);
        ASSERT_LT(lo, hi);
    }
    const double inside = lo + 0.3 * (hi - lo);
    const double start = lo + 0.75 * (hi - lo);
    const struct {
        const char* name;
        double before, after;
    } cases[] = {{"above every spot", hi + 1000, start},
                 {"below every spot", lo - 1000, start},
                 {"inside", inside, inside},
                 {"at the maximum", hi, hi}};
    for (const auto& c : cases) {
        CScaleSpaceModel m;
        m.TypeThreshold(c.before);
        ASSERT_TRUE(m.Detect(image, nullptr)) << c.name;
        EXPECT_DOUBLE_EQ(m.Threshold(), c.after) << c.name;
        CSpotList expected;
        SelectSpots(m.Spots(), expected, false, c.after, -1, -1);
        EXPECT_EQ(m.Selected().Count(), expected.Count()) << c.name;
        EXPECT_GT(m.Selected().Count(), 0) << c.name;
        EXPECT_LT(m.Selected().Count(), m.Spots().Count()) << c.name;
    }
}

// The window's picture: marks alone, or burnt into the image with an outline
// at the lowest value so that they show on bright tissue too.
TEST(ScaleSpaceModel, PictureMarksOnTheImageAreOutlined) {
    const CMImage image = SpeckImage();
    CScaleSpaceModel m;
    ASSERT_TRUE(m.Detect(image, nullptr));
    m.MoveSlider(m.SliderMax());  // every spot
    m.SetShape(ESpotMark::kDots);
    auto alone = m.Picture(image);
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->depth, 1);
    m.SetOnImage(true);
    auto shown = m.Picture(image);
    ASSERT_TRUE(shown);
    ASSERT_EQ(shown->depth, image.depth);
    for (int32_t i = 0; i < m.Selected().Count(); ++i) {
        const CPointResponse& s = m.Selected()[i];
        EXPECT_EQ(shown->GetPixel(s.x, s.y), image.maxValue) << s.x << "," << s.y;
    }
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) near |= alone->GetPixel(x + dx, y + dy) != 0;
            const int expected = alone->GetPixel(x, y) ? image.maxValue
                                 : near                ? 0
                                                       : image.GetPixel(x, y);
            ASSERT_EQ(shown->GetPixel(x, y), expected) << x << "," << y;
        }
}

TEST(ScaleSpaceModel, SpotFilesCarryTheParameters) {
    CScaleSpaceModel m;
    ASSERT_TRUE(m.Detect(SpeckImage(), nullptr));
    const auto dir = std::filesystem::temp_directory_path() / "vistrel_scale_space_model";
    std::filesystem::create_directories(dir);
    const std::string written = m.SaveToFile((dir / "case.pgx").string());
    EXPECT_EQ(written, (dir / "case.spots.S3_2_10_N3_3_.cnd").string());
    CScaleSpaceModel other;
    other.SetMinScale(5);
    other.TypeThreshold(7);
    ASSERT_TRUE(other.LoadFromFile(written, 120, 100));
    EXPECT_EQ(other.MinScale(), 3);
    EXPECT_EQ(other.MaxScale(), 10);
    EXPECT_EQ(other.Threshold(), 120.0);
    EXPECT_EQ(other.Spots().Count(), m.Spots().Count());
    std::filesystem::remove_all(dir);
    EXPECT_EQ(CScaleSpaceModel().SaveToFile("/tmp/none.pgx"), "");
}

TEST(ScaleSpaceModel, SpotInfoGroupsByScale) {
    // Built through a spot file so that the values are known exactly.
    CSpotList list;
    list.Append(Spot(1, 10.0, 3));
    list.Append(Spot(2, 20.0, 3));
    list.Append(Spot(3, 40.0, 5));
    const auto path =
        std::filesystem::temp_directory_path() / "vistrel_info.spots.S3_2_5_N3_3_.cnd";
    ASSERT_EQ(SaveSpots(path.string(), list, {0, 0}), 3);
    CScaleSpaceModel m;
    ASSERT_TRUE(m.LoadFromFile(path.string(), 10, 10));
    std::filesystem::remove(path);
    m.MoveSlider(m.SliderMax());  // everything selected
    EXPECT_EQ(m.SpotInfo(),
              "h=3, num=2, min=10.0, max=20.0, mean=15.0, stdDev=7.1\n"
              "h=4, num=0\n"
              "h=5, num=1, min=40.0, max=40.0, mean=40.0, stdDev=0.0\n"
              "numAll=3, meanAll=23.3, stdDevAll=15.3\n");
    // Automatic threshold: response >= 10 + F * 5 with F = 5 -> only 40.
    m.SelectAutomatic();
    ASSERT_EQ(m.Selected().Count(), 1);
    EXPECT_EQ(m.Selected()[0].response, 40.0);
}

}  // namespace
}  // namespace vistrel
