#include "workspace/nn_model.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "classification/learning_patterns.h"
#include "core/messages.h"
#include "workspace/file_filters.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

bool IsFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

bool Yes(const std::string& question) {
    return messages().ask(question, {"Yes", "No"}) == 0;
}

}  // namespace

CNNModel::CNNModel(IWorkspaceUi* ui, CLastPaths& paths, const CFeatureSettings& settings,
                   std::optional<uint32_t> seed)
    : ui_(ui), paths_(paths), settings_(settings), seed_(seed),
      names_(NetworkFeatureNames(settings)) {
    const auto& boxes = NetworkFeatureBoxes();
    for (int32_t i = 0; i < kNetworkFeatureBoxes; ++i) {
        const auto it = std::find(names_.begin(), names_.end(), boxes[i].feature);
        boxPositions_[i] = it == names_.end() ? -1 : static_cast<int32_t>(it - names_.begin());
    }
}

void CNNModel::Load(const BPNN* network, double networkThreshold) {
    network_ = network && network->IsValid() ? std::make_unique<BPNN>(*network) : nullptr;
    threshold = networkThreshold;
    saved_ = false;
    if (network_) {
        RefreshFromNetwork();
        ShowNetworkButtons(true);
    } else {
        otherPositions_.clear();
        ShowNetworkButtons(false);
    }
}

std::string CNNModel::OtherFeaturesNote() const {
    if (otherPositions_.empty()) return {};
    return "+ " + std::to_string(otherPositions_.size()) + " other features";
}

std::vector<uint8_t> CNNModel::MaskFromBoxes() const {
    std::vector<uint8_t> mask(names_.size(), 0);
    for (int32_t i = 0; i < kNetworkFeatureBoxes; ++i)
        if (boxes[i] && boxPositions_[i] >= 0) mask[boxPositions_[i]] = 1;
    for (int32_t position : otherPositions_)
        if (position >= 0 && position < MaskLength()) mask[position] = 1;
    return mask;
}

void CNNModel::ShowNetworkButtons(bool on) {
    showOpen = true;
    showSave = showTrain = showTest = on;
}

void CNNModel::HideAllButtons() {
    showOpen = showSave = showTrain = showTest = false;
}

void CNNModel::RefreshFromNetwork() {
    if (!network_) return;
    encoding = EncodingOf(*network_);
    k = network_->Gain();
    hiddenNodes = network_->NHidden();
    boxes.fill(false);
    otherPositions_.clear();
    const auto mask = network_->Mask();
    for (int32_t position = 0; position < static_cast<int32_t>(mask.size()); ++position) {
        if (!mask[position]) continue;
        bool boxed = false;
        for (int32_t i = 0; i < kNetworkFeatureBoxes; ++i) {
            if (boxPositions_[i] == position) {
                boxes[i] = true;
                boxed = true;
            }
        }
        if (!boxed) otherPositions_.push_back(position);
    }
}

void CNNModel::OnCreate() {
    const std::vector<uint8_t> mask = MaskFromBoxes();
    const auto inputs = static_cast<int32_t>(std::count(mask.begin(), mask.end(), 1));
    const auto code = static_cast<int32_t>(encoding);
    if (inputs == 0 || hiddenNodes <= 0 || code < 0 || code > 3) {
        messages().show(kNnWrongParameters);
        return;
    }
    auto created = std::make_unique<BPNN>(inputs, hiddenNodes, EncodingOutputs(encoding),
                                          EncodingTwoOutputTF(encoding), mask.data(),
                                          MaskLength(), seed_);
    if (!created->IsValid()) {
        messages().show(kNnCannotCreate);
        RefreshFromNetwork();
        return;
    }
    created->SetGain(k);
    if (network_ && !network_->SameAs(*created) && !Yes(kNnReplaceUnsaved)) return;
    network_ = std::move(created);
    saved_ = false;
    ShowNetworkButtons(true);
}

void CNNModel::OnReset() {
    if (network_) {
        if (!Yes(kNnRemove)) {
            RefreshFromNetwork();
            return;
        }
        network_.reset();
    }
    ShowNetworkButtons(false);
    boxes.fill(false);
    otherPositions_.clear();
    k = 1.0;
    encoding = ENnEncoding::OneTF;
    threshold = 0.5;
    hiddenNodes = 0;
    saved_ = false;
}

