// vistrel-cli features, glcm and srdm: option errors, the JSON shapes, the
// feature files they append to (read back by pandas where it is installed)
// and a real mammogram with annotations made for it.

#include <QJsonArray>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "core/image.h"
#include "regions/overlay_file.h"
#include "regions/region.h"
#include "regions/regions.h"
#include "regions/texture.h"

namespace vistrel::clitest {
namespace {

std::vector<CPoint> Block(int x0, int y0, int w, int h) {
    std::vector<CPoint> points;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) points.push_back({x, y});
    return points;
}

std::map<std::string, double> NamedValues(const QJsonObject& entry) {
    const QJsonArray names = entry["names"].toArray();
    const QJsonArray values = entry["values"].toArray();
    EXPECT_EQ(names.size(), values.size());
    std::map<std::string, double> m;
    for (qsizetype i = 0; i < std::min(names.size(), values.size()); ++i)
        m[names[i].toString().toStdString()] = values[i].toDouble();
    return m;
}

// Lines of a text file, each without its "\n".
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
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

class CliFeaturesTest : public CCliScratchTest {
  protected:
    // A 40 x 30 8-bit image at 30 with three members of cluster 1 (100, 200,
    // 50), a region of no cluster (250) and the cluster's outline.
    void WriteScene() {
        std::vector<uint16_t> samples(40 * 30, 30);
        struct Piece {
            std::vector<CPoint> pixels;
            int value;
            int32_t cluster;
            char type;
            int16_t diagnosis;
        };
        const Piece pieces[] = {{Block(6, 6, 3, 3), 100, 1, 'm', 1},
                                {Block(12, 9, 2, 2), 200, 1, 'm', 1},
                                {Block(14, 6, 3, 1), 50, 1, 'm', 0},
                                {Block(30, 20, 4, 4), 250, 0, 'p', 2}};
        CRegions regions;
        for (const Piece& p : pieces) {
            for (const CPoint& q : p.pixels) samples[static_cast<size_t>(q.y * 40 + q.x)] = p.value;
            CRegion r(p.pixels, CRegion::PointsMode::PixelSet);
            r.clusterNumber = p.cluster;
            r.type = p.type;
            r.diagnosis = p.diagnosis;
            ASSERT_TRUE(regions.Add(r));
        }
        CRegion outline(std::vector<CPoint>{{5, 5}, {17, 5}, {17, 11}, {5, 11}},
                        CRegion::PointsMode::Polygon);
        outline.clusterNumber = ClusterOutlineNumber(1);
        outline.type = 'c';
        outline.diagnosis = 1;
        ASSERT_TRUE(regions.Add(outline));
        image_ = Path("scene.pgx");
        WriteFile(image_, PgxBytes(8, 40, 30, samples));
        overlay_ = Path("scene.OVERLAY");
        COverlayPlacement placement;
        placement.imageWidth = 40;
        placement.imageHeight = 30;
        ASSERT_EQ(WriteOverlay(overlay_, {}, regions, CRegions{}, placement, true),
                  COverlayWriteResult::Written);
    }
    QJsonObject Ok(const std::vector<std::string>& args) {
        const CRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << Describe(args) << "\n" << run.err;
        return JsonOf(run);
    }
    std::string image_, overlay_;
};

TEST_F(CliFeaturesTest, BadOptionsAndFilesGiveAMessageAndAnExitStatus) {
    WriteScene();
    const std::string badSelect = Path("bad.txt");
    WriteFile(badSelect, "Regions_In_Cluster_Number\nNo_Such_Feature\n");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{"features", image_}, 2, "--overlay"},
        {{"features", image_, "--overlay", overlay_, "--types", "mx"},
         2,
         "\"x\" is not a region type"},
        {{"features", image_, "--overlay", overlay_, "--types", "c"},
         2,
         "always reported as clusters"},
        {{"features", image_, "--overlay", overlay_, "--region-type", "calc"},
         2,
         "goes with --ftr"},
        {{"features", image_, "--overlay", overlay_, "--select", badSelect}, 2, "No_Such_Feature"},
        {{"features", image_, "--overlay", overlay_, "--select", Path("none.txt")},
         1,
         "cannot be read"},
        {{"features", image_, "--overlay", Path("none.OVERLAY")}, 1, "none.OVERLAY"},
        {{"features", Path("none.pgx"), "--overlay", overlay_}, 1, "none.pgx"},
        {{"features", image_, "--overlay", overlay_, "--distance", "0"}, 2, "--distance"},
        {{"features", image_, "--overlay", overlay_, "--cluster-ftr", Path("no/such/dir/x.ftr")},
         1,
         "x.ftr"},
        {{"features", image_, "--overlay", overlay_, "--ftr", Path("no/such/dir/r.ftr")},
         1,
         "r.ftr"},
        {{"glcm", image_}, 2, "--roi"},
        {{"glcm", image_, "--roi", "1,2,3"}, 2, "X,Y,W,H"},
        {{"glcm", image_, "--roi", "1,2,0,4"}, 2, "--roi width"},
        {{"glcm", image_, "--roi", "1,2,x,4"}, 2, "--roi width"},
        {{"glcm", image_, "--roi", "50,2,4,4"}, 1, "outside the 40 x 30 image"},
        {{"glcm", image_, "--roi", "1,2,4,4", "--distance", "-1"}, 2, "--distance"},
        {{"srdm", image_, "--roi", "1,2,4,4", "--inner", "8"}, 2, "--inner must be odd"},
        {{"srdm", image_, "--roi", "1,2,4,4", "--middle", "5"}, 2, "must grow"},
        {{"srdm", image_}, 2, "--roi"},
        {{"srdm", Path("none.pgx"), "--roi", "1,2,4,4"}, 1, "none.pgx"},
    };
    for (const Case& c : cases) {
        const CRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << Describe(c.args) << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << Describe(c.args) << "\n"
                                                              << run.err;
        EXPECT_TRUE(run.out.empty()) << Describe(c.args);
    }
    EXPECT_FALSE(fs::exists(Path("no/such/dir")));
}

