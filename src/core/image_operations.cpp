#include "core/image_operations.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <limits>
#include <utility>
#include <vector>


namespace vistrel {

namespace {

uint16_t Sample(const CMImageBase& image, int32_t x, int32_t y) {
    return static_cast<uint16_t>(
        CMImageBase::GetPixelIn(image.data, image.bytesPerRow, image.depth, x, y));
}

// Puts the raster of `from` into `to`, keeping to's depth and maxValue (a
// 12-bit label on 16-bit words must survive a rotation).
void TakeRaster(CMImageBase& to, CMImageBase& from) {
    const uint8_t depth = to.depth;
    const uint16_t maxValue = to.maxValue;
    to.CMImageBase::Free();
    std::swap(to.data, from.data);
    std::swap(to.zeroFill, from.zeroFill);
    to.width = from.width;
    to.height = from.height;
    to.bytesPerRow = from.bytesPerRow;
    to.depth = depth;
    to.maxValue = maxValue;
}

template <typename T>
T* TypedRow(CMImageBase& image, int32_t y) {
    return reinterpret_cast<T*>(image.Row(y));
}
template <typename T>
const T* TypedRow(const CMImageBase& image, int32_t y) {
    return reinterpret_cast<const T*>(image.Row(y));
}

template <typename T>
void Rotate180Rows(CMImageBase& image) {
    const int32_t w = image.width;
    for (int32_t y = 0, z = image.height - 1; y <= z; ++y, --z) {
        T* top = TypedRow<T>(image, y);
        T* bottom = TypedRow<T>(image, z);
        if (y == z) {
            std::reverse(top, top + w);
        } else {
            // Row y takes row z read backwards and vice versa, in one pass.
            for (int32_t x = 0; x < w; ++x) std::swap(top[x], bottom[w - 1 - x]);
        }
    }
}

// Quarter turn of an 8- or 16-bit raster into dst (already H x W), in square
// tiles so that the column reads of the source stay in cache.
template <typename T, bool Clockwise>
void RotateQuarterTiled(const CMImageBase& src, CMImageBase& dst) {
    constexpr int32_t kTile = 64;
    const int32_t w = src.width;
    const int32_t h = src.height;
    for (int32_t by = 0; by < h; by += kTile) {
        const int32_t ey = std::min(by + kTile, h);
        for (int32_t bx = 0; bx < w; bx += kTile) {
            const int32_t ex = std::min(bx + kTile, w);
            for (int32_t sx = bx; sx < ex; ++sx) {
                // Source column sx is output row sx (clockwise, read bottom up)
                // or row W-1-sx (counter-clockwise, read top down).
                T* out = TypedRow<T>(dst, Clockwise ? sx : w - 1 - sx);
                for (int32_t sy = by; sy < ey; ++sy)
                    out[Clockwise ? h - 1 - sy : sy] = TypedRow<T>(src, sy)[sx];
            }
        }
    }
}

void RotateQuarterByPixel(const CMImageBase& src, CMImageBase& dst, bool clockwise) {
    const int32_t w = src.width;
    const int32_t h = src.height;
    dst.Clear();
    for (int32_t y = 0; y < w; ++y)
        for (int32_t x = 0; x < h; ++x) {
            const int32_t sx = clockwise ? y : w - 1 - y;
            const int32_t sy = clockwise ? h - 1 - x : x;
            CMImageBase::SetPixelIn(dst.data, dst.bytesPerRow, dst.depth, x, y,
                                    Sample(src, sx, sy));
        }
}

bool RotateQuarter(CMImageBase& image, bool clockwise) {
    CMImageBase rotated;
    if (!rotated.Create(image.height, image.width, image.depth, 0)) {
        image.CMImageBase::Free();
        return false;
    }
    if (image.depth == 8) {
        clockwise ? RotateQuarterTiled<uint8_t, true>(image, rotated)
                  : RotateQuarterTiled<uint8_t, false>(image, rotated);
    } else if (image.depth > 8) {
        clockwise ? RotateQuarterTiled<uint16_t, true>(image, rotated)
                  : RotateQuarterTiled<uint16_t, false>(image, rotated);
    } else {
        RotateQuarterByPixel(image, rotated, clockwise);
    }
    TakeRaster(image, rotated);
    return true;
}

void FlipRowByPixel(CMImageBase& image, int32_t y) {
    uint8_t* buffer = image.data;
    const int32_t w = image.width;
    for (int32_t x = 0; x < w / 2; ++x) {
        const int16_t left = CMImageBase::GetPixelIn(buffer, image.bytesPerRow, image.depth, x, y);
        const int16_t right =
            CMImageBase::GetPixelIn(buffer, image.bytesPerRow, image.depth, w - 1 - x, y);
        CMImageBase::SetPixelIn(buffer, image.bytesPerRow, image.depth, x, y, right);
        CMImageBase::SetPixelIn(buffer, image.bytesPerRow, image.depth, w - 1 - x, y, left);
    }
}

bool SameSize(const CMImageBase& a, const CMImageBase& b) {
    return a.width == b.width && a.height == b.height;
}

// Applies an equalisation table (bins 0..binCount-1 indexed by the stored
// sample) to the pixels of rect.
void ApplyTable(CMImage& image, const CRect& rect, const int32_t* table, int32_t binCount) {
    const int32_t top = binCount - 1;
    if (image.depth == 8) {
        uint8_t map[256];
        for (int32_t s = 0; s < 256; ++s) map[s] = static_cast<uint8_t>(table[std::min(s, top)]);
        for (int32_t y = rect.top; y < rect.bottom; ++y) {
            uint8_t* row = image.Row(y);
            for (int32_t x = rect.left; x < rect.right; ++x) row[x] = map[row[x]];
        }
        return;
    }
    if (image.depth > 8) {
        // Every word value gets an entry, so samples above maxValue need no test in the loop.
        std::vector<uint16_t> map(65536);
        for (int32_t s = 0; s < 65536; ++s)
            map[static_cast<std::size_t>(s)] = static_cast<uint16_t>(table[std::min(s, top)]);
        for (int32_t y = rect.top; y < rect.bottom; ++y) {
            uint16_t* row = image.Row16(y);
            for (int32_t x = rect.left; x < rect.right; ++x) row[x] = map[row[x]];
        }
        return;
    }
    for (int32_t y = rect.top; y < rect.bottom; ++y)
        for (int32_t x = rect.left; x < rect.right; ++x)
            image.SetPixel(x, y, table[std::min<int32_t>(Sample(image, x, y), top)]);
}

// The unsigned samples of row y as ints.
inline void ReadRow(const CMImageBase& image, int32_t y, int32_t* out) {
    const int32_t w = image.width;
    if (image.depth > 8) {
        const uint16_t* row = image.Row16(y);
        for (int32_t x = 0; x < w; ++x) out[x] = row[x];
    } else if (image.depth == 8) {
        const uint8_t* row = image.Row(y);
        for (int32_t x = 0; x < w; ++x) out[x] = row[x];
    } else {
        for (int32_t x = 0; x < w; ++x) out[x] = Sample(image, x, y);
    }
}

// op(s1, s2) per pixel over the unsigned samples, built into an image as
// FromIntMatrix builds one (the minimum handed to it is 0 or, with
// trueMinimum, the true minimum). Row by row in two passes, range first,
// so that no int matrix of the whole image is needed.
template <typename Op>
std::unique_ptr<CMImage> Pixelwise(const CMImage& i1, const CMImage& i2, bool trueMinimum, Op op) {
    if (!i1.IsValid() || !i2.IsValid() || !SameSize(i1, i2)) return nullptr;
    const int32_t w = i1.width;
    const int32_t h = i1.height;
    std::vector<int32_t> a(static_cast<std::size_t>(w)), b(static_cast<std::size_t>(w));
    int32_t maxV = std::numeric_limits<int32_t>::min();
    int32_t minV = std::numeric_limits<int32_t>::max();
    for (int32_t y = 0; y < h; ++y) {
        ReadRow(i1, y, a.data());
        ReadRow(i2, y, b.data());
        for (int32_t x = 0; x < w; ++x) {
            const int32_t v = op(a[x], b[x]);
            maxV = std::max(maxV, v);
            minV = std::min(minV, v);
        }
    }
    const int32_t lowest = std::min(trueMinimum ? minV : 0, 0);
    const int64_t range = std::max<int64_t>(int64_t{maxV} - lowest, 0);
    const int wanted = DepthForRange(range);
    const int depth = std::min(wanted, 16);
    const int shiftDown = wanted > 16 ? wanted - 16 : 0;
    auto image = std::make_unique<CMImage>();
    if (!image->Create(w, h, depth, 0)) return nullptr;
    const int64_t top = image->maxValue;
    for (int32_t y = 0; y < h; ++y) {
        ReadRow(i1, y, a.data());
        ReadRow(i2, y, b.data());
        for (int32_t x = 0; x < w; ++x) {
            const int64_t v = (int64_t{op(a[x], b[x])} - lowest) >> shiftDown;
            b[x] = static_cast<int32_t>(std::clamp<int64_t>(v, 0, top));
        }
        if (depth > 8) {
            uint16_t* row = image->Row16(y);
            for (int32_t x = 0; x < w; ++x) row[x] = static_cast<uint16_t>(b[x]);
        } else if (depth == 8) {
            uint8_t* row = image->Row(y);
            for (int32_t x = 0; x < w; ++x) row[x] = static_cast<uint8_t>(b[x]);
        } else {
            for (int32_t x = 0; x < w; ++x)
                CMImageBase::SetPixelIn(image->data, image->bytesPerRow, depth, x, y, b[x]);
        }
    }
    // The offset field holds 16 bits; a deeper negative range cannot be represented.
    image->valueOffset = static_cast<uint16_t>(std::min<int64_t>(-int64_t{lowest}, 65535));
    return image;
}

bool QualifiesForObjects(const CMImageBase& image, const CMImageBase& other, int connectivity) {
    return image.IsValid() && other.IsValid() && image.depth == 1 && other.depth == 1 &&
           SameSize(image, other) && (connectivity == 4 || connectivity == 8);
}

// Breadth-first trace of the object of `source` containing (x0, y0): every
// traced pixel is cleared in source and, when `target` is given, set there.
// The queue holds only the front of the fill, so objects of any size are
// traced whole.
void TraceObject(CMImageBase& source, CMImageBase* target, int32_t x0, int32_t y0, int connectivity,
                 std::deque<std::pair<int32_t, int32_t>>& queue) {
    static constexpr int32_t kOffsets[8][2] = {{-1, 0},  {1, 0},  {0, -1}, {0, 1},
                                               {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    const int neighbours = connectivity == 4 ? 4 : 8;
    const int32_t w = source.width;
    const int32_t h = source.height;
    queue.clear();
    CMImageBase::SetPixelIn(source.data, source.bytesPerRow, 1, x0, y0, 0);
    if (target) CMImageBase::SetPixelIn(target->data, target->bytesPerRow, 1, x0, y0, 1);
    queue.emplace_back(x0, y0);
    while (!queue.empty()) {
        const auto [x, y] = queue.front();
        queue.pop_front();
        for (int k = 0; k < neighbours; ++k) {
            const int32_t nx = x + kOffsets[k][0];
            const int32_t ny = y + kOffsets[k][1];
            if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
            if (!CMImageBase::GetPixelIn(source.data, source.bytesPerRow, 1, nx, ny)) continue;
            CMImageBase::SetPixelIn(source.data, source.bytesPerRow, 1, nx, ny, 0);
            if (target) CMImageBase::SetPixelIn(target->data, target->bytesPerRow, 1, nx, ny, 1);
            queue.emplace_back(nx, ny);
        }
    }
}

// Traces, in raster order, every object of `source` that has a pixel set in
// `other`; returns their number.
int TraceTouchingObjects(CMImageBase& source, CMImageBase* target, const CMImageBase& other,
                         int connectivity) {
    std::deque<std::pair<int32_t, int32_t>> queue;
    int objects = 0;
    for (int32_t y = 0; y < source.height; ++y) {
        const uint8_t* a = source.Row(y);
        const uint8_t* b = other.Row(y);
        for (int32_t byte = 0; byte < source.bytesPerRow; ++byte) {
            // Whole bytes with no common pixel are skipped; bits past the
            // width (row padding) are never looked at.
            if ((a[byte] & b[byte]) == 0) continue;
            for (int32_t x = byte * 8; x < std::min(byte * 8 + 8, source.width); ++x) {
                if (!(a[x >> 3] & b[x >> 3] & (0x80 >> (x & 7)))) continue;
                TraceObject(source, target, x, y, connectivity, queue);
                ++objects;
            }
        }
    }
    return objects;
}

}  // namespace

bool Rotate(CMImageBase& image, int angle) {
    if (!image.IsValid()) return false;
    if (angle == kRotate180) {
        if (image.depth == 8) {
            Rotate180Rows<uint8_t>(image);
        } else if (image.depth > 8) {
            Rotate180Rows<uint16_t>(image);
        } else {
            const CMImageBase copy(image);
            if (!copy.IsValid()) return false;
            const int32_t w = image.width;
            const int32_t h = image.height;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    image.SetPixel(x, y, Sample(copy, w - 1 - x, h - 1 - y));
        }
        return true;
    }
    if (angle == kRotateClockwise) return RotateQuarter(image, true);
    if (angle == kRotateCounterClockwise) return RotateQuarter(image, false);
    return false;
}

bool FlipHorizontal(CMImageBase& image) {
    if (!image.IsValid()) return false;
    for (int32_t y = 0; y < image.height; ++y) {
        if (image.depth == 8) {
            std::reverse(image.Row(y), image.Row(y) + image.width);
        } else if (image.depth > 8) {
            std::reverse(image.Row16(y), image.Row16(y) + image.width);
        } else {
            FlipRowByPixel(image, y);
        }
    }
    return true;
}

bool FlipVertical(CMImageBase& image) {
    if (!image.IsValid()) return false;
    for (int32_t y = 0, z = image.height - 1; y < z; ++y, --z)
        std::swap_ranges(image.Row(y), image.Row(y) + image.bytesPerRow, image.Row(z));
    return true;
}

std::unique_ptr<CMImage> Equalize(CMImage& image, CRect rect, bool wholeImage) {
    if (!image.IsValid()) return nullptr;
    if (rect.IsEmpty()) {
        CHistogram& cached = image.GetHistogram();
        cached.BuildEqualizeLut();
        // A table left without its counts freed was never filled (no pixel counted).
        if (!cached.lut || cached.counts) {
            image.InvalidateHistogram();
            return nullptr;
        }
        auto result = std::make_unique<CMImage>(image);
        if (!result->IsValid()) return nullptr;
        ApplyTable(*result, CRect{0, 0, image.width, image.height}, cached.lut, cached.binCount);
        return result;
    }
    if (image.ClipRect(rect) != 0) return nullptr;
    CHistogram inside = image.GetHistogramInRect(rect);
    inside.BuildEqualizeLut();
    image.InvalidateHistogram();
    if (!inside.lut || inside.counts) return nullptr;
    auto result = std::make_unique<CMImage>(image);
    if (!result->IsValid()) return nullptr;
    const CRect target = wholeImage ? CRect{0, 0, image.width, image.height} : rect;
    ApplyTable(*result, target, inside.lut, inside.binCount);
    return result;
}

std::unique_ptr<CMImage> Average(const CMImage& i1, const CMImage& i2) {
    return Pixelwise(i1, i2, false, [](int32_t a, int32_t b) { return (a + b) / 2; });
}

std::unique_ptr<CMImage> Difference(const CMImage& i1, const CMImage& i2) {
    return Pixelwise(i1, i2, true, [](int32_t a, int32_t b) { return a - b; });
}

std::unique_ptr<CMImage> Select(const CMImage& i1, const CMImage& i2, int mode) {
    switch (mode) {
        case kSelectMax:
            return Pixelwise(i1, i2, false, [](int32_t a, int32_t b) { return std::max(a, b); });
        case kSelectMin:
            return Pixelwise(i1, i2, false, [](int32_t a, int32_t b) { return std::min(a, b); });
        case kSelectGreater:
            return Pixelwise(i1, i2, false, [](int32_t a, int32_t b) { return a > b ? a : 0; });
        case kSelectLess:
            return Pixelwise(i1, i2, false, [](int32_t a, int32_t b) { return a < b ? a : 0; });
        default:
            return nullptr;
    }
}

int KeepTouchingObjects(CMImageBase& image, const CMImageBase& other, int connectivity) {
    if (!QualifiesForObjects(image, other, connectivity)) return -1;
    CMImageBase source(image);
    if (!source.IsValid()) return -1;
    image.Clear();
    return TraceTouchingObjects(source, &image, other, connectivity);
}

int RemoveTouchingObjects(CMImageBase& image, const CMImageBase& other, int connectivity) {
    if (!QualifiesForObjects(image, other, connectivity)) return -1;
    return TraceTouchingObjects(image, nullptr, other, connectivity);
}

}  // namespace vistrel
