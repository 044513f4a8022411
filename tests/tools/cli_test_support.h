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

#include "support/native_file_builders.h"
#include "support/scratch_dir.h"

extern char** environ;

namespace vistrel::clitest {

namespace fs = std::filesystem;

struct CRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const fs::path& path) {
    return testsupport::ReadFileBytes(path);
}
inline void WriteFile(const fs::path& path, const std::string& bytes) {
    testsupport::WriteFileBytes(path, bytes);
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

using testsupport::CPgxFile;
using testsupport::PgmBytes;
using testsupport::PgxBytes;
using testsupport::ReadPgx;

// A PGX file with the samples low byte first.
inline std::string PgxBytes(int depth, int width, int height,
                            const std::vector<uint16_t>& samples) {
    return PgxBytes("LM", depth, width, height, samples);
}

// A fresh scratch folder per test.
class CCliScratchTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    CRun Run(const std::vector<std::string>& args) const { return RunCli(args, dir_); }

    testsupport::CScratchDir scratch_{"vistrel_cli"};
    fs::path dir_ = scratch_.path();
};

}  // namespace vistrel::clitest
