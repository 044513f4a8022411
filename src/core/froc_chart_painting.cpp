#include "core/froc_chart_painting.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QString>

namespace vistrel {

namespace {

QColor ToColour(std::uint32_t rgb) {
    return QColor::fromRgb(static_cast<QRgb>(rgb & 0xFFFFFFu));
}

QPointF ToPoint(const CChartXY& xy) {
    return {xy.x, xy.y};
}

// The SVG back end names the same family first, so both agree where it is installed.
QFont ChartFont(const CChartText& text) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, qRound(text.size)));
    font.setBold(text.bold);
    return font;
}

void PaintText(QPainter& painter, const CChartText& text) {
    const QString string = QString::fromStdString(text.text);
    painter.setFont(ChartFont(text));
    painter.setPen(ToColour(text.rgb));
    const double width = QFontMetricsF(painter.font()).horizontalAdvance(string);
    const double shift = text.anchor == EChartAnchor::Start    ? 0.0
                         : text.anchor == EChartAnchor::Middle ? -width / 2
                                                               : -width;
    painter.save();
    painter.translate(ToPoint(text.at));
    if (text.vertical) painter.rotate(-90);
    painter.drawText(QPointF(shift, 0), string);
    painter.restore();
}

}  // namespace

bool PaintFrocChart(QPainter& painter, const QRectF& rect, const CFrocChart& chart) {
    // Fonts come from the application's font database; touching them without
    // a QGuiApplication aborts the process.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
    const CFrocLayout layout =
        LayoutFrocChart(chart, {rect.left(), rect.top(), rect.width(), rect.height()});
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.fillRect(rect, ToColour(layout.backgroundRgb));

    for (const CChartStroke& stroke : layout.strokes) {
        painter.setPen(QPen(ToColour(stroke.rgb), stroke.width, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(ToPoint(stroke.from), ToPoint(stroke.to));
    }
    const CChartBox& plot = layout.plot;
    painter.setPen(QPen(ToColour(layout.frameRgb), layout.frameWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(plot.left, plot.top, plot.width, plot.height));

    QPolygonF curve;
    for (const CChartXY& vertex : layout.curve) curve << ToPoint(vertex);
    painter.setPen(QPen(ToColour(layout.curveRgb), layout.curveWidth, Qt::SolidLine, Qt::RoundCap,
                        Qt::RoundJoin));
    painter.drawPolyline(curve);

    for (const CChartMarker& marker : layout.markers) {
        if (marker.hollow) {
            painter.setPen(QPen(ToColour(marker.rgb), layout.curveWidth));
            painter.setBrush(ToColour(layout.backgroundRgb));
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(ToColour(marker.rgb));
        }
        painter.drawEllipse(ToPoint(marker.at), marker.radius, marker.radius);
    }
    for (const CChartText& text : layout.texts) PaintText(painter, text);
    painter.restore();
    return true;
}

QImage RenderFrocChart(const CFrocChart& chart, QSize size) {
    if (size.isEmpty() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return {};
    QImage picture(size, QImage::Format_RGB32);
    if (picture.isNull()) return {};
    picture.fill(Qt::white);
    QPainter painter(&picture);
    const bool painted = PaintFrocChart(painter, QRectF(QPointF(0, 0), QSizeF(size)), chart);
    painter.end();
    return painted ? picture : QImage();
}

}  // namespace vistrel
