texture Diffuse;
texture Environment;
texture Volume;
texture HeightMap;

sampler2D DiffuseSampler = sampler_state { Texture = <Diffuse>; MinFilter = Linear; MagFilter = Point; MipFilter = Linear; AddressU = Clamp; AddressV = Mirror; };
samplerCUBE EnvironmentSampler = sampler_state { Texture = <Environment>; MinFilter = Anisotropic; MaxAnisotropy = 4; };
sampler3D VolumeSampler = sampler_state { Texture = <Volume>; AddressW = Wrap; };
sampler2D HeightSampler = sampler_state { Texture = <HeightMap>; MinFilter = Point; MagFilter = Point; MipFilter = None; };
sampler1D RampSampler = sampler_state { Texture = <Diffuse>; BorderColor = 0xff00ff00; AddressU = Border; };
float Bias = 0.5;

struct VS_OUT { float4 pos : POSITION; float4 uv : TEXCOORD0; float3 dir : TEXCOORD1; };

VS_OUT SampleVS(float4 pos : POSITION, float4 uv : TEXCOORD0, float3 n : NORMAL)
{
    VS_OUT o;
    float h = tex2Dlod(HeightSampler, float4(uv.xy, 0, 0)).r;
    o.pos = pos + float4(0, h * 0.01, 0, 0);
    o.uv = uv;
    o.dir = n;
    return o;
}

float4 SamplePS(VS_OUT i) : COLOR
{
    float4 c = tex2D(DiffuseSampler, i.uv.xy);
    c += texCUBE(EnvironmentSampler, i.dir);
    c += tex3D(VolumeSampler, i.uv.xyz);
    c += tex2Dbias(DiffuseSampler, float4(i.uv.xy, 0, Bias));
    c += tex2Dproj(DiffuseSampler, i.uv);
    c += tex2Dgrad(DiffuseSampler, i.uv.xy, ddx(i.uv.xy), ddy(i.uv.xy));
    c += tex1D(RampSampler, i.uv.x);
    c += texCUBElod(EnvironmentSampler, float4(i.dir, 2));
    return c * 0.125;
}

technique Sampling
{
    pass P0
    {
        Sampler[0] = (DiffuseSampler);
        VertexShader = compile vs_3_0 SampleVS();
        PixelShader = compile ps_3_0 SamplePS();
    }
}
