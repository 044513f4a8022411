#pragma once
// Model of the "Breast Segment" dialog: its choices and the parameter record
// they give for a run of the segmentation command.

#include <string>

#include "detection/breast_segment.h"

namespace vistrel {

inline constexpr const char* kBreastSegmentTitle = "Breast Segment";

class CBreastSegmentModel {
  public:
    // View radio: "Left", "Right", "Auto" (kViewLeft .. kViewAuto).
    int view = kViewAuto;
    // Threshold radio: "Manual" (false) or "Auto" (true).
    bool automatic = true;
    // The percentile edits, enabled only while "Manual" is chosen.
    std::string lowText = "40.";
    std::string highText = "99.5";
    // "stozek": the cone pass.
    bool cone = true;

    bool PercentilesEnabled() const { return !automatic; }
    // The record of "Segment": view from the radio, projection auto,
    // automatic unless "Manual", low and high read from the first 10
    // characters of the edits with "Manual" (0 otherwise), cone from the
    // check box, log on.
    CSegmentParams Params() const;
};

}  // namespace vistrel
