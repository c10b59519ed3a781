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
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
// The angle step the light markers pass: 3.14159 / 16.
constexpr float kMarkerStep = 0.19634954f;

// The truths below are computed from positions and index order alone, read
// back through getTriangle, never from the generators' own formulas.

// Twice the area, along the side the triangle is counter-clockwise from.
KXVector areaVector(const KXTriMesh& mesh, int t, uint32_t (&index)[3])
{
    mesh.getTriangle(t, index[0], index[1], index[2]);
    const auto& v = mesh.getVertexArray();
    return (v[index[1]] - v[index[0]]).cross(v[index[2]] - v[index[0]]);
}

double surfaceArea(const KXTriMesh& mesh)
{
    double area = 0.0;
    uint32_t index[3];
    for (int t = 0; t < mesh.getNumTriangles(); ++t)
        area += 0.5 * areaVector(mesh, t, index).length();
    return area;
}

// Every triangle has an area, and each of its vertex normals is within the
// given cosine of the normal its winding gives.
void expectNormalsMatchWinding(const KXTriMesh& mesh, float minCosine)
{
    ASSERT_EQ(mesh.getNormalsArray().size(), mesh.getVertexArray().size());
    int bad = 0;
    uint32_t index[3];
    for (int t = 0; t < mesh.getNumTriangles(); ++t) {
        const KXVector face = areaVector(mesh, t, index);
        for (uint32_t i : index)
            if (!(face.dot(mesh.getNormalsArray()[i]) >= minCosine * face.length() && face.length() > 0.0f))
                ++bad;
    }
    EXPECT_EQ(bad, 0) << "vertex normals disagreeing with their triangles' winding";
}

// Directed edges between distinct positions (vertices at bit-for-bit equal
// positions are one point) and how often each is used.
std::map<std::pair<int, int>, int> directedEdges(const KXTriMesh& mesh)
{
    std::map<std::tuple<float, float, float>, int> ids;
    std::vector<int> id;
    for (const KXPosition& p : mesh.getVertexArray())
        id.push_back(ids.emplace(std::make_tuple(p.getX(), p.getY(), p.getZ()), static_cast<int>(ids.size()))
                         .first->second);
    std::map<std::pair<int, int>, int> edges;
    uint32_t index[3];
    for (int t = 0; t < mesh.getNumTriangles(); ++t) {
        mesh.getTriangle(t, index[0], index[1], index[2]);
        for (int k = 0; k < 3; ++k) {
            const int a = id[index[k]], b = id[index[(k + 1) % 3]];
            EXPECT_NE(a, b) << "degenerate triangle " << t;
            ++edges[{a, b}];
        }
    }
    return edges;
}

// Edges used by one triangle only: the rims of an open surface, none for a
// closed one. No edge may be used twice in the same direction, so
// neighbouring faces agree on their orientation. Shared points must be equal
// bit for bit, so that no crack can open between faces once transformed.
int countBorderEdges(const KXTriMesh& mesh)
{
    const auto edges = directedEdges(mesh);
    int border = 0;
    for (const auto& [edge, count] : edges) {
        EXPECT_EQ(count, 1);
        if (!edges.count({edge.second, edge.first}))
            ++border;
    }
    return border;
}

void expectBounds(const KXBounds& b, const KXPosition& lo, const KXPosition& hi, float tolerance = 1e-5f)
{
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(b.getLowerLeftPos()[k], lo[k], tolerance) << "axis " << k;
        EXPECT_NEAR(b.getUpperRightPos()[k], hi[k], tolerance) << "axis " << k;
    }
}

// The analytic box of circles (centre, radius) on a unit axis n: a circle
// reaches r sqrt(1 - n_k^2) along world axis k. A polygon reaches that only at
// some angles, so its box lies inside by at most r (1 - cos(pi / slices)).
void expectBoundsOfCircles(const KXBounds& b, const std::vector<std::pair<KXPosition, float>>& circles,
                           const KXVector& n, int slices)
{
    for (int k = 0; k < 3; ++k) {
        float lo = 1e30f, hi = -1e30f, slack = 1e-5f;
        for (const auto& [c, r] : circles) {
            const float e = r * std::sqrt(std::max(0.0f, 1.0f - n[k] * n[k]));
            lo = std::min(lo, c[k] - e);
            hi = std::max(hi, c[k] + e);
            slack = std::max(slack, r * (1.0f - std::cos(static_cast<float>(kPi) / slices)) + 1e-5f);
        }
        EXPECT_GE(b.getLowerLeftPos()[k], lo - 1e-5f) << "axis " << k;
        EXPECT_LE(b.getLowerLeftPos()[k], lo + slack) << "axis " << k;
        EXPECT_LE(b.getUpperRightPos()[k], hi + 1e-5f) << "axis " << k;
        EXPECT_GE(b.getUpperRightPos()[k], hi - slack) << "axis " << k;
    }
}

