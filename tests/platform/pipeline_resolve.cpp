// The resolve stage: multisampled pixels against the mean of their samples
// and the floating-point conversions the integer paths replace, and the
// presented picture of a back buffer against its read-back.

#include "pipeline_support.h"

#include "pipeline/Formats.h"
#include "pipeline/PixelBuffer.h"
#include "pipeline/Resolve.h"

#include <cmath>
#include <random>
#include <vector>

using namespace d3dtest;
using swd3d9::PixelBuffer;

namespace {

uint32_t loadPixel(const uint8_t* p, UINT size)
{
    uint32_t v = 0;
    std::memcpy(&v, p, size);
    return v;
}

// A pixel as the window's word through the general conversions.
uint32_t floatBGRA(D3DFORMAT format, const uint8_t* pixel)
{
    float rgba[4];
    swd3d9::decodePixels(format, pixel, 1, rgba);
    rgba[3] = 1.0f;
    uint8_t bytes[4];
    swd3d9::encodePixels(D3DFMT_A8R8G8B8, rgba, 1, bytes);
    return loadPixel(bytes, 4);
}

} // namespace

TEST(ResolveStage, EachChannelIsTheMeanOfItsSamplesRoundedHalfUp)
{
    // Random samples (3 take the path for counts not known in advance) and
    // every pair of 8-bit values. 8-bit channels also agree with the float
    // average replaced: decoded samples summed in order, scaled, encoded.
    std::mt19937 random(7);
    for (const D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5})
        for (const UINT n : {2u, 3u, 4u}) {
            const bool wide = format != D3DFMT_R5G6B5, pairs = wide && n == 2;
            const std::vector<uint32_t> masks = wide ? std::vector<uint32_t>{0xFF000000, 0xFF0000, 0xFF00, 0xFF}
                                                     : std::vector<uint32_t>{0xF800, 0x07E0, 0x001F};
            PixelBuffer buffer;
            ASSERT_TRUE(buffer.allocate(format, 256, pairs ? 256 : 8, 1, n));
            for (size_t i = 0; i < buffer.planeSize() * n; ++i)
                buffer.data()[i] = static_cast<uint8_t>(random());
            for (UINT i = 0; pairs && i < 65536; ++i) {
                const uint32_t a = (i % 256) * 0x01010101u, b = (i / 256) * 0x01010101u;
                std::memcpy(buffer.pixel(i % 256, i / 256, 0, 0), &a, 4);
                std::memcpy(buffer.pixel(i % 256, i / 256, 0, 1), &b, 4);
            }
            // Part of each row, from an odd column.
            const UINT size = buffer.bytesPerPixel(), x0 = 3, count = buffer.width() - x0;
            std::vector<uint8_t> row(count * size), general(count * size);
            std::vector<float> sum(count * 4), decoded(count * 4);
            for (UINT y = 0; y < buffer.height(); ++y) {
                swd3d9::pipeline::resolveRow(buffer, x0, y, 0, count, row.data());
                for (UINT x = x0; x < x0 + count; ++x) {
                    // The unused byte resolves to 255, as encoding writes it.
                    uint32_t expected = format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;
                    for (const uint32_t mask : masks) {
                        const uint32_t unit = mask & (~mask + 1); // the channel's lowest bit
                        double total = 0.0;
                        for (UINT s = 0; s < n; ++s)
                            total += (loadPixel(buffer.pixel(x, y, 0, s), size) & mask) / unit;
                        expected |= static_cast<uint32_t>(std::floor(total / n + 0.5)) * unit;
                    }
                    ASSERT_EQ(expected, loadPixel(&row[(x - x0) * size], size))
                        << "format " << format << ", " << n << " samples, pixel " << x << ", " << y;
                }
                if (!wide)
                    continue;
                swd3d9::decodePixels(format, buffer.pixel(x0, y, 0, 0), count, sum.data());
                for (UINT s = 1; s < n; ++s) {
                    swd3d9::decodePixels(format, buffer.pixel(x0, y, 0, s), count, decoded.data());
                    for (size_t i = 0; i < sum.size(); ++i)
                        sum[i] += decoded[i];
                }
                for (float& v : sum)
                    v *= 1.0f / static_cast<float>(n);
                swd3d9::encodePixels(format, sum.data(), count, general.data());
                ASSERT_EQ(general, row) << "format " << format << ", " << n << " samples, row " << y;
            }
        }
}

