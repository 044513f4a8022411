#include "shell/morph_element_dlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "shell/qt_text.h"

namespace vistrel {

// ---------------------------------------------------------------- grid

CMorphElementGrid::CMorphElementGrid(CMorphElementModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    ElementChanged();
}

void CMorphElementGrid::ElementChanged() {
    setFixedSize(sizeHint());
    update();
}

QSize CMorphElementGrid::sizeHint() const {
    // A grid line on both sides of every cell.
    const int n = std::max<int>(model_.Element().size, 0);
    return {n * kCellPixels + 1, n * kCellPixels + 1};
}

QPoint CMorphElementGrid::CellAt(QPoint point) const {
    const int n = model_.Element().size;
    if (point.x() < 0 || point.y() < 0) return {-1, -1};
    const int col = point.x() / kCellPixels;
    const int row = point.y() / kCellPixels;
    if (row >= n || col >= n) return {-1, -1};
    return {col, row};
}

QPoint CMorphElementGrid::CellCentre(int row, int col) {
    return {col * kCellPixels + kCellPixels / 2, row * kCellPixels + kCellPixels / 2};
}

void CMorphElementGrid::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const CMorphSE& se = model_.Element();
    const int n = se.size;
    const int centre = se.Centre();
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            const bool member = se.GetCell(r, c) == 1;
            const bool isCentre = r == centre && c == centre;
            const QColor colour = isCentre ? (member ? kCentreMemberColour : kCentreEmptyColour)
                                           : (member ? kMemberColour : kEmptyColour);
            painter.fillRect(c * kCellPixels, r * kCellPixels, kCellPixels, kCellPixels, colour);
        }
    painter.setPen(kLineColour);
    for (int i = 0; i <= n; ++i) {
        painter.drawLine(i * kCellPixels, 0, i * kCellPixels, n * kCellPixels);
        painter.drawLine(0, i * kCellPixels, n * kCellPixels, i * kCellPixels);
    }
}

void CMorphElementGrid::Edit(QPoint point, Qt::MouseButtons buttons) {
    const QPoint cell = CellAt(point);
    if (cell.x() < 0) return;
    if (buttons & Qt::LeftButton)
        model_.SetCell(cell.y(), cell.x(), true);
    else if (buttons & Qt::RightButton)
        model_.SetCell(cell.y(), cell.x(), false);
    else
        return;
    update();
}

void CMorphElementGrid::mousePressEvent(QMouseEvent* event) {
    Edit(event->position().toPoint(), event->button());
}

void CMorphElementGrid::mouseMoveEvent(QMouseEvent* event) {
    Edit(event->position().toPoint(), event->buttons());
}

// ---------------------------------------------------------------- dialog

CMorphElementDlg::CMorphElementDlg(const CMorphElementModel& model, QWidget* parent)
    : QDialog(parent),
      model_(model),
      size_(new QSpinBox(this)),
      cm_(new QLineEdit(this)),
      resolution_(new QLabel(this)),
      shapes_(new QButtonGroup(this)),
      create_(new QPushButton(QStringLiteral("Create"), this)),
      clear_(new QPushButton(QStringLiteral("Clear"), this)),
      rotate_(new QPushButton(QStringLiteral("Rotate 90"), this)),
      iterations_(new QSpinBox(this)),
      grid_(new CMorphElementGrid(model_, this)) {
    setWindowTitle(QString::fromLatin1(kMorphElementTitle));

    // One past the range on both sides, so that a step off an end still
    // reaches the model, which keeps the size odd and in range.
    size_->setRange(kMinMorphElementSize - 1, kMaxMorphElementSize + 1);
    size_->setKeyboardTracking(false);
    resolution_->setText(ToQ(model_.ResolutionText()));
    iterations_->setRange(kMinMorphIterations, kMaxMorphIterations);
    iterations_->setValue(model_.Iterations());

    auto* sizeForm = new QFormLayout;
    sizeForm->addRow(QStringLiteral("Size (pixels)"), size_);
    sizeForm->addRow(QStringLiteral("Size (cm)"), cm_);
    sizeForm->addRow(resolution_);

    auto* shapeBox = new QGroupBox(QStringLiteral("Shape"), this);
    auto* shapeLayout = new QVBoxLayout(shapeBox);
    const char* const names[] = {"Cross", "X", "Circle", "Square"};
    for (int shape = CMorphSE::kCross; shape <= CMorphSE::kSquare; ++shape) {
        auto* radio = new QRadioButton(QString::fromLatin1(names[shape]), shapeBox);
        shapes_->addButton(radio, shape);
        shapeLayout->addWidget(radio);
    }
    if (QAbstractButton* chosen = shapes_->button(model_.Shape())) chosen->setChecked(true);

    auto* elementButtons = new QHBoxLayout;
    elementButtons->addWidget(create_);
    elementButtons->addWidget(clear_);
    elementButtons->addWidget(rotate_);

    auto* iterationForm = new QFormLayout;
    iterationForm->addRow(QStringLiteral("Number of iterations"), iterations_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* controls = new QVBoxLayout;
    controls->addLayout(sizeForm);
    controls->addWidget(shapeBox);
    controls->addLayout(elementButtons);
    controls->addLayout(iterationForm);
    controls->addStretch(1);
    controls->addWidget(buttons);

    auto* gridColumn = new QVBoxLayout;
    gridColumn->addWidget(grid_, 0, Qt::AlignLeft | Qt::AlignTop);
    gridColumn->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(gridColumn, 1);
    layout->addLayout(controls);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    ShowSize();

    connect(size_, &QSpinBox::valueChanged, this, [this](int value) {
        model_.SetSize(value);
        ShowSize();
    });
    connect(cm_, &QLineEdit::editingFinished, this, [this] {
        // Either decimal separator is taken; anything else leaves the size.
        QString text = cm_->text().trimmed();
        text.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double cm = QLocale::c().toDouble(text, &ok);
        if (ok) model_.SetSizeCm(cm);
        ShowSize();
    });
    connect(shapes_, &QButtonGroup::idClicked, this, [this](int shape) { model_.SetShape(shape); });
    connect(create_, &QPushButton::clicked, this, [this] {
        model_.OnCreate();
        grid_->ElementChanged();
    });
    connect(clear_, &QPushButton::clicked, this, [this] {
        model_.OnClear();
        grid_->ElementChanged();
    });
    connect(rotate_, &QPushButton::clicked, this, [this] {
        model_.OnRotate90();
        grid_->ElementChanged();
    });
    connect(iterations_, &QSpinBox::valueChanged, this,
            [this](int value) { model_.SetIterations(value); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CMorphElementDlg::ShowSize() {
    const QSignalBlocker block(size_);
    size_->setValue(model_.Size());
    cm_->setText(ToQ(model_.SizeCmText()));
}

}  // namespace vistrel
