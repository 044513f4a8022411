#include "workspace/process_detection.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "../support/speck_image.h"
#include "core/text.h"
#include "vistrel_doc_fixture.h"
#include "workspace/batch.h"
#include "workspace/two_params_model.h"

namespace vistrel {
namespace {

namespace fs = std::filesystem;
using testsupport::CSpeckImageParams;
using testsupport::SpeckImage;

// A 12-bit mammogram-like image with a tight group of bright specks (one
// cluster at the default cluster parameters) inside a truth square, and a
// breast outline beside it that leaves a 10-pixel band round the border.
CSpeckImageParams ClusterImage() {
    CSpeckImageParams p;
    p.width = 160;
    p.height = 140;
    p.contrast = 900;
    p.specks = {{60, 50, 1.6}, {72, 56, 1.8}, {66, 66, 1.5}, {80, 62, 2.0}, {58, 70, 1.7}};
    return p;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

class ProcessDetectionTest : public DocTest {
  protected:
    void SetUp() override {
        DocTest::SetUp();
        imagePath = Path("case_1.LEFT_CC.pgx");
        ASSERT_EQ(SpeckImage(ClusterImage()).Save(false, imagePath), 1);
        WriteText(Path("case_1.LEFT_CC.sgt"),
                  "160 140\n\n5\n10 10\n150 10\n150 130\n10 130\n10 10\n");
        folder = Path("out");
    }
    CVistrelDoc* Open() {
        CVistrelDoc* doc = app.OpenDocumentFile(imagePath);
        if (!doc) return nullptr;
        doc->rosRegions.Add(Square(50, 40, 90, 80));
        doc->subtlety = 4;
        return doc;
    }
    CProcessDetectionResult Run(CVistrelDoc& doc, double parN = 10, int type = 0,
                                const ProgressFn& progress = {}) {
        CProcessDetectionParams params;
        params.parN = parN;
        params.thresholdType = type;
        params.resultsFolder = folder;
        return ProcessDetection(doc, params, progress);
    }

    std::string imagePath;
    std::string folder;
};

TEST(BsdNames, FilesCarryParNAndThresholdType) {
    EXPECT_EQ(BsdRegionFilePath("/r", "/d/A_1.LEFT_CC.pgx", 10, 0),
              "/r/A_1.LEFT_CC.regions_BSDx_10_0.OVERLAY");
    EXPECT_EQ(BsdLogPath("/r", 7.6, 1), "/r/BSDx_log_8_1.txt");
    EXPECT_EQ(BsdThresholdsPath("/r", 10, 0), "/r/BSDx_log_10_0_thresholds.txt");
    EXPECT_EQ(BsdResultsPath("/r", 10, 0), "/r/BSDx_results_10_0.txt");
    EXPECT_EQ(BsdWithoutCorrectionsPath("/r", "set", 10, 0, 1.0, 3),
              "/r/_set_BSDx_results_10_0_without_coorections_mca1.0_mcn3.txt");
    EXPECT_EQ(BsdWithCorrectionsPath("/r", "set", 0.5, 4),
              "/r/_set_evaluation_BSDx_results_with_corrections_mca0.5_mcn4.txt");
    EXPECT_EQ(DetectionResultsFolder("/d/e/x.pgx"), "/d/e/results");
}

TEST_F(ProcessDetectionTest, FindsTheClusterAndWritesEveryFileCharacterByCharacter) {
    CVistrelDoc* doc = Open();
    ASSERT_TRUE(doc);
    const CProcessDetectionResult r = Run(*doc);
    ASSERT_TRUE(r.done) << r.error;
    EXPECT_TRUE(r.breastFound);
    EXPECT_EQ(r.breastRect, (CRect{10, 10, 151, 131}));
    EXPECT_GE(r.spots, 3);
    EXPECT_GE(r.regions, 3);
    EXPECT_EQ(r.clusters, 1);
    EXPECT_EQ(r.largeClusters, 0);

    // Results file: the header once, then the file name, the breast
    // rectangle's area, large clusters and clusters, then the evaluation.
    const std::string results = ReadFileBytes(BsdResultsPath(folder, 10, 0));
    const std::string area = Format("%lf", PixelAreaToMm2(141.0 * 121.0, doc->resolution));
    ASSERT_EQ(results.rfind(kBsdResultsHeader, 0), 0u) << results;
    const std::string line = results.substr(std::strlen(kBsdResultsHeader));
    EXPECT_EQ(line, imagePath + "; " + area + "; 0; 1; " + r.evaluationLine + "\n");
    // One truth location hit by the one cluster: subtlety 4, 1 truth, 1
    // indication, no FP, no FN, 1 TP, then the TP's piece.
    EXPECT_EQ(r.evaluationLine.rfind("4; 1; 1; 0; 0; 1;", 0), 0u) << r.evaluationLine;

    // Thresholds file: the image, the parameters, one line per processed scale.
    const std::vector<std::string> thresholds =
        Lines(ReadFileBytes(BsdThresholdsPath(folder, 10, 0)));
    ASSERT_EQ(thresholds.size(), 2u + 4u);  // scales 3, 5, 7, 9
    EXPECT_EQ(thresholds[0], imagePath);
    EXPECT_EQ(thresholds[1], "par_n=10, type_threshold=0");
    for (size_t i = 2; i < thresholds.size(); ++i) {
        int scale = 0;
        double mean, sd, td, tseg, shifted;
        ASSERT_EQ(std::sscanf(thresholds[i].c_str(),
                              "Scale=%d  mean=%lf, stdDev=%lf, Td=%lf, Tseg=%lf, "
                              "Tseg+zeroLevel=%lf;",
                              &scale, &mean, &sd, &td, &tseg, &shifted),
                  6)
            << thresholds[i];
        EXPECT_EQ(scale, 3 + 2 * int(i - 2));
        EXPECT_EQ(thresholds[i], Format("Scale=%d  mean=%lf, stdDev=%lf, Td=%lf, Tseg=%lf, "
                                        "Tseg+zeroLevel=%lf;",
                                        scale, mean, sd, td, tseg, shifted));
        EXPECT_GE(shifted, tseg);
    }

    // Log: the image, the parameters, then the detector's progress lines.
    const std::string log = ReadFileBytes(BsdLogPath(folder, 10, 0));
    EXPECT_EQ(log.rfind(imagePath + "\npar_n=10, type_threshold=0\nCandidateListSSS-", 0), 0u)
        << log;
    EXPECT_NE(log.find(" time (h:m:s): "), std::string::npos);
    // ... and the scale lines of the thresholds file.
    EXPECT_NE(log.find(thresholds[2] + "\n" + thresholds[3] + "\n"), std::string::npos) << log;

    // The region file holds the grown regions and the cluster outline.
    const std::string regions = ReadFileBytes(BsdRegionFilePath(folder, imagePath, 10, 0));
    EXPECT_EQ(regions.rfind("BSDx par_n=10, type_threshold=0\r\n", 0), 0u) << regions;
    EXPECT_NE(regions.find("REGION MICROCALCIFICATION  CLUSTER 1"), std::string::npos);
    EXPECT_NE(regions.find("IN CLUSTER 1"), std::string::npos);
    // The document shows the result.
    EXPECT_EQ(doc->regions.Count(), r.regions + 1);
}

TEST_F(ProcessDetectionTest, ASecondRunAppendsAndWritesTheHeaderOnce) {
    CVistrelDoc* doc = Open();
    ASSERT_TRUE(doc);
    ASSERT_TRUE(Run(*doc).done);
    const std::string first = ReadFileBytes(BsdResultsPath(folder, 10, 0));
    const std::string firstLog = ReadFileBytes(BsdLogPath(folder, 10, 0));
    const CProcessDetectionResult again = Run(*doc);
    ASSERT_TRUE(again.done) << again.error;
    const std::string both = ReadFileBytes(BsdResultsPath(folder, 10, 0));
    EXPECT_EQ(both, first + again.resultLine);
    const std::string log = ReadFileBytes(BsdLogPath(folder, 10, 0));
    EXPECT_EQ(log.rfind(firstLog, 0), 0u);
    EXPECT_GT(log.size(), firstLog.size());
    // Another par n goes to files of its own.
    ASSERT_TRUE(Run(*doc, 4).done);
    EXPECT_EQ(ReadFileBytes(BsdResultsPath(folder, 10, 0)), both);
    EXPECT_TRUE(fs::exists(BsdResultsPath(folder, 4, 0)));
}

TEST_F(ProcessDetectionTest, AFileCutShortGetsItsLineEndBeforeTheNewEntry) {
    fs::create_directories(folder);
    WriteText(BsdResultsPath(folder, 10, 0), "old line without end");
    CVistrelDoc* doc = Open();
    ASSERT_TRUE(doc);
    const CProcessDetectionResult r = Run(*doc);
    ASSERT_TRUE(r.done);
    EXPECT_EQ(ReadFileBytes(BsdResultsPath(folder, 10, 0)),
              "old line without end\n" + r.resultLine);
}

TEST_F(ProcessDetectionTest, ACancelledRunWritesNothingAndKeepsTheDocument) {
    CVistrelDoc* doc = Open();
    ASSERT_TRUE(doc);
    ASSERT_TRUE(Run(*doc).done);
    const std::string results = ReadFileBytes(BsdResultsPath(folder, 10, 0));
    const std::string log = ReadFileBytes(BsdLogPath(folder, 10, 0));
    const std::string regions = ReadFileBytes(BsdRegionFilePath(folder, imagePath, 10, 0));
    const int32_t regionCount = doc->regions.Count();
    const int32_t clusterCount = doc->clusters.Count();
    ASSERT_EQ(clusterCount, 1);
    // Cancelled in each stage: the breast, the detector, the growing, the end.
    for (const double at : {0.01, 0.5, 0.9, 0.999}) {
        const CProcessDetectionResult r = Run(*doc, 10, 0, [at](double f) { return f < at; });
        EXPECT_TRUE(r.cancelled) << at;
        EXPECT_FALSE(r.done) << at;
        EXPECT_EQ(ReadFileBytes(BsdResultsPath(folder, 10, 0)), results) << at;
        EXPECT_EQ(ReadFileBytes(BsdLogPath(folder, 10, 0)), log) << at;
        EXPECT_EQ(ReadFileBytes(BsdRegionFilePath(folder, imagePath, 10, 0)), regions) << at;
        EXPECT_EQ(doc->regions.Count(), regionCount) << at;
        EXPECT_EQ(doc->clusters.Count(), clusterCount) << at;
    }
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(ProcessDetectionTest, OwnScaleThresholdsAndBadParametersAreHandled) {
    CVistrelDoc* doc = Open();
    ASSERT_TRUE(doc);
    const CProcessDetectionResult own = Run(*doc, 10, kThresholdOwnScale);
    ASSERT_TRUE(own.done) << own.error;
    EXPECT_TRUE(fs::exists(BsdResultsPath(folder, 10, 1)));
    // par n 0 keeps every spot: at least as many as with 10; a par n no
    // response reaches leaves none, and the short evaluation line (the truth
    // location is a false negative).
    const CProcessDetectionResult all = Run(*doc, 0, 0);
    const CProcessDetectionResult strict = Run(*doc, 10, 0);
    const CProcessDetectionResult none = Run(*doc, 100000, 0);
    ASSERT_TRUE(all.done && strict.done && none.done);
    EXPECT_GE(all.spots, strict.spots);
    EXPECT_EQ(none.spots, 0);
    EXPECT_EQ(none.regions, 0);
    EXPECT_EQ(none.evaluationLine, "4; 1; 0; 0; 1; 0;");
    for (const auto& [parN, type] : std::vector<std::pair<double, int>>{{-1, 0}, {10, 2}}) {
        const CProcessDetectionResult bad = Run(*doc, parN, type);
        EXPECT_FALSE(bad.done);
        EXPECT_FALSE(bad.error.empty());
    }
    EXPECT_FALSE(fs::exists(BsdResultsPath(folder, 10, 2)));
}

TEST_F(ProcessDetectionTest, AnUnwritableFolderFailsWithAReason) {
    WriteText(folder, "a file where the folder should be");
    CVistrelDoc* doc = Open();
    ASSERT_TRUE(doc);
    const CProcessDetectionResult r = Run(*doc);
    EXPECT_FALSE(r.done);
    EXPECT_NE(r.error.find("results folder"), std::string::npos) << r.error;
}

// A screen that answers the two-field dialog with the given values, or
// cancels it; it keeps what it was asked.
struct CTwoParamsUi : CFakeUi {
    bool AskTwoParams(CTwoParamsModel& model) override {
        asked = model;
        if (!accept) return false;
        model.fields[0].value = first;
        model.fields[1].value = second;
        return true;
    }
    bool accept = false;
    double first = 0, second = 0;
    CTwoParamsModel asked;
};

TEST_F(ProcessDetectionTest, TheCommandAsksBsDetectionAndShowsTheLine) {
    CTwoParamsUi twoParams;
    app.SetUi(&twoParams);
    CVistrelDoc* doc = Open();
    ASSERT_TRUE(doc);
    // Cancel: nothing runs.
    EXPECT_FALSE(OnProcessDetection(*doc));
    EXPECT_EQ(twoParams.asked.title, "BS Detection");
    EXPECT_EQ(twoParams.asked.fields[0].label, "par n");
    EXPECT_EQ(twoParams.asked.fields[0].value, 10);
    EXPECT_EQ(twoParams.asked.fields[1].label, "m0, s0");
    EXPECT_EQ(twoParams.asked.fields[1].value, 0);
    EXPECT_FALSE(fs::exists(DetectionResultsFolder(imagePath)));
    // Out of range: refused with the reason, nothing written.
    twoParams.accept = true;
    twoParams.first = 6;
    twoParams.second = 5;
    sink.shown.clear();
    EXPECT_FALSE(OnProcessDetection(*doc));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_FALSE(fs::exists(DetectionResultsFolder(imagePath)));
    // Accepted: the results folder beside the image, the line shown under its header.
    twoParams.second = 1;
    sink.shown.clear();
    EXPECT_TRUE(OnProcessDetection(*doc));
    const std::string results = BsdResultsPath(DetectionResultsFolder(imagePath), 6, 1);
    ASSERT_TRUE(fs::exists(results));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], ReadFileBytes(results));
    app.SetUi(&ui);
}

TEST_F(ProcessDetectionTest, ReevaluationWritesBothFilesPerStoredRun) {
    CVistrelDoc* doc = Open();
    ASSERT_TRUE(doc);
    ASSERT_TRUE(Run(*doc, 10, 0).done);
    ASSERT_TRUE(Run(*doc, 4, 0).done);
    const std::vector<CStoredRegionFile> stored = FindBsdRegionFiles(folder, imagePath);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].parN, 10);
    EXPECT_EQ(stored[1].parN, 4);

