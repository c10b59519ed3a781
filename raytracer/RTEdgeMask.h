#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

class KXRawImage2D;

// One bit per pixel marking the pixels the anti-aliasing pass traces again.
// Rows share machine words, so bits are set atomically: neighbouring rows
// marked by different threads at once keep both their bits.
class RTEdgeMask
{
public:
    RTEdgeMask(unsigned width, unsigned height);

    unsigned getWidth() const { return m_width; }
    unsigned getHeight() const { return m_height; }
    void set(unsigned x, unsigned y);
    bool test(unsigned x, unsigned y) const;
    size_t count() const;

    // Marks the pixels where the Sobel gradient of the intensity has a
    // squared magnitude above 0.25. Border pixels are never marked. Rows are
    // shared among threads threads.
    void detectEdges(const KXRawImage2D& image, int threads);

private:
    unsigned m_width;
    unsigned m_height;
    size_t m_words;
    std::unique_ptr<std::atomic<uint64_t>[]> m_bits;
};
