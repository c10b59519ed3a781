#include "sceneapi/KXTempFile.h"

#include "sceneapi/KXFileUtils.h"

#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

const char* const DEFAULT_TEMP_DIRECTORY = "/tmp";

// A random part long enough that collisions only cost a retry inside mkstemps.
const char* const NAME_PATTERN = "kx-XXXXXX";

bool isPlainExtension(const std::string& extension)
{
    // The extension becomes part of a file name: path separators would move
    // the file elsewhere.
    for (char c : extension) {
        if (c == '/' || c == '\0')
            return false;
    }
    return true;
}

} // namespace

KXTempFile::KXTempFile(bool autoRemove, const wchar_t* extension, const wchar_t* directory)
    : m_autoRemove(autoRemove)
{
    std::string dir = DEFAULT_TEMP_DIRECTORY;
    if (directory && *directory && !KXFileUtils::toNativePath(directory, dir))
        return;
    std::string ext;
    if (extension && *extension && !KXFileUtils::toNativePath(extension, ext))
        return;
    if (!isPlainExtension(ext))
        return;

    std::string pattern = dir;
    if (pattern.empty() || pattern.back() != '/')
        pattern += '/';
    pattern += NAME_PATTERN;
    int suffixLength = 0;
    if (!ext.empty()) {
        pattern += '.';
        pattern += ext;
        suffixLength = static_cast<int>(ext.size() + 1);
    }

    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemps(buffer.data(), suffixLength);
    if (fd < 0)
        return;
    ::close(fd);

    std::wstring path;
    if (!KXFileUtils::fromNativePath(buffer.data(), path)) {
        ::unlink(buffer.data());
        return;
    }
    m_path = path;
}

KXTempFile::~KXTempFile()
{
    if (m_autoRemove && !m_path.empty())
        KXFileUtils::removeFile(m_path.c_str());
}
