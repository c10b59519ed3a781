// The window and off-screen texture states, read back from the device: the
// stages reset touches, sampler filters against the adapter's capabilities,
// the texture operation block, address modes, and where image textures are
// found, made and kept.

#include "KXDXTestSupport.h"

#include "renderer/dx/KXDXOffScreenTextureState.h"
#include "renderer/dx/KXDXTextureState.h"
#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXImage3DImpl.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTextureAttributes.h"

namespace {

// A 4 x 4 PNG of one colour.
KXRef<KXImage2D> makeImage(const KXColor& color)
{
    KXRawImage2D raw(4, 4);
    raw.createData();
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 4; ++x)
            raw.setColor(x, y, color);
    KXRef<KXImage2D> image = KXMake<KXImage2D>();
    EXPECT_EQ(0, KXImageUtils::encode(&raw, image.get(), KXImage2D::KXIMAGE2D_PNG));
    return image;
}

// A six-face cube of 4 x 4 PNG faces.
KXRef<KXImage3D> makeCube()
{
    KXRef<KXImage2D> face = makeImage(KXColor(0.5f, 0.5f, 0.5f, 1.0f));
    KXRef<KXImage3D> cube = KXMake<KXImage3D>();
    for (int f = 0; f < KXImage3D::NUM_CUBEMAP_FACES; ++f)
        cube->setComponentData(f, face->getData(), face->getSize(), KXImage2D::KXIMAGE2D_PNG);
    return cube;
}

class TextureStateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_device = kxdxtest::makeDevice(m_window.get());
        ASSERT_TRUE(m_device);
        d3d = m_device->getD3DDevice();
        m_image = makeImage(KXColor(1.0f, 0.0f, 0.0f, 1.0f));
        m_texture = KXMake<KXTexture2D>();
        m_texture->setImage2D(m_image.get());
        m_cube = makeCube();
        m_cubeTexture = KXMake<KXTexture3D>();
        m_cubeTexture->setImage3D(m_cube.get());
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
    DWORD renderState(D3DRENDERSTATETYPE state) const
    {
        DWORD value = 0xBAADF00D;
        EXPECT_EQ(D3D_OK, d3d->GetRenderState(state, &value));
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

    kxdxtest::TestWindow m_window{64, 64};
    std::unique_ptr<KXDXDevice> m_device;
    IDirect3DDevice9* d3d = nullptr;
    KXRef<KXImage2D> m_image;
    KXRef<KXTexture2D> m_texture;
    KXRef<KXImage3D> m_cube;
    KXRef<KXTexture3D> m_cubeTexture;
};

// Values that no default has, on stages 0 to 3.
void scrambleStages(IDirect3DDevice9* d3d, IDirect3DTexture9* texture)
{
    for (DWORD stage = 0; stage < 4; ++stage) {
        d3d->SetTexture(stage, texture);
        d3d->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_ADD);
        d3d->SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_ADD);
        d3d->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        d3d->SetTextureStageState(stage, D3DTSS_COLORARG2, D3DTA_SPECULAR);
        d3d->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, 3);
        d3d->SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
        d3d->SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
        d3d->SetSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_BORDER);
    }
}

} // namespace

// reset touches the stages used since the last reset, and only those.

