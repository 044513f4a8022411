#include "workspace/command_registry.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <map>
#include <set>

#include "core/dicom_engine.h"
#include "workspace/breast_side.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

using testing::CFakeUi;
using testing::CRecordingSink;

// Records what the commands ask of the screen; bars start shown.
class CFakeShell : public ICommandShell {
  public:
    void ZoomActiveView(EZoom zoom) override { zooms.push_back(zoom); }
    bool BarShown(EBar bar) const override { return !hidden.count(bar); }
    void ShowBar(EBar bar, bool shown) override {
        if (shown)
            hidden.erase(bar);
        else
            hidden.insert(bar);
    }
    bool ToolWindowOpen(EToolWindow window) const override { return open.count(window) > 0; }
    void ToggleToolWindow(EToolWindow window) override {
        if (!open.erase(window)) open.insert(window);
    }
    void PrintActiveView(EPrint how) override { prints.push_back(how); }
    void ToggleDescription() override { ++descriptionToggles; }
    void CascadeWindows() override { calls.push_back("cascade"); }
    void TileWindows() override { calls.push_back("tile"); }
    void ShowAbout() override { calls.push_back("about"); }
    void CloseActiveWindow() override { calls.push_back("close window"); }
    void CloseMainWindow() override { calls.push_back("exit"); }
    void ShowRulerLevels() override { calls.push_back("ruler levels"); }
    void ToggleShowOriginal() override { calls.push_back("show original"); }
    void DeselectRoi() override { calls.push_back("deselect"); }
    void FitModeChanged() override { ++fitChanges; }

    std::set<EBar> hidden;
    std::set<EToolWindow> open;
    std::vector<EZoom> zooms;
    std::vector<EPrint> prints;
    std::vector<std::string> calls;
    int descriptionToggles = 0;
    int fitChanges = 0;
};

CRegion Square(int32_t left, int32_t top, int32_t right, int32_t bottom, int16_t diagnosis = 2) {
    CRegion region({{left, top}, {right, top}, {right, bottom}, {left, bottom}},
                   CRegion::PointsMode::Polygon);
    region.diagnosis = diagnosis;
    return region;
}

int Id(CommandId id) {
    return static_cast<int>(id);
}

class CommandRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { app.SetUi(&ui); }
    // A document with a blank image of the given depth, owned by the application.
    CVistrelDoc* AddImage(int depth = 12, int width = 64, int height = 48) {
        std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
        doc->image = CMImage(width, height, depth);
        doc->pathName = "/cases/blank.pgx";
        return app.AddDocument(std::move(doc));
    }
    CCommandContext Context(CVistrelDoc* doc, CActiveView view = {}) {
        return CCommandContext{app, doc, view, &shell, nullptr};
    }
    static CActiveView ViewWith(CRect roi = {}, double ruler = 0.0) {
        CActiveView view;
        view.present = view.framePresent = view.hasPicture = true;
        view.roi = roi;
        view.rulerLength = ruler;
        return view;
    }
    bool Enabled(const CCommandContext& c, CommandId id) { return CommandEnabled(c, Id(id)); }
    bool Checked(const CCommandContext& c, CommandId id) { return CommandChecked(c, Id(id)); }

    CFakeUi ui;
    CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app;
    CFakeShell shell;
};

