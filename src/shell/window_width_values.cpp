#include "shell/window_width_values.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QPainter>
#include <QSignalBlocker>

#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

CWWVEdit::CWWVEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new QIntValidator(this));
    setMaximumWidth(64);
    connect(this, &QLineEdit::editingFinished, this, [this] {
        bool ok = false;
        const int value = text().toInt(&ok);
        if (ok) emit numberEntered(value);
    });
}

void CWWVEdit::SetNumber(int value) {
    const QString text = QString::asprintf("%d", value);
    if (text != this->text()) setText(text);
}

CColourStrip::CColourStrip(CVistrelApp& app, const CValueWindowBarModel& model, QWidget* parent)
    : QWidget(parent), app_(app), model_(model) {
    setMinimumWidth(16);
}

void CColourStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, palette().color(QPalette::Window));
    const CPalette& colours = app_.Palette();
    if (colours.empty() || model_.Maximum() <= model_.Minimum()) return;
    const int height = area.height();
    for (int fromBottom = 0; fromBottom < height; ++fromBottom) {
        const CPaletteEntry& entry =
            colours[model_.StripIndex(fromBottom, height, static_cast<int>(colours.size()))];
        painter.setPen(QColor(entry.red, entry.green, entry.blue));
        const int y = area.bottom() - fromBottom;
        painter.drawLine(area.left(), y, area.right(), y);
    }
}

CWindowWidthValues::CWindowWidthValues(CVistrelApp& app, QWidget* parent)
    : QWidget(parent),
      app_(app),
      lowSlider_(new QSlider(Qt::Vertical, this)),
      highSlider_(new QSlider(Qt::Vertical, this)),
      levelSlider_(new QSlider(Qt::Vertical, this)),
      lowEdit_(new CWWVEdit(this)),
      highEdit_(new CWWVEdit(this)),
      levelEdit_(new CWWVEdit(this)),
      widthSpin_(new QSpinBox(this)),
      levelSpin_(new QSpinBox(this)),
      lutCombo_(new QComboBox(this)),
      strip_(new CColourStrip(app, model_, this)) {
    for (QSlider* slider : {lowSlider_, highSlider_, levelSlider_}) slider->setMinimumHeight(200);

    auto* layout = new QGridLayout(this);
    const QString names[] = {QStringLiteral("Low"), QStringLiteral("Level"),
                             QStringLiteral("High")};
    QSlider* sliders[] = {lowSlider_, levelSlider_, highSlider_};
    CWWVEdit* edits[] = {lowEdit_, levelEdit_, highEdit_};
    for (int column = 0; column < 3; ++column) {
        layout->addWidget(new QLabel(names[column], this), 0, column, Qt::AlignHCenter);
        layout->addWidget(sliders[column], 1, column, Qt::AlignHCenter);
        layout->addWidget(edits[column], 2, column);
    }
    layout->addWidget(strip_, 1, 3);
    auto* spins = new QFormLayout;
    spins->addRow(QStringLiteral("Width"), widthSpin_);
    spins->addRow(QStringLiteral("Level"), levelSpin_);
    spins->addRow(QStringLiteral("LUT"), lutCombo_);
    layout->addLayout(spins, 3, 0, 1, 4);
    layout->setRowStretch(4, 1);

    connect(lowSlider_, &QSlider::valueChanged, this, [this](int v) {
        if (loading_) return;
        model_.SetLow(v);
        Edited();
    });
    connect(highSlider_, &QSlider::valueChanged, this, [this](int v) {
        if (loading_) return;
        model_.SetHigh(v);
        Edited();
    });
    connect(levelSlider_, &QSlider::valueChanged, this, [this](int v) {
        if (loading_) return;
        model_.SetLevel(v);
        Edited();
    });
    connect(lowEdit_, &CWWVEdit::numberEntered, this, [this](int v) {
        model_.SetLow(v);
        Edited();
    });
    connect(highEdit_, &CWWVEdit::numberEntered, this, [this](int v) {
        model_.SetHigh(v);
        Edited();
    });
    connect(levelEdit_, &CWWVEdit::numberEntered, this, [this](int v) {
        model_.SetLevel(v);
        Edited();
    });
    connect(widthSpin_, &QSpinBox::valueChanged, this, [this](int v) {
        if (loading_) return;
        model_.SetWidth(v);
        Edited();
    });
    connect(levelSpin_, &QSpinBox::valueChanged, this, [this](int v) {
        if (loading_) return;
        model_.SetLevel(v);
        Edited();
    });
    connect(lutCombo_, &QComboBox::activated, this, [this](int index) {
        app_.SelectLut(index);
        strip_->update();
    });

    CNotifier& notifier = app.Notifier();
    connect(&notifier, &CNotifier::imageChanged, this, &CWindowWidthValues::Load);
    connect(&notifier, &CNotifier::lutChanged, this, [this] {
        FillLuts();
        strip_->update();
    });
    FillLuts();
    Load(app.ActiveDocument());
}

void CWindowWidthValues::FillLuts() {
    const QSignalBlocker block(lutCombo_);
    const auto& names = app_.Luts().Names();
    if (lutCombo_->count() != static_cast<int>(names.size())) {
        lutCombo_->clear();
        for (const std::string& name : names) lutCombo_->addItem(ToQ(name));
    }
    lutCombo_->setCurrentIndex(app_.CurrentLut());
}

void CWindowWidthValues::Load(CVistrelDoc* doc) {
    model_.Load(doc);
    ShowModel();
}

void CWindowWidthValues::Edited() {
    model_.Apply(app_.ActiveDocument());
    ShowModel();
}

void CWindowWidthValues::ShowModel() {
    loading_ = true;
    const QSignalBlocker b1(lowSlider_), b2(highSlider_), b3(levelSlider_), b4(widthSpin_),
        b5(levelSpin_);
    for (QSlider* slider : {lowSlider_, highSlider_, levelSlider_})
        slider->setRange(model_.Minimum(), model_.Maximum());
    lowSlider_->setValue(model_.Low());
    highSlider_->setValue(model_.High());
    levelSlider_->setValue(model_.Level());
    lowEdit_->SetNumber(model_.Low());
    highEdit_->SetNumber(model_.High());
    levelEdit_->SetNumber(model_.Level());
    widthSpin_->setRange(0, model_.WidthMaximum());
    widthSpin_->setValue(model_.Width());
    levelSpin_->setRange(model_.Minimum(), model_.Maximum());
    levelSpin_->setValue(model_.Level());
    strip_->update();
    loading_ = false;
}

}  // namespace vistrel
