#include "shell/scale_space_dlg.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/messages.h"
#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

QSpinBox* Spin(QWidget* parent, CScaleSpaceModel::CRange range, int value) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(range.min, range.max);
    spin->setValue(value);
    return spin;
}

}  // namespace

CScaleSpaceDlg::CScaleSpaceDlg(CVistrelApp& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      model_(app),
      minScale_(Spin(this, CSpotParams::kScaleRange, model_.MinScale())),
      maxScale_(Spin(this, CSpotParams::kScaleRange, model_.MaxScale())),
      increment_(Spin(this, CSpotParams::kIncrementRange, model_.Increment())),
      localMax_(Spin(this, CSpotParams::kLocalMaxRange, model_.LocalMaxSide())),
      search_(Spin(this, CSpotParams::kSearchRange, model_.SearchSide())),
      resType_(Spin(this, CScaleSpaceModel::kResTypeRange, model_.ResType())),
      thresholdEdit_(new QLineEdit(this)),
      autoFactorEdit_(new QLineEdit(this)),
      slider_(new QSlider(Qt::Vertical, this)),
      rangeMin_(new QLabel(this)),
      rangeMax_(new QLabel(this)),
      minScaleBox_(new QCheckBox(QStringLiteral("min scale"), this)),
      backgroundBox_(new QCheckBox(QStringLiteral("bkg = original image"), this)),
      shapeGroup_(new QButtonGroup(this)),
      whatGroup_(new QButtonGroup(this)),
      spotsButton_(new QPushButton(QStringLiteral("Spots"), this)),
      fromFileButton_(new QPushButton(QStringLiteral("Spots from file"), this)),
      sourceButton_(new QPushButton(QStringLiteral("Set Source Doc"), this)),
      saveButton_(new QPushButton(QStringLiteral("Save spots"), this)),
      seedsButton_(new QPushButton(QStringLiteral("Set seeds"), this)),
      segmentButton_(new QPushButton(QStringLiteral("Segment"), this)),
      infoButton_(new QPushButton(QStringLiteral("Spot info"), this)),
      automaticButton_(new QPushButton(QStringLiteral("Set automatic threshold"), this)),
      clusterInfo_(new QLabel(this)),
      frocButton_(new QPushButton(QStringLiteral("FROC..."), this)) {
    setWindowTitle(QStringLiteral("Multiscale spot detector"));
    setModal(false);
    // Enter in a field belongs to the field (the typed threshold applies on
    // Enter); no button may take it as the dialog's default.
    for (QPushButton* b : {spotsButton_, fromFileButton_, sourceButton_, saveButton_, seedsButton_,
                           segmentButton_, infoButton_, automaticButton_, frocButton_})
        b->setAutoDefault(false);
    minScaleBox_->setChecked(model_.KeepMinScale());
    backgroundBox_->setChecked(model_.OnImage());
    // The threshold is min + max - position, so the highest threshold sits at
    // the minimum position: that end goes at the top, beside the label of the
    // range's maximum (a plain vertical slider has its maximum at the top).
    slider_->setInvertedAppearance(true);
    slider_->setInvertedControls(true);
    slider_->setTickPosition(QSlider::TicksRight);
    slider_->setTickInterval(CScaleSpaceModel::kTickFrequency);
    slider_->setPageStep(CScaleSpaceModel::kPageSize);

    auto* parameters = new QGroupBox(QStringLiteral("Parameters"), this);
    auto* form = new QFormLayout(parameters);
    form->addRow(QStringLiteral("min scale"), minScale_);
    form->addRow(QStringLiteral("max scale"), maxScale_);
    form->addRow(QStringLiteral("increment"), increment_);
    form->addRow(QStringLiteral("local max neighbourhood"), localMax_);
    form->addRow(QStringLiteral("neighbourhood to search local maxima"), search_);
    form->addRow(QStringLiteral("res type"), resType_);
    form->addRow(QStringLiteral("threshold"), thresholdEdit_);
    form->addRow(QStringLiteral("automatic threshold factor"), autoFactorEdit_);
    form->addRow(minScaleBox_);
    form->addRow(backgroundBox_);

    auto* shapes = new QGroupBox(QStringLiteral("Marks"), this);
    auto* shapeLayout = new QVBoxLayout(shapes);
    const QString shapeTexts[] = {QStringLiteral("crosses"), QStringLiteral("dots"),
                                  QStringLiteral("circles")};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QRadioButton(shapeTexts[i], this);
        shapeGroup_->addButton(b, i);
        shapeLayout->addWidget(b);
    }
    shapeGroup_->button(int(model_.Shape()))->setChecked(true);

    auto* what = new QGroupBox(QStringLiteral("Show"), this);
    auto* whatLayout = new QVBoxLayout(what);
    const QString whatTexts[] = {
        QStringLiteral("none microcals"), QStringLiteral("microcalcifications"),
        QStringLiteral("only in clusters"), QStringLiteral("cluster areas")};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(whatTexts[i], this);
        whatGroup_->addButton(b, i);
        whatLayout->addWidget(b);
    }
    whatGroup_->button(int(model_.What()))->setChecked(true);

    auto* sliderColumn = new QVBoxLayout;
    sliderColumn->addWidget(rangeMax_, 0, Qt::AlignHCenter);
    sliderColumn->addWidget(slider_, 1, Qt::AlignHCenter);
    sliderColumn->addWidget(rangeMin_, 0, Qt::AlignHCenter);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {spotsButton_, fromFileButton_, sourceButton_, automaticButton_,
                           infoButton_, saveButton_, seedsButton_, segmentButton_, frocButton_})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto* left = new QVBoxLayout;
    left->addWidget(parameters);
    auto* choices = new QHBoxLayout;
    choices->addWidget(shapes);
    choices->addWidget(what);
    left->addLayout(choices);
    auto* clusters = new QGroupBox(QStringLiteral("Cluster info"), this);
    auto* clustersLayout = new QVBoxLayout(clusters);
    clusterInfo_->setTextFormat(Qt::PlainText);
    clusterInfo_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    clusterInfo_->setWordWrap(true);
    clusterInfo_->setMinimumWidth(360);
    clustersLayout->addWidget(clusterInfo_);
    left->addWidget(clusters);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(sliderColumn);
    layout->addLayout(buttons);

    connect(spotsButton_, &QPushButton::clicked, this, [this] {
        if (!model_.HasSourceImage()) return;
        ReadParameters();
        model_.OnSpots();
        ShowModel();
    });
    connect(fromFileButton_, &QPushButton::clicked, this, [this] {
        if (!model_.HasSourceImage()) return;
        ReadParameters();
        model_.OnSpotsFromFile();
        ShowModel();
    });
    connect(sourceButton_, &QPushButton::clicked, this, [this] { model_.BindActiveDocument(); });
    connect(slider_, &QSlider::valueChanged, this, [this](int position) {
        model_.MoveSlider(position);
        Selected();
    });
    connect(resType_, &QSpinBox::valueChanged, this, [this](int k) {
        model_.SetResType(k);
        Selected();
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
        if (model_.SubmitThreshold()) Selected();
    });
    connect(minScaleBox_, &QCheckBox::toggled, this, [this](bool keep) {
        model_.SetKeepMinScale(keep);
        Selected();
    });
    connect(automaticButton_, &QPushButton::clicked, this, [this] {
        ReadParameters();
        {
            const CWaitCursor wait(app_.Ui());
            model_.SelectAutomatic();
        }
        Selected();
    });
    connect(backgroundBox_, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetOnImage(on);
        model_.ShowPicture();
    });
    connect(shapeGroup_, &QButtonGroup::idClicked, this, [this](int id) {
        model_.SetShape(ESpotMark(id));
        model_.ShowPicture();
    });
    connect(whatGroup_, &QButtonGroup::idClicked, this, [this](int id) {
        model_.SetWhat(ESpotShow(id));
        model_.ShowPicture();
    });
    connect(saveButton_, &QPushButton::clicked, this, [this] { model_.OnSaveSpots(); });
    connect(seedsButton_, &QPushButton::clicked, this, [this] {
        if (model_.SetSeeds()) emit seedsSet(model_.Source());
    });
    connect(segmentButton_, &QPushButton::clicked, this, [this] {
        if (model_.OnSegment()) emit seedsSet(model_.Source());
    });
    connect(infoButton_, &QPushButton::clicked, this,
            [this] { messages().show(model_.SpotInfo()); });
    connect(frocButton_, &QPushButton::clicked, this, [this] { OnFroc(); });
    // Changed cluster parameters have re-run the evaluation.
    connect(&model_, &CScaleSpaceModel::reselected, this, [this] { ShowModel(); });
    // A new source or a closed one has cleared the spots.
    connect(&model_, &CToolWindowModel::sourceChanged, this, [this] { ShowModel(); });
    ShowModel();
}

