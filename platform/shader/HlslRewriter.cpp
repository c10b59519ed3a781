#include "shader/HlslRewriter.h"

#include <cstring>
#include <vector>

namespace swd3d9 {
namespace shader {

const char* const RENAMED_IDENTIFIER_PREFIX = "fx_renamed_";

namespace {

// Replaces the intrinsics glslang 12 compiles wrongly. The last line puts
// the source that follows at line 1 again.
const char* const PRELUDE =
    // glslang's lit() computes the specular term as n_dot_h * m instead of
    // pow(n_dot_h, m).
    "float4 fx_lit(float n_dot_l, float n_dot_h, float m)\n"
    "{\n"
    "    return float4(1.0, max(n_dot_l, 0.0), (n_dot_l < 0.0 || n_dot_h < 0.0) ? 0.0 : pow(n_dot_h, m), 1.0);\n"
    "}\n"
    "#define lit fx_lit\n"
    // texCUBEproj becomes a projective sample of a cube image, which SPIR-V
    // does not have.
    "#define texCUBEproj(s, t) texCUBE(s, (t).xyz / (t).w)\n"
    // ldexp with a float exponent becomes GLSL.std.450 Ldexp, which takes
    // an integer one.
    "#define ldexp(x, e) ((x) * exp2(e))\n"
    // HLSL fmod takes the sign of x (OpFRem); glslang emits OpFMod, whose
    // result takes the sign of y.
    "#define fmod(x, y) ((x) - (y) * trunc((x) / (y)))\n"
    "#line 1\n";

// Words glslang's HLSL scanner reserves (qualifiers and types of later
// shader models) that the Direct3D 9 compiler lets a program use as names.
const char* const GLSLANG_RESERVED[] = {
    "point",         "line",    "triangle", "lineadj", "triangleadj", "linear",           "centroid", "nointerpolation",
    "noperspective", "precise", "texture",  "shared",  "groupshared", "globallycoherent", "vector",   "matrix",
    "string",        "packoffset", "snorm", "unorm",   "layout",      "Buffer"};

// Reserved words that are also types taking template arguments.
const char* const TEMPLATE_TYPES[] = {"vector", "matrix", "texture", "Buffer"};

// Words after which "word(" is an expression, not a function declaration.
const char* const EXPRESSION_KEYWORDS[] = {"return", "else", "case", "do", "in", "out", "inout", "uniform"};

bool isIdentifierStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isIdentifierChar(char c)
{
    return isIdentifierStart(c) || (c >= '0' && c <= '9');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool inList(const std::string& word, const char* const* list, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (word == list[i])
            return true;
    return false;
}

template <size_t N> bool inList(const std::string& word, const char* const (&list)[N])
{
    return inList(word, list, N);
}

enum class TokenKind { Space, Comment, String, Number, Identifier, Punctuation, End };

struct Token {
    TokenKind kind;
    size_t begin;
    size_t end;
};

// Splits HLSL into the tokens the rewrites look at; comments and string
// literals are tokens of their own so that nothing inside them is touched.
class Lexer {
public:
    explicit Lexer(const std::string& text) : text_(text) {}

    Token next()
    {
        const size_t n = text_.size();
        const size_t begin = position_;
        if (begin >= n)
            return {TokenKind::End, n, n};
        const char c = text_[begin];
        size_t end = begin + 1;
        TokenKind kind = TokenKind::Punctuation;
        if (isSpace(c)) {
            while (end < n && isSpace(text_[end]))
                ++end;
            kind = TokenKind::Space;
        } else if (c == '/' && end < n && text_[end] == '/') {
            while (end < n && text_[end] != '\n')
                ++end;
            kind = TokenKind::Comment;
        } else if (c == '/' && end < n && text_[end] == '*') {
            const size_t close = text_.find("*/", begin + 2);
            end = close == std::string::npos ? n : close + 2;
            kind = TokenKind::Comment;
        } else if (c == '"') {
            while (end < n && text_[end] != '"' && text_[end] != '\n')
                end += text_[end] == '\\' && end + 1 < n ? 2 : 1;
            if (end < n && text_[end] == '"')
                ++end;
            kind = TokenKind::String;
        } else if (isDigit(c) || (c == '.' && end < n && isDigit(text_[end]))) {
            // A preprocessing number: digits, letters, dots and signed exponents.
            while (end < n && (isIdentifierChar(text_[end]) || text_[end] == '.' ||
                               ((text_[end] == '+' || text_[end] == '-') &&
                                (text_[end - 1] == 'e' || text_[end - 1] == 'E'))))
                ++end;
            kind = TokenKind::Number;
        } else if (isIdentifierStart(c)) {
            while (end < n && isIdentifierChar(text_[end]))
                ++end;
            kind = TokenKind::Identifier;
        }
        position_ = end;
        return {kind, begin, end};
    }

    // The next token that is neither space nor a comment, without consuming it.
    Token peekSignificant() const
    {
        Lexer ahead(*this);
        Token token = ahead.next();
        while (token.kind == TokenKind::Space || token.kind == TokenKind::Comment)
            token = ahead.next();
        return token;
    }

    void skipTo(size_t position) { position_ = position; }

private:
    const std::string& text_;
    size_t position_ = 0;
};

bool isSignificant(const Token& token)
{
    return token.kind != TokenKind::Space && token.kind != TokenKind::Comment;
}

char charAt(const std::string& text, const Token& token)
{
    return token.begin < text.size() ? text[token.begin] : '\0';
}

std::string textOf(const std::string& text, const Token& token)
{
    return text.substr(token.begin, token.end - token.begin);
}

void appendError(std::string& errors, const std::string& fileName, const std::string& text, size_t position,
                 const std::string& message)
{
    size_t line = 1, column = 1;
    for (size_t i = 0; i < position && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    errors += fileName + "(" + std::to_string(line) + "," + std::to_string(column) + "): error: " + message + "\n";
}

// True when the source declares a function of this name itself, as in
// "float noise(float3 p)": then its calls are the program's own function,
// not the intrinsic.
bool declaresFunction(const std::string& text, const char* name)
{
    Lexer lexer(text);
    Token previous{TokenKind::End, 0, 0};
    for (Token token = lexer.next(); token.kind != TokenKind::End; token = lexer.next()) {
        if (!isSignificant(token))
            continue;
        if (token.kind == TokenKind::Identifier && textOf(text, token) == name &&
            previous.kind == TokenKind::Identifier && !inList(textOf(text, previous), EXPRESSION_KEYWORDS) &&
            charAt(text, lexer.peekSignificant()) == '(')
            return true;
        previous = token;
    }
    return false;
}

size_t skipSpaceBackward(const std::string& text, size_t end)
{
    while (end > 0 && isSpace(text[end - 1]))
        --end;
    return end;
}

// Position of the bracket that opens the one at close, or npos.
size_t matchingOpen(const std::string& text, size_t close)
{
    int depth = 0;
    for (size_t i = close + 1; i-- > 0;) {
        const char c = text[i];
        if (c == ')' || c == ']')
            ++depth;
        else if ((c == '(' || c == '[') && --depth == 0)
            return i;
    }
    return std::string::npos;
}

size_t identifierStartBackward(const std::string& text, size_t end)
{
    while (end > 0 && isIdentifierChar(text[end - 1]))
        --end;
    return end;
}

// Start of the postfix expression that ends at end ("M", "Bones[i]",
// "IN.World", "make(a, b)", "(A + B)"), or end when there is none.
size_t postfixExpressionStart(const std::string& text, size_t end)
{
    size_t p = skipSpaceBackward(text, end);
    while (p > 0) {
        const char c = text[p - 1];
        if (c == ']') {
            const size_t open = matchingOpen(text, p - 1);
            if (open == std::string::npos)
                return end;
            p = skipSpaceBackward(text, open);
            continue;
        }
        if (c == ')') {
            const size_t open = matchingOpen(text, p - 1);
            if (open == std::string::npos)
                return end;
            const size_t before = skipSpaceBackward(text, open);
            const size_t wordStart = identifierStartBackward(text, before);
            if (wordStart == before || isDigit(text[wordStart]) ||
                inList(text.substr(wordStart, before - wordStart), EXPRESSION_KEYWORDS))
                return open;
            p = wordStart;
        } else if (isIdentifierChar(c)) {
            p = identifierStartBackward(text, p);
            if (isDigit(text[p]))
                return end;
        } else {
            return end;
        }
        // A name or a call: part of a longer chain when a '.' precedes it.
        const size_t q = skipSpaceBackward(text, p);
        if (q == 0 || text[q - 1] != '.')
            return p;
        p = skipSpaceBackward(text, q - 1);
    }
    return end;
}

// The elements of a matrix swizzle ("_41", "_m30") at position, and the end
// of the swizzle; none when the identifier there is not one.
std::vector<std::string> matrixSwizzleElements(const std::string& text, size_t position, size_t& end)
{
    std::vector<std::string> elements;
    const size_t n = text.size();
    size_t e = position;
    while (e < n && text[e] == '_') {
        if (e + 3 < n && text[e + 1] == 'm' && text[e + 2] >= '0' && text[e + 2] <= '3' && text[e + 3] >= '0' &&
            text[e + 3] <= '3') {
            elements.push_back(text.substr(e, 4));
            e += 4;
        } else if (e + 2 < n && text[e + 1] >= '1' && text[e + 1] <= '4' && text[e + 2] >= '1' &&
                   text[e + 2] <= '4') {
            elements.push_back(text.substr(e, 3));
            e += 3;
        } else {
            return {};
        }
    }
    if (e < n && isIdentifierChar(text[e]))
        return {};
    end = e;
    return elements;
}

// True when the text at position starts an assignment or an increment,
// which would make the expression before it an l-value.
bool startsAssignment(const std::string& text, size_t position)
{
    const size_t n = text.size();
    while (position < n && isSpace(text[position]))
        ++position;
    if (position >= n)
        return false;
    const char c = text[position];
    const char next = position + 1 < n ? text[position + 1] : '\0';
    if (c == '=')
        return next != '=';
    if ((c == '+' || c == '-') && next == c)
        return true;
    return std::strchr("+-*/%&|^", c) != nullptr && next == '=';
}

class SourceRewriter {
public:
    SourceRewriter(const std::string& text, const std::string& fileName, std::string& errors)
        : text_(text), fileName_(fileName), errors_(errors), lexer_(text)
    {
    }

    bool run(std::string& out, std::vector<uint32_t>& movedLines)
    {
        movedLines_ = &movedLines;
        const bool ownNoise = declaresFunction(text_, "noise");
        bool ok = true;
        Token previous{TokenKind::End, 0, 0};
        for (Token token = lexer_.next(); token.kind != TokenKind::End; token = lexer_.next()) {
            if (token.kind == TokenKind::Identifier)
                ok &= rewriteIdentifier(token, previous, ownNoise, out);
            else if (charAt(text_, token) == '.' && startsWithUnderscore(token.end))
                ok &= rewriteMatrixSwizzle(token, out);
            else
                out.append(text_, token.begin, token.end - token.begin);
            if (isSignificant(token))
                previous = token;
        }
        return ok;
    }

private:
    // The preprocessor puts a space between the tokens of "M._11_22", so
    // the swizzle may start after spaces.
    size_t skipSpace(size_t position) const
    {
        while (position < text_.size() && isSpace(text_[position]))
            ++position;
        return position;
    }

    bool startsWithUnderscore(size_t position) const
    {
        position = skipSpace(position);
        return position < text_.size() && text_[position] == '_';
    }

    bool rewriteIdentifier(const Token& token, const Token& previous, bool ownNoise, std::string& out)
    {
        const std::string word = textOf(text_, token);
        const char before = previous.kind == TokenKind::Punctuation ? charAt(text_, previous) : '\0';
        // Directive names ("#line") and members ("v.line") stay as written;
        // a member is renamed where its struct declares it.
        if (before == '#') {
            out += word;
            return true;
        }
        const bool member = before == '.';
        const Token following = lexer_.peekSignificant();
        const char after = charAt(text_, following);
        if (!member && word == "DWORD") {
            markMoved(out, out.size());
            out += "uint";
            return true;
        }
        if (!member && word == "noise") {
            if (ownNoise) {
                markMoved(out, out.size());
                out += RENAMED_IDENTIFIER_PREFIX + word;
                return true;
            }
            if (after == '(') {
                appendError(errors_, fileName_, text_, token.begin, "'noise' : intrinsic function not supported");
                out += word;
                return false;
            }
        }
        if (inList(word, GLSLANG_RESERVED)) {
            // Used as a qualifier or type it is followed by a name ("shared
            // float4x4 M", "string Description", "vector<float, 3>",
            // "packoffset(c0)"); otherwise it is a name itself.
            const bool keyword = !member && (following.kind == TokenKind::Identifier ||
                                             (after == '<' && inList(word, TEMPLATE_TYPES)) ||
                                             (after == '(' && word == "packoffset"));
            if (!keyword) {
                markMoved(out, out.size());
                out += RENAMED_IDENTIFIER_PREFIX + word;
                return true;
            }
        }
        out += word;
        return true;
    }

    // glslang crashes on or mistranslates swizzles that pick several matrix
    // elements ("M._41_42_43", "M._m30_m31"); single-element ones are fine,
    // so the swizzle becomes a vector built from those.
    bool rewriteMatrixSwizzle(const Token& dot, std::string& out)
    {
        size_t end = 0;
        const std::vector<std::string> elements = matrixSwizzleElements(text_, skipSpace(dot.end), end);
        if (elements.size() < 2) {
            out += '.';
            return true;
        }
        if (elements.size() > 4) {
            appendError(errors_, fileName_, text_, dot.begin, "matrix swizzle of more than four elements");
            out += '.';
            return false;
        }
        if (startsAssignment(text_, end)) {
            appendError(errors_, fileName_, text_, dot.begin,
                        "assignment to a swizzle of several matrix elements is not supported");
            out += '.';
            return false;
        }
        const size_t start = postfixExpressionStart(out, out.size());
        if (start == out.size()) {
            out += '.';
            return true;
        }
        const std::string matrix = out.substr(start);
        // The copies of the matrix expression go on the line of the first,
        // so no line moves.
        std::string flat = matrix;
        for (char& c : flat)
            if (c == '\n' || c == '\r')
                c = ' ';
        out.resize(start);
        out += "float" + std::to_string(elements.size()) + "(" + matrix + "." + elements[0];
        for (size_t i = 1; i < elements.size(); ++i)
            out += ", " + flat + "." + elements[i];
        out += ")";
        markMoved(out, start);
        lexer_.skipTo(end);
        return true;
    }

    // Notes that the text appended to out from position start on moved
    // the columns of its lines.
    void markMoved(const std::string& out, size_t start)
    {
        // A swizzle rewrites from the start of its matrix expression, which
        // may hold an earlier edit.
        if (start < countedUpTo_) {
            countedUpTo_ = 0;
            line_ = 1;
        }
        for (; countedUpTo_ < start; ++countedUpTo_)
            line_ += out[countedUpTo_] == '\n';
        uint32_t last = line_;
        for (size_t i = start; i < out.size(); ++i)
            last += out[i] == '\n';
        for (uint32_t line = line_; line <= last; ++line)
            if (movedLines_->empty() || movedLines_->back() < line)
                movedLines_->push_back(line);
    }

    const std::string& text_;
    const std::string& fileName_;
    std::string& errors_;
    Lexer lexer_;
    std::vector<uint32_t>* movedLines_ = nullptr;
    // Lines of out up to countedUpTo_.
    size_t countedUpTo_ = 0;
    uint32_t line_ = 1;
};

} // namespace

bool prepareHlsl(const std::string& hlsl, const std::string& fileName, PreparedHlsl& prepared, std::string& errors)
{
    prepared.text = PRELUDE;
    prepared.text.reserve(prepared.text.size() + hlsl.size() + hlsl.size() / 8);
    prepared.movedLines.clear();
    std::string rewritten;
    SourceRewriter rewriter(hlsl, fileName, errors);
    const bool ok = rewriter.run(rewritten, prepared.movedLines);
    prepared.text += rewritten;
    return ok;
}

} // namespace shader
} // namespace swd3d9
