#include "detection/froc.h"

#include <algorithm>
#include <cfloat>

#include "detection/spot_detector.h"

namespace vistrel {

CFrocResult FrocSweep(const std::vector<CFrocImage>& images, const std::vector<double>& thresholds,
                      const CFrocSettings& settings) {
    CFrocResult result;
    // What stays the same for every threshold: the parameters in pixels and
    // the first of each group of equal spots.
    struct CPrepared {
        CClusterPixelParams params;
        std::vector<int32_t> distinct;
    };
    std::vector<CPrepared> prepared;
    prepared.reserve(images.size());
    for (const CFrocImage& image : images) {
        CPrepared p;
        p.params = InPixels(settings.clusters, image.resolution);
        if (image.spots) p.distinct = FirstOfEqualSpots(*image.spots);
        prepared.push_back(std::move(p));
    }
    const CRegions noTruth;
    CClusters clusters;
    CSpotList selected;
    for (const double threshold : thresholds) {
        std::vector<CSpotClusterScore> scores;
        scores.reserve(images.size());
        int64_t tp = 0, fp = 0, truth = 0;
        for (std::size_t i = 0; i < images.size(); ++i) {
            const CFrocImage& image = images[i];
            const CRegions& regions = image.truth ? *image.truth : noTruth;
            clusters.RemoveAll();
            if (image.spots && image.spots->Count() > 0 &&
                !SpotClusters(image.width, image.height, clusters, selected, *image.spots,
                              prepared[i].distinct, settings.automatic, threshold, settings.k,
                              settings.excludedScale, prepared[i].params))
                result.complete = false;
            CSpotClusterScore score = ScoreSpotClusters(regions, clusters);
            tp += score.tp;
            fp += score.fp;
            truth += score.truth;
            scores.push_back(std::move(score));
        }
        CFrocPoint point;
        point.threshold = threshold;
        point.sensitivity = truth > 0 ? double(tp) / double(truth) : 0.0;
        point.fpPerImage = images.empty() ? 0.0 : double(fp) / double(images.size());
        result.points.push_back(point);
        result.scores.push_back(std::move(scores));
    }
    return result;
}

std::vector<double> SpreadThresholds(const std::vector<CFrocImage>& images, int count, int k) {
    if (count < 1) return {};
    double low = DBL_MAX, high = -DBL_MAX;
    for (const CFrocImage& image : images) {
        if (!image.spots) continue;
        double min = 0, max = 0;
        image.spots->Range(k, min, max);
        low = std::min(low, min);
        high = std::max(high, max);
    }
    if (low > high) return {};
    std::vector<double> thresholds;
    thresholds.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i)
        thresholds.push_back(count == 1 ? low : low + (high - low) * double(i) / double(count - 1));
    // The last one exactly the largest value, so that its spots still pass.
    if (count > 1) thresholds.back() = high;
    return thresholds;
}

}  // namespace vistrel
