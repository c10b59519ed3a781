#include "widgets/KXControllerGuide.h"

void KXControllerGuide::drawGuide(KXCanvas&, KXCamera*, KXSelection*)
{
}
