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
#include <tuple>

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

// Two bright blobs on black, each a peak over a 3x3 plateau: (10, 10) peaks
// at 500 over 400, (30, 20) at 200 over 150.
CVistrelDoc* OpenTwoBlobs(MainFrameTest& test, CVistrelApp& app, const std::string& path) {
    CMImage image = testsupport::ZeroedImage(40, 30, 12);
    for (const auto& [cx, cy, peak, plateau] :
         {std::tuple{10, 10, 500, 400}, std::tuple{30, 20, 200, 150}}) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) image.SetPixel(cx + dx, cy + dy, plateau);
        image.SetPixel(cx, cy, peak);
    }
    (void)test;
    if (image.Save(true, path) != 1) return nullptr;
    return app.OpenDocumentFile(path);
}

bool HasSeedAt(const CSpotList& seeds, int x, int y) {
    for (int32_t i = 0; i < seeds.Count(); ++i)
        if (seeds[i].x == x && seeds[i].y == y) return true;
    return false;
}

TEST_F(MainFrameTest, ThresholdingButtonsActOnTheSourceDocument) {
    CVistrelDoc* doc = OpenTwoBlobs(*this, app, Path("blobs.pgx"));
    ASSERT_NE(doc, nullptr);
    CThresholdingDlg dlg(app);
    ASSERT_EQ(dlg.Document(), doc);

    // Image mode: both blobs are above 100, so Segment makes two regions.
    dlg.ThresholdEdit()->clear();
    QTest::keyClicks(dlg.ThresholdEdit(), "100");
    QTest::keyClick(dlg.ThresholdEdit(), Qt::Key_Return);
    EXPECT_EQ(dlg.ThresholdEdit()->text(), "100.0");
    dlg.SegmentButton()->click();
    EXPECT_EQ(doc->regions.Count(), 2);

    // Local-maxima mode in pixels: only the brighter peak is above 300.
    dlg.UnitGroup()->button(1)->click();
    dlg.SizeEdit()->setText("3");
    emit dlg.SizeEdit()->editingFinished();
    dlg.LocalMaximaBox()->click();
    ASSERT_TRUE(dlg.Model().LocalMaxima());
    EXPECT_TRUE(HasSeedAt(dlg.Model().Maxima(), 10, 10));
    EXPECT_TRUE(HasSeedAt(dlg.Model().Maxima(), 30, 20));
    dlg.ThresholdEdit()->clear();
    QTest::keyClicks(dlg.ThresholdEdit(), "300");
    QTest::keyClick(dlg.ThresholdEdit(), Qt::Key_Return);
    dlg.SeedsButton()->click();
    EXPECT_TRUE(HasSeedAt(doc->spots, 10, 10));
    EXPECT_FALSE(HasSeedAt(doc->spots, 30, 20));
    EXPECT_EQ(doc->spots.Count(), dlg.Model().MaximaAtThreshold().Count());

    // Segment in this mode hands the seeds to the growing tool's second form.
    doc->SetSeeds(CSpotList());
    dlg.SegmentButton()->click();
    EXPECT_TRUE(HasSeedAt(doc->spots, 10, 10));
    CSegmentFromSeedsDlg* tool = frame->SegmentFromSeedsWindow();
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->Document(), doc);
    EXPECT_EQ(app.ActiveDocument(), doc);
    EXPECT_TRUE(tool->SeedsButton()->isHidden());
    EXPECT_TRUE(tool->SegmentButton()->isEnabled());
}

