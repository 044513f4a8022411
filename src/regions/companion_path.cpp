#include "regions/companion_path.h"

#include <sys/stat.h>

namespace vistrel {

namespace {

struct PathParts {
    std::string directory;  // up to and including the last '/'
    std::string name;
};

PathParts Split(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {{}, path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// The name without its last extension; only a '.' inside the file name counts,
// never one in a directory name.
std::string Stem(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool IsFile(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string MakeCompanionPath(const std::string& path, const std::string& extension, int mode,
                              const std::string& documentName) {
    const PathParts parts = Split(path);
    if (mode == 0) {
        const std::string name = documentName.empty() ? parts.name : Split(documentName).name;
        return parts.directory + Stem(name) + "." + extension;
    }
    const std::string stem = Stem(parts.name);
    const std::string first = parts.directory + stem + "." + extension;
    if (mode != 2) return first;
    if (IsFile(first)) return first;
    const std::string shorter = Stem(stem);
    if (shorter != stem) {
        const std::string second = parts.directory + shorter + "." + extension;
        if (IsFile(second)) return second;
    }
    const size_t bracket = shorter.find_last_of('[');
    if (bracket == std::string::npos) return {};
    return parts.directory + shorter.substr(0, bracket) + "." + extension;
}

std::string DefaultOverlayPath(const std::string& path) {
    const PathParts parts = Split(path);
    const size_t dot = parts.name.find_last_of('.');
    std::string name = parts.name;
    if (dot != std::string::npos) {
        const std::string extension = parts.name.substr(dot + 1);
        name = parts.name.substr(0, dot);
        if (extension.size() > 3) name += extension.substr(4);
    }
    return parts.directory + name + ".OVERLAY";
}

}  // namespace vistrel