// Triangles whose winding faces the unit direction.
int countFacesAlong(const KXTriMesh& mesh, const KXVector& direction)
{
    int count = 0;
    uint32_t index[3];
    for (int t = 0; t < mesh.getNumTriangles(); ++t) {
        const KXVector f = areaVector(mesh, t, index);
        count += f.dot(direction) > (1.0f - 1e-4f) * f.length();
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
// component of largest magnitude, v = unit(n x u).
std::pair<KXVector, KXVector> floorAxes(const KXVector& n)
{
    const float ax = std::fabs(n.getX()), ay = std::fabs(n.getY()), az = std::fabs(n.getZ());
    KXVector u = ax >= ay && ax >= az ? KXVector(n.getY(), -n.getX(), 0.0f)
                 : ay >= az           ? KXVector(n.getZ(), 0.0f, -n.getX())
                                      : KXVector(0.0f, n.getZ(), -n.getY());
    u.normalize();
    KXVector v = n.cross(u);
    v.normalize();
    return {u, v};
}

template <class T, class... Args>
KXRef<KXMeshPrimitive> makeWith(Args... args)
{
    auto p = KXMake<T>();
    p->setParameters(args...);
    return KXRef<KXMeshPrimitive>(p);
}

} // namespace

TEST(KXPrimitiveMeshTest, EveryPrimitiveHasConsistentArraysOutwardNormalsAndUnitTexCoords)
{
    const KXVector tilted(0.3f, -0.5f, 0.8f);
    const std::vector<std::pair<const char*, KXRef<KXMeshPrimitive>>> meshes = {
        {"sheet", makeWith<KXSheet>(KXPosition(1, 2, 3), KXVector(0, 1, 0), KXVector(0, 0, 1), 4.0f, 2.0f)},
        {"box", makeWith<KXBox>(KXPosition(-1, 0, 2), 1.0f, 2.0f, 3.0f)},
        {"sphere", makeWith<KXSphere>(KXPosition(1, 1, 1), 2.0f, 16, 16, false)},
        {"hemisphere", makeWith<KXSphere>(KXPosition(0, 0, 0), 1.0f, 12, 5, true)},
        {"frustum", makeWith<KXCone>(KXPosition(0, 1, 0), tilted, 1.0f, 0.4f, 2.0f, kMarkerStep, 3, true, true)},
        {"cone", makeWith<KXCone>(KXPosition(0, 0, 0), tilted, 0.0f, 1.5f, 1.0f, kMarkerStep, 2, true, true)},
        {"cylinder", makeWith<KXCylinder>(KXPosition(2, 0, 0), KXVector(-1, 0, 0), 0.5f, 3.0f, 24, true)},
        {"torus", makeWith<KXTorus>(KXPosition(0, 0, 1), tilted, 2.0f, 0.5f, 24, 12)},
        {"ring", makeWith<KXDisc>(KXPosition(0, 0, 1), KXVector(0, -1, 0), 2.0f, 1.0f, 16)},
    };
    for (const auto& [name, mesh] : meshes) {
        SCOPED_TRACE(name);
        const size_t n = mesh->getVertexArray().size();
        EXPECT_EQ(mesh->getTriMeshType(), KXTriMesh::KXTRIMESHTYPE_LIST);
        EXPECT_GT(mesh->getNumTriangles(), 0);
        EXPECT_EQ(mesh->getTexCoordsArray().size(), n);
        EXPECT_TRUE(mesh->getColorArray().empty());
        for (uint32_t i : mesh->getIndicesArray())
            ASSERT_LT(i, n);
        for (const KXUnitVector& normal : mesh->getNormalsArray())
            EXPECT_NEAR(normal.length(), 1.0f, 1e-5f);
        for (const KXPosition2D& uv : mesh->getTexCoordsArray())
            EXPECT_TRUE(uv.getX() >= 0.0f && uv.getX() <= 1.0f && uv.getY() >= 0.0f && uv.getY() <= 1.0f);
        // Coarse meshes: a vertex normal is off its faces' normals by at most
        // about a slice or stack step.
        expectNormalsMatchWinding(*mesh, 0.5f);
    }
}

TEST(KXSheetTest, SpansWidthAlongUAndHeightAlongVFacingUCrossV)
{
    auto sheet = KXMake<KXSheet>();
    sheet->setParameters(KXPosition(1, 2, 3), KXVector(0, 1, 0), KXVector(0, 0, 1), 4.0f, 2.0f);
    EXPECT_EQ(sheet->getNumTriangles(), 2);
    expectBounds(sheet->getBounds(), KXPosition(1, 0, 2), KXPosition(1, 4, 4));
    EXPECT_NEAR(surfaceArea(*sheet), 8.0, 1e-5);
    EXPECT_EQ(countFacesAlong(*sheet, KXVector(1, 0, 0)), 2);
    expectNormalsMatchWinding(*sheet, 1.0f - 1e-6f);
    // s runs along u, t down along v: the corner at +u +v has (1, 0).
    for (int i = 0; i < sheet->getNumVertices(); ++i) {
        const KXPosition& p = sheet->getVertexArray()[i];
        EXPECT_FLOAT_EQ(sheet->getTexCoordsArray()[i].getX(), p.getY() > 2.0f ? 1.0f : 0.0f);
        EXPECT_FLOAT_EQ(sheet->getTexCoordsArray()[i].getY(), p.getZ() > 3.0f ? 0.0f : 1.0f);
    }

    // Directions are normalised; subdivisions cut the same rectangle finer
    // and are kept by later parameters; counts below 1 are clamped.
    sheet->setSubdivisions(3, 2);
    sheet->setParameters(KXPosition(0, 0, 0), KXVector(2, 0, 0), KXVector(0, 5, 0), 3.0f, 1.0f);
    EXPECT_EQ(sheet->getNumTriangles(), 12);
    expectBounds(sheet->getBounds(), KXPosition(-1.5f, -0.5f, 0), KXPosition(1.5f, 0.5f, 0));
    EXPECT_NEAR(surfaceArea(*sheet), 3.0, 1e-5);
    EXPECT_EQ(countBorderEdges(*sheet), 10);
    sheet->setSubdivisions(0, -4);
    EXPECT_EQ(sheet->getNumTriangles(), 2);
}

TEST(KXSheetTest, FloorSheetIsTheTwoByTwoSquareInThePlaneOfItsNormal)
{
    for (KXVector n : {KXVector(0, 0, -1), KXVector(0, 0, 1), KXVector(1, 0, 0), KXVector(0.2f, -0.9f, 0.3f)}) {
        n.normalize();
        const auto [u, v] = floorAxes(n);
        auto sheet = KXMake<KXSheet>();
        sheet->setParameters(KXPosition(0, 0, 0), u, v, 2.0f, 2.0f);
        EXPECT_NEAR(surfaceArea(*sheet), 4.0, 1e-5);
        EXPECT_EQ(countFacesAlong(*sheet, n), 2);
        for (const KXPosition& p : sheet->getVertexArray()) {
            EXPECT_NEAR(KXVector(p).dot(n), 0.0f, 1e-6f);
            EXPECT_NEAR(KXVector(p).length(), std::sqrt(2.0f), 1e-5f);
        }
        if (n.getZ() == -1.0f)
            expectBounds(sheet->getBounds(), KXPosition(-1, -1, 0), KXPosition(1, 1, 0));
    }
}

TEST(KXWireSheetTest, IsAGridOfSegmentsOverTheSheetRectangle)
{
    auto grid = KXMake<KXWireSheet>();
    EXPECT_EQ(grid->getGeomType(), KXGeometry::KXGEOMTYPE_POLYLINE);
    EXPECT_EQ(grid->getPolylineType(), KXPolyline::KXPOLYLINETYPE_SEGMENTS);
    EXPECT_EQ(grid->getNumSegments(), 22);
    grid->setParameters(KXPosition(1, 1, 0), KXVector(1, 0, 0), KXVector(0, 1, 0), 4.0f, 2.0f, 4);
    EXPECT_EQ(grid->getNumSegments(), 10);
    expectBounds(grid->getBounds(), KXPosition(-1, 0, 0), KXPosition(3, 2, 0));
    // Five lines across v, evenly spaced over the width, then five across u.
    const auto& p = grid->getVertices();
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(p[2 * i].getX(), -1.0f + i, 1e-5f);
        EXPECT_NEAR((p[2 * i + 1] - p[2 * i]).dot(KXVector(0, 1, 0)), 2.0f, 1e-5f);
        EXPECT_NEAR(p[10 + 2 * i].getY(), 0.5f * i, 1e-5f);
        EXPECT_NEAR((p[10 + 2 * i + 1] - p[10 + 2 * i]).dot(KXVector(1, 0, 0)), 4.0f, 1e-5f);
    }

    // The five-argument form keeps the counts; a rectangle of no size (the
    // anchor on the projected centre) keeps its segments, of zero length.
    grid->setDivisions(3, 5);
    grid->setParameters(KXPosition(5, 5, 5), KXVector(0, 1, 0), KXVector(0, 0, 1), 0.0f, 0.0f);
    EXPECT_EQ(grid->getNumSegments(), 4 + 6);
    expectBounds(grid->getBounds(), KXPosition(5, 5, 5), KXPosition(5, 5, 5));
}

