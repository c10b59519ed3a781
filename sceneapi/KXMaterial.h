#pragma once

#include "sceneapi/KXColor.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

// Surface colours for lighting: ambient, diffuse, specular and emissive
// colours and a specular exponent (shininess).
//
// A new material is a matt light grey: ambient (0.2, 0.2, 0.2, 1), diffuse
// (0.8, 0.8, 0.8, 1), specular and emissive (0, 0, 0, 1), shininess 0. The
// diffuse alpha is the material's opacity: a shape whose diffuse alpha is not
// exactly 1 is drawn with the transparent shapes. Shininess is the exponent
// of the specular highlight; 0 to 128 is the useful range (the ray tracer
// reflects the less the closer it is to 128). Nothing is clamped.
class KXSCENE_API KXMaterial : public KXObject
{
public:
    KXMaterial() = default;
    explicit KXMaterial(KXScene* scene) : KXObject(scene) {}
    KXMaterial(const KXMaterial& other) = default;

    const KXColor& getAmbientColor() const { return m_ambient; }
    const KXColor& getDiffuseColor() const { return m_diffuse; }
    const KXColor& getSpecularColor() const { return m_specular; }
    const KXColor& getEmissiveColor() const { return m_emissive; }
    float getShininess() const { return m_shininess; }

    // Each setter tells observers only when the value actually changes.
    void setAmbientColor(const KXColor& color);
    void setDiffuseColor(const KXColor& color);
    void setSpecularColor(const KXColor& color);
    void setEmissiveColor(const KXColor& color);
    void setShininess(float shininess);
    // Sets all five at once, with one notification.
    void set(const KXColor& ambient, const KXColor& diffuse, const KXColor& specular, const KXColor& emissive,
             float shininess);

private:
    KXColor m_ambient{0.2f, 0.2f, 0.2f, 1.0f};
    KXColor m_diffuse{0.8f, 0.8f, 0.8f, 1.0f};
    KXColor m_specular{0.0f, 0.0f, 0.0f, 1.0f};
    KXColor m_emissive{0.0f, 0.0f, 0.0f, 1.0f};
    float m_shininess = 0.0f;
};
