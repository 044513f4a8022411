#include "core/lut.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vistrel {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class LutFolder : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        return scratch_.Write(name, bytes);
    }

    // 256 red, 256 green, 256 blue bytes, each channel a different ramp.
    static std::string BinaryLut(std::size_t size = 768) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < 256 && i < size; ++i) bytes[i] = char(i);
        for (std::size_t i = 0; i < 256 && 256 + i < size; ++i) bytes[256 + i] = char(255 - i);
        for (std::size_t i = 0; i < 256 && 512 + i < size; ++i) bytes[512 + i] = char(i / 2);
        return bytes;
    }

    testsupport::CScratchDir scratch_{"vistrel_lut"};
    fs::path dir_ = scratch_.path();
};

TEST(LutGrey, LinearRampsRunBothWays) {
    const CPalette up = LinearGreyPalette(false);
    const CPalette down = LinearGreyPalette(true);
    ASSERT_EQ(up.size(), 256u);
    ASSERT_EQ(down.size(), 256u);
    for (int i : {0, 1, 127, 254, 255}) {
        const auto v = uint8_t(i);
        const auto w = uint8_t(255 - i);
        EXPECT_EQ(up[size_t(i)], (CPaletteEntry{v, v, v, 0})) << i;
        EXPECT_EQ(down[size_t(i)], (CPaletteEntry{w, w, w, 0})) << i;
    }
}

TEST_F(LutFolder, BinaryFileGivesBlueGreenRedEntries) {
    const std::string path = Write("ramp.lut", BinaryLut());
    CPalette palette;
    ASSERT_TRUE(LoadLutFile(path, palette));
    ASSERT_EQ(palette.size(), 256u);
    // entry i = (blue[i], green[i], red[i], 0)
    EXPECT_EQ(palette[0], (CPaletteEntry{0, 255, 0, 0}));
    EXPECT_EQ(palette[10], (CPaletteEntry{5, 245, 10, 0}));
    EXPECT_EQ(palette[255], (CPaletteEntry{127, 0, 255, 0}));

    // Bytes after the three tables are ignored.
    const std::string longer = Write("longer.lut", BinaryLut() + std::string(100, 'x'));
    CPalette same;
    ASSERT_TRUE(LoadLutFile(longer, same));
    EXPECT_EQ(same, palette);
}

TEST_F(LutFolder, UnreadableFilesFailAndLeaveNoPalette) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"short.lut", BinaryLut(767)},
        {"empty.lut", ""},
        {"text_garbage.lut", "* a text table\nthis is not a colour\n"},
        {"text_no_entries.lut", "* only comments\n*\n"},
        {"text_out_of_range.lut", "*\n0 256 0 0\n"},
        {"text_index_out_of_range.lut", "*\n300 1 2 3\n"},
        {"text_five_numbers.lut", "*\n1 2 3 4 5\n"},
        {"text_two_numbers.lut", "*\n1 2\n"},
        {"text_past_the_end.lut", "*\n255 1 1 1\n2 2 2\n"},
    };
    for (const Case& c : cases) {
        CPalette palette = LinearGreyPalette(false);
        EXPECT_FALSE(LoadLutFile(Write(c.name, c.bytes), palette)) << c.name;
        EXPECT_TRUE(palette.empty()) << c.name;
    }
    CPalette palette = LinearGreyPalette(false);
    EXPECT_FALSE(LoadLutFile((dir_ / "missing.lut").string(), palette));
    EXPECT_TRUE(palette.empty());
}

