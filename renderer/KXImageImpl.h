#pragma once

#include "sceneapi/KXObject.h"

// Base of the renderer-side forms of images, kept in an image's
// implementation slot. The slot calls dispose() when it lets go of one.
class KXImageImpl : public KXImplementation
{
};

// The form of a 2D image that can be bound to a texture stage.
class KXImage2DImpl : public KXImageImpl
{
public:
    virtual void bind(unsigned stage) = 0;
};

// The form of a cube or volume image that can be bound to a texture stage.
class KXImage3DImpl : public KXImageImpl
{
public:
    virtual void bind(unsigned stage) = 0;
};
