// Feature files: the header and data line layout, appending without ever
// leaving a half-written file, the selection text reader and the files of
// the image-retrieval tool (plain and gzip).

#include "regions/feature_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/messages.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"

namespace vistrel {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;

CFeatureVector Vector(std::vector<std::string> names, std::vector<double> values) {
    CFeatureVector v;
    v.names = std::move(names);
    v.values = std::move(values);
    return v;
}

size_t CountFiles(const fs::path& dir) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(FeatureLines, HeaderAndDataLineByteForByte) {
    const CFeatureVector v = WithLeadingColumn(
        Vector({"Area", "Invariant_Moment_0", "Binary_Invariant_Moment_2", "Mean"},
               {12.5, 0.000123, -2.5e-7, -1.0 / 3.0}));
    EXPECT_EQ(FeatureHeaderLine(v),
              "filename\tdiagnosis\tregion type\t_\tArea\tInvariant_Moment_0\t"
              "Binary_Invariant_Moment_2\tMean\t\n");
    EXPECT_EQ(FeatureDataLine("/data/mdb001.pgm", "MALIGNANT", "m calc", v),
              "/data/mdb001.pgm\tMALIGNANT\tm calc\t0.000000000000\t12.500000000000\t"
              "1.23000000e-04\t-2.50000000e-07\t-0.333333333333\t\n");
}

TEST(FeatureLines, TabsAndLineBreaksInTextFieldsDoNotShiftColumns) {
    const std::string line =
        FeatureDataLine("/a\tb/c\nd.pgm", "FALSE", "type\twith tab", Vector({"Area"}, {1}));
    EXPECT_EQ(line, "/a b/c d.pgm\tFALSE\ttype with tab\t1.000000000000\t\n");
}

TEST(FeatureLines, HugeValuesAreWrittenWhole) {
    const std::string line = FeatureDataLine("p", "FALSE", "t", Vector({"Area"}, {1e300}));
    // 301 digits, the point and twelve decimals, the tab and the line break.
    EXPECT_EQ(line.size(), std::string("p\tFALSE\tt\t").size() + 301 + 1 + 12 + 2);
    EXPECT_EQ(line.substr(line.size() - 15), ".000000000000\t\n");
}

TEST(FeatureLines, DiagnosisWords) {
    struct Case {
        int16_t diagnosis;
        bool cluster;
        const char* word;
    };
    for (const Case& c :
         {Case{0, false, "BENIGN"}, Case{1, false, "MALIGNANT"}, Case{2, false, "FALSE"},
          Case{-1, false, "FALSE"}, Case{7, false, "FALSE"}, Case{0, true, "CLUSTER BENIGN"},
          Case{1, true, "CLUSTER MALIGNANT"}, Case{2, true, "CLUSTER FALSE"}})
        EXPECT_EQ(DiagnosisWord(c.diagnosis, c.cluster), c.word) << c.diagnosis << " " << c.cluster;
}

TEST(FeatureLines, LeadingColumnAndSuffixes) {
    const CFeatureVector v = Vector({"Area", "Mean"}, {4, 2.5});
    const CFeatureVector lead = WithLeadingColumn(v);
    EXPECT_EQ(lead.names, (std::vector<std::string>{"_", "Area", "Mean"}));
    EXPECT_EQ(lead.values, (std::vector<double>{0, 4, 2.5}));
    const CFeatureVector mean = WithSuffix(v, "_MEAN");
    EXPECT_EQ(mean.names, (std::vector<std::string>{"Area_MEAN", "Mean_MEAN"}));
    EXPECT_EQ(mean.values, v.values);
    EXPECT_EQ(WithSuffix(lead, "_STD_DEV").names,
              (std::vector<std::string>{"__STD_DEV", "Area_STD_DEV", "Mean_STD_DEV"}));
}

class FeatureFileTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return scratch_.Path(name); }
    testsupport::CScratchDir scratch_{"vistrel_ftr"};
    testsupport::CRecordingSink sink_;
    CScopedMessageSink guard_{&sink_};
};