// The menu texts the workstation has always shown, in the order of the menus' table.
TEST(CommandTable, EveryCommandIsListedOnceWithItsMenuText) {
    const std::pair<CommandId, const char*> expected[] = {
        {CommandId::FileOpen, "&Open...\tCtrl+O"},
        {CommandId::FileClose, "&Close"},
        {CommandId::FileSave, "&Save"},
        {CommandId::FileSaveAs, "Save &As...\tCtrl+S"},
        {CommandId::PgxSavingOptions, "P&GX Saving Options..."},
        {CommandId::ColouredImagesOptions, "&Coloured Images Options..."},
        {CommandId::OriginalImageOptions, "&Document Original Image Options..."},
        {CommandId::AppExit, "E&xit"},
        {CommandId::ZoomIn, "Zoom &In\tAlt++"},
        {CommandId::ZoomOut, "Zoom &Out\tAlt+-"},
        {CommandId::ActualPixels, "&Actual Pixels (100%)\tCtrl+A"},
        {CommandId::ZoomToFit, "Zoom To &Fit\tCtrl+Z"},
        {CommandId::WindowBits, "Window &Bits"},
        {CommandId::WindowValues, "Window &Values"},
        {CommandId::GetCurrentPreset, "&Get Current Preset..."},
        {CommandId::WindowCascade, "&Cascade"},
        {CommandId::WindowTile, "&Tile"},
        {CommandId::AppAbout, "&About Vistrel..."},
        {CommandId::OpenOverlay, "Open OVER&LAY"},
        {CommandId::SaveOverlay, "Save OV&ERLAY"},
        {CommandId::ShowRos, "&Show ROS"},
        {CommandId::ShowRegions, "Show &Lesion Regions"},
        {CommandId::UserDiagnoses, "&User Diagnoses"},
        {CommandId::RemoveAllRegions, "&Remove All Regions"},
        {CommandId::ExtractRegions, "&Extract Regions"},
        {CommandId::SetAllBenign, "Set All &Benign"},
        {CommandId::SetAllMalignant, "Set All &Malignant"},
        {CommandId::SetAllFalse, "Set All &False"},
        {CommandId::RegionBenign, "&Benign"},
        {CommandId::RegionMalignant, "&Malignant"},
        {CommandId::RegionFalse, "&False"},
        {CommandId::RemoveRegion, "&Remove Region"},
        {CommandId::RemoveRos, "Remove &ROS"},
        {CommandId::RemoveAllRos, "Remove &All ROSes"},
        {CommandId::RemoveRegionsInsideRoi, "&Remove Regions Inside ROI"},
        {CommandId::RosBenign, "&Benign"},
        {CommandId::RosMalignant, "&Malignant"},
        {CommandId::RosFalse, "&False"},
        {CommandId::GrowSelectedContour, "Correct Contour by Region &Growing..."},
        {CommandId::SmoothSelectedContour, "Smooth Contour by &Dilation..."},
        {CommandId::GrowAllContours, "Correct All Contours by Region &Growing..."},
        {CommandId::SmoothAllContours, "Smooth All Contours by &Dilation..."},
        {CommandId::GrowClusterContours, "Correct Cluster Contours by Region &Growing..."},
        {CommandId::SmoothClusterContours, "Smooth Cluster Contours by &Dilation..."},
        {CommandId::DicomReadingOptions, "Dicom Reading Options..."},
        {CommandId::CloseAll, "C&lose All"},
        {CommandId::FilePrint, "&Print...\tCtrl+P"},
        {CommandId::FilePrintDirect, "Print &Direct"},
        {CommandId::FilePrintPreview, "Print Pre&view"},
        {CommandId::StandardToolbar, "Standard &Toolbar"},
        {CommandId::StatusBar, "Status &Bar"},
        {CommandId::MorphologyToolbar, "&Morphology Toolbar"},
        {CommandId::UserToolbar, "&User Toolbar"},
        {CommandId::RadiologistsInterface, "Interface for Radiologists"},
        {CommandId::FitScreen, "Fit Images To &Screen"},
        {CommandId::FitLargeToScreen, "Fit Only Large Images to Screen"},
        {CommandId::FitWindow, "Fit Images To Current Window\tCtrl+W"},
        {CommandId::FitLargeToWindow, "Fit Only Large Images To Window"},
        {CommandId::FitCasePreview, "Fit Case Preview\tCtrl+I"},
        {CommandId::MouseRoi, "R&OI"},
        {CommandId::MouseRuler, "&Ruler"},
        {CommandId::MouseDrawRos, "&Draw ROS"},
        {CommandId::MouseSrdmRoi, "SRD&M roi"},
        {CommandId::MouseWinLev, "Win/Lev"},
        {CommandId::ShowOriginal, "Back&ground := original image"},
        {CommandId::CropRoi, "&Crop ROI"},
        {CommandId::OpenRoiInNewWindow, "&Open ROI in New Window"},
        {CommandId::DeselectRoi, "&Deselect ROI"},
        {CommandId::ComputeSrdm, "&Compute SRDM"},
        {CommandId::ComputeGlcm, "Compute &GLCM"},
        {CommandId::PutTextureNextToRoi, "&Put Texture Next To ROI"},
        {CommandId::ShowFeatures, "Show &Features"},
        {CommandId::MeanRegionFeatures, "&Mean Region Features"},
        {CommandId::MeanFeaturesInCluster, "Mean Features of Regions in C&luster"},
        {CommandId::FeaturesOfRegionsAsCluster, "Features of Regions as a &Cluster"},
        {CommandId::LearningMeanFeatures, "&Mean Features of All Regions..."},
        {CommandId::LearningClusterFeatures, "&Cluster Features..."},
        {CommandId::LearningRegionFeatures, "&Features of Each Region..."},
        {CommandId::SaveClusterAndRegionFeatures, "Save Cluster && Its Region Features..."},
        {CommandId::SaveRegionFeatures, "&Save Region Features..."},
        {CommandId::BinaryImagesOfShapes, "Binary &Images of Object Shapes"},
        {CommandId::FeatureSelection, "Feature Selection..."},
        {CommandId::NeuralNetwork, "&Neural network..."},
        {CommandId::CoocurrenceParams, "Cooccurence &Matrix Params..."},
        {CommandId::RulerGrayLevels, "Ruler Gray-Levels"},
        {CommandId::Measure, "Measure"},
        {CommandId::BrightnessContrast, "Brightness/&Contrast..."},
        {CommandId::Histogram, "&Histogram..."},
        {CommandId::EqualizeHistogram, "&Equalize Histogram"},
        {CommandId::Rotate180, "&180"},
        {CommandId::Rotate90Cw, "&90 CW"},
        {CommandId::Rotate90Ccw, "90 C&CW"},
        {CommandId::FlipHorizontal, "Flip &Horizontal"},
        {CommandId::FlipVertical, "Flip &Vertical"},
        {CommandId::Reverse, "Re&verse"},
        {CommandId::SwapBytes, "S&wap bytes"},
        {CommandId::Depth16, "1&6"},
        {CommandId::Depth14, "1&4"},
        {CommandId::Depth12, "1&2"},
        {CommandId::Depth8, "  &8"},
        {CommandId::SwapOriginal, "Swap &original Image <-> image"},
        {CommandId::AddComment, "A&dd comment..."},
        {CommandId::ImageProperties, "Image &Properties..."},
        {CommandId::SetResolution, "Set Resolution..."},
        {CommandId::TwoImages, "Operations on &Two Images..."},
        {CommandId::Filters, "&Filters...\tCtrl+F"},
        {CommandId::LogGaussianFilters, "Lo&G && Gaussian filters..."},
        {CommandId::SpotDetector, "Multiscale Spot &Detector...\tCtrl+D"},
        {CommandId::Thresholding, "&Thresholding..."},
        {CommandId::SegmentFromSeeds, "S&egment From Seeds..."},
        {CommandId::McClusterDetection, "Microcalcification &Clusters Detection..."},
        {CommandId::SeedsWthLocalStatistics, "on seeds: WTH + local statistic + region growing"},
        {CommandId::SeedsFromCentroids, "Set Seeds = Centroids of Regions"},
        // batch detection on the active document
        {CommandId::ProcessDetection, "&Process Detection"},
        {CommandId::NnDiagnoses, "&Neural Network diagnoses"},
        // clusters and their evaluation
        {CommandId::ClusterParams, "Making Cluster &Params..."},
        {CommandId::MakeClusters, "&Make Clusters"},
        {CommandId::ClusterAreas, "Cluster &Areas"},
        {CommandId::MClusterAreas, "M &Cluster Areas"},
        {CommandId::EvaluateClusterResults, "&Evaluate Cluster Results"},
        {CommandId::RemoveBadRegions, "&Remove Bad Regions"},
        {CommandId::ClusterBenign, "&Benign"},
        {CommandId::ClusterMalignant, "&Malignant"},
        {CommandId::ClusterFalse, "&False"},
        {CommandId::RemoveCluster, "&Remove Cluster"},
        {CommandId::RemoveClusterAndInside, "Remove Cluster && Inside &Objects"},
        {CommandId::RoiRegionsBenign, "&Benign"},
        {CommandId::RoiRegionsMalignant, "&Malignant"},
        {CommandId::RoiRegionsFalse, "&False"},
        {CommandId::CurrentCaseCc, "Current Case &CC"},
        {CommandId::CurrentCaseMlo, "Current Case &MLO"},
        {CommandId::CloseCurrentCase, "C&lose Current Case"},
        {CommandId::NextCase, "&Next Case"},
        {CommandId::PreviousCase, "&Previous Case"},
        {CommandId::WindowNew, "New &Window\tCtrl+N"},
        {CommandId::WindowSplit, "S&plitter"},
        {CommandId::OpenSgt, "Open SGT"},
        {CommandId::SaveSgt, "Save SGT"},
        {CommandId::SegmentBreast, "&Segment Breast..."},
        {CommandId::EnableBreastSegment, "Enable &Breast Segment"},
        {CommandId::SetZeroOutsideBreast, "Set zero outside breast"},
        {CommandId::Erosion, "&Erosion"},
        {CommandId::Dilation, "&Dilation"},
        {CommandId::MorphOpen, "&Open"},
        {CommandId::MorphClose, "&Close"},
        {CommandId::WhiteTopHat, "&White Top - Hat"},
        {CommandId::BlackTopHat, "&Black Top - Hat"},
        {CommandId::MorphGradient, "&Morphological gradient"},
        {CommandId::InnerGradient, "&Inner gradient"},
        {CommandId::OuterGradient, "O&uter gradient"},
        {CommandId::StructuringElement, "&Structuring element && Iterations (%d)..."},
        {CommandId::ConditionalThickening, "Conditional Thickening"},
    };
    std::map<int, int> seen;
    for (const CCommand& command : CommandRegistry()) ++seen[Id(command.id)];
    for (const auto& [id, text] : expected) {
        EXPECT_EQ(seen[Id(id)], 1) << text;
        const CCommand* command = FindCommand(Id(id));
        ASSERT_NE(command, nullptr) << text;
        EXPECT_STREQ(command->text, text);
    }
    EXPECT_EQ(CommandRegistry().size(), std::size(expected));
}

