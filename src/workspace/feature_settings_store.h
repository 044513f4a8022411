#pragma once
// The feature selection and the co-occurrence and moment settings in the
// application's settings store.

#include <QSettings>
#include <string>
#include <string_view>

#include "regions/feature_vector.h"

namespace vistrel {

// The settings key of a feature name. QSettings reads '/' and '\' as group
// separators and an INI file mangles '=', ';' and blanks, while names such
// as "Box_Ratio=Area/Bounding_Box_Area" hold them: every character other
// than a letter, a digit or '_' is written as '%' and two hex digits.
std::string FeatureSettingsKey(std::string_view name);
// The name of a key; empty for a key that is not such an encoding.
std::string FeatureNameFromKey(std::string_view key);

// Reads "Settings" ("cooccurenceDistance", "ringWidth", "shapeMoments",
// "moments"; values out of range keep the defaults), then starts the
// selection from every name at that distance switched on and applies group
// "features" (one 0/1 value per name): unknown names are ignored, names
// without a value stay on.
void ReadFeatureSettings(QSettings& store, CFeatureSelection& selection,
                         CFeatureSettings& settings);
// Writes those keys; group "features" is replaced as a whole.
void WriteFeatureSettings(QSettings& store, const CFeatureSelection& selection,
                          const CFeatureSettings& settings);

// The co-occurrence entries named at distance `from` renamed to distance
// `to` (Contrast_1_45 -> Contrast_2_45), flags kept; how many were renamed.
int32_t RenameCoocurrenceEntries(CFeatureSelection& selection, int32_t from, int32_t to);

}  // namespace vistrel
