#pragma once

#include "sceneapi/KXColor.h"
#include "sceneapi/KXGeometry.h"
#include "sceneapi/KXGeometry2D.h"
#include "sceneapi/KXSceneExport.h"

#include <cstdint>
#include <memory>
#include <vector>

class KXTangentFrame;

// Base of the renderer-side forms of tri-meshes: made from a snapshot of the
// mesh, drawn with the device's current state.
class KXTriMeshImpl : public KXGeometryImpl
{
public:
    virtual void draw() = 0;
};

// A triangle mesh: parallel per-vertex arrays (positions, and optionally
// normals, colours, 2D and cubic texture coordinates) and an index list read
// as a triangle list, strip or fan. An optional array is used only when it has
// exactly as many entries as the positions.
//
// Every setter discards the renderer's implementation, brings the bounds up
// to date and tells observers.
class KXSCENE_API KXTriMesh : public KXGeometry
{
public:
    enum KXTRIMESHTYPE {
        KXTRIMESHTYPE_LIST = 0,
        KXTRIMESHTYPE_STRIP = 1,
        KXTRIMESHTYPE_FAN = 2,
    };
    // One-sided meshes show their front faces only; two-sided meshes are seen
    // from both sides and lit on the back with the normals turned around.
    enum KXSIDEDNESS {
        KXSIDEDNESS_ONE = 0,
        KXSIDEDNESS_TWO = 1,
    };

    KXTriMesh();
    explicit KXTriMesh(KXScene* scene);
    ~KXTriMesh() override;

    int getGeomType() const override { return KXGEOMTYPE_TRIMESH; }
    int refresh() override;

    const std::vector<KXPosition>& getVertexArray() const { return m_vertices; }
    const std::vector<KXUnitVector>& getNormalsArray() const { return m_normals; }
    const std::vector<KXColor>& getColorArray() const { return m_colors; }
    const std::vector<KXPosition2D>& getTexCoordsArray() const { return m_texCoords; }
    // Cubic texture coordinates (s, t, r) as positions.
    const std::vector<KXPosition>& getCubicTexCoordsArray() const { return m_cubicTexCoords; }
    const std::vector<uint32_t>& getIndicesArray() const { return m_indices; }

    void setVertexArray(std::vector<KXPosition> vertices);
    void setNormalsArray(std::vector<KXUnitVector> normals);
    void setColorArray(std::vector<KXColor> colors);
    void setTexCoordsArray(std::vector<KXPosition2D> texCoords);
    void setCubicTexCoordsArray(std::vector<KXPosition> texCoords);
    void setIndicesArray(std::vector<uint32_t> indices);
    // Replaces everything at once, with a single notification.
    void set(KXTRIMESHTYPE type, std::vector<KXPosition> vertices, std::vector<uint32_t> indices,
             std::vector<KXUnitVector> normals = {}, std::vector<KXColor> colors = {},
             std::vector<KXPosition2D> texCoords = {});
    // Empties every array.
    void clear();

    KXTRIMESHTYPE getTriMeshType() const { return m_type; }
    void setTriMeshType(KXTRIMESHTYPE type);
    int getSidedness() const { return m_sidedness; }
    void setSidedness(int sidedness);

    int getNumVertices() const { return static_cast<int>(m_vertices.size()); }
    int getNumIndices() const { return static_cast<int>(m_indices.size()); }
    // Triangles the index list describes: n / 3 for a list, n - 2 for a strip
    // or a fan (0 below three indices).
    int getNumTriangles() const;
    // The three vertex indices of triangle t in drawing order (strips swap the
    // second and third index of every odd triangle so that all keep the same
    // winding). Returns false when t is out of range.
    bool getTriangle(int t, uint32_t& a, uint32_t& b, uint32_t& c) const;

    // Fills the normals array with smooth normals: for each vertex, the
    // area-weighted mean of the normals of the triangles that use it.
    void computeNormals();

    // Tangent frame for per-pixel lighting through vertex colours; null until
    // createTangentFrame is called.
    KXTangentFrame* getTangentFrame() const { return m_tangentFrame.get(); }
    KXTangentFrame* createTangentFrame();
    void destroyTangentFrame();

    KXTriMeshImpl* getImplementation() const { return static_cast<KXTriMeshImpl*>(m_impl.get()); }
    void setImplementation(KXTriMeshImpl* impl) { m_impl.set(impl); }

protected:
    void changed() override;

private:
    void updateBounds();

    KXTRIMESHTYPE m_type = KXTRIMESHTYPE_LIST;
    int m_sidedness = KXSIDEDNESS_ONE;
    std::vector<KXPosition> m_vertices;
    std::vector<KXUnitVector> m_normals;
    std::vector<KXColor> m_colors;
    std::vector<KXPosition2D> m_texCoords;
    std::vector<KXPosition> m_cubicTexCoords;
    std::vector<uint32_t> m_indices;
    std::unique_ptr<KXTangentFrame> m_tangentFrame;
    KXImplementationSlot m_impl;
};
