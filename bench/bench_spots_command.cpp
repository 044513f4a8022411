// The whole `vistrel-cli spots` process on a full-field phantom (3328 x 4084,
// 12 bits) as a user runs it: start, plug-in set-up, reading the file, the
// detector, selection and the JSON on stdout (sent to /dev/null). Beside it
// the start-up alone (`info` on a tiny image), which a slow plug-in load shows.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "phantom.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
    static const fs::path folder = [] {
        fs::path f =
            fs::temp_directory_path() / ("vistrel_bench_spots_" + std::to_string(getpid()));
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

struct CCleanup {
    ~CCleanup() {
        std::error_code ignored;
        fs::remove_all(Folder(), ignored);
    }
} cleanup;

std::string PhantomFile() {
    static const std::string path = [] {
        vistrel::cli::CPhantomParams params;
        params.width = 3328;
        params.height = 4084;
        params.clusters = 6;
        params.isolatedSpots = 40;
        const std::string file = (Folder() / "phantom.pgx").string();
        auto phantom = vistrel::cli::GeneratePhantom(params);
        if (!phantom.image || phantom.image->Save(true, file) != 1) return std::string();
        return file;
    }();
    return path;
}

std::string TinyFile() {
    static const std::string path = [] {
        vistrel::CMImage image(16, 16, 8);
        const std::string file = (Folder() / "tiny.pgm").string();
        return image.Save(true, file) == 1 ? file : std::string();
    }();
    return path;
}

// Runs the program with stdout and stderr on /dev/null; its exit status.
int Run(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    std::string program = VISTREL_CLI;
    argv.push_back(program.data());
    std::vector<std::string> copy = words;
    for (std::string& w : copy) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void RunCommand(benchmark::State& state, const std::vector<std::string>& words) {
    for (auto _ : state) {
        if (Run(words) != 0) {
            state.SkipWithError("vistrel-cli failed");
            return;
        }
    }
}

void BM_SpotsCommandOnPhantom(benchmark::State& state) {
    const std::string file = PhantomFile();
    if (file.empty()) return state.SkipWithError("cannot write the phantom");
    RunCommand(state, {"spots", file});
}

void BM_InfoCommandOnTinyImage(benchmark::State& state) {
    const std::string file = TinyFile();
    if (file.empty()) return state.SkipWithError("cannot write the image");
    RunCommand(state, {"info", file});
}

// froc on the same kind of phantom with its truth beside it: the detector,
// a sweep of 20 thresholds over its spots and the chart as SVG.
std::string PhantomWithTruthFile() {
    static const std::string path = [] {
        vistrel::cli::CPhantomParams params;
        params.width = 3328;
        params.height = 4084;
        params.clusters = 6;
        params.isolatedSpots = 40;
        const std::string file = (Folder() / "phantom_truth.pgx").string();
        auto phantom = vistrel::cli::GeneratePhantom(params);
        if (!phantom.image || phantom.image->Save(true, file) != 1 ||
            !vistrel::cli::WritePhantomTruth((Folder() / "phantom_truth.OVERLAY").string(),
                                             phantom))
            return std::string();
        return file;
    }();
    return path;
}

void BM_FrocCommandOnPhantom(benchmark::State& state) {
    const std::string file = PhantomWithTruthFile();
    if (file.empty()) return state.SkipWithError("cannot write the phantom and its truth");
    RunCommand(state,
               {"froc", file, "--auto-range", "20", "--plot", (Folder() / "froc.svg").string()});
}

BENCHMARK(BM_SpotsCommandOnPhantom)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_FrocCommandOnPhantom)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_InfoCommandOnTinyImage)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
