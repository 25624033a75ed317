// CDS_Grid: a fixed-size two-dimensional array of script values, cell (x, y) at element y * width + x,
// with operations over single cells, rectangles, disks and regions of other grids.
#pragma once

#include "script/value.h"

#include <cstdint>

// The operations of DS_ValueOp.
enum DSValueOp {
    DS_OP_SET = 1,
    DS_OP_ADD = 2,
    DS_OP_MULTIPLY = 3,
};

// Applies an operation to a cell: set copies the value; add adds two reals or joins two strings and
// otherwise sets; multiply multiplies two reals and otherwise does nothing.
void DS_ValueOp(int op, ScriptValue* cell, const ScriptValue* value);

// A rectangle of cells, inclusive, already clipped to the grid (empty when x1 > x2 or y1 > y2).
struct GridArea {
    int x1, y1, x2, y2;
};

// The cells an operation, aggregate or search visits: a clipped rectangle, or the cells of a disk (centre
// and radius as reals).
struct GridWalk {
    bool disk;
    GridArea area;
    double xm, ym, r;
};

class CDS_Grid {
public:
    // A negative dimension counts as 0; a grid with one zero dimension keeps the other as its size but
    // has no cells.
    CDS_Grid(int width, int height);
    ~CDS_Grid() { Free(); }
    CDS_Grid(const CDS_Grid&) = delete;
    CDS_Grid& operator=(const CDS_Grid&) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Contains(int x, int y) const { return x >= 0 && x < m_width && y >= 0 && y < m_height; }
    ScriptValue* Cell(int x, int y) const { return &m_cells[static_cast<int64_t>(y) * m_width + x]; }
    // The cell of a flat element index, null outside the block (the unchecked accessors' addressing).
    ScriptValue* Element(int64_t index) const { return index >= 0 && index < CellCount() ? &m_cells[index] : nullptr; }
    int64_t CellCount() const { return m_cells ? static_cast<int64_t>(m_width) * m_height : 0; }

    // Every cell released; with both dimensions non-zero the grid takes them, cells real 0, else it
    // becomes 0 x 0.
    void SetSize(int width, int height);
    // Copies the source's size and cells; copying a grid onto itself changes nothing, null frees.
    void Assign(const CDS_Grid* source);
    // A new size keeping the cells both sizes share.
    void Resize(int width, int height);
    void SetAll(const ScriptValue* value);
    // Releases every cell and frees the block; the grid becomes 0 x 0.
    void Free();

    // Clips the rectangle between two corners (in any order) to the grid.
    GridArea Rectangle(int x1, int y1, int x2, int y2) const;
    // Calls f(x, y) for the cells of a walk, x ascending outside and y ascending inside, until f gives
    // true.
    template <typename F> void Walk(const GridWalk& walk, F f) const {
        const GridArea box = walk.disk ? DiskBox(walk.xm, walk.ym, walk.r) : walk.area;
        for (int x = box.x1; x <= box.x2; ++x)
            for (int y = box.y1; y <= box.y2; ++y) {
                if (walk.disk) {
                    const double dx = x - walk.xm, dy = y - walk.ym;
                    if (!(dx * dx + dy * dy <= walk.r * walk.r)) continue;
                }
                if (f(x, y)) return;
            }
    }

    // Applies the operation to every cell of a walk.
    void WalkOp(int op, const GridWalk& walk, const ScriptValue* value);
    // The sum of the plain reals of a walk, and their mean (0 when there are none).
    double GetSum(const GridWalk& walk) const;
    double GetMean(const GridWalk& walk) const;
    // The greatest (max) or least cell among those of the first visited cell's kind (reals or strings);
    // null when the walk visits no cell.
    const ScriptValue* GetExtreme(const GridWalk& walk, bool max) const;
    // The first cell of a walk that compares equal to the value (DS_Compare); false when none.
    bool FindValue(const GridWalk& walk, const ScriptValue* value, int* x, int* y) const;
    // Applies the operation from a rectangle of source onto this grid at (xpos, ypos); source may be
    // this grid, read as it stood before.
    void GridRegionOp(int op, const CDS_Grid& source, int x1, int y1, int x2, int y2, int xpos, int ypos);

    void Shuffle();
    // Sorts the rows by the cells of a column, direction 1 ascending or -1 descending; a stable sort.
    void Sort(int column, int direction);

    // The text form and its reading (see ds_text.cpp). The text is the caller's.
    char* WriteToString() const;
    bool ReadFromString(const char* text);
    // Takes a block of width x height cells read from a text, replacing the grid's cells.
    void Adopt(ScriptValue* cells, int width, int height);

private:
    // The bounding rectangle of a disk, clipped to the grid.
    GridArea DiskBox(double xm, double ym, double r) const;

    ScriptValue* m_cells = nullptr;
    int m_width = 0;
    int m_height = 0;
};
