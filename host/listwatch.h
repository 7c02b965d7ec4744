// Tells when the Today items list changes: a registry change notification on the list's key
// (host/itemlist.h) and its subkeys, which the screen looks at on its refresh timer.
#pragma once

#include <windows.h>
#include "common/ScopedWin.h"

class ItemListWatch {
public:
    // Starts watching root\keyPath; false when the key cannot be opened or watched.
    bool Start(HKEY root, const wchar_t* keyPath);
    // True when the list has changed since Start or since the last call that said so; the
    // watch then goes on. False while nothing is watched.
    bool Changed();
    void Stop();

private:
    bool Arm();

    ScopedKey key_;
    ScopedHandle event_;
};
