#include "widgets/KXLightDecorator.h"

#include "canvas/KXCanvas.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderer.h"
#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXBounds.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXCone.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXSelection.h"
#include "sceneapi/KXSphere.h"
#include "widgets/KXAidSize.h"
#include "widgets/KXNodeDecorators.h"

#include <cmath>

namespace {

// The slices of the markers' cones: a sixteenth of a half turn apart.
constexpr float CONE_ANGLE_STEP = 0.19634954f;
// The reach sphere of a point light.
constexpr int REACH_SLICES = 32;
constexpr int MARKER_SLICES = 16;

void colourMarker(KXShape& marker, const KXColor& ambient, const KXColor& diffuse, const KXColor& specular,
                  const KXColor& emissive)
{
    KXAppearance* appearance = marker.getAppearance();
    if (KXMaterial* material = appearance ? appearance->getMaterial() : nullptr)
        material->set(ambient, diffuse, specular, emissive, material->getShininess());
}

// A reach that can be drawn: finite, below the unlimited range lights are
// given by default.
bool isDrawableReach(float range)
{
    return std::isfinite(range) && range > 0.0f && range < KXPointLight::MAX_RANGE;
}

} // namespace

void KXLightDecorator::drawDecorators(KXCanvas& canvas, KXLightModel* lightModel, const KXBounds& sceneBounds,
                                      KXCamera* camera, KXSelection* selection)
{
    KXRenderer* renderer = canvas.getRenderer();
    KXRenderStateMgr* states = renderer ? renderer->getRenderStateMgr() : nullptr;
    if (!states || !lightModel || !lightModel->isFixed())
        return;
    const float radius = sceneBounds.getRadius();
    const KXPosition centre = sceneBounds.getCenter();
    const bool detail = canvas.getShowLightsDetail() != 0;
    KXBlendState* blend = states->getBlendState();
    KXZBufferState* zBuffer = states->getZBufferState();
    if (detail) {
        blend->enableBlending(1);
        blend->setSourceBlend(KXBlendState::KXBLENDFACTOR_SRCALPHA);
        blend->setDestinationBlend(KXBlendState::KXBLENDFACTOR_INVSRCALPHA);
        blend->setBlendOperation(KXBlendState::KXBLENDOPERATION_ADD);
    }
    if (m_lightModel)
        canvas.applyLightModel(camera, m_lightModel);

    // One size for every marker: the view's distance at the origin of the
    // scene as the camera places it.
    const KXPosition sceneOrigin = camera ? camera->getWorldMatrix().transform(KXPosition()) : KXPosition();
    const float size = KXAidSize::viewDistance(canvas, camera, sceneOrigin) * MARKER_SCALE;
    const KXColor none(0.0f, 0.0f, 0.0f, 0.0f);
    KXNodeDecorators* nodeDecorators = canvas.getNodeDecorators();

    for (int i = 0; i < lightModel->getNumLights(); ++i) {
        KXLight* light = lightModel->getLight(i);
        if (!light || !light->isEnabled())
            continue;
        KXShape* marker = nullptr;
        const KXLight::KXLIGHTTYPE type = light->getLightType();
        if (type == KXLight::KXLIGHTTYPE_DIRECTIONAL) {
            auto* directional = dynamic_cast<KXDirectionalLight*>(light);
            marker = getDecorator(KXLIGHTDECORATOR_DIRECTIONAL);
            auto* cone = marker && directional ? dynamic_cast<KXCone*>(marker->getGeometry()) : nullptr;
            if (cone) {
                // A plain vector: a unit vector's products stay of unit length.
                const KXVector direction(directional->getDirection());
                cone->setParameters(centre - direction * (radius * 3.0f), direction, size, size, size,
                                    CONE_ANGLE_STEP, 1, false, true);
            }
        } else if (type == KXLight::KXLIGHTTYPE_POINT) {
            auto* point = dynamic_cast<KXPointLight*>(light);
            marker = getDecorator(KXLIGHTDECORATOR_POINT);
            if (auto* sphere = marker && point ? dynamic_cast<KXSphere*>(marker->getGeometry()) : nullptr)
                sphere->setParameters(point->getPosition(), size, MARKER_SLICES, MARKER_SLICES, false);
        } else if (type == KXLight::KXLIGHTTYPE_SPOT) {
            auto* spot = dynamic_cast<KXSpotLight*>(light);
            marker = getDecorator(KXLIGHTDECORATOR_SPOT);
            if (auto* cone = marker && spot ? dynamic_cast<KXCone*>(marker->getGeometry()) : nullptr)
                cone->setParameters(spot->getPosition(), spot->getDirection(), 0.0f, size, size, CONE_ANGLE_STEP, 1,
                                    false, true);
        }
        if (!marker)
            continue;
        // Opaque in the light's colour, whatever the colour's alpha: the
        // marker is drawn with the opaque shapes.
        KXColor colour = light->getColor();
        colour.setA(1.0f);
        colourMarker(*marker, colour, colour, colour, none);
        marker->refresh();
        const KXBounds markerBounds = marker->getBounds();
        canvas.drawShape(marker, 0, KXCanvas::KXPASS_OPAQUE);

        if (detail && (type == KXLight::KXLIGHTTYPE_POINT || type == KXLight::KXLIGHTTYPE_SPOT))
            drawReach(canvas, *marker, *light, zBuffer);

        if (selection && nodeDecorators && selection->check(light))
            nodeDecorators->drawSelectionBox(canvas, markerBounds);
    }
    if (detail)
        blend->reset();
    states->getLightState()->reset();
}

void KXLightDecorator::drawReach(KXCanvas& canvas, KXShape& marker, const KXLight& light, KXZBufferState* zBuffer)
{
    const auto* point = dynamic_cast<const KXPointLight*>(&light);
    if (!point || !isDrawableReach(point->getRange()))
        return;
    const float range = point->getRange();
    if (const auto* spot = dynamic_cast<const KXSpotLight*>(&light)) {
        // The spread angle is the whole cone's: the reach widens by the
        // tangent of half of it. A cone of half a turn or more has no end.
        const float halfAngle = spot->getInnerSpreadAngle() * 0.5f;
        auto* cone = dynamic_cast<KXCone*>(marker.getGeometry());
        if (!cone || !(halfAngle < 1.5707f))
            return;
        cone->setParameters(spot->getPosition(), spot->getDirection(), 0.0f, range * std::tan(halfAngle), range,
                            CONE_ANGLE_STEP, 1, false, true);
    } else {
        auto* sphere = dynamic_cast<KXSphere*>(marker.getGeometry());
        if (!sphere)
            return;
        sphere->setParameters(point->getPosition(), range, REACH_SLICES, REACH_SLICES, false);
    }
    KXColor translucent = light.getColor();
    translucent.setA(REACH_OPACITY);
    const KXColor none(0.0f, 0.0f, 0.0f, 0.0f);
    colourMarker(marker, none, translucent, none, translucent);
    zBuffer->enableZWrite(0);
    canvas.drawShape(&marker, 0, KXCanvas::KXPASS_TRANSPARENT);
    zBuffer->enableZWrite(1);
}
