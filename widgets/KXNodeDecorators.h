#pragma once

#include "renderer/KXExport.h"
#include "widgets/KXShapeSet.h"

class KXCanvas;
class KXLightModel;
class KXNode;
class KXSelection;

// The selection box drawn around selected nodes (a shape spanning -1 to 1
// on each axis, scaled to the node's bounds grown by the offset). The canvas
// asks for it at every group and shape of its transparent pass. The box
// drawing is not built yet: drawSelectionDecorator draws nothing.
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

    // Draws the selection box of node through the canvas when it is selected.
    void drawSelectionDecorator(KXCanvas& canvas, KXNode* node, KXSelection* selection);

private:
    KXNODEDECORATORSSTATE m_state = KXNODEDECORATORSSTATE_HIDDEN;
    KXLightModel* m_lightModel = nullptr;
    KXShapeSet m_shapes;
    float m_offset = 0.0f;
};
