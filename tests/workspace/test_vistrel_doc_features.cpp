// The document's feature commands: feature texts of a region, a cluster and
// their means, feature files with their dialogs, co-occurrence and SRDM
// texts of the ROI, the texture copy, binary shape images, the image
// retrieval files, and when the menus offer them.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "regions/feature_file.h"
#include "regions/region_features.h"
#include "vistrel_doc_fixture.h"
#include "workspace/command_menus.h"
#include "workspace/command_registry.h"

namespace vistrel {
namespace {

// The value FormatFeatures shows for name ("name   = value"), NaN when absent.
double ValueIn(const std::string& text, const std::string& name) {
    for (size_t pos = text.find(name); pos != std::string::npos; pos = text.find(name, pos + 1)) {
        if (pos > 0 && text[pos - 1] != '\n' && text[pos - 1] != ' ') continue;
        size_t at = pos + name.size();
        while (at < text.size() && text[at] == ' ') ++at;
        if (text.compare(at, 2, "= ") != 0) continue;
        return std::strtod(text.c_str() + at + 2, nullptr);
    }
    return std::nan("");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string GunzipFile(const std::string& path) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file) return {};
    std::string text;
    char buffer[256];
    for (int n; (n = gzread(file, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    gzclose(file);
    return text;
}

class DocFeaturesTest : public DocCommandTest {
  protected:
    void SetUp() override {
        DocCommandTest::SetUp();
        doc = MakeDoc(60, 40, 12);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x) doc->image.SetPixel(x, y, 100 + x + 2 * y);
        doc->image.InvalidateHistogram();
        doc->resolution = 254.0;  // 10 pixels per mm
        doc->pathName = Path("film.pgx");
        // Two members of cluster 1 inside its outline, one region elsewhere.
        a = AddRegion(Square(5, 5, 9, 9), 1, 0);
        b = AddRegion(Square(20, 5, 22, 7), 1, 1);
        c = AddRegion(Square(40, 20, 42, 22), 0, 2);
        CRegion outline = Square(3, 3, 25, 12);
        outline.clusterNumber = ClusterOutlineNumber(1);
        outline.type = 'c';
        outline.diagnosis = 1;
        outlineIndex = doc->regions.Count();
        ASSERT_NE(doc->regions.Add(outline), nullptr);
        // Only the two area features and the member count: short, exact rows.
        app.featureSettings.shapeMoments = false;
        app.featureSettings.moments = false;
        app.featureSelection.SetAll(false);
        for (const char* name : {"Area", "Area_mm", "Regions_In_Cluster_Number"})
            ASSERT_TRUE(app.featureSelection.Set(name, true)) << name;
    }
    // Adds a region and returns its pixel count.
    double AddRegion(CRegion region, int32_t cluster, int16_t diagnosis) {
        region.clusterNumber = cluster;
        region.diagnosis = diagnosis;
        const double area = double(region.Pixels().size());
        EXPECT_NE(doc->regions.Add(region), nullptr);
        return area;
    }
    std::string WindowTitle(const std::string& heading) const {
        return doc->Title().toStdString() + " - " + heading;
    }
    // Answers the region-type and save dialogs.
    void AnswerSave(const std::string& path, int filter = 0) {
        CRegionTypeModel type;
        type.type = "mass";
        type.detail = "spiculated";
        ui.regionTypeAnswer = type;
        ui.savePath = path;
        ui.saveFilter = filter;
    }

    std::unique_ptr<CVistrelDoc> doc;
    double a = 0, b = 0, c = 0;
    int32_t outlineIndex = 0;
};

TEST_F(DocFeaturesTest, ShowFeaturesOfTheSelectedRegionInATextWindow) {
    EXPECT_EQ(doc->OnShowFeatures(), "");  // nothing selected
    EXPECT_TRUE(ui.textWindows.empty());

    doc->regions.Select(0);
    const std::string text = doc->OnShowFeatures();
    ASSERT_EQ(text.rfind("CURRENT REGION FEATURES:\nBENIGN\n", 0), 0u) << text;
    EXPECT_DOUBLE_EQ(ValueIn(text, "Area"), a);
    EXPECT_NEAR(ValueIn(text, "Area_mm"), a / 100.0, 1e-4);  // the document's resolution
    ASSERT_EQ(ui.textWindows.size(), 1u);
    EXPECT_EQ(ui.textWindows[0].first, WindowTitle("CURRENT REGION FEATURES"));
    EXPECT_EQ(ui.textWindows[0].second, text);

    // What is not selected is not shown.
    app.featureSelection.Set("Area", false);
    EXPECT_TRUE(std::isnan(ValueIn(doc->OnShowFeatures(), "Area")));
}

TEST_F(DocFeaturesTest, ShowFeaturesOfAClusterOutlineShowsTheClusterFeatures) {
    doc->regions.Select(outlineIndex);
    const std::string text = doc->OnShowFeatures();
    ASSERT_EQ(text.rfind("FEATURES OF REGIONS AS A CLUSTER:\nMALIGNANT\n", 0), 0u) << text;
    EXPECT_DOUBLE_EQ(ValueIn(text, "Regions_In_Cluster_Number"), 2.0);
    EXPECT_TRUE(std::isnan(ValueIn(text, "Area")));
    EXPECT_EQ(doc->OnFeaturesOfRegionsAsCluster(), text);
    ASSERT_EQ(ui.textWindows.size(), 2u);
    EXPECT_EQ(ui.textWindows[0].first, WindowTitle("FEATURES OF REGIONS AS A CLUSTER"));

    // Without an outline selected the cluster commands show nothing.
    doc->regions.Select(0);
    EXPECT_EQ(doc->OnFeaturesOfRegionsAsCluster(), "");
    EXPECT_EQ(doc->OnMeanFeaturesInCluster(), "");
    EXPECT_EQ(ui.textWindows.size(), 2u);
}

TEST_F(DocFeaturesTest, MeanFeaturesCoverTheRightRegions) {
    struct Case {
        bool inCluster;
        std::vector<double> areas;
        const char* meanHeading;
        const char* stdHeading;
    } cases[] = {
        {false, {a, b, c}, "MEAN REGION FEATURES:\n", "STD DEV REGION FEATURES:\n"},
        {true,
         {a, b},
         "MEAN FEATURES FOR REGIONS IN CLUSTER:\n",
         "STD DEV FEATURES FOR REGIONS IN CLUSTER:\n"},
    };
    doc->regions.Select(outlineIndex);
    for (const Case& test : cases) {
        double mean = 0, square = 0;
        for (double area : test.areas) mean += area / double(test.areas.size());
        for (double area : test.areas) square += (area - mean) * (area - mean);
        const double stdDev = std::sqrt(square / double(test.areas.size()));

        const std::string text =
            test.inCluster ? doc->OnMeanFeaturesInCluster() : doc->OnMeanRegionFeatures();
        const size_t split = text.find(test.stdHeading);
        ASSERT_EQ(text.rfind(test.meanHeading, 0), 0u) << text;
        ASSERT_NE(split, std::string::npos) << text;
        EXPECT_NEAR(ValueIn(text.substr(0, split), "Area"), mean, 1e-4) << test.meanHeading;
        EXPECT_NEAR(ValueIn(text.substr(split), "Area"), stdDev, 1e-4) << test.meanHeading;
        // The outline is no region of its own.
        EXPECT_TRUE(std::isnan(ValueIn(text, "Regions_In_Cluster_Number")));
    }
    EXPECT_FALSE(ui.progressTexts.empty());
    EXPECT_EQ(ui.progressEnds, int(ui.progressTexts.size()));
}

TEST_F(DocFeaturesTest, CancelledMeanFeaturesShowNothing) {
    ui.cancelAt = 0.0;
    EXPECT_EQ(doc->OnMeanRegionFeatures(), "");
    EXPECT_TRUE(ui.textWindows.empty());
    doc->regions.RemoveAll();
    ui.cancelAt.reset();
    EXPECT_EQ(doc->OnMeanRegionFeatures(), "");
}

TEST_F(DocFeaturesTest, SaveRegionFeaturesAsksTypeAndFileAndAppends) {
    doc->regions.Select(0);
    app.lastPaths.features = Path("old.txt");
    app.regionType.type = "calc";
    AnswerSave(Path("learn"), 0);
    ASSERT_TRUE(doc->OnSaveFeatures(CommandId::SaveRegionFeatures));
    // The remembered fields open the dialog; the last file and its filter the save dialog.
    ASSERT_EQ(ui.regionTypeShown.size(), 1u);
    EXPECT_EQ(ui.regionTypeShown[0].type, "calc");
    EXPECT_EQ(app.regionType.type, "mass");
    EXPECT_EQ(app.regionType.detail, "spiculated");
    EXPECT_EQ(ui.saveInitialPath, Path("old.txt"));
    EXPECT_EQ(ui.saveInitialFilter, 1);
    ASSERT_EQ(ui.saveFilters.size(), 2u);
    EXPECT_EQ(ui.saveFilters[0].description, "Features Files ");
    EXPECT_EQ(ui.saveFilters[0].patterns, std::vector<std::string>{"*.ftr"});
    EXPECT_EQ(ui.saveFilters[1].description, "TXT Files ");
    EXPECT_EQ(ui.saveFilters[1].patterns, std::vector<std::string>{"*.txt"});
    // The chosen filter's extension is forced and remembered.
    const std::string file = Path("learn.ftr");
    EXPECT_EQ(app.lastPaths.features, file);

    doc->regions.Select(1);
    ASSERT_TRUE(doc->OnSaveFeatures(CommandId::SaveRegionFeatures));
    EXPECT_EQ(ui.saveInitialFilter, 0);
    char areaMm[64];
    std::snprintf(areaMm, sizeof areaMm, "%.12f", a / 100.0);
    const std::vector<std::string> lines = Lines(ReadFileBytes(file));
    ASSERT_EQ(lines.size(), 3u) << ReadFileBytes(file);
    EXPECT_EQ(lines[0], "filename\tdiagnosis\tregion type\t_\tArea\tArea_mm\t");
    EXPECT_EQ(lines[1], doc->pathName + "\tBENIGN\tmass spiculated\t0.000000000000\t" +
                            std::to_string(int(a)) + ".000000000000\t" + areaMm + "\t");
    EXPECT_EQ(lines[2].rfind(doc->pathName + "\tMALIGNANT\tmass spiculated\t0.0", 0), 0u);
}

TEST_F(DocFeaturesTest, EachSaveCommandWritesItsRows) {
    struct Case {
        CommandId command;
        int32_t selected;
        std::vector<std::string> diagnoses;  // the rows' diagnosis words
        const char* firstNames;              // the header after "region type\t"
    } cases[] = {
        {CommandId::LearningRegionFeatures, -1, {"BENIGN", "MALIGNANT", "FALSE"}, "_\tArea\t"},
        {CommandId::LearningClusterFeatures,
         -1,
         {"CLUSTER MALIGNANT"},
         "Regions_In_Cluster_Number\t"},
        {CommandId::LearningMeanFeatures,
         -1,
         {"FALSE"},
         "_\tArea_MEAN\tArea_mm_MEAN\tArea_STD_DEV\tArea_mm_STD_DEV\t"},
        {CommandId::SaveClusterAndRegionFeatures,
         3,
         {"CLUSTER MALIGNANT", "BENIGN", "MALIGNANT"},
         "Regions_In_Cluster_Number\t"},
        {CommandId::SaveRegionFeatures, 3, {"CLUSTER MALIGNANT"}, "Regions_In_Cluster_Number\t"},
    };
    for (const Case& test : cases) {
        const std::string name = "rows" + std::to_string(int(test.command)) + ".ftr";
        doc->regions.Select(test.selected);
        AnswerSave(Path(name));
        ASSERT_TRUE(doc->OnSaveFeatures(test.command)) << int(test.command);
        const std::vector<std::string> lines = Lines(ReadFileBytes(Path(name)));
        ASSERT_EQ(lines.size(), test.diagnoses.size() + 1) << int(test.command);
        EXPECT_EQ(
            lines[0].rfind(std::string("filename\tdiagnosis\tregion type\t") + test.firstNames, 0),
            0u)
            << lines[0];
        for (size_t i = 0; i < test.diagnoses.size(); ++i)
            EXPECT_EQ(lines[i + 1].rfind(doc->pathName + "\t" + test.diagnoses[i] + "\t", 0), 0u)
                << int(test.command) << ": " << lines[i + 1];
    }
}

TEST_F(DocFeaturesTest, TheMarkedClusterPictureOpensOnlyForDisplay) {
    ASSERT_TRUE(app.featureSelection.Set("Regions_In_Cluster_Coocurence_Features", true));
    doc->regions.Select(outlineIndex);
    AnswerSave(Path("clusters.ftr"));
    ASSERT_TRUE(doc->OnSaveFeatures(CommandId::LearningClusterFeatures));
    EXPECT_TRUE(ui.opened.empty());
    const std::string text = doc->OnFeaturesOfRegionsAsCluster();
    EXPECT_NE(text.find("Contrast_Mean"), std::string::npos) << text;
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0]->image.width, doc->image.width);
}

TEST_F(DocFeaturesTest, CancelledOrImpossibleSavesWriteNothing) {
    const std::string file = Path("none.ftr");
    doc->regions.Select(0);
    AnswerSave(file);
    ui.regionTypeOk = false;
    EXPECT_FALSE(doc->OnSaveFeatures(CommandId::SaveRegionFeatures));
    EXPECT_EQ(ui.saveInitialPath, "");  // the file was never asked for
    ui.regionTypeOk = true;
    ui.saveOk = false;
    EXPECT_FALSE(doc->OnSaveFeatures(CommandId::SaveRegionFeatures));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(app.lastPaths.features, "");

    // An empty type is refused with a message.
    ui.saveOk = true;
    CRegionTypeModel blank;
    blank.type = "  ";
    ui.regionTypeAnswer = blank;
    EXPECT_FALSE(doc->OnSaveFeatures(CommandId::SaveRegionFeatures));
    EXPECT_EQ(sink.shown.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(file));

    // No selection, or no cluster outline selected, asks nothing.
    const size_t asked = ui.regionTypeShown.size();
    doc->regions.Select(-1);
    EXPECT_FALSE(doc->OnSaveFeatures(CommandId::SaveRegionFeatures));
    doc->regions.Select(0);
    EXPECT_FALSE(doc->OnSaveFeatures(CommandId::SaveClusterAndRegionFeatures));
    EXPECT_EQ(ui.regionTypeShown.size(), asked);

    // A file that cannot be written says so; what was there stays.
    std::filesystem::create_directories(Path("taken.ftr/inside"));
    AnswerSave(Path("taken.ftr"));
    sink.shown.clear();
    EXPECT_FALSE(doc->OnSaveFeatures(CommandId::SaveRegionFeatures));
    ASSERT_FALSE(sink.shown.empty());
    EXPECT_NE(sink.shown.back().find("taken.ftr"), std::string::npos) << sink.shown.back();
    EXPECT_TRUE(std::filesystem::is_directory(Path("taken.ftr/inside")));
}

TEST_F(DocFeaturesTest, GlcmOfTheRoiIsShownAndAppendedToTheDescription) {
    ui.textOk = false;
    EXPECT_EQ(doc->OnComputeGlcm({50, 30, 70, 50}), "");
    EXPECT_TRUE(ui.textWindows.empty());
    EXPECT_EQ(doc->description, "");

    ui.textOk = true;
    ui.textAnswer = "fatty\ttissue";
    doc->description = "old note";
    app.featureSettings.coocurrenceDistance = 2;
    const std::string text = doc->OnComputeGlcm({50, 30, 70, 50});  // clipped to the image
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 1u + 1 + 4 + 8 + 60) << text;
    EXPECT_EQ(lines[0], "GLCM IN ROI FEATURES:");
    EXPECT_EQ(lines[1], "type = fatty tissue");
    EXPECT_EQ(lines[2], "glcm_in_roi_left = 50");
    EXPECT_EQ(lines[3], "glcm_in_roi_top = 30");
    EXPECT_EQ(lines[4], "glcm_in_roi_right = 60");
    EXPECT_EQ(lines[5], "glcm_in_roi_bottom = 40");
    EXPECT_EQ(lines[6], "min = 210.000000");  // 100 + 50 + 2 * 30
    EXPECT_EQ(lines[7], "max = 237.000000");  // 100 + 59 + 2 * 39
    EXPECT_EQ(lines[10], "pixels = 100.000000");
    EXPECT_EQ(lines[14].rfind("Contrast_Mean = ", 0), 0u);
    EXPECT_NE(text.find("\nContrast_2_45 = "), std::string::npos);
    EXPECT_EQ(text.find("_1_"), std::string::npos);
    EXPECT_EQ(doc->description, "old note\n" + text);
    ASSERT_EQ(ui.textWindows.size(), 1u);
    EXPECT_EQ(ui.textWindows[0].first, WindowTitle("GLCM IN ROI FEATURES"));
    // A ROI off the image gives nothing and asks nothing.
    EXPECT_EQ(doc->OnComputeGlcm({70, 50, 80, 60}), "");
    EXPECT_EQ(ui.textPrompts.size(), 2u);
}

