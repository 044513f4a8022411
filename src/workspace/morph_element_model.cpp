#include "workspace/morph_element_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vistrel {

namespace {

int ClampSize(int size) {
    return std::clamp(size, kMinMorphElementSize, kMaxMorphElementSize);
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

CMorphElementModel::CMorphElementModel(const CMorphSE& element, int iterations, double resolution)
    : element_(element),
      iterations_(std::clamp(iterations, kMinMorphIterations, kMaxMorphIterations)),
      // A resolution that cannot convert sizes falls back to one pixel per inch.
      resolution_(std::isfinite(resolution) && resolution > 0.0 ? resolution : 1.0),
      size_(element.HasCells() ? ClampSize(element.size) : 3),
      shapeChoice_(element.shape >= CMorphSE::kCross && element.shape <= CMorphSE::kSquare
                       ? element.shape
                       : CMorphSE::kSquare) {
    if (size_ % 2 == 0) size_ = ClampSize(size_ + 1);
}

void CMorphElementModel::SetSize(int size) {
    if (size % 2 == 0) size += size >= size_ ? 1 : -1;
    size_ = ClampSize(size);
}

std::string CMorphElementModel::SizeCmText() const {
    return Format("%.2f", size_ * 2.54 / resolution_);
}

void CMorphElementModel::SetSizeCm(double cm) {
    if (!std::isfinite(cm)) return;
    // Clamped in double first: a huge entry must not overflow the conversion.
    const double pixels = std::trunc(cm * resolution_ / 2.54);
    int size = static_cast<int>(std::clamp(pixels, 0.0, double(kMaxMorphElementSize)));
    if (size % 2 == 0) ++size;
    size_ = ClampSize(size);
}

std::string CMorphElementModel::ResolutionText() const {
    return Format("Active image resolution = %.2f microns/pixel", 25400.0 / resolution_);
}

void CMorphElementModel::OnCreate() {
    const auto shape = static_cast<int32_t>(shapeChoice_);
    if (element_.HasCells() && element_.size == size_)
        element_.DrawCentred(size_, shape);
    else
        element_.Resize(static_cast<int16_t>(size_), shape);
}

void CMorphElementModel::OnClear() {
    // An element without cells gets the entered size, so there is a centre to keep.
    if (!element_.HasCells()) element_.Resize(static_cast<int16_t>(size_));
    element_.CentreOnly();
}

void CMorphElementModel::OnRotate90() {
    element_.Rotate90();
}

void CMorphElementModel::SetCell(int row, int col, bool member) {
    if (row < 0 || col < 0 || row >= element_.size || col >= element_.size) return;
    element_.SetCell(row, col, member ? 1 : 0);
}

bool CMorphElementModel::SetIterations(int iterations) {
    if (iterations < kMinMorphIterations || iterations > kMaxMorphIterations) return false;
    iterations_ = iterations;
    return true;
}

}  // namespace vistrel
