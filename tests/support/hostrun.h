// Runs today-host.exe on a copy of the real module in a temporary folder, and reads back what
// it wrote: its output lines, its exit status and its PNG captures.
#pragma once

#include <windows.h>

#include "support/programfolder.h"
#include "support/tempfolder.h"

#include <string>
#include <vector>

namespace hostrun {

using ::TempFolder;

struct HostResult {
    DWORD status = 0;
    bool finished = false;
    std::vector<std::string> lines; // stdout, one per line
    std::string errors;             // stderr
};

using ::ProgramFolder;

// Starts today-host.exe with the arguments and waits for it (at most timeoutMs).
HostResult RunHost(const std::wstring& arguments, DWORD timeoutMs = 60000);

// Writes a UTF-16LE deck with its byte-order mark; lines end in CR LF.
void WriteDeck(const std::wstring& path, const std::vector<std::wstring>& lines);
// Writes a UTF-8 script.
void WriteScript(const std::wstring& path, const std::string& text);
bool FileExists(const std::wstring& path);
LONGLONG FileSize(const std::wstring& path);

// The first output line starting with prefix, or "" when there is none.
std::string LineStartingWith(const HostResult& result, const std::string& prefix);

// A PNG read back through WIC as 32-bit BGRA pixels.
struct Image {
    UINT width = 0;
    UINT height = 0;
    std::vector<BYTE> bgra;
    COLORREF At(UINT x, UINT y) const {
        const BYTE* p = &bgra[(static_cast<size_t>(y) * width + x) * 4];
        return RGB(p[2], p[1], p[0]);
    }
};
bool ReadPng(const std::wstring& path, Image* image);

// The settings key as resources/tollamy.reg installs it; removed by the destructor.
class InstalledSettings {
public:
    InstalledSettings();
    ~InstalledSettings();
    InstalledSettings(const InstalledSettings&) = delete;
    InstalledSettings& operator=(const InstalledSettings&) = delete;

    // A value as it now stands in the registry, or -1.
    static LONG Read(const wchar_t* name);
};

} // namespace hostrun
