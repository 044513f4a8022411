// Menu entries whose text follows the state: the text is right each time
// their menu opens.
#include <QMenuBar>

#include "shell/main_frame.h"
#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

// The top-level menu holding the action of id.
QMenu* MenuOf(CMainFrame& frame, CommandId id) {
    for (QAction* top : frame.menuBar()->actions())
        if (top->menu() && top->menu()->actions().contains(frame.Action(id))) return top->menu();
    return nullptr;
}

TEST_F(MainFrameTest, BreastSegmentAndElementTextsFollowTheStateAsTheirMenusOpen) {
    QMenu* detection = MenuOf(*frame, CommandId::EnableBreastSegment);
    ASSERT_NE(detection, nullptr);
    QAction* toggle = frame->Action(CommandId::EnableBreastSegment);
    CVistrelDoc* doc = OpenRamp(64, 48);
    ASSERT_NE(doc, nullptr);
    emit detection->aboutToShow();
    EXPECT_EQ(toggle->text().toStdString(), "Enable &Breast Segment");
    EXPECT_FALSE(toggle->isChecked());

    doc->breastSegment = CBreastSgt({{5, 5}, {40, 5}, {40, 30}, {5, 30}, {5, 5}});
    ASSERT_TRUE(doc->BuildBreastMask());
    emit detection->aboutToShow();
    EXPECT_EQ(toggle->text().toStdString(), "Disable &Breast Segment");
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(frame->Action(CommandId::SetZeroOutsideBreast)->isEnabled());

    QMenu* morphology = MenuOf(*frame, CommandId::StructuringElement);
    ASSERT_NE(morphology, nullptr);
    app.morphIterations = 12;
    emit morphology->aboutToShow();
    EXPECT_EQ(frame->Action(CommandId::StructuringElement)->text().toStdString(),
              "&Structuring element && Iterations (12)...");
}

}  // namespace
}  // namespace vistrel
