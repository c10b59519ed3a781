#include "raytracer/RTNodeCache.h"

#include "raytracer/RTMath.h"
#include "sceneapi/KXGroup.h"
#include "sceneapi/KXSceneUtils.h"

#include <vector>

void RTNodeCache::build(const KXNode* root)
{
    std::vector<const KXNode*> pending;
    if (root)
        pending.push_back(root);
    while (!pending.empty()) {
        const KXNode* node = pending.back();
        pending.pop_back();
        Entry entry;
        entry.world = KXNodeUtils::getWorldMatrixAtNode(node);
        if (!rtInvert(entry.world, entry.inverse))
            entry.inverse.setIdentity();
        entry.bounds = node->getBounds();
        entry.bounds.transform(entry.world);
        m_entries[node] = entry;

        const int type = node->getType();
        const KXGroup* group = dynamic_cast<const KXGroup*>(node);
        if (group && (type == KXNode::KXNODETYPE_ROOT || type == KXNode::KXNODETYPE_GROUP)) {
            for (int i = group->getNumChildNodes() - 1; i >= 0; --i)
                if (const KXNode* child = group->getChild(i))
                    pending.push_back(child);
        }
    }
}

const RTNodeCache::Entry* RTNodeCache::find(const KXNode* node) const
{
    const auto it = m_entries.find(node);
    return it == m_entries.end() ? nullptr : &it->second;
}
