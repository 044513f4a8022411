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
#include "fuzz_support.h"

namespace {

using vistrel::fuzz::Folder;
using vistrel::fuzz::QuietSink;
using vistrel::fuzz::WriteInput;

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
