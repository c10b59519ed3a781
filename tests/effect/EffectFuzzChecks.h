#pragma once

// What the effect fuzz entry points do with an effect that was made: every
// parameter read back and written, and every technique's passes applied.
// Whatever the input, each handle the effect hands out must describe
// itself and Begin/End must balance.

#include "FuzzDevice.h"

#include <d3dx9.h>

#include <cstring>
#include <memory>

namespace effectfuzz {

using fuzzdevice::require;

// A parameter and, a few levels deep, its members or elements.
inline void readParameter(ID3DXEffect* effect, D3DXHANDLE handle, int depth)
{
    D3DXPARAMETER_DESC desc;
    require(effect->GetParameterDesc(handle, &desc) == D3D_OK);
    require(desc.Name != nullptr);
    // Values of any size read into a buffer of their size.
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[desc.Bytes + 1]);
    HRESULT read = effect->GetValue(handle, bytes.get(), desc.Bytes);
    require(read == D3D_OK || read == E_FAIL || read == D3DERR_INVALIDCALL);
    // Textures and shaders come with a reference each.
    const bool counted = (desc.Type >= D3DXPT_TEXTURE && desc.Type <= D3DXPT_TEXTURECUBE) ||
                         desc.Type == D3DXPT_PIXELSHADER || desc.Type == D3DXPT_VERTEXSHADER;
    if (read == D3D_OK && desc.Class == D3DXPC_OBJECT && counted)
        for (UINT i = 0; i < desc.Bytes / sizeof(IUnknown*); ++i) {
            IUnknown* object;
            std::memcpy(&object, bytes.get() + i * sizeof(IUnknown*), sizeof object);
            if (object)
                object->Release();
        }
    float f[4];
    effect->GetFloatArray(handle, f, 4);
    effect->SetFloatArray(handle, f, 4);
    for (UINT a = 0; a < desc.Annotations; ++a)
        require(effect->GetAnnotation(handle, a) != nullptr);
    if (depth < 3)
        for (UINT i = 0; i < 4; ++i) {
            D3DXHANDLE child = effect->GetParameter(handle, i);
            if (!child)
                break;
            readParameter(effect, child, depth + 1);
        }
}

inline void readParameters(ID3DXEffect* effect, const D3DXEFFECT_DESC& desc)
{
    for (UINT i = 0; i < desc.Parameters; ++i) {
        D3DXHANDLE handle = effect->GetParameter(nullptr, i);
        require(handle != nullptr);
        readParameter(effect, handle, 0);
    }
}

// Each technique begun and each of its passes that can begin applied, with
// drawPass() called inside the pass.
template <class DrawPass>
void runTechniques(ID3DXEffect* effect, const D3DXEFFECT_DESC& desc, DrawPass drawPass)
{
    for (UINT t = 0; t < desc.Techniques; ++t) {
        D3DXHANDLE technique = effect->GetTechnique(t);
        D3DXTECHNIQUE_DESC techniqueDesc;
        require(effect->GetTechniqueDesc(technique, &techniqueDesc) == D3D_OK);
        require(effect->SetTechnique(technique) == D3D_OK);
        UINT passes = 0;
        require(effect->Begin(&passes, 0) == D3D_OK);
        require(passes == techniqueDesc.Passes);
        for (UINT p = 0; p < passes; ++p) {
            if (SUCCEEDED(effect->BeginPass(p))) {
                effect->CommitChanges();
                drawPass();
                require(effect->EndPass() == D3D_OK);
            }
        }
        require(effect->End() == D3D_OK);
    }
}

} // namespace effectfuzz
