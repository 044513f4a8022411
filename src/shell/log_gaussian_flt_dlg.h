#pragma once
// The "LoG & Gaussian filters" tool window, bound to CLogGaussianFltModel.
// Each "&Apply" filters the image of the document it follows and opens the
// result as a new document.

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "workspace/log_gaussian_flt_model.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

class CLogGaussianFltDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CLogGaussianFltDlg(CVistrelApp& app, QWidget* parent = nullptr);

    // The document the buttons work on (null: none).
    void Bind(CVistrelDoc* doc) { model_.BindSource(doc); }
    CVistrelDoc* Document() const { return model_.Source(); }

    const CLogGaussianFltModel& Model() const { return model_; }
    QSpinBox* ScaleSpin() const { return scaleSpin_; }
    QLineEdit* DimensionEdit() const { return dimensionEdit_; }
    QLineEdit* SigmaEdit() const { return sigmaEdit_; }
    QLineEdit* GaussSigmaEdit() const { return gaussSigmaEdit_; }
    QLineEdit* DogSigma1Edit() const { return dogSigma1Edit_; }
    QLineEdit* DogSigma2Edit() const { return dogSigma2Edit_; }
    QLineEdit* DogWeightEdit() const { return dogWeightEdit_; }
    QLineEdit* SubtractSigmaEdit() const { return subtractSigmaEdit_; }
    QPushButton* LoGApplyButton() const { return logApply_; }
    QPushButton* GaussApplyButton() const { return gaussApply_; }
    QPushButton* DogApplyButton() const { return dogApply_; }
    QPushButton* SubtractApplyButton() const { return subtractApply_; }

  private:
    void ReadFields();
    void ShowModel();

    CLogGaussianFltModel model_;
    QSpinBox* scaleSpin_;
    QLineEdit* dimensionEdit_;
    QLineEdit* sigmaEdit_;
    QLineEdit* gaussSigmaEdit_;
    QLineEdit* dogSigma1Edit_;
    QLineEdit* dogSigma2Edit_;
    QLineEdit* dogWeightEdit_;
    QLineEdit* subtractSigmaEdit_;
    QPushButton* logApply_;
    QPushButton* gaussApply_;
    QPushButton* dogApply_;
    QPushButton* subtractApply_;
};

}  // namespace vistrel
