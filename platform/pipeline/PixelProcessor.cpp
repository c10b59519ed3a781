#include "pipeline/PixelProcessor.h"

#include "pipeline/DepthStencilSpan.h"
#include "pipeline/DepthTest.h"
#include "pipeline/PixelRoutines.h"

#include "pipeline/Formats.h"
#include "pipeline/PixelBuffer.h"
#include "pipeline/VertexShading.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace swd3d9 {
namespace pipeline {

namespace {

float saturate(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

uint32_t toUnorm(float v, float scale) { return static_cast<uint32_t>(saturate(v) * scale + 0.5f); }

} // namespace

void readTarget(D3DFORMAT format, const uint8_t* p, float* rgba)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: {
        uint32_t c;
        std::memcpy(&c, p, 4);
        rgba[0] = ((c >> 16) & 0xFF) * (1.0f / 255.0f);
        rgba[1] = ((c >> 8) & 0xFF) * (1.0f / 255.0f);
        rgba[2] = (c & 0xFF) * (1.0f / 255.0f);
        rgba[3] = format == D3DFMT_A8R8G8B8 ? (c >> 24) * (1.0f / 255.0f) : 1.0f;
        break;
    }
    case D3DFMT_R5G6B5: {
        uint16_t c;
        std::memcpy(&c, p, 2);
        rgba[0] = (c >> 11) * (1.0f / 31.0f);
        rgba[1] = ((c >> 5) & 0x3F) * (1.0f / 63.0f);
        rgba[2] = (c & 0x1F) * (1.0f / 31.0f);
        rgba[3] = 1.0f;
        break;
    }
    default:
        decodePixels(format, p, 1, rgba);
        break;
    }
}

void writeTarget(D3DFORMAT format, uint8_t* p, const float* rgba, uint8_t mask)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: {
        uint32_t c = (toUnorm(rgba[3], 255.0f) << 24) | (toUnorm(rgba[0], 255.0f) << 16) |
                     (toUnorm(rgba[1], 255.0f) << 8) | toUnorm(rgba[2], 255.0f);
        if (format == D3DFMT_X8R8G8B8)
            c |= 0xFF000000u;
        if (mask != 0xF) {
            const uint32_t keep = ((mask & D3DCOLORWRITEENABLE_RED) ? 0 : 0x00FF0000u) |
                                  ((mask & D3DCOLORWRITEENABLE_GREEN) ? 0 : 0x0000FF00u) |
                                  ((mask & D3DCOLORWRITEENABLE_BLUE) ? 0 : 0x000000FFu) |
                                  ((mask & D3DCOLORWRITEENABLE_ALPHA) ? 0 : 0xFF000000u);
            uint32_t old;
            std::memcpy(&old, p, 4);
            c = (c & ~keep) | (old & keep);
        }
        std::memcpy(p, &c, 4);
        break;
    }
    case D3DFMT_R5G6B5: {
        uint16_t c = static_cast<uint16_t>((toUnorm(rgba[0], 31.0f) << 11) | (toUnorm(rgba[1], 63.0f) << 5) |
                                           toUnorm(rgba[2], 31.0f));
        if ((mask & 7) != 7) {
            const uint16_t keep = static_cast<uint16_t>(((mask & D3DCOLORWRITEENABLE_RED) ? 0 : 0xF800) |
                                                        ((mask & D3DCOLORWRITEENABLE_GREEN) ? 0 : 0x07E0) |
                                                        ((mask & D3DCOLORWRITEENABLE_BLUE) ? 0 : 0x001F));
            uint16_t old;
            std::memcpy(&old, p, 2);
            c = static_cast<uint16_t>((c & ~keep) | (old & keep));
        }
        std::memcpy(p, &c, 2);
        break;
    }
    default: {
        float value[4];
        readTarget(format, p, value);
        for (int i = 0; i < 4; ++i) {
            if (mask & (1u << i))
                value[i] = rgba[i];
        }
        encodePixels(format, value, 1, p);
        break;
    }
    }
}

bool plainColorTarget(const TargetView& target)
{
    return (target.colorFormat == D3DFMT_X8R8G8B8 || target.colorFormat == D3DFMT_A8R8G8B8) && target.samples <= 1 &&
           target.color;
}

