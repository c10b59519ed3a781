#include "canvas/KXCanvas.h"

#include "canvas/KXCanvasEvent.h"
#include "canvas/KXOverlayPainter.h"
#include "canvas/KXPlanarReflectionPainter.h"
#include "canvas/KXPlanarShadowPainter.h"
#include "canvas/KXPlanarSoftShadowPainter.h"
#include "renderer/KXDevice.h"
#include "renderer/KXOutOfMemory.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXBackground.h"
#include "sceneapi/KXFog.h"
#include "sceneapi/KXGeometryGroup.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXPolygonAttributes.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXSceneUtils.h"
#include "sceneapi/KXShaderProgram.h"
#include "sceneapi/KXShape.h"
#include "sceneapi/KXTangentFrame.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTriMesh.h"
#include "widgets/KXControllerGuide.h"
#include "widgets/KXLightDecorator.h"
#include "widgets/KXNodeControllers.h"
#include "widgets/KXNodeDecorators.h"
#include "widgets/KXSceneAxes.h"
#include "widgets/KXSceneDecorators.h"

#include <algorithm>

namespace {

template <class T>
T* createOnce(std::unique_ptr<T>& slot)
{
    if (slot)
        return nullptr;
    // Out of memory nothing is made, and null comes back.
    kxRunWithinMemory([&] { slot = std::make_unique<T>(); });
    return slot.get();
}

// A canvas's own painter of a type, made (and handed the renderer) when the
// slot is empty: a canvas made without memory for its painters is whole all
// the same, and makes them at a later frame.
template <class Painter>
void makePainterIfMissing(std::unique_ptr<KXCanvasPainter>& slot, KXRenderer* renderer)
{
    if (slot)
        return;
    slot.reset(new (std::nothrow) Painter());
    if (slot)
        slot->setRenderer(renderer);
}

void makeMissingPainters(std::unique_ptr<KXCanvasPainter>& shadow, std::unique_ptr<KXCanvasPainter>& reflection,
                         std::unique_ptr<KXCanvasPainter>& softShadow, std::unique_ptr<KXCanvasPainter>& overlay,
                         KXRenderer* renderer)
{
    makePainterIfMissing<KXPlanarShadowPainter>(shadow, renderer);
    makePainterIfMissing<KXPlanarReflectionPainter>(reflection, renderer);
    makePainterIfMissing<KXPlanarSoftShadowPainter>(softShadow, renderer);
    makePainterIfMissing<KXOverlayPainter>(overlay, renderer);
}

// Every family at its defaults, as each step of a frame leaves them.
void resetAllStates(KXRenderStateMgr& states)
{
    states.getMaterialState()->reset();
    states.getTextureState()->reset();
    states.getLightState()->reset();
    states.getZBufferState()->reset();
    states.getBlendState()->reset();
    states.getPolyState()->reset();
    states.getStencilState()->reset();
    states.getFogState()->reset();
    states.getClipState()->reset();
}

// The state most steps draw with: Gouraud shading, solid fill, clockwise
// faces culled (the scene's front faces are counter-clockwise).
void setSolidFrontFaces(KXPolyState* poly)
{
    poly->setShadeMode(KXPolyState::KXSHADEMODE_GOURAUD);
    poly->setFillMode(KXPolyState::KXFILLMODE_SOLID);
    poly->setCullMode(KXPolyState::KXCULLMODE_CLOCKWISE);
}

// Ordinary "over" blending by the source alpha.
void enableAlphaBlending(KXBlendState* blend)
{
    blend->enableBlending(1);
    blend->setSourceBlend(KXBlendState::KXBLENDFACTOR_SRCALPHA);
    blend->setDestinationBlend(KXBlendState::KXBLENDFACTOR_INVSRCALPHA);
    blend->setBlendOperation(KXBlendState::KXBLENDOPERATION_ADD);
}

} // namespace

KXCanvas::KXCanvas()
{
    makeMissingPainters(m_shadowPainter, m_reflectionPainter, m_softShadowPainter, m_overlayPainter, nullptr);
}

KXCanvas::~KXCanvas()
{
    m_nodeDecorators.reset();
    m_nodeControllers.reset();
    m_sceneAxes.reset();
    m_sceneDecorators.reset();
    m_lightDecorator.reset();
    m_controllerGuide.reset();
    m_shadowPainter.reset();
    m_reflectionPainter.reset();
    m_softShadowPainter.reset();
    m_overlayPainter.reset();
}

