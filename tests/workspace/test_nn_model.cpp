#include "workspace/nn_model.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "classification/network_features.h"
#include "regions/feature_file.h"
#include "vistrel_doc_fixture.h"
#include "workspace/vistrel_app.h"

namespace vistrel {
namespace {

constexpr int32_t kAreaBox = 0;
constexpr int32_t kElongationBox = 3;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class NnModelTest : public DocTest {
  protected:
    CNNModel MakeModel(std::optional<uint32_t> seed = 11u) {
        return CNNModel(&ui, app.lastPaths, app.featureSettings, seed);
    }
    // A model holding a fresh network on area and elongation.
    void Create(CNNModel& model, int32_t hidden = 3) {
        model.boxes[kAreaBox] = model.boxes[kElongationBox] = true;
        model.hiddenNodes = hidden;
        model.OnCreate();
        ASSERT_NE(model.Network(), nullptr);
    }
    // Small areas are false objects, large ones lesions: a split the network can learn.
    std::string WritePatterns(const std::string& name) {
        std::vector<CFeatureRow> rows;
        for (int i = 0; i < 8; ++i) {
            CFeatureVector features;
            const bool lesion = i % 2 == 1;
            features.Add("Area", lesion ? 90.0 + i : 10.0 + i);
            features.Add("Elongation", 1.0 + 0.1 * i);
            rows.push_back({lesion ? (i % 4 == 1 ? "BENIGN" : "MALIGNANT") : "FALSE", "region",
                            WithLeadingColumn(features)});
        }
        const std::string path = Path(name);
        std::string error;
        EXPECT_TRUE(AppendFeatureRows(path, "film.pgx", rows, &error)) << error;
        return path;
    }
};

TEST_F(NnModelTest, CreateRefusesNoFeatureOrNoHiddenNodes) {
    struct Case {
        bool box;
        int32_t hidden;
    };
    for (const Case c : {Case{true, 0}, Case{true, -2}, Case{false, 4}}) {
        CNNModel model = MakeModel();
        model.boxes[kAreaBox] = c.box;
        model.hiddenNodes = c.hidden;
        sink.shown.clear();
        model.OnCreate();
        EXPECT_EQ(model.Network(), nullptr) << c.box << " " << c.hidden;
        EXPECT_EQ(sink.shown, std::vector<std::string>{kNnWrongParameters});
        EXPECT_FALSE(model.showSave || model.showTrain || model.showTest);
    }
}

TEST_F(NnModelTest, CreateBuildsTheMaskFromTheBoxesAndShowsTheButtons) {
    CNNModel model = MakeModel();
    model.encoding = ENnEncoding::ThreeBMF;
    Create(model, 5);
    const BPNN& network = *model.Network();
    EXPECT_EQ(network.NIn(), 2);
    EXPECT_EQ(network.NHidden(), 5);
    EXPECT_EQ(network.NOut(), 3);
    const auto names = NetworkFeatureNames(app.featureSettings);
    ASSERT_EQ(network.MaskLength(), static_cast<int32_t>(names.size()));
    std::vector<std::string> chosen;
    for (int32_t i = 0; i < network.MaskLength(); ++i)
        if (network.Mask()[i]) chosen.push_back(names[i]);
    EXPECT_EQ(chosen, (std::vector<std::string>{"Area", "Elongation"}));
    EXPECT_TRUE(model.showOpen && model.showSave && model.showTrain && model.showTest);
    EXPECT_FALSE(model.Saved());
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(NnModelTest, CreateAsksBeforeReplacingADifferentNetwork) {
    CNNModel model = MakeModel();
    Create(model, 3);
    const BPNN first = *model.Network();
    // The same seed and parameters build the same network: nothing to ask.
    model.OnCreate();
    EXPECT_TRUE(sink.asked.empty());

    model.hiddenNodes = 4;
    sink.answers = {1};  // No
    model.OnCreate();
    ASSERT_EQ(sink.asked, std::vector<std::string>{kNnReplaceUnsaved});
    EXPECT_TRUE(model.Network()->SameAs(first));

    sink.answers = {0};  // Yes
    model.OnCreate();
    EXPECT_EQ(model.Network()->NHidden(), 4);
}

TEST_F(NnModelTest, ResetAsksAndClearsTheFields) {
    CNNModel model = MakeModel();
    model.encoding = ENnEncoding::TwoBM;
    Create(model, 6);
    model.threshold = 0.3;
    model.hiddenNodes = 9;  // typed, not yet a network

    sink.answers = {1};  // No: the fields come back from the network
    model.OnReset();
    EXPECT_EQ(sink.asked, std::vector<std::string>{kNnRemove});
    ASSERT_NE(model.Network(), nullptr);
    EXPECT_EQ(model.hiddenNodes, 6);

    sink.answers = {0};
    model.OnReset();
    EXPECT_EQ(model.Network(), nullptr);
    EXPECT_EQ(model.hiddenNodes, 0);
    EXPECT_EQ(model.encoding, ENnEncoding::OneTF);
    EXPECT_EQ(model.threshold, 0.5);
    EXPECT_EQ(model.k, 1.0);
    EXPECT_FALSE(model.boxes[kAreaBox] || model.boxes[kElongationBox]);
    EXPECT_TRUE(model.showOpen);
    EXPECT_FALSE(model.showSave || model.showTrain || model.showTest);
}

TEST_F(NnModelTest, EditsHideTheNetworkButtonsAndABoxClearsSaved) {
    const std::string path = Path("saved.nn");
    for (int edit = 0; edit < 4; ++edit) {
        CNNModel model = MakeModel();
        Create(model);
        ui.savePath = path;
        model.OnSave();
        ASSERT_TRUE(model.Saved());
        switch (edit) {
            case 0: model.OnHiddenNodesChanged(7); break;
            case 1: model.OnKChanged(2.0); break;
            case 2: model.OnEncodingChanged(ENnEncoding::TwoTF); break;
            default: model.OnBoxToggled(5, true); break;
        }
        EXPECT_FALSE(model.showOpen || model.showSave || model.showTrain || model.showTest)
            << edit;
        EXPECT_EQ(model.Saved(), edit != 3) << edit;
        std::filesystem::remove(path);
    }
}

TEST_F(NnModelTest, SaveAsksBeforeReplacingAndReportsFailure) {
    CNNModel model = MakeModel();
    Create(model);
    ui.savePath = Path("net.txt");  // the extension becomes .nn
    model.OnSave();
    const std::string path = Path("net.nn");
    EXPECT_EQ(app.lastPaths.neuralNetwork, path);
    EXPECT_EQ(sink.shown, std::vector<std::string>{kNnSaved});
    EXPECT_TRUE(model.Saved());
    const std::string bytes = ReadAll(path);
    ASSERT_FALSE(bytes.empty());

    // No to replacing leaves the file as it was.
    model.hiddenNodes = 4;
    sink.answers = {0};
    model.OnCreate();
    sink.answers = {1};
    model.OnSave();
    EXPECT_EQ(sink.asked.back(), path + kNnAlreadyExists);
    EXPECT_EQ(ReadAll(path), bytes);

    ui.savePath = Path("missing/folder/net.nn");
    sink.shown.clear();
    model.OnSave();
    // The file layer may say why first; the last word is the failure itself.
    ASSERT_FALSE(sink.shown.empty());
    EXPECT_EQ(sink.shown.back(), Path("missing/folder/net.nn") + kNnCannotSave);
}

TEST_F(NnModelTest, OpenRefreshesTheFieldsFromTheNetwork) {
    CNNModel maker = MakeModel();
    maker.encoding = ENnEncoding::TwoTF;
    maker.k = 1.5;
    Create(maker, 4);
    ui.savePath = Path("two.nn");
    maker.OnSave();

    CNNModel model = MakeModel();
    ui.openFilePath = Path("two.nn");
    model.OnOpen();
    ASSERT_NE(model.Network(), nullptr);
    EXPECT_TRUE(model.Network()->SameAs(*maker.Network()));
    EXPECT_EQ(model.encoding, ENnEncoding::TwoTF);
    EXPECT_EQ(model.hiddenNodes, 4);
    EXPECT_DOUBLE_EQ(model.k, 1.5);
    EXPECT_TRUE(model.boxes[kAreaBox] && model.boxes[kElongationBox]);
    EXPECT_EQ(std::count(model.boxes.begin(), model.boxes.end(), true), 2);
    EXPECT_TRUE(model.Saved());
    EXPECT_TRUE(model.showSave && model.showTrain && model.showTest);
    // The same network again: kept without a question.
    model.OnOpen();
    EXPECT_TRUE(sink.asked.empty());
}

TEST_F(NnModelTest, OpenOfABadFileSaysSoAndKeepsTheNetwork) {
    WriteText(Path("bad.nn"), "not a network");
    CNNModel model = MakeModel();
    Create(model);
    const BPNN before = *model.Network();
    ui.openFilePath = Path("bad.nn");
    model.OnOpen();
    EXPECT_EQ(sink.shown, std::vector<std::string>{kNnCannotOpen});
    EXPECT_TRUE(model.Network()->SameAs(before));
    // A name whose .nn does not exist does nothing.
    sink.shown.clear();
    ui.openFilePath = Path("absent.txt");
    model.OnOpen();
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_TRUE(model.Network()->SameAs(before));
}

TEST_F(NnModelTest, FeaturesNoBoxStandsForAreKeptAndNoted) {
    const auto names = NetworkFeatureNames(app.featureSettings);
    std::vector<uint8_t> mask;
    // Position 0 is the leading column "_", which no box selects.
    ASSERT_TRUE(MaskFromNames(names, {"_", "Area"}, mask));
    BPNN network(2, 3, 1, false, mask.data(), static_cast<int32_t>(mask.size()), 5u);
    ASSERT_TRUE(network.IsValid());
    CNNModel model = MakeModel();
    model.Load(&network, 0.4);
    EXPECT_EQ(model.OtherFeaturesNote(), "+ 1 other features");
    EXPECT_TRUE(model.boxes[kAreaBox]);
    EXPECT_EQ(model.threshold, 0.4);
    EXPECT_EQ(model.MaskFromBoxes(), mask);
}

TEST_F(NnModelTest, TrainReportsEachEpochAndTheSummary) {
    const std::string patterns = WritePatterns("learn.ftr");
    CNNModel model = MakeModel();
    Create(model);
    model.epochs = 30;
    model.accuracy = 0.0;  // run every epoch
    ui.openFilePath = patterns;
    model.OnTrain();
    EXPECT_EQ(app.lastPaths.features, patterns);
    ASSERT_EQ(ui.progressStatus.size(), 30u);
    EXPECT_EQ(ui.progressStatus.front().rfind("epoch: 0\nerror: ", 0), 0u);
    EXPECT_EQ(ui.progressStatus.back().rfind("epoch: 29\nerror: ", 0), 0u);
    EXPECT_EQ(ui.progressTexts.size(), 1u);
    EXPECT_EQ(ui.progressEnds, 1);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].rfind("30. error = ", 0), 0u) << sink.shown[0];
    EXPECT_TRUE(model.Network()->HasNormalisation());
}

// Cancel stops the run at once (the epoch that ends as it is pressed is kept)
// and no summary follows.
TEST_F(NnModelTest, CancelledTrainingStopsAndSaysNothing) {
    const std::string patterns = WritePatterns("learn.ftr");
    CNNModel model = MakeModel();
    Create(model);
    model.epochs = 50;
    model.accuracy = 0.0;
    ui.openFilePath = patterns;
    ui.cancelAt = 0.0;
    model.OnTrain();
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_LE(ui.progressStatus.size(), 1u);
    EXPECT_EQ(ui.progressEnds, 1);
}

TEST_F(NnModelTest, PatternsThatAreNotAFeatureFileAreReported) {
    WriteText(Path("junk.ftr"), std::string("\x01\x02\x00\x03 binary", 10));
    CNNModel model = MakeModel();
    Create(model);
    ui.openFilePath = Path("junk.ftr");
    model.OnTrain();
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].rfind(Path("junk.ftr") + ": ", 0), 0u);
    EXPECT_TRUE(ui.progressTexts.empty());
}

