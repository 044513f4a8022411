#include "workspace/image_resolution.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <limits>

namespace vistrel {
namespace {

TEST(DpiFromSpacing, MillimetresBecomePixelsPerInch) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double row, column;
        double dpi;
    } cases[] = {
        {0.5, 0.5, 50.8},                             // 25.4 / 0.5
        {0.1, 0.1, 254.0},     {0.05, 0.07, 423.33},  // differing spacings: their mean, 0.06 mm
        {0.1, 0.0, 254.0},                            // one usable value serves
        {0.0, 0.2, 127.0},     {0.0, 0.0, 0.0},       // absent
        {-0.1, -0.1, 0.0},                            // damaged
        {nan, nan, 0.0},       {1e-12, 1e-12, 0.0},   // a pixel of a femtometre is a damaged header
        {5000.0, 5000.0, 0.0},
    };
    for (const Case& c : cases) {
        const double spacing[2] = {c.row, c.column};
        EXPECT_NEAR(DpiFromSpacing(spacing), c.dpi, 0.01) << c.row << " \\ " << c.column;
    }
}

class ResolutionSourceTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    std::string Path(const std::string& name) const {
        return (dir.path() + "/").toStdString() + name;
    }
    QTemporaryDir dir;
};

TEST_F(ResolutionSourceTest, CaseFileThenImagerSpacingThenPixelSpacingThenDefault) {
    const double none[2] = {0, 0};
    const double imager[2] = {0.1, 0.1};  // 254 dpi
    const double pixel[2] = {0.2, 0.2};   // 127 dpi
    const std::string withCase = Path("A_1_1.LEFT_CC.dcm");
    std::ofstream(Path("A-1-1.ics"))
        << "LEFT_CC LINES 10 PIXELS_PER_LINE 10 BITS 12 RESOLUTION 50\n";
    const std::string plain = Path("scan.dcm");
    struct Case {
        const std::string& path;
        const double* imager;
        const double* pixel;
        float dpi;
        EResolutionSource source;
    } cases[] = {
        {withCase, imager, pixel, 508.0f, EResolutionSource::Ics},  // the case file wins
        {plain, imager, pixel, 254.0f, EResolutionSource::Dicom},
        {plain, none, pixel, 127.0f, EResolutionSource::Dicom},
        {plain, nullptr, pixel, 127.0f, EResolutionSource::Dicom},
        {plain, none, none, kDefaultResolution, EResolutionSource::Default},
        {plain, nullptr, nullptr, kDefaultResolution, EResolutionSource::Default},
    };
    int n = 0;
    for (const Case& c : cases) {
        const CImageResolution found = ResolutionFromSources(c.path, c.imager, c.pixel);
        EXPECT_NEAR(found.dpi, c.dpi, 0.01) << "case " << n;
        EXPECT_EQ(found.source, c.source) << "case " << n;
        ++n;
    }
}

TEST_F(ResolutionSourceTest, CaseFileWithoutAUsableLineFallsThrough) {
    std::ofstream(Path("A-1-1.ics")) << "LEFT_CC RESOLUTION 0\nRIGHT_CC RESOLUTION 50\n";
    const double imager[2] = {0.5, 0.5};
    const CImageResolution found =
        ResolutionFromSources(Path("A_1_1.LEFT_CC.dcm"), imager, nullptr);
    EXPECT_EQ(found.source, EResolutionSource::Dicom);
    EXPECT_NEAR(found.dpi, 50.8, 0.01);
}

TEST(ResolutionSourceName, NamesEverySource) {
    EXPECT_STREQ(ResolutionSourceName(EResolutionSource::Default), "default");
    EXPECT_STREQ(ResolutionSourceName(EResolutionSource::Ics), "ics");
    EXPECT_STREQ(ResolutionSourceName(EResolutionSource::Dicom), "dicom");
    EXPECT_STREQ(ResolutionSourceName(EResolutionSource::User), "user");
}

TEST(DpiFromMicrometresText, AcceptsOnlyAPositivePixelSize) {
    struct Case {
        const char* text;
        double dpi;
    } cases[] =
        {
            {"200", 127.0}, {" 43.5 ", 583.908}, {"50", 508.0},  {"0", 0.0},
            {"-200", 0.0},  {"", 0.0},           {"abc", 0.0},   {"200 µm", 0.0},
            {"nan", 0.0},   {"inf", 0.0},        {"1e-40", 0.0},  // a resolution no float holds
        };
    for (const Case& c : cases)
        EXPECT_NEAR(DpiFromMicrometresText(c.text), c.dpi, 0.01) << '"' << c.text << '"';
}

}  // namespace
}  // namespace vistrel
