#include "raytracer/KXRayTracer.h"

#include "raytracer/RTCast.h"
#include "raytracer/RTEdgeMask.h"
#include "raytracer/RTMeshTreeMap.h"
#include "raytracer/RTNodeCache.h"
#include "raytracer/RTPacketTraversal.h"
#include "raytracer/RTShading.h"
#include "raytracer/RTShadingLanes.h"
#include "raytracer/RTShapeTree.h"
#include "raytracer/RTTextureCache.h"
#include "raytracer/RTUnprojector.h"
#include "renderer/KXOutOfMemory.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXBackground.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTextureAttributes.h"
#include "sceneapi/KXTriMesh.h"

#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

namespace {

// Shared by every tracer of the process. Both are 1 while no trace runs.
std::atomic<int> s_stopFlag{1};
std::atomic<int> s_stoppedFlag{1};

// Seeds of the random numbers of soft shadows, one per pass, so that the
// two passes do not repeat each other's numbers.
constexpr unsigned kFirstPass = 1;
constexpr unsigned kAntialiasPass = 2;
constexpr unsigned kBackgroundPass = 3;

// What the passes that cast hits shade with: shadow and reflection rays
// through shapeTree.
RTShadingContext shadingContext(const RTLighting& lighting, const RTShapeTree* shapeTree,
                                const RTTextureCache* textures, bool reflections)
{
    RTShadingContext shading;
    shading.lighting = &lighting;
    shading.shapeTree = shapeTree;
    shading.textures = textures;
    shading.reflections = reflections;
    return shading;
}

// prepared, when given, is rtPrepareHit's for the nearest hit.
KXColor composite(const std::vector<RTHit>& hits, const RTShadingContext& shading, const RTRay& ray,
                  RTRayContext& secondary, KXColor acc, const RTPreparedHit* prepared = nullptr)
{
    for (size_t k = hits.size(); k-- > 0;) {
        const float alpha = rtHitAlpha(hits[k]);
        acc = rtShade(shading, hits[k], ray, secondary, 0, k == 0 ? prepared : nullptr) * alpha + acc * (1.0f - alpha);
    }
    return acc;
}

// Decodes the textures the passes may read: those of the shapes and of the
// background.
void addSceneTextures(RTTextureCache& textures, const KXRoot& root, const RTShapeTree* shapeTree)
{
    if (shapeTree)
        for (const RTShape& shape : shapeTree->getShapes())
            textures.addTextureOf(shape.appearance);
    const KXBackground* background = root.getBackground();
    if (const auto* picture = dynamic_cast<const KXImageBackground*>(background)) {
        if (picture->getTexture2D())
            textures.add2D(picture->getTexture2D()->getImage2D());
    } else if (const auto* dome = dynamic_cast<const KXSkyDome*>(background)) {
        if (dome->getTexture2D())
            textures.add2D(dome->getTexture2D()->getImage2D());
    } else if (const auto* box = dynamic_cast<const KXSkyBox*>(background)) {
        if (box->getTexture3D())
            textures.addCube(box->getTexture3D()->getImage3D());
    }
}

} // namespace

// Without memory for the texture cache the tracer is made all the same;
// trace makes the cache again, and fails while it cannot.
KXRayTracer::KXRayTracer() : m_textureCache(new (std::nothrow) RTTextureCache)
{
    s_stopFlag.store(1);
    s_stoppedFlag.store(1);
}

KXRayTracer::~KXRayTracer() = default;

void KXRayTracer::stop()
{
    s_stopFlag.store(1, std::memory_order_relaxed);
}

int KXRayTracer::hasStopped()
{
    return s_stoppedFlag.load();
}

float KXRayTracer::getProgress() const
{
    const unsigned total = m_rowsTotal.load(std::memory_order_relaxed);
    const unsigned done = m_rowsDone.load(std::memory_order_relaxed);
    return total == 0 ? 0.0f : std::min(1.0f, static_cast<float>(done) / static_cast<float>(total));
}

int KXRayTracer::getNumThreads()
{
    return 2 * omp_get_num_procs();
}

