#include "detection/spot_detector.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>

#include "core/messages.h"
#include "core/text.h"
#include "filters/convolution.h"
#include "filters/parallel_rows.h"

namespace vistrel {

namespace {

bool MaskAllows(const CMImageBase* mask, int32_t x, int32_t y) {
    return !mask || !mask->IsValid() || mask->GetPixel(x, y) != 0;
}

bool MaskValid(const CMImageBase* mask) {
    return mask && mask->IsValid();
}

// The strict local-maximum test of (x, y) in an n x n window whose top-left
// corner is (x - n/2, y - n/2).
bool IsCandidate(const CResponseImage& r, int n, int32_t x, int32_t y, int32_t xmin, int32_t xmax,
                 int32_t ymin, int32_t ymax, const CMImageBase* mask, double threshold) {
    const int u = n / 2;
    if (x - u < xmin || x + u >= xmax || y - u < ymin || y + u >= ymax) return false;
    const float centre = r.At(x, y);
    if (!(double(centre) >= threshold)) return false;
    if (!MaskAllows(mask, x, y)) return false;
    for (int32_t yy = y - u; yy < y - u + n; ++yy) {
        const float* row = r.values.data() + std::size_t(yy) * r.width;
        for (int32_t xx = x - u; xx < x - u + n; ++xx) {
            if (xx == x && yy == y) continue;
            if (!(row[xx] < centre)) return false;
        }
    }
    return true;
}

class CTicker {
  public:
    void Stamp(std::string& log) {
        const auto now = std::chrono::steady_clock::now();
        const long s = long(std::chrono::duration_cast<std::chrono::seconds>(now - last_).count());
        last_ = now;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, " time (h:m:s): %d:%d:%d\n", int(s / 3600),
                      int(s / 60 % 60), int(s % 60));
        log += buffer;
    }

