#include "canvas/KXPlanarSoftShadowPainter.h"

#include "canvas/KXFloorSheet.h"
#include "canvas/KXShadowFootprint.h"
#include "canvas/KXSoftShadowCanvas.h"
#include "imagegen/KXShadowTexGen.h"
#include "renderer/KXDevice.h"
#include "renderer/KXOutOfMemory.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXCameraUtils.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTriMesh.h"

namespace {

// Black with the shadow's opacity, glowing in the shadow colour: lighting
// adds nothing, so the silhouette has the colour whatever the lights.
void setSilhouetteMaterial(KXAppearance& appearance, const KXColor& color)
{
    KXMaterial* material = appearance.getMaterial();
    if (!material)
        material = appearance.createMaterial();
    const KXColor black(0.0f, 0.0f, 0.0f, color.getA());
    material->set(black, black, black, color, 5.0f);
}

} // namespace

KXPlanarSoftShadowPainter::KXPlanarSoftShadowPainter()
{
    // Without memory the parts are made at a later paint.
    makeMissingParts();
}

KXPlanarSoftShadowPainter::~KXPlanarSoftShadowPainter()
{
    dropDeviceObjects();
    if (m_device)
        m_device->unregisterObserver(this);
}

bool KXPlanarSoftShadowPainter::makeMissingParts()
{
    kxRunWithinMemory([&] {
        if (!m_shadowAppearance)
            m_shadowAppearance = new KXAppearance();
        if (!m_transparentShadowAppearance)
            m_transparentShadowAppearance = new KXAppearance();
        if (!m_shadowAppearance->getMaterial() || !m_transparentShadowAppearance->getMaterial())
            updateMaterials();
        if (!m_shadowImage)
            m_shadowImage = new KXImage2D();
        if (!m_floorAppearance) {
            KXRef<KXAppearance> floor = new KXAppearance();
            // Lit white, the texture modulating colour and alpha: the texture
            // gives the shadow its colour and its opacity.
            floor->createMaterial()->set(KXColor(0.0f, 0.0f, 0.0f, 1.0f), KXColor(1.0f, 1.0f, 1.0f, 1.0f),
                                         KXColor(0.0f, 0.0f, 0.0f, 1.0f), KXColor(0.0f, 0.0f, 0.0f, 0.0f), 5.0f);
            auto* texture = dynamic_cast<KXTexture2D*>(floor->createTexture(KXTexture::KXTEXTURE_2D, 0));
            if (texture)
                texture->setImage2D(m_shadowImage.get());
            floor->createTextureAttributes(0);
            m_floorAppearance = floor.get();
        }
        if (!m_floorMesh)
            m_floorMesh = new KXTriMesh();
        if (!m_footprint)
            m_footprint = std::make_unique<KXShadowFootprint>();
    });
    return m_shadowAppearance && m_transparentShadowAppearance && m_shadowImage && m_floorAppearance &&
           m_floorMesh && m_footprint && m_shadowAppearance->getMaterial() &&
           m_transparentShadowAppearance->getMaterial() && m_floorAppearance->getMaterial();
}

void KXPlanarSoftShadowPainter::updateMaterials()
{
    if (m_shadowAppearance)
        setSilhouetteMaterial(*m_shadowAppearance, m_shadowColor);
    if (m_transparentShadowAppearance)
        setSilhouetteMaterial(*m_transparentShadowAppearance, m_transparentShadowColor);
}

void KXPlanarSoftShadowPainter::setLightDirection(const KXUnitVector& direction, const KXUnitVector& up)
{
    m_lightDirection = direction;
    m_lightUp = up;
}

void KXPlanarSoftShadowPainter::setShadowPlane(const KXPlane& plane)
{
    m_plane = plane;
    m_planeUsable = KXFloorSheet::toUnitPlane(m_plane, m_unitPlane);
}

void KXPlanarSoftShadowPainter::setShadowColor(const KXColor& color)
{
    m_shadowColor = color;
    kxRunWithinMemory([&] { updateMaterials(); });
}

void KXPlanarSoftShadowPainter::setShadowColorForTransparentObjects(const KXColor& color)
{
    m_transparentShadowColor = color;
    kxRunWithinMemory([&] { updateMaterials(); });
}

void KXPlanarSoftShadowPainter::setDevice(KXDevice* device)
{
    // Registering may run out of memory, so it comes first: a painter that
    // cannot hear the new device stays on the one it had, still heard.
    if (device && !kxRunWithinMemory([&] { device->registerObserver(this); }))
        return;
    if (m_device && m_device != device) {
        // The generator's objects belong to the old device.
        dropDeviceObjects();
        m_device->unregisterObserver(this);
    }
    m_device = device;
}

