#include "canvas/KXPlanarReflectionPainter.h"

#include "canvas/KXShapeWalk.h"

#include "canvas/KXFloorSheet.h"
#include "renderer/KXDevice.h"
#include "renderer/KXOutOfMemory.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXBackground.h"
#include "sceneapi/KXBounds.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXFog.h"
#include "sceneapi/KXGeometryGroup.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXPrimitivesFactory.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXSceneUtils.h"
#include "sceneapi/KXShaderProgram.h"
#include "sceneapi/KXShape.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTriMesh.h"

namespace {

// Ordinary "over" blending by the source alpha.
void enableAlphaBlending(KXBlendState* blend)
{
    blend->enableBlending(1);
    blend->setSourceBlend(KXBlendState::KXBLENDFACTOR_SRCALPHA);
    blend->setDestinationBlend(KXBlendState::KXBLENDFACTOR_INVSRCALPHA);
    blend->setBlendOperation(KXBlendState::KXBLENDOPERATION_ADD);
}

// Blending that keeps the target's colour: only depth and stencil change.
void keepColour(KXBlendState* blend)
{
    blend->enableBlending(1);
    blend->setSourceBlend(KXBlendState::KXBLENDFACTOR_ZERO);
    blend->setDestinationBlend(KXBlendState::KXBLENDFACTOR_ONE);
    blend->setBlendOperation(KXBlendState::KXBLENDOPERATION_ADD);
}

// The reflection in a plane whose normal has unit length.
KXMatrix reflectionIn(const KXPlane& unit)
{
    const float a = unit.getA(), b = unit.getB(), c = unit.getC(), d = unit.getD();
    return KXMatrix(1.0f - 2.0f * a * a, -2.0f * a * b, -2.0f * a * c, 0.0f,
                    -2.0f * a * b, 1.0f - 2.0f * b * b, -2.0f * b * c, 0.0f,
                    -2.0f * a * c, -2.0f * b * c, 1.0f - 2.0f * c * c, 0.0f,
                    -2.0f * a * d, -2.0f * b * d, -2.0f * c * d, 1.0f);
}

// The floor spans a hundred scene radii and lies a hair above the ground:
// cut into cells of a few radii, the triangles the device clips at the near
// plane keep the depth precision that tells the floor from the ground.
constexpr int FLOOR_DIVISIONS = 32;

// Scenes smaller than this (a point, or nothing) take the fog's density as
// it is.
constexpr float MIN_FOG_RADIUS = 1e-6f;

// Pass numbers of the walks: opaque shapes only, transparent shapes only.
constexpr unsigned PASS_OPAQUE = 0;
constexpr unsigned PASS_TRANSPARENT = 1;

// Transparent for the mirror: a material whose diffuse alpha is not exactly
// 1 (a transparent shader does not count here).
bool hasTransparentMaterial(const KXAppearance* appearance)
{
    const KXMaterial* material = appearance ? appearance->getMaterial() : nullptr;
    return material && material->getDiffuseColor().getA() != 1.0f;
}

// Whether the shape, placed in the scene, lies wholly below the ground z = 0.
bool isBelowGround(const KXShape* shape)
{
    KXBounds bounds = shape->getBounds();
    if (bounds.isEmpty())
        return false;
    // The whole box: a turned shape's upper-right corner need not be its top.
    bounds.transform(KXNodeUtils::getWorldMatrixAtNode(shape));
    return bounds.getUpperRightPos().getZ() < 0.0f;
}

} // namespace

KXPlanarReflectionPainter::KXPlanarReflectionPainter()
{
    updatePlane();
    // Without memory the parts are made at a later paint.
    makeMissingParts();
}

KXPlanarReflectionPainter::~KXPlanarReflectionPainter()
{
    if (m_floorAppearance)
        m_floorAppearance->unref();
    if (m_fog)
        m_fog->unref();
    if (m_sceneFog)
        m_sceneFog->unref();
    // The factory lets go of the floor sheet.
    m_primitives.reset();
}

