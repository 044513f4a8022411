#pragma once
// Flat structuring element of grey-level morphology: an n x n table of 0/1
// cells around the centre (n/2, n/2), generated from a shape or edited cell
// by cell.

#include <cstdint>
#include <vector>

namespace vistrel {

class CMorphSE {
  public:
    // Shapes a table can be generated from; kCustom once a cell was edited.
    enum Shape : int32_t { kCustom = -1, kCross = 0, kX = 1, kCircle = 2, kSquare = 3 };

    // Size 0, no cells.
    CMorphSE() = default;
    // n x n zeroed cells; for shape >= 0 the shape drawn at full size. A
    // negative n counts as 0.
    CMorphSE(int16_t n, int32_t shape);
    CMorphSE(const CMorphSE& other) = default;
    CMorphSE& operator=(const CMorphSE& other) = default;
    virtual ~CMorphSE() = default;

    void CopyFrom(const CMorphSE& other) { *this = other; }
    // n x n empty cells, shape kCustom.
    void Resize(int16_t n);
    // n x n cells holding the full-size shape.
    void Resize(int16_t n, int32_t shape);
    // Clears the table, then draws a shape of side m starting at row and
    // column `offset` (cells outside the table are skipped). shape is stored
    // (kCustom for a value that is none of the four shapes).
    void SetShape(int m, int offset, int32_t shape);
    // A shape of side m <= n centred in the table; nothing when m > n.
    void DrawCentred(int m, int32_t shape);
    // Stores 0/1 (any non-zero value is 1) and marks the element edited;
    // ignored outside the table.
    void SetCell(int row, int col, uint8_t value);
    // The cell, or 255 outside the table.
    uint8_t GetCell(int row, int col) const;
    // Only the centre cell set; shape kCustom.
    void CentreOnly();
    // Counter-clockwise quarter turn about the centre cell: new[r][c] =
    // old[c][n-1-r] for an odd table; an even table turns the odd square
    // around the centre the same way and keeps its first row and column.
    void Rotate90();
    // One of the 3 x 3 thickening elements: type 1 or 2, kind 1 (A) or 2 (B);
    // any other type or kind leaves the element unchanged.
    void MakeThickeningElement(int type, int kind);

    // True when the element has a table (size > 0).
    bool HasCells() const { return size > 0 && !cells.empty(); }
    int Centre() const { return size / 2; }

    // Fields, in the documented order.
    int16_t size = 0;
    std::vector<uint8_t> cells;  // size rows of size bytes, row-major
    int32_t shape = kCustom;
};

}  // namespace vistrel
