#include "regions/texture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>

#include "filters/parallel_rows.h"
#include "regions/texture_detail.h"

namespace vistrel {

namespace {

// Levels above this are refused by Init: the sum and difference
// distributions alone would need tens of megabytes.
constexpr int32_t kMaxGlcmLevels = int32_t{1} << 20;
// Below this many pixels the four directions run on the calling thread:
// starting threads would cost more than the work (region rings are ~20 x 20).
constexpr int64_t kParallelPixels = int64_t{1} << 15;
// Rows of the sparse form this short are sorted in place by insertion.
constexpr size_t kShortRow = 24;

double Log2(double x) {
    return std::log(x) / std::log(2.0);
}

// The clipped rectangle's samples as offsets from its lowest value.
struct Area {
    int32_t width = 0;
    int32_t height = 0;
    int32_t lo = 0;
    int32_t hi = 0;
    std::vector<uint16_t> values;  // row-major, value - lo
};

// Samples are read unsigned: a 16-bit image stores up to 65,535.
bool ReadArea(const CMImage& image, CRect rect, Area& area) {
    if (!image.IsValid() || !IsSupportedDepth(image.depth)) return false;
    if (image.ClipRect(rect) != 0) return false;
    area.width = rect.Width();
    area.height = rect.Height();
    area.values.resize(static_cast<size_t>(area.width) * static_cast<size_t>(area.height));
    uint16_t* out = area.values.data();
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        if (image.depth > 8) {
            const uint16_t* row = image.Row16(y);
            out = std::copy(row + rect.left, row + rect.right, out);
        } else if (image.depth == 8) {
            const uint8_t* row = image.Row(y);
            out = std::copy(row + rect.left, row + rect.right, out);
        } else {
            for (int32_t x = rect.left; x < rect.right; ++x)
                *out++ = static_cast<uint16_t>(
                    CMImageBase::GetPixelIn(image.data, image.bytesPerRow, image.depth, x, y));
        }
    }
    const auto [mn, mx] = std::minmax_element(area.values.begin(), area.values.end());
    area.lo = *mn;
    area.hi = *mx;
    const uint16_t lo = *mn;
    for (uint16_t& v : area.values) v = static_cast<uint16_t>(v - lo);
    return true;
}

// The pixels (x, y) of the area whose second neighbour (x + dx, y + dy) is
// inside it: x in [x0, x1), y in [y0, y1). Empty when the distance exceeds
// the area.
struct PairRange {
    int32_t dx = 0, dy = 0;
    int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool Empty() const { return x1 <= x0 || y1 <= y0; }
    int64_t Count() const { return Empty() ? 0 : int64_t{x1 - x0} * (y1 - y0); }
};

PairRange RangeFor(const Area& area, int32_t angle, int32_t distance) {
    // A negative distance swaps the two neighbours of the table, which
    // counts the same pairs.
    const int64_t d = std::min<int64_t>(std::llabs(int64_t{distance}),
                                        int64_t{std::max(area.width, area.height)});
    int64_t dx = 0, dy = 0;
    switch (angle) {
        case 0:
            dx = d;
            break;
        case 45:
            dx = d;
            dy = -d;
            break;
        case 90:
            dy = d;
            break;
        default:
            dx = d;
            dy = d;
            break;
    }
    PairRange r;
    r.dx = static_cast<int32_t>(dx);
    r.dy = static_cast<int32_t>(dy);
    r.x0 = static_cast<int32_t>(std::max<int64_t>(0, -dx));
    r.x1 = static_cast<int32_t>(std::min<int64_t>(area.width, area.width - dx));
    r.y0 = static_cast<int32_t>(std::max<int64_t>(0, -dy));
    r.y1 = static_cast<int32_t>(std::min<int64_t>(area.height, area.height - dy));
    return r;
}

// Calls f(a, b) for every pixel value a and its second neighbour's value b.
template <typename F>
void ForEachPair(const Area& area, const PairRange& r, F&& f) {
    if (r.Empty()) return;
    const uint16_t* v = area.values.data();
    const size_t w = static_cast<size_t>(area.width);
    for (int32_t y = r.y0; y < r.y1; ++y) {
        const uint16_t* a = v + static_cast<size_t>(y) * w;
        const uint16_t* b = v + static_cast<size_t>(y + r.dy) * w + r.dx;
        for (int32_t x = r.x0; x < r.x1; ++x) f(a[x], b[x]);
    }
}

}  // namespace

namespace detail {

struct GlcmBuilder {
    static bool IsSparse(const CGLCM& m) { return m.useSparse_; }

    // A small area's pairs are few next to its levels' range: two counting
    // passes over them give the row-major entries without any sort.
    static bool SmallPairs(const PairRange& r, size_t n) {
        return r.Count() < kParallelPixels && n <= size_t(4 * r.Count() + 4096);
    }

    // The features of the four directions of a small area straight from
    // its entries, with no matrix kept and nothing allocated once the
    // thread's scratch has grown. False when an area is not small.
    static bool SmallFeatures(const Area& area, int32_t distance, std::array<CGLCM, 4>& out);