  private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace

std::unique_ptr<CMImage> GreyResponse(const CResponseImage& r) {
    auto image = std::make_unique<CMImage>();
    if (!image->Create(r.width, r.height, 8, 1)) return nullptr;
    const double span = r.max - r.min;
    for (int32_t y = 0; y < r.height; ++y) {
        const float* in = r.values.data() + std::size_t(y) * r.width;
        uint8_t* out = image->Row(y);
        for (int32_t x = 0; x < r.width; ++x) out[x] = GreyLevelOf(in[x], r.min, span);
    }
    return image;
}

bool ConvolveWithStats(const CMImage& image, const CFilter& kernel, const CMImageBase* skipMask,
                       const CMImageBase* statsMask, bool wantStats, CResponseImage& out,
                       bool useDirect, const ProgressFn& progress) {
    out.mean = out.stdDev = out.max = out.min = 0;
    if (!image.IsValid()) return false;
    const int32_t w = image.width, h = image.height;
    const std::size_t cells = std::size_t(w) * std::size_t(h);
    // The buffer of the previous scale is reused: only the band where this
    // kernel does not fit has to be cleared, the interior is overwritten.
    if (out.values.size() != cells || out.width != w || out.height != h) {
        out.width = out.height = 0;
        if (!out.values.Allocate(cells)) return false;
        out.width = w;
        out.height = h;
    }
    {
        const int32_t hw = std::min(kernel.width / 2, w), hh = std::min(kernel.height / 2, h);
        const bool fits = 2 * (kernel.width / 2) < w && 2 * (kernel.height / 2) < h;
        // Only the border band is written: too little work to share out.
        for (int32_t y = 0; y < h; ++y) {
            float* row = out.values.data() + std::size_t(y) * w;
            if (!fits || y < hh || y >= h - hh) {
                std::fill(row, row + w, 0.0f);
            } else {
                std::fill(row, row + hw, 0.0f);
                std::fill(row + w - hw, row + w, 0.0f);
            }
        }
    }
    const bool skip = MaskValid(skipMask);
    const bool restrict = MaskValid(statsMask);
    // Without masks the sums and extremes are gathered by the convolution while
    // each row is in the cache; the rows it does not reach hold only zeros.
    const bool fused = wantStats && !skip && !restrict;
    std::vector<CRowFigures> figures(fused ? std::size_t(h) : 0);
    if (!CorrelateInterior(image, kernel, out.values.data(), useDirect,
                           fused ? figures.data() : nullptr, progress))
        return false;
    if (skip) {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                if (skipMask->GetPixel(x, y) == 0) out.values[std::size_t(y) * w + x] = 0.0f;
    }
    if (!wantStats) return true;
    double max = -DBL_MAX, min = DBL_MAX;
    std::vector<double> rowSum(std::size_t(h), 0.0);
    if (fused) {
        const bool zeros = kernel.width > 1 || kernel.height > 1 || !kernel.HasRows() ||
                           w <= 2 * (kernel.width / 2) || h <= 2 * (kernel.height / 2);
        if (zeros) max = min = 0.0;
        for (int32_t y = 0; y < h; ++y) {
            rowSum[std::size_t(y)] = figures[std::size_t(y)].sum;
            max = std::max(max, double(figures[std::size_t(y)].max));
            min = std::min(min, double(figures[std::size_t(y)].min));
        }
    } else {
        // Extremes per row, combined in row order afterwards.
        std::vector<double> rowMax(std::size_t(h), -DBL_MAX), rowMin(std::size_t(h), DBL_MAX);
        ParallelRows(0, h, 16, [&](int, int32_t first, int32_t last) {
            for (int32_t y = first; y < last; ++y) {
                const float* row = out.values.data() + std::size_t(y) * w;
                double sum = 0.0, hi = -DBL_MAX, lo = DBL_MAX;
                for (int32_t x = 0; x < w; ++x) {
                    if (skip && skipMask->GetPixel(x, y) == 0) continue;
                    const double v = row[x];
                    hi = std::max(hi, v);
                    lo = std::min(lo, v);
                    if (!restrict || statsMask->GetPixel(x, y) != 0) sum += v;
                }
                rowSum[std::size_t(y)] = sum;
                rowMax[std::size_t(y)] = hi;
                rowMin[std::size_t(y)] = lo;
            }
        });
        for (int32_t y = 0; y < h; ++y) {
            max = std::max(max, rowMax[std::size_t(y)]);
            min = std::min(min, rowMin[std::size_t(y)]);
        }
    }
    double sum = 0.0;
    for (double s : rowSum) sum += s;
    const double count = double(w) * double(h);
    const double mean = sum / count;
    if (fused) {
        // Sum of (r - mean)^2 = sum of r^2 - mean * sum of r: the same figure to
        // double rounding (far below the float the deviation is kept in),
        // without a second pass over the whole response.
        double squares = 0.0;
        for (const CRowFigures& f : figures) squares += f.sumOfSquares;
        const double deviations = std::max(0.0, squares - mean * sum);
        out.mean = mean;
        out.stdDev = std::sqrt(double(static_cast<float>(deviations / count)));
        out.max = max;
        out.min = min;
        return true;
    }
    ParallelRows(0, h, 16, [&, mean, w](int, int32_t first, int32_t last) {
        for (int32_t y = first; y < last; ++y) {
            const float* row = out.values.data() + std::size_t(y) * w;
            // Eight interleaved lanes in a fixed order (see the row sums).
            double lanes[8] = {};
            if (!restrict) {
                int32_t x = 0;
                for (; x + 8 <= w; x += 8)
                    for (int k = 0; k < 8; ++k) {
                        const double d = row[x + k] - mean;
                        lanes[k] += d * d;
                    }
                for (; x < w; ++x) lanes[0] += (row[x] - mean) * (row[x] - mean);
            } else {
                for (int32_t x = 0; x < w; ++x) {
                    if (statsMask->GetPixel(x, y) == 0) continue;
                    const double d = row[x] - mean;
                    lanes[x % 8] += d * d;
                }
            }
            rowSum[std::size_t(y)] = ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) +
                                     ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
        }
    });
    double sum2 = 0.0;
    for (double s : rowSum) sum2 += s;
    out.mean = mean;
    out.stdDev = std::sqrt(double(static_cast<float>(sum2 / count)));
    out.max = max == -DBL_MAX ? 0.0 : max;
    out.min = min == DBL_MAX ? 0.0 : min;
    return true;
}

void FindLogMaxima(int n, int m, std::vector<CLogPath>& paths, const CResponseImage& r,
                   int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax, const CMImageBase* mask,
                   double threshold, int32_t previousX, int32_t previousY, std::size_t pathIndex,
                   int h, int hMIN, int hMAX) {
    xmin = std::max(xmin, 0);
    ymin = std::max(ymin, 0);
    xmax = std::min(xmax, r.width);
    ymax = std::min(ymax, r.height);
    if (previousX == -2 && previousY == -2) {
        if (ymax <= ymin || xmax <= xmin) return;
        // Rows are scanned in parallel into per-row lists, joined in row order
        // so that the paths keep the scan order.
        std::vector<std::vector<int32_t>> found(std::size_t(ymax - ymin));
        ParallelRows(ymin, ymax, 32, [&](int, int32_t first, int32_t last) {
            for (int32_t y = first; y < last; ++y) {
                const float* row = r.values.data() + std::size_t(y) * r.width;
                std::vector<int32_t>& xs = found[std::size_t(y - ymin)];
                for (int32_t x = xmin; x < xmax; ++x) {
                    if (!(double(row[x]) >= threshold)) continue;  // cheap rejection first
                    if (IsCandidate(r, n, x, y, xmin, xmax, ymin, ymax, mask, threshold))
                        xs.push_back(x);
                }
            }
        });
        std::size_t total = paths.size();
        for (const auto& xs : found) total += xs.size();
        paths.reserve(total);
        for (int32_t y = ymin; y < ymax; ++y)
            for (int32_t x : found[std::size_t(y - ymin)])
                paths.emplace_back(hMIN, hMAX, CPoint{x, y}, double(r.At(x, y)));
        return;
    }
    if (pathIndex >= paths.size()) return;
    if (previousX < xmin || previousX >= xmax || previousY < ymin || previousY >= ymax) return;
    const int l = m / 2;
    const int32_t x0 = std::max(previousX - l, xmin), x1 = std::min(previousX + l + 1, xmax);
    const int32_t y0 = std::max(previousY - l, ymin), y1 = std::min(previousY + l + 1, ymax);
    double best = 0.0;
    CPoint bestPoint{-1, -1};
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x) {
            if (!IsCandidate(r, n, x, y, xmin, xmax, ymin, ymax, mask, threshold)) continue;
            const double v = r.At(x, y);
            if (std::abs(v) > std::abs(best)) {
                best = v;
                bestPoint = {x, y};
            }
        }
    if (bestPoint.x != -1) paths[pathIndex].SetAt(h, bestPoint, best);
}

