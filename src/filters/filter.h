#pragma once
// Convolution kernels: the CFilter object, the generators that fill kernels
// from analytic formulas and the grid trimming of hand-entered kernels.

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

// A height x width kernel of float coefficients, centred on
// (height / 2, width / 2). Applying it is a correlation (never flipped).
class CFilter {
  public:
    CFilter() = default;
    CFilter(int32_t rows, int32_t cols);
    explicit CFilter(int32_t n) : CFilter(n, n) {}
    // From a row-major gridRows x gridCols grid: trims the all-zero border rows
    // and columns symmetrically, then copies what remains. A scale of 0 becomes 1.
    CFilter(int32_t gridRows, int32_t gridCols, const std::string& name, const float* grid,
            double scale, int32_t paramCount, const double* params);
    CFilter(const CFilter& other) { CopyFrom(other); }
    CFilter& operator=(const CFilter& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    virtual ~CFilter() = default;

    // Archive layout: name (length-prefixed), paramCount (16-bit), params
    // (doubles), scale (double), height, width (16-bit), the coefficients
    // (floats, row by row); little-endian.
    virtual void Serialize(std::vector<uint8_t>& archive) const;
    // Reads what Serialize wrote, from position pos (advanced); false and an
    // empty kernel when the archive is short or inconsistent.
    bool Deserialize(const std::vector<uint8_t>& archive, std::size_t& pos);

    void CopyFrom(const CFilter& other);
    // Zeroed rows x cols coefficients; -1 (and an empty kernel) when the size
    // is negative or the memory cannot be had.
    int Allocate(int32_t rows, int32_t cols);
    // Releases the coefficients; params and name stay.
    void Free() {
        coefficients_.clear();
        coefficients_.shrink_to_fit();
    }
    void Clear();
    bool IsNonZero() const;
    bool HasRows() const { return !coefficients_.empty(); }
    void SetParams(int32_t count, const double* values);
    // Every coefficient = value; scale = their sum, or 1 when that sum is 0.
    void Fill(float value);
    void DivideBy(double value);
    // Coefficient (row, col); out-of-range indexes give the first coefficient.
    float* At(int32_t row, int32_t col);
    const float* At(int32_t row, int32_t col) const;
    const float* Row(int32_t row) const { return coefficients_.data() + std::size_t(row) * width; }
    float* Row(int32_t row) { return coefficients_.data() + std::size_t(row) * width; }
    // Copy a height x width row-major matrix into the coefficients.
    void SetFromDoubles(const double* matrix);
    void SetFromFloats(const float* matrix);
    // The divisor of a convolution sum: 1 when scale is 0 or 1.
    double Divisor() const { return (scale == 0.0 || scale == 1.0) ? 1.0 : scale; }

    int16_t width = 0;
    int16_t height = 0;
    std::vector<double> params;
    int16_t paramCount() const { return static_cast<int16_t>(params.size()); }
    double scale = 1.0;
    std::string name;

    bool operator==(const CFilter& other) const {
        return width == other.width && height == other.height && params == other.params &&
               scale == other.scale && name == other.name && coefficients_ == other.coefficients_;
    }

  private:
    std::vector<float> coefficients_;  // row-major, empty for a kernel without rows
};

// Generators (H rows, W columns). A sigma of exactly -1 means (min(H, W) - 1) / 2
// where noted.
CFilter MakeGaussKernel(double sigma);
CFilter MakeGaussFilter(int32_t h, int32_t w, double sigma);
CFilter MakeLaplaceFilter(int32_t h, int32_t w, double sigma);
CFilter MakeGammaFilter(int32_t h, int32_t w, int32_t n, double sigma);
CFilter MakeLoGSigmaFilter(int32_t h, int32_t w, double sigma);
CFilter MakeLoLFilter(int32_t h, int32_t w, double sigma);
// The spot detector's LoG kernel of integer scale h: N = 3h (odd h) or 3h + 1,
// sigma = h / (2 sqrt 2), w = K (1 - b t) exp(-t), K = e h^2 a / (16 pi sigma^4).
CFilter MakeLoGFilter(int32_t h);
// Directions: 0 "Horz", 1 "Vert", 2 "NW", 3 "SW"; others give an all-zero kernel.
CFilter MakeDirectionalGaussFilter(int32_t h, int32_t w, double sigma, int direction);
CFilter MakeDirectionalLaplaceFilter(int32_t h, int32_t w, double sigma, int direction);
CFilter MakeDirectionalGammaFilter(int32_t h, int32_t w, int32_t n, double sigma, int direction);
CFilter MakeBoxFilter(int32_t h, int32_t w);
CFilter MakeConstantFilter(int32_t h, int32_t w, float value);

// The word of a direction ("Horz", "Vert", "NW", "SW"; empty for others).
const char* DirectionWord(int direction);

}  // namespace vistrel
