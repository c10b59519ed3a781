// State blocks: the documented groups they capture, recording between
// BeginStateBlock and EndStateBlock, Capture and Apply, the references
// they hold, and the call sequences Direct3D refuses.
//
// The device's whole state is read through its getters into a snapshot,
// so that a block's effect is checked by a path independent of the block.

#include "D3DTestSupport.h"

#include "d3d9/ProgramShaders.h"
#include "shader/ShaderProgram.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace d3dtest;
using swd3d9::shader::ShaderStage;

namespace {

// Every state a block can hold, by name ("rs:7", "tss:0:1", "samp:256:13",
// "light:2", "vsF:10", ...), as 32-bit words.
using Snapshot = std::map<std::string, std::vector<uint32_t>>;

const DWORD SAMPLERS[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, D3DDMAPSAMPLER,
                          D3DVERTEXTEXTURESAMPLER0, D3DVERTEXTEXTURESAMPLER1, D3DVERTEXTEXTURESAMPLER2,
                          D3DVERTEXTEXTURESAMPLER3};
constexpr UINT TRANSFORM_COUNT = 10 + 256;
constexpr uint32_t NO_LIGHT = 0xFFFFFFFFu;

template <class T>
std::vector<uint32_t> words(const T& value)
{
    static_assert(sizeof(T) % 4 == 0, "whole words");
    std::vector<uint32_t> result(sizeof(T) / 4);
    std::memcpy(result.data(), &value, sizeof(T));
    return result;
}

// The identity of an object a getter returned, giving up the getter's reference.
std::vector<uint32_t> identity(IUnknown* object)
{
    const uint64_t address = reinterpret_cast<uintptr_t>(object);
    if (object)
        object->Release();
    return {static_cast<uint32_t>(address), static_cast<uint32_t>(address >> 32)};
}

std::string key(const char* group, UINT a) { return std::string(group) + ":" + std::to_string(a); }
std::string key(const char* group, UINT a, UINT b) { return key(group, a) + ":" + std::to_string(b); }

// 0 view, 1 projection, 2-9 the texture stages, then the world matrices.
D3DTRANSFORMSTATETYPE transformOfIndex(UINT t)
{
    if (t < 2)
        return t == 0 ? D3DTS_VIEW : D3DTS_PROJECTION;
    if (t < 10)
        return static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + (t - 2));
    return D3DTS_WORLDMATRIX(t - 10);
}

