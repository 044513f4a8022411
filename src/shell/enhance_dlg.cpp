#include "shell/enhance_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>

#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

CEnhanceDlg::CEnhanceDlg(CVistrelApp& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      brightnessSlider_(new QSlider(Qt::Horizontal, this)),
      contrastSlider_(new QSlider(Qt::Horizontal, this)),
      gammaSlider_(new QSlider(Qt::Horizontal, this)),
      brightnessEdit_(new QLineEdit(this)),
      contrastEdit_(new QLineEdit(this)),
      gammaEdit_(new QLineEdit(this)),
      previewButton_(new QPushButton(QStringLiteral("&Preview"), this)),
      defaultsButton_(new QPushButton(QStringLiteral("Default values"), this)) {
    setWindowTitle(QStringLiteral("Brightness / Contrast"));
    setModal(false);
    brightnessSlider_->setRange(CEnhanceModel::kBrightnessMin, CEnhanceModel::kBrightnessMax);
    contrastSlider_->setRange(CEnhanceModel::kContrastMin, CEnhanceModel::kContrastMax);
    gammaSlider_->setRange(CEnhanceModel::kGammaSliderMin, CEnhanceModel::kGammaSliderMax);

    auto* layout = new QGridLayout(this);
    const QString names[] = {QStringLiteral("Brightness"), QStringLiteral("Contrast"),
                             QStringLiteral("Gamma corection")};
    QSlider* sliders[] = {brightnessSlider_, contrastSlider_, gammaSlider_};
    QLineEdit* edits[] = {brightnessEdit_, contrastEdit_, gammaEdit_};
    for (int row = 0; row < 3; ++row) {
        sliders[row]->setMinimumWidth(200);
        edits[row]->setMaximumWidth(64);
        layout->addWidget(new QLabel(names[row], this), row, 0);
        layout->addWidget(sliders[row], row, 1);
        layout->addWidget(edits[row], row, 2);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(previewButton_);
    buttons->addWidget(defaultsButton_);
    buttons->addStretch(1);
    layout->addLayout(buttons, 3, 0, 1, 3);

    connect(brightnessSlider_, &QSlider::valueChanged, this, [this](int v) {
        model_.SetBrightness(v);
        Changed();
    });
    connect(contrastSlider_, &QSlider::valueChanged, this, [this](int v) {
        model_.SetContrast(v);
        Changed();
    });
    connect(gammaSlider_, &QSlider::valueChanged, this, [this](int v) {
        model_.SetGammaSlider(v);
        Changed();
    });
    // A text that is not a number is put back to the value in force.
    connect(brightnessEdit_, &QLineEdit::editingFinished, this, [this] {
        if (model_.SetBrightnessText(FromQ(brightnessEdit_->text())))
            Changed();
        else
            ShowModel();
    });
    connect(contrastEdit_, &QLineEdit::editingFinished, this, [this] {
        if (model_.SetContrastText(FromQ(contrastEdit_->text())))
            Changed();
        else
            ShowModel();
    });
    connect(gammaEdit_, &QLineEdit::editingFinished, this, [this] {
        if (model_.SetGammaText(FromQ(gammaEdit_->text())))
            Changed();
        else
            ShowModel();
    });
    connect(previewButton_, &QPushButton::clicked, this, [this] { model_.Apply(doc_, true); });
    connect(defaultsButton_, &QPushButton::clicked, this, [this] {
        model_.SetDefaults();
        Changed();
    });

    CNotifier& notifier = app_.Notifier();
    connect(&notifier, &CNotifier::imageChanged, this, &CEnhanceDlg::Bind);
    connect(&notifier, &CNotifier::documentClosing, this, [this](CVistrelDoc* doc) {
        // Nothing may be handed to a document that is going away.
        if (doc == doc_) {
            doc_ = nullptr;
            model_.Load(nullptr);
            ShowModel();
        }
    });
    doc_ = app_.ActiveDocument();
    model_.Load(doc_);
    ShowModel();
}

void CEnhanceDlg::Bind(CVistrelDoc* doc) {
    model_.SwitchTo(doc_, doc);
    doc_ = doc;
    ShowModel();
}

void CEnhanceDlg::Changed() {
    model_.Apply(doc_, true);
    ShowModel();
}

void CEnhanceDlg::ShowModel() {
    const QSignalBlocker b1(brightnessSlider_), b2(contrastSlider_), b3(gammaSlider_);
    brightnessSlider_->setValue(model_.Brightness());
    contrastSlider_->setValue(model_.Contrast());
    gammaSlider_->setValue(model_.GammaSlider());
    brightnessEdit_->setText(ToQ(model_.BrightnessText()));
    contrastEdit_->setText(ToQ(model_.ContrastText()));
    gammaEdit_->setText(ToQ(model_.GammaText()));
}

}  // namespace vistrel