TEST(KXConeTest, AngleStepGivesTheSliceCount)
{
    auto cone = KXMake<KXCone>();
    const std::pair<float, int> cases[] = {{kMarkerStep, 32}, {static_cast<float>(kPi / 4), 8}, {10.0f, 3},
                                           {0.0f, 32},        {-1.0f, 32},                      {NAN, 32},
                                           {1e-9f, 1024}};
    for (const auto& [step, slices] : cases) {
        cone->setParameters(KXPosition(0, 0, 0), KXVector(0, 0, 1), 1.0f, 1.0f, 1.0f, step, 1, false, false);
        EXPECT_EQ(cone->getSlices(), slices) << step;
        EXPECT_EQ(cone->getNumTriangles(), 2 * slices) << step;
    }
}

TEST(KXConeTest, DirectionalMarkerIsACylinderOpenAtItsPositionAndCappedAtItsEnd)
{
    KXVector d(1, -2, -2);
    d.normalize();
    const float s = 0.5f;
    const KXPosition start = KXPosition(1, 2, 3) - d * 6.0f;
    auto marker = KXMake<KXCone>();
    marker->setParameters(start, d, s, s, s, kMarkerStep, 1, false, true);

    EXPECT_EQ(marker->getNumTriangles(), 32 * 2 + 32);
    EXPECT_EQ(countFacesAlong(*marker, d), 32);
    EXPECT_EQ(countFacesAlong(*marker, -d), 0);
    EXPECT_EQ(countBorderEdges(*marker), 32);
    expectNormalsMatchWinding(*marker, std::cos(static_cast<float>(kPi) / 32) - 1e-4f);
    expectBoundsOfCircles(marker->getBounds(), {{start, s}, {start + d * s, s}}, d, 32);
}

