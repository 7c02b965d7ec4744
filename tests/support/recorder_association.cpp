#include "support/recorder_association.h"

#include <wchar.h>

namespace {

const wchar_t CLASS_NAME[] = L"TollamyRecorder.txtfile";

void SetDefault(const std::wstring& path, const wchar_t* value) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

} // namespace

RecorderAssociation::RecorderAssociation(const std::wstring& recorder, const std::wstring& output) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L".txt", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        hadTxt_ = true;
        WCHAR value[256] = {};
        DWORD size = sizeof(value) - sizeof(WCHAR);
        if (RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                             &size) == ERROR_SUCCESS) {
            hadDefault_ = true;
            oldDefault_ = value;
        }
        RegCloseKey(key);
    }
    SetDefault(L".txt", CLASS_NAME);
    const std::wstring command = L"\"" + recorder + L"\" \"" + output + L"\" \"%1\"";
    SetDefault(std::wstring(CLASS_NAME) + L"\\shell\\open\\command", command.c_str());
}

RecorderAssociation::~RecorderAssociation() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, CLASS_NAME);
    if (!hadTxt_) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L".txt");
    } else if (hadDefault_) {
        SetDefault(L".txt", oldDefault_.c_str());
    } else {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L".txt", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, nullptr);
            RegCloseKey(key);
        }
    }
}