void CNNModel::OnOpen() {
    if (!ui_) return;
    std::string chosen;
    if (!ui_->PickOpenFile(paths_.neuralNetwork, ParseFilterList(kNnFilters), chosen)) return;
    const std::string path = ReplaceExtension(chosen, "nn");
    if (!IsFile(path)) return;
    paths_.neuralNetwork = path;
    std::string error;
    std::unique_ptr<BPNN> loaded = BPNN::Load(path, &error);
    if (!loaded || !loaded->IsValid()) {
        messages().show(kNnCannotOpen);
        return;
    }
    if (network_ && (network_->SameAs(*loaded) || !Yes(kNnReplace))) return;
    network_ = std::move(loaded);
    RefreshFromNetwork();
    saved_ = true;
    ShowNetworkButtons(true);
}

void CNNModel::OnSave() {
    if (!network_ || !ui_) return;
    std::string chosen;
    int filterIndex = 0;
    if (!ui_->PickSaveFile(paths_.neuralNetwork, ParseFilterList(kNnFilters), chosen,
                           filterIndex))
        return;
    const std::string path = ReplaceExtension(chosen, "nn");
    paths_.neuralNetwork = path;
    if (IsFile(path) && !Yes(path + kNnAlreadyExists)) return;
    std::string error;
    if (network_->Save(path, &error) != 1) {
        messages().show(path + kNnCannotSave);
        return;
    }
    saved_ = true;
    messages().show(kNnSaved);
}

bool CNNModel::ChoosePatterns(CNetworkPatterns& out) {
    if (!ui_) return false;
    std::string path;
    if (!ui_->PickOpenFile(paths_.features, ParseFilterList(kNnFeatureFilters), path))
        return false;
    paths_.features = path;
    CLearningPatterns patterns;
    std::string error;
    if (!ReadLearningPatterns(path, patterns, &error)) {
        messages().show(path + ": " + error);
        return false;
    }
    if (patterns.names.empty() || patterns.patterns.empty()) return false;
    const auto mask = network_->Mask();
    if (!LayOutPatterns(patterns, names_, std::vector<uint8_t>(mask.begin(), mask.end()), out,
                        &error)) {
        messages().show(path + ": " + error);
        return false;
    }
    return !out.vectors.empty();
}

void CNNModel::OnTrain() {
    if (!network_ || !network_->IsValid()) return;
    CNetworkPatterns patterns;
    if (!ChoosePatterns(patterns)) return;
    CTrainOptions options;
    options.epochs = epochs;
    options.eta = eta;
    options.momentum = momentum;
    options.accuracy = accuracy;
    CTrainResult result;
    bool trained = false;
    {
        CProgressScope progress(ui_, "Training the neural network");
        IWorkspaceUi* ui = ui_;
        trained = TrainNetwork(*network_, patterns, options, result, progress.Fn(),
                               [ui](const std::string& text) {
                                   if (ui) ui->SetProgressText(text);
                               });
        if (progress.Cancelled()) return;
    }
    if (!trained) return;
    saved_ = false;
    messages().show(TrainSummaryText(result));
}

void CNNModel::OnTest() {
    if (!network_ || !network_->IsValid()) return;
    CNetworkPatterns patterns;
    if (!ChoosePatterns(patterns)) return;
    CNnTestResult result;
    bool tested = false;
    {
        CProgressScope progress(ui_, "Testing the neural network");
        tested = TestNetwork(*network_, patterns, threshold, result, progress.Fn());
        if (progress.Cancelled()) return;
    }
    if (!tested) return;
    const std::string reportPath = NnTestReportPath(paths_.neuralNetwork);
    std::string error;
    if (!WriteTestReport(reportPath, result.report, &error)) {
        messages().show(reportPath + kNnCannotSave);
        return;
    }
    messages().show(TestMessage(result.counts));
}

void CNNModel::OnPatterns() {
    if (!ui_) return;
    std::string path;
    if (!ui_->PickOpenFile(paths_.features, ParseFilterList(kNnFeatureFilters), path)) return;
    paths_.features = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    messages().show(PatternsMessage(path, CountPatternWords(text.str())));
}

void CNNModel::OnHiddenNodesChanged(int32_t value) {
    hiddenNodes = value;
    HideAllButtons();
}

void CNNModel::OnKChanged(double value) {
    k = value;
    HideAllButtons();
}

void CNNModel::OnEncodingChanged(ENnEncoding value) {
    encoding = value;
    HideAllButtons();
}

void CNNModel::OnBoxToggled(int32_t box, bool on) {
    if (box < 0 || box >= kNetworkFeatureBoxes) return;
    boxes[box] = on;
    saved_ = false;
    HideAllButtons();
}

}  // namespace vistrel
