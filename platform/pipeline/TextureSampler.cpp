#include "pipeline/TextureSampler.h"

#include "pipeline/Formats.h"
#include "pipeline/TextureCombiner.h"
#include "pipeline/UnalignedAccess.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace swd3d9 {

namespace {

constexpr float UNORM8 = 1.0f / 255.0f;

// Texel indices stay within +-2^24 so that the integer addressing below
// never overflows, whatever the coordinates (infinities and NaN included).
constexpr float INDEX_LIMIT = 16777216.0f;

void decodeA8R8G8B8(const uint8_t* p, float c[4])
{
    const uint32_t v = load32(p);
    c[0] = static_cast<float>((v >> 16) & 0xFF) * UNORM8;
    c[1] = static_cast<float>((v >> 8) & 0xFF) * UNORM8;
    c[2] = static_cast<float>(v & 0xFF) * UNORM8;
    c[3] = static_cast<float>(v >> 24) * UNORM8;
}

void decodeX8R8G8B8(const uint8_t* p, float c[4])
{
    const uint32_t v = load32(p);
    c[0] = static_cast<float>((v >> 16) & 0xFF) * UNORM8;
    c[1] = static_cast<float>((v >> 8) & 0xFF) * UNORM8;
    c[2] = static_cast<float>(v & 0xFF) * UNORM8;
    c[3] = 1.0f;
}

void decodeA8B8G8R8(const uint8_t* p, float c[4])
{
    const uint32_t v = load32(p);
    c[0] = static_cast<float>(v & 0xFF) * UNORM8;
    c[1] = static_cast<float>((v >> 8) & 0xFF) * UNORM8;
    c[2] = static_cast<float>((v >> 16) & 0xFF) * UNORM8;
    c[3] = static_cast<float>(v >> 24) * UNORM8;
}

void decodeR5G6B5(const uint8_t* p, float c[4])
{
    const uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
    c[0] = static_cast<float>(v >> 11) * (1.0f / 31.0f);
    c[1] = static_cast<float>((v >> 5) & 0x3F) * (1.0f / 63.0f);
    c[2] = static_cast<float>(v & 0x1F) * (1.0f / 31.0f);
    c[3] = 1.0f;
}

// The less common formats go through the device's general decoder, with the
// format fixed at compile time so that the per-texel call needs no lookup.
template <D3DFORMAT F>
void decodeGeneral(const uint8_t* p, float c[4])
{
    decodePixels(F, p, 1, c);
}

TexelDecoder decoderFor(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_A8R8G8B8: return decodeA8R8G8B8;
    case D3DFMT_X8R8G8B8: return decodeX8R8G8B8;
    case D3DFMT_A8B8G8R8: return decodeA8B8G8R8;
    case D3DFMT_R5G6B5: return decodeR5G6B5;
    case D3DFMT_X8B8G8R8: return decodeGeneral<D3DFMT_X8B8G8R8>;
    case D3DFMT_X1R5G5B5: return decodeGeneral<D3DFMT_X1R5G5B5>;
    case D3DFMT_A1R5G5B5: return decodeGeneral<D3DFMT_A1R5G5B5>;
    case D3DFMT_A4R4G4B4: return decodeGeneral<D3DFMT_A4R4G4B4>;
    case D3DFMT_X4R4G4B4: return decodeGeneral<D3DFMT_X4R4G4B4>;
    case D3DFMT_A2R10G10B10: return decodeGeneral<D3DFMT_A2R10G10B10>;
    case D3DFMT_A2B10G10R10: return decodeGeneral<D3DFMT_A2B10G10R10>;
    case D3DFMT_G16R16: return decodeGeneral<D3DFMT_G16R16>;
    case D3DFMT_A16B16G16R16: return decodeGeneral<D3DFMT_A16B16G16R16>;
    case D3DFMT_A8: return decodeGeneral<D3DFMT_A8>;
    case D3DFMT_L8: return decodeGeneral<D3DFMT_L8>;
    case D3DFMT_A8L8: return decodeGeneral<D3DFMT_A8L8>;
    case D3DFMT_L16: return decodeGeneral<D3DFMT_L16>;
    case D3DFMT_R16F: return decodeGeneral<D3DFMT_R16F>;
    case D3DFMT_G16R16F: return decodeGeneral<D3DFMT_G16R16F>;
    case D3DFMT_A16B16G16R16F: return decodeGeneral<D3DFMT_A16B16G16R16F>;
    case D3DFMT_R32F: return decodeGeneral<D3DFMT_R32F>;
    case D3DFMT_G32R32F: return decodeGeneral<D3DFMT_G32R32F>;
    case D3DFMT_A32B32G32R32F: return decodeGeneral<D3DFMT_A32B32G32R32F>;
    default: return nullptr;
    }
}

