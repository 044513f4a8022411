// grow: regions grown from seeds (a spot file or the seed detector);
// threshold: the pixels above a value, or the local maxima above it.

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "cli_common.h"
#include "commands.h"
#include "detection/grow_from_seeds.h"
#include "detection/spot_detector.h"
#include "detection/spot_file.h"
#include "detection/thresholding.h"
#include "regions/companion_path.h"
#include "regions/overlay_file.h"
#include "spot_options.h"
#include "workspace/image_resolution.h"

namespace vistrel::cli {

const char* const kGrowHelp =
    "usage: vistrel-cli grow IN (--cnd SEEDS.cnd | --spots [--min 5] [--max 12] [--inc 2]\n"
    "                            [--n 3] [--m 5] --threshold T)\n"
    "                           [--algorithm local-statistics|max-slope|local-min|\n"
    "                                        min-slope-circles]\n"
    "                           [--input image|log|white-top-hat] [--k 1.5]\n"
    "                           [--window 0.3cm|9px] [--directions 4|8|16] [--no-join]\n"
    "                           [--overlay OUT.OVERLAY] [--raw W,H,DEPTH[,msb]]\n"
    "\n"
    "Grows one region per seed. The seeds come from a spot file (--cnd) or from\n"
    "the path-free spot detector (--spots, its scale and side options as for\n"
    "\"spots\"), keeping those whose response is >= T. Each region is cut from the\n"
    "seed's neighbourhood (a square of half-side --window, in cm at the image's\n"
    "resolution or in px) of the grey levels, the LoG response at the seed's\n"
    "scale or the white top-hat, by the chosen rule; local statistics keeps\n"
    "values >= mean + k stdDev. Overlapping regions are joined unless --no-join.\n"
    "Diagnoses come from the truth regions of the OVERLAY file beside IN, when\n"
    "there is one. Prints\n"
    "  regions: [{start, chain, area, centroid, bounds [l, t, r, b] (right and\n"
    "            bottom exclusive), diagnosis, type, scale, response}]\n"
    "  seeds, joined, skipped_seeds (outside or too weak), without_region\n"
    "--overlay writes the regions as an OVERLAY file (in image coordinates).\n";

const char* const kThresholdHelp =
    "usage: vistrel-cli threshold IN --value T [--local-maxima SIZE] [--keep-single]\n"
    "                                [--on-image] [--out OUT] [--raw W,H,DEPTH[,msb]]\n"
    "\n"
    "Without --local-maxima: the pixels >= T, single pixels without an 8-neighbour\n"
    "above T dropped unless --keep-single; OUT is a 1-bit image (1 = above), or\n"
    "with --on-image a copy of IN with those pixels at its maximum value.\n"
    "With --local-maxima SIZE (px, raised to 3 and made odd): the pixels strictly\n"
    "greater than every other of the SIZE x SIZE square around them; those >= T\n"
    "are kept and marked with 1 in a 1-bit OUT. Prints\n"
    "  pixelsAbove (without --local-maxima), maximaFound and maximaKept (with it)\n";

namespace {

// The command-line words of a choice, in the enum's order.
constexpr const char* kAlgorithmWords[] = {"max-slope", "local-min", "min-slope-circles",
                                           "local-statistics"};
constexpr const char* kInputWords[] = {"image", "log", "white-top-hat"};

// "0.3cm" or "9px": a window half-side; a bare number is refused, the unit
// decides too much to be guessed.
int32_t ParseWindow(const std::string& text, double resolution) {
    const auto ends = [&](const char* suffix) {
        const std::string s(suffix);
        return text.size() > s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0;
    };
    if (ends("cm")) {
        const double cm = ParseReal(text.substr(0, text.size() - 2), 0.0, 100.0, "--window");
        return GrowWindowPixels(cm, true, resolution);
    }
    if (ends("px")) {
        const auto px = ParseInteger(text.substr(0, text.size() - 2), 0, 100000, "--window");
        return GrowWindowPixels(double(px), false, resolution);
    }
    throw CUsageError("--window must be a length with its unit, e.g. 0.3cm or 9px (not \"" + text +
                      "\")");
}

void RegionFields(CJsonWriter& json, const CRegion& region) {
    json.Key("start").BeginArray().Value(region.StartX()).Value(region.StartY()).EndArray();
    std::string chain;
    chain.reserve(region.Chain().size());
    for (uint8_t code : region.Chain()) chain += static_cast<char>('0' + code);
    json.Field("chain", chain);
    const std::vector<CPoint> pixels = region.Pixels();
    double sx = 0.0, sy = 0.0;
    for (const CPoint& p : pixels) {
        sx += p.x;
        sy += p.y;
    }
    const double n = pixels.empty() ? 1.0 : double(pixels.size());
    json.Field("area", static_cast<int64_t>(pixels.size()));
    json.Key("centroid").BeginArray().Value(sx / n).Value(sy / n).EndArray();
    const CRect& b = region.Bounds();
    json.Key("bounds").BeginArray().Value(b.left).Value(b.top).Value(b.right).Value(b.bottom);
    json.EndArray();
    json.Field("diagnosis", static_cast<int>(region.diagnosis))
        .Field("type", std::string(1, region.type))
        .Field("scale", region.scale)
        .Field("response", region.response);
}

// The truth regions of the OVERLAY file beside the image, when it is there
// and readable; an unreadable one is said, not fatal: diagnoses are then 2.
CRegions TruthBeside(const std::string& input, const CMImage& image) {
    CRegions truth;
    const std::string path = DefaultOverlayPath(input);
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path, error)) return truth;
    COverlayPlacement placement;
    placement.imageWidth = image.width;
    placement.imageHeight = image.height;
    std::string description, failure;
    int16_t subtlety = 0;
    CRegions regions;
    if (!ReadOverlay(path, placement, description, subtlety, regions, truth, &failure)) {
        std::fprintf(stderr, "vistrel-cli grow: warning: %s not read (%s); no truth\n",
                     path.c_str(), failure.c_str());
        return CRegions{};
    }
    return truth;
}

}  // namespace

