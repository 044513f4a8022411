#pragma once
// "Cooccurence Matrix Params": the pair distance and the width of the square
// ring around an object, bound to a CCoocurrenceParamsModel; the spin boxes
// keep the model's ranges and OK is refused while the model reports a problem.

#include <QDialog>

#include "workspace/feature_models.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace vistrel {

class CCoocurrenceParamsDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CCoocurrenceParamsDlg(const CCoocurrenceParamsModel& model, QWidget* parent = nullptr);

    const CCoocurrenceParamsModel& Model() const { return model_; }

    QSpinBox* DistanceBox() const { return distance_; }
    QSpinBox* RingBox() const { return ring_; }
    QLabel* ProblemLabel() const { return problem_; }
    QPushButton* OkButton() const { return ok_; }

    void accept() override;

  private:
    CCoocurrenceParamsModel model_;
    QSpinBox* distance_;
    QSpinBox* ring_;
    QLabel* problem_;
    QPushButton* ok_;
};

}  // namespace vistrel
