#include "sceneapi/KXBackground.h"

#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTextureAttributes.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265f;

// Six white lights along the axes: for any unit normal the diffuse terms add
// up to |nx| + |ny| + |nz| >= 1, which saturates to full white.
KXLightModel* createFullBrightLightModel()
{
    auto* model = new KXLightModel();
    const KXVector directions[6] = {KXVector(1, 0, 0),  KXVector(-1, 0, 0), KXVector(0, 1, 0),
                                    KXVector(0, -1, 0), KXVector(0, 0, 1),  KXVector(0, 0, -1)};
    for (const KXVector& direction : directions) {
        auto* light = new KXDirectionalLight();
        light->setDirection(direction);
        model->addLight(light);
    }
    return model;
}

// Orthographic camera looking down -z at the square -1..1 in x and y of the
// plane z = 0, which lies one unit in front of the eye, halfway between the
// near and far planes.
KXOrthoCamera* createFullViewCamera()
{
    auto* camera = new KXOrthoCamera();
    camera->setPosition(KXPosition(0.0f, 0.0f, 1.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 1.0f, 0.0f));
    camera->setViewportScale(2.0f);
    camera->setNearPlane(0.5f);
    camera->setFarPlane(1.5f);
    return camera;
}

// Perspective camera at the centre of a sky mesh, looking along +z with -y
// up: its view matrix V is diag(1, -1, -1). The renderer's world matrix is
// W = S × Ry × Rx × S × Vs × S for a scene view rotation Vs (S × Ry × S × Vs × S
// for a dome), so W × V ends in Vs × (S × V). For the sky to follow every Vs
// without being mirrored, S × V must commute with all rotations while having
// determinant -1, which leaves only S × V = -I, that is V = diag(1, -1, -1).
KXPerspectiveCamera* createSkyCamera(const KXMatrix& world)
{
    auto* camera = new KXPerspectiveCamera();
    camera->setPosition(KXPosition(0.0f, 0.0f, 0.0f), KXPosition(0.0f, 0.0f, 1.0f), KXVector(0.0f, -1.0f, 0.0f));
    camera->setNearPlane(0.05f);
    camera->setFarPlane(10.0f);
    camera->setWorldMatrix(world);
    return camera;
}

// With the sky camera's view V = diag(1, -1, -1) and the renderer's
// W = S × Ry × Rx × (S × Vs × S) for a scene view rotation Vs, a mesh point p
// reaches sky view space as p × S × Ry × Rx × S × Vs × (S × V) = -(p × M) × Vs
// with M = S × Ry × Rx × S, which maps (x, y, z) to (-x, z, y). The point that
// shows scene direction d is therefore the one with p × M = -d.
KXPosition skyBoxPoint(const KXVector& d)
{
    return KXPosition(d.getX(), -d.getZ(), -d.getY());
}

// For the dome M = S × Ry × S = diag(-1, 1, -1).
KXPosition skyDomePoint(const KXVector& d)
{
    return KXPosition(d.getX(), -d.getY(), d.getZ());
}

// Cube-map direction of a scene direction: +z up is the top face (+Y), +y the
// front face (+Z).
KXPosition cubeMapDirection(const KXVector& d)
{
    return KXPosition(d.getX(), d.getZ(), d.getY());
}

KXTriMesh* createSkyBoxMesh()
{
    // Each face by its outward scene direction n and the direction w that is
    // up on it for a viewer at the centre; in cube-map face order.
    struct Face {
        KXVector n, w;
    };
    const Face faces[6] = {
        {KXVector(1, 0, 0), KXVector(0, 0, 1)},  {KXVector(-1, 0, 0), KXVector(0, 0, 1)},
        {KXVector(0, 0, 1), KXVector(0, -1, 0)}, {KXVector(0, 0, -1), KXVector(0, 1, 0)},
        {KXVector(0, 1, 0), KXVector(0, 0, 1)},  {KXVector(0, -1, 0), KXVector(0, 0, 1)},
    };
    std::vector<KXPosition> vertices, cubic;
    std::vector<KXUnitVector> normals;
    std::vector<uint32_t> indices;
    for (const Face& face : faces) {
        // The viewer's right when looking along n with w up.
        const KXVector r = face.n.cross(face.w);
        const KXVector corners[4] = {face.n - r + face.w, face.n - r - face.w, face.n + r - face.w,
                                     face.n + r + face.w};
        const KXVector inward = -KXVector(skyBoxPoint(face.n));
        const uint32_t base = static_cast<uint32_t>(vertices.size());
        for (const KXVector& corner : corners) {
            vertices.push_back(skyBoxPoint(corner));
            cubic.push_back(cubeMapDirection(corner));
            normals.push_back(KXUnitVector(inward));
        }
        // Top left, bottom left, bottom right, top right: counter-clockwise
        // for the viewer at the centre once the renderer's W has undone the
        // mirroring of the mesh layout.
        const uint32_t quad[6] = {0, 1, 2, 0, 2, 3};
        for (uint32_t i : quad)
            indices.push_back(base + i);
    }
    auto* mesh = new KXTriMesh();
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(vertices), std::move(indices), std::move(normals));
    mesh->setCubicTexCoordsArray(std::move(cubic));
    return mesh;
}

