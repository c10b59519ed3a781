#pragma once

#include "renderer/KXExport.h"
#include "widgets/KXShapeSet.h"

class KXBounds;
class KXCamera;
class KXCanvas;
class KXLightModel;
class KXSelection;

// Markers of the scene's lights (a cone for directional and spot lights, a
// sphere for point lights), drawn while the canvas sets up its lights when
// it shows lights. The application fills the marker shapes; the light
// model, when set, lights the markers. The marker drawing is not built yet:
// drawDecorators draws nothing.
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

    // Draws the markers of the lights of lightModel through the canvas.
    void drawDecorators(KXCanvas& canvas, KXLightModel* lightModel, const KXBounds& sceneBounds, KXCamera* camera,
                        KXSelection* selection);

private:
    KXLIGHTDECORATORSTATE m_state = KXLIGHTDECORATORSTATE_DEFAULT;
    KXLightModel* m_lightModel = nullptr;
    KXShapeSet m_shapes;
};
