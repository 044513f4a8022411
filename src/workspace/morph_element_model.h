#pragma once
// Model of the "Parameters for morphological operators" dialog: a working
// copy of the application's structuring element and iteration count, the
// size rules (odd sizes, pixels <-> cm at the active view's resolution) and
// what its buttons and the element grid do. OK hands the copy back.

#include <string>

#include "filters/morph_se.h"

namespace vistrel {

inline constexpr const char* kMorphElementTitle = "Parameters for morphological operators";
inline constexpr int kMinMorphIterations = 1;
inline constexpr int kMaxMorphIterations = 100;
// Element sizes the dialog offers. The grid of 15-pixel cells of a 51 x 51
// element still fits a screen, and a larger flat element is better served by
// iterating a smaller one (k iterations of a 2m+1 square reach 2km+1).
inline constexpr int kMinMorphElementSize = 1;
inline constexpr int kMaxMorphElementSize = 51;

class CMorphElementModel {
  public:
    // resolution: the active view's pixels per inch (1.0 without one).
    CMorphElementModel(const CMorphSE& element, int iterations, double resolution);

    const CMorphSE& Element() const { return element_; }
    int Iterations() const { return iterations_; }
    double Resolution() const { return resolution_; }

    // The size field. SetSize forces an odd size: an even entry moves one
    // further in the direction of the change from the previous size.
    int Size() const { return size_; }
    void SetSize(int size);
    // "%.2f" of size * 2.54 / resolution.
    std::string SizeCmText() const;
    // Entering cm: size = trunc(cm * resolution / 2.54), plus 1 when even.
    // Sizes are kept within kMinMorphElementSize..kMaxMorphElementSize; a
    // cm value that is no finite number changes nothing.
    void SetSizeCm(double cm);
    // "Active image resolution = %.2f microns/pixel" with 25400 / resolution.
    std::string ResolutionText() const;

    // Shape radio: CMorphSE::kCross .. kSquare.
    int Shape() const { return shapeChoice_; }
    void SetShape(int shape) { shapeChoice_ = shape; }

    // "Create": DrawCentred when the element already has the size, else Resize.
    void OnCreate();
    // "Clear": only the centre cell.
    void OnClear();
    // "Rotate 90".
    void OnRotate90();
    // The grid: set (left button) or clear (right button) a cell inside the element.
    void SetCell(int row, int col, bool member);

    // Number of iterations; false (value unchanged) outside 1..100.
    bool SetIterations(int iterations);

  private:
    CMorphSE element_;
    int iterations_;
    double resolution_;
    int size_;
    int shapeChoice_;
};

}  // namespace vistrel
