// vistrel-cli apply: runs the built program on small files and checks the
// pixels it writes, the JSON it prints and its exit codes.

#include <gtest/gtest.h>

#include <QJsonObject>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_test_support.h"

using namespace vistrel::clitest;

namespace {

// A 1-bit RAW raster from rows of '0'/'1' (rows padded to whole bytes,
// leftmost pixel in the most significant bit).
std::string RawBits(const std::vector<std::string>& rows) {
    std::string bytes;
    for (const std::string& row : rows) {
        std::string packed((row.size() + 7) / 8, '\0');
        for (std::size_t x = 0; x < row.size(); ++x)
            if (row[x] == '1') packed[x / 8] = static_cast<char>(packed[x / 8] | (0x80 >> (x % 8)));
        bytes += packed;
    }
    return bytes;
}

std::vector<std::string> RowsOfRawBits(const std::string& bytes, std::size_t width,
                                       std::size_t height) {
    std::vector<std::string> rows;
    const std::size_t perRow = (width + 7) / 8;
    if (bytes.size() != perRow * height) return rows;
    for (std::size_t y = 0; y < height; ++y) {
        std::string row;
        for (std::size_t x = 0; x < width; ++x)
            row += (static_cast<unsigned char>(bytes[y * perRow + x / 8]) & (0x80 >> (x % 8)))
                       ? '1'
                       : '0';
        rows.push_back(row);
    }
    return rows;
}

class ApplyCli : public CCliScratchTest {
  protected:
    // A 3 x 2 12-bit image:  1 2 3 / 4 5 6, scaled so that byte swaps and the
    // 8-bit conversion show.
    void SetUp() override {
        CCliScratchTest::SetUp();
        WriteFile(Path("in.pgx"), PgxBytes(12, 3, 2, {0x010, 0x020, 0x030, 0x040, 0x050, 0xFF6}));
    }
};

}  // namespace

TEST_F(ApplyCli, SingleImageOperationsWriteTheExpectedPixels) {
    struct Case {
        std::vector<std::string> words;  // operation and its arguments after IN OUT
        int width, height, depth;
        std::vector<uint16_t> samples;
    };
    const std::vector<Case> cases = {
        {{"rotate", "180"}, 3, 2, 12, {0xFF6, 0x050, 0x040, 0x030, 0x020, 0x010}},
        // Clockwise: the top row is the left column read bottom to top.
        {{"rotate", "-90"}, 2, 3, 12, {0x040, 0x010, 0x050, 0x020, 0xFF6, 0x030}},
        // Counter-clockwise: the top row is the right column read top to bottom.
        {{"rotate", "90"}, 2, 3, 12, {0x030, 0xFF6, 0x020, 0x050, 0x010, 0x040}},
        {{"flip", "h"}, 3, 2, 12, {0x030, 0x020, 0x010, 0xFF6, 0x050, 0x040}},
        {{"flip", "v"}, 3, 2, 12, {0x040, 0x050, 0xFF6, 0x010, 0x020, 0x030}},
        {{"reverse"}, 3, 2, 12, {0xFEF, 0xFDF, 0xFCF, 0xFBF, 0xFAF, 0x009}},
        {{"swap-bytes"}, 3, 2, 12, {0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0xF60F}},
        // 16, 14 relabel; 8 keeps the top 8 of the 12 bits.
        {{"depth", "14"}, 3, 2, 14, {0x010, 0x020, 0x030, 0x040, 0x050, 0xFF6}},
        {{"depth", "8"}, 3, 2, 8, {0x01, 0x02, 0x03, 0x04, 0x05, 0xFF}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"apply", c.words[0], Path("in.pgx"), Path("out.pgx")};
        args.insert(args.end(), c.words.begin() + 1, c.words.end());
        SCOPED_TRACE(Describe(args));
        std::filesystem::remove(Path("out.pgx"));
        const CRun run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const QJsonObject json = JsonOf(run);
        EXPECT_EQ(json["operation"].toString().toStdString(), c.words[0]);
        EXPECT_EQ(json["output"].toString().toStdString(), Path("out.pgx"));
        EXPECT_EQ(json["width"].toInt(), c.width);
        EXPECT_EQ(json["height"].toInt(), c.height);
        EXPECT_EQ(json["depth"].toInt(), c.depth);
        const CPgxFile out = ReadPgx(Path("out.pgx"));
        EXPECT_EQ(out.width, c.width);
        EXPECT_EQ(out.height, c.height);
        EXPECT_EQ(out.depth, c.depth);
        EXPECT_EQ(out.samples, c.samples);
    }
}

