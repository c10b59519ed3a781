#include "shader/ShaderCompiler.h"

#include "shader/CompilerProcess.h"
#include "shader/HlslRewriter.h"
#include "shader/ProgramReflection.h"

#include <mutex>
#include <new>
#include <set>
#include <utility>

namespace swd3d9 {
namespace shader {

namespace {

// Appends the lines of messages not already in errors: an error in code
// that several entry points share is reported once.
void appendNewLines(const std::string& messages, std::set<std::string>& seen, std::string& errors)
{
    size_t start = 0;
    while (start < messages.size()) {
        size_t end = messages.find('\n', start);
        if (end == std::string::npos)
            end = messages.size();
        const std::string line = messages.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && seen.insert(line).second)
            errors += line + "\n";
    }
}

// Appends a problem found after glslang, one "file: error: entry: ..." line
// per line of it.
void appendProblem(const std::string& fileName, const std::string& entryPoint, const std::string& problem,
                   std::set<std::string>& seen, std::string& errors)
{
    std::string lines;
    size_t start = 0;
    while (start < problem.size()) {
        size_t end = problem.find('\n', start);
        if (end == std::string::npos)
            end = problem.size();
        if (end > start)
            lines += fileName + ": error: " + entryPoint + ": " + problem.substr(start, end - start) + "\n";
        start = end + 1;
    }
    if (lines.empty())
        lines = fileName + ": error: " + entryPoint + ": the program cannot run\n";
    appendNewLines(lines, seen, errors);
}

// Compiles run one at a time. A child forked while another thread of the
// process holds an allocator lock inherits the lock held forever; glibc's
// allocator guards against that, the sanitizers' allocator does not. This
// keeps the compiler's own threads from allocating around its forks.
std::mutex& compilerLock()
{
    static std::mutex lock;
    return lock;
}

bool compile(const std::string& hlsl, const std::string& fileName, const std::vector<ShaderRequest>& requests,
             std::vector<std::shared_ptr<const Program>>& results, std::string& errors)
{
    results.assign(requests.size(), nullptr);
    if (requests.empty())
        return true;
    PreparedHlsl prepared;
    std::string rewriteErrors;
    if (!prepareHlsl(hlsl, fileName, prepared, rewriteErrors)) {
        errors += rewriteErrors;
        return false;
    }

    // An entry point that several passes use is compiled once.
    std::vector<ShaderRequest> distinct;
    std::vector<size_t> compiledAs(requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        size_t found = 0;
        while (found < distinct.size() &&
               (distinct[found].entryPoint != requests[i].entryPoint || distinct[found].stage != requests[i].stage))
            ++found;
        if (found == distinct.size())
            distinct.push_back(requests[i]);
        compiledAs[i] = found;
    }

    std::vector<ChildCompileResult> outputs;
    compileInChildProcess(prepared, fileName, distinct, COMPILER_TIME_LIMIT_MS, outputs);

    std::set<std::string> seen;
    std::vector<std::shared_ptr<const Program>> programs(distinct.size());
    for (size_t i = 0; i < distinct.size(); ++i) {
        ChildCompileResult& output = outputs[i];
        appendNewLines(output.messages, seen, errors);
        if (!output.compiled)
            continue;
        ProgramInfo info;
        std::string problem;
        if (!reflectProgram(output.spirv, distinct[i].stage, info, problem)) {
            appendProblem(fileName, distinct[i].entryPoint, problem, seen, errors);
            continue;
        }
        auto program = std::make_shared<const Program>(std::move(output.spirv), std::move(info));
        // A program the device cannot run fails here, as an effect that
        // uses it fails to load, rather than drawing nothing later.
        if (!program->executable()) {
            appendProblem(fileName, distinct[i].entryPoint, program->executableErrors(), seen, errors);
            continue;
        }
        programs[i] = std::move(program);
    }
    bool all = true;
    for (size_t i = 0; i < requests.size(); ++i) {
        results[i] = programs[compiledAs[i]];
        all = all && results[i] != nullptr;
    }
    return all;
}

void appendOutOfMemory(const std::string& fileName, std::string& errors)
{
    try {
        errors += fileName + ": error: out of memory\n";
    } catch (const std::bad_alloc&) {
        // Nothing more can be said.
    }
}

} // namespace

bool compileShaders(const std::string& hlsl, const std::string& fileName, const std::vector<ShaderRequest>& requests,
                    std::vector<std::shared_ptr<const Program>>& results, std::string& errors)
{
    const std::lock_guard<std::mutex> oneAtATime(compilerLock());
    try {
        return compile(hlsl, fileName, requests, results, errors);
    } catch (const std::bad_alloc&) {
        results.assign(results.size(), nullptr);
        appendOutOfMemory(fileName, errors);
        return false;
    }
}

std::shared_ptr<const Program> compileShader(const std::string& hlsl, const std::string& fileName,
                                             const std::string& entryPoint, ShaderStage stage, std::string& errors)
{
    // Everything that allocates happens under the lock, the request list
    // and results included.
    const std::lock_guard<std::mutex> oneAtATime(compilerLock());
    try {
        std::vector<std::shared_ptr<const Program>> results;
        if (!compile(hlsl, fileName, {ShaderRequest{entryPoint, stage}}, results, errors))
            return nullptr;
        return std::move(results[0]);
    } catch (const std::bad_alloc&) {
        appendOutOfMemory(fileName, errors);
        return nullptr;
    }
}

} // namespace shader
} // namespace swd3d9
