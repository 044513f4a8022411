// The cluster commands of a document: clustering its regions, outlining and
// evaluating the clusters against the truth regions, and pruning regions.

#include <gtest/gtest.h>

#include "detection/region_clusters.h"
#include "vistrel_doc_fixture.h"
#include "workspace/command_registry.h"

namespace vistrel {
namespace {

// 254 dpi: 1 cm = 100 px, 1 mm = 10 px, 1 mm2 = 100 px.
constexpr float kResolution = 254.0f;

// A 5 x 5 pixel square region centred at (x, y).
CRegion Spot(int32_t x, int32_t y, char type) {
    CRegion r = Square(x - 2, y - 2, x + 2, y + 2);
    r.type = type;
    return r;
}

int CountSet(const CMImage& image) {
    int n = 0;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) n += image.GetPixel(x, y) != 0;
    return n;
}

class DocClustersTest : public DocAnnotationTest {
  protected:
    void SetUp() override {
        DocAnnotationTest::SetUp();
        // Diameter 20 px (city-block radius 10), three objects, no separation pass.
        app.clusterParams = {0.2, 3, 0.1, 0};
        doc = MakeDoc(200, 200, 12);
        doc->resolution = kResolution;
        doc->subtlety = 3;
        // Cluster A of microcalcifications, inside the truth region.
        for (CPoint p : {CPoint{20, 20}, CPoint{25, 20}, CPoint{20, 25}})
            doc->regions.Add(Spot(p.x, p.y, 'm'));
        // Cluster B of plain objects, away from any truth.
        for (CPoint p : {CPoint{100, 100}, CPoint{105, 100}, CPoint{100, 105}})
            doc->regions.Add(Spot(p.x, p.y, 'o'));
        // A lone calcification, too far from anything to cluster.
        doc->regions.Add(Spot(170, 170, 'm'));
        doc->rosRegions.Add(Square(10, 10, 40, 40));
    }
    std::vector<int32_t> ClusterNumbers() const {
        std::vector<int32_t> numbers;
        for (int32_t i = 0; i < doc->regions.Count(); ++i)
            numbers.push_back(doc->regions.At(i)->clusterNumber);
        return numbers;
    }
    int OutlineCount() const {
        int n = 0;
        for (int32_t i = 0; i < doc->regions.Count(); ++i)
            n += doc->regions.At(i)->IsClusterOutline();
        return n;
    }
    CCommandContext Context() { return {app, doc.get(), {}, nullptr, nullptr}; }
    bool Enabled(CommandId id) { return CommandEnabled(Context(), static_cast<int>(id)); }

    std::unique_ptr<CVistrelDoc> doc;
};

TEST_F(DocClustersTest, MakeClustersNumbersTheRegionsAndOpensTheirPointsAsCircles) {
    CUpdateLog updates(*doc);
    CVistrelDoc* marks = doc->OnMakeClusters();
    ASSERT_NE(marks, nullptr);
    EXPECT_EQ(ClusterNumbers(), (std::vector<int32_t>{1, 1, 1, 2, 2, 2, 0}));
    ASSERT_EQ(doc->clusters.Count(), 2);
    EXPECT_EQ(doc->clusters.At(0)->Count(), 3);
    EXPECT_EQ(doc->clusters.At(1)->Count(), 3);
    EXPECT_EQ(OutlineCount(), 0);
    EXPECT_EQ(updates.codes, std::vector<int>{kUpdateAnnotations});
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0], marks);

    // A 1-bit field with a circle of 0.5 mm (5 px: 21 pixels) at every clustered point.
    const CMImage& m = marks->image;
    ASSERT_EQ(m.depth, 1);
    ASSERT_EQ(m.width, 200);
    ASSERT_EQ(m.height, 200);
    for (int32_t i = 0; i < 2; ++i)
        for (const CPoint& p : doc->clusters.At(i)->Points()) {
            EXPECT_NE(m.GetPixel(p.x, p.y), 0) << p.x << "," << p.y;
            EXPECT_NE(m.GetPixel(p.x + 2, p.y + 1), 0);
            EXPECT_EQ(m.GetPixel(p.x + 2, p.y + 2), 0);  // outside the circle
        }
    EXPECT_EQ(m.GetPixel(170, 170), 0);  // the lone region is no cluster point
    // Six circles, those of each cluster overlapping.
    EXPECT_GT(CountSet(m), 21);
    EXPECT_LE(CountSet(m), 6 * 21);
}

TEST_F(DocClustersTest, MakeClustersAgainReplacesTheClusters) {
    doc->clusters.Add(std::make_unique<CCluster>())->AddPoint(1, 1);
    ASSERT_NE(doc->OnMakeClusters(), nullptr);
    app.clusterParams.minObjects = 4;  // neither cluster is big enough now
    EXPECT_EQ(doc->OnMakeClusters(), nullptr);
    EXPECT_EQ(doc->clusters.Count(), 0);
    EXPECT_EQ(ClusterNumbers(), std::vector<int32_t>(7, 0));
    EXPECT_EQ(ui.opened.size(), 1u);  // nothing to show the second time
}