int toIndex(float f)
{
    if (!(f > -INDEX_LIMIT))
        return f != f ? 0 : -static_cast<int>(INDEX_LIMIT);
    if (f > INDEX_LIMIT)
        return static_cast<int>(INDEX_LIMIT);
    // Truncation, corrected downwards for negatives: floor without a
    // library call on baseline x86-64.
    const int i = static_cast<int>(f);
    return static_cast<float>(i) > f ? i - 1 : i;
}

float finiteOrZero(float f) { return std::isfinite(f) ? f : 0.0f; }

// A texel index of a level n texels wide, addressed by mode; -1 when it
// falls on the border.
int addressIndex(int i, int n, uint8_t mode)
{
    if (i >= 0 && i < n)
        return i;
    switch (mode) {
    case D3DTADDRESS_WRAP: {
        const int m = i % n;
        return m < 0 ? m + n : m;
    }
    case D3DTADDRESS_MIRROR: {
        int m = i % (2 * n);
        if (m < 0)
            m += 2 * n;
        return m < n ? m : 2 * n - 1 - m;
    }
    case D3DTADDRESS_BORDER:
        return -1;
    case D3DTADDRESS_MIRRORONCE: {
        const int m = i < 0 ? -1 - i : i;
        return m < n ? m : n - 1;
    }
    default: // clamp
        return i < 0 ? 0 : n - 1;
    }
}

void copy4(float* to, const float* from)
{
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
    to[3] = from[3];
}

// Texel decoding through the setup's decoder, or with the format fixed at
// compile time for the routines specialised for it.
struct SetupDecode {
    static void decode(const SamplerSetup& s, const uint8_t* p, float c[4]) { s.decode(p, c); }
};
template <TexelDecoder F>
struct FixedDecode {
    static void decode(const SamplerSetup&, const uint8_t* p, float c[4]) { F(p, c); }
};

template <class DECODE>
void fetch2D(const SamplerSetup& s, const SamplerLevel& l, int x, int y, float c[4])
{
    x = addressIndex(x, l.width, s.address[0]);
    y = addressIndex(y, l.height, s.address[1]);
    if ((x | y) < 0) {
        copy4(c, s.borderColor);
        return;
    }
    DECODE::decode(s, l.data + static_cast<size_t>(y) * l.pitch + static_cast<size_t>(x) * s.bytesPerTexel, c);
}

template <class DECODE>
void fetch3D(const SamplerSetup& s, const SamplerLevel& l, int x, int y, int z, float c[4])
{
    x = addressIndex(x, l.width, s.address[0]);
    y = addressIndex(y, l.height, s.address[1]);
    z = addressIndex(z, l.depth, s.address[2]);
    if ((x | y | z) < 0) {
        copy4(c, s.borderColor);
        return;
    }
    DECODE::decode(s, l.data + static_cast<size_t>(z) * l.slicePitch + static_cast<size_t>(y) * l.pitch +
                 static_cast<size_t>(x) * s.bytesPerTexel,
             c);
}

void lerp4(float* out, const float* a, const float* b, float t)
{
    for (int i = 0; i < 4; ++i)
        out[i] = a[i] + (b[i] - a[i]) * t;
}

// One level of a 2D texture (or a cube face), point or bilinear.
template <class DECODE>
void filterLevel2D(const SamplerSetup& s, const SamplerLevel& l, float u, float v, bool linear, float c[4])
{
    const float x = finiteOrZero(u) * l.fwidth;
    const float y = finiteOrZero(v) * l.fheight;
    if (!linear) {
        fetch2D<DECODE>(s, l, toIndex(x), toIndex(y), c);
        return;
    }
    // Texel centres at half-integers: the four nearest centres surround
    // (x - 0.5, y - 0.5).
    const float fx = x - 0.5f, fy = y - 0.5f;
    const int x0 = toIndex(fx), y0 = toIndex(fy);
    const float ax = fx - static_cast<float>(x0), ay = fy - static_cast<float>(y0);
    float t00[4], t10[4], t01[4], t11[4], top[4], bottom[4];
    fetch2D<DECODE>(s, l, x0, y0, t00);
    fetch2D<DECODE>(s, l, x0 + 1, y0, t10);
    fetch2D<DECODE>(s, l, x0, y0 + 1, t01);
    fetch2D<DECODE>(s, l, x0 + 1, y0 + 1, t11);
    lerp4(top, t00, t10, ax);
    lerp4(bottom, t01, t11, ax);
    lerp4(c, top, bottom, ay);
}