TEST_F(NnModelTest, TestWritesTheReportBesideTheLastNetwork) {
    const std::string patterns = WritePatterns("learn.ftr");
    CNNModel model = MakeModel();
    Create(model);
    app.lastPaths.neuralNetwork = Path("net.nn");
    ui.openFilePath = patterns;
    model.OnTest();
    const std::string report = ReadAll(Path("nn_test.wynik"));
    EXPECT_EQ(report.rfind("1 T/F\n0.5000\n", 0), 0u) << report;
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_NE(sink.shown[0].find("All testing patterns= 8"), std::string::npos) << sink.shown[0];
}

TEST_F(NnModelTest, PatternsCountsTheDiagnosisWords) {
    const std::string patterns = WritePatterns("learn.ftr");
    CNNModel model = MakeModel();
    ui.openFilePath = patterns;
    model.OnPatterns();
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0], PatternsMessage(patterns, {2, 2, 4}));
}

// ---- the application's network

class AppNetworkTest : public DocAnnotationTest {
  protected:
    std::unique_ptr<BPNN> AreaNetwork(uint32_t seed) {
        std::vector<uint8_t> mask;
        EXPECT_TRUE(MaskFromNames(NetworkFeatureNames(app.featureSettings), {"Area"}, mask));
        return std::make_unique<BPNN>(1, 2, 1, false, mask.data(),
                                      static_cast<int32_t>(mask.size()), seed);
    }
    CVistrelDoc* AddDocWithRegions() {
        auto doc = MakeDoc(40, 30, 12);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) doc->image.SetPixel(x, y, 100 + 20 * x);
        doc->regions.Add(Square(2, 2, 8, 8));
        doc->regions.Add(Square(20, 10, 30, 20));
        CRegion outline = Square(1, 1, 32, 22);
        outline.type = 'c';
        doc->regions.Add(outline);
        return app.AddDocument(std::move(doc));
    }
};

