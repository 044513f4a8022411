// The thresholding and segment-from-seeds windows, the frame opening them,
// and the seed marks on the view.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <cstdlib>
#include <iostream>

#include "shell/segment_from_seeds_dlg.h"
#include "shell/thresholding_dlg.h"
#include "shell_fixture.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

CSpotList SeedsAt(std::initializer_list<CPoint> points) {
    CSpotList seeds;
    for (const CPoint& p : points) seeds.Append(CPointResponse(p, 50.0, 5.0));
    return seeds;
}

// Lets posted deletions and paints run.
void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// ---------------------------------------------------------------- seed marks

bool IsSeedColour(const QImage& painted, int x, int y) {
    return painted.pixelColor(x, y) == kSeedColour;
}

TEST_F(MainFrameTest, SeedsShowAsCrossesOnTheirPixelsScaledWithTheZoom) {
    CVistrelDoc* doc = OpenRamp(200, 150);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    // A seed in the open, one on the image corner (its cross is clipped).
    doc->SetSeeds(SeedsAt({{20, 15}, {0, 0}}));
    for (const float zoom : {1.0f, 2.0f, 4.0f}) {
        view->SetZoom(zoom);
        Settle();
        const QImage painted = view->viewport()->grab().toImage();
        const int arm = std::max(2, int(1.5 * zoom));
        const int cx = int(20.5 * zoom), cy = int(15.5 * zoom);
        EXPECT_TRUE(IsSeedColour(painted, cx, cy)) << "zoom " << zoom;
        for (const QPoint& end : {QPoint(cx + arm - 1, cy), QPoint(cx - arm + 1, cy),
                                  QPoint(cx, cy + arm - 1), QPoint(cx, cy - arm + 1)})
            EXPECT_TRUE(IsSeedColour(painted, end.x(), end.y()))
                << "zoom " << zoom << " at " << end.x() << "," << end.y();
        // A cross, not a square: the diagonal neighbours keep the image.
        EXPECT_FALSE(IsSeedColour(painted, cx + 1, cy + 1)) << "zoom " << zoom;
        // The arms end where the zoom says.
        EXPECT_FALSE(IsSeedColour(painted, cx + arm + 2, cy)) << "zoom " << zoom;
        const int corner = int(0.5 * zoom);
        EXPECT_TRUE(IsSeedColour(painted, corner, corner)) << "zoom " << zoom;
    }
}

TEST_F(MainFrameTest, SeedMarksFollowTheSeedListAndTheScroll) {
    CVistrelDoc* doc = OpenRamp(400, 300);
    ASSERT_NE(doc, nullptr);
    CVistrelView* view = View(doc);
    view->SetZoom(4.0f);
    Settle();
    ASSERT_GT(view->horizontalScrollBar()->maximum(), 0);
    // Seeds outside the image are kept in the list but draw nothing.
    doc->SetSeeds(SeedsAt({{300, 250}, {-40, 10}, {5000, 5000}}));
    view->horizontalScrollBar()->setValue(300 * 4 - 100);
    view->verticalScrollBar()->setValue(250 * 4 - 100);
    Settle();
    const QPoint at = view->ViewportPoint({300, 250});
    QImage painted = view->viewport()->grab().toImage();
    ASSERT_TRUE(painted.rect().contains(at));
    // ViewportPoint is the pixel's centre, where the arms cross.
    EXPECT_TRUE(IsSeedColour(painted, at.x(), at.y()));
    EXPECT_TRUE(IsSeedColour(painted, at.x() + 3, at.y()));
    doc->SetSeeds(CSpotList());
    Settle();
    painted = view->viewport()->grab().toImage();
    EXPECT_FALSE(IsSeedColour(painted, at.x(), at.y()));
    EXPECT_FALSE(IsSeedColour(painted, at.x() + 3, at.y()));
}

// ---------------------------------------------------------------- thresholding window

