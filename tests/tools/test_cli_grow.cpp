// vistrel-cli grow and threshold: option errors, regions grown on a speck
// image from a spot file and from the detector, joining, truth, the OVERLAY
// output and the threshold counts.

#include <QJsonArray>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "core/image.h"
#include "detection/point_response.h"
#include "detection/spot_file.h"
#include "regions/overlay_file.h"
#include "regions/region.h"
#include "support/speck_image.h"

namespace vistrel::clitest {
namespace {

using testsupport::CSpeck;
using testsupport::CSpeckImageParams;
using testsupport::SpeckImage;

// The grey samples of an image, row by row.
std::vector<uint16_t> SamplesOf(const CMImage& image) {
    std::vector<uint16_t> samples;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x)
            samples.push_back(static_cast<uint16_t>(image.GetPixel(x, y)));
    return samples;
}

// A region of the JSON result rebuilt from its start and chain.
CRegion RegionOf(const QJsonObject& r) {
    const QJsonArray start = r["start"].toArray();
    return CRegion(std::to_string(start[0].toInt()) + " " + std::to_string(start[1].toInt()) + " " +
                   r["chain"].toString().toStdString());
}

class CliGrowTest : public CCliScratchTest {
  protected:
    // The default speck image as a 12-bit PGX.
    std::string WriteSpecks(const CSpeckImageParams& params = {}) {
        const CMImage image = SpeckImage(params);
        const std::string path = Path("specks.pgx");
        WriteFile(path, PgxBytes(12, image.width, image.height, SamplesOf(image)));
        return path;
    }
    // A spot file with one seed per point (response 100, scale 3).
    std::string WriteSeeds(const std::vector<CPoint>& points, const std::string& name = "s.cnd") {
        CSpotList seeds;
        for (const CPoint& p : points) seeds.AddNew(p, 100.0, 3.0);
        const std::string path = Path(name);
        EXPECT_EQ(SaveSpots(path, seeds, {0, 0}), int(points.size()));
        return path;
    }
    QJsonObject Grow(std::vector<std::string> args) {
        const CRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << Describe(args) << "\n" << run.err;
        return JsonOf(run);
    }
};

TEST_F(CliGrowTest, BadOptionsAndFilesGiveAMessageAndAnExitStatus) {
    const std::string image = WriteSpecks();
    const std::string seeds = WriteSeeds({{25, 25}});
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{"grow", image}, 2, "either as --cnd"},
        {{"grow", image, "--cnd", seeds, "--spots", "--threshold", "1"}, 2, "either as --cnd"},
        {{"grow", image, "--spots"}, 2, "--spots needs --threshold"},
        {{"grow", image, "--cnd", seeds, "--threshold", "1"}, 2, "goes with --spots"},
        {{"grow", image, "--cnd", seeds, "--min", "3"}, 2, "--min is a detector option"},
        {{"grow", image, "--spots", "--threshold", "1", "--min", "9", "--max", "4"},
         2,
         "--max must not be smaller"},
        {{"grow", image, "--spots", "--threshold", "x"}, 2, "--threshold"},
        {{"grow", image, "--cnd", seeds, "--algorithm", "fastest"},
         2,
         "--algorithm must be one of"},
        {{"grow", image, "--cnd", seeds, "--input", "sobel"}, 2, "--input must be one of"},
        {{"grow", image, "--cnd", seeds, "--window", "9"}, 2, "with its unit"},
        {{"grow", image, "--cnd", seeds, "--window", "acm"}, 2, "--window"},
        {{"grow", image, "--cnd", seeds, "--window", "-1px"}, 2, "--window"},
        {{"grow", image, "--cnd", seeds, "--directions", "6"}, 2, "4, 8 or 16"},
        {{"grow", image, "--cnd", seeds, "--k", "1.5x"}, 2, "--k"},
        {{"grow", image, "--cnd", seeds, "--overlay", ""}, 2, "--overlay needs a file name"},
        {{"grow", image, "--cnd", seeds, "--bogus"}, 2, "bogus"},
        {{"grow", Path("missing.pgx"), "--cnd", seeds}, 1, "missing.pgx"},
        {{"grow", image, "--cnd", Path("missing.cnd")}, 1, "cannot read the spot file"},
        {{"grow", image, "--cnd", seeds, "--overlay", Path("no/such/dir/r.OVERLAY")},
         1,
         "cannot write"},
        {{"threshold", image}, 2, "--value T is required"},
        {{"threshold", image, "--value", "ten"}, 2, "--value"},
        {{"threshold", image, "--value", "1", "--local-maxima", "0"}, 2, "--local-maxima"},
        {{"threshold", image, "--value", "1", "--local-maxima", "5", "--on-image"},
         2,
         "not --local-maxima"},
        {{"threshold", image, "--value", "1", "--out", Path("t.pgx")}, 1, "cannot write"},
        {{"threshold", Path("missing.pgx"), "--value", "1"}, 1, "missing.pgx"},
    };
    for (const Case& c : cases) {
        const CRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << Describe(c.args) << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << Describe(c.args) << "\n"
                                                              << run.err;
        EXPECT_TRUE(run.out.empty()) << Describe(c.args) << "\n" << run.out;
    }
}

