// The texture and off-screen renderers: their pictures against the window
// renderer's, the targets they bind and give back, their private resource
// maps following edits and deletions, and device resets around their
// default-pool targets.

#include "KXDXTestScenes.h"

#include "renderer/KXResult.h"
#include "renderer/dx/KXDXOffScreenRenderer.h"
#include "resources/KXDXDepthStencilSurface.h"
#include "resources/KXDXRenderSurface.h"
#include "resources/KXDXRenderTexture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

using namespace kxdxtest;

namespace {

constexpr unsigned W = 64, H = 48;

KXSecondaryRenderer* secondary(KXRenderer* renderer)
{
    return dynamic_cast<KXSecondaryRenderer*>(renderer);
}

// A renderer of W x H made by the factory, on a device of its own (with the
// best multisampling or none), drawing through a canvas.
struct Harness {
    Harness(KXRenderer::KXRENDERERTYPE type, bool multisampled)
        : device(makeDevice(window.get(), &settings, multisampled)), renderer(createRenderer(type))
    {
        if (!device || !renderer)
            return;
        renderer->initialize(device.get());
        renderer->setSize(W, H);
        canvas.setRenderer(renderer.get());
    }
    ~Harness() { canvas.setRenderer(nullptr); }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;
    bool ready() const { return device && renderer; }
    KXDXOffScreenRenderer* dx() const { return dynamic_cast<KXDXOffScreenRenderer*>(renderer.get()); }

    // One frame of the scene into the target, read back.
    int render(const KXScene& scene, KXRawImage2D& picture)
    {
        secondary(renderer.get())->bindTarget();
        canvas.render(&scene, nullptr);
        secondary(renderer.get())->restoreTarget();
        return renderer->saveToRawImage(&picture);
    }

    TestWindow window{static_cast<int>(W), static_cast<int>(H)};
    KXAdapterFormat settings;
    Made<KXDXDevice> device;
    Made<KXRenderer> renderer;
    KXCanvas canvas;
};

uint32_t rawPixel(const KXRawImage2D& image, unsigned x, unsigned y)
{
    const unsigned char* p = image.getRow(y) + 4 * x;
    return 0xFF000000u | (p[2] << 16) | (p[1] << 8) | p[0];
}

// Largest channel difference between the picture and the window's.
int largestDifference(const KXRawImage2D& picture, const PresentedImage& shown)
{
    int largest = 0;
    for (unsigned y = 0; y < H; ++y)
        for (unsigned x = 0; x < W; ++x) {
            const uint32_t a = rawPixel(picture, x, y), b = shown.at(x, y);
            largest = std::max({largest, std::abs(red(a) - red(b)), std::abs(green(a) - green(b)),
                                std::abs(blue(a) - blue(b))});
        }
    return largest;
}

// A lit scene of two coloured squares seen at an angle.
void buildScene(KXScene& scene)
{
    setSingleColorBackground(scene, rgb(40, 60, 200));
    setPerspectiveCamera(scene, KXPosition(0.5f, -4.0f, 3.0f), KXPosition(0.0f, 0.0f, 0.0f), W, H);
    addDirectionalLight(scene, KXVector(0.3f, 0.5f, -1.0f), rgb(255, 255, 255));
    auto low = makeSquare(1.0f);
    auto high = makeSquare(0.5f, 0.5f, 0.4f, 0.2f);
    addShape(scene, low.get(), rgb(200, 180, 30));
    addShape(scene, high.get(), rgb(30, 200, 90));
}

// A top-down view of the plane z = 0, 2 units high, on white.
void buildTopDownScene(KXScene& scene)
{
    setSingleColorBackground(scene, rgb(255, 255, 255));
    setTopDownOrthoCamera(scene, 2.0f, W, H);
}

KXShape* addEmissiveShape(KXScene& scene, KXGeometry* geometry)
{
    KXShape* shape = addShape(scene, geometry, rgb(0, 0, 0));
    shape->getAppearance()->getMaterial()->setEmissiveColor(rgb(255, 0, 0));
    return shape;
}

bool isRed(uint32_t c) { return red(c) > 200 && green(c) < 50 && blue(c) < 50; }
bool isWhite(uint32_t c) { return red(c) > 200 && green(c) > 200 && blue(c) > 200; }

} // namespace

