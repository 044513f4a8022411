#pragma once
// A marked object on an image: a closed outline stored as a start pixel and an
// 8-direction chain code, with the diagnosis, type, cluster membership and the
// attributes of the detector spot that produced it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/image.h"
#include "regions/chain_code.h"

namespace vistrel {

// Cluster numbering of regions: a member of cluster k (k >= 1) carries k,
// the outline drawn around cluster k carries kClusterOutlineBase + k.
inline constexpr int32_t kClusterOutlineBase = 1000;
// Saturates, so that a number read from a file cannot overflow.
constexpr int32_t ClusterOutlineNumber(int32_t k) {
    return k > INT32_MAX - kClusterOutlineBase ? INT32_MAX : kClusterOutlineBase + k;
}
constexpr bool IsClusterOutlineNumber(int32_t number) {
    return number >= kClusterOutlineBase;
}
// k for a member or the outline of cluster k; 0 for a region of no cluster.
constexpr int32_t ClusterOfNumber(int32_t number) {
    return IsClusterOutlineNumber(number) ? number - kClusterOutlineBase : number;
}

class CRegion {
  public:
    // How a point list given to the constructor is read.
    enum class PointsMode {
        Polygon,   // vertices joined by digital lines and closed
        PixelSet,  // pixels whose outer outline is traced
    };

    CRegion() = default;
    CRegion(const CRegion& other);
    CRegion& operator=(const CRegion& other);
    CRegion(CRegion&& other) noexcept = default;
    CRegion& operator=(CRegion&& other) noexcept = default;
    // From the text form "x y codes" or "x y&codes"; empty when the text is bad.
    explicit CRegion(std::string_view text);
    // From polygon vertices or from a pixel set (traced, with the optional
    // clean-up that removes one-pixel spurs first).
    CRegion(const std::vector<CPoint>& points, PointsMode mode, bool cleanup = false);
    virtual ~CRegion();

    // Valid when it has a start and a non-empty chain.
    bool IsValid() const { return startX_ != -1 && !chain_.empty(); }
    // Same start and same chain (attributes are not compared).
    bool IsEqual(const CRegion& other) const;
    // Empties the outline (start -1/-1, no chain); attributes stay.
    void MakeEmpty();

    // Starts a new outline at (x, y) with an empty chain.
    void SetStart(int32_t x, int32_t y);
    // Appends the code of the unit step (dx, dy); false (nothing appended) for
    // a null step, a step longer than 1 or a region without a start.
    bool AddStep(int dx, int dy);
    // Appends the chain of the digital line from `from` to `to` (rows or
    // columns rounded with floor(v + 0.5) along the major axis).
    void AddLine(CPoint from, CPoint to);
    // Finishes a polygon: a line from the chain's end back to the start when
    // they differ; the outline is no longer marked as traced.
    void Close();
    // Builds the outline from the pixel mask (the filled outline when no mask
    // is pending) by clockwise contour following from the leftmost, then
    // topmost pixel that has an 8-neighbour. Skipped when already traced.
    void Trace(bool cleanup);
    // Rebuilds the outline from the region's own filled pixels.
    void Retrace(bool cleanup);

    // Point-in-region: boundary pixels are inside; otherwise a horizontal ray
    // to the right crosses the outline an odd number of times.
    bool Contains(int32_t x, int32_t y) const;
    // This region's bounds lie in the other's and either all four corners of
    // the bounds or all boundary points are inside the other region.
    bool LiesInside(const CRegion& other) const;
    // The bounds lie within the rectangle.
    bool BoundsInside(const CRect& rect) const;
    // The filled pixel set in raster order (rows top first, x increasing).
    std::vector<CPoint> Pixels() const;
    // Pixels outside the region adjacent to its boundary: neighbourhood 0 = the
    // 4 axis neighbours, 1 = the 8 neighbours, 2 = the 16 pixels of the ring at
    // distance 2. Each pixel is listed once, in boundary order.
    std::vector<CPoint> OuterNeighbours(int neighbourhood) const;
    // Unites the boundary with the points and retraces the outline.
    void AddPixels(const std::vector<CPoint>& points);
    // Moves the start and the spot position by (-dx, -dy).
    void Translate(int32_t dx, int32_t dy);

