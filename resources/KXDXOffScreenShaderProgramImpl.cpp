#include "resources/KXDXOffScreenShaderProgramImpl.h"

KXDXOffScreenShaderProgramImpl::KXDXOffScreenShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program)
    : KXDXShaderProgramImpl(device, program, KXDXShaderProgramUtils::KXIMAGECACHING_PRIVATE)
{
}

KXDXOffScreenShaderProgramImpl::KXDXOffScreenShaderProgramImpl(KXDXDevice* device, KXShaderProgram* program,
                                                               ID3DXEffect* effect)
    : KXDXShaderProgramImpl(device, program, effect, KXDXShaderProgramUtils::KXIMAGECACHING_PRIVATE)
{
}
