#include "world/motion_planning.h"

#include "core/convert.h"
#include "graphics/draw/draw.h"
#include "script/vm/vm_error.h"
#include "world/instance.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr double kPi = static_cast<double>(static_cast<float>(3.14159265358979323846));
constexpr float kRouteSpeed = 100;
constexpr uint32_t kBlockedColour = 255;  // red
constexpr uint32_t kFreeColour = 32768;   // green
constexpr int32_t kBlocked = -1;

float F(double v) {
    return X86_DoubleToFloat(v);
}

// NaN counts as the same place: a planner whose instance went to NaN has stopped moving.
bool SamePlace(float a, float b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool Stayed(const CInstance* instance, float x, float y) {
    return SamePlace(instance->x, x) && SamePlace(instance->y, y);
}

float DistanceTo(const CInstance* instance, float x, float y) {
    const double dx = static_cast<double>(x) - instance->x;
    const double dy = static_cast<double>(y) - instance->y;
    return F(std::sqrt(dx * dx + dy * dy));
}

PotentialSettings g_potential;

// Into [0, 360): a with zero counted as below the range, b without; both give the same result.
float NormaliseAngle(float a, bool zeroBelow) {
    double v = std::fmod(static_cast<double>(a), 360.0);
    while (v < 0 || (zeroBelow && v == 0))
        v = F(v + 360.0);
    while (v >= 360)
        v = F(v - 360.0);
    return F(v);
}

// A planner's run: the instance's place and direction are kept to be put back, and the route is
// gathered here and written into the path once.
class Route {
public:
    Route(CInstance* instance, CPath* path) : m_instance(instance), m_path(path) {
        m_x = instance->x;
        m_y = instance->y;
        m_direction = instance->direction;
        path->Clear();
        path->SetKind(0);
        path->SetClosed(false);
        Add(m_x, m_y);
    }
    void Add(float x, float y) {
        if (!m_points.empty()) {
            const CPath::Point& last = m_points.back();
            m_length = Path_LengthWithLeg(m_length, last.x, last.y, x, y);
        }
        m_points.push_back(CPath::Point{x, y, kRouteSpeed});
    }
    void AddInstance() { Add(m_instance->x, m_instance->y); }
    float Length() const { return m_length; }
    bool Full() const { return m_points.size() >= static_cast<size_t>(kMaxRoutePoints); }
    // Writes the route into the path and puts the instance back; gives found.
    bool End(bool found) {
        m_path->AddPoints(std::move(m_points));
        m_instance->SetPosition(m_x, m_y);
        m_instance->SetDirection(m_direction);
        return found;
    }

private:
    CInstance* m_instance;
    CPath* m_path;
    float m_x, m_y, m_direction;
    float m_length = 0;
    std::vector<CPath::Point> m_points;
};

} // namespace

bool Motion_PlaceFree(CInstance* instance, float x, float y, int object, bool all) {
    if (object != INSTANCE_ALL) return !Instance_PlaceMeeting(instance, object, x, y);
    return all ? Instance_PlaceEmpty(instance, x, y) : Instance_PlaceFree(instance, x, y);
}

float Motion_PointDirection(float x1, float y1, float x2, float y2) {
    const float dx = F(static_cast<double>(x2) - x1);
    const float dy = F(static_cast<double>(y2) - y1);
    if (dx == 0) return dy > 0 ? 270.0f : dy < 0 ? 90.0f : 0.0f;
    const float a = F(std::atan2(static_cast<double>(dy), static_cast<double>(dx)) * 180.0 / kPi);
    return a <= 0 ? -a : F(360.0 - a);
}

float Motion_AngleDifference(float a, float b) {
    const double d = std::fabs(static_cast<double>(NormaliseAngle(b, false)) - NormaliseAngle(a, true));
    return F(d > 180 ? 360.0 - d : d);
}

// ---- The straight-line planner

