#pragma once
// The inverted threshold slider of the detection tools: the top of the
// slider is the largest threshold. threshold = min + max - position.

#include <algorithm>
#include <cmath>

namespace vistrel {

class CInvertedSlider {
  public:
    // Range [floor(lo), floor(hi) + 1].
    void SetRange(double lo, double hi) {
        min_ = static_cast<int>(std::floor(lo));
        max_ = static_cast<int>(std::floor(hi)) + 1;
    }
    int Min() const { return min_; }
    int Max() const { return max_; }
    // The position showing threshold (clamped into the range).
    int PositionOf(double threshold) const {
        return std::clamp(static_cast<int>(std::lround(min_ + max_ - threshold)), min_, max_);
    }
    // The threshold of a position, both clamped into the range.
    double ThresholdAt(int position) const {
        position = std::clamp(position, min_, max_);
        return Clamp(double(min_ + max_ - position));
    }
    double Clamp(double threshold) const {
        return std::clamp(threshold, double(min_), double(max_));
    }

  private:
    int min_ = 0;
    int max_ = 0;
};

}  // namespace vistrel
