#include "regions/overlay_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cfloat>
#include <climits>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/messages.h"
#include "point_sets.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"

using namespace vistrel;

namespace {

using regionstest::Rectangle;

class OverlayFile : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return scratch_.Path(name); }
    std::string WriteText(const std::string& name, const std::string& text) const {
        return scratch_.Write(name, text);
    }
    static std::string ReadText(const std::string& path) {
        return testsupport::ReadFileBytes(path);
    }

    testsupport::CScratchDir scratch_{"vistrel_overlay"};
    std::string dir_ = scratch_.path().string();
};

CRegion Shape(int x0, int y0, int w, int h) {
    return CRegion(Rectangle(x0, y0, w, h), CRegion::PointsMode::PixelSet);
}

// An irregular traced outline, so that mirroring changes its chain.
CRegion Irregular(int x0, int y0) {
    CRegion r({{x0, y0}, {x0 + 9, y0 + 2}, {x0 + 5, y0 + 6}, {x0 + 11, y0 + 12}, {x0 + 1, y0 + 9}},
              CRegion::PointsMode::Polygon);
    r.Retrace(false);
    return r;
}

std::set<std::pair<int, int>> PixelSet(const CRegion& r) {
    std::set<std::pair<int, int>> s;
    for (CPoint p : r.Pixels()) s.insert({p.x, p.y});
    return s;
}

COverlayPlacement Plain(int w, int h) {
    COverlayPlacement p;
    p.imageWidth = w;
    p.imageHeight = h;
    return p;
}

}  // namespace

TEST_F(OverlayFile, WritesTheDocumentedLayoutWithCrLf) {
    CRegions ros, regions;
    CRegion lesion("120 45 224660");
    lesion.diagnosis = 0;
    ros.Add(lesion);
    CRegion calc("30 40 2460");
    calc.type = 'm';
    calc.diagnosis = 0;
    calc.clusterNumber = 3;
    calc.scale = 2;
    calc.response = 1.5;
    calc.energy = 0.25;
    calc.mean = 10.0;
    calc.spotX = 31;
    calc.spotY = 41;
    regions.Add(calc);
    CRegion outline("20 20 22224444666600000");
    outline.type = 'c';
    outline.clusterNumber = 1003;
    regions.Add(outline);
    CRegion tumour("60 60 2222446666");
    tumour.type = 't';
    tumour.diagnosis = 1;
    regions.Add(tumour);

    const std::string path = Path("layout.OVERLAY");
    ASSERT_EQ(WriteOverlay(path, "first line\r\nsecond line", regions, ros, Plain(500, 500), true),
              COverlayWriteResult::Written);
    const std::string spot0 = " scale=0 response=0.0000 energy=0.0000 mean=0.0000 x=0 y=0 \r\n";
    EXPECT_EQ(ReadText(path),
              "first line\r\nsecond line\r\n"
              "PATHOLOGY BENIGN\r\nBOUNDARY\r\n120 45 224660#\r\n"
              "REGION MICROCALCIFICATION BENIGN IN CLUSTER 3 scale=2 response=1.5000 "
              "energy=0.2500 mean=10.0000 x=31 y=41 \r\n30 40 2460#\r\n"
              "REGION MICROCALCIFICATION  CLUSTER 3" +
                  spot0 + "20 20 22224444666600000#\r\n" + "TUMOR MALIGNANT " + spot0 +
                  "60 60 2222446666#\r\n");
}

TEST_F(OverlayFile, HeaderLinePieces) {
    struct Case {
        char type;
        int16_t diagnosis;
        int32_t cluster;
        const char* start;
    } cases[] = {
        {'o', 0, 0, "REGION BENIGN  scale="},
        {'o', 2, 0, "REGION   scale="},
        {'m', 1, 12, "REGION MICROCALCIFICATION MALIGNANT IN CLUSTER 12 scale="},
        {'c', 2, 1005, "REGION MICROCALCIFICATION  CLUSTER 5 scale="},
        {'f', 0, 0, "REGION FIBRE BENIGN  scale="},
        {'w', 1, 0, "REGION FIBRE MALIGNANT  scale="},
        {'p', 2, 0, "REGION POINT   scale="},
        {'t', 0, 0, "TUMOR BENIGN  scale="},
        {'d', 2, 0, "DISTORTION   scale="},
        {'x', 1, 1000, "REGION MALIGNANT IN CLUSTER 1000 scale="},
    };
    for (const Case& c : cases) {
        CRegion r("5 5 2460");
        r.type = c.type;
        r.diagnosis = c.diagnosis;
        r.clusterNumber = c.cluster;
        const std::string header = OverlayRegionHeader(r);
        EXPECT_EQ(header.substr(0, std::string(c.start).size()), c.start) << c.type;
        EXPECT_EQ(header.substr(header.size() - 2), " \n") << c.type;
    }
}

