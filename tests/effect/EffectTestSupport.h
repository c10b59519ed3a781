#pragma once

// Shared pieces of the effect tests: the sample effect files, and a device
// test that makes effects from text or from those files.

#include "D3DTestSupport.h"

#include <d3dx9.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace effecttest {

using d3dtest::Com;

inline std::string dataPath(const std::string& name) { return std::string(KX_EFFECT_DATA_DIR) + "/" + name; }

inline std::string readData(const std::string& name)
{
    std::ifstream in(dataPath(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string bufferText(ID3DXBuffer* buffer)
{
    if (!buffer || !buffer->GetBufferSize())
        return std::string();
    return std::string(static_cast<const char*>(buffer->GetBufferPointer()));
}

class EffectTest : public d3dtest::DeviceTest
{
protected:
    // Makes an effect from source text; messages receive the error buffer.
    HRESULT create(const std::string& source, Com<ID3DXEffect>& effect, std::string* messages = nullptr,
                   DWORD flags = 0, const D3DXMACRO* defines = nullptr, ID3DXInclude* include = nullptr)
    {
        Com<ID3DXBuffer> errors;
        HRESULT result = D3DXCreateEffect(device.get(), source.data(), static_cast<UINT>(source.size()), defines,
                                          include, flags, nullptr, effect.out(), errors.out());
        if (messages)
            *messages = bufferText(errors.get());
        return result;
    }

    // An effect of a sample file that must compile.
    void load(const std::string& file, Com<ID3DXEffect>& effect)
    {
        std::string messages;
        ASSERT_EQ(D3D_OK, create(readData(file), effect, &messages)) << messages;
        ASSERT_TRUE(effect);
    }

    static D3DXPARAMETER_DESC describe(ID3DXEffect* effect, D3DXHANDLE handle)
    {
        D3DXPARAMETER_DESC desc;
        std::memset(&desc, 0, sizeof desc);
        EXPECT_EQ(D3D_OK, effect->GetParameterDesc(handle, &desc));
        return desc;
    }
};

} // namespace effecttest
