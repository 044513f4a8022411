#include "shell/vistrel_view.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "regions/region.h"
#include "regions/regions.h"
#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {
constexpr float kZoomStep = 0.25f;

bool RoiContains(const CRect& roi, QPoint p) {
    return !roi.IsEmpty() && p.x() >= roi.left && p.x() < roi.right && p.y() >= roi.top &&
           p.y() < roi.bottom;
}
}  // namespace

QString CursorPaneText(int x, int y) {
    return QString::asprintf("Cursor position x:%4d y:%4d", x, y);
}

QString ValuePaneText(int value) {
    return QString::asprintf("Value:%5d", value);
}

QString RoiPaneText(const CRect& roi) {
    if (roi.IsEmpty()) return {};
    return QString::asprintf(" ROI width:%4d height:%4d", roi.Width(), roi.Height());
}

QString RulerPaneText(double millimetres) {
    return QString::fromStdString(RulerText(millimetres));
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

QColor NnDiagnosisColour(char letter) {
    switch (letter) {
        case 'T':
            return {255, 0, 217};
        case 'B':
            return DiagnosisColour(0);
        case 'M':
            return DiagnosisColour(1);
        default:
            return {38, 0, 255};
    }
}

CVistrelView::CVistrelView(CVistrelDoc& doc, CVistrelApp& app, QWidget* parent)
    : QAbstractScrollArea(parent), doc_(&doc), app_(app) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&doc, &CVistrelDoc::updated, this, &CVistrelView::OnDocumentUpdated);
    // Results of commands on a selection start with the same selection.
    roi_ = doc.initialRoi;
    initialRoiTaken_ = !roi_.IsEmpty();
    CNotifier& notifier = app.Notifier();
    connect(&notifier, &CNotifier::lutChanged, this, [this] { RenderDisplay(); });
    connect(&notifier, &CNotifier::displayModeChanged, this, [this] { RenderDisplay(); });
    connect(&notifier, &CNotifier::diagnosisDisplayChanged, this, [this] { BuildOverlay(); });
    connect(&notifier, &CNotifier::breastMaskChanged, this, [this](CVistrelDoc* changed) {
        if (changed == doc_) BuildOverlay();
    });
    connect(&notifier, &CNotifier::documentClosing, this, [this](CVistrelDoc* closing) {
        if (closing != doc_) return;
        doc_ = nullptr;
        bitmap_.reset();
        picture_ = QImage();
        overlay_.clear();
        drawnRegion_.clear();
        drawing_ = dragMode_ = moving_ = rulerActive_ = winLevActive_ = panning_ = false;
    });
    RenderDisplay();
}

CVistrelView::~CVistrelView() = default;

int CVistrelView::Mode() const {
    return app_.mouseMode;
}

QSize CVistrelView::sizeHint() const {
    if (picture_.isNull()) return QAbstractScrollArea::sizeHint();
    const int frame = 2 * frameWidth();
    return picture_.size() + QSize(frame, frame);
}

void CVistrelView::OnZoomIn() {
    ZoomAbout(zoom_ + kZoomStep, ViewportCentre(), true);
}

void CVistrelView::OnZoomOut() {
    if (zoom_ - kZoomStep <= 0.0f) return;
    ZoomAbout(zoom_ - kZoomStep, ViewportCentre(), true);
}

void CVistrelView::OnActualPixels() {
    if (zoom_ != 1.0f) ZoomAbout(1.0f, ViewportCentre(), true);
}

QPointF CVistrelView::ViewportCentre() const {
    return {viewport()->width() / 2.0, viewport()->height() / 2.0};
}

void CVistrelView::ZoomAt(float zoom, QPoint viewportAnchor) {
    ZoomAbout(zoom, QPointF(viewportAnchor), false);
}

void CVistrelView::ZoomAbout(float zoom, QPointF from, bool keepCentre) {
    if (zoom <= 0.0f || !doc_) return;
    const QPointF picture = from + QPointF(ScrollOffset());
    const QPointF image(picture.x() / zoom_, picture.y() / zoom_);
    Render(zoom, {});
    const QPointF to = keepCentre ? ViewportCentre() : from;
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(image.x() * zoom_ - to.x())));
    verticalScrollBar()->setValue(static_cast<int>(std::lround(image.y() * zoom_ - to.y())));
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

