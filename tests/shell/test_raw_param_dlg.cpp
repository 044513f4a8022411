#include "shell/raw_param_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>

namespace vistrel {
namespace {

TEST(RawParamDlg, OpensOnTheLastParametersWithUnknownDepthsAsEight) {
    struct Case {
        int depth;
        int shown;
        bool alignmentShown;
    } cases[] = {{1, 1, false},  {4, 4, false},  {8, 8, false},   {10, 8, false},
                 {12, 12, true}, {14, 14, true}, {16, 16, false}, {0, 8, false}};
    for (const Case& c : cases) {
        CRawParamDlg dialog("/data/scan.raw", {640, 480, c.depth, false});
        EXPECT_EQ(dialog.DepthGroup()->checkedId(), c.shown) << c.depth;
        EXPECT_EQ(dialog.AlignmentShown(), c.alignmentShown) << c.depth;
        EXPECT_EQ(dialog.WidthEdit()->value(), 640);
        EXPECT_EQ(dialog.HeightEdit()->value(), 480);
    }
}

TEST(RawParamDlg, ChangingTheDepthResetsTheAlignmentToLsb) {
    CRawParamDlg dialog("/data/scan.raw", {100, 50, 12, true});
    EXPECT_EQ(dialog.AlignmentGroup()->checkedId(), 1);  // MSB as accepted last time
    CRawParams params = dialog.Params();
    EXPECT_EQ(params.depth, 12);
    EXPECT_TRUE(params.msbAligned);

    dialog.DepthGroup()->button(14)->click();
    EXPECT_EQ(dialog.AlignmentGroup()->checkedId(), 0);
    EXPECT_TRUE(dialog.AlignmentShown());
    dialog.AlignmentGroup()->button(1)->click();
    dialog.DepthGroup()->button(16)->click();
    EXPECT_FALSE(dialog.AlignmentShown());
    params = dialog.Params();
    EXPECT_EQ(params.depth, 16);
    EXPECT_FALSE(params.msbAligned);  // no alignment without the 12/14-bit choice
    EXPECT_EQ(params.width, 100);
    EXPECT_EQ(params.height, 50);
}

}  // namespace
}  // namespace vistrel
