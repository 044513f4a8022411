#pragma once
// OVERLAY annotation files: a document's description, regions of
// suspiciousness (ROS) with their pathology and its regions with diagnosis,
// type, cluster membership and detector attributes, as line-oriented text
// beside the image. Files of the same family written by other tools
// ("BOUNDARY"/"CORE" outlines, "PATHOLOGY", "SUBTLETY") are read as well.

#include <cstdint>
#include <string>

#include "regions/regions.h"

namespace vistrel {

// Where the document's image sits relative to the coordinates of the file.
struct COverlayPlacement {
    int32_t imageWidth = 0;  // the document's image size
    int32_t imageHeight = 0;
    int32_t originX = 0;  // position of the image inside the image it was cut from
    int32_t originY = 0;
    int32_t originalWidth = 0;  // width of that source image; 0 when not cut out
    bool autoFlipped = false;   // the image was mirrored at opening
};

enum class COverlayWriteResult { Written, NothingToWrite, Failed };

// Reads an OVERLAY file into the collections (regions equal to one already
// present are skipped), appends the lines it does not interpret to
// `description` (each followed by "\r\n") and sets `subtlety` from a
// "SUBTLETY" line. File coordinates are source-image coordinates: outlines
// that do not fit the document's image are dropped and the others are moved
// into the document's coordinates (and mirrored when the image was mirrored at
// opening). The PATHOLOGY line or abnormality block that leads straight to a
// ROS outline is kept with that ROS (`lesionLines`), not in the description,
// so that writing the file back reproduces it. False, with the reason in
// `failure` when given, when the file cannot be read or is not text (holds NUL
// bytes); nothing is changed then.
bool ReadOverlay(const std::string& path, const COverlayPlacement& placement,
                 std::string& description, int16_t& subtlety, CRegions& regions, CRegions& ros,
                 std::string* failure = nullptr);

// Writes an OVERLAY file atomically. A ROS read from a file is written with
// its own lesion lines (a PATHOLOGY line stating its current diagnosis among
// them); any other ROS with "PATHOLOGY ..." and "BOUNDARY". Outlines go out in source-image
// coordinates unless `currentCoordinates` is set (asking which one is the
// caller's business). Outlines of a mirrored image are mirrored back. Nothing
// is written when the description and both collections are empty.
COverlayWriteResult WriteOverlay(const std::string& path, const std::string& description,
                                 const CRegions& regions, const CRegions& ros,
                                 const COverlayPlacement& placement, bool currentCoordinates);

// The header line of a region (type keyword, diagnosis word, cluster phrase,
// spot text), ending with the spot text's " \n".
std::string OverlayRegionHeader(const CRegion& region);

}  // namespace vistrel