void CVistrelView::OnDeselectRoi() {
    roi_ = {};
    dragMode_ = moving_ = false;
    WriteRoiPane();
    viewport()->update();
}

void CVistrelView::SetRuler(QPointF from, QPointF to) {
    rulerFrom_ = from;
    rulerTo_ = to;
    ShowRulerText();
    viewport()->update();
}

double CVistrelView::RulerLength() const {
    if (!doc_) return 0.0;
    const QPointF d = rulerTo_ - rulerFrom_;
    return doc_->PixelsToMillimetres(std::hypot(d.x(), d.y()));
}

std::vector<int> CVistrelView::RulerLevels() const {
    std::vector<int> levels;
    if (!doc_ || !doc_->image.IsValid()) return levels;
    const CMImage& image = doc_->image;
    const QPointF d = rulerTo_ - rulerFrom_;
    const int steps = static_cast<int>(std::ceil(std::max(std::abs(d.x()), std::abs(d.y()))));
    for (int i = 0; i <= steps; ++i) {
        const double t = steps == 0 ? 0.0 : double(i) / steps;
        const int x = static_cast<int>(std::floor(rulerFrom_.x() + t * d.x()));
        const int y = static_cast<int>(std::floor(rulerFrom_.y() + t * d.y()));
        if (x < 0 || y < 0 || x >= image.width || y >= image.height) continue;
        levels.push_back(static_cast<uint16_t>(image.GetPixel(x, y)) - image.valueOffset);
    }
    return levels;
}

void CVistrelView::ShowRulerText() {
    // Only the view the user works in may write the shared pane: the one
    // with the focus, or the one that gets it back when a dialog closes.
    if (!hasFocus() && window()->focusWidget() != this) return;
    QString text = RulerPaneText(RulerLength());
    // A length at the default pixel size is an estimate, and says so.
    if (!text.isEmpty() && doc_) text += ToQ(doc_->ResolutionNote());
    emit paneText(3, text);
}

void CVistrelView::OnShowOriginal() {
    if (!doc_) return;
    if (!showOriginal_ && !doc_->originalImage.IsValid()) return;
    showOriginal_ = !showOriginal_;
    OnDocumentUpdated(kUpdateImage);
}

std::vector<std::pair<QString, QColor>> CVistrelView::OverlayLetters() const {
    std::vector<std::pair<QString, QColor>> letters;
    letters.reserve(overlay_.size());
    for (const COverlayShape& shape : overlay_) letters.emplace_back(shape.letter, shape.colour);
    return letters;
}

void CVistrelView::AddOutline(const CRegion& region, const QColor& colour,
                              const QString& letter) {
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
    if (!letter.isEmpty()) {
        shape.letter = letter;
        const CRect& bounds = region.Bounds();
        shape.letterAt = QPointF(bounds.right * z + 2.0, bounds.top * z);
    }
    overlay_.push_back(std::move(shape));
}