std::unique_ptr<CSpotList> CandidateListSSS(const CMImage& image, int hMIN, int hMAX, int increment,
                                            int n, int m, const CMImageBase* mask, std::string& log,
                                            const CDetectorOptions& options,
                                            const ProgressFn& progress) {
    if (!image.IsValid()) return nullptr;
    // The parameters travel as bytes.
    hMIN &= 0xFF;
    hMAX &= 0xFF;
    increment &= 0xFF;
    n &= 0xFF;
    m &= 0xFF;
    // A scale of 0 has no kernel and an increment of 0 would never advance.
    if (hMIN < 1 || hMAX < hMIN || increment < 1) return nullptr;
    const int32_t w = image.width, h = image.height;
    std::vector<float> means(std::size_t(hMAX - hMIN + 1), 0.0f);
    std::vector<float> deviations(means.size(), 0.0f);
    CTicker ticker;
    auto threshold = [&](int s) {
        return double(means[std::size_t(s - hMIN)]) +
               kScaleThresholdFactor * double(deviations[std::size_t(s - hMIN)]);
    };

    // Each scale's share of the progress is its kernel width, which the time
    // of its convolution follows; the fraction only ever grows.
    std::vector<double> shares;
    for (int s = hMIN; progress && s <= hMAX; s += increment)
        shares.push_back(double(MakeLoGFilter(s).width));
    double total = 0.0;
    for (double share : shares) total += share;
    double finished = 0.0;
    bool cancelled = false;
    std::size_t step = 0;
    auto scaleProgress = [&]() -> ProgressFn {
        if (!progress) return {};
        const double from = finished, share = shares[step];
        return [&, from, share](double f) {
            if (!progress((from + f * share) / total)) cancelled = true;
            return !cancelled;
        };
    };
    // After a scale: its share is done; false when the user cancelled.
    auto scaleDone = [&]() {
        if (!progress) return true;
        finished += shares[step++];
        return progress(finished / total);
    };

    CResponseImage response;
    CFilter kernel = MakeLoGFilter(hMIN);
    if (!ConvolveWithStats(image, kernel, mask, mask, true, response, options.useDirect,
                           scaleProgress()))
        return nullptr;
    means[0] = static_cast<float>(response.mean);
    deviations[0] = static_cast<float>(response.stdDev);
    log += Format("CandidateListSSS-ConvolveLoG(hMIN=%d) ", hMIN);
    log += Format("Obraz LOG dla hMIN=%d: mean=%lf stdDev=%lf T=%lf\n", hMIN, double(means[0]),
                  double(deviations[0]), threshold(hMIN));
    ticker.Stamp(log);
    if (options.responseImages) {
        options.responseImages->emplace_back(Format("h=%d", hMIN), GreyResponse(response));
    }
    if (options.scaleStatistics)
        options.scaleStatistics->push_back(
            {hMIN, double(means[0]), double(deviations[0]), response.min, response.max});

    std::vector<CLogPath> paths;
    FindLogMaxima(n, m, paths, response, kernel.width / 2, w - kernel.width / 2, kernel.height / 2,
                  h - kernel.height / 2, mask, threshold(hMIN), -2, -2, 0, hMIN, hMIN, hMAX);
    if (paths.empty()) return nullptr;
    log += Format("CandidateListSSS-LocalMaxima_(hMIN=%d) ", hMIN);
    ticker.Stamp(log);
    if (!scaleDone()) return nullptr;

    for (int s = hMIN + increment; s <= hMAX; s += increment) {
        kernel = MakeLoGFilter(s);
        if (!ConvolveWithStats(image, kernel, mask, mask, true, response, options.useDirect,
                               scaleProgress())) {
            if (cancelled) return nullptr;
            break;
        }
        means[std::size_t(s - hMIN)] = static_cast<float>(response.mean);
        deviations[std::size_t(s - hMIN)] = static_cast<float>(response.stdDev);
        log += Format("CandidateListSSS-ConvolveLoG_(h=%d) ", s);
        log += Format("Obraz LOG dla h=%d: mean=%lf stdDev=%lf T=%lf\n", s,
                      double(means[std::size_t(s - hMIN)]),
                      double(deviations[std::size_t(s - hMIN)]), threshold(s));
        ticker.Stamp(log);
        if (options.responseImages) {
            options.responseImages->emplace_back(Format("h=%d", s), GreyResponse(response));
        }
        if (options.scaleStatistics)
            options.scaleStatistics->push_back({s, double(means[std::size_t(s - hMIN)]),
                                                double(deviations[std::size_t(s - hMIN)]),
                                                response.min, response.max});
        const double t = threshold(s);
        for (std::size_t p = 0; p < paths.size(); ++p) {
            const CPoint previous = paths[p].PointAt(s - increment);
            if (previous.x == -1 && previous.y == -1) continue;
            FindLogMaxima(n, m, paths, response, kernel.width / 2, w - kernel.width / 2,
                          kernel.height / 2, h - kernel.height / 2, mask, t, previous.x, previous.y,
                          p, s, hMIN, hMAX);
        }
        log += Format("CandidateListSSS-LocalMaxima_(h=%d) ", s);
        ticker.Stamp(log);
        if (!scaleDone()) return nullptr;
    }
    response = CResponseImage();

    auto spots = std::make_unique<CSpotList>();
    CUniqueSpotAdder unique(*spots, paths.size());
    // Each path's best entry is found once and the paths are put in lists by
    // its scale, in path order: the same sequence as a pass over all paths
    // per scale.
    std::vector<std::vector<const CPointResponse*>> byScale(std::size_t(hMAX - hMIN + 1));
    for (const CLogPath& path : paths) {
        const CPointResponse* best = path.BestEntry();
        if (!best || best->values.empty()) continue;
        const double scale = best->values[kSpotScale];
        if (!(scale >= hMIN && scale <= hMAX) || scale != std::floor(scale)) continue;
        byScale[std::size_t(int(scale) - hMIN)].push_back(best);
    }
    for (int s = hMIN; s <= hMAX; ++s) {
        for (const CPointResponse* best : byScale[std::size_t(s - hMIN)]) {
            if (!best->IsSet()) {
                messages().show("pr.point.x==-1");
                continue;
            }
            if (!MaskAllows(mask, best->x, best->y)) continue;
            if (s == options.excludedScale) continue;
            const double meanMin = means[0], sdMin = deviations[0];
            if (options.parN != 0.0 && !(meanMin + options.parN * sdMin <= best->response))
                continue;
            CPointResponse spot;
            spot.x = best->x;
            spot.y = best->y;
            spot.response = best->response;
            spot.values.reserve(best->values.size() + 5);
            spot.values = best->values;
            const double r = spot.response;
            spot.Append(r > 0 ? r * r : (r < 0 ? -r * r : 0.0));
            spot.Append(meanMin);
            spot.Append(sdMin);
            spot.Append(means[std::size_t(s - hMIN)]);
            spot.Append(deviations[std::size_t(s - hMIN)]);
            // Equal spots (paths merged into one point) are kept once.
            unique.Add(std::move(spot));
        }
    }
    log += "CandidateListSSS-Create seeds ";
    ticker.Stamp(log);
    paths.clear();
    log += "CandidateListSSS-remove Logpath ";
    ticker.Stamp(log);
    return spots;
}

