#pragma once

#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXSceneExport.h"

class KXBackground;
class KXCamera;
class KXNode;
class KXScene;

// Shortcuts to what a scene's root holds.
class KXSCENE_API KXSceneUtils
{
public:
    // Null when the scene or its root is null or the root has none.
    static KXCamera* getRootCamera(const KXScene* scene);
    static KXBackground* getRootBackground(const KXScene* scene);
};

class KXSCENE_API KXNodeUtils
{
public:
    // The matrix taking the node's own coordinates to the coordinates of the
    // top of its tree: its transform, then its parent's, up to the root's
    // (row vectors, so the node's transform comes first in the product). The
    // identity for null.
    static KXMatrix getWorldMatrixAtNode(const KXNode* node);
};
