// Techniques and passes: finding them, their descriptions and annotations,
// which of them can be used, which parameters they use, and the effect
// object's own interfaces (device, state manager, pool).

#include "EffectTestSupport.h"

using d3dtest::refCount;
using effecttest::Com;
using effecttest::EffectTest;

TEST_F(EffectTest, TechniquesAndPassesByIndexAndName)
{
    Com<ID3DXEffect> effect;
    load("complex.fx", effect);
    D3DXEFFECT_DESC desc;
    ASSERT_EQ(D3D_OK, effect->GetDesc(&desc));
    ASSERT_EQ(3u, desc.Techniques);
    EXPECT_EQ(0u, desc.Functions);

    const char* names[] = {"Skinned", "Fixed", "Broken"};
    const UINT passes[] = {2, 1, 1};
    for (UINT t = 0; t < 3; ++t) {
        D3DXHANDLE technique = effect->GetTechnique(t);
        ASSERT_NE(nullptr, technique);
        EXPECT_EQ(technique, effect->GetTechniqueByName(names[t]));
        D3DXTECHNIQUE_DESC d;
        ASSERT_EQ(D3D_OK, effect->GetTechniqueDesc(technique, &d));
        EXPECT_STREQ(names[t], d.Name);
        EXPECT_EQ(passes[t], d.Passes);
    }
    EXPECT_EQ(nullptr, effect->GetTechnique(3));
    EXPECT_EQ(nullptr, effect->GetTechniqueByName("skinned")) << "technique names are case-sensitive";

    // No handle describes the first technique.
    D3DXTECHNIQUE_DESC first;
    ASSERT_EQ(D3D_OK, effect->GetTechniqueDesc(nullptr, &first));
    EXPECT_STREQ("Skinned", first.Name);
    EXPECT_EQ(2u, first.Annotations);

    D3DXHANDLE skinned = effect->GetTechniqueByName("Skinned");
    D3DXHANDLE wire = effect->GetPass(skinned, 1);
    ASSERT_NE(nullptr, wire);
    EXPECT_EQ(wire, effect->GetPassByName(skinned, "Wire"));
    EXPECT_EQ(wire, effect->GetPassByName("Skinned", "Wire"));
    EXPECT_EQ(nullptr, effect->GetPass(skinned, 2));
    EXPECT_EQ(nullptr, effect->GetPassByName(skinned, "P0"));
    D3DXPASS_DESC pass;
    ASSERT_EQ(D3D_OK, effect->GetPassDesc(effect->GetPass(skinned, 0), &pass));
    EXPECT_STREQ("Opaque", pass.Name);
    EXPECT_EQ(1u, pass.Annotations);
    EXPECT_EQ(nullptr, pass.pVertexShaderFunction);
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetPassDesc(skinned, &pass)) << "a technique is no pass";
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetPassDesc("Opaque", &pass)) << "passes are found by handle only";

    // Annotations of techniques and passes.
    LPCSTR category = nullptr;
    EXPECT_EQ(D3D_OK, effect->GetString(effect->GetAnnotationByName(skinned, "Category"), &category));
    EXPECT_STREQ("skin", category);
    INT order = 0;
    EXPECT_EQ(D3D_OK, effect->GetInt(effect->GetAnnotation(skinned, 1), &order));
    EXPECT_EQ(1, order);
    float weight = 0;
    EXPECT_EQ(D3D_OK, effect->GetFloat(effect->GetAnnotationByName(effect->GetPass(skinned, 0), "Weight"), &weight));
    EXPECT_EQ(0.75f, weight);
}

TEST_F(EffectTest, ValidTechniquesAreTheOnesThatWork)
{
    Com<ID3DXEffect> effect;
    std::string messages;
    ASSERT_EQ(D3D_OK, create(effecttest::readData("complex.fx"), effect, &messages));
    // The unknown state is reported, and only its technique suffers.
    EXPECT_NE(std::string::npos, messages.find("memory(114,")) << messages;
    EXPECT_NE(std::string::npos, messages.find("NoSuchState")) << messages;

    EXPECT_EQ(D3D_OK, effect->ValidateTechnique("Skinned"));
    EXPECT_EQ(D3D_OK, effect->ValidateTechnique("Fixed"));
    EXPECT_EQ(E_FAIL, effect->ValidateTechnique("Broken"));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->ValidateTechnique("Missing"));

    D3DXHANDLE found = nullptr;
    ASSERT_EQ(D3D_OK, effect->FindNextValidTechnique(nullptr, &found));
    EXPECT_EQ(effect->GetTechnique(0), found);
    ASSERT_EQ(D3D_OK, effect->FindNextValidTechnique(found, &found));
    EXPECT_EQ(effect->GetTechnique(1), found);
    EXPECT_EQ(S_FALSE, effect->FindNextValidTechnique(found, &found));
    EXPECT_EQ(nullptr, found);
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->FindNextValidTechnique(nullptr, nullptr));

    // The current technique starts as the first and follows SetTechnique,
    // valid or not.
    EXPECT_EQ(effect->GetTechnique(0), effect->GetCurrentTechnique());
    EXPECT_EQ(D3D_OK, effect->SetTechnique("Broken"));
    EXPECT_EQ(effect->GetTechnique(2), effect->GetCurrentTechnique());
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetTechnique("Missing"));
    EXPECT_EQ(effect->GetTechnique(2), effect->GetCurrentTechnique());
}

