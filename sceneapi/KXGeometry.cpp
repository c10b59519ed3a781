#include "sceneapi/KXGeometry.h"

void KXGeometry::setPreTransformed(bool preTransformed)
{
    if (m_preTransformed == preTransformed)
        return;
    m_preTransformed = preTransformed;
    changed();
}
