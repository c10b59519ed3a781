#pragma once

#include "sceneapi/KXColor.h"
#include "sceneapi/KXSceneExport.h"

#include <cstddef>
#include <vector>

// Pixels in main memory: width × height pixels of four bytes each, rows from
// top to bottom, each row tightly packed.
//
// A large image is held in several pieces (fragments), each a band of whole
// rows, so that no single allocation exceeds the fragment limit. getRow()
// and getColor()/setColor() work the same for both layouts; getData() gives
// a contiguous block only while the image is held in one piece, and is null
// for a fragmented image. setData() accepts contiguous rows for either
// layout.
//
// New pixel storage (createData) is zeroed: transparent black. Nothing here
// throws except std::bad_alloc from the standard containers outside
// createData and setData, which report allocation failures as -1.
class KXSCENE_API KXRawImage2D
{
public:
    enum KXRAWIMAGE2DFMT {
        KXRAWIMAGE2D_RGBA = 2, // bytes red, green, blue, alpha
        KXRAWIMAGE2D_BGRA = 3, // bytes blue, green, red, alpha: a Direct3D A8R8G8B8 word in memory
    };

    static constexpr size_t BYTES_PER_PIXEL = 4;
    // Images whose pixels take more bytes than this are fragmented by default.
    static constexpr size_t DEFAULT_FRAGMENT_LIMIT = size_t(256) << 20;

    KXRawImage2D() = default;
    // Sets the layout only; createData or setData allocates the pixels.
    KXRawImage2D(unsigned width, unsigned height, KXRAWIMAGE2DFMT format = KXRAWIMAGE2D_BGRA,
                 size_t fragmentLimit = DEFAULT_FRAGMENT_LIMIT);

    unsigned getWidth() const { return m_width; }
    unsigned getHeight() const { return m_height; }
    KXRAWIMAGE2DFMT getFormat() const { return m_format; }
    // Changing the width or height discards the pixels, whose layout no
    // longer fits.
    void setWidth(unsigned width);
    void setHeight(unsigned height);
    // Changes how the bytes are read; the bytes themselves stay as they are.
    // An unknown format gives -1 and changes nothing.
    int setFormat(int format);
    // Rewrites the pixels into another format (swapping red and blue), so
    // that their colours stay the same. -1 for an unknown format.
    int convertToFormat(int format);
    static bool isValidFormat(int format);

    // Bytes from one pixel row to the next.
    size_t getRowSize() const { return static_cast<size_t>(m_width) * BYTES_PER_PIXEL; }
    // Bytes of pixel data held; 0 without data.
    size_t getSize() const { return m_size; }
    bool hasData() const { return !m_fragments.empty(); }

    // Allocates zeroed pixels for the current width, height and fragment
    // limit, replacing any held before. 0 success; -1 when the width or
    // height is 0, the size overflows or memory runs out (nothing is then held).
    int createData();
    void releaseData();
    // The pixels as one block, or null without data or when fragmented.
    unsigned char* getData();
    const unsigned char* getData() const;
    // Copies width × height × 4 bytes of contiguous rows into the image,
    // allocating its pixels first when it holds none. 0 success; -1 when the
    // size does not match the layout or memory runs out; -3 for null data.
    int setData(const void* data, size_t size);

    // Start of pixel row y; null out of range or without data.
    unsigned char* getRow(unsigned y);
    const unsigned char* getRow(unsigned y) const;

    // True when the pixels are held in more than one piece.
    bool isFragmented() const { return m_fragments.size() > 1; }
    unsigned getNumFragments() const { return static_cast<unsigned>(m_fragments.size()); }
    unsigned char* getFragmentData(unsigned index);
    const unsigned char* getFragmentData(unsigned index) const;
    size_t getFragmentSize(unsigned index) const;
    // Rows in every fragment but possibly the last; 0 without data.
    unsigned getRowsPerFragment() const { return hasData() ? m_rowsPerFragment : 0; }
    // Largest piece in bytes that createData makes (at least one row). Takes
    // effect at the next allocation.
    size_t getFragmentLimit() const { return m_fragmentLimit; }
    void setFragmentLimit(size_t limit) { m_fragmentLimit = limit; }

    // Colour of pixel (x, y), components in 0..1. Outside the image or
    // without data: transparent black (0, 0, 0, 0).
    KXColor getColor(unsigned x, unsigned y) const;
    // Writes pixel (x, y), the colour clamped to 0..1 and rounded to 8 bits.
    // 0 success; -1 outside the image or without data (nothing is written).
    int setColor(unsigned x, unsigned y, const KXColor& color);
    // setColor for pixel x of a row that getRow returned (x below the
    // width): for loops that write many pixels of one row.
    void setColorInRow(unsigned char* row, unsigned x, const KXColor& color) const
    {
        // The Direct3D word does the clamping and rounding for both formats.
        const uint32_t word = color.getBGRA();
        unsigned char* p = row + static_cast<size_t>(x) * BYTES_PER_PIXEL;
        const unsigned char r = static_cast<unsigned char>(word >> 16);
        const unsigned char b = static_cast<unsigned char>(word);
        p[0] = m_format == KXRAWIMAGE2D_RGBA ? r : b;
        p[1] = static_cast<unsigned char>(word >> 8);
        p[2] = m_format == KXRAWIMAGE2D_RGBA ? b : r;
        p[3] = static_cast<unsigned char>(word >> 24);
    }

private:
    unsigned m_width = 0;
    unsigned m_height = 0;
    KXRAWIMAGE2DFMT m_format = KXRAWIMAGE2D_BGRA;
    size_t m_fragmentLimit = DEFAULT_FRAGMENT_LIMIT;
    unsigned m_rowsPerFragment = 0;
    size_t m_size = 0;
    std::vector<std::vector<unsigned char>> m_fragments;
};
