// Builds a small scene, draws it through the canvas and the Direct3D
// renderer into one PNG, and ray traces it into another.
//   render_scene [RASTER.png [TRACED.png]]

// The scene library comes before <windows.h>, which defines DEFAULT_QUALITY
// as a macro, the name of KXImageUtils' default JPEG quality.
#include "sceneapi/sceneapi.h"

#include "KXDXRendererVersion.h"
#include "canvas/KXCanvas.h"
#include "raytracer/KXRayTracer.h"
#include "renderer/KXAdapterFormatUtils.h"
#include "renderer/KXDevice.h"
#include "renderer/KXRenderer.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXRendererFactory.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

const unsigned WIDTH = 480;
const unsigned HEIGHT = 360;

KXRef<KXAppearance> makeAppearance(const KXColor& diffuse)
{
    auto appearance = KXMake<KXAppearance>();
    KXMaterial* material = appearance->createMaterial();
    material->setAmbientColor(KXColor(diffuse.getR() * 0.3f, diffuse.getG() * 0.3f, diffuse.getB() * 0.3f, 1.0f));
    material->setDiffuseColor(diffuse);
    material->setSpecularColor(KXColor(0.6f, 0.6f, 0.6f, 1.0f));
    material->setShininess(48.0f);
    return appearance;
}

void addShape(KXRoot* root, KXGeometry* geometry, const KXColor& color)
{
    auto shape = KXMake<KXShape>();
    shape->setGeometry(geometry);
    shape->setAppearance(makeAppearance(color).get());
    root->addChild(shape.get());
}

// A red sphere and a green box on a grey floor, lit by a sun, under a
// gradient sky.
void buildScene(KXScene& scene)
{
    auto root = KXMake<KXRoot>(&scene);

    auto floor = KXMake<KXSheet>();
    floor->setParameters(KXPosition(0, 0, 0), KXVector(1, 0, 0), KXVector(0, 1, 0), 12.0f, 12.0f);
    addShape(root.get(), floor.get(), KXColor(0.6f, 0.6f, 0.58f, 1.0f));
    auto sphere = KXMake<KXSphere>();
    sphere->setParameters(KXPosition(-0.8f, 0, 1), 1.0f, 48, 24, false);
    addShape(root.get(), sphere.get(), KXColor(0.85f, 0.15f, 0.1f, 1.0f));
    auto box = KXMake<KXBox>();
    box->setParameters(KXPosition(1.6f, 0.6f, 0.6f), 1.2f, 1.2f, 1.2f);
    addShape(root.get(), box.get(), KXColor(0.2f, 0.65f, 0.25f, 1.0f));

    auto lights = KXMake<KXLightModel>();
    lights->setFixed(true);
    auto ambient = KXMake<KXAmbientLight>();
    ambient->setColor(KXColor(0.25f, 0.25f, 0.25f, 1.0f));
    lights->setAmbientLight(ambient.get());
    auto sun = KXMake<KXDirectionalLight>();
    sun->setDirection(KXVector(-0.4f, 0.6f, -1.0f));
    sun->setColor(KXColor(0.85f, 0.85f, 0.8f, 1.0f));
    lights->addLight(sun.get());
    root->setLightModel(lights.get());

    auto sky = KXMake<KXGradientBackground>();
    sky->setColors(KXColor(0.9f, 0.92f, 0.95f, 1.0f), KXColor(0.3f, 0.45f, 0.75f, 1.0f));
    root->setBackground(sky.get());

    auto camera = KXMake<KXPerspectiveCamera>();
    camera->setPosition(KXPosition(4.5f, -7.0f, 4.0f), KXPosition(0.2f, 0, 0.7f), KXVector(0, 0, 1));
    camera->setViewport(KXDimension2D(static_cast<float>(WIDTH), static_cast<float>(HEIGHT)));
    camera->setNearPlane(0.5f);
    camera->setFarPlane(50.0f);
    root->setCamera(camera.get());

    scene.setRoot(root.get());
}

// A hidden window for the device to draw in, destroyed with the object.
class HiddenWindow
{
public:
    HiddenWindow()
        : m_window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, WIDTH, HEIGHT, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr))
    {
    }
    ~HiddenWindow()
    {
        if (m_window)
            DestroyWindow(m_window);
    }
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;
    HWND get() const { return m_window; }

private:
    HWND m_window;
};

// One frame drawn by the canvas through the renderer, on the device created
// for the window with its best windowed format, read back into image.
bool draw(KXDevice& device, KXRenderer& renderer, HWND window, KXScene& scene, KXRawImage2D& image)
{
    KXAdapterFormat settings;
    if (KXAdapterFormatUtils::getBestFormat(device.getCapabilities().adapterFormats,
                                            KXAdapterFormat::KXWINDOWMODE_WINDOWED, settings) != KXRESULT_OK ||
        device.initialize(window, settings) != KXRESULT_OK)
        return false;
    if (renderer.initialize(&device) != KXRESULT_OK)
        return false;
    renderer.setSize(WIDTH, HEIGHT);
    {
        KXCanvas canvas;
        canvas.setRenderer(&renderer);
        canvas.render(&scene, nullptr);
    }
    const bool saved = renderer.saveToRawImage(&image) == KXRESULT_OK;
    renderer.uninitialize();
    return saved;
}

// The scene drawn through Direct3D into image. The factory makes the device
// and the window renderer and destroys them, the renderer first: the
// device outlives the renderer, the renderer the canvas.
bool rasterize(KXScene& scene, KXRawImage2D& image)
{
    HiddenWindow window;
    if (!window.get())
        return false;
    KXDXRendererFactory factory;
    KXDevice* device = factory.createDevice();
    KXRenderer* renderer = factory.createRenderer(KXRenderer::KXRENDERER_WINDOW);
    const bool drawn = device && renderer && draw(*device, *renderer, window.get(), scene, image);
    factory.destroyRenderer(renderer);
    factory.destroyDevice(device);
    return drawn;
}

bool save(const KXRawImage2D& image, const char* name)
{
    std::wstring path;
    return KXFileUtils::fromNativePath(name, path) && KXImageUtils::saveRawImage2DToPNG(&image, path.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* rasterName = argc > 1 ? argv[1] : "raster.png";
    const char* tracedName = argc > 2 ? argv[2] : "traced.png";
    std::printf("kxdxrenderer %s\n", KXDXRendererVersion());

    KXScene scene;
    buildScene(scene);

    KXRawImage2D raster(WIDTH, HEIGHT, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    if (!rasterize(scene, raster) || !save(raster, rasterName)) {
        std::fprintf(stderr, "render_scene: cannot draw %s through Direct3D\n", rasterName);
        return 1;
    }
    std::printf("drew %s\n", rasterName);

    KXRawImage2D traced(WIDTH, HEIGHT, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    KXRayTracer tracer;
    if (traced.createData() != 0 || tracer.trace(&scene, traced) != 0 || !save(traced, tracedName)) {
        std::fprintf(stderr, "render_scene: cannot ray trace %s\n", tracedName);
        return 1;
    }
    std::printf("traced %s\n", tracedName);
    return 0;
}
