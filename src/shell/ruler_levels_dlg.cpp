#include "shell/ruler_levels_dlg.h"

#include <QDialogButtonBox>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>

namespace vistrel {

CRulerLevelsCtrl::CRulerLevelsCtrl(std::vector<int> levels, QWidget* parent)
    : QWidget(parent), levels_(std::move(levels)) {
    setMinimumSize(120, 80);
}

void CRulerLevelsCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(Qt::gray);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (levels_.empty()) return;
    const auto [low, high] = std::minmax_element(levels_.begin(), levels_.end());
    const double range = std::max(1, *high - *low);
    const QRectF area = QRectF(rect()).adjusted(4, 4, -4, -4);
    const double step = levels_.size() > 1 ? area.width() / (levels_.size() - 1) : 0.0;
    QPainterPath path;
    for (std::size_t i = 0; i < levels_.size(); ++i) {
        const QPointF at(area.left() + i * step,
                         area.bottom() - (levels_[i] - *low) / range * area.height());
        if (i == 0)
            path.moveTo(at);
        else
            path.lineTo(at);
    }
    painter.setPen(QPen(Qt::black, 1));
    painter.drawPath(path);
}

CRulerLevelsDlg::CRulerLevelsDlg(std::vector<int> levels, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Ruler Gray-Levels"));
    auto* layout = new QVBoxLayout(this);
    int low = 0, high = 0;
    if (!levels.empty()) {
        low = *std::min_element(levels.begin(), levels.end());
        high = *std::max_element(levels.begin(), levels.end());
    }
    summary_ = new QLabel(QString::asprintf("Min: %d  Max: %d  Points: %d", low, high,
                                            static_cast<int>(levels.size())),
                          this);
    chart_ = new CRulerLevelsCtrl(std::move(levels), this);
    layout->addWidget(chart_, 1);
    layout->addWidget(summary_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace vistrel
