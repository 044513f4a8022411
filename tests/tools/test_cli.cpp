// Runs the built vistrel-cli and checks exit codes, the JSON it prints and
// the files it writes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

using namespace vistrel::clitest;

std::string LastLine(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
    const auto newline = trimmed.rfind('\n');
    return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

class CliTest : public CCliScratchTest {};

// ---------------------------------------------------------------- usage

TEST_F(CliTest, HelpDescribesEverySubcommand) {
    const CRun global = Run({"--help"});
    EXPECT_EQ(global.exitCode, 0);
    for (const char* name : {"info", "convert", "render", "phantom"}) {
        EXPECT_NE(global.out.find(name), std::string::npos) << name;
        const CRun own = Run({name, "--help"});
        EXPECT_EQ(own.exitCode, 0) << name;
        EXPECT_EQ(own.out.rfind(std::string("usage: vistrel-cli ") + name, 0), 0u) << own.out;
        EXPECT_TRUE(own.err.empty()) << own.err;
    }
}

TEST_F(CliTest, BadUsageExitsWithTwoAndWritesNothing) {
    // A readable 12-bit input, so that only the usage can be at fault.
    WriteFile(Path("a.pgx"), PgxBytes("LM", 12, 2, 2, {0, 1, 2, 3}));
    const std::string in = Path("a.pgx");
    const std::string png = Path("o.png");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"info"},
        {"info", in, in},
        {"info", "--bogus", in},
        {"info", in, "-x"},
        {"info", in, "--raw"},
        {"info", in, "--raw", "12x,4,8"},
        {"info", in, "--raw", "4,4"},
        {"info", in, "--raw", "4,4,8,msb,1"},
        {"info", in, "--raw", "4,,8"},
        {"info", in, "--raw", "0,4,8"},
        {"info", in, "--raw", "4,4,7"},
        {"info", in, "--raw", "4,4,8,msb"},
        {"info", in, "--raw", "4,4,12,top"},
        {"info", in, "--raw", "4,4,8", "--raw", "4,4,8"},
        {"convert", in},
        {"convert", in, Path("b.pgx"), "--byte-order", "BE"},
        {"render", in, png, "--contrast", "128"},
        {"render", in, png, "--brightness", "-128"},
        {"render", in, png, "--contrast", "+5"},
        {"render", in, png, "--gamma", "7"},
        {"render", in, png, "--gamma", "0"},
        {"render", in, png, "--gamma", "nan"},
        {"render", in, png, "--gamma", "1.5x"},
        {"render", in, png, "--zoom", "0"},
        {"render", in, png, "--zoom", "-1"},
        {"render", in, png, "--zoom", "12x"},
        {"render", in, png, "--zoom", "0.01"},
        {"render", in, png, "--zoom", "100000"},
        {"render", in, png, "--bits", "4,8", "--window", "0,10"},
        {"render", in, png, "--zoom", "2", "--fit", "10,10"},
        {"render", in, png, "--window", "10,5"},
        {"render", in, png, "--window", "10"},
        {"render", in, png, "--window", "1,99999999999"},
        {"render", in, png, "--fit", "0,10"},
        {"render", in, png, "--fit", "65535,65535"},  // 2 x 2 blown up to 4 G pixels
        {"render", in, png, "--lut", "99"},
        {"render", in, png, "--lut", "-1"},
        {"render", in, png, "--bits", "0,9"},
        {"render", in, png, "--bits", "8,8"},  // bits 8..15 of a 12-bit image
        {"render", in, Path("o.bmp")},
        {"phantom", Path("p.pgx"), "--width", "8"},
        {"phantom", Path("p.pgx"), "--width", " 64"},
        {"phantom", Path("p.pgx"), "--height", "64.0"},
        {"phantom", Path("p.pgx"), "--depth", "7"},
        {"phantom", Path("p.pgx"), "--depth", "17"},
        {"phantom", Path("p.pgx"), "--seed", "-1"},
        {"phantom", Path("p.pgx"), "--seed", "4294967296"},
        {"phantom", Path("p.pgx"), "--seed", ""},
    };
    for (const auto& args : cases) {
        const CRun run = Run(args);
        EXPECT_EQ(run.exitCode, 2) << Describe(args) << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << Describe(args) << "\n" << run.out;
        EXPECT_FALSE(run.err.empty()) << Describe(args);
    }
    for (const char* name : {"o.png", "o.bmp", "b.pgx", "p.pgx"})
        EXPECT_FALSE(fs::exists(Path(name))) << name;
}

