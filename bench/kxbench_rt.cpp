// Ray-tracing benchmark: the benchmark sphere (100,000 triangles) standing on
// a ground plane, traced at 1024 x 768 by KXRayTracer. The first pass casts
// one primary ray per pixel and, the directional light casting shadows, one
// shadow ray per hit; rays per second count both, as the reference does.
//
// kxbench_rt [--threads N] [--runs R] [--out image.png] [--first-pass-only]
//
// --first-pass-only skips the anti-aliasing pass, so that a profiler run
// sees only the work the result counts.
//
// --threads N limits the process to N processors; the tracer runs its usual
// two worker threads per processor on them.

#include "raytracer/KXRayTracer.h"
#include "sceneapi/sceneapi.h"

#include "scene.h"

#include <omp.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// The shared scenes are y-up; ours are z-up: a quarter turn about x takes
// (x, y, z) to (x, -z, y).
KXPosition zUp(float x, float y, float z) { return KXPosition(x, -z, y); }

KXRef<KXTriMesh> makeMesh(const anchor::Mesh& source)
{
    std::vector<KXPosition> positions;
    std::vector<KXUnitVector> normals;
    for (size_t v = 0; v < source.vertexCount(); ++v) {
        const float* p = &source.pos[3 * v];
        const float* n = &source.nrm[3 * v];
        positions.push_back(zUp(p[0], p[1], p[2]));
        const KXPosition normal = zUp(n[0], n[1], n[2]);
        normals.emplace_back(normal.getX(), normal.getY(), normal.getZ());
    }
    auto mesh = KXMake<KXTriMesh>();
    mesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, std::move(positions), source.idx, std::move(normals));
    return mesh;
}

KXRef<KXAppearance> makeAppearance(const float* diffuse, const float* specular, float shininess)
{
    auto appearance = KXMake<KXAppearance>();
    KXMaterial* material = appearance->createMaterial();
    const KXColor color(diffuse[0], diffuse[1], diffuse[2], 1.0f);
    material->set(color, color, KXColor(specular[0], specular[1], specular[2], 1.0f), KXColor(0, 0, 0, 1), shininess);
    return appearance;
}

void addShape(KXRoot* root, KXTriMesh* mesh, KXAppearance* appearance)
{
    auto shape = KXMake<KXShape>();
    shape->setGeometry(mesh);
    shape->setAppearance(appearance);
    root->addChild(shape.get());
}

void buildScene(KXScene& scene)
{
    auto root = KXMake<KXRoot>(&scene);
    const anchor::Mesh sphere = anchor::makeSphere();
    const anchor::Mesh ground = anchor::makeGround();
    addShape(root.get(), makeMesh(sphere).get(),
             makeAppearance(anchor::kSphereDiffuse, anchor::kSphereSpecular, anchor::kSphereShininess).get());
    const float grey[3] = {0.55f, 0.55f, 0.55f}, black[3] = {0.0f, 0.0f, 0.0f};
    addShape(root.get(), makeMesh(ground).get(), makeAppearance(grey, black, 0.0f).get());

    auto lights = KXMake<KXLightModel>();
    lights->setFixed(true);
    auto ambient = KXMake<KXAmbientLight>();
    ambient->setColor(KXColor(anchor::kGlobalAmbient[0], anchor::kGlobalAmbient[1], anchor::kGlobalAmbient[2], 1.0f));
    lights->setAmbientLight(ambient.get());
    // The reference gives the direction toward the light; ours travel.
    auto sun = KXMake<KXDirectionalLight>();
    const KXPosition toSun = zUp(anchor::kLight0Dir[0], anchor::kLight0Dir[1], anchor::kLight0Dir[2]);
    sun->setDirection(KXVector(-toSun.getX(), -toSun.getY(), -toSun.getZ()));
    sun->setColor(KXColor(anchor::kLight0Diffuse[0], anchor::kLight0Diffuse[1], anchor::kLight0Diffuse[2], 1.0f));
    sun->setCastShadows(true);
    lights->addLight(sun.get());
    auto bulb = KXMake<KXPointLight>();
    bulb->setPosition(zUp(anchor::kLight1Pos[0], anchor::kLight1Pos[1], anchor::kLight1Pos[2]));
    bulb->setColor(KXColor(anchor::kLight1Diffuse[0], anchor::kLight1Diffuse[1], anchor::kLight1Diffuse[2], 1.0f));
    bulb->setAttenuation(anchor::kLight1Atten[0], anchor::kLight1Atten[1], anchor::kLight1Atten[2]);
    lights->addLight(bulb.get());
    root->setLightModel(lights.get());

    // Alpha 0 tells the pixels no ray hit from the others after the first
    // pass, which is how the shadow rays are counted.
    auto background = KXMake<KXSingleColorBackground>();
    background->setColor(KXColor(anchor::kClearColor[0], anchor::kClearColor[1], anchor::kClearColor[2], 0.0f));
    root->setBackground(background.get());

    const anchor::Camera& c = anchor::kSphereCamera;
    auto camera = KXMake<KXPerspectiveCamera>();
    camera->setPosition(zUp(c.eye[0], c.eye[1], c.eye[2]), zUp(c.target[0], c.target[1], c.target[2]),
                        KXVector(0.0f, 0.0f, 1.0f));
    camera->setFOV(static_cast<float>(c.fovyDeg * anchor::kPi / 180.0));
    camera->setViewport(KXDimension2D(anchor::kWidth, anchor::kHeight));
    camera->setNearPlane(c.znear);
    camera->setFarPlane(c.zfar);
    root->setCamera(camera.get());
    scene.setRoot(root.get());
}

