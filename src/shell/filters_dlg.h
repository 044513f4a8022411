#pragma once
// The "Filters" tool window: the application's filter library by type, the
// 7 x 7 coefficient grid and the kernel generators, bound to CFiltersModel.
// "&Apply" filters the image of the document it follows and opens the result
// as a new document.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <array>
#include <string>

#include "filters/filter_file.h"
#include "workspace/filters_model.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;

class CFiltersDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CFiltersDlg(CVistrelApp& app, QWidget* parent = nullptr);

    // The document whose image "&Apply" filters (null: none).
    void Bind(CVistrelDoc* doc) { model_.BindSource(doc); }
    CVistrelDoc* Document() const { return model_.Source(); }

    // The application's library file: filters.flt in the run-time data folder
    // unless chosen here (the library is read again from the new file).
    void SetLibraryPath(const std::string& path);
    const std::string& LibraryPath() const;
    const CFilterLibrary& Library() const { return model_.Library(); }
    // Writes the library now; false when the file cannot be written.
    bool SaveLibrary();

    const CFiltersModel& Model() const { return model_; }
    QComboBox* TypeBox() const { return typeBox_; }
    QListWidget* List() const { return list_; }
    QLineEdit* Cell(int row, int col) const {
        return cells_[std::size_t(row * CFiltersModel::kGridSide + col)];
    }
    QLineEdit* NameEdit() const { return nameEdit_; }
    QLineEdit* ScaleEdit() const { return scaleEdit_; }
    QLineEdit* ThresholdEdit() const { return thresholdEdit_; }
    QGroupBox* DistributionGroup() const { return distributionGroup_; }
    QRadioButton* DistributionButton(int d) const { return distributionButtons_[std::size_t(d)]; }
    QSpinBox* DimensionSpin() const { return dimensionSpin_; }
    QLineEdit* SigmaEdit() const { return sigmaEdit_; }
    QSpinBox* OrderSpin() const { return orderSpin_; }
    QGroupBox* EdgeGroup() const { return edgeGroup_; }
    QCheckBox* DirectionBox(int d) const { return directionBoxes_[std::size_t(d)]; }
    QCheckBox* MedianBox() const { return medianBox_; }
    QPushButton* ApplyButton() const { return applyButton_; }
    QPushButton* AddButton() const { return addButton_; }
    QPushButton* UpdateButton() const { return updateButton_; }
    QPushButton* RemoveButton() const { return removeButton_; }
    QPushButton* ClearButton() const { return clearButton_; }
    QPushButton* CreateButton() const { return createButton_; }

  private:
    // Widgets -> model before a button acts, model -> widgets afterwards.
    void ReadFields();
    void ShowModel();
    void FillList();

    CVistrelApp& app_;
    CFiltersModel model_;

    QComboBox* typeBox_;
    QListWidget* list_;
    std::array<QLineEdit*, CFiltersModel::kGridSide * CFiltersModel::kGridSide> cells_{};
    QLineEdit* nameEdit_;
    QLineEdit* scaleEdit_;
    QLineEdit* thresholdEdit_;
    QGroupBox* distributionGroup_;
    std::array<QRadioButton*, 3> distributionButtons_{};
    QSpinBox* dimensionSpin_;
    QLineEdit* sigmaEdit_;
    QSpinBox* orderSpin_;
    QGroupBox* edgeGroup_;
    std::array<QCheckBox*, 4> directionBoxes_{};
    QCheckBox* medianBox_;
    QPushButton* applyButton_;
    QPushButton* addButton_;
    QPushButton* updateButton_;
    QPushButton* removeButton_;
    QPushButton* clearButton_;
    QPushButton* createButton_;
};

}  // namespace vistrel
