#include "filters/morphology.h"

#include <algorithm>
#include <array>
#include <utility>

#include "core/image_operations.h"

namespace vistrel {

namespace {

bool SameLayout(const CMImageBase& a, const CMImageBase& b) {
    return a.width == b.width && a.height == b.height && a.depth == b.depth &&
           a.bytesPerRow == b.bytesPerRow;
}

// target := op(target, other) sample by sample; both have the same layout.
// byteOp does the same on whole bytes of 1-bit rows (AND for min, OR for max).
template <typename Op, typename ByteOp>
void CombineInto(CMImageBase& target, const CMImageBase& other, Op op, ByteOp byteOp) {
    const int32_t w = target.width;
    for (int32_t y = 0; y < target.height; ++y) {
        if (target.depth == 1) {
            uint8_t* t = target.Row(y);
            const uint8_t* o = other.Row(y);
            for (int32_t i = 0; i < target.bytesPerRow; ++i)
                t[i] = static_cast<uint8_t>(byteOp(t[i], o[i]));
        } else if (target.depth == 8) {
            uint8_t* t = target.Row(y);
            const uint8_t* o = other.Row(y);
            for (int32_t x = 0; x < w; ++x) t[x] = static_cast<uint8_t>(op(t[x], o[x]));
        } else if (target.depth > 8) {
            uint16_t* t = target.Row16(y);
            const uint16_t* o = other.Row16(y);
            for (int32_t x = 0; x < w; ++x) t[x] = static_cast<uint16_t>(op(t[x], o[x]));
        } else {
            for (int32_t x = 0; x < w; ++x) {
                const auto a = static_cast<uint16_t>(
                    CMImageBase::GetPixelIn(target.data, target.bytesPerRow, target.depth, x, y));
                const auto b = static_cast<uint16_t>(
                    CMImageBase::GetPixelIn(other.data, other.bytesPerRow, other.depth, x, y));
                CMImageBase::SetPixelIn(target.data, target.bytesPerRow, target.depth, x, y,
                                        op(a, b));
            }
        }
    }
}

void MinInto(CMImage& target, const CMImageBase& other) {
    CombineInto(
        target, other, [](uint16_t a, uint16_t b) { return std::min(a, b); },
        [](uint8_t a, uint8_t b) { return a & b; });
    target.InvalidateHistogram();
}

void MaxInto(CMImage& target, const CMImageBase& other) {
    CombineInto(
        target, other, [](uint16_t a, uint16_t b) { return std::max(a, b); },
        [](uint8_t a, uint8_t b) { return a | b; });
    target.InvalidateHistogram();
}

// maxValue - s for every sample; a sample above maxValue (which no reader
// should leave, but nothing forbids) gives 0 rather than wrapping around.
std::unique_ptr<CMImage> Complement(const CMImage& image) {
    auto result = std::make_unique<CMImage>(image);
    if (!result->IsValid()) return nullptr;
    if (result->depth <= 8) {
        // The complement of every bit field of a byte; no borrow crosses fields.
        const std::size_t n = result->ByteCount();
        for (std::size_t i = 0; i < n; ++i)
            result->data[i] = static_cast<uint8_t>(~result->data[i]);
    } else {
        const uint16_t top = result->maxValue;
        for (int32_t y = 0; y < result->height; ++y) {
            uint16_t* row = result->Row16(y);
            for (int32_t x = 0; x < result->width; ++x)
                row[x] = row[x] > top ? uint16_t{0} : static_cast<uint16_t>(top - row[x]);
        }
    }
    result->InvalidateHistogram();
    return result;
}

std::unique_ptr<CMImage> DifferenceOf(const std::unique_ptr<CMImage>& a,
                                      const std::unique_ptr<CMImage>& b) {
    if (!a || !b) return nullptr;
    return Difference(*a, *b);
}

}  // namespace

std::unique_ptr<CMImage> Erode(const CMImage& image, const CMorphSE& se, int iterations) {
    return MorphCore(image, EMorphOperation::Erosion, se, iterations, nullptr, true);
}

std::unique_ptr<CMImage> Dilate(const CMImage& image, const CMorphSE& se, int iterations) {
    return MorphCore(image, EMorphOperation::Dilation, se, iterations, nullptr, true);
}

std::unique_ptr<CMImage> Open(const CMImage& image, const CMorphSE& se, int iterations) {
    const auto eroded = Erode(image, se, iterations);
    return eroded ? Dilate(*eroded, se, iterations) : nullptr;
}

std::unique_ptr<CMImage> Close(const CMImage& image, const CMorphSE& se, int iterations) {
    const auto dilated = Dilate(image, se, iterations);
    return dilated ? Erode(*dilated, se, iterations) : nullptr;
}

std::unique_ptr<CMImage> WhiteTopHat(const CMImage& image, const CMorphSE& se, int iterations) {
    const auto opened = Open(image, se, iterations);
    return opened ? Difference(image, *opened) : nullptr;
}

std::unique_ptr<CMImage> BlackTopHat(const CMImage& image, const CMorphSE& se, int iterations) {
    const auto closed = Close(image, se, iterations);
    return closed ? Difference(*closed, image) : nullptr;
}

std::unique_ptr<CMImage> MorphGradient(const CMImage& image, const CMorphSE& se, int iterations) {
    const auto dilated = Dilate(image, se, iterations);
    if (!dilated) return nullptr;
    return DifferenceOf(dilated, Erode(image, se, iterations));
}

std::unique_ptr<CMImage> InnerGradient(const CMImage& image, const CMorphSE& se, int iterations) {
    const auto eroded = Erode(image, se, iterations);
    return eroded ? Difference(image, *eroded) : nullptr;
}

std::unique_ptr<CMImage> OuterGradient(const CMImage& image, const CMorphSE& se, int iterations) {
    const auto dilated = Dilate(image, se, iterations);
    return dilated ? Difference(*dilated, image) : nullptr;
}

std::unique_ptr<CMImage> ApplyMorphOperator(EMorphOperator op, const CMImage& image,
                                            const CMorphSE& se, int iterations) {
    switch (op) {
        case EMorphOperator::Erode:
            return Erode(image, se, iterations);
        case EMorphOperator::Dilate:
            return Dilate(image, se, iterations);
        case EMorphOperator::Open:
            return Open(image, se, iterations);
        case EMorphOperator::Close:
            return Close(image, se, iterations);
        case EMorphOperator::WhiteTopHat:
            return WhiteTopHat(image, se, iterations);
        case EMorphOperator::BlackTopHat:
            return BlackTopHat(image, se, iterations);
        case EMorphOperator::MorphGradient:
            return MorphGradient(image, se, iterations);
        case EMorphOperator::InnerGradient:
            return InnerGradient(image, se, iterations);
        case EMorphOperator::OuterGradient:
            return OuterGradient(image, se, iterations);
    }
    return nullptr;
}

std::unique_ptr<CMImage> HitOrMiss(const CMImage& x, const CMorphSE& a, const CMorphSE& b) {
    if (!x.IsValid() || !a.HasCells() || !b.HasCells()) return nullptr;
    // The complement lives only as long as its erosion needs it.
    std::unique_ptr<CMImage> misses;
    {
        const auto complement = Complement(x);
        if (!complement) return nullptr;
        misses = MorphCore(x, EMorphOperation::Erosion, b, 1, complement.get(), false);
    }
    if (!misses) return nullptr;
    auto hits = MorphCore(x, EMorphOperation::Erosion, a, 1, nullptr, false);
    if (!hits || !SameLayout(*hits, *misses)) return nullptr;
    MinInto(*hits, *misses);
    return hits;
}

std::unique_ptr<CMImage> ConditionalThickening(const CMImage& condition, const CMImage& marker,
                                               int* passesRun, const ProgressFn& progress) {
    if (passesRun) *passesRun = 0;
    if (!condition.IsValid() || !marker.IsValid() || !SameLayout(condition, marker)) return nullptr;
    auto x = std::make_unique<CMImage>(marker);
    if (!x->IsValid()) return nullptr;

    // The two pairs, each turned a quarter after every use so that four uses
    // bring it back to its first position for the next pass.
    std::array<std::pair<CMorphSE, CMorphSE>, 2> pairs;
    for (int type = 1; type <= 2; ++type) {
        pairs[type - 1].first.MakeThickeningElement(type, 1);
        pairs[type - 1].second.MakeThickeningElement(type, 2);
    }

    for (int pass = 1; pass <= kMaxThickeningPasses; ++pass) {
        std::unique_ptr<CMImage> t;
        for (auto& [a, b] : pairs) {
            for (int turn = 0; turn < 4; ++turn) {
                auto hits = HitOrMiss(*x, a, b);
                a.Rotate90();
                b.Rotate90();
                if (!hits) return nullptr;
                if (t)
                    MaxInto(*t, *hits);
                else
                    t = std::move(hits);
            }
        }
        // X' = min(condition, max(X, T)), built in T's raster.
        MaxInto(*t, *x);
        MinInto(*t, condition);
        const bool unchanged = t->IsEqual(*x);
        x = std::move(t);
        if (passesRun) *passesRun = pass;
        if (unchanged) break;
        if (progress && !progress(double(pass) / kMaxThickeningPasses)) return nullptr;
    }
    return x;
}

}  // namespace vistrel
