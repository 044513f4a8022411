#include "shell/vistrel_view.h"

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include "regions/region.h"
#include "shell/window_width_values.h"
#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;
using testing::SendMouse;

TEST_F(MainFrameTest, ZoomCommandsChangeTitleAndPictureSize) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    CSplitterFrame* child = frame->FrameOf(doc);
    struct Step {
        CommandId command;
        const char* percent;
        int width, height;
    } steps[] = {
        {CommandId::ActualPixels, "100.0", 400, 300}, {CommandId::ZoomIn, "125.0", 500, 375},
        {CommandId::ZoomOut, "100.0", 400, 300},      {CommandId::ZoomOut, "75.0", 300, 225},
        {CommandId::ZoomOut, "50.0", 200, 150},       {CommandId::ZoomOut, "25.0", 100, 75},
        {CommandId::ZoomOut, "25.0", 100, 75},  // zooming out from 25 % does nothing
        {CommandId::ZoomIn, "50.0", 200, 150},        {CommandId::ActualPixels, "100.0", 400, 300},
    };
    for (const Step& step : steps) {
        frame->Action(step.command)->trigger();
        const QString expected = QString("ramp.pgx @ %1 % : 1").arg(step.percent);
        EXPECT_EQ(child->windowTitle(), expected);
        EXPECT_EQ(view->PictureSize(), QSize(step.width, step.height)) << step.percent;
    }
}

TEST_F(MainFrameTest, ZoomToFitFillsTheClientAreaAndTheFrameHugsIt) {
    CVistrelDoc* doc = OpenRamp(2000, 500);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    frame->Action(CommandId::ZoomIn)->trigger();
    EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);
    frame->Action(CommandId::ZoomToFit)->trigger();
    EXPECT_LT(view->Zoom(), 1.0f);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 0);
    EXPECT_LE(view->PictureSize().width(), view->viewport()->width());
    // The picture keeps the image's proportions.
    EXPECT_NEAR(view->PictureSize().width() / double(view->PictureSize().height()), 4.0, 0.05);
}

TEST_F(MainFrameTest, PictureWrapsTheRenderedBitmap) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    const CDisplayBitmap* bitmap = view->DisplayBitmap();
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->depth, 8);
    EXPECT_EQ(view->DisplayImage().constBits(), bitmap->bits.data());  // not a copy
    // Bit window on the top 8 of 12 bits: sample >> 4 in the grey ramp.
    const int x = 200;
    const int sample = x * 4095 / 399;
    EXPECT_EQ(qGray(view->DisplayImage().pixel(x, 10)), sample >> 4);
}

TEST_F(MainFrameTest, NarrowValueWindowsPaintOneAndFourBitPictures) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    frame->Action(CommandId::WindowValues)->trigger();
    struct Case {
        int32_t low, high;
        int depth;
    } cases[] = {{2000, 2000, 1}, {2000, 2015, 4}, {2000, 3000, 8}};
    for (const Case& c : cases) {
        doc->SetWindowValues(c.low, c.high);
        doc->UpdateAllViews(kUpdateDisplay);
        ASSERT_NE(view->DisplayBitmap(), nullptr);
        EXPECT_EQ(view->DisplayBitmap()->depth, c.depth) << c.low << ".." << c.high;
        const QImage& picture = view->DisplayImage();
        EXPECT_EQ(qGray(picture.pixel(0, 5)), 0) << c.low << ".." << c.high;
        EXPECT_EQ(qGray(picture.pixel(399, 5)), 255) << c.low << ".." << c.high;
    }
}

// ---------------------------------------------------------------- overlay

// The viewport as painted, and the colour of image pixel (x, y) at the view's zoom
// (the centre of its zoomed square; the view is not scrolled).
QColor PaintedAt(CVistrelView* view, int x, int y) {
    const QImage painted = view->viewport()->grab().toImage();
    const double z = view->Zoom();
    return painted.pixelColor(static_cast<int>((x + 0.5) * z), static_cast<int>((y + 0.5) * z));
}

TEST_F(MainFrameTest, OverlayDrawsRegionsAndRosOverTheImageAtTheZoom) {
    CVistrelDoc* doc = OpenRamp(200, 150);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    view->SetZoom(2.0f);
    const CRegion region({{20, 20}, {60, 20}, {60, 50}, {20, 50}}, CRegion::PointsMode::Polygon);
    const CRegion ros({{100, 30}, {130, 30}, {130, 70}, {100, 70}}, CRegion::PointsMode::Polygon);
    // Points on each outline (corners and edge middles) and one inside each.
    const std::vector<std::pair<int, int>> regionOutline = {{20, 20}, {40, 20}, {60, 35}, {20, 50}};
    const std::vector<std::pair<int, int>> rosOutline = {{100, 30}, {115, 70}, {130, 50}};
    const QColor plainRegion = PaintedAt(view, 40, 20);
    const QColor plainRos = PaintedAt(view, 115, 70);
    const QColor insideBefore = PaintedAt(view, 40, 35);

    doc->regions.Add(region);
    doc->rosRegions.Add(ros);
    doc->UpdateAllViews(kUpdateAnnotations);
    for (auto [x, y] : regionOutline)
        EXPECT_EQ(PaintedAt(view, x, y), kRegionOutlineColour) << x << "," << y;
    for (auto [x, y] : rosOutline)
        EXPECT_EQ(PaintedAt(view, x, y), kRosOutlineColour) << x << "," << y;
    EXPECT_EQ(PaintedAt(view, 40, 35), insideBefore);  // outlines only, no fill

    // Each toggle hides its own collection only.
    frame->OnCommand(static_cast<int>(CommandId::ShowRegions));
    EXPECT_FALSE(app.showRegions);
    EXPECT_EQ(PaintedAt(view, 40, 20), plainRegion);
    EXPECT_EQ(PaintedAt(view, 115, 70), kRosOutlineColour);
    frame->OnCommand(static_cast<int>(CommandId::ShowRos));
    EXPECT_FALSE(app.showRos);
    EXPECT_EQ(PaintedAt(view, 115, 70), plainRos);
    EXPECT_EQ(view->OverlayShapeCount(), 0);
}

