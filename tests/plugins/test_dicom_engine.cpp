// The shipped "Dicom engine" plug-in, loaded the way the program loads it:
// scanned from the plug-in folder beside the executables and found through
// the image core's engine look-up.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/dicom_engine.h"
#include "core/dicom_log.h"
#include "core/display.h"
#include "core/image.h"
#include "support/dicom_test_writer.h"
#include "support/scratch_dir.h"
#include "workspace/plugins.h"

namespace vistrel {
namespace {

namespace fs = std::filesystem;

// What LoadDicomFile returned, unpacked to one value per pixel.
struct CLoaded {
    bool ok = false;
    int32_t width = 0, height = 0, depth = 0;
    std::vector<uint16_t> samples;
    DicomHeaderBlock header;
    uint16_t Min() const { return *std::min_element(samples.begin(), samples.end()); }
    uint16_t Max() const { return *std::max_element(samples.begin(), samples.end()); }
};

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class DicomEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef VISTREL_DICOM_ENGINE_BUILT
        GTEST_SKIP() << "the DICOM engine is not built (GDCM missing)";
#endif
        manager.ScanPlugIns(VISTREL_PLUGIN_DIR);
        const std::vector<CDicomEngine> engines = FindDicomEngines();
        ASSERT_EQ(engines.size(), 1u) << "one engine in " << VISTREL_PLUGIN_DIR;
        engine = engines.front();
        ASSERT_NE(engine.load, nullptr);
        ASSERT_NE(engine.save, nullptr);
    }

    static std::string DataFile(const std::string& name) {
        return std::string(VISTREL_SHARED_DATA) + "/dicom/" + name;
    }
    static bool HaveData() {
        return fs::is_directory(std::string(VISTREL_SHARED_DATA) + "/dicom");
    }

    CLoaded Load(const std::string& path, int option) const {
        CLoaded loaded;
        DicomHeaderBlock* block = &loaded.header;
        uint8_t* samples =
            engine.load(path.c_str(), option, &loaded.width, &loaded.height, &loaded.depth,
                        reinterpret_cast<VTDicomHeaderBlock**>(&block));
        if (!samples) return loaded;
        loaded.ok = true;
        const std::size_t count = std::size_t(loaded.width) * std::size_t(loaded.height);
        loaded.samples.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            loaded.samples[i] =
                loaded.depth <= 8 ? samples[i]
                                  : static_cast<uint16_t>(samples[2 * i] | samples[2 * i + 1] << 8);
        std::free(samples);
        return loaded;
    }

    CPlugInManager manager;
    CDicomEngine engine;
};

// Rows, columns and stored range of every file of the shared data, whatever
// its transfer syntax. Multi-frame files give their first frame, whose range
// lies within the range over all frames.
struct CDicomCase {
    const char* file;
    int32_t width, height, depth;
    uint16_t min, max;
    bool multiFrame;
};

const CDicomCase kDicomCases[] = {
    {"MR_small_implicit.dcm", 64, 64, 16, 127, 2145, false},
    {"MR_small.dcm", 64, 64, 16, 127, 2145, false},
    {"MR_small_bigendian.dcm", 64, 64, 16, 127, 2145, false},
    {"MR_small_RLE.dcm", 64, 64, 16, 127, 2145, false},
    {"MR_small_jpeg_ls_lossless.dcm", 64, 64, 16, 127, 2145, false},
    {"CT_small.dcm", 128, 128, 16, 128, 2191, false},
    {"JPGExtended.dcm", 256, 1024, 12, 0, 264, false},
    {"image_dfl.dcm", 512, 512, 8, 0, 255, false},
    {"emri_small.dcm", 64, 64, 12, 0, 467, true},
    {"emri_small_RLE.dcm", 64, 64, 12, 0, 467, true},
    {"emri_small_big_endian.dcm", 64, 64, 12, 0, 467, true},
    {"JPEG-LL.dcm", 256, 1024, 16, 0, 278, false},
    {"MR2_UNCI.dcm", 1024, 1024, 12, 0, 600, false},
    {"JPEGBaseline_1s_1f_u_08_08.dcm", 100, 100, 8, 0, 255, false},
    {"JPEGLossless_1s_1f_u_16_12.dcm", 1024, 1024, 12, 0, 595, false},
    {"RG3_J2KR.dcm", 1760, 1760, 10, 0, 1023, false},
    {"OT_Implicit_Little_Headless.dcm", 512, 512, 8, 0, 199, false},
    {"MG_Explicit_Little.dcm", 512, 512, 8, 0, 255, false},
    {"MR_Explicit_Little_MultiFrame.dcm", 256, 256, 8, 0, 252, true},
    {"MG-Im-GE-SenDS-scaled.dcm", 4, 4, 14, 996, 16383, false},
};

