#pragma once

#include "sceneapi/KXSceneExport.h"

#include <vector>

class KXGeometry;

// Makes geometry primitives by type number and keeps them until they are
// given back.
//
// The factory holds a reference to every primitive it made until
// destroyGeometryPrimitive lets it go, or until the factory itself is
// destroyed. A shape (or a KXRef) that still uses a primitive keeps it alive
// through its own reference; otherwise letting go deletes it.
class KXSCENE_API KXPrimitivesFactory
{
public:
    // Each type makes its class with that class's default parameters: the
    // shape fits the cube from -0.5 to 0.5 on every axis, centred at the
    // origin, with +z as its axis or normal.
    enum KXPRIMITIVETYPE {
        KXPRIMITIVETYPE_NONE = 0,
        KXPRIMITIVETYPE_BOX = 1,        // KXBox, 1 x 1 x 1
        KXPRIMITIVETYPE_SPHERE = 2,     // KXSphere, radius 0.5, 32 slices, 16 stacks
        KXPRIMITIVETYPE_CONE = 3,       // KXCone, base radius 0.5 at z = -0.5, apex at z = 0.5, base capped
        KXPRIMITIVETYPE_CYLINDER = 4,   // KXCylinder, radius 0.5 from z = -0.5 to 0.5, both ends capped
        KXPRIMITIVETYPE_TORUS = 5,      // KXTorus, radii 0.375 and 0.125 around z
        KXPRIMITIVETYPE_GRID = 6,       // KXSheet, 1 x 1 in z = 0, cut into 16 x 16 cells, for floors lit
                                        // or fogged per vertex
        KXPRIMITIVETYPE_DISC = 7,       // KXDisc, radius 0.5 in z = 0, facing +z
        KXPRIMITIVETYPE_WIRESHEET = 8,  // KXWireSheet, 1 x 1 in z = 0, 10 x 10 cells: a KXPolyline
        KXPRIMITIVETYPE_SHEET = 9,      // KXSheet, 1 x 1 in z = 0, facing +z, two triangles
    };

    // Vertex data of tri-mesh primitives, as bits. No bits (NONE) gives what
    // a lit and textured surface needs: a normal and a 2D texture coordinate
    // per vertex, one-sided, no colours. The other bits add or leave out data.
    // Wire sheets, being lines, use the colours bit only.
    enum KXPRIMITIVEATTRIBUTE {
        KXPRIMITIVEATTRIBUTE_NONE = 0,
        KXPRIMITIVEATTRIBUTE_COLORS = 1,       // adds a colour per vertex (the primitive's vertex colour)
        KXPRIMITIVEATTRIBUTE_NO_NORMALS = 2,   // leaves out the normals, for unlit drawing
        KXPRIMITIVEATTRIBUTE_NO_TEXCOORDS = 4, // leaves out the texture coordinates
        KXPRIMITIVEATTRIBUTE_TWO_SIDED = 8,    // makes the mesh two-sided
        KXPRIMITIVEATTRIBUTE_ALL = 15,
    };

    KXPrimitivesFactory() = default;
    KXPrimitivesFactory(const KXPrimitivesFactory&) = delete;
    KXPrimitivesFactory& operator=(const KXPrimitivesFactory&) = delete;
    // Lets go of every primitive not given back yet.
    ~KXPrimitivesFactory();

    // A new primitive of the type with the attributes (bits outside
    // KXPRIMITIVEATTRIBUTE_ALL are ignored), or null for an unknown type.
    KXGeometry* createGeometryPrimitive(int type, int attributes = KXPRIMITIVEATTRIBUTE_NONE);
    // Lets go of a primitive this factory made. Null, a primitive given back
    // already and one made elsewhere are ignored.
    void destroyGeometryPrimitive(KXGeometry* primitive);

    // Primitives made and not given back yet.
    int getNumPrimitives() const { return static_cast<int>(m_primitives.size()); }

private:
    std::vector<KXGeometry*> m_primitives;
};