TEST_F(CliGrowTest, OneRegionPerSpeckFromASpotFile) {
    const CSpeckImageParams params;
    const std::string image = WriteSpecks(params);
    std::vector<CPoint> points;
    for (const CSpeck& s : params.specks) points.push_back({s.x, s.y});
    const QJsonObject json =
        Grow({"grow", image, "--cnd", WriteSeeds(points), "--input", "image", "--window", "9px"});
    EXPECT_EQ(json["seeds"].toInt(), 4);
    EXPECT_EQ(json["window"].toInt(), 9);
    EXPECT_EQ(json["skipped_seeds"].toInt(), 0);
    const QJsonArray regions = json["regions"].toArray();
    ASSERT_EQ(regions.size(), 4);
    for (const CSpeck& s : params.specks) {
        int holding = 0;
        for (const QJsonValue& v : regions) {
            const QJsonObject r = v.toObject();
            const CRegion region = RegionOf(r);
            ASSERT_TRUE(region.IsValid()) << r["chain"].toString().toStdString();
            if (!region.Contains(s.x, s.y)) continue;
            ++holding;
            // The fields describe the outline they come with.
            EXPECT_EQ(r["area"].toInt(), int(region.Pixels().size()));
            const QJsonArray b = r["bounds"].toArray();
            EXPECT_EQ(CRect({b[0].toInt(), b[1].toInt(), b[2].toInt(), b[3].toInt()}),
                      region.Bounds());
            const QJsonArray c = r["centroid"].toArray();
            EXPECT_NEAR(c[0].toDouble(), s.x, 1.5);
            EXPECT_NEAR(c[1].toDouble(), s.y, 1.5);
            // A speck of radius r is a few pixels, not the whole window.
            EXPECT_GE(r["area"].toInt(), 1);
            EXPECT_LT(r["area"].toInt(), int(3.14 * (s.radius + 2) * (s.radius + 2)) + 4);
            EXPECT_EQ(r["type"].toString(), "m");
            EXPECT_EQ(r["diagnosis"].toInt(), 2);  // no truth beside the image
            EXPECT_EQ(r["scale"].toInt(), 3);
            EXPECT_DOUBLE_EQ(r["response"].toDouble(), 100.0);
        }
        EXPECT_EQ(holding, 1) << "speck at " << s.x << "," << s.y;
    }
}

TEST_F(CliGrowTest, DetectorSeedsFindTheSpecksTheSpotFileNames) {
    const CSpeckImageParams params;
    const std::string image = WriteSpecks(params);
    // The detector's seeds above a high threshold are the specks themselves.
    const QJsonObject detected = Grow({"grow", image, "--spots", "--threshold", "50"});
    const QJsonArray regions = detected["regions"].toArray();
    ASSERT_GE(detected["seeds"].toInt(), 1);
    for (const QJsonValue& v : regions) {
        const CRegion region = RegionOf(v.toObject());
        bool onSpeck = false;
        for (const CSpeck& s : params.specks) onSpeck = onSpeck || region.Contains(s.x, s.y);
        EXPECT_TRUE(onSpeck) << "a region away from every speck: "
                             << v.toObject()["chain"].toString().toStdString();
    }
    for (const CSpeck& s : params.specks) {
        bool covered = false;
        for (const QJsonValue& v : regions)
            covered = covered || RegionOf(v.toObject()).Contains(s.x, s.y);
        EXPECT_TRUE(covered) << "speck at " << s.x << "," << s.y;
    }
    // Nothing passes a threshold above every response, and no region grows.
    const QJsonObject none = Grow({"grow", image, "--spots", "--threshold", "1e9"});
    EXPECT_EQ(none["seeds"].toInt(), 0);
    EXPECT_TRUE(none["regions"].toArray().isEmpty());
}

