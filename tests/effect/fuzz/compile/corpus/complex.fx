// Structs, arrays, static constants, shader variables, compile arguments
// and the kinds of state values an effect can assign.
#define MAX_LIGHTS 4
static const float PI = 3.14159265;

struct Light {
    float3 position;
    float3 color : DIFFUSE;
    float range;
};

Light Lights[MAX_LIGHTS] : LIGHTS;
Light KeyLight = { {1, 2, 3}, {0.5, 0.25, 1}, 10 };
row_major float4x3 Bones[26];
float3x3 Basis = { 1, 2, 3, 4, 5, 6, 7, 8, 9 };
int ShaderIndex = 1;
half Scale = PI / 2;
bool Flags[3] = { true, false, true };
DWORD Mask = 0x00FF00FF;
uint Count = 7u;
float4 Tint <
    string UIName = "Tint";
    float4 Default = float4(1, 0.5, 0.25, 1);
    int Values[2] = { 3, 4 };
> = float4(0.5, 0.5, 0.5, 1) * 2;
string Labels[2] = { "first", "second" };
shared float SharedValue = -1.5;
float AlphaLevel = 0.5;

texture2D DiffuseMap;
textureCUBE Environment : ENVIRONMENT;
sampler DiffuseSampler = sampler_state {
    Texture = (DiffuseMap);
    MinFilter = Point;
    MagFilter = Linear;
    AddressU = Mirror;
};
sampler EnvSampler = sampler_state { Texture = <Environment>; MipFilter = Linear; };

struct VSOut {
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
    float3 normal : TEXCOORD1;
};

VSOut SkinVS(float4 position : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0, uniform int bones)
{
    VSOut o;
    float3 p = 0;
    for (int i = 0; i < bones; ++i)
        p += mul(position, Bones[i]);
    o.position = float4(p * Scale, 1);
    o.uv = uv;
    o.normal = normal;
    return o;
}

float4 LitPS(VSOut i, uniform bool useEnvironment) : COLOR
{
    float4 c = tex2D(DiffuseSampler, i.uv) * Tint;
    if (useEnvironment)
        c += texCUBE(EnvSampler, i.normal);
    for (int l = 0; l < MAX_LIGHTS; ++l)
        c.rgb += Lights[l].color * saturate(1 - length(Lights[l].position) / Lights[l].range);
    return c;
}

VertexShader SkinShaders[2] = { compile vs_2_0 SkinVS(1), compile vs_2_0 SkinVS(2) };
PixelShader PlainPS = compile ps_2_0 LitPS(false);

technique Skinned < string Category = "skin"; int Order = 1; >
{
    pass Opaque < float Weight = 0.75; >
    {
        VertexShader = (SkinShaders[ShaderIndex]);
        PixelShader = compile ps_2_0 LitPS(true);
        CullMode = None;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        AlphaBlendEnable = TRUE;
        AlphaRef = (AlphaLevel * 255);
        ZFunc = LessEqual;
        ColorWriteEnable = RED | GREEN | BLUE;
        FogColor = float4(1, 0, 0, 1);
        MinFilter[2] = Anisotropic;
        ColorOp[0] = Modulate;
        TexCoordIndex[1] = 1;
        Texture[3] = <DiffuseMap>;
    }
    pass Wire
    {
        VertexShader = (SkinShaders[0]);
        PixelShader = (PlainPS);
        FillMode = Wireframe;
        Sampler[5] = (DiffuseSampler);
    }
}

technique Fixed
{
    pass P0
    {
        VertexShader = NULL;
        PixelShader = NULL;
        Lighting = true;
        Ambient = 0xFF204060;
    }
}

technique Broken
{
    pass P0
    {
        NoSuchState = 1;
    }
}
