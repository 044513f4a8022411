// Feeds arbitrary bytes to the OVERLAY reader, then checks what radiologists
// rely on: saving again and again does not keep changing a file. A foreign
// file may change over the first saves (its description lines are written
// before the outlines and the format has no quoting, so a free line that
// reads as an outline after a header line becomes a region), but it must
// settle: a few saves on, a read and a save give the same bytes. The first two bytes choose where
// the document sits (cut out of a larger image, mirrored at opening).

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "core/messages.h"
#include "fuzz_support.h"
#include "regions/overlay_file.h"
#include "regions/regions.h"

namespace {

using vistrel::fuzz::Folder;
using vistrel::fuzz::QuietSink;
using vistrel::fuzz::WriteInput;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct CAnnotations {
    std::string description;
    int16_t subtlety = 0;
    vistrel::CRegions regions;
    vistrel::CRegions ros;
};

bool Read(const std::string& path, const vistrel::COverlayPlacement& placement, CAnnotations& a) {
    return vistrel::ReadOverlay(path, placement, a.description, a.subtlety, a.regions, a.ros);
}

vistrel::COverlayWriteResult Write(const std::string& path, const CAnnotations& a,
                                   const vistrel::COverlayPlacement& placement) {
    return vistrel::WriteOverlay(path, a.description, a.regions, a.ros, placement, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QuietSink quiet;
    static vistrel::CScopedMessageSink scoped(&quiet);
    if (size < 2) return 0;
    vistrel::COverlayPlacement placement;
    placement.imageWidth = 64 + (data[0] & 0x3F) * 8;
    placement.imageHeight = 64 + (data[1] & 0x3F) * 8;
    if (data[0] & 0x40) {
        placement.originX = 16;
        placement.originY = 24;
        placement.originalWidth = placement.imageWidth + 64;
    }
    placement.autoFlipped = (data[0] & 0x80) != 0;

    const std::string input = Folder() + "/input.OVERLAY";
    const std::string first = Folder() + "/first.OVERLAY";
    const std::string second = Folder() + "/second.OVERLAY";
    if (!WriteInput(input, data + 2, size - 2)) return 0;

    CAnnotations read;
    Read(input, placement, read);
    std::remove(first.c_str());
    if (Write(first, read, placement) != vistrel::COverlayWriteResult::Written) return 0;

    // Our own file must always read, and settle within a few saves.
    constexpr int kSaves = 8;
    std::string previous = Slurp(first);
    for (int save = 0; save < kSaves; ++save) {
        CAnnotations reread;
        if (!Read(first, placement, reread)) __builtin_trap();
        std::remove(second.c_str());
        const vistrel::COverlayWriteResult result = Write(second, reread, placement);
        if (result == vistrel::COverlayWriteResult::Failed) __builtin_trap();
        if (result == vistrel::COverlayWriteResult::NothingToWrite) return 0;
        const std::string written = Slurp(second);
        if (written == previous) return 0;
        previous = written;
        std::rename(second.c_str(), first.c_str());
    }
    __builtin_trap();  // still changing after every save
    return 0;
}
