// TIFF, GIF and picture import/export: the shared sample files, synthetic
// files written with libtiff, giflib and QImage, round trips and bad files.

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QColor>
#include <QImage>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/display.h"
#include "core/gif_io.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/raster_io.h"
#include "core/tiff_io.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"

using namespace vistrel;
namespace fs = std::filesystem;

namespace {

void ExpectEmpty(const CMImage& image) {
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    EXPECT_EQ(image.depth, 0);
}

// Sample of a synthetic picture at (x, y) within 0..maxValue, varied enough
// that swapped bytes, shifted bits or mirrored rows all show.
uint32_t PatternValue(int x, int y, uint32_t maxValue, unsigned salt = 0) {
    const uint32_t v = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u ^
                       salt * 2246822519u;
    return static_cast<uint32_t>((v ^ (v >> 13)) % (uint64_t{maxValue} + 1));
}

void FillPattern(CMImage& image, unsigned salt = 0) {
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x)
            image.SetPixel(x, y, static_cast<int32_t>(PatternValue(x, y, image.maxValue, salt)));
}

class RasterTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return scratch_.Path(name); }
    std::string WriteBytes(const std::string& name, const std::string& bytes) const {
        return scratch_.Write(name, bytes);
    }
    static std::string ReadBytes(const std::string& path) {
        return testsupport::ReadFileBytes(path);
    }
    // Opens through the dispatcher, as the document does.
    static int Open(CMImage& image, const std::string& path, int colourMode = 0) {
        std::string description;
        return image.Open(path, description, colourMode);
    }

    testsupport::CRecordingSink sink_;
    CScopedMessageSink guard_{&sink_};
    testsupport::CScratchDir scratch_{"vistrel_raster"};
};

// ---------------------------------------------------------------------------
// The shared sample files.

struct SampleFile {
    const char* file;
    int width;
    int height;
    int depth;
    int minValue;  // true values, i.e. after the value offset
    int maxValue;
    int valueOffset;
};

// Sizes and ranges from the data folder's README (measured independently);
// colour pictures give grey values of their own, checked separately below.
const SampleFile kSampleFiles[] = {
    {"tiff/minisblack-1c-16b.tiff", 157, 151, 16, 0, 58955, 0},
    {"tiff/minisblack-1c-8b.tiff", 157, 151, 8, 0, 229, 0},
    {"tiff/palette-1c-8b.tiff", 157, 151, 8, 0, 255, 0},
    {"tiff/issue_69_lzw.tiff", 45, 45, 16, 430, 598, 0},
    {"tiff/seq-1c-8b-lzw-20f3db0c.tiff", 16, 16, 8, 0, 255, 0},
    {"tiff/seq-1c-8b-lzw-hpredict-20f3db0c.tiff", 16, 16, 8, 0, 255, 0},
    {"tiff/minisblack-1c-i16b.tiff", 157, 151, 16, -32767, 26186, 32768},
    {"tiff/16bit.cropped.tif", 64, 64, 16, 291, 694, 0},
    {"tiff/12bit.cropped.tif", 100, 100, 12, 0, 30, 0},
    {"gif/hopper.gif", 128, 128, 8, 0, 255, 0},
    {"jpeg/hopper_gray.jpg", 128, 128, 8, 0, 255, 0},
    {"bmp/pal8.bmp", 127, 64, 8, 0, 251, 0},
    {"png/pal8.png", 127, 64, 8, 0, 150, 0},
    {"png/i_trns.png", 64, 64, 16, 0, 255, 0},
    {"pgm/minisblack-1c-8b.pgm", 157, 151, 8, 0, 229, 0},
    {"pgm/hopper_8bit.pgm", 128, 128, 8, 0, 255, 0},
    {"pgm/hopper_16bit.pgm", 128, 128, 16, 0, 65535, 0},
    {"pgx/c0p0_01.pgx", 128, 128, 8, 9, 254, 0},
    {"pgx/c0p0_14.pgx", 13, 13, 8, 127, 128, 0},
    {"pgx/c0p1_05.pgx", 32, 32, 8, 14, 212, 0},
    {"pgx/c1p0_06_0.pgx", 513, 129, 12, 0, 4095, 0},
    {"pgx/c1p1_04_0.pgx", 1024, 1024, 12, 0, 4095, 0},
};

// Colour pictures (grey through ToGrey) and files the readers refuse.
const std::set<std::string> kColourSamples = {"tiff/rgb-3c-16b.tiff", "tiff/hopper_lzw.tif",
                                              "jpeg/hopper.jpg", "bmp/rgb24.bmp", "png/hopper.png"};
const std::set<std::string> kRefusedSamples = {"pgx/c0p0_03r0.pgx", "pgx/c0p0_07.pgx",
                                               "pgx/c1p0_08_0.pgx"};
// ASCII data read as binary, as the PGM reader does by design: no fixed facts.
const std::set<std::string> kOtherSamples = {"pgm/hopper_8bit_plain.pgm"};

std::string SharedRaster() {
#ifdef VISTREL_SHARED_DATA
    const std::string folder = std::string(VISTREL_SHARED_DATA) + "/raster";
    if (fs::is_directory(folder)) return folder;
#endif
    return {};
}

