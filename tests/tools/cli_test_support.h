#pragma once
// Running the built vistrel-cli from tests: capture of exit code, stdout and
// stderr, the JSON result, and PGX files built and read without the library.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

extern char** environ;

namespace vistrel::clitest {

namespace fs = std::filesystem;

struct CRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs the program with stdout and stderr captured in files of `scratch`.
inline CRun RunCli(const std::vector<std::string>& args, const fs::path& scratch,
                   const std::string& program = VISTREL_CLI) {
    const fs::path outPath = scratch / "stdout.txt";
    const fs::path errPath = scratch / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    CRun run;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return run;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
}

inline std::string Describe(const std::vector<std::string>& args) {
    std::string text = "vistrel-cli";
    for (const std::string& arg : args) text += " " + arg;
    return text;
}

// The one JSON object on stdout; a parse error (trailing text included) fails the test.
inline QJsonObject JsonOf(const CRun& run) {
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " in: " << run.out;
    EXPECT_TRUE(document.isObject()) << run.out;
    return document.object();
}

// A PGX file: header line, then the samples (LM: low byte first).
inline std::string PgxBytes(int depth, int width, int height,
                            const std::vector<uint16_t>& samples) {
    std::string bytes = "PG LM " + std::to_string(depth) + " " + std::to_string(width) + " " +
                        std::to_string(height) + "\n";
    for (const uint16_t sample : samples) {
        bytes += static_cast<char>(sample & 0xFF);
        if (depth > 8) bytes += static_cast<char>(sample >> 8);
    }
    return bytes;
}

// Samples of a PGX file read independently of the library.
struct CPgxFile {
    std::string order;
    int depth = 0, width = 0, height = 0;
    std::vector<uint16_t> samples;
};
inline CPgxFile ReadPgx(const fs::path& path) {
    CPgxFile file;
    const std::string bytes = ReadFile(path);
    std::istringstream header(bytes.substr(0, bytes.find('\n')));
    std::string magic;
    header >> magic >> file.order >> file.depth >> file.width >> file.height;
    const std::size_t bytesPer = file.depth > 8 ? 2 : 1;
    const std::size_t count = static_cast<std::size_t>(file.width) * file.height;
    if (magic != "PG" || bytes.size() < count * bytesPer) return file;
    const std::size_t start = bytes.size() - count * bytesPer;
    for (std::size_t i = 0; i < count; ++i) {
        const auto byte = [&](std::size_t k) {
            return static_cast<uint16_t>(static_cast<unsigned char>(bytes[start + k]));
        };
        if (bytesPer == 1)
            file.samples.push_back(byte(i));
        else if (file.order == "ML")
            file.samples.push_back(static_cast<uint16_t>(byte(2 * i) << 8 | byte(2 * i + 1)));
        else
            file.samples.push_back(static_cast<uint16_t>(byte(2 * i + 1) << 8 | byte(2 * i)));
    }
    return file;
}

// A fresh scratch folder per test.
class CCliScratchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vistrel_cli_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    CRun Run(const std::vector<std::string>& args) const { return RunCli(args, dir_); }

    fs::path dir_;
};

}  // namespace vistrel::clitest
