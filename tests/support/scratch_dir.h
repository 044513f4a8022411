#pragma once
// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes (also when a test made parts of it read-only).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vistrel::testsupport {

class CScratchDir {
  public:
    // The folder is named <prefix>_XXXXXX with a unique suffix.
    explicit CScratchDir(const std::string& prefix = "vistrel_test");
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    bool IsValid() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }
    // A path inside the folder (nothing is created).
    std::string Path(const std::string& name) const;
    // Writes bytes to a file in the folder; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

  private:
    std::filesystem::path path_;
};

// The whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);
// Replaces the file with the bytes.
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace vistrel::testsupport