TEST_F(DocFeaturesTest, SrdmTextOfAConstantRoi) {
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) doc->image.SetPixel(x, y, 500);
    doc->image.InvalidateHistogram();
    const std::string text = doc->OnComputeSrdm({0, 0, 20, 20});
    // Every pixel has no darker neighbour: all 400 in the first entry, every sum 0.
    std::string expected = "SRD matrix h=73 w=105;\n";
    for (int row = 0; row < 73; ++row) {
        for (int col = 0; col < 105; ++col) expected += row == 0 && col == 0 ? "400 " : "0 ";
        expected += "\n";
    }
    expected += "\nHWS = 0.000000\nVWS = 0.000000\nDWS = 0.000000\nGWS = 0.000000";
    EXPECT_EQ(text, expected);
    ASSERT_EQ(ui.textWindows.size(), 1u);
    EXPECT_EQ(ui.textWindows[0].second, expected);
    EXPECT_EQ(doc->OnComputeSrdm({}), "SRD matrix == NULL;");
    EXPECT_EQ(doc->OnComputeSrdm({100, 100, 120, 120}), "SRD matrix == NULL;");
}

TEST_F(DocFeaturesTest, PutTextureCopiesTheLeftNeighbourAfterTheQuestion) {
    auto numbered = MakeNumbered(30, 10);  // pixel 1 + x + 10 y
    const CRect roi{12, 2, 17, 5};
    sink.answers.push_back(1);  // Cancel
    EXPECT_FALSE(numbered->OnPutTextureNextToRoi(roi));
    EXPECT_EQ(numbered->image.GetPixel(12, 2), 33);
    ASSERT_EQ(sink.asked.size(), 1u);
    EXPECT_EQ(sink.asked[0], "Are you sure you want to copy ROI from the left side?");

    CUpdateLog log(*numbered);
    sink.answers.push_back(0);  // OK
    EXPECT_TRUE(numbered->OnPutTextureNextToRoi(roi));
    EXPECT_EQ(log.codes.front(), kUpdateImage);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool inside = x >= 12 && x < 17 && y >= 2 && y < 5;
            EXPECT_EQ(numbered->image.GetPixel(x, y), 1 + (inside ? x - 5 : x) + 10 * y)
                << x << "," << y;
        }
    // No room on the left: nothing asked, nothing changed.
    const size_t asked = sink.asked.size();
    EXPECT_FALSE(numbered->OnPutTextureNextToRoi({3, 0, 8, 3}));
    EXPECT_EQ(sink.asked.size(), asked);
    EXPECT_EQ(numbered->image.GetPixel(3, 0), 4);
}

