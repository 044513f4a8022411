#include "detection/breast_segment.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "core/text.h"
#include "filters/morph_se.h"
#include "filters/morphology.h"
#include "regions/extract_regions.h"

namespace vistrel {

namespace {

constexpr double kReduction = 0.05;

// The stored sample as an unsigned value (GetPixel is signed for 16 bits).
int32_t StoredSample(const CMImageBase& image, int32_t x, int32_t y) {
    if (image.depth > 8) return image.Row16(y)[x];
    return static_cast<uint16_t>(image.GetPixel(x, y));
}

// The stored sample, or 0 outside the image.
int32_t SampleOrZero(const CMImageBase& image, int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return 0;
    return StoredSample(image, x, y);
}

// Truncation of a threshold to the integer the histogram functions take,
// clamped so that a wild double never overflows the conversion.
int32_t TruncToInt(double v) {
    if (!(v == v)) return 0;
    constexpr double kLo = std::numeric_limits<int32_t>::min();
    constexpr double kHi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(v, kLo, kHi));
}

// The histogram of the part of rect inside the image; empty when nothing of
// it lies inside (GetHistogramInRect would fall back to the whole image).
CHistogram HistogramInClippedRect(CMImage& image, CRect rect) {
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::min(rect.right, image.width);
    rect.bottom = std::min(rect.bottom, image.height);
    if (rect.IsEmpty()) return CHistogram();
    return image.GetHistogramInRect(rect);
}

double MeanAboveMin(CHistogram& h) {
    if (h.IsEmpty()) return 0.0;
    double mean = 0.0, sd = 0.0;
    h.GetMeanStdAboveMin(mean, sd);
    return mean;
}

// Sets columns x0..x1 (clipped) of row y to value, whole bytes at a time
// where the depth allows.
void FillSpan(CMImageBase& target, int32_t y, int32_t x0, int32_t x1, int32_t value) {
    x0 = std::max(x0, 0);
    x1 = std::min(x1, target.width - 1);
    if (x0 > x1 || y < 0 || y >= target.height) return;
    uint8_t* row = target.Row(y);
    switch (target.depth) {
        case 8:
            std::memset(row + x0, value & 0xFF, static_cast<std::size_t>(x1 - x0 + 1));
            return;
        case 1: {
            const uint8_t fill = (value & 1) ? 0xFF : 0x00;
            int32_t x = x0;
            for (; x <= x1 && (x & 7); ++x)
                CMImageBase::SetPixelIn(target.data, target.bytesPerRow, 1, x, y, value);
            const int32_t fullEnd = ((x1 + 1) / 8) * 8;
            if (x < fullEnd) {
                std::memset(row + (x >> 3), fill, static_cast<std::size_t>((fullEnd - x) >> 3));
                x = fullEnd;
            }
            for (; x <= x1; ++x)
                CMImageBase::SetPixelIn(target.data, target.bytesPerRow, 1, x, y, value);
            return;
        }
        default:
            if (target.depth > 8) {
                uint16_t* r16 = target.Row16(y);
                std::fill(r16 + x0, r16 + x1 + 1, static_cast<uint16_t>(value));
                return;
            }
            for (int32_t x = x0; x <= x1; ++x)
                CMImageBase::SetPixelIn(target.data, target.bytesPerRow, target.depth, x, y, value);
    }
}

// One edge of the polygon in the active edge table, from its upper vertex
// (x0, y0) down by (dx, dy), dy > 0.
struct CEdge {
    int32_t index;  // edge k joins vertex k and vertex k + 1 (mod n)
    int64_t x0, y0, dx, dy;
    // The crossing with row y, truncated: x0 + (y - y0) dx / dy computed
    // exactly, so that long edges do not drift as a running sum would.
    int64_t CrossingAt(int64_t y) const { return (x0 * dy + (y - y0) * dx) / dy; }
};

// The active edge table of the scan conversion: edges enter at the row after
// their upper vertex and leave at the row after their lower one. Leaving
// edges are only marked and dropped in one sweep per row, so a contour with
// many edges active at once costs no more than one pass over them per row.
class CAET {
  public:
    explicit CAET(std::size_t edgeCount) : leaving_(edgeCount, 0) {}
    void Enter(int32_t index, CPoint upper, CPoint lower) {
        leaving_[std::size_t(index)] = 0;
        edges_.push_back(
            {index, upper.x, upper.y, int64_t{lower.x} - upper.x, int64_t{lower.y} - upper.y});
    }
    void Leave(int32_t index) {
        leaving_[std::size_t(index)] = 1;
        anyLeaving_ = true;
    }
    // The crossings of row y, in order.
    void Crossings(int64_t y, std::vector<int64_t>& out) {
        if (anyLeaving_) {
            edges_.erase(std::remove_if(edges_.begin(), edges_.end(),
                                        [this](const CEdge& e) {
                                            return leaving_[std::size_t(e.index)] != 0;
                                        }),
                         edges_.end());
            anyLeaving_ = false;
        }
        out.clear();
        for (const CEdge& e : edges_) out.push_back(e.CrossingAt(y));
        if (!std::is_sorted(out.begin(), out.end())) std::sort(out.begin(), out.end());
    }

