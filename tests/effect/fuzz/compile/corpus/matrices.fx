row_major float4x4 RowMatrix;
column_major float4x3 ColumnMatrix;
float3x3 Rotation = { 1, 0, 0, 0, 1, 0, 0, 0, 1 };
float2x2 Small = { 2, 1, 1, 3 };
float4x4 Bones[3];

struct VS_OUT { float4 pos : POSITION; float4 tc : TEXCOORD0; };

VS_OUT MatrixVS(float4 pos : POSITION, float4 weights : BLENDWEIGHT, float4 indices : BLENDINDICES)
{
    VS_OUT o;
    int4 idx = D3DCOLORtoUBYTE4(indices);
    float4 p = 0;
    for (int b = 0; b < 3; b++)
        p += mul(pos, Bones[idx[b] % 3]) * weights[b];
    o.pos = mul(RowMatrix, pos) + p * 0.0;
    float3 r = mul(Rotation, pos.xyz);
    float3 t = mul(pos, ColumnMatrix);
    float2x2 inv = transpose(Small);
    o.tc = float4(r + t, determinant(Small)) + float4(mul(inv, pos.xy), 0, 0);
    o.tc.xy += RowMatrix._m00_m11 + Rotation[1].yz;
    return o;
}

float4 MatrixPS(VS_OUT i) : COLOR
{
    float4x4 m = float4x4(i.tc, i.tc.yzwx, i.tc.zwxy, i.tc.wxyz);
    float3x3 n = (float3x3)m;
    return float4(mul(n, i.tc.xyz), m._44) * 0.1;
}

technique Matrices
{
    pass P0
    {
        VertexShader = compile vs_3_0 MatrixVS();
        PixelShader = compile ps_3_0 MatrixPS();
    }
}
