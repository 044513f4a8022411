#include "shell/region_growing_dlg.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vistrel {

CRegionGrowingDlg::CRegionGrowingDlg(const CRegionGrowingModel& model, QWidget* parent)
    : QDialog(parent), bounds_(new QSpinBox(this)), percent_(new QDoubleSpinBox(this)) {
    setWindowTitle(QString::fromLatin1(CRegionGrowingModel::kTitle));
    // The boxes' ranges are the model's, so OK can never carry a refused value.
    bounds_->setRange(0, CRegionGrowingModel::kMaxAddedBoundsLimit);
    bounds_->setValue(model.maxAddedBounds);
    percent_->setRange(0.0, CRegionGrowingModel::kPercentLimit);
    percent_->setDecimals(3);
    percent_->setValue(model.percent);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(QString::fromLatin1(CRegionGrowingModel::kMaxAddedBoundsLabel), bounds_);
    form->addRow(QString::fromLatin1(CRegionGrowingModel::kPercentLabel), percent_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

CRegionGrowingModel CRegionGrowingDlg::Model() const {
    CRegionGrowingModel model;
    model.maxAddedBounds = bounds_->value();
    model.percent = percent_->value();
    return model;
}

}  // namespace vistrel
