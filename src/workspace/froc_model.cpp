#include "workspace/froc_model.h"

#include <algorithm>
#include <utility>

#include "detection/spot_detector.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

std::vector<CVistrelDoc*> CFrocModel::TruthDocuments(const CVistrelApp& app,
                                                     const CVistrelDoc* skip) {
    std::vector<CVistrelDoc*> docs;
    for (const auto& doc : app.Documents())
        if (doc && doc.get() != skip && !doc->rosRegions.IsEmpty() && doc->image.IsValid())
            docs.push_back(doc.get());
    return docs;
}

CFrocChart FrocChartOf(const CFrocResult& result, int images, const std::string& title) {
    CFrocChart chart;
    chart.title = title;
    chart.images = images;
    // Every threshold scores the same truth regions; the first says how many.
    if (!result.scores.empty())
        for (const CSpotClusterScore& s : result.scores.front()) chart.truthClusters += s.truth;
    for (const CFrocPoint& p : result.points)
        chart.points.push_back({p.threshold, p.sensitivity, p.fpPerImage});
    return chart;
}

EFrocOutcome CFrocModel::Compute(const CVistrelApp& app, const CFrocRequest& request,
                                 const ProgressFn& progress) {
    const std::vector<CVistrelDoc*> docs = TruthDocuments(app, request.skip);
    if (docs.empty()) return EFrocOutcome::kNoTruth;

    const auto known = [&request](const CVistrelDoc* doc) -> const CSpotList* {
        const std::size_t n = std::min(request.knownDocuments.size(), request.knownSpots.size());
        for (std::size_t i = 0; i < n; ++i)
            if (request.knownDocuments[i] == doc && request.knownSpots[i])
                return request.knownSpots[i];
        return nullptr;
    };
    std::size_t searches = 0;
    for (const CVistrelDoc* doc : docs)
        if (!known(doc)) ++searches;
    // Each search is one share of the bar, the sweep the last one.
    const double shares = double(searches + 1);

    // Spots found here live until the sweep has run.
    std::vector<std::unique_ptr<CSpotList>> found;
    std::vector<CFrocImage> images;
    std::size_t searched = 0;
    for (const CVistrelDoc* doc : docs) {
        const CSpotList* spots = known(doc);
        if (!spots) {
            const double base = double(searched);
            const ProgressFn part = [&progress, base, shares](double f) {
                return !progress || progress((base + std::clamp(f, 0.0, 1.0)) / shares);
            };
            std::string log;
            const CSpotParams& p = request.detector;
            std::unique_ptr<CSpotList> list =
                CandidateListSSS(doc->image, p.minScale, p.maxScale, p.increment, p.localMaxSide,
                                 p.searchSide, doc->BreastMaskOrNull(), log, {}, part);
            if (progress && !progress((base + 1.0) / shares)) return EFrocOutcome::kCancelled;
            // Nothing found is an image without detections: all its truth is missed.
            found.push_back(list ? std::move(list) : std::make_unique<CSpotList>());
            spots = found.back().get();
            ++searched;
        }
        CFrocImage image;
        image.width = doc->image.width;
        image.height = doc->image.height;
        image.resolution = doc->resolution;
        image.subtlety = doc->subtlety;
        image.truth = &doc->rosRegions;
        image.spots = spots;
        images.push_back(image);
    }

    // Images without spots take part in the sweep but have no range to spread over.
    std::vector<CFrocImage> withSpots;
    for (const CFrocImage& image : images)
        if (image.spots->Count() > 0) withSpots.push_back(image);
    std::vector<double> thresholds = SpreadThresholds(withSpots, request.thresholds, request.k);
    if (thresholds.empty()) return EFrocOutcome::kNoSpots;

    CFrocSettings settings;
    settings.clusters = app.clusterParams;
    settings.automatic = false;
    settings.k = request.k;
    settings.excludedScale = request.excludedScale;
    CFrocResult result = FrocSweep(images, thresholds, settings);
    if (progress && !progress(1.0)) return EFrocOutcome::kCancelled;

    result_ = std::move(result);
    thresholds_ = std::move(thresholds);
    names_.clear();
    for (const CVistrelDoc* doc : docs) names_.push_back(doc->pathName);
    chart_ = FrocChartOf(result_, int(images.size()), kFrocChartTitle);
    return EFrocOutcome::kDone;
}

}  // namespace vistrel
