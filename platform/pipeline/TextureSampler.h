#pragma once

// Texture sampling for the fixed-function texture stages, and for programs
// through ProgramTextures.h.
//
// Once per draw, setupSampler turns a sampler's states and its bound
// texture into a SamplerSetup: plain numbers, level pointers and a routine
// picked for the texture kind. Per pixel, sample() reads the setup only; it
// never allocates and never calls through a virtual table.
//
// Coordinates are normalised (0..1 spans the texture); texel centres lie at
// half-integers of the texel grid, as Direct3D 9 defines. Level selection
// uses the screen-space derivatives of the coordinates, which the
// rasteriser takes from its 2x2 quads (sampleQuad does this itself).
// Cube textures take a direction in (u, v, w); volume textures use all
// three coordinates; 2D textures ignore w.
//
// Cube faces are filtered one at a time, clamped at their edges. A sampler
// without a texture (or with a format it cannot decode) reads opaque black.

#include "pipeline/Limits.h"

#include <cstddef>
#include <cstdint>

namespace swd3d9 {

constexpr int SAMPLER_MAX_LEVELS = 16;
constexpr int SAMPLER_MAX_FACES = 6;

// Screen-space derivatives of the texture coordinates: d?dx along a row,
// d?dy down a column, in normalised units per pixel.
struct TexCoordDerivatives {
    float dudx, dudy;
    float dvdx, dvdy;
    float dwdx, dwdy;
};

struct SamplerLevel {
    const uint8_t* data;
    int width, height, depth;
    size_t pitch, slicePitch;
    // width, height, depth as floats, for the coordinate scaling.
    float fwidth, fheight, fdepth;
};

struct SamplerSetup;

using SampleRoutine = void (*)(const SamplerSetup& setup, float u, float v, float w, const TexCoordDerivatives& d,
                               float rgba[4]);
// Decodes one texel of the texture's format to RGBA floats.
using TexelDecoder = void (*)(const uint8_t* texel, float rgba[4]);

struct SamplerSetup {
    SampleRoutine routine;
    TexelDecoder decode;
    bool bound;
    D3DRESOURCETYPE kind;
    D3DFORMAT format;
    int bytesPerTexel;
    // D3DTEXTUREADDRESS values for u, v, w.
    uint8_t address[3];
    // D3DTEXTUREFILTERTYPE values (anisotropic magnification reads as linear).
    uint8_t magFilter, minFilter, mipFilter;
    int maxAnisotropy;
    float lodBias;
    // The most detailed level sampled (MAXMIPLEVEL, the texture's LOD) and
    // the least detailed one held.
    int firstLevel, lastLevel;
    float borderColor[4];
    // The routine is the single-level bilinear A8R8G8B8 one, wrapping or
    // clamping both ways: a fixed-point span loop may stand in for it.
    uint8_t bilinearArgb; // 0: no, 1: wrap, 2: clamp
    // Levels by face (one face except for cube textures).
    SamplerLevel levels[SAMPLER_MAX_FACES][SAMPLER_MAX_LEVELS];
};

// One level of a texture (of one face) as its owner stores it.
struct TextureLevelView {
    const uint8_t* data;
    UINT width, height, depth;
    size_t pitch, slicePitch;
};

// A texture as a sampler reads it.
struct SampledTexture {
    D3DRESOURCETYPE kind;
    D3DFORMAT format;
    // The most detailed level the texture lets samplers read (SetLOD).
    DWORD lod;
    // The levels held (1 to SAMPLER_MAX_LEVELS), by face: one face except
    // for cube textures.
    int levelCount;
    TextureLevelView levels[SAMPLER_MAX_FACES][SAMPLER_MAX_LEVELS];
};

// Whether the sampler reads textures of the format; others read as if
// unbound.
bool samplerDecodes(D3DFORMAT format);

// Builds the setup of one sampler from its states (indexed by D3DSAMP_*)
// and its texture (null: unbound, or storage that cannot be read).
void setupSampler(SamplerSetup& setup, const DWORD samplerStates[SAMPLER_STATE_COUNT], const SampledTexture* texture);

// Samples at (u, v, w) with the given derivatives into rgba.
inline void sample(const SamplerSetup& setup, float u, float v, float w, const TexCoordDerivatives& d,
                   float rgba[4])
{
    setup.routine(setup, u, v, w, d, rgba);
}

// Samples at an explicit level of detail (the sampler's bias added), for
// programs that give the level themselves and for vertex programs, which
// have no derivatives.
void sampleAtLevel(const SamplerSetup& setup, float u, float v, float w, float lod, float rgba[4]);

// The single-level bilinear A8R8G8B8 routine (setup.bilinearArgb non-zero)
// for lanes 0..count-1 of u and v at once, into rgba[channel][lane]: the
// same values the routine gives lane by lane.
void sampleBilinearArgbLanes(const SamplerSetup& setup, const float* u, const float* v, int count,
                             float* const rgba[4]);

// Samples the four pixels of a 2x2 quad, in the order (x, y), (x+1, y),
// (x, y+1), (x+1, y+1), taking the derivatives from the quad's differences.
// Pixels outside the primitive still need coordinates (extrapolated), as
// their neighbours' derivatives depend on them.
void sampleQuad(const SamplerSetup& setup, const float u[4], const float v[4], const float w[4], float rgba[4][4]);

// The level of detail (log2 of texels per pixel, before bias) of a 2D or
// volume texture's top level for given derivatives; exposed for tests and
// for the rasteriser's own diagnostics.
float computeLod(const SamplerSetup& setup, const TexCoordDerivatives& d);

// Cube face selection: the D3DCUBEMAP_FACES face a direction points at and
// the face coordinates (0..1) it hits.
int selectCubeFace(float x, float y, float z, float& s, float& t);

} // namespace swd3d9
