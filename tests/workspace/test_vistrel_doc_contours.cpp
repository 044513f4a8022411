// Contour correction of a document's regions: region growing and smoothing by scope.

#include "vistrel_doc_fixture.h"

namespace vistrel {
namespace {

// A 40x40 8-bit image with a bright 10x10 square at (5, 5) and a dim one at (25, 25).
class ContourCorrectionTest : public DocAnnotationTest {
  protected:
    void SetUp() override {
        DocAnnotationTest::SetUp();
        doc = MakeDoc(40, 40, 8);
        for (int y = 5; y < 15; ++y)
            for (int x = 5; x < 15; ++x) doc->image.SetPixel(x, y, 200);
        for (int y = 25; y < 35; ++y)
            for (int x = 25; x < 35; ++x) doc->image.SetPixel(x, y, 100);
    }
    std::unique_ptr<CVistrelDoc> doc;
};

TEST_F(ContourCorrectionTest, RegionGrowingUsesAndRemembersTheDialogValues) {
    doc->regions.Add(Square(8, 8, 11, 11));    // inside the bright square
    doc->regions.Add(Square(28, 28, 31, 31));  // inside the dim one
    EXPECT_EQ(doc->OnGrowContours(ContourScope::Selected, 0), 1);
    ASSERT_EQ(ui.growingShown.size(), 1u);
    EXPECT_EQ(ui.growingShown[0].maxAddedBounds, 5);
    EXPECT_DOUBLE_EQ(ui.growingShown[0].percent, 1.0);
    EXPECT_EQ(doc->regions.At(0)->Bounds(), (CRect{5, 5, 15, 15}));  // stopped at the edge
    EXPECT_EQ(doc->regions.At(1)->Bounds(), (CRect{28, 28, 32, 32}));

    CRegionGrowingModel oneRing;
    oneRing.maxAddedBounds = 1;
    oneRing.percent = 2.0;
    ui.growingAnswer = oneRing;
    EXPECT_EQ(doc->OnGrowContours(ContourScope::All, -1), 2);
    EXPECT_EQ(doc->regions.At(1)->Bounds(), (CRect{27, 27, 33, 33}));
    EXPECT_EQ(app.regionGrowing.maxAddedBounds, 1);
    EXPECT_DOUBLE_EQ(app.regionGrowing.fraction, 0.02);

    // The next dialog opens on the remembered values; Cancel changes nothing.
    ui.growingOk = false;
    EXPECT_EQ(doc->OnGrowContours(ContourScope::All, -1), 0);
    ASSERT_EQ(ui.growingShown.size(), 3u);
    EXPECT_EQ(ui.growingShown[2].maxAddedBounds, 1);
    EXPECT_DOUBLE_EQ(ui.growingShown[2].percent, 2.0);
    EXPECT_EQ(doc->regions.At(1)->Bounds(), (CRect{27, 27, 33, 33}));
}

TEST_F(ContourCorrectionTest, ScopesWithoutTheirSelectionAskNothing) {
    doc->regions.Add(Square(8, 8, 11, 11));  // cluster 0
    for (ContourScope scope : {ContourScope::Selected, ContourScope::SelectedCluster}) {
        EXPECT_EQ(doc->OnGrowContours(scope, scope == ContourScope::Selected ? 4 : 0), 0);
        EXPECT_EQ(doc->OnSmoothContours(scope, scope == ContourScope::Selected ? -1 : 0), 0);
    }
    EXPECT_TRUE(ui.growingShown.empty());
    EXPECT_TRUE(ui.radioTitles.empty());
    EXPECT_EQ(doc->regions.At(0)->Bounds(), (CRect{8, 8, 12, 12}));
}

TEST_F(ContourCorrectionTest, ClusterScopeTouchesOnlyThatCluster) {
    CRegion member = Square(8, 8, 11, 11);
    member.clusterNumber = 1;
    CRegion outline = Square(6, 6, 13, 13);
    outline.clusterNumber = 1001;
    CRegion other = Square(28, 28, 31, 31);
    other.clusterNumber = 2;
    for (const CRegion* r : {&member, &outline, &other}) doc->regions.Add(*r);
    ui.radioPick = 1;
    EXPECT_EQ(doc->OnSmoothContours(ContourScope::SelectedCluster, 1), 1);
    EXPECT_EQ(doc->regions.At(0)->Bounds(), (CRect{7, 7, 13, 13}));
    EXPECT_EQ(doc->regions.At(1)->Bounds(), (CRect{6, 6, 14, 14}));  // outline not dilated
    EXPECT_EQ(doc->regions.At(2)->Bounds(), (CRect{28, 28, 32, 32}));

    EXPECT_EQ(doc->OnGrowContours(ContourScope::SelectedCluster, 0), 2);  // via a member
    EXPECT_EQ(doc->regions.At(0)->Bounds(), (CRect{5, 5, 15, 15}));
    EXPECT_EQ(doc->regions.At(2)->Bounds(), (CRect{28, 28, 32, 32}));
}

TEST_F(ContourCorrectionTest, SmoothingChoosesTheElementAndStaysInTheImage) {
    doc->regions.Add(Square(0, 0, 3, 3));  // at the image corner
    doc->regions.Add(Square(20, 20, 23, 23));
    struct Case {
        int pick;
        bool cornerPixelAdded;  // (19, 19): only the square element reaches it
    } cases[] = {{0, false}, {1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pick);
        auto fresh = MakeDoc(40, 40, 8);
        fresh->regions = doc->regions;
        ui.radioPick = c.pick;
        EXPECT_EQ(fresh->OnSmoothContours(ContourScope::All, -1), 2);
        EXPECT_EQ(fresh->regions.At(0)->Bounds(), (CRect{0, 0, 5, 5}));
        EXPECT_EQ(fresh->regions.At(1)->Bounds(), (CRect{19, 19, 25, 25}));
        EXPECT_EQ(fresh->regions.At(1)->Contains(19, 19), c.cornerPixelAdded);
        EXPECT_EQ(app.dilation.element, c.pick);
    }
    ASSERT_EQ(ui.radioTitles.size(), 2u);
    EXPECT_EQ(ui.radioTitles[0], kStructuringElementTitle);
    EXPECT_EQ(ui.radioOptions[0], (std::vector<std::string>{"cross", "square"}));
    EXPECT_EQ(ui.radioInitial[1], 0);  // the first choice, cross, opened the second dialog

    ui.radioOk = false;
    EXPECT_EQ(doc->OnSmoothContours(ContourScope::All, -1), 0);
    EXPECT_EQ(doc->regions.At(1)->Bounds(), (CRect{20, 20, 24, 24}));
}

}  // namespace
}  // namespace vistrel
