// The subcommands that read an image and report on it or write it again.

#include <cstdio>

#include "cli_common.h"
#include "commands.h"
#include "workspace/image_resolution.h"

namespace vistrel::cli {

const char* const kInfoHelp =
    "usage: vistrel-cli info FILE [--raw W,H,DEPTH[,msb]]\n"
    "\n"
    "Reads FILE through the image open dispatcher (the extension decides the\n"
    "format) and prints its facts and histogram statistics as JSON:\n"
    "  width, height, depth, maxValue, valueOffset, bytesPerRow, description,\n"
    "  resolution (pixels per inch, as the workstation would use it),\n"
    "  resolutionSource: \"ics\" (the case information file beside FILE),\n"
    "    \"dicom\" (Imager Pixel Spacing, else Pixel Spacing) or \"default\",\n"
    "  histogram: total, min, max, median, mean, stdDev, variance, skewness, kurtosis\n"
    "Grey values are true values (stored sample minus valueOffset). Statistics\n"
    "are null when no pixel was counted or when they are undefined (the\n"
    "skewness and kurtosis of a flat image).\n"
    "\n"
    "options:\n"
    "  --raw W,H,DEPTH[,msb]  size and depth of RAW input (.raw or .1 files);\n"
    "                         msb: 12/14-bit samples sit in the top bits of their words\n";

const char* const kConvertHelp =
    "usage: vistrel-cli convert IN OUT [--raw W,H,DEPTH[,msb]] [--byte-order LM|ML]\n"
    "\n"
    "Reads IN through the open dispatcher and writes OUT through the save\n"
    "dispatcher (the extension of OUT decides the format: pgx, pgm, raw, ...;\n"
    "images deeper than 8 bits can only be saved as PGX or RAW). Prints\n"
    "  output, width, height, depth\n"
    "\n"
    "options:\n"
    "  --raw W,H,DEPTH[,msb]  size and depth of RAW input\n"
    "  --byte-order LM|ML     byte order of PGX output (default LM)\n";

int RunInfo(const CommandArgs& words) {
    const CParsedArgs args(words, {{"raw"}});
    if (args.HelpRequested()) {
        std::fputs(kInfoHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1, "vistrel-cli info FILE [--raw W,H,DEPTH[,msb]]");
    const auto raw = RawOptionOf(args);

    std::string description;
    const std::string& path = args.Positionals()[0];
    const auto image = LoadImage(path, raw, description);
    const CImageResolution resolution = ImageResolution(path, *image);
    CHistogram& histogram = image->GetHistogram();
    double mean = 0, stdDev = 0, variance = 0, skewness = 0, kurtosis = 0;
    int32_t minV = 0, maxV = 0, median = 0, total = 0;
    histogram.GetMoments(mean, stdDev, variance, skewness, kurtosis, minV, maxV, median, total);
    // Every pixel may lie above maxValue (a 12-bit label on 16-bit data):
    // then there are no statistics, which is not the same as statistics of -1.
    const bool counted = total > 0;

    CJsonWriter json;
    json.BeginObject()
        .Field("width", image->width)
        .Field("height", image->height)
        .Field("depth", static_cast<int32_t>(image->depth))
        .Field("maxValue", static_cast<int32_t>(image->maxValue))
        .Field("valueOffset", static_cast<int32_t>(image->valueOffset))
        .Field("bytesPerRow", image->bytesPerRow)
        .Field("description", description)
        .Field("resolution", resolution.dpi)
        .Field("resolutionSource", std::string(ResolutionSourceName(resolution.source)));
    json.Key("histogram").BeginObject().Field("total", counted ? total : 0);
    const auto statistic = [&](const char* key, auto value) {
        if (counted)
            json.Field(key, value);
        else
            json.Key(key).Null();
    };
    statistic("min", minV);
    statistic("max", maxV);
    statistic("median", median);
    statistic("mean", mean);
    statistic("stdDev", stdDev);
    statistic("variance", variance);
    statistic("skewness", skewness);
    statistic("kurtosis", kurtosis);
    json.EndObject().EndObject();
    PrintJson(json);
    return 0;
}

int RunConvert(const CommandArgs& words) {
    const CParsedArgs args(words, {{"raw"}, {"byte-order"}});
    if (args.HelpRequested()) {
        std::fputs(kConvertHelp, stdout);
        return 0;
    }
    const char* usage = "vistrel-cli convert IN OUT [--raw W,H,DEPTH[,msb]] [--byte-order LM|ML]";
    args.RequirePositionals(2, usage);
    const auto raw = RawOptionOf(args);
    const bool byteOrderLM = ByteOrderLMOf(args);
    const std::string& input = args.Positionals()[0];
    const std::string& output = args.Positionals()[1];

    std::string description;
    const auto image = LoadImage(input, raw, description);
    SaveImage(*image, byteOrderLM, output);

    CJsonWriter json;
    json.BeginObject()
        .Field("output", output)
        .Field("width", image->width)
        .Field("height", image->height)
        .Field("depth", static_cast<int32_t>(image->depth))
        .EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
