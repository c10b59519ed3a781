// The device-side forms of shader programs, driven with recording effects:
// the program's images bound to texture parameters by annotation, shared
// and private image textures, device resets and releases, and the lifetime
// of the variables bound to an effect.

#include "FakeEffect.h"
#include "KXDXTestSupport.h"

#include "resources/KXDXImage2DImpl.h"
#include "resources/KXDXImage3DImpl.h"
#include "resources/KXDXOffScreenShaderProgramImpl.h"
#include "resources/KXDXShaderProgramImpl.h"
#include "sceneapi/KXEffectVariable.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXParameter.h"
#include "sceneapi/KXShaderProgram.h"

#include <gtest/gtest.h>

#include <memory>

using namespace kxdxtest;
using Node = FakeEffect::Node;

namespace {

class ShaderProgramImplTest : public DeviceTest
{
protected:
    // An effect with a texture parameter that three annotations may name an
    // image by: the first names none of the program's images, a number comes
    // between, the last names "wood". A typed 2D texture names "wood"
    // directly; a third texture names nothing the program has.
    FakeEffectPtr texturedEffect()
    {
        FakeEffectPtr effect = makeFakeEffect();
        effect->addParameter("Diffuse", D3DXPT_TEXTURE, D3DXPC_OBJECT)
            .annotate("ResourceName", "missing.png")
            .annotate("Scale", 2.0f)
            .annotate("Source", "wood");
        effect->addParameter("Typed", D3DXPT_TEXTURE2D, D3DXPC_OBJECT).annotate("ResourceName", "wood");
        effect->addParameter("Unnamed", D3DXPT_TEXTURE, D3DXPC_OBJECT).annotate("ResourceName", "stone");
        return effect;
    }
    IDirect3DBaseTexture9* bound(const FakeEffectPtr& effect, const char* name) const
    {
        return effect->parameter(name)->texture;
    }
    KXDXImage2DImpl* slotOf(KXImage* image) const { return dynamic_cast<KXDXImage2DImpl*>(image->getImplementation()); }

