#include "host/output.h"

#include <windows.h>

namespace {

bool showErrorBoxes = false;

void WriteLineTo(DWORD which, const std::wstring& text) {
    HANDLE stream = GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) {
        return;
    }
    std::wstring line = text + L"\r\n";
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(stream, &mode)) {
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
    WriteFile(stream, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    FlushFileBuffers(stream);
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