TEST_F(CliGrowTest, NoJoinKeepsOverlappingRegionsApart) {
    // Two seeds on one wide speck: joined they make one region.
    CSpeckImageParams params;
    params.specks = {{40, 40, 4.0}};
    const std::string image = WriteSpecks(params);
    const std::string seeds = WriteSeeds({{39, 40}, {42, 40}});
    const std::vector<std::string> common = {"grow",        image,      "--cnd",    seeds,
                                             "--input",     "image",    "--window", "9px",
                                             "--algorithm", "max-slope"};
    const QJsonObject joined = Grow(common);
    std::vector<std::string> apartArgs = common;
    apartArgs.push_back("--no-join");
    const QJsonObject apart = Grow(apartArgs);
    EXPECT_EQ(joined["regions"].toArray().size(), 1);
    EXPECT_EQ(joined["joined"].toInt(), 1);
    EXPECT_EQ(apart["joined"].toInt(), 0);
    EXPECT_EQ(apart["regions"].toArray().size(), 2);
}

TEST_F(CliGrowTest, TruthBesideTheImageGivesTheDiagnosisAndOverlayWritesTheRegions) {
    const CSpeckImageParams params;
    const std::string image = WriteSpecks(params);
    // A malignant truth region around the first speck only.
    CRegions ros;
    ros.Add(CRegion({{15, 15}, {35, 15}, {35, 35}, {15, 35}}, CRegion::PointsMode::Polygon));
    ros.At(0)->diagnosis = 1;
    COverlayPlacement placement;
    placement.imageWidth = params.width;
    placement.imageHeight = params.height;
    ASSERT_EQ(WriteOverlay(Path("specks.OVERLAY"), {}, CRegions{}, ros, placement, true),
              COverlayWriteResult::Written);
    const std::string out = Path("grown.OVERLAY");
    const QJsonObject json = Grow({"grow", image, "--cnd", WriteSeeds({{25, 25}, {70, 30}}),
                                   "--input", "image", "--window", "9px", "--overlay", out});
    const QJsonArray regions = json["regions"].toArray();
    ASSERT_EQ(regions.size(), 2);
    for (const QJsonValue& v : regions) {
        const CRegion region = RegionOf(v.toObject());
        EXPECT_EQ(v.toObject()["diagnosis"].toInt(), region.Contains(25, 25) ? 1 : 2);
    }
    // The file reads back as the same outlines, no temporary left behind.
    std::string description;
    int16_t subtlety = 0;
    CRegions back, backRos;
    ASSERT_TRUE(ReadOverlay(out, placement, description, subtlety, back, backRos));
    ASSERT_EQ(back.Count(), 2);
    for (int32_t i = 0; i < 2; ++i)
        EXPECT_TRUE(back.At(i)->IsEqual(RegionOf(regions[i].toObject())));
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(CliGrowTest, WindowUnitsAtTheImageResolution) {
    const std::string image = WriteSpecks();
    const std::string seeds = WriteSeeds({{25, 25}});
    struct Case {
        const char* window;  // nullptr: the default
        int pixels;
    };
    // Without a case file the default resolution, 583.92 pixels per inch.
    const Case cases[] = {{nullptr, 69}, {"0.3cm", 69},  {"1cm", 230},
                          {"9px", 9},    {"0.001cm", 3}, {"1px", 3}};
    for (const Case& c : cases) {
        std::vector<std::string> args = {"grow", image, "--cnd", seeds, "--input", "image"};
        if (c.window) args.insert(args.end(), {"--window", c.window});
        EXPECT_EQ(Grow(args)["window"].toInt(), c.pixels) << (c.window ? c.window : "default");
    }
}

TEST_F(CliGrowTest, ThresholdCountsPixelsAndMaxima) {
    // 8 x 6, background 10; a 2 x 2 block of 50, one lone 60 and a 40.
    std::vector<uint16_t> samples(48, 10);
    auto at = [&](int x, int y) -> uint16_t& { return samples[std::size_t(y * 8 + x)]; };
    at(1, 1) = at(2, 1) = at(1, 2) = 50;
    at(2, 2) = 55;
    at(6, 4) = 60;
    at(5, 1) = 40;
    const std::string image = Path("small.pgx");
    WriteFile(image, PgxBytes(12, 8, 6, samples));
    struct Case {
        std::vector<std::string> options;
        const char* field;
        int expected;
    };
    const Case cases[] = {
        {{"--value", "50"}, "pixelsAbove", 4},  // the lone 60 has no neighbour above
        {{"--value", "50", "--keep-single"}, "pixelsAbove", 5},
        {{"--value", "50", "--on-image"}, "pixelsAbove", 4},
        {{"--value", "61"}, "pixelsAbove", 0},
        {{"--value", "45", "--local-maxima", "3"}, "maximaFound", 3},
        {{"--value", "45", "--local-maxima", "3"}, "maximaKept", 2},
        {{"--value", "0", "--local-maxima", "3"}, "maximaKept", 3},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"threshold", image};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CRun run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << Describe(args) << "\n" << run.err;
        EXPECT_EQ(JsonOf(run)[c.field].toInt(), c.expected) << Describe(args);
    }
}

