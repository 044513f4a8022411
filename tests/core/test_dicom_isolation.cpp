// DICOM engines run in a child process: what a well-behaved engine returns
// reaches the image (samples, colour through the grey conversion, header
// blocks); an engine that crashes, hangs, exhausts memory or returns
// nonsense gives a plain failure and leaves the host running.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/dicom_child.h"
#include "core/dicom_engine.h"
#include "core/dicom_load.h"
#include "core/dicom_log.h"
#include "core/display.h"
#include "core/image.h"
#include "support/dicom_test_writer.h"
#include "support/scratch_dir.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TEST_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TEST_SANITIZED_BUILD 1
#endif
#endif

using namespace vistrel;
using dicomtest::DicomWriter;
namespace fs = std::filesystem;

namespace {

// Set in the parent only: a child's writes never come back.
int callsSeenInThisProcess = 0;
int rgbTriple[3] = {0, 0, 0};

uint8_t* Allocate(std::size_t bytes) {
    return static_cast<uint8_t*>(std::malloc(bytes));
}

// A 3 x 2 12-bit image whose first sample is the reading option it was given
// and whose second is the length of the path, so the parent can see what the
// child passed on; fills both header blocks.
uint8_t* GoodEngine(const char* path, int32_t option, int32_t* width, int32_t* height,
                    int32_t* depth, VTDicomHeaderBlock** header) {
    ++callsSeenInThisProcess;
    *width = 3;
    *height = 2;
    *depth = 12;
    const uint16_t values[6] = {
        static_cast<uint16_t>(option), static_cast<uint16_t>(std::strlen(path)), 3, 4000, 5, 6};
    uint8_t* samples = Allocate(sizeof values);
    std::memcpy(samples, values, sizeof values);
    (*header)->block1 = Allocate(3);
    std::memcpy((*header)->block1, "abc", 3);
    (*header)->length1 = 3;
    (*header)->block2 = Allocate(2);
    std::memcpy((*header)->block2, "xy", 2);
    (*header)->length2 = 2;
    return samples;
}

// One colour pixel, the triple of rgbTriple, then white.
uint8_t* ColourEngine(const char*, int32_t, int32_t* width, int32_t* height, int32_t* depth,
                      VTDicomHeaderBlock**) {
    *width = 2;
    *height = 1;
    *depth = VT_DICOM_DEPTH_RGB;
    uint8_t* samples = Allocate(6);
    for (int c = 0; c < 3; ++c) {
        samples[c] = static_cast<uint8_t>(rgbTriple[c]);
        samples[3 + c] = 255;
    }
    return samples;
}

uint8_t* AbortingEngine(const char*, int32_t, int32_t*, int32_t*, int32_t*, VTDicomHeaderBlock**) {
    std::abort();  // a library assertion
}

uint8_t* CrashingEngine(const char*, int32_t, int32_t*, int32_t*, int32_t*, VTDicomHeaderBlock**) {
    raise(SIGSEGV);  // a stack overflow or a wild pointer
    return nullptr;
}

uint8_t* HangingEngine(const char*, int32_t, int32_t*, int32_t*, int32_t*, VTDicomHeaderBlock**) {
    for (;;) pause();
}

uint8_t* ExitingEngine(const char*, int32_t, int32_t*, int32_t*, int32_t*, VTDicomHeaderBlock**) {
    std::exit(0);  // would run the host's exit handlers in-process
}

// Allocates and touches memory until it is refused, then fails politely.
[[maybe_unused]] uint8_t* GreedyEngine(const char*, int32_t, int32_t*, int32_t*, int32_t*,
                                      VTDicomHeaderBlock**) {
    std::vector<void*> blocks;
    for (int i = 0; i < 4096; ++i) {  // 256 GiB at most
        void* block = std::malloc(std::size_t{64} << 20);
        if (!block) return nullptr;
        std::memset(block, 1, std::size_t{64} << 20);
        blocks.push_back(block);
    }
    return nullptr;
}

// Claims a far larger image than it returns.
uint8_t* LyingEngine(const char*, int32_t, int32_t* width, int32_t* height, int32_t* depth,
                     VTDicomHeaderBlock**) {
    *width = 60000;
    *height = 60000;
    *depth = 16;
    return Allocate(16);
}

uint8_t* OddDepthEngine(const char*, int32_t, int32_t* width, int32_t* height, int32_t* depth,
                        VTDicomHeaderBlock**) {
    *width = 2;
    *height = 2;
    *depth = 5;
    return Allocate(4);
}

class DicomIsolationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        callsSeenInThisProcess = 0;
        SetDicomReadingOption(0);
        SetDicomLogLevel(DicomLogLevel::Critical);
        DicomWriter w;
        w.Preamble("1.2.840.10008.1.2.1");
        w.Image(1, 2, 16, 16, 15).Pixels16({1, 2});
        path_ = scratch_.Write("image.dcm", w.bytes);
    }
    void TearDown() override {
        SetDicomEngineProvider({});
        SetDicomReadingOption(0);
        SetDicomLogLevel(DicomLogLevel::Notice);
    }
    static void UseEngine(VTLoadDicomFileFn load) {
        SetDicomEngineProvider([load] { return std::vector<CDicomEngine>{{load, nullptr}}; });
    }
    testsupport::CScratchDir scratch_{"vistrel_dicom_isolation"};
    std::string path_;
};

