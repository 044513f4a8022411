#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "core/image.h"
#include "core/messages.h"
#include "support/native_file_builders.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"

using namespace vistrel;
namespace fs = std::filesystem;

namespace {

const std::string kSignedMessage = "Image pixel is signed in the PGX image file header";
const std::string kPgxSizeMessage =
    "Cannot find valid bit-depth, width and/or height specifiers in the PGX image file";
const std::string kPgmSizeMessage =
    "Cannot find valid bit-depth, width and/or height specifiers in the PGM image file";
const std::string kDepthMessage = "Not supported such a bit-depth";
const std::string kPgxEndMessage = "Unexpected end of file PGX - header";
const std::string kPgmEndMessage = "Unexpected end of file PGM - header";
const std::string kTwoByteMessage =
    "Images with 2 byte greyscale depth cannot be saved as other than PGX or RAW files";
const std::string kGifMessage = "Only 8 bit images can be saved as GIF file.";
const std::string kPgm4BitMessage = "4 bit depth image cannot be saved as a Portable Gary Map";

// Reproducible values within the nominal range, so that the high byte of deep
// samples and the last bits of packed rows all vary.
using testsupport::FillRandom;

void ExpectEmpty(const CMImage& image) {
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    EXPECT_EQ(image.depth, 0);
}

// Min and max sample read straight from the raster (unsigned).
std::pair<int, int> SampleRange(const CMImage& image) {
    int lo = 65536, hi = -1;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const int v = static_cast<uint16_t>(image.GetPixel(x, y));
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    return {lo, hi};
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

}  // namespace

class NativeFiles : public ::testing::Test {
  protected:
    std::string PathFor(const std::string& name) const { return (dir_ / name).string(); }

