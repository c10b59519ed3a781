#pragma once

#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

class KXImage;

// Base of the textures of an appearance: an image together with the filters
// used to sample it.
//
// A texture holds a reference to its image, so one image may be shared by
// many textures (and shader programs) and lives as long as any of them uses
// it. Handing a texture a new image that nobody else holds gives the image to
// the texture: it is deleted when the texture lets go of it. Code that wants
// to keep using an image after its textures are gone (or to delete it
// itself) holds a reference of its own, e.g. with KXRef.
//
// The texture follows its image: a change of the image's data is passed on
// to the texture's observers as a change of the texture.
class KXSCENE_API KXTexture : public KXObject, public KXObserver
{
public:
    enum KXTEXTURETYPE {
        KXTEXTURE_2D = 0, // a KXTexture2D
        KXTEXTURE_3D = 1, // a KXTexture3D (cube map or volume)
    };
    // Sampling filters. Codes outside the list are kept as set; the renderer
    // samples them as linear.
    enum KXTEXTUREFILTER {
        KXTEXTUREFILTER_POINT = 0,
        KXTEXTUREFILTER_LINEAR = 1,
        KXTEXTUREFILTER_ANISOTROPIC = 2,
    };

    ~KXTexture() override;

    virtual KXTEXTURETYPE getTextureType() const = 0;

    // The image, whatever its dimension; null when none is set.
    KXImage* getImage() const { return m_image; }

    // All three filters are linear on a new texture: bilinear sampling
    // between linearly blended mip levels.
    KXTEXTUREFILTER getMagFilter() const { return m_magFilter; }
    KXTEXTUREFILTER getMinFilter() const { return m_minFilter; }
    KXTEXTUREFILTER getMipFilter() const { return m_mipFilter; }
    void setMagFilter(KXTEXTUREFILTER filter);
    void setMinFilter(KXTEXTUREFILTER filter);
    void setMipFilter(KXTEXTUREFILTER filter);

    void update(KXObservable* source, const KXEvent& event) override;

protected:
    KXTexture() = default;
    explicit KXTexture(KXScene* scene) : KXObject(scene) {}
    // A copy shares the original's image.
    KXTexture(const KXTexture& other);

    // Holds image in place of the one held before and tells observers.
    void setImage(KXImage* image);

private:
    void holdImage(KXImage* image);

    KXImage* m_image = nullptr;
    KXTEXTUREFILTER m_magFilter = KXTEXTUREFILTER_LINEAR;
    KXTEXTUREFILTER m_minFilter = KXTEXTUREFILTER_LINEAR;
    KXTEXTUREFILTER m_mipFilter = KXTEXTUREFILTER_LINEAR;
};
