#pragma once
// The Fourier shape measure of a closed outline: how much of the outline's
// spectrum lies in the high frequencies, weighted by 1/|k|.

#include <cstdint>
#include <vector>

#include "regions/chain_code.h"

namespace vistrel {

// Boundaries longer than this give 0: the transform would need more memory
// than a real outline ever asks for (an outline this long is corrupt).
inline constexpr int64_t kMaxFourierPoints = int64_t{1} << 22;

// FF of the points in boundary order: with z_j = (x_j - x_0) + i (y_j - y_0)
// zero-padded to the next power of two N and Z(k) = sum z_j e^{+2 pi i jk/N},
// a_k = |Z(k)| for k = 1 .. n/2 and |Z(n + k)| for k = 1 - n/2 .. -1, each over
// |Z(1)|; FF = sum(a_k / |k|) / sum(a_k). 0 for fewer than two points.
// Safe to call from several threads at once.
double FourierShapeFactor(const std::vector<CPoint>& boundary);

}  // namespace vistrel