TEST_F(TextureStateTest, ResetPutsBackExactlyTheTouchedStages)
{
    IDirect3DTexture9* own = nullptr;
    ASSERT_EQ(D3D_OK, d3d->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &own, nullptr));
    scrambleStages(d3d, own);

    KXDXTextureState state(m_device.get());
    EXPECT_TRUE(state.getTouchedStages().empty());
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_ADD), stageState(0, D3DTSS_COLOROP)); // a fresh state sets nothing
    state.setTexture2D(0, m_texture.get(), nullptr);
    state.setTexture2D(2, m_texture.get(), nullptr);
    state.setTexture2D(2, m_texture.get(), nullptr);
    EXPECT_EQ((std::vector<unsigned>{0, 2, 2}), state.getTouchedStages());

    state.reset();
    EXPECT_TRUE(state.getTouchedStages().empty());
    for (DWORD stage : {0u, 2u}) {
        EXPECT_EQ(nullptr, boundTexture(stage));
        EXPECT_EQ(0u, stageState(stage, D3DTSS_TEXCOORDINDEX));
        EXPECT_EQ(static_cast<DWORD>(D3DTTFF_DISABLE), stageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS));
        EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_WRAP), samplerState(stage, D3DSAMP_ADDRESSU));
        EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_WRAP), samplerState(stage, D3DSAMP_ADDRESSV));
        EXPECT_EQ(static_cast<DWORD>(D3DTA_TEXTURE), stageState(stage, D3DTSS_COLORARG1));
        EXPECT_EQ(static_cast<DWORD>(D3DTA_CURRENT), stageState(stage, D3DTSS_COLORARG2));
    }
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_MODULATE), stageState(0, D3DTSS_COLOROP));
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_SELECTARG1), stageState(0, D3DTSS_ALPHAOP));
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_DISABLE), stageState(2, D3DTSS_COLOROP));
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_DISABLE), stageState(2, D3DTSS_ALPHAOP));
    for (DWORD stage : {1u, 3u}) {
        EXPECT_EQ(own, boundTexture(stage));
        EXPECT_EQ(static_cast<DWORD>(D3DTOP_ADD), stageState(stage, D3DTSS_COLOROP));
        EXPECT_EQ(3u, stageState(stage, D3DTSS_TEXCOORDINDEX));
        EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_MIRROR), samplerState(stage, D3DSAMP_ADDRESSU));
    }

    // A second reset sets nothing.
    scrambleStages(d3d, own);
    state.reset();
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_ADD), stageState(0, D3DTSS_COLOROP));
    EXPECT_EQ(own, boundTexture(0));
    for (DWORD stage = 0; stage < 4; ++stage)
        d3d->SetTexture(stage, nullptr);
    own->Release();
}

TEST_F(TextureStateTest, OffScreenResetLeavesTheColourArgumentsAlone)
{
    scrambleStages(d3d, nullptr);
    KXDXOffScreenTextureState state(m_device.get());
    state.setTexture2D(1, m_texture.get(), nullptr);
    state.reset();
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_DISABLE), stageState(1, D3DTSS_COLOROP));
    EXPECT_EQ(static_cast<DWORD>(D3DTA_DIFFUSE), stageState(1, D3DTSS_COLORARG1));
    EXPECT_EQ(static_cast<DWORD>(D3DTA_SPECULAR), stageState(1, D3DTSS_COLORARG2));
}

// A stage clamped for a texture that then could not be bound (a sky box
// without its image) is still put back to wrap by reset.
TEST_F(TextureStateTest, AddressModesAreListedForReset)
{
    KXDXTextureState state(m_device.get());
    state.setAddressMode(0, KXTextureState::KXTEXTUREAXIS_U, KXTextureState::KXADDRESSMODE_CLAMP);
    state.setAddressMode(0, KXTextureState::KXTEXTUREAXIS_V, KXTextureState::KXADDRESSMODE_MIRROR);
    EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_CLAMP), samplerState(0, D3DSAMP_ADDRESSU));
    EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_MIRROR), samplerState(0, D3DSAMP_ADDRESSV));
    KXRef<KXTexture3D> missing = KXMake<KXTexture3D>();
    state.setTexture3D(0, missing.get(), nullptr);
    state.reset();
    EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_WRAP), samplerState(0, D3DSAMP_ADDRESSU));
    EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_WRAP), samplerState(0, D3DSAMP_ADDRESSV));
}

TEST_F(TextureStateTest, AddressModeCodesNameOnlyAddressStates)
{
    KXDXTextureState state(m_device.get());
    state.setAddressMode(1, 3, KXTextureState::KXADDRESSMODE_BORDER);
    EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_BORDER), samplerState(1, D3DSAMP_ADDRESSW));
    state.setAddressMode(1, KXTextureState::KXTEXTUREAXIS_U, 3);
    EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_CLAMP), samplerState(1, D3DSAMP_ADDRESSU));
    // An axis code that is no address state, or an unknown mode, sets
    // nothing: the filters and the addressing stay.
    const DWORD magFilter = samplerState(1, D3DSAMP_MAGFILTER);
    state.setAddressMode(1, D3DSAMP_MAGFILTER, KXTextureState::KXADDRESSMODE_WRAP);
    state.setAddressMode(1, KXTextureState::KXTEXTUREAXIS_U, 9);
    EXPECT_EQ(magFilter, samplerState(1, D3DSAMP_MAGFILTER));
    EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_CLAMP), samplerState(1, D3DSAMP_ADDRESSU));
    EXPECT_EQ((std::vector<unsigned>{1, 1}), state.getTouchedStages());
}

