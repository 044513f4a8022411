#include "workspace/batch.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "../support/speck_image.h"
#include "detection/breast_sgt.h"
#include "regions/feature_file.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

using testing::CRecordingSink;
using testing::ReadFileBytes;
using testing::WritePgxFile;

class BatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        image = Path("case.LEFT_CC.pgx");
        WritePgxFile(image, 3, 2, {0x0ABC, 1, 2, 3, 4, 4095});
    }
    std::string Path(const std::string& name) const {
        return (dir.path() + "/").toStdString() + name;
    }
    int Run(const std::vector<std::string>& args) {
        CVTCommandLineInfo info;
        info.Parse(args);
        return RunBatch(app, info);
    }
    CMImage Read(const std::string& path) {
        CMImage read;
        std::string description;
        EXPECT_EQ(read.Open(path, description), 1) << path;
        return read;
    }

    QTemporaryDir dir;
    std::string image;
    CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app;  // no screen at all, as in a batch run
};

TEST(BatchNames, TestCopyKeepsTheFolderAndDropsTheLastExtension) {
    EXPECT_EQ(TestCopyPath("/d/e/A_1.LEFT_CC.pgm"), "/d/e/A_1.LEFT_CC.test.pgx");
    EXPECT_EQ(TestCopyPath("/d/scan"), "/d/scan.test.pgx");
}

TEST_F(BatchTest, SaveAgainRewritesTheFileUnderItsOwnName) {
    // A big-endian file comes back in the program's own byte order, same pixels.
    const std::string ml = Path("ml.pgx");
    {
        std::ofstream out(ml, std::ios::binary);
        out << "PG ML 12 2 1\n" << '\x0A' << '\xBC' << '\x00' << '\x05';
    }
    ASSERT_EQ(Run({"-c", ml}), kBatchDone) << (sink.shown.empty() ? "" : sink.shown[0]);
    EXPECT_EQ(ReadFileBytes(ml).substr(0, 5), "PG LM");
    const CMImage saved = Read(ml);
    EXPECT_EQ(saved.width, 2);
    EXPECT_EQ(saved.GetPixel(0, 0), 0x0ABC);
    EXPECT_EQ(saved.GetPixel(1, 0), 5);
    EXPECT_TRUE(app.Documents().empty());  // closed after the routine
}

TEST_F(BatchTest, EightBitsAreSavedBesideAsPgm) {
    ASSERT_EQ(Run({"-e", image}), kBatchDone);
    const CMImage saved = Read(image + ".pgm");
    EXPECT_EQ(saved.depth, 8);
    EXPECT_EQ(saved.GetPixel(0, 0), 0xAB);
    EXPECT_EQ(saved.GetPixel(2, 1), 0xFF);
    EXPECT_EQ(Read(image).depth, 12);  // the source file is untouched
}

TEST_F(BatchTest, TwelveBitTestCopyKeepsSamplesAndAnnotations) {
    // An 8-bit source: the copy is 12-bit with the same sample values.
    const std::string narrow = Path("narrow.pgm");
    {
        std::ofstream out(narrow, std::ios::binary);
        out << "P5\n2 1\n255\n" << '\x07' << '\xC8';
    }
    ASSERT_EQ(Run({"-f", narrow}), kBatchDone);
    const CMImage copy = Read(Path("narrow.test.pgx"));
    EXPECT_EQ(copy.depth, 12);
    EXPECT_EQ(copy.GetPixel(0, 0), 7);
    EXPECT_EQ(copy.GetPixel(1, 0), 200);

    // A 12-bit source with a region of suspiciousness in its OVERLAY file.
    std::vector<uint16_t> samples(40 * 30, 1000);
    samples[0] = 0x0ABC;
    const std::string marked = Path("marked.pgx");
    WritePgxFile(marked, 40, 30, samples);
    std::ofstream(Path("marked.OVERLAY"))
        << "PATHOLOGY BENIGN\r\nBOUNDARY\r\n5 6 22224444666600#\r\n";
    ASSERT_EQ(Run({"-f", marked}), kBatchDone);
    const CMImage deep = Read(Path("marked.test.pgx"));
    EXPECT_EQ(deep.depth, 12);
    EXPECT_EQ(deep.GetPixel(0, 0), 0x0ABC);
    EXPECT_EQ(deep.GetPixel(39, 29), 1000);
    const std::string overlay = ReadFileBytes(Path("marked.test.OVERLAY"));
    EXPECT_NE(overlay.find("5 6 22224444666600"), std::string::npos) << overlay;
}

