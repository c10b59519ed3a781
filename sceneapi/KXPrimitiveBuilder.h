#pragma once

#include "sceneapi/KXGeometry2D.h"
#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXVector.h"

#include <cstdint>
#include <vector>

// Shared by the primitives only: the pieces their meshes are made of, and the
// arrays they are collected in.

// An orthonormal frame around an axis, with e1 x e2 = axis: angles measured
// from e1 towards e2 run counter-clockwise seen from the tip of the axis.
struct KXSCENE_API KXPrimitiveFrame
{
    KXPosition origin;
    KXVector axis{0.0f, 0.0f, 1.0f};
    KXVector e1{1.0f, 0.0f, 0.0f};
    KXVector e2{0.0f, 1.0f, 0.0f};

    // The frame of a direction, normalised; a direction too short to
    // normalise (or not finite) gives +z. +z itself gets e1 = +x, e2 = +y.
    static KXPrimitiveFrame make(const KXPosition& origin, const KXVector& direction);

    // The point at a distance from the axis, at the angle with the given
    // cosine and sine, at a height along the axis.
    KXPosition at(float radius, float cosAngle, float sinAngle, float height) const;
    // The direction with a radial part (at the angle) and an axial part.
    KXVector direction(float radial, float cosAngle, float sinAngle, float axial) const;
};

// One point of a profile that is swept around an axis: its distance from the
// axis, its height along it, the profile's outward normal in the same two
// coordinates, and the texture coordinate t it carries on a cylindrical map.
struct KXProfilePoint
{
    float radius;
    float height;
    float normalRadial;
    float normalAxial;
    float t;
};

class KXSCENE_API KXPrimitiveBuilder
{
public:
    enum KXTEXMAPPING {
        // s = angle / 2 pi, t from the profile.
        KXTEXMAPPING_CYLINDRICAL = 0,
        // The disc of the largest radius mapped onto the unit square, upright
        // when the surface is seen from the side its normal points to.
        KXTEXMAPPING_PLANAR = 1,
    };

    uint32_t addVertex(const KXPosition& position, const KXVector& normal, float s, float t);
    void addTriangle(uint32_t a, uint32_t b, uint32_t c);

    // A rectangle around centre spanning uSpan and vSpan (full lengths), cut
    // into nu x nv cells of two triangles, facing uSpan x vSpan, given the
    // normal. s runs 0..1 along uSpan, t 1..0 along vSpan.
    void addGrid(const KXPosition& centre, const KXVector& uSpan, const KXVector& vSpan, const KXVector& normal,
                 int nu, int nv);

    // The surface swept by a profile around the frame's axis in slices steps.
    // The profile must run so that (direction of increasing angle) x (profile
    // direction) points outward; then every face is counter-clockwise seen
    // from outside. A profile point at radius 0 becomes one vertex per slice,
    // at the middle angle of the slice, so that each triangle meeting there
    // gets the normal and texture coordinate of its own slice. Profile steps
    // of zero length add nothing.
    void addRevolution(const KXPrimitiveFrame& frame, const std::vector<KXProfilePoint>& profile, int slices,
                       KXTEXMAPPING mapping);

    // A truncated cone along the frame's axis: radius0 at height 0, radius1
    // at height length, stacks bands along its side, and flat caps on request.
    void addFrustum(const KXPrimitiveFrame& frame, float radius0, float radius1, float length, int slices, int stacks,
                    bool cap0, bool cap1);

    // Cosines and sines of 2 pi (k + phase) / n for k = 0..n, computed in
    // double precision with values within 1e-12 of zero made exactly zero.
    // With phase 0 the last entry repeats the first exactly, so a seam closes.
    static void circleTable(int n, double phase, std::vector<float>& cosines, std::vector<float>& sines);

    // Limits on subdivision counts, so that a wild argument cannot ask for an
    // unbounded amount of memory.
    static constexpr int kMaxSlices = 1024;
    static constexpr int kMaxStacks = 1024;
    static int clampCount(int value, int lo, int hi) { return value < lo ? lo : (value > hi ? hi : value); }
    // |value|, or 0 for a value that is not finite: sizes have no sign.
    static float sanitizeLength(float value);

    std::vector<KXPosition> vertices;
    std::vector<KXUnitVector> normals;
    std::vector<KXPosition2D> texCoords;
    std::vector<uint32_t> indices;
};
