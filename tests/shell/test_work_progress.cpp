#include "shell/work_progress.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QWidget>

namespace vistrel {
namespace {

QPushButton* CancelButton(QProgressDialog* dialog) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == "Cancel") return button;
    return nullptr;
}

TEST(WorkProgress, QuickWorkShowsNothing) {
    QWidget window;
    CWorkProgress progress(&window);  // the shipped delay
    progress.Begin("Detecting spots");
    for (double f : {0.0, 0.25, 0.5, 1.0}) EXPECT_TRUE(progress.Report(f));
    EXPECT_EQ(progress.Dialog(), nullptr);
    progress.End();
    EXPECT_EQ(progress.Dialog(), nullptr);
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
}

TEST(WorkProgress, SlowWorkShowsAModalBarFollowingTheFraction) {
    QWidget window;
    window.show();
    CWorkProgress progress(&window, 30);
    progress.Begin("Detecting spots");
    EXPECT_TRUE(progress.Report(0.1));
    EXPECT_EQ(progress.Dialog(), nullptr) << "not before the delay";
    QTest::qWait(60);
    EXPECT_TRUE(progress.Report(0.25));
    QProgressDialog* dialog = progress.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(dialog->labelText(), "Detecting spots");
    EXPECT_EQ(dialog->minimum(), 0);
    EXPECT_EQ(dialog->maximum(), 1000);
    EXPECT_EQ(dialog->value(), 250);
    ASSERT_NE(CancelButton(dialog), nullptr);
    const struct {
        double fraction;
        int value;
    } cases[] = {{0.5, 500}, {0.9996, 1000}, {1.0, 1000}, {1.7, 1000}, {-0.2, 0}};
    for (const auto& c : cases) {
        EXPECT_TRUE(progress.Report(c.fraction));
        EXPECT_EQ(dialog->value(), c.value) << c.fraction;
        EXPECT_TRUE(dialog->isVisible()) << c.fraction;
    }
    progress.End();
    EXPECT_EQ(progress.Dialog(), nullptr);
    EXPECT_FALSE(dialog->isVisible());
}

TEST(WorkProgress, CancelMakesReportFalseUntilTheNextWork) {
    QWidget window;
    window.show();
    CWorkProgress progress(&window, 0);
    progress.Begin("Filtering");
    EXPECT_TRUE(progress.Report(0.3));
    ASSERT_NE(progress.Dialog(), nullptr);
    QPushButton* cancel = CancelButton(progress.Dialog());
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(progress.Report(0.4));
    EXPECT_FALSE(progress.Report(0.5)) << "stays cancelled";
    progress.End();
    EXPECT_EQ(progress.Dialog(), nullptr);
    // The next piece of work starts afresh.
    progress.Begin("Filtering");
    EXPECT_TRUE(progress.Report(0.1));
    progress.End();
}

TEST(WorkProgress, OnlyTheOutermostWorkShowsAndHides) {
    QWidget window;
    window.show();
    CWorkProgress progress(&window, 0);
    progress.End();  // unmatched: ignored
    EXPECT_EQ(progress.Depth(), 0);
    EXPECT_TRUE(progress.Report(0.5)) << "no work, nothing to cancel";
    EXPECT_EQ(progress.Dialog(), nullptr);

    progress.Begin("Outer");
    EXPECT_TRUE(progress.Report(0.2));
    QProgressDialog* dialog = progress.Dialog();
    ASSERT_NE(dialog, nullptr);
    progress.Begin("Inner");
    EXPECT_EQ(progress.Depth(), 2);
    EXPECT_TRUE(progress.Report(0.6));
    EXPECT_EQ(progress.Dialog(), dialog) << "one bar for both";
    EXPECT_EQ(dialog->labelText(), "Outer");
    EXPECT_EQ(dialog->value(), 600);
    progress.End();
    EXPECT_EQ(progress.Dialog(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    progress.End();
    EXPECT_EQ(progress.Dialog(), nullptr);
    EXPECT_FALSE(dialog->isVisible());
}

}  // namespace
}  // namespace vistrel

namespace vistrel {

// A status set before the bar is up is shown when it appears; later ones
// replace it, and the next work starts without one.
TEST(WorkProgress, StatusFollowsTheTextAndEndsWithTheWork) {
    QWidget window;
    window.show();
    CWorkProgress progress(nullptr, 0);
    progress.SetStatus("ignored: no work");
    progress.Begin("Training");
    EXPECT_EQ(progress.LabelText(), "Training");
    progress.SetStatus("epoch: 0\nerror: 0.250000");
    EXPECT_TRUE(progress.Report(0.1));
    ASSERT_NE(progress.Dialog(), nullptr);
    EXPECT_EQ(progress.Dialog()->labelText(), "Training\nepoch: 0\nerror: 0.250000");
    progress.SetStatus("epoch: 1\nerror: 0.125000");
    EXPECT_EQ(progress.Dialog()->labelText(), "Training\nepoch: 1\nerror: 0.125000");
    progress.End();
    progress.Begin("Testing");
    EXPECT_EQ(progress.LabelText(), "Testing");
    progress.End();
}

}  // namespace vistrel
