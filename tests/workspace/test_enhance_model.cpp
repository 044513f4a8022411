#include "workspace/enhance_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {
namespace {

class EnhanceModelTest : public ::testing::Test {
  protected:
    CVistrelApp app;
    CVistrelDoc first{app, 1};
    CVistrelDoc second{app, 2};
    CEnhanceModel model;
};

TEST_F(EnhanceModelTest, TextsShowSignsAndTwoDecimals) {
    struct Case {
        int brightness, contrast, gamma;
        const char *brightnessText, *contrastText, *gammaText;
    };
    const std::vector<Case> cases = {
        {0, 0, 100, "0", "0", "1.00"},
        {20, -5, 150, "+20", "-5", "1.50"},
        {-127, 127, 1, "-127", "+127", "0.01"},
        {500, -500, 9999, "+127", "-127", "6.99"},  // clamped into the slider ranges
        {3, 3, 0, "+3", "+3", "0.01"},
    };
    for (const Case& c : cases) {
        model.SetBrightness(c.brightness);
        model.SetContrast(c.contrast);
        model.SetGammaSlider(c.gamma);
        EXPECT_EQ(model.BrightnessText(), c.brightnessText) << c.brightness;
        EXPECT_EQ(model.ContrastText(), c.contrastText) << c.contrast;
        EXPECT_EQ(model.GammaText(), c.gammaText) << c.gamma;
    }
}

TEST_F(EnhanceModelTest, TypedTextsAreParsedAndClampedOrRefused) {
    EXPECT_TRUE(model.SetBrightnessText("+20"));
    EXPECT_EQ(model.Brightness(), 20);
    EXPECT_TRUE(model.SetContrastText(" -300"));
    EXPECT_EQ(model.Contrast(), -127);
    EXPECT_TRUE(model.SetGammaText("2.5"));
    EXPECT_EQ(model.GammaSlider(), 250);
    EXPECT_TRUE(model.SetGammaText("0"));
    EXPECT_EQ(model.GammaSlider(), 1);
    for (const char* bad : {"", "abc", "12x", "nan", "inf", "+"}) {
        EXPECT_FALSE(model.SetBrightnessText(bad)) << bad;
        EXPECT_FALSE(model.SetGammaText(bad)) << bad;
    }
    EXPECT_EQ(model.Brightness(), 20);
    EXPECT_EQ(model.GammaSlider(), 1);
}

TEST_F(EnhanceModelTest, AppliesToTheDisplayOnlyAndDefaultsRestore) {
    first.image.Create(2, 1, 8, 1);
    first.image.SetPixel(0, 0, 77);
    std::vector<int> updates;
    QObject::connect(&first, &CVistrelDoc::updated, [&](int code) { updates.push_back(code); });

    model.Load(&first);
    EXPECT_EQ(model.GammaText(), "1.00");
    model.SetBrightness(30);
    model.SetContrast(-10);
    model.SetGammaSlider(200);
    model.Apply(&first, true);
    EXPECT_EQ(first.brightness, 30);
    EXPECT_EQ(first.contrast, -10);
    EXPECT_FLOAT_EQ(first.gamma, 2.0f);
    EXPECT_EQ(first.image.GetPixel(0, 0), 77);
    EXPECT_EQ(updates, (std::vector<int>{kUpdateDisplay}));

    model.SetDefaults();
    EXPECT_EQ(model.BrightnessText(), "0");
    EXPECT_EQ(model.ContrastText(), "0");
    EXPECT_EQ(model.GammaText(), "1.00");
    model.Apply(&first, false);
    EXPECT_EQ(first.brightness, 0);
    EXPECT_EQ(updates.size(), 1u);
}

TEST_F(EnhanceModelTest, SwitchingDocumentsAppliesToTheOneLeft) {
    second.SetDisplayEnhancement(-40, 15, 0.5f, false);
    model.Load(&first);
    model.SetBrightness(12);
    model.SwitchTo(&first, &second);
    // The values edited for the first document stay with it ...
    EXPECT_EQ(first.brightness, 12);
    // ... and the window now shows the second one's.
    EXPECT_EQ(model.Brightness(), 15);
    EXPECT_EQ(model.Contrast(), -40);
    EXPECT_EQ(model.GammaText(), "0.50");
    EXPECT_EQ(second.brightness, 15);

    model.SwitchTo(&second, nullptr);
    EXPECT_EQ(model.BrightnessText(), "0");
    EXPECT_EQ(model.GammaText(), "1.00");
}

}  // namespace
}  // namespace vistrel