TEST(ResolveStage, SixteenBitPixelsShowAsTheNearestEightBitValues)
{
    std::vector<uint8_t> every(65536 * 2);
    for (uint32_t v = 0; v < 65536; ++v)
        std::memcpy(&every[2 * v], &v, 2);
    std::vector<uint32_t> words(65536);
    swd3d9::pipeline::rowToBGRA(D3DFMT_R5G6B5, every.data(), 65536, words.data());
    for (uint32_t v = 0; v < 65536; ++v)
        ASSERT_EQ(floatBGRA(D3DFMT_R5G6B5, &every[2 * v]), words[v]) << "pixel " << v;
}

TEST_F(DeviceTest, PresentedPictureEqualsItsReadBackThroughAResolve)
{
    std::mt19937 random(5);
    // Tall enough for several bands of rows on the drawing threads.
    const UINT width = 61, height = 150;
    for (const D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5})
        for (const D3DMULTISAMPLE_TYPE type : {D3DMULTISAMPLE_NONE, D3DMULTISAMPLE_4_SAMPLES}) {
            SCOPED_TRACE(testing::Message() << "format " << format << ", multisample type " << type);
            D3DPRESENT_PARAMETERS p = parameters;
            p.BackBufferWidth = width;
            p.BackBufferHeight = height;
            p.BackBufferFormat = format;
            p.MultiSampleType = type;
            ASSERT_EQ(D3D_OK, device->Reset(&p));
            // Random overlapping triangles of random colours: their edges
            // leave pixels whose samples differ.
            std::uniform_real_distribution<float> x(-4.0f, width + 4.0f), y(-4.0f, height + 4.0f);
            std::vector<ScreenVertex> v;
            for (int i = 0; i < 3 * 40; ++i)
                v.push_back({x(random), y(random), 0.5f, 1.0f, static_cast<DWORD>(random())});
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
            device->SetFVF(SCREEN_FVF);
            device->BeginScene();
            ASSERT_EQ(D3D_OK, device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 40, v.data(), sizeof(ScreenVertex)));
            device->EndScene();
            ASSERT_EQ(D3D_OK, device->Present(nullptr, nullptr, nullptr, nullptr));
            std::vector<uint32_t> shown(width * height);
            UINT w = 0, h = 0;
            ASSERT_EQ(D3D_OK, SwD3D9GetPresentedImage(window, &w, &h, shown.data(), width * height * 4));
            ASSERT_TRUE(w == width && h == height);

            // The renderer's read-back: a resolve into a plain target of the
            // same format, then a copy into memory.
            Com<IDirect3DSurface9> plain, memory;
            ASSERT_EQ(D3D_OK, device->CreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                         plain.out(), nullptr));
            ASSERT_EQ(D3D_OK, device->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SYSTEMMEM,
                                                                  memory.out(), nullptr));
            ASSERT_EQ(D3D_OK, device->StretchRect(backBuffer().get(), nullptr, plain.get(), nullptr, D3DTEXF_NONE));
            ASSERT_EQ(D3D_OK, device->GetRenderTargetData(plain.get(), memory.get()));
            D3DLOCKED_RECT locked;
            ASSERT_EQ(D3D_OK, memory->LockRect(&locked, nullptr, D3DLOCK_READONLY));
            const auto* bytes = static_cast<const uint8_t*>(locked.pBits);
            const UINT size = swd3d9::bytesPerPixel(format);
            size_t differing = 0;
            for (UINT i = 0; i < width * height; ++i)
                differing += floatBGRA(format, bytes + (i / width) * locked.Pitch + (i % width) * size) != shown[i];
            memory->UnlockRect();
            EXPECT_EQ(0u, differing);
        }
}
