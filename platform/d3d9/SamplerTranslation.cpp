#include "d3d9/SamplerTranslation.h"

#include "d3d9/Resources.h"

#include <algorithm>

namespace swd3d9 {

void prepareSampler(SamplerSetup& setup, const DWORD samplerStates[SAMPLER_STATE_COUNT], TextureCore* texture)
{
    if (!texture || !samplerDecodes(texture->format()) || texture->storedLevelCount() == 0) {
        setupSampler(setup, samplerStates, nullptr);
        return;
    }
    texture->prepareForSampling();

    SampledTexture sampled;
    sampled.kind = texture->kind();
    sampled.format = texture->format();
    sampled.lod = texture->lod();
    sampled.levelCount = static_cast<int>(std::min<UINT>(texture->storedLevelCount(), SAMPLER_MAX_LEVELS));
    const int faces = sampled.kind == D3DRTYPE_CUBETEXTURE ? SAMPLER_MAX_FACES : 1;
    for (int face = 0; face < faces; ++face) {
        for (int level = 0; level < sampled.levelCount; ++level) {
            const PixelBuffer* pixels = nullptr;
            if (sampled.kind == D3DRTYPE_VOLUMETEXTURE) {
                if (texture->volume(static_cast<UINT>(level)))
                    pixels = &texture->sampledPixels(0, static_cast<UINT>(level));
            } else if (texture->surface(static_cast<UINT>(face), static_cast<UINT>(level))) {
                pixels = &texture->sampledPixels(static_cast<UINT>(face), static_cast<UINT>(level));
            }
            if (!pixels || pixels->empty()) {
                // Storage that is missing cannot be sampled; read as unbound.
                setupSampler(setup, samplerStates, nullptr);
                return;
            }
            sampled.levels[face][level] = {pixels->data(), pixels->width(), pixels->height(), pixels->depth(),
                                           pixels->pitch(), pixels->slicePitch()};
        }
    }
    setupSampler(setup, samplerStates, &sampled);
}

} // namespace swd3d9
