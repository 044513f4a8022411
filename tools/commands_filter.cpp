// filter: applies a convolution kernel (or its weighted median) to an image.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "core/atomic_file.h"
#include "core/text.h"

#include "cli_common.h"
#include "commands.h"
#include "detection/breast_sgt.h"
#include "filters/convolution.h"
#include "filters/filter_file.h"

namespace vistrel::cli {

const char* const kFilterHelp =
    "usage: vistrel-cli filter IN OUT --kernel SPEC [--outline FILE.sgt] [--median]\n"
    "                                 [--normalise-partial] [--raw W,H,DEPTH[,msb]]\n"
    "                                 [--byte-order LM|ML]\n"
    "\n"
    "Convolves IN with a kernel (a correlation: the kernel is not flipped) and\n"
    "writes the result, rescaled to the range of the sums, to OUT. Pixels the\n"
    "kernel does not fit become 0 unless --normalise-partial rescales their sums\n"
    "by the share of the kernel inside the image. --median takes the weighted\n"
    "median of the kernel products instead. --outline restricts the convolution\n"
    "to the inside of a breast outline (SGT file: two lines skipped, the count N,\n"
    "then N lines \"x y\"); outside it the result is 0. Prints\n"
    "  input, output, kernel (name, width, height, scale), width, height, depth\n"
    "\n"
    "kernel SPEC:\n"
    "  gauss:SIGMA             Gaussian, N = 1 + 6 SIGMA made odd\n"
    "  log:H                   spot-detector LoG of integer scale H (1..85)\n"
    "  log-sigma:N,SIGMA       N x N LoG normalised by its sum\n"
    "  laplace:N,SIGMA         N x N exp(-sqrt2 (|dx| + |dy|) / SIGMA)\n"
    "  gamma:N,ORDER,SIGMA     N x N Gamma kernel of that order\n"
    "  box:N                   N x N mean\n"
    "  file:PATH:NAME          the kernel called NAME in a filter library file\n"
    "N is 1..255; SIGMA -1 means (N - 1) / 2 for laplace and gamma.\n";

namespace {

CFilter KernelFromOption(const std::string& option) {
    const std::size_t colon = option.find(':');
    if (colon == std::string::npos)
        throw CUsageError("--kernel: expected KIND:ARGUMENTS, got " + option);
    const std::string kind = ToLower(option.substr(0, colon));
    const std::string rest = option.substr(colon + 1);
    if (kind == "file") {
        const std::size_t last = rest.rfind(':');
        if (last == std::string::npos || last == 0 || last + 1 == rest.size())
            throw CUsageError("--kernel: expected file:PATH:NAME");
        const std::string path = rest.substr(0, last), name = rest.substr(last + 1);
        CFilterLibrary library;
        if (LoadFilterFile(path, library) != 0)
            throw CFailure(path + ": the filter library is damaged");
        for (const auto& list : library)
            for (const CFilter& f : list)
                if (f.name == name) return f;
        throw CFailure(path + ": no kernel named \"" + name + "\"");
    }
    const std::vector<std::string> args = SplitCommas(rest);
    auto need = [&](std::size_t count) {
        if (args.size() != count)
            throw CUsageError("--kernel " + kind + ": expected " + std::to_string(count) +
                              " argument(s)");
    };
    auto side = [&](const std::string& text) {
        return static_cast<int32_t>(ParseInteger(text, 1, 255, "--kernel size"));
    };
    auto sigma = [&](const std::string& text) {
        return ParseReal(text, -1000.0, 1000.0, "--kernel sigma");
    };
    if (kind == "gauss") {
        need(1);
        const double s = ParseReal(args[0], -1000.0, 40.0, "--kernel sigma");
        return MakeGaussKernel(s);
    }
    if (kind == "log") {
        need(1);
        return MakeLoGFilter(static_cast<int32_t>(ParseInteger(args[0], 1, 85, "--kernel scale")));
    }
    if (kind == "log-sigma") {
        need(2);
        const int32_t n = side(args[0]);
        const double s = sigma(args[1]);
        if (s == 0.0) throw CUsageError("--kernel log-sigma: SIGMA must not be 0");
        return MakeLoGSigmaFilter(n, n, s);
    }
    if (kind == "laplace") {
        need(2);
        const int32_t n = side(args[0]);
        const double s = sigma(args[1]);
        if (s == 0.0) throw CUsageError("--kernel laplace: SIGMA must not be 0");
        return MakeLaplaceFilter(n, n, s);
    }
    if (kind == "gamma") {
        need(3);
        const int32_t n = side(args[0]);
        const int32_t order =
            static_cast<int32_t>(ParseInteger(args[1], 0, 1000, "--kernel order"));
        const double s = sigma(args[2]);
        if (s == 0.0) throw CUsageError("--kernel gamma: SIGMA must not be 0");
        return MakeGammaFilter(n, n, order, s);
    }
    if (kind == "box") {
        need(1);
        const int32_t n = side(args[0]);
        return MakeBoxFilter(n, n);
    }
    throw CUsageError("--kernel: unknown kind " + kind);
}

}  // namespace

bool ReadSgtOutline(const std::string& path, COutline& outline, std::string& reason) {
    outline.clear();
    CBreastSgt sgt;
    if (!ReadSgtFile(path, sgt, reason)) return false;
    outline.reserve(sgt.Points().size());
    for (const CPoint& p : sgt.Points()) outline.push_back({double(p.x), double(p.y)});
    return true;
}

int RunFilter(const CommandArgs& words) {
    const CParsedArgs args(words, {{"kernel"},
                                   {"outline"},
                                   {"median", false},
                                   {"normalise-partial", false},
                                   {"raw"},
                                   {"byte-order"}});
    if (args.HelpRequested()) {
        std::fputs(kFilterHelp, stdout);
        return 0;
    }
    const char* usage = "vistrel-cli filter IN OUT --kernel SPEC [--median] [--normalise-partial]";
    args.RequirePositionals(2, usage);
    const auto option = args.Value("kernel");
    if (!option) throw CUsageError(std::string("--kernel is required: ") + usage);
    const bool byteOrderLM = ByteOrderLMOf(args);
    const auto raw = RawOptionOf(args);
    const CFilter kernel = KernelFromOption(*option);
    const std::string& input = args.Positionals()[0];
    const std::string& output = args.Positionals()[1];

    COutline outline;
    if (const auto sgt = args.Value("outline")) {
        std::string reason;
        if (!ReadSgtOutline(*sgt, outline, reason)) throw CFailure(*sgt + ": " + reason);
    }
    std::string description;
    auto image = LoadImage(input, raw, description);
    int result = 0;
    if (args.Has("median")) {
        result = ApplyWeightedMedian(*image, kernel);
    } else {
        CTerminalProgress progress("filter");
        result = ApplyFilter(*image, &outline, kernel, args.Has("normalise-partial"), false,
                             progress.Fn());
    }
    if (result != 0)
        throw CFailure(input + (outline.empty() ? ": the filter gave no result"
                                                : ": the outline does not lie inside the image"));
    SaveImage(*image, byteOrderLM, output);

    CJsonWriter json;
    json.BeginObject()
        .Field("input", input)
        .Field("output", output)
        .Key("kernel")
        .BeginObject()
        .Field("name", kernel.name)
        .Field("width", static_cast<int32_t>(kernel.width))
        .Field("height", static_cast<int32_t>(kernel.height))
        .Field("scale", kernel.scale)
        .EndObject()
        .Field("width", image->width)
        .Field("height", image->height)
        .Field("depth", static_cast<int32_t>(image->depth))
        .EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