TEST_F(CliFeaturesTest, HelpNamesPandas) {
    const CRun run = Run({"features", "--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("read_csv(path, sep=\"\\t\")"), std::string::npos) << run.out;
    const CRun global = Run({"--help"});
    for (const char* name : {"features", "glcm", "srdm"})
        EXPECT_NE(global.out.find(std::string("  ") + name + " "), std::string::npos) << name;
}

TEST_F(CliFeaturesTest, ClusterFeaturesOfTheOutline) {
    WriteScene();
    const QJsonObject json = Ok({"features", image_, "--overlay", overlay_});
    const QJsonArray clusters = json["clusters"].toArray();
    ASSERT_EQ(clusters.size(), 1);
    const QJsonObject c = clusters[0].toObject();
    EXPECT_EQ(c["cluster"].toInt(), 1);
    EXPECT_EQ(c["diagnosis"].toInt(), 1);
    EXPECT_EQ(c["index"].toInt(), 4);
    auto m = NamedValues(c);
    EXPECT_EQ(m["Regions_In_Cluster_Number"], 3);
    EXPECT_EQ(m["Regions_In_Cluster_Sum_Area"], 16);
    EXPECT_EQ(m["Regions_In_Cluster_Sum_Mass"], 900 + 800 + 150);
    EXPECT_DOUBLE_EQ(m["Regions_In_Cluster_Mean"], 1850.0 / 16);
    EXPECT_TRUE(json["regions"].isArray());
}

TEST_F(CliFeaturesTest, SelectionFileLimitsTheClusterNames) {
    WriteScene();
    const std::string select = Path("select.txt");
    WriteFile(select, "# two of them\nRegions_In_Cluster_Number\nRegions_In_Cluster_Mean\n");
    const QJsonObject json = Ok({"features", image_, "--overlay", overlay_, "--select", select});
    const QJsonArray names = json["clusters"].toArray()[0].toObject()["names"].toArray();
    std::vector<std::string> got;
    for (const auto& n : names) got.push_back(n.toString().toStdString());
    // The six distance lines are always there.
    EXPECT_EQ(got, (std::vector<std::string>{
                       "Regions_In_Cluster_Number", "Mean_Distance_From_Centroid(Centers)_mm",
                       "StdDev_Distance_From_Centroid(Centers)_mm",
                       "Mean_Distance_From_Centroid(Masses)_mm",
                       "StdDev_Distance_From_Centroid(Masses)_mm",
                       "Mean_Distance_From_Centroid(Boundaries)_mm",
                       "StdDev_Distance_From_Centroid(Boundaries)_mm", "Regions_In_Cluster_Mean"}));
}

TEST_F(CliFeaturesTest, ClusterRowsAppendToTheirFeatureFile) {
    WriteScene();
    const std::string ftr = Path("clusters.ftr");
    Ok({"features", image_, "--overlay", overlay_, "--cluster-ftr", ftr});
    std::vector<std::string> lines = Lines(ReadFile(ftr));
    ASSERT_EQ(lines.size(), 2u);
    const std::vector<std::string> header = Fields(lines[0]);
    const std::vector<std::string> row = Fields(lines[1]);
    ASSERT_GE(header.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(header.begin(), header.begin() + 4),
              (std::vector<std::string>{"filename", "diagnosis", "region type",
                                        "Regions_In_Cluster_Number"}));
    EXPECT_EQ(header.back(), "");
    EXPECT_EQ(row.size(), header.size());
    EXPECT_EQ(row[0], image_);
    EXPECT_EQ(row[1], "CLUSTER MALIGNANT");
    EXPECT_EQ(row[2], "c");
    EXPECT_EQ(row[3], "3.000000000000");

    // A second run adds its data line only.
    Ok({"features", image_, "--overlay", overlay_, "--cluster-ftr", ftr});
    lines = Lines(ReadFile(ftr));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], lines[1]);
}

