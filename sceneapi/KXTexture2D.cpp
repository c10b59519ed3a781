#include "sceneapi/KXTexture2D.h"

#include "sceneapi/KXImage2D.h"

KXImage2D* KXTexture2D::getImage2D() const
{
    // setImage2D is the only way in, so the image is always two-dimensional.
    return static_cast<KXImage2D*>(getImage());
}

void KXTexture2D::setImage2D(KXImage2D* image)
{
    setImage(image);
}
