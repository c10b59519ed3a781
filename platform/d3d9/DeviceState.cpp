#include "d3d9/DeviceState.h"

#include <array>
#include <cstring>

namespace swd3d9 {

namespace {

DWORD floatBits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

// The render states a device knows, by number: the list, then a table of
// it built once, since every SetRenderState looks a state up.
std::array<bool, RENDER_STATE_COUNT> renderStateTable()
{
    static const DWORD valid[] = {
        D3DRS_ZENABLE, D3DRS_FILLMODE, D3DRS_SHADEMODE, D3DRS_ZWRITEENABLE, D3DRS_ALPHATESTENABLE, D3DRS_LASTPIXEL,
        D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_CULLMODE, D3DRS_ZFUNC, D3DRS_ALPHAREF, D3DRS_ALPHAFUNC,
        D3DRS_DITHERENABLE, D3DRS_ALPHABLENDENABLE, D3DRS_FOGENABLE, D3DRS_SPECULARENABLE, D3DRS_FOGCOLOR,
        D3DRS_FOGTABLEMODE, D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY, D3DRS_RANGEFOGENABLE,
        D3DRS_STENCILENABLE, D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL, D3DRS_STENCILPASS, D3DRS_STENCILFUNC,
        D3DRS_STENCILREF, D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK, D3DRS_TEXTUREFACTOR, D3DRS_CLIPPING,
        D3DRS_LIGHTING, D3DRS_AMBIENT, D3DRS_FOGVERTEXMODE, D3DRS_COLORVERTEX, D3DRS_LOCALVIEWER,
        D3DRS_NORMALIZENORMALS, D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE,
        D3DRS_AMBIENTMATERIALSOURCE, D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_VERTEXBLEND, D3DRS_CLIPPLANEENABLE,
        D3DRS_POINTSIZE, D3DRS_POINTSIZE_MIN, D3DRS_POINTSPRITEENABLE, D3DRS_POINTSCALEENABLE, D3DRS_POINTSCALE_A,
        D3DRS_POINTSCALE_B, D3DRS_POINTSCALE_C, D3DRS_MULTISAMPLEANTIALIAS, D3DRS_MULTISAMPLEMASK,
        D3DRS_PATCHEDGESTYLE, D3DRS_DEBUGMONITORTOKEN, D3DRS_POINTSIZE_MAX, D3DRS_INDEXEDVERTEXBLENDENABLE,
        D3DRS_COLORWRITEENABLE, D3DRS_TWEENFACTOR, D3DRS_BLENDOP, D3DRS_POSITIONDEGREE, D3DRS_NORMALDEGREE,
        D3DRS_SCISSORTESTENABLE, D3DRS_SLOPESCALEDEPTHBIAS, D3DRS_ANTIALIASEDLINEENABLE,
        D3DRS_MINTESSELLATIONLEVEL, D3DRS_MAXTESSELLATIONLEVEL, D3DRS_ADAPTIVETESS_X, D3DRS_ADAPTIVETESS_Y,
        D3DRS_ADAPTIVETESS_Z, D3DRS_ADAPTIVETESS_W, D3DRS_ENABLEADAPTIVETESSELLATION, D3DRS_TWOSIDEDSTENCILMODE,
        D3DRS_CCW_STENCILFAIL, D3DRS_CCW_STENCILZFAIL, D3DRS_CCW_STENCILPASS, D3DRS_CCW_STENCILFUNC,
        D3DRS_COLORWRITEENABLE1, D3DRS_COLORWRITEENABLE2, D3DRS_COLORWRITEENABLE3, D3DRS_BLENDFACTOR,
        D3DRS_SRGBWRITEENABLE, D3DRS_DEPTHBIAS, D3DRS_SEPARATEALPHABLENDENABLE, D3DRS_SRCBLENDALPHA,
        D3DRS_DESTBLENDALPHA, D3DRS_BLENDOPALPHA};
    std::array<bool, RENDER_STATE_COUNT> table{};
    for (DWORD v : valid)
        table[v] = true;
    for (DWORD v = D3DRS_WRAP0; v <= D3DRS_WRAP7; ++v)
        table[v] = true;
    for (DWORD v = D3DRS_WRAP8; v <= D3DRS_WRAP15; ++v)
        table[v] = true;
    return table;
}

} // namespace

int samplerSlot(DWORD sampler)
{
    if (sampler < 16)
        return static_cast<int>(sampler);
    if (sampler >= D3DDMAPSAMPLER && sampler <= D3DVERTEXTEXTURESAMPLER3)
        return static_cast<int>(16 + sampler - D3DDMAPSAMPLER);
    return -1;
}

bool isValidRenderState(DWORD state)
{
    static const std::array<bool, RENDER_STATE_COUNT> table = renderStateTable();
    return state < RENDER_STATE_COUNT && table[state];
}

bool isValidTextureStageState(DWORD type)
{
    return (type >= D3DTSS_COLOROP && type <= D3DTSS_TEXCOORDINDEX) || type == D3DTSS_BUMPENVLSCALE ||
           type == D3DTSS_BUMPENVLOFFSET || type == D3DTSS_TEXTURETRANSFORMFLAGS || type == D3DTSS_COLORARG0 ||
           type == D3DTSS_ALPHAARG0 || type == D3DTSS_RESULTARG || type == D3DTSS_CONSTANT;
}

bool isValidSamplerState(DWORD type) { return type >= D3DSAMP_ADDRESSU && type <= D3DSAMP_DMAPOFFSET; }

void setIdentity(D3DMATRIX& matrix)
{
    std::memset(&matrix, 0, sizeof(matrix));
    matrix._11 = matrix._22 = matrix._33 = matrix._44 = 1.0f;
}

void setDefaultState(DeviceState& state, bool zEnable)
{
    DWORD* rs = state.renderStates;
    std::memset(rs, 0, sizeof(state.renderStates));
    rs[D3DRS_ZENABLE] = zEnable ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_ALPHATESTENABLE] = FALSE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAREF] = 0;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_DITHERENABLE] = FALSE;
    rs[D3DRS_ALPHABLENDENABLE] = FALSE;
    rs[D3DRS_FOGENABLE] = FALSE;
    rs[D3DRS_SPECULARENABLE] = FALSE;
    rs[D3DRS_FOGCOLOR] = 0;
    rs[D3DRS_FOGTABLEMODE] = D3DFOG_NONE;
    rs[D3DRS_FOGSTART] = floatBits(0.0f);
    rs[D3DRS_FOGEND] = floatBits(1.0f);
    rs[D3DRS_FOGDENSITY] = floatBits(1.0f);
    rs[D3DRS_RANGEFOGENABLE] = FALSE;
    rs[D3DRS_STENCILENABLE] = FALSE;
    rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILREF] = 0;
    rs[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_AMBIENT] = 0;
    rs[D3DRS_FOGVERTEXMODE] = D3DFOG_NONE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_NORMALIZENORMALS] = FALSE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_VERTEXBLEND] = D3DVBF_DISABLE;
    rs[D3DRS_CLIPPLANEENABLE] = 0;
    rs[D3DRS_POINTSIZE] = floatBits(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = floatBits(1.0f);
    rs[D3DRS_POINTSPRITEENABLE] = FALSE;
    rs[D3DRS_POINTSCALEENABLE] = FALSE;
    rs[D3DRS_POINTSCALE_A] = floatBits(1.0f);
    rs[D3DRS_POINTSCALE_B] = floatBits(0.0f);
    rs[D3DRS_POINTSCALE_C] = floatBits(0.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_PATCHEDGESTYLE] = D3DPATCHEDGE_DISCRETE;
    rs[D3DRS_DEBUGMONITORTOKEN] = D3DDMT_ENABLE;
    rs[D3DRS_POINTSIZE_MAX] = floatBits(64.0f);
    rs[D3DRS_INDEXEDVERTEXBLENDENABLE] = FALSE;
    rs[D3DRS_COLORWRITEENABLE] = 0x0000000F;
    rs[D3DRS_TWEENFACTOR] = floatBits(0.0f);
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_POSITIONDEGREE] = D3DDEGREE_CUBIC;
    rs[D3DRS_NORMALDEGREE] = D3DDEGREE_LINEAR;
    rs[D3DRS_SCISSORTESTENABLE] = FALSE;
    rs[D3DRS_SLOPESCALEDEPTHBIAS] = 0;
    rs[D3DRS_ANTIALIASEDLINEENABLE] = FALSE;
    rs[D3DRS_MINTESSELLATIONLEVEL] = floatBits(1.0f);
    rs[D3DRS_MAXTESSELLATIONLEVEL] = floatBits(1.0f);
    rs[D3DRS_ADAPTIVETESS_X] = floatBits(0.0f);
    rs[D3DRS_ADAPTIVETESS_Y] = floatBits(0.0f);
    rs[D3DRS_ADAPTIVETESS_Z] = floatBits(1.0f);
    rs[D3DRS_ADAPTIVETESS_W] = floatBits(0.0f);
    rs[D3DRS_ENABLEADAPTIVETESSELLATION] = FALSE;
    rs[D3DRS_TWOSIDEDSTENCILMODE] = FALSE;
    rs[D3DRS_CCW_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_COLORWRITEENABLE1] = 0x0000000F;
    rs[D3DRS_COLORWRITEENABLE2] = 0x0000000F;
    rs[D3DRS_COLORWRITEENABLE3] = 0x0000000F;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_SRGBWRITEENABLE] = 0;
    rs[D3DRS_DEPTHBIAS] = 0;
    rs[D3DRS_SEPARATEALPHABLENDENABLE] = FALSE;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    std::memset(state.stageStates, 0, sizeof(state.stageStates));
    for (UINT stage = 0; stage < TEXTURE_STAGE_COUNT; ++stage) {
        DWORD* ts = state.stageStates[stage];
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = stage;
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        ts[D3DTSS_CONSTANT] = 0;
    }

    std::memset(state.samplerStates, 0, sizeof(state.samplerStates));
    for (UINT sampler = 0; sampler < SAMPLER_COUNT; ++sampler) {
        DWORD* ss = state.samplerStates[sampler];
        ss[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_BORDERCOLOR] = 0;
        ss[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MIPMAPLODBIAS] = 0;
        ss[D3DSAMP_MAXMIPLEVEL] = 0;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
        ss[D3DSAMP_SRGBTEXTURE] = 0;
        ss[D3DSAMP_ELEMENTINDEX] = 0;
        ss[D3DSAMP_DMAPOFFSET] = 0;
    }

    setIdentity(state.view);
    setIdentity(state.projection);
    for (D3DMATRIX& world : state.world)
        setIdentity(world);
    for (D3DMATRIX& texture : state.textureTransforms)
        setIdentity(texture);

    state.scissorRect = RECT{0, 0, 0, 0};
    std::memset(&state.material, 0, sizeof(state.material));
    state.lights.clear();
    state.enabledLights.clear();
    std::memset(state.clipPlanes, 0, sizeof(state.clipPlanes));
    state.clipStatus = D3DCLIPSTATUS9{0, 0xFFFFFFFF};

    std::memset(state.vertexShaderFloats, 0, sizeof(state.vertexShaderFloats));
    std::memset(state.vertexShaderInts, 0, sizeof(state.vertexShaderInts));
    std::memset(state.vertexShaderBools, 0, sizeof(state.vertexShaderBools));
    std::memset(state.pixelShaderFloats, 0, sizeof(state.pixelShaderFloats));
    std::memset(state.pixelShaderInts, 0, sizeof(state.pixelShaderInts));
    std::memset(state.pixelShaderBools, 0, sizeof(state.pixelShaderBools));
    state.nPatchSegments = 0.0f;
    state.currentTexturePalette = 0;
    state.dirty = DIRTY_ALL;
}

} // namespace swd3d9
