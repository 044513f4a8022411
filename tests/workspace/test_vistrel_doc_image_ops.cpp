// Image commands of a document: rotations, flips, depth, equalisation, ROI crops, comments and new
// windows.

#include "vistrel_doc_fixture.h"

namespace vistrel {
namespace {

TEST_F(DocCommandTest, RotationsTurnImagesAndAnnotationsTogether) {
    auto doc = MakeNumbered(12, 8);
    doc->regions.Add(Square(1, 1, 4, 3));
    doc->rosRegions.Add(Square(6, 2, 10, 6));
    const std::string regionBefore = doc->regions.At(0)->ToText();
    const std::string rosBefore = doc->rosRegions.At(0)->ToText();
    int notified = 0;
    QObject::connect(&app.Notifier(), &CNotifier::imageChanged, [&](CVistrelDoc*) { ++notified; });
    CUpdateLog log(*doc);

    ASSERT_TRUE(doc->OnRotate(kRotateClockwise));
    EXPECT_EQ(doc->image.width, 8);
    EXPECT_EQ(doc->image.height, 12);
    // Clockwise: the top row is the source's left column read bottom to top.
    EXPECT_EQ(Row(doc->image, 0), (std::vector<int>{71, 61, 51, 41, 31, 21, 11, 1}));
    EXPECT_EQ(doc->originalImage.width, 8);
    EXPECT_EQ(doc->originalImage.GetPixel(0, 0), 1071);
    // The region's top-left pixel (1, 1) lands at (H - 1 - 1, 1) = (6, 1).
    EXPECT_EQ(doc->regions.At(0)->Bounds().right - 1, 6);
    EXPECT_EQ(doc->regions.At(0)->Bounds().top, 1);
    EXPECT_EQ(log.codes, (std::vector<int>{kUpdateImage, kUpdateAnnotations}));
    EXPECT_EQ(notified, 1);

    ASSERT_TRUE(doc->OnRotate(kRotateCounterClockwise));
    EXPECT_EQ(doc->image.width, 12);
    EXPECT_EQ(Row(doc->image, 0)[11], 12);
    EXPECT_EQ(doc->regions.At(0)->ToText(), regionBefore);
    EXPECT_EQ(doc->rosRegions.At(0)->ToText(), rosBefore);

    ASSERT_TRUE(doc->OnRotate(kRotate180));
    EXPECT_EQ(doc->image.GetPixel(0, 0), 1 + 11 + 70);
    ASSERT_TRUE(doc->OnRotate(kRotate180));
    EXPECT_EQ(doc->regions.At(0)->ToText(), regionBefore);

    EXPECT_FALSE(doc->OnRotate(45));
    EXPECT_EQ(doc->image.GetPixel(0, 0), 1);
}

TEST_F(DocCommandTest, FlipsMirrorImagesAndAnnotationsAndEndTheOpeningMirror) {
    auto doc = MakeNumbered(12, 8);
    doc->autoFlipped = true;
    doc->regions.Add(Square(1, 2, 4, 3));
    ASSERT_TRUE(doc->OnFlipVertical());
    EXPECT_TRUE(doc->autoFlipped);  // only the horizontal flip undoes the opening mirror
    EXPECT_EQ(doc->image.GetPixel(0, 0), 71);
    EXPECT_EQ(doc->originalImage.GetPixel(0, 0), 1071);
    EXPECT_EQ(doc->regions.At(0)->Bounds().top, 8 - 1 - 3);

    ASSERT_TRUE(doc->OnFlipHorizontal());
    EXPECT_FALSE(doc->autoFlipped);
    EXPECT_EQ(doc->image.GetPixel(0, 0), 82);
    EXPECT_EQ(doc->originalImage.GetPixel(0, 0), 1082);
    EXPECT_EQ(doc->regions.At(0)->Bounds().left, 12 - 1 - 4);
}

TEST_F(DocCommandTest, DepthCommandsRederiveTheDisplayAndClampTheWindow) {
    struct Case {
        int depth;
        int expectedMax;
        int expectedShift;
        int expectedPixel;  // of source sample 0x0ABC
        int expectedLow, expectedHigh;
    } cases[] = {
        {16, 65535, 8, 0x0ABC, 1000, 4095},
        {14, 16383, 6, 0x0ABC, 1000, 4095},
        {8, 255, 0, 0xAB, 254, 255},  // the top eight of the twelve bits
    };
    for (const Case& c : cases) {
        auto doc = MakeDoc(2, 1, 12);
        doc->image.SetPixel(0, 0, 0x0ABC);
        DeriveDisplayBits(12, doc->displayShift, doc->displayDepth);
        doc->windowLow = 1000;
        doc->windowHigh = 4095;
        EXPECT_TRUE(doc->CanChangeDepth());
        EXPECT_TRUE(doc->IsDepthChecked(12));
        ASSERT_TRUE(doc->OnSetDepth(c.depth)) << c.depth;
        EXPECT_EQ(doc->image.depth, c.depth);
        EXPECT_TRUE(doc->IsDepthChecked(c.depth));
        EXPECT_EQ(doc->image.maxValue, c.expectedMax) << c.depth;
        EXPECT_EQ(doc->displayDepth, 8) << c.depth;
        EXPECT_EQ(doc->displayShift, c.expectedShift) << c.depth;
        EXPECT_EQ(doc->image.GetPixel(0, 0), c.expectedPixel) << c.depth;
        EXPECT_EQ(doc->windowLow, c.expectedLow) << c.depth;
        EXPECT_EQ(doc->windowHigh, c.expectedHigh) << c.depth;
    }
    // 8-bit images have no depth commands, nor byte swapping.
    auto narrow = MakeDoc(2, 1, 8);
    narrow->image.SetPixel(0, 0, 7);
    EXPECT_FALSE(narrow->CanChangeDepth());
    EXPECT_FALSE(narrow->OnSetDepth(16));
    EXPECT_FALSE(narrow->OnSwapBytes());
    EXPECT_EQ(narrow->image.depth, 8);
    EXPECT_EQ(narrow->image.GetPixel(0, 0), 7);
    ASSERT_TRUE(narrow->OnReverse());
    EXPECT_EQ(narrow->image.GetPixel(0, 0), 248);

    auto deep = MakeDoc(1, 1, 12);
    deep->image.SetPixel(0, 0, 0x0102);
    ASSERT_TRUE(deep->OnSwapBytes());
    EXPECT_EQ(static_cast<uint16_t>(deep->image.GetPixel(0, 0)), 0x0201);
    EXPECT_FALSE(deep->OnSetDepth(10));  // not one of the menu depths
}

TEST_F(DocCommandTest, EqualisationWithARoiAsksAndCarriesTheRoiOver) {
    CVistrelDoc* source = OpenSource();
    ASSERT_NE(source, nullptr);
    const CRect roi{5, 5, 15, 12};

    ui.radioOk = false;
    EXPECT_EQ(source->OnEqualizeHistogram(roi), nullptr);
    ASSERT_EQ(ui.radioTitles.size(), 1u);
    EXPECT_EQ(ui.radioTitles[0], "Equalize histogram options");
    EXPECT_EQ(ui.radioOptions[0],
              (std::vector<std::string>{"Equalize the selected area only",
                                        "Equalize entire image based on the selected area"}));
    EXPECT_EQ(ui.radioInitial[0], 0);
    EXPECT_EQ(app.Documents().size(), 1u);

    ui.radioOk = true;
    ui.radioPick = 0;
    CVistrelDoc* area = source->OnEqualizeHistogram(roi);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->initialRoi, roi);
    EXPECT_EQ(area->image.GetPixel(0, 0), source->image.GetPixel(0, 0));  // outside: as it was
    EXPECT_EQ(area->image.GetPixel(39, 29), source->image.GetPixel(39, 29));
    EXPECT_NE(area->image.GetPixel(14, 11), source->image.GetPixel(14, 11));  // inside: spread
    EXPECT_EQ(area->image.GetPixel(14, 11), 4095);

