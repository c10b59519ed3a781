// Three nested loops, each within the per-loop limit, once ran for hours.
static const int N = 1000;
float4 VS(float4 p : POSITION, out float4 c : COLOR0) : POSITION
{
    c = 0;
    for (int i = 0; i < N; i++)
        for (int j = 0; j < N; j++)
            for (int k = 0; k < N; k++)
                c.x += p.x;
    return p;
}
float4 PS(float4 c : COLOR0) : COLOR { return c; }
technique T { pass P { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
