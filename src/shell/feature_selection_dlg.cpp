#include "shell/feature_selection_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/qt_text.h"

namespace vistrel {

namespace {
constexpr int kEntryRole = Qt::UserRole;
}

CFeatureSelectionDlg::CFeatureSelectionDlg(const CFeatureSelectionModel& model, QWidget* parent)
    : QDialog(parent),
      model_(model),
      list_(new QListWidget(this)),
      all_(new QPushButton(QStringLiteral("All"), this)),
      none_(new QPushButton(QStringLiteral("None"), this)),
      filter_(new QLineEdit(this)),
      tickMatching_(new QPushButton(QStringLiteral("Tick"), this)),
      clearMatching_(new QPushButton(QStringLiteral("Clear"), this)),
      shapeMoments_(new QCheckBox(ToQ(CFeatureSelectionModel::kShapeMomentsLabel), this)),
      moments_(new QCheckBox(ToQ(CFeatureSelectionModel::kMomentsLabel), this)),
      count_(new QLabel(this)) {
    setWindowTitle(ToQ(CFeatureSelectionModel::kTitle));

    // A group boundary out of range puts every entry in the first group
    // rather than losing any of them.
    const int32_t count = model_.Count();
    const int32_t second =
        model_.secondGroup >= 0 && model_.secondGroup <= count ? model_.secondGroup : count;
    items_.resize(static_cast<std::size_t>(count), nullptr);
    for (int32_t i = 0; i < count; ++i) {
        if (i == second && second > 0) {
            auto* heading = new QListWidgetItem(ToQ(kClusterHeading), list_);
            QFont bold = heading->font();
            bold.setBold(true);
            heading->setFont(bold);
            heading->setFlags(Qt::ItemIsEnabled);
            heading->setData(kEntryRole, -1);
        }
        auto* item = new QListWidgetItem(ToQ(model_.entries[std::size_t(i)].name), list_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setData(kEntryRole, i);
        items_[std::size_t(i)] = item;
    }
    list_->setUniformItemSizes(true);
    list_->setMinimumSize(360, 420);

    filter_->setPlaceholderText(QStringLiteral("names containing"));
    filter_->setClearButtonEnabled(true);

    auto* groupButtons = new QHBoxLayout;
    groupButtons->addWidget(all_);
    groupButtons->addWidget(none_);
    groupButtons->addStretch(1);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("Filter"), this));
    filterRow->addWidget(filter_, 1);
    filterRow->addWidget(tickMatching_);
    filterRow->addWidget(clearMatching_);

    auto* switches = new QHBoxLayout;
    switches->addWidget(shapeMoments_);
    switches->addWidget(moments_);
    switches->addStretch(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addWidget(count_);
    layout->addLayout(groupButtons);
    layout->addLayout(filterRow);
    layout->addLayout(switches);
    layout->addWidget(buttons);

    ShowModel();

    connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (showing_) return;
        const int entry = item->data(kEntryRole).toInt();
        if (entry < 0 || entry >= model_.Count()) return;
        model_.entries[std::size_t(entry)].on = item->checkState() == Qt::Checked ? 1 : 0;
        ShowCount();
    });
    connect(all_, &QPushButton::clicked, this, [this] {
        model_.SetAll(true);
        ShowModel();
    });
    connect(none_, &QPushButton::clicked, this, [this] {
        model_.SetAll(false);
        ShowModel();
    });
    connect(tickMatching_, &QPushButton::clicked, this, [this] { SetMatching(true); });
    connect(clearMatching_, &QPushButton::clicked, this, [this] { SetMatching(false); });
    // Return in the filter ticks the matching names instead of pressing OK.
    filter_->installEventFilter(this);
    connect(shapeMoments_, &QCheckBox::toggled, this,
            [this](bool on) { model_.shapeMoments = on; });
    connect(moments_, &QCheckBox::toggled, this, [this](bool on) { model_.moments = on; });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool CFeatureSelectionDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filter_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            SetMatching(true);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QListWidgetItem* CFeatureSelectionDlg::ItemOf(int32_t entry) const {
    return entry >= 0 && entry < static_cast<int32_t>(items_.size()) ? items_[std::size_t(entry)]
                                                                     : nullptr;
}

void CFeatureSelectionDlg::SetMatching(bool on) {
    // An empty filter would match every name: All / None do that.
    if (filter_->text().isEmpty()) return;
    model_.SetMatching(FromQ(filter_->text()), on);
    ShowModel();
}

void CFeatureSelectionDlg::ShowModel() {
    showing_ = true;
    for (std::size_t i = 0; i < items_.size(); ++i)
        items_[i]->setCheckState(model_.entries[i].on ? Qt::Checked : Qt::Unchecked);
    showing_ = false;
    shapeMoments_->setChecked(model_.shapeMoments);
    moments_->setChecked(model_.moments);
    ShowCount();
}

void CFeatureSelectionDlg::ShowCount() {
    count_->setText(
        QStringLiteral("%1 of %2 selected").arg(model_.SelectedCount()).arg(model_.Count()));
}

}  // namespace vistrel
