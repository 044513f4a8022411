#include "workspace/plugins.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/dicom_engine.h"
#include "support/dicom_test_writer.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

namespace fs = std::filesystem;
using testing::CFakeUi;
using testing::CRecordingSink;
using testing::WritePgxFile;

std::string Built(const std::string& name) {
    return std::string(VISTREL_TEST_PLUGIN_DIR) + "/" + name + ".so";
}

// A temporary folder laid out like <bin>/plugins.
class PlugInFolder {
  public:
    PlugInFolder() { root = fs::path(dir.path().toStdString()) / "plugins"; }
    // Copies a built test plug-in to relative (a fresh file each time, so two
    // copies are two libraries).
    std::string Add(const std::string& builtName, const std::string& relative) {
        const fs::path target = root / relative;
        fs::create_directories(target.parent_path());
        fs::copy_file(Built(builtName), target, fs::copy_options::overwrite_existing);
        return target.string();
    }
    std::string AddText(const std::string& relative, const std::string& text) {
        const fs::path target = root / relative;
        fs::create_directories(target.parent_path());
        std::ofstream(target) << text;
        return target.string();
    }
    std::string Path(const std::string& relative = {}) const { return (root / relative).string(); }

    QTemporaryDir dir;
    fs::path root;
};

std::vector<std::string> Names(const std::vector<std::unique_ptr<CVTImagePlugIn>>& plugIns) {
    std::vector<std::string> names;
    for (const auto& plugIn : plugIns) names.push_back(plugIn->Name());
    return names;
}

// ---------------------------------------------------------------- loading

TEST(PlugInLoad, MessagesNameTheMissingPieceAndThePath) {
    PlugInFolder folder;
    struct Case {
        const char* built;
        bool image;  // loaded as an image plug-in
        const char* expectedTail;
        const char* prefix;
    } cases[] = {
        {"general_broken", false, ":GetPlugInName", "Error in function "},
        {"general_fake_engine", true, ":GetVTPlugInName", "Error in function"},
        {"image_no_count", true, ":GetVTPlugInImgInNo", "Error in function"},
        {"image_no_proceed", true, ":VTPlugInProceed1", "Error in function "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.built);
        const std::string path = folder.Add(c.built, std::string(c.built) + ".so");
        std::unique_ptr<CPlugIn> plugIn =
            c.image ? std::make_unique<CVTImagePlugIn>() : std::make_unique<CPlugIn>();
        EXPECT_EQ(plugIn->Load(path), 0);
        EXPECT_EQ(plugIn->ErrorText(), c.prefix + path + c.expectedTail);
        EXPECT_TRUE(plugIn->HasError());
        EXPECT_FALSE(plugIn->IsLoaded());
    }
    // Not a shared object at all, and no file at all.
    for (const std::string& path :
         {folder.AddText("garbage.so", "not an ELF file"), folder.Path("missing.so")}) {
        CPlugIn plugIn;
        EXPECT_EQ(plugIn.Load(path), 0);
        EXPECT_EQ(plugIn.ErrorText(), "Could'n load " + path);
        CVTImagePlugIn image;
        EXPECT_EQ(image.Load(path), 0);
        EXPECT_EQ(image.ErrorText(), "Could'n load " + path);
    }
}

TEST(PlugInLoad, AGoodLibraryGivesItsNamesAndEntryPoints) {
    PlugInFolder folder;
    CPlugIn engine;
    ASSERT_EQ(engine.Load(folder.Add("general_fake_engine", "fake.so")), 1);
    EXPECT_EQ(engine.Name(), "Dicom engine");
    EXPECT_EQ(engine.SecondText(), "fake");
    EXPECT_FALSE(engine.HasError());

    CVTImagePlugIn one;
    ASSERT_EQ(one.Load(folder.Add("image_invert", "a/VTPlugInMain.so")), 1);
    EXPECT_EQ(one.Name(), "Invert");
    EXPECT_EQ(one.InputCount(), 1);
    EXPECT_NE(one.Proceed1(), nullptr);
    EXPECT_EQ(one.Proceed(), nullptr);

    CVTImagePlugIn two;
    ASSERT_EQ(two.Load(folder.Add("image_two_inputs", "b/VTPlugInMain.so")), 1);
    EXPECT_EQ(two.InputCount(), 2);
    EXPECT_NE(two.Proceed(), nullptr);
    EXPECT_EQ(two.Proceed1(), nullptr);

    // A name that fills the whole buffer without a terminator is cut at its end.
    CVTImagePlugIn bogus;
    ASSERT_EQ(bogus.Load(folder.Add("image_bogus", "c/VTPlugInMain.so")), 1);
    EXPECT_EQ(bogus.Name(), std::string(VT_PLUGIN_TEXT_SIZE, 'B'));
}

