// vistrel-cli filter and spots, run as a program.

#include <QJsonArray>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace vistrel::clitest {
namespace {

class CliFilters : public CCliScratchTest {};

TEST_F(CliFilters, LibraryKernelGivesTheDefinedSums) {
    // 5 x 3, 12 bits: a ramp in each row.
    std::vector<uint16_t> samples;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) samples.push_back(uint16_t(100 * x + 7 * y));
    WriteFile(Path("in.pgx"), PgxBytes(12, 5, 3, samples));
    WriteFile(Path("lib.flt"),
              "NAME: diff \nTYPE: 3 \nWIDTH: 3 HEIGHT: 1\nSCALE: 1\nLP_PARAM: 0\n-1 0 2 \n\n");
    const CRun run = Run({"filter", Path("in.pgx"), Path("out.pgx"), "--kernel",
                          "file:" + Path("lib.flt") + ":diff"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject json = JsonOf(run);
    EXPECT_EQ(json["kernel"].toObject()["name"].toString(), "diff");
    const CPgxFile out = ReadPgx(Path("out.pgx"));
    ASSERT_EQ(out.samples.size(), 15u);
    // Interior: -p(x-1) + 2 p(x+1) = 100 x + 300 + 7 y; border columns 0. No
    // negative sums, so no shift.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const int expected = (x == 0 || x == 4) ? 0 : 100 * x + 300 + 7 * y;
            EXPECT_EQ(out.samples[std::size_t(y * 5 + x)], expected) << x << "," << y;
        }
    // With partial sums the border columns are scaled by 3 / 2.
    const CRun partial = Run({"filter", Path("in.pgx"), Path("p.pgx"), "--kernel",
                              "file:" + Path("lib.flt") + ":diff", "--normalise-partial"});
    ASSERT_EQ(partial.exitCode, 0) << partial.err;
    const CPgxFile p = ReadPgx(Path("p.pgx"));
    ASSERT_EQ(p.samples.size(), 15u);
    // (0, 0): 2 * 100 * 3 / 2 = 300. The right border gets -p(3) * 3 / 2, down to
    // -(300 + 14) * 1.5 = -471 in the last row, so everything is shifted up by 471.
    EXPECT_EQ(p.samples[0], 300 + 471);
    EXPECT_EQ(p.samples[14], 0);
}

TEST_F(CliFilters, KernelErrors) {
    std::vector<uint16_t> ramp;
    for (int i = 0; i < 100; ++i) ramp.push_back(uint16_t(i * 37 % 256));
    WriteFile(Path("in.pgx"), PgxBytes(8, 10, 10, ramp));
    WriteFile(Path("lib.flt"),
              "NAME: a \nTYPE: 0 \nWIDTH: 1 HEIGHT: 1\nSCALE: 1\nLP_PARAM: 0\n1 \n\n");
    const struct {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{"filter", Path("in.pgx"), Path("o.pgx")}, 2},
        {{"filter", Path("in.pgx"), Path("o.pgx"), "--kernel", "gauss"}, 2},
        {{"filter", Path("in.pgx"), Path("o.pgx"), "--kernel", "wobble:3"}, 2},
        {{"filter", Path("in.pgx"), Path("o.pgx"), "--kernel", "box:0"}, 2},
        {{"filter", Path("in.pgx"), Path("o.pgx"), "--kernel", "laplace:5"}, 2},
        {{"filter", Path("in.pgx"), Path("o.pgx"), "--kernel", "gamma:5,1,0"}, 2},
        {{"filter", Path("missing.pgx"), Path("o.pgx"), "--kernel", "box:3"}, 1},
        {{"filter", Path("in.pgx"), Path("o.pgx"), "--kernel", "file:" + Path("lib.flt") + ":zz"},
         1},
        {{"filter", Path("in.pgx"), Path("o.pgx"), "--kernel", "log-sigma:5,1.0"}, 0},
        {{"filter", Path("in.pgx"), Path("o.pgx"), "--kernel", "gamma:3,2,-1", "--median"}, 0},
    };
    for (const auto& c : cases) {
        const CRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << Describe(c.args) << "\n" << run.err;
        if (c.exitCode != 0) {
            EXPECT_TRUE(run.out.empty()) << Describe(c.args);
            EXPECT_FALSE(run.err.empty()) << Describe(c.args);
        }
    }
}

