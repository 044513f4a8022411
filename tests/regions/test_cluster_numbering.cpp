#include <gtest/gtest.h>

#include <climits>

#include "regions/region.h"

namespace vistrel {
namespace {

TEST(ClusterNumbering, MembersCarryKAndOutlinesTheBasePlusK) {
    const struct {
        int32_t number;
        bool outline;
        int32_t cluster;
    } cases[] = {
        {0, false, 0},  // no cluster
        {1, false, 1},
        {999, false, 999},
        {1000, true, 0},  // an outline of no cluster: written "IN CLUSTER 1000"
        {1001, true, 1},
        {1005, true, 5},
        {INT32_MAX, true, INT32_MAX - 1000},
        {-3, false, -3},  // read from a file as it stands
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(IsClusterOutlineNumber(c.number), c.outline);
        EXPECT_EQ(ClusterOfNumber(c.number), c.cluster);
        CRegion region;
        region.clusterNumber = c.number;
        EXPECT_EQ(region.IsClusterOutline(), c.outline);
    }
}

TEST(ClusterNumbering, OutlineNumbersRoundTripAndSaturateInsteadOfOverflowing) {
    for (const int32_t k : {1, 2, 17, 999, 5000}) {
        EXPECT_EQ(ClusterOutlineNumber(k), 1000 + k);
        EXPECT_EQ(ClusterOfNumber(ClusterOutlineNumber(k)), k);
    }
    // A member number read from a file may be as large as int32 allows.
    EXPECT_EQ(ClusterOutlineNumber(INT32_MAX - 1000), INT32_MAX);
    EXPECT_EQ(ClusterOutlineNumber(INT32_MAX - 999), INT32_MAX);
    EXPECT_EQ(ClusterOutlineNumber(INT32_MAX), INT32_MAX);
}

TEST(ClusterNumbering, TheTypeAloneMakesAClusterOutline) {
    CRegion region;
    region.type = 'c';
    EXPECT_TRUE(region.IsClusterOutline());
    region.type = 'm';
    EXPECT_FALSE(region.IsClusterOutline());
}

}  // namespace
}  // namespace vistrel
