#pragma once

// The first stage of effect compilation: macros, conditionals and #include
// expanded by glslang's preprocessor. Its output keeps one line per source
// line and marks changes of file with #line directives, so that later
// stages can name the original file and line (SourceMap).

#include <d3dx9shader.h>

#include <memory>
#include <string>
#include <vector>

namespace swd3d9 {
namespace effect {

// Supplies the text of #include files.
class IncludeSource
{
public:
    virtual ~IncludeSource() = default;
    // The file `name` as written in the directive (system: in <>), included
    // from the file `includer`. Fills the name that messages show for it
    // and its text; false when it cannot be opened.
    virtual bool open(bool system, const std::string& name, const std::string& includer, std::string& resolvedName,
                      std::string& text) = 0;
};

// #include refused: sources in memory without an include handler.
class NoIncludes final : public IncludeSource
{
public:
    bool open(bool, const std::string&, const std::string&, std::string&, std::string&) override { return false; }
};

// Files relative to the directory of the including file (then, for <>
// includes, of the top file), read from disk.
class FileIncludes final : public IncludeSource
{
public:
    explicit FileIncludes(std::string topFile) : m_topFile(std::move(topFile)) {}
    bool open(bool system, const std::string& name, const std::string& includer, std::string& resolvedName,
              std::string& text) override;

private:
    std::string m_topFile;
};

// An application's ID3DXInclude. Every file it opens stays open until the
// handler is destroyed, so that the parent data handed to Open for nested
// includes stays valid.
class D3DXIncludes final : public IncludeSource
{
public:
    D3DXIncludes(ID3DXInclude* include, const void* topData) : m_include(include), m_topData(topData) {}
    ~D3DXIncludes() override;
    D3DXIncludes(const D3DXIncludes&) = delete;
    D3DXIncludes& operator=(const D3DXIncludes&) = delete;
    bool open(bool system, const std::string& name, const std::string& includer, std::string& resolvedName,
              std::string& text) override;

private:
    struct OpenFile {
        std::string name;
        const void* data;
    };
    ID3DXInclude* m_include;
    const void* m_topData;
    std::vector<OpenFile> m_open;
};

// The largest source or include file read, and the largest preprocessed
// text accepted.
constexpr size_t MAX_SOURCE_BYTES = 16u << 20;
constexpr size_t MAX_PREPROCESSED_BYTES = 32u << 20;

// Expands the source. Messages go to `messages` as "file(line): error: ..."
// lines (warnings too); false on errors.
bool preprocessEffect(const std::string& source, const std::string& fileName, const D3DXMACRO* defines,
                      IncludeSource& includes, std::string& output, std::string& messages);

} // namespace effect
} // namespace swd3d9
