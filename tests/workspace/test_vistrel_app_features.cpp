// The application's feature selection and co-occurrence settings: their
// dialogs, the renaming of the co-occurrence entries, and how they survive
// the settings store with names that hold the store's own separators.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "regions/region_features.h"
#include "regions/texture.h"
#include "workspace/feature_settings_store.h"
#include "workspace/vistrel_app.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

using testing::CFakeUi;
using testing::CRecordingSink;

constexpr char kBoxRatio[] = "Box_Ratio=Area/Bounding_Box_Area";

class FeatureSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    // A settings store of its own in the scratch folder.
    std::unique_ptr<QSettings> Store() const {
        return std::make_unique<QSettings>(dir.path() + "/features.ini", QSettings::IniFormat);
    }

    QTemporaryDir dir;
    CFakeUi ui;
    CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app{&ui};
};

TEST(FeatureSettingsKey, RoundTripsNamesWithSeparatorsAndRefusesBrokenKeys) {
    for (const char* name : {"Area", kBoxRatio, "Regions_In_Cluster_Number/Cluster_Area_mm",
                             "Mean_Distance_From_Centroid(Centers)_mm", "a b;c%d\\e,f\"g",
                             "Contrast_1_45", "\xc3\xa9t\xc3\xa9"}) {
        const std::string key = FeatureSettingsKey(name);
        EXPECT_EQ(key.find_first_of("/\\=; ,\""), std::string::npos) << key;
        EXPECT_EQ(FeatureNameFromKey(key), name) << key;
    }
    EXPECT_EQ(FeatureSettingsKey("Box_Ratio=Area/B"), "Box_Ratio%3DArea%2FB");
    for (const char* broken : {"%", "%4", "a%4", "%ZZ", "a/b", "a b"})
        EXPECT_EQ(FeatureNameFromKey(broken), "") << broken;
}

TEST_F(FeatureSettingsTest, StartsWithEveryNameOn) {
    const CFeatureSelection defaults = DefaultFeatureSelection(app.featureSettings);
    ASSERT_FALSE(defaults.Entries().empty());
    ASSERT_EQ(app.featureSelection.Entries().size(), defaults.Entries().size());
    for (const auto& entry : app.featureSelection.Entries()) EXPECT_TRUE(entry.on) << entry.name;
    EXPECT_EQ(app.featureSettings.coocurrenceDistance, 1);
    EXPECT_EQ(app.featureSettings.ringWidth, 5);
    EXPECT_TRUE(app.featureSettings.shapeMoments);
    EXPECT_TRUE(app.featureSettings.moments);
}

TEST_F(FeatureSettingsTest, SelectionAndSettingsSurviveTheStore) {
    CFeatureSettings settings;
    settings.coocurrenceDistance = 3;
    settings.ringWidth = 12;
    settings.shapeMoments = false;
    settings.moments = true;
    CFeatureSelection selection = DefaultFeatureSelection(settings);
    ASSERT_TRUE(selection.Set(kBoxRatio, false));
    ASSERT_TRUE(selection.Set("Area", false));
    ASSERT_TRUE(selection.Set("Contrast_3_45", false));
    {
        auto store = Store();
        WriteFeatureSettings(*store, selection, settings);
        store->sync();
    }
    CFeatureSelection read;
    CFeatureSettings readSettings;
    ReadFeatureSettings(*Store(), read, readSettings);
    EXPECT_EQ(readSettings.coocurrenceDistance, 3);
    EXPECT_EQ(readSettings.ringWidth, 12);
    EXPECT_FALSE(readSettings.shapeMoments);
    EXPECT_TRUE(readSettings.moments);
    ASSERT_EQ(read.Entries().size(), selection.Entries().size());
    EXPECT_EQ(read.SecondGroup(), selection.SecondGroup());
    for (size_t i = 0; i < read.Entries().size(); ++i) {
        EXPECT_EQ(read.Entries()[i].name, selection.Entries()[i].name);
        EXPECT_EQ(read.Entries()[i].on, selection.Entries()[i].on) << read.Entries()[i].name;
    }
    EXPECT_FALSE(read.Selected(kBoxRatio));
    EXPECT_FALSE(read.Selected("Contrast_3_45"));
    EXPECT_TRUE(read.Selected("Area_mm"));
}

TEST_F(FeatureSettingsTest, UnknownNamesAreIgnoredAndMissingOnesStayOn) {
    {
        auto store = Store();
        store->beginGroup("features");
        store->setValue(QString::fromStdString(FeatureSettingsKey("No_Such_Feature")), 0);
        store->setValue(QString::fromStdString(FeatureSettingsKey(kBoxRatio)), 0);
        store->setValue("broken%Z", 0);
        store->endGroup();
        store->beginGroup("Settings");
        store->setValue("cooccurenceDistance", 0);  // out of range: the default stays
        store->setValue("ringWidth", 5000);
        store->endGroup();
        store->sync();
    }
    CFeatureSelection read;
    CFeatureSettings settings;
    ReadFeatureSettings(*Store(), read, settings);
    EXPECT_EQ(settings.coocurrenceDistance, 1);
    EXPECT_EQ(settings.ringWidth, 5);
    const CFeatureSelection defaults = DefaultFeatureSelection(settings);
    ASSERT_EQ(read.Entries().size(), defaults.Entries().size());
    EXPECT_FALSE(read.Set("No_Such_Feature", true));  // not made an entry
    for (const auto& entry : read.Entries())
        EXPECT_EQ(entry.on != 0, entry.name != kBoxRatio) << entry.name;
}

