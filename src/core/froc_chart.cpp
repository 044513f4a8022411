#include "core/froc_chart.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/atomic_file.h"
#include "core/froc_chart_painting.h"
#include "core/messages.h"
#include "core/text.h"

namespace vistrel {

namespace {

// Everything scales with the chart: one unit is a sixtieth of its width (of a
// 4:3 box), so a thumbnail and a poster look alike, down to where the tick
// labels (0.8 units) would become unreadable.
double ChartUnit(const CChartBox& bounds) {
    return std::clamp(std::min(bounds.width, bounds.height * 4.0 / 3.0) / 60.0, 7.5, 40.0);
}

constexpr std::uint32_t kGridRgb = 0xD4D4D4;
constexpr std::uint32_t kMinorGridRgb = 0xEEEEEE;
constexpr std::uint32_t kTextRgb = 0x000000;
constexpr std::uint32_t kNoteRgb = 0x555555;
constexpr std::uint32_t kCurveRgb = 0x1F5FBF;
constexpr int kMostDecades = 12;
constexpr int kMostThresholdLabels = 5;

// Numbers without the process locale: Qt sets the user's locale at start-up,
// and a decimal comma would break SVG coordinates and make labels differ
// between machines.
std::string PlainNumber(double value, int decimals) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc{} ? std::string(buffer, result.ptr) : std::string("?");
}

std::string ShortNumber(double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 3);
    return result.ec == std::errc{} ? std::string(buffer, result.ptr) : std::string("?");
}

std::string DecadeLabel(int decade) {
    if (decade >= 0 && decade <= 4) return PlainNumber(std::pow(10.0, decade), 0);
    if (decade < 0 && decade >= -4) return PlainNumber(std::pow(10.0, decade), -decade);
    return "1e" + std::to_string(decade);
}