TEST_F(DocFeaturesTest, BinaryImagesHoldEachRegionsMask) {
    doc->regions.RemoveAll();
    const CRegion first = Square(2, 3, 6, 8), second = Square(30, 10, 33, 12);
    doc->regions.Add(first);
    doc->regions.Add(second);
    EXPECT_EQ(doc->OnBinaryImagesOfShapes(), 2);
    ASSERT_EQ(ui.opened.size(), 2u);
    const CRegion* shapes[] = {&first, &second};
    for (size_t i = 0; i < 2; ++i) {
        const CVistrelDoc& shape = *ui.opened[i];
        ASSERT_EQ(shape.image.width, 60);
        ASSERT_EQ(shape.image.height, 40);
        EXPECT_TRUE(shape.regions.IsEmpty());
        EXPECT_NE(shape.pathName.find("_shape_" + std::to_string(i)), std::string::npos);
        int inside = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x) {
                const int value = shape.image.GetPixel(x, y);
                EXPECT_TRUE(value == 0 || value == 255);
                if (value == 0) continue;
                ++inside;
                EXPECT_TRUE(shapes[i]->Contains(x, y)) << x << "," << y;
            }
        EXPECT_EQ(inside, int(shapes[i]->Pixels().size()));
    }
}

TEST_F(DocFeaturesTest, FireFilesHoldRegionsAreaAndClusters) {
    ASSERT_TRUE(doc->WriteFireFeatures(100));
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "FIRE_vectorfeature\ndim 3 \ndata 3.000000 %f 1.000000", (a + b + c) / 100.0);
    EXPECT_EQ(ReadFileBytes(FireVectorPath(doc->pathName)), expected);
    const std::string mammo = GunzipFile(FireMammoPath(doc->pathName));
    EXPECT_NE(mammo.find("FIRE_mammofeature"), std::string::npos) << mammo;
    EXPECT_NE(mammo.find("clusters 1"), std::string::npos) << mammo;
    EXPECT_NE(mammo.find("regions 3"), std::string::npos) << mammo;

    // A folder that does not exist cannot take them.
    doc->pathName = Path("no/such/folder/film.pgx");
    EXPECT_FALSE(doc->WriteFireFeatures(100));
}