// The off-screen picture of a scene is the window's picture of it, with and
// without multisampling (the multisampled target is resolved before it is
// read back, never read as black).
TEST(OffScreenRenderer, PictureEqualsTheWindowRenderers)
{
    for (bool multisampled : {false, true}) {
        SCOPED_TRACE(multisampled ? "multisampled" : "single-sampled");
        LiveObjectCheck live;
        {
            Harness window(KXRenderer::KXRENDERER_WINDOW, multisampled);
            Harness offScreen(KXRenderer::KXRENDERER_OFFSCREEN, multisampled);
            ASSERT_TRUE(window.ready() && offScreen.ready());
            if (multisampled && offScreen.settings.multisampling == KXAdapterFormat::KXMULTISAMPLING_NONE) {
                std::cout << "[ note ] the device offers no multisampling\n";
                continue;
            }
            EXPECT_EQ(window.settings.multisampling, offScreen.settings.multisampling);

            KXScene scene;
            buildScene(scene);
            window.canvas.render(&scene, nullptr);
            const PresentedImage shown = presentedImage(window.window.get());
            KXRawImage2D picture;
            ASSERT_EQ(0, offScreen.render(scene, picture));
            ASSERT_EQ(W, picture.getWidth());
            ASSERT_EQ(H, picture.getHeight());
            ASSERT_FALSE(shown.empty());
            EXPECT_LE(largestDifference(picture, shown), 2);
            // The same picture as a PNG, decoded.
            KXRef<KXImage2D> png = KXMake<KXImage2D>();
            ASSERT_EQ(0, offScreen.renderer->saveToImage(png.get(), KXImage2D::KXIMAGE2D_PNG));
            KXRawImage2D decoded;
            ASSERT_EQ(0, KXImageUtils::decode(png.get(), &decoded));
            EXPECT_LE(largestDifference(decoded, shown), 2);
        }
        live.expectBalanced();
    }
}

TEST(OffScreenRenderer, ReadBackBeforeSetSizeHasNoTarget)
{
    TestWindow window(16, 16);
    auto device = makeDevice(window.get());
    ASSERT_TRUE(device);
    for (auto type : {KXRenderer::KXRENDERER_OFFSCREEN, KXRenderer::KXRENDERER_TEXTURE,
                      KXRenderer::KXRENDERER_OFFSCREENTEXTURE}) {
        const Made<KXRenderer> r = createRenderer(type);
        ASSERT_TRUE(r);
        KXRawImage2D raw;
        EXPECT_EQ(-1, r->saveToRawImage(&raw)) << "no device";
        ASSERT_EQ(0, r->initialize(device.get()));
        EXPECT_EQ(-3, r->saveToRawImage(&raw)) << type;
    }
}

// bindTarget binds the renderer's own target (and, for texture renderers,
// its depth-stencil surface or none); restoreTarget gives back exactly the
// surfaces it replaced.
class SecondaryTargets : public DeviceTest
{
protected:
    IDirect3DSurface9* renderTarget() const
    {
        IDirect3DSurface9* surface = nullptr;
        d3d()->GetRenderTarget(0, &surface);
        if (surface)
            surface->Release();
        return surface;
    }
    IDirect3DSurface9* depthStencil() const
    {
        IDirect3DSurface9* surface = nullptr;
        d3d()->GetDepthStencilSurface(&surface);
        if (surface)
            surface->Release();
        return surface;
    }
    static IDirect3DSurface9* level0(KXRenderTexture* texture)
    {
        IDirect3DSurface9* surface = nullptr;
        dynamic_cast<KXDXRenderTexture*>(texture)->getTexture()->GetSurfaceLevel(0, &surface);
        if (surface)
            surface->Release();
        return surface;
    }
};

