#include "host/itemmodule.h"

std::wstring SystemMessage(DWORD code) {
    WCHAR* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = length != 0 ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return message + L" (error " + std::to_wstring(code) + L")";
}

std::wstring DefaultModulePath() {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return L"Tollamy.dll";
    }
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    folder.erase(slash == std::wstring::npos ? 0 : slash + 1);
    return folder + L"Tollamy.dll";
}

bool ItemModule::Load(const std::wstring& path, std::wstring* error) {
    Free();
    // A full path keeps the module's own folder first in its dependency search, and gives the
    // item the data-file path it derives from its module name.
    WCHAR full[MAX_PATH];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    path_ = (length != 0 && length < MAX_PATH) ? std::wstring(full, length) : path;
    module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module_ == nullptr) {
        *error = L"cannot load the item module " + path_ + L": " + SystemMessage(GetLastError());
        return false;
    }
    initialize_ = reinterpret_cast<PFNINITIALIZECUSTOMITEM>(reinterpret_cast<void*>(
        GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_INITIALIZECUSTOMITEM))));
    if (initialize_ == nullptr) {
        *error = L"the module " + path_ +
                 L" is not a Today item: it has no export at ordinal 240 (InitializeCustomItem)";
        Free();
        return false;
    }
    options_ = reinterpret_cast<PFNCUSTOMITEMOPTIONSDLGPROC>(reinterpret_cast<void*>(
        GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_CUSTOMITEMOPTIONSDLGPROC))));
    return true;
}

void ItemModule::Free() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
        module_ = nullptr;
    }
    initialize_ = nullptr;
    options_ = nullptr;
}