template <class DECODE>
void filterLevel3D(const SamplerSetup& s, const SamplerLevel& l, float u, float v, float w, bool linear, float c[4])
{
    const float x = finiteOrZero(u) * l.fwidth;
    const float y = finiteOrZero(v) * l.fheight;
    const float z = finiteOrZero(w) * l.fdepth;
    if (!linear) {
        fetch3D<DECODE>(s, l, toIndex(x), toIndex(y), toIndex(z), c);
        return;
    }
    const float fx = x - 0.5f, fy = y - 0.5f, fz = z - 0.5f;
    const int x0 = toIndex(fx), y0 = toIndex(fy), z0 = toIndex(fz);
    const float ax = fx - static_cast<float>(x0), ay = fy - static_cast<float>(y0), az = fz - static_cast<float>(z0);
    float slices[2][4];
    for (int k = 0; k < 2; ++k) {
        float t00[4], t10[4], t01[4], t11[4], top[4], bottom[4];
        fetch3D<DECODE>(s, l, x0, y0, z0 + k, t00);
        fetch3D<DECODE>(s, l, x0 + 1, y0, z0 + k, t10);
        fetch3D<DECODE>(s, l, x0, y0 + 1, z0 + k, t01);
        fetch3D<DECODE>(s, l, x0 + 1, y0 + 1, z0 + k, t11);
        lerp4(top, t00, t10, ax);
        lerp4(bottom, t01, t11, ax);
        lerp4(slices[k], top, bottom, ay);
    }
    lerp4(c, slices[0], slices[1], az);
}

template <class DECODE>
void filterLevel(const SamplerSetup& s, int face, int level, float u, float v, float w, bool linear, float c[4])
{
    const SamplerLevel& l = s.levels[face][level];
    if (s.kind == D3DRTYPE_VOLUMETEXTURE)
        filterLevel3D<DECODE>(s, l, u, v, w, linear, c);
    else
        filterLevel2D<DECODE>(s, l, u, v, linear, c);
}

// Level selection and the blend between levels for a level of detail lod
// (bias included). Magnification is lod <= 0; levels below MAXMIPLEVEL are
// never read.
template <class DECODE>
void filterMipmapped(const SamplerSetup& s, int face, float u, float v, float w, float lod, float c[4])
{
    const bool magnify = !(lod > 0.0f);
    const uint8_t filter = magnify ? s.magFilter : s.minFilter;
    const bool linear = filter != D3DTEXF_POINT;
    if (s.mipFilter == D3DTEXF_NONE || s.firstLevel == s.lastLevel) {
        filterLevel<DECODE>(s, face, s.firstLevel, u, v, w, linear, c);
        return;
    }
    const float first = static_cast<float>(s.firstLevel);
    const float last = static_cast<float>(s.lastLevel);
    const float clamped = std::min(std::max(magnify ? 0.0f : lod, first), last);
    if (s.mipFilter == D3DTEXF_POINT) {
        const int level = std::min(static_cast<int>(std::floor(clamped + 0.5f)), s.lastLevel);
        filterLevel<DECODE>(s, face, level, u, v, w, linear, c);
        return;
    }
    const int lower = static_cast<int>(clamped);
    const float t = clamped - static_cast<float>(lower);
    filterLevel<DECODE>(s, face, lower, u, v, w, linear, c);
    if (t > 0.0f && lower < s.lastLevel) {
        float next[4];
        filterLevel<DECODE>(s, face, lower + 1, u, v, w, linear, next);
        lerp4(c, c, next, t);
    }
}

float lengthOf(float x, float y, float z) { return std::sqrt(x * x + y * y + z * z); }

