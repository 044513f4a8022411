#pragma once
// A read-only window of text the commands produce (feature listings,
// matrices): fixed-pitch so that the columns line up, selectable and
// copyable, with "Save..." to keep the text in a file. Non-modal; several
// can be open at once.

#include <QString>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace vistrel {

class CTextWindow : public QWidget {
    Q_OBJECT
  public:
    CTextWindow(const QString& title, const QString& text, QWidget* parent = nullptr);

    QString Text() const;
    QPlainTextEdit* Editor() const { return editor_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* CopyButton() const { return copy_; }
    QPushButton* CloseButton() const { return close_; }

    // Writes the text to path atomically (a failure is reported through the
    // message sink and leaves an existing file as it was). False on failure.
    bool SaveTo(const QString& path) const;
    // "Save...": asks for a file name, then SaveTo.
    void Save();

  private:
    QPlainTextEdit* editor_;
    QPushButton* save_;
    QPushButton* copy_;
    QPushButton* close_;
};

}  // namespace vistrel
