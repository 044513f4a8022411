// The document's seed list and the regions grown from it.
#include "workspace/vistrel_doc.h"

namespace vistrel {

void CVistrelDoc::SetSeeds(const CSpotList& seeds) {
    spots.CopyFrom(seeds);
    UpdateAllViews(kUpdateAnnotations);
}

// Placeholder bodies until the seed commands land.
bool CVistrelDoc::PrepareSeeds(double, const ProgressFn&) { return false; }

std::unique_ptr<CMImage> CVistrelDoc::SegmentFromSeeds(const CGrowParams&, CGrowReport*,
                                                       const ProgressFn&) {
    return nullptr;
}

bool CVistrelDoc::OnSeedsFromCentroids() { return false; }

CVistrelDoc* CVistrelDoc::OnSeedsWthLocalStatistics() { return nullptr; }

}  // namespace vistrel
