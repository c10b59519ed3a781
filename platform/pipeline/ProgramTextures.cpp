#include "pipeline/ProgramTextures.h"

#include <cmath>

namespace swd3d9 {
namespace pipeline {

using shader::SampleKind;
using shader::SampleRequest;
using shader::SamplerDimension;

void SamplerTextures::sample(const SampleRequest& request, float* const rgba[4]) const
{
    // A sampler the program has but the device does not bind reads as an
    // empty sampler does.
    static const SamplerSetup* const unbound = [] {
        static SamplerSetup setup{};
        setupSampler(setup, nullptr, nullptr);
        return &setup;
    }();
    const SamplerSetup& setup =
        request.sampler < static_cast<uint32_t>(count_) && samplers_[request.sampler] ? *samplers_[request.sampler]
                                                                                    : *unbound;
    const int components = request.components;
    const bool hasDerivatives = request.kind != SampleKind::ExplicitLevel && request.ddx[0] != nullptr;
    // A single bilinear level reads the same texels whatever the footprint:
    // every lane at once, without the derivatives.
    if (hasDerivatives && setup.bilinearArgb && components >= 2 && request.dimension == SamplerDimension::Texture2D) {
        sampleBilinearArgbLanes(setup, request.coordinates[0], request.coordinates[1], request.lanes, rgba);
        return;
    }
    for (int lane = 0; lane < request.lanes; ++lane) {
        if (!(request.active >> lane & 1u))
            continue;
        float c[3] = {0.0f, 0.0f, 0.0f};
        for (int k = 0; k < components && k < 3; ++k)
            c[k] = request.coordinates[k][lane];
        float out[4];
        if (hasDerivatives) {
            float dx[3] = {0.0f, 0.0f, 0.0f}, dy[3] = {0.0f, 0.0f, 0.0f};
            for (int k = 0; k < components && k < 3; ++k) {
                dx[k] = request.ddx[k][lane];
                dy[k] = request.ddy[k][lane];
            }
            // A bias scales the footprint: the level moves by the bias,
            // anisotropy stays as it was.
            if (request.kind == SampleKind::Bias && request.level) {
                const float scale = std::exp2(request.level[lane]);
                for (int k = 0; k < 3; ++k) {
                    dx[k] *= scale;
                    dy[k] *= scale;
                }
            }
            const TexCoordDerivatives d{dx[0], dy[0], dx[1], dy[1], dx[2], dy[2]};
            swd3d9::sample(setup, c[0], c[1], c[2], d, out);
        } else {
            // Vertex programs sample the top level unless they name one.
            const float lod = request.kind == SampleKind::ExplicitLevel && request.level ? request.level[lane] : 0.0f;
            sampleAtLevel(setup, c[0], c[1], c[2], lod, out);
        }
        rgba[0][lane] = out[0];
        rgba[1][lane] = out[1];
        rgba[2][lane] = out[2];
        rgba[3][lane] = out[3];
    }
}

} // namespace pipeline
} // namespace swd3d9
