#include "renderer/dx/KXDXBoxBlurFilter.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXResult.h"
#include "resources/KXDXMemoryTexture.h"

#include <d3d9.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// A line of texels: n 32-bit A8R8G8B8 words, `stride` bytes apart.
struct Line {
    unsigned char* start;
    size_t stride;

    uint32_t get(unsigned i) const
    {
        uint32_t word;
        std::memcpy(&word, start + i * stride, 4);
        return word;
    }
    void set(unsigned i, uint32_t word) const { std::memcpy(start + i * stride, &word, 4); }
};

// Alpha and alpha-weighted colour sums over a window. 64 bits: a window of
// 2r texels adds up to 2r * 255 * 255, beyond 32 bits for large kernels.
struct WindowSums {
    uint64_t alpha = 0, red = 0, green = 0, blue = 0;

    void add(uint32_t word)
    {
        const uint64_t a = word >> 24;
        alpha += a;
        red += a * ((word >> 16) & 0xFF);
        green += a * ((word >> 8) & 0xFF);
        blue += a * (word & 0xFF);
    }
    void remove(uint32_t word)
    {
        const uint64_t a = word >> 24;
        alpha -= a;
        red -= a * ((word >> 16) & 0xFF);
        green -= a * ((word >> 8) & 0xFF);
        blue -= a * (word & 0xFF);
    }
};

// One pass along a line of n texels with radius r: output x averages the
// window [max(0, x - r), min(x + r, n)), k texels. Alpha is the mean alpha
// A / k (at least 1, so that a blurred area is never fully transparent);
// colour is the alpha-weighted mean sum(c * a) / A, which never exceeds the
// largest colour of the window. The window slides: one texel enters on the
// right and one leaves on the left per step.
void blurLine(const Line& in, const Line& out, unsigned n, unsigned r)
{
    WindowSums sums;
    const unsigned firstEnd = std::min(r, n);
    for (unsigned i = 0; i < firstEnd; ++i)
        sums.add(in.get(i));
    for (unsigned x = 0; x < n; ++x) {
        if (x > 0) {
            if (uint64_t(x) - 1 + r < n)
                sums.add(in.get(x - 1 + r));
            if (x > r)
                sums.remove(in.get(x - 1 - r));
        }
        const unsigned begin = x > r ? x - r : 0;
        const unsigned end = static_cast<unsigned>(std::min<uint64_t>(uint64_t(x) + r, n));
        const uint64_t k = end - begin;
        const uint64_t alpha = std::max<uint64_t>(sums.alpha / k, 1);
        uint32_t word = static_cast<uint32_t>(alpha) << 24;
        if (sums.alpha > 0)
            word |= static_cast<uint32_t>(sums.red / sums.alpha) << 16 |
                    static_cast<uint32_t>(sums.green / sums.alpha) << 8 | static_cast<uint32_t>(sums.blue / sums.alpha);
        out.set(x, word);
    }
}

} // namespace

int KXDXBoxBlurFilter::setKernelSize(unsigned size)
{
    if (size < 3 || size % 2 == 0)
        return KXRESULT_FAILED;
    m_kernelSize = size;
    return KXRESULT_OK;
}

int KXDXBoxBlurFilter::apply(KXMemoryTexture* source, KXMemoryTexture* target)
{
    if (!source || !target)
        return KXRESULT_NULLARGUMENT;
    auto* from = dynamic_cast<KXDXMemoryTexture*>(source);
    auto* to = dynamic_cast<KXDXMemoryTexture*>(target);
    if (!from || !to || from->getWidth() != to->getWidth() || from->getHeight() != to->getHeight() ||
        !from->getTexture() || !to->getTexture())
        return KXRESULT_FAILED;
    const unsigned width = from->getWidth();
    const unsigned height = from->getHeight();
    const unsigned r = getRadius();

    // The horizontal pass goes to a copy, so that the vertical pass reads
    // only horizontal results, never texels it has already replaced.
    std::vector<uint32_t> rows;
    if (!kxRunWithinMemory([&] { rows.resize(static_cast<size_t>(width) * height); }))
        return KXRESULT_FAILED;

    D3DLOCKED_RECT in, out;
    if (FAILED(from->getTexture()->LockRect(0, &in, nullptr, D3DLOCK_NOSYSLOCK | D3DLOCK_READONLY)))
        return KXRESULT_FAILED;
    if (FAILED(to->getTexture()->LockRect(0, &out, nullptr, D3DLOCK_NOSYSLOCK))) {
        from->getTexture()->UnlockRect(0);
        return KXRESULT_FAILED;
    }
    auto* inBits = static_cast<unsigned char*>(in.pBits);
    auto* outBits = static_cast<unsigned char*>(out.pBits);
    auto* copy = reinterpret_cast<unsigned char*>(rows.data());
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (unsigned y = 0; y < height; ++y)
        blurLine(Line{inBits + static_cast<size_t>(y) * in.Pitch, 4}, Line{copy + y * rowBytes, 4}, width, r);
    for (unsigned x = 0; x < width; ++x)
        blurLine(Line{copy + static_cast<size_t>(x) * 4, rowBytes},
                 Line{outBits + static_cast<size_t>(x) * 4, static_cast<size_t>(out.Pitch)}, height, r);
    to->getTexture()->UnlockRect(0);
    from->getTexture()->UnlockRect(0);
    // A later UpdateTexture copies the whole target.
    to->getTexture()->AddDirtyRect(nullptr);
    return KXRESULT_OK;
}
