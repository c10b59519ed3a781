#pragma once

#include "renderer/KXExport.h"
#include "renderer/KXRenderState.h"
#include "renderer/dx/KXDXRenderStateBase.h"

#include <d3d9.h>

#include <vector>

class KXDXImage2DImpl;
class KXDXImage3DImpl;
class KXImage2D;
class KXImage3D;
class KXTexture;

// Textures and texture stages 0..7 of a Direct3D device, for renderers that
// draw through the images' implementation slots: an image's texture is made
// for this device on first use and kept in the image's slot.
//
// The state remembers every stage it touched since the last reset, so that
// reset puts exactly those stages back: no texture, coordinate set 0, no
// texture transform, wrap addressing, and the stage's default operation
// (stage 0 modulates the texture with the lit colour, later stages are off).
// A fresh state has touched nothing.
class KXDXRENDERER_API KXDXTextureState : public KXTextureState, public KXDXRenderStateBase
{
public:
    explicit KXDXTextureState(KXDXDevice* device);
    ~KXDXTextureState() override;

    void reset() override;
    // Stages 8 and above, null textures and textures without an image set
    // nothing. Attributes may be null: the stage's operation stays as it is.
    void setTexture3D(unsigned stage, KXTexture3D* texture, KXTextureAttributes* attributes) override;
    void setTexture2D(unsigned stage, KXTexture2D* texture, KXTextureAttributes* attributes) override;
    // Axis codes other than U and V name the Direct3D address state itself
    // (3 is D3DSAMP_ADDRESSW); codes that name no address state, and mode
    // codes that name no Direct3D address mode, set nothing.
    void setAddressMode(unsigned stage, int axis, int mode) override;

    // The stages that reset will put back, in call order (repeats kept).
    const std::vector<unsigned>& getTouchedStages() const { return m_stages; }

    static constexpr unsigned MAX_STAGES = 8;

protected:
    // Where the off-screen state behaves differently.
    struct Variant {
        bool resetsColorArguments; // reset also puts COLORARG1 and COLORARG2 back
        bool hasDotProduct3;       // operation 11 is DOTPRODUCT3 (else modulate)
        bool cubeColorArguments;   // setTexture3D sets the colour arguments too
    };
    KXDXTextureState(KXDXDevice* device, const Variant& variant);

    // The implementation that binds the image on this state's device; null
    // binds nothing.
    virtual KXDXImage2DImpl* findImage2D(KXImage2D* image);
    virtual KXDXImage3DImpl* findImage3D(KXImage3D* image);

private:
    // Lists the stage for reset; false (listing nothing) out of memory.
    bool touchStage(unsigned stage);
    void setSamplerFilters(IDirect3DDevice9* device, unsigned stage, const KXTexture& texture);
    // components: 2 for the coordinates of a 2D texture, 3 for a cube or
    // volume texture.
    void setTextureOperation(IDirect3DDevice9* device, unsigned stage, const KXTextureAttributes& attributes,
                             int components);
    void setColorArguments(IDirect3DDevice9* device, unsigned stage, const KXTextureAttributes& attributes);

    Variant m_variant;
    // Filter capabilities of the adapter, read once.
    DWORD m_bestMinFilter = D3DTEXF_POINT;
    DWORD m_bestMagFilter = D3DTEXF_POINT;
    DWORD m_bestMipFilter = D3DTEXF_POINT;
    DWORD m_maxAnisotropy = 1;
    std::vector<unsigned> m_stages;
};
