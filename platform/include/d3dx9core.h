#pragma once

// D3DX 9 core: the buffer object that D3DX functions return data in.

#include <d3d9.h>

#define D3DX_VERSION 0x0902
#define D3DX_SDK_VERSION 32

extern "C" const GUID IID_ID3DXBuffer;

interface ID3DXBuffer;
typedef ID3DXBuffer* LPD3DXBUFFER;

DECLARE_INTERFACE_(ID3DXBuffer, IUnknown)
{
    STDMETHOD_(LPVOID, GetBufferPointer)(THIS) PURE;
    STDMETHOD_(DWORD, GetBufferSize)(THIS) PURE;
};

extern "C" HRESULT WINAPI D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer);
