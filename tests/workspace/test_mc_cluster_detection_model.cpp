#include "workspace/mc_cluster_detection_model.h"

#include "detection/clustering.h"
#include "detection/spot_detector.h"
#include "support/speck_image.h"
#include "vistrel_doc_fixture.h"
#include "workspace/notifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/text.h"

namespace vistrel {
namespace {

testsupport::CSpeckImageParams ClusterScene() {
    return testsupport::ClusterSpeckParams();
}
const int* const kTruth = testsupport::kClusterTruth;

class McClusterDetection : public DocTest {
  protected:
    void SetUp() override {
        DocTest::SetUp();
        std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
        doc->image = testsupport::SpeckImage(ClusterScene());
        doc->pathName = "/d/clusters.pgx";
        doc->rosRegions.Add(Square(kTruth[0], kTruth[1], kTruth[2], kTruth[3]));
        doc->subtlety = 2;
        source = app.AddDocument(std::move(doc));
        ASSERT_TRUE(source);
        app.SetActiveDocument(source);
    }
    // The smallest response of the spots found at the specks' centres (within 2 px).
    static double WeakestSpeck(const CSpotList& spots) {
        double weakest = 1e300;
        for (const testsupport::CSpeck& s : ClusterScene().specks) {
            double best = -1e300;
            for (int32_t i = 0; i < spots.Count(); ++i)
                if (std::abs(spots[i].x - s.x) <= 2 && std::abs(spots[i].y - s.y) <= 2)
                    best = std::max(best, spots[i].response);
            if (best > -1e300) weakest = std::min(weakest, best);  // specks not found are skipped
        }
        return weakest;
    }
    // Moves the slider so that every speck, and nothing weaker, is selected.
    void SelectTheSpecks(CMcClusterDetectionModel& m) {
        const int threshold = int(std::floor(WeakestSpeck(m.Spots())));
        m.MoveSlider(m.SliderMin() + m.SliderMax() - threshold);
        ASSERT_EQ(m.Threshold(), threshold);
    }

