#include "core/display.h"
#include "core/lut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace vistrel {
namespace {

// ---------------------------------------------------------------------------
// Direct per-pixel definition of the display mapping, written for clarity,
// not speed. The renderers must agree with it on every pixel.

struct RefZoom {
    int32_t outW = 0;
    int32_t outH = 0;
    float zoom = 0;
    std::vector<int32_t> sx, sy;
};

std::optional<RefZoom> RefZoomTables(int32_t w, int32_t h, const CRenderRequest& req) {
    RefZoom t;
    if (req.zoom == 0.0f) {
        float sx = float(w) / float(req.fitWidth);
        float sy = float(h) / float(req.fitHeight);
        const float s = std::max(sx, sy);
        if (!req.independentAxes) sx = sy = s;
        t.outW = int32_t(float(w) / sx);
        t.outH = int32_t(float(h) / sy);
        t.zoom = 1.0f / s;
    } else {
        t.outW = int32_t(req.zoom * float(w));
        t.outH = int32_t(req.zoom * float(h));
        t.zoom = req.zoom;
    }
    if (t.outW <= 0 || t.outH <= 0) return std::nullopt;
    const float stepX = float(w) / float(t.outW);
    const float stepY = float(h) / float(t.outH);
    float acc = 0;
    for (int32_t i = 0; i < t.outW; ++i, acc += stepX)
        t.sx.push_back(std::min(int32_t(acc), w - 1));
    acc = 0;
    for (int32_t j = 0; j < t.outH; ++j, acc += stepY)
        t.sy.push_back(std::min(int32_t(acc), h - 1));
    return t;
}

int RefCorrect(int f, int M, const CDisplayCorrection& c) {
    if (c.contrast != 0) {
        if (2 * c.contrast != M) f = M * (f - c.contrast) / (M - 2 * c.contrast);
        f = std::clamp(f, 0, M);
    }
    if (c.brightness != 0) f = std::clamp(f + c.brightness, 0, M);
    if (f != 0 && c.gamma != 1.0f) {
        f = int(M * std::pow(double(f) / M, 1.0 / double(c.gamma)) + 0.5);
    }
    return f;
}

uint32_t Sample(const CMImageBase& image, int32_t x, int32_t y) {
    return static_cast<uint16_t>(image.GetPixel(x, y));
}

bool OverlayHit(const CMImageBase* overlay, int32_t x, int32_t y) {
    return overlay && x < overlay->width && y < overlay->height &&
           Sample(*overlay, x, y) == overlay->maxValue;
}

CPalette RefPalette(const CPalette& palette, int entries) {
    CPalette out;
    const int P = int(palette.size());
    for (int i = 0; i < entries; ++i) {
        const int source = (P - 1 == entries - 1) ? i : i * (P - 1) / (entries - 1);
        out.push_back(palette[size_t(source)]);
    }
    return out;
}

struct RefBitmap {
    int depth = 0;
    int32_t width = 0, height = 0;
    std::vector<int> index;  // row-major
    CPalette palette;
};

std::optional<RefBitmap> RefBitWindow(const CMImage& image, int shift, int bits,
                                      const CDisplayCorrection& corr, const CPalette& palette,
                                      const CRenderRequest& req) {
    if (palette.empty()) return std::nullopt;
    const int depth = image.depth;
    if (depth < shift + bits || bits > 8) {
        bits = std::min(8, depth);
        shift = depth - bits;
    }
    const auto zoom = RefZoomTables(image.width, image.height, req);
    if (!zoom) return std::nullopt;
    RefBitmap out;
    out.depth = bits == 1 ? 1 : (bits <= 4 ? 4 : 8);
    out.width = zoom->outW;
    out.height = zoom->outH;
    const int M = (1 << bits) - 1;
    const uint32_t mask = uint32_t(M) << shift;
    for (int32_t j = 0; j < out.height; ++j) {
        for (int32_t i = 0; i < out.width; ++i) {
            const int32_t x = zoom->sx[size_t(i)], y = zoom->sy[size_t(j)];
            int level = int((Sample(image, x, y) & mask) >> shift);
            if (out.depth == 8) level = RefCorrect(level, M, corr);
            if (OverlayHit(req.overlay, x, y)) level = M;
            out.index.push_back(level);
        }
    }
    out.palette = RefPalette(palette, 1 << bits);
    return out;
}

std::optional<RefBitmap> RefValueWindow(const CMImage& image, int32_t low, int32_t high,
                                        const CDisplayCorrection& corr, const CPalette& palette,
                                        const CRenderRequest& req) {
    if (palette.empty()) return std::nullopt;
    high = std::min<int32_t>(high, image.maxValue);
    low = std::max(low, 0);
    if (high < low) std::swap(low, high);
    const int64_t n = high <= low ? 2 : int64_t(high) - low + 1;
    const auto zoom = RefZoomTables(image.width, image.height, req);
    if (!zoom) return std::nullopt;
    RefBitmap out;
    out.depth = n < 3 ? 1 : (n < 17 ? 4 : 8);
    out.width = zoom->outW;
    out.height = zoom->outH;
    const int entries = int(std::min<int64_t>(n, 256));
    const int M = entries - 1;
    // The whole raster is copied unchanged when nothing would alter it.
    const bool rawCopy = high == image.maxValue && low == 0 && image.depth == out.depth &&
                         image.bytesPerRow == DisplayRowBytes(image.width, out.depth) &&
                         zoom->outW == image.width && zoom->outH == image.height &&
                         corr.IsIdentity() && !req.overlay;
    for (int32_t j = 0; j < out.height; ++j) {
        for (int32_t i = 0; i < out.width; ++i) {
            const int32_t x = zoom->sx[size_t(i)], y = zoom->sy[size_t(j)];
            const int64_t s = Sample(image, x, y);
            int level;
            if (rawCopy) {
                level = int(s);
            } else {
                // A full-range window on samples that already are levels keeps them.
                const bool samplesAreLevels =
                    high == image.maxValue && low == 0 && image.depth == out.depth;
                level = s >= high
                            ? M
                            : (s < low ? 0 : (samplesAreLevels ? int(s) : int(M * (s - low) / n)));
                if (out.depth > 1) level = RefCorrect(level, M, corr);
                if (OverlayHit(req.overlay, x, y)) level = M;
            }
            out.index.push_back(level);
        }
    }
    out.palette = RefPalette(palette, entries);
    return out;
}

// First difference between a rendered bitmap and the reference, or "".
std::string Difference(const CDisplayBitmap* got, const std::optional<RefBitmap>& want) {
    if (!want) return got ? "rendered, expected null" : "";
    if (!got) return "null, expected a bitmap";
    std::ostringstream out;
    if (got->depth != want->depth || got->width != want->width || got->height != want->height) {
        out << "shape " << got->width << "x" << got->height << "@" << got->depth << ", expected "
            << want->width << "x" << want->height << "@" << want->depth;
        return out.str();
    }
    if (got->bytesPerRow != DisplayRowBytes(got->width, got->depth) ||
        got->bits.size() != size_t(got->bytesPerRow) * size_t(got->height)) {
        return "buffer size";
    }
    if (got->palette != want->palette) return "palette";
    for (int32_t y = 0; y < got->height; ++y) {
        for (int32_t x = 0; x < got->width; ++x) {
            const int expected = want->index[size_t(y) * size_t(got->width) + size_t(x)];
            if (got->IndexAt(x, y) != expected) {
                out << "pixel (" << x << "," << y << ") = " << got->IndexAt(x, y) << ", expected "
                    << expected;
                return out.str();
            }
        }
    }
    return "";
}

// ---------------------------------------------------------------------------
// Fixtures built in code.

CMImage NoiseImage(int32_t w, int32_t h, int depth, uint32_t seed) {
    CMImage image(w, h, depth);
    std::mt19937 rng(seed);
    const uint32_t top = (1u << depth) - 1;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t v = rng() % (top + 1);
            // Deep images may hold words above maxValue (after a depth change):
            // every mapping must cope with them.
            if (depth > 8 && depth < 16 && rng() % 17 == 0) v = top + 1 + rng() % (65535 - top);
            image.SetPixel(x, y, int32_t(v));
        }
    }
    return image;
}