void CVistrelView::BuildOverlay() {
    overlay_.clear();
    if (doc_) {
        // The breast outlines lie under the regions and are always shown.
        const double z = zoom_;
        for (const auto& [outline, colour] :
             {std::pair{&doc_->breastSegment, kBreastOutlineColour},
              std::pair{&doc_->secondSegment, kSecondOutlineColour}}) {
            const std::vector<CPoint>& points = outline->Points();
            if (points.empty()) continue;
            COverlayShape shape;
            const auto at = [z](const CPoint& p) {
                return QPointF((p.x + 0.5) * z, (p.y + 0.5) * z);
            };
            shape.path.moveTo(at(points.front()));
            for (std::size_t i = 1; i < points.size(); ++i) shape.path.lineTo(at(points[i]));
            shape.path.closeSubpath();
            shape.colour = colour;
            overlay_.push_back(std::move(shape));
        }
        const bool letters = app_.showUserDiagnoses;
        // The network's letters take the place of the user's on the regions.
        const bool network = doc_->showNnDiagnoses;
        if (app_.showRos || Mode() == kMouseDrawRos) {
            for (int32_t i = 0; i < doc_->rosRegions.Count(); ++i)
                if (const CRegion* ros = doc_->rosRegions.At(i))
                    AddOutline(*ros, letters ? DiagnosisColour(ros->diagnosis) : kRosOutlineColour,
                               letters ? DiagnosisLetter(ros->diagnosis) : QString());
        }
        if (app_.showRegions) {
            for (int32_t i = 0; i < doc_->regions.Count(); ++i)
                if (const CRegion* region = doc_->regions.At(i)) {
                    if (network) {
                        const char nn = region->nnDiagnosis;
                        if (nn == kNnNoAnswer)
                            AddOutline(*region, kRegionOutlineColour, QString());
                        else
                            AddOutline(*region, NnDiagnosisColour(nn), QString(QChar(nn)));
                    } else {
                        AddOutline(*region,
                                   letters ? DiagnosisColour(region->diagnosis)
                                           : kRegionOutlineColour,
                                   letters ? DiagnosisLetter(region->diagnosis) : QString());
                    }
                }
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
        case kUpdateGeometryRoi:
            roi_ = {};
            dragMode_ = moving_ = false;
            WriteRoiPane();
            UpdateScrollBars();
            viewport()->update();
            break;
        case kUpdateGeometry:
            if (!initialRoiTaken_ && doc_ && !doc_->initialRoi.IsEmpty()) {
                initialRoiTaken_ = true;
                roi_ = doc_->initialRoi;
            }
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
    PaintSeeds(painter, origin, target);
    PaintSelection(painter, origin);
}

void CVistrelView::PaintSeeds(QPainter& painter, const QPoint& origin, const QRect& visible) {
    if (!doc_ || !doc_->HasSeeds()) return;
    const double z = zoom_;
    // The arms grow with the zoom so a seed stays on its pixel when magnified,
    // but never shrink below a visible mark.
    const double arm = std::max(2.0, 1.5 * z);
    // Only seeds whose mark can reach the painted rect: thousands of seeds
    // cost a comparison each, not a drawn line.
    const QRectF reach =
        QRectF(visible.translated(-origin)).adjusted(-arm - 1, -arm - 1, arm + 1, arm + 1);
    const double left = reach.left() / z - 1, right = reach.right() / z;
    const double top = reach.top() / z - 1, bottom = reach.bottom() / z;
    QList<QLineF> lines;
    const CSpotList& seeds = doc_->spots;
    for (int32_t i = 0; i < seeds.Count(); ++i) {
        const CPointResponse& seed = seeds[i];
        if (seed.x < left || seed.x > right || seed.y < top || seed.y > bottom) continue;
        const QPointF at((seed.x + 0.5) * z, (seed.y + 0.5) * z);
        lines << QLineF(at.x() - arm, at.y(), at.x() + arm, at.y())
              << QLineF(at.x(), at.y() - arm, at.x(), at.y() + arm);
    }
    if (lines.isEmpty()) return;
    painter.save();
    painter.translate(origin);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(kSeedColour, 0));
    painter.drawLines(lines);
    painter.restore();
}

void CVistrelView::PaintSelection(QPainter& painter, const QPoint& origin) {
    painter.save();
    painter.translate(origin);
    const double z = zoom_;
    if (!roi_.IsEmpty()) {
        // Two passes so that the frame shows on dark and bright tissue alike.
        const QRectF frame(roi_.left * z, roi_.top * z, roi_.Width() * z - 1,
                           roi_.Height() * z - 1);
        painter.setPen(QPen(Qt::black, 0));
        painter.drawRect(frame);
        painter.setPen(QPen(Qt::white, 0, Qt::DashLine));
        painter.drawRect(frame);
    }
    if (rulerFrom_ != rulerTo_) {
        painter.setPen(QPen(rulerActive_ ? QColor(Qt::white) : kRulerColour, 0));
        painter.drawLine(rulerFrom_ * z, rulerTo_ * z);
    }
    if (drawing_ && drawnRegion_.size() > 1) {
        painter.setPen(QPen(kRosOutlineColour, 0));
        QPainterPath path;
        const auto at = [z](const CPoint& p) { return QPointF((p.x + 0.5) * z, (p.y + 0.5) * z); };
        path.moveTo(at(drawnRegion_.front()));
        for (std::size_t i = 1; i < drawnRegion_.size(); ++i) path.lineTo(at(drawnRegion_[i]));
        painter.drawPath(path);
    }
    painter.restore();
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
    WriteRoiPane();
    if (Mode() == kMouseRuler) ShowRulerText();
}

// ---------------------------------------------------------------- mouse

QPoint CVistrelView::ScrollOffset() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

QPointF CVistrelView::ImagePointF(QPoint viewportPoint) const {
    const QPoint picture = viewportPoint + ScrollOffset();
    return {picture.x() / double(zoom_), picture.y() / double(zoom_)};
}

QPoint CVistrelView::ImagePoint(QPoint viewportPoint) const {
    const QPointF at = ImagePointF(viewportPoint);
    return {static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y()))};
}

