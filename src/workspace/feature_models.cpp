#include "workspace/feature_models.h"

#include <algorithm>
#include <cctype>

namespace vistrel {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Control characters (tabs, line breaks, DEL) become blanks; the ends are trimmed.
std::string Cleaned(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = ' ';
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = out.find_last_not_of(' ');
    return out.substr(first, last - first + 1);
}

}  // namespace

void CFeatureSelectionModel::Load(const CFeatureSelection& selection,
                                  const CFeatureSettings& settings) {
    entries = selection.Entries();
    secondGroup = std::clamp(selection.SecondGroup(), 0, Count());
    shapeMoments = settings.shapeMoments;
    moments = settings.moments;
}

void CFeatureSelectionModel::Commit(CFeatureSelection& selection,
                                    CFeatureSettings& settings) const {
    selection = CFeatureSelection(entries, secondGroup);
    settings.shapeMoments = shapeMoments;
    settings.moments = moments;
}

void CFeatureSelectionModel::SetAll(bool on) {
    for (CFeatureSelection::Entry& entry : entries) entry.on = on ? 1 : 0;
}

int32_t CFeatureSelectionModel::SetMatching(const std::string& text, bool on) {
    // An empty pattern would match every name: it matches none, so that an
    // empty search field never flips the whole list.
    if (text.empty()) return 0;
    const std::string pattern = Lower(text);
    int32_t matched = 0;
    for (CFeatureSelection::Entry& entry : entries) {
        if (Lower(entry.name).find(pattern) == std::string::npos) continue;
        entry.on = on ? 1 : 0;
        ++matched;
    }
    return matched;
}

int32_t CFeatureSelectionModel::SelectedCount() const {
    return static_cast<int32_t>(std::count_if(entries.begin(), entries.end(),
                                              [](const auto& entry) { return entry.on != 0; }));
}

std::string CRegionTypeModel::Text() const {
    const std::string cleanType = Cleaned(type);
    const std::string cleanDetail = Cleaned(detail);
    if (cleanDetail.empty()) return cleanType;
    return Cleaned(cleanType + " " + cleanDetail);
}

std::string CRegionTypeModel::Problem() const {
    return Cleaned(type).empty() ? "Enter the region type." : std::string{};
}

void CCoocurrenceParamsModel::Load(const CFeatureSettings& settings) {
    distance = settings.coocurrenceDistance;
    ring = settings.ringWidth;
}

bool CCoocurrenceParamsModel::Commit(CFeatureSettings& settings) const {
    if (!Problem().empty()) return false;
    settings.coocurrenceDistance = distance;
    settings.ringWidth = ring;
    return true;
}

std::string CCoocurrenceParamsModel::Problem() const {
    if (distance < 1 || distance > kMaxDistance)
        return "The cooccurence distance must be between 1 and " + std::to_string(kMaxDistance) +
               ".";
    if (ring < 0 || ring > kMaxRing)
        return "The square ring around object must be between 0 and " + std::to_string(kMaxRing) +
               ".";
    return {};
}

}  // namespace vistrel
