// vistrel-cli progress on a terminal's stderr, and nothing of it in a pipe.

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace vistrel::clitest {
namespace {

// Runs the program with stderr on a pseudo-terminal (stdout to a file of
// scratch); what the terminal received goes to terminalText.
CRun RunOnTerminal(const std::vector<std::string>& args, const fs::path& scratch,
                   std::string& terminalText) {
    CRun run;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return run;
    }
    const std::string slave = ptsname(master);
    const fs::path outPath = scratch / "stdout.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, slave.c_str(), O_RDWR | O_NOCTTY, 0);
    std::vector<std::string> words{VISTREL_CLI};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        close(master);
        ADD_FAILURE() << "cannot start " << argv[0];
        return run;
    }
    // Read as it comes (a full terminal buffer would stop the program) until
    // the last holder of the terminal side has gone.
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        terminalText.append(buffer, std::size_t(n));
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFile(outPath);
    return run;
}

// The percentages of "\r<label> N%" in text, in order.
std::vector<int> Percentages(const std::string& text, const std::string& label) {
    std::vector<int> found;
    const std::string start = "\r" + label + " ";
    for (std::size_t at = text.find(start); at != std::string::npos;
         at = text.find(start, at + 1)) {
        const std::size_t digits = at + start.size();
        const std::size_t end = text.find('%', digits);
        if (end == std::string::npos) break;
        found.push_back(std::stoi(text.substr(digits, end - digits)));
    }
    return found;
}

class CliProgress : public CCliScratchTest {};

TEST_F(CliProgress, LongCommandsShowAClearedPercentOnATerminalOnly) {
    // 400 x 300 8-bit with some structure and a few bright specks.
    std::string pgm = "P5\n400 300\n255\n";
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            double v = 60 + 40 * std::sin(x / 23.0) * std::cos(y / 31.0) + (x * 7 + y * 13) % 5;
            for (int k = 0; k < 6; ++k) {
                const double dx = x - (50 + 60 * k), dy = y - (40 + 40 * k);
                v += 120 * std::exp(-(dx * dx + dy * dy) / 4.0);
            }
            pgm += char(std::min(255.0, v));
        }
    WriteFile(Path("in.pgm"), pgm);
    const struct {
        const char* label;
        std::vector<std::string> args;
        std::string output;  // a file the command writes, compared too
    } cases[] = {
        {"filter", {"filter", Path("in.pgm"), Path("OUT"), "--kernel", "gauss:2"}, "out.pgx"},
        {"spots",
         {"spots", Path("in.pgm"), "--min", "2", "--max", "8", "--cnd", Path("OUT")},
         "out.cnd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto args = c.args;
        for (std::string& a : args)
            if (a == Path("OUT")) a = Path(c.output);
        const CRun piped = Run(args);
        ASSERT_EQ(piped.exitCode, 0) << piped.err;
        EXPECT_EQ(piped.err, "") << "a pipe gets no progress";
        const std::string pipedOutput = ReadFile(Path(c.output));
        ASSERT_FALSE(pipedOutput.empty());
        fs::remove(Path(c.output));

        std::string terminal;
        const CRun shown = RunOnTerminal(args, dir_, terminal);
        ASSERT_EQ(shown.exitCode, 0) << terminal;
        EXPECT_EQ(shown.out, piped.out) << "stdout is the same";
        EXPECT_EQ(ReadFile(Path(c.output)), pipedOutput);

        const std::vector<int> percent = Percentages(terminal, c.label);
        ASSERT_GE(percent.size(), 3u) << terminal;
        for (std::size_t i = 1; i < percent.size(); ++i) EXPECT_GT(percent[i], percent[i - 1]);
        EXPECT_EQ(percent.back(), 100);
        // Nothing but the indicator, which ends wiped: spaces over the line
        // and the cursor back at its start.
        EXPECT_EQ(terminal.find('\n'), std::string::npos) << terminal;
        const std::size_t last = terminal.rfind("100%");
        ASSERT_NE(last, std::string::npos);
        const std::string tail = terminal.substr(last + 4);
        ASSERT_GE(tail.size(), 2u);
        EXPECT_EQ(tail.front(), '\r');
        EXPECT_EQ(tail.back(), '\r');
        EXPECT_EQ(tail.find_first_not_of(' ', 1), tail.size() - 1) << "only spaces between";
        EXPECT_GE(tail.size() - 2, std::string(c.label).size() + 5);
    }
}

}  // namespace
}  // namespace vistrel::clitest
