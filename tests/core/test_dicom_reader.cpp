// The built-in DICOM reader on files built byte by byte: syntaxes and byte
// orders, the meta group, sequences and their repairs, RLE, sample
// conversion, and broken files that must fail cleanly.

#include "core/dicom_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "core/dicom_log.h"
#include "core/dicom_rle.h"
#include "support/dicom_test_writer.h"
#include "support/scratch_dir.h"

using namespace vistrel;
using dicomtest::DicomWriter;
using dicomtest::Syntax;
namespace fs = std::filesystem;

namespace {

const char* kExplicitLE = "1.2.840.10008.1.2.1";
const char* kImplicitLE = "1.2.840.10008.1.2";
const char* kExplicitBE = "1.2.840.10008.1.2.2";
const char* kRle = "1.2.840.10008.1.2.5";

// Every reader test writes the DICOM log to its own file so that the repairs
// and failures it expects can be checked.
class DicomReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        logPath_ = (folder_ / "dicom.log").string();
        ASSERT_TRUE(OpenDicomLog(logPath_));
        SetDicomLogLevel(DicomLogLevel::Notice);
    }
    void TearDown() override {
        CloseDicomLog();
        SetDicomLogLevel(DicomLogLevel::Notice);
    }

    std::string Log() const {
        std::string text;
        ReadWholeFile(logPath_, text);
        return text;
    }

    // Reads bytes; the result code, and the image when there is one.
    int Read(const std::vector<uint8_t>& bytes, DicomImage& image, int parametric = 1) {
        std::vector<DicomImage> images;
        int count = -1;
        const int result =
            dicom_read_memory(bytes.data(), bytes.size(), &images, &count, parametric);
        EXPECT_EQ(count, static_cast<int>(images.size()));
        image = images.empty() ? DicomImage{} : images.front();
        if (result == kDicomOk) {
            EXPECT_EQ(count, 1);
        } else {
            EXPECT_EQ(count, 0);
        }
        return result;
    }

    testsupport::CScratchDir scratch_{"vistrel_dicom_reader"};
    fs::path folder_ = scratch_.path();
    std::string logPath_;
};

const std::vector<uint16_t> kSamples = {0x1234, 0x0001, 0x0FFF, 0x0100, 0x0A0B, 0x0000};

struct SyntaxCase {
    const char* name;
    bool preamble;
    const char* uid;  // with the preamble
    Syntax syntax;    // of the data set
};

class DicomSyntaxTest : public DicomReaderTest, public ::testing::WithParamInterface<SyntaxCase> {};

TEST_P(DicomSyntaxTest, ReadsTheSameSamplesInEverySyntax) {
    const SyntaxCase& c = GetParam();
    DicomWriter w(c.syntax);
    if (c.preamble) w.Preamble(c.uid);
    w.Text(0x0008, 0x0060, "CS", "MG");
    // The reader wants at least the 132 bytes a preamble would take.
    w.Text(0x0008, 0x103E, "LO", std::string(120, 'd'));
    w.Image(2, 3, 16, 16, 15).Pixels16(kSamples);
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk) << c.name << "\n" << Log();
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.frames, 1);
    EXPECT_FALSE(image.colour);
    EXPECT_EQ(image.samples, kSamples) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Syntaxes, DicomSyntaxTest,
    ::testing::Values(SyntaxCase{"ExplicitLittle", true, kExplicitLE, {true, false}},
                      SyntaxCase{"ImplicitLittle", true, kImplicitLE, {false, false}},
                      SyntaxCase{"ExplicitBig", true, kExplicitBE, {true, true}},
                      // Without preamble the first tag tells the syntax.
                      SyntaxCase{"HeadlessImplicitLittle", false, "", {false, false}},
                      SyntaxCase{"HeadlessExplicitLittle", false, "", {true, false}},
                      SyntaxCase{"HeadlessExplicitBig", false, "", {true, true}},
                      SyntaxCase{"HeadlessImplicitBig", false, "", {false, true}}),
    [](const ::testing::TestParamInfo<SyntaxCase>& info) { return info.param.name; });

