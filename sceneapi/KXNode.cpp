#include "sceneapi/KXNode.h"

#include "sceneapi/KXCamera.h"
#include "sceneapi/KXGroup.h"

KXNode::KXNode() : m_transform(this) {}

KXNode::KXNode(KXScene* scene) : KXObject(scene), m_transform(this) {}

KXNode::~KXNode()
{
    if (m_camera)
        m_camera->unref();
}

int KXNode::refresh()
{
    invalidateBounds();
    getBounds();
    return 0;
}

KXBounds KXNode::getBounds() const
{
    if (!m_boundsValid.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(m_boundsMutex);
        if (!m_boundsValid.load(std::memory_order_relaxed)) {
            m_bounds = computeBounds();
            m_boundsValid.store(true, std::memory_order_release);
        }
    }
    return m_bounds;
}

void KXNode::setCamera(KXCamera* camera)
{
    if (camera == m_camera)
        return;
    KXHold(m_camera, camera);
    KXObject::changed();
}

void KXNode::invalidateBounds()
{
    // An out-of-date node always has out-of-date ancestors, so the walk can
    // stop at the first one already marked.
    for (KXNode* node = this; node; node = node->m_parent) {
        if (!node->m_boundsValid.exchange(false) && node != this)
            break;
    }
}

void KXNode::transformChanged()
{
    // The node's own bounds do not depend on its transform; its parent's do.
    if (m_parent)
        m_parent->invalidateBounds();
    KXObject::changed();
}

void KXNode::changed()
{
    if (m_parent)
        m_parent->invalidateBounds();
    KXObject::changed();
}