KXRenderStateMgr* KXCanvas::getStates() const
{
    return m_renderer ? m_renderer->getRenderStateMgr() : nullptr;
}

void KXCanvas::setRenderer(KXRenderer* renderer)
{
    m_renderer = renderer;
    for (KXCanvasPainter* painter :
         {m_shadowPainter.get(), m_reflectionPainter.get(), m_softShadowPainter.get(), m_overlayPainter.get()})
        if (painter)
            painter->setRenderer(renderer);
}

std::unique_ptr<KXCanvasPainter>* KXCanvas::painterSlot(KXCanvasPainter::KXCANVASPAINTERTYPE type)
{
    switch (type) {
    case KXCanvasPainter::KXCANVASPAINTER_PLANARSHADOW:
        return &m_shadowPainter;
    case KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW:
        return &m_softShadowPainter;
    case KXCanvasPainter::KXCANVASPAINTER_PLANARREFLECTION:
        return &m_reflectionPainter;
    case KXCanvasPainter::KXCANVASPAINTER_OVERLAY:
        return &m_overlayPainter;
    }
    return nullptr;
}

KXCanvasPainter* KXCanvas::getPainter(KXCanvasPainter::KXCANVASPAINTERTYPE type) const
{
    switch (type) {
    case KXCanvasPainter::KXCANVASPAINTER_PLANARSHADOW:
        return m_shadowPainter.get();
    case KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW:
        return m_softShadowPainter.get();
    case KXCanvasPainter::KXCANVASPAINTER_PLANARREFLECTION:
        return m_reflectionPainter.get();
    case KXCanvasPainter::KXCANVASPAINTER_OVERLAY:
        return m_overlayPainter.get();
    }
    return nullptr;
}

void KXCanvas::replacePainter(KXCanvasPainter::KXCANVASPAINTERTYPE type, std::unique_ptr<KXCanvasPainter> painter)
{
    std::unique_ptr<KXCanvasPainter>* slot = painterSlot(type);
    if (!slot || !painter)
        return;
    painter->setRenderer(m_renderer);
    *slot = std::move(painter);
}

KXNodeDecorators* KXCanvas::createNodeDecorators() { return createOnce(m_nodeDecorators); }
KXNodeControllers* KXCanvas::createNodeControllers() { return createOnce(m_nodeControllers); }
KXSceneDecorators* KXCanvas::createSceneDecorators() { return createOnce(m_sceneDecorators); }
KXLightDecorator* KXCanvas::createLightDecorator() { return createOnce(m_lightDecorator); }
KXControllerGuide* KXCanvas::createControllerGuide() { return createOnce(m_controllerGuide); }
KXSceneAxes* KXCanvas::createSceneAxes() { return createOnce(m_sceneAxes); }
void KXCanvas::destroyNodeControllers() { m_nodeControllers.reset(); }
void KXCanvas::destroySceneAxes() { m_sceneAxes.reset(); }

