#include "sceneapi/KXShaderProgram.h"

#include "sceneapi/KXImage.h"
#include "sceneapi/KXParameter.h"

#include <algorithm>
#include <cwchar>

KXShaderProgram::KXShaderProgram(const KXShaderProgram& other)
    : KXObject(other), KXObserver(other), m_source(other.m_source), m_transparent(other.m_transparent)
{
    for (const NamedImage& entry : other.m_images) {
        attachImage(entry.second);
        m_images.push_back(entry);
    }
    m_parameters.reserve(other.m_parameters.size());
    for (const KXParameter* parameter : other.m_parameters)
        m_parameters.push_back(parameter->clone());
}

KXShaderProgram::~KXShaderProgram()
{
    // The implementation goes first: it was built from the images and may
    // still refer to them.
    m_impl.discard();
    for (KXParameter* parameter : m_parameters)
        delete parameter;
    std::vector<NamedImage> images;
    images.swap(m_images);
    for (const NamedImage& entry : images)
        entry.second->unregisterObserver(this);
    for (const NamedImage& entry : images)
        entry.second->unref();
}

int KXShaderProgram::setSource(const char* source, unsigned size)
{
    if (!source && size > 0)
        return -3;
    setSource(size > 0 ? std::string(source, size) : std::string());
    return 0;
}

void KXShaderProgram::setSource(std::string source)
{
    if (source == m_source)
        return;
    m_source = std::move(source);
    effectChanged();
}

void KXShaderProgram::setTransparent(bool transparent)
{
    if (transparent == m_transparent)
        return;
    m_transparent = transparent;
    changed();
}

std::vector<KXShaderProgram::NamedImage>::iterator KXShaderProgram::findImage(const wchar_t* name)
{
    if (!name)
        return m_images.end();
    return std::find_if(m_images.begin(), m_images.end(),
                        [name](const NamedImage& entry) { return entry.first == name; });
}

KXImage* KXShaderProgram::getImage(const wchar_t* name) const
{
    auto it = const_cast<KXShaderProgram*>(this)->findImage(name);
    return it == m_images.end() ? nullptr : it->second;
}

void KXShaderProgram::setImage(const wchar_t* name, KXImage* image)
{
    if (!name)
        return;
    if (!image) {
        removeImage(name);
        return;
    }
    auto it = findImage(name);
    if (it == m_images.end()) {
        attachImage(image);
        m_images.emplace_back(name, image);
        effectChanged();
        return;
    }
    if (it->second == image)
        return;
    KXImage* old = it->second;
    attachImage(image);
    it->second = image;
    // The implementation built with the old image goes before the image may.
    effectChanged();
    detachImage(old);
}

bool KXShaderProgram::removeImage(const wchar_t* name)
{
    auto it = findImage(name);
    if (it == m_images.end())
        return false;
    KXImage* old = it->second;
    m_images.erase(it);
    if (!holdsImage(old))
        old->unregisterObserver(this);
    effectChanged();
    old->unref();
    return true;
}

void KXShaderProgram::removeAllImages()
{
    if (m_images.empty())
        return;
    std::vector<NamedImage> images;
    images.swap(m_images);
    for (const NamedImage& entry : images)
        entry.second->unregisterObserver(this);
    effectChanged();
    for (const NamedImage& entry : images)
        entry.second->unref();
}

const wchar_t* KXShaderProgram::getImageName(int i) const
{
    if (i < 0 || i >= static_cast<int>(m_images.size()))
        return nullptr;
    return m_images[i].first.c_str();
}

KXParameter* KXShaderProgram::getParameter(int i) const
{
    if (i < 0 || i >= static_cast<int>(m_parameters.size()))
        return nullptr;
    return m_parameters[i];
}

KXParameter* KXShaderProgram::findParameter(const wchar_t* name) const
{
    if (!name || !*name)
        return nullptr;
    for (KXParameter* parameter : m_parameters) {
        if (parameter->getName() == name)
            return parameter;
    }
    return nullptr;
}

void KXShaderProgram::addParameter(KXParameter* parameter)
{
    if (!parameter)
        return;
    // A parameter already in the list would be deleted twice.
    if (std::find(m_parameters.begin(), m_parameters.end(), parameter) != m_parameters.end())
        return;
    m_parameters.push_back(parameter);
}

void KXShaderProgram::removeAllParameters()
{
    std::vector<KXParameter*> parameters;
    parameters.swap(m_parameters);
    for (KXParameter* parameter : parameters)
        delete parameter;
}

void KXShaderProgram::attachImage(KXImage* image)
{
    if (!holdsImage(image))
        image->registerObserver(this);
    image->ref();
}

void KXShaderProgram::detachImage(KXImage* image)
{
    if (!holdsImage(image))
        image->unregisterObserver(this);
    image->unref();
}

bool KXShaderProgram::holdsImage(const KXObservable* image) const
{
    return std::any_of(m_images.begin(), m_images.end(),
                       [image](const NamedImage& entry) { return entry.second == image; });
}

void KXShaderProgram::effectChanged()
{
    m_impl.discard();
    changed();
}

void KXShaderProgram::update(KXObservable* source, const KXEvent& event)
{
    // New image data reach the effect only through a new compilation.
    if (event.getKind() == KXObjectEvent::KXOBJECTEVENT_CHANGED && dynamic_cast<const KXObjectEvent*>(&event) &&
        holdsImage(source))
        effectChanged();
}