TEST_F(RasterTest, SharedSampleFilesGiveTheirSizesDepthsAndRanges) {
    const std::string folder = SharedRaster();
    if (folder.empty()) GTEST_SKIP() << "shared data not available";
    for (const SampleFile& sample : kSampleFiles) {
        SCOPED_TRACE(sample.file);
        CMImage image;
        ASSERT_EQ(Open(image, folder + "/" + sample.file), 1);
        EXPECT_EQ(image.width, sample.width);
        EXPECT_EQ(image.height, sample.height);
        EXPECT_EQ(image.depth, sample.depth);
        EXPECT_EQ(image.valueOffset, sample.valueOffset);
        const CHistogram& histogram = image.GetHistogram();
        EXPECT_EQ(histogram.minValue, sample.minValue);
        EXPECT_EQ(histogram.maxValue, sample.maxValue);
    }
}

TEST_F(RasterTest, EverySharedSampleFileIsCoveredAndOpensOrFailsCleanly) {
    const std::string folder = SharedRaster();
    if (folder.empty()) GTEST_SKIP() << "shared data not available";
    std::set<std::string> known(kColourSamples);
    known.insert(kRefusedSamples.begin(), kRefusedSamples.end());
    known.insert(kOtherSamples.begin(), kOtherSamples.end());
    for (const SampleFile& sample : kSampleFiles) known.insert(sample.file);
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = fs::relative(entry.path(), folder).string();
        SCOPED_TRACE(name);
        EXPECT_TRUE(known.count(name)) << "a sample file without expectations";
        CMImage image;
        const int result = Open(image, entry.path().string());
        if (kRefusedSamples.count(name)) {
            EXPECT_EQ(result, 0);
            ExpectEmpty(image);
        } else {
            EXPECT_EQ(result, 1);
            EXPECT_TRUE(image.IsValid());
        }
    }
}

TEST_F(RasterTest, SameColourPictureDecodedFromTiffAndPngGivesTheSameGrey) {
    // hopper_lzw.tif (LZW with predictor, through libtiff) and hopper.png
    // (through the toolkit) hold the same RGB pixels.
    const std::string folder = SharedRaster();
    if (folder.empty()) GTEST_SKIP() << "shared data not available";
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        CMImage tiff, png;
        ASSERT_EQ(Open(tiff, folder + "/tiff/hopper_lzw.tif", mode), 1);
        ASSERT_EQ(Open(png, folder + "/png/hopper.png", mode), 1);
        EXPECT_EQ(tiff.depth, 8);
        EXPECT_TRUE(tiff.IsEqual(png));
    }
}

TEST_F(RasterTest, Deep16BitRgbTiffAgreesWithLibtiffsOwnEightBitConversion) {
    const std::string folder = SharedRaster();
    if (folder.empty()) GTEST_SKIP() << "shared data not available";
    const std::string path = folder + "/tiff/rgb-3c-16b.tiff";
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    std::vector<uint32_t> rgba(size_t{width} * height);
    ASSERT_TRUE(TIFFReadRGBAImageOriented(tif, width, height, rgba.data(), ORIENTATION_TOPLEFT, 0));
    TIFFClose(tif);

    std::vector<CMImage> byMode(3);
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        CMImage& image = byMode[mode];
        ASSERT_EQ(Open(image, path, mode), 1);
        ASSERT_EQ(image.depth, 16);
        ASSERT_EQ(image.width, static_cast<int32_t>(width));
        int worst = 0;
        for (int32_t y = 0; y < image.height; ++y) {
            for (int32_t x = 0; x < image.width; ++x) {
                const uint32_t p = rgba[size_t(y) * width + x];
                const int expected8 = ToGrey(TIFFGetR(p), TIFFGetG(p), TIFFGetB(p), mode);
                const int got8 = static_cast<uint16_t>(image.GetPixel(x, y)) >> 8;
                worst = std::max(worst, std::abs(got8 - expected8));
            }
        }
        // Truncations happen at different stages of the two conversions.
        EXPECT_LE(worst, 2);
    }
    EXPECT_FALSE(byMode[0].IsEqual(byMode[1]));
    EXPECT_FALSE(byMode[0].IsEqual(byMode[2]));
}

// ---------------------------------------------------------------------------
// Synthetic TIFF files written with libtiff.

struct TiffLayout {
    const char* name;
    uint32_t width = 13;
    uint32_t height = 7;
    uint16_t bits = 16;
    uint16_t samples = 1;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    bool tiled = false;
    bool bigEndian = false;
};

// Raw value of sample s of pixel (x, y) in a synthetic file.
uint32_t TiffSample(const TiffLayout& layout, uint32_t x, uint32_t y, uint32_t s) {
    const uint32_t maxValue = layout.bits >= 32 ? 0xFFFFFFFFu : (1u << layout.bits) - 1;
    return PatternValue(static_cast<int>(x), static_cast<int>(y), maxValue, s + 1);
}

