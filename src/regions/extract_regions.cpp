#include "regions/extract_regions.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "regions/equivalence_set.h"
#include "regions/region_points.h"

namespace vistrel {

namespace {

// A horizontal run of object pixels [x0, x1] and its provisional label.
struct Run {
    int32_t x0;
    int32_t x1;
    int32_t label;
};

// Equivalences between provisional labels, kept as disjoint sets with an
// index from label to set so that finding a label's set costs nothing.
class CEquivalences {
  public:
    void NewLabel() { setOf_.push_back(-1); }

    void Record(int32_t a, int32_t b) {
        // A long run under two touching labels meets the same pair again and again.
        if (a == lastA_ && b == lastB_) return;
        lastA_ = a;
        lastB_ = b;
        int32_t sa = setOf_[static_cast<size_t>(a)];
        int32_t sb = setOf_[static_cast<size_t>(b)];
        if (sa >= 0 && sa == sb) return;
        if (sa < 0 && sb < 0) {
            CEquivalenceSet set;
            set.Insert(a);
            set.Insert(b);
            sets_.push_back(std::move(set));
            setOf_[static_cast<size_t>(a)] = setOf_[static_cast<size_t>(b)] =
                static_cast<int32_t>(sets_.size() - 1);
            return;
        }
        if (sb < 0) {
            sets_[static_cast<size_t>(sa)].Insert(b);
            setOf_[static_cast<size_t>(b)] = sa;
            return;
        }
        if (sa < 0) {
            sets_[static_cast<size_t>(sb)].Insert(a);
            setOf_[static_cast<size_t>(a)] = sb;
            return;
        }
        // Both labels already have sets: the smaller set is absorbed.
        if (sets_[static_cast<size_t>(sa)].Size() < sets_[static_cast<size_t>(sb)].Size())
            std::swap(sa, sb);
        for (int32_t label : sets_[static_cast<size_t>(sb)].Labels())
            setOf_[static_cast<size_t>(label)] = sa;
        sets_[static_cast<size_t>(sa)].Absorb(sets_[static_cast<size_t>(sb)]);
    }

    // The smallest label equivalent to `label` (itself when it is in no set).
    int32_t Representative(int32_t label) const {
        const int32_t s = setOf_[static_cast<size_t>(label)];
        return s < 0 ? label : sets_[static_cast<size_t>(s)].Smallest();
    }

  private:
    std::vector<CEquivalenceSet> sets_;
    std::vector<int32_t> setOf_{-1};  // label 0 is never used
    int32_t lastA_ = -1;
    int32_t lastB_ = -1;
};

// Marks the object pixels of row y with 1.
void ObjectRow(const CMImageBase& image, int32_t y, uint16_t value, uint8_t* out) {
    const int32_t w = image.width;
    const uint8_t* row = image.Row(y);
    switch (image.depth) {
        case 1:
            for (int32_t x = 0; x < w; ++x) out[x] = ((row[x >> 3] >> (7 - (x & 7))) & 1) == value;
            break;
        case 4:
            for (int32_t x = 0; x < w; ++x)
                out[x] = ((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)) == value;
            break;
        case 8:
            for (int32_t x = 0; x < w; ++x) out[x] = row[x] == value;
            break;
        default: {
            const uint16_t* row16 = image.Row16(y);
            for (int32_t x = 0; x < w; ++x) out[x] = row16[x] == value;
        }
    }
}

}  // namespace

std::unique_ptr<CRegions> ExtractRegions(const CMImageBase& image, int objectValue,
                                         int connectivity) {
    if (!image.IsValid() || !IsSupportedDepth(image.depth)) return nullptr;
    if (connectivity != 4 && connectivity != 8) return nullptr;
    try {
        auto result = std::make_unique<CRegions>();
        if (objectValue < 0 || objectValue > 0xFFFF) return result;
        const uint16_t value = static_cast<uint16_t>(objectValue);
        // Diagonal neighbours of a run reach one column further each way.
        const int32_t reach = connectivity == 8 ? 1 : 0;
        const int32_t w = image.width;

        std::vector<uint8_t> objects(static_cast<size_t>(w) + 1, 0);
        std::vector<Run> previous, current;
        std::vector<CRegionPoints> lists;  // lists[label - 1]
        CEquivalences equivalences;
        std::vector<int32_t> met;

        for (int32_t y = 0; y < image.height; ++y) {
            ObjectRow(image, y, value, objects.data());
            current.clear();
            size_t j = 0;
            for (int32_t x = 0; x < w;) {
                if (!objects[static_cast<size_t>(x)]) {
                    ++x;
                    continue;
                }
                const int32_t x0 = x;
                while (x < w && objects[static_cast<size_t>(x)]) ++x;
                const int32_t x1 = x - 1;

                // Labelled pixels of the row above that touch this run.
                while (j < previous.size() && previous[j].x1 < x0 - reach) ++j;
                met.clear();
                for (size_t k = j; k < previous.size() && previous[k].x0 <= x1 + reach; ++k)
                    met.push_back(previous[k].label);
                int32_t label;
                if (met.empty()) {
                    lists.emplace_back();
                    equivalences.NewLabel();
                    label = static_cast<int32_t>(lists.size());
                } else {
                    label = *std::min_element(met.begin(), met.end());
                    for (int32_t other : met)
                        if (other != label) equivalences.Record(label, other);
                }
                CRegionPoints& list = lists[static_cast<size_t>(label - 1)];
                for (int32_t px = x0; px <= x1; ++px) list.Add({px, y}, label);
                current.push_back({x0, x1, label});
            }
            std::swap(previous, current);
        }

        // Each list takes the smallest label of its equivalence set and joins
        // the first list with that label.
        const int32_t labels = static_cast<int32_t>(lists.size());
        for (int32_t label = 1; label <= labels; ++label) {
            const int32_t representative = equivalences.Representative(label);
            if (representative == label) continue;
            CRegionPoints& target = lists[static_cast<size_t>(representative - 1)];
            target.Absorb(lists[static_cast<size_t>(label - 1)]);
        }
        for (int32_t label = 1; label <= labels; ++label) {
            CRegionPoints& list = lists[static_cast<size_t>(label - 1)];
            if (list.Points().empty()) continue;
            auto region =
                std::make_unique<CRegion>(list.Points(), CRegion::PointsMode::PixelSet, true);
            std::vector<CPoint>().swap(list.Points());
            // Components are disjoint, so no two of them trace to equal outlines.
            result->Adopt(std::move(region));
        }
        return result;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace vistrel
