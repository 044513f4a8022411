// Feeds arbitrary bytes to the TIFF readers (the deep-grey reader and the
// import of the other TIFF pictures) and to the GIF import.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/gif_io.h"
#include "core/image.h"
#include "core/tiff_io.h"
#include "fuzz_support.h"

namespace {

using vistrel::fuzz::Folder;
using vistrel::fuzz::WriteInput;

// Failure leaves the image empty; success gives a valid image whose every
// byte can be read.
void CheckResult(const vistrel::CMImage& image, int result) {
    if (result != 1) {
        if (image.data != nullptr) __builtin_trap();
        return;
    }
    if (!image.IsValid()) __builtin_trap();
    unsigned sum = 0;
    for (size_t i = 0; i < image.ByteCount(); ++i) sum += image.data[i];
    volatile unsigned sink = sum;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Folder() + "/input";
    if (!WriteInput(path, data, size)) return 0;
    for (int colourMode = 0; colourMode < 2; ++colourMode) {
        vistrel::CMImage deep;
        CheckResult(deep, vistrel::ReadTiff(deep, path, colourMode));
        vistrel::CMImage picture;
        CheckResult(picture, vistrel::ImportTiff(picture, path, colourMode));
    }
    vistrel::CMImage gif;
    CheckResult(gif, vistrel::ImportGif(gif, path));
    std::remove(path.c_str());
    return 0;
}
