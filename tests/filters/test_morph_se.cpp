#include "filters/morph_se.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

namespace vistrel {
namespace {

// The table as rows of '0'/'1', top row first.
std::vector<std::string> RowsOf(const CMorphSE& se) {
    std::vector<std::string> rows;
    for (int r = 0; r < se.size; ++r) {
        std::string row;
        for (int c = 0; c < se.size; ++c) row += se.GetCell(r, c) ? '1' : '0';
        rows.push_back(row);
    }
    return rows;
}

// An edited element of the given rows.
CMorphSE FromRows(const std::vector<std::string>& rows) {
    CMorphSE se;
    se.Resize(static_cast<int16_t>(rows.size()));
    for (int r = 0; r < se.size; ++r)
        for (int c = 0; c < se.size; ++c) se.SetCell(r, c, rows[r][c] == '1');
    return se;
}

TEST(MorphSE, ShapesAtFullSizeAndCentred) {
    const struct {
        const char* what;
        int n, m, shape;
        std::vector<std::string> rows;
    } cases[] = {
        {"cross 5", 5, 5, CMorphSE::kCross, {"00100", "00100", "11111", "00100", "00100"}},
        {"cross 3 in 5", 5, 3, CMorphSE::kCross, {"00000", "00100", "01110", "00100", "00000"}},
        {"cross 4", 4, 4, CMorphSE::kCross, {"0010", "0010", "1111", "0010"}},
        {"X 5", 5, 5, CMorphSE::kX, {"10001", "01010", "00100", "01010", "10001"}},
        {"X 3 in 5", 5, 3, CMorphSE::kX, {"00000", "01010", "00100", "01010", "00000"}},
        {"X 4", 4, 4, CMorphSE::kX, {"1001", "0110", "0110", "1001"}},
        {"square 3 in 5", 5, 3, CMorphSE::kSquare, {"00000", "01110", "01110", "01110", "00000"}},
        {"square 2 in 5", 5, 2, CMorphSE::kSquare, {"00000", "01100", "01100", "00000", "00000"}},
        // Radius m/2 with integer halving, measured from the table's centre.
        {"circle 5", 5, 5, CMorphSE::kCircle, {"00100", "01110", "11111", "01110", "00100"}},
        {"circle 7",
         7,
         7,
         CMorphSE::kCircle,
         {"0001000", "0111110", "0111110", "1111111", "0111110", "0111110", "0001000"}},
        {"circle 3 in 7",
         7,
         3,
         CMorphSE::kCircle,
         {"0000000", "0000000", "0001000", "0011100", "0001000", "0000000", "0000000"}},
        // Even side: radius 2 around the table's centre, cut to the band rows
        // and columns 0..3.
        {"circle 4 in 5", 5, 4, CMorphSE::kCircle, {"00100", "01110", "11110", "01110", "00000"}},
        {"circle 1", 1, 1, CMorphSE::kCircle, {"1"}},
    };
    for (const auto& c : cases) {
        CMorphSE se(static_cast<int16_t>(c.n), CMorphSE::kCustom);
        se.DrawCentred(c.m, c.shape);
        EXPECT_EQ(RowsOf(se), c.rows) << c.what;
        EXPECT_EQ(se.shape, c.shape) << c.what;
        if (c.m == c.n) {
            // The constructor and both Resize forms draw the same full-size shape.
            EXPECT_EQ(RowsOf(CMorphSE(static_cast<int16_t>(c.n), c.shape)), c.rows) << c.what;
            CMorphSE resized(9, CMorphSE::kSquare);
            resized.Resize(static_cast<int16_t>(c.n), c.shape);
            EXPECT_EQ(RowsOf(resized), c.rows) << c.what;
            EXPECT_EQ(resized.shape, c.shape) << c.what;
        }
    }
}

TEST(MorphSE, DrawCentredClearsFirstAndRefusesALargerShape) {
    CMorphSE se(5, CMorphSE::kSquare);
    se.DrawCentred(1, CMorphSE::kCross);
    EXPECT_EQ(RowsOf(se), (std::vector<std::string>{"00000", "00000", "00100", "00000", "00000"}));
    se.Resize(5, CMorphSE::kX);
    se.DrawCentred(6, CMorphSE::kSquare);
    EXPECT_EQ(RowsOf(se), RowsOf(CMorphSE(5, CMorphSE::kX)));
    EXPECT_EQ(se.shape, CMorphSE::kX);
}

TEST(MorphSE, SetShapeWithAbsurdArgumentsStaysInTheTable) {
    // A side far beyond the table and an offset far outside it: the band
    // covers the table, the radius covers every cell.
    CMorphSE se(5, CMorphSE::kCustom);
    se.SetShape(1000001, 2 - 500000, CMorphSE::kCircle);
    EXPECT_EQ(RowsOf(se), RowsOf(CMorphSE(5, CMorphSE::kSquare)));
    se.SetShape(INT_MAX, -1000, CMorphSE::kCross);
    EXPECT_EQ(RowsOf(se), RowsOf(CMorphSE(5, CMorphSE::kCross)));
    se.SetShape(INT_MAX, 3, CMorphSE::kSquare);
    EXPECT_EQ(RowsOf(se), (std::vector<std::string>{"00000", "00000", "00000", "00011", "00011"}));
    // Not a shape: an empty, edited table.
    se.SetShape(5, 0, 7);
    EXPECT_EQ(RowsOf(se), RowsOf(CMorphSE(5, CMorphSE::kCustom)));
    EXPECT_EQ(se.shape, CMorphSE::kCustom);
}

TEST(MorphSE, CellsOutsideTheTable) {
    CMorphSE se(3, CMorphSE::kCross);
    for (const auto& [r, c] : std::vector<std::pair<int, int>>{
             {-1, 0}, {0, -1}, {3, 0}, {0, 3}, {INT_MAX, 1}, {1, INT_MIN}}) {
        EXPECT_EQ(se.GetCell(r, c), 255) << r << "," << c;
        se.SetCell(r, c, 1);
    }
    EXPECT_EQ(RowsOf(se), RowsOf(CMorphSE(3, CMorphSE::kCross)));
    EXPECT_EQ(se.shape, CMorphSE::kCross);  // nothing was edited

    se.SetCell(0, 0, 7);  // any non-zero value is a member
    se.SetCell(1, 1, 0);
    EXPECT_EQ(se.GetCell(0, 0), 1);
    EXPECT_EQ(se.shape, CMorphSE::kCustom);
    EXPECT_EQ(RowsOf(se), (std::vector<std::string>{"110", "101", "010"}));

    const CMorphSE none;
    EXPECT_FALSE(none.HasCells());
    EXPECT_EQ(none.GetCell(0, 0), 255);
    const CMorphSE negative(-4, CMorphSE::kSquare);
    EXPECT_EQ(negative.size, 0);
    EXPECT_FALSE(negative.HasCells());
}

TEST(MorphSE, ResizeEmptiesAndCopiesAreIndependent) {
    CMorphSE se(5, CMorphSE::kCircle);
    CMorphSE copy(se);
    CMorphSE other;
    other.CopyFrom(se);
    se.Resize(3);
    EXPECT_EQ(se.size, 3);
    EXPECT_EQ(se.shape, CMorphSE::kCustom);
    EXPECT_EQ(RowsOf(se), (std::vector<std::string>{"000", "000", "000"}));
    for (const CMorphSE* kept : {&copy, &other}) {
        EXPECT_EQ(kept->size, 5);
        EXPECT_EQ(kept->shape, CMorphSE::kCircle);
        EXPECT_EQ(RowsOf(*kept), RowsOf(CMorphSE(5, CMorphSE::kCircle)));
    }
}

TEST(MorphSE, CentreOnly) {
    for (int n : {1, 4, 5}) {
        CMorphSE se(static_cast<int16_t>(n), CMorphSE::kSquare);
        se.CentreOnly();
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
                EXPECT_EQ(se.GetCell(r, c), r == n / 2 && c == n / 2 ? 1 : 0) << n;
        EXPECT_EQ(se.shape, CMorphSE::kCustom) << n;
    }
    CMorphSE none;
    none.CentreOnly();
    EXPECT_FALSE(none.HasCells());
}

TEST(MorphSE, Rotate90TurnsCounterClockwiseAboutTheCentre) {
    const struct {
        const char* what;
        std::vector<std::string> before, after;
    } cases[] = {
        {"right of centre goes up", {"000", "001", "000"}, {"010", "000", "000"}},
        {"top row becomes the left column", {"111", "000", "000"}, {"100", "100", "100"}},
        {"corner",
         {"00000", "00000", "00000", "00000", "00001"},
         {"00001", "00000", "00000", "00000", "00000"}},
        // Even side: the 3 x 3 square around (2, 2) turns, row 0 and column 0 stay.
        {"even, right of centre",
         {"0000", "0000", "0001", "0000"},
         {"0000", "0010", "0000", "0000"}},
        {"even, first row and column kept",
         {"1100", "1000", "0000", "0000"},
         {"1100", "1000", "0000", "0000"}},
        {"even, square corner", {"0000", "0000", "0000", "0001"}, {"0000", "0001", "0000", "0000"}},
    };
    for (const auto& c : cases) {
        CMorphSE se = FromRows(c.before);
        se.Rotate90();
        EXPECT_EQ(RowsOf(se), c.after) << c.what;
    }
}

TEST(MorphSE, FourQuarterTurnsAreTheIdentity) {
    std::mt19937 rng(17);
    for (int n = 1; n <= 10; ++n) {
        CMorphSE se(static_cast<int16_t>(n), CMorphSE::kCustom);
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c) se.SetCell(r, c, rng() % 2);
        const std::vector<std::string> start = RowsOf(se);
        for (int turn = 0; turn < 4; ++turn) se.Rotate90();
        EXPECT_EQ(RowsOf(se), start) << n;
        // A single turn is not the identity on a pattern without that symmetry.
        if (n >= 3) {
            CMorphSE one = FromRows(std::vector<std::string>(n, std::string(n, '0')));
            one.SetCell(n / 2, n - 1, 1);
            one.Rotate90();
            EXPECT_EQ(one.GetCell(n / 2, n - 1), 0) << n;
            EXPECT_EQ(one.GetCell(n % 2 ? 0 : 1, n / 2), 1) << n;
        }
    }
}

TEST(MorphSE, ThickeningElements) {
    const struct {
        int type, kind;
        std::vector<std::string> rows;
    } cases[] = {
        {1, 1, {"111", "000", "000"}},
        {1, 2, {"000", "010", "111"}},
        {2, 1, {"000", "001", "011"}},
        {2, 2, {"110", "110", "000"}},
    };
    for (const auto& c : cases) {
        CMorphSE se(7, CMorphSE::kSquare);
        se.MakeThickeningElement(c.type, c.kind);
        EXPECT_EQ(se.size, 3);
        EXPECT_EQ(RowsOf(se), c.rows) << c.type << "/" << c.kind;
        EXPECT_EQ(se.shape, CMorphSE::kCustom);
    }
    for (const auto& [type, kind] :
         std::vector<std::pair<int, int>>{{0, 1}, {3, 1}, {1, 0}, {2, 3}}) {
        CMorphSE se(5, CMorphSE::kX);
        se.MakeThickeningElement(type, kind);
        EXPECT_EQ(RowsOf(se), RowsOf(CMorphSE(5, CMorphSE::kX))) << type << "/" << kind;
    }
}

}  // namespace
}  // namespace vistrel
