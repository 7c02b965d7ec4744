#include "host/output.h"

#include <windows.h>

namespace {

bool showErrorBoxes = false;

// Whether a stream is a console is asked once per handle: under Wine every GetConsoleMode is a
// round trip to the server, and a script prints a line for every command.
struct StreamKind {
    HANDLE handle = nullptr;
    bool console = false;
};
StreamKind outputKind;
StreamKind errorKind;

bool IsConsole(StreamKind* kind, HANDLE stream) {
    if (kind->handle != stream) {
        DWORD mode = 0;
        kind->handle = stream;
        kind->console = GetConsoleMode(stream, &mode) != 0;
    }
    return kind->console;
}

void WriteLineTo(DWORD which, const std::wstring& text) {
    HANDLE stream = GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) {
        return;
    }
    std::wstring line = text + L"\r\n";
    DWORD written = 0;
    if (IsConsole(which == STD_OUTPUT_HANDLE ? &outputKind : &errorKind, stream)) {
        WriteConsoleW(stream, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    line = text + L"\n";
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr,
                                    0, nullptr, nullptr);
    if (bytes <= 0) {
        return;
    }
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &utf8[0], bytes,
                        nullptr, nullptr);
    // The host keeps no buffer of its own: WriteFile hands the line to the system at once, where
    // a reader of the pipe or the file sees it. A flush would only wait, for the disk or for
    // the reader.
    WriteFile(stream, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

} // namespace

void PrintLine(const std::wstring& text) {
    WriteLineTo(STD_OUTPUT_HANDLE, text);
}

void PrintError(const std::wstring& text) {
    WriteLineTo(STD_ERROR_HANDLE, text);
    if (showErrorBoxes) {
        MessageBoxW(nullptr, text.c_str(), L"Today", MB_OK | MB_ICONERROR);
    }
}

void SetErrorBoxes(bool show) {
    showErrorBoxes = show;
}
