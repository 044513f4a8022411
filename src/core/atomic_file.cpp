#include "core/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/messages.h"

namespace vistrel {

namespace {
void ReportFileError(const std::string& path, int error) {
    messages().show("Cannot write the file " + path + ": " + std::strerror(error));
}
}  // namespace

bool WriteFileAtomically(const std::string& path, const std::function<bool(std::FILE*)>& write) {
    std::string pattern = path + ".tmpXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        ReportFileError(path, errno);
        return false;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        close(fd);
        std::remove(name.data());
        ReportFileError(path, error);
        return false;
    }
    bool ok = write(file);
    int error = ok ? 0 : (errno ? errno : EIO);
    if (ok && (std::fflush(file) != 0 || std::ferror(file) || fsync(fileno(file)) != 0)) {
        ok = false;
        error = errno ? errno : EIO;
    }
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno ? errno : EIO;
    }
    // mkstemp creates 0600; a saved image should carry the usual permissions.
    if (ok) {
        const mode_t mask = umask(0);
        umask(mask);
        chmod(name.data(), 0666 & ~mask);
    }
    if (ok && std::rename(name.data(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        std::remove(name.data());
        ReportFileError(path, error);
    }
    return ok;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    bytes = buffer.str();
    return true;
}

}  // namespace vistrel
