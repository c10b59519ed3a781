#pragma once

#include "canvas/KXViewport.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXCamera.h"
#include "widgets/KXShapeSet.h"

class KXCanvas;
class KXLightModel;

// A small orientation gizmo drawn in the bottom-left corner of the view
// after the scene, with a camera of its own that turns with the scene
// camera.
class KXDXRENDERER_API KXSceneAxes
{
public:
    // Widget numbers 1 to 6; the one equal to the scene axes type is
    // highlighted.
    enum KXSCENEAXESTYPE : int {
        KXSCENEAXES_NONE = 0,
    };
    enum KXSCENEAXESSTATE : int {
        KXSCENEAXESSTATE_HIDDEN = 0,
        KXSCENEAXESSTATE_SHOWN = 1,
    };
    // Distance of the axes camera's eye from the origin, along -y at first.
    static constexpr float EYE_POS_Y = -5.0f;
    // The corner viewport: this size, this far in from the left edge, on the
    // bottom edge.
    static constexpr unsigned VIEWPORT_WIDTH = 120;
    static constexpr unsigned VIEWPORT_HEIGHT = 100;
    static constexpr unsigned VIEWPORT_INSET = 5;

    // The axes camera looks at the origin from (0, -5, 0) with +z up, with a
    // unit viewport, planes 0.1 and 10 and a field of view of an eighth turn.
    KXSceneAxes();
    KXSceneAxes(const KXSceneAxes&) = delete;
    KXSceneAxes& operator=(const KXSceneAxes&) = delete;

    KXWidget* createWidget(KXSCENEAXESTYPE type) { return m_widgets.create(type); }
    KXWidget* getWidget(KXSCENEAXESTYPE type) const { return m_widgets.get(type); }

    KXPerspectiveCamera* getCamera() const { return m_camera.get(); }
    // Not owned.
    KXLightModel* getLightModel() const { return m_lightModel; }
    void setLightModel(KXLightModel* lightModel) { m_lightModel = lightModel; }
    KXSCENEAXESTYPE getSceneAxesType() const { return m_type; }
    void setSceneAxesType(KXSCENEAXESTYPE type) { m_type = type; }
    KXSCENEAXESSTATE getState() const { return m_state; }
    void setState(KXSCENEAXESSTATE state) { m_state = state; }
    static float getEyePosY() { return EYE_POS_Y; }

    // The corner of view where the gizmo is drawn, inside view however small
    // view is (empty for an empty view).
    static KXViewport getAxesViewport(const KXViewport& view);

    // Draws the gizmo through the canvas, turned like the scene camera, in
    // the corner of the renderer's viewport, over whatever is drawn there.
    // Widgets 1 to 3 are drawn opaque, 4 to 6 opaque then blended. The
    // renderer's viewport and camera are put back, and every render-state
    // family touched is reset.
    void drawAxes(KXCanvas& canvas, KXCamera* sceneCamera);

private:
    // The rectangle common to a and b; false when they do not overlap.
    static bool intersect(const KXViewport& a, const KXViewport& b, KXViewport& common);

    KXLightModel* m_lightModel = nullptr;
    KXRef<KXPerspectiveCamera> m_camera;
    KXSCENEAXESTYPE m_type = KXSCENEAXES_NONE;
    KXSCENEAXESSTATE m_state = KXSCENEAXESSTATE_HIDDEN;
    KXWidgetSet m_widgets;
};
