#pragma once

#include "renderer/KXExport.h"
#include "resources/KXDXShaderProgramUtils.h"
#include "sceneapi/KXObservable.h"
#include "sceneapi/KXShaderProgram.h"

#include <d3dx9.h>

class KXDXDevice;

// The device-side form of a shader program for the window device: the
// program's effect compiled for one device, with the program's images bound
// to its texture parameters and its user-tunable parameters published into
// the program. It lives in the program's implementation slot; the renderer
// draws with its effect.
//
// It hears its device: the effect lets go of its device resources before a
// reset (OnLostDevice) and takes them again after it (OnResetDevice), so a
// reset needs no recompilation; when the device is released the effect goes
// too and the implementation links to no device, which makes the renderer
// build a new one on the device it draws with then. Whenever the effect is
// released, the variables still bound to it are detached first.
class KXDXRENDERER_API KXDXShaderProgramImpl : public KXShaderProgramImpl, public KXObserver
{
public:
    // Builds the effect when device and program are given; a source that
    // does not compile leaves no effect, and the program then draws nothing.
    KXDXShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program);
    // Takes an effect made elsewhere (for example from a file or with other
    // compiler options) for program on device: the implementation takes its
    // own reference, binds the program's images and publishes the
    // parameters as for an effect it compiled.
    KXDXShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program, ID3DXEffect* effect);
    KXDXShaderProgramImpl(const KXDXShaderProgramImpl&) = delete;
    KXDXShaderProgramImpl& operator=(const KXDXShaderProgramImpl&) = delete;
    ~KXDXShaderProgramImpl() override;

    // Device events: OnLostDevice before a reset, OnResetDevice after it;
    // on the release event the effect is released and the device forgotten.
    void update(KXObservable* source, const KXEvent& event) override;

    // The effect; null when none could be built or after the device went.
    ID3DXEffect* getEffect() const { return m_effect; }
    // The device the effect was built on; null once that device is released,
    // or when memory ran out while the implementation was made.
    KXDXDevice* getDevice() const { return m_device; }
    KXShaderProgram* getProgram() const { return m_program; }

protected:
    // The same two ways of making one, with the image caching that binds the
    // program's images.
    KXDXShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program,
                          KXDXShaderProgramUtils::KXIMAGECACHING caching);
    KXDXShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program, ID3DXEffect* effect,
                          KXDXShaderProgramUtils::KXIMAGECACHING caching);

private:
    // Registers with device, then builds the effect (compile) or prepares
    // the one given. Out of memory the implementation keeps no effect and
    // links to no device.
    void attach(KXDXDevice* device, bool compile, ID3DXEffect* effect,
                KXDXShaderProgramUtils::KXIMAGECACHING caching);
    void detachDevice();
    void releaseEffect();

    KXDXDevice* m_device = nullptr;
    KXShaderProgram* m_program;
    ID3DXEffect* m_effect = nullptr;
};
