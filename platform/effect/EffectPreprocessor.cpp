#include "effect/EffectPreprocessor.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sys/stat.h>

namespace swd3d9 {
namespace effect {

namespace {

// The most tokens macros may expand the source to.
constexpr size_t MAX_EXPANDED_TOKENS = 4u << 20;

// Macros that name macros that name macros... this deep are refused.
constexpr int MAX_MACRO_DEPTH = 500;

// Include files nested deeper than this are refused (a file that includes
// itself would otherwise recurse until glslang gives up).
constexpr size_t MAX_INCLUDE_DEPTH = 32;

std::string directoryOf(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool readRegularFile(const std::string& path, std::string& text)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<unsigned long long>(info.st_size) > MAX_SOURCE_BYTES)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text.assign(static_cast<size_t>(info.st_size), '\0');
    in.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return true;
}

// Bridges glslang's include requests to an IncludeSource.
class Includer final : public glslang::TShader::Includer
{
public:
    explicit Includer(IncludeSource& source) : m_source(source) {}

    IncludeResult* includeLocal(const char* headerName, const char* includerName, size_t depth) override
    {
        return include(false, headerName, includerName, depth);
    }
    IncludeResult* includeSystem(const char* headerName, const char* includerName, size_t depth) override
    {
        return include(true, headerName, includerName, depth);
    }
    void releaseInclude(IncludeResult* result) override
    {
        if (!result)
            return;
        delete static_cast<std::string*>(result->userData);
        delete result;
    }

private:
    IncludeResult* include(bool system, const char* headerName, const char* includerName, size_t depth)
    {
        if (!headerName || depth > MAX_INCLUDE_DEPTH)
            return nullptr;
        try {
            std::string resolved;
            std::string text;
            if (!m_source.open(system, headerName, includerName ? includerName : "", resolved, text))
                return nullptr;
            if (text.size() > MAX_SOURCE_BYTES)
                return nullptr;
            // Included text ends at its first NUL, as the top file does.
            size_t nul = text.find('\0');
            if (nul != std::string::npos)
                text.resize(nul);
            std::string* kept = new std::string(std::move(text));
            return new IncludeResult(resolved, kept->data(), kept->size(), kept);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    IncludeSource& m_source;
};

void initializeGlslang()
{
    static const bool initialized = glslang::InitializeProcess();
    (void)initialized;
}

bool isIdentifier(const char* name)
{
    if (!name || !*name)
        return false;
    for (const char* c = name; *c; ++c) {
        bool letter = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || *c == '_';
        if (!letter && !(c != name && *c >= '0' && *c <= '9'))
            return false;
    }
    return true;
}

// glslang reports "ERROR: name:line: message"; messages of this library
// read "name(line): error: message".
void appendGlslangLog(const std::string& log, std::string& messages)
{
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(start, end - start);
        start = end + 1;
        std::string severity;
        if (line.compare(0, 7, "ERROR: ") == 0) {
            severity = "error";
            line.erase(0, 7);
        } else if (line.compare(0, 9, "WARNING: ") == 0) {
            severity = "warning";
            line.erase(0, 9);
        } else {
            continue;
        }
        // The location is the name up to the first ":<digits>: ".
        size_t p = line.find(':');
        bool located = false;
        while (p != std::string::npos) {
            size_t q = p + 1;
            while (q < line.size() && line[q] >= '0' && line[q] <= '9')
                ++q;
            if (q > p + 1 && q + 1 < line.size() && line[q] == ':' && line[q + 1] == ' ') {
                messages += line.substr(0, p) + "(" + line.substr(p + 1, q - p - 1) + "): " + severity + ": " +
                            line.substr(q + 2) + "\n";
                located = true;
                break;
            }
            p = line.find(':', p + 1);
        }
        // The closing summary ("2 compilation errors.  No code generated.") repeats nothing new.
        if (!located && line.find("compilation errors") == std::string::npos)
            messages += severity + ": " + line + "\n";
    }
}

// glslang expands macros without limit, and a few lines of #define can
// ask for more text than memory holds (each macro doubling the one before
// it). Before it runs, the expansion is estimated from above: a macro
// costs its body's tokens, each macro named in it costing its own
// expansion; the arguments of a function-like macro count once per use of
// a parameter in its body, so that nested calls multiply. Conditionals are
// ignored (every definition counts) and a pasted token (##) may be any
// macro, so that the estimate never falls short.
class ExpansionEstimate
{
public:
    // Reads the #define directives of text and counts its other tokens.
    void addText(const std::string& text, bool isSource)
    {
        std::string line;
        size_t p = 0;
        bool inComment = false;
        while (p < text.size()) {
            // One logical line: continuations joined, comments removed.
            line.clear();
            while (p < text.size()) {
                char c = text[p];
                if (inComment) {
                    if (c == '*' && p + 1 < text.size() && text[p + 1] == '/') {
                        inComment = false;
                        line += ' ';
                        p += 2;
                        continue;
                    }
                    if (c == '\n')
                        break;
                    ++p;
                    continue;
                }
                if (c == '\\' && p + 1 < text.size() && text[p + 1] == '\n') {
                    p += 2;
                    continue;
                }
                if (c == '\n')
                    break;
                if (c == '/' && p + 1 < text.size() && text[p + 1] == '/') {
                    while (p < text.size() && text[p] != '\n')
                        ++p;
                    break;
                }
                if (c == '/' && p + 1 < text.size() && text[p + 1] == '*') {
                    inComment = true;
                    p += 2;
                    continue;
                }
                line += c;
                ++p;
            }
            ++p;
            std::vector<std::string> tokens = split(line);
            if (!tokens.empty() && tokens[0] == "#") {
                if (tokens.size() >= 3 && tokens[1] == "define")
                    define(line, tokens);
                continue;
            }
            if (isSource)
                m_source.insert(m_source.end(), tokens.begin(), tokens.end());
        }
    }