TEST(CommandTable, CheckStylesGiveTheMenusTheirMarks) {
    const CommandId checkable[] = {
        CommandId::WindowBits,        CommandId::WindowValues,
        CommandId::ShowRos,           CommandId::ShowRegions,
        CommandId::UserDiagnoses,     CommandId::RegionBenign,
        CommandId::RegionMalignant,   CommandId::RegionFalse,
        CommandId::RosBenign,         CommandId::RosMalignant,
        CommandId::RosFalse,          CommandId::StandardToolbar,
        CommandId::MorphologyToolbar, CommandId::UserToolbar,
        CommandId::StatusBar,         CommandId::RadiologistsInterface,
        CommandId::ShowOriginal,      CommandId::NnDiagnoses,
        CommandId::WindowSplit,       CommandId::EnableBreastSegment,
    };
    // The radio groups are runs of consecutive ids.
    const std::pair<CommandId, CommandId> radioGroups[] = {
        {CommandId::MouseRoi, CommandId::MouseWinLev},
        {CommandId::FitScreen, CommandId::FitCasePreview},
        {CommandId::Depth16, CommandId::Depth8},
    };
    std::map<int, ECheckStyle> expected;
    for (CommandId id : checkable) expected[Id(id)] = ECheckStyle::Checkable;
    for (const auto& [first, last] : radioGroups)
        for (int id = Id(first); id <= Id(last); ++id) expected[id] = ECheckStyle::Radio;
    for (const CCommand& command : CommandRegistry()) {
        const auto it = expected.find(Id(command.id));
        const ECheckStyle style = it == expected.end() ? ECheckStyle::Plain : it->second;
        EXPECT_EQ(command.check, style) << command.text;
    }
}