TEST_F(DicomEngineTest, EveryTransferSyntaxOpensWithItsSizeDepthAndRange) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    for (const CDicomCase& c : kDicomCases) {
        SCOPED_TRACE(c.file);
        const CLoaded loaded = Load(DataFile(c.file), 0);
        ASSERT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.width, c.width);
        EXPECT_EQ(loaded.height, c.height);
        EXPECT_EQ(loaded.depth, c.depth);
        if (c.multiFrame) {
            EXPECT_GE(loaded.Min(), c.min);
            EXPECT_LE(loaded.Max(), c.max);
            EXPECT_GT(loaded.Max(), loaded.Min());
        } else {
            EXPECT_EQ(loaded.Min(), c.min);
            EXPECT_EQ(loaded.Max(), c.max);
        }
        // The kept header names the reading option used.
        EXPECT_NE(loaded.header.block2, nullptr);
    }
}

TEST_F(DicomEngineTest, TheSameImageInDifferentSyntaxesGivesTheSameSamples) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    const std::vector<std::vector<const char*>> groups = {
        {"MR_small.dcm", "MR_small_implicit.dcm", "MR_small_bigendian.dcm", "MR_small_RLE.dcm",
         "MR_small_jpeg_ls_lossless.dcm"},
        {"emri_small.dcm", "emri_small_RLE.dcm", "emri_small_big_endian.dcm"},
    };
    for (const auto& group : groups) {
        const CLoaded reference = Load(DataFile(group.front()), 0);
        ASSERT_TRUE(reference.ok) << group.front();
        for (const char* file : group) {
            const CLoaded other = Load(DataFile(file), 0);
            ASSERT_TRUE(other.ok) << file;
            EXPECT_EQ(other.samples, reference.samples) << file << " vs " << group.front();
        }
    }
}

TEST_F(DicomEngineTest, FilesThatAreNotDicomImagesGiveNoSamples) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    const std::string pgm = std::string(VISTREL_SHARED_DATA) + "/raster/pgm/hopper_8bit.pgm";
    for (const std::string& path : {pgm, std::string("/nonexistent/file.dcm"), std::string()}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(Load(path, 0).ok);
        EXPECT_FALSE(Load(path, 1).ok);
    }
}

// Rendered pixels follow the display pipeline: stored order kept for
// MONOCHROME2, reversed for MONOCHROME1 (white = low value), on the same
// raster size and depth.
TEST_F(DicomEngineTest, RenderedPixelsKeepOrReverseTheStoredOrder) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    struct CRenderCase {
        const char* file;
        bool monochrome1;
    };
    for (const CRenderCase& c :
         {CRenderCase{"MG-Im-GE-SenDS-scaled.dcm", true}, CRenderCase{"RG3_J2KR.dcm", true},
          CRenderCase{"MR2_UNCI.dcm", false}}) {
        SCOPED_TRACE(c.file);
        const CLoaded raw = Load(DataFile(c.file), 0);
        const CLoaded rendered = Load(DataFile(c.file), 1);
        ASSERT_TRUE(raw.ok);
        ASSERT_TRUE(rendered.ok);
        ASSERT_EQ(rendered.width, raw.width);
        ASSERT_EQ(rendered.height, raw.height);
        EXPECT_EQ(rendered.depth, raw.depth);
        EXPECT_NE(rendered.samples, raw.samples);
        const std::size_t lowest =
            std::min_element(raw.samples.begin(), raw.samples.end()) - raw.samples.begin();
        const std::size_t highest =
            std::max_element(raw.samples.begin(), raw.samples.end()) - raw.samples.begin();
        if (c.monochrome1)
            EXPECT_GT(rendered.samples[lowest], rendered.samples[highest]);
        else
            EXPECT_LT(rendered.samples[lowest], rendered.samples[highest]);
        // Monotonic: no pair of pixels changes order the wrong way.
        std::size_t wrongOrder = 0;
        for (std::size_t i = 1; i < raw.samples.size(); i += 7) {
            const int dRaw = int(raw.samples[i]) - int(raw.samples[i - 1]);
            const int dOut = int(rendered.samples[i]) - int(rendered.samples[i - 1]);
            if (c.monochrome1 ? dRaw * dOut > 0 : dRaw * dOut < 0) ++wrongOrder;
        }
        EXPECT_EQ(wrongOrder, 0u);
    }
}

