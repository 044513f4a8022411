#include "shell/filters_dlg.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"

namespace vistrel {

CFiltersDlg::CFiltersDlg(CVistrelApp& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      model_(app),
      typeBox_(new QComboBox(this)),
      list_(new QListWidget(this)),
      nameEdit_(new QLineEdit(this)),
      scaleEdit_(new QLineEdit(this)),
      thresholdEdit_(new QLineEdit(this)),
      distributionGroup_(new QGroupBox(QStringLiteral("Distribution"), this)),
      dimensionSpin_(new QSpinBox(this)),
      sigmaEdit_(new QLineEdit(this)),
      orderSpin_(new QSpinBox(this)),
      edgeGroup_(new QGroupBox(QStringLiteral("Edge direction"), this)),
      medianBox_(new QCheckBox(QStringLiteral("Median"), this)),
      applyButton_(new QPushButton(QStringLiteral("&Apply"), this)),
      addButton_(new QPushButton(QStringLiteral("Add"), this)),
      updateButton_(new QPushButton(QStringLiteral("Update"), this)),
      removeButton_(new QPushButton(QStringLiteral("Remove"), this)),
      clearButton_(new QPushButton(QStringLiteral("Clear"), this)),
      createButton_(new QPushButton(QStringLiteral("&Create filter"), this)) {
    setWindowTitle(QStringLiteral("Filters"));
    setModal(false);
    // Enter in a field belongs to the field (the typed threshold applies on
    // Enter); no button may take it as the dialog's default.
    for (QPushButton* b :
         {applyButton_, addButton_, updateButton_, removeButton_, clearButton_, createButton_})
        b->setAutoDefault(false);
    for (int t = 0; t < 4; ++t) typeBox_->addItem(QString::fromLatin1(FilterTypeName(t)));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setMinimumWidth(220);

    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    for (int r = 0; r < CFiltersModel::kGridSide; ++r)
        for (int c = 0; c < CFiltersModel::kGridSide; ++c) {
            auto* cell = new QLineEdit(this);
            cell->setMaxLength(int(CFiltersModel::kCellChars));
            cell->setFixedWidth(64);
            cells_[std::size_t(r * CFiltersModel::kGridSide + c)] = cell;
            grid->addWidget(cell, r, c);
        }

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Name"), nameEdit_);
    fields->addRow(QStringLiteral("Scale"), scaleEdit_);
    fields->addRow(QStringLiteral("Threshold"), thresholdEdit_);

    const QString distributions[] = {QStringLiteral("Gauss"), QStringLiteral("Laplace"),
                                     QStringLiteral("Gamma")};
    auto* distribution = new QFormLayout(distributionGroup_);
    auto* radios = new QHBoxLayout;
    for (int d = 0; d < 3; ++d) {
        distributionButtons_[std::size_t(d)] = new QRadioButton(distributions[d], this);
        radios->addWidget(distributionButtons_[std::size_t(d)]);
    }
    distribution->addRow(radios);
    dimensionSpin_->setRange(1, 99);
    orderSpin_->setRange(1, 99);
    distribution->addRow(QStringLiteral("Dimension"), dimensionSpin_);
    distribution->addRow(QStringLiteral("Sigma"), sigmaEdit_);
    distribution->addRow(QStringLiteral("Order"), orderSpin_);

    const QString directions[] = {QStringLiteral("- Horz"), QStringLiteral("|  Vert"),
                                  QStringLiteral("\\ NW-SE"), QStringLiteral("/ NE-SW")};
    auto* edges = new QVBoxLayout(edgeGroup_);
    for (int d = 0; d < 4; ++d) {
        directionBoxes_[std::size_t(d)] = new QCheckBox(directions[d], this);
        edges->addWidget(directionBoxes_[std::size_t(d)]);
    }

    auto* left = new QVBoxLayout;
    left->addWidget(typeBox_);
    left->addWidget(list_, 1);
    auto* listButtons = new QHBoxLayout;
    for (QPushButton* b : {addButton_, updateButton_, removeButton_, clearButton_})
        listButtons->addWidget(b);
    left->addLayout(listButtons);

    auto* right = new QVBoxLayout;
    right->addLayout(grid);
    right->addLayout(fields);
    auto* groups = new QHBoxLayout;
    groups->addWidget(distributionGroup_);
    groups->addWidget(edgeGroup_);
    right->addLayout(groups);
    auto* actions = new QHBoxLayout;
    actions->addWidget(medianBox_);
    actions->addStretch(1);
    actions->addWidget(createButton_);
    actions->addWidget(applyButton_);
    right->addLayout(actions);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right, 1);

    connect(typeBox_, &QComboBox::currentIndexChanged, this, [this](int type) {
        ReadFields();
        model_.SelectType(type);
        FillList();
        ShowModel();
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) return;
        model_.SelectEntry(row);
        ShowModel();
    });
    connect(createButton_, &QPushButton::clicked, this, [this] {
        ReadFields();
        const std::size_t before = model_.ListNames().size();
        model_.CreateFilter();
        if (model_.ListNames().size() != before) FillList();
        ShowModel();
    });
    connect(addButton_, &QPushButton::clicked, this, [this] {
        ReadFields();
        model_.Add();
        FillList();
        ShowModel();
    });
    connect(updateButton_, &QPushButton::clicked, this, [this] {
        ReadFields();
        const int caret = list_->currentRow();
        model_.Update(caret);
        FillList();
        if (caret >= 0 && caret < list_->count()) {
            const QSignalBlocker block(list_);
            list_->setCurrentRow(caret);
        }
    });
    connect(removeButton_, &QPushButton::clicked, this, [this] {
        std::vector<int> rows;
        for (const QModelIndex& index : list_->selectionModel()->selectedRows())
            rows.push_back(index.row());
        if (!model_.Remove(rows)) return;
        FillList();
        ShowModel();
    });
    connect(clearButton_, &QPushButton::clicked, this, [this] {
        ReadFields();
        model_.Clear();
        {
            const QSignalBlocker block(list_);
            list_->clearSelection();
            list_->setCurrentRow(-1);
        }
        ShowModel();
    });
    connect(applyButton_, &QPushButton::clicked, this, [this] {
        ReadFields();
        if (!model_.HasSourceImage()) return;
        model_.OnApply();
        ShowModel();  // the edge lookup may uncheck directions or show a kernel
    });
    connect(medianBox_, &QCheckBox::toggled, this, [this](bool on) { model_.SetMedian(on); });
    for (int d = 0; d < 3; ++d)
        connect(distributionButtons_[std::size_t(d)], &QRadioButton::toggled, this,
                [this, d](bool on) {
                    if (on) model_.SetDistribution(CFiltersModel::EDistribution(d));
                });

