#include "classification/bpnn.h"

#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>

#include "core/atomic_file.h"

namespace vistrel {

namespace {

// Far beyond any network worth training (a gigabyte per weight array), and
// small enough that a size read from a file can never exhaust the memory.
constexpr int64_t kMaxWeights = int64_t{1} << 27;

void PrintVectorFailure() { std::fputs("ALLOC_1D_DBL: Couldn't allocate array of doubles\n", stdout); }
void PrintMatrixFailure() { std::fputs("ALLOC_2D_DBL: Couldn't allocate array of dbl ptrs\n", stdout); }

uint32_t ClockSeed() {
    // Two networks made within one clock tick still differ.
    static std::atomic<uint32_t> counter{0};
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    const uint64_t t = static_cast<uint64_t>(ticks);
    return static_cast<uint32_t>(t ^ (t >> 32)) + 0x9e3779b9u * counter.fetch_add(1);
}

double Logistic(double gain, double s) { return 1.0 / (1.0 + std::exp(-gain * s)); }

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// Little-endian encoding, whatever the host.
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutI32(std::vector<uint8_t>& out, int32_t v) { PutU32(out, static_cast<uint32_t>(v)); }
void PutDouble(std::vector<uint8_t>& out, double v) {
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

class CReader {
  public:
    explicit CReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    int64_t Remaining() const { return static_cast<int64_t>(bytes_.size() - pos_); }
    bool Byte(uint8_t& v) {
        if (Remaining() < 1) return false;
        v = bytes_[pos_++];
        return true;
    }
    bool I32(int32_t& v) {
        if (Remaining() < 4) return false;
        uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u |= uint32_t{bytes_[pos_ + i]} << (8 * i);
        pos_ += 4;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool Double(double& v) {
        if (Remaining() < 8) return false;
        uint64_t u = 0;
        for (int i = 0; i < 8; ++i) u |= uint64_t{bytes_[pos_ + i]} << (8 * i);
        pos_ += 8;
        v = std::bit_cast<double>(u);
        return true;
    }

  private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

constexpr const char* kTruncated = "The network file is truncated";
constexpr const char* kNotFinite = "The network file holds a value that is not a finite number";

// Reads n finite doubles; the caller has checked that they fit.
bool ReadDoubles(CReader& reader, std::vector<double>& out, int64_t n, std::string* error) {
    out.resize(static_cast<size_t>(n));
    for (auto& v : out) {
        if (!reader.Double(v)) {
            SetError(error, kTruncated);
            return false;
        }
        if (!std::isfinite(v)) {
            SetError(error, kNotFinite);
            return false;
        }
    }
    return true;
}

}  // namespace

BPNN::BPNN(int32_t nIn, int32_t nHidden, int32_t nOut, bool twoOutputTF, const uint8_t* mask,
           int32_t maskLength, std::optional<uint32_t> seed)
    : nIn_(nIn), nHidden_(nHidden), nOut_(nOut), twoOutputTF_(nOut == 2 && twoOutputTF) {
    Allocate(mask, maskLength, seed);
}

BPNN::BPNN(int32_t nIn, int32_t nHidden, int32_t nOut, bool twoOutputTF,
           std::optional<uint32_t> seed)
    : BPNN(nIn, nHidden, nOut, twoOutputTF, nullptr, 0, seed) {}

BPNN::BPNN(const BPNN& other) = default;
BPNN& BPNN::operator=(const BPNN& other) = default;
BPNN::~BPNN() = default;

void BPNN::Allocate(const uint8_t* mask, int32_t maskLength, std::optional<uint32_t> seed) {
    valid_ = false;
    if (nIn_ <= 0 || nHidden_ <= 0 || nOut_ <= 0 || maskLength < 0) return;
    if (maskLength > 0 && mask) {
        int32_t selected = 0;
        try {
            mask_.resize(static_cast<size_t>(maskLength));
        } catch (const std::bad_alloc&) {
            PrintVectorFailure();
            return;
        }
        for (int32_t i = 0; i < maskLength; ++i) {
            mask_[i] = mask[i] ? 1 : 0;
            selected += mask_[i];
        }
        if (selected != nIn_) {
            mask_.clear();
            return;
        }
    }
    const int64_t inputCount = (int64_t{nIn_} + 1) * (int64_t{nHidden_} + 1);
    const int64_t hiddenCount = (int64_t{nHidden_} + 1) * (int64_t{nOut_} + 1);
    if (inputCount > kMaxWeights || hiddenCount > kMaxWeights) {
        PrintMatrixFailure();
        return;
    }
    try {
        inputUnits_.assign(static_cast<size_t>(nIn_) + 1, 0.0);
        hiddenUnits_.assign(static_cast<size_t>(nHidden_) + 1, 0.0);
        outputUnits_.assign(static_cast<size_t>(nOut_) + 1, 0.0);
        hiddenDeltas_.assign(static_cast<size_t>(nHidden_) + 1, 0.0);
        outputDeltas_.assign(static_cast<size_t>(nOut_) + 1, 0.0);
        targets_.assign(static_cast<size_t>(nOut_) + 1, 0.0);
    } catch (const std::bad_alloc&) {
        PrintVectorFailure();
        inputUnits_ = hiddenUnits_ = outputUnits_ = {};
        hiddenDeltas_ = outputDeltas_ = targets_ = {};
        return;
    }
    try {
        inputWeights_.resize(static_cast<size_t>(inputCount));
        hiddenWeights_.resize(static_cast<size_t>(hiddenCount));
        inputPrevWeights_.assign(static_cast<size_t>(inputCount), 0.0);
        hiddenPrevWeights_.assign(static_cast<size_t>(hiddenCount), 0.0);
    } catch (const std::bad_alloc&) {
        PrintMatrixFailure();
        inputUnits_ = hiddenUnits_ = outputUnits_ = {};
        hiddenDeltas_ = outputDeltas_ = targets_ = {};
        inputWeights_ = hiddenWeights_ = inputPrevWeights_ = hiddenPrevWeights_ = {};
        return;
    }
    std::mt19937 gen(seed ? *seed : ClockSeed());
    for (auto& w : inputWeights_) w = static_cast<double>(gen() % 32768) / 32767.0 - 0.5;
    for (auto& w : hiddenWeights_) w = static_cast<double>(gen() % 32768) / 32767.0 - 0.5;
    valid_ = true;
}

CNnParameters BPNN::GetParameters() const {
    CNnParameters p;
    p.maskLength = MaskLength();
    p.mask = mask_;
    p.gain = gain_;
    p.nIn = nIn_;
    p.nHidden = nHidden_;
    p.nOut = nOut_;
    p.twoOutputTF = twoOutputTF_;
    return p;
}

void BPNN::SetNormalisation(const double* means, const double* deviations, int32_t count) {
    if (!means || !deviations || count <= 0 || count < MaskLength()) return;
    if (mask_.empty()) {
        // A network without a mask takes its inputs as they come: a vector of
        // count values selects them all, which only fits count == nIn.
        if (count != nIn_) return;
        mask_.assign(static_cast<size_t>(count), 1);
    }
    const size_t n = mask_.size();
    means_.assign(means, means + n);
    deviations_.assign(deviations, deviations + n);
}

void BPNN::ClearNormalisation() {
    means_.clear();
    deviations_.clear();
}

double BPNN::Mean(int32_t k) const {
    if (k < 0 || static_cast<size_t>(k) >= means_.size()) return 0.0;
    return means_[k];
}

double BPNN::Deviation(int32_t k) const {
    if (k < 0 || static_cast<size_t>(k) >= deviations_.size() || !(deviations_[k] > 0)) return 1.0;
    return deviations_[k];
}

int BPNN::SetInput(const double* values, int32_t n) {
    if (!valid_ || n != nIn_ || !values) return kNnFailure;
    inputUnits_[0] = 1.0;
    std::memcpy(inputUnits_.data() + 1, values, sizeof(double) * static_cast<size_t>(n));
    return 0;
}

int BPNN::SetTarget(const double* values, int32_t n) {
    if (!valid_ || n != nOut_ || !values) return kNnFailure;
    targets_[0] = 1.0;
    std::memcpy(targets_.data() + 1, values, sizeof(double) * static_cast<size_t>(n));
    return 0;
}

void BPNN::LayerPass(const double* from, int32_t nFrom, const double* weights, double* to,
                     int32_t nTo) const {
    const size_t stride = static_cast<size_t>(nTo) + 1;
    for (int32_t j = 1; j <= nTo; ++j) to[j] = 0.0;
    // Sums over the source units row by row, so the inner loop runs along
    // one contiguous row of weights.
    for (int32_t k = 0; k <= nFrom; ++k) {
        const double a = from[k];
        const double* row = weights + stride * static_cast<size_t>(k);
        for (int32_t j = 1; j <= nTo; ++j) to[j] += row[j] * a;
    }
    for (int32_t j = 1; j <= nTo; ++j) to[j] = Logistic(gain_, to[j]);
}

void BPNN::Forward() {
    if (!valid_) return;
    inputUnits_[0] = 1.0;
    LayerPass(inputUnits_.data(), nIn_, inputWeights_.data(), hiddenUnits_.data(), nHidden_);
    hiddenUnits_[0] = 1.0;
    LayerPass(hiddenUnits_.data(), nHidden_, hiddenWeights_.data(), outputUnits_.data(), nOut_);
}

std::vector<double> BPNN::Outputs() const {
    if (!valid_) return {};
    return std::vector<double>(outputUnits_.begin() + 1, outputUnits_.end());
}

void BPNN::TrainStep(double eta, double momentum, CTrainErrors& errors) {
    Forward();
    const size_t outStride = static_cast<size_t>(nOut_) + 1;
    const size_t hidStride = static_cast<size_t>(nHidden_) + 1;
    double outputError = 0.0;
    for (int32_t j = 1; j <= nOut_; ++j) {
        const double o = outputUnits_[j];
        outputDeltas_[j] = o * gain_ * (1.0 - o) * (targets_[j] - o);
        outputError += std::fabs(outputDeltas_[j]);
    }
    // Hidden deltas from the hidden->output weights before this step changes them.
    double hiddenError = 0.0;
    for (int32_t j = 1; j <= nHidden_; ++j) {
        const double* row = hiddenWeights_.data() + outStride * static_cast<size_t>(j);
        double sum = 0.0;
        for (int32_t k = 1; k <= nOut_; ++k) sum += outputDeltas_[k] * row[k];
        const double h = hiddenUnits_[j];
        hiddenDeltas_[j] = h * gain_ * (1.0 - h) * sum;
        hiddenError += std::fabs(hiddenDeltas_[j]);
    }
    double squaredError = 0.0;
    for (int32_t j = 1; j <= nOut_; ++j) {
        const double d = targets_[j] - outputUnits_[j];
        squaredError += d * d;
    }
    hiddenUnits_[0] = 1.0;
    for (int32_t k = 0; k <= nHidden_; ++k) {
        double* row = hiddenWeights_.data() + outStride * static_cast<size_t>(k);
        double* prev = hiddenPrevWeights_.data() + outStride * static_cast<size_t>(k);
        const double h = eta * hiddenUnits_[k];
        for (int32_t j = 1; j <= nOut_; ++j) {
            const double delta = h * outputDeltas_[j] + momentum * prev[j];
            row[j] += delta;
            prev[j] = delta;
        }
    }
    inputUnits_[0] = 1.0;
    for (int32_t k = 0; k <= nIn_; ++k) {
        double* row = inputWeights_.data() + hidStride * static_cast<size_t>(k);
        double* prev = inputPrevWeights_.data() + hidStride * static_cast<size_t>(k);
        const double x = eta * inputUnits_[k];
        for (int32_t j = 1; j <= nHidden_; ++j) {
            const double delta = x * hiddenDeltas_[j] + momentum * prev[j];
            row[j] += delta;
            prev[j] = delta;
        }
    }
    errors.outputError = outputError;
    errors.hiddenError = hiddenError;
    errors.squaredError = squaredError;
}

CTrainErrors BPNN::TrainPattern(double eta, double momentum, const double* inputs, int32_t nInputs,
                                const double* targets, int32_t nTargets) {
    CTrainErrors errors;
    if (SetInput(inputs, nInputs) != 0 || SetTarget(targets, nTargets) != 0) return errors;
    TrainStep(eta, momentum, errors);
    return errors;
}

char BPNN::ClassifyInputs(const double* inputs, int32_t n, double threshold) {
    if (SetInput(inputs, n) != 0) return kNnNoAnswer;
    Forward();
    const double* o = outputUnits_.data() + 1;
    switch (nOut_) {
        case 1:
            return o[0] > threshold ? kNnTrue : kNnFalse;
        case 2:
            if (twoOutputTF_) return o[0] > o[1] ? kNnTrue : kNnFalse;
            if (std::max(o[0], o[1]) <= threshold) return kNnFalse;
            return o[1] < o[0] ? kNnBenign : kNnMalignant;
        case 3: {
            int best = 0;
            double top = -1.0;
            for (int i = 0; i < 3; ++i)
                if (o[i] > top) {
                    top = o[i];
                    best = i;
                }
            static constexpr char kLetters[3] = {kNnBenign, kNnMalignant, kNnFalse};
            return kLetters[best];
        }
        default:
            return kNnNoAnswer;
    }
}

std::vector<double> BPNN::SelectInputs(const double* features, int32_t length) const {
    if (!valid_ || !features || length < 0 || length > MaskLength()) return {};
    std::vector<double> inputs;
    inputs.reserve(static_cast<size_t>(nIn_));
    for (int32_t i = 0; i < length; ++i)
        if (mask_[i]) inputs.push_back((features[i] - Mean(i)) / Deviation(i));
    return inputs;
}

char BPNN::ClassifyFeatures(const double* features, int32_t length, double threshold) {
    const std::vector<double> inputs = SelectInputs(features, length);
    if (inputs.empty()) return kNnNoAnswer;
    return ClassifyInputs(inputs.data(), static_cast<int32_t>(inputs.size()), threshold);
}

bool BPNN::SameAs(const BPNN& other) const {
    if (!valid_ || !other.valid_) return false;
    if (gain_ != other.gain_ || nIn_ != other.nIn_ || nHidden_ != other.nHidden_ ||
        nOut_ != other.nOut_ || twoOutputTF_ != other.twoOutputTF_ || mask_ != other.mask_)
        return false;
    if (inputWeights_ != other.inputWeights_ || hiddenWeights_ != other.hiddenWeights_)
        return false;
    for (double v : other.inputPrevWeights_)
        if (v != 0.0) return false;
    for (double v : other.hiddenPrevWeights_)
        if (v != 0.0) return false;
    return true;
}

namespace {
bool InRange(int32_t source, int32_t dest, int32_t nSource, int32_t nDest) {
    return source >= 0 && source <= nSource && dest >= 0 && dest <= nDest;
}
size_t At(int32_t source, int32_t dest, int32_t nDest) {
    return static_cast<size_t>(source) * (static_cast<size_t>(nDest) + 1) + static_cast<size_t>(dest);
}
}  // namespace

double BPNN::InputWeight(int32_t source, int32_t dest) const {
    if (!valid_ || !InRange(source, dest, nIn_, nHidden_)) return 0.0;
    return inputWeights_[At(source, dest, nHidden_)];
}
double BPNN::HiddenWeight(int32_t source, int32_t dest) const {
    if (!valid_ || !InRange(source, dest, nHidden_, nOut_)) return 0.0;
    return hiddenWeights_[At(source, dest, nOut_)];
}
void BPNN::SetInputWeight(int32_t source, int32_t dest, double w) {
    if (valid_ && InRange(source, dest, nIn_, nHidden_)) inputWeights_[At(source, dest, nHidden_)] = w;
}
void BPNN::SetHiddenWeight(int32_t source, int32_t dest, double w) {
    if (valid_ && InRange(source, dest, nHidden_, nOut_)) hiddenWeights_[At(source, dest, nOut_)] = w;
}
double BPNN::InputPrevWeight(int32_t source, int32_t dest) const {
    if (!valid_ || !InRange(source, dest, nIn_, nHidden_)) return 0.0;
    return inputPrevWeights_[At(source, dest, nHidden_)];
}
double BPNN::HiddenPrevWeight(int32_t source, int32_t dest) const {
    if (!valid_ || !InRange(source, dest, nHidden_, nOut_)) return 0.0;
    return hiddenPrevWeights_[At(source, dest, nOut_)];
}
double BPNN::HiddenUnit(int32_t j) const {
    if (!valid_ || j < 0 || j > nHidden_) return 0.0;
    return hiddenUnits_[j];
}
double BPNN::OutputUnit(int32_t j) const {
    if (!valid_ || j < 0 || j > nOut_) return 0.0;
    return outputUnits_[j];
}

std::vector<uint8_t> BPNN::ToBytes() const {
    std::vector<uint8_t> out;
    if (!valid_) return out;
    const bool normalised = !means_.empty() && means_.size() == mask_.size() &&
                            deviations_.size() == mask_.size();
    out.reserve(8 + 4 + mask_.size() + 1 + (normalised ? 16 * mask_.size() : 0) + 13 +
                8 * (inputWeights_.size() + hiddenWeights_.size()));
    PutDouble(out, gain_);
    PutI32(out, MaskLength());
    out.insert(out.end(), mask_.begin(), mask_.end());
    out.push_back(normalised ? 1 : 0);
    if (normalised) {
        for (double v : means_) PutDouble(out, v);
        for (double v : deviations_) PutDouble(out, v);
    }
    PutI32(out, nIn_);
    PutI32(out, nHidden_);
    PutI32(out, nOut_);
    if (nOut_ == 2) out.push_back(twoOutputTF_ ? 1 : 0);
    for (double w : inputWeights_) PutDouble(out, w);
    for (double w : hiddenWeights_) PutDouble(out, w);
    return out;
}

std::unique_ptr<BPNN> BPNN::FromBytes(std::span<const uint8_t> bytes, std::string* error) {
    CReader reader(bytes);
    double gain = 0;
    int32_t maskLength = 0;
    if (!reader.Double(gain) || !reader.I32(maskLength)) {
        SetError(error, kTruncated);
        return nullptr;
    }
    if (!std::isfinite(gain)) {
        SetError(error, kNotFinite);
        return nullptr;
    }
    if (maskLength < 0) {
        SetError(error, "The network file has a negative mask length");
        return nullptr;
    }
    if (maskLength > reader.Remaining()) {
        SetError(error, kTruncated);
        return nullptr;
    }
    std::vector<uint8_t> mask(static_cast<size_t>(maskLength));
    int32_t selected = 0;
    for (auto& m : mask) {
        reader.Byte(m);
        if (m > 1) {
            SetError(error, "The network file has a mask entry that is neither 0 nor 1");
            return nullptr;
        }
        selected += m;
    }
    uint8_t normalised = 0;
    if (!reader.Byte(normalised)) {
        SetError(error, kTruncated);
        return nullptr;
    }
    if (normalised > 1) {
        SetError(error, "The network file's normalisation flag is neither 0 nor 1");
        return nullptr;
    }
    if (normalised && maskLength == 0) {
        SetError(error, "The network file has a normalisation but no mask");
        return nullptr;
    }
    std::vector<double> means, deviations;
    if (normalised) {
        if (16 * int64_t{maskLength} > reader.Remaining()) {
            SetError(error, kTruncated);
            return nullptr;
        }
        if (!ReadDoubles(reader, means, maskLength, error) ||
            !ReadDoubles(reader, deviations, maskLength, error))
            return nullptr;
    }
    int32_t nIn = 0, nHidden = 0, nOut = 0;
    if (!reader.I32(nIn) || !reader.I32(nHidden) || !reader.I32(nOut)) {
        SetError(error, kTruncated);
        return nullptr;
    }
    if (nIn <= 0 || nHidden <= 0 || nOut <= 0) {
        SetError(error, "The network file has a layer size that is not positive");
        return nullptr;
    }
    uint8_t flag = 0;
    if (nOut == 2) {
        if (!reader.Byte(flag)) {
            SetError(error, kTruncated);
            return nullptr;
        }
        if (flag > 1) {
            SetError(error, "The network file's output flag is neither 0 nor 1");
            return nullptr;
        }
    }
    if (maskLength > 0 && selected != nIn) {
        SetError(error, "The network file's mask selects " + std::to_string(selected) +
                            " features but the network has " + std::to_string(nIn) + " inputs");
        return nullptr;
    }
    const int64_t inputCount = (int64_t{nIn} + 1) * (int64_t{nHidden} + 1);
    const int64_t hiddenCount = (int64_t{nHidden} + 1) * (int64_t{nOut} + 1);
    const int64_t weightBytes = 8 * (inputCount + hiddenCount);
    if (weightBytes > reader.Remaining()) {
        SetError(error, kTruncated);
        return nullptr;
    }
    if (weightBytes < reader.Remaining()) {
        SetError(error, "The network file has bytes after the network");
        return nullptr;
    }
    auto net = std::make_unique<BPNN>(nIn, nHidden, nOut, flag != 0, maskLength ? mask.data() : nullptr,
                                 maskLength, 0u);
    if (!net->IsValid()) {
        SetError(error, "The network in the file cannot be allocated");
        return nullptr;
    }
    if (!ReadDoubles(reader, net->inputWeights_, inputCount, error) ||
        !ReadDoubles(reader, net->hiddenWeights_, hiddenCount, error))
        return nullptr;
    net->gain_ = gain;
    net->means_ = std::move(means);
    net->deviations_ = std::move(deviations);
    return net;
}

std::unique_ptr<BPNN> BPNN::Load(const std::string& path, std::string* error) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        SetError(error, "The network file " + path + " cannot be read");
        return nullptr;
    }
    return FromBytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()),
                                              bytes.size()),
                     error);
}

int BPNN::Save(const std::string& path, std::string* error) const {
    if (!valid_) {
        SetError(error, "An invalid network cannot be saved");
        return -1;
    }
    const std::vector<uint8_t> bytes = ToBytes();
    const bool ok = WriteFileAtomically(path, [&](std::FILE* file) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    });
    if (!ok) {
        SetError(error, path + " cannot be saved.");
        return -1;
    }
    return 1;
}

}  // namespace vistrel
