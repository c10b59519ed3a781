#pragma once

#include "imagegen/KXImageMaker.h"
#include "renderer/KXExport.h"

// Renders the picture in one pass into an off-screen target of exactly its
// size (the generator resizes the target when the size changes) and reads
// it back from the renderer.
class KXDXRENDERER_API KXSimpleImageMaker : public KXImageMaker
{
public:
    explicit KXSimpleImageMaker(KXImgGen* generator) : KXImageMaker(generator) {}

    int render(const KXPosition2D& position, const KXDimension2D& dimension, const KXScene* scene, KXCanvas* canvas,
               IKXStatusMgr* status) override;
    int getMakerType() const override { return KXMAKER_SIMPLE; }
    // Without a generator -1; otherwise the renderer's read-back (JPEG is
    // encoded here, at JPEG_QUALITY).
    int saveToRawImage(KXRawImage2D* image) override;
    int saveToFile(const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
    int saveToImage(KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType) override;
};
