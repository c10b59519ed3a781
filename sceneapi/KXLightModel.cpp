#include "sceneapi/KXLightModel.h"

#include "sceneapi/KXLight.h"

#include <algorithm>

KXLightModel::~KXLightModel()
{
    for (KXLight* light : m_lights)
        light->unref();
    if (m_ambientLight)
        m_ambientLight->unref();
}

KXLight* KXLightModel::getLight(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_lights.size()))
        return nullptr;
    return m_lights[index];
}

int KXLightModel::indexOfLight(const KXLight* light) const
{
    auto it = std::find(m_lights.begin(), m_lights.end(), light);
    return it == m_lights.end() ? -1 : static_cast<int>(it - m_lights.begin());
}

bool KXLightModel::addLight(KXLight* light)
{
    if (!light || indexOfLight(light) >= 0)
        return false;
    light->ref();
    m_lights.push_back(light);
    changed();
    return true;
}

bool KXLightModel::removeLight(KXLight* light)
{
    return removeLight(indexOfLight(light));
}

bool KXLightModel::removeLight(int index)
{
    if (index < 0 || index >= static_cast<int>(m_lights.size()))
        return false;
    KXLight* light = m_lights[index];
    m_lights.erase(m_lights.begin() + index);
    changed();
    light->unref();
    return true;
}

void KXLightModel::removeAllLights()
{
    if (m_lights.empty())
        return;
    std::vector<KXLight*> lights;
    lights.swap(m_lights);
    changed();
    for (KXLight* light : lights)
        light->unref();
}

void KXLightModel::setAmbientLight(KXLight* light)
{
    if (light == m_ambientLight || (light && light->getLightType() != KXLight::KXLIGHTTYPE_AMBIENT))
        return;
    KXHold(m_ambientLight, light);
    changed();
}

void KXLightModel::setFixed(bool fixed)
{
    if (fixed == m_fixed)
        return;
    m_fixed = fixed;
    changed();
}