    // "x y " (or "x y&" when blankForm is false) followed by one digit per code;
    // empty for an invalid region.
    std::string ToText(bool blankForm = true) const;
    // " scale=%d response=%.4lf energy=%.4lf mean=%.4lf x=%d y=%d \n"
    std::string SpotText() const;
    // Copies diagnosis, network diagnosis, cluster, type, spot attributes and
    // lesion lines.
    void CopyAttributesFrom(const CRegion& other);

    int32_t StartX() const { return startX_; }
    int32_t StartY() const { return startY_; }
    const std::vector<uint8_t>& Chain() const { return chain_; }
    // Bounding box, right and bottom exclusive.
    const CRect& Bounds() const { return bounds_; }
    // The start, then the position after each step.
    const std::vector<CPoint>& Boundary() const { return boundary_; }
    int32_t BoundaryCount() const { return static_cast<int32_t>(boundary_.size()); }
    // Position reached at the end of the chain.
    CPoint EndPoint() const;
    bool IsClosed() const { return IsValid() && EndPoint() == CPoint{startX_, startY_}; }
    bool IsTraced() const { return traced_; }

    // Boundary iteration: the next boundary point, false (and the cursor reset) at the end.
    bool NextBoundaryPoint(CPoint& point);
    void ResetBoundaryCursor() { cursor_ = -1; }

    // Attributes, in the documented order.
    int16_t diagnosis = 2;  // 0 benign, 1 malignant, 2 false
    char nnDiagnosis = ' ';
    int32_t clusterNumber = 0;  // see ClusterOutlineNumber
    // The outline of a cluster rather than a lesion or one of its members.
    bool IsClusterOutline() const {
        return type == 'c' || IsClusterOutlineNumber(clusterNumber);
    }
    char type = 'o';
    double response = 0.0;
    double mean = 0.0;
    double energy = 0.0;
    int32_t scale = 0;
    int32_t spotX = 0;
    int32_t spotY = 0;
    // The annotation file's lines that described this outline's lesion (its
    // pathology, or a whole abnormality block), ending with the "BOUNDARY" or
    // "CORE" line that introduced the outline; each line ends with '\n'. They
    // travel with the outline so that saving writes them back in place
    // instead of leaving copies in the description. Empty for outlines drawn
    // here.
    std::string lesionLines;

  private:
    // Per-row view of the outline that makes Contains logarithmic: the sorted
    // boundary x positions of each row, and the x of the upper end of every
    // chain step that goes from that row to the next.
    struct RowIndex {
        bool built = false;
        std::vector<int32_t> boundaryStart;  // bounds height + 1 offsets into boundaryX
        std::vector<int32_t> boundaryX;
        std::vector<int32_t> crossingStart;  // bounds height + 1 offsets into crossingX
        std::vector<int32_t> crossingX;
    };

    void InvalidateCaches();
    void RecomputeGeometry();
    void AppendCode(int code);
    const RowIndex& Index() const;
    bool ClosingSegmentCrosses(int32_t x, int32_t y) const;
    // Builds the mask from a pixel set; false when the set is empty or too large.
    bool SetMaskFromPixels(const std::vector<CPoint>& points);
    bool CleanupPass();
    void FreeMask();

    bool traced_ = false;
    // Filled mask with a one-pixel empty border: row-major, (maskWidth_ + 2)
    // columns; pixel (x, y) of the image sits at column x - maskLeft_ + 1.
    std::vector<uint8_t> mask_;
    int32_t maskLeft_ = 0;
    int32_t maskTop_ = 0;
    int32_t maskWidth_ = 0;
    int32_t maskHeight_ = 0;
    std::vector<CPoint> boundary_;
    int32_t startX_ = -1;
    int32_t startY_ = -1;
    std::vector<uint8_t> chain_;
    CRect bounds_;
    int32_t cursor_ = -1;
    mutable RowIndex index_;
};

}  // namespace vistrel