// Packs n samples of `bits` bits, most significant bit first.
void PackSamples(const std::vector<uint32_t>& values, int bits, std::vector<uint8_t>& out) {
    if (bits == 16) {
        out.resize(values.size() * 2);
        for (size_t i = 0; i < values.size(); ++i) {
            const uint16_t v = static_cast<uint16_t>(values[i]);
            std::memcpy(out.data() + 2 * i, &v, 2);  // libtiff takes host order
        }
        return;
    }
    out.assign((values.size() * bits + 7) / 8, 0);
    uint64_t bit = 0;
    for (uint32_t value : values) {
        for (int b = bits - 1; b >= 0; --b, ++bit)
            if ((value >> b) & 1u) out[bit >> 3] |= static_cast<uint8_t>(0x80u >> (bit & 7));
    }
}

bool WriteTiffFile(const std::string& path, const TiffLayout& layout) {
    TIFF* tif = TIFFOpen(path.c_str(), layout.bigEndian ? "wb" : "wl");
    if (!tif) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, layout.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, layout.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, layout.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, layout.planar);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, layout.sampleFormat);
    const bool rgb = layout.photometric == PHOTOMETRIC_RGB;
    if (layout.samples > (rgb ? 3 : 1)) {
        std::vector<uint16_t> extra(layout.samples - (rgb ? 3 : 1), EXTRASAMPLE_UNASSALPHA);
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(extra.size()), extra.data());
    }
    if (layout.photometric == PHOTOMETRIC_PALETTE) {
        // An all-black table: only the indices may reach the image.
        std::vector<uint16_t> table(size_t{1} << layout.bits, 0);
        TIFFSetField(tif, TIFFTAG_COLORMAP, table.data(), table.data(), table.data());
    }
    const int planes = layout.planar == PLANARCONFIG_SEPARATE ? layout.samples : 1;
    const int perPixel = layout.planar == PLANARCONFIG_SEPARATE ? 1 : layout.samples;
    bool ok = true;
    std::vector<uint8_t> packed;
    if (layout.tiled) {
        const uint32_t tile = 16;
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, tile);
        std::vector<uint8_t> buffer(static_cast<size_t>(TIFFTileSize(tif)));
        const size_t rowBytes = static_cast<size_t>(TIFFTileRowSize(tif));
        for (int plane = 0; plane < planes; ++plane)
            for (uint32_t ty = 0; ty < layout.height; ty += tile)
                for (uint32_t tx = 0; tx < layout.width; tx += tile) {
                    std::fill(buffer.begin(), buffer.end(), 0);
                    for (uint32_t r = 0; r < tile; ++r) {
                        std::vector<uint32_t> values;
                        for (uint32_t c = 0; c < tile; ++c)
                            for (int s = 0; s < perPixel; ++s) {
                                const bool inside = tx + c < layout.width && ty + r < layout.height;
                                values.push_back(
                                    inside ? TiffSample(layout, tx + c, ty + r, plane + s) : 0);
                            }
                        PackSamples(values, layout.bits, packed);
                        std::memcpy(buffer.data() + r * rowBytes, packed.data(), rowBytes);
                    }
                    ok = ok && TIFFWriteTile(tif, buffer.data(), tx, ty, 0,
                                             static_cast<uint16_t>(plane)) >= 0;
                }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 3u);
        for (int plane = 0; plane < planes; ++plane)
            for (uint32_t y = 0; y < layout.height; ++y) {
                std::vector<uint32_t> values;
                for (uint32_t x = 0; x < layout.width; ++x)
                    for (int s = 0; s < perPixel; ++s)
                        values.push_back(TiffSample(layout, x, y, plane + s));
                PackSamples(values, layout.bits, packed);
                ok = ok &&
                     TIFFWriteScanline(tif, packed.data(), y, static_cast<uint16_t>(plane)) == 1;
            }
    }
    TIFFClose(tif);
    return ok;
}

// The grey sample the readers should give for a pixel of a synthetic file.
uint32_t ExpectedGrey(const TiffLayout& layout, uint32_t x, uint32_t y, int colourMode) {
    if (layout.photometric == PHOTOMETRIC_RGB)
        return ToGrey(static_cast<int>(TiffSample(layout, x, y, 0)),
                      static_cast<int>(TiffSample(layout, x, y, 1)),
                      static_cast<int>(TiffSample(layout, x, y, 2)), colourMode);
    const uint32_t raw = TiffSample(layout, x, y, 0);
    if (layout.sampleFormat == SAMPLEFORMAT_INT) return raw ^ (1u << (layout.bits - 1));
    return raw;
}

