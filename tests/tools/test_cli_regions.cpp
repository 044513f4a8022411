// vistrel-cli regions and overlay: runs the built program on small fixtures
// and checks the JSON it prints, the OVERLAY file it writes and its exit codes.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <cstdint>
#include <string>
#include <vector>

#include "cli_test_support.h"

using namespace vistrel::clitest;

namespace {

// An 8-bit PGX from rows of characters: '#' is 255, '+' is 128, anything else 0.
std::string PgxFromRows(const std::vector<std::string>& rows) {
    std::vector<uint16_t> samples;
    for (const std::string& row : rows)
        for (char c : row) samples.push_back(c == '#' ? 255 : c == '+' ? 128 : 0);
    return PgxBytes(8, static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), samples);
}

std::vector<int> Ints(const QJsonValue& value) {
    std::vector<int> ints;
    for (const QJsonValue& v : value.toArray()) ints.push_back(v.toInt());
    return ints;
}

class RegionsCli : public CCliScratchTest {
  protected:
    void SetUp() override {
        CCliScratchTest::SetUp();
        // Two 2x2 blocks meeting at a corner, a 3x2 block of 128s, a lone pixel.
        WriteFile(Path("in.pgx"), PgxFromRows({
                                      ".........",
                                      ".##......",
                                      ".##....#.",
                                      "...##....",
                                      "...##.+++",
                                      "......+++",
                                  }));
    }
};

