// The window and off-screen texture states, read back from the device: the
// stages reset touches, the texture matrix, and where image textures are
// found, made and kept.

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

using kxdxtest::boundTexture;

// A red 2D texture and a cube texture of six red faces.
class TextureStateTest : public kxdxtest::DeviceTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(DeviceTest::SetUp());
        for (int f = 0; f < KXImage3D::NUM_CUBEMAP_FACES; ++f)
            m_cube->setComponentData(f, m_image->getData(), m_image->getSize(), KXImage2D::KXIMAGE2D_PNG);
        m_cubeTexture->setImage3D(m_cube.get());
        m_texture->setImage2D(m_image.get());
    }
    DWORD stage(DWORD index, D3DTEXTURESTAGESTATETYPE type) const
    {
        DWORD value = 0xBAADF00D;
        EXPECT_EQ(D3D_OK, d3d()->GetTextureStageState(index, type, &value));
        return value;
    }
    DWORD sampler(DWORD index, D3DSAMPLERSTATETYPE type) const
    {
        DWORD value = 0xBAADF00D;
        EXPECT_EQ(D3D_OK, d3d()->GetSamplerState(index, type, &value));
        return value;
    }

    KXRef<KXImage2D> m_image = kxdxtest::solidPng(KXColor(1.0f, 0.0f, 0.0f, 1.0f));
    KXRef<KXTexture2D> m_texture = KXMake<KXTexture2D>();
    KXRef<KXImage3D> m_cube = KXMake<KXImage3D>();
    KXRef<KXTexture3D> m_cubeTexture = KXMake<KXTexture3D>();
    KXRef<KXTextureAttributes> m_attributes = KXMake<KXTextureAttributes>();
};

} // namespace

// reset puts back exactly the stages touched, a stage only clamped for a
// texture that then could not be bound (a sky box without its image)
// included. Arguments out of range touch nothing: an axis naming no address
// state, a stage beyond the eighth (240 would pick the transform
// D3DTS_TEXTURE0 + 240, which is D3DTS_WORLD), a texture without an image.
TEST_F(TextureStateTest, ResetPutsBackExactlyTheTouchedStages)
{
    for (DWORD s = 0; s < 4; ++s) {
        d3d()->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_ADD);
        d3d()->SetSamplerState(s, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
    }
    D3DXMATRIX world;
    D3DXMatrixScaling(&world, 2.0f, 2.0f, 2.0f);
    d3d()->SetTransform(D3DTS_WORLD, &world);

    KXDXTextureState state(device.get());
    state.setTexture2D(0, m_texture.get(), nullptr);
    ASSERT_NE(nullptr, boundTexture(d3d(), 0));
    state.setAddressMode(2, KXTextureState::KXTEXTUREAXIS_U, KXTextureState::KXADDRESSMODE_CLAMP);
    state.setAddressMode(2, KXTextureState::KXTEXTUREAXIS_V, KXTextureState::KXADDRESSMODE_MIRROR);
    EXPECT_EQ(DWORD(D3DTADDRESS_CLAMP), sampler(2, D3DSAMP_ADDRESSU));
    state.setTexture3D(2, KXMake<KXTexture3D>().get(), nullptr);
    state.setAddressMode(1, D3DSAMP_MAGFILTER, KXTextureState::KXADDRESSMODE_WRAP);
    state.setTexture2D(8, m_texture.get(), m_attributes.get());
    state.setTexture2D(3, KXMake<KXTexture2D>().get(), m_attributes.get());
    state.setTexture3D(240, m_cubeTexture.get(), m_attributes.get());
    D3DMATRIX after;
    d3d()->GetTransform(D3DTS_WORLD, &after);
    EXPECT_EQ(2.0f, after._11);

    state.reset();
    for (DWORD s = 0; s < 4; ++s) {
        SCOPED_TRACE(testing::Message() << "stage " << s);
        const bool touched = s == 0 || s == 2;
        EXPECT_EQ(nullptr, boundTexture(d3d(), s));
        EXPECT_EQ(DWORD(touched ? D3DTADDRESS_WRAP : D3DTADDRESS_MIRROR), sampler(s, D3DSAMP_ADDRESSU));
        EXPECT_EQ(DWORD(!touched ? D3DTOP_ADD : s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE), stage(s, D3DTSS_COLOROP));
    }
    EXPECT_EQ(DWORD(D3DTADDRESS_WRAP), sampler(2, D3DSAMP_ADDRESSV));
}