TEST_F(CliTest, OptionsMayFollowOrPrecedeArgumentsAndTakeNegativeValues) {
    WriteFile(Path("a.pgm"), PgmBytes(2, 1, {10, 64}));
    const CRun run =
        Run({"render", "--brightness", "-20", Path("a.pgm"), "--bits=0,8", Path("o.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QImage png(QString::fromStdString(Path("o.png")));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(qGray(png.pixel(0, 0)), 0);
    EXPECT_EQ(qGray(png.pixel(1, 0)), 44);
}

// ---------------------------------------------------------------- unreadable input

TEST_F(CliTest, UnreadableInputExitsWithOneNamingTheFile) {
    fs::create_directory(Path("folder.pgx"));
    WriteFile(Path("garbage.pgx"), "hello, this is no image\n");
    // Header promises 4 x 4 12-bit samples (32 bytes); only 10 follow.
    WriteFile(Path("short.pgx"), "PG LM 12 4 4\n0123456789");
    WriteFile(Path("depth7.pgx"), PgxBytes("LM", 7, 2, 1, {1, 2}));
    WriteFile(Path("colour.pgm"), "P6\n1 1\n255\nabc");
    WriteFile(Path("data.raw"), std::string(8, '\0'));
    struct Case {
        std::string file;
        std::vector<std::string> extra;
        std::string reason;  // a word the message must contain
    };
    const std::vector<Case> cases = {
        {"missing.pgx", {}, "No such file"}, {"folder.pgx", {}, "regular"},
        {"garbage.pgx", {}, "not a valid"},  {"short.pgx", {}, "not a valid"},
        {"depth7.pgx", {}, "not a valid"},   {"colour.pgm", {}, "not a valid"},
        {"data.raw", {}, "--raw"},           {"data.raw", {"--raw", "4,4,16"}, "RAW"},
    };
    for (const Case& c : cases) {
        for (const char* command : {"info", "convert", "render"}) {
            std::vector<std::string> args{command, Path(c.file)};
            if (std::string(command) == "convert") args.push_back(Path("out.pgx"));
            if (std::string(command) == "render") args.push_back(Path("out.png"));
            args.insert(args.end(), c.extra.begin(), c.extra.end());
            const CRun run = Run(args);
            EXPECT_EQ(run.exitCode, 1) << Describe(args) << "\n" << run.err;
            EXPECT_TRUE(run.out.empty()) << Describe(args);
            const std::string line = LastLine(run.err);
            EXPECT_NE(line.find(Path(c.file)), std::string::npos) << Describe(args) << ": " << line;
            EXPECT_NE(line.find(c.reason), std::string::npos) << Describe(args) << ": " << line;
        }
    }
    EXPECT_FALSE(fs::exists(Path("out.pgx")));
    EXPECT_FALSE(fs::exists(Path("out.png")));
}

// ---------------------------------------------------------------- info

TEST_F(CliTest, InfoReportsFactsAndStatisticsOfAPgx) {
    const std::vector<uint16_t> samples{10, 20, 20, 30, 4000};
    // The comment holds a quote, a backslash, a tab, a control byte and a byte
    // that is not UTF-8: the JSON must stay valid and keep what it can.
    WriteFile(Path("a.pgx"),
              PgxBytes("ML", 12, 5, 1, samples, "#first\n#say \"hi\"\t\\ \x01 \xFF!\n"));
    const CRun run = Run({"info", Path("a.pgx")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject json = JsonOf(run);
    EXPECT_EQ(json["width"].toInt(), 5);
    EXPECT_EQ(json["height"].toInt(), 1);
    EXPECT_EQ(json["depth"].toInt(), 12);
    EXPECT_EQ(json["maxValue"].toInt(), 4095);
    EXPECT_EQ(json["valueOffset"].toInt(), 0);
    EXPECT_EQ(json["bytesPerRow"].toInt(), 10);
    EXPECT_EQ(json["description"].toString(),
              QString::fromUtf8("first\nsay \"hi\"\t\\ \x01 \xEF\xBF\xBD!\n"));

    double mean = 0;
    for (const uint16_t s : samples) mean += s;
    mean /= samples.size();
    double m2 = 0, m3 = 0, m4 = 0;
    for (const uint16_t s : samples) {
        const double d = s - mean;
        m2 += d * d / samples.size();
        m3 += d * d * d / samples.size();
        m4 += d * d * d * d / samples.size();
    }
    const QJsonObject h = json["histogram"].toObject();
    EXPECT_EQ(h["total"].toInt(), 5);
    EXPECT_EQ(h["min"].toInt(), 10);
    EXPECT_EQ(h["max"].toInt(), 4000);
    EXPECT_EQ(h["median"].toInt(), 20);
    EXPECT_DOUBLE_EQ(h["mean"].toDouble(), mean);
    EXPECT_NEAR(h["variance"].toDouble(), m2, 1e-9 * m2);
    EXPECT_NEAR(h["stdDev"].toDouble(), std::sqrt(m2), 1e-9 * std::sqrt(m2));
    EXPECT_NEAR(h["skewness"].toDouble(), m3 / std::pow(m2, 1.5), 1e-9);
    EXPECT_NEAR(h["kurtosis"].toDouble(), m4 / (m2 * m2) - 3.0, 1e-9);
}

TEST_F(CliTest, InfoOnAFlatImageStillPrintsValidJson) {
    // Skewness and kurtosis divide by a zero deviation here; the output must
    // not contain "nan" or "inf", which no JSON reader accepts.
    WriteFile(Path("flat.pgm"), PgmBytes(3, 2, {7, 7, 7, 7, 7, 7}));
    const CRun run = Run({"info", Path("flat.pgm")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject h = JsonOf(run)["histogram"].toObject();
    EXPECT_EQ(h["min"].toInt(), 7);
    EXPECT_EQ(h["max"].toInt(), 7);
    EXPECT_EQ(h["median"].toInt(), 7);
    EXPECT_DOUBLE_EQ(h["mean"].toDouble(), 7.0);
    EXPECT_DOUBLE_EQ(h["stdDev"].toDouble(), 0.0);
}

TEST_F(CliTest, InfoWithoutCountedPixelsGivesNullStatistics) {
    // A 12-bit header over 16-bit words that all exceed 4095: the histogram
    // counts nothing, and the statistics must say "none", not -1.
    WriteFile(Path("high.pgx"), PgxBytes("LM", 12, 2, 1, {5000, 60000}));
    const CRun run = Run({"info", Path("high.pgx")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject h = JsonOf(run)["histogram"].toObject();
    EXPECT_EQ(h["total"].toInt(-1), 0);
    for (const char* key :
         {"min", "max", "median", "mean", "stdDev", "variance", "skewness", "kurtosis"})
        EXPECT_TRUE(h[key].isNull()) << key << " is " << h[key].toDouble();
}

TEST_F(CliTest, InfoReportsTheResolutionTheWorkstationWouldUse) {
    WriteFile(Path("plain.pgm"), PgmBytes(2, 1, {1, 2}));
    WriteFile(Path("A_7_1.LEFT_CC.pgm"), PgmBytes(2, 1, {1, 2}));
    WriteFile(Path("A-7-1.ics"), "LEFT_CC LINES 1 PIXELS_PER_LINE 2 RESOLUTION 50\n");
    const std::string mammogram =
        std::string(VISTREL_SHARED_DATA) + "/dicom/MG_Explicit_Little.dcm";
    if (!fs::exists(mammogram)) GTEST_SKIP() << "no shared data";
    struct Case {
        std::string path;
        double dpi;
        const char* source;
    } cases[] = {
        {Path("plain.pgm"), 583.92, "default"},
        {Path("A_7_1.LEFT_CC.pgm"), 508.0, "ics"},  // 25400 / 50 µm
        {mammogram, 50.8, "dicom"},                 // Imager Pixel Spacing 0.5 mm
    };
    for (const Case& c : cases) {
        const CRun run = Run({"info", c.path});
        ASSERT_EQ(run.exitCode, 0) << c.path << ": " << run.err;
        const QJsonObject json = JsonOf(run);
        EXPECT_NEAR(json["resolution"].toDouble(), c.dpi, 1e-4) << c.path;
        EXPECT_EQ(json["resolutionSource"].toString().toStdString(), c.source) << c.path;
    }
}

TEST_F(CliTest, InfoReadsRawWithItsParameters) {
    // 12-bit samples in the top bits of little-endian words.
    const std::vector<uint16_t> values{0, 1, 2048, 4095, 100, 7};
    std::string bytes;
    for (const uint16_t v : values) {
        const uint16_t word = static_cast<uint16_t>(v << 4);
        bytes += static_cast<char>(word & 0xFF);
        bytes += static_cast<char>(word >> 8);
    }
    WriteFile(Path("a.raw"), bytes);
    const CRun run = Run({"info", Path("a.raw"), "--raw", "3,2,12,msb"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject json = JsonOf(run);
    EXPECT_EQ(json["width"].toInt(), 3);
    EXPECT_EQ(json["height"].toInt(), 2);
    EXPECT_EQ(json["depth"].toInt(), 12);
    EXPECT_EQ(json["histogram"].toObject()["min"].toInt(), 0);
    EXPECT_EQ(json["histogram"].toObject()["max"].toInt(), 4095);
    EXPECT_EQ(json["histogram"].toObject()["total"].toInt(), 6);
}

TEST_F(CliTest, InfoOnRealMammogramsMatchesTheirKnownRange) {
    const fs::path folder = fs::path(VISTREL_SHARED_DATA) / "mammograms/mias";
    if (!fs::exists(folder)) GTEST_SKIP() << folder << " absent";
    struct Case {
        const char* file;
        int min, max;
    };
    const Case cases[] = {{"mdb001.pgm", 0, 221}, {"mdb003.pgm", 0, 242}, {"mdb006.pgm", 0, 243},
                          {"mdb007.pgm", 0, 243}, {"mdb209.pgm", 0, 228}, {"mdb213.pgm", 0, 240},
                          {"mdb216.pgm", 0, 239}, {"mdb219.pgm", 0, 242}, {"mdb226.pgm", 0, 219},
                          {"mdb238.pgm", 0, 206}, {"mdb249.pgm", 0, 241}};
    for (const Case& c : cases) {
        const CRun run = Run({"info", (folder / c.file).string()});
        ASSERT_EQ(run.exitCode, 0) << c.file << ": " << run.err;
        const QJsonObject json = JsonOf(run);
        EXPECT_EQ(json["width"].toInt(), 1024) << c.file;
        EXPECT_EQ(json["height"].toInt(), 1024) << c.file;
        EXPECT_EQ(json["depth"].toInt(), 8) << c.file;
        const QJsonObject h = json["histogram"].toObject();
        EXPECT_EQ(h["total"].toInt(), 1024 * 1024) << c.file;
        EXPECT_EQ(h["min"].toInt(), c.min) << c.file;
        EXPECT_EQ(h["max"].toInt(), c.max) << c.file;
        EXPECT_GT(h["mean"].toDouble(), c.min) << c.file;
        EXPECT_LT(h["mean"].toDouble(), c.max) << c.file;
    }
}

// ---------------------------------------------------------------- convert

TEST_F(CliTest, ConvertRoundTripKeepsEverySample) {
    const std::vector<uint8_t> pixels{0, 1, 127, 128, 254, 255, 17, 42, 99, 200, 3, 250};
    WriteFile(Path("in.pgm"), PgmBytes(4, 3, pixels));
    const CRun toMl = Run({"convert", Path("in.pgm"), Path("ml.pgx"), "--byte-order", "ML"});
    ASSERT_EQ(toMl.exitCode, 0) << toMl.err;
    const QJsonObject json = JsonOf(toMl);
    EXPECT_EQ(json["output"].toString().toStdString(), Path("ml.pgx"));
    EXPECT_EQ(json["width"].toInt(), 4);
    EXPECT_EQ(json["height"].toInt(), 3);
    EXPECT_EQ(json["depth"].toInt(), 8);
    ASSERT_EQ(Run({"convert", Path("ml.pgx"), Path("lm.pgx")}).exitCode, 0);
    ASSERT_EQ(Run({"convert", Path("lm.pgx"), Path("back.pgm")}).exitCode, 0);

    EXPECT_EQ(ReadPgx(Path("ml.pgx")).order, "ML");
    const CPgxFile lm = ReadPgx(Path("lm.pgx"));
    EXPECT_EQ(lm.order, "LM");
    EXPECT_EQ(lm.samples, std::vector<uint16_t>(pixels.begin(), pixels.end()));
    EXPECT_EQ(ReadFile(Path("back.pgm")), ReadFile(Path("in.pgm")));
}

TEST_F(CliTest, ConvertWritesSixteenBitSamplesInTheChosenByteOrder) {
    // 0x0102 and 0x0201 tell the two byte orders apart.
    const std::vector<uint16_t> samples{0x0102, 0x0201, 0, 65535, 4660, 1};
    WriteFile(Path("in.pgx"), PgxBytes("ML", 16, 3, 2, samples));
    ASSERT_EQ(Run({"convert", Path("in.pgx"), Path("lm.pgx")}).exitCode, 0);
    ASSERT_EQ(Run({"convert", Path("lm.pgx"), Path("ml.pgx"), "--byte-order=ML"}).exitCode, 0);
    const std::string lmBytes = ReadFile(Path("lm.pgx"));
    EXPECT_EQ(lmBytes.substr(lmBytes.size() - 12, 4), std::string("\x02\x01\x01\x02", 4));
    EXPECT_EQ(ReadPgx(Path("lm.pgx")).samples, samples);
    EXPECT_EQ(ReadPgx(Path("ml.pgx")).samples, samples);
    EXPECT_EQ(ReadPgx(Path("ml.pgx")).order, "ML");
}

TEST_F(CliTest, ConvertThatCannotWriteFailsAndKeepsTheOldFile) {
    WriteFile(Path("deep.pgx"), PgxBytes("LM", 12, 2, 1, {1, 4000}));
    WriteFile(Path("keep.bmp"), "precious");
    // Twelve-bit images go only to PGX or RAW.
    const CRun refused = Run({"convert", Path("deep.pgx"), Path("keep.bmp")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.empty());
    EXPECT_NE(LastLine(refused.err).find(Path("keep.bmp")), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(Path("keep.bmp")), "precious");

    const CRun noFolder = Run({"convert", Path("deep.pgx"), Path("no/such/dir/out.pgx")});
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_TRUE(noFolder.out.empty());
}

// ---------------------------------------------------------------- render

QImage ReadPng(const std::string& path) {
    QImage png(QString::fromStdString(path));
    EXPECT_FALSE(png.isNull()) << path;
    // The palette must survive: an indexed picture, not RGB. Qt stores a
    // palette whose entry i is grey i as a grey PNG, which keeps the indices.
    EXPECT_TRUE(png.format() == QImage::Format_Indexed8 || png.format() == QImage::Format_Mono ||
                png.format() == QImage::Format_MonoLSB || png.format() == QImage::Format_Grayscale8)
        << path << " has format " << png.format();
    return png;
}

TEST_F(CliTest, RenderFollowsTheValueWindow) {
    const std::vector<uint16_t> samples{0, 500, 1000, 1499, 1500, 1998, 1999, 4095};
    WriteFile(Path("a.pgx"), PgxBytes("LM", 12, 4, 2, samples));
    const CRun run = Run({"render", Path("a.pgx"), Path("a.png"), "--window", "1000,1999"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject json = JsonOf(run);
    EXPECT_EQ(json["output"].toString().toStdString(), Path("a.png"));
    EXPECT_EQ(json["width"].toInt(), 4);
    EXPECT_EQ(json["height"].toInt(), 2);
    EXPECT_EQ(json["depth"].toInt(), 8);
    EXPECT_DOUBLE_EQ(json["zoom"].toDouble(), 1.0);

    const QImage png = ReadPng(Path("a.png"));
    ASSERT_EQ(png.size(), QSize(4, 2));
    // 1000 levels stretched over 256: level = trunc(255 (s - low) / n), saturating.
    const int expected[] = {0, 0, 0, 127, 127, 254, 255, 255};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(qGray(png.pixel(i % 4, i / 4)), expected[i]) << "sample " << samples[i];
}

TEST_F(CliTest, RenderChoosesTheOutputDepthFromTheWindow) {
    const std::vector<uint16_t> samples{0, 99, 100, 107, 115, 999, 1000, 4095};
    WriteFile(Path("a.pgx"), PgxBytes("LM", 12, 8, 1, samples));
    struct Case {
        const char* window;
        int depth;
        std::vector<int> grey;
    };
    const Case cases[] = {
        // One value: a two-level picture, white from the value up.
        {"1000,1000", 1, {0, 0, 0, 0, 0, 0, 255, 255}},
        // Sixteen values: sixteen levels 17 grey steps apart; 107 is level
        // trunc(15 * 7 / 16) = 6.
        {"100,115", 4, {0, 0, 0, 6 * 17, 255, 255, 255, 255}},
    };
    for (const Case& c : cases) {
        const CRun run = Run({"render", Path("a.pgx"), Path("a.png"), "--window", c.window});
        ASSERT_EQ(run.exitCode, 0) << c.window << ": " << run.err;
        EXPECT_EQ(JsonOf(run)["depth"].toInt(), c.depth) << c.window;
        const QImage png = ReadPng(Path("a.png"));
        ASSERT_EQ(png.size(), QSize(8, 1));
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(qGray(png.pixel(x, 0)), c.grey[x]) << c.window << " sample " << samples[x];
    }
}

TEST_F(CliTest, RenderShowsTheChosenBitsWithWrapAround) {
    const std::vector<uint16_t> samples{300, 4095, 16, 256};
    WriteFile(Path("a.pgx"), PgxBytes("LM", 12, 4, 1, samples));
    struct Case {
        const char* bits;
        std::vector<int> grey;
    };
    const Case cases[] = {
        {"0,8", {300 & 255, 255, 16, 0}},  // bits above the window are dropped, not saturated
        {"4,8", {300 >> 4, 255, 1, 16}},
    };
    for (const Case& c : cases) {
        const CRun run = Run({"render", Path("a.pgx"), Path("a.png"), "--bits", c.bits});
        ASSERT_EQ(run.exitCode, 0) << c.bits << ": " << run.err;
        const QImage png = ReadPng(Path("a.png"));
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(qGray(png.pixel(x, 0)), c.grey[x]) << "--bits " << c.bits << " x " << x;
    }
}

TEST_F(CliTest, RenderAppliesCorrectionAndLut) {
    const std::vector<uint8_t> samples{0, 10, 64, 128, 191, 255};
    WriteFile(Path("a.pgm"), PgmBytes(6, 1, samples));
    struct Case {
        std::vector<std::string> options;
        std::vector<int> grey;
    };
    // The bit window 0..7 of an 8-bit image shows each sample as its own
    // level, so the corrections act on known levels.
    const std::vector<Case> cases = {
        {{"--bits", "0,8"}, {0, 10, 64, 128, 191, 255}},
        // f -> trunc(255 (f - 64) / 127), clamped
        {{"--bits", "0,8", "--contrast", "64"}, {0, 0, 0, 128, 255, 255}},
        {{"--bits", "0,8", "--brightness", "-20"}, {0, 0, 44, 108, 171, 235}},
        // f -> trunc(255 sqrt(f / 255) + 0.5)
        {{"--bits", "0,8", "--gamma", "2"}, {0, 50, 128, 181, 221, 255}},
        {{"--bits", "0,8", "--lut", "1"}, {255, 245, 191, 127, 64, 0}},
        // The default value window is the full range 0..255: an 8-bit image's
        // samples already are levels and are shown as themselves.
        {{}, {0, 10, 64, 128, 191, 255}},
        {{"--contrast", "64"}, {0, 0, 0, 128, 255, 255}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"render", Path("a.pgm"), Path("a.png")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CRun run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << Describe(args) << "\n" << run.err;
        const QImage png = ReadPng(Path("a.png"));
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(qGray(png.pixel(x, 0)), c.grey[x])
                << Describe(args) << " sample " << int(samples[x]);
    }
}

TEST_F(CliTest, RenderTakesLutFilesFromTheFolderBesideTheProgram) {
    // A copy of the program in a folder of our own, with its own Luts folder.
    fs::create_directories(dir_ / "bin" / "Luts");
    const fs::path program = dir_ / "bin" / "vistrel-cli";
    fs::copy_file(VISTREL_CLI, program);
    std::string ramp;
    for (int i = 0; i < 256; ++i) ramp += static_cast<char>(i);        // red
    ramp += std::string(256, '\0');                                    // green
    for (int i = 0; i < 256; ++i) ramp += static_cast<char>(255 - i);  // blue
    WriteFile(dir_ / "bin" / "Luts" / "Ramp.LUT", ramp);
    WriteFile(dir_ / "bin" / "Luts" / "bad.lut", std::string(100, '\1'));  // too short
    const std::vector<uint8_t> samples{0, 100, 255};
    WriteFile(Path("a.pgm"), PgmBytes(3, 1, samples));

    // The list is the two built-in ramps, then the files by name: bad, ramp.
    const CRun run = RunCli({"render", Path("a.pgm"), Path("a.png"), "--bits", "0,8", "--lut", "3"},
                            dir_, program.string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(JsonOf(run)["lut"].toString(), "ramp");
    const QImage png = ReadPng(Path("a.png"));
    for (int x = 0; x < 3; ++x) {
        const QRgb colour = png.pixel(x, 0);
        EXPECT_EQ(qRed(colour), samples[x]) << x;
        EXPECT_EQ(qGreen(colour), 0) << x;
        EXPECT_EQ(qBlue(colour), 255 - samples[x]) << x;
    }

    const CRun unreadable =
        RunCli({"render", Path("a.pgm"), Path("b.png"), "--lut", "2"}, dir_, program.string());
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_NE(LastLine(unreadable.err).find("bad.lut"), std::string::npos) << unreadable.err;
    EXPECT_FALSE(fs::exists(Path("b.png")));
    EXPECT_EQ(RunCli({"render", Path("a.pgm"), Path("b.png"), "--lut", "4"}, dir_, program.string())
                  .exitCode,
              2);
}

TEST_F(CliTest, RenderZoomsAndFits) {
    std::vector<uint8_t> samples(8);
    for (int i = 0; i < 8; ++i) samples[i] = static_cast<uint8_t>(30 * i);
    WriteFile(Path("a.pgm"), PgmBytes(4, 2, samples));

    // The bit window 0..7 shows every sample as its own level.
    const CRun zoomed =
        Run({"render", Path("a.pgm"), Path("z.png"), "--zoom", "2", "--bits", "0,8"});
    ASSERT_EQ(zoomed.exitCode, 0) << zoomed.err;
    EXPECT_DOUBLE_EQ(JsonOf(zoomed)["zoom"].toDouble(), 2.0);
    const QImage big = ReadPng(Path("z.png"));
    ASSERT_EQ(big.size(), QSize(8, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(qGray(big.pixel(x, y)), samples[(y / 2) * 4 + x / 2]) << x << "," << y;

    // The tighter axis decides: 4 x 2 into 2 x 2 halves both sides.
    const CRun fitted =
        Run({"render", Path("a.pgm"), Path("f.png"), "--fit", "2,2", "--bits", "0,8"});
    ASSERT_EQ(fitted.exitCode, 0) << fitted.err;
    const QJsonObject json = JsonOf(fitted);
    EXPECT_EQ(json["width"].toInt(), 2);
    EXPECT_EQ(json["height"].toInt(), 1);
    EXPECT_DOUBLE_EQ(json["zoom"].toDouble(), 0.5);
    const QImage small = ReadPng(Path("f.png"));
    ASSERT_EQ(small.size(), QSize(2, 1));
    EXPECT_EQ(qGray(small.pixel(0, 0)), samples[0]);
    EXPECT_EQ(qGray(small.pixel(1, 0)), samples[2]);

    // A wide strip fitted into a square keeps no row at all: no picture.
    WriteFile(Path("strip.pgm"), PgmBytes(200, 1, std::vector<uint8_t>(200, 9)));
    const CRun empty = Run({"render", Path("strip.pgm"), Path("s.png"), "--fit", "10,10"});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_NE(LastLine(empty.err).find(Path("strip.pgm")), std::string::npos) << empty.err;
    EXPECT_FALSE(fs::exists(Path("s.png")));
}

TEST_F(CliTest, RenderReplacesAnExistingPictureCompletely) {
    WriteFile(Path("a.pgm"), PgmBytes(2, 2, {1, 2, 3, 4}));
    WriteFile(Path("a.png"), std::string(100000, 'x'));
    ASSERT_EQ(Run({"render", Path("a.pgm"), Path("a.png")}).exitCode, 0);
    EXPECT_EQ(ReadPng(Path("a.png")).size(), QSize(2, 2));
    // Nothing but the picture is left in the folder (no temporary files).
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.pgm", "a.png", "stderr.txt", "stdout.txt"}));
}

// ---------------------------------------------------------------- phantom

TEST_F(CliTest, PhantomIsDeterministicPerSeed) {
    const std::vector<std::string> size{"--width", "200", "--height", "240"};
    const auto make = [&](const std::string& name, const std::string& seed) {
        std::vector<std::string> args{"phantom", Path(name), "--seed", seed};
        args.insert(args.end(), size.begin(), size.end());
        const CRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return ReadFile(Path(name));
    };
    const std::string first = make("a.pgx", "7");
    EXPECT_EQ(make("b.pgx", "7"), first);
    EXPECT_NE(make("c.pgx", "8"), first);
    EXPECT_GT(first.size(), 200u * 240u * 2u);
}

TEST_F(CliTest, PhantomLooksLikeABreastOnADarkBackground) {
    const int width = 256, height = 320;
    for (const char* seed : {"0", "1", "12345", "4294967295"}) {
        const CRun run = Run({"phantom", Path("p.pgx"), "--width", std::to_string(width),
                              "--height", std::to_string(height), "--seed", seed});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const QJsonObject json = JsonOf(run);
        EXPECT_EQ(json["seed"].toDouble(), std::strtod(seed, nullptr));
        EXPECT_EQ(json["depth"].toInt(), 12);
        const CPgxFile file = ReadPgx(Path("p.pgx"));
        ASSERT_EQ(file.samples.size(), static_cast<std::size_t>(width * height)) << seed;
        EXPECT_EQ(file.depth, 12);
        EXPECT_EQ(file.order, "LM");

        // Mean of a block given in fractions of the image size.
        const auto mean = [&](double x0, double x1, double y0, double y1) {
            double sum = 0;
            int count = 0;
            for (int y = int(y0 * height); y < int(y1 * height); ++y)
                for (int x = int(x0 * width); x < int(x1 * width); ++x, ++count)
                    sum += file.samples[y * width + x];
            return sum / count;
        };
        const double topRight = mean(0.9, 1.0, 0.0, 0.1);
        const double bottomRight = mean(0.9, 1.0, 0.9, 1.0);
        const double chestWall = mean(0.02, 0.12, 0.42, 0.58);
        const double towardsNipple = mean(0.5, 0.6, 0.42, 0.58);
        EXPECT_LT(topRight, 0.03 * 4095) << "seed " << seed;
        EXPECT_LT(bottomRight, 0.03 * 4095) << "seed " << seed;
        EXPECT_GT(chestWall, 0.35 * 4095) << "seed " << seed;
        EXPECT_GT(chestWall, towardsNipple) << "seed " << seed;
        EXPECT_GT(towardsNipple, 10 * topRight) << "seed " << seed;

        // Slight noise in the background, a good part of the range in the tissue.
        const uint16_t corner = file.samples[width - 1];
        bool backgroundVaries = false;
        for (int x = width - 20; x < width; ++x)
            backgroundVaries = backgroundVaries || file.samples[x] != corner;
        EXPECT_TRUE(backgroundVaries) << "seed " << seed;
        const uint16_t brightest = *std::max_element(file.samples.begin(), file.samples.end());
        EXPECT_GT(brightest, 0.6 * 4095) << "seed " << seed;
        EXPECT_LE(brightest, 4095) << "seed " << seed;
    }
}

TEST_F(CliTest, PhantomDefaultsAndFormats) {
    const CRun defaults = Run({"phantom", Path("d.pgx")});
    ASSERT_EQ(defaults.exitCode, 0) << defaults.err;
    const QJsonObject json = JsonOf(defaults);
    EXPECT_EQ(json["width"].toInt(), 1024);
    EXPECT_EQ(json["height"].toInt(), 1280);
    EXPECT_EQ(json["depth"].toInt(), 12);
    EXPECT_EQ(json["seed"].toInt(), 1);

    // Deeper samples scale with the depth; an 8-bit phantom can be a PGM; the
    // output name is escaped in the JSON.
    const std::string odd = Path("we\"ird\\name.pgx");
    const CRun deep = Run(
        {"phantom", odd, "--width", "64", "--height", "80", "--depth", "16", "--byte-order", "ML"});
    ASSERT_EQ(deep.exitCode, 0) << deep.err;
    EXPECT_EQ(JsonOf(deep)["output"].toString().toStdString(), odd);
    const CPgxFile file = ReadPgx(odd);
    EXPECT_EQ(file.order, "ML");
    EXPECT_EQ(file.depth, 16);
    EXPECT_GT(*std::max_element(file.samples.begin(), file.samples.end()), 0.6 * 65535);

    const CRun grey =
        Run({"phantom", Path("p.pgm"), "--width", "64", "--height", "80", "--depth", "8"});
    ASSERT_EQ(grey.exitCode, 0) << grey.err;
    const CRun info = Run({"info", Path("p.pgm")});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(JsonOf(info)["depth"].toInt(), 8);
    EXPECT_GT(JsonOf(info)["histogram"].toObject()["max"].toInt(), 150);

    // A 12-bit phantom cannot be a PGM: the save is refused, exit status 1.
    const CRun refused = Run({"phantom", Path("q.pgm"), "--width", "64", "--height", "80"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_FALSE(fs::exists(Path("q.pgm")));
}

// The DICOM engine is loaded only when a DICOM file is read: a file that
// only the engine decodes (JPEG baseline) still opens.
TEST_F(CliTest, TheDicomEngineIsLoadedWhenADicomFileIsRead) {
    const std::string jpeg =
        std::string(VISTREL_SHARED_DATA) + "/dicom/JPEGBaseline_1s_1f_u_08_08.dcm";
    if (!fs::exists(jpeg)) GTEST_SKIP() << "no shared data";
    if (!fs::exists(fs::path(VISTREL_CLI).parent_path() / "plugins/dicom_engine.so"))
        GTEST_SKIP() << "no DICOM engine built";
    const CRun run = Run({"info", jpeg});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(JsonOf(run)["width"].toInt(), 100);
    EXPECT_EQ(JsonOf(run)["height"].toInt(), 100);
}

}  // namespace