TEST_F(OverlayFile, RoundTripKeepsOutlinesDiagnosesTypesClustersAndAttributes) {
    CRegions ros, regions;
    const int16_t pathologies[] = {0, 1, 2};
    for (int i = 0; i < 3; ++i) {
        CRegion r = Irregular(10 + 40 * i, 200);
        r.diagnosis = pathologies[i];
        ros.Add(r);
    }
    struct Kind {
        char type, readType;
        int16_t diagnosis;
        int32_t cluster;
    } kinds[] = {{'o', 'o', 0, 0},    {'o', 'o', 2, 0},    {'m', 'm', 1, 3}, {'m', 'm', 0, 0},
                 {'c', 'c', 2, 1003}, {'c', 'c', 1, 1017}, {'f', 'f', 0, 0}, {'w', 'f', 1, 0},
                 {'p', 'p', 2, 0},    {'t', 't', 1, 0},    {'d', 'd', 0, 0}, {'f', 'f', 2, 4}};
    const int n = static_cast<int>(std::size(kinds));
    for (int i = 0; i < n; ++i) {
        CRegion r = Shape(10 + 15 * i, 20 + (i % 3) * 30, 3 + i % 4, 4 + i % 3);
        r.type = kinds[i].type;
        r.diagnosis = kinds[i].diagnosis;
        r.clusterNumber = kinds[i].cluster;
        r.scale = i + 1;
        r.response = 0.5 + i;
        r.energy = -1.25 * i;
        r.mean = 1000.0625 + i;
        r.spotX = 11 + 15 * i;
        r.spotY = 21 + i;
        regions.Add(r);
    }
    const std::string path = Path("trip.OVERLAY");
    ASSERT_EQ(WriteOverlay(path, "Case A\r\nSUBTLETY 4\r\n", regions, ros, Plain(400, 300), true),
              COverlayWriteResult::Written);

    CRegions readRegions, readRos;
    std::string description;
    int16_t subtlety = 0;
    ASSERT_TRUE(ReadOverlay(path, Plain(400, 300), description, subtlety, readRegions, readRos));
    EXPECT_EQ(subtlety, 4);
    // Each ROS's PATHOLOGY line stays with that ROS, out of the description.
    EXPECT_EQ(description, "Case A\r\nSUBTLETY 4\r\n");
    const char* const lesionLines[] = {"PATHOLOGY BENIGN\nBOUNDARY\n",
                                       "PATHOLOGY MALIGNANT\nBOUNDARY\n",
                                       "PATHOLOGY -\nBOUNDARY\n"};
    ASSERT_EQ(readRos.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(readRos.At(i)->IsEqual(*ros.At(i))) << "ROS " << i;
        EXPECT_EQ(readRos.At(i)->diagnosis, pathologies[i]) << "ROS " << i;
        EXPECT_EQ(readRos.At(i)->lesionLines, lesionLines[i]) << "ROS " << i;
    }
    ASSERT_EQ(readRegions.Count(), n);
    for (int i = 0; i < n; ++i) {
        const CRegion& a = *regions.At(i);
        const CRegion& b = *readRegions.At(i);
        EXPECT_TRUE(b.IsEqual(a)) << "region " << i;
        EXPECT_EQ(b.type, kinds[i].readType) << "region " << i;
        EXPECT_EQ(b.diagnosis, a.diagnosis) << "region " << i;
        EXPECT_EQ(b.clusterNumber, a.clusterNumber) << "region " << i;
        EXPECT_EQ(b.scale, a.scale) << "region " << i;
        EXPECT_DOUBLE_EQ(b.response, a.response) << "region " << i;
        EXPECT_DOUBLE_EQ(b.energy, a.energy) << "region " << i;
        EXPECT_DOUBLE_EQ(b.mean, a.mean) << "region " << i;
        EXPECT_EQ(b.spotX, a.spotX) << "region " << i;
        EXPECT_EQ(b.spotY, a.spotY) << "region " << i;
    }

    // Reading the same file again adds nothing: equal outlines are skipped.
    ASSERT_TRUE(ReadOverlay(path, Plain(400, 300), description, subtlety, readRegions, readRos));
    EXPECT_EQ(readRegions.Count(), n);
    EXPECT_EQ(readRos.Count(), 3);
}

TEST_F(OverlayFile, PathologyBoundaryAndCoreRules) {
    const std::string path = WriteText("rules.OVERLAY",
                                       "BOUNDARY\r\n10 10 2460#\r\n"  // no PATHOLOGY: malignant
                                       "PATHOLOGY -\r\nCORE\r\n20 10 2460#\r\n"  // CORE = BOUNDARY
                                       "PATHOLOGY BENIGN\r\nBOUNDARY\r\n30 10 2460#\r\n"
                                       "BOUNDARY\r\n40 10 2460#\r\n");  // pathology back to 1
    CRegions regions, ros;
    std::string description;
    int16_t subtlety = -5;
    ASSERT_TRUE(ReadOverlay(path, Plain(100, 100), description, subtlety, regions, ros));
    ASSERT_EQ(ros.Count(), 4);
    const int16_t expected[] = {1, 2, 0, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ros.At(i)->StartX(), 10 + 10 * i);
        EXPECT_EQ(ros.At(i)->diagnosis, expected[i]) << "ROS " << i;
    }
    EXPECT_EQ(regions.Count(), 0);
    EXPECT_EQ(subtlety, -5) << "no SUBTLETY line";
    // Every PATHOLOGY line leads straight to its outline: none is description.
    EXPECT_EQ(description, "");
    EXPECT_EQ(ros.At(1)->lesionLines, "PATHOLOGY -\nCORE\n");
    EXPECT_EQ(ros.At(2)->lesionLines, "PATHOLOGY BENIGN\nBOUNDARY\n");
}

TEST_F(OverlayFile, LaterHeaderWinsAndHeadersWithoutOutlineStayDescription) {
    const std::string path =
        WriteText("headers.OVERLAY",
                  "REGION BENIGN IN CLUSTER 2 scale=1 response=1 energy=1 mean=1 x=1 y=1\n"
                  "TUMOR MALIGNANT scale=7 response=2.5 energy=3 mean=4 x=5 y=6\n"
                  "40 40 2460#\n"
                  "REGION FIBRE BENIGN\n"
                  "not an outline\n"
                  "REGION POINT\n");
    CRegions regions, ros;
    std::string description;
    int16_t subtlety = 0;
    ASSERT_TRUE(ReadOverlay(path, Plain(100, 100), description, subtlety, regions, ros));
    ASSERT_EQ(regions.Count(), 1);
    const CRegion& r = *regions.At(0);
    EXPECT_EQ(r.type, 't');
    EXPECT_EQ(r.diagnosis, 1);
    EXPECT_EQ(r.clusterNumber, 0);
    EXPECT_EQ(r.scale, 7);
    EXPECT_DOUBLE_EQ(r.response, 2.5);
    EXPECT_EQ(r.spotY, 6);
    EXPECT_EQ(description,
              "REGION BENIGN IN CLUSTER 2 scale=1 response=1 energy=1 mean=1 x=1 y=1\r\n"
              "REGION FIBRE BENIGN\r\nnot an outline\r\nREGION POINT\r\n");
}

