#include "shell/window_width_bits.h"

#include <gtest/gtest.h>

#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

TEST_F(MainFrameTest, BitBarShowsTheActiveDocument) {
    CWindowWidthBits* bar = frame->BitsBar();
    EXPECT_EQ(bar->BitsLabel()->text(), "1");  // no document yet
    EXPECT_EQ(bar->RangeLabel()->text(), "0 - 0");
    ASSERT_NE(OpenRamp(), nullptr);
    EXPECT_EQ(bar->BitsSlider()->minimum(), 1);
    EXPECT_EQ(bar->BitsSlider()->maximum(), 8);
    EXPECT_EQ(bar->ShiftSlider()->maximum(), 12);
    EXPECT_EQ(bar->BitsSlider()->value(), 8);
    EXPECT_EQ(bar->ShiftSlider()->value(), 4);
    EXPECT_EQ(bar->BitsLabel()->text(), "8");
    EXPECT_EQ(bar->RangeLabel()->text(), "4 - 11");
}

TEST_F(MainFrameTest, BitBarDragKeepsTheSumAndAppliesOnRelease) {
    CVistrelDoc* doc = OpenRamp();
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    CWindowWidthBits* bar = frame->BitsBar();
    const QImage before = view->DisplayImage().copy();

    bar->ShiftSlider()->setSliderDown(true);
    bar->ShiftSlider()->setValue(8);
    // While dragging, the bits give way so that 8 + bits <= 12; the document waits.
    EXPECT_EQ(bar->BitsSlider()->value(), 4);
    EXPECT_EQ(bar->RangeLabel()->text(), "8 - 11");
    EXPECT_EQ(doc->displayShift, 4);
    EXPECT_EQ(doc->displayDepth, 8);

    bar->ShiftSlider()->setSliderDown(false);  // emits sliderReleased
    EXPECT_EQ(doc->displayShift, 8);
    EXPECT_EQ(doc->displayDepth, 4);
    ASSERT_NE(view->DisplayBitmap(), nullptr);
    EXPECT_EQ(view->DisplayBitmap()->depth, 4);
    EXPECT_NE(view->DisplayImage(), before);

    // A keyboard step has no drag: it applies at once.
    bar->BitsSlider()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(doc->displayDepth, 3);
    EXPECT_EQ(doc->displayShift, 8);
}

}  // namespace
}  // namespace vistrel
