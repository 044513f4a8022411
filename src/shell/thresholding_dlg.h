#pragma once
// The "Thresholding" tool window: its widgets bound to CThresholdingModel,
// which works on the source document and keeps the thresholded picture.

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "workspace/thresholding_model.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

class CThresholdingDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CThresholdingDlg(CVistrelApp& app, QWidget* parent = nullptr);

    CVistrelDoc* Document() const { return model_.Source(); }
    const CThresholdingModel& Model() const { return model_; }

    QLineEdit* ThresholdEdit() const { return thresholdEdit_; }
    QSlider* Slider() const { return slider_; }
    QLabel* RangeMinLabel() const { return rangeMin_; }
    QLabel* RangeMaxLabel() const { return rangeMax_; }
    QCheckBox* LocalMaximaBox() const { return localMaxima_; }
    QLineEdit* SizeEdit() const { return sizeEdit_; }
    QButtonGroup* UnitGroup() const { return unitGroup_; }  // 0 [cm], 1 [pixels]
    QCheckBox* BackgroundBox() const { return background_; }
    QCheckBox* ResultsBox() const { return results_; }
    QCheckBox* SinglePixelsBox() const { return singlePixels_; }
    QCheckBox* GreaterPageBox() const { return greaterPage_; }
    QPushButton* SourceButton() const { return sourceButton_; }
    QPushButton* SegmentButton() const { return segmentButton_; }
    QPushButton* SeedsButton() const { return seedsButton_; }

  private:
    // Slider, texts and enabled buttons from the model.
    void ShowModel();
    // The size as typed, when it reads as a positive number.
    void ReadSize();

    CThresholdingModel model_;
    QLineEdit* thresholdEdit_;
    QSlider* slider_;
    QLabel* rangeMin_;
    QLabel* rangeMax_;
    QCheckBox* localMaxima_;
    QLineEdit* sizeEdit_;
    QButtonGroup* unitGroup_;
    QCheckBox* background_;
    QCheckBox* results_;
    QCheckBox* singlePixels_;
    QCheckBox* greaterPage_;
    QPushButton* sourceButton_;
    QPushButton* segmentButton_;
    QPushButton* seedsButton_;
};

}  // namespace vistrel
