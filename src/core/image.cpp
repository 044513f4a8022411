#include "core/image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace vistrel {

namespace {

uint16_t MaxValueForDepth(int depth) {
    return static_cast<uint16_t>(std::pow(2.0, depth) - 1.0);
}

uint8_t* AllocateRaster(std::size_t bytes, bool zeroFilled) {
    return static_cast<uint8_t*>(zeroFilled ? std::calloc(bytes, 1) : std::malloc(bytes));
}

}  // namespace

std::int64_t RowBytesFor(int32_t width, int depth) {
    if (width <= 0 || !IsSupportedDepth(depth)) return -1;
    std::int64_t bytes;
    if (depth == 1)
        bytes = (std::int64_t{width} + 7) / 8;
    else if (depth == 4)
        bytes = (std::int64_t{width} + 1) / 2;
    else if (depth == 8)
        bytes = width;
    else
        bytes = std::int64_t{width} * 2;
    return bytes > std::numeric_limits<int32_t>::max() ? -1 : bytes;
}

// ---------------------------------------------------------------- CMImageBase

CMImageBase::CMImageBase(const CMImageBase& other) {
    CopyRasterFrom(other, 0);
}

CMImageBase& CMImageBase::operator=(const CMImageBase& other) {
    if (this != &other) {
        const uint32_t mode = zeroFill;
        CMImageBase::Free();
        CopyRasterFrom(other, mode);
    }
    return *this;
}

CMImageBase::~CMImageBase() {
    CMImageBase::Free();
}

void CMImageBase::CopyRasterFrom(const CMImageBase& other, uint32_t allocationMode) {
    if (!other.IsValid()) return;
    if (!Create(other.width, other.height, other.depth, allocationMode)) return;
    std::memcpy(data, other.data, ByteCount());
    maxValue = other.maxValue;
}

int16_t CMImageBase::GetPixel(int32_t x, int32_t y) const {
    if (!data || x < 0 || y < 0 || x >= width || y >= height) return 0;
    if (!IsSupportedDepth(depth)) return 0;
    return GetPixelIn(data, bytesPerRow, depth, x, y);
}

int CMImageBase::SetPixel(int32_t x, int32_t y, int32_t value) {
    if (!data || x < 0 || y < 0 || x >= width || y >= height) return 0;
    if (!IsSupportedDepth(depth)) return 0;
    SetPixelIn(data, bytesPerRow, depth, x, y, value);
    return 1;
}

int16_t CMImageBase::GetPixelIn(const uint8_t* buffer, int32_t rowBytes, int d, int32_t x,
                                int32_t y) {
    const uint8_t* row = buffer + static_cast<std::ptrdiff_t>(y) * rowBytes;
    switch (d) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4:
            return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        case 8:
            return row[x];
        default:
            if (d < 9 || d > 16) return 0;
            return static_cast<int16_t>(row[2 * x] | (row[2 * x + 1] << 8));
    }
}

