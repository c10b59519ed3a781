#include "renderer/dx/KXDXPolyState.h"

KXDXPolyState::KXDXPolyState(KXDXDevice* device) : KXDXRenderStateBase(device)
{
    reset();
}

void KXDXPolyState::reset()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
}

void KXDXPolyState::setShadeMode(int mode)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    if (mode == KXSHADEMODE_FLAT)
        device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    else if (mode == KXSHADEMODE_GOURAUD)
        device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
}

void KXDXPolyState::setFillMode(int mode)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    if (mode == KXFILLMODE_POINT)
        device->SetRenderState(D3DRS_FILLMODE, D3DFILL_POINT);
    else if (mode == KXFILLMODE_WIREFRAME)
        device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    else if (mode == KXFILLMODE_SOLID)
        device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
}

void KXDXPolyState::setCullMode(int mode)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    if (mode == KXCULLMODE_CLOCKWISE)
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    else if (mode == KXCULLMODE_COUNTERCLOCKWISE)
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    else if (mode == KXCULLMODE_NONE)
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
}
