#include "regions/region.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <unordered_set>

namespace vistrel {

namespace {

// Starts read from text and chain lengths are kept far from the 32-bit limits
// so that walking a chain (and the exclusive right/bottom of its bounds) can
// never overflow.
constexpr int64_t kMaxCoordinate = int64_t{1} << 30;
constexpr int64_t kMaxChainLength = int64_t{1} << 29;

int Sign(int64_t v) {
    return (v > 0) - (v < 0);
}

// floor(a / b) for b > 0.
int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && (a < 0)) --q;
    return q;
}

// Side of w relative to the directed line u -> v: true only when strictly to
// the positive side; a point exactly on the line counts as negative.
bool PositiveSide(CPoint u, CPoint v, CPoint w) {
    const int64_t cross = int64_t{v.x - u.x} * (w.y - u.y) - int64_t{v.y - u.y} * (w.x - u.x);
    return cross > 0;
}

bool SegmentsIntersect(CPoint a, CPoint b, CPoint p, CPoint q) {
    return PositiveSide(p, q, a) != PositiveSide(p, q, b) &&
           PositiveSide(a, b, p) != PositiveSide(a, b, q);
}

// Parses an unsigned decimal number that fills the whole token.
bool ParseCoordinate(std::string_view token, int32_t& value) {
    if (token.empty() || token.size() > 12) return false;
    int64_t v = 0;
    for (char c : token) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v <= 0 || v > kMaxCoordinate) return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool ParseText(std::string_view text, int32_t& x, int32_t& y, std::vector<uint8_t>& chain) {
    const size_t blank = text.find(' ');
    if (blank == std::string_view::npos) return false;
    if (!ParseCoordinate(text.substr(0, blank), x)) return false;
    const std::string_view rest = text.substr(blank + 1);
    const size_t end = rest.find_first_of(" &");
    if (end == std::string_view::npos) return false;
    if (!ParseCoordinate(rest.substr(0, end), y)) return false;
    const bool ampersandForm = rest[end] == '&';
    chain.clear();
    for (char c : rest.substr(end + 1)) {
        if (!ampersandForm && c == ' ') continue;
        const int code = c - '0';
        if (!IsChainCode(code)) return false;
        chain.push_back(static_cast<uint8_t>(code));
    }
    return !chain.empty() && static_cast<int64_t>(chain.size()) <= kMaxChainLength;
}

// Mask neighbour offsets in chain-code order for a mask row of `stride` bytes.
void NeighbourOffsets(int64_t stride, std::ptrdiff_t offsets[8]) {
    for (int code = 0; code < 8; ++code)
        offsets[code] = static_cast<std::ptrdiff_t>(kChainDy[code] * stride + kChainDx[code]);
}

}  // namespace

CRegion::CRegion(const CRegion& other) {
    *this = other;
}

CRegion& CRegion::operator=(const CRegion& other) {
    if (this == &other) return *this;
    CopyAttributesFrom(other);
    traced_ = other.traced_;
    mask_ = other.mask_;
    maskLeft_ = other.maskLeft_;
    maskTop_ = other.maskTop_;
    maskWidth_ = other.maskWidth_;
    maskHeight_ = other.maskHeight_;
    boundary_ = other.boundary_;
    startX_ = other.startX_;
    startY_ = other.startY_;
    chain_ = other.chain_;
    bounds_ = other.bounds_;
    cursor_ = -1;
    index_ = RowIndex{};
    return *this;
}

CRegion::CRegion(std::string_view text) {
    int32_t x = 0, y = 0;
    std::vector<uint8_t> chain;
    if (!ParseText(text, x, y, chain)) return;
    startX_ = x;
    startY_ = y;
    chain_ = std::move(chain);
    RecomputeGeometry();
}

CRegion::CRegion(const std::vector<CPoint>& points, PointsMode mode, bool cleanup) {
    if (points.empty()) return;
    if (mode == PointsMode::Polygon) {
        size_t first = 0;
        for (size_t i = 1; i < points.size(); ++i)
            if (points[i].x < points[first].x ||
                (points[i].x == points[first].x && points[i].y < points[first].y))
                first = i;
        SetStart(points[first].x, points[first].y);
        const size_t n = points.size();
        for (size_t i = 0; i < n; ++i)
            AddLine(points[(first + i) % n], points[(first + i + 1) % n]);
        Close();
        return;
    }
    if (SetMaskFromPixels(points)) Trace(cleanup);
}

