#include "shell/froc_plot_window.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "core/froc_chart_painting.h"
#include "core/messages.h"
#include "core/text.h"
#include "workspace/file_filters.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

CFrocChartView::CFrocChartView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 240);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CFrocChartView::SetChart(const CFrocChart& chart) {
    chart_ = chart;
    update();
}

void CFrocChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    PaintFrocChart(painter, QRectF(rect()), chart_);
}

CFrocPlotWindow::CFrocPlotWindow(CVistrelApp& app, QWidget* parent)
    : QWidget(parent, Qt::Window),
      app_(app),
      view_(new CFrocChartView(this)),
      saveButton_(new QPushButton(QStringLiteral("Save..."), this)) {
    setWindowTitle(QStringLiteral("FROC"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(saveButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    resize(kFrocChartSaveWidth * 3 / 4, kFrocChartSaveHeight * 3 / 4 + 40);
    connect(saveButton_, &QPushButton::clicked, this, [this] { Save(); });
}

void CFrocPlotWindow::SetChart(const CFrocChart& chart) {
    view_->SetChart(chart);
}

bool CFrocPlotWindow::Save() {
    IWorkspaceUi* ui = app_.Ui();
    if (!ui) return false;
    const std::vector<CFileFilter> filters =
        ParseFilterList("PNG Files (*.png)|*.png|SVG Files (*.svg)|*.svg||");
    std::string path;
    int filter = 0;
    if (!ui->PickSaveFile(lastPath_.empty() ? std::string("froc.png") : lastPath_, filters, path,
                          filter) ||
        path.empty())
        return false;
    // A name without a known extension takes the chosen filter's.
    const std::string lower = ToLower(path);
    const auto endsWith = [&lower](const char* ext) {
        const std::string e(ext);
        return lower.size() >= e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0;
    };
    if (!endsWith(".png") && !endsWith(".svg")) {
        const bool known = filter >= 0 && filter < int(filters.size());
        path += "." + (known ? filters[std::size_t(filter)].Extension() : std::string("png"));
    }
    std::string error;
    if (!SaveFrocChart(view_->Chart(), path, error)) {
        messages().show(error.empty() ? "The FROC chart could not be saved." : error);
        return false;
    }
    lastPath_ = path;
    return true;
}

}  // namespace vistrel
