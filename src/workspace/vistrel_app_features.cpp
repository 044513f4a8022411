#include <algorithm>
#include <unordered_map>

#include "core/messages.h"
#include "regions/region_features.h"
#include "regions/texture.h"
#include "workspace/feature_settings_store.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

const char* const kHex = "0123456789ABCDEF";

bool KeptInKey(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string FeatureSettingsKey(std::string_view name) {
    std::string key;
    key.reserve(name.size());
    for (char c : name) {
        if (KeptInKey(c)) {
            key += c;
        } else {
            const auto u = static_cast<unsigned char>(c);
            key += '%';
            key += kHex[u >> 4];
            key += kHex[u & 0x0F];
        }
    }
    return key;
}

std::string FeatureNameFromKey(std::string_view key) {
    std::string name;
    name.reserve(key.size());
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] != '%') {
            if (!KeptInKey(key[i])) return {};
            name += key[i];
            continue;
        }
        if (i + 2 >= key.size()) return {};
        const int high = HexValue(key[i + 1]);
        const int low = HexValue(key[i + 2]);
        if (high < 0 || low < 0) return {};
        name += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return name;
}

void ReadFeatureSettings(QSettings& store, CFeatureSelection& selection,
                         CFeatureSettings& settings) {
    const CFeatureSettings defaults;
    store.beginGroup("Settings");
    const int distance = store.value("cooccurenceDistance", defaults.coocurrenceDistance).toInt();
    const int ring = store.value("ringWidth", defaults.ringWidth).toInt();
    settings.coocurrenceDistance =
        distance >= 1 && distance <= CCoocurrenceParamsModel::kMaxDistance
            ? distance
            : defaults.coocurrenceDistance;
    settings.ringWidth =
        ring >= 0 && ring <= CCoocurrenceParamsModel::kMaxRing ? ring : defaults.ringWidth;
    settings.shapeMoments = store.value("shapeMoments", defaults.shapeMoments).toInt() != 0;
    settings.moments = store.value("moments", defaults.moments).toInt() != 0;
    store.endGroup();

    selection = DefaultFeatureSelection(settings);
    store.beginGroup("features");
    for (const QString& key : store.childKeys()) {
        const std::string name = FeatureNameFromKey(key.toStdString());
        if (name.empty()) continue;
        selection.Set(name, store.value(key).toInt() != 0);
    }
    store.endGroup();
}

void WriteFeatureSettings(QSettings& store, const CFeatureSelection& selection,
                          const CFeatureSettings& settings) {
    store.beginGroup("Settings");
    store.setValue("cooccurenceDistance", settings.coocurrenceDistance);
    store.setValue("ringWidth", settings.ringWidth);
    store.setValue("shapeMoments", settings.shapeMoments ? 1 : 0);
    store.setValue("moments", settings.moments ? 1 : 0);
    store.endGroup();

    store.remove("features");
    store.beginGroup("features");
    for (const CFeatureSelection::Entry& entry : selection.Entries())
        store.setValue(QString::fromStdString(FeatureSettingsKey(entry.name)), entry.on ? 1 : 0);
    store.endGroup();
}

int32_t RenameCoocurrenceEntries(CFeatureSelection& selection, int32_t from, int32_t to) {
    if (from == to) return 0;
    const std::vector<std::string> oldNames = CoocurrenceFeatureNames(from);
    const std::vector<std::string> newNames = CoocurrenceFeatureNames(to);
    if (oldNames.size() != newNames.size()) return 0;
    std::unordered_map<std::string, std::size_t> position;
    for (std::size_t i = 0; i < oldNames.size(); ++i)
        if (oldNames[i] != newNames[i]) position.emplace(oldNames[i], i);
    int32_t renamed = 0;
    for (CFeatureSelection::Entry& entry : selection.Entries()) {
        const auto found = position.find(entry.name);
        if (found == position.end()) continue;
        entry.name = newNames[found->second];
        ++renamed;
    }
    selection.Reindex();
    return renamed;
}

bool CVistrelApp::OnFeatureSelection() {
    if (!ui_) return false;
    CFeatureSelectionModel model;
    model.Load(featureSelection, featureSettings);
    if (!ui_->AskFeatureSelection(model)) return false;
    model.Commit(featureSelection, featureSettings);
    return true;
}

bool CVistrelApp::OnCoocurrenceParams() {
    if (!ui_) return false;
    CCoocurrenceParamsModel model;
    model.Load(featureSettings);
    if (!ui_->AskCoocurrenceParams(model)) return false;
    const int32_t oldDistance = featureSettings.coocurrenceDistance;
    if (!model.Commit(featureSettings)) {
        messages().show(model.Problem());
        return false;
    }
    RenameCoocurrenceEntries(featureSelection, oldDistance, featureSettings.coocurrenceDistance);
    return true;
}

}  // namespace vistrel
