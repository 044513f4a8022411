#include "classification/network_features.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

void CVistrelDoc::ClearNnDiagnoses() {
    for (int32_t i = 0; i < regions.Count(); ++i) regions.At(i)->nnDiagnosis = kNnNoAnswer;
    if (showNnDiagnoses) {
        showNnDiagnoses = false;
        UpdateAllViews(kUpdateAnnotations);
        emit App().Notifier().diagnosisDisplayChanged();
    }
}

void CVistrelDoc::OnNnDiagnoses() {
    CVistrelApp& app = App();
    if (showNnDiagnoses) {
        showNnDiagnoses = false;
        UpdateAllViews(kUpdateAnnotations);
        emit app.Notifier().diagnosisDisplayChanged();
        return;
    }
    if (!app.network || !app.network->IsValid() || !image.IsValid()) return;
    showNnDiagnoses = true;
    {
        CProgressScope progress(app.Ui(), "Neural network diagnoses");
        ClassifyRegions(*app.network, app.networkThreshold, regions, image, FeatureSettings(),
                        progress.Fn());
    }
    UpdateAllViews(kUpdateAnnotations);
    emit app.Notifier().diagnosisDisplayChanged();
}

}  // namespace vistrel
