// Skinning, several lights, loops and discards: the constructs of larger
// Direct3D 9 effects, in plain HLSL.
#define MAX_LIGHTS 4
#define MAX_BONES 26

static const float3 LUMINANCE = float3(0.299, 0.587, 0.114);

struct Light {
    float3 position;
    float3 color;
    float range;
};

struct Material {
    float4 diffuse;
    float4 specular;
    float shininess;
};

float4x4 ViewProjection : VIEWPROJECTION;
float4x3 Bones[MAX_BONES];
float3x3 NormalRotation;
Light Lights[MAX_LIGHTS];
Material Mtl = { {1, 1, 1, 1}, {1, 1, 1, 1}, 40 };
int LightCount = 2;
bool UseFog = false;
float AlphaReference = 0.5;
sampler2D DiffuseSampler;

struct SkinIn {
    float4 position : POSITION;
    float3 normal : NORMAL;
    float4 weights : BLENDWEIGHT;
    float4 indices : BLENDINDICES;
    float2 uv : TEXCOORD0;
    float4 color : COLOR0;
};

struct SkinOut {
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
    float3 normal : TEXCOORD1;
    float3 world : TEXCOORD2;
    float4 color : COLOR0;
    float fog : FOG;
};

SkinOut SkinVS(SkinIn IN, uniform int bones)
{
    SkinOut OUT = (SkinOut)0;
    int4 index = D3DCOLORtoUBYTE4(IN.indices);
    float3 position = 0;
    float3 normal = 0;
    float last = 1;
    [unroll] for (int b = 0; b < bones - 1; ++b) {
        position += mul(IN.position, Bones[index[b]]) * IN.weights[b];
        normal += mul(IN.normal, (float3x3)Bones[index[b]]) * IN.weights[b];
        last -= IN.weights[b];
    }
    position += mul(IN.position, Bones[index[bones - 1]]) * last;
    normal += mul(IN.normal, (float3x3)Bones[index[bones - 1]]) * last;
    OUT.position = mul(float4(position, 1), ViewProjection);
    OUT.world = position;
    OUT.normal = normalize(mul(normal, NormalRotation));
    OUT.uv = IN.uv;
    OUT.color = IN.color;
    OUT.fog = UseFog ? saturate(1 - OUT.position.z / 100) : 1;
    return OUT;
}

SkinOut SkinVS4(SkinIn IN)
{
    return SkinVS(IN, 4);
}

float3 shade(float3 world, float3 normal, Light light)
{
    float3 toLight = light.position - world;
    float distance2 = dot(toLight, toLight);
    if (distance2 > light.range * light.range)
        return 0;
    float3 l = toLight * rsqrt(distance2);
    float diffuse = saturate(dot(normal, l));
    float3 h = normalize(l + float3(0, 0, 1));
    float specular = pow(saturate(dot(normal, h)), Mtl.shininess);
    return light.color * (diffuse * Mtl.diffuse.rgb + specular * Mtl.specular.rgb);
}

float4 LitPS(SkinOut IN) : COLOR
{
    float4 texel = tex2D(DiffuseSampler, IN.uv);
    clip(texel.a - AlphaReference);
    float3 n = normalize(IN.normal);
    float3 color = 0;
    int i = 0;
    while (i < LightCount) {
        color += shade(IN.world, n, Lights[i]);
        ++i;
    }
    if (dot(color, LUMINANCE) > 4)
        discard;
    float s, c;
    sincos(IN.uv.x, s, c);
    color = lerp(color, smoothstep(0, 1, color), 0.25 * abs(s * c));
    switch (LightCount) {
    case 0: color = IN.color.rgb; break;
    case 1: color *= 0.5; break;
    default: break;
    }
    return float4(color * texel.rgb * IN.color.rgb, texel.a * IN.fog);
}
