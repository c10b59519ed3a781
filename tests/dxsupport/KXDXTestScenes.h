#pragma once

// Small scenes and a window renderer with its canvas, for the tests that
// draw whole frames and read the pixels back.

#include "KXDXTestSupport.h"

#include "canvas/KXCanvas.h"
#include "renderer/dx/KXDXRenderer.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/sceneapi.h"

#include <memory>
#include <string>
#include <vector>

namespace kxdxtest {

// A window with a device, a window renderer sized to it and a canvas
// drawing through the renderer; the device and the renderer come from the
// factory.
struct CanvasHarness {
    explicit CanvasHarness(unsigned width, unsigned height, KXAdapterFormat* settings = nullptr)
        : window(static_cast<int>(width), static_cast<int>(height)), device(makeDevice(window.get(), settings))
    {
        if (!device)
            return;
        renderer = createRenderer<KXDXRenderer>(KXRenderer::KXRENDERER_WINDOW);
        if (!renderer)
            return;
        renderer->initialize(device.get());
        renderer->setSize(width, height);
        canvas.setRenderer(renderer.get());
    }
    ~CanvasHarness()
    {
        canvas.setRenderer(nullptr);
        renderer.reset();
        device.reset();
    }
    CanvasHarness(const CanvasHarness&) = delete;
    CanvasHarness& operator=(const CanvasHarness&) = delete;

    bool ready() const { return device && renderer; }
    // One frame through the canvas; the picture the window then shows.
    PresentedImage render(const KXScene& scene)
    {
        canvas.render(&scene, nullptr);
        return presentedImage(window.get());
    }

    TestWindow window;
    Made<KXDXDevice> device;
    Made<KXDXRenderer> renderer;
    KXCanvas canvas;
};

inline KXColor rgb(int r, int g, int b, float a = 1.0f)
{
    return KXColor(r / 255.0f, g / 255.0f, b / 255.0f, a);
}

inline void setSingleColorBackground(KXScene& scene, const KXColor& color)
{
    auto background = KXMake<KXSingleColorBackground>();
    background->setColor(color);
    scene.getRoot()->setBackground(background.get());
}

inline KXPerspectiveCamera* setPerspectiveCamera(KXScene& scene, const KXPosition& eye, const KXPosition& target,
                                                 unsigned width, unsigned height)
{
    auto camera = KXMake<KXPerspectiveCamera>();
    camera->setPosition(eye, target, KXVector(0.0f, 0.0f, 1.0f));
    camera->setViewport(KXDimension2D(static_cast<float>(width), static_cast<float>(height)));
    camera->setNearPlane(0.1f);
    camera->setFarPlane(100.0f);
    scene.getRoot()->setCamera(camera.get());
    return camera.get();
}

// An orthographic camera on the +z axis looking down at the plane z = 0,
// the view `scale` units high, x to the right and y up on screen.
inline KXOrthoCamera* setTopDownOrthoCamera(KXScene& scene, float scale, unsigned width, unsigned height)
{
    auto camera = KXMake<KXOrthoCamera>();
    camera->setPosition(KXPosition(0.0f, 0.0f, 10.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 1.0f, 0.0f));
    camera->setViewport(KXDimension2D(static_cast<float>(width), static_cast<float>(height)));
    camera->setViewportScale(scale);
    camera->setNearPlane(1.0f);
    camera->setFarPlane(20.0f);
    scene.getRoot()->setCamera(camera.get());
    return camera.get();
}

inline KXDirectionalLight* addDirectionalLight(KXScene& scene, const KXVector& direction, const KXColor& color)
{
    KXRoot* root = scene.getRoot();
    KXLightModel* lights = root->getLightModel();
    if (!lights) {
        auto model = KXMake<KXLightModel>();
        root->setLightModel(model.get());
        lights = model.get();
    }
    auto light = KXMake<KXDirectionalLight>();
    light->setDirection(direction);
    light->setColor(color);
    lights->addLight(light.get());
    return light.get();
}

// A square in the plane z = height, counter-clockwise seen from +z, normals
// +z.
inline KXRef<KXTriMesh> makeSquare(float half, float height = 0.0f, float cx = 0.0f, float cy = 0.0f)
{
    std::vector<KXPosition> v = {{cx - half, cy - half, height},
                                 {cx + half, cy - half, height},
                                 {cx + half, cy + half, height},
                                 {cx - half, cy + half, height}};
    std::vector<KXUnitVector> n(4, KXUnitVector(0.0f, 0.0f, 1.0f));
    std::vector<KXPosition2D> uv = {{0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}, {0.0f, 0.0f}};
    auto mesh = KXMake<KXTriMesh>();
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(v), {0, 1, 2, 0, 2, 3}, std::move(n), {}, std::move(uv));
    return mesh;
}

