float Threshold = 0.3;
float4 Tint : Diffuse = { 1, 0.5, 0.25, 1 };

struct VS_OUT { float4 pos : POSITION; float2 uv : TEXCOORD0; };
struct PS_OUT { float4 color : COLOR0; float4 second : COLOR1; float depth : DEPTH; };

VS_OUT ClipVS(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
    VS_OUT o;
    o.pos = pos;
    o.uv = uv;
    return o;
}

PS_OUT ClipPS(VS_OUT i, float2 screen : VPOS, float face : VFACE)
{
    PS_OUT o;
    clip(i.uv.x - Threshold);
    if (i.uv.y > 0.9)
        discard;
    float2 dx = ddx(i.uv);
    float2 dy = ddy(i.uv);
    float w = fwidth(i.uv.x);
    o.color = Tint * float4(dx * 100, dy.y * 100, w);
    o.second = float4(frac(screen * 0.125), face > 0 ? 1 : 0, 1);
    o.depth = saturate(i.uv.x * i.uv.y);
    return o;
}

technique Clipping
{
    pass P0
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZWriteEnable = false;
        VertexShader = compile vs_3_0 ClipVS();
        PixelShader = compile ps_3_0 ClipPS();
    }
    pass P1
    {
        AlphaTestEnable = true;
        AlphaRef = 128;
        AlphaFunc = Greater;
        VertexShader = compile vs_2_0 ClipVS();
        PixelShader = compile ps_2_0 ClipPS();
    }
}
