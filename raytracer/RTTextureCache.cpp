#include "raytracer/RTTextureCache.h"

#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXMatrix2D.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"

#include <cmath>

RTTextureCache::RTTextureCache() = default;
RTTextureCache::~RTTextureCache() = default;

void RTTextureCache::clear()
{
    m_images2D.clear();
    m_cubes.clear();
}

void RTTextureCache::add2D(const KXImage2D* image)
{
    if (!image || m_images2D.count(image) != 0)
        return;
    std::unique_ptr<KXRawImage2D> decoded(new KXRawImage2D);
    if (KXImageUtils::decode(image, decoded.get()) != 0 || !decoded->hasData())
        decoded.reset();
    m_images2D.emplace(image, std::move(decoded));
}

void RTTextureCache::addCube(const KXImage3D* image)
{
    if (!image || image->getImage3DType() != KXImage3D::KXIMAGE3D_CUBEFACES || m_cubes.count(image) != 0)
        return;
    std::unique_ptr<Faces> faces(new Faces);
    for (int f = 0; f < 6 && faces; ++f) {
        const KXImage2D file(image->getComponentData(f), image->getComponentSize(f), image->getComponentType(f));
        (*faces)[f].reset(new KXRawImage2D);
        if (KXImageUtils::decode(&file, (*faces)[f].get()) != 0 || !(*faces)[f]->hasData())
            faces.reset();
    }
    m_cubes.emplace(image, std::move(faces));
}

void RTTextureCache::addTextureOf(const KXAppearance* appearance)
{
    const KXTexture* texture = appearance ? appearance->getTexture(0) : nullptr;
    if (!texture)
        return;
    if (texture->getTextureType() == KXTexture::KXTEXTURE_2D) {
        if (const auto* texture2D = dynamic_cast<const KXTexture2D*>(texture))
            add2D(texture2D->getImage2D());
    } else if (texture->getTextureType() == KXTexture::KXTEXTURE_3D) {
        if (const auto* texture3D = dynamic_cast<const KXTexture3D*>(texture))
            addCube(texture3D->getImage3D());
    }
}

const KXRawImage2D* RTTextureCache::find2D(const KXImage2D* image) const
{
    const auto it = m_images2D.find(image);
    return it != m_images2D.end() ? it->second.get() : nullptr;
}

const RTTextureCache::Faces* RTTextureCache::findCube(const KXImage3D* image) const
{
    const auto it = m_cubes.find(image);
    return it != m_cubes.end() ? it->second.get() : nullptr;
}

namespace {

// Wraps a coordinate into 0..1 and scales it to a texel position; rounding
// can make u - floor(u) reach 1, and a non-finite coordinate reads as 0.
float wrapped(float u)
{
    if (!std::isfinite(u))
        return 0.0f;
    const float w = u - std::floor(u);
    return w < 1.0f ? w : 0.0f;
}

unsigned texelIndex(float position, unsigned size)
{
    const unsigned i = static_cast<unsigned>(position);
    return i < size ? i : 0;
}

} // namespace

KXColor rtSample2D(const KXRawImage2D& image, float u, float v, const KXMatrix2D* textureMatrix)
{
    if (textureMatrix) {
        const float* m = textureMatrix->getData();
        const float tu = u * m[0] + v * m[3] + m[6];
        const float tv = u * m[1] + v * m[4] + m[7];
        u = tu;
        v = tv;
    }
    const unsigned width = image.getWidth(), height = image.getHeight();
    const float x = wrapped(u) * static_cast<float>(width);
    const float y = wrapped(v) * static_cast<float>(height);
    const unsigned x0 = texelIndex(std::floor(x), width), y0 = texelIndex(std::floor(y), height);
    const unsigned x1 = x0 + 1 < width ? x0 + 1 : 0, y1 = y0 + 1 < height ? y0 + 1 : 0;
    const float fx = x - std::floor(x), fy = y - std::floor(y);
    return image.getColor(x0, y0) * ((1.0f - fx) * (1.0f - fy)) + image.getColor(x1, y0) * (fx * (1.0f - fy)) +
           image.getColor(x0, y1) * ((1.0f - fx) * fy) + image.getColor(x1, y1) * (fx * fy);
}

KXColor rtSampleTexel(const KXRawImage2D& image, float s, float t)
{
    const unsigned width = image.getWidth(), height = image.getHeight();
    return image.getColor(texelIndex(std::floor(wrapped(s) * static_cast<float>(width)), width),
                          texelIndex(std::floor(wrapped(t) * static_cast<float>(height)), height));
}
