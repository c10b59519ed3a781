#pragma once

#include "sceneapi/KXColor.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

// Base of the fogs of a scene: surfaces fade into the fog colour with their
// distance from the eye. New fogs are white.
class KXSCENE_API KXFog : public KXObject
{
public:
    enum KXFOGTYPE {
        KXFOGTYPE_LINEAR = 0,      // KXLinearFog
        KXFOGTYPE_EXPONENTIAL = 1, // KXExponentialFog
    };

    virtual KXFOGTYPE getFogType() const = 0;

    const KXColor& getColor() const { return m_color; }
    void setColor(const KXColor& color);

protected:
    KXFog() = default;
    explicit KXFog(KXScene* scene) : KXObject(scene) {}
    KXFog(const KXFog&) = default;

private:
    KXColor m_color{1.0f, 1.0f, 1.0f, 1.0f};
};

// Fog that grows linearly from nothing at the front distance to full at the
// back distance, both measured from the eye in scene units. New linear fogs
// run from 1 to 100. The distances are kept as set; a back distance not
// beyond the front one makes everything past the front distance fully fogged.
class KXSCENE_API KXLinearFog : public KXFog
{
public:
    KXLinearFog() = default;
    explicit KXLinearFog(KXScene* scene) : KXFog(scene) {}
    KXLinearFog(const KXLinearFog&) = default;

    KXFOGTYPE getFogType() const override { return KXFOGTYPE_LINEAR; }

    float getFrontDistance() const { return m_front; }
    float getBackDistance() const { return m_back; }
    // Non-finite distances are ignored.
    void setFrontDistance(float distance);
    void setBackDistance(float distance);

private:
    float m_front = 1.0f;
    float m_back = 100.0f;
};

// Fog whose clear part falls off exponentially with distance d from the eye:
// exp(-density·d), or exp(-(density·d)²) in squared mode (a non-zero mode).
// New exponential fogs have density 0.1 and the plain exponential mode 0.
class KXSCENE_API KXExponentialFog : public KXFog
{
public:
    KXExponentialFog() = default;
    explicit KXExponentialFog(KXScene* scene) : KXFog(scene) {}
    KXExponentialFog(const KXExponentialFog&) = default;

    KXFOGTYPE getFogType() const override { return KXFOGTYPE_EXPONENTIAL; }

    float getDensity() const { return m_density; }
    // A negative or non-finite density is ignored.
    void setDensity(float density);

    int getExpMode() const { return m_expMode; }
    void setExpMode(int mode);

private:
    float m_density = 0.1f;
    int m_expMode = 0;
};
