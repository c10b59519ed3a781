#include "imagegen/KXImgGen.h"

#include "canvas/KXCanvas.h"
#include "imagegen/KXCPUImageMaker.h"
#include "imagegen/KXGPUImageMaker.h"
#include "imagegen/KXSimpleImageMaker.h"
#include "renderer/KXAdapterFormatUtils.h"
#include "renderer/KXRenderSurface.h"
#include "renderer/KXRenderer.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXImageResizer.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXRawImage2D.h"

#include <windows.h>

#include <cmath>
#include <new>

// What a conversion rendered: the maker holding the picture, and whether
// that picture is twice the size asked for.
struct KXImgGen::Rendered {
    KXImageMaker* maker = nullptr;
    bool doubled = false;
};

namespace {

constexpr int HIDDEN_WINDOW_SIDE = 64;

bool isPixelCount(float value)
{
    return std::isfinite(value) && value >= 0.0f;
}

KXPosition2D doubled(const KXPosition2D& position)
{
    return KXPosition2D(2.0f * position.getX(), 2.0f * position.getY());
}

KXDimension2D doubled(const KXDimension2D& dimension)
{
    return KXDimension2D(2.0f * dimension.getWidth(), 2.0f * dimension.getHeight());
}

// Scales the doubled picture of a maker down to the size asked for, every
// 2 × 2 block averaged into a pixel.
int halveInto(KXImageMaker& maker, const KXDimension2D& dimension, KXRawImage2D& result)
{
    KXRawImage2D picture;
    const int read = maker.saveToRawImage(&picture);
    if (read != KXRESULT_OK)
        return read;
    return KXImageResizer::resize(picture, static_cast<int>(dimension.getWidth()),
                                  static_cast<int>(dimension.getHeight()), result) == 0
               ? KXRESULT_OK
               : KXRESULT_FAILED;
}

} // namespace

KXImgGen::KXImgGen(const KXDimension2D& maximumSize, int antialias)
    : m_factory(new (std::nothrow) KXDXRendererFactory()), m_maxWidth(maximumSize.getWidth()),
      m_maxHeight(maximumSize.getHeight())
{
    if (m_factory) {
        m_device = m_factory->createDevice();
        m_renderer = m_factory->createRenderer(KXRenderer::KXRENDERER_OFFSCREEN);
    }
    m_canvas.reset(new (std::nothrow) KXCanvas());
    m_fallback.reset(new (std::nothrow) KXCPUImageMaker(this));
    if (antialias == 1)
        m_flags |= KXIMGGEN_ANTIALIAS;
}

KXImgGen::~KXImgGen()
{
    m_primary.reset();
    m_fallback.reset();
    // The canvas goes before the renderer it draws through, the renderer
    // before the device it draws with.
    m_canvas.reset();
    if (m_factory) {
        if (m_renderer)
            m_renderer->uninitialize();
        m_factory->destroyRenderer(m_renderer);
        if (m_device)
            m_device->release();
        m_factory->destroyDevice(m_device);
    }
    m_factory.reset();
    if (m_window)
        DestroyWindow(static_cast<HWND>(m_window));
}

int KXImgGen::initialize()
{
    if (m_window || !m_factory || !m_device || !m_renderer || !m_canvas || !m_fallback)
        return KXRESULT_FAILED;
    if (!isPixelCount(m_maxWidth) || !isPixelCount(m_maxHeight))
        return KXRESULT_FAILED;
    // Never shown (no WS_VISIBLE); its client area gives the device's first
    // back buffer a size, which conversions then change.
    m_window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, HIDDEN_WINDOW_SIDE, HIDDEN_WINDOW_SIDE, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (!m_window)
        return KXRESULT_FAILED;

    KXAdapterFormat settings;
    if (KXAdapterFormatUtils::getBestFormat(m_device->getCapabilities().adapterFormats,
                                            KXAdapterFormat::KXWINDOWMODE_WINDOWED, settings) != KXRESULT_OK)
        return KXRESULT_FAILED;
    // Multisampling costs every picture; it is asked for only when
    // anti-aliasing is.
    if (!(m_flags & KXIMGGEN_ANTIALIAS))
        settings.multisampling = KXAdapterFormat::KXMULTISAMPLING_NONE;
    if (m_device->initialize(m_window, settings) != KXRESULT_OK || m_renderer->initialize(m_device) != KXRESULT_OK)
        return KXRESULT_FAILED;
    // The settings now are those the device was created with, after its
    // own fallbacks.
    m_settings = settings;
    if (settings.multisampling & (KXAdapterFormat::KXMULTISAMPLING_NONMASKABLE | 4u))
        m_flags |= KXIMGGEN_MULTISAMPLING;
    m_targetWidth = 0;
    m_targetHeight = 0;

    m_maxTileSize = probeTileSize();
    if (m_maxTileSize == 0)
        return KXRESULT_FAILED;
    chooseMaker();
    return m_primary ? KXRESULT_OK : KXRESULT_FAILED;
}

