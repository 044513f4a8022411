#include "workspace/image_resolution.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/image.h"
#include "workspace/cases.h"

namespace vistrel {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kMicronsPerInch = 25400.0;

// A pixel finer than a nanometre or coarser than a metre is a damaged header,
// not a measurement; trusting it would turn every length into nonsense.
bool PlausibleSpacing(double mm) {
    return std::isfinite(mm) && mm >= 1e-6 && mm <= 1000.0;
}

}  // namespace

const char* ResolutionSourceName(EResolutionSource source) {
    switch (source) {
        case EResolutionSource::Ics:
            return "ics";
        case EResolutionSource::Dicom:
            return "dicom";
        case EResolutionSource::User:
            return "user";
        case EResolutionSource::Default:
            break;
    }
    return "default";
}

double DpiFromSpacing(const double spacingMm[2]) {
    const bool row = PlausibleSpacing(spacingMm[0]);
    const bool column = PlausibleSpacing(spacingMm[1]);
    if (!row && !column) return 0.0;
    const double mm =
        row && column ? (spacingMm[0] + spacingMm[1]) / 2.0 : (row ? spacingMm[0] : spacingMm[1]);
    return kMmPerInch / mm;
}

CImageResolution ResolutionFromSources(const std::string& path,
                                       const double imagerPixelSpacingMm[2],
                                       const double pixelSpacingMm[2]) {
    // A negative fallback tells "the case file gave nothing" from any real value.
    const float ics = ReadCaseResolution(path, -1.0f);
    if (ics > 0.0f) return {ics, EResolutionSource::Ics};
    // The imager spacing is measured at the detector, which is what a
    // mammogram's film-size measurements refer to; Pixel Spacing may be
    // calibrated to another plane and is only the fallback.
    for (const double* spacing : {imagerPixelSpacingMm, pixelSpacingMm}) {
        if (!spacing) continue;
        const double dpi = DpiFromSpacing(spacing);
        if (dpi > 0.0) return {static_cast<float>(dpi), EResolutionSource::Dicom};
    }
    return {};
}

CImageResolution ImageResolution(const std::string& path, const CMImage& image) {
    return ResolutionFromSources(path, image.dicomAttributes.imagerPixelSpacing,
                                 image.dicomAttributes.pixelSpacing);
}

double DpiFromMicrometresText(const std::string& text) {
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t') ++begin;
    char* end = nullptr;
    errno = 0;
    const double microns = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(microns) || microns <= 0.0) return 0.0;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return 0.0;
    const double dpi = kMicronsPerInch / microns;
    // The document keeps a float.
    if (!std::isfinite(dpi) || dpi > std::numeric_limits<float>::max()) return 0.0;
    return dpi;
}

}  // namespace vistrel
