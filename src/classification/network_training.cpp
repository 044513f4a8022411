#include "classification/network_training.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <unordered_map>

#include "core/atomic_file.h"
#include "core/text.h"

namespace vistrel {

namespace {

// Progress is reported this often (in patterns): often enough for a
// smooth bar, rarely enough to cost nothing next to the training step.
constexpr size_t kProgressStride = 256;

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// How many entries of a laid-out vector the network's mask covers.
int32_t SelectionLength(const BPNN& network, size_t vectorLength) {
    return static_cast<int32_t>(std::min<size_t>(vectorLength, static_cast<size_t>(network.MaskLength())));
}

// The network inputs of one laid-out vector: a network without a mask takes
// the vector as it is.
std::vector<double> PatternInputs(const BPNN& network, const std::vector<double>& v) {
    if (network.MaskLength() == 0)
        return v.size() == static_cast<size_t>(network.NIn()) ? v : std::vector<double>{};
    return network.SelectInputs(v.data(), SelectionLength(network, v.size()));
}

}  // namespace

const char* EncodingName(ENnEncoding encoding) {
    switch (encoding) {
        case ENnEncoding::OneTF: return "1 T/F";
        case ENnEncoding::TwoTF: return "2 T/F";
        case ENnEncoding::TwoBM: return "2 B/M";
        case ENnEncoding::ThreeBMF: return "3 B/M/F";
    }
    return "1 T/F";
}

int32_t EncodingOutputs(ENnEncoding encoding) {
    switch (encoding) {
        case ENnEncoding::OneTF: return 1;
        case ENnEncoding::TwoTF:
        case ENnEncoding::TwoBM: return 2;
        case ENnEncoding::ThreeBMF: return 3;
    }
    return 1;
}

bool EncodingTwoOutputTF(ENnEncoding encoding) { return encoding == ENnEncoding::TwoTF; }

ENnEncoding EncodingOf(const BPNN& network) {
    switch (network.NOut()) {
        case 2: return network.TwoOutputTF() ? ENnEncoding::TwoTF : ENnEncoding::TwoBM;
        case 3: return ENnEncoding::ThreeBMF;
        default: return ENnEncoding::OneTF;
    }
}

std::vector<double> EncodingTargets(ENnEncoding encoding, int diagnosis) {
    if (diagnosis != kPatternBenign && diagnosis != kPatternMalignant && diagnosis != kPatternFalse)
        return {};
    const bool lesion = diagnosis != kPatternFalse;
    switch (encoding) {
        case ENnEncoding::OneTF: return {lesion ? 1.0 : 0.0};
        case ENnEncoding::TwoTF: return {lesion ? 1.0 : 0.0, lesion ? 0.0 : 1.0};
        case ENnEncoding::TwoBM:
            return {diagnosis == kPatternBenign ? 1.0 : 0.0, diagnosis == kPatternMalignant ? 1.0 : 0.0};
        case ENnEncoding::ThreeBMF:
            return {diagnosis == kPatternBenign ? 1.0 : 0.0, diagnosis == kPatternMalignant ? 1.0 : 0.0,
                    diagnosis == kPatternFalse ? 1.0 : 0.0};
    }
    return {};
}

bool LayOutPatterns(const CLearningPatterns& patterns, const std::vector<std::string>& vectorNames,
                    const std::vector<uint8_t>& mask, CNetworkPatterns& out, std::string* error) {
    std::unordered_map<std::string, size_t> column;
    for (size_t c = 0; c < patterns.names.size(); ++c) column.emplace(patterns.names[c], c);
    // source column of every vector position, or npos
    std::vector<size_t> source(vectorNames.size(), std::string::npos);
    for (size_t i = 0; i < vectorNames.size(); ++i)
        if (auto it = column.find(vectorNames[i]); it != column.end()) source[i] = it->second;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (!mask[i]) continue;
        if (i >= vectorNames.size()) {
            SetError(error, "The network uses feature " + std::to_string(i) +
                                ", beyond the feature vector");
            return false;
        }
        if (source[i] == std::string::npos) {
            SetError(error, "The network uses the feature \"" + vectorNames[i] +
                                "\", which the patterns do not have");
            return false;
        }
    }
    CNetworkPatterns laid;
    laid.vectors.reserve(patterns.patterns.size());
    for (const CLearningPattern& p : patterns.patterns) {
        std::vector<double> v(vectorNames.size(), 0.0);
        for (size_t i = 0; i < v.size(); ++i)
            if (source[i] < p.values.size()) v[i] = p.values[source[i]];
        laid.vectors.push_back(std::move(v));
        laid.diagnoses.push_back(p.diagnosis);
        laid.firstFields.push_back(p.firstField);
        laid.secondFields.push_back(p.secondField);
    }
    out = std::move(laid);
    return true;
}

