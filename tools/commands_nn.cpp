// nn: the back-propagation network from scripts: train a network on a
// feature file, test it on another, classify the regions of an OVERLAY file.

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "classification/bpnn.h"
#include "classification/learning_patterns.h"
#include "classification/network_features.h"
#include "classification/network_training.h"
#include "cli_common.h"
#include "commands.h"
#include "core/atomic_file.h"
#include "regions/region_features.h"
#include "workspace/image_resolution.h"

namespace vistrel::cli {

const char* const kNnHelp =
    "usage: vistrel-cli nn train LEARN.ftr --hidden H --out NET.nn [options]\n"
    "       vistrel-cli nn test NET.nn TEST.ftr [--threshold T] [--report FILE]\n"
    "       vistrel-cli nn classify NET.nn IN --overlay F.OVERLAY [--threshold T]\n"
    "       vistrel-cli nn SUBCOMMAND --help\n"
    "\n"
    "The back-propagation network that gives regions their network diagnosis:\n"
    "  train     learns from a feature file (as written by \"features --ftr\")\n"
    "  test      classifies the patterns of a feature file and counts the answers\n"
    "  classify  gives the regions of an OVERLAY file their letters\n"
    "A network's inputs are features of the region feature vector: \"_\" and then\n"
    "every region feature in output order (at the co-occurrence distance of\n"
    "--distance, default 1). Bad or truncated .nn and .ftr files give exit status 1.\n";

const char* const kNnTrainHelp =
    "usage: vistrel-cli nn train LEARN.ftr --hidden H --out NET.nn [--epochs 2000]\n"
    "                            [--rate 0.8] [--momentum 0.7] [--accuracy 0.05]\n"
    "                            [--seed S] [--encoding 1tf|2tf|2bm|3bmf]\n"
    "                            [--features NAMES|@FILE|all] [--normalise]\n"
    "                            [--distance D]\n"
    "\n"
    "Trains a new network of H hidden units on the patterns of LEARN.ftr (lines\n"
    "diagnosed BENIGN, MALIGNANT or FALSE; other lines are skipped and counted\n"
    "on stderr), one pattern at a time in file order, until an epoch's mean\n"
    "squared error is at or below the accuracy or the epochs are used up, and\n"
    "writes it to NET.nn (through a temporary file: a failed write keeps the old\n"
    "one). Prints\n"
    "  epochs: number run, error: [mean squared error of each epoch],\n"
    "  reached_accuracy, features: [input names], patterns, skipped_lines,\n"
    "  encoding, hidden, output\n"
    "\n"
    "options:\n"
    "  --hidden H          hidden units, 1..10000 (required)\n"
    "  --epochs E          most epochs, 1..10000000 (default 2000)\n"
    "  --rate R            learning rate eta, 0..1 (default 0.8)\n"
    "  --momentum M        0..1 (default 0.7)\n"
    "  --accuracy A        stop at an epoch error <= A, >= 0 (default 0.05)\n"
    "  --seed S            0..4294967295: the initial weights, so the same seed and\n"
    "                      file give the same NET.nn byte for byte (default: the\n"
    "                      clock, a new network each run)\n"
    "  --encoding E        outputs: 1tf one true/false output (default), 2tf two\n"
    "                      true/false outputs, 2bm benign/malignant outputs (both\n"
    "                      low: false), 3bmf benign/malignant/false outputs\n"
    "  --features NAMES    the inputs: comma-separated feature names, @FILE with one\n"
    "                      name per line (blank lines and # lines ignored), or all\n"
    "                      (every network feature among the file's columns but\n"
    "                      \"_\"). Default: the 36 features of the workstation's\n"
    "                      training dialog that the file has (stderr says which\n"
    "                      are missing)\n"
    "  --normalise         accepted for scripts that ask for it: inputs are always\n"
    "                      normalised by the training patterns' mean and population\n"
    "                      standard deviation, stored in NET.nn and used whenever\n"
    "                      the network classifies (its weights are learned on\n"
    "                      normalised inputs, so there is no way to switch it off)\n"
    "  --distance D        co-occurrence distance the file's texture names were\n"
    "                      written at (default 1)\n";

const char* const kNnTestHelp =
    "usage: vistrel-cli nn test NET.nn TEST.ftr [--threshold 0.5] [--report FILE]\n"
    "                           [--distance D]\n"
    "\n"
    "Classifies every pattern of TEST.ftr with the network at the threshold and\n"
    "counts the answers as the workstation's test does. Prints\n"
    "  counts: {correct, bad, all, true_answers, false_answers, benign_answers,\n"
    "           malignant_answers, true_as_false, false_as_true,\n"
    "           benign_as_malignant, malignant_as_benign, malignant_as_false,\n"
    "           benign_as_false, false_as_benign, false_as_malignant}\n"
    "  sensitivity: true objects (benign and malignant) answered T, B or M over\n"
    "               all true objects; specificity: false objects answered F over\n"
    "               all false objects (null without any); accuracy: correct / all\n"
    "  roc: [{threshold, sensitivity, specificity}] over the patterns' lesion\n"
    "       scores; encoding, threshold, patterns\n"
    "--report FILE writes the test report (\"nn_test.wynik\" in the workstation):\n"
    "the encoding, the threshold, and per pattern its first two fields, the answer\n"
    "and the outputs.\n";

const char* const kNnClassifyHelp =
    "usage: vistrel-cli nn classify NET.nn IN --overlay F.OVERLAY [--threshold 0.5]\n"
    "                               [--distance D] [--ring-width W]\n"
    "                               [--raw W,H,DEPTH[,msb]]\n"
    "\n"
    "Computes the network's features of every region of the OVERLAY file (placed\n"
    "on IN as the workstation places it; cluster outlines are left out) and\n"
    "classifies them at the threshold. Prints\n"
    "  regions: [{index, letter, x, y, type}]\n"
    "index is the position in the file's region list, x and y the centroid,\n"
    "letter T true, F false, B benign, M malignant, or \" \" when the region's\n"
    "features cannot be computed; classified: the number given a letter.\n"
    "--ring-width is the square ring around a region for its texture (default 5).\n";

namespace {

constexpr const char* kEncodingWords[] = {"1tf", "2tf", "2bm", "3bmf"};

CFeatureSettings SettingsOf(const CParsedArgs& args) {
    CFeatureSettings settings;
    if (const auto text = args.Value("distance"))
        settings.coocurrenceDistance =
            static_cast<int32_t>(ParseInteger(*text, 1, 65535, "--distance"));
    if (args.Has("ring-width"))
        settings.ringWidth =
            static_cast<int32_t>(ParseInteger(*args.Value("ring-width"), 0, 65535, "--ring-width"));
    return settings;
}

double ThresholdOf(const CParsedArgs& args) {
    const auto text = args.Value("threshold");
    return text ? ParseReal(*text, 0.0, 1.0, "--threshold") : 0.5;
}

std::unique_ptr<BPNN> LoadNetwork(const std::string& path) {
    std::string error;
    auto network = BPNN::Load(path, &error);
    if (!network || !network->IsValid())
        throw CFailure(path + ": not a network file" + (error.empty() ? "" : " (" + error + ")"));
    return network;
}

// The network's mask must lay over this program's feature vector, else its
// inputs would be other features than it learned from.
std::vector<uint8_t> MaskOver(const BPNN& network, const std::vector<std::string>& names,
                              const std::string& path) {
    if (static_cast<size_t>(network.MaskLength()) != names.size())
        throw CFailure(path + ": the network's feature vector has " +
                       std::to_string(network.MaskLength()) + " entries, not the " +
                       std::to_string(names.size()) +
                       " of the region feature vector at this co-occurrence distance");
    return {network.Mask().begin(), network.Mask().end()};
}

CLearningPatterns ReadPatterns(const std::string& path) {
    CLearningPatterns patterns;
    std::string error;
    if (!ReadLearningPatterns(path, patterns, &error)) throw CFailure(path + ": " + error);
    if (patterns.patterns.empty())
        throw CFailure(path + ": no pattern (no line diagnosed BENIGN, MALIGNANT or FALSE)");
    if (patterns.skippedLines > 0)
        std::fprintf(stderr,
                     "vistrel-cli nn: %s: %d line(s) without BENIGN, MALIGNANT or FALSE skipped\n",
                     path.c_str(), patterns.skippedLines);
    return patterns;
}

CNetworkPatterns LaidOut(const CLearningPatterns& patterns, const std::vector<std::string>& names,
                         const std::vector<uint8_t>& mask, const std::string& path) {
    CNetworkPatterns laid;
    std::string error;
    if (!LayOutPatterns(patterns, names, mask, laid, &error)) throw CFailure(path + ": " + error);
    return laid;
}

// Names of a --features value: "a,b,c" or @FILE with one per line.
std::vector<std::string> ListedFeatures(const std::string& text) {
    std::vector<std::string> names;
    if (text.empty() || text[0] != '@') {
        names = SplitCommas(text);
    } else {
        std::string bytes;
        if (!ReadWholeFile(text.substr(1), bytes))
            throw CFailure(text.substr(1) + ": the feature list cannot be read");
        size_t start = 0;
        while (start <= bytes.size()) {
            size_t end = bytes.find('\n', start);
            if (end == std::string::npos) end = bytes.size();
            std::string line = bytes.substr(start, end - start);
            while (!line.empty() &&
                   (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
                line.pop_back();
            if (!line.empty() && line[0] != '#') names.push_back(line);
            start = end + 1;
        }
    }
    for (const std::string& name : names)
        if (name.empty()) throw CUsageError("--features: an empty feature name");
    if (names.empty()) throw CUsageError("--features: no feature named");
    return names;
}

// The inputs the user asked for (see --features in the help).
std::vector<std::string> ChosenFeatures(const CParsedArgs& args, const CLearningPatterns& patterns,
                                        const std::vector<std::string>& vectorNames,
                                        const std::string& path) {
    const std::set<std::string> inFile(patterns.names.begin(), patterns.names.end());
    std::vector<std::string> chosen;
    const std::optional<std::string> text = args.Value("features");
    if (text && *text == "all") {
        for (const std::string& name : vectorNames)
            if (name != "_" && inFile.count(name)) chosen.push_back(name);
    } else if (text) {
        const std::set<std::string> known(vectorNames.begin(), vectorNames.end());
        for (const std::string& name : ListedFeatures(*text)) {
            if (!known.count(name))
                throw CUsageError("--features: \"" + name + "\" is not a region feature");
            chosen.push_back(name);
        }
    } else {
        std::string missing;
        for (const CNetworkFeatureBox& box : NetworkFeatureBoxes()) {
            if (inFile.count(box.feature))
                chosen.push_back(box.feature);
            else
                missing += std::string(missing.empty() ? "" : ", ") + box.feature;
        }
        if (!missing.empty())
            std::fprintf(stderr,
                         "vistrel-cli nn train: %s lacks some default features, left out: %s\n",
                         path.c_str(), missing.c_str());
    }
    if (chosen.empty())
        throw CFailure(path + ": none of the chosen features is a column of the file");
    return chosen;
}

int RunNnTrain(const CommandArgs& words) {
    const CParsedArgs args(words, {{"hidden"},
                                   {"epochs"},
                                   {"rate"},
                                   {"momentum"},
                                   {"accuracy"},
                                   {"seed"},
                                   {"encoding"},
                                   {"features"},
                                   {"normalise", false},
                                   {"distance"},
                                   {"out"}});
    if (args.HelpRequested()) {
        std::fputs(kNnTrainHelp, stdout);
        return 0;
    }
    args.RequirePositionals(1, "vistrel-cli nn train LEARN.ftr --hidden H --out NET.nn");
    const auto hiddenText = args.Value("hidden");
    if (!hiddenText) throw CUsageError("nn train needs --hidden H");
    const auto hidden = static_cast<int32_t>(ParseInteger(*hiddenText, 1, 10000, "--hidden"));
    const std::string output = args.Value("out").value_or(std::string());
    if (output.empty()) throw CUsageError("nn train needs --out NET.nn");
    CTrainOptions options;
    if (const auto v = args.Value("epochs"))
        options.epochs = static_cast<int32_t>(ParseInteger(*v, 1, 10000000, "--epochs"));
    if (const auto v = args.Value("rate")) options.eta = ParseReal(*v, 0.0, 1.0, "--rate");
    if (const auto v = args.Value("momentum"))
        options.momentum = ParseReal(*v, 0.0, 1.0, "--momentum");
    if (const auto v = args.Value("accuracy"))
        options.accuracy = ParseReal(*v, 0.0, 1e6, "--accuracy");
    std::optional<uint32_t> seed;
    if (const auto v = args.Value("seed"))
        seed = static_cast<uint32_t>(ParseInteger(*v, 0, UINT32_MAX, "--seed"));
    ENnEncoding encoding = ENnEncoding::OneTF;
    if (const auto v = args.Value("encoding"))
        encoding = static_cast<ENnEncoding>(ChoiceIndex(kEncodingWords, *v, "encoding"));
    const CFeatureSettings settings = SettingsOf(args);

    const std::string& input = args.Positionals()[0];
    const CLearningPatterns patterns = ReadPatterns(input);
    const std::vector<std::string> names = NetworkFeatureNames(settings);
    const std::vector<std::string> chosen = ChosenFeatures(args, patterns, names, input);
    std::vector<uint8_t> mask;
    std::string error;
    if (!MaskFromNames(names, chosen, mask, &error)) throw CUsageError("--features: " + error);
    const CNetworkPatterns laid = LaidOut(patterns, names, mask, input);

    const auto nIn = static_cast<int32_t>(std::count(mask.begin(), mask.end(), uint8_t{1}));
    BPNN network(nIn, hidden, EncodingOutputs(encoding), EncodingTwoOutputTF(encoding), mask.data(),
                 static_cast<int32_t>(mask.size()), seed);
    if (!network.IsValid())
        throw CFailure("a network of " + std::to_string(nIn) + " inputs and " +
                       std::to_string(hidden) + " hidden units cannot be made");
    CTrainResult result;
    {
        CTerminalProgress progress("training");
        if (!TrainNetwork(network, laid, options, result, progress.Fn()))
            throw CFailure(input + ": the network cannot be trained on these patterns");
    }
    if (network.Save(output, &error) != 1)
        throw CFailure(output + ": cannot be written" + (error.empty() ? "" : " (" + error + ")"));

    CJsonWriter json;
    json.BeginObject()
        .Field("epochs", static_cast<int64_t>(result.epochErrors.size()))
        .Key("error")
        .BeginArray();
    for (double e : result.epochErrors) json.Value(e);
    json.EndArray().Field("reached_accuracy", result.reachedAccuracy).Key("features").BeginArray();
    for (size_t i = 0; i < mask.size(); ++i)
        if (mask[i]) json.Value(names[i]);
    json.EndArray()
        .Field("patterns", static_cast<int64_t>(patterns.patterns.size()))
        .Field("skipped_lines", patterns.skippedLines)
        .Field("encoding", kEncodingWords[static_cast<int>(encoding)])
        .Field("hidden", hidden)
        .Field("output", output)
        .EndObject();
    PrintJson(json);
    return 0;
}

void CountFields(CJsonWriter& json, const CNnTestCounts& c) {
    json.Key("counts")
        .BeginObject()
        .Field("correct", c.correct)
        .Field("bad", c.bad)
        .Field("all", c.all)
        .Field("true_answers", c.trueAnswers)
        .Field("false_answers", c.falseAnswers)
        .Field("benign_answers", c.benignAnswers)
        .Field("malignant_answers", c.malignantAnswers)
        .Field("true_as_false", c.trueAsFalse)
        .Field("false_as_true", c.falseAsTrue)
        .Field("benign_as_malignant", c.benignAsMalignant)
        .Field("malignant_as_benign", c.malignantAsBenign)
        .Field("malignant_as_false", c.malignantAsFalse)
        .Field("benign_as_false", c.benignAsFalse)
        .Field("false_as_benign", c.falseAsBenign)
        .Field("false_as_malignant", c.falseAsMalignant)
        .EndObject();
}

void RatioField(CJsonWriter& json, const char* name, int64_t part, int64_t whole) {
    json.Key(name);
    if (whole > 0)
        json.Value(static_cast<double>(part) / static_cast<double>(whole));
    else
        json.Null();
}

int RunNnTest(const CommandArgs& words) {
    const CParsedArgs args(words, {{"threshold"}, {"report"}, {"distance"}});
    if (args.HelpRequested()) {
        std::fputs(kNnTestHelp, stdout);
        return 0;
    }
    args.RequirePositionals(2, "vistrel-cli nn test NET.nn TEST.ftr [--threshold T]");
    const double threshold = ThresholdOf(args);
    const std::optional<std::string> report = args.Value("report");
    if (report && report->empty()) throw CUsageError("--report needs a file name");
    const CFeatureSettings settings = SettingsOf(args);

    const std::string& networkPath = args.Positionals()[0];
    const std::string& input = args.Positionals()[1];
    const auto network = LoadNetwork(networkPath);
    const std::vector<std::string> names = NetworkFeatureNames(settings);
    const std::vector<uint8_t> mask = MaskOver(*network, names, networkPath);
    const CLearningPatterns patterns = ReadPatterns(input);
    const CNetworkPatterns laid = LaidOut(patterns, names, mask, input);

    CNnTestResult result;
    {
        CTerminalProgress progress("testing");
        if (!TestNetwork(*network, laid, threshold, result, progress.Fn()))
            throw CFailure(input + ": the patterns cannot be tested with " + networkPath);
    }
    std::string error;
    if (report && !WriteTestReport(*report, result.report, &error))
        throw CFailure(*report + ": cannot be written" + (error.empty() ? "" : " (" + error + ")"));

    // Sensitivity and specificity by pattern: a blank answer neither finds a
    // lesion nor rejects a false object.
    int64_t trueObjects = 0, found = 0, falseObjects = 0, rejected = 0;
    for (size_t i = 0; i < laid.diagnoses.size() && i < result.answers.size(); ++i) {
        const char answer = result.answers[i];
        if (laid.diagnoses[i] == kPatternFalse) {
            ++falseObjects;
            rejected += answer == kNnFalse;
        } else {
            ++trueObjects;
            found += answer == kNnTrue || answer == kNnBenign || answer == kNnMalignant;
        }
    }
    const ENnEncoding encoding = EncodingOf(*network);
    CJsonWriter json;
    json.BeginObject();
    CountFields(json, result.counts);
    RatioField(json, "sensitivity", found, trueObjects);
    RatioField(json, "specificity", rejected, falseObjects);
    RatioField(json, "accuracy", result.counts.correct, result.counts.all);
    json.Key("roc").BeginArray();
    for (const CRocPoint& p : RocPoints(encoding, result, laid))
        json.BeginObject()
            .Field("threshold", p.threshold)
            .Field("sensitivity", p.sensitivity)
            .Field("specificity", p.specificity)
            .EndObject();
    json.EndArray()
        .Field("encoding", kEncodingWords[static_cast<int>(encoding)])
        .Field("threshold", threshold)
        .Field("patterns", static_cast<int64_t>(laid.diagnoses.size()))
        .Field("true_objects", trueObjects)
        .Field("false_objects", falseObjects);
    if (report) json.Field("report", *report);
    json.EndObject();
    PrintJson(json);
    return 0;
}

int RunNnClassify(const CommandArgs& words) {
    const CParsedArgs args(words,
                           {{"overlay"}, {"threshold"}, {"distance"}, {"ring-width"}, {"raw"}});
    if (args.HelpRequested()) {
        std::fputs(kNnClassifyHelp, stdout);
        return 0;
    }
    args.RequirePositionals(2, "vistrel-cli nn classify NET.nn IN --overlay F.OVERLAY");
    const std::string overlayPath = args.Value("overlay").value_or(std::string());
    if (overlayPath.empty()) throw CUsageError("nn classify needs --overlay F.OVERLAY");
    const double threshold = ThresholdOf(args);
    CFeatureSettings settings = SettingsOf(args);

    const std::string& networkPath = args.Positionals()[0];
    const std::string& input = args.Positionals()[1];
    const auto network = LoadNetwork(networkPath);
    MaskOver(*network, NetworkFeatureNames(settings), networkPath);
    std::string description;
    const auto image = LoadImage(input, RawOptionOf(args), description);
    settings.resolution = ImageResolution(input, *image).dpi;
    CRegions regions = ReadOverlayRegions(overlayPath, *image);
    // Letters read from a file are not this network's answers.
    for (int32_t i = 0; i < regions.Count(); ++i) regions.At(i)->nnDiagnosis = kNnNoAnswer;

    int32_t classified = 0;
    {
        CTerminalProgress progress("classifying");
        classified = ClassifyRegions(*network, threshold, regions, *image, settings, progress.Fn());
    }
    CJsonWriter json;
    json.BeginObject().Key("regions").BeginArray();
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion& r = *regions.At(i);
        if (r.IsClusterOutline()) continue;
        const CPoint c = RegionCentroid(r);
        json.BeginObject()
            .Field("index", i)
            .Field("letter", std::string(1, r.nnDiagnosis))
            .Field("x", c.x)
            .Field("y", c.y)
            .Field("type", std::string(1, r.type))
            .EndObject();
    }
    json.EndArray().Field("classified", classified).Field("threshold", threshold).EndObject();
    PrintJson(json);
    return 0;
}

}  // namespace

int RunNn(const CommandArgs& words) {
    if (words.empty()) throw CUsageError("nn needs train, test or classify");
    const std::string& verb = words[0];
    if (verb == "--help" || verb == "-h" || verb == "help") {
        std::fputs(kNnHelp, stdout);
        return 0;
    }
    const CommandArgs rest(words.begin() + 1, words.end());
    if (verb == "train") return RunNnTrain(rest);
    if (verb == "test") return RunNnTest(rest);
    if (verb == "classify") return RunNnClassify(rest);
    throw CUsageError("nn: \"" + verb + "\" is not train, test or classify");
}

}  // namespace vistrel::cli
