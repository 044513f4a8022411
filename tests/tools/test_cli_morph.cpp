// vistrel-cli morph and thicken, run as a program.

#include <gtest/gtest.h>

#include <QJsonObject>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace vistrel::clitest {
namespace {

class CliMorph : public CCliScratchTest {};

std::vector<uint16_t> Samples(const std::vector<int>& values) {
    return std::vector<uint16_t>(values.begin(), values.end());
}

TEST_F(CliMorph, OperatorsWriteTheirImages) {
    // 4 x 2 strip; 3 x 3 square dilation takes the neighbourhood maximum.
    WriteFile(Path("strip.pgx"), PgxBytes(8, 4, 2, Samples({10, 20, 30, 40, 50, 60, 70, 80})));
    // A single bright pixel in the middle of 7 x 7.
    std::vector<uint16_t> dot(49, 0);
    dot[24] = 200;
    WriteFile(Path("dot.pgx"), PgxBytes(12, 7, 7, dot));
    // Cross dilated twice: the diamond |dx| + |dy| <= 2.
    std::vector<uint16_t> diamond(49, 0);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            if (std::abs(x - 3) + std::abs(y - 3) <= 2) diamond[std::size_t(y * 7 + x)] = 200;

    const struct {
        std::vector<std::string> args;
        int depth;
        std::vector<uint16_t> expected;
    } cases[] = {
        {{"strip.pgx", "--op", "dilate", "--se", "square:3"},
         8,
         Samples({60, 70, 80, 80, 60, 70, 80, 80})},
        // Outside counts as the maximum: the corners keep in-image minima.
        {{"strip.pgx", "--op", "erode", "--se", "cross"},
         8,
         Samples({10, 10, 20, 30, 10, 20, 30, 40})},
        {{"strip.pgx", "--op", "outer-gradient", "--se", "square:3"},
         8,
         Samples({50, 50, 50, 40, 10, 10, 10, 0})},
        {{"dot.pgx", "--op", "dilate", "--se", "cross:3", "--iterations", "2"}, 12, diamond},
        // Opening removes the dot whatever the iterations.
        {{"dot.pgx", "--op", "open", "--se", "CIRCLE:5", "--iterations", "3"},
         12,
         std::vector<uint16_t>(49, 0)},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"morph", Path(c.args[0]), Path("out.pgx")};
        args.insert(args.end(), c.args.begin() + 1, c.args.end());
        const CRun run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << Describe(args) << "\n" << run.err;
        const CPgxFile out = ReadPgx(Path("out.pgx"));
        EXPECT_EQ(out.depth, c.depth) << Describe(args);
        EXPECT_EQ(out.samples, c.expected) << Describe(args);
        const QJsonObject json = JsonOf(run);
        EXPECT_EQ(json["output"].toString().toStdString(), Path("out.pgx"));
        EXPECT_EQ(json["operator"].toString().toStdString(), args[4]);
        EXPECT_EQ(json["depth"].toInt(), c.depth);
    }
}

