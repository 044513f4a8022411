#pragma once
// "Open RAW File...": size, depth and alignment of a headerless file.

#include <QButtonGroup>
#include <QDialog>
#include <QLabel>
#include <QSpinBox>

#include "core/image.h"

namespace vistrel {

class CRawParamDlg : public QDialog {
    Q_OBJECT
  public:
    CRawParamDlg(const QString& fileName, const CRawParams& initial, QWidget* parent = nullptr);
    CRawParams Params() const;

    QSpinBox* WidthEdit() const { return width_; }
    QSpinBox* HeightEdit() const { return height_; }
    QButtonGroup* DepthGroup() const { return depth_; }
    QButtonGroup* AlignmentGroup() const { return alignment_; }
    // The LSB/MSB pair is offered only for 12 and 14 bits.
    bool AlignmentShown() const;

  private:
    void OnDepthChanged();
    QSpinBox* width_;
    QSpinBox* height_;
    QButtonGroup* depth_;
    QButtonGroup* alignment_;
    QWidget* alignmentBox_;
};

}  // namespace vistrel
