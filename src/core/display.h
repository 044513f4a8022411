#pragma once
// Display mapping: turns a CMImage into an indexed 1/4/8-bit bitmap with a
// palette, through a bit window or a value window, display-only contrast,
// brightness and gamma, a LUT palette and nearest-neighbour zoom. Nothing
// here changes image samples.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/image.h"

namespace vistrel {

struct CPaletteEntry {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;
    bool operator==(const CPaletteEntry&) const = default;
};
using CPalette = std::vector<CPaletteEntry>;

// The rendered picture. Rows are padded to 4 bytes so that a QImage (or a
// device-independent bitmap) can wrap the buffer without copying.
struct CDisplayBitmap {
    int32_t width = 0;
    int32_t height = 0;
    int depth = 8;  // 1, 4 or 8 bits per pixel, packed like CMImageBase
    int32_t bytesPerRow = 0;
    std::vector<uint8_t> bits;
    CPalette palette;

    // Palette index at (x, y); no bounds check.
    int IndexAt(int32_t x, int32_t y) const;
};

// Rows of a bitmap of that width and depth, padded to 4 bytes.
int32_t DisplayRowBytes(int32_t width, int depth);

// Display-only correction of output levels.
struct CDisplayCorrection {
    int32_t contrast = 0;    // -127..127
    int32_t brightness = 0;  // -127..127
    float gamma = 1.0f;      // 0.01..6.99
    std::vector<uint8_t> gammaTable;  // 256 entries while gamma != 1, else empty

    // Stores gamma and (re)builds the table: table[0] = 0,
    // table[i] = trunc(255 (i/255)^(1/gamma) + 0.5).
    void SetGamma(float g);
    bool IsIdentity() const { return contrast == 0 && brightness == 0 && gamma == 1.0f; }
};

// Contrast, then brightness, then gamma on one output level f in 0..M.
int CorrectLevel(int f, int M, const CDisplayCorrection& correction);

// Source column/row of every output column/row for a zoom (or a fit when zoom == 0).
struct CZoomTables {
    int32_t outWidth = 0;
    int32_t outHeight = 0;
    float zoom = 1.0f;  // the zoom actually used (1/s for a fit)
    std::vector<int32_t> sourceX;
    std::vector<int32_t> sourceY;
};
// False when the output would be empty or the tables cannot be allocated.
bool BuildZoomTables(int32_t width, int32_t height, float zoom, int32_t fitWidth,
                     int32_t fitHeight, bool independentAxes, CZoomTables& tables);

// What and how large to paint.
struct CRenderRequest {
    float zoom = 1.0f;         // 0 = fit into fitWidth x fitHeight
    int32_t fitWidth = 0;
    int32_t fitHeight = 0;
    bool independentAxes = false;
    // When set, the image rendered is the original and this is the current image:
    // wherever the current sample equals its maxValue the output is the top level.
    const CMImageBase* overlay = nullptr;
    float usedZoom = 1.0f;     // out: the zoom actually used
};

// Bit window: shows `bits` (1..8) consecutive bits starting at `shift`.
// Null for an invalid image, an empty palette or failed tables.
std::unique_ptr<CDisplayBitmap> RenderBitWindow(const CMImage& image, int shift, int bits,
                                                const CDisplayCorrection& correction,
                                                const CPalette& palette, CRenderRequest& request);
// Value window: stretches stored values low..high (stored units, i.e. true
// value + valueOffset) over the output levels.
std::unique_ptr<CDisplayBitmap> RenderValueWindow(const CMImage& image, int32_t low,
                                                  int32_t high,
                                                  const CDisplayCorrection& correction,
                                                  const CPalette& palette,
                                                  CRenderRequest& request);

// The display window of a document, in true values.
struct CWindowRange {
    int32_t low = 1000;
    int32_t high = 4095;
};
// True-value range of an image: [-valueOffset, maxValue - valueOffset].
void TrueValueRange(const CMImage& image, int32_t& minV, int32_t& maxV);
// Clamp used when an image is loaded (low may reach max; high only raised to low).
void ClampWindowOnLoad(CWindowRange& window, int32_t minV, int32_t maxV);
// Clamp used after a depth change or an image/original swap.
void ClampWindowAfterChange(CWindowRange& window, int32_t minV, int32_t maxV);
// Display bits for a depth (the depth for 1 and 4, else 8) and the matching shift.
void DeriveDisplayBits(int depth, uint8_t& shift, uint8_t& displayBits);

// Grey value of a colour pixel: mode 0 mean of R, G, B; 1 30/59/11 %; 2 green.
uint16_t ToGrey(int red, int green, int blue, int colourMode);

}  // namespace vistrel
