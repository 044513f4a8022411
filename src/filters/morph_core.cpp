#include <algorithm>
#include <new>
#include <thread>

#include "filters/morph_core_rows.h"
#include "filters/morphology.h"
#include "filters/parallel_rows.h"

namespace vistrel {

namespace {

bool SameLayout(const CMImageBase& a, const CMImageBase& b) {
    return a.width == b.width && a.height == b.height && a.depth == b.depth &&
           a.bytesPerRow == b.bytesPerRow;
}

// Elements up to this side keep their rows' window extremes in a ring; larger
// ones (far beyond what the dialog offers) recompute them per output row so
// that the buffers stay a few rows.
constexpr int32_t kMaxRingSide = 64;
constexpr std::size_t kMaxRingBytes = std::size_t(32) << 20;

struct CKernelChoice {
    const char* name;
    MorphBandFn band;
};

bool Supported(const std::string& name) {
    if (name == "plain") return true;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (name == "avx2") return __builtin_cpu_supports("avx2");
#endif
    return false;
}

CKernelChoice& KernelChoice() {
    static CKernelChoice choice = [] {
        if (Supported("avx2")) return CKernelChoice{"avx2", morph_avx2::MorphBand};
        return CKernelChoice{"plain", morph_plain::MorphBand};
    }();
    return choice;
}

std::size_t SlotRows(const CMorphPlan& plan) {
    return 1 + plan.lengths.size() + std::size_t(plan.verticals);
}

std::size_t RingRows(const CMorphPlan& plan) {
    return std::size_t(plan.n) * SlotRows(plan);
}

// Grows windows of each wanted length from two or three overlapping copies
// of the longest shorter one at hand, tripling that one first while even
// three copies fall short. emit(in, out, shift, shift2, length) records a
// step from buffer in to buffer out; newBuffer(length) names the buffer of
// an intermediate window; buffers[k] receives wanted[k].
template <typename Emit, typename NewBuffer>
void GrowWindows(int32_t firstBuffer, const std::vector<int32_t>& wanted,
                 const std::vector<int32_t>& buffers, Emit&& emit, NewBuffer&& newBuffer) {
    std::vector<std::pair<int32_t, int32_t>> windows = {{1, firstBuffer}};  // length, buffer
    auto step = [&](std::pair<int32_t, int32_t> from, int32_t length, int32_t out) {
        if (2 * from.first >= length)
            emit(from.second, out, length - from.first, 0, length);
        else
            emit(from.second, out, from.first, length - from.first, length);
        windows.push_back({length, out});
    };
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        const int32_t length = wanted[k];
        if (length == 1) continue;
        auto longestBelow = [&] {
            std::pair<int32_t, int32_t> best{0, 0};
            for (const auto& w : windows)
                if (w.first < length && w.first > best.first) best = w;
            return best;
        };
        for (auto b = longestBelow(); 3 * b.first < length; b = longestBelow())
            step(b, 3 * b.first, newBuffer(3 * b.first));
        step(longestBelow(), length, buffers[k]);
    }
}

CMorphPlan MakePlan(const CMImageBase& image, EMorphOperation operation, const CMorphSE& se,
                    bool pad) {
    CMorphPlan plan;
    plan.width = image.width;
    plan.height = image.height;
    plan.depth = image.depth;
    plan.erode = operation == EMorphOperation::Erosion;
    plan.pad = pad;
    plan.n = se.size;
    plan.c = se.size / 2;
    plan.padWidth = image.width + plan.n - 1;
    plan.stride = (plan.padWidth + 31) / 32 * 32;
    bool unset = false;
    int32_t longest = 0;
    std::vector<bool> seen(std::size_t(plan.n) + 1, false);
    for (int32_t r = 0; r < plan.n; ++r) {
        const uint8_t* cells = se.cells.data() + std::size_t(r) * std::size_t(plan.n);
        for (int32_t col = 0; col < plan.n;) {
            if (!cells[col]) {
                unset = true;
                ++col;
                continue;
            }
            const int32_t start = col;
            while (col < plan.n && cells[col]) ++col;
            CMorphRun run;
            run.row = r;
            run.start = start;
            run.length = col - start;
            plan.runs.push_back(run);
            longest = std::max(longest, run.length);
            if (!seen[std::size_t(run.length)]) plan.lengths.push_back(run.length);
            seen[std::size_t(run.length)] = true;
        }
    }
    std::sort(plan.lengths.begin(), plan.lengths.end());
    for (CMorphRun& run : plan.runs)
        run.slot = int32_t(std::lower_bound(plan.lengths.begin(), plan.lengths.end(), run.length) -
                           plan.lengths.begin());
    plan.levels = longest > 1 ? 31 - __builtin_clz(uint32_t(longest - 1)) : 0;
    // Unset cells contribute the identity of the other operation's border:
    // an erosion never exceeds maxValue once one takes part.
    plan.padValue = plan.erode ? image.maxValue : uint16_t(0);
    plan.init = plan.erode ? (unset ? image.maxValue : uint16_t(0xFFFF)) : uint16_t(0);
    plan.ring = plan.n <= kMaxRingSide;
    if (!plan.ring) return plan;
    // Consecutive element rows with an equal run form one block.
    for (const CMorphRun& run : plan.runs) {
        auto open = std::find_if(plan.blocks.begin(), plan.blocks.end(), [&](const CMorphBlock& b) {
            return b.start == run.start && b.length == run.length && b.top + b.height == run.row;
        });
        if (open != plan.blocks.end()) {
            ++open->height;
        } else {
            CMorphBlock block;
            block.top = run.row;
            block.height = 1;
            block.start = run.start;
            block.length = run.length;
            block.buffer = 1 + run.slot;
            plan.blocks.push_back(block);
        }
    }
    // Per length, the blocks' heights as vertical windows in the ring.
    const int32_t firstVertical = 1 + int32_t(plan.lengths.size());
    for (std::size_t k = 0; k < plan.lengths.size(); ++k) {
        std::vector<int32_t> heights;
        for (const CMorphBlock& b : plan.blocks)
            if (b.length == plan.lengths[k] && b.height > 1 &&
                std::find(heights.begin(), heights.end(), b.height) == heights.end())
                heights.push_back(b.height);
        std::sort(heights.begin(), heights.end());
        std::vector<int32_t> buffers;
        for (std::size_t h = 0; h < heights.size(); ++h)
            buffers.push_back(firstVertical + plan.verticals++);
        const int32_t count = plan.padWidth - plan.lengths[k] + 1;
        GrowWindows(
            1 + int32_t(k), heights, buffers,
            [&](int32_t in, int32_t out, int32_t shift, int32_t shift2, int32_t) {
                plan.vsteps.push_back({out, in, shift, shift2, count});
            },
            [&](int32_t) { return firstVertical + plan.verticals++; });
        for (CMorphBlock& b : plan.blocks)
            if (b.length == plan.lengths[k] && b.height > 1)
                b.buffer = buffers[std::size_t(std::find(heights.begin(), heights.end(), b.height) -
                                               heights.begin())];
    }
    // Each source row's windows of the wanted lengths.
    const int32_t firstTemp = firstVertical + plan.verticals;
    std::vector<int32_t> lengthBuffers;
    for (std::size_t k = 0; k < plan.lengths.size(); ++k) lengthBuffers.push_back(1 + int32_t(k));
    GrowWindows(
        0, plan.lengths, lengthBuffers,
        [&](int32_t in, int32_t out, int32_t shift, int32_t shift2, int32_t length) {
            CMorphStep step;
            step.in = in;
            step.out = out;
            step.shift = shift;
            step.shift2 = shift2;
            step.count = plan.padWidth - length + 1;
            plan.steps.push_back(step);
        },
        [&](int32_t) { return firstTemp + plan.temps++; });
    plan.ring = RingRows(plan) * std::size_t(plan.stride) * sizeof(uint16_t) <= kMaxRingBytes;
    if (!plan.ring) plan.temps = plan.verticals = 0;
    return plan;
}

}  // namespace

