#include "shell/two_params_dlg.h"

#include <QDoubleSpinBox>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

#include "shell/form_dialog.h"
#include "shell/qt_text.h"

namespace vistrel {

namespace {

QAbstractSpinBox* MakeBox(const CTwoParamsModel::CField& field, QWidget* parent) {
    if (field.decimals <= 0) {
        auto* box = new QSpinBox(parent);
        // A range beyond int would wrap; it is clamped to what the box can hold.
        const double lo = std::clamp(std::ceil(field.min), -2147483647.0, 2147483647.0);
        const double hi = std::clamp(std::floor(field.max), lo, 2147483647.0);
        box->setRange(static_cast<int>(lo), static_cast<int>(hi));
        if (std::isfinite(field.value))
            box->setValue(static_cast<int>(std::lround(std::clamp(field.value, lo, hi))));
        return box;
    }
    auto* box = new QDoubleSpinBox(parent);
    box->setDecimals(field.decimals);
    box->setRange(field.min, field.max);
    if (std::isfinite(field.value)) box->setValue(field.value);
    return box;
}

}  // namespace

CTwoParamsDlg::CTwoParamsDlg(const CTwoParamsModel& model, QWidget* parent)
    : QDialog(parent), model_(model), problem_(new QLabel(this)), ok_(nullptr) {
    setWindowTitle(ToQ(model.title));
    auto* form = new QFormLayout;
    for (size_t i = 0; i < boxes_.size(); ++i) {
        boxes_[i] = MakeBox(model.fields[i], this);
        form->addRow(ToQ(model.fields[i].label), boxes_[i]);
    }
    ok_ = LayOutFormDialog(*this, form, problem_);
}

double CTwoParamsDlg::FieldValue(int i) const {
    QAbstractSpinBox* box = FieldBox(i);
    if (auto* whole = qobject_cast<QSpinBox*>(box)) return whole->value();
    return static_cast<QDoubleSpinBox*>(box)->value();
}

void CTwoParamsDlg::SetFieldValue(int i, double value) {
    QAbstractSpinBox* box = FieldBox(i);
    if (auto* whole = qobject_cast<QSpinBox*>(box))
        whole->setValue(static_cast<int>(std::lround(value)));
    else
        static_cast<QDoubleSpinBox*>(box)->setValue(value);
}

void CTwoParamsDlg::accept() {
    CTwoParamsModel typed = model_;
    for (int i = 0; i < 2; ++i) {
        // A value still being typed counts as entered.
        FieldBox(i)->interpretText();
        typed.fields[static_cast<size_t>(i)].value = FieldValue(i);
    }
    // The box rounds its range to its decimals, so it can hold a value the
    // model's exact range refuses.
    if (RefuseWith(problem_, typed.Problem())) return;
    model_ = typed;
    QDialog::accept();
}

}  // namespace vistrel