bool KXPlanarReflectionPainter::makeMissingParts()
{
    kxRunWithinMemory([&] {
        if (!m_primitives)
            m_primitives = std::make_unique<KXPrimitivesFactory>();
        if (!m_floorSheet && m_planeUsable) {
            m_floorSheet = KXFloorSheet::create(*m_primitives, m_unitPlane.getNormal(), FLOOR_DIVISIONS);
            m_floorSheetNormal = m_unitPlane.getNormal();
        }
        if (!m_floorAppearance) {
            auto* appearance = new KXAppearance();
            appearance->ref();
            m_floorAppearance = appearance;
        }
        if (!m_floorAppearance->getMaterial()) {
            // Black and wholly transparent: the floor only marks the stencil.
            KXMaterial* material = m_floorAppearance->createMaterial();
            const KXColor none(0.0f, 0.0f, 0.0f, 0.0f);
            material->set(none, none, none, none, 5.0f);
        }
        if (!m_fog) {
            auto* fog = new KXExponentialFog();
            fog->ref();
            m_fog = fog;
            fog->setColor(KXColor(0.5f, 0.5f, 0.5f, 0.0f));
            fog->setDensity(0.2f);
            fog->setExpMode(1);
        }
        if (!m_sceneFog) {
            auto* fog = new KXExponentialFog();
            fog->ref();
            m_sceneFog = fog;
        }
    });
    return m_primitives && (m_floorSheet || !m_planeUsable) && m_floorAppearance && m_fog && m_sceneFog &&
           m_floorAppearance->getMaterial();
}

void KXPlanarReflectionPainter::setReflectionPlane(const KXPlane& plane)
{
    m_plane = plane;
    updatePlane();
}

void KXPlanarReflectionPainter::updatePlane()
{
    m_planeUsable = KXFloorSheet::toUnitPlane(m_plane, m_unitPlane);
    m_reflectionMatrix = m_planeUsable ? reflectionIn(m_unitPlane) : KXMatrix();
    // The floor square lies in the mirror's plane, turned with it: a mirror
    // image drawn on a floor elsewhere would float off its objects.
    if (m_floorSheet && (!m_planeUsable || m_floorSheetNormal != m_unitPlane.getNormal())) {
        m_primitives->destroyGeometryPrimitive(m_floorSheet);
        m_floorSheet = nullptr;
    }
    if (m_planeUsable && !m_floorSheet && m_primitives) {
        kxRunWithinMemory([&] {
            m_floorSheet = KXFloorSheet::create(*m_primitives, m_unitPlane.getNormal(), FLOOR_DIVISIONS);
            m_floorSheetNormal = m_unitPlane.getNormal();
        });
    }
    if (m_planeUsable)
        m_floorMatrix = KXFloorSheet::placement(m_unitPlane, FLOOR_SCALE * m_sceneRadius, m_sceneCentre);
}

void KXPlanarReflectionPainter::setSceneBounds(const KXBounds& bounds)
{
    m_sceneRadius = bounds.getRadius();
    m_sceneCentre = bounds.getCenter();
    if (m_planeUsable)
        m_floorMatrix = KXFloorSheet::placement(m_unitPlane, FLOOR_SCALE * m_sceneRadius, m_sceneCentre);
}

bool KXPlanarReflectionPainter::isEyeOnViewerSide(const KXCamera* camera) const
{
    // The eye is given where the camera's world matrix has put the scene.
    KXPosition eye = camera->getEyePosition();
    KXMatrix toScene;
    if (camera->getWorldMatrix().getInverse(toScene))
        eye = toScene.transform(eye);
    return m_unitPlane.distance(eye) < 0.0f;
}

bool KXPlanarReflectionPainter::hasStencil() const
{
    // A 16-bit depth buffer comes without a stencil buffer: the mirror image,
    // kept to the floor by the stencil, would cover the whole frame.
    KXDevice* device = m_renderer->getDevice();
    KXAdapterFormat settings;
    return !(device && device->getSettings(settings) == KXRESULT_OK &&
             settings.depthStencil == KXAdapterFormat::KXDEPTHSTENCIL_D16);
}

