#include "filters/morph_se.h"

#include <algorithm>

namespace vistrel {

CMorphSE::CMorphSE(int16_t n, int32_t shapeIn) {
    if (shapeIn >= 0)
        Resize(n, shapeIn);
    else
        Resize(n);
}

void CMorphSE::Resize(int16_t n) {
    size = std::max<int16_t>(n, 0);
    cells.assign(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), 0);
    shape = kCustom;
}

void CMorphSE::Resize(int16_t n, int32_t shapeIn) {
    Resize(n);
    SetShape(size, 0, shapeIn);
}

void CMorphSE::SetShape(int m, int offset, int32_t shapeIn) {
    std::fill(cells.begin(), cells.end(), uint8_t{0});
    shape = shapeIn;
    const int n = size;
    const int c = n / 2;
    auto set = [&](int r, int col) {
        if (r >= 0 && r < n && col >= 0 && col < n) cells[static_cast<std::size_t>(r) * n + col] = 1;
    };
    switch (shapeIn) {
        case kCross:
            for (int i = offset; i < offset + m; ++i) {
                set(i, c);
                set(c, i);
            }
            break;
        case kX:
            for (int i = 0; i < m; ++i) {
                set(offset + i, offset + i);
                set(offset + i, n - 1 - offset - i);
            }
            break;
        case kCircle: {
            // One octant evaluated and mirrored to all eight: the disc is
            // exactly symmetric whatever the rounding of the radius.
            const int radius = m / 2;
            const int r2 = radius * radius;
            for (int dy = 0; dy <= radius; ++dy) {
                for (int dx = dy; dx <= radius; ++dx) {
                    if (dx * dx + dy * dy > r2) continue;
                    for (int sy : {-1, 1})
                        for (int sx : {-1, 1}) {
                            set(c + sy * dy, c + sx * dx);
                            set(c + sx * dx, c + sy * dy);
                        }
                }
            }
            // Only cells of the square band of the shape belong to it.
            for (int r = 0; r < n; ++r)
                for (int col = 0; col < n; ++col)
                    if (r < offset || r >= offset + m || col < offset || col >= offset + m)
                        cells[static_cast<std::size_t>(r) * n + col] = 0;
            break;
        }
        case kSquare:
            for (int i = 0; i < m; ++i)
                for (int j = 0; j < m; ++j) set(offset + i, offset + j);
            break;
        default:
            break;
    }
}

void CMorphSE::DrawCentred(int m, int32_t shapeIn) {
    if (m > size || m < 0) return;
    SetShape(m, (size - m) / 2, shapeIn);
}

void CMorphSE::SetCell(int row, int col, uint8_t value) {
    if (row < 0 || row >= size || col < 0 || col >= size) return;
    cells[static_cast<std::size_t>(row) * size + col] = value ? 1 : 0;
    shape = kCustom;
}

uint8_t CMorphSE::GetCell(int row, int col) const {
    if (row < 0 || row >= size || col < 0 || col >= size) return 255;
    return cells[static_cast<std::size_t>(row) * size + col];
}

void CMorphSE::CentreOnly() {
    if (!HasCells()) return;
    std::fill(cells.begin(), cells.end(), uint8_t{0});
    cells[static_cast<std::size_t>(Centre()) * size + Centre()] = 1;
}

void CMorphSE::Rotate90() {
    if (!HasCells()) return;
    const int n = size;
    const int half = n / 2 - (n % 2 == 0 ? 1 : 0);
    const int lo = n / 2 - half;
    const int hi = n / 2 + half;
    const std::vector<uint8_t> old = cells;
    for (int r = lo; r <= hi; ++r)
        for (int c = lo; c <= hi; ++c) {
            const int oldCol = n - 1 - r;
            cells[static_cast<std::size_t>(r) * n + c] =
                old[static_cast<std::size_t>(c) * n + oldCol];
        }
}

void CMorphSE::MakeThickeningElement(int type, int kind) {
    static constexpr uint8_t kA1[9] = {1, 1, 1, 0, 0, 0, 0, 0, 0};
    static constexpr uint8_t kB1[9] = {0, 0, 0, 0, 1, 0, 1, 1, 1};
    static constexpr uint8_t kA2[9] = {0, 0, 0, 0, 0, 1, 0, 1, 1};
    static constexpr uint8_t kB2[9] = {1, 1, 0, 1, 1, 0, 0, 0, 0};
    Resize(3);
    const uint8_t* table = type == 1 ? (kind == 1 ? kA1 : kB1) : (kind == 1 ? kA2 : kB2);
    std::copy(table, table + 9, cells.begin());
}

}  // namespace vistrel
