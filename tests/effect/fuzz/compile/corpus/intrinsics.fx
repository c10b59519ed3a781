float4 Input = { 0.5, -1.25, 3.0, 0.0 };

float4 IntrinsicVS(float4 pos : POSITION, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1) : POSITION
{
    float s, c;
    sincos(pos.x, s, c);
    float ip;
    float fr = modf(Input.y, ip);
    float e;
    float m = frexp(Input.z, e);
    a = float4(s, c, fr + ip, ldexp(m, e));
    b = lit(Input.x, Input.y, Input.z) + float4(fmod(Input.z, 0.7), exp2(Input.x), log2(Input.z), log10(Input.z));
    return pos;
}

float4 IntrinsicPS(float4 a : TEXCOORD0, float4 b : TEXCOORD1) : COLOR
{
    float4 r = pow(abs(a), 2.2) + smoothstep(0, 1, b) + step(0.5, a) + lerp(a, b, 0.25);
    r += sign(a) * round(b) + trunc(a) + floor(b) + ceil(a) + rsqrt(abs(b) + 1);
    r.xyz += reflect(a.xyz, normalize(b.xyz + 1)) + refract(normalize(a.xyz + 1), float3(0, 0, 1), 0.8);
    r.xyz += faceforward(a.xyz, b.xyz, float3(0, 1, 0)) + cross(a.xyz, b.xyz);
    r.w += distance(a, b) + dot(a, b) + length(b) + atan2(a.y, a.x) + asin(saturate(a.z)) + acos(saturate(b.z));
    r += tan(a) + sinh(b * 0.1) + cosh(a * 0.1) + tanh(b) + exp(-abs(a)) + log(abs(b) + 1) + sqrt(abs(a));
    r += (any(a > b) ? 1 : 0) + (all(isfinite(a)) ? 0.5 : 0) + (isnan(b.x) ? 2 : 0) + (isinf(b.y) ? 3 : 0);
    r += max(a, b) - min(a, b) + clamp(a, -1, 1) + degrees(a) * radians(b) + mad(a, b, a);
    r += asfloat(asint(a)) + asfloat(asuint(b));
    return r;
}

technique Intrinsics
{
    pass P0
    {
        VertexShader = compile vs_3_0 IntrinsicVS();
        PixelShader = compile ps_3_0 IntrinsicPS();
    }
}