    KXRef<KXImage2D> wood = solidPng(KXColor(0.6f, 0.4f, 0.2f, 1.0f));
};

// The first string annotation that names an image of the program wins,
// whatever it is called; a typed texture parameter is not bound by name.
TEST_F(ShaderProgramImplTest, ImagesAreBoundByTheFirstAnnotationNamingOne)
{
    KXShaderProgram program;
    program.setImage(L"wood", wood.get());
    FakeEffectPtr effect = texturedEffect();
    {
        KXDXShaderProgramImpl impl(device.get(), &program, effect.get());
        EXPECT_EQ(effect.get(), impl.getEffect());
        EXPECT_EQ(device.get(), impl.getDevice());
        EXPECT_EQ(&program, impl.getProgram());
        ASSERT_NE(nullptr, slotOf(wood.get()));
        ASSERT_NE(nullptr, slotOf(wood.get())->getTexture());
        EXPECT_EQ(slotOf(wood.get())->getTexture(), bound(effect, "Diffuse"));
        EXPECT_EQ(nullptr, bound(effect, "Typed"));
        EXPECT_EQ(nullptr, bound(effect, "Unnamed"));
        EXPECT_EQ((std::vector<std::string>{"SetTexture(Diffuse)"}), effect->log());
        EXPECT_EQ(2u, effect->refCount());
    }
    // The implementation gave its reference back.
    EXPECT_EQ(1u, effect->refCount());
}

// Shared caching: two programs binding one image share the image's
// implementation. Private caching (off-screen): a texture of its own, and
// the image's slot is left as it was, empty or not.
TEST_F(ShaderProgramImplTest, SharedAndPrivateImageTextures)
{
    KXShaderProgram first, second;
    first.setImage(L"wood", wood.get());
    second.setImage(L"wood", wood.get());
    FakeEffectPtr offScreenEffect = texturedEffect();
    {
        KXDXOffScreenShaderProgramImpl offScreen(device.get(), &first, offScreenEffect.get());
        EXPECT_EQ(nullptr, wood->getImplementation());
        EXPECT_NE(nullptr, bound(offScreenEffect, "Diffuse"));
    }
    FakeEffectPtr firstEffect = texturedEffect(), secondEffect = texturedEffect(), lateEffect = texturedEffect();
    KXDXShaderProgramImpl firstImpl(device.get(), &first, firstEffect.get());
    KXImplementation* shared = wood->getImplementation();
    KXDXShaderProgramImpl secondImpl(device.get(), &second, secondEffect.get());
    EXPECT_EQ(shared, wood->getImplementation());
    EXPECT_EQ(bound(firstEffect, "Diffuse"), bound(secondEffect, "Diffuse"));

    KXDXOffScreenShaderProgramImpl offScreen(device.get(), &first, lateEffect.get());
    EXPECT_EQ(shared, wood->getImplementation());
    ASSERT_NE(nullptr, bound(lateEffect, "Diffuse"));
    EXPECT_NE(bound(firstEffect, "Diffuse"), bound(lateEffect, "Diffuse"));
    // The private texture lives on through the effect's own reference.
    D3DRESOURCETYPE type = bound(lateEffect, "Diffuse")->GetType();
    EXPECT_EQ(D3DRTYPE_TEXTURE, type);
}

// Cube images give their cube texture (stored as one file or as six faces);
// volume images their volume texture.
TEST_F(ShaderProgramImplTest, CubeAndVolumeImagesGiveTheirTextures)
{
    // One cube file and one volume file, written by D3DX from textures.
    const auto ddsOf = [](IDirect3DBaseTexture9* texture) {
        ID3DXBuffer* buffer = nullptr;
        std::vector<unsigned char> bytes;
        if (SUCCEEDED(D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_DDS, texture, nullptr)) && buffer) {
            const auto* data = static_cast<const unsigned char*>(buffer->GetBufferPointer());
            bytes.assign(data, data + buffer->GetBufferSize());
            buffer->Release();
        }
        texture->Release();
        return bytes;
    };
    IDirect3DCubeTexture9* cubeTexture = nullptr;
    IDirect3DVolumeTexture9* volumeTexture = nullptr;
    ASSERT_EQ(D3D_OK, d3d()->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cubeTexture, nullptr));
    ASSERT_EQ(D3D_OK,
              d3d()->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volumeTexture, nullptr));
    const std::vector<unsigned char> cubeFile = ddsOf(cubeTexture), volumeFile = ddsOf(volumeTexture);
    ASSERT_FALSE(cubeFile.empty());
    ASSERT_FALSE(volumeFile.empty());

    auto cube = KXMake<KXImage3D>(), faces = KXMake<KXImage3D>(), volume = KXMake<KXImage3D>();
    ASSERT_EQ(0, cube->setData(cubeFile.data(), cubeFile.size(), KXImage3D::KXIMAGE3D_CUBEMAP));
    ASSERT_EQ(0, volume->setData(volumeFile.data(), volumeFile.size(), KXImage3D::KXIMAGE3D_VOLUME));
    for (int face = 0; face < 6; ++face)
        ASSERT_EQ(0, faces->setComponentData(face, wood->getData(), wood->getSize(), KXImage2D::KXIMAGE2D_PNG));

    KXShaderProgram program;
    program.setImage(L"cube", cube.get());
    program.setImage(L"faces", faces.get());
    program.setImage(L"volume", volume.get());
    FakeEffectPtr effect = makeFakeEffect();
    for (const char* name : {"cube", "faces", "volume"})
        effect->addParameter(name, D3DXPT_TEXTURE, D3DXPC_OBJECT).annotate("ResourceName", name);
    KXDXShaderProgramImpl impl(device.get(), &program, effect.get());

    for (KXImage3D* image : {cube.get(), faces.get()}) {
        auto* imageImpl = dynamic_cast<KXDXImage3DImpl*>(image->getImplementation());
        ASSERT_NE(nullptr, imageImpl);
        ASSERT_NE(nullptr, imageImpl->getCubeTexture());
        EXPECT_EQ(imageImpl->getCubeTexture(), bound(effect, image == cube.get() ? "cube" : "faces"));
    }
    auto* volumeImpl = dynamic_cast<KXDXImage3DImpl*>(volume->getImplementation());
    ASSERT_NE(nullptr, volumeImpl);
    ASSERT_NE(nullptr, volumeImpl->getVolumeTexture());
    EXPECT_EQ(volumeImpl->getVolumeTexture(), bound(effect, "volume"));
}

