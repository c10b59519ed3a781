#pragma once

#include "renderer/KXExport.h"
#include "widgets/KXShapeSet.h"

class KXBounds;
class KXCamera;
class KXCanvas;
class KXLight;
class KXLightModel;
class KXSelection;
class KXShape;
class KXZBufferState;

// Markers of the scene's lights (a cone for directional and spot lights, a
// sphere for point lights), drawn while the canvas sets up its lights when
// it shows lights. The application fills the marker shapes; the light
// model, when set, lights the markers. The markers keep their size on
// screen (see KXAidSize): in detail, point and spot lights also show their
// reach, translucent.
class KXDXRENDERER_API KXLightDecorator
{
public:
    enum KXLIGHTDECORATORTYPE : int {
        KXLIGHTDECORATOR_DIRECTIONAL = 0,
        KXLIGHTDECORATOR_SPOT = 1,
        KXLIGHTDECORATOR_POINT = 2,
    };
    enum KXLIGHTDECORATORSTATE : int {
        KXLIGHTDECORATORSTATE_DEFAULT = 0,
    };

    KXLightDecorator() = default;
    KXLightDecorator(const KXLightDecorator&) = delete;
    KXLightDecorator& operator=(const KXLightDecorator&) = delete;

    KXShape* createDecorator(KXLIGHTDECORATORTYPE type) { return m_shapes.create(type); }
    KXShape* getDecorator(KXLIGHTDECORATORTYPE type) const { return m_shapes.get(type); }

    KXLIGHTDECORATORSTATE getState() const { return m_state; }
    void setState(KXLIGHTDECORATORSTATE state) { m_state = state; }
    // Not owned.
    KXLightModel* getLightModel() const { return m_lightModel; }
    void setLightModel(KXLightModel* lightModel) { m_lightModel = lightModel; }

    // Marker size per unit of view distance: a marker a hundredth of the
    // distance at which the view is seen.
    static constexpr float MARKER_SCALE = 0.01f;
    // Opacity of the reach shown in detail.
    static constexpr float REACH_OPACITY = 0.1f;

    // Draws the markers of the enabled lights of lightModel through the
    // canvas, with the selection box around selected ones; nothing for a
    // light model that is not fixed (its lights move with the camera). A
    // directional light's marker stands three scene radii from the centre
    // of sceneBounds, against its direction.
    void drawDecorators(KXCanvas& canvas, KXLightModel* lightModel, const KXBounds& sceneBounds, KXCamera* camera,
                        KXSelection* selection);

private:
    // The translucent reach of a point or spot light, drawn with the marker
    // re-shaped to it; nothing for an unlimited range.
    void drawReach(KXCanvas& canvas, KXShape& marker, const KXLight& light, KXZBufferState* zBuffer);

    KXLIGHTDECORATORSTATE m_state = KXLIGHTDECORATORSTATE_DEFAULT;
    KXLightModel* m_lightModel = nullptr;
    KXShapeSet m_shapes;
};