Snapshot readState(IDirect3DDevice9* d)
{
    Snapshot s;
    DWORD value;
    for (UINT state = 0; state < 256; ++state) {
        if (SUCCEEDED(d->GetRenderState(static_cast<D3DRENDERSTATETYPE>(state), &value)))
            s[key("rs", state)] = {value};
    }
    for (UINT stage = 0; stage < 8; ++stage)
        for (UINT type = 0; type < 33; ++type) {
            if (SUCCEEDED(d->GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), &value)))
                s[key("tss", stage, type)] = {value};
        }
    for (DWORD sampler : SAMPLERS) {
        for (UINT type = 0; type < 14; ++type) {
            if (SUCCEEDED(d->GetSamplerState(sampler, static_cast<D3DSAMPLERSTATETYPE>(type), &value)))
                s[key("samp", sampler, type)] = {value};
        }
        IDirect3DBaseTexture9* texture = nullptr;
        d->GetTexture(sampler, &texture);
        s[key("tex", sampler)] = identity(texture);
    }
    for (UINT stream = 0; stream < 16; ++stream) {
        IDirect3DVertexBuffer9* buffer = nullptr;
        UINT offset = 0, stride = 0, frequency = 0;
        d->GetStreamSource(stream, &buffer, &offset, &stride);
        d->GetStreamSourceFreq(stream, &frequency);
        s[key("stream", stream)] = identity(buffer);
        s[key("stream", stream)].insert(s[key("stream", stream)].end(), {offset, stride});
        s[key("freq", stream)] = {frequency};
    }
    IDirect3DIndexBuffer9* indices = nullptr;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    DWORD fvf = 0;
    d->GetIndices(&indices);
    d->GetVertexDeclaration(&declaration);
    d->GetFVF(&fvf);
    s["indices"] = identity(indices);
    s["vertexFormat"] = identity(declaration);
    s["vertexFormat"].push_back(fvf);
    for (UINT t = 0; t < TRANSFORM_COUNT; ++t) {
        D3DMATRIX matrix;
        d->GetTransform(transformOfIndex(t), &matrix);
        s[key("transform", t)] = words(matrix);
    }
    D3DVIEWPORT9 viewport;
    RECT scissor;
    D3DMATERIAL9 material;
    d->GetViewport(&viewport);
    d->GetScissorRect(&scissor);
    d->GetMaterial(&material);
    s["viewport"] = words(viewport);
    s["scissor"] = words(scissor);
    s["material"] = words(material);
    for (UINT index = 0; index < 8; ++index) {
        D3DLIGHT9 light;
        BOOL enabled = FALSE;
        const bool exists = SUCCEEDED(d->GetLight(index, &light)) && SUCCEEDED(d->GetLightEnable(index, &enabled));
        s[key("light", index)] = exists ? words(light) : std::vector<uint32_t>{NO_LIGHT};
        if (exists)
            s[key("light", index)].push_back(enabled);
    }
    for (UINT plane = 0; plane < 6; ++plane) {
        float values[4];
        d->GetClipPlane(plane, values);
        s[key("clip", plane)] = words(values);
    }
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    d->GetVertexShader(&vs);
    d->GetPixelShader(&ps);
    s["vs"] = identity(vs);
    s["ps"] = identity(ps);
    float f[4];
    int i[4];
    BOOL b;
    for (UINT r = 0; r < 256; ++r) {
        d->GetVertexShaderConstantF(r, f, 1);
        s[key("vsF", r)] = words(f);
        if (r < 224 && SUCCEEDED(d->GetPixelShaderConstantF(r, f, 1)))
            s[key("psF", r)] = words(f);
    }
    for (UINT r = 0; r < 16; ++r) {
        d->GetVertexShaderConstantI(r, i, 1);
        s[key("vsI", r)] = words(i);
        d->GetVertexShaderConstantB(r, &b, 1);
        s[key("vsB", r)] = words(b);
        d->GetPixelShaderConstantI(r, i, 1);
        s[key("psI", r)] = words(i);
        d->GetPixelShaderConstantB(r, &b, 1);
        s[key("psB", r)] = words(b);
    }
    UINT palette = 0;
    d->GetCurrentTexturePalette(&palette);
    s["npatch"] = words(d->GetNPatchMode());
    s["palette"] = {palette};
    return s;
}

