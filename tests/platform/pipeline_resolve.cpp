// The resolve stage: multisampled pixels against the mean of their samples
// worked out here from the bit fields, the integer paths against the
// floating-point conversions they stand in for, and the presented picture
// of a multisampled back buffer against its read-back through StretchRect.

#include "pipeline_support.h"

#include "d3d9/Formats.h"
#include "d3d9/PixelBuffer.h"
#include "pipeline/Resolve.h"

#include <cmath>
#include <random>
#include <vector>

using namespace d3dtest;
using swd3d9::PixelBuffer;

namespace {

struct Field {
    int shift, bits;
};

// The channels of the back-buffer formats, as stored.
std::vector<Field> fieldsOf(D3DFORMAT format)
{
    if (format == D3DFMT_R5G6B5)
        return {{11, 5}, {5, 6}, {0, 5}};
    return {{24, 8}, {16, 8}, {8, 8}, {0, 8}};
}

uint32_t loadPixel(const uint8_t* p, UINT size)
{
    uint32_t v = 0;
    std::memcpy(&v, p, size);
    return v;
}

void fillRandom(PixelBuffer& buffer, std::mt19937& random)
{
    uint8_t* bytes = buffer.data();
    for (size_t i = 0; i < buffer.planeSize() * buffer.samples(); ++i)
        bytes[i] = static_cast<uint8_t>(random());
}

// The general path the integer one replaces: every sample decoded to
// floats, summed in sample order, scaled by 1/n, encoded again.
std::vector<uint8_t> floatResolve(const PixelBuffer& buffer, UINT y)
{
    const UINT width = buffer.width(), n = buffer.samples();
    std::vector<float> sum(width * 4), row(width * 4);
    swd3d9::decodePixels(buffer.format(), buffer.pixel(0, y, 0, 0), width, sum.data());
    for (UINT s = 1; s < n; ++s) {
        swd3d9::decodePixels(buffer.format(), buffer.pixel(0, y, 0, s), width, row.data());
        for (size_t i = 0; i < sum.size(); ++i)
            sum[i] += row[i];
    }
    for (float& v : sum)
        v *= 1.0f / static_cast<float>(n);
    std::vector<uint8_t> out(width * buffer.bytesPerPixel());
    swd3d9::encodePixels(buffer.format(), sum.data(), width, out.data());
    return out;
}

// The window's words through the general conversions.
uint32_t floatBGRA(D3DFORMAT format, const uint8_t* pixel)
{
    float rgba[4];
    swd3d9::decodePixels(format, pixel, 1, rgba);
    rgba[3] = 1.0f;
    uint8_t bytes[4];
    swd3d9::encodePixels(D3DFMT_A8R8G8B8, rgba, 1, bytes);
    return loadPixel(bytes, 4);
}

const D3DFORMAT BACK_BUFFER_FORMATS[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5};

} // namespace

TEST(ResolveStage, EachChannelIsTheMeanOfItsSamplesRoundedHalfUp)
{
    std::mt19937 random(7);
    for (const D3DFORMAT format : BACK_BUFFER_FORMATS) {
        // 3 samples take the path for counts not known in advance.
        for (const UINT samples : {1u, 2u, 3u, 4u}) {
            PixelBuffer buffer;
            ASSERT_TRUE(buffer.allocate(format, 37, 5, 1, samples));
            fillRandom(buffer, random);
            const UINT size = buffer.bytesPerPixel();
            std::vector<uint8_t> row(buffer.width() * size);
            for (UINT y = 0; y < buffer.height(); ++y) {
                // A part of the row, from an odd column.
                const UINT x0 = 3, count = buffer.width() - 3;
                swd3d9::pipeline::resolveRow(buffer, x0, y, 0, count, row.data());
                for (UINT x = x0; x < x0 + count; ++x) {
                    const uint32_t got = loadPixel(&row[(x - x0) * size], size);
                    uint32_t expected = 0;
                    for (const Field& f : fieldsOf(format)) {
                        double sum = 0.0;
                        for (UINT s = 0; s < samples; ++s)
                            sum += (loadPixel(buffer.pixel(x, y, 0, s), size) >> f.shift) & ((1u << f.bits) - 1);
                        expected |= static_cast<uint32_t>(std::floor(sum / samples + 0.5)) << f.shift;
                    }
                    // The unused byte resolves to 255, as encoding writes it.
                    if (format == D3DFMT_X8R8G8B8 && samples > 1)
                        expected |= 0xFF000000u;
                    ASSERT_EQ(expected, got) << "format " << format << ", " << samples << " samples, pixel " << x
                                             << ", " << y;
                }
            }
        }
    }
}

