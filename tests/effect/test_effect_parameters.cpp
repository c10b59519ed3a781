// Parameters of effects as D3DX describes them: the tables of the sample
// effects, annotations, initial values, structs and arrays, and handles
// given as names.

#include "EffectTestSupport.h"

#include <cstring>

using effecttest::Com;
using effecttest::EffectTest;

namespace {

struct ExpectedParameter {
    const char* name;
    const char* semantic;
    D3DXPARAMETER_CLASS parameterClass;
    D3DXPARAMETER_TYPE type;
    UINT rows, columns, elements, annotations, structMembers, bytes;
    DWORD flags;
};

const UINT POINTER = sizeof(void*);

void expectTable(ID3DXEffect* effect, const ExpectedParameter* expected, size_t count)
{
    D3DXEFFECT_DESC desc;
    ASSERT_EQ(D3D_OK, effect->GetDesc(&desc));
    ASSERT_EQ(count, desc.Parameters);
    for (size_t i = 0; i < count; ++i) {
        const ExpectedParameter& e = expected[i];
        SCOPED_TRACE(e.name);
        D3DXHANDLE handle = effect->GetParameter(nullptr, static_cast<UINT>(i));
        ASSERT_NE(nullptr, handle);
        EXPECT_EQ(handle, effect->GetParameterByName(nullptr, e.name));
        D3DXPARAMETER_DESC d;
        ASSERT_EQ(D3D_OK, effect->GetParameterDesc(handle, &d));
        EXPECT_STREQ(e.name, d.Name);
        if (e.semantic)
            EXPECT_STREQ(e.semantic, d.Semantic);
        else
            EXPECT_EQ(nullptr, d.Semantic);
        EXPECT_EQ(e.parameterClass, d.Class);
        EXPECT_EQ(e.type, d.Type);
        EXPECT_EQ(e.rows, d.Rows);
        EXPECT_EQ(e.columns, d.Columns);
        EXPECT_EQ(e.elements, d.Elements);
        EXPECT_EQ(e.annotations, d.Annotations);
        EXPECT_EQ(e.structMembers, d.StructMembers);
        EXPECT_EQ(e.bytes, d.Bytes);
        EXPECT_EQ(e.flags, d.Flags);
    }
    EXPECT_EQ(nullptr, effect->GetParameter(nullptr, static_cast<UINT>(count)));
}

std::string annotationString(ID3DXEffect* effect, D3DXHANDLE object, const char* name)
{
    D3DXHANDLE annotation = effect->GetAnnotationByName(object, name);
    LPCSTR text = nullptr;
    if (!annotation || effect->GetString(annotation, &text) != D3D_OK || !text)
        return "<none>";
    return text;
}

float annotationFloat(ID3DXEffect* effect, D3DXHANDLE object, const char* name)
{
    float value = -12345.0f;
    effect->GetFloat(effect->GetAnnotationByName(object, name), &value);
    return value;
}

} // namespace

