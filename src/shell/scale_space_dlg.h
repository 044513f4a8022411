#pragma once
// The "Multiscale spot detector" tool window: its widgets bound to
// CScaleSpaceModel, which works on the source document (the active one when
// the window opens, or the one given to Bind / "Set Source Doc") and keeps the
// picture of the selected spots.

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include "detection/point_response.h"
#include "shell/froc_plot_window.h"
#include "workspace/froc_model.h"
#include "workspace/scale_space_model.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

class CScaleSpaceDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CScaleSpaceDlg(CVistrelApp& app, QWidget* parent = nullptr);

    // Makes doc the source document. A different source clears the spots and
    // the report; the window's own spot picture is never taken as a source.
    void Bind(CVistrelDoc* doc) { model_.BindSource(doc); }
    CVistrelDoc* Document() const { return model_.Source(); }
    // The document showing the spot picture (null before the first showing).
    CVistrelDoc* PictureDocument() const { return model_.PictureDocument(); }

    const CScaleSpaceModel& Model() const { return model_; }
    QSpinBox* MinScaleSpin() const { return minScale_; }
    QSpinBox* MaxScaleSpin() const { return maxScale_; }
    QSpinBox* IncrementSpin() const { return increment_; }
    QSpinBox* LocalMaxSpin() const { return localMax_; }
    QSpinBox* SearchSpin() const { return search_; }
    QSpinBox* ResTypeSpin() const { return resType_; }
    QLineEdit* ThresholdEdit() const { return thresholdEdit_; }
    QLineEdit* AutoFactorEdit() const { return autoFactorEdit_; }
    QSlider* Slider() const { return slider_; }
    QLabel* RangeMinLabel() const { return rangeMin_; }
    QLabel* RangeMaxLabel() const { return rangeMax_; }
    QCheckBox* MinScaleBox() const { return minScaleBox_; }
    QCheckBox* BackgroundBox() const { return backgroundBox_; }
    QButtonGroup* ShapeGroup() const { return shapeGroup_; }
    QButtonGroup* WhatGroup() const { return whatGroup_; }
    QPushButton* SpotsButton() const { return spotsButton_; }
    QPushButton* FromFileButton() const { return fromFileButton_; }
    QPushButton* SourceButton() const { return sourceButton_; }
    QPushButton* SaveButton() const { return saveButton_; }
    QPushButton* SeedsButton() const { return seedsButton_; }
    QPushButton* SegmentButton() const { return segmentButton_; }
    QPushButton* InfoButton() const { return infoButton_; }
    QPushButton* AutomaticButton() const { return automaticButton_; }
    // "Cluster info": the evaluation line of the selection under its header.
    QLabel* ClusterInfoLabel() const { return clusterInfo_; }
    QPushButton* FrocButton() const { return frocButton_; }
    // The FROC plot window of the last "FROC..." (null before it or once closed).
    CFrocPlotWindow* FrocWindow() const { return frocWindow_; }

  signals:
    // "Set seeds" replaced the seed list of doc.
    void seedsSet(vistrel::CVistrelDoc* doc);

  private:
    void ReadParameters();
    // Slider, texts and enabled buttons from the model.
    void ShowModel();
    // After every change of the selection: the texts and the picture.
    void Selected();
    // "FROC...": the sweep, then the plot window opened or brought up to date.
    void OnFroc();

    CVistrelApp& app_;
    CScaleSpaceModel model_;
    QSpinBox* minScale_;
    QSpinBox* maxScale_;
    QSpinBox* increment_;
    QSpinBox* localMax_;
    QSpinBox* search_;
    QSpinBox* resType_;
    QLineEdit* thresholdEdit_;
    QLineEdit* autoFactorEdit_;
    QSlider* slider_;
    QLabel* rangeMin_;
    QLabel* rangeMax_;
    QCheckBox* minScaleBox_;
    QCheckBox* backgroundBox_;
    QButtonGroup* shapeGroup_;
    QButtonGroup* whatGroup_;
    QPushButton* spotsButton_;
    QPushButton* fromFileButton_;
    QPushButton* sourceButton_;
    QPushButton* saveButton_;
    QPushButton* seedsButton_;
    QPushButton* segmentButton_;
    QPushButton* infoButton_;
    QPushButton* automaticButton_;
    QLabel* clusterInfo_;
    QPushButton* frocButton_;
    CFrocModel froc_;
    QPointer<CFrocPlotWindow> frocWindow_;
};

}  // namespace vistrel
