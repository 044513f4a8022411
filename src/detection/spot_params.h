#pragma once
// The five parameters of the multiscale spot detector, with the ranges the
// window's spin boxes and the command line accept and the defaults they start
// from. One type for the detector's callers and for the spot-file names that
// carry the parameters.

#include <algorithm>

namespace vistrel {

struct CSpotParams {
    struct CRange {
        int min, max;
        int Clamp(int v) const { return std::clamp(v, min, max); }
    };
    // Scales apply to both the minimum and the maximum scale.
    static constexpr CRange kScaleRange{2, 20};
    static constexpr CRange kIncrementRange{1, 20};
    static constexpr CRange kLocalMaxRange{3, 20};
    static constexpr CRange kSearchRange{0, 20};

    // In the order a spot-file name writes them.
    int minScale = 3;
    int increment = 2;
    int maxScale = 10;
    int localMaxSide = 3;  // side n of the square a maximum must be strict in
    int searchSide = 3;    // side m of the window a path is continued in

    // Every parameter moved into its own range; the scales are clamped each on
    // its own (a maximum below the minimum is left for the caller to refuse).
    CSpotParams Clamped() const {
        return {kScaleRange.Clamp(minScale), kIncrementRange.Clamp(increment),
                kScaleRange.Clamp(maxScale), kLocalMaxRange.Clamp(localMaxSide),
                kSearchRange.Clamp(searchSide)};
    }
    bool operator==(const CSpotParams&) const = default;
};

}  // namespace vistrel