// An overlay with some pixels at its maxValue.
CMImage OverlayImage(int32_t w, int32_t h, int depth, uint32_t seed) {
    CMImage image(w, h, depth);
    std::mt19937 rng(seed);
    const uint32_t top = (1u << depth) - 1;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            image.SetPixel(x, y, int32_t(rng() % 5 == 0 ? top : rng() % top));
        }
    }
    return image;
}

// Every entry different, so a wrongly sampled palette shows.
CPalette DistinctPalette(int entries) {
    CPalette palette;
    for (int i = 0; i < entries; ++i) {
        palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0});
    }
    return palette;
}

CDisplayCorrection Correction(int contrast, int brightness, float gamma) {
    CDisplayCorrection c;
    c.contrast = contrast;
    c.brightness = brightness;
    c.SetGamma(gamma);
    return c;
}

struct ZoomCase {
    const char* name;
    float zoom;
    int32_t fitW, fitH;
    bool independent;
};
const ZoomCase kZooms[] = {
    {"0.25", 0.25f, 0, 0, false},      {"0.5", 0.5f, 0, 0, false},
    {"1", 1.0f, 0, 0, false},          {"1.75", 1.75f, 0, 0, false},
    {"fit 20x15", 0, 20, 15, false},   {"fit 20x15 independent", 0, 20, 15, true},
    {"fit 100x60", 0, 100, 60, false},
};

struct CorrectionCase {
    const char* name;
    int contrast, brightness;
    float gamma;
};
const CorrectionCase kCorrections[] = {
    {"none", 0, 0, 1.0f},
    {"contrast 40", 40, 0, 1.0f},
    {"contrast -30 brightness 20", -30, 20, 1.0f},
    {"gamma 2", 0, 0, 2.0f},
    {"contrast 64 brightness -10 gamma 0.6", 64, -10, 0.6f},
};

const int kDepths[] = {1, 4, 8, 12, 16};
// Odd width; and a width whose rows match the bitmap rows at 1, 4 and 8 bits.
const std::pair<int32_t, int32_t> kSizes[] = {{37, 23}, {32, 19}};

