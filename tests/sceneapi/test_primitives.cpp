#include "sceneapi/KXBox.h"
#include "sceneapi/KXCone.h"
#include "sceneapi/KXCylinder.h"
#include "sceneapi/KXDisc.h"
#include "sceneapi/KXPrimitivesFactory.h"
#include "sceneapi/KXSheet.h"
#include "sceneapi/KXSphere.h"
#include "sceneapi/KXTorus.h"
#include "sceneapi/KXWireSheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
// The angle step the light markers pass: 3.14159 / 16.
constexpr float kMarkerStep = 0.19634954f;

// Geometry read back from a mesh, in double precision, triangle by triangle
// through getTriangle: the truths below are computed from positions and
// windings alone, never from the generator's own formulas.
struct Triangle
{
    uint32_t index[3];
};

std::vector<Triangle> trianglesOf(const KXTriMesh& mesh)
{
    std::vector<Triangle> out;
    for (int t = 0; t < mesh.getNumTriangles(); ++t) {
        Triangle tri{};
        EXPECT_TRUE(mesh.getTriangle(t, tri.index[0], tri.index[1], tri.index[2]));
        out.push_back(tri);
    }
    return out;
}

struct Vec3
{
    double x, y, z;
};

Vec3 toVec(const KXPosition& p) { return {p.getX(), p.getY(), p.getZ()}; }
Vec3 toVec(const KXVector& v) { return {v.getX(), v.getY(), v.getZ()}; }
Vec3 sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 cross(const Vec3& a, const Vec3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double norm(const Vec3& a) { return std::sqrt(dot(a, a)); }

// Twice the signed area vector: the cross product of the edges in index
// order, pointing to the side the triangle is counter-clockwise from.
Vec3 areaVector(const KXTriMesh& mesh, const Triangle& t)
{
    const auto& v = mesh.getVertexArray();
    const Vec3 a = toVec(v[t.index[0]]);
    return cross(sub(toVec(v[t.index[1]]), a), sub(toVec(v[t.index[2]]), a));
}

double surfaceArea(const KXTriMesh& mesh)
{
    double area = 0.0;
    for (const Triangle& t : trianglesOf(mesh))
        area += 0.5 * norm(areaVector(mesh, t));
    return area;
}

// Every triangle has an area, and each of its vertex normals lies on the side
// its winding faces, within the given cosine of its geometric normal.
void expectNormalsMatchWinding(const KXTriMesh& mesh, double minCosine)
{
    const auto& normals = mesh.getNormalsArray();
    ASSERT_EQ(normals.size(), mesh.getVertexArray().size());
    int bad = 0;
    for (const Triangle& t : trianglesOf(mesh)) {
        const Vec3 face = areaVector(mesh, t);
        const double length = norm(face);
        if (!(length > 0.0)) {
            ++bad;
            continue;
        }
        for (uint32_t i : t.index) {
            const double c = dot(face, toVec(normals[i])) / length;
            if (!(c >= minCosine))
                ++bad;
        }
    }
    EXPECT_EQ(bad, 0) << "vertex normals disagreeing with their triangles' winding";
}

// Each vertex's id after merging positions closer than tolerance.
std::vector<int> weldPositions(const std::vector<KXPosition>& points, double tolerance)
{
    std::vector<int> order(points.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return points[a].getX() < points[b].getX(); });
    std::vector<int> id(points.size(), -1);
    for (size_t i = 0; i < order.size(); ++i) {
        const int a = order[i];
        if (id[a] >= 0)
            continue;
        id[a] = a;
        for (size_t j = i + 1; j < order.size() && points[order[j]].getX() - points[a].getX() <= tolerance; ++j) {
            const int b = order[j];
            if (id[b] < 0 && norm(sub(toVec(points[a]), toVec(points[b]))) <= tolerance)
                id[b] = a;
        }
    }
    return id;
}

// Directed edges between welded positions and how often each is used.
std::map<std::pair<int, int>, int> directedEdges(const KXTriMesh& mesh, double tolerance, int* degenerate)
{
    const std::vector<int> id = weldPositions(mesh.getVertexArray(), tolerance);
    std::map<std::pair<int, int>, int> edges;
    *degenerate = 0;
    for (const Triangle& t : trianglesOf(mesh)) {
        const int w[3] = {id[t.index[0]], id[t.index[1]], id[t.index[2]]};
        if (w[0] == w[1] || w[1] == w[2] || w[2] == w[0]) {
            ++*degenerate;
            continue;
        }
        for (int k = 0; k < 3; ++k)
            ++edges[{w[k], w[(k + 1) % 3]}];
    }
    return edges;
}

// A closed surface: after welding, every edge is used exactly once in each
// direction (so neighbouring faces agree on their orientation).
void expectWatertight(const KXTriMesh& mesh, double tolerance = 1e-5)
{
    int degenerate = 0;
    const auto edges = directedEdges(mesh, tolerance, &degenerate);
    EXPECT_EQ(degenerate, 0);
    int bad = 0;
    for (const auto& [edge, count] : edges) {
        const auto reverse = edges.find({edge.second, edge.first});
        if (count != 1 || reverse == edges.end() || reverse->second != 1)
            ++bad;
    }
    EXPECT_EQ(bad, 0) << "edges not shared by exactly two triangles in opposite directions";
}

// Edges used by one triangle only (the rims of an open surface); none may be
// used twice in the same direction.
int countBorderEdges(const KXTriMesh& mesh, double tolerance = 1e-5)
{
    int degenerate = 0;
    const auto edges = directedEdges(mesh, tolerance, &degenerate);
    EXPECT_EQ(degenerate, 0);
    int border = 0;
    for (const auto& [edge, count] : edges) {
        EXPECT_EQ(count, 1);
        if (edges.find({edge.second, edge.first}) == edges.end())
            ++border;
    }
    return border;
}

void expectBounds(const KXBounds& b, const Vec3& lo, const Vec3& hi, double tolerance = 1e-5)
{
    EXPECT_NEAR(b.getLowerLeftPos().getX(), lo.x, tolerance);
    EXPECT_NEAR(b.getLowerLeftPos().getY(), lo.y, tolerance);
    EXPECT_NEAR(b.getLowerLeftPos().getZ(), lo.z, tolerance);
    EXPECT_NEAR(b.getUpperRightPos().getX(), hi.x, tolerance);
    EXPECT_NEAR(b.getUpperRightPos().getY(), hi.y, tolerance);
    EXPECT_NEAR(b.getUpperRightPos().getZ(), hi.z, tolerance);
}