TEST(CommandTable, RangesCoverTheListsMadeAtRunTime) {
    struct Case {
        int id;
        bool covered;
    } cases[] = {
        {Id(CommandId::PresetFirst), true},
        {Id(CommandId::PresetLast), true},
        {Id(CommandId::PlugInFirst) + 3, true},
        {Id(CommandId::FileMru1), true},
        {Id(CommandId::FileMru1) + kRecentFileCount - 1, true},
        {Id(CommandId::FileMru1) + kRecentFileCount, false},
        {Id(CommandId::CaseLast), true},
        {Id(CommandId::CaseLast) + 1, false},
    };
    for (const Case& c : cases) EXPECT_EQ(FindCommandRange(c.id) != nullptr, c.covered) << c.id;
}

TEST(MenuText, SplitsTheAcceleratorAtTheTab) {
    std::string label, keys;
    SplitMenuText("Zoom &In\tAlt++", label, keys);
    EXPECT_EQ(label, "Zoom &In");
    EXPECT_EQ(keys, "Alt++");
    SplitMenuText("Measure", label, keys);
    EXPECT_EQ(label, "Measure");
    EXPECT_EQ(keys, "");
}

TEST_F(CommandRegistryTest, DocumentCommandsFollowTheActiveDocument) {
    struct Case {
        CommandId id;
        bool withoutDocument;
        bool withDocument;
    } cases[] = {
        {CommandId::FileOpen, true, true},           {CommandId::FileSave, false, true},
        {CommandId::FileSaveAs, false, true},        {CommandId::FileClose, false, true},
        {CommandId::CloseAll, false, true},          {CommandId::GetCurrentPreset, false, true},
        {CommandId::SaveOverlay, false, true},       {CommandId::Rotate180, false, true},
        {CommandId::WindowNew, false, true},         {CommandId::ZoomIn, false, true},
        {CommandId::FilePrint, false, true},         {CommandId::Filters, true, true},
        {CommandId::RemoveAllRegions, false, false},  // no regions yet
        {CommandId::NextCase, false, false},          // no cases listed
    };
    for (const Case& c : cases)
        EXPECT_EQ(Enabled(Context(nullptr), c.id), c.withoutDocument) << Id(c.id);
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    for (const Case& c : cases)
        EXPECT_EQ(Enabled(Context(doc, ViewWith()), c.id), c.withDocument) << Id(c.id);
}

TEST_F(CommandRegistryTest, ByteSwapAndDepthsNeedMoreThanEightBits) {
    struct Case {
        int depth;
        bool enabled;
        CommandId checkedDepth;
    } cases[] = {
        {8, false, CommandId::Depth8},  // shown as the depth in force, not changeable
        {12, true, CommandId::Depth12},
        {16, true, CommandId::Depth16},
    };
    for (const Case& c : cases) {
        CVistrelDoc* doc = AddImage(c.depth);
        ASSERT_NE(doc, nullptr);
        const CCommandContext context = Context(doc, ViewWith());
        EXPECT_EQ(Enabled(context, CommandId::SwapBytes), c.enabled) << c.depth;
        for (int id = Id(CommandId::Depth16); id <= Id(CommandId::Depth8); ++id) {
            EXPECT_EQ(CommandEnabled(context, id), c.enabled) << c.depth;
            EXPECT_EQ(CommandChecked(context, id), id == Id(c.checkedDepth))
                << c.depth << " " << id;
        }
    }
}

