// The generated data dictionary: exact tags, repeating groups and elements,
// and what no row names.

#include "core/dicom_dictionary.h"

#include <gtest/gtest.h>

#include <string>

using namespace vistrel;

namespace {

std::string Vr(uint16_t code) {
    return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

TEST(DicomDictionary, LooksUpTheStandardsRows) {
    struct Case {
        uint16_t group, element;
        const char* vr;
        const char* keyword;
    } cases[] = {
        {0x0000, 0x0000, "UL", "CommandGroupLength"},
        {0x0000, 0x0002, "UI", "AffectedSOPClassUID"},
        {0x0002, 0x0010, "UI", "TransferSyntaxUID"},
        {0x0008, 0x1140, "SQ", "ReferencedImageSequence"},
        {0x0028, 0x0010, "US", "Rows"},
        {0x0028, 0x0008, "IS", "NumberOfFrames"},
        // "US or SS" takes the first choice; pixel data "OB or OW" takes OW.
        {0x0028, 0x1101, "US", "RedPaletteColorLookupTableDescriptor"},
        {0x7FE0, 0x0010, "OW", "PixelData"},
        {0xFFFE, 0xE000, "UN", "Item"},
        // Repeating groups: even groups of 50xx, 60xx, 7Fxx only.
        {0x6002, 0x3000, "OW", "OverlayData"},
        {0x60FE, 0x0010, "US", "OverlayRows"},
        {0x5010, 0x0005, "US", "CurveDimensions"},
        {0x7F22, 0x0010, "OW", "VariablePixelData"},
        // Repeating elements.
        {0x0028, 0x0450, "US", "RowsForNthOrderCoefficients"},
        {0x1000, 0x0123, "US", "HuffmanTableTriplet"},
        // No row: group length, private creator, unknown.
        {0x0009, 0x0000, "UL", "GenericGroupLength"},
        {0x0009, 0x0010, "LO", "PrivateCreator"},
        {0x0009, 0x1010, "UN", "Unknown"},
        {0x6001, 0x3000, "UN", "Unknown"},
        {0x0028, 0xFFFF, "UN", "Unknown"},
    };
    for (const Case& c : cases) {
        const DicomDictionaryEntry& entry = LookupDicomTag(c.group, c.element);
        EXPECT_EQ(Vr(entry.vr), c.vr) << std::hex << c.group << "," << c.element;
        EXPECT_STREQ(entry.keyword, c.keyword) << std::hex << c.group << "," << c.element;
    }
    EXPECT_GT(DicomDictionarySize(), 4000u);
}

}  // namespace
