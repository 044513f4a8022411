#include "shell/radio_group_dlg.h"

#include <QDialogButtonBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "shell/qt_text.h"

namespace vistrel {

CRadioGroupDlg::CRadioGroupDlg(const QString& title, int initialIndex,
                               const std::vector<std::string>& options, QWidget* parent)
    : QDialog(parent), group_(new QButtonGroup(this)) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    for (std::size_t i = 0; i < options.size(); ++i) {
        auto* button = new QRadioButton(ToQ(options[i]), this);
        group_->addButton(button, static_cast<int>(i));
        layout->addWidget(button);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    Select(initialIndex);
}

int CRadioGroupDlg::Selected() const {
    return group_->checkedId();
}

void CRadioGroupDlg::Select(int index) {
    if (QAbstractButton* button = group_->button(index)) button->setChecked(true);
}

int CRadioGroupDlg::Run(QWidget* parent, const std::string& title, int initialIndex,
                        const std::vector<std::string>& options, int& selected) {
    CRadioGroupDlg dialog(ToQ(title), initialIndex, options, parent);
    const int result = dialog.exec();
    selected = dialog.Selected();
    return result;
}

}  // namespace vistrel
