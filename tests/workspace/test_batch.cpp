#include "workspace/batch.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include "workspace/vistrel_app.h"
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
    for (const char* letter : {"-s", "-v", "-i", "-b", "-g", "-w", "-r", "-z"}) {
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

}  // namespace
}  // namespace vistrel