  private:
    std::vector<CEdge> edges_;
    std::vector<uint8_t> leaving_;
    bool anyLeaving_ = false;
};

// FillContour, also counting the pixels given the inside value.
int32_t FillContourCounting(CMImageBase& target, const CBreastSgt& contour, bool fillOutside,
                            int32_t outsideValue, bool fillInside, int32_t insideValue,
                            int64_t& insidePixels) {
    insidePixels = 0;
    if (!target.IsValid() || contour.IsEmpty()) return 0;
    const std::vector<CPoint>& pts = contour.Points();
    const CRect box = contour.Bounds();
    const int32_t minX = box.left, maxX = box.right - 1, top = box.top, bottom = box.bottom - 1;
    if (maxX <= minX || bottom <= top) return 0;
    if (minX < 0 || top < 0 || maxX > target.width || bottom > target.height) return 0;

    if (fillOutside) {
        for (int32_t y = 0; y <= top; ++y) FillSpan(target, y, 0, target.width - 1, outsideValue);
        for (int32_t y = bottom; y < target.height; ++y)
            FillSpan(target, y, 0, target.width - 1, outsideValue);
    }

    // The last point repeats the first in a closed contour; an open one is
    // closed implicitly rather than read past its end.
    const std::size_t n =
        (pts.size() > 1 && pts.back() == pts.front()) ? pts.size() - 1 : pts.size();
    // Vertices by row, so that each row finds its own without a full pass.
    std::vector<int32_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int32_t>(i);
    std::sort(order.begin(), order.end(),
              [&pts](int32_t a, int32_t b) { return pts[a].y < pts[b].y; });

    CAET aet(n);
    std::vector<int64_t> cross;
    std::size_t next = 0;
    int32_t rows = 0;
    const int64_t lastColumn = target.width - 1;
    for (int32_t y = top; y < bottom; ++y) {
        while (next < n && pts[order[next]].y + int64_t{1} < y) ++next;
        for (; next < n && pts[order[next]].y + int64_t{1} == y; ++next) {
            const int32_t i = order[next];
            const CPoint v = pts[i];
            const int32_t prevIndex = static_cast<int32_t>((i + n - 1) % n);
            const int32_t nextIndex = static_cast<int32_t>((i + 1) % n);
            // (neighbour, the edge joining it to v)
            const std::pair<int32_t, int32_t> around[2] = {{prevIndex, prevIndex}, {nextIndex, i}};
            for (const auto& [u, edge] : around) {
                const CPoint up = pts[u];
                if (up.y < y)
                    aet.Leave(edge);
                else
                    aet.Enter(edge, v, up);
            }
        }
        aet.Crossings(y, cross);
        const std::size_t pairs = cross.size() / 2;
        if (fillInside) {
            for (std::size_t k = 0; k < pairs; ++k) {
                const int64_t a = std::max<int64_t>(cross[2 * k] + 1, 0);
                const int64_t b = std::min(cross[2 * k + 1], lastColumn);
                if (a <= b) {
                    FillSpan(target, y, static_cast<int32_t>(a), static_cast<int32_t>(b),
                             insideValue);
                    insidePixels += b - a + 1;
                }
            }
            ++rows;
        }
        if (fillOutside) {
            int64_t from = 0;
            for (std::size_t k = 0; k < pairs; ++k) {
                const int64_t to = std::min(cross[2 * k] - 1, lastColumn);
                if (from <= to)
                    FillSpan(target, y, static_cast<int32_t>(std::max<int64_t>(from, 0)),
                             static_cast<int32_t>(to), outsideValue);
                from = cross[2 * k + 1] + 1;
            }
            if (from <= lastColumn)
                FillSpan(target, y, static_cast<int32_t>(std::max<int64_t>(from, 0)),
                         static_cast<int32_t>(lastColumn), outsideValue);
        }
    }
    return rows;
}

}  // namespace