TEST_F(EffectTest, PhongParameterTable)
{
    Com<ID3DXEffect> effect;
    load("phong.fx", effect);
    const ExpectedParameter expected[] = {
        {"WorldViewProjection", "WorldViewProjection", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4, 0, 0, 0, 64, 0},
        {"World", "World", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4, 0, 0, 0, 64, 0},
        {"WorldInverseTranspose", "WorldInverseTranspose", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4, 0, 0, 0, 64, 0},
        {"ViewInverse", "ViewInverse", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4, 0, 0, 0, 64, 0},
        {"LightPosition", "Position", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 3, 0, 2, 0, 12, 0},
        {"LightColor", "Diffuse", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 0, 0, 0, 16, 0},
        {"AmbientColor", "Ambient", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 0, 0, 0, 16, 0},
        {"SpecularPower", "SpecularPower", D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 0, 0, 0, 4, 0},
        {"DiffuseTexture", "Diffuse", D3DXPC_OBJECT, D3DXPT_TEXTURE, 0, 0, 0, 2, 0, POINTER, 0},
        {"DiffuseSampler", nullptr, D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 0, 0, 0, 0, 0, 0, 0},
    };
    expectTable(effect.get(), expected, sizeof(expected) / sizeof(expected[0]));

    D3DXVECTOR4 v;
    ASSERT_EQ(D3D_OK, effect->GetVector("LightPosition", &v));
    EXPECT_EQ(D3DXVECTOR4(10, 10, -10, 0), v);
    ASSERT_EQ(D3D_OK, effect->GetVector("AmbientColor", &v));
    EXPECT_EQ(D3DXVECTOR4(0.1f, 0.1f, 0.1f, 1), v);
    float power = 0;
    ASSERT_EQ(D3D_OK, effect->GetFloat("SpecularPower", &power));
    EXPECT_EQ(32.0f, power);
    EXPECT_EQ("PointLight", annotationString(effect.get(), "LightPosition", "Object"));
    EXPECT_EQ("World", annotationString(effect.get(), "LightPosition", "Space"));
    EXPECT_EQ("default_color.dds", annotationString(effect.get(), "DiffuseTexture", "ResourceName"));
}

TEST_F(EffectTest, CubemapParameterTable)
{
    Com<ID3DXEffect> effect;
    load("cubemap.fx", effect);
    const ExpectedParameter expected[] = {
        {"WorldViewProj", "WORLDVIEWPROJECTION", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4, 0, 0, 0, 64, 0},
        {"World", "WORLD", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4, 0, 0, 0, 64, 0},
        {"ViewInv", "VIEWINVERSE", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4, 0, 0, 0, 64, 0},
        {"Reflectivity", nullptr, D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 0, 4, 0, 4, 0},
        {"BaseColor", "DIFFUSE", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 3, 0, 1, 0, 12, 0},
        {"EnvTexture", "ENVIRONMENT", D3DXPC_OBJECT, D3DXPT_TEXTURECUBE, 0, 0, 0, 2, 0, POINTER, 0},
        {"EnvSampler", nullptr, D3DXPC_OBJECT, D3DXPT_SAMPLERCUBE, 0, 0, 0, 0, 0, 0, 0},
    };
    expectTable(effect.get(), expected, sizeof(expected) / sizeof(expected[0]));

    // Semantics are found without regard to case; a parameter without one
    // is what a null semantic finds.
    EXPECT_EQ(effect->GetParameterByName(nullptr, "BaseColor"), effect->GetParameterBySemantic(nullptr, "diffuse"));
    EXPECT_EQ(effect->GetParameterByName(nullptr, "EnvTexture"),
              effect->GetParameterBySemantic(nullptr, "Environment"));
    EXPECT_EQ(effect->GetParameterByName(nullptr, "Reflectivity"), effect->GetParameterBySemantic(nullptr, nullptr));
    EXPECT_EQ(nullptr, effect->GetParameterBySemantic(nullptr, "CubicEnvironment"));
    EXPECT_EQ(1.0f, annotationFloat(effect.get(), "Reflectivity", "UIMax"));
}

TEST_F(EffectTest, ShadedParameterTable)
{
    Com<ID3DXEffect> effect;
    load("shaded.fx", effect);
    const ExpectedParameter expected[] = {
        {"WorldViewProjection", "WorldViewProjection", D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 4, 4, 0, 0, 0, 64, 0},
        {"ViewPosition", "ViewPosition", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 0, 0, 0, 16, 0},
        {"FillTexture", nullptr, D3DXPC_OBJECT, D3DXPT_TEXTURE, 0, 0, 0, 1, 0, POINTER, 0},
        {"FillSampler", nullptr, D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 0, 0, 0, 0, 0, 0, 0},
    };
    expectTable(effect.get(), expected, sizeof(expected) / sizeof(expected[0]));
}