TEST_F(AppNetworkTest, SwitchingOnGivesLettersToRegionsButNotOutlines) {
    CVistrelDoc* doc = AddDocWithRegions();
    ASSERT_NE(doc, nullptr);
    doc->OnNnDiagnoses();  // no network: nothing
    EXPECT_FALSE(doc->showNnDiagnoses);
    app.network = AreaNetwork(3);
    CUpdateLog log(*doc);
    doc->OnNnDiagnoses();
    EXPECT_TRUE(doc->showNnDiagnoses);
    for (int32_t i = 0; i < 2; ++i) {
        const char letter = doc->regions.At(i)->nnDiagnosis;
        EXPECT_TRUE(letter == kNnTrue || letter == kNnFalse) << i << " '" << letter << "'";
    }
    EXPECT_EQ(doc->regions.At(2)->nnDiagnosis, kNnNoAnswer);
    EXPECT_EQ(log.codes, std::vector<int>{kUpdateAnnotations});
    doc->OnNnDiagnoses();
    EXPECT_FALSE(doc->showNnDiagnoses);
    EXPECT_NE(doc->regions.At(0)->nnDiagnosis, kNnNoAnswer);  // letters stay until a new network
}

TEST_F(AppNetworkTest, AdoptionResetsLettersInEveryDocument) {
    CVistrelDoc* shown = AddDocWithRegions();
    CVistrelDoc* hidden = AddDocWithRegions();
    ASSERT_TRUE(shown && hidden);
    app.network = AreaNetwork(3);
    shown->OnNnDiagnoses();
    hidden->regions.At(1)->nnDiagnosis = kNnTrue;

    const auto replacement = AreaNetwork(9);
    ui.nnEdit = [&](CNNModel& model) {
        EXPECT_TRUE(model.Network()->SameAs(*app.network));
        model.threshold = 0.7;
        model.Load(replacement.get(), 0.7);
    };
    ui.nnOk = false;
    EXPECT_FALSE(app.OnNeuralNetwork());  // Cancel changes nothing
    EXPECT_TRUE(shown->showNnDiagnoses);
    EXPECT_EQ(app.networkThreshold, 0.5);

    ui.nnOk = true;
    EXPECT_TRUE(app.OnNeuralNetwork());
    EXPECT_FALSE(shown->showNnDiagnoses);
    for (CVistrelDoc* doc : {shown, hidden})
        for (int32_t i = 0; i < doc->regions.Count(); ++i)
            EXPECT_EQ(doc->regions.At(i)->nnDiagnosis, kNnNoAnswer);
    ASSERT_NE(app.network, nullptr);
    EXPECT_TRUE(app.network->SameAs(*replacement));
    EXPECT_EQ(app.networkThreshold, 0.7);
    std::vector<double> features(static_cast<std::size_t>(replacement->MaskLength()), 0.0);
    const auto names = NetworkFeatureNames(app.featureSettings);
    features[std::size_t(std::find(names.begin(), names.end(), "Area") - names.begin())] = 40.0;
    BPNN copy = *replacement;
    const char expected = copy.ClassifyFeatures(features.data(),
                                                static_cast<int32_t>(features.size()), 0.7);
    EXPECT_NE(expected, kNnNoAnswer);
    EXPECT_EQ(app.ClassifyRegion(features), expected);
    app.AdoptNetwork(nullptr, 0.5);
    EXPECT_EQ(app.ClassifyRegion(features), kNnNoAnswer);
}

}  // namespace
}  // namespace vistrel
