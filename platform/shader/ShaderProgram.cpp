#include "shader/ShaderProgram.h"

#include "shader/ShaderExecution.h"

#include <utility>

namespace swd3d9 {
namespace shader {

Program::Program(std::vector<uint32_t> spirv, ProgramInfo info) : spirv_(std::move(spirv)), info_(std::move(info))
{
    executable_ = translateProgram(spirv_, info_, executableErrors_);
}

} // namespace shader
} // namespace swd3d9
