#include "workspace/vistrel_app.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "support/dicom_test_writer.h"
#include "workspace/vistrel_doc.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

using testing::CFakeUi;
using testing::CRecordingSink;
using testing::WritePgxFile;

// Every test of this program reads and writes settings in a temporary folder,
// never in the user's real configuration.
class IsolatedSettings : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
    }

  private:
    QTemporaryDir dir_;
};
const auto* const kIsolatedSettings = ::testing::AddGlobalTestEnvironment(new IsolatedSettings);

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings("Korvel", "Vistrel").clear();
    }
    std::string Path(const std::string& name) const {
        return (dir.path() + "/").toStdString() + name;
    }
    void Touch(const std::string& path) { std::ofstream(path) << "x"; }

    QTemporaryDir dir;
    CFakeUi ui;
    CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app{&ui};
};

TEST_F(AppTest, PgxByteOrderBecomesMlOnlyOnOkWithMl) {
    struct Case {
        bool ok;
        int pick;
        bool lm;
    } cases[] = {{true, 1, false}, {true, 0, true}, {false, 1, true}, {false, 0, true}};
    for (const Case& c : cases) {
        app.pgxByteOrderLM = !c.lm;  // the previous state must not matter
        ui.radioOk = c.ok;
        ui.radioPick = c.pick;
        app.OnPgxSavingOptions();
        EXPECT_EQ(app.pgxByteOrderLM, c.lm) << "ok " << c.ok << " pick " << c.pick;
    }
    // The dialog always opens on "LM (Windows)", whatever was chosen before.
    for (int initial : ui.radioInitial) EXPECT_EQ(initial, 0);
    EXPECT_EQ(ui.radioTitles.front(), "Pgx saving options (byte order)");
    EXPECT_EQ(ui.radioOptions.front(), (std::vector<std::string>{"LM (Windows)", "ML"}));
}

TEST_F(AppTest, ColourAndOriginalOptionsOpenOnTheCurrentChoiceAndKeepItOnCancel) {
    app.colourMode = 2;
    ui.radioOk = false;
    ui.radioPick = 0;
    app.OnColouredImagesOptions();
    EXPECT_EQ(app.colourMode, 2);
    EXPECT_EQ(ui.radioInitial.back(), 2);
    EXPECT_EQ(ui.radioOptions.back(),
              (std::vector<std::string>{"1/3  R + 1/3  G + 1/3  B", "30% R + 59% G + 11% B", "G"}));
    ui.radioOk = true;
    ui.radioPick = 1;
    app.OnColouredImagesOptions();
    EXPECT_EQ(app.colourMode, 1);

    EXPECT_EQ(app.originalPolicy, kOriginalEmpty);
    app.OnOriginalImageOptions();
    EXPECT_EQ(ui.radioTitles.back(), "Set original image after operations");
    EXPECT_EQ(ui.radioInitial.back(), kOriginalEmpty);
    EXPECT_EQ(app.originalPolicy, kOriginalPrevious);
}

TEST_F(AppTest, RawDialogOpensOnTheLastAcceptedParameters) {
    ui.rawAnswer = {640, 480, 14, true};
    CRawParams params;
    ASSERT_TRUE(app.AskRawParams("x.raw", params));
    EXPECT_EQ(params.width, 640);
    EXPECT_TRUE(params.msbAligned);
    ui.rawOk = false;
    EXPECT_FALSE(app.AskRawParams("y.raw", params));
    ASSERT_EQ(ui.rawShown.size(), 2u);
    EXPECT_EQ(ui.rawShown[1].width, 640);
    EXPECT_EQ(ui.rawShown[1].height, 480);
    EXPECT_EQ(ui.rawShown[1].depth, 14);
    EXPECT_TRUE(ui.rawShown[1].msbAligned);
    EXPECT_EQ(app.lastRawParams.width, 640);  // Cancel keeps the accepted values
}

