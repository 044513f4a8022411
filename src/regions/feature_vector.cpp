#include "regions/feature_vector.h"

namespace vistrel {

void CFeatureVector::Append(const CFeatureVector& other) {
    names.insert(names.end(), other.names.begin(), other.names.end());
    values.insert(values.end(), other.values.begin(), other.values.end());
}

int32_t CFeatureVector::IndexOf(std::string_view name) const {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int32_t>(i);
    return -1;
}

void CFeatureSelection::Reindex() {
    index_.clear();
    index_.reserve(entries_.size());
    // The first of equal names wins, as a scan would find it.
    for (size_t i = 0; i < entries_.size(); ++i)
        index_.emplace(entries_[i].name, static_cast<int32_t>(i));
}

int32_t CFeatureSelection::Find(std::string_view name) const {
    const auto found = index_.find(name);
    if (found != index_.end()) {
        const auto at = static_cast<size_t>(found->second);
        if (at < entries_.size() && entries_[at].name == name) return found->second;
    }
    // Not indexed, or renamed since: the scan is always right.
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].name == name) return static_cast<int32_t>(i);
    return -1;
}

bool CFeatureSelection::Selected(std::string_view name) const {
    const int32_t at = Find(name);
    return at >= 0 && entries_[static_cast<size_t>(at)].on != 0;
}

bool CFeatureSelection::Set(std::string_view name, bool on) {
    const int32_t at = Find(name);
    if (at < 0) return false;
    entries_[static_cast<size_t>(at)].on = on ? 1 : 0;
    return true;
}

void CFeatureSelection::SetAll(bool on) {
    for (Entry& e : entries_) e.on = on ? 1 : 0;
}

}  // namespace vistrel
