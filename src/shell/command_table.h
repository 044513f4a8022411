#pragma once
// Menu texts of the commands, keyed by their ids. A text may carry its
// accelerator after a tab ("Zoom &In\tAlt++").

#include <string>
#include <vector>

#include "workspace/command_ids.h"

namespace vistrel {

struct CCommandEntry {
    CommandId id;
    const char* text;
};

const std::vector<CCommandEntry>& CommandTable();
// The menu text before the tab and the accelerator after it (empty when none).
void SplitMenuText(const std::string& text, std::string& label, std::string& accelerator);

}  // namespace vistrel
