#pragma once

#include "canvas/KXCanvasPainter.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXMatrix.h"

class KXBounds;
class KXCamera;
class KXRoot;

// Mirrors the scene in a floor plane. The canvas hands it the scene's bounds
// before every paint, which place the floor square under the scene. The
// mirror drawing itself is not built yet: paint draws nothing.
class KXDXRENDERER_API KXPlanarReflectionPainter : public KXCanvasPainter
{
public:
    // The floor square (2 × 2 around the origin) spans this many scene radii.
    static constexpr float FLOOR_SCALE = 100.0f;

    KXPlanarReflectionPainter() = default;
    ~KXPlanarReflectionPainter() override;

    KXCANVASPAINTERTYPE getPainterType() const override { return KXCANVASPAINTER_PLANARREFLECTION; }
    void paint(const KXScene* scene) override;
    // Sets the lights for the mirrored scene.
    virtual void setupReflectedLights(KXCamera* camera, KXRoot* root);

    // Floor matrix = scale by FLOOR_SCALE × radius, then translation to the
    // centre's x and y on the ground.
    void setSceneBounds(const KXBounds& bounds);
    const KXMatrix& getFloorMatrix() const { return m_floorMatrix; }

private:
    KXMatrix m_floorMatrix;
};
