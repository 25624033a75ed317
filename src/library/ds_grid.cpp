#include "library/ds_grid.h"

#include "core/memory.h"
#include "core/random.h"
#include "library/ds_core.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

void DS_ValueOp(int op, ScriptValue* cell, const ScriptValue* value) {
    if (op == DS_OP_MULTIPLY) {
        if (cell->kind == KIND_REAL && value->kind == KIND_REAL) cell->real *= value->real;
        return;
    }
    if (op == DS_OP_ADD) {
        if (cell->kind == KIND_REAL && value->kind == KIND_REAL) {
            cell->real += value->real;
            return;
        }
        if (cell->kind == KIND_STRING && value->kind == KIND_STRING) {
            const size_t a = cell->str ? std::strlen(cell->str) : 0;
            const size_t b = value->str ? std::strlen(value->str) : 0;
            auto* joined = static_cast<char*>(MEM_ALLOC_RAW(a + b + 1));
            if (a) std::memcpy(joined, cell->str, a);
            if (b) std::memcpy(joined + a, value->str, b);
            joined[a + b] = '\0';
            MEM_FREE(cell->str);
            cell->str = joined;
            return;
        }
    }
    Value_Copy(cell, value);
}

namespace {

// The number of cells of a size, or the end of the run when no block can hold them.
size_t CellBytes(int width, int height) {
    const auto cells = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (cells > MemoryManager::kMaxBlockSize / sizeof(ScriptValue)) MemoryManager::OutOfMemory();
    return static_cast<size_t>(cells) * sizeof(ScriptValue);
}

} // namespace

CDS_Grid::CDS_Grid(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    SetSize(width, height);
    m_width = width;
    m_height = height;
}

void CDS_Grid::SetSize(int width, int height) {
    DS_ReleaseValues(m_cells, CellCount());
    if (width > 0 && height > 0) {
        MemoryManager::SetLength(m_cells, CellBytes(width, height), __FILE__, __LINE__);
        m_width = width;
        m_height = height;
        return;
    }
    MEM_FREE(m_cells);
    m_cells = nullptr;
    m_width = m_height = 0;
}

void CDS_Grid::Assign(const CDS_Grid* source) {
    if (source == this) return;
    if (!source) {
        Free();
        return;
    }
    SetSize(source->m_width, source->m_height);
    for (int64_t i = 0; i < CellCount(); ++i)
        Value_Copy(&m_cells[i], &source->m_cells[i]);
}

void CDS_Grid::Resize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    ScriptValue* fresh = width > 0 && height > 0
                             ? static_cast<ScriptValue*>(MEM_ALLOC(CellBytes(width, height)))
                             : nullptr;
    if (fresh) {
        const int w = std::min(width, m_width), h = std::min(height, m_height);
        for (int y = 0; y < h && m_cells; ++y)
            for (int x = 0; x < w; ++x)
                Value_Copy(&fresh[static_cast<int64_t>(y) * width + x], Cell(x, y));
    }
    Free();
    m_cells = fresh;
    m_width = fresh ? width : 0;
    m_height = fresh ? height : 0;
}

void CDS_Grid::SetAll(const ScriptValue* value) {
    for (int64_t i = 0; i < CellCount(); ++i)
        Value_Copy(&m_cells[i], value);
}

void CDS_Grid::Free() {
    DS_ReleaseValues(m_cells, CellCount());
    MEM_FREE(m_cells);
    m_cells = nullptr;
    m_width = m_height = 0;
}

void CDS_Grid::Adopt(ScriptValue* cells, int width, int height) {
    Free();
    if (width > 0 && height > 0) {
        m_cells = cells;
        m_width = width;
        m_height = height;
    } else {
        MEM_FREE(cells);
    }
}

GridArea CDS_Grid::Rectangle(int x1, int y1, int x2, int y2) const {
    return {std::max(0, std::min(x1, x2)), std::max(0, std::min(y1, y2)), std::min(m_width - 1, std::max(x1, x2)),
            std::min(m_height - 1, std::max(y1, y2))};
}

