#include "workspace/nn_model.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

char CVistrelApp::ClassifyRegion(const std::vector<double>& features) {
    if (!network || !network->IsValid()) return kNnNoAnswer;
    return network->ClassifyFeatures(features.data(), static_cast<int32_t>(features.size()),
                                     networkThreshold);
}

bool CVistrelApp::OnNeuralNetwork() {
    if (!ui_) return false;
    std::optional<uint32_t> seed;
    if (networkSeed != 0) seed = networkSeed;
    CNNModel model(ui_, lastPaths, featureSettings, seed);
    model.Load(network.get(), networkThreshold);
    if (!ui_->AskNeuralNetwork(model)) return false;
    AdoptNetwork(model.Network(), model.threshold);
    return true;
}

void CVistrelApp::AdoptNetwork(const BPNN* adopted, double threshold) {
    if (network) {
        network.reset();
        for (const auto& doc : documents_) doc->ClearNnDiagnoses();
    }
    if (adopted && adopted->IsValid()) network = std::make_unique<BPNN>(*adopted);
    networkThreshold = threshold;
    emit notifier_.diagnosisDisplayChanged();
}

}  // namespace vistrel
