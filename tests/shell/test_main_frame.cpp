#include "shell/main_frame.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QInputDialog>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <functional>

#include "core/dicom_engine.h"
#include "shell/diagnoses_legend_bar.h"
#include "shell/preview_file_dlg.h"
#include "shell/radio_group_dlg.h"
#include "shell/window_width_bits.h"
#include "shell/window_width_values.h"
#include "shell_fixture.h"
#include "workspace/plugins.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;
using testing::SendMouse;

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

TEST_F(MainFrameTest, RecentFileEntryReopensItsFile) {
    ASSERT_NE(OpenRamp(), nullptr);
    frame->Action(CommandId::FileClose)->trigger();
    QCoreApplication::processEvents();
    ASSERT_TRUE(app.Documents().empty());
    QMenu* file = frame->menuBar()->actions().front()->menu();
    ASSERT_NE(file, nullptr);
    QAction* recent = nullptr;
    for (QAction* action : file->actions())
        if (action->text() == QString("&1 %1").arg(QString::fromStdString(Path("ramp.pgx"))))
            recent = action;
    ASSERT_NE(recent, nullptr);
    recent->trigger();
    ASSERT_EQ(app.Documents().size(), 1u);
    EXPECT_EQ(app.Documents()[0]->pathName, Path("ramp.pgx"));
    EXPECT_NE(frame->FrameOf(app.Documents()[0].get()), nullptr);
    EXPECT_TRUE(frame->Action(CommandId::FileSave)->isEnabled());
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
        {CommandId::SetResolution, "Set Resolution...", ""},
    };
    for (const Case& c : cases) {
        QAction* action = frame->Action(c.id);
        ASSERT_NE(action, nullptr) << c.text;
        EXPECT_EQ(action->text().toStdString(), c.text);
        EXPECT_EQ(action->shortcut(), QKeySequence(QString(c.keys))) << c.text;
    }
    // The pixel size is set next to the image's properties.
    QMenu* basic = nullptr;
    for (QAction* top : frame->menuBar()->actions())
        if (top->menu() &&
            top->menu()->actions().contains(frame->Action(CommandId::ImageProperties)))
            basic = top->menu();
    ASSERT_NE(basic, nullptr);
    const QList<QAction*> items = basic->actions();
    const qsizetype properties = items.indexOf(frame->Action(CommandId::ImageProperties));
    EXPECT_EQ(items.value(properties + 1), frame->Action(CommandId::SetResolution));
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

TEST_F(MainFrameTest, RememberedChildSizeIsClampedToTheClientAreaAtFirstShowing) {
    // The fixture's application remembers no size: new frames fill the client area.
    QCoreApplication::processEvents();
    const QSize client = frame->MdiArea()->viewport()->size();
    EXPECT_EQ(app.childWidth, client.width());
    EXPECT_EQ(app.childHeight, client.height());
}

