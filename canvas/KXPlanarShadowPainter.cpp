#include "canvas/KXPlanarShadowPainter.h"

#include "canvas/KXShapeWalk.h"

#include "renderer/KXOutOfMemory.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXBounds.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXGeometry.h"
#include "sceneapi/KXGeometryGroup.h"
#include "sceneapi/KXGroup.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXPolyline.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXSceneUtils.h"
#include "sceneapi/KXShape.h"
#include "sceneapi/KXTransform.h"
#include "sceneapi/KXTriMesh.h"

#include <cmath>
#include <new>

namespace {

// Shorter plane normals are taken as no normal at all (the length below
// which KXVector::normalize gives up).
constexpr float MIN_NORMAL_LENGTH = 1e-7f;
// A light this close to the plane (a point light, in scene units) or this
// close to parallel to it (a directional light, the cosine of the angle to
// the plane's normal) casts no shadow that can be drawn.
constexpr float MIN_LIGHT_OFFSET = 1e-6f;
constexpr float SHADOW_SHININESS = 5.0f;

void setShadowMaterial(KXMaterial& material, const KXColor& color, float opacity)
{
    const KXColor dark(0.0f, 0.0f, 0.0f, opacity);
    material.set(dark, dark, dark, color, SHADOW_SHININESS);
}

} // namespace

KXPlanarShadowPainter::KXPlanarShadowPainter()
{
    updateMaterials();
    computeShadowMatrix();
}

KXPlanarShadowPainter::~KXPlanarShadowPainter() = default;

void KXPlanarShadowPainter::setLightType(KXSHADOWLIGHTTYPE type)
{
    m_lightType = type;
    computeShadowMatrix();
}

void KXPlanarShadowPainter::setLightDirection(const KXUnitVector& direction)
{
    m_light.set(direction.getX(), direction.getY(), direction.getZ());
    computeShadowMatrix();
}

void KXPlanarShadowPainter::setLightPosition(const KXPosition& position)
{
    m_light.set(position.getX(), position.getY(), position.getZ());
    computeShadowMatrix();
}

void KXPlanarShadowPainter::setShadowPlane(const KXPlane& plane)
{
    m_plane = plane;
    computeShadowMatrix();
}

void KXPlanarShadowPainter::setShadowColor(const KXColor& color)
{
    m_shadowColor = color;
    updateMaterials();
}

void KXPlanarShadowPainter::setShadowColorForTransparentObjects(const KXColor& color)
{
    m_transparentShadowColor = color;
    updateMaterials();
}

bool KXPlanarShadowPainter::updateMaterials()
{
    // The materials stand alone, not in appearances: an appearance that
    // cannot register with a new material for lack of memory keeps it
    // referenced and loses it.
    if (!m_shadowMaterial)
        m_shadowMaterial = new (std::nothrow) KXMaterial(nullptr);
    if (!m_transparentShadowMaterial)
        m_transparentShadowMaterial = new (std::nothrow) KXMaterial(nullptr);
    if (!m_shadowMaterial || !m_transparentShadowMaterial)
        return false;
    // Lit, the shadow takes its RGB from the emissive colour and its opacity
    // from the diffuse alpha.
    return kxRunWithinMemory([&] {
        setShadowMaterial(*m_shadowMaterial, m_shadowColor, SHADOW_OPACITY);
        setShadowMaterial(*m_transparentShadowMaterial, m_transparentShadowColor, TRANSPARENT_SHADOW_OPACITY);
    });
}