TEST_F(EffectTest, UserInterfaceAnnotationsByIndexAndName)
{
    Com<ID3DXEffect> effect;
    load("ui_annotations.fx", effect);
    D3DXEFFECT_DESC desc;
    ASSERT_EQ(D3D_OK, effect->GetDesc(&desc));
    EXPECT_EQ(13u, desc.Parameters);
    EXPECT_EQ(2u, desc.Techniques);

    // Annotations in declaration order, each a parameter with its own type.
    const char* scriptNames[] = {"UIWidget", "ScriptClass", "ScriptOrder", "ScriptOutput", "Script"};
    const char* scriptValues[] = {"none", "object", "standard", "color", "Technique=Main;"};
    D3DXHANDLE script = effect->GetParameterByName(nullptr, "Script");
    ASSERT_EQ(5u, describe(effect.get(), script).Annotations);
    for (UINT i = 0; i < 5; ++i) {
        D3DXHANDLE annotation = effect->GetAnnotation(script, i);
        ASSERT_NE(nullptr, annotation);
        EXPECT_EQ(annotation, effect->GetAnnotationByName(script, scriptNames[i]));
        D3DXPARAMETER_DESC d = describe(effect.get(), annotation);
        EXPECT_STREQ(scriptNames[i], d.Name);
        EXPECT_EQ(D3DXPC_OBJECT, d.Class);
        EXPECT_EQ(D3DXPT_STRING, d.Type);
        EXPECT_EQ(DWORD(D3DX_PARAMETER_ANNOTATION), d.Flags);
        EXPECT_EQ(scriptValues[i], annotationString(effect.get(), script, scriptNames[i]));
    }
    EXPECT_EQ(nullptr, effect->GetAnnotation(script, 5));
    EXPECT_EQ(nullptr, effect->GetAnnotationByName(script, "Missing"));

    // Numbers keep their declared types.
    D3DXHANDLE ks = effect->GetParameterByName(nullptr, "Ks");
    D3DXPARAMETER_DESC step = describe(effect.get(), effect->GetAnnotationByName(ks, "UIStep"));
    EXPECT_EQ(D3DXPC_SCALAR, step.Class);
    EXPECT_EQ(D3DXPT_FLOAT, step.Type);
    EXPECT_FLOAT_EQ(0.05f, annotationFloat(effect.get(), ks, "UIStep"));
    EXPECT_EQ(0.0f, annotationFloat(effect.get(), ks, "UIMin"));
    EXPECT_EQ(1.0f, annotationFloat(effect.get(), ks, "UIMax"));
    EXPECT_EQ("slider", annotationString(effect.get(), ks, "UIWidget"));

    D3DXHANDLE steps = effect->GetParameterByName(nullptr, "NumSteps");
    D3DXHANDLE maximum = effect->GetAnnotationByName(steps, "UIMax");
    EXPECT_EQ(D3DXPT_INT, describe(effect.get(), maximum).Type);
    INT n = 0;
    EXPECT_EQ(D3D_OK, effect->GetInt(maximum, &n));
    EXPECT_EQ(8, n);
    // An annotation is found by "parameter@annotation" as well.
    EXPECT_EQ(maximum, effect->GetParameterByName(nullptr, "NumSteps@UIMax"));

    // Techniques and passes have annotations too; a technique may be named
    // where a handle is expected.
    EXPECT_EQ("Pass=p0;", annotationString(effect.get(), "Main", "Script"));
    D3DXHANDLE pass = effect->GetPassByName("Main", "p0");
    ASSERT_NE(nullptr, pass);
    EXPECT_EQ("Draw=geometry;", annotationString(effect.get(), pass, "Script"));
    EXPECT_EQ(nullptr, effect->GetAnnotation(effect->GetTechniqueByName("Wire"), 0));
}

