// Results opened in new windows: numbering, the source's state, original images and ROI cuts.

#include "vistrel_doc_fixture.h"

namespace vistrel {
namespace {

TEST_F(DocNewWindowTest, ResultGetsTheNextNumberAndTheSourceState) {
    CVistrelDoc* source = OpenSource();
    ASSERT_NE(source, nullptr);
    source->resolution = 300.0f;
    source->subtlety = 3;
    source->windowLow = 100;
    source->windowHigh = 4000;  // beyond the 8-bit result's range
    source->regions.Add(Square(2, 2, 6, 6));
    const auto recentBefore = app.RecentFiles();

    auto result = std::make_unique<CMImage>(40, 30, 8);
    result->SetPixel(3, 4, 200);
    CVistrelDoc* doc = source->OpenImageInNewWindow(std::move(result));
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(app.Documents().size(), 2u);
    EXPECT_EQ(ui.opened.back(), doc);
    EXPECT_EQ(doc->number, 2);
    EXPECT_EQ(doc->Title().toStdString(), "source.pgx @ 100.0 % : 2");
    EXPECT_EQ(doc->pathName, source->pathName);
    EXPECT_EQ(app.RecentFiles(), recentBefore);
    EXPECT_EQ(doc->image.GetPixel(3, 4), 200);
    EXPECT_EQ(doc->displayDepth, 8);
    EXPECT_EQ(doc->displayShift, 0);
    EXPECT_EQ(doc->windowLow, 100);
    EXPECT_EQ(doc->windowHigh, 255);
    EXPECT_FLOAT_EQ(doc->resolution, 300.0f);
    EXPECT_EQ(doc->subtlety, 3);
    EXPECT_EQ(doc->description, source->description);
    ASSERT_EQ(doc->regions.Count(), 1);
    EXPECT_EQ(doc->regions.At(0)->StartX(), source->regions.At(0)->StartX());
    EXPECT_EQ(doc->originX, 0);
    EXPECT_EQ(doc->originalWidth, 0);
    // The source is left as it was.
    EXPECT_EQ(source->image.depth, 12);
    EXPECT_EQ(source->windowHigh, 4000);
    EXPECT_EQ(source->regions.Count(), 1);
}

TEST_F(DocNewWindowTest, OriginalImageFollowsThePolicyUnlessOneIsGiven) {
    CVistrelDoc* source = OpenSource();
    ASSERT_NE(source, nullptr);
    const int16_t imagePixel = source->image.GetPixel(5, 5);
    struct Case {
        int policy;
        bool sourceHasOriginal;
        bool giveOriginal;
        int expectedAdd;  // -1: no original image
    } cases[] = {
        {kOriginalCurrent, false, false, 0},  // the current image
        {kOriginalCurrent, true, false, 7},   // the source's own original
        {kOriginalPrevious, true, false, 0},  // the current image even with an original
        {kOriginalEmpty, true, false, -1},    // none
        {kOriginalEmpty, false, true, 11},    // a given original wins over the policy
        {kOriginalPrevious, false, true, 11},
    };
    for (const Case& c : cases) {
        app.originalPolicy = c.policy;
        source->originalImage.Free();
        if (c.sourceHasOriginal) source->originalImage = *Shifted(*source, 7);
        CVistrelDoc* doc = source->OpenImageInNewWindow(
            Shifted(*source, 1), c.giveOriginal ? Shifted(*source, 11) : nullptr);
        ASSERT_NE(doc, nullptr) << c.policy;
        if (c.expectedAdd < 0) {
            EXPECT_FALSE(doc->originalImage.IsValid()) << "policy " << c.policy;
        } else {
            ASSERT_TRUE(doc->originalImage.IsValid()) << "policy " << c.policy;
            EXPECT_EQ(doc->originalImage.GetPixel(5, 5), imagePixel + c.expectedAdd)
                << "policy " << c.policy << " source original " << c.sourceHasOriginal;
        }
        EXPECT_EQ(doc->image.GetPixel(5, 5), imagePixel + 1);
    }
}

TEST_F(DocNewWindowTest, OriginalOfAnotherSizeIsNotShownBehindTheResult) {
    CVistrelDoc* source = OpenSource();
    ASSERT_NE(source, nullptr);
    app.originalPolicy = kOriginalCurrent;
    // A result of another size: neither the given original nor the policy's fits.
    CVistrelDoc* doc = source->OpenImageInNewWindow(std::make_unique<CMImage>(20, 10, 12),
                                                    std::make_unique<CMImage>(40, 30, 12));
    ASSERT_NE(doc, nullptr);
    EXPECT_FALSE(doc->originalImage.IsValid());
}

TEST_F(DocNewWindowTest, RoiCutsAccumulateOriginsAndMoveTheAnnotations) {
    CVistrelDoc* source = OpenSource();
    ASSERT_NE(source, nullptr);
    app.originalPolicy = kOriginalCurrent;
    source->regions.Add(Square(12, 8, 16, 12));  // inside the first ROI
    source->regions.Add(Square(1, 1, 4, 4));     // outside it
    source->rosRegions.Add(Square(20, 10, 25, 14));

    const CRect first{10, 5, 30, 25};
    CVistrelDoc* a = source->OpenImageInNewWindow(source->image.SubImage(first), nullptr, first);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->originX, 10);
    EXPECT_EQ(a->originY, 5);
    EXPECT_EQ(a->originalWidth, 40);
    EXPECT_EQ(a->originalHeight, 30);
    ASSERT_EQ(a->regions.Count(), 1);
    EXPECT_EQ(a->regions.At(0)->StartX(), 2);
    EXPECT_EQ(a->regions.At(0)->StartY(), 3);
    ASSERT_EQ(a->rosRegions.Count(), 1);
    EXPECT_EQ(a->rosRegions.At(0)->StartX(), 10);
    // The policy's original is cut to the same rectangle.
    ASSERT_TRUE(a->originalImage.IsValid());
    EXPECT_EQ(a->originalImage.width, 20);
    EXPECT_EQ(a->originalImage.GetPixel(0, 0), source->image.GetPixel(10, 5));

