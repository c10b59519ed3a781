#pragma once

#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXTexture.h"

class KXImage3D;

// A texture over a cube map or volume image. The texture holds a reference
// to the image (see KXTexture). A cube texture without an image is bound by
// the canvas to the scene's environment cube, so it reflects the sky box.
class KXSCENE_API KXTexture3D : public KXTexture
{
public:
    KXTexture3D() = default;
    explicit KXTexture3D(KXScene* scene) : KXTexture(scene) {}
    KXTexture3D(const KXTexture3D& other) = default;

    KXTEXTURETYPE getTextureType() const override { return KXTEXTURE_3D; }

    KXImage3D* getImage3D() const;
    // Null lets go of the image.
    void setImage3D(KXImage3D* image);
};