    FillList();
    ShowModel();
}

void CFiltersDlg::SetLibraryPath(const std::string& path) {
    app_.FilterLibrary().Load(path);
    model_.SelectType(typeBox_->currentIndex());
    FillList();
    ShowModel();
}

const std::string& CFiltersDlg::LibraryPath() const {
    return app_.FilterLibrary().Path();
}

bool CFiltersDlg::SaveLibrary() {
    return app_.FilterLibrary().Save();
}

void CFiltersDlg::ReadFields() {
    for (int r = 0; r < CFiltersModel::kGridSide; ++r)
        for (int c = 0; c < CFiltersModel::kGridSide; ++c)
            model_.SetCellText(r, c, Cell(r, c)->text().toStdString());
    model_.name = nameEdit_->text().toStdString();
    model_.scale = RealOf(scaleEdit_->text(), model_.scale);
    model_.threshold = RealOf(thresholdEdit_->text(), model_.threshold);
    model_.dimension = dimensionSpin_->value();
    model_.sigma = RealOf(sigmaEdit_->text(), model_.sigma);
    model_.order = orderSpin_->value();
    for (int d = 0; d < 4; ++d)
        model_.directions[std::size_t(d)] = directionBoxes_[std::size_t(d)]->isChecked();
    model_.SetMedian(medianBox_->isChecked());
}

void CFiltersDlg::FillList() {
    const QSignalBlocker block(list_);
    list_->clear();
    for (const std::string& name : model_.ListNames()) list_->addItem(ToQ(name));
    if (model_.SelectedEntry() >= 0 && model_.SelectedEntry() < list_->count())
        list_->setCurrentRow(model_.SelectedEntry());
}

void CFiltersDlg::ShowModel() {
    for (int r = 0; r < CFiltersModel::kGridSide; ++r)
        for (int c = 0; c < CFiltersModel::kGridSide; ++c)
            Cell(r, c)->setText(ToQ(model_.CellText(r, c)));
    nameEdit_->setText(ToQ(model_.name));
    scaleEdit_->setText(ToQ(FormatFilterReal(model_.scale)));
    thresholdEdit_->setText(ToQ(FormatFilterReal(model_.threshold)));
    dimensionSpin_->setValue(model_.dimension);
    sigmaEdit_->setText(ToQ(FormatFilterReal(model_.sigma)));
    orderSpin_->setValue(model_.order);
    distributionGroup_->setTitle(ToQ(model_.DistributionCaption()));
    distributionButtons_[2]->setVisible(model_.GammaVisible());
    {
        const int d = int(model_.Distribution());
        const QSignalBlocker block(distributionButtons_[std::size_t(d)]);
        distributionButtons_[std::size_t(d)]->setChecked(true);
    }
    edgeGroup_->setVisible(model_.EdgeGroupVisible());
    for (int d = 0; d < 4; ++d)
        directionBoxes_[std::size_t(d)]->setChecked(model_.directions[std::size_t(d)]);
    medianBox_->setVisible(model_.MedianVisible());
    {
        const QSignalBlocker block(medianBox_);
        medianBox_->setChecked(model_.Median());
    }
    updateButton_->setVisible(model_.UpdateVisible());
    clearButton_->setVisible(model_.ClearVisible());
    addButton_->setEnabled(model_.AddEnabled());
}

}  // namespace vistrel
