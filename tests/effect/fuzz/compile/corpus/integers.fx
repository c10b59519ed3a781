int Mode = 2;
uint Mask = 0x0F;
bool Flip = true;
bool4 Enables = { true, false, true, false };
static const float Table[5] = { 0.1, 0.2, 0.3, 0.4, 0.5 };
static const int2 Offsets[2] = { int2(1, 2), int2(-3, 4) };
half4 HalfValue = { 0.5h, 1.0h, 0.25h, 2 };
float Precise = 1.0;

float4 IntVS(float4 pos : POSITION, inout float4 color : COLOR0) : POSITION
{
    int i = (int)(pos.x * 10) % 3;
    int k = Mode / 2 + (Mode << 1) - (Mode >> 1);
    uint u = (Mask & 0x3) | (Mask ^ 0x5);
    color.r += Table[clamp(i, 0, 4)] + (float)k * 0.01 + (float)u * 0.001;
    color.gb += (float2)Offsets[Mode & 1] * 0.1;
    color = Flip ? color.abgr : color;
    color.a += Enables.x && !Enables.y ? 0.5 : 0.0;
    color += HalfValue * (float)Precise;
    return pos;
}

float4 IntPS(float4 color : COLOR0, uniform int shift) : COLOR
{
    int4 n = (int4)(color * 255);
    n = n / 3 + n % 7 - (n >> shift);
    bool2 b = color.xy > 0.5;
    return float4(n) / 255.0 + float4(b, !b) * 0.1;
}

technique Integers
{
    pass P0
    {
        VertexShader = compile vs_3_0 IntVS();
        PixelShader = compile ps_3_0 IntPS(2);
    }
    pass P1
    {
        VertexShader = compile vs_2_0 IntVS();
        PixelShader = compile ps_2_a IntPS(1);
    }
}
