#include "workspace/two_images_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
}  // namespace vistrel
