#include "filters/filter_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/atomic_file.h"

namespace vistrel {

namespace {

// Sizes beyond this come only from corrupt files; refusing them keeps a bad
// line from asking for gigabytes.
constexpr long kMaxFileKernelSide = 4096;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// One blank-delimited token starting at pos (leading blanks skipped).
std::string Token(const std::string& text, std::size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && !IsBlank(text[pos])) ++pos;
    return text.substr(start, pos - start);
}

bool SkipPast(const std::string& text, std::size_t& pos, const char* key) {
    const std::size_t at = text.find(key, pos);
    if (at == std::string::npos) return false;
    pos = at + std::strlen(key);
    return true;
}

std::string Trim(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && IsBlank(s[a])) ++a;
    while (b > a && IsBlank(s[b - 1])) --b;
    return s.substr(a, b - a);
}

}  // namespace

const char* FilterTypeName(int type) {
    static const char* const kNames[] = {"noise cleaning (low-pass)", "edge detection",
                                         "edge crispening (high-pass)", "custom"};
    return type >= 0 && type < 4 ? kNames[type] : "";
}

std::string FormatFilterReal(double value) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.15f", value);
    std::string s = buffer;
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    return s;
}

std::string FilterFileText(const CFilterLibrary& library) {
    std::string out;
    for (int type = 0; type < 4; ++type) {
        for (const CFilter& f : library[static_cast<std::size_t>(type)]) {
            if (!f.IsNonZero()) continue;
            out += "NAME: " + f.name + " \n";
            out += "TYPE: " + std::to_string(type) + " \n";
            out +=
                "WIDTH: " + std::to_string(f.width) + " HEIGHT: " + std::to_string(f.height) + "\n";
            out += "SCALE: " + FormatFilterReal(f.scale) + "\n";
            out += "LP_PARAM: " + std::to_string(f.paramCount()) + "\n";
            if (f.paramCount() > 0) {
                out += "PARAM: ";
                for (double p : f.params) out += FormatFilterReal(p) + " ";
                out += "\n";
            }
            for (int32_t i = 0; i < f.height; ++i) {
                for (int32_t j = 0; j < f.width; ++j) out += FormatFilterReal(f.Row(i)[j]) + " ";
                out += "\n";
            }
            out += "\n";
        }
    }
    return out;
}

int ParseFilterFile(const std::string& text, CFilterLibrary& library) {
    std::size_t pos = 0;
    for (;;) {
        const std::size_t nameAt = text.find("NAME:", pos);
        if (nameAt == std::string::npos) return 0;
        pos = nameAt + 5;
        const std::size_t typeAt = text.find("TYPE:", pos);
        if (typeAt == std::string::npos) return -1;
        const std::string name = Trim(text.substr(pos, typeAt - pos));
        pos = typeAt + 5;
        const long type = std::strtol(Token(text, pos).c_str(), nullptr, 10);
        if (!SkipPast(text, pos, "WIDTH:")) return -1;
        const long width = std::strtol(Token(text, pos).c_str(), nullptr, 10);
        if (!SkipPast(text, pos, "HEIGHT:")) return -1;
        const long height = std::strtol(Token(text, pos).c_str(), nullptr, 10);
        if (!SkipPast(text, pos, "SCALE:")) return -1;
        const double scale = std::strtod(Token(text, pos).c_str(), nullptr);
        if (!SkipPast(text, pos, "LP_PARAM:")) return -1;
        const long count = std::strtol(Token(text, pos).c_str(), nullptr, 10);
        if (width < 0 || height < 0 || width > kMaxFileKernelSide || height > kMaxFileKernelSide ||
            count < 0 || count > 1024)
            return -1;
        std::vector<double> params;
        if (count != 0) {
            if (!SkipPast(text, pos, "PARAM:")) return -1;
            ++pos;  // the one blank after the key
            for (long k = 0; k < count; ++k) {
                const std::size_t start = std::min(pos, text.size());
                std::size_t end = start;
                while (end < text.size() && !IsBlank(text[end])) ++end;
                params.push_back(std::strtod(text.substr(start, end - start).c_str(), nullptr));
                pos = end + 1;  // exactly one separator
            }
        }
        CFilter filter(static_cast<int32_t>(height), static_cast<int32_t>(width));
        filter.name = name;
        filter.scale = scale;
        filter.params = params;
        for (long i = 0; i < height; ++i) {
            const std::size_t lf = text.find('\n', std::min(pos, text.size()));
            if (lf == std::string::npos) return -1;
            pos = lf + 1;
            for (long j = 0; j < width; ++j) {
                while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
                const char* begin = text.c_str() + pos;
                char* end = nullptr;
                const double v = std::strtod(begin, &end);
                if (filter.HasRows()) filter.Row(int32_t(i))[j] = static_cast<float>(v);
                pos += static_cast<std::size_t>(end - begin);
            }
        }
        if (filter.IsNonZero() && type >= 0 && type <= 3)
            library[static_cast<std::size_t>(type)].push_back(std::move(filter));
    }
}

int LoadFilterFile(const std::string& path, CFilterLibrary& library) {
    std::string text;
    if (!ReadWholeFile(path, text)) return 0;
    return ParseFilterFile(text, library);
}

int SaveFilterFile(const std::string& path, const CFilterLibrary& library) {
    const std::string text = FilterFileText(library);
    return WriteFileAtomically(path,
                               [&](std::FILE* f) {
                                   return std::fwrite(text.data(), 1, text.size(), f) ==
                                          text.size();
                               })
               ? 0
               : -1;
}

}  // namespace vistrel
