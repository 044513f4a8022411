// The FROC chart: where the layout puts values on its log and linear axes,
// the SVG and PNG back ends drawing that layout, and saving with its errors.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QColor>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/froc_chart.h"
#include "core/froc_chart_painting.h"
#include "support/scratch_dir.h"

using namespace vistrel;
namespace fs = std::filesystem;

namespace {

// Text painting needs the fonts of a QGuiApplication. Made on first use only,
// so the rest of the core tests keep running without one.
void EnsureGuiApplication() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_core";
    static char* argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
}

// A typical curve: thresholds falling, both rates rising, one point without
// false positives.
CFrocChart SampleChart() {
    CFrocChart chart;
    chart.title = "Spot detector on the sample set";
    chart.images = 40;
    chart.truthClusters = 31;
    const double thresholds[] = {0.95, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1};
    const double fps[] = {0.0, 0.03, 0.08, 0.15, 0.3, 0.6, 1.1, 2.0, 3.8, 7.5};
    const double sensitivities[] = {0.26, 0.39, 0.52, 0.61, 0.71, 0.81, 0.87, 0.90, 0.94, 0.97};
    for (int i = 0; i < 10; ++i) chart.points.push_back({thresholds[i], sensitivities[i], fps[i]});
    return chart;
}

CFrocChart ChartOf(std::vector<CFrocChartPoint> points) {
    CFrocChart chart;
    chart.images = 10;
    chart.truthClusters = 20;
    chart.points = std::move(points);
    return chart;
}

const CChartBox kBox{0, 0, 960, 720};

const CChartText* FindText(const CFrocLayout& layout, const std::string& part) {
    for (const CChartText& text : layout.texts)
        if (text.text.find(part) != std::string::npos) return &text;
    return nullptr;
}

bool Inside(const CChartBox& box, const CChartXY& at) {
    return at.x >= box.left - 1e-9 && at.x <= box.Right() + 1e-9 && at.y >= box.top - 1e-9 &&
           at.y <= box.Bottom() + 1e-9;
}

// ---------------------------------------------------------------------------
// Layout

struct DecadeCase {
    const char* name;
    std::vector<double> fps;
    int low, high;
};

TEST(FrocLayout, XAxisSpansWholeDecadesAroundTheData) {
    const DecadeCase cases[] = {
        {"0.1 to 10", {0.1, 1, 10}, -1, 1},
        {"inside decades", {0.05, 0.3, 2}, -2, 1},
        {"one value", {1}, 0, 1},
        {"one decade exactly", {0.1, 1}, -1, 0},
        // A zero point must not share the left edge with a real 0.1.
        {"zero beside a power of ten", {0, 0.1, 1}, -2, 0},
        {"zero beside a value near a power of ten", {0, 0.11, 1}, -2, 0},
        {"zero beside an inner value", {0, 0.3, 1}, -1, 0},
        {"only zeros", {0, 0}, -1, 1},
        {"negative is no false positive", {-1, 0.5}, -1, 0},
        {"far apart keeps the high end", {1e-300, 1}, -12, 0},
    };
    for (const DecadeCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<CFrocChartPoint> points;
        for (double fp : c.fps) points.push_back({0.5, 0.5, fp});
        const CFrocLayout layout = LayoutFrocChart(ChartOf(points), kBox);
        EXPECT_EQ(layout.decadeLow, c.low);
        EXPECT_EQ(layout.decadeHigh, c.high);
    }
}

