#pragma once
// The "Parameters for morphological operators" dialog: size (pixels and cm),
// shape, the element's buttons, its clickable grid and the iteration count,
// all bound to a CMorphElementModel that OK hands back.

#include <QDialog>
#include <QWidget>
#include <functional>

#include "workspace/morph_element_model.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vistrel {

// The element as a grid of square cells: the left button (also dragged) sets
// the cell under the cursor, the right button clears it. Only cells of the
// element are editable.
class CMorphElementGrid : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kCellPixels = 15;
    static inline const QColor kMemberColour{0, 0, 160};
    static inline const QColor kEmptyColour{255, 255, 255};
    static inline const QColor kCentreMemberColour{220, 0, 0};
    static inline const QColor kCentreEmptyColour{255, 190, 190};
    static inline const QColor kLineColour{150, 150, 150};

    CMorphElementGrid(CMorphElementModel& model, QWidget* parent = nullptr);
    // The element's size changed: the grid takes its new size.
    void ElementChanged();
    // The cell under a widget point, (-1, -1) outside the element.
    QPoint CellAt(QPoint point) const;
    // The centre of a cell in widget coordinates.
    static QPoint CellCentre(int row, int col);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void Edit(QPoint point, Qt::MouseButtons buttons);

    CMorphElementModel& model_;
};

class CMorphElementDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CMorphElementDlg(const CMorphElementModel& model, QWidget* parent = nullptr);

    // The element and count as the user left them.
    const CMorphElementModel& Model() const { return model_; }

    QSpinBox* SizeBox() const { return size_; }
    QLineEdit* CmEdit() const { return cm_; }
    QLabel* ResolutionLabel() const { return resolution_; }
    QButtonGroup* Shapes() const { return shapes_; }
    QPushButton* CreateButton() const { return create_; }
    QPushButton* ClearButton() const { return clear_; }
    QPushButton* RotateButton() const { return rotate_; }
    QSpinBox* IterationsBox() const { return iterations_; }
    CMorphElementGrid* Grid() const { return grid_; }

  private:
    // Shows the model's size in both fields.
    void ShowSize();

    CMorphElementModel model_;
    QSpinBox* size_;
    QLineEdit* cm_;
    QLabel* resolution_;
    QButtonGroup* shapes_;
    QPushButton* create_;
    QPushButton* clear_;
    QPushButton* rotate_;
    QSpinBox* iterations_;
    CMorphElementGrid* grid_;
};

}  // namespace vistrel
