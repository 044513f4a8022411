#include "shell/breast_segment_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "shell/qt_text.h"

namespace vistrel {

namespace {

constexpr int kManual = 0;
constexpr int kAuto = 1;

// A group box of radio buttons with ids 0, 1, ... in the order of the texts.
QGroupBox* RadioBox(const QString& title, const std::vector<const char*>& texts,
                    QButtonGroup* group, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    auto* layout = new QHBoxLayout(box);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(texts[i]), box);
        group->addButton(radio, static_cast<int>(i));
        layout->addWidget(radio);
    }
    return box;
}

}  // namespace

CBreastSegmentDlg::CBreastSegmentDlg(const CBreastSegmentModel& model, QWidget* parent)
    : QDialog(parent),
      views_(new QButtonGroup(this)),
      thresholds_(new QButtonGroup(this)),
      low_(new QLineEdit(ToQ(model.lowText), this)),
      high_(new QLineEdit(ToQ(model.highText), this)),
      cone_(new QCheckBox(QStringLiteral("stozek"), this)),
      segment_(new QPushButton(QStringLiteral("Segment"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowTitle(QString::fromLatin1(kBreastSegmentTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RadioBox(QStringLiteral("View"), {"Left", "Right", "Auto"}, views_, this));
    layout->addWidget(RadioBox(QStringLiteral("Threshold"), {"Manual", "Auto"}, thresholds_, this));
    auto* percentiles = new QFormLayout;
    percentiles->addRow(QStringLiteral("Low percentile"), low_);
    percentiles->addRow(QStringLiteral("High percentile"), high_);
    layout->addLayout(percentiles);
    layout->addWidget(cone_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(segment_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);

    if (QAbstractButton* view = views_->button(model.view))
        view->setChecked(true);
    else
        views_->button(kViewAuto)->setChecked(true);
    thresholds_->button(model.automatic ? kAuto : kManual)->setChecked(true);
    cone_->setChecked(model.cone);
    segment_->setDefault(true);
    EnablePercentiles();

    connect(thresholds_, &QButtonGroup::idToggled, this, [this] { EnablePercentiles(); });
    connect(segment_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CBreastSegmentDlg::EnablePercentiles() {
    const bool manual = thresholds_->checkedId() == kManual;
    low_->setEnabled(manual);
    high_->setEnabled(manual);
}

CBreastSegmentModel CBreastSegmentDlg::Model() const {
    CBreastSegmentModel model;
    model.view = views_->checkedId();
    model.automatic = thresholds_->checkedId() != kManual;
    model.lowText = FromQ(low_->text());
    model.highText = FromQ(high_->text());
    model.cone = cone_->isChecked();
    return model;
}

}  // namespace vistrel
