#include "shell/morph_element_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "shell/breast_segment_dlg.h"
#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;
using testing::SendMouse;

std::vector<std::pair<int, int>> Members(const CMorphSE& se) {
    std::vector<std::pair<int, int>> members;
    for (int r = 0; r < se.size; ++r)
        for (int c = 0; c < se.size; ++c)
            if (se.GetCell(r, c) == 1) members.emplace_back(r, c);
    return members;
}

void TypeCm(CMorphElementDlg& dialog, const QString& text) {
    dialog.CmEdit()->setText(text);
    emit dialog.CmEdit()->editingFinished();
}

TEST(MorphElementDlg, ShowsTheModelsFields) {
    const CMorphElementDlg dialog(CMorphElementModel(CMorphSE(5, CMorphSE::kCircle), 4, 254.0));
    EXPECT_EQ(dialog.windowTitle(), "Parameters for morphological operators");
    EXPECT_EQ(dialog.SizeBox()->value(), 5);
    EXPECT_EQ(dialog.CmEdit()->text(), "0.05");
    EXPECT_EQ(dialog.ResolutionLabel()->text(), "Active image resolution = 100.00 microns/pixel");
    QStringList shapes;
    for (const QAbstractButton* b : dialog.Shapes()->buttons()) shapes << b->text();
    EXPECT_EQ(shapes, (QStringList{"Cross", "X", "Circle", "Square"}));
    EXPECT_EQ(dialog.Shapes()->checkedId(), CMorphSE::kCircle);
    EXPECT_EQ(dialog.CreateButton()->text(), "Create");
    EXPECT_EQ(dialog.ClearButton()->text(), "Clear");
    EXPECT_EQ(dialog.RotateButton()->text(), "Rotate 90");
    EXPECT_EQ(dialog.IterationsBox()->value(), 4);
    EXPECT_EQ(dialog.IterationsBox()->minimum(), 1);
    EXPECT_EQ(dialog.IterationsBox()->maximum(), 100);
    EXPECT_EQ(dialog.Grid()->size(), QSize(5 * 15 + 1, 5 * 15 + 1));
}

TEST(MorphElementDlg, SizeBoxStaysOddAndTheCentimetresFollow) {
    CMorphElementDlg dialog(CMorphElementModel(CMorphSE(3, CMorphSE::kSquare), 1, 254.0));
    QSpinBox* size = dialog.SizeBox();
    struct Step {
        std::function<void()> act;
        int expected;
        const char* cm;
    } steps[] = {
        {[&] { size->stepUp(); }, 5, "0.05"},
        {[&] { size->stepUp(); }, 7, "0.07"},
        {[&] { size->stepDown(); }, 5, "0.05"},
        {[&] { size->setValue(10); }, 11, "0.11"},  // typed even, above: further up
        {[&] { size->setValue(4); }, 3, "0.03"},    // typed even, below: further down
        {[&] { size->setValue(1); }, 1, "0.01"},
        {[&] { size->stepDown(); }, 1, "0.01"},  // never below one cell
        {[&] { size->setValue(51); }, 51, "0.51"},
        {[&] { size->stepUp(); }, 51, "0.51"},  // never above the largest size
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(size->value(), step.expected);
        EXPECT_EQ(dialog.Model().Size(), step.expected);
        EXPECT_EQ(dialog.CmEdit()->text(), step.cm);
    }
}

TEST(MorphElementDlg, EnteringCentimetresSetsTheSize) {
    CMorphElementDlg dialog(CMorphElementModel(CMorphSE(3, CMorphSE::kSquare), 1, 300.0));
    struct Case {
        const char* typed;
        int size;
        const char* shown;  // the cm field after the entry
    } cases[] = {
        {"0.1", 11, "0.09"},   // 11.81 pixels -> 11, shown again from the size
        {"0,2", 23, "0.19"},   // a decimal comma is taken too
        {"0.09", 11, "0.09"},  // 10 pixels, even -> 11
        {"abc", 11, "0.09"},   // no number: the size stays
        {"", 11, "0.09"},
    };
    for (const Case& c : cases) {
        TypeCm(dialog, QString::fromLatin1(c.typed));
        EXPECT_EQ(dialog.SizeBox()->value(), c.size) << c.typed;
        EXPECT_EQ(dialog.Model().Size(), c.size) << c.typed;
        EXPECT_EQ(dialog.CmEdit()->text(), c.shown) << c.typed;
    }
}

TEST(MorphElementDlg, ButtonsChangeTheElementAndTheGridFollows) {
    CMorphElementDlg dialog(CMorphElementModel(CMorphSE(3, CMorphSE::kSquare), 1, 1.0));
    dialog.SizeBox()->setValue(7);
    dialog.Shapes()->button(CMorphSE::kCross)->click();
    EXPECT_EQ(dialog.Model().Element().size, 3) << "the element waits for Create";
    dialog.CreateButton()->click();
    EXPECT_EQ(dialog.Model().Element().cells, CMorphSE(7, CMorphSE::kCross).cells);
    EXPECT_EQ(dialog.Grid()->size(), QSize(7 * 15 + 1, 7 * 15 + 1));

    dialog.ClearButton()->click();
    EXPECT_EQ(Members(dialog.Model().Element()), (std::vector<std::pair<int, int>>{{3, 3}}));
    CMorphElementDlg turned(CMorphElementModel(
        [] {
            CMorphSE se(3, CMorphSE::kCustom);
            se.SetCell(1, 2, 1);
            return se;
        }(),
        1, 1.0));
    turned.RotateButton()->click();
    EXPECT_EQ(Members(turned.Model().Element()), (std::vector<std::pair<int, int>>{{0, 1}}));

    dialog.IterationsBox()->setValue(42);
    EXPECT_EQ(dialog.Model().Iterations(), 42);
}