    bool withinLimit(double limit)
    {
        m_limit = limit;
        for (auto& macro : m_macros)
            m_largest = std::max(m_largest, weight(macro.first));
        std::vector<std::string> none;
        Cost cost = estimate(m_source, none);
        return cost.total <= limit;
    }

private:
    struct Macro {
        bool functionLike = false;
        std::vector<std::string> parameters;
        std::vector<std::string> body;
        bool known = false;
        bool visiting = false;
        double weight = 1.0; // expansion with each argument one token long
        double uses = 1.0;   // how often an argument's tokens can repeat
    };
    struct Cost {
        double total = 0.0;
        double parameterUses = 0.0;
    };

    static std::vector<std::string> split(const std::string& line)
    {
        std::vector<std::string> tokens;
        size_t p = 0;
        while (p < line.size()) {
            char c = line[p];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++p;
            } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (c >= '0' && c <= '9')) {
                size_t start = p;
                while (p < line.size() && ((line[p] >= 'a' && line[p] <= 'z') || (line[p] >= 'A' && line[p] <= 'Z') ||
                                           line[p] == '_' || (line[p] >= '0' && line[p] <= '9') || line[p] == '.'))
                    ++p;
                tokens.push_back(line.substr(start, p - start));
            } else if (c == '"') {
                size_t close = line.find('"', p + 1);
                p = close == std::string::npos ? line.size() : close + 1;
                tokens.push_back("\"\"");
            } else if (c == '#' && p + 1 < line.size() && line[p + 1] == '#') {
                tokens.push_back("##");
                p += 2;
            } else {
                tokens.push_back(std::string(1, c));
                ++p;
            }
        }
        return tokens;
    }

