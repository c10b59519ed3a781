#include "widgets/KXControllerGuide.h"

#include "canvas/KXCanvas.h"
#include "renderer/KXRenderer.h"
#include "sceneapi/KXBounds.h"
#include "sceneapi/KXGeometryGroup.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXNode.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXSelection.h"
#include "sceneapi/KXSheet.h"
#include "sceneapi/KXWireSheet.h"
#include "widgets/KXAidSize.h"
#include "widgets/KXNodeControllers.h"

#include <algorithm>
#include <cmath>

namespace {

// 0, 1 or 2 for the axis the controller works along, -1 for none.
int guideAxis(int controller)
{
    switch (controller) {
    case 1: case 11: case 14: case 21:
        return 0;
    case 2: case 12: case 15: case 22:
        return 1;
    case 3: case 10: case 16: case 20:
        return 2;
    default:
        return -1;
    }
}

// Where the guide is anchored and how it is turned.
struct Anchor {
    bool found = false;
    KXPosition position;
    // The node's world matrix, for a guide that follows a node's axes.
    bool nodeAligned = false;
    KXMatrix rotation;
};

Anchor findAnchor(const KXCanvas& canvas, const KXSelection& selection)
{
    Anchor anchor;
    // Every selected node, then every selected light: the two lists are
    // apart, and the last one found anchors the guide.
    for (int i = 0; i < selection.getNumSelectedNodes(); ++i) {
        const KXNode* node = selection.getSelectedNode(i);
        if (!node || !node->isEnabled())
            continue;
        const KXMatrix world = KXAidSize::nodeWorldMatrix(canvas, *node);
        anchor = {true, world.transform(KXPosition()), true, world};
    }
    for (int i = 0; i < selection.getNumSelectedLights(); ++i) {
        const KXLight* light = selection.getSelectedLight(i);
        if (!light)
            continue;
        if (const auto* directional = dynamic_cast<const KXDirectionalLight*>(light)) {
            // A plain vector: a unit vector's products stay of unit length.
            const KXVector direction(directional->getDirection());
            anchor = {true, canvas.getSceneCenter() - direction * (canvas.getSceneRadius() * 3.0f), false, KXMatrix()};
        } else if (const auto* point = dynamic_cast<const KXPointLight*>(light)) {
            anchor = {true, point->getPosition(), false, KXMatrix()};
        }
    }
    return anchor;
}

} // namespace

void KXControllerGuide::drawGuide(KXCanvas& canvas, KXCamera* camera, KXSelection* selection)
{
    const KXNodeControllers* controllers = canvas.getNodeControllers();
    if (!camera || !selection || !controllers || !canvas.getRenderer())
        return;
    const int axisIndex = guideAxis(controllers->getSelectedController());
    if (axisIndex < 0)
        return;
    const Anchor anchor = findAnchor(canvas, *selection);
    if (!anchor.found)
        return;

    KXVector axes[3] = {KXVector(1.0f, 0.0f, 0.0f), KXVector(0.0f, 1.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f)};
    if (anchor.nodeAligned) {
        for (KXVector& axis : axes) {
            axis = anchor.rotation.transform(axis);
            axis.normalize();
        }
    }
    const KXVector& axis = axes[axisIndex];
    // The two other axes span the plane, in the same turn for sheet and grid.
    const KXVector& u = axes[(axisIndex + 1) % 3];
    const KXVector& v = axes[(axisIndex + 2) % 3];

    const KXBounds& reference = canvas.getReferenceBounds();
    const KXPosition referenceCentre = reference.getCenter();
    const float referenceRadius = reference.getRadius();
    // The reference centre moved along the axis into the guide plane.
    const KXPosition projected = referenceCentre - axis * (referenceCentre - anchor.position).dot(axis);

    if (KXShape* sheetShape = getGuide(KXCONTROLLERGUIDE_SHEET)) {
        if (auto* sheet = dynamic_cast<KXSheet*>(sheetShape->getGeometry())) {
            sheet->setParameters(projected, u, v, SHEET_SCALE * referenceRadius, SHEET_SCALE * referenceRadius);
            canvas.drawShape(sheetShape, 0, KXCanvas::KXPASS_TRANSPARENT);
        }
    }

    if (KXShape* gridShape = getGuide(KXCONTROLLERGUIDE_GRID)) {
        KXGeometryGroup* group = gridShape->getGeometryGroup();
        auto* grid = group && group->getNumGeometry() > 0 ? dynamic_cast<KXWireSheet*>(group->getGeometry(0)) : nullptr;
        if (grid) {
            // The rectangle whose diagonal runs from the projected centre to
            // the anchor, a hair off the sheet so that it stays in front.
            const KXVector diagonal = anchor.position - projected;
            const KXPosition middle = projected + diagonal * 0.5f + axis * (referenceRadius * 0.0001f);
            grid->setParameters(middle, u, v, std::fabs(diagonal.dot(u)), std::fabs(diagonal.dot(v)));
            canvas.drawShape(gridShape, 0, KXCanvas::KXPASS_TRANSPARENT);
        }
    }

    if (KXShape* lineShape = getGuide(KXCONTROLLERGUIDE_LINE)) {
        if (auto* line = dynamic_cast<KXPolyline*>(lineShape->getGeometry())) {
            line->set(KXPolyline::KXPOLYLINETYPE_SEGMENTS, {referenceCentre, projected});
            canvas.drawShape(lineShape, 0, KXCanvas::KXPASS_TRANSPARENT);
        }
    }
}
