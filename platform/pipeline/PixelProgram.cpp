#include "pipeline/PixelProgram.h"

#include "pipeline/DepthTest.h"
#include "pipeline/PixelProcessor.h"
#include "pipeline/ProgramTextures.h"
#include "pipeline/Rasterizer.h"

#include "pipeline/PixelBuffer.h"
#include "shader/ShaderExecution.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace swd3d9 {
namespace pipeline {

namespace {

using shader::MAX_LANES;

static_assert(4 * QUADS_PER_RUN <= MAX_LANES, "a run's quads fit the program's lanes");

// The lanes of one run and the thread's execution context: per thread,
// since tiles are shaded in parallel, and reused from run to run so that
// shading allocates nothing once the context has grown.
struct PixelLanes {
    shader::ExecutionContext context;
    alignas(64) float x[MAX_LANES];
    alignas(64) float y[MAX_LANES];
    alignas(64) float invW[MAX_LANES];
    alignas(64) float face[MAX_LANES];
    alignas(64) float varyings[MAX_VARYINGS][MAX_LANES];
    alignas(64) float outputs[4 * MAX_PROGRAM_VARIABLES][MAX_LANES];
};

PixelLanes& threadLanes()
{
    thread_local PixelLanes lanes;
    return lanes;
}

// Whether samples hidden behind the stored depth can be dropped before
// shading, by the routine's early test: nothing but the depth test decides
// about them (a failed test then stores nothing), and the test only grows
// stricter while the quads of the run wait (the stored depth moves only
// towards the reference side).
bool earlyDepthTest(const PixelContext& pixels)
{
    const PixelKey& key = pixels.key;
    const PixelProgramSetup& program = pixels.program;
    if (!key.zEnable || key.stencil || key.alphaTest || program.discards || program.depthOutput >= 0 ||
        !pixels.routine.earlyTest)
        return false;
    return key.zFunc == D3DCMP_LESS || key.zFunc == D3DCMP_LESSEQUAL || key.zFunc == D3DCMP_GREATER ||
           key.zFunc == D3DCMP_GREATEREQUAL || key.zFunc == D3DCMP_NEVER;
}

// Runs the program over the lanes (quads) whose position, 1/w, face and
// varyings are filled in; returns the discarded lanes.
uint64_t runProgram(const PixelContext& pixels, PixelLanes& lanes, int laneCount)
{
    const PixelProgramSetup& program = pixels.program;
    const float* inputs[4 * MAX_PROGRAM_VARIABLES] = {};
    for (int i = 0; i < program.inputCount; ++i) {
        const float** in = inputs + 4 * i;
        switch (program.inputSource[i]) {
        case PIXEL_INPUT_VARYING:
            for (int c = 0; c < program.inputComponents[i]; ++c)
                in[c] = lanes.varyings[program.inputVarying[i] + c];
            break;
        case PIXEL_INPUT_POSITION:
            in[0] = lanes.x;
            in[1] = lanes.y;
            break;
        case PIXEL_INPUT_FACE:
            in[0] = lanes.face;
            break;
        default:
            break;
        }
    }
    float* outputs[4 * MAX_PROGRAM_VARIABLES];
    for (int i = 0; i < 4 * program.outputCount; ++i)
        outputs[i] = lanes.outputs[i];
    const SamplerSetup* samplers[PIXEL_SAMPLERS];
    for (int i = 0; i < program.samplerCount; ++i)
        samplers[i] = &pixels.samplers[program.samplerRegister[i]];
    const SamplerTextures textures(samplers, program.samplerCount);
    shader::ShaderBatch batch;
    batch.lanes = laneCount;
    batch.inputs = inputs;
    batch.outputs = outputs;
    batch.constants = &program.constants[0][0];
    batch.textures = &textures;
    return shader::runProgram(*program.executable, lanes.context, batch);
}

// The shaded colour of a lane, fog blended in.
void laneColor(const PixelContext& pixels, const PixelLanes& lanes, int lane, float z, float color[4])
{
    const PixelProgramSetup& program = pixels.program;
    if (program.colorOutput >= 0) {
        for (int c = 0; c < 4; ++c)
            color[c] = lanes.outputs[4 * program.colorOutput + c][lane];
    } else {
        color[0] = color[1] = color[2] = color[3] = 0.0f;
    }
    if (pixels.key.fogEnable)
        applyFog(pixels, z, lanes.invW[lane], lanes.varyings[VARYING_FOG][lane], color);
}

float saturate(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

uint32_t toUnorm8(float v) { return static_cast<uint32_t>(saturate(v) * 255.0f + 0.5f); }

// The back end's plain case (PixelProgramSetup::plainStore) for one pixel:
// the depth test and write, then the colour, as the routine's store does
// them.
void storePlain(const PixelContext& pixels, int x, int y, float z, const float color[4])
{
    const PixelKey& key = pixels.key;
    const TargetView& target = pixels.target;
    if (key.zEnable) {
        uint8_t* at = target.depth->pixel(static_cast<UINT>(x), static_cast<UINT>(y));
        uint32_t word;
        std::memcpy(&word, at, 4);
        const uint32_t bits = depthBits24(z);
        if (!compareFunction(key.zFunc, bits, word >> 8))
            return;
        if (key.zWrite) {
            word = (bits << 8) | (word & 0xFF);
            std::memcpy(at, &word, 4);
        }
    }
    uint32_t c = (toUnorm8(color[3]) << 24) | (toUnorm8(color[0]) << 16) | (toUnorm8(color[1]) << 8) |
                 toUnorm8(color[2]);
    if (target.colorFormat == D3DFMT_X8R8G8B8)
        c |= 0xFF000000u;
    std::memcpy(target.color->pixel(static_cast<UINT>(x), static_cast<UINT>(y)), &c, 4);
}

} // namespace

void addProgramTriangle(ProgramQuads& quads, const PixelContext& pixels, const Triangle& t, const Plane* planes,
                        int x0, int y0, int x1, int y1, const int sampleOffsets[16][2])
{
    if (quads.count && quads.pixels != &pixels)
        shadeProgramQuads(quads);
    quads.pixels = &pixels;
    quads.sampleOffsets = sampleOffsets;
    const UINT samples = std::min<UINT>(std::max<UINT>(pixels.target.samples, 1), 16);
    const EarlyTestRoutine hidden = earlyDepthTest(pixels) ? pixels.routine.earlyTest : nullptr;
    const Plane& zPlane = planes[0];
    for (int qy = y0 & ~1; qy <= y1; qy += 2) {
        // The covered span of each row of the quad row and each sample.
        int64_t lo[2][16], hi[2][16];
        int64_t first = INT64_MAX, last = INT64_MIN;
        for (int r = 0; r < 2; ++r) {
            const int y = qy + r;
            for (UINT s = 0; s < samples; ++s) {
                if (y < y0 || y > y1 ||
                    !coveredSpan(t, y, x0, x1, sampleOffsets[s][0], sampleOffsets[s][1], lo[r][s], hi[r][s])) {
                    lo[r][s] = INT64_MAX;
                    hi[r][s] = INT64_MIN;
                    continue;
                }
                first = std::min(first, lo[r][s]);
                last = std::max(last, hi[r][s]);
            }
        }
        if (first > last)
            continue;
        for (int qx = static_cast<int>(first) & ~1; qx <= last; qx += 2) {
            ProgramQuads::Quad& quad = quads.quads[quads.count];
            uint16_t any = 0;
            for (int p = 0; p < 4; ++p) {
                const int x = qx + (p & 1), y = qy + (p >> 1);
                const int r = p >> 1;
                uint16_t mask = 0;
                for (UINT s = 0; s < samples; ++s) {
                    if (x < lo[r][s] || x > hi[r][s])
                        continue;
                    if (hidden) {
                        const float z = zPlane.at(x + sampleOffsets[s][0] / float(SUBPIXEL_ONE),
                                                  y + sampleOffsets[s][1] / float(SUBPIXEL_ONE)) +
                                        t.depthOffset;
                        if (hidden(pixels, x, y, s, z, t.frontFace))
                            continue;
                    }
                    mask = static_cast<uint16_t>(mask | (1u << s));
                }
                quad.coverage[p] = mask;
                any = static_cast<uint16_t>(any | mask);
            }
            if (!any)
                continue;
            quad.triangle = &t;
            quad.planes = planes;
            quad.x = qx;
            quad.y = qy;
            if (++quads.count == QUADS_PER_RUN)
                shadeProgramQuads(quads);
        }
    }
}

void shadeProgramQuads(ProgramQuads& quads)
{
    const PixelContext& pixels = *quads.pixels;
    const PixelProgramSetup& program = pixels.program;
    PixelLanes& lanes = threadLanes();
    const int count = quads.count;
    quads.count = 0;

    // Every lane of a quad at its pixel centre, perspective-correct: each
    // plane evaluated as Plane::at does, four lanes at a time.
    for (int q = 0; q < count; ++q) {
        const ProgramQuads::Quad& quad = quads.quads[q];
        const Plane& qPlane = quad.planes[1];
        const Plane* varyingPlanes = quad.planes + 2; // in the order of program.interpolated
        const float face = quad.triangle->frontFace ? 1.0f : -1.0f;
        const float x0 = static_cast<float>(quad.x), y0 = static_cast<float>(quad.y);
        float* xs = lanes.x + 4 * q;
        float* ys = lanes.y + 4 * q;
        float* invW = lanes.invW + 4 * q;
#if defined(__SSE2__)
        const __m128 x = _mm_setr_ps(x0, x0 + 1.0f, x0, x0 + 1.0f);
        const __m128 y = _mm_setr_ps(y0, y0, y0 + 1.0f, y0 + 1.0f);
        auto at = [&](const Plane& p) {
            return _mm_add_ps(_mm_add_ps(_mm_set1_ps(p.base), _mm_mul_ps(_mm_set1_ps(p.dx), x)),
                              _mm_mul_ps(_mm_set1_ps(p.dy), y));
        };
        _mm_storeu_ps(xs, x);
        _mm_storeu_ps(ys, y);
        _mm_storeu_ps(lanes.face + 4 * q, _mm_set1_ps(face));
        const __m128 qv = at(qPlane);
        _mm_storeu_ps(invW, qv);
        const __m128 w = _mm_div_ps(_mm_set1_ps(1.0f), qv);
        for (int k = 0; k < program.interpolatedCount; ++k) {
            const int v = program.interpolated[k];
            _mm_storeu_ps(lanes.varyings[v] + 4 * q, _mm_mul_ps(at(varyingPlanes[k]), w));
        }
#else
        float w[4];
        for (int p = 0; p < 4; ++p) {
            xs[p] = x0 + static_cast<float>(p & 1);
            ys[p] = y0 + static_cast<float>(p >> 1);
            lanes.face[4 * q + p] = face;
            invW[p] = qPlane.at(xs[p], ys[p]);
            w[p] = 1.0f / invW[p];
        }
        for (int k = 0; k < program.interpolatedCount; ++k) {
            const int v = program.interpolated[k];
            float* column = lanes.varyings[v] + 4 * q;
            for (int p = 0; p < 4; ++p)
                column[p] = varyingPlanes[k].at(xs[p], ys[p]) * w[p];
        }
#endif
    }
    const uint64_t discarded = runProgram(pixels, lanes, 4 * count);

    // The back end for every covered sample of the lanes kept, quad by
    // quad in primitive order.
    const UINT samples = std::min<UINT>(std::max<UINT>(pixels.target.samples, 1), 16);
    for (int q = 0; q < count; ++q) {
        const ProgramQuads::Quad& quad = quads.quads[q];
        const Plane& zPlane = quad.planes[0];
        const Triangle& t = *quad.triangle;
        for (int p = 0; p < 4; ++p) {
            const int lane = 4 * q + p;
            const uint16_t mask = quad.coverage[p];
            if (!mask || (discarded >> lane & 1u))
                continue;
            const int x = quad.x + (p & 1), y = quad.y + (p >> 1);
            const float centreZ = program.depthOutput >= 0 ? lanes.outputs[4 * program.depthOutput][lane]
                                                           : zPlane.at(static_cast<float>(x), static_cast<float>(y)) +
                                                                 t.depthOffset;
            float color[4];
            laneColor(pixels, lanes, lane, centreZ, color);
            if (program.plainStore) {
                storePlain(pixels, x, y, centreZ, color);
                continue;
            }
            for (UINT s = 0; s < samples; ++s) {
                if (!(mask >> s & 1u))
                    continue;
                float z = centreZ;
                if (samples > 1 && program.depthOutput < 0)
                    z = zPlane.at(x + quads.sampleOffsets[s][0] / float(SUBPIXEL_ONE),
                                  y + quads.sampleOffsets[s][1] / float(SUBPIXEL_ONE)) +
                        t.depthOffset;
                pixels.routine.store(pixels, x, y, s, z, t.frontFace, color);
            }
        }
    }
}

void shadeProgramPixel(const PixelContext& pixels, int x, int y, UINT sample, const PixelInputs& in)
{
    const PixelProgramSetup& program = pixels.program;
    PixelLanes& lanes = threadLanes();
    for (int lane = 0; lane < 4; ++lane) {
        lanes.x[lane] = static_cast<float>(x);
        lanes.y[lane] = static_cast<float>(y);
        lanes.face[lane] = in.frontFace ? 1.0f : -1.0f;
        lanes.invW[lane] = in.invW;
        for (int k = 0; k < program.interpolatedCount; ++k) {
            const int v = program.interpolated[k];
            lanes.varyings[v][lane] = v < pixels.varyingCount ? in.varyings[v] : 0.0f;
        }
    }
    if (runProgram(pixels, lanes, 4) & 1u)
        return;
    const float z = program.depthOutput >= 0 ? lanes.outputs[4 * program.depthOutput][0] : in.z;
    float color[4];
    laneColor(pixels, lanes, 0, z, color);
    pixels.routine.store(pixels, x, y, sample, z, in.frontFace, color);
}

} // namespace pipeline
} // namespace swd3d9