TEST_F(EffectTest, InitialValuesOfEveryKind)
{
    Com<ID3DXEffect> effect;
    load("ui_annotations.fx", effect);
    float f = 0;
    EXPECT_EQ(D3D_OK, effect->GetFloat("Script", &f));
    EXPECT_FLOAT_EQ(0.8f, f);
    EXPECT_EQ(D3D_OK, effect->GetFloat("SpecExpon", &f));
    EXPECT_EQ(55.0f, f);
    INT n = 0;
    EXPECT_EQ(D3D_OK, effect->GetInt("NumSteps", &n));
    EXPECT_EQ(4, n);
    BOOL b = FALSE;
    EXPECT_EQ(D3D_OK, effect->GetBool("UseSpecular", &b));
    EXPECT_EQ(TRUE, b);
    float direction[3];
    EXPECT_EQ(D3D_OK, effect->GetFloatArray("Lamp0Dir", direction, 3));
    EXPECT_FLOAT_EQ(0.7f, direction[0]);
    EXPECT_FLOAT_EQ(-0.7f, direction[1]);
    EXPECT_FLOAT_EQ(-0.7f, direction[2]);
    LPCSTR description = nullptr;
    EXPECT_EQ(D3D_OK, effect->GetString("Description", &description));
    EXPECT_STREQ("Blinn-Phong with UI annotations", description);
    EXPECT_EQ(D3DXPT_STRING, describe(effect.get(), "Description").Type);
}

