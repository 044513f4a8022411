#pragma once
// The progress bar of long work: a modal dialog with a "Cancel" button that
// appears only once the work has run for a while, so quick commands never
// flash a window. Begin/End nest; only the outermost pair shows and hides it.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <string>

class QWidget;

namespace vistrel {

class CWorkProgress : public QObject {
    Q_OBJECT
  public:
    // The dialog is centred on parent (may be null) once the outermost work
    // has run for showDelayMs.
    explicit CWorkProgress(QWidget* parent = nullptr, int showDelayMs = 500);
    ~CWorkProgress() override;
    CWorkProgress(const CWorkProgress&) = delete;
    CWorkProgress& operator=(const CWorkProgress&) = delete;

    // Work starts; text labels the bar (the outermost work's text is kept).
    void Begin(const std::string& text);
    // Fraction done in [0, 1]; shows the bar when due, keeps the screen alive
    // while it is up, and returns false once "Cancel" was pressed.
    bool Report(double fraction);
    // A status under the bar's text (several lines); cleared by Begin.
    void SetStatus(const std::string& status);
    // The label the bar shows: the text, then the status on the next line.
    QString LabelText() const;
    // Work ends; the outermost End hides the bar.
    void End();

    // How long work runs before the bar appears (tests show it at once).
    void SetShowDelay(int ms) { showDelayMs_ = ms > 0 ? ms : 0; }
    // The dialog while it is up, else null.
    QProgressDialog* Dialog() const { return dialog_; }
    int Depth() const { return depth_; }

  private:
    void Show();

    QPointer<QWidget> parent_;
    int showDelayMs_;
    int depth_ = 0;
    bool cancelled_ = false;
    QString text_;
    QString status_;
    QElapsedTimer running_;
    QElapsedTimer sinceEvents_;
    QPointer<QProgressDialog> dialog_;  // the parent may delete it first
};

}  // namespace vistrel