KXTriMesh* createSkyDomeMesh()
{
    constexpr int segments = KXSkyDome::SEGMENTS, rings = KXSkyDome::RINGS;
    std::vector<KXPosition> vertices;
    std::vector<KXUnitVector> normals;
    std::vector<KXPosition2D> texCoords;
    // Column i runs from the zenith (j = 0) down to the horizon (j = rings);
    // the first and last columns meet at -y with u = 0 and u = 1.
    for (int i = 0; i <= segments; ++i) {
        const float u = static_cast<float>(i) / segments;
        const float azimuth = 1.5f * kPi - 2.0f * kPi * u;
        for (int j = 0; j <= rings; ++j) {
            const float v = static_cast<float>(j) / rings;
            const float elevation = (1.0f - v) * 0.5f * kPi;
            KXVector d(0.0f, 0.0f, 1.0f);
            if (j > 0)
                d = KXVector(std::cos(elevation) * std::cos(azimuth), std::cos(elevation) * std::sin(azimuth),
                             std::sin(elevation));
            const KXPosition p = skyDomePoint(d);
            vertices.push_back(p);
            normals.push_back(KXUnitVector(-KXVector(p)));
            texCoords.emplace_back(u, v);
        }
    }
    std::vector<uint32_t> indices;
    const auto at = [](int i, int j) { return static_cast<uint32_t>(i * (rings + 1) + j); };
    for (int i = 0; i < segments; ++i) {
        for (int j = 0; j < rings; ++j) {
            // Seen from the centre, column i + 1 lies to the right of column
            // i and row j + 1 below row j.
            const uint32_t topLeft = at(i, j), topRight = at(i + 1, j);
            const uint32_t bottomLeft = at(i, j + 1), bottomRight = at(i + 1, j + 1);
            indices.insert(indices.end(), {topLeft, bottomLeft, bottomRight});
            // At the zenith the two top corners are the same point.
            if (j > 0)
                indices.insert(indices.end(), {topLeft, bottomRight, topRight});
        }
    }
    auto* mesh = new KXTriMesh();
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(vertices), std::move(indices), std::move(normals), {},
              std::move(texCoords));
    return mesh;
}

// World matrices the renderer gives the sky cameras for a scene camera
// looking along +y with +z up.
KXMatrix defaultSkyBoxWorld()
{
    return KXMatrix::scaling(1.0f, 1.0f, -1.0f);
}

KXMatrix defaultSkyDomeWorld()
{
    return KXMatrix(1, 0, 0, 0, 0, 0, -1, 0, 0, -1, 0, 0, 0, 0, 0, 1);
}

} // namespace

void KXSingleColorBackground::setColor(const KXColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    changed();
}

KXGradientBackground::KXGradientBackground()
{
    init();
}

KXGradientBackground::KXGradientBackground(KXScene* scene) : KXBackground(scene)
{
    init();
}

KXGradientBackground::~KXGradientBackground() = default;

void KXGradientBackground::init()
{
    m_stops = {{0.0f, KXColor(0.85f, 0.85f, 0.9f, 1.0f)}, {1.0f, KXColor(0.25f, 0.35f, 0.55f, 1.0f)}};
    m_camera = createFullViewCamera();
    m_geometry = new KXTriMesh();
    rebuildGeometry();
}

void KXGradientBackground::setBottomColor(const KXColor& color)
{
    if (m_stops.front().position == 0.0f)
        m_stops.front().color = color;
    else
        m_stops.insert(m_stops.begin(), {0.0f, color});
    rebuildGeometry();
    changed();
}

void KXGradientBackground::setTopColor(const KXColor& color)
{
    if (m_stops.back().position == 1.0f)
        m_stops.back().color = color;
    else
        m_stops.push_back({1.0f, color});
    rebuildGeometry();
    changed();
}

void KXGradientBackground::setColors(const KXColor& bottom, const KXColor& top)
{
    setColorStops({{0.0f, bottom}, {1.0f, top}});
}

void KXGradientBackground::setColorStops(std::vector<KXColorStop> stops)
{
    stops.erase(std::remove_if(stops.begin(), stops.end(),
                               [](const KXColorStop& s) { return !std::isfinite(s.position); }),
                stops.end());
    if (stops.empty())
        return;
    for (KXColorStop& s : stops)
        s.position = std::clamp(s.position, 0.0f, 1.0f);
    std::stable_sort(stops.begin(), stops.end(),
                     [](const KXColorStop& a, const KXColorStop& b) { return a.position < b.position; });
    m_stops = std::move(stops);
    rebuildGeometry();
    changed();
}

