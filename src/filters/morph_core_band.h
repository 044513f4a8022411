// The body of the erosion/dilation row loops, included once per instruction
// set with VISTREL_MORPH_KERNELS naming the namespace. The loops are plain
// element-wise minima/maxima over uint16_t rows so that the compiler turns
// them into vector instructions. Library templates (std::fill, std::min) are
// avoided here: their out-of-line copies are shared between the translation
// units, and the linker could hand the baseline loops a copy built for a
// wider instruction set.

#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "filters/morph_core_rows.h"

#ifndef VISTREL_MORPH_KERNELS
#error "VISTREL_MORPH_KERNELS names the namespace of these loops"
#endif

namespace vistrel {
namespace VISTREL_MORPH_KERNELS {

namespace {

using Sample = uint16_t;

inline int32_t Lesser(int32_t a, int32_t b) {
    return a < b ? a : b;
}
inline int32_t Greater(int32_t a, int32_t b) {
    return a > b ? a : b;
}
void Fill(Sample* first, Sample* last, Sample value) {
    for (; first < last; ++first) *first = value;
}

template <bool Erode>
inline Sample Pick(Sample a, Sample b) {
    if constexpr (Erode)
        return a < b ? a : b;
    else
        return a > b ? a : b;
}

template <bool Erode>
void Pair(Sample* __restrict dst, const Sample* __restrict a, const Sample* __restrict b,
          int32_t count) {
    for (int32_t i = 0; i < count; ++i) dst[i] = Pick<Erode>(a[i], b[i]);
}

template <bool Erode>
void Triple(Sample* __restrict dst, const Sample* __restrict a, const Sample* __restrict b,
            const Sample* __restrict c, int32_t count) {
    for (int32_t i = 0; i < count; ++i) dst[i] = Pick<Erode>(Pick<Erode>(a[i], b[i]), c[i]);
}

// acc = extreme(acc or init, p[0..K)) for K = 1..8 rows: one pass over the
// output for up to eight of the element's runs.
template <bool Erode, int K>
void Fold(Sample* __restrict acc, const Sample* const* p, bool first, Sample init, int32_t count) {
    const Sample* __restrict q[8];
    for (int k = 0; k < 8; ++k) q[k] = p[k < K ? k : 0];
    const Sample* __restrict p0 = q[0];
    const Sample* __restrict p1 = q[1];
    const Sample* __restrict p2 = q[2];
    const Sample* __restrict p3 = q[3];
    const Sample* __restrict p4 = q[4];
    const Sample* __restrict p5 = q[5];
    const Sample* __restrict p6 = q[6];
    const Sample* __restrict p7 = q[7];
    auto rest = [&](Sample v, int32_t i) {
        if constexpr (K > 1) v = Pick<Erode>(v, p1[i]);
        if constexpr (K > 2) v = Pick<Erode>(v, p2[i]);
        if constexpr (K > 3) v = Pick<Erode>(v, p3[i]);
        if constexpr (K > 4) v = Pick<Erode>(v, p4[i]);
        if constexpr (K > 5) v = Pick<Erode>(v, p5[i]);
        if constexpr (K > 6) v = Pick<Erode>(v, p6[i]);
        if constexpr (K > 7) v = Pick<Erode>(v, p7[i]);
        return v;
    };
    if (first) {
        for (int32_t i = 0; i < count; ++i) acc[i] = rest(Pick<Erode>(init, p0[i]), i);
    } else {
        for (int32_t i = 0; i < count; ++i) acc[i] = rest(Pick<Erode>(acc[i], p0[i]), i);
    }
}

// acc[0..count) = extreme of init and the rows p[0..k).
template <bool Erode>
void Combine(Sample* acc, const Sample* const* p, int32_t k, Sample init, int32_t count) {
    if (k == 0) {
        Fill(acc, acc + count, init);
        return;
    }
    bool first = true;
    for (int32_t i = 0; i < k; i += 8, first = false) {
        switch (Lesser(k - i, 8)) {
            case 1:
                Fold<Erode, 1>(acc, p + i, first, init, count);
                break;
            case 2:
                Fold<Erode, 2>(acc, p + i, first, init, count);
                break;
            case 3:
                Fold<Erode, 3>(acc, p + i, first, init, count);
                break;
            case 4:
                Fold<Erode, 4>(acc, p + i, first, init, count);
                break;
            case 5:
                Fold<Erode, 5>(acc, p + i, first, init, count);
                break;
            case 6:
                Fold<Erode, 6>(acc, p + i, first, init, count);
                break;
            case 7:
                Fold<Erode, 7>(acc, p + i, first, init, count);
                break;
            default:
                Fold<Erode, 8>(acc, p + i, first, init, count);
                break;
        }
    }
}

// Source row y into out[0..width) as uint16_t samples.
void Unpack(const uint8_t* __restrict row, int depth, int32_t width, Sample* __restrict out) {
    if (depth > 8) {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, row, std::size_t(width) * 2);
        } else {
            for (int32_t x = 0; x < width; ++x) out[x] = Sample(row[2 * x] | (row[2 * x + 1] << 8));
        }
    } else if (depth == 8) {
        for (int32_t x = 0; x < width; ++x) out[x] = row[x];
    } else if (depth == 4) {
        const int32_t pairs = width / 2;
        for (int32_t i = 0; i < pairs; ++i) {
            out[2 * i] = Sample(row[i] >> 4);
            out[2 * i + 1] = Sample(row[i] & 0x0F);
        }
        if (width & 1) out[width - 1] = Sample(row[pairs] >> 4);
    } else {
        for (int32_t x = 0; x < width; ++x) out[x] = Sample((row[x >> 3] >> (7 - (x & 7))) & 1);
    }
}

// in[0..width) into a raster row; samples keep their low bits as the pixel
// writer does, and the unused bits of a packed row's last byte are taken
// from tail (the source row), so the raster matches a pixel-by-pixel copy.
void Pack(const Sample* __restrict in, int depth, int32_t width, const uint8_t* tail,
          uint8_t* __restrict row) {
    if (depth > 8) {
        if constexpr (std::endian::native == std::endian::little) {
            Sample* out = reinterpret_cast<Sample*>(row);
            for (int32_t x = 0; x < width; ++x) out[x] = in[x];
        } else {
            for (int32_t x = 0; x < width; ++x) {
                row[2 * x] = uint8_t(in[x] & 0xFF);
                row[2 * x + 1] = uint8_t(in[x] >> 8);
            }
        }
    } else if (depth == 8) {
        for (int32_t x = 0; x < width; ++x) row[x] = uint8_t(in[x]);
    } else if (depth == 4) {
        const int32_t pairs = width / 2;
        for (int32_t i = 0; i < pairs; ++i)
            row[i] = uint8_t(((in[2 * i] & 0x0F) << 4) | (in[2 * i + 1] & 0x0F));
        if (width & 1) row[pairs] = uint8_t(((in[width - 1] & 0x0F) << 4) | (tail[pairs] & 0x0F));
    } else {
        const int32_t bytes = width / 8;
        for (int32_t i = 0; i < bytes; ++i) {
            const Sample* s = in + 8 * i;
            row[i] = uint8_t(((s[0] & 1) << 7) | ((s[1] & 1) << 6) | ((s[2] & 1) << 5) |
                             ((s[3] & 1) << 4) | ((s[4] & 1) << 3) | ((s[5] & 1) << 2) |
                             ((s[6] & 1) << 1) | (s[7] & 1));
        }
        if (const int32_t rest = width & 7) {
            uint8_t b = tail[bytes];
            for (int32_t k = 0; k < rest; ++k) {
                const uint8_t bit = uint8_t(0x80 >> k);
                b = (in[8 * bytes + k] & 1) ? uint8_t(b | bit) : uint8_t(b & ~bit);
            }
            row[bytes] = b;
        }
    }
}

// The working rows of a worker's buffer, laid out as SizeScratch sized it.
struct CRows {
    Sample* acc;
    uint8_t* packed;  // a raster row of depth 1, 4 or 8
    Sample* identity;
    // Without a ring level[l] holds windows of 2^l, level[0] the padded row;
    // with one they are the intermediate windows.
    Sample* level[64];
    Sample* ring;  // ring path: n slots of (1 + lengths) rows
};

CRows LayOut(const CMorphPlan& plan, CMorphScratch& scratch) {
    CRows rows{};
    Sample* p = scratch.buffer.data();
    const std::size_t s = std::size_t(plan.stride);
    rows.acc = p;
    rows.identity = p + s;
    rows.packed = reinterpret_cast<uint8_t*>(p + 2 * s);
    Fill(rows.identity, rows.identity + s, plan.padValue);
    p += 3 * s;
    for (int l = 0; l < Greater(plan.levels + 1, plan.temps); ++l, p += s) rows.level[l] = p;
    rows.ring = p;
    return rows;
}

// Fills padded with source row y and its borders, then level[1..levels]
// with the doubling windows 2, 4, .. 2^levels.
template <bool Erode>
void LoadRow(const CMorphPlan& plan, const CMorphPass& pass, int32_t y, Sample* padded,
             Sample* const* level, int levels) {
    const int32_t left = plan.c;
    Fill(padded, padded + left, plan.padValue);
    Unpack(pass.src + std::ptrdiff_t(y) * pass.srcStride, plan.depth, plan.width, padded + left);
    Fill(padded + left + plan.width, padded + plan.padWidth, plan.padValue);
    const Sample* prev = padded;
    for (int l = 1; l <= levels; ++l) {
        const int32_t half = int32_t(1) << (l - 1);
        Pair<Erode>(level[l], prev, prev + half, plan.padWidth - 2 * half + 1);
        prev = level[l];
    }
}

// The doubling level whose two windows cover a run of length L >= 2.
inline int LevelFor(int32_t length) {
    return 31 - __builtin_clz(uint32_t(length - 1));
}

// A finished raster row leaves with streaming stores: nothing reads it
// again in this pass, and sparing the cache the write-allocate of each line
// roughly halves the memory traffic of a pass.
void StoreRow(uint8_t* __restrict dst, const uint8_t* __restrict src, int32_t bytes) {
#if defined(__AVX2__)
    int32_t i = 0;
    while (i < bytes && (reinterpret_cast<uintptr_t>(dst + i) & 31)) dst[i] = src[i], ++i;
    for (; i + 32 <= bytes; i += 32)
        _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)));
    for (; i < bytes; ++i) dst[i] = src[i];
