#include "filters/convolution.h"

#include "filters/convolution_job.h"
#include "filters/parallel_rows.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace vistrel {

namespace {

// Row access to the samples of any depth as one integer type: 8- and 16-bit
// rasters are read in place, 1- and 4-bit ones through an unpacked copy.
struct CSampleRows {
    const uint8_t* bytes = nullptr;
    const uint16_t* words = nullptr;
    std::ptrdiff_t stride = 0;  // in elements
    std::vector<uint8_t> unpacked;

    explicit CSampleRows(const CMImageBase& image) {
        if (image.depth == 8) {
            bytes = image.data;
            stride = image.bytesPerRow;
        } else if (image.depth > 8) {
            words = reinterpret_cast<const uint16_t*>(image.data);
            stride = image.bytesPerRow / 2;
        } else {
            unpacked.resize(std::size_t(image.width) * std::size_t(image.height));
            for (int32_t y = 0; y < image.height; ++y)
                for (int32_t x = 0; x < image.width; ++x)
                    unpacked[std::size_t(y) * image.width + x] = static_cast<uint8_t>(
                        CMImageBase::GetPixelIn(image.data, image.bytesPerRow, image.depth, x, y));
            bytes = unpacked.data();
            stride = image.width;
        }
    }
};

struct CRowKernelChoice {
    const char* name;
    CRowKernels kernels;
};

bool Supported(const std::string& name) {
    if (name == "plain") return true;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (name == "avx2") return __builtin_cpu_supports("avx2");
    if (name == "avx512") return __builtin_cpu_supports("avx512f");
#endif
    return false;
}

// The widest row loops this processor runs, unless UseRowKernels chose others.
CRowKernelChoice& RowKernelChoice() {
    static CRowKernelChoice choice = [] {
        if (Supported("avx512")) return CRowKernelChoice{"avx512", rows_avx512::RowKernels()};
        if (Supported("avx2")) return CRowKernelChoice{"avx2", rows_avx2::RowKernels()};
        return CRowKernelChoice{"plain", rows_plain::RowKernels()};
    }();
    return choice;
}

const CRowKernels& BestRowKernels() {
    return RowKernelChoice().kernels;
}

bool SymmetricValues(const std::vector<double>& v) {
    for (std::size_t i = 0, n = v.size(); i < n / 2; ++i)
        if (v[i] != v[n - 1 - i]) return false;
    return true;
}

void RunRow(const CRowKernels& k, const CRowJob& job, int32_t y, double* const* vbuf, double* acc,
            float* out) {
    k.rowFloat(job, y, vbuf, acc, out);
}
void RunRow(const CRowKernels& k, const CRowJob& job, int32_t y, double* const* vbuf, double* acc,
            double* out) {
    k.rowDouble(job, y, vbuf, acc, out);
}

void Figures(const CRowKernels& k, const float* v, int32_t n, CRowFigures& f) {
    const CRowSums sums = k.sums(v, n);
    f = {sums.sum, sums.squares, sums.min, sums.max};
}
void Figures(const CRowKernels&, const double*, int32_t, CRowFigures&) {}

template <typename Out>
bool CorrelateInteriorImpl(const CMImageBase& image, const CFilter& filter, Out* out,
                           bool useDirect, CRowFigures* figures, const ProgressFn& progress) {
    if (!image.IsValid() || !out) return false;
    const int32_t w = image.width, h = image.height;
    if (filter.width <= 0 || filter.height <= 0) return true;
    if (filter.width / 2 * 2 >= w || filter.height / 2 * 2 >= h) return true;  // nowhere fits
    const int32_t hw = filter.width / 2, hh = filter.height / 2;
    if (!filter.HasRows()) {
        for (int32_t y = hh; y < h - hh; ++y)
            for (int32_t x = hw; x < w - hw; ++x) out[std::ptrdiff_t(y) * w + x] = 0;
        return true;
    }
    CSeparableTerms terms;
    if (!useDirect) terms = DecomposeKernel(filter);
    CSampleRows rows(image);
    CRowJob job;
    job.words = rows.words != nullptr;
    job.base = job.words ? static_cast<const void*>(rows.words) : rows.bytes;
    job.stride = rows.stride;
    job.width = w;
    job.coefficients = filter.Row(0);
    job.kw = filter.width;
    job.kh = filter.height;
    job.divisor = filter.Divisor();
    job.termCount = static_cast<int>(terms.columns.size());
    job.symmetricColumns = job.symmetricRows = true;
    for (int t = 0; t < job.termCount; ++t) {
        job.columns[t] = terms.columns[std::size_t(t)].data();
        job.rows[t] = terms.rows[std::size_t(t)].data();
        job.symmetricColumns =
            job.symmetricColumns && SymmetricValues(terms.columns[std::size_t(t)]);
        job.symmetricRows = job.symmetricRows && SymmetricValues(terms.rows[std::size_t(t)]);
    }
    const CRowKernels& kernels = BestRowKernels();
    struct CWorkBuffers {
        std::vector<double> acc, vertical;
    };
    std::vector<CWorkBuffers> work(std::max(1u, std::thread::hardware_concurrency()));
    return ParallelRows(
        hh, h - hh, 8,
        [&](int worker, int32_t first, int32_t last) {
            CWorkBuffers& b = work[std::size_t(worker)];
            if (b.acc.empty()) {
                b.acc.assign(std::size_t(w), 0.0);
                b.vertical.assign(std::size_t(w) * 3, 0.0);
            }
            double* vbuf[3] = {b.vertical.data(), b.vertical.data() + w,
                               b.vertical.data() + 2 * std::ptrdiff_t(w)};
            for (int32_t y = first; y < last; ++y) {
                Out* row = out + std::ptrdiff_t(y) * w;
                RunRow(kernels, job, y, vbuf, b.acc.data(), row);
                if (figures) Figures(kernels, row + hw, w - 2 * hw, figures[y]);
            }
        },
        progress);
}

bool KernelFits(const CFilter& f, int32_t w, int32_t h, int32_t x, int32_t y) {
    return x - f.width / 2 >= 0 && x + f.width / 2 < w && y - f.height / 2 >= 0 &&
           y + f.height / 2 < h;
}

// The image raster replaced by a row-major result, with the depth chosen and
// the values shifted and truncated exactly as FromRealMatrix does.
// With a target whose samples have the same width as the result's (both 8-bit
// or both 16-bit words), the target's raster is rewritten in place instead of
// allocating a new one; otherwise the target takes over the new raster. Returns
// false when the range is invalid or memory runs out (target unchanged).
bool ImageFromRows(const float* m, int32_t w, int32_t h, float max, float min, CMImage* target) {
    if (!std::isfinite(max) || !std::isfinite(min)) return false;
    const double c = min < 0 ? min : 0.0;
    const double span = std::max(0.0, double(max) - c);
    const int64_t range = static_cast<int64_t>(std::min(span, 9.0e18));
    const int wanted = DepthForRange(range);
    const int d = std::min(wanted, 16);
    const double scale = std::ldexp(1.0, -(wanted > 16 ? wanted - 16 : 0));
    const bool inPlace = target->IsValid() && target->width == w && target->height == h &&
                         ((target->depth > 8 && d > 8) || (target->depth == 8 && d == 8));
    CMImage fresh;
    CMImage* image = target;
    if (inPlace) {
        target->depth = static_cast<uint8_t>(d);
        target->maxValue = static_cast<uint16_t>((1u << d) - 1u);
    } else {
        if (!fresh.Create(w, h, d, 0)) return false;
        image = &fresh;
    }
    const double top = image->maxValue;
    // Rows are whole bytes apart, so packed depths too can be written in parallel.
    ParallelRows(0, h, 16, [&, c, scale, top, d, w](int, int32_t first, int32_t last) {
        for (int32_t y = first; y < last; ++y) {
            const float* src = m + std::ptrdiff_t(y) * w;
            uint8_t* row = image->Row(y);
            for (int32_t x = 0; x < w; ++x) {
                double s = std::trunc((double(src[x]) - c) * scale);
                if (!(s >= 0.0)) s = 0.0;
                if (s > top) s = top;
                if (d > 8)
                    reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(s);
                else if (d == 8)
                    row[x] = static_cast<uint8_t>(s);
                else
                    CMImageBase::SetPixelIn(image->data, image->bytesPerRow, d, x, y,
                                            static_cast<int32_t>(s));
            }
        }
    });
    if (!inPlace) static_cast<CMImageBase&>(*target) = static_cast<const CMImageBase&>(fresh);
    target->InvalidateHistogram();
    return true;
}

}  // namespace