TEST_F(MainFrameTest, UserDiagnosesColourOutlinesByDiagnosis) {
    CVistrelDoc* doc = OpenRamp(200, 150);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    struct Case {
        int left;
        int16_t diagnosis;
    } cases[] = {{10, 0}, {60, 1}, {110, 2}};
    for (const Case& c : cases) {
        CRegion region({{c.left, 40}, {c.left + 30, 40}, {c.left + 30, 80}, {c.left, 80}},
                       CRegion::PointsMode::Polygon);
        region.diagnosis = c.diagnosis;
        doc->regions.Add(region);
    }
    frame->OnCommand(static_cast<int>(CommandId::UserDiagnoses));
    ASSERT_TRUE(app.showUserDiagnoses);
    for (const Case& c : cases) {
        EXPECT_EQ(PaintedAt(view, c.left + 15, 40), DiagnosisColour(c.diagnosis)) << c.diagnosis;
        EXPECT_EQ(DiagnosisLetter(c.diagnosis), QString("BMF").mid(c.diagnosis, 1));
    }
    // The diagnosis command of the selected region repaints it in its new colour.
    doc->regions.Select(0);
    frame->OnCommand(static_cast<int>(CommandId::RegionMalignant));
    EXPECT_EQ(doc->regions.At(0)->diagnosis, 1);
    EXPECT_EQ(PaintedAt(view, 25, 40), DiagnosisColour(1));
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(CommandId::RegionMalignant)->isChecked());
    EXPECT_FALSE(frame->Action(CommandId::RegionBenign)->isChecked());
}

TEST_F(MainFrameTest, AnnotationCommandsReachTheActiveDocument) {
    CVistrelDoc* doc = OpenRamp(200, 150);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    doc->regions.Add(
        CRegion({{10, 10}, {20, 10}, {20, 20}, {10, 20}}, CRegion::PointsMode::Polygon));
    doc->regions.Add(
        CRegion({{50, 50}, {70, 50}, {70, 60}, {50, 60}}, CRegion::PointsMode::Polygon));
    frame->UpdateCommandStates();
    EXPECT_FALSE(frame->Action(CommandId::RemoveRegionsInsideRoi)->isEnabled());  // no ROI
    view->SetRoi({0, 0, 30, 30});
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(CommandId::RemoveRegionsInsideRoi)->isEnabled());
    frame->Action(CommandId::RemoveRegionsInsideRoi)->trigger();
    ASSERT_EQ(doc->regions.Count(), 1);
    EXPECT_EQ(doc->regions.At(0)->StartX(), 50);
    frame->Action(CommandId::SetAllBenign)->trigger();
    EXPECT_EQ(doc->regions.At(0)->diagnosis, 0);
    frame->Action(CommandId::RemoveAllRegions)->trigger();
    EXPECT_TRUE(doc->regions.IsEmpty());
    EXPECT_EQ(view->OverlayShapeCount(), 0);
}

// ---------------------------------------------------------------- mouse modes

TEST_F(MainFrameTest, RoiIsDraggedOutMovedInsideTheImageAndReportedInPaneThree) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    Command(CommandId::MouseRoi);
    DragImage(view, {{10, 20}, {60, 40}, {110, 70}});
    EXPECT_EQ(view->Roi(), (CRect{10, 20, 110, 70}));
    EXPECT_EQ(Pane(3), " ROI width: 100 height:  50");

    // Dragging from inside moves it and keeps its size.
    DragImage(view, {{50, 50}, {70, 52}, {80, 55}});
    EXPECT_EQ(view->Roi(), (CRect{40, 25, 140, 75}));
    // It cannot be pushed off the image.
    DragImage(view, {{50, 50}, {390, 290}});
    EXPECT_EQ(view->Roi(), (CRect{300, 250, 400, 300}));
    // Dragged out backwards, the rectangle is still normalised and clipped.
    DragImage(view, {{100, 100}, {50, 80}, {-20, -30}});
    EXPECT_EQ(view->Roi(), (CRect{0, 0, 100, 100}));
    // A click outside the ROI clears it.
    DragImage(view, {{200, 250}});
    EXPECT_TRUE(view->Roi().IsEmpty());
    EXPECT_EQ(Pane(3), "");
}

