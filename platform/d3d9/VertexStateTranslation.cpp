#include "d3d9/VertexStateTranslation.h"

#include "d3d9/ProgramShaders.h"
#include "d3d9/SamplerTranslation.h"
#include "shader/ShaderProgram.h"

#include <algorithm>
#include <cstring>

namespace swd3d9 {

using namespace pipeline;

namespace {

Matrix toMatrix(const D3DMATRIX& m)
{
    Matrix r;
    std::memcpy(r.m, m.m, sizeof(r.m));
    return r;
}

float asFloat(DWORD bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

uint8_t materialSource(const DeviceState& state, D3DRENDERSTATETYPE which, const VertexLayout& layout)
{
    if (!state.renderStates[D3DRS_COLORVERTEX])
        return 0;
    const DWORD source = state.renderStates[which];
    if (source == D3DMCS_COLOR1 && layout.diffuse.stream >= 0)
        return 1;
    if (source == D3DMCS_COLOR2 && layout.specular.stream >= 0)
        return 2;
    return 0;
}

// The enabled lights (at most MAX_LIGHTS, in the order they were enabled)
// in camera space.
void prepareLights(const DeviceState& state, VertexConstants& constants)
{
    constants.lightCount = 0;
    const Matrix view = toMatrix(state.view);
    for (DWORD index : state.enabledLights) {
        if (constants.lightCount == MAX_LIGHTS)
            break;
        auto found = state.lights.find(index);
        if (found == state.lights.end())
            continue;
        lightInCameraSpace(found->second.light, view, constants.lights[constants.lightCount++]);
    }
}

} // namespace

void buildVertexState(const DeviceState& state, const VertexLayout& layout, uint8_t stageCount, VertexKey& key,
                      VertexConstants& constants, bool lightsCurrent)
{
    std::memset(&key, 0, sizeof(key));
    const DWORD* rs = state.renderStates;
    key.pretransformed = layout.pretransformed;
    key.lighting = rs[D3DRS_LIGHTING] != 0 && !layout.pretransformed;
    key.normalizeNormals = rs[D3DRS_NORMALIZENORMALS] != 0;
    key.localViewer = rs[D3DRS_LOCALVIEWER] != 0;
    key.specularEnable = rs[D3DRS_SPECULARENABLE] != 0;
    key.rangeFog = rs[D3DRS_RANGEFOGENABLE] != 0;
    if (rs[D3DRS_FOGENABLE] && rs[D3DRS_FOGTABLEMODE] == D3DFOG_NONE && !layout.pretransformed)
        key.vertexFog = static_cast<uint8_t>(rs[D3DRS_FOGVERTEXMODE] <= D3DFOG_LINEAR ? rs[D3DRS_FOGVERTEXMODE] : 0);
    key.clipPlaneMask = layout.pretransformed ? 0 : static_cast<uint8_t>(rs[D3DRS_CLIPPLANEENABLE] & 0x3F);
    if (!rs[D3DRS_CLIPPING])
        key.clipPlaneMask = 0;
    key.stageCount = stageCount;
    key.materialSource.diffuse = materialSource(state, D3DRS_DIFFUSEMATERIALSOURCE, layout);
    key.materialSource.ambient = materialSource(state, D3DRS_AMBIENTMATERIALSOURCE, layout);
    key.materialSource.specular = materialSource(state, D3DRS_SPECULARMATERIALSOURCE, layout);
    key.materialSource.emissive = materialSource(state, D3DRS_EMISSIVEMATERIALSOURCE, layout);

    constants.world = toMatrix(state.world[0]);
    multiply(constants.world, toMatrix(state.view), constants.worldView);
    multiply(constants.worldView, toMatrix(state.projection), constants.worldViewProjection);
    normalMatrixOf(constants.worldView, constants.normalMatrix);
    constants.material = state.material;
    const D3DCOLOR ambient = rs[D3DRS_AMBIENT];
    constants.globalAmbient[0] = ((ambient >> 16) & 0xFF) / 255.0f;
    constants.globalAmbient[1] = ((ambient >> 8) & 0xFF) / 255.0f;
    constants.globalAmbient[2] = (ambient & 0xFF) / 255.0f;
    constants.globalAmbient[3] = (ambient >> 24) / 255.0f;
    constants.fog = {asFloat(rs[D3DRS_FOGSTART]), asFloat(rs[D3DRS_FOGEND]), asFloat(rs[D3DRS_FOGDENSITY])};
    std::memcpy(constants.clipPlanes, state.clipPlanes, sizeof(constants.clipPlanes));

    if (key.lighting) {
        if (!lightsCurrent)
            prepareLights(state, constants);
        key.lightCount = static_cast<uint8_t>(constants.lightCount);
    }

    for (int s = 0; s < stageCount; ++s) {
        const DWORD index = state.stageStates[s][D3DTSS_TEXCOORDINDEX];
        key.texCoordSet[s] = static_cast<uint8_t>(index & 7);
        key.texGen[s] = layout.pretransformed ? 0 : static_cast<uint8_t>((index >> 16) & 0xF);
        const DWORD flags = state.stageStates[s][D3DTSS_TEXTURETRANSFORMFLAGS];
        const DWORD count = flags & 0xFF;
        // D3DTTFF_COUNT1 applies no transform and passes the whole set, as
        // D3DTTFF_DISABLE does: so Windows drivers draw it, where the
        // reference pages would pass one transformed component.
        const bool counted = count >= 2 && count <= 4;
        key.texTransformCount[s] = layout.pretransformed || !counted ? 0 : static_cast<uint8_t>(count);
        const VertexElement& set = layout.texCoords[key.texCoordSet[s]];
        const bool shortFloats = set.stream >= 0 && set.type >= D3DDECLTYPE_FLOAT1 && set.type < D3DDECLTYPE_FLOAT4;
        key.texCoordGiven[s] = static_cast<uint8_t>(shortFloats ? set.type - D3DDECLTYPE_FLOAT1 + 1 : 4);
        // A pixel program reads the coordinates as they are.
        const bool countless = count == 0 || count > 4;
        key.texProjectedByGiven[s] = (flags & D3DTTFF_PROJECTED) && countless && !state.pixelShader;
        constants.textureTransforms[s] = toMatrix(state.textureTransforms[s]);
    }
}

bool buildVertexProgram(const DeviceState& state, const Shader* vertexShader, const DrawDescription& draw,
                        int varyingCount, SamplerSetup vertexSamplers[VERTEX_SAMPLERS], VertexProgramSetup& setup)
{
    if (!vertexShader || !vertexShader->program() || !vertexShader->program()->executable())
        return false;
    const shader::Program& program = *vertexShader->program();
    const shader::ProgramInfo& info = program.info();
    if (info.inputs.size() > MAX_PROGRAM_INPUTS || info.outputs.size() > MAX_VERTEX_OUTPUTS ||
        info.samplers.size() > VERTEX_SAMPLERS || info.uniformBytes > sizeof(state.vertexShaderFloats) ||
        vertexShader->samplerRegisters().size() != info.samplers.size())
        return false;
    setup.executable = program.executable();

    uint8_t usages[MAX_PROGRAM_INPUTS][2];
    const int inputCount = static_cast<int>(info.inputs.size());
    for (int i = 0; i < inputCount; ++i) {
        usages[i][0] = info.inputs[static_cast<size_t>(i)].usage;
        usages[i][1] = info.inputs[static_cast<size_t>(i)].usageIndex;
    }
    const bool layoutFound = draw.declaration
                                 ? programInputsFromDeclaration(*draw.declaration, usages, inputCount, setup.inputs)
                                 : programInputsFromFvf(draw.fvf, usages, inputCount, setup.inputs);
    if (!layoutFound)
        return false;

    setup.outputCount = static_cast<int>(info.outputs.size());
    setup.positionOutput = -1;
    for (int i = 0; i < setup.outputCount; ++i) {
        const shader::StageVariable& v = info.outputs[static_cast<size_t>(i)];
        setup.outputVarying[i] = -1;
        setup.outputComponents[i] = 0;
        setup.outputSaturated[i] = false;
        int varying = -1, available = 4;
        if (v.usage == D3DDECLUSAGE_POSITION && v.usageIndex == 0) {
            setup.positionOutput = i;
        } else if (v.usage == D3DDECLUSAGE_COLOR && v.usageIndex < 2) {
            varying = v.usageIndex == 0 ? VARYING_DIFFUSE : VARYING_SPECULAR;
            setup.outputSaturated[i] = true;
        } else if (v.usage == D3DDECLUSAGE_FOG) {
            varying = VARYING_FOG;
            available = 1;
        } else if (v.usage == D3DDECLUSAGE_TEXCOORD && v.usageIndex < MAX_STAGES) {
            varying = VARYING_TEXCOORD + 4 * v.usageIndex;
        }
        if (varying < 0 || varying >= varyingCount)
            continue;
        setup.outputVarying[i] = static_cast<int8_t>(varying);
        setup.outputComponents[i] = static_cast<uint8_t>(std::min({available, 4, varyingCount - varying}));
    }
    setup.varyingCount = varyingCount;

    const DWORD* rs = state.renderStates;
    setup.clipPlaneMask = rs[D3DRS_CLIPPING] ? static_cast<uint8_t>(rs[D3DRS_CLIPPLANEENABLE] & 0x3F) : 0;
    std::memcpy(setup.clipPlanes, state.clipPlanes, sizeof(setup.clipPlanes));
    setup.constants = &state.vertexShaderFloats[0][0];

    setup.samplerCount = static_cast<int>(info.samplers.size());
    for (int i = 0; i < setup.samplerCount; ++i) {
        const DWORD reg = vertexShader->samplerRegisters()[static_cast<size_t>(i)];
        if (reg < D3DVERTEXTEXTURESAMPLER0 || reg > D3DVERTEXTEXTURESAMPLER3)
            return false;
        const int slot = samplerSlot(reg);
        SamplerSetup& sampler = vertexSamplers[reg - D3DVERTEXTEXTURESAMPLER0];
        prepareSampler(sampler, state.samplerStates[slot], state.textures[slot]);
        setup.samplers[i] = &sampler;
    }
    return true;
}

} // namespace swd3d9