TEST_F(ApplyCli, EqualizeWholeSelectedAreaAndWholeFromTheArea) {
    // 4 x 1, 8-bit: 0 10 10 200.
    WriteFile(Path("eq.pgx"), PgxBytes(8, 4, 1, {0, 10, 10, 200}));
    struct Case {
        std::vector<std::string> options;
        std::vector<uint16_t> samples;
    };
    const std::vector<Case> cases = {
        // round(255 * cumulative fraction): 1/4, 3/4, 3/4, 1.
        {{}, {64, 191, 191, 255}},
        // Table of the two left pixels; the right two stay as they were.
        {{"--rect", "0,0,2,1"}, {128, 255, 10, 200}},
        // The same table applied everywhere (10 and 200 lie at or above its top).
        {{"--rect", "0,0,2,1", "--whole"}, {128, 255, 255, 255}},
        // A rectangle reaching outside is clipped to the image.
        {{"--rect=2,0,99,99"}, {0, 10, 128, 255}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"apply", "equalize", Path("eq.pgx"), Path("out.pgx")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(Describe(args));
        const CRun run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(JsonOf(run)["depth"].toInt(), 8);
        EXPECT_EQ(ReadPgx(Path("out.pgx")).samples, c.samples);
    }
}

TEST_F(ApplyCli, TwoImageArithmetic) {
    WriteFile(Path("i1.pgx"), PgxBytes(16, 2, 2, {5, 2, 7, 40000}));
    WriteFile(Path("i2.pgx"), PgxBytes(16, 2, 2, {3, 2, 9, 100}));
    struct Case {
        std::string op;
        int depth;
        int valueOffset;
        std::vector<uint16_t> samples;
    };
    const std::vector<Case> cases = {
        {"average", 15, 0, {4, 2, 8, 20050}},
        // Differences 2, 0, -2, 39900: shifted up by 2, offset 2.
        {"difference", 16, 2, {4, 2, 0, 39902}},
        {"max", 16, 0, {5, 2, 9, 40000}},
        {"min", 8, 0, {3, 2, 7, 100}},
        {"greater", 16, 0, {5, 0, 0, 40000}},
        {"less", 4, 0, {0, 0, 7, 0}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> args = {"apply",         "two", Path("i1.pgx"),
                                               Path("out.pgx"), c.op,  Path("i2.pgx")};
        SCOPED_TRACE(Describe(args));
        const CRun run = Run(args);
        if (c.depth < 8) {
            // A 4-bit result cannot be written as PGX: the failure is reported.
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_NE(run.err.find("out.pgx"), std::string::npos) << run.err;
            continue;
        }
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const QJsonObject json = JsonOf(run);
        EXPECT_EQ(json["operation"].toString().toStdString(), c.op);
        EXPECT_EQ(json["depth"].toInt(), c.depth);
        EXPECT_EQ(json["valueOffset"].toInt(), c.valueOffset);
        EXPECT_EQ(ReadPgx(Path("out.pgx")).samples, c.samples);
        EXPECT_FALSE(json.contains("objects"));
    }
    // The same 4-bit result is written where the format can hold it.
    const CRun raw =
        Run({"apply", "two", Path("i1.pgx"), Path("less.raw"), "less", Path("i2.pgx")});
    ASSERT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_EQ(JsonOf(raw)["depth"].toInt(), 4);
    EXPECT_EQ(ReadFile(Path("less.raw")), std::string("\x00\x70", 2));
}

TEST_F(ApplyCli, TouchingObjectsCountAndResultFollowTheConnectivity) {
    // A hook with a diagonal tail, and a bar; the marker touches the hook only.
    const std::vector<std::string> objects = {"1100000000", "0100000111", "0010000000"};
    const std::vector<std::string> marker = {"1000000000", "0000000000", "0000000000"};
    WriteFile(Path("obj.raw"), RawBits(objects));
    WriteFile(Path("mark.raw"), RawBits(marker));
    struct Case {
        std::string op;
        std::string connectivity;  // empty: the default
        int objects;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        {"keep-touching", "", 1, {"1100000000", "0100000000", "0010000000"}},
        {"keep-touching", "4", 1, {"1100000000", "0100000000", "0000000000"}},
        {"remove-touching", "8", 1, {"0000000000", "0000000111", "0000000000"}},
        {"remove-touching", "4", 1, {"0000000000", "0000000111", "0010000000"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"apply",         "two",   Path("obj.raw"),
                                         Path("out.raw"), c.op,    Path("mark.raw"),
                                         "--raw",         "10,3,1"};
        if (!c.connectivity.empty()) {
            args.push_back("--connectivity");
            args.push_back(c.connectivity);
        }
        SCOPED_TRACE(Describe(args));
        const CRun run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const QJsonObject json = JsonOf(run);
        EXPECT_EQ(json["objects"].toInt(-1), c.objects);
        EXPECT_EQ(json["depth"].toInt(), 1);
        EXPECT_EQ(RowsOfRawBits(ReadFile(Path("out.raw")), 10, 3), c.rows);
    }
}

TEST_F(ApplyCli, BadUsageExitsWithTwoBeforeReadingAnything) {
    // The input does not exist: only a usage check that runs first gives 2.
    const std::string in = Path("missing.pgx");
    const std::string out = Path("out.pgx");
    const std::vector<std::vector<std::string>> cases = {
        {"apply"},
        {"apply", "spin", in, out},
        {"apply", "rotate", in, out},
        {"apply", "rotate", in, out, "45"},
        {"apply", "rotate", in, out, "-180"},
        {"apply", "rotate", in, out, "90", "extra"},
        {"apply", "flip", in, out, "d"},
        {"apply", "depth", in, out, "10"},
        {"apply", "depth", in, out, "twelve"},
        {"apply", "reverse", in},
        {"apply", "equalize", in, out, "--whole"},
        {"apply", "equalize", in, out, "--rect", "1,2,3"},
        {"apply", "equalize", in, out, "--rect", "5,5,5,9"},
        {"apply", "rotate", in, out, "90", "--rect", "0,0,1,1"},
        {"apply", "two", in, out, "plus", in},
        {"apply", "two", in, out, "average"},
        {"apply", "two", in, out, "average", in, "--connectivity", "4"},
        {"apply", "two", in, out, "keep-touching", in, "--connectivity", "6"},
        {"apply", "reverse", in, out, "--unknown"},
        {"apply", "reverse", in, out, "--byte-order", "XY"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(Describe(args));
        const CRun run = Run(args);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_NE(run.err.find("vistrel-cli apply"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST_F(ApplyCli, OperationsWithoutAResultExitWithOneAndKeepTheOutput) {
    WriteFile(Path("byte.pgx"), PgxBytes(8, 3, 2, {1, 2, 3, 4, 5, 6}));
    WriteFile(Path("wide.pgx"), PgxBytes(12, 4, 2, {1, 2, 3, 4, 5, 6, 7, 8}));
    WriteFile(Path("out.pgx"), "previous");
    struct Case {
        std::vector<std::string> args;
        std::string reason;  // a part of the one line on stderr
    };
    const std::vector<Case> cases = {
        {{"apply", "rotate", Path("none.pgx"), Path("out.pgx"), "90"}, "none.pgx"},
        {{"apply", "swap-bytes", Path("byte.pgx"), Path("out.pgx")}, "deeper than 8 bits"},
        {{"apply", "depth", Path("byte.pgx"), Path("out.pgx"), "12"}, "deeper than 8 bits"},
        {{"apply", "equalize", Path("in.pgx"), Path("out.pgx"), "--rect", "3,0,9,9"}, "outside"},
        {{"apply", "two", Path("in.pgx"), Path("out.pgx"), "average", Path("wide.pgx")},
         "differ in size"},
        {{"apply", "two", Path("in.pgx"), Path("out.pgx"), "keep-touching", Path("in.pgx")},
         "1-bit"},
        {{"apply", "two", Path("in.pgx"), Path("out.pgx"), "min", Path("none.pgx")}, "none.pgx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.args));
        const CRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(ReadFile(Path("out.pgx")), "previous");
    }
}

TEST_F(ApplyCli, NegativeAngleMixesWithOptionsAndTheirValues) {
    // "-90" is the angle, not an option, wherever the options stand; ML output.
    const CRun run =
        Run({"apply", "--byte-order", "ML", "rotate", Path("in.pgx"), Path("out.pgx"), "-90"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const CPgxFile out = ReadPgx(Path("out.pgx"));
    EXPECT_EQ(out.order, "ML");
    EXPECT_EQ(out.samples, (std::vector<uint16_t>{0x040, 0x010, 0x050, 0x020, 0xFF6, 0x030}));
}

TEST_F(ApplyCli, HelpListsEveryOperation) {
    const CRun run = Run({"apply", "--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* word :
         {"rotate", "flip", "reverse", "swap-bytes", "depth", "equalize", "two", "average",
          "difference", "max", "min", "greater", "less", "keep-touching", "remove-touching",
          "--connectivity", "--rect", "--whole"})
        EXPECT_NE(run.out.find(word), std::string::npos) << word;
    EXPECT_NE(Run({"--help"}).out.find("apply"), std::string::npos);
}
