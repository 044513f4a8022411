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