TEST_F(MainFrameTest, RadiologistsInterfaceSwapsTheBarsAndTheMouseMode) {
    ASSERT_NE(OpenRamp(), nullptr);
    EXPECT_TRUE(frame->StandardBar()->isVisibleTo(frame.get()));
    EXPECT_FALSE(frame->UserBar()->isVisibleTo(frame.get()));
    EXPECT_TRUE(frame->LegendBar()->isVisibleTo(frame.get()));
    app.showUserDiagnoses = true;

    frame->Action(CommandId::RadiologistsInterface)->trigger();
    EXPECT_EQ(app.mode, 1);
    EXPECT_TRUE(frame->UserBar()->isVisibleTo(frame.get()));
    EXPECT_FALSE(frame->StandardBar()->isVisibleTo(frame.get()));
    EXPECT_FALSE(frame->MorphologyBar()->isVisibleTo(frame.get()));
    EXPECT_EQ(app.mouseMode, kMouseWinLev);
    EXPECT_TRUE(frame->Action(CommandId::MouseWinLev)->isChecked());
    EXPECT_FALSE(app.showRos);
    EXPECT_FALSE(app.showRegions);
    EXPECT_FALSE(app.showUserDiagnoses);
    EXPECT_FALSE(frame->LegendBar()->isVisibleTo(frame.get())) << "no regions, no legend";
    EXPECT_TRUE(frame->Action(CommandId::RadiologistsInterface)->isChecked());

    frame->Action(CommandId::RadiologistsInterface)->trigger();
    EXPECT_EQ(app.mode, 0);
    EXPECT_TRUE(frame->StandardBar()->isVisibleTo(frame.get()));
    EXPECT_FALSE(frame->UserBar()->isVisibleTo(frame.get()));
    EXPECT_EQ(app.mouseMode, kMouseRoi);
    EXPECT_TRUE(app.showRos);
    EXPECT_TRUE(app.showRegions);

    // A bar hidden by hand stays hidden when only the mouse mode changes.
    frame->Action(CommandId::StandardToolbar)->trigger();
    EXPECT_FALSE(frame->StandardBar()->isVisibleTo(frame.get()));
    frame->Action(CommandId::MouseRuler)->trigger();
    EXPECT_FALSE(frame->StandardBar()->isVisibleTo(frame.get()));
    EXPECT_FALSE(frame->Action(CommandId::StandardToolbar)->isChecked());
}

TEST_F(MainFrameTest, BarCommandsShowAndHideTheirBars) {
    struct Case {
        CommandId id;
        QWidget* bar;
    } cases[] = {
        {CommandId::StandardToolbar, frame->StandardBar()},
        {CommandId::MorphologyToolbar, frame->MorphologyBar()},
        {CommandId::UserToolbar, frame->UserBar()},
        {CommandId::StatusBar, frame->statusBar()},
    };
    for (const Case& c : cases) {
        const bool before = c.bar->isVisibleTo(frame.get());
        frame->Action(c.id)->trigger();
        EXPECT_NE(c.bar->isVisibleTo(frame.get()), before) << static_cast<int>(c.id);
        frame->UpdateCommandStates();
        EXPECT_EQ(frame->Action(c.id)->isChecked(), !before) << static_cast<int>(c.id);
    }
}

TEST_F(MainFrameTest, MouseModesAreOneRadioGroup) {
    const CommandId modes[] = {CommandId::MouseRoi, CommandId::MouseRuler, CommandId::MouseDrawRos,
                               CommandId::MouseSrdmRoi, CommandId::MouseWinLev};
    const char* texts[] = {"R&OI", "&Ruler", "&Draw ROS", "SRD&M roi", "Win/Lev"};
    for (int m = 0; m < 5; ++m) {
        EXPECT_EQ(frame->Action(modes[m])->text(), texts[m]);
        frame->Action(modes[m])->trigger();
        EXPECT_EQ(app.mouseMode, m);
        for (int other = 0; other < 5; ++other)
            EXPECT_EQ(frame->Action(modes[other])->isChecked(), other == m) << m << " " << other;
    }
}

TEST_F(MainFrameTest, LegendFollowsTheRegionDisplay) {
    CDiagnosesLegendDlgBar* legend = frame->Legend();
    ASSERT_NE(legend, nullptr);
    EXPECT_EQ(legend->ModeText(), "User");
    const auto entries = legend->Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].letter, "B");
    EXPECT_EQ(entries[0].colour, QColor(249, 255, 0));
    EXPECT_EQ(entries[1].colour, QColor(254, 0, 89));
    EXPECT_EQ(entries[2].colour, QColor(38, 0, 255));
    legend->SetNetwork(true);
    EXPECT_EQ(legend->ModeText(), "Net");
    ASSERT_EQ(legend->Entries().size(), 2u);
    EXPECT_EQ(legend->Entries()[0].letter, "T");
    EXPECT_EQ(legend->Entries()[0].colour, QColor(255, 0, 217));

    ASSERT_TRUE(app.showRegions);
    EXPECT_TRUE(frame->LegendBar()->isVisibleTo(frame.get()));
    frame->Action(CommandId::ShowRegions)->trigger();
    EXPECT_FALSE(frame->LegendBar()->isVisibleTo(frame.get()));
    EXPECT_EQ(app.mouseMode, kMouseWinLev) << "no regions: the mouse sets the window";
    EXPECT_TRUE(frame->Action(CommandId::MouseWinLev)->isChecked());
    frame->Action(CommandId::ShowRegions)->trigger();
    EXPECT_TRUE(frame->LegendBar()->isVisibleTo(frame.get()));
    EXPECT_EQ(app.mouseMode, kMouseRoi);
}

