// Stands in for the program that a file association opens: recorder OUTPUT ARGS...
// Writes each of ARGS on a line of its own, UTF-16LE, to OUTPUT. The file appears whole: it is
// written under another name first and then renamed.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    std::wstring text;
    for (int i = 2; i < argc; ++i) {
        text += argv[i];
        text += L"\n";
    }
    const std::wstring output = argv[1];
    const std::wstring partial = output + L".part";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
    return MoveFileExW(partial.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