TEST_F(FeatureFileTest, NewFileGetsTheHeaderAndAnAppendAddsDataLinesOnly) {
    const std::string path = Path("learn.ftr");
    const CFeatureVector a = WithLeadingColumn(Vector({"Area", "Mean"}, {4, 2.5}));
    const CFeatureVector b = WithLeadingColumn(Vector({"Area", "Mean"}, {9, 100}));
    std::string error;
    ASSERT_TRUE(AppendFeatureRows(path, "/img/one.pgm", {{"BENIGN", "m", a}}, &error)) << error;
    const std::string first = ReadFileBytes(path);
    EXPECT_EQ(first,
              "filename\tdiagnosis\tregion type\t_\tArea\tMean\t\n"
              "/img/one.pgm\tBENIGN\tm\t0.000000000000\t4.000000000000\t2.500000000000\t\n");

    ASSERT_TRUE(AppendFeatureRows(path, "/img/two.pgm",
                                  {{"MALIGNANT", "m", a}, {"CLUSTER FALSE", "c", b}}, &error))
        << error;
    EXPECT_EQ(ReadFileBytes(path),
              first +
                  "/img/two.pgm\tMALIGNANT\tm\t0.000000000000\t4.000000000000\t2.500000000000\t\n"
                  "/img/two.pgm\tCLUSTER FALSE\tc\t0.000000000000\t9.000000000000\t"
                  "100.000000000000\t\n");
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(CountFiles(scratch_.path()), 1u);
}

TEST_F(FeatureFileTest, InconsistentRowsAreSkippedAndTheHeaderFollowsTheFirstGoodRow) {
    const std::string path = Path("mixed.ftr");
    CFeatureVector bad = Vector({"Area", "Mean"}, {1});
    const CFeatureVector good = Vector({"Mean"}, {3});
    ASSERT_TRUE(AppendFeatureRows(path, "p", {{"FALSE", "x", bad}, {"FALSE", "y", good}}));
    EXPECT_EQ(ReadFileBytes(path),
              "filename\tdiagnosis\tregion type\tMean\t\np\tFALSE\ty\t3.000000000000\t\n");
}

