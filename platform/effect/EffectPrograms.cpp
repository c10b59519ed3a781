#include "effect/EffectPrograms.h"

#include "shader/ShaderCompiler.h"

#include <algorithm>
#include <unordered_set>

namespace swd3d9 {
namespace effect {

namespace {

constexpr UINT PIXEL_SAMPLERS = 16;
constexpr UINT VERTEX_SAMPLERS = 4;
constexpr UINT VERTEX_FLOAT_REGISTERS = 256;
constexpr UINT PIXEL_FLOAT_REGISTERS = 224;

bool readNumber(const std::string& s, size_t& p, uint32_t& value)
{
    size_t start = p;
    uint64_t v = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9' && p - start < 10) {
        v = v * 10 + static_cast<uint64_t>(s[p] - '0');
        ++p;
    }
    if (p == start || v > 0xFFFFFFFFu)
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

// The original file and line of a line (1-based) of the compiled HLSL.
std::string originOfHlslLine(const EffectDescription& d, uint32_t line, uint32_t column)
{
    if (line <= d.hlslLeadingLines)
        return d.sourceMap.describe(0, 0);
    uint32_t index = line - 1 - d.hlslLeadingLines;
    if (index < d.hlslSourceLines)
        return d.sourceMap.describe(index, column);
    uint32_t extra = index - d.hlslSourceLines;
    if (extra < d.hlslExtraLines.size())
        return d.sourceMap.describe(d.hlslExtraLines[extra].first, d.hlslExtraLines[extra].second);
    return d.sourceMap.describe(d.sourceMap.lineCount() ? static_cast<uint32_t>(d.sourceMap.lineCount() - 1) : 0, 0);
}

// The compiler names lines of the text it was given: "name(line,col): ...".
void appendMappedMessages(const EffectDescription& d, const std::string& name, const std::string& compilerMessages,
                          std::string& messages)
{
    size_t start = 0;
    while (start < compilerMessages.size()) {
        size_t end = compilerMessages.find('\n', start);
        if (end == std::string::npos)
            end = compilerMessages.size();
        std::string line = compilerMessages.substr(start, end - start);
        start = end + 1;
        if (line.empty())
            continue;
        if (line.compare(0, name.size() + 1, name + "(") == 0) {
            size_t p = name.size() + 1;
            uint32_t number = 0, column = 0;
            bool ok = readNumber(line, p, number);
            if (ok && p < line.size() && line[p] == ',') {
                ++p;
                ok = readNumber(line, p, column);
            }
            if (ok && p < line.size() && line[p] == ')') {
                messages += originOfHlslLine(d, number, column) + line.substr(p + 1) + "\n";
                continue;
            }
        }
        messages += line + "\n";
    }
}

} // namespace

void compilePrograms(const EffectDescription& d, std::vector<std::shared_ptr<const shader::Program>>& results,
                     std::string& messages)
{
    results.assign(d.programs.size(), nullptr);
    if (d.programs.empty())
        return;
    std::vector<shader::ShaderRequest> requests;
    for (const ProgramRequest& p : d.programs)
        requests.push_back({p.entryPoint, p.stage});
    const std::string name = d.sourceMap.files().empty() ? std::string("memory") : d.sourceMap.files()[0];
    std::string compilerMessages;
    shader::compileShaders(d.hlsl, name, requests, results, compilerMessages);
    results.resize(d.programs.size());
    appendMappedMessages(d, name, compilerMessages, messages);
}

void bindProgram(const EffectDescription& d, size_t programIndex, std::shared_ptr<const shader::Program> program,
                 const std::unordered_map<std::string, int>& paths, ProgramBinding& binding)
{
    binding = ProgramBinding();
    const ProgramRequest& request = d.programs[programIndex];

    // The names its code may read.
    std::unordered_set<std::string> seen;
    std::vector<std::string> pending{request.function};
    for (const std::string& argument : request.arguments) {
        std::string word;
        for (char c : argument + " ") {
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') {
                word += c;
            } else if (!word.empty()) {
                pending.push_back(word);
                word.clear();
            }
        }
    }
    while (!pending.empty()) {
        std::string name = pending.back();
        pending.pop_back();
        if (!seen.insert(name).second)
            continue;
        binding.names.push_back(name);
        for (const FunctionDescription& f : d.functions)
            if (f.name == name)
                for (const std::string& used : f.names)
                    if (!seen.count(used))
                        pending.push_back(used);
    }

    if (!program)
        return;
    binding.program = program;
    const shader::ProgramInfo& info = program->info();
    const bool vertex = info.stage == shader::ShaderStage::Vertex;

    // Samplers: a register named by register(sN) where it is free, else
    // the lowest free one, in the program's order.
    const UINT available = vertex ? VERTEX_SAMPLERS : PIXEL_SAMPLERS;
    std::vector<bool> used(available, false);
    binding.samplerRegisters.assign(info.samplers.size(), 0);
    binding.samplerParameters.assign(info.samplers.size(), -1);
    std::vector<bool> placed(info.samplers.size(), false);
    for (size_t i = 0; i < info.samplers.size(); ++i) {
        auto p = paths.find(info.samplers[i].name);
        if (p == paths.end())
            continue;
        binding.samplerParameters[i] = p->second;
        int wanted = d.parameters[p->second].samplerRegister;
        if (wanted >= 0 && static_cast<UINT>(wanted) < available && !used[wanted]) {
            used[wanted] = true;
            binding.samplerRegisters[i] = static_cast<DWORD>(wanted);
            placed[i] = true;
        }
    }
    UINT next = 0;
    for (size_t i = 0; i < info.samplers.size(); ++i) {
        if (placed[i])
            continue;
        while (next < available && used[next])
            ++next;
        // More samplers than registers: the device refuses the program.
        binding.samplerRegisters[i] = next < available ? next : available;
        if (next < available)
            used[next] = true;
    }
    if (vertex)
        for (DWORD& r : binding.samplerRegisters)
            r += D3DVERTEXTEXTURESAMPLER0;

    binding.uniformParameters.assign(info.uniforms.size(), -1);
    for (size_t i = 0; i < info.uniforms.size(); ++i) {
        auto p = paths.find(info.uniforms[i].name);
        if (p != paths.end() && d.parameters[p->second].parameterClass != D3DXPC_OBJECT)
            binding.uniformParameters[i] = p->second;
    }
    UINT registers = (info.uniformBytes + 15) / 16;
    binding.registers = std::min(registers, vertex ? VERTEX_FLOAT_REGISTERS : PIXEL_FLOAT_REGISTERS);
}

} // namespace effect
} // namespace swd3d9
