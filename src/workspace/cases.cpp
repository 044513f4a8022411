#include "workspace/cases.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace vistrel {

namespace {

// Where the file name starts (after the last '/').
std::size_t FileNameStart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string CaseKey(const std::string& path) {
    const std::string name = path.substr(FileNameStart(path));
    if (name.find("_CC") == std::string::npos && name.find("_MLO") == std::string::npos) return {};
    const auto first = name.find('.');
    if (first == std::string::npos) return name;
    std::string key = name.substr(0, first);
    const auto second = name.find('.', first + 1);
    if (second != std::string::npos) key += "." + name.substr(second + 1);
    return key;
}

std::string CaseInfoPath(const std::string& imagePath) {
    if (imagePath.empty()) return {};
    const std::size_t start = FileNameStart(imagePath);
    std::string name = imagePath.substr(start);
    const auto dot = name.find('.');
    if (dot != std::string::npos) name.erase(dot);
    std::replace(name.begin(), name.end(), '_', '-');
    return imagePath.substr(0, start) + name + ".ics";
}

std::string CaseViewWord(const std::string& imagePath) {
    const std::string name = imagePath.substr(FileNameStart(imagePath));
    for (const char* word : {"LEFT_MLO", "LEFT_CC", "RIGHT_MLO", "RIGHT_CC"})
        if (name.find(word) != std::string::npos) return word;
    return {};
}

float ReadCaseResolution(const std::string& imagePath, float fallback) {
    const std::string view = CaseViewWord(imagePath);
    if (view.empty()) return fallback;
    std::ifstream in(CaseInfoPath(imagePath));
    if (!in) return fallback;
    static const std::string kResolution = "RESOLUTION";
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(view) == std::string::npos) continue;
        const auto at = line.find(kResolution);
        if (at == std::string::npos) continue;
        std::size_t begin = line.find_first_not_of(" \t\r", at + kResolution.size());
        if (begin == std::string::npos) return fallback;
        const std::size_t end = line.find_first_of(" \t\r", begin);
        const std::string number = line.substr(begin, end == std::string::npos ? end : end - begin);
        char* rest = nullptr;
        const double microns = std::strtod(number.c_str(), &rest);
        // A zero, negative or unreadable pixel size would give no usable resolution.
        if (rest == number.c_str() || !std::isfinite(microns) || microns <= 0.0) return fallback;
        const double dpi = 25400.0 / microns;
        return std::isfinite(dpi) ? static_cast<float>(dpi) : fallback;
    }
    return fallback;
}

int CCaseList::AddCase(const std::string& path) {
    const std::string key = CaseKey(path);
    if (key.empty() || Find(key) >= 0) return -1;
    entries_.push_back(key);
    return static_cast<int>(entries_.size()) - 1;
}

int CCaseList::Find(const std::string& key) const {
    const auto it = std::find(entries_.begin(), entries_.end(), key);
    return it == entries_.end() ? -1 : static_cast<int>(it - entries_.begin());
}

int CCaseList::IndexOfCommand(int commandId) const {
    if (commandId < kCaseCommandFirst || commandId > kCaseCommandLast) return -1;
    const int index = commandId - kCaseCommandFirst;
    return index < static_cast<int>(entries_.size()) ? index : -1;
}

int CCaseList::Next(const std::string& key) const {
    if (entries_.empty()) return -1;
    const int at = key.empty() ? -1 : Find(key);
    return at < 0 ? 0 : (at + 1) % static_cast<int>(entries_.size());
}

int CCaseList::Previous(const std::string& key) const {
    if (entries_.empty()) return -1;
    const int count = static_cast<int>(entries_.size());
    const int at = key.empty() ? -1 : Find(key);
    return at < 0 ? count - 1 : (at + count - 1) % count;
}

}  // namespace vistrel