TEST_F(EffectTest, StructsArraysAndTheirHandles)
{
    Com<ID3DXEffect> effect;
    load("complex.fx", effect);
    const ExpectedParameter expected[] = {
        {"Lights", "LIGHTS", D3DXPC_STRUCT, D3DXPT_VOID, 1, 7, 4, 0, 3, 112, 0},
        {"KeyLight", nullptr, D3DXPC_STRUCT, D3DXPT_VOID, 1, 7, 0, 0, 3, 28, 0},
        {"Bones", nullptr, D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 3, 26, 0, 0, 26 * 48, 0},
        {"Basis", nullptr, D3DXPC_MATRIX_COLUMNS, D3DXPT_FLOAT, 3, 3, 0, 0, 0, 36, 0},
        {"ShaderIndex", nullptr, D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 0, 0, 0, 4, 0},
        {"Scale", nullptr, D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 0, 0, 0, 4, 0},
        {"Flags", nullptr, D3DXPC_SCALAR, D3DXPT_BOOL, 1, 1, 3, 0, 0, 12, 0},
        {"Mask", nullptr, D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 0, 0, 0, 4, 0},
        {"Count", nullptr, D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 0, 0, 0, 4, 0},
        {"Tint", nullptr, D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 0, 3, 0, 16, 0},
        {"Labels", nullptr, D3DXPC_OBJECT, D3DXPT_STRING, 0, 0, 2, 0, 0, 2 * POINTER, 0},
        {"SharedValue", nullptr, D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 0, 0, 0, 4, D3DX_PARAMETER_SHARED},
        {"AlphaLevel", nullptr, D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 0, 0, 0, 4, 0},
        {"DiffuseMap", nullptr, D3DXPC_OBJECT, D3DXPT_TEXTURE2D, 0, 0, 0, 0, 0, POINTER, 0},
        {"Environment", "ENVIRONMENT", D3DXPC_OBJECT, D3DXPT_TEXTURECUBE, 0, 0, 0, 0, 0, POINTER, 0},
        {"DiffuseSampler", nullptr, D3DXPC_OBJECT, D3DXPT_SAMPLER, 0, 0, 0, 0, 0, 0, 0},
        {"EnvSampler", nullptr, D3DXPC_OBJECT, D3DXPT_SAMPLER, 0, 0, 0, 0, 0, 0, 0},
        {"SkinShaders", nullptr, D3DXPC_OBJECT, D3DXPT_VERTEXSHADER, 0, 0, 2, 0, 0, 2 * POINTER, 0},
        {"PlainPS", nullptr, D3DXPC_OBJECT, D3DXPT_PIXELSHADER, 0, 0, 0, 0, 0, POINTER, 0},
    };
    expectTable(effect.get(), expected, sizeof(expected) / sizeof(expected[0]));

    // Elements of an array: by index, by GetParameter and by name.
    D3DXHANDLE lights = effect->GetParameterByName(nullptr, "Lights");
    D3DXHANDLE second = effect->GetParameterElement(lights, 1);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(second, effect->GetParameter(lights, 1));
    EXPECT_EQ(second, effect->GetParameterByName(nullptr, "Lights[1]"));
    EXPECT_EQ(second, effect->GetParameterByName(lights, "[1]"));
    EXPECT_EQ(nullptr, effect->GetParameterElement(lights, 4));
    D3DXPARAMETER_DESC element = describe(effect.get(), second);
    EXPECT_STREQ("Lights", element.Name);
    EXPECT_EQ(0u, element.Elements);
    EXPECT_EQ(3u, element.StructMembers);
    EXPECT_EQ(28u, element.Bytes);

    // Members of a struct: by index, by name relative to the struct and by path.
    D3DXHANDLE color = effect->GetParameterByName(nullptr, "Lights[1].color");
    ASSERT_NE(nullptr, color);
    EXPECT_EQ(color, effect->GetParameter(second, 1));
    EXPECT_EQ(color, effect->GetParameterByName(second, "color"));
    EXPECT_EQ(color, effect->GetParameterBySemantic(second, "Diffuse"));
    D3DXPARAMETER_DESC member = describe(effect.get(), color);
    EXPECT_STREQ("color", member.Name);
    EXPECT_STREQ("DIFFUSE", member.Semantic);
    EXPECT_EQ(D3DXPC_VECTOR, member.Class);
    EXPECT_EQ(3u, member.Columns);
    EXPECT_EQ(nullptr, effect->GetParameter(second, 3));

    // A struct's initial value is its members' in order; GetValue reads the
    // whole struct.
    float key[7] = {};
    ASSERT_EQ(D3D_OK, effect->GetValue("KeyLight", key, sizeof key));
    const float expectedKey[7] = {1, 2, 3, 0.5f, 0.25f, 1, 10};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(expectedKey[i], key[i]) << i;
    float range = 0;
    EXPECT_EQ(D3D_OK, effect->GetFloat("KeyLight.range", &range));
    EXPECT_EQ(10.0f, range);

    D3DXMATRIX basis;
    ASSERT_EQ(D3D_OK, effect->GetMatrix("Basis", &basis));
    EXPECT_EQ(D3DXMATRIX(1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 0), basis);
    float scale = 0;
    EXPECT_EQ(D3D_OK, effect->GetFloat("Scale", &scale));
    EXPECT_FLOAT_EQ(3.14159265f / 2, scale);
    BOOL flags[3] = {};
    EXPECT_EQ(D3D_OK, effect->GetBoolArray("Flags", flags, 3));
    EXPECT_EQ(TRUE, flags[0]);
    EXPECT_EQ(FALSE, flags[1]);
    EXPECT_EQ(TRUE, flags[2]);
    INT mask = 0;
    EXPECT_EQ(D3D_OK, effect->GetInt("Mask", &mask));
    EXPECT_EQ(0x00FF00FF, mask);
    D3DXVECTOR4 tint;
    EXPECT_EQ(D3D_OK, effect->GetVector("Tint", &tint));
    EXPECT_EQ(D3DXVECTOR4(1, 1, 1, 2), tint);
    float shared = 0;
    EXPECT_EQ(D3D_OK, effect->GetFloat("SharedValue", &shared));
    EXPECT_EQ(-1.5f, shared);

    // Annotations of vector and array types.
    D3DXVECTOR4 defaultTint;
    EXPECT_EQ(D3D_OK, effect->GetVector(effect->GetAnnotationByName("Tint", "Default"), &defaultTint));
    EXPECT_EQ(D3DXVECTOR4(1, 0.5f, 0.25f, 1), defaultTint);
    D3DXHANDLE values = effect->GetAnnotationByName("Tint", "Values");
    EXPECT_EQ(2u, describe(effect.get(), values).Elements);
    INT pair[2] = {};
    EXPECT_EQ(D3D_OK, effect->GetIntArray(values, pair, 2));
    EXPECT_EQ(3, pair[0]);
    EXPECT_EQ(4, pair[1]);

    LPCSTR label = nullptr;
    EXPECT_EQ(D3D_OK, effect->GetString(effect->GetParameterElement("Labels", 1), &label));
    EXPECT_STREQ("second", label);
    EXPECT_EQ(D3DERR_INVALIDCALL, effect->GetString("Labels", &label));
}

