#include "widgets/KXNodeDecorators.h"

#include "canvas/KXCanvas.h"
#include "renderer/KXRenderer.h"
#include "sceneapi/KXBounds.h"
#include "sceneapi/KXNode.h"
#include "sceneapi/KXSelection.h"

void KXNodeDecorators::drawSelectionDecorator(KXCanvas& canvas, KXNode* node, KXSelection* selection)
{
    if (!node || !selection || !selection->check(node))
        return;
    drawSelectionBox(canvas, node->getBounds());
}

void KXNodeDecorators::drawSelectionBox(KXCanvas& canvas, const KXBounds& bounds)
{
    KXRenderer* renderer = canvas.getRenderer();
    KXShape* box = getDecorator(KXNODEDECORATORS_SELECTIONBOX);
    if (!renderer || !box || m_state != KXNODEDECORATORSSTATE_SHOWN || bounds.isEmpty())
        return;
    // The box spans -1 to 1: half the grown size scales it onto the bounds.
    const float grow = (1.0f + m_offset) * 0.5f;
    const KXPosition centre = bounds.getCenter();
    renderer->pushTransform(KXMatrix::translation(centre.getX(), centre.getY(), centre.getZ()));
    renderer->pushTransform(
        KXMatrix::scaling(bounds.getXRange() * grow, bounds.getYRange() * grow, bounds.getZRange() * grow));
    canvas.drawShape(box, 0, KXCanvas::KXPASS_OPAQUE);
    renderer->popTransform();
    renderer->popTransform();
}
