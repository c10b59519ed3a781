#include "shader/GlslangFrontEnd.h"

#include "shader/HlslRewriter.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv-tools/libspirv.hpp>
#include <spirv-tools/optimizer.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace swd3d9 {
namespace shader {

namespace {

// SPIR-V 1.0 for Vulkan 1.0: the oldest target, which the executor reads.
constexpr spv_target_env TARGET_ENVIRONMENT = SPV_ENV_VULKAN_1_0;
constexpr int HLSL_VERSION = 100;

struct LogMessage {
    std::string file;
    long line = 0;
    long column = 0;
    bool warning = false;
    std::string text;
};

bool isDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Names glslang saw under their renamed form read as the source wrote them.
std::string withOriginalNames(std::string text)
{
    const std::string prefix = RENAMED_IDENTIFIER_PREFIX;
    for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at))
        text.erase(at, prefix.size());
    return text;
}

// "0:12: message" or "name:12: message": the location's file part, line and
// the message; false for text without a location.
bool splitLocation(const std::string& text, std::string& file, long& line, std::string& message)
{
    for (size_t colon = text.find(':'); colon != std::string::npos; colon = text.find(':', colon + 1)) {
        const size_t lineEnd = text.find(':', colon + 1);
        if (lineEnd == std::string::npos)
            return false;
        const std::string digits = text.substr(colon + 1, lineEnd - colon - 1);
        if (!isDigits(digits))
            continue;
        file = text.substr(0, colon);
        line = std::strtol(digits.c_str(), nullptr, 10);
        message = trimmed(text.substr(lineEnd + 1));
        return true;
    }
    return false;
}

// "(12): error at column 7, HLSL parsing failed.", from glslang's HLSL
// grammar when it gives up: the column of the offending token.
bool parseFailurePosition(const std::string& text, long& line, long& column)
{
    const size_t open = text.find('(');
    const size_t close = text.find("): error at column ");
    if (open == std::string::npos || close == std::string::npos || close < open)
        return false;
    const std::string digits = text.substr(open + 1, close - open - 1);
    if (!isDigits(digits))
        return false;
    line = std::strtol(digits.c_str(), nullptr, 10);
    column = std::strtol(text.c_str() + close + std::strlen("): error at column "), nullptr, 10);
    return true;
}

std::string formatMessage(const LogMessage& message, const std::string& entryPoint)
{
    std::string out = message.file;
    if (message.line > 0) {
        out += "(" + std::to_string(message.line);
        if (message.column > 0)
            out += "," + std::to_string(message.column);
        out += ")";
    }
    out += message.warning ? ": warning: " : ": error: ";
    if (message.line <= 0)
        out += entryPoint + ": ";
    return out + message.text + "\n";
}

EShLanguage languageOf(ShaderStage stage)
{
    return stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment;
}

// Direct3D 9 HLSL: samplers are combined image samplers, and the SPIR-V
// follows Vulkan's rules.
constexpr EShMessages FRONT_END_MESSAGES = static_cast<EShMessages>(
    EShMsgReadHlsl | EShMsgSpvRules | EShMsgVulkanRules | EShMsgHlslDX9Compatible | EShMsgHlslLegalization);

const char* const WARM_UP_SOURCE = "float4 main() : COLOR { return 0; }\n";

// text and length must outlive the shader.
void configure(glslang::TShader& shader, ShaderStage stage, const char* const* text, const int* length,
               const char* entryPoint)
{
    const EShLanguage language = languageOf(stage);
    shader.setStringsWithLengths(text, length, 1);
    shader.setEntryPoint(entryPoint);
    shader.setEnvInput(glslang::EShSourceHlsl, language, glslang::EShClientVulkan, HLSL_VERSION);
    shader.setEnvClient(glslang::EShClientVulkan, glslang::EShTargetVulkan_1_0);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    // Keeps every semantic as a UserSemantic decoration: stages and vertex
    // streams are linked by semantic.
    shader.setEnvTargetHlslFunctionality1();
    shader.setHlslIoMapping(true);
    shader.setAutoMapBindings(true);
    shader.setAutoMapLocations(true);
}

std::string internalError(const std::string& fileName, const std::string& entryPoint, std::string what)
{
    for (size_t at = what.find('\n'); at != std::string::npos; at = what.find('\n', at))
        what.replace(at, 1, "; ");
    return fileName + ": error: internal compiler error in " + entryPoint + ": " + what + "\n";
}

// Legalisation (inlining, scalar replacement, SSA) and the performance
// passes, then validation of the result.
bool optimiseAndValidate(std::vector<uint32_t>& spirv, std::string& problem)
{
    auto consumer = [&problem](spv_message_level_t level, const char*, const spv_position_t& position,
                               const char* message) {
        if (level <= SPV_MSG_ERROR && problem.empty())
            problem = std::string(message) + " (word " + std::to_string(position.index) + ")";
    };
    spvtools::Optimizer optimizer(TARGET_ENVIRONMENT);
    optimizer.SetMessageConsumer(consumer);
    optimizer.RegisterLegalizationPasses();
    optimizer.RegisterPerformancePasses();
    spvtools::OptimizerOptions options;
    // glslang's output is validated after optimisation, not before.
    options.set_run_validator(false);
    std::vector<uint32_t> optimised;
    if (!optimizer.Run(spirv.data(), spirv.size(), &optimised, options)) {
        if (problem.empty())
            problem = "the optimiser failed";
        return false;
    }
    spvtools::SpirvTools tools(TARGET_ENVIRONMENT);
    tools.SetMessageConsumer(consumer);
    if (!tools.Validate(optimised)) {
        if (problem.empty())
            problem = "invalid SPIR-V";
        else
            problem = "invalid SPIR-V: " + problem;
        return false;
    }
    spirv.swap(optimised);
    return true;
}