const char* ActiveRowKernels() {
    return RowKernelChoice().name;
}

bool UseRowKernels(const std::string& name) {
    if (!Supported(name)) return false;
    if (name == "plain") RowKernelChoice() = {"plain", rows_plain::RowKernels()};
    if (name == "avx2") RowKernelChoice() = {"avx2", rows_avx2::RowKernels()};
    if (name == "avx512") RowKernelChoice() = {"avx512", rows_avx512::RowKernels()};
    return true;
}

bool CFloatBuffer::Allocate(std::size_t n) {
    Clear();
    if (n == 0) return true;
    if (n > (std::size_t(1) << 40)) return false;
    constexpr std::size_t kHuge = std::size_t(2) << 20;
    const std::size_t bytes = n * sizeof(float);
    void* p = nullptr;
    if (bytes >= kHuge) {
        const std::size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
        p = std::aligned_alloc(kHuge, rounded);
#ifdef MADV_HUGEPAGE
        if (p) madvise(p, rounded, MADV_HUGEPAGE);
#endif
    } else {
        p = std::malloc(bytes);
    }
    if (!p) return false;
    data_ = static_cast<float*>(p);
    size_ = n;
    return true;
}

bool CFloatBuffer::assign(std::size_t n, float value) {
    if (!Allocate(n)) return false;
    std::fill(data_, data_ + n, value);
    return true;
}