    struct Pair {
        uint16_t a, b;
    };
    struct SmallScratch {
        std::vector<uint32_t> start;
        std::vector<Pair> byColumn, byRow;
    };
    static SmallScratch& Scratch() {
        thread_local SmallScratch s;
        return s;
    }

    // Both orders of every pair, sorted by column, then stably by row (a
    // radix sort in two passes), run-length into out. The table is
    // symmetric, so the column tallies are the row tallies.
    // The entries with j >= i alone: each pixel pair once as (low, high),
    // the same radix passes; a diagonal entry holds both orders' counts.
    static void SmallUpperEntries(const Area& area, const PairRange& r, size_t n,
                                  std::vector<CGLCM::Entry>& out) {
        out.clear();
        if (r.Empty()) return;
        SmallScratch& s = Scratch();
        const size_t pairs = static_cast<size_t>(r.Count());
        s.start.assign(n + 1, 0);
        s.byColumn.resize(pairs);
        s.byRow.resize(pairs);
        uint32_t* start = s.start.data();
        ForEachPair(area, r, [&](uint16_t a, uint16_t b) { ++start[std::max(a, b) + 1]; });
        for (size_t i = 0; i < n; ++i) start[i + 1] += start[i];
        Pair* byColumn = s.byColumn.data();
        Pair* byRow = s.byRow.data();
        ForEachPair(area, r, [&](uint16_t a, uint16_t b) {
            const Pair p = a <= b ? Pair{a, b} : Pair{b, a};
            byColumn[start[p.b]++] = p;
        });
        start[0] = 0;
        std::fill(start + 1, start + n + 1, 0u);
        for (size_t k = 0; k < pairs; ++k) ++start[byColumn[k].a + 1];
        for (size_t i = 0; i < n; ++i) start[i + 1] += start[i];
        for (size_t k = 0; k < pairs; ++k) byRow[start[byColumn[k].a]++] = byColumn[k];
        out.reserve(pairs);
        for (size_t k = 0; k < pairs;) {
            size_t run = k + 1;
            while (run < pairs && byRow[run].a == byRow[k].a && byRow[run].b == byRow[k].b) ++run;
            const int64_t c = static_cast<int64_t>(run - k);
            out.push_back({byRow[k].a, byRow[k].b, byRow[k].a == byRow[k].b ? 2 * c : c});
            k = run;
        }
    }

    static void SmallEntries(const Area& area, const PairRange& r, size_t n,
                             std::vector<CGLCM::Entry>& out) {
        out.clear();
        if (r.Empty()) return;
        SmallScratch& s = Scratch();
        const size_t pairs = static_cast<size_t>(r.Count()) * 2;
        s.start.assign(n + 1, 0);
        s.byColumn.resize(pairs);
        s.byRow.resize(pairs);
        uint32_t* start = s.start.data();
        ForEachPair(area, r, [&](uint16_t a, uint16_t b) {
            ++start[a + 1];
            ++start[b + 1];
        });
        for (size_t i = 0; i < n; ++i) start[i + 1] += start[i];
        Pair* byColumn = s.byColumn.data();
        Pair* byRow = s.byRow.data();
        {
            // start[] is consumed as a cursor; the row pass below needs it
            // again, so it walks a shifted copy (start[k] ends at start[k+1]).
            ForEachPair(area, r, [&](uint16_t a, uint16_t b) {
                byColumn[start[b]++] = {a, b};
                byColumn[start[a]++] = {b, a};
            });
            // Now start[k] is the end of column k = the first slot of k + 1.
            for (size_t k = n; k > 0; --k) start[k] = start[k - 1];
            start[0] = 0;
        }
        for (size_t k = 0; k < pairs; ++k) byRow[start[byColumn[k].a]++] = byColumn[k];
        out.reserve(pairs);
        for (size_t k = 0; k < pairs;) {
            size_t run = k + 1;
            while (run < pairs && byRow[run].a == byRow[k].a && byRow[run].b == byRow[k].b) ++run;
            out.push_back({byRow[k].a, byRow[k].b, static_cast<int64_t>(run - k)});
            k = run;
        }
    }

    static void Prepare(CGLCM& m, const Area& area, int32_t angle, int32_t distance, bool sparse) {
        m.dense_.clear();
        m.sparse_.clear();
        m.pending_.clear();
        m.distance = distance;
        m.angle = angle;
        m.pixelCount = double(area.width) * double(area.height);
        m.firstLevel = area.lo;
        m.lastLevel = area.hi;
        m.size = area.hi - area.lo + 1;
        m.computed = false;
        m.useSparse_ = sparse;
        m.hasMatrix_ = false;
        m.symmetric_ = true;
        std::fill(std::begin(m.features), std::end(m.features), 0.0);
    }

