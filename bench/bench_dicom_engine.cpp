// What running the DICOM engine in a child process costs when a mammogram
// is opened: a synthetic 16-bit 4096 x 6144 DICOM file (about 50 MB, in the
// page cache) opened through CMImage::Open with the shipped engine called
// in-process and in a child, the host's structure check on its own, and the
// built-in reader for comparison.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/support/dicom_test_writer.h"
#include "core/dicom_engine.h"
#include "core/dicom_reader.h"
#include "core/image.h"

namespace {

namespace fs = std::filesystem;
using namespace vistrel;

constexpr uint16_t kWidth = 4096;
constexpr uint16_t kHeight = 6144;

class Mammogram {
  public:
    Mammogram() {
        path_ = (fs::temp_directory_path() /
                 ("vistrel_bench_dicom_" + std::to_string(getpid()) + ".dcm"))
                    .string();
        dicomtest::DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.Text(0x0008, 0x0060, "CS", "MG");
        w.Text(0x0018, 0x1164, "DS", "0.07\\0.07");
        w.Image(kHeight, kWidth, 16, 12, 11);
        std::vector<uint16_t> samples(std::size_t{kWidth} * kHeight);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const std::size_t x = i % kWidth, y = i / kWidth;
            samples[i] = static_cast<uint16_t>((x * 7 + y * 13) & 0x0FFF);
        }
        w.Pixels16(samples);
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(w.bytes.data()),
                   static_cast<std::streamsize>(w.bytes.size()));
    }
    ~Mammogram() { fs::remove(path_); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

const Mammogram& File() {
    static const Mammogram file;
    return file;
}

// The shipped engine, from the plug-in folder beside this program.
VTLoadDicomFileFn EngineLoad() {
    static VTLoadDicomFileFn load = [] {
        const fs::path self = fs::read_symlink("/proc/self/exe").parent_path();
        void* library = dlopen((self / "plugins" / "dicom_engine.so").c_str(), RTLD_NOW);
        return library ? reinterpret_cast<VTLoadDicomFileFn>(dlsym(library, "LoadDicomFile"))
                       : nullptr;
    }();
    return load;
}

void OpenThroughEngine(benchmark::State& state, bool isolated) {
    const VTLoadDicomFileFn load = EngineLoad();
    if (!load) {
        state.SkipWithError("plugins/dicom_engine.so not found beside the benchmark");
        return;
    }
    SetDicomEngineProvider([load, isolated] {
        return std::vector<CDicomEngine>{{load, nullptr, isolated}};
    });
    const std::string& path = File().path();
    for (auto _ : state) {
        CMImage image;
        std::string description;
        if (image.Open(path, description) != 1 || image.width != kWidth) {
            state.SkipWithError(("cannot open: " + LastOpenFailure()).c_str());
            break;
        }
        benchmark::DoNotOptimize(image.data);
    }
    SetDicomEngineProvider({});
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 2);
}

void BM_OpenMammogramEngineInProcess(benchmark::State& state) {
    OpenThroughEngine(state, false);
}
BENCHMARK(BM_OpenMammogramEngineInProcess)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(4.0)
    ->UseRealTime();

void BM_OpenMammogramEngineInChild(benchmark::State& state) {
    OpenThroughEngine(state, true);
}
BENCHMARK(BM_OpenMammogramEngineInChild)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(4.0)
    ->UseRealTime();

void BM_OpenMammogramBuiltIn(benchmark::State& state) {
    SetDicomEngineProvider({});
    for (auto _ : state) {
        CMImage image;
        std::string description;
        if (image.Open(File().path(), description) != 1) {
            state.SkipWithError("cannot open");
            break;
        }
        benchmark::DoNotOptimize(image.data);
    }
}
BENCHMARK(BM_OpenMammogramBuiltIn)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The structure check alone, on the file in memory.
void BM_StructureCheck(benchmark::State& state) {
    std::ifstream in(File().path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    for (auto _ : state) {
        const DicomStructure structure = CheckDicomStructure(bytes.data(), bytes.size());
        if (structure.defect != DicomDefect::None) {
            state.SkipWithError("the check refused the file");
            break;
        }
        benchmark::DoNotOptimize(structure.rows);
    }
}
BENCHMARK(BM_StructureCheck)->Unit(benchmark::kMicrosecond);

}  // namespace