TEST_F(RegionsCli, ComponentsFollowConnectivityAndObjectValue) {
    struct Case {
        std::vector<std::string> options;
        std::vector<std::vector<int>> bounds;
        std::vector<int> pixels;
        std::vector<std::string> chains;  // empty: not checked
    } cases[] = {
        {{}, {{1, 1, 5, 5}}, {8}, {}},
        {{"--connectivity", "8"}, {{1, 1, 5, 5}}, {8}, {}},
        {{"--connectivity", "4"},
         {{1, 1, 3, 3}, {3, 3, 5, 5}},
         {4, 4},
         {"2460", "2460"}},  // clockwise from the top-left pixel
        {{"--object", "128"}, {{6, 4, 9, 6}}, {6}, {"224660"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"regions", Path("in.pgx")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(Describe(args));
        const CRun run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const QJsonArray regions = JsonOf(run)["regions"].toArray();
        ASSERT_EQ(regions.size(), static_cast<qsizetype>(c.bounds.size())) << run.out;
        for (qsizetype i = 0; i < regions.size(); ++i) {
            const QJsonObject region = regions[i].toObject();
            const std::vector<int> b = c.bounds[static_cast<std::size_t>(i)];
            EXPECT_EQ(Ints(region["bounds"]), b) << i;
            EXPECT_EQ(Ints(region["start"]), (std::vector<int>{b[0], b[1]})) << i;
            EXPECT_EQ(region["pixels"].toInt(), c.pixels[static_cast<std::size_t>(i)]) << i;
            if (!c.chains.empty()) {
                EXPECT_EQ(region["chain"].toString().toStdString(),
                          c.chains[static_cast<std::size_t>(i)]);
            }
        }
    }
}

TEST_F(RegionsCli, OverlayOutputReadsBackThroughTheOverlaySubcommand) {
    const CRun extracted =
        Run({"regions", Path("in.pgx"), "--connectivity", "4", "--overlay", Path("out.OVERLAY")});
    ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
    EXPECT_NE(ReadFile(Path("out.OVERLAY")).find("1 1 2460#"), std::string::npos);

    const CRun read = Run({"overlay", Path("out.OVERLAY")});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    const QJsonObject json = JsonOf(read);
    EXPECT_EQ(json["regions"].toArray().size(), 2);
    EXPECT_EQ(json["ros"].toArray().size(), 0);
    const QJsonArray before = JsonOf(extracted)["regions"].toArray();
    for (qsizetype i = 0; i < before.size(); ++i) {
        const QJsonObject a = before[i].toObject(), b = json["regions"].toArray()[i].toObject();
        for (const char* key : {"start", "chain", "bounds", "pixels"})
            EXPECT_EQ(a[key], b[key]) << key << " of region " << i;
        EXPECT_EQ(b["type"].toString(), "o");
        EXPECT_EQ(b["diagnosis"].toInt(), 2);
    }
}

TEST_F(RegionsCli, OverlayReportsEveryField) {
    WriteFile(Path("case.OVERLAY"),
              "a first note\r\n"
              "SUBTLETY 3\r\n"
              "PATHOLOGY BENIGN\r\nBOUNDARY\r\n5 6 22446600#\r\n"
              "second lesion\r\nCORE\r\n7 8 22446600#\r\n"
              "REGION MICROCALCIFICATION MALIGNANT IN CLUSTER 2 scale=3 response=0.5000 "
              "energy=1.2500 mean=20.0000 x=11 y=12 \r\n"
              "10 20 224466#\r\n"
              "REGION MICROCALCIFICATION  CLUSTER 2 scale=0 response=0.0000 energy=0.0000 "
              "mean=0.0000 x=0 y=0 \r\n"
              "9 19 22224444666600#\r\n"
              "TUMOR BENIGN  scale=1 response=2.0000 energy=3.0000 mean=4.0000 x=5 y=6 \r\n"
              "30 30 2460#\r\n");
    const CRun run = Run({"overlay", Path("case.OVERLAY")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject json = JsonOf(run);
    EXPECT_EQ(json["subtlety"].toInt(), 3);
    const std::string description = json["description"].toString().toStdString();
    // The PATHOLOGY line belongs to the ROS it leads to, not to the description.
    EXPECT_EQ(description, "a first note\r\nSUBTLETY 3\r\nsecond lesion\r\n");

    const QJsonArray ros = json["ros"].toArray();
    ASSERT_EQ(ros.size(), 2);
    EXPECT_EQ(ros[0].toObject()["lesion"].toString(), "PATHOLOGY BENIGN\nBOUNDARY\n");
    EXPECT_EQ(ros[1].toObject()["lesion"].toString(), "CORE\n");
    EXPECT_EQ(ros[0].toObject()["diagnosis"].toInt(), 0);
    EXPECT_EQ(ros[1].toObject()["diagnosis"].toInt(), 1);  // no PATHOLOGY: malignant
    EXPECT_EQ(Ints(ros[0].toObject()["start"]), (std::vector<int>{5, 6}));
    EXPECT_EQ(ros[0].toObject()["chain"].toString(), "22446600");
    EXPECT_EQ(Ints(ros[0].toObject()["bounds"]), (std::vector<int>{5, 6, 8, 9}));
    EXPECT_EQ(ros[0].toObject()["pixels"].toInt(), 9);

    const QJsonArray regions = json["regions"].toArray();
    ASSERT_EQ(regions.size(), 3);
    const QJsonObject member = regions[0].toObject();
    EXPECT_EQ(member["type"].toString(), "m");
    EXPECT_EQ(member["diagnosis"].toInt(), 1);
    EXPECT_EQ(member["cluster"].toInt(), 2);
    EXPECT_EQ(member["scale"].toInt(), 3);
    EXPECT_DOUBLE_EQ(member["response"].toDouble(), 0.5);
    EXPECT_DOUBLE_EQ(member["energy"].toDouble(), 1.25);
    EXPECT_DOUBLE_EQ(member["mean"].toDouble(), 20.0);
    EXPECT_EQ(member["x"].toInt(), 11);
    EXPECT_EQ(member["y"].toInt(), 12);
    EXPECT_EQ(Ints(member["start"]), (std::vector<int>{10, 20}));
    const QJsonObject outline = regions[1].toObject();
    EXPECT_EQ(outline["type"].toString(), "c");
    EXPECT_EQ(outline["cluster"].toInt(), 1002);
    EXPECT_EQ(outline["diagnosis"].toInt(), 2);
    const QJsonObject tumour = regions[2].toObject();
    EXPECT_EQ(tumour["type"].toString(), "t");
    EXPECT_EQ(tumour["diagnosis"].toInt(), 0);
    EXPECT_EQ(tumour["pixels"].toInt(), 4);
}

TEST_F(RegionsCli, OverlayRefusesAFileThatIsNotText) {
    // A picture saved under the annotation name: printing it as description
    // would hand scripts binary garbage.
    WriteFile(Path("picture.OVERLAY"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    WriteFile(Path("mixed.OVERLAY"), std::string("BOUNDARY\n10 10 2460#\n\0", 22));
    for (const char* name : {"picture.OVERLAY", "mixed.OVERLAY"}) {
        SCOPED_TRACE(name);
        const CRun run = Run({"overlay", Path(name)});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_EQ(run.err, "vistrel-cli overlay: " + Path(name) +
                               ": not a text file (it holds NUL bytes)\n");
    }
}

TEST_F(RegionsCli, ExitCodes) {
    WriteFile(Path("bad.pgx"), "PG LM 8 100 100\nshort");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{"regions"}, 2},
        {{"regions", Path("in.pgx"), "--connectivity", "6"}, 2},
        {{"regions", Path("in.pgx"), "--connectivity", "eight"}, 2},
        {{"regions", Path("in.pgx"), "--object", "256"}, 2},
        {{"regions", Path("in.pgx"), "--object", "-1"}, 2},
        {{"regions", Path("in.pgx"), "--bogus"}, 2},
        {{"regions", Path("missing.pgx")}, 1},
        {{"regions", Path("bad.pgx")}, 1},
        {{"regions", Path("in.pgx"), "--overlay", Path("no/such/dir/x.OVERLAY")}, 1},
        {{"overlay"}, 2},
        {{"overlay", Path("a.OVERLAY"), Path("b.OVERLAY")}, 2},
        {{"overlay", Path("missing.OVERLAY")}, 1},
        {{"regions", "--help"}, 0},
        {{"overlay", "--help"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.args));
        const CRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        if (c.exitCode != 0) {
            EXPECT_TRUE(run.out.empty()) << run.out;
            EXPECT_FALSE(run.err.empty());
        }
    }
}

}  // namespace