TEST(PlugInLoad, SetErrorReleasesTheLibraryAndAnEmptyMessageClearsEverything) {
    PlugInFolder folder;
    CVTImagePlugIn plugIn;
    const std::string path = folder.Add("image_invert", "a/VTPlugInMain.so");
    ASSERT_EQ(plugIn.Load(path), 1);
    plugIn.SetError("broken");
    EXPECT_FALSE(plugIn.IsLoaded());
    EXPECT_TRUE(plugIn.HasError());
    EXPECT_EQ(plugIn.ErrorText(), "broken");
    EXPECT_EQ(plugIn.InputCount(), 0);
    EXPECT_EQ(plugIn.Proceed1(), nullptr);
    EXPECT_EQ(plugIn.Name(), "Invert");  // kept for the menu
    EXPECT_EQ(plugIn.Path(), path);

    plugIn.SetError("");
    EXPECT_FALSE(plugIn.HasError());
    EXPECT_EQ(plugIn.ErrorText(), "");
    EXPECT_EQ(plugIn.Name(), "");
    EXPECT_EQ(plugIn.SecondText(), "");
    EXPECT_EQ(plugIn.Path(), "");
}

TEST(PlugInLoad, ReloadingLooksUpTheProcedureAgainAndRecordsWhatFails) {
    PlugInFolder folder;
    CVTImagePlugIn plugIn;
    const std::string path = folder.Add("image_invert", "a/VTPlugInMain.so");
    ASSERT_EQ(plugIn.Load(path), 1);
    EXPECT_TRUE(plugIn.ReloadProceed1());
    EXPECT_TRUE(plugIn.IsLoaded());
    EXPECT_NE(plugIn.Proceed1(), nullptr);
    EXPECT_EQ(plugIn.InputCount(), 1);

    // Replaced by a library without the procedure (a new file: the mapped one
    // is never overwritten in place).
    fs::remove(path);
    folder.Add("image_no_count", "a/VTPlugInMain.so");
    EXPECT_FALSE(plugIn.ReloadProceed1());
    EXPECT_TRUE(plugIn.HasError());
    EXPECT_EQ(plugIn.ErrorText(),
              "Error: function " + path + ":VTPlugInProceed1 is not initialized");

    fs::remove(path);
    EXPECT_FALSE(plugIn.ReloadProceed1());
    EXPECT_EQ(plugIn.ErrorText(), "Could'n load " + path);
    EXPECT_FALSE(plugIn.IsLoaded());
}

// ---------------------------------------------------------------- scanning

class PlugInScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.dir.isValid());
        folder.Add("general_broken", "broken.so");
        folder.Add("general_fake_engine", "fake_engine.so");
        folder.Add("general_other", "other.so");
        folder.AddText("garbage.so", "not an ELF file");
        folder.AddText("readme.txt", "not a plug-in");
        fs::create_directories(folder.root / "folder.so");  // a folder is never loaded
        // Depth-first by name would give a_invert, its nested one, then b_bogus:
        // the walk goes level by level instead.
        folder.Add("image_invert", "a_invert/VTPlugInMain.so");
        folder.Add("image_two_inputs", "a_invert/zz_nested/VTPlugInMain.so");
        folder.Add("image_bogus", "b_bogus/VTPlugInMain.so");
        folder.Add("image_two_inputs", "c_two/VTPlugInMain.so");
        folder.Add("image_no_proceed", "d_no_proceed/VTPlugInMain.so");
        folder.Add("image_invert",
                   "e_other_name/Plugin.so");  // wrong file name: not an image plug-in
    }
    PlugInFolder folder;
    CPlugInManager manager;
};

