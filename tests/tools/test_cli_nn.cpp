// vistrel-cli nn: training on a feature file, testing on another, classifying
// the regions of an OVERLAY file, reproducible networks and the refusal of
// bad networks, feature files and options.

#include <QJsonArray>
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "regions/overlay_file.h"
#include "regions/region.h"
#include "regions/regions.h"

namespace vistrel::clitest {
namespace {

// A learning file with the columns "_", "Area" and "Mean": benign objects
// are large and bright, malignant ones small and bright, false ones dim, so
// Mean tells true from false and Area benign from malignant. `spread` picks
// a different, deterministic jitter for the test file.
std::string FeatureFile(int perClass, int spread) {
    std::string text = "filename\tdiagnosis\tregion type\t_\tArea\tMean\t\n";
    const struct {
        const char* word;
        double area, mean;
    } classes[] = {{"BENIGN", 40, 200}, {"MALIGNANT", 12, 200}, {"FALSE", 25, 60}};
    for (int i = 0; i < perClass; ++i)
        for (const auto& c : classes) {
            const int jitter = (i * spread) % 11 - 5;  // -5..5
            text += "film.pgx\t" + std::string(c.word) + "\tm\t0\t" +
                    std::to_string(c.area + jitter) + "\t" + std::to_string(c.mean + 2 * jitter) +
                    "\t\n";
        }
    return text;
}

std::vector<std::string> Strings(const QJsonArray& array) {
    std::vector<std::string> out;
    for (const auto& v : array) out.push_back(v.toString().toStdString());
    return out;
}

std::vector<CPoint> Block(int x0, int y0, int side) {
    std::vector<CPoint> points;
    for (int y = y0; y < y0 + side; ++y)
        for (int x = x0; x < x0 + side; ++x) points.push_back({x, y});
    return points;
}

class CliNnTest : public CCliScratchTest {
  protected:
    void SetUp() override {
        learn_ = Path("learn.ftr");
        test_ = Path("test.ftr");
        WriteFile(learn_, FeatureFile(12, 37));
        WriteFile(test_, FeatureFile(10, 53));
    }
    QJsonObject Ok(const std::vector<std::string>& args) {
        const CRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << Describe(args) << "\n" << run.err;
        return JsonOf(run);
    }
    QJsonObject Train(const std::string& net, const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"nn", "train", learn_, "--hidden",   "4",        "--seed",
                                         "1",  "--out", net,    "--features", "Area,Mean"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Ok(args);
    }
    std::string learn_, test_;
};

TEST_F(CliNnTest, EachVerbHasItsOwnHelp) {
    EXPECT_NE(Run({"--help"}).out.find("  nn "), std::string::npos);
    for (const std::string verb : {"", "train", "test", "classify"}) {
        std::vector<std::string> args = {"nn"};
        if (!verb.empty()) args.push_back(verb);
        args.push_back("--help");
        const CRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << Describe(args);
        EXPECT_EQ(run.out.rfind("usage: vistrel-cli nn " + verb, 0), 0u) << run.out;
        EXPECT_TRUE(run.err.empty()) << run.err;
    }
}

TEST_F(CliNnTest, EachEncodingLearnsSeparableClassesAndAnswersInItsOwnLetters) {
    struct Case {
        const char* encoding;
        bool benignMalignant;  // answers B/M rather than T
    };
    for (const Case& c :
         {Case{"1tf", false}, Case{"2tf", false}, Case{"2bm", true}, Case{"3bmf", true}}) {
        SCOPED_TRACE(c.encoding);
        const std::string net = Path(std::string(c.encoding) + ".nn");
        const QJsonObject trained = Train(net, {"--encoding", c.encoding, "--epochs", "3000"});
        EXPECT_EQ(Strings(trained["features"].toArray()),
                  (std::vector<std::string>{"Area", "Mean"}));
        EXPECT_EQ(trained["patterns"].toInt(), 36);
        const int epochs = trained["epochs"].toInt();
        EXPECT_GE(epochs, 1);
        EXPECT_LE(epochs, 3000);
        const QJsonArray errors = trained["error"].toArray();
        ASSERT_EQ(errors.size(), epochs);
        // Training stops at the first epoch at or below the accuracy.
        EXPECT_TRUE(trained["reached_accuracy"].toBool());
        EXPECT_LE(errors.last().toDouble(), 0.05);
        for (qsizetype i = 0; i + 1 < errors.size(); ++i) EXPECT_GT(errors[i].toDouble(), 0.05);
        EXPECT_LT(errors.last().toDouble(), errors.first().toDouble());

        const std::string report = Path(std::string(c.encoding) + ".wynik");
        const QJsonObject tested = Ok({"nn", "test", net, test_, "--report", report});
        const QJsonObject counts = tested["counts"].toObject();
        EXPECT_EQ(counts["all"].toInt(), 30);
        EXPECT_EQ(counts["correct"].toInt() + counts["bad"].toInt(), 30);
        EXPECT_GE(tested["accuracy"].toDouble(), 0.9);
        EXPECT_GE(tested["sensitivity"].toDouble(), 0.9);
        EXPECT_GE(tested["specificity"].toDouble(), 0.9);
        EXPECT_EQ(tested["true_objects"].toInt(), 20);
        EXPECT_EQ(tested["false_objects"].toInt(), 10);
        EXPECT_EQ(tested["encoding"].toString().toStdString(), c.encoding);
        if (c.benignMalignant) {
            EXPECT_EQ(counts["true_answers"].toInt(), 0);
            EXPECT_GT(counts["benign_answers"].toInt(), 0);
            EXPECT_GT(counts["malignant_answers"].toInt(), 0);
        } else {
            EXPECT_EQ(counts["benign_answers"].toInt() + counts["malignant_answers"].toInt(), 0);
            EXPECT_GT(counts["true_answers"].toInt(), 0);
        }
        const QJsonArray roc = tested["roc"].toArray();
        ASSERT_GE(roc.size(), 2);
        for (const auto& p : roc) {
            const QJsonObject point = p.toObject();
            EXPECT_GE(point["sensitivity"].toDouble(), 0.0);
            EXPECT_LE(point["sensitivity"].toDouble(), 1.0);
            EXPECT_GE(point["specificity"].toDouble(), 0.0);
            EXPECT_LE(point["specificity"].toDouble(), 1.0);
        }
        // The report: encoding and threshold lines, then three per pattern.
        const std::string text = ReadFile(report);
        const std::string head = std::string(c.encoding) == "1tf"   ? "1 T/F\n"
                                 : std::string(c.encoding) == "2tf" ? "2 T/F\n"
                                 : std::string(c.encoding) == "2bm" ? "2 B/M\n"
                                                                    : "3 B/M/F\n";
        EXPECT_EQ(text.rfind(head + "0.5000\nfilm.pgx\nBENIGN\n", 0), 0u) << text.substr(0, 80);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 3 * 30);
    }
}

TEST_F(CliNnTest, TheThresholdMovesTheAnswers) {
    const std::string net = Path("one.nn");
    Train(net, {});
    // At 1 no output is above the threshold: every answer is false.
    const QJsonObject strict = Ok({"nn", "test", net, test_, "--threshold", "1"});
    EXPECT_EQ(strict["counts"].toObject()["false_answers"].toInt(), 30);
    EXPECT_EQ(strict["sensitivity"].toDouble(), 0.0);
    EXPECT_EQ(strict["specificity"].toDouble(), 1.0);
    EXPECT_EQ(strict["threshold"].toDouble(), 1.0);
}

TEST_F(CliNnTest, TheSameSeedGivesTheSameNetworkByteForByte) {
    const std::string a = Path("a.nn"), b = Path("b.nn"), c = Path("c.nn");
    const QJsonObject first = Train(a, {});
    const QJsonObject second = Train(b, {});
    Ok({"nn", "train", learn_, "--hidden", "4", "--seed", "2", "--out", c, "--features",
        "Area,Mean"});
    ASSERT_FALSE(ReadFile(a).empty());
    EXPECT_EQ(ReadFile(a), ReadFile(b));
    EXPECT_EQ(first["error"].toArray(), second["error"].toArray());
    EXPECT_NE(ReadFile(a), ReadFile(c)) << "the seed must choose the initial weights";
}

TEST_F(CliNnTest, AllAndListedFeaturesChooseTheInputs) {
    const std::string net = Path("all.nn");
    const QJsonObject all = Ok({"nn", "train", learn_, "--hidden", "3", "--seed", "1", "--out", net,
                                "--features", "all", "--normalise"});
    EXPECT_EQ(Strings(all["features"].toArray()), (std::vector<std::string>{"Area", "Mean"}));
    const std::string list = Path("list.txt");
    WriteFile(list, "# the brightness only\n\nMean\n");
    const QJsonObject listed = Ok({"nn", "train", learn_, "--hidden", "3", "--seed", "1", "--out",
                                   net, "--features", "@" + list});
    EXPECT_EQ(Strings(listed["features"].toArray()), (std::vector<std::string>{"Mean"}));
    // Mean alone still tells true from false.
    const QJsonObject tested = Ok({"nn", "test", net, test_});
    EXPECT_GE(tested["accuracy"].toDouble(), 0.9);
}

TEST_F(CliNnTest, BadFilesAndOptionsGiveAMessageAndAnExitStatus) {
    const std::string good = Path("good.nn");
    Train(good, {});
    const std::string bytes = ReadFile(good);
    const std::string truncated = Path("truncated.nn");
    WriteFile(truncated, bytes.substr(0, bytes.size() / 2));
    const std::string text = Path("text.nn");
    WriteFile(text, "this is not a network\n");
    const std::string empty = Path("empty.nn");
    WriteFile(empty, "");
    const std::string shortLine = Path("short.ftr");
    WriteFile(shortLine,
              "filename\tdiagnosis\tregion type\t_\tArea\tMean\t\n"
              "film.pgx\tBENIGN\tm\t0\t40\t200\t\n"
              "film.pgx\tFALSE\tm\t0\t25\t\n");
    const std::string noPatterns = Path("header.ftr");
    WriteFile(noPatterns, "filename\tdiagnosis\tregion type\t_\tArea\tMean\t\n");
    // A sound network whose mask is not over the region feature vector
    // (three entries): its inputs would be other features than it learned.
    std::string foreign;
    auto put = [&foreign](const auto& value) {
        foreign.append(reinterpret_cast<const char*>(&value), sizeof value);
    };
    put(1.0);         // gain
    put(int32_t{3});  // mask length
    foreign += std::string("\1\0\0", 3);
    foreign += '\0';  // no normalisation
    put(int32_t{1});  // inputs
    put(int32_t{1});  // hidden
    put(int32_t{1});  // outputs
    for (int i = 0; i < 8; ++i) put(0.25);
    const std::string foreignNet = Path("foreign.nn");
    WriteFile(foreignNet, foreign);
    const std::string out = Path("new.nn");
    const std::string missing = Path("missing.nn");
    const std::vector<std::string> train = {"nn", "train", learn_, "--hidden", "2", "--out", out};
    auto with = [&](std::vector<std::string> args, const std::vector<std::string>& extra) {
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {{"nn"}, 2, "train, test or classify"},
        {{"nn", "learn"}, 2, "\"learn\" is not train"},
        {{"nn", "train", learn_, "--out", out}, 2, "--hidden"},
        {{"nn", "train", learn_, "--hidden", "2"}, 2, "--out"},
        {with(train, {"--hidden", "3"}), 2, "hidden"},
        {{"nn", "train", learn_, "--hidden", "0", "--out", out}, 2, "--hidden"},
        {with(train, {"--encoding", "4tf"}), 2, "--encoding must be one of 1tf, 2tf, 2bm, 3bmf"},
        {with(train, {"--rate", "1.5"}), 2, "--rate"},
        {with(train, {"--features", "Area,No_Such_Feature"}), 2,
         "\"No_Such_Feature\" is not a region feature"},
        {with(train, {"--features", "Area,,Mean"}), 2, "empty feature name"},
        {with(train, {"--features", "@" + Path("nowhere.txt")}), 1, "nowhere.txt"},
        // A network feature that the file has no column for: it would learn from zeros.
        {with(train, {"--features", "Area,Background_Gray_Level"}), 1, learn_},
        {{"nn", "train", Path("absent.ftr"), "--hidden", "2", "--out", out}, 1, "absent.ftr"},
        {{"nn", "train", shortLine, "--hidden", "2", "--out", out}, 1, shortLine},
        {{"nn", "train", noPatterns, "--hidden", "2", "--out", out}, 1, "no pattern"},
        {{"nn", "train", good, "--hidden", "2", "--out", out}, 1, good},
        {{"nn", "test", missing, test_}, 1, missing},
        {{"nn", "test", truncated, test_}, 1, "not a network file"},
        {{"nn", "test", text, test_}, 1, "not a network file"},
        {{"nn", "test", empty, test_}, 1, "not a network file"},
        {{"nn", "test", good, shortLine}, 1, shortLine},
        {{"nn", "test", good, test_, "--threshold", "2"}, 2, "--threshold"},
        {{"nn", "test", good}, 2, "nn test NET.nn TEST.ftr"},
        {{"nn", "classify", truncated, Path("img.pgx"), "--overlay", Path("img.OVERLAY")},
         1,
         "not a network file"},
        {{"nn", "classify", good, Path("img.pgx")}, 2, "--overlay"},
        {{"nn", "classify", good, Path("img.pgx"), "--overlay", Path("img.OVERLAY")}, 1, "img.pgx"},
        {{"nn", "test", foreignNet, test_}, 1, "feature vector has 3 entries"},
    };
    for (const Case& c : cases) {
        const CRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << Describe(c.args) << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos)
            << Describe(c.args) << "\nstderr: " << run.err;
        EXPECT_TRUE(run.out.empty()) << Describe(c.args) << "\n" << run.out;
        EXPECT_FALSE(fs::exists(out)) << Describe(c.args);
    }
}