void CScaleSpaceDlg::ReadParameters() {
    model_.SetMinScale(minScale_->value());
    model_.SetMaxScale(maxScale_->value());
    model_.SetIncrement(increment_->value());
    model_.SetLocalMaxSide(localMax_->value());
    model_.SetSearchSide(search_->value());
    bool ok = false;
    const double factor = autoFactorEdit_->text().trimmed().toDouble(&ok);
    if (ok) model_.SetAutoFactor(factor);
}

void CScaleSpaceDlg::ShowModel() {
    const bool spots = model_.HasSpots();
    {
        const QSignalBlocker a(minScale_), b(maxScale_), c(increment_), d(localMax_), e(search_),
            f(resType_), g(slider_);
        minScale_->setValue(model_.MinScale());
        maxScale_->setValue(model_.MaxScale());
        increment_->setValue(model_.Increment());
        localMax_->setValue(model_.LocalMaxSide());
        search_->setValue(model_.SearchSide());
        resType_->setValue(model_.ResType());
        slider_->setRange(model_.SliderMin(), model_.SliderMax());
        slider_->setValue(model_.SliderPosition());
    }
    thresholdEdit_->setText(ToQ(model_.ThresholdText()).trimmed());
    autoFactorEdit_->setText(QString::number(model_.AutoFactor(), 'g', 10));
    rangeMin_->setText(spots ? ToQ(model_.RangeMinText()) : QString());
    rangeMax_->setText(spots ? ToQ(model_.RangeMaxText()) : QString());
    clusterInfo_->setText(ToQ(model_.ClusterInfo()));
    for (QWidget* w : {static_cast<QWidget*>(slider_), static_cast<QWidget*>(saveButton_),
                       static_cast<QWidget*>(seedsButton_), static_cast<QWidget*>(segmentButton_),
                       static_cast<QWidget*>(infoButton_),
                       static_cast<QWidget*>(automaticButton_)})
        w->setEnabled(spots);
}

void CScaleSpaceDlg::Selected() {
    ShowModel();
    model_.ShowPicture();
}

void CScaleSpaceDlg::OnFroc() {
    ReadParameters();
    if (!model_.OnFroc(froc_)) return;
    if (!frocWindow_) frocWindow_ = new CFrocPlotWindow(app_, this);
    frocWindow_->SetChart(froc_.Chart());
    frocWindow_->show();
    frocWindow_->raise();
}

}  // namespace vistrel