void KXCanvas::render(const KXScene* scene, const KXStoryBoard* storyBoard)
{
    // A renderer that has not been initialised has no render states to draw
    // with; it is treated like no renderer.
    KXRenderStateMgr* states = getStates();
    if (!states || !scene)
        return;
    makeMissingPainters(m_shadowPainter, m_reflectionPainter, m_softShadowPainter, m_overlayPainter, m_renderer);
    // The canvas's own steps leave out what they have no memory for. A frame
    // that runs out of memory all the same (in a step or painter of a
    // derived canvas) is closed where it stands, every render-state family
    // back at its defaults, so that the next frame starts as any other.
    bool frameOpen = false;
    const bool drawn = kxRunWithinMemory([&] {
        m_storyBoard = storyBoard;
        KXRoot* root = scene->getRoot();
        if (!root)
            return;
        auto* environment = dynamic_cast<KXSkyBox*>(root->getReflectionEnvironment());
        m_environmentTexture = environment ? environment->getTexture3D() : nullptr;
        KXCamera* camera = root->getCamera();
        if (!camera)
            return;

        const KXBounds bounds = root->getBounds();
        m_sceneCenter = bounds.getCenter();
        m_sceneOffsetMatrix = KXMatrix::translation(m_sceneCenter.getX(), m_sceneCenter.getY(), 0.0f);
        m_sceneRadius = bounds.getRadius();
        m_sceneScaleMatrix = KXMatrix::scaling(m_sceneRadius, m_sceneRadius, m_sceneRadius);
        // While a controller is being used the scene changes under it; the
        // guide keeps to the bounds from before.
        // (A canvas that has never had them takes them now.)
        if (!m_hasReferenceBounds || !m_nodeControllers ||
            m_nodeControllers->getSelectedController() == KXNodeControllers::KXNODECONTROLLER_NONE) {
            m_referenceBounds = bounds;
            m_hasReferenceBounds = true;
        }
        m_eyePosition = camera->getEyePosition();
        m_viewportScale = camera->getViewportScale(nullptr);
        cullWith(*camera);
        // The aids are sized for the picture a tile belongs to.
        const KXViewport viewport = m_renderer->getViewport();
        m_viewportSize = m_tiled ? static_cast<float>(std::min(m_pictureWidth, m_pictureHeight))
                                 : static_cast<float>(std::min(viewport.getWidth(), viewport.getHeight()));
        m_cameraType = camera->getCameraType();

        KXSelection* selection = scene->getSelection();
        frameOpen = true;
        beginFrame();
        // Set once the frame is open: opening it may reset a lost device,
        // which puts every render state back to Direct3D's defaults.
        states->getMaterialState()->enableSpecular(m_specular);
        clearDepth();
        drawBackground(camera, root);
        applyFog(root);
        applyCamera(camera);
        setupLights(camera, root, selection);
        drawScene(root, selection);
        // Fog and lights were set for the scene; the painters and aids set
        // their own.
        if (KXRenderStateMgr* sceneStates = getStates()) {
            sceneStates->getFogState()->reset();
            sceneStates->getLightState()->reset();
        }

        if (m_reflection) {
            if (auto* reflection = dynamic_cast<KXPlanarReflectionPainter*>(m_reflectionPainter.get()))
                reflection->setSceneBounds(bounds);
            if (m_reflectionPainter)
                m_reflectionPainter->paint(scene);
        }
        runShadowPainter(scene);
        drawEditorAids(camera, root, selection);
        if (m_sceneAxes)
            m_sceneAxes->drawAxes(*this, camera);
        if (m_overlayPainter)
            m_overlayPainter->paint(scene);
        frameOpen = false;
        endFrame();
    });
    if (drawn)
        return;
    m_farSidePass = false;
    if (frameOpen)
        endFrame();
    if (KXRenderStateMgr* frameStates = getStates())
        resetAllStates(*frameStates);
}

void KXCanvas::setPictureTile(unsigned width, unsigned height, const KXViewport& tile)
{
    m_tiled = true;
    m_pictureWidth = width;
    m_pictureHeight = height;
    m_tile = tile;
}

bool KXCanvas::getPictureTile(unsigned& width, unsigned& height, KXViewport& tile) const
{
    if (!m_tiled)
        return false;
    width = m_pictureWidth;
    height = m_pictureHeight;
    tile = m_tile;
    return true;
}

void KXCanvas::cullWith(const KXCamera& camera)
{
    m_frustum.updateFrustum(camera.getWorldMatrix(), camera.getViewMatrix(), camera.getProjectionMatrix());
}

void KXCanvas::runShadowPainter(const KXScene* scene)
{
    if (!m_renderer)
        return;
    KXDevice* device = m_renderer->getDevice();
    KXAdapterFormat settings;
    // A 16-bit depth buffer comes without a stencil buffer, which both shadow
    // painters draw with.
    if (device && device->getSettings(settings) == KXRESULT_OK &&
        settings.depthStencil == KXAdapterFormat::KXDEPTHSTENCIL_D16)
        return;

    // Soft shadows win over hard shadows; the two never run in one frame.
    if (m_softShadows) {
        if (auto* softShadows = dynamic_cast<KXPlanarSoftShadowPainter*>(m_softShadowPainter.get())) {
            softShadows->setDevice(device);
            const int type = m_renderer->getRendererType();
            softShadows->setOffScreen(
                type == KXRenderer::KXRENDERER_OFFSCREEN || type == KXRenderer::KXRENDERER_OFFSCREENTEXTURE ? 1 : 0);
        }
        if (m_softShadowPainter)
            m_softShadowPainter->paint(scene);
    } else if (m_shadows && m_shadowPainter) {
        m_shadowPainter->paint(scene);
    }
}

