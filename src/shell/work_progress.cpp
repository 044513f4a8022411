#include "shell/work_progress.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <algorithm>
#include <cmath>

#include "shell/qt_text.h"

namespace vistrel {

namespace {

constexpr int kSteps = 1000;
// Events are handled at most this often: enough for the Cancel button and the
// repaint, without the event loop costing the work anything noticeable.
constexpr qint64 kEventsIntervalMs = 40;

}  // namespace

CWorkProgress::CWorkProgress(QWidget* parent, int showDelayMs)
    : QObject(parent), parent_(parent), showDelayMs_(std::max(0, showDelayMs)) {}

CWorkProgress::~CWorkProgress() {
    delete dialog_.data();
}

void CWorkProgress::Begin(const std::string& text) {
    if (depth_++ > 0) return;
    cancelled_ = false;
    text_ = ToQ(text);
    status_.clear();
    running_.start();
}

void CWorkProgress::SetStatus(const std::string& status) {
    if (depth_ == 0) return;
    status_ = ToQ(status);
    if (dialog_) dialog_->setLabelText(LabelText());
}

QString CWorkProgress::LabelText() const {
    return status_.isEmpty() ? text_ : text_ + QLatin1Char('\n') + status_;
}

bool CWorkProgress::Report(double fraction) {
    if (depth_ == 0) return true;
    if (cancelled_) return false;
    if (!dialog_ && running_.elapsed() >= showDelayMs_) Show();
    if (dialog_) {
        // NaN counts as nothing done.
        const double f = fraction >= 0.0 ? std::min(fraction, 1.0) : 0.0;
        const int value = static_cast<int>(std::lround(f * kSteps));
        if (value != dialog_->value()) dialog_->setValue(value);
        // Before the dialog is up no events are handled: the rest of the
        // window is not blocked yet and would take commands in the middle of
        // this one.
        if (sinceEvents_.elapsed() >= kEventsIntervalMs) {
            QCoreApplication::processEvents();
            sinceEvents_.start();
        }
    }
    return !cancelled_;
}

void CWorkProgress::End() {
    if (depth_ == 0 || --depth_ > 0) return;
    if (dialog_) {
        dialog_->hide();
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
}

void CWorkProgress::Show() {
    dialog_ = new QProgressDialog(LabelText(), "Cancel", 0, kSteps, parent_);
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setMinimumDuration(0);
    // The work ends it, not reaching the maximum or a cancel.
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setValue(0);
    connect(dialog_, &QProgressDialog::canceled, this, [this] { cancelled_ = true; });
    dialog_->show();
    QCoreApplication::processEvents();
    sinceEvents_.start();
}

}  // namespace vistrel
