#pragma once
// The value-window bar: low, high and level of the displayed value range,
// the window width, the LUT and a strip showing how values map to colours.

#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QWidget>

#include "workspace/window_bars.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

// A number edit that reports its value when the user presses Enter or leaves it.
class CWWVEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CWWVEdit(QWidget* parent = nullptr);
    void SetNumber(int value);

  signals:
    void numberEntered(int value);
};

// Colour strip painted bottom to top over the value range.
class CColourStrip : public QWidget {
    Q_OBJECT
  public:
    CColourStrip(CVistrelApp& app, const CValueWindowBarModel& model, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {24, 200}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    CVistrelApp& app_;
    const CValueWindowBarModel& model_;
};

class CWindowWidthValues : public QWidget {
    Q_OBJECT
  public:
    explicit CWindowWidthValues(CVistrelApp& app, QWidget* parent = nullptr);

    // Reloads low, high, min and max from a document (null: all 0).
    void Load(CVistrelDoc* doc);

    QSlider* LowSlider() const { return lowSlider_; }
    QSlider* HighSlider() const { return highSlider_; }
    QSlider* LevelSlider() const { return levelSlider_; }
    CWWVEdit* LowEdit() const { return lowEdit_; }
    CWWVEdit* HighEdit() const { return highEdit_; }
    CWWVEdit* LevelEdit() const { return levelEdit_; }
    QSpinBox* WidthSpin() const { return widthSpin_; }
    QSpinBox* LevelSpin() const { return levelSpin_; }
    QComboBox* LutCombo() const { return lutCombo_; }
    CColourStrip* Strip() const { return strip_; }
    const CValueWindowBarModel& Model() const { return model_; }

  private:
    void Edited();
    void ShowModel();
    void FillLuts();

    CVistrelApp& app_;
    CValueWindowBarModel model_;
    QSlider* lowSlider_;
    QSlider* highSlider_;
    QSlider* levelSlider_;
    CWWVEdit* lowEdit_;
    CWWVEdit* highEdit_;
    CWWVEdit* levelEdit_;
    QSpinBox* widthSpin_;
    QSpinBox* levelSpin_;
    QComboBox* lutCombo_;
    CColourStrip* strip_;
    bool loading_ = false;
};

}  // namespace vistrel