TEST_F(OverlayFile, SpotValuesWithMissingParts) {
    struct Case {
        const char* header;
        int scale;
        double response, energy, mean;
        int x, y;
    } cases[] = {
        {"REGION BENIGN", INT_MIN, -DBL_MAX, -DBL_MAX, -DBL_MAX, 0, 0},
        // An older layout ending at the mean: x and y are not read.
        {"REGION scale=2 response=1.5 energy=0.5 mean=7.25", 2, 1.5, 0.5, 7.25, 0, 0},
        {"REGION scale=2 response=1.5 energy=0.5 mean=7.25 x=9", 2, 1.5, 0.5, 7.25, 9, INT_MIN},
        {"REGION scale=2 response=1.5 energy=0.5 mean=7.25 x=9 y=", 2, 1.5, 0.5, 7.25, 9, INT_MIN},
        {"REGION scale=x response= energy=0.5 mean=7.25 x=9 y=3", INT_MIN, -DBL_MAX, 0.5, 7.25, 9,
         3},
        // The names before '=' are not checked.
        {"REGION a=3 b=4 c=5 d=6 e=7 f=8", 3, 4, 5, 6, 7, 8},
    };
    for (const Case& c : cases) {
        const std::string path = WriteText("spot.OVERLAY", std::string(c.header) + "\n5 5 2460#\n");
        CRegions regions, ros;
        std::string description;
        int16_t subtlety = 0;
        ASSERT_TRUE(ReadOverlay(path, Plain(50, 50), description, subtlety, regions, ros));
        ASSERT_EQ(regions.Count(), 1) << c.header;
        const CRegion& r = *regions.At(0);
        EXPECT_EQ(r.scale, c.scale) << c.header;
        EXPECT_EQ(r.response, c.response) << c.header;
        EXPECT_EQ(r.energy, c.energy) << c.header;
        EXPECT_EQ(r.mean, c.mean) << c.header;
        EXPECT_EQ(r.spotX, c.x) << c.header;
        EXPECT_EQ(r.spotY, c.y) << c.header;
        std::remove(path.c_str());
    }
}

TEST_F(OverlayFile, MissingValuesSurviveAnotherRoundTrip) {
    const std::string in = WriteText("missing.OVERLAY", "REGION BENIGN\n5 5 2460#\n");
    CRegions regions, ros;
    std::string description;
    int16_t subtlety = 0;
    ASSERT_TRUE(ReadOverlay(in, Plain(50, 50), description, subtlety, regions, ros));
    const std::string out = Path("missing2.OVERLAY");
    ASSERT_EQ(WriteOverlay(out, description, regions, ros, Plain(50, 50), true),
              COverlayWriteResult::Written);
    CRegions again, againRos;
    ASSERT_TRUE(ReadOverlay(out, Plain(50, 50), description, subtlety, again, againRos));
    ASSERT_EQ(again.Count(), 1);
    EXPECT_EQ(again.At(0)->scale, INT_MIN);
    EXPECT_EQ(again.At(0)->response, -DBL_MAX);
    EXPECT_EQ(again.At(0)->mean, -DBL_MAX);
}

TEST_F(OverlayFile, UnparsableOutlinesAreNotAdded) {
    const std::string path = WriteText("bad.OVERLAY",
                                       "PATHOLOGY BENIGN\nBOUNDARY\n0 10 2460#\n"
                                       "BOUNDARY\n12 10 2460#\n"
                                       "REGION BENIGN\n10 0 2460#\n"
                                       "REGION BENIGN\n10 10 29#\n"
                                       "  \t  \n"
                                       "REGION MALIGNANT\n\t 20 20 2460  #\r\n");
    CRegions regions, ros;
    std::string description;
    int16_t subtlety = 0;
    ASSERT_TRUE(ReadOverlay(path, Plain(100, 100), description, subtlety, regions, ros));
    ASSERT_EQ(ros.Count(), 1);
    EXPECT_EQ(ros.At(0)->StartX(), 12);
    EXPECT_EQ(ros.At(0)->diagnosis, 1) << "the bad outline consumed the benign pathology";
    ASSERT_EQ(regions.Count(), 1) << "surrounding blanks are trimmed";
    EXPECT_EQ(regions.At(0)->StartX(), 20);
    EXPECT_EQ(regions.At(0)->diagnosis, 1);
}

TEST_F(OverlayFile, StrayHugeOutlinesAreDroppedWithoutFillingThem) {
    // An outline far larger than the image, in a mirrored document: it must be
    // dropped by its bounds, never turned into a pixel set of 1e10 pixels.
    const std::string path =
        WriteText("huge.OVERLAY", "BOUNDARY\n1 1 " + std::string(100000, '3') +
                                      std::string(100000, '7') + "#\nBOUNDARY\n10 10 2460#\n");
    COverlayPlacement flipped = Plain(100, 100);
    flipped.autoFlipped = true;
    CRegions regions, ros;
    std::string description;
    int16_t subtlety = 0;
    ASSERT_TRUE(ReadOverlay(path, flipped, description, subtlety, regions, ros));
    ASSERT_EQ(ros.Count(), 1);
    EXPECT_EQ(ros.At(0)->Bounds(), (CRect{88, 10, 90, 12}));
}