void KXPlanarReflectionPainter::paint(const KXScene* scene)
{
    KXRoot* root = scene ? scene->getRoot() : nullptr;
    KXRenderStateMgr* states = m_renderer ? m_renderer->getRenderStateMgr() : nullptr;
    if (!root || !states || !root->isEnabled())
        return;
    if (!makeMissingParts() || !m_planeUsable || !m_floorSheet)
        return;
    KXCamera* camera = root->getCamera();
    // Seen from behind the plane there is nothing to mirror.
    if (camera && !isEyeOnViewerSide(camera))
        return;
    if (!hasStencil())
        return;

    markFloor(*states);
    setupReflectedLights(camera, root);
    KXFogState* fog = states->getFogState();
    fog->enableFog(1);
    fog->setVertexFog(1);
    fog->setRangeFog(1);
    // The fog's density is given per scene radius: the mirror fades alike
    // in a scene of a metre and in one of a kilometre, framed alike.
    m_sceneFog->setColor(m_fog->getColor());
    m_sceneFog->setExpMode(m_fog->getExpMode());
    m_sceneFog->setDensity(m_sceneRadius > MIN_FOG_RADIUS ? m_fog->getDensity() / m_sceneRadius : m_fog->getDensity());
    fog->setFog(m_sceneFog);
    auto* environment = dynamic_cast<KXSkyBox*>(root->getReflectionEnvironment());
    m_environmentTexture = environment ? environment->getTexture3D() : nullptr;
    drawReflectedScene(*states, root);
    fog->reset();
    states->getLightState()->reset();
    drawSceneDepth(*states, root);
}

void KXPlanarReflectionPainter::markFloor(KXRenderStateMgr& states)
{
    KXStencilState* stencil = states.getStencilState();
    KXZBufferState* zBuffer = states.getZBufferState();
    KXBlendState* blend = states.getBlendState();

    m_renderer->pushTransform(m_floorMatrix);
    // Every floor pixel the scene does not hide gets 1; the stencil test
    // stays on for the mirror image. The depth test is turned round: the
    // visible floor fails it, which marks the stencil and leaves the pixel
    // alone at once, and only where the scene hides the floor is the floor
    // blended, with the factors ZERO and ONE (to no effect). The stencil ends
    // up as with an ordinary depth test, for a fraction of the work, and a
    // draw that keeps the colour costs the device no shading.
    stencil->clear();
    stencil->enableStencil(1);
    stencil->setStencilFunction(KXRenderState::KXCOMPARISON_ALWAYS);
    stencil->setReference(1);
    stencil->setZFailOperation(KXStencilState::KXSTENCILOPERATION_REPLACE);
    zBuffer->enableZBuffer(1);
    zBuffer->enableZWrite(0);
    zBuffer->setZFunction(KXRenderState::KXCOMPARISON_GREATER);
    keepColour(blend);
    // Lit, the transparent floor material gives alpha 0: the target's alpha
    // stays too.
    states.getLightState()->enableLighting(1);
    states.getMaterialState()->setMaterial(m_floorAppearance->getMaterial());
    drawGeometry(m_floorSheet, nullptr);
    stencil->setZFailOperation(KXStencilState::KXSTENCILOPERATION_KEEP);
    zBuffer->reset();
    blend->reset();
    m_renderer->popTransform();
}