GridArea CDS_Grid::DiskBox(double xm, double ym, double r) const {
    // Bounds as reals first: a centre or radius far outside the grid (or NaN) gives no cells.
    auto span = [](double lo, double hi, int size, int& first, int& last) {
        lo = std::floor(lo);
        hi = std::ceil(hi);
        if (!(lo <= hi) || hi < 0 || lo > size - 1) {
            first = 0;
            last = -1;
            return;
        }
        first = static_cast<int>(std::max(lo, 0.0));
        last = static_cast<int>(std::min(hi, size - 1.0));
    };
    GridArea box{};
    span(xm - r, xm + r, m_width, box.x1, box.x2);
    span(ym - r, ym + r, m_height, box.y1, box.y2);
    return box;
}

void CDS_Grid::WalkOp(int op, const GridWalk& walk, const ScriptValue* value) {
    Walk(walk, [&](int x, int y) {
        DS_ValueOp(op, Cell(x, y), value);
        return false;
    });
}

double CDS_Grid::GetSum(const GridWalk& walk) const {
    double sum = 0;
    Walk(walk, [&](int x, int y) {
        const ScriptValue* cell = Cell(x, y);
        if (cell->kind == KIND_REAL) sum += cell->real;
        return false;
    });
    return sum;
}

double CDS_Grid::GetMean(const GridWalk& walk) const {
    double sum = 0;
    int64_t reals = 0;
    Walk(walk, [&](int x, int y) {
        const ScriptValue* cell = Cell(x, y);
        if (cell->kind == KIND_REAL) {
            sum += cell->real;
            ++reals;
        }
        return false;
    });
    return reals ? sum / static_cast<double>(reals) : 0.0;
}

const ScriptValue* CDS_Grid::GetExtreme(const GridWalk& walk, bool max) const {
    const ScriptValue* best = nullptr;
    Walk(walk, [&](int x, int y) {
        const ScriptValue* cell = Cell(x, y);
        if (!best) {
            best = cell;
        } else if (cell->kind == best->kind) {
            int order = 0;
            if (cell->kind == KIND_REAL)
                order = cell->real > best->real ? 1 : (cell->real < best->real ? -1 : 0);
            else if (cell->kind == KIND_STRING)
                order = DS_CompareText(cell->str, best->str);
            if (max ? order > 0 : order < 0) best = cell;
        }
        return false;
    });
    return best;
}

bool CDS_Grid::FindValue(const GridWalk& walk, const ScriptValue* value, int* x, int* y) const {
    bool found = false;
    Walk(walk, [&](int cx, int cy) {
        if (DS_Compare(Cell(cx, cy), value) != 0) return false;
        *x = cx;
        *y = cy;
        found = true;
        return true;
    });
    return found;
}

void CDS_Grid::GridRegionOp(int op, const CDS_Grid& source, int x1, int y1, int x2, int y2, int xpos, int ypos) {
    // In 64 bits: positions and corners come from scripts and may lie anywhere in the 32-bit range.
    int64_t xs = std::max(0, std::min(x1, x2)), xe = std::min(source.m_width - 1, std::max(x1, x2));
    int64_t ys = std::max(0, std::min(y1, y2)), ye = std::min(source.m_height - 1, std::max(y1, y2));
    int64_t px = xpos, py = ypos;
    if (px < 0) {
        xs -= px;
        px = 0;
    }
    if (py < 0) {
        ys -= py;
        py = 0;
    }
    if (xe - xs + px > m_width - 1) xe = m_width - px + xs - 1;
    if (ye - ys + py > m_height - 1) ye = m_height - py + ys - 1;
    if (xs > xe || ys > ye) return;

    // Walk away from the destination so that a region copied onto itself reads cells not yet written.
    const bool xDown = xs < px, yDown = ys < py;
    for (int64_t i = 0; i <= xe - xs; ++i) {
        const int64_t x = xDown ? xe - i : xs + i;
        for (int64_t j = 0; j <= ye - ys; ++j) {
            const int64_t y = yDown ? ye - j : ys + j;
            const int64_t dx = px + x - xs, dy = py + y - ys;
            if (x < 0 || x >= source.m_width || y < 0 || y >= source.m_height) continue;
            if (dx < 0 || dx >= m_width || dy < 0 || dy >= m_height) continue;
            DS_ValueOp(op, Cell(static_cast<int>(dx), static_cast<int>(dy)),
                       source.Cell(static_cast<int>(x), static_cast<int>(y)));
        }
    }
}