TEST(KXConeTest, SpotMarkerHasItsApexAtTheLightAndIsClosed)
{
    const KXPosition light(0, 0, 4);
    KXVector d(0, 1, -1);
    d.normalize();
    const float range = 3.0f;
    const float radius = range * std::tan(0.4f);
    auto reach = KXMake<KXCone>();
    reach->setParameters(light, d, 0.0f, radius, range, kMarkerStep, 1, false, true);

    EXPECT_EQ(reach->getNumTriangles(), 32 + 32);
    EXPECT_EQ(countBorderEdges(*reach), 0);
    expectBoundsOfCircles(reach->getBounds(), {{light, 0.0f}, {light + d * range, radius}}, d, 32);
    EXPECT_TRUE(reach->getBounds().contains(light));
    // Each apex corner carries the normal of its own slice.
    int apexCorners = 0;
    uint32_t index[3];
    for (int t = 0; t < reach->getNumTriangles(); ++t) {
        const KXVector f = areaVector(*reach, t, index);
        for (uint32_t i : index) {
            if (reach->getVertexArray()[i] != light)
                continue;
            ++apexCorners;
            EXPECT_NEAR(f.dot(reach->getNormalsArray()[i]) / f.length(), 1.0f, 1e-5f);
        }
    }
    EXPECT_EQ(apexCorners, 32);
    // A 32-gon holds a little less area than its circle.
    const double exact = kPi * radius * std::sqrt(range * range + radius * radius) + kPi * radius * radius;
    EXPECT_LT(surfaceArea(*reach), exact);
    EXPECT_GT(surfaceArea(*reach), 0.98 * exact);
}

