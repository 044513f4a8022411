#include "shell/region_type_dlg.h"

#include <QLineEdit>

#include "shell/form_dialog.h"
#include "shell/qt_text.h"

namespace vistrel {

CRegionTypeDlg::CRegionTypeDlg(const CRegionTypeModel& model, QWidget* parent)
    : QDialog(parent),
      model_(model),
      type_(new QLineEdit(ToQ(model.type), this)),
      detail_(new QLineEdit(ToQ(model.detail), this)),
      problem_(new QLabel(this)),
      ok_(nullptr) {
    setWindowTitle(ToQ(CRegionTypeModel::kTitle));
    auto* form = new QFormLayout;
    form->addRow(ToQ(CRegionTypeModel::kTypeLabel), type_);
    form->addRow(ToQ(CRegionTypeModel::kDetailLabel), detail_);
    ok_ = LayOutFormDialog(*this, form, problem_);
    type_->setMinimumWidth(280);
}

void CRegionTypeDlg::accept() {
    CRegionTypeModel typed = model_;
    typed.type = FromQ(type_->text());
    typed.detail = FromQ(detail_->text());
    if (RefuseWith(problem_, typed.Problem())) {
        type_->setFocus();
        return;
    }
    model_ = typed;
    QDialog::accept();
}

}  // namespace vistrel