TEST_F(MainFrameTest, SrdmRoiIsA512SquareCentredOnTheClickAndKeptOnTheImage) {
    CVistrelDoc* doc = app.OpenDocumentFile(WriteRamp("big.pgx", 1024, 1024));
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    view->OnActualPixels();
    Command(CommandId::MouseSrdmRoi);
    struct Case {
        QPoint click;
        CRect roi;
    } cases[] = {
        {{300, 300}, {44, 44, 556, 556}},
        {{10, 600}, {0, 344, 512, 856}},  // pushed right to stay on the image
    };
    for (const Case& c : cases) {
        view->OnDeselectRoi();
        DragImage(view, {c.click});
        EXPECT_EQ(view->Roi(), c.roi) << c.click.x() << "," << c.click.y();
    }
    EXPECT_EQ(Pane(3), " ROI width: 512 height: 512");
    // Dragging inside moves the square.
    DragImage(view, {{100, 400}, {150, 420}});
    EXPECT_EQ(view->Roi(), (CRect{50, 364, 562, 876}));

    // The ROI opens in a new window as a 512 x 512 image.
    Command(CommandId::OpenRoiInNewWindow);
    ASSERT_EQ(app.Documents().size(), 2u);
    const CVistrelDoc* cut = app.Documents().back().get();
    EXPECT_EQ(cut->image.width, 512);
    EXPECT_EQ(cut->image.height, 512);
    EXPECT_EQ(cut->originX, 50);
    EXPECT_EQ(static_cast<uint16_t>(cut->image.GetPixel(0, 0)), 50 * 4095 / 1023);
}

TEST_F(MainFrameTest, SrdmRoiOnASmallImageIsClippedToIt) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    Command(CommandId::MouseSrdmRoi);
    DragImage(View(doc), {{200, 150}});
    EXPECT_EQ(View(doc)->Roi(), (CRect{0, 0, 400, 300}));
}

TEST_F(MainFrameTest, RulerShowsItsLengthInMillimetresAtAnyZoom) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    doc->resolution = 254.0f;  // 10 pixels per millimetre
    doc->resolutionSource = EResolutionSource::User;
    Command(CommandId::MouseRuler);
    DragImage(view, {{10, 10}, {100, 100}, {310, 410 - 200}});
    // (300, 200) pixels: 360.55 pixels = 36.06 mm
    EXPECT_EQ(Pane(3), " Ruler: 36.06 mm");
    EXPECT_NEAR(view->RulerLength(), 36.0555, 1e-3);

    view->SetZoom(2.0f);
    DragImage(view, {{0, 0}, {30, 40}});
    EXPECT_EQ(Pane(3), " Ruler: 5.00 mm");
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(CommandId::Measure)->isEnabled());

    // A click draws no line: the text goes.
    DragImage(view, {{50, 50}});
    EXPECT_EQ(Pane(3), "");
    frame->UpdateCommandStates();
    EXPECT_FALSE(frame->Action(CommandId::Measure)->isEnabled());
}

TEST_F(MainFrameTest, RulerGreyLevelsFollowTheLineAndMeasureReportsItsLength) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    doc->resolution = 254.0f;
    doc->resolutionSource = EResolutionSource::User;
    // Along a row of the ramp the levels climb from the first column to the last.
    view->SetRuler({0.5, 5.5}, {399.5, 5.5});
    const std::vector<int> levels = view->RulerLevels();
    ASSERT_EQ(levels.size(), 400u);
    EXPECT_EQ(levels.front(), 0);
    EXPECT_EQ(levels[200], 200 * 4095 / 399);
    EXPECT_EQ(levels.back(), 4095);
    // Down a column every level is the same; a line leaving the image keeps its inside part.
    view->SetRuler({100.5, 0.5}, {100.5, 299.5});
    for (int level : view->RulerLevels()) ASSERT_EQ(level, 100 * 4095 / 399);
    view->SetRuler({390.5, 10.5}, {420.5, 10.5});
    EXPECT_EQ(view->RulerLevels().size(), 10u);

    view->SetRuler({0, 0}, {30, 40});
    Command(CommandId::Measure);
    ASSERT_FALSE(sink.shown.empty());
    EXPECT_EQ(sink.shown.back(), "Ruler: 5.00 mm");
}

TEST_F(MainFrameTest, OnlyTheFocusedViewWritesTheRulerText) {
    CVistrelDoc* first = OpenRamp(400, 300);
    ASSERT_NE(first, nullptr);
    CVistrelDoc* second = app.OpenDocumentFile(WriteRamp("second.pgx", 200, 200));
    ASSERT_NE(second, nullptr);
    Command(CommandId::MouseRuler);
    DragImage(View(second), {{0, 0}, {100, 0}});
    ASSERT_TRUE(View(second)->hasFocus());
    const QString shown = Pane(3);
    EXPECT_FALSE(shown.isEmpty());
    View(first)->SetRuler({0, 0}, {50, 0});
    EXPECT_EQ(Pane(3), shown);
}

