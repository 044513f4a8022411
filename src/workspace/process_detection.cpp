#include "workspace/process_detection.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "core/atomic_file.h"
#include "core/text.h"
#include "detection/breast_segment.h"
#include "detection/clustering.h"
#include "detection/grow_from_seeds.h"
#include "detection/region_clusters.h"
#include "detection/spot_detector.h"
#include "detection/spot_params.h"
#include "regions/feature_vector.h"
#include "regions/overlay_file.h"
#include "workspace/two_params_model.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace fs = std::filesystem;

namespace {

// The local-statistics factor of the regions grown from the spots (the
// segment-from-seeds default), which also gives the logged Tseg.
constexpr double kGrowK = CGrowParams{}.k;
// The growing window: the segment-from-seeds default of 0.3 cm.
constexpr double kGrowWindowCm = 0.3;
// The region types that make the clusters.
constexpr const char* kClusterTypes = "mp";

// Shares of the progress bar per stage; detection dominates the time.
constexpr double kBreastEnd = 0.05, kDetectEnd = 0.80, kGrowEnd = 0.97;

using Clock = std::chrono::steady_clock;
double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A stage's own progress mapped into [from, to] of the whole.
ProgressFn Stage(const ProgressFn& progress, double from, double to) {
    if (!progress) return {};
    return [progress, from, to](double f) { return progress(from + (to - from) * f); };
}

std::string ImageStem(const std::string& imagePath) {
    return fs::path(imagePath).stem().string();
}

// The breast outline for the run: the document's own, else the SGT file
// beside the image, else the batch segmentation. True when one exists.
bool EnsureBreastSegment(CVistrelDoc& doc) {
    if (doc.HasBreastSegment()) return doc.breastMask.IsValid() || doc.BuildBreastMask();
    if (doc.ReadSgt(false) && doc.BuildBreastMask()) return true;
    return doc.SegmentBreastWith(AutomaticSegmentParams(), kStageBatch);
}

// The "Scale=..." line of one processed scale. Td is the threshold a spot of
// that scale had to reach; Tseg the local-statistics threshold its region
// was grown with (the seed carries the minimum scale's figures); zeroLevel
// the shift that makes the scale's responses non-negative.
std::string ScaleLine(const CScaleStatistics& s, const CScaleStatistics& first, double parN,
                      int type) {
    const double td =
        type == kThresholdOwnScale ? s.mean + parN * s.stdDev : first.mean + parN * first.stdDev;
    const double tseg = first.mean + kGrowK * first.stdDev;
    const double zeroLevel = s.min < 0 ? -s.min : 0.0;
    return Format("Scale=%d  mean=%lf, stdDev=%lf, Td=%lf, Tseg=%lf, Tseg+zeroLevel=%lf;\n",
                  s.scale, s.mean, s.stdDev, td, tseg, tseg + zeroLevel);
}

// Keeps the spots whose response reaches mean + parN * stdDev of their own
// scale (values 5 and 6); par n 0 keeps all, as with the minimum scale's.
void KeepAboveOwnScale(CSpotList& spots, double parN) {
    if (parN == 0.0) return;
    CSpotList kept;
    kept.Reserve(std::size_t(spots.Count()));
    for (int32_t i = 0; i < spots.Count(); ++i) {
        const CPointResponse& s = spots[i];
        if (s.values.size() <= kSpotStdDevScale) continue;
        if (s.values[kSpotMeanScale] + parN * s.values[kSpotStdDevScale] <= s.response)
            kept.Append(s);
    }
    spots = std::move(kept);
}

// Clusters the 'm' and 'p' regions and outlines the clusters.
void ClusterAndOutline(const CVistrelDoc& doc, CRegions& regions,
                       const CClusterParams& clusterParams, CClusters& clusters) {
    const CRegionClustersResult made =
        RegionClusters(regions, doc.image.width, doc.image.height,
                       InPixels(clusterParams, doc.resolution), kClusterTypes, clusters);
    ClusterOutlines(regions, made.clusters, kClusterTypes);
}

// Evaluates clustered regions against the document's truth with the batch's
// large-area limit.
CRegionClusterEvaluation Evaluate(const CVistrelDoc& doc, const CRegions& regions, bool corrections,
                                  std::string& line) {
    std::vector<CClusterRegion> groups;
    return EvaluateRegionClusters(doc.subtlety, doc.resolution, doc.rosRegions, regions, line,
                                  kBatchLargeClusterMm2, corrections, groups);
}

bool EnsureFolder(const std::string& folder, std::string& error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (fs::is_directory(folder, ec)) return true;
    error = "cannot create the results folder " + folder;
    return false;
}

}  // namespace