TEST_F(TextureStateTest, StagesBeyondTheEighthAndMissingImagesSetNothing)
{
    KXDXTextureState state(m_device.get());
    D3DMATRIX world;
    std::memset(&world, 0, sizeof(world));
    world._11 = world._22 = world._33 = world._44 = 2.0f;
    d3d->SetTransform(D3DTS_WORLD, &world);
    KXRef<KXTextureAttributes> attributes = KXMake<KXTextureAttributes>();
    KXRef<KXTexture2D> empty = KXMake<KXTexture2D>();
    state.setTexture2D(8, m_texture.get(), attributes.get());
    state.setTexture2D(0, empty.get(), attributes.get());
    state.setTexture2D(0, nullptr, attributes.get());
    // D3DTS_TEXTURE0 + 240 is D3DTS_WORLD.
    state.setTexture3D(240, m_cubeTexture.get(), attributes.get());
    EXPECT_TRUE(state.getTouchedStages().empty());
    D3DMATRIX after;
    d3d->GetTransform(D3DTS_WORLD, &after);
    EXPECT_EQ(2.0f, after._11);
}

// Each filter is the one asked for, lowered to what the adapter can do.
TEST_F(TextureStateTest, SamplerFiltersAreLimitedByTheCapabilities)
{
    KXDXTextureState state(m_device.get());
    m_texture->setMagFilter(KXTexture::KXTEXTUREFILTER_POINT);
    m_texture->setMinFilter(KXTexture::KXTEXTUREFILTER_ANISOTROPIC);
    m_texture->setMipFilter(static_cast<KXTexture::KXTEXTUREFILTER>(3)); // unknown: linear
    state.setTexture2D(1, m_texture.get(), nullptr);
    EXPECT_EQ(static_cast<DWORD>(D3DTEXF_POINT), samplerState(1, D3DSAMP_MAGFILTER));
    EXPECT_EQ(static_cast<DWORD>(D3DTEXF_ANISOTROPIC), samplerState(1, D3DSAMP_MINFILTER));
    EXPECT_EQ(static_cast<DWORD>(D3DTEXF_LINEAR), samplerState(1, D3DSAMP_MIPFILTER));
    EXPECT_EQ(16u, samplerState(1, D3DSAMP_MAXANISOTROPY));

    kxdxtest::CapsOverride caps;
    caps.caps().TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                    D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MIPFPOINT;
    caps.caps().MaxAnisotropy = 4;
    caps.apply();
    kxdxtest::TestWindow window(32, 32);
    auto limited = kxdxtest::makeDevice(window.get());
    ASSERT_TRUE(limited);
    KXDXTextureState limitedState(limited.get());
    m_texture->setMagFilter(KXTexture::KXTEXTUREFILTER_LINEAR);
    m_texture->setMipFilter(KXTexture::KXTEXTUREFILTER_LINEAR);
    limitedState.setTexture2D(1, m_texture.get(), nullptr);
    IDirect3DDevice9* other = limited->getD3DDevice();
    auto sampler = [other](D3DSAMPLERSTATETYPE type) {
        DWORD value = 0;
        other->GetSamplerState(1, type, &value);
        return value;
    };
    EXPECT_EQ(static_cast<DWORD>(D3DTEXF_POINT), sampler(D3DSAMP_MAGFILTER));
    EXPECT_EQ(static_cast<DWORD>(D3DTEXF_LINEAR), sampler(D3DSAMP_MINFILTER));
    EXPECT_EQ(static_cast<DWORD>(D3DTEXF_POINT), sampler(D3DSAMP_MIPFILTER));
    EXPECT_EQ(4u, sampler(D3DSAMP_MAXANISOTROPY));
}

// The operation block