TEST_F(MainFrameTest, CasesMenuListsEachCaseOnceAndClosesItsViews) {
    const std::string left = WriteRamp("A_1234_1.LEFT_CC.pgx", 120, 100);
    const std::string right = WriteRamp("A_1234_1.RIGHT_MLO.pgx", 120, 100);
    const std::string other = WriteRamp("plain.pgx", 120, 100);
    ASSERT_NE(app.OpenDocumentFile(left), nullptr);
    ASSERT_NE(app.OpenDocumentFile(right), nullptr);
    ASSERT_NE(app.OpenDocumentFile(other), nullptr);
    EXPECT_TRUE(frame->Action(CommandId::NextCase)->isEnabled()) << "without opening a menu";
    QList<QAction*> entries;
    for (QAction* action : frame->CasesMenu()->actions())
        if (action->data().toInt() >= 50000) entries << action;
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0]->data().toInt(), 50000);
    ASSERT_EQ(app.Cases().Entries().size(), 1u);
    EXPECT_EQ(entries[0]->text().toStdString(), app.Cases().Entries()[0]);

    // The entry brings the case's windows forward.
    entries[0]->trigger();
    ASSERT_NE(app.ActiveDocument(), nullptr);
    EXPECT_NE(app.ActiveDocument()->pathName, other);

    frame->Action(CommandId::CloseCurrentCase)->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(app.Documents().size(), 1u);
    EXPECT_EQ(app.Documents()[0]->pathName, other);
    EXPECT_EQ(frame->MdiArea()->subWindowList().size(), 1);
}

TEST_F(MainFrameTest, CloseAllClosesEveryWindow) {
    ASSERT_NE(OpenRamp(), nullptr);
    ASSERT_NE(app.OpenDocumentFile(WriteRamp("two.pgx", 50, 50)), nullptr);
    frame->Action(CommandId::CloseAll)->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(app.Documents().empty());
    EXPECT_TRUE(frame->MdiArea()->subWindowList().isEmpty());
}

TEST_F(MainFrameTest, RadiologistsPlaceLeftAndRightOnOppositeHalvesMloBelow) {
    frame->Action(CommandId::RadiologistsInterface)->trigger();
    Command(CommandId::FitCasePreview);
    const QSize client = frame->MdiArea()->viewport()->size();
    CVistrelDoc* leftCc = app.OpenDocumentFile(WriteRamp("A_1_1.LEFT_CC.pgx", 400, 600));
    CVistrelDoc* rightMlo = app.OpenDocumentFile(WriteRamp("A_1_1.RIGHT_MLO.pgx", 400, 600));
    ASSERT_NE(leftCc, nullptr);
    ASSERT_NE(rightMlo, nullptr);
    const QRect left = frame->FrameOf(leftCc)->geometry();
    const QRect right = frame->FrameOf(rightMlo)->geometry();
    EXPECT_GE(left.left(), client.width() / 2);
    EXPECT_LE(right.right(), client.width() / 2);
    EXPECT_EQ(left.top(), 0);
    EXPECT_GE(right.top(), client.height() / 2 - 1);

    // A double click in the case preview opens the image full size.
    CVistrelView* preview = View(leftCc);
    SendMouse(preview->viewport(), QEvent::MouseButtonDblClick, QPoint(10, 10), Qt::LeftButton,
              Qt::LeftButton);
    ASSERT_EQ(app.Documents().size(), 3u);
    CVistrelDoc* full = app.Documents().back().get();
    EXPECT_TRUE(View(full)->PreviewFull());
    EXPECT_EQ(full->image.width, 400);
    EXPECT_GT(frame->FrameOf(full)->height(), client.height() / 2) << "fitted as mode 1";
}

