#pragma once

#include "renderer/KXExport.h"
#include "widgets/KXShapeSet.h"

// Shapes drawn under the whole scene, scaled by the scene's radius and
// centred under its centre: state 1 draws decorator 0, state 2 decorator 1,
// any other state none. The canvas draws them itself before each pass.
class KXDXRENDERER_API KXSceneDecorators
{
public:
    enum KXSCENEDECORATORSTYPE : int {
        KXSCENEDECORATORS_FIRST = 0,
        KXSCENEDECORATORS_SECOND = 1,
    };
    enum KXSCENEDECORATORSSTATE : int {
        KXSCENEDECORATORSSTATE_NONE = 0,
        KXSCENEDECORATORSSTATE_FIRST = 1,
        KXSCENEDECORATORSSTATE_SECOND = 2,
    };

    KXSceneDecorators() = default;
    KXSceneDecorators(const KXSceneDecorators&) = delete;
    KXSceneDecorators& operator=(const KXSceneDecorators&) = delete;

    KXShape* createDecorator(KXSCENEDECORATORSTYPE type) { return m_shapes.create(type); }
    KXShape* getDecorator(KXSCENEDECORATORSTYPE type) const { return m_shapes.get(type); }

    KXSCENEDECORATORSSTATE getState() const { return m_state; }
    void setState(KXSCENEDECORATORSSTATE state) { m_state = state; }

private:
    KXSCENEDECORATORSSTATE m_state = KXSCENEDECORATORSSTATE_NONE;
    KXShapeSet m_shapes;
};