std::size_t CodePoints(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// Only for keeping labels clear of the frame; the back ends measure for real.
double EstimatedWidth(const std::string& text, double size) {
    return 0.6 * size * static_cast<double>(CodePoints(text));
}

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

bool Drawable(const CFrocChartPoint& point) {
    return std::isfinite(point.threshold) && std::isfinite(point.sensitivity) &&
           std::isfinite(point.fpPerImage);
}

// The lowest and highest decade around the positive false-positive rates.
void ChooseDecades(const std::vector<CFrocChartPoint>& points, CFrocLayout& layout) {
    double lowest = 0, highest = 0;
    bool anyZero = false;
    for (const CFrocChartPoint& point : points) {
        if (point.fpPerImage <= 0) {
            anyZero = true;
            continue;
        }
        if (lowest == 0 || point.fpPerImage < lowest) lowest = point.fpPerImage;
        highest = std::max(highest, point.fpPerImage);
    }
    if (lowest == 0) return;  // keep the default 0.1 .. 10
    // A tolerance keeps 0.1 and 1000 on their own decade despite rounding in log10.
    int low = static_cast<int>(std::floor(std::log10(lowest) + 1e-9));
    int high = static_cast<int>(std::ceil(std::log10(highest) - 1e-9));
    // Points without false positives sit on the lower end; a real rate within
    // a tenth of a decade of it would be mistaken for one of them.
    if (anyZero && std::log10(lowest) - low < 0.1) --low;
    if (high <= low) high = low + 1;
    if (high - low > kMostDecades) low = high - kMostDecades;
    layout.decadeLow = low;
    layout.decadeHigh = high;
}

void AddXAxis(CFrocLayout& layout, double unit) {
    const CChartBox& plot = layout.plot;
    const double labelSize = 0.8 * unit;
    const int decades = layout.decadeHigh - layout.decadeLow;
    const double perDecade = plot.width / decades;
    int labelStep = 1;
    while (labelStep < decades && perDecade * labelStep < EstimatedWidth("0.001", labelSize) * 1.4)
        ++labelStep;
    for (int decade = layout.decadeLow; decade <= layout.decadeHigh; ++decade) {
        const double x = layout.XForFpPerImage(std::pow(10.0, decade));
        layout.strokes.push_back({{x, plot.top}, {x, plot.Bottom()}, kGridRgb, 1});
        layout.strokes.push_back({{x, plot.Bottom()}, {x, plot.Bottom() + 0.45 * unit}, 0, 1});
        if ((decade - layout.decadeLow) % labelStep == 0)
            layout.texts.push_back({{x, plot.Bottom() + 1.5 * unit},
                                    DecadeLabel(decade),
                                    labelSize,
                                    EChartAnchor::Middle,
                                    false,
                                    false,
                                    kTextRgb});
        if (decade == layout.decadeHigh) break;
        for (int multiple = 2; multiple <= 9; ++multiple) {
            const double minor = layout.XForFpPerImage(multiple * std::pow(10.0, decade));
            if (perDecade > 4 * unit)
                layout.strokes.push_back(
                    {{minor, plot.top}, {minor, plot.Bottom()}, kMinorGridRgb, 1});
            layout.strokes.push_back(
                {{minor, plot.Bottom()}, {minor, plot.Bottom() + 0.25 * unit}, 0, 1});
        }
    }
    layout.texts.push_back({{plot.left + plot.width / 2, plot.Bottom() + 3.0 * unit},
                            "False positives per image",
                            0.9 * unit,
                            EChartAnchor::Middle,
                            false,
                            false,
                            kTextRgb});
}

void AddYAxis(CFrocLayout& layout, double unit) {
    const CChartBox& plot = layout.plot;
    const double labelSize = 0.8 * unit;
    const int labelStep = plot.height / 10 >= 1.3 * labelSize ? 1 : 2;
    for (int tenth = 0; tenth <= 10; ++tenth) {
        const double y = layout.YForSensitivity(tenth / 10.0);
        layout.strokes.push_back({{plot.left, y}, {plot.Right(), y}, kGridRgb, 1});
        layout.strokes.push_back({{plot.left - 0.45 * unit, y}, {plot.left, y}, 0, 1});
        if (tenth % labelStep == 0)
            layout.texts.push_back({{plot.left - 0.7 * unit, y + 0.35 * labelSize},
                                    PlainNumber(tenth / 10.0, 1),
                                    labelSize,
                                    EChartAnchor::End,
                                    false,
                                    false,
                                    kTextRgb});
    }
    layout.texts.push_back({{layout.bounds.left + 1.6 * unit, plot.top + plot.height / 2},
                            "Sensitivity",
                            0.9 * unit,
                            EChartAnchor::Middle,
                            false,
                            true,
                            kTextRgb});
}

// The thresholds of a few points spread along the curve, up and to the left
// of their point (the empty side of a rising curve) unless the frame is in the way.
void AddThresholdLabels(CFrocLayout& layout, const std::vector<CFrocChartPoint>& points,
                        double unit) {
    const std::size_t count = points.size();
    const double size = 0.7 * unit;
    const double gap = 0.5 * unit;
    std::vector<std::size_t> chosen;
    for (int slot = 0; slot < kMostThresholdLabels && slot < static_cast<int>(count); ++slot) {
        const std::size_t index = count <= static_cast<std::size_t>(kMostThresholdLabels)
                                      ? static_cast<std::size_t>(slot)
                                      : static_cast<std::size_t>(std::lround(
                                            slot * (count - 1.0) / (kMostThresholdLabels - 1)));
        if (chosen.empty() || chosen.back() != index) chosen.push_back(index);
    }
    std::vector<CChartXY> placed;
    for (const std::size_t index : chosen) {
        const CChartXY point = layout.curve[index];
        CChartText label{{point.x - gap, point.y - gap},
                         ShortNumber(points[index].threshold),
                         size,
                         EChartAnchor::End,
                         false,
                         false,
                         0x333333};
        // Near the left edge, below and to the right: still clear of a rising curve.
        if (label.at.x - EstimatedWidth(label.text, size) < layout.plot.left + 0.2 * unit) {
            label.anchor = EChartAnchor::Start;
            label.at = {point.x + gap, point.y + gap + size};
        }
        if (label.at.y - size < layout.plot.top) label.at.y = point.y + gap + size;
        // Below the frame it would run into the axis' tick labels.
        if (label.at.y > layout.plot.Bottom() - 0.2 * unit) label.at.y = point.y - gap;
        const bool crowded = std::any_of(placed.begin(), placed.end(), [&](const CChartXY& other) {
            return std::abs(other.x - label.at.x) < 3 * size &&
                   std::abs(other.y - label.at.y) < size;
        });
        if (crowded) continue;
        placed.push_back(label.at);
        layout.texts.push_back(std::move(label));
    }
}

}  // namespace