class DicomSaveTest : public DicomEngineTest {
  protected:
    // 12-bit samples over the whole range in the raster layout.
    static std::vector<uint8_t> TwelveBitRaster(int width, int height,
                                                std::vector<uint16_t>& values) {
        std::vector<uint8_t> raster(std::size_t(width) * height * 2);
        values.resize(std::size_t(width) * height);
        for (std::size_t i = 0; i < values.size(); ++i) {
            values[i] = static_cast<uint16_t>((i * 389) % 4096);
            raster[2 * i] = static_cast<uint8_t>(values[i] & 0xFF);
            raster[2 * i + 1] = static_cast<uint8_t>(values[i] >> 8);
        }
        return raster;
    }
    // A folder of its own: other checkouts may run the same tests at once.
    testsupport::CScratchDir scratch{"vistrel_dicom"};
    fs::path folder = scratch.path();
};

TEST_F(DicomSaveTest, ATwelveBitImageSurvivesSaveAndReload) {
    const int width = 37, height = 23;
    std::vector<uint16_t> values;
    const std::vector<uint8_t> raster = TwelveBitRaster(width, height, values);
    const std::string path = (folder / "twelve.dcm").string();
    engine.save(path.c_str(), raster.data(), width * height, 12, width, height, nullptr);
    ASSERT_TRUE(fs::exists(path));
    const CLoaded back = Load(path, 0);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.width, width);
    EXPECT_EQ(back.height, height);
    EXPECT_EQ(back.depth, 12);
    EXPECT_EQ(back.samples, values);
    // Saved without a header it is a secondary capture: no rescale or window,
    // so the rendered pixels are the stored ones stretched over the range.
    const CLoaded rendered = Load(path, 1);
    ASSERT_TRUE(rendered.ok);
    EXPECT_EQ(rendered.Min(), 0);
    EXPECT_EQ(rendered.Max(), 4095);
}

TEST_F(DicomSaveTest, SavingWithTheKeptHeaderKeepsThePatientAndWritesTheNewPixels) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    const CLoaded original = Load(DataFile("MR2_UNCI.dcm"), 0);
    ASSERT_TRUE(original.ok);
    ASSERT_NE(original.header.block1, nullptr);
    // A cut-down, changed image written with the header of its source.
    const int width = 40, height = 30;
    std::vector<uint16_t> values;
    const std::vector<uint8_t> raster = TwelveBitRaster(width, height, values);
    const std::string path = (folder / "changed.dcm").string();
    engine.save(path.c_str(), raster.data(), width * height, 12, width, height,
                reinterpret_cast<const VTDicomHeaderBlock*>(&original.header));
    const CLoaded back = Load(path, 0);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.width, width);
    EXPECT_EQ(back.height, height);
    EXPECT_EQ(back.depth, 12);
    EXPECT_EQ(back.samples, values);
    const std::string bytes = ReadBytes(path);
    EXPECT_NE(bytes.find("CompressedSamples^MR2"), std::string::npos) << "patient name kept";
    EXPECT_NE(bytes.find("SHOULDER"), std::string::npos) << "body part kept";
}

// Whatever a file was read as, writing those samples back with its kept
// header and reading the result gives them again; rendered samples are
// written as plain MONOCHROME2 pixels, so reading them rendered again keeps
// their order.
TEST_F(DicomSaveTest, LoadedImagesSurviveSaveAndReloadWithTheirHeaders) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    const char* const files[] = {"MR2_UNCI.dcm",
                                 "MR_small_implicit.dcm",
                                 "image_dfl.dcm",
                                 "JPEGLossless_1s_1f_u_16_12.dcm",
                                 "RG3_J2KR.dcm",
                                 "OT_Implicit_Little_Headless.dcm",
                                 "MG-Im-GE-SenDS-scaled.dcm",
                                 "MR_small_bigendian.dcm",
                                 "emri_small_RLE.dcm"};
    for (const char* file : files) {
        for (int option : {0, 1}) {
            SCOPED_TRACE(std::string(file) + " option " + std::to_string(option));
            const CLoaded loaded = Load(DataFile(file), option);
            ASSERT_TRUE(loaded.ok);
            std::vector<uint8_t> raster;
            for (uint16_t v : loaded.samples) {
                raster.push_back(static_cast<uint8_t>(v & 0xFF));
                if (loaded.depth > 8) raster.push_back(static_cast<uint8_t>(v >> 8));
            }
            const std::string path = (folder / (std::to_string(option) + file)).string();
            engine.save(path.c_str(), raster.data(), loaded.width * loaded.height, loaded.depth,
                        loaded.width, loaded.height,
                        reinterpret_cast<const VTDicomHeaderBlock*>(&loaded.header));
            const CLoaded back = Load(path, 0);
            ASSERT_TRUE(back.ok);
            EXPECT_EQ(back.width, loaded.width);
            EXPECT_EQ(back.height, loaded.height);
            EXPECT_EQ(back.depth, loaded.depth);
            EXPECT_EQ(back.samples, loaded.samples);
            if (option == 1) {
                const CLoaded again = Load(path, 1);
                ASSERT_TRUE(again.ok);
                const auto lowest = std::min_element(back.samples.begin(), back.samples.end()) -
                                    back.samples.begin();
                const auto highest = std::max_element(back.samples.begin(), back.samples.end()) -
                                     back.samples.begin();
                EXPECT_LE(again.samples[lowest], again.samples[highest]) << "not inverted again";
            }
        }
    }
}