namespace {

// Local mean and population standard deviation of a response over the
// kernel-sized window around each point, clipped to the valid area
// [xmin, xmax) x [ymin, ymax). One sweep down the rows keeps per-column sums
// of the window's rows, so the cost is one pass over the response plus one
// row of prefix sums per row holding points, whatever the number of points
// and the window size: summing a window per point and scale made seed
// preparation on a full-field mammogram take many minutes.
void LocalStats(const CResponseImage& r, const std::vector<CPoint>& points, int32_t half,
                int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                std::vector<std::pair<double, double>>& out) {
    out.assign(points.size(), {0.0, 0.0});
    if (points.empty() || xmin >= xmax || ymin >= ymax) return;
    std::vector<std::size_t> order(points.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return points[a].y < points[b].y; });
    const std::size_t width = std::size_t(xmax - xmin);
    std::vector<double> col(width, 0.0), col2(width, 0.0);
    std::vector<double> pre(width + 1, 0.0), pre2(width + 1, 0.0);
    auto addRow = [&](int32_t y, double sign) {
        const float* row = r.values.data() + std::size_t(y) * std::size_t(r.width) + xmin;
        for (std::size_t x = 0; x < width; ++x) {
            const double v = row[x];
            col[x] += sign * v;
            col2[x] += sign * v * v;
        }
    };
    int32_t top = ymin, bottom = ymin;  // rows [top, bottom) are in the column sums
    for (std::size_t k = 0; k < order.size();) {
        const int32_t y = points[order[k]].y;
        const auto newTop = int32_t(std::clamp(int64_t(y) - half, int64_t(ymin), int64_t(ymax)));
        const auto newBottom =
            int32_t(std::clamp(int64_t(y) + half + 1, int64_t(newTop), int64_t(ymax)));
        if (newTop >= bottom) {  // no row in common with the last window
            std::fill(col.begin(), col.end(), 0.0);
            std::fill(col2.begin(), col2.end(), 0.0);
            top = bottom = newTop;
        }
        for (; top < newTop; ++top) addRow(top, -1.0);
        for (; bottom < newBottom; ++bottom) addRow(bottom, 1.0);
        for (std::size_t x = 0; x < width; ++x) {
            pre[x + 1] = pre[x] + col[x];
            pre2[x + 1] = pre2[x] + col2[x];
        }
        const double rows = double(bottom - top);
        for (; k < order.size() && points[order[k]].y == y; ++k) {
            const CPoint p = points[order[k]];
            const int64_t x0 = std::clamp(int64_t(p.x) - half, int64_t(xmin), int64_t(xmax));
            const int64_t x1 = std::clamp(int64_t(p.x) + half + 1, x0, int64_t(xmax));
            const double count = rows * double(x1 - x0);
            if (count <= 0) continue;
            const double sum = pre[std::size_t(x1 - xmin)] - pre[std::size_t(x0 - xmin)];
            const double sum2 = pre2[std::size_t(x1 - xmin)] - pre2[std::size_t(x0 - xmin)];
            const double mean = sum / count;
            out[order[k]] = {mean, std::sqrt(std::max(0.0, sum2 / count - mean * mean))};
        }
    }
}

}  // namespace