// A real film (MIAS mdb209, a malignant calcification cluster around column
// 647, row 520) with a cluster drawn for it: three 3 x 3 members and a square
// outline. The cluster's sums come from the film's own bytes.
TEST_F(CliFeaturesTest, RealMammogramWithADrawnCluster) {
    const fs::path film = fs::path(VISTREL_SHARED_DATA) / "mammograms/mias/mdb209.pgm";
    if (!fs::exists(film)) GTEST_SKIP() << "no shared data";
    const std::string bytes = ReadFile(film);
    ASSERT_EQ(bytes.size(), 17u + 1024u * 1024u);
    auto pixel = [&](int x, int y) {
        return static_cast<unsigned char>(bytes[17 + static_cast<size_t>(y) * 1024 + x]);
    };
    const CPoint corners[] = {{630, 500}, {660, 530}, {645, 515}};
    CRegions regions;
    double mass = 0;
    for (const CPoint& c : corners) {
        CRegion r(Block(c.x, c.y, 3, 3), CRegion::PointsMode::PixelSet);
        r.clusterNumber = 1;
        r.type = 'm';
        r.diagnosis = 1;
        ASSERT_TRUE(regions.Add(r));
        for (const CPoint& p : Block(c.x, c.y, 3, 3)) mass += pixel(p.x, p.y);
    }
    CRegion outline(std::vector<CPoint>{{587, 460}, {707, 460}, {707, 580}, {587, 580}},
                    CRegion::PointsMode::Polygon);
    outline.clusterNumber = ClusterOutlineNumber(1);
    outline.type = 'c';
    outline.diagnosis = 1;
    ASSERT_TRUE(regions.Add(outline));
    const std::string overlay = Path("mdb209.OVERLAY");
    COverlayPlacement placement;
    placement.imageWidth = placement.imageHeight = 1024;
    ASSERT_EQ(WriteOverlay(overlay, {}, regions, CRegions{}, placement, true),
              COverlayWriteResult::Written);

    const QJsonObject json = Ok({"features", film.string(), "--overlay", overlay, "--types", "m"});
    const QJsonArray clusters = json["clusters"].toArray();
    ASSERT_EQ(clusters.size(), 1);
    auto m = NamedValues(clusters[0].toObject());
    EXPECT_EQ(m["Regions_In_Cluster_Number"], 3);
    EXPECT_EQ(m["Regions_In_Cluster_Sum_Area"], 27);
    // No case file beside the film: the default 583.92 pixels per inch (kept
    // as a float, hence the tolerance).
    EXPECT_NEAR(m["Regions_In_Cluster_Sum_Area_mm"], 27 * std::pow(25.4 / 583.92, 2), 1e-8);
    EXPECT_EQ(m["Regions_In_Cluster_Sum_Mass"], mass);
    EXPECT_DOUBLE_EQ(m["Regions_In_Cluster_Mean"], mass / 27);
    // The members themselves, by --types m (the outline is a cluster).
    const QJsonArray members = json["regions"].toArray();
    ASSERT_EQ(members.size(), 3);
    for (const auto& r : members) EXPECT_EQ(NamedValues(r.toObject())["Area"], 9);
    // Calcifications are brighter than the tissue around them.
    EXPECT_GT(m["Regions_In_Cluster_Fbd"], 0)
        << m["Regions_In_Cluster_Mean"] << " vs " << m["Regions_In_Cluster_Background_Gray_Level"];
}

