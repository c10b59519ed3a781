#pragma once

#include "KXRecordingLog.h"
#include "KXRecordingPainter.h"
#include "KXRecordingRenderer.h"

#include "canvas/KXCanvas.h"
#include "canvas/KXCanvasEvent.h"
#include "canvas/KXOverlayPainter.h"
#include "canvas/KXPlanarReflectionPainter.h"
#include "canvas/KXPlanarShadowPainter.h"
#include "canvas/KXPlanarSoftShadowPainter.h"
#include "sceneapi/sceneapi.h"
#include "widgets/KXControllerGuide.h"
#include "widgets/KXLightDecorator.h"
#include "widgets/KXNodeControllers.h"
#include "widgets/KXNodeDecorators.h"
#include "widgets/KXSceneAxes.h"
#include "widgets/KXSceneDecorators.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// A canvas whose painters a test can replace with recording ones.
class KXTestCanvas : public KXCanvas
{
public:
    using KXCanvas::replacePainter;

    // Puts recording painters of the real classes in place of all four.
    void recordPainters(KXRecordingLog& log)
    {
        replacePainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSHADOW,
                       std::make_unique<KXRecordingPainter<KXPlanarShadowPainter>>(log));
        replacePainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW,
                       std::make_unique<KXRecordingPainter<KXPlanarSoftShadowPainter>>(log));
        replacePainter(KXCanvasPainter::KXCANVASPAINTER_PLANARREFLECTION,
                       std::make_unique<KXRecordingPainter<KXPlanarReflectionPainter>>(log));
        replacePainter(KXCanvasPainter::KXCANVASPAINTER_OVERLAY,
                       std::make_unique<KXRecordingPainter<KXOverlayPainter>>(log));
    }
};

inline std::wstring wide(const char* text)
{
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

// An axis-aligned box mesh around centre with the given half size, whose
// index list holds `triangles` triangles (the box's twelve repeated as
// needed), so that a test controls both its bounds and its triangle count.
inline KXRef<KXTriMesh> makeBoxMesh(const char* name, const KXPosition& centre, float half, int triangles = 12)
{
    static const uint32_t boxTriangles[36] = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                                              2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
    std::vector<KXPosition> vertices;
    for (int corner = 0; corner < 8; ++corner) {
        vertices.emplace_back(centre.getX() + ((corner & 1) ? half : -half),
                              centre.getY() + ((corner & 2) ? half : -half),
                              centre.getZ() + ((corner & 4) ? half : -half));
    }
    std::vector<uint32_t> indices;
    for (int t = 0; t < triangles; ++t) {
        for (int k = 0; k < 3; ++k)
            indices.push_back(boxTriangles[(t % 12) * 3 + k]);
    }
    auto mesh = KXMake<KXTriMesh>();
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(vertices), std::move(indices));
    mesh->setName(wide(name));
    return mesh;
}

// An appearance with a material of the given diffuse alpha.
inline KXRef<KXAppearance> makeAppearance(const char* materialName, float alpha = 1.0f)
{
    auto appearance = KXMake<KXAppearance>();
    KXMaterial* material = appearance->createMaterial();
    material->setDiffuseColor(KXColor(0.8f, 0.8f, 0.8f, alpha));
    material->setName(wide(materialName));
    return appearance;
}

// A shape drawing mesh with appearance (may be null), added to parent.
inline KXShape* addShape(KXGroup* parent, const char* name, KXTriMesh* mesh, KXAppearance* appearance = nullptr)
{
    auto shape = KXMake<KXShape>();
    shape->setName(wide(name));
    shape->setGeometry(mesh);
    shape->setAppearance(appearance);
    parent->addChild(shape.get());
    return shape.get();
}

inline KXGroup* addGroup(KXGroup* parent, const char* name)
{
    auto group = KXMake<KXGroup>();
    group->setName(wide(name));
    parent->addChild(group.get());
    return group.get();
}

// A canvas drawing into a recording renderer, and a scene whose root has a
// perspective camera at (0, -10, 2) looking at the origin, +z up.
class CanvasTest : public ::testing::Test
{
protected:
    CanvasTest()
    {
        canvas.setRenderer(&renderer);
        camera = new KXPerspectiveCamera();
        camera->setName(L"camera");
        camera->setPosition(KXPosition(0.0f, -10.0f, 2.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
        camera->setNearPlane(1.0f);
        camera->setFarPlane(100.0f);
        root()->setCamera(camera.get());
    }

    KXRoot* root() const { return scene.getRoot(); }
    void render() { canvas.render(&scene, nullptr); }

    KXRecordingLog log;
    KXRecordingRenderer renderer{log};
    KXTestCanvas canvas;
    KXScene scene;
    KXRef<KXPerspectiveCamera> camera;
};
