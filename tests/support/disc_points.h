#pragma once
// A disc of pixels, the shape region tests measure most.

#include <vector>

#include "regions/chain_code.h"

namespace vistrel::testsupport {

// The pixels within distance r of (cx, cy), row by row.
inline std::vector<CPoint> Disc(int cx, int cy, int r) {
    std::vector<CPoint> p;
    for (int y = cy - r; y <= cy + r; ++y)
        for (int x = cx - r; x <= cx + r; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) p.push_back({x, y});
    return p;
}

}  // namespace vistrel::testsupport
