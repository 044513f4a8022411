// The display window of a document: starting windows, display bits, window values, resolution and
// DICOM display.

#include "support/native_file_builders.h"
#include "support/scratch_dir.h"
#include "vistrel_doc_fixture.h"

namespace vistrel {
namespace {

// An 8-bit binary PGM (P5) of the given samples.
void WritePgmFile(const std::string& path, int width, int height,
                  const std::vector<uint8_t>& samples) {
    testsupport::WriteFileBytes(path, testsupport::PgmBytes(width, height, samples));
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

}  // namespace
}  // namespace vistrel
