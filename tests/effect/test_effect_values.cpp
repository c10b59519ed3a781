// Parameter values: the Get and Set functions with D3DX's conversions and
// refusals, textures held by reference, raw values and parameter blocks.

#include "EffectTestSupport.h"

#include <cstring>

using d3dtest::refCount;
using effecttest::Com;
using effecttest::EffectTest;

namespace {

const char* const VALUES_EFFECT = R"(
float F = 1.5;
int I = -3;
bool B = true;
float3 V3 = { 0.25, 0.5, 0.75 };
float4 V4;
int2 I2 = { 7, 8 };
float4 VA[3];
float2x3 M23 = { 1, 2, 3, 4, 5, 6 };
float4x4 MA[2];
string S = "text";
texture T;
texture2D T2;
sampler2D Smp = sampler_state { Texture = <T2>; };
struct Pair { float a; int b; };
Pair P = { 0.5, 9 };
)";

class EffectValueTest : public EffectTest
{
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        std::string messages;
        ASSERT_EQ(D3D_OK, create(VALUES_EFFECT, effect, &messages)) << messages;
    }
    void TearDown() override
    {
        effect.reset();
        EffectTest::TearDown();
    }

    Com<ID3DXEffect> effect;
};

D3DXMATRIX numbered(float first)
{
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = first + static_cast<float>(i);
    return m;
}

} // namespace

TEST_F(EffectValueTest, ScalarsConvertBetweenBoolIntAndFloat)
{
    INT n = 0;
    float f = 0;
    BOOL b = FALSE;
    // Floats become ints by truncation towards zero.
    ASSERT_EQ(D3D_OK, effect->SetFloat("I", 2.9f));
    EXPECT_EQ(D3D_OK, effect->GetInt("I", &n));
    EXPECT_EQ(2, n);
    ASSERT_EQ(D3D_OK, effect->SetFloat("I", -2.9f));
    EXPECT_EQ(D3D_OK, effect->GetInt("I", &n));
    EXPECT_EQ(-2, n);
    ASSERT_EQ(D3D_OK, effect->SetFloat("F", -7.75f));
    EXPECT_EQ(D3D_OK, effect->GetInt("F", &n));
    EXPECT_EQ(-7, n);
    // Ints and bools become floats by value.
    ASSERT_EQ(D3D_OK, effect->SetInt("F", 12));
    EXPECT_EQ(D3D_OK, effect->GetFloat("F", &f));
    EXPECT_EQ(12.0f, f);
    EXPECT_EQ(D3D_OK, effect->GetFloat("B", &f));
    EXPECT_EQ(1.0f, f);
    // Anything non-zero is TRUE, in both directions.
    ASSERT_EQ(D3D_OK, effect->SetFloat("B", 0.25f));
    EXPECT_EQ(D3D_OK, effect->GetBool("B", &b));
    EXPECT_EQ(TRUE, b);
    ASSERT_EQ(D3D_OK, effect->SetInt("B", 0));
    EXPECT_EQ(D3D_OK, effect->GetBool("B", &b));
    EXPECT_EQ(FALSE, b);
    EXPECT_EQ(D3D_OK, effect->GetBool("I", &b));
    EXPECT_EQ(TRUE, b);
    ASSERT_EQ(D3D_OK, effect->SetBool("F", TRUE));
    EXPECT_EQ(D3D_OK, effect->GetFloat("F", &f));
    EXPECT_EQ(1.0f, f);

    // Arrays of numbers read and write across vectors and matrices.
    float v[4] = {9, 9, 9, 9};
    EXPECT_EQ(D3D_OK, effect->GetFloatArray("V3", v, 4));
    EXPECT_EQ(0.25f, v[0]);
    EXPECT_EQ(0.75f, v[2]);
    EXPECT_EQ(9.0f, v[3]) << "a shorter parameter leaves the rest";
    INT ints[2] = {};
    EXPECT_EQ(D3D_OK, effect->GetIntArray("V3", ints, 2));
    EXPECT_EQ(0, ints[0]);
    const BOOL bools[3] = {TRUE, FALSE, 5};
    EXPECT_EQ(D3D_OK, effect->SetBoolArray("I2", bools, 3));
    EXPECT_EQ(D3D_OK, effect->GetIntArray("I2", ints, 2));
    EXPECT_EQ(1, ints[0]);
    EXPECT_EQ(0, ints[1]);
    float matrix[6];
    EXPECT_EQ(D3D_OK, effect->GetFloatArray("M23", matrix, 6));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(float(i + 1), matrix[i]);
}

