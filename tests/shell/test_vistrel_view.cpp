#include "shell/vistrel_view.h"

#include <gtest/gtest.h>

#include <QScrollBar>

#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

TEST_F(MainFrameTest, ZoomCommandsChangeTitleAndPictureSize) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    CSplitterFrame* child = frame->FrameOf(doc);
    struct Step {
        CommandId command;
        const char* percent;
        int width, height;
    } steps[] = {
        {CommandId::ActualPixels, "100.0", 400, 300}, {CommandId::ZoomIn, "125.0", 500, 375},
        {CommandId::ZoomOut, "100.0", 400, 300},      {CommandId::ZoomOut, "75.0", 300, 225},
        {CommandId::ZoomOut, "50.0", 200, 150},       {CommandId::ZoomOut, "25.0", 100, 75},
        {CommandId::ZoomOut, "25.0", 100, 75},  // zooming out from 25 % does nothing
        {CommandId::ZoomIn, "50.0", 200, 150},        {CommandId::ActualPixels, "100.0", 400, 300},
    };
    for (const Step& step : steps) {
        frame->Action(step.command)->trigger();
        const QString expected = QString("ramp.pgx @ %1 % : 1").arg(step.percent);
        EXPECT_EQ(child->windowTitle(), expected);
        EXPECT_EQ(view->PictureSize(), QSize(step.width, step.height)) << step.percent;
    }
}

TEST_F(MainFrameTest, ZoomToFitFillsTheClientAreaAndTheFrameHugsIt) {
    CVistrelDoc* doc = OpenRamp(2000, 500);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    frame->Action(CommandId::ZoomIn)->trigger();
    EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);
    frame->Action(CommandId::ZoomToFit)->trigger();
    EXPECT_LT(view->Zoom(), 1.0f);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 0);
    EXPECT_LE(view->PictureSize().width(), view->viewport()->width());
    // The picture keeps the image's proportions.
    EXPECT_NEAR(view->PictureSize().width() / double(view->PictureSize().height()), 4.0, 0.05);
}

TEST_F(MainFrameTest, PictureWrapsTheRenderedBitmap) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    const CDisplayBitmap* bitmap = view->DisplayBitmap();
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->depth, 8);
    EXPECT_EQ(view->DisplayImage().constBits(), bitmap->bits.data());  // not a copy
    // Bit window on the top 8 of 12 bits: sample >> 4 in the grey ramp.
    const int x = 200;
    const int sample = x * 4095 / 399;
    EXPECT_EQ(qGray(view->DisplayImage().pixel(x, 10)), sample >> 4);
}

TEST_F(MainFrameTest, NarrowValueWindowsPaintOneAndFourBitPictures) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    frame->Action(CommandId::WindowValues)->trigger();
    struct Case {
        int32_t low, high;
        int depth;
    } cases[] = {{2000, 2000, 1}, {2000, 2015, 4}, {2000, 3000, 8}};
    for (const Case& c : cases) {
        doc->SetWindowValues(c.low, c.high);
        doc->UpdateAllViews(kUpdateDisplay);
        ASSERT_NE(view->DisplayBitmap(), nullptr);
        EXPECT_EQ(view->DisplayBitmap()->depth, c.depth) << c.low << ".." << c.high;
        const QImage& picture = view->DisplayImage();
        EXPECT_EQ(qGray(picture.pixel(0, 5)), 0) << c.low << ".." << c.high;
        EXPECT_EQ(qGray(picture.pixel(399, 5)), 255) << c.low << ".." << c.high;
    }
}

}  // namespace
}  // namespace vistrel
