// Reading and saving DICOM files as the open and save dispatchers do: the
// depth and value-offset rule of the built-in path, the engine plug-in path,
// saving through the engines, and the real files of the shared data.

#include "core/dicom_load.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "core/dicom_engine.h"
#include "core/dicom_log.h"
#include "core/image.h"
#include "core/messages.h"
#include "support/dicom_test_writer.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"

using namespace vistrel;
using dicomtest::DicomWriter;
using dicomtest::Syntax;
namespace fs = std::filesystem;

namespace {

// ------------------------------------------------------------ fake engines

struct FakeEngine {
    // What LoadDicomFile returns.
    int32_t width = 3;
    int32_t height = 2;
    int32_t depth = 12;
    std::vector<uint16_t> values = {1, 2, 3, 4000, 5, 6};
    bool fail = false;
    // What it saw.
    int loadCalls = 0;
    int option = -1;
    std::string loadPath;
    VTDicomHeaderBlock* headerGiven = nullptr;
    // Saving.
    bool writeFile = true;
    int saveCalls = 0;
    std::string savePath;
    std::vector<uint8_t> savedSamples;
    int32_t savedCount = 0, savedDepth = 0, savedWidth = 0, savedHeight = 0;
    std::string savedHeader;  // block1 of the header handed over, "<null>" for none
};

FakeEngine engineA;
FakeEngine engineB;

template <FakeEngine* E>
uint8_t* FakeLoad(const char* path, int32_t option, int32_t* width, int32_t* height, int32_t* depth,
                  VTDicomHeaderBlock** header) {
    E->loadCalls++;
    E->option = option;
    E->loadPath = path;
    E->headerGiven = header ? *header : nullptr;
    if (E->fail) return nullptr;
    *width = E->width;
    *height = E->height;
    *depth = E->depth;
    if (header && *header) {
        (*header)->block1 = static_cast<uint8_t*>(std::malloc(3));
        std::memcpy((*header)->block1, "abc", 3);
        (*header)->length1 = 3;
        (*header)->block2 = static_cast<uint8_t*>(std::malloc(2));
        std::memcpy((*header)->block2, "xy", 2);
        (*header)->length2 = 2;
    }
    const std::size_t count = std::size_t(E->width) * E->height;
    const std::size_t bytes = E->depth <= 8 ? count : 2 * count;
    uint8_t* samples = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
    for (std::size_t i = 0; i < count; ++i) {
        const uint16_t v =
            E->values.empty() ? static_cast<uint16_t>(i) : E->values[i % E->values.size()];
        if (E->depth <= 8) {
            samples[i] = static_cast<uint8_t>(v);
        } else {
            std::memcpy(samples + 2 * i, &v, 2);
        }
    }
    return samples;
}

template <FakeEngine* E>
void FakeSave(const char* path, const uint8_t* samples, int32_t count, int32_t depth, int32_t width,
              int32_t height, const VTDicomHeaderBlock* header) {
    E->saveCalls++;
    E->savePath = path;
    const std::size_t bytes = depth <= 8 ? std::size_t(count) : 2 * std::size_t(count);
    E->savedSamples.assign(samples, samples + bytes);
    E->savedCount = count;
    E->savedDepth = depth;
    E->savedWidth = width;
    E->savedHeight = height;
    E->savedHeader = header && header->block1
                         ? std::string(reinterpret_cast<char*>(header->block1), header->length1)
                         : "<null>";
    if (!E->writeFile) return;
    std::ofstream out(path, std::ios::binary);
    out << "engine-file:" << width << "x" << height;
}

// Bytes the heap has handed out (arena and mapped blocks): a leaked megabyte
// of samples shows up here.
std::size_t HeapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

class DicomLoadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(folder_);
        engineA = FakeEngine{};
        engineB = FakeEngine{};
        SetDicomReadingOption(0);
        // Reader warnings would only clutter the test output.
        SetDicomLogLevel(DicomLogLevel::Critical);
    }
    void TearDown() override {
        SetDicomEngineProvider({});
        SetDicomReadingOption(0);
        SetDicomLogLevel(DicomLogLevel::Notice);
    }

    // The fakes record their calls in this process, so they run in it.
    void UseEngines(std::vector<CDicomEngine> engines) {
        for (CDicomEngine& engine : engines) engine.isolated = false;
        SetDicomEngineProvider([engines] { return engines; });
    }

    // A sound file for the engine paths: the host checks a file's structure
    // before any engine sees it. Its samples differ from every fake's.
    // It lies beside the test folder, away from the files the save tests count.
    std::string EngineFile() {
        DicomWriter w(Syntax{true, false});
        w.Preamble("1.2.840.10008.1.2.1");
        w.Image(1, 3, 16, 16, 15).Pixels16({777, 777, 777});
        const fs::path path = folder_.string() + "_engine.dcm";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(w.bytes.data()),
                   static_cast<std::streamsize>(w.bytes.size()));
        return path.string();
    }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // A 16-bit grey file holding `samples` in one row.
    std::string WriteGrey(const std::string& name, const std::vector<uint16_t>& samples) {
        DicomWriter w(Syntax{true, false});
        w.Preamble("1.2.840.10008.1.2.1");
        w.Image(1, static_cast<uint16_t>(samples.size()), 16, 16, 15).Pixels16(samples);
        return Write(name, w.bytes);
    }

    std::vector<std::string> FilesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    testsupport::CScratchDir scratch_{"vistrel_dicom_load"};
    fs::path folder_ = scratch_.path() / "files";
};