    const CReevaluationResult r = ReevaluateStoredDetections(*doc, 1.0, 3, folder);
    ASSERT_TRUE(r.done) << r.error;
    EXPECT_EQ(r.files, 2);
    const std::string set = fs::path(imagePath).parent_path().filename().string();
    const std::string without =
        ReadFileBytes(BsdWithoutCorrectionsPath(folder, set, 10, 0, 1.0, 3));
    const std::string header = std::string(kBsdWithoutCorrectionsLead) + kBsdEvaluationColumns;
    ASSERT_EQ(without.rfind(header, 0), 0u) << without;
    const std::string area = Format("%.2lf", PixelAreaToMm2(141.0 * 121.0, doc->resolution));
    EXPECT_EQ(without.substr(header.size())
                  .rfind(imagePath + "; " + area + "; 141; 121; 0; 1; 4; 1; 1; 0; 0; 1;", 0),
              0u)
        << without;
    const std::string with = ReadFileBytes(BsdWithCorrectionsPath(folder, set, 1.0, 3));
    const std::vector<std::string> withLines = Lines(with);
    ASSERT_EQ(withLines.size(), 3u);
    EXPECT_EQ(withLines[0] + "\n", std::string(kBsdWithCorrectionsLead) + kBsdEvaluationColumns);
    EXPECT_EQ(withLines[1].rfind(imagePath + "; " + area + "; 141; 121; 0; 1; 10.00; 4; ", 0), 0u)
        << withLines[1];
    EXPECT_EQ(withLines[2].rfind(imagePath + "; " + area + "; 141; 121; 0; 1; 4.00; 4; ", 0), 0u)
        << withLines[2];