void ExpectSamples(const CMImage& image, const TiffLayout& layout, int colourMode) {
    int mismatches = 0;
    for (uint32_t y = 0; y < layout.height; ++y)
        for (uint32_t x = 0; x < layout.width; ++x) {
            const uint32_t got = static_cast<uint16_t>(image.GetPixel(int(x), int(y)));
            const uint32_t want = ExpectedGrey(layout, x, y, colourMode);
            if (got != want && ++mismatches <= 3)
                ADD_FAILURE() << "(" << x << ", " << y << "): " << got << " instead of " << want;
        }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(RasterTest, DeepTiffKeepsItsSamplesInEveryLayout) {
    auto layout = [](const char* name) {
        TiffLayout s;
        s.name = name;
        return s;
    };
    std::vector<TiffLayout> cases;
    cases.push_back(layout("16-bit"));
    cases.push_back(layout("16-bit big-endian"));
    cases.back().bigEndian = true;
    for (uint16_t bits : {9, 10, 12, 14}) {
        cases.push_back(layout("packed"));
        cases.back().bits = bits;
    }
    cases.push_back(layout("12-bit big-endian"));
    cases.back().bits = 12;
    cases.back().bigEndian = true;
    cases.push_back(layout("16-bit LZW"));
    cases.back().compression = COMPRESSION_LZW;
    cases.push_back(layout("12-bit deflate"));
    cases.back().bits = 12;
    cases.back().compression = COMPRESSION_ADOBE_DEFLATE;
    cases.push_back(layout("16-bit PackBits big-endian"));
    cases.back().compression = COMPRESSION_PACKBITS;
    cases.back().bigEndian = true;
    cases.push_back(layout("16-bit tiled, edge tiles"));
    cases.back().tiled = true;
    cases.back().width = 37;
    cases.back().height = 20;
    cases.push_back(layout("12-bit tiled LZW"));
    cases.back().tiled = true;
    cases.back().bits = 12;
    cases.back().compression = COMPRESSION_LZW;
    cases.push_back(layout("16-bit min-is-white"));
    cases.back().photometric = PHOTOMETRIC_MINISWHITE;
    cases.push_back(layout("16-bit palette"));
    cases.back().photometric = PHOTOMETRIC_PALETTE;
    cases.push_back(layout("16-bit grey with alpha"));
    cases.back().samples = 2;
    cases.push_back(layout("16-bit grey with alpha, separate planes"));
    cases.back().samples = 2;
    cases.back().planar = PLANARCONFIG_SEPARATE;
    cases.push_back(layout("16-bit signed"));
    cases.back().sampleFormat = SAMPLEFORMAT_INT;
    cases.push_back(layout("12-bit signed"));
    cases.back().sampleFormat = SAMPLEFORMAT_INT;
    cases.back().bits = 12;

    for (const TiffLayout& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.bits) + " bits");
        const std::string path = Path("deep.tif");
        ASSERT_TRUE(WriteTiffFile(path, c));
        CMImage image;
        ASSERT_EQ(ReadTiff(image, path, 0), 1);
        EXPECT_EQ(image.depth, c.bits);
        EXPECT_EQ(image.maxValue, (1u << c.bits) - 1);
        EXPECT_EQ(image.width, static_cast<int32_t>(c.width));
        EXPECT_EQ(image.height, static_cast<int32_t>(c.height));
        EXPECT_EQ(image.valueOffset,
                  c.sampleFormat == SAMPLEFORMAT_INT ? (1u << (c.bits - 1)) : 0u);
        ExpectSamples(image, c, 0);
        CMImage opened;
        ASSERT_EQ(Open(opened, path), 1);
        EXPECT_TRUE(opened.IsEqual(image));
    }
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(RasterTest, DeepRgbTiffBecomesGreyThroughTheColourMode) {
    TiffLayout contig;
    contig.name = "contiguous LZW";
    contig.photometric = PHOTOMETRIC_RGB;
    contig.samples = 3;
    contig.compression = COMPRESSION_LZW;
    TiffLayout separate = contig;
    separate.name = "separate planes";
    separate.planar = PLANARCONFIG_SEPARATE;
    separate.compression = COMPRESSION_NONE;
    TiffLayout alpha = contig;
    alpha.name = "with alpha, tiled";
    alpha.samples = 4;
    alpha.tiled = true;
    TiffLayout twelve = contig;
    twelve.name = "12 bits";
    twelve.bits = 12;
    for (const TiffLayout& c : {contig, separate, alpha, twelve}) {
        const std::string path = Path("rgb.tif");
        ASSERT_TRUE(WriteTiffFile(path, c));
        for (int mode = 0; mode < 3; ++mode) {
            SCOPED_TRACE(std::string(c.name) + ", mode " + std::to_string(mode));
            CMImage image;
            ASSERT_EQ(Open(image, path, mode), 1);
            EXPECT_EQ(image.depth, c.bits);
            EXPECT_EQ(image.valueOffset, 0);
            ExpectSamples(image, c, mode);
        }
    }
}

TEST_F(RasterTest, ShallowTiffKeepsItsIndicesThroughTheImport) {
    const struct {
        const char* name;
        uint16_t bits;
        uint16_t photometric;
        uint16_t compression;
        int depth;
    } cases[] = {
        {"1-bit", 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 1},
        {"1-bit min-is-white, fax G4", 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, 1},
        {"2-bit grey", 2, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 4},
        {"4-bit grey", 4, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, 4},
        {"4-bit palette", 4, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, 4},
        {"8-bit grey", 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 8},
        {"8-bit palette, PackBits", 8, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TiffLayout layout;
        layout.name = c.name;
        layout.width = 21;
        layout.height = 9;
        layout.bits = c.bits;
        layout.photometric = c.photometric;
        layout.compression = c.compression;
        const std::string path = Path("shallow.tif");
        ASSERT_TRUE(WriteTiffFile(path, layout));
        CMImage image;
        // The deep-grey reader leaves these to the import.
        EXPECT_EQ(ReadTiff(image, path, 0), 0);
        ExpectEmpty(image);
        ASSERT_EQ(Open(image, path), 1);
        EXPECT_EQ(image.depth, c.depth);
        ExpectSamples(image, layout, 0);
    }
}

TEST_F(RasterTest, EightBitRgbTiffBecomesEightBitGrey) {
    TiffLayout layout;
    layout.name = "rgb8";
    layout.bits = 8;
    layout.samples = 3;
    layout.photometric = PHOTOMETRIC_RGB;
    layout.compression = COMPRESSION_ADOBE_DEFLATE;
    const std::string path = Path("rgb8.tif");
    ASSERT_TRUE(WriteTiffFile(path, layout));
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        CMImage image;
        ASSERT_EQ(Open(image, path, mode), 1);
        EXPECT_EQ(image.depth, 8);
        ExpectSamples(image, layout, mode);
    }
}