std::string DetectionResultsFolder(const std::string& imagePath) {
    fs::path parent = fs::path(imagePath).parent_path();
    if (parent.empty()) parent = ".";
    return (parent / "results").string();
}

std::string BsdRegionFilePath(const std::string& folder, const std::string& imagePath, double parN,
                              int thresholdType) {
    return (fs::path(folder) / (ImageStem(imagePath) +
                                Format(".regions_BSDx_%.0lf_%d.", parN, thresholdType) + "OVERLAY"))
        .string();
}

std::string BsdLogPath(const std::string& folder, double parN, int thresholdType) {
    return (fs::path(folder) / Format("BSDx_log_%.0lf_%d.txt", parN, thresholdType)).string();
}
std::string BsdThresholdsPath(const std::string& folder, double parN, int thresholdType) {
    return (fs::path(folder) / Format("BSDx_log_%.0lf_%d_thresholds.txt", parN, thresholdType))
        .string();
}
std::string BsdResultsPath(const std::string& folder, double parN, int thresholdType) {
    return (fs::path(folder) / Format("BSDx_results_%.0lf_%d.txt", parN, thresholdType)).string();
}

std::string BsdWithoutCorrectionsPath(const std::string& folder, const std::string& set,
                                      double parN, int thresholdType, double mca, int mcn) {
    return (fs::path(folder) /
            Format("_%s_BSDx_results_%.0lf_%d_without_coorections_mca%.1lf_mcn%d.txt", set.c_str(),
                   parN, thresholdType, mca, mcn))
        .string();
}
std::string BsdWithCorrectionsPath(const std::string& folder, const std::string& set, double mca,
                                   int mcn) {
    return (fs::path(folder) /
            Format("_%s_evaluation_BSDx_results_with_corrections_mca%.1lf_mcn%d.txt", set.c_str(),
                   mca, mcn))
        .string();
}

