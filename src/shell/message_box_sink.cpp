#include "shell/message_box_sink.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include "shell/qt_text.h"

namespace vistrel {

void CMessageBoxSink::show(const std::string& text) {
    QMessageBox::information(parent_, QStringLiteral("Vistrel"), ToQ(text));
}

int CMessageBoxSink::ask(const std::string& text, const std::vector<std::string>& choices) {
    QMessageBox box(parent_);
    box.setWindowTitle(QStringLiteral("Vistrel"));
    box.setText(ToQ(text));
    const bool okCancel = !choices.empty() && choices.front() == "OK";
    box.setIcon(okCancel ? QMessageBox::Warning : QMessageBox::Question);
    std::vector<QAbstractButton*> buttons;
    for (const std::string& choice : choices) {
        QMessageBox::ButtonRole role = QMessageBox::ActionRole;
        if (choice == "Yes") role = QMessageBox::YesRole;
        if (choice == "No") role = QMessageBox::NoRole;
        if (choice == "OK") role = QMessageBox::AcceptRole;
        if (choice == "Cancel") role = QMessageBox::RejectRole;
        QPushButton* button = box.addButton(ToQ(choice), role);
        if (choice == "Cancel" || choice == "No") box.setEscapeButton(button);
        buttons.push_back(button);
    }
    if (buttons.empty()) buttons.push_back(box.addButton(QMessageBox::Ok));
    box.setDefaultButton(qobject_cast<QPushButton*>(buttons.front()));
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
    return static_cast<int>(buttons.size()) - 1;  // closed: the last (Cancel/No) answer
}

}  // namespace vistrel
