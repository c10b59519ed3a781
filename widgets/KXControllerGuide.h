#pragma once

#include "renderer/KXExport.h"
#include "widgets/KXShapeSet.h"

class KXCamera;
class KXCanvas;
class KXSelection;

// The guide drawn over the finished scene while a node controller is
// selected: a sheet and a grid in the plane of the manipulation and a line
// from the scene's centre to that plane. The plane is perpendicular to the
// controller's axis (x for controllers 1, 11, 14 and 21, y for 2, 12, 15
// and 22, z for 3, 10, 16 and 20; none for the others) through the anchor:
// the last selected light, else the last selected node (whose own axes then
// turn the guide).
class KXDXRENDERER_API KXControllerGuide
{
public:
    enum KXCONTROLLERGUIDETYPE : int {
        KXCONTROLLERGUIDE_SHEET = 0,
        KXCONTROLLERGUIDE_GRID = 1,
        KXCONTROLLERGUIDE_LINE = 2,
    };
    enum KXCONTROLLERGUIDESTATE : int {
        KXCONTROLLERGUIDESTATE_DEFAULT = 0,
    };

    KXControllerGuide() = default;
    KXControllerGuide(const KXControllerGuide&) = delete;
    KXControllerGuide& operator=(const KXControllerGuide&) = delete;

    KXShape* createGuide(KXCONTROLLERGUIDETYPE type) { return m_shapes.create(type); }
    KXShape* getGuide(KXCONTROLLERGUIDETYPE type) const { return m_shapes.get(type); }

    KXCONTROLLERGUIDESTATE getState() const { return m_state; }
    void setState(KXCONTROLLERGUIDESTATE state) { m_state = state; }

    // Size of the sheet, in radii of the canvas's reference bounds.
    static constexpr float SHEET_SCALE = 5.0f;

    // Draws the guide for the selection through the canvas.
    void drawGuide(KXCanvas& canvas, KXCamera* camera, KXSelection* selection);

private:
    KXCONTROLLERGUIDESTATE m_state = KXCONTROLLERGUIDESTATE_DEFAULT;
    KXShapeSet m_shapes;
};
