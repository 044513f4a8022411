#include "workspace/enhance_model.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

std::string SignedText(int value) {
    return value > 0 ? "+" + std::to_string(value) : std::to_string(value);
}

// The whole text as a finite number (surrounding blanks allowed).
bool ParseNumber(const std::string& text, double& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(parsed)) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return false;
    value = parsed;
    return true;
}

int GammaToSlider(double gamma) {
    if (!std::isfinite(gamma)) return 100;
    return static_cast<int>(std::clamp(std::lround(gamma * 100.0),
                                       long{CEnhanceModel::kGammaSliderMin},
                                       long{CEnhanceModel::kGammaSliderMax}));
}

int ClampedRound(double value, int lo, int hi) {
    return static_cast<int>(
        std::clamp(std::lround(std::clamp(value, -1e6, 1e6)), long{lo}, long{hi}));
}

}  // namespace

void CEnhanceModel::Load(const CVistrelDoc* doc) {
    if (!doc) {
        SetDefaults();
        return;
    }
    SetBrightness(doc->brightness);
    SetContrast(doc->contrast);
    gammaSlider_ = GammaToSlider(doc->gamma);
}

void CEnhanceModel::SwitchTo(CVistrelDoc* leaving, const CVistrelDoc* next) {
    if (leaving && leaving != next) Apply(leaving, true);
    Load(next);
}

void CEnhanceModel::Apply(CVistrelDoc* doc, bool repaint) const {
    if (doc) doc->SetDisplayEnhancement(contrast_, brightness_, Gamma(), repaint);
}

void CEnhanceModel::SetDefaults() {
    brightness_ = 0;
    contrast_ = 0;
    gammaSlider_ = 100;
}

void CEnhanceModel::SetBrightness(int value) {
    brightness_ = std::clamp(value, kBrightnessMin, kBrightnessMax);
}

void CEnhanceModel::SetContrast(int value) {
    contrast_ = std::clamp(value, kContrastMin, kContrastMax);
}

void CEnhanceModel::SetGammaSlider(int value) {
    gammaSlider_ = std::clamp(value, kGammaSliderMin, kGammaSliderMax);
}

std::string CEnhanceModel::BrightnessText() const {
    return SignedText(brightness_);
}

std::string CEnhanceModel::ContrastText() const {
    return SignedText(contrast_);
}

std::string CEnhanceModel::GammaText() const {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", Gamma());
    return text;
}

bool CEnhanceModel::SetBrightnessText(const std::string& text) {
    double value = 0;
    if (!ParseNumber(text, value)) return false;
    brightness_ = ClampedRound(value, kBrightnessMin, kBrightnessMax);
    return true;
}

bool CEnhanceModel::SetContrastText(const std::string& text) {
    double value = 0;
    if (!ParseNumber(text, value)) return false;
    contrast_ = ClampedRound(value, kContrastMin, kContrastMax);
    return true;
}

bool CEnhanceModel::SetGammaText(const std::string& text) {
    double value = 0;
    if (!ParseNumber(text, value)) return false;
    gammaSlider_ = ClampedRound(value * 100.0, kGammaSliderMin, kGammaSliderMax);
    return true;
}

}  // namespace vistrel