TEST_F(MainFrameTest, ToolWindowCommandsOpenAndCloseTheirWindows) {
    CVistrelDoc* doc = OpenRamp();
    ASSERT_NE(doc, nullptr);
    frame->Action(CommandId::Histogram)->trigger();
    ASSERT_NE(frame->HistogramWindow(), nullptr);
    EXPECT_TRUE(frame->HistogramWindow()->isVisible());
    EXPECT_EQ(frame->HistogramWindow()->Document(), doc);
    frame->Action(CommandId::Histogram)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frame->HistogramWindow(), nullptr);

    // Each window opens on the active document and its command closes it again.
    struct Case {
        CommandId id;
        std::function<QDialog*()> window;
        std::function<CVistrelDoc*()> bound;
    } cases[] = {
        {CommandId::ImageProperties, [&] { return frame->PropertiesWindow(); },
         [&] { return frame->PropertiesWindow()->Document(); }},
        {CommandId::BrightnessContrast, [&] { return frame->EnhanceWindow(); },
         [&] { return frame->EnhanceWindow()->Document(); }},
        {CommandId::Filters, [&] { return frame->FiltersWindow(); },
         [&] { return frame->FiltersWindow()->Document(); }},
        {CommandId::LogGaussianFilters, [&] { return frame->LogGaussianWindow(); },
         [&] { return frame->LogGaussianWindow()->Document(); }},
        {CommandId::SpotDetector, [&] { return frame->SpotDetectorWindow(); },
         [&] { return frame->SpotDetectorWindow()->Document(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(frame->Action(c.id)->text().toStdString());
        frame->Action(c.id)->trigger();
        ASSERT_NE(c.window(), nullptr);
        EXPECT_TRUE(c.window()->isVisible());
        EXPECT_EQ(c.bound(), doc);
        frame->Action(c.id)->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(c.window(), nullptr);
    }
    EXPECT_EQ(frame->Action(CommandId::Filters)->shortcut(), QKeySequence("Ctrl+F"));
    EXPECT_EQ(frame->Action(CommandId::SpotDetector)->shortcut(), QKeySequence("Ctrl+D"));
    EXPECT_EQ(frame->Action(CommandId::LogGaussianFilters)->text(), "Lo&G && Gaussian filters...");
}

TEST_F(MainFrameTest, TwoImageResultsOpenAsNewDocuments) {
    CVistrelDoc* doc = OpenRamp(100, 80);
    ASSERT_NE(doc, nullptr);
    frame->Action(CommandId::TwoImages)->trigger();
    CTwoImagesOperationsDlg* window = frame->TwoImagesWindow();
    ASSERT_NE(window, nullptr);
    window->SetI1(doc);
    window->SetI2(doc);
    window->Run(CTwoImagesModel::kAverage);
    ASSERT_EQ(app.Documents().size(), 2u);
    const CVistrelDoc* result = app.Documents().back().get();
    EXPECT_NE(frame->FrameOf(result), nullptr);
    EXPECT_EQ(result->pathName, doc->pathName);
    EXPECT_EQ(result->image.width, 100);
    EXPECT_EQ(static_cast<uint16_t>(result->image.GetPixel(99, 0)), 4095);
}

TEST_F(MainFrameTest, ImageCommandsReachTheDocument) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    Command(CommandId::Rotate90Cw);
    EXPECT_EQ(doc->image.width, 300);
    EXPECT_EQ(View(doc)->PictureSize().width(), static_cast<int>(300 * View(doc)->Zoom()));
    Command(CommandId::FlipVertical);
    Command(CommandId::Rotate90Ccw);
    EXPECT_EQ(doc->image.width, 400);
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(CommandId::Depth12)->isChecked());
    EXPECT_TRUE(frame->Action(CommandId::Depth16)->isEnabled());
    Command(CommandId::Depth16);
    EXPECT_EQ(doc->image.depth, 16);
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(CommandId::Depth16)->isChecked());
    EXPECT_FALSE(frame->Action(CommandId::Depth12)->isChecked());
    Command(CommandId::WindowNew);
    EXPECT_EQ(app.Documents().size(), 2u);
}