    // A ROI of the ROI: origins add up, the size stays that of the first image.
    const CRect second{1, 2, 15, 16};
    CVistrelDoc* b = a->OpenImageInNewWindow(a->image.SubImage(second), nullptr, second);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->originX, 11);
    EXPECT_EQ(b->originY, 7);
    EXPECT_EQ(b->originalWidth, 40);
    EXPECT_EQ(b->originalHeight, 30);
    ASSERT_EQ(b->regions.Count(), 1);
    EXPECT_EQ(b->regions.At(0)->StartX(), 1);
    EXPECT_EQ(b->image.GetPixel(0, 0), source->image.GetPixel(11, 7));
    EXPECT_EQ(b->number, 3);

    // keepAnnotations without a ROI keeps the origin of a cut-out document.
    CVistrelDoc* c =
        b->OpenImageInNewWindow(std::make_unique<CMImage>(b->image), nullptr, {}, true);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->originX, 11);
    EXPECT_EQ(c->originalWidth, 40);
    EXPECT_EQ(c->regions.Count(), 1);
}

TEST_F(DocNewWindowTest, NoResultOrNoWindowOpensNothingAndSaysSo) {
    CVistrelDoc* source = OpenSource();
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->OpenImageInNewWindow(nullptr), nullptr);
    EXPECT_EQ(source->OpenImageInNewWindow(std::make_unique<CMImage>()), nullptr);
    EXPECT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(sink.shown.size(), 2u);

    ui.openWindows = false;
    EXPECT_EQ(source->OpenImageInNewWindow(std::make_unique<CMImage>(source->image)), nullptr);
    EXPECT_EQ(app.Documents().size(), 1u);
    EXPECT_EQ(sink.shown.size(), 3u);
    EXPECT_EQ(ui.closed.size(), 1u);
}

}  // namespace
}  // namespace vistrel
