#include "sceneapi/KXMaterial.h"

namespace {

// Stores value in field and reports whether it differed.
template <class T>
bool assign(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

void KXMaterial::setAmbientColor(const KXColor& color)
{
    if (assign(m_ambient, color))
        changed();
}

void KXMaterial::setDiffuseColor(const KXColor& color)
{
    if (assign(m_diffuse, color))
        changed();
}

void KXMaterial::setSpecularColor(const KXColor& color)
{
    if (assign(m_specular, color))
        changed();
}

void KXMaterial::setEmissiveColor(const KXColor& color)
{
    if (assign(m_emissive, color))
        changed();
}

void KXMaterial::setShininess(float shininess)
{
    if (assign(m_shininess, shininess))
        changed();
}

void KXMaterial::set(const KXColor& ambient, const KXColor& diffuse, const KXColor& specular,
                     const KXColor& emissive, float shininess)
{
    // Every field is assigned, whatever the earlier ones gave.
    bool different = assign(m_ambient, ambient);
    different = assign(m_diffuse, diffuse) || different;
    different = assign(m_specular, specular) || different;
    different = assign(m_emissive, emissive) || different;
    different = assign(m_shininess, shininess) || different;
    if (different)
        changed();
}