TEST_F(CommandRegistryTest, RegionDiagnosisIsCheckedByTheSelectedRegion) {
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    doc->regions.Add(Square(2, 2, 6, 6, 0));
    doc->regions.Add(Square(10, 10, 14, 14, 1));
    const CommandId diagnoses[] = {CommandId::RegionBenign, CommandId::RegionMalignant,
                                   CommandId::RegionFalse};
    // Nothing selected: none enabled, none checked.
    for (CommandId id : diagnoses) {
        EXPECT_FALSE(Enabled(Context(doc), id));
        EXPECT_FALSE(Checked(Context(doc), id));
    }
    for (int selected : {0, 1}) {
        doc->regions.Select(selected);
        for (int d = 0; d < 3; ++d) {
            EXPECT_TRUE(Enabled(Context(doc), diagnoses[d]));
            EXPECT_EQ(Checked(Context(doc), diagnoses[d]), d == selected) << selected << " " << d;
        }
    }
    // Running one sets the selected region's diagnosis.
    ASSERT_TRUE(RunCommand(Context(doc), Id(CommandId::RegionFalse)));
    EXPECT_EQ(doc->regions.At(1)->diagnosis, 2);
    EXPECT_EQ(doc->regions.At(0)->diagnosis, 0);
    EXPECT_TRUE(Checked(Context(doc), CommandId::RegionFalse));
}

TEST_F(CommandRegistryTest, MeasureNeedsARulerAndShowsItsLength) {
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    EXPECT_FALSE(Enabled(Context(doc, ViewWith()), CommandId::Measure));
    EXPECT_FALSE(Enabled(Context(doc), CommandId::Measure));  // no view, no ruler
    const CCommandContext measured = Context(doc, ViewWith({}, 12.345));
    EXPECT_TRUE(Enabled(measured, CommandId::Measure));
    ASSERT_TRUE(RunCommand(measured, Id(CommandId::Measure)));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], "Ruler: 12.35 mm (default pixel size)");
    // A measured resolution needs no note; without a ruler nothing is shown.
    doc->resolutionSource = EResolutionSource::User;
    RunCommand(Context(doc, ViewWith({}, 3.0)), Id(CommandId::Measure));
    RunCommand(Context(doc, ViewWith()), Id(CommandId::Measure));
    ASSERT_EQ(sink.shown.size(), 2u);
    EXPECT_EQ(sink.shown[1], "Ruler: 3.00 mm");
}

TEST(RulerText, EmptyBelowAThousandthOfAMillimetre) {
    EXPECT_EQ(RulerText(0.0), "");
    EXPECT_EQ(RulerText(0.0009), "");
    EXPECT_EQ(RulerText(0.001), " Ruler: 0.00 mm");
    EXPECT_EQ(RulerText(250.5), " Ruler: 250.50 mm");
}

// The letters need regions on screen and a network to give them.
TEST_F(CommandRegistryTest, NetworkDiagnosesNeedShownRegionsAndANetwork) {
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    const CCommandContext context = Context(doc, ViewWith({0, 0, 20, 20}, 5.0));
    const uint8_t mask[] = {0, 1};
    app.network = std::make_unique<BPNN>(1, 2, 1, false, mask, 2, 7u);
    ASSERT_TRUE(app.network->IsValid());
    EXPECT_FALSE(Enabled(context, CommandId::NnDiagnoses));  // no regions
    doc->regions.Add(Square(2, 2, 6, 6));
    EXPECT_TRUE(Enabled(context, CommandId::NnDiagnoses));
    EXPECT_FALSE(Enabled(Context(nullptr), CommandId::NnDiagnoses));
    EXPECT_FALSE(Checked(context, CommandId::NnDiagnoses));
    doc->showNnDiagnoses = true;
    EXPECT_TRUE(Checked(context, CommandId::NnDiagnoses));
    app.showRegions = false;
    EXPECT_FALSE(Enabled(context, CommandId::NnDiagnoses));
    EXPECT_FALSE(Checked(context, CommandId::NnDiagnoses));
    app.showRegions = true;
    app.network.reset();
    EXPECT_FALSE(Enabled(context, CommandId::NnDiagnoses));
}

TEST_F(CommandRegistryTest, ShowRosIsDisabledWhileDrawingRos) {
    for (int mode = kMouseRoi; mode <= kMouseWinLev; ++mode) {
        app.mouseMode = mode;
        EXPECT_EQ(Enabled(Context(nullptr), CommandId::ShowRos), mode != kMouseDrawRos) << mode;
        for (int id = Id(CommandId::MouseRoi); id <= Id(CommandId::MouseWinLev); ++id)
            EXPECT_EQ(CommandChecked(Context(nullptr), id), id - Id(CommandId::MouseRoi) == mode);
    }
    app.showRos = false;
    EXPECT_FALSE(Checked(Context(nullptr), CommandId::ShowRos));
    RunCommand(Context(nullptr), Id(CommandId::ShowRos));
    EXPECT_TRUE(app.showRos);
    EXPECT_TRUE(Checked(Context(nullptr), CommandId::ShowRos));
}

