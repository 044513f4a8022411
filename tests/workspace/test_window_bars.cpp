#include "workspace/window_bars.h"

#include <gtest/gtest.h>

#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {
namespace {

// A document holding a 12-bit image, without any file behind it.
class BarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        doc.image = CMImage(4, 4, 12);
        DeriveDisplayBits(12, doc.displayShift, doc.displayDepth);
        doc.SetWindowValues(1000, 3000);
    }
    CVistrelApp app;
    CVistrelDoc doc{app, 1};
};

TEST_F(BarTest, BitBarLoadsTheDocumentOrShowsOneBitWithout) {
    CBitWindowBarModel bar;
    bar.Load(&doc);
    EXPECT_EQ(bar.Depth(), 12);
    EXPECT_EQ(bar.Bits(), 8);
    EXPECT_EQ(bar.Shift(), 4);
    EXPECT_EQ(bar.BitsMaximum(), 8);
    EXPECT_EQ(bar.ShiftMaximum(), 12);
    EXPECT_EQ(bar.BitsText(), "8");
    EXPECT_EQ(bar.RangeText(), "4 - 11");
    bar.Load(nullptr);
    EXPECT_EQ(bar.Depth(), 0);
    EXPECT_EQ(bar.Bits(), 1);
    EXPECT_EQ(bar.Shift(), 0);
}

TEST_F(BarTest, DraggingKeepsShiftPlusBitsWithinTheDepth) {
    struct Case {
        bool dragBits;
        int value;
        int shift, bits;
    } cases[] = {
        {false, 6, 6, 6},    // shift up from 4: bits give way
        {true, 8, 4, 8},     // bits back up: shift gives way
        {false, 12, 11, 1},  // the top of the shift slider still shows one bit
        {true, 3, 9, 3},    {false, 0, 0, 3},
    };
    CBitWindowBarModel bar;
    bar.Load(&doc);
    for (const Case& c : cases) {
        if (c.dragBits)
            bar.DragBits(c.value);
        else
            bar.DragShift(c.value);
        EXPECT_EQ(bar.Shift(), c.shift) << (c.dragBits ? "bits " : "shift ") << c.value;
        EXPECT_EQ(bar.Bits(), c.bits) << (c.dragBits ? "bits " : "shift ") << c.value;
        EXPECT_LE(bar.Shift() + bar.Bits(), bar.Depth());
    }
    EXPECT_TRUE(bar.Commit(&doc));
    EXPECT_EQ(doc.displayShift, 0);
    EXPECT_EQ(doc.displayDepth, 3);
    EXPECT_FALSE(bar.Commit(&doc));  // the same pair again changes nothing
}

TEST_F(BarTest, ValueBarEditsStayOrderedInsideTheRange) {
    CValueWindowBarModel bar;
    bar.Load(&doc);
    EXPECT_EQ(bar.Low(), 1000);
    EXPECT_EQ(bar.High(), 3000);
    EXPECT_EQ(bar.Level(), 2000);
    EXPECT_EQ(bar.Width(), 2000);
    EXPECT_EQ(bar.WidthMaximum(), 4095);

    bar.SetLow(3500);  // above high: high follows
    EXPECT_EQ(bar.Low(), 3500);
    EXPECT_EQ(bar.High(), 3500);
    bar.SetHigh(200);  // below low: low follows
    EXPECT_EQ(bar.Low(), 200);
    bar.SetHigh(600);
    bar.SetLevel(4000);  // width 400 kept, pushed back inside the range
    EXPECT_EQ(bar.Width(), 400);
    EXPECT_EQ(bar.High(), 4095);
    bar.SetWidth(100);
    EXPECT_EQ(bar.Width(), 100);
    EXPECT_EQ(bar.Level(), 3895);  // the centre of 3695..4095 stays put

    bar.Apply(&doc);
    EXPECT_EQ(doc.windowLow, bar.Low());
    EXPECT_EQ(doc.windowHigh, bar.High());
}

TEST_F(BarTest, ColourStripRunsFromFirstToLastEntryBetweenTheMarks) {
    doc.image = CMImage(4, 4, 8);  // range 0..255
    doc.SetWindowValues(64, 192);
    CValueWindowBarModel bar;
    bar.Load(&doc);
    const int height = 256, entries = 256;
    EXPECT_EQ(bar.StripIndex(0, height, entries), 0);
    EXPECT_EQ(bar.StripIndex(63, height, entries), 0);
    EXPECT_EQ(bar.StripIndex(255, height, entries), 255);
    EXPECT_EQ(bar.StripIndex(200, height, entries), 255);
    const int middle = bar.StripIndex(128, height, entries);
    EXPECT_GT(middle, 100);
    EXPECT_LT(middle, 156);
    int previous = 0;
    for (int y = 0; y < height; ++y) {
        const int index = bar.StripIndex(y, height, entries);
        EXPECT_GE(index, previous) << y;  // never darker going up
        previous = index;
    }
}

}  // namespace
}  // namespace vistrel