TEST_F(DicomSaveTest, AFailedSaveLeavesTheExistingFileAlone) {
    const std::string path = (folder / "kept.dcm").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << "previous contents";
    }
    std::vector<uint16_t> values;
    const std::vector<uint8_t> raster = TwelveBitRaster(4, 4, values);
    // Sizes that do not match the sample count, and an unsupported depth.
    engine.save(path.c_str(), raster.data(), 15, 12, 4, 4, nullptr);
    engine.save(path.c_str(), raster.data(), 16, 7, 4, 4, nullptr);
    engine.save(path.c_str(), raster.data(), 16, 12, 0, 16, nullptr);
    EXPECT_EQ(ReadBytes(path), "previous contents");
    // A folder that does not exist gets no file and no crash.
    engine.save((folder / "missing" / "x.dcm").c_str(), raster.data(), 16, 12, 4, 4, nullptr);
    EXPECT_FALSE(fs::exists(folder / "missing"));
    // Nothing but the kept file is left in the folder (no temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
}

// The image core's DICOM branch with the engine loaded: a 12-bit image opens
// with the engine's header block, and saved as DICOM it reads back the same.
TEST_F(DicomSaveTest, TheImageCoreOpensAndSavesThroughTheEngine) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    CMImage image;
    std::string description;
    ASSERT_EQ(image.Open(DataFile("JPEGLossless_1s_1f_u_16_12.dcm"), description), 1);
    EXPECT_EQ(image.width, 1024);
    EXPECT_EQ(image.height, 1024);
    EXPECT_EQ(image.depth, 12);
    int32_t minV = 0, maxV = 0;
    image.GetValueRange(minV, maxV);
    EXPECT_EQ(minV, 0);
    EXPECT_EQ(maxV, 595);
    ASSERT_NE(image.dicomHeader, nullptr);
    EXPECT_NE(image.dicomHeader->block1, nullptr);

    // Change the pixels so the file cannot simply be the source again.
    for (int32_t x = 0; x < image.width; ++x) image.SetPixel(x, 0, 4095 - x % 4096);
    const std::string path = (folder / "saved.dcm").string();
    ASSERT_EQ(image.Save(true, path), 1);
    CMImage back;
    ASSERT_EQ(back.Open(path, description), 1);
    EXPECT_EQ(back.depth, 12);
    EXPECT_TRUE(back.IsEqual(image));
}

// The command-line tool finds the engine beside it and reads compressed files.
TEST_F(DicomEngineTest, TheCommandLineToolReadsCompressedFilesThroughTheEngine) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    struct CCliCase {
        const char* file;
        const char* size;
        const char* range;
    };
    for (const CCliCase& c :
         {CCliCase{"RG3_J2KR.dcm", "\"width\":1760,\"height\":1760,\"depth\":10",
                   "\"min\":0,\"max\":1023"},
          CCliCase{"JPEGLossless_1s_1f_u_16_12.dcm", "\"width\":1024,\"height\":1024,\"depth\":12",
                   "\"min\":0,\"max\":595"},
          CCliCase{"JPGExtended.dcm", "\"width\":256,\"height\":1024,\"depth\":12",
                   "\"min\":0,\"max\":264"}}) {
        SCOPED_TRACE(c.file);
        const std::string command =
            std::string(VISTREL_CLI) + " info '" + DataFile(c.file) + "' 2>/dev/null";
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        std::array<char, 4096> buffer;
        while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
            output.append(buffer.data(), n);
        EXPECT_EQ(pclose(pipe), 0) << output;
        EXPECT_NE(output.find(c.size), std::string::npos) << output;
        EXPECT_NE(output.find(c.range), std::string::npos) << output;
    }
}

// ------------------------------------------- damaged files with the engine

