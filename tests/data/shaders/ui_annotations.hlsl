// SAS-style effect with UI annotations and two techniques, effect syntax blanked out
float Script : STANDARDSGLOBAL <
    string UIWidget = "none";
    string ScriptClass = "object";
    string ScriptOrder = "standard";
    string ScriptOutput = "color";
    string Script = "Technique=Main;";
> = 0.8;

string Description = "Blinn-Phong with UI annotations";

float4x4 WvpXf   : WorldViewProjection < string UIWidget = "None"; >;
float4x4 WorldXf : World < string UIWidget = "None"; >;
float4x4 WorldITXf : WorldInverseTranspose < string UIWidget = "None"; >;
float4x4 ViewIXf : ViewInverse < string UIWidget = "None"; >;

float3 Lamp0Dir : DIRECTION <
    string Object = "DirectionalLight0";
    string UIName = "Lamp 0 Direction";
    string Space = "World";
> = {0.7f, -0.7f, -0.7f};

float3 Lamp0Color : SPECULAR <
    string UIName = "Lamp 0";
    string Object = "DirectionalLight0";
    string UIWidget = "Color";
> = {1.0f, 1.0f, 1.0f};

float Ks <
    string UIWidget = "slider";
    float UIMin = 0.0;
    float UIMax = 1.0;
    float UIStep = 0.05;
    string UIName = "Specular";
> = 0.4;

float SpecExpon <
    string UIWidget = "slider";
    float UIMin = 1.0;
    float UIMax = 128.0;
    float UIStep = 1.0;
    string UIName = "Specular Power";
> = 55.0;

int NumSteps < string UIName = "Steps"; int UIMin = 1; int UIMax = 8; > = 4;
bool UseSpecular < string UIName = "Use Specular"; > = true;

float3 SurfaceColor : DIFFUSE <
    string UIName = "Surface";
    string UIWidget = "Color";
> = {1,1,1};

struct appdata {
    float3 Position : POSITION;
    float4 UV       : TEXCOORD0;
    float4 Normal   : NORMAL;
};

struct vertexOutput {
    float4 HPosition : POSITION;
    float2 UV        : TEXCOORD0;
    float3 WorldNormal : TEXCOORD1;
    float3 WorldView : TEXCOORD2;
    float4 Diff      : COLOR0;
};

vertexOutput std_VS(appdata IN) {
    vertexOutput OUT = (vertexOutput)0;
    OUT.WorldNormal = mul(IN.Normal, WorldITXf).xyz;
    float4 Po = float4(IN.Position.xyz, 1);
    float3 Pw = mul(Po, WorldXf).xyz;
    OUT.WorldView = normalize(float3(ViewIXf[0].w, ViewIXf[1].w, ViewIXf[2].w) - Pw);
    OUT.HPosition = mul(Po, WvpXf);
    OUT.UV = IN.UV.xy;
    OUT.Diff = float4(SurfaceColor, 1);
    return OUT;
}

float4 blinn_PS(vertexOutput IN) : COLOR {
    float3 Ln = normalize(-Lamp0Dir);
    float3 Nn = normalize(IN.WorldNormal);
    float3 Vn = normalize(IN.WorldView);
    float3 Hn = normalize(Vn + Ln);
    float4 litV = lit(dot(Ln, Nn), dot(Hn, Nn), SpecExpon);
    float3 diffContrib = litV.y * Lamp0Color;
    float3 specContrib = UseSpecular ? litV.y * litV.z * Ks * Lamp0Color : 0;
    float3 result = IN.Diff.rgb * diffContrib + specContrib;
    // quantise ("toon") with an int uniform
    result = floor(result * NumSteps) / NumSteps;
    return float4(result, 1);
}
























