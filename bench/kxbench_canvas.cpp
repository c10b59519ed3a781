// Renders the shared raster benchmark scenes as scene graphs through the
// canvas and the Direct3D renderer into a 1024 x 768 window (X8R8G8B8 back
// buffer, D24S8 depth, no multisampling: the configuration kxbench_raster
// draws into) and prints one RESULT line per scene. Compared with
// kxbench_raster on the same scene and thread count, it shows what the
// library adds to what the device costs.
//
//   kxbench_canvas [--threads N] [--scene sphere|cubes|showcase] [--painter none|shadow|soft|reflection]
//                  [--frames 20] [--runs 5] [--out DIR]

#include "canvas/KXCanvas.h"
#include "canvas/KXPlanarShadowPainter.h"
#include "canvas/KXPlanarSoftShadowPainter.h"
#include "renderer/dx/KXDXDevice.h"
#include "renderer/dx/KXDXRendererFactory.h"
#include "sceneapi/sceneapi.h"

#include <swd3d9.h>
#include <windows.h>

#include "scene.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace anchor;

int g_frames = 20, g_runs = 5, g_warmup = 3;
unsigned g_threads = 2;
std::string g_out;

KXColor color(const float* c)
{
    return KXColor(c[0], c[1], c[2], c[3]);
}

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Waits until the frame's draws are done, as kxbench_raster does.
void finishFrame(IDirect3DDevice9* device)
{
    IDirect3DQuery9* query = nullptr;
    if (FAILED(device->CreateQuery(D3DQUERYTYPE_EVENT, &query)))
        return;
    query->Issue(D3DISSUE_END);
    BOOL done = FALSE;
    while (query->GetData(&done, sizeof(done), D3DGETDATA_FLUSH) == S_FALSE) {
    }
    query->Release();
}

// The benchmark's lights and camera, in the scene's own (+y up) space: the
// lights stay fixed in the scene.
void addLightsAndCamera(KXRoot* root, const Camera& view)
{
    auto lights = KXMake<KXLightModel>();
    lights->setFixed(true);
    auto ambient = KXMake<KXAmbientLight>();
    ambient->setColor(color(kGlobalAmbient));
    lights->setAmbientLight(ambient.get());
    // The scene gives the direction toward the sun; the light travels the
    // other way.
    auto sun = KXMake<KXDirectionalLight>();
    sun->setColor(color(kLight0Diffuse));
    sun->setDirection(KXVector(-kLight0Dir[0], -kLight0Dir[1], -kLight0Dir[2]));
    lights->addLight(sun.get());
    auto lamp = KXMake<KXPointLight>();
    lamp->setColor(color(kLight1Diffuse));
    lamp->setPosition(KXPosition(kLight1Pos[0], kLight1Pos[1], kLight1Pos[2]));
    lamp->setAttenuation(kLight1Atten[0], kLight1Atten[1], kLight1Atten[2]);
    lights->addLight(lamp.get());
    root->setLightModel(lights.get());

    auto camera = KXMake<KXPerspectiveCamera>();
    camera->setPosition(KXPosition(view.eye[0], view.eye[1], view.eye[2]),
                        KXPosition(view.target[0], view.target[1], view.target[2]),
                        KXVector(view.up[0], view.up[1], view.up[2]));
    camera->setFOV(static_cast<float>(view.fovyDeg * kPi / 180.0));
    camera->setNearPlane(view.znear);
    camera->setFarPlane(view.zfar);
    camera->setViewport(KXDimension2D(static_cast<float>(kWidth), static_cast<float>(kHeight)));
    root->setCamera(camera.get());

    auto background = KXMake<KXSingleColorBackground>();
    background->setColor(color(kClearColor));
    root->setBackground(background.get());
}

KXRef<KXTriMesh> makeTriMesh(const Mesh& mesh)
{
    std::vector<KXPosition> positions(mesh.vertexCount());
    std::vector<KXUnitVector> normals(mesh.vertexCount());
    for (size_t i = 0; i < mesh.vertexCount(); ++i) {
        positions[i] = KXPosition(mesh.pos[3 * i], mesh.pos[3 * i + 1], mesh.pos[3 * i + 2]);
        normals[i] = KXUnitVector(mesh.nrm[3 * i], mesh.nrm[3 * i + 1], mesh.nrm[3 * i + 2]);
    }
    auto triMesh = KXMake<KXTriMesh>();
    triMesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(positions), mesh.idx, std::move(normals));
    return triMesh;
}

KXRef<KXShape> makeShape(KXTriMesh* mesh, const float* diffuse, const float* specular, float shininess)
{
    auto appearance = KXMake<KXAppearance>();
    KXMaterial* material = appearance->createMaterial();
    material->setAmbientColor(color(diffuse));
    material->setDiffuseColor(color(diffuse));
    material->setSpecularColor(color(specular));
    material->setShininess(shininess);
    auto shape = KXMake<KXShape>();
    shape->setGeometry(mesh);
    shape->setAppearance(appearance.get());
    return shape;
}

void buildSphere(KXScene& scene)
{
    static const Mesh sphere = makeSphere();
    KXRoot* root = scene.getRoot();
    auto mesh = makeTriMesh(sphere);
    root->addChild(makeShape(mesh.get(), kSphereDiffuse, kSphereSpecular, kSphereShininess).get());
    addLightsAndCamera(root, kSphereCamera);
}

