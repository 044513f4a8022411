#include "shell/main_frame.h"

#include <gtest/gtest.h>

#include <QMenuBar>
#include <QScrollBar>

#include "shell/window_width_bits.h"
#include "shell/window_width_values.h"
#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

TEST_F(MainFrameTest, OpenedFileGetsAWindowTitledByItsDocument) {
    const std::string path = WriteRamp("ramp.pgx", 300, 200);
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    CSplitterFrame* child = frame->FrameOf(doc);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(frame->ActiveFrame(), child);
    EXPECT_EQ(app.ActiveDocument(), doc);
    EXPECT_EQ(child->windowTitle().toStdString(), doc->Title().toStdString());
    EXPECT_TRUE(child->windowTitle().startsWith("ramp.pgx @ "));
    EXPECT_TRUE(child->windowTitle().endsWith(" % : 1"));
    // The image is fitted into the client area and the frame hugs it.
    CVistrelView* view = child->View();
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->viewport()->size(), view->PictureSize());
    // The bars follow the new active document.
    EXPECT_EQ(frame->BitsBar()->RangeLabel()->text(), "4 - 11");
}

TEST_F(MainFrameTest, ClosingTheLastWindowClosesItsDocumentAndEmptiesTheBars) {
    CVistrelDoc* doc = OpenRamp();
    ASSERT_NE(doc, nullptr);
    frame->Action(CommandId::FileClose)->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(app.Documents().empty());
    EXPECT_EQ(app.ActiveDocument(), nullptr);
    EXPECT_EQ(app.DocumentCounter(), 0);
    EXPECT_EQ(frame->BitsBar()->BitsLabel()->text(), "1");
    EXPECT_EQ(frame->BitsBar()->RangeLabel()->text(), "0 - 0");
    EXPECT_FALSE(frame->Action(CommandId::FileSave)->isEnabled());

    CVistrelDoc* again = OpenRamp();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(frame->FrameOf(again)->windowTitle().endsWith(" : 1"));
}

TEST_F(MainFrameTest, OpenedFilesAreListedAsRecentFiles) {
    ASSERT_NE(OpenRamp(), nullptr);
    QMenu* file = frame->menuBar()->actions().front()->menu();
    ASSERT_NE(file, nullptr);
    QStringList texts;
    for (QAction* action : file->actions()) texts << action->text();
    EXPECT_TRUE(texts.contains(QString("&1 %1").arg(QString::fromStdString(Path("ramp.pgx")))))
        << texts.join("|").toStdString();
}

TEST_F(MainFrameTest, MenusCarryTheCommandsWithTheirAccelerators) {
    struct Case {
        CommandId id;
        const char* text;
        const char* keys;
    } cases[] = {
        {CommandId::ZoomIn, "Zoom &In", "Alt++"},
        {CommandId::ZoomOut, "Zoom &Out", "Alt+-"},
        {CommandId::ActualPixels, "&Actual Pixels (100%)", "Ctrl+A"},
        {CommandId::ZoomToFit, "Zoom To &Fit", "Ctrl+Z"},
        {CommandId::FileSaveAs, "Save &As...", "Ctrl+S"},
        {CommandId::WindowValues, "Window &Values", ""},
    };
    for (const Case& c : cases) {
        QAction* action = frame->Action(c.id);
        ASSERT_NE(action, nullptr) << c.text;
        EXPECT_EQ(action->text().toStdString(), c.text);
        EXPECT_EQ(action->shortcut(), QKeySequence(QString(c.keys))) << c.text;
    }
    // The presets popup sits two places before the end of the menu bar.
    const QList<QAction*> top = frame->menuBar()->actions();
    ASSERT_GE(top.size(), 3);
    EXPECT_EQ(top.at(top.size() - 3)->menu(), frame->PresetsMenu());
    EXPECT_EQ(frame->PresetsMenu()->title(), "Window\\Level &Presets");
}

TEST_F(MainFrameTest, PresetsApplyOnlyWhileTheValueBarIsShownAndCheckTheMatch) {
    ASSERT_FALSE(app.Presets().empty()) << "presets.txt beside the program";
    CVistrelDoc* doc = OpenRamp();
    ASSERT_NE(doc, nullptr);
    QAction* first = frame->PresetAction(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text().toStdString(), app.Presets()[0].MenuText());
    frame->UpdateCommandStates();
    EXPECT_FALSE(first->isEnabled());

    frame->Action(CommandId::WindowValues)->trigger();
    EXPECT_TRUE(first->isEnabled());
    first->trigger();
    int32_t low = 0, high = 0;
    app.Presets()[0].Window(low, high);
    EXPECT_EQ(app.currentWindow.low, low);
    EXPECT_EQ(app.currentWindow.high, high);
    EXPECT_TRUE(first->isChecked());
    EXPECT_EQ(frame->ValuesBar()->Model().Low(), doc->windowLow);
    EXPECT_EQ(frame->ValuesBar()->Model().High(), doc->windowHigh);
}

}  // namespace
}  // namespace vistrel
