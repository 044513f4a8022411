// Training cost: one epoch of the network alone, and the whole training
// command from laid-out patterns (statistics, input selection, epochs).

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "classification/bpnn.h"
#include "classification/network_training.h"

namespace {

using namespace vistrel;

constexpr int kPatterns = 10000;

void BM_TrainEpoch(benchmark::State& state) {
    constexpr int nIn = 40, nHidden = 20;
    std::mt19937 gen(1);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> inputs(static_cast<size_t>(kPatterns) * nIn);
    for (double& v : inputs) v = value(gen);
    std::vector<double> targets(kPatterns);
    for (int p = 0; p < kPatterns; ++p) targets[p] = p % 3 == 0 ? 1.0 : 0.0;
    BPNN net(nIn, nHidden, 1, false, 7u);
    for (auto _ : state) {
        double sum = 0;
        for (int p = 0; p < kPatterns; ++p)
            sum += net.TrainPattern(0.8, 0.7, &inputs[static_cast<size_t>(p) * nIn], nIn,
                                    &targets[p], 1)
                       .squaredError;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPatterns);
}
BENCHMARK(BM_TrainEpoch)->Unit(benchmark::kMillisecond);

void BM_TrainNetworkCommand(benchmark::State& state) {
    constexpr int length = 132, masked = 40, epochs = 5;
    std::vector<uint8_t> mask(length, 0);
    for (int i = 0; i < masked; ++i) mask[static_cast<size_t>(i * 3 + 1)] = 1;
    std::mt19937 gen(2);
    std::normal_distribution<double> value(50.0, 20.0);
    CNetworkPatterns patterns;
    for (int p = 0; p < kPatterns; ++p) {
        std::vector<double> v(length);
        for (double& x : v) x = value(gen);
        patterns.vectors.push_back(std::move(v));
        patterns.diagnoses.push_back(p % 3);
    }
    CTrainOptions options;
    options.epochs = epochs;
    options.accuracy = -1;
    for (auto _ : state) {
        BPNN net(masked, 20, 1, false, mask.data(), length, 7u);
        CTrainResult result;
        TrainNetwork(net, patterns, options, result, [](double) { return true; });
        benchmark::DoNotOptimize(result.epochErrors.data());
    }
    state.SetItemsProcessed(state.iterations() * kPatterns * epochs);
}
BENCHMARK(BM_TrainNetworkCommand)->Unit(benchmark::kMillisecond);

}  // namespace
