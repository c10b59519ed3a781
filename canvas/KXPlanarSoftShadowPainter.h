#pragma once

#include "canvas/KXCanvasPainter.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXColor.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXObservable.h"
#include "sceneapi/KXPlane.h"
#include "sceneapi/KXVector.h"

#include <memory>

class KXAppearance;
class KXBounds;
class KXCamera;
class KXDevice;
class KXImage2D;
class KXShadowFootprint;
class KXShadowTexGen;
class KXSoftShadowCanvas;
class KXTriMesh;

// Draws soft shadows on a floor plane. The scene, seen from a light camera,
// is rendered as a dark silhouette into a 256 × 256 texture, which is blurred
// and laid on the floor where the light camera's picture falls on it,
// blended over the scene with the silhouette's opacity. The texture is
// rendered at the first paint and afterwards only while the owner asks for
// updates (setUpdateTexture). The light camera is made with the texture and
// kept with it: a kept texture stays on the floor where it was cast, and
// changes of the light or of the scene show from the next rendering (a new
// plane from the next paint).
//
// The light camera frames the shapes that cast shadows (those rising above
// the ground), enlarged by a fifth, so that the texture is spent on them
// and not on a ground mesh under everything. Before every paint the canvas
// hands the painter the device (which the painter observes: a reset or
// release drops the device objects, and the next paint renders the texture
// again) and whether the renderer draws off screen.
class KXDXRENDERER_API KXPlanarSoftShadowPainter : public KXCanvasPainter, public KXObserver
{
public:
    enum KXSHADOWLIGHTTYPE : int {
        // A sun: an orthographic light camera.
        KXSHADOWLIGHT_DIRECTIONAL = 0,
        // Any other value: a perspective light camera.
        KXSHADOWLIGHT_POINT = 1,
    };
    // Side of the square shadow texture, in pixels.
    static constexpr unsigned TEXTURE_SIZE = 256;
    // The light camera frames the casters' bounds grown by this factor about
    // their centre, so that the blur does not reach the picture's edges.
    static constexpr float BOUNDS_MARGIN = 1.2f;

    KXPlanarSoftShadowPainter();
    // Unregisters from the device it observes and frees the device objects.
    ~KXPlanarSoftShadowPainter() override;

    KXCANVASPAINTERTYPE getPainterType() const override { return KXCANVASPAINTER_PLANARSOFTSHADOW; }
    // Nothing without a device, a renderer, a root or a shape that casts a
    // shadow, and nothing while the root camera's eye is on the far side of the
    // plane (below the default floor). Leaves every render-state family it
    // touched at its defaults.
    void paint(const KXScene* scene) override;

    void setLightType(KXSHADOWLIGHTTYPE type) { m_lightType = type; }
    KXSHADOWLIGHTTYPE getLightType() const { return m_lightType; }
    // The direction the light travels and the light camera's up vector
    // (another is chosen when it runs along the direction).
    void setLightDirection(const KXUnitVector& direction, const KXUnitVector& up);
    const KXUnitVector& getLightDirection() const { return m_lightDirection; }
    const KXUnitVector& getLightUp() const { return m_lightUp; }
    // The plane a·x + b·y + c·z + d = 0, any normal length but zero (the
    // whole equation is scaled with it); its normal points away from the
    // viewer, into the floor. A normal too short to give a direction switches
    // the shadows off.
    void setShadowPlane(const KXPlane& plane);
    const KXPlane& getShadowPlane() const { return m_plane; }
    // The silhouette's colours (their alpha is the shadow's opacity); they
    // show from the next time the texture is rendered.
    void setShadowColor(const KXColor& color);
    void setShadowColorForTransparentObjects(const KXColor& color);
    const KXColor& getShadowColor() const { return m_shadowColor; }
    const KXColor& getShadowColorForTransparentObjects() const { return m_transparentShadowColor; }

    // Keeps the device and registers with it (again; repeats are harmless).
    // A different device than before is unregistered from and its device
    // objects are dropped; out of memory it keeps the device it had.
    void setDevice(KXDevice* device);
    KXDevice* getDevice() const { return m_device; }
    // 1 when the renderer draws off screen.
    void setOffScreen(int offScreen) { m_offScreen = offScreen; }
    int getOffScreen() const { return m_offScreen; }
    // While not 0 the shadow texture is rendered again on every paint, not
    // only on the first.
    void setUpdateTexture(int update) { m_updateTexture = update; }
    int getUpdateTexture() const { return m_updateTexture; }
    // 1 once the texture holds a rendered shadow; back to 0 when the device
    // objects are dropped.
    int getTextureDone() const { return m_textureDone; }

    // The light camera of the last paint (null before the first).
    KXCamera* getLightCamera() const { return m_lightCamera.get(); }
    // The floor the texture is laid on (null until a paint has placed it).
    KXTriMesh* getFloorMesh() const { return m_floorPlaced ? m_floorMesh.get() : nullptr; }
    // The image the floor shows: the blurred silhouette.
    KXImage2D* getShadowImage() const { return m_shadowImage.get(); }
    KXAppearance* getShadowAppearance() const { return m_shadowAppearance.get(); }
    KXAppearance* getShadowAppearanceForTransparentObjects() const { return m_transparentShadowAppearance.get(); }
    KXAppearance* getFloorAppearance() const { return m_floorAppearance.get(); }

    // Device events: before a reset and on release the device objects are
    // dropped; on release the painter also unregisters and forgets the device.
    void update(KXObservable* source, const KXEvent& event) override;

private:
    // Makes what construction (or an earlier paint) had no memory for.
    bool makeMissingParts();
    void updateMaterials();
    bool isEyeOnViewerSide(const KXCamera& camera) const;
    void buildLightCamera(const KXBounds& casterBounds);
    void renderTexture(const KXScene* scene);
    bool placeFloor();
    void drawFloor();
    // Takes the shadow image off the generator's texture and frees the
    // generator: the texture is rendered again at the next paint.
    void dropDeviceObjects();

    KXRef<KXAppearance> m_shadowAppearance;
    KXRef<KXAppearance> m_transparentShadowAppearance;
    KXRef<KXAppearance> m_floorAppearance;
    KXRef<KXImage2D> m_shadowImage;
    KXRef<KXTriMesh> m_floorMesh;
    std::unique_ptr<KXCamera> m_lightCamera;
    std::unique_ptr<KXShadowFootprint> m_footprint;
    std::unique_ptr<KXSoftShadowCanvas> m_shadowCanvas;
    std::unique_ptr<KXShadowTexGen> m_generator;
    KXSHADOWLIGHTTYPE m_lightType = KXSHADOWLIGHT_DIRECTIONAL;
    KXUnitVector m_lightDirection{0.0f, 0.0f, -1.0f};
    KXUnitVector m_lightUp{0.0f, 1.0f, 0.0f};
    KXPlane m_plane{0.0f, 0.0f, -1.0f, 0.001f};
    KXPlane m_unitPlane{0.0f, 0.0f, -1.0f, 0.001f};
    bool m_planeUsable = true;
    KXColor m_shadowColor{0.1f, 0.1f, 0.1f, 0.3f};
    // As the hard shadows of transparent shapes: lighter than the others.
    KXColor m_transparentShadowColor{0.1f, 0.1f, 0.1f, 0.05f};
    bool m_floorPlaced = false;
    KXDevice* m_device = nullptr;
    int m_offScreen = 0;
    int m_updateTexture = 0;
    int m_textureDone = 0;
};