// With P the plane scaled to a unit normal and L the light as a homogeneous
// vector (w 0 for a direction, 1 for a position), the matrix k·I − Pᵀ·L,
// k = P·L, sends every point along L (or from L) onto the plane. Scaling P
// as a whole keeps the plane where it was given. Points between a point
// light and the plane come out with w = k − P·p, which has the sign of k:
// for k < 0 (a light above the default plane, whose normal points down)
// the whole shadow would be clipped away, so the matrix is negated, which
// leaves every projected point where it was.
void KXPlanarShadowPainter::computeShadowMatrix()
{
    const float length = m_plane.getNormal().length();
    m_matrixUsable = std::isfinite(length) && length >= MIN_NORMAL_LENGTH;
    if (m_matrixUsable)
        m_unitPlane.set(m_plane.getA() / length, m_plane.getB() / length, m_plane.getC() / length,
                        m_plane.getD() / length);
    else
        m_unitPlane = KXPlane(0.0f, 0.0f, 0.0f, 0.0f);

    const float p[4] = {m_unitPlane.getA(), m_unitPlane.getB(), m_unitPlane.getC(), m_unitPlane.getD()};
    const bool point = m_lightType != KXSHADOWLIGHT_DIRECTIONAL;
    const float l[4] = {m_light.getX(), m_light.getY(), m_light.getZ(), point ? 1.0f : 0.0f};
    const float k = p[0] * l[0] + p[1] * l[1] + p[2] * l[2] + p[3] * l[3];
    m_matrixUsable = m_matrixUsable && std::isfinite(k) && std::fabs(k) >= MIN_LIGHT_OFFSET;

    const float orientation = k < 0.0f ? -1.0f : 1.0f;
    for (int r = 0; r < 4; ++r)
        for (int s = 0; s < 4; ++s)
            m_shadowMatrix.set(r, s, orientation * ((r == s ? k : 0.0f) - p[r] * l[s]));

    // A point light's shadow is cast by what lies on its own side of the
    // plane; a directional light's by what lies on the side it comes from.
    m_lightSide = (point ? k : -k) < 0.0f ? -1.0f : 1.0f;
}

bool KXPlanarShadowPainter::seesShadowSide(const KXCamera& camera) const
{
    // The eye, not the view direction, decides: a camera above the floor
    // that looks a little upward still sees the floor below the horizon.
    return m_unitPlane.distance(camera.getEyePosition()) < 0.0f;
}

void KXPlanarShadowPainter::paint(const KXScene* scene)
{
    KXRoot* root = scene ? scene->getRoot() : nullptr;
    if (!root || !m_matrixUsable)
        return;
    if (const KXCamera* camera = root->getCamera())
        if (!seesShadowSide(*camera))
            return;
    drawShadows(root);
}

void KXPlanarShadowPainter::drawShadows(KXRoot* root)
{
    KXRenderStateMgr* states = m_renderer ? m_renderer->getRenderStateMgr() : nullptr;
    if (!states || !root->isEnabled())
        return;
    // Materials that found no memory before are made now.
    if ((!m_shadowMaterial || !m_transparentShadowMaterial) && !updateMaterials())
        return;
    KXPolyState* poly = states->getPolyState();
    KXStencilState* stencil = states->getStencilState();
    KXZBufferState* zBuffer = states->getZBufferState();
    KXBlendState* blend = states->getBlendState();
    KXLightState* light = states->getLightState();
    KXMaterialState* material = states->getMaterialState();

    m_renderer->pushTransform(m_shadowMatrix);
    poly->setShadeMode(KXPolyState::KXSHADEMODE_FLAT);
    poly->setFillMode(KXPolyState::KXFILLMODE_SOLID);
    // Flattened seen from the light's side, the faces turned to the light keep
    // their winding: they make the shadow, culled as the scene is culled.
    poly->setCullMode(KXPolyState::KXCULLMODE_CLOCKWISE);

    // A pixel is darkened only while its stencil is still 0; darkening it
    // increments it, so neither a second opaque shadow nor a transparent
    // shadow adds anything there.
    stencil->clear();
    stencil->enableStencil(1);
    stencil->setReference(0);
    stencil->setMask(KXStencilState::ALL_BITS);
    stencil->setWriteMask(KXStencilState::ALL_BITS);
    stencil->setStencilFunction(KXRenderState::KXCOMPARISON_EQUAL);
    stencil->setZFailOperation(KXStencilState::KXSTENCILOPERATION_KEEP);
    stencil->setFailOperation(KXStencilState::KXSTENCILOPERATION_KEEP);
    stencil->setPassOperation(KXStencilState::KXSTENCILOPERATION_INCREMENT);

    // Hidden behind the scene's objects, but writing no depth of their own.
    zBuffer->enableZBuffer(1);
    zBuffer->enableZWrite(0);

    blend->enableBlending(1);
    blend->setSourceBlend(KXBlendState::KXBLENDFACTOR_SRCALPHA);
    blend->setDestinationBlend(KXBlendState::KXBLENDFACTOR_INVSRCALPHA);
    blend->setBlendOperation(KXBlendState::KXBLENDOPERATION_ADD);

    light->enableLighting(1);
    // Vertex colours would replace the material's diffuse colour and with it
    // the shadow's opacity.
    material->enableColorVertex(0);

    m_renderer->pushTransform(root->getTransform()->getTransformationMatrix());
    // Out of memory the shadows drawn so far stay; the states and the
    // transform stack are put back all the same.
    kxRunWithinMemory([&] {
        drawPass(root, m_shadowMaterial.get(), PASS_OPAQUE);
        drawPass(root, m_transparentShadowMaterial.get(), PASS_TRANSPARENT);
    });

    poly->reset();
    blend->reset();
    stencil->reset();
    zBuffer->reset();
    light->reset();
    material->reset();
    // Colour vertex is on by default in Direct3D; material reset leaves it.
    material->enableColorVertex(1);
    m_renderer->popTransform();
    m_renderer->popTransform();
}

