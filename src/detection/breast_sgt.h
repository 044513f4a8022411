#pragma once
// The breast outline: a closed contour of image points (the last point
// repeats the first), kept by the document and stored in SGT text files.

#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"
#include "regions/chain_code.h"

namespace vistrel {

class CBreastSgt {
  public:
    CBreastSgt() = default;
    explicit CBreastSgt(std::vector<CPoint> points) : points_(std::move(points)) {}
    CBreastSgt(const CBreastSgt&) = default;
    CBreastSgt& operator=(const CBreastSgt&) = default;
    virtual ~CBreastSgt() = default;

    void Set(std::vector<CPoint> points) { points_ = std::move(points); }
    void Clear() { points_.clear(); }
    bool IsEmpty() const { return points_.empty(); }
    int32_t Count() const { return static_cast<int32_t>(points_.size()); }
    const std::vector<CPoint>& Points() const { return points_; }

    // In place: x' = width - 1 - x.
    void MirrorHorizontal(int32_t width);
    // In place: y' = height - 1 - y.
    void MirrorVertical(int32_t height);
    // In place, with the mappings of Rotate (core/image_operations.h) for an
    // image of width x height before the turn: 180, -90 (clockwise) or 90.
    void Rotate(int angle, int32_t width, int32_t height);
    // Where Rotate moves one point.
    static CPoint RotatedPoint(CPoint p, int angle, int32_t width, int32_t height);
    // In place: (x - dx, y - dy) (a cut-out's coordinates).
    void Translate(int32_t dx, int32_t dy);
    // A new outline with every coordinate multiplied by factor and truncated.
    CBreastSgt Scaled(double factor) const;
    // Bounding rectangle of the points, right and bottom exclusive; empty
    // without points.
    CRect Bounds() const;
    // True when the outline has at least three distinct points and is closed
    // (last == first).
    bool IsClosed() const;

    // The SGT text: "%d %d\n\n" width and height, "%d\n" the count, then one
    // "%d %d\n" per point.
    std::string ToSgtText(int32_t width, int32_t height) const;

  private:
    std::vector<CPoint> points_;
};

// Why an SGT text gave no outline.
enum class ESgtRead {
    Read,        // points read (closed by the reader when needed)
    NoPoints,    // the count is 0 or negative: nothing to read
    Truncated,   // the text ends before the count or the last point
    BadNumber,   // a count or a coordinate is no integer
    TooMany,     // the count exceeds what the text can hold
};

// Parses SGT text: the first two lines are skipped, the third gives the
// count N, each of the next N lines holds "x y". A contour whose last point
// differs from its first is closed by appending the first. Points are taken
// as they stand (the caller checks them against its image). outline is
// empty unless the result is ESgtRead::Read.
ESgtRead ParseSgtText(const std::string& text, CBreastSgt& outline);

// Reads an SGT file; false (outline empty, reason in words) when the file is
// missing, unreadable, or its text gives no outline.
bool ReadSgtFile(const std::string& path, CBreastSgt& outline, std::string& reason);
// Writes the SGT text atomically (temporary file renamed over path); false
// when it could not be written (the old file is then kept).
bool WriteSgtFile(const std::string& path, const CBreastSgt& outline, int32_t width,
                  int32_t height);

}  // namespace vistrel