TEST(FrocLayout, MapsFalsePositivesLogarithmicallyAndSensitivityLinearly) {
    const CFrocLayout layout = LayoutFrocChart(ChartOf({{0.5, 0.2, 0.1}, {0.1, 0.9, 10}}), kBox);
    const CChartBox& plot = layout.plot;
    ASSERT_GT(plot.width, 100);
    ASSERT_GT(plot.height, 100);
    EXPECT_TRUE(Inside(kBox, {plot.left, plot.top}));
    EXPECT_TRUE(Inside(kBox, {plot.Right(), plot.Bottom()}));

    struct Case {
        double fp, x;
    } xs[] = {{0.1, plot.left},    {1, plot.left + plot.width / 2},
              {10, plot.Right()},  {std::sqrt(10.0), plot.left + plot.width * 0.75},
              {0, plot.left},      {-3, plot.left},
              {1000, plot.Right()}};
    for (const Case& c : xs) EXPECT_NEAR(layout.XForFpPerImage(c.fp), c.x, 1e-9) << c.fp;

    struct YCase {
        double sensitivity, y;
    } ys[] = {{0, plot.Bottom()},
              {1, plot.top},
              {0.5, plot.top + plot.height / 2},
              {1.5, plot.top},
              {-0.5, plot.Bottom()}};
    for (const YCase& c : ys)
        EXPECT_NEAR(layout.YForSensitivity(c.sensitivity), c.y, 1e-9) << c.sensitivity;
}

TEST(FrocLayout, PointsWithoutFalsePositivesSitOnTheLeftEdgeWithANote) {
    const CFrocLayout layout =
        LayoutFrocChart(ChartOf({{0.9, 0.3, 0.0}, {0.5, 0.6, 0.4}, {0.1, 0.8, 2}}), kBox);
    ASSERT_EQ(layout.curve.size(), 3u);
    ASSERT_EQ(layout.markers.size(), 3u);
    EXPECT_DOUBLE_EQ(layout.curve[0].x, layout.plot.left);
    EXPECT_NEAR(layout.curve[0].y, layout.YForSensitivity(0.3), 1e-9);
    EXPECT_TRUE(layout.markers[0].hollow);
    EXPECT_FALSE(layout.markers[1].hollow);
    EXPECT_GT(layout.curve[1].x, layout.plot.left + 1);
    for (const CChartXY& vertex : layout.curve) {
        EXPECT_TRUE(std::isfinite(vertex.x) && std::isfinite(vertex.y));
        EXPECT_TRUE(Inside(layout.plot, vertex));
    }
    EXPECT_NE(FindText(layout, "0 false positives per image"), nullptr);

    const CFrocLayout without = LayoutFrocChart(ChartOf({{0.5, 0.6, 0.4}}), kBox);
    EXPECT_EQ(FindText(without, "0 false positives per image"), nullptr);
}

TEST(FrocLayout, CurveFollowsFalsePositivesThenSensitivityAndDropsBrokenPoints) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const CFrocLayout layout = LayoutFrocChart(ChartOf({{0.2, 0.9, 3},
                                                        {0.8, 0.4, 0.1},
                                                        {0.5, 0.7, 1},
                                                        {0.6, 0.6, 1},
                                                        {nan, 0.5, 0.5},
                                                        {0.4, nan, 0.5},
                                                        {0.3, 0.5, inf}}),
                                               kBox);
    const double expectedSensitivity[] = {0.4, 0.6, 0.7, 0.9};
    const double expectedFp[] = {0.1, 1, 1, 3};
    ASSERT_EQ(layout.curve.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(layout.curve[i].x, layout.XForFpPerImage(expectedFp[i]), 1e-9);
        EXPECT_NEAR(layout.curve[i].y, layout.YForSensitivity(expectedSensitivity[i]), 1e-9);
    }
}