uint16_t Sample(const CMImage& image, int32_t x, int32_t y) {
    return static_cast<uint16_t>(image.GetPixel(x, y));
}

// ------------------------------------------------------- built-in depth rule

TEST_F(DicomLoadTest, DepthFollowsTheBitsTheSamplesUse) {
    struct Case {
        const char* name;
        std::vector<uint16_t> samples;
        int depth;
        uint16_t maxValue;
        uint16_t offset;
    } cases[] = {
        {"12-bit mammogram", {0, 4000, 17, 1024}, 12, 4095, 1024},
        {"largest 200", {0, 200, 17, 100}, 8, 255, 0},
        {"largest 255", {255, 1, 2, 3}, 8, 255, 0},
        {"largest 256", {256, 1, 2, 3}, 9, 511, 1024},
        {"full 16 bits", {65535, 0, 1, 2}, 16, 65535, 1024},
        // No significant bit at all: an 8-bit image of zeros, not a loop.
        {"all zero", {0, 0, 0, 0}, 8, 255, 0},
        {"one bit", {1, 0, 1, 0}, 8, 255, 0},
    };
    for (const Case& c : cases) {
        const std::string path = WriteGrey("depth.dcm", c.samples);
        CMImage image;
        std::string description;
        ASSERT_EQ(image.Open(path, description), 1) << c.name;
        EXPECT_EQ(image.width, static_cast<int32_t>(c.samples.size())) << c.name;
        EXPECT_EQ(image.height, 1) << c.name;
        EXPECT_EQ(image.depth, c.depth) << c.name;
        EXPECT_EQ(image.maxValue, c.maxValue) << c.name;
        EXPECT_EQ(image.valueOffset, c.offset) << c.name;
        EXPECT_EQ(image.bytesPerRow, RowBytesFor(image.width, c.depth)) << c.name;
        EXPECT_EQ(image.dicomHeader, nullptr) << c.name;
        for (std::size_t x = 0; x < c.samples.size(); ++x) {
            EXPECT_EQ(Sample(image, static_cast<int32_t>(x), 0), c.samples[x]) << c.name;
        }
    }
}