TEST(KXConeTest, ClosedFrustaAreWatertightAndTheirAreaConverges)
{
    const double lateral = kPi * 1.5 * std::sqrt(4.0 + 0.25);
    const double exact = lateral + kPi * (1.0 + 0.25);
    double previousError = 1e9;
    for (int slices : {16, 64, 256}) {
        auto cone = KXMake<KXCone>();
        cone->setParameters(KXPosition(3, 0, 0), KXVector(-0.2f, 0.7f, 0.4f), 1.0f, 0.5f, 2.0f,
                            static_cast<float>(2 * kPi / slices), 2, true, true);
        ASSERT_EQ(cone->getSlices(), slices);
        EXPECT_EQ(cone->getNumTriangles(), 2 * slices * 2 + 2 * slices);
        EXPECT_EQ(countBorderEdges(*cone), 0);
        const double error = std::fabs(surfaceArea(*cone) - exact);
        EXPECT_LT(error, previousError);
        previousError = error;
    }
    EXPECT_LT(previousError / exact, 2e-4);

    // Stacked bands up to an apex: the last band is triangles, the apex
    // gets no cap.
    auto cone = KXMake<KXCone>();
    cone->setParameters(KXPosition(1, 1, 1), KXVector(0, 0, 1), 1.0f, 0.0f, 2.0f, kMarkerStep, 4, true, true);
    EXPECT_EQ(cone->getNumTriangles(), 32 * (2 * 4 - 1) + 32);
    EXPECT_EQ(countBorderEdges(*cone), 0);

    // A negative length runs the axis backwards; the base stays at the
    // position, facing away from the apex.
    cone->setParameters(KXPosition(0, 0, 0), KXVector(0, 0, 1), 1.0f, 0.0f, -2.0f, kMarkerStep, 1, true, false);
    expectBoundsOfCircles(cone->getBounds(), {{KXPosition(0, 0, 0), 1.0f}, {KXPosition(0, 0, -2), 0.0f}},
                          KXVector(0, 0, 1), 32);
    EXPECT_EQ(countFacesAlong(*cone, KXVector(0, 0, 1)), 32);
    EXPECT_EQ(countBorderEdges(*cone), 0);
    expectNormalsMatchWinding(*cone, 0.9f);
}

TEST(KXSphereTest, PointMarkerIsAClosedSphereWithRadialNormals)
{
    const KXPosition c(1, -2, 3);
    auto sphere = KXMake<KXSphere>();
    sphere->setParameters(c, 1.5f, 16, 16, false);
    EXPECT_EQ(sphere->getNumTriangles(), 2 * 16 * 15);
    expectBounds(sphere->getBounds(), c - KXVector(1.5f, 1.5f, 1.5f), c + KXVector(1.5f, 1.5f, 1.5f));
    for (int i = 0; i < sphere->getNumVertices(); ++i) {
        const KXVector d = sphere->getVertexArray()[i] - c;
        EXPECT_NEAR(d.length(), 1.5f, 1e-5f);
        EXPECT_NEAR(d.dot(sphere->getNormalsArray()[i]), 1.5f, 1e-5f);
    }
    EXPECT_EQ(countBorderEdges(*sphere), 0);
    expectNormalsMatchWinding(*sphere, 0.9f);

    // The reach sphere of the detail view.
    sphere->setParameters(c, 10.0f, 32, 32, false);
    EXPECT_EQ(sphere->getNumTriangles(), 2 * 32 * 31);
    EXPECT_EQ(countBorderEdges(*sphere), 0);

    // An inscribed polyhedron holds less area, less and less so.
    const double exact = 4.0 * kPi * 4.0;
    double previousError = 1e9;
    for (int n : {8, 32, 128}) {
        sphere->setParameters(KXPosition(0, 0, 0), 2.0f, 2 * n, n, false);
        const double error = exact - surfaceArea(*sphere);
        EXPECT_GT(error, 0.0);
        EXPECT_LT(error, previousError);
        previousError = error;
    }
    EXPECT_LT(previousError / exact, 1e-3);
}

TEST(KXSphereTest, HemisphereIsTheOpenUpperHalf)
{
    auto dome = KXMake<KXSphere>();
    dome->setParameters(KXPosition(0, 0, 1), 2.0f, 16, 4, true);
    EXPECT_EQ(dome->getNumTriangles(), 16 * (2 * 4 - 1));
    expectBounds(dome->getBounds(), KXPosition(-2, -2, 1), KXPosition(2, 2, 3));
    EXPECT_EQ(countBorderEdges(*dome), 16);
    expectNormalsMatchWinding(*dome, 0.8f);
    dome->setParameters(KXPosition(0, 0, 1), 2.0f, 256, 64, true);
    EXPECT_NEAR(surfaceArea(*dome), 8.0 * kPi, 1e-3 * 8.0 * kPi);
}

