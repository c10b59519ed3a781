struct S { float a; float b[2]; };
S s[2] = { 1, 2, 3, 4, 5, 6 };
float4x4 m : WORLD < int a[2] = {1,2}; > = { 1, 2, 3, 4 };
technique T { pass P { CullMode = Sideways; ZFunc = ; } }