namespace {

const D3DTEXTUREOP WINDOW_OPERATIONS[] = {
    D3DTOP_DISABLE,     D3DTOP_MODULATE,    D3DTOP_MODULATE2X,  D3DTOP_MODULATE,
    D3DTOP_BLENDFACTORALPHA, D3DTOP_SELECTARG1, D3DTOP_MODULATE, D3DTOP_ADD,
    D3DTOP_ADDSIGNED,   D3DTOP_ADDSIGNED2X, D3DTOP_SUBTRACT,    D3DTOP_DOTPRODUCT3,
    D3DTOP_MODULATE, // 12: unknown
};

} // namespace

TEST_F(TextureStateTest, TextureOperationsFollowTheTableOfEachState)
{
    KXDXTextureState window(m_device.get());
    KXDXOffScreenTextureState offScreen(m_device.get());
    KXRef<KXTextureAttributes> attributes = KXMake<KXTextureAttributes>();
    for (int code = 0; code < 13; ++code) {
        attributes->setTextureOperation(static_cast<KXTextureAttributes::KXTEXTUREOPERATION>(code));
        d3d->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
        window.setTexture2D(1, m_texture.get(), attributes.get());
        EXPECT_EQ(static_cast<DWORD>(WINDOW_OPERATIONS[code]), stageState(1, D3DTSS_COLOROP)) << "code " << code;
        // The blend operation weighs both arguments by half.
        EXPECT_EQ(code == 4 ? 0x80FFFFFFu : 0xFFFFFFFFu, renderState(D3DRS_TEXTUREFACTOR)) << "code " << code;
        offScreen.setTexture2D(2, m_texture.get(), attributes.get());
        const D3DTEXTUREOP offScreenOp = code == 11 ? D3DTOP_MODULATE : WINDOW_OPERATIONS[code];
        EXPECT_EQ(static_cast<DWORD>(offScreenOp), stageState(2, D3DTSS_COLOROP)) << "code " << code;
    }
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_MODULATE), stageState(1, D3DTSS_ALPHAOP));
}

TEST_F(TextureStateTest, TextureMatrixFillsTheUpperLeftOfTheStageTransform)
{
    KXDXTextureState state(m_device.get());
    KXRef<KXTextureAttributes> attributes = KXMake<KXTextureAttributes>();
    const KXMatrix2D matrix =
        KXMatrix2D::rotation(0.3f) * KXMatrix2D::scaling(2.0f, 3.0f) * KXMatrix2D::translation(0.25f, 0.5f);
    attributes->setTextureMatrix(matrix);
    state.setTexture2D(3, m_texture.get(), attributes.get());
    D3DMATRIX set;
    ASSERT_EQ(D3D_OK, d3d->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + 3), &set));
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const float expected = r < 3 && c < 3 ? matrix.get(r, c) : (r == c ? 1.0f : 0.0f);
            EXPECT_EQ(expected, set.m[r][c]) << r << ", " << c;
        }
    }
    EXPECT_EQ(static_cast<DWORD>(D3DTTFF_COUNT2), stageState(3, D3DTSS_TEXTURETRANSFORMFLAGS));
}

TEST_F(TextureStateTest, CoordinateSourcesAndArgumentsFollowTheirTables)
{
    KXDXTextureState state(m_device.get());
    KXRef<KXTextureAttributes> attributes = KXMake<KXTextureAttributes>();
    for (int index = 0; index < 8; ++index) {
        attributes->setTextureIndex(static_cast<KXTextureAttributes::KXTEXTUREINDEX>(index));
        state.setTexture2D(0, m_texture.get(), attributes.get());
        EXPECT_EQ(static_cast<DWORD>(index), stageState(0, D3DTSS_TEXCOORDINDEX));
    }
    const DWORD generated[] = {D3DTSS_TCI_CAMERASPACENORMAL, D3DTSS_TCI_CAMERASPACEPOSITION,
                               D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR, D3DTSS_TCI_SPHEREMAP};
    for (int k = 0; k < 4; ++k) {
        attributes->setTextureIndex(static_cast<KXTextureAttributes::KXTEXTUREINDEX>(8 + k));
        state.setTexture2D(0, m_texture.get(), attributes.get());
        EXPECT_EQ(generated[k], stageState(0, D3DTSS_TEXCOORDINDEX));
        EXPECT_EQ(static_cast<DWORD>(D3DTTFF_COUNT2), stageState(0, D3DTSS_TEXTURETRANSFORMFLAGS));
    }
    attributes->setTextureIndex(static_cast<KXTextureAttributes::KXTEXTUREINDEX>(12));
    state.setTexture2D(0, m_texture.get(), attributes.get());
    EXPECT_EQ(static_cast<DWORD>(D3DTSS_TCI_SPHEREMAP), stageState(0, D3DTSS_TEXCOORDINDEX));

    const DWORD arguments[] = {D3DTA_CONSTANT, D3DTA_CURRENT, D3DTA_DIFFUSE, D3DTA_SPECULAR,
                               D3DTA_TEXTURE,  D3DTA_TFACTOR, D3DTA_CONSTANT};
    for (int code = 0; code < 7; ++code) {
        attributes->setTextureArgument(0, static_cast<KXTextureAttributes::KXTEXTUREAGRVAL>(code));
        attributes->setTextureArgument(1, static_cast<KXTextureAttributes::KXTEXTUREAGRVAL>(6 - code));
        state.setTexture2D(0, m_texture.get(), attributes.get());
        EXPECT_EQ(arguments[code], stageState(0, D3DTSS_COLORARG1)) << code;
        EXPECT_EQ(arguments[6 - code], stageState(0, D3DTSS_COLORARG2)) << code;
    }
}

