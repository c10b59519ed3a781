#define SCALE(x, s) ((x) * (s))
#ifndef QUALITY
#define QUALITY 2
#endif

float4x4 WorldViewProjection : WORLDVIEWPROJECTION;
float Time : TIME < string UIName = "Time"; float UIMin = 0; float UIMax = 10; > = 1.0;

struct Surface { float3 albedo; float roughness; };

Surface makeSurface(float2 uv)
{
    Surface s;
    s.albedo = float3(uv, 0.5);
    s.roughness = uv.x * uv.y;
    return s;
}

void accumulate(inout float3 total, in float3 value, out float weight)
{
    weight = dot(value, 1.0 / 3.0);
    total += value * weight;
}

float wave(float x) { return sin(x * 6.2831853 + Time); }
float2 wave(float2 x) { return float2(wave(x.x), wave(x.y)); }

static float counter = 0;

void FunctionVS(float4 pos : POSITION, float2 uv : TEXCOORD0, out float4 oPos : POSITION, out float2 oUv : TEXCOORD0)
{
    oPos = mul(pos, WorldViewProjection);
    oUv = uv + SCALE(wave(uv), 0.1);
}

float4 FunctionPS(float2 uv : TEXCOORD0) : COLOR
{
    Surface s = makeSurface(uv);
    float3 total = 0;
    float w;
#if QUALITY > 1
    accumulate(total, s.albedo, w);
#else
    w = 1;
#endif
    counter += w;
    return float4(total * s.roughness, counter);
}

technique High < string Quality = "High"; int Level = QUALITY; >
{
    pass P0 < string Name = "first"; >
    {
        FillMode = Solid;
        ShadeMode = Gouraud;
        VertexShader = compile vs_2_0 FunctionVS();
        PixelShader = compile ps_2_0 FunctionPS();
    }
}

technique Fixed
{
    pass P0
    {
        VertexShader = NULL;
        PixelShader = NULL;
        Lighting = true;
        LightEnable[0] = true;
        LightType[0] = Directional;
        LightDirection[0] = { 0, 0, 1 };
        MaterialDiffuse = { 1, 0, 0, 1 };
        WorldTransform[0] = <WorldViewProjection>;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
    }
}