CRegion::~CRegion() = default;

bool CRegion::IsEqual(const CRegion& other) const {
    return startX_ == other.startX_ && startY_ == other.startY_ && chain_ == other.chain_;
}

void CRegion::MakeEmpty() {
    startX_ = startY_ = -1;
    chain_.clear();
    FreeMask();
    RecomputeGeometry();
}

void CRegion::CopyAttributesFrom(const CRegion& other) {
    diagnosis = other.diagnosis;
    nnDiagnosis = other.nnDiagnosis;
    clusterNumber = other.clusterNumber;
    type = other.type;
    response = other.response;
    mean = other.mean;
    energy = other.energy;
    scale = other.scale;
    spotX = other.spotX;
    spotY = other.spotY;
    lesionLines = other.lesionLines;
}

void CRegion::InvalidateCaches() {
    index_ = RowIndex{};
    cursor_ = -1;
}

void CRegion::RecomputeGeometry() {
    InvalidateCaches();
    boundary_.clear();
    if (startX_ == -1) {
        bounds_ = CRect{};
        return;
    }
    boundary_.reserve(chain_.size() + 1);
    int32_t x = startX_, y = startY_;
    CRect b{x, y, x, y};
    boundary_.push_back({x, y});
    for (uint8_t code : chain_) {
        x += kChainDx[code];
        y += kChainDy[code];
        boundary_.push_back({x, y});
        b.left = std::min(b.left, x);
        b.right = std::max(b.right, x);
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
    }
    b.right += 1;
    b.bottom += 1;
    bounds_ = b;
}

void CRegion::AppendCode(int code) {
    // Incremental form of RecomputeGeometry, so that drawing a long outline
    // step by step stays linear.
    InvalidateCaches();
    FreeMask();
    chain_.push_back(static_cast<uint8_t>(code));
    const CPoint last = boundary_.back();
    const CPoint next{last.x + kChainDx[code], last.y + kChainDy[code]};
    boundary_.push_back(next);
    bounds_.left = std::min(bounds_.left, next.x);
    bounds_.top = std::min(bounds_.top, next.y);
    bounds_.right = std::max(bounds_.right, next.x + 1);
    bounds_.bottom = std::max(bounds_.bottom, next.y + 1);
}

void CRegion::SetStart(int32_t x, int32_t y) {
    startX_ = x;
    startY_ = y;
    chain_.clear();
    traced_ = false;
    FreeMask();
    RecomputeGeometry();
}

bool CRegion::AddStep(int dx, int dy) {
    const int code = ChainCodeOf(dx, dy);
    if (code < 0 || startX_ == -1) return false;
    if (static_cast<int64_t>(chain_.size()) >= kMaxChainLength) return false;
    AppendCode(code);
    return true;
}

void CRegion::AddLine(CPoint from, CPoint to) {
    const int64_t dx = int64_t{to.x} - from.x;
    const int64_t dy = int64_t{to.y} - from.y;
    if (std::llabs(dx) <= 1 && std::llabs(dy) <= 1) {
        AddStep(static_cast<int>(dx), static_cast<int>(dy));
        return;
    }
    if (std::llabs(dx) + std::llabs(dy) > kMaxChainLength) return;
    if (dx == 0) {
        for (int64_t i = 0; i < std::llabs(dy); ++i) AddStep(0, Sign(dy));
        return;
    }
    if (std::llabs(dy) <= std::llabs(dx)) {
        // One column at a time; the row is the exact row rounded half up.
        const int64_t n = std::llabs(dx);
        int64_t previous = 0;
        for (int64_t i = 1; i <= n; ++i) {
            const int64_t row = FloorDiv(2 * dy * i + n, 2 * n);
            AddStep(Sign(dx), static_cast<int>(row - previous));
            previous = row;
        }
        return;
    }
    const int64_t n = std::llabs(dy);
    int64_t previous = 0;
    for (int64_t i = 1; i <= n; ++i) {
        const int64_t column = FloorDiv(2 * dx * i + n, 2 * n);
        AddStep(static_cast<int>(column - previous), Sign(dy));
        previous = column;
    }
}

