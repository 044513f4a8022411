#pragma once
// Where the commands of the registry appear: the menu bar, the context menus
// of the image window and the tool bars, as data. The main window builds its
// menus and bars by walking these lists; placing a new command is one entry.

#include <vector>

#include "workspace/command_ids.h"

namespace vistrel {

// Context menus of the image window, by the object under the cursor.
enum ContextMenuId : int {
    kMenuNone = 0,
    kMenuRegions = 159,  // regions shown, none hit
    kMenuRegion = 160,   // a region
    kMenuRoi = 161,      // the ROI selection
    kMenuRosList = 162,  // regions of suspiciousness, none hit
    kMenuRos = 163,      // a region of suspiciousness
    kMenuRuler = 182,    // the ruler line
    kMenuCluster = 189,  // a cluster outline
};

// Places in a menu that the shell fills from lists at run time.
enum class EMenuPlace {
    RecentFiles,  // a separator, then the recent files
    Cases,        // a separator, then the "&Cases" entries at the menu's end
    OpenWindows,  // the open windows at the menu's end, written as the menu opens
};

struct CMenuEntry {
    enum class EKind { Command, Separator, Submenu, Place };
    EKind kind = EKind::Command;
    CommandId id{};                 // Command
    const char* title = nullptr;    // Submenu
    std::vector<CMenuEntry> items;  // Submenu
    EMenuPlace place{};             // Place
};

// What a top-level menu is to the shell beyond its entries.
enum class EMenuRole {
    Plain,
    Presets,  // filled from the preset list: "&Get Current Preset...", then the presets
};

struct CMenuLayout {
    const char* title;
    std::vector<CMenuEntry> items;
    EMenuRole role = EMenuRole::Plain;
};

struct CContextMenuLayout {
    ContextMenuId id;
    std::vector<CMenuEntry> items;
};

struct CToolBarLayout {
    const char* title;
    const char* objectName;
    std::vector<CommandId> ids;  // CommandId{} is a separator
};

// The menu bar from left to right (the plug-ins menu is added by the loader).
const std::vector<CMenuLayout>& MenuBarLayout();
const std::vector<CContextMenuLayout>& ContextMenuLayouts();
// Standard, morphology and user tool bars, in that order.
const std::vector<CToolBarLayout>& ToolBarLayouts();

}  // namespace vistrel
