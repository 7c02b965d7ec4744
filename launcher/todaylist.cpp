// Registering and switching the launcher's Today items.
#include "launcher/todaylist.h"

#include "common/ScopedWin.h"
#include "launcher/process.h"

namespace {

const wchar_t kItems[] = L"Software\\Microsoft\\Today\\Items";

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(towlower(c));
    }
    return text;
}

std::wstring ItemKey(const std::wstring& name) {
    return std::wstring(kItems) + L"\\" + name;
}

// The DLL value of an existing entry; false when there is no entry.
bool EntryModule(HKEY root, const std::wstring& name, std::wstring* dll) {
    ScopedKey key;
    if (RegOpenKeyExW(root, ItemKey(name).c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t value[MAX_PATH] = {};
    DWORD bytes = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    dll->clear();
    if (RegQueryValueExW(key.Get(), L"DLL", nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &bytes) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        *dll = value;
    }
    return true;
}

bool SetDword(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

LONG Write(HKEY root, const std::wstring& name, const std::wstring& dll, DWORD order) {
    ScopedKey key;
    LONG status = RegCreateKeyExW(root, ItemKey(name).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  key.Receive(), nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const DWORD bytes = static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t));
    const bool written =
        RegSetValueExW(key.Get(), L"DLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                       bytes) == ERROR_SUCCESS &&
        SetDword(key.Get(), L"Type", 4) && SetDword(key.Get(), L"Enabled", 1) &&
        SetDword(key.Get(), L"Order", order) && SetDword(key.Get(), L"Options", 1) &&
        SetDword(key.Get(), L"Selectability", 2) && SetDword(key.Get(), L"Flags", 0);
    return written ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

} // namespace

bool RegisterItem(const std::wstring& name, const std::wstring& dll, DWORD order,
                  std::wstring* why) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        std::wstring have;
        if (EntryModule(root, name, &have)) {
            if (Lower(have) != Lower(dll)) {
                *why = L"the Today items list has an item " + name + L" for " + have +
                       L"; rename the deck";
                return false;
            }
            return true;
        }
    }
    LONG status = Write(HKEY_LOCAL_MACHINE, name, dll, order);
    if (status == ERROR_ACCESS_DENIED) {
        status = Write(HKEY_CURRENT_USER, name, dll, order);
    }
    if (status != ERROR_SUCCESS) {
        *why = L"the item " + name + L" cannot be registered: " +
               SystemMessage(static_cast<DWORD>(status));
        return false;
    }
    return true;
}

int SwitchItem(const std::wstring& name, const std::wstring& dll, bool on) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        std::wstring have;
        if (!EntryModule(root, name, &have)) {
            continue;
        }
        if (Lower(have) != Lower(dll)) {
            return 1;
        }
        ScopedKey key;
        if (RegOpenKeyExW(root, ItemKey(name).c_str(), 0, KEY_READ | KEY_WRITE, key.Receive()) !=
            ERROR_SUCCESS) {
            return 2;
        }
        DWORD enabled = 0, bytes = sizeof enabled, type = 0;
        if (RegQueryValueExW(key.Get(), L"Enabled", nullptr, &type,
                             reinterpret_cast<BYTE*>(&enabled), &bytes) == ERROR_SUCCESS &&
            type == REG_DWORD && (enabled != 0) == on) {
            return 1;
        }
        return SetDword(key.Get(), L"Enabled", on ? 1 : 0) ? 0 : 2;
    }
    return 1;
}

std::vector<std::wstring> ItemsOutside(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        ScopedKey list;
        if (RegOpenKeyExW(root, kItems, 0, KEY_READ, list.Receive()) != ERROR_SUCCESS) {
            continue;
        }
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumKeyExW(list.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            std::wstring dll;
            if (EntryModule(root, name, &dll) &&
                Lower(dll) != Lower(folder + L"\\" + name + L".dll")) {
                names.push_back(name);
            }
        }
    }
    return names;
}
