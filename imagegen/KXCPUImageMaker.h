#pragma once

#include "imagegen/KXTileImageMaker.h"
#include "renderer/KXExport.h"

#include <memory>

class KXImageStitch;
class KXRawImage2D;

// Assembles the tiles in a raw picture in main memory (held in pieces when
// large), which also works when the device cannot hold the whole picture.
// It can also anti-alias by supersampling: with a downsampling factor of 2
// it is given a picture of twice the size, and every 2 × 2 block of the
// tiles becomes one pixel of its picture, tile by tile, so that the doubled
// picture never exists whole. The picture is made for the first image and
// made again whenever an image of another size comes.
class KXDXRENDERER_API KXCPUImageMaker : public KXTileImageMaker
{
public:
    explicit KXCPUImageMaker(KXImgGen* generator);
    ~KXCPUImageMaker() override;

    int getMakerType() const override { return KXMAKER_CPU; }
    int beginImage(const KXPosition2D& position, const KXDimension2D& dimension, const KXDimension2D& tile,
                   const KXScene* scene, KXCanvas* canvas, IKXStatusMgr* status) override;
    // Parts of the destination outside the picture are left out. -1 when the
    // tile cannot be read back or the rectangles differ in size.
    int addTile(unsigned column, unsigned row, const KXViewport& source, const KXViewport& destination,
                KXRenderSurface* tile) override;
    // Frees the tile picture.
    int endImage(const KXPosition2D& position, const KXDimension2D& dimension, const KXScene* scene,
                 KXCanvas* canvas, IKXStatusMgr* status) override;
    // 1 while no picture exists, else whether no tile has failed.
    int isUsable() override;

    // -1 without a picture.
    int saveToRawImage(KXRawImage2D* image) override;
    // BMP, PNG and JPEG (at JPEG_QUALITY), encoded from the picture as it
    // is held; -1 for other types and without a picture.
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    // This maker hands out raw pixels and files only: -2.
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) override;

    // 1 (the default) or 2; takes effect with the next picture.
    int setDownsampling(unsigned factor);
    unsigned getDownsampling() const { return m_downsampling; }
    // The assembled picture (format 2, red, green, blue, alpha), or null.
    const KXRawImage2D* getPicture() const { return m_picture.get(); }

private:
    std::unique_ptr<KXRawImage2D> m_picture;
    std::unique_ptr<KXRawImage2D> m_tile;
    std::unique_ptr<KXImageStitch> m_stitch;
    unsigned m_downsampling = 1;
};
