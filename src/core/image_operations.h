#pragma once
// Elementary operations on images: rotations and flips (in place), histogram
// equalisation, pixelwise operations on two images and the selection of
// binary objects touched by another binary image.

#include <cstdint>
#include <memory>

#include "core/image.h"

namespace vistrel {

// Rotation angles accepted by Rotate: 180, -90 (clockwise), 90 (counter-clockwise).
inline constexpr int kRotate180 = 180;
inline constexpr int kRotateClockwise = -90;
inline constexpr int kRotateCounterClockwise = 90;

// In place. 180: out(x, y) = in(W-1-x, H-1-y); -90: out(x, y) = in(y, H-1-x);
// 90: out(x, y) = in(W-1-y, x). For +-90 the raster is re-created as H x W at
// the same depth and maxValue. A CMImage keeps its cached histogram, value
// offset and header (rotation does not change the set of samples). False for
// an invalid image or another angle (image untouched); an allocation failure
// during a +-90 rotation leaves the image empty and returns false.
bool Rotate(CMImageBase& image, int angle);

// In place: exchanges (x, y) and (W-1-x, y). False for an invalid image.
bool FlipHorizontal(CMImageBase& image);
// In place: exchanges rows y and H-1-y. False for an invalid image.
bool FlipVertical(CMImageBase& image);

// Histogram equalisation into a new image (same size, depth and value offset).
// Empty rect: the table comes from the image's cached histogram, which is
// consumed (turned into the table). Otherwise the rect is clipped (null when
// nothing of it is inside) and its histogram gives the table, applied to the
// pixels inside the rect, or to every pixel when wholeImage is set; the cached
// histogram is emptied afterwards. Samples above maxValue, which have no bin,
// take the table's top entry. Null for an invalid image or when the table
// cannot be built.
std::unique_ptr<CMImage> Equalize(CMImage& image, CRect rect, bool wholeImage);

// (I1 + I2) / 2 per pixel (integer halving) of the unsigned samples; the
// depth follows the largest result. Null for an invalid image or a size mismatch.
std::unique_ptr<CMImage> Average(const CMImage& i1, const CMImage& i2);
// I1 - I2 per pixel (signed); a negative minimum becomes the value offset of
// the result. Null for an invalid image or a size mismatch.
std::unique_ptr<CMImage> Difference(const CMImage& i1, const CMImage& i2);

// Select modes: 0 max{I1, I2}, 1 min{I1, I2}, 2 I1 where I1 > I2 else 0,
// 3 I1 where I1 < I2 else 0 (unsigned sample comparison).
enum SelectMode : int { kSelectMax = 0, kSelectMin = 1, kSelectGreater = 2, kSelectLess = 3 };
// Null for an invalid image, a size mismatch or an unknown mode.
std::unique_ptr<CMImage> Select(const CMImage& i1, const CMImage& i2, int mode);

// Binary object selection on two 1-bit images of equal size, objects traced
// with 4- or 8-connectivity. KeepTouchingObjects leaves in `image` only the
// objects that share at least one pixel with `other`; RemoveTouchingObjects
// clears those objects instead. Every object is processed whole, however
// large. Return the number of objects kept / removed, or -1 (image untouched)
// when the images are not both valid 1-bit images of equal size or the
// connectivity is neither 4 nor 8.
int KeepTouchingObjects(CMImageBase& image, const CMImageBase& other, int connectivity);
int RemoveTouchingObjects(CMImageBase& image, const CMImageBase& other, int connectivity);

}  // namespace vistrel
