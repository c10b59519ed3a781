#include "renderer/dx/KXDXClipState.h"

#include "renderer/KXOutOfMemory.h"
#include "sceneapi/KXClipPlane.h"
#include "sceneapi/KXMatrix.h"

#include <cmath>

namespace {

// Coefficients smaller than this do not pick the point of the plane.
constexpr float MIN_COEFFICIENT = 1e-7f;
// Below this determinant the upper 3x3 is taken as singular.
constexpr float MIN_DETERMINANT = 1e-12f;

// The normal of a plane under world. Normals follow the inverse transpose of
// the upper 3x3, so that the plane stays perpendicular to its normal under
// non-uniform scales and shears; a singular 3x3 falls back to carrying the
// normal as a direction.
KXVector transformNormal(const KXMatrix& world, const KXVector& normal)
{
    auto m = [&world](int r, int c) { return world.get(r, c); };
    // Cofactors of the upper 3x3.
    float cofactor[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const int r0 = (r + 1) % 3, r1 = (r + 2) % 3;
            const int c0 = (c + 1) % 3, c1 = (c + 2) % 3;
            cofactor[r][c] = m(r0, c0) * m(r1, c1) - m(r0, c1) * m(r1, c0);
        }
    }
    const float determinant = m(0, 0) * cofactor[0][0] + m(0, 1) * cofactor[0][1] + m(0, 2) * cofactor[0][2];
    if (!(std::fabs(determinant) >= MIN_DETERMINANT))
        return world.transform(normal);
    // The inverse transpose is the cofactor matrix over the determinant.
    float out[3];
    for (int c = 0; c < 3; ++c)
        out[c] = (normal.getX() * cofactor[0][c] + normal.getY() * cofactor[1][c] + normal.getZ() * cofactor[2][c]) /
                 determinant;
    return KXVector(out[0], out[1], out[2]);
}

} // namespace

KXDXClipState::KXDXClipState(KXDXDevice* device) : KXDXRenderStateBase(device)
{
    reset();
}

void KXDXClipState::reset()
{
    m_planes.clear();
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
}

KXPlane KXDXClipState::transformPlane(const KXPlane& plane, const KXMatrix& world)
{
    KXVector normal = transformNormal(world, plane.getNormal());
    normal.normalize();
    // A point of the plane on the first axis that crosses it.
    float point[3] = {0.0f, 0.0f, 0.0f};
    const float coefficients[3] = {plane.getA(), plane.getB(), plane.getC()};
    for (int axis = 0; axis < 3; ++axis) {
        if (std::fabs(coefficients[axis]) >= MIN_COEFFICIENT) {
            point[axis] = -plane.getD() / coefficients[axis];
            break;
        }
    }
    const KXPosition placed = world.transform(KXPosition(point[0], point[1], point[2]));
    const float d = -(normal.getX() * placed.getX() + normal.getY() * placed.getY() + normal.getZ() * placed.getZ());
    return KXPlane(normal.getX(), normal.getY(), normal.getZ(), d);
}

void KXDXClipState::setClipPlane(unsigned index, KXClipPlane* plane, const KXMatrix& world)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || index >= MAX_CLIP_PLANES || !plane)
        return;
    // Listed first: a plane that enableClipping could not switch on again
    // is not set at all.
    if (!kxRunWithinMemory([&] { m_planes.push_back(index); }))
        return;
    const KXPlane placed = transformPlane(plane->getPlane(), world);
    const float equation[4] = {placed.getA(), placed.getB(), placed.getC(), placed.getD()};
    device->SetClipPlane(index, equation);
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, 1u << index);
}

void KXDXClipState::enableClipping(int enable)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    DWORD bits = 0;
    if (enable) {
        for (unsigned index : m_planes)
            bits |= 1u << index;
    }
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, bits);
}
