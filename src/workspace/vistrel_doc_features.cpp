#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

CFeatureSettings CVistrelDoc::FeatureSettings() const {
    CFeatureSettings settings = App().featureSettings;
    settings.resolution = resolution;
    return settings;
}
int CVistrelDoc::RegionFeatures(int32_t, CFeatureVector& out) const {
    out.Clear();
    return -1;
}
std::string CVistrelDoc::OnShowFeatures() { return {}; }
std::string CVistrelDoc::OnMeanRegionFeatures() { return {}; }
std::string CVistrelDoc::OnMeanFeaturesInCluster() { return {}; }
std::string CVistrelDoc::OnFeaturesOfRegionsAsCluster() { return {}; }
bool CVistrelDoc::OnSaveFeatures(CommandId) { return false; }
std::string CVistrelDoc::OnComputeGlcm(const CRect&) { return {}; }
std::string CVistrelDoc::OnComputeSrdm(const CRect&) { return {}; }
bool CVistrelDoc::OnPutTextureNextToRoi(const CRect&) { return false; }
int32_t CVistrelDoc::OnBinaryImagesOfShapes() { return 0; }
bool CVistrelDoc::WriteFireFeatures(int32_t) { return false; }

}  // namespace vistrel
