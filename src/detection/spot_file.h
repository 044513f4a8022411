#pragma once
// Spot lists on disk (".cnd" text files) and as pictures: mark images and
// cluster area images.

#include <array>
#include <memory>
#include <string>

#include "core/image.h"
#include "detection/point_response.h"
#include "detection/spot_params.h"
#include "regions/cluster.h"

namespace vistrel {

// The detector parameters as a ".cnd" name carries them.
using CSpotFileParams = CSpotParams;

// The threshold meaning "none" in a file name.
inline constexpr double kNoSpotThreshold = -3.40282346638528859811704183484516925440e+38;

// documentPath without its extension + ".spots.S%d_%d_%d_N%d_%d_.cnd", or with
// "T%d" (threshold truncated) before ".cnd" when a threshold is given.
std::string SpotFileName(const std::string& documentPath, const CSpotParams& params,
                         double threshold = kNoSpotThreshold);
// The parameters parsed back from a file name; false when it does not carry them.
bool ParseSpotFileName(const std::string& path, CSpotParams& params);

// Writes the spots whose response is >= threshold, one line each, coordinates
// moved by the offset. Nothing is written for an empty list (returns 0);
// -1 when the file cannot be written, else the number of lines.
int SaveSpots(const std::string& path, const CSpotList& spots, CPoint offset,
              double threshold = kNoSpotThreshold);
// Adds the file's spots (moved back by the offset) that fall inside a
// width x height image; -1 when the file cannot be read, else the count added.
int LoadSpots(const std::string& path, CSpotList& spots, CPoint offset, int32_t width,
              int32_t height);

enum class ESpotMark { kCrosses = 0, kDots = 1, kCircles = 2 };
enum class ESpotShow { kNone = 0, kSpots = 1, kInClusters = 2, kClusterAreas = 3 };

// 1-bit marks of the spots over an image-sized field.
std::unique_ptr<CMImage> SpotMarkImage(const CMImageBase& image, const CSpotList& spots,
                                       ESpotMark shape);
// 4-bit cluster rectangles, largest first: borders 7, insides 15.
std::unique_ptr<CMImage> ClusterAreaImage(const CMImageBase& image, const CClusters& clusters);
// The picture shown for a choice: marks (or cluster areas) alone, or burnt into
// a copy of the image at its maxValue when onImage is set. With outlined (and
// onImage) the unmarked pixels touching a mark are set to 0 as well, so that
// marks stay visible on bright, dense tissue.
std::unique_ptr<CMImage> ShowSpots(const CMImage& image, const CSpotList& selected,
                                   const CSpotList& inClusters, const CClusters& clusters,
                                   bool onImage, ESpotShow what, ESpotMark shape,
                                   bool outlined = false);

}  // namespace vistrel