TEST_F(CliFilters, OutlineRestrictsTheFilter) {
    std::vector<uint16_t> samples;
    for (int i = 0; i < 12 * 10; ++i) samples.push_back(uint16_t(100 + i % 7));
    WriteFile(Path("in.pgx"), PgxBytes(12, 12, 10, samples));
    // A rectangle 2..9 x 2..7, not closed in the file (the reader closes it).
    WriteFile(Path("b.sgt"), "header\nsecond\n4\n2 2\n9 2\n9 7\n2 7\n");
    WriteFile(Path("short.sgt"), "header\nsecond\n4\n2 2\n9 2\n");
    WriteFile(Path("outside.sgt"), "a\nb\n3\n2 2\n40 2\n9 7\n");
    const CRun run = Run({"filter", Path("in.pgx"), Path("out.pgx"), "--kernel", "box:1",
                          "--outline", Path("b.sgt")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const CPgxFile out = ReadPgx(Path("out.pgx"));
    ASSERT_EQ(out.samples.size(), 120u);
    // Rows 2..6, columns 3..9 are inside (x from trunc(xa) + 1 to trunc(xb)).
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inside = y >= 2 && y < 7 && x >= 3 && x <= 9;
            const int v = out.samples[std::size_t(y * 12 + x)];
            if (inside)
                EXPECT_EQ(v, samples[std::size_t(y * 12 + x)]) << x << "," << y;
            else
                EXPECT_EQ(v, 0) << x << "," << y;
        }
    for (const char* bad : {"short.sgt", "outside.sgt", "missing.sgt"}) {
        const CRun r = Run({"filter", Path("in.pgx"), Path("o2.pgx"), "--kernel", "box:3",
                            "--outline", Path(bad)});
        EXPECT_EQ(r.exitCode, 1) << bad;
        EXPECT_FALSE(fs::exists(Path("o2.pgx"))) << bad;
    }
}

// 64 x 64 8-bit: a gentle ramp with a bright 3-pixel blob at (40, 20).
std::vector<uint16_t> BlobSamples() {
    std::vector<uint16_t> s;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            double v = 50 + x / 4.0 + ((x * 7 + y * 13) % 5);
            const double d2 = (x - 40) * (x - 40) + (y - 20) * (y - 20);
            v += 120 * std::exp(-d2 / 3.0);
            s.push_back(uint16_t(std::min(255.0, v)));
        }
    return s;
}

TEST_F(CliFilters, SpotsFindsTheBlobAndSelects) {
    WriteFile(Path("blob.pgm"), "P5\n64 64\n255\n");
    {
        std::string bytes = ReadFile(Path("blob.pgm"));
        for (uint16_t v : BlobSamples()) bytes += char(v);
        WriteFile(Path("blob.pgm"), bytes);
    }
    const CRun run = Run({"spots", Path("blob.pgm"), "--cnd", Path("blob.cnd")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject json = JsonOf(run);
    EXPECT_TRUE(json["log"].toString().startsWith("CandidateListSSS-ConvolveLoG(hMIN=3) "));
    const QJsonArray spots = json["spots"].toArray();
    ASSERT_GT(spots.size(), 0);
    bool blob = false;
    for (const auto& v : spots) {
        const QJsonObject s = v.toObject();
        EXPECT_EQ(s["values"].toArray().size(), 7);
        EXPECT_EQ(s["values"].toArray()[1].toDouble(), s["response"].toDouble());
        blob |= std::abs(s["x"].toInt() - 40) <= 1 && std::abs(s["y"].toInt() - 20) <= 1;
    }
    EXPECT_TRUE(blob);
    EXPECT_EQ(json["selected"].toArray().size(), spots.size());  // no threshold: all
    // The entries of values by name, so that a script needs no help text.
    const QJsonObject names = json["valueNames"].toObject();
    const char* const order[] = {"scale",     "response",  "energy",     "meanMin",
                                 "stdDevMin", "meanScale", "stdDevScale"};
    ASSERT_EQ(names.size(), 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(names[order[i]].toInt(-1), i) << order[i];
    for (const auto& v : spots) {
        const QJsonObject s = v.toObject();
        const QJsonArray values = s["values"].toArray();
        const double r = values[names["response"].toInt()].toDouble();
        EXPECT_EQ(r, s["response"].toDouble());
        EXPECT_EQ(values[names["energy"].toInt()].toDouble(), r * std::abs(r));
        const double scale = values[names["scale"].toInt()].toDouble();
        EXPECT_TRUE(scale == 3 || scale == 5 || scale == 7 || scale == 9) << scale;
    }
    // The spot file has one line per spot.
    const std::string cnd = ReadFile(Path("blob.cnd"));
    EXPECT_EQ(std::count(cnd.begin(), cnd.end(), '\n'), spots.size());

    // A mask outline around the left half: no spot at the blob any more.
    WriteFile(Path("left.sgt"), "a\nb\n4\n0 0\n30 0\n30 63\n0 63\n");
    const CRun masked = Run({"spots", Path("blob.pgm"), "--mask", Path("left.sgt")});
    ASSERT_EQ(masked.exitCode, 0) << masked.err;
    for (const auto& v : JsonOf(masked)["spots"].toArray())
        EXPECT_LE(v.toObject()["x"].toInt(), 30);

    const CRun high = Run({"spots", Path("blob.pgm"), "--threshold", "1e9"});
    ASSERT_EQ(high.exitCode, 0) << high.err;
    EXPECT_EQ(JsonOf(high)["selected"].toArray().size(), 0);
    const CRun excluded = Run({"spots", Path("blob.pgm"), "--exclude-min-scale", "--inc", "20"});
    ASSERT_EQ(excluded.exitCode, 0) << excluded.err;
    EXPECT_EQ(JsonOf(excluded)["selected"].toArray().size(), 0);  // every spot at hMIN

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"spots", Path("blob.pgm"), "--min", "5", "--max", "4"},
          {"spots", Path("blob.pgm"), "--n", "2"},
          {"spots", Path("blob.pgm"), "--threshold", "3", "--auto", "2"},
          {"spots", Path("blob.pgm"), "--value-index", "2"}}) {
        EXPECT_EQ(Run(bad).exitCode, 2) << Describe(bad);
    }
    EXPECT_EQ(Run({"spots", Path("nothing.pgm")}).exitCode, 1);
}

}  // namespace
}  // namespace vistrel::clitest

