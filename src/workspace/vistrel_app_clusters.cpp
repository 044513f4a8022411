#include "core/messages.h"
#include "workspace/two_params_model.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

// A cluster wider than the breast means nothing; a count of 1000 already
// exceeds the calcifications of any real cluster.
constexpr double kMinDiameterCm = 0.01;
constexpr double kMaxDiameterCm = 10.0;
constexpr double kMaxObjects = 1000.0;

CTwoParamsModel ClusterModel(const CClusterParams& p) {
    return {"Cluster",
            {"cluster diameter [cm]", p.diameterCm, kMinDiameterCm, kMaxDiameterCm, 2},
            {"min objects in cluster", double(p.minObjects), 1.0, kMaxObjects, 0}};
}

CTwoParamsModel SeparationModel(const CClusterParams& p) {
    // 0 separated objects switches the separation pass off.
    return {"Rejected - Separated objects in clusters",
            {"separation diameter [cm]", p.separationCm, kMinDiameterCm, kMaxDiameterCm, 2},
            {"min separated objects", double(p.minSeparated), 0.0, kMaxObjects, 0}};
}

// The dialog refuses values out of range; a screen that hands them back all
// the same is told so rather than believed.
bool AskChecked(IWorkspaceUi& ui, CTwoParamsModel& model) {
    if (!ui.AskTwoParams(model)) return false;
    const std::string problem = model.Problem();
    if (problem.empty()) return true;
    messages().show(problem);
    return false;
}

}  // namespace

bool CVistrelApp::OnClusterParams() {
    if (!ui_) return false;
    CTwoParamsModel cluster = ClusterModel(clusterParams);
    if (!AskChecked(*ui_, cluster)) return false;
    CTwoParamsModel separation = SeparationModel(clusterParams);
    // Cancelling the second dialog cancels the command: the first dialog's
    // values alone would pair a new diameter with a separation pass chosen
    // for the old one.
    if (!AskChecked(*ui_, separation)) return false;
    clusterParams.diameterCm = cluster.fields[0].value;
    clusterParams.minObjects = cluster.IntValue(1);
    clusterParams.separationCm = separation.fields[0].value;
    clusterParams.minSeparated = separation.IntValue(1);
    emit notifier_.clusterParamsChanged();
    return true;
}

}  // namespace vistrel
