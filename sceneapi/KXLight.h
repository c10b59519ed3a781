#pragma once

#include "sceneapi/KXColor.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXVector.h"

// Base of the lights of a light model. Every light has a colour, used for both
// its diffuse and its specular contribution, and may cast shadows (only the
// ray tracer honours that). New lights are white and cast no shadows.
//
// The kinds are told apart by getLightType and by run-time type tests; a spot
// light is also a point light.
class KXSCENE_API KXLight : public KXObject
{
public:
    enum KXLIGHTTYPE {
        KXLIGHTTYPE_AMBIENT = 0,     // KXAmbientLight
        KXLIGHTTYPE_DIRECTIONAL = 1, // KXDirectionalLight
        KXLIGHTTYPE_POINT = 2,       // KXPointLight
        KXLIGHTTYPE_SPOT = 3,        // KXSpotLight
    };

    virtual KXLIGHTTYPE getLightType() const = 0;

    const KXColor& getColor() const { return m_color; }
    void setColor(const KXColor& color);

    bool getCastShadows() const { return m_castShadows; }
    void setCastShadows(bool castShadows);

protected:
    KXLight() = default;
    explicit KXLight(KXScene* scene) : KXObject(scene) {}
    KXLight(const KXLight&) = default;

private:
    KXColor m_color{1.0f, 1.0f, 1.0f, 1.0f};
    bool m_castShadows = false;
};

// Light that reaches every surface equally from all sides: the ambient light
// of a light model. Only its colour matters.
class KXAmbientLight : public KXLight
{
public:
    KXAmbientLight() = default;
    explicit KXAmbientLight(KXScene* scene) : KXLight(scene) {}
    KXAmbientLight(const KXAmbientLight&) = default;

    KXLIGHTTYPE getLightType() const override { return KXLIGHTTYPE_AMBIENT; }
};

// Light from infinitely far away: parallel rays along one direction. New
// directional lights shine straight down, along (0, 0, -1).
class KXSCENE_API KXDirectionalLight : public KXLight
{
public:
    KXDirectionalLight() = default;
    explicit KXDirectionalLight(KXScene* scene) : KXLight(scene) {}
    KXDirectionalLight(const KXDirectionalLight&) = default;

    KXLIGHTTYPE getLightType() const override { return KXLIGHTTYPE_DIRECTIONAL; }

    // The direction the light travels in.
    const KXUnitVector& getDirection() const { return m_direction; }
    // A vector too short to give a direction is ignored.
    void setDirection(const KXVector& direction);

private:
    KXUnitVector m_direction{0.0f, 0.0f, -1.0f};
};

// Light from a point, shining equally in all directions.
//
// Its intensity at distance d is divided by a0 + a1·d + a2·d², with the three
// attenuation coefficients held as the x, y and z of a KXVector. Surfaces
// farther than the range get no light from it. The radius is the size of the
// light for soft shadows; 0 makes it a true point with hard shadows.
//
// New point lights sit at the origin with attenuation (1, 0, 0) (no fall-off),
// the unlimited range MAX_RANGE and radius 0.
class KXSCENE_API KXPointLight : public KXLight
{
public:
    // The largest range a light can have: about the square root of the
    // largest float, which is what Direct3D accepts as a light range.
    static constexpr float MAX_RANGE = 1.8e19f;

    KXPointLight() = default;
    explicit KXPointLight(KXScene* scene) : KXLight(scene) {}
    KXPointLight(const KXPointLight&) = default;

    KXLIGHTTYPE getLightType() const override { return KXLIGHTTYPE_POINT; }

    const KXPosition& getPosition() const { return m_position; }
    void setPosition(const KXPosition& position);

    // (a0, a1, a2): constant, linear and quadratic attenuation.
    const KXVector& getAttenuation() const { return m_attenuation; }
    // Ignored unless all three are finite and non-negative and at least one
    // is positive, since the light would otherwise grow with distance or
    // divide by zero.
    void setAttenuation(const KXVector& attenuation);
    void setAttenuation(float a0, float a1, float a2) { setAttenuation(KXVector(a0, a1, a2)); }

    float getRange() const { return m_range; }
    // A negative or NaN range is ignored; larger ranges, infinity included,
    // are cut to MAX_RANGE.
    void setRange(float range);

    float getRadius() const { return m_radius; }
    // A negative or non-finite radius is ignored.
    void setRadius(float radius);

private:
    KXPosition m_position;
    KXVector m_attenuation{1.0f, 0.0f, 0.0f};
    float m_range = MAX_RANGE;
    float m_radius = 0.0f;
};

// A point light limited to a cone around a direction. Inside the inner cone
// the light is full; between the inner and the outer cone it falls off, with
// the concentration as the exponent of the fall-off (1 is linear); outside the
// outer cone there is none. Both spread angles are full cone angles in
// radians, from 0 to pi; the inner one should not exceed the outer one.
//
// New spot lights point straight down, along (0, 0, -1), with an inner cone
// of 30 and an outer cone of 45 degrees and concentration 1.
class KXSCENE_API KXSpotLight : public KXPointLight
{
public:
    static constexpr float DEFAULT_INNER_SPREAD_ANGLE = 0.5235988f; // 30 degrees
    static constexpr float DEFAULT_OUTER_SPREAD_ANGLE = 0.7853982f; // 45 degrees

    KXSpotLight() = default;
    explicit KXSpotLight(KXScene* scene) : KXPointLight(scene) {}
    KXSpotLight(const KXSpotLight&) = default;

    KXLIGHTTYPE getLightType() const override { return KXLIGHTTYPE_SPOT; }

    // The axis of the cone, the direction the light shines in.
    const KXUnitVector& getDirection() const { return m_direction; }
    // A vector too short to give a direction is ignored.
    void setDirection(const KXVector& direction);

    float getInnerSpreadAngle() const { return m_innerAngle; }
    float getOuterSpreadAngle() const { return m_outerAngle; }
    // Angles are clamped to 0..pi; a non-finite angle is ignored. The two are
    // stored as given relative to each other, so that they can be set one
    // after the other in any order; setSpreadAngles sets both and orders them.
    void setInnerSpreadAngle(float angle);
    void setOuterSpreadAngle(float angle);
    void setSpreadAngles(float inner, float outer);

    float getConcentration() const { return m_concentration; }
    // A negative or non-finite concentration is ignored.
    void setConcentration(float concentration);

private:
    KXUnitVector m_direction{0.0f, 0.0f, -1.0f};
    float m_innerAngle = DEFAULT_INNER_SPREAD_ANGLE;
    float m_outerAngle = DEFAULT_OUTER_SPREAD_ANGLE;
    float m_concentration = 1.0f;
};
