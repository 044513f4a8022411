// morph and thicken: the morphological operators with a flat structuring
// element, and conditional thickening of a marker under a condition image.

#include <cstdio>
#include <string>

#include "cli_common.h"
#include "commands.h"
#include "core/text.h"
#include "filters/morphology.h"

namespace vistrel::cli {

const char* const kMorphHelp =
    "usage: vistrel-cli morph IN OUT --op OPERATOR --se SHAPE[:N] [--iterations K]\n"
    "                            [--raw W,H,DEPTH[,msb]] [--byte-order LM|ML]\n"
    "\n"
    "Applies a grey-level morphological operator with a flat N x N structuring\n"
    "element to IN and writes the result to OUT. Positions outside the image\n"
    "count as the image's maximum for erosion and as 0 for dilation; the element\n"
    "is not reflected for dilation. Open and close repeat each of their two steps\n"
    "K times. The top-hats and gradients are signed differences: a negative\n"
    "minimum becomes the value offset of the result, and the depth follows the\n"
    "range (a small range gives a 1- or 4-bit image, which PGX and PGM files\n"
    "cannot hold: write those as PNG, TIFF, BMP or RAW). Prints\n"
    "  input, output, operator, element (shape, size, cells), iterations,\n"
    "  width, height, depth, valueOffset\n"
    "\n"
    "OPERATOR:\n"
    "  erode, dilate, open, close, white-top-hat (IN - open),\n"
    "  black-top-hat (close - IN), gradient (dilate - erode),\n"
    "  inner-gradient (IN - erode), outer-gradient (dilate - IN)\n"
    "SHAPE: cross, x, circle or square, drawn at side N (1..255, default 3). An\n"
    "even N is allowed: the centre is then the cell (N/2, N/2), right of and\n"
    "below the middle.\n"
    "K: 1..100 (default 1).\n";

const char* const kThickenHelp =
    "usage: vistrel-cli thicken CONDITION MARKER OUT [--raw W,H,DEPTH[,msb]]\n"
    "                           [--byte-order LM|ML]\n"
    "\n"
    "Conditional thickening: MARKER grows with the eight turned 3 x 3 thickening\n"
    "elements, never above CONDITION, until a pass changes nothing (at most 50\n"
    "passes). Both images must have the same width, height and depth. Writes the\n"
    "result to OUT and prints\n"
    "  condition, marker, output, passes, width, height, depth\n";

namespace {

struct COperatorName {
    const char* name;
    EMorphOperator op;
};

constexpr COperatorName kOperators[] = {
    {"erode", EMorphOperator::Erode},
    {"dilate", EMorphOperator::Dilate},
    {"open", EMorphOperator::Open},
    {"close", EMorphOperator::Close},
    {"white-top-hat", EMorphOperator::WhiteTopHat},
    {"black-top-hat", EMorphOperator::BlackTopHat},
    {"gradient", EMorphOperator::MorphGradient},
    {"inner-gradient", EMorphOperator::InnerGradient},
    {"outer-gradient", EMorphOperator::OuterGradient},
};

struct CShapeName {
    const char* name;
    int32_t shape;
};

constexpr CShapeName kShapes[] = {
    {"cross", CMorphSE::kCross},
    {"x", CMorphSE::kX},
    {"circle", CMorphSE::kCircle},
    {"square", CMorphSE::kSquare},
};

const char* ShapeName(int32_t shape) {
    for (const CShapeName& s : kShapes)
        if (s.shape == shape) return s.name;
    return "custom";
}

EMorphOperator OperatorOf(const std::string& text) {
    for (const COperatorName& o : kOperators)
        if (text == o.name) return o.op;
    std::string known;
    for (const COperatorName& o : kOperators)
        known += std::string(known.empty() ? "" : ", ") + o.name;
    throw CUsageError("--op: unknown operator \"" + text + "\" (one of " + known + ")");
}

const char* OperatorName(EMorphOperator op) {
    for (const COperatorName& o : kOperators)
        if (o.op == op) return o.name;
    return "";
}

CMorphSE ElementOf(const std::string& text) {
    const std::size_t colon = text.find(':');
    const std::string name = ToLower(text.substr(0, colon));
    int32_t shape = CMorphSE::kCustom;
    for (const CShapeName& s : kShapes)
        if (name == s.name) shape = s.shape;
    if (shape == CMorphSE::kCustom)
        throw CUsageError("--se: unknown shape \"" + name + "\" (cross, x, circle or square)");
    int16_t size = 3;
    if (colon != std::string::npos)
        size = static_cast<int16_t>(ParseInteger(text.substr(colon + 1), 1, 255, "--se size"));
    CMorphSE se(size, shape);
    if (!se.HasCells()) throw CFailure("--se: no element of side " + std::to_string(size));
    return se;
}

std::string ImageSize(const CMImage& image) {
    return std::to_string(image.width) + " x " + std::to_string(image.height);
}

}  // namespace

int RunMorph(const CommandArgs& words) {
    const CParsedArgs args(words, {{"op"}, {"se"}, {"iterations"}, {"raw"}, {"byte-order"}});
    if (args.HelpRequested()) {
        std::fputs(kMorphHelp, stdout);
        return 0;
    }
    const char* usage = "vistrel-cli morph IN OUT --op OPERATOR --se SHAPE[:N] [--iterations K]";
    args.RequirePositionals(2, usage);
    const auto opText = args.Value("op");
    if (!opText) throw CUsageError(std::string("--op is required: ") + usage);
    const auto seText = args.Value("se");
    if (!seText) throw CUsageError(std::string("--se is required: ") + usage);
    const EMorphOperator op = OperatorOf(ToLower(*opText));
    const CMorphSE se = ElementOf(*seText);
    int iterations = 1;
    if (const auto k = args.Value("iterations"))
        iterations = static_cast<int>(ParseInteger(*k, 1, 100, "--iterations"));
    const bool byteOrderLM = ByteOrderLMOf(args);
    const auto raw = RawOptionOf(args);
    const std::string& input = args.Positionals()[0];
    const std::string& output = args.Positionals()[1];

    std::string description;
    const auto image = LoadImage(input, raw, description);
    const auto result = ApplyMorphOperator(op, *image, se, iterations);
    if (!result)
        throw CFailure(input + ": " + OperatorName(op) + " produced no image (not enough memory?)");
    SaveImage(*result, byteOrderLM, output);

    int32_t cells = 0;
    for (uint8_t cell : se.cells) cells += cell;
    CJsonWriter json;
    json.BeginObject()
        .Field("input", input)
        .Field("output", output)
        .Field("operator", OperatorName(op))
        .Key("element")
        .BeginObject()
        .Field("shape", ShapeName(se.shape))
        .Field("size", static_cast<int32_t>(se.size))
        .Field("cells", cells)
        .EndObject()
        .Field("iterations", static_cast<int32_t>(iterations))
        .Field("width", result->width)
        .Field("height", result->height)
        .Field("depth", static_cast<int32_t>(result->depth))
        .Field("valueOffset", static_cast<int32_t>(result->valueOffset))
        .EndObject();
    PrintJson(json);
    return 0;
}

int RunThicken(const CommandArgs& words) {
    const CParsedArgs args(words, {{"raw"}, {"byte-order"}});
    if (args.HelpRequested()) {
        std::fputs(kThickenHelp, stdout);
        return 0;
    }
    args.RequirePositionals(3, "vistrel-cli thicken CONDITION MARKER OUT");
    const bool byteOrderLM = ByteOrderLMOf(args);
    const auto raw = RawOptionOf(args);
    const std::string& conditionPath = args.Positionals()[0];
    const std::string& markerPath = args.Positionals()[1];
    const std::string& output = args.Positionals()[2];

    std::string description;
    const auto condition = LoadImage(conditionPath, raw, description);
    const auto marker = LoadImage(markerPath, raw, description);
    if (condition->width != marker->width || condition->height != marker->height)
        throw CFailure(conditionPath + " (" + ImageSize(*condition) + ") and " + markerPath + " (" +
                       ImageSize(*marker) + ") differ in size");
    if (condition->depth != marker->depth)
        throw CFailure(conditionPath + " (" + std::to_string(condition->depth) + "-bit) and " +
                       markerPath + " (" + std::to_string(marker->depth) + "-bit) differ in depth");
    int passes = 0;
    std::unique_ptr<CMImage> result;
    {
        CTerminalProgress progress("thicken");
        result = ConditionalThickening(*condition, *marker, &passes, progress.Fn());
    }
    if (!result)
        throw CFailure(conditionPath + ": thickening produced no image (not enough memory?)");
    SaveImage(*result, byteOrderLM, output);

    CJsonWriter json;
    json.BeginObject()
        .Field("condition", conditionPath)
        .Field("marker", markerPath)
        .Field("output", output)
        .Field("passes", static_cast<int32_t>(passes))
        .Field("width", result->width)
        .Field("height", result->height)
        .Field("depth", static_cast<int32_t>(result->depth))
        .EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