TEST_F(MainFrameTest, SplitterShowsTheDescriptionBesideThePicture) {
    app.fitMode = 1;  // the frame hugs the picture at 100 %
    CVistrelDoc* doc = OpenRamp(300, 200);
    ASSERT_NE(doc, nullptr);
    doc->description = "first line\nsecond line";
    CSplitterFrame* child = frame->FrameOf(doc);
    const int widthBefore = child->width();
    frame->Action(CommandId::WindowSplit)->trigger();
    ASSERT_TRUE(child->DescriptionShown());
    EXPECT_EQ(child->DescriptionPane()->toPlainText(), "first line\nsecond line");
    EXPECT_TRUE(child->DescriptionPane()->isReadOnly());
    const QList<int> sizes = child->Splitter()->sizes();
    ASSERT_EQ(sizes.size(), 2);
    EXPECT_EQ(sizes[0], 300 + 2);
    EXPECT_GE(sizes[1], 200);
    EXPECT_GT(child->width(), widthBefore) << "the frame widens when there is room";

    // A new comment shows at once.
    doc->description += "\nthird";
    doc->UpdateAllViews(kUpdateDescription);
    EXPECT_TRUE(child->DescriptionPane()->toPlainText().endsWith("third"));
    frame->Action(CommandId::WindowSplit)->trigger();
    EXPECT_FALSE(child->DescriptionShown());
}

TEST_F(MainFrameTest, DescriptionPaneShowsTheDisplayLinesAboveTheDescription) {
    CVistrelDoc* doc = OpenRamp(300, 200);
    ASSERT_NE(doc, nullptr);
    doc->photometric = "MONOCHROME1";
    doc->description = "stored comment";
    CSplitterFrame* child = frame->FrameOf(doc);
    frame->Action(CommandId::WindowSplit)->trigger();
    ASSERT_TRUE(child->DescriptionShown());
    const QString shown = child->DescriptionPane()->toPlainText();
    EXPECT_TRUE(shown.startsWith("Photometric interpretation: MONOCHROME1\n"))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains("Dicom Reading Options...")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("stored comment"));
    doc->description += "\nadded";
    doc->UpdateAllViews(kUpdateDescription);
    EXPECT_EQ(child->DescriptionPane()->toPlainText().toStdString(), doc->DisplayDescription());
    EXPECT_EQ(doc->description, "stored comment\nadded") << "display lines are not stored";
}

TEST_F(MainFrameTest, PlugInMenuRunsTheShippedPlugInOnTheActiveDocument) {
    CPlugInManager manager;
    manager.ScanPlugIns(std::string(VISTREL_BIN_DIR) + "/plugins");
    if (manager.ImagePlugIns().empty()) GTEST_SKIP() << "no image plug-in built beside the tests";
    QMenu* menu = frame->BuildPlugInMenu(manager);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), "Pl&ugIns");
    const QList<QAction*> top = frame->menuBar()->actions();
    EXPECT_EQ(top.indexOf(menu->menuAction()), 8);
    ASSERT_EQ(menu->actions().size(), static_cast<int>(manager.ImagePlugIns().size()));

    // Without a document the item does nothing.
    menu->actions().front()->trigger();
    EXPECT_TRUE(app.Documents().empty());
    CVistrelDoc* doc = OpenRamp(64, 48);
    ASSERT_NE(doc, nullptr);
    menu->actions().front()->trigger();
    ASSERT_EQ(app.Documents().size(), 2u) << "the plug-in's image opens as a new document";
    EXPECT_EQ(app.Documents().back()->image.width, 64);
    manager.Clear();
}

