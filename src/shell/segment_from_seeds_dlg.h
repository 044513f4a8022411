#pragma once
// The "Segment from seeds" tool window (and its "Segment from current
// seeds" form): its widgets bound to CSegmentFromSeedsModel.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "workspace/segment_from_seeds_model.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

class CSegmentFromSeedsDlg : public QDialog {
    Q_OBJECT
  public:
    CSegmentFromSeedsDlg(CVistrelApp& app, bool currentSeeds = false, QWidget* parent = nullptr);

    CVistrelDoc* Document() const { return model_.Source(); }
    const CSegmentFromSeedsModel& Model() const { return model_; }
    // Takes the typed fields into the model (done before every button).
    void ReadFields();

    QButtonGroup* AlgorithmGroup() const { return algorithmGroup_; }  // EGrowAlgorithm ids
    QLineEdit* KEdit() const { return kEdit_; }
    QLineEdit* WindowEdit() const { return windowEdit_; }
    QButtonGroup* UnitGroup() const { return unitGroup_; }              // 0 [cm], 1 [pixels]
    QButtonGroup* DirectionsGroup() const { return directionsGroup_; }  // ids 4, 8, 16
    QComboBox* InputCombo() const { return inputCombo_; }               // EGrowInput order
    QCheckBox* JoinBox() const { return joinBox_; }
    QPushButton* SeedsButton() const { return seedsButton_; }
    QPushButton* SegmentButton() const { return segmentButton_; }
    QPushButton* SourceButton() const { return sourceButton_; }

  private:
    // Fields and enabled controls from the model.
    void ShowModel();

    CSegmentFromSeedsModel model_;
    QButtonGroup* algorithmGroup_;
    QLineEdit* kEdit_;
    QLineEdit* windowEdit_;
    QButtonGroup* unitGroup_;
    QButtonGroup* directionsGroup_;
    QComboBox* inputCombo_;
    QCheckBox* joinBox_;
    QPushButton* seedsButton_;
    QPushButton* segmentButton_;
    QPushButton* sourceButton_;
    QWidget* growing_;  // the growing fields, enabled with Segment
};

}  // namespace vistrel