void KXCanvas::beginFrame()
{
    if (!m_renderer)
        return;
    m_renderer->beginScene();
    // Telling the observers copies their list: out of memory they do not
    // hear of this frame, which is drawn all the same.
    kxRunWithinMemory([&] { notify(KXCanvasEvent(KXCanvasEvent::KXCANVASEVENT_FRAMEBEGUN)); });
}

void KXCanvas::endFrame()
{
    if (!m_renderer)
        return;
    kxRunWithinMemory([&] { notify(KXCanvasEvent(KXCanvasEvent::KXCANVASEVENT_FRAMEENDING)); });
    m_renderer->endScene();
}

void KXCanvas::clearDepth()
{
    if (KXRenderStateMgr* states = getStates())
        states->getZBufferState()->clear();
}

void KXCanvas::applyFog(KXRoot* root)
{
    KXRenderStateMgr* states = getStates();
    KXFog* fog = root ? root->getFog() : nullptr;
    if (!states || !fog)
        return;
    KXFogState* fogState = states->getFogState();
    fogState->enableFog(1);
    fogState->setVertexFog(0);
    fogState->setRangeFog(0);
    fogState->setFog(fog);
}

void KXCanvas::applyCamera(KXCamera* camera)
{
    if (m_renderer && camera)
        m_renderer->setCamera(camera);
}

void KXCanvas::drawBackground(KXCamera* camera, KXRoot* root)
{
    KXRenderStateMgr* states = getStates();
    KXBackground* background = root ? root->getBackground() : nullptr;
    if (!states || !background)
        return;
    KXMaterialState* material = states->getMaterialState();
    KXTextureState* texture = states->getTextureState();
    KXLightState* light = states->getLightState();
    KXZBufferState* zBuffer = states->getZBufferState();
    KXPolyState* poly = states->getPolyState();

    switch (background->getBackgroundType()) {
    case KXBackground::KXBACKGROUNDTYPE_SINGLECOLOR: {
        auto* single = dynamic_cast<KXSingleColorBackground*>(background);
        if (!single)
            return;
        KXColor color;
        color.setBGRA(single->getColor().getBGRA());
        m_renderer->clear(color);
        break;
    }
    case KXBackground::KXBACKGROUNDTYPE_GRADIENT: {
        auto* gradient = dynamic_cast<KXGradientBackground*>(background);
        if (!gradient)
            return;
        m_renderer->clear(KXColor());
        // The gradient quad carries its colours in its vertices, unlit.
        light->enableLighting(0);
        material->enableColorVertex(1);
        setSolidFrontFaces(poly);
        m_renderer->setCamera(gradient->getCamera());
        drawGeometry(gradient->getGeometry(), nullptr);
        // The quad leaves no depth behind for the scene.
        zBuffer->clear();
        light->enableLighting(1);
        // Vertex colours stay on, as Direct3D starts: meshes with colours of
        // their own show them whatever the background.
        material->enableColorVertex(1);
        poly->reset();
        zBuffer->reset();
        break;
    }
    case KXBackground::KXBACKGROUNDTYPE_IMAGE: {
        auto* image = dynamic_cast<KXImageBackground*>(background);
        if (!image)
            return;
        m_renderer->clear(KXColor());
        KXMaterial white;
        white.setDiffuseColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));
        material->setMaterial(&white);
        texture->setTexture2D(0, image->getTexture2D(), image->getTextureAttributes());
        if (KXLightModel* lightModel = image->getLightModel())
            applyLightModel(nullptr, lightModel);
        setSolidFrontFaces(poly);
        m_renderer->setCamera(image->getCamera());
        drawGeometry(image->getGeometry(), nullptr);
        zBuffer->clear();
        light->reset();
        poly->reset();
        zBuffer->reset();
        texture->reset();
        break;
    }
    case KXBackground::KXBACKGROUNDTYPE_SKYBOX:
        m_renderer->clear(KXColor());
        drawSkyBox(camera, dynamic_cast<KXSkyBox*>(background));
        break;
    case KXBackground::KXBACKGROUNDTYPE_SKYDOME:
        m_renderer->clear(KXColor());
        drawSkyDome(camera, dynamic_cast<KXSkyDome*>(background));
        break;
    }
}

