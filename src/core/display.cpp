#include "core/display.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace vistrel {

namespace {

// No single side of a rendered bitmap is allowed beyond this: the zoom tables
// are allocated per side, and a runaway zoom factor must fail, not exhaust memory.
constexpr int32_t kMaxDisplaySide = 1 << 20;

// Samples of a depth-8-or-less image never exceed 255; deeper images keep a
// whole 16-bit word per pixel, which may lie above maxValue.
constexpr std::size_t kSmallTableSize = 256;
constexpr std::size_t kWordTableSize = 65536;

bool IsRenderable(const CMImageBase& image) {
    if (!image.IsValid() || !IsSupportedDepth(image.depth)) return false;
    const std::int64_t rowBytes = RowBytesFor(image.width, image.depth);
    return rowBytes > 0 && image.bytesPerRow >= rowBytes;
}

inline uint32_t SampleIn(const uint8_t* row, int depth, int32_t x) {
    if (depth > 8) return reinterpret_cast<const uint16_t*>(row)[x];
    if (depth == 8) return row[x];
    if (depth == 4) return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    return (row[x >> 3] >> (7 - (x & 7))) & 1u;
}

// Fills one output line with palette indices: table[sample at sourceX[i]].
// sourceX == nullptr means the columns map one to one.
void MapLine(const CMImageBase& image, int32_t y, const int32_t* sourceX, int32_t outWidth,
             const uint8_t* table, uint8_t* line) {
    const uint8_t* row = image.Row(y);
    const int depth = image.depth;
    if (depth > 8) {
        const uint16_t* src = image.Row16(y);
        if (sourceX) {
            for (int32_t i = 0; i < outWidth; ++i) line[i] = table[src[sourceX[i]]];
        } else {
            for (int32_t i = 0; i < outWidth; ++i) line[i] = table[src[i]];
        }
    } else if (depth == 8) {
        if (sourceX) {
            for (int32_t i = 0; i < outWidth; ++i) line[i] = table[row[sourceX[i]]];
        } else {
            for (int32_t i = 0; i < outWidth; ++i) line[i] = table[row[i]];
        }
    } else {
        for (int32_t i = 0; i < outWidth; ++i) {
            const int32_t x = sourceX ? sourceX[i] : i;
            line[i] = table[SampleIn(row, depth, x)];
        }
    }
}

// Marks the pixels whose sample in the overlay (the current image drawn over
// its original) equals the overlay's maxValue. The overlay may be smaller than
// the image rendered; pixels outside it are left alone.
void ApplyOverlayLine(const CMImageBase& overlay, int32_t y, const int32_t* sourceX,
                      int32_t outWidth, uint8_t topLevel, uint8_t* line) {
    if (y >= overlay.height) return;
    const uint8_t* row = overlay.Row(y);
    const uint32_t top = overlay.maxValue;
    for (int32_t i = 0; i < outWidth; ++i) {
        const int32_t x = sourceX ? sourceX[i] : i;
        if (x < overlay.width && SampleIn(row, overlay.depth, x) == top) line[i] = topLevel;
    }
}

void PackLine(const uint8_t* line, int32_t outWidth, int outDepth, uint8_t* dst) {
    if (outDepth == 8) {
        std::memcpy(dst, line, static_cast<std::size_t>(outWidth));
    } else if (outDepth == 4) {
        int32_t i = 0;
        for (; i + 1 < outWidth; i += 2) {
            dst[i >> 1] = static_cast<uint8_t>((line[i] << 4) | (line[i + 1] & 0x0F));
        }
        if (i < outWidth) dst[i >> 1] = static_cast<uint8_t>(line[i] << 4);
    } else {
        int32_t i = 0;
        for (; i + 8 <= outWidth; i += 8) {
            uint8_t byte = 0;
            for (int k = 0; k < 8; ++k)
                byte = static_cast<uint8_t>((byte << 1) | (line[i + k] & 1));
            dst[i >> 3] = byte;
        }
        if (i < outWidth) {
            uint8_t byte = 0;
            for (int k = 0; i + k < outWidth; ++k) {
                byte |= static_cast<uint8_t>((line[i + k] & 1) << (7 - k));
            }
            dst[i >> 3] = byte;
        }
    }
}

// Palette of `entries` colours sampled evenly from the current palette:
// entry i = palette[i (P - 1) / (entries - 1)].
CPalette SamplePalette(const CPalette& palette, int entries) {
    CPalette out(static_cast<std::size_t>(entries));
    const int64_t last = static_cast<int64_t>(palette.size()) - 1;
    const int64_t top = entries - 1;
    for (int i = 0; i < entries; ++i) {
        const int64_t source = (last == top) ? i : (top > 0 ? i * last / top : 0);
        out[static_cast<std::size_t>(i)] = palette[static_cast<std::size_t>(source)];
    }
    return out;
}

// Correction of every level 0..M folded into one table (identity when the
// correction does not apply to this output).
std::vector<uint8_t> CorrectionTable(int M, const CDisplayCorrection& correction, bool apply) {
    std::vector<uint8_t> table(static_cast<std::size_t>(M) + 1);
    for (int f = 0; f <= M; ++f) {
        table[static_cast<std::size_t>(f)] =
            static_cast<uint8_t>(apply ? CorrectLevel(f, M, correction) : f);
    }
    return table;
}

bool IsIdentityZoom(const CMImageBase& image, const CZoomTables& tables) {
    return tables.outWidth == image.width && tables.outHeight == image.height;
}

// Maps the whole image through the sample table into a new bitmap of outDepth
// bits, zoomed by the tables, with the optional overlay drawn at topLevel.
std::unique_ptr<CDisplayBitmap> RenderThroughTable(const CMImageBase& image,
                                                   const CZoomTables& tables,
                                                   const std::vector<uint8_t>& table, int outDepth,
                                                   uint8_t topLevel, const CMImageBase* overlay,
                                                   CPalette palette) {
    auto bitmap = std::make_unique<CDisplayBitmap>();
    bitmap->width = tables.outWidth;
    bitmap->height = tables.outHeight;
    bitmap->depth = outDepth;
    bitmap->bytesPerRow = DisplayRowBytes(tables.outWidth, outDepth);
    if (bitmap->bytesPerRow <= 0) return nullptr;
    const std::int64_t total = static_cast<std::int64_t>(bitmap->bytesPerRow) *
                               static_cast<std::int64_t>(tables.outHeight);
    if (total > kMaxImageBytes) return nullptr;
    bitmap->bits.resize(static_cast<std::size_t>(total));
    bitmap->palette = std::move(palette);

    const bool identityX = tables.outWidth == image.width;
    const int32_t* sourceX = identityX ? nullptr : tables.sourceX.data();
    std::vector<uint8_t> line;
    if (outDepth != 8) line.resize(static_cast<std::size_t>(tables.outWidth));

    const std::size_t rowBytes = static_cast<std::size_t>(bitmap->bytesPerRow);
    for (int32_t j = 0; j < tables.outHeight; ++j) {
        uint8_t* dst = bitmap->bits.data() + static_cast<std::size_t>(j) * rowBytes;
        const int32_t y = tables.sourceY[static_cast<std::size_t>(j)];
        // Enlarged images repeat source rows; the output row is then the same.
        if (j > 0 && y == tables.sourceY[static_cast<std::size_t>(j) - 1]) {
            std::memcpy(dst, dst - rowBytes, rowBytes);
            continue;
        }
        uint8_t* target = (outDepth == 8) ? dst : line.data();
        MapLine(image, y, sourceX, tables.outWidth, table.data(), target);
        if (overlay) ApplyOverlayLine(*overlay, y, sourceX, tables.outWidth, topLevel, target);
        if (outDepth != 8) PackLine(line.data(), tables.outWidth, outDepth, dst);
    }
    return bitmap;
}

std::unique_ptr<CDisplayBitmap> RawCopy(const CMImageBase& image, int outDepth, CPalette palette) {
    auto bitmap = std::make_unique<CDisplayBitmap>();
    bitmap->width = image.width;
    bitmap->height = image.height;
    bitmap->depth = outDepth;
    bitmap->bytesPerRow = image.bytesPerRow;
    bitmap->bits.assign(image.data, image.data + image.ByteCount());
    bitmap->palette = std::move(palette);
    return bitmap;
}

const CMImageBase* UsableOverlay(const CRenderRequest& request) {
    return (request.overlay && IsRenderable(*request.overlay)) ? request.overlay : nullptr;
}

}  // namespace

