#include "classification/network_features.h"

#include <memory>
#include <unordered_map>

#include "regions/region_features.h"

namespace vistrel {

namespace {

// Positions of the names in the network vector.
std::unordered_map<std::string, int32_t> Positions(const std::vector<std::string>& names) {
    std::unordered_map<std::string, int32_t> at;
    at.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) at.emplace(names[i], static_cast<int32_t>(i));
    return at;
}

// The selection of exactly the features the network reads; false when its
// mask reaches past the vector (it was made for other features).
bool MaskedSelection(const BPNN& network, const std::vector<std::string>& names,
                     CFeatureSelection& selection) {
    const std::span<const uint8_t> mask = network.Mask();
    if (mask.empty() || mask.size() > names.size()) return false;
    std::vector<CFeatureSelection::Entry> entries;
    entries.reserve(names.size());
    // "_" stands for the files' leading column, always 0: never computed.
    for (size_t i = 1; i < names.size(); ++i)
        entries.push_back({names[i], static_cast<uint8_t>(i < mask.size() && mask[i] ? 1 : 0)});
    const auto count = static_cast<int32_t>(entries.size());
    selection = CFeatureSelection(std::move(entries), count);
    return true;
}

// The values of the masked names at their positions, the rest 0.
void PlaceValues(const CFeatureVector& features, std::span<const uint8_t> mask,
                 const std::unordered_map<std::string, int32_t>& positions,
                 std::vector<double>& out) {
    out.assign(mask.size(), 0.0);
    for (size_t i = 0; i < features.values.size() && i < features.names.size(); ++i) {
        const auto it = positions.find(features.names[i]);
        if (it == positions.end()) continue;
        const auto at = static_cast<size_t>(it->second);
        if (at > 0 && at < mask.size() && mask[at]) out[at] = features.values[i];
    }
}

}  // namespace

std::vector<std::string> NetworkFeatureNames(const CFeatureSettings& settings) {
    std::vector<std::string> names = {"_"};
    for (std::string& name : RegionFeatureNames(settings)) names.push_back(std::move(name));
    return names;
}

const std::array<CNetworkFeatureBox, kNetworkFeatureBoxes>& NetworkFeatureBoxes() {
    static const std::array<CNetworkFeatureBox, kNetworkFeatureBoxes> boxes = {{
        {"area", "Area"},
        {"compactness (outer)", "Compactness_Outer"},
        {"compactness (inner)", "Compactness_Inner"},
        {"elongation", "Elongation"},
        {"shape moment 1 (F1)", "Shape_Moment_1"},
        {"shape moment 2", "Shape_Moment_2"},
        {"shape moment 3", "Shape_Moment_3"},
        {"shape moment 4", "Shape_Moment_4"},
        {"F3 - F1", "Roughness=ShM3-ShM1"},
        {"FF", "Shape_Measure_FF"},
        {"edge strength", "Edge_Strength_Mean"},
        {"background gray level (bac)", "Background_Gray_Level"},
        {"mean", "Mean"},
        {"std dev", "StdDev"},
        {"foreground background ratio", "Foreground_Background_Ratio"},
        {"f b difference", "Foreground_Background_Difference"},
        {"difference ratio", "Difference_Ratio"},
        {"invariant moment 1", "Invariant_Moment_0"},
        {"invariant moment 2", "Invariant_Moment_1"},
        // The grey-level set stops at six moments; the seventh is the binary one.
        {"invariant moment 7 (binary)", "Binary_Invariant_Moment_6"},
        {"invariant moment 3", "Invariant_Moment_2"},
        {"invariant moment 4", "Invariant_Moment_3"},
        {"invariant moment 5", "Invariant_Moment_4"},
        {"invariant moment 6", "Invariant_Moment_5"},
        {"contrast", "Contrast_Mean"},
        {"entropy", "Entropy_Mean"},
        {"angular second moment", "AngularSecondMoment_Mean"},
        {"inverse different moment", "InverseDifferentMoment_Mean"},
        {"correlation", "Correlation_Mean"},
        {"covariance", "Covariance_Mean"},
        {"sum average", "SumAverage_Mean"},
        {"sum entropy", "SumEntropy_Mean"},
        {"sum variance", "SumVariance_Mean"},
        {"difference average", "DifferenceAverage_Mean"},
        {"difference entropy", "DifferenceEntropy_Mean"},
        {"difference variance", "DifferenceVariance_Mean"},
    }};
    return boxes;
}

bool MaskFromNames(const std::vector<std::string>& names, const std::vector<std::string>& chosen,
                   std::vector<uint8_t>& mask, std::string* error) {
    const std::unordered_map<std::string, int32_t> positions = Positions(names);
    std::vector<uint8_t> result(names.size(), 0);
    for (const std::string& name : chosen) {
        const auto it = positions.find(name);
        if (it == positions.end()) {
            if (error) *error = "unknown feature \"" + name + "\"";
            return false;
        }
        result[static_cast<size_t>(it->second)] = 1;
    }
    mask = std::move(result);
    if (error) error->clear();
    return true;
}

int RegionNetworkVector(const CRegion& region, const CMImage& image, const BPNN& network,
                        const CFeatureSettings& settings, std::vector<double>& out) {
    out.clear();
    const std::vector<std::string> names = NetworkFeatureNames(settings);
    CFeatureSelection selection;
    if (!network.IsValid() || !MaskedSelection(network, names, selection)) return -1;
    CFeatureVector features;
    if (ComputeRegionFeatures(region, image, selection, settings, features) < 0) return -1;
    PlaceValues(features, network.Mask(), Positions(names), out);
    return 0;
}

int32_t ClassifyRegions(BPNN& network, double threshold, CRegions& regions, const CMImage& image,
                        const CFeatureSettings& settings, const ProgressFn& progress) {
    const std::vector<std::string> names = NetworkFeatureNames(settings);
    CFeatureSelection selection;
    if (!network.IsValid() || !MaskedSelection(network, names, selection)) return 0;

    // Only the regions still to be classified have their features computed.
    std::vector<CRegion*> pending;
    CRegions subset;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        CRegion* region = regions.At(i);
        if (!region || region->IsClusterOutline() || region->nnDiagnosis != kNnNoAnswer) continue;
        if (subset.Adopt(std::make_unique<CRegion>(*region))) pending.push_back(region);
    }
    std::vector<CFeatureVector> features;
    if (!ComputeAllRegionFeatures(subset, image, selection, settings, false, features, progress))
        return -1;

    const std::unordered_map<std::string, int32_t> positions = Positions(names);
    std::vector<double> vector;
    int32_t classified = 0;
    for (size_t i = 0; i < pending.size(); ++i) {
        if (features[i].IsEmpty()) continue;
        PlaceValues(features[i], network.Mask(), positions, vector);
        const char letter =
            network.ClassifyFeatures(vector.data(), static_cast<int32_t>(vector.size()), threshold);
        if (letter == kNnNoAnswer) continue;
        pending[i]->nnDiagnosis = letter;
        ++classified;
    }
    return classified;
}

}  // namespace vistrel
