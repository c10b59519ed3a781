// Environment-mapped reflection with a cube map: an effect with its effect syntax blanked out
float4x4 WorldViewProj : WORLDVIEWPROJECTION;
float4x4 World         : WORLD;
float4x4 ViewInv       : VIEWINVERSE;

float Reflectivity <
    string UIName = "Reflectivity";
    string UIWidget = "slider";
    float UIMin = 0.0;
    float UIMax = 1.0;
> = 0.8;

float3 BaseColor : DIFFUSE < string UIWidget = "Color"; > = {0.5, 0.5, 0.5};






samplerCUBE EnvSampler







 ;

void ReflectVS(float4 pos : POSITION,
               float3 normal : NORMAL,
               out float4 oPos : POSITION,
               out float3 oNormal : TEXCOORD0,
               out float3 oView : TEXCOORD1)
{
    oPos = mul(pos, WorldViewProj);
    float3 wp = mul(pos, World).xyz;
    oNormal = mul(normal, (float3x3)World);
    oView = wp - ViewInv[3].xyz;
}

float4 ReflectPS(float3 normal : TEXCOORD0, float3 view : TEXCOORD1) : COLOR
{
    float3 N = normalize(normal);
    float3 I = normalize(view);
    float3 R = reflect(I, N);
    float4 env = texCUBE(EnvSampler, R);
    float fresnel = 0.1 + 0.9 * pow(1.0 - saturate(dot(-I, N)), 5.0);
    float3 c = lerp(BaseColor, env.rgb, Reflectivity * fresnel);
    return float4(c, 1.0);
}