// Variants of real files as they arrive damaged: cut inside the header,
// bytes flipped in the header, absurd lengths, absurd nesting, pixel data cut
// short. With the shipped engine loaded, none may take the process down or
// hang it; the ones that cannot be right must be refused with a reason.
class DicomDamagedFileTest : public DicomSaveTest {
  protected:
    static std::vector<uint8_t> Bytes(const std::string& path) {
        const std::string text = ReadBytes(path);
        return std::vector<uint8_t>(text.begin(), text.end());
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    // Offset of the last top-level PixelData tag (7FE0,0010) in either byte order.
    static std::size_t PixelDataOffset(const std::vector<uint8_t>& bytes) {
        for (std::size_t i = bytes.size() - 4; i-- > 0;) {
            if ((bytes[i] == 0xE0 && bytes[i + 1] == 0x7F && bytes[i + 2] == 0x10 &&
                 bytes[i + 3] == 0x00) ||
                (bytes[i] == 0x7F && bytes[i + 1] == 0xE0 && bytes[i + 2] == 0x00 &&
                 bytes[i + 3] == 0x10))
                return i;
        }
        return std::string::npos;
    }
    static void PutU32(std::vector<uint8_t>& bytes, std::size_t at, uint32_t value) {
        for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<uint8_t>(value >> (8 * k));
    }
    // Opens through CMImage::Open and checks that a failure is a clean one.
    int Open(const std::string& path, const std::string& name) const {
        CMImage image(8, 8, 8);
        std::string description;
        const int result = image.Open(path, description);
        if (result) {
            EXPECT_TRUE(image.IsValid()) << name;
        } else {
            EXPECT_EQ(image.data, nullptr) << name;
            EXPECT_EQ(image.dicomHeader, nullptr) << name;
            EXPECT_FALSE(LastOpenFailure().empty()) << name;
        }
        return result;
    }
    static std::vector<uint8_t> Nested(int depth) {
        dicomtest::DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        for (int i = 0; i < depth; ++i) {
            w.Header(0x0040, 0x0275, "SQ", 0xFFFFFFFF);
            w.Item(0xFFFFFFFF);
        }
        for (int i = 0; i < depth; ++i) w.ItemDelimiter().SequenceDelimiter();
        w.Image(2, 2, 16, 12, 11).Pixels16({1, 2, 3, 4});
        return w.bytes;
    }
};

TEST_F(DicomDamagedFileTest, BrokenStructureIsRefusedWithItsReasonBeforeTheEngine) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    const std::string truncated = "The file is truncated or damaged: an element runs past its end.";
    const std::string shortPixels =
        "The file is truncated: its pixel data end before the image does.";
    struct CCase {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string reason;
    };
    std::vector<CCase> cases;
    for (const char* file :
         {"MR_small.dcm", "MR_small_implicit.dcm", "CT_small.dcm", "emri_small_big_endian.dcm",
          "MG-Im-GE-SenDS-scaled.dcm", "JPEGBaseline_1s_1f_u_08_08.dcm", "MR_small_RLE.dcm"}) {
        std::vector<uint8_t> bytes = Bytes(DataFile(file));
        ASSERT_GT(bytes.size(), 300u) << file;
        cases.push_back({std::string(file) + " cut at 300",
                         std::vector<uint8_t>(bytes.begin(), bytes.begin() + 300), truncated});
    }
    {
        // Implicit VR: every element has a 32-bit length; make the first
        // data-set element claim nearly 4 GiB.
        std::vector<uint8_t> bytes = Bytes(DataFile("MR_small_implicit.dcm"));
        std::size_t at = 0;
        for (std::size_t i = 132; i + 8 < bytes.size(); ++i) {
            if (bytes[i] == 0x08 && bytes[i + 1] == 0x00 && bytes[i + 2] == 0x08 &&
                bytes[i + 3] == 0x00) {
                at = i + 4;
                break;
            }
        }
        ASSERT_NE(at, 0u);
        PutU32(bytes, at, 0xFFFFFFF0u);
        cases.push_back({"element length 0xFFFFFFF0", bytes, truncated});
    }
    for (const char* file : {"MR_small.dcm", "MR2_UNCI.dcm"}) {
        std::vector<uint8_t> bytes = Bytes(DataFile(file));
        const std::size_t at = PixelDataOffset(bytes);
        ASSERT_NE(at, std::string::npos) << file;
        PutU32(bytes, at + 8, 0xFFFFFFF0u);  // explicit OW: tag, VR, 2 reserved, length
        cases.push_back({std::string(file) + " PixelData length 0xFFFFFFF0", bytes, shortPixels});
    }
    {
        // 512 x 512 16-bit pixels cut at 400000 bytes, as "head -c" leaves them.
        dicomtest::DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.Image(512, 512, 16, 12, 11).Pixels16(std::vector<uint16_t>(512 * 512, 1234));
        w.bytes.resize(400000);
        cases.push_back({"512 x 512 cut at 400000", w.bytes, shortPixels});
        std::vector<uint8_t> mr2 = Bytes(DataFile("MR2_UNCI.dcm"));
        mr2.resize(400000);
        cases.push_back({"MR2_UNCI cut at 400000", mr2, shortPixels});
        // Multi-frame: the first frame is whole, the others are missing.
        std::vector<uint8_t> frames = Bytes(DataFile("emri_small.dcm"));
        frames.resize(frames.size() - 3 * 64 * 64 * 2);
        cases.push_back({"emri_small without its last frames", frames, shortPixels});
    }
    cases.push_back({"sequences 20000 deep", Nested(20000),
                     "The file is damaged: its sequences are nested too deeply."});
    cases.push_back({"pydicom's truncated file", Bytes(DataFile("MR_truncated.dcm")), shortPixels});

