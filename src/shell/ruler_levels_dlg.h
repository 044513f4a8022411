#pragma once
// "Ruler Gray-Levels": the grey levels along the ruler line as a chart.

#include <QDialog>
#include <QLabel>
#include <QWidget>
#include <vector>

namespace vistrel {

// Plots the levels left to right, scaled between their minimum and maximum.
class CRulerLevelsCtrl : public QWidget {
    Q_OBJECT
  public:
    explicit CRulerLevelsCtrl(std::vector<int> levels, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {420, 220}; }
    const std::vector<int>& Levels() const { return levels_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<int> levels_;
};

class CRulerLevelsDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CRulerLevelsDlg(std::vector<int> levels, QWidget* parent = nullptr);
    CRulerLevelsCtrl* Chart() const { return chart_; }
    // "Min: %d  Max: %d  Points: %d".
    QLabel* Summary() const { return summary_; }

  private:
    CRulerLevelsCtrl* chart_;
    QLabel* summary_;
};

}  // namespace vistrel
