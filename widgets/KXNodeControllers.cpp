#include "widgets/KXNodeControllers.h"

KXBounds KXNodeControllers::getMaximumBounds()
{
    KXBounds bounds;
    bounds.grow(KXPosition(1.4f, 1.4f, 1.4f));
    return bounds;
}

void KXNodeControllers::drawControllers(KXCanvas&, KXCamera*, KXRoot*, KXSelection*, unsigned)
{
}