    for (const CCase& c : cases) {
        const int result = Open(Write("case.dcm", c.bytes), c.name);
        EXPECT_EQ(result, 0) << c.name;
        EXPECT_EQ(LastOpenFailure(), c.reason) << c.name;
    }
    // Nesting within the reader's limit is no damage at all.
    EXPECT_EQ(Open(Write("nested.dcm", Nested(8)), "8 deep"), 1);
}

TEST_F(DicomDamagedFileTest, FlippedHeaderBytesNeverTakeTheProcessDown) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    int opened = 0, refused = 0;
    for (const char* file :
         {"MR_small.dcm", "MR_small_implicit.dcm", "MR_small_bigendian.dcm", "CT_small.dcm",
          "MG-Im-GE-SenDS-scaled.dcm", "JPEGBaseline_1s_1f_u_08_08.dcm", "MR_small_RLE.dcm"}) {
        const std::vector<uint8_t> original = Bytes(DataFile(file));
        const std::size_t header = PixelDataOffset(original);
        ASSERT_NE(header, std::string::npos) << file;
        for (const unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
            std::mt19937 random(seed);
            std::vector<uint8_t> bytes = original;
            for (int flip = 0; flip < 24; ++flip) {
                const std::size_t at = 128 + random() % (header - 128);
                bytes[at] ^= static_cast<uint8_t>(1 + random() % 255);
            }
            const std::string name = std::string(file) + " seed " + std::to_string(seed);
            (Open(Write("flipped.dcm", bytes), name) ? opened : refused)++;
        }
    }
    // Most of these files are wrecked; the ones left intact still open.
    EXPECT_GT(refused, 0);
    EXPECT_EQ(opened + refused, 7 * 6);
}

// The child process changes nothing: every shared file gives the same image,
// header blocks and attributes as the engine called in this process.
TEST_F(DicomDamagedFileTest, GoodFilesOpenIdenticallyInTheChildAndInProcess) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    ASSERT_TRUE(engine.isolated);  // as the plug-in loader hands it out
    const CDicomEngine direct{engine.load, engine.save, false};
    const CDicomEngine child = engine;
    const auto use = [](const CDicomEngine& e) {
        SetDicomEngineProvider([e] { return std::vector<CDicomEngine>{e}; });
    };
    for (const int option : {0, 1}) {
        SetDicomReadingOption(option);
        for (const CDicomCase& c : kDicomCases) {
            SCOPED_TRACE(std::string(c.file) + " option " + std::to_string(option));
            std::string description;
            CMImage isolated;
            use(child);
            ASSERT_EQ(isolated.Open(DataFile(c.file), description), 1) << LastOpenFailure();
            CMImage inProcess;
            use(direct);
            ASSERT_EQ(inProcess.Open(DataFile(c.file), description), 1);
            EXPECT_EQ(isolated.width, c.width);
            EXPECT_TRUE(isolated.IsEqual(inProcess));
            EXPECT_EQ(isolated.maxValue, inProcess.maxValue);
            ASSERT_NE(isolated.dicomHeader, nullptr);
            ASSERT_NE(inProcess.dicomHeader, nullptr);
            const auto block = [](const uint8_t* data, uint32_t length) {
                return data ? std::string(reinterpret_cast<const char*>(data), length) : "<null>";
            };
            EXPECT_EQ(block(isolated.dicomHeader->block1, isolated.dicomHeader->length1),
                      block(inProcess.dicomHeader->block1, inProcess.dicomHeader->length1));
            EXPECT_EQ(block(isolated.dicomHeader->block2, isolated.dicomHeader->length2),
                      block(inProcess.dicomHeader->block2, inProcess.dicomHeader->length2));
            EXPECT_EQ(isolated.dicomAttributes.photometric, inProcess.dicomAttributes.photometric);
        }
    }
    SetDicomReadingOption(0);
}