    // A tiny cluster diameter leaves no cluster.
    const CReevaluationResult none = ReevaluateStoredDetections(*doc, 0.01, 3, folder);
    ASSERT_TRUE(none.done);
    EXPECT_NE(none.linesWithout[0].find("; 0; 0; 4; 1; 0;"), std::string::npos)
        << none.linesWithout[0];
}

TEST_F(ProcessDetectionTest, ReevaluationWithoutStoredFilesFails) {
    CVistrelDoc* doc = Open();
    ASSERT_TRUE(doc);
    const CReevaluationResult r = ReevaluateStoredDetections(*doc, 1.0, 3, folder);
    EXPECT_FALSE(r.done);
    EXPECT_NE(r.error.find("no stored detection"), std::string::npos);
}

// The headless batch switches on a good and a bad file.
TEST_F(ProcessDetectionTest, BatchSwitchesEndWithTheirExitStatus) {
    app.SetUi(nullptr);
    const auto run = [this](const std::vector<std::string>& args) {
        CVTCommandLineInfo info;
        info.Parse(args);
        return RunBatch(app, info);
    };
    const std::string results = DetectionResultsFolder(imagePath);
    EXPECT_EQ(run({"-s", "8", imagePath}), kBatchDone);
    EXPECT_TRUE(fs::exists(BsdResultsPath(results, 8, 0)));
    EXPECT_TRUE(fs::exists(BsdRegionFilePath(results, imagePath, 8, 0)));
    const std::string set = fs::path(imagePath).parent_path().filename().string();
    EXPECT_EQ(run({"-v", "0.5", "4", imagePath}), kBatchDone);
    EXPECT_TRUE(fs::exists(BsdWithoutCorrectionsPath(results, set, 8, 0, 0.5, 4)));
    EXPECT_TRUE(fs::exists(BsdWithCorrectionsPath(results, set, 0.5, 4)));

    // A file that is not an image, and one without stored detections.
    const std::string bad = Path("bad.pgx");
    WriteText(bad, "not an image");
    sink.shown.clear();
    EXPECT_EQ(run({"-s", bad}), kBatchFailed);
    EXPECT_FALSE(sink.shown.empty());
    const std::string other = Path("other.pgx");
    ASSERT_EQ(SpeckImage().Save(false, other), 1);
    EXPECT_EQ(run({"-v", "1", "3", other}), kBatchFailed);
    // One bad file among good ones fails the run, the good one still done.
    EXPECT_EQ(run({"-s", imagePath, bad}), kBatchFailed);
    EXPECT_EQ(Lines(ReadFileBytes(BsdResultsPath(results, 10, 0))).size(), 2u);
}

}  // namespace
}  // namespace vistrel
