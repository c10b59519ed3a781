#pragma once

#include "sceneapi/KXNode.h"
#include "sceneapi/KXSceneExport.h"

#include <vector>

class KXAppearance;

// A node with an ordered list of children. The group holds a reference to each
// child; a node has at most one parent, so adding a node that already has one
// moves it. An optional appearance applies to everything below the group.
class KXSCENE_API KXGroup : public KXNode
{
public:
    KXGroup() = default;
    explicit KXGroup(KXScene* scene) : KXNode(scene) {}
    ~KXGroup() override;

    int getType() const override { return KXNODETYPE_GROUP; }

    int getNumChildNodes() const { return static_cast<int>(m_children.size()); }
    // Null for an index out of range.
    KXNode* getChild(int index) const;
    int indexOfChild(const KXNode* node) const;

    // Appends a child. Refused (false) for null, for the group itself, for
    // one of its ancestors (that would make a cycle) and for a root.
    bool addChild(KXNode* node);
    // Inserts before index (clamped to the list).
    bool insertChild(int index, KXNode* node);
    bool removeChild(KXNode* node);
    bool removeChild(int index);
    void removeAllChildren();

    KXAppearance* getAppearance() const { return m_appearance; }
    void setAppearance(KXAppearance* appearance);

    int refresh() override;

protected:
    KXBounds computeBounds() const override;

private:
    std::vector<KXNode*> m_children;
    KXAppearance* m_appearance = nullptr;
};
