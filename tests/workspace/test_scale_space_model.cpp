#include "workspace/scale_space_model.h"

#include "detection/spot_detector.h"
#include "workspace/vistrel_app.h"
#include "workspace_fakes.h"
#include "support/speck_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

namespace vistrel {
namespace {

// Noisy 12-bit background with bright specks of several sizes.
CMImage SpeckImage() {
    return testsupport::SpeckImage();
}

CPointResponse Spot(int x, double response, double scale) {
    CPointResponse s({x, 0}, response, scale);
    for (double v : {response, response * response, 10.0, 5.0, 12.0, 6.0}) s.Append(v);
    return s;
}

TEST(ScaleSpaceModel, DefaultsAndRanges) {
    CVistrelApp app;
    CScaleSpaceModel m(app);
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
    CVistrelApp app;
    CScaleSpaceModel m(app);
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
        CVistrelApp app;
        CScaleSpaceModel probe(app);
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
        CVistrelApp app;
        CScaleSpaceModel m(app);
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
    CVistrelApp app;
    CScaleSpaceModel m(app);
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
    CVistrelApp app;
    CScaleSpaceModel m(app);
    ASSERT_TRUE(m.Detect(SpeckImage(), nullptr));
    const auto dir = std::filesystem::temp_directory_path() / "vistrel_scale_space_model";
    std::filesystem::create_directories(dir);
    const std::string written = m.SaveToFile((dir / "case.pgx").string());
    EXPECT_EQ(written, (dir / "case.spots.S3_2_10_N3_3_.cnd").string());
    CScaleSpaceModel other(app);
    other.SetMinScale(5);
    other.TypeThreshold(7);
    ASSERT_TRUE(other.LoadFromFile(written, 120, 100));
    EXPECT_EQ(other.MinScale(), 3);
    EXPECT_EQ(other.MaxScale(), 10);
    EXPECT_EQ(other.Threshold(), 120.0);
    EXPECT_EQ(other.Spots().Count(), m.Spots().Count());
    std::filesystem::remove_all(dir);
    EXPECT_EQ(CScaleSpaceModel(app).SaveToFile("/tmp/none.pgx"), "");
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
    CVistrelApp app;
    CScaleSpaceModel m(app);
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

// "Spots" on a source document: the detector runs with a progress bar and the
// picture opens as a new document; a run cancelled half-way changes nothing.
class ScaleSpaceOnDocument : public ::testing::Test {
  protected:
    void SetUp() override {
        std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
        doc->image = SpeckImage();
        doc->pathName = "/d/specks.pgx";
        source = app.AddDocument(std::move(doc));
        ASSERT_TRUE(source);
        app.SetActiveDocument(source);
    }
    static std::vector<std::pair<CPoint, double>> Listed(const CSpotList& spots) {
        std::vector<std::pair<CPoint, double>> listed;
        for (int32_t i = 0; i < spots.Count(); ++i)
            listed.push_back({{spots[i].x, spots[i].y}, spots[i].response});
        return listed;
    }

    testing::CRecordingSink sink;
    CScopedMessageSink guard{&sink};
    testing::CFakeUi ui;
    CVistrelApp app{&ui};
    CVistrelDoc* source = nullptr;
};

TEST_F(ScaleSpaceOnDocument, AFullRunOpensThePictureAndShowsTheLog) {
    CScaleSpaceModel m(app);
    ASSERT_EQ(m.Source(), source);
    const std::size_t count = app.Documents().size();
    ASSERT_TRUE(m.OnSpots());
    EXPECT_EQ(ui.progressTexts.size(), 1u);
    EXPECT_EQ(ui.progressEnds, 1);
    EXPECT_FALSE(ui.progressReports.empty());
    EXPECT_EQ(ui.busyDepth, 0);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], m.Log());
    EXPECT_EQ(sink.shown[0].rfind("CandidateListSSS-ConvolveLoG(hMIN=3) ", 0), 0u);
    // The same spots as the detector gives directly.
    std::string log;
    auto direct = CandidateListSSS(source->image, 3, 10, 2, 3, 3, nullptr, log);
    ASSERT_TRUE(direct);
    EXPECT_EQ(Listed(m.Spots()), Listed(*direct));

