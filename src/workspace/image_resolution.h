#pragma once
// Where an image's pixel size comes from. The workstation and vistrel-cli
// both ask ImageResolution, so a length measured in a window and one printed
// by a script agree.

#include <string>

namespace vistrel {

class CMImage;

// Scanning resolution used when nothing says better (43.5 µm pixels).
inline constexpr float kDefaultResolution = 583.92f;

// Default: nothing measured it; Ics: the case information file; Dicom: the
// image's header; User: typed by the user.
enum class EResolutionSource { Default, Ics, Dicom, User };

struct CImageResolution {
    float dpi = kDefaultResolution;  // pixels per inch
    EResolutionSource source = EResolutionSource::Default;
};

// "default", "ics", "dicom" or "user".
const char* ResolutionSourceName(EResolutionSource source);

// Pixels per inch of a DICOM pixel spacing pair (row spacing, column
// spacing, mm): 25.4 / mm. Where the two differ their mean is used, so a
// ruler in any direction is off by at most half the difference; one usable
// value alone serves. 0 when neither is a positive, plausible spacing.
double DpiFromSpacing(const double spacingMm[2]);

// The resolution of the image read from path: the case information file's
// when it gives one, else the DICOM header's Imager Pixel Spacing (0018,1164),
// else its Pixel Spacing (0028,0030), else the default.
CImageResolution ResolutionFromSources(const std::string& path,
                                       const double imagerPixelSpacingMm[2],
                                       const double pixelSpacingMm[2]);
CImageResolution ImageResolution(const std::string& path, const CMImage& image);

// Pixels per inch for a pixel size typed in micrometres: 25400 / µm; 0 when
// the text is not a positive number or gives no usable resolution.
double DpiFromMicrometresText(const std::string& text);

}  // namespace vistrel