// Reports the first differences by name.
::testing::AssertionResult sameState(const Snapshot& actual, const Snapshot& expected)
{
    std::ostringstream differences;
    int count = 0;
    for (const auto& entry : expected) {
        if (actual.at(entry.first) != entry.second && ++count <= 12)
            differences << entry.first << " ";
    }
    if (count == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << count << " states differ: " << differences.str();
}

std::shared_ptr<const swd3d9::shader::Program> makeProgram(ShaderStage stage)
{
    swd3d9::shader::ProgramInfo info;
    info.stage = stage;
    return std::make_shared<const swd3d9::shader::Program>(std::vector<uint32_t>{}, info);
}

// The objects the two variants of the device state bind.
struct Objects {
    Com<IDirect3DTexture9> textures[2];
    Com<IDirect3DVertexBuffer9> vertices[2];
    Com<IDirect3DIndexBuffer9> indices[2];
    Com<IDirect3DVertexDeclaration9> declaration;
    Com<IDirect3DVertexShader9> vertexShaders[2];
    Com<IDirect3DPixelShader9> pixelShaders[2];
};

D3DLIGHT9 lightFor(int variant, UINT index)
{
    D3DLIGHT9 light;
    std::memset(&light, 0, sizeof(light));
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = D3DCOLORVALUE{0.25f * variant, 0.5f, 0.125f * index, 1.0f};
    light.Position = D3DVECTOR{static_cast<float>(variant), static_cast<float>(index), 1.0f};
    light.Range = 10.0f + variant;
    light.Attenuation0 = 1.0f;
    return light;
}

// Sets every state a block can hold to the values of variant k (0 or 1);
// the two variants differ in every state.
void setVariant(IDirect3DDevice9* d, int k, Objects& o)
{
    for (UINT state = 0; state < 256; ++state)
        d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), 0x1000u * (k + 1) + state);
    for (UINT stage = 0; stage < 8; ++stage)
        for (UINT type = 0; type < 33; ++type)
            d->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type),
                                    0x2000u * (k + 1) + 64 * stage + type);
    for (UINT i = 0; i < 21; ++i) {
        for (UINT type = 0; type < 14; ++type)
            d->SetSamplerState(SAMPLERS[i], static_cast<D3DSAMPLERSTATETYPE>(type), 0x3000u * (k + 1) + 16 * i + type);
        ASSERT_EQ(D3D_OK, d->SetTexture(SAMPLERS[i], o.textures[(i + k) % 2].get()));
    }
    for (UINT stream = 0; stream < 16; ++stream) {
        ASSERT_EQ(D3D_OK, d->SetStreamSource(stream, o.vertices[(stream + k) % 2].get(), 4 * (stream + k),
                                             16 + 4 * k + stream));
        ASSERT_EQ(D3D_OK, d->SetStreamSourceFreq(stream, 1 + k + stream));
    }
    ASSERT_EQ(D3D_OK, d->SetIndices(o.indices[k].get()));
    ASSERT_EQ(D3D_OK, k == 0 ? d->SetVertexDeclaration(o.declaration.get()) : d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE));
    for (UINT t = 0; t < TRANSFORM_COUNT; ++t) {
        D3DMATRIX m;
        for (int e = 0; e < 16; ++e)
            m.m[e / 4][e % 4] = static_cast<float>(10000 * k + 16 * t + e);
        ASSERT_EQ(D3D_OK, d->SetTransform(transformOfIndex(t), &m));
    }
    const D3DVIEWPORT9 viewport = k == 0 ? D3DVIEWPORT9{0, 0, 64, 48, 0.0f, 1.0f}
                                         : D3DVIEWPORT9{4, 4, 32, 16, 0.25f, 0.75f};
    const RECT scissor{k, 2 * k, 20 + k, 30 + k};
    D3DMATERIAL9 material;
    float* fields = reinterpret_cast<float*>(&material);
    for (size_t i = 0; i < sizeof(material) / sizeof(float); ++i)
        fields[i] = k + 0.125f * i;
    ASSERT_EQ(D3D_OK, d->SetViewport(&viewport));
    ASSERT_EQ(D3D_OK, d->SetScissorRect(&scissor));
    ASSERT_EQ(D3D_OK, d->SetMaterial(&material));
    for (UINT index = 0; index < 4; ++index) {
        const D3DLIGHT9 light = lightFor(k, index);
        ASSERT_EQ(D3D_OK, d->SetLight(index, &light));
        ASSERT_EQ(D3D_OK, d->LightEnable(index, (index + k) % 2 == 0));
    }
    for (UINT plane = 0; plane < 6; ++plane) {
        const float values[4] = {10.0f * k + plane, 0.25f, 0.5f, -1.0f * k};
        ASSERT_EQ(D3D_OK, d->SetClipPlane(plane, values));
    }
    ASSERT_EQ(D3D_OK, d->SetVertexShader(o.vertexShaders[k].get()));
    ASSERT_EQ(D3D_OK, d->SetPixelShader(o.pixelShaders[k].get()));
    std::vector<float> floats(256 * 4);
    int ints[16 * 4];
    BOOL bools[16];
    for (size_t i = 0; i < floats.size(); ++i)
        floats[i] = 1000.0f * (k + 1) + 0.25f * i;
    for (int i = 0; i < 64; ++i)
        ints[i] = 100 * (k + 1) + i;
    for (int i = 0; i < 16; ++i)
        bools[i] = (i + k) % 2;
    ASSERT_EQ(D3D_OK, d->SetVertexShaderConstantF(0, floats.data(), 256));
    ASSERT_EQ(D3D_OK, d->SetVertexShaderConstantI(0, ints, 16));
    ASSERT_EQ(D3D_OK, d->SetVertexShaderConstantB(0, bools, 16));
    for (float& f : floats)
        f = -f;
    for (int& i : ints)
        i = -i;
    for (BOOL& b : bools)
        b = !b;
    ASSERT_EQ(D3D_OK, d->SetPixelShaderConstantF(0, floats.data(), 224));
    ASSERT_EQ(D3D_OK, d->SetPixelShaderConstantI(0, ints, 16));
    ASSERT_EQ(D3D_OK, d->SetPixelShaderConstantB(0, bools, 16));
    ASSERT_EQ(D3D_OK, d->SetNPatchMode(2.0f + k));
    ASSERT_EQ(D3D_OK, d->SetCurrentTexturePalette(5 + k));
}