    void define(const std::string& line, const std::vector<std::string>& tokens)
    {
        // "# define NAME(" without a space makes a function-like macro.
        const std::string& name = tokens[2];
        size_t at = line.find(name, line.find("define") + 6);
        Macro macro;
        size_t next = 3;
        if (at != std::string::npos && at + name.size() < line.size() && line[at + name.size()] == '(' &&
            next < tokens.size() && tokens[next] == "(") {
            macro.functionLike = true;
            ++next;
            while (next < tokens.size() && tokens[next] != ")") {
                if (tokens[next] != ",")
                    macro.parameters.push_back(tokens[next]);
                ++next;
            }
            ++next;
        }
        if (next < tokens.size())
            macro.body.assign(tokens.begin() + static_cast<long>(next), tokens.end());
        Macro& slot = m_macros[name];
        // Redefinitions: the larger counts.
        if (macro.body.size() >= slot.body.size() || !slot.functionLike)
            slot = std::move(macro);
    }

    double weight(const std::string& name)
    {
        Macro& macro = m_macros[name];
        if (macro.known)
            return macro.weight;
        if (macro.visiting)
            return 1.0; // a macro does not expand inside itself
        // Chains of macros deeper than any real effect's are taken as too
        // large rather than followed down the stack.
        if (m_depth >= MAX_MACRO_DEPTH)
            return m_limit * 2;
        ++m_depth;
        macro.visiting = true;
        std::vector<std::string> parameters = macro.parameters;
        std::vector<std::string> body = macro.body;
        Cost cost = estimate(body, parameters);
        --m_depth;
        Macro& again = m_macros[name];
        again.visiting = false;
        again.known = true;
        again.weight = std::max(1.0, cost.total);
        again.uses = std::max(1.0, cost.parameterUses);
        return again.weight;
    }

    Cost estimate(const std::vector<std::string>& tokens, const std::vector<std::string>& parameters)
    {
        Cost cost;
        // Multipliers of the argument lists being read, by parenthesis depth.
        std::vector<std::pair<int, double>> multipliers;
        double multiplier = 1.0;
        double pending = 0.0;
        int depth = 0;
        for (size_t i = 0; i < tokens.size(); ++i) {
            const std::string& t = tokens[i];
            double tokenCost = 1.0;
            if (t == "(") {
                ++depth;
                if (pending > 0.0) {
                    multipliers.push_back({depth, pending});
                    multiplier = std::min(multiplier * pending, 1e30);
                    pending = 0.0;
                }
            } else if (t == ")") {
                if (!multipliers.empty() && multipliers.back().first == depth) {
                    multipliers.pop_back();
                    multiplier = 1.0;
                    for (const auto& m : multipliers)
                        multiplier = std::min(multiplier * m.second, 1e30);
                }
                --depth;
            } else if (t == "##") {
                tokenCost = m_largest;
            } else if (std::find(parameters.begin(), parameters.end(), t) != parameters.end()) {
                cost.parameterUses += multiplier;
            } else {
                auto macro = m_macros.find(t);
                if (macro != m_macros.end()) {
                    tokenCost = weight(t);
                    Macro& m = m_macros[t];
                    if (m.functionLike && i + 1 < tokens.size() && tokens[i + 1] == "(")
                        pending = m.uses;
                }
            }
            cost.total += tokenCost * multiplier;
            if (cost.total > m_limit) {
                cost.total = m_limit * 2;
                return cost;
            }
        }
        return cost;
    }

    std::map<std::string, Macro> m_macros;
    std::vector<std::string> m_source;
    double m_largest = 1.0;
    double m_limit = 0.0;
    int m_depth = 0;
};

} // namespace

bool FileIncludes::open(bool system, const std::string& name, const std::string& includer, std::string& resolvedName,
                        std::string& text)
{
    std::vector<std::string> candidates;
    if (!name.empty() && (name[0] == '/' || name[0] == '\\')) {
        candidates.push_back(name);
    } else {
        candidates.push_back(directoryOf(includer) + name);
        if (system)
            candidates.push_back(directoryOf(m_topFile) + name);
    }
    for (const std::string& path : candidates) {
        if (readRegularFile(path, text)) {
            resolvedName = path;
            return true;
        }
    }
    return false;
}

