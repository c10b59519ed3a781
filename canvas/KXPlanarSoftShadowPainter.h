#pragma once

#include "canvas/KXCanvasPainter.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXObservable.h"

class KXBounds;
class KXDevice;

// Draws soft shadows: a blurred silhouette of the scene, rendered from a
// light into a texture, laid on a floor square under the scene. Before
// every paint the canvas hands it the device (which the painter observes,
// to drop its device resources around resets), the scene's bounds and
// whether the renderer is an off-screen one. The shadow drawing itself is
// not built yet: paint draws nothing.
class KXDXRENDERER_API KXPlanarSoftShadowPainter : public KXCanvasPainter, public KXObserver
{
public:
    // The floor square (2 × 2 around the origin) spans this many scene radii.
    static constexpr float FLOOR_SCALE = 2.0f;

    KXPlanarSoftShadowPainter() = default;
    // Unregisters from the device it observes.
    ~KXPlanarSoftShadowPainter() override;

    KXCANVASPAINTERTYPE getPainterType() const override { return KXCANVASPAINTER_PLANARSOFTSHADOW; }
    void paint(const KXScene* scene) override;

    // Keeps the device and registers with it (again; repeats are harmless).
    // A different device than before is unregistered from, so the painter
    // is never left on a device it no longer knows; out of memory it keeps
    // the device it had.
    void setDevice(KXDevice* device);
    KXDevice* getDevice() const { return m_device; }

    // Floor matrix = scale by FLOOR_SCALE × radius, then translation to the
    // centre's x and y on the ground.
    void setSceneBounds(const KXBounds& bounds);
    const KXMatrix& getFloorMatrix() const { return m_floorMatrix; }

    // 1 when the renderer draws off screen.
    void setOffScreen(int offScreen) { m_offScreen = offScreen; }
    int getOffScreen() const { return m_offScreen; }
    // While not 0 the shadow texture is rendered again on every paint, not
    // only on the first (the image generator asks for it for its device).
    void setUpdateTexture(int update) { m_updateTexture = update; }
    int getUpdateTexture() const { return m_updateTexture; }

    // Device events: on release the painter unregisters and forgets the
    // device.
    void update(KXObservable* source, const KXEvent& event) override;

private:
    KXMatrix m_floorMatrix;
    KXDevice* m_device = nullptr;
    int m_offScreen = 0;
    int m_updateTexture = 0;
};
