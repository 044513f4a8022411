#pragma once
// Colour look-up tables: the two built-in ramps and "*.lut" files in the
// Luts folder beside the program.

#include <string>
#include <vector>

#include "core/display.h"

namespace vistrel {

class CLutList {
public:
    // Rebuilds the list: "black/white linear", "white/black linear", then the
    // lower-case stem of every "*.lut" file in folder (extension matched in
    // any case), sorted by lower-case file name so that the order does not
    // depend on the file system.
    void ScanLuts(const std::string& folder);
    const std::vector<std::string>& Names() const { return names_; }
    const std::string& Folder() const { return folder_; }
    // Builds the palette of a list index (out of range selects 0). 0 on
    // success; -1 when the file cannot be read (palette then empty).
    int SelectLut(int index, CPalette& palette) const;

private:
    std::string folder_;
    std::vector<std::string> names_{"black/white linear", "white/black linear"};
    // Full path of each file entry (empty for the built-ins): names are lower
    // case, files on disk need not be.
    std::vector<std::string> paths_{"", ""};
};

// Binary LUT (at least 768 bytes: 256 red, 256 green, 256 blue) or a text LUT
// (first byte '*' or 'S'). False when the file is missing or too short.
bool LoadLutFile(const std::string& path, CPalette& palette);
// 256-entry grey ramp; inverted when `inverted`.
CPalette LinearGreyPalette(bool inverted);

}  // namespace vistrel