int RunGrow(const CommandArgs& words) {
    std::vector<COptionSpec> specs = SpotDetectorOptionSpecs();
    specs.insert(specs.end(), {{"cnd"},
                               {"spots", false},
                               {"threshold"},
                               {"algorithm"},
                               {"input"},
                               {"k"},
                               {"window"},
                               {"directions"},
                               {"no-join", false},
                               {"overlay"},
                               {"raw"}});
    const CParsedArgs args(words, specs);
    if (args.HelpRequested()) {
        std::fputs(kGrowHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1, "vistrel-cli grow IN (--cnd SEEDS.cnd | --spots --threshold T)");
    const bool fromFile = args.Has("cnd");
    if (fromFile == args.Has("spots"))
        throw CUsageError("give the seeds either as --cnd SEEDS.cnd or as --spots --threshold T");
    if (fromFile && args.Has("threshold"))
        throw CUsageError("--threshold selects detected seeds: it goes with --spots, not --cnd");
    if (!args.Has("spots")) {
        for (const COptionSpec& detectorOption : SpotDetectorOptionSpecs())
            if (args.Has(detectorOption.name))
                throw CUsageError("--" + detectorOption.name +
                                  " is a detector option: it needs --spots");
    }
    if (args.Has("spots") && !args.Has("threshold"))
        throw CUsageError("--spots needs --threshold T");
    // The workstation prepares its seeds with these detector settings.
    const CSpotDetectorOptions detector = ParseSpotDetectorOptions(args, {5, 12, 2, 3, 5});
    const double threshold = args.Has("threshold") ? ParseReal(*args.Value("threshold"), -DBL_MAX,
                                                               DBL_MAX, "--threshold")
                                                   : 0.0;

    CGrowParams params;
    if (const auto a = args.Value("algorithm"))
        params.algorithm =
            static_cast<EGrowAlgorithm>(ChoiceIndex(kAlgorithmWords, *a, "algorithm"));
    if (const auto i = args.Value("input"))
        params.input = static_cast<EGrowInput>(ChoiceIndex(kInputWords, *i, "input"));
    if (const auto k = args.Value("k")) params.k = ParseReal(*k, -1e6, 1e6, "--k");
    if (const auto d = args.Value("directions")) {
        params.directions = static_cast<int>(ParseInteger(*d, 4, 16, "--directions"));
        if (params.directions != 4 && params.directions != 8 && params.directions != 16)
            throw CUsageError("--directions must be 4, 8 or 16");
    }
    params.join = !args.Has("no-join");
    const std::optional<std::string> overlayPath = args.Value("overlay");
    if (overlayPath && overlayPath->empty()) throw CUsageError("--overlay needs a file name");
    const std::optional<std::string> window = args.Value("window");
    if (window) ParseWindow(*window, kDefaultResolution);  // refuse bad text before reading
    const auto raw = RawOptionOf(args);

    const std::string& input = args.Positionals()[0];
    std::string description;
    const auto image = LoadImage(input, raw, description);
    const double resolution = ImageResolution(input, *image).dpi;
    params.windowPx =
        window ? ParseWindow(*window, resolution) : GrowWindowPixels(0.3, true, resolution);

    CSpotList seeds;
    if (fromFile) {
        const std::string cnd = *args.Value("cnd");
        if (LoadSpots(cnd, seeds, {0, 0}, image->width, image->height) < 0)
            throw CFailure(cnd + ": cannot read the spot file");
    } else {
        std::string log;
        std::unique_ptr<CSpotList> found;
        {
            CTerminalProgress progress("seeds");
            found = CandidateListSeeds(*image, detector.minScale, detector.maxScale,
                                       detector.increment, detector.localMaxSide,
                                       detector.searchSide, nullptr, log, progress.Fn());
        }
        if (found) SelectSpots(*found, seeds, false, threshold, -1, -1);
    }

    const CRegions truth = TruthBeside(input, *image);
    CRegions regions;
    CGrowReport report;
    {
        CTerminalProgress progress("grow");
        GrowFromSeeds(*image, seeds, regions, &truth, params, &report, progress.Fn());
    }

    if (overlayPath) {
        COverlayPlacement placement;
        placement.imageWidth = image->width;
        placement.imageHeight = image->height;
        const COverlayWriteResult written =
            WriteOverlay(*overlayPath, {}, regions, CRegions{}, placement, true);
        if (written == COverlayWriteResult::Failed)
            throw CFailure(*overlayPath + ": cannot write the OVERLAY file");
        if (written == COverlayWriteResult::NothingToWrite)
            std::fprintf(stderr, "vistrel-cli grow: no region, %s not written\n",
                         overlayPath->c_str());
    }

    CJsonWriter json;
    json.Reserve(std::size_t(regions.Count()) * 300 + 256);
    json.BeginObject().Key("regions").BeginArray();
    for (int32_t i = 0; i < regions.Count(); ++i) {
        json.BeginObject();
        RegionFields(json, *regions.At(i));
        json.EndObject();
    }
    json.EndArray()
        .Field("seeds", seeds.Count())
        .Field("window", params.windowPx)
        .Field("joined", report.joined)
        .Field("skipped_seeds", report.skippedSeeds)
        .Field("without_region", report.withoutRegion)
        .EndObject();
    PrintJson(json);
    return 0;
}

int RunThreshold(const CommandArgs& words) {
    const CParsedArgs args(words, {{"value"},
                                   {"local-maxima"},
                                   {"keep-single", false},
                                   {"on-image", false},
                                   {"out"},
                                   {"raw"}});
    if (args.HelpRequested()) {
        std::fputs(kThresholdHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1,
                            "vistrel-cli threshold IN --value T [--local-maxima SIZE] [--out OUT]");
    if (!args.Has("value")) throw CUsageError("--value T is required");
    const double t = ParseReal(*args.Value("value"), -DBL_MAX, DBL_MAX, "--value");
    std::optional<int32_t> maximaSize;
    if (const auto s = args.Value("local-maxima"))
        maximaSize = static_cast<int32_t>(ParseInteger(*s, 1, 4001, "--local-maxima"));
    if (maximaSize && (args.Has("keep-single") || args.Has("on-image")))
        throw CUsageError("--keep-single and --on-image apply to thresholding, not --local-maxima");
    const std::optional<std::string> out = args.Value("out");
    if (out && out->empty()) throw CUsageError("--out needs a file name");
    const auto raw = RawOptionOf(args);

    const std::string& input = args.Positionals()[0];
    std::string description;
    const auto image = LoadImage(input, raw, description);

    CJsonWriter json;
    json.BeginObject();
    if (maximaSize) {
        const CSpotList maxima = LocalMaximaSpots(*image, *maximaSize);
        CMImage marks;
        if (!marks.Create(image->width, image->height, 1, 1))
            throw CFailure(input + ": not enough memory for the marks");
        int32_t kept = 0;
        for (int32_t i = 0; i < maxima.Count(); ++i) {
            if (!(maxima[i].response >= t)) continue;
            marks.SetPixel(maxima[i].x, maxima[i].y, 1);
            ++kept;
        }
        if (out) SaveImage(marks, true, *out);
        json.Field("maximaFound", maxima.Count()).Field("maximaKept", kept);
    } else {
        const auto result =
            ThresholdImage(*image, t, args.Has("keep-single"), args.Has("on-image"));
        if (!result) throw CFailure(input + ": the image could not be thresholded");
        // Count on the 1-bit form so that --on-image reports the same figure.
        const auto above = args.Has("on-image")
                               ? ThresholdImage(*image, t, args.Has("keep-single"), false)
                               : nullptr;
        const CMImage& bits = above ? *above : *result;
        int64_t count = 0;
        for (int32_t y = 0; y < bits.height; ++y)
            for (int32_t x = 0; x < bits.width; ++x) count += bits.GetPixel(x, y) != 0;
        if (out) SaveImage(*result, true, *out);
        json.Field("pixelsAbove", count);
    }
    json.EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
