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

#include "EffectFuzzChecks.h"

#include <d3dx9.h>
#include <swd3d9.h>

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace swd3d9::effect;
    using fuzzdevice::require;
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
    // One device for the whole run; each input's Begin/End restores what
    // its passes change.
    static IDirect3DDevice9* const target = fuzzdevice::createDevice();
    const UINT liveBefore = SwD3D9GetLiveObjectCount();
    {
        Effect* effect = nullptr;
        if (FAILED(Effect::create(target, description, {}, 0, {}, &effect)))
            return 0;
        D3DXEFFECT_DESC desc;
        require(effect->GetDesc(&desc) == D3D_OK);
        effectfuzz::readParameters(effect, desc);
        effectfuzz::runTechniques(effect, desc, [] {});
        require(effect->Release() == 0);
    }
    require(SwD3D9GetLiveObjectCount() == liveBefore);
    return 0;
}