bool Motion_LinearStep(CInstance* instance, float x, float y, float step, int object, bool all) {
    if (instance->x == x && instance->y == y) return true;
    const float d = DistanceTo(instance, x, y);
    const bool reached = step >= d;
    float tx = x, ty = y;
    if (!reached) {
        tx = F(instance->x + (static_cast<double>(x) - instance->x) * step / d);
        ty = F(instance->y + (static_cast<double>(y) - instance->y) * step / d);
    }
    if (Motion_PlaceFree(instance, tx, ty, object, all)) {
        instance->SetDirection(Motion_PointDirection(instance->x, instance->y, tx, ty));
        instance->SetPosition(tx, ty);
    }
    return reached;
}

bool Motion_LinearPath(CInstance* instance, int pathIndex, float x, float y, float step, int object, bool all) {
    CPath* path = Path_Data(pathIndex);
    if (!path || step <= 0) return false;
    Route route(instance, path);
    for (;;) {
        const float px = instance->x, py = instance->y;
        if (Motion_LinearStep(instance, x, y, step, object, all)) break;
        if (Stayed(instance, px, py) || route.Full()) return route.End(false);
        route.AddInstance();
    }
    route.Add(x, y);
    return route.End(true);
}

// ---- The potential-field planner

void Motion_PotentialSettings(float maxRotation, float rotationStep, float ahead, bool onSpot) {
    g_potential.maxRotation = maxRotation < 1 ? 1 : maxRotation;
    g_potential.rotationStep = rotationStep < 1 ? 1 : rotationStep;
    g_potential.ahead = ahead < 1 ? 1 : ahead;
    g_potential.onSpot = onSpot;
}

const PotentialSettings& Motion_GetPotentialSettings() {
    return g_potential;
}

bool Motion_PotentialTryDirection(float heading, CInstance* instance, float step, int object, bool all) {
    if (Motion_AngleDifference(heading, instance->direction) > g_potential.maxRotation) return false;
    const float radians = F(heading * kPi / 180.0);
    const float c = F(std::cos(static_cast<double>(radians)));
    const float s = F(std::sin(static_cast<double>(radians)));
    const double ahead = static_cast<double>(g_potential.ahead) * step;
    if (!Motion_PlaceFree(instance, F(instance->x + c * ahead), F(instance->y - s * ahead), object, all)) return false;
    const float sx = F(instance->x + static_cast<double>(c) * step);
    const float sy = F(instance->y - static_cast<double>(s) * step);
    if (!Motion_PlaceFree(instance, sx, sy, object, all)) return false;
    instance->SetDirection(heading);
    instance->SetPosition(sx, sy);
    return true;
}

bool Motion_PotentialStep(CInstance* instance, float x, float y, float step, int object, bool all) {
    if (instance->x == x && instance->y == y) return true;
    if (step >= DistanceTo(instance, x, y)) {
        if (Motion_PlaceFree(instance, x, y, object, all)) {
            instance->SetDirection(Motion_PointDirection(instance->x, instance->y, x, y));
            instance->SetPosition(x, y);
        }
        return true;
    }
    const float goal = Motion_PointDirection(instance->x, instance->y, x, y);
    // Headings ever further from the goal's, on both sides; the step is at least 1 (or NaN, which ends
    // the search after the goal's own heading).
    for (int k = 0;; ++k) {
        const float a = k == 0 ? 0.0f : F(static_cast<double>(g_potential.rotationStep) * k);
        if (!(a < 180)) break;
        if (Motion_PotentialTryDirection(F(static_cast<double>(goal) - a), instance, step, object, all)) return false;
        if (Motion_PotentialTryDirection(F(static_cast<double>(goal) + a), instance, step, object, all)) return false;
    }
    if (g_potential.onSpot)
        instance->SetDirection(F(static_cast<double>(instance->direction) + g_potential.maxRotation));
    return false;
}

bool Motion_PotentialPath(CInstance* instance, int pathIndex, float x, float y, float step, float factor, int object,
                          bool all) {
    CPath* path = Path_Data(pathIndex);
    if (!path || factor < 1 || step <= 0) return false;
    const double limit = static_cast<double>(DistanceTo(instance, x, y)) * factor;
    // An instance that stays put has tried every heading once it has turned on the spot all the way
    // round (at once when it does not turn): nothing will change after that.
    int stuckLimit = 1;
    if (g_potential.onSpot) {
        const double turns = std::ceil(360.0 / g_potential.maxRotation);
        stuckLimit = turns >= 1 && turns <= 360 ? static_cast<int>(turns) : 1;
    }
    Route route(instance, path);
    int stuck = 0;
    for (;;) {
        const float px = instance->x, py = instance->y;
        if (Motion_PotentialStep(instance, x, y, step, object, all)) break;
        route.AddInstance();
        stuck = Stayed(instance, px, py) ? stuck + 1 : 0;
        if (route.Length() > limit || stuck >= stuckLimit || route.Full()) return route.End(false);
    }
    route.Add(x, y);
    return route.End(true);
}

