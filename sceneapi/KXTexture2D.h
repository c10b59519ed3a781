#pragma once

#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXTexture.h"

class KXImage2D;

// A texture over a two-dimensional image. The texture holds a reference to
// the image (see KXTexture).
class KXSCENE_API KXTexture2D : public KXTexture
{
public:
    KXTexture2D() = default;
    explicit KXTexture2D(KXScene* scene) : KXTexture(scene) {}
    KXTexture2D(const KXTexture2D& other) = default;

    KXTEXTURETYPE getTextureType() const override { return KXTEXTURE_2D; }

    // Null when the texture has no image; the renderer then binds nothing.
    KXImage2D* getImage2D() const;
    // Null lets go of the image.
    void setImage2D(KXImage2D* image);
};
