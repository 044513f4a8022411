#pragma once
// A modal dialog offering mutually exclusive options as radio buttons.

#include <QButtonGroup>
#include <QDialog>
#include <string>
#include <vector>

namespace vistrel {

class CRadioGroupDlg : public QDialog {
    Q_OBJECT
  public:
    CRadioGroupDlg(const QString& title, int initialIndex, const std::vector<std::string>& options,
                   QWidget* parent = nullptr);
    int Selected() const;
    void Select(int index);

    // Shows the dialog; returns QDialog::Accepted or Rejected and the selected index.
    static int Run(QWidget* parent, const std::string& title, int initialIndex,
                   const std::vector<std::string>& options, int& selected);

  private:
    QButtonGroup* group_;
};

}  // namespace vistrel
