#include "world/path.h"

#include "core/console.h"
#include "core/convert.h"
#include "core/text.h"
#include "data/container.h"
#include "graphics/draw/draw.h"
#include "graphics/sprite/resource_table.h"
#include "script/vm/vm_error.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr int kMaxPrecision = 8;
// Legs of the smooth curve whose squared length is at most this are not split further.
constexpr double kSplitDistanceSquared = 16.0;
// Drawing puts a vertex about every this many pixels along the curve.
constexpr float kDrawStep = 4.0f;
constexpr int kLineStrip = 3;
constexpr int kMaxDrawSegments = 1 << 20;

ResourceTable<CPath> g_paths;

void DestroyPath(CPath* path) {
    delete path;
}

float F(double value) {
    return X86_DoubleToFloat(value);
}

CPath::Point Midpoint(const CPath::Point& p, const CPath::Point& q) {
    return {F((static_cast<double>(p.x) + q.x) / 2), F((static_cast<double>(p.y) + q.y) / 2),
            F((static_cast<double>(p.speed) + q.speed) / 2)};
}

double DistanceSquared(const CPath::Point& p, const CPath::Point& q) {
    const double dx = static_cast<double>(p.x) - q.x;
    const double dy = static_cast<double>(p.y) - q.y;
    return dx * dx + dy * dy;
}

} // namespace

// ---- Loading and copying

bool CPath::Load(const CDataView& file, const IFFChunk& chunk, uint32_t record, const char** name) {
    constexpr uint64_t kHeaderSize = 20, kPointSize = 12;
    if (!chunk.Holds(record, kHeaderSize)) return false;
    const uint32_t count = file.WordAt(record + 16ull);
    const int32_t precision = static_cast<int32_t>(file.WordAt(record + 12ull));
    bool textOk = true;
    *name = file.Text(file.WordAt(record), &textOk);
    if (!textOk || !chunk.Holds(record + kHeaderSize, kPointSize * count))
        return false;
    m_kind = static_cast<int32_t>(file.WordAt(record + 4ull));
    m_closed = file.WordAt(record + 8ull) != 0;
    m_precision = precision;
    m_points.resize(count);
    static_assert(sizeof(Point) == kPointSize);
    const uint8_t* at = file.Data() + record + kHeaderSize;
    for (Point& point : m_points) {
        std::memcpy(&point, at, sizeof point);
        at += kPointSize;
    }
    Compute();
    return true;
}

void CPath::Assign(const CPath& other) {
    if (&other == this) return;
    m_kind = other.m_kind;
    m_closed = other.m_closed;
    m_precision = other.m_precision;
    m_points = other.m_points;
    Compute();
}

void CPath::Clear() {
    m_points.clear();
    m_points.shrink_to_fit();
    m_curve.clear();
    m_curve.shrink_to_fit();
    m_length = 0;
}

// ---- Points and settings

int CPath::AddPoint(float x, float y, float speed) {
    m_points.push_back(Point{x, y, speed});
    Compute();
    return GetNumber() - 1;
}

void CPath::InsertPoint(int i, float x, float y, float speed) {
    if (i < 0 || i > GetNumber()) return;
    m_points.insert(m_points.begin() + i, Point{x, y, speed});
    Compute();
}

void CPath::ChangePoint(int i, float x, float y, float speed) {
    if (i < 0 || i >= GetNumber()) return;
    m_points[static_cast<size_t>(i)] = Point{x, y, speed};
    Compute();
}

void CPath::DeletePoint(int i) {
    if (i < 0 || i >= GetNumber()) return;
    m_points.erase(m_points.begin() + i);
    Compute();
}

const CPath::Point& CPath::GetPoint(int i) const {
    static const Point kNone{0, 0, 1};
    if (i < 0 || i >= GetNumber()) return kNone;
    return m_points[static_cast<size_t>(i)];
}

void CPath::SetKind(int kind) {
    m_kind = static_cast<uint32_t>(kind) > 1 ? 0 : kind;
    Compute();
}