TEST_F(MainFrameTest, ThresholdingWindowPassesItsFieldsToTheModel) {
    CVistrelDoc* doc = OpenRamp(64, 32);
    ASSERT_NE(doc, nullptr);
    CThresholdingDlg dlg(app);
    EXPECT_EQ(dlg.windowTitle(), "Thresholding");
    EXPECT_FALSE(dlg.isModal());
    EXPECT_EQ(dlg.Document(), doc);
    const CThresholdingModel& model = dlg.Model();

    struct Box {
        QCheckBox* box;
        const char* text;
        bool (CThresholdingModel::*value)() const;
    } boxes[] = {
        {dlg.BackgroundBox(), "bkg = original image", &CThresholdingModel::OnImage},
        {dlg.ResultsBox(), "results", &CThresholdingModel::ShowResults},
        {dlg.SinglePixelsBox(), "+ single pixels", &CThresholdingModel::SinglePixels},
        {dlg.GreaterPageBox(), "greater slider page", &CThresholdingModel::GreaterPage},
        {dlg.LocalMaximaBox(), "local maxima", &CThresholdingModel::LocalMaxima},
    };
    for (const Box& b : boxes) {
        EXPECT_EQ(b.box->text(), b.text);
        EXPECT_EQ(b.box->isChecked(), (model.*b.value)()) << b.text;
        const bool before = (model.*b.value)();
        b.box->click();
        EXPECT_EQ((model.*b.value)(), !before) << b.text;
        EXPECT_EQ(b.box->isChecked(), !before) << b.text;
    }
    EXPECT_EQ(dlg.Slider()->pageStep(), CThresholdingModel::kGreaterPageSize);
    dlg.GreaterPageBox()->click();
    EXPECT_EQ(dlg.Slider()->pageStep(), CThresholdingModel::kPageSize);

    EXPECT_TRUE(model.SizeInCm());
    dlg.UnitGroup()->button(1)->click();
    EXPECT_FALSE(model.SizeInCm());
    dlg.SizeEdit()->setText("7");
    emit dlg.SizeEdit()->editingFinished();
    EXPECT_EQ(model.Size(), 7.0);
    // Text that is no size leaves the size alone.
    dlg.SizeEdit()->setText("big");
    emit dlg.SizeEdit()->editingFinished();
    EXPECT_EQ(model.Size(), 7.0);

    dlg.ThresholdEdit()->clear();
    QTest::keyClicks(dlg.ThresholdEdit(), "42.5");
    EXPECT_EQ(model.Threshold(), 42.5);
    QTest::keyClicks(dlg.ThresholdEdit(), "x");
    EXPECT_EQ(model.Threshold(), 42.5);
}

TEST_F(MainFrameTest, ThresholdingSetSeedsOnlyInLocalMaximaMode) {
    ASSERT_NE(OpenRamp(64, 32), nullptr);
    CThresholdingDlg dlg(app);
    for (const QPushButton* b : {dlg.SourceButton(), dlg.SegmentButton(), dlg.SeedsButton()})
        EXPECT_FALSE(b->autoDefault()) << b->text().toStdString();
    EXPECT_EQ(dlg.SourceButton()->text(), "Set Src Doc");
    EXPECT_EQ(dlg.SegmentButton()->text(), "Segment");
    EXPECT_EQ(dlg.SeedsButton()->text(), "Set seeds");
    EXPECT_FALSE(dlg.SeedsButton()->isEnabled());
    EXPECT_TRUE(dlg.SegmentButton()->isEnabled());
    dlg.LocalMaximaBox()->click();
    EXPECT_TRUE(dlg.SeedsButton()->isEnabled());
    dlg.LocalMaximaBox()->click();
    EXPECT_FALSE(dlg.SeedsButton()->isEnabled());
}

TEST_F(MainFrameTest, ThresholdingWithoutADocumentDisablesItsButtons) {
    CThresholdingDlg dlg(app);
    EXPECT_EQ(dlg.Document(), nullptr);
    dlg.LocalMaximaBox()->click();
    EXPECT_FALSE(dlg.SegmentButton()->isEnabled());
    EXPECT_FALSE(dlg.SeedsButton()->isEnabled());
    // Clicking what is there anyway does nothing harmful.
    dlg.SourceButton()->click();
    EXPECT_EQ(dlg.Document(), nullptr);
}

// ---------------------------------------------------------------- segment-from-seeds window

TEST_F(MainFrameTest, SegmentFromSeedsWindowShowsTheDefaultsAndPassesItsFields) {
    ASSERT_NE(OpenRamp(64, 32), nullptr);
    CSegmentFromSeedsDlg dlg(app);
    EXPECT_EQ(dlg.windowTitle(), "Segment from seeds");
    EXPECT_FALSE(dlg.isModal());
    EXPECT_FALSE(dlg.SeedsButton()->isHidden());
    const CSegmentFromSeedsModel& model = dlg.Model();
    EXPECT_EQ(dlg.AlgorithmGroup()->checkedButton()->text(), "local statistics");
    EXPECT_EQ(dlg.DirectionsGroup()->checkedButton()->text(), "8 - connectivity");
    EXPECT_EQ(dlg.InputCombo()->currentText(), "LoG filtered in scales");
    EXPECT_TRUE(dlg.JoinBox()->isChecked());
    EXPECT_EQ(dlg.KEdit()->text(), "1.5");
    EXPECT_EQ(dlg.WindowEdit()->text(), "0.3");
    EXPECT_EQ(dlg.UnitGroup()->checkedId(), 0);

    dlg.AlgorithmGroup()->button(int(EGrowAlgorithm::MinSlopeCircles))->setChecked(true);
    dlg.DirectionsGroup()->button(16)->setChecked(true);
    dlg.InputCombo()->setCurrentIndex(int(EGrowInput::WhiteTopHat));
    dlg.JoinBox()->setChecked(false);
    dlg.KEdit()->setText("0");
    dlg.WindowEdit()->setText("9");
    dlg.UnitGroup()->button(1)->setChecked(true);
    dlg.ReadFields();
    EXPECT_EQ(model.Algorithm(), EGrowAlgorithm::MinSlopeCircles);
    EXPECT_EQ(model.Directions(), 16);
    EXPECT_EQ(model.Input(), EGrowInput::WhiteTopHat);
    EXPECT_FALSE(model.Join());
    EXPECT_EQ(model.K(), 0.0);
    EXPECT_EQ(model.Window(), 9.0);
    EXPECT_FALSE(model.WindowInCm());

    // Unreadable numbers and a window that is no size keep the last values.
    for (const auto& [k, window] :
         {std::pair{"", "-2"}, std::pair{"abc", "0"}, std::pair{"nan", "inf"}}) {
        dlg.KEdit()->setText(k);
        dlg.WindowEdit()->setText(window);
        dlg.ReadFields();
        EXPECT_EQ(model.K(), 0.0) << k;
        EXPECT_EQ(model.Window(), 9.0) << window;
    }
}