TEST_F(OverlayFile, OutlineWithoutClosingHashKeepsItsLastCode) {
    const std::string path = WriteText("nohash.OVERLAY", "BOUNDARY\n10 10 22446600\n");
    CRegions regions, ros;
    std::string description;
    int16_t subtlety = 0;
    ASSERT_TRUE(ReadOverlay(path, Plain(100, 100), description, subtlety, regions, ros));
    ASSERT_EQ(ros.Count(), 1);
    EXPECT_EQ(ros.At(0)->ToText(), "10 10 22446600");
}

TEST_F(OverlayFile, DdsmStyleFile) {
    // Laid out like the truth files of the screening database: abnormality
    // blocks with lesion descriptions, outlines with separated codes, a CORE
    // outline after its BOUNDARY, tabs and blank lines.
    const std::string path =
        WriteText("A_1234_1.LEFT_CC.OVERLAY",
                  "TOTAL_ABNORMALITIES 2\r\n"
                  "ABNORMALITY 1\r\n"
                  "LESION_TYPE CALCIFICATION TYPE PLEOMORPHIC DISTRIBUTION REGIONAL\r\n"
                  "ASSESSMENT 4\r\n"
                  "SUBTLETY 3\r\n"
                  "PATHOLOGY MALIGNANT\r\n"
                  "TOTAL_OUTLINES 1\r\n"
                  "BOUNDARY\r\n"
                  "1500 2000 2 2 2 3 4 5 6 6 6 7 0 1 #\r\n"
                  "ABNORMALITY 2\r\n"
                  "LESION_TYPE MASS SHAPE ARCHITECTURAL_DISTORTION MARGINS SPICULATED\r\n"
                  "ASSESSMENT 3\r\n"
                  "SUBTLETY 2\t\r\n"
                  "PATHOLOGY BENIGN_WITHOUT_CALLBACK\r\n"
                  "TOTAL_OUTLINES 2\r\n"
                  "\tBOUNDARY\r\n"
                  "800 900 2 2 2 2 4 4 4 4 6 6 6 6 0 0 0 0 #\r\n"
                  "CORE\r\n"
                  "801 901 2 2 4 4 6 6 0 0 #\r\n"
                  "\r\n");
    CRegions regions, ros;
    std::string description;
    int16_t subtlety = 0;
    ASSERT_TRUE(ReadOverlay(path, Plain(3000, 4000), description, subtlety, regions, ros));
    EXPECT_EQ(subtlety, 2);
    EXPECT_EQ(regions.Count(), 0);
    ASSERT_EQ(ros.Count(), 3);
    EXPECT_EQ(ros.At(0)->ToText(), "1500 2000 222345666701");
    EXPECT_TRUE(ros.At(0)->IsClosed());
    EXPECT_EQ(ros.At(0)->diagnosis, 1);
    EXPECT_EQ(ros.At(1)->StartX(), 800);
    EXPECT_EQ(ros.At(1)->diagnosis, 0);
    // The core outline of the benign lesion is benign too.
    EXPECT_EQ(ros.At(2)->StartX(), 801);
    EXPECT_EQ(ros.At(2)->diagnosis, 0);
    EXPECT_TRUE(ros.At(2)->LiesInside(*ros.At(1)));
    // Each abnormality block describes the outline it leads to and stays with
    // it; the keyword lines inside ("REGIONAL", "DISTORTION") are no headers.
    EXPECT_EQ(description, "TOTAL_ABNORMALITIES 2\r\n");
    EXPECT_EQ(ros.At(0)->lesionLines,
              "ABNORMALITY 1\n"
              "LESION_TYPE CALCIFICATION TYPE PLEOMORPHIC DISTRIBUTION REGIONAL\n"
              "ASSESSMENT 4\nSUBTLETY 3\nPATHOLOGY MALIGNANT\nTOTAL_OUTLINES 1\nBOUNDARY\n");
    EXPECT_EQ(ros.At(1)->lesionLines,
              "ABNORMALITY 2\n"
              "LESION_TYPE MASS SHAPE ARCHITECTURAL_DISTORTION MARGINS SPICULATED\n"
              "ASSESSMENT 3\nSUBTLETY 2\nPATHOLOGY BENIGN_WITHOUT_CALLBACK\nTOTAL_OUTLINES 2\n"
              "BOUNDARY\n");
    EXPECT_EQ(ros.At(2)->lesionLines, "CORE\n");
}

TEST_F(OverlayFile, OutlinesOutsideTheImageAreDropped) {
    const std::string path = WriteText("crop.OVERLAY",
                                       "BOUNDARY\n10 10 2460#\nBOUNDARY\n99 10 2460#\n"
                                       "REGION\n98 98 2460#\nREGION\n98 99 2460#\n");
    CRegions regions, ros;
    std::string description;
    int16_t subtlety = 0;
    ASSERT_TRUE(ReadOverlay(path, Plain(100, 100), description, subtlety, regions, ros));
    ASSERT_EQ(ros.Count(), 1);
    EXPECT_EQ(ros.At(0)->StartX(), 10);
    ASSERT_EQ(regions.Count(), 1);
    EXPECT_EQ(regions.At(0)->StartY(), 98);
}