namespace vistrel::clitest {
namespace {

class CliPhantomSpecks : public CCliScratchTest {};

TEST_F(CliPhantomSpecks, TruthIsWrittenAndEverySpeckIsFound) {
    const std::vector<std::string> common{"--width", "600", "--height", "800", "--seed", "5"};
    std::vector<std::string> plainArgs{"phantom", Path("plain.pgx")};
    plainArgs.insert(plainArgs.end(), common.begin(), common.end());
    std::vector<std::string> speckArgs{"phantom", Path("specks.pgx"), "--clusters",
                                       "2",       "--spots",          "4"};
    speckArgs.insert(speckArgs.end(), common.begin(), common.end());
    ASSERT_EQ(Run(plainArgs).exitCode, 0);
    const CRun run = Run(speckArgs);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject truth = JsonOf(run);
    const QJsonArray clusters = truth["clusters"].toArray();
    const QJsonArray specks = truth["calcifications"].toArray();
    EXPECT_EQ(clusters.size(), 2);
    int isolated = 0;
    for (const auto& v : specks) isolated += v.toObject()["cluster"].toInt() == 0;
    EXPECT_EQ(isolated, 4);
    EXPECT_GE(specks.size(), 2 * 5 + 4);

    // The OVERLAY beside the image: one malignant ROS per cluster, one region per speck.
    EXPECT_EQ(truth["overlay"].toString().toStdString(), Path("specks.OVERLAY"));
    const std::string overlay = ReadFile(Path("specks.OVERLAY"));
    auto count = [&](const std::string& what) {
        int n = 0;
        for (std::size_t at = overlay.find(what); at != std::string::npos;
             at = overlay.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("PATHOLOGY MALIGNANT"), 2);
    EXPECT_EQ(count("REGION MICROCALCIFICATION"), specks.size());
    EXPECT_EQ(count("IN CLUSTER 1"), int(specks.size()) - isolated - count("IN CLUSTER 2"));

    // The tissue is the same as without specks: pixels differ only near them.
    const CPgxFile plain = ReadPgx(Path("plain.pgx"));
    const CPgxFile withSpecks = ReadPgx(Path("specks.pgx"));
    ASSERT_EQ(plain.samples.size(), withSpecks.samples.size());
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 600; ++x) {
            if (plain.samples[std::size_t(y * 600 + x)] ==
                withSpecks.samples[std::size_t(y * 600 + x)])
                continue;
            bool near = false;
            for (const auto& v : specks) {
                const QJsonObject s = v.toObject();
                near |= std::hypot(x - s["x"].toDouble(), y - s["y"].toDouble()) <=
                        s["radius"].toDouble() + 4;
            }
            ASSERT_TRUE(near) << x << "," << y;
        }

    // The detector with its defaults finds every speck inside its disc.
    const CRun found = Run({"spots", Path("specks.pgx")});
    ASSERT_EQ(found.exitCode, 0) << found.err;
    const QJsonArray spots = JsonOf(found)["spots"].toArray();
    for (const auto& v : specks) {
        const QJsonObject s = v.toObject();
        const double reach = std::max(1.5, s["radius"].toDouble());
        bool hit = false;
        for (const auto& d : spots)
            hit |= std::hypot(d.toObject()["x"].toDouble() - s["x"].toDouble(),
                              d.toObject()["y"].toDouble() - s["y"].toDouble()) <= reach;
        EXPECT_TRUE(hit) << s["x"].toDouble() << "," << s["y"].toDouble();
    }
    // A threshold selects by index exactly the spots whose response reaches it.
    {
        std::vector<double> responses;
        for (const auto& v : spots) responses.push_back(v.toObject()["response"].toDouble());
        std::vector<double> sorted = responses;
        std::sort(sorted.begin(), sorted.end());
        const double t = sorted[sorted.size() / 2];
        const CRun some = Run({"spots", Path("specks.pgx"), "--threshold", std::to_string(t)});
        ASSERT_EQ(some.exitCode, 0) << some.err;
        std::vector<int> expected, got;
        for (std::size_t i = 0; i < responses.size(); ++i)
            if (responses[i] >= std::stod(std::to_string(t))) expected.push_back(int(i));
        for (const auto& v : JsonOf(some)["selected"].toArray()) got.push_back(v.toInt());
        EXPECT_EQ(got, expected);
        EXPECT_LT(got.size(), responses.size());
    }
    EXPECT_EQ(Run({"phantom", Path("x.pgx"), "--clusters", "21"}).exitCode, 2);
}

}  // namespace
}  // namespace vistrel::clitest
