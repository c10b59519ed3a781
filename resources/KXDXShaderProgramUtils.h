#pragma once

#include "renderer/KXExport.h"

#include <d3dx9.h>

class KXDXDevice;
class KXShaderProgram;

// The steps shared by the device-side forms of shader programs: compiling a
// program's effect for a device, binding the program's images to the
// effect's texture parameters, and publishing the effect's user-tunable
// parameters into the program.
//
// Two process-wide modes steer the shared steps; each is set only for the
// duration of one step and restored after it:
//  - variable binding: the variables that createParameters makes are bound
//    to the effect and parameter they describe (attached, the normal mode,
//    and the mode while an implementation builds its effect) or carry only
//    their value (detached, while populateEffect runs, since its effect is
//    gone when it returns);
//  - image caching: an image bound to a texture parameter keeps its texture
//    in its own implementation slot, shared with every other use of the
//    image (shared, the normal mode), or gets a texture made for this one
//    binding (private, while an off-screen implementation builds its effect:
//    the off-screen renderers never touch implementation slots).
// Building effects on two threads at once is not supported.
class KXDXRENDERER_API KXDXShaderProgramUtils
{
public:
    enum KXVARIABLEBINDING {
        KXVARIABLEBINDING_ATTACHED = 0,
        KXVARIABLEBINDING_DETACHED = 1,
    };
    enum KXIMAGECACHING {
        KXIMAGECACHING_SHARED = 0,
        KXIMAGECACHING_PRIVATE = 1,
    };

    // Compiles the program's effect once, on a device of its own made for a
    // hidden window, only to fill the program's parameter list (detached
    // variables), for a user interface that shows the parameters before
    // anything is drawn. False for a null program, when no window can be
    // made or out of memory; true otherwise, also when the source does not
    // compile (the list is then unchanged).
    static bool populateEffect(KXShaderProgram* program);

    // Describes every top-level parameter of the effect into the program
    // (describeParameter, in the effect's order). False when either is null
    // or memory ran out; the parameters described up to then stay.
    static bool createParameters(ID3DXEffect* effect, KXShaderProgram* program);

    // One parameter. A parameter the program already lists by name only has
    // its stored value written into this effect: an effect-bound variable is
    // bound to this effect, applied, and bound back to the effect it had, if
    // any (so a variable stays with the first effect that adopted it). A new
    // parameter is recorded when its annotations ask for a user-interface
    // widget: "UIVisible" (default true), "UIWidget" or else "UIType" naming
    // a slider, a colour or a direction, "UIName", "UIMin", "UIMax",
    // "UIStep". Unreadable annotations degrade to no control or default
    // values. False for a null argument or out of memory.
    static bool describeParameter(ID3DXEffect* effect, D3DXHANDLE parameter, KXShaderProgram* program);

    // Builds the effect of program for device: compiles its source (compile
    // errors are dropped), binds the program's images and describes its
    // parameters, with attached variables and the image caching given.
    // D3D_OK with the effect (the caller owns the reference);
    // D3DERR_INVALIDCALL without a Direct3D device or program; E_OUTOFMEMORY
    // when memory ran out (worth trying again); else what compiling the
    // source returned. *effect is null on failure.
    static HRESULT buildEffect(KXDXDevice* device, KXShaderProgram* program, KXIMAGECACHING caching,
                               ID3DXEffect** effect);
    // What buildEffect does after compiling, for an effect made elsewhere.
    // False when memory ran out part of the way.
    static bool prepareEffect(ID3DXEffect* effect, KXDXDevice* device, KXShaderProgram* program,
                              KXIMAGECACHING caching);

    // Binds to every parameter of type texture (D3DXPT_TEXTURE; typed
    // textures are left alone) the program's image named by the first of
    // its string annotations that names one, whatever the annotation is
    // called. Cube and volume images give their cube or volume texture.
    // Images are cached as the current image caching mode says. False when
    // memory ran out for some parameter, which is then left unbound.
    static bool bindImages(ID3DXEffect* effect, KXDXDevice* device, KXShaderProgram* program);

    static KXVARIABLEBINDING getVariableBinding();
    static KXIMAGECACHING getImageCaching();
};
