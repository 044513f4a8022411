#pragma once
// The row loops of the erosion/dilation core. A flat element is split into
// runs of set cells along its rows; the minimum (maximum) over a run is a
// sliding-window extreme of one source row, built from two or three
// overlapping shorter windows (min(m_k(x), m_k(x + L - k)) for k >= L/2). Each
// source row's window extremes are computed once per distinct run length and
// kept in a ring of n rows, with vertical windows over them where
// consecutive element rows share a run; an output row is the extreme of
// those rows taken from the ring. The loops are compiled once per instruction set.

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

struct CMorphRun {
    int32_t row = 0;     // element row
    int32_t start = 0;   // first column of the run
    int32_t length = 0;  // cells in the run
    int32_t slot = 0;    // index of length in CMorphPlan::lengths
};

// One window row from a shorter one: out[j] = extreme(in[j], in[j + shift],
// and in[j + shift2] when shift2 > 0). Buffer 0 is the padded source row,
// 1 + k the row for lengths[k] (kept in the ring), from 1 + lengths.size()
// on the intermediate windows.
struct CMorphStep {
    int32_t out = 0;
    int32_t in = 0;
    int32_t shift = 0;
    int32_t shift2 = 0;
    int32_t count = 0;  // samples computed
};

// Runs of equal start and length in consecutive element rows: their
// extreme is one vertical window over the ring, ending at the block's last
// row. buffer is the slot row holding it (1 + k for a block one row high).
struct CMorphBlock {
    int32_t top = 0;
    int32_t height = 0;
    int32_t start = 0;
    int32_t length = 0;
    int32_t buffer = 0;
};

// A vertical window row of a slot: out = extreme(in of this source row, in
// of the row `back` rows earlier, and of the row back2 earlier when > 0).
struct CMorphVStep {
    int32_t out = 0;
    int32_t in = 0;
    int32_t back = 0;
    int32_t back2 = 0;
    int32_t count = 0;
};

// Everything a pass needs to know about the element and the raster.
struct CMorphPlan {
    int32_t width = 0;
    int32_t height = 0;
    int depth = 0;
    bool erode = true;
    bool pad = true;
    uint16_t padValue = 0;  // outside positions: maxValue (erosion) or 0
    uint16_t init = 0;      // accumulator start; maxValue when unset cells take part
    int32_t n = 0;
    int32_t c = 0;
    int32_t padWidth = 0;             // width + n - 1 samples, the row with its borders
    int32_t stride = 0;               // samples per working row (padWidth rounded up)
    int32_t levels = 0;               // doubling steps: windows 2, 4, .. 2^levels
    bool ring = true;                 // false: recompute every source row per output row
    std::vector<int32_t> lengths;     // distinct run lengths, ascending
    std::vector<CMorphRun> runs;      // by element row, then column
    std::vector<CMorphStep> steps;    // ring path: each source row's windows, in order
    int32_t temps = 0;                // intermediate windows the steps use
    std::vector<CMorphBlock> blocks;  // ring path: what an output row combines
    std::vector<CMorphVStep> vsteps;  // ring path: vertical windows, in order
    int32_t verticals = 0;            // slot rows after the lengths' rows
};

// One pass: read src, write dst (both rasters of the plan's layout).
struct CMorphPass {
    const uint8_t* src = nullptr;
    int32_t srcStride = 0;
    uint8_t* dst = nullptr;
    int32_t dstStride = 0;
};

// A worker's row buffers, sized by SizeScratch; reused for all its bands.
struct CMorphScratch {
    std::vector<uint16_t> buffer;
    std::vector<const uint16_t*> pointers;
    std::vector<uint16_t*> buffers;
};

// Samples the worker needs (throws std::bad_alloc when they cannot be had).
void SizeScratch(const CMorphPlan& plan, CMorphScratch& scratch);

using MorphBandFn = void (*)(const CMorphPlan&, const CMorphPass&, CMorphScratch&, int32_t first,
                             int32_t last);

namespace morph_plain {
void MorphBand(const CMorphPlan& plan, const CMorphPass& pass, CMorphScratch& scratch,
               int32_t first, int32_t last);
}
namespace morph_avx2 {
void MorphBand(const CMorphPlan& plan, const CMorphPass& pass, CMorphScratch& scratch,
               int32_t first, int32_t last);
}

// The row loops in use, "avx2" or "plain" (the widest the processor runs
// unless chosen). UseMorphKernels picks one for comparisons; false when the
// processor cannot run it.
const char* ActiveMorphKernels();
bool UseMorphKernels(const std::string& name);

}  // namespace vistrel