bool fitsTexturedSpan(const PixelContext& context)
{
    const PixelKey& key = context.key;
    const CombinerSetup& combiner = context.combiner;
    const bool oneTexture = key.stageCount == 1 && combiner.textureMask == 1u &&
                            (combiner.shortcut == COMBINE_MODULATE_TEXTURE ||
                             combiner.shortcut == COMBINE_SELECT_TEXTURE) &&
                            key.projectedComponent[0] == 0 && !key.needsDerivatives;
    // The alpha channel blended as the colour, or laid over the target's.
    const bool alphaBlend = key.srcBlend == D3DBLEND_SRCALPHA && key.destBlend == D3DBLEND_INVSRCALPHA &&
                            key.blendOp == D3DBLENDOP_ADD &&
                            (key.srcBlendAlpha == D3DBLEND_SRCALPHA || key.srcBlendAlpha == D3DBLEND_ONE) &&
                            key.destBlendAlpha == D3DBLEND_INVSRCALPHA && key.blendOpAlpha == D3DBLENDOP_ADD;
    const TargetView& target = context.target;
    const bool plainDepth = !key.zEnable || (target.depth->bytesPerPixel() == 4 && target.depth->samples() <= 1);
    return plainColorTarget(target) && oneTexture && !key.fogEnable && !key.alphaTest && plainDepth && !key.stencil &&
           key.colorWrite == 0xF && (!key.blend || alphaBlend);
}

void blendFactor(uint8_t factor, const float* src, const float* dst, const float* constant, float* out)
{
    switch (factor) {
    case D3DBLEND_ZERO:
        out[0] = out[1] = out[2] = out[3] = 0.0f;
        return;
    case D3DBLEND_SRCCOLOR:
        std::memcpy(out, src, 4 * sizeof(float));
        return;
    case D3DBLEND_INVSRCCOLOR:
        for (int i = 0; i < 4; ++i)
            out[i] = 1.0f - src[i];
        return;
    case D3DBLEND_SRCALPHA:
        out[0] = out[1] = out[2] = out[3] = src[3];
        return;
    case D3DBLEND_INVSRCALPHA:
        out[0] = out[1] = out[2] = out[3] = 1.0f - src[3];
        return;
    case D3DBLEND_DESTALPHA:
        out[0] = out[1] = out[2] = out[3] = dst[3];
        return;
    case D3DBLEND_INVDESTALPHA:
        out[0] = out[1] = out[2] = out[3] = 1.0f - dst[3];
        return;
    case D3DBLEND_DESTCOLOR:
        std::memcpy(out, dst, 4 * sizeof(float));
        return;
    case D3DBLEND_INVDESTCOLOR:
        for (int i = 0; i < 4; ++i)
            out[i] = 1.0f - dst[i];
        return;
    case D3DBLEND_SRCALPHASAT: {
        const float f = std::min(src[3], 1.0f - dst[3]);
        out[0] = out[1] = out[2] = f;
        out[3] = 1.0f;
        return;
    }
    case D3DBLEND_BLENDFACTOR:
        std::memcpy(out, constant, 4 * sizeof(float));
        return;
    case D3DBLEND_INVBLENDFACTOR:
        for (int i = 0; i < 4; ++i)
            out[i] = 1.0f - constant[i];
        return;
    default:
        out[0] = out[1] = out[2] = out[3] = 1.0f;
        return;
    }
}

void shadeColor(const PixelContext& context, const PixelInputs& in, float rgba[4])
{
    const PixelKey& key = context.key;
    const float* v = in.varyings;
    if (key.stageCount == 0) {
        std::memcpy(rgba, v + VARYING_DIFFUSE, 4 * sizeof(float));
    } else {
        float textures[TEXTURE_STAGE_COUNT][4];
        uint32_t mask = context.combiner.textureMask;
        while (mask) {
            const int s = __builtin_ctz(mask);
            mask &= mask - 1;
            sampleStage(context, in, s, textures[s]);
        }
        combine(context.combiner, v + VARYING_DIFFUSE, v + VARYING_SPECULAR, textures, rgba);
    }
    if (key.specularAdd) {
        for (int i = 0; i < 3; ++i)
            rgba[i] = saturate(rgba[i] + v[VARYING_SPECULAR + i]);
    }
    if (key.fogEnable)
        applyFog(context, in.z, in.invW, v[VARYING_FOG], rgba);
}