TEST(FrocLayout, TitleCountsAxesAndAFewThresholdLabels) {
    const CFrocLayout layout = LayoutFrocChart(SampleChart(), kBox);
    EXPECT_NE(FindText(layout, "Spot detector on the sample set"), nullptr);
    EXPECT_NE(FindText(layout, "40 images, 31 truth clusters"), nullptr);
    const CChartText* xTitle = FindText(layout, "False positives per image");
    const CChartText* yTitle = FindText(layout, "Sensitivity");
    ASSERT_TRUE(xTitle && yTitle);
    EXPECT_FALSE(xTitle->vertical);
    EXPECT_TRUE(yTitle->vertical);
    for (const char* tick : {"0.01", "0.1", "1", "10", "0.0", "0.5", "1.0"}) {
        const bool found = std::any_of(layout.texts.begin(), layout.texts.end(),
                                       [&](const CChartText& text) { return text.text == tick; });
        EXPECT_TRUE(found) << tick;
    }
    // Decade ticks and their eight minor ticks per decade, below the frame.
    const int ticksBelow = std::count_if(
        layout.strokes.begin(), layout.strokes.end(), [&](const CChartStroke& stroke) {
            return stroke.from.y == layout.plot.Bottom() && stroke.to.y > stroke.from.y;
        });
    EXPECT_EQ(ticksBelow, (layout.decadeHigh - layout.decadeLow) * 9 + 1);

    int thresholdLabels = 0;
    for (const char* threshold : {"0.95", "0.9", "0.8", "0.7", "0.6", "0.5", "0.4", "0.3", "0.2"})
        thresholdLabels += std::count_if(
            layout.texts.begin(), layout.texts.end(),
            [&](const CChartText& text) { return text.text == threshold && text.size < 0.8 * 16; });
    EXPECT_GE(thresholdLabels, 3);
    EXPECT_LE(thresholdLabels, 5);
    for (const CChartText& text : layout.texts) EXPECT_TRUE(Inside(kBox, text.at)) << text.text;

    const CFrocLayout single = LayoutFrocChart(CFrocChart{"", {{0.5, 1, 1}}, 1, 1}, kBox);
    EXPECT_NE(FindText(single, "FROC"), nullptr);
    EXPECT_NE(FindText(single, "1 image, 1 truth cluster"), nullptr);
}

// A curve that ends at sensitivity 0 without false positives has its last
// point in the frame's lower left corner: its label must stay in the frame,
// clear of the axis' tick labels below it.
TEST(FrocLayout, ThresholdLabelsStayInsideThePlot) {
    const CFrocLayout layout = LayoutFrocChart(
        ChartOf({{700, 0.0, 0.0}, {600, 0.25, 0.0}, {550, 0.58, 0.0}, {500, 0.83, 0.75},
                 {100, 1.0, 4.25}}),
        kBox);
    int labels = 0;
    for (const char* threshold : {"700", "600", "550", "500", "100"})
        for (const CChartText& text : layout.texts) {
            if (text.text != threshold) continue;
            ++labels;
            EXPECT_LE(text.at.y, layout.plot.Bottom()) << threshold;
            EXPECT_GE(text.at.y - text.size, layout.plot.top) << threshold;
        }
    EXPECT_GE(labels, 3);
}

TEST(FrocLayout, EmptyDataKeepsTheAxesAndSaysNoData) {
    const CFrocLayout layout = LayoutFrocChart(ChartOf({}), kBox);
    EXPECT_TRUE(layout.curve.empty());
    EXPECT_TRUE(layout.markers.empty());
    ASSERT_NE(FindText(layout, "No data"), nullptr);
    EXPECT_TRUE(Inside(layout.plot, FindText(layout, "No data")->at));
    EXPECT_NE(FindText(layout, "False positives per image"), nullptr);
    EXPECT_NE(FindText(layout, "Sensitivity"), nullptr);
    EXPECT_FALSE(layout.strokes.empty());

    const CFrocLayout broken =
        LayoutFrocChart(ChartOf({{std::numeric_limits<double>::quiet_NaN(), 0.5, 1}}), kBox);
    EXPECT_NE(FindText(broken, "No data"), nullptr);
}