TEST_F(SecondaryTargets, BindAndRestoreExactlyTheReplacedSurfaces)
{
    IDirect3DSurface9* const backBuffer = renderTarget();
    IDirect3DSurface9* const autoDepth = depthStencil();
    ASSERT_TRUE(backBuffer && autoDepth);

    const Made<KXDXDepthStencilSurface> depth = createDepthStencilSurface<KXDXDepthStencilSurface>();
    ASSERT_TRUE(depth);
    ASSERT_EQ(0, depth->initialize(device.get()));
    ASSERT_EQ(0, depth->create(32, 32));
    IDirect3DSurface9* const ownDepth = depth->getSurface();

    for (auto type : {KXRenderer::KXRENDERER_TEXTURE, KXRenderer::KXRENDERER_OFFSCREENTEXTURE}) {
        SCOPED_TRACE(type);
        const Made<KXRenderer> r = createRenderer(type);
        ASSERT_TRUE(r);
        ASSERT_EQ(0, r->initialize(device.get()));
        r->setSize(32, 32);
        auto* texture = dynamic_cast<KXTextureRenderer*>(r.get());
        ASSERT_NE(nullptr, texture->getRenderTexture());

        // Without a depth-stencil surface none is bound.
        secondary(r.get())->bindTarget();
        EXPECT_EQ(level0(texture->getRenderTexture()), renderTarget());
        EXPECT_EQ(nullptr, depthStencil());
        secondary(r.get())->restoreTarget();
        EXPECT_EQ(backBuffer, renderTarget());
        EXPECT_EQ(autoDepth, depthStencil());

        texture->setDepthStencilSurface(depth.get());
        secondary(r.get())->bindTarget();
        EXPECT_EQ(ownDepth, depthStencil());
        secondary(r.get())->restoreTarget();
        EXPECT_EQ(backBuffer, renderTarget());
        EXPECT_EQ(autoDepth, depthStencil());
    }

    // The off-screen renderer keeps the device's depth buffer (which setSize
    // made of its size).
    const Made<KXRenderer> offScreen = createRenderer(KXRenderer::KXRENDERER_OFFSCREEN);
    ASSERT_TRUE(offScreen);
    ASSERT_EQ(0, offScreen->initialize(device.get()));
    depth->release();
    offScreen->setSize(W, H);
    IDirect3DSurface9* const newBackBuffer = renderTarget();
    IDirect3DSurface9* const newAutoDepth = depthStencil();
    secondary(offScreen.get())->bindTarget();
    auto* surface =
        dynamic_cast<KXDXRenderSurface*>(dynamic_cast<KXOffScreenRenderer*>(offScreen.get())->getRenderSurface());
    ASSERT_NE(nullptr, surface);
    EXPECT_EQ(surface->getSurface(), renderTarget());
    EXPECT_EQ(newAutoDepth, depthStencil());
    secondary(offScreen.get())->restoreTarget();
    EXPECT_EQ(newBackBuffer, renderTarget());
}

// A secondary renderer's frame leaves the window alone: closing its scene
// does not present.
TEST_F(SecondaryTargets, FramesDoNotPresent)
{
    const Made<KXRenderer> window = createRenderer(KXRenderer::KXRENDERER_WINDOW);
    ASSERT_TRUE(window);
    ASSERT_EQ(0, window->initialize(device.get()));
    window->beginScene();
    window->clear(rgb(0, 255, 0));
    window->endScene();
    ASSERT_EQ(0xFF00FF00u, presentedImage(this->window.get()).at(10, 10));
    // What the back buffer holds now would show if anything presented.
    d3d()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);

    for (auto type : {KXRenderer::KXRENDERER_OFFSCREEN, KXRenderer::KXRENDERER_TEXTURE,
                      KXRenderer::KXRENDERER_OFFSCREENTEXTURE}) {
        const Made<KXRenderer> r = createRenderer(type);
        ASSERT_TRUE(r);
        ASSERT_EQ(0, r->initialize(device.get()));
        // The off-screen renderer resizes the back buffer; keep its size.
        r->setSize(64, 64);
        d3d()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
        secondary(r.get())->bindTarget();
        r->beginScene();
        r->clear(rgb(255, 0, 0));
        r->endScene();
        secondary(r.get())->restoreTarget();
        EXPECT_EQ(0xFF00FF00u, presentedImage(this->window.get()).at(10, 10)) << type;
        KXRawImage2D raw;
        ASSERT_EQ(0, r->saveToRawImage(&raw));
        EXPECT_EQ(0xFFFF0000u, rawPixel(raw, 5, 5)) << type;
    }
}