// Cube textures take the operation block; only the off-screen state gives
// them the colour arguments too.
TEST_F(TextureStateTest, CubeTexturesTakeColourArgumentsOnlyOffScreen)
{
    KXRef<KXTextureAttributes> attributes = KXMake<KXTextureAttributes>();
    attributes->setTextureOperation(KXTextureAttributes::KXTEXTUREOPERATION_ADD);
    attributes->setTextureArgument(0, KXTextureAttributes::KXTEXTUREARG_DIFFUSE);
    attributes->setTextureArgument(1, KXTextureAttributes::KXTEXTUREARG_SPECULAR);
    KXDXTextureState window(m_device.get());
    KXDXOffScreenTextureState offScreen(m_device.get());
    window.setTexture3D(1, m_cubeTexture.get(), attributes.get());
    offScreen.setTexture3D(2, m_cubeTexture.get(), attributes.get());
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_ADD), stageState(1, D3DTSS_COLOROP));
    EXPECT_EQ(static_cast<DWORD>(D3DTA_TEXTURE), stageState(1, D3DTSS_COLORARG1));
    EXPECT_EQ(static_cast<DWORD>(D3DTA_CURRENT), stageState(1, D3DTSS_COLORARG2));
    EXPECT_EQ(static_cast<DWORD>(D3DTOP_ADD), stageState(2, D3DTSS_COLOROP));
    EXPECT_EQ(static_cast<DWORD>(D3DTA_DIFFUSE), stageState(2, D3DTSS_COLORARG1));
    EXPECT_EQ(static_cast<DWORD>(D3DTA_SPECULAR), stageState(2, D3DTSS_COLORARG2));
}

// Where image textures come from

TEST_F(TextureStateTest, WindowStateMakesTheTextureOnceAndKeepsItInTheImage)
{
    KXDXTextureState state(m_device.get());
    state.setTexture2D(0, m_texture.get(), nullptr);
    auto* made = dynamic_cast<KXDXImage2DImpl*>(m_image->getImplementation());
    ASSERT_NE(nullptr, made);
    EXPECT_EQ(m_device.get(), made->getDevice());
    ASSERT_NE(nullptr, made->getTexture());
    EXPECT_EQ(made->getTexture(), boundTexture(0));
    state.setTexture2D(1, m_texture.get(), nullptr);
    EXPECT_EQ(made, m_image->getImplementation());
    EXPECT_EQ(made->getTexture(), boundTexture(1));

    state.setTexture3D(2, m_cubeTexture.get(), nullptr);
    auto* cube = dynamic_cast<KXDXImage3DImpl*>(m_cube->getImplementation());
    ASSERT_NE(nullptr, cube);
    EXPECT_EQ(m_device.get(), cube->getDevice());
    EXPECT_NE(nullptr, cube->getCubeTexture());
    EXPECT_EQ(cube->getCubeTexture(), boundTexture(2));
}