QPoint CVistrelView::ViewportPoint(QPoint imagePoint) const {
    const QPointF picture((imagePoint.x() + 0.5) * zoom_, (imagePoint.y() + 0.5) * zoom_);
    return QPoint(static_cast<int>(std::floor(picture.x())),
                  static_cast<int>(std::floor(picture.y()))) -
           ScrollOffset();
}

void CVistrelView::WriteCursorPanes(QPoint viewportPoint) {
    if (!doc_ || !doc_->image.IsValid()) return;
    const QPoint at = ImagePoint(viewportPoint);
    const CMImage& image = doc_->image;
    if (at.x() < 0 || at.y() < 0 || at.x() >= image.width || at.y() >= image.height) return;
    emit paneText(1, CursorPaneText(at.x(), at.y()));
    // Samples of 16-bit images go beyond the signed range of GetPixel.
    const int value = static_cast<uint16_t>(image.GetPixel(at.x(), at.y())) - image.valueOffset;
    emit paneText(2, ValuePaneText(value));
}

void CVistrelView::WriteRoiPane() {
    if (Mode() == kMouseRoi || Mode() == kMouseSrdmRoi) emit paneText(3, RoiPaneText(roi_));
}

void CVistrelView::MoveRoiTo(QPoint topLeft) {
    if (!doc_) return;
    const int32_t w = roi_.Width(), h = roi_.Height();
    // The ROI stays on the image when it fits there.
    const int32_t maxLeft = std::max(0, doc_->image.width - w);
    const int32_t maxTop = std::max(0, doc_->image.height - h);
    roi_.left = std::clamp(topLeft.x(), 0, maxLeft);
    roi_.top = std::clamp(topLeft.y(), 0, maxTop);
    roi_.right = roi_.left + w;
    roi_.bottom = roi_.top + h;
}

void CVistrelView::mousePressEvent(QMouseEvent* event) {
    // The middle button pans in every mode and leaves the mode's selection alone.
    if (event->button() == Qt::MiddleButton) {
        panning_ = true;
        panStart_ = event->position().toPoint();
        panScrollStart_ = ScrollOffset();
        viewport()->setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton || !doc_ || !doc_->image.IsValid()) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint viewportPoint = event->position().toPoint();
    const QPoint at = ImagePoint(viewportPoint);
    switch (Mode()) {
        case kMouseRoi:
            if (RoiContains(roi_, at)) {
                moving_ = true;
                dragOffset_ = at - QPoint(roi_.left, roi_.top);
            } else {
                dragMode_ = true;
                roiAnchor_ = QPoint(std::clamp(at.x(), 0, doc_->image.width),
                                    std::clamp(at.y(), 0, doc_->image.height));
                roi_ = {};
            }
            break;
        case kMouseSrdmRoi:
            if (RoiContains(roi_, at)) {
                moving_ = true;
                dragOffset_ = at - QPoint(roi_.left, roi_.top);
            } else {
                roi_ = {0, 0, kSrdmRoiSize, kSrdmRoiSize};
                MoveRoiTo(at - QPoint(kSrdmRoiSize / 2, kSrdmRoiSize / 2));
                doc_->image.ClipRect(roi_);
                moving_ = true;
                dragOffset_ = at - QPoint(roi_.left, roi_.top);
            }
            break;
        case kMouseRuler:
            rulerActive_ = true;
            rulerFrom_ = rulerTo_ = ImagePointF(viewportPoint);
            ShowRulerText();
            break;
        case kMouseDrawRos:
            drawing_ = true;
            drawnRegion_.assign(1, CPoint{at.x(), at.y()});
            break;
        case kMouseWinLev: {
            // Before the value bar appears: the drag must start from the
            // bit window on screen, not from the application's stored window.
            doc_->BeginWindowDrag(app_.ValueWindowMode());
            if (!app_.ValueWindowMode()) emit valueWindowWanted();
            int32_t minV = 0, maxV = 0;
            doc_->GetWindowValues(winLevLow_, winLevHigh_, minV, maxV);
            winLevStart_ = viewportPoint;
            winLevActive_ = true;
            break;
        }
    }
    WriteRoiPane();
    WriteCursorPanes(viewportPoint);
    viewport()->update();
}