TEST(KXSolidPrimitivesTest, BoxCylinderTorusAndDiscHaveTheirAnalyticShape)
{
    auto box = KXMake<KXBox>();
    box->setParameters(KXPosition(-1, 0, 2), 1.0f, 2.0f, 3.0f);
    EXPECT_EQ(box->getNumTriangles(), 12);
    expectBounds(box->getBounds(), KXPosition(-1.5f, -1, 0.5f), KXPosition(-0.5f, 1, 3.5f));
    EXPECT_NEAR(surfaceArea(*box), 2 * (1 * 2 + 2 * 3 + 3 * 1), 1e-5);
    EXPECT_EQ(countBorderEdges(*box), 0);
    expectNormalsMatchWinding(*box, 1.0f - 1e-6f);
    for (const KXVector& axis : {KXVector(1, 0, 0), KXVector(0, -1, 0), KXVector(0, 0, 1)}) {
        EXPECT_EQ(countFacesAlong(*box, axis), 2);
        EXPECT_EQ(countFacesAlong(*box, -axis), 2);
    }

    KXVector axis(1, 1, 0);
    auto cylinder = KXMake<KXCylinder>();
    cylinder->setParameters(KXPosition(0, 0, 0), axis, 0.5f, 2.0f, 24, true);
    EXPECT_EQ(cylinder->getNumTriangles(), 4 * 24);
    EXPECT_EQ(countBorderEdges(*cylinder), 0);
    axis.normalize();
    expectBoundsOfCircles(cylinder->getBounds(), {{KXPosition(0, 0, 0), 0.5f}, {KXPosition() + axis * 2.0f, 0.5f}},
                          axis, 24);
    cylinder->setParameters(KXPosition(0, 0, 0), axis, 0.5f, 2.0f, 512, false);
    EXPECT_EQ(countBorderEdges(*cylinder), 2 * 512);
    EXPECT_NEAR(surfaceArea(*cylinder), 2.0 * kPi, 1e-4 * 2.0 * kPi);

    auto torus = KXMake<KXTorus>();
    torus->setParameters(KXPosition(0, 0, 0), KXVector(0, 0, 1), 2.0f, 0.5f, 24, 12);
    EXPECT_EQ(torus->getNumTriangles(), 2 * 24 * 12);
    expectBounds(torus->getBounds(), KXPosition(-2.5f, -2.5f, -0.5f), KXPosition(2.5f, 2.5f, 0.5f));
    EXPECT_EQ(countBorderEdges(*torus), 0);
    torus->setParameters(KXPosition(0, 0, 0), KXVector(0, 0, 1), 1.0f, 1.0f, 16, 8);
    EXPECT_EQ(countBorderEdges(*torus), 0); // the hole closes in one point
    torus->setParameters(KXPosition(0, 0, 0), KXVector(1, 2, 3), 2.0f, 0.5f, 256, 128);
    EXPECT_NEAR(surfaceArea(*torus), 4.0 * kPi * kPi, 1e-3 * 4.0 * kPi * kPi);

    auto disc = KXMake<KXDisc>();
    disc->setParameters(KXPosition(1, 1, 1), KXVector(0, -1, 0), 2.0f, 0.0f, 16);
    EXPECT_EQ(disc->getNumTriangles(), 16);
    EXPECT_EQ(countFacesAlong(*disc, KXVector(0, -1, 0)), 16);
    EXPECT_EQ(countBorderEdges(*disc), 16);
    disc->setParameters(KXPosition(1, 1, 1), KXVector(0, -1, 0), 2.0f, 1.0f, 512);
    EXPECT_EQ(countBorderEdges(*disc), 2 * 512);
    EXPECT_NEAR(surfaceArea(*disc), 3.0 * kPi, 1e-4 * 3.0 * kPi);
    disc->setParameters(KXPosition(1, 1, 1), KXVector(0, -1, 0), 2.0f, 3.0f, 16);
    EXPECT_EQ(disc->getNumTriangles(), 0);
}