// A shape with a material of that diffuse colour (ambient the same) under
// the root.
inline KXShape* addShape(KXScene& scene, KXGeometry* geometry, const KXColor& diffuse)
{
    auto appearance = KXMake<KXAppearance>();
    KXMaterial* material = appearance->createMaterial();
    material->setDiffuseColor(diffuse);
    material->setAmbientColor(diffuse);
    auto shape = KXMake<KXShape>();
    shape->setGeometry(geometry);
    shape->setAppearance(appearance.get());
    scene.getRoot()->addChild(shape.get());
    return shape.get();
}

// A square of half side 1 filling a top-down view 2 units high, its
// material emitting white and reflecting nothing, textured with the image
// point-sampled: every pixel shows its texel.
inline KXShape* addTexturedSquare(KXScene& scene, KXImage2D* image)
{
    auto square = makeSquare(1.0f);
    KXShape* shape = addShape(scene, square.get(), KXColor(0.0f, 0.0f, 0.0f, 1.0f));
    KXAppearance* appearance = shape->getAppearance();
    appearance->getMaterial()->setEmissiveColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    auto* texture = static_cast<KXTexture2D*>(appearance->createTexture(KXTexture::KXTEXTURE_2D, 0));
    texture->setImage2D(image);
    texture->setMagFilter(KXTexture::KXTEXTUREFILTER_POINT);
    texture->setMinFilter(KXTexture::KXTEXTUREFILTER_POINT);
    texture->setMipFilter(KXTexture::KXTEXTUREFILTER_POINT);
    appearance->createTextureAttributes(0);
    return shape;
}

// Writes the picture as a PNG file, for looking at.
inline void writePicture(const PresentedImage& image, const std::string& path)
{
    KXRawImage2D raw(image.width, image.height);
    if (image.empty() || raw.createData() != 0)
        return;
    for (unsigned y = 0; y < image.height; ++y)
        for (unsigned x = 0; x < image.width; ++x) {
            KXColor color;
            color.setBGRA(image.at(x, y));
            raw.setColor(x, y, color);
        }
    const std::wstring widePath(path.begin(), path.end());
    KXImageUtils::saveRawImage2DToPNG(&raw, widePath.c_str());
}

// A shape whose colour is its emissive colour alone: the same whatever the
// lights.
inline KXShape* addGlowingShape(KXGroup* parent, KXGeometry* geometry, const KXColor& colour)
{
    auto appearance = KXMake<KXAppearance>();
    appearance->createMaterial()->set(KXColor(0, 0, 0, colour.getA()), KXColor(0, 0, 0, colour.getA()),
                                      KXColor(0, 0, 0, 1), colour, 0.0f);
    auto shape = KXMake<KXShape>();
    shape->setGeometry(geometry);
    shape->setAppearance(appearance.get());
    parent->addChild(shape.get());
    return shape.get();
}

// An axis-aligned box mesh between two corners.
inline KXRef<KXTriMesh> makeBox(const KXPosition& lower, const KXPosition& upper)
{
    auto box = KXMake<KXBox>();
    box->setParameters(KXPosition((lower.getX() + upper.getX()) / 2, (lower.getY() + upper.getY()) / 2,
                                  (lower.getZ() + upper.getZ()) / 2),
                       upper.getX() - lower.getX(), upper.getY() - lower.getY(), upper.getZ() - lower.getZ());
    return KXRef<KXTriMesh>(box.get());
}

} // namespace kxdxtest
