#include "shell/nn_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "shell/qt_text.h"

namespace vistrel {

namespace {

QLineEdit* NumberEdit(QWidget* parent, double low, double high, int decimals) {
    auto* edit = new QLineEdit(parent);
    auto* validator = new QDoubleValidator(low, high, decimals, edit);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(QLocale::c());
    edit->setValidator(validator);
    edit->setMaximumWidth(90);
    return edit;
}

QLineEdit* IntegerEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setValidator(new QIntValidator(0, 100000000, edit));
    edit->setMaximumWidth(90);
    return edit;
}

QString Number(double value) {
    return QString::number(value, 'g', 6);
}

}  // namespace

CNNDlg::CNNDlg(CNNModel& model, QWidget* parent)
    : QDialog(parent),
      model_(model),
      epochs_(IntegerEdit(this)),
      hidden_(IntegerEdit(this)),
      eta_(NumberEdit(this, 0.0, 1.0, 6)),
      momentum_(NumberEdit(this, 0.0, 1.0, 6)),
      k_(NumberEdit(this, -1000.0, 1000.0, 6)),
      threshold_(NumberEdit(this, 0.0, 1.0, 6)),
      accuracy_(NumberEdit(this, 0.0, 1000.0, 8)),
      other_(new QLabel(this)),
      create_(new QPushButton(QStringLiteral("Create NN"), this)),
      reset_(new QPushButton(QStringLiteral("Reset NN"), this)),
      open_(new QPushButton(QStringLiteral("Open NN"), this)),
      save_(new QPushButton(QStringLiteral("Save NN"), this)),
      train_(new QPushButton(QStringLiteral("Train"), this)),
      test_(new QPushButton(QStringLiteral("Test"), this)),
      patterns_(new QPushButton(QStringLiteral("Patterns"), this)) {
    setWindowTitle(QString::fromLatin1(kTitle));

    auto* parameters = new QFormLayout;
    parameters->addRow(QStringLiteral("number of epochs"), epochs_);
    parameters->addRow(QStringLiteral("hidden nodes"), hidden_);
    parameters->addRow(QStringLiteral("eta"), eta_);
    parameters->addRow(QStringLiteral("momentum"), momentum_);
    auto* kRow = new QHBoxLayout;
    k_->setMinimumWidth(70);
    kRow->addWidget(k_);
    kRow->addWidget(new QLabel(QString::fromLatin1(kActivationText), this));
    parameters->addRow(QStringLiteral("k"), kRow);
    parameters->addRow(QStringLiteral("threshold"), threshold_);
    parameters->addRow(QStringLiteral("learning accuracy"), accuracy_);

    auto* outputs = new QGroupBox(QStringLiteral("outputs"), this);
    auto* outputLayout = new QVBoxLayout(outputs);
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto* button =
            new QRadioButton(QString::fromLatin1(EncodingName(static_cast<ENnEncoding>(i))), outputs);
        group->addButton(button, i);
        outputLayout->addWidget(button);
        encodings_[std::size_t(i)] = button;
    }

    auto* features = new QGroupBox(QStringLiteral("features"), this);
    auto* grid = new QGridLayout(features);
    const auto& labels = NetworkFeatureBoxes();
    constexpr int kRows = (kNetworkFeatureBoxes + 2) / 3;
    for (int i = 0; i < kNetworkFeatureBoxes; ++i) {
        auto* box = new QCheckBox(QString::fromLatin1(labels[std::size_t(i)].label), features);
        grid->addWidget(box, i % kRows, i / kRows);
        boxes_[std::size_t(i)] = box;
        connect(box, &QCheckBox::toggled, this, [this, i](bool on) {
            if (showing_) return;
            model_.OnBoxToggled(i, on);
            ShowModel();
        });
    }
    grid->addWidget(other_, kRows, 0, 1, 3);

    auto* networkButtons = new QVBoxLayout;
    for (QPushButton* button : {create_, reset_, open_, save_, train_, test_, patterns_}) {
        button->setAutoDefault(false);
        networkButtons->addWidget(button);
    }
    networkButtons->addStretch(1);

    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addLayout(parameters);
    left->addWidget(outputs);
    left->addStretch(1);
    top->addLayout(left);
    top->addWidget(features, 1);
    top->addLayout(networkButtons);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);

    ShowModel();

    connect(hidden_, &QLineEdit::textEdited, this, [this](const QString& text) {
        model_.OnHiddenNodesChanged(text.toInt());
        ShowButtons();
    });
    connect(k_, &QLineEdit::textEdited, this, [this](const QString& text) {
        model_.OnKChanged(QLocale::c().toDouble(text));
        ShowButtons();
    });
    connect(group, &QButtonGroup::idClicked, this, [this](int id) {
        if (showing_) return;
        model_.OnEncodingChanged(static_cast<ENnEncoding>(id));
        ShowModel();
    });
    connect(create_, &QPushButton::clicked, this, [this] { Run([this] { model_.OnCreate(); }); });
    connect(reset_, &QPushButton::clicked, this, [this] { Run([this] { model_.OnReset(); }); });
    connect(open_, &QPushButton::clicked, this, [this] { Run([this] { model_.OnOpen(); }); });
    connect(save_, &QPushButton::clicked, this, [this] { Run([this] { model_.OnSave(); }); });
    connect(train_, &QPushButton::clicked, this, [this] { Run([this] { model_.OnTrain(); }); });
    connect(test_, &QPushButton::clicked, this, [this] { Run([this] { model_.OnTest(); }); });
    connect(patterns_, &QPushButton::clicked, this,
            [this] { Run([this] { model_.OnPatterns(); }); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        TakeEdits();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

template <typename F>
void CNNDlg::Run(F f) {
    TakeEdits();
    f();
    ShowModel();
}

void CNNDlg::TakeEdits() {
    const QLocale c = QLocale::c();
    bool ok = false;
    const int epochs = epochs_->text().toInt(&ok);
    if (ok && epochs >= 0) model_.epochs = epochs;
    const int hidden = hidden_->text().toInt(&ok);
    if (ok) model_.hiddenNodes = hidden;
    const double k = c.toDouble(k_->text(), &ok);
    if (ok) model_.k = k;
    for (auto [edit, field] : {std::pair{eta_, &model_.eta}, std::pair{momentum_, &model_.momentum},
                               std::pair{threshold_, &model_.threshold}}) {
        const double value = c.toDouble(edit->text(), &ok);
        if (ok && value >= 0.0 && value <= 1.0) *field = value;
    }
    const double accuracy = c.toDouble(accuracy_->text(), &ok);
    if (ok && accuracy >= 0.0) model_.accuracy = accuracy;
}

void CNNDlg::ShowModel() {
    showing_ = true;
    epochs_->setText(QString::number(model_.epochs));
    hidden_->setText(QString::number(model_.hiddenNodes));
    eta_->setText(Number(model_.eta));
    momentum_->setText(Number(model_.momentum));
    k_->setText(Number(model_.k));
    threshold_->setText(Number(model_.threshold));
    accuracy_->setText(Number(model_.accuracy));
    const auto encoding = static_cast<std::size_t>(model_.encoding);
    if (encoding < encodings_.size()) encodings_[encoding]->setChecked(true);
    for (std::size_t i = 0; i < boxes_.size(); ++i) boxes_[i]->setChecked(model_.boxes[i]);
    other_->setText(ToQ(model_.OtherFeaturesNote()));
    other_->setVisible(model_.OtherFeatureCount() > 0);
    ShowButtons();
    showing_ = false;
}

void CNNDlg::ShowButtons() {
    open_->setVisible(model_.showOpen);
    save_->setVisible(model_.showSave);
    train_->setVisible(model_.showTrain);
    test_->setVisible(model_.showTest);
}

}  // namespace vistrel
