#include "workspace/vistrel_app.h"

namespace vistrel {

bool CVistrelApp::OnFeatureSelection() { return false; }
bool CVistrelApp::OnCoocurrenceParams() { return false; }

}  // namespace vistrel