void KXPlanarReflectionPainter::setupReflectedLights(KXCamera* camera, KXRoot* root)
{
    KXRenderStateMgr* states = m_renderer ? m_renderer->getRenderStateMgr() : nullptr;
    if (!camera || !root || !states)
        return;
    KXLightState* lightState = states->getLightState();
    lightState->enableNormalization(1);
    KXLightModel* lightModel = root->getLightModel();
    if (!lightModel)
        return;

    // The lights are placed as the canvas places them for the scene: the
    // lights of a model that is not fixed are in camera space (looking down
    // +z), those of a fixed model in scene space.
    const KXMatrix axisFlip(1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                            1.0f);
    const bool withWorld = m_renderer->getReserved() != 0;
    const KXMatrix& world = camera->getWorldMatrix();
    KXMatrix lightMatrix;
    if (!lightModel->isFixed()) {
        lightMatrix = withWorld ? world * camera->getViewMatrix() : camera->getViewMatrix();
        lightMatrix = lightMatrix * axisFlip;
        lightMatrix.invert();
    } else if (!withWorld) {
        lightMatrix = world;
    }
    // Then mirrored where the scene is mirrored: the reflection acts before
    // the camera's world matrix, which the device's world space includes.
    KXMatrix mirror = m_reflectionMatrix;
    KXMatrix fromWorld;
    if (!withWorld && world.getInverse(fromWorld))
        mirror = fromWorld * m_reflectionMatrix * world;
    lightMatrix = lightMatrix * mirror;

    KXLight* ambient = lightModel->getAmbientLight();
    if (ambient && ambient->isEnabled())
        lightState->setAmbientLight(ambient);
    for (int i = 0; i < lightModel->getNumLights(); ++i) {
        KXLight* light = lightModel->getLight(i);
        if (light && light->isEnabled())
            lightState->setLight(static_cast<unsigned>(i), light, lightMatrix);
    }
}

void KXPlanarReflectionPainter::drawReflectedScene(KXRenderStateMgr& states, KXRoot* root)
{
    KXPolyState* poly = states.getPolyState();
    KXBlendState* blend = states.getBlendState();
    KXStencilState* stencil = states.getStencilState();
    KXZBufferState* zBuffer = states.getZBufferState();

    m_renderer->pushTransform(m_reflectionMatrix);
    // The reflection turns the winding over: the mirrored front faces are
    // clockwise on screen.
    poly->setShadeMode(KXPolyState::KXSHADEMODE_GOURAUD);
    poly->setFillMode(KXPolyState::KXFILLMODE_SOLID);
    poly->setCullMode(KXPolyState::KXCULLMODE_COUNTERCLOCKWISE);
    blend->enableBlending(0);
    // Only on the marked floor pixels, behind the floor: the scene's depth
    // goes, drawSceneDepth lays it again afterwards.
    stencil->setStencilFunction(KXRenderState::KXCOMPARISON_EQUAL);
    stencil->setPassOperation(KXStencilState::KXSTENCILOPERATION_KEEP);
    zBuffer->clear();
    zBuffer->enableZBuffer(1);
    zBuffer->enableZWrite(1);
    m_renderer->pushTransform(root->getTransform()->getTransformationMatrix());
    walk(states, root, PASS_OPAQUE);
    enableAlphaBlending(blend);
    zBuffer->enableZWrite(0);
    walk(states, root, PASS_TRANSPARENT);
    poly->reset();
    blend->reset();
    stencil->reset();
    zBuffer->reset();
    m_renderer->popTransform();
    m_renderer->popTransform();
}

void KXPlanarReflectionPainter::drawSceneDepth(KXRenderStateMgr& states, KXRoot* root)
{
    KXPolyState* poly = states.getPolyState();
    KXBlendState* blend = states.getBlendState();
    KXZBufferState* zBuffer = states.getZBufferState();
    KXMaterialState* material = states.getMaterialState();

    // The depths of the scene as the canvas drew it (its opaque shapes and
    // the near sides of its transparent ones), the colours untouched: the
    // mirror pass cleared them, and what is drawn later must still be hidden
    // by the scene's objects. The transparent floor material gives alpha 0,
    // so that the target's alpha stays as well.
    zBuffer->clear();
    zBuffer->enableZBuffer(1);
    zBuffer->enableZWrite(1);
    keepColour(blend);
    states.getLightState()->enableLighting(1);
    material->setMaterial(m_floorAppearance->getMaterial());
    poly->setShadeMode(KXPolyState::KXSHADEMODE_FLAT);
    poly->setFillMode(KXPolyState::KXFILLMODE_SOLID);
    poly->setCullMode(KXPolyState::KXCULLMODE_CLOCKWISE);
    m_renderer->pushTransform(root->getTransform()->getTransformationMatrix());
    walkDepth(root);
    m_renderer->popTransform();
    poly->reset();
    blend->reset();
    material->reset();
    zBuffer->reset();
}

