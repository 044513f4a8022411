#include "shell/image_prop_dlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

void Fill(QComboBox* combo, const std::vector<std::string>& names) {
    for (const std::string& name : names) combo->addItem(ToQ(name));
}

}  // namespace

CImagePropDlg::CImagePropDlg(CVistrelApp& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      widthPixels_(new QLabel(this)),
      heightPixels_(new QLabel(this)),
      bits_(new QLabel(this)),
      documentWidth_(new QLabel(this)),
      documentHeight_(new QLabel(this)),
      sizeUnit_(new QComboBox(this)),
      resolution_(new QLineEdit(this)),
      resolutionUnit_(new QComboBox(this)),
      source_(new QLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setWindowTitle(QStringLiteral("Image Properties"));
    setModal(false);
    Fill(sizeUnit_, CImagePropertiesModel::SizeUnitNames());
    Fill(resolutionUnit_, CImagePropertiesModel::ResolutionUnitNames());

    auto* layout = new QVBoxLayout(this);
    auto* pixels = new QGroupBox(QStringLiteral("Pixel Dimensions"), this);
    auto* pixelGrid = new QGridLayout(pixels);
    pixelGrid->addWidget(new QLabel(QStringLiteral("Width:"), pixels), 0, 0);
    pixelGrid->addWidget(widthPixels_, 0, 1);
    pixelGrid->addWidget(new QLabel(QStringLiteral("pixels"), pixels), 0, 2);
    pixelGrid->addWidget(new QLabel(QStringLiteral("Height:"), pixels), 1, 0);
    pixelGrid->addWidget(heightPixels_, 1, 1);
    pixelGrid->addWidget(new QLabel(QStringLiteral("pixels"), pixels), 1, 2);
    pixelGrid->addWidget(new QLabel(QStringLiteral("Bits/Channel"), pixels), 2, 0);
    pixelGrid->addWidget(bits_, 2, 1);
    layout->addWidget(pixels);

    auto* size = new QGroupBox(QStringLiteral("Document Size"), this);
    auto* sizeGrid = new QGridLayout(size);
    sizeGrid->addWidget(new QLabel(QStringLiteral("Width:"), size), 0, 0);
    sizeGrid->addWidget(documentWidth_, 0, 1);
    sizeGrid->addWidget(sizeUnit_, 0, 2, 2, 1);
    sizeGrid->addWidget(new QLabel(QStringLiteral("Height:"), size), 1, 0);
    sizeGrid->addWidget(documentHeight_, 1, 1);
    sizeGrid->addWidget(new QLabel(QStringLiteral("Resolution"), size), 2, 0);
    sizeGrid->addWidget(resolution_, 2, 1);
    sizeGrid->addWidget(resolutionUnit_, 2, 2);
    layout->addWidget(size);
    source_->setWordWrap(true);
    layout->addWidget(source_);
    layout->addWidget(buttons_);

    connect(sizeUnit_, &QComboBox::currentIndexChanged, this, [this](int index) {
        model_.SetSizeUnit(index);
        ShowModel();
    });
    connect(resolutionUnit_, &QComboBox::currentIndexChanged, this, [this](int index) {
        model_.SetResolutionUnit(index);
        ShowModel();
    });
    connect(resolution_, &QLineEdit::editingFinished, this, &CImagePropDlg::ResolutionEdited);
    connect(buttons_, &QDialogButtonBox::accepted, this, &CImagePropDlg::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &CImagePropDlg::reject);

    CNotifier& notifier = app_.Notifier();
    connect(&notifier, &CNotifier::imageChanged, this, &CImagePropDlg::Bind);
    connect(&notifier, &CNotifier::documentClosing, this, [this](CVistrelDoc* doc) {
        if (doc == doc_) Bind(nullptr);
    });
    Bind(app_.ActiveDocument());
}

void CImagePropDlg::Bind(CVistrelDoc* doc) {
    doc_ = doc;
    model_.Load(doc);
    ShowModel();
}

void CImagePropDlg::ResolutionEdited() {
    // The shown text is rounded: reading it back unchanged would shift the
    // stored resolution a little on every OK.
    const std::string text = FromQ(resolution_->text());
    if (text != model_.ResolutionText()) model_.SetResolutionText(text);
    ShowModel();
}

void CImagePropDlg::accept() {
    ResolutionEdited();
    model_.Store(doc_);
    QDialog::accept();
}

void CImagePropDlg::ShowModel() {
    const QSignalBlocker b1(sizeUnit_), b2(resolutionUnit_);
    widthPixels_->setText(ToQ(model_.WidthPixelsText()));
    heightPixels_->setText(ToQ(model_.HeightPixelsText()));
    bits_->setText(ToQ(model_.BitsText()));
    documentWidth_->setText(ToQ(model_.DocumentWidthText()));
    documentHeight_->setText(ToQ(model_.DocumentHeightText()));
    sizeUnit_->setCurrentIndex(model_.SizeUnitIndex());
    resolutionUnit_->setCurrentIndex(model_.ResolutionUnitIndex());
    resolution_->setText(ToQ(model_.ResolutionText()));
    source_->setText(ToQ(model_.SourceText()));
}

}  // namespace vistrel
