#include "sceneapi/KXSceneUtils.h"

#include "sceneapi/KXGroup.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"

KXCamera* KXSceneUtils::getRootCamera(const KXScene* scene)
{
    const KXRoot* root = scene ? scene->getRoot() : nullptr;
    return root ? root->getCamera() : nullptr;
}

KXBackground* KXSceneUtils::getRootBackground(const KXScene* scene)
{
    const KXRoot* root = scene ? scene->getRoot() : nullptr;
    return root ? root->getBackground() : nullptr;
}

KXMatrix KXNodeUtils::getWorldMatrixAtNode(const KXNode* node)
{
    KXMatrix world;
    for (const KXNode* n = node; n; n = n->getParent())
        world = world * n->getTransform()->getTransformationMatrix();
    return world;
}
