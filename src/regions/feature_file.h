#pragma once
// Tab-separated feature files (".ftr", ".txt") that feed the network's
// learning and test patterns, and the keyword files of the image-retrieval
// tool (plain, and gzip-compressed through zlib).

#include <cstdint>
#include <string>
#include <vector>

#include "regions/feature_vector.h"

namespace vistrel {

// The field separator; every field, the last included, is followed by it.
inline constexpr char kFeatureSeparator[] = "\t";

// "BENIGN", "MALIGNANT" or "FALSE" (0, 1, anything else); with cluster
// "CLUSTER BENIGN" and so on.
std::string DiagnosisWord(int16_t diagnosis, bool cluster = false);

// The vector a file row holds for a region: the column "_" with value 0,
// then the features.
CFeatureVector WithLeadingColumn(const CFeatureVector& features);
// Each name with the suffix appended ("_MEAN", "_STD_DEV").
CFeatureVector WithSuffix(const CFeatureVector& features, const std::string& suffix);

// "filename", "diagnosis", "region type", then the names; each field
// followed by a tab, the line ended by "\n".
std::string FeatureHeaderLine(const CFeatureVector& features);
// The image's full path, the diagnosis word, the region type, then the
// values ("%.12f", or "%.8e" for names holding "Invariant_Moment").
std::string FeatureDataLine(const std::string& imagePath, const std::string& diagnosisWord,
                            const std::string& regionType, const CFeatureVector& features);

// One row for a file.
struct CFeatureRow {
    std::string diagnosisWord;
    std::string regionType;
    CFeatureVector features;
};
// Appends the rows to the feature file at path without ever leaving a
// half-written file: the old content and the new lines are written to a
// temporary file that then replaces it. A new file starts with the header
// of the first row's names. Rows whose names and values differ in count are
// not written. False, with a reason in *error, when nothing could be written.
bool AppendFeatureRows(const std::string& path, const std::string& imagePath,
                       const std::vector<CFeatureRow>& rows, std::string* error = nullptr);

// A feature-selection text: one name per line (blank lines and lines
// starting with '#' ignored) turns exactly those names on and every other
// off; the single word "all" turns every name on. False, selection
// unchanged, with a reason, for an unknown name or text that is not such a
// list (binary data, a line longer than 1,000 characters).
bool ReadFeatureSelectionText(const std::string& text, CFeatureSelection& selection,
                              std::string* error = nullptr);

// The files of the image-retrieval tool.
class CFIREFeatureWriter {
  public:
    // "FIRE_vectorfeature\n", "dim %d \n", "data " and the values ("%f "
    // each, the last "%f" without a line break). False when the file cannot
    // be written.
    static bool WriteVectorFeature(const std::string& path, const std::vector<double>& values);
    // The gzip stream "FIRE_mammofeature", "clusters " with the last value,
    // "regions " with the first and "area " with the second, one per line.
    // False for fewer than two values or a file that cannot be written.
    static bool WriteMammoFeature(const std::string& path, const std::vector<double>& values,
                                  bool compressed = true);
};
// The names of those two files beside an image.
std::string FireVectorPath(const std::string& imagePath);
std::string FireMammoPath(const std::string& imagePath);

}  // namespace vistrel
