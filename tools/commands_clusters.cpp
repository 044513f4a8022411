// clusters: microcalcification clusters of a spot file or of an OVERLAY
// file's regions, scored against the image's truth; froc: the detector's
// free-response curve over a set of images, with an optional chart.

#include <QGuiApplication>
#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "core/froc_chart.h"
#include "detection/clustering.h"
#include "detection/froc.h"
#include "detection/region_clusters.h"
#include "detection/spot_detector.h"
#include "detection/spot_file.h"
#include "detection/spot_params.h"
#include "regions/companion_path.h"
#include "regions/overlay_file.h"
#include "spot_options.h"
#include "workspace/image_resolution.h"

namespace vistrel::cli {

const char* const kClustersHelp =
    "usage: vistrel-cli clusters IN (--cnd SPOTS.cnd | --overlay REGIONS.OVERLAY [--types mp])\n"
    "                               [--diameter 1.0] [--min-objects 3] [--separation 0.5]\n"
    "                               [--min-separated 0] [--resolution DPI]\n"
    "                               [--raw W,H,DEPTH[,msb]]\n"
    "\n"
    "Groups microcalcifications into clusters (density-based, city-block\n"
    "neighbourhood of half the cluster diameter; a second pass with the\n"
    "separation diameter when --min-separated > 0) and scores them.\n"
    "  --cnd: every spot of the file is a point; the clusters are scored as the\n"
    "         spot detector's windows do (a truth region is found by a cluster\n"
    "         with at least 3 of its spots inside it).\n"
    "  --overlay: the centroid of each region of the given types (all types when\n"
    "         --types is absent) is a point; each cluster's outline is the convex\n"
    "         hull of its members, and the outlines are scored against the truth.\n"
    "Truth: the regions of suspiciousness (ROS) and the subtlety of the OVERLAY\n"
    "file beside IN (its default OVERLAY name), when there is one; without it\n"
    "every cluster is a false positive. Lengths in cm become pixels at the\n"
    "image's resolution (case information file, DICOM header, else 583.92 dpi)\n"
    "or at --resolution. Prints\n"
    "  source: \"spots\" or \"regions\", points (taking part), resolution, truth\n"
    "  clusters: [{id, points [[x, y], ...], bounds [l, t, r, b]}] (right and\n"
    "            bottom exclusive; with --overlay also outline {start, chain}: the hull)\n"
    "  header, evaluation: the evaluation line and the header it is read under\n"
    "\n"
    "options:\n"
    "  --diameter, --separation    cm, 0.001..100 (defaults 1.0 and 0.5)\n"
    "  --min-objects               1..100000 (default 3)\n"
    "  --min-separated             0..100000 (default 0: no second pass)\n"
    "  --resolution                dpi, 1..100000\n";

const char* const kFrocHelp =
    "usage: vistrel-cli froc IMAGES... [--thresholds A:B:STEP | --auto-range N]\n"
    "                                  [--min 3] [--max 10] [--inc 2] [--n 3] [--m 3]\n"
    "                                  [--diameter 1.0] [--min-objects 3] [--separation 0.5]\n"
    "                                  [--min-separated 0] [--resolution DPI]\n"
    "                                  [--plot OUT.png|OUT.svg] [--title TEXT]\n"
    "\n"
    "Runs the spot detector once per image (scales and sides as for \"spots\"),\n"
    "then for every threshold keeps the spots whose response is >= it, clusters\n"
    "them (as \"clusters --cnd\") and scores the clusters against the image's\n"
    "truth. Sensitivity = found truth regions / all truth regions; FP per image\n"
    "= false-positive clusters / images.\n"
    "Truth: the ROS of the OVERLAY file beside each image (its default OVERLAY\n"
    "name). An image with such a file but no ROS is a normal image: it counts\n"
    "for false positives only. An image without the file, or whose file cannot\n"
    "be read, has unknown truth: it is named under \"skipped\" and left out,\n"
    "as is an image that cannot be read.\n"
    "Thresholds: A, A + STEP, ... up to B (STEP > 0, at most 1000 of them), or\n"
    "N (1..1000, default 10) spread evenly over the responses of all spots.\n"
    "Prints\n"
    "  images (scored), truth_clusters, complete, skipped [{image, reason}]\n"
    "  points: [{threshold, sensitivity, fp_per_image}]\n"
    "  per_image: [{image, resolution, subtlety, truth, spots,\n"
    "              scores [{threshold, clusters, tp, fp, fn}]}]\n"
    "--plot writes the FROC chart (PNG or SVG by the extension).\n"
    "\n"
    "options: as for \"spots\" and \"clusters\"\n";

namespace {

// The cluster parameters of the command line, each absent one at its default.
std::vector<COptionSpec> ClusterOptionSpecs() {
    return {{"diameter"}, {"min-objects"}, {"separation"}, {"min-separated"}, {"resolution"}};
}

CClusterParams ParseClusterOptions(const CParsedArgs& args) {
    CClusterParams params;
    if (const auto v = args.Value("diameter"))
        params.diameterCm = ParseReal(*v, 0.001, 100.0, "--diameter");
    if (const auto v = args.Value("separation"))
        params.separationCm = ParseReal(*v, 0.001, 100.0, "--separation");
    if (const auto v = args.Value("min-objects"))
        params.minObjects = static_cast<int32_t>(ParseInteger(*v, 1, 100000, "--min-objects"));
    if (const auto v = args.Value("min-separated"))
        params.minSeparated = static_cast<int32_t>(ParseInteger(*v, 0, 100000, "--min-separated"));
    return params;
}

std::optional<double> ResolutionOption(const CParsedArgs& args) {
    if (const auto v = args.Value("resolution"))
        return ParseReal(*v, 1.0, 100000.0, "--resolution");
    return std::nullopt;
}

std::string FileValue(const CParsedArgs& args, const std::string& name) {
    const auto value = args.Value(name);
    if (value && value->empty()) throw CUsageError("--" + name + " needs a file name");
    return value.value_or(std::string());
}

// The truth of an image: the ROS and subtlety of its OVERLAY file. found is
// false when there is no such file or it cannot be read (reason says which).
struct CImageTruth {
    bool found = false;
    std::string path;
    std::string reason;
    int16_t subtlety = 0;
    CRegions ros;
};

CImageTruth TruthOf(const std::string& image, int32_t width, int32_t height) {
    CImageTruth truth;
    truth.path = DefaultOverlayPath(image);
    std::error_code error;
    if (truth.path.empty() || !std::filesystem::is_regular_file(truth.path, error)) {
        truth.reason = "no OVERLAY file " + truth.path;
        return truth;
    }
    COverlayPlacement placement;
    placement.imageWidth = width;
    placement.imageHeight = height;
    std::string description, failure;
    CRegions regions;
    if (!ReadOverlay(truth.path, placement, description, truth.subtlety, regions, truth.ros,
                     &failure)) {
        truth.reason = truth.path + " not read (" + failure + ")";
        truth.ros = CRegions{};
        return truth;
    }
    truth.found = true;
    return truth;
}

void PointArray(CJsonWriter& json, const std::vector<CPoint>& points) {
    json.BeginArray();
    for (const CPoint& p : points) json.BeginArray().Value(p.x).Value(p.y).EndArray();
    json.EndArray();
}

void BoundsArray(CJsonWriter& json, const CRect& b) {
    json.BeginArray().Value(b.left).Value(b.top).Value(b.right).Value(b.bottom).EndArray();
}

// Opens the object of cluster index and writes its id, points and bounds;
// the caller may add fields before it closes the object.
CJsonWriter& ClusterFields(CJsonWriter& json, int32_t index, const CCluster& cluster) {
    json.BeginObject().Field("id", index + 1).Key("points");
    PointArray(json, cluster.Points());
    json.Key("bounds");
    BoundsArray(json, cluster.Bounds());
    return json;
}

// "A:B:STEP" -> A, A + STEP, ... <= B. Each value is computed from A (not by
// adding STEP repeatedly) so that rounding does not drift; B itself is kept
// when it lies within a millionth of a step of the last one.
std::vector<double> ParseThresholdRange(const std::string& text) {
    constexpr double kMaxThresholds = 1000;
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t colon; (colon = text.find(':', start)) != std::string::npos; start = colon + 1)
        parts.push_back(text.substr(start, colon - start));
    parts.push_back(text.substr(start));
    if (parts.size() != 3) throw CUsageError("--thresholds must be A:B:STEP");
    const double a = ParseReal(parts[0], -DBL_MAX, DBL_MAX, "--thresholds A");
    const double b = ParseReal(parts[1], -DBL_MAX, DBL_MAX, "--thresholds B");
    const double step = ParseReal(parts[2], 0.0, DBL_MAX, "--thresholds STEP");
    if (!(step > 0.0)) throw CUsageError("--thresholds STEP must be greater than 0");
    if (b < a) throw CUsageError("--thresholds B must not be smaller than A");
    const double steps = std::floor((b - a) / step + 1e-6);
    if (!std::isfinite(steps) || steps + 1 > kMaxThresholds)
        throw CUsageError("--thresholds gives more than 1000 thresholds");
    std::vector<double> thresholds;
    for (int i = 0; i <= static_cast<int>(steps); ++i) thresholds.push_back(a + i * step);
    return thresholds;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Saves the chart; a PNG needs a QGuiApplication for its text, made here on the
// offscreen platform unless the caller chose one, so that no display is needed.
void SavePlot(const CFrocChart& chart, const std::string& path) {
    std::unique_ptr<QGuiApplication> application;
    if (EndsWithNoCase(path, ".png") && !QCoreApplication::instance()) {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "vistrel-cli";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    std::string error;
    if (!SaveFrocChart(chart, path, error)) throw CFailure(path + ": " + error);
}

}  // namespace

int RunClusters(const CommandArgs& words) {
    std::vector<COptionSpec> specs = ClusterOptionSpecs();
    specs.insert(specs.end(), {{"cnd"}, {"overlay"}, {"types"}, {"raw"}});
    const CParsedArgs args(words, specs);
    if (args.HelpRequested()) {
        std::fputs(kClustersHelp, stdout);
        return 0;
    }
    args.RequirePositionals(
        1, "vistrel-cli clusters IN (--cnd SPOTS.cnd | --overlay REGIONS.OVERLAY) [options]");
    const std::string cnd = FileValue(args, "cnd");
    const std::string overlay = FileValue(args, "overlay");
    if (cnd.empty() == overlay.empty())
        throw CUsageError("the points come either from --cnd or from --overlay");
    std::string types;
    if (const auto t = args.Value("types")) {
        if (overlay.empty()) throw CUsageError("--types goes with --overlay");
        if (t->empty()) throw CUsageError("--types needs one or more type letters");
        for (const char c : *t)
            if (std::string("omfptdw").find(c) == std::string::npos)
                throw CUsageError(std::string("--types: \"") + c +
                                  "\" is not a region type letter (o, m, f, p, t, d, w)");
        types = *t;
    }
    const CClusterParams params = ParseClusterOptions(args);
    const std::optional<double> resolutionOption = ResolutionOption(args);
    const std::string& input = args.Positionals()[0];
    std::string description;
    const auto image = LoadImage(input, RawOptionOf(args), description);
    const double res = resolutionOption ? *resolutionOption : ImageResolution(input, *image).dpi;
    const CImageTruth truth = TruthOf(input, image->width, image->height);
    if (!truth.found && std::filesystem::exists(truth.path))
        std::fprintf(stderr, "vistrel-cli clusters: warning: %s; no truth\n", truth.reason.c_str());

    CJsonWriter json;
    json.BeginObject();
    CClusters clusters;
    std::string line, header;
    int32_t points = 0;
    if (!cnd.empty()) {
        CSpotList spots;
        if (LoadSpots(cnd, spots, {0, 0}, image->width, image->height) < 0)
            throw CFailure(cnd + ": the spot file cannot be read");
        points = spots.Count();
        CSpotList out;
        line = EvaluateSpotClusters(truth.subtlety, truth.ros, image->width, image->height, res,
                                    params, clusters, out, spots, false, -DBL_MAX, -1, -1);
        header = kSpotClusterHeader;
        json.Field("source", "spots").Field("points", points);
        json.Field("resolution", res).Field("truth", truth.found ? truth.path : std::string());
        json.Key("clusters").BeginArray();
        for (int32_t i = 0; i < clusters.Count(); ++i)
            ClusterFields(json, i, *clusters.At(i)).EndObject();
        json.EndArray();
    } else {
        COverlayPlacement placement;
        placement.imageWidth = image->width;
        placement.imageHeight = image->height;
        std::string overlayDescription, failure;
        int16_t overlaySubtlety = 0;
        CRegions regions, ros;
        if (!ReadOverlay(overlay, placement, overlayDescription, overlaySubtlety, regions, ros,
                         &failure))
            throw CFailure(overlay + ": " + failure);
        for (int32_t i = 0; i < regions.Count(); ++i)
            if (!regions.At(i)->IsClusterOutline() && TypeSelected(regions.At(i)->type, types))
                ++points;
        const CRegionClustersResult made = RegionClusters(regions, image->width, image->height,
                                                          InPixels(params, res), types, clusters);
        if (made.unnumbered > 0)
            std::fprintf(stderr,
                         "vistrel-cli clusters: warning: %d cluster(s) beyond number %d left out\n",
                         made.unnumbered, kMaxRegionClusters);
        ClusterOutlines(regions, made.clusters, types);
        std::vector<CClusterRegion> groups;
        EvaluateRegionClusters(truth.subtlety, res, truth.ros, regions, line, kUnboundedClusterArea,
                               false, groups);
        header = kRegionClustersHeader;
        json.Field("source", "regions").Field("points", points);
        json.Field("resolution", res).Field("truth", truth.found ? truth.path : std::string());
        json.Key("clusters").BeginArray();
        for (int32_t i = 0; i < clusters.Count(); ++i) {
            ClusterFields(json, i, *clusters.At(i));
            // The hull as the OVERLAY outline line gives it: a start and chain codes.
            for (int32_t r = 0; r < regions.Count(); ++r) {
                const CRegion& outline = *regions.At(r);
                if (outline.clusterNumber != ClusterOutlineNumber(i + 1) || !outline.IsValid())
                    continue;
                std::string chain;
                for (const uint8_t code : outline.Chain()) chain += char('0' + code);
                json.Key("outline").BeginObject().Key("start").BeginArray();
                json.Value(outline.StartX()).Value(outline.StartY()).EndArray();
                json.Field("chain", chain).EndObject();
                break;
            }
            json.EndObject();
        }
        json.EndArray();
    }
    json.Field("header", header).Field("evaluation", line).EndObject();
    PrintJson(json);
    return 0;
}

int RunFroc(const CommandArgs& words) {
    std::vector<COptionSpec> specs = SpotDetectorOptionSpecs();
    const std::vector<COptionSpec> clusterSpecs = ClusterOptionSpecs();
    specs.insert(specs.end(), clusterSpecs.begin(), clusterSpecs.end());
    specs.insert(specs.end(), {{"thresholds"}, {"auto-range"}, {"plot"}, {"title"}});
    const CParsedArgs args(words, specs);
    if (args.HelpRequested()) {
        std::fputs(kFrocHelp, stdout);
        return 0;
    }
    if (args.Positionals().empty())
        throw CUsageError("froc needs one or more images (vistrel-cli froc IMAGES... [options])");
    const CSpotParams defaults;
    const CSpotDetectorOptions detector =
        ParseSpotDetectorOptions(args, {defaults.minScale, defaults.maxScale, defaults.increment,
                                        defaults.localMaxSide, defaults.searchSide});
    CFrocSettings settings;
    settings.clusters = ParseClusterOptions(args);
    const std::optional<double> resolutionOption = ResolutionOption(args);
    if (args.Has("thresholds") && args.Has("auto-range"))
        throw CUsageError("--thresholds and --auto-range exclude each other");
    std::vector<double> thresholds;
    if (const auto t = args.Value("thresholds")) thresholds = ParseThresholdRange(*t);
    int spread = 10;
    if (const auto n = args.Value("auto-range"))
        spread = static_cast<int>(ParseInteger(*n, 1, 1000, "--auto-range"));
    const std::string plot = FileValue(args, "plot");
    if (!plot.empty() && !EndsWithNoCase(plot, ".png") && !EndsWithNoCase(plot, ".svg"))
        throw CUsageError("--plot must name a .png or .svg file");
    if (args.Has("title") && plot.empty()) throw CUsageError("--title goes with --plot");

    // Everything an image contributes is kept until the sweep has run.
    struct CScored {
        std::string path;
        CImageTruth truth;
        std::unique_ptr<CSpotList> spots;
        double resolution = 0;
        int32_t width = 0, height = 0;
    };
    std::vector<CScored> scored;
    std::vector<std::pair<std::string, std::string>> skipped;
    for (const std::string& path : args.Positionals()) {
        std::string description;
        std::unique_ptr<CMImage> image;
        try {
            image = LoadImage(path, std::nullopt, description);
        } catch (const CFailure& failure) {
            skipped.emplace_back(path, failure.what());
            std::fprintf(stderr, "vistrel-cli froc: %s: skipped\n", failure.what());
            continue;
        }
        CScored entry;
        entry.path = path;
        entry.truth = TruthOf(path, image->width, image->height);
        if (!entry.truth.found) {
            skipped.emplace_back(path, "unknown truth: " + entry.truth.reason);
            std::fprintf(stderr, "vistrel-cli froc: %s: unknown truth (%s), skipped\n",
                         path.c_str(), entry.truth.reason.c_str());
            continue;
        }
        entry.resolution = resolutionOption ? *resolutionOption : ImageResolution(path, *image).dpi;
        std::string log;
        {
            CTerminalProgress progress("froc " + std::filesystem::path(path).filename().string());
            entry.spots = CandidateListSSS(*image, detector.minScale, detector.maxScale,
                                           detector.increment, detector.localMaxSide,
                                           detector.searchSide, nullptr, log, {}, progress.Fn());
        }
        if (!entry.spots) entry.spots = std::make_unique<CSpotList>();
        // The sweep needs the image's size only: the pixels go now.
        entry.width = image->width;
        entry.height = image->height;
        scored.push_back(std::move(entry));
    }
    if (scored.empty()) throw CFailure("no image with known truth to score");

    std::vector<CFrocImage> images;
    for (const CScored& entry : scored)
        images.push_back({entry.width, entry.height, entry.resolution, entry.truth.subtlety,
                          &entry.truth.ros, entry.spots.get()});
    if (thresholds.empty()) thresholds = SpreadThresholds(images, spread);
    if (thresholds.empty()) throw CFailure("no spots were found: no thresholds to spread");
    const CFrocResult result = FrocSweep(images, thresholds, settings);

    int truthClusters = 0;
    for (std::size_t i = 0; i < scored.size(); ++i)
        truthClusters += result.scores.empty() ? 0 : result.scores[0][i].truth;

    CJsonWriter json;
    json.BeginObject()
        .Field("images", static_cast<int32_t>(scored.size()))
        .Field("truth_clusters", truthClusters)
        .Field("complete", result.complete);
    json.Key("skipped").BeginArray();
    for (const auto& [path, reason] : skipped)
        json.BeginObject().Field("image", path).Field("reason", reason).EndObject();
    json.EndArray().Key("points").BeginArray();
    for (const CFrocPoint& p : result.points)
        json.BeginObject()
            .Field("threshold", p.threshold)
            .Field("sensitivity", p.sensitivity)
            .Field("fp_per_image", p.fpPerImage)
            .EndObject();
    json.EndArray().Key("per_image").BeginArray();
    for (std::size_t i = 0; i < scored.size(); ++i) {
        const CScored& entry = scored[i];
        json.BeginObject()
            .Field("image", entry.path)
            .Field("resolution", entry.resolution)
            .Field("subtlety", static_cast<int32_t>(entry.truth.subtlety))
            .Field("truth", result.scores.empty() ? 0 : result.scores[0][i].truth)
            .Field("spots", entry.spots->Count());
        json.Key("scores").BeginArray();
        for (std::size_t t = 0; t < result.scores.size(); ++t) {
            const CSpotClusterScore& s = result.scores[t][i];
            json.BeginObject()
                .Field("threshold", thresholds[t])
                .Field("clusters", s.clusters)
                .Field("tp", s.tp)
                .Field("fp", s.fp)
                .Field("fn", s.fn)
                .EndObject();
        }
        json.EndArray().EndObject();
    }
    json.EndArray().EndObject();

    if (!plot.empty()) {
        CFrocChart chart;
        chart.title = args.Value("title").value_or("FROC");
        chart.images = static_cast<int>(scored.size());
        chart.truthClusters = truthClusters;
        for (const CFrocPoint& p : result.points)
            chart.points.push_back({p.threshold, p.sensitivity, p.fpPerImage});
        SavePlot(chart, plot);
    }
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
