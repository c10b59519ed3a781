// The window and off-screen texture states, read back from the device: the
// stages reset touches, address modes, filters against the adapter's
// capabilities, the texture matrix, and where image textures are found,
// made and kept.

#include "KXDXTestSupport.h"

#include "renderer/dx/KXDXOffScreenTextureState.h"
#include "renderer/dx/KXDXTextureState.h"
#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXImage3DImpl.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTextureAttributes.h"

#include <d3dx9.h>

namespace {

KXRef<KXTexture2D> textureOf(KXImage2D* image)
{
    KXRef<KXTexture2D> texture = KXMake<KXTexture2D>();
    texture->setImage2D(image);
    return texture;
}

class TextureStateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_device = kxdxtest::makeDevice(m_window.get());
        ASSERT_TRUE(m_device);
        d3d = m_device->getD3DDevice();
        m_image = kxdxtest::solidPng(KXColor(1.0f, 0.0f, 0.0f, 1.0f));
        m_texture = textureOf(m_image.get());
        m_cube = KXMake<KXImage3D>();
        for (int f = 0; f < KXImage3D::NUM_CUBEMAP_FACES; ++f)
            m_cube->setComponentData(f, m_image->getData(), m_image->getSize(), KXImage2D::KXIMAGE2D_PNG);
        m_cubeTexture = KXMake<KXTexture3D>();
        m_cubeTexture->setImage3D(m_cube.get());
        m_attributes = KXMake<KXTextureAttributes>();
    }

    DWORD stageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type) const
    {
        DWORD value = 0xBAADF00D;
        EXPECT_EQ(D3D_OK, d3d->GetTextureStageState(stage, type, &value));
        return value;
    }
    DWORD samplerState(DWORD stage, D3DSAMPLERSTATETYPE type) const
    {
        DWORD value = 0xBAADF00D;
        EXPECT_EQ(D3D_OK, d3d->GetSamplerState(stage, type, &value));
        return value;
    }
    IDirect3DBaseTexture9* boundTexture(DWORD stage) const
    {
        IDirect3DBaseTexture9* texture = nullptr;
        d3d->GetTexture(stage, &texture);
        if (texture)
            texture->Release(); // only compared
        return texture;
    }
    // Values that no default has, on stages 0 to 3.
    void scrambleStages(IDirect3DBaseTexture9* texture)
    {
        for (DWORD stage = 0; stage < 4; ++stage) {
            d3d->SetTexture(stage, texture);
            d3d->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_ADD);
            d3d->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
            d3d->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, 3);
            d3d->SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
        }
    }

    kxdxtest::TestWindow m_window{64, 64};
    std::unique_ptr<KXDXDevice> m_device;
    IDirect3DDevice9* d3d = nullptr;
    KXRef<KXImage2D> m_image;
    KXRef<KXTexture2D> m_texture;
    KXRef<KXImage3D> m_cube;
    KXRef<KXTexture3D> m_cubeTexture;
    KXRef<KXTextureAttributes> m_attributes;
};

} // namespace

TEST_F(TextureStateTest, ResetPutsBackExactlyTheTouchedStages)
{
    IDirect3DTexture9* own = nullptr;
    ASSERT_EQ(D3D_OK, d3d->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &own, nullptr));
    scrambleStages(own);
    KXDXTextureState state(m_device.get());
    state.setTexture2D(0, m_texture.get(), nullptr);
    state.setTexture2D(2, m_texture.get(), nullptr);
    state.reset();
    EXPECT_TRUE(state.getTouchedStages().empty());
    for (DWORD stage : {0u, 2u}) {
        EXPECT_EQ(nullptr, boundTexture(stage));
        EXPECT_EQ(0u, stageState(stage, D3DTSS_TEXCOORDINDEX));
        EXPECT_EQ(DWORD(D3DTADDRESS_WRAP), samplerState(stage, D3DSAMP_ADDRESSU));
        EXPECT_EQ(DWORD(D3DTA_TEXTURE), stageState(stage, D3DTSS_COLORARG1));
    }
    EXPECT_EQ(DWORD(D3DTOP_MODULATE), stageState(0, D3DTSS_COLOROP));
    EXPECT_EQ(DWORD(D3DTOP_DISABLE), stageState(2, D3DTSS_COLOROP));
    for (DWORD stage : {1u, 3u}) {
        EXPECT_EQ(own, boundTexture(stage));
        EXPECT_EQ(DWORD(D3DTOP_ADD), stageState(stage, D3DTSS_COLOROP));
    }
    for (DWORD stage = 0; stage < 4; ++stage)
        d3d->SetTexture(stage, nullptr);
    own->Release();
}