// The box around a circle of a radius about a centre, in the plane with the
// given unit normal: along each world axis k it reaches r sqrt(1 - n_k^2).
void growByCircle(Vec3& lo, Vec3& hi, const Vec3& c, const Vec3& n, double r)
{
    const Vec3 e = {r * std::sqrt(std::max(0.0, 1.0 - n.x * n.x)), r * std::sqrt(std::max(0.0, 1.0 - n.y * n.y)),
                    r * std::sqrt(std::max(0.0, 1.0 - n.z * n.z))};
    lo = {std::min(lo.x, c.x - e.x), std::min(lo.y, c.y - e.y), std::min(lo.z, c.z - e.z)};
    hi = {std::max(hi.x, c.x + e.x), std::max(hi.y, c.y + e.y), std::max(hi.z, c.z + e.z)};
}

// The polygon's vertices reach the true circle's extent only at some angles:
// its box lies inside the analytic one and no further than r (1 - cos(pi/n))
// from it.
void expectBoundsOfPolygonalSolid(const KXBounds& b, const Vec3& lo, const Vec3& hi, double slack)
{
    const Vec3 bl = toVec(b.getLowerLeftPos());
    const Vec3 bh = toVec(b.getUpperRightPos());
    const double eps = 1e-5;
    EXPECT_GE(bl.x, lo.x - eps);
    EXPECT_GE(bl.y, lo.y - eps);
    EXPECT_GE(bl.z, lo.z - eps);
    EXPECT_LE(bh.x, hi.x + eps);
    EXPECT_LE(bh.y, hi.y + eps);
    EXPECT_LE(bh.z, hi.z + eps);
    EXPECT_LE(bl.x, lo.x + slack + eps);
    EXPECT_LE(bl.y, lo.y + slack + eps);
    EXPECT_LE(bl.z, lo.z + slack + eps);
    EXPECT_GE(bh.x, hi.x - slack - eps);
    EXPECT_GE(bh.y, hi.y - slack - eps);
    EXPECT_GE(bh.z, hi.z - slack - eps);
}

// Counts the triangles whose geometric normal is (within 1e-4) the given
// unit direction.
int countFacesAlong(const KXTriMesh& mesh, const Vec3& direction)
{
    int count = 0;
    for (const Triangle& t : trianglesOf(mesh)) {
        const Vec3 f = areaVector(mesh, t);
        if (dot(f, direction) / norm(f) > 1.0 - 1e-4)
            ++count;
    }
    return count;
}

class CountingTriMeshImpl : public KXTriMeshImpl
{
public:
    explicit CountingTriMeshImpl(int& deaths) : m_deaths(deaths) {}
    ~CountingTriMeshImpl() override { ++m_deaths; }
    void draw() override {}

private:
    int& m_deaths;
};

class CountingPolylineImpl : public KXPolylineImpl
{
public:
    explicit CountingPolylineImpl(int& deaths) : m_deaths(deaths) {}
    ~CountingPolylineImpl() override { ++m_deaths; }
    void draw() override {}

private:
    int& m_deaths;
};

// Records the kinds of KXObjectEvents it hears.
class EventRecorder : public KXObserver
{
public:
    void update(KXObservable*, const KXEvent& event) override
    {
        if (dynamic_cast<const KXObjectEvent*>(&event))
            kinds.push_back(event.getKind());
    }
    int count(int kind) const { return static_cast<int>(std::count(kinds.begin(), kinds.end(), kind)); }
    std::vector<int> kinds;
};

// The in-plane axes a floor painter derives from a plane normal: u from the
// largest component, v = unit(n x u).
std::pair<KXVector, KXVector> floorAxes(const KXVector& n)
{
    const float ax = std::fabs(n.getX()), ay = std::fabs(n.getY()), az = std::fabs(n.getZ());
    KXVector u;
    if (ax >= ay && ax >= az)
        u = KXVector(n.getY(), -n.getX(), 0.0f);
    else if (ay >= az)
        u = KXVector(n.getZ(), 0.0f, -n.getX());
    else
        u = KXVector(0.0f, n.getZ(), -n.getY());
    u.normalize();
    KXVector v = n.cross(u);
    v.normalize();
    return {u, v};
}

} // namespace

// ---------------------------------------------------------------------------
// Properties every tri-mesh primitive keeps, over a spread of parameters.