// Anisotropic minification: up to maxAnisotropy probes along the longer
// axis of the pixel's footprint, each filtered at the level that the
// shorter extent calls for.
template <class DECODE>
void filterAnisotropic(const SamplerSetup& s, int face, float u, float v, float w, float du[2], float dv[2],
                       float dw[2], float c[4])
{
    const SamplerLevel& top = s.levels[face][0];
    const float lx = lengthOf(du[0] * top.fwidth, dv[0] * top.fheight, dw[0] * top.fdepth);
    const float ly = lengthOf(du[1] * top.fwidth, dv[1] * top.fheight, dw[1] * top.fdepth);
    const int axis = lx >= ly ? 0 : 1;
    const float major = std::max(lx, ly), minor = std::min(lx, ly);
    int probes = 1;
    if (minor > 0.0f && std::isfinite(major))
        probes = static_cast<int>(std::ceil(major / minor));
    else if (major > 0.0f)
        probes = s.maxAnisotropy;
    probes = std::max(1, std::min(probes, s.maxAnisotropy));
    const float lod = std::log2(major / static_cast<float>(probes)) + s.lodBias;
    if (probes == 1) {
        filterMipmapped<DECODE>(s, face, u, v, w, lod, c);
        return;
    }
    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < probes; ++i) {
        const float offset = (static_cast<float>(i) + 0.5f) / static_cast<float>(probes) - 0.5f;
        float probe[4];
        filterMipmapped<DECODE>(s, face, u + du[axis] * offset, v + dv[axis] * offset, w + dw[axis] * offset, lod,
                                probe);
        for (int k = 0; k < 4; ++k)
            sum[k] += probe[k];
    }
    const float scale = 1.0f / static_cast<float>(probes);
    for (int k = 0; k < 4; ++k)
        c[k] = sum[k] * scale;
}

template <class DECODE>
void filterWithDerivatives(const SamplerSetup& s, int face, float u, float v, float w, const TexCoordDerivatives& d,
                           float c[4])
{
    const float lod = computeLod(s, d) + s.lodBias;
    if (s.minFilter == D3DTEXF_ANISOTROPIC && s.maxAnisotropy > 1 && lod > 0.0f) {
        float du[2] = {d.dudx, d.dudy}, dv[2] = {d.dvdx, d.dvdy}, dw[2] = {d.dwdx, d.dwdy};
        if (s.kind != D3DRTYPE_VOLUMETEXTURE)
            dw[0] = dw[1] = 0.0f;
        filterAnisotropic<DECODE>(s, face, u, v, w, du, dv, dw, c);
        return;
    }
    filterMipmapped<DECODE>(s, face, u, v, w, lod, c);
}

void sampleUnbound(const SamplerSetup&, float, float, float, const TexCoordDerivatives&, float rgba[4])
{
    rgba[0] = rgba[1] = rgba[2] = 0.0f;
    rgba[3] = 1.0f;
}

template <class DECODE>
void sampleFlat(const SamplerSetup& s, float u, float v, float w, const TexCoordDerivatives& d, float rgba[4])
{
    filterWithDerivatives<DECODE>(s, 0, u, v, w, d, rgba);
}

// A single level, bilinear both ways, 32-bit ARGB texels, wrapping or
// clamping: the common case of textured quads, without level selection.
template <bool WRAP>
void sampleBilinearA8R8G8B8(const SamplerSetup& s, float u, float v, float, const TexCoordDerivatives&,
                            float rgba[4])
{
    const SamplerLevel& l = s.levels[0][s.firstLevel];
    const float fx = finiteOrZero(u) * l.fwidth - 0.5f;
    const float fy = finiteOrZero(v) * l.fheight - 0.5f;
    const int x0 = toIndex(fx), y0 = toIndex(fy);
    const float ax = fx - static_cast<float>(x0), ay = fy - static_cast<float>(y0);
    int xa, xb, ya, yb;
    if (WRAP) {
        xa = addressIndex(x0, l.width, D3DTADDRESS_WRAP);
        xb = xa + 1 == l.width ? 0 : xa + 1;
        ya = addressIndex(y0, l.height, D3DTADDRESS_WRAP);
        yb = ya + 1 == l.height ? 0 : ya + 1;
    } else {
        xa = std::min(std::max(x0, 0), l.width - 1);
        xb = std::min(std::max(x0 + 1, 0), l.width - 1);
        ya = std::min(std::max(y0, 0), l.height - 1);
        yb = std::min(std::max(y0 + 1, 0), l.height - 1);
    }
    const uint8_t* rowA = l.data + static_cast<size_t>(ya) * l.pitch;
    const uint8_t* rowB = l.data + static_cast<size_t>(yb) * l.pitch;
    const uint32_t t00 = load32(rowA + 4 * xa), t10 = load32(rowA + 4 * xb);
    const uint32_t t01 = load32(rowB + 4 * xa), t11 = load32(rowB + 4 * xb);
    const float w00 = (1.0f - ax) * (1.0f - ay), w10 = ax * (1.0f - ay);
    const float w01 = (1.0f - ax) * ay, w11 = ax * ay;
#if defined(__SSE2__)
    // All four channels at once: bytes widened to 32-bit lanes (B, G, R, A
    // in memory order), weighted in float, then swizzled to R, G, B, A.
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, static_cast<int>(t10), static_cast<int>(t00)), zero);
    const __m128i bottom = _mm_unpacklo_epi8(_mm_set_epi32(0, 0, static_cast<int>(t11), static_cast<int>(t01)), zero);
    __m128 sum = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(top, zero)), _mm_set1_ps(w00 * UNORM8));
    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(top, zero)), _mm_set1_ps(w10 * UNORM8)));
    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(bottom, zero)), _mm_set1_ps(w01 * UNORM8)));
    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(bottom, zero)), _mm_set1_ps(w11 * UNORM8)));
    _mm_storeu_ps(rgba, _mm_shuffle_ps(sum, sum, _MM_SHUFFLE(3, 0, 1, 2)));
