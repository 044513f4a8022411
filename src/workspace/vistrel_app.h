#pragma once
// The process-wide state: open documents and their numbering, the current
// window, LUTs and presets, the file options, recent files and the settings
// kept under QSettings("Korvel", "Vistrel").

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classification/bpnn.h"
#include "core/display.h"
#include "core/image.h"
#include "core/lut.h"
#include "core/presets.h"
#include "detection/clustering.h"
#include "filters/morph_se.h"
#include "regions/contour_correction.h"
#include "regions/feature_vector.h"
#include "workspace/cases.h"
#include "workspace/feature_models.h"
#include "workspace/filter_library_store.h"
#include "workspace/notifier.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

class CVistrelDoc;

// Original image given to documents made by operations.
enum OriginalImagePolicy : int {
    kOriginalCurrent = 0,   // "Current as Original Image"
    kOriginalPrevious = 1,  // "Previous image"
    kOriginalEmpty = 2,     // "Empty"
};

// Mouse modes of the image views (application-wide).
enum MouseMode : int {
    kMouseRoi = 0,
    kMouseRuler = 1,
    kMouseDrawRos = 2,
    kMouseSrdmRoi = 3,
    kMouseWinLev = 4,
};
// How a new document window is sized and its image fitted (application-wide,
// setting "fitmode"); in the order of the fit-mode commands.
enum EFitMode : int {
    kFitScreen = 0,         // the window fills the client area, the image fits it
    kFitLargeToScreen = 1,  // as kFitScreen, but small images stay at 100 %
    kFitWindow = 2,         // the remembered window size, the image fits it
    kFitLargeToWindow = 3,  // as kFitWindow, but small images stay at 100 %
    kFitCasePreview = 4,    // a quarter of the width, half the height: four views side by side
};
// The interface mode (setting "mode").
enum EInterfaceMode : int {
    kInterfaceStandard = 0,
    kInterfaceRadiologists = 1,
};
// Side of the square ROI of the SRDM mouse mode, in image pixels.
inline constexpr int32_t kSrdmRoiSize = 512;

// The last paths of the file dialogs (settings group "Files").
struct CLastPaths {
    std::string open;
    std::string features;
    std::string neuralNetwork;
    std::string curve;
    std::string waveletTransform;
};

class CVistrelApp {
  public:
    explicit CVistrelApp(IWorkspaceUi* ui = nullptr);
    ~CVistrelApp();
    CVistrelApp(const CVistrelApp&) = delete;
    CVistrelApp& operator=(const CVistrelApp&) = delete;

    void SetUi(IWorkspaceUi* ui) { ui_ = ui; }
    IWorkspaceUi* Ui() const { return ui_; }
    CNotifier& Notifier() { return notifier_; }

    // ---- start and stop
    // The folder of the run-time data: the executable's folder when it holds
    // presets.txt or Luts, else ../share/vistrel beside it when that exists.
    static std::string FindDataFolder();
    // LUT list (palette "black/white linear"), presets and the filter library
    // (filters.flt) from dataFolder.
    void LoadToolData(const std::string& dataFolder);
    // The filter library of the "Filters" window; an edit not yet written is
    // written when the application ends.
    CFilterLibraryStore& FilterLibrary() { return filterLibrary_; }
    // Groups "Files", "Settings" and the recent-file list.
    void LoadSettings();
    void SaveSettings() const;

    // ---- documents
    // Opens path as a new document with its window; null (and a message) on failure.
    CVistrelDoc* OpenDocumentFile(const std::string& path);
    // A new, empty document carrying the next running number (not yet owned
    // by the application: hand it to AddDocument once it is filled).
    std::unique_ptr<CVistrelDoc> CreateDocument();
    // Takes a filled document, counts it, titles it and asks the screen for
    // its window; when no window can be created the document is closed again
    // and null is returned.
    CVistrelDoc* AddDocument(std::unique_ptr<CVistrelDoc> doc);
    // "&Open...": asks for files, then opens each with the window reset to 1000..4095.
    void OnFileOpen();
    void OpenFiles(const std::vector<std::string>& paths);
    // Closes a document: broadcasts, renumbers when it was the last one.
    void CloseDocument(CVistrelDoc* doc);
    void CloseAllDocuments();
    // "C&lose All".
    void OnCloseAll() { CloseAllDocuments(); }
    const std::vector<std::unique_ptr<CVistrelDoc>>& Documents() const { return documents_; }
    int DocumentCounter() const { return documentCounter_; }
    CVistrelDoc* ActiveDocument() const { return activeDocument_; }
    // The shell reports which document's window is active (null for none).
    void SetActiveDocument(CVistrelDoc* doc);