TEST_F(CliFeaturesTest, RegionsOfTheListedTypes) {
    WriteScene();
    const QJsonObject all = Ok({"features", image_, "--overlay", overlay_});
    const QJsonArray regions = all["regions"].toArray();
    ASSERT_EQ(regions.size(), 4);
    const int areas[] = {9, 4, 3, 16};
    const char* types[] = {"m", "m", "m", "p"};
    const int diagnoses[] = {1, 1, 0, 2};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject r = regions[i].toObject();
        EXPECT_EQ(r["index"].toInt(), i);
        EXPECT_EQ(r["type"].toString().toStdString(), types[i]);
        EXPECT_EQ(r["diagnosis"].toInt(), diagnoses[i]);
        EXPECT_EQ(r["names"].toArray()[0].toString(), "Area") << i;
        EXPECT_EQ(NamedValues(r)["Area"], areas[i]) << i;
    }
    const QJsonObject points = Ok({"features", image_, "--overlay", overlay_, "--types", "p"});
    ASSERT_EQ(points["regions"].toArray().size(), 1);
    EXPECT_EQ(points["regions"].toArray()[0].toObject()["index"].toInt(), 3);
    EXPECT_EQ(points["clusters"].toArray().size(), 1);
}

TEST_F(CliFeaturesTest, RegionRowsInAFeatureFileThatPandasReads) {
    WriteScene();
    const std::string ftr = Path("regions.ftr");
    const QJsonObject json =
        Ok({"features", image_, "--overlay", overlay_, "--types", "m", "--ftr", ftr});
    const size_t names =
        static_cast<size_t>(json["regions"].toArray()[0].toObject()["names"].toArray().size());
    Ok({"features", image_, "--overlay", overlay_, "--types", "p", "--ftr", ftr, "--region-type",
        "point lesion"});
    const std::vector<std::string> lines = Lines(ReadFile(ftr));
    ASSERT_EQ(lines.size(), 5u);
    const std::vector<std::string> header = Fields(lines[0]);
    ASSERT_EQ(header.size(), 3 + 1 + names + 1);
    EXPECT_EQ(header[3], "_");
    EXPECT_EQ(header[4], "Area");
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> row = Fields(lines[i]);
        ASSERT_EQ(row.size(), header.size()) << lines[i];
        EXPECT_EQ(row[0], image_);
        EXPECT_EQ(row[3], "0.000000000000");
        EXPECT_EQ(row.back(), "");
    }
    EXPECT_EQ(Fields(lines[1])[1], "MALIGNANT");
    EXPECT_EQ(Fields(lines[3])[1], "BENIGN");
    EXPECT_EQ(Fields(lines[3])[2], "m");
    EXPECT_EQ(Fields(lines[4])[1], "FALSE");
    EXPECT_EQ(Fields(lines[4])[2], "point lesion");
    EXPECT_EQ(Fields(lines[4])[4], "16.000000000000");

    if (std::system("/usr/bin/python3 -c 'import pandas' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no python with pandas";
    const std::string script = Path("read.py");
    WriteFile(script,
              "import sys\nimport pandas as pd\nt = pd.read_csv(sys.argv[1], sep='\\t')\n"
              "print(t.shape[0], t.shape[1], list(t['Area']), t['region type'][3])\n");
    const std::string out = Capture("/usr/bin/python3 " + script + " " + ftr + " 2>&1");
    EXPECT_EQ(out, "4 " + std::to_string(header.size()) + " [9.0, 4.0, 3.0, 16.0] point lesion\n");
}

TEST_F(CliFeaturesTest, GlcmAndSrdmGiveTheLibrarysValues) {
    // Stripes and a ramp: every direction sees different pairs.
    std::vector<uint16_t> samples;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) samples.push_back(static_cast<uint16_t>((x % 3) * 40 + y * 5));
    const std::string path = Path("pattern.pgx");
    WriteFile(path, PgxBytes(8, 16, 12, samples));
    CMImage image(16, 12, 8);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) image.SetPixel(x, y, samples[static_cast<size_t>(y * 16 + x)]);

    struct Case {
        std::string roi;
        int distance;
        CRect clipped;
    };
    for (const Case& c : {Case{"2,1,10,8", 1, {2, 1, 12, 9}}, Case{"2,1,10,8", 2, {2, 1, 12, 9}},
                          Case{"10,6,20,20", 1, {10, 6, 16, 12}}}) {
        const QJsonObject json =
            Ok({"glcm", path, "--roi", c.roi, "--distance", std::to_string(c.distance)});
        CFeatureVector expected;
        ASSERT_TRUE(CoocurrenceFeatures(image, c.clipped, c.distance, expected)) << c.roi;
        const QJsonArray roi = json["roi"].toArray();
        EXPECT_EQ(roi[0].toInt(), c.clipped.left) << c.roi;
        EXPECT_EQ(roi[2].toInt(), c.clipped.Width()) << c.roi;
        EXPECT_EQ(roi[3].toInt(), c.clipped.Height()) << c.roi;
        EXPECT_EQ(json["distance"].toInt(), c.distance);
        const QJsonArray names = json["names"].toArray();
        const QJsonArray values = json["values"].toArray();
        ASSERT_EQ(names.size(), expected.Size()) << c.roi;
        ASSERT_EQ(values.size(), expected.Size()) << c.roi;
        EXPECT_EQ(names[12].toString().toStdString(),
                  "Contrast_" + std::to_string(c.distance) + "_0");
        for (int32_t i = 0; i < expected.Size(); ++i) {
            EXPECT_EQ(names[i].toString().toStdString(), expected.names[static_cast<size_t>(i)]);
            EXPECT_EQ(values[i].toDouble(), expected.values[static_cast<size_t>(i)])
                << c.roi << " " << expected.names[static_cast<size_t>(i)];
        }
    }

    const QJsonObject json = Ok({"srdm", path, "--roi", "0,0,16,12", "--inner", "3", "--middle",
                                 "5", "--outer", "7", "--margin", "20"});
    const auto srdm = BuildSRDM(image, 3, 5, 7, 20, {0, 0, 16, 12});
    ASSERT_TRUE(srdm);
    EXPECT_EQ(json["rows"].toInt(), srdm->rows);
    EXPECT_EQ(json["cols"].toInt(), srdm->cols);
    const QJsonArray matrix = json["matrix"].toArray();
    ASSERT_EQ(matrix.size(), srdm->rows);
    for (int32_t r = 0; r < srdm->rows; ++r) {
        const QJsonArray row = matrix[r].toArray();
        ASSERT_EQ(row.size(), srdm->cols);
        for (int32_t col = 0; col < srdm->cols; ++col)
            EXPECT_EQ(row[col].toInt(), srdm->At(r, col)) << r << "," << col;
    }
    double hws = 0, vws = 0, dws = 0, gws = 0;
    srdm->GetFeatures(hws, vws, dws, gws);
    EXPECT_EQ(json["hws"].toDouble(), hws);
    EXPECT_EQ(json["vws"].toDouble(), vws);
    EXPECT_EQ(json["dws"].toDouble(), dws);
    EXPECT_EQ(json["gws"].toDouble(), gws);
}

}  // namespace
}  // namespace vistrel::clitest