TEST_F(CommandRegistryTest, RoiDiagnosisChangesOnlyTheRegionsInsideAndTellsTheViews) {
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    doc->regions.Add(Square(2, 2, 6, 6));      // inside
    doc->regions.Add(Square(8, 3, 12, 9));     // inside
    doc->regions.Add(Square(30, 30, 40, 40));  // outside
    std::vector<int> updates;
    QObject::connect(doc, &CVistrelDoc::updated, [&updates](int code) { updates.push_back(code); });
    const CRect roi{0, 0, 20, 20};
    EXPECT_FALSE(Enabled(Context(doc), CommandId::RoiRegionsMalignant));  // no selection
    const CCommandContext context = Context(doc, ViewWith(roi));
    EXPECT_TRUE(Enabled(context, CommandId::RoiRegionsMalignant));
    ASSERT_TRUE(RunCommand(context, Id(CommandId::RoiRegionsMalignant)));
    EXPECT_EQ(doc->regions.At(0)->diagnosis, 1);
    EXPECT_EQ(doc->regions.At(1)->diagnosis, 1);
    EXPECT_EQ(doc->regions.At(2)->diagnosis, 2);
    EXPECT_EQ(updates, (std::vector<int>{kUpdateAnnotations}));
    // Without a view (so without its ROI) nothing happens.
    RunCommand(Context(doc), Id(CommandId::RoiRegionsBenign));
    EXPECT_EQ(doc->regions.At(0)->diagnosis, 1);
    // A ROI over no region changes nothing and tells nobody.
    RunCommand(Context(doc, ViewWith({50, 0, 60, 10})), Id(CommandId::RoiRegionsBenign));
    EXPECT_EQ(updates.size(), 1u);
}

TEST_F(CommandRegistryTest, ClusterCommandsNeedASelectedOutline) {
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    CRegion member = Square(8, 8, 11, 11);
    member.clusterNumber = 1;
    CRegion outline = Square(6, 6, 13, 13);
    outline.clusterNumber = ClusterOutlineNumber(1);
    doc->regions.Add(member);
    doc->regions.Add(outline);
    doc->regions.Add(Square(30, 30, 34, 34));
    const CCommandContext context = Context(doc, ViewWith());
    doc->regions.Select(0);
    EXPECT_FALSE(Enabled(context, CommandId::ClusterBenign));
    doc->regions.Select(1);
    EXPECT_TRUE(Enabled(context, CommandId::ClusterBenign));
    RunCommand(context, Id(CommandId::ClusterBenign));
    EXPECT_EQ(doc->regions.At(0)->diagnosis, 0);
    EXPECT_EQ(doc->regions.At(1)->diagnosis, 0);
    EXPECT_EQ(doc->regions.At(2)->diagnosis, 2);
    RunCommand(context, Id(CommandId::RemoveClusterAndInside));
    ASSERT_EQ(doc->regions.Count(), 1);
    EXPECT_EQ(doc->regions.At(0)->Bounds(), (CRect{30, 30, 35, 35}));
}

TEST_F(CommandRegistryTest, ScreenCommandsGoToTheShell) {
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    const CCommandContext context = Context(doc, ViewWith({1, 1, 9, 9}));
    // A bar command shows what is hidden and hides what is shown.
    EXPECT_TRUE(Checked(context, CommandId::StandardToolbar));
    RunCommand(context, Id(CommandId::StandardToolbar));
    EXPECT_FALSE(shell.BarShown(EBar::Standard));
    EXPECT_FALSE(Checked(context, CommandId::StandardToolbar));
    RunCommand(context, Id(CommandId::StandardToolbar));
    EXPECT_TRUE(shell.BarShown(EBar::Standard));
    // Presets apply only while the value bar is shown.
    const int preset = Id(CommandId::PresetFirst);
    shell.ShowBar(EBar::Values, false);
    EXPECT_FALSE(CommandEnabled(context, preset));
    RunCommand(context, Id(CommandId::WindowValues));
    EXPECT_TRUE(CommandEnabled(context, preset));

    RunCommand(context, Id(CommandId::Filters));
    EXPECT_TRUE(shell.ToolWindowOpen(EToolWindow::Filters));
    RunCommand(context, Id(CommandId::Filters));
    EXPECT_FALSE(shell.ToolWindowOpen(EToolWindow::Filters));
    RunCommand(context, Id(CommandId::ZoomOut));
    RunCommand(context, Id(CommandId::FilePrintPreview));
    RunCommand(context, Id(CommandId::DeselectRoi));
    RunCommand(context, Id(CommandId::WindowSplit));
    EXPECT_EQ(shell.zooms, (std::vector<EZoom>{EZoom::Out}));
    EXPECT_EQ(shell.prints, (std::vector<EPrint>{EPrint::Preview}));
    EXPECT_EQ(shell.calls, (std::vector<std::string>{"deselect"}));
    EXPECT_EQ(shell.descriptionToggles, 1);
    // Without a view, the view's operations are not asked for.
    RunCommand(Context(doc), Id(CommandId::DeselectRoi));
    RunCommand(Context(doc), Id(CommandId::FilePrint));
    EXPECT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.prints.size(), 1u);
}

