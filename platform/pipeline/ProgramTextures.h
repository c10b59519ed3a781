#pragma once

// Texture sampling for programs: the executor's requests answered by the
// device's samplers (their states and textures as prepared for the draw),
// lane by lane, with the level chosen from the request's derivatives, its
// bias or its explicit level.

#include "pipeline/TextureSampler.h"
#include "shader/ShaderExecution.h"

namespace swd3d9 {
namespace pipeline {

class SamplerTextures final : public shader::TextureAccess {
public:
    // samplers[i] answers the program's sampler i (count of them).
    SamplerTextures(const SamplerSetup* const* samplers, int count) : samplers_(samplers), count_(count) {}

    void sample(const shader::SampleRequest& request, float* const rgba[4]) const override;

private:
    const SamplerSetup* const* samplers_;
    int count_;
};

} // namespace pipeline
} // namespace swd3d9
