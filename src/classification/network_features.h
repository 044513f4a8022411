#pragma once
// The feature vector the network's mask refers to: a fixed order of every
// region feature, so a mask means the same features whatever the feature
// selection was when a region is classified; the features the training
// dialog offers; and classifying regions with a network.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "classification/bpnn.h"
#include "core/image.h"
#include "core/messages.h"
#include "regions/feature_vector.h"
#include "regions/region.h"
#include "regions/regions.h"

namespace vistrel {

// "_" (the leading column of the feature files), then every region feature
// name in output order at the settings' co-occurrence distance.
std::vector<std::string> NetworkFeatureNames(const CFeatureSettings& settings);

// The check boxes of the training dialog, in box order: label and the
// region feature the box selects.
struct CNetworkFeatureBox {
    const char* label;
    const char* feature;
};
inline constexpr int32_t kNetworkFeatureBoxes = 36;
const std::array<CNetworkFeatureBox, kNetworkFeatureBoxes>& NetworkFeatureBoxes();

// A mask over `names` with exactly the chosen names set. False, with the
// unknown name in *error, when one is not in names.
bool MaskFromNames(const std::vector<std::string>& names, const std::vector<std::string>& chosen,
                   std::vector<uint8_t>& mask, std::string* error = nullptr);

// The network vector of one region: its features computed with just the
// masked ones selected, each at its position (missing values 0). Negative
// when the features cannot be computed.
int RegionNetworkVector(const CRegion& region, const CMImage& image, const BPNN& network,
                        const CFeatureSettings& settings, std::vector<double>& out);

// Classifies every region that is not a cluster outline and whose network
// letter is blank, storing the letter; regions whose features fail keep a
// blank letter. Features are computed in parallel. Returns the number
// classified; -1 when progress asked to stop (letters given so far stay).
int32_t ClassifyRegions(BPNN& network, double threshold, CRegions& regions, const CMImage& image,
                        const CFeatureSettings& settings, const ProgressFn& progress = {});

}  // namespace vistrel