    // ---- display
    CWindowRange currentWindow;  // given to newly opened documents
    void ResetCurrentWindow() { currentWindow = CWindowRange{}; }
    const CLutList& Luts() const { return luts_; }
    int CurrentLut() const { return currentLut_; }
    const CPalette& Palette() const { return palette_; }
    // Builds the palette of a LUT and makes every view re-render; 0 or -1.
    int SelectLut(int index);
    // The value window renderer is used while the value bar is visible.
    bool ValueWindowMode() const { return valueWindowMode_; }
    void SetValueWindowMode(bool on);

    const std::vector<CPreset>& Presets() const { return presets_; }
    const std::string& PresetsPath() const { return presetsPath_; }
    // Preset i becomes the current window and the active document's window.
    void ApplyPreset(int index);
    // True when the current window has the preset's width and level.
    bool PresetMatchesCurrentWindow(int index) const;
    // "&Get Current Preset...": stores the active document's window as a named preset.
    bool GetCurrentPreset();

    // ---- file options
    bool pgxByteOrderLM = true;
    int colourMode = 0;
    int originalPolicy = kOriginalEmpty;
    CRawParams lastRawParams{512, 512, 8, false};
    void OnPgxSavingOptions();
    void OnColouredImagesOptions();
    void OnOriginalImageOptions();
    // "Dicom Reading Options...": raw or rendered pixels for the DICOM files opened next.
    void OnDicomReadingOptions();
    // The RAW dialog opened on the last parameters; OK stores them.
    bool AskRawParams(const std::string& path, CRawParams& params);

    // ---- recent files and settings
    const std::vector<std::string>& RecentFiles() const { return recentFiles_; }
    void AddToRecentFileList(const std::string& path);
    // Drops entries whose file is gone and returns the first remaining one.
    std::string MostRecentExistingFile();
    CLastPaths lastPaths;

    // ---- annotations
    bool showRegions = true;         // "Show &Lesion Regions"
    bool showRos = true;             // "&Show ROS"
    bool showUserDiagnoses = false;  // "&User Diagnoses": letters B/M/F beside regions
    int connectivity = 8;            // of region extraction: 4 or 8
    // Contour correction parameters, kept for the next use until the program ends.
    CRegionGrowingParams regionGrowing;
    CDilationParams dilation;

    // ---- clusters
    // Diameters in centimetres and minimum counts of the two clustering
    // passes; shared by every document, kept until the program ends.
    CClusterParams clusterParams;
    // "Making Cluster &Params...": the "Cluster" dialog, then (only when it
    // was accepted) "Rejected - Separated objects in clusters"; the
    // parameters change, and clusterParamsChanged is sent, only when both
    // were accepted with valid values. False otherwise.
    bool OnClusterParams();

    // ---- features
    // Which features are computed (settings group "features", one 0/1 value
    // per name); every name on at start.
    CFeatureSelection featureSelection;
    // Co-occurrence distance, ring width and the two moment switches
    // (settings group "Settings"); each document supplies its resolution.
    CFeatureSettings featureSettings;
    // The region-type dialog's fields, remembered for the next use.
    CRegionTypeModel regionType;
    // "Feature Selection...": the dialog on a copy; OK replaces selection and switches.
    bool OnFeatureSelection();
    // "Cooccurence &Matrix Params...": OK stores distance and ring width; a
    // new distance renames the co-occurrence entries of the selection,
    // keeping their flags.
    bool OnCoocurrenceParams();
    // "Show &Lesion Regions": toggles the region display and tells the windows.
    void OnShowRegions();
    // "&Show ROS": toggles the ROS display and tells the windows.
    void OnShowRos();
    // "&User Diagnoses": toggles the diagnosis letters and tells the windows.
    void OnUserDiagnoses();

    // ---- neural network
    // The network every document classifies its regions with (none at
    // start) and its decision threshold.
    std::unique_ptr<BPNN> network;
    double networkThreshold = 0.5;
    // Seed of the weights of networks created in the tool (setting
    // "networkSeed"); 0 seeds from the clock.
    uint32_t networkSeed = 0;
    // The letter of a feature vector over NetworkFeatureNames; ' ' without a network.
    char ClassifyRegion(const std::vector<double>& features);
    // "&Neural network...": the tool on a copy of the network and threshold;
    // OK adopts the tool's network (AdoptNetwork). False when cancelled.
    bool OnNeuralNetwork();
    // Drops the current network (every document's region letters become
    // blank and a document showing them switches the display off), then takes
    // a copy of network when it is valid, and the threshold.
    void AdoptNetwork(const BPNN* adopted, double threshold);

