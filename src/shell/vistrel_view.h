#pragma once
// The image of one document at a zoom, with scroll bars. The picture is the
// document's rendered palette bitmap, wrapped in a QImage.

#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QString>
#include <memory>
#include <vector>

#include "core/display.h"
#include "core/image.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;
class CRegion;

// Outline colours of the overlay. Diagnosis colours are those of the legend.
QColor DiagnosisColour(int diagnosis);
// "B", "M" or "F" for diagnoses 0, 1 and anything else.
QString DiagnosisLetter(int diagnosis);
inline const QColor kRegionOutlineColour{0, 255, 0};
inline const QColor kRosOutlineColour{255, 160, 0};

class CVistrelView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    CVistrelView(CVistrelDoc& doc, CVistrelApp& app, QWidget* parent = nullptr);
    ~CVistrelView() override;

    // Null once the document has closed.
    CVistrelDoc* Document() const { return doc_; }
    float Zoom() const { return zoom_; }

    void OnZoomIn();
    void OnZoomOut();
    void OnActualPixels();
    // Fits the image into the client area, then asks the frame to hug it.
    void OnZoomToFit();
    // Fits into the client area; with onlyLarge an image that already fits stays at 100 %.
    void FitToClient(bool onlyLarge);
    void SetZoom(float zoom);

    // Re-renders the display bitmap at the current zoom.
    void RenderDisplay();
    const CDisplayBitmap* DisplayBitmap() const { return bitmap_.get(); }
    const QImage& DisplayImage() const { return picture_; }
    // Size of the rendered picture (empty when nothing can be painted).
    QSize PictureSize() const { return picture_.size(); }
    QSize sizeHint() const override;

    // The ROI selection in image coordinates (empty = none).
    const CRect& Roi() const { return roi_; }
    void SetRoi(const CRect& roi);
    // Rebuilds the annotation overlay (regions, ROS, diagnosis letters) at the
    // current zoom and repaints.
    void BuildOverlay();
    // Number of outlines the overlay currently draws.
    int OverlayShapeCount() const { return static_cast<int>(overlay_.size()); }

  signals:
    // The frame should shrink or grow around the picture.
    void hugRequested();
    void activated(vistrel::CVistrelDoc* doc);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    void OnDocumentUpdated(int code);
    void Render(float zoom, QSize fitTo);
    void WrapBitmap();
    void UpdateScrollBars();
    void AddOutline(const CRegion& region, const QColor& colour, bool letter);
    void PaintOverlay(QPainter& painter, const QPoint& origin);

    // One outline of the overlay in picture coordinates (pixel centres at zoom).
    struct COverlayShape {
        QPainterPath path;
        QColor colour;
        QString letter;  // diagnosis letter, empty when not shown
        QPointF letterAt;
    };

    CVistrelDoc* doc_;
    CVistrelApp& app_;
    float zoom_ = 1.0f;
    bool showOriginal_ = false;
    std::unique_ptr<CDisplayBitmap> bitmap_;
    std::vector<uint8_t> unpacked_;  // 4-bit bitmaps spread to one byte per pixel
    QImage picture_;
    CRect roi_;
    std::vector<COverlayShape> overlay_;
};

}  // namespace vistrel