TEST_F(DicomReaderTest, PreambleWithoutTransferSyntaxGuessesFromTheFirstVr) {
    // The meta group starts with a group length whose VR is UL, so the data
    // set is taken as explicit little endian, and the missing UID is logged.
    DicomWriter w(Syntax{true, false});
    w.Preamble("");
    w.Image(2, 3, 16, 16, 15).Pixels16(kSamples);
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk) << Log();
    EXPECT_EQ(image.samples, kSamples);
    EXPECT_NE(Log().find("warning: dicom_transfer(): No transfer syntax found"), std::string::npos);
}

TEST_F(DicomReaderTest, VendorSyntaxHasImplicitDataAndBigEndianPixels) {
    DicomWriter w(Syntax{false, false});
    w.Preamble("1.2.840.113619.5.2");
    w.Image(2, 3, 16, 16, 15);
    // The pixels alone are big endian.
    DicomWriter pixels(Syntax{false, true});
    pixels.Pixels16(kSamples);
    // Their header is little endian like the rest of the data set.
    std::vector<uint8_t> data(pixels.bytes.begin() + 8, pixels.bytes.end());
    w.Header(0x7FE0, 0x0010, "OW", static_cast<uint32_t>(data.size())).Raw(data);
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk) << Log();
    EXPECT_EQ(image.samples, kSamples);
}

TEST_F(DicomReaderTest, UnknownTransferSyntaxesAreLoggedAndReadAsDeclaredSoFar) {
    for (const char* uid : {"1.2.3.4", "1.2.840.10008.1.2.9"}) {
        DicomWriter w(Syntax{true, false});
        w.Preamble(uid);
        w.Image(2, 3, 16, 16, 15).Pixels16(kSamples);
        DicomImage image;
        EXPECT_EQ(Read(w.bytes, image), kDicomOk) << uid;
        EXPECT_EQ(image.samples, kSamples) << uid;
    }
    const std::string log = Log();
    EXPECT_NE(log.find("warning: dicom_transfer(): Transfer syntax is not DICOM"),
              std::string::npos);
    EXPECT_NE(log.find("warning: dicom_transfer(): Unknown transfer syntax"), std::string::npos);
    EXPECT_NE(log.find("warning: dicom_transfer(): 1.2.840.10008.1.2.9"), std::string::npos);
}

TEST_F(DicomReaderTest, EzDicomFalseBigEndianIsRepairedWithItsHighBit) {
    // Announced big endian, written little endian, high bit 0.
    DicomWriter w(Syntax{true, false});
    w.Preamble(kExplicitBE);
    w.Text(0x0008, 0x0060, "CS", "MR");
    w.Image(2, 3, 16, 12, 0).Pixels16({1, 2, 3, 4095, 5, 6});
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk) << Log();
    EXPECT_EQ(image.samples, (std::vector<uint16_t>{1, 2, 3, 4095, 5, 6}));
    const std::string log = Log();
    EXPECT_NE(log.find("Fix ezDICOM false endian transfer syntax"), std::string::npos);
    EXPECT_NE(log.find("Wrong ezDICOM high bit value (fixed)"), std::string::npos);
}

TEST_F(DicomReaderTest, GeLengthThirteenIsReadAsTenAndOddLengthsAreLogged) {
    DicomWriter w(Syntax{true, false});
    w.Preamble(kExplicitLE);
    // Declares 13 bytes but holds 10.
    w.Header(0x0008, 0x0070, "LO", 13).Raw(std::vector<uint8_t>(10, 'G'));
    w.Header(0x0008, 0x1090, "LO", 3).Raw({'A', 'B', 'C'});
    w.Image(2, 3, 16, 16, 15).Pixels16(kSamples);
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk) << Log();
    EXPECT_EQ(image.samples, kSamples);
    const std::string log = Log();
    EXPECT_NE(log.find("Fix naughty GE tag length"), std::string::npos);
    EXPECT_NE(log.find("Tag with uneven length"), std::string::npos);
}

// ------------------------------------------------------------------ sequences