TEST_F(CliGrowTest, ThresholdWritesTheKeptPixelsAndTheMaximaMarks) {
    std::vector<uint16_t> samples(48, 10);
    samples[9] = samples[10] = 50;  // (1, 1), (2, 1)
    samples[30] = 70;               // (6, 3)
    const std::string image = Path("small.pgx");
    WriteFile(image, PgxBytes(12, 8, 6, samples));
    const std::string above = Path("above.pgm"), marks = Path("marks.pgm");
    ASSERT_EQ(Run({"threshold", image, "--value", "40", "--out", above}).exitCode, 0);
    ASSERT_EQ(
        Run({"threshold", image, "--value", "60", "--local-maxima", "3", "--out", marks}).exitCode,
        0);
    CMImage a, m;
    std::string description;
    ASSERT_EQ(a.Open(above, description), 1);
    ASSERT_EQ(m.Open(marks, description), 1);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            EXPECT_EQ(a.GetPixel(x, y) != 0, y == 1 && (x == 1 || x == 2)) << x << "," << y;
            EXPECT_EQ(m.GetPixel(x, y) != 0, x == 6 && y == 3) << x << "," << y;
        }
}

// The bundled phantom's specks as the seed detector and the default growing
// find them: the share of truth specks whose centre lies in a grown region,
// and the regions holding no speck centre.
TEST_F(CliGrowTest, PhantomSpecksAreCoveredByRegionsGrownFromDetectedSeeds) {
    const std::string image = Path("phantom.pgx");
    const std::vector<std::string> phantomArgs = {"phantom",  image, "--width",    "512",
                                                  "--height", "640", "--clusters", "2",
                                                  "--spots",  "6",   "--seed",     "7"};
    const CRun made = Run(phantomArgs);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const QJsonArray specks = JsonOf(made)["calcifications"].toArray();
    ASSERT_EQ(specks.size(), 18);
    const double threshold = 60.0;
    const QJsonObject json =
        Grow({"grow", image, "--spots", "--threshold", std::to_string(threshold)});
    std::vector<CRegion> regions;
    for (const QJsonValue& v : json["regions"].toArray()) regions.push_back(RegionOf(v.toObject()));
    std::vector<bool> holdsSpeck(regions.size(), false);
    int covered = 0;
    for (const QJsonValue& v : specks) {
        const int x = int(std::lround(v.toObject()["x"].toDouble()));
        const int y = int(std::lround(v.toObject()["y"].toDouble()));
        bool in = false;
        for (std::size_t i = 0; i < regions.size(); ++i)
            if (regions[i].Contains(x, y)) in = holdsSpeck[i] = true;
        covered += in;
    }
    int falseRegions = 0;
    for (bool h : holdsSpeck) falseRegions += !h;
    const double coverage = double(covered) / double(specks.size());
    std::printf(
        "phantom 512x640 seed 7, threshold %.0f: %d seeds, %zu regions, %d of %lld specks "
        "covered (%.3f), %d false regions\n",
        threshold, json["seeds"].toInt(), regions.size(), covered,
        static_cast<long long>(specks.size()), coverage, falseRegions);
    // Measured: every speck covered, 38 false regions of 56 (the seeds' local
    // statistics taken over the whole response at their scale). The phantom
    // and the growing are deterministic, so these hold until either changes.
    EXPECT_EQ(covered, 18);
    EXPECT_LE(falseRegions, 38);
}

}  // namespace
}  // namespace vistrel::clitest