TEST_F(DicomLoadTest, ColourPicturesBecomeGreyLevels) {
    DicomWriter w(Syntax{true, false});
    w.Preamble("1.2.840.10008.1.2.1");
    // Interleaved RGB: white, red, green, blue.
    w.Image(1, 4, 8, 8, 7, 0, "RGB", 3).Pixels8({255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255});
    const std::string path = Write("colour.dcm", w.bytes);
    CMImage image;
    ASSERT_EQ(LoadDicom(image, path), 1);
    EXPECT_EQ(image.depth, 8);
    EXPECT_EQ(Sample(image, 0, 0), 255);
    EXPECT_EQ(Sample(image, 1, 0), 76);   // 0.299 * 255
    EXPECT_EQ(Sample(image, 2, 0), 150);  // 0.587 * 255
    EXPECT_EQ(Sample(image, 3, 0), 29);   // 0.114 * 255
}

TEST_F(DicomLoadTest, FailureLeavesTheImageEmpty) {
    CMImage image(4, 4, 12, 1024);
    image.dicomHeader = new DicomHeaderBlock;
    std::vector<uint8_t> junk(300, 0x41);
    const std::string path = Write("junk.dcm", junk);
    std::string description;
    EXPECT_EQ(image.Open(path, description), 0);
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.dicomHeader, nullptr);
    EXPECT_EQ(image.valueOffset, 0);
    EXPECT_EQ(LoadDicom(image, (folder_ / "missing.dcm").string()), 0);
    EXPECT_EQ(image.data, nullptr);
}

TEST_F(DicomLoadTest, DispatcherKeysOnTheExtension) {
    const std::string path = WriteGrey("upper.DCM", {1, 2, 3000});
    CMImage image;
    std::string description;
    ASSERT_EQ(image.Open(path, description), 1);
    EXPECT_EQ(image.depth, 12);
    EXPECT_EQ(Sample(image, 2, 0), 3000);
}

// ------------------------------------------------------------- engine path

TEST_F(DicomLoadTest, EngineReadsInsteadOfTheBuiltInReader) {
    UseEngines({{&FakeLoad<&engineA>, &FakeSave<&engineA>}});
    SetDicomReadingOption(1);
    // The file's own samples are 777: what the image holds came from the engine.
    const std::string path = EngineFile();
    CMImage image;
    std::string description;
    ASSERT_EQ(image.Open(path, description), 1);
    EXPECT_EQ(engineA.loadCalls, 1);
    EXPECT_EQ(engineA.option, 1);
    EXPECT_EQ(engineA.loadPath, path);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.depth, 12);
    EXPECT_EQ(image.maxValue, 4095);
    EXPECT_EQ(image.valueOffset, 0);
    EXPECT_EQ(Sample(image, 0, 0), 1);
    EXPECT_EQ(Sample(image, 0, 1), 4000);
    EXPECT_EQ(Sample(image, 2, 1), 6);
    // The engine filled the image's own header block, which the image keeps
    // and copies.
    ASSERT_NE(image.dicomHeader, nullptr);
    EXPECT_EQ(reinterpret_cast<VTDicomHeaderBlock*>(image.dicomHeader), engineA.headerGiven);
    ASSERT_EQ(image.dicomHeader->length1, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image.dicomHeader->block1), 3), "abc");
    CMImage copy(image);
    ASSERT_NE(copy.dicomHeader, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(copy.dicomHeader->block2), 2), "xy");
}

TEST_F(DicomLoadTest, EngineSamplesOfEveryDepthAreCopied) {
    struct Case {
        int depth;
        std::vector<uint16_t> values;
    } cases[] = {{1, {0, 1, 1, 0, 1, 0}},
                 {4, {15, 0, 7, 8, 1, 2}},
                 {8, {255, 0, 128, 7, 1, 2}},
                 {16, {65535, 0, 40000, 7, 1, 2}}};
    UseEngines({{&FakeLoad<&engineA>, nullptr}});
    for (const Case& c : cases) {
        engineA.depth = c.depth;
        engineA.values = c.values;
        CMImage image;
        ASSERT_EQ(LoadDicom(image, EngineFile()), 1) << c.depth;
        EXPECT_EQ(image.depth, c.depth);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(Sample(image, i % 3, i / 3), c.values[i]) << "depth " << c.depth << " " << i;
        }
    }
}