TEST_F(EffectValueTest, ScalarFunctionsRefuseOtherShapes)
{
    float f;
    INT n;
    BOOL b;
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetFloat("V3", 1));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetFloat("VA", &f));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetBool("M23", &b));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetInt("I2", 1));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetInt("S", &n));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetFloat("P", 1));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetFloat("F", nullptr));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetFloatArray("T", &f, 1));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetFloatArray("P", &f, 1));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetFloat(nullptr, &f));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetFloat("Missing", 1));
}

TEST_F(EffectValueTest, ColoursPackIntoIntsAndBack)
{
    // An int written to a float vector of 3 or 4 components is a D3DCOLOR.
    ASSERT_EQ(D3D_OK, effect->SetInt("V4", static_cast<INT>(0x80FF4020)));
    D3DXVECTOR4 v;
    ASSERT_EQ(D3D_OK, effect->GetVector("V4", &v));
    EXPECT_FLOAT_EQ(1.0f, v.x);
    EXPECT_FLOAT_EQ(0x40 / 255.0f, v.y);
    EXPECT_FLOAT_EQ(0x20 / 255.0f, v.z);
    EXPECT_FLOAT_EQ(0x80 / 255.0f, v.w);
    INT color = 0;
    ASSERT_EQ(D3D_OK, effect->GetInt("V4", &color));
    EXPECT_EQ(static_cast<INT>(0x80FF4020), color);

    // A vector written to an int scalar is packed the other way.
    const D3DXVECTOR4 red(1, 0, 0, 1);
    ASSERT_EQ(D3D_OK, effect->SetVector("I", &red));
    ASSERT_EQ(D3D_OK, effect->GetInt("I", &color));
    EXPECT_EQ(static_cast<INT>(0xFFFF0000), color);
    ASSERT_EQ(D3D_OK, effect->GetVector("I", &v));
    EXPECT_EQ(red, v);
}

TEST_F(EffectValueTest, VectorsAndVectorArrays)
{
    const D3DXVECTOR4 value(1, 2, 3, 4);
    ASSERT_EQ(D3D_OK, effect->SetVector("V3", &value));
    D3DXVECTOR4 read;
    ASSERT_EQ(D3D_OK, effect->GetVector("V3", &read));
    EXPECT_EQ(D3DXVECTOR4(1, 2, 3, 0), read) << "missing components read as 0";
    ASSERT_EQ(D3D_OK, effect->SetVector("I2", &value));
    ASSERT_EQ(D3D_OK, effect->GetVector("I2", &read));
    EXPECT_EQ(D3DXVECTOR4(1, 2, 0, 0), read);
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetVector("M23", &value));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetVector("VA", &value));

    const D3DXVECTOR4 many[3] = {D3DXVECTOR4(1, 0, 0, 0), D3DXVECTOR4(0, 1, 0, 0), D3DXVECTOR4(0, 0, 1, 0)};
    ASSERT_EQ(D3D_OK, effect->SetVectorArray("VA", many, 3));
    D3DXVECTOR4 back[3];
    ASSERT_EQ(D3D_OK, effect->GetVectorArray("VA", back, 3));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(many[i], back[i]);
    ASSERT_EQ(D3D_OK, effect->GetVector("VA[1]", &read));
    EXPECT_EQ(many[1], read);
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetVectorArray("VA", many, 4));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetVectorArray("V4", many, 1));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetVectorArray("VA", back, 4));
    // Nothing asked, nothing checked.
    EXPECT_EQ(D3D_OK, effect->GetVectorArray(nullptr, nullptr, 0));
}