TEST_F(BatchTest, FailuresAndMissingRoutinesEndWithAnError) {
    EXPECT_EQ(Run({"-c", Path("missing.pgx")}), kBatchFailed);
    EXPECT_EQ(Run({"-c"}), kBatchFailed);
    for (const char* letter : {"-g", "-w", "-r", "-z"}) {
        sink.shown.clear();
        EXPECT_EQ(Run({letter, image}), kBatchNotAvailable) << letter;
        ASSERT_EQ(sink.shown.size(), 1u) << letter;
        EXPECT_NE(sink.shown[0].find("not available"), std::string::npos) << letter;
    }
    // A result that cannot be written (a folder holds its name) fails, and
    // the folder is left as it was.
    const std::string blocked = Path("blocked.pgx");
    WritePgxFile(blocked, 1, 1, {5});
    std::filesystem::create_directories(blocked + ".pgm/inside");
    sink.shown.clear();
    EXPECT_EQ(Run({"-e", blocked}), kBatchFailed);
    EXPECT_FALSE(sink.shown.empty());
    EXPECT_TRUE(std::filesystem::is_directory(blocked + ".pgm/inside"));
}

TEST_F(BatchTest, BreastOutlineIsWrittenBesideAFilm) {
    if (!std::filesystem::exists(std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb001.pgm"))
        GTEST_SKIP() << "no shared data";
    const std::string film = Path("mdb001.pgm");
    std::filesystem::copy_file(std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb001.pgm",
                               film);
    ASSERT_EQ(Run({"-b", film}), kBatchDone) << ::testing::PrintToString(sink.shown);
    EXPECT_TRUE(sink.shown.empty()) << "no log in a batch run";
    CBreastSgt outline;
    std::string reason;
    ASSERT_TRUE(ReadSgtFile(Path("mdb001.sgt"), outline, reason)) << reason;
    EXPECT_TRUE(outline.IsClosed());
    const CRect bounds = outline.Bounds();
    EXPECT_GE(bounds.left, 0);
    EXPECT_GE(bounds.top, 0);
    EXPECT_LE(bounds.right, 1024);
    EXPECT_LE(bounds.bottom, 1024);
    // A real breast, not a speck: the outline spans a good part of the film.
    EXPECT_GT(bounds.Width(), 200);
    EXPECT_GT(bounds.Height(), 400);
    EXPECT_TRUE(app.Documents().empty()) << "the document is closed again";

    // The same outline as the document command finds with the same choices.
    CVistrelDoc* doc = app.OpenDocumentFile(film);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->breastSegment.Points(), outline.Points()) << "read back beside the film";
    CSegmentParams params;
    params.cone = 0;
    params.log = 0;
    ASSERT_TRUE(doc->SegmentBreastWith(params));
    EXPECT_EQ(doc->breastSegment.Points(), outline.Points());
}

TEST_F(BatchTest, BreastOutlineFailuresSayWhichStepFailed) {
    // Too small to reduce: no outline, and no file.
    EXPECT_EQ(Run({"-b", image}), kBatchFailed);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_NE(sink.shown[0].find("No breast outline was found"), std::string::npos)
        << sink.shown[0];
    EXPECT_FALSE(std::filesystem::exists(Path("case.LEFT_CC.sgt")));

    // An outline that cannot be written (a folder holds its name).
    if (!std::filesystem::exists(std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb001.pgm"))
        GTEST_SKIP() << "no shared data";
    const std::string film = Path("mdb001.pgm");
    std::filesystem::copy_file(std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb001.pgm",
                               film);
    std::filesystem::create_directories(Path("mdb001.sgt/inside"));
    sink.shown.clear();
    EXPECT_EQ(Run({"-b", film}), kBatchFailed);
    ASSERT_FALSE(sink.shown.empty());
    EXPECT_NE(sink.shown.back().find("could not be written to " + Path("mdb001.sgt")),
              std::string::npos)
        << sink.shown.back();
    EXPECT_TRUE(std::filesystem::is_directory(Path("mdb001.sgt/inside")));
}

// The vector file's three values: regions, their area in mm2, clusters.
std::vector<double> FireVector(const std::string& imagePath) {
    const std::string text = ReadFileBytes(FireVectorPath(imagePath));
    std::vector<double> values;
    const size_t data = text.find("data ");
    if (text.rfind("FIRE_vectorfeature\ndim 3 \n", 0) != 0 || data == std::string::npos)
        return values;
    std::istringstream in(text.substr(data + 5));
    for (double v; in >> v;) values.push_back(v);
    return values;
}

TEST_F(BatchTest, FireFilesCountTheRegionsOfTheOverlay) {
    // Two objects and a cluster outline, saved beside the image.
    {
        CVistrelApp writer;
        CVistrelDoc* doc = writer.OpenDocumentFile(image);
        ASSERT_NE(doc, nullptr);
        doc->image.Create(40, 30, 12);
        doc->resolution = 254.0;
        CRegion first({{2, 2}, {6, 2}, {6, 6}, {2, 6}}, CRegion::PointsMode::Polygon);
        CRegion second({{20, 10}, {22, 10}, {22, 12}, {20, 12}}, CRegion::PointsMode::Polygon);
        CRegion outline({{1, 1}, {30, 1}, {30, 20}, {1, 20}}, CRegion::PointsMode::Polygon);
        outline.clusterNumber = ClusterOutlineNumber(1);
        outline.type = 'c';
        doc->regions.Add(first);
        doc->regions.Add(second);
        doc->regions.Add(outline);
        ASSERT_TRUE(doc->SaveImage(image));
    }
    ASSERT_EQ(Run({"-i", image}), kBatchDone) << ::testing::PrintToString(sink.shown);
    const std::vector<double> values = FireVector(image);
    ASSERT_EQ(values.size(), 3u) << ReadFileBytes(FireVectorPath(image));
    EXPECT_EQ(values[0], 2.0);
    EXPECT_GT(values[1], 0.0);
    EXPECT_EQ(values[2], 1.0);
    EXPECT_TRUE(std::filesystem::exists(FireMammoPath(image)));
    EXPECT_TRUE(app.Documents().empty());
}

TEST_F(BatchTest, FireFilesFindCandidatesWhenThereAreNoRegions) {
    const CMImage specks = testsupport::SpeckImage();
    std::vector<uint16_t> samples;
    for (int y = 0; y < specks.height; ++y)
        for (int x = 0; x < specks.width; ++x)
            samples.push_back(static_cast<uint16_t>(specks.GetPixel(x, y)));
    const std::string path = Path("specks.pgx");
    WritePgxFile(path, specks.width, specks.height, samples);
    ASSERT_EQ(Run({"-i", path}), kBatchDone) << ::testing::PrintToString(sink.shown);

    // The same candidates as the interactive seeds and growing give.
    CVistrelApp other;
    CVistrelDoc* doc = other.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->PrepareSeeds(100));
    doc->SegmentFromSeeds(CGrowParams{});
    ASSERT_GT(doc->regions.Count(), 0);
    const std::vector<double> values = FireVector(path);
    ASSERT_EQ(values.size(), 3u) << ReadFileBytes(FireVectorPath(path));
    EXPECT_EQ(values[0], double(doc->regions.Count()));
    EXPECT_EQ(values[2], 0.0);
}

TEST_F(BatchTest, FireFilesThatCannotBeWrittenFailWithAMessage) {
    std::filesystem::create_directories(FireVectorPath(image) + "/inside");
    EXPECT_EQ(Run({"-i", image}), kBatchFailed);
    ASSERT_FALSE(sink.shown.empty());
    EXPECT_NE(sink.shown.back().find("FIRE feature files"), std::string::npos)
        << ::testing::PrintToString(sink.shown);
    EXPECT_TRUE(std::filesystem::is_directory(FireVectorPath(image) + "/inside"));
}

}  // namespace
}  // namespace vistrel
