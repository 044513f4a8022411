#include "core/lut.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "core/atomic_file.h"
#include "core/text.h"

namespace vistrel {

namespace {

constexpr std::size_t kLutEntries = 256;
constexpr std::size_t kBinaryLutBytes = 3 * kLutEntries;

bool ParseByte(std::string_view token, int& value) {
    const char* end = token.data() + token.size();
    const auto [ptr, ec] = std::from_chars(token.data(), end, value);
    return ec == std::errc() && ptr == end && value >= 0 && value <= 255;
}

// Text LUT, for tables written by hand. The file begins with '*' or 'S'.
// Line by line:
//   * anything          a comment (a '*' also ends the useful part of any line);
//   S anything          a title line (first non-blank character 'S' or 's'), ignored;
//   index red green blue   sets palette entry index (all four 0..255);
//   red green blue      sets the entry after the one set last (entry 0 first);
//   blank lines         ignored.
// Numbers are decimal, separated by spaces, tabs or commas. Entries not set
// stay black. Any other line, a value out of range or a file without a single
// entry makes the whole file fail, so a damaged table is never half shown.
bool ParseTextLut(const std::string& text, CPalette& palette) {
    palette.assign(kLutEntries, CPaletteEntry{});
    int next = 0;
    bool any = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t stop = text.find('\n', start);
        if (stop == std::string::npos) stop = text.size();
        std::string_view line(text.data() + start, stop - start);
        start = stop + 1;

        const std::size_t comment = line.find('*');
        if (comment != std::string_view::npos) line = line.substr(0, comment);
        const std::size_t first = line.find_first_not_of(" \t\r,");
        if (first == std::string_view::npos) continue;
        if (line[first] == 'S' || line[first] == 's') continue;

        int values[4];
        int count = 0;
        std::size_t pos = first;
        while (pos < line.size()) {
            const std::size_t end = std::min(line.find_first_of(" \t\r,", pos), line.size());
            if (count == 4 || !ParseByte(line.substr(pos, end - pos), values[count])) return false;
            ++count;
            pos = line.find_first_not_of(" \t\r,", end);
            if (pos == std::string_view::npos) break;
        }
        int index;
        const int* rgb;
        if (count == 4) {
            index = values[0];
            rgb = values + 1;
        } else if (count == 3) {
            if (next > 255) return false;
            index = next;
            rgb = values;
        } else {
            return false;
        }
        CPaletteEntry& entry = palette[static_cast<std::size_t>(index)];
        entry.red = static_cast<uint8_t>(rgb[0]);
        entry.green = static_cast<uint8_t>(rgb[1]);
        entry.blue = static_cast<uint8_t>(rgb[2]);
        next = index + 1;
        any = true;
    }
    return any;
}

}  // namespace

CPalette LinearGreyPalette(bool inverted) {
    CPalette palette(kLutEntries);
    for (std::size_t i = 0; i < kLutEntries; ++i) {
        const auto v = static_cast<uint8_t>(inverted ? 255 - i : i);
        palette[i] = CPaletteEntry{v, v, v, 0};
    }
    return palette;
}

bool LoadLutFile(const std::string& path, CPalette& palette) {
    palette.clear();
    std::string bytes;
    if (!ReadWholeFile(path, bytes) || bytes.empty()) return false;
    if (bytes[0] == '*' || bytes[0] == 'S') {
        if (ParseTextLut(bytes, palette)) return true;
        palette.clear();
        return false;
    }
    if (bytes.size() < kBinaryLutBytes) return false;
    palette.assign(kLutEntries, CPaletteEntry{});
    const auto* raw = reinterpret_cast<const uint8_t*>(bytes.data());
    for (std::size_t i = 0; i < kLutEntries; ++i) {
        palette[i] = CPaletteEntry{raw[2 * kLutEntries + i], raw[kLutEntries + i], raw[i], 0};
    }
    return true;
}

void CLutList::ScanLuts(const std::string& folder) {
    namespace fs = std::filesystem;
    folder_ = folder;
    names_ = {"black/white linear", "white/black linear"};
    paths_ = {"", ""};

    std::vector<fs::path> files;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    // A missing or unreadable folder leaves the two built-in ramps.
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        if (ToLower(it->path().extension().string()) != ".lut") continue;
        files.push_back(it->path());
    }
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return ToLower(a.filename().string()) < ToLower(b.filename().string());
    });
    for (const fs::path& file : files) {
        names_.push_back(ToLower(file.stem().string()));
        paths_.push_back(file.string());
    }
}

int CLutList::SelectLut(int index, CPalette& palette) const {
    if (index < 0 || static_cast<std::size_t>(index) >= names_.size()) index = 0;
    if (index == 0 || index == 1) {
        palette = LinearGreyPalette(index == 1);
        return 0;
    }
    return LoadLutFile(paths_[static_cast<std::size_t>(index)], palette) ? 0 : -1;
}

}  // namespace vistrel
