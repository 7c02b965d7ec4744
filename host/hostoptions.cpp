#include "host/hostoptions.h"

#include <string.h>

const wchar_t* HostUsage() {
    return L"usage: today-host [--module PATH] [--vga] [--live] [--script FILE] [--capture-dir "
           L"DIR]";
}

bool ParseHostOptions(int argc, wchar_t** argv, HostOptions* options, std::wstring* error) {
    for (int i = 1; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        std::wstring* target = nullptr;
        if (wcscmp(arg, L"--module") == 0) {
            target = &options->modulePath;
        } else if (wcscmp(arg, L"--script") == 0) {
            target = &options->scriptPath;
        } else if (wcscmp(arg, L"--capture-dir") == 0) {
            target = &options->captureDir;
        } else if (wcscmp(arg, L"--vga") == 0) {
            options->vga = true;
            continue;
        } else if (wcscmp(arg, L"--live") == 0) {
            options->live = true;
            continue;
        } else if (wcscmp(arg, L"--relaunched") == 0) {
            options->relaunched = true;
            continue;
        } else {
            *error = std::wstring(L"unknown argument '") + arg + L"'";
            return false;
        }
        if (i + 1 >= argc || argv[i + 1][0] == L'\0') {
            *error = std::wstring(arg) + L" needs a value";
            return false;
        }
        *target = argv[++i];
    }
    return true;
}
