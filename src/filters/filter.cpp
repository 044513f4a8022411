#include "filters/filter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/text.h"

namespace vistrel {

namespace {

constexpr double kE = 2.718281828459045235360287;
constexpr double kPi = 3.141592653589793238462643;

// " %d, %.2f" for square kernels, " %d x %d, %.2f" otherwise.
std::string SizeSuffix(int32_t h, int32_t w, double sigma) {
    return h == w ? Format(" %d, %.2f", h, sigma) : Format(" %d x %d, %.2f", h, w, sigma);
}

double DefaultSigma(int32_t h, int32_t w, double sigma) {
    return sigma == -1.0 ? double((std::min(h, w) - 1) / 2) : sigma;
}

// Fills an H x W kernel from g(dy, dx) and returns the unrounded sum.
template <typename Fn>
double FillFrom(CFilter& filter, Fn g) {
    double sum = 0.0;
    if (!filter.HasRows()) return sum;
    const double cy = (filter.height - 1) / 2.0, cx = (filter.width - 1) / 2.0;
    for (int32_t i = 0; i < filter.height; ++i) {
        float* row = filter.Row(i);
        for (int32_t j = 0; j < filter.width; ++j) {
            const double v = g(cy - i, cx - j);
            row[j] = static_cast<float>(v);
            sum += v;
        }
    }
    return sum;
}

// Side of (a, b) for a direction: +1 positive, -1 negative, 0 neither.
int SideOf(int direction, double a, double b) {
    if (a == 0.0 && b == 0.0) return 0;
    switch (direction) {
        case 0:
            return a < 0 ? 1 : (a > 0 ? -1 : 0);
        case 1:
            return b < 0 ? 1 : (b > 0 ? -1 : 0);
        case 2:
            return (a >= 0 && b <= 0) ? 1 : ((a <= 0 && b >= 0) ? -1 : 0);
        case 3:
            return (a <= 0 && b <= 0) ? 1 : ((a >= 0 && b >= 0) ? -1 : 0);
        default:
            return 0;
    }
}

template <typename Fn>
CFilter MakeDirectional(int32_t h, int32_t w, int direction, Fn g) {
    CFilter filter(h, w);
    double positive = 0.0;
    FillFrom(filter, [&](double a, double b) {
        const int side = SideOf(direction, a, b);
        const double v = g(a, b);
        if (side > 0) positive += v;
        return side * v;
    });
    filter.scale = positive;
    return filter;
}

void PutBytes(std::vector<uint8_t>& out, const void* p, std::size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}

bool GetBytes(const std::vector<uint8_t>& in, std::size_t& pos, void* p, std::size_t n) {
    if (pos > in.size() || in.size() - pos < n) return false;
    // memcpy must not see the null data of an empty buffer, even for no bytes.
    if (n == 0) return true;
    std::memcpy(p, in.data() + pos, n);
    pos += n;
    return true;
}

}  // namespace

CFilter::CFilter(int32_t rows, int32_t cols) {
    Allocate(rows, cols);
}

CFilter::CFilter(int32_t gridRows, int32_t gridCols, const std::string& filterName,
                 const float* grid, double filterScale, int32_t count, const double* values) {
    name = filterName;
    scale = filterScale == 0.0 ? 1.0 : filterScale;
    SetParams(count, values);
    if (!grid || gridRows <= 0 || gridCols <= 0) return;
    auto cell = [&](int32_t r, int32_t c) { return grid[std::size_t(r) * gridCols + c]; };
    auto rowZero = [&](int32_t r) {
        for (int32_t c = 0; c < gridCols; ++c)
            if (cell(r, c) != 0.0f) return false;
        return true;
    };
    int32_t top = 0, bottom = 0;
    while (top < gridRows && rowZero(top)) ++top;
    while (bottom < gridRows && rowZero(gridRows - 1 - bottom)) ++bottom;
    const int32_t keepRows = std::min(top, bottom);
    const int32_t r0 = keepRows, r1 = gridRows - 1 - keepRows;  // inclusive
    // An all-zero grid would give a negative size; it is an empty kernel instead.
    if (r1 < r0) return;
    auto colZero = [&](int32_t c) {
        for (int32_t r = r0; r <= r1; ++r)
            if (cell(r, c) != 0.0f) return false;
        return true;
    };
    int32_t left = 0, right = 0;
    while (left < gridCols && colZero(left)) ++left;
    while (right < gridCols && colZero(gridCols - 1 - right)) ++right;
    const int32_t keepCols = std::min(left, right);
    const int32_t c0 = keepCols, c1 = gridCols - 1 - keepCols;
    if (c1 < c0) return;
    const std::string keptName = name;
    const std::vector<double> keptParams = params;
    const double keptScale = scale;
    if (Allocate(r1 - r0 + 1, c1 - c0 + 1) != 0) return;
    name = keptName;
    params = keptParams;
    scale = keptScale;
    for (int32_t r = r0; r <= r1; ++r)
        for (int32_t c = c0; c <= c1; ++c) Row(r - r0)[c - c0] = cell(r, c);
}

void CFilter::CopyFrom(const CFilter& other) {
    width = other.width;
    height = other.height;
    params = other.params;
    scale = other.scale;
    name = other.name;
    coefficients_ = other.coefficients_;
}

int CFilter::Allocate(int32_t rows, int32_t cols) {
    coefficients_.clear();
    if (rows < 0 || cols < 0 || rows > INT16_MAX || cols > INT16_MAX) {
        Clear();
        return -1;
    }
    try {
        coefficients_.assign(std::size_t(rows) * std::size_t(cols), 0.0f);
    } catch (const std::bad_alloc&) {
        Clear();
        return -1;
    }
    height = static_cast<int16_t>(rows);
    width = static_cast<int16_t>(cols);
    return 0;
}

void CFilter::Clear() {
    Free();
    params.clear();
    width = height = 0;
    name.clear();
    scale = 1.0;
}

bool CFilter::IsNonZero() const {
    if (coefficients_.empty() || height <= 0) return false;
    return std::any_of(coefficients_.begin(), coefficients_.end(),
                       [](float v) { return v != 0.0f; });
}

void CFilter::SetParams(int32_t count, const double* values) {
    params.clear();
    if (count > 0 && values) params.assign(values, values + count);
}

void CFilter::Fill(float value) {
    double sum = 0.0;
    for (float& v : coefficients_) {
        v = value;
        sum += v;
    }
    scale = sum == 0.0 ? 1.0 : sum;
}

void CFilter::DivideBy(double value) {
    for (float& v : coefficients_) v = static_cast<float>(v / value);
}

float* CFilter::At(int32_t row, int32_t col) {
    if (coefficients_.empty()) return nullptr;
    if (row < 0 || row >= height || col < 0 || col >= width) return coefficients_.data();
    return Row(row) + col;
}

const float* CFilter::At(int32_t row, int32_t col) const {
    return const_cast<CFilter*>(this)->At(row, col);
}

void CFilter::SetFromDoubles(const double* matrix) {
    if (!matrix) return;
    for (std::size_t k = 0; k < coefficients_.size(); ++k)
        coefficients_[k] = static_cast<float>(matrix[k]);
}

void CFilter::SetFromFloats(const float* matrix) {
    if (!matrix) return;
    std::copy(matrix, matrix + coefficients_.size(), coefficients_.begin());
}

void CFilter::Serialize(std::vector<uint8_t>& out) const {
    // Length prefix of the archive string: one byte below 255, else 0xFF and a
    // 16-bit length, else 0xFF 0xFFFF and a 32-bit length.
    const std::size_t n = name.size();
    if (n < 0xFF) {
        out.push_back(static_cast<uint8_t>(n));
    } else if (n < 0xFFFF) {
        out.push_back(0xFF);
        const uint16_t len = static_cast<uint16_t>(n);
        PutBytes(out, &len, 2);
    } else {
        out.push_back(0xFF);
        const uint16_t mark = 0xFFFF;
        const uint32_t len = static_cast<uint32_t>(n);
        PutBytes(out, &mark, 2);
        PutBytes(out, &len, 4);
    }
    PutBytes(out, name.data(), n);
    const int16_t count = paramCount();
    PutBytes(out, &count, 2);
    PutBytes(out, params.data(), params.size() * sizeof(double));
    PutBytes(out, &scale, sizeof scale);
    PutBytes(out, &height, 2);
    PutBytes(out, &width, 2);
    if (!coefficients_.empty()) PutBytes(out, coefficients_.data(), coefficients_.size() * 4);
}

bool CFilter::Deserialize(const std::vector<uint8_t>& in, std::size_t& pos) {
    Clear();
    uint8_t b = 0;
    uint32_t n = 0;
    if (!GetBytes(in, pos, &b, 1)) return false;
    n = b;
    if (b == 0xFF) {
        uint16_t len = 0;
        if (!GetBytes(in, pos, &len, 2)) return false;
        n = len;
        if (len == 0xFFFF && !GetBytes(in, pos, &n, 4)) return false;
    }
    if (pos > in.size() || in.size() - pos < n) return false;
    std::string text(reinterpret_cast<const char*>(in.data() + pos), n);
    pos += n;
    int16_t count = 0, h = 0, w = 0;
    double s = 0.0;
    if (!GetBytes(in, pos, &count, 2) || count < 0) return false;
    std::vector<double> values(static_cast<std::size_t>(count));
    if (!GetBytes(in, pos, values.data(), values.size() * sizeof(double))) return false;
    if (!GetBytes(in, pos, &s, sizeof s) || !GetBytes(in, pos, &h, 2) ||
        !GetBytes(in, pos, &w, 2) || h < 0 || w < 0)
        return false;
    const std::size_t cells = std::size_t(h) * std::size_t(w);
    if (in.size() - pos < cells * 4) return false;
    if (Allocate(h, w) != 0) return false;
    if (cells) GetBytes(in, pos, coefficients_.data(), cells * 4);
    name = std::move(text);
    params = std::move(values);
    scale = s;
    return true;
}

const char* DirectionWord(int direction) {
    switch (direction) {
        case 0:
            return "Horz";
        case 1:
            return "Vert";
        case 2:
            return "NW";
        case 3:
            return "SW";
        default:
            return "";
    }
}

CFilter MakeGaussKernel(double sigma) {
    if (sigma <= 0) sigma = 1.0;
    int32_t n = 1 + static_cast<int32_t>(std::trunc(6.0 * sigma));
    if (n % 2 == 0) ++n;
    CFilter filter(n, n);
    const double sum = FillFrom(filter, [&](double dy, double dx) {
        const double v = std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
        return v < 2e-16 ? 0.0 : v;
    });
    filter.scale = sum;
    filter.params = {sigma};
    filter.name = Format("Gauss %d x %d, %.2f", n, n, sigma);
    return filter;
}

CFilter MakeGaussFilter(int32_t h, int32_t w, double sigma) {
    sigma = DefaultSigma(h, w, sigma);
    CFilter filter(h, w);
    filter.scale = FillFrom(filter, [&](double dy, double dx) {
        return std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
    });
    filter.params = {sigma};
    filter.name = "Gauss" + SizeSuffix(h, w, sigma);
    return filter;
}

CFilter MakeLaplaceFilter(int32_t h, int32_t w, double sigma) {
    sigma = DefaultSigma(h, w, sigma);
    CFilter filter(h, w);
    filter.scale = FillFrom(filter, [&](double dy, double dx) {
        return std::exp(-std::sqrt(2.0) * (std::abs(dx) + std::abs(dy)) / sigma);
    });
    filter.params = {sigma};
    filter.name = "Laplace" + SizeSuffix(h, w, sigma);
    return filter;
}

CFilter MakeGammaFilter(int32_t h, int32_t w, int32_t n, double sigma) {
    if (n < 1) n = 1;
    sigma = DefaultSigma(h, w, sigma);
    const double k = std::sqrt(double(n) * (n + 1));
    CFilter filter(h, w);
    filter.scale = FillFrom(filter, [&](double dy, double dx) {
        return std::exp(-k * (std::abs(dx) + std::abs(dy)) / sigma);
    });
    filter.params = {sigma, double(n)};
    filter.name = Format("Gamma(%d)", n) + SizeSuffix(h, w, sigma);
    return filter;
}

CFilter MakeLoGSigmaFilter(int32_t h, int32_t w, double sigma) {
    CFilter filter(h, w);
    const double sum = FillFrom(filter, [&](double dy, double dx) {
        const double t = (dx * dx + dy * dy) / (2 * sigma * sigma);
        return (1 - t) * std::exp(-t);
    });
    filter.scale = sum == 0.0 ? 1.0 : sum;
    filter.params = {sigma};
    filter.name = "LoG" + SizeSuffix(h, w, sigma);
    return filter;
}

CFilter MakeLoLFilter(int32_t h, int32_t w, double sigma) {
    CFilter filter(h, w);
    FillFrom(filter, [&](double dy, double dx) {
        return std::exp(-std::sqrt(2.0) * (std::abs(dx) + std::abs(dy)) / sigma);
    });
    filter.scale = 1.0;
    filter.params = {sigma};
    filter.name = "LoL" + SizeSuffix(h, w, sigma);
    return filter;
}

CFilter MakeLoGFilter(int32_t h) {
    const int32_t n = (h % 2 != 0) ? 3 * h : 3 * h + 1;
    const double sigma = h / (2.0 * std::sqrt(2.0));
    const double twoSigma2 = 2 * sigma * sigma;
    const double a = h == 2 ? 1.156 : 1.0;
    const double b = h == 2 ? 1.002 : 1.0;
    const double k = kE * h * h * a / (16 * kPi * std::pow(sigma, 4));
    CFilter filter(n, n);
    const double sum = FillFrom(filter, [&](double dy, double dx) {
        const double t = (dx * dx + dy * dy) / twoSigma2;
        return k * (1 - b * t) * std::exp(-t);
    });
    filter.scale = 1.0;
    filter.params = {double(h), sum};
    filter.name = Format("LoG %dx%d, h=%d", n, n, h);
    return filter;
}

CFilter MakeDirectionalGaussFilter(int32_t h, int32_t w, double sigma, int direction) {
    sigma = DefaultSigma(h, w, sigma);
    CFilter filter = MakeDirectional(h, w, direction, [&](double a, double b) {
        return std::exp(-(a * a + b * b) / (2 * sigma * sigma));
    });
    filter.params = {sigma};
    filter.name = std::string("Gauss ") + DirectionWord(direction) + SizeSuffix(h, w, sigma);
    return filter;
}

CFilter MakeDirectionalLaplaceFilter(int32_t h, int32_t w, double sigma, int direction) {
    sigma = DefaultSigma(h, w, sigma);
    CFilter filter = MakeDirectional(h, w, direction, [&](double a, double b) {
        return std::exp(-std::sqrt(2.0) * (std::abs(a) + std::abs(b)) / sigma);
    });
    filter.params = {sigma};
    filter.name = std::string("Laplace ") + DirectionWord(direction) + SizeSuffix(h, w, sigma);
    return filter;
}

CFilter MakeDirectionalGammaFilter(int32_t h, int32_t w, int32_t n, double sigma, int direction) {
    if (n < 1) n = 1;
    sigma = DefaultSigma(h, w, sigma);
    const double k = std::sqrt(double(n) * (n + 1));
    CFilter filter = MakeDirectional(h, w, direction, [&](double a, double b) {
        return std::exp(-k * (std::abs(a) + std::abs(b)) / sigma);
    });
    filter.params = {sigma, double(n)};
    filter.name = Format("Gamma(%d) ", n) + DirectionWord(direction) + SizeSuffix(h, w, sigma);
    return filter;
}

CFilter MakeBoxFilter(int32_t h, int32_t w) {
    CFilter filter(h, w);
    if (h > 0 && w > 0) filter.Fill(static_cast<float>(1.0 / (double(h) * w)));
    return filter;
}

CFilter MakeConstantFilter(int32_t h, int32_t w, float value) {
    CFilter filter(h, w);
    filter.Fill(value);
    return filter;
}

}  // namespace vistrel
