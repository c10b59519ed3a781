#include "sceneapi/KXRoot.h"

#include "sceneapi/KXBackground.h"
#include "sceneapi/KXFog.h"
#include "sceneapi/KXLightModel.h"

KXRoot::~KXRoot()
{
    KXHold<KXBackground>(m_background, nullptr);
    KXHold<KXFog>(m_fog, nullptr);
    KXHold<KXLightModel>(m_lightModel, nullptr);
    KXHold<KXBackground>(m_reflectionEnvironment, nullptr);
}

void KXRoot::setBackground(KXBackground* background)
{
    KXHold(m_background, background);
    KXObject::changed();
}

void KXRoot::setFog(KXFog* fog)
{
    KXHold(m_fog, fog);
    KXObject::changed();
}

void KXRoot::setLightModel(KXLightModel* lightModel)
{
    KXHold(m_lightModel, lightModel);
    KXObject::changed();
}

void KXRoot::setReflectionEnvironment(KXBackground* environment)
{
    KXHold(m_reflectionEnvironment, environment);
    KXObject::changed();
}
