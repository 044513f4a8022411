#include "workspace/vistrel_doc.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>

#include "core/image_operations.h"
#include "workspace/region_growing_model.h"
#include "workspace/vistrel_app.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

using testing::CFakeUi;
using testing::CRecordingSink;
using testing::ReadFileBytes;
using testing::WritePgxFile;

class DocTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        app.SetUi(&ui);
    }
    std::string Path(const std::string& name) const {
        return (dir.path() + "/").toStdString() + name;
    }

    QTemporaryDir dir;
    CFakeUi ui;
    CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app;
};

TEST(DocumentTitle, FormatsNameZoomPercentAndNumber) {
    struct Case {
        const char* name;
        float zoom;
        int number;
        const char* expected;
    } cases[] = {
        {"mdb001.pgm", 1.0f, 1, "mdb001.pgm @ 100.0 % : 1"},
        {"a.pgx", 0.25f, 3, "a.pgx @ 25.0 % : 3"},
        {"scan 2.raw", 1.75f, 12, "scan 2.raw @ 175.0 % : 12"},
        {"b.pgx", 0.3333f, 2, "b.pgx @ 33.3 % : 2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeDocumentTitle(c.name, c.zoom, c.number), c.expected) << c.name;
}

TEST(ProcessedCompanion, NamesBesideAndInParentFolder) {
    EXPECT_EQ(ProcessedCompanionPath("/data/case/IMG_1.PGX"),
              "/data/case/processed_kontrast6/IMG_1.kontrast6.pgx");
    EXPECT_EQ(ProcessedCompanionParentPath("/data/case/IMG_1.PGX"), "/data/IMG_1.kontrast6.pgx");
    // The extension is cut to three characters; the title keeps its inner dots.
    EXPECT_EQ(ProcessedCompanionPath("/d/A_1.LEFT_CC.tiff"),
              "/d/processed_kontrast6/A_1.LEFT_CC.kontrast6.tif");
}

TEST_F(DocTest, OpensPgxWithDescriptionDisplayBitsAndResolution) {
    const std::string path = Path("small.pgx");
    WritePgxFile(path, 3, 2, {0, 100, 4095, 2000, 3000, 1}, {"first line", "second"});
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr) << (sink.shown.empty() ? "" : sink.shown.front());
    EXPECT_EQ(doc->image.width, 3);
    EXPECT_EQ(doc->image.height, 2);
    EXPECT_EQ(doc->image.depth, 12);
    EXPECT_EQ(doc->image.GetPixel(2, 0), 4095);
    EXPECT_EQ(doc->description, "first line\nsecond\n");
    EXPECT_EQ(doc->displayDepth, 8);
    EXPECT_EQ(doc->displayShift, 4);
    EXPECT_FLOAT_EQ(doc->resolution, 583.92f);
    EXPECT_EQ(doc->pathName, path);
    EXPECT_FALSE(doc->originalImage.IsValid());  // default policy "Empty", no companion
    EXPECT_EQ(doc->Title().toStdString(), "small.pgx @ 100.0 % : 1");
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0], doc);
    EXPECT_EQ(ui.busyDepth, 0);  // wait cursor switched off again
}

// An 8-bit binary PGM (P5) of the given samples.
void WritePgmFile(const std::string& path, int width, int height,
                  const std::vector<uint8_t>& samples) {
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << width << " " << height << "\n255\n";
    out.write(reinterpret_cast<const char*>(samples.data()),
              static_cast<std::streamsize>(samples.size()));
}

// How many different palette indices a bitmap shows.
int DistinctLevels(const CDisplayBitmap& bitmap) {
    std::vector<bool> seen(256, false);
    int count = 0;
    for (int32_t y = 0; y < bitmap.height; ++y)
        for (int32_t x = 0; x < bitmap.width; ++x)
            if (!seen[bitmap.IndexAt(x, y)]) {
                seen[bitmap.IndexAt(x, y)] = true;
                ++count;
            }
    return count;
}

TEST_F(DocTest, StartingWindowClampsOverlappingWindowsAndOtherwiseTakesTheOccupiedRange) {
    // Samples 40 and 200 on every depth: an application window that overlaps
    // the value range is clamped into it; one that misses it would collapse to
    // a single grey level, so the samples' own range is used instead.
    struct Case {
        int depth;
        CWindowRange current;
        int32_t low, high;
    } cases[] = {
        {12, {1000, 4095}, 1000, 4095},  // the default window on a 12-bit image stays
        {12, {-50, 5000}, 0, 4095},
        {10, {1000, 4095}, 1000, 1023},  // narrow, but still a window
        {12, {5000, 6000}, 40, 200},     // above the range
        {12, {-300, -100}, 40, 200},     // below it
        {12, {4095, 5000}, 40, 200},     // touching the top only: one level
        {8, {1000, 4095}, 40, 200},      // the default window on an 8-bit film
    };
    int n = 0;
    for (const Case& c : cases) {
        // 8-bit PGX holds one byte per sample; the test writer writes words.
        const std::string path = Path("w" + std::to_string(n++) + (c.depth == 8 ? ".pgm" : ".pgx"));
        if (c.depth == 8)
            WritePgmFile(path, 2, 1, {40, 200});
        else
            WritePgxFile(path, 2, 1, {40, 200}, {}, c.depth);
        app.currentWindow = c.current;
        CVistrelDoc* doc = app.OpenDocumentFile(path);
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->windowLow, c.low) << path << " depth " << c.depth;
        EXPECT_EQ(doc->windowHigh, c.high) << path << " depth " << c.depth;
    }
}

TEST(StartingWindow, ConstantImageGetsItsWholeRange) {
    CMImage flat(3, 3, 8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) flat.SetPixel(x, y, 7);
    const CWindowRange window = StartingWindow({1000, 4095}, flat);
    EXPECT_EQ(window.low, 0);
    EXPECT_EQ(window.high, 255);
}

TEST_F(DocTest, EightBitFilmOpensWithAPictureInTheValueWindow) {
    // A gradient like a MIAS film: 0 (background) up to 221.
    std::vector<uint8_t> samples(16 * 16);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<uint8_t>(i * 221 / (samples.size() - 1));
    const std::string path = Path("mdb.pgm");
    WritePgmFile(path, 16, 16, samples);
    CVistrelDoc* doc = app.OpenDocumentFile(path);  // the application's default 1000..4095
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->windowLow, 0);
    EXPECT_EQ(doc->windowHigh, 221);
    CRenderRequest request;
    auto bitmap = doc->Render(request, true, app.Palette(), false);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->depth, 8);
    EXPECT_GT(DistinctLevels(*bitmap), 200) << "the film is shown in grey levels, not black";
}

TEST_F(DocTest, SharedMiasFilmOpensWithItsOwnRange) {
    const std::string path = std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb001.pgm";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no shared data";
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->windowLow, 0);
    EXPECT_EQ(doc->windowHigh, 221);  // the film's measured maximum
}

