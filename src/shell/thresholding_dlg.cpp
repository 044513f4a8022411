#include "shell/thresholding_dlg.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

CThresholdingDlg::CThresholdingDlg(CVistrelApp& app, QWidget* parent)
    : QDialog(parent),
      model_(app),
      thresholdEdit_(new QLineEdit(this)),
      slider_(new QSlider(Qt::Vertical, this)),
      rangeMin_(new QLabel(this)),
      rangeMax_(new QLabel(this)),
      localMaxima_(new QCheckBox(QStringLiteral("local maxima"), this)),
      sizeEdit_(new QLineEdit(this)),
      unitGroup_(new QButtonGroup(this)),
      background_(new QCheckBox(QStringLiteral("bkg = original image"), this)),
      results_(new QCheckBox(QStringLiteral("results"), this)),
      singlePixels_(new QCheckBox(QStringLiteral("+ single pixels"), this)),
      greaterPage_(new QCheckBox(QStringLiteral("greater slider page"), this)),
      sourceButton_(new QPushButton(QStringLiteral("Set Src Doc"), this)),
      segmentButton_(new QPushButton(QStringLiteral("Segment"), this)),
      seedsButton_(new QPushButton(QStringLiteral("Set seeds"), this)) {
    setWindowTitle(QString::fromUtf8(kThresholdingTitle));
    setModal(false);
    // Enter in the threshold field applies the threshold, not a button.
    for (QPushButton* b : {sourceButton_, segmentButton_, seedsButton_}) b->setAutoDefault(false);
    // The highest threshold sits at the top, as in the spot detector.
    slider_->setInvertedAppearance(true);
    slider_->setInvertedControls(true);
    slider_->setTickPosition(QSlider::TicksRight);

    auto* cm = new QRadioButton(QStringLiteral("[cm]"), this);
    auto* pixels = new QRadioButton(QStringLiteral("[pixels]"), this);
    unitGroup_->addButton(cm, 0);
    unitGroup_->addButton(pixels, 1);
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(sizeEdit_);
    sizeRow->addWidget(cm);
    sizeRow->addWidget(pixels);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("threshold"), thresholdEdit_);
    form->addRow(localMaxima_);
    form->addRow(QStringLiteral("size"), sizeRow);
    for (QCheckBox* box : {background_, results_, singlePixels_, greaterPage_}) form->addRow(box);

    auto* sliderColumn = new QVBoxLayout;
    sliderColumn->addWidget(rangeMax_, 0, Qt::AlignHCenter);
    sliderColumn->addWidget(slider_, 1, Qt::AlignHCenter);
    sliderColumn->addWidget(rangeMin_, 0, Qt::AlignHCenter);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {sourceButton_, segmentButton_, seedsButton_}) buttons->addWidget(b);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addLayout(sliderColumn);
    layout->addLayout(buttons);

    connect(slider_, &QSlider::valueChanged, this, [this](int position) {
        model_.MoveSlider(position);
        thresholdEdit_->setText(ToQ(model_.ThresholdText()).trimmed());
    });
    connect(thresholdEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        bool ok = false;
        const double v = text.trimmed().toDouble(&ok);
        if (!ok) return;
        model_.TypeThreshold(v);
        const QSignalBlocker block(slider_);
        slider_->setValue(model_.SliderPosition());
    });
    connect(thresholdEdit_, &QLineEdit::returnPressed, this, [this] {
        if (model_.SubmitThreshold()) model_.ShowPicture();
        // The applied threshold, as the model formats it.
        thresholdEdit_->setText(ToQ(model_.ThresholdText()).trimmed());
    });
    connect(localMaxima_, &QCheckBox::toggled, this, [this](bool on) {
        ReadSize();
        model_.SetLocalMaxima(on);
        ShowModel();
        model_.ShowPicture();
    });
    connect(sizeEdit_, &QLineEdit::editingFinished, this, [this] {
        ReadSize();
        ShowModel();
    });
    connect(unitGroup_, &QButtonGroup::idClicked, this, [this](int id) {
        model_.SetSizeInCm(id == 0);
        ShowModel();
    });
    connect(background_, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetOnImage(on);
        model_.ShowPicture();
    });
    connect(results_, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetShowResults(on);
        model_.ShowPicture();
    });
    connect(singlePixels_, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetSinglePixels(on);
        model_.ShowPicture();
    });
    connect(greaterPage_, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetGreaterPage(on);
        slider_->setPageStep(model_.PageSize());
    });
    connect(sourceButton_, &QPushButton::clicked, this, [this] {
        model_.OnSetSourceDocument();
        ShowModel();
    });
    connect(segmentButton_, &QPushButton::clicked, this, [this] { model_.OnSegment(); });
    connect(seedsButton_, &QPushButton::clicked, this, [this] { model_.OnSetSeeds(); });
    connect(&model_, &CToolWindowModel::sourceChanged, this, [this] { ShowModel(); });
    ShowModel();
}

void CThresholdingDlg::ReadSize() {
    bool ok = false;
    const double size = sizeEdit_->text().trimmed().toDouble(&ok);
    if (ok && size > 0 && size != model_.Size()) model_.SetSize(size);
}

void CThresholdingDlg::ShowModel() {
    const bool source = model_.HasSourceImage();
    {
        const QSignalBlocker a(slider_), b(localMaxima_), c(background_), d(results_),
            e(singlePixels_), f(greaterPage_);
        slider_->setRange(model_.SliderMin(), model_.SliderMax());
        slider_->setValue(model_.SliderPosition());
        slider_->setPageStep(model_.PageSize());
        localMaxima_->setChecked(model_.LocalMaxima());
        background_->setChecked(model_.OnImage());
        results_->setChecked(model_.ShowResults());
        singlePixels_->setChecked(model_.SinglePixels());
        greaterPage_->setChecked(model_.GreaterPage());
    }
    unitGroup_->button(model_.SizeInCm() ? 0 : 1)->setChecked(true);
    thresholdEdit_->setText(ToQ(model_.ThresholdText()).trimmed());
    sizeEdit_->setText(QString::number(model_.Size(), 'g', 10));
    rangeMin_->setText(source ? ToQ(model_.RangeMinText()) : QString());
    rangeMax_->setText(source ? ToQ(model_.RangeMaxText()) : QString());
    slider_->setEnabled(source);
    segmentButton_->setEnabled(source);
    seedsButton_->setEnabled(source && model_.LocalMaxima());
}

}  // namespace vistrel
