#include "regions/convex_hull.h"

#include <algorithm>
#include <cstdint>

namespace vistrel {

std::vector<CPoint> ConvexHull(std::vector<CPoint> p) {
    std::sort(p.begin(), p.end(),
              [](CPoint a, CPoint b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    p.erase(std::unique(p.begin(), p.end()), p.end());
    if (p.size() < 3) return p;
    auto turn = [](CPoint o, CPoint a, CPoint b) {
        return int64_t(a.x - o.x) * (b.y - o.y) - int64_t(a.y - o.y) * (b.x - o.x);
    };
    std::vector<CPoint> hull(2 * p.size());
    size_t k = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && turn(hull[k - 2], hull[k - 1], p[i]) <= 0) --k;
        hull[k++] = p[i];
    }
    for (size_t i = p.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && turn(hull[k - 2], hull[k - 1], p[i]) <= 0) --k;
        hull[k++] = p[i];
    }
    hull.resize(k - 1);
    return hull;
}

}  // namespace vistrel