// Whether a pixel-state or vertex-state block holds the state `name`:
// the groups the Direct3D 9 documentation lists. Render states are checked
// by a few of each kind: of one group only, of both, of neither.
enum class Held { Yes, No, Unchecked };

Held heldBy(D3DSTATEBLOCKTYPE type, const std::string& name)
{
    static const std::set<DWORD> pixelOnly = {D3DRS_ZENABLE, D3DRS_SRCBLEND, D3DRS_ALPHAREF, D3DRS_STENCILREF,
                                              D3DRS_WRAP12, D3DRS_BLENDOPALPHA, D3DRS_SHADEMODE,
                                              D3DRS_SPECULARENABLE, D3DRS_SCISSORTESTENABLE};
    static const std::set<DWORD> vertexOnly = {D3DRS_CULLMODE, D3DRS_LIGHTING, D3DRS_AMBIENT, D3DRS_FOGCOLOR,
                                               D3DRS_POINTSIZE, D3DRS_CLIPPLANEENABLE, D3DRS_TWEENFACTOR};
    static const std::set<DWORD> both = {D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY, D3DRS_LOCALVIEWER,
                                         D3DRS_DIFFUSEMATERIALSOURCE};
    static const std::set<DWORD> neither = {D3DRS_FOGENABLE, D3DRS_NORMALIZENORMALS};
    static const std::set<std::string> pixelGroups = {"ps", "psF", "psI", "psB"};
    static const std::set<std::string> vertexGroups = {"vs",   "vsF",          "vsI",   "vsB",
                                                       "freq", "vertexFormat", "light", "npatch"};
    const bool pixel = type == D3DSBT_PIXELSTATE;
    const size_t colon = name.find(':');
    const std::string group = name.substr(0, colon);
    // The last number of the name: the state, stage state or sampler state.
    const DWORD last = colon == std::string::npos ? 0 : std::stoul(name.substr(name.rfind(':') + 1));
    if (group == "rs") {
        if (both.count(last) || neither.count(last))
            return both.count(last) ? Held::Yes : Held::No;
        if (pixelOnly.count(last) || vertexOnly.count(last))
            return pixelOnly.count(last) == (pixel ? 1u : 0u) ? Held::Yes : Held::No;
        return Held::Unchecked;
    }
    if (group == "tss")
        return pixel || last == D3DTSS_TEXCOORDINDEX || last == D3DTSS_TEXTURETRANSFORMFLAGS ? Held::Yes : Held::No;
    if (group == "samp")
        return (last == D3DSAMP_DMAPOFFSET) != pixel ? Held::Yes : Held::No;
    return (pixel ? pixelGroups : vertexGroups).count(group) ? Held::Yes : Held::No;
}

// Checks a snapshot state by state: `held` states as in `heldValues`,
// the others as in `otherValues`.
void expectHeld(D3DSTATEBLOCKTYPE type, const Snapshot& actual, const Snapshot& heldValues,
                const Snapshot& otherValues)
{
    for (const auto& entry : actual) {
        const Held held = heldBy(type, entry.first);
        if (held != Held::Unchecked) {
            const Snapshot& expected = held == Held::Yes ? heldValues : otherValues;
            EXPECT_EQ(expected.at(entry.first), entry.second) << entry.first;
        }
    }
}

class StateBlockTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        objects.reset(new Objects);
        Objects& o = *objects;
        const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
        ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(elements, o.declaration.out()));
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                    o.textures[i].out(), nullptr));
            ASSERT_EQ(D3D_OK, device->CreateVertexBuffer(256, 0, 0, D3DPOOL_MANAGED, o.vertices[i].out(), nullptr));
            ASSERT_EQ(D3D_OK, device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, o.indices[i].out(),
                                                        nullptr));
            ASSERT_EQ(D3D_OK, swd3d9::createVertexShader(device.get(), makeProgram(ShaderStage::Vertex), {},
                                                         o.vertexShaders[i].out()));
            ASSERT_EQ(D3D_OK, swd3d9::createPixelShader(device.get(), makeProgram(ShaderStage::Pixel), {},
                                                        o.pixelShaders[i].out()));
        }
    }

    void TearDown() override
    {
        objects.reset();
        DeviceTest::TearDown();
    }

    void setState(int variant) { setVariant(device.get(), variant, *objects); }
    Snapshot state() { return readState(device.get()); }
    DWORD renderState(D3DRENDERSTATETYPE type)
    {
        DWORD value = 0;
        device->GetRenderState(type, &value);
        return value;
    }

    std::unique_ptr<Objects> objects;
};

} // namespace

TEST_F(StateBlockTest, AllStateRoundTripsThroughABlock)
{
    setState(0);
    const Snapshot first = state();
    Com<IDirect3DStateBlock9> block;
    ASSERT_EQ(D3D_OK, device->CreateStateBlock(D3DSBT_ALL, block.out()));
    setState(1);
    const Snapshot second = state();
    // The variants differ in every state (but the lights neither makes).
    for (const auto& entry : first) {
        if (entry.second != std::vector<uint32_t>{NO_LIGHT}) {
            EXPECT_NE(entry.second, second.at(entry.first)) << entry.first;
        }
    }
    ASSERT_EQ(D3D_OK, block->Apply());
    EXPECT_TRUE(sameState(state(), first));

    // Capture takes the device's values again.
    setState(1);
    ASSERT_EQ(D3D_OK, block->Capture());
    setState(0);
    ASSERT_EQ(D3D_OK, block->Apply());
    EXPECT_TRUE(sameState(state(), second));
}

TEST_F(StateBlockTest, PixelAndVertexBlocksHoldTheirDocumentedGroups)
{
    for (D3DSTATEBLOCKTYPE type : {D3DSBT_PIXELSTATE, D3DSBT_VERTEXSTATE}) {
        SCOPED_TRACE(type == D3DSBT_PIXELSTATE ? "pixel state" : "vertex state");
        setState(0);
        const Snapshot first = state();
        Com<IDirect3DStateBlock9> block;
        ASSERT_EQ(D3D_OK, device->CreateStateBlock(type, block.out()));
        setState(1);
        const Snapshot second = state();
        ASSERT_EQ(D3D_OK, block->Apply());
        expectHeld(type, state(), first, second);

        // Capture refreshes the same group and nothing else.
        setState(1);
        ASSERT_EQ(D3D_OK, block->Capture());
        setState(0);
        ASSERT_EQ(D3D_OK, block->Apply());
        expectHeld(type, state(), second, first);
    }
}

TEST_F(StateBlockTest, RecordingLeavesTheDeviceAsItWasAndRecordsEverySetter)
{
    setState(0);
    const Snapshot first = state();
    ASSERT_EQ(D3D_OK, device->BeginStateBlock());
    setState(1);
    EXPECT_TRUE(sameState(state(), first));
    Com<IDirect3DStateBlock9> block;
    ASSERT_EQ(D3D_OK, device->EndStateBlock(block.out()));
    EXPECT_TRUE(sameState(state(), first));

    ASSERT_EQ(D3D_OK, block->Apply());
    const Snapshot applied = state();
    setState(1);
    EXPECT_TRUE(sameState(applied, state()));
}