// A stage clamped for a texture that then could not be bound (a sky box
// without its image) is still put back to wrap by reset.
TEST_F(TextureStateTest, AddressModesAreListedForReset)
{
    KXDXTextureState state(m_device.get());
    state.setAddressMode(0, KXTextureState::KXTEXTUREAXIS_U, KXTextureState::KXADDRESSMODE_CLAMP);
    state.setAddressMode(0, KXTextureState::KXTEXTUREAXIS_V, KXTextureState::KXADDRESSMODE_MIRROR);
    EXPECT_EQ(DWORD(D3DTADDRESS_CLAMP), samplerState(0, D3DSAMP_ADDRESSU));
    EXPECT_EQ(DWORD(D3DTADDRESS_MIRROR), samplerState(0, D3DSAMP_ADDRESSV));
    KXRef<KXTexture3D> missing = KXMake<KXTexture3D>();
    state.setTexture3D(0, missing.get(), nullptr);
    state.reset();
    EXPECT_EQ(DWORD(D3DTADDRESS_WRAP), samplerState(0, D3DSAMP_ADDRESSU));
    EXPECT_EQ(DWORD(D3DTADDRESS_WRAP), samplerState(0, D3DSAMP_ADDRESSV));
}

// An axis code that names no address state, a stage beyond the eighth (the
// stage also picks the transform D3DTS_TEXTURE0 + stage: 240 would be
// D3DTS_WORLD) and a texture without an image write nothing.
TEST_F(TextureStateTest, ArgumentsOutOfRangeWriteNothing)
{
    KXDXTextureState state(m_device.get());
    const DWORD magFilter = samplerState(1, D3DSAMP_MAGFILTER);
    state.setAddressMode(1, D3DSAMP_MAGFILTER, KXTextureState::KXADDRESSMODE_WRAP);
    state.setAddressMode(1, 3, KXTextureState::KXADDRESSMODE_BORDER);
    EXPECT_EQ(magFilter, samplerState(1, D3DSAMP_MAGFILTER));
    EXPECT_EQ(DWORD(D3DTADDRESS_BORDER), samplerState(1, D3DSAMP_ADDRESSW));

    D3DXMATRIX world;
    D3DXMatrixScaling(&world, 2.0f, 2.0f, 2.0f);
    d3d->SetTransform(D3DTS_WORLD, &world);
    KXRef<KXTexture2D> empty = KXMake<KXTexture2D>();
    state.setTexture2D(8, m_texture.get(), m_attributes.get());
    state.setTexture2D(0, empty.get(), m_attributes.get());
    state.setTexture3D(240, m_cubeTexture.get(), m_attributes.get());
    EXPECT_EQ(std::vector<unsigned>{1}, state.getTouchedStages());
    D3DMATRIX after;
    d3d->GetTransform(D3DTS_WORLD, &after);
    EXPECT_EQ(2.0f, after._11);
}

// Each filter is the one asked for, lowered to what the adapter can do.
TEST_F(TextureStateTest, SamplerFiltersAreLoweredToTheCapabilities)
{
    kxdxtest::CapsOverride caps;
    caps.caps().TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                    D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MIPFPOINT;
    caps.caps().MaxAnisotropy = 4;
    caps.apply();
    kxdxtest::TestWindow window(32, 32);
    auto limited = kxdxtest::makeDevice(window.get());
    ASSERT_TRUE(limited);
    KXDXTextureState state(limited.get());
    m_texture->setMinFilter(KXTexture::KXTEXTUREFILTER_ANISOTROPIC);
    m_texture->setMagFilter(KXTexture::KXTEXTUREFILTER_LINEAR);
    m_texture->setMipFilter(KXTexture::KXTEXTUREFILTER_LINEAR);
    state.setTexture2D(1, m_texture.get(), nullptr);
    const auto sampler = [&limited](D3DSAMPLERSTATETYPE type) {
        DWORD value = 0;
        limited->getD3DDevice()->GetSamplerState(1, type, &value);
        return value;
    };
    EXPECT_EQ(DWORD(D3DTEXF_LINEAR), sampler(D3DSAMP_MINFILTER));
    EXPECT_EQ(DWORD(D3DTEXF_POINT), sampler(D3DSAMP_MAGFILTER));
    EXPECT_EQ(DWORD(D3DTEXF_POINT), sampler(D3DSAMP_MIPFILTER));
    EXPECT_EQ(4u, sampler(D3DSAMP_MAXANISOTROPY));
}

