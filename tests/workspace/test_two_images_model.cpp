#include "workspace/two_images_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/morphology.h"
#include "support/native_file_builders.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

using testing::CRecordingSink;

using testsupport::FillImage;
using testsupport::ValuesOf;

class TwoImagesModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        i1.pathName = "/cases/first.pgx";
        i1.UpdateTitle(1.0f);
        i2.pathName = "/cases/second.pgx";
        i2.UpdateTitle(0.5f);
        model.SetI1(&i1);
        model.SetI2(&i2);
    }

    CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app;
    CVistrelDoc i1{app, 1};
    CVistrelDoc i2{app, 2};
    CTwoImagesModel model;
};

TEST_F(TwoImagesModelTest, EightButtonsInOrder) {
    EXPECT_EQ(CTwoImagesModel::OperationNames(),
              (std::vector<std::string>{"I1 + I2", "I1 - I2", "max{ I1, I2}", "min{ I1, I2}",
                                        "{ I1: I1> I2}", "{ I1: I1< I2}", "Ob(I1) && Ob(I2)",
                                        "Ob(I1) \\ Ob(I2)"}));
}

TEST_F(TwoImagesModelTest, ShowsTitlesAndForgetsClosingDocuments) {
    EXPECT_EQ(model.I1Title(), i1.Title().toStdString());
    EXPECT_NE(model.I1Title().find("first.pgx"), std::string::npos);
    EXPECT_NE(model.I2Title().find("second.pgx"), std::string::npos);
    model.DocumentClosing(&i2);
    EXPECT_EQ(model.I2(), nullptr);
    EXPECT_EQ(model.I2Title(), "");
    EXPECT_EQ(model.I1(), &i1);
    FillImage(i1.image, 2, 8, {1, 2});
    EXPECT_EQ(model.Run(CTwoImagesModel::kAverage, 8), nullptr);  // no I2: nothing happens
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(TwoImagesModelTest, ArithmeticOperationsLeaveTheSourcesAlone) {
    FillImage(i1.image, 3, 8, {10, 20, 30});
    FillImage(i2.image, 3, 8, {20, 20, 10});
    struct Case {
        int operation;
        std::vector<int32_t> samples;
        uint16_t valueOffset;
    };
    const std::vector<Case> cases = {
        {CTwoImagesModel::kAverage, {15, 20, 20}, 0},
        {CTwoImagesModel::kDifference, {0, 10, 30}, 10},  // -10, 0, 20 shifted up by 10
        {CTwoImagesModel::kMax, {20, 20, 30}, 0},
        {CTwoImagesModel::kMin, {10, 20, 10}, 0},
        {CTwoImagesModel::kGreater, {0, 0, 30}, 0},
        {CTwoImagesModel::kLess, {10, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CTwoImagesModel::OperationNames()[c.operation]);
        const auto result = model.Run(c.operation, 8);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(ValuesOf(*result), c.samples);
        EXPECT_EQ(result->valueOffset, c.valueOffset);
    }
    EXPECT_EQ(ValuesOf(i1.image), (std::vector<int32_t>{10, 20, 30}));
    EXPECT_EQ(ValuesOf(i2.image), (std::vector<int32_t>{20, 20, 10}));
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(TwoImagesModelTest, DifferentSizesShowTheMessageAndDoNothing) {
    FillImage(i1.image, 3, 8, {1, 2, 3});
    FillImage(i2.image, 1, 8, {1, 2, 3});
    for (int operation = 0; operation < 8; ++operation)
        EXPECT_EQ(model.Run(operation, 8), nullptr) << operation;
    ASSERT_EQ(sink.shown.size(), 8u);
    EXPECT_EQ(sink.shown[0], "Different image sizes!\n Change images...");
}

TEST_F(TwoImagesModelTest, ObjectOperationsCountAndReport) {
    // Two objects under 4-connectivity (a diagonal pair), one under 8.
    FillImage(i1.image, 4, 1,
              {1, 0, 0, 1,  //
               0, 1, 0, 0});
    FillImage(i2.image, 4, 1,
              {1, 0, 0, 0,  //
               0, 0, 0, 0});
    struct Case {
        int operation, connectivity;
        std::vector<int32_t> samples;
        std::string message;
    };
    const std::vector<Case> cases = {
        {CTwoImagesModel::kKeepTouching, 4, {1, 0, 0, 0, 0, 0, 0, 0}, "left objects=1"},
        {CTwoImagesModel::kKeepTouching, 8, {1, 0, 0, 0, 0, 1, 0, 0}, "left objects=1"},
        {CTwoImagesModel::kRemoveTouching, 4, {0, 0, 0, 1, 0, 1, 0, 0}, "removed objects=1"},
        {CTwoImagesModel::kRemoveTouching, 8, {0, 0, 0, 1, 0, 0, 0, 0}, "removed objects=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message + " / " + std::to_string(c.connectivity));
        sink.shown.clear();
        const auto result = model.Run(c.operation, c.connectivity);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->depth, 1);
        EXPECT_EQ(ValuesOf(*result), c.samples);
        EXPECT_EQ(sink.shown, (std::vector<std::string>{c.message}));
    }
    EXPECT_EQ(ValuesOf(i1.image), (std::vector<int32_t>{1, 0, 0, 1, 0, 1, 0, 0}));

    // No touching object still reports its count.
    FillImage(i2.image, 4, 1, {0, 0, 0, 0, 0, 0, 0, 0});
    sink.shown.clear();
    ASSERT_NE(model.Run(CTwoImagesModel::kRemoveTouching, 8), nullptr);
    EXPECT_EQ(sink.shown, (std::vector<std::string>{"removed objects=0"}));
}

TEST_F(TwoImagesModelTest, ObjectOperationsNeedTwoBinaryImages) {
    FillImage(i1.image, 2, 1, {1, 1});
    FillImage(i2.image, 2, 8, {1, 1});
    EXPECT_EQ(model.Run(CTwoImagesModel::kKeepTouching, 8), nullptr);
    EXPECT_EQ(model.Run(CTwoImagesModel::kRemoveTouching, 8), nullptr);
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(ValuesOf(i1.image), (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(model.Run(8, 8), nullptr);
    EXPECT_EQ(model.Run(-1, 8), nullptr);
}

// ---------------------------------------------------------------- conditional thickening

TEST(TwoImagesModelModes, TitleAndButtonsFollowTheMode) {
    struct Case {
        CTwoImagesModel::EMode mode;
        const char *title, *first, *second;
    } cases[] = {
        {CTwoImagesModel::EMode::Operations, "Two images operations", "Set I1", "Set I2"},
        {CTwoImagesModel::EMode::ConditionalThickening, "Conditional Thickening",
         "Set Internal Marker", "Set External Marker"},
    };
    for (const Case& c : cases) {
        const CTwoImagesModel model(c.mode);
        EXPECT_EQ(model.Mode(), c.mode);
        EXPECT_EQ(model.WindowTitle(), c.title);
        EXPECT_EQ(model.FirstButtonText(), c.first);
        EXPECT_EQ(model.SecondButtonText(), c.second);
    }
}

class ThickeningModelTest : public TwoImagesModelTest {
  protected:
    void SetUp() override {
        TwoImagesModelTest::SetUp();
        // Condition: a 5 x 5 block in a 7 x 7 frame; marker: a run of three inside it.
        std::vector<int32_t> block(49, 0), run(49, 0);
        for (int y = 1; y <= 5; ++y)
            for (int x = 1; x <= 5; ++x) block[y * 7 + x] = 1;
        for (int x = 2; x <= 4; ++x) run[2 * 7 + x] = 1;
        FillImage(i1.image, 7, 1, run);
        FillImage(i2.image, 7, 1, block);
    }
    CTwoImagesModel thickening{CTwoImagesModel::EMode::ConditionalThickening};
};

TEST_F(ThickeningModelTest, FirstDocumentIsTheMarkerAndTheSecondTheCondition) {
    thickening.SetI1(&i1);
    thickening.SetI2(&i2);
    const std::vector<int32_t> marker = ValuesOf(i1.image), condition = ValuesOf(i2.image);
    auto result = thickening.RunThickening();
    ASSERT_NE(result, nullptr);
    auto expected = ConditionalThickening(i2.image, i1.image);
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(ValuesOf(*result), ValuesOf(*expected));
    const std::vector<int32_t> values = ValuesOf(*result);
    EXPECT_NE(values, marker) << "the marker grows";
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_LE(values[i], condition[i]) << i;  // never beyond the condition image
        EXPECT_GE(values[i], marker[i]) << i;
    }
    EXPECT_EQ(ValuesOf(i1.image), marker) << "the sources stay as they were";
    EXPECT_EQ(ValuesOf(i2.image), condition);
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(ThickeningModelTest, NothingHappensWithoutTwoMatchingImages) {
    CVistrelApp otherApp;
    CVistrelDoc wide{otherApp, 3}, deep{otherApp, 4}, empty{otherApp, 5};
    FillImage(wide.image, 8, 1, std::vector<int32_t>(56, 1));
    FillImage(deep.image, 7, 8, std::vector<int32_t>(49, 1));
    struct Case {
        CVistrelDoc *first, *second;
        bool sizeMessage;
    } cases[] = {
        {&i1, nullptr, false}, {nullptr, &i2, false}, {&i1, &empty, false},
        {&i1, &wide, true},    {&wide, &i2, true},    {&deep, &i2, false},  // depths differ
    };
    for (const Case& c : cases) {
        sink.shown.clear();
        thickening.SetI1(c.first);
        thickening.SetI2(c.second);
        EXPECT_EQ(thickening.RunThickening(), nullptr);
        EXPECT_EQ(sink.shown, c.sizeMessage ? std::vector<std::string>{kDifferentImageSizes}
                                            : std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace vistrel