TEST_F(StateBlockTest, RecordedBlocksHoldOnlyWhatWasSet)
{
    setState(0);
    const Snapshot first = state();
    const float constants[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const D3DLIGHT9 light = lightFor(3, 6);
    auto recordedCalls = [&]() {
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
        device->SetTexture(2, objects->textures[1].get());
        device->SetLight(6, &light);
        device->LightEnable(6, TRUE);
        device->SetVertexShaderConstantF(10, constants, 2);
        device->SetStreamSource(3, objects->vertices[1].get(), 8, 40);
        device->SetPixelShader(nullptr);
        device->SetFVF(D3DFVF_XYZRHW);
    };
    ASSERT_EQ(D3D_OK, device->BeginStateBlock());
    recordedCalls();
    // MultiplyTransform is not among the calls a block records: it acts on
    // the device at once.
    D3DMATRIX scale, view;
    device->GetTransform(D3DTS_VIEW, &scale);
    ASSERT_EQ(D3D_OK, device->MultiplyTransform(D3DTS_VIEW, &scale));
    device->GetTransform(D3DTS_VIEW, &view);
    EXPECT_NE(words(scale), words(view));
    Com<IDirect3DStateBlock9> block;
    ASSERT_EQ(D3D_OK, device->EndStateBlock(block.out()));
    device->SetTransform(D3DTS_VIEW, &scale);

    // The block does to the device what the calls do, and nothing more.
    recordedCalls();
    const Snapshot direct = state();
    EXPECT_FALSE(sameState(direct, first));
    setState(0);
    ASSERT_EQ(D3D_OK, block->Apply());
    EXPECT_TRUE(sameState(state(), direct));

    // Capture refreshes the states the block holds; others keep later values.
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_NEVER);
    ASSERT_EQ(D3D_OK, block->Capture());
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    ASSERT_EQ(D3D_OK, block->Apply());
    EXPECT_EQ(static_cast<DWORD>(D3DCMP_NEVER), renderState(D3DRS_ZFUNC));
    EXPECT_EQ(static_cast<DWORD>(D3DCULL_CW), renderState(D3DRS_CULLMODE));
}

// Lights made after a block was are not the block's, even on Capture.
TEST_F(StateBlockTest, BlocksHoldTheLightsThatExistedWhenMade)
{
    setState(0);
    Com<IDirect3DStateBlock9> block;
    ASSERT_EQ(D3D_OK, device->CreateStateBlock(D3DSBT_VERTEXSTATE, block.out()));
    const D3DLIGHT9 early = lightFor(0, 5), late = lightFor(1, 5);
    ASSERT_EQ(D3D_OK, device->SetLight(5, &early));
    ASSERT_EQ(D3D_OK, block->Capture());
    ASSERT_EQ(D3D_OK, device->SetLight(5, &late));
    ASSERT_EQ(D3D_OK, block->Apply());
    D3DLIGHT9 light;
    ASSERT_EQ(D3D_OK, device->GetLight(5, &light));
    EXPECT_EQ(words(late), words(light));
}