void sampleStage(const PixelContext& context, const PixelInputs& in, int s, float texel[4])
{
    const uint8_t projected = context.key.projectedComponent[s];
    const float* t = in.varyings + VARYING_TEXCOORD + 4 * s;
    float u = t[0], v = t[1], w = t[2];
    float scale = 1.0f;
    if (projected) {
        const float q = t[projected - 1];
        scale = q != 0.0f ? 1.0f / q : 0.0f;
        u *= scale;
        v *= scale;
        w *= scale;
    }
    TexCoordDerivatives d = {0, 0, 0, 0, 0, 0};
    if (in.derivativesX) {
        const float* dx = in.derivativesX + 4 * s;
        const float* dy = in.derivativesY + 4 * s;
        d = {dx[0] * scale, dy[0] * scale, dx[1] * scale, dy[1] * scale, dx[2] * scale, dy[2] * scale};
    }
    sample(context.samplers[s], u, v, w, d, texel);
}

void applyFog(const PixelContext& context, float z, float invW, float vertexFog, float rgba[4])
{
    const PixelKey& key = context.key;
    float f;
    if (key.tableFog) {
        const float distance = key.fogFromW ? (invW != 0.0f ? 1.0f / invW : 0.0f) : z;
        f = fogFactor(key.tableFog, context.constants.fog, distance);
    } else {
        f = saturate(vertexFog);
    }
    const float* fogColor = context.constants.fogColor;
    for (int i = 0; i < 3; ++i)
        rgba[i] = f * rgba[i] + (1.0f - f) * fogColor[i];
}

void blendGeneral(const PixelKey& key, const float* constant, const float color[4], const float dst[4],
                  float result[4])
{
    float sf[4], df[4], sfa[4], dfa[4];
    blendFactor(key.srcBlend, color, dst, constant, sf);
    blendFactor(key.destBlend, color, dst, constant, df);
    blendFactor(key.srcBlendAlpha, color, dst, constant, sfa);
    blendFactor(key.destBlendAlpha, color, dst, constant, dfa);
    for (int i = 0; i < 4; ++i) {
        const uint8_t op = i < 3 ? key.blendOp : key.blendOpAlpha;
        const float s = color[i] * (i < 3 ? sf[i] : sfa[3]);
        const float d = dst[i] * (i < 3 ? df[i] : dfa[3]);
        switch (op) {
        case D3DBLENDOP_SUBTRACT:
            result[i] = s - d;
            break;
        case D3DBLENDOP_REVSUBTRACT:
            result[i] = d - s;
            break;
        case D3DBLENDOP_MIN:
            result[i] = std::min(color[i], dst[i]);
            break;
        case D3DBLENDOP_MAX:
            result[i] = std::max(color[i], dst[i]);
            break;
        default:
            result[i] = s + d;
            break;
        }
    }
}

void storeColor(const PixelContext& context, int x, int y, UINT sample, float color[4])
{
    const PixelKey& key = context.key;
    const TargetView& target = context.target;
    if (!key.colorWrite || !target.color)
        return;
    uint8_t* p = target.color->pixel(static_cast<UINT>(x), static_cast<UINT>(y), 0,
                                     sample < target.color->samples() ? sample : 0);
    for (int i = 0; i < 4; ++i)
        color[i] = saturate(color[i]);
    if (key.blend) {
        float dst[4], result[4];
        readTarget(target.colorFormat, p, dst);
        blendGeneral(key, context.constants.blendFactor, color, dst, result);
        writeTarget(target.colorFormat, p, result, key.colorWrite);
    } else {
        writeTarget(target.colorFormat, p, color, key.colorWrite);
    }
}

