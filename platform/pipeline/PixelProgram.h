#pragma once

// The programmable pixel stage: triangles of a draw with a pixel program
// are walked in 2 x 2 quads aligned to even pixel coordinates, every pixel
// of a touched quad interpolated at its centre (so that derivatives see
// the whole quad), and the quads run through the program sixteen at a
// time. The program's colour then goes through the same fog, alpha test,
// stencil and depth tests, blending and store as fixed-function colours.
// With multisampling the program runs once per pixel; coverage, depth and
// stencil stay per sample.

#include "pipeline/DrawState.h"
#include "pipeline/TriangleSetup.h"

#include <cstdint>

namespace swd3d9 {
namespace shader {
class RegisterProgram;
} // namespace shader

namespace pipeline {

struct PixelContext;
struct PixelInputs;

// Stage inputs and outputs a program may have, and the sampler registers a
// pixel program can read.
constexpr int MAX_PROGRAM_VARIABLES = 16;
constexpr int PIXEL_SAMPLERS = 16;
// Float constant registers handed to a program: the vertex stage's count,
// which the pixel stage's does not exceed.
constexpr int PROGRAM_CONSTANT_REGISTERS = 256;

// Where a pixel program input comes from.
enum PixelInputSource : uint8_t {
    PIXEL_INPUT_NONE = 0, // reads (0, 0, 0, 1)
    PIXEL_INPUT_VARYING,  // varyings from `varying` on
    PIXEL_INPUT_POSITION, // VPOS: the pixel's integer coordinates
    PIXEL_INPUT_FACE,     // VFACE: +1 front, -1 back
};

// The pixel program of a draw and how its inputs and outputs meet the
// pipeline, decided once per draw. Plain data: batched contexts copy and
// compare it as bytes.
struct PixelProgramSetup {
    const shader::RegisterProgram* executable; // null: the fixed-function stages
    uint8_t inputCount;
    uint8_t inputSource[MAX_PROGRAM_VARIABLES];
    uint8_t inputVarying[MAX_PROGRAM_VARIABLES];
    uint8_t inputComponents[MAX_PROGRAM_VARIABLES];
    uint8_t outputCount;
    int8_t colorOutput; // COLOR0, or -1
    int8_t depthOutput; // DEPTH0, or -1
    bool discards;
    // Colours go straight into a single-sample 32-bit target, tested at
    // most against a 32-bit depth buffer: no blending, alpha or stencil
    // test, every channel written (the back end's plain case).
    bool plainStore;
    // The highest texture-coordinate set read plus one (at most
    // MAX_STAGES): the sets the vertex stage must produce.
    uint8_t texCoordSets;
    // The varyings interpolated per lane: the program's inputs, and the fog
    // factor when vertex fog applies.
    uint8_t interpolatedCount;
    uint8_t interpolated[MAX_VARYINGS];
    // Program sampler i reads the device sampler samplerRegister[i].
    uint8_t samplerCount;
    uint8_t samplerRegister[PIXEL_SAMPLERS];
    // The device's float constant registers when the draw was made.
    float constants[PROGRAM_CONSTANT_REGISTERS][4];
};

constexpr int QUADS_PER_RUN = 16;

// Quads gathered from consecutive triangles of one draw (one pixel
// context) in a tile, waiting to be shaded: a run of the program takes up
// to QUADS_PER_RUN of them, whatever triangles they come from.
struct ProgramQuads {
    struct Quad {
        const Triangle* triangle;
        const Plane* planes;
        int x, y; // the top-left pixel, both even
        // Covered samples of the four pixels (bit s: sample s).
        uint16_t coverage[4];
    };
    const PixelContext* pixels = nullptr;
    const int (*sampleOffsets)[2] = nullptr;
    int count = 0;
    Quad quads[QUADS_PER_RUN];
};

// Adds the quads of a triangle of a draw with a pixel program within the
// pixel box (x0, y0) - (x1, y1), all samples at once; shades the waiting
// quads whenever a run is full or the draw changes.
void addProgramTriangle(ProgramQuads& quads, const PixelContext& pixels, const Triangle& t, const Plane* planes,
                        int x0, int y0, int x1, int y1, const int sampleOffsets[16][2]);

// Shades the quads that wait (before other primitives draw over them).
void shadeProgramQuads(ProgramQuads& quads);

// One pixel of a line or point with a pixel program: the program runs on a
// quad of four copies of the pixel (derivatives zero), then the pixel goes
// to the back end.
void shadeProgramPixel(const PixelContext& pixels, int x, int y, UINT sample, const PixelInputs& in);

} // namespace pipeline
} // namespace swd3d9
