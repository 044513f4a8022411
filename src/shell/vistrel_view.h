#pragma once
// The image of one document at a zoom, with scroll bars. The picture is the
// document's rendered palette bitmap, wrapped in a QImage.

#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPrinter>
#include <QString>
#include <memory>
#include <vector>

#include "core/display.h"
#include "core/image.h"
#include "regions/chain_code.h"
#include "workspace/command_menus.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;
class CRegion;
class CRegions;

// Outline colours of the overlay. Diagnosis colours are those of the legend.
QColor DiagnosisColour(int diagnosis);
// "B", "M" or "F" for diagnoses 0, 1 and anything else.
QString DiagnosisLetter(int diagnosis);
// Network letters: T and F in their own colours, B and M as the user's.
QColor NnDiagnosisColour(char letter);
inline const QColor kRegionOutlineColour{0, 255, 0};
inline const QColor kRosOutlineColour{255, 160, 0};
inline const QColor kRulerColour{128, 255, 255};
// The document's seeds: a colour no outline or ruler uses.
inline const QColor kSeedColour{255, 0, 255};
// The breast outline and the pectoral-cone outline.
inline const QColor kBreastOutlineColour{0, 128, 255};
inline const QColor kSecondOutlineColour{0, 150, 200};

// Texts of the three status panes.
QString CursorPaneText(int x, int y);
QString ValuePaneText(int value);
QString RoiPaneText(const CRect& roi);
// Empty below 0.001 mm.
QString RulerPaneText(double millimetres);

class CVistrelView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    CVistrelView(CVistrelDoc& doc, CVistrelApp& app, QWidget* parent = nullptr);
    ~CVistrelView() override;

    // Null once the document has closed.
    CVistrelDoc* Document() const { return doc_; }
    float Zoom() const { return zoom_; }

    // The zoom commands keep the image point at the centre of the window there.
    void OnZoomIn();
    void OnZoomOut();
    void OnActualPixels();
    // Fits the image into the client area, then asks the frame to hug it.
    void OnZoomToFit();
    // Fits into the client area; with onlyLarge an image that already fits stays at 100 %.
    void FitToClient(bool onlyLarge);
    void SetZoom(float zoom);
    // Zooms so that the image point under viewportAnchor stays under it, as
    // far as the scroll range allows.
    void ZoomAt(float zoom, QPoint viewportAnchor);
    // Middle-button panning is in progress.
    bool Panning() const { return panning_; }

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
    // "&Deselect ROI".
    void OnDeselectRoi();

    // The ruler line in image coordinates and its length in millimetres at
    // the document's resolution.
    QPointF RulerFrom() const { return rulerFrom_; }
    QPointF RulerTo() const { return rulerTo_; }
    void SetRuler(QPointF from, QPointF to);
    double RulerLength() const;
    // The grey levels of the image along the ruler, one per pixel step.
    std::vector<int> RulerLevels() const;
    // Writes the ruler length into the third pane (only from the view the user
    // works in), with a note when the pixel size is the default.
    void ShowRulerText();

    // "Back&ground := original image": shows the original image instead of the current one.
    bool ShowsOriginal() const { return showOriginal_; }
    void OnShowOriginal();

    // Set when the view was opened full size from a case preview.
    bool PreviewFull() const { return previewFull_; }
    void SetPreviewFull(bool on) { previewFull_ = on; }

    // The application's mouse mode (kMouseRoi ... kMouseWinLev).
    int Mode() const;

    // Which context menu a right click at a viewport point shows; a region
    // or ROS under the point becomes the selection of its collection.
    int ContextMenuAt(QPoint viewportPoint);
    // The image pixel under a viewport point (may lie outside the image).
    QPoint ImagePoint(QPoint viewportPoint) const;
    // The viewport point showing the centre of an image pixel.
    QPoint ViewportPoint(QPoint imagePoint) const;

    // Paints the picture with its annotations scaled into the printer's page.
    void Print(QPrinter& printer);
    // Rebuilds the annotation overlay (regions, ROS, diagnosis letters) at the
    // current zoom and repaints.
    void BuildOverlay();
    // Number of outlines the overlay currently draws.
    int OverlayShapeCount() const { return static_cast<int>(overlay_.size()); }
    // Letter and colour of every outline of the overlay, in drawing order.
    std::vector<std::pair<QString, QColor>> OverlayLetters() const;

  signals:
    // The frame should shrink or grow around the picture.
    void hugRequested();
    void activated(vistrel::CVistrelDoc* doc);
    // Text for status pane 1 (cursor), 2 (value) or 3 (ROI or ruler).
    void paneText(int pane, const QString& text);
    // A right click asks for context menu id at a global position.
    void contextMenuWanted(int id, QPoint globalPos);
    // Window/level dragging needs the value-window renderer.
    void valueWindowWanted();
    // A double click in case-preview mode asks for the image full size.
    void previewOpenWanted(vistrel::CVistrelDoc* doc);

  protected:
    void paintEvent(QPaintEvent* event) override;
    // The seed crosses inside visible (viewport coordinates).
    void PaintSeeds(QPainter& painter, const QPoint& origin, const QRect& visible);
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    // Zooms about an image point shown at viewport position `from`, which
    // ends up at `to` (the centre moves when scroll bars come or go).
    void ZoomAbout(float zoom, QPointF from, bool keepCentre);
    QPointF ViewportCentre() const;
    void OnDocumentUpdated(int code);
    void Render(float zoom, QSize fitTo);
    void WrapBitmap();
    void UpdateScrollBars();
    void AddOutline(const CRegion& region, const QColor& colour, const QString& letter);
    void PaintOverlay(QPainter& painter, const QPoint& origin);
    void PaintSelection(QPainter& painter, const QPoint& origin);
    // Image coordinates of a viewport point, not rounded.
    QPointF ImagePointF(QPoint viewportPoint) const;
    QPoint ScrollOffset() const;
    void MoveRoiTo(QPoint topLeft);
    void WriteCursorPanes(QPoint viewportPoint);
    void WriteRoiPane();
    void DragWindow(QPoint viewportPoint);
    // Index of the innermost region of a collection containing the point, or -1.
    static int32_t HitTest(const CRegions& regions, QPoint imagePoint);

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
    bool previewFull_ = false;
    std::unique_ptr<CDisplayBitmap> bitmap_;
    std::vector<uint8_t> unpacked_;  // 4-bit bitmaps spread to one byte per pixel
    QImage picture_;
    CRect roi_;
    bool dragMode_ = false;  // a new ROI is being dragged out from roiAnchor_
    bool moving_ = false;    // the ROI is being moved
    QPoint roiAnchor_;
    QPoint dragOffset_;  // cursor minus the ROI's top-left corner while moving
    QPointF rulerFrom_, rulerTo_;
    bool rulerActive_ = false;
    QPoint winLevStart_;
    int32_t winLevLow_ = 0, winLevHigh_ = 0;
    bool winLevActive_ = false;
    std::vector<CPoint> drawnRegion_;  // outline of the ROS being drawn, image coordinates
    bool drawing_ = false;
    bool initialRoiTaken_ = false;
    // Middle-button panning: cursor and scroll position where it started.
    bool panning_ = false;
    QPoint panStart_;
    QPoint panScrollStart_;
    int wheelAngle_ = 0;  // Ctrl+wheel rotation not yet turned into zoom steps  // the document's
                          // initial ROI was taken over
    std::vector<COverlayShape> overlay_;
};

}  // namespace vistrel