TEST_F(MainFrameTest, DrawnOutlineBecomesARegionOfSuspiciousness) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    frame->OnCommand(static_cast<int>(CommandId::ShowRos));
    ASSERT_FALSE(app.showRos);
    Command(CommandId::MouseDrawRos);
    EXPECT_TRUE(app.showRos) << "drawing ROS shows them";
    frame->UpdateCommandStates();
    EXPECT_FALSE(frame->Action(CommandId::ShowRos)->isEnabled());

    DragImage(view, {{20, 20}, {50, 20}, {80, 20}, {80, 60}, {20, 60}});
    ASSERT_EQ(doc->rosRegions.Count(), 1);
    const CRegion* ros = doc->rosRegions.At(0);
    EXPECT_TRUE(ros->Contains(50, 40));
    EXPECT_FALSE(ros->Contains(90, 40));
    EXPECT_EQ(ros->Bounds().left, 20);
    EXPECT_EQ(ros->Bounds().top, 20);
    EXPECT_EQ(view->OverlayShapeCount(), 1);

    // A click encloses nothing.
    DragImage(view, {{200, 200}});
    EXPECT_EQ(doc->rosRegions.Count(), 1);
}

TEST_F(MainFrameTest, WindowLevelDragWidensAndMovesTheValueWindow) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    frame->Action(CommandId::WindowValues)->trigger();
    ASSERT_TRUE(app.ValueWindowMode());
    doc->SetWindowValues(1000, 2000);
    Command(CommandId::MouseWinLev);
    DragImage(view, {{100, 100}, {150, 100}, {200, 100}});
    EXPECT_LT(doc->windowLow, 1000);
    EXPECT_GT(doc->windowHigh, 2000);
    EXPECT_EQ(doc->windowLow + doc->windowHigh, 3000) << "level unchanged";
    EXPECT_EQ(frame->ValuesBar()->Model().Low(), doc->windowLow);
    EXPECT_EQ(frame->ValuesBar()->Model().High(), doc->windowHigh);

    const int32_t width = doc->windowHigh - doc->windowLow;
    DragImage(view, {{100, 100}, {100, 150}});
    EXPECT_EQ(doc->windowHigh - doc->windowLow, width);
    EXPECT_GT(doc->windowLow + doc->windowHigh, 3000) << "down raises the level";
}

TEST_F(MainFrameTest, WindowLevelDragFromTheBitWindowStartsFromThePictureOnScreen) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    ASSERT_FALSE(app.ValueWindowMode());
    // A stored value window the user does not see must not be where the drag begins.
    doc->SetWindowValues(1000, 2000);
    const CWindowRange onScreen =
        BitWindowAsValueWindow(doc->image, doc->displayShift, doc->displayDepth);
    ASSERT_NE(onScreen.low + onScreen.high, 3000);
    Command(CommandId::MouseWinLev);
    DragImage(view, {{100, 100}, {101, 100}});
    EXPECT_TRUE(app.ValueWindowMode()) << "dragging shows the value window";
    EXPECT_TRUE(frame->Action(CommandId::WindowValues)->isChecked());
    EXPECT_NEAR(doc->windowLow, onScreen.low, 20);
    EXPECT_NEAR(doc->windowHigh, onScreen.high, 20);
    EXPECT_EQ(frame->ValuesBar()->Model().Low(), doc->windowLow);
}

TEST_F(MainFrameTest, MouseMovesWriteCursorAndValuePanes) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    view->SetZoom(2.0f);
    SendMouse(view->viewport(), QEvent::MouseMove, view->ViewportPoint({123, 45}), Qt::NoButton,
              Qt::NoButton);
    EXPECT_EQ(Pane(1), "Cursor position x: 123 y:  45");
    EXPECT_EQ(Pane(2), QString::asprintf("Value:%5d", 123 * 4095 / 399));
}

// ---------------------------------------------------------------- context menus

