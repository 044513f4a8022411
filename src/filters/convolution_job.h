#pragma once
// What one output row of the correlation needs, as plain data, and the table of
// row functions of one instruction set.

#include <cstddef>
#include <cstdint>

namespace vistrel {

struct CRowJob {
    const void* base = nullptr;  // uint8_t or uint16_t samples
    bool words = false;
    std::ptrdiff_t stride = 0;  // in samples
    int32_t width = 0;
    const float* coefficients = nullptr;  // kh x kw, row-major
    int32_t kw = 0, kh = 0;
    double divisor = 1.0;
    int termCount = 0;  // 0: direct sum
    const double* columns[3] = {};
    const double* rows[3] = {};
    bool symmetricColumns = false;
    bool symmetricRows = false;
};

// Sums of one row of results: plain and of squares (eight lanes combined in a
// fixed order), and the extremes.
struct CRowSums {
    double sum = 0, squares = 0;
    float min = 0, max = 0;
};

struct CRowKernels {
    void (*rowFloat)(const CRowJob&, int32_t y, double* const* vbuf, double* acc, float* out);
    void (*rowDouble)(const CRowJob&, int32_t y, double* const* vbuf, double* acc, double* out);
    CRowSums (*sums)(const float* values, int32_t n);
};

namespace rows_plain {
CRowKernels RowKernels();
}
namespace rows_avx2 {
CRowKernels RowKernels();
}
namespace rows_avx512 {
CRowKernels RowKernels();
}

}  // namespace vistrel
