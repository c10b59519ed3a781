#include "pipeline/Formats.h"

#include "pipeline/UnalignedAccess.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace swd3d9 {

namespace {

const FormatInfo FORMATS[] = {
    {D3DFMT_A8R8G8B8, 4, true, false, false, true},
    {D3DFMT_X8R8G8B8, 4, false, false, false, true},
    {D3DFMT_R5G6B5, 2, false, false, false, true},
    {D3DFMT_A8B8G8R8, 4, true, false, false, false},
    {D3DFMT_X8B8G8R8, 4, false, false, false, false},
    {D3DFMT_X1R5G5B5, 2, false, false, false, false},
    {D3DFMT_A1R5G5B5, 2, true, false, false, false},
    {D3DFMT_A4R4G4B4, 2, true, false, false, false},
    {D3DFMT_X4R4G4B4, 2, false, false, false, false},
    {D3DFMT_A2R10G10B10, 4, true, false, false, false},
    {D3DFMT_A2B10G10R10, 4, true, false, false, false},
    {D3DFMT_G16R16, 4, false, false, false, false},
    {D3DFMT_A16B16G16R16, 8, true, false, false, false},
    {D3DFMT_A8, 1, true, false, false, false},
    {D3DFMT_L8, 1, false, false, false, false},
    {D3DFMT_A8L8, 2, true, false, false, false},
    {D3DFMT_L16, 2, false, false, false, false},
    {D3DFMT_R16F, 2, false, false, false, false},
    {D3DFMT_G16R16F, 4, false, false, false, false},
    {D3DFMT_A16B16G16R16F, 8, true, false, false, false},
    {D3DFMT_R32F, 4, false, false, false, false},
    {D3DFMT_G32R32F, 8, false, false, false, false},
    {D3DFMT_A32B32G32R32F, 16, true, false, false, false},
    {D3DFMT_D16, 2, false, true, false, false},
    {D3DFMT_D24S8, 4, false, true, true, false},
    {D3DFMT_D24X8, 4, false, true, false, false},
};

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// Unsigned normalised channels of `bits` bits.
uint32_t toUnorm(float v, uint32_t bits)
{
    const float max = static_cast<float>((1u << bits) - 1u);
    // NaN clamps to 0 through the comparisons in clamp01.
    return static_cast<uint32_t>(clamp01(v) * max + 0.5f);
}

float fromUnorm(uint32_t value, uint32_t bits) { return static_cast<float>(value) / static_cast<float>((1u << bits) - 1u); }

float loadFloat(const uint8_t* p)
{
    float v;
    std::memcpy(&v, p, 4);
    return v;
}
void storeFloat(uint8_t* p, float v) { std::memcpy(p, &v, 4); }

void set(float* out, float r, float g, float b, float a)
{
    out[0] = r;
    out[1] = g;
    out[2] = b;
    out[3] = a;
}

} // namespace

const FormatInfo* findFormat(D3DFORMAT format)
{
    for (const FormatInfo& info : FORMATS) {
        if (info.format == format)
            return &info;
    }
    return nullptr;
}

bool isColorFormat(D3DFORMAT format)
{
    const FormatInfo* info = findFormat(format);
    return info && !info->isDepth;
}

bool isDepthFormat(D3DFORMAT format)
{
    const FormatInfo* info = findFormat(format);
    return info && info->isDepth;
}

bool isRenderTargetFormat(D3DFORMAT format)
{
    const FormatInfo* info = findFormat(format);
    return info && info->renderTarget;
}

UINT bytesPerPixel(D3DFORMAT format)
{
    const FormatInfo* info = findFormat(format);
    return info ? info->bytesPerPixel : 0;
}

