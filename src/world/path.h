// Paths: ordered points, each with a position and a relative speed, and the curve computed from them
// (the polyline that drawing and following interpolate along); the path table, loaded from the "PATH"
// chunk and edited by scripts.
//
// Points and curve records are single precision. The curve is recomputed after every change, so readers
// never see a stale one.
#pragma once

#include "data/data_view.h"

#include <cstdint>
#include <vector>

class CPath {
public:
    struct Point {
        float x, y, speed; // speed: a percentage of the follower's path speed
    };
    struct CurvePoint {
        float x, y, speed;
        float length; // distance along the curve from its first record
    };

    // Reads a record {name offset, kind, closed, precision, m, m x (x, y, speed)} lying inside chunk; name
    // receives the record's name in the file (null for none). False when the record or its points do not
    // fit the chunk or its name is not terminated inside the file. The precision is kept as stored.
    bool Load(const CDataView& file, const IFFChunk& chunk, uint32_t record, const char** name);
    // Copies the kind, closed flag, precision and points of other.
    void Assign(const CPath& other);
    // Drops every point and the curve; the kind, closed flag and precision stay.
    void Clear();

    int AddPoint(float x, float y, float speed);
    void InsertPoint(int i, float x, float y, float speed);
    void ChangePoint(int i, float x, float y, float speed);
    void DeletePoint(int i);
    // Point i, or a shared (0, 0, 1) when i is out of range.
    const Point& GetPoint(int i) const;

    int GetNumber() const { return static_cast<int>(m_points.size()); }
    int GetKind() const { return m_kind; }
    bool GetClosed() const { return m_closed; }
    int GetPrecision() const { return m_precision; }
    float GetLength() const { return m_length; }
    // Any kind above 1 (taken unsigned) becomes straight.
    void SetKind(int kind);
    void SetClosed(bool closed);
    // Kept within 0..8.
    void SetPrecision(int precision);

    // The curve's point at fraction t of its length; (0, 0) at speed 100 without a curve.
    void GetPosition(float t, float* x, float* y, float* speed) const;
    float GetX(float t) const;
    float GetY(float t) const;
    float GetSpeed(float t) const;
    // The centre of the points' bounding box; (0, 0) without points.
    void GetCentre(float* x, float* y) const;

    void Shift(float dx, float dy);
    void Mirror();
    void Flip();
    // A positive angle (degrees) turns the path anticlockwise on screen.
    void Rotate(float degrees);
    void Rescale(float sx, float sy);
    void Reverse();
    void Append(const CPath* other);
    // Appends the points in order and recomputes once.
    void AddPoints(std::vector<Point> points);

    // A line strip through the curve every 4 pixels or so, in the drawing colour: at its own coordinates
    // when absolute, else moved so that it starts at (x, y). Nothing for a path shorter than 2 pixels. A
    // long path goes out as several strips, each starting where the one before it ended.
    void Draw(float x, float y, bool absolute) const;

    const std::vector<CurvePoint>& Curve() const { return m_curve; }

private:
    void Compute();
    void ComputeStraight();
    void ComputeSmooth();
    void Subdivide(int depth, const Point& a, const Point& b, const Point& c);
    void AddCurvePoint(const Point& point);
    void ComputeLength();
    // GetPosition with the search along the curve starting at record *cursor, which receives the record
    // it ended on: a caller going forward in t passes the same cursor each time.
    void PositionFrom(size_t* cursor, float t, float* x, float* y, float* speed) const;
    // Applies f to every point taken relative to the centre, then recomputes.
    template <typename Transform> void TransformAboutCentre(Transform transform);

    std::vector<Point> m_points;
    std::vector<CurvePoint> m_curve;
    int32_t m_kind = 0;
    bool m_closed = true;
    int32_t m_precision = 4;
    float m_length = 0;
};

// A curve's length so far after one more leg, from (x0, y0) to (x1, y1), summed as curves sum them.
float Path_LengthWithLeg(float length, float x0, float y0, float x1, float y1);

// Start-up: the table is empty.
void Path_Init();
// Frees every path and empties the table (before the data file's chunks are read, and at shutdown).
void Path_Clear();
// The "PATH" chunk loader (list: its checked record offsets; 0 = empty slot). False, with a message on
// the debug console, when a record is damaged (see CPath::Load).
bool Path_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);

int Path_Count();
bool Path_Exists(int index);
// "<undefined>" when there is no path of that index.
const char* Path_GetName(int index);
// The lowest index of a path with exactly that name (case counts); -1 when none.
int Path_FindByName(const char* name);
// The path of an index; null when there is none.
CPath* Path_Data(int index);
// Appends a new empty path named "__newpath<index>"; gives its index.
int Path_Add();
bool Path_Delete(int index);
// A copy under a new slot named as Path_Add names it; -1 when there is no such path.
int Path_Duplicate(int index);
// Copies path source into slot destination (made when empty, with the name ""). Assigning a path to
// itself is a run-time error; false then, and when source is not a path or destination is outside the
// table.
bool Path_Assign(int destination, int source);
