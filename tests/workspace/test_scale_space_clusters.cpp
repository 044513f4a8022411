// The spot detector window's clusters: the evaluation line after every
// selection, the cluster pictures, the re-run on changed cluster parameters,
// and the FROC sweep over the open documents with truth regions.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "detection/froc.h"
#include "detection/spot_detector.h"
#include "detection/spot_file.h"
#include "support/speck_image.h"
#include "vistrel_doc_fixture.h"
#include "workspace/froc_model.h"
#include "workspace/scale_space_model.h"
#include "workspace/vistrel_app.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

CPointResponse Spot(int x, int y, double response) {
    CPointResponse s({x, y}, response, 3.0);
    for (double v : {response, response * response, 10.0, 5.0, 12.0, 6.0}) s.Append(v);
    return s;
}

// At 254 dpi a centimetre is 100 pixels; the window clusters with a 0.2 cm
// (20 pixel) diameter. Cluster A lies in the first truth square, cluster B
// in no truth; the second truth square holds no spots, one spot is alone.
CSpotList HandMadeSpots() {
    CSpotList spots;
    // A: (50,50) reaches both others (city-block 6); they are 12 apart.
    for (const CPointResponse& s :
         {Spot(50, 50, 200), Spot(56, 50, 150), Spot(50, 56, 120), Spot(53, 53, 90)})
        spots.Append(s);
    // B: only its brightest spot passes 120.
    for (const CPointResponse& s : {Spot(150, 150, 300), Spot(156, 150, 110), Spot(150, 157, 100)})
        spots.Append(s);
    spots.Append(Spot(150, 20, 250));
    return spots;
}

class ScaleSpaceClusters : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        app.clusterParams.diameterCm = 0.2;
        source = AddDocument("/d/hand.pgx", 2);
        app.SetActiveDocument(source);
    }
    CVistrelDoc* AddDocument(const std::string& path, int subtlety) {
        std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
        doc->image.Create(200, 200, 8);
        doc->pathName = path;
        doc->resolution = 254.0f;
        doc->subtlety = int16_t(subtlety);
        doc->rosRegions.Add(Square(40, 40, 70, 70));
        doc->rosRegions.Add(Square(10, 150, 30, 170));
        return app.AddDocument(std::move(doc));
    }
    // The hand-made spots through a spot file, as "Spots from file" reads them
    // (threshold 120).
    void Load(CScaleSpaceModel& m) {
        const std::string file = (dir.path() + "/hand.spots.S3_2_10_N3_3_.cnd").toStdString();
        ASSERT_GT(SaveSpots(file, HandMadeSpots(), {0, 0}), 0);
        ASSERT_TRUE(m.LoadFromFile(file, 200, 200));
    }
    static void MoveTo(CScaleSpaceModel& m, double threshold) {
        m.MoveSlider(int(m.SliderMin() + m.SliderMax() - threshold));
        ASSERT_EQ(m.Threshold(), threshold);
    }
    static std::vector<CPoint> Points(const CSpotList& spots) {
        std::vector<CPoint> points;
        for (int32_t i = 0; i < spots.Count(); ++i) points.push_back({spots[i].x, spots[i].y});
        return points;
    }

    QTemporaryDir dir;
    testing::CRecordingSink sink;
    CScopedMessageSink guard{&sink};
    testing::CFakeUi ui;
    CVistrelApp app{&ui};
    CVistrelDoc* source = nullptr;
};