TEST_F(StateBlockTest, BlocksHoldWhatTheyCaptureUntilReleasedOrRecaptured)
{
    const UINT base = SwD3D9GetLiveObjectCount();
    const ULONG deviceRefs = refCount(device.get());
    IDirect3DTexture9* texture = nullptr;
    IDirect3DVertexBuffer9* vertices = nullptr;
    IDirect3DIndexBuffer9* indices = nullptr;
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr));
    const UINT textureObjects = SwD3D9GetLiveObjectCount() - base;
    ASSERT_EQ(D3D_OK, device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vertices, nullptr));
    ASSERT_EQ(D3D_OK, device->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices, nullptr));
    ASSERT_EQ(D3D_OK, swd3d9::createVertexShader(device.get(), makeProgram(ShaderStage::Vertex), {}, &vs));
    ASSERT_EQ(D3D_OK, swd3d9::createPixelShader(device.get(), makeProgram(ShaderStage::Pixel), {}, &ps));
    const UINT created = SwD3D9GetLiveObjectCount();
    device->SetTexture(0, texture);
    device->SetStreamSource(0, vertices, 0, 12);
    device->SetIndices(indices);
    device->SetVertexShader(vs);
    device->SetPixelShader(ps);

    Com<IDirect3DStateBlock9> block;
    ASSERT_EQ(D3D_OK, device->CreateStateBlock(D3DSBT_ALL, block.out()));
    // The block holds its device; the application's counts stay its own.
    EXPECT_EQ(deviceRefs + 6, refCount(device.get()));
    EXPECT_EQ(2u, block->AddRef());
    EXPECT_EQ(1u, block->Release());
    // Unbound and released by the application, the objects live on in the block.
    setState(0);
    EXPECT_EQ(0u, texture->Release());
    EXPECT_EQ(0u, vertices->Release());
    EXPECT_EQ(0u, indices->Release());
    EXPECT_EQ(0u, vs->Release());
    EXPECT_EQ(0u, ps->Release());
    EXPECT_EQ(created + 1, SwD3D9GetLiveObjectCount());
    EXPECT_EQ(deviceRefs + 1, refCount(device.get()));
    ASSERT_EQ(D3D_OK, block->Apply());
    Com<IDirect3DVertexShader9> bound;
    device->GetVertexShader(bound.out());
    EXPECT_EQ(vs, bound.get());
    bound.reset();

    // Capture lets go of what the block held: the device's bindings now
    // hold the objects, the block the fixture's.
    setState(1);
    ASSERT_EQ(D3D_OK, block->Capture());
    EXPECT_EQ(base + 1, SwD3D9GetLiveObjectCount());

    // A recording holds what it records, and is itself a block.
    ASSERT_EQ(D3D_OK, device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr));
    ASSERT_EQ(D3D_OK, device->BeginStateBlock());
    device->SetTexture(5, texture);
    EXPECT_EQ(0u, texture->Release());
    EXPECT_EQ(base + 2 + textureObjects, SwD3D9GetLiveObjectCount());
    Com<IDirect3DStateBlock9> recorded;
    ASSERT_EQ(D3D_OK, device->EndStateBlock(recorded.out()));
    recorded.reset();
    block.reset();
    EXPECT_EQ(base, SwD3D9GetLiveObjectCount());
    EXPECT_EQ(deviceRefs, refCount(device.get()));
}

TEST_F(StateBlockTest, ADeviceGoingAwayWhileRecordingReleasesTheRecording)
{
    const UINT base = SwD3D9GetLiveObjectCount();
    Com<IDirect3DDevice9> other;
    D3DPRESENT_PARAMETERS p = windowedParameters(window);
    ASSERT_EQ(D3D_OK, d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                                        other.out()));
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3D_OK, other->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr));
    ASSERT_EQ(D3D_OK, other->BeginStateBlock());
    ASSERT_EQ(D3D_OK, other->SetTexture(0, texture));
    texture->Release();
    // The recording does not hold the device.
    EXPECT_EQ(1u, refCount(other.get()));
    other.reset();
    EXPECT_EQ(base, SwD3D9GetLiveObjectCount());
}