TEST_F(DocTest, ResultOfAnotherRangeDoesNotInheritACollapsedWindow) {
    const std::string path = Path("deep.pgx");
    WritePgxFile(path, 2, 1, {100, 3000});
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    doc->SetWindowValues(1000, 3000);

    auto eightBit = std::make_unique<CMImage>(2, 1, 8);
    eightBit->SetPixel(0, 0, 30);
    eightBit->SetPixel(1, 0, 90);
    CVistrelDoc* result = doc->OpenImageInNewWindow(std::move(eightBit));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->windowLow, 30);
    EXPECT_EQ(result->windowHigh, 90);

    // A result in the same range keeps the source's window.
    CVistrelDoc* copy = doc->OnNewWindow();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->windowLow, 1000);
    EXPECT_EQ(copy->windowHigh, 3000);
}

TEST(BitWindowAsValueWindow, CoversTheDisplayedBits) {
    struct Case {
        int depth;
        uint16_t offset;
        int shift, bits;
        int32_t low, high;
    } cases[] = {
        {12, 0, 4, 8, 0, 4095},         // top 8 bits: the whole range
        {12, 0, 0, 8, 0, 255},          // low 8 bits: the first period of the wrap
        {12, 0, 2, 6, 0, 255},          // bits 2..7
        {12, 1024, 4, 8, -1024, 3071},  // DICOM offset: true values
        {8, 0, 0, 8, 0, 255},          {4, 0, 0, 4, 0, 15}, {16, 0, 8, 8, 0, 65535},
        {12, 0, 6, 8, 0, 4095},  // past the depth: the renderer shows the top 8 bits
    };
    for (const Case& c : cases) {
        CMImage image(2, 1, c.depth, c.offset);
        const CWindowRange window = BitWindowAsValueWindow(image, c.shift, c.bits);
        EXPECT_EQ(window.low, c.low) << c.depth << " bits, shift " << c.shift << ", " << c.bits;
        EXPECT_EQ(window.high, c.high) << c.depth << " bits, shift " << c.shift << ", " << c.bits;
    }
}

TEST_F(DocTest, WindowDragFromTheBitWindowStartsFromThePictureOnScreen) {
    std::vector<uint16_t> ramp(64);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint16_t>(i * 65);
    const std::string path = Path("ramp.pgx");
    WritePgxFile(path, 8, 8, ramp);
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->windowLow, 1000);  // the stored value window differs from the bit window

    CRenderRequest request;
    auto before = doc->Render(request, false, app.Palette(), false);
    ASSERT_NE(before, nullptr);
    doc->BeginWindowDrag(false);
    EXPECT_EQ(doc->windowLow, 0);
    EXPECT_EQ(doc->windowHigh, 4095);
    auto after = doc->Render(request, true, app.Palette(), false);
    ASSERT_NE(after, nullptr);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x)
            EXPECT_LE(std::abs(after->IndexAt(x, y) - before->IndexAt(x, y)), 1)
                << "pixel " << x << "," << y << " jumps when the drag starts";

    // In the value window the drag starts from the window already shown.
    doc->SetWindowValues(1200, 2400);
    doc->BeginWindowDrag(true);
    EXPECT_EQ(doc->windowLow, 1200);
    EXPECT_EQ(doc->windowHigh, 2400);
}

TEST_F(DocTest, SharedTwelveBitPgxOpensWithItsSamples) {
    const std::string path = std::string(VISTREL_SHARED_DATA) + "/raster/pgx/c1p1_04_0.pgx";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no shared data";
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->image.width, 1024);
    EXPECT_EQ(doc->image.height, 1024);
    EXPECT_EQ(doc->image.depth, 12);
    EXPECT_EQ(doc->image.GetPixel(0, 0), 0x0ebe);  // ML bytes 0e be at the start of the data
    int32_t minV = 0, maxV = 0;
    doc->image.GetValueRange(minV, maxV);
    EXPECT_EQ(minV, 0);
    EXPECT_EQ(maxV, 4095);
    EXPECT_EQ(doc->displayShift, 4);
}

TEST_F(DocTest, ProcessedCompanionBecomesTheOriginalImage) {
    const std::string path = Path("case/img.pgx");
    WritePgxFile(path, 2, 1, {10, 20}, {"main"});
    WritePgxFile(Path("case/processed_kontrast6/img.kontrast6.pgx"), 2, 1, {30, 40}, {"companion"});
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->originalImage.IsValid());
    EXPECT_EQ(doc->originalImage.GetPixel(0, 0), 30);
    EXPECT_EQ(doc->image.GetPixel(0, 0), 10);
    EXPECT_EQ(doc->description, "main\n");  // the companion's comments are not kept
}

TEST_F(DocTest, ProcessedCompanionInTheParentFolderIsTheFallback) {
    const std::string path = Path("case/sub/img.pgx");
    WritePgxFile(path, 2, 1, {10, 20});
    WritePgxFile(Path("case/img.kontrast6.pgx"), 2, 1, {50, 60});
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->originalImage.IsValid());
    EXPECT_EQ(doc->originalImage.GetPixel(1, 0), 60);
}

TEST_F(DocTest, CurrentAsOriginalPolicyCopiesTheImageOverTheCompanion) {
    const std::string path = Path("case/img.pgx");
    WritePgxFile(path, 2, 1, {10, 20});
    WritePgxFile(Path("case/processed_kontrast6/img.kontrast6.pgx"), 2, 1, {30, 40});
    app.originalPolicy = kOriginalCurrent;
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->originalImage.IsEqual(doc->image));
}

TEST_F(DocTest, UnreadableFileOpensNothingAndSaysSo) {
    const std::string path = Path("broken.pgx");
    {
        std::ofstream out(path);
        out << "not an image";
    }
    EXPECT_EQ(app.OpenDocumentFile(path), nullptr);
    EXPECT_EQ(app.OpenDocumentFile(Path("missing.pgx")), nullptr);
    EXPECT_TRUE(app.Documents().empty());
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_EQ(sink.shown.size(), 2u);
    EXPECT_EQ(app.DocumentCounter(), 0);
}

TEST_F(DocTest, NumberingRestartsWhenTheLastDocumentCloses) {
    const std::string path = Path("n.pgx");
    WritePgxFile(path, 2, 1, {1, 2});
    CVistrelDoc* first = app.OpenDocumentFile(path);
    CVistrelDoc* second = app.OpenDocumentFile(path);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->number, 1);
    EXPECT_EQ(second->number, 2);
    app.CloseDocument(first);
    CVistrelDoc* third = app.OpenDocumentFile(path);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->number, 3);  // another document was still open
    app.CloseDocument(second);
    app.CloseDocument(third);
    EXPECT_EQ(app.DocumentCounter(), 0);
    CVistrelDoc* fresh = app.OpenDocumentFile(path);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->number, 1);
    EXPECT_EQ(fresh->Title().toStdString(), "n.pgx @ 100.0 % : 1");
}

