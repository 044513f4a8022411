// Feeds arbitrary bytes to the native readers through the open dispatcher:
// as a PGX, a PGM and a RAW file (with fixed RAW parameters).

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/messages.h"

namespace {

class QuietSink : public vistrel::IMessageSink {
  public:
    void show(const std::string&) override {}
    int ask(const std::string&, const std::vector<std::string>&) override { return 0; }
};

// One temporary folder per fuzzing process, created on first use and removed
// at exit (a plain array, so it outlives the static strings at that point).
char g_folder[] = "/tmp/vistrel_fuzz_XXXXXX";

const std::string& Folder() {
    static const std::string folder = [] {
        if (!mkdtemp(g_folder)) return std::string("/tmp");
        std::atexit([] { rmdir(g_folder); });
        return std::string(g_folder);
    }();
    return folder;
}

bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

// A full-sized image must never come out of a file shorter than its raster.
void CheckResult(const vistrel::CMImage& image, int result, size_t size) {
    if (result != 1) {
        if (image.data != nullptr) __builtin_trap();  // failure must leave the image empty
        return;
    }
    if (!image.IsValid() || image.ByteCount() > size) __builtin_trap();
    // Touch every byte so that a short buffer shows up under the address sanitizer.
    unsigned sum = 0;
    for (size_t i = 0; i < image.ByteCount(); ++i) sum += image.data[i];
    volatile unsigned sink = sum;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QuietSink quiet;
    static vistrel::CScopedMessageSink guard(&quiet);
    const vistrel::RawParamsFn rawParams = [](const std::string&, vistrel::CRawParams& p) {
        p = vistrel::CRawParams{13, 7, 12, true};
        return true;
    };
    for (const char* name : {"/input.pgx", "/input.pgm", "/input.raw"}) {
        const std::string path = Folder() + name;
        if (!WriteInput(path, data, size)) continue;
        vistrel::CMImage image;
        std::string description;
        const int result = image.Open(path, description, 0, rawParams);
        CheckResult(image, result, size);
        std::remove(path.c_str());
    }
    return 0;
}
