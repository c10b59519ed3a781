#include "pipeline/VertexShading.h"

#include "pipeline/ClipCodes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace swd3d9 {
namespace pipeline {

namespace {

void transformPoint(const Matrix& m, const float* p, float* out)
{
    for (int c = 0; c < 4; ++c)
        out[c] = p[0] * m.m[0][c] + p[1] * m.m[1][c] + p[2] * m.m[2][c] + p[3] * m.m[3][c];
}

float dot3(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void normalize3(float* v)
{
    const float len2 = dot3(v, v);
    if (len2 > 0.0f) {
        const float inv = 1.0f / std::sqrt(len2);
        v[0] *= inv;
        v[1] *= inv;
        v[2] *= inv;
    }
}

void colorOf(const D3DCOLORVALUE& c, float* out)
{
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

// The upper 3x3 of the inverse of a 4x4 matrix that is not affine, in
// double precision; false for a singular matrix.
bool upperInverseOf(const Matrix& m, double out[3][3])
{
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) {
            a[r][k] = m.m[r][k];
            a[r][k + 4] = r == k ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (a[pivot][col] == 0.0)
            return false;
        for (int k = 0; k < 8; ++k)
            std::swap(a[col][k], a[pivot][k]);
        const double scale = 1.0 / a[col][col];
        for (int k = 0; k < 8; ++k)
            a[col][k] *= scale;
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0.0)
                continue;
            const double factor = a[r][col];
            for (int k = 0; k < 8; ++k)
                a[r][k] -= factor * a[col][k];
        }
    }
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            out[r][k] = a[r][k + 4];
    return true;
}

} // namespace

// Normals in row-vector form transform by the inverse transpose of the
// world-view matrix. As drivers do, a non-affine matrix is inverted whole
// (its projective column changes the upper 3x3 of the inverse), and a
// singular one is used as it is, transposed.
void normalMatrixOf(const Matrix& m, float out[3][3])
{
    const float a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
    const float d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
    const float g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
    const bool affine = m.m[0][3] == 0.0f && m.m[1][3] == 0.0f && m.m[2][3] == 0.0f && m.m[3][3] == 1.0f;
    if (!affine) {
        double inverse[3][3];
        if (upperInverseOf(m, inverse)) {
            for (int r = 0; r < 3; ++r)
                for (int k = 0; k < 3; ++k)
                    out[r][k] = static_cast<float>(inverse[k][r]);
            return;
        }
    } else {
        const float cofactor[3][3] = {{e * i - f * h, -(d * i - f * g), d * h - e * g},
                                      {-(b * i - c * h), a * i - c * g, -(a * h - b * g)},
                                      {b * f - c * e, -(a * f - c * d), a * e - b * d}};
        const float det = a * cofactor[0][0] + b * cofactor[0][1] + c * cofactor[0][2];
        if (det != 0.0f) {
            // inverse = adjugate / det, adjugate = cofactor^T; inverse
            // transpose = cofactor / det.
            const float inv = 1.0f / det;
            for (int r = 0; r < 3; ++r)
                for (int k = 0; k < 3; ++k)
                    out[r][k] = cofactor[r][k] * inv;
            return;
        }
    }
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            out[r][k] = m.m[k][r];
}

namespace {

// nDotH raised to the material power: whole powers up to 128 (the usual
// ones) by repeated squaring, a few multiplications instead of a call to
// pow, within a few units in the last place of it.
float specularPower(float x, float power)
{
    if (!(power >= 1.0f && power <= 128.0f) || static_cast<float>(static_cast<int>(power)) != power)
        return std::pow(x, power);
    unsigned n = static_cast<unsigned>(power);
    float result = 1.0f;
    for (;;) {
        if (n & 1u)
            result *= x;
        n >>= 1;
        if (n == 0)
            return result;
        x *= x;
    }
}

// D3DTTFF_PROJECTED without a component count divides by the last
// component the set supplies, as Windows drivers draw it: a set of four by
// its fourth, of three by its third (as COUNT3 | PROJECTED). The pixel
// stage divides by the fourth, so that component moves there (the fourth
// never addresses a texture). Generated sets and sets of one or two
// components stay undivided, as drivers draw a two-component set under
// COUNT3 | PROJECTED.
void divisorToFourth(const VertexKey& key, int s, float* t)
{
    const int given = key.texCoordGiven[s];
    if (key.texGen[s] || given < 3)
        t[3] = 1.0f;
    else if (given < 4)
        t[3] = t[given - 1];
}

} // namespace

