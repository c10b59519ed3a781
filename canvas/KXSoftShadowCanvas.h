#pragma once

#include "canvas/KXCanvas.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXBounds.h"
#include "sceneapi/KXColor.h"

class KXAppearance;
class KXCamera;

// Draws the scene as a flat silhouette seen from a light camera: every shape
// with one of two shadow appearances (opaque shapes with the first,
// transparent ones with the second) on a background colour, each pixel
// darkened at most once through the stencil buffer. The soft-shadow painter
// renders it into a texture and blurs that into the soft shadow.
//
// It is rendered while another frame is open on the device: it opens and
// closes no scene of its own and tells no observers. It draws no fog, no
// specular highlights and no shaders, and culls against the light camera's
// view. Shapes that do not reach above the ground z = 0 cast no shadow on it.
// The appearances and the light camera are borrowed and must outlive every
// render; without a light camera nothing is drawn.
class KXDXRENDERER_API KXSoftShadowCanvas : public KXCanvas
{
public:
    KXSoftShadowCanvas();
    ~KXSoftShadowCanvas() override;

    void setBackgroundColor(const KXColor& color) { m_backgroundColor = color; }
    const KXColor& getBackgroundColor() const { return m_backgroundColor; }
    void setShadowAppearance(KXAppearance* appearance) { m_shadowAppearance = appearance; }
    void setShadowAppearanceForTransparentObjects(KXAppearance* appearance) { m_transparentShadowAppearance = appearance; }
    void setLightCamera(KXCamera* camera) { m_lightCamera = camera; }
    KXCamera* getLightCamera() const { return m_lightCamera; }

    // Whether the canvas draws the shape into the silhouette: it is not
    // invisible (diffuse alpha 0), and some part of it, placed in the scene,
    // rises above the ground z = 0 (a ground mesh lying at z = 0 does not).
    static bool castsShadow(const KXShape& shape);
    // The box, in scene space, around every enabled shape below the group
    // that casts a shadow; empty when none does.
    static KXBounds getCasterBounds(KXGroup* group);

    // Renders only with a light camera.
    void render(const KXScene* scene, const KXStoryBoard* storyBoard) override;
    void beginFrame() override;
    void endFrame() override;
    // Clears depth with depth tests and writes on.
    void clearDepth() override;
    // Clears to the background colour, then puts on the shadow appearance.
    void drawBackground(KXCamera* camera, KXRoot* root) override;
    // The light camera, whatever camera is given; culling follows it.
    void applyCamera(KXCamera* camera) override;
    // Without fog, with the stencil letting each pixel be written once.
    void drawScene(KXRoot* root, KXSelection* selection) override;
    // Pass 0 draws with the shadow appearance, pass 1 with the one for
    // transparent objects.
    void drawGroup(KXGroup* group, KXSelection* selection, unsigned pass) override;
    // Leaves out shapes below the ground and, by their diffuse alpha, shapes
    // of the other pass and invisible ones.
    void drawShape(KXShape* shape, int useSelectedAppearance, unsigned pass) override;
    // The shapes' own appearances are not used.
    void applyAppearance(KXAppearance* appearance) override;
    void restoreAppearance() override;
    // Drawn without shader programs.
    void drawGeometry(KXGeometry* geometry, KXShaderProgram* shader) override;
    void drawGeometryGroup(KXGeometryGroup* group, KXShaderProgram* shader) override;

private:
    KXColor m_backgroundColor;
    KXAppearance* m_shadowAppearance = nullptr;
    KXAppearance* m_transparentShadowAppearance = nullptr;
    KXCamera* m_lightCamera = nullptr;
};
