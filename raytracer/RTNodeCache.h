#pragma once

#include "sceneapi/KXBounds.h"
#include "sceneapi/KXMatrix.h"

#include <cstddef>
#include <unordered_map>

class KXNode;

// World matrix, inverse world matrix and world bounds of every node of a
// scene tree, computed once per trace by the calling thread and only read
// afterwards.
class RTNodeCache
{
public:
    struct Entry {
        KXMatrix world;
        // The identity when the world matrix is singular, so that rays are
        // not carried into the node's space.
        KXMatrix inverse;
        KXBounds bounds;
    };

    // Adds the node and every node below it, enabled or not.
    void build(const KXNode* root);
    // Null for a node that is not in the cache.
    const Entry* find(const KXNode* node) const;
    size_t size() const { return m_entries.size(); }

private:
    std::unordered_map<const KXNode*, Entry> m_entries;
};