TEST_F(OverlayFile, CutOutDocumentCoordinates) {
    // A 200 x 150 cut-out at (100, 50) of a 1000 x 800 image.
    COverlayPlacement cut = Plain(200, 150);
    cut.originX = 100;
    cut.originY = 50;
    cut.originalWidth = 1000;
    CRegions ros, regions;
    CRegion near = Irregular(150, 100);
    near.diagnosis = 0;
    ros.Add(near);
    // Read as source coordinates this one falls outside the cut-out.
    CRegion far = Shape(20, 10, 5, 5);
    far.spotX = 22;
    far.spotY = 12;
    regions.Add(far);
    regions.Add(Shape(120, 70, 4, 4));

    // The writer asks nothing: the document asks and tells it which to use.
    struct Case {
        const char* name;
        bool currentCoordinates;
        int shiftX, shiftY;  // where outlines land when read back into the cut-out
        int regionsBack;
    } cases[] = {
        {"source coordinates", false, 0, 0, 2},
        {"current coordinates", true, -100, -50, 1},
    };
    for (const Case& c : cases) {
        testsupport::CRecordingSink sink;
        sink.answers = {0, 0};
        CScopedMessageSink scope(&sink);
        const std::string path = Path("cut.OVERLAY");
        ASSERT_EQ(WriteOverlay(path, "", regions, ros, cut, c.currentCoordinates),
                  COverlayWriteResult::Written)
            << c.name;
        EXPECT_TRUE(sink.asked.empty()) << c.name;
        CRegions readRegions, readRos;
        std::string description;
        int16_t subtlety = 0;
        ASSERT_TRUE(ReadOverlay(path, cut, description, subtlety, readRegions, readRos));
        ASSERT_EQ(readRos.Count(), 1) << c.name;
        CRegion expected(near);
        expected.Translate(-c.shiftX, -c.shiftY);
        EXPECT_TRUE(readRos.At(0)->IsEqual(expected)) << c.name;
        EXPECT_EQ(readRos.At(0)->diagnosis, 0) << c.name;
        ASSERT_EQ(readRegions.Count(), c.regionsBack) << c.name;
        if (c.regionsBack == 2) {
            EXPECT_TRUE(readRegions.At(0)->IsEqual(far)) << c.name;
            EXPECT_EQ(readRegions.At(0)->spotX, 22) << c.name;
        }
        std::remove(path.c_str());
    }
}

TEST_F(OverlayFile, MirroredImageWritesAndReadsUnmirroredCoordinates) {
    const int W = 300;
    COverlayPlacement flipped = Plain(W, 200);
    flipped.autoFlipped = true;
    CRegions regions, ros;
    CRegion shown = Irregular(30, 40);
    shown.spotX = 35;
    regions.Add(shown);
    const std::string path = Path("flip.OVERLAY");
    ASSERT_EQ(WriteOverlay(path, "", regions, ros, flipped, true), COverlayWriteResult::Written);

    // The file holds the outline of the unmirrored image.
    CRegions inFile, none;
    std::string description;
    int16_t subtlety = 0;
    ASSERT_TRUE(ReadOverlay(path, Plain(W, 200), description, subtlety, inFile, none));
    ASSERT_EQ(inFile.Count(), 1);
    std::set<std::pair<int, int>> mirrored;
    for (CPoint p : shown.Pixels()) mirrored.insert({W - 1 - p.x, p.y});
    EXPECT_EQ(PixelSet(*inFile.At(0)), mirrored);
    EXPECT_EQ(inFile.At(0)->spotX, W - 1 - 35);

    // Read into the mirrored image it lands where it was drawn.
    CRegions back;
    ASSERT_TRUE(ReadOverlay(path, flipped, description, subtlety, back, none));
    ASSERT_EQ(back.Count(), 1);
    EXPECT_TRUE(back.At(0)->IsEqual(shown));
    EXPECT_EQ(back.At(0)->spotX, 35);
}

TEST_F(OverlayFile, MirroredCutOutRoundTrip) {
    // A cut-out of a mirrored 1000-wide image, saved in source coordinates.
    COverlayPlacement cut = Plain(200, 150);
    cut.originX = 700;
    cut.originY = 20;
    cut.originalWidth = 1000;
    cut.autoFlipped = true;
    CRegions regions, ros;
    const CRegion shown = Irregular(20, 30);
    regions.Add(shown);
    const std::string path = Path("flipcut.OVERLAY");
    ASSERT_EQ(WriteOverlay(path, "", regions, ros, cut, false), COverlayWriteResult::Written);
    CRegions source, none;
    std::string description;
    int16_t subtlety = 0;
    ASSERT_TRUE(ReadOverlay(path, Plain(1000, 800), description, subtlety, source, none));
    ASSERT_EQ(source.Count(), 1);
    std::set<std::pair<int, int>> expected;
    for (CPoint p : shown.Pixels()) expected.insert({1000 - 1 - (p.x + 700), p.y + 20});
    EXPECT_EQ(PixelSet(*source.At(0)), expected);

    CRegions back;
    ASSERT_TRUE(ReadOverlay(path, cut, description, subtlety, back, none));
    ASSERT_EQ(back.Count(), 1);
    EXPECT_TRUE(back.At(0)->IsEqual(shown));
}

TEST_F(OverlayFile, NothingToWriteLeavesAnExistingFileAlone) {
    const std::string path = WriteText("keep.OVERLAY", "old content\n");
    CRegions empty;
    EXPECT_EQ(WriteOverlay(path, "", empty, empty, Plain(10, 10), false),
              COverlayWriteResult::NothingToWrite);
    EXPECT_EQ(ReadText(path), "old content\n");
}

TEST_F(OverlayFile, InvalidRegionsAreSkippedAndDescriptionAloneIsWritten) {
    CRegions regions;
    regions.Add(Shape(3, 3, 3, 3));
    regions.At(0)->Translate(4, 0);  // start on x = -1: an empty outline
    const std::string path = Path("desc.OVERLAY");
    ASSERT_EQ(WriteOverlay(path, "only text\n", regions, CRegions(), Plain(10, 10), true),
              COverlayWriteResult::Written);
    EXPECT_EQ(ReadText(path), "only text\r\n");
}

