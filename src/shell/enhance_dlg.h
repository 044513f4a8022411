#pragma once
// The "Brightness / Contrast" tool window: display-only brightness, contrast
// and gamma of the active document. It follows the active document and hands
// its values to the document it leaves.

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "workspace/enhance_model.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

class CEnhanceDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CEnhanceDlg(CVistrelApp& app, QWidget* parent = nullptr);

    // Binds the window to a document (null: none); the values shown so far
    // go to the document being left.
    void Bind(CVistrelDoc* doc);
    CVistrelDoc* Document() const { return doc_; }

    QSlider* BrightnessSlider() const { return brightnessSlider_; }
    QSlider* ContrastSlider() const { return contrastSlider_; }
    QSlider* GammaSlider() const { return gammaSlider_; }
    QLineEdit* BrightnessEdit() const { return brightnessEdit_; }
    QLineEdit* ContrastEdit() const { return contrastEdit_; }
    QLineEdit* GammaEdit() const { return gammaEdit_; }
    QPushButton* PreviewButton() const { return previewButton_; }
    QPushButton* DefaultsButton() const { return defaultsButton_; }
    const CEnhanceModel& Model() const { return model_; }

  private:
    void Changed();
    void ShowModel();

    CVistrelApp& app_;
    CEnhanceModel model_;
    CVistrelDoc* doc_ = nullptr;
    QSlider* brightnessSlider_;
    QSlider* contrastSlider_;
    QSlider* gammaSlider_;
    QLineEdit* brightnessEdit_;
    QLineEdit* contrastEdit_;
    QLineEdit* gammaEdit_;
    QPushButton* previewButton_;
    QPushButton* defaultsButton_;
};

}  // namespace vistrel
