#include "core/presets.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>

#include "core/atomic_file.h"

namespace vistrel {

namespace {

constexpr char kHeading[] = "Window/level presets: name, width, level\n";
constexpr char kSeparators[] = " \t\r";

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t pos = line.find_first_not_of(kSeparators);
    while (pos != std::string_view::npos) {
        const std::size_t end = std::min(line.find_first_of(kSeparators, pos), line.size());
        words.push_back(line.substr(pos, end - pos));
        pos = line.find_first_not_of(kSeparators, end);
    }
    return words;
}

bool StartsWithDigit(std::string_view word) {
    return !word.empty() && std::isdigit(static_cast<unsigned char>(word[0]));
}

// The leading integer of a word, as scanf would read it ("40abc" gives 40).
bool LeadingInt(std::string_view word, int32_t& value) {
    const std::string text(word);
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE) return false;
    if (parsed < std::numeric_limits<int32_t>::min() ||
        parsed > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    value = static_cast<int32_t>(parsed);
    return true;
}

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// A name that LoadPresets would read back unchanged in meaning: it has a word,
// stays on one line, and no later word starts with a digit (that word would be
// taken as the width).
bool IsStorableName(const std::string& name) {
    if (name.find_first_of("\n\r") != std::string::npos) return false;
    const std::vector<std::string_view> words = SplitWords(name);
    if (words.empty()) return false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (StartsWithDigit(words[i])) return false;
    }
    return true;
}

}  // namespace

std::string CPreset::MenuText() const {
    char numbers[40];
    std::snprintf(numbers, sizeof numbers, "(%d/%d)", width, level);
    return name + numbers;
}

std::string CPreset::FileLine() const {
    char numbers[48];
    std::snprintf(numbers, sizeof numbers, "\t\t%d\t\t%d\n", width, level);
    return name + numbers;
}

void CPreset::Window(int32_t& low, int32_t& high) const {
    low = level - width / 2;
    high = low + width;
}

CPreset CPreset::FromWindow(const std::string& name, int32_t low, int32_t high) {
    CPreset preset;
    preset.name = name;
    preset.width = high - low;
    preset.level = low + (high - low) / 2;
    return preset;
}

std::vector<CPreset> LoadPresets(const std::string& path) {
    std::vector<CPreset> presets;
    std::string text;
    if (!ReadWholeFile(path, text)) return presets;

    std::size_t start = text.find('\n');  // the heading line is skipped
    while (start != std::string::npos && start < text.size()) {
        ++start;
        std::size_t stop = text.find('\n', start);
        const std::string_view line(text.data() + start,
                                    (stop == std::string::npos ? text.size() : stop) - start);
        start = stop;
        if (IsBlank(line)) break;

        const std::vector<std::string_view> words = SplitWords(line);
        CPreset preset;
        preset.name = std::string(words[0]);
        std::size_t i = 1;
        for (; i < words.size() && !StartsWithDigit(words[i]); ++i) {
            preset.name += ' ';
            preset.name += words[i];
        }
        if (i >= words.size() || !LeadingInt(words[i], preset.width) || preset.width <= 0) {
            continue;
        }
        // A missing or unreadable level leaves it 0.
        if (i + 1 < words.size()) LeadingInt(words[i + 1], preset.level);
        presets.push_back(std::move(preset));
    }
    return presets;
}

bool AppendPreset(const std::string& path, const CPreset& preset) {
    if (!IsStorableName(preset.name)) return false;

    std::string text;
    if (!ReadWholeFile(path, text)) {
        std::error_code ec;
        // An existing file that cannot be read must not be replaced by a new one.
        if (std::filesystem::exists(path, ec) || ec) return false;
        text.clear();
    }
    if (text.empty()) text = kHeading;

    // Reading stops at the first empty line, so the new line goes in front of
    // it: appended behind a trailing blank line it would never be read back.
    std::size_t insertAt = text.size();
    std::size_t start = text.find('\n');
    while (start != std::string::npos && start + 1 < text.size()) {
        ++start;
        const std::size_t stop = text.find('\n', start);
        const std::string_view line(text.data() + start,
                                    (stop == std::string::npos ? text.size() : stop) - start);
        if (IsBlank(line)) {
            insertAt = start;
            break;
        }
        start = stop;
    }
    std::string addition = preset.FileLine();
    if (insertAt > 0 && text[insertAt - 1] != '\n') addition.insert(addition.begin(), '\n');
    text.insert(insertAt, addition);

    return WriteFileAtomically(path, [&text](std::FILE* file) {
        return std::fwrite(text.data(), 1, text.size(), file) == text.size();
    });
}

}  // namespace vistrel
