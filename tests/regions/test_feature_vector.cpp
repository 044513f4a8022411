#include <gtest/gtest.h>

#include "regions/feature_vector.h"

namespace vistrel {
namespace {

CFeatureSelection ThreeNames() {
    return CFeatureSelection({{"Area", 1}, {"Box_Ratio=Area/Bounding_Box_Area", 0}, {"Mean", 1}}, 2);
}

TEST(FeatureSelection, LooksNamesUpExactly) {
    const CFeatureSelection selection = ThreeNames();
    EXPECT_TRUE(selection.Selected("Area"));
    EXPECT_FALSE(selection.Selected("Box_Ratio=Area/Bounding_Box_Area"));
    EXPECT_TRUE(selection.Selected("Mean"));
    EXPECT_FALSE(selection.Selected("area"));
    EXPECT_FALSE(selection.Selected("Mea"));
    EXPECT_FALSE(selection.Selected(""));
}

// Names changed in place must be found under their new names and no longer
// under the old ones, before and after the index is rebuilt.
TEST(FeatureSelection, NamesChangedInPlaceAreFoundUnderTheirNewNames) {
    CFeatureSelection selection = ThreeNames();
    selection.Entries()[0].name = "Mean";  // now two entries share a name
    selection.Entries()[2].name = "Area_mm";
    selection.Entries()[2].on = 0;
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_FALSE(selection.Selected("Area")) << pass;
        EXPECT_TRUE(selection.Selected("Mean")) << pass;  // the first entry of that name
        EXPECT_FALSE(selection.Selected("Area_mm")) << pass;
        EXPECT_TRUE(selection.Set("Area_mm", true)) << pass;
        EXPECT_TRUE(selection.Selected("Area_mm")) << pass;
        selection.Set("Area_mm", false);
        selection.Reindex();
    }
}

TEST(FeatureSelection, CopiesKeepWorkingAfterTheSourceIsGone) {
    CFeatureSelection copy;
    {
        CFeatureSelection source = ThreeNames();
        copy = source;
        source.Set("Area", false);
    }
    EXPECT_TRUE(copy.Selected("Area"));
    EXPECT_FALSE(copy.Set("Unknown", true));
}

}  // namespace
}  // namespace vistrel