#else
    const int shifts[4] = {16, 8, 0, 24};
    for (int k = 0; k < 4; ++k) {
        const int sh = shifts[k];
        rgba[k] = (static_cast<float>((t00 >> sh) & 0xFF) * w00 + static_cast<float>((t10 >> sh) & 0xFF) * w10 +
                   static_cast<float>((t01 >> sh) & 0xFF) * w01 + static_cast<float>((t11 >> sh) & 0xFF) * w11) *
                  UNORM8;
    }
#endif
}

// The face coordinates of a direction on a given face (the face's own
// axes, whatever the direction's major axis).
void projectOnFace(int face, float x, float y, float z, float& s, float& t)
{
    float sc, tc, ma;
    switch (face) {
    case D3DCUBEMAP_FACE_POSITIVE_X: sc = -z; tc = -y; ma = x; break;
    case D3DCUBEMAP_FACE_NEGATIVE_X: sc = z; tc = -y; ma = -x; break;
    case D3DCUBEMAP_FACE_POSITIVE_Y: sc = x; tc = z; ma = y; break;
    case D3DCUBEMAP_FACE_NEGATIVE_Y: sc = x; tc = -z; ma = -y; break;
    case D3DCUBEMAP_FACE_POSITIVE_Z: sc = x; tc = -y; ma = z; break;
    default: sc = -x; tc = -y; ma = -z; break;
    }
    const float inv = ma != 0.0f ? 0.5f / std::fabs(ma) : 0.0f;
    s = sc * inv + 0.5f;
    t = tc * inv + 0.5f;
}

template <class DECODE>
void sampleCube(const SamplerSetup& s, float x, float y, float z, const TexCoordDerivatives& d, float rgba[4])
{
    float fs, ft;
    const int face = selectCubeFace(finiteOrZero(x), finiteOrZero(y), finiteOrZero(z), fs, ft);
    // The face coordinates' derivatives, by projecting the neighbouring
    // pixels' directions onto the same face.
    float sx, tx, sy, ty;
    projectOnFace(face, x + d.dudx, y + d.dvdx, z + d.dwdx, sx, tx);
    projectOnFace(face, x + d.dudy, y + d.dvdy, z + d.dwdy, sy, ty);
    TexCoordDerivatives fd{};
    fd.dudx = sx - fs;
    fd.dvdx = tx - ft;
    fd.dudy = sy - fs;
    fd.dvdy = ty - ft;
    filterWithDerivatives<DECODE>(s, face, fs, ft, 0.0f, fd, rgba);
}

template <class DECODE>
SampleRoutine routineFor(D3DRESOURCETYPE kind)
{
    return kind == D3DRTYPE_CUBETEXTURE ? sampleCube<DECODE> : sampleFlat<DECODE>;
}

} // namespace

int selectCubeFace(float x, float y, float z, float& s, float& t)
{
    const float ax = std::fabs(x), ay = std::fabs(y), az = std::fabs(z);
    int face;
    if (ax >= ay && ax >= az)
        face = x >= 0.0f ? D3DCUBEMAP_FACE_POSITIVE_X : D3DCUBEMAP_FACE_NEGATIVE_X;
    else if (ay >= az)
        face = y >= 0.0f ? D3DCUBEMAP_FACE_POSITIVE_Y : D3DCUBEMAP_FACE_NEGATIVE_Y;
    else
        face = z >= 0.0f ? D3DCUBEMAP_FACE_POSITIVE_Z : D3DCUBEMAP_FACE_NEGATIVE_Z;
    projectOnFace(face, x, y, z, s, t);
    return face;
}