void CDS_Grid::Shuffle() {
    const int64_t rounds = 8 * CellCount();
    for (int64_t round = 0; round < rounds; ++round) {
        const int x1 = static_cast<int>(Random_Int(m_width));
        const int x2 = static_cast<int>(Random_Int(m_width));
        const int y1 = static_cast<int>(Random_Int(m_height));
        const int y2 = static_cast<int>(Random_Int(m_height));
        if (x1 != x2 && y1 != y2) std::swap(*Cell(x1, y1), *Cell(x2, y2));
    }
}

namespace {

// The order of two rows by their cells of the sort column: reals by their difference, strings byte by
// byte, and (ascending) every other value before the reals.
int GridSortCompare(const ScriptValue* a, const ScriptValue* b, int direction) {
    if (a->kind == KIND_REAL && b->kind == KIND_REAL) {
        const double d = a->real - b->real;
        if (d == 0) return 0;
        return d < 0 ? -direction : direction;
    }
    if (!(a->kind == KIND_STRING && b->kind == KIND_STRING)) return a->kind == KIND_REAL ? direction : -direction;
    const int order = DS_CompareText(a->str, b->str);
    return order == 0 ? 0 : (order < 0 ? -direction : direction);
}

// A stable merge sort of row numbers; a right-hand row goes first only when the left one compares after
// it. The comparison is not a consistent order for every pair of values, so the sort relies on nothing
// but the two rows it compares.
template <typename After> void MergeSort(std::vector<int>& rows, After after) {
    std::vector<int> scratch(rows.size());
    for (size_t width = 1; width < rows.size(); width *= 2) {
        for (size_t lo = 0; lo < rows.size(); lo += 2 * width) {
            const size_t mid = std::min(lo + width, rows.size()), hi = std::min(lo + 2 * width, rows.size());
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                scratch[k++] = after(rows[i], rows[j]) ? rows[j++] : rows[i++];
            while (i < mid)
                scratch[k++] = rows[i++];
            while (j < hi)
                scratch[k++] = rows[j++];
        }
        rows.swap(scratch);
    }
}

} // namespace

void CDS_Grid::Sort(int column, int direction) {
    if (column < 0 || column >= m_width || !m_cells) return;
    std::vector<int> order(static_cast<size_t>(m_height));
    for (int y = 0; y < m_height; ++y)
        order[static_cast<size_t>(y)] = y;
    MergeSort(order, [&](int a, int b) { return GridSortCompare(Cell(column, a), Cell(column, b), direction) > 0; });

    // Rows move as raw records: every value keeps its one owner.
    const size_t bytes = static_cast<size_t>(CellCount()) * sizeof(ScriptValue);
    std::vector<ScriptValue> copy(static_cast<size_t>(CellCount()));
    std::memcpy(static_cast<void*>(copy.data()), m_cells, bytes);
    for (int y = 0; y < m_height; ++y) {
        const int from = order[static_cast<size_t>(y)];
        if (from == y) continue;
        std::memcpy(static_cast<void*>(Cell(0, y)), &copy[static_cast<size_t>(from) * m_width],
                    sizeof(ScriptValue) * static_cast<size_t>(m_width));
    }
}