void CVistrelView::DragWindow(QPoint viewportPoint) {
    int32_t low = 0, high = 0, minV = 0, maxV = 0;
    doc_->GetWindowValues(low, high, minV, maxV);
    // One screen width of horizontal travel spans the whole value range;
    // right widens the window, down raises the level.
    const double perPixel = std::max(1.0, double(maxV - minV) / std::max(1, viewport()->width()));
    const QPoint delta = viewportPoint - winLevStart_;
    const double width = std::max(0.0, (winLevHigh_ - winLevLow_) + delta.x() * perPixel);
    const double level = (winLevHigh_ + winLevLow_) / 2.0 + delta.y() * perPixel;
    const int32_t newLow = static_cast<int32_t>(std::lround(level - width / 2));
    const int32_t newHigh = static_cast<int32_t>(std::lround(level + width / 2));
    if (newLow == low && newHigh == high) return;
    doc_->SetWindowValues(newLow, newHigh);
    doc_->UpdateAllViews(kUpdateDisplay);
}

void CVistrelView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint viewportPoint = event->position().toPoint();
    if (panning_ && (event->buttons() & Qt::MiddleButton)) {
        const QPoint scroll = panScrollStart_ - (viewportPoint - panStart_);
        horizontalScrollBar()->setValue(scroll.x());
        verticalScrollBar()->setValue(scroll.y());
        WriteCursorPanes(viewportPoint);
        return;
    }
    if (panning_) {
        // The release went elsewhere (a popup took the mouse).
        panning_ = false;
        viewport()->unsetCursor();
    }
    WriteCursorPanes(viewportPoint);
    if (!doc_ || !doc_->image.IsValid()) return;
    const QPoint at = ImagePoint(viewportPoint);
    if (dragMode_) {
        const QPoint corner(std::clamp(at.x(), 0, doc_->image.width),
                            std::clamp(at.y(), 0, doc_->image.height));
        roi_ = {std::min(corner.x(), roiAnchor_.x()), std::min(corner.y(), roiAnchor_.y()),
                std::max(corner.x(), roiAnchor_.x()), std::max(corner.y(), roiAnchor_.y())};
        WriteRoiPane();
        viewport()->update();
    } else if (moving_) {
        MoveRoiTo(at - dragOffset_);
        WriteRoiPane();
        viewport()->update();
    } else if (rulerActive_) {
        rulerTo_ = ImagePointF(viewportPoint);
        ShowRulerText();
        viewport()->update();
    } else if (drawing_) {
        const CPoint point{at.x(), at.y()};
        if (!(drawnRegion_.back() == point)) {
            drawnRegion_.push_back(point);
            viewport()->update();
        }
    } else if (winLevActive_) {
        DragWindow(viewportPoint);
    }
}

