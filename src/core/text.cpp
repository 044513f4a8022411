#include "core/text.h"

#include <cstdarg>
#include <cstdio>

namespace vistrel {

std::string Format(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::string text;
    if (needed < 0) {
        text.clear();
    } else if (static_cast<std::size_t>(needed) < sizeof buffer) {
        text.assign(buffer, static_cast<std::size_t>(needed));
    } else {
        text.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(needed));
    }
    va_end(again);
    return text;
}

std::string ToLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string ToUpper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtensionOf(const std::string& path) {
    const std::string name = FileNameOf(path);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string{} : name.substr(dot + 1);
}

std::string StemOf(const std::string& path) {
    const std::string name = FileNameOf(path);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace vistrel
