#include "regions/cluster.h"

#include <algorithm>
#include <cstdio>

namespace vistrel {

CCluster::~CCluster() = default;

bool CCluster::Next(CPoint& point) {
    ++cursor_;
    if (cursor_ >= Count()) {
        cursor_ = -1;
        return false;
    }
    point = points_[static_cast<size_t>(cursor_)];
    return true;
}

CRect CCluster::Bounds() const {
    if (points_.empty()) return {};
    CRect b{points_[0].x, points_[0].y, points_[0].x, points_[0].y};
    for (const CPoint& p : points_) {
        b.left = std::min(b.left, p.x);
        b.top = std::min(b.top, p.y);
        b.right = std::max(b.right, p.x);
        b.bottom = std::max(b.bottom, p.y);
    }
    b.right += 1;
    b.bottom += 1;
    return b;
}

CPoint CCluster::Centroid() const {
    if (points_.empty()) return {};
    int64_t sx = 0, sy = 0;
    for (const CPoint& p : points_) {
        sx += p.x;
        sy += p.y;
    }
    const int64_t n = static_cast<int64_t>(points_.size());
    return {static_cast<int32_t>(sx / n), static_cast<int32_t>(sy / n)};
}

std::string CCluster::ToText() const {
    std::string text = "[";
    char buffer[48];
    for (const CPoint& p : points_) {
        std::snprintf(buffer, sizeof buffer, "(%d,%d), ", p.x, p.y);
        text += buffer;
    }
    if (!points_.empty()) text.resize(text.size() - 2);
    text += "]; ";
    return text;
}

void CCluster::Translate(int32_t dx, int32_t dy) {
    for (CPoint& p : points_) {
        p.x -= dx;
        p.y -= dy;
    }
}

CClusters::CClusters(const CClusters& other) {
    *this = other;
}

CClusters& CClusters::operator=(const CClusters& other) {
    if (this == &other) return *this;
    std::vector<std::unique_ptr<CCluster>> copy;
    copy.reserve(other.clusters_.size());
    for (const auto& c : other.clusters_)
        if (c) copy.push_back(std::make_unique<CCluster>(*c));
    clusters_ = std::move(copy);
    return *this;
}

CClusters::~CClusters() = default;

CCluster* CClusters::At(int32_t index) {
    if (index < 0 || index >= Count()) return nullptr;
    return clusters_[static_cast<size_t>(index)].get();
}

const CCluster* CClusters::At(int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return clusters_[static_cast<size_t>(index)].get();
}

CCluster* CClusters::Add(std::unique_ptr<CCluster> cluster) {
    if (!cluster) return nullptr;
    clusters_.push_back(std::move(cluster));
    return clusters_.back().get();
}

int32_t CClusters::CropTo(const CRect& rect) {
    const size_t before = clusters_.size();
    std::erase_if(clusters_, [&rect](const std::unique_ptr<CCluster>& c) {
        if (!c || c->Count() == 0) return true;
        const CRect b = c->Bounds();
        return b.left < rect.left || b.top < rect.top || b.right > rect.right ||
               b.bottom > rect.bottom;
    });
    for (auto& c : clusters_) c->Translate(rect.left, rect.top);
    return static_cast<int32_t>(before - clusters_.size());
}

}  // namespace vistrel