#elif defined(__SSE2__)
    int32_t i = 0;
    while (i < bytes && (reinterpret_cast<uintptr_t>(dst + i) & 15)) dst[i] = src[i], ++i;
    for (; i + 16 <= bytes; i += 16)
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
    for (; i < bytes; ++i) dst[i] = src[i];
#else
    std::memcpy(dst, src, std::size_t(bytes));
#endif
}

// Streaming stores are weakly ordered: they are fenced before the band is
// reported done.
void FenceStores() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

// With AVX2, deep samples and pad set, the last pass over an output row
// folds its rows and streams the result straight into the raster.
bool CombinesIntoRaster(const CMorphPlan& plan) {
#if defined(__AVX2__)
    return plan.pad && plan.depth > 8 && std::endian::native == std::endian::little;
#else
    (void)plan;
    return false;
#endif
}

#if defined(__AVX2__)
template <bool Erode, int K>
void FoldAndStoreK(Sample* __restrict dst, const Sample* const* p, Sample init, int32_t count) {
    auto pick = [](__m256i a, __m256i b) {
        if constexpr (Erode)
            return _mm256_min_epu16(a, b);
        else
            return _mm256_max_epu16(a, b);
    };
    int32_t i = 0;
    auto scalar = [&](int32_t at) {
        Sample v = init;
        for (int k = 0; k < K; ++k) v = Pick<Erode>(v, p[k][at]);
        dst[at] = v;
    };
    for (; i < count && (reinterpret_cast<uintptr_t>(dst + i) & 31); ++i) scalar(i);
    const __m256i start = _mm256_set1_epi16(short(init));
    for (; i + 16 <= count; i += 16) {
        __m256i v = start;
        for (int k = 0; k < K; ++k)
            v = pick(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p[k] + i)));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i), v);
    }
    for (; i < count; ++i) scalar(i);
}
#endif

