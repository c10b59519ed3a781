float4 Fog : FOGCOLOR = { 0.5, 0.5, 0.5, 1 };

struct VS_OUT {
    float4 pos : POSITION;
    float4 color : COLOR0;
    float4 specular : COLOR1;
    float fog : FOG;
    float size : PSIZE;
    float4 tc[3] : TEXCOORD0;
};

VS_OUT OutVS(float4 pos : POSITION, float4 c0 : COLOR0, float4 c1 : COLOR1, float size : PSIZE,
             float3 tangent : TANGENT, float3 binormal : BINORMAL)
{
    VS_OUT o;
    o.pos = pos;
    o.color = c0 * 2;
    o.specular = c1;
    o.fog = pos.z;
    o.size = size;
    for (int i = 0; i < 3; i++)
        o.tc[i] = float4(tangent * i, binormal.x);
    return o;
}

float4 OutPS(VS_OUT i) : COLOR
{
    return i.color * i.specular + i.tc[0] + i.tc[1] * i.tc[2];
}

technique Outputs
{
    pass Points
    {
        FogEnable = true;
        FogColor = 0xff808080;
        PointSpriteEnable = true;
        PointScaleEnable = false;
        VertexShader = compile vs_3_0 OutVS();
        PixelShader = compile ps_3_0 OutPS();
    }
}