TEST_F(MainFrameTest, SegmentGrowsTheSeedsOfTheSourceIntoItsRegions) {
    CVistrelDoc* doc = OpenTwoBlobs(*this, app, Path("blobs.pgx"));
    ASSERT_NE(doc, nullptr);
    doc->SetSeeds(SeedsAt({{10, 10}, {30, 20}}));
    CSegmentFromSeedsDlg dlg(app, true);
    ASSERT_TRUE(dlg.SegmentButton()->isEnabled());
    dlg.InputCombo()->setCurrentIndex(int(EGrowInput::Image));
    dlg.UnitGroup()->button(1)->click();
    dlg.WindowEdit()->setText("4");
    dlg.KEdit()->setText("0");
    dlg.SegmentButton()->click();
    EXPECT_EQ(dlg.Model().Input(), EGrowInput::Image);
    EXPECT_EQ(dlg.Model().WindowPixels(), 4);
    // One region per seed, each around its own blob.
    ASSERT_EQ(doc->regions.Count(), 2);
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

// Run by hand under a real X server (xvfb-run, QT_QPA_PLATFORM=xcb) with
// VISTREL_SEED_FILM naming a mammogram and VISTREL_SHOTS a folder: the spot
// detector runs, its spots become seeds, the growing tool segments them with
// its defaults, and the screen is saved as seeds_and_regions.png (a zoomed
// view around VISTREL_SEED_AT="x,y" as seeds_zoomed.png when given).
TEST_F(MainFrameTest, DISABLED_SeedsAndGrownRegionsScreenshot) {
    const char* path = std::getenv("VISTREL_SEED_FILM");
    if (!path) GTEST_SKIP() << "VISTREL_SEED_FILM names no image";
    const char* shots = std::getenv("VISTREL_SHOTS");
    const QString folder = shots ? QString::fromUtf8(shots) : QDir::tempPath() + "/vistrel_shots";
    QDir().mkpath(folder);
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_TRUE(doc);
    // Inside the breast outline, as a reader works: the film's label and
    // edge would otherwise take the strongest spots.
    CSegmentParams outline;
    outline.cone = 0;
    outline.log = 0;
    ASSERT_TRUE(doc->SegmentBreastWith(outline));
    frame->ToggleToolWindow(EToolWindow::SpotDetector);
    CScaleSpaceDlg* detector = frame->SpotDetectorWindow();
    ASSERT_TRUE(detector);
    // Specks of one or two pixels on a 200 um film want the finest scales.
    if (const char* scales = std::getenv("VISTREL_SEED_SCALES")) {
        const QStringList range = QString::fromUtf8(scales).split(',');
        ASSERT_EQ(range.size(), 2);
        detector->MinScaleSpin()->setValue(range[0].toInt());
        detector->MaxScaleSpin()->setValue(range[1].toInt());
    }
    detector->SpotsButton()->click();
    ASSERT_TRUE(detector->Model().HasSpots());
    // An 8-bit digitised film answers far below the default the detector
    // keeps for 12-bit images.
    if (const char* threshold = std::getenv("VISTREL_SEED_THRESHOLD")) {
        detector->ThresholdEdit()->selectAll();
        QTest::keyClicks(detector->ThresholdEdit(), threshold);
        QTest::keyClick(detector->ThresholdEdit(), Qt::Key_Return);
        std::cout << detector->Model().Selected().Count() << " spots above "
                  << detector->Model().Threshold() << " in "
                  << detector->RangeMinLabel()->text().toStdString() << ".."
                  << detector->RangeMaxLabel()->text().toStdString() << "\n";
    }
    detector->SeedsButton()->click();
    std::cout << doc->spots.Count() << " seeds\n";
    ASSERT_TRUE(doc->HasSeeds());
    frame->OpenSegmentFromSeeds(*doc, true);
    CSegmentFromSeedsDlg* tool = frame->SegmentFromSeedsWindow();
    ASSERT_TRUE(tool);
    tool->SegmentButton()->click();
    std::cout << doc->regions.Count() << " regions\n";
    EXPECT_GT(doc->regions.Count(), 0);
    for (int32_t i = 0; i < doc->spots.Count(); ++i)
        EXPECT_NE(doc->breastMask.GetPixel(doc->spots[i].x, doc->spots[i].y), 0);
    // The film in front of the response picture the growing opened.
    frame->ActivateDocumentWindow(*doc);
    detector->move(frame->width() - detector->width(), 0);
    tool->move(frame->width() - tool->width(), frame->height() - tool->height());
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    EXPECT_TRUE(
        QGuiApplication::primaryScreen()->grabWindow(0).save(folder + "/seeds_and_regions.png"));
    if (const char* at = std::getenv("VISTREL_SEED_AT")) {
        const QStringList xy = QString::fromUtf8(at).split(',');
        ASSERT_EQ(xy.size(), 2);
        CVistrelView* view = View(doc);
        view->SetZoom(4.0f);
        const QPoint centre = view->ViewportPoint({xy[0].toInt(), xy[1].toInt()});
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->value() + centre.x() -
                                              view->viewport()->width() / 2);
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() + centre.y() -
                                            view->viewport()->height() / 2);
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
        EXPECT_TRUE(view->viewport()->grab().save(folder + "/seeds_zoomed.png"));
    }
}

}  // namespace
}  // namespace vistrel
