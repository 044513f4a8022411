// The apply subcommand: one basic image operation from IN to OUT.

#include <cstdio>
#include <string>

#include "cli_common.h"
#include "commands.h"
#include "core/image_operations.h"

namespace vistrel::cli {

const char* const kApplyHelp =
    "usage: vistrel-cli apply OPERATION IN OUT [ARGS] [options]\n"
    "\n"
    "Reads IN through the open dispatcher, applies one operation and writes the\n"
    "result to OUT through the save dispatcher (the extension of OUT decides the\n"
    "format). Operations:\n"
    "  rotate 180|-90|90          -90 turns clockwise, 90 counter-clockwise\n"
    "  flip h|v                   mirror left-right (h) or top-bottom (v)\n"
    "  reverse                    negative: every sample s becomes maxValue - s\n"
    "  swap-bytes                 exchange the two bytes of every sample (depth > 8 only)\n"
    "  depth 16|14|12|8           change the nominal bit depth (depth > 8 only); 8 keeps\n"
    "                             the top 8 bits of the image's depth\n"
    "  equalize [--rect L,T,R,B [--whole]]\n"
    "                             histogram equalisation of the whole image, of the\n"
    "                             rectangle only, or (--whole) of the whole image with\n"
    "                             the table of the rectangle; right and bottom exclusive\n"
    "  two OP IN2 [--connectivity 4|8]\n"
    "                             pixel by pixel with a second image of the same size\n"
    "                             (IN is I1, IN2 is I2); OP is one of\n"
    "                               average          (I1 + I2) / 2\n"
    "                               difference       I1 - I2 (negative values give a value "
    "offset)\n"
    "                               max, min         the larger / smaller sample\n"
    "                               greater, less    I1 where I1 > I2 / I1 < I2, else 0\n"
    "                               keep-touching    1-bit images: the objects of I1 that\n"
    "                                                share a pixel with I2\n"
    "                               remove-touching  1-bit images: I1 without those objects\n"
    "                             objects are traced with --connectivity (default 8)\n"
    "\n"
    "Prints\n"
    "  operation, output, width, height, depth, valueOffset\n"
    "and for keep-touching / remove-touching also objects (kept / removed).\n"
    "\n"
    "options:\n"
    "  --raw W,H,DEPTH[,msb]  size and depth of RAW input (applies to IN and IN2)\n"
    "  --byte-order LM|ML     byte order of PGX output (default LM)\n";

namespace {

constexpr const char* kUsage = "vistrel-cli apply OPERATION IN OUT [ARGS] [options]";

// Options take values that may start with '-'; a bare negative number in an
// argument position ("rotate IN OUT -90") is an argument, not an option. It is
// marked before parsing and restored afterwards.
constexpr char kNegativeMark = '\x01';

bool IsNegativeInteger(const std::string& word) {
    if (word.size() < 2 || word[0] != '-') return false;
    for (std::size_t i = 1; i < word.size(); ++i)
        if (word[i] < '0' || word[i] > '9') return false;
    return true;
}

CommandArgs MarkNegativeArguments(const CommandArgs& words, const std::vector<COptionSpec>& specs) {
    CommandArgs marked;
    bool valueFollows = false;
    bool optionsEnded = false;
    for (const std::string& word : words) {
        if (!valueFollows && !optionsEnded && IsNegativeInteger(word)) {
            marked.push_back(kNegativeMark + word);
            continue;
        }
        marked.push_back(word);
        if (valueFollows) {
            valueFollows = false;
            continue;
        }
        if (word == "--") optionsEnded = true;
        if (optionsEnded || word.rfind("--", 0) != 0 || word.find('=') != std::string::npos)
            continue;
        for (const COptionSpec& spec : specs)
            if (word == "--" + spec.name && spec.takesValue) valueFollows = true;
    }
    return marked;
}

std::string Unmarked(const std::string& word) {
    return !word.empty() && word[0] == kNegativeMark ? word.substr(1) : word;
}

std::string ImageSize(const CMImage& image) {
    return std::to_string(image.width) + "x" + std::to_string(image.height);
}

// Everything the command line says, checked before any file is read so that
// bad usage is reported as such whatever the inputs are.
struct CPlan {
    std::string operation;
    std::string input, output;
    int angle = 0;
    bool horizontal = false;
    int depth = 0;
    CRect rect;
    bool whole = false;
    std::string twoOp;
    std::string input2;
    int connectivity = 8;
};

int ParseAngle(const std::string& text) {
    if (text == "180") return kRotate180;
    if (text == "-90") return kRotateClockwise;
    if (text == "90") return kRotateCounterClockwise;
    throw CUsageError("rotate: \"" + text + "\" is not 180, -90 or 90");
}

CRect ParseRect(const std::string& text) {
    const std::vector<std::string> fields = SplitCommas(text);
    if (fields.size() != 4) throw CUsageError("--rect: \"" + text + "\" is not L,T,R,B");
    const auto coordinate = [](const std::string& field, const char* what) {
        return static_cast<int32_t>(ParseInteger(field, INT32_MIN, INT32_MAX, what));
    };
    CRect rect{coordinate(fields[0], "--rect left"), coordinate(fields[1], "--rect top"),
               coordinate(fields[2], "--rect right"), coordinate(fields[3], "--rect bottom")};
    if (rect.IsEmpty())
        throw CUsageError("--rect: \"" + text + "\" is empty (right and bottom are exclusive)");
    return rect;
}

bool IsObjectOperation(const std::string& op) {
    return op == "keep-touching" || op == "remove-touching";
}

CPlan MakePlan(const CParsedArgs& args) {
    std::vector<std::string> positionals;
    for (const std::string& word : args.Positionals()) positionals.push_back(Unmarked(word));
    if (positionals.empty()) throw CUsageError("missing operation; usage: " + std::string(kUsage));

    struct COperationShape {
        const char* name;
        std::size_t arguments;  // after IN OUT
        const char* usage;
    };
    static const COperationShape shapes[] = {
        {"rotate", 1, "vistrel-cli apply rotate IN OUT 180|-90|90"},
        {"flip", 1, "vistrel-cli apply flip IN OUT h|v"},
        {"reverse", 0, "vistrel-cli apply reverse IN OUT"},
        {"swap-bytes", 0, "vistrel-cli apply swap-bytes IN OUT"},
        {"depth", 1, "vistrel-cli apply depth IN OUT 16|14|12|8"},
        {"equalize", 0, "vistrel-cli apply equalize IN OUT [--rect L,T,R,B [--whole]]"},
        {"two", 2, "vistrel-cli apply two IN OUT OP IN2 [--connectivity 4|8]"},
    };
    const COperationShape* shape = nullptr;
    for (const COperationShape& candidate : shapes)
        if (positionals[0] == candidate.name) shape = &candidate;
    if (!shape) throw CUsageError("unknown operation \"" + positionals[0] + "\"");
    if (positionals.size() < 3 + shape->arguments)
        throw CUsageError("missing argument; usage: " + std::string(shape->usage));
    if (positionals.size() > 3 + shape->arguments)
        throw CUsageError("unexpected argument \"" + positionals[3 + shape->arguments] +
                          "\"; usage: " + shape->usage);

    CPlan plan;
    plan.operation = positionals[0];
    plan.input = positionals[1];
    plan.output = positionals[2];
    if (plan.operation != "equalize" && (args.Has("rect") || args.Has("whole")))
        throw CUsageError("--rect and --whole apply to equalize only");
    if (args.Has("connectivity") && !(plan.operation == "two" && IsObjectOperation(positionals[3])))
        throw CUsageError("--connectivity applies to two keep-touching and remove-touching only");

    if (plan.operation == "rotate") {
        plan.angle = ParseAngle(positionals[3]);
    } else if (plan.operation == "flip") {
        if (positionals[3] != "h" && positionals[3] != "v")
            throw CUsageError("flip: \"" + positionals[3] + "\" is not h or v");
        plan.horizontal = positionals[3] == "h";
    } else if (plan.operation == "depth") {
        plan.depth = static_cast<int>(ParseInteger(positionals[3], 0, 64, "depth"));
        if (plan.depth != 16 && plan.depth != 14 && plan.depth != 12 && plan.depth != 8)
            throw CUsageError("depth: " + positionals[3] + " is not 16, 14, 12 or 8");
    } else if (plan.operation == "equalize") {
        if (args.Has("whole") && !args.Has("rect"))
            throw CUsageError("--whole needs --rect (it equalises with the rectangle's table)");
        if (const auto text = args.Value("rect")) plan.rect = ParseRect(*text);
        plan.whole = args.Has("whole");
    } else if (plan.operation == "two") {
        plan.twoOp = positionals[3];
        plan.input2 = positionals[4];
        static const char* const known[] = {"average",       "difference",     "max",
                                            "min",           "greater",        "less",
                                            "keep-touching", "remove-touching"};
        bool found = false;
        for (const char* name : known) found = found || plan.twoOp == name;
        if (!found)
            throw CUsageError("two: \"" + plan.twoOp +
                              "\" is not average, difference, max, min, greater, less, "
                              "keep-touching or remove-touching");
        if (const auto text = args.Value("connectivity")) {
            plan.connectivity = static_cast<int>(ParseInteger(*text, 0, 8, "--connectivity"));
            if (plan.connectivity != 4 && plan.connectivity != 8)
                throw CUsageError("--connectivity: " + *text + " is not 4 or 8");
        }
    }
    return plan;
}

void RefuseShallow(const CMImage& image, const std::string& input, const char* what) {
    if (image.depth <= 8)
        throw CFailure(input + ": " + what + " only for images deeper than 8 bits (this one is " +
                       std::to_string(image.depth) + "-bit)");
}

// Runs a two-image operation; the object operations change i1 and report their count.
std::unique_ptr<CMImage> ApplyTwo(const CPlan& plan, std::unique_ptr<CMImage> i1,
                                  const std::optional<CRawParams>& raw,
                                  std::optional<int>& objects) {
    std::string description;
    const auto i2 = LoadImage(plan.input2, raw, description);
    if (i1->width != i2->width || i1->height != i2->height)
        throw CFailure(plan.input + " (" + ImageSize(*i1) + ") and " + plan.input2 + " (" +
                       ImageSize(*i2) + ") differ in size");
    const std::string& op = plan.twoOp;
    if (IsObjectOperation(op)) {
        if (i1->depth != 1 || i2->depth != 1)
            throw CFailure(op + " needs two 1-bit images (" + plan.input + " is " +
                           std::to_string(i1->depth) + "-bit, " + plan.input2 + " is " +
                           std::to_string(i2->depth) + "-bit)");
        const int count = op == "keep-touching"
                              ? KeepTouchingObjects(*i1, *i2, plan.connectivity)
                              : RemoveTouchingObjects(*i1, *i2, plan.connectivity);
        if (count < 0) throw CFailure(plan.input + ": " + op + " failed");
        objects = count;
        return i1;
    }
    std::unique_ptr<CMImage> result;
    if (op == "average")
        result = Average(*i1, *i2);
    else if (op == "difference")
        result = Difference(*i1, *i2);
    else if (op == "max")
        result = Select(*i1, *i2, kSelectMax);
    else if (op == "min")
        result = Select(*i1, *i2, kSelectMin);
    else if (op == "greater")
        result = Select(*i1, *i2, kSelectGreater);
    else
        result = Select(*i1, *i2, kSelectLess);
    if (!result) throw CFailure(plan.input + ": " + op + " produced no image (not enough memory?)");
    return result;
}

}  // namespace

int RunApply(const CommandArgs& words) {
    const std::vector<COptionSpec> specs = {
        {"raw"}, {"byte-order"}, {"rect"}, {"whole", false}, {"connectivity"}};
    const CParsedArgs args(MarkNegativeArguments(words, specs), specs);
    if (args.HelpRequested()) {
        std::fputs(kApplyHelp, stdout);
        return 0;
    }
    const CPlan plan = MakePlan(args);
    const auto raw = RawOptionOf(args);
    const bool byteOrderLM = ByteOrderLMOf(args);

    std::string description;
    auto image = LoadImage(plan.input, raw, description);
    std::optional<int> objects;
    const std::string& op = plan.operation;
    if (op == "rotate") {
        if (!Rotate(*image, plan.angle))
            throw CFailure(plan.input + ": cannot rotate (not enough memory?)");
    } else if (op == "flip") {
        if (!(plan.horizontal ? FlipHorizontal(*image) : FlipVertical(*image)))
            throw CFailure(plan.input + ": cannot flip");
    } else if (op == "reverse") {
        image->Reverse();
    } else if (op == "swap-bytes") {
        RefuseShallow(*image, plan.input, "bytes can be swapped");
        image->SwapBytes();
    } else if (op == "depth") {
        RefuseShallow(*image, plan.input, "the depth can be changed");
        // As a freshly opened document shows it: the top 8 bits.
        uint8_t displayBits = 8;
        uint8_t shift = static_cast<uint8_t>(image->depth - 8);
        image->SetDepth(plan.depth, shift, displayBits);
    } else if (op == "equalize") {
        auto result = Equalize(*image, plan.rect, plan.whole);
        if (!result) {
            if (!plan.rect.IsEmpty())
                throw CFailure(plan.input + ": the rectangle lies outside the " +
                               ImageSize(*image) + " image or holds no countable pixel");
            throw CFailure(plan.input +
                           ": no pixel lies within the nominal range; nothing to equalise");
        }
        image = std::move(result);
    } else {
        image = ApplyTwo(plan, std::move(image), raw, objects);
    }

    SaveImage(*image, byteOrderLM, plan.output);
    CJsonWriter json;
    json.BeginObject()
        .Field("operation", op == "two" ? plan.twoOp : op)
        .Field("output", plan.output)
        .Field("width", image->width)
        .Field("height", image->height)
        .Field("depth", static_cast<int32_t>(image->depth))
        .Field("valueOffset", static_cast<int32_t>(image->valueOffset));
    if (objects) json.Field("objects", static_cast<int32_t>(*objects));
    json.EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