namespace {

// Alpha test, stencil and depth, blending and the store for one sample at
// depth zIn, the colour coming from shade(rgba): called only when the
// tests leave the colour needed, unless the alpha test needs it first.
template <class Shade>
void processSample(const PixelContext& context, int x, int y, UINT sample, float zIn, bool frontFace,
                   const Shade& shade)
{
    const PixelKey& key = context.key;
    const PixelConstants& c = context.constants;
    const TargetView& target = context.target;

    // Depth and stencil come before shading unless the alpha test may
    // still discard the pixel.
    uint8_t* depthPixel = nullptr;
    uint32_t stencilValue = 0;
    uint32_t depthBits = 0;
    bool depthPass = true;
    bool stencilPass = true;
    const bool is16 = target.depthFormat == D3DFMT_D16 || target.depthFormat == D3DFMT_D16_LOCKABLE;
    uint8_t stencilFail = key.stencilFail, stencilZFail = key.stencilZFail, stencilPassOp = key.stencilPass;
    uint8_t stencilFunc = key.stencilFunc;
    if (key.twoSidedStencil && !frontFace) {
        stencilFunc = key.ccwStencilFunc;
        stencilFail = key.ccwStencilFail;
        stencilZFail = key.ccwStencilZFail;
        stencilPassOp = key.ccwStencilPass;
    }
    uint32_t storedDepth = 0;
    if (key.zEnable || key.stencil) {
        depthPixel = target.depth->pixel(static_cast<UINT>(x), static_cast<UINT>(y), 0,
                                         sample < target.depth->samples() ? sample : 0);
        uint32_t word;
        if (is16) {
            uint16_t w16;
            std::memcpy(&w16, depthPixel, 2);
            word = w16;
            storedDepth = word;
        } else {
            std::memcpy(&word, depthPixel, 4);
            storedDepth = word >> 8;
            stencilValue = word & 0xFF;
        }
        if (key.zEnable) {
            const float z = saturate(zIn);
            depthBits = is16 ? static_cast<uint32_t>(z * 65535.0f + 0.5f) : depthBits24(z);
        }
    }

    auto testDepthStencil = [&]() {
        if (key.stencil)
            stencilPass = compareFunction(stencilFunc, c.stencilRef & c.stencilMask, stencilValue & c.stencilMask);
        if (key.zEnable && stencilPass)
            depthPass = compareFunction(key.zFunc, depthBits, storedDepth);
    };
    auto storeDepthStencil = [&]() {
        if (!depthPixel)
            return;
        uint32_t newStencil = stencilValue;
        if (key.stencil) {
            const uint8_t op = !stencilPass ? stencilFail : (!depthPass ? stencilZFail : stencilPassOp);
            const uint32_t updated = stencilOperation(op, stencilValue, c.stencilRef);
            newStencil = (stencilValue & ~c.stencilWriteMask) | (updated & c.stencilWriteMask);
        }
        const bool writeDepth = key.zWrite && stencilPass && depthPass;
        if (is16) {
            if (writeDepth) {
                const uint16_t w16 = static_cast<uint16_t>(depthBits);
                std::memcpy(depthPixel, &w16, 2);
            }
        } else if (writeDepth || newStencil != stencilValue) {
            const uint32_t word = ((writeDepth ? depthBits : storedDepth) << 8) | newStencil;
            std::memcpy(depthPixel, &word, 4);
        }
    };

    float color[4];
    if (!key.alphaTest) {
        testDepthStencil();
        if (!stencilPass || !depthPass) {
            storeDepthStencil();
            return;
        }
        shade(color);
    } else {
        shade(color);
        const uint32_t alpha = toUnorm(color[3], 255.0f);
        if (!compareFunction(key.alphaFunc, alpha, c.alphaRef))
            return;
        testDepthStencil();
        if (!stencilPass || !depthPass) {
            storeDepthStencil();
            return;
        }
    }
    storeDepthStencil();

    storeColor(context, x, y, sample, color);
}

} // namespace

void processPixel(const PixelContext& context, int x, int y, UINT sample, const PixelInputs& in)
{
    processSample(context, x, y, sample, in.z, in.frontFace, [&](float* color) { shadeColor(context, in, color); });
}

void processShadedPixel(const PixelContext& context, int x, int y, UINT sample, float z, bool frontFace,
                        const float color[4])
{
    processSample(context, x, y, sample, z, frontFace,
                  [&](float* out) { std::memcpy(out, color, 4 * sizeof(float)); });
}

} // namespace pipeline
} // namespace swd3d9
