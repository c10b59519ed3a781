#include "renderer/dx/KXDXStencilState.h"

KXDXStencilState::KXDXStencilState(KXDXDevice* device) : KXDXRenderStateBase(device)
{
    reset();
}

void KXDXStencilState::reset()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    device->SetRenderState(D3DRS_STENCILENABLE, FALSE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_STENCILREF, 0);
    device->SetRenderState(D3DRS_STENCILMASK, ALL_BITS);
    device->SetRenderState(D3DRS_STENCILWRITEMASK, ALL_BITS);
    device->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
}

void KXDXStencilState::clear()
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0);
}

void KXDXStencilState::enableStencil(int enable)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_STENCILENABLE, enable ? TRUE : FALSE);
}

void KXDXStencilState::setStencilFunction(int comparison)
{
    IDirect3DDevice9* device = getD3DDevice();
    // The codes follow Direct3D's order from D3DCMP_NEVER (1) to D3DCMP_ALWAYS (8).
    if (device && comparison >= KXCOMPARISON_NEVER && comparison <= KXCOMPARISON_ALWAYS)
        device->SetRenderState(D3DRS_STENCILFUNC, static_cast<DWORD>(comparison + 1));
}

void KXDXStencilState::setReference(unsigned value)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_STENCILREF, value);
}

void KXDXStencilState::setMask(unsigned value)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_STENCILMASK, value);
}

void KXDXStencilState::setWriteMask(unsigned value)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_STENCILWRITEMASK, value);
}

void KXDXStencilState::setOperation(D3DRENDERSTATETYPE state, int operation)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    // The codes follow Direct3D's order from D3DSTENCILOP_KEEP (1) to D3DSTENCILOP_DECR (8).
    const bool known = operation >= KXSTENCILOPERATION_KEEP && operation <= KXSTENCILOPERATION_DECREMENT;
    device->SetRenderState(state, known ? static_cast<DWORD>(operation + 1) : static_cast<DWORD>(D3DSTENCILOP_KEEP));
}

void KXDXStencilState::setZFailOperation(int operation)
{
    setOperation(D3DRS_STENCILZFAIL, operation);
}

void KXDXStencilState::setFailOperation(int operation)
{
    setOperation(D3DRS_STENCILFAIL, operation);
}

void KXDXStencilState::setPassOperation(int operation)
{
    setOperation(D3DRS_STENCILPASS, operation);
}