TEST(KXPrimitiveMeshTest, EveryPrimitiveHasConsistentArraysOutwardNormalsAndUnitTexCoords)
{
    const KXVector tilted(0.3f, -0.5f, 0.8f);
    std::vector<std::pair<const char*, std::function<KXRef<KXMeshPrimitive>()>>> makers = {
        {"sheet", [&] {
             auto s = KXMake<KXSheet>();
             s->setSubdivisions(3, 2);
             s->setParameters(KXPosition(1, 2, 3), KXVector(0, 1, 0), KXVector(0, 0, 1), 4.0f, 2.0f);
             return KXRef<KXMeshPrimitive>(s);
         }},
        {"box", [] {
             auto b = KXMake<KXBox>();
             b->setParameters(KXPosition(-1, 0, 2), 1.0f, 2.0f, 3.0f);
             return KXRef<KXMeshPrimitive>(b);
         }},
        {"sphere", [] {
             auto s = KXMake<KXSphere>();
             s->setParameters(KXPosition(1, 1, 1), 2.0f, 16, 16, false);
             return KXRef<KXMeshPrimitive>(s);
         }},
        {"hemisphere", [] {
             auto s = KXMake<KXSphere>();
             s->setParameters(KXPosition(0, 0, 0), 1.0f, 12, 5, true);
             return KXRef<KXMeshPrimitive>(s);
         }},
        {"frustum", [&] {
             auto c = KXMake<KXCone>();
             c->setParameters(KXPosition(0, 1, 0), tilted, 1.0f, 0.4f, 2.0f, kMarkerStep, 3, true, true);
             return KXRef<KXMeshPrimitive>(c);
         }},
        {"widening cone", [&] {
             auto c = KXMake<KXCone>();
             c->setParameters(KXPosition(0, 0, 0), tilted, 0.0f, 1.5f, 1.0f, kMarkerStep, 2, true, true);
             return KXRef<KXMeshPrimitive>(c);
         }},
        {"cylinder", [&] {
             auto c = KXMake<KXCylinder>();
             c->setParameters(KXPosition(2, 0, 0), KXVector(-1, 0, 0), 0.5f, 3.0f, 24, true);
             return KXRef<KXMeshPrimitive>(c);
         }},
        {"torus", [&] {
             auto t = KXMake<KXTorus>();
             t->setParameters(KXPosition(0, 0, 1), tilted, 2.0f, 0.5f, 24, 12);
             return KXRef<KXMeshPrimitive>(t);
         }},
        {"ring", [&] {
             auto d = KXMake<KXDisc>();
             d->setParameters(KXPosition(0, 0, 1), KXVector(0, -1, 0), 2.0f, 1.0f, 16);
             return KXRef<KXMeshPrimitive>(d);
         }},
    };
    for (const auto& [name, make] : makers) {
        SCOPED_TRACE(name);
        KXRef<KXMeshPrimitive> mesh = make();
        const size_t n = mesh->getVertexArray().size();
        EXPECT_EQ(mesh->getTriMeshType(), KXTriMesh::KXTRIMESHTYPE_LIST);
        EXPECT_GT(mesh->getNumTriangles(), 0);
        EXPECT_EQ(mesh->getNormalsArray().size(), n);
        EXPECT_EQ(mesh->getTexCoordsArray().size(), n);
        EXPECT_TRUE(mesh->getColorArray().empty());
        for (uint32_t i : mesh->getIndicesArray())
            ASSERT_LT(i, n);
        for (const KXUnitVector& normal : mesh->getNormalsArray())
            EXPECT_NEAR(normal.length(), 1.0f, 1e-5f);
        for (const KXPosition2D& uv : mesh->getTexCoordsArray()) {
            EXPECT_GE(uv.getX(), 0.0f);
            EXPECT_LE(uv.getX(), 1.0f);
            EXPECT_GE(uv.getY(), 0.0f);
            EXPECT_LE(uv.getY(), 1.0f);
        }
        // Coarse meshes: a vertex normal is off its faces' normals by at most
        // a slice or stack step, well within 60 degrees.
        expectNormalsMatchWinding(*mesh, 0.5);
    }
}

// ---------------------------------------------------------------------------
// KXSheet

TEST(KXSheetTest, IsTwoTrianglesAroundTheCentreFacingUCrossV)
{
    auto sheet = KXMake<KXSheet>();
    sheet->setParameters(KXPosition(1, 2, 3), KXVector(0, 1, 0), KXVector(0, 0, 1), 4.0f, 2.0f);
    EXPECT_EQ(sheet->getNumTriangles(), 2);
    EXPECT_EQ(sheet->getNumVertices(), 4);
    expectBounds(sheet->getBounds(), {1, 0, 2}, {1, 4, 4});
    EXPECT_NEAR(surfaceArea(*sheet), 8.0, 1e-5);
    // u x v = y x z = +x.
    EXPECT_EQ(countFacesAlong(*sheet, {1, 0, 0}), 2);
    expectNormalsMatchWinding(*sheet, 1.0 - 1e-6);
    // s runs along u, t down along v: the corner at +u +v has (1, 0).
    const auto& v = sheet->getVertexArray();
    const auto& uv = sheet->getTexCoordsArray();
    for (size_t i = 0; i < v.size(); ++i) {
        EXPECT_FLOAT_EQ(uv[i].getX(), v[i].getY() > 2.0f ? 1.0f : 0.0f);
        EXPECT_FLOAT_EQ(uv[i].getY(), v[i].getZ() > 3.0f ? 0.0f : 1.0f);
    }
}

TEST(KXSheetTest, FloorSheetLiesInThePlaneOfItsNormal)
{
    // The 2 x 2 floor square through the origin for the plane normals the
    // painters use, including the default (0, 0, -1).
    const KXVector normals[] = {KXVector(0, 0, -1), KXVector(0, 0, 1), KXVector(1, 0, 0), KXVector(0.2f, -0.9f, 0.3f)};
    for (const KXVector& raw : normals) {
        KXVector n = raw;
        n.normalize();
        const auto [u, v] = floorAxes(n);
        auto sheet = KXMake<KXSheet>();
        sheet->setParameters(KXPosition(0, 0, 0), u, v, 2.0f, 2.0f);
        EXPECT_NEAR(surfaceArea(*sheet), 4.0, 1e-5);
        EXPECT_EQ(countFacesAlong(*sheet, toVec(n)), 2);
        for (const KXPosition& p : sheet->getVertexArray()) {
            EXPECT_NEAR(dot(toVec(p), toVec(n)), 0.0, 1e-6);
            EXPECT_NEAR(norm(toVec(p)), std::sqrt(2.0), 1e-5);
        }
    }
    auto floor = KXMake<KXSheet>();
    const auto [u, v] = floorAxes(KXVector(0, 0, -1));
    floor->setParameters(KXPosition(0, 0, 0), u, v, 2.0f, 2.0f);
    expectBounds(floor->getBounds(), {-1, -1, 0}, {1, 1, 0});
}

TEST(KXSheetTest, SubdivisionsCutTheSameRectangleIntoMoreCells)
{
    auto sheet = KXMake<KXSheet>();
    sheet->setSubdivisions(3, 2);
    sheet->setParameters(KXPosition(0, 0, 0), KXVector(2, 0, 0), KXVector(0, 5, 0), 3.0f, 1.0f);
    EXPECT_EQ(sheet->getNumTriangles(), 12);
    EXPECT_EQ(sheet->getNumVertices(), 12);
    // Directions are normalised: the extents are width and height.
    expectBounds(sheet->getBounds(), {-1.5, -0.5, 0}, {1.5, 0.5, 0});
    EXPECT_NEAR(surfaceArea(*sheet), 3.0, 1e-5);
    EXPECT_EQ(countBorderEdges(*sheet), 10);

    // New parameters keep the subdivisions; out-of-range counts are clamped.
    sheet->setParameters(KXPosition(0, 0, 0), KXVector(1, 0, 0), KXVector(0, 1, 0), 1.0f, 1.0f);
    EXPECT_EQ(sheet->getNumTriangles(), 12);
    sheet->setSubdivisions(0, -4);
    EXPECT_EQ(sheet->getNumTriangles(), 2);
}

