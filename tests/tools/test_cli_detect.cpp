// vistrel-cli detect, run as a program.

#include <QJsonArray>
#include <string>

#include "cli_test_support.h"
#include "regions/overlay_file.h"
#include "support/speck_image.h"
#include "workspace/process_detection.h"

namespace vistrel::clitest {
namespace {

class CliDetect : public CCliScratchTest {
  protected:
    // A group of bright specks inside a truth square (subtlety 4), with a
    // breast outline that leaves a 10-pixel band round the border.
    void SetUp() override {
        testsupport::CSpeckImageParams p;
        p.width = 160;
        p.height = 140;
        p.contrast = 900;
        p.specks = {{60, 50, 1.6}, {72, 56, 1.8}, {66, 66, 1.5}, {80, 62, 2.0}, {58, 70, 1.7}};
        image = Path("film.pgx");
        ASSERT_EQ(testsupport::SpeckImage(p).Save(false, image), 1);
        WriteFile(Path("film.sgt"), "160 140\n\n5\n10 10\n150 10\n150 130\n10 130\n10 10\n");
        CRegions none, truth;
        truth.Add(CRegion({{50, 40}, {90, 40}, {90, 80}, {50, 80}}, CRegion::PointsMode::Polygon));
        COverlayPlacement placement;
        placement.imageWidth = p.width;
        placement.imageHeight = p.height;
        ASSERT_EQ(WriteOverlay(Path("film.OVERLAY"), "SUBTLETY 4\n", none, truth, placement, true),
                  COverlayWriteResult::Written);
    }
    std::string image;
};

TEST_F(CliDetect, PrintsTheResultAndAppendsToTheResultFiles) {
    const std::string results = Path("res");
    const CRun run = Run({"detect", image, "--par-n", "10", "--results", results});
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    const QJsonObject json = JsonOf(run);
    EXPECT_EQ(json["file"].toString().toStdString(), image);
    EXPECT_EQ(json["par_n"].toDouble(), 10.0);
    EXPECT_EQ(json["threshold_type"].toInt(), 0);
    EXPECT_TRUE(json["breast_found"].toBool());
    const QJsonArray rect = json["breast_rect"].toArray();
    ASSERT_EQ(rect.size(), 4);
    EXPECT_EQ(rect[0].toInt(), 10);
    EXPECT_EQ(rect[1].toInt(), 10);
    EXPECT_EQ(rect[2].toInt(), 151);
    EXPECT_EQ(rect[3].toInt(), 131);
    EXPECT_GE(json["spots"].toInt(), 3);
    EXPECT_EQ(json["clusters"].toInt(), 1);
    EXPECT_EQ(json["large_clusters"].toInt(), 0);
    const std::string evaluation = json["evaluation"].toString().toStdString();
    EXPECT_EQ(evaluation.rfind("4; 1; 1; 0; 0; 1;", 0), 0u) << evaluation;

    // The printed line is the one in the results file, under its header.
    const QJsonObject files = json["files"].toObject();
    const std::string resultsFile = files["results"].toString().toStdString();
    EXPECT_EQ(resultsFile, BsdResultsPath(results, 10, 0));
    const std::string line = json["result_line"].toString().toStdString();
    EXPECT_EQ(line.find(image + "; "), 0u) << line;
    EXPECT_NE(line.find("; 0; 1; " + evaluation), std::string::npos) << line;
    EXPECT_EQ(ReadFile(resultsFile), std::string(kBsdResultsHeader) + line + "\n");
    for (const char* key : {"regions", "log", "thresholds"})
        EXPECT_TRUE(fs::exists(files[key].toString().toStdString())) << key;
    const QJsonObject seconds = json["seconds"].toObject();
    for (const char* key : {"breast", "detection", "growing", "clustering", "writing"})
        EXPECT_GE(seconds[key].toDouble(-1), 0.0) << key;

    // A second run adds its line and no second header.
    const CRun again = Run({"detect", image, "--results", results});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(ReadFile(resultsFile), std::string(kBsdResultsHeader) + line + "\n" +
                                         JsonOf(again)["result_line"].toString().toStdString() +
                                         "\n");
}

TEST_F(CliDetect, DefaultsToTheResultsFolderBesideTheImage) {
    const CRun run = Run({"detect", image, "--threshold-type", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::exists(Path("results/BSDx_results_10_1.txt")));
    EXPECT_TRUE(fs::exists(Path("results/film.regions_BSDx_10_1.OVERLAY")));
}

TEST_F(CliDetect, BadArgumentsAndUnreadableFiles) {
    struct Case {
        std::vector<std::string> args;
        int exit;
    };
    const std::vector<Case> cases = {
        {{"detect"}, 2},
        {{"detect", image, "--par-n", "-1"}, 2},
        {{"detect", image, "--par-n", "x"}, 2},
        {{"detect", image, "--threshold-type", "2"}, 2},
        {{"detect", image, "--results", ""}, 2},
        {{"detect", Path("missing.pgx")}, 1},
    };
    for (const Case& c : cases) {
        const CRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exit) << Describe(c.args) << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << Describe(c.args);
        EXPECT_FALSE(run.err.empty()) << Describe(c.args);
    }
    // A results folder that cannot be made: failure, nothing printed.
    WriteFile(Path("blocked"), "a file");
    const CRun blocked = Run({"detect", image, "--results", Path("blocked")});
    EXPECT_EQ(blocked.exitCode, 1) << blocked.err;
    EXPECT_NE(blocked.err.find("results folder"), std::string::npos) << blocked.err;
}

}  // namespace
}  // namespace vistrel::clitest