TEST(KXPrimitiveUpdateTest, NewParametersDiscardTheImplementationAndMoveTheBounds)
{
    int deaths = 0;
    EventRecorder recorder;
    auto sphere = KXMake<KXSphere>();
    sphere->registerObserver(&recorder);
    sphere->setImplementation(new CountingTriMeshImpl(deaths));
    sphere->setParameters(KXPosition(5, 0, 0), 2.0f, 16, 16, false);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(sphere->getImplementation(), nullptr);
    EXPECT_GE(recorder.count(KXObjectEvent::KXOBJECTEVENT_CHANGED), 1);
    expectBounds(sphere->getBounds(), KXPosition(3, -2, -2), KXPosition(7, 2, 2));
    sphere->unregisterObserver(&recorder);

    auto cone = KXMake<KXCone>();
    cone->setImplementation(new CountingTriMeshImpl(deaths));
    cone->setParameters(KXPosition(0, 0, 10), KXVector(0, 0, -1), 0.0f, 1.0f, 1.0f, kMarkerStep, 1, false, true);
    EXPECT_EQ(deaths, 2);
    expectBounds(cone->getBounds(), KXPosition(-1, -1, 9), KXPosition(1, 1, 10));

    auto sheet = KXMake<KXSheet>();
    sheet->setImplementation(new CountingTriMeshImpl(deaths));
    sheet->setParameters(KXPosition(0, 0, 1), KXVector(1, 0, 0), KXVector(0, 1, 0), 5.0f, 5.0f);
    EXPECT_EQ(deaths, 3);
    expectBounds(sheet->getBounds(), KXPosition(-2.5f, -2.5f, 1), KXPosition(2.5f, 2.5f, 1));

    int lineDeaths = 0;
    auto grid = KXMake<KXWireSheet>();
    grid->setImplementation(new CountingPolylineImpl(lineDeaths));
    grid->setParameters(KXPosition(0, 0, 1), KXVector(1, 0, 0), KXVector(0, 1, 0), 5.0f, 5.0f);
    EXPECT_EQ(lineDeaths, 1);
    expectBounds(grid->getBounds(), KXPosition(-2.5f, -2.5f, 1), KXPosition(2.5f, 2.5f, 1));
}

TEST(KXPrimitiveUpdateTest, SameParametersKeepTheMeshUnlessItWasEditedMeanwhile)
{
    // Markers are set up again on every frame, mostly with the same values:
    // the renderer keeps its buffers.
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

    // After an edit through the mesh's own setters the same values rebuild.
    cone->setIndicesArray({});
    cone->setParameters(KXPosition(0, 0, 4), KXVector(0, 0, -1), 0.0f, 1.0f, 1.0f, kMarkerStep, 1, false, true);
    EXPECT_EQ(cone->getNumTriangles(), 64);

    int lineDeaths = 0;
    auto grid = KXMake<KXWireSheet>();
    grid->setImplementation(new CountingPolylineImpl(lineDeaths));
    grid->setParameters(KXPosition(), KXVector(1, 0, 0), KXVector(0, 1, 0), 1.0f, 1.0f);
    EXPECT_EQ(lineDeaths, 0);
    grid->set(KXPolyline::KXPOLYLINETYPE_OPEN, std::vector<KXPosition>{});
    grid->setParameters(KXPosition(), KXVector(1, 0, 0), KXVector(0, 1, 0), 1.0f, 1.0f);
    EXPECT_EQ(grid->getPolylineType(), KXPolyline::KXPOLYLINETYPE_SEGMENTS);
    EXPECT_EQ(grid->getNumSegments(), 22);
}

TEST(KXPrimitiveAttributesTest, NoneGivesALitTexturedMeshAndBitsAddOrLeaveOutData)
{
    using F = KXPrimitivesFactory;
    F factory;
    auto* sheet = dynamic_cast<KXSheet*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_SHEET));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->getNormalsArray().size(), 4u);
    EXPECT_EQ(sheet->getTexCoordsArray().size(), 4u);
    EXPECT_TRUE(sheet->getColorArray().empty());
    EXPECT_EQ(sheet->getSidedness(), KXTriMesh::KXSIDEDNESS_ONE);

    const int bits = F::KXPRIMITIVEATTRIBUTE_COLORS | F::KXPRIMITIVEATTRIBUTE_NO_NORMALS |
                     F::KXPRIMITIVEATTRIBUTE_TWO_SIDED;
    auto* sphere = dynamic_cast<KXSphere*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_SPHERE, bits | 0x100));
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

    sphere->setAttributes(F::KXPRIMITIVEATTRIBUTE_NO_TEXCOORDS);
    EXPECT_EQ(sphere->getNormalsArray().size(), n);
    EXPECT_TRUE(sphere->getTexCoordsArray().empty());
    EXPECT_TRUE(sphere->getColorArray().empty());
    EXPECT_EQ(sphere->getSidedness(), KXTriMesh::KXSIDEDNESS_ONE);

    auto* grid = dynamic_cast<KXWireSheet*>(
        factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_WIRESHEET, F::KXPRIMITIVEATTRIBUTE_COLORS));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->getColorArray().size(), grid->getVertices().size());
}

