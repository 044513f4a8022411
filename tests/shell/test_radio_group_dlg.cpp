#include "shell/radio_group_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QRadioButton>

namespace vistrel {
namespace {

TEST(RadioGroupDlg, BuildsOneButtonPerOptionAndReportsTheChoice) {
    CRadioGroupDlg dialog("Pgx saving options (byte order)", 1, {"LM (Windows)", "ML"});
    EXPECT_EQ(dialog.windowTitle(), "Pgx saving options (byte order)");
    const auto buttons = dialog.findChildren<QRadioButton*>();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]->text(), "LM (Windows)");
    EXPECT_EQ(dialog.Selected(), 1);
    buttons[0]->click();
    EXPECT_EQ(dialog.Selected(), 0);
    dialog.Select(7);  // no such option: the choice stays
    EXPECT_EQ(dialog.Selected(), 0);
}

}  // namespace
}  // namespace vistrel