// The stage transform moves (u, v) as the attributes' matrix does; a cube
// stage moves s and t alike, keeps r, and passes all three coordinates on,
// generated ones included.
TEST_F(TextureStateTest, TextureMatrixMovesCoordinatesAsTheSceneMatrixDoes)
{
    KXDXTextureState state(m_device.get());
    const KXMatrix2D matrix =
        KXMatrix2D::rotation(0.3f) * KXMatrix2D::scaling(2.0f, 3.0f) * KXMatrix2D::translation(0.25f, 0.5f);
    m_attributes->setTextureMatrix(matrix);
    state.setTexture2D(3, m_texture.get(), m_attributes.get());
    m_attributes->setTextureIndex(KXTextureAttributes::KXTEXTUREINDEX_CAMERASPACEREFLECTION);
    state.setTexture3D(4, m_cubeTexture.get(), m_attributes.get());

    D3DXMATRIX flat, cube;
    ASSERT_EQ(D3D_OK, d3d->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + 3), &flat));
    ASSERT_EQ(D3D_OK, d3d->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + 4), &cube));
    const KXPosition2D expected = matrix.transform(KXPosition2D(0.7f, -0.2f));
    D3DXVECTOR4 uv(0.7f, -0.2f, 1.0f, 0.0f), str(0.7f, -0.2f, 0.9f, 1.0f), out;
    D3DXVec4Transform(&out, &uv, &flat);
    EXPECT_NEAR(expected.getX(), out.x, 1e-5f);
    EXPECT_NEAR(expected.getY(), out.y, 1e-5f);
    EXPECT_EQ(DWORD(D3DTTFF_COUNT2), stageState(3, D3DTSS_TEXTURETRANSFORMFLAGS));
    D3DXVec4Transform(&out, &str, &cube);
    EXPECT_NEAR(expected.getX(), out.x, 1e-5f);
    EXPECT_NEAR(expected.getY(), out.y, 1e-5f);
    EXPECT_NEAR(0.9f, out.z, 1e-6f);
    EXPECT_EQ(DWORD(D3DTTFF_COUNT3), stageState(4, D3DTSS_TEXTURETRANSFORMFLAGS));
    EXPECT_EQ(DWORD(D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR), stageState(4, D3DTSS_TEXCOORDINDEX));
}

// The off-screen state leaves the colour arguments alone at reset, has no
// dot product (modulates instead) and gives cube stages the colour
// arguments too.
TEST_F(TextureStateTest, OffScreenStateDiffersInColourArgumentsAndDotProduct)
{
    KXDXTextureState window(m_device.get());
    KXDXOffScreenTextureState offScreen(m_device.get());
    m_attributes->setTextureOperation(KXTextureAttributes::KXTEXTUREOPERATION_DOT3);
    m_attributes->setTextureArgument(0, KXTextureAttributes::KXTEXTUREARG_DIFFUSE);
    m_attributes->setTextureArgument(1, KXTextureAttributes::KXTEXTUREARG_SPECULAR);
    window.setTexture2D(1, m_texture.get(), m_attributes.get());
    offScreen.setTexture2D(2, m_texture.get(), m_attributes.get());
    EXPECT_EQ(DWORD(D3DTOP_DOTPRODUCT3), stageState(1, D3DTSS_COLOROP));
    EXPECT_EQ(DWORD(D3DTOP_MODULATE), stageState(2, D3DTSS_COLOROP));
    window.reset();
    offScreen.reset();
    EXPECT_EQ(DWORD(D3DTA_TEXTURE), stageState(1, D3DTSS_COLORARG1));
    EXPECT_EQ(DWORD(D3DTA_DIFFUSE), stageState(2, D3DTSS_COLORARG1));

    window.setTexture3D(1, m_cubeTexture.get(), m_attributes.get());
    offScreen.setTexture3D(3, m_cubeTexture.get(), m_attributes.get());
    EXPECT_EQ(DWORD(D3DTA_TEXTURE), stageState(1, D3DTSS_COLORARG1));
    EXPECT_EQ(DWORD(D3DTA_DIFFUSE), stageState(3, D3DTSS_COLORARG1));
    EXPECT_EQ(DWORD(D3DTA_SPECULAR), stageState(3, D3DTSS_COLORARG2));
}

