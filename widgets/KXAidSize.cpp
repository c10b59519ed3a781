#include "widgets/KXAidSize.h"

#include "canvas/KXCanvas.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXGroup.h"
#include "sceneapi/KXSceneUtils.h"
#include "sceneapi/KXStoryBoard.h"

#include <cmath>

float KXAidSize::viewDistance(const KXCanvas& canvas, const KXCamera* camera, const KXPosition& point)
{
    if (canvas.getCameraType() == KXCamera::KXCAMERATYPE_ORTHOGRAPHIC) {
        // A view REFERENCE_FOV wide is 2·tan(REFERENCE_FOV / 2) high per unit
        // of distance.
        return canvas.getViewportScale() / (2.0f * std::tan(REFERENCE_FOV / 2.0f));
    }
    float distance = canvas.getEyePosition().distance(point);
    if (const auto* perspective = dynamic_cast<const KXPerspectiveCamera*>(camera))
        distance *= perspective->getFOV() / REFERENCE_FOV;
    return distance;
}

KXMatrix KXAidSize::nodeWorldMatrix(const KXCanvas& canvas, const KXNode& node, bool* animated)
{
    const KXStoryBoard* storyBoard = canvas.getStoryBoard();
    const KXAnimationBag* bag = storyBoard ? storyBoard->getAnimationBag(&node) : nullptr;
    const KXNodePivot* pivot = bag ? bag->getNodePivot() : nullptr;
    if (animated)
        *animated = pivot != nullptr;
    if (!pivot)
        return KXNodeUtils::getWorldMatrixAtNode(&node);
    const KXGroup* parent = node.getParent();
    return parent ? pivot->getMatrix() * KXNodeUtils::getWorldMatrixAtNode(parent) : pivot->getMatrix();
}
