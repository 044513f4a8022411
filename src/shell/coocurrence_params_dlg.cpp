#include "shell/coocurrence_params_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

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
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    problem_->setWordWrap(true);
    problem_->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCoocurrenceParamsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CCoocurrenceParamsDlg::accept() {
    // A value still being typed counts as entered.
    distance_->interpretText();
    ring_->interpretText();
    CCoocurrenceParamsModel typed = model_;
    typed.distance = distance_->value();
    typed.ring = ring_->value();
    const std::string problem = typed.Problem();
    if (!problem.empty()) {
        problem_->setText(ToQ(problem));
        problem_->show();
        return;
    }
    model_ = typed;
    QDialog::accept();
}

}  // namespace vistrel
