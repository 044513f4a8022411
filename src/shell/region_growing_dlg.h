#pragma once
// The "Region Growing" parameters dialog: two fields bound to a CRegionGrowingModel.

#include <QDialog>

#include "workspace/region_growing_model.h"

class QSpinBox;
class QDoubleSpinBox;

namespace vistrel {

class CRegionGrowingDlg : public QDialog {
    Q_OBJECT
  public:
    CRegionGrowingDlg(const CRegionGrowingModel& model, QWidget* parent = nullptr);
    // The fields as the user left them.
    CRegionGrowingModel Model() const;
    QSpinBox* BoundsBox() const { return bounds_; }
    QDoubleSpinBox* PercentBox() const { return percent_; }

  private:
    QSpinBox* bounds_;
    QDoubleSpinBox* percent_;
};

}  // namespace vistrel
