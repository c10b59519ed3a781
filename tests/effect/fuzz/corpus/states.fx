float Level = 0.25;
int Index = 1;
texture T;
sampler S = sampler_state { Texture = <T>; AddressU = Clamp; BorderColor = 0xFF00FF00; };
technique A < string Name = "a" "b"; >
{
    pass { ZEnable = true; AlphaRef = Level * 255; ColorWriteEnable = Red | Alpha; Sampler[1] = (S);
           WorldTransform[1] = float4x4(1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1); LightEnable[2] = TRUE;
           LightDiffuse[2] = float4(1, 0.5, 0, 1); MaterialPower = 8; FVF = 0x142; NPatchMode = 2;
           VertexShaderConstantF[3] = float4(1, 2, 3, 4); StencilFunc = (Index > 0 ? 3 : 8); }
}
