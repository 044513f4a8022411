#pragma once
// The row loops of the correlation engine, compiled once per instruction set
// (plain, AVX2, AVX-512) into the namespace named by VISTREL_ROW_KERNELS. Every
// pixel's arithmetic is the same sequence of double-precision operations in
// each build (no fused multiply-adds, no reordering), so the results do not
// depend on which build runs. The loops use raw pointers and no library
// templates: an inline function shared with the plain build could otherwise be
// taken from a wider instruction set by the linker.

#include <cstddef>
#include <cstdint>

#include "filters/convolution_job.h"

#if defined(__AVX512F__)
// GCC 12's AVX-512 headers start conversions from a deliberately undefined
// vector, which its flow analysis reports as uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace vistrel::VISTREL_ROW_KERNELS {
namespace {

template <typename T>
const T* Samples(const CRowJob& job, int32_t y) {
    return static_cast<const T*>(job.base) + std::ptrdiff_t(y) * job.stride;
}

// Additions in the order of the definition (kernel rows, then columns).
template <typename T, typename Out>
void DirectRowT(const CRowJob& job, int32_t y, double* acc, Out* out) {
    const int32_t hw = job.kw / 2, hh = job.kh / 2;
    const int32_t x0 = hw, x1 = job.width - hw;
    for (int32_t x = x0; x < x1; ++x) acc[x] = 0.0;
    for (int32_t i = 0; i < job.kh; ++i) {
        const T* src = Samples<T>(job, y - hh + i) - hw;
        const float* w = job.coefficients + std::ptrdiff_t(i) * job.kw;
        for (int32_t j = 0; j < job.kw; ++j) {
            const double c = w[j];
            const T* s = src + j;
            for (int32_t x = x0; x < x1; ++x) acc[x] += c * double(s[x]);
        }
    }
    const double divisor = job.divisor;
    for (int32_t x = x0; x < x1; ++x) out[x] = static_cast<Out>(acc[x] / divisor);
}

template <typename T>
void VerticalTerm(const CRowJob& job, const T* top, const double* col, double* v) {
    const int32_t kh = job.kh, width = job.width;
    const std::ptrdiff_t stride = job.stride;
    for (int32_t x = 0; x < width; ++x) v[x] = 0.0;
    if (job.symmetricColumns) {
        for (int32_t i = 0; i < kh / 2; ++i) {
            const double c = col[i];
            if (c == 0.0) continue;
            const T* a = top + std::ptrdiff_t(i) * stride;
            const T* b = top + std::ptrdiff_t(kh - 1 - i) * stride;
            for (int32_t x = 0; x < width; ++x) v[x] += c * double(int32_t(a[x]) + int32_t(b[x]));
        }
        const double c = col[kh / 2];
        const T* a = top + std::ptrdiff_t(kh / 2) * stride;
        if (kh % 2 == 1 && c != 0.0)
            for (int32_t x = 0; x < width; ++x) v[x] += c * double(a[x]);
    } else {
        for (int32_t i = 0; i < kh; ++i) {
            const double c = col[i];
            if (c == 0.0) continue;
            const T* a = top + std::ptrdiff_t(i) * stride;
            for (int32_t x = 0; x < width; ++x) v[x] += c * double(a[x]);
        }
    }
}

// Pixels processed together: their running sums stay in vector registers
// across the kernel loop instead of going through memory at every step.
constexpr int32_t kChunk = 32;

#if defined(__AVX512F__)
// Sixteen samples zero-extended to 32-bit lanes.
inline __m512i Lanes16(const uint16_t* p) {
    return _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}
inline __m512i Lanes16(const uint8_t* p) {
    return _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// 32 pixels as doubles: a[k] + b[k] summed as integers (exact), or a[k]
// alone when b is null.
template <typename T>
inline void Widen32(const T* a, const T* b, __m512d f[4]) {
    for (int half = 0; half < 2; ++half) {
        __m512i v = Lanes16(a + 16 * half);
        if (b) v = _mm512_add_epi32(v, Lanes16(b + 16 * half));
        f[2 * half] = _mm512_cvtepi32_pd(_mm512_castsi512_si256(v));
        f[2 * half + 1] = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(v, 1));
    }
}

inline void StoreResults(float* out, __m512d v) {
    _mm256_storeu_ps(out, _mm512_cvtpd_ps(v));
}
inline void StoreResults(double* out, __m512d v) {
    _mm512_storeu_pd(out, v);
}
#endif

// Two symmetric vertical factors read the same folded samples (the LoG case).
// Per pixel the additions run in kernel-row order, as in the plain loop.
template <typename T>
void VerticalPair(const CRowJob& job, const T* top, double* v0, double* v1) {
    const int32_t kh = job.kh, width = job.width;
    const std::ptrdiff_t stride = job.stride;
    const double* c0s = job.columns[0];
    const double* c1s = job.columns[1];
    const bool odd = kh % 2 == 1;
    int32_t x = 0;
#if defined(__AVX512F__)
    // Written out with intrinsics: the vectoriser spills the running sums of
    // the generic loop below. Same operations per pixel in the same order.
    for (; x + 32 <= width; x += 32) {
        __m512d s0[4], s1[4], f[4];
        for (int q = 0; q < 4; ++q) s0[q] = s1[q] = _mm512_setzero_pd();
        for (int32_t i = 0; i < kh / 2; ++i) {
            const __m512d c0 = _mm512_set1_pd(c0s[i]), c1 = _mm512_set1_pd(c1s[i]);
            Widen32(top + std::ptrdiff_t(i) * stride + x,
                    top + std::ptrdiff_t(kh - 1 - i) * stride + x, f);
            for (int q = 0; q < 4; ++q) {
                s0[q] = _mm512_add_pd(s0[q], _mm512_mul_pd(c0, f[q]));
                s1[q] = _mm512_add_pd(s1[q], _mm512_mul_pd(c1, f[q]));
            }
        }
        if (odd) {
            const __m512d c0 = _mm512_set1_pd(c0s[kh / 2]), c1 = _mm512_set1_pd(c1s[kh / 2]);
            Widen32(top + std::ptrdiff_t(kh / 2) * stride + x, static_cast<const T*>(nullptr), f);
            for (int q = 0; q < 4; ++q) {
                s0[q] = _mm512_add_pd(s0[q], _mm512_mul_pd(c0, f[q]));
                s1[q] = _mm512_add_pd(s1[q], _mm512_mul_pd(c1, f[q]));
            }
        }
        for (int q = 0; q < 4; ++q) {
            _mm512_storeu_pd(v0 + x + 8 * q, s0[q]);
            _mm512_storeu_pd(v1 + x + 8 * q, s1[q]);
        }
    }
#endif
    for (; x + kChunk <= width; x += kChunk) {
        double s0[kChunk], s1[kChunk];
        for (int32_t k = 0; k < kChunk; ++k) s0[k] = s1[k] = 0.0;
        for (int32_t i = 0; i < kh / 2; ++i) {
            const double c0 = c0s[i], c1 = c1s[i];
            const T* a = top + std::ptrdiff_t(i) * stride + x;
            const T* b = top + std::ptrdiff_t(kh - 1 - i) * stride + x;
            for (int32_t k = 0; k < kChunk; ++k) {
                const double folded = double(int32_t(a[k]) + int32_t(b[k]));
                s0[k] += c0 * folded;
                s1[k] += c1 * folded;
            }
        }
        if (odd) {
            const double c0 = c0s[kh / 2], c1 = c1s[kh / 2];
            const T* a = top + std::ptrdiff_t(kh / 2) * stride + x;
            for (int32_t k = 0; k < kChunk; ++k) {
                s0[k] += c0 * double(a[k]);
                s1[k] += c1 * double(a[k]);
            }
        }
        for (int32_t k = 0; k < kChunk; ++k) {
            v0[x + k] = s0[k];
            v1[x + k] = s1[k];
        }
    }
    for (; x < width; ++x) {
        double s0 = 0.0, s1 = 0.0;
        for (int32_t i = 0; i < kh / 2; ++i) {
            const double folded = double(int32_t(top[std::ptrdiff_t(i) * stride + x]) +
                                         int32_t(top[std::ptrdiff_t(kh - 1 - i) * stride + x]));
            s0 += c0s[i] * folded;
            s1 += c1s[i] * folded;
        }
        if (odd) {
            const double a = double(top[std::ptrdiff_t(kh / 2) * stride + x]);
            s0 += c0s[kh / 2] * a;
            s1 += c1s[kh / 2] * a;
        }
        v0[x] = s0;
        v1[x] = s1;
    }
}

// Both symmetric horizontal factors of a pair in one sweep, chunked like the
// vertical pass; per pixel the same additions in the same order.
template <typename Out>
void HorizontalPair(const CRowJob& job, double* const* vbuf, Out* out) {
    const int32_t kw = job.kw, hw = kw / 2;
    const double* v0 = vbuf[0] - hw;
    const double* v1 = vbuf[1] - hw;
    const double* r0 = job.rows[0];
    const double* r1 = job.rows[1];
    const bool odd = kw % 2 == 1;
    const double divisor = job.divisor;
    const int32_t x0 = hw, x1 = job.width - hw;
    int32_t x = x0;
#if defined(__AVX512F__)
    const __m512d d = _mm512_set1_pd(divisor);
    for (; x + 32 <= x1; x += 32) {
        __m512d s[4];
        for (int q = 0; q < 4; ++q) s[q] = _mm512_setzero_pd();
        for (int32_t j = 0; j < hw; ++j) {
            const __m512d c0 = _mm512_set1_pd(r0[j]), c1 = _mm512_set1_pd(r1[j]);
            const double *a0 = v0 + j + x, *b0 = v0 + (kw - 1 - j) + x;
            const double *a1 = v1 + j + x, *b1 = v1 + (kw - 1 - j) + x;
            for (int q = 0; q < 4; ++q) {
                const __m512d p0 = _mm512_mul_pd(
                    c0, _mm512_add_pd(_mm512_loadu_pd(a0 + 8 * q), _mm512_loadu_pd(b0 + 8 * q)));
                const __m512d p1 = _mm512_mul_pd(
                    c1, _mm512_add_pd(_mm512_loadu_pd(a1 + 8 * q), _mm512_loadu_pd(b1 + 8 * q)));
                s[q] = _mm512_add_pd(s[q], _mm512_add_pd(p0, p1));
            }
        }
        if (odd) {
            const __m512d c0 = _mm512_set1_pd(r0[hw]), c1 = _mm512_set1_pd(r1[hw]);
            for (int q = 0; q < 4; ++q) {
                const __m512d p0 = _mm512_mul_pd(c0, _mm512_loadu_pd(v0 + hw + x + 8 * q));
                const __m512d p1 = _mm512_mul_pd(c1, _mm512_loadu_pd(v1 + hw + x + 8 * q));
                s[q] = _mm512_add_pd(s[q], _mm512_add_pd(p0, p1));
            }
        }
        // Division by 1 is exact and the common case (unscaled LoG kernels).
        for (int q = 0; q < 4; ++q)
            StoreResults(out + x + 8 * q, divisor == 1.0 ? s[q] : _mm512_div_pd(s[q], d));
    }
#endif
    for (; x + kChunk <= x1; x += kChunk) {
        double s[kChunk];
        for (int32_t k = 0; k < kChunk; ++k) s[k] = 0.0;
        for (int32_t j = 0; j < hw; ++j) {
            const double c0 = r0[j], c1 = r1[j];
            const double *a0 = v0 + j + x, *b0 = v0 + (kw - 1 - j) + x;
            const double *a1 = v1 + j + x, *b1 = v1 + (kw - 1 - j) + x;
            for (int32_t k = 0; k < kChunk; ++k)
                s[k] += c0 * (a0[k] + b0[k]) + c1 * (a1[k] + b1[k]);
        }
        if (odd) {
            const double c0 = r0[hw], c1 = r1[hw];
            const double* a0 = v0 + hw + x;
            const double* a1 = v1 + hw + x;
            for (int32_t k = 0; k < kChunk; ++k) s[k] += c0 * a0[k] + c1 * a1[k];
        }
        for (int32_t k = 0; k < kChunk; ++k) out[x + k] = static_cast<Out>(s[k] / divisor);
    }
    for (; x < x1; ++x) {
        double s = 0.0;
        for (int32_t j = 0; j < hw; ++j)
            s += r0[j] * (v0[j + x] + v0[(kw - 1 - j) + x]) +
                 r1[j] * (v1[j + x] + v1[(kw - 1 - j) + x]);
        if (odd) s += r0[hw] * v0[hw + x] + r1[hw] * v1[hw + x];
        out[x] = static_cast<Out>(s / divisor);
    }
}

// One output row as a sum of separable terms: a vertical pass per term over
// the whole row, then the horizontal pass. Symmetric factors fold mirrored
// samples first (an exact sum), halving the multiplications.
template <typename T, typename Out>
void SeparableRowT(const CRowJob& job, int32_t y, double* const* vbuf, double* acc, Out* out) {
    const int32_t hw = job.kw / 2, hh = job.kh / 2, kw = job.kw;
    const T* top = Samples<T>(job, y - hh);
    if (job.termCount == 2 && job.symmetricColumns) {
        VerticalPair(job, top, vbuf[0], vbuf[1]);
    } else {
        for (int t = 0; t < job.termCount; ++t) VerticalTerm(job, top, job.columns[t], vbuf[t]);
    }
    const int32_t x0 = hw, x1 = job.width - hw;
    if (job.termCount == 2 && job.symmetricRows) {
        HorizontalPair(job, vbuf, out);
        return;
    }
    for (int32_t x = x0; x < x1; ++x) acc[x] = 0.0;
    for (int t = 0; t < job.termCount; ++t) {
        const double* v = vbuf[t] - hw;
        const double* row = job.rows[t];
        if (job.symmetricRows) {
            for (int32_t j = 0; j < kw / 2; ++j) {
                const double c = row[j];
                if (c == 0.0) continue;
                const double* a = v + j;
                const double* b = v + (kw - 1 - j);
                for (int32_t x = x0; x < x1; ++x) acc[x] += c * (a[x] + b[x]);
            }
            const double c = row[kw / 2];
            if (kw % 2 == 1 && c != 0.0) {
                const double* a = v + kw / 2;
                for (int32_t x = x0; x < x1; ++x) acc[x] += c * a[x];
            }
        } else {
            for (int32_t j = 0; j < kw; ++j) {
                const double c = row[j];
                if (c == 0.0) continue;
                const double* a = v + j;
                for (int32_t x = x0; x < x1; ++x) acc[x] += c * a[x];
            }
        }
    }
    const double divisor = job.divisor;
    for (int32_t x = x0; x < x1; ++x) out[x] = static_cast<Out>(acc[x] / divisor);
}

template <typename Out>
void RowT(const CRowJob& job, int32_t y, double* const* vbuf, double* acc, Out* out) {
    if (job.termCount > 0) {
        if (job.words)
            SeparableRowT<uint16_t>(job, y, vbuf, acc, out);
        else
            SeparableRowT<uint8_t>(job, y, vbuf, acc, out);
    } else {
        if (job.words)
            DirectRowT<uint16_t>(job, y, acc, out);
        else
            DirectRowT<uint8_t>(job, y, acc, out);
    }
}

void RowFloat(const CRowJob& job, int32_t y, double* const* vbuf, double* acc, float* out) {
    RowT(job, y, vbuf, acc, out);
}
void RowDouble(const CRowJob& job, int32_t y, double* const* vbuf, double* acc, double* out) {
    RowT(job, y, vbuf, acc, out);
}

CRowSums Sums(const float* v, int32_t n) {
    CRowSums out;
    if (n <= 0) return out;
    double lanes[8] = {}, squares[8] = {};
    float lo = v[0], hi = v[0];
    int32_t x = 0;
#if defined(__AVX512F__)
    {
        __m512d sum = _mm512_setzero_pd(), sq = _mm512_setzero_pd();
        for (; x + 8 <= n; x += 8) {
            const __m512d d = _mm512_cvtps_pd(_mm256_loadu_ps(v + x));
            sum = _mm512_add_pd(sum, d);
            sq = _mm512_add_pd(sq, _mm512_mul_pd(d, d));
        }
        _mm512_storeu_pd(lanes, sum);
        _mm512_storeu_pd(squares, sq);
        // Extremes do not depend on the order (the values are finite).
        __m512 l = _mm512_set1_ps(lo), h = l;
        int32_t i = 0;
        for (; i + 16 <= n; i += 16) {
            const __m512 w = _mm512_loadu_ps(v + i);
            l = _mm512_min_ps(l, w);
            h = _mm512_max_ps(h, w);
        }
        lo = _mm512_reduce_min_ps(l);
        hi = _mm512_reduce_max_ps(h);
        for (; i < n; ++i) {
            lo = v[i] < lo ? v[i] : lo;
            hi = v[i] > hi ? v[i] : hi;
        }
    }
#else
    for (; x + 8 <= n; x += 8)
        for (int k = 0; k < 8; ++k) {
            const double d = double(v[x + k]);
            lanes[k] += d;
            squares[k] += d * d;
        }
    for (int32_t i = 0; i < n; ++i) {
        lo = v[i] < lo ? v[i] : lo;
        hi = v[i] > hi ? v[i] : hi;
    }
#endif
    for (; x < n; ++x) {
        const double d = double(v[x]);
        lanes[0] += d;
        squares[0] += d * d;
    }
    out.sum = ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) +
              ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
    out.squares = ((squares[0] + squares[1]) + (squares[2] + squares[3])) +
                  ((squares[4] + squares[5]) + (squares[6] + squares[7]));
    out.min = lo;
    out.max = hi;
    return out;
}

}  // namespace

CRowKernels RowKernels() {
    return {&RowFloat, &RowDouble, &Sums};
}

}  // namespace vistrel::VISTREL_ROW_KERNELS
