// Feeds arbitrary bytes to the DICOM engine path: the host's structure check
// from memory, then CMImage::Open of the bytes as a ".dcm" file with the
// shipped engine loaded and run in a child process. Whatever the engine
// does with the file, the host must come back with a clean result.
//
// Run it with ASAN_OPTIONS=allocator_may_return_null=1 so that an engine
// asking for absurd amounts of memory (sanitizer builds run the child
// without an address-space limit) gets a null pointer instead of a report.

#include <dlfcn.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/dicom_engine.h"
#include "core/dicom_log.h"
#include "core/dicom_reader.h"
#include "core/image.h"
#include "core/messages.h"
#include "fuzz_support.h"

namespace {

using vistrel::fuzz::Folder;
using vistrel::fuzz::QuietSink;
using vistrel::fuzz::WriteInput;

// The engine from the plug-in folder beside this program; without it the
// target still fuzzes the structure check and the built-in reader.
VTLoadDicomFileFn Engine() {
    static const VTLoadDicomFileFn load = [] {
        const std::filesystem::path self =
            std::filesystem::read_symlink("/proc/self/exe").parent_path();
        void* library = dlopen((self / "plugins" / "dicom_engine.so").c_str(), RTLD_NOW);
        if (!library) std::fprintf(stderr, "fuzz_dicom_engine: no engine: %s\n", dlerror());
        return library ? reinterpret_cast<VTLoadDicomFileFn>(dlsym(library, "LoadDicomFile"))
                       : nullptr;
    }();
    return load;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QuietSink quiet;
    static vistrel::CScopedMessageSink guard(&quiet);
    static const bool ready = [] {
        vistrel::SetDicomLogLevel(vistrel::DicomLogLevel::Emergency);
        const VTLoadDicomFileFn load = Engine();
        if (load) {
            vistrel::SetDicomEngineProvider([load] {
                return std::vector<vistrel::CDicomEngine>{{load, nullptr, true}};
            });
        }
        return true;
    }();
    (void)ready;

    const vistrel::DicomStructure structure = vistrel::CheckDicomStructure(data, size);
    const bool sound = structure.defect == vistrel::DicomDefect::None;
    if (sound != vistrel::DescribeDicomDefect(structure.defect).empty()) __builtin_trap();

    const std::string path = Folder() + "/engine_input.dcm";
    if (!WriteInput(path, data, size)) return 0;
    vistrel::CMImage image;
    std::string description;
    const int opened = image.Open(path, description);
    if (opened == 1) {
        // What the host refused never reaches an engine, so never opens.
        if (!sound && Engine()) __builtin_trap();
        if (!image.IsValid()) __builtin_trap();
        unsigned sum = 0;
        for (size_t i = 0; i < image.ByteCount(); ++i) sum += image.data[i];
        volatile unsigned sink = sum;
        (void)sink;
    } else {
        if (image.data != nullptr || image.dicomHeader != nullptr) __builtin_trap();
        if (vistrel::LastOpenFailure().empty()) __builtin_trap();
    }
    std::remove(path.c_str());
    return 0;
}
