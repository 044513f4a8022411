#pragma once
// The dialogs of the feature commands as workspace models: the feature
// selection, the region type asked before a feature file is written, and the
// two co-occurrence settings.

#include <cstdint>
#include <string>
#include <vector>

#include "regions/feature_vector.h"

namespace vistrel {

// "Feature Selection": every feature name with its check box, in output
// order, split into the region group and the cluster group, plus the two
// application switches that gate the shape-moment and moment groups.
class CFeatureSelectionModel {
  public:
    static constexpr const char* kTitle = "Feature Selection";
    static constexpr const char* kShapeMomentsLabel = "shape moments";
    static constexpr const char* kMomentsLabel = "invariant moments";

    void Load(const CFeatureSelection& selection, const CFeatureSettings& settings);
    // Writes the boxes and switches back.
    void Commit(CFeatureSelection& selection, CFeatureSettings& settings) const;

    int32_t Count() const { return static_cast<int32_t>(entries.size()); }
    // Index of the first cluster feature.
    int32_t SecondGroup() const { return secondGroup; }
    void SetAll(bool on);
    // Every entry whose name contains the text (case-insensitive) set on or off.
    int32_t SetMatching(const std::string& text, bool on);
    int32_t SelectedCount() const;

    std::vector<CFeatureSelection::Entry> entries;
    int32_t secondGroup = 0;
    bool shapeMoments = true;
    bool moments = true;
};

// The region-type dialog: two remembered text fields whose composition is
// the "region type" column of a feature file.
class CRegionTypeModel {
  public:
    static constexpr const char* kTitle = "Region Type";
    static constexpr const char* kTypeLabel = "region type";
    static constexpr const char* kDetailLabel = "details";

    // The column text: the type, then " " and the details when given. Tabs,
    // line breaks and other control characters become blanks so that the
    // text can never split a feature-file row; leading and trailing blanks
    // are dropped.
    std::string Text() const;
    // The reason OK is refused (an empty type), empty when acceptable.
    std::string Problem() const;

    std::string type;
    std::string detail;
};

// "Cooccurence Matrix Params": the pair distance and the ring width.
class CCoocurrenceParamsModel {
  public:
    static constexpr const char* kTitle = "Cooccurence Matrix Params";
    static constexpr const char* kDistanceLabel = "cooccurence distance";
    static constexpr const char* kRingLabel = "square ring around object";
    static constexpr int32_t kMaxDistance = 100;
    static constexpr int32_t kMaxRing = 1000;

    void Load(const CFeatureSettings& settings);
    // False (settings untouched) when a value is out of 1..kMaxDistance or
    // 0..kMaxRing.
    bool Commit(CFeatureSettings& settings) const;
    std::string Problem() const;

    int32_t distance = 1;
    int32_t ring = 5;
};

}  // namespace vistrel
