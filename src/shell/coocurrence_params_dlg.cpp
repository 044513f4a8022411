#include "shell/coocurrence_params_dlg.h"

#include <QSpinBox>

#include "shell/form_dialog.h"
#include "shell/qt_text.h"

namespace vistrel {

CCoocurrenceParamsDlg::CCoocurrenceParamsDlg(const CCoocurrenceParamsModel& model, QWidget* parent)
    : QDialog(parent),
      model_(model),
      distance_(new QSpinBox(this)),
      ring_(new QSpinBox(this)),
      problem_(new QLabel(this)),
      ok_(nullptr) {
    setWindowTitle(ToQ(CCoocurrenceParamsModel::kTitle));
    distance_->setRange(1, CCoocurrenceParamsModel::kMaxDistance);
    ring_->setRange(0, CCoocurrenceParamsModel::kMaxRing);
    // A remembered value out of range shows clamped; OK then stores the clamp.
    distance_->setValue(model.distance);
    ring_->setValue(model.ring);
    auto* form = new QFormLayout;
    form->addRow(ToQ(CCoocurrenceParamsModel::kDistanceLabel), distance_);
    form->addRow(ToQ(CCoocurrenceParamsModel::kRingLabel), ring_);
    ok_ = LayOutFormDialog(*this, form, problem_);
}

void CCoocurrenceParamsDlg::accept() {
    // A value still being typed counts as entered.
    distance_->interpretText();
    ring_->interpretText();
    CCoocurrenceParamsModel typed = model_;
    typed.distance = distance_->value();
    typed.ring = ring_->value();
    if (RefuseWith(problem_, typed.Problem())) return;
    model_ = typed;
    QDialog::accept();
}

}  // namespace vistrel