std::unique_ptr<CSpotList> CandidateListSeeds(const CMImage& image, int hMIN, int hMAX,
                                              int increment, int n, int m, const CMImageBase* mask,
                                              std::string& log, const ProgressFn& progress) {
    if (!image.IsValid()) return nullptr;
    hMIN &= 0xFF;
    hMAX &= 0xFF;
    increment &= 0xFF;
    n &= 0xFF;
    m &= 0xFF;
    if (hMIN < 1 || hMAX < hMIN || increment < 1) return nullptr;
    const int32_t w = image.width, h = image.height;
    const double noThreshold = -DBL_MAX;
    CTicker ticker;
    // Local statistics of each path's entries, taken while the response of
    // that scale exists: [path][scale - hMIN] = (mean, stdDev).
    std::vector<std::vector<std::pair<double, double>>> local;

    CResponseImage response;
    CFilter kernel = MakeLoGFilter(hMIN);
    if (!ConvolveWithStats(image, kernel, mask, nullptr, false, response)) return nullptr;
    log += Format("CandidateListSSS-ConvolveLoG(hMIN=%d) ", hMIN);
    ticker.Stamp(log);
    std::vector<CLogPath> paths;
    int32_t hw = kernel.width / 2, hh = kernel.height / 2;
    FindLogMaxima(n, m, paths, response, hw, w - hw, hh, h - hh, mask, noThreshold, -2, -2, 0, hMIN,
                  hMIN, hMAX);
    if (paths.empty()) return nullptr;
    local.assign(paths.size(),
                 std::vector<std::pair<double, double>>(std::size_t(hMAX - hMIN + 1), {0.0, 0.0}));
    std::vector<CPoint> at;
    std::vector<std::pair<double, double>> stats;
    at.reserve(paths.size());
    for (const CLogPath& path : paths) at.push_back(path.PointAt(hMIN));
    LocalStats(response, at, hw, hw, w - hw, hh, h - hh, stats);
    for (std::size_t p = 0; p < paths.size(); ++p) local[p][0] = stats[p];
    log += Format("CandidateListSSS-LocalMaxima_(hMIN=%d) ", hMIN);
    ticker.Stamp(log);

    // Later scales: every strict maximum of the first scale starts a path, so
    // on a mammogram the paths' search windows cover nearly the whole image.
    // One fast whole-image convolution per scale costs far less than direct
    // sums over those windows and gives the same responses where paths look.
    const auto cancelled = [&](int s) {
        return progress && !progress(double(s - hMIN + 1) / double(hMAX - hMIN + 1));
    };
    if (cancelled(hMIN)) return nullptr;
    std::vector<std::size_t> continued;
    for (int s = hMIN + increment; s <= hMAX; s += increment) {
        if (cancelled(s)) return nullptr;
        kernel = MakeLoGFilter(s);
        hw = kernel.width / 2;
        hh = kernel.height / 2;
        if (!ConvolveWithStats(image, kernel, mask, nullptr, false, response)) break;
        log += Format("CandidateListSSS-ConvolveLoG_(h=%d) ", s);
        ticker.Stamp(log);
        continued.clear();
        at.clear();
        for (std::size_t p = 0; p < paths.size(); ++p) {
            const CPoint prev = paths[p].PointAt(s - increment);
            if (prev.x == -1 && prev.y == -1) continue;
            FindLogMaxima(n, m, paths, response, hw, w - hw, hh, h - hh, mask, noThreshold, prev.x,
                          prev.y, p, s, hMIN, hMAX);
            const CPoint now = paths[p].PointAt(s);
            if (now.x == -1) continue;
            continued.push_back(p);
            at.push_back(now);
        }
        LocalStats(response, at, hw, hw, w - hw, hh, h - hh, stats);
        for (std::size_t i = 0; i < continued.size(); ++i)
            local[continued[i]][std::size_t(s - hMIN)] = stats[i];
        log += Format("CandidateListSSS-LocalMaxima_(h=%d) ", s);
        ticker.Stamp(log);
    }
    response = CResponseImage();

    auto spots = std::make_unique<CSpotList>();
    CUniqueSpotAdder unique(*spots, paths.size());
    for (int s = hMIN; s <= hMAX; ++s)
        for (std::size_t p = 0; p < paths.size(); ++p) {
            const CPointResponse* best = paths[p].BestEntry();
            if (!best || best->values.empty() || best->values[kSpotScale] != s || !best->IsSet())
                continue;
            if (!MaskAllows(mask, best->x, best->y)) continue;
            CPointResponse spot = *best;
            const double r = spot.response;
            const auto [mean, sd] = local[p][std::size_t(s - hMIN)];
            spot.Append(r > 0 ? r * r : (r < 0 ? -r * r : 0.0));
            for (double v : {mean, sd, mean, sd}) spot.Append(v);
            unique.Add(std::move(spot));
        }
    log += "CandidateListSSS-Create seeds ";
    ticker.Stamp(log);
    paths.clear();
    log += "CandidateListSSS-remove Logpath ";
    ticker.Stamp(log);
    return spots;
}