TEST_F(DicomLoadTest, EngineSamplesAreFreedAndUnsupportedDepthsEmptyTheImage) {
    UseEngines({{&FakeLoad<&engineA>, nullptr}});
    engineA.width = 1024;
    engineA.height = 512;
    engineA.values.clear();
    const std::string path = EngineFile();
    // The fake keeps the path it was given: room for it first, so that its
    // copy is not counted as kept samples.
    engineA.loadPath.reserve(path.size() + 1);
    for (const int depth : {16, 5, 17, 0}) {
        engineA.depth = depth;
        const std::size_t before = HeapBytesInUse();
        {
            CMImage image;
            const int result = LoadDicom(image, path);
            EXPECT_EQ(result, depth == 16 ? 1 : 0) << depth;
            if (depth != 16) {
                EXPECT_EQ(image.data, nullptr) << depth;
                EXPECT_EQ(image.dicomHeader, nullptr) << depth;
            }
        }
        EXPECT_EQ(HeapBytesInUse(), before) << "samples of depth " << depth << " were not freed";
    }
}

TEST_F(DicomLoadTest, WithSeveralEnginesTheLastResultRemains) {
    UseEngines({{&FakeLoad<&engineA>, nullptr}, {&FakeLoad<&engineB>, nullptr}});
    engineB.values = {9, 9, 9, 9, 9, 9};
    CMImage image;
    ASSERT_EQ(LoadDicom(image, EngineFile()), 1);
    EXPECT_EQ(engineA.loadCalls, 1);
    EXPECT_EQ(engineB.loadCalls, 1);
    EXPECT_EQ(Sample(image, 0, 0), 9);

    engineB.fail = true;
    EXPECT_EQ(LoadDicom(image, EngineFile()), 0);
    EXPECT_EQ(engineA.loadCalls, 2);
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.dicomHeader, nullptr);
}

TEST_F(DicomLoadTest, AnEngineThatCannotLoadLeavesReadingToTheBuiltInReader) {
    UseEngines({{nullptr, &FakeSave<&engineA>}});
    const std::string path = WriteGrey("builtin.dcm", {5, 6, 700});
    CMImage image;
    ASSERT_EQ(LoadDicom(image, path), 1);
    EXPECT_EQ(image.depth, 10);
    EXPECT_EQ(image.valueOffset, 1024);
    EXPECT_EQ(engineA.loadCalls, 0);
}

// ------------------------------------------------------------------- saving

TEST_F(DicomLoadTest, SavingWithoutAnEngineFailsAndSaysSo) {
    testsupport::CRecordingSink sink;
    CScopedMessageSink guard(&sink);
    CMImage image(3, 2, 12);
    image.Clear();
    const std::string path = (folder_ / "out.dcm").string();
    EXPECT_EQ(image.Save(true, path), 0);
    EXPECT_FALSE(fs::exists(path));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].find("DICOM engine"), std::string::npos);
}

