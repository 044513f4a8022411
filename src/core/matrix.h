#pragma once
// m[x][y] matrices exchanged between algorithms and the image model: one
// zero-filled block plus a table of column pointers (width columns, each of
// height elements).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace vistrel {

template <typename T>
class CMatrix {
public:
    CMatrix() = default;
    // A zero-filled width x height matrix; empty when either size is not positive
    // or the block cannot be allocated.
    CMatrix(int32_t width, int32_t height) { Allocate(width, height); }

    bool Allocate(int32_t width, int32_t height) {
        block_.reset();
        columns_.clear();
        width_ = height_ = 0;
        if (width <= 0 || height <= 0) return false;
        const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        block_.reset(new (std::nothrow) T[n]());
        if (!block_) return false;
        columns_.resize(static_cast<std::size_t>(width));
        for (int32_t x = 0; x < width; ++x)
            columns_[static_cast<std::size_t>(x)] = block_.get() + static_cast<std::size_t>(x) * height;
        width_ = width;
        height_ = height;
        return true;
    }

    bool IsValid() const { return block_ != nullptr; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // The column pointer table, as taken by FromIntMatrix / FromRealMatrix.
    T** columns() { return columns_.empty() ? nullptr : columns_.data(); }
    T* operator[](int32_t x) { return columns_[static_cast<std::size_t>(x)]; }
    const T* operator[](int32_t x) const { return columns_[static_cast<std::size_t>(x)]; }

private:
    std::unique_ptr<T[]> block_;
    std::vector<T*> columns_;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

using CIntMatrix = CMatrix<int32_t>;
using CRealMatrix = CMatrix<float>;

}  // namespace vistrel
