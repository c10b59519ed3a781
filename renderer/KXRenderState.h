#pragma once

#include "renderer/KXExport.h"

class KXClipPlane;
class KXFog;
class KXLight;
class KXMaterial;
class KXMatrix;
class KXTexture2D;
class KXTexture3D;
class KXTextureAttributes;

// Root of the render-state families. Each family sets one part of the
// device's fixed-function state; reset() puts that part back to its
// defaults, so that every step of a frame that changes a family ends with
// its reset and the next step starts from the defaults.
//
// Mode arguments are small codes (the enumerations below); a code outside
// its list is ignored by the implementations unless a family says
// otherwise. Flags are 0 or non-zero.
class KXRenderState
{
public:
    // Comparison codes of the depth and stencil tests.
    enum KXCOMPARISON : int {
        KXCOMPARISON_NEVER = 0,
        KXCOMPARISON_LESS = 1,
        KXCOMPARISON_EQUAL = 2,
        KXCOMPARISON_LESSEQUAL = 3,
        KXCOMPARISON_GREATER = 4,
        KXCOMPARISON_NOTEQUAL = 5,
        KXCOMPARISON_GREATEREQUAL = 6,
        KXCOMPARISON_ALWAYS = 7,
    };

    virtual void reset() = 0;

protected:
    KXRenderState() = default;
    KXRenderState(const KXRenderState&) = delete;
    KXRenderState& operator=(const KXRenderState&) = delete;
    ~KXRenderState() = default;
};

// Material colours, vertex colours and specular highlights.
class KXMaterialState : public KXRenderState
{
public:
    virtual void enableColorVertex(int enable) = 0;
    virtual void enableSpecular(int enable) = 0;
    // Null sets nothing.
    virtual void setMaterial(KXMaterial* material) = 0;

protected:
    ~KXMaterialState() = default;
};

// Textures bound to the stages 0..7 and how each stage combines them.
class KXDXRENDERER_API KXTextureState : public KXRenderState
{
public:
    enum KXTEXTUREAXIS : int {
        KXTEXTUREAXIS_U = 0,
        KXTEXTUREAXIS_V = 1,
    };
    enum KXADDRESSMODE : int {
        KXADDRESSMODE_CLAMP = 0,
        KXADDRESSMODE_WRAP = 1,
        KXADDRESSMODE_MIRROR = 2,
        KXADDRESSMODE_BORDER = 4,
    };

    virtual ~KXTextureState();
    // Attributes may be null (the stage's defaults).
    virtual void setTexture3D(unsigned stage, KXTexture3D* texture, KXTextureAttributes* attributes) = 0;
    virtual void setTexture2D(unsigned stage, KXTexture2D* texture, KXTextureAttributes* attributes) = 0;
    virtual void setAddressMode(unsigned stage, int axis, int mode) = 0;
};

// Lighting and the eight lights.
class KXLightState : public KXRenderState
{
public:
    static constexpr unsigned MAX_LIGHTS = 8;

    virtual void enableLighting(int enable) = 0;
    virtual void enableLight(unsigned index, int enable) = 0;
    virtual void setAmbientLight(KXLight* light) = 0;
    // Sets and enables light index; the light's position and direction are
    // carried into place by world.
    virtual void setLight(unsigned index, KXLight* light, const KXMatrix& world) = 0;
    virtual void enableNormalization(int enable) = 0;

protected:
    ~KXLightState() = default;
};

// The depth buffer: clearing, testing, writing and depth bias.
class KXZBufferState : public KXRenderState
{
public:
    // Clears the depth buffer only.
    virtual void clear() = 0;
    virtual void enableZBuffer(int enable) = 0;
    virtual void enableZWrite(int enable) = 0;
    virtual void setZFunction(int comparison) = 0;
    virtual void setDepthBias(float bias, float slopeScaledBias) = 0;

protected:
    ~KXZBufferState() = default;
};

