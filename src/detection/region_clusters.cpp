#include "detection/region_clusters.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_map>

#include "core/text.h"
#include "regions/convex_hull.h"
#include "regions/region_features.h"

namespace vistrel {

namespace {

// The stored sample as an unsigned value; the caller keeps (x, y) inside.
uint32_t SampleAt(const CMImageBase& image, int32_t x, int32_t y) {
    if (image.depth > 8) return image.Row16(y)[x];
    if (image.depth == 8) return image.Row(y)[x];
    return static_cast<uint32_t>(image.GetPixel(x, y)) & 0xFu;
}

bool RasterLess(CPoint a, CPoint b) {
    return a.y != b.y ? a.y < b.y : a.x < b.x;
}

// A region's filled pixels in raster order. A sorted list rather than a
// bitmap over the bounds: an outline read from a file may span a box far
// larger than the pixels it encloses.
struct PixelSet {
    std::vector<CPoint> pixels;
    int64_t count = 0;  // kept when the pixels themselves are dropped

    PixelSet() = default;
    explicit PixelSet(const CRegion& region)
        : pixels(region.Pixels()), count(static_cast<int64_t>(pixels.size())) {}
    bool Has(CPoint p) const {
        return std::binary_search(pixels.begin(), pixels.end(), p, RasterLess);
    }
    CRect Box() const {
        if (pixels.empty()) return {};
        CRect box{pixels.front().x, pixels.front().y, pixels.front().x + 1, pixels.back().y + 1};
        for (const CPoint& p : pixels) {
            box.left = std::min(box.left, p.x);
            box.right = std::max(box.right, p.x + 1);
        }
        return box;
    }
};

// Pixels in both sets: one merge over the rows they share.
int64_t SharedCount(const PixelSet& a, const PixelSet& b) {
    if (a.pixels.empty() || b.pixels.empty()) return 0;
    const CPoint from{INT32_MIN, std::max(a.pixels.front().y, b.pixels.front().y)};
    const int32_t lastRow = std::min(a.pixels.back().y, b.pixels.back().y);
    auto i = std::lower_bound(a.pixels.begin(), a.pixels.end(), from, RasterLess);
    auto j = std::lower_bound(b.pixels.begin(), b.pixels.end(), from, RasterLess);
    int64_t shared = 0;
    while (i != a.pixels.end() && j != b.pixels.end() && i->y <= lastRow && j->y <= lastRow) {
        if (RasterLess(*i, *j)) {
            ++i;
        } else if (RasterLess(*j, *i)) {
            ++j;
        } else {
            ++shared;
            ++i;
            ++j;
        }
    }
    return shared;
}

CRect Intersection(const CRect& a, const CRect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

// One CCluster per label 1..limit, points in list order.
void FillClusters(const std::vector<CPoint>& points, const std::vector<int32_t>& labels,
                  int32_t limit, CClusters& clusters) {
    for (int32_t k = 0; k < limit; ++k) clusters.Add(std::make_unique<CCluster>());
    for (size_t i = 0; i < points.size(); ++i)
        if (labels[i] >= 1 && labels[i] <= limit)
            clusters.At(labels[i] - 1)->AddPoint(points[i].x, points[i].y);
}

bool HasOutline(const CRegions& regions, const CRegion& outline) {
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion* r = regions.At(i);
        if (r && r->clusterNumber == outline.clusterNumber && r->IsEqual(outline)) return true;
    }
    return false;
}

}  // namespace

CRegionClustersResult RegionClusters(CRegions& regions, int32_t width, int32_t height,
                                     const CClusterPixelParams& params, std::string_view types,
                                     CClusters& clusters) {
    CRegionClustersResult result;
    clusters.RemoveAll();
    regions.RemoveClusterOutlines();
    std::vector<CPoint> points;
    std::vector<CRegion*> owners;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        CRegion* r = regions.At(i);
        // An outline left over (type 'c' or number 1000) is no candidate and keeps its number.
        if (!r || r->IsClusterOutline()) continue;
        r->clusterNumber = 0;
        if (!TypeSelected(r->type, types)) continue;
        const CPoint c = RegionCentroid(*r);
        if (c.x < 0 || c.y < 0 || c.x >= width || c.y >= height) continue;
        points.push_back(c);
        owners.push_back(r);
    }
    if (points.empty()) return result;
    std::vector<int32_t> labels;
    int32_t found = 0;
    // A clustering that cannot run (no memory) leaves everything unclustered.
    if (!ClusterPointLabels(points, width, height, params, labels, found)) return result;
    result.clusters = std::min(found, kMaxRegionClusters);
    result.unnumbered = found - result.clusters;
    FillClusters(points, labels, result.clusters, clusters);
    for (size_t i = 0; i < owners.size(); ++i)
        if (labels[i] >= 1 && labels[i] <= result.clusters) owners[i]->clusterNumber = labels[i];
    return result;
}

