// The document's seed list: replacing it, preparing it with the detector,
// seeds from region centroids, re-segmenting around clusters, and how seeds
// and clusters follow the image into new windows and crops.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "../support/speck_image.h"
#include "vistrel_doc_fixture.h"
#include "workspace/command_registry.h"
#include "workspace/scale_space_model.h"

namespace vistrel {
namespace {

std::vector<std::pair<int, int>> Points(const CSpotList& spots) {
    std::vector<std::pair<int, int>> out;
    for (int32_t i = 0; i < spots.Count(); ++i) out.push_back({spots[i].x, spots[i].y});
    return out;
}

CSpotList SpotsAt(std::initializer_list<CPoint> points) {
    CSpotList list;
    for (const CPoint& p : points) list.AddNew(p, 1.0);
    return list;
}

std::unique_ptr<CCluster> ClusterOf(std::initializer_list<CPoint> points) {
    auto cluster = std::make_unique<CCluster>();
    for (const CPoint& p : points) cluster->AddPoint(p.x, p.y);
    return cluster;
}

class DocSeedsTest : public DocCommandTest {
  protected:
    // The speck image as a document (not owned by the app).
    std::unique_ptr<CVistrelDoc> SpeckDoc() {
        auto doc = std::make_unique<CVistrelDoc>(app, 1);
        doc->image = testsupport::SpeckImage();
        return doc;
    }
};

TEST_F(DocSeedsTest, SetSeedsReplacesTheListAndTellsTheViews) {
    auto doc = MakeNumbered(20, 10);
    doc->SetSeeds(SpotsAt({{1, 1}, {2, 2}}));
    CUpdateLog log(*doc);
    doc->SetSeeds(SpotsAt({{5, 6}}));
    EXPECT_EQ(Points(doc->spots), (std::vector<std::pair<int, int>>{{5, 6}}));
    EXPECT_EQ(log.codes, std::vector<int>{kUpdateAnnotations});
    EXPECT_TRUE(doc->HasSeeds());
    doc->SetSeeds(CSpotList{});
    EXPECT_FALSE(doc->HasSeeds());
}

// Every speck of the image has a seed within two pixels of its centre.
TEST_F(DocSeedsTest, PrepareSeedsFindsTheSpecksAboveTheThreshold) {
    auto doc = SpeckDoc();
    CUpdateLog log(*doc);
    ASSERT_TRUE(doc->PrepareSeeds(-DBL_MAX));
    EXPECT_EQ(log.codes, std::vector<int>{kUpdateAnnotations});
    const CSpotList all = doc->spots;
    for (const testsupport::CSpeck& speck : testsupport::CSpeckImageParams{}.specks) {
        bool near = false;
        for (int32_t i = 0; i < all.Count(); ++i)
            near = near || (std::abs(all[i].x - speck.x) <= 2 && std::abs(all[i].y - speck.y) <= 2);
        EXPECT_TRUE(near) << speck.x << "," << speck.y;
    }
    // The seeds carry the detector's figures (scale first).
    ASSERT_GT(all.Count(), 0);
    EXPECT_GE(all[0].values.size(), 5u);

    // A threshold between the responses keeps only those at or above it.
    std::vector<double> responses;
    for (int32_t i = 0; i < all.Count(); ++i) responses.push_back(all[i].response);
    std::sort(responses.begin(), responses.end());
    const double threshold = responses[responses.size() / 2];
    ASSERT_TRUE(doc->PrepareSeeds(threshold));
    ASSERT_GT(doc->spots.Count(), 0);
    EXPECT_LT(doc->spots.Count(), all.Count());
    int expected = 0;
    for (double r : responses) expected += r >= threshold;
    EXPECT_EQ(doc->spots.Count(), expected);
    for (int32_t i = 0; i < doc->spots.Count(); ++i) EXPECT_GE(doc->spots[i].response, threshold);

    // Above every response there is no seed, and that is not a failure.
    ASSERT_TRUE(doc->PrepareSeeds(responses.back() + 1.0));
    EXPECT_FALSE(doc->HasSeeds());
}

TEST_F(DocSeedsTest, PrepareSeedsStaysInsideTheBreastMask) {
    auto doc = SpeckDoc();
    // The left half only: the specks at x 70 and 95 lie outside.
    doc->breastSegment = CBreastSgt({{0, 0}, {55, 0}, {55, 99}, {0, 99}});
    ASSERT_TRUE(doc->BuildBreastMask());
    ASSERT_TRUE(doc->PrepareSeeds(-DBL_MAX));
    ASSERT_TRUE(doc->HasSeeds());
    for (int32_t i = 0; i < doc->spots.Count(); ++i)
        EXPECT_NE(doc->breastMask.GetPixel(doc->spots[i].x, doc->spots[i].y), 0)
            << doc->spots[i].x << "," << doc->spots[i].y;
}

TEST_F(DocSeedsTest, CancelledOrInvalidPreparationKeepsTheSeeds) {
    auto doc = SpeckDoc();
    doc->SetSeeds(SpotsAt({{3, 4}}));
    CUpdateLog log(*doc);
    int calls = 0;
    EXPECT_FALSE(doc->PrepareSeeds(-DBL_MAX, [&](double) { return ++calls < 2; }));
    EXPECT_GT(calls, 0);
    EXPECT_EQ(Points(doc->spots), (std::vector<std::pair<int, int>>{{3, 4}}));
    EXPECT_TRUE(log.codes.empty());

    EXPECT_FALSE(doc->PrepareSeeds(std::nan("")));
    auto empty = std::make_unique<CVistrelDoc>(app, 2);
    empty->SetSeeds(SpotsAt({{1, 1}}));
    EXPECT_FALSE(empty->PrepareSeeds(0.0));
    EXPECT_EQ(empty->spots.Count(), 1);
}

// One seed per region at the rounded mean of its pixels, valued with the grey
// level there; cluster outlines (numbers from 1001) go.
TEST_F(DocSeedsTest, SeedsFromCentroids) {
    struct Case {
        const char* name;
        bool withSeeds;
        int answer;  // to "Remove active seeds?": 0 Yes, 1 No
        bool changed;
    } cases[] = {
        {"no seeds: no question", false, 1, true},
        {"seeds, Yes", true, 0, true},
        {"seeds, No", true, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = MakeNumbered(30, 20);
        doc->regions.Add(Square(2, 2, 6, 6));     // centroid (4, 4)
        doc->regions.Add(Square(10, 3, 13, 10));  // centroid (11.5, 6.5) -> (12, 7)
        CRegion outline = Square(1, 1, 20, 15);
        outline.clusterNumber = 1001;
        doc->regions.Add(outline);
        if (c.withSeeds) doc->SetSeeds(SpotsAt({{25, 15}}));
        sink.asked.clear();
        sink.answers = {c.answer};
        CUpdateLog log(*doc);

        EXPECT_EQ(doc->OnSeedsFromCentroids(), c.changed);
        EXPECT_EQ(sink.asked, c.withSeeds ? std::vector<std::string>{kRemoveSeedsQuestion}
                                          : std::vector<std::string>{});
        if (!c.changed) {
            EXPECT_EQ(Points(doc->spots), (std::vector<std::pair<int, int>>{{25, 15}}));
            EXPECT_EQ(doc->regions.Count(), 3);
            EXPECT_TRUE(log.codes.empty());
            continue;
        }
        EXPECT_EQ(Points(doc->spots), (std::vector<std::pair<int, int>>{{4, 4}, {12, 7}}));
        EXPECT_EQ(doc->spots[0].response, 1 + 4 + 10 * 4);
        EXPECT_EQ(doc->spots[1].response, 1 + 12 + 10 * 7);
        EXPECT_TRUE(doc->spots[0].values.empty());
        EXPECT_EQ(doc->regions.Count(), 2);  // the cluster outline went
        EXPECT_EQ(log.codes, std::vector<int>{kUpdateAnnotations});
    }
}

TEST_F(DocSeedsTest, SeedsFromCentroidsNeedsRegions) {
    auto doc = MakeNumbered(30, 20);
    doc->SetSeeds(SpotsAt({{5, 5}}));
    EXPECT_FALSE(doc->OnSeedsFromCentroids());
    EXPECT_TRUE(sink.asked.empty());
    EXPECT_EQ(doc->spots.Count(), 1);
}

TEST_F(DocSeedsTest, WthAroundClustersNeedsClusters) {
    CVistrelDoc* doc = OpenSource();
    ASSERT_NE(doc, nullptr);
    doc->SetSeeds(SpotsAt({{10, 10}}));
    const std::size_t count = app.Documents().size();
    EXPECT_EQ(doc->OnSeedsWthLocalStatistics(), nullptr);
    EXPECT_EQ(app.Documents().size(), count);
    EXPECT_EQ(ui.progressEnds, 0);  // nothing started
}

// A bright blob on a flat background, with a cluster on it.
TEST_F(DocSeedsTest, WthAroundClustersOpensTheGrownRegions) {
    CVistrelDoc* doc = OpenSource();
    ASSERT_NE(doc, nullptr);
    for (int y = 0; y < doc->image.height; ++y)
        for (int x = 0; x < doc->image.width; ++x)
            doc->image.SetPixel(x, y,
                                (std::abs(x - 20) <= 2 && std::abs(y - 15) <= 2) ? 3000 : 500);
    doc->image.InvalidateHistogram();
    doc->resolution = 100.0f;  // 0.15 cm = 6 pixels
    doc->clusters.Add(ClusterOf({{20, 15}, {21, 15}}));
    CRegion truth = Square(15, 10, 25, 20);
    truth.diagnosis = 1;
    doc->rosRegions.Add(truth);
    doc->subtlety = 3;
    doc->description = "blob";
    // A seed far from the cluster is not used; the cluster's points then are.
    doc->SetSeeds(SpotsAt({{2, 2}}));
    const std::size_t count = app.Documents().size();

    CVistrelDoc* result = doc->OnSeedsWthLocalStatistics();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(app.Documents().size(), count + 1);
    EXPECT_NE(result, doc);
    ASSERT_GT(result->regions.Count(), 0);
    for (int32_t i = 0; i < result->regions.Count(); ++i) {
        const CRegion* r = result->regions.At(i);
        EXPECT_EQ(r->type, 'm');
        EXPECT_EQ(r->diagnosis, 1);  // from the truth region holding the seed
        EXPECT_TRUE(r->Contains(20, 15));
        EXPECT_FALSE(r->Contains(2, 2));
    }
    EXPECT_EQ(result->clusters.Count(), 1);
    EXPECT_EQ(result->rosRegions.Count(), 1);
    EXPECT_EQ(result->subtlety, 3);
    EXPECT_EQ(result->description, "blob");
    EXPECT_EQ(result->resolution, 100.0f);
    EXPECT_EQ(result->image.GetPixel(20, 15), 3000);
    EXPECT_TRUE(doc->regions.IsEmpty());  // the source is unchanged
}

// Seeds and clusters move with the cut and those outside it are dropped.
TEST_F(DocSeedsTest, SeedsAndClustersFollowTheRoi) {
    const CRect roi{10, 5, 30, 25};
    auto prepare = [&](CVistrelDoc& doc) {
        doc.SetSeeds(SpotsAt({{12, 6}, {35, 6}}));
        doc.clusters.Add(ClusterOf({{15, 10}, {20, 12}}));  // inside
        doc.clusters.Add(ClusterOf({{5, 10}, {20, 12}}));   // reaches outside
    };
    auto expectCut = [&](const CVistrelDoc& doc) {
        EXPECT_EQ(Points(doc.spots), (std::vector<std::pair<int, int>>{{2, 1}}));
        ASSERT_EQ(doc.clusters.Count(), 1);
        EXPECT_EQ(doc.clusters.At(0)->Points(), (std::vector<CPoint>{{5, 5}, {10, 7}}));
    };
    {
        SCOPED_TRACE("Open ROI in New Window");
        CVistrelDoc* doc = OpenSource();
        ASSERT_NE(doc, nullptr);
        prepare(*doc);
        CVistrelDoc* part = doc->OnOpenRoiInNewWindow(roi, 0);
        ASSERT_NE(part, nullptr);
        expectCut(*part);
        EXPECT_EQ(doc->spots.Count(), 2);  // the source keeps its own
        EXPECT_EQ(doc->clusters.Count(), 2);
    }
    {
        SCOPED_TRACE("Crop ROI");
        auto doc = MakeNumbered(40, 30);
        prepare(*doc);
        ASSERT_TRUE(doc->OnCropRoi(roi));
        expectCut(*doc);
    }
    {
        SCOPED_TRACE("New Window copies them unchanged");
        CVistrelDoc* doc = OpenSource();
        ASSERT_NE(doc, nullptr);
        prepare(*doc);
        CVistrelDoc* copy = doc->OnNewWindow();
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(Points(copy->spots), Points(doc->spots));
        EXPECT_EQ(copy->clusters.Count(), 2);
    }
}

TEST_F(DocSeedsTest, SeedCommandsAreEnabledByTheirData) {
    CVistrelDoc* doc = OpenSource();
    ASSERT_NE(doc, nullptr);
    const CCommandContext context{app, doc, {}, nullptr, nullptr};
    const int wth = int(CommandId::SeedsWthLocalStatistics);
    const int centroids = int(CommandId::SeedsFromCentroids);
    EXPECT_FALSE(CommandEnabled(context, wth));
    EXPECT_FALSE(CommandEnabled(context, centroids));
    doc->clusters.Add(ClusterOf({{3, 3}}));
    EXPECT_TRUE(CommandEnabled(context, wth));
    EXPECT_FALSE(CommandEnabled(context, centroids));
    doc->regions.Add(Square(2, 2, 6, 6));
    EXPECT_TRUE(CommandEnabled(context, centroids));

    // The command itself makes the seeds.
    RunCommand(context, centroids);
    EXPECT_EQ(Points(doc->spots), (std::vector<std::pair<int, int>>{{4, 4}}));
}

// The spot detector's "Set seeds" fills the document; "Segment" also asks
// the screen for the growing tool in its normal form.
TEST_F(DocSeedsTest, SpotDetectorHandsItsSpotsToTheDocument) {
    auto doc = SpeckDoc();
    CVistrelDoc* source = app.AddDocument(std::move(doc));
    ASSERT_NE(source, nullptr);
    app.SetActiveDocument(source);
    CScaleSpaceModel m(app);
    ASSERT_TRUE(m.BindActiveDocument());
    ASSERT_EQ(m.Source(), source);
    ASSERT_TRUE(m.OnSpots());
    m.MoveSlider(m.SliderMax());
    ASSERT_GT(m.Selected().Count(), 0);

    ASSERT_TRUE(m.SetSeeds());
    EXPECT_EQ(Points(source->spots), Points(m.Selected()));
    EXPECT_TRUE(ui.segmentToolOpened.empty());

    source->SetSeeds(CSpotList{});
    ui.activated.clear();
    ASSERT_TRUE(m.OnSegment());
    EXPECT_EQ(Points(source->spots), Points(m.Selected()));
    EXPECT_EQ(ui.segmentToolOpened, (std::vector<std::pair<CVistrelDoc*, bool>>{{source, false}}));
    EXPECT_EQ(ui.activated, std::vector<CVistrelDoc*>{source});

    app.CloseDocument(source);
    EXPECT_FALSE(m.OnSegment());
    EXPECT_EQ(ui.segmentToolOpened.size(), 1u);
}

}  // namespace
}  // namespace vistrel

namespace vistrel {
namespace {

// Seeds and cluster points stay on the pixels they marked when the image is
// turned or mirrored: the image holds a different value at every pixel, so the value under each point tells whether it moved with the image.
TEST_F(DocSeedsTest, SeedsAndClustersFollowTurnsAndMirrors) {
    const std::vector<std::pair<const char*, std::function<bool(CVistrelDoc&)>>> cases = {
        {"rotate 180", [](CVistrelDoc& d) { return d.OnRotate(kRotate180); }},
        {"rotate clockwise", [](CVistrelDoc& d) { return d.OnRotate(kRotateClockwise); }},
        {"rotate counter-clockwise",
         [](CVistrelDoc& d) { return d.OnRotate(kRotateCounterClockwise); }},
        {"flip horizontal", [](CVistrelDoc& d) { return d.OnFlipHorizontal(); }},
        {"flip vertical", [](CVistrelDoc& d) { return d.OnFlipVertical(); }},
    };
    const std::vector<CPoint> marked = {{0, 0}, {19, 0}, {3, 7}, {19, 9}, {11, 4}};
    for (const auto& [name, turn] : cases) {
        SCOPED_TRACE(name);
        auto doc = MakeNumbered(20, 10);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x) doc->image.SetPixel(x, y, 1 + x + 20 * y);
        CSpotList seeds;
        std::vector<int16_t> under;
        for (const CPoint& p : marked) {
            seeds.AddNew(p, 1.0);
            under.push_back(doc->image.GetPixel(p.x, p.y));
        }
        doc->SetSeeds(seeds);
        doc->clusters.Add(ClusterOf({marked[2], marked[4]}));
        ASSERT_TRUE(turn(*doc));
        ASSERT_EQ(doc->spots.Count(), int32_t(marked.size()));
        for (int32_t i = 0; i < doc->spots.Count(); ++i) {
            const CPoint p = doc->spots[i].Point();
            ASSERT_TRUE(p.x >= 0 && p.y >= 0 && p.x < doc->image.width && p.y < doc->image.height);
            EXPECT_EQ(doc->image.GetPixel(p.x, p.y), under[std::size_t(i)]) << i;
        }
        const std::vector<CPoint>& points = doc->clusters.At(0)->Points();
        ASSERT_EQ(points.size(), 2u);
        EXPECT_EQ(doc->image.GetPixel(points[0].x, points[0].y), under[2]);
        EXPECT_EQ(doc->image.GetPixel(points[1].x, points[1].y), under[4]);
    }
}

}  // namespace
}  // namespace vistrel
