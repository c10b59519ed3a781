#pragma once

#include "canvas/KXCanvas.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXColor.h"

class KXLightModel;

// Draws the scene on a plain background colour, lit by a light model of its
// owner's instead of the scene's background and lights, without specular
// highlights. The light model is borrowed and must outlive every render.
class KXDXRENDERER_API KXVecCanvas : public KXCanvas
{
public:
    KXVecCanvas();
    ~KXVecCanvas() override;

    void setBackgroundColor(const KXColor& color) { m_backgroundColor = color; }
    const KXColor& getBackgroundColor() const { return m_backgroundColor; }
    void setLightModel(KXLightModel* lightModel) { m_lightModel = lightModel; }
    KXLightModel* getLightModel() const { return m_lightModel; }

    // Clears to the background colour; the scene's background is not drawn.
    void drawBackground(KXCamera* camera, KXRoot* root) override;
    // Normalised normals and the owner's light model (placed for the
    // camera); without one, lighting stays on with no lights set here.
    void setupLights(KXCamera* camera, KXRoot* root, KXSelection* selection) override;

private:
    KXColor m_backgroundColor;
    KXLightModel* m_lightModel = nullptr;
};