KXColor KXGradientBackground::getColorAt(float position) const
{
    if (!(position > m_stops.front().position))
        return m_stops.front().color;
    if (position >= m_stops.back().position)
        return m_stops.back().color;
    // The last stop at or below the position, and the one above it, which
    // lies strictly higher since the position is below the last stop.
    size_t i = 0;
    while (m_stops[i + 1].position <= position)
        ++i;
    const KXColorStop& a = m_stops[i];
    const KXColorStop& b = m_stops[i + 1];
    const float f = (position - a.position) / (b.position - a.position);
    return a.color + (b.color - a.color) * f;
}

void KXGradientBackground::rebuildGeometry()
{
    // One row of two vertices per stop, plus rows at the bottom and top edge
    // of the view when the outer stops lie inside it.
    std::vector<KXColorStop> rows;
    if (m_stops.front().position > 0.0f)
        rows.push_back({0.0f, m_stops.front().color});
    rows.insert(rows.end(), m_stops.begin(), m_stops.end());
    if (m_stops.back().position < 1.0f)
        rows.push_back({1.0f, m_stops.back().color});

    std::vector<KXPosition> vertices;
    std::vector<KXColor> colors;
    for (const KXColorStop& row : rows) {
        const float y = -1.0f + 2.0f * row.position;
        vertices.emplace_back(-1.0f, y, 0.0f);
        vertices.emplace_back(1.0f, y, 0.0f);
        colors.push_back(row.color);
        colors.push_back(row.color);
    }
    std::vector<uint32_t> indices;
    for (size_t k = 0; k + 1 < rows.size(); ++k) {
        // Two stops at one position make a band of no height: a sharp edge.
        if (!(rows[k + 1].position > rows[k].position))
            continue;
        const uint32_t bl = static_cast<uint32_t>(2 * k), br = bl + 1, tl = bl + 2, tr = bl + 3;
        indices.insert(indices.end(), {bl, br, tr, bl, tr, tl});
    }
    m_geometry->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(vertices), std::move(indices), {}, std::move(colors));
}

KXImageBackground::KXImageBackground()
{
    init();
}

KXImageBackground::KXImageBackground(KXScene* scene) : KXBackground(scene)
{
    init();
}

KXImageBackground::~KXImageBackground() = default;

void KXImageBackground::init()
{
    m_texture = new KXTexture2D();
    m_lightModel = createFullBrightLightModel();
    m_camera = createFullViewCamera();
    m_geometry = new KXTriMesh();
    m_geometry->set(KXTriMesh::KXTRIMESHTYPE_LIST,
                    {KXPosition(-1, -1, 0), KXPosition(1, -1, 0), KXPosition(1, 1, 0), KXPosition(-1, 1, 0)},
                    {0, 1, 2, 0, 2, 3}, std::vector<KXUnitVector>(4, KXUnitVector(0, 0, 1)), {},
                    {KXPosition2D(0, 1), KXPosition2D(1, 1), KXPosition2D(1, 0), KXPosition2D(0, 0)});
}

void KXImageBackground::setTexture2D(KXTexture2D* texture)
{
    if (m_texture == texture)
        return;
    m_texture = texture;
    changed();
}

void KXImageBackground::setTextureAttributes(KXTextureAttributes* attributes)
{
    if (m_attributes == attributes)
        return;
    m_attributes = attributes;
    changed();
}

void KXImageBackground::setLightModel(KXLightModel* lightModel)
{
    if (m_lightModel == lightModel)
        return;
    m_lightModel = lightModel;
    changed();
}

KXSkyBox::KXSkyBox()
{
    init();
}

KXSkyBox::KXSkyBox(KXScene* scene) : KXBackground(scene)
{
    init();
}

KXSkyBox::~KXSkyBox() = default;

void KXSkyBox::init()
{
    m_texture = new KXTexture3D();
    m_lightModel = createFullBrightLightModel();
    m_camera = createSkyCamera(defaultSkyBoxWorld());
    m_geometry = createSkyBoxMesh();
}

void KXSkyBox::setTexture3D(KXTexture3D* texture)
{
    if (m_texture == texture)
        return;
    m_texture = texture;
    changed();
}

void KXSkyBox::setLightModel(KXLightModel* lightModel)
{
    if (m_lightModel == lightModel)
        return;
    m_lightModel = lightModel;
    changed();
}

KXSkyDome::KXSkyDome()
{
    init();
}

KXSkyDome::KXSkyDome(KXScene* scene) : KXBackground(scene)
{
    init();
}

KXSkyDome::~KXSkyDome() = default;

void KXSkyDome::init()
{
    m_texture = new KXTexture2D();
    m_lightModel = createFullBrightLightModel();
    m_camera = createSkyCamera(defaultSkyDomeWorld());
    m_geometry = createSkyDomeMesh();
}

void KXSkyDome::setTexture2D(KXTexture2D* texture)
{
    if (m_texture == texture)
        return;
    m_texture = texture;
    changed();
}

void KXSkyDome::setLightModel(KXLightModel* lightModel)
{
    if (m_lightModel == lightModel)
        return;
    m_lightModel = lightModel;
    changed();
}