// ---------------------------------------------------------------------------
// KXWireSheet

TEST(KXWireSheetTest, IsAGridOfSegmentsOverTheSheetRectangle)
{
    auto grid = KXMake<KXWireSheet>();
    EXPECT_EQ(grid->getGeomType(), KXGeometry::KXGEOMTYPE_POLYLINE);
    grid->setParameters(KXPosition(1, 1, 0), KXVector(1, 0, 0), KXVector(0, 1, 0), 4.0f, 2.0f, 4);
    EXPECT_EQ(grid->getPolylineType(), KXPolyline::KXPOLYLINETYPE_SEGMENTS);
    // 5 lines along v and 5 along u.
    EXPECT_EQ(grid->getNumSegments(), 10);
    expectBounds(grid->getBounds(), {-1, 0, 0}, {3, 2, 0});
    const auto& p = grid->getVertices();
    int alongU = 0, alongV = 0;
    for (size_t i = 0; i + 1 < p.size(); i += 2) {
        const KXVector d = p[i + 1] - p[i];
        if (std::fabs(d.getX()) < 1e-6f && std::fabs(d.getY() - 2.0f) < 1e-5f)
            ++alongV;
        if (std::fabs(d.getY()) < 1e-6f && std::fabs(d.getX() - 4.0f) < 1e-5f)
            ++alongU;
    }
    EXPECT_EQ(alongV, 5);
    EXPECT_EQ(alongU, 5);
    // The lines along v are evenly spaced across the width.
    for (int i = 0; i <= 4; ++i)
        EXPECT_NEAR(p[2 * i].getX(), -1.0f + i, 1e-5f);
}

TEST(KXWireSheetTest, FiveArgumentCallsKeepTheCellCount)
{
    auto grid = KXMake<KXWireSheet>();
    EXPECT_EQ(grid->getNumSegments(), 22);
    grid->setDivisions(3, 5);
    grid->setParameters(KXPosition(0, 0, 0), KXVector(0, 1, 0), KXVector(0, 0, 1), 2.0f, 3.0f);
    EXPECT_EQ(grid->getNumSegments(), 4 + 6);
    // A degenerate rectangle (anchor on the projected centre) still gives the
    // same number of (zero-length) segments.
    grid->setParameters(KXPosition(5, 5, 5), KXVector(0, 1, 0), KXVector(0, 0, 1), 0.0f, 0.0f);
    EXPECT_EQ(grid->getNumSegments(), 10);
    expectBounds(grid->getBounds(), {5, 5, 5}, {5, 5, 5});
}

// ---------------------------------------------------------------------------
// KXCone

TEST(KXConeTest, AngleStepGivesTheSliceCount)
{
    auto cone = KXMake<KXCone>();
    const std::pair<float, int> cases[] = {
        {kMarkerStep, 32}, {static_cast<float>(kPi / 16), 32}, {static_cast<float>(kPi / 4), 8},
        {static_cast<float>(2 * kPi / 3), 3}, {10.0f, 3}, {0.0f, 32}, {-1.0f, 32}, {NAN, 32}, {1e-9f, 1024},
    };
    for (const auto& [step, slices] : cases) {
        cone->setParameters(KXPosition(0, 0, 0), KXVector(0, 0, 1), 1.0f, 1.0f, 1.0f, step, 1, false, false);
        EXPECT_EQ(cone->getSlices(), slices) << step;
        EXPECT_EQ(cone->getNumTriangles(), 2 * slices) << step;
    }
}

TEST(KXConeTest, DirectionalMarkerIsACylinderCappedAtItsEnd)
{
    // Placed back from the scene along the light, pointing at it.
    KXVector direction(1, -2, -2);
    direction.normalize();
    const float s = 0.5f;
    const KXPosition start = KXPosition(1, 2, 3) - direction * (2.0f * 3.0f);
    auto marker = KXMake<KXCone>();
    marker->setParameters(start, direction, s, s, s, kMarkerStep, 1, false, true);

    EXPECT_EQ(marker->getNumTriangles(), 32 * 2 + 32);
    const Vec3 d = toVec(direction);
    EXPECT_EQ(countFacesAlong(*marker, d), 32);
    EXPECT_EQ(countFacesAlong(*marker, {-d.x, -d.y, -d.z}), 0);
    // The cap sits one length down the axis; the open rim at the start.
    const Vec3 end = {start.getX() + d.x * s, start.getY() + d.y * s, start.getZ() + d.z * s};
    for (const Triangle& t : trianglesOf(*marker)) {
        const Vec3 f = areaVector(*marker, t);
        if (dot(f, d) / norm(f) < 1.0 - 1e-4)
            continue;
        for (uint32_t i : t.index)
            EXPECT_NEAR(dot(sub(toVec(marker->getVertexArray()[i]), end), d), 0.0, 1e-5);
    }
    EXPECT_EQ(countBorderEdges(*marker), 32);
    expectNormalsMatchWinding(*marker, std::cos(kPi / 32) - 1e-4);

    Vec3 lo = toVec(start), hi = toVec(start);
    growByCircle(lo, hi, toVec(start), d, s);
    growByCircle(lo, hi, end, d, s);
    expectBoundsOfPolygonalSolid(marker->getBounds(), lo, hi, s * (1.0 - std::cos(kPi / 32)));
}

