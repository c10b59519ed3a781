#include "sceneapi/KXTexture3D.h"

#include "sceneapi/KXImage3D.h"

KXImage3D* KXTexture3D::getImage3D() const
{
    // setImage3D is the only way in, so the image is always a KXImage3D.
    return static_cast<KXImage3D*>(getImage());
}

void KXTexture3D::setImage3D(KXImage3D* image)
{
    setImage(image);
}
