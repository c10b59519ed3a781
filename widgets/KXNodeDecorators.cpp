#include "widgets/KXNodeDecorators.h"

void KXNodeDecorators::drawSelectionDecorator(KXCanvas&, KXNode*, KXSelection*)
{
}
