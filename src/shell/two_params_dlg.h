#pragma once
// A two-field parameter dialog bound to a CTwoParamsModel: each field is a
// spin box with the model's range (whole numbers for fields without
// decimals), and OK is refused with the model's problem while a value is
// out of its range.

#include <QDialog>
#include <array>

#include "workspace/two_params_model.h"

class QAbstractSpinBox;
class QLabel;
class QPushButton;

namespace vistrel {

class CTwoParamsDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CTwoParamsDlg(const CTwoParamsModel& model, QWidget* parent = nullptr);

    // The model with the accepted values (as opened until OK succeeds).
    const CTwoParamsModel& Model() const { return model_; }

    // A QSpinBox for an integer field, else a QDoubleSpinBox.
    QAbstractSpinBox* FieldBox(int i) const { return boxes_[static_cast<size_t>(i & 1)]; }
    // Sets field i's box as if typed (for both kinds of box).
    void SetFieldValue(int i, double value);
    QLabel* ProblemLabel() const { return problem_; }
    QPushButton* OkButton() const { return ok_; }

    void accept() override;

  private:
    double FieldValue(int i) const;

    CTwoParamsModel model_;
    std::array<QAbstractSpinBox*, 2> boxes_{};
    QLabel* problem_;
    QPushButton* ok_;
};

}  // namespace vistrel