    CVistrelDoc* source = nullptr;
};

TEST_F(McClusterDetection, GetSeedsRunsTheFixedDetectorAndSpansTheResponses) {
    CMcClusterDetectionModel m(app);
    ASSERT_EQ(m.Source(), source);
    EXPECT_EQ(m.ThresholdText(), "120.0");
    EXPECT_EQ(m.ReportText(), "");
    ASSERT_TRUE(m.OnGetSeeds());
    EXPECT_EQ(ui.progressTexts.size(), 1u);
    EXPECT_EQ(ui.progressEnds, 1);
    EXPECT_EQ(ui.busyDepth, 0);

    std::string log;
    auto direct = CandidateListSSS(source->image, 5, 9, 1, 3, 3, nullptr, log);
    ASSERT_TRUE(direct);
    ASSERT_EQ(m.Spots().Count(), direct->Count());
    double lo = 1e300, hi = -1e300;
    for (int32_t i = 0; i < direct->Count(); ++i) {
        EXPECT_EQ(m.Spots()[i].x, (*direct)[i].x) << i;
        EXPECT_EQ(m.Spots()[i].y, (*direct)[i].y) << i;
        lo = std::min(lo, (*direct)[i].response);
        hi = std::max(hi, (*direct)[i].response);
    }
    EXPECT_EQ(m.SliderMin(), int(std::floor(lo)));
    EXPECT_EQ(m.SliderMax(), int(std::floor(hi)) + 1);
    EXPECT_EQ(m.RangeMaxText(), Format("%.0f", hi));
    // The threshold stays at its default: below every speck, all are selected.
    EXPECT_EQ(m.Threshold(), 120.0);
    EXPECT_EQ(m.Selected().Count(), m.Spots().Count());
    EXPECT_EQ(m.ReportText().rfind(kSpotClusterHeader, 0), 0u);
}

TEST_F(McClusterDetection, EveryThresholdChangeScoresTheClustersAgainstTheTruth) {
    CMcClusterDetectionModel m(app);
    int evaluations = 0;
    QObject::connect(&m, &CMcClusterDetectionModel::evaluated, [&] { ++evaluations; });
    ASSERT_TRUE(m.OnGetSeeds());
    EXPECT_EQ(evaluations, 1);

    SelectTheSpecks(m);
    EXPECT_EQ(evaluations, 2);
    EXPECT_EQ(m.Selected().Count(), 8);
    // The four specks in the truth region are a TP, the three outside an FP;
    // the lone speck is no cluster.
    EXPECT_EQ(m.EvaluationLine().rfind("2; 1; 2; 1; 0; 1;[4]; ", 0), 0u) << m.EvaluationLine();
    EXPECT_EQ(m.ReportText(), std::string(kSpotClusterHeader) + m.EvaluationLine());
    ASSERT_EQ(source->clusters.Count(), 2);
    EXPECT_EQ(m.InClusters().Count(), 7);

    // At the top of the slider nothing is selected: no clusters, the truth missed.
    m.MoveSlider(m.SliderMin());
    EXPECT_EQ(m.Threshold(), m.SliderMax());
    EXPECT_EQ(m.Selected().Count(), 0);
    EXPECT_EQ(m.EvaluationLine(), "2; 1; 0; 0; 1; 0;[]; ");
    EXPECT_EQ(source->clusters.Count(), 0);
    EXPECT_EQ(m.ThresholdText(), Format("%4.1f", double(m.SliderMax())));
}

TEST_F(McClusterDetection, NewClusterParametersEvaluateAgain) {
    CMcClusterDetectionModel m(app);
    source->clusters.Add(std::make_unique<CCluster>());
    // Before any seeds the source's own clusters are left alone.
    emit app.Notifier().clusterParamsChanged();
    EXPECT_EQ(source->clusters.Count(), 1);
    EXPECT_EQ(m.EvaluationLine(), "");

    ASSERT_TRUE(m.OnGetSeeds());
    SelectTheSpecks(m);
    ASSERT_EQ(source->clusters.Count(), 2);
    // Five objects per cluster: neither group is one any more.
    app.clusterParams.minObjects = 5;
    emit app.Notifier().clusterParamsChanged();
    EXPECT_EQ(source->clusters.Count(), 0);
    EXPECT_EQ(m.EvaluationLine(), "2; 1; 0; 0; 1; 0;[]; ");
}

TEST_F(McClusterDetection, SeedsAndSegmentTakeTheSelectedSpots) {
    CMcClusterDetectionModel m(app);
    EXPECT_TRUE(m.SetSeeds());  // no spots yet: the seeds become empty
    ASSERT_TRUE(m.OnGetSeeds());
    SelectTheSpecks(m);
    m.MoveSlider(m.SliderPosition() - 1);  // one above: the weakest speck drops out
    const int32_t selected = m.Selected().Count();
    ASSERT_GT(selected, 0);
    ASSERT_LT(selected, 8);
    ASSERT_TRUE(m.SetSeeds());
    ASSERT_EQ(source->spots.Count(), selected);
    for (int32_t i = 0; i < selected; ++i) EXPECT_EQ(source->spots[i].x, m.Selected()[i].x) << i;
    EXPECT_TRUE(ui.segmentToolOpened.empty());

    source->spots.ClearAll();
    ASSERT_TRUE(m.OnSegment());
    EXPECT_EQ(source->spots.Count(), selected);
    ASSERT_EQ(ui.segmentToolOpened.size(), 1u);
    EXPECT_EQ(ui.segmentToolOpened[0].first, source);
    EXPECT_FALSE(ui.segmentToolOpened[0].second);
    ASSERT_FALSE(ui.activated.empty());
    EXPECT_EQ(ui.activated.back(), source);

    // The source closed: nothing to give seeds to.
    app.CloseDocument(source);
    EXPECT_EQ(m.Source(), nullptr);
    EXPECT_FALSE(m.HasSpots());
    EXPECT_FALSE(m.SetSeeds());
    EXPECT_FALSE(m.OnSegment());
    EXPECT_FALSE(m.OnGetSeeds());
}

TEST_F(McClusterDetection, SliderPageAndResultsPicture) {
    CMcClusterDetectionModel m(app);
    EXPECT_EQ(m.PageSize(), 5);
    m.SetGreaterPage(true);
    EXPECT_EQ(m.PageSize(), 10);
    m.SetGreaterPage(false);
    EXPECT_EQ(m.PageSize(), 5);

    const std::size_t documents = app.Documents().size();
    ASSERT_TRUE(m.OnGetSeeds());
    SelectTheSpecks(m);
    // Without "results" no picture opens.
    EXPECT_EQ(app.Documents().size(), documents);
    EXPECT_EQ(m.PictureDocument(), nullptr);

    m.SetShowResults(true);
    CVistrelDoc* picture = m.PictureDocument();
    ASSERT_TRUE(picture);
    EXPECT_EQ(app.Documents().size(), documents + 1);
    EXPECT_EQ(picture->image.depth, 1);
    EXPECT_NE(picture->image.GetPixel(m.Selected()[0].x, m.Selected()[0].y), 0);
    // Later changes update the same document; over the image the marks are at its maximum.
    m.SetOnImage(true);
    m.MoveSlider(m.SliderMax());
    EXPECT_EQ(m.PictureDocument(), picture);
    EXPECT_EQ(app.Documents().size(), documents + 1);
    EXPECT_EQ(picture->image.depth, source->image.depth);
    EXPECT_EQ(picture->image.GetPixel(m.Selected()[0].x, m.Selected()[0].y),
              source->image.maxValue);
}

TEST_F(McClusterDetection, CancelledGetSeedsKeepsWhatWasThere) {
    CMcClusterDetectionModel m(app);
    ASSERT_TRUE(m.OnGetSeeds());
    SelectTheSpecks(m);
    const std::string line = m.EvaluationLine();
    const double threshold = m.Threshold();
    const int32_t spots = m.Spots().Count();
    ui.cancelAt = 0.5;
    EXPECT_FALSE(m.OnGetSeeds());
    EXPECT_EQ(ui.progressEnds, 2);
    EXPECT_EQ(m.Spots().Count(), spots);
    EXPECT_EQ(m.Threshold(), threshold);
    EXPECT_EQ(m.EvaluationLine(), line);
    EXPECT_EQ(source->clusters.Count(), 2);
}

TEST_F(McClusterDetection, SeedsStayInsideTheBreastMask) {
    CMcClusterDetectionModel m(app);
    // The breast: the upper left, holding the truth group but not the other one.
    source->breastSegment = CBreastSgt({{2, 2}, {200, 2}, {200, 200}, {2, 200}, {2, 2}});
    ASSERT_TRUE(source->BuildBreastMask());
    source->BreastMaskChanged();
    ASSERT_TRUE(m.OnGetSeeds());
    ASSERT_GT(m.Spots().Count(), 0);
    for (int32_t i = 0; i < m.Spots().Count(); ++i)
        EXPECT_NE(source->breastMask.GetPixel(m.Spots()[i].x, m.Spots()[i].y), 0)
            << m.Spots()[i].x << "," << m.Spots()[i].y;
    SelectTheSpecks(m);
    // Only the truth group is left: one cluster, and it is a TP.
    EXPECT_EQ(m.EvaluationLine().rfind("2; 1; 1; 0; 0; 1;[4]; ", 0), 0u) << m.EvaluationLine();
}

}  // namespace
}  // namespace vistrel
