#include "detection/point_response.h"

#include <algorithm>
#include <cstdio>

namespace vistrel {

CPointResponse::CPointResponse(CPoint point, double value, double firstValue)
    : x(point.x), y(point.y), response(value) {
    if (firstValue != -DBL_MAX) values.push_back(firstValue);
}

void CPointResponse::Set(CPoint point, double value, double scale) {
    x = point.x;
    y = point.y;
    response = value;
    values = {scale, value};
}

double SpotValue(const CPointResponse& spot, int k) {
    if (k < 0 || spot.values.empty()) return spot.response;
    if (std::size_t(k) < spot.values.size()) return spot.values[std::size_t(k)];
    return spot.values.back();
}

CLogPath::CLogPath(int32_t minScale, int32_t maxScale, CPoint point, double response) {
    if (!(minScale > 0 && minScale <= maxScale)) return;
    minScale_ = minScale;
    maxScale_ = maxScale;
    entries_.resize(std::size_t(maxScale - minScale + 1));
    entries_[0].Set(point, response, minScale);
}

CPoint CLogPath::PointAt(int32_t scale) const {
    if (entries_.empty() || scale < minScale_ || scale > maxScale_) return {-1, -1};
    return entries_[std::size_t(scale - minScale_)].Point();
}

int CLogPath::SetAt(int32_t scale, CPoint point, double response) {
    if (entries_.empty() || scale < minScale_ || scale > maxScale_) return -1;
    entries_[std::size_t(scale - minScale_)].Set(point, response, scale);
    return 0;
}

int CLogPath::AppendValueAt(int32_t scale, int32_t x, int32_t y, double value) {
    if (entries_.empty() || scale < minScale_ || scale > maxScale_) return 0;
    CPointResponse& e = entries_[std::size_t(scale - minScale_)];
    if (e.x != x || e.y != y) return 0;
    e.Append(value);
    return 1;
}

const CPointResponse* CLogPath::BestEntry() const {
    if (entries_.empty()) return nullptr;
    const CPointResponse* best = &entries_[0];
    for (std::size_t i = 1; i < entries_.size(); ++i)
        if (entries_[i].IsSet() && entries_[i].response >= best->response) best = &entries_[i];
    return best;
}

std::string CLogPath::Describe() const {
    std::string text;
    char buffer[64];
    for (const CPointResponse& e : entries_) {
        if (!e.IsSet()) continue;
        std::snprintf(buffer, sizeof buffer, "%4.1f, ", e.response);
        text += buffer;
    }
    return text;
}

bool CSpotList::AddUnique(const CPointResponse& spot) {
    for (const auto& item : items_)
        if (*item == spot) return false;
    items_.push_back(std::make_unique<CPointResponse>(spot));
    return true;
}

void CSpotList::CopyFrom(const CSpotList& other) {
    items_.clear();
    for (const auto& item : other.items_) items_.push_back(std::make_unique<CPointResponse>(*item));
}

void CSpotList::CopyAtLeast(const CSpotList& other, double threshold, int k) {
    if (this == &other) return;
    items_.clear();
    for (const auto& item : other.items_)
        if (threshold == -DBL_MAX || SpotValue(*item, k) >= threshold)
            items_.push_back(std::make_unique<CPointResponse>(*item));
}

int32_t CSpotList::CropTo(CRect rect) {
    if (rect.left > rect.right) std::swap(rect.left, rect.right);
    if (rect.top > rect.bottom) std::swap(rect.top, rect.bottom);
    const std::size_t before = items_.size();
    std::erase_if(items_, [&](const auto& s) {
        return s->x < rect.left || s->x >= rect.right || s->y < rect.top || s->y >= rect.bottom;
    });
    for (auto& s : items_) {
        s->x -= rect.left;
        s->y -= rect.top;
    }
    return static_cast<int32_t>(before - items_.size());
}

void CSpotList::Range(int k, double& min, double& max) const {
    min = DBL_MAX;
    max = -DBL_MAX;
    for (const auto& s : items_) {
        const double v = SpotValue(*s, k);
        min = std::min(min, v);
        max = std::max(max, v);
    }
}

}  // namespace vistrel