// A sequence of an icon image (its own rows, columns and pixel data, which
// must not be taken for the image) nested `depth` levels deep.
void WriteNestedSequences(DicomWriter& w, int depth, bool undefinedLengths) {
    if (undefinedLengths) {
        for (int level = 0; level < depth; ++level) {
            w.Header(0x0088, 0x0200, "SQ", 0xFFFFFFFFu).Item(0xFFFFFFFFu);
        }
        w.UsElement(0x0028, 0x0010, 50).UsElement(0x0028, 0x0011, 40);
        w.Pixels8(std::vector<uint8_t>(10, 7));
        for (int level = 0; level < depth; ++level) w.ItemDelimiter().SequenceDelimiter();
        return;
    }
    // Defined lengths, built from the inside out.
    DicomWriter inner(Syntax{true, false});
    inner.UsElement(0x0028, 0x0010, 50).UsElement(0x0028, 0x0011, 40);
    inner.Pixels8(std::vector<uint8_t>(10, 7));
    std::vector<uint8_t> body = inner.bytes;
    for (int level = 0; level < depth; ++level) {
        DicomWriter wrap(Syntax{true, false});
        wrap.Header(0x0088, 0x0200, "SQ", static_cast<uint32_t>(body.size() + 8));
        wrap.Item(static_cast<uint32_t>(body.size())).Raw(body);
        body = wrap.bytes;
    }
    w.Raw(body);
}

TEST_F(DicomReaderTest, NestedSequencesAreWalkedOverWithoutTakingTheirImage) {
    for (const bool undefined : {false, true}) {
        DicomWriter w(Syntax{true, false});
        w.Preamble(kExplicitLE);
        w.Image(2, 3, 16, 16, 15);
        WriteNestedSequences(w, 4, undefined);
        w.Pixels16(kSamples);
        DicomImage image;
        ASSERT_EQ(Read(w.bytes, image), kDicomOk) << "undefined " << undefined << "\n" << Log();
        EXPECT_EQ(image.width, 3);
        EXPECT_EQ(image.height, 2);
        EXPECT_EQ(image.samples, kSamples);
    }
    EXPECT_EQ(Log().find("warning"), std::string::npos) << Log();
}

TEST_F(DicomReaderTest, ImplicitSequencesAndEncapsulatedIconsAreSkipped) {
    // Implicit VR: the dictionary says (0088,0200) is a sequence. The icon's
    // encapsulated pixel data must be skipped fragment by fragment.
    DicomWriter w(Syntax{false, false});
    w.Preamble(kImplicitLE);
    w.Image(2, 3, 16, 16, 15);
    w.Header(0x0088, 0x0200, "SQ", 0xFFFFFFFFu).Item(0xFFFFFFFFu);
    w.UsElement(0x0028, 0x0010, 50);
    w.Header(0x7FE0, 0x0010, "OB", 0xFFFFFFFFu).Item(0).Item(4).Raw({0xFF, 0xD8, 0xFF, 0xD9});
    w.SequenceDelimiter();
    w.ItemDelimiter().SequenceDelimiter();
    w.Pixels16(kSamples);
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk) << Log();
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.samples, kSamples);
}

TEST_F(DicomReaderTest, SequencesNestedPastTheLimitFailCleanly) {
    for (const bool undefined : {false, true}) {
        DicomWriter w(Syntax{true, false});
        w.Preamble(kExplicitLE);
        w.Image(2, 3, 16, 16, 15);
        WriteNestedSequences(w, 40, undefined);
        w.Pixels16(kSamples);
        DicomImage image;
        EXPECT_EQ(Read(w.bytes, image), kDicomNoImages) << "undefined " << undefined;
        EXPECT_TRUE(image.samples.empty());
    }
    EXPECT_NE(Log().find("warning: dicom_sequence(): Deep sequence hierarchy"), std::string::npos);
}

TEST_F(DicomReaderTest, SequenceRepairsAreLoggedAndTheImageStillRead) {
    struct Case {
        const char* name;
        const char* warning;
        void (*write)(DicomWriter&);
    };
    const Case cases[] = {
        {"premature item", "Skip PHILIPS premature item bug", [](DicomWriter& w) { w.Item(0); }},
        {"stray delimiter", "Incorrect sequence delimiter",
         [](DicomWriter& w) { w.SequenceDelimiter(); }},
        {"short sequence length", "Incorrect sequence length",
         [](DicomWriter& w) {
             // Says 4 bytes, but its item alone takes 8 and holds 10 more.
             w.Header(0x0008, 0x1140, "SQ", 4).Item(10).UsElement(0x0008, 0x1150, 1);
         }},
    };
    for (const Case& c : cases) {
        DicomWriter w(Syntax{true, false});
        w.Preamble(kExplicitLE);
        c.write(w);
        w.Image(2, 3, 16, 16, 15).Pixels16(kSamples);
        DicomImage image;
        ASSERT_EQ(Read(w.bytes, image), kDicomOk) << c.name << "\n" << Log();
        EXPECT_EQ(image.samples, kSamples) << c.name;
        EXPECT_NE(Log().find(std::string("warning: dicom_sequence(): ") + c.warning),
                  std::string::npos)
            << c.name;
    }
}