void CPath::SetClosed(bool closed) {
    m_closed = closed;
    Compute();
}

void CPath::SetPrecision(int precision) {
    m_precision = std::clamp(precision, 0, kMaxPrecision);
    Compute();
}

// ---- The curve

void CPath::Compute() {
    m_curve.clear();
    if (m_kind == 1)
        ComputeSmooth();
    else
        ComputeStraight();
    ComputeLength();
}

void CPath::AddCurvePoint(const Point& point) {
    m_curve.push_back(CurvePoint{point.x, point.y, point.speed, 0});
}

void CPath::ComputeStraight() {
    for (const Point& point : m_points)
        AddCurvePoint(point);
    if (m_closed && !m_points.empty()) AddCurvePoint(m_points.front());
}

// Each point but the ends of an open path is rounded off by a quadratic Bezier segment from the middle
// of the leg before it to the middle of the leg after it.
void CPath::ComputeSmooth() {
    const int n = GetNumber();
    if (n == 0) return;
    auto point = [&](int i) -> const Point& { return m_points[static_cast<size_t>(i)]; };
    // A file may store any precision; the subdivision deepens exponentially with it, and beyond the
    // editor's range it would only make the curve impossibly large, so it goes no deeper than that. A
    // negative precision sets no depth at all, only the leg length, so it too goes as deep as allowed.
    const int depth = m_precision < 0 ? kMaxPrecision : std::min(m_precision, kMaxPrecision);
    if (!m_closed) {
        AddCurvePoint(point(0));
        for (int i = 1; i < n - 1; ++i)
            Subdivide(depth, Midpoint(point(i - 1), point(i)), point(i), Midpoint(point(i), point(i + 1)));
        AddCurvePoint(point(n - 1));
        return;
    }
    for (int i = 1; i <= n; ++i) {
        const Point& previous = point(i - 1);
        const Point& current = point(i % n);
        const Point& next = point((i + 1) % n);
        Subdivide(depth, Midpoint(previous, current), current, Midpoint(current, next));
    }
    // At precision 0 the segments yield nothing, and with nothing to close the curve stays empty.
    if (!m_curve.empty()) {
        const CurvePoint first = m_curve.front();
        m_curve.push_back(first);
    }
}

// Midpoint splitting of the segment from a to c with control b; a and c themselves are not added.
void CPath::Subdivide(int depth, const Point& a, const Point& b, const Point& c) {
    if (depth <= 0) return;
    const Point middle{F((static_cast<double>(a.x) + 2.0 * b.x + c.x) / 4),
                       F((static_cast<double>(a.y) + 2.0 * b.y + c.y) / 4),
                       F((static_cast<double>(a.speed) + 2.0 * b.speed + c.speed) / 4)};
    if (DistanceSquared(a, b) > kSplitDistanceSquared) Subdivide(depth - 1, a, Midpoint(a, b), middle);
    AddCurvePoint(middle);
    if (DistanceSquared(b, c) > kSplitDistanceSquared) Subdivide(depth - 1, middle, Midpoint(b, c), c);
}

void CPath::ComputeLength() {
    m_length = 0;
    for (size_t i = 0; i < m_curve.size(); ++i) {
        if (i > 0) m_length = Path_LengthWithLeg(m_length, m_curve[i - 1].x, m_curve[i - 1].y, m_curve[i].x, m_curve[i].y);
        m_curve[i].length = m_length;
    }
}

float Path_LengthWithLeg(float length, float x0, float y0, float x1, float y1) {
    const double dx = static_cast<double>(x1) - x0;
    const double dy = static_cast<double>(y1) - y0;
    return F(static_cast<double>(length) + std::sqrt(F(dx * dx + dy * dy)));
}

// ---- Positions along the curve

void CPath::GetPosition(float t, float* x, float* y, float* speed) const {
    size_t from = 0;
    PositionFrom(&from, t, x, y, speed);
}