// A failed compile whose messages hold no error says so.
FrontEndOutput& withError(FrontEndOutput& output, const std::string& fileName, const std::string& entryPoint)
{
    if (output.messages.find(": error: ") == std::string::npos)
        output.messages += fileName + ": error: " + entryPoint + ": compilation failed\n";
    return output;
}

} // namespace

std::string formatGlslangLog(const std::string& log, const std::string& fileName, const std::string& entryPoint,
                             const std::vector<uint32_t>& movedLines)
{
    std::vector<LogMessage> messages;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = trimmed(log.substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;
        long failureLine = 0, failureColumn = 0;
        if (parseFailurePosition(line, failureLine, failureColumn)) {
            if (std::binary_search(movedLines.begin(), movedLines.end(), static_cast<uint32_t>(failureLine)))
                failureColumn = 0;
            // The column belongs to the last error glslang reported on that line.
            bool attached = false;
            for (size_t i = messages.size(); i-- > 0 && !attached;) {
                if (!messages[i].warning && messages[i].line == failureLine && messages[i].column == 0) {
                    messages[i].column = failureColumn;
                    attached = true;
                }
            }
            if (!attached && failureColumn > 0)
                messages.push_back({fileName, failureLine, failureColumn, false, "syntax error"});
            continue;
        }
        LogMessage message;
        std::string rest = line;
        if (line.compare(0, 7, "ERROR: ") == 0) {
            rest = line.substr(7);
        } else if (line.compare(0, 9, "WARNING: ") == 0) {
            rest = line.substr(9);
            message.warning = true;
        } else if (line.compare(0, 16, "INTERNAL ERROR: ") == 0) {
            rest = line.substr(16);
        }
        // "ERROR: 3 compilation errors.  No code generated."
        if (rest.find(" compilation errors") != std::string::npos ||
            rest.find(" compilation warnings") != std::string::npos)
            continue;
        std::string file;
        if (splitLocation(rest, file, message.line, message.text)) {
            // String 0 is the source given; a name comes from a #line directive.
            message.file = file.empty() || isDigits(file) ? fileName : file;
        } else {
            message.file = fileName;
            message.text = rest;
        }
        // glslang warns of a missing entry point, then fails.
        if (message.text.find("Entry point not found") != std::string::npos)
            message.warning = false;
        message.text = withOriginalNames(message.text);
        messages.push_back(message);
    }
    std::string out;
    for (const LogMessage& message : messages)
        out += formatMessage(message, entryPoint);
    return out;
}

void initializeFrontEnd()
{
    glslang::InitializeProcess();
}

bool warmUpFrontEnd()
{
    static std::once_flag warmedUp;
    try {
        std::call_once(warmedUp, [] {
            initializeFrontEnd();
            for (ShaderStage stage : {ShaderStage::Vertex, ShaderStage::Pixel}) {
                glslang::TShader shader(languageOf(stage));
                const int length = static_cast<int>(std::strlen(WARM_UP_SOURCE));
                configure(shader, stage, &WARM_UP_SOURCE, &length, "main");
                shader.parse(GetDefaultResources(), HLSL_VERSION, false, FRONT_END_MESSAGES);
            }
        });
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

FrontEndOutput runFrontEnd(const PreparedHlsl& prepared, const std::string& fileName, const std::string& entryPoint,
                           ShaderStage stage)
{
    FrontEndOutput output;
    const EShLanguage language = languageOf(stage);
    const EShMessages messages = FRONT_END_MESSAGES;
    glslang::TShader shader(language);
    const char* text = prepared.text.c_str();
    const int length = static_cast<int>(prepared.text.size());
    configure(shader, stage, &text, &length, entryPoint.c_str());
    const bool parsed = shader.parse(GetDefaultResources(), HLSL_VERSION, false, messages);
    output.messages = formatGlslangLog(shader.getInfoLog(), fileName, entryPoint, prepared.movedLines);
    if (!parsed)
        return withError(output, fileName, entryPoint);

    glslang::TProgram program;
    program.addShader(&shader);
    const bool linked = program.link(messages) && program.mapIO();
    output.messages += formatGlslangLog(program.getInfoLog(), fileName, entryPoint, prepared.movedLines);
    if (!linked)
        return withError(output, fileName, entryPoint);

    glslang::SpvOptions options;
    options.disableOptimizer = false;
    spv::SpvBuildLogger logger;
    glslang::GlslangToSpv(*program.getIntermediate(language), output.spirv, &logger, &options);
    // "error: ..." and "Missing functionality: ..." lines: glslang could not
    // translate something it accepted.
    const std::string translation = logger.getAllMessages();
    if (translation.compare(0, 6, "error:") == 0 || translation.find("\nerror:") != std::string::npos ||
        translation.find("Missing functionality") != std::string::npos) {
        output.messages += internalError(fileName, entryPoint, trimmed(translation));
        output.spirv.clear();
        return output;
    }
    std::string problem;
    if (!optimiseAndValidate(output.spirv, problem)) {
        output.messages += internalError(fileName, entryPoint, problem);
        output.spirv.clear();
        return output;
    }
    output.compiled = true;
    return output;
}

} // namespace shader
} // namespace swd3d9