TEST_F(DocClustersTest, BinaryImageWithoutRegionsIsClusteredFromItsPixels) {
    auto binary = MakeDoc(60, 60, 1);
    binary->resolution = kResolution;
    for (CPoint p : {CPoint{10, 10}, CPoint{12, 10}, CPoint{10, 13}, CPoint{50, 50}})
        binary->image.SetPixel(p.x, p.y, 1);
    ASSERT_TRUE(binary->IsBinaryImage());
    EXPECT_TRUE(CommandEnabled({app, binary.get(), {}, nullptr, nullptr},
                               static_cast<int>(CommandId::MakeClusters)));
    CVistrelDoc* marks = binary->OnMakeClusters();
    ASSERT_NE(marks, nullptr);
    ASSERT_EQ(binary->clusters.Count(), 1);
    EXPECT_EQ(binary->clusters.At(0)->Count(), 3);
    EXPECT_NE(marks->image.GetPixel(12, 10), 0);
    EXPECT_EQ(marks->image.GetPixel(50, 50), 0);

    // A grey image without regions has no points at all.
    auto grey = MakeDoc(60, 60, 8);
    grey->image.SetPixel(10, 10, 200);
    EXPECT_FALSE(CommandEnabled({app, grey.get(), {}, nullptr, nullptr},
                                static_cast<int>(CommandId::MakeClusters)));
    EXPECT_EQ(grey->OnMakeClusters(), nullptr);
    EXPECT_EQ(grey->clusters.Count(), 0);
}

// Each cluster's outline is the hull of its three 5 x 5 squares: a 10 x 10
// square missing the 15-pixel corner beyond the two far squares, 85 px =
// 0.85 mm2. The truth square (31 x 31 = 961 px = 9.61 mm2) holds all of
// cluster A's outline and members.
constexpr char kAllTypesLine[] =
    "3; 1; 2; 1; 0; 1;3; 0.850000; 9.610000; 0.088450; 8.844953; 0.850000; 0; 0.850000; "
    "0.850000;";

TEST_F(DocClustersTest, ClusterAreasOutlinesEvaluatesAndShowsTheOutlines) {
    const std::string line = doc->OnClusterAreas("");
    EXPECT_EQ(line, kAllTypesLine);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], std::string(kRegionClustersHeader) + kAllTypesLine);
    ASSERT_EQ(doc->regions.Count(), 9);
    EXPECT_EQ(OutlineCount(), 2);
    EXPECT_EQ(doc->regions.At(7)->clusterNumber, ClusterOutlineNumber(1));
    EXPECT_EQ(doc->regions.At(8)->clusterNumber, ClusterOutlineNumber(2));
    EXPECT_EQ(doc->regions.At(7)->type, 'c');

    ASSERT_EQ(ui.opened.size(), 1u);
    const CMImage& outlines = ui.opened[0]->image;
    ASSERT_EQ(outlines.width, 200);
    EXPECT_EQ(outlines.GetPixel(18, 18), 7);   // hull corner: border
    EXPECT_EQ(outlines.GetPixel(22, 22), 15);  // inside
    EXPECT_EQ(outlines.GetPixel(27, 27), 0);   // the cut-off corner
    EXPECT_EQ(outlines.GetPixel(103, 103), 15);
    EXPECT_EQ(outlines.GetPixel(170, 170), 0);  // the lone region has no outline
    EXPECT_EQ(CountSet(outlines), 2 * 85);

    // Again: the old outlines are replaced, not doubled.
    EXPECT_EQ(doc->OnClusterAreas(""), kAllTypesLine);
    EXPECT_EQ(OutlineCount(), 2);
}

TEST_F(DocClustersTest, MClusterAreasTakesOnlyTheMicrocalcifications) {
    const std::string line = doc->OnClusterAreas("m");
    EXPECT_EQ(line,
              "3; 1; 1; 0; 0; 1;3; 0.850000; 9.610000; 0.088450; 8.844953; 0.850000; 0; 0.850000;");
    EXPECT_EQ(ClusterNumbers().size(), 8u);
    EXPECT_EQ(OutlineCount(), 1);
    ASSERT_EQ(doc->clusters.Count(), 1);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], std::string(kRegionClustersHeader) + line);
}

TEST_F(DocClustersTest, EvaluateClusterResultsScoresTheCurrentRegionsAsTheyAre) {
    // Not clustered yet: no groups.
    EXPECT_EQ(doc->OnEvaluateClusterResults(), "3; 1; 0; 0; 1; 0;;;;;;;0");
    doc->OnClusterAreas("");
    sink.shown.clear();
    const int32_t regionsBefore = doc->regions.Count();
    EXPECT_EQ(doc->OnEvaluateClusterResults(), kAllTypesLine);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], std::string(kClusterResultsHeader) + kAllTypesLine);
    EXPECT_EQ(doc->regions.Count(), regionsBefore);
    EXPECT_EQ(ui.opened.size(), 1u);  // only the one of Cluster Areas

    // Without regions the short line of an empty detection.
    doc->regions.RemoveAll();
    EXPECT_EQ(doc->OnEvaluateClusterResults(), "3; 1; 0; 0; 1; 0;");
}