void SizeScratch(const CMorphPlan& plan, CMorphScratch& scratch) {
    std::size_t rows = 3 + std::size_t(std::max(plan.levels + 1, plan.temps));
    if (plan.ring) rows += RingRows(plan);
    scratch.buffer.assign(rows * std::size_t(plan.stride), 0);
    scratch.pointers.assign(plan.ring ? RingRows(plan) + plan.runs.size() : 0, nullptr);
    scratch.buffers.assign(plan.ring ? SlotRows(plan) + std::size_t(plan.temps) : 0, nullptr);
}

const char* ActiveMorphKernels() {
    return KernelChoice().name;
}

bool UseMorphKernels(const std::string& name) {
    if (!Supported(name)) return false;
    if (name == "plain") KernelChoice() = {"plain", morph_plain::MorphBand};
    if (name == "avx2") KernelChoice() = {"avx2", morph_avx2::MorphBand};
    return true;
}

std::unique_ptr<CMImage> MorphCore(const CMImage& image, EMorphOperation operation,
                                   const CMorphSE& se, int iterations, const CMImageBase* source,
                                   bool pad, const ProgressFn& progress) {
    if (!image.IsValid() || !IsSupportedDepth(image.depth) || !se.HasCells() || iterations <= 0)
        return nullptr;
    if (se.cells.size() < std::size_t(se.size) * std::size_t(se.size)) return nullptr;
    if (source && (!source->IsValid() || !SameLayout(image, *source))) return nullptr;
    try {
        // The result takes the image's header and offset; its raster is
        // written row by row, so it is not copied first.
        auto result =
            std::make_unique<CMImage>(image.width, image.height, image.depth, image.valueOffset);
        if (!result->IsValid() || result->bytesPerRow != image.bytesPerRow) return nullptr;
        result->maxValue = image.maxValue;
        if (image.dicomHeader) result->dicomHeader = new DicomHeaderBlock(*image.dicomHeader);
        result->dicomAttributes = image.dicomAttributes;

        const CMorphPlan plan = MakePlan(image, operation, se, pad);
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        // Each band re-reads n - 1 rows above and below it: a few large bands.
        const int32_t batch =
            std::max(int32_t(16), int32_t((image.height + cores * 4 - 1) / (cores * 4)));
        const int32_t batches = (image.height + batch - 1) / batch;
        const std::size_t workers = std::min<std::size_t>(cores, std::size_t(batches));
        std::vector<CMorphScratch> scratch(workers);
        for (CMorphScratch& s : scratch) SizeScratch(plan, s);

        // Passes alternate between the result and one snapshot, arranged so
        // that the last pass writes the result; a single pass needs none.
        CMImageBase snapshot;
        if (iterations > 1) {
            if (!snapshot.Create(image.width, image.height, image.depth)) return nullptr;
            snapshot.maxValue = image.maxValue;
        }
        const MorphBandFn band = KernelChoice().band;
        const CMImageBase* input = source ? source : &image;
        for (int it = 0; it < iterations; ++it) {
            CMImageBase& output = (iterations - 1 - it) % 2 == 0 ? *result : snapshot;
            CMorphPass pass;
            pass.src = input->data;
            pass.srcStride = input->bytesPerRow;
            pass.dst = output.data;
            pass.dstStride = output.bytesPerRow;
            auto work = [&](int worker, int32_t first, int32_t last) {
                band(plan, pass, scratch[std::size_t(worker)], first, last);
            };
            ProgressFn share;
            if (progress) share = [&](double f) { return progress((it + f) / iterations); };
            if (!ParallelRows(0, image.height, batch, work, share)) return nullptr;
            input = &output;
        }
        result->InvalidateHistogram();
        return result;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace vistrel
