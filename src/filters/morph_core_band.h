// The body of the erosion/dilation row loops, included once per instruction
// set with VISTREL_MORPH_KERNELS naming the namespace. The loops are plain
// element-wise minima/maxima over uint16_t rows so that the compiler turns
// them into vector instructions. Library templates (std::fill, std::min) are
// avoided here: their out-of-line copies are shared between the translation
// units, and the linker could hand the baseline loops a copy built for a
// wider instruction set.

#include <bit>
#include <cstring>

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

// acc = extreme(acc or init, p[0..k)) for k = 1..4 rows.
template <bool Erode, int K>
void Fold(Sample* __restrict acc, const Sample* const* p, bool first, Sample init, int32_t count) {
    const Sample* __restrict p0 = p[0];
    const Sample* __restrict p1 = p[K > 1 ? 1 : 0];
    const Sample* __restrict p2 = p[K > 2 ? 2 : 0];
    const Sample* __restrict p3 = p[K > 3 ? 3 : 0];
    if (first) {
        for (int32_t i = 0; i < count; ++i) {
            Sample v = Pick<Erode>(init, p0[i]);
            if constexpr (K > 1) v = Pick<Erode>(v, p1[i]);
            if constexpr (K > 2) v = Pick<Erode>(v, p2[i]);
            if constexpr (K > 3) v = Pick<Erode>(v, p3[i]);
            acc[i] = v;
        }
    } else {
        for (int32_t i = 0; i < count; ++i) {
            Sample v = Pick<Erode>(acc[i], p0[i]);
            if constexpr (K > 1) v = Pick<Erode>(v, p1[i]);
            if constexpr (K > 2) v = Pick<Erode>(v, p2[i]);
            if constexpr (K > 3) v = Pick<Erode>(v, p3[i]);
            acc[i] = v;
        }
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
    for (int32_t i = 0; i < k; i += 4, first = false) {
        switch (Lesser(k - i, 4)) {
            case 1:
                Fold<Erode, 1>(acc, p + i, first, init, count);
                break;
            case 2:
                Fold<Erode, 2>(acc, p + i, first, init, count);
                break;
            case 3:
                Fold<Erode, 3>(acc, p + i, first, init, count);
                break;
            default:
                Fold<Erode, 4>(acc, p + i, first, init, count);
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
    Sample* identity;
    Sample* level[16];  // level[l]: windows of 2^l; level[0] is the padded row
    Sample* ring;       // ring path: n slots of (1 + lengths) rows
};

CRows LayOut(const CMorphPlan& plan, CMorphScratch& scratch) {
    CRows rows{};
    Sample* p = scratch.buffer.data();
    const std::size_t s = std::size_t(plan.stride);
    rows.acc = p;
    rows.identity = p + s;
    Fill(rows.identity, rows.identity + s, plan.padValue);
    p += 2 * s;
    for (int l = 0; l <= plan.levels; ++l, p += s) rows.level[l] = p;
    rows.ring = p;
    return rows;
}

// Fills level[0] with source row y and its borders, then the doubling levels
// up to `levels`.
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

// Deep samples are combined straight into the raster row; the others go
// through the working row and are packed.
bool CombinesInPlace(const CMorphPlan& plan) {
    return plan.depth > 8 && std::endian::native == std::endian::little;
}

Sample* Target(const CMorphPlan& plan, const CMorphPass& pass, int32_t y, Sample* acc) {
    if (!CombinesInPlace(plan)) return acc;
    return reinterpret_cast<Sample*>(pass.dst + std::ptrdiff_t(y) * pass.dstStride);
}

// Clears what pad clear leaves out, then packs unless the row was combined
// in place.
void FinishRow(const CMorphPlan& plan, const CMorphPass& pass, int32_t y, Sample* target) {
    if (!plan.pad) {
        const int32_t c = plan.c;
        const int32_t w = plan.width;
        Fill(target, target + Lesser(c, w), Sample(0));
        Fill(target + Greater(0, w - c), target + w, Sample(0));
    }
    if (CombinesInPlace(plan)) return;
    const uint8_t* tail = pass.src + std::ptrdiff_t(y) * pass.srcStride;
    Pack(target, plan.depth, plan.width, tail, pass.dst + std::ptrdiff_t(y) * pass.dstStride);
}

// The rows the next step reads and writes, asked for ahead: a row spans
// pages, where the hardware's stream detection starts afresh.
void Prefetch(const CMorphPlan& plan, const CMorphPass& pass, int32_t srcRow, int32_t dstRow) {
    if (srcRow >= 0 && srcRow < plan.height) {
        const uint8_t* p = pass.src + std::ptrdiff_t(srcRow) * pass.srcStride;
        for (int32_t i = 0; i < pass.srcStride; i += 64) __builtin_prefetch(p + i, 0);
    }
    if (dstRow >= 0 && dstRow < plan.height) {
        const uint8_t* p = pass.dst + std::ptrdiff_t(dstRow) * pass.dstStride;
        for (int32_t i = 0; i < pass.dstStride; i += 64) __builtin_prefetch(p + i, 1);
    }
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
    const std::size_t slotRows = std::size_t(1 + d);
    // Per slot and length: the row of window extremes, or the identity row
    // for a source row outside the image.
    std::vector<const Sample*>& table = scratch.pointers;
    const Sample** runRows = table.data() + std::size_t(n) * slotRows;
    const int32_t base = first - c;
    const int32_t end = last + (n - 1 - c);
    for (int32_t sy = base; sy < end; ++sy) {
        const int32_t slot = (sy - base) % n;
        Sample* slotBase = rows.ring + std::size_t(slot) * slotRows * s;
        const Sample** slotTable = table.data() + std::size_t(slot) * slotRows;
        Prefetch(plan, pass, sy + 1, sy + 1 - (n - 1 - c));
        if (sy < 0 || sy >= plan.height) {
            for (std::size_t k = 0; k < slotRows; ++k) slotTable[k] = rows.identity;
        } else {
            Sample* padded = slotBase;
            LoadRow<Erode>(plan, pass, sy, padded, rows.level, plan.levels);
            slotTable[0] = padded;
            for (int32_t k = 0; k < d; ++k) {
                const int32_t length = plan.lengths[std::size_t(k)];
                if (length == 1) {
                    slotTable[1 + k] = padded;
                    continue;
                }
                const int level = LevelFor(length);
                const Sample* m = level == 0 ? padded : rows.level[level];
                Sample* out = slotBase + std::size_t(1 + k) * s;
                const int32_t span = int32_t(1) << level;
                Pair<Erode>(out, m, m + (length - span), plan.padWidth - length + 1);
                slotTable[1 + k] = out;
            }
        }
        const int32_t y = sy - (n - 1 - c);
        if (y < first) continue;
        Sample* target = Target(plan, pass, y, rows.acc);
        if (!RowFits(plan, y)) {
            Fill(target, target + plan.width, Sample(0));
        } else {
            for (std::size_t i = 0; i < plan.runs.size(); ++i) {
                const CMorphRun& run = plan.runs[i];
                const int32_t rowSlot = (y + run.row - c - base) % n;
                runRows[i] =
                    table[std::size_t(rowSlot) * slotRows + 1 + std::size_t(run.slot)] + run.start;
            }
            Combine<Erode>(target, runRows, int32_t(plan.runs.size()), plan.init, plan.width);
        }
        FinishRow(plan, pass, y, target);
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
        Sample* acc = Target(plan, pass, y, rows.acc);
        if (!RowFits(plan, y)) {
            Fill(acc, acc + plan.width, Sample(0));
            FinishRow(plan, pass, y, acc);
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
        FinishRow(plan, pass, y, acc);
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
}

}  // namespace VISTREL_MORPH_KERNELS
}  // namespace vistrel