TEST(KXConeTest, SpotMarkerHasItsApexAtTheLightAndIsClosed)
{
    const KXPosition light(0, 0, 4);
    KXVector direction(0, 1, -1);
    direction.normalize();
    const float range = 3.0f;
    const float radius = range * std::tan(0.4f);
    auto reach = KXMake<KXCone>();
    reach->setParameters(light, direction, 0.0f, radius, range, kMarkerStep, 1, false, true);

    EXPECT_EQ(reach->getNumTriangles(), 32 + 32);
    expectWatertight(*reach);
    // Apex normals take the middle of their own slice, so each apex triangle
    // agrees with its vertex normals to within half a slice.
    expectNormalsMatchWinding(*reach, std::cos(kPi / 32) - 1e-4);
    EXPECT_TRUE(reach->getBounds().contains(light));

    const double slant = std::sqrt(double(range) * range + double(radius) * radius);
    const double lateral = kPi * radius * slant;
    const double cap = kPi * radius * radius;
    // A 32-gon holds a little less area than its circle.
    EXPECT_NEAR(surfaceArea(*reach), lateral + cap, 0.02 * (lateral + cap));
    EXPECT_LT(surfaceArea(*reach), lateral + cap);
}

TEST(KXConeTest, SurfaceAreaConvergesToTheFrustum)
{
    const double r0 = 1.0, r1 = 0.5, length = 2.0;
    const double lateral = kPi * (r0 + r1) * std::sqrt(length * length + (r0 - r1) * (r0 - r1));
    const double caps = kPi * (r0 * r0 + r1 * r1);
    double previousError = 1e9;
    for (int slices : {16, 64, 256}) {
        auto cone = KXMake<KXCone>();
        cone->setParameters(KXPosition(3, 0, 0), KXVector(0, 0, 1), 1.0f, 0.5f, 2.0f,
                            static_cast<float>(2 * kPi / slices), 2, true, true);
        ASSERT_EQ(cone->getSlices(), slices);
        EXPECT_EQ(cone->getNumTriangles(), slices * 2 * 2 + 2 * slices);
        const double error = std::fabs(surfaceArea(*cone) - (lateral + caps));
        EXPECT_LT(error, previousError);
        previousError = error;
    }
    EXPECT_LT(previousError / (lateral + caps), 2e-4);
}

TEST(KXConeTest, ClosedConesAreWatertightWithStacksAndEitherApex)
{
    KXVector axis(-0.2f, 0.7f, 0.4f);
    auto cone = KXMake<KXCone>();
    cone->setParameters(KXPosition(1, 1, 1), axis, 1.0f, 0.0f, 2.0f, kMarkerStep, 4, true, true);
    // 4 bands: three of quads, one of triangles to the apex; the apex end
    // has no cap.
    EXPECT_EQ(cone->getNumTriangles(), 32 * (2 * 4 - 1) + 32);
    expectWatertight(*cone);
    cone->setParameters(KXPosition(1, 1, 1), axis, 0.7f, 1.2f, 0.5f, kMarkerStep, 1, true, true);
    EXPECT_EQ(cone->getNumTriangles(), 32 * 4);
    expectWatertight(*cone);
}

TEST(KXConeTest, NegativeLengthRunsBackwardsFromThePosition)
{
    auto cone = KXMake<KXCone>();
    cone->setParameters(KXPosition(0, 0, 0), KXVector(0, 0, 1), 1.0f, 0.0f, -2.0f, kMarkerStep, 1, true, false);
    expectBoundsOfPolygonalSolid(cone->getBounds(), {-1, -1, -2}, {1, 1, 0}, 1.0 - std::cos(kPi / 32));
    // The base is still at the position, facing away from the apex.
    EXPECT_EQ(countFacesAlong(*cone, {0, 0, 1}), 32);
    expectWatertight(*cone);
    expectNormalsMatchWinding(*cone, 0.9);
}

// ---------------------------------------------------------------------------
// KXSphere

TEST(KXSphereTest, PointMarkerHasItsVerticesOnTheSphereWithRadialNormals)
{
    const KXPosition c(1, -2, 3);
    const float r = 1.5f;
    auto sphere = KXMake<KXSphere>();
    sphere->setParameters(c, r, 16, 16, false);
    EXPECT_EQ(sphere->getNumTriangles(), 2 * 16 * 15);
    expectBounds(sphere->getBounds(), {c.getX() - r, c.getY() - r, c.getZ() - r},
                 {c.getX() + r, c.getY() + r, c.getZ() + r});
    for (size_t i = 0; i < sphere->getVertexArray().size(); ++i) {
        const Vec3 d = sub(toVec(sphere->getVertexArray()[i]), toVec(c));
        EXPECT_NEAR(norm(d), r, 1e-5);
        const Vec3 n = toVec(sphere->getNormalsArray()[i]);
        EXPECT_NEAR(dot(n, d) / r, 1.0, 1e-5);
    }
    expectWatertight(*sphere);
    expectNormalsMatchWinding(*sphere, 0.9);

    // The reach sphere the detail view draws.
    sphere->setParameters(c, 10.0f, 32, 32, false);
    EXPECT_EQ(sphere->getNumTriangles(), 2 * 32 * 31);
    expectWatertight(*sphere, 1e-4);
}

TEST(KXSphereTest, SurfaceAreaConvergesToFourPiRSquared)
{
    const float r = 2.0f;
    const double exact = 4.0 * kPi * r * r;
    double previousError = 1e9;
    for (int n : {8, 32, 128}) {
        auto sphere = KXMake<KXSphere>();
        sphere->setParameters(KXPosition(0, 0, 0), r, 2 * n, n, false);
        const double error = exact - surfaceArea(*sphere);
        EXPECT_GT(error, 0.0); // an inscribed polyhedron holds less
        EXPECT_LT(error, previousError);
        previousError = error;
    }
    EXPECT_LT(previousError / exact, 1e-3);
}

TEST(KXSphereTest, HemisphereIsTheOpenUpperHalf)
{
    const KXPosition c(0, 0, 1);
    auto dome = KXMake<KXSphere>();
    dome->setParameters(c, 2.0f, 16, 4, true);
    EXPECT_TRUE(dome->isHemisphere());
    EXPECT_EQ(dome->getNumTriangles(), 16 * (2 * 4 - 1));
    expectBounds(dome->getBounds(), {-2, -2, 1}, {2, 2, 3});
    // Open along the equator only.
    EXPECT_EQ(countBorderEdges(*dome), 16);
    expectNormalsMatchWinding(*dome, 0.8);

    dome->setParameters(c, 2.0f, 256, 64, true);
    EXPECT_NEAR(surfaceArea(*dome), 2.0 * kPi * 4.0, 1e-3 * 2.0 * kPi * 4.0);
}

