#include "KXEditorAidsSetup.h"

#include "canvas/KXCanvas.h"
#include "canvas/KXSoftShadowCanvas.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXCone.h"
#include "sceneapi/KXGeometryGroup.h"
#include "sceneapi/KXGroup.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXSelection.h"
#include "sceneapi/KXSheet.h"
#include "sceneapi/KXShape.h"
#include "sceneapi/KXSphere.h"
#include "sceneapi/KXWireSheet.h"
#include "widgets/KXControllerGuide.h"
#include "widgets/KXLightDecorator.h"
#include "widgets/KXNodeControllers.h"
#include "widgets/KXNodeDecorators.h"
#include "widgets/KXSceneAxes.h"

#include <vector>

namespace {

// An appearance that shows its colour whatever the lights.
KXRef<KXAppearance> glowing(const KXColor& colour)
{
    auto appearance = KXMake<KXAppearance>();
    const KXColor black(0.0f, 0.0f, 0.0f, colour.getA());
    appearance->createMaterial()->set(black, black, black, colour, 0.0f);
    return appearance;
}

// A lit appearance in the colour (the light markers take their light's).
KXRef<KXAppearance> lit(const KXColor& colour)
{
    auto appearance = KXMake<KXAppearance>();
    appearance->createMaterial()->set(colour, colour, KXColor(0.3f, 0.3f, 0.3f, 1.0f), KXColor(0, 0, 0, 0), 20.0f);
    return appearance;
}

// An arrow from the origin along axis, one unit long: a shaft and a tip.
KXRef<KXGeometryGroup> arrow(const KXVector& axis)
{
    auto shaft = KXMake<KXCone>();
    shaft->setParameters(KXPosition(), axis, 0.03f, 0.03f, 0.8f, 0.4f, 1, true, true);
    auto tip = KXMake<KXCone>();
    tip->setParameters(KXPosition() + axis * 0.8f, axis, 0.09f, 0.0f, 0.3f, 0.4f, 1, true, false);
    auto group = KXMake<KXGeometryGroup>();
    group->addGeometry(shaft.get());
    group->addGeometry(tip.get());
    return group;
}

// The twelve edges of the box from -1 to 1.
KXRef<KXPolyline> wireCube()
{
    std::vector<KXPosition> points;
    for (int a = 0; a < 3; ++a) {
        const int b = (a + 1) % 3, c = (a + 2) % 3;
        for (int corner = 0; corner < 4; ++corner) {
            float from[3], to[3];
            from[a] = -1.0f;
            to[a] = 1.0f;
            from[b] = to[b] = (corner & 1) ? 1.0f : -1.0f;
            from[c] = to[c] = (corner & 2) ? 1.0f : -1.0f;
            points.emplace_back(from[0], from[1], from[2]);
            points.emplace_back(to[0], to[1], to[2]);
        }
    }
    auto cube = KXMake<KXPolyline>();
    cube->set(KXPolyline::KXPOLYLINETYPE_SEGMENTS, points);
    return cube;
}

// The first shape below the group, depth first, that stands above the
// ground (a ground sheet is not what anyone would pick).
KXShape* firstShape(KXGroup* group)
{
    for (int i = 0; i < group->getNumChildNodes(); ++i) {
        KXNode* child = group->getChild(i);
        if (auto* shape = dynamic_cast<KXShape*>(child)) {
            if (KXSoftShadowCanvas::castsShadow(*shape))
                return shape;
            continue;
        }
        if (auto* childGroup = dynamic_cast<KXGroup*>(child))
            if (KXShape* shape = firstShape(childGroup))
                return shape;
    }
    return nullptr;
}

void fillArrows(KXWidget* const widgets[3], bool highlightable)
{
    const KXVector axes[3] = {KXVector(1, 0, 0), KXVector(0, 1, 0), KXVector(0, 0, 1)};
    const KXColor colours[3] = {KXColor(0.9f, 0.15f, 0.1f), KXColor(0.2f, 0.8f, 0.2f), KXColor(0.2f, 0.35f, 0.95f)};
    for (int i = 0; i < 3; ++i) {
        if (!widgets[i])
            continue;
        KXShape* visual = widgets[i]->createVisual();
        if (!visual)
            continue;
        visual->setGeometryGroup(arrow(axes[i]).get());
        visual->setAppearance(glowing(colours[i]).get());
        if (highlightable)
            visual->setSelectedAppearance(glowing(KXColor(1.0f, 0.85f, 0.1f)).get());
    }
}

} // namespace