TEST_F(DocTest, OpenCommandResetsTheWindowBeforeEveryFile) {
    const std::string a = Path("a.pgx"), b = Path("b.pgx");
    WritePgxFile(a, 2, 1, {1, 2});
    WritePgxFile(b, 2, 1, {1, 2});
    app.currentWindow = {10, 20};
    ui.openPaths = {a, b};
    app.OnFileOpen();
    ASSERT_EQ(app.Documents().size(), 2u);
    for (const auto& doc : app.Documents()) {
        EXPECT_EQ(doc->windowLow, 1000);
        EXPECT_EQ(doc->windowHigh, 4095);
    }
    EXPECT_EQ(app.lastPaths.open, b);
}

TEST_F(DocTest, WindowBitsAreAcceptedOnlyInsideTheDepth) {
    const std::string path = Path("bits.pgx");
    WritePgxFile(path, 2, 1, {1, 2});
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);  // 12 bits: shift 4, bits 8
    struct Case {
        int shift, bits, result;
    } cases[] = {
        {4, 8, 0},  // unchanged pair
        {0, 8, 1}, {5, 8, 0}, {-1, 4, 0}, {0, 9, 0}, {0, 0, 0}, {11, 1, 1}, {8, 4, 1}, {9, 4, 0},
    };
    for (const Case& c : cases) {
        const int shiftBefore = doc->displayShift, bitsBefore = doc->displayDepth;
        int updates = 0;
        auto connection = QObject::connect(doc, &CVistrelDoc::updated, [&](int) { ++updates; });
        EXPECT_EQ(doc->SetWindowBits(c.shift, c.bits), c.result) << c.shift << "/" << c.bits;
        QObject::disconnect(connection);
        if (c.result) {
            EXPECT_EQ(doc->displayShift, c.shift);
            EXPECT_EQ(doc->displayDepth, c.bits);
            EXPECT_EQ(updates, 1);
        } else {
            EXPECT_EQ(doc->displayShift, shiftBefore);
            EXPECT_EQ(doc->displayDepth, bitsBefore);
            EXPECT_EQ(updates, 0);
        }
    }
}

TEST_F(DocTest, WindowValuesAreClampedAndReported) {
    const std::string path = Path("values.pgx");
    WritePgxFile(path, 2, 1, {1, 2});
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    struct Case {
        int32_t low, high, expectLow, expectHigh;
    } cases[] = {
        {100, 200, 100, 200},
        {-5, 5000, 0, 4095},
        {300, 100, 300, 300},
        {9000, 9999, 4095, 4095},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(doc->SetWindowValues(c.low, c.high), 1);
        int32_t low, high, minV, maxV;
        doc->GetWindowValues(low, high, minV, maxV);
        EXPECT_EQ(low, c.expectLow) << c.low << ".." << c.high;
        EXPECT_EQ(high, c.expectHigh) << c.low << ".." << c.high;
        EXPECT_EQ(minV, 0);
        EXPECT_EQ(maxV, 4095);
    }
}

TEST_F(DocTest, RenderFollowsTheChosenWindow) {
    const std::string path = Path("render.pgx");
    WritePgxFile(path, 4, 1, {0, 1000, 2000, 4095});
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    doc->SetWindowValues(1000, 2000);
    CRenderRequest request;
    auto valueBitmap = doc->Render(request, true, app.Palette(), false);
    ASSERT_NE(valueBitmap, nullptr);
    EXPECT_EQ(valueBitmap->IndexAt(0, 0), 0);
    EXPECT_EQ(valueBitmap->IndexAt(3, 0), valueBitmap->IndexAt(2, 0));  // saturated at high
    EXPECT_EQ(valueBitmap->IndexAt(3, 0), static_cast<int>(valueBitmap->palette.size()) - 1);
    // Bit window, top 8 bits of 12: 4095 >> 4 = 255, 1000 >> 4 = 62.
    auto bitBitmap = doc->Render(request, false, app.Palette(), false);
    ASSERT_NE(bitBitmap, nullptr);
    EXPECT_EQ(bitBitmap->IndexAt(3, 0), 255);
    EXPECT_EQ(bitBitmap->IndexAt(1, 0), 62);
}

TEST_F(DocTest, SetResolutionTakesMicrometresAndRulersFollow) {
    const std::string path = Path("mdb.pgm");
    WritePgmFile(path, 4, 4, std::vector<uint8_t>(16, 9));
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->resolutionSource, EResolutionSource::Default);
    EXPECT_EQ(doc->ResolutionNote(), " (default pixel size)");
    EXPECT_NEAR(doc->PixelsToMillimetres(375), 375 * 0.0435, 0.001);

    // A MIAS film has 200 µm pixels: a 375-pixel ruler is 75 mm.
    ui.textAnswer = "200";
    ASSERT_TRUE(doc->OnSetResolution());
    EXPECT_FLOAT_EQ(doc->resolution, 127.0f);
    EXPECT_EQ(doc->resolutionSource, EResolutionSource::User);
    EXPECT_NEAR(doc->PixelsToMillimetres(375), 75.0, 1e-4);
    EXPECT_EQ(doc->ResolutionNote(), "");

    // Cancel or a size that is not a positive number changes nothing.
    for (const auto& [answer, ok] : {std::pair{"50", false}, std::pair{"0", true},
                                     std::pair{"-3", true}, std::pair{"x", true}}) {
        ui.textAnswer = answer;
        ui.textOk = ok;
        EXPECT_FALSE(doc->OnSetResolution()) << answer << (ok ? "" : " (cancelled)");
        EXPECT_FLOAT_EQ(doc->resolution, 127.0f) << answer;
        EXPECT_EQ(doc->resolutionSource, EResolutionSource::User) << answer;
    }
}

TEST_F(DocTest, ResolutionAndItsSourceReachNewWindows) {
    const std::string path = Path("A_1_1.LEFT_CC.pgx");
    WritePgxFile(path, 4, 4, std::vector<uint16_t>(16, 500));
    std::ofstream(Path("A-1-1.ics")) << "LEFT_CC RESOLUTION 50\n";
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_FLOAT_EQ(doc->resolution, 508.0f);
    EXPECT_EQ(doc->resolutionSource, EResolutionSource::Ics);
    EXPECT_EQ(doc->ResolutionNote(), "");
    CVistrelDoc* copy = doc->OnNewWindow();
    ASSERT_NE(copy, nullptr);
    EXPECT_FLOAT_EQ(copy->resolution, 508.0f);
    EXPECT_EQ(copy->resolutionSource, EResolutionSource::Ics);
    CVistrelDoc* roi = doc->OnOpenRoiInNewWindow(CRect{1, 1, 3, 3}, kMouseRoi);
    ASSERT_NE(roi, nullptr);
    EXPECT_FLOAT_EQ(roi->resolution, 508.0f);
    EXPECT_EQ(roi->resolutionSource, EResolutionSource::Ics);

    // A default size stays marked as such in the copy.
    const std::string plain = Path("plain.pgx");
    WritePgxFile(plain, 2, 1, {1, 2});
    CVistrelDoc* other = app.OpenDocumentFile(plain);
    ASSERT_NE(other, nullptr);
    CVistrelDoc* otherCopy = other->OnNewWindow();
    ASSERT_NE(otherCopy, nullptr);
    EXPECT_EQ(otherCopy->ResolutionNote(), " (default pixel size)");
}

