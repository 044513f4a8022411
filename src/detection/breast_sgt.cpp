#include "detection/breast_sgt.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>

#include "core/atomic_file.h"
#include "core/text.h"

namespace vistrel {

namespace {

// An outline file of a real mammogram holds a few thousand points (tens of
// kilobytes); anything near this is no outline file.
constexpr std::uintmax_t kMaxSgtFileBytes = std::uintmax_t{256} << 20;

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Next line of text from pos (without '\n'); false at the end of the text.
bool NextLine(std::string_view text, std::size_t& pos, std::string_view& line) {
    if (pos >= text.size()) return false;
    const std::size_t end = text.find('\n', pos);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    line = text.substr(pos, stop - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    return true;
}

// An optional sign and decimal digits that fit int32 (whole token).
bool ParseInt(std::string_view token, int32_t& value) {
    if (token.empty()) return false;
    std::size_t i = 0;
    bool negative = false;
    if (token[0] == '+' || token[0] == '-') {
        negative = token[0] == '-';
        i = 1;
    }
    if (i == token.size()) return false;
    int64_t v = 0;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > int64_t{INT32_MAX} + 1) return false;
    }
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// "x y": two integers separated by blanks, blanks (and a CR) around them allowed.
bool ParsePointLine(std::string_view line, CPoint& point) {
    line = Trim(line);
    std::size_t split = 0;
    while (split < line.size() && !IsBlank(line[split])) ++split;
    if (split == line.size()) return false;
    return ParseInt(line.substr(0, split), point.x) && ParseInt(Trim(line.substr(split)), point.y);
}

}  // namespace

void CBreastSgt::MirrorHorizontal(int32_t width) {
    for (CPoint& p : points_) p.x = Clamp32(int64_t{width} - 1 - p.x);
}

void CBreastSgt::MirrorVertical(int32_t height) {
    for (CPoint& p : points_) p.y = Clamp32(int64_t{height} - 1 - p.y);
}

CPoint CBreastSgt::RotatedPoint(CPoint p, int angle, int32_t width, int32_t height) {
    const int64_t x = p.x;
    const int64_t y = p.y;
    if (angle == 180) return {Clamp32(int64_t{width} - 1 - x), Clamp32(int64_t{height} - 1 - y)};
    // out(x, y) = in(y, H-1-x): the point (x, y) moves to (H-1-y, x).
    if (angle == -90) return {Clamp32(int64_t{height} - 1 - y), Clamp32(x)};
    // out(x, y) = in(W-1-y, x): the point (x, y) moves to (y, W-1-x).
    if (angle == 90) return {Clamp32(y), Clamp32(int64_t{width} - 1 - x)};
    return p;
}

void CBreastSgt::Rotate(int angle, int32_t width, int32_t height) {
    for (CPoint& p : points_) p = RotatedPoint(p, angle, width, height);
}

void CBreastSgt::Translate(int32_t dx, int32_t dy) {
    for (CPoint& p : points_) p = {Clamp32(int64_t{p.x} - dx), Clamp32(int64_t{p.y} - dy)};
}

CBreastSgt CBreastSgt::Scaled(double factor) const {
    std::vector<CPoint> scaled;
    scaled.reserve(points_.size());
    const auto scale = [factor](int32_t v) {
        const double s = static_cast<double>(v) * factor;
        if (!(s == s)) return int32_t{0};
        if (s >= static_cast<double>(INT32_MAX)) return INT32_MAX;
        if (s <= static_cast<double>(INT32_MIN)) return INT32_MIN;
        return static_cast<int32_t>(s);
    };
    for (const CPoint& p : points_) scaled.push_back({scale(p.x), scale(p.y)});
    return CBreastSgt(std::move(scaled));
}

CRect CBreastSgt::Bounds() const {
    if (points_.empty()) return {};
    int64_t l = INT64_MAX, t = INT64_MAX, r = INT64_MIN, b = INT64_MIN;
    for (const CPoint& p : points_) {
        l = std::min<int64_t>(l, p.x);
        t = std::min<int64_t>(t, p.y);
        r = std::max<int64_t>(r, p.x);
        b = std::max<int64_t>(b, p.y);
    }
    return {Clamp32(l), Clamp32(t), Clamp32(r + 1), Clamp32(b + 1)};
}

bool CBreastSgt::IsClosed() const {
    if (points_.size() < 4 || points_.front() != points_.back()) return false;
    int distinct = 0;
    std::vector<CPoint> seen;
    for (const CPoint& p : points_) {
        if (std::find(seen.begin(), seen.end(), p) == seen.end()) {
            seen.push_back(p);
            if (++distinct >= 3) return true;
        }
    }
    return false;
}

std::string CBreastSgt::ToSgtText(int32_t width, int32_t height) const {
    std::string text = Format("%d %d\n\n", width, height);
    text += Format("%d\n", Count());
    text.reserve(text.size() + points_.size() * 10);
    for (const CPoint& p : points_) text += Format("%d %d\n", p.x, p.y);
    return text;
}

ESgtRead ParseSgtText(const std::string& text, CBreastSgt& outline) {
    outline.Clear();
    const std::string_view view(text);
    std::size_t pos = 0;
    std::string_view line;
    for (int skip = 0; skip < 2; ++skip)
        if (!NextLine(view, pos, line)) return ESgtRead::Truncated;
    if (!NextLine(view, pos, line)) return ESgtRead::Truncated;
    int32_t count = 0;
    if (!ParseInt(Trim(line), count)) return ESgtRead::BadNumber;
    if (count <= 0) return ESgtRead::NoPoints;
    // Every point needs at least "x y" and a line end (the last may lack
    // it): a count beyond that is a lie, refused before anything is reserved.
    const int64_t remaining = static_cast<int64_t>(view.size() - pos);
    if (int64_t{count} * 4 - 1 > remaining) return ESgtRead::TooMany;

    std::vector<CPoint> points;
    points.reserve(static_cast<std::size_t>(count) + 1);
    for (int32_t i = 0; i < count; ++i) {
        if (!NextLine(view, pos, line)) return ESgtRead::Truncated;
        CPoint p;
        if (!ParsePointLine(line, p)) return ESgtRead::BadNumber;
        points.push_back(p);
    }
    if (points.back() != points.front()) points.push_back(points.front());
    outline.Set(std::move(points));
    return ESgtRead::Read;
}

bool ReadSgtFile(const std::string& path, CBreastSgt& outline, std::string& reason) {
    outline.Clear();
    reason.clear();
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        reason = "the file was not found";
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        reason = "is not a file";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxSgtFileBytes) {
        reason = Format("is too large for an outline file (%llu bytes)",
                        static_cast<unsigned long long>(size));
        return false;
    }
    std::string text;
    if (!ReadWholeFile(path, text)) {
        reason = "cannot be read";
        return false;
    }
    switch (ParseSgtText(text, outline)) {
        case ESgtRead::Read:
            return true;
        case ESgtRead::NoPoints:
            reason = "holds no points";
            break;
        case ESgtRead::Truncated:
            reason = "ends early";
            break;
        case ESgtRead::BadNumber:
            reason = "has a count or a point that is not a pair of integers";
            break;
        case ESgtRead::TooMany:
            reason = "gives a point count larger than the file can hold";
            break;
    }
    outline.Clear();
    return false;
}

bool WriteSgtFile(const std::string& path, const CBreastSgt& outline, int32_t width,
                  int32_t height) {
    if (outline.IsEmpty()) return false;
    const std::string text = outline.ToSgtText(width, height);
    return WriteFileAtomically(path, [&text](std::FILE* file) {
        return std::fwrite(text.data(), 1, text.size(), file) == text.size();
    });
}

}  // namespace vistrel