D3DXIncludes::~D3DXIncludes()
{
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it)
        m_include->Close(it->data);
}

bool D3DXIncludes::open(bool system, const std::string& name, const std::string& includer, std::string& resolvedName,
                        std::string& text)
{
    const void* parent = m_topData;
    for (const OpenFile& file : m_open)
        if (file.name == includer)
            parent = file.data;
    // Room for the record first, so that a failed allocation cannot lose an
    // opened file.
    m_open.reserve(m_open.size() + 1);
    LPCVOID data = nullptr;
    UINT bytes = 0;
    if (FAILED(m_include->Open(system ? D3DXINC_SYSTEM : D3DXINC_LOCAL, name.c_str(), parent, &data, &bytes)))
        return false;
    m_open.push_back({name, data});
    if (!data && bytes)
        return false;
    if (bytes > MAX_SOURCE_BYTES)
        return false;
    text.assign(static_cast<const char*>(data), bytes);
    resolvedName = name;
    return true;
}

bool preprocessEffect(const std::string& source, const std::string& fileName, const D3DXMACRO* defines,
                      IncludeSource& includes, std::string& output, std::string& messages)
{
    initializeGlslang();
    if (source.size() > MAX_SOURCE_BYTES) {
        messages += fileName + "(1): error: the source is too large\n";
        return false;
    }
    // The source ends at its first NUL (a terminating NUL is usually counted
    // in the length given).
    std::string text = source.substr(0, source.find('\0'));

    std::string preamble;
    for (const D3DXMACRO* macro = defines; macro && macro->Name; ++macro) {
        if (!isIdentifier(macro->Name)) {
            messages += fileName + "(1): error: invalid macro name in the definitions\n";
            return false;
        }
        std::string definition = macro->Definition ? macro->Definition : "1";
        for (char& c : definition)
            if (c == '\n' || c == '\r')
                c = ' ';
        preamble += std::string("#define ") + macro->Name + " " + definition + "\n";
    }

    // Macro bombs are refused before glslang spends the memory on them.
    {
        ExpansionEstimate estimate;
        estimate.addText(preamble, false);
        estimate.addText(text, true);
        if (!estimate.withinLimit(static_cast<double>(MAX_EXPANDED_TOKENS))) {
            messages += fileName + "(1): error: macros expand to more text than an effect may have\n";
            return false;
        }
    }

    glslang::TShader shader(EShLangFragment);
    const char* strings[] = {text.c_str()};
    const int lengths[] = {static_cast<int>(text.size())};
    const char* names[] = {fileName.c_str()};
    shader.setStringsWithLengthsAndNames(strings, lengths, names, 1);
    if (!preamble.empty())
        shader.setPreamble(preamble.c_str());
    shader.setEnvInput(glslang::EShSourceHlsl, EShLangFragment, glslang::EShClientVulkan, 100);
    shader.setEnvClient(glslang::EShClientVulkan, glslang::EShTargetVulkan_1_0);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    Includer includer(includes);
    const EShMessages flags = static_cast<EShMessages>(EShMsgReadHlsl | EShMsgSpvRules | EShMsgVulkanRules);
    bool ok = shader.preprocess(GetDefaultResources(), 100, ENoProfile, false, false, flags, &output, includer);
    appendGlslangLog(shader.getInfoLog() ? shader.getInfoLog() : "", messages);
    if (!ok && messages.find("error") == std::string::npos)
        messages += fileName + "(1): error: the source could not be preprocessed\n";
    if (ok && output.size() > MAX_PREPROCESSED_BYTES) {
        messages += fileName + "(1): error: the preprocessed source is too large\n";
        ok = false;
    }
    return ok;
}

} // namespace effect
} // namespace swd3d9
