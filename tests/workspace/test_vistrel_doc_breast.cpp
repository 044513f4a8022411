// The document's breast outline and mask: the SGT file beside the image and
// the SGT commands, the mask and the histogram under it, geometry and result
// windows keeping outline and mask aligned, segmentation, the toggle and the
// morphology operators.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "detection/breast_segment.h"
#include "filters/morphology.h"
#include "vistrel_doc_fixture.h"
#include "workspace/notifier.h"

namespace vistrel {
namespace {

namespace fs = std::filesystem;

constexpr int kW = 40;
constexpr int kH = 30;

// An outline that is not symmetric under any flip or turn of a 40 x 30 image.
const std::vector<CPoint> kOutline = {{4, 3},   {30, 3}, {30, 12}, {14, 12},
                                      {14, 24}, {4, 24}, {4, 3}};

std::string SgtText(const std::vector<CPoint>& points, int width = kW, int height = kH) {
    std::string text = std::to_string(width) + " " + std::to_string(height) + "\n\n" +
                       std::to_string(points.size()) + "\n";
    for (const CPoint& p : points) text += std::to_string(p.x) + " " + std::to_string(p.y) + "\n";
    return text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The image values under the mask, sorted: equal before and after a
// geometry change exactly when the mask moved with the pixels.
std::vector<int> ValuesUnderMask(const CVistrelDoc& doc) {
    std::vector<int> values;
    for (int y = 0; y < doc.breastMask.height; ++y)
        for (int x = 0; x < doc.breastMask.width; ++x)
            if (doc.breastMask.GetPixel(x, y)) values.push_back(doc.image.GetPixel(x, y));
    std::sort(values.begin(), values.end());
    return values;
}

int MaskCount(const CMImageBase& mask) {
    int count = 0;
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) count += mask.GetPixel(x, y) != 0;
    return count;
}

// True when the outline's bounding box holds the mask's, at most two pixels
// wider on each axis (the fill leaves the outline's first column and its top
// and bottom rows out). A mask that did not move with its outline misses by more.
// (Refilling a mirrored outline is no test: the fill is not mirror-symmetric.)
bool OutlineEnclosesMask(const CVistrelDoc& doc) {
    int x0 = doc.breastMask.width, y0 = doc.breastMask.height, x1 = -1, y1 = -1;
    for (int y = 0; y < doc.breastMask.height; ++y)
        for (int x = 0; x < doc.breastMask.width; ++x)
            if (doc.breastMask.GetPixel(x, y)) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    const CRect b = doc.breastSegment.Bounds();
    if (x1 < 0 || b.IsEmpty()) return false;
    const bool inside = b.left <= x0 && x1 <= b.right - 1 && b.top <= y0 && y1 <= b.bottom - 1;
    return inside && (x0 - b.left) + (b.right - 1 - x1) <= 2 &&
           (y0 - b.top) + (b.bottom - 1 - y1) <= 2;
}

class DocBreastTest : public DocCommandTest {
  protected:
    // A 12-bit 40 x 30 PGX whose pixel (x, y) is 1 + x + 40 y (every value
    // once), with `sgt` beside it when given.
    std::string WriteFilm(const std::string& name, const std::string* sgt = nullptr) {
        std::vector<uint16_t> samples;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) samples.push_back(static_cast<uint16_t>(1 + x + kW * y));
        const std::string path = Path(name);
        WritePgxFile(path, kW, kH, samples);
        if (sgt) WriteText(CVistrelDoc::SgtPathOf(path), *sgt);
        return path;
    }
    // A document (not owned by the app) with the numbered image and kOutline enabled.
    std::unique_ptr<CVistrelDoc> WithOutline() {
        auto doc = MakeDoc(kW, kH, 12);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) doc->image.SetPixel(x, y, 1 + x + kW * y);
        doc->pathName = Path("film.pgx");
        doc->breastSegment = CBreastSgt(kOutline);
        EXPECT_TRUE(doc->BuildBreastMask());
        return doc;
    }
};

TEST(SgtPath, ReplacesTheLastExtension) {
    EXPECT_EQ(CVistrelDoc::SgtPathOf("/a/b/film.pgx"), "/a/b/film.sgt");
    EXPECT_EQ(CVistrelDoc::SgtPathOf("/a/b.c/film.x.PGM"), "/a/b.c/film.x.sgt");
    EXPECT_EQ(CVistrelDoc::SgtPathOf("/a/film"), "/a/film.sgt");
}