TEST_F(DicomLoadTest, EnginesSaveTheRasterAndTheHeaderThroughATemporaryFile) {
    testsupport::CRecordingSink sink;
    CScopedMessageSink guard(&sink);
    UseEngines({{&FakeLoad<&engineA>, &FakeSave<&engineA>}});
    CMImage image;
    ASSERT_EQ(LoadDicom(image, EngineFile()), 1);
    const std::string path = (folder_ / "out.dcm").string();
    ASSERT_EQ(image.Save(true, path), 1);
    EXPECT_EQ(engineA.saveCalls, 1);
    EXPECT_NE(engineA.savePath, path);  // written beside it, then renamed
    EXPECT_EQ(fs::path(engineA.savePath).parent_path(), folder_);
    EXPECT_EQ(engineA.savedCount, 6);
    EXPECT_EQ(engineA.savedDepth, 12);
    EXPECT_EQ(engineA.savedWidth, 3);
    EXPECT_EQ(engineA.savedHeight, 2);
    EXPECT_EQ(engineA.savedSamples, std::vector<uint8_t>(image.data, image.data + 12));
    EXPECT_EQ(engineA.savedHeader, "abc");
    std::string written;
    ASSERT_TRUE(ReadWholeFile(path, written));
    EXPECT_EQ(written, "engine-file:3x2");
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"out.dcm"});
    EXPECT_TRUE(sink.messages.empty());

    // An image that did not come from the engine has no header to hand over.
    CMImage plain(2, 2, 8);
    plain.Clear();
    ASSERT_EQ(SaveDicom(plain, path), 1);
    EXPECT_EQ(engineA.savedHeader, "<null>");
}

TEST_F(DicomLoadTest, AnEngineThatWritesNothingFailsAndKeepsTheOldFile) {
    testsupport::CRecordingSink sink;
    CScopedMessageSink guard(&sink);
    UseEngines({{nullptr, &FakeSave<&engineA>}});
    engineA.writeFile = false;
    const std::string path = (folder_ / "keep.dcm").string();
    std::ofstream(path) << "old contents";
    CMImage image(3, 2, 16);
    image.Clear();
    EXPECT_EQ(SaveDicom(image, path), 0);
    EXPECT_EQ(engineA.saveCalls, 1);
    std::string contents;
    ASSERT_TRUE(ReadWholeFile(path, contents));
    EXPECT_EQ(contents, "old contents");
    EXPECT_EQ(FilesInFolder(), std::vector<std::string>{"keep.dcm"});
    EXPECT_EQ(sink.messages.size(), 1u);
}

// ------------------------------------------------------- shared real files

struct RealFile {
    const char* name;
    bool readable;
    int32_t width, height;
    int depth;
    uint16_t offset;
    uint16_t minimum, maximum;  // stored samples
    struct Pixel {
        int32_t x, y;
        uint16_t value;
    };
    std::vector<Pixel> pixels;
};

