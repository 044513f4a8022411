#include "workspace/region_growing_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vistrel {
namespace {

TEST(RegionGrowingModel, ShowsTheFractionInPercentAndStoresItBack) {
    CRegionGrowingModel model;
    model.Load(CRegionGrowingParams{7, 0.025});
    EXPECT_EQ(model.maxAddedBounds, 7);
    EXPECT_DOUBLE_EQ(model.percent, 2.5);
    model.maxAddedBounds = 3;
    model.percent = 10.0;
    CRegionGrowingParams params;
    ASSERT_TRUE(model.Commit(params));
    EXPECT_EQ(params.maxAddedBounds, 3);
    EXPECT_DOUBLE_EQ(params.fraction, 0.1);
}

TEST(RegionGrowingModel, RefusesFieldsOutOfRangeAndKeepsTheParameters) {
    struct Case {
        int32_t bounds;
        double percent;
        bool accepted;
    } cases[] = {
        {0, 0.0, true},
        {CRegionGrowingModel::kMaxAddedBoundsLimit, CRegionGrowingModel::kPercentLimit, true},
        {-1, 1.0, false},
        {CRegionGrowingModel::kMaxAddedBoundsLimit + 1, 1.0, false},
        {5, -0.5, false},
        {5, 1000.5, false},
        {5, std::numeric_limits<double>::quiet_NaN(), false},
        {5, std::numeric_limits<double>::infinity(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bounds << " " << c.percent);
        CRegionGrowingModel model;
        model.maxAddedBounds = c.bounds;
        model.percent = c.percent;
        CRegionGrowingParams params{9, 0.5};
        EXPECT_EQ(model.Commit(params), c.accepted);
        EXPECT_EQ(model.Problem().empty(), c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(params.maxAddedBounds, 9);
            EXPECT_DOUBLE_EQ(params.fraction, 0.5);
        }
    }
}

}  // namespace
}  // namespace vistrel