TEST_F(AppTest, RawFileOpensWithTheDialogParameters) {
    const std::string path = Path("plain.raw");
    {
        std::ofstream out(path, std::ios::binary);
        const unsigned char bytes[] = {0x10, 0x00, 0xf0, 0xff};  // two MSB-aligned 12-bit words
        out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    ui.rawAnswer = {2, 1, 12, true};
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->image.depth, 12);
    EXPECT_EQ(doc->image.GetPixel(0, 0), 0x001);
    EXPECT_EQ(doc->image.GetPixel(1, 0), 0xfff);
    EXPECT_EQ(ui.rawShown.size(), 1u);  // no dialog for the missing companion files
}

TEST_F(AppTest, SettingsSurviveARoundTrip) {
    const std::string opened = Path("last.pgx");
    Touch(opened);
    app.lastPaths = {opened, "/f/features.ftr", "/n/net.nn", "/c/curve.crv", "/w/set.wtp"};
    app.mode = 1;
    app.fitMode = 3;
    app.childWidth = 640;
    app.childHeight = 480;
    for (int i = 0; i < 8; ++i) app.AddToRecentFileList(Path("r" + std::to_string(i) + ".pgx"));
    app.SaveSettings();

    CVistrelApp again;
    again.LoadSettings();
    EXPECT_EQ(again.lastPaths.open, opened);
    EXPECT_EQ(again.lastPaths.features, "/f/features.ftr");
    EXPECT_EQ(again.lastPaths.neuralNetwork, "/n/net.nn");
    EXPECT_EQ(again.lastPaths.curve, "/c/curve.crv");
    EXPECT_EQ(again.lastPaths.waveletTransform, "/w/set.wtp");
    EXPECT_EQ(again.mode, 1);
    EXPECT_EQ(again.fitMode, 3);
    EXPECT_EQ(again.childWidth, 640);
    EXPECT_EQ(again.childHeight, 480);
    ASSERT_EQ(again.RecentFiles().size(), 6u);
    EXPECT_EQ(again.RecentFiles().front(), Path("r7.pgx"));
    EXPECT_EQ(again.RecentFiles().back(), Path("r2.pgx"));

    QSettings stored("Korvel", "Vistrel");
    EXPECT_EQ(stored.value("Settings/fitmode").toInt(), 3);
    EXPECT_EQ(stored.value("Files/neural network").toString().toStdString(), "/n/net.nn");
}

TEST_F(AppTest, MissingValuesReadAsZeroAndAVanishedOpenPathIsCleared) {
    {
        QSettings stored("Korvel", "Vistrel");
        stored.setValue("Files/open", QString::fromStdString(Path("gone.pgx")));
    }
    app.mode = 7;
    app.LoadSettings();
    EXPECT_TRUE(app.lastPaths.open.empty());
    EXPECT_EQ(app.mode, 0);
    EXPECT_EQ(app.childHeight, 0);
    EXPECT_TRUE(app.RecentFiles().empty());
}

TEST_F(AppTest, RecentFilesMoveToTheTopAndVanishedOnesAreDropped) {
    const std::string a = Path("a.pgx"), b = Path("b.pgx"), c = Path("c.pgx");
    Touch(a);
    Touch(c);
    app.AddToRecentFileList(a);
    app.AddToRecentFileList(b);
    app.AddToRecentFileList(c);
    app.AddToRecentFileList(a);
    EXPECT_EQ(app.RecentFiles(), (std::vector<std::string>{a, c, b}));
    std::filesystem::remove(a);
    EXPECT_EQ(app.MostRecentExistingFile(), c);
    EXPECT_EQ(app.RecentFiles(), (std::vector<std::string>{c}));
}

