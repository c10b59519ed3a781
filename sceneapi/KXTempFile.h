#pragma once

#include "sceneapi/KXSceneExport.h"

#include <string>

// A uniquely named, initially empty file in the temporary directory, for
// handing images between steps that only speak files.
//
// The file is created by the constructor (atomically, so that two temporary
// files never share a name) and, when autoRemove is true, removed by the
// destructor. The temporary directory is the system's (/tmp, or on Windows
// the one GetTempPathW names) unless the caller names one.
class KXSCENE_API KXTempFile
{
public:
    // extension is the file name's ending without the dot, e.g. L"bmp"; null
    // or empty gives a name without an extension. directory, when given,
    // replaces the default temporary directory.
    KXTempFile(bool autoRemove, const wchar_t* extension, const wchar_t* directory = nullptr);
    ~KXTempFile();
    KXTempFile(const KXTempFile&) = delete;
    KXTempFile& operator=(const KXTempFile&) = delete;

    // The file's path, or null when no file could be made.
    const wchar_t* getFileName() const { return m_path.empty() ? nullptr : m_path.c_str(); }
    bool getAutoRemove() const { return m_autoRemove; }
    // Keeps (false) or removes (true) the file when this object is destroyed.
    void setAutoRemove(bool autoRemove) { m_autoRemove = autoRemove; }

private:
    std::wstring m_path;
    bool m_autoRemove;
};
