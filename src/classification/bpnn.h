#pragma once
// A fully connected three-layer perceptron with logistic units, trained by
// back-propagation with momentum one pattern at a time. It carries its own
// feature mask over the region feature vector and an optional per-feature
// normalisation, and is stored in binary ".nn" files.

#include <cfloat>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vistrel {

// Bit 15: the failure value of SetInput and SetTarget.
inline constexpr int kNnFailure = 0x8000;

// Diagnosis letters of classification.
inline constexpr char kNnTrue = 'T';
inline constexpr char kNnFalse = 'F';
inline constexpr char kNnBenign = 'B';
inline constexpr char kNnMalignant = 'M';
inline constexpr char kNnNoAnswer = ' ';

// What one training step measured; DBL_MAX until computed.
struct CTrainErrors {
    double outputError = DBL_MAX;
    double hiddenError = DBL_MAX;
    double squaredError = DBL_MAX;
};

struct CNnParameters {
    int32_t maskLength = 0;
    std::vector<uint8_t> mask;
    double gain = 1.0;
    int32_t nIn = 0;
    int32_t nHidden = 0;
    int32_t nOut = 0;
    bool twoOutputTF = false;
};

class BPNN {
  public:
    // Weights are drawn uniformly from [-0.5, 0.5]. Without a seed the
    // generator is seeded from the clock, so two networks differ; a seed
    // makes the weights (and so a whole training run) reproducible.
    // Valid only when every size is positive, the arrays fit in memory and
    // the mask has exactly nIn nonzero entries.
    BPNN(int32_t nIn, int32_t nHidden, int32_t nOut, bool twoOutputTF, const uint8_t* mask,
         int32_t maskLength, std::optional<uint32_t> seed = {});
    // Without a mask (maskLength 0): inputs are given already selected.
    BPNN(int32_t nIn, int32_t nHidden, int32_t nOut, bool twoOutputTF,
         std::optional<uint32_t> seed = {});
    BPNN(const BPNN& other);
    BPNN& operator=(const BPNN& other);
    virtual ~BPNN();

    // Reads a ".nn" file. Null, with a reason in *error, when it cannot be
    // read or does not hold a consistent network (sizes that do not match
    // the file's length, a mask whose nonzero count is not nIn, values that
    // are not finite).
    static std::unique_ptr<BPNN> Load(const std::string& path, std::string* error = nullptr);
    static std::unique_ptr<BPNN> FromBytes(std::span<const uint8_t> bytes,
                                           std::string* error = nullptr);
    // The file's bytes.
    std::vector<uint8_t> ToBytes() const;
    // 1 on success, -1 when the file cannot be written (the old file, if
    // any, is then left as it was).
    int Save(const std::string& path, std::string* error = nullptr) const;

    bool IsValid() const { return valid_; }

    double Gain() const { return gain_; }
    void SetGain(double gain) { gain_ = gain; }
    int32_t NIn() const { return nIn_; }
    int32_t NHidden() const { return nHidden_; }
    int32_t NOut() const { return nOut_; }
    bool TwoOutputTF() const { return twoOutputTF_; }
    int32_t MaskLength() const { return static_cast<int32_t>(mask_.size()); }
    std::span<const uint8_t> Mask() const { return mask_; }
    CNnParameters GetParameters() const;

    // Copies the first MaskLength() values of each (count of them when
    // MaskLength() is 0, which then becomes count). Nothing is stored when
    // count is not positive or smaller than MaskLength().
    void SetNormalisation(const double* means, const double* deviations, int32_t count);
    void ClearNormalisation();
    bool HasNormalisation() const { return !means_.empty(); }
    // means[k], 0 out of range or without normalisation.
    double Mean(int32_t k) const;
    // deviations[k] when it exists and is > 0, else 1.
    double Deviation(int32_t k) const;

    // 0, or a value with kNnFailure set when n is not nIn (nOut).
    int SetInput(const double* values, int32_t n);
    int SetTarget(const double* values, int32_t n);
    void Forward();
    // Output units 1..nOut; empty for an invalid network.
    std::vector<double> Outputs() const;

    // One training step on one pattern; without training (errors DBL_MAX)
    // when a length is wrong or the network is invalid.
    CTrainErrors TrainPattern(double eta, double momentum, const double* inputs, int32_t nInputs,
                              const double* targets, int32_t nTargets);

    // Inputs already selected and normalised.
    char ClassifyInputs(const double* inputs, int32_t n, double threshold);
    // A feature vector of length <= MaskLength(): normalised and selected.
    char ClassifyFeatures(const double* features, int32_t length, double threshold);
    // The network inputs of a feature vector: for every masked index below
    // length, (v - Mean) / Deviation. Empty when length exceeds
    // MaskLength() or the network is invalid.
    std::vector<double> SelectInputs(const double* features, int32_t length) const;

    // Gain, sizes, mask and every weight equal, and other's momentum terms
    // all zero.
    bool SameAs(const BPNN& other) const;

    // Weights by source unit (0 = bias) and destination unit; column 0 is
    // kept but never used.
    double InputWeight(int32_t source, int32_t dest) const;
    double HiddenWeight(int32_t source, int32_t dest) const;
    void SetInputWeight(int32_t source, int32_t dest, double w);
    void SetHiddenWeight(int32_t source, int32_t dest, double w);
    double InputPrevWeight(int32_t source, int32_t dest) const;
    double HiddenPrevWeight(int32_t source, int32_t dest) const;
    // Unit values after Forward (index 0 is the bias unit).
    double HiddenUnit(int32_t j) const;
    double OutputUnit(int32_t j) const;

  private:
    void Allocate(const uint8_t* mask, int32_t maskLength, std::optional<uint32_t> seed);
    void LayerPass(const double* from, int32_t nFrom, const double* weights, double* to,
                   int32_t nTo) const;
    void TrainStep(double eta, double momentum, CTrainErrors& errors);

    bool valid_ = false;
    double gain_ = 1.0;
    int32_t nIn_ = 0, nHidden_ = 0, nOut_ = 0;
    bool twoOutputTF_ = false;
    std::vector<uint8_t> mask_;
    std::vector<double> means_, deviations_;
    // Units and deltas, index 0 the bias unit.
    std::vector<double> inputUnits_, hiddenUnits_, outputUnits_;
    std::vector<double> hiddenDeltas_, outputDeltas_, targets_;
    // Row-major [source][dest]: a row is every weight leaving one unit, so
    // the layer pass and the updates stream through contiguous memory.
    std::vector<double> inputWeights_, hiddenWeights_;
    std::vector<double> inputPrevWeights_, hiddenPrevWeights_;
};

}  // namespace vistrel
