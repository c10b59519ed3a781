#include "pipeline/VertexFetch.h"


#include <algorithm>
#include <cstring>

namespace swd3d9 {
namespace pipeline {

namespace {

constexpr VertexElement ABSENT = {-1, 0, 0};

void readColor(const uint8_t* p, float* rgba)
{
    uint32_t c;
    std::memcpy(&c, p, 4);
    rgba[0] = static_cast<float>((c >> 16) & 0xFF) * (1.0f / 255.0f);
    rgba[1] = static_cast<float>((c >> 8) & 0xFF) * (1.0f / 255.0f);
    rgba[2] = static_cast<float>(c & 0xFF) * (1.0f / 255.0f);
    rgba[3] = static_cast<float>(c >> 24) * (1.0f / 255.0f);
}

float halfToFloat(uint16_t h)
{
    const uint32_t sign = static_cast<uint32_t>(h & 0x8000u) << 16;
    const uint32_t exponent = (h >> 10) & 0x1F;
    const uint32_t mantissa = h & 0x3FFu;
    uint32_t bits;
    if (exponent == 0x1F) {
        bits = sign | 0x7F800000u | (mantissa << 13);
    } else if (exponent != 0) {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    } else {
        // Zero or a subnormal: mantissa * 2^-24.
        const float value = static_cast<float>(mantissa) * (1.0f / 16777216.0f);
        std::memcpy(&bits, &value, 4);
        bits |= sign;
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// Components of a declaration type, with Direct3D's defaults (0, 0, 0, 1)
// for the missing ones.
void readElement(const uint8_t* p, uint8_t type, float* out)
{
    out[0] = out[1] = out[2] = 0.0f;
    out[3] = 1.0f;
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(out, p, sizeof(float) * (type - D3DDECLTYPE_FLOAT1 + 1));
        break;
    case D3DDECLTYPE_D3DCOLOR:
        readColor(p, out);
        break;
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 4; ++i)
            out[i] = p[i];
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 4; ++i)
            out[i] = p[i] * (1.0f / 255.0f);
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4: {
        const int n = type == D3DDECLTYPE_SHORT2 ? 2 : 4;
        for (int i = 0; i < n; ++i) {
            int16_t v;
            std::memcpy(&v, p + 2 * i, 2);
            out[i] = v;
        }
        break;
    }
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N: {
        const int n = type == D3DDECLTYPE_SHORT2N ? 2 : 4;
        for (int i = 0; i < n; ++i) {
            int16_t v;
            std::memcpy(&v, p + 2 * i, 2);
            out[i] = v < -32767 ? -1.0f : v / 32767.0f;
        }
        break;
    }
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N: {
        const int n = type == D3DDECLTYPE_USHORT2N ? 2 : 4;
        for (int i = 0; i < n; ++i) {
            uint16_t v;
            std::memcpy(&v, p + 2 * i, 2);
            out[i] = v / 65535.0f;
        }
        break;
    }
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N: {
        // Three 10-bit fields from the low bits up; the top two bits unused.
        uint32_t v;
        std::memcpy(&v, p, 4);
        for (int i = 0; i < 3; ++i) {
            const uint32_t field = (v >> (10 * i)) & 0x3FF;
            if (type == D3DDECLTYPE_UDEC3) {
                out[i] = static_cast<float>(field);
            } else {
                const int value = field >= 512 ? static_cast<int>(field) - 1024 : static_cast<int>(field);
                out[i] = value < -511 ? -1.0f : value / 511.0f;
            }
        }
        break;
    }
    case D3DDECLTYPE_FLOAT16_2:
    case D3DDECLTYPE_FLOAT16_4: {
        const int n = type == D3DDECLTYPE_FLOAT16_2 ? 2 : 4;
        for (int i = 0; i < n; ++i) {
            uint16_t h;
            std::memcpy(&h, p + 2 * i, 2);
            out[i] = halfToFloat(h);
        }
        break;
    }
    default:
        break;
    }
}

bool supportedType(BYTE type) { return type <= D3DDECLTYPE_FLOAT16_4; }

UINT elementSize(uint8_t type)
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_UBYTE4N:
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_FLOAT16_2:
        return 4;
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_SHORT4:
    case D3DDECLTYPE_SHORT4N:
    case D3DDECLTYPE_USHORT4N:
    case D3DDECLTYPE_FLOAT16_4:
        return 8;
    case D3DDECLTYPE_FLOAT3:
        return 12;
    case D3DDECLTYPE_FLOAT4:
        return 16;
    default:
        return 4;
    }
}

} // namespace

UINT layoutExtent(const VertexLayout& layout, int stream)
{
    UINT extent = 0;
    auto include = [&](const VertexElement& e) {
        if (e.stream == stream)
            extent = std::max<UINT>(extent, e.offset + elementSize(e.type));
    };
    include(layout.position);
    include(layout.normal);
    include(layout.diffuse);
    include(layout.specular);
    for (const VertexElement& t : layout.texCoords)
        include(t);
    return extent;
}