TEST_F(ScaleSpaceClusters, EveryThresholdChangeClustersAndEvaluates) {
    CScaleSpaceModel m(app);
    ASSERT_EQ(m.Source(), source);
    EXPECT_EQ(m.ClusterInfo(), "");
    Load(m);
    // 120: cluster A alone (3 spots in the first truth square), the second square missed;
    // its 7 x 7 bounds over the 20 pixel diameter squared.
    EXPECT_EQ(m.EvaluationLine(), "2; 2; 1; 0; 1; 1;[3]; [0.12];");
    EXPECT_EQ(m.ClusterInfo(), std::string(kSpotClusterHeader) + "2; 2; 1; 0; 1; 1;[3]; [0.12];");
    EXPECT_EQ(source->clusters.Count(), 1);
    EXPECT_EQ(m.Selected().Count(), 5);
    EXPECT_EQ(Points(m.InClusters()), (std::vector<CPoint>{{50, 50}, {56, 50}, {50, 56}}));

    // 100: cluster B joins as a false positive, 7 x 8 bounds: 0.14, listed first.
    MoveTo(m, 100);
    EXPECT_EQ(m.EvaluationLine(), "2; 2; 2; 1; 1; 1;[3]; [0.14];[0.12];");
    EXPECT_EQ(source->clusters.Count(), 2);
    EXPECT_EQ(
        Points(m.InClusters()),
        (std::vector<CPoint>{{50, 50}, {56, 50}, {50, 56}, {150, 150}, {156, 150}, {150, 157}}));

    // Above every spot: nothing selected, nothing clustered, everything missed.
    MoveTo(m, m.SliderMax());
    EXPECT_EQ(m.EvaluationLine(), "2; 2; 0; 0; 2; 0;[]; ");
    EXPECT_EQ(source->clusters.Count(), 0);
    EXPECT_EQ(m.InClusters().Count(), 0);

    // The automatic threshold (mean + F stdDev at the minimum scale: 10 + 5 F) evaluates too.
    m.SetAutoFactor(20);  // 110
    m.SelectAutomatic();
    EXPECT_EQ(m.EvaluationLine(), "2; 2; 1; 0; 1; 1;[3]; [0.12];");

    // A new source forgets the line.
    CVistrelDoc* other = AddDocument("/d/other.pgx", 1);
    ASSERT_TRUE(m.BindSource(other));
    EXPECT_EQ(m.EvaluationLine(), "");
    EXPECT_EQ(m.ClusterInfo(), "");
}

TEST_F(ScaleSpaceClusters, WithoutSourceTheModelKeepsItsOwnClusters) {
    app.SetActiveDocument(nullptr);
    CScaleSpaceModel m(app);
    ASSERT_EQ(m.Source(), nullptr);
    Load(m);
    // No truth and the default resolution (583.92 dpi: 0.2 cm = 46 pixels): A is the one
    // cluster, a false positive; its 7 x 7 bounds over 46 squared.
    EXPECT_EQ(m.Clusters().Count(), 1);
    EXPECT_EQ(m.EvaluationLine(), "0; 0; 1; 1; 0; 0;[]; [0.02];");
    EXPECT_EQ(source->clusters.Count(), 0);
}

TEST_F(ScaleSpaceClusters, PicturesOfClusteredSpotsAndClusterAreas) {
    CScaleSpaceModel m(app);
    Load(m);
    MoveTo(m, 100);
    m.SetShape(ESpotMark::kDots);

    m.SetWhat(ESpotShow::kSpots);
    auto all = m.Picture(source->image);
    ASSERT_TRUE(all);
    EXPECT_NE(all->GetPixel(150, 20), 0);  // selected, alone

    m.SetWhat(ESpotShow::kInClusters);
    auto clustered = m.Picture(source->image);
    ASSERT_TRUE(clustered);
    EXPECT_EQ(clustered->GetPixel(150, 20), 0);
    for (const CPoint& p : Points(m.InClusters())) EXPECT_NE(clustered->GetPixel(p.x, p.y), 0);
    EXPECT_EQ(clustered->GetPixel(53, 53), 0);  // below the threshold

    m.SetWhat(ESpotShow::kClusterAreas);
    auto areas = m.Picture(source->image);
    ASSERT_TRUE(areas);
    EXPECT_EQ(areas->GetPixel(50, 50), 7);     // corner of A's bounds
    EXPECT_EQ(areas->GetPixel(53, 53), 15);    // inside A
    EXPECT_EQ(areas->GetPixel(153, 153), 15);  // inside B
    EXPECT_EQ(areas->GetPixel(100, 100), 0);
    EXPECT_EQ(areas->GetPixel(150, 20), 0);
}