// ------------------------------------------------------------------------ RLE

TEST_F(DicomReaderTest, RleFramesDecodeToTheSameSamples) {
    std::vector<uint16_t> samples(64 * 3);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        // Long runs and literal stretches, so both PackBits forms occur.
        samples[i] = i < 100 ? 0x0400 : static_cast<uint16_t>(i * 37);
    }
    DicomWriter w(Syntax{true, false});
    w.Preamble(kRle);
    w.Image(3, 64, 16, 16, 15);
    // Two frames: the reader returns the first.
    std::vector<uint16_t> second(samples.size(), 9);
    w.Encapsulated({dicomtest::RleFrame(dicomtest::Planes16(samples)),
                    dicomtest::RleFrame(dicomtest::Planes16(second))});
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk) << Log();
    EXPECT_EQ(image.samples, samples);

    // 8-bit samples: one segment.
    std::vector<uint8_t> bytes8(40);
    for (std::size_t i = 0; i < bytes8.size(); ++i)
        bytes8[i] = static_cast<uint8_t>(i < 20 ? 5 : i);
    DicomWriter w8(Syntax{true, false});
    w8.Preamble(kRle);
    w8.Image(4, 10, 8, 8, 7);
    w8.Encapsulated({dicomtest::RleFrame({bytes8})});
    ASSERT_EQ(Read(w8.bytes, image), kDicomOk) << Log();
    EXPECT_EQ(image.samples, std::vector<uint16_t>(bytes8.begin(), bytes8.end()));
}

TEST_F(DicomReaderTest, BrokenRleFramesFailCleanly) {
    const std::vector<uint16_t> samples(12, 0x0203);
    const auto planes = dicomtest::Planes16(samples);
    std::vector<uint8_t> truncated = dicomtest::RleFrame(planes);
    truncated.resize(truncated.size() - 2);
    std::vector<uint8_t> badOffset = dicomtest::RleFrame(planes);
    badOffset[8] = 0xF0;  // second segment beyond the fragment
    std::vector<uint8_t> shortHeader(40, 0);
    shortHeader[0] = 2;
    struct Case {
        const char* name;
        std::vector<uint8_t> fragment;
        const char* message;
    } cases[] = {
        {"five segments", dicomtest::RleFrame(planes, 5),
         "RLE - Maximum of 32 bits images supported"},
        {"one segment for 16 bits", dicomtest::RleFrame(planes, 1), "RLE - Failure numberSegments"},
        {"zero segments", dicomtest::RleFrame(planes, 0), "RLE - Failure numberSegments"},
        {"truncated segment", truncated, "RLE - Failure image read"},
        {"offset outside", badOffset, "RLE - Failure offsets"},
        {"short header", shortHeader, "RLE - Failure header skip"},
    };
    for (const Case& c : cases) {
        DicomWriter w(Syntax{true, false});
        w.Preamble(kRle);
        w.Image(3, 4, 16, 16, 15).Encapsulated({c.fragment});
        DicomImage image;
        EXPECT_EQ(Read(w.bytes, image), kDicomNoImages) << c.name;
        const std::string log = Log();
        EXPECT_NE(log.find(std::string("error: mdc_dicom_decomp_rle(): ") + c.message),
                  std::string::npos)
            << c.name << "\n"
            << log;
        EXPECT_NE(log.find("dicom_single(): Decompression failed"), std::string::npos) << c.name;
    }
}