void CPath::PositionFrom(size_t* cursor, float t, float* x, float* y, float* speed) const {
    *x = 0;
    *y = 0;
    *speed = 100;
    if (m_curve.empty()) return;
    auto take = [&](const CurvePoint& record) {
        *x = record.x;
        *y = record.y;
        *speed = record.speed;
    };
    if (m_curve.size() == 1 || m_length == 0 || t <= 0) return take(m_curve.front());
    if (t >= 1) return take(m_curve.back());
    const float d = F(static_cast<double>(t) * m_length);
    size_t i = std::min(*cursor, m_curve.size() - 2);
    while (i + 2 < m_curve.size() && d >= m_curve[i + 1].length)
        ++i;
    *cursor = i;
    const CurvePoint& from = m_curve[i];
    const CurvePoint& to = m_curve[i + 1];
    const float s = F(static_cast<double>(to.length) - from.length);
    const float f = F(static_cast<double>(d) - from.length);
    if (s == 0) return take(from);
    const double share = static_cast<double>(f) / s;
    *x = F(from.x + (static_cast<double>(to.x) - from.x) * share);
    *y = F(from.y + (static_cast<double>(to.y) - from.y) * share);
    *speed = F(from.speed + (static_cast<double>(to.speed) - from.speed) * share);
}

float CPath::GetX(float t) const {
    float x, y, speed;
    GetPosition(t, &x, &y, &speed);
    return x;
}

float CPath::GetY(float t) const {
    float x, y, speed;
    GetPosition(t, &x, &y, &speed);
    return y;
}

float CPath::GetSpeed(float t) const {
    float x, y, speed;
    GetPosition(t, &x, &y, &speed);
    return speed;
}

void CPath::GetCentre(float* x, float* y) const {
    float minX = 1e8f, minY = 1e8f, maxX = -1e8f, maxY = -1e8f;
    for (const Point& point : m_points) {
        minX = std::min(minX, point.x);
        maxX = std::max(maxX, point.x);
        minY = std::min(minY, point.y);
        maxY = std::max(maxY, point.y);
    }
    *x = F((static_cast<double>(minX) + maxX) / 2);
    *y = F((static_cast<double>(minY) + maxY) / 2);
}

// ---- Transforms

void CPath::Shift(float dx, float dy) {
    for (Point& point : m_points) {
        point.x = F(static_cast<double>(point.x) + dx);
        point.y = F(static_cast<double>(point.y) + dy);
    }
    Compute();
}

template <typename Transform> void CPath::TransformAboutCentre(Transform transform) {
    float cx, cy;
    GetCentre(&cx, &cy);
    for (Point& point : m_points) {
        point.x = F(static_cast<double>(point.x) - cx);
        point.y = F(static_cast<double>(point.y) - cy);
        transform(point);
        point.x = F(static_cast<double>(point.x) + cx);
        point.y = F(static_cast<double>(point.y) + cy);
    }
    Compute();
}

void CPath::Mirror() {
    TransformAboutCentre([](Point& point) { point.x = -point.x; });
}

void CPath::Flip() {
    TransformAboutCentre([](Point& point) { point.y = -point.y; });
}

void CPath::Rotate(float degrees) {
    const float radians = F(degrees * 3.1415927410125732 / 180);
    const float c = F(std::cos(static_cast<double>(radians)));
    const float s = F(std::sin(static_cast<double>(radians)));
    TransformAboutCentre([&](Point& point) {
        const double x = point.x, y = point.y;
        point.x = F(c * x + s * y);
        point.y = F(c * y - s * x);
    });
}

void CPath::Rescale(float sx, float sy) {
    TransformAboutCentre([&](Point& point) {
        point.x = F(static_cast<double>(sx) * point.x);
        point.y = F(static_cast<double>(sy) * point.y);
    });
}

void CPath::Reverse() {
    if (GetNumber() < 2) return;
    std::reverse(m_points.begin(), m_points.end());
    Compute();
}

