#pragma once
// The pixels collected for one provisional label while a binary image is
// labelled into connected components.

#include <cstdint>
#include <vector>

#include "regions/chain_code.h"

namespace vistrel {

class CRegionPoints {
  public:
    CRegionPoints() = default;
    explicit CRegionPoints(int32_t label) : label_(label) {}

    // Adds a point with label L: a list without a label (-1) takes L, a list
    // with another label refuses the point. True when the point was added.
    bool Add(CPoint point, int32_t label);
    // Moves every point of the other list to this one, leaving the other empty.
    void Absorb(CRegionPoints& other);

    int32_t Label() const { return label_; }
    void SetLabel(int32_t label) { label_ = label; }
    const std::vector<CPoint>& Points() const { return points_; }
    std::vector<CPoint>& Points() { return points_; }

  private:
    int32_t label_ = -1;
    std::vector<CPoint> points_;
};

}  // namespace vistrel