unsigned KXImgGen::probeTileSize()
{
    // A tile is drawn into a render target of its size: the largest the
    // device makes (within its texture limits and its memory) is the tile.
    for (unsigned side = TILE_PROBE_START; side >= MIN_TILE_SIZE; side /= 2) {
        KXRenderSurface* surface = m_factory->createRenderSurface();
        if (!surface)
            return 0;
        const bool made = surface->initialize(m_device) == KXRESULT_OK && surface->create(side, side, 1) == KXRESULT_OK;
        surface->release();
        m_factory->destroyRenderSurface(surface);
        if (made)
            return side;
    }
    return 0;
}

KXImageMaker* KXImgGen::createMaker(KXImageMaker::KXMAKERTYPE type)
{
    switch (type) {
    case KXImageMaker::KXMAKER_SIMPLE:
        return new (std::nothrow) KXSimpleImageMaker(this);
    case KXImageMaker::KXMAKER_CPU:
        return new (std::nothrow) KXCPUImageMaker(this);
    case KXImageMaker::KXMAKER_GPU:
        return new (std::nothrow) KXGPUImageMaker(this);
    }
    return nullptr;
}

void KXImgGen::chooseMaker()
{
    // In 64 bits and double precision: 2w × 2h overflows 32 bits from
    // w·h = 2^30 on.
    const uint64_t w = static_cast<uint64_t>(std::lround(m_maxWidth));
    const uint64_t h = static_cast<uint64_t>(std::lround(m_maxHeight));
    const uint64_t tile = m_maxTileSize;
    KXImageMaker::KXMAKERTYPE type;
    m_supersample = 0;
    unsigned downsampling = 1;
    if ((m_flags & KXIMGGEN_ANTIALIAS) && !(m_flags & KXIMGGEN_MULTISAMPLING)) {
        const double tiles = static_cast<double>(2 * w) * static_cast<double>(2 * h) / static_cast<double>(tile * tile);
        if (tiles > MAX_SUPERSAMPLED_TILES) {
            // Too large to hold at twice its size: the main-memory maker
            // averages each doubled tile as it comes.
            type = KXImageMaker::KXMAKER_CPU;
            downsampling = 2;
        } else {
            type = (2 * w > tile || 2 * h > tile) ? KXImageMaker::KXMAKER_GPU : KXImageMaker::KXMAKER_SIMPLE;
            m_supersample = 1;
        }
    } else if (w * h > MAX_DEVICE_PICTURE_PIXELS) {
        type = KXImageMaker::KXMAKER_CPU;
    } else {
        type = (w > tile || h > tile) ? KXImageMaker::KXMAKER_GPU : KXImageMaker::KXMAKER_SIMPLE;
    }
    m_primary.reset(createMaker(type));
    if (auto* cpu = dynamic_cast<KXCPUImageMaker*>(m_primary.get()))
        cpu->setDownsampling(downsampling);
    // The fallback keeps anti-aliasing the same way when the device has no
    // multisampling.
    m_fallback->setDownsampling(
        (m_flags & KXIMGGEN_ANTIALIAS) && !(m_flags & KXIMGGEN_MULTISAMPLING) ? 2 : 1);
}

int KXImgGen::useTargetSize(unsigned width, unsigned height)
{
    auto* offScreen = dynamic_cast<KXOffScreenRenderer*>(m_renderer);
    if (!offScreen || !m_device)
        return KXRESULT_FAILED;
    KXRenderSurface* target = offScreen->getRenderSurface();
    if (target && m_targetWidth == width && m_targetHeight == height &&
        m_device->getStatus() == KXDevice::KXDEVICESTATUS_USABLE)
        return KXRESULT_OK;
    m_renderer->setSize(width, height);
    target = offScreen->getRenderSurface();
    if (!target || target->getWidth() != width || target->getHeight() != height ||
        m_device->getStatus() != KXDevice::KXDEVICESTATUS_USABLE) {
        m_targetWidth = 0;
        m_targetHeight = 0;
        return KXRESULT_FAILED;
    }
    m_targetWidth = width;
    m_targetHeight = height;
    return KXRESULT_OK;
}

