#pragma once

#include "sceneapi/KXImage.h"
#include "sceneapi/KXSceneExport.h"

#include <cstddef>
#include <vector>

// A two-dimensional image held as an encoded image file in memory (the bytes
// of a BMP, JPEG, PNG or other file) together with its file type.
// KXImageUtils decodes it into pixels and encodes pixels into it.
class KXSCENE_API KXImage2D : public KXImage
{
public:
    enum KXIMAGE2DFILETYPE {
        KXIMAGE2D_UNKNOWN = 0,
        KXIMAGE2D_BMP = 1,
        KXIMAGE2D_JPG = 2,
        KXIMAGE2D_TGA = 3,
        KXIMAGE2D_PNG = 4,
        KXIMAGE2D_DDS = 5,
        KXIMAGE2D_DIB = 6, // a bitmap without the BMP file header
        KXIMAGE2D_PPM = 7,
        KXIMAGE2D_HDR = 8, // Radiance RGBE
        KXIMAGE2D_PFM = 9, // portable float map
    };
    static bool isValidFileType(int type) { return type > KXIMAGE2D_UNKNOWN && type <= KXIMAGE2D_PFM; }

    KXImage2D() = default;
    explicit KXImage2D(KXScene* scene) : KXImage(scene) {}
    // Copies size bytes of an encoded file.
    KXImage2D(const void* data, size_t size, KXIMAGE2DFILETYPE fileType);
    KXImage2D(const KXImage2D& other);

    KXIMAGETYPE getType() const override { return KXIMAGE_2D; }

    // The encoded bytes; null when the image holds none.
    const unsigned char* getData() const { return m_data.empty() ? nullptr : m_data.data(); }
    size_t getSize() const { return m_data.size(); }
    KXIMAGE2DFILETYPE getFileType() const { return m_fileType; }

    // Replaces the bytes with a copy of size bytes at data (null data and
    // size 0 empty the image). 0 success; -3 for null data with a size.
    // The implementation made from the old bytes is deleted.
    int setData(const void* data, size_t size, KXIMAGE2DFILETYPE fileType);
    // Takes the bytes over without copying them.
    void setData(std::vector<unsigned char>&& bytes, KXIMAGE2DFILETYPE fileType);
    void clearData();

public:
    ~KXImage2D() override = default;

private:
    std::vector<unsigned char> m_data;
    KXIMAGE2DFILETYPE m_fileType = KXIMAGE2D_UNKNOWN;
};
