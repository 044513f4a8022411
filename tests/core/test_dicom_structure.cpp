// The structure check a file passes before any DICOM engine sees it: every
// element and item within the file, sequence depth within the reader's
// limit, a readable meta group, and uncompressed pixel data as long as the
// image they describe. Also what the built-in path makes of a short file.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/dicom_load.h"
#include "core/dicom_log.h"
#include "core/dicom_reader.h"
#include "core/image.h"
#include "support/dicom_test_writer.h"
#include "support/scratch_dir.h"

using namespace vistrel;
using dicomtest::DicomWriter;
using dicomtest::Syntax;
namespace fs = std::filesystem;

namespace {

const char* DefectName(DicomDefect defect) {
    switch (defect) {
        case DicomDefect::None:
            return "None";
        case DicomDefect::NotDicom:
            return "NotDicom";
        case DicomDefect::Truncated:
            return "Truncated";
        case DicomDefect::PixelDataShort:
            return "PixelDataShort";
        case DicomDefect::DeepSequences:
            return "DeepSequences";
        case DicomDefect::DamagedMeta:
            return "DamagedMeta";
        case DicomDefect::NoImage:
            return "NoImage";
        case DicomDefect::BadElement:
            return "BadElement";
        case DicomDefect::BadImage:
            return "BadImage";
    }
    return "?";
}

DicomStructure Check(const std::vector<uint8_t>& bytes) {
    return CheckDicomStructure(bytes.data(), bytes.size());
}

// A 2 x 3 16-bit image in the given syntax, with `frames` frames stored.
DicomWriter Grey(Syntax syntax = {}, const char* uid = "1.2.840.10008.1.2.1", int frames = 1,
                 const char* declaredFrames = nullptr) {
    DicomWriter w(syntax);
    w.Preamble(uid);
    if (declaredFrames) w.Text(0x0028, 0x0008, "IS", declaredFrames);
    w.Image(2, 3, 16, 12, 11);
    w.Pixels16(std::vector<uint16_t>(std::size_t(6) * frames, 100));
    return w;
}

std::vector<uint8_t> NestedSequences(int depth) {
    DicomWriter w;
    w.Preamble("1.2.840.10008.1.2.1");
    for (int i = 0; i < depth; ++i) {
        w.Header(0x0040, 0x0275, "SQ", 0xFFFFFFFF);
        w.Item(0xFFFFFFFF);
    }
    for (int i = 0; i < depth; ++i) w.ItemDelimiter().SequenceDelimiter();
    w.Image(1, 1, 8, 8, 7).Pixels8({1});
    return w.bytes;
}

TEST(DicomStructure, EachDefectIsFoundAndSoundFilesPass) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        DicomDefect expected;
    };
    std::vector<Case> cases;
    cases.push_back({"explicit little endian", Grey().bytes, DicomDefect::None});
    cases.push_back(
        {"implicit", Grey({false, false}, "1.2.840.10008.1.2").bytes, DicomDefect::None});
    cases.push_back({"explicit big endian", Grey({true, true}, "1.2.840.10008.1.2.2").bytes,
                     DicomDefect::None});
    cases.push_back(
        {"three frames stored", Grey({}, "1.2.840.10008.1.2.1", 3, "3").bytes, DicomDefect::None});
    {
        DicomWriter w = Grey();
        w.Raw({0xFE, 0xFF, 0xFC, 0xFF});  // stray bytes after the pixels
        cases.push_back({"stray bytes after the pixel data", w.bytes, DicomDefect::None});
    }
    {
        // Amira wrote the number of 16-bit samples where the byte count belongs.
        DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.Image(2, 3, 16, 12, 11).Header(0x7FE0, 0x0010, "OW", 6);
        for (int i = 0; i < 6; ++i) w.U16(7);
        cases.push_back({"Amira length", w.bytes, DicomDefect::None});
    }
    cases.push_back({"32 sequences deep", NestedSequences(32), DicomDefect::None});
    cases.push_back({"33 sequences deep", NestedSequences(33), DicomDefect::DeepSequences});
    {
        DicomWriter w = Grey();
        w.bytes.resize(w.bytes.size() - 1);
        cases.push_back({"pixel data one byte short", w.bytes, DicomDefect::PixelDataShort});
    }
    {
        DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.Image(2, 3, 16, 12, 11).Pixels16({1, 2, 3, 4, 5});  // the length says so too
        cases.push_back({"declared pixel data too short", w.bytes, DicomDefect::PixelDataShort});
    }
    cases.push_back({"frames missing", Grey({}, "1.2.840.10008.1.2.1", 2, "3").bytes,
                     DicomDefect::PixelDataShort});
    {
        DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.Header(0x0008, 0x0020, "DA", 200).Raw({'2', '0'});
        cases.push_back({"element past the end", w.bytes, DicomDefect::Truncated});
    }
    {
        DicomWriter w = Grey();
        std::vector<uint8_t> cut(w.bytes.begin(), w.bytes.begin() + 132 + 12 + 5);
        cases.push_back({"cut inside the meta group", cut, DicomDefect::Truncated});
    }
    {
        DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.Header(0x0040, 0x0275, "SQ", 0xFFFFFFFF).Item(0xFFFFFFFF);
        w.Text(0x0008, 0x0060, "CS", "MG");
        cases.push_back({"sequence never closed", w.bytes, DicomDefect::Truncated});
    }
    {
        DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.5");
        w.Image(2, 2, 8, 8, 7);
        w.Header(0x7FE0, 0x0010, "OB", 0xFFFFFFFF).Item(0).Item(1000).Raw({1, 2, 3, 4});
        cases.push_back({"fragment past the end", w.bytes, DicomDefect::Truncated});
    }
    {
        DicomWriter w = Grey();
        w.bytes[132 + 4] = 'Q';  // the VR of the meta group length
        cases.push_back({"meta VR damaged", w.bytes, DicomDefect::DamagedMeta});
    }
    {
        DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.Text(0x0008, 0x0060, "C\x01", "SR");
        w.Image(2, 3, 16, 12, 11).Pixels16(std::vector<uint16_t>(6, 1));
        cases.push_back({"data-set VR damaged", w.bytes, DicomDefect::BadElement});
    }
    {
        DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.Image(1, 1, 8, 8, 7, 0, "RGB", 7).Pixels8(std::vector<uint8_t>(7, 1));
        cases.push_back({"seven samples per pixel", w.bytes, DicomDefect::BadImage});
    }
    {
        DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.Text(0x0008, 0x0060, "CS", "SR");
        cases.push_back({"no pixel data", w.bytes, DicomDefect::NoImage});
    }
    cases.push_back({"too short", std::vector<uint8_t>(100, 0), DicomDefect::NotDicom});
    cases.push_back({"text", std::vector<uint8_t>(400, 'x'), DicomDefect::NotDicom});

    for (const Case& c : cases) {
        const DicomStructure s = Check(c.bytes);
        EXPECT_STREQ(DefectName(s.defect), DefectName(c.expected)) << c.name;
        EXPECT_EQ(DescribeDicomDefect(s.defect).empty(), c.expected == DicomDefect::None) << c.name;
    }
}

