#include "detection/point_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

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

// The hashed adder against the linear AddUnique it replaces on large lists:
// the same spots, in the same order, and the same answers.
void ExpectSameAsAddUnique(const CSpotList& start, const std::vector<CPointResponse>& incoming,
                           const char* name) {
    CSpotList reference(start), hashed(start);
    CUniqueSpotAdder adder(hashed, incoming.size() / 4);  // too small: it must grow
    for (std::size_t i = 0; i < incoming.size(); ++i)
        ASSERT_EQ(adder.Add(incoming[i]), reference.AddUnique(incoming[i])) << name << " #" << i;
    ASSERT_EQ(hashed.Count(), reference.Count()) << name;
    for (int32_t i = 0; i < reference.Count(); ++i) {
        // Bitwise, so that a -0.0 kept in place of the first 0.0 would show.
        const CPointResponse &a = hashed[i], &b = reference[i];
        EXPECT_TRUE(a.x == b.x && a.y == b.y && a.values.size() == b.values.size())
            << name << " #" << i;
        EXPECT_EQ(std::signbit(a.response), std::signbit(b.response)) << name << " #" << i;
        for (std::size_t k = 0; k < std::min(a.values.size(), b.values.size()); ++k)
            EXPECT_EQ(std::signbit(a.values[k]), std::signbit(b.values[k])) << name << " #" << i;
    }
}

CPointResponse Spot(int32_t x, int32_t y, double response, std::vector<double> values) {
    CPointResponse s({x, y}, response);
    s.values = std::move(values);
    return s;
}

TEST(UniqueSpotAdder, KeepsTheRuleAndTheOrderOfAddUnique) {
    const double nan = std::nan("");
    const CPointResponse base = Spot(4, 7, 12.5, {3, 12.5, 156.25, 1, 2, 3, 4});
    auto with = [&](auto change) {
        CPointResponse s = base;
        change(s);
        return s;
    };
    const struct {
        const char* name;
        std::vector<CPointResponse> start, incoming;
    } cases[] = {
        {"repeats", {}, {base, base, base}},
        // Each differs from base in one field only: all are kept.
        {"one field apart",
         {},
         {base, with([](auto& s) { s.x = 5; }), with([](auto& s) { s.y = 8; }),
          with([](auto& s) { s.response = 12.25; }), with([](auto& s) { s.values[6] = 5; }),
          with([](auto& s) { s.values.pop_back(); }), with([](auto& s) { s.values.clear(); }),
          with([](auto& s) { std::swap(s.x, s.y); }), base}},
        // -0.0 equals 0.0: the first one stays.
        {"signed zeros",
         {},
         {Spot(1, 1, 0.0, {3, 0.0}), Spot(1, 1, -0.0, {3, -0.0}), Spot(1, 1, -0.0, {3, 0.0})}},
        // A NaN equals nothing, not even itself: every copy is appended.
        {"not a number",
         {},
         {Spot(1, 1, nan, {3}), Spot(1, 1, nan, {3}), Spot(1, 1, 2, {nan}), Spot(1, 1, 2, {nan})}},
        // The spots already in the list count, duplicates among them included.
        {"non-empty list",
         {base, base, Spot(0, 0, 1, {})},
         {Spot(0, 0, 1, {}), base, Spot(0, 0, 2, {})}},
    };
    for (const auto& c : cases) {
        CSpotList start;
        for (const CPointResponse& s : c.start) start.Append(s);
        ExpectSameAsAddUnique(start, c.incoming, c.name);
    }

    // Many spots on few points with few values: collisions, growth and repeats.
    std::mt19937 rng(11);
    std::vector<CPointResponse> many;
    for (int i = 0; i < 6000; ++i)
        many.push_back(Spot(int32_t(rng() % 20), int32_t(rng() % 20), double(rng() % 4),
                            {double(rng() % 3), double(rng() % 2)}));
    ExpectSameAsAddUnique({}, many, "many");
}

}  // namespace
}  // namespace vistrel
