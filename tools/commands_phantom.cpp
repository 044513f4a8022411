// phantom: writes a synthetic mammogram (the bundled sample image).

#include <cstdio>
#include <string>

#include "cli_common.h"
#include "commands.h"
#include "phantom.h"
#include "regions/companion_path.h"

namespace vistrel::cli {

const char* const kPhantomHelp =
    "usage: vistrel-cli phantom OUT [--width W] [--height H] [--depth D] [--seed S]\n"
    "                               [--clusters C] [--spots S] [--byte-order LM|ML]\n"
    "\n"
    "Writes a synthetic mammogram: a breast (chest wall at the left edge, nipple\n"
    "towards the right) with smooth tissue texture over a dark background. The\n"
    "same options always give the same image. OUT is written through the save\n"
    "dispatcher (.pgx, .raw; .pgm for depth 8). With --clusters or --spots it\n"
    "adds microcalcifications of known positions and sizes and writes their truth\n"
    "beside the image as an OVERLAY file (each cluster a malignant region of\n"
    "suspiciousness, each speck a microcalcification region). Prints\n"
    "  output, width, height, depth, seed\n"
    "  and with specks: overlay, clusters [{x, y, radius}],\n"
    "  calcifications [{x, y, radius, contrast, cluster}] (cluster 0: isolated)\n"
    "\n"
    "options:\n"
    "  --width W            16..16384 (default 1024)\n"
    "  --height H           16..16384 (default 1280)\n"
    "  --depth D            8..16 bits (default 12)\n"
    "  --seed S             0..4294967295 (default 1)\n"
    "  --clusters C         0..20 clusters of 5..9 specks (default 0)\n"
    "  --spots S            0..200 isolated specks (default 0)\n"
    "  --byte-order LM|ML   byte order of PGX output (default LM)\n";

int RunPhantom(const CommandArgs& words) {
    const CParsedArgs args(
        words,
        {{"width"}, {"height"}, {"depth"}, {"seed"}, {"byte-order"}, {"clusters"}, {"spots"}});
    if (args.HelpRequested()) {
        std::fputs(kPhantomHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1,
                            "vistrel-cli phantom OUT [--width W] [--height H] [--depth D] "
                            "[--seed S]");
    CPhantomParams params;
    if (const auto v = args.Value("width"))
        params.width =
            static_cast<int32_t>(ParseInteger(*v, kPhantomMinSide, kPhantomMaxSide, "--width"));
    if (const auto v = args.Value("height"))
        params.height =
            static_cast<int32_t>(ParseInteger(*v, kPhantomMinSide, kPhantomMaxSide, "--height"));
    if (const auto v = args.Value("depth"))
        params.depth = static_cast<int>(ParseInteger(*v, 8, 16, "--depth"));
    if (const auto v = args.Value("seed"))
        params.seed = static_cast<uint32_t>(ParseInteger(*v, 0, UINT32_MAX, "--seed"));
    if (const auto v = args.Value("clusters"))
        params.clusters = static_cast<int>(ParseInteger(*v, 0, kPhantomMaxClusters, "--clusters"));
    if (const auto v = args.Value("spots"))
        params.isolatedSpots =
            static_cast<int>(ParseInteger(*v, 0, kPhantomMaxIsolatedSpots, "--spots"));
    const bool byteOrderLM = ByteOrderLMOf(args);
    const std::string& output = args.Positionals()[0];

    const CPhantom phantom = GeneratePhantom(params);
    if (!phantom.image) throw CFailure(output + ": not enough memory for the phantom");
    SaveImage(*phantom.image, byteOrderLM, output);
    const bool withSpecks = params.clusters > 0 || params.isolatedSpots > 0;
    const std::string overlay = withSpecks ? DefaultOverlayPath(output) : std::string();
    if (withSpecks && !phantom.calcifications.empty() && !WritePhantomTruth(overlay, phantom))
        throw CFailure(overlay + ": cannot write the truth file");

    CJsonWriter json;
    json.BeginObject()
        .Field("output", output)
        .Field("width", phantom.image->width)
        .Field("height", phantom.image->height)
        .Field("depth", static_cast<int32_t>(phantom.image->depth))
        .Field("seed", params.seed);
    if (withSpecks) {
        json.Field("overlay", overlay).Key("clusters").BeginArray();
        for (const CPhantomCluster& c : phantom.clusters)
            json.BeginObject()
                .Field("x", c.x)
                .Field("y", c.y)
                .Field("radius", c.radius)
                .EndObject();
        json.EndArray().Key("calcifications").BeginArray();
        for (const CPhantomCalcification& c : phantom.calcifications)
            json.BeginObject()
                .Field("x", c.x)
                .Field("y", c.y)
                .Field("radius", c.radius)
                .Field("contrast", c.contrast)
                .Field("cluster", static_cast<int32_t>(c.cluster))
                .EndObject();
        json.EndArray();
    }
    json.EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
