#pragma once
// The "Microcalcification Clusters Detection" tool window: its widgets bound to
// CMcClusterDetectionModel, which finds the seeds on the source document,
// clusters the spots the threshold selects and scores them after every change.

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>

#include "workspace/mc_cluster_detection_model.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

class CMcClusterDetectionDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CMcClusterDetectionDlg(CVistrelApp& app, QWidget* parent = nullptr);

    void Bind(CVistrelDoc* doc) { model_.BindSource(doc); }
    CVistrelDoc* Document() const { return model_.Source(); }
    const CMcClusterDetectionModel& Model() const { return model_; }

    QPushButton* SourceButton() const { return sourceButton_; }
    QPushButton* GetSeedsButton() const { return getSeedsButton_; }
    QPushButton* SetSeedsButton() const { return setSeedsButton_; }
    QPushButton* SegmentButton() const { return segmentButton_; }
    QSlider* Slider() const { return slider_; }
    QLabel* ThresholdLabel() const { return threshold_; }
    QLabel* RangeMinLabel() const { return rangeMin_; }
    QLabel* RangeMaxLabel() const { return rangeMax_; }
    QCheckBox* ResultsBox() const { return resultsBox_; }
    QCheckBox* BackgroundBox() const { return backgroundBox_; }
    QCheckBox* GreaterPageBox() const { return greaterPageBox_; }
    QPlainTextEdit* Report() const { return report_; }

  private:
    // Slider, texts, report and enabled buttons from the model.
    void ShowModel();

    CMcClusterDetectionModel model_;
    QPushButton* sourceButton_;
    QPushButton* getSeedsButton_;
    QPushButton* setSeedsButton_;
    QPushButton* segmentButton_;
    QSlider* slider_;
    QLabel* threshold_;
    QLabel* rangeMin_;
    QLabel* rangeMax_;
    QCheckBox* resultsBox_;
    QCheckBox* backgroundBox_;
    QCheckBox* greaterPageBox_;
    QPlainTextEdit* report_;
};

}  // namespace vistrel