TEST_F(RasterTest, TiffsWithoutAnIntegerGreyOrColourReadingFailCleanly) {
    TiffLayout floats;
    floats.name = "32-bit float";
    floats.bits = 32;
    floats.sampleFormat = SAMPLEFORMAT_IEEEFP;
    TiffLayout wide;
    wide.name = "32-bit integer";
    wide.bits = 32;
    for (const TiffLayout& c : {floats, wide}) {
        SCOPED_TRACE(c.name);
        const std::string path = Path("odd.tif");
        ASSERT_TRUE(WriteTiffFile(path, c));
        CMImage image(3, 3, 8);
        EXPECT_EQ(Open(image, path), 0);
        ExpectEmpty(image);
    }
}

// ---------------------------------------------------------------------------
// Hand-made TIFF files with broken fields.

// A little-endian classic TIFF: one directory of the given entries at offset
// 8, then `data` (whose offset the entries may point into as kDataOffset + n).
class TinyTiff {
  public:
    static constexpr uint32_t kShort = 3, kLong = 4;
    void Add(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        entries_[tag] = {type, count, value};
    }
    // The directory has room for kSlots entries, so the data stay put as entries are added.
    static constexpr uint32_t kSlots = 16;
    static uint32_t DataOffset() { return 8 + 2 + 12 * kSlots + 4; }
    std::string Bytes(const std::string& data) const {
        std::string out = "II*";
        out.push_back('\0');
        Put32(out, 8);
        Put16(out, static_cast<uint16_t>(entries_.size()));
        for (const auto& [tag, entry] : entries_) {
            Put16(out, tag);
            Put16(out, static_cast<uint16_t>(entry.type));
            Put32(out, entry.count);
            if (entry.type == kShort && entry.count == 1) {
                Put16(out, static_cast<uint16_t>(entry.value));
                Put16(out, 0);
            } else {
                Put32(out, entry.value);
            }
        }
        Put32(out, 0);
        out.resize(DataOffset(), '\0');
        return out + data;
    }

  private:
    struct Entry {
        uint32_t type, count, value;
    };
    static void Put16(std::string& out, uint16_t v) {
        out.push_back(char(v & 0xFF));
        out.push_back(char(v >> 8));
    }
    static void Put32(std::string& out, uint32_t v) {
        Put16(out, uint16_t(v & 0xFFFF));
        Put16(out, uint16_t(v >> 16));
    }
    std::map<uint16_t, Entry> entries_;
};

TinyTiff GreyTiff(uint32_t width, uint32_t height, uint16_t bits, uint32_t stripBytes) {
    TinyTiff tiff;
    tiff.Add(TIFFTAG_IMAGEWIDTH, TinyTiff::kLong, 1, width);
    tiff.Add(TIFFTAG_IMAGELENGTH, TinyTiff::kLong, 1, height);
    tiff.Add(TIFFTAG_BITSPERSAMPLE, TinyTiff::kShort, 1, bits);
    tiff.Add(TIFFTAG_COMPRESSION, TinyTiff::kShort, 1, COMPRESSION_NONE);
    tiff.Add(TIFFTAG_PHOTOMETRIC, TinyTiff::kShort, 1, PHOTOMETRIC_MINISBLACK);
    tiff.Add(TIFFTAG_SAMPLESPERPIXEL, TinyTiff::kShort, 1, 1);
    tiff.Add(TIFFTAG_ROWSPERSTRIP, TinyTiff::kLong, 1, height);
    tiff.Add(TIFFTAG_STRIPBYTECOUNTS, TinyTiff::kLong, 1, stripBytes);
    tiff.Add(TIFFTAG_STRIPOFFSETS, TinyTiff::kLong, 1, TinyTiff::DataOffset());
    return tiff;
}

TEST_F(RasterTest, HandMadeTiffReadsAsAReferenceForTheBrokenOnes) {
    std::string data;
    for (int i = 0; i < 6; ++i) {
        data.push_back(char(i * 40));
        data.push_back(char(i + 1));
    }
    const std::string path = WriteBytes("good.tif", GreyTiff(3, 2, 16, 12).Bytes(data));
    CMImage image;
    ASSERT_EQ(Open(image, path), 1);
    EXPECT_EQ(image.depth, 16);
    EXPECT_EQ(static_cast<uint16_t>(image.GetPixel(2, 1)), 5 * 40 + 6 * 256);
}

