#pragma once

#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXTriMesh.h"

class KXPrimitiveBuilder;

// Base of the tri-mesh primitives: KXSheet, KXBox, KXSphere, KXCone,
// KXCylinder, KXTorus and KXDisc.
//
// A primitive keeps the parameters of its shape and generates its mesh from
// them: a triangle list whose faces are counter-clockwise seen from outside
// (from the side the normals point to), with a unit normal and a 2D texture
// coordinate per vertex. Vertices are shared where the surface is smooth and
// split along creases (the rim between a side and a cap, the edges of a box)
// and texture seams. Texture coordinates follow Direct3D, t growing down the
// image: an image reads upright on a surface seen from the front with the
// surface's "up" direction (its v axis, or its axis) pointing up.
//
// The mesh is replaced through the KXTriMesh setters, so each rebuild
// discards the renderer's implementation, brings the bounds up to date and
// tells observers. Setting the parameters a primitive already has does
// nothing, so that code which sets them on every frame does not make the
// renderer rebuild its buffers; after the arrays were changed through the
// KXTriMesh setters, the next setParameters generates the mesh again even
// with the same values.
class KXSCENE_API KXMeshPrimitive : public KXTriMesh
{
public:
    // Optional vertex data: bits of KXPrimitivesFactory::KXPRIMITIVEATTRIBUTE.
    // Changing them rebuilds the mesh; the two-sided bit sets the sidedness
    // whenever it changes.
    int getAttributes() const { return m_attributes; }
    void setAttributes(int attributes);

    // The colour given to every vertex when the colours attribute is set;
    // opaque white by default.
    const KXColor& getVertexColor() const { return m_vertexColor; }
    void setVertexColor(const KXColor& color);

protected:
    KXMeshPrimitive();
    explicit KXMeshPrimitive(KXScene* scene);

    // Fills the builder with the shape for the current parameters, with
    // normals and texture coordinates; the attributes are applied afterwards.
    virtual void generate(KXPrimitiveBuilder& builder) const = 0;

    // True while the mesh is the one the current parameters generate.
    bool isUpToDate() const { return m_upToDate; }
    // Generates the mesh and stores it. Derived classes call it at the end of
    // their constructors and whenever a parameter changes.
    void rebuild();

    void changed() override;

private:
    int m_attributes = 0;
    KXColor m_vertexColor{1.0f, 1.0f, 1.0f, 1.0f};
    bool m_upToDate = false;
    bool m_rebuilding = false;
};
