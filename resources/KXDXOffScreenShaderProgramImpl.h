#pragma once

#include "renderer/KXExport.h"
#include "resources/KXDXShaderProgramImpl.h"

// The form of a shader program that the off-screen renderers make for their
// own device and keep in their own map. It binds the program's images
// through textures made for this one effect and never touches the images'
// implementation slots, so that drawing off screen (often on a second
// device) does not replace the textures the window device uses.
class KXDXRENDERER_API KXDXOffScreenShaderProgramImpl : public KXDXShaderProgramImpl
{
public:
    KXDXOffScreenShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program);
    KXDXOffScreenShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program, ID3DXEffect* effect);
};