std::unique_ptr<CMImage> ScaleByFactor(const CMImage& image, double factor) {
    if (!image.IsValid() || !(factor > 0.0) || !std::isfinite(factor)) return nullptr;
    const double w = std::floor(double(image.width) * factor);
    const double h = std::floor(double(image.height) * factor);
    if (w < 1.0 || h < 1.0 || w > double(INT32_MAX) || h > double(INT32_MAX)) return nullptr;
    auto out = std::make_unique<CMImage>();
    if (!out->Create(static_cast<int32_t>(w), static_cast<int32_t>(h), image.depth)) return nullptr;
    out->maxValue = image.maxValue;
    out->valueOffset = 0;
    // Source columns 0, s, 2s, ... with the whole step of 1/f (at least one
    // pixel, or an enlargement would never advance).
    const double s = 1.0 / factor;
    const int64_t step =
        s >= double(INT32_MAX) ? int64_t{INT32_MAX} : std::max<int64_t>(1, static_cast<int64_t>(s));
    for (int64_t y = 0; y < image.height; y += step) {
        const int64_t ty = static_cast<int64_t>(double(y) * factor);
        if (ty >= out->height) continue;
        for (int64_t x = 0; x < image.width; x += step) {
            const int64_t tx = static_cast<int64_t>(double(x) * factor);
            if (tx >= out->width) continue;
            CMImageBase::SetPixelIn(
                out->data, out->bytesPerRow, out->depth, static_cast<int32_t>(tx),
                static_cast<int32_t>(ty),
                StoredSample(image, static_cast<int32_t>(x), static_cast<int32_t>(y)));
        }
    }
    return out;
}

std::unique_ptr<CMImage> ThresholdBands(const CMImage& image, double& low, double& high,
                                        bool noCleanup, bool middleHigh) {
    if (!image.IsValid()) return nullptr;
    const double vo = image.valueOffset;
    const double m = image.maxValue;
    if (high == -vo) high = low;
    if (low > high) high = low;
    if (low < -vo) low = high;
    if (m - vo < high) high = low;

    const bool bands = high != low;
    const int32_t f = bands ? 15 : 1;
    auto out = std::make_unique<CMImage>();
    if (!out->Create(image.width, image.height, bands ? 4 : 1)) return nullptr;
    const double lo = vo + low;
    const double up = vo + high;
    const int32_t above = middleHigh ? f / 2 : f;
    const int32_t between = middleHigh ? f : f / 2;

    const int32_t w = image.width;
    const int32_t h = image.height;
    std::vector<uint8_t> q;
    try {
        q.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const double v = StoredSample(image, x, y);
            q[std::size_t(y) * w + x] =
                static_cast<uint8_t>(v <= lo ? 0 : (v > up ? above : between));
        }

    if (!noCleanup) {
        const auto at = [&](int32_t x, int32_t y) -> uint8_t& { return q[std::size_t(y) * w + x]; };
        const auto fNeighbours = [&](int32_t x, int32_t y) {
            int count = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    if (!dx && !dy) continue;
                    const int32_t nx = x + dx, ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < w && ny < h && at(nx, ny) == f) ++count;
                }
            return count;
        };
        // (a) Repeated passes that drop F pixels with at most one F neighbour
        // end in the same set whatever the order of removal (a removal only
        // lowers neighbour counts), so one queue does the work of all passes.
        std::vector<int32_t> queue;
        std::vector<uint8_t> queued(q.size(), 0);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                if (at(x, y) == f && fNeighbours(x, y) <= 1) {
                    queue.push_back(y * w + x);
                    queued[std::size_t(y) * w + x] = 1;
                }
        while (!queue.empty()) {
            const int32_t p = queue.back();
            queue.pop_back();
            const int32_t x = p % w, y = p / w;
            at(x, y) = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int32_t nx = x + dx, ny = y + dy;
                    if ((!dx && !dy) || nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    const std::size_t ni = std::size_t(ny) * w + nx;
                    if (!queued[ni] && q[ni] == f && fNeighbours(nx, ny) <= 1) {
                        queued[ni] = 1;
                        queue.push_back(static_cast<int32_t>(ni));
                    }
                }
        }
        // (b) F pixels with an empty ring at distance 2 go with their 8 neighbours.
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                if (at(x, y) != f) continue;
                bool ringSet = false;
                for (int dy = -2; dy <= 2 && !ringSet; ++dy)
                    for (int dx = -2; dx <= 2; ++dx) {
                        if (std::abs(dx) != 2 && std::abs(dy) != 2) continue;
                        const int32_t nx = x + dx, ny = y + dy;
                        if (nx >= 0 && ny >= 0 && nx < w && ny < h && at(nx, ny) != 0) {
                            ringSet = true;
                            break;
                        }
                    }
                if (ringSet) continue;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int32_t nx = x + dx, ny = y + dy;
                        if (nx >= 0 && ny >= 0 && nx < w && ny < h) at(nx, ny) = 0;
                    }
            }
    }

    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            CMImageBase::SetPixelIn(out->data, out->bytesPerRow, out->depth, x, y,
                                    q[std::size_t(y) * w + x]);
    return out;
}

