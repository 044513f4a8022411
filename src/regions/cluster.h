#pragma once
// Point clusters (a document's microcalcification clusters) and a cluster seen
// as a group of regions with its outline.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "regions/chain_code.h"
#include "regions/region.h"
#include "regions/regions.h"

namespace vistrel {

class CCluster {
  public:
    CCluster() = default;
    CCluster(const CCluster&) = default;
    CCluster& operator=(const CCluster&) = default;
    virtual ~CCluster();

    void AddPoint(int32_t x, int32_t y) { points_.push_back({x, y}); }
    int32_t Count() const { return static_cast<int32_t>(points_.size()); }
    const std::vector<CPoint>& Points() const { return points_; }

    // Point iteration: the next point, false (and the cursor reset) at the end.
    bool Next(CPoint& point);
    void ResetCursor() { cursor_ = -1; }

    // Bounding box of the points, right and bottom exclusive; empty without points.
    CRect Bounds() const;
    // Integer means of x and of y; (0, 0) without points.
    CPoint Centroid() const;
    // "[" then "(%d,%d), " per point with the final ", " removed, then "]; ".
    std::string ToText() const;
    // Moves every point by (-dx, -dy).
    void Translate(int32_t dx, int32_t dy);

  private:
    std::vector<CPoint> points_;
    int32_t cursor_ = -1;
};

class CClusters {
  public:
    CClusters() = default;
    CClusters(const CClusters& other);
    CClusters& operator=(const CClusters& other);
    CClusters(CClusters&&) noexcept = default;
    CClusters& operator=(CClusters&&) noexcept = default;
    virtual ~CClusters();

    int32_t Count() const { return static_cast<int32_t>(clusters_.size()); }
    CCluster* At(int32_t index);
    const CCluster* At(int32_t index) const;
    CCluster* Add(std::unique_ptr<CCluster> cluster);
    void RemoveAll() { clusters_.clear(); }
    // Removes the clusters whose bounds do not lie in the rectangle (and empty
    // ones) and moves the others into its coordinates; returns how many were removed.
    int32_t CropTo(const CRect& rect);

  private:
    std::vector<std::unique_ptr<CCluster>> clusters_;
};

// A cluster as a group of regions: its members, its outline and its number.
struct CClusterRegion {
    CRegions members;
    CRegion outline;
    int32_t number = 0;
};

}  // namespace vistrel