    ui.radioPick = 1;
    CVistrelDoc* whole = source->OnEqualizeHistogram(roi);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->image.GetPixel(39, 29), 4095);  // brighter than the area: the top level

    // Without a ROI nothing is asked.
    CVistrelDoc* plain = source->OnEqualizeHistogram({});
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->initialRoi.IsEmpty());
    EXPECT_EQ(ui.radioTitles.size(), 3u);
}

TEST_F(DocCommandTest, CropRoiCutsInPlaceAndClearsTheSelection) {
    auto doc = MakeNumbered(12, 8);
    doc->regions.Add(Square(4, 3, 6, 5));
    doc->regions.Add(Square(0, 0, 1, 1));  // outside the crop
    CUpdateLog log(*doc);
    EXPECT_FALSE(doc->OnCropRoi({20, 20, 30, 30}));
    EXPECT_EQ(doc->image.width, 12);

    ASSERT_TRUE(doc->OnCropRoi({3, 2, 20, 7}));  // clipped to 3..12 x 2..7
    EXPECT_EQ(doc->image.width, 9);
    EXPECT_EQ(doc->image.height, 5);
    EXPECT_EQ(doc->image.GetPixel(0, 0), 1 + 3 + 20);
    EXPECT_EQ(doc->originalImage.GetPixel(0, 0), 1001 + 3 + 20);
    EXPECT_EQ(doc->originX, 3);
    EXPECT_EQ(doc->originY, 2);
    EXPECT_EQ(doc->originalWidth, 12);
    EXPECT_EQ(doc->originalHeight, 8);
    ASSERT_EQ(doc->regions.Count(), 1);
    EXPECT_EQ(doc->regions.At(0)->StartX(), 1);
    EXPECT_NE(std::find(log.codes.begin(), log.codes.end(), kUpdateGeometryRoi), log.codes.end());
    EXPECT_EQ(doc->image.GetHistogram().ComputeTotal(), 9 * 5);  // no stale histogram
}

