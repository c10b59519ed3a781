#include "pipeline/Rasterizer.h"

#include "pipeline/BilinearSpan.h"
#include "pipeline/DepthStencilSpan.h"
#include "pipeline/DepthTest.h"
#include "pipeline/PlainColorSpan.h"
#include "pipeline/TexturedSpan.h"

#include "pipeline/PixelBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace swd3d9 {
namespace pipeline {

namespace {

void rasterizeTriangle(const PixelContext& pixels, const Triangle& t, const Plane* planes, int x0, int y0, int x1,
                       int y1, UINT sample, int offsetX, int offsetY)
{
    const int varyingCount = pixels.varyingCount;
    const Plane& zPlane = planes[0];
    const Plane& qPlane = planes[1];
    const Plane* varyingPlanes = planes + 2;
    const bool textured = pixels.key.needsDerivatives;
    const PixelRoutine shadeSample = pixels.routine.run;
    const EarlyTestRoutine failsEarly = pixels.routine.earlyTest;
    // The span loops read every varying; a sample only those its routine does.
    const int interpolated = pixels.key.texturedSpan ? varyingCount : pixels.routine.varyingsRead;
    float varyings[MAX_VARYINGS];
    float base[MAX_VARYINGS];
    float derivativesX[4 * MAX_STAGES];
    float derivativesY[4 * MAX_STAGES];
    PixelInputs in;
    in.varyings = varyings;
    in.derivativesX = textured ? derivativesX : nullptr;
    in.derivativesY = textured ? derivativesY : nullptr;
    in.frontFace = t.frontFace;
    const float sampleDx = offsetX / float(SUBPIXEL_ONE);
    const float sampleDy = offsetY / float(SUBPIXEL_ONE);
    PlainTriangle plain;
    if (pixels.key.plainColorSpan)
        preparePlainTriangle(pixels, planes, t.depthOffset, plain);
    for (int y = y0; y <= y1; ++y) {
        int64_t lo, hi;
        if (!coveredSpan(t, y, x0, x1, offsetX, offsetY, lo, hi))
            continue;
        const float fy = static_cast<float>(y) + sampleDy;
        float fx = static_cast<float>(lo) + sampleDx;
        if (pixels.key.depthStencilSpan) {
            depthStencilSpan(pixels, lo, hi, y, zPlane.at(fx, fy) + t.depthOffset, zPlane.dx, t.frontFace);
            continue;
        }
        if (pixels.key.plainColorSpan) {
            plainColorSpan(plain, lo, hi, y, fx, fy);
            continue;
        }
        float q = qPlane.at(fx, fy);
        float z = zPlane.at(fx, fy) + t.depthOffset;
        for (int i = 0; i < interpolated; ++i)
            base[i] = varyingPlanes[i].at(fx, fy);
        if (pixels.key.texturedSpan) {
#if defined(__SSE2__)
            if (pixels.samplers[0].bilinearArgb) {
                bilinearTexturedSpan(pixels, varyingPlanes, qPlane, lo, hi, y, q, z, zPlane.dx, base);
                continue;
            }
#endif
            texturedSpan(pixels, varyingPlanes, qPlane, lo, hi, y, q, z, zPlane.dx, base);
            continue;
        }
        for (int64_t x = lo; x <= hi; ++x) {
            if (x != lo) {
                q += qPlane.dx;
                z += zPlane.dx;
                for (int i = 0; i < interpolated; ++i)
                    base[i] += varyingPlanes[i].dx;
            }
            if (failsEarly && failsEarly(pixels, static_cast<int>(x), y, sample, z, t.frontFace))
                continue;
            const float w = 1.0f / q;
            in.z = z;
            in.invW = q;
            for (int i = 0; i < interpolated; ++i)
                varyings[i] = base[i] * w;
            if (textured) {
                // d(a/q)/dx = (d(a q)/dx - a dq/dx) / q, exact for the
                // perspective-correct attribute.
                for (int i = VARYING_TEXCOORD; i < varyingCount; ++i) {
                    const int k = i - VARYING_TEXCOORD;
                    derivativesX[k] = (varyingPlanes[i].dx - varyings[i] * qPlane.dx) * w;
                    derivativesY[k] = (varyingPlanes[i].dy - varyings[i] * qPlane.dy) * w;
                }
            }
            shadeSample(pixels, static_cast<int>(x), y, sample, in);
        }
    }
}

void shadeLinePixel(const PixelContext& pixels, const LineSegment& s, const float* ends, float t, int x, int y,
                    UINT sample)
{
    t = std::min(1.0f, std::max(0.0f, t));
    const float z = s.z[0] + (s.z[1] - s.z[0]) * t;
    // A program reads every varying, and may discard or move the depth.
    const bool programmed = pixels.program.executable != nullptr;
    const EarlyTestRoutine failsEarly = pixels.routine.earlyTest;
    if (!programmed && failsEarly && failsEarly(pixels, x, y, sample, z, true))
        return;
    const int varyingCount = programmed ? pixels.varyingCount : pixels.routine.varyingsRead;
    const float q = s.invW[0] + (s.invW[1] - s.invW[0]) * t;
    const float w = q != 0.0f ? 1.0f / q : 0.0f;
    float varyings[MAX_VARYINGS];
    const float* a = ends;
    const float* b = ends + pixels.varyingCount;
    for (int i = 0; i < varyingCount; ++i)
        varyings[i] = (a[i] * s.invW[0] + (b[i] * s.invW[1] - a[i] * s.invW[0]) * t) * w;
    PixelInputs in;
    in.z = z;
    in.invW = q;
    in.varyings = varyings;
    in.derivativesX = nullptr;
    in.derivativesY = nullptr;
    in.frontFace = true;
    if (programmed)
        shadeProgramPixel(pixels, x, y, sample, in);
    else
        pixels.routine.run(pixels, x, y, sample, in);
}

void rasterizeLine(const PixelContext& pixels, const LineSegment& s, const float* ends, int x0, int y0, int x1,
                   int y1, UINT sample)
{
    if (s.point) {
        // A one-pixel point covers the pixel whose centre is nearest, ties
        // going up and left.
        const int x = static_cast<int>(std::ceil(s.x[0] - 0.5f));
        const int y = static_cast<int>(std::ceil(s.y[0] - 0.5f));
        if (x >= x0 && x <= x1 && y >= y0 && y <= y1)
            shadeLinePixel(pixels, s, ends, 0.0f, x, y, sample);
        return;
    }
    const float dx = s.x[1] - s.x[0];
    const float dy = s.y[1] - s.y[0];
    const bool xMajor = std::fabs(dx) >= std::fabs(dy);
    const float major0 = xMajor ? s.x[0] : s.y[0];
    const float major1 = xMajor ? s.x[1] : s.y[1];
    const float minor0 = xMajor ? s.y[0] : s.x[0];
    const float dMajor = major1 - major0;
    if (dMajor == 0.0f)
        return;
    const float slope = (xMajor ? dy : dx) / dMajor;
    // Pixels along the major axis whose span the line leaves towards its
    // last end: from the first end up to, not including, the last, so that
    // lines joined end to end draw their shared pixel once. Going up the
    // axis a pixel m counts when lo <= m + 0.5 and m + 0.5 < hi; going
    // down, when lo < m - 0.5 and m - 0.5 <= hi.
    const float lo = std::min(major0, major1), hi = std::max(major0, major1);
    int first = static_cast<int>(std::ceil(lo - 0.5f));
    int last = static_cast<int>(std::ceil(hi - 0.5f)) - 1;
    if (major1 < major0) {
        first = static_cast<int>(std::floor(lo + 0.5f)) + 1;
        last = static_cast<int>(std::floor(hi + 0.5f));
    }
    const int majorMin = xMajor ? x0 : y0, majorMax = xMajor ? x1 : y1;
    const int minorMin = xMajor ? y0 : x0, minorMax = xMajor ? y1 : x1;
    first = std::max(first, majorMin);
    last = std::min(last, majorMax);
    for (int m = first; m <= last; ++m) {
        const float along = static_cast<float>(m) - major0;
        const int minor = static_cast<int>(std::floor(minor0 + slope * along + 0.5f));
        if (minor < minorMin || minor > minorMax)
            continue;
        const float t = along / dMajor;
        if (xMajor)
            shadeLinePixel(pixels, s, ends, t, m, minor, sample);
        else
            shadeLinePixel(pixels, s, ends, t, minor, m, sample);
    }
}

} // namespace

void samplePositions(UINT samples, int offsets[16][2])
{
    // Rotated-grid patterns in sixteenths of a pixel for the common
    // counts, a stratified diagonal pattern otherwise.
    static const int two[2][2] = {{4, 4}, {-4, -4}};
    static const int four[4][2] = {{-2, -6}, {6, -2}, {-6, 2}, {2, 6}};
    const int unit = SUBPIXEL_ONE / 16;
    if (samples <= 1) {
        offsets[0][0] = offsets[0][1] = 0;
        return;
    }
    for (UINT s = 0; s < samples && s < 16; ++s) {
        if (samples == 2) {
            offsets[s][0] = two[s][0] * unit;
            offsets[s][1] = two[s][1] * unit;
        } else if (samples == 4) {
            offsets[s][0] = four[s][0] * unit;
            offsets[s][1] = four[s][1] * unit;
        } else {
            const UINT j = (s * 5 + 3) % samples;
            offsets[s][0] = static_cast<int>((2 * s + 1) * 16 / (2 * samples)) * unit - 8 * unit;
            offsets[s][1] = static_cast<int>((2 * j + 1) * 16 / (2 * samples)) * unit - 8 * unit;
        }
    }
}

// How many bin entries ahead of the one drawn a tile fetches triangles.
constexpr size_t PREFETCH_AHEAD = 4;

void rasterizeTile(const RasterInputs& inputs, int tile)
{
    // Primitives lie within their own draw's clip rectangle already; the
    // tile only cuts them into its square.
    const int tx = tile % inputs.bins->tilesX();
    const int ty = tile / inputs.bins->tilesX();
    const int tileX0 = tx * TILE_SIZE, tileY0 = ty * TILE_SIZE;
    const int tileX1 = tileX0 + TILE_SIZE - 1, tileY1 = tileY0 + TILE_SIZE - 1;
    int offsets[16][2];
    const UINT samples = std::min<UINT>(std::max<UINT>(inputs.contexts[0]->target.samples, 1), 16);
    samplePositions(samples, offsets);
    const std::vector<uint32_t>& bin = inputs.bins->bin(tile);
    // Triangles with a pixel program are shaded in quads, all samples at
    // once; their quads wait for a full run, and are shaded before any
    // other primitive draws.
    ProgramQuads quads;
    for (size_t i = 0; i < bin.size(); ++i) {
        const uint32_t index = bin[i];
        if (!inputs.drawsLines) {
            // Setup wrote the triangles and planes of the whole draw before
            // any tile is drawn, and most of them have left the cache: ask
            // for the ones a few entries ahead: triangles first, then the
            // planes of those fetched earlier.
            if (i + 2 * PREFETCH_AHEAD < bin.size())
                __builtin_prefetch(&(*inputs.triangles)[bin[i + 2 * PREFETCH_AHEAD]]);
            if (i + PREFETCH_AHEAD < bin.size())
                __builtin_prefetch(inputs.planes->data() + (*inputs.triangles)[bin[i + PREFETCH_AHEAD]].planeIndex);
            const Triangle& t = (*inputs.triangles)[index];
            const PixelContext& pixels = *inputs.contexts[t.context];
            if (pixels.program.executable) {
                const int x0 = std::max(tileX0, t.minX), y0 = std::max(tileY0, t.minY);
                const int x1 = std::min(tileX1, t.maxX), y1 = std::min(tileY1, t.maxY);
                if (x0 <= x1 && y0 <= y1)
                    addProgramTriangle(quads, pixels, t, inputs.planes->data() + t.planeIndex, x0, y0, x1, y1,
                                       offsets);
                continue;
            }
            if (quads.count)
                shadeProgramQuads(quads);
        }
        for (UINT s = 0; s < samples; ++s) {
            if (inputs.drawsLines) {
                const PixelContext& pixels = *inputs.contexts[0];
                const LineSegment& line = (*inputs.lines)[index];
                const int x0 = std::max(tileX0, line.minX), y0 = std::max(tileY0, line.minY);
                const int x1 = std::min(tileX1, line.maxX), y1 = std::min(tileY1, line.maxY);
                if (x0 <= x1 && y0 <= y1)
                    rasterizeLine(pixels, line, inputs.lineVaryings->data() + line.varyingIndex, x0, y0, x1, y1, s);
                continue;
            }
            const Triangle& t = (*inputs.triangles)[index];
            const int x0 = std::max(tileX0, t.minX), y0 = std::max(tileY0, t.minY);
            const int x1 = std::min(tileX1, t.maxX), y1 = std::min(tileY1, t.maxY);
            if (x0 > x1 || y0 > y1)
                continue;
            rasterizeTriangle(*inputs.contexts[t.context], t, inputs.planes->data() + t.planeIndex, x0, y0, x1, y1, s,
                              offsets[s][0], offsets[s][1]);
        }
    }
    if (quads.count)
        shadeProgramQuads(quads);
}

} // namespace pipeline
} // namespace swd3d9