// dst = extreme of init and the rows p[0..k) for 1 <= k <= 8.
template <bool Erode>
void FoldAndStore([[maybe_unused]] uint8_t* dst, [[maybe_unused]] const Sample* const* p,
                  [[maybe_unused]] int32_t k, [[maybe_unused]] Sample init,
                  [[maybe_unused]] int32_t count) {
#if defined(__AVX2__)
    Sample* out = reinterpret_cast<Sample*>(dst);
    switch (k) {
        case 1:
            FoldAndStoreK<Erode, 1>(out, p, init, count);
            break;
        case 2:
            FoldAndStoreK<Erode, 2>(out, p, init, count);
            break;
        case 3:
            FoldAndStoreK<Erode, 3>(out, p, init, count);
            break;
        case 4:
            FoldAndStoreK<Erode, 4>(out, p, init, count);
            break;
        case 5:
            FoldAndStoreK<Erode, 5>(out, p, init, count);
            break;
        case 6:
            FoldAndStoreK<Erode, 6>(out, p, init, count);
            break;
        case 7:
            FoldAndStoreK<Erode, 7>(out, p, init, count);
            break;
        default:
            FoldAndStoreK<Erode, 8>(out, p, init, count);
            break;
    }
#endif
}

// Clears what pad clear leaves out, packs the row and stores it.
void FinishRow(const CMorphPlan& plan, const CMorphPass& pass, int32_t y, Sample* acc,
               uint8_t* packed) {
    if (!plan.pad) {
        const int32_t c = plan.c;
        const int32_t w = plan.width;
        Fill(acc, acc + Lesser(c, w), Sample(0));
        Fill(acc + Greater(0, w - c), acc + w, Sample(0));
    }
    const uint8_t* tail = pass.src + std::ptrdiff_t(y) * pass.srcStride;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(acc);
    if (plan.depth <= 8 || std::endian::native != std::endian::little) {
        Pack(acc, plan.depth, plan.width, tail, packed);
        bytes = packed;
    }
    StoreRow(pass.dst + std::ptrdiff_t(y) * pass.dstStride, bytes, pass.dstStride);
}

