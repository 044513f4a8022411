#include "workspace/image_properties_model.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

constexpr double kCentimetresPerInch = 2.54;
constexpr double kMicronsPerInch = 25400.0;

std::string Fixed2(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

}  // namespace

const std::vector<std::string>& CImagePropertiesModel::SizeUnitNames() {
    static const std::vector<std::string> names = {"inches", "cm"};
    return names;
}

const std::vector<std::string>& CImagePropertiesModel::ResolutionUnitNames() {
    static const std::vector<std::string> names = {"pixels/inch", "pixels/cm", "microns/pixel"};
    return names;
}

void CImagePropertiesModel::Load(const CVistrelDoc* doc) {
    sizeUnit_ = kCentimetres;
    resolutionUnit_ = kMicronsPerPixel;
    if (!doc || !doc->image.IsValid()) {
        Set(0, 0, 0, 0);
        loaded_ = false;
        return;
    }
    Set(doc->image.width, doc->image.height, doc->image.depth, doc->resolution);
    loaded_ = true;
    loadedPixelsPerInch_ = pixelsPerInch_;
    source_ = doc->resolutionSource;
}

void CImagePropertiesModel::Set(int32_t width, int32_t height, int depth, double pixelsPerInch) {
    width_ = width;
    height_ = height;
    depth_ = depth;
    pixelsPerInch_ = std::isfinite(pixelsPerInch) && pixelsPerInch > 0 ? pixelsPerInch : 0;
}

bool CImagePropertiesModel::Store(CVistrelDoc* doc) const {
    if (!doc || pixelsPerInch_ <= 0) return false;
    // OK on an unchanged value keeps a measured or default size what it was.
    if (pixelsPerInch_ != loadedPixelsPerInch_ || !loaded_)
        doc->resolutionSource = EResolutionSource::User;
    doc->resolution = static_cast<float>(pixelsPerInch_);
    return true;
}

std::string CImagePropertiesModel::SourceText() const {
    if (!loaded_) return {};
    switch (source_) {
        case EResolutionSource::Ics:
            return "Pixel size from the case information file";
        case EResolutionSource::Dicom:
            return "Pixel size from the DICOM header";
        case EResolutionSource::User:
            return "Pixel size given by the user";
        case EResolutionSource::Default:
            break;
    }
    return "Default pixel size, not measured (\"Set Resolution...\" gives the real one)";
}

void CImagePropertiesModel::SetSizeUnit(int unit) {
    if (unit == kInches || unit == kCentimetres) sizeUnit_ = unit;
}

void CImagePropertiesModel::SetResolutionUnit(int unit) {
    if (unit >= kPixelsPerInch && unit <= kMicronsPerPixel) resolutionUnit_ = unit;
}

std::string CImagePropertiesModel::WidthPixelsText() const {
    return std::to_string(width_);
}
std::string CImagePropertiesModel::HeightPixelsText() const {
    return std::to_string(height_);
}
std::string CImagePropertiesModel::BitsText() const {
    return std::to_string(depth_);
}

double CImagePropertiesModel::SizeInUnit(int32_t pixels) const {
    if (pixelsPerInch_ <= 0) return 0;
    const double inches = pixels / pixelsPerInch_;
    return sizeUnit_ == kInches ? inches : inches * kCentimetresPerInch;
}

std::string CImagePropertiesModel::DocumentWidthText() const {
    return Fixed2(SizeInUnit(width_));
}
std::string CImagePropertiesModel::DocumentHeightText() const {
    return Fixed2(SizeInUnit(height_));
}

std::string CImagePropertiesModel::ResolutionText() const {
    if (pixelsPerInch_ <= 0) return Fixed2(0);
    switch (resolutionUnit_) {
        case kPixelsPerInch:
            return Fixed2(pixelsPerInch_);
        case kPixelsPerCentimetre:
            return Fixed2(pixelsPerInch_ / kCentimetresPerInch);
        default:
            return Fixed2(kMicronsPerInch / pixelsPerInch_);
    }
}

bool CImagePropertiesModel::SetResolutionText(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(value) || value <= 0) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return false;
    double ppi = value;
    if (resolutionUnit_ == kPixelsPerCentimetre) ppi = value * kCentimetresPerInch;
    if (resolutionUnit_ == kMicronsPerPixel) ppi = kMicronsPerInch / value;
    // The document holds a float; a value it cannot represent is refused.
    if (!std::isfinite(ppi) || ppi < 1e-30 || ppi > 1e30) return false;
    pixelsPerInch_ = ppi;
    return true;
}

}  // namespace vistrel
