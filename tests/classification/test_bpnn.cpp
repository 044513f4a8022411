#include "classification/bpnn.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/atomic_file.h"
#include "support/scratch_dir.h"

namespace vistrel {
namespace {

double Logistic(double gain, double s) { return 1.0 / (1.0 + std::exp(-gain * s)); }

// One step of a 3-2-1 network, by the textbook formulas on plain 2-D arrays.
struct CReference321 {
    double gain = 1.0;
    double w1[4][3] = {};  // input (bias row 0) -> hidden
    double w2[3][2] = {};  // hidden (bias row 0) -> output
    double p1[4][3] = {};
    double p2[3][2] = {};
    double squared = 0, outputError = 0, hiddenError = 0;

    void Step(double eta, double momentum, const double x[3], double t) {
        const double in[4] = {1.0, x[0], x[1], x[2]};
        double hid[3] = {1.0, 0, 0};
        for (int j = 1; j <= 2; ++j) {
            double s = 0;
            for (int k = 0; k <= 3; ++k) s += w1[k][j] * in[k];
            hid[j] = Logistic(gain, s);
        }
        double s = 0;
        for (int k = 0; k <= 2; ++k) s += w2[k][1] * hid[k];
        const double o = Logistic(gain, s);
        const double dOut = o * gain * (1 - o) * (t - o);
        double dHid[3] = {0, 0, 0};
        hiddenError = 0;
        for (int j = 1; j <= 2; ++j) {
            dHid[j] = hid[j] * gain * (1 - hid[j]) * dOut * w2[j][1];  // old weights
            hiddenError += std::fabs(dHid[j]);
        }
        outputError = std::fabs(dOut);
        squared = (t - o) * (t - o);
        for (int k = 0; k <= 2; ++k) {
            const double d = eta * dOut * hid[k] + momentum * p2[k][1];
            w2[k][1] += d;
            p2[k][1] = d;
        }
        for (int j = 1; j <= 2; ++j)
            for (int k = 0; k <= 3; ++k) {
                const double d = eta * dHid[j] * in[k] + momentum * p1[k][j];
                w1[k][j] += d;
                p1[k][j] = d;
            }
    }
};

TEST(BpnnTraining, TwoStepsMatchTheDirectComputationWithMomentum) {
    BPNN net(3, 2, 1, false, 7u);
    ASSERT_TRUE(net.IsValid());
    net.SetGain(1.3);
    CReference321 ref;
    ref.gain = 1.3;
    for (int k = 0; k <= 3; ++k)
        for (int j = 0; j <= 2; ++j) {
            ref.w1[k][j] = 0.1 * (k + 1) - 0.07 * j * j + (j == 0 ? 5.0 : 0.0);
            net.SetInputWeight(k, j, ref.w1[k][j]);
        }
    for (int k = 0; k <= 2; ++k)
        for (int j = 0; j <= 1; ++j) {
            ref.w2[k][j] = -0.3 + 0.25 * k + 0.5 * j;
            net.SetHiddenWeight(k, j, ref.w2[k][j]);
        }
    const double patterns[2][3] = {{0.5, -1.0, 2.0}, {-0.25, 0.75, 1.5}};
    const double targets[2] = {1.0, 0.0};
    for (int p = 0; p < 2; ++p) {
        ref.Step(0.6, 0.9, patterns[p], targets[p]);
        const CTrainErrors e = net.TrainPattern(0.6, 0.9, patterns[p], 3, &targets[p], 1);
        EXPECT_NEAR(e.squaredError, ref.squared, 1e-14);
        EXPECT_NEAR(e.outputError, ref.outputError, 1e-14);
        EXPECT_NEAR(e.hiddenError, ref.hiddenError, 1e-14);
    }
    for (int k = 0; k <= 3; ++k)
        for (int j = 0; j <= 2; ++j) {
            EXPECT_NEAR(net.InputWeight(k, j), ref.w1[k][j], 1e-14) << k << "," << j;
            EXPECT_NEAR(net.InputPrevWeight(k, j), ref.p1[k][j], 1e-14) << k << "," << j;
        }
    for (int k = 0; k <= 2; ++k)
        for (int j = 0; j <= 1; ++j) {
            EXPECT_NEAR(net.HiddenWeight(k, j), ref.w2[k][j], 1e-14) << k << "," << j;
            EXPECT_NEAR(net.HiddenPrevWeight(k, j), ref.p2[k][j], 1e-14) << k << "," << j;
        }
    // Column 0 never takes part: its weights stay as set.
    EXPECT_EQ(net.InputWeight(2, 0), 0.1 * 3 + 5.0);
}

TEST(BpnnTraining, LearnsXorFromAFixedSeed) {
    BPNN net(2, 4, 1, false, 12345u);
    ASSERT_TRUE(net.IsValid());
    const double x[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    const double t[4] = {0, 1, 1, 0};
    for (int epoch = 0; epoch < 5000; ++epoch)
        for (int p = 0; p < 4; ++p) net.TrainPattern(0.8, 0.7, x[p], 2, &t[p], 1);
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(net.ClassifyInputs(x[p], 2, 0.5), t[p] > 0.5 ? kNnTrue : kNnFalse) << p;
}

TEST(BpnnTraining, WrongLengthsDoNotTrain) {
    BPNN net(2, 2, 1, false, 3u);
    const BPNN before = net;
    const double x[3] = {1, 2, 3};
    const double t[2] = {1, 0};
    for (auto [nIn, nT] : {std::pair{3, 1}, {1, 1}, {2, 2}, {2, 0}}) {
        const CTrainErrors e = net.TrainPattern(0.8, 0.7, x, nIn, t, nT);
        EXPECT_EQ(e.squaredError, DBL_MAX);
        EXPECT_EQ(e.outputError, DBL_MAX);
        EXPECT_EQ(e.hiddenError, DBL_MAX);
    }
    EXPECT_TRUE(before.SameAs(net));
    EXPECT_EQ(net.SetInput(x, 3) & kNnFailure, kNnFailure);
    EXPECT_EQ(net.SetTarget(t, 2) & kNnFailure, kNnFailure);
    EXPECT_EQ(net.SetInput(x, 2), 0);
}

TEST(BpnnConstruction, SeedFixesTheWeightsAndTheClockVariesThem) {
    const BPNN a(4, 3, 2, true, 99u), b(4, 3, 2, true, 99u), c(4, 3, 2, true, 100u);
    EXPECT_TRUE(a.SameAs(b));
    EXPECT_FALSE(a.SameAs(c));
    const BPNN d(4, 3, 2, true), e(4, 3, 2, true);
    EXPECT_FALSE(d.SameAs(e));
    // Every weight, column 0 included, lies in [-0.5, 0.5] and they are not all equal.
    double lo = 1, hi = -1;
    for (int k = 0; k <= 4; ++k)
        for (int j = 0; j <= 3; ++j) {
            lo = std::min(lo, a.InputWeight(k, j));
            hi = std::max(hi, a.InputWeight(k, j));
        }
    EXPECT_GE(lo, -0.5);
    EXPECT_LE(hi, 0.5);
    EXPECT_LT(lo, hi);
}

TEST(BpnnConstruction, InvalidNetworksAnswerWithTheirFailureValues) {
    const uint8_t mask[5] = {1, 0, 1, 0, 1};
    struct Case {
        const char* name;
        int nIn, nHidden, nOut;
        int maskLength;
    };
    for (const Case& c : {Case{"mask selects 3, nIn 2", 2, 2, 1, 5}, Case{"no hidden", 3, 0, 1, 5},
                          Case{"negative inputs", -1, 2, 1, 0}, Case{"no outputs", 3, 2, 0, 5}}) {
        BPNN net(c.nIn, c.nHidden, c.nOut, false, c.maskLength ? mask : nullptr, c.maskLength, 1u);
        EXPECT_FALSE(net.IsValid()) << c.name;
        const double v[5] = {1, 1, 1, 1, 1};
        EXPECT_EQ(net.ClassifyInputs(v, c.nIn, 0.5), kNnNoAnswer) << c.name;
        EXPECT_EQ(net.ClassifyFeatures(v, 5, 0.5), kNnNoAnswer) << c.name;
        EXPECT_EQ(net.TrainPattern(0.5, 0.5, v, c.nIn, v, c.nOut).squaredError, DBL_MAX) << c.name;
        EXPECT_TRUE(net.Outputs().empty()) << c.name;
        EXPECT_TRUE(net.ToBytes().empty()) << c.name;
    }
    testing::internal::CaptureStdout();
    BPNN huge(1 << 20, 1 << 10, 1, false, 1u);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(huge.IsValid());
    EXPECT_EQ(printed, "ALLOC_2D_DBL: Couldn't allocate array of dbl ptrs\n");
}

// A network whose outputs are fixed by the output biases alone.
BPNN FixedOutputs(int nOut, bool twoOutputTF, std::vector<double> biases) {
    BPNN net(1, 1, nOut, twoOutputTF, 1u);
    for (int k = 0; k <= 1; ++k)
        for (int j = 0; j <= 1; ++j) net.SetInputWeight(k, j, 0.0);
    for (int j = 1; j <= nOut; ++j) {
        net.SetHiddenWeight(0, j, biases[j - 1]);
        net.SetHiddenWeight(1, j, 0.0);
    }
    return net;
}

TEST(BpnnClassification, LetterByEncodingAtTheEdges) {
    struct Case {
        const char* name;
        int nOut;
        bool twoOutputTF;
        std::vector<double> biases;  // 0 gives an output of exactly 0.5
        double threshold;
        char expected;
    };
    const Case cases[] = {
        {"1 output exactly at the threshold", 1, false, {0.0}, 0.5, kNnFalse},
        {"1 output just above", 1, false, {1e-9}, 0.5, kNnTrue},
        {"1 output below", 1, false, {-1.0}, 0.5, kNnFalse},
        {"2 T/F first larger", 2, true, {0.2, 0.1}, 0.99, kNnTrue},
        {"2 T/F equal", 2, true, {0.3, 0.3}, 0.0, kNnFalse},
        {"2 B/M tie above the threshold", 2, false, {1.0, 1.0}, 0.5, kNnMalignant},
        {"2 B/M benign larger", 2, false, {1.0, 0.5}, 0.5, kNnBenign},
        {"2 B/M malignant larger", 2, false, {0.5, 1.0}, 0.5, kNnMalignant},
        {"2 B/M maximum at the threshold", 2, false, {0.0, -1.0}, 0.5, kNnFalse},
        {"3 all equal: the first", 3, false, {0.0, 0.0, 0.0}, 0.5, kNnBenign},
        {"3 last two equal maxima", 3, false, {-1.0, 2.0, 2.0}, 0.5, kNnMalignant},
        {"3 false largest", 3, false, {-1.0, 0.0, 0.5}, 0.99, kNnFalse},
    };
    for (const Case& c : cases) {
        BPNN net = FixedOutputs(c.nOut, c.twoOutputTF, c.biases);
        const double in = 3.0;
        EXPECT_EQ(net.ClassifyInputs(&in, 1, c.threshold), c.expected) << c.name;
    }
    BPNN net = FixedOutputs(1, false, {0.0});
    const double in[2] = {1, 2};
    EXPECT_EQ(net.ClassifyInputs(in, 2, 0.5), kNnNoAnswer);
}

TEST(BpnnClassification, NormalisationShiftsAndScalesTheMaskedFeatures) {
    const uint8_t mask[5] = {0, 1, 0, 1, 1};
    BPNN net(3, 2, 1, false, mask, 5, 4u);
    ASSERT_TRUE(net.IsValid());
    const double features[5] = {9, 10, 9, 4, -3};
    EXPECT_EQ(net.SelectInputs(features, 5), (std::vector<double>{10, 4, -3}));
    const double means[5] = {100, 2, 100, 1, 1};
    const double devs[5] = {100, 0, 100, 2, -5};  // 0 and negative: only shifted
    net.SetNormalisation(means, devs, 4);         // shorter than the mask: ignored
    EXPECT_FALSE(net.HasNormalisation());
    net.SetNormalisation(means, devs, 5);
    ASSERT_TRUE(net.HasNormalisation());
    EXPECT_EQ(net.SelectInputs(features, 5), (std::vector<double>{8, 1.5, -4}));
    EXPECT_EQ(net.Deviation(1), 1.0);
    EXPECT_EQ(net.Mean(7), 0.0);
    EXPECT_TRUE(net.SelectInputs(features, 6).empty());
    // The letter is the one of the selected, normalised inputs.
    const std::vector<double> in = net.SelectInputs(features, 5);
    EXPECT_EQ(net.ClassifyFeatures(features, 5, 0.5), net.ClassifyInputs(in.data(), 3, 0.5));
    // A short vector selects too few inputs: no answer.
    EXPECT_EQ(net.ClassifyFeatures(features, 4, 0.5), kNnNoAnswer);
}

// The test ".nn" writer, field by field, so that each field can be cut or bent.
struct CNnFile {
    double gain = 1.25;
    int32_t maskLength = 4;
    std::vector<uint8_t> mask = {1, 0, 1, 1};
    int hasNorm = 1;
    std::vector<double> means = {1, 2, 3, 4}, devs = {0.5, 1, 0, 2};
    int32_t nIn = 3, nHidden = 2, nOut = 2;
    int flag = 1;
    int64_t weights = 4 * 3 + 3 * 3;
    double weightValue = 0.125;
    std::vector<size_t> boundaries;  // byte offsets after each field

    std::vector<uint8_t> Bytes() {
        std::vector<uint8_t> b;
        auto put = [&](const void* p, size_t n) {
            b.insert(b.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
        };
        boundaries.clear();
        put(&gain, 8);
        boundaries.push_back(b.size());
        put(&maskLength, 4);
        boundaries.push_back(b.size());
        put(mask.data(), mask.size());
        b.push_back(static_cast<uint8_t>(hasNorm));
        boundaries.push_back(b.size());
        if (hasNorm) {
            put(means.data(), 8 * means.size());
            boundaries.push_back(b.size());
            put(devs.data(), 8 * devs.size());
            boundaries.push_back(b.size());
        }
        for (int32_t v : {nIn, nHidden, nOut}) {
            put(&v, 4);
            boundaries.push_back(b.size());
        }
        if (nOut == 2) {
            b.push_back(static_cast<uint8_t>(flag));
            boundaries.push_back(b.size());
        }
        for (int64_t i = 0; i < weights; ++i) {
            const double w = weightValue + 0.001 * static_cast<double>(i);
            put(&w, 8);
        }
        return b;
    }
};

TEST(BpnnFile, TheHandWrittenLayoutLoads) {
    CNnFile f;
    std::string error;
    const std::vector<uint8_t> bytes = f.Bytes();
    auto net = BPNN::FromBytes(bytes, &error);
    ASSERT_TRUE(net) << error;
    EXPECT_EQ(net->Gain(), 1.25);
    EXPECT_EQ(net->NIn(), 3);
    EXPECT_TRUE(net->TwoOutputTF());
    EXPECT_EQ(net->Mean(3), 4.0);
    EXPECT_EQ(net->InputWeight(0, 0), 0.125);
    EXPECT_EQ(net->InputWeight(3, 2), 0.125 + 0.001 * 11);
    EXPECT_EQ(net->HiddenWeight(2, 2), 0.125 + 0.001 * 20);
    EXPECT_EQ(net->ToBytes(), bytes);
}

TEST(BpnnFile, SaveAndLoadReproduceTheNetworkBitForBit) {
    const uint8_t mask[6] = {1, 1, 0, 0, 1, 0};
    BPNN net(3, 4, 2, false, mask, 6, 21u);
    net.SetGain(0.7);
    const double means[6] = {0.1, 0.2, 0.3, 0.4, 0.5, 1.0 / 3.0};
    const double devs[6] = {1.5, 0, 2, 3, 0.25, 7};
    net.SetNormalisation(means, devs, 6);
    const double x[3] = {0.3, -0.2, 0.9};
    const double t[2] = {0, 1};
    net.TrainPattern(0.5, 0.5, x, 3, t, 2);  // momentum no longer zero

    testsupport::CScratchDir dir;
    const std::string path = dir.Path("a.nn");
    std::string error;
    ASSERT_EQ(net.Save(path, &error), 1) << error;
    auto loaded = BPNN::Load(path, &error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->ToBytes(), net.ToBytes());
    EXPECT_TRUE(net.SameAs(*loaded));   // the loaded momentum is zero
    EXPECT_FALSE(loaded->SameAs(net));  // the trained one's is not
    EXPECT_EQ(loaded->Mean(5), 1.0 / 3.0);
    const double features[6] = {3, -1, 8, 8, 0.5, 8};
    for (double threshold : {0.1, 0.5, 0.9})
        EXPECT_EQ(loaded->ClassifyFeatures(features, 6, threshold),
                  net.ClassifyFeatures(features, 6, threshold));
    EXPECT_EQ(loaded->Outputs(), net.Outputs());
    for (int k = 0; k <= 3; ++k)
        for (int j = 0; j <= 4; ++j) EXPECT_EQ(loaded->InputPrevWeight(k, j), 0.0);
}

TEST(BpnnFile, TheOutputFlagByteIsStoredOnlyForTwoOutputs) {
    for (int nOut : {1, 2, 3}) {
        const BPNN net(2, 3, nOut, true, 5u);
        const std::vector<uint8_t> bytes = net.ToBytes();
        const size_t expected = 8 + 4 + 1 + 12 + (nOut == 2 ? 1 : 0) + 8 * (3 * 4 + 4 * (nOut + 1));
        EXPECT_EQ(bytes.size(), expected) << nOut;
        auto loaded = BPNN::FromBytes(bytes);
        ASSERT_TRUE(loaded) << nOut;
        EXPECT_EQ(loaded->TwoOutputTF(), nOut == 2) << nOut;
    }
}

TEST(BpnnFile, BadFilesAreRefusedWithAReason) {
    std::string error;
    // Cut at every field boundary and in the middle of the weights.
    {
        CNnFile f;
        const std::vector<uint8_t> bytes = f.Bytes();
        std::vector<size_t> cuts = f.boundaries;
        cuts.push_back(0);
        cuts.push_back(5);
        cuts.push_back(bytes.size() - 1);
        cuts.push_back(bytes.size() - 8);
        for (size_t cut : cuts) {
            error.clear();
            EXPECT_FALSE(BPNN::FromBytes(std::span(bytes.data(), cut), &error)) << cut;
            EXPECT_EQ(error, "The network file is truncated") << cut;
        }
    }
    struct Case {
        const char* name;
        void (*bend)(CNnFile&);
        const char* message;
    };
    const Case cases[] = {
        {"mask length beyond the file", [](CNnFile& f) { f.maskLength = 1 << 30; },
         "The network file is truncated"},
        {"huge layer sizes", [](CNnFile& f) { f.nIn = 3; f.nHidden = 0x7fffffff; },
         "The network file is truncated"},
        {"negative mask length", [](CNnFile& f) { f.maskLength = -4; },
         "The network file has a negative mask length"},
        {"negative hidden", [](CNnFile& f) { f.nHidden = -2; },
         "The network file has a layer size that is not positive"},
        {"zero outputs", [](CNnFile& f) { f.nOut = 0; },
         "The network file has a layer size that is not positive"},
        {"mask count differs from nIn", [](CNnFile& f) { f.mask = {1, 1, 1, 1}; },
         "The network file's mask selects 4 features but the network has 3 inputs"},
        {"mask byte 2", [](CNnFile& f) { f.mask = {1, 0, 2, 1}; },
         "The network file has a mask entry that is neither 0 nor 1"},
        {"normalisation flag 2", [](CNnFile& f) { f.hasNorm = 2; },
         "The network file's normalisation flag is neither 0 nor 1"},
        {"output flag 7", [](CNnFile& f) { f.flag = 7; },
         "The network file's output flag is neither 0 nor 1"},
        {"trailing bytes", [](CNnFile& f) { f.weights += 1; },
         "The network file has bytes after the network"},
        {"NaN weight", [](CNnFile& f) { f.weightValue = std::nan(""); },
         "The network file holds a value that is not a finite number"},
        {"infinite mean", [](CNnFile& f) { f.means[2] = HUGE_VAL; },
         "The network file holds a value that is not a finite number"},
        {"NaN gain", [](CNnFile& f) { f.gain = std::nan(""); },
         "The network file holds a value that is not a finite number"},
        {"normalisation without a mask", [](CNnFile& f) { f.maskLength = 0; f.mask = {}; },
         "The network file has a normalisation but no mask"},
    };
    for (const Case& c : cases) {
        CNnFile f;
        c.bend(f);
        error.clear();
        EXPECT_FALSE(BPNN::FromBytes(f.Bytes(), &error)) << c.name;
        EXPECT_EQ(error, c.message) << c.name;
    }
    // Without a mask and a normalisation the file is fine.
    CNnFile f;
    f.maskLength = 0;
    f.mask = {};
    f.hasNorm = 0;
    EXPECT_TRUE(BPNN::FromBytes(f.Bytes(), &error)) << error;

    testsupport::CScratchDir dir;
    EXPECT_FALSE(BPNN::Load(dir.Path("missing.nn"), &error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos);
}

TEST(BpnnFile, AFailedSaveLeavesTheOldFile) {
    testsupport::CScratchDir dir;
    const std::string path = dir.Write("old.nn", std::string("old"));
    const BPNN invalid(0, 1, 1, false);
    std::string error;
    EXPECT_EQ(invalid.Save(path, &error), -1);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, "old");
    const BPNN net(1, 1, 1, false, 2u);
    EXPECT_EQ(net.Save(dir.Path("no/such/folder/x.nn"), &error), -1);
}

}  // namespace
}  // namespace vistrel
