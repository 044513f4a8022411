#include "detection/point_response.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

TEST(PointResponse, ConstructionSetAndEquality) {
    CPointResponse empty;
    EXPECT_FALSE(empty.IsSet());
    EXPECT_TRUE(empty.values.empty());
    CPointResponse a({3, 4}, 2.5);
    EXPECT_TRUE(a.values.empty());  // -DBL_MAX first value is left out
    CPointResponse b({3, 4}, 2.5, 7.0);
    EXPECT_EQ(b.values, std::vector<double>{7.0});
    EXPECT_FALSE(a == b);
    a.Append(7.0);
    EXPECT_TRUE(a == b);
    a.Set({1, 2}, 9.0, 5.0);
    EXPECT_EQ(a.values, (std::vector<double>{5.0, 9.0}));
    EXPECT_EQ(a.x, 1);
}

TEST(PointResponse, ValueSelectionRule) {
    CPointResponse s({0, 0}, 42.0);
    EXPECT_EQ(SpotValue(s, 3), 42.0);  // no values: the response
    for (double v : {3.0, 10.0, 20.0}) s.Append(v);
    const struct {
        int k;
        double expected;
    } cases[] = {{-1, 42.0}, {0, 3.0}, {2, 20.0}, {3, 20.0}, {12, 20.0}};
    for (const auto& c : cases) EXPECT_EQ(SpotValue(s, c.k), c.expected) << c.k;
}

TEST(LogPath, EntriesAndBest) {
    CLogPath bad(0, 5, {1, 1}, 1.0);
    EXPECT_EQ(bad.MinScale(), 0);
    EXPECT_EQ(bad.PointAt(0).x, -1);
    EXPECT_EQ(bad.SetAt(1, {1, 1}, 1.0), -1);
    EXPECT_EQ(CLogPath(5, 3, {1, 1}, 1.0).Entries().size(), 0u);

    CLogPath p(3, 6, {10, 10}, 5.0);
    EXPECT_EQ(p.PointAt(3).x, 10);
    EXPECT_EQ(p.PointAt(4).x, -1);
    EXPECT_EQ(p.PointAt(7).x, -1);
    EXPECT_EQ(p.SetAt(7, {1, 1}, 1.0), -1);
    EXPECT_EQ(p.SetAt(5, {11, 10}, 8.0), 0);
    EXPECT_EQ(p.SetAt(6, {12, 10}, 8.0), 0);
    const CPointResponse* best = p.BestEntry();
    ASSERT_TRUE(best);
    EXPECT_EQ(best->values[0], 6);  // ties go to the larger scale
    EXPECT_EQ(p.AppendValueAt(5, 11, 10, 1.5), 1);
    EXPECT_EQ(p.AppendValueAt(5, 0, 0, 1.5), 0);
    EXPECT_EQ(p.Entries()[2].values.size(), 3u);
    EXPECT_EQ(p.Describe(), " 5.0,  8.0,  8.0, ");
}

TEST(SpotList, Helpers) {
    CSpotList list;
    EXPECT_TRUE(list.AddNew({1, 1}, 10.0, 3));
    EXPECT_FALSE(list.AddNew({1, 1}, 10.0, 3));  // equal: not added
    EXPECT_TRUE(list.AddNew({1, 1}, 10.0, 5));
    EXPECT_TRUE(list.AddNew({8, 9}, 30.0, 7));
    double lo, hi;
    list.Range(0, lo, hi);
    EXPECT_EQ(lo, 3);
    EXPECT_EQ(hi, 7);
    CSpotList empty;
    empty.Range(0, lo, hi);
    EXPECT_EQ(lo, DBL_MAX);
    EXPECT_EQ(hi, -DBL_MAX);

    CSpotList copy;
    copy.CopyAtLeast(list, 5, 0);
    EXPECT_EQ(copy.Count(), 2);
    copy.CopyAtLeast(list, -DBL_MAX, 0);
    EXPECT_EQ(copy.Count(), 3);
    copy[0].x = 99;
    EXPECT_EQ(list[0].x, 1);  // deep copy

    // CropTo normalises the rectangle and moves survivors by its corner.
    CSpotList crop(list);
    EXPECT_EQ(crop.CropTo({10, 10, 0, 0}), 0);
    EXPECT_EQ(crop.CropTo({1, 1, 5, 5}), 1);
    ASSERT_EQ(crop.Count(), 2);
    EXPECT_EQ(crop[0].x, 0);
    EXPECT_EQ(crop[0].y, 0);
    crop.ClearAll();
    EXPECT_EQ(crop.Count(), 0);
}

}  // namespace
}  // namespace vistrel