uint16_t floatToHalf(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    const uint32_t sign = (bits >> 16) & 0x8000u;
    const uint32_t exponent = (bits >> 23) & 0xFFu;
    uint32_t mantissa = bits & 0x7FFFFFu;
    if (exponent == 0xFF) // infinity or NaN
        return static_cast<uint16_t>(sign | 0x7C00u | (mantissa ? 0x200u : 0u));
    const int e = static_cast<int>(exponent) - 127 + 15;
    if (e >= 31)
        return static_cast<uint16_t>(sign | 0x7C00u);
    if (e <= 0) {
        if (e < -10)
            return static_cast<uint16_t>(sign);
        // Subnormal half: shift the mantissa with its implicit bit, rounding
        // to nearest even.
        mantissa |= 0x800000u;
        const uint32_t shift = static_cast<uint32_t>(14 - e);
        uint32_t half = mantissa >> shift;
        const uint32_t rest = mantissa & ((1u << shift) - 1u);
        const uint32_t halfway = 1u << (shift - 1);
        if (rest > halfway || (rest == halfway && (half & 1u)))
            ++half;
        return static_cast<uint16_t>(sign | half);
    }
    uint32_t half = (static_cast<uint32_t>(e) << 10) | (mantissa >> 13);
    const uint32_t rest = mantissa & 0x1FFFu;
    if (rest > 0x1000u || (rest == 0x1000u && (half & 1u)))
        ++half; // may carry into the exponent, which is the right result
    return static_cast<uint16_t>(sign | half);
}

float halfToFloat(uint16_t value)
{
    const uint32_t sign = (value & 0x8000u) << 16;
    const uint32_t exponent = (value >> 10) & 0x1Fu;
    uint32_t mantissa = value & 0x3FFu;
    uint32_t bits;
    if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else {
            int e = -1;
            do {
                ++e;
                mantissa <<= 1;
            } while ((mantissa & 0x400u) == 0);
            bits = sign | (static_cast<uint32_t>(127 - 15 - e) << 23) | ((mantissa & 0x3FFu) << 13);
        }
    } else if (exponent == 31) {
        bits = sign | 0x7F800000u | (mantissa << 13);
    } else {
        bits = sign | ((exponent + 127 - 15) << 23) | (mantissa << 13);
    }
    float result;
    std::memcpy(&result, &bits, 4);
    return result;
}