TEST(KXPrimitivesFactoryTest, EachTypeMakesItsClassFittingTheUnitCube)
{
    using F = KXPrimitivesFactory;
    F factory;
    EXPECT_NE(dynamic_cast<KXBox*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_BOX)), nullptr);
    EXPECT_NE(dynamic_cast<KXSphere*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_SPHERE)), nullptr);
    EXPECT_NE(dynamic_cast<KXCone*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_CONE)), nullptr);
    EXPECT_NE(dynamic_cast<KXCylinder*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_CYLINDER)), nullptr);
    EXPECT_NE(dynamic_cast<KXTorus*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_TORUS)), nullptr);
    EXPECT_NE(dynamic_cast<KXDisc*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_DISC)), nullptr);
    EXPECT_NE(dynamic_cast<KXWireSheet*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_WIRESHEET)), nullptr);
    auto* grid = dynamic_cast<KXSheet*>(factory.createGeometryPrimitive(F::KXPRIMITIVETYPE_GRID));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->getNumTriangles(), 2 * 16 * 16);
    KXGeometry* sheet = factory.createGeometryPrimitive(9);
    ASSERT_NE(dynamic_cast<KXSheet*>(sheet), nullptr);
    EXPECT_EQ(sheet->getGeomType(), KXGeometry::KXGEOMTYPE_TRIMESH);
    EXPECT_EQ(static_cast<KXTriMesh*>(sheet)->getNumTriangles(), 2);
    EXPECT_EQ(factory.getNumPrimitives(), 9);
    for (int type : {0, 10, -1, 1000})
        EXPECT_EQ(factory.createGeometryPrimitive(type), nullptr);
    EXPECT_EQ(factory.getNumPrimitives(), 9);

    for (int type = F::KXPRIMITIVETYPE_BOX; type <= F::KXPRIMITIVETYPE_SHEET; ++type) {
        SCOPED_TRACE(type);
        KXGeometry* g = factory.createGeometryPrimitive(type);
        // Across x and y every shape spans the cube; along z it stays inside.
        const KXBounds& b = g->getBounds();
        for (int k = 0; k < 2; ++k) {
            EXPECT_NEAR(b.getLowerLeftPos()[k], -0.5f, 1e-6f);
            EXPECT_NEAR(b.getUpperRightPos()[k], 0.5f, 1e-6f);
        }
        EXPECT_GE(b.getLowerLeftPos().getZ(), -0.5f - 1e-6f);
        EXPECT_LE(b.getUpperRightPos().getZ(), 0.5f + 1e-6f);
        factory.destroyGeometryPrimitive(g);
    }
}

TEST(KXPrimitivesFactoryTest, HoldsWhatItMadeUntilItIsGivenBack)
{
    EventRecorder recorder;
    KXPrimitivesFactory factory;
    KXGeometry* floor = factory.createGeometryPrimitive(KXPrimitivesFactory::KXPRIMITIVETYPE_SHEET);
    ASSERT_NE(floor, nullptr);
    EXPECT_EQ(floor->getRefCount(), 1);
    floor->registerObserver(&recorder);
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
        factory.createGeometryPrimitive(KXPrimitivesFactory::KXPRIMITIVETYPE_BOX)->registerObserver(&recorder);
    }
    // The factory let go of both it still held; only the box, which nothing
    // else held, is gone.
    EXPECT_EQ(recorder.count(KXObjectEvent::KXOBJECTEVENT_DESTROYING), 1);
    EXPECT_EQ(keptPastFactory->getRefCount(), 1);
    auto* sphere = static_cast<KXSphere*>(keptPastFactory.get());
    sphere->setParameters(KXPosition(0, 0, 0), 3.0f, 8, 4, false);
    EXPECT_NEAR(sphere->getBounds().getXRange(), 6.0f, 1e-5f);
}
