#include "renderer/dx/KXDXTextureState.h"

#include "renderer/KXOutOfMemory.h"
#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXImage3DImpl.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTextureAttributes.h"

#include <algorithm>
#include <new>

namespace {

// A filter code of the scene graph (or a capability level: 0 point,
// 1 linear, 2 anisotropic) as a Direct3D filter; unknown codes are linear.
DWORD toD3DFilter(int code)
{
    switch (code) {
    case KXTexture::KXTEXTUREFILTER_POINT:
        return D3DTEXF_POINT;
    case KXTexture::KXTEXTUREFILTER_ANISOTROPIC:
        return D3DTEXF_ANISOTROPIC;
    default:
        return D3DTEXF_LINEAR;
    }
}

DWORD toD3DArgument(int argument)
{
    switch (argument) {
    case KXTextureAttributes::KXTEXTUREARG_CURRENT:
        return D3DTA_CURRENT;
    case KXTextureAttributes::KXTEXTUREARG_DIFFUSE:
        return D3DTA_DIFFUSE;
    case KXTextureAttributes::KXTEXTUREARG_SPECULAR:
        return D3DTA_SPECULAR;
    case KXTextureAttributes::KXTEXTUREARG_TEXTURE:
        return D3DTA_TEXTURE;
    case KXTextureAttributes::KXTEXTUREARG_TEXTUREFACTOR:
        return D3DTA_TFACTOR;
    default:
        return D3DTA_CONSTANT;
    }
}

// The blend operation draws half of each argument: the texture factor's
// alpha is the weight.
constexpr DWORD HALF_BLEND_FACTOR = 0x80FFFFFF;

} // namespace

KXDXTextureState::KXDXTextureState(KXDXDevice* device) : KXDXTextureState(device, Variant{true, true, false}) {}

KXDXTextureState::KXDXTextureState(KXDXDevice* device, const Variant& variant)
    : KXDXRenderStateBase(device), m_variant(variant)
{
    if (device) {
        const KXDeviceCapabilities caps = device->getCapabilities();
        m_bestMinFilter = toD3DFilter(caps.bestMinFilter);
        m_bestMagFilter = toD3DFilter(caps.bestMagFilter);
        m_bestMipFilter = caps.linearMipFilter ? D3DTEXF_LINEAR : D3DTEXF_POINT;
        m_maxAnisotropy = caps.maxAnisotropy;
    }
}

KXDXTextureState::~KXDXTextureState() = default;

void KXDXTextureState::reset()
{
    IDirect3DDevice9* device = getD3DDevice();
    if (device) {
        for (unsigned stage : m_stages) {
            device->SetTexture(stage, nullptr);
            device->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, 0);
            device->SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
            device->SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
            device->SetSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
            device->SetTextureStageState(stage, D3DTSS_COLOROP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE);
            device->SetTextureStageState(stage, D3DTSS_ALPHAOP, stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE);
            if (m_variant.resetsColorArguments) {
                device->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
                device->SetTextureStageState(stage, D3DTSS_COLORARG2, D3DTA_CURRENT);
            }
        }
    }
    m_stages.clear();
}

KXDXImage2DImpl* KXDXTextureState::findImage2D(KXImage2D* image)
{
    // A texture belongs to the device it was made on: an implementation made
    // for another device, or whose device has been released, is replaced.
    auto* current = dynamic_cast<KXDXImage2DImpl*>(image->getImplementation());
    if (current && current->getDevice() == getDXDevice())
        return current;
    // Without memory for it the image keeps what it has and binds nothing.
    auto* made = new (std::nothrow) KXDXImage2DImpl(getDXDevice(), image);
    if (made)
        image->setImplementation(made);
    return made;
}

KXDXImage3DImpl* KXDXTextureState::findImage3D(KXImage3D* image)
{
    auto* current = dynamic_cast<KXDXImage3DImpl*>(image->getImplementation());
    if (current && current->getDevice() == getDXDevice())
        return current;
    auto* made = new (std::nothrow) KXDXImage3DImpl(getDXDevice(), image);
    if (made)
        image->setImplementation(made);
    return made;
}

