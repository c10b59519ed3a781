#pragma once

#include "renderer/KXExport.h"
#include "widgets/KXShapeSet.h"

class KXBounds;
class KXCanvas;
class KXLightModel;
class KXNode;
class KXSelection;

// The selection box drawn around selected nodes and selected lights' markers
// (a shape spanning -1 to 1 on each axis, scaled to the bounds grown by the
// offset). The canvas asks for it at every group and shape of its
// transparent pass, placed where the node's transform puts it.
class KXDXRENDERER_API KXNodeDecorators
{
public:
    enum KXNODEDECORATORSTYPE : int {
        KXNODEDECORATORS_SELECTIONBOX = 0,
    };
    enum KXNODEDECORATORSSTATE : int {
        KXNODEDECORATORSSTATE_HIDDEN = 0,
        KXNODEDECORATORSSTATE_SHOWN = 1,
    };

    KXNodeDecorators() = default;
    KXNodeDecorators(const KXNodeDecorators&) = delete;
    KXNodeDecorators& operator=(const KXNodeDecorators&) = delete;

    KXShape* createDecorator(KXNODEDECORATORSTYPE type) { return m_shapes.create(type); }
    KXShape* getDecorator(KXNODEDECORATORSTYPE type) const { return m_shapes.get(type); }

    KXNODEDECORATORSSTATE getState() const { return m_state; }
    void setState(KXNODEDECORATORSSTATE state) { m_state = state; }
    // Not owned.
    KXLightModel* getLightModel() const { return m_lightModel; }
    void setLightModel(KXLightModel* lightModel) { m_lightModel = lightModel; }
    // Margin around the node's bounds, as a fraction of their size.
    float getOffset() const { return m_offset; }
    void setOffset(float offset) { m_offset = offset; }

    // Draws the selection box of node through the canvas when it is selected,
    // around its bounds.
    void drawSelectionDecorator(KXCanvas& canvas, KXNode* node, KXSelection* selection);
    // Draws the selection box around bounds (given where the renderer's
    // current transform places them) when the decorators are shown and the
    // box exists.
    void drawSelectionBox(KXCanvas& canvas, const KXBounds& bounds);

private:
    KXNODEDECORATORSSTATE m_state = KXNODEDECORATORSSTATE_HIDDEN;
    KXLightModel* m_lightModel = nullptr;
    KXShapeSet m_shapes;
    float m_offset = 0.0f;
};
