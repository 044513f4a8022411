#include "workspace/cases.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

namespace vistrel {
namespace {

TEST(CaseKey, DropsTheViewNameBetweenTheFirstTwoDots) {
    struct Case {
        const char* path;
        const char* key;
    } cases[] = {
        {"/d/A_1234_1.LEFT_CC.pgm", "A_1234_1.pgm"},
        {"/d/A_1234_1.RIGHT_MLO.pgm", "A_1234_1.pgm"},
        {"A_1234_1.LEFT_CC.LJPEG.pgm", "A_1234_1.LJPEG.pgm"},  // everything after the second dot
        {"/d/B_7_CC", "B_7_CC"},                               // no dot: the whole name
        {"/d/B_7_MLO.pgx", "B_7_MLO"},                         // one dot: the part before it
        {"/d/mdb001.pgm", ""},                                 // no view: no case
        {"/d_CC/plain.pgm", ""},                               // only the file name counts
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(CaseKey(c.path), c.key) << c.path;
}

TEST(CaseInfo, PathReplacesUnderscoresAndEverythingFromTheFirstDot) {
    EXPECT_EQ(CaseInfoPath("/data/c_1/A_1234_1.LEFT_CC.pgm"), "/data/c_1/A-1234-1.ics");
    EXPECT_EQ(CaseInfoPath("A_1.pgm"), "A-1.ics");
    EXPECT_EQ(CaseInfoPath("/d/noext"), "/d/noext.ics");
    EXPECT_EQ(CaseViewWord("/d/A_1.RIGHT_MLO.pgm"), "RIGHT_MLO");
    EXPECT_EQ(CaseViewWord("/d/A_1.pgm"), "");
}

class CaseResolution : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const {
        return (dir.path() + "/").toStdString() + name;
    }
    void WriteIcs(const std::string& text) { std::ofstream(Path("A-1234-1.ics")) << text; }
    QTemporaryDir dir;
};

TEST_F(CaseResolution, TheViewLineGivesMicronsPerPixel) {
    WriteIcs(
        "ics_version 1.0\n"
        "LEFT_MLO LINES 4696 PIXELS_PER_LINE 2896 BITS_PER_PIXEL 12 RESOLUTION 43.5 OVERLAY\n"
        "LEFT_CC LINES 4600 PIXELS_PER_LINE 2800 BITS_PER_PIXEL 12 RESOLUTION 50 NON_OVERLAY\n"
        "RIGHT_CC RESOLUTION\t100\r\n"
        "RIGHT_MLO LINES 10\n");
    struct Case {
        const char* image;
        float expected;
    } cases[] = {
        {"A_1234_1.LEFT_CC.pgm", 508.0f},    {"A_1234_1.LEFT_MLO.pgm", 25400.0f / 43.5f},
        {"A_1234_1.RIGHT_CC.pgm", 254.0f},    // tab before, CR after the number
        {"A_1234_1.RIGHT_MLO.pgm", 583.92f},  // the line has no RESOLUTION
        {"A_1234_1.pgm", 583.92f},            // the name holds no view
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(ReadCaseResolution(Path(c.image), 583.92f), c.expected) << c.image;
}

TEST_F(CaseResolution, MissingFileOrUnusableNumberKeepsTheDefault) {
    EXPECT_FLOAT_EQ(ReadCaseResolution(Path("A_1234_1.LEFT_CC.pgm"), 583.92f), 583.92f);
    for (const char* text :
         {"LEFT_CC RESOLUTION 0\n", "LEFT_CC RESOLUTION -50\n", "LEFT_CC RESOLUTION abc\n",
          "LEFT_CC RESOLUTION\n", "LEFT_CC RESOLUTION 1e-320\n"}) {
        WriteIcs(text);
        EXPECT_FLOAT_EQ(ReadCaseResolution(Path("A_1234_1.LEFT_CC.pgm"), 583.92f), 583.92f) << text;
    }
}

TEST(CaseList, AddsEachKeyOnceWithConsecutiveCommandIds) {
    CCaseList list;
    EXPECT_EQ(list.AddCase("/d/A_1.LEFT_CC.pgm"), 0);
    EXPECT_EQ(list.AddCase("/d/A_1.RIGHT_MLO.pgm"), -1);  // same case
    EXPECT_EQ(list.AddCase("/d/mdb001.pgm"), -1);         // no case
    EXPECT_EQ(list.AddCase("/d/B_2.LEFT_MLO.pgm"), 1);
    ASSERT_EQ(list.Entries(), (std::vector<std::string>{"A_1.pgm", "B_2.pgm"}));
    EXPECT_EQ(CCaseList::CommandOf(1), 50001);
    EXPECT_EQ(list.IndexOfCommand(50001), 1);
    EXPECT_EQ(list.IndexOfCommand(50002), -1);  // no such entry
    EXPECT_EQ(list.IndexOfCommand(49999), -1);
}

TEST(CaseList, NextAndPreviousWrapRound) {
    CCaseList list;
    EXPECT_EQ(list.Next("A_1.pgm"), -1);
    EXPECT_EQ(list.Previous(""), -1);
    for (const char* path : {"A_1.LEFT_CC.pgm", "B_2.LEFT_CC.pgm", "C_3.LEFT_CC.pgm"})
        list.AddCase(path);
    struct Case {
        const char* key;
        int next, previous;
    } cases[] = {
        {"A_1.pgm", 1, 2}, {"B_2.pgm", 2, 0}, {"C_3.pgm", 0, 1}, {"", 0, 2}, {"Z.pgm", 0, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(list.Next(c.key), c.next) << c.key;
        EXPECT_EQ(list.Previous(c.key), c.previous) << c.key;
    }
}

}  // namespace
}  // namespace vistrel