void CMImageBase::SetPixelIn(uint8_t* buffer, int32_t rowBytes, int d, int32_t x, int32_t y,
                             int32_t value) {
    uint8_t* row = buffer + static_cast<std::ptrdiff_t>(y) * rowBytes;
    switch (d) {
        case 1: {
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            if (value & 1)
                row[x >> 3] |= bit;
            else
                row[x >> 3] &= static_cast<uint8_t>(~bit);
            return;
        }
        case 4: {
            uint8_t& b = row[x >> 1];
            if (x & 1)
                b = static_cast<uint8_t>((b & 0xF0) | (value & 0x0F));
            else
                b = static_cast<uint8_t>((b & 0x0F) | ((value & 0x0F) << 4));
            return;
        }
        case 8:
            row[x] = static_cast<uint8_t>(value);
            return;
        default:
            if (d < 9 || d > 16) return;
            row[2 * x] = static_cast<uint8_t>(value & 0xFF);
            row[2 * x + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
    }
}

bool CMImageBase::Create(int32_t w, int32_t h, int d, uint32_t fill) {
    Free();
    const std::int64_t rowBytes = RowBytesFor(w, d);
    if (rowBytes <= 0 || h <= 0) return false;
    const std::int64_t total = rowBytes * h;
    if (total > kMaxImageBytes) return false;
    data = AllocateRaster(static_cast<std::size_t>(total), fill != 0);
    if (!data) return false;
    zeroFill = fill;
    width = w;
    height = h;
    bytesPerRow = static_cast<int32_t>(rowBytes);
    depth = static_cast<uint8_t>(d);
    maxValue = MaxValueForDepth(d);
    return true;
}

void CMImageBase::Free() {
    std::free(data);
    data = nullptr;
    zeroFill = 0;
    width = height = bytesPerRow = 0;
    depth = 0;
    maxValue = 0;
}

int CMImageBase::Clear() {
    if (!IsValid()) return 0;
    std::memset(data, 0, ByteCount());
    return 1;
}

int CMImageBase::ClipRect(CRect& rect) const {
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::min(rect.right, width);
    rect.bottom = std::min(rect.bottom, height);
    return rect.IsEmpty() ? -1 : 0;
}

// Copies rect of src into dst (already created with the rect's size and src's depth).
static void CopyRect(const CMImageBase& src, const CRect& rect, CMImageBase& dst) {
    const int d = src.depth;
    if (d >= 8) {
        const std::size_t bytesPerPixel = d == 8 ? 1 : 2;
        for (int32_t y = 0; y < rect.Height(); ++y)
            std::memcpy(dst.Row(y), src.Row(rect.top + y) + rect.left * bytesPerPixel,
                        static_cast<std::size_t>(rect.Width()) * bytesPerPixel);
        return;
    }
    dst.Clear();
    for (int32_t y = 0; y < rect.Height(); ++y)
        for (int32_t x = 0; x < rect.Width(); ++x)
            CMImageBase::SetPixelIn(
                dst.data, dst.bytesPerRow, d, x, y,
                CMImageBase::GetPixelIn(src.data, src.bytesPerRow, d, rect.left + x, rect.top + y));
}

int CMImageBase::Crop(CRect rect) {
    if (!IsValid() || ClipRect(rect) != 0) return -1;
    CMImageBase part;
    if (!part.Create(rect.Width(), rect.Height(), depth, 0)) {
        Free();
        return -1;
    }
    CopyRect(*this, rect, part);
    const uint16_t keptMax = maxValue;
    Free();
    std::swap(data, part.data);
    width = part.width;
    height = part.height;
    bytesPerRow = part.bytesPerRow;
    depth = part.depth;
    maxValue = keptMax;
    return 0;
}

bool CMImageBase::IsEqual(const CMImageBase& other) const {
    if (width != other.width || height != other.height || depth != other.depth ||
        bytesPerRow != other.bytesPerRow)
        return false;
    if (!data || !other.data) return data == other.data;
    if (depth >= 8) return std::memcmp(data, other.data, ByteCount()) == 0;
    // Packed rows may differ in their unused trailing bits; compare samples.
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            if (GetPixelIn(data, bytesPerRow, depth, x, y) !=
                GetPixelIn(other.data, other.bytesPerRow, depth, x, y))
                return false;
    return true;
}

// ----------------------------------------------------------- DicomHeaderBlock

static uint8_t* CopyBlock(const uint8_t* src, uint32_t length) {
    if (!src || length == 0) return nullptr;
    auto* copy = static_cast<uint8_t*>(std::malloc(length));
    if (copy) std::memcpy(copy, src, length);
    return copy;
}

DicomHeaderBlock::DicomHeaderBlock(const DicomHeaderBlock& other)
    : block1(CopyBlock(other.block1, other.length1)),
      length1(block1 ? other.length1 : 0),
      block2(CopyBlock(other.block2, other.length2)),
      length2(block2 ? other.length2 : 0) {}

DicomHeaderBlock::~DicomHeaderBlock() {
    std::free(block1);
    std::free(block2);
}

// -------------------------------------------------------------------- CMImage

CMImage::CMImage(int32_t w, int32_t h, int d, uint16_t offset) {
    if (Create(w, h, d, 0)) valueOffset = offset;
}

CMImage::CMImage(const CMImage& other) : CMImageBase(other) {
    if (!IsValid()) return;
    if (other.dicomHeader) dicomHeader = new DicomHeaderBlock(*other.dicomHeader);
    valueOffset = other.valueOffset;
    dicomAttributes = other.dicomAttributes;
}

CMImage::~CMImage() {
    CMImage::Free();
}

void CMImage::Free() {
    CMImageBase::Free();
    histogram.Reset();
    delete dicomHeader;
    dicomHeader = nullptr;
    valueOffset = 0;
    dicomAttributes = CDicomAttributes{};
}

void CMImage::Assign(const CMImage& other) {
    if (this == &other) return;
    Free();
    if (!other.IsValid()) return;
    CopyRasterFrom(other, 0);
    if (!IsValid()) return;
    if (other.dicomHeader) dicomHeader = new DicomHeaderBlock(*other.dicomHeader);
    valueOffset = other.valueOffset;
    dicomAttributes = other.dicomAttributes;
}

void CMImage::Swap(CMImage& other) noexcept {
    std::swap(zeroFill, other.zeroFill);
    std::swap(data, other.data);
    std::swap(width, other.width);
    std::swap(height, other.height);
    std::swap(bytesPerRow, other.bytesPerRow);
    std::swap(depth, other.depth);
    std::swap(maxValue, other.maxValue);
    std::swap(histogram, other.histogram);
    std::swap(dicomHeader, other.dicomHeader);
    std::swap(valueOffset, other.valueOffset);
    std::swap(dicomAttributes, other.dicomAttributes);
}

std::unique_ptr<CMImage> CMImage::SubImage(CRect rect) const {
    if (!IsValid() || ClipRect(rect) != 0) return nullptr;
    auto part = std::make_unique<CMImage>();
    if (!part->Create(rect.Width(), rect.Height(), depth, 0)) return nullptr;
    CopyRect(*this, rect, *part);
    part->maxValue = maxValue;
    return part;
}

void CMImage::Reverse() {
    if (!IsValid()) return;
    if (depth <= 8) {
        // 1-, 4- and 8-bit: maxValue - s is the complement of every field of
        // the byte (no borrow can cross a nibble or bit).
        const std::size_t n = ByteCount();
        for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(~data[i]);
    } else {
        for (int32_t y = 0; y < height; ++y) {
            uint16_t* row = Row16(y);
            for (int32_t x = 0; x < width; ++x) row[x] = static_cast<uint16_t>(maxValue - row[x]);
        }
    }
    histogram.Reset();
}

void CMImage::SwapBytes() {
    if (!IsValid() || depth <= 8) return;
    for (int32_t y = 0; y < height; ++y) {
        uint16_t* row = Row16(y);
        for (int32_t x = 0; x < width; ++x)
            row[x] = static_cast<uint16_t>((row[x] >> 8) | (row[x] << 8));
    }
    histogram.Reset();
}

void CMImage::SetDepth(int newDepth, uint8_t& shift, uint8_t& displayBits) {
    if (!IsValid() || newDepth == depth || depth < 9 || depth > 16) return;
    if (newDepth >= 9 && newDepth <= 16) {
        depth = static_cast<uint8_t>(newDepth);
        if (displayBits > newDepth) displayBits = static_cast<uint8_t>(newDepth);
        shift = static_cast<uint8_t>(newDepth - displayBits);
        histogram.Reset();
        maxValue = MaxValueForDepth(newDepth);
        return;
    }
    if (newDepth != 8) return;
    CMImageBase narrow;
    if (!narrow.Create(width, height, 8, 0)) return;
    // With a full 8-bit bit window the user sees exactly `shift`'s bits: keep
    // them; otherwise take the top eight bits of the nominal depth.
    const int s = displayBits != 8 ? depth - 8 : shift;
    const uint32_t mask = 0xFFu << s;
    for (int32_t y = 0; y < height; ++y) {
        const uint16_t* src = Row16(y);
        uint8_t* dst = narrow.Row(y);
        for (int32_t x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>((src[x] & mask) >> s);
    }
    if (displayBits != 8) shift = static_cast<uint8_t>(s);
    std::swap(data, narrow.data);
    bytesPerRow = narrow.bytesPerRow;
    depth = 8;
    maxValue = 255;
    // An 8-bit raster has no room for an offset: its samples are true values.
    valueOffset = 0;
    histogram.Reset();
}

void CMImage::ShiftSamples(int direction) {
    if (!IsValid() || depth < 9) return;
    const int bits = 16 - depth;
    for (int32_t y = 0; y < height; ++y) {
        uint16_t* row = Row16(y);
        for (int32_t x = 0; x < width; ++x)
            row[x] = static_cast<uint16_t>(direction ? (row[x] >> bits) : (row[x] << bits));
    }
    histogram.Reset();
}

// ------------------------------------------------------------------ histogram

void CMImage::FillHistogram(const CMImageBase* mask, const CRect* rect, CHistogram& target) const {
    const int32_t bins = int32_t{maxValue} + 1;
    if (target.Allocate(bins) != 0) return;
    target.firstValue = -int32_t{valueOffset};
    target.lastValue = bins - int32_t{valueOffset} - 1;
    CRect r = rect ? *rect : CRect{0, 0, width, height};
    int32_t* counts = target.counts;

    if (!mask && depth >= 8) {
        // Four interleaved tables keep runs of equal samples (the background of a
        // mammogram) from serialising on one counter.
        std::vector<uint32_t> sub(static_cast<std::size_t>(bins) * 4, 0);
        uint32_t* t0 = sub.data();
        uint32_t* t1 = t0 + bins;
        uint32_t* t2 = t1 + bins;
        uint32_t* t3 = t2 + bins;
        const uint32_t limit = maxValue;
        for (int32_t y = r.top; y < r.bottom; ++y) {
            int32_t x = r.left;
            if (depth == 8) {
                const uint8_t* row = Row(y);
                for (; x + 4 <= r.right; x += 4) {
                    ++t0[row[x]];
                    ++t1[row[x + 1]];
                    ++t2[row[x + 2]];
                    ++t3[row[x + 3]];
                }
                for (; x < r.right; ++x) ++t0[row[x]];
            } else {
                const uint16_t* row = Row16(y);
                for (; x + 4 <= r.right; x += 4) {
                    const uint32_t a = row[x], b = row[x + 1], c = row[x + 2], d = row[x + 3];
                    if (a <= limit) ++t0[a];
                    if (b <= limit) ++t1[b];
                    if (c <= limit) ++t2[c];
                    if (d <= limit) ++t3[d];
                }
                for (; x < r.right; ++x)
                    if (row[x] <= limit) ++t0[row[x]];
            }
        }
        for (int32_t i = 0; i < bins; ++i)
            counts[i] = static_cast<int32_t>(
                std::min<uint64_t>(uint64_t{t0[i]} + t1[i] + t2[i] + t3[i], uint64_t{INT32_MAX}));
    } else if (mask && depth >= 8 && mask->depth == 1 && mask->width >= r.right &&
               mask->height >= r.bottom) {
        // A breast mask: eight mask pixels per byte, whole empty bytes skipped.
        for (int32_t y = r.top; y < r.bottom; ++y) {
            const uint8_t* bits = mask->Row(y);
            for (int32_t x = r.left; x < r.right;) {
                const uint8_t b = bits[x >> 3];
                if (b == 0 && (x & 7) == 0 && x + 8 <= r.right) {
                    x += 8;
                    continue;
                }
                if (b & (0x80 >> (x & 7))) {
                    const uint32_t s = depth == 8 ? Row(y)[x] : Row16(y)[x];
                    if (s <= maxValue) ++counts[s];
                }
                ++x;
            }
        }
    } else {
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x) {
                if (mask && mask->GetPixel(x, y) == 0) continue;
                const uint16_t s =
                    static_cast<uint16_t>(GetPixelIn(data, bytesPerRow, depth, x, y));
                if (s <= maxValue) ++counts[s];
            }
    }
    target.ComputeCountExtremes();
    target.ComputeStatistics();
}

CHistogram& CMImage::GetHistogram() {
    if (!IsValid()) {
        histogram.Reset();
        return histogram;
    }
    if (histogram.counts) return histogram;
    FillHistogram(nullptr, nullptr, histogram);
    return histogram;
}

CHistogram& CMImage::GetHistogramUnderMask(const CMImageBase& mask) {
    if (!IsValid()) {
        histogram.Reset();
        return histogram;
    }
    if (!mask.IsValid()) {
        histogram.Reset();
        return GetHistogram();
    }
    if (histogram.counts) return histogram;
    FillHistogram(&mask, nullptr, histogram);
    return histogram;
}

CHistogram CMImage::GetHistogramInRect(CRect rect) {
    if (!IsValid()) {
        histogram.Reset();
        return histogram;
    }
    if (rect.IsEmpty()) return GetHistogram();
    CHistogram result;
    ClipRect(rect);
    if (rect.IsEmpty()) rect = CRect{};  // nothing of the image inside: empty counts
    FillHistogram(nullptr, &rect, result);
    return result;
}

CHistogram CMImage::GetHistogramInRectUnderMask(CRect rect, const CMImageBase& mask) {
    if (!mask.IsValid()) return GetHistogramInRect(rect);
    if (!IsValid()) {
        histogram.Reset();
        return histogram;
    }
    if (rect.IsEmpty()) return GetHistogramUnderMask(mask);
    CHistogram result;
    ClipRect(rect);
    if (rect.IsEmpty()) rect = CRect{};
    FillHistogram(&mask, &rect, result);
    return result;
}

void CMImage::GetValueRange(int32_t& minV, int32_t& maxV) {
    // The histogram's axis is already in true values; no further offset applies.
    CHistogram& h = GetHistogram();
    h.EnsureStatistics();
    minV = h.minValue;
    maxV = h.maxValue;
}

float CMImage::GetMean() {
    return static_cast<float>(GetHistogram().GetMean());
}
float CMImage::GetStdDev() {
    return static_cast<float>(GetHistogram().GetStdDev());
}

// ------------------------------------------------------------------- matrices

int DepthForRange(int64_t range) {
    int b = -1;
    for (int64_t r = range; r > 0; r >>= 1) ++b;
    if (b <= 0) return 1;
    if (b <= 3) return 4;
    if (b <= 6) return 8;
    return b + 1;
}

std::unique_ptr<CMImage> FromIntMatrix(int32_t** m, int32_t w, int32_t h, int32_t max,
                                       int32_t min) {
    if (!m || w <= 0 || h <= 0) return nullptr;
    if (min > 0) min = 0;
    const int64_t range = std::max<int64_t>(int64_t{max} - min, 0);
    const int wanted = DepthForRange(range);
    const int d = std::min(wanted, 16);
    const int shiftDown = wanted > 16 ? wanted - 16 : 0;
    auto image = std::make_unique<CMImage>();
    if (!image->Create(w, h, d, 0)) return nullptr;
    const int64_t top = image->maxValue;
    for (int32_t x = 0; x < w; ++x) {
        if (!m[x]) return nullptr;
        for (int32_t y = 0; y < h; ++y) {
            const int64_t v = int64_t{m[x][y]} - min;
            m[x][y] = static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
            const int64_t s = std::clamp<int64_t>(v >> shiftDown, 0, top);
            CMImageBase::SetPixelIn(image->data, image->bytesPerRow, d, x, y,
                                    static_cast<int32_t>(s));
        }
    }
    // The offset field holds 16 bits; a deeper negative range cannot be represented.
    image->valueOffset = static_cast<uint16_t>(std::min<int64_t>(-int64_t{min}, 65535));
    return image;
}

std::unique_ptr<CMImage> FromRealMatrix(float** m, int32_t w, int32_t h, float max, float min) {
    if (!m || w <= 0 || h <= 0 || !std::isfinite(max) || !std::isfinite(min)) return nullptr;
    const double c = min < 0 ? min : 0.0;
    const double span = std::max(0.0, double(max) - c);
    const int64_t range = static_cast<int64_t>(std::min(span, 9.0e18));
    const int wanted = DepthForRange(range);
    const int d = std::min(wanted, 16);
    const int shiftDown = wanted > 16 ? wanted - 16 : 0;
    auto image = std::make_unique<CMImage>();
    if (!image->Create(w, h, d, 0)) return nullptr;
    const double top = image->maxValue;
    const double scale = std::ldexp(1.0, -shiftDown);
    for (int32_t x = 0; x < w; ++x) {
        if (!m[x]) return nullptr;
        for (int32_t y = 0; y < h; ++y) {
            const double v = double(m[x][y]) - c;
            m[x][y] = static_cast<float>(v);
            double s = std::trunc(v * scale);
            if (!(s >= 0.0)) s = 0.0;  // also catches NaN
            if (s > top) s = top;
            CMImageBase::SetPixelIn(image->data, image->bytesPerRow, d, x, y,
                                    static_cast<int32_t>(s));
        }
    }
    return image;
}

}  // namespace vistrel
