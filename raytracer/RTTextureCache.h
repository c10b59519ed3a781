#pragma once

#include "sceneapi/KXColor.h"

#include <array>
#include <map>
#include <memory>

class KXAppearance;
class KXImage2D;
class KXImage3D;
class KXMatrix2D;
class KXRawImage2D;

// Texture images decoded for one trace. Every image is decoded once, on the
// tracing thread while the scene is prepared, failures included: during the
// passes the cache is only read, by all threads at once and without a lock.
// An image that was never added reads as one that cannot be decoded.
class RTTextureCache
{
public:
    using Faces = std::array<std::unique_ptr<KXRawImage2D>, 6>;

    RTTextureCache();
    RTTextureCache(const RTTextureCache&) = delete;
    RTTextureCache& operator=(const RTTextureCache&) = delete;
    ~RTTextureCache();

    void clear();
    // The number of images added, decoded or not.
    size_t size() const { return m_images2D.size() + m_cubes.size(); }

    // Decodes an image unless it was added before.
    void add2D(const KXImage2D* image);
    // Decodes the six faces of a cube image held as six face files unless
    // it was added before; an image of another kind is not added.
    void addCube(const KXImage3D* image);
    // Adds the image of the texture shading reads (stage 0), if any.
    void addTextureOf(const KXAppearance* appearance);

    // The decoded image, or null when it cannot be decoded or was not added.
    const KXRawImage2D* find2D(const KXImage2D* image) const;
    // The six decoded faces, or null when a face cannot be decoded or the
    // image was not added.
    const Faces* findCube(const KXImage3D* image) const;

private:
    // Null entries are images that cannot be decoded.
    std::map<const KXImage2D*, std::unique_ptr<KXRawImage2D>> m_images2D;
    std::map<const KXImage3D*, std::unique_ptr<Faces>> m_cubes;
};

// Bilinear sample with wrapping at texture coordinates (u, v), after the
// texture matrix when one is given (u' = u·m0 + v·m3 + m6,
// v' = u·m1 + v·m4 + m7). (0, 0) is the top-left corner of the image.
KXColor rtSample2D(const KXRawImage2D& image, float u, float v, const KXMatrix2D* textureMatrix);
// The texel of a face at coordinates (s, t), wrapped; no filtering.
KXColor rtSampleTexel(const KXRawImage2D& image, float s, float t);
