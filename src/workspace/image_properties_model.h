#pragma once
// Model of the "Image Properties" window: pixel dimensions, bits per
// channel, the document size in a chosen length unit and the resolution in a
// chosen resolution unit. The document keeps the resolution in pixels per inch.

#include <cstdint>
#include <string>
#include <vector>

#include "workspace/image_resolution.h"

namespace vistrel {

class CVistrelDoc;

class CImagePropertiesModel {
  public:
    // Unit choices, in their fixed order.
    enum SizeUnit : int { kInches = 0, kCentimetres = 1 };
    enum ResolutionUnit : int {
        kPixelsPerInch = 0,
        kPixelsPerCentimetre = 1,
        kMicronsPerPixel = 2
    };
    static const std::vector<std::string>& SizeUnitNames();
    static const std::vector<std::string>& ResolutionUnitNames();

    // The document's image and resolution (no document: all 0); the units
    // start as centimetres and microns per pixel.
    void Load(const CVistrelDoc* doc);
    // The same from plain values (resolution in pixels per inch).
    void Set(int32_t width, int32_t height, int depth, double pixelsPerInch);
    // OK: stores the resolution in the document; a changed value counts as
    // given by the user. False (nothing stored) without a document or
    // without a usable resolution.
    bool Store(CVistrelDoc* doc) const;

    void SetSizeUnit(int unit);
    void SetResolutionUnit(int unit);
    int SizeUnitIndex() const { return sizeUnit_; }
    int ResolutionUnitIndex() const { return resolutionUnit_; }

    std::string WidthPixelsText() const;   // "%d"
    std::string HeightPixelsText() const;  // "%d"
    std::string BitsText() const;          // "%d"
    // Document size in the size unit, "%.2f".
    std::string DocumentWidthText() const;
    std::string DocumentHeightText() const;
    // Resolution in the resolution unit, "%.2f".
    std::string ResolutionText() const;
    // A resolution typed in the current resolution unit; false (unchanged)
    // when it is not a positive finite number.
    bool SetResolutionText(const std::string& text);

    double PixelsPerInch() const { return pixelsPerInch_; }
    // Where the resolution comes from, in words, so that a default pixel size
    // is not taken for a measured one; empty without a document.
    std::string SourceText() const;

  private:
    double SizeInUnit(int32_t pixels) const;

    int32_t width_ = 0;
    int32_t height_ = 0;
    int depth_ = 0;
    double pixelsPerInch_ = 0;
    double loadedPixelsPerInch_ = 0;
    bool loaded_ = false;
    EResolutionSource source_ = EResolutionSource::Default;
    int sizeUnit_ = kCentimetres;
    int resolutionUnit_ = kMicronsPerPixel;
};

}  // namespace vistrel