TEST_F(MainFrameTest, OpenAsksWithThePreviewDialogAndOpensTheChosenFiles) {
    const std::string first = WriteRamp("first.pgx", 60, 40);
    const std::string second = WriteRamp("second.pgx", 30, 20);
    bool previewDialog = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CPreviewFileDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;
        previewDialog = true;
        dialog->reject();
    });
    frame->Action(CommandId::FileOpen)->trigger();
    EXPECT_TRUE(previewDialog);
    EXPECT_TRUE(app.Documents().empty()) << "Cancel opens nothing";

    std::vector<std::string> paths;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CPreviewFileDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;
        dialog->setDirectory(dir.path());
        dialog->selectFile("\"first.pgx\" \"second.pgx\"");
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_TRUE(frame->PickOpenFiles(first, ParseFilterList(kOpenFilterList), paths));
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_NE(std::find(paths.begin(), paths.end(), second), paths.end());
}

TEST_F(MainFrameTest, DicomReadingOptionsStartOnTheCurrentChoiceAndOkStoresIt) {
    SetDicomReadingOption(0);
    int shownWith = -1;
    QTimer::singleShot(0, [&shownWith] {
        auto* dialog = qobject_cast<CRadioGroupDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;
        shownWith = dialog->Selected();
        dialog->Select(1);
        dialog->accept();
    });
    frame->Action(CommandId::DicomReadingOptions)->trigger();
    EXPECT_EQ(shownWith, 0);
    EXPECT_EQ(DicomReadingOption(), 1);

    QTimer::singleShot(0, [&shownWith] {
        auto* dialog = qobject_cast<CRadioGroupDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;
        shownWith = dialog->Selected();
        dialog->Select(0);
        dialog->reject();
    });
    frame->Action(CommandId::DicomReadingOptions)->trigger();
    EXPECT_EQ(shownWith, 1);
    EXPECT_EQ(DicomReadingOption(), 1) << "Cancel keeps the option";
    SetDicomReadingOption(0);
}

TEST_F(MainFrameTest, MaximisedWindowStaysMaximisedWhenAnotherDocumentOpens) {
    CVistrelDoc* first = OpenRamp(300, 200);
    ASSERT_NE(first, nullptr);
    CSplitterFrame* firstFrame = frame->FrameOf(first);
    firstFrame->showMaximized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(firstFrame->isMaximized());

    CVistrelDoc* second = app.OpenDocumentFile(WriteRamp("second.pgx", 200, 150));
    ASSERT_NE(second, nullptr);
    QCoreApplication::processEvents();
    CSplitterFrame* secondFrame = frame->FrameOf(second);
    ASSERT_NE(secondFrame, nullptr);
    EXPECT_EQ(frame->MdiArea()->activeSubWindow(), secondFrame);
    EXPECT_EQ(app.ActiveDocument(), second);
    EXPECT_TRUE(secondFrame->isMaximized()) << "the new window takes over the maximised state";
    EXPECT_EQ(secondFrame->geometry(), frame->MdiArea()->viewport()->rect());
    EXPECT_FALSE(firstFrame->isMaximized()) << "only one window is maximised at a time";

    // Fitting the zoom inside a maximised window leaves the window as it is.
    frame->Action(CommandId::ZoomToFit)->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(secondFrame->isMaximized());
    EXPECT_EQ(secondFrame->geometry(), frame->MdiArea()->viewport()->rect());

    // Closing the window the user sees closes its own document.
    frame->MdiArea()->activeSubWindow()->close();
    QCoreApplication::processEvents();
    ASSERT_EQ(app.Documents().size(), 1u);
    EXPECT_EQ(app.Documents()[0].get(), first);
    EXPECT_EQ(frame->MdiArea()->activeSubWindow(), firstFrame);
    EXPECT_EQ(app.ActiveDocument(), first);
}

// The numbered entries of the "&Window" menu as it opens: text, checked.
std::vector<std::pair<std::string, bool>> ListedWindows(CMainFrame& frame,
                                                        QAction** more = nullptr) {
    emit frame.WindowMenu()->aboutToShow();
    std::vector<std::pair<std::string, bool>> listed;
    if (more) *more = nullptr;
    for (QAction* action : frame.WindowMenu()->actions()) {
        const QString text = action->text();
        if (text.size() > 2 && text[0] == '&' && text[1].isDigit())
            listed.emplace_back(text.toStdString(), action->isChecked());
        if (more && text == "&More Windows...") *more = action;
    }
    return listed;
}

