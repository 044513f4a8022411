#pragma once
// "Neural Network": the edits, encoding choice and feature boxes of a
// CNNModel and its buttons. The dialog only shows the model and passes the
// user's edits and clicks on; every rule lives in the model.

#include <QDialog>
#include <array>

#include "workspace/nn_model.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vistrel {

class CNNDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr const char* kTitle = "Neural Network";
    static constexpr const char* kActivationText = "activation = 1/(1+exp(-kx))";

    explicit CNNDlg(CNNModel& model, QWidget* parent = nullptr);

    QLineEdit* EpochsEdit() const { return epochs_; }
    QLineEdit* HiddenEdit() const { return hidden_; }
    QLineEdit* EtaEdit() const { return eta_; }
    QLineEdit* MomentumEdit() const { return momentum_; }
    QLineEdit* KEdit() const { return k_; }
    QLineEdit* ThresholdEdit() const { return threshold_; }
    QLineEdit* AccuracyEdit() const { return accuracy_; }
    QRadioButton* EncodingButton(int index) const { return encodings_.at(std::size_t(index)); }
    QCheckBox* FeatureBox(int index) const { return boxes_.at(std::size_t(index)); }
    QLabel* OtherFeaturesLabel() const { return other_; }
    QPushButton* CreateButton() const { return create_; }
    QPushButton* ResetButton() const { return reset_; }
    QPushButton* OpenButton() const { return open_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* TrainButton() const { return train_; }
    QPushButton* TestButton() const { return test_; }
    QPushButton* PatternsButton() const { return patterns_; }

  private:
    // Every field and button of the model on screen.
    void ShowModel();
    // Only which of the network buttons are shown (while an edit is typed in).
    void ShowButtons();
    // The plain edits (epochs, eta, momentum, threshold, accuracy) into the model.
    void TakeEdits();
    // Runs a button of the model with the edits taken first, then shows it.
    template <typename F>
    void Run(F f);

    CNNModel& model_;
    QLineEdit* epochs_;
    QLineEdit* hidden_;
    QLineEdit* eta_;
    QLineEdit* momentum_;
    QLineEdit* k_;
    QLineEdit* threshold_;
    QLineEdit* accuracy_;
    std::array<QRadioButton*, 4> encodings_{};
    std::array<QCheckBox*, kNetworkFeatureBoxes> boxes_{};
    QLabel* other_;
    QPushButton* create_;
    QPushButton* reset_;
    QPushButton* open_;
    QPushButton* save_;
    QPushButton* train_;
    QPushButton* test_;
    QPushButton* patterns_;
    bool showing_ = false;  // fields are being set from the model
};

}  // namespace vistrel
