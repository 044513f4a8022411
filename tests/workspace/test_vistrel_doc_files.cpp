// Titles, opening and saving documents: the processed companion, numbering, the save dialogs and
// options.

#include "vistrel_doc_fixture.h"

namespace vistrel {
namespace {

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

}  // namespace
}  // namespace vistrel
