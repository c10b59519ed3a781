// libFuzzer entry point for the effect framework without its shader
// compiler: any bytes are preprocessed and parsed as an effect file; what
// parses becomes an effect on a software device (its shaders treated as
// failed compiles), whose parameters, annotations and techniques are read
// back and whose passes are applied.
//
// Every call must return, with bounded memory, and leave no object alive:
// the parser reports errors instead of crashing, and every handle the
// effect hands out must describe itself.

#include "effect/Effect.h"
#include "effect/EffectParser.h"
#include "effect/EffectPreprocessor.h"

#include <d3dx9.h>
#include <swd3d9.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// One device for the whole run; each input's Begin/End restores what its
// passes change.
IDirect3DDevice9* device()
{
    static IDirect3DDevice9* shared = [] {
        HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 64, 64, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS parameters;
        std::memset(&parameters, 0, sizeof parameters);
        parameters.Windowed = TRUE;
        parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
        parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
        parameters.hDeviceWindow = window;
        IDirect3DDevice9* created = nullptr;
        if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                             D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &created)))
            std::abort();
        d3d->Release();
        return created;
    }();
    return shared;
}

void readParameter(ID3DXEffect* effect, D3DXHANDLE handle, int depth)
{
    D3DXPARAMETER_DESC desc;
    require(effect->GetParameterDesc(handle, &desc) == D3D_OK);
    require(desc.Name != nullptr);
    // Values of any size read into a buffer of their size.
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[desc.Bytes + 1]);
    HRESULT read = effect->GetValue(handle, bytes.get(), desc.Bytes);
    require(read == D3D_OK || read == E_FAIL || read == D3DERR_INVALIDCALL);
    if (read == D3D_OK && desc.Class == D3DXPC_OBJECT && desc.Type >= D3DXPT_TEXTURE &&
        desc.Type <= D3DXPT_TEXTURECUBE)
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace swd3d9::effect;
    std::string source(reinterpret_cast<const char*>(data), size);
    std::string preprocessed, messages;
    NoIncludes includes;
    if (!preprocessEffect(source, "fuzz.fx", nullptr, includes, preprocessed, messages))
        return 0;
    auto description = std::make_shared<EffectDescription>();
    if (!parseEffect(preprocessed, "fuzz.fx", false, *description, messages)) {
        require(messages.find("error") != std::string::npos);
        return 0;
    }
    IDirect3DDevice9* target = device();
    const UINT liveBefore = SwD3D9GetLiveObjectCount();
    {
        Effect* effect = nullptr;
        if (FAILED(Effect::create(target, description, {}, 0, {}, &effect)))
            return 0;
        D3DXEFFECT_DESC desc;
        require(effect->GetDesc(&desc) == D3D_OK);
        for (UINT i = 0; i < desc.Parameters; ++i) {
            D3DXHANDLE handle = effect->GetParameter(nullptr, i);
            require(handle != nullptr);
            readParameter(effect, handle, 0);
        }
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
                    require(effect->EndPass() == D3D_OK);
                }
            }
            require(effect->End() == D3D_OK);
        }
        require(effect->Release() == 0);
    }
    require(SwD3D9GetLiveObjectCount() == liveBefore);
    return 0;
}