void CPath::Append(const CPath* other) {
    if (!other || other->m_points.empty()) return;
    AddPoints(other->m_points); // a copy: other may be this path
}

void CPath::AddPoints(std::vector<Point> points) {
    m_points.insert(m_points.end(), points.begin(), points.end());
    Compute();
}

// ---- Drawing

void CPath::Draw(float x, float y, bool absolute) const {
    float startX, startY, speed;
    GetPosition(0, &startX, &startY, &speed);
    const float offsetX = absolute ? 0.0f : F(static_cast<double>(x) - startX);
    const float offsetY = absolute ? 0.0f : F(static_cast<double>(y) - startY);
    // Past a million segments the vertices are spaced further apart: a path that long could not be seen
    // any finer, and its drawing stays bounded.
    const float steps = m_length / kDrawStep;
    if (!std::isfinite(steps)) return;
    const int segments = steps >= kMaxDrawSegments ? kMaxDrawSegments : X86_RoundToInt32(steps);
    if (segments <= 0) return;
    size_t cursor = 0;
    // A primitive keeps only its first vertices, so a long path goes out in several strips, each
    // starting at the vertex the previous one ended with.
    constexpr int kStripSegments = GR_Draw_MaxPrimitiveVertices - 1;
    for (int first = 0; first < segments; first += kStripSegments) {
        const int last = std::min(segments, first + kStripSegments);
        GR_Draw_PrimitiveBegin(kLineStrip, -1);
        for (int j = first; j <= last; ++j) {
            float px, py;
            PositionFrom(&cursor, static_cast<float>(j) / static_cast<float>(segments), &px, &py, &speed);
            GR_Draw_Vertex(F(static_cast<double>(px) + offsetX), F(static_cast<double>(py) + offsetY));
        }
        GR_Draw_PrimitiveEnd();
    }
}

// ---- The table

void Path_Init() {
    Path_Clear();
}

void Path_Clear() {
    g_paths.Clear(DestroyPath);
}

bool Path_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list) {
    g_paths.Reset(static_cast<int>(list.size()), DestroyPath);
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == 0) continue;
        auto* path = new CPath();
        const char* name = nullptr;
        if (!path->Load(file, chunk, list[i], &name)) {
            delete path;
            return Load_Fail("Chunk PATH: path %d is damaged (its record, points or name lie outside the chunk or "
                             "the file)",
                             static_cast<int>(i));
        }
        g_paths.Set(static_cast<int>(i), path, String_Duplicate(name));
    }
    return true;
}

int Path_Count() {
    return g_paths.Count();
}

bool Path_Exists(int index) {
    return g_paths.Exists(index);
}

const char* Path_GetName(int index) {
    const char* name = g_paths.Name(index);
    return name ? name : "<undefined>";
}

int Path_FindByName(const char* name) {
    return g_paths.Find(name);
}

CPath* Path_Data(int index) {
    return g_paths.Data(index);
}

int Path_Add() {
    const std::string name = "__newpath" + std::to_string(g_paths.Count());
    return g_paths.Append(new CPath(), String_Duplicate(name.c_str()));
}

bool Path_Delete(int index) {
    CPath* path = g_paths.Remove(index);
    delete path;
    return path != nullptr;
}

int Path_Duplicate(int index) {
    const CPath* source = Path_Data(index);
    if (!source) return -1;
    const int copy = Path_Add();
    Path_Data(copy)->Assign(*source);
    return copy;
}

bool Path_Assign(int destination, int source) {
    const CPath* from = Path_Data(source);
    if (!from || destination < 0 || destination >= Path_Count()) return false;
    if (destination == source) {
        Code_Error_Report("ERROR: Can not assign a path to itself!", false);
        return false;
    }
    if (!Path_Exists(destination)) g_paths.Set(destination, new CPath(), String_Duplicate(""));
    Path_Data(destination)->Assign(*from);
    return true;
}
