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
// bounds. The controllers keep the same size on screen whatever the camera,
// its zoom and the scale of the node.
class KXDXRENDERER_API KXNodeControllers
{
public:
    // Widget numbers 1 to 23; what each offers is the application's.
    enum KXNODECONTROLLERTYPE : int {
        KXNODECONTROLLER_NONE = 0,
        KXNODECONTROLLER_LAST = 23,
    };
    // States 0 to 8 choose the groups of widgets drawn: 1 to 3 one group of
    // the plain controllers each and 4 all three; 5 to 7 one group of the
    // animation controllers each and 8 all three.
    enum KXNODECONTROLLERSTATE : int {
        KXNODECONTROLLERSTATE_NONE = 0,
        KXNODECONTROLLERSTATE_ALL = 4,
        KXNODECONTROLLERSTATE_ALL_ANIMATED = 8,
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

    // Draws one widget, as the node controllers and the scene axes do: the
    // handle with normalisation on, then the visual and the letter with it
    // off, each with its selected appearance when highlight is set. A null
    // widget or missing shapes are skipped.
    static void drawWidget(KXCanvas& canvas, const KXWidget* widget, int highlight, unsigned pass);

    // Draws the controllers of the selected nodes, then of the selected
    // lights, through the canvas, for the pass (0, then 1). Lights get the
    // widgets that suit their kind only when the root's light model is
    // fixed; animated nodes get the animation widgets, placed where the
    // story board has them. Leaves the light state reset.
    void drawControllers(KXCanvas& canvas, KXCamera* camera, KXRoot* root, KXSelection* selection, unsigned pass);

private:
    // One group of widgets, and who gets it.
    struct WidgetGroup {
        const int* widgets;
        int count;
        KXNODECONTROLLERSTATE onlyState;
        KXNODECONTROLLERSTATE allState;
        bool forNodes;
        bool forAnimatedNodes;
        // Light kinds that get it (when the light model is fixed), as a mask
        // of 1 << KXLight::KXLIGHTTYPE.
        unsigned lightTypes;
    };
    static const WidgetGroup s_groups[6];

    // The widgets of the state's groups for a node (lightType < 0) or a
    // light of that type, placed by the transforms already pushed.
    void drawGroups(KXCanvas& canvas, bool animated, int lightType, bool lightModelFixed, unsigned pass);

    KXNODECONTROLLERSTATE m_state = KXNODECONTROLLERSTATE_NONE;
    KXLightModel* m_lightModel = nullptr;
    KXNODECONTROLLERTYPE m_selectedController = KXNODECONTROLLER_NONE;
    KXWidgetSet m_widgets;
};