    // Each pair counts once in each order, so the table is symmetric.
    static void BuildDense(CGLCM& m, const Area& area, const PairRange& r) {
        const size_t n = static_cast<size_t>(m.size);
        m.dense_.assign(n * n, 0);
        int64_t* t = m.dense_.data();
        ForEachPair(area, r, [&](uint16_t a, uint16_t b) {
            ++t[a * n + b];
            ++t[b * n + a];
        });
        m.hasMatrix_ = true;
    }

    // Bucket the partner values by the first value (a counting sort on the
    // row), then sort each row's columns and run-length them: memory is two
    // bytes per counted pair, whatever the number of levels.
    static void BuildSparse(CGLCM& m, const Area& area, const PairRange& r) {
        const size_t n = static_cast<size_t>(m.size);
        if (SmallPairs(r, n)) {
            SmallEntries(area, r, n, m.sparse_);
            m.hasMatrix_ = true;
            return;
        }
        std::vector<size_t> start(n + 1, 0);
        ForEachPair(area, r, [&](uint16_t a, uint16_t b) {
            ++start[a + 1];
            ++start[b + 1];
        });
        for (size_t i = 0; i < n; ++i) start[i + 1] += start[i];
        std::vector<uint16_t> columns(start[n]);
        {
            std::vector<size_t> next(start.begin(), start.end() - 1);
            ForEachPair(area, r, [&](uint16_t a, uint16_t b) {
                columns[next[a]++] = b;
                columns[next[b]++] = a;
            });
        }
        // Each row's columns lie near its level in real textures: a count
        // per column of the row's range run-lengths them without sorting;
        // a row spread too widely for that is sorted.
        std::vector<CGLCM::Entry>& out = m.sparse_;
        out.reserve(columns.size() / 2 + 16);
        std::vector<uint32_t> tally;
        for (size_t i = 0; i < n; ++i) {
            uint16_t* first = columns.data() + start[i];
            uint16_t* last = columns.data() + start[i + 1];
            if (first == last) continue;
            const size_t length = size_t(last - first);
            if (length <= kShortRow) {
                // The rows of a small area hold a handful of columns.
                for (uint16_t* c = first + 1; c != last; ++c)
                    for (uint16_t* d = c; d != first && d[-1] > *d; --d) std::swap(d[-1], *d);
            } else if (const auto [lo, hi] = std::minmax_element(first, last);
                       size_t(*hi) - *lo + 1 <= 2 * length + 16) {
                const size_t lowest = *lo, range = size_t(*hi) - lowest + 1;
                tally.assign(range, 0);
                for (const uint16_t* c = first; c != last; ++c) ++tally[*c - lowest];
                for (size_t k = 0; k < range; ++k)
                    if (tally[k] != 0)
                        out.push_back({static_cast<int32_t>(i), static_cast<int32_t>(lowest + k),
                                       int64_t{tally[k]}});
                continue;
            } else {
                std::sort(first, last);
            }
            while (first != last) {
                uint16_t* run = first + 1;
                while (run != last && *run == *first) ++run;
                out.push_back({static_cast<int32_t>(i), *first, run - first});
                first = run;
            }
        }
        if (out.capacity() > out.size() + out.size() / 4) out.shrink_to_fit();
        m.hasMatrix_ = true;
    }

    static bool Build(CGLCM& m, const Area& area, int32_t angle, int32_t distance, GlcmForm form) {
        const int64_t n = int64_t{area.hi} - area.lo + 1;
        const int64_t entries = n * n;
        const int64_t pixels = int64_t{area.width} * area.height;
        bool sparse = false;
        switch (form) {
            case GlcmForm::Dense:
                if (entries > kGlcmDenseMaxEntries) return false;
                break;
            case GlcmForm::Sparse:
                sparse = true;
                break;
            case GlcmForm::Automatic:
                // Dense costs n^2 to clear and scan, sparse a few operations
                // per pair: take the cheaper.
                sparse =
                    entries > kGlcmDenseMaxEntries || entries > std::max<int64_t>(4096, 2 * pixels);
                break;
        }
        try {
            Prepare(m, area, angle, distance, sparse);
            const PairRange r = RangeFor(area, angle, distance);
            if (sparse)
                BuildSparse(m, area, r);
            else
                BuildDense(m, area, r);
        } catch (const std::bad_alloc&) {
            m.dense_ = {};
            m.sparse_ = {};
            m.hasMatrix_ = false;
            return false;
        }
        return true;
    }

    // The non-zero entries in row-major order: the sparse list itself, or
    // the dense table's entries gathered into scratch. The features then run
    // the very same loop over either form.
    // A symmetric matrix hands over only its entries with j >= i.
    static const CGLCM::Entry* Entries(const CGLCM& m, std::vector<CGLCM::Entry>& scratch,
                                       size_t& count) {
        const bool upper = m.symmetric_;
        if (m.useSparse_) {
            m.MergePending();
            if (!upper) {
                count = m.sparse_.size();
                return m.sparse_.data();
            }
            scratch.clear();
            for (const CGLCM::Entry& e : m.sparse_)
                if (e.j >= e.i) scratch.push_back(e);
            count = scratch.size();
            return scratch.data();
        }
        scratch.clear();
        const int64_t* t = m.dense_.data();
        const int32_t n = m.size;
        for (int32_t i = 0; i < n; ++i, t += n)
            for (int32_t j = upper ? i : 0; j < n; ++j)
                if (t[j] != 0) scratch.push_back({i, j, t[j]});
        count = scratch.size();
        return scratch.data();
    }

