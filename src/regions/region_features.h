#pragma once
// Feature vectors of regions and clusters: shape, perimeters, moments, the
// Fourier shape measure, edge, background, intensity, contrast, the detector
// attributes and co-occurrence texture, each appended only when selected.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/messages.h"
#include "regions/feature_vector.h"
#include "regions/region.h"
#include "regions/regions.h"

namespace vistrel {

// Every name ComputeRegionFeatures can produce, in output order (the
// co-occurrence names at the settings' distance).
std::vector<std::string> RegionFeatureNames(const CFeatureSettings& settings);
// Every name ComputeClusterFeatures can produce, in output order.
std::vector<std::string> ClusterFeatureNames(const CFeatureSettings& settings);
// All of them on: the region names, then from SecondGroup() the cluster names.
CFeatureSelection DefaultFeatureSelection(const CFeatureSettings& settings);

// (-1, -1) for an invalid region; the start pixel for an empty chain code;
// otherwise left + trunc(mean column), top + trunc(mean row) of the filled
// mask's pixels, counted from the bounding box.
CPoint RegionCentroid(const CRegion& region);

// Clears out, then appends the selected region features in their fixed
// order. Negative when the region or the image is invalid (out stays empty).
int ComputeRegionFeatures(const CRegion& region, const CMImage& image,
                          const CFeatureSelection& selection, const CFeatureSettings& settings,
                          CFeatureVector& out);

// ComputeRegionFeatures for every region of regions (index-aligned; the
// vector of a region that fails, or of a cluster outline when
// skipClusterOutlines, is left empty), spread over the machine's cores.
// False when progress asked to stop.
bool ComputeAllRegionFeatures(const CRegions& regions, const CMImage& image,
                              const CFeatureSelection& selection,
                              const CFeatureSettings& settings, bool skipClusterOutlines,
                              std::vector<CFeatureVector>& out, const ProgressFn& progress = {});

// Clears out, then appends the features of the cluster outline `cluster`
// over its members in regions (cluster number + kClusterOutlineBase equal to
// the outline's number). Nothing for an invalid outline or image, no
// members, or members whose areas sum to less than 1 (then negative). When
// "Regions_In_Cluster_Coocurence_Features" is selected and `marked` is
// given, *marked receives the copy of the image marked with the three
// centres, the centroid and the bounding rectangle.
int ComputeClusterFeatures(const CRegion& cluster, const CRegions& regions, const CMImage& image,
                           const CFeatureSelection& selection, const CFeatureSettings& settings,
                           CFeatureVector& out, std::unique_ptr<CMImage>* marked = nullptr);

// The display text: the diagnosis line ("BENIGN\n", "MALIGNANT\n",
// "FALSE\n"), then the entries two to a line.
std::string FormatFeatures(int16_t diagnosis, const CFeatureVector& features);

// Mean and population standard deviation, entry by entry, of vectors that
// share one name list (the first vector's). False when there are none or
// their names differ. Names are left as they are; writers add "_MEAN" and
// "_STD_DEV".
bool MeanAndStdDev(const std::vector<CFeatureVector>& vectors, CFeatureVector& mean,
                   CFeatureVector& stdDev);

}  // namespace vistrel