TEST_F(MainFrameTest, RightClickPicksTheMenuOfTheObjectUnderTheCursor) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    CRegion object({{20, 20}, {40, 20}, {40, 40}, {20, 40}}, CRegion::PointsMode::Polygon);
    CRegion cluster({{100, 100}, {200, 100}, {200, 200}, {100, 200}}, CRegion::PointsMode::Polygon);
    cluster.type = 'c';
    cluster.clusterNumber = 1001;
    CRegion member({{140, 140}, {150, 140}, {150, 150}, {140, 150}}, CRegion::PointsMode::Polygon);
    member.clusterNumber = 1;
    CRegion ros({{300, 50}, {350, 50}, {350, 90}, {300, 90}}, CRegion::PointsMode::Polygon);
    doc->regions.Add(object);
    doc->regions.Add(cluster);
    doc->regions.Add(member);

    struct Case {
        const char* what;
        int mode;
        bool showRegions;
        bool withRos;
        QPoint at;
        int menu;
        int regionSelected;  // -1: selection not checked
        int rosSelected;
    } cases[] = {
        {"object", kMouseRoi, true, false, {30, 30}, kMenuRegion, 0, -1},
        {"cluster outline", kMouseRoi, true, false, {120, 120}, kMenuCluster, 1, -1},
        {"member inside the cluster", kMouseRoi, true, false, {145, 145}, kMenuRegion, 2, -1},
        {"no region hit", kMouseRoi, true, false, {300, 250}, kMenuRegions, -1, -1},
        {"regions hidden", kMouseRoi, false, false, {30, 30}, kMenuNone, -1, -1},
        {"ruler mode without ruler", kMouseRuler, true, false, {30, 30}, kMenuRegion, 0, -1},
        {"draw mode, ROS hit", kMouseDrawRos, false, true, {320, 70}, kMenuRos, -1, 0},
        {"draw mode, no ROS hit", kMouseDrawRos, false, true, {30, 30}, kMenuRosList, -1, -1},
        {"draw mode, no ROS: regions", kMouseDrawRos, false, false, {30, 30}, kMenuRegion, 0, -1},
        {"win/lev, regions hidden", kMouseWinLev, false, true, {30, 30}, kMenuNone, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        app.mouseMode = c.mode;
        app.showRegions = c.showRegions;
        doc->rosRegions.RemoveAll();
        if (c.withRos) doc->rosRegions.Add(ros);
        doc->regions.Select(-1);
        EXPECT_EQ(view->ContextMenuAt(view->ViewportPoint(c.at)), c.menu);
        if (c.regionSelected >= 0) {
            EXPECT_EQ(doc->regions.Selected(), c.regionSelected);
        }
        if (c.rosSelected >= 0) {
            EXPECT_EQ(doc->rosRegions.Selected(), c.rosSelected);
        }
    }

    // A ROI or a ruler takes precedence in their modes.
    app.showRegions = true;
    app.mouseMode = kMouseRoi;
    view->SetRoi({0, 0, 50, 50});
    EXPECT_EQ(view->ContextMenuAt(view->ViewportPoint({300, 250})), kMenuRoi);
    app.mouseMode = kMouseSrdmRoi;
    EXPECT_EQ(view->ContextMenuAt(view->ViewportPoint({300, 250})), kMenuRoi);
    app.mouseMode = kMouseRuler;
    view->SetRuler({0, 0}, {10, 0});
    EXPECT_EQ(view->ContextMenuAt(view->ViewportPoint({30, 30})), kMenuRuler);
}

TEST_F(MainFrameTest, RightClickShowsTheMenuForTheRegionUnderTheCursor) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    view->SetZoom(2.0f);
    doc->regions.Add(
        CRegion({{100, 100}, {110, 100}, {110, 110}, {100, 110}}, CRegion::PointsMode::Polygon));
    doc->regions.Add(
        CRegion({{20, 20}, {30, 20}, {30, 30}, {20, 30}}, CRegion::PointsMode::Polygon));
    QWidget* shown = nullptr;
    QTimer::singleShot(0, [&shown] {
        shown = QApplication::activePopupWidget();
        if (shown) shown->close();
    });
    // The first screen pixel of image pixel (20, 25): the region's left edge.
    const QPoint at(40, 50);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &event);
    EXPECT_EQ(doc->regions.Selected(), 1);
    EXPECT_EQ(shown, frame->ContextMenu(kMenuRegion));
}

QStringList MenuTexts(const QMenu* menu) {
    QStringList texts;
    if (!menu) return texts;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator()) texts << action->text();
    return texts;
}

TEST_F(MainFrameTest, ContextMenusCarryTheirCommands) {
    struct Case {
        int id;
        QStringList texts;
    } cases[] = {
        {kMenuRoi,
         {"&Crop ROI", "&Open ROI in New Window", "&Deselect ROI", "Set Regions Inside ROI",
          "&Compute SRDM", "Compute &GLCM", "&Remove Regions Inside ROI",
          "&Put Texture Next To ROI"}},
        {kMenuRuler, {"Ruler Gray-Levels", "Measure"}},
        {kMenuRos, {"&Benign", "&Malignant", "&False", "Remove &ROS", "Remove &All ROSes"}},
        {kMenuRosList, {"Remove &All ROSes"}},
        {kMenuCluster,
         {"&Benign", "&Malignant", "&False", "&Remove Cluster",
          "Remove Cluster && Inside &Objects", "Show &Features",
          "Features of Regions as a &Cluster", "Mean Features of Regions in C&luster",
          "Save Cluster && Its Region Features...", "&Save Region Features..."}},
    };
    for (const Case& c : cases) EXPECT_EQ(MenuTexts(frame->ContextMenu(c.id)), c.texts) << c.id;
    EXPECT_TRUE(MenuTexts(frame->ContextMenu(kMenuRegion)).startsWith("&Benign"));
    EXPECT_TRUE(MenuTexts(frame->ContextMenu(kMenuRegions)).contains("&Remove All Regions"));
}