float computeLod(const SamplerSetup& s, const TexCoordDerivatives& d)
{
    const SamplerLevel& top = s.levels[0][0];
    const float depth = s.kind == D3DRTYPE_VOLUMETEXTURE ? top.fdepth : 0.0f;
    const float lx = lengthOf(d.dudx * top.fwidth, d.dvdx * top.fheight, d.dwdx * depth);
    const float ly = lengthOf(d.dudy * top.fwidth, d.dvdy * top.fheight, d.dwdy * depth);
    const float rho = std::max(lx, ly);
    if (!(rho > 0.0f))
        return -128.0f;
    if (!std::isfinite(rho))
        return 128.0f;
    return std::log2(rho);
}

bool samplerDecodes(D3DFORMAT format) { return decoderFor(format) != nullptr; }

void setupSampler(SamplerSetup& setup, const DWORD samplerStates[SAMPLER_STATE_COUNT], const SampledTexture* texture)
{
    setup = SamplerSetup{};
    setup.routine = sampleUnbound;
    const TexelDecoder decode = texture ? decoderFor(texture->format) : nullptr;
    if (!decode || texture->levelCount == 0)
        return;

    setup.bound = true;
    setup.decode = decode;
    setup.kind = texture->kind;
    setup.format = texture->format;
    setup.bytesPerTexel = static_cast<int>(bytesPerPixel(setup.format));
    for (int i = 0; i < 3; ++i) {
        const DWORD mode = samplerStates[D3DSAMP_ADDRESSU + i];
        setup.address[i] = static_cast<uint8_t>(mode >= D3DTADDRESS_WRAP && mode <= D3DTADDRESS_MIRRORONCE
                                                    ? mode
                                                    : static_cast<DWORD>(D3DTADDRESS_WRAP));
    }
    auto filterOf = [&](DWORD value) {
        return static_cast<uint8_t>(value == D3DTEXF_POINT ? D3DTEXF_POINT
                                    : value == D3DTEXF_ANISOTROPIC ? D3DTEXF_ANISOTROPIC
                                                                   : D3DTEXF_LINEAR);
    };
    // Cube faces are filtered on their own, clamped at their edges.
    if (setup.kind == D3DRTYPE_CUBETEXTURE)
        setup.address[0] = setup.address[1] = setup.address[2] = D3DTADDRESS_CLAMP;
    setup.magFilter = filterOf(samplerStates[D3DSAMP_MAGFILTER]);
    setup.minFilter = filterOf(samplerStates[D3DSAMP_MINFILTER]);
    const DWORD mip = samplerStates[D3DSAMP_MIPFILTER];
    setup.mipFilter = static_cast<uint8_t>(mip == D3DTEXF_NONE    ? D3DTEXF_NONE
                                           : mip == D3DTEXF_POINT ? D3DTEXF_POINT
                                                                  : D3DTEXF_LINEAR);
    const DWORD anisotropy = samplerStates[D3DSAMP_MAXANISOTROPY];
    setup.maxAnisotropy = static_cast<int>(std::min<DWORD>(std::max<DWORD>(anisotropy, 1), 16));
    float bias;
    std::memcpy(&bias, &samplerStates[D3DSAMP_MIPMAPLODBIAS], 4);
    setup.lodBias = std::isfinite(bias) ? std::min(std::max(bias, -64.0f), 64.0f) : 0.0f;
    colorToFloats(samplerStates[D3DSAMP_BORDERCOLOR], setup.borderColor);

    const int stored = std::min(texture->levelCount, SAMPLER_MAX_LEVELS);
    setup.lastLevel = stored - 1;
    // Without mip filtering drivers read the texture's top level as its
    // LOD (SetLOD) gives it, whatever MAXMIPLEVEL says.
    const DWORD maxMipLevel = setup.mipFilter == D3DTEXF_NONE ? 0 : samplerStates[D3DSAMP_MAXMIPLEVEL];
    const DWORD first = std::max<DWORD>(maxMipLevel, texture->lod);
    setup.firstLevel = static_cast<int>(std::min<DWORD>(first, static_cast<DWORD>(setup.lastLevel)));

    const int faces = setup.kind == D3DRTYPE_CUBETEXTURE ? SAMPLER_MAX_FACES : 1;
    for (int face = 0; face < faces; ++face) {
        for (int level = 0; level < stored; ++level) {
            const TextureLevelView& from = texture->levels[face][level];
            SamplerLevel& l = setup.levels[face][level];
            l.data = from.data;
            l.width = static_cast<int>(from.width);
            l.height = static_cast<int>(from.height);
            l.depth = static_cast<int>(std::max<UINT>(from.depth, 1));
            l.pitch = from.pitch;
            l.slicePitch = from.slicePitch;
            l.fwidth = static_cast<float>(l.width);
            l.fheight = static_cast<float>(l.height);
            l.fdepth = static_cast<float>(l.depth);
        }
    }

    // The common 32-bit formats get routines with their decoding inlined.
    switch (setup.format) {
    case D3DFMT_A8R8G8B8: setup.routine = routineFor<FixedDecode<decodeA8R8G8B8>>(setup.kind); break;
    case D3DFMT_X8R8G8B8: setup.routine = routineFor<FixedDecode<decodeX8R8G8B8>>(setup.kind); break;
    case D3DFMT_A8B8G8R8: setup.routine = routineFor<FixedDecode<decodeA8B8G8R8>>(setup.kind); break;
    default: setup.routine = routineFor<SetupDecode>(setup.kind); break;
    }
    if (setup.kind == D3DRTYPE_CUBETEXTURE)
        return;
    // One level read whatever the footprint, bilinear: the specialised path.
    const bool singleLevel = setup.mipFilter == D3DTEXF_NONE || setup.firstLevel == setup.lastLevel;
    const bool bilinear = setup.magFilter == D3DTEXF_LINEAR && setup.minFilter == D3DTEXF_LINEAR;
    const bool argb = setup.format == D3DFMT_A8R8G8B8;
    // The span loop that may stand in addresses texels with 32-bit offsets.
    const SamplerLevel& top = setup.levels[0][setup.firstLevel];
    const bool addressable = top.pitch * static_cast<size_t>(top.height) <= UINT32_MAX;
    if (setup.kind == D3DRTYPE_TEXTURE && singleLevel && bilinear && argb && addressable) {
        if (setup.address[0] == D3DTADDRESS_WRAP && setup.address[1] == D3DTADDRESS_WRAP) {
            setup.routine = sampleBilinearA8R8G8B8<true>;
            setup.bilinearArgb = 1;
        } else if (setup.address[0] == D3DTADDRESS_CLAMP && setup.address[1] == D3DTADDRESS_CLAMP) {
            setup.routine = sampleBilinearA8R8G8B8<false>;
            setup.bilinearArgb = 2;
        }
    }
}

