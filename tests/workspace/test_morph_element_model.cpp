#include "workspace/morph_element_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace vistrel {
namespace {

// Member cells of an element as (row, col) pairs, row-major.
std::vector<std::pair<int, int>> Members(const CMorphSE& se) {
    std::vector<std::pair<int, int>> members;
    for (int r = 0; r < se.size; ++r)
        for (int c = 0; c < se.size; ++c)
            if (se.GetCell(r, c) == 1) members.emplace_back(r, c);
    return members;
}

TEST(MorphElementModel, SizeStaysOddMovingOnInTheDirectionOfTheChange) {
    struct Case {
        int from, entered, expected;
    } cases[] = {
        {3, 4, 5},      // spin up from 3
        {5, 4, 3},      // spin down from 5
        {3, 6, 7},      // typed even above: further up
        {7, 2, 1},      // typed even below: further down
        {3, 9, 9},      // odd entries stand
        {3, 0, 1},      // never below one cell
        {3, -7, 1},     //
        {49, 50, 51},   // up to the largest size
        {51, 52, 51},   // and no further
        {3, 1000, 51},  //
        {51, 50, 49},   //
    };
    for (const Case& c : cases) {
        CMorphElementModel model(CMorphSE(3, CMorphSE::kSquare), 1, 1.0);
        model.SetSize(c.from);
        ASSERT_EQ(model.Size(), c.from);
        model.SetSize(c.entered);
        EXPECT_EQ(model.Size(), c.expected) << c.from << " -> " << c.entered;
    }
}

TEST(MorphElementModel, CentimetresFollowTheResolution) {
    struct Case {
        double resolution;
        int size;
        const char* cm;
        const char* label;
    } cases[] = {
        {254.0, 5, "0.05", "Active image resolution = 100.00 microns/pixel"},
        {600.0, 11, "0.05", "Active image resolution = 42.33 microns/pixel"},
        {1.0, 3, "7.62", "Active image resolution = 25400.00 microns/pixel"},
        // A resolution that cannot convert counts as one pixel per inch.
        {0.0, 3, "7.62", "Active image resolution = 25400.00 microns/pixel"},
        {-300.0, 3, "7.62", "Active image resolution = 25400.00 microns/pixel"},
        {std::nan(""), 3, "7.62", "Active image resolution = 25400.00 microns/pixel"},
    };
    for (const Case& c : cases) {
        CMorphElementModel model(CMorphSE(3, CMorphSE::kSquare), 1, c.resolution);
        model.SetSize(c.size);
        EXPECT_EQ(model.SizeCmText(), c.cm) << c.resolution;
        EXPECT_EQ(model.ResolutionText(), c.label) << c.resolution;
    }
}

TEST(MorphElementModel, EnteringCentimetresTruncatesAndMakesOdd) {
    struct Case {
        double resolution, cm;
        int expected;
    } cases[] = {
        {300.0, 0.1, 11},   // 11.81 pixels
        {300.0, 0.2, 23},   // 23.62
        {300.0, 0.09, 11},  // 10.63 -> 10, even -> 11
        {1.0, 20.0, 7},     // 7.87
        {300.0, 0.0, 1},    // 0 is even -> 1
        {300.0, -2.0, 1},   // negative lengths give the smallest element
        {300.0, 0.5, 51},   // 59 pixels: the largest size
        {300.0, 1e300, 51},
    };
    for (const Case& c : cases) {
        CMorphElementModel model(CMorphSE(3, CMorphSE::kSquare), 1, c.resolution);
        model.SetSizeCm(c.cm);
        EXPECT_EQ(model.Size(), c.expected) << c.cm << " cm at " << c.resolution;
    }
    CMorphElementModel model(CMorphSE(3, CMorphSE::kSquare), 1, 300.0);
    model.SetSize(9);
    model.SetSizeCm(std::numeric_limits<double>::quiet_NaN());
    model.SetSizeCm(std::numeric_limits<double>::infinity());
    EXPECT_EQ(model.Size(), 9);
}

TEST(MorphElementModel, OpensOnACopyWithAnOddSizeAndAValidCount) {
    const CMorphSE original(5, CMorphSE::kCircle);
    CMorphElementModel model(original, 4, 100.0);
    EXPECT_EQ(model.Size(), 5);
    EXPECT_EQ(model.Shape(), CMorphSE::kCircle);
    EXPECT_EQ(model.Iterations(), 4);
    model.OnClear();
    EXPECT_EQ(Members(original).size(), Members(CMorphSE(5, CMorphSE::kCircle)).size());

    CMorphSE custom(4, CMorphSE::kCustom);
    custom.SetCell(0, 0, 1);
    CMorphElementModel even(custom, 0, 1.0);
    EXPECT_EQ(even.Size(), 5);                   // the size field never shows an even size
    EXPECT_EQ(even.Shape(), CMorphSE::kSquare);  // an edited element offers a shape anyway
    EXPECT_EQ(even.Element().size, 4);           // the element itself waits for "Create"
    EXPECT_EQ(even.Iterations(), kMinMorphIterations);
    EXPECT_EQ(CMorphElementModel(custom, 500, 1.0).Iterations(), kMaxMorphIterations);
}

TEST(MorphElementModel, CreateDrawsTheChosenShapeAtTheEnteredSize) {
    struct Case {
        int elementSize;  // the element the dialog opened on
        int size;         // the size field
        int shape;
    } cases[] = {
        {3, 3, CMorphSE::kCross},   // same size: drawn into the table
        {3, 7, CMorphSE::kCircle},  // other size: table resized
        {9, 5, CMorphSE::kX},      {5, 5, CMorphSE::kSquare},
        {0, 3, CMorphSE::kCross},  // an element without cells
    };
    for (const Case& c : cases) {
        const CMorphSE opened =
            c.elementSize > 0 ? CMorphSE(int16_t(c.elementSize), CMorphSE::kCustom) : CMorphSE();
        CMorphElementModel model(opened, 1, 1.0);
        model.SetSize(c.size);
        model.SetShape(c.shape);
        model.OnCreate();
        const CMorphSE expected(int16_t(c.size), c.shape);
        EXPECT_EQ(model.Element().size, c.size) << c.elementSize << "->" << c.size;
        EXPECT_EQ(model.Element().shape, c.shape);
        EXPECT_EQ(Members(model.Element()), Members(expected)) << c.elementSize << "->" << c.size;
    }
}

TEST(MorphElementModel, ClearKeepsOnlyTheCentre) {
    CMorphElementModel model(CMorphSE(7, CMorphSE::kSquare), 1, 1.0);
    model.OnClear();
    EXPECT_EQ(Members(model.Element()), (std::vector<std::pair<int, int>>{{3, 3}}));

    // Without cells the entered size gives the table whose centre is kept.
    CMorphElementModel empty(CMorphSE(), 1, 1.0);
    empty.SetSize(5);
    empty.OnClear();
    EXPECT_EQ(empty.Element().size, 5);
    EXPECT_EQ(Members(empty.Element()), (std::vector<std::pair<int, int>>{{2, 2}}));
}

TEST(MorphElementModel, RotateTurnsCounterClockwise) {
    CMorphSE right(3, CMorphSE::kCustom);
    right.SetCell(1, 2, 1);  // the cell right of the centre
    CMorphElementModel model(right, 1, 1.0);
    const std::vector<std::vector<std::pair<int, int>>> turns = {
        {{0, 1}}, {{1, 0}}, {{2, 1}}, {{1, 2}}};  // up, left, down, right again
    for (const auto& expected : turns) {
        model.OnRotate90();
        EXPECT_EQ(Members(model.Element()), expected);
    }
}

TEST(MorphElementModel, GridEditsOnlyCellsOfTheElement) {
    CMorphElementModel model(CMorphSE(3, CMorphSE::kCross), 1, 1.0);
    model.SetSize(7);  // the field may already show a larger size than the element has
    model.SetCell(0, 0, true);
    model.SetCell(1, 1, false);
    EXPECT_EQ(Members(model.Element()),
              (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {1, 0}, {1, 2}, {2, 1}}));
    EXPECT_EQ(model.Element().shape, CMorphSE::kCustom);

    const std::vector<std::pair<int, int>> before = Members(model.Element());
    for (auto [r, c] : std::vector<std::pair<int, int>>{{3, 0}, {0, 3}, {5, 5}, {-1, 1}, {1, -1}})
        model.SetCell(r, c, true);
    EXPECT_EQ(Members(model.Element()), before);
    EXPECT_EQ(model.Element().size, 3);
}

TEST(MorphElementModel, IterationsAreValidatedToOneHundred) {
    struct Case {
        int entered;
        bool accepted;
        int kept;
    } cases[] = {{1, true, 1},  {100, true, 100}, {37, true, 37},
                 {0, false, 5}, {101, false, 5},  {-1, false, 5}};
    for (const Case& c : cases) {
        CMorphElementModel model(CMorphSE(3, CMorphSE::kSquare), 5, 1.0);
        EXPECT_EQ(model.SetIterations(c.entered), c.accepted) << c.entered;
        EXPECT_EQ(model.Iterations(), c.kept) << c.entered;
    }
}

}  // namespace
}  // namespace vistrel