TEST_F(EffectTest, ParametersUsedByATechnique)
{
    Com<ID3DXEffect> effect;
    load("complex.fx", effect);
    D3DXHANDLE skinned = effect->GetTechniqueByName("Skinned");
    D3DXHANDLE fixed = effect->GetTechniqueByName("Fixed");
    // Read by the shaders' code (also through called functions and members).
    EXPECT_TRUE(effect->IsParameterUsed("Tint", skinned));
    EXPECT_TRUE(effect->IsParameterUsed("Bones", skinned));
    EXPECT_TRUE(effect->IsParameterUsed("Lights[2].color", skinned));
    // Read by a state's value, or picking a shader.
    EXPECT_TRUE(effect->IsParameterUsed("AlphaLevel", skinned));
    EXPECT_TRUE(effect->IsParameterUsed("ShaderIndex", skinned));
    // Textures through the samplers the shaders read, and directly.
    EXPECT_TRUE(effect->IsParameterUsed("Environment", skinned));
    EXPECT_TRUE(effect->IsParameterUsed("DiffuseMap", skinned));
    // Nothing reads these.
    EXPECT_FALSE(effect->IsParameterUsed("Mask", skinned));
    EXPECT_FALSE(effect->IsParameterUsed("Labels", skinned));
    EXPECT_FALSE(effect->IsParameterUsed("Tint", fixed));
    EXPECT_FALSE(effect->IsParameterUsed("Tint", "Missing"));

    Com<ID3DXEffect> phong;
    load("phong.fx", phong);
    EXPECT_TRUE(phong->IsParameterUsed("DiffuseTexture", "Phong"));
    EXPECT_TRUE(phong->IsParameterUsed("SpecularPower", "Phong"));
}

TEST_F(EffectTest, InterfacesDeviceAndStateManager)
{
    const ULONG alone = refCount(device.get());
    Com<ID3DXEffect> effect;
    load("phong.fx", effect);
    Com<IUnknown> unknown;
    EXPECT_EQ(S_OK, effect->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown.out())));
    Com<ID3DXEffect> same;
    EXPECT_EQ(S_OK, effect->QueryInterface(IID_ID3DXEffect, reinterpret_cast<void**>(same.out())));
    EXPECT_EQ(effect.get(), same.get());
    Com<ID3DXBaseEffect> base;
    EXPECT_EQ(E_NOINTERFACE, effect->QueryInterface(IID_ID3DXBaseEffect, reinterpret_cast<void**>(base.out())));

    const ULONG deviceRefs = refCount(device.get());
    Com<IDirect3DDevice9> owner;
    ASSERT_EQ(D3D_OK, effect->GetDevice(owner.out()));
    EXPECT_EQ(device.get(), owner.get());
    EXPECT_EQ(deviceRefs + 1, refCount(device.get()));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetDevice(nullptr));

    Com<ID3DXEffectPool> pool;
    EXPECT_EQ(D3D_OK, effect->GetPool(pool.out()));
    EXPECT_EQ(nullptr, pool.get());
    EXPECT_EQ(E_NOTIMPL, D3DXCreateEffectPool(pool.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXCreateEffectPool(nullptr));

    Com<ID3DXEffectStateManager> manager;
    EXPECT_EQ(D3D_OK, effect->GetStateManager(manager.out()));
    EXPECT_EQ(nullptr, manager.get());
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetStateManager(nullptr));

    // Releasing the effect releases its references to the device.
    owner.reset();
    same.reset();
    unknown.reset();
    effect.reset();
    EXPECT_EQ(alone, refCount(device.get()));
}