// ---- commands and menus

CActiveView ViewWithRoi(const CRect& roi) {
    CActiveView view;
    view.present = true;
    view.framePresent = true;
    view.roi = roi;
    return view;
}

TEST_F(DocFeaturesTest, CommandsAreEnabledByWhatTheyNeed) {
    enum Need { kRoi, kRegions, kSelection, kClusterSelection, kNothing };
    const std::vector<std::pair<CommandId, Need>> commands = {
        {CommandId::ComputeSrdm, kRoi},
        {CommandId::ComputeGlcm, kRoi},
        {CommandId::PutTextureNextToRoi, kRoi},
        {CommandId::MeanRegionFeatures, kRegions},
        {CommandId::LearningMeanFeatures, kRegions},
        {CommandId::LearningClusterFeatures, kRegions},
        {CommandId::LearningRegionFeatures, kRegions},
        {CommandId::BinaryImagesOfShapes, kRegions},
        {CommandId::ShowFeatures, kSelection},
        {CommandId::SaveRegionFeatures, kSelection},
        {CommandId::MeanFeaturesInCluster, kClusterSelection},
        {CommandId::FeaturesOfRegionsAsCluster, kClusterSelection},
        {CommandId::SaveClusterAndRegionFeatures, kClusterSelection},
        {CommandId::FeatureSelection, kNothing},
        {CommandId::CoocurrenceParams, kNothing},
    };
    CVistrelDoc empty(app, 2);
    empty.image.Create(10, 10, 8);
    struct State {
        CVistrelDoc* document;
        CRect roi;
        int32_t selected;
        std::vector<Need> enabled;
    } states[] = {
        {doc.get(), {}, -1, {kRegions, kNothing}},
        {doc.get(), {1, 1, 5, 5}, -1, {kRoi, kRegions, kNothing}},
        {doc.get(), {}, 0, {kRegions, kSelection, kNothing}},
        {doc.get(), {}, outlineIndex, {kRegions, kSelection, kClusterSelection, kNothing}},
        {&empty, {1, 1, 5, 5}, -1, {kRoi, kNothing}},
        {nullptr, {1, 1, 5, 5}, -1, {kNothing}},
    };
    int stateIndex = 0;
    for (const State& state : states) {
        if (state.document) state.document->regions.Select(state.selected);
        const CCommandContext context{app, state.document, ViewWithRoi(state.roi)};
        for (const auto& [id, need] : commands) {
            const bool expected =
                std::find(state.enabled.begin(), state.enabled.end(), need) != state.enabled.end();
            EXPECT_EQ(CommandEnabled(context, int(id)), expected)
                << "state " << stateIndex << " command " << int(id);
        }
        ++stateIndex;
    }
}

