#pragma once

#include "sceneapi/KXColor.h"

#include <array>
#include <map>
#include <memory>

class KXImage2D;
class KXImage3D;
class KXMatrix2D;
class KXRawImage2D;

// Texture images decoded for one trace, shared by all threads. Looking up
// and inserting runs inside one critical section for 2D and cube images
// alike; decoded images are never changed afterwards, so sampling needs no
// lock. A failed decode is not remembered: the next lookup tries again.
class RTTextureCache
{
public:
    using Faces = std::array<std::unique_ptr<KXRawImage2D>, 6>;

    RTTextureCache();
    RTTextureCache(const RTTextureCache&) = delete;
    RTTextureCache& operator=(const RTTextureCache&) = delete;
    ~RTTextureCache();

    void clear();
    size_t size() const { return m_images2D.size() + m_cubes.size(); }

    // The decoded image, or null when it cannot be decoded.
    const KXRawImage2D* find2D(const KXImage2D* image);
    // The six decoded faces of a cube image held as six face files, or null
    // when the image is of another kind or a face cannot be decoded.
    const Faces* findCube(const KXImage3D* image);

private:
    std::map<const KXImage2D*, std::unique_ptr<KXRawImage2D>> m_images2D;
    std::map<const KXImage3D*, Faces> m_cubes;
};

// Bilinear sample with wrapping at texture coordinates (u, v), after the
// texture matrix when one is given (u' = u·m0 + v·m3 + m6,
// v' = u·m1 + v·m4 + m7). (0, 0) is the top-left corner of the image.
KXColor rtSample2D(const KXRawImage2D& image, float u, float v, const KXMatrix2D* textureMatrix);
// The texel of a face at coordinates (s, t), wrapped; no filtering.
KXColor rtSampleTexel(const KXRawImage2D& image, float s, float t);