TEST_F(ScaleSpaceClusters, ChangedClusterParametersEvaluateAgain) {
    CScaleSpaceModel m(app);
    int reselected = 0;
    QObject::connect(&m, &CScaleSpaceModel::reselected, [&] { ++reselected; });
    // Without spots the broadcast changes nothing.
    app.Notifier().clusterParamsChanged();
    EXPECT_EQ(reselected, 0);
    EXPECT_EQ(m.EvaluationLine(), "");

    Load(m);
    MoveTo(m, 100);
    m.SetWhat(ESpotShow::kInClusters);
    m.ShowPicture();
    CVistrelDoc* picture = m.PictureDocument();
    ASSERT_TRUE(picture);
    ASSERT_NE(picture->image.GetPixel(150, 150), 0);

    // Four objects per cluster: neither A nor B is one any more.
    app.clusterParams.minObjects = 4;
    app.Notifier().clusterParamsChanged();
    EXPECT_EQ(reselected, 1);
    EXPECT_EQ(m.Threshold(), 100);
    EXPECT_EQ(m.EvaluationLine(), "2; 2; 0; 0; 2; 0;[]; ");
    EXPECT_EQ(m.InClusters().Count(), 0);
    EXPECT_EQ(source->clusters.Count(), 0);
    // The picture followed, in place.
    EXPECT_EQ(m.PictureDocument(), picture);
    EXPECT_EQ(picture->image.GetPixel(150, 150), 0);

    // Back to three, with a 1 cm (100 pixel) diameter: A and B again, their areas now over
    // 100 squared (56 and 49 pixels: 0.0056 and 0.0049).
    app.clusterParams.minObjects = 3;
    app.clusterParams.diameterCm = 1.0;
    app.Notifier().clusterParamsChanged();
    EXPECT_EQ(reselected, 2);
    EXPECT_EQ(m.EvaluationLine(), "2; 2; 2; 1; 1; 1;[3]; [0.01];[0.00];");
}

// ------------------------------------------------------------------ FROC

TEST_F(ScaleSpaceClusters, FrocOverTheDocumentsWithTruth) {
    CVistrelDoc* second = AddDocument("/d/second.pgx", 1);
    CVistrelDoc* noTruth = AddDocument("/d/none.pgx", 0);
    noTruth->rosRegions.RemoveAll();
    CSpotList firstSpots = HandMadeSpots();
    // The second image: one cluster over its second truth square, one elsewhere.
    CSpotList secondSpots;
    for (const CPointResponse& s : {Spot(15, 155, 400), Spot(20, 155, 380), Spot(15, 160, 50),
                                    Spot(100, 100, 60), Spot(104, 100, 70), Spot(100, 104, 80)})
        secondSpots.Append(s);

    CFrocRequest request;
    request.knownDocuments = {source, second, noTruth};
    request.knownSpots = {&firstSpots, &secondSpots, &firstSpots};
    request.thresholds = 7;
    CFrocModel froc;
    ASSERT_EQ(froc.Compute(app, request), EFrocOutcome::kDone);
    EXPECT_EQ(froc.DocumentNames(), (std::vector<std::string>{"/d/hand.pgx", "/d/second.pgx"}));
    EXPECT_TRUE(ui.progressTexts.empty());  // nothing had to be searched

    // The same as the sweep over the two images directly.
    std::vector<CFrocImage> images(2);
    const CVistrelDoc* docs[] = {source, second};
    const CSpotList* lists[] = {&firstSpots, &secondSpots};
    for (int i = 0; i < 2; ++i)
        images[std::size_t(i)] = {200,     200, 254.0, docs[i]->subtlety, &docs[i]->rosRegions,
                                  lists[i]};
    const std::vector<double> thresholds = SpreadThresholds(images, 7);
    ASSERT_EQ(thresholds.size(), 7u);
    EXPECT_EQ(froc.Thresholds(), thresholds);
    CFrocSettings settings;
    settings.clusters = app.clusterParams;
    const CFrocResult direct = FrocSweep(images, thresholds, settings);
    ASSERT_EQ(froc.Chart().points.size(), direct.points.size());
    for (std::size_t i = 0; i < direct.points.size(); ++i) {
        EXPECT_EQ(froc.Chart().points[i].threshold, direct.points[i].threshold);
        EXPECT_EQ(froc.Chart().points[i].sensitivity, direct.points[i].sensitivity);
        EXPECT_EQ(froc.Chart().points[i].fpPerImage, direct.points[i].fpPerImage);
    }
    EXPECT_EQ(froc.Chart().images, 2);
    EXPECT_EQ(froc.Chart().truthClusters, 4);
    EXPECT_EQ(froc.Chart().title, kFrocChartTitle);
    // The lowest threshold (50) finds two of the four truth squares (A and the second image's
    // cluster); B and the far cluster are false, one per image. The highest finds none.
    EXPECT_DOUBLE_EQ(direct.points.front().sensitivity, 0.5);
    EXPECT_DOUBLE_EQ(direct.points.front().fpPerImage, 1.0);
    EXPECT_DOUBLE_EQ(direct.points.back().sensitivity, 0.0);
}