TEST_F(EffectValueTest, MatricesAndTheirTransposes)
{
    const D3DXMATRIX m = numbered(1);
    ASSERT_EQ(D3D_OK, effect->SetMatrix("M23", &m));
    D3DXMATRIX read;
    ASSERT_EQ(D3D_OK, effect->GetMatrix("M23", &read));
    // A 2x3 matrix keeps rows 0-1 and columns 0-2; the rest reads as 0.
    EXPECT_EQ(D3DXMATRIX(1, 2, 3, 0, 5, 6, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0), read);
    D3DXMATRIX transposed;
    ASSERT_EQ(D3D_OK, effect->GetMatrixTranspose("M23", &transposed));
    D3DXMATRIX expected;
    D3DXMatrixTranspose(&expected, &read);
    EXPECT_EQ(expected, transposed);

    // SetMatrixTranspose stores the transpose: reading it transposed gives
    // the matrix back.
    const D3DXMATRIX n = numbered(20);
    ASSERT_EQ(D3D_OK, effect->SetMatrixTranspose("MA[1]", &n));
    ASSERT_EQ(D3D_OK, effect->GetMatrixTranspose("MA[1]", &read));
    EXPECT_EQ(n, read);
    ASSERT_EQ(D3D_OK, effect->GetMatrix("MA[1]", &read));
    D3DXMatrixTranspose(&expected, &n);
    EXPECT_EQ(expected, read);

    // Arrays, by value and by pointer.
    const D3DXMATRIX pair[2] = {numbered(100), numbered(200)};
    ASSERT_EQ(D3D_OK, effect->SetMatrixArray("MA", pair, 2));
    D3DXMATRIX a, b;
    D3DXMATRIX* pointers[2] = {&a, &b};
    ASSERT_EQ(D3D_OK, effect->GetMatrixPointerArray("MA", pointers, 2));
    EXPECT_EQ(pair[0], a);
    EXPECT_EQ(pair[1], b);
    const D3DXMATRIX* constPointers[2] = {&pair[1], &pair[0]};
    ASSERT_EQ(D3D_OK, effect->SetMatrixTransposePointerArray("MA", constPointers, 2));
    D3DXMATRIX back[2];
    ASSERT_EQ(D3D_OK, effect->GetMatrixTransposeArray("MA", back, 2));
    EXPECT_EQ(pair[1], back[0]);
    EXPECT_EQ(pair[0], back[1]);

    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetMatrix("V4", &m));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetMatrix("MA", &m));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetMatrixArray("MA", pair, 3));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetMatrixArray("M23", back, 1));
    EXPECT_EQ(D3D_OK, effect->GetMatrixArray("Missing", nullptr, 0));
}

TEST_F(EffectValueTest, RawValuesAndStructs)
{
    struct {
        float a;
        int b;
    } pair = {2.5f, -4};
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetValue("P", &pair, 4)) << "fewer bytes than the parameter";
    ASSERT_EQ(D3D_OK, effect->SetValue("P", &pair, sizeof pair));
    INT b = 0;
    EXPECT_EQ(D3D_OK, effect->GetInt("P.b", &b));
    EXPECT_EQ(-4, b);

    const float twos[2] = {2, 2};
    ASSERT_EQ(D3D_OK, effect->SetRawValue("VA", twos, 20, sizeof twos));
    D3DXVECTOR4 second;
    ASSERT_EQ(D3D_OK, effect->GetVector("VA[1]", &second));
    EXPECT_EQ(2.0f, second.y);
    EXPECT_EQ(2.0f, second.z);
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetRawValue("VA", twos, 44, sizeof twos));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetRawValue("T", twos, 0, 4));

    // Samplers hold no value an application can read or write.
    void* pointer = nullptr;
    EXPECT_EQ(E_FAIL, effect->GetValue("Smp", &pointer, sizeof pointer));
    EXPECT_EQ(E_FAIL, effect->SetValue("Smp", &pointer, sizeof pointer));
}

TEST_F(EffectValueTest, StringsAreCopied)
{
    LPCSTR text = nullptr;
    ASSERT_EQ(D3D_OK, effect->GetString("S", &text));
    EXPECT_STREQ("text", text);
    char buffer[] = "changed";
    ASSERT_EQ(D3D_OK, effect->SetString("S", buffer));
    buffer[0] = 'X';
    ASSERT_EQ(D3D_OK, effect->GetString("S", &text));
    EXPECT_STREQ("changed", text);
    LPCSTR viaValue = nullptr;
    ASSERT_EQ(D3D_OK, effect->GetValue("S", &viaValue, sizeof viaValue));
    EXPECT_STREQ("changed", viaValue);
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetString("F", "x"));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetString("S", nullptr));
}

TEST_F(EffectValueTest, TexturesAreHeldByReference)
{
    Com<IDirect3DTexture9> texture;
    ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
    const ULONG alone = refCount(texture.get());
    ASSERT_EQ(D3D_OK, effect->SetTexture("T2", texture.get()));
    EXPECT_EQ(alone + 1, refCount(texture.get()));
    ASSERT_EQ(D3D_OK, effect->SetTexture("T2", texture.get()));
    EXPECT_EQ(alone + 1, refCount(texture.get())) << "the same texture again takes no second reference";

    Com<IDirect3DBaseTexture9> read;
    ASSERT_EQ(D3D_OK, effect->GetTexture("T2", read.out()));
    EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(texture.get()), read.get());
    EXPECT_EQ(alone + 2, refCount(texture.get()));
    read.reset();

    IDirect3DBaseTexture9* viaValue = nullptr;
    ASSERT_EQ(D3D_OK, effect->GetValue("T2", &viaValue, sizeof viaValue));
    EXPECT_EQ(alone + 2, refCount(texture.get()));
    viaValue->Release();

    ASSERT_EQ(D3D_OK, effect->SetTexture("T2", nullptr));
    EXPECT_EQ(alone, refCount(texture.get()));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->SetTexture("S", texture.get()));

    // The effect lets go of what it holds when it goes.
    ASSERT_EQ(D3D_OK, effect->SetTexture("T", texture.get()));
    EXPECT_EQ(alone + 1, refCount(texture.get()));
    effect.reset();
    EXPECT_EQ(alone, refCount(texture.get()));
}