    ASSERT_EQ(app.Documents().size(), count + 1);
    CVistrelDoc* picture = m.PictureDocument();
    ASSERT_EQ(picture, app.Documents().back().get());
    EXPECT_EQ(picture->image.depth, 1);
    ASSERT_GT(m.Selected().Count(), 0);
    EXPECT_NE(picture->image.GetPixel(m.Selected()[0].x, m.Selected()[0].y), 0);

    // A second run updates the same picture document.
    m.SetMinScale(5);
    ASSERT_TRUE(m.OnSpots());
    EXPECT_EQ(app.Documents().size(), count + 1);
    EXPECT_EQ(m.PictureDocument(), picture);
}

TEST_F(ScaleSpaceOnDocument, CancelledHalfWayLeavesEverythingAsItWas) {
    CScaleSpaceModel m(app);
    ASSERT_TRUE(m.OnSpots());
    m.MoveSlider(m.SliderMax());  // every spot selected
    CVistrelDoc* picture = m.PictureDocument();
    ASSERT_TRUE(picture);
    const auto spots = Listed(m.Spots());
    const auto selected = Listed(m.Selected());
    const std::string log = m.Log();
    const double threshold = m.Threshold();
    const CMImage pictureImage = picture->image;
    const CMImage sourceImage = source->image;
    const std::size_t count = app.Documents().size();
    std::vector<int> updates;
    QObject::connect(picture, &CVistrelDoc::updated, [&](int code) { updates.push_back(code); });

    // Other parameters would give other spots; the user cancels half-way.
    m.SetMinScale(5);
    m.SetIncrement(1);
    sink.shown.clear();
    ui.progressReports.clear();
    ui.cancelAt = 0.5;
    EXPECT_FALSE(m.OnSpots());
    EXPECT_FALSE(ui.progressReports.empty());
    EXPECT_EQ(ui.progressEnds, 2);  // the bar went away
    EXPECT_EQ(ui.busyDepth, 0);
    EXPECT_TRUE(sink.shown.empty());  // no log shown
    EXPECT_EQ(Listed(m.Spots()), spots);
    EXPECT_EQ(Listed(m.Selected()), selected);
    EXPECT_EQ(m.Log(), log);
    EXPECT_EQ(m.Threshold(), threshold);
    EXPECT_EQ(app.Documents().size(), count);
    EXPECT_EQ(m.PictureDocument(), picture);
    EXPECT_TRUE(updates.empty());
    ASSERT_EQ(picture->image.depth, pictureImage.depth);
    for (int32_t y = 0; y < pictureImage.height; ++y)
        for (int32_t x = 0; x < pictureImage.width; ++x) {
            ASSERT_EQ(picture->image.GetPixel(x, y), pictureImage.GetPixel(x, y)) << x << "," << y;
            ASSERT_EQ(source->image.GetPixel(x, y), sourceImage.GetPixel(x, y)) << x << "," << y;
        }
}

TEST_F(ScaleSpaceOnDocument, CancelledFirstRunOpensNothing) {
    CScaleSpaceModel m(app);
    const std::size_t count = app.Documents().size();
    ui.cancelAt = 0.5;
    EXPECT_FALSE(m.OnSpots());
    EXPECT_FALSE(m.HasSpots());
    EXPECT_TRUE(m.Log().empty());
    EXPECT_EQ(m.PictureDocument(), nullptr);
    EXPECT_EQ(app.Documents().size(), count);
    EXPECT_TRUE(sink.shown.empty());
}

// Seeds, spot files and the source: a new or closed source clears spots and seeds.
TEST_F(ScaleSpaceOnDocument, SeedsFilesAndAClosedSource) {
    const auto dir = std::filesystem::temp_directory_path() / "vistrel_scale_space_doc";
    std::filesystem::create_directories(dir);
    source->pathName = (dir / "specks.pgx").string();
    CScaleSpaceModel m(app);
    ASSERT_TRUE(m.OnSpots());
    m.MoveSlider(m.SliderMax());
    ASSERT_TRUE(m.SetSeeds());
    EXPECT_EQ(Listed(source->spots), Listed(m.Selected()));
    EXPECT_GT(source->spots.Count(), 0);
    const auto seeds = Listed(source->spots);
    const std::string written = m.OnSaveSpots();
    EXPECT_EQ(written, (dir / "specks.spots.S3_2_10_N3_3_.cnd").string());

    // "Spots from file" finds the file named after the source and the parameters.
    ASSERT_TRUE(m.BindActiveDocument());
    EXPECT_FALSE(m.HasSpots());
    EXPECT_EQ(Listed(source->spots), seeds);  // the document keeps its seeds
    ASSERT_TRUE(m.OnSpotsFromFile());
    EXPECT_TRUE(ui.openFileInitialPath.empty());  // no dialog was needed
    const int all = m.Spots().Count();
    EXPECT_GT(all, 0);
    // With other parameters there is no such file: the user is asked, and
    // Cancel reads nothing.
    m.SetMaxScale(12);
    EXPECT_FALSE(m.OnSpotsFromFile());
    EXPECT_EQ(ui.openFileInitialPath, (dir / "specks.spots.S3_2_12_N3_3_.cnd").string());
    EXPECT_EQ(m.Spots().Count(), all);  // cancelled before anything was cleared
    // The picked file sets the parameters from its name.
    ui.openFilePath = written;
    EXPECT_TRUE(m.OnSpotsFromFile());
    EXPECT_EQ(m.MaxScale(), 10);
    EXPECT_EQ(m.Spots().Count(), all);

    m.MoveSlider(m.SliderMax());
    ASSERT_TRUE(m.SetSeeds());
    app.CloseDocument(source);
    EXPECT_EQ(m.Source(), nullptr);
    EXPECT_FALSE(m.HasSpots());
    EXPECT_FALSE(m.OnSpots());
    EXPECT_FALSE(m.SetSeeds());
    EXPECT_EQ(m.OnSaveSpots(), "");
    std::filesystem::remove_all(dir);
}

// With a breast mask the search stays inside it: a speck outside the
// breast is not found; once the mask is gone it is found again.
TEST_F(ScaleSpaceOnDocument, SpotsOutsideTheBreastMaskAreNotFound) {
    CScaleSpaceModel m(app);
    const auto near = [](const CSpotList& spots, int x, int y) {
        for (int32_t i = 0; i < spots.Count(); ++i)
            if (std::abs(spots[i].x - x) <= 3 && std::abs(spots[i].y - y) <= 3) return true;
        return false;
    };
    ASSERT_TRUE(m.OnSpots());
    ASSERT_TRUE(near(m.Spots(), 70, 30)) << "the speck at (70, 30) is found on the whole image";
    ASSERT_TRUE(near(m.Spots(), 25, 25));

    // The breast: the left half of the image, holding (25, 25) and (40, 70).
    source->breastSegment = CBreastSgt({{2, 2}, {55, 2}, {55, 97}, {2, 97}, {2, 2}});
    ASSERT_TRUE(source->BuildBreastMask());
    source->BreastMaskChanged();
    ASSERT_TRUE(m.OnSpots());
    EXPECT_FALSE(near(m.Spots(), 70, 30));
    EXPECT_FALSE(near(m.Spots(), 95, 75));
    EXPECT_TRUE(near(m.Spots(), 25, 25));
    for (int32_t i = 0; i < m.Spots().Count(); ++i)
        EXPECT_NE(source->breastMask.GetPixel(m.Spots()[i].x, m.Spots()[i].y), 0)
            << m.Spots()[i].x << "," << m.Spots()[i].y;

    source->DropBreastSegment();
    source->BreastMaskChanged();
    ASSERT_TRUE(m.OnSpots());
    EXPECT_TRUE(near(m.Spots(), 70, 30));
}

}  // namespace
}  // namespace vistrel
