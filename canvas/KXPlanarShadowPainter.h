#pragma once

#include "canvas/KXCanvasPainter.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXColor.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXPlane.h"
#include "sceneapi/KXVector.h"

class KXCamera;
class KXGroup;
class KXMaterial;
class KXRoot;
class KXShape;

// Draws hard shadows of the scene flattened onto a plane (by default the
// plane z = 0.0001, a hair above the ground, its normal pointing down). Every
// shape is drawn through a projection matrix built from the plane and one
// light, with a dark, partly transparent material, and the stencil buffer
// lets each pixel be darkened once: opaque shapes first (30 % opacity), then
// transparent ones (5 %), which add nothing where an opaque shadow lies. The
// canvas runs it when shadows are on and soft shadows are not.
class KXDXRENDERER_API KXPlanarShadowPainter : public KXCanvasPainter
{
public:
    enum KXSHADOWLIGHTTYPE : int {
        // The light vector is the direction the light travels (a sun).
        KXSHADOWLIGHT_DIRECTIONAL = 0,
        // Any other value: the light vector is the position of a point light.
        KXSHADOWLIGHT_POINT = 1,
    };

    // Opacity of the shadows of opaque and of transparent shapes; the alpha
    // of the shadow colours plays no part.
    static constexpr float SHADOW_OPACITY = 0.3f;
    static constexpr float TRANSPARENT_SHADOW_OPACITY = 0.05f;

    KXPlanarShadowPainter();
    ~KXPlanarShadowPainter() override;

    KXCANVASPAINTERTYPE getPainterType() const override { return KXCANVASPAINTER_PLANARSHADOW; }
    // Draws the shadows of the scene's root, unless the root's camera looks
    // at the plane from the side the normal points to (from below the
    // default plane).
    void paint(const KXScene* scene) override;

    // Each setter recomputes the shadow matrix at once.
    void setLightType(KXSHADOWLIGHTTYPE type);
    // The light vector becomes the unit vector given: the direction of a
    // directional light, or the position (at unit distance from the origin)
    // of a point light.
    void setLightDirection(const KXUnitVector& direction);
    // The light vector becomes the position given as it is, for point
    // lights at any distance.
    void setLightPosition(const KXPosition& position);
    // The plane a·x + b·y + c·z + d = 0; the normal need not have unit
    // length (the whole equation is scaled with it). The shadows are seen
    // from the side the normal points away from; a camera on the other side
    // sees none.
    void setShadowPlane(const KXPlane& plane);
    // The RGB of the shadows; their opacity is fixed (above).
    void setShadowColor(const KXColor& color);
    void setShadowColorForTransparentObjects(const KXColor& color);

    KXSHADOWLIGHTTYPE getLightType() const { return m_lightType; }
    const KXVector& getLightVector() const { return m_light; }
    const KXPlane& getShadowPlane() const { return m_plane; }
    const KXColor& getShadowColor() const { return m_shadowColor; }
    const KXColor& getShadowColorForTransparentObjects() const { return m_transparentShadowColor; }
    // Projects a point (row vector) along the light onto the plane. It is
    // oriented so that the points that cast a shadow keep w > 0.
    const KXMatrix& getShadowMatrix() const { return m_shadowMatrix; }
    // False when no shadow can be drawn: a plane without a normal, or a
    // light in the plane (a point light) or parallel to it (a directional
    // light).
    bool hasShadowMatrix() const { return m_matrixUsable; }
    // The painter's own materials (null only when memory ran out while
    // making them; they are made again at the next paint): ambient, diffuse
    // and specular black with the shadow's opacity as alpha, emissive the
    // shadow colour.
    KXMaterial* getShadowMaterial() const { return m_shadowMaterial.get(); }
    KXMaterial* getShadowMaterialForTransparentObjects() const { return m_transparentShadowMaterial.get(); }

private:
    enum : unsigned { PASS_OPAQUE = 0, PASS_TRANSPARENT = 1 };

    void computeShadowMatrix();
    // Makes the materials that are missing and puts the shadow colours into
    // them; false when memory ran out.
    bool updateMaterials();
    // Whether the camera is on the side of the plane that the shadows are
    // drawn for.
    bool seesShadowSide(const KXCamera& camera) const;
    void drawShadows(KXRoot* root);
    void drawPass(KXRoot* root, KXMaterial* material, unsigned pass);
    void walk(KXGroup* group, unsigned pass);
    void drawShapeShadow(KXShape* shape, unsigned pass);
    bool castsShadow(const KXShape& shape) const;

    KXRef<KXMaterial> m_shadowMaterial;
    KXRef<KXMaterial> m_transparentShadowMaterial;
    KXMatrix m_shadowMatrix;
    KXSHADOWLIGHTTYPE m_lightType = KXSHADOWLIGHT_DIRECTIONAL;
    KXVector m_light{0.0f, 0.0f, -1.0f};
    KXPlane m_plane{0.0f, 0.0f, -1.0f, 0.0001f};
    KXColor m_shadowColor{0.1f, 0.1f, 0.1f, 0.3f};
    KXColor m_transparentShadowColor{0.1f, 0.1f, 0.1f, 0.05f};

    // Derived by computeShadowMatrix: the plane scaled to a unit normal,
    // whether the matrix can be drawn with, and the sign of the signed
    // distance (to the unit plane) of the points between the light and the
    // plane: only shapes reaching that side cast a shadow.
    KXPlane m_unitPlane{0.0f, 0.0f, -1.0f, 0.0001f};
    bool m_matrixUsable = true;
    float m_lightSide = -1.0f;
};
