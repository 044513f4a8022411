#pragma once
// Every file the system writes goes to a temporary name in the same folder and
// is renamed over the target only after a complete, checked write, so a full
// disk or a crash never leaves a half-written image where a good one was.

#include <cstdio>
#include <functional>
#include <string>

namespace vistrel {

// Calls write(file) on a temporary file beside path; when it returns true and
// the data reach the disk, renames it to path. Otherwise removes the temporary
// file, leaves path untouched and reports the platform's error through the
// message sink. Returns true on success.
bool WriteFileAtomically(const std::string& path, const std::function<bool(std::FILE*)>& write);

// Reads a whole file into memory; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

}  // namespace vistrel
