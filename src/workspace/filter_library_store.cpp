#include "workspace/filter_library_store.h"

namespace vistrel {

void CFilterLibraryStore::Load(const std::string& path) {
    SaveIfChanged();
    path_ = path;
    for (auto& list : library_) list.clear();
    // A missing file is an empty library; a damaged one keeps what was read.
    LoadFilterFile(path_, library_);
    changed_ = false;
}

bool CFilterLibraryStore::Edited() {
    changed_ = true;
    return Save();
}

bool CFilterLibraryStore::Save() {
    if (path_.empty() || SaveFilterFile(path_, library_) != 0) return false;
    changed_ = false;
    return true;
}

bool CFilterLibraryStore::SaveIfChanged() {
    return !changed_ || Save();
}

}  // namespace vistrel
