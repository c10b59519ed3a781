#include "renderer/dx/KXDXZBufferState.h"

#include <cstring>

namespace {

// Float render states take the float's bits.
DWORD floatBits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

} // namespace

KXDXZBufferState::KXDXZBufferState(KXDXDevice* device) : KXDXRenderStateBase(device)
{
    if (device) {
        const KXDeviceCapabilities caps = device->getCapabilities();
        m_depthBias = caps.depthBias != 0;
        m_slopeScaledDepthBias = caps.slopeScaledDepthBias != 0;
    }
    reset();
}

void KXDXZBufferState::reset()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    if (m_slopeScaledDepthBias)
        device->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, floatBits(0.0f));
    if (m_depthBias)
        device->SetRenderState(D3DRS_DEPTHBIAS, floatBits(0.0f));
}

void KXDXZBufferState::clear()
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
}

void KXDXZBufferState::enableZBuffer(int enable)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_ZENABLE, enable ? D3DZB_TRUE : D3DZB_FALSE);
}

void KXDXZBufferState::enableZWrite(int enable)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_ZWRITEENABLE, enable ? TRUE : FALSE);
}

void KXDXZBufferState::setZFunction(int comparison)
{
    IDirect3DDevice9* device = getD3DDevice();
    // The codes follow Direct3D's order from D3DCMP_NEVER (1) to D3DCMP_ALWAYS (8).
    if (device && comparison >= KXCOMPARISON_NEVER && comparison <= KXCOMPARISON_ALWAYS)
        device->SetRenderState(D3DRS_ZFUNC, static_cast<DWORD>(comparison + 1));
}

void KXDXZBufferState::setDepthBias(float bias, float slopeScaledBias)
{
    IDirect3DDevice9* device = getD3DDevice();
    // The slope-scaled bias is only ever used together with a plain bias.
    if (!device || !m_depthBias)
        return;
    if (m_slopeScaledDepthBias)
        device->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, floatBits(slopeScaledBias));
    device->SetRenderState(D3DRS_DEPTHBIAS, floatBits(bias));
}
