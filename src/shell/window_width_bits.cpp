#include "shell/window_width_bits.h"

#include <QGridLayout>
#include <QSignalBlocker>

#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

CWindowWidthBits::CWindowWidthBits(CVistrelApp& app, QWidget* parent)
    : QWidget(parent),
      app_(app),
      bits_(new QSlider(Qt::Vertical, this)),
      shift_(new QSlider(Qt::Vertical, this)),
      bitsText_(new QLabel(this)),
      rangeText_(new QLabel(this)) {
    // A vertical QSlider already has its largest value at the top.
    for (QSlider* slider : {bits_, shift_}) {
        slider->setTickPosition(QSlider::TicksRight);
        slider->setTickInterval(1);
        slider->setPageStep(1);
        slider->setMinimumHeight(160);
    }
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Bits"), this), 0, 0, Qt::AlignHCenter);
    layout->addWidget(new QLabel(QStringLiteral("Shift"), this), 0, 1, Qt::AlignHCenter);
    layout->addWidget(bits_, 1, 0, Qt::AlignHCenter);
    layout->addWidget(shift_, 1, 1, Qt::AlignHCenter);
    layout->addWidget(bitsText_, 2, 0, Qt::AlignHCenter);
    layout->addWidget(rangeText_, 2, 1, Qt::AlignHCenter);
    layout->setRowStretch(3, 1);
    // Room for the widest texts, so that "15 - 15" is never cut.
    const int textWidth = fontMetrics().horizontalAdvance(QStringLiteral("15 - 15")) + 8;
    bitsText_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("88")) + 4);
    rangeText_->setMinimumWidth(textWidth);
    bitsText_->setAlignment(Qt::AlignCenter);
    rangeText_->setAlignment(Qt::AlignCenter);

    connect(bits_, &QSlider::valueChanged, this, &CWindowWidthBits::OnBitsMoved);
    connect(shift_, &QSlider::valueChanged, this, &CWindowWidthBits::OnShiftMoved);
    connect(bits_, &QSlider::sliderReleased, this, &CWindowWidthBits::Commit);
    connect(shift_, &QSlider::sliderReleased, this, &CWindowWidthBits::Commit);
    connect(&app.Notifier(), &CNotifier::imageChanged, this, &CWindowWidthBits::Load);
    Load(app.ActiveDocument());
}

void CWindowWidthBits::Load(CVistrelDoc* doc) {
    model_.Load(doc);
    ShowModel();
}

void CWindowWidthBits::ShowModel() {
    loading_ = true;
    const QSignalBlocker blockBits(bits_), blockShift(shift_);
    bits_->setRange(1, std::max(1, model_.BitsMaximum()));
    shift_->setRange(0, model_.ShiftMaximum());
    bits_->setValue(model_.Bits());
    shift_->setValue(model_.Shift());
    bitsText_->setText(ToQ(model_.BitsText()));
    rangeText_->setText(ToQ(model_.RangeText()));
    loading_ = false;
}

void CWindowWidthBits::OnBitsMoved(int value) {
    if (loading_) return;
    model_.DragBits(value);
    ShowModel();
    // Keyboard and page steps have no release: they end the scroll at once.
    if (!bits_->isSliderDown()) Commit();
}

void CWindowWidthBits::OnShiftMoved(int value) {
    if (loading_) return;
    model_.DragShift(value);
    ShowModel();
    if (!shift_->isSliderDown()) Commit();
}

void CWindowWidthBits::Commit() {
    CVistrelDoc* doc = app_.ActiveDocument();
    model_.Commit(doc);
    // Show what the document holds now, accepted or not.
    Load(doc);
}

}  // namespace vistrel
