#pragma once
// A set of provisional labels found to belong to the same connected component,
// with its smallest label (the one the component keeps).

#include <cstddef>
#include <cstdint>
#include <set>

namespace vistrel {

class CEquivalenceSet {
  public:
    // Duplicates are ignored.
    void Insert(int32_t label);
    bool Contains(int32_t label) const { return labels_.count(label) != 0; }
    // The smallest label, -1 while empty.
    int32_t Smallest() const { return smallest_; }
    // Moves every label of the other set into this one and empties the other.
    void Absorb(CEquivalenceSet& other);
    bool IsEmpty() const { return labels_.empty(); }
    std::size_t Size() const { return labels_.size(); }
    const std::set<int32_t>& Labels() const { return labels_; }

  private:
    std::set<int32_t> labels_;
    int32_t smallest_ = -1;
};

}  // namespace vistrel
