#include "regions/texture.h"

namespace vistrel {

CGLCM::~CGLCM() = default;
bool CGLCM::Init(int32_t, int32_t, int32_t) { return false; }
void CGLCM::Count(int32_t, int32_t) {}
int64_t CGLCM::CountAt(int32_t, int32_t) const { return 0; }
int64_t CGLCM::TotalCount() const { return 0; }
bool CGLCM::HasMatrix() const { return false; }
int CGLCM::ComputeFeatures() { return -1; }
bool CGLCM::EnsureFeatures() { return computed; }
double CGLCM::Reported(int) const { return 0.0; }

std::unique_ptr<std::array<CGLCM, 4>> BuildGLCMs(const CMImage&, const CRect&, int32_t) {
    return nullptr;
}
bool CoocurrenceFeatures(const CMImage&, const CRect&, int32_t, CFeatureVector&) { return false; }
std::vector<std::string> CoocurrenceFeatureNames(int32_t) { return {}; }

CSRDM::~CSRDM() = default;
void CSRDM::GetFeatures(double& h, double& v, double& d, double& g) { h = v = d = g = -1.0; }
std::unique_ptr<CSRDM> BuildSRDM(const CMImage&, int32_t, int32_t, int32_t, int32_t, const CRect&,
                                 std::vector<std::string>*) {
    return nullptr;
}

}  // namespace vistrel
