// The subcommands for annotations: connected-component regions of an image
// and the contents of an OVERLAY file.

#include <cstdio>
#include <limits>

#include "cli_common.h"
#include "commands.h"
#include "regions/extract_regions.h"
#include "regions/overlay_file.h"

namespace vistrel::cli {

const char* const kRegionsHelp =
    "usage: vistrel-cli regions IN [--connectivity 4|8] [--object VALUE]\n"
    "                              [--overlay OUT.OVERLAY] [--raw W,H,DEPTH[,msb]]\n"
    "\n"
    "Labels the connected components of the pixels of IN equal to the object\n"
    "value and traces each as a closed outline (start pixel and 8-direction\n"
    "chain code: 0 up, then clockwise to 7 up-left). Components of a single\n"
    "pixel have no outline and are left out. Prints, in extraction order (the\n"
    "raster order of each component's first pixel):\n"
    "  regions: [{start: [x, y], chain: \"0123...\", bounds: [left, top, right,\n"
    "            bottom] (right and bottom exclusive), pixels: N}]\n"
    "\n"
    "options:\n"
    "  --connectivity 4|8     neighbourhood of the labelling (default 8)\n"
    "  --object VALUE         grey value (true value) of object pixels; default\n"
    "                         the largest value of the image depth (1 for binary\n"
    "                         images)\n"
    "  --overlay OUT.OVERLAY  also write the regions as an OVERLAY file (nothing\n"
    "                         is written when there is no region)\n"
    "  --raw W,H,DEPTH[,msb]  size and depth of RAW input\n";

const char* const kOverlayHelp =
    "usage: vistrel-cli overlay FILE.OVERLAY\n"
    "\n"
    "Reads an OVERLAY annotation file and prints its contents:\n"
    "  subtlety, description (the lines that are not outlines or headers),\n"
    "  ros: [{diagnosis, lesion, start, chain, bounds, pixels}],\n"
    "  regions: [{type, diagnosis, cluster, scale, response, energy, mean, x, y,\n"
    "            start, chain, bounds, pixels}]\n"
    "Diagnoses: 0 benign, 1 malignant, 2 false. Types: o object,\n"
    "m microcalcification, c cluster outline, f fibre, p point, t tumour,\n"
    "d distortion. Cluster: k for a member of cluster k, 1000 + k for its\n"
    "outline, 0 for none. lesion: the file's lines that describe the ROS (its\n"
    "PATHOLOGY line or abnormality block, then BOUNDARY or CORE), one per line.\n"
    "Coordinates are those written in the file. A file holding NUL bytes is not\n"
    "text and is refused.\n";

namespace {

// The outline fields every region object carries.
void OutlineFields(CJsonWriter& json, const CRegion& region) {
    json.Key("start").BeginArray().Value(region.StartX()).Value(region.StartY()).EndArray();
    std::string chain;
    chain.reserve(region.Chain().size());
    for (uint8_t code : region.Chain()) chain += static_cast<char>('0' + code);
    json.Field("chain", chain);
    const CRect& b = region.Bounds();
    json.Key("bounds").BeginArray().Value(b.left).Value(b.top).Value(b.right).Value(b.bottom);
    json.EndArray();
    json.Field("pixels", static_cast<int64_t>(region.Pixels().size()));
}

}  // namespace

int RunRegions(const CommandArgs& words) {
    const CParsedArgs args(words, {{"connectivity"}, {"object"}, {"overlay"}, {"raw"}});
    if (args.HelpRequested()) {
        std::fputs(kRegionsHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1,
                            "vistrel-cli regions IN [--connectivity 4|8] [--object VALUE] "
                            "[--overlay OUT.OVERLAY]");
    int connectivity = 8;
    if (const auto text = args.Value("connectivity")) {
        connectivity = static_cast<int>(ParseInteger(*text, 4, 8, "--connectivity"));
        if (connectivity != 4 && connectivity != 8)
            throw CUsageError("--connectivity must be 4 or 8");
    }
    std::optional<int64_t> object;
    if (const auto text = args.Value("object"))
        object = ParseInteger(*text, std::numeric_limits<int32_t>::min(),
                              std::numeric_limits<int32_t>::max(), "--object");
    const std::optional<std::string> overlayPath = args.Value("overlay");
    if (overlayPath && overlayPath->empty()) throw CUsageError("--overlay needs a file name");
    const auto raw = RawOptionOf(args);

    const std::string& input = args.Positionals()[0];
    std::string description;
    const auto image = LoadImage(input, raw, description);
    // The object value is given as a true value; the pixels hold stored samples.
    const int64_t stored = object ? *object + image->valueOffset : image->maxValue;
    // Samples of 9 to 16 bits may lie above the nominal maximum; narrower ones cannot.
    const int64_t largest = image->depth > 8 ? 65535 : image->maxValue;
    if (stored < 0 || stored > largest)
        throw CUsageError("--object " + std::to_string(*object) +
                          " is outside the values this image can hold");
    const auto regions = ExtractRegions(*image, static_cast<int>(stored), connectivity);
    if (!regions) throw CFailure(input + ": the regions could not be extracted");

    if (overlayPath) {
        COverlayPlacement placement;
        placement.imageWidth = image->width;
        placement.imageHeight = image->height;
        const COverlayWriteResult written =
            WriteOverlay(*overlayPath, {}, *regions, CRegions{}, placement, true);
        if (written == COverlayWriteResult::Failed)
            throw CFailure(*overlayPath + ": cannot write the OVERLAY file");
        // The file format takes 0 as "no outline": such regions do not read back.
        int32_t unreadable = 0;
        for (int32_t i = 0; i < regions->Count(); ++i)
            if (regions->At(i)->StartX() == 0 || regions->At(i)->StartY() == 0) ++unreadable;
        if (unreadable > 0)
            std::fprintf(stderr,
                         "vistrel-cli regions: warning: %d region(s) start in row or column 0 "
                         "and will not be read back from %s\n",
                         unreadable, overlayPath->c_str());
        if (written == COverlayWriteResult::NothingToWrite)
            std::fprintf(stderr, "vistrel-cli regions: no region, %s not written\n",
                         overlayPath->c_str());
    }

    CJsonWriter json;
    json.BeginObject().Key("regions").BeginArray();
    for (int32_t i = 0; i < regions->Count(); ++i) {
        json.BeginObject();
        OutlineFields(json, *regions->At(i));
        json.EndObject();
    }
    json.EndArray().EndObject();
    PrintJson(json);
    return 0;
}

int RunOverlay(const CommandArgs& words) {
    const CParsedArgs args(words, {});
    if (args.HelpRequested()) {
        std::fputs(kOverlayHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1, "vistrel-cli overlay FILE.OVERLAY");
    const std::string& path = args.Positionals()[0];

    // Without an image every outline the file can hold fits: the file's own
    // coordinates are reported unchanged.
    COverlayPlacement placement;
    placement.imageWidth = std::numeric_limits<int32_t>::max() / 2;
    placement.imageHeight = std::numeric_limits<int32_t>::max() / 2;
    std::string description;
    int16_t subtlety = 0;
    CRegions regions, ros;
    std::string failure;
    if (!ReadOverlay(path, placement, description, subtlety, regions, ros, &failure))
        throw CFailure(path + ": " + failure);

    CJsonWriter json;
    json.BeginObject()
        .Field("subtlety", static_cast<int32_t>(subtlety))
        .Field("description", description);
    json.Key("ros").BeginArray();
    for (int32_t i = 0; i < ros.Count(); ++i) {
        const CRegion& r = *ros.At(i);
        json.BeginObject()
            .Field("diagnosis", static_cast<int32_t>(r.diagnosis))
            .Field("lesion", r.lesionLines);
        OutlineFields(json, r);
        json.EndObject();
    }
    json.EndArray().Key("regions").BeginArray();
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion& r = *regions.At(i);
        json.BeginObject()
            .Field("type", std::string(1, r.type))
            .Field("diagnosis", static_cast<int32_t>(r.diagnosis))
            .Field("cluster", r.clusterNumber)
            .Field("scale", r.scale)
            .Field("response", r.response)
            .Field("energy", r.energy)
            .Field("mean", r.mean)
            .Field("x", r.spotX)
            .Field("y", r.spotY);
        OutlineFields(json, r);
        json.EndObject();
    }
    json.EndArray().EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