void KXDXTextureState::setTexture2D(unsigned stage, KXTexture2D* texture, KXTextureAttributes* attributes)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device || stage >= MAX_STAGES || !texture || !texture->getImage2D() || !touchStage(stage))
        return;
    if (KXDXImage2DImpl* implementation = findImage2D(texture->getImage2D()))
        implementation->bind(stage);
    setSamplerFilters(device, stage, *texture);
    if (attributes) {
        setTextureOperation(device, stage, *attributes, 2);
        setColorArguments(device, stage, *attributes);
    }
}

void KXDXTextureState::setTexture3D(unsigned stage, KXTexture3D* texture, KXTextureAttributes* attributes)
{
    IDirect3DDevice9* device = getD3DDevice();
    // The stage also picks the texture transform D3DTS_TEXTURE0 + stage, so
    // it must stay within the eight stages.
    if (!device || stage >= MAX_STAGES || !texture || !texture->getImage3D() || !touchStage(stage))
        return;
    if (KXDXImage3DImpl* implementation = findImage3D(texture->getImage3D()))
        implementation->bind(stage);
    setSamplerFilters(device, stage, *texture);
    if (attributes) {
        setTextureOperation(device, stage, *attributes, 3);
        if (m_variant.cubeColorArguments)
            setColorArguments(device, stage, *attributes);
    }
}

void KXDXTextureState::setAddressMode(unsigned stage, int axis, int mode)
{
    IDirect3DDevice9* device = getD3DDevice();
    if (!device)
        return;
    DWORD type = 0;
    if (axis == KXTEXTUREAXIS_U)
        type = D3DSAMP_ADDRESSU;
    else if (axis == KXTEXTUREAXIS_V)
        type = D3DSAMP_ADDRESSV;
    else if (axis >= D3DSAMP_ADDRESSU && axis <= D3DSAMP_ADDRESSW)
        type = static_cast<DWORD>(axis);
    DWORD value = 0;
    if (mode == KXADDRESSMODE_CLAMP)
        value = D3DTADDRESS_CLAMP;
    else if (mode >= D3DTADDRESS_WRAP && mode <= D3DTADDRESS_MIRRORONCE)
        value = static_cast<DWORD>(mode);
    // Listed so that reset puts the stage back to wrap, whether or not a
    // texture was bound there afterwards.
    if (type == 0 || value == 0 || !touchStage(stage))
        return;
    device->SetSamplerState(stage, static_cast<D3DSAMPLERSTATETYPE>(type), value);
}

bool KXDXTextureState::touchStage(unsigned stage)
{
    // A stage that reset could not put back is not set at all.
    return kxRunWithinMemory([&] { m_stages.push_back(stage); });
}

void KXDXTextureState::setSamplerFilters(IDirect3DDevice9* device, unsigned stage, const KXTexture& texture)
{
    // Each filter is the one asked for, lowered to what the adapter can do
    // (point < linear < anisotropic in Direct3D's numbering).
    device->SetSamplerState(stage, D3DSAMP_MAGFILTER, std::min(toD3DFilter(texture.getMagFilter()), m_bestMagFilter));
    device->SetSamplerState(stage, D3DSAMP_MINFILTER, std::min(toD3DFilter(texture.getMinFilter()), m_bestMinFilter));
    device->SetSamplerState(stage, D3DSAMP_MIPFILTER, std::min(toD3DFilter(texture.getMipFilter()), m_bestMipFilter));
    device->SetSamplerState(stage, D3DSAMP_MAXANISOTROPY, m_maxAnisotropy);
}