void multiply(const Matrix& a, const Matrix& b, Matrix& out)
{
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    out = r;
}

float fogFactor(uint8_t mode, const FogParameters& fog, float distance)
{
    float f = 1.0f;
    switch (mode) {
    case FOG_LINEAR:
        // Start equal to end leaves no unfogged range: drivers fog fully at
        // every depth, nearer than the end or not.
        f = fog.end != fog.start ? (fog.end - distance) / (fog.end - fog.start) : 0.0f;
        break;
    case FOG_EXP:
        f = std::exp(-distance * fog.density);
        break;
    case FOG_EXP2: {
        const float t = distance * fog.density;
        f = std::exp(-t * t);
        break;
    }
    default:
        break;
    }
    return std::min(1.0f, std::max(0.0f, f));
}

void lightInCameraSpace(const D3DLIGHT9& l, const Matrix& view, Light& out)
{
    out.type = l.Type;
    colorOf(l.Diffuse, out.diffuse);
    colorOf(l.Specular, out.specular);
    colorOf(l.Ambient, out.ambient);
    const float p[4] = {l.Position.x, l.Position.y, l.Position.z, 1.0f};
    float cp[4];
    transformPoint(view, p, cp);
    std::memcpy(out.position, cp, sizeof(out.position));
    const float d[4] = {l.Direction.x, l.Direction.y, l.Direction.z, 0.0f};
    float cd[4];
    transformPoint(view, d, cd);
    std::memcpy(out.direction, cd, sizeof(out.direction));
    normalize3(out.direction);
    out.range = l.Range;
    out.attenuation[0] = l.Attenuation0;
    out.attenuation[1] = l.Attenuation1;
    out.attenuation[2] = l.Attenuation2;
    out.cosHalfTheta = std::cos(l.Theta * 0.5f);
    out.cosHalfPhi = std::cos(l.Phi * 0.5f);
    out.falloff = l.Falloff;
}

void shadeVertex(const VertexKey& key, const VertexConstants& c, const FetchedVertex& in, ShadedVertex& out)
{
    if (key.pretransformed) {
        float* v = out.varyings;
        std::memcpy(out.position, in.position, sizeof(out.position));
        std::memcpy(v + VARYING_DIFFUSE, in.diffuse, 4 * sizeof(float));
        std::memcpy(v + VARYING_SPECULAR, in.specular, 4 * sizeof(float));
        // Pre-transformed vertices carry their fog factor in the specular alpha.
        v[VARYING_FOG] = in.specular[3];
        for (int s = 0; s < key.stageCount; ++s) {
            float* dst = v + VARYING_TEXCOORD + 4 * s;
            std::memcpy(dst, in.texCoords[key.texCoordSet[s]], 4 * sizeof(float));
            if (key.texProjectedByGiven[s])
                divisorToFourth(key, s, dst);
        }
        out.outcode = 0;
        return;
    }
    transformVertex(key, c, in, out);
    colorVertex(key, c, in, out);
}

void transformVertex(const VertexKey& key, const VertexConstants& c, const FetchedVertex& in, ShadedVertex& out)
{
    transformPoint(c.worldViewProjection, in.position, out.position);
    const float* p = out.position;
    uint32_t code = viewVolumeOutcode(p);
    if (key.clipPlaneMask) {
        float world[4];
        transformPoint(c.world, in.position, world);
        code |= clipPlaneOutcode(world, key.clipPlaneMask, c.clipPlanes, out.clipDistance);
    }
    out.outcode = code;
}