int32_t RegionClusters(const CMImageBase& binary, const CClusterPixelParams& params,
                       CClusters& clusters) {
    clusters.RemoveAll();
    if (!binary.IsValid()) return 0;
    std::vector<CPoint> points;
    for (int32_t y = 0; y < binary.height; ++y)
        for (int32_t x = 0; x < binary.width; ++x)
            if (SampleAt(binary, x, y) != 0) points.push_back({x, y});
    if (points.empty()) return 0;
    std::vector<int32_t> labels;
    int32_t found = 0;
    if (!ClusterPointLabels(points, binary.width, binary.height, params, labels, found)) return 0;
    FillClusters(points, labels, found, clusters);
    return found;
}

int32_t ClusterOutlines(CRegions& regions, int32_t clusterCount, std::string_view types) {
    const int32_t count = std::clamp(clusterCount, int32_t{0}, kMaxRegionClusters);
    std::vector<std::vector<CPoint>> contour(static_cast<size_t>(count) + 1);
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion* r = regions.At(i);
        if (!r || r->IsClusterOutline() || r->clusterNumber < 1 || r->clusterNumber > count ||
            !TypeSelected(r->type, types))
            continue;
        std::vector<CPoint>& into = contour[static_cast<size_t>(r->clusterNumber)];
        into.insert(into.end(), r->Boundary().begin(), r->Boundary().end());
    }
    int32_t added = 0;
    for (int32_t k = 1; k <= count; ++k) {
        const std::vector<CPoint> hull = ConvexHull(std::move(contour[static_cast<size_t>(k)]));
        // One point has no outline: a chain needs a step.
        if (hull.size() < 2) continue;
        auto outline = std::make_unique<CRegion>(hull, CRegion::PointsMode::Polygon);
        outline->clusterNumber = ClusterOutlineNumber(k);
        outline->type = 'c';
        // The hull of a lone drawn member can be that member's very outline,
        // and it is still the cluster's: only an outline of this cluster
        // already drawn the same way is a duplicate.
        if (!HasOutline(regions, *outline) && regions.Adopt(std::move(outline))) ++added;
    }
    return added;
}