// setSize resets the device once; the default-pool targets of every
// secondary renderer on the device survive that reset and any other (they
// are let go before it, which Direct3D requires, and made again after).
TEST_F(SecondaryTargets, ResetsAroundDefaultPoolTargets)
{
    const Made<KXRenderer> offScreen = createRenderer(KXRenderer::KXRENDERER_OFFSCREEN);
    const Made<KXRenderer> texture = createRenderer(KXRenderer::KXRENDERER_TEXTURE);
    ASSERT_TRUE(offScreen && texture);
    ASSERT_EQ(0, offScreen->initialize(device.get()));
    ASSERT_EQ(0, texture->initialize(device.get()));
    texture->setSize(16, 16);
    KXRenderTexture* renderTexture = dynamic_cast<KXTextureRenderer*>(texture.get())->getRenderTexture();

    DeviceEvents events;
    device->registerObserver(&events);
    offScreen->setSize(40, 30);
    EXPECT_EQ((std::vector<int>{KXDeviceEvent::KXDEVICEEVENT_BEFORERESET, KXDeviceEvent::KXDEVICEEVENT_AFTERRESET}),
              events.types);
    EXPECT_EQ(KXDevice::KXDEVICESTATUS_USABLE, device->getStatus());
    device->unregisterObserver(&events);

    // A lost device is reset with the targets alive. A default-pool surface
    // that nobody releases would block it, as Direct3D requires.
    auto loseDevice = [&] {
        ASSERT_EQ(D3D_OK, SwD3D9LoseDevice(d3d()));
        ASSERT_EQ(KXDevice::KXDEVICESTATUS_LOST, device->getStatus());
        ASSERT_EQ(KXDevice::KXDEVICESTATUS_NOTRESET, device->getStatus());
    };
    Made<KXRenderSurface> blocker = createRenderSurface();
    ASSERT_TRUE(blocker);
    ASSERT_EQ(0, blocker->initialize(device.get()));
    ASSERT_EQ(0, blocker->create(8, 8, 1));
    loseDevice();
    device->reset();
    EXPECT_EQ(KXDevice::KXDEVICESTATUS_NOTRESET, device->getStatus());
    blocker->release();
    blocker.reset();
    device->reset();
    EXPECT_EQ(KXDevice::KXDEVICESTATUS_USABLE, device->getStatus());
    // The same texture object, holding a texture again.
    EXPECT_EQ(renderTexture, dynamic_cast<KXTextureRenderer*>(texture.get())->getRenderTexture());
    EXPECT_NE(nullptr, dynamic_cast<KXDXRenderTexture*>(renderTexture)->getTexture());
    EXPECT_EQ(16u, renderTexture->getWidth());
    for (KXRenderer* r : {offScreen.get(), texture.get()}) {
        secondary(r)->bindTarget();
        r->beginScene();
        r->clear(rgb(0, 0, 255));
        r->endScene();
        secondary(r)->restoreTarget();
        KXRawImage2D raw;
        ASSERT_EQ(0, r->saveToRawImage(&raw));
        EXPECT_EQ(0xFF0000FFu, rawPixel(raw, 3, 3));
    }
    EXPECT_EQ(40u, dynamic_cast<KXOffScreenRenderer*>(offScreen.get())->getRenderSurface()->getWidth());
}

