// render: the workstation's display mapping written as an indexed PNG.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <utility>

#include "cli_common.h"
#include "commands.h"
#include "core/atomic_file.h"
#include "core/display.h"
#include "core/lut.h"
#include "core/text.h"

namespace vistrel::cli {

const char* const kRenderHelp =
    "usage: vistrel-cli render IN OUT.png [options]\n"
    "\n"
    "Renders IN as the workstation displays it and writes the palette bitmap\n"
    "as an indexed PNG. Without --bits or --window the value window spans the\n"
    "whole value range of the image. Prints\n"
    "  output, width, height, depth (bits per pixel of the bitmap: 1, 4 or 8),\n"
    "  zoom (the zoom used), lut (the name of the LUT)\n"
    "\n"
    "options:\n"
    "  --bits SHIFT,BITS     bit window: BITS (1..8) bits from bit SHIFT;\n"
    "                        SHIFT + BITS must not exceed the image depth\n"
    "  --window LOW,HIGH     value window in true values (LOW <= HIGH)\n"
    "  --lut N               LUT number N: 0 black/white linear, 1 white/black\n"
    "                        linear, 2.. the *.lut files in the Luts folder\n"
    "                        beside the program\n"
    "  --contrast C          display contrast, -127..127 (default 0)\n"
    "  --brightness B        display brightness, -127..127 (default 0)\n"
    "  --gamma G             display gamma, 0.01..6.99 (default 1)\n"
    "  --zoom Z              nearest-neighbour zoom factor (default 1)\n"
    "  --fit W,H             largest zoom that fits W x H pixels (same factor on both axes)\n"
    "  --raw W,H,DEPTH[,msb] size and depth of RAW input\n";

namespace {

// Beyond this the PNG would take gigabytes of memory to build.
constexpr double kMaxOutputSide = 65535.0;
constexpr double kMaxOutputPixels = double(1 << 28);

std::pair<int32_t, int32_t> ParsePair(const std::string& option, const std::string& text,
                                      int64_t minValue, int64_t maxValue) {
    const std::vector<std::string> fields = SplitCommas(text);
    if (fields.size() != 2)
        throw CUsageError("--" + option + ": \"" + text + "\" is not two numbers A,B");
    return {static_cast<int32_t>(ParseInteger(fields[0], minValue, maxValue, "--" + option)),
            static_cast<int32_t>(ParseInteger(fields[1], minValue, maxValue, "--" + option))};
}

std::string LutFolder() {
    const std::string beside = ExecutableFolder() + "/Luts";
    std::error_code error;
    if (std::filesystem::is_directory(beside, error)) return beside;
    // An installed program keeps its data in ../share/vistrel.
    return ExecutableFolder() + "/../share/vistrel/Luts";
}

QImage ToIndexedQImage(const CDisplayBitmap& bitmap) {
    QImage picture(bitmap.width, bitmap.height, QImage::Format_Indexed8);
    if (picture.isNull()) return picture;
    QList<QRgb> colours;
    colours.reserve(static_cast<qsizetype>(bitmap.palette.size()));
    for (const CPaletteEntry& entry : bitmap.palette)
        colours.push_back(qRgb(entry.red, entry.green, entry.blue));
    picture.setColorTable(colours);
    // 1- and 4-bit bitmaps are unpacked to one index per byte; PNG readers
    // still get the palette and the indices.
    for (int32_t y = 0; y < bitmap.height; ++y) {
        uchar* row = picture.scanLine(y);
        for (int32_t x = 0; x < bitmap.width; ++x)
            row[x] = static_cast<uchar>(bitmap.IndexAt(x, y));
    }
    return picture;
}

}  // namespace

int RunRender(const CommandArgs& words) {
    const CParsedArgs args(words, {{"bits"},
                                   {"window"},
                                   {"lut"},
                                   {"contrast"},
                                   {"brightness"},
                                   {"gamma"},
                                   {"zoom"},
                                   {"fit"},
                                   {"raw"}});
    if (args.HelpRequested()) {
        std::fputs(kRenderHelp, stdout);
        return 0;
    }
    args.RequirePositionals(2, "vistrel-cli render IN OUT.png [options]");
    const std::string& input = args.Positionals()[0];
    const std::string& output = args.Positionals()[1];
    // path::extension, not ExtensionOf: a hidden ".png" has no extension.
    const std::string extension = ToLower(std::filesystem::path(output).extension().string());
    if (extension != ".png")
        throw CUsageError("the output of render is a PNG file and needs the extension .png: " +
                          output);
    if (args.Has("bits") && args.Has("window"))
        throw CUsageError("--bits and --window exclude each other");
    if (args.Has("zoom") && args.Has("fit"))
        throw CUsageError("--zoom and --fit exclude each other");

    // Every option is checked before the image is read, so that bad usage is
    // reported as such even when the input is also missing.
    const auto raw = RawOptionOf(args);
    std::optional<std::pair<int32_t, int32_t>> bits, window, fit;
    if (const auto v = args.Value("bits")) bits = ParsePair("bits", *v, 0, 16);
    if (const auto v = args.Value("window")) window = ParsePair("window", *v, INT32_MIN, INT32_MAX);
    if (const auto v = args.Value("fit")) fit = ParsePair("fit", *v, 1, 65535);
    if (bits && (bits->second < 1 || bits->second > 8))
        throw CUsageError("--bits: BITS must be 1..8, not " + std::to_string(bits->second));
    if (window && window->first > window->second)
        throw CUsageError("--window: LOW must not exceed HIGH");
    CDisplayCorrection correction;
    if (const auto v = args.Value("contrast"))
        correction.contrast = static_cast<int32_t>(ParseInteger(*v, -127, 127, "--contrast"));
    if (const auto v = args.Value("brightness"))
        correction.brightness = static_cast<int32_t>(ParseInteger(*v, -127, 127, "--brightness"));
    if (const auto v = args.Value("gamma"))
        correction.SetGamma(static_cast<float>(ParseReal(*v, 0.01, 6.99, "--gamma")));
    double zoom = 1.0;
    if (const auto v = args.Value("zoom")) {
        zoom = ParseReal(*v, 0.0, kMaxOutputSide, "--zoom");
        if (zoom <= 0.0) throw CUsageError("--zoom: the zoom must be positive");
    }
    CLutList luts;
    luts.ScanLuts(LutFolder());
    int lutIndex = 0;
    if (const auto v = args.Value("lut")) {
        std::string known;
        for (std::size_t i = 0; i < luts.Names().size(); ++i)
            known += (i ? ", " : "") + std::to_string(i) + " " + luts.Names()[i];
        try {
            lutIndex = static_cast<int>(
                ParseInteger(*v, 0, static_cast<int64_t>(luts.Names().size()) - 1, "--lut"));
        } catch (const CUsageError& error) {
            throw CUsageError(std::string(error.what()) + " (LUTs: " + known + ")");
        }
    }

    std::string description;
    const auto image = LoadImage(input, raw, description);

    if (bits) {
        const auto [shift, count] = *bits;
        if (shift + count > image->depth)
            throw CUsageError("--bits: bits " + std::to_string(shift) + ".." +
                              std::to_string(shift + count - 1) + " do not exist in a " +
                              std::to_string(image->depth) + "-bit image");
    }
    // The size the zoom tables will ask for, checked before anything is allocated.
    const char* sizeOption = fit ? "--fit" : "--zoom";
    if (fit) {
        const double scale =
            std::max(double(image->width) / fit->first, double(image->height) / fit->second);
        zoom = 1.0 / scale;
    }
    const double outWidth = std::trunc(zoom * image->width);
    const double outHeight = std::trunc(zoom * image->height);
    // A fit may round an axis to nothing; the renderer's own refusal reports that.
    if (!fit && (outWidth < 1 || outHeight < 1))
        throw CUsageError(std::string(sizeOption) + ": the picture would be empty");
    if (outWidth > kMaxOutputSide || outHeight > kMaxOutputSide ||
        outWidth * outHeight > kMaxOutputPixels)
        throw CUsageError(std::string(sizeOption) + ": the picture would be too large");

    CPalette palette;
    if (luts.SelectLut(lutIndex, palette) != 0 || palette.empty())
        throw CFailure(luts.Folder() + "/" + luts.Names()[lutIndex] +
                       ".lut: cannot read the LUT file");

    CRenderRequest request;
    request.zoom = static_cast<float>(zoom);
    if (fit) {
        request.zoom = 0.0f;
        request.fitWidth = fit->first;
        request.fitHeight = fit->second;
    }
    std::unique_ptr<CDisplayBitmap> bitmap;
    if (bits) {
        bitmap = RenderBitWindow(*image, bits->first, bits->second, correction, palette, request);
    } else {
        // The window is given in true values; the renderer works on stored samples.
        int64_t low = -static_cast<int64_t>(image->valueOffset);
        int64_t high = static_cast<int64_t>(image->maxValue) - image->valueOffset;
        if (window) {
            low = window->first;
            high = window->second;
        }
        const auto stored = [&](int64_t v) {
            return static_cast<int32_t>(
                std::clamp<int64_t>(v + image->valueOffset, INT32_MIN, INT32_MAX));
        };
        bitmap = RenderValueWindow(*image, stored(low), stored(high), correction, palette, request);
    }
    if (!bitmap || bitmap->width <= 0 || bitmap->height <= 0)
        throw CFailure(input + ": rendering gave no picture (empty output size?)");

    const QImage picture = ToIndexedQImage(*bitmap);
    if (picture.isNull()) throw CFailure(output + ": not enough memory for the picture");
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture))
        throw CFailure(output + ": cannot encode PNG: " + writer.errorString().toStdString());
    const bool written = WriteFileAtomically(output, [&](std::FILE* file) {
        return std::fwrite(encoded.constData(), 1, static_cast<std::size_t>(encoded.size()),
                           file) == static_cast<std::size_t>(encoded.size());
    });
    if (!written) throw CFailure(output + ": cannot write the PNG file");

    CJsonWriter json;
    json.BeginObject()
        .Field("output", output)
        .Field("width", bitmap->width)
        .Field("height", bitmap->height)
        .Field("depth", static_cast<int32_t>(bitmap->depth))
        .Field("zoom", request.usedZoom)
        .Field("lut", luts.Names()[lutIndex])
        .EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace vistrel::cli