TEST(DicomRle, ExpandingPlanesNeedEnoughInput) {
    // A 4-byte segment cannot fill a plane of a megabyte: refused before any
    // allocation of that size.
    std::vector<uint8_t> fragment(64 + 4, 0);
    fragment[0] = 1;
    fragment[4] = 64;
    fragment[64] = 0x81;  // repeat 128 times
    fragment[65] = 7;
    fragment[66] = 0x81;
    fragment[67] = 7;
    std::vector<uint8_t> out;
    EXPECT_TRUE(mdc_dicom_decomp_rle(fragment.data(), fragment.size(), 1, 256, out));
    EXPECT_EQ(out, std::vector<uint8_t>(256, 7));
    EXPECT_FALSE(mdc_dicom_decomp_rle(fragment.data(), fragment.size(), 1, 1 << 20, out));
    EXPECT_TRUE(out.empty());
}

// ---------------------------------------------------------- sample conversion

TEST_F(DicomReaderTest, TwelveBitPackedSamplesAreUnpackedPairwise) {
    // Samples 0x123, 0xABC, 0xFFF, 0x001, 0x800 in 12-bit pairs.
    const std::vector<uint8_t> packed = {0x23, 0xC1, 0xAB, 0xFF, 0x1F, 0x00, 0x00, 0x08};
    DicomWriter w(Syntax{true, false});
    w.Preamble(kExplicitLE);
    w.Image(1, 5, 12, 12, 11).Pixels8(packed, "OW");
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk) << Log();
    EXPECT_EQ(image.samples, (std::vector<uint16_t>{0x123, 0xABC, 0xFFF, 0x001, 0x800}));
}

TEST_F(DicomReaderTest, StoredBitsAreTakenBelowTheHighBit) {
    // 12 bits stored with high bit 13: the words hold value << 2 and junk
    // (overlay bits) above and below.
    const std::vector<uint16_t> values = {0, 1, 4095, 2048, 100, 7};
    std::vector<uint16_t> words;
    for (uint16_t v : values) words.push_back(static_cast<uint16_t>(0xC003 | (v << 2)));
    DicomWriter w(Syntax{true, false});
    w.Preamble(kExplicitLE);
    w.Image(2, 3, 16, 12, 13).Pixels16(words);
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk) << Log();
    EXPECT_EQ(image.samples, values);
}

TEST_F(DicomReaderTest, SignedSamplesAreShiftedToStartAtZero) {
    struct Case {
        const char* name;
        uint16_t bitsStored;
        std::vector<int> values;
    } cases[] = {
        {"16 bits", 16, {-1000, 0, 500, -1, 32767, -1000}},
        {"12 bits", 12, {-1000, 0, 500, -1, 2047, -2048}},
    };
    for (const Case& c : cases) {
        std::vector<uint16_t> words;
        for (int v : c.values) {
            // Two's complement in bitsStored bits, junk above them.
            const uint16_t mask = static_cast<uint16_t>((1u << c.bitsStored) - 1);
            words.push_back(static_cast<uint16_t>((v & mask) | (c.bitsStored < 16 ? 0x5000 : 0)));
        }
        int minimum = c.values[0];
        for (int v : c.values) minimum = std::min(minimum, v);
        DicomWriter w(Syntax{true, true});
        w.Preamble(kExplicitBE);
        w.Image(2, 3, 16, c.bitsStored, static_cast<uint16_t>(c.bitsStored - 1), 1).Pixels16(words);
        DicomImage image;
        ASSERT_EQ(Read(w.bytes, image), kDicomOk) << c.name << "\n" << Log();
        std::vector<uint16_t> expected;
        for (int v : c.values) expected.push_back(static_cast<uint16_t>(v - minimum));
        EXPECT_EQ(image.samples, expected) << c.name;

        // Without the parametric flag the two's-complement words stay.
        ASSERT_EQ(Read(w.bytes, image, 0), kDicomOk);
        EXPECT_EQ(static_cast<int16_t>(image.samples[0]), c.values[0]) << c.name;
    }
}

TEST_F(DicomReaderTest, MonochromeOneKeepsItsStoredPolarity) {
    DicomWriter w(Syntax{true, false});
    w.Preamble(kExplicitLE);
    w.Image(2, 3, 16, 16, 15, 0, "MONOCHROME1").Pixels16(kSamples);
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk);
    EXPECT_EQ(image.samples, kSamples);
}