QAction* ListedWindowAction(CMainFrame& frame, int number) {
    const QString prefix = QString("&%1 ").arg(number);
    for (QAction* action : frame.WindowMenu()->actions())
        if (action->text().startsWith(prefix)) return action;
    return nullptr;
}

TEST_F(MainFrameTest, WindowMenuListsTheOpenWindowsAndActivatesTheChosenOne) {
    std::vector<CVistrelDoc*> docs;
    for (const char* name : {"a.pgx", "b.pgx", "c.pgx"})
        docs.push_back(app.OpenDocumentFile(WriteRamp(name, 80, 60)));
    for (CVistrelDoc* doc : docs) ASSERT_NE(doc, nullptr);
    const auto title = [&](int i) { return frame->FrameOf(docs[i])->windowTitle().toStdString(); };
    using Listed = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(
        ListedWindows(*frame),
        (Listed{{"&1 " + title(0), false}, {"&2 " + title(1), false}, {"&3 " + title(2), true}}));

    QAction* first = ListedWindowAction(*frame, 1);
    ASSERT_NE(first, nullptr);
    first->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->ActiveFrame(), frame->FrameOf(docs[0]));
    EXPECT_EQ(app.ActiveDocument(), docs[0]);
    EXPECT_EQ(
        ListedWindows(*frame),
        (Listed{{"&1 " + title(0), true}, {"&2 " + title(1), false}, {"&3 " + title(2), false}}));

    // A minimised window comes back when chosen; a closed one leaves the list.
    frame->FrameOf(docs[2])->showMinimized();
    frame->FrameOf(docs[1])->close();
    QCoreApplication::processEvents();
    const Listed left = ListedWindows(*frame);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[1].first, "&2 " + title(2));
    ListedWindowAction(*frame, 2)->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(app.ActiveDocument(), docs[2]);
    EXPECT_FALSE(frame->FrameOf(docs[2])->isMinimized());

    frame->Action(CommandId::CloseAll)->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(ListedWindows(*frame).empty());
}

TEST_F(MainFrameTest, WindowMenuListsNineWindowsAndOffersTheRestInADialog) {
    std::vector<CVistrelDoc*> docs;
    for (int i = 0; i < 11; ++i) {
        docs.push_back(app.OpenDocumentFile(WriteRamp("w" + std::to_string(i) + ".pgx", 40, 30)));
        ASSERT_NE(docs.back(), nullptr);
    }
    QAction* more = nullptr;
    const auto listed = ListedWindows(*frame, &more);
    ASSERT_EQ(listed.size(), 9u);
    EXPECT_EQ(listed[8].first, "&9 " + frame->FrameOf(docs[8])->windowTitle().toStdString());
    ASSERT_NE(more, nullptr);

    const QString wanted = frame->FrameOf(docs[9])->windowTitle();
    QStringList offered;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        offered = dialog->comboBoxItems();
        dialog->setTextValue(wanted);
        dialog->accept();
    });
    more->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(offered.size(), 11);
    EXPECT_EQ(app.ActiveDocument(), docs[9]);
}

TEST_F(MainFrameTest, MainWindowFirstFillsTheAvailableScreenThenKeepsItsRememberedSize) {
    frame->close();
    frame.reset();
    QSettings(QStringLiteral("Korvel"), QStringLiteral("Vistrel")).remove("MainFrame");
    frame = std::make_unique<CMainFrame>(app);
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    QCoreApplication::processEvents();
    const QRect available = frame->screen()->availableGeometry();
    EXPECT_EQ(frame->frameGeometry(), available);

    frame->setGeometry(QRect(QPoint(20, 30), QSize(640, 480)));
    const QRect chosen = frame->geometry();
    frame->close();
    frame = std::make_unique<CMainFrame>(app);
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->geometry(), chosen);
}

}  // namespace
}  // namespace vistrel