TEST_F(StateBlockTest, CallSequencesDirect3DRefuses)
{
    Com<IDirect3DStateBlock9> block, other;
    EXPECT_EQ(D3DERR_INVALIDCALL, device->CreateStateBlock(static_cast<D3DSTATEBLOCKTYPE>(0), block.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->CreateStateBlock(static_cast<D3DSTATEBLOCKTYPE>(4), block.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->CreateStateBlock(D3DSBT_ALL, nullptr));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->EndStateBlock(block.out()));
    EXPECT_EQ(nullptr, block.get());
    ASSERT_EQ(D3D_OK, device->CreateStateBlock(D3DSBT_PIXELSTATE, block.out()));
    Com<IDirect3DDevice9> owner;
    ASSERT_EQ(D3D_OK, block->GetDevice(owner.out()));
    EXPECT_EQ(device.get(), owner.get());
    Com<IUnknown> unknown;
    EXPECT_EQ(S_OK, block->QueryInterface(IID_IDirect3DStateBlock9, reinterpret_cast<void**>(unknown.out())));

    // While recording: no second recording, no other block made, captured or applied.
    ASSERT_EQ(D3D_OK, device->BeginStateBlock());
    EXPECT_EQ(D3DERR_INVALIDCALL, device->BeginStateBlock());
    EXPECT_EQ(D3DERR_INVALIDCALL, device->CreateStateBlock(D3DSBT_ALL, other.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, block->Capture());
    EXPECT_EQ(D3DERR_INVALIDCALL, block->Apply());
    EXPECT_EQ(D3DERR_INVALIDCALL, device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(300), 1));
    // Ending without a place for the block leaves the recording going.
    EXPECT_EQ(D3DERR_INVALIDCALL, device->EndStateBlock(nullptr));
    ASSERT_EQ(D3D_OK, device->EndStateBlock(other.out()));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->EndStateBlock(other.out()));

    // State blocks must be released before Reset, like resources of the
    // default pool; Reset drops a recording in progress.
    D3DPRESENT_PARAMETERS p = windowedParameters(window);
    EXPECT_EQ(D3DERR_INVALIDCALL, device->Reset(&p));
    EXPECT_EQ(D3DERR_DEVICENOTRESET, device->TestCooperativeLevel());
    owner.reset();
    unknown.reset();
    block.reset();
    ASSERT_EQ(D3D_OK, device->BeginStateBlock());
    ASSERT_EQ(D3D_OK, device->Reset(&p));
    EXPECT_EQ(D3DERR_INVALIDCALL, device->EndStateBlock(block.out()));
    ASSERT_EQ(D3D_OK, device->SetRenderState(D3DRS_ZFUNC, D3DCMP_NEVER));
    EXPECT_EQ(static_cast<DWORD>(D3DCMP_NEVER), renderState(D3DRS_ZFUNC));
}

// A captured viewport is applied even where it no longer fits render
// target 0. (This test used to expect the viewport of the smaller target to
// stay, because SetViewport refused viewports past the target; drivers
// accept them.)
TEST_F(StateBlockTest, ApplyRestoresTheViewportWhateverTheRenderTarget)
{
    D3DVIEWPORT9 full, viewport;
    device->GetViewport(&full);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    Com<IDirect3DStateBlock9> block;
    ASSERT_EQ(D3D_OK, device->CreateStateBlock(D3DSBT_ALL, block.out()));
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    Com<IDirect3DSurface9> small, back = backBuffer();
    ASSERT_EQ(D3D_OK, device->CreateRenderTarget(16, 16, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, small.out(),
                                                 nullptr));
    ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, small.get()));
    ASSERT_EQ(D3D_OK, block->Apply());
    device->GetViewport(&viewport);
    EXPECT_EQ(words(full), words(viewport));
    EXPECT_EQ(static_cast<DWORD>(D3DCMP_GREATER), renderState(D3DRS_ZFUNC));

    ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, back.get()));
    const D3DVIEWPORT9 corner{0, 0, 8, 8, 0.0f, 1.0f};
    ASSERT_EQ(D3D_OK, device->SetViewport(&corner));
    ASSERT_EQ(D3D_OK, block->Apply());
    device->GetViewport(&viewport);
    EXPECT_EQ(words(full), words(viewport));
}

// Unbinding a stream keeps its stride, as Direct3D does.
TEST_F(DeviceTest, UnboundStreamsKeepTheirStride)
{
    Com<IDirect3DVertexBuffer9> vertices;
    ASSERT_EQ(D3D_OK, device->CreateVertexBuffer(256, 0, 0, D3DPOOL_MANAGED, vertices.out(), nullptr));
    ASSERT_EQ(D3D_OK, device->SetStreamSource(1, vertices.get(), 8, 32));
    ASSERT_EQ(D3D_OK, device->SetStreamSource(1, nullptr, 0, 0));
    IDirect3DVertexBuffer9* bound = vertices.get();
    UINT offset = 99, stride = 99;
    ASSERT_EQ(D3D_OK, device->GetStreamSource(1, &bound, &offset, &stride));
    EXPECT_EQ(nullptr, bound);
    EXPECT_EQ(0u, offset);
    EXPECT_EQ(32u, stride);
}
