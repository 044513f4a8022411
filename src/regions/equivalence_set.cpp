#include "regions/equivalence_set.h"

namespace vistrel {

void CEquivalenceSet::Insert(int32_t label) {
    labels_.insert(label);
    smallest_ = *labels_.begin();
}

void CEquivalenceSet::Absorb(CEquivalenceSet& other) {
    if (&other == this || other.labels_.empty()) return;
    labels_.merge(other.labels_);
    other.labels_.clear();
    other.smallest_ = -1;
    smallest_ = *labels_.begin();
}

}  // namespace vistrel
