#pragma once

// Clip codes of transformed vertices: which side of the view volume's
// planes and of the user clip planes each vertex lies on, for the clipper
// to cut primitives by.

#include "pipeline/DrawState.h"

#include <cstdint>

namespace swd3d9 {
namespace pipeline {

// Bits 0 to 5 for a clip-space position p outside the view volume: x < -w,
// x > w, y < -w, y > w, z < 0, z > w.
inline uint32_t viewVolumeOutcode(const float* p)
{
    uint32_t code = 0;
    code |= (p[0] < -p[3]) << 0;
    code |= (p[0] > p[3]) << 1;
    code |= (p[1] < -p[3]) << 2;
    code |= (p[1] > p[3]) << 3;
    code |= (p[2] < 0.0f) << 4;
    code |= (p[2] > p[3]) << 5;
    return code;
}

// Bit 6 + i for each plane i of planeMask that point (in the planes' space)
// lies behind; clipDistance[i] gets the plane's value at the point, 1 for
// planes not in use.
inline uint32_t clipPlaneOutcode(const float* point, uint32_t planeMask, const float (*planes)[4],
                                 float* clipDistance)
{
    uint32_t code = 0;
    for (int i = 0; i < MAX_CLIP_DISTANCES; ++i) {
        if (!(planeMask & (1u << i))) {
            clipDistance[i] = 1.0f;
            continue;
        }
        const float* plane = planes[i];
        const float d = plane[0] * point[0] + plane[1] * point[1] + plane[2] * point[2] + plane[3] * point[3];
        clipDistance[i] = d;
        code |= static_cast<uint32_t>(d < 0.0f) << (6 + i);
    }
    return code;
}

} // namespace pipeline
} // namespace swd3d9