TEST_F(DocCommandTest, OpenRoiTakesTheSrdmSquareAndKeepsTrueValues) {
    auto doc = MakeDoc(600, 550, 12);
    doc->image.valueOffset = 100;
    doc->image.SetPixel(20, 10, 777);
    struct Case {
        CRect roi;
        int mode;
        int width, height;
    } cases[] = {
        {{20, 10, 30, 40}, kMouseRoi, 10, 30},
        {{20, 10, 30, 40}, kMouseSrdmRoi, 512, 512},
        {{100, 100, 130, 140}, kMouseSrdmRoi, 500, 450},  // the square is clipped to the image
        {{590, 540, 700, 700}, kMouseRoi, 10, 10},
    };
    for (const Case& c : cases) {
        CVistrelDoc* opened = doc->OnOpenRoiInNewWindow(c.roi, c.mode);
        ASSERT_NE(opened, nullptr) << c.mode;
        EXPECT_EQ(opened->image.width, c.width) << c.roi.left << " mode " << c.mode;
        EXPECT_EQ(opened->image.height, c.height) << c.roi.left << " mode " << c.mode;
        EXPECT_EQ(opened->image.valueOffset, 100);
        EXPECT_EQ(opened->originX, c.roi.left);
    }
    EXPECT_EQ(app.Documents().back()->image.GetPixel(0, 0), 0);
    EXPECT_EQ(app.Documents().front()->image.GetPixel(0, 0), 777);
    EXPECT_EQ(doc->OnOpenRoiInNewWindow({}, kMouseSrdmRoi), nullptr);
    EXPECT_EQ(doc->OnOpenRoiInNewWindow({700, 700, 710, 710}, kMouseRoi), nullptr);
}

TEST_F(DocCommandTest, SwappingTheOriginalRederivesBitsAndClampsTheWindow) {
    auto doc = MakeDoc(4, 4, 12);
    DeriveDisplayBits(12, doc->displayShift, doc->displayDepth);
    doc->windowLow = 1000;
    doc->windowHigh = 4000;
    EXPECT_FALSE(doc->SwapOriginalImage());  // no original
    doc->originalImage.Create(4, 4, 8, 1);
    doc->originalImage.SetPixel(1, 1, 9);
    CUpdateLog log(*doc);
    ASSERT_TRUE(doc->SwapOriginalImage());
    EXPECT_EQ(doc->image.depth, 8);
    EXPECT_EQ(doc->image.GetPixel(1, 1), 9);
    EXPECT_EQ(doc->originalImage.depth, 12);
    EXPECT_EQ(doc->displayShift, 0);
    EXPECT_EQ(doc->windowLow, 254);
    EXPECT_EQ(doc->windowHigh, 255);
    EXPECT_EQ(log.codes, (std::vector<int>{kUpdateImage}));
}

TEST_F(DocCommandTest, CommentsAreAppendedOnALineOfTheirOwn) {
    auto doc = MakeDoc(2, 2, 8);
    doc->pathName = "/x/scan.pgx";
    CUpdateLog log(*doc);
    ui.textAnswer = "first";
    ASSERT_TRUE(doc->OnAddComment());
    ui.textAnswer = "second";
    ASSERT_TRUE(doc->OnAddComment());
    EXPECT_EQ(doc->description, "first\nsecond");
    ui.textAnswer = "";
    EXPECT_FALSE(doc->OnAddComment());
    ui.textAnswer = "third";
    ui.textOk = false;
    EXPECT_FALSE(doc->OnAddComment());
    EXPECT_EQ(doc->description, "first\nsecond");
    EXPECT_EQ(log.codes, (std::vector<int>{kUpdateDescription, kUpdateDescription}));
}

TEST_F(DocCommandTest, NewWindowShowsTheSameImageUnderTheNextNumber) {
    CVistrelDoc* source = OpenSource();
    ASSERT_NE(source, nullptr);
    source->regions.Add(Square(2, 2, 6, 6));
    CVistrelDoc* copy = source->OnNewWindow();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->number, 2);
    EXPECT_TRUE(copy->image.IsEqual(source->image));
    EXPECT_EQ(copy->regions.Count(), 1);
}

}  // namespace
}  // namespace vistrel