bool layoutFromFvf(DWORD fvf, VertexLayout& layout)
{
    layout.pretransformed = false;
    layout.position = layout.normal = layout.diffuse = layout.specular = ABSENT;
    for (VertexElement& t : layout.texCoords)
        t = ABSENT;
    UINT offset = 0;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    switch (position) {
    case D3DFVF_XYZ:
        layout.position = {0, D3DDECLTYPE_FLOAT3, 0};
        offset = 12;
        break;
    case D3DFVF_XYZRHW:
        layout.position = {0, D3DDECLTYPE_FLOAT4, 0};
        layout.pretransformed = true;
        offset = 16;
        break;
    case D3DFVF_XYZW:
        layout.position = {0, D3DDECLTYPE_FLOAT4, 0};
        offset = 16;
        break;
    case D3DFVF_XYZB1:
    case D3DFVF_XYZB2:
    case D3DFVF_XYZB3:
    case D3DFVF_XYZB4:
    case D3DFVF_XYZB5:
        // Blend weights follow the position; vertex blending is off, so
        // they are skipped.
        layout.position = {0, D3DDECLTYPE_FLOAT3, 0};
        offset = 12 + 4 * ((position - D3DFVF_XYZB1) / 2 + 1);
        break;
    default:
        return false;
    }
    if (fvf & D3DFVF_NORMAL) {
        layout.normal = {0, D3DDECLTYPE_FLOAT3, static_cast<uint16_t>(offset)};
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE)
        offset += 4;
    if (fvf & D3DFVF_DIFFUSE) {
        layout.diffuse = {0, D3DDECLTYPE_D3DCOLOR, static_cast<uint16_t>(offset)};
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        layout.specular = {0, D3DDECLTYPE_D3DCOLOR, static_cast<uint16_t>(offset)};
        offset += 4;
    }
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < texCount && i < 8; ++i) {
        // D3DFVF_TEXCOORDSIZE bits: 0 two floats, 1 three, 2 four, 3 one.
        const DWORD code = (fvf >> (16 + 2 * i)) & 3;
        const UINT floats = code == 0 ? 2 : code == 1 ? 3 : code == 2 ? 4 : 1;
        layout.texCoords[i] = {0, static_cast<uint8_t>(D3DDECLTYPE_FLOAT1 + floats - 1), static_cast<uint16_t>(offset)};
        offset += 4 * floats;
    }
    return true;
}

bool layoutFromDeclaration(const std::vector<D3DVERTEXELEMENT9>& declaration, VertexLayout& layout)
{
    layout.pretransformed = false;
    layout.position = layout.normal = layout.diffuse = layout.specular = ABSENT;
    for (VertexElement& t : layout.texCoords)
        t = ABSENT;
    for (const D3DVERTEXELEMENT9& e : declaration) {
        if (!supportedType(e.Type) || e.Stream >= STREAM_COUNT)
            continue;
        const VertexElement element = {static_cast<int8_t>(e.Stream), e.Type, e.Offset};
        switch (e.Usage) {
        case D3DDECLUSAGE_POSITION:
            if (e.UsageIndex == 0)
                layout.position = element;
            break;
        case D3DDECLUSAGE_POSITIONT:
            layout.position = element;
            layout.pretransformed = true;
            break;
        case D3DDECLUSAGE_NORMAL:
            if (e.UsageIndex == 0)
                layout.normal = element;
            break;
        case D3DDECLUSAGE_COLOR:
            if (e.UsageIndex == 0)
                layout.diffuse = element;
            else if (e.UsageIndex == 1)
                layout.specular = element;
            break;
        case D3DDECLUSAGE_TEXCOORD:
            if (e.UsageIndex < 8)
                layout.texCoords[e.UsageIndex] = element;
            break;
        default:
            break;
        }
    }
    return layout.position.stream >= 0;
}

bool programInputsFromDeclaration(const std::vector<D3DVERTEXELEMENT9>& declaration, const uint8_t (*usages)[2],
                                  int count, ProgramInputLayout& layout)
{
    if (count > MAX_PROGRAM_INPUTS)
        return false;
    layout.count = count;
    for (int i = 0; i < count; ++i) {
        layout.elements[i] = ABSENT;
        for (const D3DVERTEXELEMENT9& e : declaration) {
            if (e.Usage == usages[i][0] && e.UsageIndex == usages[i][1] && supportedType(e.Type) &&
                e.Stream < STREAM_COUNT) {
                layout.elements[i] = {static_cast<int8_t>(e.Stream), e.Type, e.Offset};
                break;
            }
        }
    }
    return true;
}

