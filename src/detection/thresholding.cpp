#include "detection/thresholding.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

namespace vistrel {

namespace {

// The true values (stored sample - value offset) of row y.
void ReadRow(const CMImage& image, int32_t y, std::vector<int32_t>& out) {
    out.resize(std::size_t(image.width));
    const int32_t offset = image.valueOffset;
    if (image.depth == 8) {
        const uint8_t* row = image.Row(y);
        for (int32_t x = 0; x < image.width; ++x) out[std::size_t(x)] = int32_t(row[x]) - offset;
    } else if (image.depth > 8) {
        const uint8_t* row = image.Row(y);
        for (int32_t x = 0; x < image.width; ++x)
            out[std::size_t(x)] = int32_t(row[2 * x] | (row[2 * x + 1] << 8)) - offset;
    } else {
        for (int32_t x = 0; x < image.width; ++x)
            out[std::size_t(x)] = int32_t(uint16_t(image.GetPixel(x, y))) - offset;
    }
}

bool Readable(const CMImage& image) {
    return image.IsValid() && IsSupportedDepth(image.depth) &&
           image.bytesPerRow >= RowBytesFor(image.width, image.depth);
}

constexpr int32_t kBelowAll = std::numeric_limits<int32_t>::min();

// out[i] = max of in[i .. i + r - 1] (values past the end count as kBelowAll),
// in O(n) whatever r: van Herk / Gil-Werman block prefix and suffix maxima.
void ForwardMax(const int32_t* in, int32_t n, int32_t r, int32_t* out, std::vector<int32_t>& g,
                std::vector<int32_t>& h) {
    const int32_t padded = (n + r - 1) / r * r + r;
    g.assign(std::size_t(padded), kBelowAll);
    h.assign(std::size_t(padded), kBelowAll);
    for (int32_t i = 0; i < padded; ++i) {
        const int32_t v = i < n ? in[i] : kBelowAll;
        g[std::size_t(i)] = i % r == 0 ? v : std::max(g[std::size_t(i - 1)], v);
    }
    for (int32_t i = padded - 1; i >= 0; --i) {
        const int32_t v = i < n ? in[i] : kBelowAll;
        h[std::size_t(i)] = (i + 1) % r == 0 ? v : std::max(h[std::size_t(i + 1)], v);
    }
    for (int32_t i = 0; i < n; ++i) out[i] = std::max(h[std::size_t(i)], g[std::size_t(i + r - 1)]);
}

}  // namespace

std::unique_ptr<CMImage> ThresholdImage(const CMImage& image, double threshold,
                                        bool keepSinglePixels, bool onImage) {
    if (!Readable(image) || std::isnan(threshold)) return nullptr;
    const int32_t w = image.width, hgt = image.height;
    // Three rows of "passes" around the current one; rows outside are empty.
    std::vector<int32_t> values;
    std::vector<std::vector<uint8_t>> pass(3, std::vector<uint8_t>(std::size_t(w) + 2, 0));
    auto load = [&](int32_t y, std::vector<uint8_t>& row) {
        std::fill(row.begin(), row.end(), uint8_t(0));
        if (y < 0 || y >= hgt) return;
        ReadRow(image, y, values);
        for (int32_t x = 0; x < w; ++x)
            row[std::size_t(x) + 1] = double(values[std::size_t(x)]) >= threshold;
    };
    std::unique_ptr<CMImage> out;
    if (onImage) {
        out = std::make_unique<CMImage>(image);
        if (!out->IsValid()) return nullptr;
    } else {
        out = std::make_unique<CMImage>();
        if (!out->Create(w, hgt, 1, 1)) return nullptr;
    }
    load(-1, pass[0]);
    load(0, pass[1]);
    for (int32_t y = 0; y < hgt; ++y) {
        load(y + 1, pass[2]);
        const std::vector<uint8_t>& up = pass[0];
        const std::vector<uint8_t>& mid = pass[1];
        const std::vector<uint8_t>& down = pass[2];
        for (int32_t x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(x) + 1;
            if (!mid[i]) continue;
            if (!keepSinglePixels && !(up[i - 1] | up[i] | up[i + 1] | mid[i - 1] | mid[i + 1] |
                                       down[i - 1] | down[i] | down[i + 1]))
                continue;
            if (onImage && out->depth == 8)
                out->Row(y)[x] = uint8_t(image.maxValue);
            else if (onImage && out->depth > 8)
                out->Row16(y)[x] = image.maxValue;
            else if (onImage)
                out->SetPixel(x, y, image.maxValue);
            else
                out->Row(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
        }
        std::rotate(pass.begin(), pass.begin() + 1, pass.end());
    }
    if (onImage) out->InvalidateHistogram();
    return out;
}

namespace {

CSpotList StrictMaxima(const CMImage& image, int32_t sizePx, const CMImageBase* mask) {
    CSpotList spots;
    if (!Readable(image)) return spots;
    const bool masked = mask && mask->IsValid();
    int32_t side = std::max<int32_t>(sizePx, 3);
    // Larger than the image the square holds every pixel anyway.
    side = std::min<int32_t>(side, 2 * std::max(image.width, image.height) + 1);
    if (side % 2 == 0) ++side;
    const int32_t r = side / 2;
    const int32_t w = image.width, hgt = image.height;
    const std::size_t n = std::size_t(w) * std::size_t(hgt);

    // A pixel is a strict maximum when it exceeds the square without its
    // centre: the r pixels left and right of it on its own row, and the rows
    // above and below over the full width. The first part comes from running
    // maxima of r samples; the pixels that pass it are more than r apart
    // along a row, so looking up the 2r row maxima of each one's column costs
    // at most two reads per pixel in all.
    std::vector<int32_t> full(n);  // max of each row over [x - r, x + r]
    struct CCandidate {
        int32_t x, y, v;
    };
    std::vector<CCandidate> candidates;
    std::vector<int32_t> row, fwd(static_cast<std::size_t>(w)), g, h;
    for (int32_t y = 0; y < hgt; ++y) {
        ReadRow(image, y, row);
        ForwardMax(row.data(), w, r, fwd.data(), g, h);
        int32_t prefix = kBelowAll;  // max of [0, x) while the left window is clipped
        int32_t* out = full.data() + std::ptrdiff_t(y) * w;
        for (int32_t x = 0; x < w; ++x) {
            int32_t left;
            if (x - r >= 0) {
                left = fwd[std::size_t(x - r)];
            } else {
                if (x > 0) prefix = std::max(prefix, row[std::size_t(x - 1)]);
                left = prefix;
            }
            const int32_t right = x + 1 < w ? fwd[std::size_t(x + 1)] : kBelowAll;
            const int32_t beside = std::max(left, right);
            const int32_t v = row[std::size_t(x)];
            out[x] = std::max(beside, v);
            if (v > beside) candidates.push_back({x, y, v});
        }
    }
    for (const CCandidate& c : candidates) {
        bool strict = true;
        const int32_t y0 = std::max(0, c.y - r), y1 = std::min(hgt - 1, c.y + r);
        for (int32_t y = y0; y <= y1 && strict; ++y)
            if (y != c.y && full[std::size_t(y) * std::size_t(w) + std::size_t(c.x)] >= c.v)
                strict = false;
        if (!strict || (masked && mask->GetPixel(c.x, c.y) == 0)) continue;
        spots.Append(CPointResponse(CPoint{c.x, c.y}, double(c.v)));
    }
    return spots;
}

}  // namespace

CSpotList LocalMaximaSpots(const CMImage& image, int32_t sizePx, const CMImageBase* mask) {
    try {
        return StrictMaxima(image, sizePx, mask);
    } catch (const std::bad_alloc&) {
        return {};  // an image too large for the row maxima gives no seeds, not a crash
    }
}

}  // namespace vistrel