bool AppendResultText(const std::string& path, const std::string& header, const std::string& text,
                      std::string* error) {
    auto fail = [&](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    std::error_code ec;
    std::string old;
    if (fs::exists(path, ec) && !ReadWholeFile(path, old))
        return fail("cannot read " + path + ": " + std::strerror(errno));
    std::string added = text;
    if (old.empty())
        added = header + added;
    else if (old.back() != '\n')
        old += '\n';  // a file cut short must not run into the new entry
    const bool written = WriteFileAtomically(path, [&](std::FILE* file) {
        return std::fwrite(old.data(), 1, old.size(), file) == old.size() &&
               std::fwrite(added.data(), 1, added.size(), file) == added.size();
    });
    if (!written) return fail("cannot write " + path);
    if (error) error->clear();
    return true;
}

CProcessDetectionResult ProcessDetection(CVistrelDoc& doc, const CProcessDetectionParams& params,
                                         const ProgressFn& progress) {
    CProcessDetectionResult result;
    auto fail = [&](const std::string& reason) {
        result.error = reason;
        return result;
    };
    auto cancelled = [&]() {
        result.cancelled = true;
        return result;
    };
    if (!doc.image.IsValid()) return fail("the document has no image");
    if (!(params.parN >= 0.0) || params.parN > 1e6) return fail("par n must be between 0 and 1e6");
    if (params.thresholdType != kThresholdMinScale && params.thresholdType != kThresholdOwnScale)
        return fail("the threshold type must be 0 or 1");
    const std::string folder =
        params.resultsFolder.empty() ? DetectionResultsFolder(doc.pathName) : params.resultsFolder;
    const CMImage& image = doc.image;

    // ---- breast
    Clock::time_point start = Clock::now();
    result.breastFound = EnsureBreastSegment(doc);
    CRect rect{0, 0, image.width, image.height};
    if (result.breastFound) {
        CRect bounds = doc.breastSegment.Bounds();
        if (image.ClipRect(bounds) >= 0 && bounds.Width() > 0 && bounds.Height() > 0) rect = bounds;
    }
    result.breastRect = rect;
    result.breastAreaMm2 = PixelAreaToMm2(double(rect.Width()) * rect.Height(), doc.resolution);
    result.seconds.breast = SecondsSince(start);
    if (progress && !progress(kBreastEnd)) return cancelled();

    // ---- detection inside the breast's rectangle
    start = Clock::now();
    CMImage cut(image);
    if (!cut.IsValid() || cut.Crop(rect) < 0) return fail("out of memory");
    CMImageBase cutMask;
    const CMImageBase* mask = nullptr;
    if (doc.breastMask.IsValid()) {
        cutMask = doc.breastMask;
        if (cutMask.Crop(rect) >= 0) mask = &cutMask;
    }
    const CSpotParams spotParams;
    std::vector<CScaleStatistics> statistics;
    CDetectorOptions options;
    options.parN = params.thresholdType == kThresholdMinScale ? params.parN : 0.0;
    options.scaleStatistics = &statistics;
    std::string detectorLog;
    std::unique_ptr<CSpotList> spots =
        CandidateListSSS(cut, spotParams.minScale, spotParams.maxScale, spotParams.increment,
                         spotParams.localMaxSide, spotParams.searchSide, mask, detectorLog, options,
                         Stage(progress, kBreastEnd, kDetectEnd));
    if (progress && !progress(kDetectEnd)) return cancelled();
    if (!spots) spots = std::make_unique<CSpotList>();  // no maximum at all: nothing detected
    if (params.thresholdType == kThresholdOwnScale) KeepAboveOwnScale(*spots, params.parN);
    // Back into the image's coordinates.
    for (int32_t i = 0; i < spots->Count(); ++i) {
        (*spots)[i].x += rect.left;
        (*spots)[i].y += rect.top;
    }
    result.spots = spots->Count();
    for (const CScaleStatistics& s : statistics)
        result.thresholdLines +=
            ScaleLine(s, statistics.front(), params.parN, params.thresholdType);
    result.seconds.detection = SecondsSince(start);

    // ---- regions grown from the spots
    start = Clock::now();
    CRegions regions;
    CGrowParams grow;
    grow.windowPx = GrowWindowPixels(kGrowWindowCm, true, doc.resolution);
    if (spots->Count() > 0) {
        GrowFromSeeds(image, *spots, regions, &doc.rosRegions, grow, nullptr,
                      Stage(progress, kDetectEnd, kGrowEnd));
        if (progress && !progress(kGrowEnd)) return cancelled();
    }
    result.regions = regions.Count();
    result.seconds.growing = SecondsSince(start);

    // ---- clusters and their evaluation
    start = Clock::now();
    std::string line;
    CClusters clusters;
    ClusterAndOutline(doc, regions, doc.App().clusterParams, clusters);
    const CRegionClusterEvaluation evaluation = Evaluate(doc, regions, true, line);
    result.clusters = evaluation.groups;
    result.largeClusters = evaluation.largeClusters;
    result.evaluationLine = line;
    result.seconds.clustering = SecondsSince(start);
    if (progress && !progress(1.0)) return cancelled();

    // ---- files: nothing is written before this point, so a cancelled run
    // leaves every file as it was.
    start = Clock::now();
    if (!EnsureFolder(folder, result.error)) return result;
    result.regionFile = BsdRegionFilePath(folder, doc.pathName, params.parN, params.thresholdType);
    result.logFile = BsdLogPath(folder, params.parN, params.thresholdType);
    result.thresholdsFile = BsdThresholdsPath(folder, params.parN, params.thresholdType);
    result.resultsFile = BsdResultsPath(folder, params.parN, params.thresholdType);

    const std::string parameters =
        Format("par_n=%.0lf, type_threshold=%d", params.parN, params.thresholdType);
    // The description line makes the file exist also for an image without
    // detections, so that a re-evaluation still sees the image.
    const CRegions noTruth;
    if (WriteOverlay(result.regionFile, "BSDx " + parameters + "\n", regions, noTruth,
                     doc.OverlayPlacement(), false) != COverlayWriteResult::Written)
        return fail("cannot write the region file " + result.regionFile);

    result.resultLine =
        doc.pathName + "; " +
        Format("%lf; %d; %d; ", result.breastAreaMm2, result.largeClusters, result.clusters) +
        line + "\n";
    std::string logText = doc.pathName + "\n" + parameters + "\n" + detectorLog;
    if (!logText.empty() && logText.back() != '\n') logText += '\n';
    logText += result.thresholdLines;
    logText += result.breastFound ? Format("breast rect=(%d, %d, %d, %d)\n", rect.left, rect.top,
                                           rect.right, rect.bottom)
                                  : std::string("no breast outline: the whole image\n");
    logText += Format("spots=%d, regions=%d, clusters=%d\n", result.spots, result.regions,
                      result.clusters);
    const std::string thresholdsText =
        doc.pathName + "\n" + parameters + "\n" + result.thresholdLines;
    std::string error;
    if (!AppendResultText(result.logFile, "", logText, &error) ||
        !AppendResultText(result.thresholdsFile, "", thresholdsText, &error) ||
        !AppendResultText(result.resultsFile, kBsdResultsHeader, result.resultLine, &error))
        return fail(error);

    // The document shows what was found.
    doc.regions = std::move(regions);
    doc.spots = std::move(*spots);
    doc.clusters = std::move(clusters);
    result.seconds.writing = SecondsSince(start);
    result.done = true;
    return result;
}

bool OnProcessDetection(CVistrelDoc& doc) {
    IWorkspaceUi* ui = doc.App().Ui();
    if (!ui || !doc.image.IsValid()) return false;
    CTwoParamsModel model(kBsDetectionTitle, {kBsDetectionParNLabel, kDefaultParN, 0.0, 1000.0, 0},
                          {kBsDetectionTypeLabel, double(kDefaultThresholdType), 0.0, 1.0, 0});
    if (!ui->AskTwoParams(model)) return false;
    if (const std::string problem = model.Problem(); !problem.empty()) {
        messages().show(problem);
        return false;
    }
    CProcessDetectionParams params;
    params.parN = model.fields[0].value;
    params.thresholdType = model.IntValue(1);
    CProcessDetectionResult result;
    {
        CProgressScope progress(ui, "Process Detection");
        result = ProcessDetection(doc, params, progress.Fn());
    }
    doc.UpdateAllViews(kUpdateAnnotations);
    if (result.cancelled) return false;
    if (!result.done) {
        messages().show("Process Detection failed: " + result.error + ".");
        return false;
    }
    messages().show(std::string(kBsdResultsHeader) + result.resultLine);
    return true;
}

std::vector<CStoredRegionFile> FindBsdRegionFiles(const std::string& folder,
                                                  const std::string& imagePath) {
    std::vector<CStoredRegionFile> found;
    const std::string prefix = ImageStem(imagePath) + ".regions_BSDx_";
    const std::string suffix = ".OVERLAY";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        // "<par n>_<type>" between the prefix and the suffix.
        const std::string middle =
            name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        const size_t bar = middle.rfind('_');
        if (bar == std::string::npos || bar == 0 || bar + 1 >= middle.size()) continue;
        const std::string n = middle.substr(0, bar), t = middle.substr(bar + 1);
        if (n.find_first_not_of("0123456789") != std::string::npos || n.size() > 9 ||
            t.find_first_not_of("0123456789") != std::string::npos || t.size() > 9)
            continue;
        found.push_back({it->path().string(), std::stod(n), std::stoi(t)});
    }
    std::sort(
        found.begin(), found.end(),
        [](const CStoredRegionFile& a, const CStoredRegionFile& b) { return a.path < b.path; });
    return found;
}

