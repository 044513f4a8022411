// segment: the breast outline of a mammogram, its cone outline, SGT and mask output.

#include <cstdio>
#include <memory>
#include <string>

#include "cli_common.h"
#include "commands.h"
#include "detection/breast_segment.h"
#include "detection/breast_sgt.h"

namespace vistrel::cli {

const char* const kSegmentHelp =
    "usage: vistrel-cli segment IN [--view left|right|auto] [--percentiles LOW,HIGH]\n"
    "                              [--cone] [--sgt OUT.sgt] [--mask OUT.pgm] [--raw "
    "W,H,DEPTH[,msb]]\n"
    "\n"
    "Finds the breast outline on a copy of the image reduced twenty times, as the\n"
    "workstation's \"Segment Breast\" command does (start column width / 2).\n"
    "Thresholds are derived from the histogram unless --percentiles gives the low\n"
    "and high percentiles (0..100). --cone runs the second pass that outlines the\n"
    "breast with the pectoral muscle; it starts from the thresholds the first pass\n"
    "left (so with --percentiles it reads them as percentages again). Prints\n"
    "  view, projection: as used (0 left / 1 right; 0 or 1)\n"
    "  low, high: the thresholds of the breast pass\n"
    "  start: [x, y] the start point on the full image\n"
    "  outline: [[x, y], ...] the closed outline (last point = first), [] if none\n"
    "  cone_outline: the same for the cone pass, [] without --cone or when the\n"
    "                cone cannot be separated\n"
    "  log: the passes' log text (the cone pass's after a line end)\n"
    "--sgt writes the outline as an SGT file, --mask the breast mask as an 8-bit\n"
    "PGM with 255 inside the outline and 0 outside.\n"
    "Without an outline the document is still printed (outline []), nothing is\n"
    "written, and the exit status is 1.\n";

namespace {

void WriteOutline(CJsonWriter& json, const CBreastSgt& outline) {
    json.BeginArray();
    for (const CPoint& p : outline.Points()) json.BeginArray().Value(p.x).Value(p.y).EndArray();
    json.EndArray();
}

}  // namespace

int RunSegment(const CommandArgs& words) {
    const CParsedArgs args(
        words, {{"view"}, {"percentiles"}, {"cone", false}, {"sgt"}, {"mask"}, {"raw"}});
    if (args.HelpRequested()) {
        std::fputs(kSegmentHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1, "vistrel-cli segment IN [--view left|right|auto] [--cone] ...");
    int32_t view = kViewAuto;
    if (const auto v = args.Value("view")) {
        if (*v == "left")
            view = kViewLeft;
        else if (*v == "right")
            view = kViewRight;
        else if (*v == "auto")
            view = kViewAuto;
        else
            throw CUsageError("--view must be left, right or auto, not " + *v);
    }
    bool automatic = true;
    double low = 0.0, high = 0.0;
    if (const auto p = args.Value("percentiles")) {
        const auto parts = SplitCommas(*p);
        if (parts.size() != 2) throw CUsageError("--percentiles takes LOW,HIGH");
        low = ParseReal(parts[0], 0.0, 100.0, "--percentiles LOW");
        high = ParseReal(parts[1], 0.0, 100.0, "--percentiles HIGH");
        automatic = false;
    }
    const auto raw = RawOptionOf(args);
    const std::string& input = args.Positionals()[0];
    std::string description;
    auto image = LoadImage(input, raw, description);

    CBreastSgt outline, cone;
    CSegmentReport report;
    std::string log;
    SegmentBreast(*image, outline, view, kProjectionAuto, automatic, low, high, image->width / 2,
                  kStageBreast, false, log, &report);
    const double breastLow = low, breastHigh = high;
    if (!outline.IsEmpty() && args.Has("cone")) {
        std::string coneLog;
        SegmentBreast(*image, cone, view, kProjectionAuto, automatic, low, high, image->width / 2,
                      kStageCone, false, coneLog);
        log += "\n" + coneLog;
    }

    CJsonWriter json;
    json.Reserve((outline.Points().size() + cone.Points().size()) * 16 + log.size() + 256);
    json.BeginObject()
        .Field("view", report.view)
        .Field("projection", report.projection)
        .Field("low", breastLow)
        .Field("high", breastHigh);
    json.Key("start").BeginArray().Value(report.startX).Value(report.startY).EndArray();
    json.Key("outline");
    WriteOutline(json, outline);
    json.Key("cone_outline");
    WriteOutline(json, cone);
    json.Field("log", log).EndObject();

    if (outline.IsEmpty()) {
        PrintJson(json);
        throw CFailure(input + ": no breast outline found");
    }
    if (const auto sgt = args.Value("sgt")) {
        if (!WriteSgtFile(*sgt, outline, image->width, image->height))
            throw CFailure(*sgt + ": cannot write the SGT file");
    }
    if (const auto maskPath = args.Value("mask")) {
        const CMImageBase mask = MakeBreastMask(outline, image->width, image->height);
        CMImage out(image->width, image->height, 8);
        if (!mask.IsValid() || !out.IsValid())
            throw CFailure(input + ": the outline gives no mask");
        for (int32_t y = 0; y < out.height; ++y) {
            uint8_t* row = out.Row(y);
            for (int32_t x = 0; x < out.width; ++x) row[x] = mask.GetPixel(x, y) ? 255 : 0;
        }
        SaveImage(out, true, *maskPath);
    }
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
