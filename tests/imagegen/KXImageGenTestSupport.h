#pragma once

// Pictures of the showcase scene made by image generators, and ways to
// compare them.

#include "KXDXTestSupport.h"

#include "canvas/KXCanvas.h"

#include "imagegen/KXImgGen.h"
#include "imagegen/KXStatusMgr.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXShowcaseScene.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace kximagegentest {

// A generator whose device draws tiles of at most `tile` pixels (its
// texture limits are lowered while it is made); 0 keeps the device's own.
// Multisampling can be taken away from the device.
inline std::unique_ptr<KXImgGen> makeGenerator(float maxWidth, float maxHeight, int antialias, unsigned tile = 0,
                                               bool multisampling = true)
{
    kxdxtest::CapsOverride caps;
    if (tile) {
        caps.caps().MaxTextureWidth = tile;
        caps.caps().MaxTextureHeight = tile;
    }
    if (!multisampling)
        caps.removeFormatSupport(SWD3D9_NO_MULTISAMPLE);
    if (tile || !multisampling)
        caps.apply();
    auto generator = std::make_unique<KXImgGen>(KXDimension2D(maxWidth, maxHeight), antialias);
    if (generator->initialize() != KXRESULT_OK)
        return nullptr;
    return generator;
}

inline KXDimension2D size(unsigned width, unsigned height)
{
    return KXDimension2D(static_cast<float>(width), static_cast<float>(height));
}

// The picture as raw pixels (format 2); empty when the conversion fails.
inline KXRawImage2D picture(KXImgGen& generator, const KXScene& scene, unsigned width, unsigned height,
                            int* result = nullptr)
{
    KXRawImage2D image(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    const int converted = generator.convert(&scene, &image, KXPosition2D(0, 0), size(width, height), nullptr, nullptr);
    if (result)
        *result = converted;
    return image;
}

// The picture drawn once, without the generator: an off-screen renderer
// made by the factory, on a device without multisampling, its target of
// the picture's size.
inline KXRawImage2D singlePass(const KXScene& scene, unsigned width, unsigned height)
{
    KXRawImage2D image(0, 0, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    kxdxtest::TestWindow window(64, 64);
    auto device = kxdxtest::makeDevice(window.get(), nullptr, false);
    auto renderer = kxdxtest::createRenderer(KXRenderer::KXRENDERER_OFFSCREEN);
    auto* secondary = dynamic_cast<KXSecondaryRenderer*>(renderer.get());
    if (!device || !renderer || !secondary || renderer->initialize(device.get()) != KXRESULT_OK)
        return image;
    renderer->setSize(width, height);
    {
        KXCanvas canvas;
        canvas.setRenderer(renderer.get());
        secondary->bindTarget();
        canvas.render(&scene, nullptr);
        secondary->restoreTarget();
    }
    if (renderer->saveToRawImage(&image) != KXRESULT_OK || image.convertToFormat(KXRawImage2D::KXRAWIMAGE2D_RGBA) != 0)
        image.releaseData();
    renderer->uninitialize();
    return image;
}

struct Difference {
    int largest = 0;      // largest difference of a channel
    double share = 0.0;   // share of pixels with a channel more than `tolerance` apart
    double mean = 0.0;    // mean difference of a channel
};

inline Difference compare(const KXRawImage2D& a, const KXRawImage2D& b, int tolerance)
{
    Difference difference;
    if (a.getWidth() != b.getWidth() || a.getHeight() != b.getHeight() || !a.hasData() || !b.hasData()) {
        difference.largest = 256;
        difference.share = 1.0;
        difference.mean = 256.0;
        return difference;
    }
    size_t apart = 0;
    double total = 0.0;
    for (unsigned y = 0; y < a.getHeight(); ++y) {
        const unsigned char* p = a.getRow(y);
        const unsigned char* q = b.getRow(y);
        for (unsigned x = 0; x < a.getWidth(); ++x) {
            int worst = 0;
            for (int c = 0; c < 4; ++c) {
                const int apartBy = std::abs(int(p[4 * x + c]) - int(q[4 * x + c]));
                worst = std::max(worst, apartBy);
                total += apartBy;
            }
            difference.largest = std::max(difference.largest, worst);
            apart += worst > tolerance ? 1 : 0;
        }
    }
    difference.share = double(apart) / (double(a.getWidth()) * a.getHeight());
    difference.mean = total / (4.0 * a.getWidth() * a.getHeight());
    return difference;
}

// Counts tiles and can stop the conversion before a given tile.
class CountingStatus : public IKXStatusMgr
{
public:
    explicit CountingStatus(unsigned stopBefore = ~0u) : m_stopBefore(stopBefore) {}
    void setProgress(unsigned done, unsigned total) override
    {
        lastDone = done;
        lastTotal = total;
        ++reports;
    }
    bool isCancelled() override { return ++asked > m_stopBefore; }

    unsigned lastDone = 0, lastTotal = 0, reports = 0, asked = 0;

private:
    unsigned m_stopBefore;
};

} // namespace kximagegentest
