#pragma once
// The "Two images operations" tool window: "Set I1" and "Set I2" take the
// active document, the eight buttons run the pixelwise operations on their
// images and hand the result on to be opened as a new document of I1. In its
// conditional-thickening mode the two buttons choose the marker and the
// condition image, and "Thicken" hands on a result for the condition's document.

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>
#include <memory>
#include <vector>

#include "workspace/two_images_model.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

class CTwoImagesOperationsDlg : public QDialog {
    Q_OBJECT
  public:
    // Receives the result of an operation and the document whose title the
    // new document takes (I1's; I2's for thickening); opening it belongs to
    // whoever owns the documents.
    using ResultHandler = std::function<void(CVistrelDoc& source, std::unique_ptr<CMImage> result)>;

    explicit CTwoImagesOperationsDlg(CVistrelApp& app, QWidget* parent = nullptr);
    CTwoImagesOperationsDlg(CVistrelApp& app, CTwoImagesModel::EMode mode,
                            QWidget* parent = nullptr);

    void SetResultHandler(ResultHandler handler) { resultHandler_ = std::move(handler); }

    // "Set I1" / "Set I2" with a given document (null clears).
    void SetI1(CVistrelDoc* doc);
    void SetI2(CVistrelDoc* doc);
    // Runs an operation by its index, as its button does.
    void Run(int operation);
    // Conditional thickening of I1's image under I2's, as "Thicken" does.
    void RunThickening();

    QPushButton* SetI1Button() const { return setI1_; }
    QPushButton* SetI2Button() const { return setI2_; }
    QLabel* I1Title() const { return i1Title_; }
    QLabel* I2Title() const { return i2Title_; }
    // Null in the thickening mode, which has only "Thicken".
    QPushButton* OperationButton(int operation) const;
    QPushButton* ThickenButton() const { return thicken_; }
    const CTwoImagesModel& Model() const { return model_; }

  private:
    void ShowTitles();

    CVistrelApp& app_;
    CTwoImagesModel model_;
    ResultHandler resultHandler_;
    QPushButton* setI1_;
    QPushButton* setI2_;
    QLabel* i1Title_;
    QLabel* i2Title_;
    std::vector<QPushButton*> operations_;
    QPushButton* thicken_ = nullptr;
};

}  // namespace vistrel
