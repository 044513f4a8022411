#include "shell/breast_segment_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace vistrel {
namespace {

QStringList Texts(const QButtonGroup* group) {
    QStringList texts;
    for (const QAbstractButton* button : group->buttons()) texts << button->text();
    return texts;
}

TEST(BreastSegmentDlg, OpensOnTheModelsChoices) {
    const CBreastSegmentDlg dialog{CBreastSegmentModel{}};
    EXPECT_EQ(dialog.windowTitle(), "Breast Segment");
    EXPECT_EQ(Texts(dialog.Views()), (QStringList{"Left", "Right", "Auto"}));
    EXPECT_EQ(Texts(dialog.Thresholds()), (QStringList{"Manual", "Auto"}));
    EXPECT_EQ(dialog.Views()->checkedButton()->text(), "Auto");
    EXPECT_EQ(dialog.Thresholds()->checkedButton()->text(), "Auto");
    EXPECT_EQ(dialog.LowEdit()->text(), "40.");
    EXPECT_EQ(dialog.HighEdit()->text(), "99.5");
    EXPECT_EQ(dialog.ConeBox()->text(), "stozek");
    EXPECT_TRUE(dialog.ConeBox()->isChecked());
    EXPECT_EQ(dialog.SegmentButton()->text(), "Segment");
    EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");

    CBreastSegmentModel manual;
    manual.view = kViewRight;
    manual.automatic = false;
    manual.lowText = "30";
    manual.cone = false;
    const CBreastSegmentDlg reopened{manual};
    EXPECT_EQ(reopened.Views()->checkedButton()->text(), "Right");
    EXPECT_EQ(reopened.Thresholds()->checkedButton()->text(), "Manual");
    EXPECT_TRUE(reopened.LowEdit()->isEnabled());
    EXPECT_EQ(reopened.LowEdit()->text(), "30");
    EXPECT_FALSE(reopened.ConeBox()->isChecked());
}

TEST(BreastSegmentDlg, PercentileEditsFollowTheManualChoice) {
    CBreastSegmentDlg dialog{CBreastSegmentModel{}};
    QAbstractButton* manual = dialog.Thresholds()->button(0);
    QAbstractButton* automatic = dialog.Thresholds()->button(1);
    EXPECT_FALSE(dialog.LowEdit()->isEnabled());
    EXPECT_FALSE(dialog.HighEdit()->isEnabled());
    manual->click();
    EXPECT_TRUE(dialog.LowEdit()->isEnabled());
    EXPECT_TRUE(dialog.HighEdit()->isEnabled());
    automatic->click();
    EXPECT_FALSE(dialog.LowEdit()->isEnabled());
    EXPECT_FALSE(dialog.HighEdit()->isEnabled());
}

TEST(BreastSegmentDlg, SegmentHandsOnTheChoicesAndCancelRefuses) {
    struct Case {
        bool segment;
        int result;
    } cases[] = {{true, QDialog::Accepted}, {false, QDialog::Rejected}};
    for (const Case& c : cases) {
        CBreastSegmentDlg dialog{CBreastSegmentModel{}};
        dialog.Views()->button(kViewLeft)->click();
        dialog.Thresholds()->button(0)->click();
        dialog.LowEdit()->setText("25.5");
        dialog.HighEdit()->setText("98");
        dialog.ConeBox()->click();
        QPushButton* press = c.segment ? dialog.SegmentButton() : dialog.CancelButton();
        QTimer::singleShot(0, press, &QPushButton::click);
        EXPECT_EQ(dialog.exec(), c.result);

        const CSegmentParams params = dialog.Model().Params();
        EXPECT_EQ(params.view, kViewLeft);
        EXPECT_EQ(params.automatic, 0);
        EXPECT_DOUBLE_EQ(params.low, 25.5);
        EXPECT_DOUBLE_EQ(params.high, 98.0);
        EXPECT_EQ(params.cone, 0);
    }
}

}  // namespace
}  // namespace vistrel
