// The network's feature vector: the dialog's boxes name real features, a
// region's vector holds exactly the masked features at their fixed
// positions, and classifying regions leaves outlines and regions already
// classified alone.

#include "classification/network_features.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "regions/feature_file.h"
#include "regions/region_features.h"
#include "support/disc_points.h"
#include "support/speck_image.h"

namespace vistrel {
namespace {

using testsupport::Disc;

CRegion DiscRegion(int cx, int cy, int r) {
    return CRegion(Disc(cx, cy, r), CRegion::PointsMode::PixelSet);
}

std::vector<std::string> BoxFeatures() {
    std::vector<std::string> names;
    for (const CNetworkFeatureBox& box : NetworkFeatureBoxes()) names.push_back(box.feature);
    return names;
}

std::vector<uint8_t> Mask(const std::vector<std::string>& names,
                          const std::vector<std::string>& chosen) {
    std::vector<uint8_t> mask;
    std::string error;
    EXPECT_TRUE(MaskFromNames(names, chosen, mask, &error)) << error;
    return mask;
}

int32_t Ones(const std::vector<uint8_t>& mask) {
    return static_cast<int32_t>(
        std::count_if(mask.begin(), mask.end(), [](uint8_t m) { return m; }));
}

TEST(NetworkFeatures, NamesAreTheFeatureFileColumns) {
    // A region's row in a feature file with everything selected has exactly
    // these columns, so a mask made from a file's header fits the vector.
    const CFeatureSettings settings;
    const CMImage image = testsupport::SpeckImage();
    CFeatureVector all;
    ASSERT_EQ(ComputeRegionFeatures(DiscRegion(40, 70, 3), image, DefaultFeatureSelection(settings),
                                    settings, all),
              0);
    EXPECT_EQ(NetworkFeatureNames(settings), WithLeadingColumn(all).names);
}

TEST(NetworkFeatures, EveryBoxSelectsAnExistingFeatureOnce) {
    for (const int32_t distance : {1, 3}) {
        SCOPED_TRACE(distance);
        CFeatureSettings settings;
        settings.coocurrenceDistance = distance;
        const std::vector<std::string> names = NetworkFeatureNames(settings);
        std::set<std::string> labels, features;
        for (const CNetworkFeatureBox& box : NetworkFeatureBoxes()) {
            EXPECT_NE(std::find(names.begin(), names.end(), box.feature), names.end())
                << box.label << " -> " << box.feature;
            EXPECT_TRUE(labels.insert(box.label).second) << box.label;
            EXPECT_TRUE(features.insert(box.feature).second) << box.feature;
        }
    }
}

TEST(NetworkFeatures, MaskFromNames) {
    const std::vector<std::string> names = {"_", "Area", "Mean", "Contrast_Mean"};
    std::vector<uint8_t> mask;
    std::string error;
    ASSERT_TRUE(MaskFromNames(names, {"Contrast_Mean", "Area", "Area"}, mask, &error)) << error;
    EXPECT_EQ(mask, (std::vector<uint8_t>{0, 1, 0, 1}));
    ASSERT_TRUE(MaskFromNames(names, {}, mask, &error));
    EXPECT_EQ(mask, (std::vector<uint8_t>{0, 0, 0, 0}));

    mask = {1, 1, 1, 1};
    EXPECT_FALSE(MaskFromNames(names, {"Area", "area"}, mask, &error));
    EXPECT_NE(error.find("\"area\""), std::string::npos) << error;
    EXPECT_EQ(mask, (std::vector<uint8_t>{1, 1, 1, 1}));  // unchanged
}

TEST(NetworkFeatures, RegionVectorHoldsTheMaskedFeaturesAtTheirPositions) {
    const CFeatureSettings settings;
    const std::vector<std::string> names = NetworkFeatureNames(settings);
    const CMImage image = testsupport::SpeckImage();
    struct Case {
        const char* what;
        std::vector<std::string> chosen;
    };
    const Case cases[] = {
        {"the dialog's boxes", BoxFeatures()},
        // Names whose measures are computed together with others: only the
        // masked one may land in the vector.
        {"one of a group", {"Elongation"}},
        {"texture and shape", {"Contrast_Mean", "Area", "Binary_Invariant_Moment_6"}},
        {"the last feature", {names.back()}},
    };
    for (const CRegion& region : {DiscRegion(40, 70, 3), DiscRegion(70, 30, 2)}) {
        CFeatureVector all;
        ASSERT_EQ(
            ComputeRegionFeatures(region, image, DefaultFeatureSelection(settings), settings, all),
            0);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            const std::vector<uint8_t> mask = Mask(names, c.chosen);
            const BPNN network(Ones(mask), 2, 1, false, mask.data(),
                               static_cast<int32_t>(mask.size()), 7u);
            ASSERT_TRUE(network.IsValid());
            std::vector<double> vector;
            ASSERT_EQ(RegionNetworkVector(region, image, network, settings, vector), 0);
            ASSERT_EQ(vector.size(), names.size());
            int32_t nonZero = 0;
            for (size_t i = 0; i < names.size(); ++i) {
                if (!mask[i]) {
                    EXPECT_EQ(vector[i], 0.0) << names[i];
                    continue;
                }
                const int32_t at = all.IndexOf(names[i]);
                ASSERT_GE(at, 0) << names[i];
                EXPECT_DOUBLE_EQ(vector[i], all.values[size_t(at)]) << names[i];
                nonZero += vector[i] != 0.0;
            }
            // The fixture must not pass by comparing zeros.
            EXPECT_GT(nonZero, 0);
        }
    }
}

TEST(NetworkFeatures, RegionVectorRefusesWhatItCannotFill) {
    const CFeatureSettings settings;
    const CMImage image = testsupport::SpeckImage();
    const CRegion region = DiscRegion(40, 70, 3);
    std::vector<double> vector = {1.0};

    // A mask longer than the vector was made for other features.
    std::vector<uint8_t> tooLong(NetworkFeatureNames(settings).size() + 1, 0);
    tooLong.back() = 1;
    const BPNN longMask(1, 1, 1, false, tooLong.data(), static_cast<int32_t>(tooLong.size()), 1u);
    ASSERT_TRUE(longMask.IsValid());
    EXPECT_LT(RegionNetworkVector(region, image, longMask, settings, vector), 0);
    EXPECT_TRUE(vector.empty());

    const BPNN noMask(1, 1, 1, false, 1u);
    EXPECT_LT(RegionNetworkVector(region, image, noMask, settings, vector), 0);

    const std::vector<uint8_t> mask = Mask(NetworkFeatureNames(settings), {"Area"});
    const BPNN network(1, 1, 1, false, mask.data(), static_cast<int32_t>(mask.size()), 1u);
    EXPECT_LT(RegionNetworkVector(CRegion(), image, network, settings, vector), 0);
}

// One input, the area: a hidden unit that switches on between the areas of
// the small and the large disc, and an output that follows it, so small
// discs come out false and large ones true at threshold 0.5.
BPNN AreaNetwork(const CFeatureSettings& settings, double smallArea, double largeArea) {
    const std::vector<uint8_t> mask = Mask(NetworkFeatureNames(settings), {"Area"});
    BPNN network(1, 1, 1, false, mask.data(), static_cast<int32_t>(mask.size()), 5u);
    const double middle = (smallArea + largeArea) / 2;
    network.SetInputWeight(0, 1, -middle);
    network.SetInputWeight(1, 1, 1.0);
    network.SetHiddenWeight(0, 1, -10.0);
    network.SetHiddenWeight(1, 1, 20.0);
    return network;
}

double AreaOf(const CRegion& region, const CMImage& image, const CFeatureSettings& settings) {
    CFeatureSelection selection = DefaultFeatureSelection(settings);
    selection.SetAll(false);
    selection.Set("Area", true);
    CFeatureVector v;
    EXPECT_EQ(ComputeRegionFeatures(region, image, selection, settings, v), 0);
    return v.Size() == 1 ? v.values[0] : -1.0;
}

TEST(NetworkFeatures, ClassifyRegionsSkipsOutlinesAndClassifiedRegions) {
    const CFeatureSettings settings;
    const CMImage image = testsupport::SpeckImage();
    const double smallArea = AreaOf(DiscRegion(25, 25, 1), image, settings);
    const double largeArea = AreaOf(DiscRegion(40, 70, 3), image, settings);
    ASSERT_GT(largeArea, smallArea + 10);
    BPNN network = AreaNetwork(settings, smallArea, largeArea);
    ASSERT_TRUE(network.IsValid());

    struct Entry {
        CRegion region;
        char letter = ' ';
        char type = 'o';
        int32_t cluster = 0;
        char expected;
    };
    std::vector<Entry> entries = {
        {DiscRegion(25, 25, 1), ' ', 'o', 0, kNnFalse},
        {DiscRegion(40, 70, 3), ' ', 'o', 1, kNnTrue},  // a member is classified
        {DiscRegion(70, 30, 3), kNnBenign, 'o', 0, kNnBenign},
        {DiscRegion(95, 75, 1), kNnMalignant, 'o', 0, kNnMalignant},
        {DiscRegion(60, 50, 3), ' ', 'c', 0, ' '},
        {DiscRegion(90, 20, 3), ' ', 'o', kClusterOutlineBase + 1, ' '},
    };
    CRegions regions;
    for (Entry& e : entries) {
        e.region.nnDiagnosis = e.letter;
        e.region.type = e.type;
        e.region.clusterNumber = e.cluster;
        ASSERT_NE(regions.Add(e.region), nullptr);
    }

    // Stopped at once: nothing classified.
    CRegions stopped = regions;
    EXPECT_EQ(ClassifyRegions(network, 0.5, stopped, image, settings, [](double) { return false; }),
              -1);
    for (int32_t i = 0; i < stopped.Count(); ++i)
        EXPECT_EQ(stopped.At(i)->nnDiagnosis, entries[size_t(i)].letter) << i;

    int calls = 0;
    EXPECT_EQ(ClassifyRegions(network, 0.5, regions, image, settings,
                              [&](double) {
                                  ++calls;
                                  return true;
                              }),
              2);
    EXPECT_GT(calls, 0);
    for (int32_t i = 0; i < regions.Count(); ++i)
        EXPECT_EQ(regions.At(i)->nnDiagnosis, entries[size_t(i)].expected) << i;

    // A second run finds nothing left to do.
    EXPECT_EQ(ClassifyRegions(network, 0.5, regions, image, settings), 0);
}

}  // namespace
}  // namespace vistrel