TEST_F(DocFeaturesTest, ShowFeaturesNamesAClusterOutline) {
    ASSERT_TRUE(CommandHasTextRule(int(CommandId::ShowFeatures)));
    const CCommandContext context{app, doc.get(), ViewWithRoi({})};
    doc->regions.Select(0);
    EXPECT_EQ(CommandMenuText(context, int(CommandId::ShowFeatures)), "Show &Features");
    doc->regions.Select(outlineIndex);
    EXPECT_EQ(CommandMenuText(context, int(CommandId::ShowFeatures)),
              "Show &Cluster Region Features");
}

TEST_F(DocFeaturesTest, RunningTheCommandsReachesTheDocumentAndTheApplication) {
    const CCommandContext context{app, doc.get(), ViewWithRoi({50, 30, 60, 40})};
    ASSERT_TRUE(RunCommand(context, int(CommandId::ComputeSrdm)));
    ASSERT_EQ(ui.textWindows.size(), 1u);
    EXPECT_EQ(ui.textWindows[0].second.rfind("SRD matrix h=73 w=105;\n", 0), 0u);
    ui.coocurrenceOk = false;
    ASSERT_TRUE(RunCommand(context, int(CommandId::CoocurrenceParams)));
    EXPECT_EQ(ui.coocurrenceShown.size(), 1u);
    ui.featureSelectionOk = false;
    ASSERT_TRUE(RunCommand(context, int(CommandId::FeatureSelection)));
    EXPECT_EQ(ui.featureSelectionShown.size(), 1u);
    doc->regions.Select(0);
    ui.regionTypeOk = false;
    ASSERT_TRUE(RunCommand(context, int(CommandId::LearningRegionFeatures)));
    EXPECT_EQ(ui.regionTypeShown.size(), 1u);
}

