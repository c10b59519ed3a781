#include "raytracer/RTShading.h"

#include "raytracer/RTShapeTree.h"
#include "raytracer/RTTextureCache.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTextureAttributes.h"
#include "sceneapi/KXTriMesh.h"

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------- interpolation

RTInterpolation::RTInterpolation(const std::vector<KXPosition>& vertices, const RTVec3& point, const uint32_t* indices)
{
    const RTVec3 v[3] = {RTVec3(vertices[indices[0]]), RTVec3(vertices[indices[1]]), RTVec3(vertices[indices[2]])};
    const float d0 = rtLength(point - v[0]), d1 = rtLength(point - v[1]), d2 = rtLength(point - v[2]);
    int apex = 2;
    if (d0 > d1 && d0 > d2)
        apex = 0;
    else if (d1 > d0 && d1 > d2)
        apex = 1;
    const int ib = apex == 0 ? 1 : 0;
    const int ic = apex == 2 ? 1 : 2;
    a = indices[apex];
    b = indices[ib];
    c = indices[ic];

    // Q: the point of line b-c nearest to the line from the apex through P
    // (the two lines meet, up to rounding, as both lie in the triangle's
    // plane). Solved in double precision; without a proper crossing Q is b.
    const RTVec3& va = v[apex];
    const RTVec3& vb = v[ib];
    const RTVec3& vc = v[ic];
    const double p1[3] = {double(point.x) - va.x, double(point.y) - va.y, double(point.z) - va.z};
    const double p2[3] = {double(vc.x) - vb.x, double(vc.y) - vb.y, double(vc.z) - vb.z};
    const double w0[3] = {double(va.x) - vb.x, double(va.y) - vb.y, double(va.z) - vb.z};
    const auto dot = [](const double* x, const double* y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
    const double aa = dot(p1, p1), ab = dot(p1, p2), bb = dot(p2, p2), ad = dot(p1, w0), bd = dot(p2, w0);
    const double den = aa * bb - ab * ab;
    double r = 0.0;
    if (den > 1e-12 * aa * bb && aa > 0.0 && bb > 0.0)
        r = (aa * bd - ab * ad) / den;
    const RTVec3 q(static_cast<float>(vb.x + r * p2[0]), static_cast<float>(vb.y + r * p2[1]),
                   static_cast<float>(vb.z + r * p2[2]));
    qb = rtLength(q - vb);
    cb = rtLength(vc - vb);
    qp = rtLength(q - point);
    qa = rtLength(q - va);
}

void RTInterpolation::weights(float& wa, float& wb, float& wc) const
{
    const float alongBC = cb > 0.0f ? qb / cb : 0.0f;
    wa = qa > 0.0f ? qp / qa : 0.0f;
    wc = (1.0f - wa) * alongBC;
    wb = (1.0f - wa) * (1.0f - alongBC);
}

RTVec3 RTInterpolation::interpolate(const RTVec3& xa, const RTVec3& xb, const RTVec3& xc) const
{
    const float alongBC = cb > 0.0f ? qb / cb : 0.0f;
    const float towardA = qa > 0.0f ? qp / qa : 0.0f;
    const RTVec3 e = xb + (xc - xb) * alongBC;
    return e + (xa - e) * towardA;
}

KXColor RTInterpolation::interpolate(const KXColor& xa, const KXColor& xb, const KXColor& xc) const
{
    const float alongBC = cb > 0.0f ? qb / cb : 0.0f;
    const float towardA = qa > 0.0f ? qp / qa : 0.0f;
    const KXColor e = xb + (xc - xb) * alongBC;
    return e + (xa - e) * towardA;
}

float RTInterpolation::interpolate(float xa, float xb, float xc) const
{
    const float alongBC = cb > 0.0f ? qb / cb : 0.0f;
    const float towardA = qa > 0.0f ? qp / qa : 0.0f;
    const float e = xb + (xc - xb) * alongBC;
    return e + (xa - e) * towardA;
}

// ---------------------------------------------------------------- lights

RTLighting::RTLighting(const KXLightModel* model, const KXMatrix& lightToWorld)
{
    if (!model)
        return;
    m_hasModel = true;
    if (const KXLight* ambient = model->getAmbientLight()) {
        m_hasAmbient = true;
        m_ambient = ambient->getColor();
    }
    const float* m = lightToWorld.getData();
    for (int i = 0; i < model->getNumLights(); ++i) {
        const KXLight* light = model->getLight(i);
        if (!light || !light->isEnabled())
            continue;
        RTLight entry;
        entry.type = light->getLightType();
        entry.color = light->getColor();
        entry.castShadows = light->getCastShadows();
        if (entry.type == KXLight::KXLIGHTTYPE_DIRECTIONAL) {
            const auto* directional = dynamic_cast<const KXDirectionalLight*>(light);
            if (!directional)
                continue;
            entry.direction = rtNormalize(rtTransformDirection(m, RTVec3(directional->getDirection())));
        } else if (entry.type == KXLight::KXLIGHTTYPE_POINT || entry.type == KXLight::KXLIGHTTYPE_SPOT) {
            const auto* point = dynamic_cast<const KXPointLight*>(light);
            if (!point)
                continue;
            entry.position = rtTransformPoint(m, RTVec3(point->getPosition()));
            entry.range = point->getRange();
            entry.attenuation[0] = point->getAttenuation().getX();
            entry.attenuation[1] = point->getAttenuation().getY();
            entry.attenuation[2] = point->getAttenuation().getZ();
            entry.radius = point->getRadius();
            if (entry.type == KXLight::KXLIGHTTYPE_SPOT) {
                const auto* spot = dynamic_cast<const KXSpotLight*>(light);
                if (!spot)
                    continue;
                entry.spotDirection = rtNormalize(rtTransformDirection(m, RTVec3(spot->getDirection())));
                entry.innerAngle = spot->getInnerSpreadAngle();
                entry.outerAngle = spot->getOuterSpreadAngle();
            }
        } else {
            continue;
        }
        m_lights.push_back(entry);
    }
}

// ---------------------------------------------------------------- textures

namespace {

const KXColor kWhite(1.0f, 1.0f, 1.0f, 1.0f);

KXColor lookup2D(const RTTextureCache& cache, const KXImage2D* image, const KXTriMesh& mesh, const RTInterpolation& ip,
                 const KXTextureAttributes* attributes)
{
    const KXRawImage2D* decoded = cache.find2D(image);
    if (!decoded)
        return KXColor();
    const std::vector<KXPosition2D>& uv = mesh.getTexCoordsArray();
    const float u = ip.interpolate(uv[ip.a].getX(), uv[ip.b].getX(), uv[ip.c].getX());
    const float v = ip.interpolate(uv[ip.a].getY(), uv[ip.b].getY(), uv[ip.c].getY());
    return rtSample2D(*decoded, u, v, attributes ? &attributes->getTextureMatrix() : nullptr);
}

// Face coordinates (s, t) of a cube-map direction on a face.
void faceCoordinates(int face, const KXPosition& d, float& s, float& t)
{
    const float x = d.getX(), y = d.getY(), z = d.getZ();
    switch (face) {
    case 0: s = -(0.5f * z + 0.5f); t = -(0.5f * y + 0.5f); break;
    case 1: s = 0.5f * z + 0.5f; t = -(0.5f * y + 0.5f); break;
    case 2: s = 0.5f * x + 0.5f; t = 0.5f * z + 0.5f; break;
    case 3: s = 0.5f * x + 0.5f; t = -(0.5f * z + 0.5f); break;
    case 4: s = 0.5f * x + 0.5f; t = -(0.5f * y + 0.5f); break;
    default: s = -(0.5f * x + 0.5f); t = -(0.5f * y + 0.5f); break;
    }
}

KXColor lookupCube(const RTTextureCache& cache, const KXImage3D* image, const KXTriMesh& mesh,
                   const RTInterpolation& ip)
{
    const RTTextureCache::Faces* faces = cache.findCube(image);
    if (!faces)
        return KXColor();
    const std::vector<KXPosition>& coords = mesh.getCubicTexCoordsArray();
    const KXPosition* corner[3] = {&coords[ip.a], &coords[ip.b], &coords[ip.c]};
    // The face all three corners point into, tested in this order; a
    // triangle that straddles faces takes face 1.
    const auto all = [&corner](int axis, bool positive) {
        for (const KXPosition* p : corner)
            if (positive ? !((*p)[axis] > 0.0f) : !((*p)[axis] < 0.0f))
                return false;
        return true;
    };
    int face = 1;
    if (all(0, false)) face = 1;
    else if (all(0, true)) face = 0;
    else if (all(1, false)) face = 3;
    else if (all(1, true)) face = 2;
    else if (all(2, false)) face = 5;
    else if (all(2, true)) face = 4;
    float s[3], t[3];
    for (int k = 0; k < 3; ++k)
        faceCoordinates(face, *corner[k], s[k], t[k]);
    return rtSampleTexel(*(*faces)[face], ip.interpolate(s[0], s[1], s[2]), ip.interpolate(t[0], t[1], t[2]));
}

// The texture colour of stage 0: white without a texture, without an image
// or without coordinates of the texture's kind.
KXColor textureColor(const RTShadingContext& shading, const KXAppearance& appearance, const KXTriMesh& mesh,
                     const RTInterpolation& ip)
{
    const KXTexture* texture = appearance.getTexture(0);
    if (!texture || !shading.textures)
        return kWhite;
    const size_t numVertices = mesh.getVertexArray().size();
    if (texture->getTextureType() == KXTexture::KXTEXTURE_2D) {
        const auto* texture2D = dynamic_cast<const KXTexture2D*>(texture);
        if (texture2D && texture2D->getImage2D() && mesh.getTexCoordsArray().size() == numVertices)
            return lookup2D(*shading.textures, texture2D->getImage2D(), mesh, ip, appearance.getTextureAttributes(0));
    } else if (texture->getTextureType() == KXTexture::KXTEXTURE_3D) {
        const auto* texture3D = dynamic_cast<const KXTexture3D*>(texture);
        if (texture3D && texture3D->getImage3D() && mesh.getCubicTexCoordsArray().size() == numVertices)
            return lookupCube(*shading.textures, texture3D->getImage3D(), mesh, ip);
    }
    return kWhite;
}

// Where secondary rays start: off the surface along their direction by
// 1e-4 of the object's size in world units.
RTVec3 offsetOrigin(const RTHit& hit, const RTVec3& direction)
{
    const float objectRadius = hit.mesh->getRadius();
    return hit.worldPoint + direction * (1e-4f * objectRadius * hit.shape->scale);
}

float spotFactor(const RTLight& light, const RTVec3& toSurface)
{
    if (light.type != KXLight::KXLIGHTTYPE_SPOT)
        return 1.0f;
    const float cosine = rtDot(light.spotDirection, toSurface);
    if (cosine < 0.0f)
        return 0.0f;
    const float angle = std::acos(std::min(1.0f, std::max(-1.0f, cosine)));
    const float halfOuter = light.outerAngle * 0.5f, halfInner = light.innerAngle * 0.5f;
    if (angle > halfOuter)
        return 0.0f;
    if (angle < halfInner)
        return 1.0f;
    const float width = (light.outerAngle - light.innerAngle) * 0.5f;
    // Equal cones leave no fall-off band: a point on the edge is lit.
    return width > 0.0f ? (halfOuter - angle) / width : 1.0f;
}

} // namespace

// ---------------------------------------------------------------- shading

float rtHitAlpha(const RTHit& hit)
{
    const KXAppearance* appearance = hit.shape ? hit.shape->appearance : nullptr;
    const KXMaterial* material = appearance ? appearance->getMaterial() : nullptr;
    return material ? material->getDiffuseColor().getA() : 1.0f;
}

float rtReflectivity(const KXAppearance* appearance)
{
    const KXMaterial* material = appearance ? appearance->getMaterial() : nullptr;
    if (!material)
        return 0.0f;
    return std::min(1.0f, (1.0f - material->getShininess() * 0.0078125f) * material->getSpecularColor().intensity());
}

namespace {

// The normal a hit is lit with: the vertex normals interpolated, carried
// into world space and turned toward the ray for a back face.
RTVec3 shadingNormal(const RTHit& hit, const RTInterpolation& ip, const std::vector<KXUnitVector>& normals)
{
    RTVec3 normal = ip.interpolate(RTVec3(normals[ip.a]), RTVec3(normals[ip.b]), RTVec3(normals[ip.c]));
    normal = rtNormalize(rtTransformDirection(hit.shape->world.getData(), normal));
    return hit.backFacing ? -normal : normal;
}

} // namespace

float rtHardShadowFactor(RTOcclusion occlusion)
{
    return occlusion == RTOCCLUSION_CLEAR ? 1.0f : (occlusion == RTOCCLUSION_TRANSPARENT ? 0.5f : 0.0f);
}

void rtSoftShadowAxes(const RTVec3& toLight, RTVec3& u, RTVec3& v)
{
    // u is made of the largest component of toLight and one other, so it
    // is never zero (ties go to x, then y).
    const float ax = std::fabs(toLight.x), ay = std::fabs(toLight.y), az = std::fabs(toLight.z);
    if ((ax >= ay - 1e-7f && ax >= az - 1e-7f) || ay >= az - 1e-7f)
        u = RTVec3(toLight.y, -toLight.x, 0.0f);
    else
        u = RTVec3(0.0f, toLight.z, -toLight.y);
    u = rtNormalize(u);
    v = rtNormalize(rtCross(toLight, u));
}

bool rtIsLitSurface(const RTShadingContext& shading, const RTHit& hit)
{
    const RTLighting* lighting = shading.lighting;
    if (!hit.mesh || hit.mesh->getTriMesh().getGeomType() != KXGeometry::KXGEOMTYPE_TRIMESH)
        return false;
    const KXTriMesh& mesh = hit.mesh->getTriMesh();
    const size_t numVertices = mesh.getVertexArray().size();
    const KXAppearance* appearance = hit.shape->appearance;
    return mesh.getColorArray().size() != numVertices && mesh.getNormalsArray().size() == numVertices && appearance &&
           appearance->getMaterial() && lighting && lighting->hasModel();
}

// Follows rtShade up to its lights.
bool rtPrepareHit(const RTShadingContext& shading, const RTHit& hit, RTPreparedHit& prepared, RTRay& shadowRay)
{
    prepared = RTPreparedHit();
    if (!rtIsLitSurface(shading, hit))
        return false;
    const KXTriMesh& mesh = hit.mesh->getTriMesh();
    prepared.surface = true;
    prepared.ip = RTInterpolation(mesh.getVertexArray(), hit.point, hit.indices);
    prepared.normal = shadingNormal(hit, prepared.ip, mesh.getNormalsArray());
    return rtPreparedShadowRay(shading, hit, prepared, shadowRay);
}

bool rtPreparedShadowRay(const RTShadingContext& shading, const RTHit& hit, RTPreparedHit& prepared, RTRay& shadowRay,
                         const RTRay* towardLights)
{
    if (!shading.shapeTree)
        return false;
    const std::vector<RTLight>& lights = shading.lighting->getLights();
    for (size_t l = 0; l < lights.size(); ++l) {
        if (lights[l].type != KXLight::KXLIGHTTYPE_DIRECTIONAL || !lights[l].castShadows ||
            !(rtDot(prepared.normal, lights[l].direction) < 0.0f))
            continue;
        const RTVec3 toLight = -lights[l].direction;
        if (towardLights) {
            shadowRay = towardLights[l];
            shadowRay.origin = offsetOrigin(hit, toLight);
        } else {
            shadowRay = RTRay(offsetOrigin(hit, toLight), toLight);
        }
        prepared.light = l;
        return true;
    }
    return false;
}

KXColor rtShade(const RTShadingContext& shading, const RTHit& hit, const RTRay& ray, RTRayContext& secondary, int depth,
                const RTPreparedHit* prepared)
{
    if (!hit.mesh || hit.mesh->getTriMesh().getGeomType() != KXGeometry::KXGEOMTYPE_TRIMESH)
        return KXColor(static_cast<const float*>(nullptr));
    const KXTriMesh& mesh = hit.mesh->getTriMesh();
    const std::vector<KXPosition>& vertices = mesh.getVertexArray();
    const bool ready = prepared && prepared->surface;
    const RTInterpolation ip = ready ? prepared->ip : RTInterpolation(vertices, hit.point, hit.indices);

    const std::vector<KXColor>& colors = mesh.getColorArray();
    if (colors.size() == vertices.size())
        return ip.interpolate(colors[ip.a], colors[ip.b], colors[ip.c]);

    const KXAppearance* appearance = hit.shape->appearance;
    const std::vector<KXUnitVector>& normals = mesh.getNormalsArray();
    if (normals.size() != vertices.size() || !appearance)
        return KXColor();

    const KXMaterial* material = appearance->getMaterial();
    const KXColor texture = textureColor(shading, *appearance, mesh, ip);
    if (!material)
        return appearance->getTexture(0) ? texture : KXColor();

    const RTVec3 normal = ready ? prepared->normal : shadingNormal(hit, ip, normals);
    const RTVec3& world = hit.worldPoint;

    KXColor acc = material->getEmissiveColor();
    const RTLighting* lighting = shading.lighting;
    if (!lighting || !lighting->hasModel()) {
        acc = texture;
        acc.clamp();
        return acc;
    }
    const KXColor diffuse = material->getDiffuseColor() * texture;
    if (lighting->hasAmbient())
        acc += material->getAmbientColor() * texture * lighting->getAmbient();

    const bool shadows = shading.shapeTree != nullptr;
    const std::vector<RTLight>& lights = lighting->getLights();
    for (size_t l = 0; l < lights.size(); ++l) {
        const RTLight& light = lights[l];
        if (light.type == KXLight::KXLIGHTTYPE_DIRECTIONAL) {
            // A directional light adds only to surfaces facing it, so the
            // shadow ray is cast only for those: its answer would be unused
            // elsewhere, and a hard shadow draws no random numbers, so
            // leaving it out changes nothing else.
            const float d = rtDot(normal, light.direction);
            if (d < 0.0f) {
                const float shadow =
                    !light.castShadows || !shadows ? 1.0f
                    : prepared && prepared->shadowKnown && prepared->light == l
                        ? prepared->factor
                        : rtShadowFactor(shading, hit, RTVec3(), light.direction, 0.0f, true, secondary);
                acc += diffuse * light.color * (std::fabs(d) * shadow);
            }
            continue;
        }
        const float distance = rtLength(light.position - world);
        if (light.range < distance)
            continue;
        const float attenuation =
            1.0f / (light.attenuation[0] + light.attenuation[1] * distance + light.attenuation[2] * distance * distance);
        const RTVec3 toSurface = rtNormalize(world - light.position);
        const float d = rtDot(normal, toSurface);
        const float spot = spotFactor(light, toSurface);
        // The highlight is judged on its own, whether or not the surface
        // faces the light.
        const RTVec3 reflected = toSurface - normal * (2.0f * d);
        const float s = rtDot(ray.direction, reflected);
        // Shadow rays are cast only when a term uses them, or for a light of
        // some radius, whose rays draw random numbers that later ones must
        // not see again.
        const bool hardShadow = std::fabs(light.radius) < 1e-6f;
        const float shadow = light.castShadows && shadows && (d < 0.0f || s < 0.0f || !hardShadow)
                                 ? rtShadowFactor(shading, hit, light.position, RTVec3(), light.radius, false, secondary)
                                 : 1.0f;
        if (d < 0.0f)
            acc += diffuse * light.color * (std::fabs(d) * attenuation * spot * shadow);
        if (s < 0.0f)
            acc += material->getSpecularColor() * texture * light.color *
                   (attenuation * std::pow(std::fabs(s), 20.0f) * spot * shadow);
    }

    if (depth < 2 && shading.reflections) {
        const float reflectivity = rtReflectivity(appearance);
        if (reflectivity > 1e-6f)
            acc += material->getDiffuseColor() * rtReflectionColor(shading, hit, ray, normal, secondary, depth) *
                   reflectivity;
    }
    acc.clamp();
    return acc;
}

// Shadow rays toward a point light, and toward the sample points of a light
// of some radius, end at the light: what lies beyond it casts no shadow.
float rtShadowFactor(const RTShadingContext& shading, const RTHit& hit, const RTVec3& lightPosition,
                     const RTVec3& lightDirection, float radius, bool directional, RTRayContext& context)
{
    const RTShapeTree* tree = shading.shapeTree;
    const RTVec3& world = hit.worldPoint;
    const RTVec3 toLight = directional ? -lightDirection : rtNormalize(lightPosition - world);
    if (std::fabs(radius) < 1e-6f) {
        const RTRay ray(offsetOrigin(hit, toLight), toLight);
        const float reach = directional ? INFINITY : rtDot(toLight, lightPosition - ray.origin);
        return rtHardShadowFactor(RTCaster::occlusion(context, tree, ray, reach));
    }

    // A 7 x 7 grid of samples across the direction to the light, jittered
    // outward by up to half a step. Each clear ray adds 0.02 and each ray
    // through transparent surfaces only 0.01, so a wholly clear light gives
    // 0.98.
    RTVec3 u, v;
    rtSoftShadowAxes(toLight, u, v);
    RTRandom fallback;
    RTRandom& random = context.getRandom() ? *context.getRandom() : fallback;
    const float step = radius / 3.0f;
    float factor = 0.0f;
    for (int i = -3; i <= 3; ++i) {
        for (int j = -3; j <= 3; ++j) {
            const float f1 = static_cast<float>(random.next()) * 0.5f / RTRandom::MAX + 1.0f;
            const float f2 = static_cast<float>(random.next()) * 0.5f / RTRandom::MAX + 1.0f;
            const RTVec3 sample = lightPosition + u * (static_cast<float>(i) * f2 * step) +
                                  v * (static_cast<float>(j) * f1 * step);
            const RTVec3 direction = rtNormalize(sample - world);
            const RTRay ray(world + direction * 1e-4f, direction);
            const RTOcclusion occlusion =
                RTCaster::occlusion(context, tree, ray, rtDot(direction, sample - ray.origin));
            if (occlusion == RTOCCLUSION_CLEAR)
                factor += 0.02f;
            else if (occlusion == RTOCCLUSION_TRANSPARENT)
                factor += 0.01f;
        }
    }
    return factor;
}

KXColor rtReflectionColor(const RTShadingContext& shading, const RTHit& hit, const RTRay& ray, const RTVec3& normal,
                          RTRayContext& context, int depth)
{
    if (!shading.shapeTree)
        return KXColor();
    const RTVec3 direction = rtNormalize(ray.direction - normal * (2.0f * rtDot(normal, ray.direction)));
    const RTRay reflected(offsetOrigin(hit, direction), direction);
    RTCaster::cast(context, shading.shapeTree, reflected);
    RTRayContext& fresh = context.getFreshContext();
    const std::vector<RTHit>& hits = context.getHits();
    KXColor acc;
    for (size_t k = hits.size(); k-- > 0;) {
        const float alpha = rtHitAlpha(hits[k]);
        acc = rtShade(shading, hits[k], reflected, fresh, depth + 1) * alpha + acc * (1.0f - alpha);
    }
    return acc;
}
