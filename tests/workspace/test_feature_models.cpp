// The feature dialogs' models: the selection with its search and switches,
// the region-type text that becomes a feature-file column, and the
// co-occurrence parameters' ranges.
#include "workspace/feature_models.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

CFeatureSelection SmallSelection() {
    return CFeatureSelection({{"Area", 1},
                              {"Area_mm", 1},
                              {"Contrast_1_45", 0},
                              {"Box_Ratio=Area/Bounding_Box_Area", 1},
                              {"Regions_In_Cluster_Sum_Area", 0}},
                             4);
}

std::vector<int> Flags(const std::vector<CFeatureSelection::Entry>& entries) {
    std::vector<int> flags;
    for (const auto& entry : entries) flags.push_back(entry.on);
    return flags;
}

TEST(FeatureSelectionModel, LoadsEntriesGroupAndSwitchesAndCommitsThemBack) {
    CFeatureSettings settings;
    settings.shapeMoments = false;
    settings.moments = true;
    CFeatureSelectionModel model;
    model.Load(SmallSelection(), settings);
    EXPECT_EQ(model.Count(), 5);
    EXPECT_EQ(model.SecondGroup(), 4);
    EXPECT_FALSE(model.shapeMoments);
    EXPECT_TRUE(model.moments);
    EXPECT_EQ(model.SelectedCount(), 3);

    model.entries[0].on = 0;
    model.entries[2].on = 1;
    model.shapeMoments = true;
    model.moments = false;
    CFeatureSelection selection = SmallSelection();
    model.Commit(selection, settings);
    EXPECT_FALSE(selection.Selected("Area"));
    EXPECT_TRUE(selection.Selected("Contrast_1_45"));
    EXPECT_EQ(selection.SecondGroup(), 4);
    EXPECT_TRUE(settings.shapeMoments);
    EXPECT_FALSE(settings.moments);
}

TEST(FeatureSelectionModel, SetMatchingIsCaseInsensitiveAndCountsWhatItTouched) {
    struct Case {
        const char* text;
        bool on;
        int matched;
        std::vector<int> flags;
    } cases[] = {
        {"AREA", false, 4, {0, 0, 0, 0, 0}},  // every name holding "area", any case
        {"area_mm", false, 1, {1, 0, 0, 1, 0}},
        {"contrast", true, 1, {1, 1, 1, 1, 0}},
        {"=area/", false, 1, {1, 1, 0, 0, 0}},  // punctuation is matched literally
        {"nothing", true, 0, {1, 1, 0, 1, 0}},
        {"", true, 0, {1, 1, 0, 1, 0}},  // an empty search touches nothing
    };
    for (const Case& c : cases) {
        CFeatureSelectionModel model;
        model.Load(SmallSelection(), CFeatureSettings{});
        EXPECT_EQ(model.SetMatching(c.text, c.on), c.matched) << c.text;
        EXPECT_EQ(Flags(model.entries), c.flags) << c.text;
        EXPECT_EQ(model.SelectedCount(), std::count(c.flags.begin(), c.flags.end(), 1)) << c.text;
    }
}

TEST(FeatureSelectionModel, SetAllSwitchesEveryBox) {
    CFeatureSelectionModel model;
    model.Load(SmallSelection(), CFeatureSettings{});
    model.SetAll(false);
    EXPECT_EQ(model.SelectedCount(), 0);
    model.SetAll(true);
    EXPECT_EQ(model.SelectedCount(), model.Count());
}

TEST(RegionTypeModel, TextJoinsTypeAndDetailsWithoutControlCharacters) {
    struct Case {
        const char* type;
        const char* detail;
        const char* text;
    } cases[] = {
        {"mass", "", "mass"},
        {"mass", "spiculated", "mass spiculated"},
        {"  calc ", "  ", "calc"},         // blank details are not given
        {"a\tb", "c\r\nd\n", "a b c  d"},  // tabs and breaks cannot split a row
        {"x\x7f", "\x01y", "x y"},
        {"", "only details", "only details"},
    };
    for (const Case& c : cases) {
        CRegionTypeModel model;
        model.type = c.type;
        model.detail = c.detail;
        EXPECT_EQ(model.Text(), c.text) << c.type << "|" << c.detail;
        EXPECT_EQ(model.Text().find_first_of("\t\r\n"), std::string::npos);
    }
}

TEST(RegionTypeModel, AnEmptyTypeIsRefused) {
    for (const char* type : {"", "   ", "\t\n"}) {
        CRegionTypeModel model;
        model.type = type;
        model.detail = "details";
        EXPECT_FALSE(model.Problem().empty()) << "[" << type << "]";
    }
    CRegionTypeModel model;
    model.type = "mass";
    EXPECT_EQ(model.Problem(), "");
}

TEST(CoocurrenceParamsModel, CommitsOnlyValuesInRange) {
    struct Case {
        int distance;
        int ring;
        bool ok;
    } cases[] = {{1, 0, true},    {100, 1000, true}, {7, 5, true},   {0, 5, false},
                 {101, 5, false}, {-3, 5, false},    {1, -1, false}, {1, 1001, false}};
    for (const Case& c : cases) {
        CFeatureSettings settings;
        settings.coocurrenceDistance = 3;
        settings.ringWidth = 9;
        CCoocurrenceParamsModel model;
        model.Load(settings);
        EXPECT_EQ(model.distance, 3);
        EXPECT_EQ(model.ring, 9);
        model.distance = c.distance;
        model.ring = c.ring;
        EXPECT_EQ(model.Commit(settings), c.ok) << c.distance << " " << c.ring;
        EXPECT_EQ(model.Problem().empty(), c.ok) << c.distance << " " << c.ring;
        EXPECT_EQ(settings.coocurrenceDistance, c.ok ? c.distance : 3);
        EXPECT_EQ(settings.ringWidth, c.ok ? c.ring : 9);
    }
}

}  // namespace
}  // namespace vistrel