void PatternStatistics(const CNetworkPatterns& patterns, std::vector<double>& means,
                       std::vector<double>& deviations) {
    means.clear();
    deviations.clear();
    if (patterns.vectors.empty()) return;
    const size_t n = patterns.vectors.front().size();
    const double count = static_cast<double>(patterns.vectors.size());
    means.assign(n, 0.0);
    deviations.assign(n, 0.0);
    for (const auto& v : patterns.vectors)
        for (size_t k = 0; k < n && k < v.size(); ++k) means[k] += v[k];
    for (double& m : means) m /= count;
    for (const auto& v : patterns.vectors)
        for (size_t k = 0; k < n && k < v.size(); ++k) {
            const double d = v[k] - means[k];
            deviations[k] += d * d;
        }
    for (double& s : deviations) s = std::sqrt(s / count);
}

bool TrainNetwork(BPNN& network, const CNetworkPatterns& patterns, const CTrainOptions& options,
                  CTrainResult& result, const ProgressFn& progress,
                  const std::function<void(const std::string&)>& status) {
    result = CTrainResult{};
    const size_t count = patterns.vectors.size();
    if (!network.IsValid() || count == 0 || patterns.diagnoses.size() != count) return false;
    const size_t length = patterns.vectors.front().size();
    for (const auto& v : patterns.vectors)
        if (v.size() != length) return false;
    // The vectors must yield exactly the network's inputs, checked before
    // the normalisation is touched.
    if (network.MaskLength() == 0) {
        if (length != static_cast<size_t>(network.NIn())) return false;
    } else {
        const auto mask = network.Mask();
        const int32_t covered = SelectionLength(network, length);
        if (std::count_if(mask.begin(), mask.begin() + covered, [](uint8_t m) { return m != 0; }) !=
            network.NIn())
            return false;
    }
    const ENnEncoding encoding = EncodingOf(network);
    const size_t nIn = static_cast<size_t>(network.NIn());
    const size_t nOut = static_cast<size_t>(network.NOut());
    for (int d : patterns.diagnoses)
        if (EncodingTargets(encoding, d).empty()) return false;

    std::vector<double> means, deviations;
    PatternStatistics(patterns, means, deviations);
    network.ClearNormalisation();
    network.SetNormalisation(means.data(), deviations.data(), static_cast<int32_t>(length));

    // Every epoch sees the same inputs: select and normalise them once.
    std::vector<double> inputs(count * nIn), targets(count * nOut);
    for (size_t p = 0; p < count; ++p) {
        const std::vector<double> in = PatternInputs(network, patterns.vectors[p]);
        if (in.size() != nIn) return false;  // cannot happen after the check above
        std::copy(in.begin(), in.end(), inputs.begin() + static_cast<std::ptrdiff_t>(p * nIn));
        const std::vector<double> t = EncodingTargets(encoding, patterns.diagnoses[p]);
        std::copy(t.begin(), t.end(), targets.begin() + static_cast<std::ptrdiff_t>(p * nOut));
    }

    const double total = static_cast<double>(std::max(options.epochs, 0)) * static_cast<double>(count);
    result.lastEpoch = std::max(options.epochs, 0);
    for (int32_t u = 0; u < options.epochs; ++u) {
        const BPNN snapshot = network;
        double sum = 0.0;
        for (size_t p = 0; p < count; ++p) {
            sum += network
                       .TrainPattern(options.eta, options.momentum, &inputs[p * nIn],
                                     static_cast<int32_t>(nIn), &targets[p * nOut],
                                     static_cast<int32_t>(nOut))
                       .squaredError;
            if (progress && (p + 1) % kProgressStride == 0 && p + 1 < count &&
                !progress((static_cast<double>(u) * static_cast<double>(count) +
                           static_cast<double>(p + 1)) / total)) {
                network = snapshot;
                result.cancelled = true;
                result.lastEpoch = u;
                return true;
            }
        }
        const double error = sum / static_cast<double>(count);
        result.epochErrors.push_back(error);
        if (status) status(Format("epoch: %d\nerror: %.6f", u, error));
        if (error <= options.accuracy) {
            result.lastEpoch = u;
            result.reachedAccuracy = true;
            if (progress) progress(1.0);
            return true;
        }
        // A cancel at the end of an epoch keeps that complete epoch.
        if (progress && !progress(static_cast<double>(u + 1) * static_cast<double>(count) / total)) {
            result.cancelled = true;
            result.lastEpoch = u + 1;
            return true;
        }
    }
    return true;
}

