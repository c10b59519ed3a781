#include "sceneapi/KXTriMesh.h"

#include "sceneapi/KXTangentFrame.h"

KXTriMesh::KXTriMesh() = default;

KXTriMesh::KXTriMesh(KXScene* scene) : KXGeometry(scene) {}

KXTriMesh::~KXTriMesh() = default;

int KXTriMesh::refresh()
{
    updateBounds();
    if (m_tangentFrame)
        m_tangentFrame->compute();
    return 0;
}

void KXTriMesh::changed()
{
    m_impl.discard();
    if (m_tangentFrame)
        m_tangentFrame->invalidate();
    KXGeometry::changed();
}

void KXTriMesh::updateBounds()
{
    KXBounds b;
    b.compute(m_vertices.data(), static_cast<int>(m_vertices.size()));
    setBounds(b);
}

void KXTriMesh::setVertexArray(std::vector<KXPosition> vertices)
{
    m_vertices = std::move(vertices);
    updateBounds();
    changed();
}

void KXTriMesh::setNormalsArray(std::vector<KXUnitVector> normals)
{
    m_normals = std::move(normals);
    changed();
}

void KXTriMesh::setColorArray(std::vector<KXColor> colors)
{
    m_colors = std::move(colors);
    // New colours leave the tangent frame valid: it depends on positions,
    // normals and texture coordinates only.
    m_impl.discard();
    KXGeometry::changed();
}

void KXTriMesh::setTexCoordsArray(std::vector<KXPosition2D> texCoords)
{
    m_texCoords = std::move(texCoords);
    changed();
}

void KXTriMesh::setCubicTexCoordsArray(std::vector<KXPosition> texCoords)
{
    m_cubicTexCoords = std::move(texCoords);
    changed();
}

void KXTriMesh::setIndicesArray(std::vector<uint32_t> indices)
{
    m_indices = std::move(indices);
    changed();
}

void KXTriMesh::set(KXTRIMESHTYPE type, std::vector<KXPosition> vertices, std::vector<uint32_t> indices,
                    std::vector<KXUnitVector> normals, std::vector<KXColor> colors,
                    std::vector<KXPosition2D> texCoords)
{
    m_type = type;
    m_vertices = std::move(vertices);
    m_indices = std::move(indices);
    m_normals = std::move(normals);
    m_colors = std::move(colors);
    m_texCoords = std::move(texCoords);
    m_cubicTexCoords.clear();
    updateBounds();
    changed();
}

void KXTriMesh::clear()
{
    set(m_type, {}, {});
}

void KXTriMesh::setTriMeshType(KXTRIMESHTYPE type)
{
    if (m_type == type)
        return;
    m_type = type;
    changed();
}

void KXTriMesh::setSidedness(int sidedness)
{
    if (m_sidedness == sidedness)
        return;
    m_sidedness = sidedness;
    changed();
}

int KXTriMesh::getNumTriangles() const
{
    const int n = static_cast<int>(m_indices.size());
    switch (m_type) {
    case KXTRIMESHTYPE_LIST:
        return n / 3;
    case KXTRIMESHTYPE_STRIP:
    case KXTRIMESHTYPE_FAN:
        return n >= 3 ? n - 2 : 0;
    }
    return 0;
}

bool KXTriMesh::getTriangle(int t, uint32_t& a, uint32_t& b, uint32_t& c) const
{
    if (t < 0 || t >= getNumTriangles())
        return false;
    switch (m_type) {
    case KXTRIMESHTYPE_LIST:
        a = m_indices[3 * t];
        b = m_indices[3 * t + 1];
        c = m_indices[3 * t + 2];
        return true;
    case KXTRIMESHTYPE_STRIP:
        a = m_indices[t];
        b = m_indices[(t & 1) ? t + 2 : t + 1];
        c = m_indices[(t & 1) ? t + 1 : t + 2];
        return true;
    case KXTRIMESHTYPE_FAN:
        a = m_indices[0];
        b = m_indices[t + 1];
        c = m_indices[t + 2];
        return true;
    }
    return false;
}

void KXTriMesh::computeNormals()
{
    const size_t n = m_vertices.size();
    std::vector<KXVector> sums(n);
    const int triangles = getNumTriangles();
    for (int t = 0; t < triangles; ++t) {
        uint32_t a, b, c;
        getTriangle(t, a, b, c);
        if (a >= n || b >= n || c >= n)
            continue;
        // The cross product's length is twice the area: larger faces weigh more.
        const KXVector face = (m_vertices[b] - m_vertices[a]).cross(m_vertices[c] - m_vertices[a]);
        sums[a] += face;
        sums[b] += face;
        sums[c] += face;
    }
    std::vector<KXUnitVector> normals(n);
    for (size_t i = 0; i < n; ++i)
        normals[i] = sums[i].length() > 0.0f ? KXUnitVector(sums[i]) : KXUnitVector(0.0f, 0.0f, 1.0f);
    setNormalsArray(std::move(normals));
}

KXTangentFrame* KXTriMesh::createTangentFrame()
{
    if (!m_tangentFrame)
        m_tangentFrame = std::make_unique<KXTangentFrame>(this);
    return m_tangentFrame.get();
}

void KXTriMesh::destroyTangentFrame()
{
    m_tangentFrame.reset();
}
