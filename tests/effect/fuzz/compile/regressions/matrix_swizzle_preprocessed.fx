// The effect preprocessor writes "M . _11_22"; glslang crashed on the
// swizzle of several matrix elements the rewriter then left alone.
float4x4 M;
float4 VS(float4 p : POSITION) : POSITION { float2 v = M._11_22; return p + v.xyxy; }
technique T { pass P { VertexShader = compile vs_3_0 VS(); } }