bool programInputsFromFvf(DWORD fvf, const uint8_t (*usages)[2], int count, ProgramInputLayout& layout)
{
    VertexLayout fixed;
    if (count > MAX_PROGRAM_INPUTS || !layoutFromFvf(fvf, fixed))
        return false;
    layout.count = count;
    for (int i = 0; i < count; ++i) {
        const uint8_t usage = usages[i][0], index = usages[i][1];
        VertexElement e = ABSENT;
        if (usage == D3DDECLUSAGE_POSITION && index == 0 && !fixed.pretransformed)
            e = fixed.position;
        else if (usage == D3DDECLUSAGE_POSITIONT && index == 0 && fixed.pretransformed)
            e = fixed.position;
        else if (usage == D3DDECLUSAGE_NORMAL && index == 0)
            e = fixed.normal;
        else if (usage == D3DDECLUSAGE_COLOR && index == 0)
            e = fixed.diffuse;
        else if (usage == D3DDECLUSAGE_COLOR && index == 1)
            e = fixed.specular;
        else if (usage == D3DDECLUSAGE_TEXCOORD && index < 8)
            e = fixed.texCoords[index];
        layout.elements[i] = e;
    }
    return true;
}

UINT programInputExtent(const ProgramInputLayout& layout, int stream)
{
    UINT extent = 0;
    for (int i = 0; i < layout.count; ++i) {
        const VertexElement& e = layout.elements[i];
        if (e.stream == stream)
            extent = std::max<UINT>(extent, e.offset + elementSize(e.type));
    }
    return extent;
}

void fetchProgramInputs(const ProgramInputLayout& layout, const StreamView* streams, UINT first, int count,
                        float* const* columns)
{
    for (int i = 0; i < layout.count; ++i) {
        const VertexElement& e = layout.elements[i];
        float* x = columns[4 * i];
        float* y = columns[4 * i + 1];
        float* z = columns[4 * i + 2];
        float* w = columns[4 * i + 3];
        if (e.stream < 0) {
            for (int k = 0; k < count; ++k) {
                x[k] = y[k] = z[k] = 0.0f;
                w[k] = 1.0f;
            }
            continue;
        }
        const StreamView& s = streams[e.stream];
        const uint8_t* p = s.data + static_cast<size_t>(first) * s.stride + e.offset;
        if (e.type == D3DDECLTYPE_FLOAT3) {
            // The common case, without the general conversion.
            for (int k = 0; k < count; ++k, p += s.stride) {
                float v[3];
                std::memcpy(v, p, sizeof(v));
                x[k] = v[0], y[k] = v[1], z[k] = v[2], w[k] = 1.0f;
            }
            continue;
        }
        for (int k = 0; k < count; ++k, p += s.stride) {
            float v[4];
            readElement(p, e.type, v);
            x[k] = v[0], y[k] = v[1], z[k] = v[2], w[k] = v[3];
        }
    }
}

void fetchVertex(const VertexLayout& layout, const StreamView* streams, UINT index, FetchedVertex& vertex)
{
    auto at = [&](const VertexElement& e) {
        const StreamView& s = streams[e.stream];
        return s.data + static_cast<size_t>(index) * s.stride + e.offset;
    };
    readElement(at(layout.position), layout.position.type, vertex.position);
    if (layout.position.type == D3DDECLTYPE_FLOAT3)
        vertex.position[3] = 1.0f;
    if (layout.normal.stream >= 0) {
        float n[4];
        readElement(at(layout.normal), layout.normal.type, n);
        vertex.normal[0] = n[0];
        vertex.normal[1] = n[1];
        vertex.normal[2] = n[2];
    } else {
        vertex.normal[0] = vertex.normal[1] = vertex.normal[2] = 0.0f;
    }
    if (layout.diffuse.stream >= 0) {
        readElement(at(layout.diffuse), layout.diffuse.type, vertex.diffuse);
    } else {
        vertex.diffuse[0] = vertex.diffuse[1] = vertex.diffuse[2] = vertex.diffuse[3] = 1.0f;
    }
    if (layout.specular.stream >= 0) {
        readElement(at(layout.specular), layout.specular.type, vertex.specular);
    } else {
        vertex.specular[0] = vertex.specular[1] = vertex.specular[2] = vertex.specular[3] = 0.0f;
    }
    for (int i = 0; i < 8; ++i) {
        const VertexElement& e = layout.texCoords[i];
        float* t = vertex.texCoords[i];
        if (e.stream < 0) {
            t[0] = t[1] = t[2] = 0.0f;
            t[3] = 1.0f;
            continue;
        }
        // Components the set does not give read as the declaration rule
        // has them, (0, 0, 1) for the last three: a cube texture addressed
        // by a 2D set looks along (u, v, 0), as drivers do. (A texture
        // transform extends the set its own way: see colorVertex.)
        readElement(at(e), e.type, t);
    }
}

} // namespace pipeline
} // namespace swd3d9
