#include "detection/point_response.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <utility>

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

namespace {

uint64_t Mix(uint64_t h, uint64_t v) {
    uint64_t z = h ^ (v + 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Equal doubles must hash alike: -0.0 == 0.0 although their bits differ. A NaN
// equals nothing, so whatever it hashes to is never matched.
uint64_t Bits(double v) {
    return v == 0.0 ? 0 : std::bit_cast<uint64_t>(v);
}

uint64_t HashOf(const CPointResponse& spot) {
    uint64_t h = Mix(uint64_t(uint32_t(spot.x)) << 32 | uint32_t(spot.y), spot.values.size());
    h = Mix(h, Bits(spot.response));
    for (double v : spot.values) h = Mix(h, Bits(v));
    return h;
}

}  // namespace

void CSpotSet::Reserve(std::size_t count) {
    // At most half full, so that probe runs stay short.
    const std::size_t wanted = std::bit_ceil(std::max<std::size_t>(16, 2 * count + 1));
    if (wanted <= slots_.size()) return;
    std::vector<CSlot> old = std::exchange(slots_, std::vector<CSlot>(wanted));
    mask_ = wanted - 1;
    for (const CSlot& s : old) {
        if (!s.spot) continue;
        std::size_t at = std::size_t(s.hash) & mask_;
        while (slots_[at].spot) at = (at + 1) & mask_;
        slots_[at] = s;
    }
}

std::size_t CSpotSet::FindSlot(const CPointResponse& spot, uint64_t hash) const {
    for (std::size_t at = std::size_t(hash) & mask_;; at = (at + 1) & mask_) {
        const CSlot& slot = slots_[at];
        if (!slot.spot || (slot.hash == hash && *slot.spot == spot)) return at;
    }
}

bool CSpotSet::Insert(const CPointResponse& spot) {
    Reserve(count_ + 1);
    const uint64_t hash = HashOf(spot);
    CSlot& slot = slots_[FindSlot(spot, hash)];
    if (slot.spot) return false;
    slot = {hash, &spot};
    ++count_;
    return true;
}

CUniqueSpotAdder::CUniqueSpotAdder(CSpotList& list, std::size_t expected)
    : list_(list), set_(std::size_t(list.Count()) + expected) {
    list_.Reserve(std::size_t(list.Count()) + expected);
    // A list built by other means may already hold equal spots; the first
    // one is the one an AddUnique search would find.
    for (int32_t i = 0; i < list.Count(); ++i) set_.Insert(list[i]);
}

// Appended first and taken back when an equal spot is there (seldom), so that
// each spot is hashed and looked up once.
bool CUniqueSpotAdder::Add(const CPointResponse& spot) {
    return Add(CPointResponse(spot));
}

bool CUniqueSpotAdder::Add(CPointResponse&& spot) {
    list_.Append(std::move(spot));
    if (set_.Insert(list_[list_.Count() - 1])) return true;
    list_.RemoveLast();
    return false;
}

void CSpotList::AssignSelection(const CSpotList& other, const std::vector<int32_t>& indices) {
    if (this == &other) {
        CSpotList copy(other);
        AssignSelection(copy, indices);
        return;
    }
    const std::size_t keep = std::min(items_.size(), indices.size());
    for (std::size_t i = 0; i < keep; ++i) *items_[i] = other[indices[i]];
    items_.resize(keep);
    items_.reserve(indices.size());
    for (std::size_t i = keep; i < indices.size(); ++i)
        items_.push_back(std::make_unique<CPointResponse>(other[indices[i]]));
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
