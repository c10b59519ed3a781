#include "sceneapi/KXTangentFrame.h"

#include "sceneapi/KXTriMesh.h"

#include <cmath>

KXTangentFrame::KXTangentFrame(KXTriMesh* mesh) : m_mesh(mesh)
{
    compute();
}

void KXTangentFrame::compute()
{
    const auto& v = m_mesh->getVertexArray();
    const auto& uv = m_mesh->getTexCoordsArray();
    const size_t n = v.size();
    m_tangents.assign(n, KXVector());
    m_binormals.assign(n, KXVector());
    m_valid = true;
    if (uv.size() != n)
        return;
    const int triangles = m_mesh->getNumTriangles();
    for (int t = 0; t < triangles; ++t) {
        uint32_t a, b, c;
        if (!m_mesh->getTriangle(t, a, b, c) || a >= n || b >= n || c >= n)
            continue;
        const KXVector e1 = v[b] - v[a], e2 = v[c] - v[a];
        const float du1 = uv[b].getX() - uv[a].getX(), dv1 = uv[b].getY() - uv[a].getY();
        const float du2 = uv[c].getX() - uv[a].getX(), dv2 = uv[c].getY() - uv[a].getY();
        const float det = du1 * dv2 - du2 * dv1;
        if (std::fabs(det) < 1e-12f)
            continue;
        const float r = 1.0f / det;
        const KXVector tangent = (e1 * dv2 - e2 * dv1) * r;
        const KXVector binormal = (e2 * du1 - e1 * du2) * r;
        for (uint32_t i : {a, b, c}) {
            m_tangents[i] += tangent;
            m_binormals[i] += binormal;
        }
    }
    for (size_t i = 0; i < n; ++i) {
        m_tangents[i].normalize();
        m_binormals[i].normalize();
    }
}

void KXTangentFrame::updateTriMeshColor(const KXPosition& lightPosition)
{
    if (m_updating)
        return;
    const auto& v = m_mesh->getVertexArray();
    const auto& normals = m_mesh->getNormalsArray();
    const size_t n = v.size();
    if (n == 0 || normals.size() != n || m_mesh->getTexCoordsArray().size() != n)
        return;
    if (!m_valid)
        compute();
    std::vector<KXColor> colors(n);
    for (size_t i = 0; i < n; ++i) {
        KXVector toLight = lightPosition - v[i];
        toLight.normalize();
        const float x = toLight.dot(m_tangents[i]);
        const float y = toLight.dot(m_binormals[i]);
        const float z = toLight.dot(normals[i]);
        colors[i] = KXColor(x * 0.5f + 0.5f, y * 0.5f + 0.5f, z * 0.5f + 0.5f, 1.0f);
    }
    // Writing the colours changes the mesh, which would invalidate this
    // frame; the positions and coordinates it was computed from are the same.
    m_updating = true;
    m_mesh->setColorArray(std::move(colors));
    m_updating = false;
    m_valid = true;
}
