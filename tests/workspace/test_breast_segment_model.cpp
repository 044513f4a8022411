#include "workspace/breast_segment_model.h"

#include <gtest/gtest.h>

#include <clocale>

namespace vistrel {
namespace {

TEST(BreastSegmentModel, OpensWithAutomaticChoicesAndTheDefaultPercentiles) {
    const CBreastSegmentModel model;
    EXPECT_EQ(model.view, kViewAuto);
    EXPECT_TRUE(model.automatic);
    EXPECT_FALSE(model.PercentilesEnabled());
    EXPECT_EQ(model.lowText, "40.");
    EXPECT_EQ(model.highText, "99.5");
    EXPECT_TRUE(model.cone);
}

TEST(BreastSegmentModel, AutoThresholdsPassNoPercentiles) {
    CBreastSegmentModel model;
    model.view = kViewRight;
    model.cone = false;
    model.lowText = "12";
    const CSegmentParams params = model.Params();
    EXPECT_EQ(params.view, kViewRight);
    EXPECT_EQ(params.projection, kProjectionAuto);
    EXPECT_EQ(params.automatic, 1);
    EXPECT_EQ(params.low, 0.0);
    EXPECT_EQ(params.high, 0.0);
    EXPECT_EQ(params.cone, 0);
    EXPECT_EQ(params.log, 1);
}

TEST(BreastSegmentModel, ManualReadsTheFirstTenCharactersOfTheEdits) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"40.", 40.0},
        {"99.5", 99.5},
        {" 7.25", 7.25},
        {"12.3456789012", 12.3456789},  // only "12.3456789" is read
        {"123456789012", 1234567890.0},
        {"55abc", 55.0},  // a number prefix counts
        {"abc", 0.0},
        {"", 0.0},
    };
    for (const Case& c : cases) {
        CBreastSegmentModel model;
        model.automatic = false;
        model.view = kViewLeft;
        model.lowText = c.text;
        model.highText = "99.5";
        const CSegmentParams params = model.Params();
        EXPECT_TRUE(model.PercentilesEnabled());
        EXPECT_EQ(params.automatic, 0);
        EXPECT_EQ(params.view, kViewLeft);
        EXPECT_DOUBLE_EQ(params.low, c.value) << '"' << c.text << '"';
        EXPECT_DOUBLE_EQ(params.high, 99.5);
    }
}

TEST(BreastSegmentModel, DecimalPointWhateverTheLocale) {
    // A locale with a decimal comma must not turn "99.5" into 99.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "pl_PL.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    CBreastSegmentModel model;
    model.automatic = false;
    const CSegmentParams params = model.Params();
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_DOUBLE_EQ(params.high, 99.5);
    EXPECT_DOUBLE_EQ(params.low, 40.0);
}

}  // namespace
}  // namespace vistrel
