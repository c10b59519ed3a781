// Light markers drawn on the software device: a marker keeps its size on
// screen when the camera moves away, and an orthographic view shows it as
// large as the perspective view of the same height.

#include "KXDXTestScenes.h"

#include "widgets/KXLightDecorator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace kxdxtest;

namespace {

constexpr unsigned VIEW_SIZE = 600;

// A scene whose only light, a red point light at the origin, is marked by a
// sphere, with the camera looking at it along +y.
struct MarkerScene {
    MarkerScene()
    {
        setSingleColorBackground(scene, rgb(0, 0, 0));
        auto lights = KXMake<KXLightModel>();
        lights->setFixed(true);
        auto lamp = KXMake<KXPointLight>();
        lamp->setColor(KXColor(1.0f, 0.0f, 0.0f, 1.0f));
        lights->addLight(lamp.get());
        scene.getRoot()->setLightModel(lights.get());
        // Something to bound, away from the marker.
        box = makeBox(KXPosition(3.0f, 3.0f, 3.0f), KXPosition(3.5f, 3.5f, 3.5f));
        addGlowingShape(scene.getRoot(), box.get(), KXColor(0.0f, 0.0f, 1.0f, 1.0f));

        KXLightDecorator* decorator = harness.canvas.createLightDecorator();
        KXShape* marker = decorator->createDecorator(KXLightDecorator::KXLIGHTDECORATOR_POINT);
        marker->setGeometry(KXMake<KXSphere>().get());
        auto look = KXMake<KXAppearance>();
        look->createMaterial();
        marker->setAppearance(look.get());
        // The markers are lit by a white ambient light of their own.
        markerLights = KXMake<KXLightModel>();
        auto ambient = KXMake<KXAmbientLight>();
        ambient->setColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));
        markerLights->setAmbientLight(ambient.get());
        decorator->setLightModel(markerLights.get());
        harness.canvas.showLights(1, 0);
    }

    // The marker's width on screen in pixels: the red pixels of the middle
    // row.
    int markerWidth(const char* name)
    {
        const PresentedImage image = harness.render(scene);
        writePicture(image, std::string("/tmp/light_marker_") + name + ".png");
        int width = 0;
        for (unsigned x = 0; x < VIEW_SIZE; ++x)
            width += red(image.at(x, VIEW_SIZE / 2)) > 128 && blue(image.at(x, VIEW_SIZE / 2)) < 64;
        return width;
    }

    KXScene scene;
    CanvasHarness harness{VIEW_SIZE, VIEW_SIZE};
    KXRef<KXTriMesh> box;
    KXRef<KXLightModel> markerLights;
};

} // namespace

TEST(LightMarkerFrames, MarkersKeepTheirScreenSizeInPerspectiveAndOrthographicViews)
{
    MarkerScene view;
    ASSERT_TRUE(view.harness.ready());
    setPerspectiveCamera(view.scene, KXPosition(0.0f, -10.0f, 0.0f), KXPosition(0.0f, 0.0f, 0.0f), VIEW_SIZE, VIEW_SIZE);
    const int near = view.markerWidth("near");
    setPerspectiveCamera(view.scene, KXPosition(0.0f, -25.0f, 0.0f), KXPosition(0.0f, 0.0f, 0.0f), VIEW_SIZE, VIEW_SIZE);
    const int far = view.markerWidth("far");
    // An orthographic view as high as the perspective view 10 away.
    KXOrthoCamera* ortho = setTopDownOrthoCamera(view.scene, 20.0f * std::tan(3.14159265f / 8.0f), VIEW_SIZE, VIEW_SIZE);
    ortho->setPosition(KXPosition(0.0f, -10.0f, 0.0f), KXPosition(0.0f, 0.0f, 0.0f), KXVector(0.0f, 0.0f, 1.0f));
    const int flat = view.markerWidth("ortho");
    // A marker 0.2 across, 10 away in a view 8.3 high, is about 14 pixels of
    // 600.
    EXPECT_GE(near, 12);
    EXPECT_LE(near, 17);
    EXPECT_NEAR(far, near, std::max(1.0, 0.1 * near));
    EXPECT_NEAR(flat, near, std::max(1.0, 0.1 * near));
}