void KXDXTextureState::setTextureOperation(IDirect3DDevice9* device, unsigned stage,
                                           const KXTextureAttributes& attributes, int components)
{
    // The 2D texture matrix acts on (u, v, 1): it fills the upper-left 3x3,
    // its translation landing in the third row as Direct3D expects for
    // two-component coordinates. Three-component coordinates (s, t, r) of a
    // cube or volume enter as (s, t, r, 1): the matrix then moves s and t
    // with its translation in the fourth row and leaves r alone, and all
    // three components must reach the sampler, which COUNT2 would cut to two.
    D3DMATRIX matrix;
    const KXMatrix2D& textureMatrix = attributes.getTextureMatrix();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            matrix.m[r][c] = r == c ? 1.0f : 0.0f;
    if (components == 3) {
        for (int c = 0; c < 2; ++c) {
            matrix.m[0][c] = textureMatrix.get(0, c);
            matrix.m[1][c] = textureMatrix.get(1, c);
            matrix.m[3][c] = textureMatrix.get(2, c);
        }
    } else {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                matrix.m[r][c] = textureMatrix.get(r, c);
    }
    const DWORD count = components == 3 ? D3DTTFF_COUNT3 : D3DTTFF_COUNT2;
    device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + stage), &matrix);
    device->SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, count);
    device->SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_MODULATE);

    DWORD op = D3DTOP_MODULATE;
    switch (attributes.getTextureOperation()) {
    case KXTextureAttributes::KXTEXTUREOPERATION_DISABLE:
        op = D3DTOP_DISABLE;
        break;
    case KXTextureAttributes::KXTEXTUREOPERATION_MODULATE2X:
        op = D3DTOP_MODULATE2X;
        break;
    case KXTextureAttributes::KXTEXTUREOPERATION_BLEND:
        device->SetRenderState(D3DRS_TEXTUREFACTOR, HALF_BLEND_FACTOR);
        op = D3DTOP_BLENDFACTORALPHA;
        break;
    case KXTextureAttributes::KXTEXTUREOPERATION_REPLACE:
        op = D3DTOP_SELECTARG1;
        break;
    case KXTextureAttributes::KXTEXTUREOPERATION_ADD:
        op = D3DTOP_ADD;
        break;
    case KXTextureAttributes::KXTEXTUREOPERATION_ADDSIGNED:
        op = D3DTOP_ADDSIGNED;
        break;
    case KXTextureAttributes::KXTEXTUREOPERATION_ADDSIGNED2X:
        op = D3DTOP_ADDSIGNED2X;
        break;
    case KXTextureAttributes::KXTEXTUREOPERATION_SUBTRACT:
        op = D3DTOP_SUBTRACT;
        break;
    case KXTextureAttributes::KXTEXTUREOPERATION_DOT3:
        op = m_variant.hasDotProduct3 ? D3DTOP_DOTPRODUCT3 : D3DTOP_MODULATE;
        break;
    default: // modulate, decal, combine and unknown codes
        break;
    }
    device->SetTextureStageState(stage, D3DTSS_COLOROP, op);

    const int index = attributes.getTextureIndex();
    if (index >= KXTextureAttributes::KXTEXTUREINDEX_TEXCOORD0 &&
        index <= KXTextureAttributes::KXTEXTUREINDEX_TEXCOORD7) {
        device->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, static_cast<DWORD>(index));
        return;
    }
    DWORD generated = 0;
    switch (index) {
    case KXTextureAttributes::KXTEXTUREINDEX_CAMERASPACENORMAL:
        generated = D3DTSS_TCI_CAMERASPACENORMAL;
        break;
    case KXTextureAttributes::KXTEXTUREINDEX_CAMERASPACEPOSITION:
        generated = D3DTSS_TCI_CAMERASPACEPOSITION;
        break;
    case KXTextureAttributes::KXTEXTUREINDEX_CAMERASPACEREFLECTION:
        generated = D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR;
        break;
    case KXTextureAttributes::KXTEXTUREINDEX_SPHEREMAP:
        generated = D3DTSS_TCI_SPHEREMAP;
        break;
    default:
        return;
    }
    device->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, generated);
    device->SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, count);
}

void KXDXTextureState::setColorArguments(IDirect3DDevice9* device, unsigned stage,
                                         const KXTextureAttributes& attributes)
{
    device->SetTextureStageState(stage, D3DTSS_COLORARG1, toD3DArgument(attributes.getTextureArgument(0)));
    device->SetTextureStageState(stage, D3DTSS_COLORARG2, toD3DArgument(attributes.getTextureArgument(1)));
}
