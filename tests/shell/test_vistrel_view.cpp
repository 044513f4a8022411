#include "shell/vistrel_view.h"

#include <gtest/gtest.h>

#include <QScrollBar>

#include "regions/region.h"
#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

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

}  // namespace
}  // namespace vistrel