KXMatrix KXCanvas::skyWorldMatrix(KXCamera* camera, bool withQuarterTurn)
{
    if (!camera)
        return KXMatrix();
    // The sky meshes are laid out for a sky camera turned by the scene
    // camera's orientation alone (no translation: the sky stays around the
    // eye). The mirroring and the two turns are the layout's; the angles are
    // the ones the layout was made with, not the exact quarter and half turn.
    const KXMatrix mirror = KXMatrix::scaling(-1.0f, 1.0f, 1.0f);
    KXVector scale;
    KXVector translation;
    KXMatrix rotation;
    (camera->getViewMatrix() * mirror).decompose(scale, rotation, translation);
    KXMatrix world = mirror * KXMatrix::rotationAxis(KXVector(0.0f, 1.0f, 0.0f), 3.14159f);
    if (withQuarterTurn)
        world = world * KXMatrix::rotationAxis(KXVector(1.0f, 0.0f, 0.0f), 1.570795f);
    return world * rotation;
}

void KXCanvas::drawSkyBox(KXCamera* camera, KXSkyBox* skyBox)
{
    if (skyBox)
        drawSky(camera, skyBox, true, skyBox->getTexture3D(), nullptr);
}

void KXCanvas::drawSkyDome(KXCamera* camera, KXSkyDome* skyDome)
{
    if (skyDome)
        drawSky(camera, skyDome, false, nullptr, skyDome->getTexture2D());
}

void KXCanvas::drawSky(KXCamera* camera, KXBackground* sky, bool withQuarterTurn, KXTexture3D* cube,
                       KXTexture2D* panorama)
{
    KXRenderStateMgr* states = getStates();
    if (!states)
        return;
    KXTextureState* texture = states->getTextureState();
    KXZBufferState* zBuffer = states->getZBufferState();
    KXPolyState* poly = states->getPolyState();

    setSolidFrontFaces(poly);
    KXMaterial white;
    white.setDiffuseColor(KXColor(1.0f, 1.0f, 1.0f, 1.0f));
    states->getMaterialState()->setMaterial(&white);
    // Drawn behind everything, leaving no depth.
    zBuffer->enableZBuffer(0);
    zBuffer->enableZWrite(0);
    if (KXLightModel* lightModel = sky->getLightModel())
        applyLightModel(nullptr, lightModel);
    if (KXCamera* skyCamera = sky->getCamera()) {
        skyCamera->setWorldMatrix(skyWorldMatrix(camera, withQuarterTurn));
        m_renderer->setCamera(skyCamera);
    }
    texture->setAddressMode(0, KXTextureState::KXTEXTUREAXIS_U, KXTextureState::KXADDRESSMODE_CLAMP);
    texture->setAddressMode(0, KXTextureState::KXTEXTUREAXIS_V, KXTextureState::KXADDRESSMODE_CLAMP);
    if (cube)
        texture->setTexture3D(0, cube, nullptr);
    if (panorama)
        texture->setTexture2D(0, panorama, nullptr);
    if (KXTriMesh* geometry = sky->getGeometry())
        drawGeometry(geometry, nullptr);
    poly->reset();
    texture->reset();
    zBuffer->reset();
    states->getLightState()->reset();
}

void KXCanvas::setupLights(KXCamera* camera, KXRoot* root, KXSelection* selection)
{
    KXRenderStateMgr* states = getStates();
    if (!states || !root || !camera)
        return;
    KXLightModel* lightModel = root->getLightModel();
    if (m_showLights && m_lightDecorator)
        m_lightDecorator->drawDecorators(*this, lightModel, root->getBounds(), camera, selection);
    states->getLightState()->enableNormalization(1);
    if (lightModel)
        applyLightModel(camera, lightModel);
}

