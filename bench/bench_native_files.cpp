// Reading a full-field 12-bit mammogram (3328 x 4084) from a PGX file that is
// already in the page cache, in both byte orders.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/image.h"

namespace {

namespace fs = std::filesystem;

class PgxFile {
  public:
    explicit PgxFile(bool byteOrderLM) {
        dir_ = fs::temp_directory_path() /
               ("vistrel_bench_native_" + std::to_string(getpid()) + (byteOrderLM ? "_lm" : "_ml"));
        fs::create_directories(dir_);
        path_ = (dir_ / "mammogram.pgx").string();
        vistrel::CMImage image(3328, 4084, 12);
        for (int32_t y = 0; y < image.height; ++y) {
            uint16_t* row = image.Row16(y);
            for (int32_t x = 0; x < image.width; ++x)
                row[x] = static_cast<uint16_t>((x * 7 + y * 13) & 0x0FFF);
        }
        ok_ = image.WritePgx(byteOrderLM, path_) == 1;
    }
    ~PgxFile() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    const std::string& path() const { return path_; }
    bool ok() const { return ok_; }

  private:
    fs::path dir_;
    std::string path_;
    bool ok_ = false;
};

void ReadPgx(benchmark::State& state, bool byteOrderLM) {
    const PgxFile file(byteOrderLM);
    if (!file.ok()) {
        state.SkipWithError("could not write the PGX file");
        return;
    }
    vistrel::CMImage image;
    std::string description;
    image.ReadPgx(file.path(), description);  // warms the page cache
    for (auto _ : state) {
        if (image.ReadPgx(file.path(), description) != 1) {
            state.SkipWithError("reading failed");
            break;
        }
        benchmark::DoNotOptimize(image.data);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 3328 * 4084 * 2);
}

void BM_ReadPgx12BitLM(benchmark::State& state) {
    ReadPgx(state, true);
}
void BM_ReadPgx12BitML(benchmark::State& state) {
    ReadPgx(state, false);
}

}  // namespace

BENCHMARK(BM_ReadPgx12BitLM)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_ReadPgx12BitML)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