void KXPlanarShadowPainter::drawPass(KXRoot* root, KXMaterial* material, unsigned pass)
{
    KXRenderStateMgr* states = m_renderer->getRenderStateMgr();
    states->getMaterialState()->setMaterial(material);
    states->getTextureState()->reset();
    walk(root, pass);
}

void KXPlanarShadowPainter::walk(KXGroup* group, unsigned pass)
{
    auto cast = [this, pass](KXShape* shape) { drawShapeShadow(shape, pass); };
    kxshapewalk::forEachShape(group, m_renderer, cast);
}

// A shape casts a shadow when some corner of its box, placed in the world,
// lies above the ground and on the light's side of the plane: not a shape
// wholly below the ground, nor the ground itself, which lies under the
// default plane (its shadow would cover the floor and, through the stencil,
// swallow every other shadow).
bool KXPlanarShadowPainter::castsShadow(const KXShape& shape) const
{
    const KXBounds bounds = shape.getBounds();
    if (bounds.isEmpty())
        return false;
    const KXMatrix world = KXNodeUtils::getWorldMatrixAtNode(&shape);
    const KXPosition& lo = bounds.getLowerLeftPos();
    const KXPosition& hi = bounds.getUpperRightPos();
    bool aboveGround = false;
    bool onLightSide = false;
    for (int corner = 0; corner < 8; ++corner) {
        const KXPosition p = world.transform(KXPosition((corner & 1) ? hi.getX() : lo.getX(),
                                                        (corner & 2) ? hi.getY() : lo.getY(),
                                                        (corner & 4) ? hi.getZ() : lo.getZ()));
        aboveGround = aboveGround || p.getZ() >= 0.0f;
        onLightSide = onLightSide || m_unitPlane.distance(p) * m_lightSide > 0.0f;
    }
    return aboveGround && onLightSide;
}

void KXPlanarShadowPainter::drawShapeShadow(KXShape* shape, unsigned pass)
{
    if (!castsShadow(*shape))
        return;
    // Opaque shapes cast their shadows in the first pass, transparent ones
    // in the second, invisible ones none. A shape without a material casts
    // in both: the stencil keeps the second from adding anything.
    const KXAppearance* appearance = shape->getAppearance();
    if (const KXMaterial* material = appearance ? appearance->getMaterial() : nullptr) {
        const float alpha = material->getDiffuseColor().getA();
        if (alpha == 0.0f || (alpha == 1.0f) != (pass == PASS_OPAQUE))
            return;
    }
    kxshapewalk::forEachGeometry(shape, [this](KXGeometry* geometry) {
        if (geometry->getGeomType() == KXGeometry::KXGEOMTYPE_TRIMESH) {
            if (auto* mesh = dynamic_cast<KXTriMesh*>(geometry))
                m_renderer->drawTriMesh(mesh);
        } else if (geometry->getGeomType() == KXGeometry::KXGEOMTYPE_POLYLINE) {
            if (auto* polyline = dynamic_cast<KXPolyline*>(geometry))
                m_renderer->drawPolyline(polyline);
        }
    });
}