TEST_F(DocTest, DisplayDescriptionTellsThePhotometricInterpretationWithoutSavingIt) {
    const std::string path = Path("film.pgx");
    WritePgxFile(path, 2, 1, {1, 2}, {"from the file"});
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->DisplayDescription(), doc->description) << "no DICOM, nothing added";

    doc->photometric = "MONOCHROME2";
    EXPECT_EQ(doc->DisplayDescription(),
              "Photometric interpretation: MONOCHROME2\n" + doc->description);

    doc->photometric = "MONOCHROME1";
    const std::string shown = doc->DisplayDescription();
    EXPECT_EQ(shown.rfind("Photometric interpretation: MONOCHROME1\n", 0), 0u) << shown;
    EXPECT_NE(shown.find("\"Dicom Reading Options...\""), std::string::npos) << shown;
    EXPECT_NE(shown.find("\"Open rendered pixels\""), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - doc->description.size()), doc->description);

    // Rendered pixels of an engine are already inverted: the pane says so instead.
    doc->renderedPixels = true;
    const std::string rendered = doc->DisplayDescription();
    EXPECT_NE(rendered.find("rendered pixels"), std::string::npos) << rendered;
    EXPECT_EQ(rendered.find("\"Dicom Reading Options...\""), std::string::npos) << rendered;

    // Saving writes the description alone, so reopening does not collect the note.
    const std::string saved = Path("saved.pgx");
    ASSERT_TRUE(doc->SaveImage(saved));
    EXPECT_EQ(ReadFileBytes(saved).find("Photometric"), std::string::npos);
    ASSERT_TRUE(std::filesystem::exists(Path("saved.OVERLAY")));
    EXPECT_EQ(ReadFileBytes(Path("saved.OVERLAY")).find("Photometric"), std::string::npos);
}

TEST_F(DocTest, DicomHeaderGivesTheResolutionUnlessACaseFileDoes) {
    // The header's fields as the reader fills them, on a file of its own kind.
    CMImage image(2, 1, 8);
    image.dicomAttributes.imagerPixelSpacing[0] = image.dicomAttributes.imagerPixelSpacing[1] = 0.1;
    image.dicomAttributes.pixelSpacing[0] = image.dicomAttributes.pixelSpacing[1] = 0.2;
    const CImageResolution imager = ImageResolution(Path("a.dcm"), image);
    EXPECT_FLOAT_EQ(imager.dpi, 254.0f);
    EXPECT_EQ(imager.source, EResolutionSource::Dicom);
    image.dicomAttributes.imagerPixelSpacing[0] = image.dicomAttributes.imagerPixelSpacing[1] = 0;
    EXPECT_FLOAT_EQ(ImageResolution(Path("a.dcm"), image).dpi, 127.0f);
    std::ofstream(Path("A-9-1.ics")) << "RIGHT_MLO RESOLUTION 50\n";
    const CImageResolution ics = ImageResolution(Path("A_9_1.RIGHT_MLO.dcm"), image);
    EXPECT_FLOAT_EQ(ics.dpi, 508.0f);
    EXPECT_EQ(ics.source, EResolutionSource::Ics);
}

TEST_F(DocTest, SharedDicomMammogramMeasuresInItsOwnPixelSize) {
    const std::string path = std::string(VISTREL_SHARED_DATA) + "/dicom/MG_Explicit_Little.dcm";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no shared data";
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr) << (sink.shown.empty() ? "" : sink.shown.back());
    // Imager Pixel Spacing 0.5 \ 0.5 mm.
    EXPECT_NEAR(doc->resolution, 50.8f, 1e-3);
    EXPECT_EQ(doc->resolutionSource, EResolutionSource::Dicom);
    EXPECT_EQ(doc->ResolutionNote(), "");
    EXPECT_NEAR(doc->PixelsToMillimetres(100), 50.0, 1e-3);
    EXPECT_EQ(doc->photometric, "MONOCHROME2");
    EXPECT_EQ(doc->DisplayDescription().find("MONOCHROME1"), std::string::npos);
}

TEST_F(DocTest, SharedMonochromeOneMammogramKeepsItsPolarityAndSaysSo) {
    const std::string path = std::string(VISTREL_SHARED_DATA) + "/dicom/MG-Im-GE-SenDS-scaled.dcm";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no shared data";
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr) << (sink.shown.empty() ? "" : sink.shown.back());
    EXPECT_EQ(doc->photometric, "MONOCHROME1");
    EXPECT_FALSE(doc->renderedPixels) << "no engine is loaded here";
    const std::string shown = doc->DisplayDescription();
    EXPECT_EQ(shown.rfind("Photometric interpretation: MONOCHROME1\n", 0), 0u) << shown;
    EXPECT_NE(shown.find("\"Dicom Reading Options...\""), std::string::npos) << shown;
    EXPECT_EQ(doc->description.find("MONOCHROME1"), std::string::npos) << "display only";
    // Stored values, not inverted: the reader's maximum is still the maximum.
    int32_t lowest = 0, highest = 0;
    doc->image.GetValueRange(lowest, highest);
    EXPECT_EQ(highest + doc->image.valueOffset, 16383);
}

class SaveTest : public DocTest {
  protected:
    void SetUp() override {
        DocTest::SetUp();
        source = Path("source.pgm");
        CMImage picture(3, 2, 8);
        for (int i = 0; i < 6; ++i) picture.SetPixel(i % 3, i / 3, 40 * i);
        ASSERT_EQ(picture.Save(true, source), 1);
        doc = app.OpenDocumentFile(source);
        ASSERT_NE(doc, nullptr);
    }
    std::string source;
    CVistrelDoc* doc = nullptr;
};

// Indices in the list offered for images of at most 8 bits.
constexpr int kBmpFilter = 0, kPgmFilter = 1, kRawFilter = 5;

TEST_F(SaveTest, OffersTheListForTheImageDepth) {
    ui.saveOk = false;
    EXPECT_FALSE(doc->OnFileSaveAs());
    ASSERT_EQ(ui.saveFilters.size(), 6u);
    EXPECT_EQ(ui.saveFilters[kRawFilter].Extension(), "raw");
    EXPECT_EQ(ui.saveInitialPath, source);
    EXPECT_TRUE(sink.asked.empty());

    doc->image = CMImage(2, 2, 12);
    EXPECT_FALSE(doc->OnFileSaveAs());
    ASSERT_EQ(ui.saveFilters.size(), 2u);
    EXPECT_EQ(ui.saveFilters[0].Extension(), "pgx");
    EXPECT_EQ(ui.saveFilters[1].Extension(), "raw");
}

