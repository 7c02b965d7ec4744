// A folder of a test's own under the temporary folder, removed with everything in it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }
    // Names of everything in the folder.
    std::vector<std::wstring> Entries() const;

private:
    std::wstring path_;
};

// Deletes a folder and everything below it, read-only files included.
void RemoveTree(const std::wstring& folder);