// ---- Grids

namespace {

std::vector<CGrid*> g_grids;

// The queue of the breadth-first search, shared by every grid: a ring of cell indices whose size is a
// power of two, doubled when a push would fill it.
class CellQueue {
public:
    void Clear() { m_head = m_tail = 0; }
    bool Empty() const { return m_head == m_tail; }
    void Push(size_t cell) {
        if (m_ring.empty()) m_ring.resize(4096);
        if (((m_tail + 1) & (m_ring.size() - 1)) == m_head) Grow();
        m_ring[m_tail] = cell;
        m_tail = (m_tail + 1) & (m_ring.size() - 1);
    }
    size_t Pop() {
        const size_t cell = m_ring[m_head];
        m_head = (m_head + 1) & (m_ring.size() - 1);
        return cell;
    }

private:
    void Grow() {
        std::vector<size_t> bigger(m_ring.size() * 2);
        size_t n = 0;
        while (!Empty())
            bigger[n++] = Pop();
        m_ring = std::move(bigger);
        m_head = 0;
        m_tail = n;
    }
    std::vector<size_t> m_ring;
    size_t m_head = 0, m_tail = 0;
};

CellQueue g_queue;

// Room coordinate to column or row, truncating toward zero; in 64 bits, so no grid position overflows.
int64_t Column(int64_t x, int64_t left, int64_t size) {
    return (x - left) / size;
}

int ClampToRange(int64_t v, int low, int high) {
    return static_cast<int>(std::clamp<int64_t>(v, low, high));
}

} // namespace

CGrid::CGrid(int left, int top, int horizontal, int vertical, int cellWidth, int cellHeight)
    : m_left(left), m_top(top), m_cellWidth(cellWidth), m_cellHeight(cellHeight), m_horizontal(horizontal),
      m_vertical(vertical), m_cells(static_cast<size_t>(horizontal) * static_cast<size_t>(vertical), 0) {}

void CGrid::ClearAll() {
    std::fill(m_cells.begin(), m_cells.end(), 0);
}

void CGrid::ClearCell(int h, int v) {
    if (Inside(h, v)) m_cells[Index(h, v)] = 0;
}

void CGrid::AddCell(int h, int v) {
    if (Inside(h, v)) m_cells[Index(h, v)] = kBlocked;
}

void CGrid::RectangleCells(int x1, int y1, int x2, int y2, int& h1, int& v1, int& h2, int& v2) const {
    // Columns beyond the grid on either side are cut off; a range wholly outside comes out empty.
    const int64_t lowH = Column(std::min(x1, x2), m_left, m_cellWidth);
    const int64_t highH = Column(std::max(x1, x2), m_left, m_cellWidth);
    const int64_t lowV = Column(std::min(y1, y2), m_top, m_cellHeight);
    const int64_t highV = Column(std::max(y1, y2), m_top, m_cellHeight);
    h1 = ClampToRange(lowH, 0, m_horizontal);
    h2 = ClampToRange(highH, -1, m_horizontal - 1);
    v1 = ClampToRange(lowV, 0, m_vertical);
    v2 = ClampToRange(highV, -1, m_vertical - 1);
}

void CGrid::FillRectangle(int x1, int y1, int x2, int y2, int32_t value) {
    int h1, v1, h2, v2;
    RectangleCells(x1, y1, x2, y2, h1, v1, h2, v2);
    for (int h = h1; h <= h2; ++h)
        for (int v = v1; v <= v2; ++v)
            m_cells[Index(h, v)] = value;
}