// A texture belongs to its device: one made for another device, or for a
// device since released, is replaced instead of being bound here.
TEST_F(TextureStateTest, WindowStateReplacesTexturesOfOtherDevices)
{
    kxdxtest::TestWindow otherWindow(32, 32);
    auto other = kxdxtest::makeDevice(otherWindow.get());
    ASSERT_TRUE(other);
    KXDXTextureState state(m_device.get());

    auto* foreign = new KXDXImage2DImpl(other.get(), m_image.get());
    m_image->setImplementation(foreign);
    auto* foreignCube = new KXDXImage3DImpl(other.get(), m_cube.get());
    m_cube->setImplementation(foreignCube);
    state.setTexture2D(0, m_texture.get(), nullptr);
    state.setTexture3D(1, m_cubeTexture.get(), nullptr);
    auto* replaced = dynamic_cast<KXDXImage2DImpl*>(m_image->getImplementation());
    ASSERT_NE(nullptr, replaced);
    EXPECT_EQ(m_device.get(), replaced->getDevice());
    EXPECT_EQ(replaced->getTexture(), boundTexture(0));
    auto* replacedCube = dynamic_cast<KXDXImage3DImpl*>(m_cube->getImplementation());
    ASSERT_NE(nullptr, replacedCube);
    EXPECT_EQ(m_device.get(), replacedCube->getDevice());

    // Made for the other device, which is then released.
    m_image->setImplementation(new KXDXImage2DImpl(other.get(), m_image.get()));
    other->release();
    state.setTexture2D(0, m_texture.get(), nullptr);
    auto* remade = dynamic_cast<KXDXImage2DImpl*>(m_image->getImplementation());
    ASSERT_NE(nullptr, remade);
    EXPECT_EQ(m_device.get(), remade->getDevice());
    EXPECT_NE(nullptr, boundTexture(0));
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
    IDirect3DBaseTexture9* mapped = boundTexture(0);
    EXPECT_NE(nullptr, mapped);
    EXPECT_EQ(mapped, boundTexture(1));

    // A texture of this device in the slot is bound from there.
    KXRef<KXImage2D> second = makeImage(KXColor(0.0f, 1.0f, 0.0f, 1.0f));
    KXRef<KXTexture2D> secondTexture = KXMake<KXTexture2D>();
    secondTexture->setImage2D(second.get());
    auto* own = new KXDXImage2DImpl(m_device.get(), second.get());
    second->setImplementation(own);
    state.setTexture2D(2, secondTexture.get(), nullptr);
    EXPECT_EQ(1u, state.getNumImages2D());
    EXPECT_EQ(own, second->getImplementation());
    EXPECT_EQ(own->getTexture(), boundTexture(2));

    // A texture of another device in the slot stays there untouched.
    kxdxtest::TestWindow otherWindow(32, 32);
    auto other = kxdxtest::makeDevice(otherWindow.get());
    ASSERT_TRUE(other);
    auto* foreign = new KXDXImage2DImpl(other.get(), second.get());
    second->setImplementation(foreign);
    state.setTexture2D(2, secondTexture.get(), nullptr);
    EXPECT_EQ(2u, state.getNumImages2D());
    EXPECT_EQ(foreign, second->getImplementation());
    EXPECT_NE(foreign->getTexture(), boundTexture(2));

    // Cube images always go through the map.
    auto* ownCube = new KXDXImage3DImpl(m_device.get(), m_cube.get());
    m_cube->setImplementation(ownCube);
    state.setTexture3D(3, m_cubeTexture.get(), nullptr);
    state.setTexture3D(3, m_cubeTexture.get(), nullptr);
    EXPECT_EQ(1u, state.getNumImages3D());
    EXPECT_EQ(ownCube, m_cube->getImplementation());
    EXPECT_NE(nullptr, boundTexture(3));
    EXPECT_NE(static_cast<IDirect3DBaseTexture9*>(ownCube->getCubeTexture()), boundTexture(3));
    state.reset();
}

// The maps' textures outlive neither their device nor the state (ASan).
TEST_F(TextureStateTest, OffScreenStateOutlivesItsDevice)
{
    auto state = std::make_unique<KXDXOffScreenTextureState>(m_device.get());
    state->setTexture2D(0, m_texture.get(), nullptr);
    state->setTexture3D(1, m_cubeTexture.get(), nullptr);
    state->detachDevice(); // as the manager does on the release event
    m_device.reset();
    state->setTexture2D(0, m_texture.get(), nullptr);
    state->reset();
    state.reset();
}
