#include <algorithm>

#include "filters/morphology.h"

namespace vistrel {

namespace {

bool SameLayout(const CMImageBase& a, const CMImageBase& b) {
    return a.width == b.width && a.height == b.height && a.depth == b.depth &&
           a.bytesPerRow == b.bytesPerRow;
}

uint16_t SampleAt(const CMImageBase& image, int32_t x, int32_t y) {
    return static_cast<uint16_t>(image.GetPixel(x, y));
}

}  // namespace

std::unique_ptr<CMImage> MorphCore(const CMImage& image, EMorphOperation operation,
                                   const CMorphSE& se, int iterations,
                                   const CMImageBase* source, bool pad,
                                   const ProgressFn& progress) {
    if (!image.IsValid() || !se.HasCells() || iterations <= 0) return nullptr;
    if (source && (!source->IsValid() || !SameLayout(image, *source))) return nullptr;
    auto result = std::make_unique<CMImage>(image);
    if (!result->IsValid()) return nullptr;
    if (source) std::copy(source->data, source->data + source->ByteCount(), result->data);
    CMImageBase snapshot(*result);
    if (!snapshot.IsValid()) return nullptr;

    const bool erode = operation == EMorphOperation::Erosion;
    const uint16_t identity = erode ? image.maxValue : 0;
    const int n = se.size;
    const int c = n / 2;
    const int32_t w = image.width;
    const int32_t h = image.height;
    for (int it = 0; it < iterations; ++it) {
        std::copy(result->data, result->data + result->ByteCount(), snapshot.data);
        for (int32_t y = 0; y < h; ++y) {
            if (progress && !progress((it + double(y) / h) / iterations)) return nullptr;
            for (int32_t x = 0; x < w; ++x) {
                const bool fits = x - c >= 0 && x + c < w && y - c >= 0 && y + c < h;
                if (!pad && !fits) {
                    result->SetPixel(x, y, 0);
                    continue;
                }
                uint16_t best = erode ? 0xFFFF : 0;
                for (int r = 0; r < n; ++r) {
                    for (int col = 0; col < n; ++col) {
                        const int32_t sx = x + col - c;
                        const int32_t sy = y + r - c;
                        uint16_t v = identity;
                        if (se.cells[static_cast<std::size_t>(r) * n + col] && sx >= 0 &&
                            sx < w && sy >= 0 && sy < h)
                            v = SampleAt(snapshot, sx, sy);
                        best = erode ? std::min(best, v) : std::max(best, v);
                    }
                }
                result->SetPixel(x, y, best);
            }
        }
    }
    result->InvalidateHistogram();
    return result;
}

}  // namespace vistrel