// The command-line tool refuses a file whose pixels were cut short.
TEST_F(DicomDamagedFileTest, TheCommandLineToolFailsOnACutFileAndSaysWhy) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    std::vector<uint8_t> bytes = Bytes(DataFile("MR2_UNCI.dcm"));
    bytes.resize(400000);
    const std::string path = Write("cut.dcm", bytes);
    const std::string command = std::string(VISTREL_CLI) + " info '" + path + "' 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        output.append(buffer.data(), n);
    EXPECT_NE(pclose(pipe), 0) << output;
    EXPECT_NE(output.find("pixel data end before the image does"), std::string::npos) << output;
}

// ------------------------------------------------- colour through the engine

// Colour DICOM opens as a grey image through the colour mode, like every
// other colour picture.
class DicomColourTest : public DicomDamagedFileTest {
  protected:
    struct CRgb {
        int r, g, b;
    };
    // A 2 x 2 colour file; `pixels` are the stored samples, interleaved or
    // planar as `planar` says.
    static std::vector<uint8_t> ColourFile(const std::string& photometric, bool planar,
                                           const std::vector<uint8_t>& pixels) {
        dicomtest::DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.UsElement(0x0028, 0x0002, 3);
        w.Text(0x0028, 0x0004, "CS", photometric);
        w.UsElement(0x0028, 0x0006, planar ? 1 : 0);
        w.UsElement(0x0028, 0x0010, 2).UsElement(0x0028, 0x0011, 2);
        w.UsElement(0x0028, 0x0100, 8).UsElement(0x0028, 0x0101, 8);
        w.UsElement(0x0028, 0x0102, 7).UsElement(0x0028, 0x0103, 0);
        w.Pixels8(pixels);
        return w.bytes;
    }
    static int Grey(const CRgb& c, int mode) { return ToGrey(c.r, c.g, c.b, mode); }
    // Opens with the colour mode; the grey samples, or empty on failure.
    std::vector<int> OpenGrey(const std::string& path, int mode) const {
        CMImage image;
        std::string description;
        if (image.Open(path, description, mode) != 1) {
            ADD_FAILURE() << path << ": " << LastOpenFailure();
            return {};
        }
        EXPECT_EQ(image.depth, 8);
        std::vector<int> grey;
        for (int32_t y = 0; y < image.height; ++y)
            for (int32_t x = 0; x < image.width; ++x) grey.push_back(image.GetPixel(x, y));
        return grey;
    }
};

TEST_F(DicomColourTest, RgbYbrAndPaletteFilesBecomeGreyWithTheColourMode) {
    const std::vector<CRgb> colours = {{200, 100, 30}, {0, 255, 0}, {10, 20, 240}, {255, 255, 255}};
    std::vector<uint8_t> interleaved, planar, ybr;
    for (const CRgb& c : colours) {
        interleaved.insert(interleaved.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
        // The full-range forward equations of YBR_FULL.
        const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
        const double cb = 128 - 0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b;
        const double cr = 128 + 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b;
        for (const double v : {y, cb, cr})
            ybr.push_back(static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)));
    }
    for (int k = 0; k < 3; ++k)
        for (const CRgb& c : colours) planar.push_back(uint8_t(k == 0 ? c.r : k == 1 ? c.g : c.b));

    // Palette: indices 0..3 into a 16-bit table holding the colours.
    dicomtest::DicomWriter palette;
    palette.Preamble("1.2.840.10008.1.2.1");
    palette.UsElement(0x0028, 0x0002, 1).Text(0x0028, 0x0004, "CS", "PALETTE COLOR");
    palette.UsElement(0x0028, 0x0010, 2).UsElement(0x0028, 0x0011, 2);
    palette.UsElement(0x0028, 0x0100, 8).UsElement(0x0028, 0x0101, 8);
    palette.UsElement(0x0028, 0x0102, 7).UsElement(0x0028, 0x0103, 0);
    for (uint16_t element : {0x1101, 0x1102, 0x1103}) {
        palette.Header(0x0028, element, "US", 6).U16(4).U16(0).U16(16);
    }
    for (int k = 0; k < 3; ++k) {
        palette.Header(0x0028, static_cast<uint16_t>(0x1201 + k), "OW", 8);
        for (const CRgb& c : colours)
            palette.U16(static_cast<uint16_t>((k == 0 ? c.r : k == 1 ? c.g : c.b) * 257));
    }
    palette.Pixels8({0, 1, 2, 3});

    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        int tolerance;
    } cases[] = {
        {"RGB", ColourFile("RGB", false, interleaved), 0},
        {"RGB planar", ColourFile("RGB", true, planar), 0},
        {"YBR_FULL", ColourFile("YBR_FULL", false, ybr), 2},
        {"PALETTE COLOR", palette.bytes, 0},
    };
    for (const auto& c : cases) {
        const std::string path = Write("colour.dcm", c.bytes);
        for (const int mode : {0, 1, 2}) {
            const std::vector<int> grey = OpenGrey(path, mode);
            ASSERT_EQ(grey.size(), colours.size()) << c.name;
            for (std::size_t i = 0; i < colours.size(); ++i)
                EXPECT_NEAR(grey[i], Grey(colours[i], mode), c.tolerance)
                    << c.name << " mode " << mode << " pixel " << i;
        }
    }
}

