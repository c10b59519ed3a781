#include "canvas/KXSoftShadowCanvas.h"

#include "canvas/KXShapeWalk.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXBounds.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXSceneUtils.h"
#include "sceneapi/KXShape.h"

bool KXSoftShadowCanvas::castsShadow(const KXShape& shape)
{
    const KXAppearance* appearance = shape.getAppearance();
    const KXMaterial* material = appearance ? appearance->getMaterial() : nullptr;
    if (material && material->getDiffuseColor().getA() == 0.0f)
        return false;
    KXBounds bounds = shape.getBounds();
    if (bounds.isEmpty())
        return false;
    // The whole box, turned with the shape: the upper corner of an upside-down
    // box is its lowest point.
    bounds.transform(KXNodeUtils::getWorldMatrixAtNode(&shape));
    return bounds.getUpperRightPos().getZ() > 0.0f;
}

KXBounds KXSoftShadowCanvas::getCasterBounds(KXGroup* group)
{
    KXBounds casters;
    casters.makeEmpty();
    if (!group)
        return casters;
    auto visit = [&](KXShape* shape) {
        if (!castsShadow(*shape))
            return;
        KXBounds bounds = shape->getBounds();
        bounds.transform(KXNodeUtils::getWorldMatrixAtNode(shape));
        casters.grow(bounds);
    };
    kxshapewalk::forEachShape(group, nullptr, visit);
    return casters;
}

KXSoftShadowCanvas::KXSoftShadowCanvas()
{
    // A silhouette has no highlights.
    enableSpecular(0);
}

KXSoftShadowCanvas::~KXSoftShadowCanvas() = default;

void KXSoftShadowCanvas::render(const KXScene* scene, const KXStoryBoard* storyBoard)
{
    // Without a light camera the scene would be drawn from wherever the
    // renderer's camera happens to be.
    if (m_lightCamera)
        KXCanvas::render(scene, storyBoard);
}

void KXSoftShadowCanvas::beginFrame()
{
}

void KXSoftShadowCanvas::endFrame()
{
}

void KXSoftShadowCanvas::clearDepth()
{
    KXRenderer* renderer = getRenderer();
    KXRenderStateMgr* states = renderer ? renderer->getRenderStateMgr() : nullptr;
    if (!states)
        return;
    KXZBufferState* zBuffer = states->getZBufferState();
    zBuffer->clear();
    zBuffer->enableZBuffer(1);
    zBuffer->enableZWrite(1);
}

void KXSoftShadowCanvas::drawBackground(KXCamera*, KXRoot*)
{
    KXRenderer* renderer = getRenderer();
    if (!renderer)
        return;
    renderer->clear(m_backgroundColor);
    if (m_shadowAppearance)
        KXCanvas::applyAppearance(m_shadowAppearance);
}

void KXSoftShadowCanvas::applyCamera(KXCamera*)
{
    KXRenderer* renderer = getRenderer();
    if (!renderer || !m_lightCamera)
        return;
    renderer->setCamera(m_lightCamera);
    // Shapes off the main camera's screen still cast shadows into view.
    cullWith(*m_lightCamera);
}

void KXSoftShadowCanvas::drawScene(KXRoot* root, KXSelection* selection)
{
    KXRenderer* renderer = getRenderer();
    KXRenderStateMgr* states = renderer ? renderer->getRenderStateMgr() : nullptr;
    if (!states)
        return;
    // The scene's fog would tint the silhouette by its distance from the light.
    states->getFogState()->reset();
    // A pixel is written only while its stencil value is 0, and the write
    // counts it up: overlapping shapes darken it once.
    KXStencilState* stencil = states->getStencilState();
    stencil->clear();
    stencil->enableStencil(1);
    stencil->setReference(0);
    stencil->setMask(0xFFFFFFFFu);
    stencil->setWriteMask(0xFFFFFFFFu);
    stencil->setStencilFunction(KXRenderState::KXCOMPARISON_EQUAL);
    stencil->setZFailOperation(KXStencilState::KXSTENCILOPERATION_KEEP);
    stencil->setFailOperation(KXStencilState::KXSTENCILOPERATION_KEEP);
    stencil->setPassOperation(KXStencilState::KXSTENCILOPERATION_INCREMENT);
    KXCanvas::drawScene(root, selection);
    stencil->reset();
}

void KXSoftShadowCanvas::drawGroup(KXGroup* group, KXSelection* selection, unsigned pass)
{
    // Nested groups put the pass's appearance on again; the groups' own
    // appearances are not used.
    if (pass == KXPASS_OPAQUE && m_shadowAppearance)
        KXCanvas::applyAppearance(m_shadowAppearance);
    else if (pass == KXPASS_TRANSPARENT && m_transparentShadowAppearance)
        KXCanvas::applyAppearance(m_transparentShadowAppearance);
    KXCanvas::drawGroup(group, selection, pass);
}

void KXSoftShadowCanvas::drawShape(KXShape* shape, int useSelectedAppearance, unsigned pass)
{
    if (!shape || !castsShadow(*shape))
        return;
    const KXAppearance* appearance = shape->getAppearance();
    if (const KXMaterial* material = appearance ? appearance->getMaterial() : nullptr) {
        // Opaque shapes cast in the opaque pass, transparent ones in the
        // transparent pass.
        const bool opaque = material->getDiffuseColor().getA() == 1.0f;
        if ((opaque && pass == KXPASS_TRANSPARENT) || (!opaque && pass == KXPASS_OPAQUE))
            return;
    }
    KXCanvas::drawShape(shape, useSelectedAppearance, pass);
}

void KXSoftShadowCanvas::applyAppearance(KXAppearance*)
{
}

void KXSoftShadowCanvas::restoreAppearance()
{
}

void KXSoftShadowCanvas::drawGeometry(KXGeometry* geometry, KXShaderProgram*)
{
    KXCanvas::drawGeometry(geometry, nullptr);
}

void KXSoftShadowCanvas::drawGeometryGroup(KXGeometryGroup* group, KXShaderProgram*)
{
    KXCanvas::drawGeometryGroup(group, nullptr);
}