// The ids of a menu's entries, submenus included, with the submenu titles.
void Collect(const std::vector<CMenuEntry>& items, std::vector<int>& ids,
             std::vector<std::string>* titles = nullptr) {
    for (const CMenuEntry& item : items) {
        if (item.kind == CMenuEntry::EKind::Command) ids.push_back(int(item.id));
        if (item.kind == CMenuEntry::EKind::Submenu) {
            if (titles) titles->push_back(item.title);
            Collect(item.items, ids, titles);
        }
    }
}

TEST(FeatureMenus, TheFeatureCommandsAreInTheirMenus) {
    auto has = [](const std::vector<int>& ids, CommandId id) {
        return std::find(ids.begin(), ids.end(), int(id)) != ids.end();
    };
    for (const CMenuLayout& menu : MenuBarLayout()) {
        if (std::string(menu.title) != "&Regions") continue;
        std::vector<int> ids;
        std::vector<std::string> titles;
        Collect(menu.items, ids, &titles);
        EXPECT_NE(std::find(titles.begin(), titles.end(), "Add Learning Patterns"), titles.end());
        for (CommandId id :
             {CommandId::ShowFeatures, CommandId::MeanRegionFeatures,
              CommandId::MeanFeaturesInCluster, CommandId::FeaturesOfRegionsAsCluster,
              CommandId::LearningMeanFeatures, CommandId::LearningClusterFeatures,
              CommandId::LearningRegionFeatures, CommandId::SaveRegionFeatures,
              CommandId::SaveClusterAndRegionFeatures, CommandId::BinaryImagesOfShapes,
              CommandId::FeatureSelection, CommandId::CoocurrenceParams})
            EXPECT_TRUE(has(ids, id)) << int(id);
    }
    for (const CContextMenuLayout& menu : ContextMenuLayouts()) {
        std::vector<int> ids;
        Collect(menu.items, ids);
        if (menu.id == kMenuRegion) {
            EXPECT_TRUE(has(ids, CommandId::ShowFeatures));
            EXPECT_TRUE(has(ids, CommandId::SaveRegionFeatures));
        }
        if (menu.id == kMenuCluster) {
            for (CommandId id :
                 {CommandId::ShowFeatures, CommandId::FeaturesOfRegionsAsCluster,
                  CommandId::MeanFeaturesInCluster, CommandId::SaveClusterAndRegionFeatures}) {
                EXPECT_TRUE(has(ids, id)) << int(id);
            }
        }
        if (menu.id == kMenuRoi) {
            for (CommandId id :
                 {CommandId::ComputeSrdm, CommandId::ComputeGlcm, CommandId::PutTextureNextToRoi}) {
                EXPECT_TRUE(has(ids, id)) << int(id);
            }
        }
    }
    // Every id placed has a registry row, so the shell can build its action.
    for (CommandId id : {CommandId::ShowFeatures, CommandId::LearningMeanFeatures,
                         CommandId::CoocurrenceParams, CommandId::BinaryImagesOfShapes})
        EXPECT_NE(FindCommand(int(id)), nullptr) << int(id);
}

}  // namespace
}  // namespace vistrel
