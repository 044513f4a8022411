// Runs the built workstation with batch switches the way a script would:
// no display, no settings of the user, and the exit code as the result.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/image.h"

namespace vistrel {
namespace {

struct CRun {
    int exitCode = -1;
    bool finished = false;
    std::string out;
    std::string err;
};

class BatchRun : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    std::string Path(const std::string& name) const {
        return (dir.path() + "/").toStdString() + name;
    }
    // The program without DISPLAY or WAYLAND_DISPLAY, its settings in the temporary folder.
    CRun Run(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.insert("HOME", dir.path());
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(VISTREL_PROGRAM, args);
        CRun run;
        run.finished = process.waitForFinished(60000);
        if (!run.finished) process.kill();
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput().toStdString();
        run.err = process.readAllStandardError().toStdString();
        return run;
    }
    // A 12-bit 4 x 3 little-endian PGX file with samples 0, 300, 600 ...
    std::string WriteSmallPgx(const std::string& name) {
        const std::string path = Path(name);
        std::ofstream out(path, std::ios::binary);
        out << "PG LM 12 4 3\n";
        for (int i = 0; i < 12; ++i) {
            const int sample = std::min(i * 300, 4095);
            out.put(static_cast<char>(sample & 0xFF));
            out.put(static_cast<char>(sample >> 8));
        }
        return path;
    }
    static CMImage Read(const std::string& path) {
        CMImage image;
        std::string description;
        EXPECT_EQ(image.Open(path, description), 1) << path;
        return image;
    }

    QTemporaryDir dir;
};

TEST_F(BatchRun, HelpPrintsTheUsageAndStartsNothing) {
    // No display is set: a program that tried to open its window would fail here.
    const std::string image = WriteSmallPgx("small.pgx");
    for (const QStringList& args : {QStringList{"--help"}, QStringList{"-h"},
                                    QStringList{"-e", QString::fromStdString(image), "-h"}}) {
        const CRun run = Run(args);
        const std::string label = args.join(' ').toStdString();
        ASSERT_TRUE(run.finished) << label;
        EXPECT_EQ(run.exitCode, 0) << label << ": " << run.err;
        EXPECT_EQ(run.out.rfind("Usage: vistrel [FILE...]", 0), 0u) << label << ": " << run.out;
        EXPECT_NE(run.out.find("\n  -e "), std::string::npos) << label;
        EXPECT_EQ(run.err, "") << label;
    }
    // The batch switch next to -h did not run.
    EXPECT_FALSE(std::filesystem::exists(image + ".pgm"));
}

TEST_F(BatchRun, EightBitConversionRunsWithoutADisplay) {
    const std::string image = WriteSmallPgx("small.pgx");
    const CRun run = Run({"-e", QString::fromStdString(image)});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const CMImage converted = Read(image + ".pgm");
    EXPECT_EQ(converted.depth, 8);
    EXPECT_EQ(converted.width, 4);
    EXPECT_EQ(converted.height, 3);
    EXPECT_EQ(converted.GetPixel(1, 0), 300 >> 4);
    EXPECT_EQ(converted.GetPixel(3, 2), 3300 >> 4);
}

TEST_F(BatchRun, SaveAgainAndTestCopy) {
    const std::string image = WriteSmallPgx("a.pgx");
    CRun run = Run({"/c", QString::fromStdString(image)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Read(image).GetPixel(2, 1), 1800);

    run = Run({QString::fromStdString(image), "-f"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const CMImage copy = Read(Path("a.test.pgx"));
    EXPECT_EQ(copy.depth, 12);
    EXPECT_EQ(copy.GetPixel(2, 1), 1800);
}

TEST_F(BatchRun, UnopenableFileOrMissingRoutineExitsNonZero) {
    CRun run = Run({"-c", QString::fromStdString(Path("missing.pgx"))});
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("missing.pgx"), std::string::npos) << run.err;

    { std::ofstream(Path("broken.pgx")) << "PG LM 12 4000000 4000000\n"; }
    run = Run({"-f", QString::fromStdString(Path("broken.pgx"))});
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.exitCode, 0);

    const std::string image = WriteSmallPgx("b.pgx");
    run = Run({"-g", QString::fromStdString(image)});
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("not available"), std::string::npos) << run.err;
}

TEST_F(BatchRun, BreastOutlineOfAFilmIsWrittenBesideIt) {
    if (!std::filesystem::exists(std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb003.pgm"))
        GTEST_SKIP() << "no shared data";
    const std::string film = Path("mdb003.pgm");
    std::filesystem::copy_file(std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb003.pgm",
                               film);
    CRun run = Run({"-b", QString::fromStdString(film)});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Width and height, an empty line, the count, then that many points.
    std::ifstream sgt(Path("mdb003.sgt"));
    ASSERT_TRUE(sgt) << "no outline written";
    int width = 0, height = 0, count = 0;
    sgt >> width >> height >> count;
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 1024);
    EXPECT_GT(count, 20);
    int points = 0, x = 0, y = 0;
    while (sgt >> x >> y) {
        ++points;
        EXPECT_TRUE(x >= 0 && x < 1024 && y >= 0 && y < 1024) << x << " " << y;
    }
    EXPECT_EQ(points, count);

    // An image too small to segment: non-zero, and the reason on stderr.
    const std::string tiny = WriteSmallPgx("tiny.pgx");
    run = Run({"-b", QString::fromStdString(tiny)});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("No breast outline"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(Path("tiny.sgt")));
}

TEST_F(BatchRun, DetectionAndReevaluationOfAFilmExitWithTheirStatus) {
    if (!std::filesystem::exists(std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb209.pgm"))
        GTEST_SKIP() << "no shared data";
    const std::string film = Path("mdb209.pgm");
    std::filesystem::copy_file(std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb209.pgm",
                               film);
    const std::string bad = Path("bad.pgm");
    { std::ofstream(bad) << "P5\n99999 99999\n255\n"; }

    CRun run = Run({"-s", "10", QString::fromStdString(film)});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string results = Path("results");
    std::ifstream lines(results + "/BSDx_results_10_0.txt");
    ASSERT_TRUE(lines) << "no results file";
    std::string header, line;
    std::getline(lines, header);
    std::getline(lines, line);
    EXPECT_EQ(header.rfind("Filename;breast rect; larger clusters;", 0), 0u) << header;
    EXPECT_EQ(line.rfind(film + "; ", 0), 0u) << line;
    EXPECT_TRUE(std::filesystem::exists(results + "/mdb209.regions_BSDx_10_0.OVERLAY"));

    // The stored regions evaluated again with 0.5 cm clusters of 3.
    run = Run({"-v", "0.5", "3", QString::fromStdString(film)});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string set = std::filesystem::path(film).parent_path().filename().string();
    EXPECT_TRUE(std::filesystem::exists(
        results + "/_" + set + "_evaluation_BSDx_results_with_corrections_mca0.5_mcn3.txt"));

    // A file that cannot be read, and one without stored detections.
    run = Run({"-s", QString::fromStdString(bad)});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    const std::string other = WriteSmallPgx("other.pgx");
    run = Run({"-v", "1", "3", QString::fromStdString(other)});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no stored detection"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace vistrel