TEST(FrocLayout, StaysInsideItsBoxWhereverAndHoweverSmall) {
    const CChartBox boxes[] = {{100, 50, 400, 300}, {0, 0, 40, 30}, {-20, 7, 1, 1}};
    for (const CChartBox& box : boxes) {
        SCOPED_TRACE(box.width);
        const CFrocLayout layout = LayoutFrocChart(SampleChart(), box);
        EXPECT_GE(layout.plot.width, 1);
        EXPECT_GE(layout.plot.height, 1);
        if (box.width < 100) continue;  // margins alone exceed a tiny box
        for (const CChartStroke& stroke : layout.strokes) {
            EXPECT_TRUE(Inside(box, stroke.from));
            EXPECT_TRUE(Inside(box, stroke.to));
        }
        for (const CChartXY& vertex : layout.curve) EXPECT_TRUE(Inside(layout.plot, vertex));
        for (const CChartText& text : layout.texts) EXPECT_TRUE(Inside(box, text.at)) << text.text;
    }
}

// ---------------------------------------------------------------------------
// SVG

struct ParsedSvg {
    bool wellFormed = false;
    std::string error;
    std::string rootName;
    int polylines = 0;
    std::vector<CChartXY> polyline;
    std::vector<std::string> texts;
};

ParsedSvg ParseSvg(const std::string& svg) {
    ParsedSvg parsed;
    QXmlStreamReader reader(QByteArray::fromStdString(svg));
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement()) continue;
        if (parsed.rootName.empty()) parsed.rootName = reader.name().toString().toStdString();
        if (reader.name() == QStringLiteral("polyline")) {
            ++parsed.polylines;
            const QString points = reader.attributes().value("points").toString();
            for (const QString& pair : points.split(' ', Qt::SkipEmptyParts)) {
                const QStringList xy = pair.split(',');
                if (xy.size() == 2) parsed.polyline.push_back({xy[0].toDouble(), xy[1].toDouble()});
            }
        } else if (reader.name() == QStringLiteral("text")) {
            parsed.texts.push_back(reader.readElementText().toStdString());
        }
    }
    parsed.wellFormed = !reader.hasError();
    parsed.error = reader.errorString().toStdString();
    return parsed;
}

TEST(FrocChartSvg, IsWellFormedWithOnePolylineVertexPerPoint) {
    const CFrocChart chart = SampleChart();
    const std::string svg = FrocChartSvg(chart, 960, 720);
    const ParsedSvg parsed = ParseSvg(svg);
    ASSERT_TRUE(parsed.wellFormed) << parsed.error;
    EXPECT_EQ(parsed.rootName, "svg");
    EXPECT_EQ(parsed.polylines, 1);
    const CFrocLayout layout = LayoutFrocChart(chart, kBox);
    ASSERT_EQ(parsed.polyline.size(), chart.points.size());
    for (std::size_t i = 0; i < parsed.polyline.size(); ++i) {
        EXPECT_NEAR(parsed.polyline[i].x, layout.curve[i].x, 0.006) << i;
        EXPECT_NEAR(parsed.polyline[i].y, layout.curve[i].y, 0.006) << i;
    }
    EXPECT_NE(std::find(parsed.texts.begin(), parsed.texts.end(), "Sensitivity"),
              parsed.texts.end());
    EXPECT_NE(svg.find("width=\"960\" height=\"720\""), std::string::npos);
}

TEST(FrocChartSvg, AnyTitleGivesWellFormedXml) {
    const std::string titles[] = {"Recall <&> \"quoted\" 'apostrophe'", "bell\x07 and\nnewline",
                                  "broken \xC3\x28 UTF-8 \xFF", "\xEF\xBF\xBE non-character",
                                  "Mammografie \xC3\xA4\xC3\xB6"};
    for (const std::string& title : titles) {
        SCOPED_TRACE(title);
        CFrocChart chart = SampleChart();
        chart.title = title;
        const ParsedSvg parsed = ParseSvg(FrocChartSvg(chart, 640, 480));
        ASSERT_TRUE(parsed.wellFormed) << parsed.error;
        ASSERT_FALSE(parsed.texts.empty());
    }
    CFrocChart chart = SampleChart();
    chart.title = "Recall <&> \"q\"";
    EXPECT_EQ(ParseSvg(FrocChartSvg(chart, 640, 480)).texts.front(), chart.title);
}