// ---------------------------------------------------------------------------
// KXBox, KXCylinder, KXTorus, KXDisc

TEST(KXBoxTest, IsAClosedBoxWithFlatFaces)
{
    auto box = KXMake<KXBox>();
    box->setParameters(KXPosition(-1, 0, 2), 1.0f, 2.0f, 3.0f);
    EXPECT_EQ(box->getNumTriangles(), 12);
    EXPECT_EQ(box->getNumVertices(), 24);
    expectBounds(box->getBounds(), {-1.5, -1, 0.5}, {-0.5, 1, 3.5});
    EXPECT_NEAR(surfaceArea(*box), 2 * (1 * 2 + 2 * 3 + 3 * 1), 1e-5);
    expectWatertight(*box);
    expectNormalsMatchWinding(*box, 1.0 - 1e-6);
    for (const Vec3& axis : {Vec3{1, 0, 0}, Vec3{-1, 0, 0}, Vec3{0, 1, 0}, Vec3{0, -1, 0}, Vec3{0, 0, 1}, Vec3{0, 0, -1}})
        EXPECT_EQ(countFacesAlong(*box, axis), 2);
}

TEST(KXCylinderTest, IsClosedWithCapsAndOpenWithout)
{
    auto cylinder = KXMake<KXCylinder>();
    KXVector axis(1, 1, 0);
    cylinder->setParameters(KXPosition(0, 0, 0), axis, 0.5f, 2.0f, 24, true);
    EXPECT_EQ(cylinder->getNumTriangles(), 4 * 24);
    expectWatertight(*cylinder);
    axis.normalize();
    Vec3 lo = {0, 0, 0}, hi = {0, 0, 0};
    growByCircle(lo, hi, {0, 0, 0}, toVec(axis), 0.5);
    growByCircle(lo, hi, toVec(axis * 2.0f), toVec(axis), 0.5);
    expectBoundsOfPolygonalSolid(cylinder->getBounds(), lo, hi, 0.5 * (1.0 - std::cos(kPi / 24)));

    cylinder->setParameters(KXPosition(0, 0, 0), axis, 0.5f, 2.0f, 512, false);
    EXPECT_EQ(cylinder->getNumTriangles(), 2 * 512);
    EXPECT_EQ(countBorderEdges(*cylinder), 2 * 512);
    EXPECT_NEAR(surfaceArea(*cylinder), 2.0 * kPi * 0.5 * 2.0, 1e-4 * 2.0 * kPi);
}

TEST(KXTorusTest, IsClosedAndItsAreaConvergesToFourPiSquaredRr)
{
    auto torus = KXMake<KXTorus>();
    torus->setParameters(KXPosition(0, 0, 0), KXVector(0, 0, 1), 2.0f, 0.5f, 24, 12);
    EXPECT_EQ(torus->getNumTriangles(), 2 * 24 * 12);
    expectBounds(torus->getBounds(), {-2.5, -2.5, -0.5}, {2.5, 2.5, 0.5});
    expectWatertight(*torus);
    expectNormalsMatchWinding(*torus, 0.8);

    // The horn torus closes its hole in a single point and stays closed.
    torus->setParameters(KXPosition(0, 0, 0), KXVector(0, 0, 1), 1.0f, 1.0f, 16, 8);
    expectWatertight(*torus);

    const double exact = 4.0 * kPi * kPi * 2.0 * 0.5;
    torus->setParameters(KXPosition(0, 0, 0), KXVector(1, 2, 3), 2.0f, 0.5f, 256, 128);
    EXPECT_NEAR(surfaceArea(*torus), exact, 1e-3 * exact);
}

TEST(KXDiscTest, DiscAndRingFaceTheirNormal)
{
    auto disc = KXMake<KXDisc>();
    disc->setParameters(KXPosition(1, 1, 1), KXVector(0, -1, 0), 2.0f, 0.0f, 16);
    EXPECT_EQ(disc->getNumTriangles(), 16);
    EXPECT_EQ(countFacesAlong(*disc, {0, -1, 0}), 16);
    EXPECT_EQ(countBorderEdges(*disc), 16);

    disc->setParameters(KXPosition(1, 1, 1), KXVector(0, -1, 0), 2.0f, 1.0f, 512);
    EXPECT_EQ(disc->getNumTriangles(), 2 * 512);
    EXPECT_EQ(countBorderEdges(*disc), 2 * 512);
    EXPECT_NEAR(surfaceArea(*disc), kPi * (4.0 - 1.0), 1e-4 * kPi * 3.0);

    // An inner radius reaching the outer one leaves nothing to draw.
    disc->setParameters(KXPosition(1, 1, 1), KXVector(0, -1, 0), 2.0f, 3.0f, 16);
    EXPECT_EQ(disc->getNumTriangles(), 0);
}

// ---------------------------------------------------------------------------
// Rebuilding: the renderer's implementation and the bounds follow the
// parameters.

TEST(KXPrimitiveUpdateTest, NewParametersDiscardTheImplementationAndMoveTheBounds)
{
    int deaths = 0;
    EventRecorder recorder;
    auto marker = KXMake<KXSphere>();
    marker->setParameters(KXPosition(0, 0, 0), 1.0f, 16, 16, false);
    marker->registerObserver(&recorder);
    marker->setImplementation(new CountingTriMeshImpl(deaths));

    marker->setParameters(KXPosition(5, 0, 0), 2.0f, 16, 16, false);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(marker->getImplementation(), nullptr);
    EXPECT_GE(recorder.count(KXObjectEvent::KXOBJECTEVENT_CHANGED), 1);
    expectBounds(marker->getBounds(), {3, -2, -2}, {7, 2, 2});

    auto cone = KXMake<KXCone>();
    cone->setImplementation(new CountingTriMeshImpl(deaths));
    cone->setParameters(KXPosition(0, 0, 10), KXVector(0, 0, -1), 0.0f, 1.0f, 1.0f, kMarkerStep, 1, false, true);
    EXPECT_EQ(deaths, 2);
    expectBounds(cone->getBounds(), {-1, -1, 9}, {1, 1, 10});

    auto sheet = KXMake<KXSheet>();
    sheet->setImplementation(new CountingTriMeshImpl(deaths));
    sheet->setParameters(KXPosition(0, 0, 1), KXVector(1, 0, 0), KXVector(0, 1, 0), 5.0f, 5.0f);
    EXPECT_EQ(deaths, 3);
    expectBounds(sheet->getBounds(), {-2.5, -2.5, 1}, {2.5, 2.5, 1});

    auto grid = KXMake<KXWireSheet>();
    int lineDeaths = 0;
    grid->setImplementation(new CountingPolylineImpl(lineDeaths));
    grid->setParameters(KXPosition(0, 0, 1), KXVector(1, 0, 0), KXVector(0, 1, 0), 5.0f, 5.0f);
    EXPECT_EQ(lineDeaths, 1);
    expectBounds(grid->getBounds(), {-2.5, -2.5, 1}, {2.5, 2.5, 1});
    marker->unregisterObserver(&recorder);
}