// Value windows relative to the depth's range.
std::vector<std::pair<int32_t, int32_t>> ValueWindows(int depth) {
    const int32_t top = (1 << depth) - 1;
    const int32_t mid = top / 2;
    return {{0, top},
            {mid, mid},
            {std::max(0, mid - 7), std::max(0, mid - 7) + 15},
            {mid, mid + 1},
            {top, 0},
            {-50, top + 100},
            {top / 4, top / 4 + 99},
            {top / 3, std::min(top, top / 3 + 300)}};
}

std::vector<std::pair<int, int>> BitWindows(int depth) {
    const int b = std::min(8, depth);
    return {{0, b}, {depth - b, b}, {0, 1},         {std::max(0, depth - 4), 4},
            {1, 5}, {0, 8},         {depth - 1, 1}, {std::max(0, depth - 6), 3}};
}

TEST(DisplayRender, AgreesWithDirectDefinitionOnEveryCase) {
    const CPalette palettes[] = {DistinctPalette(256), DistinctPalette(16)};
    for (int depth : kDepths) {
        for (auto [w, h] : kSizes) {
            const CMImage image = NoiseImage(w, h, depth, uint32_t(depth * 1000 + w));
            const CMImage sameSizeOverlay = OverlayImage(w, h, 8, 7);
            const CMImage smallOverlay = OverlayImage(w / 2 + 1, h / 2, 1, 9);
            const CMImageBase* overlays[] = {nullptr, &sameSizeOverlay, &smallOverlay};
            for (const ZoomCase& zoom : kZooms) {
                for (const CorrectionCase& cc : kCorrections) {
                    const CDisplayCorrection corr =
                        Correction(cc.contrast, cc.brightness, cc.gamma);
                    for (size_t p = 0; p < 2; ++p) {
                        for (const CMImageBase* overlay : overlays) {
                            CRenderRequest req;
                            req.zoom = zoom.zoom;
                            req.fitWidth = zoom.fitW;
                            req.fitHeight = zoom.fitH;
                            req.independentAxes = zoom.independent;
                            req.overlay = overlay;
                            std::ostringstream where;
                            where << "depth " << depth << " size " << w << "x" << h << " zoom "
                                  << zoom.name << " correction " << cc.name << " palette "
                                  << palettes[p].size() << " overlay "
                                  << (overlay ? (overlay == &smallOverlay ? "small" : "same")
                                              : "none");
                            for (auto [low, high] : ValueWindows(depth)) {
                                CRenderRequest r = req;
                                auto got =
                                    RenderValueWindow(image, low, high, corr, palettes[p], r);
                                const auto want =
                                    RefValueWindow(image, low, high, corr, palettes[p], req);
                                const std::string diff = Difference(got.get(), want);
                                ASSERT_EQ(diff, "")
                                    << where.str() << " value window " << low << ".." << high;
                            }
                            for (auto [shift, bits] : BitWindows(depth)) {
                                CRenderRequest r = req;
                                auto got =
                                    RenderBitWindow(image, shift, bits, corr, palettes[p], r);
                                const auto want =
                                    RefBitWindow(image, shift, bits, corr, palettes[p], req);
                                const std::string diff = Difference(got.get(), want);
                                ASSERT_EQ(diff, "") << where.str() << " bit window shift " << shift
                                                    << " bits " << bits;
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(DisplayRender, ReportsTheZoomUsed) {
    const CMImage image = NoiseImage(200, 100, 12, 1);
    const CPalette palette = DistinctPalette(256);
    CRenderRequest req;
    req.zoom = 0;
    req.fitWidth = 50;
    req.fitHeight = 50;
    auto bitmap = RenderValueWindow(image, 0, 4095, {}, palette, req);
    ASSERT_TRUE(bitmap);
    EXPECT_FLOAT_EQ(req.usedZoom, 0.25f);
    EXPECT_EQ(bitmap->width, 50);
    EXPECT_EQ(bitmap->height, 25);
}

// ---------------------------------------------------------------------------
// Output layout: packing and row padding, checked byte by byte (the reference
// comparison goes through IndexAt and would not see a consistently wrong layout).

TEST(DisplayLayout, PacksPixelsLikeTheImageRasterWithRowsPaddedToFourBytes) {
    const CPalette palette = DistinctPalette(256);
    CMImage image(10, 2, 8);
    for (int32_t x = 0; x < 10; ++x) {
        image.SetPixel(x, 0, x % 2 == 0 ? 200 : 10);
        image.SetPixel(x, 1, 100 + x);
    }
    CRenderRequest req;

    // One bit: leftmost pixel in the most significant bit.
    auto mono = RenderValueWindow(image, 128, 128, {}, palette, req);
    ASSERT_TRUE(mono);
    EXPECT_EQ(mono->depth, 1);
    EXPECT_EQ(mono->bytesPerRow, 4);
    EXPECT_EQ(std::vector<uint8_t>(mono->bits.begin(), mono->bits.begin() + 4),
              (std::vector<uint8_t>{0xAA, 0x80, 0, 0}));

    // Four bits: even x in the high nibble. Levels trunc(15 (s - 100) / 16).
    auto nibbles = RenderValueWindow(image, 100, 115, {}, palette, req);
    ASSERT_TRUE(nibbles);
    EXPECT_EQ(nibbles->depth, 4);
    EXPECT_EQ(nibbles->bytesPerRow, 8);
    EXPECT_EQ(std::vector<uint8_t>(nibbles->bits.begin() + 8, nibbles->bits.end()),
              (std::vector<uint8_t>{0x00, 0x12, 0x34, 0x56, 0x78, 0, 0, 0}));

    // Eight bits: one byte per pixel, 10 bytes padded to 12.
    auto bytes = RenderBitWindow(image, 0, 8, {}, palette, req);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->bytesPerRow, 12);
    EXPECT_EQ(bytes->bits.size(), 24u);
    EXPECT_EQ(bytes->bits[12 + 9], 109);
    EXPECT_EQ(bytes->bits[12 + 10], 0);
    EXPECT_EQ(bytes->bits[12 + 11], 0);
}

TEST(DisplayLayout, RowBytesArePaddedToFour) {
    struct Case {
        int32_t width;
        int depth;
        int32_t bytes;
    };
    const Case cases[] = {{1, 1, 4}, {32, 1, 4}, {33, 1, 8}, {7, 4, 4},   {9, 4, 8},
                          {5, 8, 8}, {8, 8, 8},  {0, 8, 0},  {10, 12, 0}, {-3, 1, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayRowBytes(c.width, c.depth), c.bytes)
            << "width " << c.width << " depth " << c.depth;
    }
}

// ---------------------------------------------------------------------------
// The documented examples of the mapping.

TEST(DisplayBitWindow, TopBitsOfATwelveBitImageAndWrapAroundBelowThem) {
    CMImage image(3, 1, 12);
    image.SetPixel(0, 0, 0xABC);
    image.SetPixel(1, 0, 300);
    image.SetPixel(2, 0, 4095);
    const CPalette palette = DistinctPalette(256);
    CRenderRequest req;

    auto top = RenderBitWindow(image, 4, 8, {}, palette, req);
    ASSERT_TRUE(top);
    EXPECT_EQ(top->depth, 8);
    EXPECT_EQ(top->IndexAt(0, 0), 0xAB);
    EXPECT_EQ(top->IndexAt(1, 0), 300 >> 4);

    auto low = RenderBitWindow(image, 0, 8, {}, palette, req);
    ASSERT_TRUE(low);
    EXPECT_EQ(low->IndexAt(1, 0), 44) << "300 wraps to 300 AND 255 instead of saturating";
    EXPECT_EQ(low->IndexAt(2, 0), 255);
}

TEST(DisplayBitWindow, OutputDepthFollowsTheNumberOfBits) {
    const CMImage image = NoiseImage(9, 4, 12, 3);
    const CPalette palette = DistinctPalette(256);
    const std::pair<int, int> cases[] = {{1, 1}, {2, 4}, {4, 4}, {5, 8}, {8, 8}};
    for (auto [bits, depth] : cases) {
        CRenderRequest req;
        auto bitmap = RenderBitWindow(image, 0, bits, {}, palette, req);
        ASSERT_TRUE(bitmap) << bits << " bits";
        EXPECT_EQ(bitmap->depth, depth) << bits << " bits";
        EXPECT_EQ(bitmap->palette.size(), size_t(1) << bits) << bits << " bits";
    }
}

TEST(DisplayBitWindow, PaletteIsSampledEvenlyFromTheCurrentPalette) {
    const CMImage image = NoiseImage(4, 4, 8, 4);
    const CPalette palette = DistinctPalette(256);
    CRenderRequest req;
    auto bitmap = RenderBitWindow(image, 4, 4, {}, palette, req);
    ASSERT_TRUE(bitmap);
    ASSERT_EQ(bitmap->palette.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(bitmap->palette[size_t(i)], palette[size_t(17 * i)]) << i;
}

TEST(DisplayBitWindow, WindowAboveTheDepthShowsTheTopBits) {
    CMImage deep(2, 1, 10);
    deep.SetPixel(0, 0, 0x3FF);
    deep.SetPixel(1, 0, 0x155);
    const CPalette palette = DistinctPalette(256);
    CRenderRequest req;
    auto bitmap = RenderBitWindow(deep, 6, 8, {}, palette, req);  // 6 + 8 > 10
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->IndexAt(0, 0), 0xFF);
    EXPECT_EQ(bitmap->IndexAt(1, 0), 0x155 >> 2);

    // On a 4-bit image the same request must not look below bit 0.
    CMImage nibble(2, 1, 4);
    nibble.SetPixel(0, 0, 9);
    nibble.SetPixel(1, 0, 15);
    auto shallow = RenderBitWindow(nibble, 0, 8, {}, palette, req);
    ASSERT_TRUE(shallow);
    EXPECT_EQ(shallow->depth, 4);
    EXPECT_EQ(shallow->IndexAt(0, 0), 9);
    EXPECT_EQ(shallow->IndexAt(1, 0), 15);
}

TEST(DisplayBitWindow, GammaOnFewerThanEightBitsStaysInsideThePalette) {
    const CMImage image = NoiseImage(40, 8, 12, 5);
    const CPalette palette = DistinctPalette(256);
    for (float gamma : {0.2f, 2.0f, 6.99f}) {
        CRenderRequest req;
        auto bitmap = RenderBitWindow(image, 3, 5, Correction(0, 0, gamma), palette, req);
        ASSERT_TRUE(bitmap);
        ASSERT_EQ(bitmap->palette.size(), 32u);
        for (int32_t y = 0; y < bitmap->height; ++y) {
            for (int32_t x = 0; x < bitmap->width; ++x) {
                ASSERT_LT(bitmap->IndexAt(x, y), 32) << "gamma " << gamma;
            }
        }
    }
}

TEST(DisplayValueWindow, EqualBoundsGiveATwoLevelPicture) {
    CMImage image(4, 1, 12);
    const int samples[] = {999, 1000, 1001, 0};
    for (int x = 0; x < 4; ++x) image.SetPixel(x, 0, samples[x]);
    const CPalette palette = LinearGreyPalette(false);
    CRenderRequest req;
    auto bitmap = RenderValueWindow(image, 1000, 1000, {}, palette, req);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->depth, 1);
    ASSERT_EQ(bitmap->palette.size(), 2u);
    EXPECT_EQ(bitmap->palette[0], (CPaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(bitmap->palette[1], (CPaletteEntry{255, 255, 255, 0}));
    EXPECT_EQ(bitmap->IndexAt(0, 0), 0);
    EXPECT_EQ(bitmap->IndexAt(1, 0), 1);
    EXPECT_EQ(bitmap->IndexAt(2, 0), 1);
    EXPECT_EQ(bitmap->IndexAt(3, 0), 0);
}

TEST(DisplayValueWindow, SixteenValuesGiveSixteenLevelsInFourBits) {
    CMImage image(18, 1, 12);
    for (int x = 0; x < 18; ++x) image.SetPixel(x, 0, 99 + x);  // 99 .. 116
    const CPalette palette = DistinctPalette(256);
    CRenderRequest req;
    auto bitmap = RenderValueWindow(image, 100, 115, {}, palette, req);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->depth, 4);
    ASSERT_EQ(bitmap->palette.size(), 16u);
    EXPECT_EQ(bitmap->palette[15], palette[255]);
    EXPECT_EQ(bitmap->palette[1], palette[17]);
    EXPECT_EQ(bitmap->IndexAt(0, 0), 0);    // 99, below the window
    EXPECT_EQ(bitmap->IndexAt(1, 0), 0);    // 100
    EXPECT_EQ(bitmap->IndexAt(8, 0), 6);    // 107: trunc(15 * 7 / 16)
    EXPECT_EQ(bitmap->IndexAt(16, 0), 15);  // 115 = high
    EXPECT_EQ(bitmap->IndexAt(17, 0), 15);  // 116, above
}

TEST(DisplayValueWindow, OutputDepthAndPaletteFollowTheNumberOfLevels) {
    const CMImage image = NoiseImage(5, 5, 12, 6);
    const CPalette palette = DistinctPalette(256);
    struct Case {
        int32_t low, high;
        int depth;
        size_t entries;
    };
    const Case cases[] = {{10, 11, 1, 2},  {10, 12, 4, 3},    {10, 25, 4, 16},
                          {10, 26, 8, 17}, {10, 265, 8, 256}, {10, 4000, 8, 256},
                          {50, 10, 8, 41}, {-20, 5, 4, 6},    {3000, 9000, 8, 256}};
    for (const Case& c : cases) {
        CRenderRequest req;
        auto bitmap = RenderValueWindow(image, c.low, c.high, {}, palette, req);
        ASSERT_TRUE(bitmap) << c.low << ".." << c.high;
        EXPECT_EQ(bitmap->depth, c.depth) << c.low << ".." << c.high;
        EXPECT_EQ(bitmap->palette.size(), c.entries) << c.low << ".." << c.high;
    }
}

TEST(DisplayValueWindow, PaletteSamplingTruncates) {
    const CMImage image = NoiseImage(5, 5, 12, 7);
    const CPalette palette = DistinctPalette(256);
    CRenderRequest req;
    auto bitmap = RenderValueWindow(image, 0, 99, {}, palette, req);  // 100 levels
    ASSERT_TRUE(bitmap);
    ASSERT_EQ(bitmap->palette.size(), 100u);
    EXPECT_EQ(bitmap->palette[1], palette[2]);     // 255 / 99 = 2.57
    EXPECT_EQ(bitmap->palette[50], palette[128]);  // 12750 / 99 = 128.8
    EXPECT_EQ(bitmap->palette[99], palette[255]);
}

TEST(DisplayValueWindow, FullRangeAtZoomOneCopiesTheRaster) {
    // An 8-bit image whose rows already have the bitmap's length is copied as
    // it is; the level formula would otherwise show 128 as 127.
    CMImage image(8, 2, 8);
    for (int32_t x = 0; x < 8; ++x) {
        image.SetPixel(x, 0, 128);
        image.SetPixel(x, 1, 3 * x);
    }
    const CPalette palette = DistinctPalette(256);
    CRenderRequest req;
    auto copy = RenderValueWindow(image, 0, 255, {}, palette, req);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->bits, std::vector<uint8_t>(image.data, image.data + image.ByteCount()));
    EXPECT_EQ(copy->palette, palette);

    // Any correction takes the level path, which starts from the same levels.
    auto mapped = RenderValueWindow(image, 0, 255, Correction(0, 1, 1.0f), palette, req);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->IndexAt(0, 0), 129);  // 128 + brightness 1

    // Neither the zoom nor a width whose rows need padding changes the levels.
    CMImage odd(7, 2, 8);
    for (int32_t x = 0; x < 7; ++x) odd.SetPixel(x, 0, 10 * x + 1);
    for (float zoom : {1.0f, 2.0f, 0.5f}) {
        CRenderRequest zoomed;
        zoomed.zoom = zoom;
        auto bitmap = RenderValueWindow(odd, 0, 255, {}, palette, zoomed);
        ASSERT_TRUE(bitmap);
        for (int32_t x = 0; x < bitmap->width; ++x)
            EXPECT_EQ(bitmap->IndexAt(x, 0), odd.GetPixel(std::min(6, int(x / zoom)), 0))
                << "zoom " << zoom << " x " << x;
    }
}

TEST(DisplayValueWindow, DeepImageWithFourByteRowsIsMappedNotCopied) {
    // Two 12-bit pixels fill four bytes, as many as an 8-bit bitmap row of
    // width 2: the raster must still be mapped, never copied byte for byte.
    CMImage image(2, 1, 12);
    image.SetPixel(0, 0, 4095);
    image.SetPixel(1, 0, 2048);
    const CPalette palette = DistinctPalette(256);
    CRenderRequest req;
    auto bitmap = RenderValueWindow(image, 0, 4095, {}, palette, req);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->IndexAt(0, 0), 255);
    EXPECT_EQ(bitmap->IndexAt(1, 0), 127);  // trunc(255 * 2048 / 4096)
    auto bits = RenderBitWindow(image, 4, 8, {}, palette, req);
    ASSERT_TRUE(bits);
    EXPECT_EQ(bits->IndexAt(0, 0), 255);
    EXPECT_EQ(bits->IndexAt(1, 0), 128);
    auto lowBits = RenderBitWindow(image, 0, 8, {}, palette, req);
    ASSERT_TRUE(lowBits);
    EXPECT_EQ(lowBits->IndexAt(0, 0), 255);
    EXPECT_EQ(lowBits->IndexAt(1, 0), 0);
}

TEST(DisplayValueWindow, OverlayMarksThePixelsAtTheCurrentImagesTop) {
    CMImage original(4, 2, 12);
    CMImage current(4, 2, 8);
    for (int32_t x = 0; x < 4; ++x) {
        original.SetPixel(x, 0, 0);
        original.SetPixel(x, 1, 0);
        current.SetPixel(x, 0, x == 2 ? 255 : 254);
        current.SetPixel(x, 1, 0);
    }
    const CPalette palette = DistinctPalette(256);
    CRenderRequest req;
    req.overlay = &current;
    auto bitmap = RenderValueWindow(original, 0, 4095, Correction(0, -20, 1.0f), palette, req);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->IndexAt(2, 0), 255);
    EXPECT_EQ(bitmap->IndexAt(1, 0), 0);
    EXPECT_EQ(bitmap->IndexAt(2, 1), 0);
}

// ---------------------------------------------------------------------------
// Display correction.

TEST(DisplayCorrection, DocumentedLevelMappings) {
    struct Case {
        const char* name;
        int contrast, brightness;
        float gamma;
        int M, in, out;
    };
    const Case cases[] = {
        {"contrast 64: 64 -> 0", 64, 0, 1.0f, 255, 64, 0},
        {"contrast 64: 191 -> 255", 64, 0, 1.0f, 255, 191, 255},
        {"contrast 64: 128 -> 128", 64, 0, 1.0f, 255, 128, 128},
        {"contrast 64: 10 -> 0", 64, 0, 1.0f, 255, 10, 0},
        {"contrast -64 widens: 0 -> 42", -64, 0, 1.0f, 255, 0, 42},
        {"brightness -20: 10 -> 0", 0, -20, 1.0f, 255, 10, 0},
        {"brightness 20: 250 -> 255", 0, 20, 1.0f, 255, 250, 255},
        {"gamma 2: 64 -> 128", 0, 0, 2.0f, 255, 64, 128},
        {"gamma 2: 0 stays 0", 0, 0, 2.0f, 255, 0, 0},
        {"gamma 0.5: 128 -> 64", 0, 0, 0.5f, 255, 128, 64},
        {"2c = M leaves the level", 15, 0, 1.0f, 30, 7, 7},
        {"contrast then brightness", 64, 10, 1.0f, 255, 128, 138},
        {"brightness then gamma", 0, 54, 2.0f, 255, 10, 128},
        {"gamma on 4 bits stays on 4 bits", 0, 0, 2.0f, 15, 15, 15},
        {"gamma on 4 bits", 0, 0, 2.0f, 15, 4, 8},  // 15 sqrt(4/15) + 0.5 = 8.25
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CorrectLevel(c.in, c.M, Correction(c.contrast, c.brightness, c.gamma)), c.out)
            << c.name;
    }
}

TEST(DisplayCorrection, GammaTableFollowsGammaAndStaysInRange) {
    CDisplayCorrection c;
    c.SetGamma(2.0f);
    ASSERT_EQ(c.gammaTable.size(), 256u);
    EXPECT_EQ(c.gammaTable[0], 0);
    EXPECT_EQ(c.gammaTable[64], 128);
    EXPECT_EQ(c.gammaTable[255], 255);
    EXPECT_FALSE(c.IsIdentity());
    c.SetGamma(1.0f);
    EXPECT_TRUE(c.gammaTable.empty());
    EXPECT_TRUE(c.IsIdentity());
    for (float bad : {0.0f, -3.0f, 100.0f, NAN}) {
        c.SetGamma(bad);
        EXPECT_GE(c.gamma, 0.01f) << bad;
        EXPECT_LE(c.gamma, 6.99f) << bad;
        for (int f = 0; f <= 255; ++f) {
            const int out = CorrectLevel(f, 255, c);
            ASSERT_TRUE(out >= 0 && out <= 255) << "gamma " << bad << " level " << f;
        }
    }
}

// ---------------------------------------------------------------------------
// Zoom tables.

TEST(DisplayZoom, SourcePositionsAreTruncatedRunningSums) {
    struct Case {
        const char* name;
        int32_t w, h;
        float zoom;
        int32_t fitW, fitH;
        bool independent;
        std::vector<int32_t> sx, sy;
        float used;
    };
    const Case cases[] = {
        {"enlarge 1.75", 4, 2, 1.75f, 0, 0, false, {0, 0, 1, 1, 2, 2, 3}, {0, 0, 1}, 1.75f},
        {"halve odd width", 5, 4, 0.5f, 0, 0, false, {0, 2}, {0, 2}, 0.5f},
        {"quarter", 9, 8, 0.25f, 0, 0, false, {0, 4}, {0, 4}, 0.25f},
        {"identity", 3, 1, 1.0f, 0, 0, false, {0, 1, 2}, {0}, 1.0f},
        {"fit keeps aspect", 8, 4, 0, 4, 4, false, {0, 2, 4, 6}, {0, 2}, 0.5f},
        {"fit independent axes", 8, 4, 0, 4, 4, true, {0, 2, 4, 6}, {0, 1, 2, 3}, 0.5f},
        {"fit enlarges a small image", 2, 1, 0, 6, 6, false, {0, 0, 0, 1, 1, 1}, {0, 0, 0}, 3.0f},
    };
    for (const Case& c : cases) {
        CZoomTables t;
        ASSERT_TRUE(BuildZoomTables(c.w, c.h, c.zoom, c.fitW, c.fitH, c.independent, t)) << c.name;
        EXPECT_EQ(t.sourceX, c.sx) << c.name;
        EXPECT_EQ(t.sourceY, c.sy) << c.name;
        EXPECT_EQ(t.outWidth, int32_t(c.sx.size())) << c.name;
        EXPECT_EQ(t.outHeight, int32_t(c.sy.size())) << c.name;
        EXPECT_FLOAT_EQ(t.zoom, c.used) << c.name;
    }
}

TEST(DisplayZoom, LargeEnlargementsNeverSampleOutsideTheImage) {
    CZoomTables t;
    ASSERT_TRUE(BuildZoomTables(4099, 3, 97.3f, 0, 0, false, t));
    ASSERT_EQ(t.outWidth, 398832);
    for (size_t i = 0; i < t.sourceX.size(); ++i) {
        ASSERT_TRUE(t.sourceX[i] >= 0 && t.sourceX[i] < 4099) << i;
        if (i > 0) {
            ASSERT_GE(t.sourceX[i], t.sourceX[i - 1]) << i;
        }
    }
    for (int32_t y : t.sourceY) ASSERT_TRUE(y >= 0 && y < 3);
}

TEST(DisplayZoom, RefusesEmptyOrRunawayOutput) {
    struct Case {
        const char* name;
        int32_t w, h;
        float zoom;
        int32_t fitW, fitH;
    };
    const Case cases[] = {
        {"shrinks to nothing", 3, 3, 0.25f, 0, 0}, {"negative zoom", 10, 10, -1.0f, 0, 0},
        {"not a number", 10, 10, NAN, 0, 0},       {"infinite", 10, 10, INFINITY, 0, 0},
        {"fit without a target", 10, 10, 0, 0, 5}, {"runaway zoom", 4000, 4000, 1e6f, 0, 0},
        {"empty image", 0, 10, 1.0f, 0, 0},
    };
    for (const Case& c : cases) {
        CZoomTables t;
        EXPECT_FALSE(BuildZoomTables(c.w, c.h, c.zoom, c.fitW, c.fitH, false, t)) << c.name;
    }
}

// ---------------------------------------------------------------------------
// Failure results.

TEST(DisplayRender, FailsWithoutPaletteImageOrOutput) {
    const CMImage image = NoiseImage(6, 6, 12, 8);
    const CPalette palette = DistinctPalette(256);
    const CMImage empty;
    CRenderRequest req;
    EXPECT_FALSE(RenderValueWindow(image, 0, 100, {}, CPalette{}, req));
    EXPECT_FALSE(RenderBitWindow(image, 0, 8, {}, CPalette{}, req));
    EXPECT_FALSE(RenderValueWindow(empty, 0, 100, {}, palette, req));
    EXPECT_FALSE(RenderBitWindow(empty, 0, 8, {}, palette, req));
    EXPECT_FALSE(RenderBitWindow(image, 0, 0, {}, palette, req));
    EXPECT_FALSE(RenderBitWindow(image, -1, 4, {}, palette, req));
    CRenderRequest tiny;
    tiny.zoom = 0.1f;
    EXPECT_FALSE(RenderValueWindow(image, 0, 100, {}, palette, tiny));
    CRenderRequest runaway;
    runaway.zoom = 1e7f;
    EXPECT_FALSE(RenderBitWindow(image, 0, 8, {}, palette, runaway));
}

TEST(DisplayRender, InvalidOverlayIsIgnored) {
    const CMImage image = NoiseImage(6, 6, 12, 10);
    const CPalette palette = DistinctPalette(256);
    const CMImage empty;
    CRenderRequest plain;
    CRenderRequest withEmpty;
    withEmpty.overlay = &empty;
    auto a = RenderValueWindow(image, 100, 3000, {}, palette, plain);
    auto b = RenderValueWindow(image, 100, 3000, {}, palette, withEmpty);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->bits, b->bits);
}

// ---------------------------------------------------------------------------
// Window clamps, display bits, grey conversion.

TEST(DisplayWindow, ClampsOnLoadAndAfterAChange) {
    struct Case {
        const char* name;
        int32_t low, high, minV, maxV;
        int32_t loadLow, loadHigh, changeLow, changeHigh;
    };
    const Case cases[] = {
        {"inside", 1000, 4095, 0, 4095, 1000, 4095, 1000, 4095},
        {"default window on 8 bits", 1000, 4095, 0, 255, 255, 255, 254, 255},
        {"below min", -50, 200, 0, 4095, 0, 200, 0, 200},
        {"low above high", 300, 200, 0, 4095, 300, 300, 300, 301},
        {"high above max", 10, 9000, 0, 4095, 10, 4095, 10, 4095},
        {"value offset", -2000, 100, -1024, 3071, -1024, 100, -1024, 100},
        {"equal bounds", 500, 500, 0, 4095, 500, 500, 500, 501},
        {"1-bit image", 1000, 4095, 0, 1, 1, 1, 0, 1},
    };
    for (const Case& c : cases) {
        CWindowRange load{c.low, c.high};
        ClampWindowOnLoad(load, c.minV, c.maxV);
        EXPECT_EQ(load.low, c.loadLow) << c.name;
        EXPECT_EQ(load.high, c.loadHigh) << c.name;
        CWindowRange change{c.low, c.high};
        ClampWindowAfterChange(change, c.minV, c.maxV);
        EXPECT_EQ(change.low, c.changeLow) << c.name;
        EXPECT_EQ(change.high, c.changeHigh) << c.name;
    }
}

TEST(DisplayWindow, TrueValueRangeSubtractsTheOffset) {
    CMImage dicom(2, 2, 12, 1024);
    int32_t minV = 0, maxV = 0;
    TrueValueRange(dicom, minV, maxV);
    EXPECT_EQ(minV, -1024);
    EXPECT_EQ(maxV, 3071);
}

TEST(DisplayWindow, DisplayBitsFollowTheDepth) {
    const int cases[][3] = {{1, 0, 1}, {4, 0, 4}, {8, 0, 8}, {12, 4, 8}, {16, 8, 8}, {0, 0, 8}};
    for (const auto& c : cases) {
        uint8_t shift = 99, bits = 99;
        DeriveDisplayBits(c[0], shift, bits);
        EXPECT_EQ(shift, c[1]) << "depth " << c[0];
        EXPECT_EQ(bits, c[2]) << "depth " << c[0];
    }
}

TEST(DisplayGrey, ColourModes) {
    struct Case {
        int r, g, b, mode;
        uint16_t grey;
    };
    const Case cases[] = {{10, 20, 31, 0, 20},     {255, 255, 255, 0, 255}, {100, 0, 0, 1, 30},
                          {255, 255, 255, 1, 255}, {1, 1, 1, 1, 1},         {0, 200, 0, 1, 118},
                          {9, 77, 200, 2, 77},     {10, 20, 31, 7, 20}};
    for (const Case& c : cases) {
        EXPECT_EQ(ToGrey(c.r, c.g, c.b, c.mode), c.grey)
            << c.r << "," << c.g << "," << c.b << " mode " << c.mode;
    }
}

// ---------------------------------------------------------------------------
// A real mammogram through the fitted view the workstation opens with.

TEST(DisplayRender, RealMammogramFitsTheDefaultView) {
#ifndef VISTREL_SHARED_DATA
    GTEST_SKIP() << "no shared data";
#else
    const std::string path = std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb001.pgm";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "missing " << path;
    }
    CMImage image;
    std::string description;
    ASSERT_EQ(image.ReadPgm(path, description), 1);
    const CPalette palette = DistinctPalette(256);
    CRenderRequest req;
    req.zoom = 0;
    req.fitWidth = 1000;
    req.fitHeight = 800;
    auto got = RenderValueWindow(image, 40, 200, Correction(10, 0, 1.3f), palette, req);
    ASSERT_TRUE(got);
    EXPECT_EQ(Difference(got.get(),
                         RefValueWindow(image, 40, 200, Correction(10, 0, 1.3f), palette, req)),
              "");
    EXPECT_EQ(got->width, 800);
    req.zoom = 1;
    auto copy = RenderValueWindow(image, 0, 255, {}, palette, req);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->bits, std::vector<uint8_t>(image.data, image.data + image.ByteCount()));
#endif
}

}  // namespace
}  // namespace vistrel
