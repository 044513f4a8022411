#include "filters/morph_se.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace vistrel {

CMorphSE::CMorphSE(int16_t n, int32_t shapeIn) {
    if (shapeIn >= 0)
        Resize(n, shapeIn);
    else
        Resize(n);
}

void CMorphSE::Resize(int16_t n) {
    shape = kCustom;
    try {
        cells.assign(static_cast<std::size_t>(std::max<int16_t>(n, 0)) *
                         static_cast<std::size_t>(std::max<int16_t>(n, 0)),
                     0);
        size = std::max<int16_t>(n, 0);
    } catch (const std::bad_alloc&) {
        // A table that cannot be had leaves an element without cells, which
        // every operator refuses.
        cells.clear();
        size = 0;
    }
}

void CMorphSE::Resize(int16_t n, int32_t shapeIn) {
    Resize(n);
    SetShape(size, 0, shapeIn);
}

void CMorphSE::SetShape(int m, int offset, int32_t shapeIn) {
    std::fill(cells.begin(), cells.end(), uint8_t{0});
    // Only the four shapes generate cells; anything else leaves an edited (empty) table.
    shape = shapeIn >= kCross && shapeIn <= kSquare ? shapeIn : kCustom;
    const int n = size;
    const int c = n / 2;
    if (n <= 0 || m <= 0) return;
    auto set = [&](int64_t r, int64_t col) {
        if (r >= 0 && r < n && col >= 0 && col < n)
            cells[static_cast<std::size_t>(r) * n + static_cast<std::size_t>(col)] = 1;
    };
    // Band of the shape, in 64 bits so that any offset and side are safe;
    // loops run only over its part inside the table.
    const int64_t bandLo = offset;
    const int64_t bandHi = int64_t{offset} + m;  // exclusive
    const int64_t lo = std::max<int64_t>(bandLo, 0);
    const int64_t hi = std::min<int64_t>(bandHi, n);
    switch (shape) {
        case kCross:
            for (int64_t i = lo; i < hi; ++i) {
                set(i, c);
                set(c, i);
            }
            break;
        case kX:
            // Row offset + i holds columns offset + i and n - 1 - offset - i.
            for (int64_t row = lo; row < hi; ++row) {
                set(row, row);
                set(row, n - 1 - row);
            }
            break;
        case kCircle: {
            // One octant evaluated and mirrored to all eight: the disc is
            // exactly symmetric whatever the rounding of the radius. No table
            // cell lies further than n from the centre.
            const int64_t radius = std::min<int64_t>(m / 2, n);
            const int64_t r2 = int64_t{m / 2} * int64_t{m / 2};
            for (int64_t dy = 0; dy <= radius; ++dy) {
                for (int64_t dx = dy; dx <= radius; ++dx) {
                    if (dx * dx + dy * dy > r2) break;
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
                    if (r < lo || r >= hi || col < lo || col >= hi)
                        cells[static_cast<std::size_t>(r) * n + col] = 0;
            break;
        }
        case kSquare:
            for (int64_t i = lo; i < hi; ++i)
                for (int64_t j = lo; j < hi; ++j) set(i, j);
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
    // The cells no longer follow the shape they were drawn from.
    shape = kCustom;
}

void CMorphSE::Rotate90() {
    if (!HasCells()) return;
    const int n = size;
    const int centre = n / 2;
    const int half = centre - (n % 2 == 0 ? 1 : 0);
    const int lo = centre - half;
    const int hi = centre + half;
    const std::vector<uint8_t> old = cells;
    // new[r][c] = old[c][2 centre - r]: a quarter turn about the centre cell.
    // For an odd table 2 centre = n - 1, the whole table turns; an even table
    // turns its odd square around the centre and keeps its first row and
    // column, and every cell read lies in that square.
    for (int r = lo; r <= hi; ++r)
        for (int c = lo; c <= hi; ++c)
            cells[static_cast<std::size_t>(r) * n + c] =
                old[static_cast<std::size_t>(c) * n + (2 * centre - r)];
}

void CMorphSE::MakeThickeningElement(int type, int kind) {
    static constexpr uint8_t kA1[9] = {1, 1, 1, 0, 0, 0, 0, 0, 0};
    static constexpr uint8_t kB1[9] = {0, 0, 0, 0, 1, 0, 1, 1, 1};
    static constexpr uint8_t kA2[9] = {0, 0, 0, 0, 0, 1, 0, 1, 1};
    static constexpr uint8_t kB2[9] = {1, 1, 0, 1, 1, 0, 0, 0, 0};
    if ((type != 1 && type != 2) || (kind != 1 && kind != 2)) return;
    Resize(3);
    if (!HasCells()) return;
    const uint8_t* table = type == 1 ? (kind == 1 ? kA1 : kB1) : (kind == 1 ? kA2 : kB2);
    std::copy(table, table + 9, cells.begin());
}

}  // namespace vistrel