TEST_F(RasterTest, BrokenTiffsFailWithAnEmptyImage) {
    const std::string someData(64, '\x11');
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"huge size over a few bytes",
                     GreyTiff(0x7FFFFFFF, 0x7FFFFFFF, 16, 0xFFFFFFF0).Bytes(someData)});
    cases.push_back({"huge 8-bit size", GreyTiff(0xFFFFFFFF, 0x10000, 8, 64).Bytes(someData)});
    cases.push_back({"truncated strip", GreyTiff(64, 64, 16, 8192).Bytes(someData)});
    cases.push_back({"truncated 8-bit strip", GreyTiff(64, 64, 8, 4096).Bytes(someData)});
    cases.push_back({"truncated 12-bit strip", GreyTiff(64, 64, 12, 6144).Bytes(someData)});
    {
        TinyTiff tiff = GreyTiff(8, 8, 16, 128);
        tiff.Add(TIFFTAG_STRIPOFFSETS, TinyTiff::kLong, 1, 0x7FFFFF00);
        cases.push_back({"strip beyond the end", tiff.Bytes(someData)});
    }
    {
        TinyTiff tiff = GreyTiff(8, 8, 16, 128);
        tiff.Add(TIFFTAG_SAMPLESPERPIXEL, TinyTiff::kShort, 1, 60000);
        cases.push_back({"absurd samples per pixel", tiff.Bytes(someData)});
    }
    {
        TinyTiff tiff = GreyTiff(8, 8, 16, 128);
        tiff.Add(TIFFTAG_BITSPERSAMPLE, TinyTiff::kShort, 1, 0);
        cases.push_back({"zero bits per sample", tiff.Bytes(someData)});
    }
    {
        TinyTiff tiff = GreyTiff(8, 8, 16, 128);
        tiff.Add(TIFFTAG_COMPRESSION, TinyTiff::kShort, 1, 34676);  // a codec we lack
        cases.push_back({"unknown compression", tiff.Bytes(someData)});
    }
    cases.push_back({"header only", "II*\0"});
    cases.push_back({"directory beyond the end", std::string("II*\0\xff\xff\xff\x7f", 8)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = WriteBytes("broken.tif", c.bytes);
        CMImage image(4, 4, 8);
        EXPECT_EQ(Open(image, path), 0);
        ExpectEmpty(image);
        CMImage imported(4, 4, 8);
        EXPECT_EQ(ImportTiff(imported, path, 0), 0);
        ExpectEmpty(imported);
    }
}

TEST_F(RasterTest, PaletteTiffWithABogusColourMapGivesItsIndicesOrFails) {
    std::string data;
    for (int i = 0; i < 16; ++i) data.push_back(char(i * 13));
    struct Case {
        const char* name;
        uint32_t count;
        uint32_t offset;
    };
    TinyTiff base = GreyTiff(4, 4, 8, 16);
    base.Add(TIFFTAG_PHOTOMETRIC, TinyTiff::kShort, 1, PHOTOMETRIC_PALETTE);
    const Case cases[] = {
        {"missing colour map", 0, 0},
        {"too short colour map", 3, TinyTiff::DataOffset()},
        {"colour map beyond the end", 768, 0x7FFFFF00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TinyTiff tiff = base;
        if (c.count) tiff.Add(TIFFTAG_COLORMAP, TinyTiff::kShort, c.count, c.offset);
        const std::string path = WriteBytes("palette.tif", tiff.Bytes(data));
        CMImage image;
        if (Open(image, path) == 0) {
            ExpectEmpty(image);
            continue;
        }
        ASSERT_EQ(image.depth, 8);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(image.GetPixel(i % 4, i / 4), (i * 13) & 0xFF);
    }
}

// ---------------------------------------------------------------------------
// GIF.

struct GifFrame {
    int screenWidth = 10, screenHeight = 8, background = 7;
    int left = 2, top = 1, width = 6, height = 5;
    bool interlaced = false;
    int colours = 256;
};

int GifIndex(int x, int y) {
    return static_cast<int>(PatternValue(x, y, 255, 9));
}

int WriteToString(GifFileType* gif, const GifByteType* bytes, int count) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), count);
    return count;
}