TEST_F(LutFolder, TextFileSetsListedEntriesAndLeavesTheRestBlack) {
    const std::string text =
        "* warm ramp, written by hand\n"
        "S Warm\n"
        "0 10 20 30\n"
        "   11 21 31   * entry 1, after the one above\n"
        "\n"
        "200\t255,128,\t0\r\n"
        "201 1 2 3\n"
        "7 7 7\n";  // entry 202
    CPalette palette;
    ASSERT_TRUE(LoadLutFile(Write("warm.lut", text), palette));
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[0], (CPaletteEntry{30, 20, 10, 0}));
    EXPECT_EQ(palette[1], (CPaletteEntry{31, 21, 11, 0}));
    EXPECT_EQ(palette[2], (CPaletteEntry{}));
    EXPECT_EQ(palette[200], (CPaletteEntry{0, 128, 255, 0}));
    EXPECT_EQ(palette[201], (CPaletteEntry{3, 2, 1, 0}));
    EXPECT_EQ(palette[202], (CPaletteEntry{7, 7, 7, 0}));
    EXPECT_EQ(palette[255], (CPaletteEntry{}));

    // A file that starts with 'S' is text as well.
    ASSERT_TRUE(LoadLutFile(Write("s.lut", "Sepia\n5 1 2 3\n"), palette));
    EXPECT_EQ(palette[5], (CPaletteEntry{3, 2, 1, 0}));
}

TEST_F(LutFolder, ListHasBuiltInsFirstThenFileStemsInLowerCase) {
    Write("Hot Iron.LUT", BinaryLut());
    Write("bone.lut", BinaryLut());
    Write("rainbow.lut", BinaryLut());
    Write("notes.txt", "not a table");
    Write("lut", "no extension");
    fs::create_directories(dir_ / "folder.lut");

    CLutList list;
    list.ScanLuts(dir_.string());
    EXPECT_EQ(list.Names(), (std::vector<std::string>{"black/white linear", "white/black linear",
                                                      "bone", "hot iron", "rainbow"}));
    EXPECT_EQ(list.Folder(), dir_.string());

    // Scanning again starts from the built-ins.
    list.ScanLuts(dir_.string());
    EXPECT_EQ(list.Names().size(), 5u);
}

TEST_F(LutFolder, MissingFolderLeavesTheTwoBuiltIns) {
    CLutList list;
    list.ScanLuts((dir_ / "nowhere").string());
    EXPECT_EQ(list.Names(), (std::vector<std::string>{"black/white linear", "white/black linear"}));
}

TEST_F(LutFolder, SelectingBuildsThePaletteOfAnIndex) {
    Write("Ramp.LUT", BinaryLut());
    Write("short.lut", BinaryLut(700));
    CLutList list;
    list.ScanLuts(dir_.string());
    ASSERT_EQ(list.Names().size(), 4u);  // ..., "ramp", "short"

    CPalette palette;
    EXPECT_EQ(list.SelectLut(0, palette), 0);
    EXPECT_EQ(palette, LinearGreyPalette(false));
    EXPECT_EQ(list.SelectLut(1, palette), 0);
    EXPECT_EQ(palette, LinearGreyPalette(true));

    // The file is found although its name on disk is not lower case.
    EXPECT_EQ(list.SelectLut(2, palette), 0);
    EXPECT_EQ(palette[10], (CPaletteEntry{5, 245, 10, 0}));

    // Out-of-range indices select the first entry.
    for (int index : {-1, 4, 1000}) {
        palette.clear();
        EXPECT_EQ(list.SelectLut(index, palette), 0) << index;
        EXPECT_EQ(palette, LinearGreyPalette(false)) << index;
    }

    // A short file, or one removed since the scan, leaves no palette.
    EXPECT_EQ(list.SelectLut(3, palette), -1);
    EXPECT_TRUE(palette.empty());
    palette = LinearGreyPalette(false);
    fs::remove(dir_ / "Ramp.LUT");
    EXPECT_EQ(list.SelectLut(2, palette), -1);
    EXPECT_TRUE(palette.empty());
}

TEST(LutShipped, EveryTableBesideTheProgramLoads) {
    const fs::path folder = fs::path(VISTREL_BIN_DIR) / "Luts";
    if (!fs::is_directory(folder)) {
        GTEST_SKIP() << "no " << folder;
    }
    CLutList list;
    list.ScanLuts(folder.string());
    ASSERT_GT(list.Names().size(), 2u) << "no tables in " << folder;
    for (int i = 2; i < int(list.Names().size()); ++i) {
        CPalette palette;
        EXPECT_EQ(list.SelectLut(i, palette), 0) << list.Names()[size_t(i)];
        EXPECT_EQ(palette.size(), 256u) << list.Names()[size_t(i)];
    }
}

}  // namespace
}  // namespace vistrel