void colorVertex(const VertexKey& key, const VertexConstants& c, const FetchedVertex& in, ShadedVertex& out)
{
    float* v = out.varyings;
    float eye[4];
    const bool needEye = key.lighting || key.vertexFog || key.stageCount;
    if (needEye)
        transformPoint(c.worldView, in.position, eye);
    float normal[3] = {0.0f, 0.0f, 0.0f};
    const bool needNormal = key.lighting || key.stageCount;
    if (needNormal) {
        for (int k = 0; k < 3; ++k)
            normal[k] = in.normal[0] * c.normalMatrix[0][k] + in.normal[1] * c.normalMatrix[1][k] +
                        in.normal[2] * c.normalMatrix[2][k];
        if (key.normalizeNormals)
            normalize3(normal);
    }

    float specularAlpha;
    if (key.lighting) {
        const D3DMATERIAL9& m = c.material;
        auto pick = [&](uint8_t source, const D3DCOLORVALUE& material, float* out4) {
            if (source == 1)
                std::memcpy(out4, in.diffuse, 4 * sizeof(float));
            else if (source == 2)
                std::memcpy(out4, in.specular, 4 * sizeof(float));
            else
                colorOf(material, out4);
        };
        float cd[4], ca[4], cs[4], ce[4];
        pick(key.materialSource.diffuse, m.Diffuse, cd);
        pick(key.materialSource.ambient, m.Ambient, ca);
        pick(key.materialSource.specular, m.Specular, cs);
        pick(key.materialSource.emissive, m.Emissive, ce);

        float ambient[3] = {c.globalAmbient[0], c.globalAmbient[1], c.globalAmbient[2]};
        float diffuse[3] = {0.0f, 0.0f, 0.0f};
        float specular[3] = {0.0f, 0.0f, 0.0f};
        // A viewer at infinity looks along +z in camera space, so the
        // direction from any vertex towards it is -z.
        float toViewer[3] = {0.0f, 0.0f, -1.0f};
        if (key.localViewer) {
            toViewer[0] = -eye[0];
            toViewer[1] = -eye[1];
            toViewer[2] = -eye[2];
            normalize3(toViewer);
        }
        for (int i = 0; i < key.lightCount; ++i) {
            const Light& l = c.lights[i];
            float toLight[3];
            float atten = 1.0f;
            float spot = 1.0f;
            if (l.type == D3DLIGHT_DIRECTIONAL) {
                toLight[0] = -l.direction[0];
                toLight[1] = -l.direction[1];
                toLight[2] = -l.direction[2];
            } else {
                toLight[0] = l.position[0] - eye[0];
                toLight[1] = l.position[1] - eye[1];
                toLight[2] = l.position[2] - eye[2];
                const float distance = std::sqrt(dot3(toLight, toLight));
                if (distance > l.range)
                    continue;
                const float denominator =
                    l.attenuation[0] + l.attenuation[1] * distance + l.attenuation[2] * distance * distance;
                atten = denominator > 0.0f ? 1.0f / denominator : 1.0f;
                if (distance > 0.0f) {
                    toLight[0] /= distance;
                    toLight[1] /= distance;
                    toLight[2] /= distance;
                }
                if (l.type == D3DLIGHT_SPOT) {
                    // rho: cosine between the spot axis and the light-to-vertex direction.
                    const float rho = -dot3(toLight, l.direction);
                    if (rho <= l.cosHalfPhi)
                        spot = 0.0f;
                    else if (rho <= l.cosHalfTheta) {
                        const float t = (rho - l.cosHalfPhi) / (l.cosHalfTheta - l.cosHalfPhi);
                        spot = l.falloff == 1.0f ? t : std::pow(t, l.falloff);
                    }
                }
            }
            const float scale = atten * spot;
            for (int k = 0; k < 3; ++k)
                ambient[k] += l.ambient[k] * scale;
            const float nDotL = dot3(normal, toLight);
            if (nDotL <= 0.0f || scale == 0.0f)
                continue;
            for (int k = 0; k < 3; ++k)
                diffuse[k] += l.diffuse[k] * nDotL * scale;
            if (key.specularEnable) {
                float half[3] = {toViewer[0] + toLight[0], toViewer[1] + toLight[1], toViewer[2] + toLight[2]};
                normalize3(half);
                const float nDotH = dot3(normal, half);
                if (nDotH > 0.0f) {
                    const float power = m.Power > 0.0f ? specularPower(nDotH, m.Power) : 1.0f;
                    for (int k = 0; k < 3; ++k)
                        specular[k] += l.specular[k] * power * scale;
                }
            }
        }
        for (int k = 0; k < 3; ++k) {
            v[VARYING_DIFFUSE + k] = std::min(1.0f, std::max(0.0f, ca[k] * ambient[k] + cd[k] * diffuse[k] + ce[k]));
            v[VARYING_SPECULAR + k] = key.specularEnable ? std::min(1.0f, std::max(0.0f, cs[k] * specular[k])) : 0.0f;
        }
        v[VARYING_DIFFUSE + 3] = std::min(1.0f, std::max(0.0f, cd[3]));
        v[VARYING_SPECULAR + 3] = key.specularEnable ? std::min(1.0f, std::max(0.0f, cs[3])) : 0.0f;
        specularAlpha = std::min(1.0f, std::max(0.0f, cs[3]));
    } else {
        std::memcpy(v + VARYING_DIFFUSE, in.diffuse, 4 * sizeof(float));
        std::memcpy(v + VARYING_SPECULAR, in.specular, 4 * sizeof(float));
        specularAlpha = in.specular[3];
    }

    // Without a vertex fog mode (and without table fog, which ignores this
    // value) Direct3D takes the fog factor from the specular alpha, as it
    // does for pre-transformed vertices.
    if (key.vertexFog) {
        const float distance = key.rangeFog ? std::sqrt(dot3(eye, eye)) : std::fabs(eye[2]);
        v[VARYING_FOG] = fogFactor(key.vertexFog, c.fog, distance);
    } else {
        v[VARYING_FOG] = specularAlpha;
    }

    for (int s = 0; s < key.stageCount; ++s) {
        float t[4];
        switch (key.texGen[s] << 16) {
        case D3DTSS_TCI_CAMERASPACENORMAL:
            t[0] = normal[0], t[1] = normal[1], t[2] = normal[2], t[3] = 1.0f;
            break;
        case D3DTSS_TCI_CAMERASPACEPOSITION:
            t[0] = eye[0], t[1] = eye[1], t[2] = eye[2], t[3] = 1.0f;
            break;
        case D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR:
        case D3DTSS_TCI_SPHEREMAP: {
            // R = 2 (E.N) N - E with E the unit vector from the vertex to the
            // viewer (-z for a viewer at infinity, as for specular light).
            float e[3] = {0.0f, 0.0f, -1.0f};
            if (key.localViewer) {
                e[0] = -eye[0], e[1] = -eye[1], e[2] = -eye[2];
                normalize3(e);
            }
            const float en = dot3(e, normal);
            float r[3] = {2.0f * en * normal[0] - e[0], 2.0f * en * normal[1] - e[1], 2.0f * en * normal[2] - e[2]};
            if ((key.texGen[s] << 16) == D3DTSS_TCI_SPHEREMAP) {
                const float mm = 2.0f * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] + 1.0f) * (r[2] + 1.0f));
                const float inv = mm > 0.0f ? 1.0f / mm : 0.0f;
                t[0] = r[0] * inv + 0.5f, t[1] = r[1] * inv + 0.5f, t[2] = 1.0f, t[3] = 0.0f;
            } else {
                t[0] = r[0], t[1] = r[1], t[2] = r[2], t[3] = 1.0f;
            }
            break;
        }
        default:
            std::memcpy(t, in.texCoords[key.texCoordSet[s]], sizeof(t));
            // The transform sees the component after the last given one
            // as 1 and the rest as 0 (a 2D set is (u, v, 1, 0), so that
            // the third row translates).
            if (key.texTransformCount[s] && key.texCoordGiven[s] < 4) {
                t[key.texCoordGiven[s]] = 1.0f;
                for (int k = key.texCoordGiven[s] + 1; k < 4; ++k)
                    t[k] = 0.0f;
            }
            break;
        }
        // The set enters the 4x4 texture matrix extended as the fetch and the
        // generation left it (the component after the last given one is 1,
        // so a 2D set meets a translation in the third row); of the result,
        // only the first D3DTTFF_COUNTn components reach the rasteriser.
        float* dst = v + VARYING_TEXCOORD + 4 * s;
        if (const int count = key.texTransformCount[s]) {
            transformPoint(c.textureTransforms[s], t, dst);
            for (int k = count; k < 4; ++k)
                dst[k] = 0.0f;
        } else {
            std::memcpy(dst, t, sizeof(t));
            if (key.texProjectedByGiven[s])
                divisorToFourth(key, s, dst);
        }
    }
}

} // namespace pipeline
} // namespace swd3d9
