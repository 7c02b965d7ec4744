// The Today item module that the host loaded, with its two exports.
#pragma once

#include <windows.h>
#include <string>
#include "item/today.h"

class ItemModule {
public:
    ItemModule() = default;
    ~ItemModule() { Free(); }
    ItemModule(const ItemModule&) = delete;
    ItemModule& operator=(const ItemModule&) = delete;

    // Loads the module at path and looks up ordinals 240 and 241. Ordinal 240 is required;
    // without 241 the item simply has no options. Returns false with a message in error.
    bool Load(const std::wstring& path, std::wstring* error);
    void Free();

    HMODULE Handle() const { return module_; }
    const std::wstring& Path() const { return path_; }
    PFNINITIALIZECUSTOMITEM InitializeCustomItem() const { return initialize_; }
    PFNCUSTOMITEMOPTIONSDLGPROC OptionsDialogProc() const { return options_; }

private:
    HMODULE module_ = nullptr;
    std::wstring path_;
    PFNINITIALIZECUSTOMITEM initialize_ = nullptr;
    PFNCUSTOMITEMOPTIONSDLGPROC options_ = nullptr;
};

// The system's text for an error code, without the trailing line end.
std::wstring SystemMessage(DWORD code);
// Tollamy.dll in the executable's own folder.
std::wstring DefaultModulePath();
