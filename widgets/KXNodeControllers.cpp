#include "widgets/KXNodeControllers.h"

#include "canvas/KXCanvas.h"
#include "renderer/KXRenderState.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXNode.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXSelection.h"
#include "widgets/KXAidSize.h"

#include <cstddef>

namespace {

// On-screen size of the controllers: a node's are drawn 50 / viewport size
// times the view distance, a light's 45 / viewport size times it.
constexpr float NODE_SIZE = 50.0f;
constexpr float LIGHT_SIZE = 4500.0f / 100.0f;
// A directional light's controllers stand this many scene radii from the
// scene centre, against the light's direction.
constexpr float DIRECTIONAL_ANCHOR_RADII = 3.0f;

constexpr unsigned lightBit(KXLight::KXLIGHTTYPE type) { return 1u << type; }

constexpr int MOVE_WIDGETS[] = {1, 2, 3, 10, 11, 12};
constexpr int TURN_WIDGETS[] = {7, 8, 9};
constexpr int SCALE_WIDGETS[] = {4, 5, 6, 13};
constexpr int ANIMATED_MOVE_WIDGETS[] = {14, 15, 16, 20, 21, 22};
constexpr int ANIMATED_TURN_WIDGETS[] = {17, 18, 19};
constexpr int ANIMATED_SCALE_WIDGETS[] = {23};

template <size_t N>
constexpr int countOf(const int (&)[N]) { return static_cast<int>(N); }

} // namespace

using State = KXNodeControllers::KXNODECONTROLLERSTATE;

// Drawn in the order of the list. Positional lights can be moved and
// directional and spot lights turned; nothing else applies to lights.
const KXNodeControllers::WidgetGroup KXNodeControllers::s_groups[6] = {
    {MOVE_WIDGETS, countOf(MOVE_WIDGETS), State(1), KXNODECONTROLLERSTATE_ALL, true, false,
     lightBit(KXLight::KXLIGHTTYPE_POINT) | lightBit(KXLight::KXLIGHTTYPE_SPOT)},
    {TURN_WIDGETS, countOf(TURN_WIDGETS), State(3), KXNODECONTROLLERSTATE_ALL, true, false,
     lightBit(KXLight::KXLIGHTTYPE_DIRECTIONAL) | lightBit(KXLight::KXLIGHTTYPE_SPOT)},
    {SCALE_WIDGETS, countOf(SCALE_WIDGETS), State(2), KXNODECONTROLLERSTATE_ALL, true, false, 0u},
    {ANIMATED_MOVE_WIDGETS, countOf(ANIMATED_MOVE_WIDGETS), State(5), KXNODECONTROLLERSTATE_ALL_ANIMATED, false, true,
     0u},
    {ANIMATED_TURN_WIDGETS, countOf(ANIMATED_TURN_WIDGETS), State(6), KXNODECONTROLLERSTATE_ALL_ANIMATED, false, true,
     0u},
    {ANIMATED_SCALE_WIDGETS, countOf(ANIMATED_SCALE_WIDGETS), State(7), KXNODECONTROLLERSTATE_ALL_ANIMATED, false,
     true, 0u},
};

KXBounds KXNodeControllers::getMaximumBounds()
{
    KXBounds bounds;
    bounds.grow(KXPosition(1.4f, 1.4f, 1.4f));
    return bounds;
}

void KXNodeControllers::drawWidget(KXCanvas& canvas, const KXWidget* widget, int highlight, unsigned pass)
{
    KXRenderer* renderer = canvas.getRenderer();
    KXRenderStateMgr* states = renderer ? renderer->getRenderStateMgr() : nullptr;
    if (!widget || !states)
        return;
    KXLightState* light = states->getLightState();
    // The handle may be scaled unevenly by its shape; the visual and the
    // letter are drawn as built.
    light->enableNormalization(1);
    if (KXShape* handle = widget->getHandle())
        canvas.drawShape(handle, highlight, pass);
    light->enableNormalization(0);
    if (KXShape* visual = widget->getVisual())
        canvas.drawShape(visual, highlight, pass);
    if (KXShape* letter = widget->getLetter())
        canvas.drawShape(letter, highlight, pass);
}