void KXCanvas::applyLightModel(KXCamera* camera, KXLightModel* lightModel)
{
    KXRenderStateMgr* states = getStates();
    if (!states || !lightModel)
        return;

    // The light matrix carries the lights' positions and directions into
    // place: a fixed model's lights are in scene space and move with the
    // camera's world matrix only; the others are in camera space.
    KXMatrix lightMatrix;
    if (camera) {
        const bool withWorld = m_renderer->getReserved() != 0;
        if (!lightModel->isFixed()) {
            lightMatrix = withWorld ? camera->getWorldMatrix() * camera->getViewMatrix() : camera->getViewMatrix();
            lightMatrix = lightMatrix * m_lightAxisFlip;
            lightMatrix.invert();
        } else if (!withWorld) {
            lightMatrix = camera->getWorldMatrix();
        }
    }

    KXLightState* lightState = states->getLightState();
    KXLight* ambient = lightModel->getAmbientLight();
    if (ambient && ambient->isEnabled())
        lightState->setAmbientLight(ambient);
    bool first = true;
    for (int i = 0; i < lightModel->getNumLights(); ++i) {
        KXLight* light = lightModel->getLight(i);
        if (!light || !light->isEnabled())
            continue;
        if (first) {
            // The position tangent frames light their meshes from.
            first = false;
            const KXLight::KXLIGHTTYPE type = light->getLightType();
            auto* point = dynamic_cast<KXPointLight*>(light);
            const bool positioned = type == KXLight::KXLIGHTTYPE_POINT || type == KXLight::KXLIGHTTYPE_SPOT;
            m_firstLightPosition = positioned && point ? point->getPosition() : KXPosition();
        }
        // The light-model index is the device's light number: disabled
        // lights leave gaps.
        lightState->setLight(static_cast<unsigned>(i), light, lightMatrix);
    }
}

void KXCanvas::drawScene(KXRoot* root, KXSelection* selection)
{
    KXRenderStateMgr* states = getStates();
    if (!states || !root || !root->isEnabled())
        return;
    KXPolyState* poly = states->getPolyState();
    KXZBufferState* zBuffer = states->getZBufferState();
    KXBlendState* blend = states->getBlendState();

    setSolidFrontFaces(poly);
    const KXTransform* transform = root->getTransform();
    if (transform)
        m_renderer->pushTransform(transform->getTransformationMatrix());

    drawSceneDecorators(KXPASS_OPAQUE);
    drawGroup(root, selection, KXPASS_OPAQUE);

    // Transparent shapes, blended over the opaque ones without depth writes:
    // first the faces the opaque pass culls (their far side) ...
    enableAlphaBlending(blend);
    zBuffer->enableZWrite(0);
    poly->setCullMode(KXPolyState::KXCULLMODE_COUNTERCLOCKWISE);
    m_farSidePass = true;
    drawSceneDecorators(KXPASS_TRANSPARENT);
    drawGroup(root, selection, KXPASS_TRANSPARENT);
    m_farSidePass = false;

    // ... then their near side, which writes depth.
    zBuffer->enableZWrite(1);
    poly->setCullMode(KXPolyState::KXCULLMODE_CLOCKWISE);
    drawSceneDecorators(KXPASS_TRANSPARENT);
    drawGroup(root, selection, KXPASS_TRANSPARENT);

    poly->reset();
    zBuffer->reset();
    blend->reset();
    if (transform)
        m_renderer->popTransform();
}

void KXCanvas::drawSceneDecorators(unsigned pass)
{
    if (!m_sceneDecorators || !m_renderer)
        return;
    // Unit-sized decorators are scaled by the scene's radius and placed under
    // its centre, on the ground.
    m_renderer->pushTransform(m_sceneOffsetMatrix);
    m_renderer->pushTransform(m_sceneScaleMatrix);
    KXShape* decorator = nullptr;
    switch (m_sceneDecorators->getState()) {
    case KXSceneDecorators::KXSCENEDECORATORSSTATE_FIRST:
        decorator = m_sceneDecorators->getDecorator(KXSceneDecorators::KXSCENEDECORATORS_FIRST);
        break;
    case KXSceneDecorators::KXSCENEDECORATORSSTATE_SECOND:
        decorator = m_sceneDecorators->getDecorator(KXSceneDecorators::KXSCENEDECORATORS_SECOND);
        break;
    default:
        break;
    }
    if (decorator)
        drawShape(decorator, 0, pass);
    m_renderer->popTransform();
    m_renderer->popTransform();
}

bool KXCanvas::isNodeVisible(const KXNode* node) const
{
    KXBounds bounds = node->getBounds();
    bounds.transform(KXNodeUtils::getWorldMatrixAtNode(node));
    return m_frustum.isBoundsInFrustum(bounds.getLowerLeftPos(), bounds.getUpperRightPos()) !=
           KXViewFrustum::KXVIEWFRUSTUM_OUTSIDE;
}

void KXCanvas::drawSelectionDecorator(KXNode* node, KXSelection* selection)
{
    if (m_nodeDecorators)
        m_nodeDecorators->drawSelectionDecorator(*this, node, selection);
}

