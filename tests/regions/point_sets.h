#pragma once
// Pixel sets the region tests build and compare, written without the library.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "regions/region.h"

namespace vistrel::regionstest {

// Every pixel of the w x h rectangle at (x0, y0), row by row.
inline std::vector<CPoint> Rectangle(int x0, int y0, int w, int h) {
    std::vector<CPoint> points;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) points.push_back({x, y});
    return points;
}

inline std::vector<CPoint> SortedRaster(std::vector<CPoint> points) {
    std::sort(points.begin(), points.end(),
              [](CPoint a, CPoint b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    return points;
}

inline std::vector<CPoint> SortedUniqueRaster(std::vector<CPoint> points) {
    points = SortedRaster(std::move(points));
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

// A set of pixels with the enclosed background added (what a traced outline
// encloses): pixels of the box that cannot be reached from outside through
// 4-connected non-set pixels.
inline std::vector<CPoint> FilledSet(const std::vector<CPoint>& set) {
    if (set.empty()) return {};
    int left = set[0].x, right = set[0].x, top = set[0].y, bottom = set[0].y;
    for (CPoint p : set) {
        left = std::min(left, p.x);
        right = std::max(right, p.x);
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    const int w = right - left + 3, h = bottom - top + 3;
    std::vector<int> grid(static_cast<size_t>(w * h), 0);  // 1 set, 2 outside
    for (CPoint p : set) grid[static_cast<size_t>((p.y - top + 1) * w + p.x - left + 1)] = 1;
    std::vector<int> stack{0};
    grid[0] = 2;
    while (!stack.empty()) {
        const int i = stack.back();
        stack.pop_back();
        const int x = i % w, y = i / w;
        const int nx[4] = {x - 1, x + 1, x, x}, ny[4] = {y, y, y - 1, y + 1};
        for (int k = 0; k < 4; ++k) {
            if (nx[k] < 0 || ny[k] < 0 || nx[k] >= w || ny[k] >= h) continue;
            const int j = ny[k] * w + nx[k];
            if (grid[static_cast<size_t>(j)] == 0) {
                grid[static_cast<size_t>(j)] = 2;
                stack.push_back(j);
            }
        }
    }
    std::vector<CPoint> filled;
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x)
            if (grid[static_cast<size_t>(y * w + x)] != 2)
                filled.push_back({x + left - 1, y + top - 1});
    return filled;
}

}  // namespace vistrel::regionstest