TEST_F(AppTest, PresetsSetTheCurrentWindowAndTheActiveDocument) {
    {
        std::ofstream out(Path("presets.txt"));
        out << "name width level\nSoft tissue 400 40\nBone\t2000\t500\n";
    }
    app.LoadToolData(dir.path().toStdString());
    ASSERT_EQ(app.Presets().size(), 2u);
    const std::string image = Path("p.pgx");
    WritePgxFile(image, 2, 1, {1, 2});
    CVistrelDoc* doc = app.OpenDocumentFile(image);
    ASSERT_NE(doc, nullptr);
    app.SetActiveDocument(doc);

    int told = 0;
    QObject::connect(&app.Notifier(), &CNotifier::newWindow, [&](int low, int high) {
        ++told;
        EXPECT_EQ(low, -500);
        EXPECT_EQ(high, 1500);
    });
    app.ApplyPreset(1);  // Bone: level 500, width 2000 -> -500 .. 1500
    EXPECT_EQ(app.currentWindow.low, -500);
    EXPECT_EQ(app.currentWindow.high, 1500);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(doc->windowLow, 0);  // clamped into the 12-bit range
    EXPECT_EQ(doc->windowHigh, 1500);
    EXPECT_TRUE(app.PresetMatchesCurrentWindow(1));
    EXPECT_FALSE(app.PresetMatchesCurrentWindow(0));
}

TEST_F(AppTest, GetCurrentPresetStoresTheDocumentWindowInListAndFile) {
    {
        std::ofstream out(Path("presets.txt"));
        out << "heading\n";
    }
    app.LoadToolData(dir.path().toStdString());
    const std::string image = Path("g.pgx");
    WritePgxFile(image, 2, 1, {1, 2});
    CVistrelDoc* doc = app.OpenDocumentFile(image);
    ASSERT_NE(doc, nullptr);
    app.SetActiveDocument(doc);
    doc->SetWindowValues(100, 301);
    ui.textAnswer = "Dense";
    ASSERT_TRUE(app.GetCurrentPreset());
    EXPECT_EQ(ui.textPrompts.back(), "Preset name (100/301)");
    EXPECT_EQ(app.currentWindow.low, 100);
    EXPECT_EQ(app.currentWindow.high, 301);
    ASSERT_EQ(app.Presets().size(), 1u);
    EXPECT_EQ(app.Presets()[0].width, 201);
    EXPECT_EQ(app.Presets()[0].level, 200);
    EXPECT_TRUE(app.PresetMatchesCurrentWindow(0));
    const auto reloaded = LoadPresets(Path("presets.txt"));
    ASSERT_EQ(reloaded.size(), 1u);
    EXPECT_EQ(reloaded[0].name, "Dense");

    ui.textOk = false;  // Cancel adds nothing
    EXPECT_FALSE(app.GetCurrentPreset());
    EXPECT_EQ(app.Presets().size(), 1u);
}

TEST_F(AppTest, UnreadableLutLeavesNoPaletteUntilAnotherIsChosen) {
    std::filesystem::create_directories(Path("Luts"));
    {
        std::ofstream out(Path("Luts/short.lut"), std::ios::binary);
        out << "too short";
    }
    app.LoadToolData(dir.path().toStdString());
    ASSERT_EQ(app.Luts().Names().size(), 3u);
    EXPECT_EQ(app.SelectLut(2), -1);
    EXPECT_TRUE(app.Palette().empty());
    EXPECT_EQ(app.SelectLut(1), 0);
    ASSERT_EQ(app.Palette().size(), 256u);
    EXPECT_EQ(app.Palette()[0].red, 255);  // white/black linear
    EXPECT_EQ(app.SelectLut(99), 0);       // out of range selects the first
    EXPECT_EQ(app.CurrentLut(), 0);
    EXPECT_EQ(app.Palette()[0].red, 0);
}

// ---------------------------------------------------------------- cases

class AppCaseTest : public AppTest {
  protected:
    CVistrelDoc* Open(const std::string& name) {
        const std::string path = Path(name);
        WritePgxFile(path, 2, 2, {1, 2, 3, 4});
        return app.OpenDocumentFile(path);
    }
};

