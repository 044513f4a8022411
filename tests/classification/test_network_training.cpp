#include "classification/network_training.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "core/text.h"
#include "support/scratch_dir.h"

namespace vistrel {
namespace {

TEST(NnEncoding, TargetsAndFlagsPerEncoding) {
    struct Case {
        ENnEncoding encoding;
        const char* name;
        int outputs;
        bool twoTF;
        std::vector<double> benign, malignant, falseObject;
    };
    const Case cases[] = {
        {ENnEncoding::OneTF, "1 T/F", 1, false, {1}, {1}, {0}},
        {ENnEncoding::TwoTF, "2 T/F", 2, true, {1, 0}, {1, 0}, {0, 1}},
        {ENnEncoding::TwoBM, "2 B/M", 2, false, {1, 0}, {0, 1}, {0, 0}},
        {ENnEncoding::ThreeBMF, "3 B/M/F", 3, false, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(EncodingName(c.encoding), c.name);
        EXPECT_EQ(EncodingOutputs(c.encoding), c.outputs) << c.name;
        EXPECT_EQ(EncodingTwoOutputTF(c.encoding), c.twoTF) << c.name;
        EXPECT_EQ(EncodingTargets(c.encoding, kPatternBenign), c.benign) << c.name;
        EXPECT_EQ(EncodingTargets(c.encoding, kPatternMalignant), c.malignant) << c.name;
        EXPECT_EQ(EncodingTargets(c.encoding, kPatternFalse), c.falseObject) << c.name;
        const BPNN net(2, 2, c.outputs, c.twoTF, 1u);
        EXPECT_EQ(EncodingOf(net), c.encoding) << c.name;
    }
    EXPECT_TRUE(EncodingTargets(ENnEncoding::OneTF, 7).empty());
}

TEST(NnPatterns, LayOutMovesColumnsByNameAndRefusesAMissingMaskedFeature) {
    CLearningPatterns lp;
    lp.names = {"c", "a", "unused"};
    lp.patterns = {{"img1", "BENIGN", kPatternBenign, {3, 1, 9}},
                   {"img2", "FALSE", kPatternFalse, {6, 2, 9}}};
    const std::vector<std::string> names = {"a", "b", "c"};
    CNetworkPatterns out;
    std::string error;
    ASSERT_TRUE(LayOutPatterns(lp, names, {1, 0, 1}, out, &error)) << error;
    ASSERT_EQ(out.vectors.size(), 2u);
    EXPECT_EQ(out.vectors[0], (std::vector<double>{1, 0, 3}));
    EXPECT_EQ(out.vectors[1], (std::vector<double>{2, 0, 6}));
    EXPECT_EQ(out.diagnoses, (std::vector<int>{kPatternBenign, kPatternFalse}));
    EXPECT_EQ(out.firstFields[1], "img2");
    EXPECT_EQ(out.secondFields[0], "BENIGN");

    const CNetworkPatterns before = out;
    EXPECT_FALSE(LayOutPatterns(lp, names, {0, 1, 1}, out, &error));
    EXPECT_NE(error.find("\"b\""), std::string::npos) << error;
    EXPECT_EQ(out.vectors, before.vectors);
    EXPECT_FALSE(LayOutPatterns(lp, names, {0, 0, 0, 1}, out, &error));
}

TEST(NnPatterns, StatisticsAreMeanAndPopulationDeviation) {
    CNetworkPatterns p;
    p.vectors = {{1, 5, 0}, {3, 5, 10}, {5, 5, 20}, {7, 5, 30}};
    std::vector<double> means, devs;
    PatternStatistics(p, means, devs);
    EXPECT_EQ(means, (std::vector<double>{4, 5, 15}));
    EXPECT_DOUBLE_EQ(devs[0], std::sqrt(5.0));
    EXPECT_EQ(devs[1], 0.0);
    EXPECT_DOUBLE_EQ(devs[2], std::sqrt(125.0));
}

// XOR on features 1 and 3 of a 4-entry vector, with a constant feature 0.
CNetworkPatterns XorPatterns(int copies) {
    CNetworkPatterns p;
    const double x[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    for (int c = 0; c < copies; ++c)
        for (int i = 0; i < 4; ++i) {
            p.vectors.push_back({2.0, x[i][0] * 10 + 5, 7.0, x[i][1] * 4 - 1});
            p.diagnoses.push_back((i == 1 || i == 2) ? kPatternMalignant : kPatternFalse);
            p.firstFields.push_back("img" + std::to_string(i));
            p.secondFields.push_back(i == 1 || i == 2 ? "MALIGNANT" : "FALSE");
        }
    return p;
}

BPNN XorNetwork() {
    const uint8_t mask[4] = {0, 1, 0, 1};
    return BPNN(2, 4, 1, false, mask, 4, 2024u);
}

TEST(NnTrain, NormalisesFromThePatternsAndLearns) {
    BPNN net = XorNetwork();
    const CNetworkPatterns p = XorPatterns(1);
    CTrainOptions options;
    options.epochs = 5000;
    options.accuracy = 0.01;
    CTrainResult result;
    std::vector<std::string> statuses;
    ASSERT_TRUE(TrainNetwork(net, p, options, result, {},
                             [&](const std::string& s) { statuses.push_back(s); }));
    EXPECT_TRUE(result.reachedAccuracy);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(net.Mean(1), 10.0);
    EXPECT_EQ(net.Deviation(1), 5.0);
    EXPECT_EQ(net.Mean(0), 2.0);
    EXPECT_EQ(net.Deviation(0), 1.0);  // constant feature: only centred
    ASSERT_EQ(statuses.size(), result.epochErrors.size());
    EXPECT_EQ(statuses[0], Format("epoch: 0\nerror: %.6f", result.epochErrors[0]));
    EXPECT_EQ(TrainSummaryText(result),
              Format("%d. error = %.6f\n", result.lastEpoch, result.epochErrors.back()));
    CNnTestResult test;
    ASSERT_TRUE(TestNetwork(net, p, 0.5, test));
    EXPECT_EQ(test.counts.correct, 4);
    EXPECT_EQ(test.answers, (std::vector<char>{'F', 'T', 'T', 'F'}));
}

TEST(NnTrain, StopsAfterTheFirstEpochAtOrBelowTheAccuracy) {
    const CNetworkPatterns p = XorPatterns(1);
    BPNN probe = XorNetwork();
    CTrainOptions options;
    options.epochs = 60;
    options.accuracy = -1;
    CTrainResult all;
    ASSERT_TRUE(TrainNetwork(probe, p, options, all));
    ASSERT_EQ(all.epochErrors.size(), 60u);
    EXPECT_FALSE(all.reachedAccuracy);
    EXPECT_EQ(all.lastEpoch, 60);
    // The first epoch whose error is below every earlier one after epoch 10.
    size_t stop = 0;
    for (size_t u = 10; u < all.epochErrors.size() && !stop; ++u)
        if (*std::min_element(all.epochErrors.begin(), all.epochErrors.begin() + u) > all.epochErrors[u])
            stop = u;
    ASSERT_GT(stop, 0u);
    BPNN net = XorNetwork();
    options.accuracy = all.epochErrors[stop];  // equality stops too
    CTrainResult result;
    ASSERT_TRUE(TrainNetwork(net, p, options, result));
    EXPECT_TRUE(result.reachedAccuracy);
    EXPECT_EQ(result.lastEpoch, static_cast<int32_t>(stop));
    EXPECT_EQ(result.epochErrors.size(), stop + 1);
    EXPECT_EQ(result.epochErrors.back(), all.epochErrors[stop]);
}

TEST(NnTrain, CancelMidEpochRestoresTheEpochStart) {
    const CNetworkPatterns p = XorPatterns(150);  // 600 patterns
    CTrainOptions options;
    options.epochs = 3;
    options.accuracy = -1;
    BPNN oneEpoch = XorNetwork();
    CTrainOptions once = options;
    once.epochs = 1;
    CTrainResult ignored;
    ASSERT_TRUE(TrainNetwork(oneEpoch, p, once, ignored));

    BPNN net = XorNetwork();
    CTrainResult result;
    std::vector<double> fractions;
    auto progress = [&](double f) {
        fractions.push_back(f);
        return f < 0.5;  // half-way through epoch 1 of 3
    };
    ASSERT_TRUE(TrainNetwork(net, p, options, result, progress));
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.epochErrors.size(), 1u);
    EXPECT_EQ(result.lastEpoch, 1);
    EXPECT_EQ(net.ToBytes(), oneEpoch.ToBytes());
    for (int k = 0; k <= 2; ++k)
        for (int j = 0; j <= 4; ++j)
            EXPECT_EQ(net.InputPrevWeight(k, j), oneEpoch.InputPrevWeight(k, j));
    // Progress is reported in strides, not per pattern, and only forwards.
    EXPECT_LT(fractions.size(), 10u);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_DOUBLE_EQ(fractions[0], 256.0 / 1800.0);
}

TEST(NnTrain, RefusesWhatItCannotTrainAndLeavesTheNetwork) {
    BPNN net = XorNetwork();
    const BPNN before = net;
    CTrainResult result;
    EXPECT_FALSE(TrainNetwork(net, CNetworkPatterns{}, CTrainOptions{}, result));
    CNetworkPatterns shortVectors = XorPatterns(1);
    for (auto& v : shortVectors.vectors) v.resize(2);  // feature 3 missing
    EXPECT_FALSE(TrainNetwork(net, shortVectors, CTrainOptions{}, result));
    BPNN invalid(5, 2, 1, false, std::vector<uint8_t>{1, 1}.data(), 2, 1u);
    EXPECT_FALSE(TrainNetwork(invalid, XorPatterns(1), CTrainOptions{}, result));
    EXPECT_TRUE(before.SameAs(net));
    EXPECT_FALSE(net.HasNormalisation());
}

// Two inputs, two hidden units that copy the sign of their input, and output
// biases and weights chosen so that each encoding answers by the signs:
// (+,-) benign / true, (-,+) malignant, (-,-) false.
BPNN SignNetwork(ENnEncoding encoding) {
    const uint8_t mask[2] = {1, 1};
    BPNN net(2, 2, EncodingOutputs(encoding), EncodingTwoOutputTF(encoding), mask, 2, 1u);
    for (int k = 0; k <= 2; ++k)
        for (int j = 0; j <= 2; ++j) net.SetInputWeight(k, j, k == j ? 20.0 : 0.0);
    // rows: bias, h1, h2; one column per output
    std::vector<std::array<double, 3>> out;
    switch (encoding) {
        case ENnEncoding::OneTF: out = {{-5, 10, 0}}; break;
        case ENnEncoding::TwoTF: out = {{-5, 10, 0}, {5, -10, 0}}; break;
        case ENnEncoding::TwoBM: out = {{-5, 10, 0}, {-5, 0, 10}}; break;
        case ENnEncoding::ThreeBMF: out = {{-5, 10, 0}, {-5, 0, 10}, {5, -10, -10}}; break;
    }
    for (size_t j = 0; j < out.size(); ++j)
        for (int k = 0; k <= 2; ++k) net.SetHiddenWeight(k, static_cast<int>(j) + 1, out[j][k]);
    return net;
}

std::vector<int32_t> Fields(const CNnTestCounts& c) {
    return {c.correct, c.bad, c.all, c.trueAnswers, c.falseAnswers, c.benignAnswers,
            c.malignantAnswers, c.trueAsFalse, c.falseAsTrue, c.benignAsMalignant,
            c.malignantAsBenign, c.malignantAsFalse, c.benignAsFalse, c.falseAsBenign,
            c.falseAsMalignant};
}

TEST(NnTest, CountsEveryAnswerAgainstItsDiagnosis) {
    const std::vector<double> toTrueOrBenign = {1, -1}, toMalignant = {-1, 1}, toFalse = {-1, -1};
    struct Case {
        ENnEncoding encoding;
        std::vector<std::vector<double>> inputs;
        std::vector<char> letters;  // answer of each input
        //                      corr bad all  T  F  B  M TaF FaT BaM MaB MaF BaF FaB FaM
        std::vector<int32_t> counts;
    };
    const Case cases[] = {
        {ENnEncoding::OneTF, {toTrueOrBenign, toFalse}, {'T', 'F'},
         {3, 3, 6, 3, 3, 0, 0, 2, 1, 0, 0, 1, 1, 0, 0}},
        {ENnEncoding::TwoTF, {toTrueOrBenign, toFalse}, {'T', 'F'},
         {3, 3, 6, 3, 3, 0, 0, 2, 1, 0, 0, 1, 1, 0, 0}},
        {ENnEncoding::TwoBM, {toTrueOrBenign, toMalignant, toFalse}, {'B', 'M', 'F'},
         {3, 6, 9, 0, 3, 3, 3, 2, 0, 1, 1, 1, 1, 1, 1}},
        {ENnEncoding::ThreeBMF, {toTrueOrBenign, toMalignant, toFalse}, {'B', 'M', 'F'},
         {3, 6, 9, 0, 3, 3, 3, 2, 0, 1, 1, 1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        BPNN net = SignNetwork(c.encoding);
        CNetworkPatterns p;
        std::vector<char> expected;
        for (size_t i = 0; i < c.inputs.size(); ++i)
            for (int d : {kPatternBenign, kPatternMalignant, kPatternFalse}) {
                p.vectors.push_back(c.inputs[i]);
                p.diagnoses.push_back(d);
                expected.push_back(c.letters[i]);
            }
        // A vector too short for the mask gets no answer and is not counted.
        p.vectors.push_back({1});
        p.diagnoses.push_back(kPatternBenign);
        expected.push_back(kNnNoAnswer);
        CNnTestResult result;
        ASSERT_TRUE(TestNetwork(net, p, 0.5, result)) << EncodingName(c.encoding);
        EXPECT_EQ(result.answers, expected) << EncodingName(c.encoding);
        EXPECT_EQ(Fields(result.counts), c.counts) << EncodingName(c.encoding);
        EXPECT_TRUE(result.outputs.back().empty());
        EXPECT_EQ(result.outputs[0].size(), static_cast<size_t>(EncodingOutputs(c.encoding)));
    }
}

TEST(NnTest, ReportAndMessageText) {
    BPNN net = SignNetwork(ENnEncoding::TwoBM);
    CNetworkPatterns p;
    p.vectors = {{1, -1}, {-1, -1}};
    p.diagnoses = {kPatternBenign, kPatternMalignant};
    p.firstFields = {"/data/a.dcm", "/data/b.dcm"};
    p.secondFields = {"BENIGN", "MALIGNANT"};
    CNnTestResult result;
    ASSERT_TRUE(TestNetwork(net, p, 0.25, result));
    const auto& o = result.outputs;
    EXPECT_EQ(result.report,
              "2 B/M\n0.2500\n/data/a.dcm\nBENIGN\nB = " + Format("%.10f %.10f ", o[0][0], o[0][1]) +
                  "\n/data/b.dcm\nMALIGNANT\nF = " + Format("%.10f %.10f ", o[1][0], o[1][1]) + "\n");

    EXPECT_EQ(TestMessage(result.counts),
              " Correct answers= 1 (50.000000 %)\n Bad answers= 1 (50.000000 %)\n"
              " All testing patterns= 2\n \n True answers = 0\n False answers = 1\n"
              " Benign answers = 1\n Malignant answers = 0\n"
              "\n\n true objects classified as false= 1 (50.000000 %)\n false as true= 0 (0.000000 %)\n"
              " benign as malignant= 0 (0.000000 %)\n malignant as benign = 0 (0.000000 %)\n"
              " malignant as false= 1 (50.000000 %)\n benign as false= 0 (0.000000 %)\n"
              " false as benign= 0 (0.000000 %)\n false as malignant= 0 (0.000000 %)\n");
    EXPECT_NE(TestMessage(CNnTestCounts{}).find(" Correct answers= 0 (0.000000 %)"), std::string::npos);

    testsupport::CScratchDir dir;
    const std::string path = NnTestReportPath(dir.Path("nets/x.nn"));
    EXPECT_EQ(path, dir.Path("nets/nn_test.wynik"));
    EXPECT_EQ(NnTestReportPath(""), "nn_test.wynik");
    const std::string report = NnTestReportPath(dir.Path("x.nn"));
    ASSERT_TRUE(WriteTestReport(report, result.report));
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(report, bytes));
    EXPECT_EQ(bytes, result.report);
}

TEST(NnTest, RocPointsSweepTheLesionScore) {
    EXPECT_DOUBLE_EQ(LesionScore(ENnEncoding::TwoTF, {0.8, 0.2}), 0.8);
    EXPECT_EQ(LesionScore(ENnEncoding::TwoBM, {0.3, 0.6}), 0.6);
    EXPECT_EQ(LesionScore(ENnEncoding::ThreeBMF, {0.3, 0.6, 0.25}), 0.75);
    EXPECT_EQ(LesionScore(ENnEncoding::ThreeBMF, {0.3}), 0.0);

    CNnTestResult result;
    result.outputs = {{0.2}, {0.7}, {0.4}, {0.9}, {}};
    CNetworkPatterns p;
    p.diagnoses = {kPatternBenign, kPatternMalignant, kPatternFalse, kPatternFalse, kPatternBenign};
    const std::vector<CRocPoint> points = RocPoints(ENnEncoding::OneTF, result, p);
    const double expected[][3] = {{0, 1, 0},      {0.2, 0.5, 0}, {0.4, 0.5, 0.5},
                                  {0.7, 0, 0.5}, {0.9, 0, 1},   {1, 0, 1}};
    ASSERT_EQ(points.size(), 6u);
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(points[i].threshold, expected[i][0]) << i;
        EXPECT_EQ(points[i].sensitivity, expected[i][1]) << i;
        EXPECT_EQ(points[i].specificity, expected[i][2]) << i;
    }
}

}  // namespace
}  // namespace vistrel
