#pragma once
// "Feature Selection": one check box per feature name (the region group,
// then the cluster group under its own heading), "All" / "None", a filter
// that ticks or clears every name containing a text, the two moment
// switches and the number selected, bound to a CFeatureSelectionModel that
// OK hands back.

#include <QDialog>

#include "workspace/feature_models.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace vistrel {

class CFeatureSelectionDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr const char* kClusterHeading = "Cluster features";

    explicit CFeatureSelectionDlg(const CFeatureSelectionModel& model, QWidget* parent = nullptr);

    // The boxes and switches as the user left them.
    const CFeatureSelectionModel& Model() const { return model_; }

    QListWidget* List() const { return list_; }
    // The list item of an entry of the model, null when out of range.
    QListWidgetItem* ItemOf(int32_t entry) const;
    QPushButton* AllButton() const { return all_; }
    QPushButton* NoneButton() const { return none_; }
    QLineEdit* FilterEdit() const { return filter_; }
    QPushButton* TickMatchingButton() const { return tickMatching_; }
    QPushButton* ClearMatchingButton() const { return clearMatching_; }
    QCheckBox* ShapeMomentsBox() const { return shapeMoments_; }
    QCheckBox* MomentsBox() const { return moments_; }
    QLabel* CountLabel() const { return count_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Shows the model's flags on the boxes and its count.
    void ShowModel();
    void ShowCount();
    void SetMatching(bool on);

    CFeatureSelectionModel model_;
    QListWidget* list_;
    QPushButton* all_;
    QPushButton* none_;
    QLineEdit* filter_;
    QPushButton* tickMatching_;
    QPushButton* clearMatching_;
    QCheckBox* shapeMoments_;
    QCheckBox* moments_;
    QLabel* count_;
    std::vector<QListWidgetItem*> items_;  // by entry index
    bool showing_ = false;                 // the boxes are being set from the model
};

}  // namespace vistrel
