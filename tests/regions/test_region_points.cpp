#include "regions/region_points.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(RegionPoints, UnlabelledListTakesTheFirstLabelAndRefusesOthers) {
    CRegionPoints list;
    EXPECT_EQ(list.Label(), -1);
    EXPECT_TRUE(list.Add({1, 2}, 4));
    EXPECT_EQ(list.Label(), 4);
    EXPECT_TRUE(list.Add({2, 2}, 4));
    EXPECT_FALSE(list.Add({3, 2}, 5));
    ASSERT_EQ(list.Points().size(), 2u);
    EXPECT_EQ(list.Points()[1], (CPoint{2, 2}));
}

TEST(RegionPoints, AbsorbAppendsAndEmptiesTheOther) {
    CRegionPoints a(1), b(3);
    a.Add({0, 0}, 1);
    b.Add({5, 5}, 3);
    b.Add({6, 5}, 3);
    a.Absorb(b);
    EXPECT_TRUE(b.Points().empty());
    ASSERT_EQ(a.Points().size(), 3u);
    EXPECT_EQ(a.Points()[2], (CPoint{6, 5}));
    EXPECT_EQ(a.Label(), 1);
}
