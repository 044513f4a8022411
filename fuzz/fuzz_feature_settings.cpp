// Feeds arbitrary bytes to the feature selection's settings reader: first
// as one settings key (decoded names must encode back to a key that decodes
// to the same name), then as a whole INI file read into a selection, which
// must keep the default names in their order whatever the file says.

#include <QSettings>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "regions/region_features.h"
#include "workspace/feature_settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vistrel::fuzz::QuietSink quiet;
    static vistrel::CScopedMessageSink scoped(&quiet);
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string name = vistrel::FeatureNameFromKey(bytes);
    if (!name.empty() && vistrel::FeatureNameFromKey(vistrel::FeatureSettingsKey(name)) != name)
        __builtin_trap();

    const std::string path = vistrel::fuzz::Folder() + "/settings.ini";
    if (!vistrel::fuzz::WriteInput(path, data, size)) return 0;
    vistrel::CFeatureSelection selection;
    vistrel::CFeatureSettings settings;
    {
        QSettings store(QString::fromStdString(path), QSettings::IniFormat);
        vistrel::ReadFeatureSettings(store, selection, settings);
    }
    std::remove(path.c_str());
    const vistrel::CFeatureSelection defaults = vistrel::DefaultFeatureSelection(settings);
    if (selection.Entries().size() != defaults.Entries().size()) __builtin_trap();
    for (size_t i = 0; i < defaults.Entries().size(); ++i)
        if (selection.Entries()[i].name != defaults.Entries()[i].name) __builtin_trap();
    if (settings.coocurrenceDistance < 1 || settings.coocurrenceDistance > 100 ||
        settings.ringWidth < 0 || settings.ringWidth > 1000)
        __builtin_trap();
    return 0;
}
