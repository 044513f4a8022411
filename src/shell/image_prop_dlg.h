#pragma once
// The "Image Properties" tool window: pixel dimensions, bits per channel,
// document size and resolution of the active document. OK stores the
// resolution in the document.

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>

#include "workspace/image_properties_model.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

class CImagePropDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CImagePropDlg(CVistrelApp& app, QWidget* parent = nullptr);

    // Shows a document's properties (null: all 0); the units start as
    // centimetres and microns per pixel.
    void Bind(CVistrelDoc* doc);
    CVistrelDoc* Document() const { return doc_; }

    QLabel* WidthPixels() const { return widthPixels_; }
    QLabel* HeightPixels() const { return heightPixels_; }
    QLabel* Bits() const { return bits_; }
    QLabel* DocumentWidth() const { return documentWidth_; }
    QLabel* DocumentHeight() const { return documentHeight_; }
    QComboBox* SizeUnit() const { return sizeUnit_; }
    QLineEdit* Resolution() const { return resolution_; }
    QComboBox* ResolutionUnit() const { return resolutionUnit_; }
    // Where the pixel size came from; says so when it is only the default.
    QLabel* ResolutionSource() const { return source_; }
    QDialogButtonBox* Buttons() const { return buttons_; }
    const CImagePropertiesModel& Model() const { return model_; }

    // OK: takes the typed resolution and stores it in the document.
    void accept() override;

  private:
    // A resolution that is not a positive number is put back to the one in force.
    void ResolutionEdited();
    void ShowModel();

    CVistrelApp& app_;
    CImagePropertiesModel model_;
    CVistrelDoc* doc_ = nullptr;
    QLabel* widthPixels_;
    QLabel* heightPixels_;
    QLabel* bits_;
    QLabel* documentWidth_;
    QLabel* documentHeight_;
    QComboBox* sizeUnit_;
    QLineEdit* resolution_;
    QComboBox* resolutionUnit_;
    QLabel* source_;
    QDialogButtonBox* buttons_;
};

}  // namespace vistrel