TEST_F(EffectValueTest, LostDeviceReleasesDefaultPoolTexturesOnly)
{
    Com<IDirect3DTexture9> managed, target;
    ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, managed.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                            target.out(), nullptr));
    ASSERT_EQ(D3D_OK, effect->SetTexture("T", managed.get()));
    ASSERT_EQ(D3D_OK, effect->SetTexture("T2", target.get()));
    EXPECT_EQ(D3D_OK, effect->OnLostDevice());
    Com<IDirect3DBaseTexture9> read;
    ASSERT_EQ(D3D_OK, effect->GetTexture("T2", read.out()));
    EXPECT_EQ(nullptr, read.get());
    ASSERT_EQ(D3D_OK, effect->GetTexture("T", read.out()));
    EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(managed.get()), read.get());
    EXPECT_EQ(D3D_OK, effect->OnResetDevice());
}

TEST_F(EffectValueTest, ParameterBlocksRecordAndApply)
{
    Com<IDirect3DTexture9> texture;
    ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr));
    EXPECT_EQ(nullptr, effect->EndParameterBlock());
    ASSERT_EQ(D3D_OK, effect->BeginParameterBlock());
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->BeginParameterBlock());
    ASSERT_EQ(D3D_OK, effect->SetFloat("F", 5));
    ASSERT_EQ(D3D_OK, effect->SetString("S", "recorded"));
    ASSERT_EQ(D3D_OK, effect->SetTexture("T", texture.get()));
    D3DXHANDLE block = effect->EndParameterBlock();
    ASSERT_NE(nullptr, block);

    ASSERT_EQ(D3D_OK, effect->SetFloat("F", -1));
    ASSERT_EQ(D3D_OK, effect->SetString("S", "other"));
    ASSERT_EQ(D3D_OK, effect->SetTexture("T", nullptr));
    ASSERT_EQ(D3D_OK, effect->ApplyParameterBlock(block));
    float f = 0;
    EXPECT_EQ(D3D_OK, effect->GetFloat("F", &f));
    EXPECT_EQ(5.0f, f);
    LPCSTR text = nullptr;
    EXPECT_EQ(D3D_OK, effect->GetString("S", &text));
    EXPECT_STREQ("recorded", text);
    Com<IDirect3DBaseTexture9> read;
    EXPECT_EQ(D3D_OK, effect->GetTexture("T", read.out()));
    EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(texture.get()), read.get());
    read.reset();

    // An empty block applies nothing and says so.
    ASSERT_EQ(D3D_OK, effect->BeginParameterBlock());
    D3DXHANDLE empty = effect->EndParameterBlock();
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->ApplyParameterBlock(empty));

    EXPECT_EQ(D3D_OK, effect->DeleteParameterBlock(block));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->ApplyParameterBlock(block));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->DeleteParameterBlock(block));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->ApplyParameterBlock("F"));
}

TEST_F(EffectTest, CloneCarriesValues)
{
    Com<ID3DXEffect> effect, clone;
    load("phong.fx", effect);
    ASSERT_EQ(D3D_OK, effect->SetFloat("SpecularPower", 7));
    ASSERT_EQ(D3D_OK, effect->CloneEffect(device.get(), clone.out()));
    float f = 0;
    EXPECT_EQ(D3D_OK, clone->GetFloat("SpecularPower", &f));
    EXPECT_EQ(7.0f, f);
    ASSERT_EQ(D3D_OK, clone->SetFloat("SpecularPower", 9));
    EXPECT_EQ(D3D_OK, effect->GetFloat("SpecularPower", &f));
    EXPECT_EQ(7.0f, f);
    D3DXHANDLE technique = nullptr;
    EXPECT_EQ(D3D_OK, clone->FindNextValidTechnique(nullptr, &technique));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->CloneEffect(nullptr, clone.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->CloneEffect(device.get(), nullptr));

    Com<ID3DXEffect> fixed;
    const std::string source = effecttest::readData("phong.fx");
    ASSERT_EQ(D3D_OK, D3DXCreateEffect(device.get(), source.data(), static_cast<UINT>(source.size()), nullptr,
                                       nullptr, D3DXFX_NOT_CLONEABLE, nullptr, fixed.out(), nullptr));
    EXPECT_EQ(E_FAIL, fixed->CloneEffect(device.get(), clone.out()));
}