TEST_F(AppCaseTest, FourViewsShareOneEntryAndCloseTogether) {
    CVistrelDoc* cc = Open("A_1234_1.LEFT_CC.pgx");
    CVistrelDoc* mlo = Open("A_1234_1.RIGHT_MLO.pgx");
    CVistrelDoc* other = Open("B_5.LEFT_CC.pgx");
    CVistrelDoc* plain = Open("mdb001.pgx");
    ASSERT_TRUE(cc && mlo && other && plain);
    EXPECT_EQ(app.Cases().Entries(), (std::vector<std::string>{"A_1234_1.pgx", "B_5.pgx"}));
    EXPECT_EQ(ui.caseListChanges, 2);

    // Without an active document the case commands do nothing.
    EXPECT_EQ(app.OnCloseCurrentCase(), 0);
    EXPECT_EQ(app.OnNextCase(), -1);

    app.SetActiveDocument(cc);
    EXPECT_EQ(app.OnCurrentCaseView("_MLO"), 1);
    EXPECT_EQ(ui.activated, (std::vector<CVistrelDoc*>{mlo}));
    ui.activated.clear();
    EXPECT_EQ(app.OnNextCase(), 1);
    EXPECT_EQ(ui.activated, (std::vector<CVistrelDoc*>{other}));
    ui.activated.clear();
    EXPECT_TRUE(app.OnCase(50000));
    EXPECT_EQ(ui.activated, (std::vector<CVistrelDoc*>{cc, mlo}));
    EXPECT_FALSE(app.OnCase(50002));

    EXPECT_EQ(app.OnCloseCurrentCase(), 2);
    EXPECT_EQ(app.Documents().size(), 2u);
    EXPECT_EQ(app.ActiveDocument(), nullptr);
    // Entries stay after their documents close.
    EXPECT_EQ(app.Cases().Entries().size(), 2u);

    app.OnCloseAll();
    EXPECT_TRUE(app.Documents().empty());
    EXPECT_EQ(app.DocumentCounter(), 0);
    EXPECT_EQ(Open("x.pgx")->number, 1);
}

TEST_F(AppCaseTest, SwapReachesEveryDocumentOfTheActiveCase) {
    CVistrelDoc* cc = Open("A_1.LEFT_CC.pgx");
    CVistrelDoc* mlo = Open("A_1.LEFT_MLO.pgx");
    CVistrelDoc* other = Open("B_2.LEFT_CC.pgx");
    CVistrelDoc* plain = Open("plain.pgx");
    ASSERT_TRUE(cc && mlo && other && plain);
    for (CVistrelDoc* doc : {cc, mlo, other, plain}) {
        doc->originalImage.Create(2, 2, 8, 1);
        doc->originalImage.SetPixel(0, 0, 99);
    }
    app.SetActiveDocument(mlo);
    EXPECT_EQ(app.OnSwapOriginalImage(), 2);
    EXPECT_EQ(cc->image.GetPixel(0, 0), 99);
    EXPECT_EQ(mlo->image.GetPixel(0, 0), 99);
    EXPECT_EQ(other->image.GetPixel(0, 0), 1);
    EXPECT_EQ(plain->image.GetPixel(0, 0), 1);
    // Documents of no case form a group of their own.
    app.SetActiveDocument(plain);
    EXPECT_EQ(app.OnSwapOriginalImage(), 1);
    EXPECT_EQ(plain->image.GetPixel(0, 0), 99);
}

TEST_F(AppCaseTest, OpeningReadsTheCaseResolution) {
    std::ofstream(Path("A-1234-1.ics")) << "LEFT_CC LINES 2 RESOLUTION 50 OVERLAY\n";
    CVistrelDoc* doc = Open("A_1234_1.LEFT_CC.pgx");
    ASSERT_NE(doc, nullptr);
    EXPECT_FLOAT_EQ(doc->resolution, 508.0f);
    CVistrelDoc* other = Open("A_1234_1.RIGHT_CC.pgx");
    ASSERT_NE(other, nullptr);
    EXPECT_FLOAT_EQ(other->resolution, 583.92f);
}

// ---------------------------------------------------------------- interface mode

