#include "workspace/feature_models.h"

namespace vistrel {

void CFeatureSelectionModel::Load(const CFeatureSelection&, const CFeatureSettings&) {}
void CFeatureSelectionModel::Commit(CFeatureSelection&, CFeatureSettings&) const {}
void CFeatureSelectionModel::SetAll(bool) {}
int32_t CFeatureSelectionModel::SetMatching(const std::string&, bool) { return 0; }
int32_t CFeatureSelectionModel::SelectedCount() const { return 0; }

std::string CRegionTypeModel::Text() const { return type; }
std::string CRegionTypeModel::Problem() const { return {}; }

void CCoocurrenceParamsModel::Load(const CFeatureSettings&) {}
bool CCoocurrenceParamsModel::Commit(CFeatureSettings&) const { return false; }
std::string CCoocurrenceParamsModel::Problem() const { return {}; }

}  // namespace vistrel
