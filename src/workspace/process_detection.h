#pragma once
// The breast-segment-and-detect pipeline ("BSDx") on one document: breast
// outline, spot detection inside the breast's bounding rectangle, regions
// grown from the spots, clusters of those regions and their evaluation
// against the truth regions, written to a region file and appended to the
// log and result files of a results folder. Also the re-evaluation of stored
// region files with other cluster parameters.

#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/messages.h"

namespace vistrel {

class CVistrelDoc;

// Texts of the "BS Detection" parameter dialog.
inline constexpr const char* kBsDetectionTitle = "BS Detection";
inline constexpr const char* kBsDetectionParNLabel = "par n";
inline constexpr const char* kBsDetectionTypeLabel = "m0, s0";
inline constexpr double kDefaultParN = 10.0;
inline constexpr int kDefaultThresholdType = 0;
// Outlines larger than this count as "large clusters" in the batch evaluation.
inline constexpr double kBatchLargeClusterMm2 = 200.0;

// Threshold types ("m0, s0"): which detector statistics a spot's response is
// compared with.
enum EBsdThresholdType : int {
    // mean + par n * stdDev of the minimum scale's response, for every spot.
    kThresholdMinScale = 0,
    // mean + par n * stdDev of the response at the spot's own scale.
    kThresholdOwnScale = 1,
};

// The header of "BSDx_results_%.0lf_%d.txt".
inline constexpr char kBsdResultsHeader[] =
    "Filename;breast rect; larger clusters; clusters number; Subtlety; True Locs; All "
    "Indications; FP; FN; TP; number of microcals in TPS in ROS; area whole TP[mm2]; area ROS "
    "[mm2]; areaWTP/ROS; ((areaWTP i ROS)/ROS)*100%; area WTP i ROS [mm2]; nb of cluster "
    "corrections; cluster areas of all the indications [pixels;mm2];\n";
// The evaluation columns the two re-evaluation files share.
inline constexpr char kBsdEvaluationColumns[] =
    " Subtlety; True Locs; All Indications; FP; FN; TP; number of microcals in TPS in ROS; area "
    "whole TP[mm2]; area ROS [mm2]; areaWTP/ROS; ((areaWTP i ROS)/ROS)*100%; area WTP i ROS "
    "[mm2]; nb of cluster corrections; cluster areas of all the indications [mm2];\n";
inline constexpr char kBsdWithoutCorrectionsLead[] =
    "Filename; breastSgt; width breast; height breast; large clusters; clusters number;";
inline constexpr char kBsdWithCorrectionsLead[] =
    "Filename; breastSgt; breast width; breast height; large clusters; clusters number; Par_N;";

struct CProcessDetectionParams {
    double parN = kDefaultParN;
    int thresholdType = kDefaultThresholdType;
    // Where the log, result and region files go; empty: DetectionResultsFolder
    // of the document's path.
    std::string resultsFolder;
};

// Seconds spent in each stage of one run.
struct CProcessDetectionTimes {
    double breast = 0, detection = 0, growing = 0, clustering = 0, writing = 0;
};

struct CProcessDetectionResult {
    bool done = false;           // every stage ran and every file was written
    bool cancelled = false;      // the progress callback stopped it; nothing was written
    std::string error;           // why it failed (empty when done or cancelled)
    bool breastFound = false;    // false: the whole image was used
    CRect breastRect;            // image coordinates, right and bottom exclusive
    double breastAreaMm2 = 0.0;  // of breastRect
    int32_t spots = 0;           // detected and kept
    int32_t regions = 0;         // grown from them
    int32_t clusters = 0;        // cluster groups evaluated
    int32_t largeClusters = 0;   // groups over kBatchLargeClusterMm2
    std::string evaluationLine;  // the evaluation columns, from the subtlety on
    std::string resultLine;      // the line appended to the results file
    std::string thresholdLines;  // the "Scale=..." lines of the run
    std::string regionFile, logFile, thresholdsFile, resultsFile;
    CProcessDetectionTimes seconds;
};

// The results folder of an image: "results" in the image's folder.
std::string DetectionResultsFolder(const std::string& imagePath);
// "<folder>/<image file name without its last extension>.regions_BSDx_%.0lf_%d.OVERLAY".
std::string BsdRegionFilePath(const std::string& folder, const std::string& imagePath, double parN,
                              int thresholdType);
// The names of the three files the run appends to, in folder.
std::string BsdLogPath(const std::string& folder, double parN, int thresholdType);
std::string BsdThresholdsPath(const std::string& folder, double parN, int thresholdType);
std::string BsdResultsPath(const std::string& folder, double parN, int thresholdType);

// Appends text to the file at path atomically (the old contents and the new
// text go to a temporary file that replaces it), starting a new or empty
// file with header. A file that does not end with a line break gets one
// first. False, with the reason in error, when it cannot be read or written.
bool AppendResultText(const std::string& path, const std::string& header, const std::string& text,
                      std::string* error = nullptr);

// Runs the pipeline on the document: the breast outline (the document's,
// else its SGT file, else the batch segmentation), the batch detector with
// par n and the threshold type inside the breast's bounding rectangle, the
// regions grown from the spots (replacing the document's regions and
// clusters), clusters of the 'm' and 'p' regions with the application's
// cluster parameters, their outlines and the evaluation (large-area limit
// 200 mm², corrections on). Then the region file is written and the log,
// thresholds and results files get one entry each. progress goes from 0 to
// 1; when it returns false the run stops and no file is touched.
CProcessDetectionResult ProcessDetection(CVistrelDoc& doc, const CProcessDetectionParams& params,
                                         const ProgressFn& progress = {});

// "&Process Detection": asks "BS Detection" ("par n", "m0, s0"), runs
// ProcessDetection on the document with a progress bar and shows the results
// header with the new line, or why it failed. False when cancelled or failed.
bool OnProcessDetection(CVistrelDoc& doc);

// The region files of an image stored in folder by ProcessDetection, with
// the par n and threshold type their names carry, sorted by name.
struct CStoredRegionFile {
    std::string path;
    double parN = 0.0;
    int thresholdType = 0;
};
std::vector<CStoredRegionFile> FindBsdRegionFiles(const std::string& folder,
                                                  const std::string& imagePath);

// The two re-evaluation files in folder; set is the name of the image's
// folder, mca the cluster diameter in cm and mcn the minimum objects.
std::string BsdWithoutCorrectionsPath(const std::string& folder, const std::string& set,
                                      double parN, int thresholdType, double mca, int mcn);
std::string BsdWithCorrectionsPath(const std::string& folder, const std::string& set, double mca,
                                   int mcn);

struct CReevaluationResult {
    bool done = false;
    std::string error;
    int32_t files = 0;  // region files evaluated
    std::vector<std::string> linesWithout, linesWith;
};

// Re-evaluates every stored region file of the document (FindBsdRegionFiles
// in folder, DetectionResultsFolder when empty) with clusters of diameter
// diameterCm and minObjects objects (the application's separation settings):
// each gives one line of the file without corrections (per par n and type)
// and one of the file with corrections (Par_N column). False when the
// document has no stored region file or a file could not be read or written.
CReevaluationResult ReevaluateStoredDetections(CVistrelDoc& doc, double diameterCm,
                                               int32_t minObjects, std::string folder = {});

}  // namespace vistrel