bool RowFits(const CMorphPlan& plan, int32_t y) {
    return plan.pad || (y - plan.c >= 0 && y + plan.c < plan.height);
}

template <bool Erode>
void BandFromRing(const CMorphPlan& plan, const CMorphPass& pass, CMorphScratch& scratch,
                  int32_t first, int32_t last) {
    CRows rows = LayOut(plan, scratch);
    const int32_t n = plan.n;
    const int32_t c = plan.c;
    const int32_t d = int32_t(plan.lengths.size());
    const std::size_t s = std::size_t(plan.stride);
    const std::size_t slotRows = std::size_t(1 + d + plan.verticals);
    // Per slot: the rows of window extremes (the identity row for the
    // horizontal ones of a source row outside the image), then the vertical
    // windows ending at that row.
    const Sample** table = scratch.pointers.data();
    const Sample** blockRows = table + std::size_t(n) * slotRows;
    // This row's windows: the padded row, the ring's rows, the intermediates.
    Sample** buffers = scratch.buffers.data();
    const int32_t firstTemp = 1 + d + plan.verticals;
    for (int32_t t = 0; t < plan.temps; ++t) buffers[firstTemp + t] = rows.level[t];
    const int32_t base = first - c;
    const int32_t end = last + (n - 1 - c);
    auto slotOf = [&](int32_t sy) { return std::size_t((sy - base) % n); };
    for (int32_t sy = base; sy < end; ++sy) {
        const std::size_t slot = slotOf(sy);
        Sample* slotBase = rows.ring + slot * slotRows * s;
        const Sample** slotTable = table + slot * slotRows;
        if (sy < 0 || sy >= plan.height) {
            for (int32_t k = 0; k < 1 + d; ++k) slotTable[k] = rows.identity;
        } else {
            Sample* padded = slotBase;
            LoadRow<Erode>(plan, pass, sy, padded, rows.level, 0);
            buffers[0] = padded;
            for (int32_t k = 0; k < d; ++k) buffers[1 + k] = slotBase + std::size_t(1 + k) * s;
            for (const CMorphStep& step : plan.steps) {
                const Sample* in = buffers[step.in];
                if (step.shift2 > 0)
                    Triple<Erode>(buffers[step.out], in, in + step.shift, in + step.shift2,
                                  step.count);
                else
                    Pair<Erode>(buffers[step.out], in, in + step.shift, step.count);
            }
            slotTable[0] = padded;
            for (int32_t k = 0; k < d; ++k)
                slotTable[1 + k] = plan.lengths[std::size_t(k)] == 1 ? padded : buffers[1 + k];
        }
        for (int32_t v = 0; v < plan.verticals; ++v)
            slotTable[1 + d + v] = slotBase + std::size_t(1 + d + v) * s;
        // Rows above the band are never part of an output row's windows.
        auto earlier = [&](int32_t back, int32_t index) -> const Sample* {
            return sy - back < base ? rows.identity : table[slotOf(sy - back) * slotRows + index];
        };
        for (const CMorphVStep& step : plan.vsteps) {
            Sample* out = slotBase + std::size_t(step.out) * s;
            const Sample* now = slotTable[step.in];
            if (step.back2 > 0)
                Triple<Erode>(out, now, earlier(step.back, step.in), earlier(step.back2, step.in),
                              step.count);
            else
                Pair<Erode>(out, now, earlier(step.back, step.in), step.count);
        }
        const int32_t y = sy - (n - 1 - c);
        if (y < first) continue;
        Sample* target = rows.acc;
        if (!RowFits(plan, y)) {
            Fill(target, target + plan.width, Sample(0));
        } else {
            for (std::size_t i = 0; i < plan.blocks.size(); ++i) {
                const CMorphBlock& block = plan.blocks[i];
                const int32_t bottom = y + block.top + block.height - 1 - c;
                blockRows[i] =
                    table[slotOf(bottom) * slotRows + std::size_t(block.buffer)] + block.start;
            }
            const int32_t k = int32_t(plan.blocks.size());
            if (CombinesIntoRaster(plan) && k > 0) {
                // The last (up to eight) rows are folded as the row is stored.
                const Sample** rest = blockRows;
                int32_t left = k;
                if (k > 8) {
                    Combine<Erode>(target, blockRows, k - 7, plan.init, plan.width);
                    blockRows[k - 8] = target;
                    rest = blockRows + (k - 8);
                    left = 8;
                }
                FoldAndStore<Erode>(pass.dst + std::ptrdiff_t(y) * pass.dstStride, rest, left,
                                    plan.init, plan.width);
                continue;
            }
            Combine<Erode>(target, blockRows, k, plan.init, plan.width);
        }
        FinishRow(plan, pass, y, target, rows.packed);
    }
}

