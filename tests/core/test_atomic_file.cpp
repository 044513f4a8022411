#include "core/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/messages.h"

using namespace vistrel;
namespace fs = std::filesystem;

namespace {

class RecordingSink : public IMessageSink {
  public:
    void show(const std::string& text) override { shown.push_back(text); }
    int ask(const std::string&, const std::vector<std::string>&) override { return 0; }
    std::vector<std::string> shown;
};

class AtomicFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir =
            fs::temp_directory_path() /
            ("vistrel-atomic-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    size_t EntriesInDir() const {
        return static_cast<size_t>(
            std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
    fs::path dir;
    RecordingSink sink;
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