TEST_F(OverlayFile, FailuresAreReported) {
    testsupport::CRecordingSink sink;
    CScopedMessageSink scope(&sink);
    CRegions regions;
    regions.Add(Shape(3, 3, 3, 3));
    EXPECT_EQ(
        WriteOverlay(dir_ + "/no/such/dir/x.OVERLAY", "", regions, CRegions(), Plain(10, 10), true),
        COverlayWriteResult::Failed);
    EXPECT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(WriteOverlay("", "", regions, CRegions(), Plain(10, 10), true),
              COverlayWriteResult::Failed);

    CRegions ros;
    std::string description = "kept";
    int16_t subtlety = 7;
    EXPECT_FALSE(
        ReadOverlay(dir_ + "/missing.OVERLAY", Plain(10, 10), description, subtlety, regions, ros));
    EXPECT_FALSE(ReadOverlay("", Plain(10, 10), description, subtlety, regions, ros));
    EXPECT_EQ(description, "kept");
    EXPECT_EQ(subtlety, 7);
    EXPECT_EQ(regions.Count(), 1);
}

namespace {

// A truth file of the screening database: a calcification cluster, and a
// mass with its core outline. Codes are separated by blanks, as there.
const char* const kScreeningFile =
    "TOTAL_ABNORMALITIES 2\r\n"
    "ABNORMALITY 1\r\n"
    "LESION_TYPE CALCIFICATION TYPE PLEOMORPHIC DISTRIBUTION CLUSTERED\r\n"
    "ASSESSMENT 4\r\n"
    "SUBTLETY 3\r\n"
    "PATHOLOGY MALIGNANT\r\n"
    "TOTAL_OUTLINES 1\r\n"
    "BOUNDARY\r\n"
    "1500 2000 2 2 2 3 4 5 6 6 6 7 0 1 #\r\n"
    "ABNORMALITY 2\r\n"
    "LESION_TYPE MASS SHAPE OVAL MARGINS CIRCUMSCRIBED\r\n"
    "ASSESSMENT 3\r\n"
    "SUBTLETY 4\r\n"
    "PATHOLOGY BENIGN_WITHOUT_CALLBACK\r\n"
    "TOTAL_OUTLINES 2\r\n"
    "BOUNDARY\r\n"
    "800 900 2 2 2 2 4 4 4 4 6 6 6 6 0 0 0 0 #\r\n"
    "CORE\r\n"
    "801 901 2 2 4 4 6 6 0 0 #\r\n";

// What the workstation writes for it: the same records with compact codes.
const char* const kScreeningFileSaved =
    "TOTAL_ABNORMALITIES 2\r\n"
    "ABNORMALITY 1\r\n"
    "LESION_TYPE CALCIFICATION TYPE PLEOMORPHIC DISTRIBUTION CLUSTERED\r\n"
    "ASSESSMENT 4\r\n"
    "SUBTLETY 3\r\n"
    "PATHOLOGY MALIGNANT\r\n"
    "TOTAL_OUTLINES 1\r\n"
    "BOUNDARY\r\n"
    "1500 2000 222345666701#\r\n"
    "ABNORMALITY 2\r\n"
    "LESION_TYPE MASS SHAPE OVAL MARGINS CIRCUMSCRIBED\r\n"
    "ASSESSMENT 3\r\n"
    "SUBTLETY 4\r\n"
    "PATHOLOGY BENIGN_WITHOUT_CALLBACK\r\n"
    "TOTAL_OUTLINES 2\r\n"
    "BOUNDARY\r\n"
    "800 900 2222444466660000#\r\n"
    "CORE\r\n"
    "801 901 22446600#\r\n";

struct COverlayContents {
    std::string description;
    int16_t subtlety = 0;
    CRegions regions, ros;
};

std::vector<std::string> LesionLinesOf(const CRegions& ros) {
    std::vector<std::string> lines;
    for (int32_t i = 0; i < ros.Count(); ++i) lines.push_back(ros.At(i)->lesionLines);
    return lines;
}

std::vector<int16_t> DiagnosesOf(const CRegions& ros) {
    std::vector<int16_t> diagnoses;
    for (int32_t i = 0; i < ros.Count(); ++i) diagnoses.push_back(ros.At(i)->diagnosis);
    return diagnoses;
}

}  // namespace

class OverlaySaves : public OverlayFile {
  protected:
    COverlayContents Open(const std::string& path, const COverlayPlacement& placement) {
        COverlayContents c;
        EXPECT_TRUE(ReadOverlay(path, placement, c.description, c.subtlety, c.regions, c.ros))
            << path;
        return c;
    }
    // What a document opened on `in` writes when saved to `out`, as a
    // non-interactive save of the image does.
    std::string OpenAndSave(const std::string& in, const std::string& out,
                            const COverlayPlacement& placement) {
        const COverlayContents c = Open(in, placement);
        EXPECT_EQ(WriteOverlay(out, c.description, c.regions, c.ros, placement, false),
                  COverlayWriteResult::Written)
            << in;
        return ReadText(out);
    }
};

