#pragma once
// The FROC chart of a detector: sensitivity against false positives per
// image, one point per detector threshold. One layout function turns the
// data into drawing primitives in a box; the PNG back end (froc_chart_painting)
// and the SVG back end here draw exactly those primitives, so both pictures
// agree to the pixel on where everything is.

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

struct CFrocChartPoint {
    double threshold = 0;
    double sensitivity = 0;  // true-positive clusters / truth clusters, 0..1
    double fpPerImage = 0;   // false-positive clusters per image, >= 0
};

struct CFrocChart {
    std::string title;
    std::vector<CFrocChartPoint> points;
    int images = 0;
    int truthClusters = 0;
};

// The size SaveFrocChart draws at, in pixels (PNG) or user units (SVG).
constexpr int kFrocChartSaveWidth = 960;
constexpr int kFrocChartSaveHeight = 720;

struct CChartBox {
    double left = 0, top = 0, width = 0, height = 0;
    double Right() const { return left + width; }
    double Bottom() const { return top + height; }
};

struct CChartXY {
    double x = 0, y = 0;
};

// Colours are 0xRRGGBB.
struct CChartStroke {
    CChartXY from, to;
    std::uint32_t rgb = 0;
    double width = 1;
};

enum class EChartAnchor { Start, Middle, End };

// A text whose baseline passes through `at`; `anchor` says which end of the
// text (or its middle) sits there. Vertical texts read bottom to top, turned
// about `at`.
struct CChartText {
    CChartXY at;
    std::string text;  // UTF-8
    double size = 12;  // font pixel size
    EChartAnchor anchor = EChartAnchor::Start;
    bool bold = false;
    bool vertical = false;
    std::uint32_t rgb = 0;
};

struct CChartMarker {
    CChartXY at;
    double radius = 3;
    bool hollow = false;  // drawn at the axis' lower end: the point has no false positives
    std::uint32_t rgb = 0;
};

struct CFrocLayout {
    CChartBox bounds;  // the whole chart
    CChartBox plot;    // the framed plot area
    // The x axis runs from 10^decadeLow to 10^decadeHigh false positives per image.
    int decadeLow = -1, decadeHigh = 1;
    std::uint32_t backgroundRgb = 0xFFFFFF;
    std::uint32_t frameRgb = 0;
    double frameWidth = 1;
    std::uint32_t curveRgb = 0;
    double curveWidth = 1;
    // Drawn in this order: strokes (grid and ticks), frame, curve, markers, texts.
    std::vector<CChartStroke> strokes;
    std::vector<CChartXY> curve;  // one vertex per drawable data point, in curve order
    std::vector<CChartMarker> markers;
    std::vector<CChartText> texts;

    // Where a value lands. Zero and negative false-positive rates land on the
    // axis' lower end (the plot's left edge); the log scale has no place for them.
    double XForFpPerImage(double fpPerImage) const;
    double YForSensitivity(double sensitivity) const;
};

// Lays the chart out in `bounds`: title with image and truth-cluster counts,
// framed plot with a log x axis (whole decades around the data, minor ticks
// at 2..9), sensitivity 0..1 on y with grid lines, axis titles, the curve
// through the points sorted by false positives per image (ties by
// sensitivity, then by falling threshold), a marker per point and the
// thresholds of a few of them. Points with a non-finite value are left out;
// sensitivities outside 0..1 are drawn on the frame.
// Without points the axes carry "No data".
CFrocLayout LayoutFrocChart(const CFrocChart& chart, const CChartBox& bounds);

// The chart as a complete SVG document of width x height user units.
std::string FrocChartSvg(const CFrocChart& chart, int width, int height);

// Writes the chart as .png or .svg (by the extension, any case) of
// kFrocChartSaveWidth x kFrocChartSaveHeight, to a temporary file renamed
// over path when complete. PNG needs a running QGuiApplication for its text.
// False with the reason in error otherwise (nothing is written then).
bool SaveFrocChart(const CFrocChart& chart, const std::string& path, std::string& error);

}  // namespace vistrel