void CFloatBuffer::Clear() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
}

std::vector<std::pair<double, double>> OutlineSpans(const COutline& outline, double y) {
    std::vector<double> xs;
    const std::size_t n = outline.size();
    for (std::size_t k = 0; k < n; ++k) {
        const COutlinePoint& a = outline[k];
        const COutlinePoint& b = outline[(k + 1) % n];
        // Half-open in y so that a vertex shared by two edges counts once.
        if ((a.y <= y && b.y > y) || (b.y <= y && a.y > y))
            xs.push_back(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y));
    }
    std::sort(xs.begin(), xs.end());
    std::vector<std::pair<double, double>> spans;
    for (std::size_t k = 0; k + 1 < xs.size(); k += 2) spans.emplace_back(xs[k], xs[k + 1]);
    return spans;
}

CSeparableTerms DecomposeKernel(const CFilter& filter, int maxTerms) {
    CSeparableTerms terms;
    const int32_t kh = filter.height, kw = filter.width;
    if (!filter.HasRows() || kh <= 0 || kw <= 0) return terms;
    std::vector<double> r(std::size_t(kh) * kw);
    double peak = 0.0;
    for (int32_t i = 0; i < kh; ++i)
        for (int32_t j = 0; j < kw; ++j) {
            r[std::size_t(i) * kw + j] = filter.Row(i)[j];
            peak = std::max(peak, std::abs(double(filter.Row(i)[j])));
        }
    if (peak == 0.0) return terms;
    // Cross approximation with full pivoting: an exactly rank-k kernel is
    // recovered in k steps; the tolerance covers the float rounding of the
    // stored coefficients.
    const double tolerance = 1e-6 * peak;
    for (int t = 0; t < maxTerms; ++t) {
        std::size_t pivot = 0;
        for (std::size_t k = 1; k < r.size(); ++k)
            if (std::abs(r[k]) > std::abs(r[pivot])) pivot = k;
        if (std::abs(r[pivot]) <= tolerance) return terms;
        const int32_t p = int32_t(pivot / kw), q = int32_t(pivot % kw);
        const double d = r[pivot];
        std::vector<double> col(static_cast<std::size_t>(kh)), row(static_cast<std::size_t>(kw));
        for (int32_t i = 0; i < kh; ++i) col[std::size_t(i)] = r[std::size_t(i) * kw + q] / d;
        for (int32_t j = 0; j < kw; ++j) row[std::size_t(j)] = r[std::size_t(p) * kw + j];
        for (int32_t i = 0; i < kh; ++i)
            for (int32_t j = 0; j < kw; ++j)
                r[std::size_t(i) * kw + j] -= col[std::size_t(i)] * row[std::size_t(j)];
        terms.columns.push_back(std::move(col));
        terms.rows.push_back(std::move(row));
    }
    for (double v : r)
        if (std::abs(v) > tolerance) return {};
    return terms;
}

