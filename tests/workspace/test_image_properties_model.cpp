#include "workspace/image_properties_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {
namespace {

TEST(ImagePropertiesModel, UnitsComeInTheirFixedOrder) {
    ASSERT_EQ(CImagePropertiesModel::SizeUnitNames().size(), 2u);
    ASSERT_EQ(CImagePropertiesModel::ResolutionUnitNames().size(), 3u);
    EXPECT_NE(CImagePropertiesModel::SizeUnitNames()[0].find("inch"), std::string::npos);
    EXPECT_NE(CImagePropertiesModel::SizeUnitNames()[1].find("cm"), std::string::npos);
    EXPECT_NE(CImagePropertiesModel::ResolutionUnitNames()[0].find("inch"), std::string::npos);
    EXPECT_NE(CImagePropertiesModel::ResolutionUnitNames()[1].find("cm"), std::string::npos);
    EXPECT_NE(CImagePropertiesModel::ResolutionUnitNames()[2].find("micron"), std::string::npos);
}

TEST(ImagePropertiesModel, ShowsTheDocumentInEveryUnit) {
    CVistrelApp app;
    CVistrelDoc doc(app, 1);
    doc.image.Create(3328, 4084, 12, 0);
    doc.resolution = 583.92f;  // 43.5 microns per pixel

    CImagePropertiesModel model;
    model.Load(&doc);
    EXPECT_EQ(model.WidthPixelsText(), "3328");
    EXPECT_EQ(model.HeightPixelsText(), "4084");
    EXPECT_EQ(model.BitsText(), "12");
    // Centimetres and microns per pixel at start.
    EXPECT_EQ(model.SizeUnitIndex(), CImagePropertiesModel::kCentimetres);
    EXPECT_EQ(model.ResolutionUnitIndex(), CImagePropertiesModel::kMicronsPerPixel);
    EXPECT_EQ(model.DocumentWidthText(), "14.48");   // 3328 / 583.92 * 2.54
    EXPECT_EQ(model.DocumentHeightText(), "17.77");  // 4084 / 583.92 * 2.54
    EXPECT_EQ(model.ResolutionText(), "43.50");

    model.SetSizeUnit(CImagePropertiesModel::kInches);
    EXPECT_EQ(model.DocumentWidthText(), "5.70");
    EXPECT_EQ(model.DocumentHeightText(), "6.99");
    model.SetResolutionUnit(CImagePropertiesModel::kPixelsPerInch);
    EXPECT_EQ(model.ResolutionText(), "583.92");
    model.SetResolutionUnit(CImagePropertiesModel::kPixelsPerCentimetre);
    EXPECT_EQ(model.ResolutionText(), "229.89");
    model.SetResolutionUnit(7);  // not a choice: unchanged
    EXPECT_EQ(model.ResolutionUnitIndex(), CImagePropertiesModel::kPixelsPerCentimetre);
}

TEST(ImagePropertiesModel, TypedResolutionIsStoredInPixelsPerInch) {
    CVistrelApp app;
    CVistrelDoc doc(app, 1);
    doc.image.Create(100, 50, 8, 0);
    struct Case {
        int unit;
        const char* text;
        float pixelsPerInch;
    };
    const std::vector<Case> cases = {
        {CImagePropertiesModel::kMicronsPerPixel, "50", 508.0f},
        {CImagePropertiesModel::kPixelsPerCentimetre, "100", 254.0f},
        {CImagePropertiesModel::kPixelsPerInch, " 300.5 ", 300.5f},
    };
    for (const Case& c : cases) {
        CImagePropertiesModel model;
        model.Load(&doc);
        model.SetResolutionUnit(c.unit);
        ASSERT_TRUE(model.SetResolutionText(c.text)) << c.text;
        ASSERT_TRUE(model.Store(&doc));
        EXPECT_FLOAT_EQ(doc.resolution, c.pixelsPerInch) << c.text;
    }
    // Unedited, OK keeps the stored value exactly (no round trip through "%.2f").
    doc.resolution = 583.92f;
    CImagePropertiesModel model;
    model.Load(&doc);
    ASSERT_TRUE(model.Store(&doc));
    EXPECT_EQ(doc.resolution, 583.92f);
}

TEST(ImagePropertiesModel, RefusesResolutionsThatAreNotPositiveNumbers) {
    CImagePropertiesModel model;
    model.Set(10, 10, 8, 300);
    for (const char* bad : {"", "0", "-5", "abc", "5 microns", "inf", "nan", "1e-300"}) {
        EXPECT_FALSE(model.SetResolutionText(bad)) << bad;
        EXPECT_DOUBLE_EQ(model.PixelsPerInch(), 300) << bad;
    }
}

TEST(ImagePropertiesModel, SaysWhereThePixelSizeComesFrom) {
    CVistrelApp app;
    CVistrelDoc doc(app, 1);
    doc.image.Create(4, 4, 8, 0);
    CImagePropertiesModel model;
    struct Case {
        EResolutionSource source;
        const char* words;
    } cases[] = {
        {EResolutionSource::Default, "Default pixel size, not measured"},
        {EResolutionSource::Ics, "case information file"},
        {EResolutionSource::Dicom, "DICOM header"},
        {EResolutionSource::User, "given by the user"},
    };
    for (const Case& c : cases) {
        doc.resolutionSource = c.source;
        model.Load(&doc);
        EXPECT_NE(model.SourceText().find(c.words), std::string::npos) << model.SourceText();
    }

    // OK without a change keeps the source; a typed resolution is the user's.
    doc.resolutionSource = EResolutionSource::Dicom;
    model.Load(&doc);
    ASSERT_TRUE(model.Store(&doc));
    EXPECT_EQ(doc.resolutionSource, EResolutionSource::Dicom);
    ASSERT_TRUE(model.SetResolutionText("200"));  // microns per pixel
    ASSERT_TRUE(model.Store(&doc));
    EXPECT_FLOAT_EQ(doc.resolution, 127.0f);
    EXPECT_EQ(doc.resolutionSource, EResolutionSource::User);
    EXPECT_EQ(doc.ResolutionNote(), "");
}

TEST(ImagePropertiesModel, NoDocumentShowsZerosAndStoresNothing) {
    CImagePropertiesModel model;
    model.Load(nullptr);
    EXPECT_EQ(model.WidthPixelsText(), "0");
    EXPECT_EQ(model.DocumentWidthText(), "0.00");
    EXPECT_EQ(model.ResolutionText(), "0.00");
    EXPECT_EQ(model.SourceText(), "");
    EXPECT_FALSE(model.Store(nullptr));
    CVistrelApp app;
    CVistrelDoc doc(app, 1);
    doc.resolution = 123.0f;
    EXPECT_FALSE(model.Store(&doc));  // nothing loaded: no usable resolution
    EXPECT_EQ(doc.resolution, 123.0f);
}

}  // namespace
}  // namespace vistrel
