// spots: the multiscale LoG spot detector, its selection and .cnd output.

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <memory>
#include <numeric>
#include <string>
#include <utility>

#include "cli_common.h"
#include "commands.h"
#include "detection/spot_detector.h"
#include "detection/spot_file.h"
#include "detection/spot_params.h"
#include "filters/convolution.h"
#include "spot_options.h"

namespace vistrel::cli {

namespace {

// The entries of a detected spot's values, by name.
constexpr std::pair<const char*, int> kSpotValueNames[] = {{"scale", kSpotScale},
                                                           {"response", kSpotResponse},
                                                           {"energy", kSpotEnergy},
                                                           {"meanMin", kSpotMeanMin},
                                                           {"stdDevMin", kSpotStdDevMin},
                                                           {"meanScale", kSpotMeanScale},
                                                           {"stdDevScale", kSpotStdDevScale}};

}  // namespace

std::vector<COptionSpec> SpotDetectorOptionSpecs() {
    return {{"min"}, {"max"}, {"inc"}, {"n"}, {"m"}};
}

CSpotDetectorOptions ParseSpotDetectorOptions(const CParsedArgs& args,
                                              const CSpotDetectorOptions& defaults) {
    auto parameter = [&](const char* name, int fallback, CSpotParams::CRange range) {
        const auto v = args.Value(name);
        return v ? static_cast<int>(
                       ParseInteger(*v, range.min, range.max, std::string("--") + name))
                 : fallback;
    };
    CSpotDetectorOptions o;
    o.minScale = parameter("min", defaults.minScale, CSpotParams::kScaleRange);
    o.maxScale = parameter("max", defaults.maxScale, CSpotParams::kScaleRange);
    o.increment = parameter("inc", defaults.increment, CSpotParams::kIncrementRange);
    o.localMaxSide = parameter("n", defaults.localMaxSide, CSpotParams::kLocalMaxRange);
    o.searchSide = parameter("m", defaults.searchSide, CSpotParams::kSearchRange);
    if (o.maxScale < o.minScale) throw CUsageError("--max must not be smaller than --min");
    return o;
}

// The SGT outline reader of the filter command.
bool ReadSgtOutline(const std::string& path, COutline& outline, std::string& reason);

const char* const kSpotsHelp =
    "usage: vistrel-cli spots IN [--min 3] [--max 10] [--inc 2] [--n 3] [--m 3]\n"
    "                            [--mask FILE.sgt] [--threshold T [--value-index K] | --auto F]\n"
    "                            [--exclude-min-scale] [--cnd OUT.cnd] [--raw W,H,DEPTH[,msb]]\n"
    "\n"
    "Finds bright spots (microcalcification candidates): LoG responses at scales\n"
    "min, min + inc, ... up to max; strict n x n local maxima above mean + 2.7\n"
    "standard deviations of each scale, linked across scales within an m x m\n"
    "window; one spot per path at the scale of its strongest response. Prints\n"
    "  log: the detector's progress lines\n"
    "  valueNames: {scale: 0, response: 1, energy: 2, meanMin: 3, stdDevMin: 4,\n"
    "              meanScale: 5, stdDevScale: 6}, the index of each entry of values\n"
    "  spots: [{x, y, response, values}] with values = scale, response, energy,\n"
    "         mean and standard deviation at the minimum scale and at the spot's scale\n"
    "  selected: indexes of the spots that pass the selection\n"
    "Selection: --threshold T keeps spots whose value K (default -1: the response)\n"
    "is >= T; --auto F keeps those with response >= mean + F stdDev of the\n"
    "minimum scale; with neither every spot is selected. --exclude-min-scale drops\n"
    "spots found at the minimum scale. --cnd writes all spots to a spot file.\n"
    "--mask restricts detection and statistics to the inside of a breast outline\n"
    "(SGT file; inside by the even-odd rule on each pixel row).\n"
    "An image without any maximum gives an empty list.\n"
    "\n"
    "options:\n"
    "  --min, --max   scales 2..20 (max >= min)     --inc  1..20\n"
    "  --n            local maximum side 3..20      --m    search side 0..20\n"
    "  --value-index  -1..12\n";

int RunSpots(const CommandArgs& words) {
    std::vector<COptionSpec> specs = SpotDetectorOptionSpecs();
    specs.insert(specs.end(), {{"threshold"},
                               {"value-index"},
                               {"auto"},
                               {"exclude-min-scale", false},
                               {"cnd"},
                               {"mask"},
                               {"raw"}});
    const CParsedArgs args(words, specs);
    if (args.HelpRequested()) {
        std::fputs(kSpotsHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1, "vistrel-cli spots IN [options]");
    auto integer = [&](const char* name, int fallback, int lo, int hi) {
        const auto v = args.Value(name);
        return v ? static_cast<int>(ParseInteger(*v, lo, hi, std::string("--") + name)) : fallback;
    };
    const CSpotParams defaults;
    const CSpotDetectorOptions detector =
        ParseSpotDetectorOptions(args, {defaults.minScale, defaults.maxScale, defaults.increment,
                                        defaults.localMaxSide, defaults.searchSide});
    const int hMin = detector.minScale, hMax = detector.maxScale, inc = detector.increment;
    const int n = detector.localMaxSide, m = detector.searchSide;
    const int k = integer("value-index", -1, -1, 12);
    if (args.Has("threshold") && args.Has("auto"))
        throw CUsageError("--threshold and --auto exclude each other");
    if (args.Has("value-index") && !args.Has("threshold"))
        throw CUsageError("--value-index needs --threshold");
    const auto raw = RawOptionOf(args);
    const std::string& input = args.Positionals()[0];

    std::string description;
    auto image = LoadImage(input, raw, description);
    CMImage mask;
    if (const auto sgt = args.Value("mask")) {
        COutline outline;
        std::string reason;
        if (!ReadSgtOutline(*sgt, outline, reason)) throw CFailure(*sgt + ": " + reason);
        if (!mask.Create(image->width, image->height, 1, 1))
            throw CFailure(input + ": not enough memory for the mask");
        for (int32_t y = 0; y < image->height; ++y)
            for (const auto& [xa, xb] : OutlineSpans(outline, y))
                for (int32_t x = std::max(0, int32_t(xa) + 1);
                     x <= std::min(int32_t(xb), image->width - 1); ++x)
                    mask.SetPixel(x, y, 1);
    }
    std::string log;
    std::unique_ptr<CSpotList> found;
    {
        CTerminalProgress progress("spots");
        found = CandidateListSSS(*image, hMin, hMax, inc, n, m, mask.IsValid() ? &mask : nullptr,
                                 log, {}, progress.Fn());
    }
    if (!found) found = std::make_unique<CSpotList>();
    const CSpotList& spots = *found;

    // The detector's spots are all distinct: none has to be looked for twice.
    std::vector<int32_t> distinct(std::size_t(spots.Count()));
    std::iota(distinct.begin(), distinct.end(), 0);
    std::vector<int32_t> selected;
    const int excluded = args.Has("exclude-min-scale") ? hMin : -1;
    if (const auto t = args.Value("threshold"))
        selected = SelectSpotIndices(spots, distinct, false,
                                     ParseReal(*t, -DBL_MAX, DBL_MAX, "--threshold"), k, excluded);
    else if (const auto f = args.Value("auto"))
        selected = SelectSpotIndices(spots, distinct, true, ParseReal(*f, -1e6, 1e6, "--auto"), -1,
                                     excluded);
    else
        selected = SelectSpotIndices(spots, distinct, false, -DBL_MAX, -1, excluded);

    if (const auto cnd = args.Value("cnd")) {
        if (spots.Count() > 0 && SaveSpots(*cnd, spots, {0, 0}) < 0)
            throw CFailure(*cnd + ": cannot write the spot file");
    }

    CJsonWriter json;
    json.Reserve(std::size_t(spots.Count()) * 200 + log.size() + 256);
    json.BeginObject().Field("log", log);
    // Where each entry of a spot's values sits, so that scripts can look
    // them up by name.
    json.Key("valueNames").BeginObject();
    for (const auto& [name, index] : kSpotValueNames) json.Field(name, index);
    json.EndObject();
    json.Key("spots").BeginArray();
    for (int32_t i = 0; i < spots.Count(); ++i) {
        const CPointResponse& s = spots[i];
        json.BeginObject().Field("x", s.x).Field("y", s.y).Field("response", s.response);
        json.Key("values").BeginArray();
        for (double v : s.values) json.Value(v);
        json.EndArray().EndObject();
    }
    json.EndArray().Key("selected").BeginArray();
    for (const int32_t i : selected) json.Value(i);
    json.EndArray().EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
