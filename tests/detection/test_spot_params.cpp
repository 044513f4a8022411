#include "detection/spot_params.h"

#include <gtest/gtest.h>

#include "detection/spot_file.h"

namespace vistrel {
namespace {

TEST(SpotParams, DefaultsNameTheDefaultSpotFile) {
    EXPECT_EQ(SpotFileName("/d/img.pgx", CSpotParams{}), "/d/img.spots.S3_2_10_N3_3_.cnd");
    EXPECT_EQ(CSpotParams{}.Clamped(), CSpotParams{});
}

TEST(SpotParams, ClampedMovesEachParameterIntoItsRange) {
    const struct {
        const char* name;
        CSpotParams given, expected;
    } cases[] = {
        {"inside", {4, 3, 12, 5, 7}, {4, 3, 12, 5, 7}},
        {"at the lower ends", {2, 1, 2, 3, 0}, {2, 1, 2, 3, 0}},
        {"at the upper ends", {20, 20, 20, 20, 20}, {20, 20, 20, 20, 20}},
        {"below", {1, 0, -5, 2, -1}, {2, 1, 2, 3, 0}},
        {"above", {21, 99, 300, 21, 21}, {20, 20, 20, 20, 20}},
        // The scales are clamped each on its own, not put in order.
        {"max below min", {15, 2, 4, 3, 3}, {15, 2, 4, 3, 3}},
        {"mixed", {0, 25, 11, 100, -3}, {2, 20, 11, 20, 0}},
    };
    for (const auto& c : cases) {
        const CSpotParams got = c.given.Clamped();
        EXPECT_EQ(got.minScale, c.expected.minScale) << c.name;
        EXPECT_EQ(got.increment, c.expected.increment) << c.name;
        EXPECT_EQ(got.maxScale, c.expected.maxScale) << c.name;
        EXPECT_EQ(got.localMaxSide, c.expected.localMaxSide) << c.name;
        EXPECT_EQ(got.searchSide, c.expected.searchSide) << c.name;
    }
}

}  // namespace
}  // namespace vistrel