// The off-screen renderers keep their own implementations and follow the
// scene objects: one per object drawn, none in the object's slot, rebuilt
// after an edit, dropped with the object.
TEST(OffScreenRenderer, PrivateMapsFollowTheSceneObjects)
{
    Harness h(KXRenderer::KXRENDERER_OFFSCREEN, false);
    ASSERT_TRUE(h.device && h.dx());
    KXScene scene;
    buildTopDownScene(scene);
    // A square over the left half of the view.
    auto square = makeSquare(0.5f, 0.0f, -0.6f, 0.0f);
    KXShape* shape = addEmissiveShape(scene, square.get());

    KXRawImage2D picture;
    ASSERT_EQ(0, h.render(scene, picture));
    ASSERT_EQ(0, h.render(scene, picture));
    EXPECT_EQ(1u, h.dx()->getNumTriMeshes()) << "two frames, one implementation";
    EXPECT_EQ(nullptr, square->getImplementation()) << "the mesh's own slot is left alone";
    EXPECT_TRUE(isRed(rawPixel(picture, W / 4, H / 2)));
    EXPECT_TRUE(isWhite(rawPixel(picture, 3 * W / 4, H / 2)));

    // Moved to the right half: the next export shows the edit.
    auto moved = makeSquare(0.5f, 0.0f, 0.6f, 0.0f);
    square->setVertexArray(moved->getVertexArray());
    ASSERT_EQ(0, h.render(scene, picture));
    EXPECT_TRUE(isWhite(rawPixel(picture, W / 4, H / 2)));
    EXPECT_TRUE(isRed(rawPixel(picture, 3 * W / 4, H / 2)));

    // The mesh is destroyed and a new one (at the same address when the
    // allocator gives it back) is drawn in its place: the new one shows.
    const KXTriMesh* old = square.get();
    square = KXRef<KXTriMesh>();
    shape->setGeometry(nullptr);
    EXPECT_EQ(0u, h.dx()->getNumTriMeshes()) << "the entry went with its mesh";
    auto replacement = makeSquare(0.3f, 0.0f, -0.6f, 0.0f);
    if (replacement.get() != old)
        std::cout << "[ note ] the replacement mesh was not allocated at the old address\n";
    shape->setGeometry(replacement.get());
    ASSERT_EQ(0, h.render(scene, picture));
    EXPECT_TRUE(isRed(rawPixel(picture, W / 4, H / 2)));
    EXPECT_TRUE(isWhite(rawPixel(picture, 3 * W / 4, H / 2)));
    EXPECT_EQ(1u, h.dx()->getNumTriMeshes());
}

// The off-screen texture state keeps its own textures too, and an image
// edited after an export shows its new pixels in the next one.
TEST(OffScreenRenderer, TexturesFollowImageEdits)
{
    Harness h(KXRenderer::KXRENDERER_OFFSCREEN, false);
    ASSERT_TRUE(h.device && h.dx());
    KXScene scene;
    buildTopDownScene(scene);
    KXRef<KXImage2D> image = solidPng(rgb(255, 0, 0));
    addTexturedSquare(scene, image.get());

    KXRawImage2D picture;
    ASSERT_EQ(0, h.render(scene, picture));
    EXPECT_TRUE(isRed(rawPixel(picture, W / 2, H / 2)));
    EXPECT_EQ(nullptr, image->getImplementation()) << "the image's own slot is left alone";

    KXRef<KXImage2D> greenImage = solidPng(rgb(0, 255, 0));
    ASSERT_EQ(0, image->setData(greenImage->getData(), greenImage->getSize(), KXImage2D::KXIMAGE2D_PNG));
    ASSERT_EQ(0, h.render(scene, picture));
    const uint32_t c = rawPixel(picture, W / 2, H / 2);
    EXPECT_TRUE(green(c) > 200 && red(c) < 50) << std::hex << c;
}