TEST_F(OverlaySaves, EverySaveAfterTheFirstWritesTheSameBytes) {
    // The workstation's own layout, as it writes it.
    CRegions ros, regions;
    for (int i = 0; i < 3; ++i) {
        CRegion r = Irregular(20 + 60 * i, 100);
        r.diagnosis = static_cast<int16_t>(i);
        ros.Add(r);
    }
    const char types[] = {'m', 'c', 't', 'o'};
    for (int i = 0; i < 4; ++i) {
        CRegion r = Shape(10 + 20 * i, 30, 4, 5);
        r.type = types[i];
        r.diagnosis = static_cast<int16_t>(i % 3);
        r.clusterNumber = types[i] == 'm' ? 1 : types[i] == 'c' ? 1001 : 0;
        r.scale = i + 1;
        r.response = 0.25 * i;
        r.spotX = 12 + 20 * i;
        r.spotY = 32;
        regions.Add(r);
    }
    const std::string own = Path("own.OVERLAY");
    ASSERT_EQ(WriteOverlay(own, "Case 12\r\nSUBTLETY 2\r\nnote: dense tissue\r\n", regions, ros,
                           Plain(400, 300), true),
              COverlayWriteResult::Written);
    // As the earlier workstation left that layout after two saves: copies of
    // the PATHOLOGY lines in the description. They must not multiply further.
    const std::string grown = WriteText("grown.OVERLAY",
                                        "Case 12\r\nPATHOLOGY BENIGN\r\nPATHOLOGY MALIGNANT\r\n"
                                        "PATHOLOGY BENIGN\r\nPATHOLOGY MALIGNANT\r\n"
                                        "PATHOLOGY BENIGN\r\nBOUNDARY\r\n10 10 2460#\r\n"
                                        "PATHOLOGY MALIGNANT\r\nBOUNDARY\r\n20 10 2460#\r\n");
    const std::string screening = WriteText("A_1234_1.LEFT_CC.OVERLAY", kScreeningFile);

    COverlayPlacement mirrored = Plain(3000, 4000);
    mirrored.autoFlipped = true;
    COverlayPlacement cut = Plain(1000, 1500);  // holds every outline of the screening file
    cut.originX = 700;
    cut.originY = 800;
    cut.originalWidth = 3000;
    COverlayPlacement mirroredCut = cut;
    mirroredCut.autoFlipped = true;
    mirroredCut.originX = 3000 - 1700;

    struct Case {
        const char* name;
        std::string file;
        COverlayPlacement placement;
        std::string firstSave;  // empty: only later saves are compared
    } cases[] = {
        {"own layout", own, Plain(400, 300), ReadText(own)},
        {"grown description", grown, Plain(100, 100), ReadText(grown)},
        {"screening database", screening, Plain(3000, 4000), kScreeningFileSaved},
        {"screening database, cut out", screening, cut, kScreeningFileSaved},
        // Mirroring retraces the outlines, which may start them elsewhere.
        {"screening database, mirrored", screening, mirrored, ""},
        {"screening database, mirrored cut-out", screening, mirroredCut, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const COverlayContents original = Open(c.file, c.placement);
        const std::string first = OpenAndSave(c.file, Path("first.OVERLAY"), c.placement);
        if (!c.firstSave.empty()) {
            EXPECT_EQ(first, c.firstSave);
        }
        std::string previous = Path("first.OVERLAY");
        for (int save = 2; save <= 5; ++save) {
            const std::string next = Path("save" + std::to_string(save) + ".OVERLAY");
            EXPECT_EQ(OpenAndSave(previous, next, c.placement), first) << "save " << save;
            previous = next;
        }
        const COverlayContents reopened = Open(previous, c.placement);
        EXPECT_EQ(reopened.description, original.description);
        EXPECT_EQ(reopened.subtlety, original.subtlety);
        EXPECT_EQ(LesionLinesOf(reopened.ros), LesionLinesOf(original.ros));
        EXPECT_EQ(DiagnosesOf(reopened.ros), DiagnosesOf(original.ros));
        ASSERT_EQ(reopened.ros.Count(), original.ros.Count());
        for (int32_t i = 0; i < original.ros.Count(); ++i)
            EXPECT_EQ(PixelSet(*reopened.ros.At(i)), PixelSet(*original.ros.At(i))) << "ROS " << i;
        EXPECT_EQ(reopened.regions.Count(), original.regions.Count());
    }
}

TEST_F(OverlaySaves, ChangedDiagnosesRewriteOnlyThePathologyOfTheirLesion) {
    const std::string file = WriteText("case.OVERLAY", kScreeningFile);
    struct Case {
        const char* name;
        std::vector<int16_t> diagnoses;  // after the edit, per remaining ROS
        bool removeMass;                 // the mass boundary (ROS 1) is deleted
        std::string expectedPart;
    } cases[] = {
        {"calcification made benign",
         {0, 0, 0},
         false,
         "SUBTLETY 3\r\nPATHOLOGY BENIGN\r\nTOTAL_OUTLINES 1\r\nBOUNDARY\r\n1500 2000 "},
        // The benign core no longer follows an outline of its pathology.
        {"mass made false",
         {1, 2, 0},
         false,
         "SUBTLETY 4\r\nPATHOLOGY -\r\nTOTAL_OUTLINES 2\r\nBOUNDARY\r\n800 900 2222444466660000#"
         "\r\nPATHOLOGY BENIGN\r\nCORE\r\n801 901 "},
        {"core made malignant",
         {1, 0, 1},
         false,
         "PATHOLOGY BENIGN_WITHOUT_CALLBACK\r\nTOTAL_OUTLINES 2\r\nBOUNDARY\r\n800 900 "
         "2222444466660000#\r\nPATHOLOGY MALIGNANT\r\nCORE\r\n801 901 "},
        {"mass boundary deleted",
         {1, 0},
         true,
         "TOTAL_OUTLINES 1\r\nBOUNDARY\r\n1500 2000 222345666701#\r\n"
         "PATHOLOGY BENIGN\r\nCORE\r\n801 901 22446600#\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        COverlayContents doc = Open(file, Plain(3000, 4000));
        ASSERT_EQ(doc.ros.Count(), 3);
        if (c.removeMass) {
            doc.ros.Select(1);
            ASSERT_TRUE(doc.ros.RemoveSelected());
        }
        ASSERT_EQ(doc.ros.Count(), static_cast<int32_t>(c.diagnoses.size()));
        for (int32_t i = 0; i < doc.ros.Count(); ++i) doc.ros.At(i)->diagnosis = c.diagnoses[i];
        const std::string out = Path("edited.OVERLAY");
        ASSERT_EQ(WriteOverlay(out, doc.description, doc.regions, doc.ros, Plain(3000, 4000), true),
                  COverlayWriteResult::Written);
        const std::string text = ReadText(out);
        EXPECT_NE(text.find(c.expectedPart), std::string::npos) << text;
        EXPECT_EQ(text.find("ABNORMALITY 2") == std::string::npos, c.removeMass) << text;
        const COverlayContents back = Open(out, Plain(3000, 4000));
        EXPECT_EQ(back.description, "TOTAL_ABNORMALITIES 2\r\n");
        EXPECT_EQ(DiagnosesOf(back.ros), c.diagnoses);
    }
}

TEST_F(OverlaySaves, LesionLinesTravelWithTheirOutline) {
    const std::string file = WriteText("case.OVERLAY", kScreeningFile);
    const COverlayContents doc = Open(file, Plain(3000, 4000));
    const std::vector<std::string> lines = LesionLinesOf(doc.ros);
    ASSERT_EQ(lines.size(), 3u);
    ASSERT_EQ(lines[2], "CORE\n");

    CRegions rotated = doc.ros;
    ASSERT_TRUE(rotated.Rotate(4000, 3000, 90));
    EXPECT_EQ(LesionLinesOf(rotated), lines);
    CRegions mirrored = doc.ros;
    mirrored.MirrorVertically(4000);
    EXPECT_EQ(LesionLinesOf(mirrored), lines);
    CRegions cut = doc.ros;
    cut.CropTo(CRect{700, 800, 1700, 2300});
    EXPECT_EQ(LesionLinesOf(cut), lines);

    // The rotated outlines are written with their blocks, in their order.
    const std::string out = Path("rotated.OVERLAY");
    ASSERT_EQ(WriteOverlay(out, doc.description, doc.regions, rotated, Plain(4000, 3000), true),
              COverlayWriteResult::Written);
    const std::string text = ReadText(out);
    const size_t first = text.find("ABNORMALITY 1\r\n"), second = text.find("ABNORMALITY 2\r\n");
    ASSERT_NE(first, std::string::npos) << text;
    ASSERT_NE(second, std::string::npos) << text;
    EXPECT_LT(first, second);
    EXPECT_NE(text.find("#\r\nCORE\r\n"), std::string::npos) << text;
}

TEST_F(OverlaySaves, LinesThatDoNotLeadToAnOutlineStayDescription) {
    struct Case {
        const char* name;
        std::string file;
        std::string description;
        std::vector<std::string> lesionLines;
        std::vector<int16_t> diagnoses;
    } cases[] = {
        {"note between pathology and outline",
         "PATHOLOGY BENIGN\nfree note\nBOUNDARY\n10 10 2460#\n",
         "PATHOLOGY BENIGN\r\nfree note\r\n",
         {"BOUNDARY\n"},
         {0}},
        {"unparsable outline",
         "ABNORMALITY 1\nPATHOLOGY BENIGN\nBOUNDARY\n0 10 2460#\n",
         "ABNORMALITY 1\r\nPATHOLOGY BENIGN\r\n",
         {},
         {}},
        {"region outline in between",
         "PATHOLOGY BENIGN\nREGION BENIGN\n5 5 2460#\nBOUNDARY\n10 10 2460#\n",
         "PATHOLOGY BENIGN\r\n",
         {"BOUNDARY\n"},
         {0}},
        {"no outline at all",
         "TOTAL_ABNORMALITIES 1\nABNORMALITY 1\nASSESSMENT 4\nSUBTLETY 2\nPATHOLOGY MALIGNANT\n",
         "TOTAL_ABNORMALITIES 1\r\nABNORMALITY 1\r\nASSESSMENT 4\r\nSUBTLETY 2\r\n"
         "PATHOLOGY MALIGNANT\r\n",
         {},
         {}},
        {"free line ends an abnormality block",
         "ABNORMALITY 1\nASSESSMENT 4\nreviewed twice\nPATHOLOGY MALIGNANT\nBOUNDARY\n10 10 "
         "2460#\n",
         "ABNORMALITY 1\r\nASSESSMENT 4\r\nreviewed twice\r\n",
         {"PATHOLOGY MALIGNANT\nBOUNDARY\n"},
         {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = WriteText("in.OVERLAY", c.file);
        const COverlayContents read = Open(in, Plain(100, 100));
        EXPECT_EQ(read.description, c.description);
        EXPECT_EQ(LesionLinesOf(read.ros), c.lesionLines);
        EXPECT_EQ(DiagnosesOf(read.ros), c.diagnoses);

        // Saved and reopened, the diagnoses hold and the file stops changing.
        const std::string first = OpenAndSave(in, Path("a.OVERLAY"), Plain(100, 100));
        EXPECT_EQ(OpenAndSave(Path("a.OVERLAY"), Path("b.OVERLAY"), Plain(100, 100)), first);
        EXPECT_EQ(DiagnosesOf(Open(Path("a.OVERLAY"), Plain(100, 100)).ros), c.diagnoses);
    }
}

TEST_F(OverlaySaves, BinaryFilesAreRefusedWithoutTouchingTheDocument) {
    using namespace std::string_literals;
    const std::string cases[] = {
        "\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s,
        "SUBTLETY 5\nPATHOLOGY BENIGN\nBOUNDARY\n10 10 2460#\n\0\0"s,
    };
    for (const std::string& bytes : cases) {
        const std::string path = WriteText("binary.OVERLAY", bytes);
        ASSERT_EQ(ReadText(path).size(), bytes.size());
        std::string description = "kept\r\n", failure;
        int16_t subtlety = 1;
        CRegions regions, ros;
        EXPECT_FALSE(
            ReadOverlay(path, Plain(100, 100), description, subtlety, regions, ros, &failure));
        EXPECT_EQ(failure, "not a text file (it holds NUL bytes)");
        EXPECT_EQ(description, "kept\r\n");
        EXPECT_EQ(subtlety, 1);
        EXPECT_TRUE(ros.IsEmpty());
        EXPECT_TRUE(regions.IsEmpty());
    }
    std::string description, failure;
    int16_t subtlety = 0;
    CRegions regions, ros;
    EXPECT_FALSE(ReadOverlay(Path("missing.OVERLAY"), Plain(10, 10), description, subtlety, regions,
                             ros, &failure));
    EXPECT_EQ(failure, "cannot read the file");
}