TEST_F(MainFrameTest, RoiMenuCommandsActOnTheSelection) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    doc->regions.Add(
        CRegion({{20, 20}, {30, 20}, {30, 30}, {20, 30}}, CRegion::PointsMode::Polygon));
    doc->regions.Add(
        CRegion({{200, 200}, {210, 200}, {210, 210}, {200, 210}}, CRegion::PointsMode::Polygon));
    view->SetRoi({10, 10, 100, 100});
    Command(CommandId::RoiRegionsMalignant);
    EXPECT_EQ(doc->regions.At(0)->diagnosis, 1);
    EXPECT_NE(doc->regions.At(1)->diagnosis, 1);

    Command(CommandId::CropRoi);
    EXPECT_EQ(doc->image.width, 90);
    EXPECT_EQ(doc->image.height, 90);
    EXPECT_EQ(doc->regions.Count(), 1);
    EXPECT_TRUE(view->Roi().IsEmpty()) << "cropping clears the selection";
    EXPECT_EQ(view->PictureSize(), QSize(90, 90));
    frame->UpdateCommandStates();
    EXPECT_FALSE(frame->Action(CommandId::CropRoi)->isEnabled());

    view->SetRoi({0, 0, 10, 10});
    Command(CommandId::DeselectRoi);
    EXPECT_TRUE(view->Roi().IsEmpty());
}

TEST_F(MainFrameTest, ClusterMenuSetsTheDiagnosisOfTheClusterAndItsMembers) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CRegion cluster({{100, 100}, {200, 100}, {200, 200}, {100, 200}}, CRegion::PointsMode::Polygon);
    cluster.type = 'c';
    cluster.clusterNumber = 1001;
    doc->regions.Add(cluster);
    doc->regions.Add(
        CRegion({{140, 140}, {150, 140}, {150, 150}, {140, 150}}, CRegion::PointsMode::Polygon));
    doc->regions.Add(
        CRegion({{20, 20}, {30, 20}, {30, 30}, {20, 30}}, CRegion::PointsMode::Polygon));
    doc->regions.SetDiagnosisOfAll(0);
    ASSERT_EQ(View(doc)->ContextMenuAt(View(doc)->ViewportPoint({120, 120})), kMenuCluster);
    Command(CommandId::ClusterFalse);
    EXPECT_EQ(doc->regions.At(0)->diagnosis, 2);
    EXPECT_EQ(doc->regions.At(1)->diagnosis, 2);
    EXPECT_NE(doc->regions.At(2)->diagnosis, 2);
    Command(CommandId::RemoveClusterAndInside);
    ASSERT_EQ(doc->regions.Count(), 1);
    EXPECT_EQ(doc->regions.At(0)->StartX(), 20);
}

// ---------------------------------------------------------------- fit modes

TEST_F(MainFrameTest, FitModesSizeTheFramesAndZoom) {
    const QSize client = frame->MdiArea()->viewport()->size();
    CVistrelDoc* small = app.OpenDocumentFile(WriteRamp("small.pgx", 200, 150));
    CVistrelDoc* large = app.OpenDocumentFile(WriteRamp("large.pgx", 3000, 1000));
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);

    // Only large images: the small one stays at 100 % in a frame around it.
    Command(CommandId::FitLargeToScreen);
    EXPECT_EQ(app.fitMode, 1);
    EXPECT_FLOAT_EQ(View(small)->Zoom(), 1.0f);
    EXPECT_EQ(View(small)->viewport()->size(), QSize(200, 150));
    EXPECT_LT(View(large)->Zoom(), 1.0f);
    EXPECT_LE(frame->FrameOf(large)->width(), client.width());

    // Every image fitted to the screen: the small one is blown up.
    Command(CommandId::FitScreen);
    EXPECT_GT(View(small)->Zoom(), 1.0f);
    EXPECT_LE(frame->FrameOf(small)->height(), client.height());

    // Case preview: a quarter of the width and half the height.
    Command(CommandId::FitCasePreview);
    EXPECT_EQ(app.childWidth, client.width() / 4);
    EXPECT_EQ(app.childHeight, client.height() / 2);
    for (const CVistrelDoc* doc : {small, large}) {
        EXPECT_LE(frame->FrameOf(doc)->width(), client.width() / 4);
        EXPECT_LE(frame->FrameOf(doc)->height(), client.height() / 2);
    }

    // Current window: the active frame's size becomes the child size.
    frame->FrameOf(large)->resize(500, 400);
    frame->MdiArea()->setActiveSubWindow(frame->FrameOf(large));
    Command(CommandId::FitLargeToWindow);
    EXPECT_EQ(app.childWidth, 500);
    EXPECT_EQ(app.childHeight, 400);
    EXPECT_FLOAT_EQ(View(small)->Zoom(), 1.0f);
    EXPECT_EQ(View(small)->viewport()->size(), QSize(200, 150));
    EXPECT_LE(frame->FrameOf(large)->width(), 500);
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(CommandId::FitLargeToWindow)->isChecked());
    EXPECT_FALSE(frame->Action(CommandId::FitScreen)->isChecked());
}

// ---------------------------------------------------------------- original, printing