TEST_F(FeatureSettingsTest, TheApplicationWritesAndReadsThemWithItsOtherSettings) {
    QSettings("Korvel", "Vistrel").clear();
    ASSERT_TRUE(app.featureSelection.Set(kBoxRatio, false));
    app.featureSettings.ringWidth = 8;
    app.SaveSettings();
    CVistrelApp next(&ui);
    EXPECT_TRUE(next.featureSelection.Selected(kBoxRatio));  // not read yet
    next.LoadSettings();
    EXPECT_FALSE(next.featureSelection.Selected(kBoxRatio));
    EXPECT_TRUE(next.featureSelection.Selected("Area"));
    EXPECT_EQ(next.featureSettings.ringWidth, 8);
    QSettings("Korvel", "Vistrel").clear();
}

TEST_F(FeatureSettingsTest, FeatureSelectionDialogChangesOnlyOnOk) {
    ui.featureSelectionEdit = [](CFeatureSelectionModel& model) {
        model.SetMatching("area", false);
        model.moments = false;
    };
    ui.featureSelectionOk = false;
    EXPECT_FALSE(app.OnFeatureSelection());
    ASSERT_EQ(ui.featureSelectionShown.size(), 1u);
    EXPECT_EQ(ui.featureSelectionShown[0].SelectedCount(), ui.featureSelectionShown[0].Count());
    EXPECT_TRUE(app.featureSelection.Selected("Area"));
    EXPECT_TRUE(app.featureSettings.moments);

    ui.featureSelectionOk = true;
    EXPECT_TRUE(app.OnFeatureSelection());
    EXPECT_FALSE(app.featureSelection.Selected("Area"));
    EXPECT_FALSE(app.featureSelection.Selected(kBoxRatio));
    EXPECT_TRUE(app.featureSelection.Selected("Elongation"));
    EXPECT_FALSE(app.featureSettings.moments);
}

TEST_F(FeatureSettingsTest, ANewDistanceRenamesTheCoocurrenceEntriesKeepingFlags) {
    ASSERT_TRUE(app.featureSelection.Set("Contrast_1_45", false));
    ASSERT_TRUE(app.featureSelection.Set("Entropy_Mean", false));
    const size_t count = app.featureSelection.Entries().size();
    CCoocurrenceParamsModel answer;
    answer.distance = 2;
    answer.ring = 7;
    ui.coocurrenceAnswer = answer;
    EXPECT_TRUE(app.OnCoocurrenceParams());
    EXPECT_EQ(app.featureSettings.coocurrenceDistance, 2);
    EXPECT_EQ(app.featureSettings.ringWidth, 7);
    EXPECT_EQ(app.featureSelection.Entries().size(), count);
    // Every name the features can now produce is an entry, with its flag.
    for (const std::string& name : CoocurrenceFeatureNames(2)) {
        bool found = false;
        for (const auto& entry : app.featureSelection.Entries())
            if (entry.name == name) {
                found = true;
                EXPECT_EQ(entry.on != 0, name != "Contrast_2_45" && name != "Entropy_Mean") << name;
            }
        EXPECT_TRUE(found) << name;
    }
    for (const auto& entry : app.featureSelection.Entries())
        EXPECT_EQ(entry.name.find("_1_"), std::string::npos) << entry.name;
}

TEST_F(FeatureSettingsTest, CoocurrenceParamsRefuseBadValuesAndCancel) {
    CCoocurrenceParamsModel answer;
    answer.distance = 0;
    answer.ring = 7;
    ui.coocurrenceAnswer = answer;
    EXPECT_FALSE(app.OnCoocurrenceParams());
    EXPECT_EQ(app.featureSettings.coocurrenceDistance, 1);
    EXPECT_EQ(app.featureSettings.ringWidth, 5);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_NE(sink.shown[0].find("cooccurence distance"), std::string::npos);

    answer.distance = 4;
    ui.coocurrenceAnswer = answer;
    ui.coocurrenceOk = false;
    EXPECT_FALSE(app.OnCoocurrenceParams());
    EXPECT_EQ(app.featureSettings.coocurrenceDistance, 1);
    EXPECT_TRUE(app.featureSelection.Selected("Contrast_1_45"));
    ASSERT_EQ(ui.coocurrenceShown.size(), 2u);
    EXPECT_EQ(ui.coocurrenceShown[1].distance, 1);
    EXPECT_EQ(ui.coocurrenceShown[1].ring, 5);
}

}  // namespace
}  // namespace vistrel