void sampleAtLevel(const SamplerSetup& setup, float u, float v, float w, float lod, float rgba[4])
{
    if (!setup.bound) {
        sampleUnbound(setup, u, v, w, TexCoordDerivatives{}, rgba);
        return;
    }
    lod += setup.lodBias;
    if (setup.kind == D3DRTYPE_CUBETEXTURE) {
        float s, t;
        const int face = selectCubeFace(finiteOrZero(u), finiteOrZero(v), finiteOrZero(w), s, t);
        filterMipmapped<SetupDecode>(setup, face, s, t, 0.0f, lod, rgba);
        return;
    }
    filterMipmapped<SetupDecode>(setup, 0, u, v, w, lod, rgba);
}

void sampleQuad(const SamplerSetup& setup, const float u[4], const float v[4], const float w[4], float rgba[4][4])
{
    // One set of derivatives for the quad: the mean of its two rows and
    // of its two columns.
    TexCoordDerivatives d;
    d.dudx = 0.5f * ((u[1] - u[0]) + (u[3] - u[2]));
    d.dudy = 0.5f * ((u[2] - u[0]) + (u[3] - u[1]));
    d.dvdx = 0.5f * ((v[1] - v[0]) + (v[3] - v[2]));
    d.dvdy = 0.5f * ((v[2] - v[0]) + (v[3] - v[1]));
    d.dwdx = 0.5f * ((w[1] - w[0]) + (w[3] - w[2]));
    d.dwdy = 0.5f * ((w[2] - w[0]) + (w[3] - w[1]));
    for (int i = 0; i < 4; ++i)
        setup.routine(setup, u[i], v[i], w[i], d, rgba[i]);
}