void KXPlanarSoftShadowPainter::update(KXObservable* source, const KXEvent& event)
{
    const auto* deviceEvent = dynamic_cast<const KXDeviceEvent*>(&event);
    if (!deviceEvent || !m_device || source != m_device)
        return;
    switch (deviceEvent->getType()) {
    case KXDeviceEvent::KXDEVICEEVENT_BEFORERESET:
        // Default-pool textures must go before the reset.
        dropDeviceObjects();
        break;
    case KXDeviceEvent::KXDEVICEEVENT_RELEASE:
        dropDeviceObjects();
        m_device->unregisterObserver(this);
        m_device = nullptr;
        break;
    default:
        break;
    }
}

void KXPlanarSoftShadowPainter::dropDeviceObjects()
{
    // The image would otherwise point at the generator's freed texture.
    if (m_shadowImage)
        m_shadowImage->setImplementation(nullptr);
    m_generator.reset();
    m_textureDone = 0;
}

bool KXPlanarSoftShadowPainter::isEyeOnViewerSide(const KXCamera& camera) const
{
    // The eye decides, not the view direction: a camera above the floor that
    // looks a little upward still sees the floor below the horizon. The eye
    // is taken where the camera's world matrix has put the scene.
    KXPosition eye = camera.getEyePosition();
    KXMatrix toScene;
    if (camera.getWorldMatrix().getInverse(toScene))
        eye = toScene.transform(eye);
    return m_unitPlane.distance(eye) < 0.0f;
}

void KXPlanarSoftShadowPainter::buildLightCamera(const KXBounds& casterBounds)
{
    KXBounds bounds = casterBounds;
    const KXPosition centre = bounds.getCenter();
    bounds.transform(KXMatrix::translation(-centre.getX(), -centre.getY(), -centre.getZ()) *
                     KXMatrix::scaling(BOUNDS_MARGIN, BOUNDS_MARGIN, BOUNDS_MARGIN) *
                     KXMatrix::translation(centre.getX(), centre.getY(), centre.getZ()));
    std::unique_ptr<KXCamera> camera;
    if (m_lightType == KXSHADOWLIGHT_DIRECTIONAL)
        camera = std::make_unique<KXOrthoCamera>(nullptr);
    else
        camera = std::make_unique<KXPerspectiveCamera>(nullptr);
    KXCameraUtils::initialize(camera.get(), bounds, m_lightDirection, m_lightUp);
    KXCameraUtils::updateViewport(camera.get(), TEXTURE_SIZE, TEXTURE_SIZE, bounds);
    KXCameraUtils::updateFarPlane(camera.get(), bounds);
    KXCameraUtils::updateNearPlane(camera.get(), bounds, 0.0f);
    m_lightCamera = std::move(camera);
}

void KXPlanarSoftShadowPainter::paint(const KXScene* scene)
{
    KXRoot* root = scene ? scene->getRoot() : nullptr;
    KXRenderStateMgr* states = m_renderer ? m_renderer->getRenderStateMgr() : nullptr;
    if (!m_device || !root || !states || !root->isEnabled() || !m_planeUsable)
        return;
    KXCamera* camera = root->getCamera();
    if (camera && !isEyeOnViewerSide(*camera))
        return;
    if (!makeMissingParts())
        return;

    const KXViewport viewport = m_renderer->getViewport();
    if (m_updateTexture || !m_textureDone) {
        // The light camera is made with the texture and kept with it: a
        // texture kept between frames stays on the floor it was rendered
        // for, under what cast it then.
        root->refresh();
        const KXBounds casters = KXSoftShadowCanvas::getCasterBounds(root);
        if (casters.isEmpty() || !kxRunWithinMemory([&] { buildLightCamera(casters); })) {
            // Nothing casts a shadow (any more): no floor either.
            m_lightCamera.reset();
            return;
        }
        renderTexture(scene);
        // The main camera and viewport are back for the floor.
        if (camera)
            m_renderer->setCamera(camera);
        m_renderer->setViewport(&viewport);
    }
    if (m_textureDone && placeFloor())
        drawFloor();
}