TEST_F(AppTest, RadiologistsModeSetsMouseModeAndDisplayToggles) {
    {
        QSettings stored("Korvel", "Vistrel");
        stored.setValue("Settings/mode", 1);
    }
    app.showUserDiagnoses = true;
    app.LoadSettings();
    EXPECT_TRUE(app.RadiologistsMode());
    EXPECT_EQ(app.mouseMode, kMouseWinLev);
    EXPECT_FALSE(app.showRos);
    EXPECT_FALSE(app.showRegions);
    EXPECT_FALSE(app.showUserDiagnoses);

    app.OnRadiologistsInterface();
    EXPECT_EQ(app.mode, 0);
    EXPECT_EQ(app.mouseMode, kMouseRoi);
    EXPECT_TRUE(app.showRos);
    EXPECT_TRUE(app.showRegions);
    EXPECT_EQ(ui.interfaceChanges, 1);

    // Hiding regions switches to window/level, showing them back to ROI.
    app.OnShowRegions();
    EXPECT_EQ(app.mouseMode, kMouseWinLev);
    app.OnShowRegions();
    EXPECT_EQ(app.mouseMode, kMouseRoi);
    // Drawing ROS shows them.
    app.OnShowRos();
    app.SetMouseMode(kMouseDrawRos);
    EXPECT_TRUE(app.showRos);
    app.SetMouseMode(9);
    EXPECT_EQ(app.mouseMode, kMouseDrawRos);
}

TEST_F(AppTest, ChildSizeIsClampedToTheClientArea) {
    struct Case {
        int fitMode, width, height;
        int expectedWidth, expectedHeight;
    } cases[] = {
        {0, 640, 480, 640, 480}, {0, 2000, 300, 1000, 300}, {0, 640, 0, 1000, 800},
        {4, 640, 480, 250, 400}, {2, 0, 0, 1000, 800},
    };
    for (const Case& c : cases) {
        app.fitMode = c.fitMode;
        app.childWidth = c.width;
        app.childHeight = c.height;
        app.ClampChildSize(1000, 800);
        EXPECT_EQ(app.childWidth, c.expectedWidth) << c.fitMode << " " << c.width;
        EXPECT_EQ(app.childHeight, c.expectedHeight) << c.fitMode << " " << c.height;
    }
}

TEST_F(AppTest, StartReopensTheMostRecentFileOnlyOutsideTheRadiologistsMode) {
    const std::string kept = Path("kept.pgx");
    Touch(kept);
    app.AddToRecentFileList(kept);
    app.AddToRecentFileList(Path("gone.pgx"));
    EXPECT_EQ(app.StartupFile("/named.pgx"), "/named.pgx");
    EXPECT_EQ(app.StartupFile(""), kept);
    EXPECT_EQ(app.RecentFiles(), (std::vector<std::string>{kept}));
    app.mode = 1;
    EXPECT_EQ(app.StartupFile(""), "");
}

TEST_F(AppCaseTest, StartOpensEveryNamedFileAndFailsOnlyWhenNoneOpens) {
    std::vector<std::string> views;
    for (const char* name : {"A_1234_1.RIGHT_CC.pgx", "A_1234_1.LEFT_CC.pgx",
                             "A_1234_1.RIGHT_MLO.pgx", "A_1234_1.LEFT_MLO.pgx"}) {
        views.push_back(Path(name));
        WritePgxFile(views.back(), 2, 2, {1, 2, 3, 4});
    }
    app.currentWindow = {5, 6};  // a preset chosen earlier must not reach the later views
    ASSERT_TRUE(app.OpenStartupFiles(views));
    ASSERT_EQ(app.Documents().size(), 4u);
    for (std::size_t i = 0; i < views.size(); ++i) {
        EXPECT_EQ(app.Documents()[i]->pathName, views[i]);
        EXPECT_EQ(app.Documents()[i]->windowLow, 1000) << views[i];
    }
    EXPECT_EQ(ui.opened.size(), 4u);
    EXPECT_EQ(app.Cases().Entries(), (std::vector<std::string>{"A_1234_1.pgx"}));

    // One unreadable name is reported and the others still open.
    app.OnCloseAll();
    sink.shown.clear();
    ASSERT_TRUE(app.OpenStartupFiles({Path("missing.pgx"), views[0]}));
    EXPECT_EQ(app.Documents().size(), 1u);
    EXPECT_EQ(sink.shown.size(), 1u);

    // Nothing readable at all ends the start.
    app.OnCloseAll();
    EXPECT_FALSE(app.OpenStartupFiles({Path("missing.pgx"), Path("gone.pgx")}));
    EXPECT_TRUE(app.Documents().empty());
}