    static void Release(CGLCM& m) {
        m.dense_ = {};
        m.sparse_ = {};
        m.pending_ = {};
        m.hasMatrix_ = false;
    }
};

}  // namespace detail

using detail::GlcmBuilder;
using detail::GlcmForm;

CGLCM::~CGLCM() = default;

bool CGLCM::Init(int32_t first, int32_t last, int32_t n) {
    GlcmBuilder::Release(*this);
    symmetric_ = false;
    firstLevel = first;
    lastLevel = last;
    size = 0;
    pixelCount = 1.0;
    computed = false;
    std::fill(std::begin(features), std::end(features), 0.0);
    if (n <= 0 || n > kMaxGlcmLevels) return false;
    size = n;
    useSparse_ = int64_t{n} * n > detail::kGlcmDenseMaxEntries;
    if (!useSparse_) {
        try {
            dense_.assign(static_cast<size_t>(n) * static_cast<size_t>(n), 0);
        } catch (const std::bad_alloc&) {
            size = 0;
            return false;
        }
    }
    hasMatrix_ = true;
    return true;
}

void CGLCM::Count(int32_t a, int32_t b) {
    if (!hasMatrix_) return;
    const int64_t i = int64_t{a} - firstLevel;
    const int64_t j = int64_t{b} - firstLevel;
    if (i < 0 || j < 0 || i >= size || j >= size) return;
    symmetric_ = false;
    if (useSparse_)
        pending_.push_back(static_cast<uint64_t>(i) * static_cast<uint64_t>(size) +
                           static_cast<uint64_t>(j));
    else
        ++dense_[static_cast<size_t>(i) * static_cast<size_t>(size) + static_cast<size_t>(j)];
}

void CGLCM::MergePending() const {
    if (pending_.empty()) return;
    const uint64_t n = static_cast<uint64_t>(size);
    for (const Entry& e : sparse_)
        for (int64_t k = 0; k < e.count; ++k) {
            // Re-expanding is simpler than a merge; Count() is for small
            // hand-built matrices, large ones come from BuildGLCMs.
            pending_.push_back(static_cast<uint64_t>(e.i) * n + static_cast<uint64_t>(e.j));
        }
    std::sort(pending_.begin(), pending_.end());
    std::vector<Entry> merged;
    for (size_t k = 0; k < pending_.size();) {
        size_t run = k;
        while (run < pending_.size() && pending_[run] == pending_[k]) ++run;
        merged.push_back({static_cast<int32_t>(pending_[k] / n),
                          static_cast<int32_t>(pending_[k] % n), static_cast<int64_t>(run - k)});
        k = run;
    }
    sparse_ = std::move(merged);
    pending_.clear();
}

int64_t CGLCM::CountAt(int32_t i, int32_t j) const {
    if (!hasMatrix_ || i < 0 || j < 0 || i >= size || j >= size) return 0;
    if (!useSparse_)
        return dense_[static_cast<size_t>(i) * static_cast<size_t>(size) + static_cast<size_t>(j)];
    MergePending();
    const auto it =
        std::lower_bound(sparse_.begin(), sparse_.end(), std::pair{i, j},
                         [](const Entry& e, const std::pair<int32_t, int32_t>& key) {
                             return e.i != key.first ? e.i < key.first : e.j < key.second;
                         });
    return it != sparse_.end() && it->i == i && it->j == j ? it->count : 0;
}

int64_t CGLCM::TotalCount() const {
    if (!hasMatrix_) return 0;
    int64_t total = 0;
    if (useSparse_) {
        MergePending();
        for (const Entry& e : sparse_) total += e.count;
    } else {
        for (int64_t c : dense_) total += c;
    }
    return total;
}

bool CGLCM::HasMatrix() const {
    return hasMatrix_;
}

namespace {

// p = count / N and -p log2 p for the small counts that make up most of a
// sparse matrix, each worked out once with the same expression as for any
// other count, so the values are the same bits.
class CountTerms {
  public:
    explicit CountTerms(double N) : N_(N) {}
    double P(int64_t c) {
        if (c >= kSmall) return double(c) / N_;
        Fill(c);
        return p_[c];
    }
    double PLogP(int64_t c, double p) {
        if (c >= kSmall) return p * Log2(p);
        return plogp_[c];  // filled by P
    }