CPoint CRegion::EndPoint() const {
    if (boundary_.empty()) return {startX_, startY_};
    return boundary_.back();
}

void CRegion::Close() {
    if (startX_ == -1) return;
    const CPoint end = EndPoint();
    if (!(end == CPoint{startX_, startY_})) AddLine(end, {startX_, startY_});
    RecomputeGeometry();
    traced_ = false;
}

void CRegion::FreeMask() {
    mask_.clear();
    mask_.shrink_to_fit();
    maskWidth_ = maskHeight_ = 0;
}

bool CRegion::SetMaskFromPixels(const std::vector<CPoint>& points) {
    FreeMask();
    if (points.empty()) return false;
    int32_t left = points[0].x, right = points[0].x, top = points[0].y, bottom = points[0].y;
    for (const CPoint& p : points) {
        left = std::min(left, p.x);
        right = std::max(right, p.x);
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    const int64_t w = int64_t{right} - left + 1;
    const int64_t h = int64_t{bottom} - top + 1;
    if (w > kMaxCoordinate || h > kMaxCoordinate || (w + 2) * (h + 2) > kMaxImageBytes)
        return false;
    try {
        mask_.assign(static_cast<size_t>((w + 2) * (h + 2)), 0);
    } catch (const std::bad_alloc&) {
        FreeMask();
        return false;
    }
    maskLeft_ = left;
    maskTop_ = top;
    maskWidth_ = static_cast<int32_t>(w);
    maskHeight_ = static_cast<int32_t>(h);
    const int64_t stride = w + 2;
    for (const CPoint& p : points)
        mask_[static_cast<size_t>((p.y - top + 1) * stride + (p.x - left + 1))] = 1;
    traced_ = false;
    return true;
}

// Removes one-pixel spurs: a pixel whose only 8-neighbour belongs to a 2 x 2
// block of the mask sticks out of a body and would make the outline walk out
// and back. Tips of thin arms and plain lines (whose neighbour is in no block)
// are kept, and solid blobs have no pixel with a single neighbour. Decided on
// the whole mask before removing anything, so the result does not depend on
// the scan direction (rotated regions clean up alike).
bool CRegion::CleanupPass() {
    const std::ptrdiff_t stride = maskWidth_ + 2;
    std::ptrdiff_t off[8];
    NeighbourOffsets(stride, off);
    auto inBlock = [&](size_t i) {
        const uint8_t* m = mask_.data() + i;
        // The four 2 x 2 blocks with this pixel as a corner; the border keeps
        // every access inside the mask.
        for (int by = -1; by <= 0; ++by)
            for (int bx = -1; bx <= 0; ++bx) {
                const uint8_t* c = m + by * stride + bx;
                if (c[0] && c[1] && c[stride] && c[stride + 1]) return true;
            }
        return false;
    };
    std::vector<size_t> spurs;
    for (int32_t y = 0; y < maskHeight_; ++y) {
        size_t i = static_cast<size_t>((y + 1) * stride + 1);
        for (int32_t x = 0; x < maskWidth_; ++x, ++i) {
            if (!mask_[i]) continue;
            int count = 0, only = -1;
            for (int d = 0; d < 8; ++d)
                if (mask_[i + off[d]]) {
                    ++count;
                    only = d;
                }
            if (count == 1 &&
                inBlock(static_cast<size_t>(static_cast<std::ptrdiff_t>(i) + off[only])))
                spurs.push_back(i);
        }
    }
    for (size_t i : spurs) mask_[i] = 0;
    return !spurs.empty();
}

void CRegion::Trace(bool cleanup) {
    if (traced_) return;
    if (mask_.empty()) {
        if (!IsValid() || !SetMaskFromPixels(Pixels())) {
            MakeEmpty();
            traced_ = true;
            return;
        }
    }
    if (cleanup)
        while (CleanupPass()) {
        }
    const int64_t stride = maskWidth_ + 2;
    std::ptrdiff_t off[8];
    NeighbourOffsets(stride, off);
    auto hasNeighbour = [&](size_t i) {
        for (int d = 0; d < 8; ++d)
            if (mask_[i + off[d]]) return true;
        return false;
    };
    // Leftmost column first, topmost within it.
    int64_t count = 0;
    bool found = false;
    size_t start = 0;
    int32_t sx = 0, sy = 0;
    for (int32_t x = 0; x < maskWidth_; ++x)
        for (int32_t y = 0; y < maskHeight_; ++y) {
            const size_t i = static_cast<size_t>((y + 1) * stride + (x + 1));
            if (!mask_[i]) continue;
            ++count;
            if (!found && hasNeighbour(i)) {
                found = true;
                start = i;
                sx = x;
                sy = y;
            }
        }
    if (!found) {
        MakeEmpty();
        traced_ = true;
        return;
    }
    startX_ = maskLeft_ + sx;
    startY_ = maskTop_ + sy;
    chain_.clear();
    // Clockwise contour following: from the previous direction p the search
    // starts at p - 2 and turns clockwise. The walk ends when it is back at the
    // start about to repeat its first step; merely passing the start pixel
    // again (an object pinched at its start) does not end it.
    int previous = 3;
    size_t pos = start;
    const int64_t limit = 8 * count + 8;
    while (static_cast<int64_t>(chain_.size()) <= limit) {
        const int first = (previous + 6) & 7;
        int next = -1;
        for (int k = 0; k < 8; ++k) {
            const int d = (first + k) & 7;
            if (mask_[pos + off[d]]) {
                next = d;
                break;
            }
        }
        if (next < 0) break;
        if (pos == start && !chain_.empty() && next == chain_[0]) break;
        chain_.push_back(static_cast<uint8_t>(next));
        pos = static_cast<size_t>(static_cast<std::ptrdiff_t>(pos) + off[next]);
        previous = next;
    }
    FreeMask();
    RecomputeGeometry();
    traced_ = true;
}

void CRegion::Retrace(bool cleanup) {
    if (!IsValid()) return;
    if (!SetMaskFromPixels(Pixels())) return;
    Trace(cleanup);
}

const CRegion::RowIndex& CRegion::Index() const {
    if (index_.built) return index_;
    RowIndex idx;
    const int32_t top = bounds_.top;
    const size_t rows = static_cast<size_t>(bounds_.Height());
    idx.boundaryStart.assign(rows + 1, 0);
    idx.crossingStart.assign(rows + 1, 0);
    // Counting sort by row keeps building linear in the outline length.
    for (const CPoint& p : boundary_) ++idx.boundaryStart[static_cast<size_t>(p.y - top) + 1];
    for (size_t i = 1; i < boundary_.size(); ++i) {
        const CPoint a = boundary_[i - 1], b = boundary_[i];
        if (a.y != b.y) ++idx.crossingStart[static_cast<size_t>(std::min(a.y, b.y) - top) + 1];
    }
    for (size_t r = 0; r < rows; ++r) {
        idx.boundaryStart[r + 1] += idx.boundaryStart[r];
        idx.crossingStart[r + 1] += idx.crossingStart[r];
    }
    idx.boundaryX.resize(static_cast<size_t>(idx.boundaryStart[rows]));
    idx.crossingX.resize(static_cast<size_t>(idx.crossingStart[rows]));
    std::vector<int32_t> fillB(idx.boundaryStart.begin(), idx.boundaryStart.end() - 1);
    std::vector<int32_t> fillC(idx.crossingStart.begin(), idx.crossingStart.end() - 1);
    for (const CPoint& p : boundary_)
        idx.boundaryX[static_cast<size_t>(fillB[static_cast<size_t>(p.y - top)]++)] = p.x;
    for (size_t i = 1; i < boundary_.size(); ++i) {
        const CPoint a = boundary_[i - 1], b = boundary_[i];
        if (a.y == b.y) continue;
        const CPoint upper = a.y < b.y ? a : b;
        idx.crossingX[static_cast<size_t>(fillC[static_cast<size_t>(upper.y - top)]++)] = upper.x;
    }
    for (size_t r = 0; r < rows; ++r) {
        std::sort(idx.boundaryX.begin() + idx.boundaryStart[r],
                  idx.boundaryX.begin() + idx.boundaryStart[r + 1]);
        std::sort(idx.crossingX.begin() + idx.crossingStart[r],
                  idx.crossingX.begin() + idx.crossingStart[r + 1]);
    }
    idx.built = true;
    index_ = std::move(idx);
    return index_;
}

// The closing segment (last boundary point back to the start) of an outline
// that does not end at its start is not a unit step; it gets the general test.
bool CRegion::ClosingSegmentCrosses(int32_t x, int32_t y) const {
    const CPoint p{x, y};
    const CPoint q{bounds_.right + 50, y};
    return SegmentsIntersect(boundary_.back(), boundary_.front(), p, q);
}

bool CRegion::Contains(int32_t x, int32_t y) const {
    if (startX_ == -1) return false;
    if (chain_.empty()) return x == startX_ && y == startY_;
    if (x < bounds_.left || x >= bounds_.right || y < bounds_.top || y >= bounds_.bottom)
        return false;
    const RowIndex& idx = Index();
    const size_t r = static_cast<size_t>(y - bounds_.top);
    const auto bBegin = idx.boundaryX.begin() + idx.boundaryStart[r];
    const auto bEnd = idx.boundaryX.begin() + idx.boundaryStart[r + 1];
    if (std::binary_search(bBegin, bEnd, x)) return true;
    // A unit step between rows y and y + 1 meets the ray to the right exactly
    // when its end on row y lies right of the point (the segment-intersection
    // rule with on-the-line points counted as negative reduces to this).
    const auto cBegin = idx.crossingX.begin() + idx.crossingStart[r];
    const auto cEnd = idx.crossingX.begin() + idx.crossingStart[r + 1];
    int64_t crossings = cEnd - std::upper_bound(cBegin, cEnd, x);
    if (!(boundary_.back() == boundary_.front()) && ClosingSegmentCrosses(x, y)) ++crossings;
    return (crossings & 1) != 0;
}

bool CRegion::BoundsInside(const CRect& rect) const {
    return bounds_.left >= rect.left && bounds_.top >= rect.top && bounds_.right <= rect.right &&
           bounds_.bottom <= rect.bottom;
}

bool CRegion::LiesInside(const CRegion& other) const {
    if (!IsValid() || !other.IsValid()) return false;
    if (!BoundsInside(other.bounds_)) return false;
    const CRect& b = bounds_;
    if (other.Contains(b.left, b.top) && other.Contains(b.right, b.top) &&
        other.Contains(b.left, b.bottom) && other.Contains(b.right, b.bottom))
        return true;
    for (const CPoint& p : boundary_)
        if (!other.Contains(p.x, p.y)) return false;
    return true;
}

std::vector<CPoint> CRegion::Pixels() const {
    std::vector<CPoint> pixels;
    if (startX_ == -1) return pixels;
    if (chain_.empty()) {
        pixels.push_back({startX_, startY_});
        return pixels;
    }
    try {
        const RowIndex& idx = Index();
        const bool open = !(boundary_.back() == boundary_.front());
        for (int32_t y = bounds_.top; y < bounds_.bottom; ++y) {
            const size_t r = static_cast<size_t>(y - bounds_.top);
            int32_t bi = idx.boundaryStart[r];
            const int32_t bEnd = idx.boundaryStart[r + 1];
            int32_t ci = idx.crossingStart[r];
            const int32_t cEnd = idx.crossingStart[r + 1];
            for (int32_t x = bounds_.left; x < bounds_.right; ++x) {
                while (ci < cEnd && idx.crossingX[static_cast<size_t>(ci)] <= x) ++ci;
                while (bi < bEnd && idx.boundaryX[static_cast<size_t>(bi)] < x) ++bi;
                bool inside = bi < bEnd && idx.boundaryX[static_cast<size_t>(bi)] == x;
                if (!inside) {
                    int64_t crossings = cEnd - ci;
                    if (open && ClosingSegmentCrosses(x, y)) ++crossings;
                    inside = (crossings & 1) != 0;
                }
                if (inside) pixels.push_back({x, y});
            }
        }
    } catch (const std::bad_alloc&) {
        // An outline enclosing more pixels than memory holds (only a corrupt
        // one can) has no usable pixel set.
        pixels.clear();
        pixels.shrink_to_fit();
    }
    return pixels;
}

std::vector<CPoint> CRegion::OuterNeighbours(int neighbourhood) const {
    static const CPoint kCross[] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
    static const CPoint kSquare[] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, 1},
                                     {1, 1},   {1, 0},  {1, -1}, {0, -1}};
    static const CPoint kRing[] = {{-2, -2}, {-1, -2}, {0, -2}, {1, -2}, {2, -2}, {2, -1},
                                   {2, 0},   {2, 1},   {2, 2},  {1, 2},  {0, 2},  {-1, 2},
                                   {-2, 2},  {-2, 1},  {-2, 0}, {-2, -1}};
    const CPoint* offsets = kCross;
    int count = 4;
    if (neighbourhood == 1) {
        offsets = kSquare;
        count = 8;
    } else if (neighbourhood == 2) {
        offsets = kRing;
        count = 16;
    }
    std::vector<CPoint> result;
    if (startX_ == -1) return result;
    // Every candidate lies within two pixels of the bounds: a bitmap over them
    // remembers what was collected, unless the bounds are huge (a long thin
    // diagonal outline), where a hash set of the few candidates is smaller.
    const int64_t w = int64_t{bounds_.Width()} + 4;
    const int64_t h = int64_t{bounds_.Height()} + 4;
    const bool useBitmap = w * h <= (int64_t{1} << 26);
    std::vector<uint8_t> seenMap(useBitmap ? static_cast<size_t>(w * h) : 0, 0);
    std::unordered_set<int64_t> seenSet;
    for (const CPoint& b : boundary_)
        for (int k = 0; k < count; ++k) {
            const CPoint p{b.x + offsets[k].x, b.y + offsets[k].y};
            const int64_t i = (p.y - bounds_.top + 2) * w + (p.x - bounds_.left + 2);
            if (useBitmap) {
                if (seenMap[static_cast<size_t>(i)]) continue;
                seenMap[static_cast<size_t>(i)] = 1;
            } else if (!seenSet.insert(i).second) {
                continue;
            }
            if (!Contains(p.x, p.y)) result.push_back(p);
        }
    return result;
}

