#include "regions/fourier_shape.h"

#include <fftw3.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

namespace vistrel {

namespace {

// One plan per transform length, made once: planning is costly and FFTW's
// planner is not thread-safe, while executing a plan on other arrays of the
// same alignment is.
class PlanCache {
  public:
    ~PlanCache() {
        for (auto& [n, plan] : plans_) fftw_destroy_plan(plan);
    }
    fftw_plan Get(int n) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = plans_.find(n);
        if (it != plans_.end()) return it->second;
        fftw_complex* in = fftw_alloc_complex(static_cast<size_t>(n));
        fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(n));
        fftw_plan plan = nullptr;
        if (in && out) plan = fftw_plan_dft_1d(n, in, out, FFTW_BACKWARD, FFTW_ESTIMATE);
        fftw_free(in);
        fftw_free(out);
        if (plan) plans_.emplace(n, plan);
        return plan;
    }

  private:
    std::mutex mutex_;
    std::map<int, fftw_plan> plans_;
};

PlanCache& Plans() {
    static PlanCache cache;
    return cache;
}

struct FftwFree {
    void operator()(fftw_complex* p) const { fftw_free(p); }
};
using ComplexBuffer = std::unique_ptr<fftw_complex[], FftwFree>;

}  // namespace

double FourierShapeFactor(const std::vector<CPoint>& boundary) {
    const int64_t n = static_cast<int64_t>(boundary.size());
    if (n < 2 || n > kMaxFourierPoints) return 0.0;
    int64_t big = 2;
    while (big < n) big <<= 1;
    const int N = static_cast<int>(big);
    fftw_plan plan = Plans().Get(N);
    if (!plan) return 0.0;
    // fftw_alloc gives the alignment the plan was made for.
    ComplexBuffer in(fftw_alloc_complex(static_cast<size_t>(N)));
    ComplexBuffer out(fftw_alloc_complex(static_cast<size_t>(N)));
    if (!in || !out) return 0.0;
    const CPoint origin = boundary.front();
    for (int64_t j = 0; j < n; ++j) {
        in[j][0] = double(boundary[static_cast<size_t>(j)].x - origin.x);
        in[j][1] = double(boundary[static_cast<size_t>(j)].y - origin.y);
    }
    for (int64_t j = n; j < N; ++j) in[j][0] = in[j][1] = 0.0;
    fftw_execute_dft(plan, in.get(), out.get());

    auto magnitude = [&](int64_t k) { return std::hypot(out[k][0], out[k][1]); };
    double z1 = magnitude(1);
    if (z1 == 0.0) z1 = 1.0;
    double weighted = 0.0, sum = 0.0;
    const int64_t half = n / 2;
    for (int64_t k = 1 - half; k <= half; ++k) {
        if (k == 0) continue;
        // Negative frequencies are taken at n + k, not N + k.
        const double a = magnitude(k > 0 ? k : n + k) / z1;
        weighted += a / double(std::llabs(k));
        sum += a;
    }
    return weighted / (sum != 0.0 ? sum : 1.0);
}

}  // namespace vistrel
