// Feeds arbitrary bytes to the feature-selection reader and checks what the
// application relies on: a refused text leaves the selection exactly as it
// was, an accepted one only switches flags (names, order and the second
// group stay), and "all" or a list of names read back the same way.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "regions/feature_file.h"
#include "regions/feature_vector.h"

namespace {

vistrel::CFeatureSelection Sample() {
    std::vector<vistrel::CFeatureSelection::Entry> entries;
    for (const char* name : {"Area", "Area_mm", "Mean", "Contrast_Mean", "all ", "#Area",
                             "Regions_In_Cluster_Number", "Regions_In_Cluster_Coocurence_Features"})
        entries.push_back({name, 1});
    entries[2].on = 0;
    return vistrel::CFeatureSelection(std::move(entries), 6);
}

bool SameNames(const vistrel::CFeatureSelection& a, const vistrel::CFeatureSelection& b) {
    if (a.Entries().size() != b.Entries().size() || a.SecondGroup() != b.SecondGroup())
        return false;
    for (size_t i = 0; i < a.Entries().size(); ++i)
        if (a.Entries()[i].name != b.Entries()[i].name) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const vistrel::CFeatureSelection before = Sample();
    vistrel::CFeatureSelection selection = before;
    std::string error;
    const bool ok = vistrel::ReadFeatureSelectionText(text, selection, &error);
    if (!SameNames(before, selection)) std::abort();
    if (!ok) {
        if (error.empty()) std::abort();
        for (size_t i = 0; i < before.Entries().size(); ++i)
            if (selection.Entries()[i].on != before.Entries()[i].on) std::abort();
        return 0;
    }
    // The names that are on, one per line, select the same again.
    std::string list;
    for (const auto& e : selection.Entries())
        if (e.on > 1)
            std::abort();
        else if (e.on && e.name.find_first_of("#\r\n \t") == std::string::npos)
            list += e.name + "\n";
    vistrel::CFeatureSelection again = Sample();
    if (!vistrel::ReadFeatureSelectionText(list, again, &error)) std::abort();
    for (size_t i = 0; i < again.Entries().size(); ++i) {
        const auto& e = selection.Entries()[i];
        const bool listable = e.name.find_first_of("#\r\n \t") == std::string::npos;
        if (listable && again.Entries()[i].on != e.on) std::abort();
    }
    return 0;
}
