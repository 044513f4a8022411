#include "shell/histogram_dlg.h"

#include <QGridLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "shell/qt_text.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

const char* const kFigureCaptions[] = {
    "Pixels:", "Mean:", "Std Dev:", "Median:", "Variance:", "Skewness:", "Kurtosis:"};
const char* const kHoverCaptions[] = {"Level:", "Count:", "Percentile:"};
const char* const kSelectionCaptions[] = {"Range:", "Range count:", "Range mean:"};

QColor Inverse(const QColor& colour) {
    return QColor(255 - colour.red(), 255 - colour.green(), 255 - colour.blue());
}

}  // namespace

CHistogramCtrl::CHistogramCtrl(CHistogramModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    model_.SetControlWidth(width());
}

void CHistogramCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    model_.SetControlWidth(width());
}

void CHistogramCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor face = palette().color(QPalette::Button);
    const QColor faceBar = Inverse(face);
    painter.fillRect(rect(), face);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    const int top = kInset;
    const int height = this->height() - 2 * kInset;
    if (height <= 0 || model_.Bins().empty()) return;
    const int bins = static_cast<int>(model_.Bins().size());
    for (int bin = 0; bin < bins; ++bin) {
        const int first = kInset + model_.BinFirstColumn(bin);
        const int end = kInset + model_.BinEndColumn(bin);
        if (end <= first) continue;
        const bool selected = model_.IsBinSelected(bin);
        if (selected) painter.fillRect(first, top, end - first, height, Qt::white);
        const int bar = model_.BarHeight(bin, height);
        if (bar > 0)
            painter.fillRect(first, top + height - bar, end - first, bar,
                             selected ? QColor(Qt::black) : faceBar);
    }
}

void CHistogramCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    model_.BeginSelection(ColumnAt(event->position().toPoint().x()));
    update();
    emit selectionChanged();
}

void CHistogramCtrl::mouseMoveEvent(QMouseEvent* event) {
    const int column = ColumnAt(event->position().toPoint().x());
    model_.HoverColumn(column);
    emit hoverChanged();
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        model_.ExtendSelection(column);
        update();
        emit selectionChanged();
    }
}

void CHistogramCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    model_.ExtendSelection(ColumnAt(event->position().toPoint().x()));
    update();
    emit selectionChanged();
}

CHistogramDlg::CHistogramDlg(CVistrelApp& app, QWidget* parent)
    : QDialog(parent), app_(app), control_(new CHistogramCtrl(model_, this)) {
    setWindowTitle(QStringLiteral("Histogram"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(control_, 1);
    auto* grid = new QGridLayout;
    auto addColumn = [&](const auto& captions, int column) {
        int row = 0;
        for (const char* caption : captions) {
            auto* value = new QLabel(this);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
            grid->addWidget(new QLabel(QString::fromLatin1(caption), this), row, column);
            grid->addWidget(value, row, column + 1);
            figures_.emplace_back(QString::fromLatin1(caption), value);
            ++row;
        }
        return row;
    };
    addColumn(kFigureCaptions, 0);
    const int hoverRows = addColumn(kHoverCaptions, 2);
    // The selection figures sit under the level figures.
    int row = hoverRows;
    for (const char* caption : kSelectionCaptions) {
        auto* value = new QLabel(this);
        grid->addWidget(new QLabel(QString::fromLatin1(caption), this), row, 2);
        grid->addWidget(value, row, 3);
        figures_.emplace_back(QString::fromLatin1(caption), value);
        ++row;
    }
    layout->addLayout(grid);

    connect(control_, &CHistogramCtrl::hoverChanged, this, &CHistogramDlg::ShowHover);
    connect(control_, &CHistogramCtrl::selectionChanged, this, &CHistogramDlg::ShowSelection);
    CNotifier& notifier = app_.Notifier();
    connect(&notifier, &CNotifier::imageChanged, this, &CHistogramDlg::Bind);
    connect(&notifier, &CNotifier::documentClosing, this, [this](CVistrelDoc* doc) {
        if (doc == doc_) Bind(nullptr);
    });
    Bind(app_.ActiveDocument());
}

QLabel* CHistogramDlg::Figure(const QString& caption) const {
    for (const auto& [name, label] : figures_)
        if (name == caption) return label;
    return nullptr;
}

void CHistogramDlg::Bind(CVistrelDoc* doc) {
    doc_ = doc;
    model_.Load(doc);
    ShowFigures();
    ShowHover();
    ShowSelection();
}

void CHistogramDlg::ShowFigures() {
    const std::pair<const char*, std::string> texts[] = {
        {"Pixels:", model_.PixelsText()},     {"Mean:", model_.MeanText()},
        {"Std Dev:", model_.StdDevText()},    {"Median:", model_.MedianText()},
        {"Variance:", model_.VarianceText()}, {"Skewness:", model_.SkewnessText()},
        {"Kurtosis:", model_.KurtosisText()},
    };
    for (const auto& [caption, text] : texts)
        Figure(QString::fromLatin1(caption))->setText(ToQ(text));
    control_->update();
}

void CHistogramDlg::ShowHover() {
    Figure(QStringLiteral("Level:"))->setText(ToQ(model_.LevelText()));
    Figure(QStringLiteral("Count:"))->setText(ToQ(model_.CountText()));
    Figure(QStringLiteral("Percentile:"))->setText(ToQ(model_.PercentileText()));
}

void CHistogramDlg::ShowSelection() {
    Figure(QStringLiteral("Range:"))->setText(ToQ(model_.SelectionRangeText()));
    Figure(QStringLiteral("Range count:"))->setText(ToQ(model_.SelectionCountText()));
    Figure(QStringLiteral("Range mean:"))->setText(ToQ(model_.SelectionMeanText()));
    control_->update();
}

}  // namespace vistrel
