#include "raytracer/RTEdgeMask.h"

#include "sceneapi/KXRawImage2D.h"

RTEdgeMask::RTEdgeMask(unsigned width, unsigned height)
    : m_width(width), m_height(height), m_words((size_t(width) * height + 63) / 64),
      m_bits(new std::atomic<uint64_t>[m_words])
{
    for (size_t w = 0; w < m_words; ++w)
        m_bits[w].store(0, std::memory_order_relaxed);
}

void RTEdgeMask::set(unsigned x, unsigned y)
{
    const size_t bit = size_t(y) * m_width + x;
    m_bits[bit / 64].fetch_or(uint64_t(1) << (bit % 64), std::memory_order_relaxed);
}

bool RTEdgeMask::test(unsigned x, unsigned y) const
{
    const size_t bit = size_t(y) * m_width + x;
    return (m_bits[bit / 64].load(std::memory_order_relaxed) >> (bit % 64)) & 1;
}

size_t RTEdgeMask::count() const
{
    size_t n = 0;
    for (size_t w = 0; w < m_words; ++w) {
        uint64_t word = m_bits[w].load(std::memory_order_relaxed);
        for (; word; word &= word - 1)
            ++n;
    }
    return n;
}

void RTEdgeMask::detectEdges(const KXRawImage2D& image, int threads)
{
    const int width = static_cast<int>(m_width), height = static_cast<int>(m_height);
    if (width <= 2 || height <= 2)
        return;
#pragma omp parallel for num_threads(threads)
    for (int y = 1; y < height - 1; ++y) {
        // Intensities of the three rows around y, sliding along x.
        float column[3][3];
        const auto load = [&](int slot, int x) {
            for (int dy = -1; dy <= 1; ++dy)
                column[slot][dy + 1] = image.getColor(x, y + dy).intensity();
        };
        load(0, 0);
        load(1, 1);
        for (int x = 1; x < width - 1; ++x) {
            load((x + 1) % 3, x + 1);
            const float* l = column[(x - 1) % 3];
            const float* c = column[x % 3];
            const float* r = column[(x + 1) % 3];
            const float gx = (l[0] + 2.0f * l[1] + l[2]) - (r[0] + 2.0f * r[1] + r[2]);
            const float gy = (l[2] + 2.0f * c[2] + r[2]) - (l[0] + 2.0f * c[0] + r[0]);
            if (gx * gx + gy * gy > 0.25f)
                set(static_cast<unsigned>(x), static_cast<unsigned>(y));
        }
    }
}
