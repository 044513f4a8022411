// Feeds arbitrary bytes to the network reader. Whatever it accepts must
// save back to the very same bytes, read again into the same network, and
// classify without touching memory it does not own.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "classification/bpnn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto net = vistrel::BPNN::FromBytes(std::span<const uint8_t>(data, size), &error);
    if (!net) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (!net->IsValid()) std::abort();
    const std::vector<uint8_t> bytes = net->ToBytes();
    if (bytes.size() != size || !std::equal(bytes.begin(), bytes.end(), data)) std::abort();
    auto again = vistrel::BPNN::FromBytes(bytes, &error);
    if (!again || !net->SameAs(*again) || !again->SameAs(*net)) std::abort();

    const int32_t length = net->MaskLength();
    std::vector<double> features(static_cast<size_t>(length) + 2);
    for (size_t i = 0; i < features.size(); ++i) features[i] = static_cast<double>(i % 7) - 3.0;
    for (int32_t n : {0, length / 2, length, length + 1}) {
        const char a = net->ClassifyFeatures(features.data(), n, 0.5);
        const char b = again->ClassifyFeatures(features.data(), n, 0.5);
        if (a != b) std::abort();
    }
    if (length == 0 && net->NIn() <= 64) {
        std::vector<double> inputs(static_cast<size_t>(net->NIn()), 0.25);
        const char a = net->ClassifyInputs(inputs.data(), net->NIn(), 0.5);
        if (a == vistrel::kNnNoAnswer && (net->NOut() >= 1 && net->NOut() <= 3)) std::abort();
    }
    return 0;
}
