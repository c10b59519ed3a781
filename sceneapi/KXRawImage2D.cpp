#include "sceneapi/KXRawImage2D.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace {

float byteToUnit(unsigned char b)
{
    return static_cast<float>(b) / 255.0f;
}

} // namespace

KXRawImage2D::KXRawImage2D(unsigned width, unsigned height, KXRAWIMAGE2DFMT format, size_t fragmentLimit)
    : m_width(width), m_height(height), m_format(isValidFormat(format) ? format : KXRAWIMAGE2D_BGRA),
      m_fragmentLimit(fragmentLimit)
{
}

bool KXRawImage2D::isValidFormat(int format)
{
    return format == KXRAWIMAGE2D_RGBA || format == KXRAWIMAGE2D_BGRA;
}

void KXRawImage2D::setWidth(unsigned width)
{
    if (width != m_width)
        releaseData();
    m_width = width;
}

void KXRawImage2D::setHeight(unsigned height)
{
    if (height != m_height)
        releaseData();
    m_height = height;
}

int KXRawImage2D::setFormat(int format)
{
    if (!isValidFormat(format))
        return -1;
    m_format = static_cast<KXRAWIMAGE2DFMT>(format);
    return 0;
}

int KXRawImage2D::convertToFormat(int format)
{
    if (!isValidFormat(format))
        return -1;
    if (format != m_format) {
        // Both formats differ only in the places of red and blue.
        for (auto& fragment : m_fragments) {
            for (size_t i = 0; i + 3 < fragment.size(); i += BYTES_PER_PIXEL)
                std::swap(fragment[i], fragment[i + 2]);
        }
        m_format = static_cast<KXRAWIMAGE2DFMT>(format);
    }
    return 0;
}

int KXRawImage2D::createData()
{
    releaseData();
    if (m_width == 0 || m_height == 0)
        return -1;
    // Sizes are computed in 64 bits (a row always fits) and must fit in size_t.
    const uint64_t rowSize = static_cast<uint64_t>(m_width) * BYTES_PER_PIXEL;
    if (m_height > static_cast<uint64_t>(SIZE_MAX) / rowSize)
        return -1;
    const uint64_t total = rowSize * m_height;

    uint64_t rowsPerFragment = m_height;
    if (total > m_fragmentLimit) {
        rowsPerFragment = m_fragmentLimit / rowSize;
        if (rowsPerFragment == 0)
            rowsPerFragment = 1;
    }
    const uint64_t numFragments = (m_height + rowsPerFragment - 1) / rowsPerFragment;
    try {
        m_fragments.resize(static_cast<size_t>(numFragments));
        uint64_t rowsLeft = m_height;
        for (auto& fragment : m_fragments) {
            const uint64_t rows = rowsLeft < rowsPerFragment ? rowsLeft : rowsPerFragment;
            fragment.assign(static_cast<size_t>(rows * rowSize), 0);
            rowsLeft -= rows;
        }
    } catch (const std::bad_alloc&) {
        releaseData();
        return -1;
    }
    m_rowsPerFragment = static_cast<unsigned>(rowsPerFragment);
    m_size = static_cast<size_t>(total);
    return 0;
}

void KXRawImage2D::releaseData()
{
    std::vector<std::vector<unsigned char>>().swap(m_fragments);
    m_rowsPerFragment = 0;
    m_size = 0;
}

unsigned char* KXRawImage2D::getData()
{
    return m_fragments.size() == 1 ? m_fragments[0].data() : nullptr;
}

const unsigned char* KXRawImage2D::getData() const
{
    return m_fragments.size() == 1 ? m_fragments[0].data() : nullptr;
}

int KXRawImage2D::setData(const void* data, size_t size)
{
    if (!data)
        return -3;
    const size_t rowSize = getRowSize();
    if (rowSize == 0 || m_height == 0 || size % rowSize != 0 || size / rowSize != m_height)
        return -1;
    if (!hasData() && createData() != 0)
        return -1;
    const unsigned char* src = static_cast<const unsigned char*>(data);
    for (auto& fragment : m_fragments) {
        std::memcpy(fragment.data(), src, fragment.size());
        src += fragment.size();
    }
    return 0;
}

unsigned char* KXRawImage2D::getRow(unsigned y)
{
    return const_cast<unsigned char*>(static_cast<const KXRawImage2D*>(this)->getRow(y));
}

const unsigned char* KXRawImage2D::getRow(unsigned y) const
{
    if (y >= m_height || m_fragments.empty())
        return nullptr;
    const auto& fragment = m_fragments[y / m_rowsPerFragment];
    return fragment.data() + static_cast<size_t>(y % m_rowsPerFragment) * getRowSize();
}

unsigned char* KXRawImage2D::getFragmentData(unsigned index)
{
    return index < m_fragments.size() ? m_fragments[index].data() : nullptr;
}

const unsigned char* KXRawImage2D::getFragmentData(unsigned index) const
{
    return index < m_fragments.size() ? m_fragments[index].data() : nullptr;
}

size_t KXRawImage2D::getFragmentSize(unsigned index) const
{
    return index < m_fragments.size() ? m_fragments[index].size() : 0;
}

KXColor KXRawImage2D::getColor(unsigned x, unsigned y) const
{
    const unsigned char* row = getRow(y);
    if (!row || x >= m_width)
        return KXColor(0.0f, 0.0f, 0.0f, 0.0f);
    const unsigned char* p = row + static_cast<size_t>(x) * BYTES_PER_PIXEL;
    if (m_format == KXRAWIMAGE2D_RGBA)
        return KXColor(byteToUnit(p[0]), byteToUnit(p[1]), byteToUnit(p[2]), byteToUnit(p[3]));
    return KXColor(byteToUnit(p[2]), byteToUnit(p[1]), byteToUnit(p[0]), byteToUnit(p[3]));
}

int KXRawImage2D::setColor(unsigned x, unsigned y, const KXColor& color)
{
    unsigned char* row = getRow(y);
    if (!row || x >= m_width)
        return -1;
    setColorInRow(row, x, color);
    return 0;
}