    std::string WriteFile(const std::string& name, const std::string& bytes) const {
        const std::string path = PathFor(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    static std::string ReadFile(const std::string& path) {
        std::string bytes;
        EXPECT_TRUE(ReadWholeFile(path, bytes)) << path;
        return bytes;
    }

    testsupport::CRecordingSink sink_;
    CScopedMessageSink guard_{&sink_};
    testsupport::CScratchDir scratch_{"vistrel_native"};
    fs::path dir_ = scratch_.path();
};

// ------------------------------------------------------------ extension keys

TEST(ExtensionKeyTest, CutsToThreeLowerCaseCharactersOfTheFileName) {
    const struct {
        const char* path;
        const char* key;
    } cases[] = {
        {"a.pgx", "pgx"}, {"scan.TIFF", "tif"}, {"b.jpeg", "jpe"},        {"film.1", "1"},
        {"noext", "noe"}, {"a.b.PGM", "pgm"},   {"/x/dir.d/file", "fil"}, {"/x/dir.d/f.Raw", "raw"},
        {"ab", "ab"},     {"trailing.", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtensionKey(c.path), c.key) << c.path;
}

// ------------------------------------------------------------ round trips

struct PgxCase {
    int depth;
    bool lm;
};

TEST_F(NativeFiles, PgxRoundTripKeepsSamplesAndLeavesTheImageAlone) {
    const PgxCase cases[] = {{8, true},   {8, false}, {12, true},
                             {12, false}, {16, true}, {16, false}};
    for (const PgxCase& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth) + (c.lm ? " LM" : " ML"));
        CMImage image(7, 5, c.depth);
        FillRandom(image, 11u + c.depth);
        const CMImage before(image);
        const std::string path = PathFor("round.pgx");
        ASSERT_EQ(image.WritePgx(c.lm, path), 1);
        EXPECT_TRUE(image.IsEqual(before)) << "saving changed the image in memory";

        const std::string bytes = ReadFile(path);
        const std::string header =
            std::string("PG ") + (c.lm ? "LM" : "ML") + "  " + std::to_string(c.depth) + " 7 5\n";
        ASSERT_EQ(bytes.substr(0, header.size()), header);
        ASSERT_EQ(bytes.size(), header.size() + before.ByteCount());
        if (c.depth > 8) {
            // The first sample on disk in the stated byte order.
            const auto first = static_cast<uint16_t>(before.GetPixel(0, 0));
            const auto b0 = static_cast<uint8_t>(bytes[header.size()]);
            EXPECT_EQ(b0, c.lm ? (first & 0xFF) : (first >> 8));
        }

        CMImage back;
        std::string description;
        ASSERT_EQ(back.ReadPgx(path, description), 1);
        EXPECT_TRUE(back.IsEqual(before));
        EXPECT_EQ(back.maxValue, before.maxValue);
        EXPECT_EQ(back.valueOffset, 0);
        EXPECT_EQ(description, "");
    }
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(NativeFiles, PgmRoundTripWritesTheDocumentedHeader) {
    const struct {
        int depth;
        const char* header;
    } cases[] = {{1, "P1\n13 3\n"}, {8, "P5\n13 3\n255\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth));
        CMImage image(13, 3, c.depth);
        FillRandom(image, 5u + c.depth);
        const std::string path = PathFor("round.pgm");
        ASSERT_EQ(image.WritePgm(path), 1);
        const std::string bytes = ReadFile(path);
        EXPECT_EQ(bytes, c.header + std::string(reinterpret_cast<const char*>(image.data),
                                                image.ByteCount()));
        CMImage back;
        std::string description;
        ASSERT_EQ(back.ReadPgm(path, description), 1);
        EXPECT_TRUE(back.IsEqual(image));
        EXPECT_EQ(back.maxValue, image.maxValue);
    }
}

TEST_F(NativeFiles, RawRoundTripAtEveryDepthWithOddWidths) {
    const struct {
        int depth;
        int32_t width;
    } cases[] = {{1, 13}, {4, 9}, {8, 7}, {12, 5}, {16, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth));
        CMImage image(c.width, 4, c.depth);
        FillRandom(image, 3u + c.depth);
        const std::string path = PathFor("round.raw");
        ASSERT_EQ(image.WriteRaw(path), 1);
        EXPECT_EQ(fs::file_size(path), image.ByteCount());
        CMImage back;
        ASSERT_EQ(back.ReadRaw(path, c.width, 4, c.depth, false), 1);
        EXPECT_TRUE(back.IsEqual(image));
        EXPECT_EQ(back.maxValue, image.maxValue);
    }
}

// ------------------------------------------------------------ PGX reading

TEST_F(NativeFiles, PgxSamplesAreTheLastBytesOfTheFile) {
    // 3 x 2 at 12 bits, LM: 12 data bytes after some filler the reader must skip.
    const std::string samples =
        Bytes({0x01, 0x00, 0x02, 0x00, 0xFF, 0x0F, 0x00, 0x01, 0x34, 0x12, 0x00, 0x00});
    const std::string path =
        WriteFile("tail.pgx", "PG LM 12 3 2\n" + std::string(37, '\x7f') + samples);
    CMImage image;
    std::string description;
    ASSERT_EQ(image.ReadPgx(path, description), 1);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.depth, 12);
    EXPECT_EQ(image.maxValue, 4095);
    const int expected[2][3] = {{1, 2, 0x0FFF}, {0x100, 0x1234, 0}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(static_cast<uint16_t>(image.GetPixel(x, y)), expected[y][x]) << x << "," << y;
}

TEST_F(NativeFiles, PgxMlSamplesAreSwappedToLittleEndianWords) {
    const std::string path =
        WriteFile("ml.pgx", "PG ML +16 2 1\n" + Bytes({0x12, 0x34, 0xAB, 0xCD}));
    CMImage image;
    std::string description;
    ASSERT_EQ(image.ReadPgx(path, description), 1);
    EXPECT_EQ(image.Row16(0)[0], 0x1234);
    EXPECT_EQ(image.Row16(0)[1], 0xABCD);
}

TEST_F(NativeFiles, PgxHeaderVariants) {
    const std::string data12 = std::string(12, '\x01');
    const struct {
        const char* name;
        std::string bytes;
        int result;
        std::string message;  // empty: no message expected
    } cases[] = {
        {"plus sign", "PG ML +12 3 2\n" + data12, 1, ""},
        {"plus sign apart", "PG ML + 12 3 2\n" + data12, 1, ""},
        {"no sign, tabs and CR", "PG\tLM\t12\t3\t2\r\n" + data12, 1, ""},
        {"minus sign", "PG ML -12 3 2\n" + data12, 0, kSignedMessage},
        {"bad byte order", "PG BE 12 3 2\n" + data12, 0, ""},
        {"depth 7", "PG ML 7 3 2\n" + data12, 0, kDepthMessage},
        {"depth 17", "PG ML 17 3 2\n" + data12, 0, kDepthMessage},
        {"depth 33", "PG ML 33 3 2\n" + data12, 0, kPgxSizeMessage},
        {"depth 0", "PG ML 0 3 2\n" + data12, 0, kPgxSizeMessage},
        {"height missing", "PG ML 12 3\n" + data12, 0, kPgxSizeMessage},
        {"zero width", "PG ML 12 0 2\n" + data12, 0, kPgxSizeMessage},
        {"negative height", "PG ML 12 3 -2\n" + data12, 0, kPgxSizeMessage},
        {"number too large", "PG ML 12 3 99999999999\n" + data12, 0, kPgxSizeMessage},
        {"size on the next line", "PG ML 12\n3 2\n" + data12, 0, kPgxSizeMessage},
        {"wrong magic", "PX ML 12 3 2\n" + data12, 0, ""},
        {"no newline in 256 bytes", "PG ML 12 3 2" + std::string(300, ' '), 0, ""},
        {"empty file", "", 0, ""},
        {"magic only", "PG", 0, ""},
        {"data one byte short", "PG ML 12 3 2\n" + std::string(11, '\x01'), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink_.messages.clear();
        const std::string path = WriteFile("case.pgx", c.bytes);
        CMImage image(4, 4, 8);  // readers must empty whatever was there
        std::string description = "kept\n";
        EXPECT_EQ(image.ReadPgx(path, description), c.result);
        if (c.message.empty()) {
            EXPECT_TRUE(sink_.messages.empty()) << sink_.messages.front();
        } else {
            EXPECT_EQ(sink_.messages, std::vector<std::string>{c.message});
        }
        if (c.result == 1) {
            EXPECT_EQ(image.width, 3);
            EXPECT_EQ(image.height, 2);
            EXPECT_EQ(image.depth, 12);
        } else {
            ExpectEmpty(image);
            EXPECT_EQ(description, "kept\n");
        }
    }
}

TEST_F(NativeFiles, PgxCommentLinesBeforeTheSamplesGoToTheDescription) {
    // The samples are the last bytes: a first sample equal to "#" is a pixel,
    // not a comment, with or without comment lines before it.
    const struct {
        const char* name;
        std::string comments;
        std::string description;
    } cases[] = {
        {"none", "", "before\n"},
        {"three lines", "#first line\n# second\n#\n", "before\nfirst line\n second\n\n"},
        {"unterminated before the samples", "#cut", "before\ncut\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path =
            WriteFile("comments.pgx", "PG LM 8 2 1\n" + c.comments + Bytes({0x23, 0x07}));
        CMImage image;
        std::string description = "before\n";
        ASSERT_EQ(image.ReadPgx(path, description), 1);
        EXPECT_EQ(description, c.description);
        EXPECT_EQ(image.GetPixel(0, 0), 0x23);
        EXPECT_EQ(image.GetPixel(1, 0), 0x07);
    }
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(NativeFiles, PgxLyingSizesFailCleanly) {
    const char* headers[] = {
        "PG LM 16 2000000000 2000000000\n",  // overflows 32-bit row and image sizes
        "PG LM 16 2147483647 2147483647\n",  // overflows 64-bit byte counts if multiplied naively
        "PG LM 16 30000 30000\n",            // within the size limit, far beyond the file
        "PG ML 8 1 100000\n",
    };
    for (const char* header : headers) {
        SCOPED_TRACE(header);
        sink_.messages.clear();
        const std::string path = WriteFile("liar.pgx", header + std::string(64, '\x05'));
        CMImage image;
        std::string description;
        EXPECT_EQ(image.ReadPgx(path, description), 0);
        ExpectEmpty(image);
        EXPECT_TRUE(sink_.messages.empty());
    }
}

TEST_F(NativeFiles, MissingFilesFailSilently) {
    CMImage image(2, 2, 8);
    std::string description;
    EXPECT_EQ(image.ReadPgx(PathFor("none.pgx"), description), 0);
    ExpectEmpty(image);
    EXPECT_EQ(image.ReadPgm(PathFor("none.pgm"), description), 0);
    EXPECT_EQ(image.ReadRaw(PathFor("none.raw"), 2, 2, 8, false), 0);
    ExpectEmpty(image);
    EXPECT_TRUE(sink_.messages.empty());
}

// ------------------------------------------------------------ PGM reading

TEST_F(NativeFiles, PgmHeaderVariants) {
    const struct {
        const char* name;
        std::string bytes;
        int result;
        int depth;
        std::string message;
    } cases[] = {
        {"P1 with a comment", "P1\n# scanned\n3 2\n" + Bytes({0xA0, 0x40, 0xFF}), 1, 1, ""},
        {"P4", "P4\n3 2\n" + Bytes({0xA0, 0x40}), 1, 1, ""},
        {"P2 read as binary", "P2\n2 2\n255\n" + Bytes({1, 2, 3, 4}), 1, 8, ""},
        {"lower-case p5", "p5\n2 2\n255\n" + Bytes({1, 2, 3, 4}), 1, 8, ""},
        {"P3 colour", "P3\n2 2\n255\n" + std::string(12, '\x01'), 0, 0, ""},
        {"P6 colour", "P6\n2 2\n255\n" + std::string(12, '\x01'), 0, 0, ""},
        {"P7", "P7\n2 2\n255\n" + std::string(4, '\x01'), 0, 0, ""},
        {"wrong letter", "Q5\n2 2\n255\n" + std::string(4, '\x01'), 0, 0, ""},
        {"magic line never ends", "P5", 0, 0, kPgmEndMessage},
        {"maximum value missing", "P5\n2 2\n" + Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 0, 0,
         kPgmSizeMessage},
        {"zero height", "P5\n2 0\n255\n" + std::string(4, '\x01'), 0, 0, kPgmSizeMessage},
        {"maximum value above 16 bits", "P5\n2 2\n65536\n" + std::string(8, '\x01'), 0, 0,
         kPgmSizeMessage},
        {"header ends without data line", "P5\n2 2\n255", 0, 0, kPgmEndMessage},
        {"no newline after the size", "P5\n" + std::string(300, ' '), 0, 0, ""},
        {"data one byte short", "P5\n2 2\n255\n" + std::string(3, '\x01'), 0, 0, ""},
        {"lying size", "P5\n2000000000 2000000000\n255\n" + std::string(16, '\x01'), 0, 0, ""},
        {"lying 16-bit size", "P5\n40000 40000\n65535\n" + std::string(16, '\x01'), 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink_.messages.clear();
        const std::string path = WriteFile("case.pgm", c.bytes);
        CMImage image(4, 4, 8);
        std::string description;
        EXPECT_EQ(image.ReadPgm(path, description), c.result);
        if (c.message.empty()) {
            EXPECT_TRUE(sink_.messages.empty()) << sink_.messages.front();
        } else {
            EXPECT_EQ(sink_.messages, std::vector<std::string>{c.message});
        }
        if (c.result == 1) {
            EXPECT_EQ(image.depth, c.depth);
            EXPECT_EQ(image.valueOffset, 0);
        } else {
            ExpectEmpty(image);
        }
    }
}

TEST_F(NativeFiles, PgmBitmapWithCommentReadsPackedRows) {
    const std::string path =
        WriteFile("bits.pgm", "P1\n# scanned\n3 2\n" + Bytes({0xA0, 0x40, 0xFF}));
    CMImage image;
    std::string description;
    ASSERT_EQ(image.ReadPgm(path, description), 1);
    EXPECT_EQ(description, " scanned\n");
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.maxValue, 1);
    const int expected[2][3] = {{1, 0, 1}, {0, 1, 0}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.GetPixel(x, y), expected[y][x]) << x << "," << y;
}

TEST_F(NativeFiles, PgmWithMaximumAbove255ReadsBigEndianWords) {
    const struct {
        int maxval;
        int depth;
    } cases[] = {{256, 9}, {4095, 12}, {16383, 14}, {65535, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxval);
        const std::string path =
            WriteFile("deep.pgm",
                      "P5\n3 1\n" + std::to_string(c.maxval) + "\n" +
                          Bytes({0x00, 0x01, 0x01, 0x00, (c.maxval >> 8) & 0xFF, c.maxval & 0xFF}));
        CMImage image;
        std::string description;
        ASSERT_EQ(image.ReadPgm(path, description), 1);
        EXPECT_EQ(image.depth, c.depth);
        EXPECT_EQ(image.maxValue, (1 << c.depth) - 1);
        EXPECT_EQ(image.Row16(0)[0], 1);
        EXPECT_EQ(image.Row16(0)[1], 256);
        EXPECT_EQ(image.Row16(0)[2], c.maxval);
    }
}

// ------------------------------------------------------------ RAW reading

TEST_F(NativeFiles, RawMsbAlignedSamplesAreShiftedDown) {
    const struct {
        int depth;
        bool msb;
        uint16_t stored;
        uint16_t expected;
    } cases[] = {
        {12, true, 0xABC0, 0x0ABC},
        {14, true, 0xABCC, 0x2AF3},
        {12, false, 0x0ABC, 0x0ABC},
        {16, true, 0xABCD, 0xABCD},  // alignment means nothing for full words
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + (c.msb ? " MSB" : " LSB"));
        const std::string path =
            WriteFile("msb.raw", Bytes({c.stored & 0xFF, c.stored >> 8, 0x00, 0x00}));
        CMImage image;
        ASSERT_EQ(image.ReadRaw(path, 2, 1, c.depth, c.msb), 1);
        EXPECT_EQ(image.Row16(0)[0], c.expected);
        EXPECT_EQ(image.maxValue, (1 << c.depth) - 1);
    }
}

TEST_F(NativeFiles, RawReadsFromTheStartAndRefusesShortFilesAndBadParameters) {
    const std::string path = WriteFile("data.raw", Bytes({1, 2, 3, 4, 5, 6, 7}));
    CMImage image;
    ASSERT_EQ(image.ReadRaw(path, 3, 2, 8, false), 1);  // the seventh byte is ignored
    EXPECT_EQ(image.GetPixel(2, 1), 6);

    const struct {
        const char* name;
        int32_t width, height;
        int depth;
    } bad[] = {
        {"one byte short", 4, 2, 8},   {"unsupported depth", 2, 2, 2},
        {"depth 17", 1, 1, 17},        {"zero width", 0, 2, 8},
        {"negative height", 2, -1, 8}, {"beyond the size limit", 2000000000, 2000000000, 16},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.name);
        CMImage target(2, 2, 8);
        EXPECT_EQ(target.ReadRaw(path, c.width, c.height, c.depth, false), 0);
        ExpectEmpty(target);
    }
    EXPECT_TRUE(sink_.messages.empty());
}

// ------------------------------------------------------------ dispatchers

TEST_F(NativeFiles, OpenPicksTheReaderByExtension) {
    CMImage source(5, 3, 12);
    FillRandom(source, 2);
    ASSERT_EQ(source.WritePgx(false, PathFor("a.PGX")), 1);
    ASSERT_EQ(source.WriteRaw(PathFor("b.1")), 1);
    ASSERT_EQ(source.WriteRaw(PathFor("c.Raw")), 1);

    CMImage image;
    std::string description;
    ASSERT_EQ(image.Open(PathFor("a.PGX"), description), 1);
    EXPECT_TRUE(image.IsEqual(source));

    for (const char* name : {"b.1", "c.Raw"}) {
        SCOPED_TRACE(name);
        std::string askedFor;
        const RawParamsFn params = [&](const std::string& path, CRawParams& p) {
            askedFor = path;
            p = CRawParams{5, 3, 12, false};
            return true;
        };
        image.Free();
        ASSERT_EQ(image.Open(PathFor(name), description, 0, params), 1);
        EXPECT_EQ(askedFor, PathFor(name));
        EXPECT_TRUE(image.IsEqual(source));
    }
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(NativeFiles, OpenRawNeedsItsParameters) {
    const std::string path = WriteFile("d.raw", std::string(16, '\x01'));
    CMImage image(2, 2, 8);
    std::string description;
    const RawParamsFn cancelled = [](const std::string&, CRawParams&) { return false; };
    EXPECT_EQ(image.Open(path, description, 0, cancelled), 0);
    ExpectEmpty(image);
    EXPECT_TRUE(sink_.messages.empty());  // the user cancelled: nothing to tell

    EXPECT_EQ(image.Open(path, description), 0);
    ExpectEmpty(image);
    ASSERT_EQ(sink_.messages.size(), 1u);
    EXPECT_NE(sink_.messages[0].find("RAW"), std::string::npos) << sink_.messages[0];
}

TEST_F(NativeFiles, SaveRefusalsShowTheirMessagesAndKeepTheOldFile) {
    const struct {
        const char* name;
        int depth;
        const char* file;
        std::string message;
    } cases[] = {
        {"16 bit as BMP", 16, "out.bmp", kTwoByteMessage},
        {"12 bit as GIF", 12, "out.gif", kTwoByteMessage},
        {"4 bit as GIF", 4, "out.gif", kGifMessage},
        {"1 bit as GIF", 1, "out.GIF", kGifMessage},
        {"4 bit as PGM", 4, "out.pgm", kPgm4BitMessage},
        {"16 bit as PGM", 16, "out.pgm", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink_.messages.clear();
        const std::string path = WriteFile(c.file, "previous contents");
        CMImage image(3, 3, c.depth);
        FillRandom(image, 9);
        EXPECT_EQ(image.Save(true, path), 0);
        if (c.message.empty()) {
            EXPECT_TRUE(sink_.messages.empty());
        } else {
            EXPECT_EQ(sink_.messages, std::vector<std::string>{c.message});
        }
        EXPECT_EQ(ReadFile(path), "previous contents");
    }
}

TEST_F(NativeFiles, SaveDispatchesNativeKeysAndHonoursTheByteOrderFlag) {
    CMImage image(3, 2, 16);
    FillRandom(image, 4);
    ASSERT_EQ(image.Save(false, PathFor("ml.PGX")), 1);
    ASSERT_EQ(image.Save(true, PathFor("lm.pgx")), 1);
    ASSERT_EQ(image.Save(true, PathFor("plain.raw")), 1);
    EXPECT_EQ(ReadFile(PathFor("ml.PGX")).substr(0, 6), "PG ML ");
    EXPECT_EQ(ReadFile(PathFor("lm.pgx")).substr(0, 6), "PG LM ");
    EXPECT_EQ(ReadFile(PathFor("plain.raw")),
              std::string(reinterpret_cast<const char*>(image.data), image.ByteCount()));

    CMImage bits(10, 2, 1);
    FillRandom(bits, 8);
    ASSERT_EQ(bits.Save(true, PathFor("bits.pgm")), 1);
    EXPECT_EQ(ReadFile(PathFor("bits.pgm")).substr(0, 8), "P1\n10 2\n");

    CMImage empty;
    EXPECT_EQ(empty.Save(true, PathFor("empty.raw")), 0);
    EXPECT_FALSE(fs::exists(PathFor("empty.raw")));
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(NativeFiles, PackedImagesAreNotWrittenAsPgx) {
    // A 1- or 4-bit raster under a PGX header could never be read back.
    for (int depth : {1, 4}) {
        sink_.messages.clear();
        CMImage image(5, 2, depth);
        FillRandom(image, 1);
        EXPECT_EQ(image.WritePgx(true, PathFor("packed.pgx")), 0);
        EXPECT_FALSE(fs::exists(PathFor("packed.pgx")));
        EXPECT_EQ(sink_.messages.size(), 1u);
    }
}

TEST_F(NativeFiles, WritingToAMissingFolderFailsWithAMessage) {
    CMImage image(2, 2, 8);
    image.Clear();
    EXPECT_EQ(image.WriteRaw(PathFor("no/such/folder/x.raw")), 0);
    EXPECT_EQ(image.WritePgm(PathFor("no/such/folder/x.pgm")), 0);
    EXPECT_EQ(image.WritePgx(true, PathFor("no/such/folder/x.pgx")), 0);
    EXPECT_EQ(sink_.messages.size(), 3u);
}

// ------------------------------------------------------------ real files

class RealNativeFiles : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef VISTREL_SHARED_DATA
        GTEST_SKIP() << "no shared data";
#else
        root_ = VISTREL_SHARED_DATA;
        if (!fs::exists(root_)) GTEST_SKIP() << "no shared data at " << root_;
#endif
    }
    testsupport::CRecordingSink sink_;
    CScopedMessageSink guard_{&sink_};
    fs::path root_;
};

struct RealCase {
    const char* file;
    int32_t width, height;
    int depth;
    int minValue, maxValue;
};

TEST_F(RealNativeFiles, MiasMammogramsReadWithTheirKnownRange) {
    const RealCase cases[] = {
        {"mdb001.pgm", 1024, 1024, 8, 0, 221}, {"mdb003.pgm", 1024, 1024, 8, 0, 242},
        {"mdb006.pgm", 1024, 1024, 8, 0, 243}, {"mdb007.pgm", 1024, 1024, 8, 0, 243},
        {"mdb209.pgm", 1024, 1024, 8, 0, 228}, {"mdb213.pgm", 1024, 1024, 8, 0, 240},
        {"mdb216.pgm", 1024, 1024, 8, 0, 239}, {"mdb219.pgm", 1024, 1024, 8, 0, 242},
        {"mdb226.pgm", 1024, 1024, 8, 0, 219}, {"mdb238.pgm", 1024, 1024, 8, 0, 206},
        {"mdb249.pgm", 1024, 1024, 8, 0, 241},
    };
    for (const RealCase& c : cases) {
        SCOPED_TRACE(c.file);
        CMImage image;
        std::string description;
        ASSERT_EQ(image.Open((root_ / "mammograms/mias" / c.file).string(), description), 1);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.depth, c.depth);
        EXPECT_EQ(SampleRange(image), std::make_pair(c.minValue, c.maxValue));
        EXPECT_EQ(description, "");
    }
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(RealNativeFiles, RasterPgmAndPgxFilesReadWithTheirKnownRange) {
    const RealCase cases[] = {
        {"pgm/minisblack-1c-8b.pgm", 157, 151, 8, 0, 229},
        {"pgm/hopper_8bit.pgm", 128, 128, 8, 0, 255},
        {"pgm/hopper_16bit.pgm", 128, 128, 16, 0, 65535},
        {"pgx/c0p0_01.pgx", 128, 128, 8, 9, 254},
        {"pgx/c0p0_14.pgx", 13, 13, 8, 127, 128},
        {"pgx/c0p1_05.pgx", 32, 32, 8, 14, 212},
        {"pgx/c1p0_06_0.pgx", 513, 129, 12, 0, 4095},
        {"pgx/c1p1_04_0.pgx", 1024, 1024, 12, 0, 4095},
    };
    for (const RealCase& c : cases) {
        SCOPED_TRACE(c.file);
        CMImage image;
        std::string description;
        ASSERT_EQ(image.Open((root_ / "raster" / c.file).string(), description), 1);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.depth, c.depth);
        EXPECT_EQ(SampleRange(image), std::make_pair(c.minValue, c.maxValue));
    }
    EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(RealNativeFiles, BigEndianFilesKeepTheirByteOrder) {
    // The first samples of the 12-bit ML file are 0e 24, 0e 4f on disk.
    CMImage pgx;
    std::string description;
    ASSERT_EQ(pgx.ReadPgx((root_ / "raster/pgx/c1p0_06_0.pgx").string(), description), 1);
    EXPECT_EQ(pgx.Row16(0)[0], 0x0E24);
    EXPECT_EQ(pgx.Row16(0)[1], 0x0E4F);

    // The 16-bit hopper is the 8-bit one with each byte repeated.
    CMImage deep, shallow;
    ASSERT_EQ(deep.ReadPgm((root_ / "raster/pgm/hopper_16bit.pgm").string(), description), 1);
    ASSERT_EQ(shallow.ReadPgm((root_ / "raster/pgm/hopper_8bit.pgm").string(), description), 1);
    for (int32_t y = 0; y < shallow.height; ++y)
        for (int32_t x = 0; x < shallow.width; ++x)
            ASSERT_EQ(deep.Row16(y)[x], shallow.Row(y)[x] * 0x101) << x << "," << y;
}

TEST_F(RealNativeFiles, PlainPgmDataIsTakenAsBinaryBytes) {
    // P2 files are read like P5: the bytes after the header, text or not.
    const std::string path = (root_ / "raster/pgm/hopper_8bit_plain.pgm").string();
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    CMImage image;
    std::string description;
    ASSERT_EQ(image.ReadPgm(path, description), 1);
    EXPECT_EQ(image.width, 128);
    EXPECT_EQ(image.height, 128);
    EXPECT_EQ(image.depth, 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data), image.ByteCount()),
              bytes.substr(15, image.ByteCount()));
}

TEST_F(RealNativeFiles, SignedPgxFilesAreRefused) {
    for (const char* file : {"c0p0_07.pgx", "c1p0_08_0.pgx", "c0p0_03r0.pgx"}) {
        SCOPED_TRACE(file);
        sink_.messages.clear();
        CMImage image;
        std::string description;
        EXPECT_EQ(image.Open((root_ / "raster/pgx" / file).string(), description), 0);
        ExpectEmpty(image);
        EXPECT_EQ(sink_.messages, std::vector<std::string>{kSignedMessage});
    }
}
