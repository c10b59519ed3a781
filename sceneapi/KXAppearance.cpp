#include "sceneapi/KXAppearance.h"

#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXPolygonAttributes.h"
#include "sceneapi/KXShaderProgram.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTextureAttributes.h"

#include <array>
#include <cstddef>

namespace {

bool isStage(int stage)
{
    return stage >= 0 && stage < KXAppearance::MAX_TEXTURES;
}

} // namespace

KXAppearance::~KXAppearance()
{
    // Empty every slot first: a part held in two slots is let go of once
    // neither holds it. A destructor must not allocate (it may run when
    // memory has run out), hence an array of every slot.
    std::array<KXObject*, 3 + 2 * MAX_TEXTURES> slots{};
    size_t held = 0;
    auto take = [&](auto*& slot) {
        if (slot)
            slots[held++] = slot;
        slot = nullptr;
    };
    take(m_material);
    for (int i = 0; i < MAX_TEXTURES; ++i) {
        take(m_textures[i]);
        take(m_textureAttributes[i]);
    }
    take(m_polygonAttributes);
    take(m_shaderProgram);
    for (size_t i = 0; i < held; ++i)
        slots[i]->unregisterObserver(this);
    for (size_t i = 0; i < held; ++i)
        slots[i]->unref();
}

template <class T>
void KXAppearance::replacePart(T*& slot, T* part)
{
    if (slot == part)
        return;
    T* old = slot;
    if (part) {
        part->ref();
        // Without memory to register with the part, the appearance does not
        // take it: a part made for it (by a create operation) goes with the
        // reference taken here instead of being lost.
        try {
            part->registerObserver(this);
        } catch (...) {
            part->unref();
            throw;
        }
    }
    slot = part;
    if (old && !holdsPart(old))
        old->unregisterObserver(this);
    // Observers hear of the change while the old part is still alive.
    changed();
    if (old)
        old->unref();
}

bool KXAppearance::holdsPart(const KXObservable* part) const
{
    if (part == m_material || part == m_polygonAttributes || part == m_shaderProgram)
        return true;
    for (int i = 0; i < MAX_TEXTURES; ++i) {
        if (part == m_textures[i] || part == m_textureAttributes[i])
            return true;
    }
    return false;
}

void KXAppearance::setMaterial(KXMaterial* material)
{
    replacePart(m_material, material);
}

KXMaterial* KXAppearance::createMaterial()
{
    KXMaterial* material = new KXMaterial(getScene());
    replacePart(m_material, material);
    return material;
}

KXTexture* KXAppearance::getTexture(int stage) const
{
    return isStage(stage) ? m_textures[stage] : nullptr;
}

void KXAppearance::setTexture(int stage, KXTexture* texture)
{
    if (isStage(stage))
        replacePart(m_textures[stage], texture);
}

KXTexture* KXAppearance::createTexture(int type, int stage)
{
    if (!isStage(stage))
        return nullptr;
    KXTexture* texture = nullptr;
    switch (type) {
    case KXTexture::KXTEXTURE_2D:
        texture = new KXTexture2D(getScene());
        break;
    case KXTexture::KXTEXTURE_3D:
        texture = new KXTexture3D(getScene());
        break;
    default:
        return nullptr;
    }
    replacePart(m_textures[stage], texture);
    return texture;
}

int KXAppearance::getNumTextures() const
{
    int n = 0;
    while (n < MAX_TEXTURES && m_textures[n])
        ++n;
    return n;
}

KXTextureAttributes* KXAppearance::getTextureAttributes(int stage) const
{
    return isStage(stage) ? m_textureAttributes[stage] : nullptr;
}

void KXAppearance::setTextureAttributes(int stage, KXTextureAttributes* attributes)
{
    if (isStage(stage))
        replacePart(m_textureAttributes[stage], attributes);
}

KXTextureAttributes* KXAppearance::createTextureAttributes(int stage)
{
    if (!isStage(stage))
        return nullptr;
    KXTextureAttributes* attributes = new KXTextureAttributes(getScene());
    replacePart(m_textureAttributes[stage], attributes);
    return attributes;
}

void KXAppearance::setPolygonAttributes(KXPolygonAttributes* attributes)
{
    replacePart(m_polygonAttributes, attributes);
}

KXPolygonAttributes* KXAppearance::createPolygonAttributes()
{
    KXPolygonAttributes* attributes = new KXPolygonAttributes(getScene());
    replacePart(m_polygonAttributes, attributes);
    return attributes;
}

void KXAppearance::setShaderProgram(KXShaderProgram* program)
{
    replacePart(m_shaderProgram, program);
}

void KXAppearance::update(KXObservable* source, const KXEvent& event)
{
    if (event.getKind() == KXObjectEvent::KXOBJECTEVENT_CHANGED && dynamic_cast<const KXObjectEvent*>(&event) &&
        holdsPart(source))
        changed();
}
