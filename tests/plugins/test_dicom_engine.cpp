// The shipped "Dicom engine" plug-in, loaded the way the program loads it:
// scanned from the plug-in folder beside the executables and found through
// the image core's engine look-up.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/dicom_engine.h"
#include "core/image.h"
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
    void SetUp() override {
        DicomEngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // A folder of its own: other checkouts may run the same tests at once.
        std::string pattern = (fs::temp_directory_path() / "vistrel_dicom_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        if (!folder.empty()) fs::remove_all(folder, ignored);
    }
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
    fs::path folder;
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

}  // namespace
}  // namespace vistrel
