#pragma once
// The "Histogram" tool window: the drawing of the active document's
// histogram, its figures, the level under the mouse and the range selected by
// dragging across the drawing.

#include <QDialog>
#include <QLabel>
#include <QWidget>
#include <utility>
#include <vector>

#include "workspace/histogram_model.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

// Paints the model's bins inside a two-pixel frame; column c of the model is
// pixel column c + kInset. Mouse moves hover, drags select.
class CHistogramCtrl : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kInset = CHistogramModel::kFrameColumns / 2;

    explicit CHistogramCtrl(CHistogramModel& model, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {260, 160}; }
    QSize minimumSizeHint() const override { return {64, 48}; }

    // The model column under a pixel column of the control.
    static int ColumnAt(int x) { return x - kInset; }

  signals:
    // The level under the mouse or the selection changed.
    void hoverChanged();
    void selectionChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    CHistogramModel& model_;
    bool dragging_ = false;
};

class CHistogramDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CHistogramDlg(CVistrelApp& app, QWidget* parent = nullptr);

    // Shows a document's histogram (null: an empty window).
    void Bind(CVistrelDoc* doc);
    CVistrelDoc* Document() const { return doc_; }

    CHistogramCtrl* Control() const { return control_; }
    const CHistogramModel& Model() const { return model_; }
    // The value label beside a caption such as "Mean:" or "Level:"; the
    // selection labels are "Range:", "Range count:" and "Range mean:".
    QLabel* Figure(const QString& caption) const;

  private:
    void ShowFigures();
    void ShowHover();
    void ShowSelection();

    CVistrelApp& app_;
    CHistogramModel model_;
    CVistrelDoc* doc_ = nullptr;
    CHistogramCtrl* control_;
    std::vector<std::pair<QString, QLabel*>> figures_;
};

}  // namespace vistrel
