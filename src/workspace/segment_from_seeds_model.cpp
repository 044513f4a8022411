#include "workspace/segment_from_seeds_model.h"

// Placeholder bodies until the segment-from-seeds window's model lands.
namespace vistrel {

CSegmentFromSeedsModel::CSegmentFromSeedsModel(CVistrelApp& app, bool currentSeeds)
    : CToolWindowModel(app), currentSeeds_(currentSeeds) {}
std::string CSegmentFromSeedsModel::Title() const {
    return currentSeeds_ ? kSegmentFromCurrentSeedsTitle : kSegmentFromSeedsTitle;
}
bool CSegmentFromSeedsModel::ControlsEnabled() const { return false; }
void CSegmentFromSeedsModel::SetDirections(int d) { directions_ = d; }
int32_t CSegmentFromSeedsModel::WindowPixels() const { return kMinGrowWindow; }
CGrowParams CSegmentFromSeedsModel::Params() const { return {}; }
bool CSegmentFromSeedsModel::OnSetSeeds() { return false; }
bool CSegmentFromSeedsModel::OnSegment() { return false; }

}  // namespace vistrel