void KXNodeControllers::drawGroups(KXCanvas& canvas, bool animated, int lightType, bool lightModelFixed, unsigned pass)
{
    const bool isLight = lightType >= 0;
    for (const WidgetGroup& group : s_groups) {
        if (m_state != group.onlyState && m_state != group.allState)
            continue;
        bool wanted;
        if (isLight)
            wanted = lightModelFixed && (group.lightTypes & (1u << lightType)) != 0;
        else
            wanted = group.forAnimatedNodes ? animated : group.forNodes;
        if (!wanted)
            continue;
        for (int k = 0; k < group.count; ++k) {
            const int type = group.widgets[k];
            const int highlight = type == m_selectedController ? 1 : 0;
            drawWidget(canvas, m_widgets.get(type), highlight, pass);
        }
    }
}

void KXNodeControllers::drawControllers(KXCanvas& canvas, KXCamera* camera, KXRoot* root, KXSelection* selection,
                                        unsigned pass)
{
    KXRenderer* renderer = canvas.getRenderer();
    KXRenderStateMgr* states = renderer ? renderer->getRenderStateMgr() : nullptr;
    const float viewportSize = canvas.getViewportSize();
    if (!selection || !camera || !states || !canvas.getNodeControllers() || !(viewportSize > 0.0f))
        return;
    KXLightState* lightState = states->getLightState();

    lightState->reset();
    if (m_lightModel)
        canvas.applyLightModel(camera, m_lightModel);
    lightState->enableNormalization(1);

    const KXLightModel* rootLightModel = root ? root->getLightModel() : nullptr;
    const bool lightModelFixed = rootLightModel && rootLightModel->isFixed();

    // The selection keeps nodes and lights in two lists: every selected node,
    // then every selected light.
    for (int i = 0; i < selection->getNumSelectedNodes(); ++i) {
        KXNode* node = selection->getSelectedNode(i);
        if (!node || !node->isEnabled())
            continue;
        bool animated = false;
        const KXMatrix world = KXAidSize::nodeWorldMatrix(canvas, *node, &animated);

        // The controllers turn and move with the node but keep their own
        // size, whatever the node's scale.
        KXVector scale;
        KXMatrix rotation;
        KXVector translation;
        world.decompose(scale, rotation, translation);
        const KXMatrix placement = rotation * KXMatrix::translation(translation);
        const KXPosition origin(translation.getX(), translation.getY(), translation.getZ());
        const float size = KXAidSize::viewDistance(canvas, camera, origin) * NODE_SIZE / viewportSize;

        renderer->pushTransform(placement);
        renderer->pushTransform(KXMatrix::scaling(size, size, size));
        drawGroups(canvas, animated, -1, lightModelFixed, pass);
        renderer->popTransform();
        renderer->popTransform();
    }

    for (int i = 0; i < selection->getNumSelectedLights(); ++i) {
        KXLight* light = selection->getSelectedLight(i);
        if (!light || !light->isEnabled())
            continue;
        KXPosition anchor;
        if (const auto* directional = dynamic_cast<const KXDirectionalLight*>(light)) {
            // As a plain vector: a unit vector stays unit when scaled.
            const KXVector direction = directional->getDirection();
            anchor = canvas.getSceneCenter() - direction * (canvas.getSceneRadius() * DIRECTIONAL_ANCHOR_RADII);
        } else if (const auto* point = dynamic_cast<const KXPointLight*>(light)) {
            anchor = point->getPosition();
        } else {
            // An ambient light is nowhere: it has no controllers.
            continue;
        }
        const float size = KXAidSize::viewDistance(canvas, camera, anchor) * LIGHT_SIZE / viewportSize;

        renderer->pushTransform(KXMatrix::translation(anchor.getX(), anchor.getY(), anchor.getZ()));
        renderer->pushTransform(KXMatrix::scaling(size, size, size));
        drawGroups(canvas, false, light->getLightType(), lightModelFixed, pass);
        renderer->popTransform();
        renderer->popTransform();
    }

    lightState->reset();
}