TEST_F(MainFrameTest, SegmentFromCurrentSeedsHasNoSetSeeds) {
    ASSERT_NE(OpenRamp(64, 32), nullptr);
    CSegmentFromSeedsDlg dlg(app, true);
    EXPECT_EQ(dlg.windowTitle(), "Segment from current seeds");
    EXPECT_TRUE(dlg.SeedsButton()->isHidden());
    EXPECT_FALSE(dlg.SegmentButton()->isHidden());
    EXPECT_FALSE(dlg.SourceButton()->isHidden());
}

TEST_F(MainFrameTest, SegmentFollowsWhetherTheSourceHasSeeds) {
    CVistrelDoc* doc = OpenRamp(64, 32);
    ASSERT_NE(doc, nullptr);
    {
        CSegmentFromSeedsDlg dlg(app);
        EXPECT_EQ(dlg.SegmentButton()->isEnabled(), dlg.Model().ControlsEnabled());
        EXPECT_FALSE(dlg.SegmentButton()->isEnabled());
        EXPECT_TRUE(dlg.SeedsButton()->isEnabled());
    }
    doc->SetSeeds(SeedsAt({{10, 10}}));
    CSegmentFromSeedsDlg dlg(app);
    EXPECT_EQ(dlg.SegmentButton()->isEnabled(), dlg.Model().ControlsEnabled());
    EXPECT_EQ(dlg.KEdit()->isEnabled(), dlg.Model().ControlsEnabled());
}

// ---------------------------------------------------------------- frame

TEST_F(MainFrameTest, OpenSegmentFromSeedsBringsTheDocumentForwardAndReplacesTheTool) {
    CVistrelDoc* first = app.OpenDocumentFile(WriteRamp("first.pgx", 64, 32));
    CVistrelDoc* second = app.OpenDocumentFile(WriteRamp("second.pgx", 64, 32));
    ASSERT_TRUE(first && second);
    ASSERT_EQ(app.ActiveDocument(), second);
    EXPECT_FALSE(frame->ToolWindowOpen(EToolWindow::SegmentFromSeeds));

    frame->OpenSegmentFromSeeds(*first, true);
    EXPECT_EQ(app.ActiveDocument(), first);
    EXPECT_EQ(frame->ActiveFrame(), frame->FrameOf(first));
    QPointer<CSegmentFromSeedsDlg> currentForm = frame->SegmentFromSeedsWindow();
    ASSERT_TRUE(currentForm);
    EXPECT_TRUE(currentForm->isVisible());
    EXPECT_EQ(currentForm->Document(), first);
    EXPECT_EQ(currentForm->windowTitle(), "Segment from current seeds");
    EXPECT_TRUE(currentForm->SeedsButton()->isHidden());

    frame->OpenSegmentFromSeeds(*second, false);
    Settle();
    EXPECT_FALSE(currentForm) << "the old tool is closed";
    CSegmentFromSeedsDlg* plain = frame->SegmentFromSeedsWindow();
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->Document(), second);
    EXPECT_EQ(plain->windowTitle(), "Segment from seeds");
    EXPECT_FALSE(plain->SeedsButton()->isHidden());
    EXPECT_TRUE(frame->ToolWindowOpen(EToolWindow::SegmentFromSeeds));
}

TEST_F(MainFrameTest, SeedToolCommandsToggleOneInstanceEach) {
    ASSERT_NE(OpenRamp(64, 32), nullptr);
    for (const EToolWindow which : {EToolWindow::Thresholding, EToolWindow::SegmentFromSeeds}) {
        frame->ToggleToolWindow(which);
        EXPECT_TRUE(frame->ToolWindowOpen(which)) << int(which);
        QPointer<QDialog> opened = which == EToolWindow::Thresholding
                                       ? static_cast<QDialog*>(frame->ThresholdingWindow())
                                       : frame->SegmentFromSeedsWindow();
        ASSERT_TRUE(opened);
        EXPECT_TRUE(opened->isVisible());
        frame->ToggleToolWindow(which);
        Settle();
        EXPECT_FALSE(opened) << int(which);
        EXPECT_FALSE(frame->ToolWindowOpen(which)) << int(which);
    }
}

}  // namespace
}  // namespace vistrel