TEST_F(PlugInScanTest, KeepsTheLoadedPlugInsInFileAndLevelOrder) {
    const CPlugInScanReport report = manager.ScanPlugIns(folder.Path());

    std::vector<std::string> general;
    for (const auto& plugIn : manager.GeneralPlugIns()) general.push_back(plugIn->Name());
    EXPECT_EQ(general, (std::vector<std::string>{"Dicom engine", "dicom engine"}));

    const std::vector<std::string> expected = {"Invert", std::string(VT_PLUGIN_TEXT_SIZE, 'B'),
                                               "Two Images", "Two Images"};
    EXPECT_EQ(Names(manager.ImagePlugIns()), expected);
    ASSERT_EQ(manager.ImagePlugIns().size(), 4u);
    EXPECT_EQ(manager.ImagePlugIns()[2]->Path(), folder.Path("c_two/VTPlugInMain.so"));
    EXPECT_EQ(manager.ImagePlugIns()[3]->Path(), folder.Path("a_invert/zz_nested/VTPlugInMain.so"));
    for (const auto& plugIn : manager.ImagePlugIns()) EXPECT_FALSE(plugIn->HasError());

    EXPECT_EQ(report.failures,
              (std::vector<std::string>{
                  "Error in function " + folder.Path("broken.so") + ":GetPlugInName",
                  "Could'n load " + folder.Path("garbage.so"),
                  "Error in function " + folder.Path("d_no_proceed/VTPlugInMain.so") +
                      ":VTPlugInProceed1"}));
}

TEST_F(PlugInScanTest, ScanningAgainReplacesTheListsAndAMissingFolderEmptiesThem) {
    manager.ScanPlugIns(folder.Path());
    manager.ScanPlugIns(folder.Path());
    EXPECT_EQ(manager.GeneralPlugIns().size(), 2u);
    EXPECT_EQ(manager.ImagePlugIns().size(), 4u);
    manager.ScanPlugIns(folder.Path("no_such_folder"));
    EXPECT_TRUE(manager.GeneralPlugIns().empty());
    EXPECT_TRUE(manager.ImagePlugIns().empty());
    EXPECT_TRUE(FindDicomEngines().empty());
}

// ---------------------------------------------------------------- DICOM engine

TEST_F(PlugInScanTest, TheEngineIsTheGeneralPlugInNamedExactlyDicomEngine) {
    EXPECT_TRUE(FindDicomEngines().empty()) << "no provider before a scan";
    manager.ScanPlugIns(folder.Path());
    const std::vector<CDicomEngine> engines = FindDicomEngines();
    ASSERT_EQ(engines.size(), 1u);  // "dicom engine" differs in case
    ASSERT_NE(engines[0].load, nullptr);
    EXPECT_NE(engines[0].save, nullptr);

    // The image core reads DICOM files through it, once their structure holds.
    dicomtest::DicomWriter sound;
    sound.Preamble("1.2.840.10008.1.2.1");
    sound.Image(1, 1, 16, 12, 11).Pixels16({1});
    std::ofstream(folder.Path("any.dcm"), std::ios::binary)
        .write(reinterpret_cast<const char*>(sound.bytes.data()),
               static_cast<std::streamsize>(sound.bytes.size()));
    for (int option : {0, 1}) {
        SetDicomReadingOption(option);
        CMImage image;
        std::string description;
        ASSERT_EQ(image.Open(folder.Path("any.dcm"), description), 1);
        EXPECT_EQ(image.width, 3);
        EXPECT_EQ(image.height, 2);
        EXPECT_EQ(image.depth, 12);
        EXPECT_EQ(static_cast<uint16_t>(image.GetPixel(2, 1)), 0x0F00 + 5 + 100 * option);
    }
    SetDicomReadingOption(0);

    manager.Clear();
    EXPECT_TRUE(FindDicomEngines().empty()) << "released plug-ins are not served";
}

