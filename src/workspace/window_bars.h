#pragma once
// Models of the two window bars: what their sliders, texts and edits show
// and how an edit turns into a document's window. The widgets only bind.

#include <cstdint>
#include <string>

#include "core/display.h"

namespace vistrel {

class CVistrelDoc;

// Bit window bar: number of displayed bits and the lowest displayed bit.
class CBitWindowBarModel {
  public:
    // Reloads depth, shift and bits from the document; no document gives 1 bit, shift 0, depth 0.
    void Load(const CVistrelDoc* doc);

    int Depth() const { return depth_; }
    int Shift() const { return shift_; }
    int Bits() const { return bits_; }
    int BitsMaximum() const { return depth_ < 8 ? depth_ : 8; }
    int ShiftMaximum() const { return depth_; }

    // Dragging one slider moves the other so that shift + bits stays within the depth.
    void DragBits(int bits);
    void DragShift(int shift);

    std::string BitsText() const;   // "%d"
    std::string RangeText() const;  // "%d - %d": shift .. shift + bits - 1

    // At the end of a drag: hands a changed pair to the document (SetWindowBits).
    bool Commit(CVistrelDoc* doc) const;

  private:
    int depth_ = 0;
    int shift_ = 0;
    int bits_ = 1;
};

// Value window bar: low, high, level and width over the image's true-value range.
class CValueWindowBarModel {
  public:
    // Reloads through GetWindowValues; no document gives all zeros.
    void Load(const CVistrelDoc* doc);

    int32_t Low() const { return low_; }
    int32_t High() const { return high_; }
    int32_t Minimum() const { return min_; }
    int32_t Maximum() const { return max_; }
    int32_t Level() const { return low_ + (high_ - low_) / 2; }
    int32_t Width() const { return high_ - low_; }
    int32_t WidthMaximum() const { return max_ - min_; }

    // Each edit keeps low <= high inside [min, max].
    void SetLow(int32_t low);
    void SetHigh(int32_t high);
    // Moves the window to a new centre, keeping its width where the range allows.
    void SetLevel(int32_t level);
    // Changes the width around the current level.
    void SetWidth(int32_t width);

    // Gives the window to the document and repaints its views; reloads the clamped values.
    void Apply(CVistrelDoc* doc);

    // Palette index of the colour strip at row y counted from the bottom of a
    // strip `height` rows tall: first entry below the low mark, last above the
    // high mark, equal steps in between.
    int StripIndex(int y, int height, int paletteSize) const;

  private:
    void Clamp();
    int32_t low_ = 0;
    int32_t high_ = 0;
    int32_t min_ = 0;
    int32_t max_ = 0;
};

}  // namespace vistrel