TEST(KXPrimitiveUpdateTest, RepeatedParametersKeepTheImplementation)
{
    // Markers are set up again on every frame, mostly with the same values.
    int deaths = 0;
    EventRecorder recorder;
    auto cone = KXMake<KXCone>();
    cone->setParameters(KXPosition(0, 0, 4), KXVector(0, 0, -1), 0.0f, 1.0f, 1.0f, kMarkerStep, 1, false, true);
    cone->setImplementation(new CountingTriMeshImpl(deaths));
    cone->registerObserver(&recorder);
    cone->setParameters(KXPosition(0, 0, 4), KXVector(0, 0, -1), 0.0f, 1.0f, 1.0f, kMarkerStep, 1, false, true);
    EXPECT_EQ(deaths, 0);
    EXPECT_NE(cone->getImplementation(), nullptr);
    EXPECT_TRUE(recorder.kinds.empty());
    cone->unregisterObserver(&recorder);

    int lineDeaths = 0;
    auto grid = KXMake<KXWireSheet>();
    grid->setImplementation(new CountingPolylineImpl(lineDeaths));
    grid->setParameters(KXPosition(), KXVector(1, 0, 0), KXVector(0, 1, 0), 1.0f, 1.0f);
    EXPECT_EQ(lineDeaths, 0);
}

TEST(KXPrimitiveUpdateTest, ArraysEditedThroughTheMeshAreRestoredBySameParameters)
{
    auto sphere = KXMake<KXSphere>();
    sphere->setParameters(KXPosition(0, 0, 0), 1.0f, 8, 4, false);
    const int triangles = sphere->getNumTriangles();
    sphere->setIndicesArray({});
    EXPECT_EQ(sphere->getNumTriangles(), 0);
    sphere->setParameters(KXPosition(0, 0, 0), 1.0f, 8, 4, false);
    EXPECT_EQ(sphere->getNumTriangles(), triangles);

    auto grid = KXMake<KXWireSheet>();
    grid->set(KXPolyline::KXPOLYLINETYPE_OPEN, std::vector<KXPosition>{});
    grid->setParameters(KXPosition(), KXVector(1, 0, 0), KXVector(0, 1, 0), 1.0f, 1.0f);
    EXPECT_EQ(grid->getPolylineType(), KXPolyline::KXPOLYLINETYPE_SEGMENTS);
    EXPECT_EQ(grid->getNumSegments(), 22);
}

// ---------------------------------------------------------------------------
// Attributes

TEST(KXPrimitiveAttributesTest, NoAttributesGiveALitTexturedOneSidedMesh)
{
    KXPrimitivesFactory factory;
    auto* sheet = dynamic_cast<KXSheet*>(factory.createGeometryPrimitive(KXPrimitivesFactory::KXPRIMITIVETYPE_SHEET));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->getNormalsArray().size(), 4u);
    EXPECT_EQ(sheet->getTexCoordsArray().size(), 4u);
    EXPECT_TRUE(sheet->getColorArray().empty());
    EXPECT_EQ(sheet->getSidedness(), KXTriMesh::KXSIDEDNESS_ONE);
}

TEST(KXPrimitiveAttributesTest, BitsAddOrLeaveOutVertexDataAndSurviveNewParameters)
{
    KXPrimitivesFactory factory;
    const int bits = KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_COLORS |
                     KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_NO_NORMALS |
                     KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_TWO_SIDED;
    auto* sphere = dynamic_cast<KXSphere*>(
        factory.createGeometryPrimitive(KXPrimitivesFactory::KXPRIMITIVETYPE_SPHERE, bits | 0x100));
    ASSERT_NE(sphere, nullptr);
    EXPECT_EQ(sphere->getAttributes(), bits);
    sphere->setVertexColor(KXColor(1, 0, 0, 0.5f));
    sphere->setParameters(KXPosition(0, 0, 0), 1.0f, 8, 4, false);
    const size_t n = sphere->getVertexArray().size();
    EXPECT_TRUE(sphere->getNormalsArray().empty());
    EXPECT_EQ(sphere->getTexCoordsArray().size(), n);
    ASSERT_EQ(sphere->getColorArray().size(), n);
    EXPECT_EQ(sphere->getColorArray()[0].getBGRA(), KXColor(1, 0, 0, 0.5f).getBGRA());
    EXPECT_EQ(sphere->getSidedness(), KXTriMesh::KXSIDEDNESS_TWO);

    sphere->setAttributes(KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_NO_TEXCOORDS);
    EXPECT_EQ(sphere->getNormalsArray().size(), n);
    EXPECT_TRUE(sphere->getTexCoordsArray().empty());
    EXPECT_TRUE(sphere->getColorArray().empty());
    EXPECT_EQ(sphere->getSidedness(), KXTriMesh::KXSIDEDNESS_ONE);

    auto* grid = dynamic_cast<KXWireSheet*>(factory.createGeometryPrimitive(
        KXPrimitivesFactory::KXPRIMITIVETYPE_WIRESHEET, KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_COLORS));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->getColorArray().size(), grid->getVertices().size());
}

// ---------------------------------------------------------------------------
// KXPrimitivesFactory