// The window state keeps the texture it makes in the image's slot. A
// texture belongs to its device: one made for another device (or for a
// released one) is replaced instead of being bound here.
TEST_F(TextureStateTest, WindowStateKeepsTexturesInTheImageAndReplacesThoseOfOtherDevices)
{
    KXDXTextureState state(m_device.get());
    state.setTexture2D(0, m_texture.get(), nullptr);
    auto* made = dynamic_cast<KXDXImage2DImpl*>(m_image->getImplementation());
    ASSERT_NE(nullptr, made);
    ASSERT_NE(nullptr, made->getTexture());
    EXPECT_EQ(made->getTexture(), boundTexture(0));
    state.setTexture2D(1, m_texture.get(), nullptr);
    EXPECT_EQ(made, m_image->getImplementation());

    kxdxtest::TestWindow otherWindow(32, 32);
    auto other = kxdxtest::makeDevice(otherWindow.get());
    ASSERT_TRUE(other);
    m_image->setImplementation(new KXDXImage2DImpl(other.get(), m_image.get()));
    m_cube->setImplementation(new KXDXImage3DImpl(other.get(), m_cube.get()));
    state.setTexture2D(0, m_texture.get(), nullptr);
    state.setTexture3D(1, m_cubeTexture.get(), nullptr);
    auto* replaced = dynamic_cast<KXDXImage2DImpl*>(m_image->getImplementation());
    ASSERT_NE(nullptr, replaced);
    EXPECT_EQ(m_device.get(), replaced->getDevice());
    EXPECT_EQ(replaced->getTexture(), boundTexture(0));
    auto* replacedCube = dynamic_cast<KXDXImage3DImpl*>(m_cube->getImplementation());
    ASSERT_NE(nullptr, replacedCube);
    EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(replacedCube->getCubeTexture()), boundTexture(1));
}

// The off-screen state never writes an image's slot: it binds a texture of
// its own device found there, and keeps every other in its maps.
TEST_F(TextureStateTest, OffScreenStateKeepsItsTexturesToItself)
{
    KXDXOffScreenTextureState state(m_device.get());
    state.setTexture2D(0, m_texture.get(), nullptr);
    state.setTexture2D(1, m_texture.get(), nullptr);
    EXPECT_EQ(nullptr, m_image->getImplementation());
    EXPECT_EQ(1u, state.getNumImages2D());
    EXPECT_NE(nullptr, boundTexture(0));
    EXPECT_EQ(boundTexture(0), boundTexture(1));

    KXRef<KXImage2D> second = kxdxtest::solidPng(KXColor(0.0f, 1.0f, 0.0f, 1.0f));
    KXRef<KXTexture2D> secondTexture = textureOf(second.get());
    auto* own = new KXDXImage2DImpl(m_device.get(), second.get());
    second->setImplementation(own);
    state.setTexture2D(2, secondTexture.get(), nullptr);
    EXPECT_EQ(1u, state.getNumImages2D());
    EXPECT_EQ(own->getTexture(), boundTexture(2));

    kxdxtest::TestWindow otherWindow(32, 32);
    auto other = kxdxtest::makeDevice(otherWindow.get());
    ASSERT_TRUE(other);
    auto* foreign = new KXDXImage2DImpl(other.get(), second.get());
    second->setImplementation(foreign);
    state.setTexture2D(2, secondTexture.get(), nullptr);
    EXPECT_EQ(2u, state.getNumImages2D());
    EXPECT_EQ(foreign, second->getImplementation());
    EXPECT_NE(foreign->getTexture(), boundTexture(2));

    // Cube images always go through the map, even with one of this device.
    m_cube->setImplementation(new KXDXImage3DImpl(m_device.get(), m_cube.get()));
    state.setTexture3D(3, m_cubeTexture.get(), nullptr);
    state.setTexture3D(3, m_cubeTexture.get(), nullptr);
    EXPECT_EQ(1u, state.getNumImages3D());
    EXPECT_NE(nullptr, boundTexture(3));
    state.reset();
}
