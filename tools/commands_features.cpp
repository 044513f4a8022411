// features: the feature vectors of an OVERLAY file's regions and clusters,
// optionally appended to feature files; glcm and srdm: the texture matrices
// of a rectangle.

#include <cstdio>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "cli_common.h"
#include "commands.h"
#include "core/atomic_file.h"
#include "regions/feature_file.h"
#include "regions/region_features.h"
#include "regions/texture.h"
#include "workspace/image_resolution.h"

namespace vistrel::cli {

const char* const kFeaturesHelp =
    "usage: vistrel-cli features IN --overlay F.OVERLAY [--types LETTERS]\n"
    "                               [--select FILE|all] [--distance D]\n"
    "                               [--ring-width W] [--ftr OUT.ftr]\n"
    "                               [--cluster-ftr OUT.ftr] [--region-type TEXT]\n"
    "                               [--raw W,H,DEPTH[,msb]]\n"
    "\n"
    "Computes the feature vector of every region of the OVERLAY file (placed on\n"
    "IN as the workstation places it) whose type letter is in LETTERS (default:\n"
    "every type; o object, m microcalcification, f fibre, p point, t tumour,\n"
    "d distortion), and the cluster features of every cluster outline over its\n"
    "members. Lengths and areas in mm use the image's resolution. Prints\n"
    "  regions:  [{index, type, diagnosis, names: [...], values: [...]}]\n"
    "  clusters: [{index, cluster, diagnosis, names: [...], values: [...]}]\n"
    "index is the position in the file's region list; diagnosis 0 benign,\n"
    "1 malignant, 2 false; a region whose features cannot be computed is left\n"
    "out (and counted on stderr).\n"
    "\n"
    "options:\n"
    "  --select FILE|all   the features to compute: FILE lists one name per line\n"
    "                      (blank lines and lines starting with # ignored), all\n"
    "                      (the default) turns every one on\n"
    "  --distance D        co-occurrence pair distance (default 1)\n"
    "  --ring-width W      square ring around a region for its texture (default 5)\n"
    "  --ftr OUT.ftr       append one row per region to a feature file: the column\n"
    "                      \"_\" (0), then the features; the region type column is\n"
    "                      the region's type letter, or TEXT with --region-type\n"
    "  --cluster-ftr OUT   the same for the clusters (diagnosis \"CLUSTER ...\"),\n"
    "                      in a file of their own since their columns differ\n"
    "Feature files are tab-separated text with a header line (filename, diagnosis,\n"
    "region type, then the names) written when the file is new; every field is\n"
    "followed by a tab, so a reader sees an empty last column. pandas reads them\n"
    "with read_csv(path, sep=\"\\t\") (the last column comes out as \"Unnamed: N\",\n"
    "all NaN). Rows are appended through a temporary file: a failed write keeps\n"
    "the old file whole.\n";

const char* const kGlcmHelp =
    "usage: vistrel-cli glcm IN --roi X,Y,W,H [--distance D] [--raw W,H,DEPTH[,msb]]\n"
    "\n"
    "The grey-level co-occurrence matrices of the rectangle (clipped to IN) at\n"
    "pair distance D (default 1) in the directions 0, 45, 90 and 135 degrees,\n"
    "one level per grey value, and their named features. Prints\n"
    "  roi: [x, y, w, h] (after clipping), distance,\n"
    "  names: [\"Contrast_Mean\", ..., \"Contrast_D_0\", ...], values: [...]\n"
    "the twelve means over the directions first, then the twelve features of\n"
    "each direction.\n";

const char* const kSrdmHelp =
    "usage: vistrel-cli srdm IN --roi X,Y,W,H [--inner 7] [--middle 11] [--outer 15]\n"
    "                           [--margin 50] [--raw W,H,DEPTH[,msb]]\n"
    "\n"
    "The surrounding region dependence matrix of the rectangle (clipped to IN):\n"
    "the three square sides (odd, inner < middle < outer) and the grey-level\n"
    "margin. Prints\n"
    "  roi: [x, y, w, h] (after clipping), rows, cols, matrix: [[...], ...] (rows\n"
    "  of counts), hws, vws, dws, gws (the weighted sums), skipped (pixels whose\n"
    "  entry fell outside the matrix)\n";

namespace {

// "X,Y,W,H" with W and H positive.
CRect ParseRoi(const std::string& text) {
    const std::vector<std::string> fields = SplitCommas(text);
    if (fields.size() != 4) throw CUsageError("--roi: \"" + text + "\" is not X,Y,W,H");
    constexpr int64_t kLargest = std::numeric_limits<int32_t>::max() / 2;
    const auto x = static_cast<int32_t>(ParseInteger(fields[0], 0, kLargest, "--roi x"));
    const auto y = static_cast<int32_t>(ParseInteger(fields[1], 0, kLargest, "--roi y"));
    const auto w = static_cast<int32_t>(ParseInteger(fields[2], 1, kLargest, "--roi width"));
    const auto h = static_cast<int32_t>(ParseInteger(fields[3], 1, kLargest, "--roi height"));
    return {x, y, x + w, y + h};
}

// The rectangle inside the image; CFailure when none of it is.
CRect ClippedRoi(const CMImage& image, CRect roi, const std::string& input) {
    if (image.ClipRect(roi) != 0 || roi.IsEmpty())
        throw CFailure(input + ": the rectangle lies outside the " + std::to_string(image.width) +
                       " x " + std::to_string(image.height) + " image");
    return roi;
}

void RoiField(CJsonWriter& json, const CRect& r) {
    json.Key("roi").BeginArray().Value(r.left).Value(r.top).Value(r.Width()).Value(r.Height());
    json.EndArray();
}

void NamedValues(CJsonWriter& json, const CFeatureVector& v) {
    json.Key("names").BeginArray();
    for (const std::string& name : v.names) json.Value(name);
    json.EndArray().Key("values").BeginArray();
    for (double value : v.values) json.Value(value);
    json.EndArray();
}

std::unique_ptr<CMImage> LoadFor(const CParsedArgs& args, std::string& input) {
    input = args.Positionals()[0];
    std::string description;
    return LoadImage(input, RawOptionOf(args), description);
}

std::string NonEmptyValue(const CParsedArgs& args, const std::string& name) {
    const auto value = args.Value(name);
    if (value && value->empty()) throw CUsageError("--" + name + " needs a file name");
    return value.value_or(std::string());
}

}  // namespace

int RunFeatures(const CommandArgs& words) {
    const CParsedArgs args(words, {{"overlay"},
                                   {"types"},
                                   {"select"},
                                   {"distance"},
                                   {"ring-width"},
                                   {"ftr"},
                                   {"cluster-ftr"},
                                   {"region-type"},
                                   {"raw"}});
    if (args.HelpRequested()) {
        std::fputs(kFeaturesHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1,
                            "vistrel-cli features IN --overlay F.OVERLAY [--types LETTERS] "
                            "[--select FILE|all] [--ftr OUT.ftr]");
    const std::string overlayPath = NonEmptyValue(args, "overlay");
    if (overlayPath.empty()) throw CUsageError("features needs --overlay F.OVERLAY");
    std::set<char> types;
    if (const auto text = args.Value("types")) {
        if (text->empty()) throw CUsageError("--types needs one or more type letters");
        for (const char c : *text) {
            if (std::string("omfptd").find(c) == std::string::npos)
                throw CUsageError(std::string("--types: \"") + c +
                                  "\" is not a region type letter (o, m, f, p, t, d; cluster "
                                  "outlines are always reported as clusters)");
            types.insert(c);
        }
    }
    CFeatureSettings settings;
    if (const auto text = args.Value("distance"))
        settings.coocurrenceDistance =
            static_cast<int32_t>(ParseInteger(*text, 1, 65535, "--distance"));
    if (const auto text = args.Value("ring-width"))
        settings.ringWidth = static_cast<int32_t>(ParseInteger(*text, 0, 65535, "--ring-width"));
    const std::string ftrPath = NonEmptyValue(args, "ftr");
    const std::string clusterFtrPath = NonEmptyValue(args, "cluster-ftr");
    const std::optional<std::string> regionType = args.Value("region-type");
    if (regionType && ftrPath.empty())
        throw CUsageError("--region-type goes with --ftr (the region type column)");
    std::string selectionText = "all";
    if (const auto text = args.Value("select")) {
        if (text->empty()) throw CUsageError("--select needs a file name or all");
        if (*text != "all" && !ReadWholeFile(*text, selectionText))
            throw CFailure(*text + ": the feature selection cannot be read");
    }

    std::string input;
    const auto image = LoadFor(args, input);
    settings.resolution = ImageResolution(input, *image).dpi;
    CFeatureSelection selection = DefaultFeatureSelection(settings);
    std::string reason;
    if (!ReadFeatureSelectionText(selectionText, selection, &reason))
        throw CUsageError("--select " + *args.Value("select") + ": " + reason);

    CRegions regions = ReadOverlayRegions(overlayPath, *image);

    std::vector<CFeatureVector> vectors;
    CTerminalProgress progress("features");
    ComputeAllRegionFeatures(regions, *image, selection, settings, true, vectors, progress.Fn());

    CJsonWriter json;
    json.BeginObject().Key("regions").BeginArray();
    std::vector<CFeatureRow> regionRows, clusterRows;
    int32_t failed = 0;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion& r = *regions.At(i);
        if (r.IsClusterOutline() || (!types.empty() && !types.count(r.type))) continue;
        const CFeatureVector& v = vectors[static_cast<size_t>(i)];
        if (v.IsEmpty()) {
            ++failed;
            continue;
        }
        json.BeginObject()
            .Field("index", i)
            .Field("type", std::string(1, r.type))
            .Field("diagnosis", static_cast<int32_t>(r.diagnosis));
        NamedValues(json, v);
        json.EndObject();
        regionRows.push_back({DiagnosisWord(r.diagnosis),
                              regionType ? *regionType : std::string(1, r.type),
                              WithLeadingColumn(v)});
    }
    json.EndArray().Key("clusters").BeginArray();
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion& r = *regions.At(i);
        if (!IsClusterOutlineNumber(r.clusterNumber)) continue;
        CFeatureVector v;
        if (ComputeClusterFeatures(r, regions, *image, selection, settings, v) < 0 || v.IsEmpty()) {
            ++failed;
            continue;
        }
        json.BeginObject()
            .Field("index", i)
            .Field("cluster", ClusterOfNumber(r.clusterNumber))
            .Field("diagnosis", static_cast<int32_t>(r.diagnosis));
        NamedValues(json, v);
        json.EndObject();
        clusterRows.push_back({DiagnosisWord(r.diagnosis, true), std::string(1, r.type), v});
    }
    json.EndArray().EndObject();
    if (failed > 0)
        std::fprintf(stderr,
                     "vistrel-cli features: %d region(s) or cluster(s) gave no features (an "
                     "outline outside the image, or a cluster without members)\n",
                     failed);