TEST_F(DicomReaderTest, ColourImagesBecomeEightBitTriples) {
    // Planar RGB: all reds, all greens, all blues.
    const std::vector<uint8_t> planar = {10, 20, 30, 40, 50, 60};  // 2 pixels x 3 colours
    DicomWriter w(Syntax{true, false});
    w.Preamble(kExplicitLE);
    w.Image(1, 2, 8, 8, 7, 0, "RGB", 3).UsElement(0x0028, 0x0006, 1).Pixels8(planar);
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk) << Log();
    EXPECT_TRUE(image.colour);
    EXPECT_EQ(image.samples, (std::vector<uint16_t>{10, 30, 50, 20, 40, 60}));

    // Palette: 16-bit entries give their high bytes; indices start at the
    // first mapped value.
    DicomWriter p(Syntax{true, false});
    p.Preamble(kExplicitLE);
    p.Image(1, 2, 8, 8, 7, 0, "PALETTE COLOR");
    for (uint16_t e = 0x1101; e <= 0x1103; ++e) {
        p.Header(0x0028, e, "US", 6).U16(2).U16(5).U16(16);
    }
    for (uint16_t e = 0x1201; e <= 0x1203; ++e) {
        const uint16_t base = static_cast<uint16_t>((e - 0x1200) * 0x1000);
        p.Header(0x0028, e, "OW", 4).U16(base).U16(static_cast<uint16_t>(base + 0x0100));
    }
    p.Pixels8({5, 6});
    ASSERT_EQ(Read(p.bytes, image), kDicomOk) << Log();
    EXPECT_TRUE(image.colour);
    EXPECT_EQ(image.samples, (std::vector<uint16_t>{0x10, 0x20, 0x30, 0x11, 0x21, 0x31}));
}

// ----------------------------------------------------------------- bad files

TEST_F(DicomReaderTest, BadFilesFailCleanly) {
    const auto valid = [] {
        DicomWriter w(Syntax{true, false});
        w.Preamble(kExplicitLE);
        return w.Image(2, 3, 16, 16, 15);
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* message;  // expected in the log
        int result = kDicomNoImages;
    };
    std::vector<Case> cases;
    {
        DicomWriter w = valid();
        w.Pixels16(kSamples);
        w.bytes.resize(w.bytes.size() - 3);
        cases.push_back({"truncated pixel data", w.bytes, "Incorrect PixelData length"});
    }
    {
        DicomWriter w = valid();
        w.Header(0x0008, 0x2111, "UT", 0x7FFFFFF0u).Raw({'x', 'y'});
        w.Pixels16(kSamples);
        cases.push_back({"absurd element length", w.bytes, "Unexpected end of file"});
    }
    {
        DicomWriter w = valid();
        w.Header(0x7FE0, 0x0010, "OW", 0xFFFFFFF0u).Raw({1, 2, 3, 4});
        cases.push_back({"absurd pixel length", w.bytes, "Incorrect PixelData length"});
    }
    {
        DicomWriter w(Syntax{true, false});
        w.Preamble(kExplicitLE);
        w.UsElement(0x0028, 0x0100, 16).Pixels16(kSamples);
        cases.push_back({"no rows or columns", w.bytes, "Image without Rows or Columns"});
    }
    {
        DicomWriter w(Syntax{true, false});
        w.Preamble(kExplicitLE);
        w.Image(2, 3, 5, 5, 4).Pixels16(kSamples);
        cases.push_back({"odd bits allocated", w.bytes, "Unsupported BitsAllocated"});
    }
    {
        DicomWriter w(Syntax{true, false});
        w.Preamble(kExplicitLE);
        w.Image(40000, 40000, 16, 16, 15).Pixels16(kSamples);
        cases.push_back({"huge image, few pixels", w.bytes, "Incorrect PixelData length"});
    }
    {
        DicomWriter w(Syntax{true, false});
        w.Preamble("1.2.840.10008.1.2.4.70");
        w.Image(2, 3, 16, 16, 15).Encapsulated({{0xFF, 0xD8, 0xFF, 0xD9}});
        cases.push_back({"JPEG", w.bytes, "Encapsulated PixelData is not implemented yet"});
    }
    {
        DicomWriter w = valid();
        cases.push_back({"no pixel data", w.bytes, "No PixelData found"});
    }
    cases.push_back({"shorter than a preamble", std::vector<uint8_t>(100, 1),
                     "dicom_open(): Unexpected end of file", kDicomCannotOpen});
    cases.push_back({"empty", {}, "dicom_open(): Unexpected end of file", kDicomCannotOpen});
    {
        std::vector<uint8_t> bytes(134, 0);
        bytes[128] = 'D';
        bytes[129] = 'I';
        bytes[130] = 'C';
        bytes[131] = 'M';
        bytes[132] = 0x02;
        cases.push_back({"preamble and half a tag", bytes, "dicom_open(): Unexpected end of file",
                         kDicomCannotOpen});
    }

    for (const Case& c : cases) {
        DicomImage image;
        EXPECT_EQ(Read(c.bytes, image), c.result) << c.name;
        EXPECT_TRUE(image.samples.empty()) << c.name;
        EXPECT_NE(Log().find(c.message), std::string::npos) << c.name << "\n" << Log();
    }
}