TEST_F(FeatureFileTest, NothingToWriteIsAFailureAndCreatesNoFile) {
    const std::string path = Path("none.ftr");
    std::string error;
    EXPECT_FALSE(AppendFeatureRows(path, "p", {}, &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(AppendFeatureRows(path, "p", {{"FALSE", "x", Vector({"A"}, {})}}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(FeatureFileTest, AnEmptyExistingFileGetsTheHeader) {
    const std::string path = scratch_.Write("empty.ftr", std::string());
    ASSERT_TRUE(AppendFeatureRows(path, "p", {{"FALSE", "t", Vector({"A"}, {1})}}));
    EXPECT_EQ(ReadFileBytes(path),
              "filename\tdiagnosis\tregion type\tA\t\np\tFALSE\tt\t1.000000000000\t\n");
}

TEST_F(FeatureFileTest, AFileCutShortGetsItsLineBreakBeforeTheNewRow) {
    const std::string path =
        scratch_.Write("cut.ftr", "filename\tdiagnosis\tregion type\tA\t\np\tFALSE\tt\t1.0");
    ASSERT_TRUE(AppendFeatureRows(path, "q", {{"FALSE", "t", Vector({"A"}, {2})}}));
    EXPECT_EQ(
        ReadFileBytes(path),
        "filename\tdiagnosis\tregion type\tA\t\np\tFALSE\tt\t1.0\nq\tFALSE\tt\t2.000000000000\t\n");
}

TEST_F(FeatureFileTest, AFailedWriteKeepsTheOldFileWhole) {
    const std::string old =
        "filename\tdiagnosis\tregion type\tA\t\np\tFALSE\tt\t1.000000000000\t\n";
    const std::string path = scratch_.Write("keep.ftr", old);
    // A file-size limit below old + new makes the write fail part-way, even
    // for a user whom folder permissions would not stop.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = old.size() + 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    std::vector<CFeatureRow> rows(50, CFeatureRow{"FALSE", "t", Vector({"A"}, {2})});
    const bool written = AppendFeatureRows(path, "q", rows, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_NE(error.find("keep.ftr"), std::string::npos) << error;
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_EQ(CountFiles(scratch_.path()), 1u) << "the temporary file was left behind";
}

TEST_F(FeatureFileTest, AMissingFolderIsAFailureWithAReason) {
    std::string error;
    EXPECT_FALSE(AppendFeatureRows(Path("no/such/folder/x.ftr"), "p",
                                   {{"FALSE", "t", Vector({"A"}, {1})}}, &error));
    EXPECT_NE(error.find("x.ftr"), std::string::npos) << error;
}

// --- selection texts -------------------------------------------------------

CFeatureSelection ThreeNames() {
    return CFeatureSelection({{"Area", 1}, {"Mean", 0}, {"Regions_In_Cluster_Number", 1}}, 2);
}

std::vector<int> Flags(const CFeatureSelection& s) {
    std::vector<int> flags;
    for (const auto& e : s.Entries()) flags.push_back(e.on);
    return flags;
}

TEST(FeatureSelectionText, ListsTurnExactlyTheirNamesOn) {
    struct Case {
        const char* label;
        std::string text;
        std::vector<int> flags;
    };
    const Case cases[] = {
        {"one name", "Mean\n", {0, 1, 0}},
        {"comments, blanks, CRLF and indentation",
         "# wanted\r\n\r\n  Mean \r\n\tRegions_In_Cluster_Number\r\n#Area\n",
         {0, 1, 1}},
        {"no line break at the end", "Area\nMean", {1, 1, 0}},
        {"repeated name", "Area\nArea\n", {1, 0, 0}},
        {"only comments: nothing on", "# none\n", {0, 0, 0}},
        {"empty text: nothing on", "", {0, 0, 0}},
        {"all", "all\n", {1, 1, 1}},
        {"all with a comment", "# every one\n  all\n", {1, 1, 1}},
    };
    for (const Case& c : cases) {
        CFeatureSelection s = ThreeNames();
        std::string error = "stale";
        EXPECT_TRUE(ReadFeatureSelectionText(c.text, s, &error)) << c.label << ": " << error;
        EXPECT_EQ(Flags(s), c.flags) << c.label;
        EXPECT_TRUE(error.empty()) << c.label;
        EXPECT_EQ(s.SecondGroup(), 2) << c.label;
    }
}

TEST(FeatureSelectionText, BadTextsAreRefusedAndLeaveTheSelectionAlone) {
    struct Case {
        const char* label;
        std::string text;
        const char* inError;
    };
    const Case cases[] = {
        {"unknown name", "Area\nLoG_size\n", "LoG_size"},
        {"case matters", "area\n", "area"},
        {"all among names", "all\nArea\n", "all"},
        {"binary data", std::string("Area\n\x01\x02\x00\x7f", 9), "control"},
        {"NUL inside a name", std::string("Ar\0ea\n", 6), "control"},
        {"overlong line", std::string(1001, 'A'), "1000"},
    };
    for (const Case& c : cases) {
        CFeatureSelection s = ThreeNames();
        std::string error;
        EXPECT_FALSE(ReadFeatureSelectionText(c.text, s, &error)) << c.label;
        EXPECT_EQ(Flags(s), (std::vector<int>{1, 0, 1})) << c.label;
        EXPECT_NE(error.find(c.inError), std::string::npos) << c.label << ": " << error;
    }
    // A line of exactly the limit is read (and then judged by its name).
    CFeatureSelection s = ThreeNames();
    std::string error;
    EXPECT_FALSE(ReadFeatureSelectionText(std::string(1000, 'A'), s, &error));
    EXPECT_NE(error.find("unknown"), std::string::npos) << error;
}

std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// --- image-retrieval files -------------------------------------------------

std::string Gunzip(const std::string& path) {
    gzFile gz = gzopen(path.c_str(), "rb");
    if (!gz) return "<cannot open>";
    std::string text;
    char buffer[256];
    int n = 0;
    while ((n = gzread(gz, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    gzclose(gz);
    return text;
}

TEST_F(FeatureFileTest, VectorFeatureFileLayout) {
    const std::string path = Path("a.pgm.vector");
    ASSERT_TRUE(CFIREFeatureWriter::WriteVectorFeature(path, {1.5, -2, 0.1234567}));
    EXPECT_EQ(ReadFileBytes(path), "FIRE_vectorfeature\ndim 3 \ndata 1.500000 -2.000000 0.123457");
    ASSERT_TRUE(CFIREFeatureWriter::WriteVectorFeature(path, {}));
    EXPECT_EQ(ReadFileBytes(path), "FIRE_vectorfeature\ndim 0 \ndata ");
    EXPECT_FALSE(CFIREFeatureWriter::WriteVectorFeature(Path("missing/a.vector"), {1}));
}

TEST_F(FeatureFileTest, MammoFeatureFileIsGzipWithTheKeywordLines) {
    const std::string image = Path("mdb001.pgm");
    const std::string path = FireMammoPath(image);
    EXPECT_EQ(path.substr(path.size() - 8), "mammo.gz");
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(image).parent_path());
    ASSERT_TRUE(CFIREFeatureWriter::WriteMammoFeature(path, {12, 345.5, 7, 3}));
    const std::string bytes = ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x1f);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0x8b);
    const std::string expected = "FIRE_mammofeature\nclusters 3\nregions 12\narea 345.500000\n";
    EXPECT_EQ(Gunzip(path), expected);
    if (std::system("command -v zcat >/dev/null 2>&1") == 0) {
        EXPECT_EQ(Capture("zcat '" + path + "'"), expected);
    }

    const std::string plain = Path("plain.mammo");
    ASSERT_TRUE(CFIREFeatureWriter::WriteMammoFeature(plain, {12, 345.5, 7, 3}, false));
    EXPECT_EQ(ReadFileBytes(plain), expected);
}

TEST_F(FeatureFileTest, MammoFeatureFailures) {
    const std::string path = Path("short.mammo.gz");
    EXPECT_FALSE(CFIREFeatureWriter::WriteMammoFeature(path, {1}));
    EXPECT_FALSE(CFIREFeatureWriter::WriteMammoFeature(path, {}));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(CFIREFeatureWriter::WriteMammoFeature(Path("missing/x.mammo.gz"), {1, 2}));
    EXPECT_FALSE(CFIREFeatureWriter::WriteMammoFeature(Path("missing/x.mammo"), {1, 2}, false));
}

TEST(FirePaths, BesideTheImageKeepingItsWholeName) {
    EXPECT_EQ(FireVectorPath("/cases/mdb001.pgm"), "/cases/mdb001.pgm.vector");
    EXPECT_EQ(FireMammoPath("/cases/mdb001.pgm"), "/cases/mdb001.pgm.mammo.gz");
    EXPECT_NE(FireMammoPath("/cases/a.pgm"), FireMammoPath("/cases/a.dcm"));
}

// --- pandas ----------------------------------------------------------------

// The python that has pandas, empty when none does.
std::string PythonWithPandas() {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        const std::string command = std::string(python) + " -c 'import pandas' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) return python;
    }
    return {};
}

TEST_F(FeatureFileTest, PandasReadsTheFileWithAnEmptyLastColumn) {
    const std::string path = Path("pandas.ftr");
    const CFeatureVector a = WithLeadingColumn(Vector(
        {"Area", "Invariant_Moment_0", "Box_Ratio=Area/Bounding_Box_Area"}, {4, 1.25e-9, 0.5}));
    const CFeatureVector b = WithLeadingColumn(Vector(
        {"Area", "Invariant_Moment_0", "Box_Ratio=Area/Bounding_Box_Area"}, {10, -3e-5, 0.75}));
    ASSERT_TRUE(AppendFeatureRows(path, "/img/a b.pgm", {{"BENIGN", "m", a}}));
    ASSERT_TRUE(AppendFeatureRows(path, "/img/c.pgm", {{"CLUSTER FALSE", "c", b}}));

    // Always: every line has the header's field count, the last one empty.
    const std::string text = ReadFileBytes(path);
    size_t lines = 0;
    for (size_t start = 0; start < text.size(); ++lines) {
        const size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(start, end - start);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3 + a.Size()) << line;
        EXPECT_EQ(line.back(), '\t') << line;
        start = end + 1;
    }
    EXPECT_EQ(lines, 3u);

    const std::string python = PythonWithPandas();
    if (python.empty()) GTEST_SKIP() << "no python with pandas";
    const std::string script = scratch_.Write("read.py", R"(import sys
import pandas as pd
t = pd.read_csv(sys.argv[1], sep="\t")
print(len(t), len(t.columns))
print("|".join(t.columns[:7]))
print(t.columns[-1].startswith("Unnamed"), bool(t[t.columns[-1]].isna().all()))
print(t["filename"][0], "|", t["diagnosis"][1], "|", t["region type"][1])
print(repr(float(t["Area"][1])), repr(float(t["Invariant_Moment_0"][0])), repr(float(t["Invariant_Moment_0"][1])))
)");
    const std::string out = Capture(python + " " + script + " " + path + " 2>&1");
    EXPECT_EQ(out,
              "2 8\n"
              "filename|diagnosis|region "
              "type|_|Area|Invariant_Moment_0|Box_Ratio=Area/Bounding_Box_Area\n"
              "True True\n"
              "/img/a b.pgm | CLUSTER FALSE | c\n"
              "10.0 1.25e-09 -3e-05\n");
}

}  // namespace
}  // namespace vistrel
