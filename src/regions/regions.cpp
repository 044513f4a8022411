#include "regions/regions.h"

#include "regions/contour_correction.h"

namespace vistrel {

CRegions::CRegions(const CRegions& other) {
    *this = other;
}

CRegions& CRegions::operator=(const CRegions& other) {
    if (this == &other) return *this;
    std::vector<std::unique_ptr<CRegion>> copy;
    copy.reserve(other.regions_.size());
    for (const auto& r : other.regions_)
        if (r) copy.push_back(std::make_unique<CRegion>(*r));
    regions_ = std::move(copy);
    cursor_ = -1;
    selected_ = -1;
    return *this;
}

CRegions::~CRegions() = default;

CRegion* CRegions::At(int32_t index) {
    if (index < 0 || index >= Count()) return nullptr;
    return regions_[static_cast<size_t>(index)].get();
}

const CRegion* CRegions::At(int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return regions_[static_cast<size_t>(index)].get();
}

CRegion* CRegions::Add(const CRegion& region) {
    if (!region.IsValid()) return nullptr;
    for (const auto& r : regions_)
        if (r && r->IsEqual(region)) return nullptr;
    regions_.push_back(std::make_unique<CRegion>(region));
    return regions_.back().get();
}

CRegion* CRegions::Adopt(std::unique_ptr<CRegion> region) {
    if (!region || !region->IsValid()) return nullptr;
    regions_.push_back(std::move(region));
    return regions_.back().get();
}

CRegion* CRegions::Next() {
    ++cursor_;
    if (cursor_ >= Count()) {
        cursor_ = -1;
        return nullptr;
    }
    return regions_[static_cast<size_t>(cursor_)].get();
}

bool CRegions::NextRegionText(std::string& text, std::string& spotText, char& type,
                              int16_t& diagnosis, int32_t& clusterNumber) {
    const CRegion* r = Next();
    if (!r) return false;
    text = r->ToText(true);
    spotText = r->SpotText();
    type = r->type;
    diagnosis = r->diagnosis;
    clusterNumber = r->clusterNumber;
    return true;
}

void CRegions::Select(int32_t index) {
    selected_ = (index >= 0 && index < Count()) ? index : -1;
}

CRegion* CRegions::SelectedRegion() {
    return At(selected_);
}

std::unique_ptr<CRegion> CRegions::TakeSelected() {
    if (selected_ < 0 || selected_ >= Count()) {
        selected_ = -1;
        return nullptr;
    }
    std::unique_ptr<CRegion> taken = std::move(regions_[static_cast<size_t>(selected_)]);
    regions_.erase(regions_.begin() + selected_);
    selected_ = -1;
    cursor_ = -1;
    return taken;
}

template <typename Predicate>
int32_t CRegions::RemoveIf(Predicate predicate) {
    std::vector<std::unique_ptr<CRegion>> kept;
    kept.reserve(regions_.size());
    int32_t newSelected = -1;
    for (size_t i = 0; i < regions_.size(); ++i) {
        if (predicate(regions_[i].get())) continue;
        if (static_cast<int32_t>(i) == selected_) newSelected = static_cast<int32_t>(kept.size());
        kept.push_back(std::move(regions_[i]));
    }
    const int32_t removed = static_cast<int32_t>(regions_.size() - kept.size());
    regions_ = std::move(kept);
    selected_ = newSelected;
    cursor_ = -1;
    return removed;
}

void CRegions::RemoveAll() {
    regions_.clear();
    selected_ = -1;
    cursor_ = -1;
}

bool CRegions::RemoveSelected() {
    return TakeSelected() != nullptr;
}

int32_t CRegions::RemoveInvalid() {
    return RemoveIf([](const CRegion* r) { return !r || !r->IsValid(); });
}

int32_t CRegions::RemoveClusterAndInside() {
    const CRegion* outline = SelectedRegion();
    if (!outline) return 0;
    const int32_t removed = RemoveIf(
        [outline](const CRegion* r) { return r == outline || (r && r->LiesInside(*outline)); });
    selected_ = -1;
    return removed;
}

int32_t CRegions::RemoveInsideRect(const CRect& rect) {
    return RemoveIf([&rect](const CRegion* r) { return r && r->BoundsInside(rect); });
}

int32_t CRegions::RemoveClusterOutlines() {
    return RemoveIf(
        [](const CRegion* r) { return r && r->clusterNumber >= ClusterOutlineNumber(1); });
}

bool CRegions::SetDiagnosisOfSelected(int16_t diagnosis) {
    CRegion* r = SelectedRegion();
    if (!r) return false;
    r->diagnosis = diagnosis;
    return true;
}

int32_t CRegions::GetDiagnosisOfSelected() const {
    const CRegion* r = At(selected_);
    return r ? r->diagnosis : -1;
}

void CRegions::SetDiagnosisOfAll(int16_t diagnosis) {
    for (auto& r : regions_)
        if (r) r->diagnosis = diagnosis;
}

int32_t CRegions::SetDiagnosisOfSelectedAndInside(int16_t diagnosis) {
    const CRegion* outline = SelectedRegion();
    if (!outline) return 0;
    int32_t changed = 0;
    // Decide membership first: the outline's own diagnosis must not change
    // while other regions are still being compared with it.
    std::vector<CRegion*> targets;
    for (auto& r : regions_)
        if (r && (r.get() == outline || r->LiesInside(*outline))) targets.push_back(r.get());
    for (CRegion* r : targets) {
        r->diagnosis = diagnosis;
        ++changed;
    }
    return changed;
}

int32_t CRegions::SetDiagnosisInsideRect(const CRect& rect, int16_t diagnosis) {
    int32_t changed = 0;
    for (auto& r : regions_)
        if (r && r->BoundsInside(rect)) {
            r->diagnosis = diagnosis;
            ++changed;
        }
    return changed;
}

int32_t CRegions::RemoveOutside(const CRect& rect) {
    return RemoveIf([&rect](const CRegion* r) { return !r || !r->BoundsInside(rect); });
}

int32_t CRegions::CropTo(const CRect& rect) {
    const int32_t dropped = RemoveOutside(rect);
    Translate(rect.left, rect.top);
    return dropped;
}

void CRegions::Translate(int32_t dx, int32_t dy) {
    for (auto& r : regions_)
        if (r) r->Translate(dx, dy);
}

template <typename Mapping>
void CRegions::TransformAll(Mapping mapping) {
    for (auto& r : regions_) {
        if (!r || !r->IsValid()) continue;
        std::vector<CPoint> pixels = r->Pixels();
        for (CPoint& p : pixels) p = mapping(p);
        auto moved = std::make_unique<CRegion>(pixels, CRegion::PointsMode::PixelSet, false);
        moved->CopyAttributesFrom(*r);
        const CPoint spot = mapping(CPoint{r->spotX, r->spotY});
        moved->spotX = spot.x;
        moved->spotY = spot.y;
        r = std::move(moved);
    }
    cursor_ = -1;
}

void CRegions::MirrorHorizontally(int32_t width) {
    TransformAll([width](CPoint p) { return CPoint{width - 1 - p.x, p.y}; });
}

void CRegions::MirrorVertically(int32_t height) {
    TransformAll([height](CPoint p) { return CPoint{p.x, height - 1 - p.y}; });
}

bool CRegions::Rotate(int32_t width, int32_t height, int angle) {
    // Inverse of the image rotations: a source pixel (x, y) lands at these
    // coordinates of the rotated image of size width x height.
    switch (angle) {
        case 180:
            TransformAll([=](CPoint p) { return CPoint{width - 1 - p.x, height - 1 - p.y}; });
            return true;
        case -90:
            TransformAll([=](CPoint p) { return CPoint{width - 1 - p.y, p.x}; });
            return true;
        case 90:
            TransformAll([=](CPoint p) { return CPoint{p.y, height - 1 - p.x}; });
            return true;
        default:
            return false;
    }
}

void CRegions::SmoothByDilation(const CRect& rect, int element, int32_t cluster) {
    for (auto& r : regions_) {
        if (!r || !r->IsValid()) continue;
        if (cluster >= ClusterOutlineNumber(1) && ClusterOutlineNumber(r->clusterNumber) != cluster)
            continue;
        DilateRegion(*r, rect, element);
    }
}

}  // namespace vistrel