TEST(ResolveStage, EightBitChannelsResolveAsTheFloatingPointAverageDid)
{
    // For 8-bit channels the integer mean and the float path agree on
    // every input (checked exhaustively for pairs, at random for four).
    PixelBuffer pairs;
    ASSERT_TRUE(pairs.allocate(D3DFMT_A8R8G8B8, 256, 256, 1, 2));
    for (UINT y = 0; y < 256; ++y)
        for (UINT x = 0; x < 256; ++x) {
            const uint32_t a = x * 0x01010101u, b = y * 0x01010101u;
            std::memcpy(pairs.pixel(x, y, 0, 0), &a, 4);
            std::memcpy(pairs.pixel(x, y, 0, 1), &b, 4);
        }
    std::mt19937 random(11);
    PixelBuffer quads;
    ASSERT_TRUE(quads.allocate(D3DFMT_A8R8G8B8, 256, 64, 1, 4));
    fillRandom(quads, random);
    for (const PixelBuffer* buffer : {&pairs, &quads}) {
        std::vector<uint8_t> row(buffer->width() * 4);
        for (UINT y = 0; y < buffer->height(); ++y) {
            swd3d9::pipeline::resolveRow(*buffer, 0, y, 0, buffer->width(), row.data());
            ASSERT_EQ(floatResolve(*buffer, y), row) << buffer->samples() << " samples, row " << y;
        }
    }
}

TEST(ResolveStage, PresentedWordsMatchTheGeneralConversion)
{
    // Every R5G6B5 value, and random 32-bit pixels.
    std::vector<uint8_t> all565(65536 * 2);
    for (uint32_t v = 0; v < 65536; ++v) {
        all565[2 * v] = static_cast<uint8_t>(v);
        all565[2 * v + 1] = static_cast<uint8_t>(v >> 8);
    }
    std::mt19937 random(3);
    std::vector<uint8_t> random32(4096 * 4);
    for (uint8_t& b : random32)
        b = static_cast<uint8_t>(random());
    struct Case {
        D3DFORMAT format;
        const std::vector<uint8_t>* pixels;
    };
    // A2R10G10B10 stands for the formats that take the general path anyway.
    for (const Case& c : {Case{D3DFMT_R5G6B5, &all565}, Case{D3DFMT_X8R8G8B8, &random32},
                          Case{D3DFMT_A8R8G8B8, &random32}, Case{D3DFMT_A2R10G10B10, &random32}}) {
        const UINT size = swd3d9::bytesPerPixel(c.format);
        const UINT count = static_cast<UINT>(c.pixels->size() / size);
        std::vector<uint32_t> words(count);
        swd3d9::pipeline::rowToBGRA(c.format, c.pixels->data(), count, words.data());
        for (UINT i = 0; i < count; ++i)
            ASSERT_EQ(floatBGRA(c.format, &(*c.pixels)[i * size]), words[i])
                << "format " << c.format << ", pixel " << i;
    }
}

