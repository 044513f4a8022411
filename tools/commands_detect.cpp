// detect: the breast-segment-and-detect pipeline of the workstation on one
// mammogram, with its result files, printed as JSON.

#include <cstdio>
#include <string>

#include "cli_common.h"
#include "commands.h"
#include "workspace/process_detection.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel::cli {

const char* const kDetectHelp =
    "usage: vistrel-cli detect IN [--par-n 10] [--threshold-type 0] [--results DIR]\n"
    "\n"
    "Runs the workstation's \"Process Detection\" on the image: the breast outline\n"
    "(the SGT file beside the image, else found automatically; the whole image\n"
    "when none is found), the spot detector (scales 3..10 step 2) inside the\n"
    "breast's bounding rectangle keeping spots whose response reaches mean + par n\n"
    "stdDev, regions grown from the spots, clusters of those regions with the\n"
    "workstation's cluster parameters, and their evaluation against the truth\n"
    "regions of the image's OVERLAY file (large clusters: over 200 mm2).\n"
    "--threshold-type 0 compares each response with the minimum scale's mean and\n"
    "stdDev, 1 with those of the spot's own scale.\n"
    "The region file is written and the log, thresholds and results files are\n"
    "appended to in DIR (default: the folder \"results\" beside the image).\n"
    "Prints\n"
    "  file, par_n, threshold_type\n"
    "  breast_found: whether an outline was found; breast_rect: [left, top,\n"
    "    right, bottom) in pixels; breast_area_mm2: the rectangle's area\n"
    "  spots, regions, clusters, large_clusters: counts\n"
    "  evaluation: the evaluation columns (from the subtlety on)\n"
    "  result_line: the line appended to the results file (without its line end)\n"
    "  files: {regions, log, thresholds, results} the paths written\n"
    "  seconds: {breast, detection, growing, clustering, writing}\n"
    "Exit status 1 when the image cannot be read or a file cannot be written.\n";

int RunDetect(const CommandArgs& words) {
    const CParsedArgs args(words, {{"par-n"}, {"threshold-type"}, {"results"}});
    if (args.HelpRequested()) {
        std::fputs(kDetectHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1, "vistrel-cli detect IN [--par-n 10] [--threshold-type 0] ...");
    CProcessDetectionParams params;
    if (const auto v = args.Value("par-n")) params.parN = ParseReal(*v, 0.0, 1e6, "--par-n");
    if (const auto v = args.Value("threshold-type"))
        params.thresholdType = int(ParseInteger(*v, 0, 1, "--threshold-type"));
    if (const auto v = args.Value("results")) {
        if (v->empty()) throw CUsageError("--results needs a folder");
        params.resultsFolder = *v;
    }
    const std::string& input = args.Positionals()[0];

    CVistrelApp app;
    CVistrelDoc* doc = app.OpenDocumentFile(input);
    if (!doc) throw CFailure(input + ": cannot open the image");
    CProcessDetectionResult r;
    {
        CTerminalProgress progress("detect");
        r = ProcessDetection(*doc, params, progress.Fn());
    }
    app.CloseDocument(doc);
    if (!r.done) throw CFailure(input + ": " + r.error);

    std::string resultLine = r.resultLine;
    if (!resultLine.empty() && resultLine.back() == '\n') resultLine.pop_back();
    CJsonWriter json;
    json.BeginObject()
        .Field("file", input)
        .Field("par_n", params.parN)
        .Field("threshold_type", params.thresholdType)
        .Field("breast_found", r.breastFound);
    json.Key("breast_rect")
        .BeginArray()
        .Value(r.breastRect.left)
        .Value(r.breastRect.top)
        .Value(r.breastRect.right)
        .Value(r.breastRect.bottom)
        .EndArray();
    json.Field("breast_area_mm2", r.breastAreaMm2)
        .Field("spots", r.spots)
        .Field("regions", r.regions)
        .Field("clusters", r.clusters)
        .Field("large_clusters", r.largeClusters)
        .Field("evaluation", r.evaluationLine)
        .Field("result_line", resultLine);
    json.Key("files")
        .BeginObject()
        .Field("regions", r.regionFile)
        .Field("log", r.logFile)
        .Field("thresholds", r.thresholdsFile)
        .Field("results", r.resultsFile)
        .EndObject();
    json.Key("seconds")
        .BeginObject()
        .Field("breast", r.seconds.breast)
        .Field("detection", r.seconds.detection)
        .Field("growing", r.seconds.growing)
        .Field("clustering", r.seconds.clustering)
        .Field("writing", r.seconds.writing)
        .EndObject();
    json.EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
