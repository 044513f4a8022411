#include "shell/raw_param_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vistrel {

namespace {
constexpr int kDepths[] = {1, 4, 8, 12, 14, 16};
}

CRawParamDlg::CRawParamDlg(const QString& fileName, const CRawParams& initial, QWidget* parent)
    : QDialog(parent),
      width_(new QSpinBox(this)),
      height_(new QSpinBox(this)),
      depth_(new QButtonGroup(this)),
      alignment_(new QButtonGroup(this)) {
    setWindowTitle(QStringLiteral("Open RAW File..."));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(fileName.section('/', -1), this));

    auto* sizes = new QFormLayout;
    for (QSpinBox* edit : {width_, height_}) {
        edit->setRange(1, 1 << 20);
        edit->setSuffix(QStringLiteral(" pixels"));
    }
    width_->setValue(initial.width > 0 ? initial.width : 512);
    height_->setValue(initial.height > 0 ? initial.height : 512);
    sizes->addRow(QStringLiteral("Width:"), width_);
    sizes->addRow(QStringLiteral("Height:"), height_);
    layout->addLayout(sizes);

    auto* depthBox = new QGroupBox(QStringLiteral("Bits/Channel"), this);
    auto* depthLayout = new QHBoxLayout(depthBox);
    for (int depth : kDepths) {
        auto* button = new QRadioButton(QString::number(depth), depthBox);
        depth_->addButton(button, depth);
        depthLayout->addWidget(button);
    }
    layout->addWidget(depthBox);

    alignmentBox_ = new QWidget(this);
    auto* alignmentLayout = new QHBoxLayout(alignmentBox_);
    alignmentLayout->setContentsMargins(0, 0, 0, 0);
    auto* lsb = new QRadioButton(QStringLiteral("LSB"), alignmentBox_);
    auto* msb = new QRadioButton(QStringLiteral("MSB"), alignmentBox_);
    alignment_->addButton(lsb, 0);
    alignment_->addButton(msb, 1);
    alignmentLayout->addWidget(lsb);
    alignmentLayout->addWidget(msb);
    layout->addWidget(alignmentBox_);

    const int depth = initial.depth;
    const bool known = depth == 1 || depth == 4 || depth == 12 || depth == 14 || depth == 16;
    depth_->button(known ? depth : 8)->setChecked(true);
    (initial.msbAligned ? msb : lsb)->setChecked(true);
    alignmentBox_->setVisible(AlignmentShown());
    connect(depth_, &QButtonGroup::idClicked, this, [this](int) { OnDepthChanged(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

bool CRawParamDlg::AlignmentShown() const {
    const int depth = depth_->checkedId();
    return depth == 12 || depth == 14;
}

void CRawParamDlg::OnDepthChanged() {
    alignment_->button(0)->setChecked(true);
    alignmentBox_->setVisible(AlignmentShown());
}

CRawParams CRawParamDlg::Params() const {
    CRawParams params;
    params.width = width_->value();
    params.height = height_->value();
    params.depth = depth_->checkedId();
    params.msbAligned = AlignmentShown() && alignment_->checkedId() == 1;
    return params;
}

}  // namespace vistrel
