#include "effect/EffectParser.h"

#include "effect/EffectStates.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace swd3d9 {
namespace effect {

namespace {

// The type of a declaration.
struct TypeSpec {
    enum class Kind : uint8_t { Numeric, String, Texture, Sampler, Struct, VertexShader, PixelShader, Void };
    Kind kind = Kind::Void;
    D3DXPARAMETER_TYPE type = D3DXPT_VOID; // numeric base or object type
    UINT rows = 1;
    UINT columns = 1;
    bool matrix = false;
    int structIndex = -1;
    // Typedefs of arrays carry their element count.
    UINT elements = 0;
};

struct StructMember {
    std::string name;
    std::string semantic;
    bool hasSemantic = false;
    TypeSpec type;
    UINT elements = 0;
    bool rowMajor = false;
};

struct StructType {
    std::string name;
    std::vector<StructMember> members;
};

struct Modifiers {
    bool isStatic = false;
    bool isConst = false;
    bool shared = false;
    bool rowMajor = false;
    bool columnMajor = false;
};

// A rewrite of the HLSL: text at [begin, begin + length) of the
// preprocessed text becomes `replacement`.
struct Substitution {
    uint32_t begin;
    uint32_t length;
    std::string original;
    std::string replacement;
};

bool isOneOf(const std::string& s, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (s == n)
            return true;
    return false;
}

std::string lowerCase(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

D3DXPARAMETER_TYPE baseParameterType(Constant::Base base)
{
    switch (base) {
    case Constant::Base::Bool: return D3DXPT_BOOL;
    case Constant::Base::Int: return D3DXPT_INT;
    default: return D3DXPT_FLOAT;
    }
}

bool isTextureType(D3DXPARAMETER_TYPE t) { return t >= D3DXPT_TEXTURE && t <= D3DXPT_TEXTURECUBE; }
bool isSamplerType(D3DXPARAMETER_TYPE t) { return t >= D3DXPT_SAMPLER && t <= D3DXPT_SAMPLERCUBE; }

class Parser
{
public:
    Parser(const std::string& text, bool rowMajor, EffectDescription& d, std::string& messages)
        : m_text(text), m_rowMajorDefault(rowMajor), m_d(d), m_messages(messages)
    {
    }

    bool run(const std::string& fileName);

private:
    // Tokens.
    const Token& tok() const { return m_tokens[m_pos]; }
    const Token& peek(size_t k) const { return m_tokens[std::min(m_pos + k, m_tokens.size() - 1)]; }
    void advance()
    {
        if (m_pos + 1 < m_tokens.size())
            ++m_pos;
    }
    bool accept(const char* spelling)
    {
        if (tok().isPunctuator(spelling)) {
            advance();
            return true;
        }
        return false;
    }
    bool expect(const char* spelling)
    {
        if (accept(spelling))
            return true;
        return error(tok(), std::string("'") + spelling + "' expected" + found(tok()));
    }
    bool acceptClosingAngle();
    std::string found(const Token& t) const
    {
        if (t.kind == TokenKind::End)
            return " at the end of the file";
        if (t.kind == TokenKind::String)
            return " before a string";
        return " before '" + t.text + "'";
    }
    bool error(const Token& at, const std::string& message);
    void warning(const Token& at, const std::string& message);
    // The index of the first token from `from` at nesting depth 0 that is
    // one of the stop punctuators; m_tokens.size() - 1 (End) when none.
    bool findStop(size_t from, std::initializer_list<const char*> stops, size_t& stop);
    bool skipBalanced(); // tok() is an opening bracket
    template <class Item>
    bool parseListItems(size_t close, const char* itemName, Item item);
    std::string sourceText(size_t first, size_t last) const; // tokens [first, last)
    void blank(uint32_t begin, uint32_t end) { m_blanks.push_back({begin, end}); }
    bool rowMajorAt(uint32_t offset) const;

    // Declarations.
    bool topLevel();
    bool parseModifiers(Modifiers& modifiers);
    bool parseType(TypeSpec& type);
    bool parseStructBody(const std::string& name, TypeSpec& type);
    bool parseTypedef();
    bool parseFunction(size_t typeStart, size_t nameIndex);
    bool parseVariables(const Modifiers& modifiers, const TypeSpec& type, size_t declarationStart,
                        size_t typeToken);
    bool parseArraySize(UINT& elements, bool& unsized);
    bool parseArraySizes(UINT& elements, const char* openError, bool* open = nullptr);
    bool parseAnnotations(const std::string& ownerPath, std::vector<int>& annotations);
    bool parseTechnique();
    bool parsePass(TechniqueDescription& technique);
    bool parseAssignment(std::vector<StateAssignment>& states, bool inSampler);
    bool parseCompile(int& program);
    bool parseSamplerState(int& sampler);
    bool classifyValue(StateAssignment& a, size_t begin, size_t end);
    bool resolveObject(StateAssignment& a, size_t begin, size_t end, D3DXPARAMETER_TYPE wanted);

    // Parameters.
    int addNode(const std::string& name, const std::string& path, const TypeSpec& type, UINT elements, int parent,
                int topLevel, DWORD flags, bool rowMajor);
    void storeInitialValue(int node, const Constant& value);
    bool storeInitialStrings(int node, size_t begin, size_t end); // tokens [begin, end)
    template <class ReadEntry>
    bool parseInitialObjects(int node, size_t begin, size_t end, bool listAllowed, int ObjectValue::*field,
                             const char* entryName, ReadEntry readEntry);
    bool nodeValue(int node, Constant& value) const;
    template <class Visit>
    void forEachNumericLeaf(int node, Visit visit) const;
    NameResolver constantResolver() const;
    bool evaluate(size_t begin, size_t end, Constant& value, const NameResolver& resolver);

    // Output.
    bool finish();
    bool makeEntryPoints();
    void retypeSamplers();
    void writeHlsl();

    const std::string& m_text;
    bool m_rowMajorDefault;
    EffectDescription& m_d;
    std::string& m_messages;
    bool m_failed = false;

    std::vector<Token> m_tokens;
    size_t m_pos = 0;
    std::vector<std::pair<uint32_t, bool>> m_packMatrix; // offset of a pack_matrix pragma, row-major
    std::vector<StructType> m_structs;
    std::vector<std::pair<std::string, TypeSpec>> m_typedefs;
    std::unordered_map<std::string, int> m_paths; // parameter paths (not annotations) to nodes
    std::unordered_map<std::string, Constant> m_constants; // static globals with known values
    std::vector<std::pair<uint32_t, uint32_t>> m_blanks;
    std::vector<Substitution> m_substitutions;
    // Untyped samplers: the node and the offset of the "sampler" keyword.
    std::vector<std::pair<int, uint32_t>> m_untypedSamplers;
    std::unordered_map<std::string, size_t> m_programKeys;
};

bool Parser::error(const Token& at, const std::string& message)
{
    if (!m_failed)
        m_messages += m_d.sourceMap.describe(at.line, at.column) + ": error: " + message + "\n";
    m_failed = true;
    return false;
}

void Parser::warning(const Token& at, const std::string& message)
{
    m_messages += m_d.sourceMap.describe(at.line, at.column) + ": warning: " + message + "\n";
}

bool Parser::acceptClosingAngle()
{
    Token& t = m_tokens[m_pos];
    if (t.isPunctuator(">")) {
        advance();
        return true;
    }
    // ">=" or ">>" where an annotation or a reference closes: the first
    // character closes, the rest stays.
    if (t.kind == TokenKind::Punctuator && t.text.size() > 1 && t.text[0] == '>') {
        t.text.erase(0, 1);
        ++t.begin;
        ++t.column;
        return true;
    }
    return false;
}

bool Parser::findStop(size_t from, std::initializer_list<const char*> stops, size_t& stop)
{
    std::vector<char> open;
    for (size_t i = from; i < m_tokens.size(); ++i) {
        const Token& t = m_tokens[i];
        if (t.kind == TokenKind::End) {
            stop = i;
            return open.empty() ? true : error(t, "unbalanced brackets");
        }
        if (t.kind != TokenKind::Punctuator)
            continue;
        if (open.empty())
            for (const char* s : stops)
                if (t.text == s) {
                    stop = i;
                    return true;
                }
        if (t.text == "(" || t.text == "[" || t.text == "{") {
            open.push_back(t.text[0]);
        } else if (t.text == ")" || t.text == "]" || t.text == "}") {
            char expected = t.text == ")" ? '(' : t.text == "]" ? '[' : '{';
            if (open.empty() || open.back() != expected) {
                stop = i;
                return error(t, "unbalanced '" + t.text + "'");
            }
            open.pop_back();
        }
    }
    stop = m_tokens.size() - 1;
    return true;
}

bool Parser::skipBalanced()
{
    const Token& open = tok();
    std::string close = open.text == "(" ? ")" : open.text == "[" ? "]" : "}";
    size_t stop;
    advance();
    if (!findStop(m_pos, {close.c_str()}, stop))
        return false;
    if (m_tokens[stop].kind == TokenKind::End)
        return error(open, "'" + close + "' expected for this '" + open.text + "'");
    m_pos = stop;
    advance();
    return true;
}

std::string Parser::sourceText(size_t first, size_t last) const
{
    if (first >= last)
        return std::string();
    std::string s = m_text.substr(m_tokens[first].begin, m_tokens[last - 1].end - m_tokens[first].begin);
    for (char& c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s;
}

bool Parser::rowMajorAt(uint32_t offset) const
{
    bool rowMajor = m_rowMajorDefault;
    for (const auto& p : m_packMatrix)
        if (p.first < offset)
            rowMajor = p.second;
    return rowMajor;
}

bool Parser::run(const std::string& fileName)
{
    m_d.sourceMap.build(m_text, fileName);
    std::string lexError;
    uint32_t errorLine = 0, errorColumn = 0;
    std::vector<Token> tokens;
    if (!tokenize(m_text, tokens, lexError, errorLine, errorColumn)) {
        m_messages += m_d.sourceMap.describe(errorLine, errorColumn) + ": error: " + lexError + "\n";
        return false;
    }
    // Pragmas are noted by position (pack_matrix changes the default
    // matrix packing of what follows) and leave the token stream.
    for (Token& t : tokens) {
        if (t.kind != TokenKind::Pragma) {
            m_tokens.push_back(std::move(t));
            continue;
        }
        std::string compact;
        for (char c : t.text)
            if (c != ' ' && c != '\t')
                compact += c;
        if (compact.compare(0, 12, "pack_matrix(") == 0) {
            if (compact.find("row_major") != std::string::npos)
                m_packMatrix.push_back({t.begin, true});
            else if (compact.find("column_major") != std::string::npos)
                m_packMatrix.push_back({t.begin, false});
        }
    }
    while (tok().kind != TokenKind::End) {
        if (!topLevel())
            return false;
    }
    return finish();
}

bool Parser::topLevel()
{
    const Token& t = tok();
    if (t.isPunctuator(";")) {
        advance();
        return true;
    }
    if (t.isPunctuator("[")) {
        // Attributes of functions ([maxtempreg(32)], [numthreads(...)]).
        return skipBalanced();
    }
    if (t.kind == TokenKind::Identifier) {
        std::string lower = lowerCase(t.text);
        if (lower == "technique" || lower == "technique10" || lower == "technique11")
            return parseTechnique();
        if (t.text == "typedef")
            return parseTypedef();
        if (t.text == "cbuffer" || t.text == "tbuffer")
            return error(t, "constant buffers are not supported in Direct3D 9 effects");
        if (t.text == "asm" || t.text == "ASM")
            return error(t, "asm blocks are not supported");
    }
    if (t.kind != TokenKind::Identifier)
        return error(t, "declaration expected" + found(t));

    size_t start = m_pos;
    Modifiers modifiers;
    if (!parseModifiers(modifiers))
        return false;
    size_t typeToken = m_pos;
    TypeSpec type;
    if (!parseType(type))
        return false;
    // "struct S { ... };" declares only the type.
    if (type.kind == TypeSpec::Kind::Struct && tok().isPunctuator(";")) {
        advance();
        return true;
    }
    if (tok().kind == TokenKind::Identifier && peek(1).isPunctuator("("))
        return parseFunction(typeToken, m_pos);
    return parseVariables(modifiers, type, start, typeToken);
}

bool Parser::parseModifiers(Modifiers& m)
{
    for (;;) {
        const Token& t = tok();
        if (t.kind != TokenKind::Identifier)
            return true;
        const std::string& s = t.text;
        if (s == "static")
            m.isStatic = true;
        else if (s == "const")
            m.isConst = true;
        else if (s == "shared")
            m.shared = true;
        else if (s == "row_major")
            m.rowMajor = true;
        else if (s == "column_major")
            m.columnMajor = true;
        else if (!isOneOf(s, {"uniform", "extern", "volatile", "inline", "precise", "nointerpolation", "linear",
                              "centroid", "noperspective", "sample", "groupshared", "snorm", "unorm", "in", "out",
                              "inout"}))
            return true;
        advance();
    }
}

bool Parser::parseType(TypeSpec& type)
{
    const Token& t = tok();
    if (t.kind != TokenKind::Identifier)
        return error(t, "type expected" + found(t));
    const std::string name = t.text;
    const std::string lower = lowerCase(name);

    if (name == "struct") {
        advance();
        if (tok().isPunctuator("{"))
            return parseStructBody(std::string(), type);
        if (tok().kind != TokenKind::Identifier)
            return error(tok(), "struct name expected" + found(tok()));
        std::string structName = tok().text;
        if (peek(1).isPunctuator("{")) {
            advance();
            return parseStructBody(structName, type);
        }
        for (size_t i = 0; i < m_structs.size(); ++i)
            if (m_structs[i].name == structName) {
                advance();
                type = TypeSpec();
                type.kind = TypeSpec::Kind::Struct;
                type.structIndex = static_cast<int>(i);
                return true;
            }
        return error(tok(), "unknown struct '" + structName + "'");
    }

    Constant::Base base;
    unsigned rows, columns;
    bool isMatrix;
    if (numericTypeName(name, base, rows, columns, isMatrix)) {
        advance();
        type = TypeSpec();
        type.kind = TypeSpec::Kind::Numeric;
        type.type = baseParameterType(base);
        type.rows = rows;
        type.columns = columns;
        type.matrix = isMatrix;
        // vector<float, 3> and matrix<float, 4, 3>.
        if ((name == "vector" || name == "matrix") && tok().isPunctuator("<")) {
            advance();
            Constant::Base elementBase;
            unsigned r, c;
            bool m;
            if (tok().kind != TokenKind::Identifier || !numericTypeName(tok().text, elementBase, r, c, m) || m ||
                c != 1)
                return error(tok(), "scalar type expected" + found(tok()));
            type.type = baseParameterType(elementBase);
            advance();
            unsigned dims[2] = {1, 1};
            unsigned count = name == "vector" ? 1 : 2;
            for (unsigned i = 0; i < count; ++i) {
                if (!expect(","))
                    return false;
                if (tok().kind != TokenKind::Integer || tok().number < 1 || tok().number > 4)
                    return error(tok(), "dimension 1 to 4 expected" + found(tok()));
                dims[i] = static_cast<unsigned>(tok().number);
                advance();
            }
            if (!acceptClosingAngle())
                return error(tok(), "'>' expected" + found(tok()));
            if (name == "vector") {
                type.rows = 1;
                type.columns = dims[0];
            } else {
                type.rows = dims[0];
                type.columns = dims[1];
            }
        }
        return true;
    }

    type = TypeSpec();
    if (name == "string") {
        type.kind = TypeSpec::Kind::String;
        type.type = D3DXPT_STRING;
    } else if (lower == "texture") {
        type.kind = TypeSpec::Kind::Texture;
        type.type = D3DXPT_TEXTURE;
    } else if (lower == "texture1d") {
        type.kind = TypeSpec::Kind::Texture;
        type.type = D3DXPT_TEXTURE1D;
    } else if (lower == "texture2d") {
        type.kind = TypeSpec::Kind::Texture;
        type.type = D3DXPT_TEXTURE2D;
    } else if (lower == "texture3d") {
        type.kind = TypeSpec::Kind::Texture;
        type.type = D3DXPT_TEXTURE3D;
    } else if (lower == "texturecube") {
        type.kind = TypeSpec::Kind::Texture;
        type.type = D3DXPT_TEXTURECUBE;
    } else if (lower == "sampler") {
        type.kind = TypeSpec::Kind::Sampler;
        type.type = D3DXPT_SAMPLER;
    } else if (lower == "sampler1d") {
        type.kind = TypeSpec::Kind::Sampler;
        type.type = D3DXPT_SAMPLER1D;
    } else if (lower == "sampler2d") {
        type.kind = TypeSpec::Kind::Sampler;
        type.type = D3DXPT_SAMPLER2D;
    } else if (lower == "sampler3d") {
        type.kind = TypeSpec::Kind::Sampler;
        type.type = D3DXPT_SAMPLER3D;
    } else if (lower == "samplercube") {
        type.kind = TypeSpec::Kind::Sampler;
        type.type = D3DXPT_SAMPLERCUBE;
    } else if (lower == "vertexshader") {
        type.kind = TypeSpec::Kind::VertexShader;
        type.type = D3DXPT_VERTEXSHADER;
    } else if (lower == "pixelshader") {
        type.kind = TypeSpec::Kind::PixelShader;
        type.type = D3DXPT_PIXELSHADER;
    } else if (name == "void") {
        type.kind = TypeSpec::Kind::Void;
    } else {
        bool found = false;
        for (size_t i = 0; i < m_structs.size() && !found; ++i)
            if (m_structs[i].name == name) {
                type.kind = TypeSpec::Kind::Struct;
                type.structIndex = static_cast<int>(i);
                found = true;
            }
        for (size_t i = m_typedefs.size(); i-- > 0 && !found;)
            if (m_typedefs[i].first == name) {
                type = m_typedefs[i].second;
                found = true;
            }
        if (!found)
            return error(t, "unknown type '" + name + "'");
    }
    advance();
    return true;
}

bool Parser::parseStructBody(const std::string& name, TypeSpec& type)
{
    // tok() is '{'.
    const Token& open = tok();
    advance();
    StructType s;
    s.name = name;
    while (!accept("}")) {
        if (tok().kind == TokenKind::End)
            return error(open, "'}' expected for this struct");
        Modifiers modifiers;
        if (!parseModifiers(modifiers))
            return false;
        TypeSpec memberType;
        if (!parseType(memberType))
            return false;
        if (memberType.kind != TypeSpec::Kind::Numeric && memberType.kind != TypeSpec::Kind::Struct)
            return error(tok(), "struct members are numbers or structs");
        for (;;) {
            if (tok().kind != TokenKind::Identifier)
                return error(tok(), "member name expected" + found(tok()));
            StructMember member;
            member.name = tok().text;
            member.type = memberType;
            member.rowMajor = modifiers.rowMajor || (!modifiers.columnMajor && rowMajorAt(tok().begin));
            advance();
            member.elements = memberType.elements;
            if (!parseArraySizes(member.elements, "struct members need a size"))
                return false;
            while (accept(":")) {
                if (tok().kind != TokenKind::Identifier)
                    return error(tok(), "semantic expected" + found(tok()));
                if (tok().text == "packoffset" || tok().text == "register") {
                    advance();
                    if (!tok().isPunctuator("(") || !skipBalanced())
                        return error(tok(), "'(' expected" + found(tok()));
                    continue;
                }
                member.semantic = tok().text;
                member.hasSemantic = true;
                advance();
            }
            for (const StructMember& other : s.members)
                if (other.name == member.name)
                    return error(tok(), "member '" + member.name + "' declared twice");
            s.members.push_back(std::move(member));
            if (accept(";"))
                break;
            if (!expect(","))
                return false;
        }
    }
    if (!name.empty())
        for (const StructType& other : m_structs)
            if (other.name == name)
                return error(open, "struct '" + name + "' declared twice");
    m_structs.push_back(std::move(s));
    type = TypeSpec();
    type.kind = TypeSpec::Kind::Struct;
    type.structIndex = static_cast<int>(m_structs.size() - 1);
    return true;
}

bool Parser::parseTypedef()
{
    advance();
    Modifiers modifiers;
    if (!parseModifiers(modifiers))
        return false;
    TypeSpec type;
    if (!parseType(type))
        return false;
    for (;;) {
        if (tok().kind != TokenKind::Identifier)
            return error(tok(), "type name expected" + found(tok()));
        std::string name = tok().text;
        advance();
        TypeSpec alias = type;
        if (!parseArraySizes(alias.elements, "typedefs of arrays need a size"))
            return false;
        m_typedefs.push_back({name, alias});
        if (accept(";"))
            return true;
        if (!expect(","))
            return false;
    }
}

// The comma-separated items of a parenthesised list, from tok() to the
// closing ')' at `close`: item(begin, end) takes each item's tokens, and
// returns false to end the list there. tok() is then after the ')'.
template <class Item>
bool Parser::parseListItems(size_t close, const char* itemName, Item item)
{
    while (m_pos < close) {
        size_t stop;
        if (!findStop(m_pos, {",", ")"}, stop))
            return false;
        if (stop > close)
            stop = close;
        if (stop == m_pos)
            return error(tok(), std::string(itemName) + " expected" + found(tok()));
        if (!item(m_pos, stop))
            break;
        m_pos = stop;
        if (m_pos < close)
            advance();
    }
    m_pos = close;
    advance();
    return true;
}

bool Parser::parseArraySize(UINT& elements, bool& unsized)
{
    const Token& open = tok();
    advance();
    if (accept("]")) {
        unsized = true;
        elements = 0;
        return true;
    }
    size_t stop;
    if (!findStop(m_pos, {"]"}, stop))
        return false;
    if (m_tokens[stop].kind == TokenKind::End)
        return error(open, "']' expected");
    Constant size;
    if (!evaluate(m_pos, stop, size, constantResolver()))
        return false;
    if (size.values.size() != 1 || size.base == Constant::Base::Float || size.values[0] < 1 ||
        size.values[0] > static_cast<double>(MAX_VALUE_WORDS))
        return error(open, "array size must be a positive integer constant");
    elements = static_cast<UINT>(size.values[0]);
    unsized = false;
    m_pos = stop;
    advance();
    return true;
}

// The array sizes after a name ("[2][3]"), multiplied into `elements`.
// With `open`, one size may be left open ("[]"), and *open says whether it
// was; otherwise, or for a second one, an open size is refused with
// `openError`.
bool Parser::parseArraySizes(UINT& elements, const char* openError, bool* open)
{
    while (tok().isPunctuator("[")) {
        UINT size = 0;
        bool unsized = false;
        if (!parseArraySize(size, unsized))
            return false;
        if (unsized) {
            if (!open || *open)
                return error(tok(), openError);
            *open = true;
            continue;
        }
        uint64_t total = static_cast<uint64_t>(elements ? elements : 1) * size;
        if (total > MAX_VALUE_WORDS)
            return error(tok(), "array too large");
        elements = static_cast<UINT>(total);
    }
    return true;
}

bool Parser::evaluate(size_t begin, size_t end, Constant& value, const NameResolver& resolver)
{
    ConstantEvaluator evaluator(resolver);
    if (evaluator.evaluate(m_tokens.data() + begin, m_tokens.data() + end, value))
        return true;
    const Token* at = evaluator.errorToken();
    return error(at && at < m_tokens.data() + m_tokens.size() ? *at : m_tokens[begin], evaluator.error());
}

NameResolver Parser::constantResolver() const
{
    return [this](const std::string& name, Constant& value) {
        auto c = m_constants.find(name);
        if (c != m_constants.end()) {
            value = c->second;
            return true;
        }
        auto p = m_paths.find(name);
        return p != m_paths.end() && nodeValue(p->second, value);
    };
}

bool Parser::nodeValue(int node, Constant& value) const
{
    const ParameterNode& n = m_d.parameters[node];
    if (n.parameterClass == D3DXPC_OBJECT || n.wordCount == 0)
        return false;
    value.values.clear();
    bool allBool = true, anyFloat = false;
    // Each leaf with its own type.
    forEachNumericLeaf(node, [&](const ParameterNode& leaf) {
        allBool = allBool && leaf.type == D3DXPT_BOOL;
        anyFloat = anyFloat || leaf.type == D3DXPT_FLOAT;
        for (uint32_t w = 0; w < leaf.wordCount; ++w)
            value.values.push_back(loadComponent(m_d.words[leaf.firstWord + w], leaf.type));
    });
    value.base = anyFloat ? Constant::Base::Float : allBool ? Constant::Base::Bool : Constant::Base::Int;
    return !value.values.empty();
}

// Calls visit(leaf) for the leaves below `node` (or the node itself) that
// hold numbers, in the order they are declared.
template <class Visit>
void Parser::forEachNumericLeaf(int node, Visit visit) const
{
    std::vector<int> stack{node};
    while (!stack.empty()) {
        const ParameterNode& leaf = m_d.parameters[stack.back()];
        stack.pop_back();
        if (!leaf.children.empty()) {
            for (size_t k = leaf.children.size(); k-- > 0;)
                stack.push_back(leaf.children[k]);
            continue;
        }
        if (leaf.parameterClass != D3DXPC_OBJECT)
            visit(leaf);
    }
}

int Parser::addNode(const std::string& name, const std::string& path, const TypeSpec& type, UINT elements, int parent,
                    int topLevel, DWORD flags, bool rowMajor)
{
    // Each element is a node of its own: an array that cannot fit is
    // refused before any of them is made.
    if (m_d.parameters.size() + 1 + elements > MAX_PARAMETER_NODES) {
        error(tok(), "too many parameters");
        return -1;
    }
    int index = static_cast<int>(m_d.parameters.size());
    m_d.parameters.emplace_back();
    {
        ParameterNode& n = m_d.parameters.back();
        n.name = name;
        n.path = path;
        n.parent = parent;
        n.topLevel = topLevel < 0 ? index : topLevel;
        n.flags = flags;
        n.elements = elements;
        n.firstWord = static_cast<uint32_t>(m_d.words.size());
        n.firstObject = static_cast<uint32_t>(m_d.objects.size());
        n.line = tok().line;
        switch (type.kind) {
        case TypeSpec::Kind::Numeric:
            n.type = type.type;
            n.rows = type.rows;
            n.columns = type.columns;
            if (type.matrix)
                n.parameterClass = rowMajor ? D3DXPC_MATRIX_ROWS : D3DXPC_MATRIX_COLUMNS;
            else if (type.rows == 1 && type.columns == 1 && type.structIndex < 0 && !type.matrix)
                n.parameterClass = D3DXPC_SCALAR;
            else
                n.parameterClass = D3DXPC_VECTOR;
            break;
        case TypeSpec::Kind::Struct:
            n.parameterClass = D3DXPC_STRUCT;
            n.type = D3DXPT_VOID;
            n.rows = 1;
            break;
        default:
            n.parameterClass = D3DXPC_OBJECT;
            n.type = type.type;
            n.rows = n.columns = 0;
            break;
        }
    }
    // float1 is a one-component vector; float is a scalar.
    if (type.kind == TypeSpec::Kind::Numeric && !type.matrix && type.columns == 1)
        m_d.parameters[index].parameterClass = D3DXPC_SCALAR;

    if (elements > 0) {
        for (UINT i = 0; i < elements; ++i) {
            const int owner = m_d.parameters[index].topLevel;
            int child = addNode(name, path + "[" + std::to_string(i) + "]", type, 0, index, owner, flags, rowMajor);
            if (child < 0)
                return -1;
            m_d.parameters[index].children.push_back(child);
        }
    } else if (type.kind == TypeSpec::Kind::Struct) {
        const StructType& s = m_structs[type.structIndex];
        for (const StructMember& member : s.members) {
            int child = addNode(member.name, path + "." + member.name, member.type, member.elements, index,
                                m_d.parameters[index].topLevel, flags, member.rowMajor);
            if (child < 0)
                return -1;
            ParameterNode& c = m_d.parameters[child];
            c.semantic = member.semantic;
            c.hasSemantic = member.hasSemantic;
            // Elements of a member array share its semantic.
            for (int e : c.children)
                if (m_d.parameters[e].name == c.name) {
                    m_d.parameters[e].semantic = member.semantic;
                    m_d.parameters[e].hasSemantic = member.hasSemantic;
                }
            m_d.parameters[index].children.push_back(child);
        }
    } else if (type.kind == TypeSpec::Kind::Numeric) {
        size_t count = static_cast<size_t>(type.rows) * type.columns;
        if (m_d.words.size() + count > MAX_VALUE_WORDS) {
            error(tok(), "parameters too large");
            return -1;
        }
        m_d.words.resize(m_d.words.size() + count, 0);
    } else if (type.kind != TypeSpec::Kind::Void) {
        m_d.objects.emplace_back();
    }

    ParameterNode& n = m_d.parameters[index];
    n.wordCount = static_cast<uint32_t>(m_d.words.size()) - n.firstWord;
    n.objectCount = static_cast<uint32_t>(m_d.objects.size()) - n.firstObject;
    switch (type.kind) {
    case TypeSpec::Kind::Numeric:
    case TypeSpec::Kind::Struct:
        n.bytes = n.wordCount * 4;
        break;
    case TypeSpec::Kind::Sampler:
        n.bytes = 0;
        break;
    default:
        n.bytes = n.objectCount * static_cast<UINT>(sizeof(void*));
        break;
    }
    if (type.kind == TypeSpec::Kind::Struct)
        n.columns = elements > 0 ? n.wordCount / elements : n.wordCount;
    return index;
}

bool Parser::parseAnnotations(const std::string& ownerPath, std::vector<int>& annotations)
{
    // tok() is '<'.
    const Token& open = tok();
    advance();
    while (!acceptClosingAngle()) {
        if (tok().kind == TokenKind::End)
            return error(open, "'>' expected for these annotations");
        Modifiers modifiers;
        if (!parseModifiers(modifiers))
            return false;
        TypeSpec type;
        if (!parseType(type))
            return false;
        if (type.kind == TypeSpec::Kind::Void || type.kind == TypeSpec::Kind::Struct ||
            type.kind == TypeSpec::Kind::Sampler)
            return error(tok(), "annotations are numbers, strings, textures or shaders");
        if (tok().kind != TokenKind::Identifier)
            return error(tok(), "annotation name expected" + found(tok()));
        const Token& nameToken = tok();
        std::string name = nameToken.text;
        advance();
        UINT elements = type.elements;
        if (!parseArraySizes(elements, "annotation arrays need a size"))
            return false;
        for (int a : annotations)
            if (m_d.parameters[a].name == name)
                return error(nameToken, "annotation '" + name + "' declared twice");
        int node = addNode(name, ownerPath + "@" + name, type, elements, -1, -1, D3DX_PARAMETER_ANNOTATION,
                           rowMajorAt(nameToken.begin));
        if (node < 0)
            return false;
        annotations.push_back(node);
        if (accept("=")) {
            size_t stop;
            if (!findStop(m_pos, {";"}, stop))
                return false;
            if (m_tokens[stop].kind == TokenKind::End)
                return error(tok(), "';' expected after the annotation");
            if (type.kind == TypeSpec::Kind::String) {
                if (!storeInitialStrings(node, m_pos, stop))
                    return false;
            } else if (type.kind == TypeSpec::Kind::Numeric) {
                Constant value;
                if (!evaluate(m_pos, stop, value, constantResolver()))
                    return false;
                storeInitialValue(node, value);
            }
            m_pos = stop;
        }
        if (!expect(";"))
            return false;
    }
    return true;
}

// One string, or a list of them for an array; adjacent strings
// concatenate, and strings beyond the array's size are dropped.
bool Parser::storeInitialStrings(int node, size_t begin, size_t end)
{
    const ParameterNode& n = m_d.parameters[node];
    uint32_t slot = n.firstObject;
    const uint32_t slotEnd = n.firstObject + n.objectCount;
    bool previousString = false;
    for (size_t i = begin; i < end; ++i) {
        const Token& t = m_tokens[i];
        if (t.kind == TokenKind::String) {
            if (previousString && slot > n.firstObject)
                m_d.objects[slot - 1].text += t.text;
            else if (slot < slotEnd)
                m_d.objects[slot++].text = t.text;
            previousString = true;
        } else if (t.isPunctuator(",") || t.isPunctuator("{") || t.isPunctuator("}")) {
            previousString = false;
        } else {
            return error(t, "string expected");
        }
    }
    return true;
}

// The initial value of samplers or shaders, tokens [begin, end): one
// entry, or where `listAllowed` a list of them in braces, each NULL or what
// readEntry reads (a sampler or a program, into the node's slots' `field`).
template <class ReadEntry>
bool Parser::parseInitialObjects(int node, size_t begin, size_t end, bool listAllowed, int ObjectValue::*field,
                                 const char* entryName, ReadEntry readEntry)
{
    m_pos = begin;
    uint32_t slot = m_d.parameters[node].firstObject;
    const uint32_t slotEnd = slot + m_d.parameters[node].objectCount;
    const bool list = listAllowed && tok().isPunctuator("{");
    if (list)
        advance();
    while (m_pos < end) {
        if (tok().is("NULL")) {
            advance();
            ++slot;
        } else {
            int entry = -1;
            if (!readEntry(entry))
                return false;
            if (slot < slotEnd)
                m_d.objects[slot++].*field = entry;
        }
        if (list && !accept(",") && !accept("}"))
            return error(tok(), "',' or '}' expected" + found(tok()));
        if (!list)
            break;
    }
    if (m_pos != end)
        return error(tok(), "unexpected '" + tok().text + "' after " + entryName);
    return true;
}

void Parser::storeInitialValue(int node, const Constant& value)
{
    if (value.values.empty())
        return;
    // One value fills every component; a list fills them in order, as far
    // as it goes.
    const bool spread = value.values.size() == 1;
    size_t next = 0;
    forEachNumericLeaf(node, [&](const ParameterNode& leaf) {
        for (uint32_t w = 0; w < leaf.wordCount && (spread || next < value.values.size()); ++w) {
            double v = value.values[spread ? 0 : next++];
            m_d.words[leaf.firstWord + w] = storeComponent(v, leaf.type);
        }
    });
}

bool Parser::parseFunction(size_t typeStart, size_t nameIndex)
{
    FunctionDescription f;
    f.name = m_tokens[nameIndex].text;
    f.returnType = sourceText(typeStart, nameIndex);
    m_pos = nameIndex + 1;
    // tok() is '('.
    const Token& open = tok();
    size_t close;
    advance();
    if (!findStop(m_pos, {")"}, close))
        return false;
    if (m_tokens[close].kind == TokenKind::End)
        return error(open, "')' expected for this parameter list");
    auto parameter = [&](size_t begin, size_t end) {
        FunctionParameter p;
        p.text = sourceText(begin, end);
        // The name is the last identifier before the semantic, the default
        // value or the array size.
        size_t nameEnd = end;
        for (size_t i = begin; i < end; ++i)
            if (m_tokens[i].isPunctuator(":") || m_tokens[i].isPunctuator("=") || m_tokens[i].isPunctuator("[")) {
                nameEnd = i;
                break;
            }
        for (size_t i = begin; i < nameEnd; ++i) {
            if (m_tokens[i].kind == TokenKind::Identifier)
                p.name = m_tokens[i].text;
            if (m_tokens[i].is("uniform"))
                p.isUniform = true;
        }
        // "(void)" declares no parameters.
        if (p.text == "void" && f.parameters.empty() && end == close)
            return false;
        f.parameters.push_back(std::move(p));
        return true;
    };
    if (!parseListItems(close, "parameter", parameter))
        return false;
    if (accept(":")) {
        if (tok().kind != TokenKind::Identifier)
            return error(tok(), "semantic expected" + found(tok()));
        f.returnSemantic = ": " + tok().text;
        advance();
    }
    if (accept(";")) {
        m_d.functions.push_back(std::move(f));
        return true;
    }
    if (!tok().isPunctuator("{"))
        return error(tok(), "'{' expected" + found(tok()));
    size_t bodyStart = m_pos;
    if (!skipBalanced())
        return false;
    std::unordered_set<std::string> names;
    for (size_t i = bodyStart; i < m_pos; ++i)
        if (m_tokens[i].kind == TokenKind::Identifier && names.insert(m_tokens[i].text).second)
            f.names.push_back(m_tokens[i].text);
    f.defined = true;
    m_d.functions.push_back(std::move(f));
    return true;
}

bool Parser::parseVariables(const Modifiers& modifiers, const TypeSpec& type, size_t declarationStart,
                            size_t typeToken)
{
    if (type.kind == TypeSpec::Kind::Void)
        return error(tok(), "variables cannot be void");
    const bool objectType = type.kind == TypeSpec::Kind::Texture || type.kind == TypeSpec::Kind::String ||
                            type.kind == TypeSpec::Kind::VertexShader || type.kind == TypeSpec::Kind::PixelShader;
    const bool isParameter = !modifiers.isStatic;
    if (modifiers.isStatic && type.kind != TypeSpec::Kind::Numeric && type.kind != TypeSpec::Kind::Struct)
        return error(m_tokens[declarationStart], "static objects are not supported");
    for (;;) {
        const Token& nameToken = tok();
        if (nameToken.kind != TokenKind::Identifier)
            return error(nameToken, "name expected" + found(nameToken));
        std::string name = nameToken.text;
        advance();
        UINT elements = type.elements;
        bool unsized = false;
        if (!parseArraySizes(elements, "only one array size may be left open", &unsized))
            return false;
        std::string semantic;
        bool hasSemantic = false;
        int samplerRegister = -1;
        size_t annotationsStart = 0;
        std::vector<int> annotationNodes;
        bool annotated = false;
        for (;;) {
            if (accept(":")) {
                const Token& s = tok();
                if (s.kind != TokenKind::Identifier)
                    return error(s, "semantic expected" + found(s));
                if (s.text == "register" || s.text == "packoffset") {
                    bool isRegister = s.text == "register";
                    advance();
                    if (!tok().isPunctuator("("))
                        return error(tok(), "'(' expected" + found(tok()));
                    size_t open = m_pos;
                    if (!skipBalanced())
                        return false;
                    // register(s3) places a sampler.
                    if (isRegister && m_pos - open == 3 && m_tokens[open + 1].kind == TokenKind::Identifier) {
                        const std::string& r = m_tokens[open + 1].text;
                        if (r.size() >= 2 && (r[0] == 's' || r[0] == 'S') &&
                            r.find_first_not_of("0123456789", 1) == std::string::npos && r.size() < 4)
                            samplerRegister = std::atoi(r.c_str() + 1);
                    }
                    continue;
                }
                semantic = s.text;
                hasSemantic = true;
                advance();
                continue;
            }
            if (tok().isPunctuator("<") && !annotated) {
                annotated = true;
                annotationsStart = m_pos;
                // Nodes come later; the annotations are read after the
                // parameter exists, so they parse here into a list that
                // is moved onto it.
                if (!parseAnnotations(name, annotationNodes))
                    return false;
                // Up to the next token, which starts after the closing '>'
                // even when that was split off a ">=".
                if (!objectType)
                    blank(m_tokens[annotationsStart].begin, m_tokens[m_pos].begin);
                continue;
            }
            break;
        }
        if (isParameter && m_paths.count(name))
            return error(nameToken, "'" + name + "' declared twice");

        // The initialiser's tokens.
        size_t initBegin = 0, initEnd = 0;
        const Token* equals = nullptr;
        if (tok().isPunctuator("=")) {
            equals = &tok();
            advance();
            initBegin = m_pos;
            if (!findStop(m_pos, {",", ";"}, initEnd))
                return false;
            if (m_tokens[initEnd].kind == TokenKind::End)
                return error(*equals, "';' expected after the initialiser");
            if (initEnd == initBegin)
                return error(m_tokens[initEnd], "value expected" + found(m_tokens[initEnd]));
        }
        if (unsized) {
            if (!equals || type.kind != TypeSpec::Kind::Numeric)
                return error(nameToken, "arrays without a size need a numeric initialiser");
            Constant value;
            if (!evaluate(initBegin, initEnd, value, constantResolver()))
                return false;
            size_t per = static_cast<size_t>(type.rows) * type.columns * (elements ? elements : 1);
            size_t count = (value.values.size() + per - 1) / per;
            uint64_t total = static_cast<uint64_t>(count) * (elements ? elements : 1);
            if (count == 0 || total > MAX_VALUE_WORDS)
                return error(nameToken, "array size cannot be taken from the initialiser");
            elements = static_cast<UINT>(total);
        }

        if (!isParameter) {
            // Static globals stay HLSL; their values may appear in later
            // initialisers.
            if (equals && type.kind == TypeSpec::Kind::Numeric && elements == 0) {
                Constant value;
                ConstantEvaluator evaluator(constantResolver());
                if (evaluator.evaluate(m_tokens.data() + initBegin, m_tokens.data() + initEnd, value))
                    m_constants[name] = value;
            }
        } else {
            DWORD flags = modifiers.shared ? D3DX_PARAMETER_SHARED : 0;
            if (modifiers.isConst)
                flags |= D3DX_PARAMETER_LITERAL;
            bool rowMajor = modifiers.rowMajor || (!modifiers.columnMajor && rowMajorAt(nameToken.begin));
            int node = addNode(name, name, type, elements, -1, -1, flags, rowMajor);
            if (node < 0)
                return false;
            m_d.topLevelParameters.push_back(node);
            m_paths[name] = node;
            for (int child = node + 1; child < static_cast<int>(m_d.parameters.size()); ++child)
                m_paths[m_d.parameters[child].path] = child;
            {
                ParameterNode& n = m_d.parameters[node];
                n.semantic = semantic;
                n.hasSemantic = hasSemantic;
                n.samplerRegister = samplerRegister;
                // Annotation nodes were made before the parameter's; they
                // belong to it now.
                n.annotations = annotationNodes;
                for (int child : n.children) {
                    m_d.parameters[child].semantic = semantic;
                    m_d.parameters[child].hasSemantic = hasSemantic;
                }
            }
            // Nodes made after the annotations keep their order; fix the
            // annotations' owner paths to the final parameter name.
            for (int a : annotationNodes)
                m_d.parameters[a].path = name + "@" + m_d.parameters[a].name;

            // Initial values.
            if (equals) {
                const Token& first = m_tokens[initBegin];
                switch (type.kind) {
                case TypeSpec::Kind::Numeric:
                case TypeSpec::Kind::Struct: {
                    Constant value;
                    ConstantEvaluator evaluator(constantResolver());
                    if (evaluator.evaluate(m_tokens.data() + initBegin, m_tokens.data() + initEnd, value))
                        storeInitialValue(node, value);
                    else
                        warning(first, "the initial value of '" + name + "' is left zero: " + evaluator.error());
                    break;
                }
                case TypeSpec::Kind::String:
                    if (!storeInitialStrings(node, initBegin, initEnd))
                        return false;
                    break;
                case TypeSpec::Kind::Texture:
                    // A texture starts empty; "= NULL" says as much.
                    break;
                case TypeSpec::Kind::Sampler: {
                    blank(equals->begin, m_tokens[initEnd - 1].end);
                    auto readSampler = [&](int& sampler) {
                        if (!tok().is("sampler_state"))
                            return error(tok(), "sampler_state expected" + found(tok()));
                        return parseSamplerState(sampler);
                    };
                    if (!parseInitialObjects(node, initBegin, initEnd, elements > 0, &ObjectValue::sampler,
                                             "sampler_state", readSampler))
                        return false;
                    break;
                }
                case TypeSpec::Kind::VertexShader:
                case TypeSpec::Kind::PixelShader: {
                    const shader::ShaderStage wanted = type.kind == TypeSpec::Kind::VertexShader
                                                           ? shader::ShaderStage::Vertex
                                                           : shader::ShaderStage::Pixel;
                    auto readShader = [&](int& program) {
                        if (tok().is("asm") || tok().is("ASM"))
                            return error(tok(), "asm shaders are not supported");
                        if (!tok().is("compile"))
                            return error(tok(), "compile expected" + found(tok()));
                        if (!parseCompile(program))
                            return false;
                        if (m_d.programs[program].stage != wanted)
                            return error(first, "the profile does not match the shader type");
                        return true;
                    };
                    if (!parseInitialObjects(node, initBegin, initEnd, true, &ObjectValue::program, "the shader",
                                             readShader))
                        return false;
                    break;
                }
                default:
                    break;
                }
                m_pos = initEnd;
            }
            if (type.kind == TypeSpec::Kind::Sampler && type.type == D3DXPT_SAMPLER)
                m_untypedSamplers.push_back({node, m_tokens[typeToken].begin});
        }
        if (equals)
            m_pos = initEnd;
        if (accept(";")) {
            // Textures, strings and shader variables are the effect's alone:
            // the compiler never sees them.
            if (objectType)
                blank(m_tokens[declarationStart].begin, m_tokens[m_pos - 1].end);
            return true;
        }
        if (!expect(","))
            return false;
    }
}

bool Parser::parseSamplerState(int& sampler)
{
    // tok() is sampler_state.
    advance();
    const Token& open = tok();
    if (!expect("{"))
        return false;
    SamplerDescription description;
    while (!accept("}")) {
        if (tok().kind == TokenKind::End)
            return error(open, "'}' expected for this sampler_state");
        if (!parseAssignment(description.states, true))
            return false;
    }
    m_d.samplers.push_back(std::move(description));
    sampler = static_cast<int>(m_d.samplers.size() - 1);
    return true;
}

bool Parser::parseCompile(int& program)
{
    // tok() is compile.
    const Token& keyword = tok();
    advance();
    if (tok().kind != TokenKind::Identifier)
        return error(tok(), "shader profile expected" + found(tok()));
    ProgramRequest request;
    request.profile = tok().text;
    request.line = keyword.line;
    request.column = keyword.column;
    std::string profile = lowerCase(request.profile);
    if (profile.compare(0, 3, "vs_") == 0)
        request.stage = shader::ShaderStage::Vertex;
    else if (profile.compare(0, 3, "ps_") == 0)
        request.stage = shader::ShaderStage::Pixel;
    else
        return error(tok(), "unknown shader profile '" + request.profile + "'");
    advance();
    if (tok().kind != TokenKind::Identifier)
        return error(tok(), "function name expected" + found(tok()));
    request.function = tok().text;
    advance();
    const Token& open = tok();
    if (!expect("("))
        return false;
    size_t close;
    if (!findStop(m_pos, {")"}, close))
        return false;
    if (m_tokens[close].kind == TokenKind::End)
        return error(open, "')' expected for these arguments");
    auto argument = [&](size_t begin, size_t end) {
        request.arguments.push_back(sourceText(begin, end));
        return true;
    };
    if (!parseListItems(close, "argument", argument))
        return false;

    std::string key = std::string(request.stage == shader::ShaderStage::Vertex ? "v" : "p") + request.function;
    for (const std::string& a : request.arguments)
        key += '\x1f' + a;
    auto existing = m_programKeys.find(key);
    if (existing != m_programKeys.end()) {
        program = static_cast<int>(existing->second);
        return true;
    }
    m_d.programs.push_back(std::move(request));
    program = static_cast<int>(m_d.programs.size() - 1);
    m_programKeys[key] = m_d.programs.size() - 1;
    return true;
}

bool Parser::parseTechnique()
{
    const Token& keyword = tok();
    uint32_t begin = keyword.begin;
    advance();
    TechniqueDescription technique;
    if (tok().kind == TokenKind::Identifier) {
        technique.name = tok().text;
        technique.hasName = true;
        advance();
    }
    technique.path = technique.hasName ? technique.name
                                       : "<technique " + std::to_string(m_d.techniques.size()) + ">";
    if (tok().isPunctuator("<") && !parseAnnotations(technique.path, technique.annotations))
        return false;
    const Token& open = tok();
    if (!expect("{"))
        return false;
    while (!tok().isPunctuator("}")) {
        if (tok().kind == TokenKind::End)
            return error(open, "'}' expected for this technique");
        if (tok().kind != TokenKind::Identifier || lowerCase(tok().text) != "pass")
            return error(tok(), "pass expected" + found(tok()));
        if (!parsePass(technique))
            return false;
    }
    blank(begin, tok().end);
    advance();
    for (const TechniqueDescription& other : m_d.techniques)
        if (technique.hasName && other.hasName && other.name == technique.name)
            return error(keyword, "technique '" + technique.name + "' declared twice");
    m_d.techniques.push_back(std::move(technique));
    return true;
}

bool Parser::parsePass(TechniqueDescription& technique)
{
    advance();
    PassDescription pass;
    if (tok().kind == TokenKind::Identifier) {
        pass.name = tok().text;
        pass.hasName = true;
        advance();
    }
    pass.path = technique.path + "." +
                (pass.hasName ? pass.name : "<pass " + std::to_string(technique.passes.size()) + ">");
    if (tok().isPunctuator("<") && !parseAnnotations(pass.path, pass.annotations))
        return false;
    const Token& open = tok();
    if (!expect("{"))
        return false;
    while (!accept("}")) {
        if (tok().kind == TokenKind::End)
            return error(open, "'}' expected for this pass");
        if (!parseAssignment(pass.states, false))
            return false;
    }
    technique.passes.push_back(std::move(pass));
    return true;
}

bool Parser::parseAssignment(std::vector<StateAssignment>& states, bool inSampler)
{
    const Token& nameToken = tok();
    if (nameToken.kind != TokenKind::Identifier)
        return error(nameToken, "state name expected" + found(nameToken));
    if (peek(1).isPunctuator("("))
        return error(nameToken, "'" + nameToken.text + "(...)' belongs to Direct3D 10 effects");
    StateAssignment a;
    a.name = nameToken.text;
    a.line = nameToken.line;
    a.column = nameToken.column;
    a.state = findState(a.name);
    advance();
    if (tok().isPunctuator("[")) {
        const Token& open = tok();
        advance();
        size_t stop;
        if (!findStop(m_pos, {"]"}, stop))
            return false;
        if (m_tokens[stop].kind == TokenKind::End)
            return error(open, "']' expected");
        Constant index;
        if (!evaluate(m_pos, stop, index, constantResolver()))
            return false;
        if (index.values.size() != 1 || index.values[0] < 0 || index.values[0] > 65535.0)
            return error(open, "state index must be a small non-negative integer");
        a.index = static_cast<UINT>(index.values[0]);
        m_pos = stop;
        advance();
    }
    if (!expect("="))
        return false;

    if (a.state >= 0) {
        const StateInfo& info = stateInfo(a.state);
        if (inSampler && !isSamplerState(info))
            a.state = -1;
        else if (a.index > maxStateIndex(info))
            return error(nameToken, "index " + std::to_string(a.index) + " is out of range for " + info.name);
    }

    if (tok().is("compile")) {
        const Token& keyword = tok();
        if (a.state < 0 || (stateInfo(a.state).group != StateGroup::VertexShader &&
                            stateInfo(a.state).group != StateGroup::PixelShader))
            return error(keyword, "compile assigned to '" + a.name + "', which is no shader state");
        if (!parseCompile(a.program))
            return false;
        shader::ShaderStage wanted = stateInfo(a.state).group == StateGroup::VertexShader
                                         ? shader::ShaderStage::Vertex
                                         : shader::ShaderStage::Pixel;
        if (m_d.programs[a.program].stage != wanted)
            return error(keyword, "a " + m_d.programs[a.program].profile + " shader assigned to " + a.name);
        a.kind = StateAssignment::Kind::Program;
        if (!expect(";"))
            return false;
        states.push_back(std::move(a));
        return true;
    }
    if (tok().is("asm") || tok().is("ASM"))
        return error(tok(), "asm shaders are not supported");

    size_t stop;
    if (!findStop(m_pos, {";"}, stop))
        return false;
    if (m_tokens[stop].kind == TokenKind::End)
        return error(nameToken, "';' expected after the state assignment");
    if (stop == m_pos)
        return error(tok(), "value expected for " + a.name);
    size_t begin = m_pos, end = stop;
    // <Name> references a parameter, as (Name) does.
    if (m_tokens[begin].isPunctuator("<")) {
        size_t close = end - 1;
        if (!(m_tokens[close].isPunctuator(">") || m_tokens[close].isPunctuator(">>")))
            return error(m_tokens[begin], "'>' expected to close this reference");
        ++begin;
        --end;
        if (begin >= end)
            return error(m_tokens[begin], "parameter name expected");
    }
    a.expression.assign(m_tokens.begin() + begin, m_tokens.begin() + end);
    if (!classifyValue(a, begin, end))
        return false;
    m_pos = stop;
    advance();
    if (a.state < 0) {
        a.known = false;
        warning(nameToken, "unknown state '" + a.name + "'" + (inSampler ? " in sampler_state" : ""));
    }
    states.push_back(std::move(a));
    return true;
}

bool Parser::classifyValue(StateAssignment& a, size_t begin, size_t end)
{
    if (end - begin == 1 && m_tokens[begin].is("NULL")) {
        a.kind = StateAssignment::Kind::Null;
        a.constant = true;
        a.value.base = Constant::Base::Int;
        a.value.values.assign(1, 0.0);
        return true;
    }
    if (a.state < 0)
        return true;
    const StateInfo& info = stateInfo(a.state);
    if (info.value == StateValue::Object) {
        D3DXPARAMETER_TYPE wanted = info.group == StateGroup::Texture          ? D3DXPT_TEXTURE
                                    : info.group == StateGroup::SamplerBinding ? D3DXPT_SAMPLER
                                    : info.group == StateGroup::VertexShader   ? D3DXPT_VERTEXSHADER
                                                                               : D3DXPT_PIXELSHADER;
        return resolveObject(a, begin, end, wanted);
    }

    // First as a constant (value names, TRUE/FALSE, numbers, static
    // constants); failing that, over the parameters' values, evaluated
    // again whenever the pass begins.
    NameResolver constants = [this, &info](const std::string& name, Constant& value) {
        if (stateValueConstant(&info, name, value))
            return true;
        auto c = m_constants.find(name);
        if (c != m_constants.end()) {
            value = c->second;
            return true;
        }
        return false;
    };
    ConstantEvaluator constant(constants);
    if (constant.evaluate(m_tokens.data() + begin, m_tokens.data() + end, a.value)) {
        a.constant = true;
        return true;
    }
    NameResolver withParameters = [this, &constants](const std::string& name, Constant& value) {
        if (constants(name, value))
            return true;
        auto p = m_paths.find(name);
        return p != m_paths.end() && nodeValue(p->second, value);
    };
    ConstantEvaluator runtime(withParameters);
    Constant probe;
    if (runtime.evaluate(m_tokens.data() + begin, m_tokens.data() + end, probe)) {
        a.constant = false;
        return true;
    }
    a.known = false;
    const Token* at = constant.errorToken();
    warning(at ? *at : m_tokens[begin], "the value of " + std::string(info.name) + " is not understood: " +
                                            runtime.error());
    return true;
}

bool Parser::resolveObject(StateAssignment& a, size_t begin, size_t end, D3DXPARAMETER_TYPE wanted)
{
    // (Name), Name, Name[2] or Name[IndexParameter].
    while (end - begin >= 2 && m_tokens[begin].isPunctuator("(") && m_tokens[end - 1].isPunctuator(")")) {
        size_t stop;
        if (!findStop(begin + 1, {")"}, stop) || stop != end - 1)
            break;
        ++begin;
        --end;
    }
    const Token& first = m_tokens[begin];
    if (first.kind != TokenKind::Identifier)
        return error(first, "parameter name expected for " + a.name);
    std::string path = first.text;
    size_t i = begin + 1;
    int selector = -1;
    while (i < end) {
        if (m_tokens[i].isPunctuator(".") && i + 1 < end && m_tokens[i + 1].kind == TokenKind::Identifier) {
            path += "." + m_tokens[i + 1].text;
            i += 2;
        } else if (m_tokens[i].isPunctuator("[") && i + 2 < end && m_tokens[i + 2].isPunctuator("]") &&
                   (m_tokens[i + 1].kind == TokenKind::Integer || m_tokens[i + 1].kind == TokenKind::Identifier)) {
            if (m_tokens[i + 1].kind == TokenKind::Integer) {
                path += "[" + m_tokens[i + 1].text + "]";
            } else {
                auto s = m_paths.find(m_tokens[i + 1].text);
                if (s == m_paths.end() || m_d.parameters[s->second].parameterClass != D3DXPC_SCALAR ||
                    m_d.parameters[s->second].elements != 0)
                    return error(m_tokens[i + 1], "'" + m_tokens[i + 1].text + "' is no integer parameter");
                if (i + 3 != end)
                    return error(m_tokens[i], "an index parameter must end the reference");
                selector = s->second;
            }
            i += 3;
        } else {
            return error(m_tokens[i], "unexpected '" + m_tokens[i].text + "' in a parameter reference");
        }
    }
    auto p = m_paths.find(path);
    if (p == m_paths.end())
        return error(first, "'" + path + "' is no parameter");
    const ParameterNode& node = m_d.parameters[p->second];
    bool matches = wanted == D3DXPT_TEXTURE   ? isTextureType(node.type)
                   : wanted == D3DXPT_SAMPLER ? isSamplerType(node.type)
                                              : node.type == wanted;
    if (!matches)
        return error(first, "'" + path + "' has the wrong type for " + a.name);
    if (selector < 0 && node.elements > 0)
        return error(first, "'" + path + "' is an array; pick one element");
    if (selector >= 0 && node.elements == 0)
        return error(first, "'" + path + "' is not an array");
    a.kind = StateAssignment::Kind::Object;
    a.parameter = p->second;
    a.selector = selector;
    return true;
}

void Parser::retypeSamplers()
{
    // An untyped sampler takes the type of the texture its sampler_state
    // binds, or else of the tex* functions that read it; 2D otherwise.
    for (const auto& entry : m_untypedSamplers) {
        const ParameterNode& node = m_d.parameters[entry.first];
        D3DXPARAMETER_TYPE textureType = D3DXPT_TEXTURE;
        for (uint32_t s = node.firstObject; s < node.firstObject + node.objectCount; ++s) {
            int sampler = m_d.objects[s].sampler;
            if (sampler < 0)
                continue;
            for (const StateAssignment& a : m_d.samplers[sampler].states)
                if (a.state >= 0 && stateInfo(a.state).group == StateGroup::Texture &&
                    a.kind == StateAssignment::Kind::Object && a.parameter >= 0)
                    textureType = m_d.parameters[a.parameter].type;
        }
        std::string type;
        switch (textureType) {
        case D3DXPT_TEXTURE1D: type = "sampler1D"; break;
        case D3DXPT_TEXTURE3D: type = "sampler3D"; break;
        case D3DXPT_TEXTURECUBE: type = "samplerCUBE"; break;
        case D3DXPT_TEXTURE2D: type = "sampler2D"; break;
        default: break;
        }
        if (type.empty()) {
            for (size_t i = 0; i + 2 < m_tokens.size() && type.empty(); ++i) {
                if (m_tokens[i].kind != TokenKind::Identifier || !m_tokens[i + 1].isPunctuator("(") ||
                    m_tokens[i + 2].text != node.name)
                    continue;
                const std::string& f = m_tokens[i].text;
                if (f.compare(0, 7, "texCUBE") == 0)
                    type = "samplerCUBE";
                else if (f.compare(0, 5, "tex3D") == 0)
                    type = "sampler3D";
                else if (f.compare(0, 5, "tex1D") == 0)
                    type = "sampler1D";
                else if (f.compare(0, 5, "tex2D") == 0)
                    type = "sampler2D";
            }
        }
        if (type.empty())
            type = "sampler2D";
        m_substitutions.push_back({entry.second, 7, m_text.substr(entry.second, 7), type});
    }
}

bool Parser::makeEntryPoints()
{
    std::unordered_set<std::string> names;
    for (const FunctionDescription& f : m_d.functions)
        names.insert(f.name);
    m_d.hlslExtraLines.clear();
    std::string wrappers;
    for (size_t i = 0; i < m_d.programs.size(); ++i) {
        ProgramRequest& request = m_d.programs[i];
        Token at;
        at.line = request.line;
        at.column = request.column;
        // The definition whose uniform parameters take the arguments.
        const FunctionDescription* chosen = nullptr;
        bool declared = false;
        for (const FunctionDescription& f : m_d.functions) {
            if (f.name != request.function)
                continue;
            declared = true;
            size_t uniforms = 0;
            for (const FunctionParameter& p : f.parameters)
                uniforms += p.isUniform ? 1 : 0;
            if (f.defined && uniforms >= request.arguments.size() &&
                (!chosen || uniforms == request.arguments.size()))
                chosen = &f;
        }
        if (!chosen)
            return error(at, declared ? "no definition of '" + request.function + "' takes " +
                                            std::to_string(request.arguments.size()) + " uniform arguments"
                                      : "'" + request.function + "' is not a function of this effect");
        if (request.arguments.empty()) {
            request.entryPoint = request.function;
            continue;
        }
        std::string name;
        for (int suffix = 0;; ++suffix) {
            name = "effect_entry" + std::to_string(i) + (suffix ? "_" + std::to_string(suffix) : "") + "_" +
                   request.function;
            if (!names.count(name))
                break;
        }
        names.insert(name);
        request.entryPoint = name;
        std::string parameters, call;
        size_t argument = 0;
        for (const FunctionParameter& p : chosen->parameters) {
            if (!call.empty())
                call += ", ";
            if (p.isUniform && argument < request.arguments.size()) {
                call += "(" + request.arguments[argument++] + ")";
                continue;
            }
            call += p.name;
            if (!parameters.empty())
                parameters += ", ";
            parameters += p.text;
        }
        std::string returnType = chosen->returnType;
        bool isVoid = returnType.find("void") != std::string::npos;
        wrappers += returnType + " " + name + "(" + parameters + ")" + chosen->returnSemantic + " { " +
                    (isVoid ? "" : "return ") + request.function + "(" + call + "); }\n";
        m_d.hlslExtraLines.push_back({request.line, request.column});
    }
    m_d.hlsl += wrappers;
    return true;
}

void Parser::writeHlsl()
{
    std::string hlsl = m_text;
    // Blanked syntax becomes spaces; line breaks stay.
    for (const auto& range : m_blanks)
        for (uint32_t i = range.first; i < range.second && i < hlsl.size(); ++i)
            if (hlsl[i] != '\n')
                hlsl[i] = ' ';
    // #line directives: the source map has read them, and the compiler
    // counts the lines of this text.
    size_t start = 0;
    for (uint32_t line = 0; start <= hlsl.size(); ++line) {
        size_t end = hlsl.find('\n', start);
        if (end == std::string::npos)
            end = hlsl.size();
        if (m_d.sourceMap.isLineDirective(line))
            for (size_t i = start; i < end; ++i)
                hlsl[i] = ' ';
        start = end + 1;
    }
    // DWORD is no type to glslang.
    for (const Token& t : m_tokens)
        if (t.kind == TokenKind::Identifier && t.text == "DWORD")
            m_substitutions.push_back({t.begin, 5, "DWORD", "uint "});
    std::sort(m_substitutions.begin(), m_substitutions.end(),
              [](const Substitution& a, const Substitution& b) { return a.begin > b.begin; });
    for (const Substitution& s : m_substitutions)
        if (hlsl.compare(s.begin, s.length, s.original) == 0)
            hlsl.replace(s.begin, s.length, s.replacement);
    if (!hlsl.empty() && hlsl.back() != '\n')
        hlsl += '\n';
    m_d.hlslSourceLines = static_cast<uint32_t>(std::count(hlsl.begin(), hlsl.end(), '\n'));
    if (m_rowMajorDefault) {
        hlsl = "#pragma pack_matrix(row_major)\n" + hlsl;
        m_d.hlslLeadingLines = 1;
    }
    m_d.hlsl = std::move(hlsl);
}

bool Parser::finish()
{
    for (const auto& c : m_constants)
        m_d.staticConstants.push_back(c);
    retypeSamplers();
    writeHlsl();
    return makeEntryPoints();
}

} // namespace

bool parseEffect(const std::string& text, const std::string& fileName, bool rowMajorDefault,
                 EffectDescription& description, std::string& messages)
{
    description = EffectDescription();
    Parser parser(text, rowMajorDefault, description, messages);
    return parser.run(fileName);
}

} // namespace effect
} // namespace swd3d9
