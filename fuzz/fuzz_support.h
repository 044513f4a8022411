#pragma once
// What every reader fuzzer needs: a sink that swallows messages, a private
// temporary folder for the inputs the readers must see as files, and writing
// an input there.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/messages.h"

namespace vistrel::fuzz {

class QuietSink : public IMessageSink {
  public:
    void show(const std::string&) override {}
    int ask(const std::string&, const std::vector<std::string>&) override { return 0; }
};

// One folder per fuzzing process, created on first use and removed at exit
// (a plain array, so it outlives the static strings at that point).
inline char g_folder[] = "/tmp/vistrel_fuzz_XXXXXX";

inline const std::string& Folder() {
    static const std::string folder = [] {
        if (!mkdtemp(g_folder)) return std::string("/tmp");
        std::atexit([] { rmdir(g_folder); });
        return std::string(g_folder);
    }();
    return folder;
}

inline bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

}  // namespace vistrel::fuzz
