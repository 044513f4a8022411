#pragma once
// The raster back end of the FROC chart. Apart from the core's other headers
// this one names Qt types, so whoever includes it links Qt6::Gui itself.

#include <QImage>
#include <QRectF>
#include <QSize>

#include "core/froc_chart.h"

class QPainter;

namespace vistrel {

// Paints the chart laid out in rect (LayoutFrocChart) with painter, leaving
// the painter's state as it was. Text needs the fonts of a QGuiApplication:
// without one nothing is painted and the result is false.
bool PaintFrocChart(QPainter& painter, const QRectF& rect, const CFrocChart& chart);

// The chart as an opaque RGB picture of size; a null image when size is empty,
// the picture cannot be allocated or there is no QGuiApplication.
QImage RenderFrocChart(const CFrocChart& chart, QSize size);

}  // namespace vistrel