TEST(PlugInScan, ABrokenGeneralPlugInAloneLeavesNoEngine) {
    PlugInFolder folder;
    folder.Add("general_broken", "broken.so");
    CPlugInManager manager;
    manager.ScanPlugIns(folder.Path());
    EXPECT_TRUE(manager.GeneralPlugIns().empty());
    EXPECT_TRUE(FindDicomEngines().empty());
}

TEST(PlugInScan, TheProviderGoesWithTheManagerThatScannedLast) {
    PlugInFolder folder;
    folder.Add("general_fake_engine", "fake_engine.so");
    PlugInFolder empty;
    fs::create_directories(empty.root);
    {
        CPlugInManager manager;
        manager.ScanPlugIns(folder.Path());
        EXPECT_EQ(FindDicomEngines().size(), 1u);
        {
            CPlugInManager other;
            other.ScanPlugIns(empty.Path());
            EXPECT_TRUE(FindDicomEngines().empty()) << "the later scan serves";
            manager.ScanPlugIns(folder.Path());
        }
        EXPECT_EQ(FindDicomEngines().size(), 1u) << "an earlier manager going keeps the server";
    }
    EXPECT_TRUE(FindDicomEngines().empty());
}

// ---------------------------------------------------------------- running

class RunPlugInTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.dir.isValid());
        app.SetUi(&ui);
        folder.Add("image_invert", "a_invert/VTPlugInMain.so");
        folder.Add("image_bogus", "b_bogus/VTPlugInMain.so");
        folder.Add("image_two_inputs", "c_two/VTPlugInMain.so");
        manager.SetProgramPath("/opt/vistrel/bin/vistrel");
        manager.ScanPlugIns(folder.Path());
        ASSERT_EQ(manager.ImagePlugIns().size(), 3u);

        // A 12-bit 6 x 4 source with a value offset, opened as a document.
        std::vector<uint16_t> samples(24);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<uint16_t>(100 * i);
        const std::string path = folder.dir.path().toStdString() + "/source.pgx";
        WritePgxFile(path, 6, 4, samples);
        source = app.OpenDocumentFile(path);
        ASSERT_NE(source, nullptr);
        source->image.valueOffset = 1024;
        ui.opened.clear();
    }
    template <typename T>
    T Entry(int index, const char* name) {
        return reinterpret_cast<T>(manager.ImagePlugIns()[index]->Symbol(name));
    }

    PlugInFolder folder;
    CFakeUi ui;
    CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app;
    CPlugInManager manager;
    CVistrelDoc* source = nullptr;
};

TEST_F(RunPlugInTest, ResultsOpenAsDocumentsWithOriginalOnlyForTheSameSize) {
    struct Case {
        int policy;
        bool sameSizeHasOriginal;
    } cases[] = {{kOriginalPrevious, true}, {kOriginalCurrent, true}, {kOriginalEmpty, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy);
        app.originalPolicy = c.policy;
        ui.opened.clear();
        EXPECT_EQ(manager.RunImagePlugIn(*source, kPlugInCommandFirst), 2);
        ASSERT_EQ(ui.opened.size(), 2u);

        const CVistrelDoc& same = *ui.opened[0];
        ASSERT_EQ(same.image.width, 6);
        ASSERT_EQ(same.image.height, 4);
        EXPECT_EQ(same.image.depth, 12);
        EXPECT_EQ(same.image.valueOffset, 1024) << "same depth keeps the source's offset";
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 6; ++x)
                ASSERT_EQ(same.image.GetPixel(x, y), 4095 - source->image.GetPixel(x, y));
        EXPECT_EQ(same.originalImage.IsValid(), c.sameSizeHasOriginal);
        if (c.sameSizeHasOriginal) {
            EXPECT_TRUE(same.originalImage.IsEqual(source->image));
        }
        EXPECT_EQ(same.pathName, source->pathName);

        const CVistrelDoc& other = *ui.opened[1];
        EXPECT_EQ(other.image.width, 3);
        EXPECT_EQ(other.image.height, 2);
        EXPECT_EQ(other.image.depth, 8);
        EXPECT_EQ(other.image.valueOffset, 0) << "another depth has no offset";
        EXPECT_EQ(other.image.GetPixel(2, 1), 3);
        EXPECT_FALSE(other.originalImage.IsValid()) << "another size has no original";
        EXPECT_EQ(other.Title().section(' ', 0, 0), source->Title().section(' ', 0, 0));
    }
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(RunPlugInTest, ThePlugInGetsTheImageAndTheProgramPath) {
    ASSERT_EQ(manager.RunImagePlugIn(*source, kPlugInCommandFirst), 2);
    EXPECT_EQ(Entry<int (*)()>(0, "TestCalls")(), 1);
    EXPECT_STREQ(Entry<const char* (*)()>(0, "TestLastProgramPath")(), "/opt/vistrel/bin/vistrel");
    const VTImageRecord& input = *Entry<const VTImageRecord* (*)()>(0, "TestLastInput")();
    EXPECT_EQ(input.data, source->image.data);
    EXPECT_EQ(input.width, 6);
    EXPECT_EQ(input.height, 4);
    EXPECT_EQ(input.bytesPerRow, 12);
    EXPECT_EQ(input.depth, 12);
    EXPECT_EQ(input.maxValue, 4095);
    EXPECT_EQ(source->image.GetPixel(5, 3), 2300) << "the source is untouched";
}

