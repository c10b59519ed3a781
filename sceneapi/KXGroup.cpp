#include "sceneapi/KXGroup.h"

#include "sceneapi/KXAppearance.h"

#include <algorithm>

KXGroup::~KXGroup()
{
    for (KXNode* child : m_children) {
        child->m_parent = nullptr;
        child->unref();
    }
    if (m_appearance)
        m_appearance->unref();
}

KXNode* KXGroup::getChild(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_children.size()))
        return nullptr;
    return m_children[index];
}

int KXGroup::indexOfChild(const KXNode* node) const
{
    auto it = std::find(m_children.begin(), m_children.end(), node);
    return it == m_children.end() ? -1 : static_cast<int>(it - m_children.begin());
}

bool KXGroup::addChild(KXNode* node)
{
    return insertChild(static_cast<int>(m_children.size()), node);
}

bool KXGroup::insertChild(int index, KXNode* node)
{
    if (!node || node->getType() == KXNODETYPE_ROOT)
        return false;
    for (const KXNode* n = this; n; n = n->getParent())
        if (n == node)
            return false;
    // Keep the node alive while it moves from its old parent.
    node->ref();
    if (KXGroup* old = node->getParent())
        old->removeChild(node);
    index = std::clamp(index, 0, static_cast<int>(m_children.size()));
    m_children.insert(m_children.begin() + index, node);
    node->m_parent = this;
    invalidateBounds();
    KXObject::changed();
    return true;
}

bool KXGroup::removeChild(KXNode* node)
{
    return removeChild(indexOfChild(node));
}

bool KXGroup::removeChild(int index)
{
    if (index < 0 || index >= static_cast<int>(m_children.size()))
        return false;
    KXNode* child = m_children[index];
    m_children.erase(m_children.begin() + index);
    child->m_parent = nullptr;
    invalidateBounds();
    KXObject::changed();
    child->unref();
    return true;
}

void KXGroup::removeAllChildren()
{
    std::vector<KXNode*> old;
    old.swap(m_children);
    for (KXNode* child : old)
        child->m_parent = nullptr;
    invalidateBounds();
    KXObject::changed();
    for (KXNode* child : old)
        child->unref();
}

void KXGroup::setAppearance(KXAppearance* appearance)
{
    if (appearance == m_appearance)
        return;
    KXHold(m_appearance, appearance);
    KXObject::changed();
}

int KXGroup::refresh()
{
    for (KXNode* child : m_children)
        child->refresh();
    return KXNode::refresh();
}

KXBounds KXGroup::computeBounds() const
{
    KXBounds bounds;
    bounds.makeEmpty();
    for (const KXNode* child : m_children) {
        if (!child->isEnabled())
            continue;
        KXBounds b = child->getBounds();
        b.transform(child->getTransform()->getTransformationMatrix());
        bounds.grow(b);
    }
    return bounds;
}
