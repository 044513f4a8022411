#pragma once
// 8-direction chain codes: directions numbered clockwise starting upwards,
// x growing to the right and y growing downwards.
//
//   7 0 1
//   6 . 2
//   5 4 3

#include <cstdint>

namespace vistrel {

struct CPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const CPoint&) const = default;
};

inline constexpr int kChainDx[8] = {0, 1, 1, 1, 0, -1, -1, -1};
inline constexpr int kChainDy[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

// True for the codes 0..7; anything else ends a walk along a chain.
constexpr bool IsChainCode(int code) {
    return code >= 0 && code <= 7;
}

// The code of a unit step (dx, dy); -1 for the null step or a step longer than 1.
constexpr int ChainCodeOf(int dx, int dy) {
    for (int code = 0; code < 8; ++code)
        if (kChainDx[code] == dx && kChainDy[code] == dy) return code;
    return -1;
}

}  // namespace vistrel