TEST(DicomStructure, CompressedPixelDataAreWalkedButNotMeasured) {
    DicomWriter rle;
    rle.Preamble("1.2.840.10008.1.2.5");
    rle.Image(64, 64, 16, 12, 11).Encapsulated({{1, 2, 3, 4}});
    DicomStructure s = Check(rle.bytes);
    EXPECT_STREQ(DefectName(s.defect), "None");
    EXPECT_TRUE(s.encapsulated);
    EXPECT_EQ(s.rows, 64u);
    EXPECT_EQ(s.transferSyntax, "1.2.840.10008.1.2.5");

    // A deflated data set cannot be walked: only the meta group is checked.
    DicomWriter deflated;
    deflated.Preamble("1.2.840.10008.1.2.1.99");
    deflated.Raw({0x78, 0x9C, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0x00, 0x10, 0x20, 0x30});
    s = Check(deflated.bytes);
    EXPECT_STREQ(DefectName(s.defect), "None");
    EXPECT_TRUE(s.deflated);
}

class DicomShortFileTest : public ::testing::Test {
  protected:
    void SetUp() override { SetDicomLogLevel(DicomLogLevel::Critical); }
    void TearDown() override { SetDicomLogLevel(DicomLogLevel::Notice); }
    const std::string& Write(const std::vector<uint8_t>& bytes) {
        scratch_.Write("short.dcm", bytes);
        return path_;
    }
    testsupport::CScratchDir scratch_{"vistrel_dicom_short"};
    std::string path_ = scratch_.Path("short.dcm");
};

// The built-in reader shows the first frame; it used to open a file whose
// later frames were missing as if nothing were wrong.
TEST_F(DicomShortFileTest, TheBuiltInPathRefusesShortPixelDataWithTheReason) {
    const std::string reason = "The file is truncated: its pixel data end before the image does.";
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    DicomWriter cut = Grey();
    cut.bytes.resize(cut.bytes.size() - 3);
    const Case cases[] = {
        {"frames missing", Grey({}, "1.2.840.10008.1.2.1", 2, "3").bytes},
        {"cut inside the first frame", cut.bytes},
    };
    for (const Case& c : cases) {
        CMImage image(2, 2, 8);
        std::string description;
        EXPECT_EQ(image.Open(Write(c.bytes), description), 0) << c.name;
        EXPECT_EQ(image.data, nullptr) << c.name;
        EXPECT_EQ(LastOpenFailure(), reason) << c.name;
    }
    // All frames there: the first one opens.
    CMImage image;
    std::string description;
    ASSERT_EQ(image.Open(Write(Grey({}, "1.2.840.10008.1.2.1", 3, "3").bytes), description), 1);
    EXPECT_EQ(image.width, 3);
    EXPECT_TRUE(LastOpenFailure().empty());
}

TEST_F(DicomShortFileTest, BuiltInFailuresNameTheirReason) {
    DicomWriter jpeg;
    jpeg.Preamble("1.2.840.10008.1.2.4.50");
    jpeg.Image(2, 2, 8, 8, 7).Encapsulated({{0xFF, 0xD8, 0xFF, 0xD9}});
    DicomWriter hsv;
    hsv.Preamble("1.2.840.10008.1.2.1");
    hsv.Image(1, 1, 8, 8, 7, 0, "HSV", 3).Pixels8({1, 2, 3});
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string reason;
    } cases[] = {
        {"JPEG without the engine", jpeg.bytes,
         "The file's transfer syntax (1.2.840.10008.1.2.4.50) is not supported without the "
         "DICOM engine."},
        {"HSV", hsv.bytes, "The DICOM file holds no image this program can read."},
        {"not DICOM", std::vector<uint8_t>(300, 'x'), "The file is not a DICOM file."},
    };
    for (const auto& c : cases) {
        CMImage image;
        std::string description;
        EXPECT_EQ(image.Open(Write(c.bytes), description), 0) << c.name;
        EXPECT_EQ(LastOpenFailure(), c.reason) << c.name;
    }
    CMImage image;
    std::string description;
    EXPECT_EQ(image.Open(path_ + ".missing.dcm", description), 0);
    EXPECT_EQ(LastOpenFailure(), "The file was not found.");
}

}  // namespace
