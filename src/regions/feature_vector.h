#pragma once
// A named feature vector and the application's feature selection: the
// vocabulary shared by the region, cluster and texture measures, the feature
// files and the network.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vistrel {

// Parallel lists of names and values, in output order.
struct CFeatureVector {
    std::vector<std::string> names;
    std::vector<double> values;

    void Clear() {
        names.clear();
        values.clear();
    }
    void Add(std::string name, double value) {
        names.push_back(std::move(name));
        values.push_back(value);
    }
    // Appends every entry of other.
    void Append(const CFeatureVector& other);
    int32_t Size() const { return static_cast<int32_t>(values.size()); }
    bool IsEmpty() const { return values.empty(); }
    // Names and values agree in count: a vector that does not is never written.
    bool IsConsistent() const { return names.size() == values.size(); }
    // Index of the entry with exactly this name, -1 when none.
    int32_t IndexOf(std::string_view name) const;
};

// Which features are computed: an ordered list of names, each with an
// on/off flag, plus the index of the first entry of the second group (the
// cluster features). Lookups are by exact name; an unknown name counts as
// not selected.
class CFeatureSelection {
  public:
    struct Entry {
        std::string name;
        uint8_t on = 1;
    };

    CFeatureSelection() = default;
    CFeatureSelection(std::vector<Entry> entries, int32_t secondGroup)
        : entries_(std::move(entries)), secondGroup_(secondGroup) {
        Reindex();
    }

    // Every feature of every region asks here, from several threads at
    // once: the lookup goes through a name index, checked against the entry
    // it points to, so that names changed through Entries() are still found
    // (by a scan) until Reindex() is called.
    bool Selected(std::string_view name) const;
    void Reindex();
    // False (nothing changed) for an unknown name.
    bool Set(std::string_view name, bool on);
    void SetAll(bool on);
    const std::vector<Entry>& Entries() const { return entries_; }
    std::vector<Entry>& Entries() { return entries_; }
    int32_t SecondGroup() const { return secondGroup_; }
    void SetSecondGroup(int32_t index) { secondGroup_ = index; }

  private:
    int32_t Find(std::string_view name) const;

    std::vector<Entry> entries_;
    int32_t secondGroup_ = 0;
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };
    std::unordered_map<std::string, int32_t, NameHash, std::equal_to<>> index_;
};

// Everything besides the selection that the measures read from the
// application and the document.
struct CFeatureSettings {
    double resolution = 583.92;     // pixels per inch of the document
    int32_t coocurrenceDistance = 1;  // "cooccurence distance"
    int32_t ringWidth = 5;            // "square ring around object", pixels
    bool shapeMoments = true;         // the application's shape-moment switch
    bool moments = true;              // the application's moment switch
};

// Millimetres of a length and square millimetres of an area in pixels at
// resolution pixels per inch.
inline double PixelsToMm(double length, double resolution) {
    return resolution > 0 ? length * 25.4 / resolution : 0.0;
}
inline double PixelAreaToMm2(double area, double resolution) {
    return resolution > 0 ? area * 2.54 * 2.54 * 100.0 / (resolution * resolution) : 0.0;
}

}  // namespace vistrel
