#include "detection/clustering.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <new>

#include "detection/spot_detector.h"

namespace vistrel {

namespace {

// Adds 0.5 and truncates, saturating at the int32 range (NaN gives 0).
int32_t RoundHalfUpTruncated(double v) {
    v += 0.5;
    if (!(v == v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (v <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

// Labels of the clustering, one per distinct point pixel.
constexpr int32_t kUnlabelled = 0;  // not taking part in the pass
constexpr int32_t kUnclassified = 1;
constexpr int32_t kNoise = 2;
constexpr int32_t kFirstClusterId = 3;

// The distinct pixels of the points, and a coarse grid of cells over them that
// answers the city-block region query by visiting only the cells the query's
// square touches. The grid has at most about 4 cells per pixel, so its memory
// follows the number of points whatever the image size; when the radius is
// small for the image, the cells are made larger than the radius.
class CPixelGrid {
  public:
    CPixelGrid(const std::vector<int32_t>& xs, const std::vector<int32_t>& ys, int32_t width,
               int32_t height, double radius)
        : xs_(xs), ys_(ys), width_(width), height_(height) {
        // NaN reaches nothing, not even the point itself (as the distance test
        // with a NaN radius would); an unbounded radius reaches the whole image.
        const double span = double(width) + double(height);
        if (!(radius == radius))
            radius_ = -1.0;
        else
            radius_ = std::min(radius, span);
        int64_t cell = radius_ >= 1.0 ? static_cast<int64_t>(std::ceil(radius_)) : 1;
        const int64_t budget = 4 * int64_t(xs.size()) + 64;
        for (;;) {
            cellsX_ = (int64_t(width) + cell - 1) / cell;
            cellsY_ = (int64_t(height) + cell - 1) / cell;
            if (cellsX_ * cellsY_ <= budget) break;
            cell *= 2;
        }
        cell_ = cell;
        start_.assign(std::size_t(cellsX_ * cellsY_ + 1), 0);
        for (std::size_t i = 0; i < xs.size(); ++i) ++start_[CellOf(xs[i], ys[i]) + 1];
        for (std::size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
        members_.resize(xs.size());
        std::vector<int32_t> fill(start_.begin(), start_.end() - 1);
        for (std::size_t i = 0; i < xs.size(); ++i)
            members_[std::size_t(fill[CellOf(xs[i], ys[i])]++)] = int32_t(i);
    }

    // The pixels within the radius of pixel p whose label is not kUnlabelled.
    void Query(int32_t p, const std::vector<int32_t>& labels, std::vector<int32_t>& out) const {
        out.clear();
        if (radius_ < 0.0) return;
        const int64_t px = xs_[std::size_t(p)], py = ys_[std::size_t(p)];
        const auto r = static_cast<int64_t>(std::floor(radius_));
        const int64_t x0 = std::max<int64_t>(0, px - r), x1 = std::min<int64_t>(width_ - 1, px + r);
        const int64_t y0 = std::max<int64_t>(0, py - r),
                      y1 = std::min<int64_t>(height_ - 1, py + r);
        for (int64_t cy = y0 / cell_; cy <= y1 / cell_; ++cy) {
            for (int64_t cx = x0 / cell_; cx <= x1 / cell_; ++cx) {
                const std::size_t c = std::size_t(cy * cellsX_ + cx);
                for (int32_t k = start_[c]; k < start_[c + 1]; ++k) {
                    const int32_t q = members_[std::size_t(k)];
                    if (labels[std::size_t(q)] == kUnlabelled) continue;
                    const int64_t d =
                        std::llabs(px - xs_[std::size_t(q)]) + std::llabs(py - ys_[std::size_t(q)]);
                    if (static_cast<double>(d) <= radius_) out.push_back(q);
                }
            }
        }
    }

  private:
    std::size_t CellOf(int32_t x, int32_t y) const {
        return std::size_t((int64_t(y) / cell_) * cellsX_ + int64_t(x) / cell_);
    }

    const std::vector<int32_t>& xs_;
    const std::vector<int32_t>& ys_;
    int32_t width_, height_;
    double radius_ = 0.0;
    int64_t cell_ = 1, cellsX_ = 1, cellsY_ = 1;
    std::vector<int32_t> start_;    // per cell, the first of its members
    std::vector<int32_t> members_;  // pixel indices grouped by cell
};

// One DBSCAN pass: every pixel of starts (in that order) still unclassified
// grows a cluster with the next identifier. Which pixels a cluster reaches does
// not depend on the order in which the queue visits them (being a core pixel
// is fixed for the pass, and only unclassified or noise pixels are taken from
// the queue), so the grid's neighbour order serves as well as a raster scan.
void RunPass(const CPixelGrid& grid, const std::vector<int32_t>& starts, int32_t minPoints,
             std::vector<int32_t>& labels) {
    std::vector<int32_t> queue, neighbours;
    int32_t id = kFirstClusterId;
    for (const int32_t p : starts) {
        if (labels[std::size_t(p)] != kUnclassified) continue;
        grid.Query(p, labels, queue);
        if (int64_t(queue.size()) < minPoints) {
            labels[std::size_t(p)] = kNoise;
            continue;
        }
        // Every neighbour of the core pixel joins, whatever it was before.
        for (const int32_t q : queue) labels[std::size_t(q)] = id;
        queue.erase(std::remove(queue.begin(), queue.end(), p), queue.end());
        for (std::size_t head = 0; head < queue.size(); ++head) {
            grid.Query(queue[head], labels, neighbours);
            if (int64_t(neighbours.size()) < minPoints) continue;
            for (const int32_t r : neighbours) {
                int32_t& label = labels[std::size_t(r)];
                if (label == kUnclassified) {
                    label = id;
                    queue.push_back(r);
                } else if (label == kNoise) {
                    label = id;
                }
            }
        }
        ++id;
    }
}

}  // namespace

int32_t CmToPixels(double cm, double res) {
    return RoundHalfUpTruncated(cm * res / 2.54);
}

int32_t MmToPixels(double mm, double res) {
    return RoundHalfUpTruncated(mm * res / 25.4);
}

int32_t Mm2ToPixels(double mm2, double res) {
    return RoundHalfUpTruncated(mm2 * res * res / 645.16);
}

CClusterPixelParams InPixels(const CClusterParams& params, double res) {
    CClusterPixelParams p;
    p.minObjects = params.minObjects;
    p.diameterPx = CmToPixels(params.diameterCm, res);
    p.minSeparated = params.minSeparated;
    p.separationPx = CmToPixels(params.separationCm, res);
    return p;
}

bool ClusterPointLabels(const std::vector<CPoint>& points, int32_t width, int32_t height,
                        const CClusterPixelParams& params, std::vector<int32_t>& labels,
                        int32_t& clusterCount) {
    labels.clear();
    clusterCount = 0;
    if (width <= 0 || height <= 0) return false;
    try {
        const std::size_t n = points.size();
        // The distinct pixels, numbered in raster order.
        std::vector<int32_t> order;
        order.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            const CPoint& p = points[i];
            if (p.x >= 0 && p.y >= 0 && p.x < width && p.y < height) order.push_back(int32_t(i));
        }
        auto key = [&](int32_t i) {
            return int64_t(points[std::size_t(i)].y) * width + points[std::size_t(i)].x;
        };
        std::sort(order.begin(), order.end(),
                  [&](int32_t a, int32_t b) { return key(a) < key(b); });
        std::vector<int32_t> pixelOf(n, -1), xs, ys;
        for (std::size_t k = 0; k < order.size(); ++k) {
            const CPoint& p = points[std::size_t(order[k])];
            if (k == 0 || key(order[k]) != key(order[k - 1])) {
                xs.push_back(p.x);
                ys.push_back(p.y);
            }
            pixelOf[std::size_t(order[k])] = int32_t(xs.size()) - 1;
        }
        std::vector<int32_t>().swap(order);
        const std::size_t pixels = xs.size();

        std::vector<int32_t> starts;
        starts.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            if (pixelOf[i] >= 0) starts.push_back(pixelOf[i]);

        std::vector<int32_t> pixelLabel(pixels, kUnclassified);
        {
            const CPixelGrid grid(xs, ys, width, height, params.diameterPx * 0.5);
            RunPass(grid, starts, params.minObjects, pixelLabel);
        }

        // Clusters in the order the points first use them.
        std::vector<int32_t> indexOfId(pixels + kFirstClusterId + 1, -1);
        std::vector<int32_t> pixelCluster(pixels, -1), clusterPixels;
        for (std::size_t i = 0; i < n; ++i) {
            const int32_t p = pixelOf[i];
            if (p < 0) continue;
            const int32_t id = pixelLabel[std::size_t(p)];
            if (id < kFirstClusterId || pixelCluster[std::size_t(p)] >= 0) continue;
            int32_t& index = indexOfId[std::size_t(id)];
            if (index < 0) {
                index = int32_t(clusterPixels.size());
                clusterPixels.push_back(0);
            }
            pixelCluster[std::size_t(p)] = index;
            ++clusterPixels[std::size_t(index)];
        }
        std::vector<char> kept(clusterPixels.size());
        for (std::size_t c = 0; c < kept.size(); ++c)
            kept[c] = clusterPixels[c] >= params.minObjects;

        if (params.minSeparated > 0) {
            // Every clustered pixel takes part, those of dropped clusters only
            // as neighbours.
            for (std::size_t p = 0; p < pixels; ++p)
                pixelLabel[p] = pixelCluster[p] >= 0 ? kUnclassified : kUnlabelled;
            starts.erase(std::remove_if(starts.begin(), starts.end(),
                                        [&](int32_t p) {
                                            const int32_t c = pixelCluster[std::size_t(p)];
                                            return c < 0 || !kept[std::size_t(c)];
                                        }),
                         starts.end());
            const CPixelGrid grid(xs, ys, width, height, params.separationPx * 0.5);
            RunPass(grid, starts, params.minSeparated, pixelLabel);
            std::vector<char> separated(kept.size(), 0);
            for (std::size_t p = 0; p < pixels; ++p)
                if (pixelCluster[p] >= 0 && pixelLabel[p] >= kFirstClusterId)
                    separated[std::size_t(pixelCluster[p])] = 1;
            for (std::size_t c = 0; c < kept.size(); ++c) kept[c] = kept[c] && separated[c];
        }

        std::vector<int32_t> finalNumber(kept.size(), 0);
        for (std::size_t c = 0; c < kept.size(); ++c)
            if (kept[c]) finalNumber[c] = ++clusterCount;
        labels.assign(n, 0);
        for (std::size_t i = 0; i < n; ++i) {
            const int32_t p = pixelOf[i];
            if (p >= 0 && pixelCluster[std::size_t(p)] >= 0)
                labels[i] = finalNumber[std::size_t(pixelCluster[std::size_t(p)])];
        }
        return true;
    } catch (const std::bad_alloc&) {
        labels.clear();
        clusterCount = 0;
        return false;
    }
}

std::vector<int32_t> ClusterPointLabels(const std::vector<CPoint>& points, int32_t width,
                                        int32_t height, const CClusterPixelParams& params) {
    std::vector<int32_t> labels;
    int32_t count = 0;
    ClusterPointLabels(points, width, height, params, labels, count);
    return labels;
}

bool MakeClusters(CClusters& clusters, CSpotList& points, int32_t width, int32_t height,
                  const CClusterPixelParams& params) {
    clusters.RemoveAll();
    if (points.Count() == 0) return true;
    try {
        std::vector<CPoint> at;
        at.reserve(std::size_t(points.Count()));
        for (int32_t i = 0; i < points.Count(); ++i) at.push_back(points[i].Point());
        std::vector<int32_t> labels;
        int32_t count = 0;
        if (!ClusterPointLabels(at, width, height, params, labels, count)) return false;

        std::vector<std::unique_ptr<CCluster>> made;
        made.reserve(std::size_t(count));
        for (int32_t c = 0; c < count; ++c) made.push_back(std::make_unique<CCluster>());
        std::vector<int32_t> keep;
        keep.reserve(std::size_t(points.Count()));
        for (int32_t i = 0; i < points.Count(); ++i) {
            const int32_t label = labels[std::size_t(i)];
            if (label == 0) continue;
            made[std::size_t(label - 1)]->AddPoint(at[std::size_t(i)].x, at[std::size_t(i)].y);
            keep.push_back(i);
        }
        // Copied rather than moved, so that running out of memory here leaves
        // the caller's list whole.
        CSpotList kept;
        kept.AssignSelection(points, keep);
        for (auto& c : made) clusters.Add(std::move(c));
        points = std::move(kept);
        return true;
    } catch (const std::bad_alloc&) {
        clusters.RemoveAll();
        return false;
    }
}

bool SpotClusters(int32_t width, int32_t height, CClusters& clusters, CSpotList& out,
                  const CSpotList& spots, const std::vector<int32_t>& distinct, bool automatic,
                  double threshold, int k, int excludedScale, const CClusterPixelParams& params) {
    clusters.RemoveAll();
    if (&out == &spots) {
        out.ClearAll();
        return true;
    }
    out.AssignSelection(spots,
                        SelectSpotIndices(spots, distinct, automatic, threshold, k, excludedScale));
    if (out.Count() == 0) return true;
    return MakeClusters(clusters, out, width, height, params);
}

bool SpotClusters(int32_t width, int32_t height, CClusters& clusters, CSpotList& out,
                  const CSpotList& spots, bool automatic, double threshold, int k,
                  int excludedScale, const CClusterPixelParams& params) {
    if (&out == &spots) {
        clusters.RemoveAll();
        out.ClearAll();
        return true;
    }
    return SpotClusters(width, height, clusters, out, spots, FirstOfEqualSpots(spots), automatic,
                        threshold, k, excludedScale, params);
}

namespace {

// A truth region's bounding rectangle, from its boundary when the stored one
// is empty; empty when the region has no usable outline.
CRect TruthBounds(const CRegion* region) {
    if (region == nullptr || !region->IsValid()) return {};
    if (!region->Bounds().IsEmpty()) return region->Bounds();
    const std::vector<CPoint>& boundary = region->Boundary();
    if (boundary.empty()) return {};
    CRect b{boundary[0].x, boundary[0].y, boundary[0].x + 1, boundary[0].y + 1};
    for (const CPoint& p : boundary) {
        b.left = std::min(b.left, p.x);
        b.top = std::min(b.top, p.y);
        b.right = std::max(b.right, p.x + 1);
        b.bottom = std::max(b.bottom, p.y + 1);
    }
    return b;
}

bool Overlap(const CRect& a, const CRect& b) {
    const CRect i{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom)};
    return !i.IsEmpty();
}

void AppendFormat(std::string& text, const char* format, auto... args) {
    char buffer[128];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n < 0) return;
    if (std::size_t(n) < sizeof buffer) {
        text.append(buffer, std::size_t(n));
        return;
    }
    std::string big(std::size_t(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), format, args...);
    text.append(big.data(), std::size_t(n));
}

}  // namespace

CSpotClusterScore ScoreSpotClusters(const CRegions& truth, const CClusters& clusters) {
    CSpotClusterScore score;
    struct CTruth {
        const CRegion* region;
        CRect bounds;
        bool hit = false;
        int count = 0;
    };
    std::vector<CTruth> regions;
    for (int32_t i = 0; i < truth.Count(); ++i) {
        const CRegion* r = truth.At(i);
        const CRect b = TruthBounds(r);
        if (!b.IsEmpty()) regions.push_back({r, b});
    }
    score.truth = int(regions.size());
    for (int32_t c = 0; c < clusters.Count(); ++c) {
        const CCluster* cluster = clusters.At(c);
        if (cluster == nullptr) continue;
        ++score.clusters;
        const CRect bounds = cluster->Bounds();
        bool touches = false;
        for (CTruth& t : regions) {
            if (!Overlap(bounds, t.bounds)) continue;
            touches = true;
            int inside = 0;
            for (const CPoint& p : cluster->Points())
                if (t.region->Contains(p.x, p.y)) ++inside;
            if (t.hit) {
                t.count += inside;
            } else if (inside >= 3) {
                t.hit = true;
                t.count = inside;
                ++score.tp;
            }
        }
        if (!touches) ++score.fp;
    }
    score.fn = std::max(score.truth - score.tp, 0);
    for (const CTruth& t : regions)
        if (t.hit) score.hitCounts.push_back(t.count);
    return score;
}

std::string EvaluateSpotClusters(int subtlety, const CRegions& truth, const CClusters& clusters,
                                 double diameterPx, bool noSpots, CSpotClusterScore* score) {
    std::string line;
    AppendFormat(line, "%d; ", subtlety);
    CSpotClusterScore s;
    if (noSpots) {
        s.truth = ScoreSpotClusters(truth, CClusters{}).truth;
        s.fn = s.truth;
        AppendFormat(line, "%d; 0; 0; %d; 0; [];", s.truth, s.truth);
        if (score) *score = s;
        return line;
    }
    s = ScoreSpotClusters(truth, clusters);
    AppendFormat(line, "%d; %d; %d; %d; %d;", s.truth, s.clusters, s.fp, s.fn, s.tp);
    if (s.tp == 0) {
        line += "[]; ";
    } else {
        line += "[";
        for (std::size_t i = 0; i < s.hitCounts.size(); ++i)
            AppendFormat(line, i == 0 ? "%d" : ",%d", s.hitCounts[i]);
        line += "]; ";
    }
    std::vector<int64_t> areas;
    for (int32_t c = 0; c < clusters.Count(); ++c) {
        const CCluster* cluster = clusters.At(c);
        if (cluster == nullptr) continue;
        const CRect b = cluster->Bounds();
        areas.push_back(int64_t(b.Width()) * b.Height());
    }
    std::sort(areas.begin(), areas.end(), std::greater<>());
    // A zero diameter would print "inf" or "nan": the areas are then in pixels.
    const double unit = diameterPx > 0 ? diameterPx * diameterPx : 1.0;
    for (const int64_t a : areas) AppendFormat(line, "[%.2lf];", double(a) / unit);
    if (score) *score = s;
    return line;
}

std::string EvaluateSpotClusters(int subtlety, const CRegions& truth, int32_t width, int32_t height,
                                 double res, const CClusterParams& params, CClusters& clusters,
                                 CSpotList& out, const CSpotList& spots, bool automatic,
                                 double threshold, int k, int excludedScale,
                                 CSpotClusterScore* score) {
    clusters.RemoveAll();
    const CClusterPixelParams pixels = InPixels(params, res);
    if (spots.Count() == 0) {
        if (&out != &spots) out.ClearAll();
        return EvaluateSpotClusters(subtlety, truth, clusters, pixels.diameterPx, true, score);
    }
    SpotClusters(width, height, clusters, out, spots, automatic, threshold, k, excludedScale,
                 pixels);
    return EvaluateSpotClusters(subtlety, truth, clusters, pixels.diameterPx, false, score);
}

}  // namespace vistrel