std::string TrainSummaryText(const CTrainResult& result) {
    const double error = result.epochErrors.empty() ? 0.0 : result.epochErrors.back();
    return Format("%d. error = %.6f\n", result.lastEpoch, error);
}

bool TestNetwork(BPNN& network, const CNetworkPatterns& patterns, double threshold,
                 CNnTestResult& result, const ProgressFn& progress) {
    result = CNnTestResult{};
    if (!network.IsValid()) return false;
    const size_t count = patterns.vectors.size();
    std::string& report = result.report;
    report += EncodingName(EncodingOf(network));
    report += "\n";
    report += Format("%.4f\n", threshold);
    CNnTestCounts& c = result.counts;
    for (size_t p = 0; p < count; ++p) {
        const std::vector<double>& v = patterns.vectors[p];
        const std::vector<double> in = PatternInputs(network, v);
        const char answer =
            in.size() == static_cast<size_t>(network.NIn()) && !in.empty()
                ? network.ClassifyInputs(in.data(), static_cast<int32_t>(in.size()), threshold)
                : kNnNoAnswer;
        std::vector<double> outputs;
        if (answer != kNnNoAnswer) outputs = network.Outputs();
        report += p < patterns.firstFields.size() ? patterns.firstFields[p] : std::string();
        report += "\n";
        report += p < patterns.secondFields.size() ? patterns.secondFields[p] : std::string();
        report += "\n";
        report += answer;
        report += " = ";
        for (double o : outputs) report += Format("%.10f ", o);
        report += "\n";

        const int d = p < patterns.diagnoses.size() ? patterns.diagnoses[p] : -1;
        bool counted = true, correct = false;
        switch (answer) {
            case kNnTrue:
                ++c.trueAnswers;
                correct = d == kPatternBenign || d == kPatternMalignant;
                if (!correct) ++c.falseAsTrue;
                break;
            case kNnFalse:
                ++c.falseAnswers;
                correct = d == kPatternFalse;
                if (!correct) {
                    ++c.trueAsFalse;
                    if (d == kPatternBenign) ++c.benignAsFalse;
                    if (d == kPatternMalignant) ++c.malignantAsFalse;
                }
                break;
            case kNnBenign:
                ++c.benignAnswers;
                correct = d == kPatternBenign;
                if (d == kPatternMalignant) ++c.malignantAsBenign;
                if (d == kPatternFalse) ++c.falseAsBenign;
                break;
            case kNnMalignant:
                ++c.malignantAnswers;
                correct = d == kPatternMalignant;
                if (d == kPatternBenign) ++c.benignAsMalignant;
                if (d == kPatternFalse) ++c.falseAsMalignant;
                break;
            default:
                counted = false;
        }
        if (counted) ++(correct ? c.correct : c.bad);
        result.answers.push_back(answer);
        result.outputs.push_back(std::move(outputs));
        if (progress && (p + 1) % kProgressStride == 0 &&
            !progress(static_cast<double>(p + 1) / static_cast<double>(count)))
            return false;
    }
    c.all = c.correct + c.bad;
    if (progress) progress(1.0);
    return true;
}