TEST(FrocChartSvg, EmptyDataHasAxesAndNoCurve) {
    const ParsedSvg parsed = ParseSvg(FrocChartSvg(ChartOf({}), 960, 720));
    ASSERT_TRUE(parsed.wellFormed) << parsed.error;
    EXPECT_EQ(parsed.polylines, 0);
    EXPECT_NE(std::find(parsed.texts.begin(), parsed.texts.end(), "No data"), parsed.texts.end());
    EXPECT_NE(std::find(parsed.texts.begin(), parsed.texts.end(), "False positives per image"),
              parsed.texts.end());
}

// ---------------------------------------------------------------------------
// Painting and saving

bool IsBackground(QRgb pixel) {
    return qRed(pixel) > 245 && qGreen(pixel) > 245 && qBlue(pixel) > 245;
}

// Blue clearly above red: the curve colour, not grid grey or black text.
bool IsCurveColour(QRgb pixel) {
    return qBlue(pixel) > qRed(pixel) + 60;
}

class FrocChartPainting : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureGuiApplication(); }
    testsupport::CScratchDir scratch_{"froc_chart"};
};

TEST_F(FrocChartPainting, SavedPngShowsTheCurveAtEveryPoint) {
    ASSERT_TRUE(scratch_.IsValid());
    const CFrocChart chart = SampleChart();
    const std::string path = scratch_.Path("froc.PNG");
    std::string error = "stale";
    ASSERT_TRUE(SaveFrocChart(chart, path, error)) << error;
    EXPECT_TRUE(error.empty());
    QImage picture;
    ASSERT_TRUE(picture.load(QString::fromStdString(path), "png"));
    ASSERT_EQ(picture.size(), QSize(kFrocChartSaveWidth, kFrocChartSaveHeight));

    const CFrocLayout layout =
        LayoutFrocChart(chart, {0, 0, double(kFrocChartSaveWidth), double(kFrocChartSaveHeight)});
    ASSERT_EQ(layout.curve.size(), chart.points.size());
    for (std::size_t i = 0; i < layout.curve.size(); ++i) {
        const CChartXY& at = layout.curve[i];
        // The hollow marker's rim rather than its white centre.
        const double dx = layout.markers[i].hollow ? layout.markers[i].radius : 0;
        const QRgb pixel = picture.pixel(qRound(at.x + dx), qRound(at.y));
        EXPECT_TRUE(IsCurveColour(pixel))
            << "point " << i << " " << QColor(pixel).name().toStdString();
    }
    // Halfway along each segment, the line itself.
    for (std::size_t i = 1; i < layout.curve.size(); ++i) {
        const QRgb pixel = picture.pixel(qRound((layout.curve[i - 1].x + layout.curve[i].x) / 2),
                                         qRound((layout.curve[i - 1].y + layout.curve[i].y) / 2));
        EXPECT_TRUE(IsCurveColour(pixel)) << "segment " << i;
    }
    // Below the curve at high false-positive rates, between grid lines, stays white.
    const QRgb empty =
        picture.pixel(qRound(layout.XForFpPerImage(6.5)), qRound(layout.YForSensitivity(0.15)));
    EXPECT_TRUE(IsBackground(empty)) << QColor(empty).name().toStdString();
    // The title is drawn: dark pixels along its baseline band.
    int dark = 0;
    for (int y = 10; y < 30; ++y)
        for (int x = 0; x < picture.width(); ++x) dark += qGray(picture.pixel(x, y)) < 100;
    EXPECT_GT(dark, 100);
}

