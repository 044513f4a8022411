#pragma once
// The FROC of the spot detector window's settings over the open documents that
// carry truth regions: which documents take part, their spots (the window's
// own for its source, detected afresh for the others), the threshold sweep and
// the chart data the plot window draws.

#include <memory>
#include <string>
#include <vector>

#include "core/froc_chart.h"
#include "core/messages.h"
#include "detection/froc.h"
#include "detection/point_response.h"
#include "detection/spot_params.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

inline constexpr const char* kFrocNoTruthMessage =
    "No open document has truth annotations (regions of suspiciousness): FROC needs at least one.";
inline constexpr const char* kFrocNoSpotsMessage =
    "No spots were found on the documents with truth annotations.";
inline constexpr const char* kFrocChartTitle = "FROC of the multiscale spot detector";
inline constexpr int kFrocThresholdCount = 20;

// How the sweep finds and selects spots.
struct CFrocRequest {
    CSpotParams detector;    // for the documents whose spots are not known
    int k = -1;              // the spot value compared with the thresholds
    int excludedScale = -1;  // spots at this scale never pass; -1 none
    // Documents whose spots are known already (null entries ignored) and those
    // spots, pair by pair.
    std::vector<const CVistrelDoc*> knownDocuments;
    std::vector<const CSpotList*> knownSpots;
    // Never a document of the sweep (the window's own spot picture).
    const CVistrelDoc* skip = nullptr;
    int thresholds = kFrocThresholdCount;
};

enum class EFrocOutcome { kDone, kNoTruth, kNoSpots, kCancelled };

class CFrocModel {
  public:
    // The open documents with at least one truth region, in opening order,
    // without skip.
    static std::vector<CVistrelDoc*> TruthDocuments(const CVistrelApp& app,
                                                    const CVistrelDoc* skip = nullptr);

    // The sweep over TruthDocuments with the application's cluster
    // parameters. A document without known spots is searched (inside its
    // breast mask when it has one); progress runs over those searches and the
    // sweep, and when it asks to stop nothing changes. Only kDone replaces
    // the chart, result and documents.
    EFrocOutcome Compute(const CVistrelApp& app, const CFrocRequest& request,
                         const ProgressFn& progress = {});

    const CFrocChart& Chart() const { return chart_; }
    const CFrocResult& Result() const { return result_; }
    const std::vector<double>& Thresholds() const { return thresholds_; }
    // The documents of the last sweep, by path name, in sweep order.
    const std::vector<std::string>& DocumentNames() const { return names_; }

  private:
    CFrocChart chart_;
    CFrocResult result_;
    std::vector<double> thresholds_;
    std::vector<std::string> names_;
};

// The chart of a sweep: its points, images and the truth regions counted.
CFrocChart FrocChartOf(const CFrocResult& result, int images, const std::string& title);

}  // namespace vistrel
