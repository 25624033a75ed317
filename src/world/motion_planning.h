// Motion planning: moving an instance towards a goal around other instances, one step at a time or by
// writing a whole route into a path. A straight-line planner, a potential-field planner that turns away
// from obstacles, and grids of free and blocked cells searched breadth-first for a shortest route.
#pragma once

#include "world/path.h"

#include <cstdint>
#include <vector>

class CInstance;

// Free for the planners: with object -3, no solid instance (all: no instance at all) meets the instance
// placed at (x, y); otherwise no instance of that object, or the instance of that id, meets it.
bool Motion_PlaceFree(CInstance* instance, float x, float y, int object, bool all);

// Degrees 0..360 from the first point to the second, anticlockwise on screen with y downwards.
float Motion_PointDirection(float x1, float y1, float x2, float y2);
// The smaller angle between two directions, 0..180.
float Motion_AngleDifference(float a, float b);

// One straight step of at most step towards (x, y), taken only when the place is free; true when the
// goal lay within the step (even when that last move was blocked).
bool Motion_LinearStep(CInstance* instance, float x, float y, float step, int object, bool all);
// The route of straight steps into the path (made straight and open); the instance's x, y and direction
// are restored. False when the path does not exist, step is not above 0, or a step could not move (the
// path then holds the route so far).
bool Motion_LinearPath(CInstance* instance, int path, float x, float y, float step, int object, bool all);

// The potential-field settings; each number below 1 is stored as 1.
void Motion_PotentialSettings(float maxRotation, float rotationStep, float ahead, bool onSpot);
struct PotentialSettings {
    float maxRotation = 30;
    float rotationStep = 10;
    float ahead = 3;
    bool onSpot = true;
};
const PotentialSettings& Motion_GetPotentialSettings();
// One step towards (x, y) on the free heading closest to the goal's within the maximum rotation; true
// when the goal lay within the step.
bool Motion_PotentialStep(CInstance* instance, float x, float y, float step, int object, bool all);
// Moves the instance one step on heading when the heading is within the maximum rotation of its
// direction and the places one step and the look-ahead ahead are free.
bool Motion_PotentialTryDirection(float heading, CInstance* instance, float step, int object, bool all);
// The route of potential steps into the path; false (the instance restored, the path holding the route
// so far) when the path does not exist, factor is below 1, step is not above 0, the route grows longer
// than factor times the straight distance, or the instance is stuck where it stands.
bool Motion_PotentialPath(CInstance* instance, int path, float x, float y, float step, float factor, int object,
                          bool all);

// A route given up on by the planners: more points than this.
constexpr int kMaxRoutePoints = 100000;
// Grids of more cells than this are refused.
constexpr int64_t kMaxGridCells = int64_t{1} << 26;

class CGrid {
public:
    CGrid(int left, int top, int horizontal, int vertical, int cellWidth, int cellHeight);

    // -1 blocked, 0 free; positive values are distances, only while a search runs.
    int32_t Cell(int h, int v) const { return m_cells[Index(h, v)]; }
    int Horizontal() const { return m_horizontal; }
    int Vertical() const { return m_vertical; }

    void ClearAll();
    void ClearCell(int h, int v);
    void AddCell(int h, int v);
    // Every cell the room rectangle touches becomes free / blocked.
    void ClearRectangle(int x1, int y1, int x2, int y2);
    void AddRectangle(int x1, int y1, int x2, int y2);
    // Blocks the cells under the instance's bounding box; precise: only those its shape meets.
    void AddInstances(CInstance* instance, bool precise);
    // A shortest route from the start cell to the goal cell into the path (straight, open): the start,
    // the centres of the cells between, the goal. False, the path unchanged, when there is none.
    bool ComputePath(CPath* path, int xstart, int ystart, int xgoal, int ygoal, bool diagonal);
    // Every cell as a filled rectangle, red when blocked, green when free.
    void Draw() const;

private:
    size_t Index(int h, int v) const { return static_cast<size_t>(h) * m_vertical + v; }
    bool Inside(int h, int v) const { return h >= 0 && h < m_horizontal && v >= 0 && v < m_vertical; }
    // The cell holding room position (x, y); false outside the grid.
    bool CellAt(int x, int y, int& h, int& v) const;
    // The inclusive column and row ranges a rectangle touches, cut to the grid.
    void RectangleCells(int x1, int y1, int x2, int y2, int& h1, int& v1, int& h2, int& v2) const;
    void FillRectangle(int x1, int y1, int x2, int y2, int32_t value);
    // From the goal cell back to the start cell along falling distances: the centres of the cells
    // passed, goal side first.
    std::vector<CPath::Point> WalkBack(int hs, int vs, int hg, int vg, bool diagonal) const;

    int32_t m_left, m_top;
    int32_t m_cellWidth, m_cellHeight;
    int32_t m_horizontal, m_vertical;
    std::vector<int32_t> m_cells; // column after column
};

// A new grid in the lowest free slot; its id. -1 for a cell size not above 0 or a negative cell count,
// and (with a run-time error) for a grid of more than kMaxGridCells cells.
int Grid_Create(int left, int top, int horizontal, int vertical, int cellWidth, int cellHeight);
void Grid_Destroy(int id);
// The grid of an id; null when there is none.
CGrid* Grid_Data(int id);
// Deletes every grid (game end).
void Grid_Free();
