#pragma once
// Numeric command ids of the workstation. They keep the historical values so
// that menus, accelerators and plug-in ranges stay stable.

namespace vistrel {

enum class CommandId : int {
    // File
    FileOpen = 57601,
    FileClose = 57602,
    FileSave = 57603,
    FileSaveAs = 57604,
    FileMru1 = 57616,  // recent files: FileMru1 .. FileMru1 + 5
    AppExit = 57665,
    AppAbout = 57664,
    ColouredImagesOptions = 32778,
    PgxSavingOptions = 33100,
    OriginalImageOptions = 33101,
    // View
    ZoomIn = 32808,
    ZoomOut = 32809,
    ActualPixels = 32810,
    ZoomToFit = 32811,
    WindowBits = 32959,
    WindowValues = 32961,
    // Annotations
    OpenOverlay = 32779,
    SaveOverlay = 32780,
    ShowRos = 32844,
    ShowRegions = 32845,
    UserDiagnoses = 32846,
    RemoveAllRegions = 32848,
    ExtractRegions = 32850,
    SetAllBenign = 32857,
    SetAllMalignant = 32858,
    SetAllFalse = 32859,
    RegionBenign = 32879,
    RegionMalignant = 32880,
    RegionFalse = 32881,
    RemoveRegion = 32882,
    RemoveRos = 32884,
    RemoveAllRos = 32885,
    RemoveRegionsInsideRoi = 32947,
    RosBenign = 32948,
    RosMalignant = 32949,
    RosFalse = 32950,
    GrowSelectedContour = 32973,
    SmoothSelectedContour = 32974,
    GrowAllContours = 32975,
    SmoothAllContours = 32976,
    GrowClusterContours = 32992,
    SmoothClusterContours = 32993,
    // Window/level presets
    GetCurrentPreset = 33028,
    PresetFirst = 48000,  // preset i has PresetFirst + i
    PresetLast = 48100,
    // MDI window menu
    WindowCascade = 57650,
    WindowTile = 57651,
};

inline constexpr int kRecentFileCount = 6;

}  // namespace vistrel
