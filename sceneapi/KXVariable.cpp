#include "sceneapi/KXVariable.h"

KXVariable* KXVariable::clone() const
{
    return new KXVariable(*this);
}