std::vector<int32_t> FirstOfEqualSpots(const CSpotList& spots) {
    std::vector<int32_t> first;
    first.reserve(std::size_t(spots.Count()));
    CSpotSet seen(std::size_t(spots.Count()));
    for (int32_t i = 0; i < spots.Count(); ++i)
        if (seen.Insert(spots[i])) first.push_back(i);
    return first;
}

std::vector<int32_t> SelectSpotIndices(const CSpotList& spots, const std::vector<int32_t>& distinct,
                                       bool automatic, double threshold, int k, int excludedScale) {
    std::vector<int32_t> passed;
    passed.reserve(distinct.size());
    for (const int32_t i : distinct) {
        if (i < 0 || i >= spots.Count()) continue;
        const CPointResponse& spot = spots[i];
        const double scale = spot.values.empty() ? 0.0 : spot.values[kSpotScale];
        if (scale == excludedScale) continue;
        const double v = SpotValue(spot, k);
        const double limit =
            automatic ? SpotValue(spot, kSpotMeanMin) + threshold * SpotValue(spot, kSpotStdDevMin)
                      : threshold;
        if (v >= limit) passed.push_back(i);
    }
    return passed;
}

std::vector<int32_t> SelectSpotIndices(const CSpotList& spots, bool automatic, double threshold,
                                       int k, int excludedScale) {
    // Equal spots pass or fail together (every field the test reads is
    // equal), so the first of each is found once, whatever the threshold.
    return SelectSpotIndices(spots, FirstOfEqualSpots(spots), automatic, threshold, k,
                             excludedScale);
}

void SelectSpots(const CSpotList& spots, CSpotList& out, bool automatic, double threshold, int k,
                 int excludedScale) {
    if (&out == &spots) {
        out.ClearAll();
        return;
    }
    out.AssignSelection(spots, SelectSpotIndices(spots, automatic, threshold, k, excludedScale));
}

}  // namespace vistrel
