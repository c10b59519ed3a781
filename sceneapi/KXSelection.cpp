#include "sceneapi/KXSelection.h"

#include "sceneapi/KXLight.h"
#include "sceneapi/KXNode.h"

#include <algorithm>

KXSelection::~KXSelection()
{
    for (KXNode* n : m_nodes)
        n->unref();
    for (KXLight* l : m_lights)
        l->unref();
}

KXNode* KXSelection::getSelectedNode(int index) const
{
    return index >= 0 && index < static_cast<int>(m_nodes.size()) ? m_nodes[index] : nullptr;
}

KXLight* KXSelection::getSelectedLight(int index) const
{
    return index >= 0 && index < static_cast<int>(m_lights.size()) ? m_lights[index] : nullptr;
}

bool KXSelection::check(const KXObject* object) const
{
    if (!object)
        return false;
    return std::find(m_nodes.begin(), m_nodes.end(), object) != m_nodes.end() ||
           std::find(m_lights.begin(), m_lights.end(), object) != m_lights.end();
}

void KXSelection::selectNode(KXNode* node)
{
    if (!node || check(node))
        return;
    node->ref();
    m_nodes.push_back(node);
    changed();
}

void KXSelection::selectLight(KXLight* light)
{
    if (!light || check(light))
        return;
    light->ref();
    m_lights.push_back(light);
    changed();
}

void KXSelection::deselect(const KXObject* object)
{
    auto node = std::find(m_nodes.begin(), m_nodes.end(), object);
    if (node != m_nodes.end()) {
        KXNode* n = *node;
        m_nodes.erase(node);
        changed();
        n->unref();
        return;
    }
    auto light = std::find(m_lights.begin(), m_lights.end(), object);
    if (light != m_lights.end()) {
        KXLight* l = *light;
        m_lights.erase(light);
        changed();
        l->unref();
    }
}

void KXSelection::clear()
{
    if (m_nodes.empty() && m_lights.empty())
        return;
    std::vector<KXNode*> nodes;
    std::vector<KXLight*> lights;
    nodes.swap(m_nodes);
    lights.swap(m_lights);
    changed();
    for (KXNode* n : nodes)
        n->unref();
    for (KXLight* l : lights)
        l->unref();
}