CReevaluationResult ReevaluateStoredDetections(CVistrelDoc& doc, double diameterCm,
                                               int32_t minObjects, std::string folder) {
    CReevaluationResult result;
    if (folder.empty()) folder = DetectionResultsFolder(doc.pathName);
    const std::vector<CStoredRegionFile> files = FindBsdRegionFiles(folder, doc.pathName);
    if (files.empty()) {
        result.error = "no stored detection of " + doc.pathName + " in " + folder;
        return result;
    }
    CClusterParams clusterParams = doc.App().clusterParams;
    clusterParams.diameterCm = diameterCm;
    clusterParams.minObjects = minObjects;
    const bool breast = EnsureBreastSegment(doc);
    CRect rect{0, 0, doc.image.width, doc.image.height};
    if (breast) {
        CRect bounds = doc.breastSegment.Bounds();
        if (doc.image.ClipRect(bounds) >= 0 && bounds.Width() > 0 && bounds.Height() > 0)
            rect = bounds;
    }
    const double breastMm2 = PixelAreaToMm2(double(rect.Width()) * rect.Height(), doc.resolution);
    const std::string set = fs::path(doc.pathName).parent_path().filename().string();

    for (const CStoredRegionFile& file : files) {
        CRegions regions, ros;
        std::string description, failure;
        int16_t subtlety = 0;
        if (!ReadOverlay(file.path, doc.OverlayPlacement(), description, subtlety, regions, ros,
                         &failure)) {
            result.error = "cannot read " + file.path + ": " + failure;
            return result;
        }
        // The evaluation leaves the regions as they are: one clustering serves
        // both lines.
        std::string without, with;
        CClusters clusters;
        ClusterAndOutline(doc, regions, clusterParams, clusters);
        const CRegionClusterEvaluation a = Evaluate(doc, regions, false, without);
        const CRegionClusterEvaluation b = Evaluate(doc, regions, true, with);
        const std::string lead =
            doc.pathName + "; " + Format("%.2lf; %d; %d; ", breastMm2, rect.Width(), rect.Height());
        const std::string lineWithout =
            lead + Format("%d; %d; ", a.largeClusters, a.groups) + without + "\n";
        const std::string lineWith =
            lead + Format("%d; %d; %.2lf; ", b.largeClusters, b.groups, file.parN) + with + "\n";
        std::string error;
        if (!AppendResultText(BsdWithoutCorrectionsPath(folder, set, file.parN, file.thresholdType,
                                                        diameterCm, minObjects),
                              std::string(kBsdWithoutCorrectionsLead) + kBsdEvaluationColumns,
                              lineWithout, &error) ||
            !AppendResultText(BsdWithCorrectionsPath(folder, set, diameterCm, minObjects),
                              std::string(kBsdWithCorrectionsLead) + kBsdEvaluationColumns,
                              lineWith, &error)) {
            result.error = error;
            return result;
        }
        result.linesWithout.push_back(lineWithout);
        result.linesWith.push_back(lineWith);
        ++result.files;
    }
    result.done = true;
    return result;
}

}  // namespace vistrel
