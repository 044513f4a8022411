// The "Microcalcification Clusters Detection" window on a main frame: opened
// and closed by its command, bound to the active document, its slider, boxes
// and report following the model.
#include <gtest/gtest.h>

#include <QTest>
#include <cmath>

#include "detection/clustering.h"
#include "shell/mc_cluster_detection_dlg.h"
#include "shell_fixture.h"
#include "support/speck_image.h"
#include "workspace/notifier.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

class McClusterDetectionDlgTest : public MainFrameTest {
  protected:
    CVistrelDoc* OpenScene() {
        const std::string path = Path("clusters.pgx");
        EXPECT_EQ(testsupport::SpeckImage(testsupport::ClusterSpeckParams()).Save(true, path), 1);
        CVistrelDoc* doc = app.OpenDocumentFile(path);
        if (!doc) return nullptr;
        const int* t = testsupport::kClusterTruth;
        doc->rosRegions.Add(CRegion({{t[0], t[1]}, {t[2], t[1]}, {t[2], t[3]}, {t[0], t[3]}},
                                    CRegion::PointsMode::Polygon));
        return doc;
    }
};

TEST_F(McClusterDetectionDlgTest, TheWindowBindsToTheModel) {
    CVistrelDoc* doc = OpenScene();
    ASSERT_TRUE(doc);
    Command(CommandId::McClusterDetection);
    CMcClusterDetectionDlg* window = frame->McClusterDetectionWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(frame->ToolWindowOpen(EToolWindow::McClusterDetection));
    EXPECT_EQ(window->windowTitle(), "Microcalcification Clusters Detection");
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->Document(), doc);
    EXPECT_EQ(window->ThresholdLabel()->text(), "120.0");
    EXPECT_FALSE(window->Slider()->isEnabled());
    EXPECT_FALSE(window->SetSeedsButton()->isEnabled());
    EXPECT_TRUE(window->Report()->toPlainText().isEmpty());

    window->GetSeedsButton()->click();
    ASSERT_TRUE(window->Model().HasSpots());
    QSlider* slider = window->Slider();
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->minimum(), window->Model().SliderMin());
    EXPECT_EQ(slider->maximum(), window->Model().SliderMax());
    EXPECT_EQ(slider->pageStep(), 5);
    EXPECT_EQ(window->RangeMaxLabel()->text().toStdString(), window->Model().RangeMaxText());
    // All specks pass 120: two clusters, one of them on the truth.
    const QString report = window->Report()->toPlainText();
    EXPECT_TRUE(report.startsWith(QString::fromUtf8(kSpotClusterHeader))) << report.toStdString();
    EXPECT_TRUE(report.contains("0; 1; 2; 1; 0; 1;[4]; ")) << report.toStdString();

    // The top of the slider selects nothing; the report and threshold follow.
    slider->setValue(slider->minimum());
    EXPECT_EQ(window->ThresholdLabel()->text().toStdString(), window->Model().ThresholdText());
    EXPECT_EQ(window->Model().Threshold(), slider->maximum());
    EXPECT_TRUE(window->Report()->toPlainText().endsWith("0; 1; 0; 0; 1; 0;[]; "))
        << window->Report()->toPlainText().toStdString();

    window->GreaterPageBox()->setChecked(true);
    EXPECT_EQ(slider->pageStep(), 10);
    window->GreaterPageBox()->setChecked(false);
    EXPECT_EQ(slider->pageStep(), 5);

    // New cluster parameters re-run the evaluation shown.
    slider->setValue(slider->maximum());
    EXPECT_TRUE(window->Report()->toPlainText().contains("0; 1; 2; 1; 0; 1;"));
    app.clusterParams.minObjects = 5;
    emit app.Notifier().clusterParamsChanged();
    EXPECT_TRUE(window->Report()->toPlainText().endsWith("0; 1; 0; 0; 1; 0;[]; "))
        << window->Report()->toPlainText().toStdString();

    // "results" opens the marks picture; "Set Seeds" hands the selection over.
    const std::size_t documents = app.Documents().size();
    window->ResultsBox()->setChecked(true);
    EXPECT_EQ(app.Documents().size(), documents + 1);
    window->SetSeedsButton()->click();
    EXPECT_EQ(doc->spots.Count(), window->Model().Selected().Count());

    // The command closes the open window.
    QPointer<CMcClusterDetectionDlg> open = window;
    Command(CommandId::McClusterDetection);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(open);
    EXPECT_FALSE(frame->ToolWindowOpen(EToolWindow::McClusterDetection));
}

}  // namespace
}  // namespace vistrel
