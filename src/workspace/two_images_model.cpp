#include "workspace/two_images_model.h"

#include "core/image_operations.h"
#include "core/messages.h"
#include "filters/morphology.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

const std::vector<std::string>& CTwoImagesModel::OperationNames() {
    static const std::vector<std::string> names = {
        "I1 + I2",       "I1 - I2",       "max{ I1, I2}",     "min{ I1, I2}",
        "{ I1: I1> I2}", "{ I1: I1< I2}", "Ob(I1) && Ob(I2)", "Ob(I1) \\ Ob(I2)",
    };
    return names;
}

std::string CTwoImagesModel::I1Title() const {
    return i1_ ? i1_->Title().toStdString() : std::string();
}

std::string CTwoImagesModel::I2Title() const {
    return i2_ ? i2_->Title().toStdString() : std::string();
}

void CTwoImagesModel::DocumentClosing(const CVistrelDoc* doc) {
    if (!doc) return;
    if (i1_ == doc) i1_ = nullptr;
    if (i2_ == doc) i2_ = nullptr;
}

std::string CTwoImagesModel::WindowTitle() const {
    return mode_ == EMode::ConditionalThickening ? kConditionalThickeningTitle
                                                 : "Two images operations";
}

std::string CTwoImagesModel::FirstButtonText() const {
    return mode_ == EMode::ConditionalThickening ? "Set Internal Marker" : "Set I1";
}

std::string CTwoImagesModel::SecondButtonText() const {
    return mode_ == EMode::ConditionalThickening ? "Set External Marker" : "Set I2";
}

std::unique_ptr<CMImage> CTwoImagesModel::RunThickening() const {
    if (!i1_ || !i2_) return nullptr;
    const CMImage& marker = i1_->image;
    const CMImage& condition = i2_->image;
    if (!marker.IsValid() || !condition.IsValid()) return nullptr;
    if (marker.width != condition.width || marker.height != condition.height) {
        messages().show(kDifferentImageSizes);
        return nullptr;
    }
    if (marker.depth != condition.depth) return nullptr;
    return ConditionalThickening(condition, marker);
}

std::unique_ptr<CMImage> CTwoImagesModel::Run(int operation, int connectivity) const {
    if (operation < kAverage || operation > kRemoveTouching) return nullptr;
    if (!i1_ || !i2_) return nullptr;
    const CMImage& a = i1_->image;
    const CMImage& b = i2_->image;
    if (!a.IsValid() || !b.IsValid()) return nullptr;
    if (a.width != b.width || a.height != b.height) {
        messages().show(kDifferentImageSizes);
        return nullptr;
    }
    switch (operation) {
        case kAverage:
            return Average(a, b);
        case kDifference:
            return Difference(a, b);
        case kMax:
        case kMin:
        case kGreater:
        case kLess:
            return Select(a, b, operation - kMax);
        default:
            break;
    }
    if (a.depth != 1 || b.depth != 1) return nullptr;
    auto result = std::make_unique<CMImage>(a);
    if (!result->IsValid()) return nullptr;
    const bool keep = operation == kKeepTouching;
    const int objects = keep ? KeepTouchingObjects(*result, b, connectivity)
                             : RemoveTouchingObjects(*result, b, connectivity);
    if (objects < 0) return nullptr;
    messages().show((keep ? "left objects=" : "removed objects=") + std::to_string(objects));
    return result;
}

}  // namespace vistrel
