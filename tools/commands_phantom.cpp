// phantom: writes a synthetic mammogram (the bundled sample image).

#include <cstdio>
#include <string>

#include "cli_common.h"
#include "commands.h"
#include "phantom.h"

namespace vistrel::cli {

const char* const kPhantomHelp =
    "usage: vistrel-cli phantom OUT [--width W] [--height H] [--depth D] [--seed S]\n"
    "                               [--byte-order LM|ML]\n"
    "\n"
    "Writes a synthetic mammogram: a breast (chest wall at the left edge, nipple\n"
    "towards the right) with smooth tissue texture over a dark background. The\n"
    "same options always give the same image. OUT is written through the save\n"
    "dispatcher (.pgx, .raw; .pgm for depth 8). Prints\n"
    "  output, width, height, depth, seed\n"
    "\n"
    "options:\n"
    "  --width W            16..16384 (default 1024)\n"
    "  --height H           16..16384 (default 1280)\n"
    "  --depth D            8..16 bits (default 12)\n"
    "  --seed S             0..4294967295 (default 1)\n"
    "  --byte-order LM|ML   byte order of PGX output (default LM)\n";

int RunPhantom(const CommandArgs& words) {
    const CParsedArgs args(words, {{"width"}, {"height"}, {"depth"}, {"seed"}, {"byte-order"}});
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
    const bool byteOrderLM = ByteOrderLMOf(args);
    const std::string& output = args.Positionals()[0];

    const CPhantom phantom = GeneratePhantom(params);
    if (!phantom.image) throw CFailure(output + ": not enough memory for the phantom");
    SaveImage(*phantom.image, byteOrderLM, output);

    CJsonWriter json;
    json.BeginObject()
        .Field("output", output)
        .Field("width", phantom.image->width)
        .Field("height", phantom.image->height)
        .Field("depth", static_cast<int32_t>(phantom.image->depth))
        .Field("seed", params.seed)
        .EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
