#pragma once
// The "Breast Segment" dialog: view, threshold mode, the two percentiles and
// the cone pass, bound to a CBreastSegmentModel. "Segment" accepts.

#include <QDialog>

#include "workspace/breast_segment_model.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vistrel {

class CBreastSegmentDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CBreastSegmentDlg(const CBreastSegmentModel& model, QWidget* parent = nullptr);

    // The choices as the user left them.
    CBreastSegmentModel Model() const;

    // Button ids: the view's kViewLeft .. kViewAuto; threshold 0 "Manual", 1 "Auto".
    QButtonGroup* Views() const { return views_; }
    QButtonGroup* Thresholds() const { return thresholds_; }
    QLineEdit* LowEdit() const { return low_; }
    QLineEdit* HighEdit() const { return high_; }
    QCheckBox* ConeBox() const { return cone_; }
    QPushButton* SegmentButton() const { return segment_; }
    QPushButton* CancelButton() const { return cancel_; }

  private:
    void EnablePercentiles();

    QButtonGroup* views_;
    QButtonGroup* thresholds_;
    QLineEdit* low_;
    QLineEdit* high_;
    QCheckBox* cone_;
    QPushButton* segment_;
    QPushButton* cancel_;
};

}  // namespace vistrel