std::string GifBytes(const GifFrame& f) {
    if (f.colours < 256) {
        // giflib masks indices to the table's size; a bogus file has a short
        // global table and picture data coded with 8 bits all the same.
        GifFrame full = f;
        full.colours = 256;
        std::string bytes = GifBytes(full);
        int sizeField = 0;
        while ((2 << sizeField) < f.colours) ++sizeField;
        bytes[10] = char((uint8_t(bytes[10]) & ~7) | sizeField);
        bytes.erase(13 + 3 * (2 << sizeField), 3 * (256 - (2 << sizeField)));
        return bytes;
    }
    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteToString, &error);
    ColorMapObject* map = GifMakeMapObject(f.colours, nullptr);
    for (int i = 0; i < f.colours; ++i) map->Colors[i] = GifColorType{GifByteType(i), 0, 0};
    EGifPutScreenDesc(gif, f.screenWidth, f.screenHeight, 8, f.background, map);
    EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, nullptr);
    std::vector<int> rows;
    if (f.interlaced) {
        const int starts[] = {0, 4, 2, 1};
        const int steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = starts[pass]; y < f.height; y += steps[pass]) rows.push_back(y);
    } else {
        for (int y = 0; y < f.height; ++y) rows.push_back(y);
    }
    std::vector<GifPixelType> line(static_cast<size_t>(f.width));
    for (int y : rows) {
        // Indices beyond a short colour table stay what they are.
        for (int x = 0; x < f.width; ++x) line[size_t(x)] = GifPixelType(GifIndex(x, y));
        EGifPutLine(gif, line.data(), f.width);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

void ExpectGifCanvas(const CMImage& image, const GifFrame& f, int canvasWidth, int canvasHeight) {
    ASSERT_EQ(image.width, canvasWidth);
    ASSERT_EQ(image.height, canvasHeight);
    ASSERT_EQ(image.depth, 8);
    int mismatches = 0;
    for (int y = 0; y < canvasHeight; ++y)
        for (int x = 0; x < canvasWidth; ++x) {
            const bool inside =
                x >= f.left && x < f.left + f.width && y >= f.top && y < f.top + f.height;
            const int want = inside ? GifIndex(x - f.left, y - f.top) : f.background;
            if (static_cast<uint8_t>(image.GetPixel(x, y)) != want) ++mismatches;
        }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(RasterTest, GifGivesThePaletteIndicesOnItsScreen) {
    GifFrame plain;
    GifFrame interlaced;
    interlaced.height = 19;
    interlaced.screenHeight = 25;
    interlaced.interlaced = true;
    GifFrame shortTable;
    shortTable.colours = 4;  // indices up to 255 over a 4-entry table
    const struct {
        const char* name;
        GifFrame frame;
    } cases[] = {{"plain", plain}, {"interlaced", interlaced}, {"short colour table", shortTable}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The name does not matter: the content says GIF.
        for (const char* name : {"p.gif", "p.bmp"}) {
            const std::string path = WriteBytes(name, GifBytes(c.frame));
            CMImage image;
            ASSERT_EQ(Open(image, path), 1);
            ExpectGifCanvas(image, c.frame, c.frame.screenWidth, c.frame.screenHeight);
        }
    }
}

TEST_F(RasterTest, GifPictureBeyondItsScreenWidensTheCanvas) {
    GifFrame f;
    f.screenWidth = 4;
    f.screenHeight = 3;
    const std::string path = WriteBytes("wide.gif", GifBytes(f));
    CMImage image;
    ASSERT_EQ(Open(image, path), 1);
    ExpectGifCanvas(image, f, f.left + f.width, f.top + f.height);
}

TEST_F(RasterTest, BrokenGifsFailWithAnEmptyImage) {
    GifFrame f;
    f.width = f.screenWidth = 200;
    f.height = f.screenHeight = 100;
    f.left = f.top = 0;
    const std::string good = GifBytes(f);
    GifFrame huge;
    huge.screenWidth = huge.screenHeight = 65535;
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"truncated picture data", good.substr(0, good.size() / 2)},
        {"header only", good.substr(0, 13)},
        {"no picture", good.substr(0, 13 + 3 * 256) + ";"},
        {"huge screen", GifBytes(huge)},
        {"signature only", "GIF89a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = WriteBytes("broken.gif", c.bytes);
        CMImage image(3, 3, 8);
        EXPECT_EQ(Open(image, path), 0);
        ExpectEmpty(image);
    }
}

// ---------------------------------------------------------------------------
// Pictures through the toolkit.

TEST_F(RasterTest, ColourPictureGoesThroughTheColourMode) {
    // Flat colour survives JPEG compression to within a level or two.
    QImage colour(24, 16, QImage::Format_RGB32);
    colour.fill(QColor(200, 100, 50));
    const std::string jpeg = Path("colour.jpg");
    const std::string png = Path("colour.png");
    ASSERT_TRUE(colour.save(QString::fromStdString(jpeg), "jpeg", 100));
    ASSERT_TRUE(colour.save(QString::fromStdString(png), "png"));
    const int expected[] = {(200 + 100 + 50) / 3, (30 * 200 + 59 * 100 + 11 * 50) / 100, 100};
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        CMImage fromPng, fromJpeg;
        ASSERT_EQ(Open(fromPng, png, mode), 1);
        ASSERT_EQ(Open(fromJpeg, jpeg, mode), 1);
        EXPECT_EQ(fromPng.depth, 8);
        EXPECT_EQ(fromJpeg.depth, 8);
        EXPECT_EQ(fromPng.GetPixel(5, 5), expected[mode]);
        EXPECT_NEAR(fromJpeg.GetPixel(5, 5), expected[mode], 2);
    }
}

TEST_F(RasterTest, SixteenBitGreyPngKeepsItsSamples) {
    QImage deep(9, 5, QImage::Format_Grayscale16);
    for (int y = 0; y < 5; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(deep.scanLine(y));
        for (int x = 0; x < 9; ++x) row[x] = static_cast<uint16_t>(PatternValue(x, y, 65535));
    }
    const std::string path = Path("deep.png");
    ASSERT_TRUE(deep.save(QString::fromStdString(path), "png"));
    CMImage image;
    ASSERT_EQ(Open(image, path), 1);
    EXPECT_EQ(image.depth, 16);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(static_cast<uint16_t>(image.GetPixel(x, y)), PatternValue(x, y, 65535));
}

