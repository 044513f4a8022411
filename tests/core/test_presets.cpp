#include "core/presets.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/messages.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"

namespace vistrel {
namespace {

namespace fs = std::filesystem;

class PresetFile : public ::testing::Test {
  protected:
    void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    testsupport::CScratchDir scratch_{"vistrel_presets"};
    fs::path dir_ = scratch_.path();
    std::string path_ = (dir_ / "presets.txt").string();
};

struct Expected {
    std::string name;
    int32_t width, level;
};

void ExpectPresets(const std::vector<CPreset>& got, const std::vector<Expected>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].name, want[i].name) << "preset " << i;
        EXPECT_EQ(got[i].width, want[i].width) << "preset " << i;
        EXPECT_EQ(got[i].level, want[i].level) << "preset " << i;
    }
}

TEST(Preset, WindowMenuTextAndFileLine) {
    const CPreset soft{"Soft tissue", 400, 40};
    int32_t low = 0, high = 0;
    soft.Window(low, high);
    EXPECT_EQ(low, -160);
    EXPECT_EQ(high, 240);
    EXPECT_EQ(soft.MenuText(), "Soft tissue(400/40)");
    EXPECT_EQ(soft.FileLine(), "Soft tissue\t\t400\t\t40\n");

    // An odd width puts the extra value above the level.
    const CPreset odd{"Odd", 5, 10};
    odd.Window(low, high);
    EXPECT_EQ(low, 8);
    EXPECT_EQ(high, 13);
}

TEST(Preset, FromWindowKeepsTheWindow) {
    struct Case {
        int32_t low, high, width, level;
    };
    const Case cases[] = {
        {1000, 4095, 3095, 2547}, {-160, 240, 400, 40}, {-1024, -24, 1000, -524}, {7, 8, 1, 7}};
    for (const Case& c : cases) {
        const CPreset preset = CPreset::FromWindow("p", c.low, c.high);
        EXPECT_EQ(preset.width, c.width) << c.low << ".." << c.high;
        EXPECT_EQ(preset.level, c.level) << c.low << ".." << c.high;
        int32_t low = 0, high = 0;
        preset.Window(low, high);
        EXPECT_EQ(low, c.low);
        EXPECT_EQ(high, c.high);
    }
}

TEST_F(PresetFile, ReadsNamesWidthsAndLevels) {
    Write(
        "Soft tissue 400 40\n"  // a heading, never a preset
        "Soft tissue 400 40\n"
        "Lung\t\t1500\t\t-600\n"
        "  Dense   breast\ttissue 1200 2900\r\n"
        "Zero width 0 100\n"
        "Negative width -5 100\n"  // "-5" has no leading digit: part of the name
        "No numbers at all\n"
        "12 bit full 4096 2048\n"
        "Width only 300\n"
        "Suffixes 400px 40HU\n");
    ExpectPresets(LoadPresets(path_), {{"Soft tissue", 400, 40},
                                       {"Lung", 1500, -600},
                                       {"Dense breast tissue", 1200, 2900},
                                       {"Negative width -5", 100, 0},
                                       {"12 bit full", 4096, 2048},
                                       {"Width only", 300, 0},
                                       {"Suffixes", 400, 40}});
}

TEST_F(PresetFile, ReadingStopsAtTheFirstEmptyLine) {
    Write("heading\nA 10 5\n   \t\nB 20 5\n");
    ExpectPresets(LoadPresets(path_), {{"A", 10, 5}});
    Write("heading\nA 10 5\n\nB 20 5\n");
    ExpectPresets(LoadPresets(path_), {{"A", 10, 5}});
}

TEST_F(PresetFile, MissingOrHeadingOnlyFileGivesNoPresets) {
    EXPECT_TRUE(LoadPresets(path_).empty());
    Write("only a heading");
    EXPECT_TRUE(LoadPresets(path_).empty());
    Write("");
    EXPECT_TRUE(LoadPresets(path_).empty());
}

TEST_F(PresetFile, AppendCreatesTheFileWithAHeading) {
    ASSERT_TRUE(AppendPreset(path_, {"Soft tissue", 400, 40}));
    const std::string text = Read();
    EXPECT_NE(text.find("Soft tissue\t\t400\t\t40\n"), std::string::npos);
    EXPECT_EQ(text.find("Soft tissue"), text.find('\n') + 1) << "first line must be a heading";
    ExpectPresets(LoadPresets(path_), {{"Soft tissue", 400, 40}});
}

