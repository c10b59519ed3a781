float4x4 WorldViewProjection : WorldViewProjection;
int Count = 5;
float4 Weights[8];

struct VS_OUT { float4 pos : POSITION; float2 uv : TEXCOORD0; float4 color : COLOR0; };

VS_OUT LoopVS(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
    VS_OUT o;
    o.pos = mul(pos, WorldViewProjection);
    float4 sum = 0;
    [loop] for (int i = 0; i < Count; ++i) {
        if (i == 3)
            continue;
        sum += Weights[i];
        if (sum.x > 10.0)
            break;
    }
    int j = 0;
    while (j < 4) { sum.y += j * 0.25; j++; }
    do { sum.z -= 0.5; } while (sum.z > 0.0);
    o.uv = uv;
    o.color = sum;
    return o;
}

float4 LoopPS(VS_OUT i) : COLOR
{
    float4 c = i.color;
    [unroll] for (int k = 0; k < 4; k++)
        c[k] = c[k] * 0.5 + i.uv.x;
    for (int a = 0; a < 3; a++)
        for (int b = 0; b < 3; b++) {
            if (a == b) continue;
            c.rgb += float3(a, b, a * b) * 0.01;
        }
    switch (Count) {
    case 0: c.r = 0; break;
    case 1: c.g = 1; break;
    default: c.b = 0.5; break;
    }
    return c;
}

technique Loops
{
    pass P0
    {
        VertexShader = compile vs_3_0 LoopVS();
        PixelShader = compile ps_3_0 LoopPS();
    }
}
