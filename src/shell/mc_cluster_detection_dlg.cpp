#include "shell/mc_cluster_detection_dlg.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "shell/qt_text.h"

namespace vistrel {

CMcClusterDetectionDlg::CMcClusterDetectionDlg(CVistrelApp& app, QWidget* parent)
    : QDialog(parent),
      model_(app),
      sourceButton_(new QPushButton(QStringLiteral("Set Src Doc"), this)),
      getSeedsButton_(new QPushButton(QStringLiteral("Get Seeds"), this)),
      setSeedsButton_(new QPushButton(QStringLiteral("Set Seeds"), this)),
      segmentButton_(new QPushButton(QStringLiteral("Segment"), this)),
      slider_(new QSlider(Qt::Vertical, this)),
      threshold_(new QLabel(this)),
      rangeMin_(new QLabel(this)),
      rangeMax_(new QLabel(this)),
      resultsBox_(new QCheckBox(QStringLiteral("results"), this)),
      backgroundBox_(new QCheckBox(QStringLiteral("bkg = original image"), this)),
      greaterPageBox_(new QCheckBox(QStringLiteral("greater slider page"), this)),
      report_(new QPlainTextEdit(this)) {
    setWindowTitle(QStringLiteral("Microcalcification Clusters Detection"));
    setModal(false);
    for (QPushButton* b : {sourceButton_, getSeedsButton_, setSeedsButton_, segmentButton_})
        b->setAutoDefault(false);
    resultsBox_->setChecked(model_.ShowResults());
    backgroundBox_->setChecked(model_.OnImage());
    greaterPageBox_->setChecked(model_.GreaterPage());
    // The highest threshold sits at the minimum position, shown at the top
    // beside the label of the range's maximum.
    slider_->setInvertedAppearance(true);
    slider_->setInvertedControls(true);
    slider_->setTickPosition(QSlider::TicksRight);
    slider_->setTickInterval(CMcClusterDetectionModel::kTickFrequency);
    report_->setReadOnly(true);
    report_->setLineWrapMode(QPlainTextEdit::NoWrap);
    report_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    report_->setMinimumWidth(720);

    auto* sliderColumn = new QVBoxLayout;
    sliderColumn->addWidget(rangeMax_, 0, Qt::AlignHCenter);
    sliderColumn->addWidget(slider_, 1, Qt::AlignHCenter);
    sliderColumn->addWidget(rangeMin_, 0, Qt::AlignHCenter);

    auto* controls = new QVBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{sourceButton_, getSeedsButton_})
        controls->addWidget(w);
    auto* thresholdRow = new QHBoxLayout;
    thresholdRow->addWidget(new QLabel(QStringLiteral("threshold"), this));
    thresholdRow->addWidget(threshold_, 1);
    controls->addLayout(thresholdRow);
    for (QWidget* w : std::initializer_list<QWidget*>{resultsBox_, backgroundBox_, greaterPageBox_,
                                                      setSeedsButton_, segmentButton_})
        controls->addWidget(w);
    controls->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addLayout(controls);
    top->addLayout(sliderColumn);
    top->addWidget(report_, 1);
    setLayout(top);

    connect(sourceButton_, &QPushButton::clicked, this, [this] { model_.BindActiveDocument(); });
    connect(getSeedsButton_, &QPushButton::clicked, this, [this] { model_.OnGetSeeds(); });
    connect(slider_, &QSlider::valueChanged, this,
            [this](int position) { model_.MoveSlider(position); });
    connect(resultsBox_, &QCheckBox::toggled, this, [this](bool on) { model_.SetShowResults(on); });
    connect(backgroundBox_, &QCheckBox::toggled, this, [this](bool on) { model_.SetOnImage(on); });
    connect(greaterPageBox_, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetGreaterPage(on);
        slider_->setPageStep(model_.PageSize());
    });
    connect(setSeedsButton_, &QPushButton::clicked, this, [this] { model_.SetSeeds(); });
    connect(segmentButton_, &QPushButton::clicked, this, [this] { model_.OnSegment(); });
    // Every evaluation (threshold, seeds, cluster parameters) and a new or
    // closed source change what is shown.
    connect(&model_, &CMcClusterDetectionModel::evaluated, this, [this] { ShowModel(); });
    connect(&model_, &CToolWindowModel::sourceChanged, this, [this] { ShowModel(); });
    ShowModel();
}

void CMcClusterDetectionDlg::ShowModel() {
    const bool spots = model_.HasSpots();
    {
        const QSignalBlocker block(slider_);
        slider_->setRange(model_.SliderMin(), model_.SliderMax());
        slider_->setValue(model_.SliderPosition());
        slider_->setPageStep(model_.PageSize());
    }
    threshold_->setText(ToQ(model_.ThresholdText()));
    rangeMin_->setText(spots ? ToQ(model_.RangeMinText()) : QString());
    rangeMax_->setText(spots ? ToQ(model_.RangeMaxText()) : QString());
    report_->setPlainText(ToQ(model_.ReportText()));
    for (QWidget* w : std::initializer_list<QWidget*>{slider_, setSeedsButton_, segmentButton_})
        w->setEnabled(spots);
}

}  // namespace vistrel