TEST_F(CommandRegistryTest, FitModeCommandsSetTheModeAndRefitTheWindows) {
    for (int id = Id(CommandId::FitScreen); id <= Id(CommandId::FitCasePreview); ++id) {
        RunCommand(Context(nullptr), id);
        EXPECT_EQ(app.fitMode, id - Id(CommandId::FitScreen));
        for (int other = Id(CommandId::FitScreen); other <= Id(CommandId::FitCasePreview); ++other)
            EXPECT_EQ(CommandChecked(Context(nullptr), other), other == id);
    }
    EXPECT_EQ(shell.fitChanges, 5);
    // A stored mode out of range reads as the nearest one.
    app.fitMode = 9;
    EXPECT_EQ(app.FitMode(), kFitCasePreview);
    EXPECT_TRUE(Checked(Context(nullptr), CommandId::FitCasePreview));
    // Without a screen the mode still changes.
    CCommandContext screenless = Context(nullptr);
    screenless.shell = nullptr;
    RunCommand(screenless, Id(CommandId::FitWindow));
    EXPECT_EQ(app.fitMode, kFitWindow);
    EXPECT_FALSE(Checked(screenless, CommandId::WindowBits));  // no bar without a screen
}

TEST_F(CommandRegistryTest, DicomReadingOptionsAskRawOrRenderedPixels) {
    const int before = DicomReadingOption();
    struct Case {
        int pick;
        bool ok;
        int expected;
    } cases[] = {{1, true, 1}, {0, false, 1}, {0, true, 0}, {5, true, 0}};
    for (const Case& c : cases) {
        ui.radioPick = c.pick;
        ui.radioOk = c.ok;
        RunCommand(Context(nullptr), Id(CommandId::DicomReadingOptions));
        EXPECT_EQ(DicomReadingOption(), c.expected) << c.pick << " " << c.ok;
    }
    ASSERT_EQ(ui.radioTitles.size(), 4u);
    EXPECT_EQ(ui.radioTitles[0], "DICOM Opening Properties");
    EXPECT_EQ(ui.radioOptions[0],
              (std::vector<std::string>{"Open raw pixels", "Open rendered pixels"}));
    EXPECT_EQ(ui.radioInitial[1], 1);  // opened on the option in force
    SetDicomReadingOption(before);
}

TEST(BreastSide, NamesSayWhichBreast) {
    struct Case {
        const char* name;
        EBreastSide side;
        bool mlo;
    } cases[] = {
        {"A_1234_1.LEFT_CC.pgx", EBreastSide::Left, false},
        {"A_1234_1.RIGHT_MLO.pgx", EBreastSide::Right, true},
        {"/data/left/scan.RIGHT_cc.pgx", EBreastSide::Left, false},  // "left" wins
        {"mdb001.pgm", EBreastSide::Unknown, false},
        {"case.MlO.tif", EBreastSide::Unknown, true},
        {"", EBreastSide::Unknown, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BreastSideOfName(c.name), c.side) << c.name;
        EXPECT_EQ(IsMloName(c.name), c.mlo) << c.name;
    }
}

TEST(BreastSide, RadiologistsSeeTheBreastsFaceEachOther) {
    struct Case {
        const char* name;
        int frameWidth, frameHeight, currentX;
        int x, y;
    } cases[] = {
        // Client area 1000 x 800 throughout.
        {"A.LEFT_CC.pgx", 250, 400, 17, 500, 0},      // right half, top
        {"A.RIGHT_CC.pgx", 250, 400, 17, 250, 0},     // left half, against the middle
        {"A.LEFT_MLO.pgx", 250, 400, 17, 500, 400},   // lower half
        {"A.RIGHT_MLO.pgx", 250, 600, 17, 250, 200},  // as low as the window fits
        {"mdb001.pgm", 250, 400, 17, 17, 0},          // neither side: stays where it is
        {"A.RIGHT_CC.pgx", 700, 400, 17, 0, 0},       // wider than half: not off the left
        {"A.LEFT_MLO.pgx", 250, 900, 17, 500, 0},     // taller than the client: not above it
    };
    for (const Case& c : cases) {
        const CFramePlace place =
            PlaceForRadiologists(c.name, 1000, 800, c.frameWidth, c.frameHeight, c.currentX);
        EXPECT_EQ(place.x, c.x) << c.name << " " << c.frameWidth;
        EXPECT_EQ(place.y, c.y) << c.name << " " << c.frameHeight;
    }
}

TEST_F(CommandRegistryTest, OrientationRuleMirrorsByTheNamedSide) {
    app.mode = kInterfaceRadiologists;
    // The breast lies on side 1 of every image.
    app.breastSideTest = [](const CMImage&, int) { return 1; };
    struct Case {
        const char* name;
        bool mirrored;
    } cases[] = {{"A.LEFT_CC.pgx", true}, {"A.RIGHT_CC.pgx", false}, {"mdb001.pgx", false}};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Case& c : cases) {
        const std::string path = dir.path().toStdString() + "/" + c.name;
        testing::WritePgxFile(path, 4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
        CVistrelDoc* doc = app.OpenDocumentFile(path);
        ASSERT_NE(doc, nullptr) << c.name;
        EXPECT_EQ(doc->autoFlipped, c.mirrored) << c.name;
        EXPECT_EQ(doc->image.GetPixel(0, 0), c.mirrored ? 4 : 1) << c.name;
    }
}

}  // namespace
}  // namespace vistrel

