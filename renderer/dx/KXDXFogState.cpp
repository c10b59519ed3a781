#include "renderer/dx/KXDXFogState.h"

#include "sceneapi/KXFog.h"

#include <algorithm>
#include <cstring>

namespace {

// Float render states take the float's bits.
DWORD floatBits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

// The fog colour word: each component of the packed colour clamped to 0..1
// and rounded to the nearest of 256 steps, alpha in the high byte.
D3DCOLOR fogColorWord(const KXColor& color)
{
    const uint32_t word = color.getBGRA();
    DWORD packed = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const float component = std::clamp(static_cast<float>((word >> shift) & 0xFF) / 255.0f, 0.0f, 1.0f);
        packed |= static_cast<DWORD>(component * 255.0f + 0.5f) << shift;
    }
    return packed;
}

} // namespace

KXDXFogState::KXDXFogState(KXDXDevice* device) : KXDXRenderStateBase(device)
{
    reset();
}

void KXDXFogState::reset()
{
    m_vertexFog = 0;
    m_rangeFog = 0;
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetRenderState(D3DRS_RANGEFOGENABLE, 0);
}

void KXDXFogState::setVertexFog(int enable)
{
    m_vertexFog = enable;
}

void KXDXFogState::setRangeFog(int enable)
{
    m_rangeFog = enable;
}

void KXDXFogState::enableFog(int enable)
{
    if (IDirect3DDevice9* device = getD3DDevice())
        device->SetRenderState(D3DRS_FOGENABLE, static_cast<DWORD>(enable));
}

void KXDXFogState::setFog(KXFog* fog)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || !fog)
        return;
    device->SetRenderState(D3DRS_FOGCOLOR, fogColorWord(fog->getColor()));
    const D3DRENDERSTATETYPE modeState = m_vertexFog ? D3DRS_FOGVERTEXMODE : D3DRS_FOGTABLEMODE;
    // Direct3D fogs per pixel whenever the table mode is set, whatever the
    // vertex mode says, so the mode not chosen is switched off: per-vertex
    // fog after per-pixel fog would otherwise never take effect.
    device->SetRenderState(m_vertexFog ? D3DRS_FOGTABLEMODE : D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    switch (fog->getFogType()) {
    case KXFog::KXFOGTYPE_LINEAR:
        if (auto* linear = dynamic_cast<KXLinearFog*>(fog)) {
            device->SetRenderState(modeState, D3DFOG_LINEAR);
            device->SetRenderState(D3DRS_FOGSTART, floatBits(linear->getFrontDistance()));
            device->SetRenderState(D3DRS_FOGEND, floatBits(linear->getBackDistance()));
        }
        break;
    case KXFog::KXFOGTYPE_EXPONENTIAL:
        if (auto* exponential = dynamic_cast<KXExponentialFog*>(fog)) {
            device->SetRenderState(D3DRS_FOGDENSITY, floatBits(exponential->getDensity()));
            device->SetRenderState(modeState, exponential->getExpMode() ? D3DFOG_EXP2 : D3DFOG_EXP);
        }
        break;
    default:
        break;
    }
    device->SetRenderState(D3DRS_RANGEFOGENABLE, static_cast<DWORD>(m_rangeFog));
}
