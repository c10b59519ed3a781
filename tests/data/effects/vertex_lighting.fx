// vertex_lighting.fx: Direct3D's fixed-function vertex lighting as a vertex
// program, for one directional and one point light, with a local viewer.
// Per vertex, in world space:
//   diffuse  = saturate(Ca * (Ga + sum(atten * La)) + Cd * sum(atten * Ld * N.L) + Ce), alpha of Cd
//   specular = saturate(Cs * sum(atten * Ls * (N.H)^P)), H = normalize(L + normalize(eye - vertex)),
// a light adding diffuse and specular only where N.L > 0, atten = 1 / (a0 + a1 d + a2 d^2)
// for the point light and 1 for the directional one. The two colours are
// interpolated over the triangle (Gouraud), through the colour interpolators
// or through texture coordinates (one technique each), and the pixel
// program adds the specular colour to the diffuse one, as the
// fixed-function pipeline does after the texture stages when
// D3DRS_SPECULARENABLE is on.
float4x4 World : World;
float4x4 ViewProjection : ViewProjection;
float3 EyePosition;

float4 GlobalAmbient;
float4 MaterialDiffuse;
float4 MaterialAmbient;
float4 MaterialSpecular;
float4 MaterialEmissive;
float MaterialPower;

// The directional light: the direction its light travels.
float3 SunDirection;
float4 SunDiffuse;
float4 SunSpecular;
float4 SunAmbient;

// The point light: no range, attenuation coefficients a0, a1, a2.
float3 LampPosition;
float3 LampAttenuation;
float4 LampDiffuse;
float4 LampSpecular;
float4 LampAmbient;

struct LightSums
{
    float3 ambient;
    float3 diffuse;
    float3 specular;
};

void addLight(inout LightSums sums, float3 n, float3 toLight, float3 toEye, float atten,
              float4 ambient, float4 diffuse, float4 specular)
{
    sums.ambient += ambient.rgb * atten;
    float nDotL = dot(n, toLight);
    if (nDotL > 0)
    {
        sums.diffuse += diffuse.rgb * (nDotL * atten);
        float nDotH = dot(n, normalize(toLight + toEye));
        if (nDotH > 0)
            sums.specular += specular.rgb * (pow(nDotH, MaterialPower) * atten);
    }
}

struct VertexColors
{
    float4 diffuse;
    float4 specular;
};

VertexColors lightVertex(float4 world, float3 normal)
{
    float3 n = normalize(mul(normal, (float3x3)World));
    float3 toEye = normalize(EyePosition - world.xyz);

    LightSums sums;
    sums.ambient = GlobalAmbient.rgb;
    sums.diffuse = 0;
    sums.specular = 0;
    addLight(sums, n, -normalize(SunDirection), toEye, 1, SunAmbient, SunDiffuse, SunSpecular);
    float3 toLamp = LampPosition - world.xyz;
    float d = length(toLamp);
    float atten = 1 / (LampAttenuation.x + LampAttenuation.y * d + LampAttenuation.z * d * d);
    addLight(sums, n, toLamp / d, toEye, atten, LampAmbient, LampDiffuse, LampSpecular);

    VertexColors colors;
    colors.diffuse = saturate(float4(MaterialAmbient.rgb * sums.ambient + MaterialDiffuse.rgb * sums.diffuse
                                     + MaterialEmissive.rgb, MaterialDiffuse.a));
    colors.specular = float4(saturate(MaterialSpecular.rgb * sums.specular), 0);
    return colors;
}

// The colours through the colour interpolators, as the fixed-function
// pipeline passes them (a vs_2_0 program's colour outputs are saturated
// anyway).
struct ColorVertex
{
    float4 position : POSITION;
    float4 diffuse : COLOR0;
    float4 specular : COLOR1;
};

ColorVertex ColorVS(float3 position : POSITION, float3 normal : NORMAL)
{
    float4 world = mul(float4(position, 1), World);
    VertexColors colors = lightVertex(world, normal);
    ColorVertex o;
    o.position = mul(world, ViewProjection);
    o.diffuse = colors.diffuse;
    o.specular = colors.specular;
    return o;
}

float4 ColorPS(float4 diffuse : COLOR0, float4 specular : COLOR1) : COLOR
{
    return float4(diffuse.rgb + specular.rgb, diffuse.a);
}

// The colours through texture coordinates, which nothing clamps: the
// program's own saturation stands alone.
struct TexcoordVertex
{
    float4 position : POSITION;
    float4 diffuse : TEXCOORD0;
    float4 specular : TEXCOORD1;
};

TexcoordVertex TexcoordVS(float3 position : POSITION, float3 normal : NORMAL)
{
    float4 world = mul(float4(position, 1), World);
    VertexColors colors = lightVertex(world, normal);
    TexcoordVertex o;
    o.position = mul(world, ViewProjection);
    o.diffuse = colors.diffuse;
    o.specular = colors.specular;
    return o;
}

float4 TexcoordPS(float4 diffuse : TEXCOORD0, float4 specular : TEXCOORD1) : COLOR
{
    return float4(diffuse.rgb + specular.rgb, diffuse.a);
}

technique ColorInterpolators
{
    pass P0
    {
        VertexShader = compile vs_2_0 ColorVS();
        PixelShader = compile ps_2_0 ColorPS();
    }
}

technique TexcoordInterpolators
{
    pass P0
    {
        VertexShader = compile vs_3_0 TexcoordVS();
        PixelShader = compile ps_3_0 TexcoordPS();
    }
}
