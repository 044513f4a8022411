#pragma once
// The state of the "Neural Network" tool and what each of its buttons does.
// The tool works on its own copy of a network; the application takes it over
// only when the dialog is accepted.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classification/bpnn.h"
#include "classification/network_features.h"
#include "classification/network_training.h"
#include "regions/feature_vector.h"

namespace vistrel {

class IWorkspaceUi;
struct CLastPaths;

inline constexpr const char* kNnWrongParameters = "Wrong parameters !";
inline constexpr const char* kNnCannotCreate = "NN cannot be created.";
inline constexpr const char* kNnReplaceUnsaved =
    "Do you want to replace the current neural network, which is don't saved?";
inline constexpr const char* kNnRemove = "Do you want to remove the current neural network?";
inline constexpr const char* kNnCannotOpen = "The new NN cannot be opened.";
inline constexpr const char* kNnReplace = "Do you want to replace the current neural network?";
inline constexpr const char* kNnAlreadyExists = " already exists.\nDo you want to replace it?";
inline constexpr const char* kNnCannotSave = " cannot be saved.";
inline constexpr const char* kNnSaved = "The current neural network is saved successfully.";
inline constexpr const char* kNnFilters = "NN Files |*.nn||";
inline constexpr const char* kNnFeatureFilters = "Features Files |*.ftr|TXT Files |*.txt||";

class CNNModel {
  public:
    // paths: the application's last network and feature paths, updated as
    // files are chosen. seed: fixed weights for Create NN; none seeds from
    // the clock.
    CNNModel(IWorkspaceUi* ui, CLastPaths& paths, const CFeatureSettings& settings,
             std::optional<uint32_t> seed = {});

    // Opens the tool on a copy of network (may be null) and the threshold.
    void Load(const BPNN* network, double threshold);

    // ---- fields (the dialog's edits and choices)
    int32_t epochs = 2000;
    int32_t hiddenNodes = 0;
    double eta = 0.8;
    double momentum = 0.7;
    double k = 1.0;
    ENnEncoding encoding = ENnEncoding::OneTF;
    double threshold = 0.5;
    double accuracy = 0.05;
    std::array<bool, kNetworkFeatureBoxes> boxes{};

    // ---- the four buttons that depend on the network
    bool showOpen = true;
    bool showSave = false;
    bool showTrain = false;
    bool showTest = false;

    const BPNN* Network() const { return network_.get(); }
    bool Saved() const { return saved_; }
    // Positions of the network's mask that no check box stands for (a network
    // made with another feature choice); they stay in the mask of Create NN.
    int32_t OtherFeatureCount() const { return static_cast<int32_t>(otherPositions_.size()); }
    // "+ N other features", empty when there are none.
    std::string OtherFeaturesNote() const;
    // The mask the boxes (and the other features kept) make, over NetworkFeatureNames.
    std::vector<uint8_t> MaskFromBoxes() const;
    int32_t MaskLength() const { return static_cast<int32_t>(names_.size()); }

    // ---- buttons
    void OnCreate();
    void OnReset();
    void OnOpen();
    void OnSave();
    void OnTrain();
    void OnTest();
    void OnPatterns();

    // ---- edits that invalidate what the buttons act on
    void OnHiddenNodesChanged(int32_t value);
    void OnKChanged(double value);
    void OnEncodingChanged(ENnEncoding value);
    void OnBoxToggled(int32_t box, bool on);

    // Fields from the network: encoding, boxes, k and hidden nodes.
    void RefreshFromNetwork();

  private:
    IWorkspaceUi* ui_;
    CLastPaths& paths_;
    CFeatureSettings settings_;
    std::optional<uint32_t> seed_;
    std::vector<std::string> names_;
    std::array<int32_t, kNetworkFeatureBoxes> boxPositions_{};
    std::vector<int32_t> otherPositions_;
    std::unique_ptr<BPNN> network_;
    bool saved_ = false;

    void ShowNetworkButtons(bool on);
    void HideAllButtons();
    // The learning-pattern file chosen and laid out on the network's mask;
    // false (reason shown) when it cannot be used.
    bool ChoosePatterns(CNetworkPatterns& out);
};

}  // namespace vistrel