TEST_F(EffectTest, HandlesOfAnotherEffectReadAsNames)
{
    Com<ID3DXEffect> phong, cubemap, again;
    load("phong.fx", phong);
    load("cubemap.fx", cubemap);
    load("phong.fx", again);

    // The same name in another effect: its own parameter.
    D3DXHANDLE world = phong->GetParameterByName(nullptr, "World");
    EXPECT_EQ(cubemap->GetParameterByName(nullptr, "World"), cubemap->GetParameterByName(nullptr, world));
    D3DXMATRIX scaling;
    D3DXMatrixScaling(&scaling, 2, 3, 4);
    EXPECT_EQ(D3D_OK, cubemap->SetMatrix(world, &scaling));
    D3DXMATRIX read;
    EXPECT_EQ(D3D_OK, cubemap->GetMatrix("World", &read));
    EXPECT_EQ(scaling, read);

    // A name this effect does not have is refused, never followed.
    D3DXHANDLE power = phong->GetParameterByName(nullptr, "SpecularPower");
    float f;
    EXPECT_EQ(D3DERR_INVALIDCALL, cubemap->GetFloat(power, &f));
    EXPECT_EQ(D3DERR_INVALIDCALL, cubemap->GetFloat("NoSuchParameter", &f));
    D3DXPARAMETER_DESC desc;
    EXPECT_EQ(D3DERR_INVALIDCALL, cubemap->GetParameterDesc(power, &desc));
    EXPECT_EQ(D3DERR_INVALIDCALL, cubemap->GetParameterDesc(nullptr, &desc));

    // Two effects of one file keep separate values.
    EXPECT_EQ(D3D_OK, phong->SetFloat("SpecularPower", 4));
    EXPECT_EQ(D3D_OK, again->GetFloat("SpecularPower", &f));
    EXPECT_EQ(32.0f, f);
}

TEST_F(EffectTest, RowMajorPackingAsTheDefault)
{
    const std::string source = "float4x4 A; column_major float4x4 B; row_major float3x4 C;\n"
                               "#pragma pack_matrix(column_major)\n"
                               "float4x4 D;\n";
    Com<ID3DXEffect> effect;
    ASSERT_EQ(D3D_OK, create(source, effect, nullptr, D3DXSHADER_PACKMATRIX_ROWMAJOR));
    EXPECT_EQ(D3DXPC_MATRIX_ROWS, describe(effect.get(), "A").Class);
    EXPECT_EQ(D3DXPC_MATRIX_COLUMNS, describe(effect.get(), "B").Class);
    EXPECT_EQ(D3DXPC_MATRIX_ROWS, describe(effect.get(), "C").Class);
    EXPECT_EQ(D3DXPC_MATRIX_COLUMNS, describe(effect.get(), "D").Class);
    ASSERT_EQ(D3D_OK, create(source, effect));
    EXPECT_EQ(D3DXPC_MATRIX_COLUMNS, describe(effect.get(), "A").Class);
}