TEST_F(PresetFile, AppendKeepsWhatIsThereAndIsReadBack) {
    struct Case {
        const char* name;
        std::string before;
        std::vector<Expected> after;
    };
    const Case cases[] = {
        {"ends with a newline", "heading\nA 10 5\n", {{"A", 10, 5}, {"New one", 300, 20}}},
        {"no final newline", "heading\nA 10 5", {{"A", 10, 5}, {"New one", 300, 20}}},
        {"heading without newline", "heading", {{"New one", 300, 20}}},
        {"trailing blank line", "heading\nA 10 5\n\n", {{"A", 10, 5}, {"New one", 300, 20}}},
        {"text after a blank line",
         "heading\nA 10 5\n\nnotes\n",
         {{"A", 10, 5}, {"New one", 300, 20}}},
        {"empty file", "", {{"New one", 300, 20}}},
    };
    for (const Case& c : cases) {
        Write(c.before);
        ASSERT_TRUE(AppendPreset(path_, {"New one", 300, 20})) << c.name;
        ExpectPresets(LoadPresets(path_), c.after);
        const std::string text = Read();
        // Nothing that was in the file is lost.
        std::string rest = text;
        const std::string line = "New one\t\t300\t\t20\n";
        rest.erase(rest.find(line), line.size());
        if (!c.before.empty()) {
            std::string expected = c.before;
            if (expected.back() != '\n') expected += '\n';  // added in front of the new line
            EXPECT_EQ(rest, expected) << c.name;
        }
    }
}

TEST_F(PresetFile, AppendRefusesNamesThatWouldNotReadBack) {
    Write("heading\nA 10 5\n");
    for (const char* name : {"", "   ", "Two\nlines", "Level 2 window", "Bad\rname"}) {
        EXPECT_FALSE(AppendPreset(path_, {name, 300, 20})) << name;
    }
    EXPECT_EQ(Read(), "heading\nA 10 5\n");
    // A leading digit is fine: the first word always belongs to the name.
    ASSERT_TRUE(AppendPreset(path_, {"3D view", 300, 20}));
    ExpectPresets(LoadPresets(path_), {{"A", 10, 5}, {"3D view", 300, 20}});
}

TEST_F(PresetFile, FailedAppendLeavesTheFileAlone) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
    Write("heading\nA 10 5\n");
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    testsupport::CRecordingSink sink;
    CScopedMessageSink scoped(&sink);
    EXPECT_FALSE(AppendPreset(path_, {"New", 300, 20}));
    fs::permissions(dir_, fs::perms::owner_all);
    EXPECT_EQ(Read(), "heading\nA 10 5\n");
}

TEST_F(PresetFile, AppendIntoAMissingFolderFailsAndCreatesNothing) {
    testsupport::CRecordingSink sink;
    CScopedMessageSink scoped(&sink);
    const fs::path missing = dir_ / "missing" / "presets.txt";
    EXPECT_FALSE(AppendPreset(missing.string(), {"New", 300, 20}));
    EXPECT_FALSE(fs::exists(missing.parent_path()));
    EXPECT_FALSE(sink.shown.empty()) << "the failure is reported";
}

TEST_F(PresetFile, UnreadableFileIsNotReplaced) {
    // A folder where the file should be: it cannot be read, so it must not be overwritten.
    fs::create_directories(path_);
    testsupport::CRecordingSink sink;
    CScopedMessageSink scoped(&sink);
    EXPECT_FALSE(AppendPreset(path_, {"New", 300, 20}));
    EXPECT_TRUE(fs::is_directory(path_));
}

TEST(PresetShipped, TheProgramsPresetsLoad) {
    const fs::path path = fs::path(VISTREL_BIN_DIR) / "presets.txt";
    if (!fs::exists(path)) {
        GTEST_SKIP() << "no " << path;
    }
    const std::vector<CPreset> presets = LoadPresets(path.string());
    ASSERT_FALSE(presets.empty());
    for (const CPreset& p : presets) {
        int32_t low = 0, high = 0;
        p.Window(low, high);
        EXPECT_GE(low, 0) << p.name;
        EXPECT_LE(high, 4096) << p.name;
        EXPECT_LT(low, high) << p.name;
    }
}

}  // namespace
}  // namespace vistrel
