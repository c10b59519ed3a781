// The box blur: an alpha-weighted separable box blur with its window rule,
// checked against a double-precision reference, on uniform images, on
// sparse bright texels, and for the kernel sizes and textures it refuses.

#include "renderer/dx/KXDXBoxBlurFilter.h"
#include "resources/KXDXMemoryTexture.h"

#include "KXDXTestSupport.h"
#include "renderer/KXResult.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

using namespace kxdxtest;

namespace {

// A texel as alpha and alpha-weighted (premultiplied) colour, in 0..255.
struct Texel {
    double a = 0, r = 0, g = 0, b = 0;
};

// One pass of the reference: the window of x is [max(0, x - r),
// min(x + r, n)); alpha is its mean, colour its alpha-weighted mean, kept
// premultiplied so that the second pass weights by the first pass's alpha.
std::vector<Texel> referencePass(const std::vector<Texel>& in, unsigned width, unsigned height, unsigned r,
                                 bool horizontal)
{
    std::vector<Texel> out(in.size());
    const unsigned n = horizontal ? width : height;
    for (unsigned line = 0; line < (horizontal ? height : width); ++line)
        for (unsigned x = 0; x < n; ++x) {
            const unsigned begin = x > r ? x - r : 0, end = std::min(x + r, n);
            Texel sum;
            for (unsigned i = begin; i < end; ++i) {
                const Texel& t = horizontal ? in[line * width + i] : in[i * width + line];
                sum.a += t.a;
                sum.r += t.r;
                sum.g += t.g;
                sum.b += t.b;
            }
            const double k = end - begin;
            out[horizontal ? line * width + x : x * width + line] = {sum.a / k, sum.r / k, sum.g / k, sum.b / k};
        }
    return out;
}

class BoxBlurTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(DeviceTest::SetUp());
        source = createMemoryTexture<KXDXMemoryTexture>();
        target = createMemoryTexture<KXDXMemoryTexture>();
        ASSERT_TRUE(source && target);
        ASSERT_EQ(KXRESULT_OK, source->initialize(device.get()));
        ASSERT_EQ(KXRESULT_OK, target->initialize(device.get()));
    }
    void TearDown() override
    {
        for (KXMemoryTexture* texture : {source.get(), target.get()})
            if (texture)
                texture->release();
        source.reset();
        target.reset();
        DeviceTest::TearDown();
    }

    // Blurs the words (width x height, rows from the top) with the kernel
    // size and gives the target's words.
    std::vector<uint32_t> blur(const std::vector<uint32_t>& words, unsigned width, unsigned height, unsigned kernel)
    {
        std::vector<uint32_t> result(words.size());
        EXPECT_EQ(KXRESULT_OK, source->create(width, height));
        EXPECT_EQ(KXRESULT_OK, target->create(width, height));
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(D3D_OK, source->getTexture()->LockRect(0, &locked, nullptr, 0));
        for (unsigned y = 0; y < height; ++y)
            std::memcpy(static_cast<unsigned char*>(locked.pBits) + y * locked.Pitch, &words[y * width], width * 4);
        source->getTexture()->UnlockRect(0);
        const Made<KXTextureFilter> filter = createTextureFilter();
        EXPECT_TRUE(filter);
        if (!filter)
            return result;
        EXPECT_EQ(KXRESULT_OK, filter->setKernelSize(kernel));
        EXPECT_EQ(KXRESULT_OK, filter->apply(source.get(), target.get()));
        EXPECT_EQ(D3D_OK, target->getTexture()->LockRect(0, &locked, nullptr, D3DLOCK_READONLY));
        for (unsigned y = 0; y < height; ++y)
            std::memcpy(&result[y * width], static_cast<unsigned char*>(locked.pBits) + y * locked.Pitch, width * 4);
        target->getTexture()->UnlockRect(0);
        return result;
    }

    Made<KXDXMemoryTexture> source, target;
};

unsigned alphaOf(uint32_t w) { return w >> 24; }

} // namespace

// Random texels against the double-precision reference. Integer division
// loses less than one unit per pass, and the blurred alpha is at least 1:
// alpha and the premultiplied colour (what blending shows) agree within 2.
TEST_F(BoxBlurTest, MatchesASeparableReference)
{
    std::mt19937 random(12345);
    for (unsigned kernel : {3u, 17u}) {
        SCOPED_TRACE(kernel);
        const unsigned width = 37, height = 23;
        std::vector<uint32_t> words(width * height);
        std::vector<Texel> texels(words.size());
        for (size_t i = 0; i < words.size(); ++i) {
            words[i] = random();
            if (i % 3 == 0)
                words[i] &= 0x00FFFFFF; // transparent texels among the others
            const double a = alphaOf(words[i]);
            texels[i] = {a, a * red(words[i]), a * green(words[i]), a * blue(words[i])};
        }
        const std::vector<Texel> reference = referencePass(
            referencePass(texels, width, height, kernel / 2, true), width, height, kernel / 2, false);
        const std::vector<uint32_t> blurred = blur(words, width, height, kernel);
        for (size_t i = 0; i < words.size(); ++i) {
            const double a = alphaOf(blurred[i]);
            const Texel& t = reference[i];
            ASSERT_NEAR(std::max(t.a, 1.0), a, 2.0) << i;
            ASSERT_NEAR(t.r / 255, a * red(blurred[i]) / 255, 2.0) << i;
            ASSERT_NEAR(t.g / 255, a * green(blurred[i]) / 255, 2.0) << i;
            ASSERT_NEAR(t.b / 255, a * blue(blurred[i]) / 255, 2.0) << i;
        }
    }
}

