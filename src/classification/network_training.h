#pragma once
// Training and testing a network on learning patterns: the output
// encodings and their targets, normalisation from the patterns, epochs with
// progress and cancel, the test counts, the "nn_test.wynik" report and the
// ROC points of a test.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classification/bpnn.h"
#include "classification/learning_patterns.h"
#include "core/messages.h"

namespace vistrel {

// "1 T/F", "2 T/F", "2 B/M", "3 B/M/F", by index.
enum class ENnEncoding : int32_t { OneTF = 0, TwoTF = 1, TwoBM = 2, ThreeBMF = 3 };
const char* EncodingName(ENnEncoding encoding);
int32_t EncodingOutputs(ENnEncoding encoding);
bool EncodingTwoOutputTF(ENnEncoding encoding);
// From the network's outputs and flag; OneTF for anything else.
ENnEncoding EncodingOf(const BPNN& network);
// Targets of a pattern of diagnosis kPatternBenign.. under the encoding.
std::vector<double> EncodingTargets(ENnEncoding encoding, int diagnosis);

// Patterns laid out on the network's feature vector: every pattern's
// values moved to the position of its column's name in `vectorNames`
// (missing features 0).
struct CNetworkPatterns {
    std::vector<std::vector<double>> vectors;
    std::vector<int> diagnoses;
    std::vector<std::string> firstFields, secondFields;
};
// False, with a reason, when a feature the mask selects has no column in
// the patterns (the network would learn from zeros).
bool LayOutPatterns(const CLearningPatterns& patterns, const std::vector<std::string>& vectorNames,
                    const std::vector<uint8_t>& mask, CNetworkPatterns& out,
                    std::string* error = nullptr);

// Mean and population standard deviation of every entry over the patterns.
void PatternStatistics(const CNetworkPatterns& patterns, std::vector<double>& means,
                       std::vector<double>& deviations);

struct CTrainOptions {
    int32_t epochs = 2000;
    double eta = 0.8;
    double momentum = 0.7;
    double accuracy = 0.05;  // stop after the first epoch whose error is at or below it
};
struct CTrainResult {
    std::vector<double> epochErrors;  // mean squared error of each epoch run
    int32_t lastEpoch = 0;    // index of the epoch that met the accuracy, else the epoch count
    bool reachedAccuracy = false;
    bool cancelled = false;   // the cancelled epoch is undone
};
// Replaces the network's normalisation with the patterns' statistics, then
// trains epoch by epoch in pattern order. Progress runs over epochs ·
// patterns; status (may be empty) receives "epoch: %d\nerror: %.6f" after
// each epoch. Cancelling restores the weights of the start of that epoch.
// False (network untouched) for an invalid network or no patterns.
bool TrainNetwork(BPNN& network, const CNetworkPatterns& patterns, const CTrainOptions& options,
                  CTrainResult& result, const ProgressFn& progress = {},
                  const std::function<void(const std::string&)>& status = {});
// "%d. error = %.6f\n"
std::string TrainSummaryText(const CTrainResult& result);

struct CNnTestCounts {
    int32_t correct = 0, bad = 0, all = 0;
    int32_t trueAnswers = 0, falseAnswers = 0, benignAnswers = 0, malignantAnswers = 0;
    int32_t trueAsFalse = 0, falseAsTrue = 0, benignAsMalignant = 0, malignantAsBenign = 0;
    int32_t malignantAsFalse = 0, benignAsFalse = 0, falseAsBenign = 0, falseAsMalignant = 0;
};
struct CNnTestResult {
    CNnTestCounts counts;
    std::vector<char> answers;                 // per pattern
    std::vector<std::vector<double>> outputs;  // per pattern
    std::string report;                        // the "nn_test.wynik" text
};
// Classifies every pattern at the threshold and counts the answers.
bool TestNetwork(BPNN& network, const CNetworkPatterns& patterns, double threshold,
                 CNnTestResult& result, const ProgressFn& progress = {});
// The message box text of a test.
std::string TestMessage(const CNnTestCounts& counts);
// "nn_test.wynik" in the folder of the last network path (the working
// folder when that is empty).
std::string NnTestReportPath(const std::string& lastNetworkPath);
bool WriteTestReport(const std::string& path, const std::string& report,
                     std::string* error = nullptr);

// A lesion score per pattern from its outputs, for sweeping a threshold:
// 1 output: o1; "2 T/F": (1 + o1 - o2) / 2; "2 B/M": max(o1, o2);
// "3 B/M/F": 1 - o3.
double LesionScore(ENnEncoding encoding, const std::vector<double>& outputs);
struct CRocPoint {
    double threshold = 0;
    double sensitivity = 0;  // true objects (benign, malignant) scored above the threshold
    double specificity = 0;  // false objects at or below it
};
// One point per distinct score, plus the two ends.
std::vector<CRocPoint> RocPoints(ENnEncoding encoding, const CNnTestResult& result,
                                 const CNetworkPatterns& patterns);

}  // namespace vistrel