TEST_F(DicomReaderTest, ResultCodesForMissingArgumentsAndFiles) {
    std::vector<DicomImage> images;
    int count = 0;
    EXPECT_EQ(dicom_read(nullptr, &images, &count, 1), kDicomNoFileName);
    EXPECT_EQ(dicom_read("", &images, &count, 1), kDicomNoFileName);
    EXPECT_EQ(dicom_read("x.dcm", nullptr, &count, 1), kDicomArgumentMissing);
    EXPECT_EQ(dicom_read("x.dcm", &images, nullptr, 1), kDicomArgumentMissing);
    const std::string missing = (folder_ / "missing.dcm").string();
    EXPECT_EQ(dicom_read(missing.c_str(), &images, &count, 1), kDicomCannotOpen);
    EXPECT_NE(Log().find("error: dicom_open(): Unable to open file"), std::string::npos);

    DicomWriter w(Syntax{true, false});
    w.Preamble(kExplicitLE).Image(2, 3, 16, 16, 15).Pixels16(kSamples);
    const std::string path = (folder_ / "good.dcm").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(w.bytes.data()),
               static_cast<std::streamsize>(w.bytes.size()));
    ASSERT_EQ(dicom_read(path.c_str(), &images, &count, 1), kDicomOk);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(images[0].samples, kSamples);
}

// ------------------------------------------------------------------------ log

TEST_F(DicomReaderTest, LogLinesHaveTheirFormatAndLevelsAreFiltered) {
    DicomWriter w(Syntax{true, false});
    w.Preamble(kExplicitLE);
    w.Header(0x0008, 0x1090, "LO", 3).Raw({'A', 'B', 'C'});
    w.Image(2, 3, 16, 16, 15).Pixels16(kSamples);
    DicomImage image;
    ASSERT_EQ(Read(w.bytes, image), kDicomOk);
    std::string log = Log();
    EXPECT_NE(log.find("time vistrel[101]: warning: dicom_element(): Tag with uneven length\n"),
              std::string::npos)
        << log;
    // Info is above the starting level.
    EXPECT_EQ(log.find("Dicom preamble"), std::string::npos);

    SetDicomLogLevel(DicomLogLevel::Info);
    ASSERT_EQ(Read(w.bytes, image), kDicomOk);
    log = Log();
    EXPECT_NE(log.find("time vistrel[101]: info: dicom_open(): Dicom preamble\n"),
              std::string::npos);
    EXPECT_EQ(log.find("debug:"), std::string::npos);

    SetDicomLogLevel(DicomLogLevel::Error);
    const std::size_t before = Log().size();
    ASSERT_EQ(Read(w.bytes, image), kDicomOk);
    EXPECT_EQ(Log().size(), before) << "warnings must be dropped at level error";

    SetDicomLogLevel(DicomLogLevel::Debug);
    ASSERT_EQ(Read(w.bytes, image), kDicomOk);
    EXPECT_NE(Log().find("debug: dicom_element(): (0028,0010) US 2 Rows"), std::string::npos);
}

TEST(DicomLog, LevelNames) {
    const char* names[] = {"emergency", "alert",  "critical", "error",
                           "warning",   "notice", "info",     "debug"};
    for (int level = 0; level < 8; ++level) {
        EXPECT_STREQ(DicomLogLevelName(static_cast<DicomLogLevel>(level)), names[level]);
    }
}

}  // namespace