TEST_F(MainFrameTest, BackgroundShowsTheOriginalImageOnlyWhenThereIsOne) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    doc->originalImage = CMImage();
    frame->UpdateCommandStates();
    EXPECT_FALSE(frame->Action(CommandId::ShowOriginal)->isEnabled());
    Command(CommandId::ShowOriginal);
    EXPECT_FALSE(view->ShowsOriginal());

    doc->originalImage = CMImage(400, 300, 12);
    doc->originalImage.Clear();  // all black
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(CommandId::ShowOriginal)->isEnabled());
    const int before = qGray(view->DisplayImage().pixel(300, 10));
    Command(CommandId::ShowOriginal);
    EXPECT_TRUE(view->ShowsOriginal());
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Action(CommandId::ShowOriginal)->isChecked());
    EXPECT_GT(before, 0);
    EXPECT_EQ(qGray(view->DisplayImage().pixel(300, 10)), 0);
    Command(CommandId::ShowOriginal);
    EXPECT_EQ(qGray(view->DisplayImage().pixel(300, 10)), before);
}

TEST_F(MainFrameTest, PrintPreviewShowsTheActiveView) {
    ASSERT_NE(OpenRamp(400, 300), nullptr);
    frame->UpdateCommandStates();
    ASSERT_TRUE(frame->Action(CommandId::FilePrintPreview)->isEnabled());
    QString title;
    QTimer::singleShot(0, [&title] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            title = dialog->metaObject()->className();
            dialog->close();
        }
    });
    Command(CommandId::FilePrintPreview);
    EXPECT_EQ(title, "QPrintPreviewDialog");
}

TEST_F(MainFrameTest, PrintingPaintsThePictureOntoThePage) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string pdf = Path("view.pdf");
    printer.setOutputFileName(QString::fromStdString(pdf));
    View(doc)->Print(printer);
    QFile file(QString::fromStdString(pdf));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_TRUE(bytes.contains("/Image")) << "the picture is on the page";
}

class ViewerMovesTest : public MainFrameTest {
  protected:
    // A 2000 x 1500 ramp at 100 %, scrolled away from the top-left corner, so
    // that zooming about the wrong point shows.
    CVistrelView* OpenScrolled(QPoint scroll) {
        doc = OpenRamp(2000, 1500);
        if (!doc) return nullptr;
        CVistrelView* view = View(doc);
        view->horizontalScrollBar()->setValue(scroll.x());
        view->verticalScrollBar()->setValue(scroll.y());
        return view;
    }
    static void Wheel(CVistrelView* view, QPoint at, int angle, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(at), view->viewport()->mapToGlobal(QPointF(at)), QPoint(),
                          QPoint(0, angle), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &event);
    }
    static QPoint Scroll(const CVistrelView* view) {
        return {view->horizontalScrollBar()->value(), view->verticalScrollBar()->value()};
    }
    static QPoint Centre(const CVistrelView* view) { return view->viewport()->rect().center(); }
    CVistrelDoc* doc = nullptr;
};

TEST_F(ViewerMovesTest, CtrlWheelZoomsInStepsKeepingThePointUnderTheCursor) {
    CVistrelView* view = OpenScrolled({300, 250});
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->Zoom(), 1.0f);
    // Well away from the centre, so zooming about the centre would move it.
    const QPoint cursor(120, 90);
    const QPoint under = view->ImagePoint(cursor);
    ASSERT_EQ(under, QPoint(420, 340));
    struct Step {
        int angle;  // eighths of a degree; 120 is one notch
        float zoom;
    } steps[] = {
        {120, 1.25f}, {120, 1.5f},  {-240, 1.0f},  {60, 1.0f},  // half a notch waits for the rest
        {60, 1.25f},  {-120, 1.0f}, {-120, 0.75f},
    };
    for (const Step& step : steps) {
        Wheel(view, cursor, step.angle, Qt::ControlModifier);
        EXPECT_FLOAT_EQ(view->Zoom(), step.zoom) << "after " << step.angle;
        EXPECT_EQ(view->ImagePoint(cursor), under) << "zoom " << step.zoom;
    }
    EXPECT_EQ(doc->Title().toStdString(), "ramp.pgx @ 75.0 % : 1");
}

