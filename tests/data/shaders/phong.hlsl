// Per-pixel Phong with a diffuse texture: the phong effect with its effect syntax blanked out
float4x4 WorldViewProjection : WorldViewProjection;
float4x4 World               : World;
float4x4 WorldInverseTranspose : WorldInverseTranspose;
float4x4 ViewInverse         : ViewInverse;

float3 LightPosition : Position <
    string Object = "PointLight";
    string Space  = "World";
> = {10.0f, 10.0f, -10.0f};

float4 LightColor : Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
float4 AmbientColor : Ambient = {0.1f, 0.1f, 0.1f, 1.0f};
float  SpecularPower : SpecularPower = 32.0f;






sampler2D DiffuseSampler






 ;

struct VS_INPUT {
    float4 Position : POSITION;
    float3 Normal   : NORMAL;
    float2 TexCoord : TEXCOORD0;
};

struct VS_OUTPUT {
    float4 Position  : POSITION;
    float2 TexCoord  : TEXCOORD0;
    float3 WorldNormal : TEXCOORD1;
    float3 LightVec  : TEXCOORD2;
    float3 EyeVec    : TEXCOORD3;
};

VS_OUTPUT PhongVS(VS_INPUT IN)
{
    VS_OUTPUT OUT;
    OUT.Position = mul(IN.Position, WorldViewProjection);
    OUT.TexCoord = IN.TexCoord;
    OUT.WorldNormal = mul(IN.Normal, (float3x3)WorldInverseTranspose);
    float3 worldPos = mul(IN.Position, World).xyz;
    OUT.LightVec = LightPosition - worldPos;
    OUT.EyeVec = ViewInverse[3].xyz - worldPos;
    return OUT;
}

float4 PhongPS(VS_OUTPUT IN) : COLOR
{
    float3 N = normalize(IN.WorldNormal);
    float3 L = normalize(IN.LightVec);
    float3 V = normalize(IN.EyeVec);
    float3 R = reflect(-L, N);
    float  diff = saturate(dot(N, L));
    float  spec = pow(saturate(dot(R, V)), SpecularPower);
    float4 tex  = tex2D(DiffuseSampler, IN.TexCoord);
    float4 color = tex * (AmbientColor + diff * LightColor) + spec * LightColor;
    color.a = tex.a;
    return color;
}













