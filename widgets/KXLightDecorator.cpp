#include "widgets/KXLightDecorator.h"

void KXLightDecorator::drawDecorators(KXCanvas&, KXLightModel*, const KXBounds&, KXCamera*, KXSelection*)
{
}
