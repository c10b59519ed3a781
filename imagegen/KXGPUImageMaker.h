#pragma once

#include "imagegen/KXTileImageMaker.h"
#include "renderer/KXExport.h"

// Assembles the tiles in a picture-sized system-memory surface of the
// generator's device. The surface is made for the first picture and made
// again whenever a picture of another size comes.
class KXDXRENDERER_API KXGPUImageMaker : public KXTileImageMaker
{
public:
    explicit KXGPUImageMaker(KXImgGen* generator) : KXTileImageMaker(generator) {}
    // Releases the surface and destroys it through the generator's factory.
    ~KXGPUImageMaker() override;

    int getMakerType() const override { return KXMAKER_GPU; }
    int beginImage(const KXPosition2D& position, const KXDimension2D& dimension, const KXDimension2D& tile,
                   const KXScene* scene, KXCanvas* canvas, IKXStatusMgr* status) override;
    // Parts of the destination outside the picture are left out.
    int addTile(unsigned column, unsigned row, const KXViewport& source, const KXViewport& destination,
                KXRenderSurface* tile) override;
    int endImage(const KXPosition2D& position, const KXDimension2D& dimension, const KXScene* scene,
                 KXCanvas* canvas, IKXStatusMgr* status) override;
    // 1 while no surface exists, else whether no tile has failed.
    int isUsable() override;

    // -1 without a surface. Pixels are read back into main memory once and
    // encoded from there.
    int saveToRawImage(KXRawImage2D* image) override;
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) override;

    // The picture surface, or null before the first picture.
    KXRenderSurface* getSurface() const { return m_surface; }

private:
    void destroySurface();

    KXRenderSurface* m_surface = nullptr;
};