TEST(KXPrimitivesFactoryTest, EachTypeMakesItsClassFittingTheUnitCube)
{
    KXPrimitivesFactory factory;
    using F = KXPrimitivesFactory;
    EXPECT_NE(dynamic_cast<KXBox*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_BOX)), nullptr);
    EXPECT_NE(dynamic_cast<KXSphere*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_SPHERE)), nullptr);
    EXPECT_NE(dynamic_cast<KXCone*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_CONE)), nullptr);
    EXPECT_NE(dynamic_cast<KXCylinder*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_CYLINDER)), nullptr);
    EXPECT_NE(dynamic_cast<KXTorus*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_TORUS)), nullptr);
    EXPECT_NE(dynamic_cast<KXDisc*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_DISC)), nullptr);
    auto* grid = dynamic_cast<KXSheet*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_GRID));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->getNumTriangles(), 2 * 16 * 16);
    auto* wires = dynamic_cast<KXWireSheet*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_WIRESHEET));
    ASSERT_NE(wires, nullptr);
    KXGeometry* sheet = factory.createGeometryPrimitive(9);
    ASSERT_NE(dynamic_cast<KXSheet*>(sheet), nullptr);
    EXPECT_EQ(sheet->getGeomType(), KXGeometry::KXGEOMTYPE_TRIMESH);
    EXPECT_EQ(static_cast<KXTriMesh*>(sheet)->getNumTriangles(), 2);
    EXPECT_EQ(factory.getNumPrimitives(), 9);

    for (int type = F::KXPRIMITIVETYPE_BOX; type <= F::KXPRIMITIVETYPE_SHEET; ++type) {
        SCOPED_TRACE(type);
        KXGeometry* g = factory.createGeometryPrimitive(type);
        ASSERT_NE(g, nullptr);
        const KXBounds& b = g->getBounds();
        for (int k = 0; k < 3; ++k) {
            EXPECT_GE(b.getLowerLeftPos()[k], -0.5f - 1e-6f);
            EXPECT_LE(b.getUpperRightPos()[k], 0.5f + 1e-6f);
        }
        // Everything spans the cube across; flat ones lie in z = 0.
        EXPECT_NEAR(b.getXRange(), 1.0f, 1e-5f);
        EXPECT_NEAR(b.getYRange(), 1.0f, 1e-5f);
        factory.destroyGeometryPrimitive(g);
    }

    for (int type : {0, 10, -1, 1000})
        EXPECT_EQ(factory.createGeometryPrimitive(type), nullptr);
    EXPECT_EQ(factory.getNumPrimitives(), 9);
}

TEST(KXPrimitivesFactoryTest, HoldsWhatItMadeUntilItIsGivenBack)
{
    EventRecorder recorder;
    KXPrimitivesFactory factory;
    KXGeometry* floor = factory.createGeometryPrimitive(KXPrimitivesFactory::KXPRIMITIVETYPE_SHEET);
    ASSERT_NE(floor, nullptr);
    EXPECT_EQ(floor->getRefCount(), 1);
    floor->registerObserver(&recorder);

    // Giving it back deletes it when nothing else holds it.
    factory.destroyGeometryPrimitive(floor);
    EXPECT_EQ(recorder.count(KXObjectEvent::KXOBJECTEVENT_DESTROYING), 1);
    EXPECT_EQ(factory.getNumPrimitives(), 0);
    // A second give-back, null, or a primitive made elsewhere: nothing.
    factory.destroyGeometryPrimitive(floor);
    factory.destroyGeometryPrimitive(nullptr);
    auto foreign = KXMake<KXSheet>();
    factory.destroyGeometryPrimitive(foreign.get());
    EXPECT_EQ(foreign->getRefCount(), 1);
}

TEST(KXPrimitivesFactoryTest, APrimitiveStillInUseOutlivesItsGiveBackAndTheFactory)
{
    KXRef<KXGeometry> kept;
    KXRef<KXGeometry> keptPastFactory;
    EventRecorder recorder;
    {
        KXPrimitivesFactory factory;
        kept = factory.createGeometryPrimitive(KXPrimitivesFactory::KXPRIMITIVETYPE_CONE);
        EXPECT_EQ(kept->getRefCount(), 2);
        factory.destroyGeometryPrimitive(kept.get());
        EXPECT_EQ(kept->getRefCount(), 1);
        EXPECT_EQ(static_cast<KXCone*>(kept.get())->getNumTriangles(), 64);

        keptPastFactory = factory.createGeometryPrimitive(KXPrimitivesFactory::KXPRIMITIVETYPE_SPHERE);
        KXGeometry* dropped = factory.createGeometryPrimitive(KXPrimitivesFactory::KXPRIMITIVETYPE_BOX);
        dropped->registerObserver(&recorder);
    }
    // The factory let go of both; only the one nothing else held is gone.
    EXPECT_EQ(recorder.count(KXObjectEvent::KXOBJECTEVENT_DESTROYING), 1);
    EXPECT_EQ(keptPastFactory->getRefCount(), 1);
    auto* sphere = static_cast<KXSphere*>(keptPastFactory.get());
    sphere->setParameters(KXPosition(0, 0, 0), 3.0f, 8, 4, false);
    EXPECT_NEAR(sphere->getBounds().getXRange(), 6.0f, 1e-5f);
}

TEST(KXPrimitivesFactoryTest, FloorSheetIsReplacedByGivingBackTheOldOne)
{
    KXPrimitivesFactory factory;
    KXGeometry* floor = nullptr;
    for (const KXVector& n : {KXVector(0, 0, -1), KXVector(1, 0, 0)}) {
        if (floor)
            factory.destroyGeometryPrimitive(floor);
        floor = factory.createGeometryPrimitive(KXPrimitivesFactory::KXPRIMITIVETYPE_SHEET,
                                                KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE_NONE);
        auto* sheet = dynamic_cast<KXSheet*>(floor);
        ASSERT_NE(sheet, nullptr);
        const auto [u, v] = floorAxes(n);
        sheet->setParameters(KXPosition(0, 0, 0), u, v, 2.0f, 2.0f);
        EXPECT_EQ(countFacesAlong(*sheet, toVec(n)), 2);
    }
    EXPECT_EQ(factory.getNumPrimitives(), 1);
}