bool CorrelateInterior(const CMImageBase& image, const CFilter& filter, float* out, bool useDirect,
                       const ProgressFn& progress) {
    return CorrelateInteriorImpl(image, filter, out, useDirect, nullptr, progress);
}

bool CorrelateInterior(const CMImageBase& image, const CFilter& filter, float* out, bool useDirect,
                       CRowFigures* rowFigures, const ProgressFn& progress) {
    return CorrelateInteriorImpl(image, filter, out, useDirect, rowFigures, progress);
}

bool CorrelateInterior(const CMImageBase& image, const CFilter& filter, double* out, bool useDirect,
                       const ProgressFn& progress) {
    return CorrelateInteriorImpl(image, filter, out, useDirect, nullptr, progress);
}

double CorrelateAt(const CMImageBase& image, const CFilter& filter, int32_t x, int32_t y,
                   int32_t* count) {
    long double sum = 0;
    int32_t n = 0;
    const int32_t hw = filter.width / 2, hh = filter.height / 2;
    for (int32_t i = 0; i < filter.height; ++i) {
        const int32_t yy = y - hh + i;
        if (yy < 0 || yy >= image.height) continue;
        for (int32_t j = 0; j < filter.width; ++j) {
            const int32_t xx = x - hw + j;
            if (xx < 0 || xx >= image.width) continue;
            ++n;
            if (filter.HasRows())
                sum += static_cast<long double>(filter.Row(i)[j]) *
                       static_cast<uint16_t>(image.GetPixel(xx, yy));
        }
    }
    if (count) *count = n;
    return static_cast<double>(sum);
}

bool CorrelateClipped(const CMImageBase& image, const CFilter& filter, double* out) {
    if (!CorrelateInterior(image, filter, out)) return false;
    const int32_t w = image.width, h = image.height;
    const double divisor = filter.Divisor();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            if (KernelFits(filter, w, h, x, y)) {
                if (x == filter.width / 2) x = std::max(x, w - filter.width / 2 - 1);
                continue;
            }
            out[std::ptrdiff_t(y) * w + x] = CorrelateAt(image, filter, x, y) / divisor;
        }
    return true;
}

