#include "regions/feature_file.h"

namespace vistrel {

std::string DiagnosisWord(int16_t diagnosis, bool cluster) {
    const char* word = diagnosis == 0 ? "BENIGN" : diagnosis == 1 ? "MALIGNANT" : "FALSE";
    return cluster ? std::string("CLUSTER ") + word : std::string(word);
}
CFeatureVector WithLeadingColumn(const CFeatureVector& f) { return f; }
CFeatureVector WithSuffix(const CFeatureVector& f, const std::string&) { return f; }
std::string FeatureHeaderLine(const CFeatureVector&) { return {}; }
std::string FeatureDataLine(const std::string&, const std::string&, const std::string&,
                            const CFeatureVector&) {
    return {};
}
bool AppendFeatureRows(const std::string&, const std::string&, const std::vector<CFeatureRow>&,
                       std::string* error) {
    if (error) *error = "not written";
    return false;
}
bool ReadFeatureSelectionText(const std::string&, CFeatureSelection&, std::string* error) {
    if (error) *error = "not read";
    return false;
}
bool CFIREFeatureWriter::WriteVectorFeature(const std::string&, const std::vector<double>&) {
    return false;
}
bool CFIREFeatureWriter::WriteMammoFeature(const std::string&, const std::vector<double>&, bool) {
    return false;
}
std::string FireVectorPath(const std::string& imagePath) { return imagePath + ".vector"; }
std::string FireMammoPath(const std::string& imagePath) { return imagePath + ".mammo.gz"; }

}  // namespace vistrel