TEST_F(SaveTest, RawAsksAboutSizeAndDescriptionAndCancelWritesNothing) {
    ui.savePath = Path("out.pgm");  // the filter's extension wins
    ui.saveFilter = kRawFilter;
    sink.answers = {1};  // Cancel
    EXPECT_FALSE(doc->OnFileSaveAs());
    ASSERT_EQ(sink.asked.size(), 1u);
    EXPECT_EQ(sink.asked[0],
              "Some of the document data (IMAGE SIZE and DESCRIPTION) will not be saved using "
              "RAW format. Save anyway? ");
    EXPECT_EQ(sink.choicesAsked[0], (std::vector<std::string>{"OK", "Cancel"}));
    EXPECT_FALSE(std::filesystem::exists(Path("out.raw")));
    EXPECT_FALSE(std::filesystem::exists(Path("out.pgm")));
    EXPECT_EQ(doc->pathName, source);

    sink.answers = {0};  // OK
    EXPECT_TRUE(doc->OnFileSaveAs());
    EXPECT_EQ(ReadFileBytes(Path("out.raw")).size(), 6u);  // the bare samples
    EXPECT_EQ(doc->pathName, Path("out.raw"));
    EXPECT_EQ(doc->Title().toStdString(), "out.raw @ 100.0 % : 1");
}

TEST_F(SaveTest, BmpAsksAboutTheDescriptionOnlyWhenThereIsOne) {
    ui.savePath = Path("pic");
    ui.saveFilter = kBmpFilter;
    sink.answers = {1};
    doc->description.clear();
    doc->OnFileSaveAs();
    EXPECT_TRUE(sink.asked.empty());

    doc->description = "left breast\n";
    ui.savePath = Path("pic2");
    sink.answers = {1};
    EXPECT_FALSE(doc->OnFileSaveAs());
    ASSERT_EQ(sink.asked.size(), 1u);
    EXPECT_EQ(sink.asked[0],
              "Some of the document data (DESCRIPTION) will not be saved using BMP format. Save "
              "anyway?");
    EXPECT_FALSE(std::filesystem::exists(Path("pic2.bmp")));
}

TEST_F(SaveTest, PgmAsksNothingAndTakesTheFilterExtension) {
    doc->description = "kept nowhere, but PGM is not warned about";
    ui.savePath = Path("copy.txt");
    ui.saveFilter = kPgmFilter;
    EXPECT_TRUE(doc->OnFileSaveAs());
    EXPECT_TRUE(sink.asked.empty());
    EXPECT_TRUE(std::filesystem::exists(Path("copy.pgm")));
    EXPECT_EQ(ReadFileBytes(Path("copy.pgm")), ReadFileBytes(source));
}