TEST_F(ScaleSpaceClusters, FrocSearchesTheDocumentsWithoutSpotsAndCanBeCancelled) {
    // A speck image with truth that the window has not run on.
    std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
    doc->image = testsupport::SpeckImage();
    doc->pathName = "/d/specks.pgx";
    doc->rosRegions.Add(Square(10, 10, 60, 60));
    CVistrelDoc* specks = app.AddDocument(std::move(doc));
    app.SetActiveDocument(specks);
    source->rosRegions.RemoveAll();  // only the specks take part

    CScaleSpaceModel m(app);
    ASSERT_EQ(m.Source(), specks);
    ASSERT_FALSE(m.HasSpots());
    CFrocModel froc;
    ASSERT_TRUE(m.OnFroc(froc));
    EXPECT_EQ(ui.progressTexts, std::vector<std::string>{"FROC"});
    EXPECT_EQ(ui.progressEnds, 1);
    EXPECT_EQ(ui.busyDepth, 0);
    EXPECT_EQ(froc.DocumentNames(), std::vector<std::string>{"/d/specks.pgx"});
    // The thresholds spread over the spots the detector finds with the window's parameters.
    std::string log;
    auto found = CandidateListSSS(specks->image, 3, 10, 2, 3, 3, nullptr, log);
    ASSERT_TRUE(found);
    double lo = 0, hi = 0;
    found->Range(-1, lo, hi);
    ASSERT_EQ(froc.Thresholds().size(), std::size_t(kFrocThresholdCount));
    EXPECT_EQ(froc.Thresholds().front(), lo);
    EXPECT_EQ(froc.Thresholds().back(), hi);
    EXPECT_EQ(froc.Chart().images, 1);
    EXPECT_EQ(froc.Chart().truthClusters, 1);

    // Cancelled half-way through the search: the last chart stays.
    const std::vector<double> before = froc.Thresholds();
    m.SetMinScale(5);
    ui.cancelAt = 0.5;
    EXPECT_FALSE(m.OnFroc(froc));
    EXPECT_EQ(froc.Thresholds(), before);
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(ScaleSpaceClusters, FrocWithoutTruthSaysSo) {
    source->rosRegions.RemoveAll();
    CScaleSpaceModel m(app);
    Load(m);
    CFrocModel froc;
    EXPECT_FALSE(m.OnFroc(froc));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], kFrocNoTruthMessage);
    EXPECT_TRUE(froc.Chart().points.empty());

    // The window's own picture never counts, even with the source's truth copied into it.
    source->rosRegions.Add(Square(40, 40, 70, 70));
    m.ShowPicture();
    ASSERT_TRUE(m.PictureDocument());
    m.PictureDocument()->rosRegions.Add(Square(1, 1, 5, 5));
    EXPECT_EQ(CFrocModel::TruthDocuments(app, m.PictureDocument()),
              std::vector<CVistrelDoc*>{source});
}

TEST_F(ScaleSpaceClusters, FrocSelectsAsTheWindowDoes) {
    CScaleSpaceModel m(app);
    // Before any spots the source has to be searched with the window's parameters.
    m.SetMinScale(5);
    CFrocRequest request = m.FrocRequest();
    EXPECT_TRUE(request.knownDocuments.empty());
    EXPECT_EQ(request.detector.minScale, 5);
    EXPECT_EQ(request.k, -1);
    EXPECT_EQ(request.excludedScale, -1);

    Load(m);  // the file name sets the parameters (minimum scale 3)
    m.SetResType(1);
    m.SetKeepMinScale(false);
    m.ShowPicture();
    request = m.FrocRequest();
    EXPECT_EQ(request.k, 1);
    EXPECT_EQ(request.excludedScale, 3);
    ASSERT_EQ(request.knownDocuments, std::vector<const CVistrelDoc*>{source});
    ASSERT_EQ(request.knownSpots, std::vector<const CSpotList*>{&m.Spots()});
    ASSERT_TRUE(m.PictureDocument());
    EXPECT_EQ(request.skip, m.PictureDocument());
}

TEST_F(ScaleSpaceClusters, FrocWithTruthButNoSpotsSaysSo) {
    CSpotList none;
    CFrocRequest request;
    request.knownDocuments = {source};
    request.knownSpots = {&none};
    CFrocModel froc;
    EXPECT_EQ(froc.Compute(app, request), EFrocOutcome::kNoSpots);
    EXPECT_TRUE(froc.DocumentNames().empty());
}

}  // namespace
}  // namespace vistrel