TEST_F(RunPlugInTest, RecordsWithBogusSizesAreDroppedAndTheRestOpens) {
    EXPECT_EQ(manager.RunImagePlugIn(*source, kPlugInCommandFirst + 1), 1);
    ASSERT_EQ(ui.opened.size(), 1u);
    const CMImage& image = ui.opened[0]->image;
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(image.depth, 16);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(image.GetPixel(i % 3, i / 3), i);
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(RunPlugInTest, CommandsOutsideTheListAndOtherInputCountsDoNothing) {
    for (int id : {kPlugInCommandFirst - 1, kPlugInCommandFirst + 3, kPlugInCommandLast}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(manager.RunImagePlugIn(*source, id), 0);
    }
    EXPECT_EQ(manager.RunImagePlugIn(*source, kPlugInCommandFirst + 2), 0);
    EXPECT_EQ(Entry<int (*)()>(2, "TestProceedCalls")(), 0) << "two-image plug-ins are not called";
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(RunPlugInTest, APlugInWithAnErrorSaysSoOnEveryUse) {
    manager.ImagePlugIns()[0]->SetError("Could'n load " + manager.ImagePlugIns()[0]->Path());
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_EQ(manager.RunImagePlugIn(*source, kPlugInCommandFirst), 0);
    EXPECT_EQ(sink.shown, (std::vector<std::string>{"Error in PlugIn", "Error in PlugIn"}));
    EXPECT_TRUE(ui.opened.empty());
}

TEST(PlugInRecord, CopiesRowsAndRefusesSizesThatDoNotFitTheSamples) {
    auto* samples = static_cast<uint8_t*>(std::malloc(3 * 8));
    for (int i = 0; i < 24; ++i) samples[i] = static_cast<uint8_t>(i);
    VTImageRecord record{};
    record.data = samples;
    record.width = 2;
    record.height = 3;
    record.bytesPerRow = 8;  // padded rows: two pixels of 8 bits need 2 bytes
    record.depth = 8;
    const std::unique_ptr<CMImage> image = CopyPlugInRecord(record);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->bytesPerRow, 2);
    EXPECT_EQ(image->GetPixel(1, 2), 17);

    struct Case {
        const char* what;
        int32_t width, height, bytesPerRow;
        uint8_t depth;
    } bad[] = {
        {"rows shorter than 16-bit pixels need", 8, 3, 8, 16},
        {"more rows than the samples hold", 2, 4, 8, 8},
        {"unsupported depth", 2, 3, 8, 6},
        {"zero height", 2, 0, 8, 8},
        {"negative bytes per row", 2, 3, -8, 8},
        {"1-bit rows too short", 100, 3, 8, 1},
    };
    for (const Case& c : bad) {
        VTImageRecord wrong = record;
        wrong.width = c.width;
        wrong.height = c.height;
        wrong.bytesPerRow = c.bytesPerRow;
        wrong.depth = c.depth;
        EXPECT_EQ(CopyPlugInRecord(wrong), nullptr) << c.what;
    }
    std::free(samples);
}

}  // namespace
}  // namespace vistrel
