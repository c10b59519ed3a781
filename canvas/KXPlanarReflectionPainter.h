#pragma once

#include "canvas/KXCanvasPainter.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXPlane.h"
#include "sceneapi/KXVector.h"

#include <memory>

class KXAppearance;
class KXBounds;
class KXCamera;
class KXExponentialFog;
class KXGeometry;
class KXGroup;
class KXPrimitivesFactory;
class KXRenderStateMgr;
class KXRoot;
class KXShaderProgram;
class KXShape;
class KXTexture3D;

// Mirrors the scene in a floor plane. After the canvas has drawn the scene
// it marks the visible part of a large floor square in the stencil buffer,
// draws the scene once more through the reflection in the plane, only on
// the marked pixels, with the lights mirrored too and a grey fog that fades
// the mirror image with distance, and then lays the scene's depth again, so
// that the shadows and aids drawn after it are hidden by the scene as
// without the mirror.
//
// The plane's normal points away from the viewer, into the floor: the
// mirror is drawn only while the eye is on the other side, where the plane's
// equation is negative. The canvas hands the painter the scene's bounds
// before every paint; they place the floor square under the scene.
class KXDXRENDERER_API KXPlanarReflectionPainter : public KXCanvasPainter
{
public:
    // The floor square (2 × 2 around its centre) spans this many scene radii.
    static constexpr float FLOOR_SCALE = 100.0f;

    // The plane z = 0.001, just above the ground, normal (0, 0, -1).
    KXPlanarReflectionPainter();
    ~KXPlanarReflectionPainter() override;

    KXCANVASPAINTERTYPE getPainterType() const override { return KXCANVASPAINTER_PLANARREFLECTION; }
    void paint(const KXScene* scene) override;
    // Sets the ambient light and the enabled lights of the root's light
    // model as they fall in the mirrored scene: placed as the canvas places
    // them, then mirrored. Nothing without a camera, root or renderer.
    virtual void setupReflectedLights(KXCamera* camera, KXRoot* root);

    // The plane a·x + b·y + c·z + d = 0; any normal length but zero. The
    // reflection and the floor square follow it. A plane whose normal is too
    // short to give a direction switches the mirror off.
    void setReflectionPlane(const KXPlane& plane);
    const KXPlane& getReflectionPlane() const { return m_plane; }
    // The reflection in the plane, for row vectors (identity without a
    // usable plane).
    const KXMatrix& getReflectionMatrix() const { return m_reflectionMatrix; }

    // Floor matrix = scale by FLOOR_SCALE × radius, then translation to the
    // point of the plane under the centre (the plane's point nearest to the
    // centre's x and y on the ground).
    void setSceneBounds(const KXBounds& bounds);
    const KXMatrix& getFloorMatrix() const { return m_floorMatrix; }
    // The 2 × 2 square through the origin in the plane's orientation, facing
    // the viewer's side; null while there is no usable plane (or no memory).
    KXGeometry* getFloorSheet() const { return m_floorSheet; }
    // The fog of the mirror image: grey, exponential squared, density 0.2
    // per scene radius (the density drawn with is this one divided by the
    // radius of the scene's bounds). Null only when there was no memory for
    // it.
    KXExponentialFog* getReflectionFog() const { return m_fog; }

private:
    // Makes what construction had no memory for; true when all is there.
    bool makeMissingParts();
    void updatePlane();
    bool isEyeOnViewerSide(const KXCamera* camera) const;
    bool hasStencil() const;
    void markFloor(KXRenderStateMgr& states);
    void drawReflectedScene(KXRenderStateMgr& states, KXRoot* root);
    void drawSceneDepth(KXRenderStateMgr& states, KXRoot* root);
    void walk(KXRenderStateMgr& states, KXGroup* group, unsigned pass);
    void drawShape(KXRenderStateMgr& states, KXShape* shape, unsigned pass);
    void walkDepth(KXGroup* group);
    void drawGeometry(KXGeometry* geometry, KXShaderProgram* shader);

    KXMatrix m_reflectionMatrix;
    KXPlane m_plane{0.0f, 0.0f, -1.0f, 0.001f};
    KXPlane m_unitPlane{0.0f, 0.0f, -1.0f, 0.001f};
    bool m_planeUsable = true;
    KXGeometry* m_floorSheet = nullptr;
    KXVector m_floorSheetNormal;
    KXAppearance* m_floorAppearance = nullptr;
    KXMatrix m_floorMatrix;
    KXPosition m_sceneCentre;
    float m_sceneRadius = 0.0f;
    std::unique_ptr<KXPrimitivesFactory> m_primitives;
    KXExponentialFog* m_fog = nullptr;
    // The fog drawn with: m_fog scaled to the scene.
    KXExponentialFog* m_sceneFog = nullptr;
    KXTexture3D* m_environmentTexture = nullptr;
};