void sampleBilinearArgbLanes(const SamplerSetup& setup, const float* u, const float* v, int count,
                             float* const rgba[4])
{
    const bool wrap = setup.bilinearArgb == 1;
    int lane = 0;
#if defined(__SSE2__)
    // Four lanes at a time: texel positions and weights in vectors, the
    // addressing and the four texel loads per lane in scalar code, then
    // each channel weighted as the routine weights it (the same operations
    // in the same order, so the same bits).
    const SamplerLevel& l = setup.levels[0][setup.firstLevel];
    const __m128 width = _mm_set1_ps(l.fwidth), height = _mm_set1_ps(l.fheight);
    const __m128 half = _mm_set1_ps(0.5f), one = _mm_set1_ps(1.0f), unorm = _mm_set1_ps(UNORM8);
    const __m128 lower = _mm_set1_ps(-INDEX_LIMIT), upper = _mm_set1_ps(INDEX_LIMIT);
    const __m128i byteMask = _mm_set1_epi32(0xFF);
    // x - x is zero exactly for finite x: the routine reads the others as 0.
    auto finite = [](__m128 x) { return _mm_and_ps(x, _mm_cmpeq_ps(_mm_sub_ps(x, x), _mm_setzero_ps())); };
    auto floorIndex = [&](__m128 f) {
        const __m128 clamped = _mm_min_ps(_mm_max_ps(f, lower), upper);
        const __m128i i = _mm_cvttps_epi32(clamped);
        return _mm_add_epi32(i, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(i), clamped)));
    };
    for (; lane + 4 <= count; lane += 4) {
        const __m128 fx = _mm_sub_ps(_mm_mul_ps(finite(_mm_loadu_ps(u + lane)), width), half);
        const __m128 fy = _mm_sub_ps(_mm_mul_ps(finite(_mm_loadu_ps(v + lane)), height), half);
        const __m128i x0 = floorIndex(fx), y0 = floorIndex(fy);
        const __m128 ax = _mm_sub_ps(fx, _mm_cvtepi32_ps(x0)), ay = _mm_sub_ps(fy, _mm_cvtepi32_ps(y0));
        alignas(16) int32_t xs[4], ys[4];
        alignas(16) uint32_t t00[4], t10[4], t01[4], t11[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(xs), x0);
        _mm_store_si128(reinterpret_cast<__m128i*>(ys), y0);
        for (int k = 0; k < 4; ++k) {
            int xa, xb, ya, yb;
            if (wrap) {
                xa = addressIndex(xs[k], l.width, D3DTADDRESS_WRAP);
                xb = xa + 1 == l.width ? 0 : xa + 1;
                ya = addressIndex(ys[k], l.height, D3DTADDRESS_WRAP);
                yb = ya + 1 == l.height ? 0 : ya + 1;
            } else {
                xa = std::min(std::max(xs[k], 0), l.width - 1);
                xb = std::min(std::max(xs[k] + 1, 0), l.width - 1);
                ya = std::min(std::max(ys[k], 0), l.height - 1);
                yb = std::min(std::max(ys[k] + 1, 0), l.height - 1);
            }
            const uint8_t* rowA = l.data + static_cast<size_t>(ya) * l.pitch;
            const uint8_t* rowB = l.data + static_cast<size_t>(yb) * l.pitch;
            t00[k] = load32(rowA + 4 * xa);
            t10[k] = load32(rowA + 4 * xb);
            t01[k] = load32(rowB + 4 * xa);
            t11[k] = load32(rowB + 4 * xb);
        }
        const __m128 bx = _mm_sub_ps(one, ax), by = _mm_sub_ps(one, ay);
        const __m128 w00 = _mm_mul_ps(_mm_mul_ps(bx, by), unorm), w10 = _mm_mul_ps(_mm_mul_ps(ax, by), unorm);
        const __m128 w01 = _mm_mul_ps(_mm_mul_ps(bx, ay), unorm), w11 = _mm_mul_ps(_mm_mul_ps(ax, ay), unorm);
        const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(t00));
        const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(t10));
        const __m128i c = _mm_load_si128(reinterpret_cast<const __m128i*>(t01));
        const __m128i d = _mm_load_si128(reinterpret_cast<const __m128i*>(t11));
        auto channel = [&](__m128i t, int shift) {
            return _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(t, shift), byteMask));
        };
        // Red, green, blue, alpha: bits 16, 8, 0 and 24 of the texel.
        const int shifts[4] = {16, 8, 0, 24};
        for (int ch = 0; ch < 4; ++ch) {
            const int shift = shifts[ch];
            __m128 sum = _mm_mul_ps(channel(a, shift), w00);
            sum = _mm_add_ps(sum, _mm_mul_ps(channel(b, shift), w10));
            sum = _mm_add_ps(sum, _mm_mul_ps(channel(c, shift), w01));
            sum = _mm_add_ps(sum, _mm_mul_ps(channel(d, shift), w11));
            _mm_storeu_ps(rgba[ch] + lane, sum);
        }
    }
#endif
    const TexCoordDerivatives none{};
    for (; lane < count; ++lane) {
        float out[4];
        if (wrap)
            sampleBilinearA8R8G8B8<true>(setup, u[lane], v[lane], 0.0f, none, out);
        else
            sampleBilinearA8R8G8B8<false>(setup, u[lane], v[lane], 0.0f, none, out);
        for (int ch = 0; ch < 4; ++ch)
            rgba[ch][lane] = out[ch];
    }
}

} // namespace swd3d9
