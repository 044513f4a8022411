// Feeds arbitrary bytes to the SGT outline reader, fills what it reads into a
// small target and checks that the fill stays inside the outline's box, that
// the text form reads back unchanged, and that the segmentation run survives
// a tiny image made of the same bytes. The first four bytes choose the
// target: width, height, depth and the fill values.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/messages.h"
#include "detection/breast_segment.h"
#include "detection/breast_sgt.h"
#include "fuzz_support.h"

namespace {

constexpr int kDepths[] = {1, 4, 8, 16};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vistrel::fuzz::QuietSink quiet;
    static vistrel::CScopedMessageSink scoped(&quiet);
    if (size < 4) return 0;
    const int32_t width = 1 + data[0];
    const int32_t height = 1 + data[1];
    const int depth = kDepths[data[2] & 3];
    const bool fillOutside = data[3] & 1;
    const bool fillInside = data[3] & 2;
    const int32_t outsideValue = (data[3] >> 2) & 3;
    const int32_t insideValue = 1 + ((data[3] >> 4) & 7);
    const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);

    vistrel::CBreastSgt outline;
    const vistrel::ESgtRead result = vistrel::ParseSgtText(text, outline);
    if ((result == vistrel::ESgtRead::Read) == outline.IsEmpty()) __builtin_trap();
    if (result == vistrel::ESgtRead::Read) {
        // Our own text reads back as the same points.
        vistrel::CBreastSgt again;
        if (vistrel::ParseSgtText(outline.ToSgtText(width, height), again) !=
                vistrel::ESgtRead::Read ||
            again.Points() != outline.Points())
            __builtin_trap();

        vistrel::CMImage target(width, height, depth);
        if (target.IsValid()) {
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) target.SetPixel(x, y, 0);
            vistrel::FillContour(target, outline, fillOutside, outsideValue, fillInside,
                                 insideValue);
        }
        const vistrel::CMImageBase mask = vistrel::MakeBreastMask(outline, width, height);
        if (mask.IsValid()) {
            const vistrel::CRect box = outline.Bounds();
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    if (mask.GetPixel(x, y) &&
                        (x <= box.left || x >= box.right || y <= box.top || y >= box.bottom - 1))
                        __builtin_trap();
        }
    }

    // A small image from the bytes: the run must end, and any outline must
    // lie on the image.
    if (data[2] & 4) {
        const int32_t w = 16 + data[0] % 80;
        const int32_t h = 16 + data[1] % 80;
        vistrel::CMImage image(w, h, (data[2] & 8) ? 12 : 8);
        if (!image.IsValid()) return 0;
        const int32_t mask = (data[2] & 8) ? 4095 : 255;
        for (int32_t i = 0; i < w * h; ++i)
            image.SetPixel(
                i % w, i / w,
                size > 4 ? data[4 + std::size_t(i) % (size - 4)] * ((data[2] & 8) ? 16 : 1) & mask
                         : 0);
        const int stage = (data[2] >> 4) % 3;
        const int32_t view = (data[2] >> 6) % 3;
        double low = data[3] % 101, high = 100.0 - data[0] % 20;
        std::string log;
        vistrel::CBreastSgt contour;
        vistrel::SegmentBreast(image, contour, view, vistrel::kProjectionAuto, (data[3] & 64) == 0,
                               low, high, w / 2, stage, true, log);
        for (const vistrel::CPoint& p : contour.Points())
            if (p.x < 0 || p.y < 0 || p.x >= w || p.y >= h) __builtin_trap();
    }
    return 0;
}