void CRegion::AddPixels(const std::vector<CPoint>& points) {
    if (!IsValid() && points.empty()) return;
    std::vector<CPoint> all(boundary_);
    all.insert(all.end(), points.begin(), points.end());
    if (!SetMaskFromPixels(all)) return;
    Trace(false);
}

void CRegion::Translate(int32_t dx, int32_t dy) {
    spotX -= dx;
    spotY -= dy;
    if (startX_ == -1) return;
    startX_ -= dx;
    startY_ -= dy;
    FreeMask();
    RecomputeGeometry();
}

std::string CRegion::ToText(bool blankForm) const {
    if (!IsValid()) return {};
    char head[40];
    std::snprintf(head, sizeof head, blankForm ? "%d %d " : "%d %d&", startX_, startY_);
    std::string text(head);
    text.reserve(text.size() + chain_.size());
    for (uint8_t code : chain_) text.push_back(static_cast<char>('0' + code));
    return text;
}

std::string CRegion::SpotText() const {
    // %.4lf of an extreme double needs several hundred characters.
    const int n =
        std::snprintf(nullptr, 0, " scale=%d response=%.4lf energy=%.4lf mean=%.4lf x=%d y=%d \n",
                      scale, response, energy, mean, spotX, spotY);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(),
                  " scale=%d response=%.4lf energy=%.4lf mean=%.4lf x=%d y=%d \n", scale, response,
                  energy, mean, spotX, spotY);
    text.resize(static_cast<size_t>(n));
    return text;
}

bool CRegion::NextBoundaryPoint(CPoint& point) {
    ++cursor_;
    if (cursor_ >= BoundaryCount()) {
        cursor_ = -1;
        return false;
    }
    point = boundary_[static_cast<size_t>(cursor_)];
    return true;
}

}  // namespace vistrel
