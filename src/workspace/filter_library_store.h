#pragma once
// The application's filter library and the file it lives in (filters.flt in
// the data folder). Edits are written back at once, atomically; one that could
// not be written stays pending until the next save or the end of the program.

#include <string>

#include "filters/filter_file.h"

namespace vistrel {

class CFilterLibraryStore {
  public:
    // Reads path into an emptied library, which then counts as unedited. An
    // edit still pending is written to the file it came from first.
    void Load(const std::string& path);
    const std::string& Path() const { return path_; }
    CFilterLibrary& Library() { return library_; }
    const CFilterLibrary& Library() const { return library_; }

    // Records an edit of Library() and writes the file; false when it could
    // not be written (the old file stays, the edit stays pending).
    bool Edited();
    bool Changed() const { return changed_; }
    // Writes the library now; false without a path or when the write failed.
    bool Save();
    // Writes only a pending edit; true when nothing is pending afterwards.
    bool SaveIfChanged();

  private:
    std::string path_;
    CFilterLibrary library_;
    bool changed_ = false;
};

}  // namespace vistrel