TEST_F(RasterTest, PicturesAreRecognisedByTheirContentWhateverTheirName) {
    CMImage source(11, 6, 8);
    FillPattern(source);
    const std::string png = Path("real.png");
    ASSERT_EQ(ExportRaster(source, png), 1);
    for (const char* name : {"png-as.tif", "png-as.jpg", "png-as.xyz"}) {
        SCOPED_TRACE(name);
        const std::string path = WriteBytes(name, ReadBytes(png));
        CMImage image;
        ASSERT_EQ(Open(image, path), 1);
        EXPECT_TRUE(image.IsEqual(source));
    }
    const std::string tiff = Path("real.tif");
    ASSERT_EQ(ExportRaster(source, tiff), 1);
    CMImage image;
    ASSERT_EQ(Open(image, WriteBytes("tiff-as.png", ReadBytes(tiff))), 1);
    EXPECT_TRUE(image.IsEqual(source));
}

TEST_F(RasterTest, UnreadablePicturesFailSilentlyWithAnEmptyImage) {
    for (const char* name : {"f.TIFF", "g.png", "h.bmp", "i.jpg", "j.gif", "k.unknown"}) {
        SCOPED_TRACE(name);
        const std::string path = WriteBytes(name, "not a picture");
        CMImage image(2, 2, 8);
        EXPECT_EQ(Open(image, path), 0);
        ExpectEmpty(image);
    }
    CMImage missing(2, 2, 8);
    EXPECT_EQ(Open(missing, Path("missing.png")), 0);
    ExpectEmpty(missing);
    EXPECT_TRUE(sink_.messages.empty());
}

// ---------------------------------------------------------------------------
// Export and round trips.

TEST_F(RasterTest, ExportedPicturesReadBackWithIdenticalIndices) {
    const struct {
        const char* extension;
        int depth;
        int readDepth;  // PNG and GIF store 4-bit indices in 8 bits
    } cases[] = {
        {"bmp", 1, 1}, {"bmp", 4, 4}, {"bmp", 8, 8},  {"png", 1, 1}, {"png", 4, 8},
        {"png", 8, 8}, {"gif", 1, 8}, {"gif", 4, 8},  {"gif", 8, 8}, {"tif", 1, 1},
        {"tif", 4, 4}, {"tif", 8, 8}, {"TIFF", 4, 4}, {"dib", 4, 4},
    };
    for (const auto& c : cases) {
        for (const int width : {1, 13, 64}) {
            SCOPED_TRACE(std::string(c.extension) + " depth " + std::to_string(c.depth) +
                         " width " + std::to_string(width));
            CMImage source(width, 7, c.depth);
            FillPattern(source, static_cast<unsigned>(width));
            const std::string path = Path(std::string("round.") + c.extension);
            ASSERT_EQ(ExportRaster(source, path), 1);
            CMImage back;
            ASSERT_EQ(Open(back, path), 1);
            ASSERT_EQ(back.depth, c.readDepth);
            ASSERT_EQ(back.width, width);
            ASSERT_EQ(back.height, 7);
            int mismatches = 0;
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < width; ++x)
                    mismatches += back.GetPixel(x, y) != source.GetPixel(x, y);
            EXPECT_EQ(mismatches, 0);
        }
    }
}

TEST_F(RasterTest, SaveDispatcherWritesEightBitGifAndRefusesOtherDepths) {
    CMImage eight(10, 4, 8);
    FillPattern(eight);
    const std::string path = Path("d.gif");
    ASSERT_EQ(eight.Save(true, path), 1);
    CMImage back;
    ASSERT_EQ(Open(back, path), 1);
    EXPECT_TRUE(back.IsEqual(eight));

    CMImage four(10, 4, 4);
    ASSERT_EQ(four.Save(true, path), 0);
    EXPECT_EQ(sink_.messages,
              std::vector<std::string>{"Only 8 bit images can be saved as GIF file."});
    ASSERT_EQ(Open(back, path), 1);  // the earlier file is untouched
    EXPECT_TRUE(back.IsEqual(eight));
}

TEST_F(RasterTest, JpegExportKeepsTheGreyLevelsApproximately) {
    CMImage flat(16, 16, 8);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) flat.SetPixel(x, y, 120);
    const std::string path = Path("flat.jpg");
    ASSERT_EQ(ExportRaster(flat, path), 1);
    CMImage back;
    ASSERT_EQ(Open(back, path), 1);
    EXPECT_EQ(back.depth, 8);
    EXPECT_NEAR(back.GetPixel(8, 8), 120, 2);
}

TEST_F(RasterTest, ExportRefusesWhatItCannotWriteAndKeepsTheOldFile) {
    CMImage deep(4, 4, 12);
    CMImage eight(4, 4, 8);
    FillPattern(eight);
    const std::string unknown = WriteBytes("keep.unknownformat", "precious");
    EXPECT_EQ(ExportRaster(eight, unknown), 0);
    EXPECT_EQ(ReadBytes(unknown), "precious");
    const std::string png = WriteBytes("keep.png", "precious");
    EXPECT_EQ(ExportRaster(deep, png), 0);
    EXPECT_EQ(ReadBytes(png), "precious");
    EXPECT_EQ(ExportRaster(CMImage(), png), 0);
    EXPECT_EQ(ReadBytes(png), "precious");
    EXPECT_EQ(ExportRaster(eight, Path("no/such/folder/x.png")), 0);
}

}  // namespace
