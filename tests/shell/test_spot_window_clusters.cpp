// The spot detector window's cluster items on a main frame: "Cluster info"
// follows every selection and changed cluster parameters, and "FROC..." opens
// the plot window, whose "Save..." writes the chart.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../workspace/workspace_fakes.h"
#include "detection/clustering.h"
#include "shell/froc_plot_window.h"
#include "shell/scale_space_dlg.h"
#include "shell_fixture.h"
#include "support/speck_image.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

class SpotWindowClustersTest : public MainFrameTest {
  protected:
    // Specks in two groups close enough to cluster, one group inside the truth square.
    CVistrelDoc* OpenSpecks() {
        testsupport::CSpeckImageParams p;
        p.width = 240;
        p.height = 200;
        p.seed = 11;
        p.specks = {{40, 40, 1.5},   {48, 44, 1.5},   {44, 52, 2.0}, {160, 140, 1.5},
                    {168, 146, 2.0}, {162, 154, 1.5}, {200, 30, 2.5}};
        const CMImage image = testsupport::SpeckImage(p);
        const std::string path = Path("specks.pgx");
        EXPECT_EQ(image.Save(true, path), 1);
        CVistrelDoc* doc = app.OpenDocumentFile(path);
        if (doc)
            doc->rosRegions.Add(
                CRegion({{30, 30}, {60, 30}, {60, 62}, {30, 62}}, CRegion::PointsMode::Polygon));
        return doc;
    }
};

TEST_F(SpotWindowClustersTest, ClusterInfoFollowsTheSelectionAndTheParameters) {
    CVistrelDoc* source = OpenSpecks();
    ASSERT_TRUE(source);
    CScaleSpaceDlg dlg(app);
    dlg.Bind(source);
    EXPECT_TRUE(dlg.ClusterInfoLabel()->text().isEmpty());
    dlg.SpotsButton()->click();
    ASSERT_TRUE(dlg.Model().HasSpots());
    const auto shown = [&dlg] { return dlg.ClusterInfoLabel()->text().toStdString(); };
    ASSERT_FALSE(dlg.Model().EvaluationLine().empty());
    EXPECT_EQ(shown(), kSpotClusterHeader + dlg.Model().EvaluationLine());

    // Every spot selected: the line follows the slider.
    dlg.Slider()->setValue(dlg.Slider()->maximum());
    EXPECT_EQ(dlg.Model().Selected().Count(), dlg.Model().Spots().Count());
    EXPECT_EQ(shown(), kSpotClusterHeader + dlg.Model().EvaluationLine());
    EXPECT_GT(source->clusters.Count(), 0);
    const std::string clustered = dlg.Model().EvaluationLine();

    // No cluster can have 1000 objects: the broadcast re-runs and the label follows.
    app.clusterParams.minObjects = 1000;
    app.Notifier().clusterParamsChanged();
    EXPECT_EQ(source->clusters.Count(), 0);
    EXPECT_NE(dlg.Model().EvaluationLine(), clustered);
    EXPECT_EQ(shown(), kSpotClusterHeader + dlg.Model().EvaluationLine());
    EXPECT_NE(shown().find("; 0;[]; "), std::string::npos);  // TP 0, nothing hit
}

TEST_F(SpotWindowClustersTest, FrocButtonOpensThePlotWindow) {
    CVistrelDoc* source = OpenSpecks();
    ASSERT_TRUE(source);
    CScaleSpaceDlg dlg(app);
    dlg.Bind(source);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_TRUE(dlg.FrocButton()->isEnabled());  // it searches documents itself
    EXPECT_EQ(dlg.FrocWindow(), nullptr);

    dlg.FrocButton()->click();
    CFrocPlotWindow* plot = dlg.FrocWindow();
    ASSERT_TRUE(plot);
    EXPECT_TRUE(plot->isVisible());
    EXPECT_EQ(plot->Chart().images, 1);
    EXPECT_EQ(plot->Chart().truthClusters, 1);
    EXPECT_EQ(plot->Chart().points.size(), std::size_t(kFrocThresholdCount));
    EXPECT_EQ(plot->SaveButton()->text(), "Save...");

    // It paints the chart at whatever size it is given.
    plot->resize(500, 400);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));
    const QImage shot = plot->View()->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    int dark = 0;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            if (qGray(shot.pixel(x, y)) < 100) ++dark;
    EXPECT_GT(dark, 50);  // frame, curve and texts on white

    // A second FROC brings the same window up to date.
    dlg.FrocButton()->click();
    EXPECT_EQ(dlg.FrocWindow(), plot);
}

TEST_F(SpotWindowClustersTest, FrocWithoutTruthOpensNothing) {
    CVistrelDoc* source = OpenSpecks();
    ASSERT_TRUE(source);
    source->rosRegions.RemoveAll();
    CScaleSpaceDlg dlg(app);
    dlg.Bind(source);
    sink.shown.clear();
    dlg.FrocButton()->click();
    EXPECT_EQ(dlg.FrocWindow(), nullptr);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], kFrocNoTruthMessage);
}

// "Save..." with a scripted save dialog.
TEST(FrocPlotWindow, SaveWritesTheChosenKind) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    testing::CFakeUi ui;
    testing::CRecordingSink sink;
    CScopedMessageSink guard{&sink};
    CVistrelApp app{&ui};
    CFrocPlotWindow window(app);
    CFrocChart chart;
    chart.title = "t";
    chart.images = 2;
    chart.truthClusters = 3;
    chart.points = {{100, 0.33, 0.5}, {50, 0.67, 2.0}};
    window.SetChart(chart);

    // A name without extension takes the chosen filter's (SVG here).
    const std::string stem = (dir.path() + "/froc").toStdString();
    ui.savePath = stem;
    ui.saveFilter = 1;
    ui.saveOk = true;
    ASSERT_TRUE(window.Save());
    ASSERT_TRUE(std::filesystem::exists(stem + ".svg"));
    std::ifstream in(stem + ".svg");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().rfind("<", 0), 0u);
    EXPECT_NE(text.str().find("</svg>"), std::string::npos);

    ui.savePath = stem + ".PNG";
    window.SaveButton()->click();
    ASSERT_TRUE(std::filesystem::exists(stem + ".PNG"));
    EXPECT_FALSE(QImage(QString::fromStdString(stem + ".PNG")).isNull());

    // Cancel writes nothing; a folder that does not exist is a shown failure.
    ui.saveOk = false;
    ui.savePath = stem + "2.png";
    EXPECT_FALSE(window.Save());
    EXPECT_FALSE(std::filesystem::exists(stem + "2.png"));
    ui.saveOk = true;
    ui.savePath = (dir.path() + "/missing/froc.png").toStdString();
    EXPECT_FALSE(window.Save());
    EXPECT_EQ(sink.shown.size(), 1u);
}

}  // namespace
}  // namespace vistrel
