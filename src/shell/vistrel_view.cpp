#include "shell/vistrel_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include "regions/region.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {
constexpr float kZoomStep = 0.25f;
}

QColor DiagnosisColour(int diagnosis) {
    switch (diagnosis) {
        case 0:
            return {249, 255, 0};
        case 1:
            return {254, 0, 89};
        default:
            return {38, 0, 255};
    }
}

QString DiagnosisLetter(int diagnosis) {
    switch (diagnosis) {
        case 0:
            return QStringLiteral("B");
        case 1:
            return QStringLiteral("M");
        default:
            return QStringLiteral("F");
    }
}

CVistrelView::CVistrelView(CVistrelDoc& doc, CVistrelApp& app, QWidget* parent)
    : QAbstractScrollArea(parent), doc_(&doc), app_(app) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&doc, &CVistrelDoc::updated, this, &CVistrelView::OnDocumentUpdated);
    CNotifier& notifier = app.Notifier();
    connect(&notifier, &CNotifier::lutChanged, this, [this] { RenderDisplay(); });
    connect(&notifier, &CNotifier::displayModeChanged, this, [this] { RenderDisplay(); });
    connect(&notifier, &CNotifier::diagnosisDisplayChanged, this, [this] { BuildOverlay(); });
    connect(&notifier, &CNotifier::documentClosing, this, [this](CVistrelDoc* closing) {
        if (closing != doc_) return;
        doc_ = nullptr;
        bitmap_.reset();
        picture_ = QImage();
        overlay_.clear();
    });
    RenderDisplay();
}

CVistrelView::~CVistrelView() = default;

QSize CVistrelView::sizeHint() const {
    if (picture_.isNull()) return QAbstractScrollArea::sizeHint();
    const int frame = 2 * frameWidth();
    return picture_.size() + QSize(frame, frame);
}

void CVistrelView::OnZoomIn() {
    SetZoom(zoom_ + kZoomStep);
}

void CVistrelView::OnZoomOut() {
    if (zoom_ - kZoomStep <= 0.0f) return;
    SetZoom(zoom_ - kZoomStep);
}

void CVistrelView::OnActualPixels() {
    if (zoom_ != 1.0f) SetZoom(1.0f);
}

void CVistrelView::OnZoomToFit() {
    FitToClient(false);
    emit hugRequested();
}

void CVistrelView::FitToClient(bool onlyLarge) {
    if (!doc_ || !doc_->image.IsValid()) return;
    const QSize client = maximumViewportSize();
    if (onlyLarge && doc_->image.width <= client.width() && doc_->image.height <= client.height()) {
        SetZoom(1.0f);
        return;
    }
    Render(0.0f, client);
}

void CVistrelView::SetZoom(float zoom) {
    if (zoom <= 0.0f) return;
    Render(zoom, {});
}

void CVistrelView::RenderDisplay() {
    Render(zoom_, {});
}

void CVistrelView::Render(float zoom, QSize fitTo) {
    if (!doc_) return;
    CRenderRequest request;
    request.zoom = zoom;
    request.fitWidth = fitTo.width();
    request.fitHeight = fitTo.height();
    bitmap_ = doc_->Render(request, app_.ValueWindowMode(), app_.Palette(), showOriginal_);
    if (bitmap_)
        zoom_ = request.usedZoom;
    else if (zoom > 0.0f)
        zoom_ = zoom;
    WrapBitmap();
    UpdateScrollBars();
    BuildOverlay();
    doc_->UpdateTitle(zoom_);
}

void CVistrelView::SetRoi(const CRect& roi) {
    roi_ = roi;
    viewport()->update();
}

void CVistrelView::AddOutline(const CRegion& region, const QColor& colour, bool letter) {
    const std::vector<CPoint>& points = region.Boundary();
    if (!region.IsValid() || points.empty()) return;
    // Lines join pixel centres, so an outline pixel is covered at every zoom.
    const double z = zoom_;
    const auto at = [z](const CPoint& p) { return QPointF((p.x + 0.5) * z, (p.y + 0.5) * z); };
    COverlayShape shape;
    shape.path.moveTo(at(points.front()));
    for (std::size_t i = 1; i < points.size(); ++i) shape.path.lineTo(at(points[i]));
    shape.path.closeSubpath();
    shape.colour = colour;
    if (letter) {
        shape.letter = DiagnosisLetter(region.diagnosis);
        const CRect& bounds = region.Bounds();
        shape.letterAt = QPointF(bounds.right * z + 2.0, bounds.top * z);
    }
    overlay_.push_back(std::move(shape));
}

void CVistrelView::BuildOverlay() {
    overlay_.clear();
    if (doc_) {
        const bool letters = app_.showUserDiagnoses;
        if (app_.showRos) {
            for (int32_t i = 0; i < doc_->rosRegions.Count(); ++i)
                if (const CRegion* ros = doc_->rosRegions.At(i))
                    AddOutline(*ros, letters ? DiagnosisColour(ros->diagnosis) : kRosOutlineColour,
                               letters);
        }
        if (app_.showRegions) {
            for (int32_t i = 0; i < doc_->regions.Count(); ++i)
                if (const CRegion* region = doc_->regions.At(i))
                    AddOutline(*region,
                               letters ? DiagnosisColour(region->diagnosis) : kRegionOutlineColour,
                               letters);
        }
    }
    viewport()->update();
}

