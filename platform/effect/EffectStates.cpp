#include "effect/EffectStates.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>
#include <strings.h>

namespace swd3d9 {
namespace effect {

namespace {

// Value names, without the prefix of their Direct3D spelling.
const StateValueName BOOLS[] = {{"FALSE", 0}, {"TRUE", 1}, {nullptr, 0}};
const StateValueName ZBUFFER[] = {{"FALSE", D3DZB_FALSE}, {"TRUE", D3DZB_TRUE}, {"USEW", D3DZB_USEW}, {nullptr, 0}};
const StateValueName FILL[] = {{"POINT", D3DFILL_POINT}, {"WIREFRAME", D3DFILL_WIREFRAME}, {"SOLID", D3DFILL_SOLID},
                               {nullptr, 0}};
const StateValueName SHADE[] = {{"FLAT", D3DSHADE_FLAT}, {"GOURAUD", D3DSHADE_GOURAUD}, {"PHONG", D3DSHADE_PHONG},
                                {nullptr, 0}};
const StateValueName BLEND[] = {{"ZERO", D3DBLEND_ZERO},
                                {"ONE", D3DBLEND_ONE},
                                {"SRCCOLOR", D3DBLEND_SRCCOLOR},
                                {"INVSRCCOLOR", D3DBLEND_INVSRCCOLOR},
                                {"SRCALPHA", D3DBLEND_SRCALPHA},
                                {"INVSRCALPHA", D3DBLEND_INVSRCALPHA},
                                {"DESTALPHA", D3DBLEND_DESTALPHA},
                                {"INVDESTALPHA", D3DBLEND_INVDESTALPHA},
                                {"DESTCOLOR", D3DBLEND_DESTCOLOR},
                                {"INVDESTCOLOR", D3DBLEND_INVDESTCOLOR},
                                {"SRCALPHASAT", D3DBLEND_SRCALPHASAT},
                                {"BOTHSRCALPHA", D3DBLEND_BOTHSRCALPHA},
                                {"BOTHINVSRCALPHA", D3DBLEND_BOTHINVSRCALPHA},
                                {"BLENDFACTOR", D3DBLEND_BLENDFACTOR},
                                {"INVBLENDFACTOR", D3DBLEND_INVBLENDFACTOR},
                                {nullptr, 0}};
const StateValueName CULL[] = {{"NONE", D3DCULL_NONE}, {"CW", D3DCULL_CW}, {"CCW", D3DCULL_CCW}, {nullptr, 0}};
const StateValueName CMP[] = {{"NEVER", D3DCMP_NEVER},     {"LESS", D3DCMP_LESS},
                              {"EQUAL", D3DCMP_EQUAL},     {"LESSEQUAL", D3DCMP_LESSEQUAL},
                              {"GREATER", D3DCMP_GREATER}, {"NOTEQUAL", D3DCMP_NOTEQUAL},
                              {"GREATEREQUAL", D3DCMP_GREATEREQUAL}, {"ALWAYS", D3DCMP_ALWAYS},
                              {nullptr, 0}};
const StateValueName STENCILOP[] = {{"KEEP", D3DSTENCILOP_KEEP},       {"ZERO", D3DSTENCILOP_ZERO},
                                    {"REPLACE", D3DSTENCILOP_REPLACE}, {"INCRSAT", D3DSTENCILOP_INCRSAT},
                                    {"DECRSAT", D3DSTENCILOP_DECRSAT}, {"INVERT", D3DSTENCILOP_INVERT},
                                    {"INCR", D3DSTENCILOP_INCR},       {"DECR", D3DSTENCILOP_DECR},
                                    {nullptr, 0}};
const StateValueName FOG[] = {{"NONE", D3DFOG_NONE}, {"EXP", D3DFOG_EXP}, {"EXP2", D3DFOG_EXP2},
                              {"LINEAR", D3DFOG_LINEAR}, {nullptr, 0}};
const StateValueName MATERIALSOURCE[] = {{"MATERIAL", D3DMCS_MATERIAL}, {"COLOR1", D3DMCS_COLOR1},
                                         {"COLOR2", D3DMCS_COLOR2}, {nullptr, 0}};
const StateValueName VERTEXBLEND[] = {{"DISABLE", D3DVBF_DISABLE},   {"1WEIGHTS", D3DVBF_1WEIGHTS},
                                      {"2WEIGHTS", D3DVBF_2WEIGHTS}, {"3WEIGHTS", D3DVBF_3WEIGHTS},
                                      {"TWEENING", D3DVBF_TWEENING}, {"0WEIGHTS", D3DVBF_0WEIGHTS},
                                      {nullptr, 0}};
const StateValueName PATCHEDGE[] = {{"DISCRETE", D3DPATCHEDGE_DISCRETE}, {"CONTINUOUS", D3DPATCHEDGE_CONTINUOUS},
                                    {nullptr, 0}};
const StateValueName DEBUGMONITOR[] = {{"ENABLE", D3DDMT_ENABLE}, {"DISABLE", D3DDMT_DISABLE}, {nullptr, 0}};
const StateValueName BLENDOP[] = {{"ADD", D3DBLENDOP_ADD},       {"SUBTRACT", D3DBLENDOP_SUBTRACT},
                                  {"REVSUBTRACT", D3DBLENDOP_REVSUBTRACT}, {"MIN", D3DBLENDOP_MIN},
                                  {"MAX", D3DBLENDOP_MAX},       {nullptr, 0}};
const StateValueName DEGREE[] = {{"LINEAR", D3DDEGREE_LINEAR}, {"QUADRATIC", D3DDEGREE_QUADRATIC},
                                 {"CUBIC", D3DDEGREE_CUBIC},   {"QUINTIC", D3DDEGREE_QUINTIC},
                                 {nullptr, 0}};
const StateValueName COLORWRITE[] = {{"RED", D3DCOLORWRITEENABLE_RED},   {"GREEN", D3DCOLORWRITEENABLE_GREEN},
                                     {"BLUE", D3DCOLORWRITEENABLE_BLUE}, {"ALPHA", D3DCOLORWRITEENABLE_ALPHA},
                                     {nullptr, 0}};
const StateValueName WRAP[] = {{"U", D3DWRAP_U},
                               {"V", D3DWRAP_V},
                               {"W", D3DWRAP_W},
                               {"COORD_0", D3DWRAPCOORD_0},
                               {"COORD_1", D3DWRAPCOORD_1},
                               {"COORD_2", D3DWRAPCOORD_2},
                               {"COORD_3", D3DWRAPCOORD_3},
                               {nullptr, 0}};
const StateValueName TEXTUREOP[] = {{"DISABLE", D3DTOP_DISABLE},
                                    {"SELECTARG1", D3DTOP_SELECTARG1},
                                    {"SELECTARG2", D3DTOP_SELECTARG2},
                                    {"MODULATE", D3DTOP_MODULATE},
                                    {"MODULATE2X", D3DTOP_MODULATE2X},
                                    {"MODULATE4X", D3DTOP_MODULATE4X},
                                    {"ADD", D3DTOP_ADD},
                                    {"ADDSIGNED", D3DTOP_ADDSIGNED},
                                    {"ADDSIGNED2X", D3DTOP_ADDSIGNED2X},
                                    {"SUBTRACT", D3DTOP_SUBTRACT},
                                    {"ADDSMOOTH", D3DTOP_ADDSMOOTH},
                                    {"BLENDDIFFUSEALPHA", D3DTOP_BLENDDIFFUSEALPHA},
                                    {"BLENDTEXTUREALPHA", D3DTOP_BLENDTEXTUREALPHA},
                                    {"BLENDFACTORALPHA", D3DTOP_BLENDFACTORALPHA},
                                    {"BLENDTEXTUREALPHAPM", D3DTOP_BLENDTEXTUREALPHAPM},
                                    {"BLENDCURRENTALPHA", D3DTOP_BLENDCURRENTALPHA},
                                    {"PREMODULATE", D3DTOP_PREMODULATE},
                                    {"MODULATEALPHA_ADDCOLOR", D3DTOP_MODULATEALPHA_ADDCOLOR},
                                    {"MODULATECOLOR_ADDALPHA", D3DTOP_MODULATECOLOR_ADDALPHA},
                                    {"MODULATEINVALPHA_ADDCOLOR", D3DTOP_MODULATEINVALPHA_ADDCOLOR},
                                    {"MODULATEINVCOLOR_ADDALPHA", D3DTOP_MODULATEINVCOLOR_ADDALPHA},
                                    {"BUMPENVMAP", D3DTOP_BUMPENVMAP},
                                    {"BUMPENVMAPLUMINANCE", D3DTOP_BUMPENVMAPLUMINANCE},
                                    {"DOTPRODUCT3", D3DTOP_DOTPRODUCT3},
                                    {"MULTIPLYADD", D3DTOP_MULTIPLYADD},
                                    {"LERP", D3DTOP_LERP},
                                    {nullptr, 0}};
const StateValueName TEXTUREARG[] = {{"DIFFUSE", D3DTA_DIFFUSE},         {"CURRENT", D3DTA_CURRENT},
                                     {"TEXTURE", D3DTA_TEXTURE},         {"TFACTOR", D3DTA_TFACTOR},
                                     {"SPECULAR", D3DTA_SPECULAR},       {"TEMP", D3DTA_TEMP},
                                     {"CONSTANT", D3DTA_CONSTANT},       {"COMPLEMENT", D3DTA_COMPLEMENT},
                                     {"ALPHAREPLICATE", D3DTA_ALPHAREPLICATE}, {nullptr, 0}};
const StateValueName TEXCOORDINDEX[] = {{"PASSTHRU", D3DTSS_TCI_PASSTHRU},
                                        {"CAMERASPACENORMAL", D3DTSS_TCI_CAMERASPACENORMAL},
                                        {"CAMERASPACEPOSITION", D3DTSS_TCI_CAMERASPACEPOSITION},
                                        {"CAMERASPACEREFLECTIONVECTOR", D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR},
                                        {"SPHEREMAP", D3DTSS_TCI_SPHEREMAP},
                                        {nullptr, 0}};
const StateValueName TEXTURETRANSFORM[] = {{"DISABLE", D3DTTFF_DISABLE}, {"COUNT1", D3DTTFF_COUNT1},
                                           {"COUNT2", D3DTTFF_COUNT2},   {"COUNT3", D3DTTFF_COUNT3},
                                           {"COUNT4", D3DTTFF_COUNT4},   {"PROJECTED", D3DTTFF_PROJECTED},
                                           {nullptr, 0}};
const StateValueName ADDRESS[] = {{"WRAP", D3DTADDRESS_WRAP},     {"MIRROR", D3DTADDRESS_MIRROR},
                                  {"CLAMP", D3DTADDRESS_CLAMP},   {"BORDER", D3DTADDRESS_BORDER},
                                  {"MIRRORONCE", D3DTADDRESS_MIRRORONCE}, {nullptr, 0}};
const StateValueName FILTER[] = {{"NONE", D3DTEXF_NONE},
                                 {"POINT", D3DTEXF_POINT},
                                 {"LINEAR", D3DTEXF_LINEAR},
                                 {"ANISOTROPIC", D3DTEXF_ANISOTROPIC},
                                 {"PYRAMIDALQUAD", D3DTEXF_PYRAMIDALQUAD},
                                 {"GAUSSIANQUAD", D3DTEXF_GAUSSIANQUAD},
                                 {nullptr, 0}};
const StateValueName LIGHTTYPE[] = {{"POINT", D3DLIGHT_POINT}, {"SPOT", D3DLIGHT_SPOT},
                                    {"DIRECTIONAL", D3DLIGHT_DIRECTIONAL}, {nullptr, 0}};

using G = StateGroup;
using V = StateValue;

#define RS(name, state, value, names, prefix) {name, G::Render, state, value, names, prefix, false}
#define TSS(name, type, value, names, prefix) {name, G::TextureStage, type, value, names, prefix, true}
#define SAMP(name, type, value, names, prefix) {name, G::Sampler, type, value, names, prefix, true}

const StateInfo STATES[] = {
    RS("ZEnable", D3DRS_ZENABLE, V::Dword, ZBUFFER, "D3DZB_"),
    RS("FillMode", D3DRS_FILLMODE, V::Dword, FILL, "D3DFILL_"),
    RS("ShadeMode", D3DRS_SHADEMODE, V::Dword, SHADE, "D3DSHADE_"),
    RS("ZWriteEnable", D3DRS_ZWRITEENABLE, V::Bool, BOOLS, nullptr),
    RS("AlphaTestEnable", D3DRS_ALPHATESTENABLE, V::Bool, BOOLS, nullptr),
    RS("LastPixel", D3DRS_LASTPIXEL, V::Bool, BOOLS, nullptr),
    RS("SrcBlend", D3DRS_SRCBLEND, V::Dword, BLEND, "D3DBLEND_"),
    RS("DestBlend", D3DRS_DESTBLEND, V::Dword, BLEND, "D3DBLEND_"),
    RS("CullMode", D3DRS_CULLMODE, V::Dword, CULL, "D3DCULL_"),
    RS("ZFunc", D3DRS_ZFUNC, V::Dword, CMP, "D3DCMP_"),
    RS("AlphaRef", D3DRS_ALPHAREF, V::Dword, nullptr, nullptr),
    RS("AlphaFunc", D3DRS_ALPHAFUNC, V::Dword, CMP, "D3DCMP_"),
    RS("DitherEnable", D3DRS_DITHERENABLE, V::Bool, BOOLS, nullptr),
    RS("AlphaBlendEnable", D3DRS_ALPHABLENDENABLE, V::Bool, BOOLS, nullptr),
    RS("FogEnable", D3DRS_FOGENABLE, V::Bool, BOOLS, nullptr),
    RS("SpecularEnable", D3DRS_SPECULARENABLE, V::Bool, BOOLS, nullptr),
    RS("FogColor", D3DRS_FOGCOLOR, V::Color, nullptr, nullptr),
    RS("FogTableMode", D3DRS_FOGTABLEMODE, V::Dword, FOG, "D3DFOG_"),
    RS("FogStart", D3DRS_FOGSTART, V::Float, nullptr, nullptr),
    RS("FogEnd", D3DRS_FOGEND, V::Float, nullptr, nullptr),
    RS("FogDensity", D3DRS_FOGDENSITY, V::Float, nullptr, nullptr),
    RS("RangeFogEnable", D3DRS_RANGEFOGENABLE, V::Bool, BOOLS, nullptr),
    RS("StencilEnable", D3DRS_STENCILENABLE, V::Bool, BOOLS, nullptr),
    RS("StencilFail", D3DRS_STENCILFAIL, V::Dword, STENCILOP, "D3DSTENCILOP_"),
    RS("StencilZFail", D3DRS_STENCILZFAIL, V::Dword, STENCILOP, "D3DSTENCILOP_"),
    RS("StencilPass", D3DRS_STENCILPASS, V::Dword, STENCILOP, "D3DSTENCILOP_"),
    RS("StencilFunc", D3DRS_STENCILFUNC, V::Dword, CMP, "D3DCMP_"),
    RS("StencilRef", D3DRS_STENCILREF, V::Dword, nullptr, nullptr),
    RS("StencilMask", D3DRS_STENCILMASK, V::Dword, nullptr, nullptr),
    RS("StencilWriteMask", D3DRS_STENCILWRITEMASK, V::Dword, nullptr, nullptr),
    RS("TextureFactor", D3DRS_TEXTUREFACTOR, V::Color, nullptr, nullptr),
    RS("Wrap0", D3DRS_WRAP0, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap1", D3DRS_WRAP1, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap2", D3DRS_WRAP2, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap3", D3DRS_WRAP3, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap4", D3DRS_WRAP4, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap5", D3DRS_WRAP5, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap6", D3DRS_WRAP6, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap7", D3DRS_WRAP7, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap8", D3DRS_WRAP8, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap9", D3DRS_WRAP9, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap10", D3DRS_WRAP10, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap11", D3DRS_WRAP11, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap12", D3DRS_WRAP12, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap13", D3DRS_WRAP13, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap14", D3DRS_WRAP14, V::Dword, WRAP, "D3DWRAP_"),
    RS("Wrap15", D3DRS_WRAP15, V::Dword, WRAP, "D3DWRAP_"),
    RS("Clipping", D3DRS_CLIPPING, V::Bool, BOOLS, nullptr),
    RS("Lighting", D3DRS_LIGHTING, V::Bool, BOOLS, nullptr),
    RS("Ambient", D3DRS_AMBIENT, V::Color, nullptr, nullptr),
    RS("FogVertexMode", D3DRS_FOGVERTEXMODE, V::Dword, FOG, "D3DFOG_"),
    RS("ColorVertex", D3DRS_COLORVERTEX, V::Bool, BOOLS, nullptr),
    RS("LocalViewer", D3DRS_LOCALVIEWER, V::Bool, BOOLS, nullptr),
    RS("NormalizeNormals", D3DRS_NORMALIZENORMALS, V::Bool, BOOLS, nullptr),
    RS("DiffuseMaterialSource", D3DRS_DIFFUSEMATERIALSOURCE, V::Dword, MATERIALSOURCE, "D3DMCS_"),
    RS("SpecularMaterialSource", D3DRS_SPECULARMATERIALSOURCE, V::Dword, MATERIALSOURCE, "D3DMCS_"),
    RS("AmbientMaterialSource", D3DRS_AMBIENTMATERIALSOURCE, V::Dword, MATERIALSOURCE, "D3DMCS_"),
    RS("EmissiveMaterialSource", D3DRS_EMISSIVEMATERIALSOURCE, V::Dword, MATERIALSOURCE, "D3DMCS_"),
    RS("VertexBlend", D3DRS_VERTEXBLEND, V::Dword, VERTEXBLEND, "D3DVBF_"),
    RS("ClipPlaneEnable", D3DRS_CLIPPLANEENABLE, V::Dword, nullptr, nullptr),
    RS("PointSize", D3DRS_POINTSIZE, V::Float, nullptr, nullptr),
    RS("PointSize_Min", D3DRS_POINTSIZE_MIN, V::Float, nullptr, nullptr),
    RS("PointSize_Max", D3DRS_POINTSIZE_MAX, V::Float, nullptr, nullptr),
    RS("PointSpriteEnable", D3DRS_POINTSPRITEENABLE, V::Bool, BOOLS, nullptr),
    RS("PointScaleEnable", D3DRS_POINTSCALEENABLE, V::Bool, BOOLS, nullptr),
    RS("PointScale_A", D3DRS_POINTSCALE_A, V::Float, nullptr, nullptr),
    RS("PointScale_B", D3DRS_POINTSCALE_B, V::Float, nullptr, nullptr),
    RS("PointScale_C", D3DRS_POINTSCALE_C, V::Float, nullptr, nullptr),
    RS("MultiSampleAntialias", D3DRS_MULTISAMPLEANTIALIAS, V::Bool, BOOLS, nullptr),
    RS("MultiSampleMask", D3DRS_MULTISAMPLEMASK, V::Dword, nullptr, nullptr),
    RS("PatchEdgeStyle", D3DRS_PATCHEDGESTYLE, V::Dword, PATCHEDGE, "D3DPATCHEDGE_"),
    RS("DebugMonitorToken", D3DRS_DEBUGMONITORTOKEN, V::Dword, DEBUGMONITOR, "D3DDMT_"),
    RS("IndexedVertexBlendEnable", D3DRS_INDEXEDVERTEXBLENDENABLE, V::Bool, BOOLS, nullptr),
    RS("ColorWriteEnable", D3DRS_COLORWRITEENABLE, V::Dword, COLORWRITE, "D3DCOLORWRITEENABLE_"),
    RS("TweenFactor", D3DRS_TWEENFACTOR, V::Float, nullptr, nullptr),
    RS("BlendOp", D3DRS_BLENDOP, V::Dword, BLENDOP, "D3DBLENDOP_"),
    RS("PositionDegree", D3DRS_POSITIONDEGREE, V::Dword, DEGREE, "D3DDEGREE_"),
    RS("NormalDegree", D3DRS_NORMALDEGREE, V::Dword, DEGREE, "D3DDEGREE_"),
    RS("ScissorTestEnable", D3DRS_SCISSORTESTENABLE, V::Bool, BOOLS, nullptr),
    RS("SlopeScaleDepthBias", D3DRS_SLOPESCALEDEPTHBIAS, V::Float, nullptr, nullptr),
    RS("AntialiasedLineEnable", D3DRS_ANTIALIASEDLINEENABLE, V::Bool, BOOLS, nullptr),
    RS("MinTessellationLevel", D3DRS_MINTESSELLATIONLEVEL, V::Float, nullptr, nullptr),
    RS("MaxTessellationLevel", D3DRS_MAXTESSELLATIONLEVEL, V::Float, nullptr, nullptr),
    RS("AdaptiveTess_X", D3DRS_ADAPTIVETESS_X, V::Float, nullptr, nullptr),
    RS("AdaptiveTess_Y", D3DRS_ADAPTIVETESS_Y, V::Float, nullptr, nullptr),
    RS("AdaptiveTess_Z", D3DRS_ADAPTIVETESS_Z, V::Float, nullptr, nullptr),
    RS("AdaptiveTess_W", D3DRS_ADAPTIVETESS_W, V::Float, nullptr, nullptr),
    RS("EnableAdaptiveTessellation", D3DRS_ENABLEADAPTIVETESSELLATION, V::Bool, BOOLS, nullptr),
    RS("TwoSidedStencilMode", D3DRS_TWOSIDEDSTENCILMODE, V::Bool, BOOLS, nullptr),
    RS("CCW_StencilFail", D3DRS_CCW_STENCILFAIL, V::Dword, STENCILOP, "D3DSTENCILOP_"),
    RS("CCW_StencilZFail", D3DRS_CCW_STENCILZFAIL, V::Dword, STENCILOP, "D3DSTENCILOP_"),
    RS("CCW_StencilPass", D3DRS_CCW_STENCILPASS, V::Dword, STENCILOP, "D3DSTENCILOP_"),
    RS("CCW_StencilFunc", D3DRS_CCW_STENCILFUNC, V::Dword, CMP, "D3DCMP_"),
    RS("ColorWriteEnable1", D3DRS_COLORWRITEENABLE1, V::Dword, COLORWRITE, "D3DCOLORWRITEENABLE_"),
    RS("ColorWriteEnable2", D3DRS_COLORWRITEENABLE2, V::Dword, COLORWRITE, "D3DCOLORWRITEENABLE_"),
    RS("ColorWriteEnable3", D3DRS_COLORWRITEENABLE3, V::Dword, COLORWRITE, "D3DCOLORWRITEENABLE_"),
    RS("BlendFactor", D3DRS_BLENDFACTOR, V::Color, nullptr, nullptr),
    RS("SRGBWriteEnable", D3DRS_SRGBWRITEENABLE, V::Bool, BOOLS, nullptr),
    RS("DepthBias", D3DRS_DEPTHBIAS, V::Float, nullptr, nullptr),
    RS("SeparateAlphaBlendEnable", D3DRS_SEPARATEALPHABLENDENABLE, V::Bool, BOOLS, nullptr),
    RS("SrcBlendAlpha", D3DRS_SRCBLENDALPHA, V::Dword, BLEND, "D3DBLEND_"),
    RS("DestBlendAlpha", D3DRS_DESTBLENDALPHA, V::Dword, BLEND, "D3DBLEND_"),
    RS("BlendOpAlpha", D3DRS_BLENDOPALPHA, V::Dword, BLENDOP, "D3DBLENDOP_"),

    TSS("ColorOp", D3DTSS_COLOROP, V::Dword, TEXTUREOP, "D3DTOP_"),
    TSS("ColorArg0", D3DTSS_COLORARG0, V::Dword, TEXTUREARG, "D3DTA_"),
    TSS("ColorArg1", D3DTSS_COLORARG1, V::Dword, TEXTUREARG, "D3DTA_"),
    TSS("ColorArg2", D3DTSS_COLORARG2, V::Dword, TEXTUREARG, "D3DTA_"),
    TSS("AlphaOp", D3DTSS_ALPHAOP, V::Dword, TEXTUREOP, "D3DTOP_"),
    TSS("AlphaArg0", D3DTSS_ALPHAARG0, V::Dword, TEXTUREARG, "D3DTA_"),
    TSS("AlphaArg1", D3DTSS_ALPHAARG1, V::Dword, TEXTUREARG, "D3DTA_"),
    TSS("AlphaArg2", D3DTSS_ALPHAARG2, V::Dword, TEXTUREARG, "D3DTA_"),
    TSS("ResultArg", D3DTSS_RESULTARG, V::Dword, TEXTUREARG, "D3DTA_"),
    TSS("BumpEnvMat00", D3DTSS_BUMPENVMAT00, V::Float, nullptr, nullptr),
    TSS("BumpEnvMat01", D3DTSS_BUMPENVMAT01, V::Float, nullptr, nullptr),
    TSS("BumpEnvMat10", D3DTSS_BUMPENVMAT10, V::Float, nullptr, nullptr),
    TSS("BumpEnvMat11", D3DTSS_BUMPENVMAT11, V::Float, nullptr, nullptr),
    TSS("TexCoordIndex", D3DTSS_TEXCOORDINDEX, V::Dword, TEXCOORDINDEX, "D3DTSS_TCI_"),
    TSS("BumpEnvLScale", D3DTSS_BUMPENVLSCALE, V::Float, nullptr, nullptr),
    TSS("BumpEnvLOffset", D3DTSS_BUMPENVLOFFSET, V::Float, nullptr, nullptr),
    TSS("TextureTransformFlags", D3DTSS_TEXTURETRANSFORMFLAGS, V::Dword, TEXTURETRANSFORM, "D3DTTFF_"),
    TSS("Constant", D3DTSS_CONSTANT, V::Color, nullptr, nullptr),

    SAMP("AddressU", D3DSAMP_ADDRESSU, V::Dword, ADDRESS, "D3DTADDRESS_"),
    SAMP("AddressV", D3DSAMP_ADDRESSV, V::Dword, ADDRESS, "D3DTADDRESS_"),
    SAMP("AddressW", D3DSAMP_ADDRESSW, V::Dword, ADDRESS, "D3DTADDRESS_"),
    SAMP("BorderColor", D3DSAMP_BORDERCOLOR, V::Color, nullptr, nullptr),
    SAMP("MagFilter", D3DSAMP_MAGFILTER, V::Dword, FILTER, "D3DTEXF_"),
    SAMP("MinFilter", D3DSAMP_MINFILTER, V::Dword, FILTER, "D3DTEXF_"),
    SAMP("MipFilter", D3DSAMP_MIPFILTER, V::Dword, FILTER, "D3DTEXF_"),
    SAMP("MipMapLodBias", D3DSAMP_MIPMAPLODBIAS, V::Float, nullptr, nullptr),
    SAMP("MaxMipLevel", D3DSAMP_MAXMIPLEVEL, V::Dword, nullptr, nullptr),
    SAMP("MaxAnisotropy", D3DSAMP_MAXANISOTROPY, V::Dword, nullptr, nullptr),
    SAMP("SRGBTexture", D3DSAMP_SRGBTEXTURE, V::Bool, BOOLS, nullptr),
    SAMP("ElementIndex", D3DSAMP_ELEMENTINDEX, V::Dword, nullptr, nullptr),
    SAMP("DMAPOffset", D3DSAMP_DMAPOFFSET, V::Dword, nullptr, nullptr),

    {"Texture", G::Texture, 0, V::Object, nullptr, nullptr, true},
    {"Sampler", G::SamplerBinding, 0, V::Object, nullptr, nullptr, true},
    {"VertexShader", G::VertexShader, 0, V::Object, nullptr, nullptr, false},
    {"PixelShader", G::PixelShader, 0, V::Object, nullptr, nullptr, false},

    {"WorldTransform", G::Transform, D3DTS_WORLD, V::Matrix, nullptr, nullptr, true},
    {"ViewTransform", G::Transform, D3DTS_VIEW, V::Matrix, nullptr, nullptr, false},
    {"ProjectionTransform", G::Transform, D3DTS_PROJECTION, V::Matrix, nullptr, nullptr, false},
    {"TextureTransform", G::Transform, D3DTS_TEXTURE0, V::Matrix, nullptr, nullptr, true},

    {"LightEnable", G::LightEnable, 0, V::Bool, BOOLS, nullptr, true},
    {"LightType", G::Light, LIGHT_TYPE, V::Dword, LIGHTTYPE, "D3DLIGHT_", true},
    {"LightDiffuse", G::Light, LIGHT_DIFFUSE, V::Vector, nullptr, nullptr, true},
    {"LightSpecular", G::Light, LIGHT_SPECULAR, V::Vector, nullptr, nullptr, true},
    {"LightAmbient", G::Light, LIGHT_AMBIENT, V::Vector, nullptr, nullptr, true},
    {"LightPosition", G::Light, LIGHT_POSITION, V::Vector, nullptr, nullptr, true},
    {"LightDirection", G::Light, LIGHT_DIRECTION, V::Vector, nullptr, nullptr, true},
    {"LightRange", G::Light, LIGHT_RANGE, V::Float, nullptr, nullptr, true},
    {"LightFalloff", G::Light, LIGHT_FALLOFF, V::Float, nullptr, nullptr, true},
    {"LightAttenuation0", G::Light, LIGHT_ATTENUATION0, V::Float, nullptr, nullptr, true},
    {"LightAttenuation1", G::Light, LIGHT_ATTENUATION1, V::Float, nullptr, nullptr, true},
    {"LightAttenuation2", G::Light, LIGHT_ATTENUATION2, V::Float, nullptr, nullptr, true},
    {"LightTheta", G::Light, LIGHT_THETA, V::Float, nullptr, nullptr, true},
    {"LightPhi", G::Light, LIGHT_PHI, V::Float, nullptr, nullptr, true},

    {"MaterialDiffuse", G::Material, MATERIAL_DIFFUSE, V::Vector, nullptr, nullptr, false},
    {"MaterialAmbient", G::Material, MATERIAL_AMBIENT, V::Vector, nullptr, nullptr, false},
    {"MaterialSpecular", G::Material, MATERIAL_SPECULAR, V::Vector, nullptr, nullptr, false},
    {"MaterialEmissive", G::Material, MATERIAL_EMISSIVE, V::Vector, nullptr, nullptr, false},
    {"MaterialPower", G::Material, MATERIAL_POWER, V::Float, nullptr, nullptr, false},

    {"FVF", G::FVF, 0, V::Dword, nullptr, nullptr, false},
    {"NPatchMode", G::NPatchMode, 0, V::Float, nullptr, nullptr, false},

    {"VertexShaderConstantF", G::VertexShaderConstantF, 0, V::Vector, nullptr, nullptr, true},
    {"VertexShaderConstant", G::VertexShaderConstantF, 0, V::Vector, nullptr, nullptr, true},
    {"VertexShaderConstantI", G::VertexShaderConstantI, 0, V::Vector, nullptr, nullptr, true},
    {"VertexShaderConstantB", G::VertexShaderConstantB, 0, V::Vector, nullptr, nullptr, true},
    {"PixelShaderConstantF", G::PixelShaderConstantF, 0, V::Vector, nullptr, nullptr, true},
    {"PixelShaderConstant", G::PixelShaderConstantF, 0, V::Vector, nullptr, nullptr, true},
    {"PixelShaderConstantI", G::PixelShaderConstantI, 0, V::Vector, nullptr, nullptr, true},
    {"PixelShaderConstantB", G::PixelShaderConstantB, 0, V::Vector, nullptr, nullptr, true},
};

#undef RS
#undef TSS
#undef SAMP

const int STATE_COUNT = static_cast<int>(sizeof(STATES) / sizeof(STATES[0]));

bool equalsIgnoringCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

uint32_t colorChannel(double v)
{
    v = std::min(1.0, std::max(0.0, v));
    return static_cast<uint32_t>(v * 255.0 + 0.5);
}

DWORD floatBits(double v)
{
    float f = static_cast<float>(v);
    DWORD bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

float component(const Constant& value, size_t i) { return i < value.values.size() ? float(value.values[i]) : 0.0f; }

D3DCOLORVALUE colorValue(const Constant& value)
{
    return D3DCOLORVALUE{component(value, 0), component(value, 1), component(value, 2),
                         value.values.size() > 3 ? component(value, 3) : 1.0f};
}

D3DVECTOR vectorValue(const Constant& value)
{
    return D3DVECTOR{component(value, 0), component(value, 1), component(value, 2)};
}

} // namespace

int findState(const std::string& name)
{
    for (int i = 0; i < STATE_COUNT; ++i)
        if (equalsIgnoringCase(name, STATES[i].name))
            return i;
    return -1;
}

const StateInfo& stateInfo(int state) { return STATES[state]; }

bool isSamplerState(const StateInfo& state)
{
    return state.group == StateGroup::Sampler || state.group == StateGroup::Texture;
}

UINT maxStateIndex(const StateInfo& state)
{
    switch (state.group) {
    case StateGroup::TextureStage:
        return 7;
    case StateGroup::Sampler:
    case StateGroup::Texture:
    case StateGroup::SamplerBinding:
        // 0-15, the displacement map sampler and the vertex texture samplers.
        return D3DVERTEXTEXTURESAMPLER3;
    case StateGroup::Transform:
        return state.type == D3DTS_TEXTURE0 ? 7u : 255u;
    case StateGroup::LightEnable:
    case StateGroup::Light:
        return 0xFFFF;
    case StateGroup::VertexShaderConstantF:
        return 255;
    case StateGroup::PixelShaderConstantF:
        return 223;
    case StateGroup::VertexShaderConstantI:
    case StateGroup::VertexShaderConstantB:
    case StateGroup::PixelShaderConstantI:
    case StateGroup::PixelShaderConstantB:
        return 15;
    default:
        return 0;
    }
}

bool findStateValueName(const StateInfo& state, const std::string& name, DWORD& value)
{
    if (!state.valueNames)
        return false;
    std::string bare = name;
    if (state.valuePrefix && strncasecmp(name.c_str(), state.valuePrefix, std::strlen(state.valuePrefix)) == 0)
        bare = name.substr(std::strlen(state.valuePrefix));
    for (const StateValueName* v = state.valueNames; v->name; ++v) {
        if (equalsIgnoringCase(bare, v->name)) {
            value = v->value;
            return true;
        }
    }
    return false;
}

bool stateValueConstant(const StateInfo* state, const std::string& name, Constant& value)
{
    DWORD v;
    if (state && findStateValueName(*state, name, v)) {
        value.base = Constant::Base::Int;
        value.values.assign(1, static_cast<double>(v));
        return true;
    }
    if (strcasecmp(name.c_str(), "TRUE") == 0 || strcasecmp(name.c_str(), "FALSE") == 0) {
        value.base = Constant::Base::Bool;
        value.values.assign(1, strcasecmp(name.c_str(), "TRUE") == 0 ? 1.0 : 0.0);
        return true;
    }
    return false;
}

DWORD stateDword(const StateInfo& state, const Constant& value)
{
    if (value.values.empty())
        return 0;
    double first = value.values[0];
    switch (state.value) {
    case StateValue::Float:
        return floatBits(first);
    case StateValue::Bool:
        return first != 0.0 ? TRUE : FALSE;
    case StateValue::Color:
        if (value.values.size() >= 3) {
            D3DCOLORVALUE c = colorValue(value);
            return (colorChannel(c.a) << 24) | (colorChannel(c.r) << 16) | (colorChannel(c.g) << 8) |
                   colorChannel(c.b);
        }
        break;
    default:
        break;
    }
    if (value.base == Constant::Base::Float && state.value != StateValue::Color) {
        // Counts and enum values written as floats (AlphaRef = 0.5 * 255).
        if (first != first)
            return 0;
        first = std::trunc(first);
    }
    if (first < 0.0)
        return static_cast<DWORD>(static_cast<int32_t>(std::max(first, -2147483648.0)));
    return static_cast<DWORD>(std::min(first, 4294967295.0));
}

HRESULT StateTarget::setRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    return m_manager ? m_manager->SetRenderState(state, value) : m_device->SetRenderState(state, value);
}

HRESULT StateTarget::setTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    return m_manager ? m_manager->SetTextureStageState(stage, type, value)
                     : m_device->SetTextureStageState(stage, type, value);
}

HRESULT StateTarget::setSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    return m_manager ? m_manager->SetSamplerState(sampler, type, value)
                     : m_device->SetSamplerState(sampler, type, value);
}