TEST_F(DicomIsolationTest, AnEngineInAChildGivesItsSamplesAndHeaderToTheImage) {
    UseEngine(&GoodEngine);
    SetDicomReadingOption(1);
    CMImage image;
    std::string description;
    ASSERT_EQ(image.Open(path_, description), 1) << LastOpenFailure();
    EXPECT_EQ(callsSeenInThisProcess, 0) << "the engine ran in the host process";
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.depth, 12);
    EXPECT_EQ(image.GetPixel(0, 0), 1);  // the reading option reached the child
    EXPECT_EQ(image.GetPixel(1, 0), static_cast<int>(path_.size()));
    EXPECT_EQ(image.GetPixel(0, 1), 4000);
    EXPECT_EQ(image.GetPixel(2, 1), 6);
    ASSERT_NE(image.dicomHeader, nullptr);
    ASSERT_EQ(image.dicomHeader->length1, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image.dicomHeader->block1), 3), "abc");
    ASSERT_EQ(image.dicomHeader->length2, 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image.dicomHeader->block2), 2), "xy");
    EXPECT_TRUE(LastOpenFailure().empty());
}

TEST_F(DicomIsolationTest, ColourFromAnEngineBecomesGreyWithTheColourMode) {
    rgbTriple[0] = 200;
    rgbTriple[1] = 100;
    rgbTriple[2] = 30;
    for (const bool isolated : {true, false}) {
        SetDicomEngineProvider([isolated] {
            return std::vector<CDicomEngine>{{&ColourEngine, nullptr, isolated}};
        });
        for (const int mode : {0, 1, 2}) {
            CMImage image;
            std::string description;
            ASSERT_EQ(image.Open(path_, description, mode), 1) << mode;
            EXPECT_EQ(image.depth, 8);
            EXPECT_EQ(image.maxValue, 255);
            EXPECT_EQ(image.GetPixel(0, 0), ToGrey(200, 100, 30, mode))
                << "mode " << mode << (isolated ? " in a child" : " in-process");
            EXPECT_EQ(image.GetPixel(1, 0), 255);
        }
    }
    // The three modes give three different greys: the mode is really used.
    EXPECT_NE(ToGrey(200, 100, 30, 0), ToGrey(200, 100, 30, 1));
    EXPECT_NE(ToGrey(200, 100, 30, 1), ToGrey(200, 100, 30, 2));
}

TEST_F(DicomIsolationTest, AnEngineThatDiesHangsOrLiesFailsCleanly) {
    const struct {
        const char* name;
        VTLoadDicomFileFn load;
    } cases[] = {
        {"abort", &AbortingEngine},   {"segmentation fault", &CrashingEngine},
        {"hang", &HangingEngine},     {"exit", &ExitingEngine},
        {"lying size", &LyingEngine}, {"unsupported depth", &OddDepthEngine},
    };
    for (const auto& c : cases) {
        UseEngine(c.load);
        CMImage image(4, 4, 8);
        std::string description;
        EXPECT_EQ(image.Open(path_, description), 0) << c.name;
        EXPECT_EQ(image.data, nullptr) << c.name;
        EXPECT_EQ(image.dicomHeader, nullptr) << c.name;
        EXPECT_EQ(LastOpenFailure(), "The DICOM engine cannot read this file.") << c.name;
    }
    // The host is still here and a good engine still works after all that.
    UseEngine(&GoodEngine);
    CMImage image;
    EXPECT_EQ(LoadDicom(image, path_), 1);
}

