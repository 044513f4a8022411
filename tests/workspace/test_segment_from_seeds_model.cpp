#include "workspace/segment_from_seeds_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "workspace/vistrel_app.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

class SegmentFromSeedsModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
        doc->image = CMImage(40, 30, 8);
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x) doc->image.SetPixel(x, y, 20);
        doc->image.InvalidateHistogram();
        doc->pathName = "/d/seeds.pgm";
        doc->resolution = 254.0f;
        source = app.AddDocument(std::move(doc));
        app.SetActiveDocument(source);
    }
    static CSpotList OneSeed() {
        CSpotList seeds;
        seeds.AddNew({20, 15}, 50.0, 5.0);
        return seeds;
    }

    testing::CRecordingSink sink;
    CScopedMessageSink guard{&sink};
    testing::CFakeUi ui;
    CVistrelApp app{&ui};
    CVistrelDoc* source = nullptr;
};

TEST_F(SegmentFromSeedsModelTest, DefaultsFormsAndParams) {
    CSegmentFromSeedsModel m(app);
    EXPECT_EQ(m.Source(), source);
    EXPECT_EQ(m.Title(), "Segment from seeds");
    EXPECT_TRUE(m.SetSeedsVisible());
    EXPECT_EQ(m.Algorithm(), EGrowAlgorithm::LocalStatistics);
    EXPECT_EQ(m.K(), 1.5);
    EXPECT_EQ(m.Window(), 0.3);
    EXPECT_TRUE(m.WindowInCm());
    EXPECT_EQ(m.Directions(), 8);
    EXPECT_EQ(m.Input(), EGrowInput::LoGInScales);
    EXPECT_TRUE(m.Join());

    m.SetAlgorithm(EGrowAlgorithm::MaxSlope);
    m.SetK(0.5);
    m.SetDirections(16);
    m.SetDirections(5);  // not a choice: ignored
    m.SetInput(EGrowInput::WhiteTopHat);
    m.SetJoin(false);
    const CGrowParams p = m.Params();
    EXPECT_EQ(p.algorithm, EGrowAlgorithm::MaxSlope);
    EXPECT_EQ(p.k, 0.5);
    EXPECT_EQ(p.windowPx, 30);  // 0.3 cm at 100 pixels per cm
    EXPECT_EQ(p.directions, 16);
    EXPECT_EQ(p.input, EGrowInput::WhiteTopHat);
    EXPECT_FALSE(p.join);

    CSegmentFromSeedsModel current(app, true);
    EXPECT_EQ(current.Title(), "Segment from current seeds");
    EXPECT_FALSE(current.SetSeedsVisible());
}

TEST_F(SegmentFromSeedsModelTest, WindowPixelsFromCentimetresOrPixels) {
    struct Case {
        double window;
        bool cm;
        float dpi;
        int32_t pixels;
    };
    for (const Case c :
         {Case{0.3, true, 254.0f, 30}, Case{0.3, true, 72.0f, 9}, Case{0.01, true, 254.0f, 3},
          Case{7, false, 72.0f, 7}, Case{1, false, 254.0f, 3}, Case{-2, false, 254.0f, 3}}) {
        SCOPED_TRACE(::testing::Message() << c.window << (c.cm ? " cm at " : " px at ") << c.dpi);
        source->resolution = c.dpi;
        CSegmentFromSeedsModel m(app);
        m.SetWindow(c.window);
        m.SetWindowInCm(c.cm);
        EXPECT_EQ(m.WindowPixels(), c.pixels);
        EXPECT_EQ(m.Params().windowPx, c.pixels);
    }
}

TEST_F(SegmentFromSeedsModelTest, ControlsFollowTheSourceSeeds) {
    CSegmentFromSeedsModel m(app, true);
    EXPECT_FALSE(m.ControlsEnabled());
    EXPECT_FALSE(m.OnSegment());  // no seeds: nothing to grow
    EXPECT_TRUE(ui.progressTexts.empty());
    source->SetSeeds(OneSeed());
    EXPECT_TRUE(m.ControlsEnabled());
    app.CloseDocument(source);
    EXPECT_EQ(m.Source(), nullptr);
    EXPECT_FALSE(m.ControlsEnabled());
    EXPECT_FALSE(m.OnSegment());
    EXPECT_FALSE(m.OnSetSeeds());
}

TEST_F(SegmentFromSeedsModelTest, SetSeedsAnswersThatChangeNothing) {
    source->SetSeeds(OneSeed());
    struct Case {
        const char* name;
        bool ok;
        std::string answer;
        bool messageShown;
    };
    for (const Case& c : {Case{"Cancel", false, "120", false}, Case{"garbage", true, "abc", true},
                          Case{"trailing junk", true, "12x", true}, Case{"empty", true, "", true},
                          Case{"not finite", true, "inf", true}}) {
        SCOPED_TRACE(c.name);
        CSegmentFromSeedsModel m(app);
        sink.shown.clear();
        ui.progressTexts.clear();
        ui.textOk = c.ok;
        ui.textAnswer = c.answer;
        EXPECT_FALSE(m.OnSetSeeds());
        ASSERT_FALSE(ui.textPrompts.empty());
        EXPECT_EQ(ui.textPrompts.back(), "Threshold for seeds");
        EXPECT_EQ(sink.shown.size(), c.messageShown ? 1u : 0u);
        if (c.messageShown) {
            EXPECT_NE(sink.shown[0].find(c.answer), std::string::npos);
        }
        EXPECT_TRUE(ui.progressTexts.empty());  // the detector never started
        ASSERT_EQ(source->spots.Count(), 1);    // the old seeds stay
        EXPECT_EQ(source->spots[0].Point(), (CPoint{20, 15}));
    }
}

}  // namespace
}  // namespace vistrel
