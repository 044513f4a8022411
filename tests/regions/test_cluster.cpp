#include "regions/cluster.h"

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

std::unique_ptr<CCluster> MakeCluster(std::initializer_list<CPoint> points) {
    auto c = std::make_unique<CCluster>();
    for (CPoint p : points) c->AddPoint(p.x, p.y);
    return c;
}

}  // namespace

TEST(Cluster, BoundsCentroidAndTextFollowThePoints) {
    auto c = MakeCluster({{10, 20}, {13, 21}, {11, 26}});
    EXPECT_EQ(c->Bounds(), (CRect{10, 20, 14, 27}));
    // Integer means: 34 / 3 and 67 / 3.
    EXPECT_EQ(c->Centroid(), (CPoint{11, 22}));
    EXPECT_EQ(c->ToText(), "[(10,20), (13,21), (11,26)]; ");
    c->AddPoint(2, 40);
    EXPECT_EQ(c->Bounds(), (CRect{2, 20, 14, 41}));
    EXPECT_EQ(c->Centroid(), (CPoint{9, 26}));
}

TEST(Cluster, EmptyCluster) {
    CCluster c;
    EXPECT_EQ(c.ToText(), "[]; ");
    EXPECT_TRUE(c.Bounds().IsEmpty());
    EXPECT_EQ(c.Centroid(), (CPoint{0, 0}));
}

TEST(Cluster, IterationVisitsThePointsThenResets) {
    auto c = MakeCluster({{1, 2}, {3, 4}});
    CPoint p;
    ASSERT_TRUE(c->Next(p));
    EXPECT_EQ(p, (CPoint{1, 2}));
    ASSERT_TRUE(c->Next(p));
    EXPECT_EQ(p, (CPoint{3, 4}));
    EXPECT_FALSE(c->Next(p));
    ASSERT_TRUE(c->Next(p));
    EXPECT_EQ(p, (CPoint{1, 2}));
}

TEST(Clusters, CropToRemovesClustersOutsideAndMovesTheOthers) {
    CClusters clusters;
    clusters.Add(MakeCluster({{20, 20}, {30, 25}}));  // inside
    clusters.Add(MakeCluster({{5, 5}, {6, 6}}));      // outside
    clusters.Add(MakeCluster({{45, 20}, {55, 22}}));  // across the right edge
    clusters.Add(std::make_unique<CCluster>());       // empty
    EXPECT_EQ(clusters.Add(nullptr), nullptr);
    const CClusters copy(clusters);
    EXPECT_EQ(clusters.CropTo({10, 10, 50, 50}), 3);
    ASSERT_EQ(clusters.Count(), 1);
    EXPECT_EQ(clusters.At(0)->ToText(), "[(10,10), (20,15)]; ");
    ASSERT_EQ(copy.Count(), 4) << "copies are independent";
    EXPECT_EQ(copy.At(0)->ToText(), "[(20,20), (30,25)]; ");
}

TEST(ClusterRegion, HoldsMembersOutlineAndNumber) {
    CClusterRegion cluster;
    cluster.number = 3;
    cluster.outline = CRegion("10 10 2244660");
    cluster.outline.clusterNumber = 1003;
    CRegion member("11 11 2460");
    member.clusterNumber = 3;
    cluster.members.Add(member);
    const CClusterRegion copy = cluster;
    EXPECT_EQ(copy.members.Count(), 1);
    EXPECT_TRUE(copy.outline.IsEqual(cluster.outline));
    EXPECT_TRUE(copy.members.At(0)->LiesInside(copy.outline));
}
