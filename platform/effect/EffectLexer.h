#pragma once

// Tokens of a preprocessed effect file, and where each line of that text
// came from.
//
// The preprocessor expands macros and includes and marks file changes with
// "#line N "file"" directives; its output keeps one output line per source
// line otherwise. The source map reads those directives back, so that any
// position in the preprocessed text (and in the HLSL made from it, which
// keeps its lines) names the original file and line in messages.

#include <cstdint>
#include <string>
#include <vector>

namespace swd3d9 {
namespace effect {

enum class TokenKind : uint8_t { End, Identifier, Integer, Float, String, Punctuator, Pragma };

struct Token {
    TokenKind kind = TokenKind::End;
    // Bytes [begin, end) of the preprocessed text.
    uint32_t begin = 0;
    uint32_t end = 0;
    // Line of the preprocessed text (0-based) and column (1-based).
    uint32_t line = 0;
    uint32_t column = 0;
    // Identifier and punctuator spelling, the unescaped contents of a
    // string, the text of a number or of a #pragma line.
    std::string text;
    double number = 0.0; // numbers: the value
    bool hexadecimal = false;

    bool is(const char* spelling) const
    {
        return (kind == TokenKind::Punctuator || kind == TokenKind::Identifier) && text == spelling;
    }
    bool isPunctuator(const char* spelling) const { return kind == TokenKind::Punctuator && text == spelling; }
};

// The original file and line of every line of the preprocessed text.
class SourceMap
{
public:
    struct Origin {
        uint32_t file = 0; // index into files()
        uint32_t line = 0; // 1-based
    };

    // Reads the #line directives of text; topFile names the file that the
    // text starts in.
    void build(const std::string& text, const std::string& topFile);
    // A line inserted before line `before` (0-based) of the text that the map
    // was built from, shifting the later lines down; it maps to the origin of
    // that line.
    void insertLine(uint32_t before);

    const std::vector<std::string>& files() const { return m_files; }
    size_t lineCount() const { return m_lines.size(); }
    Origin origin(uint32_t line) const;
    // "file(line,column)" of a position in the preprocessed text; column 0
    // leaves it out.
    std::string describe(uint32_t line, uint32_t column) const;
    // True when the line holds a #line directive (so holds no code).
    bool isLineDirective(uint32_t line) const;

private:
    uint32_t fileIndex(const std::string& name);

    std::vector<std::string> m_files;
    std::vector<Origin> m_lines;
    std::vector<bool> m_lineDirectives;
};

// The most tokens a text may have: the token list of the largest effect
// stays below a hundred megabytes.
constexpr size_t MAX_TOKENS = 1u << 20;

// Splits the preprocessed text into tokens, ending with one End token.
// Returns false with a message for a character that belongs to no token or
// a string without its closing quote; the tokens read so far are kept.
bool tokenize(const std::string& text, std::vector<Token>& tokens, std::string& error, uint32_t& errorLine,
              uint32_t& errorColumn);

} // namespace effect
} // namespace swd3d9