  private:
    static constexpr int64_t kSmall = 64;
    void Fill(int64_t c) {
        if (filled_[c]) return;
        filled_[c] = true;
        p_[c] = double(c) / N_;
        plogp_[c] = p_[c] * Log2(p_[c]);
    }
    double N_;
    bool filled_[kSmall] = {};
    double p_[kSmall] = {};
    double plogp_[kSmall] = {};
};

// Integer tallies of the sum and difference distributions: each bin's
// probability is then one division, and the common small tallies share
// their -p log2 p.
struct DistributionScratch {
    std::vector<int64_t> sum, difference;
    std::vector<uint32_t> rowStart, columnStart, byColumn;
    std::vector<double> x, y, p;  // the full matrix's entries in row-major order
};

// The fifteen features of the row-major non-zero entries (i, j, count) of an
// n x n matrix whose first level is g; with Upper, of a symmetric matrix
// given by its entries with j >= i, each off the diagonal standing for its
// mirror too. Every storage form ends here with the same entries in the
// same order, so the features agree to the bit.
template <bool Upper, typename E>
void FeaturesOf(const E* entries, size_t count, int32_t n, double g, double* features) {
    // Large level ranges would pin megabytes to every thread.
    constexpr int32_t kKeptLevels = 4096;
    thread_local DistributionScratch kept;
    DistributionScratch local;
    DistributionScratch& d = n <= kKeptLevels ? kept : local;
    d.sum.assign(static_cast<size_t>(2) * static_cast<size_t>(n) - 1, 0);
    d.difference.assign(static_cast<size_t>(n), 0);
    int64_t* sumCount = d.sum.data();
    int64_t* differenceCount = d.difference.data();

    int64_t total = 0;
    for (size_t e = 0; e < count; ++e)
        total += Upper && entries[e].i != entries[e].j ? 2 * entries[e].count : entries[e].count;
    const double N = total == 0 ? 1.0 : double(total);
    CountTerms terms(N);

    double contrast = 0, entropy = 0, asm2 = 0, idm = 0, mux = 0, muy = 0, product = 0, absDiff = 0,
           maxP = 0;
    // The occupied bins of the distributions: their loops skip the rest of
    // the level range.
    int32_t sumFirst = 2 * n, sumLast = -1, differenceLast = -1;
    for (size_t e = 0; e < count; ++e) {
        const int32_t i = entries[e].i, j = entries[e].j;
        const int64_t c = entries[e].count;
        sumFirst = std::min(sumFirst, i + j);
        sumLast = std::max(sumLast, i + j);
        differenceLast = std::max(differenceLast, i > j ? i - j : j - i);
        const double p = terms.P(c);
        const double dd = double(i - j);
        if (Upper && i != j) {
            // The entry and its mirror (j, i).
            contrast += 2 * (dd * dd * p);
            entropy -= 2 * terms.PLogP(c, p);
            asm2 += 2 * (p * p);
            idm += 2 * (p / (1.0 + dd * dd));
            absDiff += 2 * (std::fabs(dd) * p);
            sumCount[i + j] += 2 * c;
            differenceCount[j - i] += c;
        } else {
            contrast += dd * dd * p;
            entropy -= terms.PLogP(c, p);
            asm2 += p * p;
            idm += p / (1.0 + dd * dd);
            absDiff += std::fabs(dd) * p;
            sumCount[i + j] += c;
            if (i >= j) differenceCount[i - j] += c;
        }
        maxP = std::max(maxP, p);
    }
    // The means and E[xy] cancel badly on high levels, so they are summed
    // in the full matrix's row-major order whatever the form: the upper
    // entries and, before each row's, its mirrors from the column.
    size_t full = count;
    if constexpr (Upper) {
        const size_t rows = static_cast<size_t>(n);
        d.rowStart.assign(rows + 1, 0);
        d.columnStart.assign(rows + 1, 0);
        d.byColumn.resize(count);
        uint32_t* rowStart = d.rowStart.data();
        uint32_t* columnStart = d.columnStart.data();
        uint32_t* byColumn = d.byColumn.data();
        for (size_t e = 0; e < count; ++e) {
            ++rowStart[entries[e].i + 1];
            ++columnStart[entries[e].j + 1];
        }
        for (size_t r = 0; r < rows; ++r) {
            rowStart[r + 1] += rowStart[r];
            columnStart[r + 1] += columnStart[r];
        }
        // Row-major input keeps each column's rows ascending.
        for (size_t e = 0; e < count; ++e)
            byColumn[columnStart[entries[e].j]++] = static_cast<uint32_t>(e);
        for (size_t r = rows; r > 0; --r) columnStart[r] = columnStart[r - 1];
        columnStart[0] = 0;
        d.x.resize(2 * count);
        d.y.resize(2 * count);
        d.p.resize(2 * count);
        full = 0;
        auto put = [&](int32_t i, int32_t j, int64_t c) {
            d.x[full] = i + g;
            d.y[full] = j + g;
            d.p[full++] = terms.P(c);
        };
        for (size_t r = 0; r < rows; ++r) {
            const int32_t row = static_cast<int32_t>(r);
            for (uint32_t k = columnStart[r]; k < columnStart[r + 1]; ++k) {
                const E& m = entries[byColumn[k]];
                if (m.i != row) put(row, m.i, m.count);
            }
            for (uint32_t k = rowStart[r]; k < rowStart[r + 1]; ++k)
                put(row, entries[k].j, entries[k].count);
        }
    } else {
        d.x.resize(count);
        d.y.resize(count);
        d.p.resize(count);
        for (size_t e = 0; e < count; ++e) {
            d.x[e] = entries[e].i + g;
            d.y[e] = entries[e].j + g;
            d.p[e] = terms.P(entries[e].count);
        }
    }
    const double* xs = d.x.data();
    const double* ys = d.y.data();
    const double* ps = d.p.data();
    for (size_t e = 0; e < full; ++e) {
        mux += xs[e] * ps[e];
        muy += ys[e] * ps[e];
        product += xs[e] * ys[e] * ps[e];
    }
    double varx = 0, vary = 0, cov = 0;
    for (size_t e = 0; e < full; ++e) {
        const double dx = xs[e] - mux, dy = ys[e] - muy;
        varx += ps[e] * dx * dx;
        vary += ps[e] * dy * dy;
        cov += ps[e] * dx * dy;
    }
    // Divided by the product of the variances, not of the deviations: the
    // measure has always been defined so and the trained networks expect it.
    const double varProduct = varx * vary;
    const double correlation =
        (varx == 0 || vary == 0 || varProduct == 0) ? 0.0 : (product - mux * muy) / varProduct;

    const size_t sums = static_cast<size_t>(sumLast + 1);
    const size_t sumStart = sumLast < 0 ? sums : static_cast<size_t>(sumFirst);
    const size_t differences = static_cast<size_t>(differenceLast + 1);
    double sumAverage = 0, sumEntropy = 0;
    for (size_t k = sumStart; k < sums; ++k) {
        const int64_t c = sumCount[k];
        if (c <= 0) continue;
        const double p = terms.P(c);
        sumAverage += (double(k) + 2 * g) * p;
        sumEntropy -= terms.PLogP(c, p);
    }
    double sumVariance = 0;
    for (size_t k = sumStart; k < sums; ++k) {
        if (sumCount[k] <= 0) continue;
        const double e = double(k) + 2 * g - sumAverage;
        sumVariance += e * e * terms.P(sumCount[k]);
    }
    double diffAverage = 0, diffEntropy = 0;
    for (size_t k = 0; k < differences; ++k) {
        const int64_t c = differenceCount[k];
        if (c <= 0) continue;
        const double p = terms.P(c);
        diffAverage += double(k) * p;
        diffEntropy -= terms.PLogP(c, p);
    }
    double diffVariance = 0;
    for (size_t k = 0; k < differences; ++k) {
        if (differenceCount[k] <= 0) continue;
        const double e = double(k) - diffAverage;
        diffVariance += e * e * terms.P(differenceCount[k]);
    }

    features[CGLCM::kContrast] = contrast;
    features[CGLCM::kEntropy] = entropy;
    features[CGLCM::kAngularSecondMoment] = asm2;
    features[CGLCM::kInverseDifferentMoment] = idm;
    features[CGLCM::kCorrelation] = correlation;
    features[CGLCM::kMeanProduct] = product;
    features[CGLCM::kCovariance] = cov;
    features[CGLCM::kMeanAbsoluteDifference] = absDiff;
    features[CGLCM::kMaximumProbability] = maxP;
    features[CGLCM::kSumAverage] = sumAverage;
    features[CGLCM::kSumVariance] = sumVariance;
    features[CGLCM::kSumEntropy] = sumEntropy;
    features[CGLCM::kDifferenceEntropy] = diffEntropy;
    features[CGLCM::kDifferenceAverage] = diffAverage;
    features[CGLCM::kDifferenceVariance] = diffVariance;
}

}  // namespace