int ApplyFilter(CMImage& image, const COutline* outline, const CFilter& filter,
                bool normalisePartial, bool useDirect, const ProgressFn& progress) {
    if (!image.IsValid()) return -1;
    const int32_t w = image.width, h = image.height;
    const bool restricted = outline && !outline->empty();
    if (restricted) {
        for (const COutlinePoint& p : *outline)
            if (!(p.x >= 0 && p.x < w && p.y >= 0 && p.y < h)) return -1;
    }
    // Every element is written below (interior by the correlation, the rest
    // explicitly), so the buffer is not zero-filled first.
    CFloatBuffer m;
    if (!m.Allocate(std::size_t(w) * std::size_t(h))) return -1;
    image.InvalidateHistogram();
    // The correlation is nearly all of the work; the rest is one pass.
    constexpr double kCorrelationShare = 0.9;
    ProgressFn correlationProgress;
    if (progress) correlationProgress = [&](double f) { return progress(f * kCorrelationShare); };
    if (!CorrelateInterior(image, filter, m.data(), useDirect, correlationProgress)) return -1;
    const double cells = double(filter.width) * filter.height;
    auto border = [&](int32_t x, int32_t y) -> float {
        if (!normalisePartial) return 0.0f;
        int32_t n = 0;
        const double sum = CorrelateAt(image, filter, x, y, &n);
        const double d = filter.scale * n / cells;
        return static_cast<float>(d != 0.0 ? sum / d : sum);
    };
    float max = -FLT_MAX, min = FLT_MAX;
    if (!restricted) {
        const int32_t hw = filter.width / 2, hh = filter.height / 2;
        // Extremes per row, combined in row order afterwards.
        std::vector<float> rowMax(std::size_t(h), -FLT_MAX), rowMin(std::size_t(h), FLT_MAX);
        ParallelRows(0, h, 8, [&](int, int32_t first, int32_t last) {
            for (int32_t y = first; y < last; ++y) {
                float* row = m.data() + std::ptrdiff_t(y) * w;
                // Locals, not the vectors: stores to the row could alias them.
                float hi = -FLT_MAX, lo = FLT_MAX;
                const bool rowFits = y - hh >= 0 && y + hh < h && 2 * hw < w;
                for (int32_t x = 0; x < w; ++x) {
                    if (rowFits && x == hw) {
                        // The interior of the row was written by the correlation.
                        for (; x < w - hw; ++x) {
                            hi = std::max(hi, row[x]);
                            lo = std::min(lo, row[x]);
                        }
                        if (x >= w) break;
                    }
                    row[x] = border(x, y);
                    hi = std::max(hi, row[x]);
                    lo = std::min(lo, row[x]);
                }
                rowMax[std::size_t(y)] = hi;
                rowMin[std::size_t(y)] = lo;
            }
        });
        for (int32_t y = 0; y < h; ++y) {
            max = std::max(max, rowMax[std::size_t(y)]);
            min = std::min(min, rowMin[std::size_t(y)]);
        }
    } else {
        double top = (*outline)[0].y, bottom = top;
        for (const COutlinePoint& p : *outline) {
            top = std::min(top, p.y);
            bottom = std::max(bottom, p.y);
        }
        std::vector<float> kept(std::size_t(w) * std::size_t(h), 0.0f);
        for (int32_t y = int32_t(top); y < int32_t(bottom); ++y) {
            for (const auto& [xa, xb] : OutlineSpans(*outline, y)) {
                const int32_t last = std::min(int32_t(xb), w - 1);
                for (int32_t x = int32_t(xa) + 1; x <= last; ++x) {
                    const std::size_t k = std::size_t(y) * w + x;
                    const float v = KernelFits(filter, w, h, x, y) ? m[k] : border(x, y);
                    kept[k] = v;
                    max = std::max(max, v);
                    min = std::min(min, v);
                }
            }
        }
        std::copy(kept.begin(), kept.end(), m.data());
        if (max < min) max = min = 0.0f;  // nothing inside the outline
    }
    // The last chance to cancel: from here on the image is rewritten.
    if (progress && !progress(0.95)) return -1;
    if (!ImageFromRows(m.data(), w, h, max, min, &image)) return -1;
    if (progress) progress(1.0);
    return 0;
}