// A uniform image, opaque or not, is unchanged; a fully transparent one
// stays colour 0 with alpha 1.
TEST_F(BoxBlurTest, UniformImagesAreUnchanged)
{
    for (uint32_t word : {0xFF336699u, 0x80C0FFEEu, 0x01FFFFFFu}) {
        const std::vector<uint32_t> image(20 * 11, word);
        EXPECT_EQ(image, blur(image, 20, 11, 17)) << std::hex << word;
    }
    EXPECT_EQ(std::vector<uint32_t>(9 * 5, 0x01000000u), blur(std::vector<uint32_t>(9 * 5, 0), 9, 5, 5));
}

// White opaque texels far apart among transparent black: every colour that
// reaches a texel is a grey, so red, green and blue stay equal; a channel
// beyond 255 would spill into its neighbour and break that.
TEST_F(BoxBlurTest, SparseBrightTexelsStayWithinRange)
{
    const unsigned width = 64, height = 64;
    std::vector<uint32_t> image(width * height, 0);
    for (unsigned y = 5; y < height; y += 23)
        for (unsigned x = 3; x < width; x += 29)
            image[y * width + x] = 0xFFFFFFFFu;
    unsigned brightest = 0;
    for (uint32_t word : blur(image, width, height, 17)) {
        ASSERT_TRUE(red(word) == green(word) && green(word) == blue(word)) << std::hex << word;
        brightest = std::max(brightest, static_cast<unsigned>(red(word)));
    }
    EXPECT_GT(brightest, 128u);
}

// The window holds the texel and r - 1 texels after it, and r before it:
// with kernel 3 an impulse at 5 reaches columns 5 and 6 with half its alpha
// (127) and its colour, then rows 2 and 3 with alpha (127 + 1) / 2, the
// transparent neighbour counting with the least alpha 1 and colour black.
// Even kernels and kernels below 3 are refused and leave the size as it was.
TEST_F(BoxBlurTest, KernelSizeAndWindowRules)
{
    const Made<KXDXBoxBlurFilter> filter = createTextureFilter<KXDXBoxBlurFilter>();
    ASSERT_TRUE(filter);
    EXPECT_EQ(17u, filter->getKernelSize());
    EXPECT_EQ(8u, filter->getRadius());
    for (unsigned refused : {0u, 1u, 2u, 4u, 18u})
        EXPECT_EQ(KXRESULT_FAILED, filter->setKernelSize(refused)) << refused;
    EXPECT_EQ(17u, filter->getKernelSize());
    EXPECT_EQ(KXRESULT_OK, filter->setKernelSize(3));
    EXPECT_EQ(1u, filter->getRadius());

    std::vector<uint32_t> image(10 * 6, 0);
    image[2 * 10 + 5] = 0xFF204080u;
    const std::vector<uint32_t> blurred = blur(image, 10, 6, 3);
    for (unsigned y = 0; y < 6; ++y)
        for (unsigned x = 0; x < 10; ++x) {
            const bool reached = (x == 5 || x == 6) && (y == 2 || y == 3);
            // Colour c * 127 / 128: 0x20 -> 0x1F, 0x40 -> 0x3F, 0x80 -> 0x7F.
            EXPECT_EQ(reached ? 0x401F3F7Fu : 0x01000000u, blurred[y * 10 + x]) << x << ", " << y;
        }
}

// Null textures give -3; textures of different sizes, or without their
// Direct3D texture, give -1 and the target keeps its texels.
TEST_F(BoxBlurTest, RefusesMismatchedTextures)
{
    const Made<KXTextureFilter> filter = createTextureFilter();
    const Made<KXMemoryTexture> other = createMemoryTexture();
    ASSERT_TRUE(filter && other);
    EXPECT_EQ(KXRESULT_NULLARGUMENT, filter->apply(nullptr, target.get()));
    EXPECT_EQ(KXRESULT_NULLARGUMENT, filter->apply(source.get(), nullptr));
    EXPECT_EQ(KXRESULT_FAILED, filter->apply(source.get(), other.get())) << "neither has a texture";
    ASSERT_EQ(KXRESULT_OK, source->create(8, 8));
    ASSERT_EQ(KXRESULT_OK, target->create(8, 4));
    EXPECT_EQ(KXRESULT_FAILED, filter->apply(source.get(), target.get()));
    ASSERT_EQ(KXRESULT_OK, target->create(8, 8));
    EXPECT_EQ(KXRESULT_FAILED, filter->apply(source.get(), source.get())) << "a level is locked once at a time";
    EXPECT_EQ(KXRESULT_OK, filter->apply(source.get(), target.get()));
}