TEST_F(AppTest, StartWithoutNamesOpensTheMostRecentFile) {
    const std::string kept = Path("kept.pgx");
    WritePgxFile(kept, 2, 1, {1, 2});
    app.AddToRecentFileList(kept);
    ASSERT_TRUE(app.OpenStartupFiles({}));
    ASSERT_EQ(app.Documents().size(), 1u);
    EXPECT_EQ(std::filesystem::path(app.Documents()[0]->pathName), std::filesystem::path(kept));
    app.OnCloseAll();
    app.mode = 1;  // the radiologists' interface starts empty, and that is no failure
    EXPECT_TRUE(app.OpenStartupFiles({}));
    EXPECT_TRUE(app.Documents().empty());
}

TEST_F(AppTest, OrientationRuleMirrorsByNameAndSideInTheRadiologistsMode) {
    struct Case {
        const char* name;
        bool radiologists;
        int side;
        bool mirrored;
    } cases[] = {
        {"A_1.LEFT_CC.pgx", true, 1, true},  {"A_1.LEFT_CC.pgx", true, 0, false},
        {"A_1.RIGHT_CC.pgx", true, 0, true}, {"A_1.RIGHT_CC.pgx", true, 1, false},
        {"left_right.pgx", true, 0, false},  {"A_1.LEFT_CC.pgx", false, 1, false},
        {"plain.pgx", true, 1, false},
    };
    int asked = 0;
    int sideAnswer = 0;
    app.breastSideTest = [&](const CMImage&, int band) {
        ++asked;
        EXPECT_EQ(band, 300);
        return sideAnswer;
    };
    for (const Case& c : cases) {
        const std::string path = Path(c.name);
        WritePgxFile(path, 3, 1, {1, 2, 3});
        app.mode = c.radiologists ? 1 : 0;
        sideAnswer = c.side;
        CVistrelDoc* doc = app.OpenDocumentFile(path);
        ASSERT_NE(doc, nullptr) << c.name;
        EXPECT_EQ(doc->autoFlipped, c.mirrored) << c.name << " side " << c.side;
        EXPECT_EQ(doc->image.GetPixel(0, 0), c.mirrored ? 3 : 1) << c.name;
        if (c.mirrored) {
            // Saving writes the pixels the file had.
            const std::string copy = Path("copy.pgx");
            ASSERT_TRUE(doc->SaveImage(copy, true, false));
            CMImage back;
            std::string description;
            ASSERT_EQ(back.Open(copy, description), 1);
            EXPECT_EQ(back.GetPixel(0, 0), 1);
        }
    }
    EXPECT_EQ(asked, 5);
}

}  // namespace
}  // namespace vistrel