TEST_F(ViewerMovesTest, CtrlWheelStopsAtTheSmallestStepAndPlainWheelScrolls) {
    CVistrelView* view = OpenScrolled({300, 250});
    ASSERT_NE(view, nullptr);
    for (int i = 0; i < 5; ++i) Wheel(view, {100, 100}, -120, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(view->Zoom(), 0.25f) << "zoom never reaches 0";

    view->OnActualPixels();
    view->verticalScrollBar()->setValue(100);
    const QPoint before = Scroll(view);
    Wheel(view, {100, 100}, -120, Qt::NoModifier);
    EXPECT_FLOAT_EQ(view->Zoom(), 1.0f);
    EXPECT_GT(Scroll(view).y(), before.y()) << "the wheel without Ctrl scrolls down";
}

TEST_F(ViewerMovesTest, ZoomCommandsKeepTheImagePointAtTheCentre) {
    CVistrelView* view = OpenScrolled({300, 250});
    ASSERT_NE(view, nullptr);
    const QPoint centre = view->ImagePoint(Centre(view));
    for (CommandId command : {CommandId::ZoomIn, CommandId::ZoomIn, CommandId::ZoomOut,
                              CommandId::ZoomOut, CommandId::ZoomOut, CommandId::ActualPixels}) {
        Command(command);
        const QPoint now = view->ImagePoint(Centre(view));
        // Pixel rounding of the scroll position may move it by one.
        EXPECT_LE((now - centre).manhattanLength(), 2)
            << "zoom " << view->Zoom() << ": " << now.x() << "," << now.y();
    }
}

TEST_F(ViewerMovesTest, MiddleDragPansInEveryModeAndKeepsTheModesSelections) {
    const struct {
        CommandId mode;
        const char* name;
    } modes[] = {{CommandId::MouseRoi, "ROI"},
                 {CommandId::MouseRuler, "ruler"},
                 {CommandId::MouseDrawRos, "draw ROS"},
                 {CommandId::MouseSrdmRoi, "SRDM ROI"},
                 {CommandId::MouseWinLev, "window/level"}};
    CVistrelView* view = OpenScrolled({300, 250});
    ASSERT_NE(view, nullptr);
    const CRect roi{100, 120, 300, 260};
    for (const auto& mode : modes) {
        Command(mode.mode);
        view->SetRoi(roi);
        view->SetRuler({400.5, 300.5}, {600.5, 450.5});
        doc->SetWindowValues(1000, 2000);
        const int rosBefore = doc->rosRegions.Count();
        view->horizontalScrollBar()->setValue(300);
        view->verticalScrollBar()->setValue(250);

        QWidget* viewport = view->viewport();
        SendMouse(viewport, QEvent::MouseButtonPress, {500, 400}, Qt::MiddleButton,
                  Qt::MiddleButton);
        EXPECT_TRUE(view->Panning()) << mode.name;
        SendMouse(viewport, QEvent::MouseMove, {450, 380}, Qt::NoButton, Qt::MiddleButton);
        SendMouse(viewport, QEvent::MouseMove, {400, 350}, Qt::NoButton, Qt::MiddleButton);
        SendMouse(viewport, QEvent::MouseButtonRelease, {400, 350}, Qt::MiddleButton, Qt::NoButton);
        EXPECT_FALSE(view->Panning()) << mode.name;
        // The picture follows the hand: dragging left and up shows what lay right and below.
        EXPECT_EQ(Scroll(view), QPoint(400, 300)) << mode.name;
        EXPECT_EQ(view->Roi(), roi) << mode.name;
        EXPECT_EQ(view->RulerFrom(), QPointF(400.5, 300.5)) << mode.name;
        EXPECT_EQ(view->RulerTo(), QPointF(600.5, 450.5)) << mode.name;
        EXPECT_EQ(doc->windowLow, 1000) << mode.name;
        EXPECT_EQ(doc->windowHigh, 2000) << mode.name;
        EXPECT_EQ(doc->rosRegions.Count(), rosBefore) << mode.name;
    }
    // The left button still works as its mode says after a pan.
    Command(CommandId::MouseRoi);
    DragImage(view, {{500, 400}, {540, 430}});
    EXPECT_EQ(view->Roi(), (CRect{500, 400, 540, 430}));
}

TEST_F(MainFrameTest, RulerNamesTheDefaultPixelSizeUntilSetResolutionGivesTheRealOne) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    ASSERT_EQ(doc->resolutionSource, EResolutionSource::Default) << "a PGX file without .ics";
    Command(CommandId::MouseRuler);
    DragImage(view, {{10, 20}, {385, 20}});
    EXPECT_EQ(Pane(3).toStdString(), QString::asprintf(" Ruler: %.2f mm (default pixel size)",
                                                       375 * 25.4 / kDefaultResolution)
                                         .toStdString());
    Command(CommandId::Measure);
    ASSERT_FALSE(sink.shown.empty());
    EXPECT_EQ(sink.shown.back(), Pane(3).trimmed().toStdString()) << "Measure says it too";

    // The user answers the question with the pixel size of a MIAS film.
    const auto answer = [](const QString& micrometres, bool accept) {
        QTimer::singleShot(0, [micrometres, accept] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            if (auto* edit = dialog->findChild<QLineEdit*>()) edit->setText(micrometres);
            accept ? dialog->accept() : dialog->reject();
        });
    };
    frame->UpdateCommandStates();
    QAction* set = frame->Action(CommandId::SetResolution);
    ASSERT_TRUE(set->isEnabled());
    answer("200", true);
    set->trigger();
    QCoreApplication::processEvents();  // the view gets the focus back from the dialog
    EXPECT_EQ(doc->resolutionSource, EResolutionSource::User);
    EXPECT_FLOAT_EQ(doc->resolution, 127.0f);
    EXPECT_EQ(Pane(3).toStdString(), " Ruler: 75.00 mm") << "375 pixels of 200 um, no note";
    Command(CommandId::Measure);
    EXPECT_EQ(sink.shown.back(), "Ruler: 75.00 mm");

    answer("50", false);
    set->trigger();
    EXPECT_FLOAT_EQ(doc->resolution, 127.0f) << "Cancel keeps the pixel size";

    Command(CommandId::CloseAll);
    QCoreApplication::processEvents();
    frame->UpdateCommandStates();
    EXPECT_FALSE(set->isEnabled()) << "nothing to set without a document";
}

}  // namespace
}  // namespace vistrel
