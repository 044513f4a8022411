// Feeds arbitrary bytes to the built-in DICOM reader: straight from memory,
// and through the open dispatcher as a ".dcm" file, which adds the depth rule.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/dicom_log.h"
#include "core/dicom_reader.h"
#include "core/image.h"
#include "core/messages.h"
#include "fuzz_support.h"

namespace {

using vistrel::fuzz::Folder;
using vistrel::fuzz::QuietSink;
using vistrel::fuzz::WriteInput;

void Touch(const std::vector<uint16_t>& samples) {
    unsigned sum = 0;
    for (uint16_t s : samples) sum += s;
    volatile unsigned sink = sum;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QuietSink quiet;
    static vistrel::CScopedMessageSink guard(&quiet);
    static const bool quietLog = [] {
        vistrel::SetDicomLogLevel(vistrel::DicomLogLevel::Emergency);
        return true;
    }();
    (void)quietLog;

    std::vector<vistrel::DicomImage> images;
    int count = 0;
    const int result = vistrel::dicom_read_memory(data, size, &images, &count, 1);
    if (result == vistrel::kDicomOk) {
        if (count != 1 || images.size() != 1) __builtin_trap();
        const vistrel::DicomImage& image = images.front();
        const std::size_t expected =
            std::size_t{image.width} * image.height * (image.colour ? 3 : 1);
        if (image.width == 0 || image.height == 0 || image.samples.size() != expected) {
            __builtin_trap();
        }
        Touch(image.samples);
    } else if (count != 0 || !images.empty()) {
        __builtin_trap();
    }

    // The file path through the dispatcher.
    const std::string path = Folder() + "/input.dcm";
    if (!WriteInput(path, data, size)) return 0;
    vistrel::CMImage image;
    std::string description;
    const int opened = image.Open(path, description);
    // The reader shows the first frame; a file missing later frames is refused.
    const bool framesMissing =
        vistrel::CheckDicomStructure(data, size).defect == vistrel::DicomDefect::PixelDataShort;
    if (opened != (result == vistrel::kDicomOk && !framesMissing ? 1 : 0)) __builtin_trap();
    if (opened == 1) {
        if (!image.IsValid()) __builtin_trap();
        unsigned sum = 0;
        for (size_t i = 0; i < image.ByteCount(); ++i) sum += image.data[i];
        volatile unsigned sink = sum;
        (void)sink;
    } else if (image.data != nullptr) {
        __builtin_trap();
    }
    std::remove(path.c_str());
    return 0;
}