TEST_F(DicomColourTest, JpegBaselineYbrBecomesGreyAndGreyJpegStaysGrey) {
    if (!HaveData()) GTEST_SKIP() << "no shared data";
    // 32 x 16 in two flat halves, so the lossy coding leaves the colours.
    QImage picture(32, 16, QImage::Format_RGB32);
    const CRgb left{220, 40, 40}, right{40, 60, 200};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            picture.setPixel(
                x, y, x < 16 ? qRgb(left.r, left.g, left.b) : qRgb(right.r, right.g, right.b));
    QByteArray jpeg;
    QBuffer sink(&jpeg);
    sink.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&sink, "JPG", 95));
    std::vector<uint8_t> fragment(jpeg.begin(), jpeg.end());
    if (fragment.size() % 2) fragment.push_back(0);

    dicomtest::DicomWriter w;
    w.Preamble("1.2.840.10008.1.2.4.50");
    w.UsElement(0x0028, 0x0002, 3).Text(0x0028, 0x0004, "CS", "YBR_FULL_422");
    w.UsElement(0x0028, 0x0006, 0);
    w.UsElement(0x0028, 0x0010, 16).UsElement(0x0028, 0x0011, 32);
    w.UsElement(0x0028, 0x0100, 8).UsElement(0x0028, 0x0101, 8);
    w.UsElement(0x0028, 0x0102, 7).UsElement(0x0028, 0x0103, 0);
    w.Encapsulated({fragment});
    const std::string path = Write("jpeg.dcm", w.bytes);
    for (const int mode : {1, 2}) {
        const std::vector<int> grey = OpenGrey(path, mode);
        ASSERT_EQ(grey.size(), 32u * 16u);
        // Away from the edge between the halves.
        EXPECT_NEAR(grey[8 * 32 + 4], Grey(left, mode), 6) << "mode " << mode;
        EXPECT_NEAR(grey[8 * 32 + 28], Grey(right, mode), 6) << "mode " << mode;
    }
    // The grey JPEG baseline file of the shared data is grey as it was.
    const CLoaded loaded = Load(DataFile("JPEGBaseline_1s_1f_u_08_08.dcm"), 0);
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.depth, 8);
    CMImage image;
    std::string description;
    ASSERT_EQ(image.Open(DataFile("JPEGBaseline_1s_1f_u_08_08.dcm"), description, 2), 1);
    ASSERT_EQ(image.width, 100);
    for (int i = 0; i < 100 * 100; i += 97)
        EXPECT_EQ(image.GetPixel(i % 100, i / 100), loaded.samples[i]) << i;
}

TEST_F(DicomColourTest, AColourImageSavedAsDicomReadsBackAsTheSameGrey) {
    const std::string source =
        Write("rgb.dcm", ColourFile("RGB", false, {200, 100, 30, 0, 255, 0, 10, 20, 240, 1, 2, 3}));
    CMImage image;
    std::string description;
    ASSERT_EQ(image.Open(source, description, 1), 1);
    const std::string saved = (folder / "saved.dcm").string();
    ASSERT_EQ(image.Save(true, saved), 1);
    CMImage back;
    ASSERT_EQ(back.Open(saved, description, 1), 1) << LastOpenFailure();
    EXPECT_TRUE(back.IsEqual(image));
    EXPECT_EQ(back.dicomAttributes.photometric, "MONOCHROME2");
}

}  // namespace
}  // namespace vistrel
