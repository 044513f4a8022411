#include "core/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/messages.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"

using namespace vistrel;
namespace fs = std::filesystem;

namespace {

class AtomicFile : public ::testing::Test {
  protected:
    size_t EntriesInDir() const {
        return static_cast<size_t>(
            std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
    testsupport::CScratchDir scratch{"vistrel_atomic"};
    fs::path dir = scratch.path();
    testsupport::CRecordingSink sink;
};

}  // namespace

TEST_F(AtomicFile, CompleteWriteReplacesTheTarget) {
    const std::string path = (dir / "a.bin").string();
    ASSERT_TRUE(WriteFileAtomically(path, [](std::FILE* f) { return std::fputs("old", f) >= 0; }));
    ASSERT_TRUE(WriteFileAtomically(path, [](std::FILE* f) { return std::fputs("new!", f) >= 0; }));
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, "new!");
    EXPECT_EQ(EntriesInDir(), 1u) << "no temporary file may be left behind";
}

TEST_F(AtomicFile, FailedWriteKeepsTheOldFileAndReports) {
    CScopedMessageSink guard(&sink);
    const std::string path = (dir / "b.bin").string();
    ASSERT_TRUE(WriteFileAtomically(path, [](std::FILE* f) { return std::fputs("good", f) >= 0; }));
    EXPECT_FALSE(WriteFileAtomically(path, [](std::FILE* f) {
        std::fputs("half", f);
        return false;  // the writer noticed a problem midway
    }));
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, "good");
    EXPECT_EQ(EntriesInDir(), 1u);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_NE(sink.shown[0].find(path), std::string::npos);
}

TEST_F(AtomicFile, MissingFolderIsAClearFailure) {
    CScopedMessageSink guard(&sink);
    const std::string path = (dir / "no" / "such" / "c.bin").string();
    EXPECT_FALSE(WriteFileAtomically(path, [](std::FILE*) { return true; }));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(sink.shown.size(), 1u);
    std::string bytes;
    EXPECT_FALSE(ReadWholeFile(path, bytes));
}