void CGrid::ClearRectangle(int x1, int y1, int x2, int y2) {
    FillRectangle(x1, y1, x2, y2, 0);
}

void CGrid::AddRectangle(int x1, int y1, int x2, int y2) {
    FillRectangle(x1, y1, x2, y2, kBlocked);
}

void CGrid::AddInstances(CInstance* instance, bool precise) {
    if (instance->bboxStale) instance->ComputeBoundingBox();
    int h1, v1, h2, v2;
    RectangleCells(instance->bbox_left, instance->bbox_top, instance->bbox_right, instance->bbox_bottom, h1, v1, h2,
                   v2);
    for (int h = h1; h <= h2; ++h) {
        for (int v = v1; v <= v2; ++v) {
            int32_t& cell = m_cells[Index(h, v)];
            if (!precise) {
                cell = kBlocked;
                continue;
            }
            if (cell == kBlocked) continue;
            const int64_t left = m_left + int64_t{m_cellWidth} * h;
            const int64_t top = m_top + int64_t{m_cellHeight} * v;
            if (instance->CollisionRectangle(static_cast<float>(left), static_cast<float>(top),
                                             static_cast<float>(left + m_cellWidth - 1),
                                             static_cast<float>(top + m_cellHeight - 1), true))
                cell = kBlocked;
        }
    }
}

bool CGrid::CellAt(int x, int y, int& h, int& v) const {
    const int64_t dx = int64_t{x} - m_left;
    const int64_t dy = int64_t{y} - m_top;
    if (dx < 0 || dy < 0 || dx >= int64_t{m_horizontal} * m_cellWidth || dy >= int64_t{m_vertical} * m_cellHeight)
        return false;
    h = static_cast<int>(dx / m_cellWidth);
    v = static_cast<int>(dy / m_cellHeight);
    return true;
}

namespace {

struct Move {
    int dh, dv;
};
// The orthogonal moves in the order both the search and the walk back take them.
constexpr Move kOrthogonal[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
// The diagonal moves in the search's order, and in the walk back's.
constexpr Move kSearchDiagonal[] = {{-1, 1}, {-1, -1}, {1, 1}, {1, -1}};
constexpr Move kWalkDiagonal[] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};

} // namespace

bool CGrid::ComputePath(CPath* path, int xstart, int ystart, int xgoal, int ygoal, bool diagonal) {
    if (!path) return false;
    g_queue.Clear();
    int hs, vs, hg, vg;
    if (!CellAt(xstart, ystart, hs, vs) || m_cells[Index(hs, vs)] != 0) return false;
    if (!CellAt(xgoal, ygoal, hg, vg) || m_cells[Index(hg, vg)] != 0) return false;

    m_cells[Index(hs, vs)] = 1;
    g_queue.Push(Index(hs, vs));
    bool found = false;
    while (!g_queue.Empty()) {
        const size_t at = g_queue.Pop();
        const int h = static_cast<int>(at / m_vertical);
        const int v = static_cast<int>(at % m_vertical);
        if (h == hg && v == vg) {
            found = true;
            break;
        }
        const int32_t d = m_cells[at] + 1;
        // Which neighbours were free before this cell gave any of them a distance.
        bool free[3][3];
        for (int dh = -1; dh <= 1; ++dh)
            for (int dv = -1; dv <= 1; ++dv)
                free[dh + 1][dv + 1] = Inside(h + dh, v + dv) && m_cells[Index(h + dh, v + dv)] == 0;
        auto reach = [&](const Move& m) {
            m_cells[Index(h + m.dh, v + m.dv)] = d;
            g_queue.Push(Index(h + m.dh, v + m.dv));
        };
        for (const Move& m : kOrthogonal)
            if (free[m.dh + 1][m.dv + 1]) reach(m);
        if (!diagonal) continue;
        // A diagonal never cuts a corner: both cells beside it must have been free too.
        for (const Move& m : kSearchDiagonal)
            if (free[m.dh + 1][m.dv + 1] && free[m.dh + 1][1] && free[1][m.dv + 1]) reach(m);
    }

    if (found) {
        std::vector<CPath::Point> points = WalkBack(hs, vs, hg, vg, diagonal);
        points.insert(points.begin(), CPath::Point{static_cast<float>(xgoal), static_cast<float>(ygoal), kRouteSpeed});
        points.push_back(CPath::Point{static_cast<float>(xstart), static_cast<float>(ystart), kRouteSpeed});
        std::reverse(points.begin(), points.end());
        path->Clear();
        path->SetKind(0);
        path->SetClosed(false);
        path->AddPoints(std::move(points));
    }
    for (int32_t& cell : m_cells)
        if (cell > 0) cell = 0;
    return found;
}

