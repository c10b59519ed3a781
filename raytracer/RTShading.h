#pragma once

#include "raytracer/RTCast.h"
#include "sceneapi/KXColor.h"
#include "sceneapi/KXMatrix.h"

#include <vector>

class KXAppearance;
class KXLightModel;
class KXTriMesh;
class RTShapeTree;
class RTTextureCache;

// Interpolation of vertex attributes at a point P of a triangle. The apex a
// is the vertex farthest from P; Q is where the line from the apex through
// P meets the line through the other two vertices b and c. An attribute is
// blended along b-c at Q, then along Q-apex at P.
struct RTInterpolation {
    uint32_t a = 0, b = 0, c = 0;
    float qb = 0.0f;   // |Q - V[b]|
    float cb = 0.0f;   // |V[c] - V[b]|
    float qp = 0.0f;   // |Q - P|
    float qa = 0.0f;   // |Q - V[a]|

    RTInterpolation() = default;

    RTInterpolation(const std::vector<KXPosition>& vertices, const RTVec3& point, const uint32_t* indices);

    // Weights of the apex and of b and c; they sum to 1.
    void weights(float& wa, float& wb, float& wc) const;
    RTVec3 interpolate(const RTVec3& xa, const RTVec3& xb, const RTVec3& xc) const;
    KXColor interpolate(const KXColor& xa, const KXColor& xb, const KXColor& xc) const;
    float interpolate(float xa, float xb, float xc) const;
};

// A light of the light model as shading uses it, with its position and
// directions already in world space.
struct RTLight {
    int type = 0; // 1 directional, 2 point, 3 spot
    KXColor color;
    bool castShadows = false;
    RTVec3 direction;     // directional: where the light travels, unit
    RTVec3 position;      // point and spot
    RTVec3 spotDirection; // spot axis, unit
    float range = 0.0f;
    float attenuation[3] = {1.0f, 0.0f, 0.0f};
    float radius = 0.0f;
    float innerAngle = 0.0f, outerAngle = 0.0f;
};

// The light model of a pass, read once: the enabled lights of types 1 to 3
// in index order, with lightToWorld applied to positions and directions.
class RTLighting
{
public:
    RTLighting(const KXLightModel* model, const KXMatrix& lightToWorld);

    bool hasModel() const { return m_hasModel; }
    bool hasAmbient() const { return m_hasAmbient; }
    const KXColor& getAmbient() const { return m_ambient; }
    const std::vector<RTLight>& getLights() const { return m_lights; }

private:
    bool m_hasModel = false;
    bool m_hasAmbient = false;
    KXColor m_ambient;
    std::vector<RTLight> m_lights;
};

// Everything shading reads besides the hit, fixed for a pass.
struct RTShadingContext {
    const RTLighting* lighting = nullptr;
    // Null: no shadow and no reflection rays.
    const RTShapeTree* shapeTree = nullptr;
    // The scene's textures, decoded before the pass.
    const RTTextureCache* textures = nullptr;
    bool reflections = false;
};

// The colour of a hit: vertex colours when the mesh has them, otherwise
// emissive, ambient, diffuse and specular light of every light, modulated
// by the texture, with shadows and up to two levels of reflection; clamped.
// secondary carries shadow and reflection rays; its hit list must not be the
// one the caller is reading.
//
// prepared, when given, holds what rtPrepareHit found for this hit.
struct RTPreparedHit;
KXColor rtShade(const RTShadingContext& shading, const RTHit& hit, const RTRay& ray, RTRayContext& secondary,
                int depth, const RTPreparedHit* prepared = nullptr);

// What rtShade works out for a hit before it turns to the lights, found
// ahead of shading, so that the shadow rays of neighbouring hits can be cast
// together; and the shadow of one light when it has been found.
struct RTPreparedHit {
    // ip and normal are rtShade's (the hit is lit by its lights).
    bool surface = false;
    RTInterpolation ip;
    RTVec3 normal;
    // factor is what rtShadowFactor gives for the light numbered light of
    // the lighting's list.
    bool shadowKnown = false;
    size_t light = 0;
    float factor = 1.0f;
};

// Prepares hit for rtShade (surface, ip and normal of prepared). Returns
// whether rtShade casts a hard shadow ray toward a directional light; if so,
// shadowRay becomes the first such ray and prepared.light the number of its
// light, whose factor is rtHardShadowFactor of the ray's occlusion.
bool rtPrepareHit(const RTShadingContext& shading, const RTHit& hit, RTPreparedHit& prepared, RTRay& shadowRay);
// The parts of rtPrepareHit: whether the hit is lit by lights (a mesh with
// normals and no vertex colours, a material, a light model), and, once the
// surface, ip and normal of prepared are set, the choice of the shadow ray.
// towardLights, when given, holds for each light l of the lighting the ray
// RTRay(RTVec3(), -direction of l), whose direction is then not worked out
// again for every hit.
bool rtIsLitSurface(const RTShadingContext& shading, const RTHit& hit);
bool rtPreparedShadowRay(const RTShadingContext& shading, const RTHit& hit, RTPreparedHit& prepared, RTRay& shadowRay,
                         const RTRay* towardLights = nullptr);
// The shadow of a point or directional light whose ray meets what occlusion
// says: 1 when clear, 0.5 through transparent surfaces only, 0 behind an
// opaque one.
float rtHardShadowFactor(RTOcclusion occlusion);

// Two unit vectors u and v across a unit direction toward a light, each
// perpendicular to it and to the other, along which the samples of a soft
// shadow are spread.
void rtSoftShadowAxes(const RTVec3& toLight, RTVec3& u, RTVec3& v);

// How much of a light reaches the hit point, counting only surfaces between
// the point and the light (any surface for a directional light): for a point
// light or a directional light rtHardShadowFactor of the shadow ray; for a
// light of some radius the sum over 49 rays toward points spread over the
// light, 0.02 for each clear ray, 0.01 for each through transparent surfaces
// only and nothing for each blocked ray.
float rtShadowFactor(const RTShadingContext& shading, const RTHit& hit, const RTVec3& lightPosition,
                     const RTVec3& lightDirection, float radius, bool directional, RTRayContext& context);

// The colour seen in the mirror direction, composited back to front.
KXColor rtReflectionColor(const RTShadingContext& shading, const RTHit& hit, const RTRay& ray, const RTVec3& normal,
                          RTRayContext& context, int depth);

// min(1, (1 - shininess / 128) · intensity of the specular colour); 0
// without appearance or material.
float rtReflectivity(const KXAppearance* appearance);

// Alpha of the hit's diffuse colour: 1 without appearance or material.
float rtHitAlpha(const RTHit& hit);
