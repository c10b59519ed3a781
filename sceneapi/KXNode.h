#pragma once

#include "sceneapi/KXBounds.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXTransform.h"

#include <atomic>
#include <mutex>

class KXCamera;
class KXGroup;

// A node of the scene tree: a group (or the root) with children, or a shape.
// Each node has its own transform, placing it in its parent, and may carry a
// camera.
class KXSCENE_API KXNode : public KXObject
{
public:
    enum KXNODETYPE {
        KXNODETYPE_ROOT = 0,
        KXNODETYPE_GROUP = 1,
        KXNODETYPE_SHAPE = 2,
    };

    KXNode();
    explicit KXNode(KXScene* scene);
    KXNode(const KXNode&) = delete;
    ~KXNode() override;

    virtual int getType() const = 0;
    // Brings the bounds of this node and everything below it up to date.
    int refresh() override;

    KXGroup* getParent() const { return m_parent; }
    // Never null: every node has a transform, the identity by default.
    KXTransform* getTransform() const { return &m_transform; }

    // Bounds in the node's own coordinates, that is before its own transform:
    // for a shape its geometry, for a group its enabled children placed by
    // their transforms. Empty when there is nothing to bound. Computed when
    // first asked for after a change; safe to call from several threads at
    // once while the scene is not being changed.
    KXBounds getBounds() const;

    // The camera this node carries; the root's camera is the view camera.
    KXCamera* getCamera() const { return m_camera; }
    void setCamera(KXCamera* camera);

    // Marks the bounds of this node and its ancestors as out of date.
    void invalidateBounds();
    // Called by the node's transform when it changes.
    void transformChanged();

protected:
    virtual KXBounds computeBounds() const = 0;
    void changed() override;

private:
    friend class KXGroup;

    KXGroup* m_parent = nullptr;
    mutable KXTransform m_transform;
    KXCamera* m_camera = nullptr;
    mutable std::mutex m_boundsMutex;
    mutable KXBounds m_bounds;
    mutable std::atomic<bool> m_boundsValid{false};
};