// Expected values measured with pydicom on the stored values; signed images
// come shifted by their minimum, multi-frame files give their first frame.
const std::vector<RealFile> kRealFiles = {
    {"MR_small.dcm",
     true,
     64,
     64,
     11,
     1024,
     0,
     2018,
     {{0, 0, 778}, {32, 21, 116}, {63, 63, 735}, {21, 32, 73}}},
    {"MR_small_implicit.dcm",
     true,
     64,
     64,
     11,
     1024,
     0,
     2018,
     {{0, 0, 778}, {32, 21, 116}, {63, 63, 735}}},
    {"MR_small_bigendian.dcm",
     true,
     64,
     64,
     11,
     1024,
     0,
     2018,
     {{0, 0, 778}, {32, 21, 116}, {63, 63, 735}}},
    {"MR_small_RLE.dcm",
     true,
     64,
     64,
     11,
     1024,
     0,
     2018,
     {{0, 0, 778}, {32, 21, 116}, {63, 63, 735}}},
    {"CT_small.dcm",
     true,
     128,
     128,
     12,
     1024,
     0,
     2063,
     {{0, 0, 47}, {64, 42, 1239}, {127, 127, 781}, {42, 64, 1514}}},
    {"emri_small.dcm",
     true,
     64,
     64,
     9,
     1024,
     0,
     425,
     {{0, 0, 31}, {32, 21, 194}, {63, 63, 135}, {21, 32, 52}}},
    {"emri_small_RLE.dcm",
     true,
     64,
     64,
     9,
     1024,
     0,
     425,
     {{0, 0, 31}, {32, 21, 194}, {63, 63, 135}}},
    {"emri_small_big_endian.dcm",
     true,
     64,
     64,
     9,
     1024,
     0,
     425,
     {{0, 0, 31}, {32, 21, 194}, {63, 63, 135}}},
    {"MR2_UNCI.dcm",
     true,
     1024,
     1024,
     10,
     1024,
     0,
     600,
     {{512, 341, 99}, {341, 512, 325}, {1023, 1023, 0}}},
    {"OT_Implicit_Little_Headless.dcm",
     true,
     512,
     512,
     8,
     0,
     0,
     199,
     {{256, 170, 135}, {170, 256, 114}}},
    {"MG_Explicit_Little.dcm", true, 512, 512, 8, 0, 0, 255, {{23, 10, 255}, {0, 0, 0}}},
    {"MR_Explicit_Little_MultiFrame.dcm",
     true,
     256,
     256,
     8,
     0,
     0,
     252,
     {{128, 85, 84}, {85, 128, 156}}},
    {"MG-Im-GE-SenDS-scaled.dcm",
     true,
     4,
     4,
     14,
     1024,
     996,
     16383,
     {{0, 0, 1063}, {2, 1, 10940}, {3, 3, 16383}, {1, 2, 1014}}},
    // Compressed with JPEG of some kind, truncated, or deflated: not decodable here.
    {"JPEG-LL.dcm", false, 0, 0, 0, 0, 0, 0, {}},
    {"JPEGBaseline_1s_1f_u_08_08.dcm", false, 0, 0, 0, 0, 0, 0, {}},
    {"JPEGLossless_1s_1f_u_16_12.dcm", false, 0, 0, 0, 0, 0, 0, {}},
    {"JPGExtended.dcm", false, 0, 0, 0, 0, 0, 0, {}},
    {"MR_small_jpeg_ls_lossless.dcm", false, 0, 0, 0, 0, 0, 0, {}},
    {"RG3_J2KR.dcm", false, 0, 0, 0, 0, 0, 0, {}},
    {"MR_truncated.dcm", false, 0, 0, 0, 0, 0, 0, {}},
    {"image_dfl.dcm", false, 0, 0, 0, 0, 0, 0, {}},
};

TEST_F(DicomLoadTest, SharedFilesGiveTheirSizesAndSamples) {
#ifndef VISTREL_SHARED_DATA
    GTEST_SKIP() << "no shared data";
#else
    const fs::path folder = fs::path(VISTREL_SHARED_DATA) / "dicom";
    if (!fs::is_directory(folder)) GTEST_SKIP() << folder << " is absent";
    std::size_t present = 0;
    for (const RealFile& f : kRealFiles) {
        const fs::path path = folder / f.name;
        if (!fs::exists(path)) {
            ADD_FAILURE() << f.name << " is missing from the shared data";
            continue;
        }
        ++present;
        CMImage image;
        std::string description;
        const int result = image.Open(path.string(), description);
        if (!f.readable) {
            EXPECT_EQ(result, 0) << f.name;
            EXPECT_EQ(image.data, nullptr) << f.name;
            continue;
        }
        ASSERT_EQ(result, 1) << f.name;
        EXPECT_EQ(image.width, f.width) << f.name;
        EXPECT_EQ(image.height, f.height) << f.name;
        EXPECT_EQ(image.depth, f.depth) << f.name;
        EXPECT_EQ(image.valueOffset, f.offset) << f.name;
        uint16_t lo = 0xFFFF, hi = 0;
        for (int32_t y = 0; y < image.height; ++y) {
            for (int32_t x = 0; x < image.width; ++x) {
                lo = std::min(lo, Sample(image, x, y));
                hi = std::max(hi, Sample(image, x, y));
            }
        }
        EXPECT_EQ(lo, f.minimum) << f.name;
        EXPECT_EQ(hi, f.maximum) << f.name;
        for (const auto& p : f.pixels) {
            EXPECT_EQ(Sample(image, p.x, p.y), p.value) << f.name << " at " << p.x << "," << p.y;
        }
    }
    EXPECT_EQ(present, kRealFiles.size());
#endif
}

}  // namespace
