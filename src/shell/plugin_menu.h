#pragma once
// The "Pl&ugIns" menu: one item per image plug-in, command 49000 + i.

#include <QMenu>
#include <QMenuBar>
#include <functional>
#include <string>
#include <vector>

namespace vistrel {

class CPlugInManager;

inline constexpr const char* kPlugInMenuText = "Pl&ugIns";
// Where the menu goes in the bar (counted from 0); a shorter bar gets it last.
inline constexpr int kPlugInMenuPosition = 8;

// Inserts the "Pl&ugIns" popup into bar, one item per name with the command
// id 49000 + i as its data and text, calling onCommand(id) when chosen.
// Nothing happens when the bar already has a top-level "Pl&ugIns" item (that
// menu is returned) or when there are no names (null). Names beyond the
// command range 49000..49100 get no item.
QMenu* BuildPlugInMenu(QMenuBar& bar, const std::vector<std::string>& names,
                       const std::function<void(int)>& onCommand);
// The same for the loaded image plug-ins of manager.
QMenu* BuildPlugInMenu(QMenuBar& bar, const CPlugInManager& manager,
                       const std::function<void(int)>& onCommand);

}  // namespace vistrel