TEST_F(CliMorph, ReportsTheElement) {
    WriteFile(Path("in.pgx"), PgxBytes(8, 4, 2, Samples({1, 2, 3, 4, 5, 6, 7, 8})));
    // A 4-bit result: PGX cannot hold it, PNG can.
    const CRun run = Run({"morph", Path("in.pgx"), Path("out.png"), "--op", "white-top-hat", "--se",
                          "circle:5", "--iterations", "4"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject json = JsonOf(run);
    const QJsonObject element = json["element"].toObject();
    EXPECT_EQ(element["shape"].toString(), "circle");
    EXPECT_EQ(element["size"].toInt(), 5);
    EXPECT_EQ(element["cells"].toInt(), 13);
    EXPECT_EQ(json["iterations"].toInt(), 4);
    EXPECT_EQ(json["width"].toInt(), 4);
    EXPECT_EQ(json["height"].toInt(), 2);
}

TEST_F(CliMorph, Thickening) {
    // A 3 x 3 block grows by the middles of its edges; a condition of exactly
    // that plus shape stops it in the second pass.
    std::vector<uint16_t> block(81, 0), plus(81, 0);
    for (int y = 3; y <= 5; ++y)
        for (int x = 3; x <= 5; ++x)
            block[std::size_t(y * 9 + x)] = plus[std::size_t(y * 9 + x)] = 255;
    for (int i : {4 * 9 + 2, 4 * 9 + 6, 2 * 9 + 4, 6 * 9 + 4}) plus[std::size_t(i)] = 255;
    WriteFile(Path("marker.pgx"), PgxBytes(8, 9, 9, block));
    WriteFile(Path("condition.pgx"), PgxBytes(8, 9, 9, plus));
    const CRun run = Run({"thicken", Path("condition.pgx"), Path("marker.pgx"), Path("out.pgx")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadPgx(Path("out.pgx")).samples, plus);
    const QJsonObject json = JsonOf(run);
    EXPECT_EQ(json["passes"].toInt(), 2);
    EXPECT_EQ(json["depth"].toInt(), 8);
}

TEST_F(CliMorph, Errors) {
    WriteFile(Path("a.pgx"), PgxBytes(8, 4, 2, Samples({1, 2, 3, 4, 5, 6, 7, 8})));
    WriteFile(Path("wide.pgx"), PgxBytes(8, 8, 1, Samples({1, 2, 3, 4, 5, 6, 7, 8})));
    WriteFile(Path("deep.pgx"), PgxBytes(12, 4, 2, Samples({1, 2, 3, 4, 5, 6, 7, 8})));
    const std::string a = Path("a.pgx"), out = Path("o.pgx");
    const struct {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{"morph", a, out, "--se", "cross"}, 2},
        {{"morph", a, out, "--op", "erode"}, 2},
        {{"morph", a, out, "--op", "shrink", "--se", "cross"}, 2},
        {{"morph", a, out, "--op", "erode", "--se", "blob"}, 2},
        {{"morph", a, out, "--op", "erode", "--se", "square:0"}, 2},
        {{"morph", a, out, "--op", "erode", "--se", "square:-3"}, 2},
        {{"morph", a, out, "--op", "erode", "--se", "square:256"}, 2},
        {{"morph", a, out, "--op", "erode", "--se", "square:3x"}, 2},
        {{"morph", a, out, "--op", "erode", "--se", "square:"}, 2},
        {{"morph", a, out, "--op", "erode", "--se", "cross", "--iterations", "0"}, 2},
        {{"morph", a, out, "--op", "erode", "--se", "cross", "--iterations", "101"}, 2},
        {{"morph", a, "--op", "erode", "--se", "cross"}, 2},
        {{"morph", Path("missing.pgx"), out, "--op", "erode", "--se", "cross"}, 1},
        // Differences of a small range are 4-bit images, which PGX cannot hold.
        {{"morph", a, out, "--op", "gradient", "--se", "square:3"}, 1},
        {{"thicken", a, a}, 2},
        {{"thicken", a, Path("wide.pgx"), out}, 1},
        {{"thicken", a, Path("deep.pgx"), out}, 1},
        {{"thicken", Path("missing.pgx"), a, out}, 1},
    };
    for (const auto& c : cases) {
        const CRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << Describe(c.args) << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << Describe(c.args);
        EXPECT_FALSE(run.err.empty()) << Describe(c.args);
        EXPECT_FALSE(fs::exists(out)) << Describe(c.args);
    }
    // An even side and the largest accepted values are fine.
    const std::string png = Path("ok.png");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"morph", a, png, "--op", "gradient", "--se", "square:4"},
          std::vector<std::string>{"morph", a, png, "--op", "close", "--se", "x:255",
                                   "--iterations", "100"}}) {
        const CRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << Describe(args) << "\n" << run.err;
        EXPECT_TRUE(fs::exists(png)) << Describe(args);
        fs::remove(png);
    }
}

}  // namespace
}  // namespace vistrel::clitest