std::string TestMessage(const CNnTestCounts& c) {
    auto pct = [&](int32_t n) { return c.all > 0 ? 100.0 * n / c.all : 0.0; };
    std::string text = Format(
        " Correct answers= %d (%f %%)\n Bad answers= %d (%f %%)\n All testing patterns= %d\n \n"
        " True answers = %d\n False answers = %d\n Benign answers = %d\n Malignant answers = %d\n",
        c.correct, pct(c.correct), c.bad, pct(c.bad), c.all, c.trueAnswers, c.falseAnswers,
        c.benignAnswers, c.malignantAnswers);
    text += Format(
        "\n\n true objects classified as false= %d (%f %%)\n false as true= %d (%f %%)\n"
        " benign as malignant= %d (%f %%)\n malignant as benign = %d (%f %%)\n"
        " malignant as false= %d (%f %%)\n benign as false= %d (%f %%)\n"
        " false as benign= %d (%f %%)\n false as malignant= %d (%f %%)\n",
        c.trueAsFalse, pct(c.trueAsFalse), c.falseAsTrue, pct(c.falseAsTrue), c.benignAsMalignant,
        pct(c.benignAsMalignant), c.malignantAsBenign, pct(c.malignantAsBenign), c.malignantAsFalse,
        pct(c.malignantAsFalse), c.benignAsFalse, pct(c.benignAsFalse), c.falseAsBenign,
        pct(c.falseAsBenign), c.falseAsMalignant, pct(c.falseAsMalignant));
    return text;
}

std::string NnTestReportPath(const std::string& lastNetworkPath) {
    const std::filesystem::path folder = std::filesystem::path(lastNetworkPath).parent_path();
    return (folder / "nn_test.wynik").string();
}

bool WriteTestReport(const std::string& path, const std::string& report, std::string* error) {
    const bool ok = WriteFileAtomically(path, [&](std::FILE* file) {
        return std::fwrite(report.data(), 1, report.size(), file) == report.size();
    });
    if (!ok) SetError(error, path + " cannot be written.");
    return ok;
}

double LesionScore(ENnEncoding encoding, const std::vector<double>& o) {
    if (o.size() != static_cast<size_t>(EncodingOutputs(encoding))) return 0.0;
    switch (encoding) {
        case ENnEncoding::OneTF: return o[0];
        case ENnEncoding::TwoTF: return (1.0 + o[0] - o[1]) / 2.0;
        case ENnEncoding::TwoBM: return std::max(o[0], o[1]);
        case ENnEncoding::ThreeBMF: return 1.0 - o[2];
    }
    return 0.0;
}

std::vector<CRocPoint> RocPoints(ENnEncoding encoding, const CNnTestResult& result,
                                 const CNetworkPatterns& patterns) {
    std::vector<double> trueScores, falseScores;
    const size_t n = std::min(result.outputs.size(), patterns.diagnoses.size());
    for (size_t p = 0; p < n; ++p) {
        if (result.outputs[p].size() != static_cast<size_t>(EncodingOutputs(encoding))) continue;
        const double s = LesionScore(encoding, result.outputs[p]);
        (patterns.diagnoses[p] == kPatternFalse ? falseScores : trueScores).push_back(s);
    }
    std::sort(trueScores.begin(), trueScores.end());
    std::sort(falseScores.begin(), falseScores.end());
    std::vector<double> thresholds = {0.0, 1.0};
    thresholds.insert(thresholds.end(), trueScores.begin(), trueScores.end());
    thresholds.insert(thresholds.end(), falseScores.begin(), falseScores.end());
    std::sort(thresholds.begin(), thresholds.end());
    thresholds.erase(std::unique(thresholds.begin(), thresholds.end()), thresholds.end());
    std::vector<CRocPoint> points;
    points.reserve(thresholds.size());
    for (double t : thresholds) {
        // Scores sorted: counts by binary search.
        const auto above = trueScores.end() - std::upper_bound(trueScores.begin(), trueScores.end(), t);
        const auto atOrBelow = std::upper_bound(falseScores.begin(), falseScores.end(), t) - falseScores.begin();
        CRocPoint point;
        point.threshold = t;
        point.sensitivity = trueScores.empty() ? 0.0 : static_cast<double>(above) / static_cast<double>(trueScores.size());
        point.specificity = falseScores.empty() ? 0.0 : static_cast<double>(atOrBelow) / static_cast<double>(falseScores.size());
        points.push_back(point);
    }
    return points;
}

}  // namespace vistrel
