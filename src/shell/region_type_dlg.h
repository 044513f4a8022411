#pragma once
// The region-type dialog asked before features are written to a file: the
// type and its details, bound to a CRegionTypeModel. OK is refused, with the
// model's reason shown, while the model does not accept the fields.

#include <QDialog>

#include "workspace/feature_models.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vistrel {

class CRegionTypeDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CRegionTypeDlg(const CRegionTypeModel& model, QWidget* parent = nullptr);

    const CRegionTypeModel& Model() const { return model_; }

    QLineEdit* TypeEdit() const { return type_; }
    QLineEdit* DetailEdit() const { return detail_; }
    // The reason OK was refused, empty until then.
    QLabel* ProblemLabel() const { return problem_; }
    QPushButton* OkButton() const { return ok_; }

    // Takes the fields and closes only when the model accepts them.
    void accept() override;

  private:
    CRegionTypeModel model_;
    QLineEdit* type_;
    QLineEdit* detail_;
    QLabel* problem_;
    QPushButton* ok_;
};

}  // namespace vistrel