// Alpha blending of what is drawn with what the target holds.
class KXDXRENDERER_API KXBlendState : public KXRenderState
{
public:
    enum KXBLENDFACTOR : int {
        KXBLENDFACTOR_ZERO = 0,
        KXBLENDFACTOR_ONE = 1,
        KXBLENDFACTOR_SRCCOLOR = 2,
        KXBLENDFACTOR_INVSRCCOLOR = 3,
        KXBLENDFACTOR_SRCALPHA = 4,
        KXBLENDFACTOR_INVSRCALPHA = 5,
        KXBLENDFACTOR_INVDESTALPHA = 6,
        KXBLENDFACTOR_DESTCOLOR = 7,
        KXBLENDFACTOR_INVDESTCOLOR = 8,
        KXBLENDFACTOR_BOTHSRCALPHA = 9,
        KXBLENDFACTOR_BOTHINVSRCALPHA = 10,
        KXBLENDFACTOR_BLENDFACTOR = 11,
        KXBLENDFACTOR_INVBLENDFACTOR = 12,
    };
    enum KXBLENDOPERATION : int {
        KXBLENDOPERATION_ADD = 0,
        KXBLENDOPERATION_SUBTRACT = 1,
        KXBLENDOPERATION_REVSUBTRACT = 2,
        KXBLENDOPERATION_MIN = 3,
        KXBLENDOPERATION_MAX = 4,
    };

    virtual void enableBlending(int enable) = 0;
    virtual void setSourceBlend(int factor) = 0;
    virtual void setDestinationBlend(int factor) = 0;
    virtual void setBlendOperation(int operation) = 0;

protected:
    ~KXBlendState() = default;
};

// Shading, fill mode and face culling.
class KXDXRENDERER_API KXPolyState : public KXRenderState
{
public:
    enum KXSHADEMODE : int {
        KXSHADEMODE_FLAT = 0,
        KXSHADEMODE_GOURAUD = 1,
    };
    enum KXFILLMODE : int {
        KXFILLMODE_POINT = 0,
        KXFILLMODE_WIREFRAME = 1,
        KXFILLMODE_SOLID = 2,
    };
    // Which faces are culled, by their winding on screen.
    enum KXCULLMODE : int {
        KXCULLMODE_CLOCKWISE = 0,
        KXCULLMODE_COUNTERCLOCKWISE = 1,
        KXCULLMODE_NONE = 2,
    };

    virtual void setShadeMode(int mode) = 0;
    virtual void setFillMode(int mode) = 0;
    virtual void setCullMode(int mode) = 0;

protected:
    ~KXPolyState() = default;
};

// The stencil buffer: clearing and the stencil test.
class KXStencilState : public KXRenderState
{
public:
    enum KXSTENCILOPERATION : int {
        KXSTENCILOPERATION_KEEP = 0,
        KXSTENCILOPERATION_ZERO = 1,
        KXSTENCILOPERATION_REPLACE = 2,
        KXSTENCILOPERATION_INCREMENTSATURATE = 3,
        KXSTENCILOPERATION_DECREMENTSATURATE = 4,
        KXSTENCILOPERATION_INVERT = 5,
        KXSTENCILOPERATION_INCREMENT = 6,
        KXSTENCILOPERATION_DECREMENT = 7,
    };
    static constexpr unsigned ALL_BITS = 0xFFFFFFFFu;

    // Clears the stencil buffer only.
    virtual void clear() = 0;
    virtual void enableStencil(int enable) = 0;
    virtual void setStencilFunction(int comparison) = 0;
    virtual void setReference(unsigned value) = 0;
    virtual void setMask(unsigned value) = 0;
    virtual void setWriteMask(unsigned value) = 0;
    virtual void setZFailOperation(int operation) = 0;
    virtual void setFailOperation(int operation) = 0;
    virtual void setPassOperation(int operation) = 0;

protected:
    ~KXStencilState() = default;
};

// Fog. setFog takes the fog's colour and parameters but does not switch
// fog on; enableFog does. The vertex-fog and range-fog flags apply to the
// next setFog.
class KXFogState : public KXRenderState
{
public:
    virtual void setVertexFog(int enable) = 0;
    virtual void setRangeFog(int enable) = 0;
    virtual void enableFog(int enable) = 0;
    virtual void setFog(KXFog* fog) = 0;

protected:
    ~KXFogState() = default;
};

// User clip planes 0..5.
class KXDXRENDERER_API KXClipState : public KXRenderState
{
public:
    static constexpr unsigned MAX_CLIP_PLANES = 6;

    virtual ~KXClipState();
    virtual void setClipPlane(unsigned index, KXClipPlane* plane, const KXMatrix& world) = 0;
    virtual void enableClipping(int enable) = 0;
};