double CFrocLayout::XForFpPerImage(double fpPerImage) const {
    if (!(fpPerImage > 0)) return plot.left;
    const double position =
        (std::log10(fpPerImage) - decadeLow) / static_cast<double>(decadeHigh - decadeLow);
    return plot.left + std::clamp(position, 0.0, 1.0) * plot.width;
}

double CFrocLayout::YForSensitivity(double sensitivity) const {
    const double clamped = std::isnan(sensitivity) ? 0.0 : std::clamp(sensitivity, 0.0, 1.0);
    return plot.Bottom() - clamped * plot.height;
}

CFrocLayout LayoutFrocChart(const CFrocChart& chart, const CChartBox& bounds) {
    CFrocLayout layout;
    layout.bounds = bounds;
    const double unit = ChartUnit(bounds);
    layout.plot.left = bounds.left + 4.6 * unit;
    layout.plot.top = bounds.top + 4.2 * unit;
    // A box too small for the margins still gets a plot, overlapping them.
    layout.plot.width = std::max(1.0, bounds.Right() - 1.6 * unit - layout.plot.left);
    layout.plot.height = std::max(1.0, bounds.Bottom() - 4.9 * unit - layout.plot.top);
    layout.frameWidth = std::max(1.0, 0.08 * unit);
    layout.curveRgb = kCurveRgb;
    layout.curveWidth = std::max(1.0, 0.14 * unit);

    std::vector<CFrocChartPoint> points;
    std::copy_if(chart.points.begin(), chart.points.end(), std::back_inserter(points), Drawable);
    // The curve runs from the strictest threshold to the most lenient one.
    std::sort(points.begin(), points.end(), [](const CFrocChartPoint& a, const CFrocChartPoint& b) {
        const double aFp = std::max(0.0, a.fpPerImage), bFp = std::max(0.0, b.fpPerImage);
        if (aFp != bFp) return aFp < bFp;
        if (a.sensitivity != b.sensitivity) return a.sensitivity < b.sensitivity;
        return a.threshold > b.threshold;
    });
    ChooseDecades(points, layout);

    const CChartBox& plot = layout.plot;
    layout.texts.push_back({{bounds.left + bounds.width / 2, bounds.top + 1.6 * unit},
                            chart.title.empty() ? std::string("FROC") : chart.title,
                            1.15 * unit,
                            EChartAnchor::Middle,
                            true,
                            false,
                            kTextRgb});
    std::string counts = Counted(chart.images, "image", "images") + ", " +
                         Counted(chart.truthClusters, "truth cluster", "truth clusters");
    if (!points.empty()) counts += " \u2014 labels: detector threshold";
    layout.texts.push_back({{bounds.left + bounds.width / 2, bounds.top + 2.9 * unit},
                            counts,
                            0.8 * unit,
                            EChartAnchor::Middle,
                            false,
                            false,
                            kTextRgb});
    AddXAxis(layout, unit);
    AddYAxis(layout, unit);

    if (points.empty()) {
        layout.texts.push_back({{plot.left + plot.width / 2, plot.top + plot.height / 2},
                                "No data",
                                1.2 * unit,
                                EChartAnchor::Middle,
                                false,
                                false,
                                kNoteRgb});
        return layout;
    }
    const double radius = (points.size() > 100 ? 0.18 : 0.3) * unit;
    bool anyZero = false;
    for (const CFrocChartPoint& point : points) {
        const CChartXY at{layout.XForFpPerImage(point.fpPerImage),
                          layout.YForSensitivity(point.sensitivity)};
        const bool zero = !(point.fpPerImage > 0);
        anyZero = anyZero || zero;
        layout.curve.push_back(at);
        layout.markers.push_back({at, radius, zero, kCurveRgb});
    }
    AddThresholdLabels(layout, points, unit);
    if (anyZero)
        layout.texts.push_back({{plot.left, plot.Bottom() + 4.3 * unit},
                                "Hollow markers on the left edge: 0 false positives per image",
                                0.75 * unit,
                                EChartAnchor::Start,
                                false,
                                false,
                                kNoteRgb});
    return layout;
}