TEST_F(SaveTest, RefusingToReplaceLeavesTheFileUntouched) {
    const std::string existing = Path("existing.pgm");
    {
        std::ofstream out(existing);
        out << "precious";
    }
    ui.savePath = existing;
    ui.saveFilter = kPgmFilter;
    sink.answers = {1};  // No
    EXPECT_FALSE(doc->OnFileSaveAs());
    ASSERT_EQ(sink.asked.size(), 1u);
    EXPECT_EQ(sink.asked[0], existing + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(sink.choicesAsked[0], (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(ReadFileBytes(existing), "precious");
    EXPECT_EQ(doc->pathName, source);

    sink.answers = {0};  // Yes
    EXPECT_TRUE(doc->OnFileSaveAs());
    EXPECT_EQ(ReadFileBytes(existing), ReadFileBytes(source));
}

TEST_F(SaveTest, NothingToSaveIsReported) {
    doc->image.Free();
    EXPECT_FALSE(doc->OnFileSave());
    EXPECT_FALSE(doc->OnFileSaveAs());
    EXPECT_EQ(sink.shown, (std::vector<std::string>{"There is no image to save.",
                                                    "There is no image to save."}));
}

TEST_F(SaveTest, SavingDeepImagesFollowsThePgxByteOrderOption) {
    doc->image = CMImage(1, 1, 12);
    doc->image.SetPixel(0, 0, 0x0abc);
    struct Case {
        bool lm;
        const char* name;
        std::string expected;
    } cases[] = {
        {true, "lm.pgx", std::string("PG LM  12 1 1\n\xbc\x0a", 16)},
        {false, "ml.pgx", std::string("PG ML  12 1 1\n\x0a\xbc", 16)},
    };
    for (const Case& c : cases) {
        app.pgxByteOrderLM = c.lm;
        ui.savePath = Path(c.name);
        ui.saveFilter = 0;
        EXPECT_TRUE(doc->OnFileSaveAs()) << c.name;
        EXPECT_EQ(ReadFileBytes(Path(c.name)), c.expected) << c.name;
    }
    EXPECT_EQ(doc->image.GetPixel(0, 0), 0x0abc);  // saving does not change the image
}

// ---------------------------------------------------------------- annotations

CRegion Square(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return CRegion({{left, top}, {right, top}, {right, bottom}, {left, bottom}},
                   CRegion::PointsMode::Polygon);
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The update codes a document sends, in order.
struct CUpdateLog {
    explicit CUpdateLog(CVistrelDoc& doc)
        : connection(QObject::connect(&doc, &CVistrelDoc::updated,
                                      [this](int code) { codes.push_back(code); })) {}
    ~CUpdateLog() { QObject::disconnect(connection); }
    CUpdateLog(const CUpdateLog&) = delete;
    CUpdateLog& operator=(const CUpdateLog&) = delete;
    QMetaObject::Connection connection;
    std::vector<int> codes;
};

class DocAnnotationTest : public DocTest {
  protected:
    // A 12-bit 40x30 PGX whose pixel (x, y) is x (distinguishes left from right).
    std::string WriteImage(const std::string& name) {
        std::vector<uint16_t> samples;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) samples.push_back(static_cast<uint16_t>(x));
        const std::string path = Path(name);
        WritePgxFile(path, 40, 30, samples);
        return path;
    }
    // A document with an image of the given depth and size and no file.
    std::unique_ptr<CVistrelDoc> MakeDoc(int width, int height, int depth) {
        auto doc = std::make_unique<CVistrelDoc>(app, 1);
        doc->image.Create(width, height, depth, 1);
        return doc;
    }
};

TEST_F(DocAnnotationTest, OpeningReadsTheOverlayBesideTheImage) {
    const std::string path = WriteImage("case.pgx");
    WriteText(Path("case.OVERLAY"),
              "SUBTLETY 4\r\n"
              "PATHOLOGY BENIGN\r\nBOUNDARY\r\n5 6 22224444666600#\r\n"
              "REGION MICROCALCIFICATION BENIGN IN CLUSTER 2 scale=3 response=0.5000 "
              "energy=1.0000 mean=2.0000 x=7 y=8 \r\n"
              "20 10 2244660#\r\n");
    CVistrelDoc* doc = app.OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->rosRegions.Count(), 1);
    EXPECT_EQ(doc->rosRegions.At(0)->diagnosis, 0);
    EXPECT_EQ(doc->rosRegions.At(0)->ToText(), "5 6 22224444666600");
    ASSERT_EQ(doc->regions.Count(), 1);
    const CRegion& region = *doc->regions.At(0);
    EXPECT_EQ(region.type, 'm');
    EXPECT_EQ(region.clusterNumber, 2);
    EXPECT_EQ(region.scale, 3);
    EXPECT_EQ(region.spotX, 7);
    EXPECT_EQ(doc->subtlety, 4);
    EXPECT_NE(doc->description.find("SUBTLETY 4"), std::string::npos);
}

TEST_F(DocAnnotationTest, OpeningWithoutOverlayLeavesNoAnnotations) {
    CVistrelDoc* doc = app.OpenDocumentFile(WriteImage("plain.pgx"));
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->regions.IsEmpty());
    EXPECT_TRUE(doc->rosRegions.IsEmpty());
}

TEST_F(DocAnnotationTest, SavingWritesTheOverlayAndReopeningRestoresIt) {
    CVistrelDoc* doc = app.OpenDocumentFile(WriteImage("saved.pgx"));
    ASSERT_NE(doc, nullptr);
    CRegion ros = Square(2, 3, 9, 8);
    ros.diagnosis = 1;
    doc->rosRegions.Add(ros);
    CRegion tumour = Square(20, 10, 25, 14);
    tumour.type = 't';
    tumour.diagnosis = 0;
    doc->regions.Add(tumour);
    ASSERT_TRUE(doc->OnFileSave());
    ASSERT_TRUE(std::filesystem::exists(Path("saved.OVERLAY")));

    CVistrelDoc* again = app.OpenDocumentFile(Path("saved.pgx"));
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(again->rosRegions.Count(), 1);
    EXPECT_TRUE(again->rosRegions.At(0)->IsEqual(ros));
    EXPECT_EQ(again->rosRegions.At(0)->diagnosis, 1);
    ASSERT_EQ(again->regions.Count(), 1);
    EXPECT_TRUE(again->regions.At(0)->IsEqual(tumour));
    EXPECT_EQ(again->regions.At(0)->type, 't');
    EXPECT_EQ(again->regions.At(0)->diagnosis, 0);
}

TEST_F(DocAnnotationTest, SavingAMirroredImageWritesOriginalPixelsAndCoordinates) {
    CVistrelDoc* doc = app.OpenDocumentFile(WriteImage("left.pgx"));
    ASSERT_NE(doc, nullptr);
    // As if the orientation rule had mirrored the image at opening.
    ASSERT_TRUE(FlipHorizontal(doc->image));
    doc->autoFlipped = true;
    const CRegion shown = Square(2, 3, 9, 8);  // x 2..9 on screen = x 30..37 in the file
    doc->regions.Add(shown);
    ASSERT_TRUE(doc->SaveImage(Path("left.pgx")));
    EXPECT_EQ(doc->image.GetPixel(0, 0), 39);  // the document keeps showing the mirror

    CMImage written;
    std::string description;
    ASSERT_EQ(written.Open(Path("left.pgx"), description, 0, {}), 1);
    EXPECT_EQ(written.GetPixel(0, 0), 0);
    EXPECT_EQ(written.GetPixel(39, 0), 39);

    CRegions regions, ros;
    int16_t subtlety = 0;
    COverlayPlacement plain;
    plain.imageWidth = 40;
    plain.imageHeight = 30;
    ASSERT_TRUE(ReadOverlay(Path("left.OVERLAY"), plain, description, subtlety, regions, ros));
    ASSERT_EQ(regions.Count(), 1);
    EXPECT_EQ(regions.At(0)->Bounds(), (CRect{30, 3, 38, 9}));

    // Opened again and mirrored back the same way, the outline lands where it was drawn.
    CRegions mirrored = regions;
    mirrored.MirrorHorizontally(40);
    EXPECT_EQ(mirrored.At(0)->Bounds(), shown.Bounds());
}

// A document cut out of a 100x80 image at (10, 5).
class CutOutOverlayTest : public DocAnnotationTest {
  protected:
    void SetUp() override {
        DocAnnotationTest::SetUp();
        doc = MakeDoc(40, 30, 12);
        doc->pathName = Path("cut.pgx");
        doc->originX = 10;
        doc->originY = 5;
        doc->originalWidth = 100;
        doc->originalHeight = 80;
        doc->regions.Add(Square(3, 4, 8, 9));
    }
    std::string FirstOutlineLine(const std::string& path) {
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line))
            if (line.find('#') != std::string::npos) return line;
        return {};
    }
    std::unique_ptr<CVistrelDoc> doc;
};

