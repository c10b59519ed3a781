#pragma once

#include "sceneapi/KXImage2D.h"

#include <d3d9.h>

class KXRawImage2D;

// The saves that render surfaces, render textures and memory textures share:
// a surface or a whole texture encoded by D3DX into a file or an image, and
// a lockable surface copied into a raw image. File types 3 (TGA) and 7
// (PPM) are refused as by the renderer's saves. Results follow KXRESULT.
class KXDXResourceSaver
{
public:
    // -1 for a null path, a null object, a refused type or a failed write.
    static int saveToFile(IDirect3DSurface9* surface, const wchar_t* path, KXImage2D::KXIMAGE2DFILETYPE fileType);
    static int saveToFile(IDirect3DBaseTexture9* texture, const wchar_t* path,
                          KXImage2D::KXIMAGE2DFILETYPE fileType);
    // -1 for a null image, a null object, a refused type or a failed encoding.
    static int saveToImage(IDirect3DSurface9* surface, KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType);
    static int saveToImage(IDirect3DBaseTexture9* texture, KXImage2D* image, KXImage2D::KXIMAGE2DFILETYPE fileType);
    // The pixels of a lockable surface, row by row through its pitch, as
    // format 3; -3 for a null surface or image, -1 when it cannot be locked.
    static int saveToRawImage(IDirect3DSurface9* lockable, KXRawImage2D* image);
};