// Times the first pass and counts the pixels it hit.
class TimedTracer : public KXRayTracer
{
public:
    double firstPassSeconds = 0.0;
    size_t hits = 0;
    bool firstPassOnly = false;

protected:
    void tracePrimaryPass(KXRoot* root, KXRawImage2D& image, RTNodeCache& nodeCache, const RTShapeTree* shapeTree,
                          RTMeshTreeMap& meshTrees) override
    {
        const double start = now();
        KXRayTracer::tracePrimaryPass(root, image, nodeCache, shapeTree, meshTrees);
        firstPassSeconds = now() - start;
        hits = 0;
        for (unsigned y = 0; y < image.getHeight(); ++y)
            for (unsigned x = 0; x < image.getWidth(); ++x)
                hits += image.getColor(x, y).getA() > 0.0f;
    }
    void traceAntialiasPass(KXRoot* root, KXRawImage2D& image, RTNodeCache& nodeCache, const RTShapeTree* shapeTree,
                            RTMeshTreeMap& meshTrees, RTEdgeMask& edgeMask) override
    {
        if (!firstPassOnly)
            KXRayTracer::traceAntialiasPass(root, image, nodeCache, shapeTree, meshTrees, edgeMask);
    }
};

bool limitProcessors(int count)
{
    cpu_set_t available;
    if (sched_getaffinity(0, sizeof available, &available) != 0)
        return false;
    cpu_set_t chosen;
    CPU_ZERO(&chosen);
    int taken = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && taken < count; ++cpu)
        if (CPU_ISSET(cpu, &available)) {
            CPU_SET(cpu, &chosen);
            ++taken;
        }
    return taken == count && sched_setaffinity(0, sizeof chosen, &chosen) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    int threads = 0, runs = 5;
    std::string out;
    bool firstPassOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--threads" && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--out" && i + 1 < argc)
            out = argv[++i];
        else if (arg == "--first-pass-only")
            firstPassOnly = true;
        else {
            std::fprintf(stderr, "usage: kxbench_rt [--threads N] [--runs R] [--out image.png] [--first-pass-only]\n");
            return 2;
        }
    }
    if (threads > 0 && !limitProcessors(threads)) {
        std::fprintf(stderr, "kxbench_rt: cannot limit the process to %d processors\n", threads);
        return 1;
    }
    threads = omp_get_num_procs();

    KXScene scene;
    buildScene(scene);
    std::printf("scene: sphere %zu tris + ground 2 tris; image %dx%d; processors=%d worker_threads=%d\n",
                anchor::makeSphere().triangleCount(), anchor::kWidth, anchor::kHeight, threads, 2 * threads);

    KXRawImage2D image(anchor::kWidth, anchor::kHeight, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    if (image.createData() != 0) {
        std::fprintf(stderr, "kxbench_rt: out of memory\n");
        return 1;
    }
    TimedTracer tracer;
    tracer.firstPassOnly = firstPassOnly;
    std::vector<double> traceMs, passMs;
    size_t hits = 0;
    for (int r = 0; r <= runs; ++r) {
        const double start = now();
        tracer.trace(&scene, image);
        const double elapsed = now() - start;
        if (r == 0)
            continue; // warm-up
        traceMs.push_back(elapsed * 1e3);
        passMs.push_back(tracer.firstPassSeconds * 1e3);
        hits = tracer.hits;
    }
    const double primary = double(anchor::kWidth) * anchor::kHeight;
    const double rays = primary + double(hits);
    const double pass = median(passMs);
    std::printf("first pass: primary_rays=%.0f shadow_rays=%zu first_pass_ms=%.2f (min %.2f max %.2f)\n", primary, hits,
                pass, *std::min_element(passMs.begin(), passMs.end()), *std::max_element(passMs.begin(), passMs.end()));
    std::printf("RESULT rt threads=%d first_pass_mrays_per_s=%.2f trace_ms=%.2f\n", threads, rays / (pass * 1e-3) / 1e6,
                median(traceMs));
    if (!out.empty()) {
        // Opaque, for viewing: the background was drawn with alpha 0.
        for (unsigned y = 0; y < image.getHeight(); ++y)
            for (unsigned x = 0; x < image.getWidth(); ++x) {
                KXColor color = image.getColor(x, y);
                color.setA(1.0f);
                image.setColor(x, y, color);
            }
        const std::wstring path(out.begin(), out.end());
        if (KXImageUtils::saveRawImage2DToPNG(&image, path.c_str()) != 0) {
            std::fprintf(stderr, "kxbench_rt: cannot write %s\n", out.c_str());
            return 1;
        }
    }
    return 0;
}