void CVistrelView::PaintOverlay(QPainter& painter, const QPoint& origin) {
    if (overlay_.empty()) return;
    painter.save();
    painter.translate(origin);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const COverlayShape& shape : overlay_) {
        QPen pen(shape.colour);
        pen.setWidth(0);  // cosmetic: one screen pixel whatever the zoom
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shape.path);
        if (!shape.letter.isEmpty())
            painter.drawText(shape.letterAt + QPointF(0, 10), shape.letter);
    }
    painter.restore();
}

void CVistrelView::WrapBitmap() {
    picture_ = QImage();
    unpacked_.clear();
    if (!bitmap_ || bitmap_->width <= 0 || bitmap_->height <= 0) return;
    const CDisplayBitmap& bitmap = *bitmap_;
    switch (bitmap.depth) {
        case 8:
            picture_ = QImage(bitmap.bits.data(), bitmap.width, bitmap.height, bitmap.bytesPerRow,
                              QImage::Format_Indexed8);
            break;
        case 1:
            picture_ = QImage(bitmap.bits.data(), bitmap.width, bitmap.height, bitmap.bytesPerRow,
                              QImage::Format_Mono);
            break;
        case 4: {
            // QImage has no 4-bit format: spread the nibbles into bytes.
            const int32_t rowBytes = DisplayRowBytes(bitmap.width, 8);
            unpacked_.assign(static_cast<std::size_t>(rowBytes) * bitmap.height, 0);
            for (int32_t y = 0; y < bitmap.height; ++y) {
                uint8_t* row = unpacked_.data() + static_cast<std::size_t>(y) * rowBytes;
                for (int32_t x = 0; x < bitmap.width; ++x)
                    row[x] = static_cast<uint8_t>(bitmap.IndexAt(x, y));
            }
            picture_ = QImage(unpacked_.data(), bitmap.width, bitmap.height, rowBytes,
                              QImage::Format_Indexed8);
            break;
        }
        default:
            return;
    }
    QList<QRgb> colours;
    colours.reserve(static_cast<qsizetype>(bitmap.palette.size()));
    for (const CPaletteEntry& entry : bitmap.palette)
        colours.push_back(qRgb(entry.red, entry.green, entry.blue));
    // Indices beyond the palette must still have a colour.
    const int needed = bitmap.depth == 1 ? 2 : 256;
    while (colours.size() < needed) colours.push_back(colours.isEmpty() ? 0 : colours.back());
    picture_.setColorTable(colours);
}

void CVistrelView::UpdateScrollBars() {
    // Decide from the area without scroll bars: measuring the current viewport
    // would keep bars that are only there because they were there before.
    const QSize room = maximumViewportSize();
    const QSize picture = picture_.size();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    bool needH = picture.width() > room.width();
    bool needV = picture.height() > room.height();
    if (needH && !needV) needV = picture.height() > room.height() - bar;
    if (needV && !needH) needH = picture.width() > room.width() - bar;
    const QSize area(room.width() - (needV ? bar : 0), room.height() - (needH ? bar : 0));
    horizontalScrollBar()->setRange(0, needH ? picture.width() - area.width() : 0);
    horizontalScrollBar()->setPageStep(std::max(1, area.width()));
    horizontalScrollBar()->setSingleStep(std::max(1, area.width() / 20));
    verticalScrollBar()->setRange(0, needV ? picture.height() - area.height() : 0);
    verticalScrollBar()->setPageStep(std::max(1, area.height()));
    verticalScrollBar()->setSingleStep(std::max(1, area.height() / 20));
}

void CVistrelView::OnDocumentUpdated(int code) {
    switch (code) {
        case kUpdateImage:
            RenderDisplay();
            if (doc_) doc_->NotifyImageChanged();
            break;
        case kUpdateDisplay:
            RenderDisplay();
            break;
        case kUpdateAnnotations:
            BuildOverlay();
            break;
        case kUpdateGeometry:
        case kUpdateGeometryRoi:
            UpdateScrollBars();
            viewport()->update();
            break;
        default:
            viewport()->update();
            break;
    }
}

void CVistrelView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    painter.fillRect(area, palette().color(QPalette::Dark));
    if (picture_.isNull()) return;
    const QPoint origin(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    const QRect target = QRect(origin, picture_.size()).intersected(area);
    if (target.isEmpty()) return;
    painter.drawImage(target, picture_, target.translated(-origin));
    painter.setClipRect(target);
    PaintOverlay(painter, origin);
}

void CVistrelView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CVistrelView::scrollContentsBy(int, int) {
    viewport()->update();
}

void CVistrelView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    if (doc_) emit activated(doc_);
}

}  // namespace vistrel
