#include "regions/equivalence_set.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(EquivalenceSet, TracksSmallestLabelAndIgnoresDuplicates) {
    CEquivalenceSet set;
    EXPECT_EQ(set.Smallest(), -1);
    set.Insert(7);
    set.Insert(3);
    set.Insert(7);
    set.Insert(12);
    EXPECT_EQ(set.Smallest(), 3);
    EXPECT_EQ(set.Size(), 3u);
    EXPECT_TRUE(set.Contains(12));
    EXPECT_FALSE(set.Contains(4));
}

TEST(EquivalenceSet, AbsorbMovesEveryLabelAndEmptiesTheOther) {
    CEquivalenceSet a, b;
    a.Insert(5);
    a.Insert(9);
    b.Insert(2);
    b.Insert(9);
    b.Insert(11);
    a.Absorb(b);
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.Smallest(), -1);
    EXPECT_EQ(a.Size(), 4u);
    EXPECT_EQ(a.Smallest(), 2);
    for (int label : {2, 5, 9, 11}) EXPECT_TRUE(a.Contains(label)) << label;
}