TEST_F(CliNnTest, AFailedRunLeavesAnExistingNetworkAsItWas) {
    const std::string net = Path("kept.nn");
    Train(net, {});
    const std::string before = ReadFile(net);
    const std::string bad = Path("bad.ftr");
    WriteFile(bad,
              "filename\tdiagnosis\tregion type\t_\tArea\tMean\t\n"
              "film.pgx\tBENIGN\tm\t0\t40\tbright\t\n");
    const CRun refused = Run({"nn", "train", bad, "--hidden", "4", "--out", net});
    EXPECT_EQ(refused.exitCode, 1) << refused.err;
    EXPECT_EQ(ReadFile(net), before);
    // A folder that does not exist: the message names the file.
    const std::string nowhere = Path("no/such/folder/x.nn");
    const CRun unwritable = Run({"nn", "train", learn_, "--hidden", "4", "--seed", "1", "--out",
                                 nowhere, "--features", "Area,Mean"});
    EXPECT_EQ(unwritable.exitCode, 1) << unwritable.err;
    EXPECT_NE(unwritable.err.find(nowhere), std::string::npos) << unwritable.err;
    EXPECT_TRUE(unwritable.out.empty());
}

// Round trip through the region features: a scene whose bright blocks are
// lesions and dim ones false regions, its feature file written by the
// features command, a network trained on it, and the scene's regions
// classified by that network.
TEST_F(CliNnTest, ANetworkTrainedOnRegionFeaturesClassifiesTheirRegions) {
    constexpr int kWidth = 160, kHeight = 60;
    std::vector<uint16_t> samples(kWidth * kHeight, 30);
    CRegions regions;
    struct Piece {
        int x, y, side, value;
        int16_t diagnosis;
    };
    std::vector<Piece> pieces;
    for (int i = 0; i < 8; ++i) {
        const bool lesion = i % 2 == 0;
        pieces.push_back({8 + 18 * i, 8, 4 + i % 3, lesion ? 200 + 3 * i : 70 + 3 * i,
                          static_cast<int16_t>(lesion ? 1 : 2)});
        pieces.push_back({8 + 18 * i, 36, 5 + i % 2, lesion ? 80 + 2 * i : 210 - 2 * i,
                          static_cast<int16_t>(lesion ? 2 : 0)});
    }
    for (const Piece& p : pieces) {
        const std::vector<CPoint> pixels = Block(p.x, p.y, p.side);
        for (const CPoint& q : pixels)
            samples[static_cast<size_t>(q.y * kWidth + q.x)] = static_cast<uint16_t>(p.value);
        CRegion r(pixels, CRegion::PointsMode::PixelSet);
        r.type = 'm';
        r.diagnosis = p.diagnosis;
        ASSERT_TRUE(regions.Add(r));
    }
    const std::string image = Path("scene.pgx");
    WriteFile(image, PgxBytes(8, kWidth, kHeight, samples));
    const std::string overlay = Path("scene.OVERLAY");
    COverlayPlacement placement;
    placement.imageWidth = kWidth;
    placement.imageHeight = kHeight;
    ASSERT_EQ(WriteOverlay(overlay, {}, regions, CRegions{}, placement, true),
              COverlayWriteResult::Written);
    const std::string ftr = Path("scene.ftr");
    Ok({"features", image, "--overlay", overlay, "--ftr", ftr});

    // Without --features the dialog's 36 features are the inputs; a file
    // written with every feature has them all.
    const std::string net = Path("scene.nn");
    const CRun trained = Run({"nn", "train", ftr, "--hidden", "6", "--seed", "1", "--out", net});
    ASSERT_EQ(trained.exitCode, 0) << trained.err;
    EXPECT_EQ(JsonOf(trained)["features"].toArray().size(), 36);
    EXPECT_EQ(trained.err.find("lacks"), std::string::npos) << trained.err;

    const QJsonObject tested = Ok({"nn", "test", net, ftr});
    EXPECT_EQ(tested["counts"].toObject()["all"].toInt(), 16);
    EXPECT_GE(tested["accuracy"].toDouble(), 0.9);

    const QJsonObject classified = Ok({"nn", "classify", net, image, "--overlay", overlay});
    const QJsonArray found = classified["regions"].toArray();
    ASSERT_EQ(found.size(), static_cast<qsizetype>(pieces.size()));
    EXPECT_EQ(classified["classified"].toInt(), 16);
    int right = 0;
    for (const auto& entry : found) {
        const QJsonObject r = entry.toObject();
        const int index = r["index"].toInt();
        ASSERT_GE(index, 0);
        ASSERT_LT(index, static_cast<int>(pieces.size()));
        const Piece& p = pieces[static_cast<size_t>(index)];
        // The centroid of the block, within a pixel.
        EXPECT_NEAR(r["x"].toDouble(), p.x + (p.side - 1) / 2.0, 1.0) << index;
        EXPECT_NEAR(r["y"].toDouble(), p.y + (p.side - 1) / 2.0, 1.0) << index;
        EXPECT_EQ(r["type"].toString().toStdString(), "m");
        const std::string letter = r["letter"].toString().toStdString();
        EXPECT_TRUE(letter == "T" || letter == "F") << index << ": \"" << letter << "\"";
        right += letter == (p.diagnosis == 2 ? "F" : "T");
    }
    EXPECT_GE(right, 15) << "regions classified as their diagnosis";
}

}  // namespace
}  // namespace vistrel::clitest
