#include "shell/diagnoses_legend_bar.h"

#include <QPainter>

namespace vistrel {

namespace {
constexpr int kBox = 22;
constexpr int kModeWidth = 44;
constexpr int kGap = 4;
}  // namespace

CDiagnosesLegendDlgBar::CDiagnosesLegendDlgBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DiagnosesLegend"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CDiagnosesLegendDlgBar::SetNetwork(bool network) {
    if (network_ == network) return;
    network_ = network;
    updateGeometry();
    update();
}

QString CDiagnosesLegendDlgBar::ModeText() const {
    return network_ ? QStringLiteral("Net") : QStringLiteral("User");
}

std::vector<CDiagnosesLegendDlgBar::CEntry> CDiagnosesLegendDlgBar::Entries() const {
    if (network_) return {{"T", QColor(255, 0, 217)}, {"F", QColor(38, 0, 255)}};
    return {{"B", QColor(249, 255, 0)}, {"M", QColor(254, 0, 89)}, {"F", QColor(38, 0, 255)}};
}

QSize CDiagnosesLegendDlgBar::sizeHint() const {
    const int boxes = static_cast<int>(Entries().size());
    return {kGap + kModeWidth + boxes * (kGap + kBox) + kGap, kBox + 2 * kGap};
}

void CDiagnosesLegendDlgBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QRect box(kGap, kGap, kModeWidth, kBox);
    painter.fillRect(box, kModeBackground);
    painter.setPen(Qt::black);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.drawText(box, Qt::AlignCenter, ModeText());
    int x = box.right() + 1 + kGap;
    for (const CEntry& entry : Entries()) {
        const QRect colour(x, kGap, kBox, kBox);
        painter.fillRect(colour, entry.colour);
        painter.setPen(Qt::black);
        painter.drawRect(colour.adjusted(0, 0, -1, -1));
        // Letters stay readable on the dark blue box.
        painter.setPen(entry.colour.lightness() < 100 ? Qt::white : Qt::black);
        painter.drawText(colour, Qt::AlignCenter, entry.letter);
        x += kBox + kGap;
    }
}

}  // namespace vistrel
