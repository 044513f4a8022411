#include "workspace/seeds_handover.h"

#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

bool HandSeedsTo(CVistrelDoc* source, const CSpotList& spots) {
    if (!source) return false;
    source->SetSeeds(spots);
    return true;
}

bool SegmentFromSpots(CVistrelApp& app, CVistrelDoc* source, const CSpotList& spots) {
    if (!HandSeedsTo(source, spots)) return false;
    if (IWorkspaceUi* ui = app.Ui()) {
        ui->ActivateDocumentWindow(*source);
        ui->OpenSegmentFromSeeds(*source, false);
    }
    return true;
}

}  // namespace vistrel
