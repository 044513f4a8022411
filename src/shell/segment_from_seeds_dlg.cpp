#include "shell/segment_from_seeds_dlg.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <iterator>

#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

CSegmentFromSeedsDlg::CSegmentFromSeedsDlg(CVistrelApp& app, bool currentSeeds, QWidget* parent)
    : QDialog(parent),
      model_(app, currentSeeds),
      algorithmGroup_(new QButtonGroup(this)),
      kEdit_(new QLineEdit(this)),
      windowEdit_(new QLineEdit(this)),
      unitGroup_(new QButtonGroup(this)),
      directionsGroup_(new QButtonGroup(this)),
      inputCombo_(new QComboBox(this)),
      joinBox_(new QCheckBox(QStringLiteral("join overlapped regions"), this)),
      seedsButton_(new QPushButton(QStringLiteral("Set seeds"), this)),
      segmentButton_(new QPushButton(QStringLiteral("Segment"), this)),
      sourceButton_(new QPushButton(QStringLiteral("Set Src Doc"), this)),
      growing_(new QWidget(this)) {
    setWindowTitle(ToQ(model_.Title()));
    setModal(false);
    for (QPushButton* b : {seedsButton_, segmentButton_, sourceButton_}) b->setAutoDefault(false);

    auto* algorithms = new QGroupBox(QStringLiteral("Algorithm"), growing_);
    auto* algorithmLayout = new QVBoxLayout(algorithms);
    for (int i = 0; i < int(std::size(kGrowAlgorithmNames)); ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(kGrowAlgorithmNames[i]), algorithms);
        algorithmGroup_->addButton(b, i);
        algorithmLayout->addWidget(b);
    }
    auto* directions = new QGroupBox(QStringLiteral("Directions"), growing_);
    auto* directionLayout = new QVBoxLayout(directions);
    for (int i = 0; i < int(std::size(kGrowDirectionNames)); ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(kGrowDirectionNames[i]), directions);
        directionsGroup_->addButton(b, kGrowDirections[i]);
        directionLayout->addWidget(b);
    }
    for (const char* name : kGrowInputNames) inputCombo_->addItem(QString::fromUtf8(name));

    auto* cm = new QRadioButton(QStringLiteral("[cm]"), growing_);
    auto* pixels = new QRadioButton(QStringLiteral("[pixels]"), growing_);
    unitGroup_->addButton(cm, 0);
    unitGroup_->addButton(pixels, 1);
    auto* windowRow = new QHBoxLayout;
    windowRow->addWidget(windowEdit_);
    windowRow->addWidget(cm);
    windowRow->addWidget(pixels);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("mean + k * stdDev"), kEdit_);
    form->addRow(QStringLiteral("max window size"), windowRow);
    form->addRow(QStringLiteral("Input image"), inputCombo_);
    form->addRow(joinBox_);
    kEdit_->setParent(growing_);
    windowEdit_->setParent(growing_);
    inputCombo_->setParent(growing_);
    joinBox_->setParent(growing_);

    auto* choices = new QHBoxLayout;
    choices->addWidget(algorithms);
    choices->addWidget(directions);
    auto* growingLayout = new QVBoxLayout(growing_);
    growingLayout->setContentsMargins(0, 0, 0, 0);
    growingLayout->addLayout(choices);
    growingLayout->addLayout(form);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {seedsButton_, segmentButton_, sourceButton_}) buttons->addWidget(b);
    buttons->addStretch(1);
    seedsButton_->setVisible(model_.SetSeedsVisible());

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(growing_, 1);
    layout->addLayout(buttons);

    connect(seedsButton_, &QPushButton::clicked, this, [this] {
        ReadFields();
        model_.OnSetSeeds();
        ShowModel();
    });
    connect(segmentButton_, &QPushButton::clicked, this, [this] {
        ReadFields();
        model_.OnSegment();
        ShowModel();
    });
    connect(sourceButton_, &QPushButton::clicked, this, [this] {
        ReadFields();
        model_.BindActiveDocument();
        ShowModel();
    });
    connect(&model_, &CToolWindowModel::sourceChanged, this, [this] { ShowModel(); });
    ShowModel();
}

void CSegmentFromSeedsDlg::ReadFields() {
    if (const int id = algorithmGroup_->checkedId(); id >= 0)
        model_.SetAlgorithm(EGrowAlgorithm(id));
    if (const int id = directionsGroup_->checkedId(); id > 0) model_.SetDirections(id);
    if (inputCombo_->currentIndex() >= 0) model_.SetInput(EGrowInput(inputCombo_->currentIndex()));
    model_.SetJoin(joinBox_->isChecked());
    model_.SetWindowInCm(unitGroup_->checkedId() != 1);
    // Unreadable or meaningless numbers keep the model's values.
    bool ok = false;
    const double k = kEdit_->text().trimmed().toDouble(&ok);
    if (ok && std::isfinite(k)) model_.SetK(k);
    const double window = windowEdit_->text().trimmed().toDouble(&ok);
    if (ok && std::isfinite(window) && window > 0) model_.SetWindow(window);
}

void CSegmentFromSeedsDlg::ShowModel() {
    algorithmGroup_->button(int(model_.Algorithm()))->setChecked(true);
    if (QAbstractButton* b = directionsGroup_->button(model_.Directions())) b->setChecked(true);
    inputCombo_->setCurrentIndex(int(model_.Input()));
    joinBox_->setChecked(model_.Join());
    unitGroup_->button(model_.WindowInCm() ? 0 : 1)->setChecked(true);
    kEdit_->setText(QString::number(model_.K(), 'g', 10));
    windowEdit_->setText(QString::number(model_.Window(), 'g', 10));
    const bool enabled = model_.ControlsEnabled();
    growing_->setEnabled(enabled);
    segmentButton_->setEnabled(enabled);
    seedsButton_->setEnabled(model_.HasSourceImage());
}

}  // namespace vistrel
