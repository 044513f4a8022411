#pragma once
// Microcalcification-sized discs added to a synthetic film.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/image.h"
#include "regions/chain_code.h"

namespace vistrel::bench {

// A microcalcification-sized disc of radius r at (cx, cy), brightened by
// 600 (clamped to 12 bits); returns its pixels. The disc must lie inside.
inline std::vector<CPoint> BrightenDisc(CMImage& image, int cx, int cy, int r) {
    std::vector<CPoint> pixels;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx)
            if (dx * dx + dy * dy <= r * r) {
                pixels.push_back({cx + dx, cy + dy});
                uint16_t& v = image.Row16(cy + dy)[cx + dx];
                v = static_cast<uint16_t>(std::min(4095, v + 600));
            }
    return pixels;
}

}  // namespace vistrel::bench