void buildCubes(KXScene& scene)
{
    static const Mesh cube = makeCube();
    KXRoot* root = scene.getRoot();
    // One mesh per cube, as an editor's scene holds them.
    for (const CubeInstance& instance : makeCubeInstances()) {
        auto mesh = makeTriMesh(cube);
        auto shape = makeShape(mesh.get(), instance.color, kCubeSpecular, kCubeShininess);
        shape->getTransform()->setTransformationMatrix(KXMatrix(instance.model.m));
        root->addChild(shape.get());
    }
    addLightsAndCamera(root, kCubeCamera);
}

void buildShowcase(KXScene& scene)
{
    KXShowcaseScene::build(scene, kWidth, kHeight);
}

double measure(KXCanvas& canvas, KXRenderer& renderer, IDirect3DDevice9* device, const KXScene& scene,
               const char* name)
{
    for (int i = 0; i < g_warmup; ++i) {
        canvas.render(&scene, nullptr);
        finishFrame(device);
    }
    std::vector<double> fps;
    for (int r = 0; r < g_runs; ++r) {
        const double t0 = now();
        for (int f = 0; f < g_frames; ++f) {
            canvas.render(&scene, nullptr);
            finishFrame(device);
        }
        fps.push_back(g_frames / (now() - t0));
    }
    std::sort(fps.begin(), fps.end());
    if (!g_out.empty()) {
        const std::string path = g_out + "/kx_canvas_" + name + ".png";
        const std::wstring wide(path.begin(), path.end());
        renderer.saveToFile(wide.c_str(), KXImage2D::KXIMAGE2D_PNG);
    }
    return fps[fps.size() / 2];
}

// The shadows fall from the scene's first directional light.
void aimShadowsAtTheSun(KXCanvas& canvas, const KXScene& scene)
{
    auto* hard =
        dynamic_cast<KXPlanarShadowPainter*>(canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSHADOW));
    auto* soft = dynamic_cast<KXPlanarSoftShadowPainter*>(
        canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW));
    const KXLightModel* lights = scene.getRoot() ? scene.getRoot()->getLightModel() : nullptr;
    for (int i = 0; lights && i < lights->getNumLights(); ++i) {
        if (const auto* sun = dynamic_cast<const KXDirectionalLight*>(lights->getLight(i))) {
            if (hard)
                hard->setLightDirection(sun->getDirection());
            if (soft)
                soft->setLightDirection(sun->getDirection(), KXUnitVector(0.0f, 1.0f, 0.0f));
            return;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string scenes = "sphere,cubes";
    std::string painter = "none";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--threads")
            g_threads = static_cast<unsigned>(std::atoi(next)), ++i;
        else if (a == "--frames")
            g_frames = std::max(1, std::atoi(next)), ++i;
        else if (a == "--runs")
            g_runs = std::max(1, std::atoi(next)), ++i;
        else if (a == "--out")
            g_out = next, ++i;
        else if (a == "--scene")
            scenes = next, ++i;
        else if (a == "--painter")
            painter = next, ++i;
    }
    if (painter != "none" && painter != "shadow" && painter != "soft" && painter != "reflection") {
        std::fprintf(stderr, "kxbench_canvas: --painter wants none, shadow, soft or reflection\n");
        return 2;
    }

    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
    if (!window)
        return 1;
    int status = 0;
    {
        // The device and renderer come from the factory; the device's own
        // class gives the Direct3D device the frames are finished on.
        KXDXRendererFactory factory;
        KXDevice* device = factory.createDevice();
        KXRenderer* renderer = factory.createRenderer(KXRenderer::KXRENDERER_WINDOW);
        auto* dxDevice = dynamic_cast<KXDXDevice*>(device);
        KXAdapterFormat settings;
        settings.windowMode = KXAdapterFormat::KXWINDOWMODE_WINDOWED;
        settings.colorFormat = KXAdapterFormat::KXCOLORFORMAT_X8R8G8B8;
        settings.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
        settings.depthStencil = KXAdapterFormat::KXDEPTHSTENCIL_D24S8;
        if (!dxDevice || !renderer || device->initialize(window, settings) != 0 || renderer->initialize(device) != 0) {
            status = 1;
        } else {
            renderer->setSize(kWidth, kHeight);
            SwD3D9SetRasterThreadCount(dxDevice->getD3DDevice(), g_threads);
            struct Scene {
                const char* name;
                void (*build)(KXScene&);
            };
            const Scene all[] = {{"sphere", buildSphere}, {"cubes", buildCubes}, {"showcase", buildShowcase}};
            for (const Scene& s : all) {
                if (scenes.find(s.name) == std::string::npos)
                    continue;
                KXScene scene;
                s.build(scene);
                KXCanvas canvas;
                canvas.setRenderer(renderer);
                canvas.enableShadows(painter == "shadow");
                // Soft shadows render their texture at the first frame and
                // keep it: the frames measured lay it on the floor.
                canvas.enableSoftShadows(painter == "soft");
                canvas.enableReflection(painter == "reflection");
                if (painter == "shadow" || painter == "soft")
                    aimShadowsAtTheSun(canvas, scene);
                const double fps = measure(canvas, *renderer, dxDevice->getD3DDevice(), scene, s.name);
                std::printf("RESULT canvas scene=%s painter=%s threads=%u fps_median=%.2f\n", s.name, painter.c_str(),
                            g_threads, fps);
                std::fflush(stdout);
            }
            renderer->uninitialize();
        }
        factory.destroyRenderer(renderer);
        factory.destroyDevice(device);
    }
    DestroyWindow(window);
    return status;
}
