#pragma once
// Model of the "Brightness / Contrast" window: display-only brightness,
// contrast and gamma of the active document, with the slider ranges, the
// texts of the edit fields and the switch between documents.

#include <cstdint>
#include <string>

namespace vistrel {

class CVistrelDoc;

class CEnhanceModel {
  public:
    static constexpr int kBrightnessMin = -127;
    static constexpr int kBrightnessMax = 127;
    static constexpr int kContrastMin = -127;
    static constexpr int kContrastMax = 127;
    // The gamma slider holds gamma * 100.
    static constexpr int kGammaSliderMin = 1;
    static constexpr int kGammaSliderMax = 699;

    // Takes the values of a document (no document: the defaults).
    void Load(const CVistrelDoc* doc);
    // Another document became active: the current values go to the document
    // being left, then the new one's values are loaded.
    void SwitchTo(CVistrelDoc* leaving, const CVistrelDoc* next);
    // Hands the values to the document's display settings; the samples are
    // never changed. repaint redraws its views ("&Preview" and slider moves).
    void Apply(CVistrelDoc* doc, bool repaint) const;
    // "Default values": 0, 0, 1.00.
    void SetDefaults();

    // Sliders; values are clamped into their ranges.
    void SetBrightness(int value);
    void SetContrast(int value);
    void SetGammaSlider(int value);
    int Brightness() const { return brightness_; }
    int Contrast() const { return contrast_; }
    int GammaSlider() const { return gammaSlider_; }
    float Gamma() const { return static_cast<float>(gammaSlider_) / 100.0f; }

    // Edit fields: brightness and contrast with a leading "+" when positive,
    // gamma as "%.2f".
    std::string BrightnessText() const;
    std::string ContrastText() const;
    std::string GammaText() const;
    // Typed text; false (value unchanged) when it is not a number.
    bool SetBrightnessText(const std::string& text);
    bool SetContrastText(const std::string& text);
    bool SetGammaText(const std::string& text);

  private:
    int brightness_ = 0;
    int contrast_ = 0;
    int gammaSlider_ = 100;
};

}  // namespace vistrel