namespace {

std::string SvgColour(std::uint32_t rgb) {
    return Format("#%06x", rgb & 0xFFFFFFu);
}

std::string SvgNumber(double value) {
    return PlainNumber(value, 2);
}

// Escapes markup and drops what XML 1.0 cannot hold at all (control
// characters, the non-characters U+FFFE and U+FFFF; broken UTF-8 has become
// U+FFFD), so any title gives a well-formed file.
std::string SvgText(const std::string& text) {
    const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QString kept;
    kept.reserve(decoded.size());
    for (const QChar c : decoded) {
        const char16_t code = c.unicode();
        if ((code < 0x20 && code != '\t') || code == 0xFFFE || code == 0xFFFF) continue;
        kept += c;
    }
    return kept.toHtmlEscaped().toStdString();
}

bool IsExtension(const std::string& path, const char* extension) {
    return ToLower(ExtensionOf(path)) == extension;
}

// Collects what the file writer tells the user, so that the caller gets it as
// its error text instead of a second message.
class CCollectingSink : public IMessageSink {
  public:
    void show(const std::string& text) override { shown = text; }
    int ask(const std::string&, const std::vector<std::string>&) override { return 0; }
    std::string shown;
};

bool WriteBytes(const std::string& path, const char* data, std::size_t size, std::string& error) {
    CCollectingSink sink;
    bool written = false;
    {
        CScopedMessageSink scope(&sink);
        written = WriteFileAtomically(
            path, [&](std::FILE* file) { return std::fwrite(data, 1, size, file) == size; });
    }
    if (!written) error = sink.shown.empty() ? "Cannot write the file " + path : sink.shown;
    return written;
}

}  // namespace

