// D3DXCreateEffect and its variants: source text in, ID3DXEffect out.
//
// The stages run in order: preprocessing (macros and includes), parsing
// the effect syntax, compiling the shaders of every technique and shader
// variable at once, then the effect object, which makes the device's
// shader objects. Every message lands in the error buffer, warnings
// included, each naming the original file and line.
//
// An effect is refused when parsing fails, or when some shader failed to
// compile and no technique is left that can be used; an effect with one
// technique whose shaders do not compile and another that works is made,
// the broken technique failing ValidateTechnique.
//
// Effect pools are not supported: D3DXCreateEffectPool returns E_NOTIMPL
// and a pool passed to the create functions is ignored, so that "shared"
// parameters belong to each effect alone.

#include "d3dx9/D3DXPaths.h"
#include "effect/Effect.h"
#include "effect/EffectParser.h"
#include "effect/EffectPreprocessor.h"
#include "effect/EffectPrograms.h"

#include "sceneapi/KXFileUtils.h"

#include <d3dx9.h>

#include <cstring>
#include <new>

using swd3d9::effect::D3DXIncludes;
using swd3d9::effect::Effect;
using swd3d9::effect::EffectDescription;
using swd3d9::effect::FileIncludes;
using swd3d9::effect::IncludeSource;
using swd3d9::effect::NoIncludes;