namespace vistrel {
namespace {

// A file that cannot be opened is reported with its reason on a second line,
// and leaves the documents already open as they were.
TEST_F(AppTest, AnUnreadableFileSaysWhyAndLeavesTheOpenDocumentAlone) {
    const std::string good = Path("good.pgx");
    WritePgxFile(good, 2, 2, {10, 20, 30, 40});
    CVistrelDoc* first = app.OpenDocumentFile(good);
    ASSERT_NE(first, nullptr);

    // 16-bit pixel data cut short, as a file copy that stopped early leaves it.
    dicomtest::DicomWriter w;
    w.Preamble("1.2.840.10008.1.2.1");
    w.Image(4, 4, 16, 12, 11).Pixels16(std::vector<uint16_t>(16, 2000));
    w.bytes.resize(w.bytes.size() - 10);
    const std::string cut = Path("cut.dcm");
    std::ofstream(cut, std::ios::binary)
        .write(reinterpret_cast<const char*>(w.bytes.data()),
               static_cast<std::streamsize>(w.bytes.size()));
    const std::string notAnImage = Path("notes.dcm");
    std::ofstream(notAnImage) << std::string(400, 'x');

    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {cut, "The file is truncated: its pixel data end before the image does."},
        {Path("missing.dcm"), "The file was not found."},
        {Path("missing.pgx"), "The file was not found."},
        {notAnImage, "The file is not a DICOM file."},
    };
    for (const auto& c : cases) {
        sink.shown.clear();
        EXPECT_EQ(app.OpenDocumentFile(c.path), nullptr) << c.path;
        ASSERT_EQ(sink.shown.size(), 1u) << c.path;
        EXPECT_EQ(sink.shown[0], "Cannot open the image file " + c.path + ".\n" + c.reason);
    }
    ASSERT_EQ(app.Documents().size(), 1u);
    EXPECT_EQ(app.Documents()[0].get(), first);
    EXPECT_EQ(first->pathName, good);
    EXPECT_EQ(ui.opened.size(), 1u);
    ASSERT_EQ(first->image.width, 2);
    EXPECT_EQ(first->image.GetPixel(1, 1), 40);
}

// ---------------------------------------------------------------- morphology

TEST_F(AppCaseTest, ElementDialogEditsACopyThatOkTakesOver) {
    CVistrelDoc* doc = Open("mdb002.pgx");
    ASSERT_NE(doc, nullptr);
    doc->resolution = 254.0f;
    app.SetActiveDocument(doc);
    const std::vector<uint8_t> before = app.morphElement.cells;
    ui.morphEdit = [&](CMorphElementModel& model) {
        model.SetSize(5);
        model.SetShape(CMorphSE::kCross);
        model.OnCreate();
        model.SetIterations(7);
        // The application's element stays as it was while the dialog is open.
        EXPECT_EQ(app.morphElement.cells, before);
        EXPECT_EQ(app.morphIterations, 1);
    };
    for (const bool ok : {false, true}) {
        ui.morphOk = ok;
        ui.morphShown.clear();
        EXPECT_EQ(app.OnStructuringElement(), ok);
        ASSERT_EQ(ui.morphShown.size(), 1u);
        EXPECT_EQ(ui.morphShown[0].Resolution(), 254.0);
        EXPECT_EQ(ui.morphShown[0].Element().size, 3);
        EXPECT_EQ(ui.morphShown[0].Iterations(), 1);
        if (!ok) {
            EXPECT_EQ(app.morphElement.cells, before) << "Cancel keeps the element";
            EXPECT_EQ(app.StructuringElementMenuText(),
                      "&Structuring element && Iterations (1)...");
        }
    }
    EXPECT_EQ(app.morphElement.size, 5);
    EXPECT_EQ(app.morphElement.shape, CMorphSE::kCross);
    EXPECT_EQ(app.morphElement.cells, CMorphSE(5, CMorphSE::kCross).cells);
    EXPECT_EQ(app.morphIterations, 7);
    EXPECT_EQ(app.StructuringElementMenuText(), "&Structuring element && Iterations (7)...");
}

TEST_F(AppTest, ElementDialogWithoutADocumentUsesOnePixelPerInch) {
    app.morphIterations = 12;
    ui.morphOk = false;
    EXPECT_FALSE(app.OnStructuringElement());
    ASSERT_EQ(ui.morphShown.size(), 1u);
    EXPECT_EQ(ui.morphShown[0].Resolution(), 1.0);
    EXPECT_EQ(ui.morphShown[0].Iterations(), 12);
    EXPECT_EQ(app.morphIterations, 12);
    EXPECT_EQ(app.StructuringElementMenuText(), "&Structuring element && Iterations (12)...");
}

}  // namespace
}  // namespace vistrel
