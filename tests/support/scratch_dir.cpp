#include "support/scratch_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <system_error>

namespace vistrel::testsupport {

namespace fs = std::filesystem;

CScratchDir::CScratchDir(const std::string& prefix) {
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / (prefix + "_XXXXXX")).string();
    if (error || !mkdtemp(pattern.data())) {
        ADD_FAILURE() << "cannot create a scratch folder " << pattern;
        return;
    }
    path_ = pattern;
}

CScratchDir::~CScratchDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    // A folder without write or search permission would keep its entries.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(path_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

std::string CScratchDir::Path(const std::string& name) const {
    return (path_ / name).string();
}

std::string CScratchDir::Write(const std::string& name, const std::string& bytes) const {
    const std::string path = Path(name);
    WriteFileBytes(path, bytes);
    return path;
}

std::string CScratchDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    return Write(name, std::string(bytes.begin(), bytes.end()));
}

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vistrel::testsupport