namespace vistrel {
namespace {

// A closed square outline well inside a 64 x 48 image.
CBreastSgt InnerSquare() {
    return CBreastSgt({{10, 10}, {40, 10}, {40, 30}, {10, 30}, {10, 10}});
}

TEST_F(CommandRegistryTest, BreastOutlineCommandsFollowTheOutline) {
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    const CCommandContext c = Context(doc, ViewWith());
    const int toggle = Id(CommandId::EnableBreastSegment);
    EXPECT_TRUE(Enabled(c, CommandId::OpenSgt));
    EXPECT_TRUE(Enabled(c, CommandId::SegmentBreast));
    EXPECT_FALSE(Enabled(c, CommandId::SaveSgt));
    EXPECT_FALSE(Enabled(c, CommandId::SetZeroOutsideBreast));
    EXPECT_FALSE(Checked(c, CommandId::EnableBreastSegment));
    EXPECT_TRUE(CommandHasTextRule(toggle));
    EXPECT_EQ(CommandMenuText(c, toggle), "Enable &Breast Segment");

    doc->breastSegment = InnerSquare();
    ASSERT_TRUE(doc->BuildBreastMask());
    EXPECT_TRUE(Enabled(c, CommandId::SaveSgt));
    EXPECT_TRUE(Enabled(c, CommandId::SetZeroOutsideBreast));
    EXPECT_TRUE(Checked(c, CommandId::EnableBreastSegment));
    EXPECT_EQ(CommandMenuText(c, toggle), "Disable &Breast Segment");

    // Without a document none of them can run.
    for (CommandId id : {CommandId::OpenSgt, CommandId::SaveSgt, CommandId::SegmentBreast,
                         CommandId::EnableBreastSegment, CommandId::SetZeroOutsideBreast})
        EXPECT_FALSE(Enabled(Context(nullptr), id)) << Id(id);
}

TEST_F(CommandRegistryTest, ProcessDetectionNeedsAnImage) {
    EXPECT_FALSE(Enabled(Context(nullptr), CommandId::ProcessDetection));
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(Enabled(Context(doc, ViewWith()), CommandId::ProcessDetection));
}

TEST_F(CommandRegistryTest, SetZeroOutsideBreastOpensTheZeroedCopy) {
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) doc->image.SetPixel(x, y, 100);
    doc->breastSegment = InnerSquare();
    ASSERT_TRUE(doc->BuildBreastMask());
    const std::size_t before = ui.opened.size();
    ASSERT_TRUE(RunCommand(Context(doc, ViewWith()), Id(CommandId::SetZeroOutsideBreast)));
    ASSERT_EQ(ui.opened.size(), before + 1);
    const CMImage& zeroed = ui.opened.back()->image;
    EXPECT_EQ(zeroed.GetPixel(2, 2), 0);      // outside
    EXPECT_EQ(zeroed.GetPixel(25, 20), 100);  // inside
    EXPECT_EQ(doc->image.GetPixel(2, 2), 100) << "the source stays as it was";
}

TEST_F(CommandRegistryTest, StructuringElementTextCarriesTheIterationCount) {
    const int id = Id(CommandId::StructuringElement);
    EXPECT_TRUE(CommandHasTextRule(id));
    EXPECT_FALSE(CommandHasTextRule(Id(CommandId::Erosion)));
    app.morphIterations = 7;
    EXPECT_EQ(CommandMenuText(Context(nullptr), id), "&Structuring element && Iterations (7)...");
    // Commands without a rule read as the table has them.
    EXPECT_EQ(CommandMenuText(Context(nullptr), Id(CommandId::Erosion)), "&Erosion");
}

TEST_F(CommandRegistryTest, MorphologyOperatorsNeedAnImageAndAnElementWithCells) {
    CVistrelDoc* doc = AddImage();
    ASSERT_NE(doc, nullptr);
    const CCommandContext c = Context(doc, ViewWith());
    for (int id = Id(CommandId::Erosion); id <= Id(CommandId::OuterGradient); ++id) {
        EXPECT_FALSE(CommandEnabled(Context(nullptr), id)) << id;
        EXPECT_TRUE(CommandEnabled(c, id)) << id;
    }
    app.morphElement = CMorphSE();
    for (int id = Id(CommandId::Erosion); id <= Id(CommandId::OuterGradient); ++id)
        EXPECT_FALSE(CommandEnabled(c, id)) << id;
}

TEST_F(CommandRegistryTest, ConditionalThickeningOpensItsToolWindow) {
    ASSERT_TRUE(RunCommand(Context(nullptr), Id(CommandId::ConditionalThickening)));
    EXPECT_TRUE(shell.open.count(EToolWindow::ConditionalThickening));
}

}  // namespace
}  // namespace vistrel
