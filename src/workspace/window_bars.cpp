#include "workspace/window_bars.h"

#include <algorithm>
#include <cstdio>

#include "workspace/vistrel_doc.h"

namespace vistrel {

void CBitWindowBarModel::Load(const CVistrelDoc* doc) {
    if (!doc || !doc->image.IsValid()) {
        depth_ = 0;
        shift_ = 0;
        bits_ = 1;
        return;
    }
    depth_ = doc->image.depth;
    shift_ = doc->displayShift;
    bits_ = doc->displayDepth;
}

void CBitWindowBarModel::DragBits(int bits) {
    bits_ = std::clamp(bits, 1, std::max(1, BitsMaximum()));
    if (shift_ + bits_ > depth_) shift_ = std::max(0, depth_ - bits_);
}

void CBitWindowBarModel::DragShift(int shift) {
    // At least one bit stays displayed, so the shift stops one below the depth.
    shift_ = std::clamp(shift, 0, std::max(0, depth_ - 1));
    if (shift_ + bits_ > depth_) bits_ = std::max(1, depth_ - shift_);
}

std::string CBitWindowBarModel::BitsText() const {
    return std::to_string(bits_);
}

std::string CBitWindowBarModel::RangeText() const {
    char text[32];
    std::snprintf(text, sizeof text, "%d - %d", shift_, shift_ + bits_ - 1);
    return text;
}

bool CBitWindowBarModel::Commit(CVistrelDoc* doc) const {
    return doc && doc->SetWindowBits(shift_, bits_) == 1;
}

void CValueWindowBarModel::Load(const CVistrelDoc* doc) {
    if (!doc || !doc->image.IsValid()) {
        low_ = high_ = min_ = max_ = 0;
        return;
    }
    doc->GetWindowValues(low_, high_, min_, max_);
}

void CValueWindowBarModel::Clamp() {
    low_ = std::clamp(low_, min_, max_);
    high_ = std::clamp(high_, low_, max_);
}

void CValueWindowBarModel::SetLow(int32_t low) {
    low_ = std::clamp(low, min_, max_);
    if (high_ < low_) high_ = low_;
    Clamp();
}

void CValueWindowBarModel::SetHigh(int32_t high) {
    high_ = std::clamp(high, min_, max_);
    if (low_ > high_) low_ = high_;
    Clamp();
}

void CValueWindowBarModel::SetLevel(int32_t level) {
    const int32_t width = Width();
    int32_t low = level - width / 2;
    low = std::clamp(low, min_, std::max(min_, max_ - width));
    low_ = low;
    high_ = low + width;
    Clamp();
}

void CValueWindowBarModel::SetWidth(int32_t width) {
    width = std::clamp(width, 0, WidthMaximum());
    const int32_t level = Level();
    int32_t low = level - width / 2;
    low = std::clamp(low, min_, std::max(min_, max_ - width));
    low_ = low;
    high_ = low + width;
    Clamp();
}

void CValueWindowBarModel::Apply(CVistrelDoc* doc) {
    if (!doc) return;
    doc->SetWindowValues(low_, high_);
    doc->UpdateAllViews(kUpdateDisplay);
    Load(doc);
}

int CValueWindowBarModel::StripIndex(int y, int height, int paletteSize) const {
    if (paletteSize <= 0 || height <= 0) return 0;
    const double range = static_cast<double>(max_) - min_;
    const double lowMark = range > 0 ? (low_ - min_) / range * height : 0.0;
    const double highMark = range > 0 ? (high_ - min_) / range * height : height;
    const double row = y + 0.5;
    if (row < lowMark) return 0;
    if (row >= highMark) return paletteSize - 1;
    const double fraction = (row - lowMark) / (highMark - lowMark);
    return std::clamp(static_cast<int>(fraction * paletteSize), 0, paletteSize - 1);
}

}  // namespace vistrel