void decodePixels(D3DFORMAT format, const uint8_t* source, UINT count, float* rgba)
{
    const UINT size = bytesPerPixel(format);
    for (UINT i = 0; i < count; ++i, source += size, rgba += 4) {
        switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8: {
            const uint32_t v = load32(source);
            set(rgba, fromUnorm((v >> 16) & 0xFF, 8), fromUnorm((v >> 8) & 0xFF, 8), fromUnorm(v & 0xFF, 8),
                format == D3DFMT_A8R8G8B8 ? fromUnorm(v >> 24, 8) : 1.0f);
            break;
        }
        case D3DFMT_A8B8G8R8:
        case D3DFMT_X8B8G8R8: {
            const uint32_t v = load32(source);
            set(rgba, fromUnorm(v & 0xFF, 8), fromUnorm((v >> 8) & 0xFF, 8), fromUnorm((v >> 16) & 0xFF, 8),
                format == D3DFMT_A8B8G8R8 ? fromUnorm(v >> 24, 8) : 1.0f);
            break;
        }
        case D3DFMT_R5G6B5: {
            const uint32_t v = load16(source);
            set(rgba, fromUnorm(v >> 11, 5), fromUnorm((v >> 5) & 0x3F, 6), fromUnorm(v & 0x1F, 5), 1.0f);
            break;
        }
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            const uint32_t v = load16(source);
            set(rgba, fromUnorm((v >> 10) & 0x1F, 5), fromUnorm((v >> 5) & 0x1F, 5), fromUnorm(v & 0x1F, 5),
                format == D3DFMT_A1R5G5B5 ? static_cast<float>(v >> 15) : 1.0f);
            break;
        }
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: {
            const uint32_t v = load16(source);
            set(rgba, fromUnorm((v >> 8) & 0xF, 4), fromUnorm((v >> 4) & 0xF, 4), fromUnorm(v & 0xF, 4),
                format == D3DFMT_A4R4G4B4 ? fromUnorm(v >> 12, 4) : 1.0f);
            break;
        }
        case D3DFMT_A2R10G10B10: {
            const uint32_t v = load32(source);
            set(rgba, fromUnorm((v >> 20) & 0x3FF, 10), fromUnorm((v >> 10) & 0x3FF, 10), fromUnorm(v & 0x3FF, 10),
                fromUnorm(v >> 30, 2));
            break;
        }
        case D3DFMT_A2B10G10R10: {
            const uint32_t v = load32(source);
            set(rgba, fromUnorm(v & 0x3FF, 10), fromUnorm((v >> 10) & 0x3FF, 10), fromUnorm((v >> 20) & 0x3FF, 10),
                fromUnorm(v >> 30, 2));
            break;
        }
        case D3DFMT_G16R16: {
            const uint32_t v = load32(source);
            set(rgba, fromUnorm(v & 0xFFFF, 16), fromUnorm(v >> 16, 16), 1.0f, 1.0f);
            break;
        }
        case D3DFMT_A16B16G16R16:
            set(rgba, fromUnorm(load16(source), 16), fromUnorm(load16(source + 2), 16),
                fromUnorm(load16(source + 4), 16), fromUnorm(load16(source + 6), 16));
            break;
        case D3DFMT_A8:
            set(rgba, 0.0f, 0.0f, 0.0f, fromUnorm(source[0], 8));
            break;
        case D3DFMT_L8: {
            const float l = fromUnorm(source[0], 8);
            set(rgba, l, l, l, 1.0f);
            break;
        }
        case D3DFMT_A8L8: {
            const float l = fromUnorm(source[0], 8);
            set(rgba, l, l, l, fromUnorm(source[1], 8));
            break;
        }
        case D3DFMT_L16: {
            const float l = fromUnorm(load16(source), 16);
            set(rgba, l, l, l, 1.0f);
            break;
        }
        case D3DFMT_R16F:
            set(rgba, halfToFloat(load16(source)), 1.0f, 1.0f, 1.0f);
            break;
        case D3DFMT_G16R16F:
            set(rgba, halfToFloat(load16(source)), halfToFloat(load16(source + 2)), 1.0f, 1.0f);
            break;
        case D3DFMT_A16B16G16R16F:
            set(rgba, halfToFloat(load16(source)), halfToFloat(load16(source + 2)), halfToFloat(load16(source + 4)),
                halfToFloat(load16(source + 6)));
            break;
        case D3DFMT_R32F:
            set(rgba, loadFloat(source), 1.0f, 1.0f, 1.0f);
            break;
        case D3DFMT_G32R32F:
            set(rgba, loadFloat(source), loadFloat(source + 4), 1.0f, 1.0f);
            break;
        case D3DFMT_A32B32G32R32F:
            set(rgba, loadFloat(source), loadFloat(source + 4), loadFloat(source + 8), loadFloat(source + 12));
            break;
        default:
            set(rgba, 0.0f, 0.0f, 0.0f, 0.0f);
            break;
        }
    }
}