int32_t FillContour(CMImageBase& target, const CBreastSgt& contour, bool fillOutside,
                    int32_t outsideValue, bool fillInside, int32_t insideValue) {
    int64_t inside = 0;
    return FillContourCounting(target, contour, fillOutside, outsideValue, fillInside, insideValue,
                               inside);
}

CMImageBase MakeBreastMask(const CBreastSgt& contour, int32_t width, int32_t height) {
    CMImageBase mask;
    if (width <= 0 || height <= 0 || !mask.Create(width, height, 1, 0)) return CMImageBase();
    std::memset(mask.data, 0, mask.ByteCount());
    int64_t inside = 0;
    FillContourCounting(mask, contour, true, 0, true, 1, inside);
    if (inside == 0) return CMImageBase();
    return mask;
}

int BreastSideTest(const CMImage& image, int bandWidth) {
    if (!image.IsValid()) return kViewRight;
    const int32_t band = std::clamp(bandWidth, 1, std::max(1, image.width / 2));
    // GetHistogramInRect leaves the image (and its cached histogram) alone
    // for a rectangle inside it; it is only not declared const.
    CMImage& im = const_cast<CMImage&>(image);
    CHistogram left = HistogramInClippedRect(im, {0, 0, band, image.height});
    CHistogram right =
        HistogramInClippedRect(im, {image.width - band, 0, image.width, image.height});
    return MeanAboveMin(left) > MeanAboveMin(right) ? kViewLeft : kViewRight;
}