TEST_F(DocClustersTest, RemoveBadRegionsPrunesThenClustersTheRemainingPoints) {
    // The image is dark; only cluster A's squares (and the lone one) are
    // bright against their surroundings. A large bright blob is a false
    // finding ('f'), kept but out of the "mp" clustering.
    for (int32_t y = 0; y < 200; ++y)
        for (int32_t x = 0; x < 200; ++x) doc->image.SetPixel(x, y, 100);
    auto brighten = [&](const CRegion& r) {
        for (const CPoint& p : r.Pixels()) doc->image.SetPixel(p.x, p.y, 1000);
    };
    for (int32_t i : {0, 1, 2, 6}) brighten(*doc->regions.At(i));
    CRegion blob = Square(140, 20, 160, 40);
    brighten(blob);
    doc->regions.Add(blob);
    doc->image.InvalidateHistogram();

    const std::string line = doc->OnRemoveBadRegions();
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], std::string(kRegionClustersHeader) + line);
    // Cluster B (no brighter than its ring) is gone; the survivors of A form
    // the one cluster, the blob stays as 'f'.
    int fibres = 0, members = 0;
    for (int32_t i = 0; i < doc->regions.Count(); ++i) {
        const CRegion& r = *doc->regions.At(i);
        EXPECT_FALSE(r.Bounds().left >= 95 && r.Bounds().right <= 110) << "cluster B kept";
        fibres += r.type == 'f';
        members += r.clusterNumber == 1;
    }
    EXPECT_EQ(fibres, 1);
    EXPECT_EQ(members, 3);
    EXPECT_EQ(OutlineCount(), 1);
    ASSERT_EQ(doc->clusters.Count(), 1);
    EXPECT_EQ(line,
              "3; 1; 1; 0; 0; 1;3; 0.850000; 9.610000; 0.088450; 8.844953; 0.850000; 0; 0.850000;");
}

TEST_F(DocClustersTest, WithoutRegionsTheCommandsDoNothing) {
    doc->regions.RemoveAll();
    EXPECT_FALSE(Enabled(CommandId::MakeClusters));
    EXPECT_FALSE(Enabled(CommandId::ClusterAreas));
    EXPECT_FALSE(Enabled(CommandId::MClusterAreas));
    EXPECT_FALSE(Enabled(CommandId::RemoveBadRegions));
    EXPECT_TRUE(Enabled(CommandId::EvaluateClusterResults));
    for (CommandId id : {CommandId::MakeClusters, CommandId::ClusterAreas, CommandId::MClusterAreas,
                         CommandId::RemoveBadRegions})
        RunCommand(Context(), static_cast<int>(id));
    EXPECT_EQ(doc->OnMakeClusters(), nullptr);
    EXPECT_EQ(doc->OnClusterAreas(""), "");
    EXPECT_EQ(doc->OnRemoveBadRegions(), "");
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_TRUE(doc->regions.IsEmpty());

    // Clusters alone (from a spot tool) enable the areas commands.
    doc->clusters.Add(std::make_unique<CCluster>())->AddPoint(5, 5);
    EXPECT_TRUE(Enabled(CommandId::ClusterAreas));
    EXPECT_TRUE(Enabled(CommandId::MClusterAreas));
    EXPECT_FALSE(Enabled(CommandId::RemoveBadRegions));

    // No image: nothing at all.
    auto empty = std::make_unique<CVistrelDoc>(app, 2);
    for (CommandId id : {CommandId::MakeClusters, CommandId::ClusterAreas,
                         CommandId::EvaluateClusterResults, CommandId::RemoveBadRegions})
        EXPECT_FALSE(
            CommandEnabled({app, empty.get(), {}, nullptr, nullptr}, static_cast<int>(id)));
    EXPECT_EQ(empty->OnEvaluateClusterResults(), "");
}

TEST_F(DocClustersTest, TheMenuCommandsReachTheDocument) {
    struct Case {
        CommandId id;
        const char* header;
    };
    for (const Case& c : {Case{CommandId::ClusterAreas, kRegionClustersHeader},
                          Case{CommandId::EvaluateClusterResults, kClusterResultsHeader}}) {
        sink.shown.clear();
        ASSERT_TRUE(Enabled(c.id));
        RunCommand(Context(), static_cast<int>(c.id));
        ASSERT_EQ(sink.shown.size(), 1u);
        EXPECT_EQ(sink.shown[0], std::string(c.header) + kAllTypesLine);
    }
    RunCommand(Context(), static_cast<int>(CommandId::MakeClusters));
    EXPECT_EQ(ui.opened.size(), 2u);  // the outlines, then the circles
}

}  // namespace
}  // namespace vistrel
