// vistrel-cli segment, run as a program.

#include <QJsonArray>
#include <cmath>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace vistrel::clitest {
namespace {

class CliSegment : public CCliScratchTest {
  protected:
    // 200 x 300, 8 bits: a half ellipse of tissue against the left edge on a
    // dark background.
    void WriteBreast(const std::string& name) {
        std::vector<uint8_t> samples;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                samples.push_back(Inside(x, y) ? uint8_t(120 + (x * 7 + y * 3) % 60)
                                               : uint8_t(10 + (x + y) % 5));
        WriteFile(Path(name), PgmBytes(kW, kH, samples));
    }
    static bool Inside(int x, int y) {
        const double dx = x / 120.0, dy = (y - 150.0) / 125.0;
        return dx * dx + dy * dy <= 1.0;
    }
    static constexpr int kW = 200, kH = 300;
};

TEST_F(CliSegment, PrintsTheOutlineAndWritesSgtAndMask) {
    WriteBreast("breast.pgm");
    const CRun run = Run({"segment", Path("breast.pgm"), "--cone", "--sgt", Path("b.sgt"), "--mask",
                          Path("mask.pgm")});
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    const QJsonObject json = JsonOf(run);
    EXPECT_EQ(json["view"].toInt(), 0);
    EXPECT_TRUE(json["projection"].toInt() == 0 || json["projection"].toInt() == 1);
    EXPECT_LT(json["low"].toDouble(), json["high"].toDouble());
    const QJsonArray start = json["start"].toArray();
    ASSERT_EQ(start.size(), 2);
    EXPECT_TRUE(Inside(start[0].toInt(), start[1].toInt()));
    const QJsonArray outline = json["outline"].toArray();
    ASSERT_GT(outline.size(), 4);
    EXPECT_EQ(outline.first().toArray(), outline.last().toArray());
    EXPECT_TRUE(json["cone_outline"].isArray());
    const std::string log = json["log"].toString().toStdString();
    EXPECT_EQ(log.rfind("View0 Projection", 0), 0u) << log;
    EXPECT_NE(log.find("\nWyniki: startPoint("), std::string::npos) << log;
    // Line ends travel escaped: the document itself is one line.
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1);

    // The SGT file holds the same points after its header.
    std::string expected = "200 300\n\n" + std::to_string(outline.size()) + "\n";
    for (const auto& p : outline)
        expected += std::to_string(p.toArray()[0].toInt()) + " " +
                    std::to_string(p.toArray()[1].toInt()) + "\n";
    EXPECT_EQ(ReadFile(Path("b.sgt")), expected);

    // The mask: 8-bit PGM, 255 inside, 0 outside, agreeing with the phantom.
    const std::string mask = ReadFile(Path("mask.pgm"));
    const std::string header = "P5\n200 300\n255\n";
    ASSERT_EQ(mask.substr(0, header.size()), header);
    ASSERT_EQ(mask.size(), header.size() + std::size_t(kW * kH));
    int64_t agree = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const uint8_t v = uint8_t(mask[header.size() + std::size_t(y * kW + x)]);
            ASSERT_TRUE(v == 0 || v == 255) << x << "," << y;
            agree += (v == 255) == Inside(x, y);
        }
    // 20-pixel steps of the reduced copy on a small film: 0.91 measured.
    EXPECT_GT(double(agree) / (kW * kH), 0.88);
}

TEST_F(CliSegment, ViewAndPercentilesReachTheRun) {
    WriteBreast("breast.pgm");
    const CRun manual =
        Run({"segment", Path("breast.pgm"), "--view", "left", "--percentiles", "40,99.5"});
    ASSERT_EQ(manual.exitCode, 0) << manual.err;
    const QJsonObject json = JsonOf(manual);
    EXPECT_EQ(json["log"].toString().indexOf("Val w startPoint"), -1);  // no automatic thresholds
    EXPECT_EQ(json["view"].toInt(), 0);

    const CRun right = Run({"segment", Path("breast.pgm"), "--view", "right"});
    EXPECT_EQ(JsonOf(right)["view"].toInt(), 1);
}

TEST_F(CliSegment, NoOutlineStillPrintsTheDocumentAndFails) {
    WriteFile(Path("tiny.pgm"), PgmBytes(10, 10, std::vector<uint8_t>(100, 50)));
    const CRun run =
        Run({"segment", Path("tiny.pgm"), "--sgt", Path("t.sgt"), "--mask", Path("t.pgm")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no breast outline"), std::string::npos) << run.err;
    EXPECT_TRUE(JsonOf(run)["outline"].toArray().isEmpty());
    EXPECT_FALSE(fs::exists(Path("t.sgt")));
    EXPECT_FALSE(fs::exists(Path("t.pgm")));
}

TEST_F(CliSegment, BadUsage) {
    WriteBreast("breast.pgm");
    const std::vector<std::vector<std::string>> usages = {
        {"segment"},
        {"segment", Path("breast.pgm"), "--view", "up"},
        {"segment", Path("breast.pgm"), "--percentiles", "40"},
        {"segment", Path("breast.pgm"), "--percentiles", "40,101"},
        {"segment", Path("breast.pgm"), "--percentiles", "a,b"},
        {"segment", Path("breast.pgm"), "--bogus"},
    };
    for (const auto& args : usages) EXPECT_EQ(Run(args).exitCode, 2) << Describe(args);
    EXPECT_EQ(Run({"segment", Path("missing.pgm")}).exitCode, 1);
    EXPECT_EQ(Run({"segment", "--help"}).exitCode, 0);
}

}  // namespace
}  // namespace vistrel::clitest