int KXImgGen::checkConversion(const KXScene* scene, const void* output, const KXPosition2D& position,
                              const KXDimension2D& dimension) const
{
    if (!m_primary || !scene || !output)
        return KXRESULT_NULLARGUMENT;
    const float width = dimension.getWidth(), height = dimension.getHeight();
    if (!isPixelCount(width) || !isPixelCount(height) || width < 1.0f || height < 1.0f ||
        !isPixelCount(position.getX()) || !isPixelCount(position.getY()))
        return KXRESULT_NULLARGUMENT;
    const double pixels = std::floor(static_cast<double>(width)) * std::floor(static_cast<double>(height));
    // Tile destinations are position + tile offsets in 32 bits.
    const double limit = 2147483647.0;
    if (pixels > static_cast<double>(MAX_PICTURE_PIXELS) || position.getX() + width > limit / 2 ||
        position.getY() + height > limit / 2)
        return KXRESULT_NULLARGUMENT;
    return KXRESULT_OK;
}

int KXImgGen::render(const KXScene* scene, const void* output, const KXPosition2D& position,
                     const KXDimension2D& dimension, IKXStatusMgr* status, KXCanvas* canvas, Rendered& rendered)
{
    const int checked = checkConversion(scene, output, position, dimension);
    if (checked != KXRESULT_OK)
        return checked;
    if (!canvas)
        canvas = m_canvas.get();
    // Makers that supersample by tiles are given the doubled picture too.
    auto doublesPicture = [](KXImageMaker* maker) {
        auto* cpu = dynamic_cast<KXCPUImageMaker*>(maker);
        return cpu && cpu->getDownsampling() == 2;
    };
    const bool doubledByPrimary = m_supersample || doublesPicture(m_primary.get());
    int result = m_primary->render(doubledByPrimary ? doubled(position) : position,
                                   doubledByPrimary ? doubled(dimension) : dimension, scene, canvas, status);
    rendered.maker = m_primary.get();
    rendered.doubled = m_supersample != 0;
    if (result != KXRESULT_OK && result != KXRESULT_CANCELLED) {
        const bool doubledByFallback = doublesPicture(m_fallback.get());
        result = m_fallback->render(doubledByFallback ? doubled(position) : position,
                                    doubledByFallback ? doubled(dimension) : dimension, scene, canvas, status);
        rendered.maker = m_fallback.get();
        rendered.doubled = false;
    }
    m_lastMaker = rendered.maker;
    return result;
}

int KXImgGen::convert(const KXScene* scene, KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType,
                      const KXPosition2D& position, const KXDimension2D& dimension, IKXStatusMgr* status,
                      KXCanvas* canvas)
{
    Rendered rendered;
    const int result = render(scene, image, position, dimension, status, canvas, rendered);
    if (result < 0 || !rendered.maker)
        return result;
    if (!rendered.doubled)
        return rendered.maker->saveToImage(image, fileType);
    KXRawImage2D picture;
    const int halved = halveInto(*rendered.maker, dimension, picture);
    return halved == KXRESULT_OK ? KXImageUtils::encode(&picture, image, fileType, KXImageMaker::JPEG_QUALITY)
                                 : halved;
}

int KXImgGen::convert(const KXScene* scene, KXRawImage2D* image, const KXPosition2D& position,
                      const KXDimension2D& dimension, IKXStatusMgr* status, KXCanvas* canvas)
{
    Rendered rendered;
    const int result = render(scene, image, position, dimension, status, canvas, rendered);
    if (result < 0 || !rendered.maker)
        return result;
    // The pixels come in the image's own format, whatever the maker gives.
    const KXRawImage2D::KXRAWIMAGE2DFMT format = image->getFormat();
    const int saved = rendered.doubled ? halveInto(*rendered.maker, dimension, *image)
                                       : rendered.maker->saveToRawImage(image);
    if (saved != KXRESULT_OK)
        return saved;
    return image->convertToFormat(format) == 0 ? KXRESULT_OK : KXRESULT_FAILED;
}

int KXImgGen::convertToFile(const KXScene* scene, const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType,
                            const KXPosition2D& position, const KXDimension2D& dimension, IKXStatusMgr* status,
                            KXCanvas* canvas)
{
    Rendered rendered;
    const int result = render(scene, path, position, dimension, status, canvas, rendered);
    if (result < 0 || !rendered.maker)
        return result;
    if (!rendered.doubled)
        return rendered.maker->saveToFile(path, fileType);
    KXRawImage2D picture;
    const int halved = halveInto(*rendered.maker, dimension, picture);
    if (halved != KXRESULT_OK)
        return halved;
    KXImage2D encoded;
    const int encodedResult = KXImageUtils::encode(&picture, &encoded, fileType, KXImageMaker::JPEG_QUALITY);
    return encodedResult == 0 ? KXImageUtils::saveImage2DToFile(&encoded, path) : encodedResult;
}