TEST_F(DocBreastTest, OpeningReadsTheSgtBesideTheImageAndRestrictsTheHistogram) {
    const std::string sgt = SgtText(kOutline);
    CVistrelDoc* doc = app.OpenDocumentFile(WriteFilm("film.pgx", &sgt));
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->HasBreastSegment());
    EXPECT_EQ(doc->breastSegment.Points(), kOutline);
    ASSERT_TRUE(doc->breastMask.IsValid());
    EXPECT_EQ(doc->breastMask.width, kW);
    EXPECT_EQ(doc->breastMask.height, kH);
    EXPECT_EQ(doc->breastMask.depth, 1);
    EXPECT_EQ(doc->breastMask.GetPixel(8, 18), 1);   // inside the lower arm
    EXPECT_EQ(doc->breastMask.GetPixel(25, 20), 0);  // in the notch
    EXPECT_EQ(doc->breastMask.GetPixel(35, 5), 0);   // right of the outline

    // The histogram counts exactly the pixels under the mask.
    CHistogram& histogram = doc->image.GetHistogram();
    EXPECT_EQ(histogram.GetTotal(), MaskCount(doc->breastMask));
    const std::vector<int> inside = ValuesUnderMask(*doc);
    int32_t lo = 0, hi = 0;
    histogram.GetRange(lo, hi);
    EXPECT_EQ(lo, inside.front());
    EXPECT_EQ(hi, inside.back());

    // Dropping the outline brings the whole image back.
    doc->DropBreastSegment();
    EXPECT_FALSE(doc->breastMask.IsValid());
    EXPECT_EQ(doc->image.GetHistogram().GetTotal(), kW * kH);
}

