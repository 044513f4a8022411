// Annotations of a document: the OVERLAY beside the image, its dialogs, extracted regions and
// diagnoses.

#include "vistrel_doc_fixture.h"

namespace vistrel {
namespace {

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
