#pragma once
// The bit-window bar: how many bits of each sample are shown and from which bit.

#include <QLabel>
#include <QSlider>
#include <QWidget>

#include "workspace/window_bars.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

class CWindowWidthBits : public QWidget {
    Q_OBJECT
  public:
    explicit CWindowWidthBits(CVistrelApp& app, QWidget* parent = nullptr);

    // Reloads depth, shift and bits from a document (null: 1 bit, shift 0, depth 0).
    void Load(CVistrelDoc* doc);

    QSlider* BitsSlider() const { return bits_; }
    QSlider* ShiftSlider() const { return shift_; }
    QLabel* BitsLabel() const { return bitsText_; }
    QLabel* RangeLabel() const { return rangeText_; }
    const CBitWindowBarModel& Model() const { return model_; }

  private:
    void OnBitsMoved(int value);
    void OnShiftMoved(int value);
    void Commit();
    void ShowModel();

    CVistrelApp& app_;
    CBitWindowBarModel model_;
    QSlider* bits_;
    QSlider* shift_;
    QLabel* bitsText_;
    QLabel* rangeText_;
    bool loading_ = false;
};

}  // namespace vistrel