namespace {

struct ColourVertex {
    float x, y, z, rhw;
    DWORD colour;
};

// Random overlapping triangles of random colours: their edges leave
// pixels whose samples differ.
void drawRandomTriangles(IDirect3DDevice9* device, std::mt19937& random, float width, float height)
{
    std::uniform_real_distribution<float> x(-4.0f, width + 4.0f), y(-4.0f, height + 4.0f);
    std::vector<ColourVertex> v;
    for (int i = 0; i < 3 * 40; ++i)
        v.push_back({x(random), y(random), 0.5f, 1.0f, static_cast<DWORD>(random())});
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device->BeginScene();
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 40, v.data(), sizeof(ColourVertex));
    device->EndScene();
}

} // namespace

TEST_F(DeviceTest, PresentedPictureEqualsItsReadBackThroughAResolve)
{
    std::mt19937 random(5);
    // Tall enough for several bands of rows on the drawing threads.
    const UINT width = 61, height = 150;
    for (const D3DFORMAT format : BACK_BUFFER_FORMATS) {
        for (const D3DMULTISAMPLE_TYPE type :
             {D3DMULTISAMPLE_NONE, D3DMULTISAMPLE_2_SAMPLES, D3DMULTISAMPLE_4_SAMPLES}) {
            SCOPED_TRACE(testing::Message() << "format " << format << ", multisample type " << type);
            D3DPRESENT_PARAMETERS p = parameters;
            p.BackBufferWidth = width;
            p.BackBufferHeight = height;
            p.BackBufferFormat = format;
            p.MultiSampleType = type;
            ASSERT_EQ(D3D_OK, device->Reset(&p));
            drawRandomTriangles(device.get(), random, static_cast<float>(width), static_cast<float>(height));
            ASSERT_EQ(D3D_OK, device->Present(nullptr, nullptr, nullptr, nullptr));
            std::vector<uint32_t> shown(width * height);
            UINT w = 0, h = 0;
            ASSERT_EQ(D3D_OK, SwD3D9GetPresentedImage(window, &w, &h, shown.data(), width * height * 4));
            ASSERT_EQ(width, w);
            ASSERT_EQ(height, h);

            // The renderer's read-back: a resolve into a plain target of the
            // same format, then a copy into memory.
            Com<IDirect3DSurface9> back = backBuffer(), plain, memory;
            ASSERT_EQ(D3D_OK, device->CreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                         plain.out(), nullptr));
            ASSERT_EQ(D3D_OK, device->StretchRect(back.get(), nullptr, plain.get(), nullptr, D3DTEXF_NONE));
            ASSERT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SYSTEMMEM,
                                                                  memory.out(), nullptr));
            ASSERT_EQ(D3D_OK, device->GetRenderTargetData(plain.get(), memory.get()));
            D3DLOCKED_RECT locked;
            ASSERT_EQ(D3D_OK, memory->LockRect(&locked, nullptr, D3DLOCK_READONLY));
            size_t differing = 0;
            const UINT size = swd3d9::bytesPerPixel(format);
            for (UINT y = 0; y < height; ++y)
                for (UINT x = 0; x < width; ++x) {
                    const uint8_t* pixel = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * size;
                    differing += floatBGRA(format, pixel) != shown[y * width + x];
                }
            memory->UnlockRect();
            EXPECT_EQ(0u, differing);

            // A resolve into another format converts the resolved pixels:
            // an X8R8G8B8 target shows exactly the presented words.
            Com<IDirect3DSurface9> wide;
            ASSERT_EQ(D3D_OK, device->CreateRenderTarget(width, height, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0,
                                                         TRUE, wide.out(), nullptr));
            ASSERT_EQ(D3D_OK, device->StretchRect(back.get(), nullptr, wide.get(), nullptr, D3DTEXF_NONE));
            ASSERT_EQ(D3D_OK, wide->LockRect(&locked, nullptr, D3DLOCK_READONLY));
            differing = 0;
            for (UINT y = 0; y < height; ++y)
                for (UINT x = 0; x < width; ++x) {
                    const uint32_t word =
                        loadPixel(static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
                    differing += (word | 0xFF000000u) != shown[y * width + x];
                }
            wide->UnlockRect();
            EXPECT_EQ(0u, differing);
        }
    }
}
