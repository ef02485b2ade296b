#pragma once

// A folder of its own under the system's temporary folder, removed with what it holds.

#include "presentation_automation/powerpoint/dispatch.h"

#include <filesystem>
#include <string>

namespace pa::powerpoint::testing {

class TempFolder
{
public:
    TempFolder()
    {
        wchar_t name[MAX_PATH];
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        GetTempFileNameW(base, L"ppt", 0, name); // reserves a unique name as an empty file
        m_path = name;
        std::filesystem::remove(m_path);
        std::filesystem::create_directory(m_path);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    // Creates a subfolder and returns its full path in UTF-8, with backslashes.
    std::string makeFolder(const std::string &name)
    {
        const std::filesystem::path folder = m_path / toUtf16(name, "");
        std::filesystem::create_directories(folder);
        return toUtf8(folder.wstring());
    }

    std::string path() const { return toUtf8(m_path.wstring()); }

private:
    std::filesystem::path m_path;
};

} // namespace pa::powerpoint::testing
