// Learning patterns: files written by the feature-file writer read back,
// the texts that must be refused or skipped, and the word counts shown
// before training.

#include "classification/learning_patterns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "regions/feature_file.h"
#include "support/scratch_dir.h"

namespace vistrel {
namespace {

const std::string kHeader = "filename\tdiagnosis\tregion type\t_\tArea\tInvariant_Moment_0\t\n";

CFeatureVector Vector(std::vector<std::string> names, std::vector<double> values) {
    CFeatureVector v;
    v.names = std::move(names);
    v.values = std::move(values);
    return v;
}

TEST(LearningPatterns, ReadsBackWhatTheWriterAppends) {
    testsupport::CScratchDir dir;
    ASSERT_TRUE(dir.IsValid());
    const std::string path = dir.Path("learn.ftr");
    const std::vector<std::string> names = {"Area", "Mean", "Invariant_Moment_0"};
    const std::vector<CFeatureRow> first = {
        {DiagnosisWord(0), "o", WithLeadingColumn(Vector(names, {12.0, 1234.5678901234, 1.25e-7}))},
        {DiagnosisWord(1, true), "c", WithLeadingColumn(Vector(names, {-3.5, 0.0, -4.5e-12}))},
    };
    const std::vector<CFeatureRow> second = {
        {DiagnosisWord(2), "o",
         WithLeadingColumn(Vector(names, {1e6 / 3.0, 2.0 / 3.0, 9.87654321e3}))},
    };
    std::string error;
    // The image path holds a tab: the writer blanks it so the columns stay put.
    ASSERT_TRUE(AppendFeatureRows(path, "/films/a\tb.mam", first, &error)) << error;
    ASSERT_TRUE(AppendFeatureRows(path, "/films/FALSE_c.mam", second, &error)) << error;

    CLearningPatterns patterns;
    ASSERT_TRUE(ReadLearningPatterns(path, patterns, &error)) << error;
    EXPECT_EQ(patterns.names,
              (std::vector<std::string>{"_", "Area", "Mean", "Invariant_Moment_0"}));
    ASSERT_EQ(patterns.patterns.size(), 3u);
    EXPECT_EQ(patterns.skippedLines, 0);

    struct Expect {
        std::string path, word;
        int diagnosis;
        std::vector<double> values;
    };
    const Expect expected[] = {
        {"/films/a b.mam", "BENIGN", kPatternBenign, {0, 12.0, 1234.5678901234, 1.25e-7}},
        {"/films/a b.mam", "CLUSTER MALIGNANT", kPatternMalignant, {0, -3.5, 0.0, -4.5e-12}},
        {"/films/FALSE_c.mam", "FALSE", kPatternFalse, {0, 1e6 / 3.0, 2.0 / 3.0, 9.87654321e3}},
    };
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const CLearningPattern& p = patterns.patterns[i];
        EXPECT_EQ(p.firstField, expected[i].path);
        EXPECT_EQ(p.secondField, expected[i].word);
        EXPECT_EQ(p.diagnosis, expected[i].diagnosis);
        ASSERT_EQ(p.values.size(), 4u);
        // "%.12f" for most columns, "%.8e" for the moments.
        for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(p.values[k], expected[i].values[k], 5e-13);
        EXPECT_NEAR(p.values[3], expected[i].values[3], std::fabs(expected[i].values[3]) * 1e-8);
    }
}

TEST(LearningPatterns, MissingFileIsReportedWithItsName) {
    testsupport::CScratchDir dir;
    CLearningPatterns patterns;
    std::string error;
    EXPECT_FALSE(ReadLearningPatterns(dir.Path("none.ftr"), patterns, &error));
    EXPECT_NE(error.find("none.ftr"), std::string::npos) << error;
    EXPECT_TRUE(patterns.patterns.empty());
}

TEST(LearningPatterns, TextsAcceptedAndRefused) {
    struct Case {
        const char* what;
        std::string text;
        bool ok;
        std::string errorPart;       // refused: part of the message
        std::vector<int> diagnoses;  // accepted: the patterns' codes in order
        int skipped = 0;
    };
    const std::string row = "\tBENIGN\to\t0\t1.5\t2e-3\t\n";
    const Case cases[] = {
        {"empty text", "", false, "no header", {}},
        {"blank lines only", "\n\r\n\n", false, "no header", {}},
        {"data without header", "/a" + row, false, "line 1", {}},
        {"header with no features", "filename\tdiagnosis\tregion type\t\n", false, "line 1", {}},
        {"binary data",
         kHeader + "/a\tBENIGN\to\t0\t1\t" + std::string(1, '\0') + "\t\n",
         false,
         "binary",
         {}},
        {"short line", kHeader + "/a\tBENIGN\to\t0\t1.5\t\n", false, "line 2", {}},
        {"long line", kHeader + "/a\tBENIGN\to\t0\t1.5\t2\t3\t\n", false, "line 2", {}},
        {"empty value", kHeader + "/a\tBENIGN\to\t0\t\t2\t\n", false, "line 2", {}},
        {"nan", kHeader + "/a" + row + "/b\tFALSE\to\t0\tnan\t2\t\n", false, "line 3", {}},
        {"inf", kHeader + "/b\tFALSE\to\t0\t1\t-inf\t\n", false, "line 2", {}},
        {"decimal comma", kHeader + "/b\tFALSE\to\t0\t1,5\t2\t\n", false, "line 2", {}},
        {"trailing garbage", kHeader + "/b\tFALSE\to\t0\t1.5x\t2\t\n", false, "line 2", {}},
        {"CRLF lines",
         "filename\tdiagnosis\tregion type\t_\tArea\tInvariant_Moment_0\t\r\n/a"
         "\tBENIGN\to\t0\t1.5\t2e-3\t\r\n",
         true,
         "",
         {kPatternBenign}},
        {"no final line break and no final tab",
         kHeader + "/a\tMALIGNANT\to\t0\t1.5\t2e-3",
         true,
         "",
         {kPatternMalignant}},
        {"blank lines between rows",
         kHeader + "\n/a" + row + "\n\n/b" + row,
         true,
         "",
         {kPatternBenign, kPatternBenign}},
        {"line without a diagnosis word skipped",
         kHeader + "/a\tbenign\to\t0\t1\t2\t\n/b" + row + "/c\tUNKNOWN\to\tshort\t\n",
         true,
         "",
         {kPatternBenign},
         2},
        {"cluster words",
         kHeader + "/a\tCLUSTER MALIGNANT\tc\t0\t1\t2\t\n/b\tCLUSTER BENIGN\tc\t0\t1"
                   "\t2\t\n/c\tCLUSTER FALSE\tc\t0\t1\t2\t\n",
         true,
         "",
         {kPatternMalignant, kPatternBenign, kPatternFalse}},
        {"path with FALSE, diagnosis BENIGN",
         kHeader + "/FALSE/MALIGNANT" + row,
         true,
         "",
         {kPatternBenign}},
        {"BENIGN before MALIGNANT",
         kHeader + "/a\tMALIGNANT BENIGN\to\t0\t1\t2\t\n",
         true,
         "",
         {kPatternBenign}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CLearningPatterns patterns;
        std::string error;
        const bool ok = ParseLearningPatterns(c.text, patterns, &error);
        ASSERT_EQ(ok, c.ok) << error;
        if (!ok) {
            EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
            EXPECT_TRUE(patterns.patterns.empty());
            continue;
        }
        EXPECT_EQ(patterns.names, (std::vector<std::string>{"_", "Area", "Invariant_Moment_0"}));
        std::vector<int> diagnoses;
        for (const CLearningPattern& p : patterns.patterns) {
            diagnoses.push_back(p.diagnosis);
            EXPECT_EQ(p.values.size(), 3u);
        }
        EXPECT_EQ(diagnoses, c.diagnoses);
        EXPECT_EQ(patterns.skippedLines, c.skipped);
    }
}

TEST(LearningPatterns, ValuesParsedExactly) {
    CLearningPatterns patterns;
    std::string error;
    ASSERT_TRUE(ParseLearningPatterns(kHeader + "/a\tFALSE\to\t-0.000000000000\t 1234.5 \t"
                                                "-1.50000000e-07\t\n",
                                      patterns, &error))
        << error;
    ASSERT_EQ(patterns.patterns.size(), 1u);
    EXPECT_EQ(patterns.patterns[0].values, (std::vector<double>{-0.0, 1234.5, -1.5e-7}));
    EXPECT_EQ(patterns.patterns[0].firstField, "/a");
}

TEST(LearningPatterns, CountsWordsAnywhereInALine) {
    const std::string text = kHeader +
                             "/a\tBENIGN\to\t\n"
                             "/MALIGNANT\tBENIGN\to\t\n"  // BENIGN wins
                             "/b\tCLUSTER MALIGNANT\tc\t\n"
                             "/FALSE\tnone\to\t\n"  // the path counts here
                             "/c\tFALSE\to\t\r\n"
                             "/d\tfalse\to\t\n";
    const CPatternCounts counts = CountPatternWords(text);
    EXPECT_EQ(counts.benign, 2);
    EXPECT_EQ(counts.malignant, 1);
    EXPECT_EQ(counts.falseObjects, 2);
    EXPECT_EQ(PatternsMessage("/data/learn.ftr", counts),
              " FILE: /data/learn.ftr \n false objects = 2 \n true objects = 3 \n benign = 2 \n "
              "malignant = 1");
}

TEST(LearningPatterns, LongLinesAreReadInLinearTime) {
    // Two hundred thousand columns: a reader that rescans the line for each
    // field would take minutes here.
    constexpr int kColumns = 200000;
    std::string header = "filename\tdiagnosis\tregion type\t";
    std::string row = "/a\tFALSE\to\t";
    for (int i = 0; i < kColumns; ++i) {
        header += "f" + std::to_string(i) + "\t";
        row += std::to_string(i) + ".5\t";
    }
    CLearningPatterns patterns;
    std::string error;
    ASSERT_TRUE(ParseLearningPatterns(header + "\n" + row + "\n", patterns, &error)) << error;
    ASSERT_EQ(patterns.patterns.size(), 1u);
    ASSERT_EQ(patterns.patterns[0].values.size(), size_t(kColumns));
    EXPECT_EQ(patterns.patterns[0].values[kColumns - 1], kColumns - 1 + 0.5);
    EXPECT_EQ(patterns.names[kColumns - 1], "f" + std::to_string(kColumns - 1));
}

}  // namespace
}  // namespace vistrel