CRegionClusterEvaluation EvaluateRegionClusters(int32_t subtlety, double resolution,
                                                const CRegions& truth, const CRegions& regions,
                                                std::string& out, double largeAreaLimitMm2,
                                                bool corrections,
                                                std::vector<CClusterRegion>& groups) {
    CRegionClusterEvaluation result;
    groups.clear();
    const int32_t t = truth.Count();
    out += Format("%d; ", subtlety);
    if (regions.IsEmpty()) {
        out += Format("%d; 0; 0; %d; 0;", t, t);
        return result;
    }

    std::unordered_map<int32_t, size_t> groupOf;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion* r = regions.At(i);
        if (!r) continue;
        const int32_t k = ClusterOfNumber(r->clusterNumber);
        if (k <= 0) continue;
        auto [at, created] = groupOf.try_emplace(k, groups.size());
        if (created) {
            groups.emplace_back();
            groups.back().number = k;
        }
        CClusterRegion& group = groups[at->second];
        if (IsClusterOutlineNumber(r->clusterNumber)) {
            if (!group.outline.IsValid()) group.outline = *r;
        } else {
            group.members.Add(*r);
        }
    }
    result.groups = static_cast<int32_t>(groups.size());
    // Nothing here corrects a cluster: the contour corrections of a cluster's
    // regions work on the image, which an evaluation neither has nor changes.
    // The column is written either way, so the count stays 0.
    static_cast<void>(corrections);
    result.corrections = 0;
    if (groups.empty()) {
        out += Format("%d; 0; 0; %d; 0;;;;;;;%d", t, t, result.corrections);
        return result;
    }

    // Most outlines meet no truth region: those need their area alone, and
    // only the others get a bitmap.
    std::vector<CRect> truthBounds;
    for (int32_t ti = 0; ti < t; ++ti)
        if (const CRegion* r = truth.At(ti)) truthBounds.push_back(r->Bounds());
    std::vector<PixelSet> outlines(groups.size());
    for (size_t gi = 0; gi < groups.size(); ++gi) {
        const CRegion& outline = groups[gi].outline;
        const bool near = std::any_of(truthBounds.begin(), truthBounds.end(), [&](const CRect& b) {
            return !Intersection(b, outline.Bounds()).IsEmpty();
        });
        outlines[gi] = PixelSet(outline);
        if (!near) outlines[gi].pixels = {};
    }
    const bool bounded = std::isfinite(largeAreaLimitMm2);
    const double limitPx =
        bounded ? std::floor(largeAreaLimitMm2 * resolution * resolution / 645.16 + 0.5) : 0.0;
    for (const PixelSet& m : outlines)
        if (bounded && double(m.count) > limitPx) ++result.largeClusters;

    // Members' pixels, listed once per group when a truth region first needs them.
    std::vector<std::vector<std::vector<CPoint>>> memberPixels(groups.size());
    std::vector<bool> hitting(groups.size(), false);
    struct TruthScore {
        int32_t members = 0;
        int32_t hits = 0;
        int64_t intersection = 0;
        int64_t wholeTP = 0;
        int64_t area = 0;
    };
    std::vector<TruthScore> scores(static_cast<size_t>(t));
    int32_t tp = 0;
    for (int32_t ti = 0; ti < t; ++ti) {
        const CRegion* truthRegion = truth.At(ti);
        if (!truthRegion) continue;
        const PixelSet T(*truthRegion);
        TruthScore& score = scores[static_cast<size_t>(ti)];
        score.area = T.count;
        if (T.count == 0) continue;
        const CRect truthBox = T.Box();
        for (size_t gi = 0; gi < groups.size(); ++gi) {
            const PixelSet& G = outlines[gi];
            if (G.pixels.empty() || Intersection(truthBox, groups[gi].outline.Bounds()).IsEmpty())
                continue;
            const int64_t shared = SharedCount(T, G);
            if (shared == 0) continue;
            std::vector<std::vector<CPoint>>& pixels = memberPixels[gi];
            if (pixels.empty())
                for (int32_t m = 0; m < groups[gi].members.Count(); ++m)
                    pixels.push_back(groups[gi].members.At(m)->Pixels());
            for (const std::vector<CPoint>& member : pixels)
                if (!member.empty() && std::all_of(member.begin(), member.end(),
                                                   [&](CPoint p) { return T.Has(p) && G.Has(p); }))
                    ++score.members;
            if (score.hits++ == 0) ++tp;
            hitting[gi] = true;
            score.intersection += shared;
            score.wholeTP += G.count;
        }
    }
    const auto fp = static_cast<int32_t>(std::count(hitting.begin(), hitting.end(), false));
    const int32_t fn = std::max(t - tp, 0);

    out += Format("%d; %d; %d; %d; %d;", t, result.groups, fp, fn, tp);
    if (tp == 0) {
        out += ";;;;;;";
        out += Format("%d;", result.corrections);
    } else {
        bool first = true;
        for (const TruthScore& s : scores) {
            if (s.hits == 0) continue;
            if (!first) out += ",";
            first = false;
            const double area = double(s.area);
            out += Format("%d; %lf; %lf; %lf; %lf; %lf; %d;", s.members,
                          PixelAreaToMm2(double(s.wholeTP), resolution),
                          PixelAreaToMm2(area, resolution), double(s.wholeTP) / area,
                          double(s.intersection) / area * 100.0,
                          PixelAreaToMm2(double(s.intersection), resolution), result.corrections);
        }
    }
    std::vector<int64_t> areas;
    for (const PixelSet& m : outlines) areas.push_back(m.count);
    std::sort(areas.begin(), areas.end(), std::greater<>());
    for (int64_t a : areas) out += Format(" %.6lf;", PixelAreaToMm2(double(a), resolution));
    return result;
}

