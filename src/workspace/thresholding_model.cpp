#include "workspace/thresholding_model.h"

// Placeholder bodies until the thresholding window's model lands.
namespace vistrel {

CThresholdingModel::CThresholdingModel(CVistrelApp& app) : CToolWindowModel(app) {}
void CThresholdingModel::SetLocalMaxima(bool on) { localMaxima_ = on; }
void CThresholdingModel::SetSize(double size) { size_ = size; }
void CThresholdingModel::SetSizeInCm(bool cm) { sizeInCm_ = cm; }
int32_t CThresholdingModel::SizePixels() const { return 3; }
void CThresholdingModel::MoveSlider(int) {}
void CThresholdingModel::TypeThreshold(double value) { threshold_ = value; }
bool CThresholdingModel::SubmitThreshold() { return false; }
std::string CThresholdingModel::ThresholdText() const { return {}; }
std::string CThresholdingModel::RangeMinText() const { return {}; }
std::string CThresholdingModel::RangeMaxText() const { return {}; }
bool CThresholdingModel::OnSetSourceDocument() { return false; }
void CThresholdingModel::Recompute() {}
CSpotList CThresholdingModel::MaximaAtThreshold() const { return {}; }
std::unique_ptr<CMImage> CThresholdingModel::Picture() const { return nullptr; }
void CThresholdingModel::ShowPicture() {}
bool CThresholdingModel::OnSegment() { return false; }
bool CThresholdingModel::OnSetSeeds() { return false; }
void CThresholdingModel::OnSourceChanged() {}

}  // namespace vistrel