void KXCanvas::drawGroup(KXGroup* group, KXSelection* selection, unsigned pass)
{
    if (!m_renderer || !group)
        return;
    // A group wholly outside the view is skipped with everything below it.
    if (!isNodeVisible(group))
        return;
    if (pass == KXPASS_TRANSPARENT)
        drawSelectionDecorator(group, selection);
    KXAppearance* appearance = group->getAppearance();
    if (appearance)
        applyAppearance(appearance);

    for (int i = 0; i < group->getNumChildNodes(); ++i) {
        KXNode* child = group->getChild(i);
        if (!child || !child->isEnabled())
            continue;
        // A shape that draws nothing in this pass is not placed at all:
        // each pass visits every shape, and most draw in one pass only.
        if (child->getType() == KXNode::KXNODETYPE_SHAPE && !drawsInPass(dynamic_cast<KXShape*>(child), pass))
            continue;
        const KXTransform* transform = child->getTransform();
        if (transform)
            m_renderer->pushTransform(transform->getTransformationMatrix());
        switch (child->getType()) {
        case KXNode::KXNODETYPE_GROUP:
            drawGroup(dynamic_cast<KXGroup*>(child), selection, pass);
            break;
        case KXNode::KXNODETYPE_SHAPE:
            if (auto* shape = dynamic_cast<KXShape*>(child)) {
                // Testing small shapes costs more than drawing them.
                if (shape->getNumTriangles() <= CULL_TRIANGLE_THRESHOLD || isNodeVisible(shape)) {
                    drawShape(shape, 0, pass);
                    if (pass == KXPASS_TRANSPARENT)
                        drawSelectionDecorator(shape, selection);
                }
            }
            break;
        default:
            break;
        }
        if (transform)
            m_renderer->popTransform();
    }

    if (appearance)
        restoreAppearance();
}

bool KXCanvas::drawsInPass(KXShape* shape, unsigned pass) const
{
    if (!shape)
        return false;
    // The transparent passes also draw the selection decorators of opaque
    // shapes.
    if (pass != KXPASS_OPAQUE && pass != KXPASS_TRANSPARENT)
        return true;
    if (pass == KXPASS_TRANSPARENT && m_nodeDecorators)
        return true;
    return isTransparent(shape->getAppearance()) == (pass == KXPASS_TRANSPARENT ? 1 : 0);
}

int KXCanvas::isTransparent(KXAppearance* appearance)
{
    if (!appearance)
        return 0;
    const KXMaterial* material = appearance->getMaterial();
    if (material && material->getDiffuseColor().getA() != 1.0f)
        return 1;
    const KXShaderProgram* shader = appearance->getShaderProgram();
    if (shader && shader->getTransparent())
        return 1;
    return 0;
}

void KXCanvas::drawShape(KXShape* shape, int useSelectedAppearance, unsigned pass)
{
    if (!m_renderer || !shape)
        return;
    KXAppearance* appearance = shape->getAppearance();
    KXAppearance* selected = shape->getSelectedAppearance();
    // The shader is always the shape's own, also under the selected appearance.
    KXShaderProgram* shader = appearance ? appearance->getShaderProgram() : nullptr;
    KXGeometry* geometry = shape->getGeometry();
    KXGeometryGroup* geometryGroup = shape->getGeometryGroup();

    const int transparent = isTransparent(appearance);
    if ((pass == KXPASS_OPAQUE && transparent) || (pass == KXPASS_TRANSPARENT && !transparent))
        return;

    if (useSelectedAppearance && selected)
        applyAppearance(selected);
    else if (appearance)
        applyAppearance(appearance);
    // Out of memory (in a derived canvas's drawing) the shape is left out;
    // its appearance goes all the same.
    kxRunWithinMemory([&] {
        if (geometry)
            drawGeometry(geometry, shader);
        if (geometryGroup)
            drawGeometryGroup(geometryGroup, shader);
    });
    restoreAppearance();
}