    auto append = [&](const std::string& path, const std::vector<CFeatureRow>& rows) {
        if (path.empty()) return;
        if (rows.empty()) {
            std::fprintf(stderr, "vistrel-cli features: nothing to write, %s not written\n",
                         path.c_str());
            return;
        }
        std::string error;
        if (!AppendFeatureRows(path, input, rows, &error)) throw CFailure(error);
    };
    append(ftrPath, regionRows);
    append(clusterFtrPath, clusterRows);
    PrintJson(json);
    return 0;
}

int RunGlcm(const CommandArgs& words) {
    const CParsedArgs args(words, {{"roi"}, {"distance"}, {"raw"}});
    if (args.HelpRequested()) {
        std::fputs(kGlcmHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1, "vistrel-cli glcm IN --roi X,Y,W,H [--distance D]");
    const auto roiText = args.Value("roi");
    if (!roiText) throw CUsageError("glcm needs --roi X,Y,W,H");
    const CRect roi = ParseRoi(*roiText);
    int32_t distance = 1;
    if (const auto text = args.Value("distance"))
        distance = static_cast<int32_t>(ParseInteger(*text, 1, 65535, "--distance"));

    std::string input;
    const auto image = LoadFor(args, input);
    const CRect clipped = ClippedRoi(*image, roi, input);
    CFeatureVector features;
    if (!CoocurrenceFeatures(*image, clipped, distance, features) || features.IsEmpty())
        throw CFailure(input + ": the co-occurrence matrices of the rectangle cannot be computed");

    CJsonWriter json;
    json.BeginObject();
    RoiField(json, clipped);
    json.Field("distance", distance);
    NamedValues(json, features);
    json.EndObject();
    PrintJson(json);
    return 0;
}

int RunSrdm(const CommandArgs& words) {
    const CParsedArgs args(words, {{"roi"}, {"inner"}, {"middle"}, {"outer"}, {"margin"}, {"raw"}});
    if (args.HelpRequested()) {
        std::fputs(kSrdmHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1,
                            "vistrel-cli srdm IN --roi X,Y,W,H [--inner I] [--middle M] "
                            "[--outer O] [--margin G]");
    const auto roiText = args.Value("roi");
    if (!roiText) throw CUsageError("srdm needs --roi X,Y,W,H");
    const CRect roi = ParseRoi(*roiText);
    auto side = [&](const char* name, int32_t fallback) {
        const auto text = args.Value(name);
        if (!text) return fallback;
        const auto value =
            static_cast<int32_t>(ParseInteger(*text, 1, 4095, std::string("--") + name));
        if (value % 2 == 0) throw CUsageError(std::string("--") + name + " must be odd");
        return value;
    };
    const int32_t inner = side("inner", kSrdmInner);
    const int32_t middle = side("middle", kSrdmMiddle);
    const int32_t outer = side("outer", kSrdmOuter);
    if (!(inner < middle && middle < outer))
        throw CUsageError("the sides must grow: --inner < --middle < --outer");
    int32_t margin = kSrdmMargin;
    if (const auto text = args.Value("margin"))
        margin = static_cast<int32_t>(ParseInteger(*text, 0, 65535, "--margin"));

    std::string input;
    const auto image = LoadFor(args, input);
    const CRect clipped = ClippedRoi(*image, roi, input);
    std::vector<std::string> skipped;
    const auto srdm = BuildSRDM(*image, inner, middle, outer, margin, clipped, &skipped);
    if (!srdm || srdm->rows < 0 || srdm->cols < 0 ||
        srdm->counts.size() != static_cast<size_t>(srdm->rows) * static_cast<size_t>(srdm->cols))
        throw CFailure(input + ": the SRDM of the rectangle cannot be computed");
    double hws = 0, vws = 0, dws = 0, gws = 0;
    srdm->GetFeatures(hws, vws, dws, gws);

    CJsonWriter json;
    json.BeginObject();
    RoiField(json, clipped);
    json.Field("rows", srdm->rows).Field("cols", srdm->cols);
    json.Key("matrix").BeginArray();
    for (int32_t r = 0; r < srdm->rows; ++r) {
        json.BeginArray();
        for (int32_t c = 0; c < srdm->cols; ++c) json.Value(srdm->At(r, c));
        json.EndArray();
    }
    json.EndArray();
    json.Field("hws", hws).Field("vws", vws).Field("dws", dws).Field("gws", gws);
    json.Field("skipped", static_cast<int64_t>(skipped.size()));
    json.EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
