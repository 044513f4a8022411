#pragma once
// The "Region Growing" parameters dialog of contour correction: the number of
// rings that may be added and the grey-level tolerance, which the dialog shows
// in percent of the region's mean and the algorithm takes as a fraction.

#include <cstdint>
#include <string>

#include "regions/contour_correction.h"

namespace vistrel {

class CRegionGrowingModel {
  public:
    static constexpr const char* kTitle = "Region Growing";
    static constexpr const char* kMaxAddedBoundsLabel = "max added bounds";
    static constexpr const char* kPercentLabel = "|mean-val|<mean*percent";
    // Ranges the fields accept; beyond them the dialog refuses OK.
    static constexpr int32_t kMaxAddedBoundsLimit = 10000;
    static constexpr double kPercentLimit = 1000.0;

    // The fields as the dialog shows them for params.
    void Load(const CRegionGrowingParams& params);
    // Stores the fields into params; false (params untouched) when a field is
    // out of range or not a number.
    bool Commit(CRegionGrowingParams& params) const;
    // The reason Commit refuses the fields, empty when they are acceptable.
    std::string Problem() const;

    int32_t maxAddedBounds = 5;
    double percent = 1.0;
};

}  // namespace vistrel
