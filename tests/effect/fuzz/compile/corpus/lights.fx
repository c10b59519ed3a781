// Arrays of structs indexed in loops
struct Light {
    float3 position;
    float3 color;
    float range;
    bool enabled;
};

Light Lights[4] = {
    { {0, 1, 0}, {1, 1, 1}, 10.0, true },
    { {1, 0, 0}, {1, 0, 0}, 5.0, false },
    { {0, 0, 1}, {0, 1, 0}, 2.0, true },
    { {1, 1, 1}, {0, 0, 1}, 1.0, true }
};
int LightCount = 3;
float4x4 World : World;
float4x4 ViewProjection : ViewProjection;

struct VS_OUT { float4 pos : POSITION; float3 world : TEXCOORD0; float3 normal : TEXCOORD1; };

VS_OUT LightVS(float4 pos : POSITION, float3 normal : NORMAL)
{
    VS_OUT o;
    float4 w = mul(pos, World);
    o.pos = mul(w, ViewProjection);
    o.world = w.xyz;
    o.normal = mul(normal, (float3x3)World);
    return o;
}

float3 shade(Light light, float3 p, float3 n)
{
    float3 l = light.position - p;
    float d = length(l);
    float att = saturate(1 - d / light.range);
    return light.color * saturate(dot(n, l / max(d, 1e-4))) * att;
}

float4 LightPS(VS_OUT i) : COLOR
{
    float3 n = normalize(i.normal);
    float3 c = 0;
    for (int k = 0; k < LightCount; ++k)
        if (Lights[k].enabled)
            c += shade(Lights[k], i.world, n);
    return float4(c, 1);
}

technique Lighting
{
    pass P0
    {
        ZEnable = true;
        CullMode = CCW;
        VertexShader = compile vs_3_0 LightVS();
        PixelShader = compile ps_3_0 LightPS();
    }
}