bool KXRayTracer::shouldStop() const
{
    return s_stopFlag.load(std::memory_order_relaxed) != 0 || m_failed.load(std::memory_order_relaxed);
}

void KXRayTracer::beginStage(KXRTSTATUS status, unsigned rows)
{
    m_rowsDone.store(0, std::memory_order_relaxed);
    m_rowsTotal.store(rows, std::memory_order_relaxed);
    m_status.store(status);
}

int KXRayTracer::trace(const KXScene* scene, KXRawImage2D& image)
{
    if (image.getWidth() == 0 || image.getHeight() == 0 || !image.hasData())
        return -1;
    KXRoot* root = scene ? scene->getRoot() : nullptr;
    if (!root)
        return 0;
    if (!m_textureCache)
        m_textureCache.reset(new (std::nothrow) RTTextureCache);
    if (!m_textureCache)
        return -1;

    s_stopFlag.store(0);
    s_stoppedFlag.store(0);
    m_failed.store(false);
    beginStage(KXRT_PREPARING, 0);
    const bool withinMemory = kxRunWithinMemory([&] {
        m_textureCache->clear();
        RTNodeCache nodeCache;
        nodeCache.build(root);
        RTMeshTreeMap meshTrees;
        const std::unique_ptr<RTShapeTree> shapeTree = RTShapeTree::build(root, nodeCache, meshTrees);
        addSceneTextures(*m_textureCache, *root, shapeTree.get());

        if (!shouldStop()) {
            beginStage(KXRT_BACKGROUND, image.getHeight());
            renderBackground(root, image);
        }
        if (!shouldStop()) {
            beginStage(KXRT_FIRSTPASS, image.getHeight());
            tracePrimaryPass(root, image, nodeCache, shapeTree.get(), meshTrees);
        }
        if (!shouldStop()) {
            beginStage(KXRT_ANTIALIAS, image.getHeight());
            RTEdgeMask edgeMask(image.getWidth(), image.getHeight());
            edgeMask.detectEdges(image, getNumThreads());
            if (!shouldStop())
                traceAntialiasPass(root, image, nodeCache, shapeTree.get(), meshTrees, edgeMask);
        }
    });
    if (!withinMemory)
        m_failed.store(true);
    s_stopFlag.store(1);
    m_textureCache->clear();
    beginStage(KXRT_DONE, 0);
    s_stoppedFlag.store(1);
    // Running out of memory is a failure, not a finished image.
    return m_failed.load() ? -1 : 0;
}