    // ---- interface mode (an EInterfaceMode, stored as such under "mode")
    int mode = kInterfaceStandard;
    int mouseMode = kMouseRoi;
    bool RadiologistsMode() const { return mode == kInterfaceRadiologists; }
    // The mouse mode and display toggles that go with the interface mode:
    // window/level with ROS and regions hidden for radiologists, ROI with
    // both shown otherwise; user diagnoses hidden in both.
    void ApplyInterfaceMode();
    // "Interface for Radiologists": toggles the mode and applies it.
    void OnRadiologistsInterface();
    // "R&OI", "&Ruler", "&Draw ROS", "SRD&M roi", "Win/Lev"; drawing ROS
    // switches the ROS display on.
    void SetMouseMode(int newMode);
    // Which side of the image the breast lies on (1 or 0) for a band of
    // bandWidth pixels; used by the orientation rule of the radiologists'
    // interface (BreastSideTest at start). Unset: no image is mirrored at opening.
    std::function<int(const CMImage& image, int bandWidth)> breastSideTest;

    // ---- morphology
    // The structuring element and iteration count of the morphology
    // operators (a 3 x 3 element and one iteration at start).
    CMorphSE morphElement{3, CMorphSE::kSquare};
    int morphIterations = 1;
    // "&Structuring element && Iterations (%d)...": the element dialog on a
    // copy; OK replaces element and count. False when cancelled.
    bool OnStructuringElement();
    // The menu text of that command with the current count.
    std::string StructuringElementMenuText() const;

    // ---- window sizes
    int fitMode = kFitScreen;  // an EFitMode, stored as such under "fitmode"
    // The fit mode in force: a stored value outside the modes counts as the nearest one.
    EFitMode FitMode() const;
    int childWidth = 0;
    int childHeight = 0;
    // The remembered child size clamped to an MDI client area of clientWidth
    // x clientHeight: at most the client size; with the case-preview fit
    // mode a quarter of its width and half its height; when either stored
    // value is 0, the whole client area.
    void ClampChildSize(int clientWidth, int clientHeight);

    // ---- cases
    const CCaseList& Cases() const { return cases_; }
    // Adds the case of path to the "&Cases" list (see CCaseList::AddCase).
    int AddCase(const std::string& path);
    // The open documents of a case key (documents of no case share the empty key).
    std::vector<CVistrelDoc*> CaseDocuments(const std::string& key) const;
    // The active document's case key; empty without an active document.
    std::string ActiveCaseKey() const;
    // "Current Case &CC" / "Current Case &MLO": brings forward the active
    // case's documents whose name contains viewTag ("_CC" or "_MLO").
    // Returns how many were brought forward.
    int OnCurrentCaseView(const std::string& viewTag);
    // A "&Cases" menu entry: brings its documents forward; false for an
    // id without an entry.
    bool OnCase(int commandId);
    // "C&lose Current Case": closes every document of the active case.
    int OnCloseCurrentCase();
    // "&Next Case" / "&Previous Case": the entry after (before) the active
    // case, wrapping round; its documents are brought forward. The entry, or -1.
    int OnNextCase();
    int OnPreviousCase();
    // "Swap &original Image <-> image" in every document of the active case;
    // returns how many swapped.
    int OnSwapOriginalImage();

    // ---- start
    // Whether the start opens a file and which: the named one, else (unless
    // in the radiologists' interface) the most recent existing recent file.
    std::string StartupFile(const std::string& namedFile);
    // Opens every file named on the command line, in order, or the startup
    // file when none is named. False only when files were named and not one
    // of them opened (each failure has been shown): one unreadable view must
    // not take the other three of a case with it.
    bool OpenStartupFiles(const std::vector<std::string>& namedFiles);

  private:
    IWorkspaceUi* ui_;
    CNotifier notifier_;
    std::vector<std::unique_ptr<CVistrelDoc>> documents_;
    int documentCounter_ = 0;
    CVistrelDoc* activeDocument_ = nullptr;
    CLutList luts_;
    int currentLut_ = 0;
    CPalette palette_;
    bool valueWindowMode_ = false;
    std::vector<CPreset> presets_;
    std::string presetsPath_;
    std::vector<std::string> recentFiles_;
    CCaseList cases_;
    CFilterLibraryStore filterLibrary_;

    // Brings the windows of docs forward; how many.
    int BringForward(const std::vector<CVistrelDoc*>& docs);
};

}  // namespace vistrel
