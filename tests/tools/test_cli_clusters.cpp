// vistrel-cli clusters and froc: clusters of a spot file and of OVERLAY
// regions scored against the image's truth, the FROC sweep over images with
// and without truth, argument errors and the chart files.

#include <QImage>
#include <QJsonArray>
#include <QXmlStreamReader>
#include <cmath>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "core/image.h"
#include "detection/clustering.h"
#include "detection/point_response.h"
#include "detection/spot_file.h"
#include "regions/overlay_file.h"
#include "regions/region.h"
#include "support/speck_image.h"

namespace vistrel::clitest {
namespace {

// 254 dpi: 1 cm is 100 pixels, so --diameter 0.2 is a 20-pixel diameter
// (neighbourhood radius 10).
const std::string kResolution = "254";

CRegion Square(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return CRegion({{left, top}, {right, top}, {right, bottom}, {left, bottom}},
                   CRegion::PointsMode::Polygon);
}

// A small disc of pixels as a region of the given type.
CRegion Speck(CPoint centre, char type) {
    std::vector<CPoint> pixels;
    for (int32_t dy = -1; dy <= 1; ++dy)
        for (int32_t dx = -1; dx <= 1; ++dx) pixels.push_back({centre.x + dx, centre.y + dy});
    CRegion region(pixels, CRegion::PointsMode::PixelSet);
    region.type = type;
    return region;
}

std::vector<CPoint> PointsOf(const QJsonArray& array) {
    std::vector<CPoint> points;
    for (const auto& p : array) points.push_back({p.toArray()[0].toInt(), p.toArray()[1].toInt()});
    return points;
}

std::vector<int> IntsOf(const QJsonArray& array) {
    std::vector<int> values;
    for (const auto& v : array) values.push_back(v.toInt());
    return values;
}

class CliClustersTest : public CCliScratchTest {
  protected:
    // An image of the given size; its samples do not matter to the clustering.
    std::string WriteImage(const std::string& name, const CMImage& image) {
        const std::string path = Path(name);
        EXPECT_GT(image.Save(true, path), 0) << path;
        return path;
    }
    std::string WriteFlatImage(const std::string& name, int32_t width = 200, int32_t height = 200) {
        CMImage image;
        EXPECT_TRUE(image.Create(width, height, 12, 1));
        return WriteImage(name, image);
    }
    // The image's truth: its OVERLAY companion with these ROS and subtlety.
    void WriteTruth(const std::string& image, const std::vector<CRegion>& rosList, int subtlety,
                    int32_t width = 200, int32_t height = 200) {
        CRegions ros, regions;
        for (CRegion r : rosList) {
            r.diagnosis = 1;
            ros.Add(r);
        }
        COverlayPlacement placement;
        placement.imageWidth = width;
        placement.imageHeight = height;
        const std::string path = image.substr(0, image.rfind('.')) + ".OVERLAY";
        ASSERT_EQ(WriteOverlay(path, "SUBTLETY " + std::to_string(subtlety) + "\n", regions, ros,
                               placement, true),
                  COverlayWriteResult::Written);
    }
    std::string WriteSpots(const std::vector<CPoint>& points) {
        CSpotList spots;
        for (const CPoint& p : points) spots.AddNew(p, 100.0, 3.0);
        const std::string path = Path("s.cnd");
        EXPECT_EQ(SaveSpots(path, spots, {0, 0}), int(points.size()));
        return path;
    }
    QJsonObject Succeed(const std::vector<std::string>& args) {
        const CRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << Describe(args) << "\n" << run.err;
        return JsonOf(run);
    }
};

// Four spots close together inside the truth square, three close together
// away from it, two isolated ones.
const std::vector<CPoint> kSpots = {{50, 50},  {53, 50}, {150, 150}, {50, 53}, {150, 40},
                                    {152, 42}, {54, 54}, {20, 180},  {148, 41}};

TEST_F(CliClustersTest, SpotClustersAreListedAndScoredAgainstTheImageTruth) {
    const std::string spots = WriteSpots(kSpots);
    struct Case {
        const char* name;
        bool truth;
        const char* evaluation;
    };
    // Bounding areas 25 and 15 pixels over 20^2: 0.0625 and 0.0375.
    const Case cases[] = {
        {"with truth", true, "3; 1; 2; 1; 0; 1;[4]; [0.06];[0.04];"},
        {"without truth", false, "0; 0; 2; 2; 0; 0;[]; [0.06];[0.04];"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string image = WriteFlatImage(std::string(c.truth ? "t" : "n") + ".pgx");
        if (c.truth) WriteTruth(image, {Square(40, 40, 60, 60)}, 3);
        const QJsonObject json = Succeed(
            {"clusters", image, "--cnd", spots, "--diameter", "0.2", "--resolution", kResolution});
        EXPECT_EQ(json["source"].toString(), "spots");
        EXPECT_EQ(json["points"].toInt(), 9);
        EXPECT_EQ(json["evaluation"].toString().toStdString(), c.evaluation);
        EXPECT_EQ(json["header"].toString().toStdString(), kSpotClusterHeader);
        const QJsonArray clusters = json["clusters"].toArray();
        ASSERT_EQ(clusters.size(), 2);
        const QJsonObject first = clusters[0].toObject(), second = clusters[1].toObject();
        EXPECT_EQ(first["id"].toInt(), 1);
        EXPECT_EQ(PointsOf(first["points"].toArray()),
                  (std::vector<CPoint>{{50, 50}, {53, 50}, {50, 53}, {54, 54}}));
        EXPECT_EQ(IntsOf(first["bounds"].toArray()), (std::vector<int>{50, 50, 55, 55}));
        EXPECT_EQ(second["id"].toInt(), 2);
        EXPECT_EQ(PointsOf(second["points"].toArray()),
                  (std::vector<CPoint>{{150, 40}, {152, 42}, {148, 41}}));
        EXPECT_EQ(IntsOf(second["bounds"].toArray()), (std::vector<int>{148, 40, 153, 43}));
    }
}

TEST_F(CliClustersTest, ClusterParametersChangeWhatIsGrouped) {
    const std::string image = WriteFlatImage("p.pgx");
    const std::string spots = WriteSpots(kSpots);
    struct Case {
        std::vector<std::string> options;
        int clusters;
    };
    const Case cases[] = {
        {{"--diameter", "0.2"}, 2},
        {{"--diameter", "0.2", "--min-objects", "4"}, 1},  // the group of three is too small
        {{"--diameter", "0.02"}, 0},                       // 2 px: no spot has a neighbour
        // The second pass needs 4 neighbours within 10 px: only the group of four has them.
        {{"--diameter", "0.2", "--separation", "0.2", "--min-separated", "4"}, 1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"clusters", image,          "--cnd",
                                         spots,      "--resolution", kResolution};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const QJsonObject json = Succeed(args);
        EXPECT_EQ(json["clusters"].toArray().size(), c.clusters) << Describe(args);
    }
}

TEST_F(CliClustersTest, RegionClustersHaveHullOutlinesAndFollowTheTypes) {
    const std::string image = WriteFlatImage("r.pgx");
    WriteTruth(image, {Square(40, 40, 60, 60)}, 2);
    CRegions regions, ros;
    for (const CPoint p : {CPoint{45, 45}, CPoint{50, 46}, CPoint{46, 52}})
        regions.Add(Speck(p, 'm'));
    for (const CPoint p : {CPoint{150, 150}, CPoint{154, 150}, CPoint{150, 155}})
        regions.Add(Speck(p, 'f'));
    COverlayPlacement placement;
    placement.imageWidth = placement.imageHeight = 200;
    const std::string regionsPath = Path("regions.OVERLAY");
    ASSERT_EQ(WriteOverlay(regionsPath, "", regions, ros, placement, true),
              COverlayWriteResult::Written);

    struct Case {
        std::vector<std::string> types;
        int points;
        int clusters;
        const char* evaluationStart;
    };
    const Case cases[] = {
        {{}, 6, 2, "2; 1; 2; 1; 0; 1;3; "},
        {{"--types", "m"}, 3, 1, "2; 1; 1; 0; 0; 1;3; "},
        {{"--types", "p"}, 0, 0, "2; 1; 0; 0; 1; 0;"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"clusters",   image, "--overlay",    regionsPath,
                                         "--diameter", "0.2", "--resolution", kResolution};
        args.insert(args.end(), c.types.begin(), c.types.end());
        SCOPED_TRACE(Describe(args));
        const QJsonObject json = Succeed(args);
        EXPECT_EQ(json["source"].toString(), "regions");
        EXPECT_EQ(json["points"].toInt(), c.points);
        const std::string line = json["evaluation"].toString().toStdString();
        EXPECT_EQ(line.substr(0, std::string(c.evaluationStart).size()), c.evaluationStart) << line;
        const QJsonArray clusters = json["clusters"].toArray();
        ASSERT_EQ(clusters.size(), c.clusters);
        if (c.clusters == 0) continue;
        // The first cluster is the one of the 'm' specks: its points are their centroids.
        const QJsonObject first = clusters[0].toObject();
        EXPECT_EQ(PointsOf(first["points"].toArray()),
                  (std::vector<CPoint>{{45, 45}, {50, 46}, {46, 52}}));
        // The hull of the members' boundaries, rebuilt from its chain, spans them.
        const QJsonObject outline = first["outline"].toObject();
        const QJsonArray start = outline["start"].toArray();
        const CRegion hull(std::to_string(start[0].toInt()) + " " +
                           std::to_string(start[1].toInt()) + " " +
                           outline["chain"].toString().toStdString());
        ASSERT_TRUE(hull.IsValid());
        EXPECT_EQ(hull.Bounds(), (CRect{44, 44, 52, 54}));
    }
}

TEST_F(CliClustersTest, BadArgumentsGiveAUsageMessageAndStatus2) {
    const std::string image = WriteFlatImage("a.pgx");
    const std::string spots = WriteSpots(kSpots);
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{"clusters", image}, 2, "either from --cnd or from --overlay"},
        {{"clusters", image, "--cnd", spots, "--overlay", spots}, 2, "either from --cnd"},
        {{"clusters", image, "--cnd", spots, "--types", "m"}, 2, "--types goes with --overlay"},
        {{"clusters", image, "--overlay", spots, "--types", "x"}, 2, "not a region type letter"},
        {{"clusters", image, "--cnd", spots, "--diameter", "0"}, 2, "--diameter"},
        {{"clusters", image, "--cnd", spots, "--min-objects", "0"}, 2, "--min-objects"},
        {{"clusters", image, "--cnd", spots, "--min-separated", "-1"}, 2, "--min-separated"},
        {{"clusters", image, "--cnd", spots, "--resolution", "0"}, 2, "--resolution"},
        {{"clusters", image, "--cnd", Path("missing.cnd")}, 1, "cannot be read"},
        {{"clusters", Path("missing.pgx"), "--cnd", spots}, 1, "missing.pgx"},
        {{"froc"}, 2, "one or more images"},
        {{"froc", image, "--thresholds", "1:0:1"}, 2, "B must not be smaller than A"},
        {{"froc", image, "--thresholds", "0:1:0"}, 2, "STEP"},
        {{"froc", image, "--thresholds", "0:1:-1"}, 2, "STEP"},
        {{"froc", image, "--thresholds", "0:1"}, 2, "A:B:STEP"},
        {{"froc", image, "--thresholds", "0:1:1:1"}, 2, "A:B:STEP"},
        {{"froc", image, "--thresholds", "a:1:1"}, 2, "--thresholds A"},
        {{"froc", image, "--thresholds", "0:1e300:1e-300"}, 2, "more than 1000"},
        {{"froc", image, "--thresholds", "0:1000:1"}, 2, "more than 1000"},
        {{"froc", image, "--thresholds", "0:1:1", "--auto-range", "3"}, 2, "exclude each other"},
        {{"froc", image, "--auto-range", "0"}, 2, "--auto-range"},
        {{"froc", image, "--auto-range", "1001"}, 2, "--auto-range"},
        {{"froc", image, "--plot", Path("c.jpg")}, 2, ".png or .svg"},
        {{"froc", image, "--title", "x"}, 2, "--title goes with --plot"},
        {{"froc", image, "--min", "9", "--max", "4"}, 2, "--max must not be smaller"},
        // The only image has no truth: nothing to score.
        {{"froc", image}, 1, "no image with known truth"},
    };
    for (const Case& c : cases) {
        const CRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << Describe(c.args) << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << Describe(c.args) << "\n"
                                                              << run.err;
        EXPECT_TRUE(run.out.empty()) << Describe(c.args);
    }
}

class CliFrocTest : public CliClustersTest {
  protected:
    void SetUp() override {
        // A cluster of four specks inside the truth square and one speck alone.
        testsupport::CSpeckImageParams params;
        params.specks = {{30, 30, 2.0}, {38, 30, 2.0}, {30, 38, 2.0}, {38, 38, 2.0}, {95, 75, 2.0}};
        withTruth = WriteImage("lesion.pgx", testsupport::SpeckImage(params));
        WriteTruth(withTruth, {Square(22, 22, 46, 46)}, 4, params.width, params.height);
        // The same tissue without specks: a normal image (truth file, no ROS) ...
        params.specks.clear();
        normal = WriteImage("normal.pgx", testsupport::SpeckImage(params));
        WriteTruth(normal, {}, 0, params.width, params.height);
        // ... and one whose truth is unknown.
        unknown = WriteImage("unknown.pgx", testsupport::SpeckImage(params));
    }
    std::vector<std::string> Froc(std::vector<std::string> more) const {
        std::vector<std::string> args = {"froc", withTruth,      unknown,
                                         normal, missing,        "--diameter",
                                         "0.3",  "--resolution", kResolution};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    std::string withTruth, normal, unknown, missing = Path("missing.pgx");
};

TEST_F(CliFrocTest, SweepScoresImagesWithTruthAndSkipsTheOthers) {
    const QJsonObject json = Succeed(Froc({"--thresholds", "0:100000:50000"}));
    EXPECT_EQ(json["images"].toInt(), 2);
    EXPECT_EQ(json["truth_clusters"].toInt(), 1);
    EXPECT_TRUE(json["complete"].toBool());
    // Unknown truth and an unreadable file are both left out, each with its reason.
    const QJsonArray skipped = json["skipped"].toArray();
    ASSERT_EQ(skipped.size(), 2);
    EXPECT_EQ(skipped[0].toObject()["image"].toString().toStdString(), unknown);
    EXPECT_NE(skipped[0].toObject()["reason"].toString().indexOf("unknown truth"), -1);
    EXPECT_EQ(skipped[1].toObject()["image"].toString().toStdString(), missing);
    EXPECT_NE(skipped[1].toObject()["reason"].toString().indexOf("missing.pgx"), -1);

    const QJsonArray points = json["points"].toArray();
    ASSERT_EQ(points.size(), 3);
    const QJsonArray perImage = json["per_image"].toArray();
    ASSERT_EQ(perImage.size(), 2);
    const QJsonObject lesion = perImage[0].toObject(), normalImage = perImage[1].toObject();
    EXPECT_EQ(lesion["image"].toString().toStdString(), withTruth);
    EXPECT_EQ(lesion["truth"].toInt(), 1);
    EXPECT_EQ(lesion["subtlety"].toInt(), 4);
    EXPECT_GE(lesion["spots"].toInt(), 4);
    EXPECT_EQ(normalImage["truth"].toInt(), 0);
    for (int t = 0; t < 3; ++t) {
        const QJsonObject p = points[t].toObject();
        EXPECT_DOUBLE_EQ(p["threshold"].toDouble(), 50000.0 * t);
        const QJsonObject a = lesion["scores"].toArray()[t].toObject();
        const QJsonObject b = normalImage["scores"].toArray()[t].toObject();
        EXPECT_DOUBLE_EQ(a["threshold"].toDouble(), 50000.0 * t);
        // The curve is the sum over the scored images only.
        EXPECT_DOUBLE_EQ(p["sensitivity"].toDouble(), a["tp"].toInt() / 1.0) << t;
        EXPECT_DOUBLE_EQ(p["fp_per_image"].toDouble(), (a["fp"].toInt() + b["fp"].toInt()) / 2.0)
            << t;
        EXPECT_EQ(b["tp"].toInt(), 0);
    }
    // Every spot passes threshold 0: the speck cluster is found; no response reaches 50000.
    EXPECT_DOUBLE_EQ(points[0].toObject()["sensitivity"].toDouble(), 1.0);
    for (int t = 1; t < 3; ++t) {
        EXPECT_DOUBLE_EQ(points[t].toObject()["sensitivity"].toDouble(), 0.0);
        EXPECT_DOUBLE_EQ(points[t].toObject()["fp_per_image"].toDouble(), 0.0);
    }
}

TEST_F(CliFrocTest, AutoRangeSpreadsThresholdsOverTheResponses) {
    const QJsonObject json = Succeed(Froc({"--auto-range", "5"}));
    const QJsonArray points = json["points"].toArray();
    ASSERT_EQ(points.size(), 5);
    for (int t = 1; t < 5; ++t)
        EXPECT_GT(points[t].toObject()["threshold"].toDouble(),
                  points[t - 1].toObject()["threshold"].toDouble());
    // The lowest threshold keeps every spot, the highest only the strongest.
    EXPECT_DOUBLE_EQ(points[0].toObject()["sensitivity"].toDouble(), 1.0);
    EXPECT_LE(points[4].toObject()["fp_per_image"].toDouble(), 0.5);
}

TEST_F(CliFrocTest, PlotIsWrittenAsSvgOrPng) {
    {
        const std::string svg = Path("froc.svg");
        Succeed(Froc({"--auto-range", "4", "--plot", svg, "--title", "speck test"}));
        const std::string text = ReadFile(svg);
        QXmlStreamReader xml(QByteArray::fromStdString(text));
        ASSERT_TRUE(xml.readNextStartElement()) << text.substr(0, 200);
        EXPECT_EQ(xml.name().toString(), "svg");
        while (!xml.atEnd()) xml.readNext();
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        EXPECT_NE(text.find("speck test"), std::string::npos);
    }
    {
        const std::string png = Path("froc.PNG");
        Succeed(Froc({"--auto-range", "4", "--plot", png}));
        const QImage picture(QString::fromStdString(png), "PNG");
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.width(), 960);
        EXPECT_EQ(picture.height(), 720);
    }
    {
        // An unwritable place fails with a message, not a crash.
        const std::string bad = Path("no/such/folder/froc.svg");
        const CRun run = Run(Froc({"--auto-range", "4", "--plot", bad}));
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find(bad), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace vistrel::clitest
