#pragma once

// What one draw needs from the device state, resolved once per draw: the
// transforms and lights of vertex processing, the key that selects the
// per-pixel routine, and the targets. Every stage reads this snapshot, so
// none of them looks at render states while it works.

#include "pipeline/Limits.h"

#include <cstdint>

namespace swd3d9 {

class PixelBuffer;

namespace pipeline {

constexpr int MAX_STAGES = 8;
constexpr int MAX_LIGHTS = 8;
constexpr int MAX_CLIP_DISTANCES = 6;
// Varyings in a fixed order: diffuse RGBA, specular RGBA, the fog factor,
// then four texture coordinates per active texture stage.
constexpr int VARYING_DIFFUSE = 0;
constexpr int VARYING_SPECULAR = 4;
constexpr int VARYING_FOG = 8;
constexpr int VARYING_TEXCOORD = 9;
constexpr int MAX_VARYINGS = VARYING_TEXCOORD + 4 * MAX_STAGES;

// Row-vector 4x4 matrix, as Direct3D stores it.
struct Matrix {
    float m[4][4];
};

struct Light {
    int type; // D3DLIGHTTYPE
    float diffuse[4], specular[4], ambient[4];
    // Camera space; direction points from the light into the scene.
    float position[3];
    float direction[3];
    float range, attenuation[3];
    float cosHalfTheta, cosHalfPhi, falloff;
};

enum FogMode : uint8_t { FOG_NONE = 0, FOG_EXP = 1, FOG_EXP2 = 2, FOG_LINEAR = 3 };

struct FogParameters {
    float start, end, density;
};

// Where each material colour comes from: 0 material, 1 diffuse vertex colour,
// 2 specular vertex colour.
struct MaterialSources {
    uint8_t diffuse, ambient, specular, emissive;
};

struct VertexKey {
    bool pretransformed;
    bool lighting;
    bool normalizeNormals;
    bool localViewer;
    bool specularEnable;
    bool rangeFog;
    uint8_t vertexFog; // FogMode computed per vertex, 0 when table fog or no fog
    uint8_t lightCount;
    uint8_t clipPlaneMask;
    uint8_t stageCount; // texture stages whose coordinates are produced
    MaterialSources materialSource;
    // Per stage: which vertex coordinate set, the generation mode (TCI
    // flags >> 16), the transform component count (0: no transform).
    uint8_t texCoordSet[MAX_STAGES];
    uint8_t texGen[MAX_STAGES];
    uint8_t texTransformCount[MAX_STAGES];
    // Per stage: the components a float coordinate set gives (1 to 3), 4
    // for other sets; a texture transform extends a shorter set by a 1.
    uint8_t texCoordGiven[MAX_STAGES];
    // Per stage: projection without a component count, for which the
    // pixel stage divides by the fourth component (see divisorToFourth).
    bool texProjectedByGiven[MAX_STAGES];
};

struct VertexConstants {
    Matrix world, worldView, worldViewProjection;
    // Inverse transpose of worldView's upper 3x3, for normals.
    float normalMatrix[3][3];
    // The enabled lights in camera space: lightCount of them.
    Light lights[MAX_LIGHTS];
    int lightCount;
    float globalAmbient[4];
    D3DMATERIAL9 material;
    FogParameters fog;
    float clipPlanes[MAX_CLIP_DISTANCES][4];
    Matrix textureTransforms[MAX_STAGES];
};

// The per-pixel choices of a draw. Plain data, zero-initialised, compared
// as a whole to reuse a prepared routine.
struct PixelKey {
    uint8_t stageCount;
    bool textured; // any stage reads a texture
    // Some sampler's result depends on the screen-space derivatives (level
    // selection, minification versus magnification, anisotropy).
    bool needsDerivatives;
    bool specularAdd;
    uint8_t tableFog; // FogMode per pixel
    bool fogEnable;
    bool fogFromW; // table fog on eye depth rather than device depth
    bool flatShade;
    bool alphaTest;
    uint8_t alphaFunc;
    bool zEnable, zWrite;
    uint8_t zFunc;
    bool stencil;
    uint8_t stencilFunc, stencilFail, stencilZFail, stencilPass;
    // Counter-clockwise triangles use their own stencil function and operations.
    bool twoSidedStencil;
    uint8_t ccwStencilFunc, ccwStencilFail, ccwStencilZFail, ccwStencilPass;
    bool blend;
    uint8_t srcBlend, destBlend, blendOp;
    bool separateAlpha;
    uint8_t srcBlendAlpha, destBlendAlpha, blendOpAlpha;
    uint8_t colorWrite; // D3DCOLORWRITEENABLE bits
    uint8_t projectedComponent[MAX_STAGES]; // 0: none, else 1-based component to divide by
    // Untextured, unfogged, unblended Gouraud colour into a 32-bit target
    // with at most a plain depth test: the rasteriser's dedicated span loop.
    bool plainColorSpan;
    // One texture stage (the texture, or the texture times diffuse) read
    // without derivatives, specular added or not, no fog, alpha test or
    // stencil, at most a plain depth test, unblended or blended by source
    // alpha (the alpha channel too, or laid over the target's alpha: see
    // alphaOver), into a 32-bit target: the rasteriser's dedicated textured
    // span loop.
    bool texturedSpan;
    // Colour left as it is (colour writes off, or blended with ZERO and
    // ONE), no alpha test, a single-sample target with a 32-bit depth
    // buffer: the rasteriser's depth-stencil span, which shades nothing.
    bool depthStencilSpan;
    // The textured span's alpha channel is blended with the factors ONE and
    // INVSRCALPHA (source alpha laid over the target's), its colour with
    // SRCALPHA and INVSRCALPHA.
    bool alphaOver;
};

struct PixelConstants {
    float fogColor[4];
    FogParameters fog;
    uint8_t alphaRef;
    uint32_t stencilRef, stencilMask, stencilWriteMask;
    float blendFactor[4];
    float depthBias, slopeScaleBias;
};

// A render target and depth buffer as the rasteriser addresses them.
struct TargetView {
    PixelBuffer* color;
    PixelBuffer* depth;
    D3DFORMAT colorFormat, depthFormat;
    UINT samples;
    // Viewport and scissor, already intersected with the targets.
    int clipLeft, clipTop, clipRight, clipBottom; // right and bottom exclusive
    float viewportX, viewportY, viewportWidth, viewportHeight, minZ, maxZ;
};

} // namespace pipeline
} // namespace swd3d9