void KXPlanarReflectionPainter::walk(KXRenderStateMgr& states, KXGroup* group, unsigned pass)
{
    auto mirror = [this, &states, pass](KXShape* shape) { drawShape(states, shape, pass); };
    kxshapewalk::forEachShape(group, m_renderer, mirror);
}

void KXPlanarReflectionPainter::drawShape(KXRenderStateMgr& states, KXShape* shape, unsigned pass)
{
    // Shapes below the ground are not mirrored.
    if (isBelowGround(shape))
        return;
    KXAppearance* appearance = shape->getAppearance();
    const bool transparent = hasTransparentMaterial(appearance);
    if (transparent != (pass == PASS_TRANSPARENT))
        return;

    KXShaderProgram* shader = nullptr;
    KXTextureState* textures = states.getTextureState();
    if (appearance) {
        shader = appearance->getShaderProgram();
        if (KXMaterial* material = appearance->getMaterial())
            states.getMaterialState()->setMaterial(material);
        for (int stage = 0; stage < KXAppearance::MAX_TEXTURES; ++stage) {
            KXTexture* texture = appearance->getTexture(stage);
            if (!texture)
                break;
            KXTextureAttributes* attributes = appearance->getTextureAttributes(stage);
            const auto unit = static_cast<unsigned>(stage);
            switch (texture->getTextureType()) {
            case KXTexture::KXTEXTURE_2D:
                if (auto* texture2D = dynamic_cast<KXTexture2D*>(texture))
                    textures->setTexture2D(unit, texture2D, attributes);
                break;
            case KXTexture::KXTEXTURE_3D:
                // A cube texture without an image of its own mirrors the sky box.
                if (auto* texture3D = dynamic_cast<KXTexture3D*>(texture))
                    textures->setTexture3D(unit, texture3D->getImage3D() ? texture3D : m_environmentTexture,
                                           attributes);
                break;
            default:
                break;
            }
        }
    }
    kxshapewalk::forEachGeometry(shape, [this, shader](KXGeometry* geometry) { drawGeometry(geometry, shader); });
    if (appearance)
        textures->reset();
}

void KXPlanarReflectionPainter::walkDepth(KXGroup* group)
{
    auto depth = [this](KXShape* shape) {
        kxshapewalk::forEachGeometry(shape, [this](KXGeometry* geometry) { drawGeometry(geometry, nullptr); });
    };
    kxshapewalk::forEachShape(group, m_renderer, depth);
}

void KXPlanarReflectionPainter::drawGeometry(KXGeometry* geometry, KXShaderProgram* shader)
{
    if (!geometry)
        return;
    // A geometry the renderer has no memory for is left out of the mirror.
    kxRunWithinMemory([&] {
        switch (geometry->getGeomType()) {
        case KXGeometry::KXGEOMTYPE_TRIMESH:
            if (auto* mesh = dynamic_cast<KXTriMesh*>(geometry)) {
                if (shader && m_environmentTexture)
                    m_renderer->drawTriMeshWithEnvironment(shader, m_environmentTexture, mesh);
                else if (shader)
                    m_renderer->drawTriMeshWithShader(shader, mesh);
                else
                    m_renderer->drawTriMesh(mesh);
            }
            break;
        case KXGeometry::KXGEOMTYPE_POLYLINE:
            if (auto* polyline = dynamic_cast<KXPolyline*>(geometry))
                m_renderer->drawPolyline(polyline);
            break;
        default:
            break;
        }
    });
}