TEST_F(FrocChartPainting, PaintsOnlyInsideItsRectangle) {
    QImage picture(500, 400, QImage::Format_RGB32);
    picture.fill(QColor(255, 0, 255));
    QPainter painter(&picture);
    ASSERT_TRUE(PaintFrocChart(painter, QRectF(50, 40, 400, 300), SampleChart()));
    painter.end();
    int changedOutside = 0, unchangedInside = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const bool inside = x >= 50 && x < 450 && y >= 40 && y < 340;
            const bool magenta = picture.pixel(x, y) == qRgb(255, 0, 255);
            changedOutside += !inside && !magenta;
            unchangedInside += inside && magenta;
        }
    EXPECT_EQ(changedOutside, 0);
    EXPECT_EQ(unchangedInside, 0);
}

TEST_F(FrocChartPainting, EmptyDataAndOddSizesRender) {
    const QImage empty = RenderFrocChart(ChartOf({}), QSize(320, 240));
    ASSERT_FALSE(empty.isNull());
    int dark = 0;
    for (int y = 0; y < empty.height(); ++y)
        for (int x = 0; x < empty.width(); ++x) dark += qGray(empty.pixel(x, y)) < 100;
    EXPECT_GT(dark, 200);  // frame, ticks and text

    EXPECT_TRUE(RenderFrocChart(SampleChart(), QSize(0, 100)).isNull());
    EXPECT_TRUE(RenderFrocChart(SampleChart(), QSize(-5, -5)).isNull());
    EXPECT_FALSE(RenderFrocChart(SampleChart(), QSize(3, 2)).isNull());
}

TEST_F(FrocChartPainting, SavedSvgMatchesTheTextItWasMadeFrom) {
    ASSERT_TRUE(scratch_.IsValid());
    const std::string path = scratch_.Path("froc.svg");
    std::string error;
    ASSERT_TRUE(SaveFrocChart(SampleChart(), path, error)) << error;
    EXPECT_EQ(testsupport::ReadFileBytes(path),
              FrocChartSvg(SampleChart(), kFrocChartSaveWidth, kFrocChartSaveHeight));
}

TEST_F(FrocChartPainting, RefusesOtherNamesAndUnwritablePlacesLeavingFilesAlone) {
    ASSERT_TRUE(scratch_.IsValid());
    const std::string existing = scratch_.Write("froc.jpg", "keep me");
    struct Case {
        std::string path, inError;
    } cases[] = {{existing, ".png or .svg"},
                 {scratch_.Path("froc"), ".png or .svg"},
                 {scratch_.Path("froc.png.txt"), ".png or .svg"},
                 {scratch_.Path("missing/froc.png"), "missing/froc.png"},
                 {scratch_.Path("missing/froc.svg"), "missing/froc.svg"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string error;
        EXPECT_FALSE(SaveFrocChart(SampleChart(), c.path, error));
        EXPECT_NE(error.find(c.inError), std::string::npos) << error;
    }
    EXPECT_EQ(testsupport::ReadFileBytes(existing), "keep me");
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(scratch_.path()))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"froc.jpg"});
}

// Without a QGuiApplication, touching fonts aborts the process; the chart
// must refuse instead. 0 when it does.
int ChartWithoutGuiApplication() {
    if (QCoreApplication::instance()) return 3;
    testsupport::CScratchDir scratch("froc_nogui");
    std::string error;
    const bool png = SaveFrocChart(SampleChart(), scratch.Path("a.png"), error);
    if (png || error.find(".svg") == std::string::npos || fs::exists(scratch.Path("a.png")))
        return 1;
    if (!SaveFrocChart(SampleChart(), scratch.Path("a.svg"), error)) return 2;
    if (!RenderFrocChart(SampleChart(), QSize(10, 10)).isNull()) return 4;
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    const bool painted = PaintFrocChart(painter, QRectF(0, 0, 10, 10), SampleChart());
    painter.end();
    return painted ? 5 : 0;
}

// In a fresh process: this one may have made a QGuiApplication already.
TEST(FrocChartWithoutGui, PngIsRefusedSvgStillWorks) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(ChartWithoutGuiApplication()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