int ApplyWeightedMedian(CMImage& image, const CFilter& filter) {
    if (!image.IsValid()) return -1;
    const CMImage source(image);
    const int32_t w = image.width, h = image.height;
    const int32_t hw = filter.width / 2, hh = filter.height / 2;
    std::vector<double> products;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            products.clear();
            for (int32_t i = 0; i < filter.height; ++i) {
                const int32_t yy = y - hh + i;
                if (yy < 0 || yy >= h) continue;
                for (int32_t j = 0; j < filter.width; ++j) {
                    const int32_t xx = x - hw + j;
                    if (xx < 0 || xx >= w) continue;
                    const double c = filter.HasRows() ? filter.Row(i)[j] : 0.0;
                    products.push_back(c * static_cast<uint16_t>(source.GetPixel(xx, yy)));
                }
            }
            if (products.empty()) continue;
            auto mid = products.begin() + std::ptrdiff_t(products.size() / 2);
            std::nth_element(products.begin(), mid, products.end());
            const double v = std::clamp(*mid, 0.0, double(image.maxValue));
            image.SetPixel(x, y, static_cast<int32_t>(v));
        }
    }
    image.InvalidateHistogram();
    return 0;
}

std::unique_ptr<CMImage> EdgeMap(const CMImage& image, const CFilter& filter, double threshold) {
    if (!image.IsValid()) return nullptr;
    const int32_t w = image.width, h = image.height;
    std::vector<double> sums(std::size_t(w) * std::size_t(h), 0.0);
    if (!CorrelateClipped(image, filter, sums.data())) return nullptr;
    auto map = std::make_unique<CMImage>();
    if (!map->Create(w, h, image.depth, 1)) return nullptr;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            if (sums[std::size_t(y) * w + x] > threshold) map->SetPixel(x, y, map->maxValue);
    return map;
}

std::unique_ptr<CMImage> EdgeMaps(const CMImage& image, const CFilter* const* filters, int count,
                                  double threshold) {
    if (!image.IsValid()) return nullptr;
    auto result = std::make_unique<CMImage>();
    if (!result->Create(image.width, image.height, image.depth, 1)) return nullptr;
    for (int k = 0; k < count && filters; ++k) {
        if (!filters[k]) continue;
        auto map = EdgeMap(image, *filters[k], threshold);
        if (!map) return nullptr;
        for (std::size_t b = 0; b < result->ByteCount(); ++b) result->data[b] |= map->data[b];
    }
    return result;
}

namespace {

std::unique_ptr<CMImage> RescaledDifference(const CMImage& image, std::vector<double>& v) {
    const int32_t w = image.width, h = image.height;
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    const double min = *lo, max = *hi;
    auto result = std::make_unique<CMImage>();
    if (!result->Create(w, h, image.depth, 0)) return nullptr;
    // A constant difference has no range to stretch; it maps to 0 rather than
    // dividing by zero.
    const double factor = max > min ? double(image.maxValue) / (max - min) : 0.0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            result->SetPixel(
                x, y, static_cast<int32_t>(std::trunc((v[std::size_t(y) * w + x] - min) * factor)));
    return result;
}

}  // namespace

std::unique_ptr<CMImage> DifferenceOfGaussians(const CMImage& image, double weight,
                                               const CFilter& filter1, const CFilter& filter2) {
    if (!image.IsValid()) return nullptr;
    const std::size_t n = std::size_t(image.width) * std::size_t(image.height);
    std::vector<double> s1(n, 0.0), s2(n, 0.0);
    if (!CorrelateClipped(image, filter1, s1.data()) ||
        !CorrelateClipped(image, filter2, s2.data()))
        return nullptr;
    for (std::size_t k = 0; k < n; ++k) s1[k] = weight * s1[k] - s2[k];
    return RescaledDifference(image, s1);
}

std::unique_ptr<CMImage> SubtractGaussian(const CMImage& image, const CFilter& filter) {
    if (!image.IsValid()) return nullptr;
    const int32_t w = image.width;
    const std::size_t n = std::size_t(w) * std::size_t(image.height);
    std::vector<double> s(n, 0.0);
    if (!CorrelateClipped(image, filter, s.data())) return nullptr;
    for (std::size_t k = 0; k < n; ++k)
        s[k] = static_cast<uint16_t>(image.GetPixel(int32_t(k % w), int32_t(k / w))) - s[k];
    return RescaledDifference(image, s);
}

}  // namespace vistrel