bool MeasureBadRegion(const CRegion& region, const CMImage& image, const CFeatureSettings& settings,
                      CBadRegionMeasures& measures) {
    measures = {};
    if (!region.IsValid() || !image.IsValid()) return false;
    static const CFeatureSelection selection(
        {{"Area", 1}, {"Outer_Perimeter", 1}, {"Compactness_Outer", 1}, {"Elongation", 1}}, 0);
    CFeatureSettings plain = settings;
    plain.shapeMoments = false;
    plain.moments = false;
    CFeatureVector features;
    if (ComputeRegionFeatures(region, image, selection, plain, features) != 0) return false;
    auto value = [&](const char* name) {
        const int32_t at = features.IndexOf(name);
        return at >= 0 ? features.values[static_cast<size_t>(at)] : 0.0;
    };
    measures.area = value("Area");
    measures.major = value("Max_Axis");
    const double elongation = value("Elongation");
    measures.minor = elongation > 0.0 ? measures.major / elongation : 0.0;
    measures.shapeValue = std::llround(value("Compactness_Outer"));
    measures.secondShapeValue = value("Outer_Perimeter");

    // Mean of the region's pixels and of the rest of its bounds grown by the
    // ring width, both within the image.
    const PixelSet inside(region);
    if (inside.count == 0) return false;
    const CRect box = inside.Box();
    const int32_t ring =
        std::clamp(settings.ringWidth, int32_t{0}, std::max(image.width, image.height));
    CRect grown{box.left - ring, box.top - ring, box.right + ring, box.bottom + ring};
    grown = Intersection(grown, CRect{0, 0, image.width, image.height});
    double regionSum = 0.0, ringSum = 0.0;
    int64_t regionCount = 0;
    // The grown box is walked in raster order, the region's pixels alongside.
    auto next = inside.pixels.begin();
    for (int32_t y = grown.top; y < grown.bottom; ++y)
        for (int32_t x = grown.left; x < grown.right; ++x) {
            const CPoint p{x, y};
            while (next != inside.pixels.end() && RasterLess(*next, p)) ++next;
            const double v = SampleAt(image, x, y);
            if (next != inside.pixels.end() && *next == p) {
                regionSum += v;
                ++regionCount;
            } else {
                ringSum += v;
                ++measures.ringPixels;
            }
        }
    // A region wholly off the image has no grey level to judge.
    if (regionCount == 0) return false;
    measures.regionMean = regionSum / double(regionCount);
    measures.ringMean = measures.ringPixels > 0 ? ringSum / double(measures.ringPixels) : 0.0;
    return true;
}

CBadRegionCounts RemoveBadRegions(CRegions& regions, const CMImage& image, double resolution,
                                  const CFeatureSettings& settings) {
    CBadRegionCounts counts;
    const double a1 = Mm2ToPixels(1.0, resolution);
    const double a2 = Mm2ToPixels(0.02, resolution);
    const double a3 = Mm2ToPixels(0.065, resolution);
    const double l1 = MmToPixels(3.0, resolution);
    const double l2 = MmToPixels(0.1, resolution);
    const double l3 = MmToPixels(0.3, resolution);
    CFeatureSettings at = settings;
    at.resolution = resolution;

    std::vector<bool> doomed(static_cast<size_t>(regions.Count()), false);
    for (int32_t i = 0; i < regions.Count(); ++i) {
        CRegion* r = regions.At(i);
        // Outlines drawn around clusters are no candidates; the next clustering replaces them.
        if (!r || !r->IsValid() || r->IsClusterOutline()) continue;
        CBadRegionMeasures m;
        // A region that cannot be measured (it leaves the image) is kept as it is.
        if (!MeasureBadRegion(*r, image, at, m)) continue;
        const double u = m.major, l = m.minor;
        bool remove = false;
        if (m.area > a1) {
            r->type = 'f';
            ++counts.fibres;
        } else if (m.area < a2 || u < l2) {
            remove = true;
        } else if (m.shapeValue == 3 && m.secondShapeValue < 150.0) {
            remove = true;
        } else if (u > l1 && l > 0.0 && u / l > 4.0) {
            r->type = 'f';
            ++counts.fibres;
        } else if ((u < l3 || m.area < a3) && m.shapeValue <= 5) {
            r->type = 'p';
            ++counts.points;
        } else {
            // Without a ring there is nothing the region could stand out from.
            remove = !(m.ringPixels > 0 && m.regionMean - m.ringMean > 50.0);
        }
        doomed[static_cast<size_t>(i)] = remove;
    }

    int32_t selected = regions.Selected();
    if (selected >= 0 && doomed[static_cast<size_t>(selected)]) selected = -1;
    for (int32_t i = regions.Count(); i-- > 0;) {
        if (!doomed[static_cast<size_t>(i)]) continue;
        regions.Select(i);
        regions.RemoveSelected();
        ++counts.deleted;
        if (selected > i) --selected;
    }
    regions.Select(selected);
    return counts;
}

}  // namespace vistrel