void encodePixels(D3DFORMAT format, const float* rgba, UINT count, uint8_t* target)
{
    const UINT size = bytesPerPixel(format);
    for (UINT i = 0; i < count; ++i, target += size, rgba += 4) {
        const float r = rgba[0], g = rgba[1], b = rgba[2], a = rgba[3];
        switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8: {
            // The unused byte of X8R8G8B8 is written as 255, so that the
            // pixel reads the same through either format.
            const uint32_t alpha = format == D3DFMT_A8R8G8B8 ? toUnorm(a, 8) : 0xFFu;
            store32(target, (alpha << 24) | (toUnorm(r, 8) << 16) | (toUnorm(g, 8) << 8) | toUnorm(b, 8));
            break;
        }
        case D3DFMT_A8B8G8R8:
        case D3DFMT_X8B8G8R8: {
            const uint32_t alpha = format == D3DFMT_A8B8G8R8 ? toUnorm(a, 8) : 0xFFu;
            store32(target, (alpha << 24) | (toUnorm(b, 8) << 16) | (toUnorm(g, 8) << 8) | toUnorm(r, 8));
            break;
        }
        case D3DFMT_R5G6B5:
            store16(target, static_cast<uint16_t>((toUnorm(r, 5) << 11) | (toUnorm(g, 6) << 5) | toUnorm(b, 5)));
            break;
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            const uint32_t alpha = format == D3DFMT_A1R5G5B5 ? toUnorm(a, 1) : 1u;
            store16(target, static_cast<uint16_t>((alpha << 15) | (toUnorm(r, 5) << 10) | (toUnorm(g, 5) << 5) |
                                                  toUnorm(b, 5)));
            break;
        }
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: {
            const uint32_t alpha = format == D3DFMT_A4R4G4B4 ? toUnorm(a, 4) : 0xFu;
            store16(target, static_cast<uint16_t>((alpha << 12) | (toUnorm(r, 4) << 8) | (toUnorm(g, 4) << 4) |
                                                  toUnorm(b, 4)));
            break;
        }
        case D3DFMT_A2R10G10B10:
            store32(target, (toUnorm(a, 2) << 30) | (toUnorm(r, 10) << 20) | (toUnorm(g, 10) << 10) | toUnorm(b, 10));
            break;
        case D3DFMT_A2B10G10R10:
            store32(target, (toUnorm(a, 2) << 30) | (toUnorm(b, 10) << 20) | (toUnorm(g, 10) << 10) | toUnorm(r, 10));
            break;
        case D3DFMT_G16R16:
            store32(target, (toUnorm(g, 16) << 16) | toUnorm(r, 16));
            break;
        case D3DFMT_A16B16G16R16:
            store16(target, static_cast<uint16_t>(toUnorm(r, 16)));
            store16(target + 2, static_cast<uint16_t>(toUnorm(g, 16)));
            store16(target + 4, static_cast<uint16_t>(toUnorm(b, 16)));
            store16(target + 6, static_cast<uint16_t>(toUnorm(a, 16)));
            break;
        case D3DFMT_A8:
            target[0] = static_cast<uint8_t>(toUnorm(a, 8));
            break;
        case D3DFMT_L8:
            // Luminance of Rec. 601, as the D3DX converters use.
            target[0] = static_cast<uint8_t>(toUnorm(0.299f * r + 0.587f * g + 0.114f * b, 8));
            break;
        case D3DFMT_A8L8:
            target[0] = static_cast<uint8_t>(toUnorm(0.299f * r + 0.587f * g + 0.114f * b, 8));
            target[1] = static_cast<uint8_t>(toUnorm(a, 8));
            break;
        case D3DFMT_L16:
            store16(target, static_cast<uint16_t>(toUnorm(0.299f * r + 0.587f * g + 0.114f * b, 16)));
            break;
        case D3DFMT_R16F:
            store16(target, floatToHalf(r));
            break;
        case D3DFMT_G16R16F:
            store16(target, floatToHalf(r));
            store16(target + 2, floatToHalf(g));
            break;
        case D3DFMT_A16B16G16R16F:
            store16(target, floatToHalf(r));
            store16(target + 2, floatToHalf(g));
            store16(target + 4, floatToHalf(b));
            store16(target + 6, floatToHalf(a));
            break;
        case D3DFMT_R32F:
            storeFloat(target, r);
            break;
        case D3DFMT_G32R32F:
            storeFloat(target, r);
            storeFloat(target + 4, g);
            break;
        case D3DFMT_A32B32G32R32F:
            storeFloat(target, r);
            storeFloat(target + 4, g);
            storeFloat(target + 8, b);
            storeFloat(target + 12, a);
            break;
        default:
            break;
        }
    }
}

void encodeColor(D3DFORMAT format, D3DCOLOR color, uint8_t* pixel)
{
    if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) {
        // Exact: the colour word is the pixel.
        store32(pixel, color);
        return;
    }
    const float rgba[4] = {fromUnorm((color >> 16) & 0xFF, 8), fromUnorm((color >> 8) & 0xFF, 8),
                           fromUnorm(color & 0xFF, 8), fromUnorm(color >> 24, 8)};
    encodePixels(format, rgba, 1, pixel);
}

uint32_t maxDepthBits(D3DFORMAT format) { return format == D3DFMT_D16 ? 0xFFFFu : 0xFFFFFFu; }

uint32_t depthToBits(D3DFORMAT format, float depth)
{
    const double max = static_cast<double>(maxDepthBits(format));
    return static_cast<uint32_t>(static_cast<double>(clamp01(depth)) * max + 0.5);
}

} // namespace swd3d9