void KXPlanarSoftShadowPainter::renderTexture(const KXScene* scene)
{
    // Made here, not with the painter: every canvas makes a painter of this
    // kind, the soft-shadow canvas too.
    if (!m_shadowCanvas && !kxRunWithinMemory([&] { m_shadowCanvas = std::make_unique<KXSoftShadowCanvas>(); }))
        return;
    if (!m_generator) {
        if (!kxRunWithinMemory([&] { m_generator = std::make_unique<KXShadowTexGen>(m_offScreen); }))
            return;
        // A generator the device cannot serve is tried again at the next paint.
        if (m_generator->initialize(m_device, TEXTURE_SIZE, TEXTURE_SIZE) != KXRESULT_OK) {
            m_generator.reset();
            return;
        }
    }
    m_shadowCanvas->setLightCamera(m_lightCamera.get());
    m_shadowCanvas->setShadowAppearance(m_shadowAppearance.get());
    m_shadowCanvas->setShadowAppearanceForTransparentObjects(m_transparentShadowAppearance.get());
    m_shadowCanvas->setBackgroundColor(KXColor(0.0f, 0.0f, 0.0f, 0.0f));
    // A failed rendering leaves the texture to be rendered at the next paint.
    if (m_generator->render(scene, m_shadowCanvas.get()) == KXRESULT_OK &&
        m_generator->postProcess(m_shadowImage.get()) == KXRESULT_OK)
        m_textureDone = 1;
}

bool KXPlanarSoftShadowPainter::placeFloor()
{
    // Where the light camera's picture falls on the plane: the shadow lies
    // under what casts it, at the size it was rendered.
    m_floorPlaced = false;
    if (!m_lightCamera || !m_footprint->build(*m_lightCamera, m_unitPlane))
        return false;
    const std::vector<KXPosition>& vertices = m_footprint->getVertices();
    // The mesh is only replaced when the floor moved: its device buffers are
    // made again with it.
    if (m_floorMesh->getVertexArray() != vertices || m_floorMesh->getIndicesArray() != m_footprint->getIndices()) {
        const bool replaced = kxRunWithinMemory([&] {
            // Facing the viewer, against the plane's normal.
            const KXUnitVector up = -m_unitPlane.getNormal();
            m_floorMesh->set(KXTriMesh::KXTRIMESHTYPE_LIST, vertices, m_footprint->getIndices(),
                             std::vector<KXUnitVector>(vertices.size(), up), {}, m_footprint->getTexCoords());
        });
        if (!replaced)
            return false;
    }
    m_floorPlaced = true;
    return true;
}

void KXPlanarSoftShadowPainter::drawFloor()
{
    KXRenderStateMgr* states = m_renderer->getRenderStateMgr();
    KXBlendState* blend = states->getBlendState();
    KXZBufferState* zBuffer = states->getZBufferState();
    KXPolyState* poly = states->getPolyState();
    KXLightState* light = states->getLightState();
    KXMaterialState* material = states->getMaterialState();
    KXTextureState* texture = states->getTextureState();

    // Blended over the scene by the texture's alpha, behind what stands on
    // the floor, leaving depth alone.
    blend->enableBlending(1);
    blend->setSourceBlend(KXBlendState::KXBLENDFACTOR_SRCALPHA);
    blend->setDestinationBlend(KXBlendState::KXBLENDFACTOR_INVSRCALPHA);
    blend->setBlendOperation(KXBlendState::KXBLENDOPERATION_ADD);
    zBuffer->enableZBuffer(1);
    zBuffer->enableZWrite(0);
    poly->setShadeMode(KXPolyState::KXSHADEMODE_GOURAUD);
    poly->setFillMode(KXPolyState::KXFILLMODE_SOLID);
    // The floor faces the viewer: the scene's own back-face rule keeps it.
    poly->setCullMode(KXPolyState::KXCULLMODE_CLOCKWISE);
    light->enableLighting(1);
    kxRunWithinMemory([&] {
        KXDirectionalLight sun(nullptr);
        sun.setDirection(m_lightDirection);
        sun.setColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));
        light->setLight(0, &sun, KXMatrix());
        material->setMaterial(m_floorAppearance->getMaterial());
        for (int stage = 0; stage < KXAppearance::MAX_TEXTURES; ++stage) {
            auto* stageTexture = dynamic_cast<KXTexture2D*>(m_floorAppearance->getTexture(stage));
            if (!stageTexture)
                break;
            texture->setTexture2D(static_cast<unsigned>(stage), stageTexture,
                                  m_floorAppearance->getTextureAttributes(stage));
        }
        m_floorMesh->refresh();
        m_renderer->drawTriMesh(m_floorMesh.get());
    });
    // Every family touched goes back to its defaults: light 0 and the
    // blending would otherwise reach the next frame.
    material->reset();
    texture->reset();
    light->reset();
    poly->reset();
    zBuffer->reset();
    blend->reset();
}
