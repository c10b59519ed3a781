#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXBounds.h"
#include "widgets/KXShapeSet.h"

class KXCamera;
class KXCanvas;
class KXLightModel;
class KXRoot;
class KXSelection;

// The manipulators drawn on the selected nodes and lights: widgets by
// number, drawn in groups chosen by the state, the selected controller
// highlighted. While a controller is selected the canvas keeps its reference
// bounds. The widget drawing is not built yet: drawControllers draws
// nothing.
class KXDXRENDERER_API KXNodeControllers
{
public:
    // Widget numbers 1 to 23; what each offers is the application's.
    enum KXNODECONTROLLERTYPE : int {
        KXNODECONTROLLER_NONE = 0,
    };
    // States 0 to 8 choose the groups of widgets drawn.
    enum KXNODECONTROLLERSTATE : int {
        KXNODECONTROLLERSTATE_NONE = 0,
    };

    KXNodeControllers() = default;
    KXNodeControllers(const KXNodeControllers&) = delete;
    KXNodeControllers& operator=(const KXNodeControllers&) = delete;

    KXWidget* createWidget(KXNODECONTROLLERTYPE type) { return m_widgets.create(type); }
    KXWidget* getWidget(KXNODECONTROLLERTYPE type) const { return m_widgets.get(type); }

    KXNODECONTROLLERSTATE getState() const { return m_state; }
    void setState(KXNODECONTROLLERSTATE state) { m_state = state; }
    // Not owned.
    KXLightModel* getLightModel() const { return m_lightModel; }
    void setLightModel(KXLightModel* lightModel) { m_lightModel = lightModel; }
    // KXNODECONTROLLER_NONE when no controller is selected.
    KXNODECONTROLLERTYPE getSelectedController() const { return m_selectedController; }
    void setSelectedController(KXNODECONTROLLERTYPE controller) { m_selectedController = controller; }

    // The box from the origin to (1.4, 1.4, 1.4), whatever the scene.
    static KXBounds getMaximumBounds();

    // Draws the controllers of the selected nodes and lights through the
    // canvas, for the pass (0, then 1).
    void drawControllers(KXCanvas& canvas, KXCamera* camera, KXRoot* root, KXSelection* selection, unsigned pass);

private:
    KXNODECONTROLLERSTATE m_state = KXNODECONTROLLERSTATE_NONE;
    KXLightModel* m_lightModel = nullptr;
    KXNODECONTROLLERTYPE m_selectedController = KXNODECONTROLLER_NONE;
    KXWidgetSet m_widgets;
};