std::string FrocChartSvg(const CFrocChart& chart, int width, int height) {
    width = std::max(1, width);
    height = std::max(1, height);
    const CFrocLayout layout = LayoutFrocChart(chart, {0, 0, double(width), double(height)});
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += Format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d "
        "%d\" font-family=\"DejaVu Sans, Verdana, sans-serif\">\n",
        width, height, width, height);
    const CChartBox& bounds = layout.bounds;
    svg += "<rect x=\"" + SvgNumber(bounds.left) + "\" y=\"" + SvgNumber(bounds.top) +
           "\" width=\"" + SvgNumber(bounds.width) + "\" height=\"" + SvgNumber(bounds.height) +
           "\" fill=\"" + SvgColour(layout.backgroundRgb) + "\"/>\n";
    svg += "<g stroke-linecap=\"butt\">\n";
    for (const CChartStroke& stroke : layout.strokes)
        svg += "<line x1=\"" + SvgNumber(stroke.from.x) + "\" y1=\"" + SvgNumber(stroke.from.y) +
               "\" x2=\"" + SvgNumber(stroke.to.x) + "\" y2=\"" + SvgNumber(stroke.to.y) +
               "\" stroke=\"" + SvgColour(stroke.rgb) + "\" stroke-width=\"" +
               SvgNumber(stroke.width) + "\"/>\n";
    svg += "</g>\n";
    const CChartBox& plot = layout.plot;
    svg += "<rect x=\"" + SvgNumber(plot.left) + "\" y=\"" + SvgNumber(plot.top) + "\" width=\"" +
           SvgNumber(plot.width) + "\" height=\"" + SvgNumber(plot.height) +
           "\" fill=\"none\" stroke=\"" + SvgColour(layout.frameRgb) + "\" stroke-width=\"" +
           SvgNumber(layout.frameWidth) + "\"/>\n";
    if (!layout.curve.empty()) {
        svg += "<polyline fill=\"none\" stroke=\"" + SvgColour(layout.curveRgb) +
               "\" stroke-width=\"" + SvgNumber(layout.curveWidth) +
               "\" stroke-linejoin=\"round\" points=\"";
        for (std::size_t i = 0; i < layout.curve.size(); ++i) {
            if (i > 0) svg += ' ';
            svg += SvgNumber(layout.curve[i].x) + "," + SvgNumber(layout.curve[i].y);
        }
        svg += "\"/>\n";
    }
    for (const CChartMarker& marker : layout.markers) {
        svg += "<circle cx=\"" + SvgNumber(marker.at.x) + "\" cy=\"" + SvgNumber(marker.at.y) +
               "\" r=\"" + SvgNumber(marker.radius) + "\" ";
        svg += marker.hollow ? "fill=\"" + SvgColour(layout.backgroundRgb) + "\" stroke=\"" +
                                   SvgColour(marker.rgb) + "\" stroke-width=\"" +
                                   SvgNumber(layout.curveWidth) + "\""
                             : "fill=\"" + SvgColour(marker.rgb) + "\"";
        svg += "/>\n";
    }
    for (const CChartText& text : layout.texts) {
        static const char* const kAnchors[] = {"start", "middle", "end"};
        svg += "<text x=\"" + SvgNumber(text.at.x) + "\" y=\"" + SvgNumber(text.at.y) +
               "\" font-size=\"" + SvgNumber(text.size) + "\" text-anchor=\"" +
               kAnchors[static_cast<int>(text.anchor)] + "\" fill=\"" + SvgColour(text.rgb) + "\"";
        if (text.bold) svg += " font-weight=\"bold\"";
        if (text.vertical)
            svg += " transform=\"rotate(-90 " + SvgNumber(text.at.x) + " " + SvgNumber(text.at.y) +
                   ")\"";
        svg += ">" + SvgText(text.text) + "</text>\n";
    }
    svg += "</svg>\n";
    return svg;
}

bool SaveFrocChart(const CFrocChart& chart, const std::string& path, std::string& error) {
    error.clear();
    if (IsExtension(path, "svg")) {
        const std::string svg = FrocChartSvg(chart, kFrocChartSaveWidth, kFrocChartSaveHeight);
        return WriteBytes(path, svg.data(), svg.size(), error);
    }
    if (!IsExtension(path, "png")) {
        error = "Cannot save the FROC chart as " + path + ": the name must end in .png or .svg";
        return false;
    }
    const QImage picture = RenderFrocChart(chart, QSize(kFrocChartSaveWidth, kFrocChartSaveHeight));
    if (picture.isNull()) {
        error = "Cannot draw the FROC chart for " + path +
                ": PNG text needs a graphical application (save as .svg instead)";
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, "png");
    if (!buffer.open(QIODevice::WriteOnly) || !writer.write(picture)) {
        error = "Cannot encode the FROC chart as PNG: " + writer.errorString().toStdString();
        return false;
    }
    return WriteBytes(path, bytes.constData(), static_cast<std::size_t>(bytes.size()), error);
}

}  // namespace vistrel
