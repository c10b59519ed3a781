#include "renderer/dx/KXDXBlendState.h"

KXDXBlendState::KXDXBlendState(KXDXDevice* device) : KXDXRenderStateBase(device)
{
    reset();
}

void KXDXBlendState::reset()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    device->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    // The target's alpha is the coverage of a picture read back from it: a
    // blended primitive lays its alpha over what is there (source + target ×
    // (1 - source alpha)), whatever its colour factors, so that a picture
    // over an opaque background stays opaque and one over a transparent
    // background gets the alpha a viewer composites correctly. Without the
    // capability the alpha blends like the colour.
    D3DCAPS9 caps;
    if (SUCCEEDED(device->GetDeviceCaps(&caps)) && (caps.PrimitiveMiscCaps & D3DPMISCCAPS_SEPARATEALPHABLEND)) {
        device->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE);
        device->SetRenderState(D3DRS_DESTBLENDALPHA, D3DBLEND_INVSRCALPHA);
        device->SetRenderState(D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD);
    }
}

void KXDXBlendState::enableBlending(int enable)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, enable ? TRUE : FALSE);
}

DWORD KXDXBlendState::toD3DBlend(int factor)
{
    // D3DBLEND_DESTALPHA and D3DBLEND_SRCALPHASAT have no code.
    static const D3DBLEND table[] = {
        D3DBLEND_ZERO,           D3DBLEND_ONE,          D3DBLEND_SRCCOLOR,       D3DBLEND_INVSRCCOLOR,
        D3DBLEND_SRCALPHA,       D3DBLEND_INVSRCALPHA,  D3DBLEND_INVDESTALPHA,   D3DBLEND_DESTCOLOR,
        D3DBLEND_INVDESTCOLOR,   D3DBLEND_BOTHSRCALPHA, D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_BLENDFACTOR,
        D3DBLEND_INVBLENDFACTOR,
    };
    if (factor < 0 || factor >= static_cast<int>(sizeof(table) / sizeof(table[0])))
        return 0;
    return static_cast<DWORD>(table[factor]);
}

void KXDXBlendState::setSourceBlend(int factor)
{
    IDirect3DDevice9* device = getD3DDevice();
    const DWORD blend = toD3DBlend(factor);
    if (device && blend != 0)
        device->SetRenderState(D3DRS_SRCBLEND, blend);
}

void KXDXBlendState::setDestinationBlend(int factor)
{
    IDirect3DDevice9* device = getD3DDevice();
    const DWORD blend = toD3DBlend(factor);
    if (device && blend != 0)
        device->SetRenderState(D3DRS_DESTBLEND, blend);
}

void KXDXBlendState::setBlendOperation(int operation)
{
    IDirect3DDevice9* device = getD3DDevice();
    // The codes follow Direct3D's order from D3DBLENDOP_ADD (1) to D3DBLENDOP_MAX (5).
    if (device && operation >= KXBLENDOPERATION_ADD && operation <= KXBLENDOPERATION_MAX)
        device->SetRenderState(D3DRS_BLENDOP, static_cast<DWORD>(operation + 1));
}