void setUpEditorAids(KXCanvas& canvas, const KXScene& scene)
{
    KXRoot* root = scene.getRoot();
    if (!root)
        return;

    // Every light marked, lit by the scene's own lights.
    canvas.showLights(1, 0);
    if (KXLightDecorator* lights = canvas.createLightDecorator()) {
        lights->setLightModel(root->getLightModel());
        const KXLightDecorator::KXLIGHTDECORATORTYPE cones[] = {KXLightDecorator::KXLIGHTDECORATOR_DIRECTIONAL,
                                                               KXLightDecorator::KXLIGHTDECORATOR_SPOT};
        for (const auto type : cones) {
            if (KXShape* marker = lights->createDecorator(type)) {
                marker->setGeometry(KXMake<KXCone>().get());
                marker->setAppearance(lit(KXColor(1, 1, 1)).get());
            }
        }
        if (KXShape* marker = lights->createDecorator(KXLightDecorator::KXLIGHTDECORATOR_POINT)) {
            marker->setGeometry(KXMake<KXSphere>().get());
            marker->setAppearance(lit(KXColor(1, 1, 1)).get());
        }
    }

    // The first shape selected, boxed.
    KXShape* selected = firstShape(root);
    if (selected && scene.getSelection())
        scene.getSelection()->selectNode(selected);
    if (KXNodeDecorators* decorators = canvas.createNodeDecorators()) {
        decorators->setState(KXNodeDecorators::KXNODEDECORATORSSTATE_SHOWN);
        decorators->setOffset(0.05f);
        if (KXShape* box = decorators->createDecorator(KXNodeDecorators::KXNODEDECORATORS_SELECTIONBOX)) {
            box->setGeometry(wireCube().get());
            box->setAppearance(glowing(KXColor(1.0f, 0.85f, 0.1f)).get());
        }
    }

    // Its move handles, the x handle picked.
    if (KXNodeControllers* controllers = canvas.createNodeControllers()) {
        controllers->setState(static_cast<KXNodeControllers::KXNODECONTROLLERSTATE>(1));
        KXWidget* const handles[3] = {
            controllers->createWidget(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(1)),
            controllers->createWidget(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(2)),
            controllers->createWidget(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(3))};
        fillArrows(handles, true);
        controllers->setSelectedController(static_cast<KXNodeControllers::KXNODECONTROLLERTYPE>(1));
    }

    // The guide of the x handle: a faint sheet, a grid and a line.
    if (KXControllerGuide* guide = canvas.createControllerGuide()) {
        if (KXShape* sheet = guide->createGuide(KXControllerGuide::KXCONTROLLERGUIDE_SHEET)) {
            // Seen from either side of the plane.
            auto plane = KXMake<KXSheet>();
            plane->setSidedness(KXTriMesh::KXSIDEDNESS_TWO);
            sheet->setGeometry(plane.get());
            sheet->setAppearance(glowing(KXColor(0.9f, 0.15f, 0.1f, 0.12f)).get());
        }
        if (KXShape* grid = guide->createGuide(KXControllerGuide::KXCONTROLLERGUIDE_GRID)) {
            auto group = KXMake<KXGeometryGroup>();
            group->addGeometry(KXMake<KXWireSheet>().get());
            grid->setGeometryGroup(group.get());
            grid->setAppearance(glowing(KXColor(1.0f, 1.0f, 1.0f, 0.6f)).get());
        }
        if (KXShape* line = guide->createGuide(KXControllerGuide::KXCONTROLLERGUIDE_LINE)) {
            line->setGeometry(KXMake<KXPolyline>().get());
            line->setAppearance(glowing(KXColor(1.0f, 1.0f, 1.0f, 0.8f)).get());
        }
    }

    // The axes in the corner.
    if (KXSceneAxes* axes = canvas.createSceneAxes()) {
        axes->setState(KXSceneAxes::KXSCENEAXESSTATE_SHOWN);
        KXWidget* const arrows[3] = {axes->createWidget(static_cast<KXSceneAxes::KXSCENEAXESTYPE>(1)),
                                     axes->createWidget(static_cast<KXSceneAxes::KXSCENEAXESTYPE>(2)),
                                     axes->createWidget(static_cast<KXSceneAxes::KXSCENEAXESTYPE>(3))};
        fillArrows(arrows, false);
    }
}