TEST_F(CutOutOverlayTest, SaveOverlayAsksForTheCoordinateSystem) {
    struct Case {
        int answer;  // 0 yes: current coordinates, 1 no: the source image's
        const char* outlineStart;
        CRect boundsReadBack;  // in the cut-out after reading the file again
    } cases[] = {
        {0, "3 4 ", {0, 0, 0, 0}},  // read as source coordinates: outside the cut-out
        {1, "13 9 ", {3, 4, 9, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        sink.asked.clear();
        sink.answers = {c.answer};
        ui.savePath = Path("answer" + std::to_string(c.answer));
        ui.saveFilter = 0;
        EXPECT_EQ(doc->OnSaveOverlay(), COverlayWriteResult::Written);
        ASSERT_EQ(sink.asked.size(), 1u);
        EXPECT_EQ(sink.asked[0], kOverlayCoordinateQuestion);
        EXPECT_EQ(ui.saveInitialPath, Path("cut.OVERLAY"));
        const std::string file = ui.savePath + ".OVERLAY";
        EXPECT_EQ(FirstOutlineLine(file).rfind(c.outlineStart, 0), 0u) << FirstOutlineLine(file);

        // Read back into the same cut-out through "Open OVER&LAY".
        auto reader = MakeDoc(40, 30, 12);
        reader->originX = 10;
        reader->originY = 5;
        reader->originalWidth = 100;
        reader->regions.Add(Square(30, 20, 33, 23));  // replaced by the file's
        ui.openFilePath = file;
        reader->OnOpenOverlay();
        if (c.boundsReadBack.IsEmpty()) {
            EXPECT_TRUE(reader->regions.IsEmpty());
        } else {
            ASSERT_EQ(reader->regions.Count(), 1);
            EXPECT_EQ(reader->regions.At(0)->Bounds(), doc->regions.At(0)->Bounds());
        }
    }
}

TEST_F(CutOutOverlayTest, SavingTheImageWritesSourceCoordinatesWithoutAsking) {
    ASSERT_TRUE(doc->SaveImage(Path("cut.pgx")));
    EXPECT_TRUE(sink.asked.empty());
    EXPECT_EQ(FirstOutlineLine(Path("cut.OVERLAY")).rfind("13 9 ", 0), 0u);
}

TEST_F(DocAnnotationTest, SaveOverlayDialogOutcomes) {
    auto doc = MakeDoc(20, 20, 8);
    doc->pathName = Path("img.pgx");
    doc->regions.Add(Square(2, 2, 6, 6));
    WriteText(Path("taken.OVERLAY"), "keep me\r\n");
    struct Case {
        const char* name;
        bool dialogOk;
        const char* typed;
        int filter;
        std::deque<int> answers;
        const char* expectedFile;  // nullptr: nothing is written
    } cases[] = {
        {"overlay filter appends its extension", true, "a", 0, {}, "a.OVERLAY"},
        {"txt filter appends its extension", true, "b", 1, {}, "b.txt"},
        {"a typed extension is kept", true, "c.txt", 0, {}, "c.txt"},
        {"cancel", false, "d", 0, {}, nullptr},
        {"refused replacement", true, "taken", 0, {1}, nullptr},
        {"accepted replacement", true, "taken", 0, {0}, "taken.OVERLAY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.saveOk = c.dialogOk;
        ui.savePath = Path(c.typed);
        ui.saveFilter = c.filter;
        sink.answers = c.answers;
        const COverlayWriteResult result = doc->OnSaveOverlay();
        if (c.expectedFile) {
            EXPECT_EQ(result, COverlayWriteResult::Written);
            EXPECT_NE(ReadFileBytes(Path(c.expectedFile)).find("2 2 "), std::string::npos);
        } else {
            EXPECT_EQ(result, COverlayWriteResult::NothingToWrite);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(Path("d.OVERLAY")));
    ASSERT_EQ(ui.saveFilters.size(), 2u);
    EXPECT_EQ(ui.saveFilters[0].Extension(), "OVERLAY");
    EXPECT_EQ(ui.saveFilters[1].Extension(), "txt");
}

TEST_F(DocAnnotationTest, OpenOverlayCancelledKeepsTheAnnotations) {
    auto doc = MakeDoc(20, 20, 8);
    doc->pathName = Path("img.pgx");
    doc->regions.Add(Square(2, 2, 6, 6));
    doc->rosRegions.Add(Square(8, 8, 12, 12));
    ui.openFilePath.clear();
    EXPECT_FALSE(doc->OnOpenOverlay());
    EXPECT_EQ(ui.openFileInitialPath, Path("img.OVERLAY"));
    EXPECT_EQ(doc->regions.Count(), 1);
    EXPECT_EQ(doc->rosRegions.Count(), 1);
}

TEST_F(DocAnnotationTest, ExtractRegionsReplacesRegionsAndShowsThem) {
    // Two 2x2 blocks touching only at a corner, and a separate 3x2 block.
    auto doc = MakeDoc(12, 8, 1);
    for (auto [x, y] : std::vector<std::pair<int, int>>{{1, 1},
                                                        {2, 1},
                                                        {1, 2},
                                                        {2, 2},
                                                        {3, 3},
                                                        {4, 3},
                                                        {3, 4},
                                                        {4, 4},
                                                        {8, 5},
                                                        {9, 5},
                                                        {10, 5},
                                                        {8, 6},
                                                        {9, 6},
                                                        {10, 6}})
        doc->image.SetPixel(x, y, 1);
    doc->regions.Add(Square(0, 0, 5, 5));  // replaced
    struct Case {
        int connectivity;
        std::vector<CRect> bounds;
    } cases[] = {
        {8, {{1, 1, 5, 5}, {8, 5, 11, 7}}},
        {4, {{1, 1, 3, 3}, {3, 3, 5, 5}, {8, 5, 11, 7}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.connectivity);
        app.connectivity = c.connectivity;
        app.showRegions = false;
        CUpdateLog log(*doc);
        ASSERT_TRUE(doc->OnExtractRegions());
        ASSERT_EQ(doc->regions.Count(), static_cast<int32_t>(c.bounds.size()));
        for (std::size_t i = 0; i < c.bounds.size(); ++i)
            EXPECT_EQ(doc->regions.At(static_cast<int32_t>(i))->Bounds(), c.bounds[i]) << i;
        EXPECT_TRUE(app.showRegions);
        EXPECT_EQ(log.codes, std::vector<int>{kUpdateAnnotations});
    }
}

TEST_F(DocAnnotationTest, ExtractRegionsTakesTheMaximumValueAsObject) {
    auto doc = MakeDoc(10, 10, 12);
    for (int y = 2; y < 5; ++y)
        for (int x = 2; x < 6; ++x) doc->image.SetPixel(x, y, 4095);
    for (int y = 6; y < 9; ++y)
        for (int x = 2; x < 6; ++x) doc->image.SetPixel(x, y, 4094);  // not an object
    ASSERT_TRUE(doc->OnExtractRegions());
    ASSERT_EQ(doc->regions.Count(), 1);
    EXPECT_EQ(doc->regions.At(0)->Bounds(), (CRect{2, 2, 6, 5}));

    CVistrelDoc empty(app, 2);
    EXPECT_FALSE(empty.OnExtractRegions());
}

TEST_F(DocAnnotationTest, DiagnosisAndRemovalCommands) {
    auto doc = MakeDoc(40, 40, 8);
    const CRegion a = Square(2, 2, 6, 6), b = Square(10, 10, 14, 14), c = Square(20, 2, 30, 8);
    for (const CRegion* r : {&a, &b, &c}) {
        doc->regions.Add(*r);
        doc->rosRegions.Add(*r);
    }
    CUpdateLog log(*doc);

    EXPECT_TRUE(doc->OnRegionDiagnosis(1, 1));
    EXPECT_EQ(doc->regions.At(0)->diagnosis, 2);
    EXPECT_EQ(doc->regions.At(1)->diagnosis, 1);
    EXPECT_EQ(doc->regions.GetDiagnosisOfSelected(), 1);  // radio check follows
    EXPECT_EQ(doc->rosRegions.At(1)->diagnosis, 2);       // ROS are separate
    EXPECT_FALSE(doc->OnRegionDiagnosis(3, 0));
    EXPECT_FALSE(doc->OnRegionDiagnosis(-1, 0));

    EXPECT_TRUE(doc->OnRosDiagnosis(2, 0));
    EXPECT_EQ(doc->rosRegions.At(2)->diagnosis, 0);
    EXPECT_EQ(doc->regions.At(2)->diagnosis, 2);

    EXPECT_TRUE(doc->OnRemoveRegion(0));
    ASSERT_EQ(doc->regions.Count(), 2);
    EXPECT_TRUE(doc->regions.At(0)->IsEqual(b));
    EXPECT_FALSE(doc->OnRemoveRegion(5));

    EXPECT_TRUE(doc->OnRemoveRos(1));
    ASSERT_EQ(doc->rosRegions.Count(), 2);
    EXPECT_TRUE(doc->rosRegions.At(1)->IsEqual(c));

    EXPECT_EQ(doc->OnRemoveRegionsInsideRoi({0, 0, 0, 0}), 0);
    EXPECT_EQ(doc->OnRemoveRegionsInsideRoi({8, 8, 16, 16}), 1);  // b only
    ASSERT_EQ(doc->regions.Count(), 1);
    EXPECT_TRUE(doc->regions.At(0)->IsEqual(c));

    doc->OnRemoveAllRos();
    EXPECT_TRUE(doc->rosRegions.IsEmpty());
    EXPECT_EQ(doc->regions.Count(), 1);
    doc->OnRemoveAllRegions();
    EXPECT_TRUE(doc->regions.IsEmpty());
    // Every change that happened redrew the overlay; refused ones did not.
    EXPECT_EQ(log.codes, std::vector<int>(7, kUpdateAnnotations));
}

TEST_F(DocAnnotationTest, SetAllDiagnosisRedrawsOnlyWhenLettersAreShown) {
    auto doc = MakeDoc(40, 40, 8);
    doc->regions.Add(Square(2, 2, 6, 6));
    doc->regions.Add(Square(10, 10, 14, 14));
    for (int16_t d : {0, 1, 2}) {
        for (bool letters : {false, true}) {
            SCOPED_TRACE(std::to_string(d) + (letters ? " letters" : ""));
            app.showUserDiagnoses = letters;
            CUpdateLog log(*doc);
            doc->OnSetAllDiagnosis(d);
            EXPECT_EQ(doc->regions.At(0)->diagnosis, d);
            EXPECT_EQ(doc->regions.At(1)->diagnosis, d);
            EXPECT_EQ(log.codes.size(), letters ? 1u : 0u);
        }
    }
}

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

// ---------------------------------------------------------------- results in new windows

class DocNewWindowTest : public DocAnnotationTest {
  protected:
    // A 12-bit 40x30 document whose pixel (x, y) is x + 50 y, owned by the app.
    CVistrelDoc* OpenSource() {
        std::vector<uint16_t> samples;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) samples.push_back(static_cast<uint16_t>(x + 50 * y));
        const std::string path = Path("source.pgx");
        WritePgxFile(path, 40, 30, samples, {"source note"});
        return app.OpenDocumentFile(path);
    }
    // A copy of doc's image with every sample raised by add.
    static std::unique_ptr<CMImage> Shifted(const CVistrelDoc& doc, int add) {
        auto result = std::make_unique<CMImage>(doc.image);
        for (int y = 0; y < result->height; ++y)
            for (int x = 0; x < result->width; ++x)
                result->SetPixel(x, y, result->GetPixel(x, y) + add);
        result->InvalidateHistogram();
        return result;
    }
};

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

// ---------------------------------------------------------------- image commands

class DocCommandTest : public DocNewWindowTest {
  protected:
    // A 12-bit width x height document (not owned by the app) whose pixel
    // (x, y) is 1 + x + 10 y, with an original holding the same plus 1000.
    std::unique_ptr<CVistrelDoc> MakeNumbered(int width, int height) {
        auto doc = MakeDoc(width, height, 12);
        doc->originalImage.Create(width, height, 12, 1);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                doc->image.SetPixel(x, y, 1 + x + 10 * y);
                doc->originalImage.SetPixel(x, y, 1001 + x + 10 * y);
            }
        DeriveDisplayBits(12, doc->displayShift, doc->displayDepth);
        return doc;
    }
    static std::vector<int> Row(const CMImage& image, int y) {
        std::vector<int> row;
        for (int x = 0; x < image.width; ++x) row.push_back(image.GetPixel(x, y));
        return row;
    }
};

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

TEST_F(DocAnnotationTest, SavingAgainAndAgainKeepsTheOverlayAsItIs) {
    // A truth file of the screening database beside the image, and a ROS the
    // radiologist adds before the first save.
    const std::string image = WriteImage("A_0001_1.LEFT_CC.pgx");
    WriteText(Path("A_0001_1.LEFT_CC.OVERLAY"),
              "TOTAL_ABNORMALITIES 1\r\n"
              "ABNORMALITY 1\r\n"
              "LESION_TYPE CALCIFICATION TYPE PLEOMORPHIC DISTRIBUTION CLUSTERED\r\n"
              "ASSESSMENT 4\r\n"
              "SUBTLETY 3\r\n"
              "PATHOLOGY MALIGNANT\r\n"
              "TOTAL_OUTLINES 1\r\n"
              "BOUNDARY\r\n"
              "5 6 2 2 2 2 4 4 4 4 6 6 6 6 0 0 0 0 #\r\n");
    CVistrelDoc* doc = app.OpenDocumentFile(image);
    ASSERT_NE(doc, nullptr);
    CRegion added = Square(20, 10, 28, 18);
    added.diagnosis = 0;
    doc->rosRegions.Add(added);
    ASSERT_TRUE(doc->OnFileSave());
    const std::string first = ReadFileBytes(Path("A_0001_1.LEFT_CC.OVERLAY"));
    EXPECT_EQ(first.rfind("TOTAL_ABNORMALITIES 1\r\nABNORMALITY 1\r\n", 0), 0u) << first;
    EXPECT_NE(first.find("PATHOLOGY MALIGNANT\r\nTOTAL_OUTLINES 1\r\nBOUNDARY\r\n5 6 "),
              std::string::npos)
        << first;
    EXPECT_NE(first.find("#\r\nPATHOLOGY BENIGN\r\nBOUNDARY\r\n20 10 "), std::string::npos)
        << first;
    app.CloseDocument(doc);

    for (int save = 2; save <= 4; ++save) {
        CVistrelDoc* again = app.OpenDocumentFile(image);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->description, "TOTAL_ABNORMALITIES 1\r\n") << "save " << save;
        ASSERT_EQ(again->rosRegions.Count(), 2) << "save " << save;
        EXPECT_EQ(again->rosRegions.At(0)->diagnosis, 1);
        EXPECT_EQ(again->rosRegions.At(1)->diagnosis, 0);
        EXPECT_EQ(again->subtlety, 3);
        ASSERT_TRUE(again->OnFileSave());
        EXPECT_EQ(ReadFileBytes(Path("A_0001_1.LEFT_CC.OVERLAY")), first) << "save " << save;
        app.CloseDocument(again);
    }
}

TEST_F(DocAnnotationTest, ABinaryFileUnderTheOverlayNameIsNotRead) {
    const std::string image = WriteImage("pic.pgx");
    WriteText(Path("pic.OVERLAY"), std::string("BOUNDARY\n5 6 22224444666600#\n\0\x89PNG", 34));
    CVistrelDoc* doc = app.OpenDocumentFile(image);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->description, "");
    EXPECT_TRUE(doc->rosRegions.IsEmpty());
}

}  // namespace
}  // namespace vistrel
