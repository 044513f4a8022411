#pragma once

// The layout shared by the small OK/Cancel dialogs that check what was typed:
// a form, a red line naming the problem (hidden until OK finds one), and the
// buttons. OK goes through the dialog's own accept() so it can refuse.

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>

#include "shell/qt_text.h"

namespace vistrel {

// Lays `form`, `problem` and the OK/Cancel buttons out in `dialog`; returns the
// OK button. accept() is virtual, so OK reaches the dialog's checking override.
inline QPushButton* LayOutFormDialog(QDialog& dialog, QFormLayout* form, QLabel* problem) {
    problem->setStyleSheet(QStringLiteral("color: #b00000"));
    problem->setWordWrap(true);
    problem->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(problem);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons->button(QDialogButtonBox::Ok);
}

// Shows the model's reason for refusing OK in the problem line; true when
// there is one, so that accept() keeps the dialog open.
inline bool RefuseWith(QLabel* problemLabel, const std::string& problem) {
    if (problem.empty()) return false;
    problemLabel->setText(ToQ(problem));
    problemLabel->show();
    return true;
}

}  // namespace vistrel