namespace {

std::vector<std::string> splitNames(LPCSTR list)
{
    std::vector<std::string> names;
    if (!list)
        return names;
    std::string name;
    for (const char* c = list;; ++c) {
        if (*c == ';' || *c == '\0') {
            size_t first = name.find_first_not_of(" \t");
            size_t last = name.find_last_not_of(" \t");
            if (first != std::string::npos)
                names.push_back(name.substr(first, last - first + 1));
            name.clear();
            if (*c == '\0')
                break;
        } else {
            name += *c;
        }
    }
    return names;
}

HRESULT makeErrorBuffer(const std::string& messages, LPD3DXBUFFER* ppErrors)
{
    if (!ppErrors)
        return D3D_OK;
    *ppErrors = nullptr;
    if (messages.empty())
        return D3D_OK;
    LPD3DXBUFFER buffer = nullptr;
    HRESULT result = D3DXCreateBuffer(static_cast<DWORD>(messages.size() + 1), &buffer);
    if (FAILED(result))
        return result;
    std::memcpy(buffer->GetBufferPointer(), messages.c_str(), messages.size() + 1);
    *ppErrors = buffer;
    return D3D_OK;
}

HRESULT compileEffect(IDirect3DDevice9* device, const std::string& source, const std::string& fileName,
                      const D3DXMACRO* defines, IncludeSource& includes, LPCSTR skipConstants, DWORD flags,
                      LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppErrors)
{
    std::string messages;
    HRESULT result = E_FAIL;
    Effect* effect = nullptr;
    try {
        std::string preprocessed;
        auto description = std::make_shared<EffectDescription>();
        if (swd3d9::effect::preprocessEffect(source, fileName, defines, includes, preprocessed, messages) &&
            swd3d9::effect::parseEffect(preprocessed, fileName, (flags & D3DXSHADER_PACKMATRIX_ROWMAJOR) != 0,
                                        *description, messages)) {
            preprocessed.clear();
            preprocessed.shrink_to_fit();
            std::vector<std::shared_ptr<const swd3d9::shader::Program>> programs;
            swd3d9::effect::compilePrograms(*description, programs, messages);
            bool allCompiled = true;
            for (const auto& program : programs)
                allCompiled = allCompiled && program != nullptr;
            result = Effect::create(device, description, std::move(programs), flags, splitNames(skipConstants),
                                    &effect);
            if (SUCCEEDED(result) && !allCompiled) {
                bool anyValid = false;
                for (size_t t = 0; t < effect->techniqueCount(); ++t)
                    anyValid = anyValid || effect->isTechniqueValid(t);
                if (!anyValid) {
                    effect->Release();
                    effect = nullptr;
                    result = E_FAIL;
                }
            }
        }
        HRESULT buffered = makeErrorBuffer(messages, ppErrors);
        if (SUCCEEDED(result) && FAILED(buffered))
            result = buffered;
    } catch (const std::bad_alloc&) {
        result = E_OUTOFMEMORY;
    }
    if (FAILED(result) && effect) {
        effect->Release();
        effect = nullptr;
    }
    if (ppEffect)
        *ppEffect = effect;
    else if (effect)
        effect->Release();
    return result;
}

HRESULT compileEffectFile(IDirect3DDevice9* device, LPCWSTR path, const D3DXMACRO* defines, LPD3DXINCLUDE include,
                          LPCSTR skipConstants, DWORD flags, LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppErrors)
{
    if (ppEffect)
        *ppEffect = nullptr;
    if (ppErrors)
        *ppErrors = nullptr;
    if (!device || !path)
        return D3DERR_INVALIDCALL;
    try {
        std::string native;
        std::vector<unsigned char> bytes;
        if (!KXFileUtils::toNativePath(path, native) ||
            KXFileUtils::readFile(path, bytes, swd3d9::effect::MAX_SOURCE_BYTES) != 0)
            return D3DXERR_INVALIDDATA;
        std::string source(bytes.begin(), bytes.end());
        if (include) {
            D3DXIncludes includes(include, source.c_str());
            return compileEffect(device, source, native, defines, includes, skipConstants, flags, ppEffect,
                                 ppErrors);
        }
        FileIncludes includes(native);
        return compileEffect(device, source, native, defines, includes, skipConstants, flags, ppEffect, ppErrors);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace

extern "C" {

HRESULT WINAPI D3DXCreateEffectPool(LPD3DXEFFECTPOOL* ppPool)
{
    if (!ppPool)
        return D3DERR_INVALIDCALL;
    *ppPool = nullptr;
    return E_NOTIMPL;
}

HRESULT WINAPI D3DXCreateEffectEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataLen,
                                  CONST D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude, LPCSTR pSkipConstants,
                                  DWORD Flags, LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect,
                                  LPD3DXBUFFER* ppCompilationErrors)
{
    (void)pPool;
    if (ppEffect)
        *ppEffect = nullptr;
    if (ppCompilationErrors)
        *ppCompilationErrors = nullptr;
    if (!pDevice || !pSrcData)
        return D3DERR_INVALIDCALL;
    if (SrcDataLen == 0)
        return E_FAIL;
    try {
        std::string source(static_cast<const char*>(pSrcData), SrcDataLen);
        if (pInclude) {
            D3DXIncludes includes(pInclude, pSrcData);
            return compileEffect(pDevice, source, "memory", pDefines, includes, pSkipConstants, Flags, ppEffect,
                                 ppCompilationErrors);
        }
        NoIncludes includes;
        return compileEffect(pDevice, source, "memory", pDefines, includes, pSkipConstants, Flags, ppEffect,
                             ppCompilationErrors);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WINAPI D3DXCreateEffect(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataLen,
                                CONST D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude, DWORD Flags,
                                LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppCompilationErrors)
{
    return D3DXCreateEffectEx(pDevice, pSrcData, SrcDataLen, pDefines, pInclude, nullptr, Flags, pPool, ppEffect,
                              ppCompilationErrors);
}

HRESULT WINAPI D3DXCreateEffectFromFileExW(LPDIRECT3DDEVICE9 pDevice, LPCWSTR pSrcFile, CONST D3DXMACRO* pDefines,
                                           LPD3DXINCLUDE pInclude, LPCSTR pSkipConstants, DWORD Flags,
                                           LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect,
                                           LPD3DXBUFFER* ppCompilationErrors)
{
    (void)pPool;
    return compileEffectFile(pDevice, pSrcFile, pDefines, pInclude, pSkipConstants, Flags, ppEffect,
                             ppCompilationErrors);
}

HRESULT WINAPI D3DXCreateEffectFromFileExA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, CONST D3DXMACRO* pDefines,
                                           LPD3DXINCLUDE pInclude, LPCSTR pSkipConstants, DWORD Flags,
                                           LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect,
                                           LPD3DXBUFFER* ppCompilationErrors)
{
    if (ppEffect)
        *ppEffect = nullptr;
    if (ppCompilationErrors)
        *ppCompilationErrors = nullptr;
    try {
        std::wstring path;
        if (!swd3dx::widenPath(pSrcFile, path))
            return D3DERR_INVALIDCALL;
        return D3DXCreateEffectFromFileExW(pDevice, path.c_str(), pDefines, pInclude, pSkipConstants, Flags, pPool,
                                           ppEffect, ppCompilationErrors);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WINAPI D3DXCreateEffectFromFileW(LPDIRECT3DDEVICE9 pDevice, LPCWSTR pSrcFile, CONST D3DXMACRO* pDefines,
                                         LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXEFFECTPOOL pPool,
                                         LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppCompilationErrors)
{
    return D3DXCreateEffectFromFileExW(pDevice, pSrcFile, pDefines, pInclude, nullptr, Flags, pPool, ppEffect,
                                       ppCompilationErrors);
}

HRESULT WINAPI D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, CONST D3DXMACRO* pDefines,
                                         LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXEFFECTPOOL pPool,
                                         LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppCompilationErrors)
{
    return D3DXCreateEffectFromFileExA(pDevice, pSrcFile, pDefines, pInclude, nullptr, Flags, pPool, ppEffect,
                                       ppCompilationErrors);
}

} // extern "C"