void CVistrelView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton && panning_) {
        panning_ = false;
        viewport()->unsetCursor();
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    if (dragMode_ || moving_) {
        dragMode_ = moving_ = false;
        WriteRoiPane();
    }
    if (rulerActive_) {
        rulerActive_ = false;
        rulerTo_ = ImagePointF(event->position().toPoint());
        ShowRulerText();
    }
    if (drawing_) {
        drawing_ = false;
        std::vector<CPoint> outline;
        outline.swap(drawnRegion_);
        // A click or a stroke back and forth encloses nothing: no region.
        if (doc_ && outline.size() >= 3) {
            const CRegion ros(outline, CRegion::PointsMode::Polygon);
            if (ros.IsValid() && doc_->rosRegions.Add(ros))
                doc_->UpdateAllViews(kUpdateAnnotations);
        }
    }
    if (winLevActive_) {
        winLevActive_ = false;
        if (doc_) {
            DragWindow(event->position().toPoint());
            // The value bar and the tool windows follow the new window.
            doc_->NotifyImageChanged();
        }
    }
    viewport()->update();
}

void CVistrelView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && doc_ && app_.fitMode == kFitCasePreview &&
        app_.RadiologistsMode()) {
        emit previewOpenWanted(doc_);
        return;
    }
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

int32_t CVistrelView::HitTest(const CRegions& regions, QPoint p) {
    // Nested outlines (members inside a cluster outline): the smallest wins.
    int32_t best = -1;
    int64_t bestArea = 0;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion* region = regions.At(i);
        if (!region || !region->IsValid() || !region->Contains(p.x(), p.y())) continue;
        const CRect& bounds = region->Bounds();
        const int64_t area = int64_t(bounds.Width() + 1) * (bounds.Height() + 1);
        if (best < 0 || area < bestArea) {
            best = i;
            bestArea = area;
        }
    }
    return best;
}

int CVistrelView::ContextMenuAt(QPoint viewportPoint) {
    if (!doc_) return kMenuNone;
    const int mode = Mode();
    if ((mode == kMouseRoi || mode == kMouseSrdmRoi) && !roi_.IsEmpty()) return kMenuRoi;
    if (mode == kMouseRuler && RulerLength() > 0.0) return kMenuRuler;
    if (mode != kMouseDrawRos && !app_.showRegions) return kMenuNone;
    const bool searchRos = mode == kMouseDrawRos && !doc_->rosRegions.IsEmpty();
    CRegions& searched = searchRos ? doc_->rosRegions : doc_->regions;
    const int32_t hit = HitTest(searched, ImagePoint(viewportPoint));
    if (hit >= 0) {
        searched.Select(hit);
        if (searchRos) return kMenuRos;
        return searched.At(hit)->IsClusterOutline() ? kMenuCluster : kMenuRegion;
    }
    if (searched.IsEmpty()) return kMenuNone;
    return searchRos ? kMenuRosList : kMenuRegions;
}

void CVistrelView::contextMenuEvent(QContextMenuEvent* event) {
    // Viewport events reach the scroll area in viewport coordinates.
    const int id = ContextMenuAt(event->pos());
    if (id != kMenuNone) emit contextMenuWanted(id, event->globalPos());
}

void CVistrelView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        wheelAngle_ = 0;
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    event->accept();
    if (!doc_ || !doc_->image.IsValid()) return;
    // One notch (120 eighths of a degree) is one zoom step; finer wheels and
    // touchpads add up to it.
    constexpr int kNotch = 120;
    wheelAngle_ += event->angleDelta().y();
    const int steps = wheelAngle_ / kNotch;
    if (steps == 0) return;
    wheelAngle_ -= steps * kNotch;
    float zoom = zoom_;
    for (int i = 0; i < std::abs(steps); ++i) {
        if (steps > 0)
            zoom += kZoomStep;
        else if (zoom - kZoomStep > 0.0f)
            zoom -= kZoomStep;
    }
    if (zoom != zoom_) ZoomAt(zoom, event->position().toPoint());
}

// ---------------------------------------------------------------- printing

void CVistrelView::Print(QPrinter& printer) {
    if (picture_.isNull()) return;
    QPainter painter(&printer);
    if (!painter.isActive()) return;
    const QRect page = painter.viewport();
    QSize size = picture_.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    painter.setViewport(page.x(), page.y(), size.width(), size.height());
    painter.setWindow(picture_.rect());
    painter.drawImage(0, 0, picture_);
    PaintOverlay(painter, QPoint(0, 0));
    PaintSelection(painter, QPoint(0, 0));
}

}  // namespace vistrel
