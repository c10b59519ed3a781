#pragma once

// Device shader objects for compiled programs: what CreateVertexShader and
// CreatePixelShader make from shader bytecode on Windows, made here from a
// program the HLSL compiler produced. The device binds them with
// SetVertexShader / SetPixelShader and the pipeline reads their program
// and the sampler registers its samplers read.

#include "d3d9/Objects.h"
#include "shader/ShaderProgram.h"

#include <memory>
#include <utility>
#include <vector>

namespace swd3d9 {

class Device;

// What vertex and pixel shader objects share. The device's bindings and
// state blocks hold internal references; while the application holds one,
// the shader holds a reference to its device, as Direct3D 9 does.
class Shader : public Lifetime
{
public:
    Device* device() const { return m_device; }
    const std::shared_ptr<const shader::Program>& program() const { return m_program; }
    // samplerRegisters()[i]: the device sampler (0-15, D3DVERTEXTEXTURESAMPLER0-3)
    // that the program's sampler i reads.
    const std::vector<DWORD>& samplerRegisters() const { return m_samplerRegisters; }

protected:
    Shader(Device* device, std::shared_ptr<const shader::Program> program, std::vector<DWORD> samplerRegisters);
    ~Shader() override = default;
    void onPublicRefsStarted() override;
    void onPublicRefsEnded() override;
    HRESULT getDevice(IDirect3DDevice9** device) const;
    // There is no bytecode behind a compiled program: the size reported is
    // 0, and asking for the bytes themselves is refused.
    static HRESULT getFunction(void* data, UINT* size);

private:
    Device* m_device;
    std::shared_ptr<const shader::Program> m_program;
    std::vector<DWORD> m_samplerRegisters;
};

// A stage's shader object. IDirect3DVertexShader9 and IDirect3DPixelShader9
// have the same methods, answered alike; `interfaceId` is the stage
// interface's identifier, which QueryInterface answers besides IUnknown.
template <class Interface, const GUID& interfaceId>
class StageShader final : public Interface, public Shader
{
public:
    StageShader(Device* device, std::shared_ptr<const shader::Program> program, std::vector<DWORD> samplerRegisters)
        : Shader(device, std::move(program), std::move(samplerRegisters))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override
    {
        return answerQuery<Interface>(this, riid, ppvObject, {&IID_IUnknown, &interfaceId});
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addPublicRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return releasePublicRef(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** ppDevice) override { return getDevice(ppDevice); }
    HRESULT STDMETHODCALLTYPE GetFunction(void* pData, UINT* pSizeOfData) override
    {
        return getFunction(pData, pSizeOfData);
    }

private:
    ~StageShader() override = default;
};

using VertexShader = StageShader<IDirect3DVertexShader9, IID_IDirect3DVertexShader9>;
using PixelShader = StageShader<IDirect3DPixelShader9, IID_IDirect3DPixelShader9>;

// The objects of this platform behind the interfaces, or null.
VertexShader* toVertexShader(IDirect3DVertexShader9* shader);
PixelShader* toPixelShader(IDirect3DPixelShader9* shader);

// Shader objects of `device` for a compiled program of the matching stage.
// samplerRegisters[i] is the device sampler register that the program's
// samplers[i] reads: 0-15 for pixel shaders, D3DVERTEXTEXTURESAMPLER0-3
// for vertex shaders. D3DERR_INVALIDCALL for a missing device, program or
// output pointer, a program of the other stage, or registers that do not
// match the program's samplers; E_OUTOFMEMORY when memory runs out.
HRESULT createVertexShader(IDirect3DDevice9* device, std::shared_ptr<const shader::Program> program,
                           const std::vector<DWORD>& samplerRegisters, IDirect3DVertexShader9** shader);
HRESULT createPixelShader(IDirect3DDevice9* device, std::shared_ptr<const shader::Program> program,
                          const std::vector<DWORD>& samplerRegisters, IDirect3DPixelShader9** shader);

} // namespace swd3d9
