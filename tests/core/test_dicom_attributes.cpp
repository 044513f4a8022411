// The DICOM attributes an image keeps for the rest of the workstation
// (photometric interpretation, imager pixel spacing, pixel spacing): read
// from the top-level data set, copied with the image, empty for other files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/dicom_load.h"
#include "core/dicom_log.h"
#include "core/image.h"
#include "support/dicom_test_writer.h"
#include "support/scratch_dir.h"

using namespace vistrel;
using dicomtest::DicomWriter;
using dicomtest::Syntax;
namespace fs = std::filesystem;

namespace {

class DicomAttributesTest : public ::testing::Test {
  protected:
    void SetUp() override { SetDicomLogLevel(DicomLogLevel::Critical); }
    void TearDown() override { SetDicomLogLevel(DicomLogLevel::Notice); }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        return scratch_.Write(name, bytes);
    }
    testsupport::CScratchDir scratch_{"vistrel_dicom_attributes"};
    fs::path folder_ = scratch_.path();
};

TEST_F(DicomAttributesTest, TopLevelAttributesAreTakenAndNestedOnesIgnored) {
    DicomWriter w(Syntax{true, false});
    w.Preamble("1.2.840.10008.1.2.1");
    w.Text(0x0018, 0x1164, "DS", "0.07\\0.085");
    // An icon image in a sequence has its own spacing and photometric
    // interpretation; they describe the icon, not the image.
    DicomWriter icon(Syntax{true, false});
    icon.Text(0x0028, 0x0004, "CS", "MONOCHROME2");
    icon.Text(0x0028, 0x0030, "DS", "9\\9");
    w.Header(0x0088, 0x0200, "SQ", 0xFFFFFFFF).Item(static_cast<uint32_t>(icon.bytes.size()));
    w.Raw(icon.bytes).SequenceDelimiter();
    w.Text(0x0028, 0x0030, "DS", "0.1\\0.2");
    w.Image(1, 2, 16, 12, 11, 0, "MONOCHROME1").Pixels16({100, 4000});
    const std::string path = Write("spacing.dcm", w.bytes);

    CMImage image;
    std::string description;
    ASSERT_EQ(image.Open(path, description), 1);
    EXPECT_EQ(image.dicomAttributes.photometric, "MONOCHROME1");
    EXPECT_DOUBLE_EQ(image.dicomAttributes.imagerPixelSpacing[0], 0.07);
    EXPECT_DOUBLE_EQ(image.dicomAttributes.imagerPixelSpacing[1], 0.085);
    EXPECT_DOUBLE_EQ(image.dicomAttributes.pixelSpacing[0], 0.1);
    EXPECT_DOUBLE_EQ(image.dicomAttributes.pixelSpacing[1], 0.2);
}

TEST_F(DicomAttributesTest, MissingOrUnreadableSpacingsStayZero) {
    const struct {
        const char* name;
        const char* value;  // nullptr: no element at all
        double row, column;
    } cases[] = {
        {"absent", nullptr, 0, 0},
        {"one value for both", "0.2", 0.2, 0},
        {"not a number", "abc\\def", 0, 0},
        {"negative", "-1\\0.3", 0, 0.3},
        {"empty", "", 0, 0},
    };
    for (const auto& c : cases) {
        DicomWriter w(Syntax{false, false});
        w.Preamble("1.2.840.10008.1.2");
        if (c.value) w.Text(0x0018, 0x1164, "DS", c.value);
        w.Image(1, 1, 8, 8, 7).Pixels8({9, 0});
        CMImage image;
        ASSERT_EQ(LoadDicom(image, Write("case.dcm", w.bytes)), 1) << c.name;
        EXPECT_DOUBLE_EQ(image.dicomAttributes.imagerPixelSpacing[0], c.row) << c.name;
        EXPECT_DOUBLE_EQ(image.dicomAttributes.imagerPixelSpacing[1], c.column) << c.name;
        EXPECT_EQ(image.dicomAttributes.pixelSpacing[0], 0.0) << c.name;
    }
}

TEST_F(DicomAttributesTest, CopiesKeepThemAndEmptyingOrOtherFilesClearThem) {
    CMImage image(2, 2, 8);
    image.Clear();
    image.dicomAttributes.photometric = "MONOCHROME1";
    image.dicomAttributes.imagerPixelSpacing[0] = 0.05;
    image.dicomAttributes.pixelSpacing[1] = 0.07;

    const CMImage copied(image);
    CMImage assigned;
    assigned = image;
    for (const CMImage* other : {&copied, static_cast<const CMImage*>(&assigned)}) {
        EXPECT_EQ(other->dicomAttributes.photometric, "MONOCHROME1");
        EXPECT_EQ(other->dicomAttributes.imagerPixelSpacing[0], 0.05);
        EXPECT_EQ(other->dicomAttributes.pixelSpacing[1], 0.07);
    }
    CMImage swapped;
    swapped.Swap(assigned);
    EXPECT_EQ(swapped.dicomAttributes.photometric, "MONOCHROME1");
    EXPECT_TRUE(assigned.dicomAttributes.photometric.empty());

    // Opening another (non-DICOM) file into the same image forgets them.
    const std::string pgm = (folder_ / "plain.pgm").string();
    ASSERT_EQ(image.Save(false, pgm), 1);
    std::string description;
    ASSERT_EQ(image.Open(pgm, description), 1);
    EXPECT_TRUE(image.dicomAttributes.photometric.empty());
    EXPECT_EQ(image.dicomAttributes.imagerPixelSpacing[0], 0.0);
    EXPECT_EQ(image.dicomAttributes.pixelSpacing[1], 0.0);
}

TEST_F(DicomAttributesTest, SharedMammogramsGiveTheirSpacingAndPolarity) {
#ifndef VISTREL_SHARED_DATA
    GTEST_SKIP() << "no shared data";
#else
    const fs::path folder = fs::path(VISTREL_SHARED_DATA) / "dicom";
    if (!fs::is_directory(folder)) GTEST_SKIP() << folder << " is absent";
    const struct {
        const char* name;
        const char* photometric;
        double imager;
        double pixel;
    } cases[] = {
        {"MG_Explicit_Little.dcm", "MONOCHROME2", 0.5, 0.25},
        // Its icon sequence says MONOCHROME2; the image is MONOCHROME1.
        {"MG-Im-GE-SenDS-scaled.dcm", "MONOCHROME1", 0.094090909, -1},
    };
    for (const auto& c : cases) {
        CMImage image;
        std::string description;
        ASSERT_EQ(image.Open((folder / c.name).string(), description), 1) << c.name;
        EXPECT_EQ(image.dicomAttributes.photometric, c.photometric) << c.name;
        EXPECT_DOUBLE_EQ(image.dicomAttributes.imagerPixelSpacing[0], c.imager) << c.name;
        EXPECT_DOUBLE_EQ(image.dicomAttributes.imagerPixelSpacing[1], c.imager) << c.name;
        if (c.pixel >= 0) {
            EXPECT_DOUBLE_EQ(image.dicomAttributes.pixelSpacing[0], c.pixel) << c.name;
        }
    }
#endif
}

}  // namespace