HRESULT StateTarget::setTexture(DWORD sampler, IDirect3DBaseTexture9* texture)
{
    return m_manager ? m_manager->SetTexture(sampler, texture) : m_device->SetTexture(sampler, texture);
}

HRESULT StateTarget::setVertexShader(IDirect3DVertexShader9* shader)
{
    return m_manager ? m_manager->SetVertexShader(shader) : m_device->SetVertexShader(shader);
}

HRESULT StateTarget::setPixelShader(IDirect3DPixelShader9* shader)
{
    return m_manager ? m_manager->SetPixelShader(shader) : m_device->SetPixelShader(shader);
}

HRESULT StateTarget::setVertexShaderConstantF(UINT start, const float* data, UINT count)
{
    return m_manager ? m_manager->SetVertexShaderConstantF(start, data, count)
                     : m_device->SetVertexShaderConstantF(start, data, count);
}

HRESULT StateTarget::setPixelShaderConstantF(UINT start, const float* data, UINT count)
{
    return m_manager ? m_manager->SetPixelShaderConstantF(start, data, count)
                     : m_device->SetPixelShaderConstantF(start, data, count);
}

HRESULT StateTarget::applyValue(const StateInfo& state, UINT index, const Constant& value)
{
    switch (state.group) {
    case StateGroup::Render:
        return setRenderState(static_cast<D3DRENDERSTATETYPE>(state.type), stateDword(state, value));
    case StateGroup::TextureStage:
        return setTextureStageState(index, static_cast<D3DTEXTURESTAGESTATETYPE>(state.type),
                                    stateDword(state, value));
    case StateGroup::Sampler:
        return setSamplerState(index, static_cast<D3DSAMPLERSTATETYPE>(state.type), stateDword(state, value));
    case StateGroup::Transform: {
        D3DMATRIX m;
        for (size_t i = 0; i < 16; ++i)
            m.m[i / 4][i % 4] = component(value, i);
        D3DTRANSFORMSTATETYPE type = static_cast<D3DTRANSFORMSTATETYPE>(state.type + index);
        return m_manager ? m_manager->SetTransform(type, &m) : m_device->SetTransform(type, &m);
    }
    case StateGroup::LightEnable: {
        BOOL enable = stateDword(state, value) ? TRUE : FALSE;
        return m_manager ? m_manager->LightEnable(index, enable) : m_device->LightEnable(index, enable);
    }
    case StateGroup::Light: {
        // One member of the light: the rest comes from the device.
        D3DLIGHT9 light;
        if (FAILED(m_device->GetLight(index, &light))) {
            std::memset(&light, 0, sizeof(light));
            light.Type = D3DLIGHT_DIRECTIONAL;
            light.Direction.z = 1.0f;
        }
        switch (state.type) {
        case LIGHT_TYPE: light.Type = static_cast<D3DLIGHTTYPE>(stateDword(state, value)); break;
        case LIGHT_DIFFUSE: light.Diffuse = colorValue(value); break;
        case LIGHT_SPECULAR: light.Specular = colorValue(value); break;
        case LIGHT_AMBIENT: light.Ambient = colorValue(value); break;
        case LIGHT_POSITION: light.Position = vectorValue(value); break;
        case LIGHT_DIRECTION: light.Direction = vectorValue(value); break;
        case LIGHT_RANGE: light.Range = component(value, 0); break;
        case LIGHT_FALLOFF: light.Falloff = component(value, 0); break;
        case LIGHT_ATTENUATION0: light.Attenuation0 = component(value, 0); break;
        case LIGHT_ATTENUATION1: light.Attenuation1 = component(value, 0); break;
        case LIGHT_ATTENUATION2: light.Attenuation2 = component(value, 0); break;
        case LIGHT_THETA: light.Theta = component(value, 0); break;
        case LIGHT_PHI: light.Phi = component(value, 0); break;
        default: break;
        }
        return m_manager ? m_manager->SetLight(index, &light) : m_device->SetLight(index, &light);
    }
    case StateGroup::Material: {
        D3DMATERIAL9 material;
        if (FAILED(m_device->GetMaterial(&material)))
            std::memset(&material, 0, sizeof(material));
        switch (state.type) {
        case MATERIAL_DIFFUSE: material.Diffuse = colorValue(value); break;
        case MATERIAL_AMBIENT: material.Ambient = colorValue(value); break;
        case MATERIAL_SPECULAR: material.Specular = colorValue(value); break;
        case MATERIAL_EMISSIVE: material.Emissive = colorValue(value); break;
        case MATERIAL_POWER: material.Power = component(value, 0); break;
        default: break;
        }
        return m_manager ? m_manager->SetMaterial(&material) : m_device->SetMaterial(&material);
    }
    case StateGroup::FVF: {
        DWORD fvf = stateDword(state, value);
        return m_manager ? m_manager->SetFVF(fvf) : m_device->SetFVF(fvf);
    }
    case StateGroup::NPatchMode: {
        float segments = component(value, 0);
        return m_manager ? m_manager->SetNPatchMode(segments) : m_device->SetNPatchMode(segments);
    }
    case StateGroup::VertexShaderConstantF:
    case StateGroup::PixelShaderConstantF: {
        // Whole registers: the value's components, zero-padded.
        std::vector<float> registers((value.values.size() + 3) / 4 * 4, 0.0f);
        for (size_t i = 0; i < value.values.size(); ++i)
            registers[i] = component(value, i);
        UINT count = static_cast<UINT>(registers.size() / 4);
        if (!count)
            return D3D_OK;
        return state.group == StateGroup::VertexShaderConstantF
                   ? setVertexShaderConstantF(index, registers.data(), count)
                   : setPixelShaderConstantF(index, registers.data(), count);
    }
    case StateGroup::VertexShaderConstantI:
    case StateGroup::PixelShaderConstantI: {
        std::vector<int> registers((value.values.size() + 3) / 4 * 4, 0);
        for (size_t i = 0; i < value.values.size(); ++i)
            registers[i] = static_cast<int>(std::max(-2147483648.0, std::min(2147483647.0, value.values[i])));
        UINT count = static_cast<UINT>(registers.size() / 4);
        if (!count)
            return D3D_OK;
        if (state.group == StateGroup::VertexShaderConstantI)
            return m_manager ? m_manager->SetVertexShaderConstantI(index, registers.data(), count)
                             : m_device->SetVertexShaderConstantI(index, registers.data(), count);
        return m_manager ? m_manager->SetPixelShaderConstantI(index, registers.data(), count)
                         : m_device->SetPixelShaderConstantI(index, registers.data(), count);
    }
    case StateGroup::VertexShaderConstantB:
    case StateGroup::PixelShaderConstantB: {
        std::vector<BOOL> registers;
        for (double v : value.values)
            registers.push_back(v != 0.0 ? TRUE : FALSE);
        UINT count = static_cast<UINT>(registers.size());
        if (!count)
            return D3D_OK;
        if (state.group == StateGroup::VertexShaderConstantB)
            return m_manager ? m_manager->SetVertexShaderConstantB(index, registers.data(), count)
                             : m_device->SetVertexShaderConstantB(index, registers.data(), count);
        return m_manager ? m_manager->SetPixelShaderConstantB(index, registers.data(), count)
                         : m_device->SetPixelShaderConstantB(index, registers.data(), count);
    }
    default:
        return D3DERR_INVALIDCALL;
    }
}

} // namespace effect
} // namespace swd3d9
