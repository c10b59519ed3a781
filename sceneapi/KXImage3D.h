#pragma once

#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXSceneExport.h"

#include <cstddef>
#include <vector>

// A cube map or volume image held as encoded image files in memory.
//
// Cube maps and volumes may be held as one file (a DDS file holding all
// faces or slices); cube maps may also be held as six separate face files,
// each an encoded 2D image of any KXIMAGE2DFILETYPE. The image type tells
// which of the two is in use: setData selects a one-file type, and
// setComponentData the six-face type.
class KXSCENE_API KXImage3D : public KXImage
{
public:
    enum KXIMAGE3DTYPE {
        KXIMAGE3D_CUBEMAP = 0,   // a cube map stored as one file (getData)
        KXIMAGE3D_VOLUME = 1,    // a volume stored as one file (getData)
        KXIMAGE3D_CUBEFACES = 2, // a cube map stored as six face files (getComponentData)
    };
    // Faces in the order of Direct3D's cube map faces.
    enum KXCUBEMAPFACES {
        KXCUBEMAP_POSITIVE_X = 0,
        KXCUBEMAP_NEGATIVE_X = 1,
        KXCUBEMAP_POSITIVE_Y = 2,
        KXCUBEMAP_NEGATIVE_Y = 3,
        KXCUBEMAP_POSITIVE_Z = 4,
        KXCUBEMAP_NEGATIVE_Z = 5,
    };
    static constexpr int NUM_CUBEMAP_FACES = 6;

    KXImage3D() = default;
    explicit KXImage3D(KXScene* scene) : KXImage(scene) {}
    KXImage3D(const KXImage3D& other);

    KXIMAGETYPE getType() const override { return KXIMAGE_3D; }
    KXIMAGE3DTYPE getImage3DType() const { return m_image3DType; }

    // The one-file form; null and 0 when none is held.
    const unsigned char* getData() const { return m_data.empty() ? nullptr : m_data.data(); }
    size_t getSize() const { return m_data.size(); }
    KXImage2D::KXIMAGE2DFILETYPE getFileType() const { return m_fileType; }
    // Holds a copy of one file and makes the image of the given type, which
    // must be KXIMAGE3D_CUBEMAP or KXIMAGE3D_VOLUME. 0 success; -1 for
    // another type; -3 for null data with a size. The face files are kept
    // but no longer used.
    int setData(const void* data, size_t size, KXIMAGE3DTYPE type,
                KXImage2D::KXIMAGE2DFILETYPE fileType = KXImage2D::KXIMAGE2D_DDS);

    // The file of one cube face (0 to 5, see KXCUBEMAPFACES); null, 0 and
    // KXIMAGE2D_UNKNOWN for a face that holds none or is out of range.
    const unsigned char* getComponentData(int face) const;
    size_t getComponentSize(int face) const;
    KXImage2D::KXIMAGE2DFILETYPE getComponentType(int face) const;
    // Holds a copy of one face file and makes the image a six-face cube map.
    // 0 success; -1 for a face out of range; -3 for null data with a size.
    int setComponentData(int face, const void* data, size_t size, KXImage2D::KXIMAGE2DFILETYPE fileType);

public:
    ~KXImage3D() override = default;

private:
    struct Face {
        std::vector<unsigned char> data;
        KXImage2D::KXIMAGE2DFILETYPE fileType = KXImage2D::KXIMAGE2D_UNKNOWN;
    };

    KXIMAGE3DTYPE m_image3DType = KXIMAGE3D_CUBEMAP;
    std::vector<unsigned char> m_data;
    KXImage2D::KXIMAGE2DFILETYPE m_fileType = KXImage2D::KXIMAGE2D_UNKNOWN;
    Face m_faces[NUM_CUBEMAP_FACES];
};