TEST_F(DocBreastTest, BadSgtBesideTheImageOpensTheImageWithoutOutline) {
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty file", ""},
        {"no count line", "40 30\n\n"},
        {"truncated points", "40 30\n\n5\n4 3\n30 3\n"},
        {"negative count", "40 30\n\n-3\n4 3\n30 3\n30 12\n"},
        {"zero count", "40 30\n\n0\n"},
        {"count not a number", "40 30\n\nabc\n4 3\n"},
        {"coordinate not a number", "40 30\n\n3\n4 3\nx 3\n30 12\n"},
        {"huge count", "40 30\n\n2000000000\n4 3\n30 3\n"},
        {"point far outside", SgtText({{4, 3}, {3000, 3}, {30, 12}, {4, 3}})},
        {"point just past the right edge", SgtText({{4, 3}, {40, 3}, {30, 12}, {4, 3}})},
        {"negative point", SgtText({{4, 3}, {30, -1}, {30, 12}, {4, 3}})},
        {"three collinear points", SgtText({{4, 3}, {10, 3}, {20, 3}, {4, 3}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink.shown.clear();
        CVistrelDoc* doc = app.OpenDocumentFile(WriteFilm(std::string("bad_") + "x.pgx", &c.text));
        ASSERT_NE(doc, nullptr);
        EXPECT_TRUE(doc->image.IsValid());
        EXPECT_FALSE(doc->HasBreastSegment());
        EXPECT_FALSE(doc->breastMask.IsValid());
        EXPECT_EQ(doc->image.GetHistogram().GetTotal(), kW * kH);
        // Opening reads the file silently.
        EXPECT_TRUE(sink.shown.empty()) << sink.shown.front();
    }
}

TEST_F(DocBreastTest, OpenSgtReplacesTheOutlineAndRefusesPointsOutsideTheImage) {
    auto doc = WithOutline();
    int broadcasts = 0;
    QObject::connect(&app.Notifier(), &CNotifier::breastMaskChanged,
                     [&](CVistrelDoc* changed) { broadcasts += changed == doc.get(); });

    // Cancelling the dialog keeps what the document has.
    ui.openFilePath.clear();
    EXPECT_FALSE(doc->OnOpenSgt());
    EXPECT_TRUE(doc->HasBreastSegment());
    EXPECT_EQ(broadcasts, 0);
    EXPECT_EQ(ui.openFileInitialPath, Path("film.sgt"));
    ASSERT_EQ(ui.openFileFilters.size(), 4u);
    EXPECT_EQ(ui.openFileFilters[0].patterns, (std::vector<std::string>{"*.txt", "*.sgt"}));

    // Another outline, written without its closing point, replaces it, closed.
    const std::vector<CPoint> square = {{10, 10}, {20, 10}, {20, 20}, {10, 20}};
    WriteText(Path("other.txt"), SgtText(square));
    ui.openFilePath = Path("other.txt");
    CUpdateLog updates(*doc);
    ASSERT_TRUE(doc->OnOpenSgt());
    std::vector<CPoint> closed = square;
    closed.push_back(square.front());
    EXPECT_EQ(doc->breastSegment.Points(), closed);
    EXPECT_EQ(doc->breastMask.GetPixel(15, 15), 1);
    EXPECT_EQ(doc->breastMask.GetPixel(8, 18), 0);
    EXPECT_EQ(doc->image.GetHistogram().GetTotal(), MaskCount(doc->breastMask));
    EXPECT_EQ(broadcasts, 1);
    EXPECT_NE(std::find(updates.codes.begin(), updates.codes.end(), kUpdateAnnotations),
              updates.codes.end());

    // A file with a point outside the image leaves no outline and says why.
    WriteText(Path("outside.sgt"), SgtText({{10, 10}, {45, 10}, {20, 20}, {10, 10}}));
    ui.openFilePath = Path("outside.sgt");
    EXPECT_FALSE(doc->OnOpenSgt());
    EXPECT_FALSE(doc->HasBreastSegment());
    EXPECT_FALSE(doc->breastMask.IsValid());
    EXPECT_EQ(doc->image.GetHistogram().GetTotal(), kW * kH);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_NE(sink.shown[0].find("outside the image"), std::string::npos) << sink.shown[0];
    EXPECT_EQ(broadcasts, 2);

    // An unreadable one likewise.
    WriteText(Path("short.sgt"), "40 30\n\n4\n10 10\n");
    ui.openFilePath = Path("short.sgt");
    doc->breastSegment = CBreastSgt(kOutline);
    ASSERT_TRUE(doc->BuildBreastMask());
    EXPECT_FALSE(doc->OnOpenSgt());
    EXPECT_FALSE(doc->HasBreastSegment());
    EXPECT_EQ(sink.shown.size(), 2u);
}

TEST_F(DocBreastTest, SaveSgtAppendsTheExtensionAndAsksBeforeReplacing) {
    auto doc = WithOutline();
    const struct {
        const char* chosen;
        const char* written;
    } names[] = {
        {"plain", "plain.sgt"},
        {"kept.txt", "kept.txt"},
        {"upper.SGT", "upper.SGT"},
        {"image.pgx", "image.pgx.sgt"},
    };
    for (const auto& n : names) {
        SCOPED_TRACE(n.chosen);
        ui.savePath = Path(n.chosen);
        ASSERT_TRUE(doc->OnSaveSgt());
        EXPECT_EQ(ui.saveInitialPath, Path("film.sgt"));
        ASSERT_EQ(ui.saveFilters.size(), 2u);
        EXPECT_EQ(ReadText(Path(n.written)), SgtText(kOutline));
    }
    EXPECT_TRUE(sink.asked.empty());

    // An existing file: No keeps it, Yes replaces it.
    WriteText(Path("plain.sgt"), "old");
    ui.savePath = Path("plain");
    sink.answers = {1};
    EXPECT_FALSE(doc->OnSaveSgt());
    EXPECT_EQ(ReadText(Path("plain.sgt")), "old");
    ASSERT_EQ(sink.asked.size(), 1u);
    EXPECT_EQ(sink.asked[0], Path("plain.sgt") + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(sink.choicesAsked[0], (std::vector<std::string>{"Yes", "No"}));
    sink.answers = {0};
    EXPECT_TRUE(doc->OnSaveSgt());
    EXPECT_EQ(ReadText(Path("plain.sgt")), SgtText(kOutline));

    // Cancel writes nothing; no outline, nothing to write.
    ui.saveOk = false;
    ui.savePath = Path("cancelled");
    EXPECT_FALSE(doc->OnSaveSgt());
    EXPECT_FALSE(fs::exists(Path("cancelled.sgt")));
    ui.saveOk = true;
    doc->DropBreastSegment();
    EXPECT_FALSE(doc->OnSaveSgt());
    EXPECT_FALSE(fs::exists(Path("cancelled.sgt")));

    // A folder that does not exist: one message (the writer's), no crash, no file.
    doc->breastSegment = CBreastSgt(kOutline);
    ui.savePath = Path("missing/folder/out.sgt");
    sink.shown.clear();
    EXPECT_FALSE(doc->OnSaveSgt());
    EXPECT_EQ(sink.shown.size(), 1u) << ::testing::PrintToString(sink.shown);
    EXPECT_FALSE(fs::exists(Path("missing/folder/out.sgt")));
}

TEST_F(DocBreastTest, MirroredAtOpeningTheOutlineMirrorsAndIsWrittenBackUnmirrored) {
    app.mode = kInterfaceRadiologists;
    app.breastSideTest = [](const CMImage&, int) { return 1; };  // a "left" film is mirrored
    const std::string sgt = SgtText(kOutline);
    const std::string path = WriteFilm("case_left_cc.pgx", &sgt);
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->autoFlipped);
    ASSERT_TRUE(doc->HasBreastSegment());
    // The outline moved with the pixels: the values under the mask are those
    // the file's outline covers on the unmirrored film.
    auto unmirrored = WithOutline();
    EXPECT_EQ(ValuesUnderMask(*doc), ValuesUnderMask(*unmirrored));
    EXPECT_EQ(doc->breastSegment.Points()[0], (CPoint{kW - 1 - 4, 3}));
    EXPECT_TRUE(OutlineEnclosesMask(*doc));

    // Written and read back: the file holds the film's own coordinates, and
    // reading it gives the same contour again.
    ASSERT_TRUE(doc->WriteSgt(Path("round.sgt"), false));
    EXPECT_EQ(ReadText(Path("round.sgt")), sgt);
    const std::vector<CPoint> before = doc->breastSegment.Points();
    ui.openFilePath = Path("round.sgt");
    ASSERT_TRUE(doc->OnOpenSgt());
    EXPECT_EQ(doc->breastSegment.Points(), before);

    // Saving the image writes the SGT companion unmirrored as well.
    ASSERT_TRUE(doc->SaveImage(Path("saved.pgx")));
    EXPECT_EQ(ReadText(Path("saved.sgt")), sgt);
}

// The application's own side test drives the orientation rule: a "left"
// film whose breast (the bright side) lies on the right is mirrored, with
// its outline; the same film named "right" is left as it is.
TEST_F(DocBreastTest, TheDefaultSideTestMirrorsALeftFilmWithItsBreastOnTheRight) {
    app.mode = kInterfaceRadiologists;
    ASSERT_TRUE(app.breastSideTest) << "set by the application itself";
    std::vector<uint16_t> samples;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 400; ++x) samples.push_back(x >= 250 ? 3000 : 100);
    const std::vector<CPoint> breast = {{260, 5}, {390, 5}, {390, 35}, {260, 35}, {260, 5}};
    for (const char* name : {"scan_LEFT_MLO.pgx", "scan_RIGHT_MLO.pgx"}) {
        SCOPED_TRACE(name);
        const std::string path = Path(name);
        WritePgxFile(path, 400, 40, samples);
        WriteText(CVistrelDoc::SgtPathOf(path), SgtText(breast, 400, 40));
        CVistrelDoc* doc = app.OpenDocumentFile(path);
        ASSERT_NE(doc, nullptr);
        ASSERT_TRUE(doc->HasBreastSegment());
        const bool left = std::string(name).find("LEFT") != std::string::npos;
        EXPECT_EQ(doc->autoFlipped, left);
        EXPECT_EQ(doc->image.GetPixel(10, 10), left ? 3000 : 100);
        // The mask stays on the bright breast either way.
        const std::vector<int> values = ValuesUnderMask(*doc);
        ASSERT_FALSE(values.empty());
        EXPECT_EQ(values.front(), 3000);
        EXPECT_EQ(values.back(), 3000);
    }
}

TEST_F(DocBreastTest, GeometryCommandsKeepMaskAndOutlineAligned) {
    const struct {
        const char* name;
        bool (*apply)(CVistrelDoc&);
    } cases[] = {
        {"rotate 180", [](CVistrelDoc& d) { return d.OnRotate(kRotate180); }},
        {"rotate clockwise", [](CVistrelDoc& d) { return d.OnRotate(kRotateClockwise); }},
        {"rotate counter-clockwise",
         [](CVistrelDoc& d) { return d.OnRotate(kRotateCounterClockwise); }},
        {"flip horizontal", [](CVistrelDoc& d) { return d.OnFlipHorizontal(); }},
        {"flip vertical", [](CVistrelDoc& d) { return d.OnFlipVertical(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = WithOutline();
        doc->secondSegment = CBreastSgt({{5, 4}, {9, 4}, {9, 8}, {5, 4}});
        const std::vector<int> before = ValuesUnderMask(*doc);
        const int coneValue = doc->image.GetPixel(9, 8);
        ASSERT_TRUE(c.apply(*doc));
        ASSERT_TRUE(doc->breastMask.IsValid());
        EXPECT_EQ(doc->breastMask.width, doc->image.width);
        EXPECT_EQ(doc->breastMask.height, doc->image.height);
        EXPECT_EQ(ValuesUnderMask(*doc), before);
        EXPECT_TRUE(OutlineEnclosesMask(*doc));
        const CPoint cone = doc->secondSegment.Points()[2];
        EXPECT_EQ(doc->image.GetPixel(cone.x, cone.y), coneValue);
        EXPECT_EQ(doc->image.GetHistogram().GetTotal(), static_cast<int>(before.size()));
    }
    // Four quarter turns bring the outline back exactly.
    auto doc = WithOutline();
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(doc->OnRotate(kRotateClockwise));
    EXPECT_EQ(doc->breastSegment.Points(), kOutline);
}

TEST_F(DocBreastTest, InPlacePixelCommandsKeepTheHistogramTheBreasts) {
    const struct {
        const char* name;
        bool (*apply)(CVistrelDoc&);
    } cases[] = {
        {"reverse", [](CVistrelDoc& d) { return d.OnReverse(); }},
        {"swap bytes", [](CVistrelDoc& d) { return d.OnSwapBytes(); }},
        {"depth 16", [](CVistrelDoc& d) { return d.OnSetDepth(16); }},
        {"depth 8", [](CVistrelDoc& d) { return d.OnSetDepth(8); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = WithOutline();
        ASSERT_TRUE(c.apply(*doc));
        // The breast's histogram of the changed pixels (samples the swap
        // pushes past maxValue have no bin), not the whole image's.
        CMImage fresh(doc->image);
        fresh.InvalidateHistogram();
        const int32_t breast = fresh.GetHistogramUnderMask(doc->breastMask).GetTotal();
        ASSERT_GT(breast, 0);
        EXPECT_EQ(doc->image.GetHistogram().GetTotal(), breast);
        fresh.InvalidateHistogram();
        EXPECT_NE(fresh.GetHistogram().GetTotal(), breast) << "the fixture tells them apart";
    }
}

TEST_F(DocBreastTest, ResultWindowsCarryTheOutlineAndTheCutOfTheMask) {
    auto doc = WithOutline();
    // A result of the same size gets outline and mask as they are.
    CVistrelDoc* copy = doc->OnNewWindow();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->breastSegment.Points(), kOutline);
    EXPECT_TRUE(copy->breastMask.IsEqual(doc->breastMask));
    EXPECT_EQ(copy->image.GetHistogram().GetTotal(), MaskCount(doc->breastMask));

    // A ROI: the outline moves into it and the mask is cut to it.
    const CRect roi{2, 1, 22, 21};
    CVistrelDoc* part = doc->OnOpenRoiInNewWindow(roi, kMouseRoi);
    ASSERT_NE(part, nullptr);
    ASSERT_TRUE(part->breastMask.IsValid());
    EXPECT_EQ(part->breastMask.width, 20);
    EXPECT_EQ(part->breastMask.height, 20);
    EXPECT_EQ(part->breastSegment.Points()[0], (CPoint{4 - 2, 3 - 1}));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(part->breastMask.GetPixel(x, y), doc->breastMask.GetPixel(x + 2, y + 1))
                << x << "," << y;
    EXPECT_EQ(part->image.GetHistogram().GetTotal(), MaskCount(part->breastMask));

    // A result of another size (a reduced copy) gets neither.
    CVistrelDoc* small = doc->OpenImageInNewWindow(std::make_unique<CMImage>(10, 8, 12));
    ASSERT_NE(small, nullptr);
    EXPECT_FALSE(small->HasBreastSegment());
    EXPECT_FALSE(small->breastMask.IsValid());

    // A ROI beside the outline carries none.
    CVistrelDoc* beside = doc->OnOpenRoiInNewWindow(CRect{32, 14, 40, 30}, kMouseRoi);
    ASSERT_NE(beside, nullptr);
    EXPECT_FALSE(beside->HasBreastSegment());
    EXPECT_FALSE(beside->breastMask.IsValid());

    // Cropping in place cuts mask and outline the same way.
    const std::vector<int> cutValues = ValuesUnderMask(*part);
    ASSERT_TRUE(doc->OnCropRoi(roi));
    EXPECT_EQ(doc->breastSegment.Points(), part->breastSegment.Points());
    EXPECT_TRUE(doc->breastMask.IsEqual(part->breastMask));
    EXPECT_EQ(ValuesUnderMask(*doc), cutValues);
}

TEST_F(DocBreastTest, TheToggleDropsOrFindsTheOutline) {
    auto doc = WithOutline();
    int broadcasts = 0;
    QObject::connect(&app.Notifier(), &CNotifier::breastMaskChanged,
                     [&](CVistrelDoc*) { ++broadcasts; });
    // Disable: the outline may be saved first (cancelled here), then it goes.
    ui.saveOk = false;
    EXPECT_TRUE(doc->OnEnableBreastSegment());
    EXPECT_EQ(ui.saveFilters.size(), 2u) << "the SGT save dialog was offered";
    EXPECT_FALSE(doc->HasBreastSegment());
    EXPECT_FALSE(doc->breastMask.IsValid());
    EXPECT_EQ(doc->image.GetHistogram().GetTotal(), kW * kH);
    EXPECT_EQ(broadcasts, 1);

    // Enable without a file chosen: the segmentation dialog opens (cancelled).
    ui.openFilePath.clear();
    EXPECT_FALSE(doc->OnEnableBreastSegment());
    EXPECT_EQ(ui.breastSegmentShown.size(), 1u);
    EXPECT_FALSE(doc->HasBreastSegment());

    // Enable with a file: outline, mask and histogram come back.
    WriteText(Path("film.sgt"), SgtText(kOutline));
    ui.openFilePath = Path("film.sgt");
    EXPECT_TRUE(doc->OnEnableBreastSegment());
    EXPECT_EQ(ui.breastSegmentShown.size(), 1u);
    EXPECT_EQ(doc->breastSegment.Points(), kOutline);
    EXPECT_EQ(doc->image.GetHistogram().GetTotal(), MaskCount(doc->breastMask));
    EXPECT_EQ(broadcasts, 2);
}

class DocSegmentTest : public DocBreastTest {
  protected:
    void SetUp() override {
        DocBreastTest::SetUp();
        if (!fs::exists(fs::path(VISTREL_SHARED_DATA) / "mammograms/mias/mdb001.pgm"))
            GTEST_SKIP() << "no shared data";
    }
    CVistrelDoc* OpenFilm() {
        const fs::path film = fs::path(VISTREL_SHARED_DATA) / "mammograms/mias/mdb001.pgm";
        const std::string copy = Path("mdb001.pgm");
        fs::copy_file(film, copy);
        return app.OpenDocumentFile(copy);
    }
};

TEST_F(DocSegmentTest, SegmentingAFilmGivesTheOutlineItsMaskTheLogAndTheIntermediateImages) {
    CVistrelDoc* doc = OpenFilm();
    ASSERT_NE(doc, nullptr);
    ASSERT_FALSE(doc->HasBreastSegment());
    const std::size_t windowsBefore = ui.opened.size();
    CSegmentParams params;
    params.cone = 0;
    ASSERT_TRUE(doc->SegmentBreastWith(params));
    ASSERT_TRUE(doc->breastMask.IsValid());
    EXPECT_TRUE(OutlineEnclosesMask(*doc));
    const int inside = MaskCount(doc->breastMask);
    // mdb001's breast covers a good part of the film, never all of it.
    EXPECT_GT(inside, 1024 * 1024 / 10);
    EXPECT_LT(inside, 1024 * 1024 * 9 / 10);
    EXPECT_EQ(doc->image.GetHistogram().GetTotal(), inside);
    EXPECT_EQ(ui.busyDepth, 0);

    // The log, then the smoothed and the quantised image, each a new document.
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_NE(sink.shown[0].find("startP"), std::string::npos) << sink.shown[0];
    EXPECT_NE(sink.shown[0].find("Wyniki"), std::string::npos) << sink.shown[0];
    ASSERT_EQ(ui.opened.size(), windowsBefore + 2);
    for (std::size_t i = windowsBefore; i < ui.opened.size(); ++i) {
        EXPECT_EQ(ui.opened[i]->image.width, 51);
        EXPECT_EQ(ui.opened[i]->image.height, 51);
        EXPECT_FALSE(ui.opened[i]->HasBreastSegment());
    }
    EXPECT_EQ(ui.opened[windowsBefore]->image.depth, 4);

    // Without the log flag nothing is shown or opened; the outline is the same.
    const std::vector<CPoint> outline = doc->breastSegment.Points();
    sink.shown.clear();
    params.log = 0;
    ASSERT_TRUE(doc->SegmentBreastWith(params));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(ui.opened.size(), windowsBefore + 2);
    EXPECT_EQ(doc->breastSegment.Points(), outline);
}

TEST_F(DocSegmentTest, TheConePassWritesTheSecondOutlineAndKeepsTheBreastHistogram) {
    CVistrelDoc* doc = OpenFilm();
    ASSERT_NE(doc, nullptr);
    const std::size_t windowsBefore = ui.opened.size();
    CSegmentParams params;  // cone on, log on
    ASSERT_TRUE(doc->SegmentBreastWith(params));
    // Two logs and two pairs of images, the breast's first.
    ASSERT_EQ(sink.shown.size(), 2u);
    EXPECT_EQ(ui.opened.size(), windowsBefore + 4);
    if (sink.shown[1].find("Stozek nie") == std::string::npos)
        EXPECT_FALSE(doc->secondSegment.IsEmpty()) << sink.shown[1];
    else
        EXPECT_TRUE(doc->secondSegment.IsEmpty());
    EXPECT_EQ(doc->image.GetHistogram().GetTotal(), MaskCount(doc->breastMask));
}

TEST_F(DocSegmentTest, TheSegmentDialogRunsWithItsRecordAndCancelDoesNothing) {
    CVistrelDoc* doc = OpenFilm();
    ASSERT_NE(doc, nullptr);
    EXPECT_FALSE(doc->OnSegmentBreast());  // no scripted answer: Cancel
    EXPECT_EQ(ui.breastSegmentShown.size(), 1u);
    EXPECT_FALSE(doc->HasBreastSegment());
    CBreastSegmentModel choices;
    choices.cone = false;
    ui.breastSegmentAnswers.push_back({choices, true});
    EXPECT_TRUE(doc->OnSegmentBreast());
    EXPECT_TRUE(doc->HasBreastSegment());
    EXPECT_TRUE(doc->secondSegment.IsEmpty());
}

TEST_F(DocBreastTest, MorphologyOperatorOpensItsResultAndNothingWithoutCells) {
    auto doc = MakeDoc(9, 9, 8);
    doc->image.SetPixel(4, 4, 200);  // a single bright dot
    const std::size_t before = ui.opened.size();
    CVistrelDoc* eroded = doc->OnMorphOperator(EMorphOperator::Erode);
    ASSERT_NE(eroded, nullptr);
    EXPECT_EQ(ui.opened.size(), before + 1);
    EXPECT_EQ(eroded->image.GetPixel(4, 4), 0) << "the dot is gone";
    CVistrelDoc* dilated = doc->OnMorphOperator(EMorphOperator::Dilate);
    ASSERT_NE(dilated, nullptr);
    EXPECT_EQ(dilated->image.GetPixel(5, 5), 200) << "the dot grew";
    EXPECT_EQ(doc->image.GetPixel(5, 5), 0) << "the source stays";

    app.morphElement = CMorphSE();
    EXPECT_EQ(doc->OnMorphOperator(EMorphOperator::Erode), nullptr);
    EXPECT_EQ(ui.opened.size(), before + 2);
    EXPECT_TRUE(sink.shown.empty());
}

}  // namespace
}  // namespace vistrel