TEST(MorphElementDlg, GridClicksSetAndClearTheCellUnderTheCursor) {
    CMorphElementDlg dialog(CMorphElementModel(CMorphSE(5, CMorphSE::kCross), 1, 1.0));
    CMorphElementGrid* grid = dialog.Grid();
    const auto click = [grid](int row, int col, Qt::MouseButton button) {
        const QPoint at = CMorphElementGrid::CellCentre(row, col);
        SendMouse(grid, QEvent::MouseButtonPress, at, button, button);
        SendMouse(grid, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
    };
    click(0, 0, Qt::LeftButton);
    EXPECT_EQ(dialog.Model().Element().GetCell(0, 0), 1);
    click(2, 2, Qt::RightButton);
    EXPECT_EQ(dialog.Model().Element().GetCell(2, 2), 0);
    click(0, 4, Qt::LeftButton);
    click(0, 4, Qt::RightButton);
    EXPECT_EQ(dialog.Model().Element().GetCell(0, 4), 0);
    // The cell's far corner still belongs to it.
    SendMouse(grid, QEvent::MouseButtonPress, {4 * 15 + 14, 3 * 15 + 14}, Qt::LeftButton,
              Qt::LeftButton);
    EXPECT_EQ(dialog.Model().Element().GetCell(3, 4), 1);

    // Dragging with the left button sets every cell it passes.
    SendMouse(grid, QEvent::MouseButtonPress, CMorphElementGrid::CellCentre(4, 0), Qt::LeftButton,
              Qt::LeftButton);
    for (int col = 1; col < 5; ++col)
        SendMouse(grid, QEvent::MouseMove, CMorphElementGrid::CellCentre(4, col), Qt::NoButton,
                  Qt::LeftButton);
    for (int col = 0; col < 5; ++col) EXPECT_EQ(dialog.Model().Element().GetCell(4, col), 1) << col;
    // Moving without a button changes nothing.
    SendMouse(grid, QEvent::MouseMove, CMorphElementGrid::CellCentre(1, 0), Qt::NoButton,
              Qt::NoButton);
    EXPECT_EQ(dialog.Model().Element().GetCell(1, 0), 0);

    // Points beyond the element are no cell.
    const std::vector<uint8_t> before = dialog.Model().Element().cells;
    for (const QPoint at : {QPoint(5 * 15 + 3, 10), QPoint(10, 5 * 15 + 3), QPoint(-3, 10)})
        SendMouse(grid, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(dialog.Model().Element().cells, before);
    EXPECT_EQ(dialog.Model().Element().shape, CMorphSE::kCustom);
}

TEST(MorphElementDlg, GridDrawsMembersAndTheCentreInTheirColours) {
    CMorphSE se(3, CMorphSE::kCross);
    CMorphElementDlg dialog(CMorphElementModel(se, 1, 1.0));
    const QImage shown = dialog.Grid()->grab().toImage();
    const auto at = [&](int row, int col) {
        return shown.pixelColor(CMorphElementGrid::CellCentre(row, col));
    };
    EXPECT_EQ(at(1, 1), CMorphElementGrid::kCentreMemberColour);
    EXPECT_EQ(at(0, 1), CMorphElementGrid::kMemberColour);
    EXPECT_EQ(at(0, 0), CMorphElementGrid::kEmptyColour);
    EXPECT_EQ(shown.pixelColor(0, 7), CMorphElementGrid::kLineColour);

    SendMouse(dialog.Grid(), QEvent::MouseButtonPress, CMorphElementGrid::CellCentre(1, 1),
              Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(dialog.Grid()->grab().toImage().pixelColor(CMorphElementGrid::CellCentre(1, 1)),
              CMorphElementGrid::kCentreEmptyColour);
}

// ---------------------------------------------------------------- the frame's dialogs

// Runs `act` on the modal dialog the frame opens, once it is shown.
template <typename Dialog, typename Act>
void WhenShown(Act act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

TEST_F(MainFrameTest, ElementDialogHandsBackItsModelOnlyOnOk) {
    for (const bool ok : {false, true}) {
        CMorphElementModel model(CMorphSE(3, CMorphSE::kSquare), 2, 1.0);
        WhenShown<CMorphElementDlg>([ok](CMorphElementDlg& dialog) {
            dialog.SizeBox()->setValue(9);
            dialog.Shapes()->button(CMorphSE::kX)->click();
            dialog.CreateButton()->click();
            dialog.IterationsBox()->setValue(3);
            ok ? dialog.accept() : dialog.reject();
        });
        EXPECT_EQ(frame->AskMorphElement(model), ok);
        EXPECT_EQ(model.Element().cells,
                  (ok ? CMorphSE(9, CMorphSE::kX) : CMorphSE(3, CMorphSE::kSquare)).cells);
        EXPECT_EQ(model.Iterations(), ok ? 3 : 2);
    }
}

TEST_F(MainFrameTest, BreastSegmentDialogHandsBackItsChoicesOnlyOnSegment) {
    for (const bool segment : {false, true}) {
        CBreastSegmentModel model;
        WhenShown<CBreastSegmentDlg>([segment](CBreastSegmentDlg& dialog) {
            dialog.Thresholds()->button(0)->click();
            dialog.HighEdit()->setText("97");
            (segment ? dialog.SegmentButton() : dialog.CancelButton())->click();
        });
        EXPECT_EQ(frame->AskBreastSegment(model), segment);
        EXPECT_EQ(model.automatic, !segment);
        EXPECT_EQ(model.highText, segment ? "97" : "99.5");
    }
}

}  // namespace
}  // namespace vistrel