int CDisplayBitmap::IndexAt(int32_t x, int32_t y) const {
    const uint8_t* row = bits.data() + static_cast<std::size_t>(y) * bytesPerRow;
    if (depth == 8) return row[x];
    if (depth == 4) return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

int32_t DisplayRowBytes(int32_t width, int depth) {
    if (width <= 0 || (depth != 1 && depth != 4 && depth != 8)) return 0;
    const std::int64_t bytes = (static_cast<std::int64_t>(width) * depth + 31) / 32 * 4;
    if (bytes > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(bytes);
}

void CDisplayCorrection::SetGamma(float g) {
    // Outside its documented range a gamma would divide by zero or vanish.
    if (!(g == g)) g = 1.0f;
    gamma = std::clamp(g, 0.01f, 6.99f);
    gammaTable.clear();
    if (gamma == 1.0f) return;
    gammaTable.resize(256);
    gammaTable[0] = 0;
    const double exponent = 1.0 / static_cast<double>(gamma);
    for (int i = 1; i < 256; ++i) {
        gammaTable[static_cast<std::size_t>(i)] =
            static_cast<uint8_t>(255.0 * std::pow(i / 255.0, exponent) + 0.5);
    }
}

int CorrectLevel(int f, int M, const CDisplayCorrection& correction) {
    // Held to their documented range so that no setting can overflow the arithmetic.
    const int c = std::clamp(correction.contrast, -127, 127);
    const int b = std::clamp(correction.brightness, -127, 127);
    if (c != 0) {
        if (2 * c != M) f = M * (f - c) / (M - 2 * c);
        f = std::clamp(f, 0, M);
    }
    if (b != 0) f = std::clamp(f + b, 0, M);
    if (f != 0 && correction.gamma != 1.0f && correction.gammaTable.size() == 256) {
        if (M == 255) {
            f = correction.gammaTable[static_cast<std::size_t>(f)];
        } else {
            // The 256-entry table is built for 8-bit levels; on a shorter scale it
            // would produce indices past the palette, so the same curve is taken
            // over 0..M instead.
            const double exponent = 1.0 / static_cast<double>(correction.gamma);
            f = static_cast<int>(M * std::pow(static_cast<double>(f) / M, exponent) + 0.5);
            f = std::clamp(f, 0, M);
        }
    }
    return f;
}

bool BuildZoomTables(int32_t width, int32_t height, float zoom, int32_t fitWidth, int32_t fitHeight,
                     bool independentAxes, CZoomTables& tables) {
    tables = CZoomTables{};
    if (width <= 0 || height <= 0) return false;
    double outW = 0;
    double outH = 0;
    float used = zoom;
    if (zoom == 0.0f) {
        if (fitWidth <= 0 || fitHeight <= 0) return false;
        float sx = static_cast<float>(width) / static_cast<float>(fitWidth);
        float sy = static_cast<float>(height) / static_cast<float>(fitHeight);
        const float s = std::max(sx, sy);
        if (!independentAxes) sx = sy = s;
        outW = std::trunc(static_cast<float>(width) / sx);
        outH = std::trunc(static_cast<float>(height) / sy);
        used = 1.0f / s;
    } else {
        if (!(zoom > 0.0f) || !std::isfinite(zoom)) return false;
        outW = std::trunc(static_cast<double>(zoom * static_cast<float>(width)));
        outH = std::trunc(static_cast<double>(zoom * static_cast<float>(height)));
    }
    if (!(outW >= 1 && outH >= 1 && outW <= kMaxDisplaySide && outH <= kMaxDisplaySide)) {
        return false;
    }
    if (outW * outH > static_cast<double>(kMaxImageBytes)) return false;
    const auto outWidth = static_cast<int32_t>(outW);
    const auto outHeight = static_cast<int32_t>(outH);

    // The source positions are a running float sum, accumulated by repeated
    // addition, so zoomed pictures land on exactly the same pixels every time.
    // Rounding can drift past the last pixel on long enlarged rows: clamp.
    auto fill = [](std::vector<int32_t>& table, int32_t outCount, int32_t inCount) {
        table.resize(static_cast<std::size_t>(outCount));
        const float step = static_cast<float>(inCount) / static_cast<float>(outCount);
        float position = 0.0f;
        for (int32_t i = 0; i < outCount; ++i) {
            table[static_cast<std::size_t>(i)] =
                std::min(static_cast<int32_t>(position), inCount - 1);
            position += step;
        }
    };
    try {
        fill(tables.sourceX, outWidth, width);
        fill(tables.sourceY, outHeight, height);
    } catch (const std::bad_alloc&) {
        tables = CZoomTables{};
        return false;
    }
    tables.outWidth = outWidth;
    tables.outHeight = outHeight;
    tables.zoom = used;
    return true;
}

std::unique_ptr<CDisplayBitmap> RenderBitWindow(const CMImage& image, int shift, int bits,
                                                const CDisplayCorrection& correction,
                                                const CPalette& palette, CRenderRequest& request) {
    if (!IsRenderable(image) || palette.empty() || bits < 1 || shift < 0) return nullptr;
    const int depth = image.depth;
    // A window reaching past the top bit (or wider than a byte) shows the top
    // bits instead; for 1- and 4-bit images that is the whole sample.
    if (depth < shift + bits || bits > 8) {
        bits = std::min(8, depth);
        shift = depth - bits;
    }
    const int outDepth = bits == 1 ? 1 : (bits <= 4 ? 4 : 8);
    const int M = (1 << bits) - 1;

    CZoomTables tables;
    if (!BuildZoomTables(image.width, image.height, request.zoom, request.fitWidth,
                         request.fitHeight, request.independentAxes, tables)) {
        return nullptr;
    }
    request.usedZoom = tables.zoom;
    const CMImageBase* overlay = UsableOverlay(request);

    try {
        CPalette outPalette = SamplePalette(palette, 1 << bits);
        if (outDepth == bits && image.depth == outDepth && shift == 0 &&
            image.bytesPerRow == DisplayRowBytes(image.width, outDepth) &&
            IsIdentityZoom(image, tables) && correction.IsIdentity() && !overlay) {
            return RawCopy(image, outDepth, std::move(outPalette));
        }
        const std::vector<uint8_t> corrected = CorrectionTable(M, correction, outDepth == 8);
        const std::size_t size = depth > 8 ? kWordTableSize : kSmallTableSize;
        std::vector<uint8_t> table(size);
        const uint32_t mask = static_cast<uint32_t>(M) << shift;
        for (std::size_t s = 0; s < size; ++s) {
            table[s] = corrected[(static_cast<uint32_t>(s) & mask) >> shift];
        }
        return RenderThroughTable(image, tables, table, outDepth, static_cast<uint8_t>(M), overlay,
                                  std::move(outPalette));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<CDisplayBitmap> RenderValueWindow(const CMImage& image, int32_t low, int32_t high,
                                                  const CDisplayCorrection& correction,
                                                  const CPalette& palette,
                                                  CRenderRequest& request) {
    if (!IsRenderable(image) || palette.empty()) return nullptr;
    high = std::min<int32_t>(high, image.maxValue);
    low = std::max<int32_t>(low, 0);
    if (high < low) std::swap(low, high);
    // 64-bit: after the exchange the window may span almost the whole int range.
    const int64_t n = (high <= low) ? 2 : static_cast<int64_t>(high) - low + 1;
    const int outDepth = n < 3 ? 1 : (n < 17 ? 4 : 8);
    const int entries = static_cast<int>(std::min<int64_t>(n, 256));
    const int M = entries - 1;

    CZoomTables tables;
    if (!BuildZoomTables(image.width, image.height, request.zoom, request.fitWidth,
                         request.fitHeight, request.independentAxes, tables)) {
        return nullptr;
    }
    request.usedZoom = tables.zoom;
    const CMImageBase* overlay = UsableOverlay(request);

    try {
        CPalette outPalette = SamplePalette(palette, entries);
        if (high == image.maxValue && low == 0 && image.depth == outDepth &&
            image.bytesPerRow == DisplayRowBytes(image.width, outDepth) &&
            IsIdentityZoom(image, tables) && correction.IsIdentity() && !overlay) {
            return RawCopy(image, outDepth, std::move(outPalette));
        }
        const std::vector<uint8_t> corrected = CorrectionTable(M, correction, outDepth > 1);
        const std::size_t size = image.depth > 8 ? kWordTableSize : kSmallTableSize;
        // A full-range window on an image whose samples already are output levels
        // shows every sample as itself, exactly as the raw copy above does; the
        // stretch formula would darken all but the ends by one level, so the
        // picture would change with the zoom or the image width.
        const bool samplesAreLevels = high == image.maxValue && low == 0 && image.depth == outDepth;
        std::vector<uint8_t> table(size);
        for (std::size_t i = 0; i < size; ++i) {
            const int64_t s = static_cast<int64_t>(i);
            int64_t level;
            if (s >= high) {
                level = M;
            } else if (s < low) {
                level = 0;
            } else if (samplesAreLevels) {
                level = s;
            } else {
                level = M * (s - low) / n;
            }
            table[i] = corrected[static_cast<std::size_t>(level)];
        }
        return RenderThroughTable(image, tables, table, outDepth, static_cast<uint8_t>(M), overlay,
                                  std::move(outPalette));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void TrueValueRange(const CMImage& image, int32_t& minV, int32_t& maxV) {
    minV = -static_cast<int32_t>(image.valueOffset);
    maxV = static_cast<int32_t>(image.maxValue) - static_cast<int32_t>(image.valueOffset);
}

void ClampWindowOnLoad(CWindowRange& window, int32_t minV, int32_t maxV) {
    window.low = std::max(window.low, minV);
    if (window.low >= maxV) window.low = maxV;
    if (window.low >= window.high) window.high = window.low;
    if (window.high > maxV) window.high = maxV;
}

void ClampWindowAfterChange(CWindowRange& window, int32_t minV, int32_t maxV) {
    window.low = std::max(window.low, minV);
    if (window.low >= maxV) window.low = maxV - 1;
    if (window.low >= window.high) window.high = window.low + 1;
    if (window.high > maxV) window.high = maxV;
}

void DeriveDisplayBits(int depth, uint8_t& shift, uint8_t& displayBits) {
    if (depth <= 0) {
        // No image: a neutral byte window rather than a wrapped shift.
        displayBits = 8;
        shift = 0;
        return;
    }
    const int bits = (depth == 1 || depth == 4) ? depth : std::min(depth, 8);
    displayBits = static_cast<uint8_t>(bits);
    shift = static_cast<uint8_t>(depth - bits);
}

uint16_t ToGrey(int red, int green, int blue, int colourMode) {
    int grey;
    switch (colourMode) {
        case 1:
            grey = (30 * red + 59 * green + 11 * blue) / 100;
            break;
        case 2:
            grey = green;
            break;
        default:
            grey = (red + green + blue) / 3;
            break;
    }
    return static_cast<uint16_t>(std::clamp(grey, 0, 65535));
}

}  // namespace vistrel