std::vector<std::unique_ptr<CMImage>> SegmentBreast(CMImage& image, CBreastSgt& contour,
                                                    int32_t view, int32_t projection,
                                                    bool automatic, double& low, double& high,
                                                    int32_t startX, int stage, bool logImages,
                                                    std::string& log, CSegmentReport* report) {
    std::vector<std::unique_ptr<CMImage>> images;
    // Every failure leaves no contour, so a stale outline never survives a run.
    contour.Clear();
    if (!image.IsValid()) return images;
    const int32_t W = image.width;
    const int32_t H = image.height;

    // 1. The reduced copy and the whole-image histogram.
    std::unique_ptr<CMImage> reduced = ScaleByFactor(image, kReduction);
    if (!reduced) return images;
    // The thresholds are true values (the histogram's axis): the reduced copy
    // keeps the stored samples, so it keeps their offset too, or an image
    // with an offset would be compared on two scales.
    reduced->valueOffset = image.valueOffset;
    CHistogram& hist = image.GetHistogram();
    if (hist.IsEmpty()) return images;
    const int32_t p97 = hist.Percentile(97);

    // 2. Projection from the brightness near the top and the bottom.
    if (projection == kProjectionAuto) {
        const int32_t a = H / 100;
        const int32_t d = H / 20;
        CHistogram t = HistogramInClippedRect(image, {0, d, W, d + a});
        CHistogram b = HistogramInClippedRect(image, {0, H - d - a, W, H - d});
        const double mT = MeanAboveMin(t);
        const double mB = MeanAboveMin(b);
        double sT = 0.0, kT = 0.0;
        if (!t.IsEmpty()) t.GetSkewnessKurtosis(sT, kT);
        projection = (4.0 * mB < mT || (sT < 1.0 && kT < 0.0)) ? 1 : 0;
    }
    if (projection != 1) projection = 0;

    // 3. Start row.
    const int32_t y0 = static_cast<int32_t>(int64_t{projection == 0 ? 3 : 5} * H / 8);

    // 4. View from two boxes at mid-height.
    if (view == kViewAuto) {
        const int32_t a = W / 10;
        const int32_t bw = W / 20;
        const int32_t bh = H / 20;
        CHistogram l = HistogramInClippedRect(image, {a, H / 2, a + bw, H / 2 + bh});
        CHistogram r = HistogramInClippedRect(image, {W - a, H / 2, W - a + bw, H / 2 + bh});
        view = MeanAboveMin(l) > MeanAboveMin(r) ? kViewLeft : kViewRight;
    }
    if (view != kViewRight) view = kViewLeft;

    // 5. Start column: the brightest pixel below the 97th percentile met on
    // the row, scanning from a quarter of the width towards the middle. The
    // scan's far end is kept inside the image.
    const int32_t vo = image.valueOffset;
    const auto trueAt = [&](int32_t x) { return StoredSample(image, x, y0) - vo; };
    int32_t x0 = 0;
    if (view == kViewLeft) {
        const int32_t first = W / 4;
        const int32_t e = std::clamp(W < startX ? W - 1 : startX, 0, W - 1);
        x0 = first;
        if (first <= e) {
            int32_t best = trueAt(first);
            for (int32_t x = first + 1; x <= e; ++x) {
                const int32_t v = trueAt(x);
                if (best < v && v < p97) {
                    best = v;
                    x0 = x;
                }
            }
        }
    } else {
        const int32_t first = static_cast<int32_t>(int64_t{3} * W / 4);
        const int64_t far = startX == W ? int64_t{W} - 1 : int64_t{W} - startX;
        const int32_t e = static_cast<int32_t>(std::clamp<int64_t>(far, 0, W - 1));
        x0 = first;
        if (first >= e) {
            int32_t best = trueAt(first);
            for (int32_t x = first - 1; x >= e; --x) {
                const int32_t v = trueAt(x);
                if (best < v && v < p97) {
                    best = v;
                    x0 = x;
                }
            }
        }
    }

    // 6. The start point on the reduced image (kept inside it).
    log += Format("View%d Projection%d\n startP(x,y)=(%d,%d)\n", view, projection, x0, y0);
    int32_t sx = static_cast<int32_t>(x0 * kReduction);
    int32_t sy = static_cast<int32_t>(y0 * kReduction);
    sx = std::clamp(sx, 0, reduced->width - 1);
    sy = std::clamp(sy, 0, reduced->height - 1);
    log += Format("scaled startP(x,y)=(%d,%d)\n", sx, sy);
    const int32_t vs = StoredSample(*reduced, sx, sy) - vo;
    if (report) *report = {view, projection, x0, y0};

    // 7. Thresholds. The histogram functions work on whole values: a
    // threshold goes in truncated and comes back as the whole value found.
    if (automatic) {
        int32_t mn = 0, mx = 0;
        hist.GetRange(mn, mx);
        low = (double(vs) + mn) * 0.5;
        log += Format("Val w startPoint=%d\n", vs);
        if (mn > low) low = mn;
        int32_t lowI = TruncToInt(low);
        hist.IterativeThreshold(lowI, mn, mx);
        low = lowI;
        double t1 = low + (mx - low) * 0.25;
        high = mx - (mx - low) * 0.125;
        int32_t t1I = TruncToInt(t1);
        int32_t highI = TruncToInt(high);
        hist.IterativeThreshold2(t1I, highI, 0.5, TruncToInt(low) + 100, hist.Percentile(99.5));
        high = highI;
        const auto thresholdsText = [&](const char* title) {
            return Format("%s: Low=%.2lf (%.2lf)  High=%.2lf (%.2lf)\n\n", title, low,
                          hist.PercentBelow(TruncToInt(low)), high,
                          hist.PercentBelow(TruncToInt(high)));
        };
        const char* accepted = "Thresholds MLO opt+2opt-stozek odcięty lub dużo białego tła";
        if (stage == kStageCone) {
            if (high <= low) {
                log += thresholdsText("Stozek nie da się oddzielić");
                return images;
            }
            log += thresholdsText(accepted);
        } else {
            const double pbHigh = hist.PercentBelow(TruncToInt(high));
            const double pbLow = hist.PercentBelow(TruncToInt(low));
            if (high > low && pbHigh >= 92.0 && pbHigh - pbLow >= 35.0) {
                log += thresholdsText(accepted);
            } else {
                high = hist.Percentile(99.7);
                if (high > 0.97 * image.maxValue) high = 0.97 * image.maxValue;
                log += thresholdsText("Thresholds MLO opt+pec");
            }
        }
        if (stage == kStageBatch) {
            if (mx > low + 200) low += 200;
        } else {
            if (mn < low - 400) low -= 400;
        }
    } else {
        low = hist.Percentile(low);
        high = hist.Percentile(high);
    }

    // 8. A start point outside the tissue band moves to the first band pixel
    // of the nearby columns. The search stays on the reduced image: outside
    // it there is no region to contain the point.
    if (vs <= low || vs >= high) {
        const int32_t rw = reduced->width;
        const int32_t rh = reduced->height;
        for (int32_t i = std::max(0, sx - rw / 5); i < sx + rw / 5 && i < rw; ++i) {
            const int32_t rowEnd = std::min(sy + rh / 5, rh);
            for (int32_t j = std::max(0, sy - rh / 5); j < rowEnd; ++j) {
                const int32_t v = SampleOrZero(*reduced, i, j) - vo;
                if (low < v && v < high) {
                    sx = i;
                    sy = j;
                    break;
                }
            }
        }
    }

    // 9.
    log += Format("Wyniki: startPoint(%d,%d): Low=%.2lf High=%.2lf", sx, sy, low, high);
    image.InvalidateHistogram();

    // 10. Quantise (on copies: the corrections are the quantiser's business).
    double lo = low;
    double hi = stage == kStageCone ? low : high;
    std::unique_ptr<CMImage> bands = ThresholdBands(*reduced, lo, hi, true, stage != kStageCone);
    reduced.reset();
    if (!bands) return images;

    // 11. Smooth: closing for the cone, opening for the breast.
    const CMorphSE circle(5, CMorphSE::kCircle);
    std::unique_ptr<CMImage> smoothed;
    if (stage == kStageCone) {
        if (auto d = Dilate(*bands, circle, 1)) smoothed = Erode(*d, circle, 1);
    } else {
        if (auto e = Erode(*bands, circle, 1)) smoothed = Dilate(*e, circle, 1);
    }
    if (logImages) images.push_back(std::move(bands));
    if (!smoothed) return images;

    // 12. The outline of the component holding the start point.
    const std::unique_ptr<CRegions> regions = ExtractRegions(*smoothed, smoothed->maxValue, 4);
    if (logImages) images.insert(images.begin(), std::move(smoothed));
    if (!regions || regions->IsEmpty()) return images;
    for (int32_t k = 0; k < regions->Count(); ++k) {
        const CRegion* region = regions->At(k);
        if (!region || region->BoundaryCount() == 0 || !region->Contains(sx, sy)) continue;
        std::vector<CPoint> points;
        points.reserve(region->Boundary().size());
        for (const CPoint& p : region->Boundary())
            points.push_back(
                {static_cast<int32_t>(p.x / kReduction), static_cast<int32_t>(p.y / kReduction)});
        contour.Set(std::move(points));
        break;
    }
    return images;
}

}  // namespace vistrel
