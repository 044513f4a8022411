#pragma once
// Internals of the co-occurrence matrices exposed for tests and benchmarks:
// building with a chosen storage form, so that the dense and the sparse form
// can be compared on the same area.

#include <array>
#include <cstdint>
#include <memory>

#include "core/image.h"
#include "regions/texture.h"

namespace vistrel::detail {

enum class GlcmForm { Automatic, Dense, Sparse };

// BuildGLCMs with the storage form forced (Automatic picks as BuildGLCMs
// does). Dense is refused (null) when the n x n tables would be too large.
std::unique_ptr<std::array<CGLCM, 4>> BuildGLCMsAs(const CMImage& image, const CRect& rect,
                                                   int32_t distance, GlcmForm form);

// True when the matrix keeps only the pairs that occur.
bool IsSparse(const CGLCM& glcm);

// Largest n x n table kept dense (entries).
inline constexpr int64_t kGlcmDenseMaxEntries = int64_t{1} << 20;

}  // namespace vistrel::detail
