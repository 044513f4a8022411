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

bool CFeatureSelection::Selected(std::string_view name) const {
    for (const Entry& e : entries_)
        if (e.name == name) return e.on != 0;
    return false;
}

bool CFeatureSelection::Set(std::string_view name, bool on) {
    for (Entry& e : entries_)
        if (e.name == name) {
            e.on = on ? 1 : 0;
            return true;
        }
    return false;
}

void CFeatureSelection::SetAll(bool on) {
    for (Entry& e : entries_) e.on = on ? 1 : 0;
}

}  // namespace vistrel