namespace detail {

bool GlcmBuilder::SmallFeatures(const Area& area, int32_t distance, std::array<CGLCM, 4>& out) {
    const size_t n = static_cast<size_t>(area.hi - area.lo + 1);
    thread_local std::vector<CGLCM::Entry> entries;
    PairRange ranges[4];
    for (size_t k = 0; k < 4; ++k) {
        ranges[k] = RangeFor(area, kGlcmAngles[k], distance);
        if (!SmallPairs(ranges[k], n)) return false;
    }
    for (size_t k = 0; k < 4; ++k) {
        CGLCM& m = out[k];
        Prepare(m, area, kGlcmAngles[k], distance, true);
        if (!(m.pixelCount > 1.0)) return false;
        SmallUpperEntries(area, ranges[k], n, entries);
        FeaturesOf<true>(entries.data(), entries.size(), m.size, double(m.firstLevel), m.features);
        m.computed = true;
    }
    return true;
}

}  // namespace detail

int CGLCM::ComputeFeatures() {
    if (!hasMatrix_ || !(pixelCount > 1.0)) return -1;
    std::vector<Entry> scratch;
    try {
        size_t count = 0;
        const Entry* entries = GlcmBuilder::Entries(*this, scratch, count);
        if (symmetric_)
            FeaturesOf<true>(entries, count, size, double(firstLevel), features);
        else
            FeaturesOf<false>(entries, count, size, double(firstLevel), features);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    computed = true;
    GlcmBuilder::Release(*this);
    return 0;
}

bool CGLCM::EnsureFeatures() {
    if (!computed) ComputeFeatures();
    return computed;
}

double CGLCM::Reported(int index) const {
    static constexpr std::array<int, 12> kPosition = {
        kContrast,    kEntropy,           kAngularSecondMoment, kInverseDifferentMoment,
        kCorrelation, kCovariance,        kSumAverage,          kSumEntropy,
        kSumVariance, kDifferenceAverage, kDifferenceEntropy,   kDifferenceVariance};
    if (index < 0 || index >= int(kPosition.size())) return 0.0;
    return features[kPosition[static_cast<size_t>(index)]];
}

namespace {

// Runs f(direction) for the four directions, on the cores when the area is
// large enough to pay for the threads.
template <typename F>
void ForEachDirection(int64_t pixels, F&& f) {
    if (pixels < kParallelPixels) {
        for (int k = 0; k < 4; ++k) f(k);
        return;
    }
    ParallelRows(0, 4, 1, [&](int, int32_t first, int32_t last) {
        for (int32_t k = first; k < last; ++k) f(k);
    });
}

std::unique_ptr<std::array<CGLCM, 4>> Build(const CMImage& image, const CRect& rect,
                                            int32_t distance, GlcmForm form, bool compute) {
    Area area;
    try {
        if (!ReadArea(image, rect, area)) return nullptr;
        auto glcms = std::make_unique<std::array<CGLCM, 4>>();
        bool ok[4] = {false, false, false, false};
        ForEachDirection(int64_t{area.width} * area.height, [&](int k) {
            CGLCM& m = (*glcms)[static_cast<size_t>(k)];
            ok[k] =
                GlcmBuilder::Build(m, area, kGlcmAngles[static_cast<size_t>(k)], distance, form);
            if (ok[k] && compute) ok[k] = m.ComputeFeatures() == 0;
        });
        if (!(ok[0] && ok[1] && ok[2] && ok[3])) return nullptr;
        return glcms;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

namespace detail {

std::unique_ptr<std::array<CGLCM, 4>> BuildGLCMsAs(const CMImage& image, const CRect& rect,
                                                   int32_t distance, GlcmForm form) {
    return Build(image, rect, distance, form, false);
}

bool IsSparse(const CGLCM& glcm) {
    return GlcmBuilder::IsSparse(glcm);
}

}  // namespace detail

std::unique_ptr<std::array<CGLCM, 4>> BuildGLCMs(const CMImage& image, const CRect& rect,
                                                 int32_t distance) {
    return Build(image, rect, distance, GlcmForm::Automatic, false);
}

std::vector<std::string> CoocurrenceFeatureNames(int32_t distance) {
    std::vector<std::string> names;
    names.reserve(60);
    for (const char* name : kGlcmFeatureNames) names.push_back(std::string(name) + "_Mean");
    for (int32_t angle : kGlcmAngles)
        for (const char* name : kGlcmFeatureNames)
            names.push_back(std::string(name) + "_" + std::to_string(distance) + "_" +
                            std::to_string(angle));
    return names;
}

bool CoocurrenceFeatures(const CMImage& image, const CRect& rect, int32_t distance,
                         CFeatureVector& out) {
    // Region features call this thousands of times on rings of a few
    // hundred pixels: those take a path that keeps no matrix and reuses the
    // thread's buffers.
    std::array<CGLCM, 4> small;
    std::unique_ptr<std::array<CGLCM, 4>> large;
    const std::array<CGLCM, 4>* glcms = nullptr;
    const size_t before = out.values.size();
    try {
        CRect clipped = rect;
        if (!image.IsValid() || !IsSupportedDepth(image.depth) || image.ClipRect(clipped) != 0)
            return false;
        if (int64_t{clipped.Width()} * clipped.Height() < kParallelPixels) {
            thread_local Area area;
            if (!ReadArea(image, rect, area)) return false;
            if (GlcmBuilder::SmallFeatures(area, distance, small)) glcms = &small;
        }
        if (!glcms) {
            large = Build(image, rect, distance, GlcmForm::Automatic, true);
            if (!large) return false;
            glcms = large.get();
        }
        thread_local int32_t namesDistance = 0;
        thread_local std::vector<std::string> names;
        if (names.empty() || namesDistance != distance) {
            names = CoocurrenceFeatureNames(distance);
            namesDistance = distance;
        }
        size_t k = 0;
        for (int f = 0; f < 12; ++f) {
            double total = 0;
            for (const CGLCM& m : *glcms) total += m.Reported(f);
            out.Add(names[k++], total / 4.0);
        }
        for (const CGLCM& m : *glcms)
            for (int f = 0; f < 12; ++f) out.Add(names[k++], m.Reported(f));
    } catch (const std::bad_alloc&) {
        out.names.resize(std::min(out.names.size(), before));
        out.values.resize(std::min(out.values.size(), before));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Surrounding region dependence matrix.

CSRDM::~CSRDM() = default;

void CSRDM::GetFeatures(double& h, double& v, double& d, double& g) {
    if (hws == -1.0 && vws == -1.0 && dws == -1.0 && gws == -1.0) {
        int64_t total = 0;
        for (int32_t c : counts) total += c;
        if (total > 0 && counts.size() == static_cast<size_t>(rows) * static_cast<size_t>(cols)) {
            double sh = 0, sv = 0, sd = 0, sg = 0;
            for (int32_t i = 0; i < rows; ++i)
                for (int32_t j = 0; j < cols; ++j) {
                    const int32_t r = At(i, j);
                    if (r <= 0) continue;
                    const double di = i, dj = j;
                    sh += dj * dj / r;
                    sv += di * di / r;
                    sd += (di + dj) * (di + dj) / r;
                    sg += di * dj / r;
                }
            const double s = double(total);
            hws = sh / s;
            vws = sv / s;
            dws = sd / s;
            gws = sg / s;
        }
    }
    h = hws;
    v = vws;
    d = dws;
    g = gws;
}

namespace {

// Sides of more than this give matrices of over ten million entries and
// windows no texture measure means.
constexpr int32_t kMaxSrdmSide = 63;

bool GoodSides(int32_t inner, int32_t middle, int32_t outer) {
    return inner > 0 && inner % 2 == 1 && middle % 2 == 1 && outer % 2 == 1 && inner < middle &&
           middle < outer && outer <= kMaxSrdmSide;
}

}  // namespace

std::unique_ptr<CSRDM> BuildSRDM(const CMImage& image, int32_t inner, int32_t middle, int32_t outer,
                                 int32_t margin, const CRect& rect,
                                 std::vector<std::string>* skipped) {
    if (!GoodSides(inner, middle, outer)) return nullptr;
    Area area;
    try {
        if (!ReadArea(image, rect, area)) return nullptr;
        auto srdm = std::make_unique<CSRDM>();
        srdm->rows = middle * middle - inner * inner + 1;
        srdm->cols = outer * outer - middle * middle + 1;
        srdm->counts.assign(static_cast<size_t>(srdm->rows) * static_cast<size_t>(srdm->cols), 0);
        const int32_t w = area.width, h = area.height;
        const int32_t ri = inner / 2, rm = middle / 2, ro = outer / 2;
        const uint16_t* v = area.values.data();
        // Thresholds are relative to the centre value; values are offsets
        // from the area's lowest, which changes neither side of u - margin.
        struct Hit {
            int32_t c1, c2;
        };
        std::vector<Hit> hits(static_cast<size_t>(w) * static_cast<size_t>(h));
        // Counts the values below t in row yy between columns [a, b] clipped.
        auto below = [&](int32_t yy, int32_t a, int32_t b, int32_t t) {
            a = std::max(a, 0);
            b = std::min(b, w - 1);
            int32_t c = 0;
            const uint16_t* row = v + static_cast<size_t>(yy) * static_cast<size_t>(w);
            for (int32_t x = a; x <= b; ++x) c += int32_t{row[x]} < t;
            return c;
        };
        auto rowsWork = [&](int, int32_t first, int32_t last) {
            for (int32_t y = first; y < last; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    const int32_t t =
                        int32_t{v[static_cast<size_t>(y) * static_cast<size_t>(w) + x]} - margin;
                    int32_t c1 = 0, c2 = 0;
                    for (int32_t dy = -ro; dy <= ro; ++dy) {
                        const int32_t yy = y + dy;
                        if (yy < 0 || yy >= h) continue;
                        const int32_t ady = dy < 0 ? -dy : dy;
                        if (ady > rm) {
                            c2 += below(yy, x - ro, x + ro, t);
                            continue;
                        }
                        c2 += below(yy, x - ro, x - rm - 1, t) + below(yy, x + rm + 1, x + ro, t);
                        if (ady > ri)
                            c1 += below(yy, x - rm, x + rm, t);
                        else
                            c1 +=
                                below(yy, x - rm, x - ri - 1, t) + below(yy, x + ri + 1, x + rm, t);
                    }
                    hits[static_cast<size_t>(y) * static_cast<size_t>(w) + x] = {c1, c2};
                }
        };
        if (int64_t{w} * h < kParallelPixels)
            rowsWork(0, 0, h);
        else
            ParallelRows(0, h, 8, rowsWork);
        for (const Hit& hit : hits) {
            if (hit.c1 < 0 || hit.c1 >= srdm->rows || hit.c2 < 0 || hit.c2 >= srdm->cols) {
                if (skipped) {
                    char line[96];
                    std::snprintf(line, sizeof line, "Ret= %d cR1=%d, cR2=%d",
                                  hit.c1 * srdm->cols + hit.c2, hit.c1, hit.c2);
                    skipped->push_back(line);
                }
                continue;
            }
            ++srdm->counts[static_cast<size_t>(hit.c1) * static_cast<size_t>(srdm->cols) +
                           static_cast<size_t>(hit.c2)];
        }
        return srdm;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace vistrel
