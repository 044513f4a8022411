#include "shell/log_gaussian_flt_dlg.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "shell/qt_text.h"

namespace vistrel {

namespace {

QString Real(double v) {
    return QString::number(v, 'g', 10);
}

}  // namespace

CLogGaussianFltDlg::CLogGaussianFltDlg(CVistrelApp& app, QWidget* parent)
    : QDialog(parent),
      model_(app),
      scaleSpin_(new QSpinBox(this)),
      dimensionEdit_(new QLineEdit(this)),
      sigmaEdit_(new QLineEdit(this)),
      gaussSigmaEdit_(new QLineEdit(this)),
      dogSigma1Edit_(new QLineEdit(this)),
      dogSigma2Edit_(new QLineEdit(this)),
      dogWeightEdit_(new QLineEdit(this)),
      subtractSigmaEdit_(new QLineEdit(this)),
      logApply_(new QPushButton(QStringLiteral("&Apply"), this)),
      gaussApply_(new QPushButton(QStringLiteral("&Apply"), this)),
      dogApply_(new QPushButton(QStringLiteral("&Apply"), this)),
      subtractApply_(new QPushButton(QStringLiteral("&Apply"), this)) {
    setWindowTitle(QStringLiteral("LoG & Gaussian filters"));
    setModal(false);
    // Enter in a field belongs to the field (the typed threshold applies on
    // Enter); no button may take it as the dialog's default.
    for (QPushButton* b : {logApply_, gaussApply_, dogApply_, subtractApply_})
        b->setAutoDefault(false);
    // The field takes any typed number; the model puts one outside 2..20 back to 2.
    scaleSpin_->setRange(0, 999);
    dimensionEdit_->setReadOnly(true);
    sigmaEdit_->setReadOnly(true);

    auto* log = new QGroupBox(QStringLiteral("LoG"), this);
    auto* logForm = new QFormLayout(log);
    logForm->addRow(QStringLiteral("Scale"), scaleSpin_);
    logForm->addRow(QStringLiteral("Dimension"), dimensionEdit_);
    logForm->addRow(QStringLiteral("Sigma"), sigmaEdit_);
    logForm->addRow(logApply_);

    auto* gauss = new QGroupBox(QStringLiteral("Gaussian"), this);
    auto* gaussForm = new QFormLayout(gauss);
    gaussForm->addRow(QStringLiteral("Sigma"), gaussSigmaEdit_);
    gaussForm->addRow(gaussApply_);

    auto* dog = new QGroupBox(QStringLiteral("Differences of Gaussians"), this);
    auto* dogForm = new QFormLayout(dog);
    dogForm->addRow(QStringLiteral("Sigma F1"), dogSigma1Edit_);
    dogForm->addRow(QStringLiteral("Sigma F2"), dogSigma2Edit_);
    dogForm->addRow(QStringLiteral("Weight"), dogWeightEdit_);
    dogForm->addRow(dogApply_);

    auto* subtract = new QGroupBox(QStringLiteral("Image - Gaussian"), this);
    auto* subtractForm = new QFormLayout(subtract);
    subtractForm->addRow(QStringLiteral("Sigma"), subtractSigmaEdit_);
    subtractForm->addRow(subtractApply_);

    auto* layout = new QVBoxLayout(this);
    for (QGroupBox* g : {log, gauss, dog, subtract}) layout->addWidget(g);

    connect(scaleSpin_, &QSpinBox::valueChanged, this, [this](int h) {
        model_.SetScale(h);
        ShowModel();
    });
    connect(logApply_, &QPushButton::clicked, this, [this] {
        ReadFields();
        model_.OnApplyLoG();
    });
    connect(gaussApply_, &QPushButton::clicked, this, [this] {
        ReadFields();
        model_.OnApplyGauss();
    });
    connect(dogApply_, &QPushButton::clicked, this, [this] {
        ReadFields();
        model_.OnApplyDifference();
    });
    connect(subtractApply_, &QPushButton::clicked, this, [this] {
        ReadFields();
        model_.OnApplySubtract();
    });
    ShowModel();
}

void CLogGaussianFltDlg::ReadFields() {
    model_.gaussSigma = RealOf(gaussSigmaEdit_->text(), model_.gaussSigma);
    model_.dogSigma1 = RealOf(dogSigma1Edit_->text(), model_.dogSigma1);
    model_.dogSigma2 = RealOf(dogSigma2Edit_->text(), model_.dogSigma2);
    model_.dogWeight = RealOf(dogWeightEdit_->text(), model_.dogWeight);
    model_.subtractSigma = RealOf(subtractSigmaEdit_->text(), model_.subtractSigma);
    ShowModel();
}

void CLogGaussianFltDlg::ShowModel() {
    {
        const QSignalBlocker block(scaleSpin_);
        scaleSpin_->setValue(model_.Scale());
    }
    dimensionEdit_->setText(ToQ(model_.DimensionText()));
    sigmaEdit_->setText(ToQ(model_.SigmaText()));
    gaussSigmaEdit_->setText(Real(model_.gaussSigma));
    dogSigma1Edit_->setText(Real(model_.dogSigma1));
    dogSigma2Edit_->setText(Real(model_.dogSigma2));
    dogWeightEdit_->setText(Real(model_.dogWeight));
    subtractSigmaEdit_->setText(Real(model_.subtractSigma));
}

}  // namespace vistrel
