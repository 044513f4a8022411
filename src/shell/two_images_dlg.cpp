#include "shell/two_images_dlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QVBoxLayout>

#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

CTwoImagesOperationsDlg::CTwoImagesOperationsDlg(CVistrelApp& app, QWidget* parent)
    : CTwoImagesOperationsDlg(app, CTwoImagesModel::EMode::Operations, parent) {}

CTwoImagesOperationsDlg::CTwoImagesOperationsDlg(CVistrelApp& app, CTwoImagesModel::EMode mode,
                                                 QWidget* parent)
    : QDialog(parent),
      app_(app),
      model_(mode),
      setI1_(new QPushButton(ToQ(model_.FirstButtonText()), this)),
      setI2_(new QPushButton(ToQ(model_.SecondButtonText()), this)),
      i1Title_(new QLabel(this)),
      i2Title_(new QLabel(this)) {
    setWindowTitle(ToQ(model_.WindowTitle()));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* sources = new QGridLayout;
    sources->addWidget(setI1_, 0, 0);
    sources->addWidget(i1Title_, 0, 1);
    sources->addWidget(setI2_, 1, 0);
    sources->addWidget(i2Title_, 1, 1);
    sources->setColumnStretch(1, 1);
    layout->addLayout(sources);

    auto* buttons = new QGridLayout;
    if (mode == CTwoImagesModel::EMode::ConditionalThickening) {
        thicken_ = new QPushButton(QStringLiteral("Thicken"), this);
        buttons->addWidget(thicken_, 0, 0);
        connect(thicken_, &QPushButton::clicked, this, [this] { RunThickening(); });
    }
    const auto& names = CTwoImagesModel::OperationNames();
    const int operations = thicken_ ? 0 : static_cast<int>(names.size());
    for (int i = 0; i < operations; ++i) {
        // Button texts are shown literally: "&&" keeps the ampersand visible.
        QString text = ToQ(names[static_cast<std::size_t>(i)]);
        auto* button = new QPushButton(text.replace('&', QStringLiteral("&&")), this);
        buttons->addWidget(button, i / 2, i % 2);
        connect(button, &QPushButton::clicked, this, [this, i] { Run(i); });
        operations_.push_back(button);
    }
    layout->addLayout(buttons);

    connect(setI1_, &QPushButton::clicked, this, [this] { SetI1(app_.ActiveDocument()); });
    connect(setI2_, &QPushButton::clicked, this, [this] { SetI2(app_.ActiveDocument()); });
    CNotifier& notifier = app_.Notifier();
    connect(&notifier, &CNotifier::documentClosing, this, [this](CVistrelDoc* doc) {
        model_.DocumentClosing(doc);
        ShowTitles();
    });
    // A document's title changes with its zoom; the labels follow.
    connect(&notifier, &CNotifier::imageChanged, this, [this] { ShowTitles(); });
    ShowTitles();
}

QPushButton* CTwoImagesOperationsDlg::OperationButton(int operation) const {
    if (operation < 0 || operation >= static_cast<int>(operations_.size())) return nullptr;
    return operations_[static_cast<std::size_t>(operation)];
}

void CTwoImagesOperationsDlg::SetI1(CVistrelDoc* doc) {
    model_.SetI1(doc);
    ShowTitles();
}

void CTwoImagesOperationsDlg::SetI2(CVistrelDoc* doc) {
    model_.SetI2(doc);
    ShowTitles();
}

void CTwoImagesOperationsDlg::Run(int operation) {
    CVistrelDoc* source = model_.I1();
    if (!source) return;
    std::unique_ptr<CMImage> result = model_.Run(operation, app_.connectivity);
    if (result && resultHandler_) resultHandler_(*source, std::move(result));
}

void CTwoImagesOperationsDlg::RunThickening() {
    // The condition image's document receives the result.
    CVistrelDoc* target = model_.I2();
    if (!target || !model_.I1()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::unique_ptr<CMImage> result = model_.RunThickening();
    QApplication::restoreOverrideCursor();
    if (result && resultHandler_) resultHandler_(*target, std::move(result));
}

void CTwoImagesOperationsDlg::ShowTitles() {
    i1Title_->setText(ToQ(model_.I1Title()));
    i2Title_->setText(ToQ(model_.I2Title()));
}

}  // namespace vistrel
