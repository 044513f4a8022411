#pragma once
// Model of the "Two images operations" window: the documents chosen as I1
// and I2, the eight operations on their images and the messages they give.
// The result is opened by the caller as a new document titled like I1's.

#include <memory>
#include <string>
#include <vector>

#include "core/image.h"

namespace vistrel {

class CVistrelDoc;

inline constexpr const char* kDifferentImageSizes = "Different image sizes!\n Change images...";
inline constexpr const char* kConditionalThickeningTitle = "Conditional Thickening";

class CTwoImagesModel {
  public:
    // Operation indices, in the order of the buttons.
    enum Operation : int {
        kAverage = 0,
        kDifference = 1,
        kMax = 2,
        kMin = 3,
        kGreater = 4,
        kLess = 5,
        kKeepTouching = 6,
        kRemoveTouching = 7,
    };
    static const std::vector<std::string>& OperationNames();

    // The window's two modes: the eight operations ("Set I1" / "Set I2"), or
    // conditional thickening ("Set Internal Marker" supplies the marker,
    // "Set External Marker" the condition image, whose document receives
    // the result).
    enum class EMode { Operations, ConditionalThickening };
    explicit CTwoImagesModel(EMode mode = EMode::Operations) : mode_(mode) {}
    EMode Mode() const { return mode_; }
    // The window title and the two button texts of the mode.
    std::string WindowTitle() const;
    std::string FirstButtonText() const;
    std::string SecondButtonText() const;
    // Conditional thickening of I1's image (marker) under I2's (condition).
    // Null when nothing happens: a missing or invalid image, a size mismatch
    // (kDifferentImageSizes is shown), different depths. The result opens as
    // a new document of I2.
    std::unique_ptr<CMImage> RunThickening() const;

    // "Set I1" / "Set I2": the active document (null clears).
    void SetI1(CVistrelDoc* doc) { i1_ = doc; }
    void SetI2(CVistrelDoc* doc) { i2_ = doc; }
    CVistrelDoc* I1() const { return i1_; }
    CVistrelDoc* I2() const { return i2_; }
    // Titles shown beside the buttons; empty when not set.
    std::string I1Title() const;
    std::string I2Title() const;
    // A closing document is forgotten.
    void DocumentClosing(const CVistrelDoc* doc);

    // Runs an operation on I1 and I2. Returns the image to open as a new
    // document of I1, or null when nothing happens: a missing or invalid
    // image, a size mismatch (the message kDifferentImageSizes is shown),
    // object operations on images that are not both 1-bit, an unknown index.
    // The object operations show "left objects=%d" / "removed objects=%d".
    std::unique_ptr<CMImage> Run(int operation, int connectivity) const;

  private:
    EMode mode_ = EMode::Operations;
    CVistrelDoc* i1_ = nullptr;
    CVistrelDoc* i2_ = nullptr;
};

}  // namespace vistrel
