#include "sceneapi/KXTexture.h"

#include "sceneapi/KXImage.h"

KXTexture::KXTexture(const KXTexture& other)
    : KXObject(other), KXObserver(other), m_magFilter(other.m_magFilter), m_minFilter(other.m_minFilter),
      m_mipFilter(other.m_mipFilter)
{
    holdImage(other.m_image);
}

KXTexture::~KXTexture()
{
    holdImage(nullptr);
}

void KXTexture::setMagFilter(KXTEXTUREFILTER filter)
{
    if (filter == m_magFilter)
        return;
    m_magFilter = filter;
    changed();
}

void KXTexture::setMinFilter(KXTEXTUREFILTER filter)
{
    if (filter == m_minFilter)
        return;
    m_minFilter = filter;
    changed();
}

void KXTexture::setMipFilter(KXTEXTUREFILTER filter)
{
    if (filter == m_mipFilter)
        return;
    m_mipFilter = filter;
    changed();
}

void KXTexture::setImage(KXImage* image)
{
    if (image == m_image)
        return;
    holdImage(image);
    changed();
}

void KXTexture::holdImage(KXImage* image)
{
    // Stop listening before the old image may be deleted by the unref.
    if (m_image)
        m_image->unregisterObserver(this);
    KXHold(m_image, image);
    if (m_image)
        m_image->registerObserver(this);
}

void KXTexture::update(KXObservable* source, const KXEvent& event)
{
    if (source == m_image && event.getKind() == KXObjectEvent::KXOBJECTEVENT_CHANGED &&
        dynamic_cast<const KXObjectEvent*>(&event))
        changed();
}
