#include "sceneapi/KXBox.h"

#include "sceneapi/KXPrimitiveBuilder.h"

KXBox::KXBox()
{
    rebuild();
}

KXBox::KXBox(KXScene* scene) : KXMeshPrimitive(scene)
{
    rebuild();
}

void KXBox::setParameters(const KXPosition& center, float sizeX, float sizeY, float sizeZ)
{
    if (isUpToDate() && center == m_center && sizeX == m_sizeX && sizeY == m_sizeY && sizeZ == m_sizeZ)
        return;
    m_center = center;
    m_sizeX = sizeX;
    m_sizeY = sizeY;
    m_sizeZ = sizeZ;
    rebuild();
}

void KXBox::generate(KXPrimitiveBuilder& builder) const
{
    const KXVector size(KXPrimitiveBuilder::sanitizeLength(m_sizeX), KXPrimitiveBuilder::sanitizeLength(m_sizeY),
                        KXPrimitiveBuilder::sanitizeLength(m_sizeZ));
    auto scaled = [&size](float x, float y, float z) {
        return KXVector(x * size.getX(), y * size.getY(), z * size.getZ());
    };
    // Per face: outward normal, then the u and v axes of its texture with
    // u x v = normal.
    struct Face
    {
        float n[3], u[3], v[3];
    };
    static const Face faces[6] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},   {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}},
        {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},  {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},   {{0, 0, -1}, {1, 0, 0}, {0, -1, 0}},
    };
    for (const Face& f : faces) {
        // Each coordinate of a corner gets exactly one non-zero term, so the
        // faces meeting at a corner compute it bit for bit alike.
        const KXVector offset = scaled(f.n[0], f.n[1], f.n[2]) * 0.5f;
        builder.addGrid(m_center + offset, scaled(f.u[0], f.u[1], f.u[2]), scaled(f.v[0], f.v[1], f.v[2]),
                        KXVector(f.n[0], f.n[1], f.n[2]), 1, 1);
    }
}