// Runs span(x, y, count, primaries, secondary) over the image for runs of
// up to SPAN pixels of a row from x, rows shared out one at a time among the
// worker threads, each thread with its own ray contexts (one primary
// context per pixel of a run, one secondary) and random numbers seeded per
// row. A stop request skips the rows not yet begun and ends each running
// row after the run at hand.
template <int SPAN, class Span>
void KXRayTracer::forEachSpan(KXRawImage2D& image, unsigned pass, Span&& span)
{
    const int width = static_cast<int>(image.getWidth()), height = static_cast<int>(image.getHeight());
#pragma omp parallel num_threads(getNumThreads())
    {
        RTRandom random;
        std::optional<RTRayContext> primary[SPAN], secondary;
        RTRayContext* primaries[SPAN] = {};
        // Nothing may leave a parallel region: a worker that runs out of
        // memory ends the stage for all (shouldStop), and trace fails.
        if (!kxRunWithinMemory([&] {
                for (int i = 0; i < SPAN; ++i) {
                    primary[i].emplace(&random);
                    primaries[i] = &*primary[i];
                }
                secondary.emplace(&random);
            }))
            m_failed.store(true);
#pragma omp for schedule(dynamic, 1)
        for (int y = 0; y < height; ++y) {
            if (shouldStop())
                continue;
            random.seedRow(pass, static_cast<unsigned>(y));
            if (!kxRunWithinMemory([&] {
                    for (int x = 0; x < width; x += SPAN) {
                        const unsigned count = static_cast<unsigned>(std::min(SPAN, width - x));
                        span(static_cast<unsigned>(x), static_cast<unsigned>(y), count, primaries, *secondary);
                        if (shouldStop())
                            break;
                    }
                }))
                m_failed.store(true);
            m_rowsDone.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

// Runs pixel(x, y, primary, secondary) for every pixel, as forEachSpan does.
template <class Pixel>
void KXRayTracer::forEachRow(KXRawImage2D& image, unsigned pass, Pixel&& pixel)
{
    forEachSpan<1>(image, pass,
                   [&pixel](unsigned x, unsigned y, unsigned, RTRayContext* const* primary, RTRayContext& secondary) {
                       pixel(x, y, *primary[0], secondary);
                   });
}

// ---------------------------------------------------------------- background

void KXRayTracer::renderBackground(KXRoot* root, KXRawImage2D& image)
{
    KXBackground* background = root ? root->getBackground() : nullptr;
    if (!background)
        return;
    const int type = background->getBackgroundType();
    if (type == KXBackground::KXBACKGROUNDTYPE_SINGLECOLOR)
        renderSingleColorBackground(background, image);
    else if (type >= KXBackground::KXBACKGROUNDTYPE_GRADIENT && type <= KXBackground::KXBACKGROUNDTYPE_SKYDOME)
        renderTexturedBackground(background, image);
}

void KXRayTracer::renderSingleColorBackground(KXBackground* background, KXRawImage2D& image)
{
    if (auto* single = dynamic_cast<KXSingleColorBackground*>(background))
        fillImage(image, single->getColor());
}

void KXRayTracer::fillImage(KXRawImage2D& image, const KXColor& color)
{
    // One row is written pixel by pixel, the others are copies of it.
    const unsigned char* first = image.getRow(0);
    if (!first)
        return;
    for (unsigned x = 0; x < image.getWidth(); ++x)
        image.setColorInRow(image.getRow(0), x, color);
    for (unsigned y = 1; y < image.getHeight(); ++y)
        std::memcpy(image.getRow(y), first, image.getRowSize());
}

void KXRayTracer::renderTexturedBackground(KXBackground* background, KXRawImage2D& image)
{
    KXCamera* camera = background->getCamera();
    KXTriMesh* mesh = background->getGeometry();
    if (!camera || !mesh)
        return;
    mesh->refresh();
    static const KXMatrix identity;

    switch (background->getBackgroundType()) {
    case KXBackground::KXBACKGROUNDTYPE_GRADIENT:
        renderBackgroundGeometry(mesh, nullptr, nullptr, identity, camera, image);
        break;
    case KXBackground::KXBACKGROUNDTYPE_IMAGE:
    case KXBackground::KXBACKGROUNDTYPE_SKYDOME: {
        KXTexture2D* source = nullptr;
        KXTextureAttributes* attributes = nullptr;
        if (auto* picture = dynamic_cast<KXImageBackground*>(background)) {
            source = picture->getTexture2D();
            attributes = picture->getTextureAttributes();
        } else if (auto* dome = dynamic_cast<KXSkyDome*>(background)) {
            source = dome->getTexture2D();
        }
        KXRef<KXAppearance> appearance = KXMake<KXAppearance>();
        auto* texture = static_cast<KXTexture2D*>(appearance->createTexture(KXTexture::KXTEXTURE_2D, 0));
        texture->setImage2D(source ? source->getImage2D() : nullptr);
        if (attributes)
            appearance->createTextureAttributes(0)->copy(*attributes);
        renderBackgroundGeometry(mesh, appearance.get(), background->getLightModel(), identity, camera, image);
        break;
    }
    case KXBackground::KXBACKGROUNDTYPE_SKYBOX: {
        auto* box = dynamic_cast<KXSkyBox*>(background);
        KXRef<KXAppearance> appearance = KXMake<KXAppearance>();
        auto* texture = static_cast<KXTexture3D*>(appearance->createTexture(KXTexture::KXTEXTURE_3D, 0));
        texture->setImage3D(box && box->getTexture3D() ? box->getTexture3D()->getImage3D() : nullptr);
        renderBackgroundGeometry(mesh, appearance.get(), background->getLightModel(), identity, camera, image);
        break;
    }
    default:
        break;
    }
}

void KXRayTracer::renderBackgroundGeometry(KXGeometry* geometry, KXAppearance* appearance, KXLightModel* lightModel,
                                           const KXMatrix& transform, KXCamera* camera, KXRawImage2D& image)
{
    const KXTriMesh* triMesh = dynamic_cast<const KXTriMesh*>(geometry);
    if (!triMesh || !camera || geometry->getGeomType() != KXGeometry::KXGEOMTYPE_TRIMESH)
        return;
    const bool identity = rtIsIdentity(transform);
    const RTUnprojector unprojector(*camera);
    const RTMesh mesh(*triMesh, false);
    const RTBox bounds(triMesh->getBounds());
    // The geometry stands on its own: its space is the world of its hits.
    RTShape shape;
    shape.appearance = appearance;
    shape.scale = 1.0f;
    const RTLighting lighting(lightModel, m_lightToWorld);
    // Normally decoded with the scene already; a stage drawing geometry of
    // its own adds its texture here, before the rows share the cache.
    m_textureCache->addTextureOf(appearance);
    RTShadingContext shading;
    shading.lighting = &lighting;
    shading.textures = m_textureCache.get();

    const unsigned width = image.getWidth(), height = image.getHeight();
    forEachRow(image, kBackgroundPass, [&](unsigned x, unsigned y, RTRayContext& context, RTRayContext&) {
        RTRay ray = unprojector.primaryRay(static_cast<float>(x), static_cast<float>(y), width, height);
        if (!identity)
            ray = ray.transformed(transform.getData());
        RTMeshHit meshHit;
        if (!rtSlabTest(ray, bounds) || !mesh.intersect(ray, meshHit))
            return;
        RTHit hit;
        hit.distance = meshHit.t;
        hit.shape = &shape;
        hit.mesh = &mesh;
        hit.point = meshHit.point;
        hit.worldPoint = meshHit.point;
        const uint32_t* triangle = mesh.getTriangle(meshHit.triangle);
        for (int k = 0; k < 3; ++k)
            hit.indices[k] = triangle[k];
        hit.backFacing = meshHit.backFacing;
        image.setColor(x, y, rtShade(shading, hit, ray, context, 0));
    });
}

// ---------------------------------------------------------------- passes

void KXRayTracer::tracePrimaryPass(KXRoot* root, KXRawImage2D& image, RTNodeCache&, const RTShapeTree* shapeTree,
                                   RTMeshTreeMap&)
{
    KXLightModel* lightModel = root->getLightModel();
    KXCamera* camera = root->getCamera();
    if (!camera || root->getNumChildNodes() == 0)
        return;

    // Lights of a model that is not fixed are given in camera space, with
    // the camera looking down +z; they are carried into the scene by the
    // inverse of the camera's world and view and a flip of z.
    m_lightToWorld.setIdentity();
    if (lightModel && !lightModel->isFixed()) {
        const KXMatrix flipZ(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1);
        KXMatrix inverse;
        if (rtInvert(camera->getWorldMatrix() * camera->getViewMatrix() * flipZ, inverse))
            m_lightToWorld = inverse;
    }

    const RTUnprojector unprojector(*camera);
    const RTLighting lighting(lightModel, m_lightToWorld);
    const RTShadingContext shading =
        shadingContext(lighting, shapeTree, m_textureCache.get(), m_reflectionsEnabled != 0);

    const unsigned width = image.getWidth(), height = image.getHeight();
    // Neighbouring primary rays of a row are cast together, and so are the
    // shadow rays of their nearest hits toward a directional light; the
    // hits are then shaded in pixel order, so that soft shadows draw the
    // same random numbers as when every pixel is cast and shaded in turn.
    forEachSpan<RT_PACKET_SIZE>(image, kFirstPass, [&](unsigned x, unsigned y, unsigned count,
                                                       RTRayContext* const* primary, RTRayContext& secondary) {
        RTRay rays[RT_PACKET_SIZE];
        unprojector.primaryRays(x, y, count, width, height, rays);
        RTCaster::castPacket(primary, shapeTree, rays, static_cast<int>(count));

        const RTHit* nearest[RT_PACKET_SIZE] = {};
        for (unsigned i = 0; i < count; ++i)
            nearest[i] = primary[i]->getHitCount() != 0 ? &primary[i]->getHits()[0] : nullptr;
        RTRay shadowRays[RT_PACKET_SIZE];
        RTPreparedHit prepared[RT_PACKET_SIZE];
        const unsigned wanted = rtPrepareHits(shading, nearest, static_cast<int>(count), prepared, shadowRays);
        unsigned lane[RT_PACKET_SIZE] = {};
        int numShadows = 0;
        for (unsigned left = wanted; left != 0; left &= left - 1) {
            const int i = rtLowestLane(left);
            shadowRays[numShadows] = shadowRays[i];
            lane[numShadows++] = static_cast<unsigned>(i);
        }
        RTOcclusion occlusions[RT_PACKET_SIZE] = {};
        RTCaster::occlusionPacket(secondary, shapeTree, shadowRays, numShadows, occlusions);
        for (int k = 0; k < numShadows; ++k) {
            prepared[lane[k]].shadowKnown = true;
            prepared[lane[k]].factor = rtHardShadowFactor(occlusions[k]);
        }

        // A single hit of alpha 1 covers the pixel: its colour times 1 plus
        // the background's times 0 is its own colour (up to the sign of a
        // zero, which the stored bytes do not keep), so the background need
        // not be read. Such hits are shaded four at a time where they can
        // be; none of those draws random numbers, so the others still draw
        // theirs in pixel order.
        unsigned covering = 0;
        for (unsigned i = 0; i < count; ++i)
            if (primary[i]->getHitCount() == 1 && rtHitAlpha(primary[i]->getHits()[0]) == 1.0f)
                covering |= 1u << i;
        KXColor colors[RT_PACKET_SIZE];
        const unsigned together = rtShadeHits(shading, nearest, rays, prepared, covering, colors);
        unsigned char* row = image.getRow(y);
        for (unsigned i = 0; i < count; ++i) {
            const std::vector<RTHit>& hits = primary[i]->getHits();
            if (hits.empty())
                continue;
            if (together & (1u << i)) {
                image.setColorInRow(row, x + i, colors[i]);
                continue;
            }
            if (covering & (1u << i)) {
                image.setColorInRow(row, x + i, rtShade(shading, hits[0], rays[i], secondary, 0, &prepared[i]));
                continue;
            }
            image.setColorInRow(
                row, x + i, composite(hits, shading, rays[i], secondary, image.getColor(x + i, y), &prepared[i]));
        }
    });
}

void KXRayTracer::traceAntialiasPass(KXRoot* root, KXRawImage2D& image, RTNodeCache&, const RTShapeTree* shapeTree,
                                     RTMeshTreeMap&, RTEdgeMask& edgeMask)
{
    KXCamera* camera = root->getCamera();
    if (!camera || root->getNumChildNodes() == 0)
        return;
    const RTUnprojector unprojector(*camera);
    const RTLighting lighting(root->getLightModel(), m_lightToWorld);
    const RTShadingContext shading =
        shadingContext(lighting, shapeTree, m_textureCache.get(), m_reflectionsEnabled != 0);

    const unsigned width = image.getWidth(), height = image.getHeight();
    forEachRow(image, kAntialiasPass, [&](unsigned x, unsigned y, RTRayContext& primary, RTRayContext& secondary) {
        if (x >= edgeMask.getWidth() || y >= edgeMask.getHeight() || !edgeMask.test(x, y))
            return;
        // Nine samples a quarter pixel apart, each composited over the
        // pixel's first-pass colour.
        const KXColor first = image.getColor(x, y);
        KXColor sum(0.0f, 0.0f, 0.0f, 1.0f);
        for (int i = -1; i <= 1; ++i) {
            for (int j = -1; j <= 1; ++j) {
                const RTRay ray = unprojector.primaryRay(static_cast<float>(x) + 0.25f * static_cast<float>(i),
                                                         static_cast<float>(y) + 0.25f * static_cast<float>(j),
                                                         width, height);
                RTCaster::cast(primary, shapeTree, ray);
                sum += composite(primary.getHits(), shading, ray, secondary, first) / 9.0f;
            }
        }
        image.setColor(x, y, sum);
    });
}