// A reset between two draws keeps the effect: it lets go of its device
// resources before and takes them back after; nothing is compiled again.
// The release of the device releases the effect at once and detaches the
// variables bound to it.
TEST_F(ShaderProgramImplTest, DeviceResetsKeepTheEffectAndReleaseDropsIt)
{
    KXShaderProgram program;
    FakeEffectPtr effect = makeFakeEffect();
    effect->addParameter("Ks", D3DXPT_FLOAT).value({0.5f}).annotate("UIWidget", "Slider");
    KXDXShaderProgramImpl impl(device.get(), &program, effect.get());
    auto* variable = dynamic_cast<KXEffectVariable*>(program.findParameter(L"Ks")->getVariable());
    ASSERT_NE(nullptr, variable);
    EXPECT_EQ(effect.get(), variable->getEffect());

    effect->log().clear();
    device->reset();
    EXPECT_EQ((std::vector<std::string>{"OnLostDevice", "OnResetDevice"}), effect->log());
    EXPECT_EQ(effect.get(), impl.getEffect());

    // Another device's events are not the implementation's business.
    TestWindow otherWindow(16, 16);
    Made<KXDXDevice> other = makeDevice(otherWindow.get());
    ASSERT_TRUE(other);
    other->reset();
    other.reset();
    EXPECT_EQ(2u, effect->log().size());

    device->release();
    EXPECT_EQ(nullptr, impl.getEffect());
    EXPECT_EQ(nullptr, impl.getDevice());
    EXPECT_EQ(1u, effect->refCount());
    EXPECT_EQ(nullptr, variable->getEffect());
    EXPECT_EQ(nullptr, variable->getHandle());
    device->reset();
    EXPECT_EQ(2u, effect->log().size());
}

// The variables an implementation's effect adopted are detached when the
// implementation goes (the program discards it when its source changes),
// and the next effect adopts them.
TEST_F(ShaderProgramImplTest, DiscardedImplementationsDetachTheirVariables)
{
    KXShaderProgram program;
    program.setSource("first");
    FakeEffectPtr first = makeFakeEffect(), second = makeFakeEffect();
    for (FakeEffect* effect : {first.get(), second.get()})
        effect->addParameter("Tint", D3DXPT_FLOAT, D3DXPC_VECTOR).value({1, 1, 1, 1}).annotate("UIWidget", "Color");
    program.setImplementation(new KXDXShaderProgramImpl(device.get(), &program, first.get()));
    auto* variable = dynamic_cast<KXColorVariable*>(program.findParameter(L"Tint")->getVariable());
    ASSERT_NE(nullptr, variable);
    EXPECT_EQ(first.get(), variable->getEffect());

    program.setSource("second");
    EXPECT_EQ(nullptr, program.getImplementation());
    EXPECT_EQ(1u, first->refCount());
    EXPECT_EQ(nullptr, variable->getEffect());
    variable->setValue(KXVariant(KXColor(0.25f, 0.5f, 0.75f, 1.0f)));

    program.setImplementation(new KXDXShaderProgramImpl(device.get(), &program, second.get()));
    EXPECT_EQ(1, program.getNumParameters());
    EXPECT_EQ(second.get(), variable->getEffect());
    EXPECT_EQ((std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}), second->parameter("Tint")->values);
    program.setImplementation(nullptr);
    EXPECT_EQ(nullptr, variable->getEffect());
}

// Without a device or a program there is no effect, and nothing breaks.
TEST_F(ShaderProgramImplTest, MissingDeviceOrProgramGivesNoEffect)
{
    KXShaderProgram program;
    FakeEffectPtr effect = texturedEffect();
    KXDXShaderProgramImpl noDevice(nullptr, &program, effect.get());
    EXPECT_EQ(nullptr, noDevice.getEffect());
    EXPECT_EQ(nullptr, noDevice.getDevice());
    KXDXShaderProgramImpl noProgram(device.get(), nullptr, effect.get());
    EXPECT_EQ(nullptr, noProgram.getEffect());
    KXDXShaderProgramImpl noSource(nullptr, &program);
    EXPECT_EQ(nullptr, noSource.getEffect());
    EXPECT_EQ(1u, effect->refCount());
    EXPECT_TRUE(effect->log().empty());
    device->reset();
}

} // namespace