TEST_F(DicomIsolationTest, AnEngineThatEatsMemoryIsStoppedByTheAddressSpaceLimit) {
#ifdef TEST_SANITIZED_BUILD
    GTEST_SKIP() << "sanitizer builds run children without an address-space limit";
#else
    UseEngine(&GreedyEngine);
    CMImage image;
    EXPECT_EQ(LoadDicom(image, path_), 0);
    EXPECT_EQ(image.data, nullptr);
#endif
}

TEST(DicomChild, OutcomesTellSuccessFailureDeathAndTimeout) {
    CChildLimits quick;
    quick.seconds = 0.5;
    EXPECT_EQ(RunInChild([] { return true; }, quick), ChildOutcome::Succeeded);
    EXPECT_EQ(RunInChild([] { return false; }, quick), ChildOutcome::Failed);
    EXPECT_EQ(RunInChild([]() -> bool { throw 1; }, quick), ChildOutcome::Failed);
    EXPECT_EQ(RunInChild(
                  []() -> bool {
                      raise(SIGBUS);
                      return true;
                  },
                  quick),
              ChildOutcome::Died);
    EXPECT_EQ(RunInChild(
                  []() -> bool {
                      for (;;) pause();
                  },
                  quick),
              ChildOutcome::TimedOut);

    // What the child writes into a shared block is there for the parent.
    CSharedBlock block(4096);
    ASSERT_TRUE(block.IsValid());
    EXPECT_EQ(RunInChild(
                  [&] {
                      std::memcpy(block.Data(), "from the child", 15);
                      return true;
                  },
                  quick),
              ChildOutcome::Succeeded);
    EXPECT_STREQ(reinterpret_cast<const char*>(block.Data()), "from the child");
}

}  // namespace

namespace {

void CrashingSave(const char* path, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                  const VTDicomHeaderBlock*) {
    // Half a file, then death: nothing of it may replace the old file.
    std::ofstream(path, std::ios::binary) << "half";
    std::abort();
}

void GoodSave(const char* path, const uint8_t* samples, int32_t count, int32_t, int32_t width,
              int32_t, const VTDicomHeaderBlock*) {
    ++callsSeenInThisProcess;
    std::ofstream(path, std::ios::binary)
        << "saved " << count << " " << width << " " << int(samples[0]);
}

class DicomIsolatedSaveTest : public DicomIsolationTest {
  protected:
    static void UseSaver(VTSaveDicomFileFn save) {
        SetDicomEngineProvider([save] { return std::vector<CDicomEngine>{{nullptr, save}}; });
    }
    std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(DicomIsolatedSaveTest, AnEngineSavesInAChildAndADeadOneLeavesTheOldFile) {
    CMImage image(3, 2, 8);
    image.Clear();
    image.SetPixel(0, 0, 77);
    const std::string target = path_ + ".saved.dcm";
    std::ofstream(target) << "old contents";

    UseSaver(&CrashingSave);
    EXPECT_EQ(SaveDicom(image, target), 0);
    EXPECT_EQ(ReadAll(target), "old contents");

    UseSaver(&GoodSave);
    EXPECT_EQ(SaveDicom(image, target), 1);
    EXPECT_EQ(callsSeenInThisProcess, 0) << "the engine saved in the host process";
    EXPECT_EQ(ReadAll(target), "saved 6 3 77");
    // No temporary file of either attempt is left beside the target.
    int beside = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(target).parent_path())) {
        if (entry.path().filename().string().rfind(fs::path(target).filename().string(), 0) == 0)
            ++beside;
    }
    EXPECT_EQ(beside, 1);
    fs::remove(target);
}

}  // namespace