std::vector<CPath::Point> CGrid::WalkBack(int hs, int vs, int hg, int vg, bool diagonal) const {
    std::vector<CPath::Point> centres;
    int h = hg, v = vg;
    auto value = [&](int ch, int cv) { return Inside(ch, cv) ? m_cells[Index(ch, cv)] : 0; };
    while (h != hs || v != vs) {
        const int32_t wanted = m_cells[Index(h, v)] - 1;
        const Move* next = nullptr;
        for (const Move& m : kOrthogonal)
            if (!next && value(h + m.dh, v + m.dv) == wanted) next = &m;
        // A diagonal is taken only where neither cell beside its corner is blocked.
        if (diagonal)
            for (const Move& m : kWalkDiagonal)
                if (!next && value(h + m.dh, v + m.dv) == wanted && value(h + m.dh, v) != kBlocked &&
                    value(h, v + m.dv) != kBlocked)
                    next = &m;
        if (!next || wanted < 1) break; // every reached cell has a neighbour one nearer the start
        h += next->dh;
        v += next->dv;
        if (h == hs && v == vs) break;
        const int64_t cx = m_left + int64_t{m_cellWidth} * h + m_cellWidth / 2;
        const int64_t cy = m_top + int64_t{m_cellHeight} * v + m_cellHeight / 2;
        centres.push_back(CPath::Point{static_cast<float>(cx), static_cast<float>(cy), kRouteSpeed});
    }
    return centres;
}

void CGrid::Draw() const {
    for (int h = 0; h < m_horizontal; ++h) {
        for (int v = 0; v < m_vertical; ++v) {
            const uint32_t colour = m_cells[Index(h, v)] == kBlocked ? kBlockedColour : kFreeColour;
            const float x1 = static_cast<float>(m_left + int64_t{m_cellWidth} * h);
            const float y1 = static_cast<float>(m_top + int64_t{m_cellHeight} * v);
            const float x2 = static_cast<float>(m_left + int64_t{m_cellWidth} * (h + 1));
            const float y2 = static_cast<float>(m_top + int64_t{m_cellHeight} * (v + 1));
            GR_Draw_RectangleColour(x1, y1, x2, y2, colour, colour, colour, colour, false);
        }
    }
}

// ---- The grid table

int Grid_Create(int left, int top, int horizontal, int vertical, int cellWidth, int cellHeight) {
    if (cellWidth <= 0 || cellHeight <= 0 || horizontal < 0 || vertical < 0) return -1;
    if (int64_t{horizontal} * vertical > kMaxGridCells) {
        const std::string message = "mp_grid_create: a grid of " + std::to_string(horizontal) + " x " +
                                    std::to_string(vertical) + " cells is too large";
        Code_Error_Report(message.c_str(), false);
        return -1;
    }
    auto* grid = new CGrid(left, top, horizontal, vertical, cellWidth, cellHeight);
    const auto empty = std::find(g_grids.begin(), g_grids.end(), nullptr);
    if (empty != g_grids.end()) {
        *empty = grid;
        return static_cast<int>(empty - g_grids.begin());
    }
    g_grids.push_back(grid);
    return static_cast<int>(g_grids.size()) - 1;
}

CGrid* Grid_Data(int id) {
    return id >= 0 && static_cast<size_t>(id) < g_grids.size() ? g_grids[static_cast<size_t>(id)] : nullptr;
}

void Grid_Destroy(int id) {
    CGrid* grid = Grid_Data(id);
    if (!grid) return;
    delete grid;
    g_grids[static_cast<size_t>(id)] = nullptr;
}

void Grid_Free() {
    for (CGrid* grid : g_grids)
        delete grid;
    g_grids.clear();
}
