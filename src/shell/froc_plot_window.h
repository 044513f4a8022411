#pragma once
// The FROC plot window of the spot detector: the chart painted to fill the
// window whatever its size, and "Save..." writing it as PNG or SVG.

#include <QPushButton>
#include <QWidget>
#include <string>

#include "core/froc_chart.h"

namespace vistrel {

class CVistrelApp;

// The canvas the chart is painted on.
class CFrocChartView : public QWidget {
    Q_OBJECT
  public:
    explicit CFrocChartView(QWidget* parent = nullptr);
    void SetChart(const CFrocChart& chart);
    const CFrocChart& Chart() const { return chart_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    CFrocChart chart_;
};

class CFrocPlotWindow : public QWidget {
    Q_OBJECT
  public:
    // A window of its own (deleted when closed), closed with its parent.
    explicit CFrocPlotWindow(CVistrelApp& app, QWidget* parent = nullptr);

    void SetChart(const CFrocChart& chart);
    const CFrocChart& Chart() const { return view_->Chart(); }
    CFrocChartView* View() const { return view_; }
    QPushButton* SaveButton() const { return saveButton_; }

    // "Save...": asks for the file (PNG or SVG) and writes the chart; a
    // failure is shown. False when cancelled or not written.
    bool Save();

  private:
    CVistrelApp& app_;
    CFrocChartView* view_;
    QPushButton* saveButton_;
    std::string lastPath_;
};

}  // namespace vistrel