// For elements too large for a ring: every output row reloads the source
// rows its element rows touch.
template <bool Erode>
void BandDirect(const CMorphPlan& plan, const CMorphPass& pass, CMorphScratch& scratch,
                int32_t first, int32_t last) {
    CRows rows = LayOut(plan, scratch);
    const int32_t c = plan.c;
    const Sample* pair[2];
    for (int32_t y = first; y < last; ++y) {
        Sample* acc = rows.acc;
        if (!RowFits(plan, y)) {
            Fill(acc, acc + plan.width, Sample(0));
            FinishRow(plan, pass, y, acc, rows.packed);
            continue;
        }
        Fill(acc, acc + plan.width, plan.init);
        std::size_t i = 0;
        while (i < plan.runs.size()) {
            const int32_t row = plan.runs[i].row;
            std::size_t j = i;
            int32_t longest = 0;
            while (j < plan.runs.size() && plan.runs[j].row == row)
                longest = Greater(longest, plan.runs[j++].length);
            const int32_t sy = y + row - c;
            if (sy < 0 || sy >= plan.height) {
                pair[0] = rows.identity;
                Fold<Erode, 1>(acc, pair, false, 0, plan.width);
            } else {
                const int levels = longest > 1 ? LevelFor(longest) : 0;
                LoadRow<Erode>(plan, pass, sy, rows.level[0], rows.level, levels);
                for (; i < j; ++i) {
                    const CMorphRun& run = plan.runs[i];
                    if (run.length == 1) {
                        pair[0] = rows.level[0] + run.start;
                        Fold<Erode, 1>(acc, pair, false, 0, plan.width);
                    } else {
                        const int level = LevelFor(run.length);
                        const Sample* m = rows.level[level] + run.start;
                        pair[0] = m;
                        pair[1] = m + (run.length - (int32_t(1) << level));
                        Fold<Erode, 2>(acc, pair, false, 0, plan.width);
                    }
                }
            }
            i = j;
        }
        FinishRow(plan, pass, y, acc, rows.packed);
    }
}

}  // namespace

void MorphBand(const CMorphPlan& plan, const CMorphPass& pass, CMorphScratch& scratch,
               int32_t first, int32_t last) {
    if (plan.ring) {
        if (plan.erode)
            BandFromRing<true>(plan, pass, scratch, first, last);
        else
            BandFromRing<false>(plan, pass, scratch, first, last);
    } else {
        if (plan.erode)
            BandDirect<true>(plan, pass, scratch, first, last);
        else
            BandDirect<false>(plan, pass, scratch, first, last);
    }
    FenceStores();
}

}  // namespace VISTREL_MORPH_KERNELS
}  // namespace vistrel