void KXCanvas::applyAppearance(KXAppearance* appearance)
{
    KXRenderStateMgr* states = getStates();
    if (!states || !appearance)
        return;
    // Out of memory the stages bound so far stay, and restoreAppearance
    // takes them off as usual.
    kxRunWithinMemory([&] {
        if (KXMaterial* material = appearance->getMaterial())
            states->getMaterialState()->setMaterial(material);

        KXTextureState* textureState = states->getTextureState();
        for (int stage = 0; stage < KXAppearance::MAX_TEXTURES; ++stage) {
            KXTexture* texture = appearance->getTexture(stage);
            if (!texture)
                break;
            KXTextureAttributes* attributes = appearance->getTextureAttributes(stage);
            switch (texture->getTextureType()) {
            case KXTexture::KXTEXTURE_2D:
                if (auto* texture2D = dynamic_cast<KXTexture2D*>(texture))
                    textureState->setTexture2D(static_cast<unsigned>(stage), texture2D, attributes);
                break;
            case KXTexture::KXTEXTURE_3D:
                // A cube texture without an image of its own mirrors the scene's
                // sky box.
                if (auto* texture3D = dynamic_cast<KXTexture3D*>(texture))
                    textureState->setTexture3D(static_cast<unsigned>(stage),
                                               texture3D->getImage3D() ? texture3D : m_environmentTexture, attributes);
                break;
            default:
                break;
            }
        }

        if (KXPolygonAttributes* polygon = appearance->getPolygonAttributes())
            states->getZBufferState()->setDepthBias(polygon->getPolygonOffset(), polygon->getPolygonOffsetFactor());
    });
}

void KXCanvas::restoreAppearance()
{
    KXRenderStateMgr* states = getStates();
    if (!states)
        return;
    states->getTextureState()->reset();
    states->getZBufferState()->setDepthBias(0.0f, 0.0f);
}

void KXCanvas::drawGeometry(KXGeometry* geometry, KXShaderProgram* shader)
{
    if (!m_renderer || !geometry)
        return;
    // A geometry that runs out of memory (its tangent frame's colours, or a
    // renderer of another make) is left out of the frame.
    kxRunWithinMemory([&] {
        switch (geometry->getGeomType()) {
        case KXGeometry::KXGEOMTYPE_POLYLINE:
            if (auto* polyline = dynamic_cast<KXPolyline*>(geometry))
                m_renderer->drawPolyline(polyline);
            break;
        case KXGeometry::KXGEOMTYPE_TRIMESH:
            if (auto* mesh = dynamic_cast<KXTriMesh*>(geometry)) {
                // A two-sided mesh draws its far side (turned towards the viewer,
                // normals reversed) itself, together with its near side; drawn in
                // the far-side pass too, that side would be blended twice, once
                // lit from the wrong side.
                if (m_farSidePass && mesh->getSidedness() == KXTriMesh::KXSIDEDNESS_TWO)
                    break;
                if (KXTangentFrame* tangentFrame = mesh->getTangentFrame())
                    tangentFrame->updateTriMeshColor(m_firstLightPosition);
                if (shader && m_environmentTexture)
                    m_renderer->drawTriMeshWithEnvironment(shader, m_environmentTexture, mesh);
                else if (shader)
                    m_renderer->drawTriMeshWithShader(shader, mesh);
                else
                    m_renderer->drawTriMesh(mesh);
            }
            break;
        default:
            break;
        }
    });
}

void KXCanvas::drawGeometryGroup(KXGeometryGroup* group, KXShaderProgram* shader)
{
    if (!group)
        return;
    for (int i = 0; i < group->getNumGeometry(); ++i) {
        if (KXGeometry* geometry = group->getGeometry(i))
            drawGeometry(geometry, shader);
    }
}

void KXCanvas::drawEditorAids(KXCamera* camera, KXRoot* root, KXSelection* selection)
{
    KXRenderStateMgr* states = getStates();
    if (!states)
        return;
    KXPolyState* poly = states->getPolyState();
    KXBlendState* blend = states->getBlendState();
    KXZBufferState* zBuffer = states->getZBufferState();

    // The guide is blended over the finished scene ...
    setSolidFrontFaces(poly);
    enableAlphaBlending(blend);
    zBuffer->enableZWrite(0);
    if (m_controllerGuide)
        m_controllerGuide->drawGuide(*this, camera, selection);

    // ... the controllers are drawn on a cleared depth buffer, so the scene
    // never hides them.
    blend->enableBlending(0);
    zBuffer->clear();
    zBuffer->enableZWrite(1);
    if (m_nodeControllers)
        m_nodeControllers->drawControllers(*this, camera, root, selection, KXPASS_OPAQUE);
    zBuffer->enableZWrite(0);
    enableAlphaBlending(blend);
    if (m_nodeControllers)
        m_nodeControllers->drawControllers(*this, camera, root, selection, KXPASS_TRANSPARENT);

    zBuffer->reset();
    blend->reset();
    poly->reset();
}
