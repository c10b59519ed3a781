// The shaded benchmark effect with its effect syntax blanked out: a sphere lit per pixel
// by two lights (Blinn-Phong, power 32, global ambient 0.1), the material colour
// modulated by a fill texture mapped by the normal's longitude and latitude.
//
//
// The world matrix is the identity, so object space is world space.
float4x4 WorldViewProjection : WorldViewProjection;
float4 ViewPosition : ViewPosition;


sampler2D FillSampler







 ;

struct VertexOut
{
    float4 position : POSITION;
    float3 normal : TEXCOORD0;
    float3 point3 : TEXCOORD1;
};

VertexOut ShadedVS(float3 position : POSITION, float3 normal : NORMAL)
{
    VertexOut o;
    o.position = mul(float4(position, 1), WorldViewProjection);
    o.normal = normal;
    o.point3 = position;
    return o;
}

float4 ShadedPS(float3 normalIn : TEXCOORD0, float3 p : TEXCOORD1) : COLOR
{
    float3 n = normalize(normalIn);
    float2 uv = float2(atan2(n.z, n.x) * 0.15915494 + 0.5, acos(clamp(n.y, -1, 1)) * 0.31830989);
    float3 t = tex2D(FillSampler, uv * float2(4, 2)).rgb;
    float3 v = normalize(ViewPosition.xyz - p);
    float3 l0 = float3(0.57735027, 0.57735027, 0.57735027);
    float d0 = max(dot(n, l0), 0);
    float s0 = d0 > 0 ? pow(max(dot(n, normalize(l0 + v)), 0), 32) : 0;
    float3 toLight = float3(-3, 3, 4) - p;
    float dist = length(toLight);
    float3 l1 = toLight / dist;
    float att = 1 / (1 + 0.05 * dist + 0.02 * dist * dist);
    float d1 = max(dot(n, l1), 0);
    float s1 = d1 > 0 ? pow(max(dot(n, normalize(l1 + v)), 0), 32) : 0;
    float3 base = float3(0.8, 0.3, 0.2) * t;
    float3 c = base * 0.1 + base * (0.8 * d0 + float3(0.5, 0.5, 0.6) * (d1 * att)) + 0.5 * (s0 + 0.5 * s1 * att);
    return float4(c, 1);
}









