#include "effect/EffectLexer.h"

#include <cstdlib>
#include <cstring>

namespace swd3d9 {
namespace effect {

namespace {

bool isIdentifierStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isIdentifierChar(char c) { return isIdentifierStart(c) || isDigit(c); }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Longest first, so that the first match is the longest.
const char* const PUNCTUATORS[] = {"<<=", ">>=", "::", "<=", ">=", "==", "!=", "&&", "||", "<<", ">>", "++", "--",
                                   "+=",  "-=",  "*=", "/=", "%=", "&=", "|=", "^=", "->", "{",  "}",  "(",  ")",
                                   "[",   "]",   ";",  ",",  ".",  "<",  ">",  "=",  "+",  "-",  "*",  "/",  "%",
                                   "&",   "|",   "^",  "!",  "~",  "?",  ":",  "@",  "$",  "\\"};

// The directive word of a line that starts with '#', or an empty string.
std::string directiveName(const std::string& text, size_t lineStart, size_t lineEnd, size_t& afterName)
{
    size_t p = lineStart;
    while (p < lineEnd && isSpace(text[p]))
        ++p;
    if (p >= lineEnd || text[p] != '#')
        return std::string();
    ++p;
    while (p < lineEnd && isSpace(text[p]))
        ++p;
    size_t nameStart = p;
    while (p < lineEnd && isIdentifierChar(text[p]))
        ++p;
    afterName = p;
    return text.substr(nameStart, p - nameStart);
}

} // namespace

uint32_t SourceMap::fileIndex(const std::string& name)
{
    for (size_t i = 0; i < m_files.size(); ++i)
        if (m_files[i] == name)
            return static_cast<uint32_t>(i);
    m_files.push_back(name);
    return static_cast<uint32_t>(m_files.size() - 1);
}

void SourceMap::build(const std::string& text, const std::string& topFile)
{
    m_files.clear();
    m_lines.clear();
    m_lineDirectives.clear();
    uint32_t file = fileIndex(topFile);
    uint32_t line = 1;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        size_t afterName = 0;
        if (directiveName(text, start, end, afterName) == "line") {
            m_lines.push_back({file, line});
            m_lineDirectives.push_back(true);
            // "#line N" or "#line N "file"": the next line is line N.
            size_t p = afterName;
            while (p < end && isSpace(text[p]))
                ++p;
            uint64_t number = 0;
            bool digits = false;
            while (p < end && isDigit(text[p])) {
                if (number < 0xFFFFFFFFu)
                    number = number * 10 + static_cast<uint64_t>(text[p] - '0');
                digits = true;
                ++p;
            }
            if (digits)
                line = static_cast<uint32_t>(number > 0xFFFFFFFFu ? 0xFFFFFFFFu : number);
            while (p < end && isSpace(text[p]))
                ++p;
            if (p < end && text[p] == '"') {
                size_t close = text.find('"', p + 1);
                if (close != std::string::npos && close < end)
                    file = fileIndex(text.substr(p + 1, close - p - 1));
            }
        } else {
            m_lines.push_back({file, line});
            m_lineDirectives.push_back(false);
            if (line < 0xFFFFFFFFu)
                ++line;
        }
        start = end + 1;
    }
}

void SourceMap::insertLine(uint32_t before)
{
    Origin origin = before < m_lines.size() ? m_lines[before] : Origin{0, 1};
    if (before > m_lines.size())
        before = static_cast<uint32_t>(m_lines.size());
    m_lines.insert(m_lines.begin() + before, origin);
    m_lineDirectives.insert(m_lineDirectives.begin() + before, false);
}

SourceMap::Origin SourceMap::origin(uint32_t line) const
{
    if (m_lines.empty())
        return Origin{0, line + 1};
    if (line >= m_lines.size()) {
        // Past the end (generated text appended after the source): the last
        // line stands for it.
        return m_lines.back();
    }
    return m_lines[line];
}

bool SourceMap::isLineDirective(uint32_t line) const
{
    return line < m_lineDirectives.size() && m_lineDirectives[line];
}

std::string SourceMap::describe(uint32_t line, uint32_t column) const
{
    Origin o = origin(line);
    std::string result = o.file < m_files.size() ? m_files[o.file] : std::string("memory");
    result += "(" + std::to_string(o.line);
    if (column > 0)
        result += "," + std::to_string(column);
    result += ")";
    return result;
}

bool tokenize(const std::string& text, std::vector<Token>& tokens, std::string& error, uint32_t& errorLine,
              uint32_t& errorColumn)
{
    size_t p = 0;
    uint32_t line = 0;
    size_t lineStart = 0;
    bool atLineStart = true;
    const size_t n = text.size();

    auto fail = [&](const std::string& message, size_t at) {
        error = message;
        errorLine = line;
        errorColumn = static_cast<uint32_t>(at - lineStart + 1);
        Token end;
        end.begin = end.end = static_cast<uint32_t>(n);
        end.line = line;
        tokens.push_back(end);
        return false;
    };

    while (p < n) {
        char c = text[p];
        if (c == '\n') {
            ++p;
            ++line;
            lineStart = p;
            atLineStart = true;
            continue;
        }
        if (isSpace(c)) {
            ++p;
            continue;
        }
        if (c == '#' && atLineStart) {
            size_t end = text.find('\n', p);
            if (end == std::string::npos)
                end = n;
            size_t afterName = 0;
            if (directiveName(text, p, end, afterName) == "pragma") {
                Token t;
                t.kind = TokenKind::Pragma;
                t.begin = static_cast<uint32_t>(p);
                t.end = static_cast<uint32_t>(end);
                t.line = line;
                t.column = static_cast<uint32_t>(p - lineStart + 1);
                t.text = text.substr(afterName, end - afterName);
                tokens.push_back(std::move(t));
            }
            // Other directives (#line) carry no tokens; the source map reads them.
            p = end;
            continue;
        }
        atLineStart = false;
        if (c == '/' && p + 1 < n && text[p + 1] == '/') {
            while (p < n && text[p] != '\n')
                ++p;
            continue;
        }
        if (c == '/' && p + 1 < n && text[p + 1] == '*') {
            size_t start = p;
            p += 2;
            while (p + 1 < n && !(text[p] == '*' && text[p + 1] == '/')) {
                if (text[p] == '\n') {
                    ++line;
                    lineStart = p + 1;
                }
                ++p;
            }
            if (p + 1 >= n)
                return fail("unterminated comment", start);
            p += 2;
            continue;
        }

        if (tokens.size() >= MAX_TOKENS)
            return fail("the source has too many tokens", p);
        Token t;
        t.begin = static_cast<uint32_t>(p);
        t.line = line;
        t.column = static_cast<uint32_t>(p - lineStart + 1);
        if (isIdentifierStart(c)) {
            size_t start = p;
            while (p < n && isIdentifierChar(text[p]))
                ++p;
            t.kind = TokenKind::Identifier;
            t.text = text.substr(start, p - start);
        } else if (isDigit(c) || (c == '.' && p + 1 < n && isDigit(text[p + 1]))) {
            size_t start = p;
            bool isFloat = false;
            if (c == '0' && p + 1 < n && (text[p + 1] == 'x' || text[p + 1] == 'X')) {
                p += 2;
                uint64_t value = 0;
                bool any = false;
                while (p < n && isHexDigit(text[p])) {
                    char h = text[p];
                    unsigned digit = isDigit(h) ? unsigned(h - '0') : unsigned((h | 0x20) - 'a' + 10);
                    if (value <= 0xFFFFFFFFFull)
                        value = value * 16 + digit;
                    any = true;
                    ++p;
                }
                if (!any)
                    return fail("invalid hexadecimal number", start);
                t.number = static_cast<double>(value);
                t.hexadecimal = true;
            } else {
                while (p < n && isDigit(text[p]))
                    ++p;
                if (p < n && text[p] == '.') {
                    isFloat = true;
                    ++p;
                    while (p < n && isDigit(text[p]))
                        ++p;
                }
                if (p < n && (text[p] == 'e' || text[p] == 'E')) {
                    size_t q = p + 1;
                    if (q < n && (text[q] == '+' || text[q] == '-'))
                        ++q;
                    if (q < n && isDigit(text[q])) {
                        isFloat = true;
                        p = q;
                        while (p < n && isDigit(text[p]))
                            ++p;
                    }
                }
                std::string digits = text.substr(start, p - start);
                if (!isFloat && digits.size() > 1 && digits[0] == '0') {
                    // C-style octal.
                    uint64_t value = 0;
                    for (char d : digits) {
                        if (d > '7')
                            return fail("invalid octal number", start);
                        if (value <= 0xFFFFFFFFFull)
                            value = value * 8 + static_cast<uint64_t>(d - '0');
                    }
                    t.number = static_cast<double>(value);
                } else {
                    t.number = std::strtod(digits.c_str(), nullptr);
                }
            }
            // Suffixes: f, h, l (floats and long), u (unsigned).
            while (p < n && (text[p] == 'f' || text[p] == 'F' || text[p] == 'h' || text[p] == 'H' ||
                             text[p] == 'l' || text[p] == 'L' || text[p] == 'u' || text[p] == 'U')) {
                if (!t.hexadecimal && (text[p] == 'f' || text[p] == 'F' || text[p] == 'h' || text[p] == 'H'))
                    isFloat = true;
                ++p;
            }
            if (p < n && isIdentifierChar(text[p]))
                return fail("invalid number", start);
            t.kind = isFloat ? TokenKind::Float : TokenKind::Integer;
            t.text = text.substr(start, p - start);
        } else if (c == '"') {
            size_t start = p;
            ++p;
            std::string value;
            bool closed = false;
            while (p < n) {
                char s = text[p];
                if (s == '"') {
                    closed = true;
                    ++p;
                    break;
                }
                if (s == '\n')
                    break;
                if (s == '\\' && p + 1 < n && text[p + 1] != '\n') {
                    char e = text[p + 1];
                    switch (e) {
                    case 'n': value += '\n'; break;
                    case 't': value += '\t'; break;
                    case 'r': value += '\r'; break;
                    case '0': value += '\0'; break;
                    default: value += e; break;
                    }
                    p += 2;
                    continue;
                }
                value += s;
                ++p;
            }
            if (!closed)
                return fail("newline in string", start);
            t.kind = TokenKind::String;
            t.text = std::move(value);
        } else {
            const char* match = nullptr;
            for (const char* punctuator : PUNCTUATORS) {
                size_t length = std::strlen(punctuator);
                if (text.compare(p, length, punctuator) == 0) {
                    match = punctuator;
                    break;
                }
            }
            if (!match)
                return fail(std::string("unexpected character '") + (c >= 32 && c < 127 ? std::string(1, c) : "?") +
                                "'",
                            p);
            t.kind = TokenKind::Punctuator;
            t.text = match;
            p += t.text.size();
        }
        t.end = static_cast<uint32_t>(p);
        tokens.push_back(std::move(t));
    }
    Token end;
    end.begin = end.end = static_cast<uint32_t>(n);
    end.line = line;
    end.column = static_cast<uint32_t>(n - lineStart + 1);
    tokens.push_back(end);
    return true;
}

} // namespace effect
} // namespace swd3d9
