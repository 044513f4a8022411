#pragma once
// Window/level presets and their text file "presets.txt".

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

struct CPreset {
    std::string name;
    int32_t width = 0;
    int32_t level = 0;  // centre of the window

    // name followed by "(%d/%d)" with width and level.
    std::string MenuText() const;
    // name followed by "\t\t%d\t\t%d\n".
    std::string FileLine() const;
    // low = level - width / 2, high = low + width.
    void Window(int32_t& low, int32_t& high) const;
    // Preset of a window: width = high - low, level = low + (high - low) / 2.
    static CPreset FromWindow(const std::string& name, int32_t low, int32_t high);
};

// Reads presets.txt (first line a heading; stops at the first empty line; lines
// with a non-positive width are skipped). Missing file: empty list.
std::vector<CPreset> LoadPresets(const std::string& path);
// Appends one preset line to the file (creating it with a heading when absent).
bool AppendPreset(const std::string& path, const CPreset& preset);

}  // namespace vistrel