// The stage transform moves (u, v) as the attributes' matrix does; a cube
// stage moves s and t alike, keeps r, and passes all three coordinates on,
// generated ones included.
TEST_F(TextureStateTest, TextureMatrixMovesCoordinatesAsTheSceneMatrixDoes)
{
    KXDXTextureState state(device.get());
    const KXMatrix2D matrix =
        KXMatrix2D::rotation(0.3f) * KXMatrix2D::scaling(2.0f, 3.0f) * KXMatrix2D::translation(0.25f, 0.5f);
    m_attributes->setTextureMatrix(matrix);
    state.setTexture2D(3, m_texture.get(), m_attributes.get());
    m_attributes->setTextureIndex(KXTextureAttributes::KXTEXTUREINDEX_CAMERASPACEREFLECTION);
    state.setTexture3D(4, m_cubeTexture.get(), m_attributes.get());

    const KXPosition2D expected = matrix.transform(KXPosition2D(0.7f, -0.2f));
    const D3DXVECTOR4 in[2] = {{0.7f, -0.2f, 1.0f, 0.0f}, {0.7f, -0.2f, 0.9f, 1.0f}};
    for (DWORD s : {3u, 4u}) {
        SCOPED_TRACE(testing::Message() << "stage " << s);
        D3DXMATRIX transform;
        ASSERT_EQ(D3D_OK, d3d()->GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + s), &transform));
        D3DXVECTOR4 out;
        D3DXVec4Transform(&out, &in[s - 3], &transform);
        EXPECT_NEAR(expected.getX(), out.x, 1e-5f);
        EXPECT_NEAR(expected.getY(), out.y, 1e-5f);
        EXPECT_NEAR(s == 3 ? 1.0f : 0.9f, out.z, 1e-6f);
        EXPECT_EQ(DWORD(s == 3 ? D3DTTFF_COUNT2 : D3DTTFF_COUNT3), stage(s, D3DTSS_TEXTURETRANSFORMFLAGS));
    }
    EXPECT_EQ(DWORD(D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR), stage(4, D3DTSS_TEXCOORDINDEX));
}

// A texture belongs to its device. The off-screen state never writes an
// image's slot: it binds a texture of its own device found there and keeps
// every other in its maps, cube images always. The window state keeps the
// texture it makes in the image's slot, replacing one made for another
// device instead of binding it.
TEST_F(TextureStateTest, ImageTexturesBelongToTheirDevice)
{
    kxdxtest::TestWindow otherWindow(32, 32);
    auto other = kxdxtest::makeDevice(otherWindow.get());
    ASSERT_TRUE(other);
    KXDXOffScreenTextureState offScreen(device.get());
    offScreen.setTexture2D(0, m_texture.get(), nullptr);
    offScreen.setTexture2D(1, m_texture.get(), nullptr);
    EXPECT_EQ(nullptr, m_image->getImplementation());
    EXPECT_NE(nullptr, boundTexture(d3d(), 0));
    IDirect3DBaseTexture9* const fromMap = boundTexture(d3d(), 0);
    EXPECT_EQ(fromMap, boundTexture(d3d(), 1));
    for (KXDXDevice* owner : {device.get(), other.get()}) {
        auto* found = new KXDXImage2DImpl(owner, m_image.get());
        m_image->setImplementation(found);
        offScreen.setTexture2D(2, m_texture.get(), nullptr);
        EXPECT_EQ(found, m_image->getImplementation());
        EXPECT_EQ(owner == other.get() ? fromMap : found->getTexture(), boundTexture(d3d(), 2));
    }
    m_cube->setImplementation(new KXDXImage3DImpl(device.get(), m_cube.get()));
    offScreen.setTexture3D(3, m_cubeTexture.get(), nullptr);
    offScreen.setTexture3D(3, m_cubeTexture.get(), nullptr);
    EXPECT_EQ(1u, offScreen.getNumImages2D());
    EXPECT_EQ(1u, offScreen.getNumImages3D());
    EXPECT_NE(nullptr, boundTexture(d3d(), 3));
    offScreen.reset();

    KXDXTextureState window(device.get());
    m_cube->setImplementation(new KXDXImage3DImpl(other.get(), m_cube.get()));
    window.setTexture2D(0, m_texture.get(), nullptr);
    window.setTexture3D(1, m_cubeTexture.get(), nullptr);
    auto* made = dynamic_cast<KXDXImage2DImpl*>(m_image->getImplementation());
    ASSERT_NE(nullptr, made);
    EXPECT_EQ(device.get(), made->getDevice());
    EXPECT_EQ(made->getTexture(), boundTexture(d3d(), 0));
    window.setTexture2D(2, m_texture.get(), nullptr);
    EXPECT_EQ(made, m_image->getImplementation());
    auto* madeCube = dynamic_cast<KXDXImage3DImpl*>(m_cube->getImplementation());
    ASSERT_NE(nullptr, madeCube);
    EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(madeCube->getCubeTexture()), boundTexture(d3d(), 1));
}
