#pragma once
// How the detection tool windows hand their selected spots to the document
// they work on: as its seeds, and on to the segment-from-seeds tool.

#include "detection/point_response.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

// "Set seeds": the spots replace the source's seeds; false without a source.
bool HandSeedsTo(CVistrelDoc* source, const CSpotList& spots);
// "Segment": the seeds, then the source's window to the front and the
// segment-from-seeds tool opened on it; false without a source.
bool SegmentFromSpots(CVistrelApp& app, CVistrelDoc* source, const CSpotList& spots);

}  // namespace vistrel
