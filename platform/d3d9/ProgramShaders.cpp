#include "d3d9/ProgramShaders.h"

#include "d3d9/Device.h"

#include <exception>
#include <new>

namespace swd3d9 {

Shader::Shader(Device* device, std::shared_ptr<const shader::Program> program, std::vector<DWORD> samplerRegisters)
    : Lifetime(1), m_device(device), m_program(std::move(program)), m_samplerRegisters(std::move(samplerRegisters))
{
    m_device->AddRef();
}

void Shader::onPublicRefsStarted() { m_device->AddRef(); }
void Shader::onPublicRefsEnded() { m_device->Release(); }

HRESULT Shader::getDevice(IDirect3DDevice9** device) const
{
    if (!device)
        return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *device = m_device;
    return D3D_OK;
}

HRESULT Shader::getFunction(void* data, UINT* size)
{
    if (!size)
        return D3DERR_INVALIDCALL;
    *size = 0;
    return data ? D3DERR_INVALIDCALL : D3D_OK;
}

VertexShader* toVertexShader(IDirect3DVertexShader9* shader)
{
    return shader ? dynamic_cast<VertexShader*>(shader) : nullptr;
}

PixelShader* toPixelShader(IDirect3DPixelShader9* shader)
{
    return shader ? dynamic_cast<PixelShader*>(shader) : nullptr;
}

namespace {

bool isVertexSamplerRegister(DWORD sampler)
{
    return sampler >= D3DVERTEXTEXTURESAMPLER0 && sampler <= D3DVERTEXTEXTURESAMPLER3;
}

bool isPixelSamplerRegister(DWORD sampler) { return sampler < 16; }

// The checks both stages share; `fits` says whether a register belongs to
// the stage.
template <class Object, class Interface>
HRESULT createShader(IDirect3DDevice9* device, std::shared_ptr<const shader::Program> program,
                     const std::vector<DWORD>& samplerRegisters, shader::ShaderStage stage,
                     bool (*fits)(DWORD), Interface** created)
{
    if (!created)
        return D3DERR_INVALIDCALL;
    *created = nullptr;
    Device* owner = toDevice(device);
    if (!owner || !program || program->info().stage != stage ||
        samplerRegisters.size() != program->info().samplers.size())
        return D3DERR_INVALIDCALL;
    for (DWORD sampler : samplerRegisters) {
        if (!fits(sampler))
            return D3DERR_INVALIDCALL;
    }
    std::vector<DWORD> registers;
    try {
        registers = samplerRegisters;
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    Object* object = new (std::nothrow) Object(owner, std::move(program), std::move(registers));
    if (!object)
        return E_OUTOFMEMORY;
    *created = object;
    return D3D_OK;
}

} // namespace

HRESULT createVertexShader(IDirect3DDevice9* device, std::shared_ptr<const shader::Program> program,
                           const std::vector<DWORD>& samplerRegisters, IDirect3DVertexShader9** shader)
{
    return createShader<VertexShader>(device, std::move(program), samplerRegisters, shader::ShaderStage::Vertex,
                                      isVertexSamplerRegister, shader);
}

HRESULT createPixelShader(IDirect3DDevice9* device, std::shared_ptr<const shader::Program> program,
                          const std::vector<DWORD>& samplerRegisters, IDirect3DPixelShader9** shader)
{
    return createShader<PixelShader>(device, std::move(program), samplerRegisters, shader::ShaderStage::Pixel,
                                     isPixelSamplerRegister, shader);
}

} // namespace swd3d9
